// The INS_ natives that configure a cockpit: its cameras and scene, reference objects, radar,
// grid, bodies, numbers, messages, zoom, tracking with its two tones, the aims, and the view
// parameters the per-frame view placement reads; and the GUI master's global settings. Called by
// the INS_ dispatcher for every number it does not answer itself, and (tracking) by the target
// overlay. Every call answers its task at once; an unknown cockpit handle changes nothing.
#include "frontend/cockpit/cockpit_natives.h"

#include "core/system_block.h"
#include "devices/sound_channels.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_messages.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/cockpit/native_args.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/target_overlay.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/script_calls.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

using Args = NativeArgs;

// Native numbers (the INS_ name table's order).
enum : int32_t {
  kGetCamera = 2, kEnableCamera = 3, kGetScene = 4, kSetSectorCamera = 5, kSetGalaxyCamera = 6,
  kSetDustCamera = 7, kGetSectorCamera = 8, kGetGalaxyCamera = 9, kGetDustCamera = 10,
  kSetSectorSpace = 11, kSetRefObject = 12, kSetCockpitRefObject = 13, kGetRefObject = 14,
  kGetCockpitRefObject = 15, kSetShading = 16, kSetCameraMessage = 17, kSetNavMap = 18, kSetGrid = 19,
  kGetGrid = 20, kSetRadarMode = 21, kGetRadarMode = 22, kGetRadarRange = 23, kMoveCockpit = 24,
  kSetCockpitNumber = 25, kGetCockpitNumber = 26, kSetMonitorNumber = 27, kGetMonitorNumber = 28,
  kDisplayMessage = 29, kDisplayMessageWithDuration = 30, kSetZooming = 31, kSetTimeWarpFactor = 32,
  kSetFocus = 33, kDoTracking = 34, kDoEnemyTracking = 35, kIsTracking = 36, kIsEnemyTracking = 37,
  kSetTracking = 38, kGetTracking = 39, kGetCursorAim = 40, kGetEnemyAim = 41, kGetDistanceToObj = 42,
  kChangeView = 43, kSetViewConnectMode = 44, kRefreshViewConnectMode = 45, kLockView = 46,
  kSetViewMode = 48, kEnable2DDraw = 49, kEnableCockpitBody = 50, kEnableRadarBody = 51,
  kEnableDisplayBody = 52, kEnableTargetBodies = 53, kGetViewCameraOffsetX = 55, kGetViewCameraOffsetZ = 57,
  kGetViewAlpha = 58, kGetViewGamma = 60, kSetCurrentMissile = 61, kSetActiveControlCockpit = 70,
  kSetUnitDisplay = 71, kGetUnitDisplay = 72, kDrawRadar = 75, kSetViewDuration = 80, kSetPosDuration = 81,
  kSetFlags = 86, kGetFlags = 87, kSetRefViewObject = 90, kSetCinematicLoopTime = 95, kNoDecay = 96,
  kProjectPosition = 100,
};

constexpr int32_t kLeastRadarRange = 1000;
constexpr uint32_t kViewZooming = 0x1;
constexpr int32_t kTrackingSound = 1;
constexpr uint32_t kDustCameraFlag = 0x8000;
constexpr int32_t kTargetLockObject = 150;
constexpr int32_t kResultKindInt = 1;

// The three-word fields the view natives store from (c, x, y, z) or answer as [x, y, z].
using Triple = int32_t (CockpitRecord::*)[3];
struct TripleNative {
  int32_t function;
  Triple field;
};
const TripleNative kTripleSetters[] = {
    {47, &CockpitRecord::viewPos},           {54, &CockpitRecord::viewCameraOffset},
    {77, &CockpitRecord::viewCameraOffset2}, {78, &CockpitRecord::viewPointOffset},
    {79, &CockpitRecord::viewPointOffset2},  {82, &CockpitRecord::viewAngle1},
    {83, &CockpitRecord::viewAngle2},        {84, &CockpitRecord::posAngle1},
    {85, &CockpitRecord::posAngle2},         {91, &CockpitRecord::refViewPos},
    {92, &CockpitRecord::refPos},
};
const TripleNative kTripleArrays[] = {
    {88, &CockpitRecord::viewPos},
    {89, &CockpitRecord::viewPointPos},
    {93, &CockpitRecord::refPos},
    {94, &CockpitRecord::refViewPos},
};

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

void PlayTrackingTone() { SFX_PlaySound(0, 0, kTrackingSound, -1); }

void NotifyTargetLock(uint32_t targetId, uint32_t cockpitId) {
  CallScriptFunction(0, 0, kTargetLockObject, "NotifyTargetLock", kResultKindInt, 2, static_cast<int32_t>(targetId),
                     static_cast<int32_t>(cockpitId));
}

void Tone() {
  if (gCockpitTrackingOutputs.playTone) gCockpitTrackingOutputs.playTone();
}

// A tone is switched with sound 1 only when its bit changes.
void SwitchTone(uint32_t bit, bool on) {
  if (!gGuiMaster) return;
  const bool was = gGuiMaster->alertFlags & bit;
  if (was == on) return;
  Tone();
  if (on) gGuiMaster->alertFlags |= bit;
  else gGuiMaster->alertFlags &= ~bit;
}

uint32_t ObjectId(const SpaceObject* object) { return object ? object->id : 0; }
uint32_t HandleOf(const SceneRecord* scene) { return scene ? scene->handle : 0; }
uint32_t HandleOf(const CameraRecord* camera) { return camera ? camera->instance.handle : 0; }

void AnswerTriple(ScriptTask* task, int32_t x, int32_t y, int32_t z) {
  const int32_t values[3] = {x, y, z};
  AnswerIntArray(task, values, 3);
}

// A camera taken by the cockpit looks with the cockpit's field of view.
CameraRecord* TakeCamera(const CockpitRecord* cockpit, uint32_t handle) {
  CameraRecord* camera = GetCameraByHandle(handle);
  if (camera) B3D_CameraSetFocus(camera, cockpit->fieldOfView);
  return camera;
}

void EnableCamera(CockpitRecord* c, bool on) {
  CameraRecord* camera = c->camera;
  if (!camera || !c->scene) return;
  const bool inScene = camera->instance.scene == c->scene;
  if (on && !inScene) B3D_CameraAddToScene(camera, c->scene);
  else if (!on && inScene) B3D_CameraDeleteFromScene(c->scene, camera);
}

// The sector's background type gives the cockpit scene its ambient colour, the same type the
// sector's own scenes and the dust take theirs from (not the sector's class-1 subtype).
void SetSectorSpace(CockpitRecord* c, SpaceObject* sector) {
  c->sectorSpace = sector;
  if (!c->scene) return;
  const BackgroundType* background = SectorBackground(sector);
  if (!background) return;
  for (int i = 0; i < 3; ++i) c->scene->values[i] = background->values7[kBackgroundAmbientFirst + i];
}

int32_t DistanceToObject(const CockpitRecord* c, const SpaceObject* object) {
  if (!object || !object->instance || !c->cockpitRefObject || c->viewMode != 1) return 0;
  FixedVector eye;
  CockpitViewPoint(c, &eye);
  return SaturateToInt32(RoundedDistance(&eye, &object->instance->position));
}

// Natives that answer something other than an integer; true when the task was answered.
bool RunArrayNative(CockpitRecord* c, ScriptTask* task, int32_t function, const Args& args) {
  for (const TripleNative& native : kTripleArrays) {
    if (native.function != function) continue;
    const int32_t* v = c->*native.field;
    AnswerTriple(task, v[0], v[1], v[2]);
    return true;
  }
  if (function != kProjectPosition || !c->sectorCamera) return false;
  FixedVector world;
  CameraUnprojectToWorld(args.Int(1), args.Int(2), args.Int(3), c->sectorCamera, &world);
  AnswerTriple(task, world.x, world.y, world.z);
  return true;
}

// The settings every cockpit shares; they take no cockpit handle.
bool RunGlobalNative(GuiMaster* master, int32_t function, const Args& args, int32_t* answer) {
  switch (function) {
    case kSetTimeWarpFactor:
      if (master) master->timeWarpFactor = args.Int(0);
      return true;
    case kSetFocus:
      if (master) master->focus = static_cast<uint32_t>(args.Int(0));
      return true;
    case kSetActiveControlCockpit:
      if (master) {
        const uint32_t handle = static_cast<uint32_t>(args.Int(0));
        master->activeControlCockpit = CockpitFromHandle(master, handle) ? handle : 0;
      }
      return true;
    case kSetUnitDisplay:
      if (master) master->unitDisplay = args.True(0) ? 1 : 0;
      return true;
    case kGetUnitDisplay:
      *answer = master && master->unitDisplay ? 1 : 0;
      return true;
    case kDrawRadar:
      if (master) master->drawRadar = args.True(0) ? 1 : 0;
      return true;
    default:
      return false;
  }
}

int32_t RunCockpitFieldNative(CockpitRecord* c, int32_t function, const Args& args) {
  for (const TripleNative& native : kTripleSetters) {
    if (native.function != function) continue;
    args.Triple(1, c->*native.field);
    return 0;
  }
  switch (function) {
    case kGetCamera: return static_cast<int32_t>(HandleOf(c->camera));
    case kEnableCamera: EnableCamera(c, args.True(1)); return 0;
    case kGetScene: return static_cast<int32_t>(HandleOf(c->scene));
    case kSetSectorCamera: c->sectorCamera = TakeCamera(c, static_cast<uint32_t>(args.Int(1))); return 0;
    case kSetGalaxyCamera: c->galaxyCamera = TakeCamera(c, static_cast<uint32_t>(args.Int(1))); return 0;
    case kSetDustCamera:
      c->dustCamera = TakeCamera(c, static_cast<uint32_t>(args.Int(1)));
      if (c->dustCamera) c->dustCamera->cameraFlags |= kDustCameraFlag;
      return 0;
    case kGetSectorCamera: return static_cast<int32_t>(HandleOf(c->sectorCamera));
    case kGetGalaxyCamera: return static_cast<int32_t>(HandleOf(c->galaxyCamera));
    case kGetDustCamera: return static_cast<int32_t>(HandleOf(c->dustCamera));
    case kSetSectorSpace:
      if (SpaceObject* sector = FindSectorById(static_cast<uint32_t>(args.Int(1)))) SetSectorSpace(c, sector);
      return 0;
    case kSetRefObject: c->refObject = args.Object(1); return 0;
    case kSetCockpitRefObject: c->cockpitRefObject = args.Object(1); return 0;
    case kGetRefObject: return static_cast<int32_t>(ObjectId(c->refObject));
    case kGetCockpitRefObject: return static_cast<int32_t>(ObjectId(c->cockpitRefObject));
    case kSetRefViewObject: c->refViewObject = args.Object(1); return 0;
    case kSetShading: c->shading = static_cast<uint32_t>(args.Int(1)); return 0;
    case kSetCameraMessage:
      if (const char* text = args.Text(1)) {
        SetCameraMessage(&c->cameraMessage, text);
      } else {
        c->cameraMessage.shown = 0;
        HideSlot(&c->cameraMessage.slot);
      }
      return 0;
    case kSetNavMap: SetNavMap(&c->navMap, args.Int(1)); return 0;
    case kSetGrid:
      c->gridOn = static_cast<uint32_t>(args.Int(1));
      if (c->gridOn == 0) HideSlot(&c->grid);
      return 0;
    case kGetGrid: return static_cast<int32_t>(c->gridOn);
    case kSetRadarMode: {
      c->radarMode = static_cast<uint32_t>(args.Int(1));
      const int32_t range = args.Int(2);
      c->radarRange = range < kLeastRadarRange ? kDefaultRadarRange : range;
      return 0;
    }
    case kGetRadarMode: return static_cast<int32_t>(c->radarMode);
    case kGetRadarRange: return c->radarRange;
    case kMoveCockpit:
      c->cockpitBodyOn = c->radarBodyOn = c->displayBodyOn = args.Int(1) != 1 ? 1 : 0;
      return 0;
    case kEnableCockpitBody: c->cockpitBodyOn = static_cast<uint32_t>(args.Int(1)); return 0;
    case kEnableRadarBody: c->radarBodyOn = static_cast<uint32_t>(args.Int(1)); return 0;
    case kEnableDisplayBody: c->displayBodyOn = static_cast<uint32_t>(args.Int(1)); return 0;
    case kEnableTargetBodies: EnableTargetBodies(&c->overlay, args.Int(1)); return 0;
    case kEnable2DDraw: c->draw2D = static_cast<uint32_t>(args.Int(1)); return 0;
    case kSetCockpitNumber: c->cockpitNumber = args.Int(1) < 0 ? 0 : args.Int(1); return 0;
    case kGetCockpitNumber: return c->cockpitNumber;
    case kSetMonitorNumber: c->monitorNumber = args.Int(1); return 0;
    case kGetMonitorNumber: return c->monitorNumber;
    case kDisplayMessage: ShowCockpitMessage(&c->messages, args.Text(1)); return 0;
    case kDisplayMessageWithDuration: {
      const char* text = args.Text(1);
      ShowCockpitMessageFor(&c->messages, text, text ? args.Int(2) : 0);
      return 0;
    }
    case kSetZooming:
      if (args.Int(1)) c->viewFlags |= kViewZooming;
      else c->viewFlags &= ~kViewZooming;
      return 0;
    case kSetCurrentMissile:
      c->currentMissile = static_cast<uint16_t>(args.Int(1));
      c->missileWords[1] = args.Int(2);
      c->missileWords[0] = args.Int(3);
      return 0;
    case kSetFlags: c->flags = static_cast<uint32_t>(args.Int(1)); return 0;
    case kGetFlags: return static_cast<int32_t>(c->flags);
    case kNoDecay: c->noDecay = static_cast<uint32_t>(args.Int(1)); return 0;
    case kDoTracking: CockpitSetTracking(c, kTrackCursor, nullptr); return 0;
    case kDoEnemyTracking: CockpitSetTracking(c, kTrackEnemy, nullptr); return 0;
    case kIsTracking: return c->trackMode == kTrackCursor ? 1 : 0;
    case kIsEnemyTracking: return c->trackMode == kTrackEnemy ? 1 : 0;
    case kSetTracking:
      if (args.Int(1) == 0) {
        CockpitSetTracking(c, kTrackNone, nullptr);
      } else if (SpaceObject* object = args.Object(1)) {
        CockpitSetTracking(c, kTrackObject, object);
      }
      return 0;
    case kGetTracking: return static_cast<int32_t>(ObjectId(c->trackObject));
    case kGetCursorAim: {
      // Only this native looks at the count: a call without a point aims along the view.
      const int32_t x = args.count >= 3 ? args.Int(1) : -1;
      const int32_t y = args.count >= 3 ? args.Int(2) : -1;
      const bool flag = args.count >= 4 && args.True(3);
      return static_cast<int32_t>(ObjectId(INS_CockpitGetCursorAim(c, x, y, flag)));
    }
    case kGetEnemyAim: return static_cast<int32_t>(ObjectId(INS_CockpitGetEnemyAim(c)));
    case kGetDistanceToObj: return DistanceToObject(c, args.Object(1));
    case kChangeView:
      args.Triple(1, c->viewAngleTarget);
      if (c->viewLocked) args.Triple(1, c->viewAngle);
      return 0;
    case kSetViewConnectMode: INS_CockpitSetViewConnectMode(c, static_cast<uint32_t>(args.Int(1))); return 0;
    case kRefreshViewConnectMode: INS_CockpitRefreshViewConnectMode(c); return 0;
    case kLockView:
      if (args.Int(1) != 0) {
        for (int i = 0; i < 3; ++i) c->viewAngle[i] = c->viewAngleTarget[i];
      }
      c->viewLocked = static_cast<uint32_t>(args.Int(1));
      return 0;
    case kSetViewMode: c->viewMode = static_cast<uint32_t>(args.Int(1)); return 0;
    case kSetViewDuration:
      c->viewDuration = static_cast<uint32_t>(args.Int(1));
      c->viewStart = Now();
      return 0;
    case kSetPosDuration:
      c->posDuration = static_cast<uint32_t>(args.Int(1));
      c->posStart = Now();
      return 0;
    case kSetCinematicLoopTime: c->cinematicLoopTime = static_cast<uint32_t>(args.Int(1)); return 0;
    default: break;
  }
  if (function >= kGetViewCameraOffsetX && function <= kGetViewCameraOffsetZ) {
    return c->viewCameraOffset[function - kGetViewCameraOffsetX];
  }
  if (function >= kGetViewAlpha && function <= kGetViewGamma) return c->viewAngle[function - kGetViewAlpha];
  return 0;
}

}  // namespace

CockpitTrackingOutputs gCockpitTrackingOutputs = {PlayTrackingTone, NotifyTargetLock};

void CockpitSetTracking(CockpitRecord* cockpit, uint16_t mode, SpaceObject* object) {
  if (!cockpit) return;
  switch (mode) {
    case kTrackNone:
      SwitchTone(kAlertLockTone, false);
      SwitchTone(kAlertTrackingTone, false);
      cockpit->trackObject = nullptr;
      cockpit->trackFlag = 0;
      cockpit->trackMode = kTrackNone;
      break;
    case kTrackCursor:
    case kTrackEnemy:
      if (cockpit->trackMode != mode) Tone();
      SwitchTone(kAlertLockTone, false);
      SwitchTone(kAlertTrackingTone, true);
      cockpit->trackObject = nullptr;
      cockpit->trackFlag = 0;
      cockpit->trackMode = mode;
      cockpit->trackStart = Now();
      break;
    case kTrackOverlayLock:
      if (!object) break;
      Tone();
      if (gGuiMaster) gGuiMaster->alertFlags |= kAlertLockTone;
      SwitchTone(kAlertTrackingTone, true);
      cockpit->trackMode = kTrackOverlayLock;
      cockpit->trackStart = Now();
      cockpit->trackFlag = 0;
      cockpit->trackObject = object;
      break;
    case kTrackObject:
      if (!object) break;
      if (cockpit->cockpitRefObject && gCockpitTrackingOutputs.notifyTargetLock) {
        gCockpitTrackingOutputs.notifyTargetLock(object->id, cockpit->cockpitRefObject->id);
      }
      if (cockpit->trackMode != kTrackOverlayLock) {
        cockpit->trackFlag = 0;
        cockpit->trackStart = Now();
      }
      cockpit->trackMode = kTrackObject;
      cockpit->trackObject = object;
      break;
    default:
      break;
  }
}

void RunCockpitNative(GuiMaster* master, ScriptTask* task, int32_t function, int32_t argCount,
                      const ScriptValue* args) {
  const Args in{args, args ? argCount : 0};
  int32_t answer = 0;
  if (RunGlobalNative(master, function, in, &answer)) {
    ReturnInt(task, gScriptEngine, answer);
    return;
  }
  CockpitRecord* cockpit = CockpitFromHandle(master, static_cast<uint32_t>(in.Int(0)));
  if (!cockpit) {
    ReturnInt(task, gScriptEngine, function == kGetMonitorNumber ? -1 : 0);
    return;
  }
  if (RunArrayNative(cockpit, task, function, in)) return;
  ReturnInt(task, gScriptEngine, RunCockpitFieldNative(cockpit, function, in));
}
