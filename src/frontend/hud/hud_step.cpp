// The HUD's frame step: the alert level, the missile alert, and per cockpit the view, the
// interior, the shake and sway, the sector camera, the script queries, the scanner, the slot
// steps, zoom and the fields of view. Called once a frame by the game
// loop (UpdateHud) and by the missile launch (RaiseMissileAlert). It never frees a cockpit or an
// object and never draws.
#include "frontend/hud/hud_step.h"

#include <algorithm>
#include <cstdlib>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/sound_channels.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_messages.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/cockpit_displays.h"
#include "frontend/hud/cockpit_interior.h"
#include "frontend/hud/hud_slot_steps.h"
#include "frontend/hud/sector_camera.h"
#include "frontend/hud/dust_scene.h"
#include "frontend/hud/target_overlay.h"
#include "frontend/frontend.h"
#include "frontend/hud/gui_master.h"
#include "scene/camera_records.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/scene_cameras.h"
#include "script/script_calls.h"
#include "universe/missile_services.h"
#include "universe/object_classes.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"
#include "universe/ship_nodes.h"

namespace {

constexpr int32_t kEventObject = 150;
constexpr int32_t kResultKindInt = 1;
// Ships of these subtypes never raise an alert.
constexpr int16_t kAlertIgnoredSubtypes[] = {271, 319, 320, 321};
constexpr int64_t kAlertNearDistance = 2500000;
constexpr int64_t kAlertHoldDistance = 5000000;
constexpr uint32_t kSectorOtherPlayerMute = 0x2;  // sector flag byte bit 1
constexpr int32_t kMaxShakeStrength = 100;
constexpr int32_t kSecondShakeStrength = 50;
constexpr int32_t kShakeFadeMs = 1000;
constexpr int32_t kNoZoom = 0x10000;
constexpr uint32_t kMainFov = 0x4000;
constexpr uint32_t kMinFov = 0x106;
constexpr uint32_t kZoomInMs = 1000;
constexpr uint32_t kZoomHoldMs = 2000;
constexpr uint32_t kZoomOutEndMs = 3000;
constexpr uint32_t kSwayOffFlag = 0x80000;
constexpr uint32_t kSwayResetMs = 500;
constexpr int32_t kSwayOffsetLimit = 50;
constexpr int32_t kSwayTurnLimit = 0x666;
constexpr int32_t kSwayRollLimit = 0x3D7;
constexpr int32_t kGalaxyScale = 10;  // the galaxy scene is a tenth of the sector's size
constexpr uint32_t kInCockpitSoundFlag = 0x8;
constexpr uint32_t kCockpitNodeFlag = 0x80;

int32_t PlaySoundReal(int32_t soundId) { return SFX_PlaySound(0, 0, soundId, kPlayLooped); }
int32_t PlaySound3DReal(int32_t soundId, SpaceObject* at) { return SFX_PlaySound3D(0, 0, soundId, at->instance); }
void RaiseEventReal(const char* name, int32_t argCount, int32_t arg) {
  CallScriptFunction(0, 0, kEventObject, name, kResultKindInt, argCount, arg);
}

int32_t PlaySound(int32_t id) { return (gHudOutputs.playSound ? gHudOutputs.playSound : PlaySoundReal)(id); }
int32_t StopSample(int32_t id) { return (gHudOutputs.stopSample ? gHudOutputs.stopSample : SFX_StopSample)(id); }
void RaiseEvent(const char* name, int32_t argCount, int32_t arg) {
  (gHudOutputs.raiseEvent ? gHudOutputs.raiseEvent : RaiseEventReal)(name, argCount, arg);
}

// 16.16 product rounded to nearest.
int32_t FixMulRound(int64_t a, int64_t b) { return static_cast<int32_t>((a * b + 0x8000) >> 16); }

int32_t Clamp(int64_t v, int32_t limit) { return static_cast<int32_t>(std::clamp<int64_t>(v, -limit, limit)); }

int64_t MaxNormDistance(const SpaceObject* a, const SpaceObject* b) {
  if (!a->instance || !b->instance) return INT64_MAX;
  const FixedVector& p = a->instance->position;
  const FixedVector& q = b->instance->position;
  return std::max({std::llabs(int64_t{p.x} - q.x), std::llabs(int64_t{p.y} - q.y), std::llabs(int64_t{p.z} - q.z)});
}

const MissileExt* Missile(const SpaceObject* o) {
  return o->objClass == kClassMissile ? static_cast<const MissileExt*>(o->ext) : nullptr;
}

bool AlertIgnored(const SpaceObject* o) {
  if (o->objClass != kClassShip) return false;
  return std::find(std::begin(kAlertIgnoredSubtypes), std::end(kAlertIgnoredSubtypes), o->subtype) !=
         std::end(kAlertIgnoredSubtypes);
}

// The level the player's sector calls for this frame.
int32_t SectorAlertLevel(const GuiMaster* master) {
  SpaceObject* player = GetPlayerObject();
  if (!player || !player->parent || player->parent->objClass != kClassSector) return 0;
  ListHead* objects = ObjectChildren(player->parent);
  if (!objects) return 0;
  const int64_t range = master->alertLevel == 0 ? kAlertNearDistance : kAlertHoldDistance;
  int32_t level = 0;
  for (ListNode* node = ListFirst(objects); node; node = ListNext(node)) {
    auto* o = reinterpret_cast<SpaceObject*>(node);
    if (o == player || !ObjIsHostile(o, player) || AlertIgnored(o)) continue;
    const MissileExt* missile = Missile(o);
    if (missile && missile->target == player) return 2;
    if (MaxNormDistance(o, player) < range) level = 1;
  }
  return level;
}

}  // namespace

HudOutputs gHudOutputs{};

int32_t LinearInterpolate(int32_t x, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  if (x0 == x1) return static_cast<int32_t>((int64_t{y0} + y1) / 2);
  if (x <= x0) return y0;
  if (x >= x1) return y1;
  // Every factor may need 33 bits, the product 66.
  const __int128 num = static_cast<__int128>(int64_t{y1} - y0) * (2 * int64_t{x} - x0 - x1);
  const __int128 den = 2 * (static_cast<__int128>(x1) - x0);
  return static_cast<int32_t>((int64_t{y0} + y1) / 2 + static_cast<int64_t>(num / den));
}

void UpdateAlertLevel(GuiMaster* master) {
  if (!master) return;
  master->alertPending = std::max(master->alertPending, SectorAlertLevel(master));
  const int32_t was = master->alertLevel;
  const int32_t pending = master->alertPending;
  if (pending != was) {
    if (pending == 2) {
      if (was == 1) StopSample(kAlertEnemySample);
      else RaiseEvent("NotifyAlert", 1, 1);
      PlaySound(kAlertMissileSample);
    } else if (pending == 1) {
      if (was == 2) StopSample(kAlertMissileSample);
      else RaiseEvent("NotifyAlert", 1, 1);
      PlaySound(kAlertEnemySample);
    } else {
      if (was == 1) StopSample(kAlertEnemySample);
      else if (was == 2) StopSample(kAlertMissileSample);
      RaiseEvent("NotifyAlert", 1, 0);
    }
    master->alertLevel = pending;
  }
  master->alertPending = 0;
}

void RaiseMissileAlert(SpaceObject* missile) {
  SpaceObject* player = GetPlayerObject();
  const MissileExt* ext = missile ? Missile(missile) : nullptr;
  if (!player || !ext) return;
  SpaceObject* launcher = ext->launcher;
  if (launcher && launcher->instance && launcher->instance->scene && launcher->parent &&
      launcher->parent->objClass == kClassSector) {
    const bool muted = (launcher->parent->flags & kSectorOtherPlayerMute) && player->parent != launcher->parent;
    if (!muted) (gHudOutputs.playSound3D ? gHudOutputs.playSound3D : PlaySound3DReal)(0, launcher);
  }
  if (ext->target == player) {
    if (gGuiMaster) gGuiMaster->alertFlags |= kAlertMissileRaised;
    RaiseEvent("NotifyMissileAlert", 0, 0);
  }
}

void CockpitShakeOffsets(CockpitRecord* c, uint32_t now, int32_t* first, int32_t* second) {
  *first = *second = 0;
  int64_t remaining = 0;
  int32_t strength = 0;
  if (static_cast<int32_t>(c->shakeUntil - now) > 0) {
    remaining = c->shakeUntil - now;
    strength = c->shakeStrength;
  } else {
    c->shakeUntil = now;
  }
  if (static_cast<int32_t>(c->shake2Until - now) > 0) {
    remaining += c->shake2Until - now;
    strength += kSecondShakeStrength;
  } else {
    c->shake2Until = now;
  }
  const SpaceObject* carrier = c->cockpitRefObject;
  if (remaining <= 0 || !carrier || !ObjIsInSector(carrier) || c->viewMode != 1) return;
  strength = std::min(strength, kMaxShakeStrength);
  const int32_t left = static_cast<int32_t>(std::min<int64_t>(remaining, INT32_MAX));
  int32_t* out[2] = {first, second};
  for (int32_t* o : out) {
    const int32_t r = (RandomBelow(64) - 32) * strength * 16 / 100;
    *o = LinearInterpolate(left, 0, kShakeFadeMs, 0, r);
  }
}

void UpdateCockpitZoom(CockpitRecord* c, uint32_t now, uint32_t focus, uint32_t* mainFov, uint32_t* otherFov) {
  if (c->viewFlags & kZoomRequested) {
    if (!(c->viewFlags & kZoomActive)) {
      PlaySound(kZoomSound);
      c->zoomFrom = c->zoomFactor;
      c->zoomTo = FixMulRound(c->zoomFactor, 0x20000);
      c->zoomStart = now;
      c->viewFlags |= kZoomActive;
    } else {
      const uint32_t elapsed = now - c->zoomStart;
      c->zoomFactor = elapsed < kZoomInMs
                          ? LinearInterpolate(static_cast<int32_t>(elapsed), 0, kZoomInMs, c->zoomFrom, c->zoomTo)
                          : c->zoomTo;
    }
  } else if (c->zoomFactor != kNoZoom) {
    if (c->viewFlags & kZoomActive) {
      c->zoomFrom = c->zoomFactor;
      c->zoomTo = kNoZoom;
      c->zoomStart = now;
      c->viewFlags &= ~kZoomOutSoundPlayed;
    } else {
      const uint32_t elapsed = now - c->zoomStart;
      if (elapsed >= kZoomOutEndMs) {
        c->zoomFactor = kNoZoom;
      } else if (elapsed > kZoomHoldMs) {
        if (!(c->viewFlags & kZoomOutSoundPlayed)) {
          PlaySound(kZoomSound);
          c->viewFlags |= kZoomOutSoundPlayed;
        }
        c->zoomFactor = LinearInterpolate(static_cast<int32_t>(elapsed), kZoomHoldMs, kZoomOutEndMs, c->zoomFrom,
                                          c->zoomTo);
      }
    }
    c->viewFlags &= ~kZoomActive;
  }
  c->viewFlags &= ~kZoomRequested;

  if (!c->cockpitRefObject || c->viewMode != 1) {
    *mainFov = kMainFov;
    *otherFov = c->viewConnectMode == 6 ? c->fieldOfView : focus;
    return;
  }
  // A factor of 0 (a save can hold one) leaves the view as without zoom.
  const int64_t factor = c->zoomFactor;
  const int64_t main = factor > 0 ? int64_t{kMainFov} * 0x10000 / factor : kMainFov;
  const int64_t other = factor > 0 ? int64_t{focus} * 0x10000 / factor : 0;
  *mainFov = static_cast<uint32_t>(std::clamp<int64_t>(main, kMinFov, UINT32_MAX));
  *otherFov = static_cast<uint32_t>(std::clamp<int64_t>(other, kMinFov, UINT32_MAX));
}

void UpdateCockpitSway(CockpitRecord* c, SpaceObject* ship, uint32_t dt) {
  const int32_t accel =
      dt == 0 ? 0 : static_cast<int32_t>((int64_t{ship->speed} - c->prevSpeed) * 1000 / static_cast<int64_t>(dt));
  const int32_t maxSpeed = GetObjectMaxSpeed(ship);
  const bool speedChanging =
      maxSpeed != 0 && std::llabs(int64_t{ship->speedLimit} - ship->speed) > maxSpeed / 10;
  bool still = true;
  if (!(ship->flags & kSwayOffFlag)) {
    const int64_t limit = int64_t{0x19999} * dt / 1000;
    int64_t d[3];
    still = true;
    for (int i = 0; i < 3; ++i) {
      d[i] = ship->turnRates[i] == 0 ? 0 : int64_t{ship->turnRates[i]} - c->prevRates[i];
      d[i] = std::clamp(d[i], -limit, limit);
      if (ship->turnRates[i] != 0) still = false;
      c->shakeAngles[i] -= FixMulRound(d[i], 458);
    }
    const int64_t s = std::min(ship->speed, 100000);
    const int64_t a = FixMulRound(d[0], s);
    const int64_t b = FixMulRound(d[1], s);
    int64_t z = 0;
    if (speedChanging) z = FixMulRound(int64_t{accel} - c->prevAccel, 0x1999);
    c->viewOffsetVector[2] += FixMulRound(z, 0x3333);
    c->shakeAngles[0] += static_cast<int32_t>(a * 65536 / 2000000);
    c->shakeAngles[1] += static_cast<int32_t>(b * 65536 / 2000000);
    c->shakeAngles[2] += static_cast<int32_t>(a * 65536 / 2000000);
  }
  for (int32_t& v : c->viewOffsetVector) v = Clamp(v, kSwayOffsetLimit);
  c->shakeAngles[0] = Clamp(c->shakeAngles[0], kSwayTurnLimit);
  c->shakeAngles[1] = Clamp(c->shakeAngles[1], kSwayTurnLimit);
  c->shakeAngles[2] = Clamp(c->shakeAngles[2], kSwayRollLimit);
  for (int i = 0; i < 3; ++i) c->prevRates[i] = ship->turnRates[i];
  c->prevSpeed = ship->speed;
  c->prevAccel = accel;
  if (accel > 0 && speedChanging) {
    const int32_t j = std::min(FixMulRound(accel, 0x28F), 20);
    for (int i = 0; i < 2; ++i) {
      const int32_t r = GameRand();
      if (j + 1 > 0) c->viewOffsetVector[i] += 2 * (r * (j + 1) / 0x8000) - j;
      else c->viewOffsetVector[i] -= j;
    }
  }
  if (dt >= kSwayResetMs) {
    for (int32_t& v : c->shakeAngles) v = 0;
    for (int32_t& v : c->viewOffsetVector) v = 0;
  } else if (still) {
    const int32_t keep = static_cast<int32_t>(kSwayResetMs - dt);
    for (int32_t& v : c->shakeAngles) v = static_cast<int32_t>(int64_t{v} * keep / static_cast<int32_t>(kSwayResetMs));
    for (int32_t& v : c->viewOffsetVector)
      v = static_cast<int32_t>(int64_t{v} * keep / static_cast<int32_t>(kSwayResetMs));
  }
}

void UpdateCockpitFrame(CockpitRecord* c) {
  const uint32_t now = gSystem ? gSystem->gameTime : 0;
  UpdateCockpitView(c);
  BuildCockpitInterior(c);

  int32_t shake[2];
  CockpitShakeOffsets(c, now, &shake[0], &shake[1]);
  FixedMatrix shakeRotation, swayRotation, s;
  MatrixFromAngles(&shakeRotation, 0, static_cast<uint32_t>(shake[0]), static_cast<uint32_t>(shake[1]));
  MatrixFromAngles(&swayRotation, static_cast<uint32_t>(c->shakeAngles[0]), static_cast<uint32_t>(c->shakeAngles[1]),
                   static_cast<uint32_t>(c->shakeAngles[2]));
  MatrixMultiply(&s, &shakeRotation, &swayRotation);
  if (c->camera) {
    InstanceRecord& eye = c->camera->instance;
    MatrixMultiply(&eye.matrix, &c->viewMatrix, &s);
    const FixedVector offset{c->viewOffsetVector[0], c->viewOffsetVector[1], c->viewOffsetVector[2], 0};
    MatrixMulVector(&eye.position, &eye.matrix, &offset);
  }

  // A cockpit whose sector camera was never set has no sector view to place or follow.
  CameraRecord* sectorCamera = c->sectorCamera;
  if (c->refObject && sectorCamera) PlaceSectorCamera(c, &s);
  if (c->sectorSpace && sectorCamera) MeasureSectorInCameraFrame(c);
  UpdateCockpitLights(c);

  CockpitQueryCurrentObject(c);
  CockpitQueryMissionOffers(c);
  CockpitScannerPass(c);
  UpdateTargetOverlay(&c->overlay);
  // The read-outs follow this frame's scanner list and tracking.
  UpdateCockpitDisplays(c);
  UpdateGridSlot(c);
  UpdateProximityMarks(c);
  UpdateCockpitMessage(&c->messages);
  UpdateNavMap(&c->navMap);
  UpdateCameraMessageSlot(&c->cameraMessage);
  UpdateTooltipStep(c);

  if (!c->refObject) return;
  uint32_t mainFov, otherFov;
  const uint32_t focus = gGuiMaster ? gGuiMaster->focus : kDefaultFocus;
  UpdateCockpitZoom(c, gSystem ? gSystem->realTime : 0, focus, &mainFov, &otherFov);
  if (c->camera && c->camera->fieldOfView != mainFov) B3D_CameraSetFocus(c->camera, mainFov);
  for (CameraRecord* camera : {c->sectorCamera, c->galaxyCamera, c->dustCamera})
    if (camera && camera->fieldOfView != otherFov) B3D_CameraSetFocus(camera, otherFov);
  c->fieldOfView = otherFov;
  // The drawing leaves out the part of the ship the eye sits in.
  SpaceObject* carrier = c->cockpitRefObject;
  if (carrier && carrier->objClass == kClassShip && c->cockpitNumber >= 0 &&
      c->cockpitNumber < ShipGetComponentCount(carrier)) {
    InstOrFlags(FindShipComponentNode(c->cockpitNumber, carrier), kCockpitNodeFlag, 0);
  }

  if (!sectorCamera) return;
  UpdateSectorCameraMotion(c);
  if (c->galaxyCamera) {
    InstanceRecord& galaxy = c->galaxyCamera->instance;
    const FixedVector& at = sectorCamera->instance.position;
    galaxy.position = FixedVector{at.x / kGalaxyScale, at.y / kGalaxyScale, at.z / kGalaxyScale, 0};
    galaxy.matrix = sectorCamera->instance.matrix;
  }
  if (c->dustCamera) UpdateDustScene(c->sectorSpace, c->dustCamera, sectorCamera);
  if (c->cockpitRefObject && c->cockpitRefObject->instance && (sectorCamera->cameraFlags & kCameraListener)) {
    uint32_t& sound = c->cockpitRefObject->instance->soundFlags;
    sound = c->viewMode == 1 ? (sound | kInCockpitSoundFlag) : (sound & ~kInCockpitSoundFlag);
  }
}

void UpdateHud() {
  GuiMaster* master = gGuiMaster;
  if (!master) return;
  UpdateAlertLevel(master);
  if (!master->cockpits) return;
  for (uint32_t key = HashNextKey(master->cockpits, 0); key; key = HashNextKey(master->cockpits, key)) {
    auto* cockpit = reinterpret_cast<CockpitRecord*>(HashGet(master->cockpits, key));
    if (cockpit) UpdateCockpitFrame(cockpit);
  }
}
