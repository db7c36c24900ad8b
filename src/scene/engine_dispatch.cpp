// The scene engine's native module: one dispatcher for the 168 B3D_ and J3D_ functions and their
// name table (index = function number). It reads a call's arguments, turns handles into records,
// runs the operation and answers the task; the job and take starts leave the task waiting, to be
// woken through the wait words they write. Called by the script interpreter for every native call
// into the module. It never reads an argument slot beyond the count it was given, never answers a
// task twice and never leaves a task waiting on a start that failed.
#include "scene/engine_dispatch.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/device_lights.h"
#include "render/display_surface.h"
#include "render/effect_cache.h"
#include "render/fonts.h"
#include "render/image_records.h"
#include "render/material_table.h"
#include "render/render.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/body_cache.h"
#include "scene/body_names.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/engine_natives.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/recording.h"
#include "scene/replay.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"
#include "scene/script_frees.h"
#include "scene/take_instances.h"
#include "scene/takes_jobs.h"
#include "scene/texture_drawing.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "script/value.h"

namespace {

// The answer a job start gives when its job ended on the first step.
constexpr int32_t kAnswerJobAlreadyOver = 11;
constexpr uint32_t kFogColourShift = 16;
constexpr int32_t kViewportMax = 65535;
constexpr int32_t kMemStatisticsCount = 6;

// World coordinates from scripts are 32-bit words whose sums and differences wrap.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// One native call: the task, its arguments and whether an answer was written.
struct Call {
  int32_t module;
  ScriptTask* task;
  int32_t count;
  ScriptValue* args;
  bool answered = false;
  bool waiting = false;  // a job or take start left the task waiting

  // Argument i as its payload; a slot beyond the count reads as 0.
  int32_t Int(int32_t i) const { return i < count && args ? args[i].i : 0; }
  uint32_t Handle(int32_t i) const { return static_cast<uint32_t>(Int(i)); }
  const ScriptValue* Slot(int32_t i) const { return i < count && args ? &args[i] : nullptr; }
  // Null unless the argument is a string.
  const char* Text(int32_t i) const {
    const ScriptValue* v = Slot(i);
    return v && (v->type == kValuePoolString || v->type == kValueString) ? GetValueString(v) : nullptr;
  }
  bool Truth(int32_t i) const {
    const ScriptValue* v = Slot(i);
    return v && ValueIsTrue(v);
  }
  // Element k of an array argument as an integer; 0 when missing.
  int32_t Element(int32_t i, int32_t k) const {
    const ScriptValue* v = Slot(i);
    if (!v || v->type != kValueArray || k >= GetArraySize(v)) return 0;
    const ScriptValue* e = ArrayElementPtr(const_cast<ScriptValue*>(v), k);
    return e && e->type == kValueInt ? e->i : 0;
  }

  InstanceRecord* Instance(int32_t i) const { return GetInstanceByHandle(Handle(i)); }
  CameraRecord* Camera(int32_t i) const { return GetCameraByHandle(Handle(i)); }
  SceneRecord* Scene(int32_t i) const { return GetSceneByHandle(Handle(i)); }

  void Answer(int32_t value) {
    ReturnInt(task, gScriptEngine, value);
    answered = true;
  }
  void Answer(const InstanceRecord* instance) { Answer(instance ? static_cast<int32_t>(instance->handle) : 0); }
  // An array of n integers.
  void AnswerArray(const int32_t* values, int32_t n) {
    ScriptValue array{};
    if (!AllocArrayValue(&array, n)) return Answer(0);
    for (int32_t k = 0; k < n; ++k) ArrayWriteInt(&array, k, values[k]);
    ReturnValue(task, gScriptEngine, &array);
    ReleaseValue(&array);
    answered = true;
  }
  void AnswerVector(const FixedVector& v) {
    const int32_t words[] = {v.x, v.y, v.z};
    AnswerArray(words, 3);
  }
  void AnswerString(const char* text) {
    ReturnString(task, gScriptEngine, text);
    answered = true;
  }
};

// A light changed: its device record, when it has one, follows.
void RefreshLight(InstanceRecord* light) {
  if (light->deviceLight) LightGetD3DLight(light);
}

// 50 and 51: the first of a list, or, with an after record, the one that follows it there.
void FindInList(Call& c, ListHead* list) {
  if (c.count == 2 && c.Truth(1)) {
    InstanceRecord* after = c.Instance(1);
    return c.Answer(after ? InstNextSibling(after) : nullptr);
  }
  ListNode* first = ListFirst(list);
  c.Answer(first ? InstanceOfNode(first) : nullptr);
}

CameraRecord* FirstCamera(SceneRecord* scene) {
  ListNode* node = scene ? ListFirst(&scene->cameras) : nullptr;
  return node ? CameraOfInstance(InstanceOfNode(node)) : nullptr;
}

// Viewports arrive as top, bottom, left, right.
void SetViewport(CameraRecord* camera, const Call& c) {
  const int32_t top = std::max(c.Int(1), 0), bottom = std::min(c.Int(2), kViewportMax);
  const int32_t left = std::max(c.Int(3), 0), right = std::min(c.Int(4), kViewportMax);
  CameraSetViewport(camera, top, right, left, bottom);
}

void SetFog(CameraRecord* camera, const Call& c) {
  if (c.Int(1) != 0) {
    const uint32_t colour = (c.Handle(2) << kFogColourShift) + (c.Handle(3) << 8) + c.Handle(4);
    camera->fog[0] = static_cast<int32_t>(colour);
    camera->fog[1] = c.Int(5);
    camera->fog[2] = c.Int(6);
    if (camera->fog[0] < 0) {
      camera->cameraFlags &= ~kCameraFog;
    } else {
      camera->cameraFlags |= kCameraFog;
    }
  } else {
    camera->cameraFlags &= ~kCameraFog;
    camera->fog[0] = -1;
    camera->fog[1] = camera->fog[2] = 0;
  }
}

void InstSetSizeUsed(Call& c, InstanceRecord* instance) {
  const int32_t size = c.Int(1);
  if (instance->bodyId >= 0) {
    const BodyRecord* body = LoadBody(instance->bodyId);
    if (body && size >= body->meshCount) return c.Answer(0);
  }
  if (size >= 0) {
    instance->flags |= kInstSizeUsed;
    instance->sizeUsed = size;
  }
  c.Answer(1);
}

void InstSetName(InstanceRecord* instance, const char* text) {
  // The instance keeps its own copy; anything but a string leaves it without a name.
  instance->name = text ? ReplaceString(instance->name, text) : FreeString(instance->name);
}

void InstGetChildren(Call& c, InstanceRecord* instance) {
  int32_t n = 0;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) ++n;
  if (n == 0) return c.Answer(0);
  ScriptValue array{};
  if (!AllocArrayValue(&array, n)) return c.Answer(0);
  int32_t k = 0;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child))
    ArrayWriteInt(&array, k++, static_cast<int32_t>(child->handle));
  ReturnValue(c.task, gScriptEngine, &array);
  ReleaseValue(&array);
  c.answered = true;
}

void InstDistanceToNearestVertex(Call& c, InstanceRecord* instance) {
  FixedVector world{}, local{};
  GetInstanceAbsPos(instance, &world);
  FixedMatrix rotation{};
  GetInstanceAbsMatrix(instance, &rotation);
  const FixedVector offset{Wrap(int64_t{c.Int(1)} - world.x), Wrap(int64_t{c.Int(2)} - world.y),
                           Wrap(int64_t{c.Int(3)} - world.z), 0};
  MatrixTransposeMulVector(&local, &rotation, &offset);
  c.Answer(B3D_InstDistanceToNearestVertex(instance, &local));
}

void InstSetAnimTextureCoords(const Call& c, InstanceRecord* instance) {
  UvTransform uv{};
  UvTransformInit(&uv, c.Int(2), c.Int(3));
  FixedMatrix m{};
  for (int k = 0; k < 4; ++k) {
    m.m[0][k] = uv.row0[k];
    m.m[1][k] = uv.row1[k];
  }
  for (int k = 0; k < 3; ++k) m.m[2][k] = uv.row2[k];
  B3D_InstSetAnimTextureCoords(instance, static_cast<int16_t>(c.Int(1)), &m);
}

void InstSetIcon(const Call& c, InstanceRecord* instance) {
  if (c.count == 3) {
    InstSetIconTexture(instance, c.Int(1), c.Int(2));
  } else if (c.count == 7) {
    FixedMatrix m{};
    if (IconTextureMatrix(c.Int(1), c.Int(2), c.Int(3), c.Int(4), c.Int(5), c.Int(6), &m))
      B3D_InstSetAnimTextureCoords(instance, 0, &m);
    instance->flags2 |= kInst2IconTexture;
  }
}

void CameraCalcOrientation(Call& c) {
  const FixedVector difference{Wrap(int64_t{c.Element(1, 0)} - c.Element(0, 0)),
                               Wrap(int64_t{c.Element(1, 1)} - c.Element(0, 1)),
                               Wrap(int64_t{c.Element(1, 2)} - c.Element(0, 2)), 0};
  FixedMatrix base{};
  MatrixFromAngles(&base, static_cast<uint32_t>(c.Element(2, 0)), static_cast<uint32_t>(c.Element(2, 1)),
                   static_cast<uint32_t>(c.Element(2, 2)));
  FixedVector turned{};
  MatrixTransposeMulVector(&turned, &base, &difference);
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&turned, &yaw, &pitch);
  const int32_t angles[] = {static_cast<int32_t>(yaw), static_cast<int32_t>(pitch)};
  c.AnswerArray(angles, 2);
}

void SetSystemScale(const Call& c, SceneRecord* scene) {
  const ScriptValue* v = c.Slot(1);
  scene->systemScale = v && v->type == kValueDouble ? static_cast<float>(ValueDouble(v))
                                                     : static_cast<float>(c.Int(1) / 65536.0);
}

void GetIconData(Call& c) {
  const int32_t set = c.Int(0);
  if (set < 0 || set >= kIconSetCount || !gEngine3D) return c.Answer(0);
  const IconRecord* icon = B3D_GetIconData(set, c.Int(1));
  if (!icon) return c.Answer(0);
  const int32_t words[] = {gEngine3D->iconTables[set].textureId, icon->x, icon->y, icon->width, icon->height};
  c.AnswerArray(words, 5);
}

void PreCacheTexture(Call& c) {
  const char* name = c.Text(0);
  const int32_t id = name ? B3D_GetTextureID(name, 0) : 0;
  if (id == 0 || !EnsureTextureLoaded(id) || !TextureGetLoaded(id)) return c.Answer(0);
  SetTextureFlags(id, TextureGetFlags(id) | kTextureResident);
  c.Answer(1);
}

void TexSetTextBGColor(Call& c) {
  const int32_t font = c.Int(0);
  FontRecord* record = font >= 0 && font < kFontTableSize ? gFontTable[font] : nullptr;
  if (!record) return c.Answer(0);
  record->shadowColour = c.Handle(1);
  c.Answer(1);
}

void TexGetTextArray(Call& c) {
  const char* text = c.Text(1);
  ScriptValue result{};
  if (!text || !B3D_TexGetTextArray(c.Int(0), text, c.Int(2), c.Int(3), c.Handle(4), &result)) {
    ReleaseValue(&result);
    return c.Answer(0);
  }
  ReturnValue(c.task, gScriptEngine, &result);
  ReleaseValue(&result);
  c.answered = true;
}

void ScreenSize(Call& c, bool height) {
  if (!gSystem || !gDisplay) return c.Answer(0);
  c.Answer(height ? gSystem->screenHeight : gSystem->screenWidth);
}

void InitRecording(const Call& c) {
  if (!gEngine3D || (gEngine3D->engineFlags & (kEngineRecording | kEngineReplaying))) return;
  if (const char* name = c.Text(0)) B3D_InitRecording(name);
}

void InitReplay(Call& c) {
  if (!gEngine3D || (gEngine3D->engineFlags & (kEngineRecording | kEngineReplaying))) return c.Answer(0);
  const char* name = c.Text(0);
  c.Answer(name ? B3D_InitReplay(name, c.Int(1), c.Int(2), c.Int(3), c.Int(4), c.Int(5)) : 0);
}

void MemStatistics(Call& c) {
  const uint32_t words[kMemStatisticsCount] = {
      gMemCounters.totalBytes, gMemCounters.currentBytes, gMemCounters.categoryBytes[kMemCatEngine3D],
      gMemCounters.categoryBytes[kMemCatBody], gMemCounters.categoryBytes[kMemCatCut], gMemCounters.allocationCount};
  const int32_t kind = c.Int(0);
  c.Answer(kind >= 0 && kind < kMemStatisticsCount ? static_cast<int32_t>(words[kind]) : 0);
}

void SetScreenOverlay(const Call& c) {
  if (!gEngine3D) return;
  const char* name = c.Text(0);
  gEngine3D->screenOverlayName =
      name ? ReplaceString(gEngine3D->screenOverlayName, name) : FreeString(gEngine3D->screenOverlayName);
  gEngine3D->screenOverlayValue = c.Int(1);
}

// The path of a cut by id and path number; null for no cut or a number outside it.
PathRecord* CutPath(const Call& c, CutRecord** cutOut = nullptr) {
  CutRecord* cut = J3D_LoadCut(c.Int(0));
  const int32_t n = c.Int(1);
  if (!cut || n < 0 || n >= cut->pathCount || !cut->paths) return nullptr;
  if (cutOut) *cutOut = cut;
  return &cut->paths[n];
}

void GetPathPosAndRot(Call& c) {
  CutRecord* cut = nullptr;
  PathRecord* path = CutPath(c, &cut);
  if (!path) return c.Answer(0);
  const bool atEnd = c.Truth(2);
  FixedMatrix rotation{};
  MatrixFromAngles(&rotation, static_cast<Angle16>(c.Element(3, 3)), static_cast<Angle16>(c.Element(3, 4)),
                   static_cast<Angle16>(c.Element(3, 5)));
  FixedVector position{c.Element(3, 0), c.Element(3, 1), c.Element(3, 2), 0};
  if (path->positions.count > 0) {
    FixedVector key{}, turned{};
    GetPathPos(atEnd ? path->positions.count - 1 : 0, path, &key);
    MatrixMulVector(&turned, &rotation, &key);
    position.x = Wrap(int64_t{position.x} + turned.x);
    position.y = Wrap(int64_t{position.y} + turned.y);
    position.z = Wrap(int64_t{position.z} + turned.z);
  }
  if (path->rotations.count > 0) {
    FixedMatrix key{}, product{};
    GetPathRotMatrix(path, atEnd ? path->rotations.count - 1 : 0, &key);
    MatrixMultiply(&product, &rotation, &key);
    rotation = product;
  }
  int32_t a = 0, b = 0, d = 0;
  MatrixToAngles(&rotation, &a, &b, &d);
  const int32_t words[] = {position.x, position.y, position.z, a, b, d};
  c.AnswerArray(words, 6);
}

// The path a job plays: the last path of the cut whose body-or-cut id (or serial) is `value`.
int32_t JobPath(const CutRecord* cut, int32_t value, bool bySerial) {
  for (int32_t n = cut->pathCount - 1; n >= 0; --n) {
    const PathRecord& p = cut->paths[n];
    if (bySerial ? p.serial == value : static_cast<int32_t>(p.lookupWord) == value) return n;
  }
  return -1;
}

// The job natives; `play` plays a range, `wait` leaves the task waiting for the end.
void Job(Call& c, bool bySerial, bool play, bool wait) {
  InstanceRecord* instance = c.Instance(0);
  CutRecord* cut = instance ? J3D_LoadCut(c.Int(1)) : nullptr;
  const int32_t n = cut && cut->paths ? JobPath(cut, c.Int(2), bySerial) : -1;
  if (n < 0) return c.Answer(0);
  const bool started = play ? InstJobPlay(instance, n, cut, c.Int(3), c.Int(4), false)
                            : StartInstancePath(instance, cut, n);
  if (!started) return c.Answer(0);
  if (instance->jobFlags & kJobEndReported) return c.Answer(kAnswerJobAlreadyOver);
  if (!wait) return c.Answer(1);
  instance->jobFlags |= kJobTaskWaits;
  instance->waitModule = c.module;
  instance->waitToken = c.task->id;
  c.waiting = true;
}

void TakeStart(Call& c) {
  if (c.count != 3 && c.count != 4) return c.Answer(0);
  TakeRecord* take = GetTakeByHandle(c.Handle(0));
  CutRecord* cut = take ? J3D_LoadCut(c.Int(1)) : nullptr;
  SceneRecord* scene = c.Scene(2);
  if (!cut || !scene) return c.Answer(0);
  CameraRecord* camera = c.count == 4 ? c.Camera(3) : nullptr;
  // A take with nothing to play would never be stopped, so its task is not left waiting.
  if (!J3D_TakeStart(take, cut, scene, camera)) return c.Answer(0);
  take->waitModule = c.module;
  take->waitToken = c.task->id;
  c.waiting = true;
}

// The natives with an instance (or light) as their first argument; false when the number is not
// one of them.
bool InstanceNative(Call& c, int32_t function, InstanceRecord* i) {
  switch (function) {
    case 3: return c.Answer(B3D_InstSetBody(i, c.Int(1)) ? 1 : 0), true;
    case 22: B3D_InstSetPos(i, c.Int(1), c.Int(2), c.Int(3)); return true;
    case 23: B3D_InstSetRot(i, c.Int(1), c.Int(2), c.Int(3)); return true;
    case 24:
      if (InstanceRecord* source = c.Instance(1)) B3D_InstCopyRot(i, source);
      return true;
    case 25: B3D_InstSetPos(i, c.Int(1), c.Int(2), c.Int(3)); return RefreshLight(i), true;
    case 26: {
      const int32_t r = c.Int(1), g = c.Int(2), b = c.Int(3);
      // Colours above 255 are given in 8.8.
      if (r <= 255 && g <= 255 && b <= 255) {
        B3D_LightSetColor(i, static_cast<int16_t>(r), static_cast<int16_t>(g), static_cast<int16_t>(b));
      } else {
        B3D_LightSetColor(i, (r >> 8) & 0xFF, (g >> 8) & 0xFF, (b >> 8) & 0xFF);
      }
      return true;
    }
    case 27: B3D_LightSetRange(i, c.Int(1)); return true;
    case 28: B3D_LightSetParameters(i, c.Int(1)); return true;
    case 29:
      for (int k = 0; k < 3; ++k) i->words31[k] = c.Handle(1 + k);
      return RefreshLight(i), true;
    case 31: B3D_InstSetSize(i, c.Int(1)); return true;
    case 32: B3D_InstSetScale(i, c.Int(1), c.Int(2), c.Int(3)); return true;
    case 33: return c.Answer(B3D_InstSetOverrideEffect(i, c.Int(1)) ? 1 : 0), true;
    case 34: return c.Answer(1), true;
    case 35: B3D_InstSetAlphaOverride(i, c.Int(1)); return c.Answer(c.Int(1)), true;
    case 36: B3D_InstSetAlphaOverrideRecursive(i, c.Int(1)); return true;
    case 37: return c.Answer(i->alphaOverride), true;
    case 38: B3D_InstSetInvis(i, c.Int(1) != 0); return true;
    case 39: return InstSetSizeUsed(c, i), true;
    case 40: return c.Answer(static_cast<int32_t>(i->flags)), true;
    case 41: return c.Answer(static_cast<int32_t>(i->flags2)), true;
    // The camera bit tells the record's kind and size: a script can neither give nor take it.
    case 42: i->flags = (c.Handle(1) & ~kInstCamera) | (i->flags & kInstCamera); return true;
    case 43: i->flags2 = c.Handle(1); return true;
    case 46: return c.Answer(TexAnimFindRecord(c.Int(1), i->texAnimCount, i->texAnims, c.Int(2))), true;
    case 47: InstSetAnimTextureCoords(c, i); return true;
    case 48: i->passNumber = c.Int(1); return true;
    case 76: InstSetName(i, c.Text(1)); return true;
    case 77: B3D_InstMakeRapidBox(i, c.Int(1)); return true;
    case 78: return c.Answer(i->size), true;
    case 79: return c.Answer(B3D_InstGetTotalSize(i)), true;
    case 80: return c.Answer(i->bodyId), true;
    case 81: return c.AnswerVector(i->position), true;
    case 82: {
      FixedVector world{};
      GetInstanceAbsPos(i, &world);
      return c.AnswerVector(world), true;
    }
    case 83: {
      const int32_t row[] = {i->matrix.m[2][0], i->matrix.m[2][1], i->matrix.m[2][2]};
      return c.AnswerArray(row, 3), true;
    }
    case 84: {
      FixedMatrix world{};
      GetInstanceAbsMatrix(i, &world);
      const int32_t row[] = {world.m[2][0], world.m[2][1], world.m[2][2]};
      return c.AnswerArray(row, 3), true;
    }
    case 123: return InstGetChildren(c, i), true;
    case 124: return InstDistanceToNearestVertex(c, i), true;
    case 133: return c.Answer(i->pathNumber), true;
    case 135: InstSetIcon(c, i); return true;
    case 136: B3D_InstSetColorModifier(i, c.Int(1), c.Int(2), c.Int(3), c.Int(4)); return true;
    case 137: return c.AnswerVector(i->scale), true;
    case 139: return c.Answer(i->collisionCentre.x), true;
    case 140: return c.Answer(i->collisionCentre.y), true;
    case 141: return c.Answer(i->collisionCentre.z), true;
    default: return false;
  }
}

bool CameraNative(Call& c, int32_t function, CameraRecord* cam) {
  switch (function) {
    case 56: SetViewport(cam, c); return true;
    case 57: {
      const int32_t view[] = {cam->viewTop, cam->viewBottom, cam->viewLeft, cam->viewRight};
      return c.AnswerArray(view, 4), true;
    }
    case 58: return c.Answer(static_cast<int32_t>(cam->cameraFlags)), true;
    case 59: cam->cameraFlags = c.Handle(1); return true;
    case 60: B3D_CameraSetPri(cam, c.Int(1)); return true;
    case 61: B3D_CameraSetFocus(cam, c.Handle(1)); return true;
    case 62: return c.Answer(static_cast<int32_t>(cam->fieldOfView)), true;
    case 63: B3D_CameraSetBackgroundColor(cam, c.Int(1), c.Int(2), c.Int(3)); return true;
    case 64: B3D_CameraSetAspect(cam, 65536, c.Int(1)); return true;
    case 65: B3D_CameraSetAspect(cam, c.Int(1), c.Int(2)); return true;
    case 66: SetFog(cam, c); return true;
    case 67:
      if (c.Int(1) != 0) B3D_CameraSetCausticAnim(cam, c.Int(1));
      return true;
    case 68: B3D_CameraSetFadeValue(cam, c.Int(1)); return true;
    case 69:
      if (CameraRecord* source = c.Camera(1)) cam->environmentSource = source->instance.handle;
      return true;
    case 70: return c.Answer(CameraCalcFOV(c.Int(1), c.Int(2), c.Int(3))), true;
    case 71: return c.Answer(CameraCalcDist(c.Int(1), c.Int(2), c.Int(3))), true;
    case 73: {
      const int32_t a[] = {c.Element(1, 0), c.Element(1, 1), c.Element(1, 2)};
      const int32_t b[] = {c.Element(2, 0), c.Element(2, 1), c.Element(2, 2)};
      InstSetRotFromTwoAngleSets(&cam->instance, a, b);
      return true;
    }
    case 74: B3D_CameraShake(cam, c.Int(1)); return true;
    default: return false;
  }
}

bool SceneNative(Call& c, int32_t function, SceneRecord* scene) {
  switch (function) {
    case 8: B3D_SceneClear(scene); return true;
    case 9: B3D_SceneFree(scene); return true;
    case 10: B3D_SceneEnable(scene); return true;
    case 11: B3D_SceneDisable(scene); return true;
    case 30: return c.Answer(FirstCamera(scene) ? &FirstCamera(scene)->instance : nullptr), true;
    case 49: {
      InstanceRecord* after = c.count == 3 && c.Truth(2) ? c.Instance(2) : nullptr;
      return c.Answer(B3D_InstFindByBodyID(scene, c.Int(1), after)), true;
    }
    case 50: return FindInList(c, &scene->members), true;
    case 51: return FindInList(c, &scene->cameras), true;
    case 52:
      if (CameraRecord* camera = FirstCamera(scene)) SetViewport(camera, c);
      return true;
    case 53: scene->flags = c.Handle(1); return true;
    case 54: return c.Answer(static_cast<int32_t>(scene->flags)), true;
    case 75: SetSystemScale(c, scene); return true;
    case 103:
      if (const char* name = c.Text(1)) B3D_SceneSetName(scene, name);
      return true;
    default: return false;
  }
}

// Texture drawing, text and screen natives.
bool TextureNative(Call& c, int32_t function) {
  auto a = [&c](int32_t i) { return c.Int(i); };
  auto u = [&c](int32_t i) { return c.Handle(i); };
  switch (function) {
    case 44: {
      const char* name = c.Text(0);
      return c.Answer(name ? B3D_GetTextureID(name, c.count >= 2 ? a(1) : 0) : 0), true;
    }
    case 45: return PreCacheTexture(c), true;
    case 93: B3D_TexRectFill(a(0), a(1), a(2), a(3), a(4), u(5)); return true;
    case 94: {
      const char* text = c.Text(1);
      return c.Answer(text ? B3D_TexTextBlock(a(0), text, a(2), a(3), a(4), a(5), u(6), u(7)) : 0), true;
    }
    case 95: return c.Answer(a(1)), true;
    case 96: return c.Answer(B3D_TexTextWidth(c.Text(0), a(1), u(2))), true;
    case 97: return c.Answer(B3D_TexTextHeight(u(0), a(1))), true;
    case 98: {
      const char* text = c.Text(1);
      return c.Answer(text ? B3D_TexTextBlockHeight(a(0), text, a(2), a(3), u(4)) : 0), true;
    }
    case 99: return TexSetTextBGColor(c), true;
    case 100: return TexGetTextArray(c), true;
    case 101: return c.Answer(B3D_TexGetWidth(a(0))), true;
    case 102: return c.Answer(B3D_TexGetHeight(a(0))), true;
    case 104: B3D_TexLine(a(0), a(1), a(2), a(3), a(4), u(5)); return true;
    case 105:
      B3D_TexBltBlock(a(0), a(1), a(2), a(3), a(4), a(5), a(6), a(7), c.count > 8 ? a(8) : -1, 1);
      return true;
    case 106:
      B3D_TexBltBlockAlpha(a(0), a(1), a(2), a(3), a(4), a(5), a(6), a(7), c.count > 8 ? u(8) : 0xFFFFFFFFu, 1);
      return true;
    case 107:
      B3D_TexBltTiles(a(0), a(1), a(2), a(3), a(4), a(5), a(6), a(7), a(8), a(9), c.count > 10 ? a(10) : -1);
      return true;
    case 108:
      B3D_TexBltTilesAlpha(a(0), a(1), a(2), a(3), a(4), a(5), a(6), a(7), a(8), a(9),
                           c.count > 10 ? u(10) : 0xFFFFFFFFu);
      return true;
    case 109:
      B3D_TexBltImage(a(0), c.Text(1), a(2), a(3), a(4), a(5), a(6), a(7));
      return true;
    case 110: {
      const char* name = c.Text(0);
      return c.Answer(name ? B3D_OpenFont(name, a(1), a(2), a(3), c.count > 4 ? a(4) : 0) : -1), true;
    }
    case 113: return ScreenSize(c, false), true;
    case 114: return ScreenSize(c, true), true;
    case 115: return c.Answer(gDisplay ? gDisplay->horizontalExtent : 0), true;
    case 116: return c.Answer(gDisplay ? gDisplay->verticalExtent : 0), true;
    case 117: return c.Answer(ScreenBorderX()), true;
    case 118: return c.Answer(ScreenBorderY()), true;
    case 120: B3D_TexCircle(a(0), a(1), a(2), a(3), a(4), u(5)); return true;
    case 121: B3D_TexCircleFill(a(0), a(1), a(2), a(3), a(4), u(5)); return true;
    case 138: {
      const char* text = c.Text(1);
      return c.Answer(text ? B3D_TexTextBlockCentered(a(0), text, a(2), a(3), a(4), a(5), a(6), u(7), u(8)) : 0),
             true;
    }
    default: return false;
  }
}

bool PathNative(Call& c, int32_t function) {
  switch (function) {
    case 144: {
      const CutRecord* cut = J3D_LoadCut(c.Int(0));
      return c.Answer(cut ? cut->pathCount : 0), true;
    }
    case 145:
    case 146:
    case 147:
    case 148:
    case 149:
    case 151: {
      const PathRecord* p = CutPath(c);
      if (!p) return c.Answer(0), true;
      switch (function) {
        case 145: return c.Answer(p->flags & kPathNamesBody ? static_cast<int32_t>(p->lookupWord) : 0), true;
        case 146: return c.Answer(p->flags & kPathNamesCut ? static_cast<int32_t>(p->lookupWord) : 0), true;
        case 147: return c.Answer(p->serial), true;
        case 148: return c.Answer(static_cast<int32_t>(p->loaderWord)), true;
        case 149: return c.Answer(static_cast<int32_t>(p->flags)), true;
        default: return p->name ? c.AnswerString(p->name) : c.Answer(0), true;
      }
    }
    case 150: return GetPathPosAndRot(c), true;
    case 156: {
      const CutRecord* cut = J3D_LoadCut(c.Int(0));
      return c.Answer(cut && cut->paths && JobPath(cut, c.Int(1), false) >= 0 ? 1 : 0), true;
    }
    case 157: return c.Answer(J3D_LoadCut(c.Int(0)) ? 1 : 0), true;
    case 158:
      if (CutRecord* cut = GetCutByHandle(c.Handle(0))) J3D_FreeCut(cut);
      return true;
    case 159:
      if (GetCutByHandle(c.Handle(0))) J3D_SetCutPos(c.Handle(0), c.Int(1), c.Int(2), c.Int(3));
      return true;
    case 152: return Job(c, false, false, true), true;
    case 153: return Job(c, true, false, true), true;
    case 164: return Job(c, false, true, true), true;
    case 165: return Job(c, true, true, true), true;
    case 166: return Job(c, false, true, false), true;
    case 167: return Job(c, true, true, false), true;
    case 154:
      if (InstanceRecord* i = c.Instance(0)) J3D_JobStop(i);
      return true;
    case 155: {
      InstanceRecord* i = c.Instance(0);
      return c.Answer(i ? J3D_JobGetRemainingTime(i) : 0), true;
    }
    case 160: {
      TakeRecord* take = TakeAlloc();
      return c.Answer(take ? static_cast<int32_t>(take->handle) : 0), true;
    }
    case 161: return TakeStart(c), true;
    case 162:
      if (TakeRecord* take = GetTakeByHandle(c.Handle(0))) J3D_TakeStop(take);
      return true;
    case 163:
      if (TakeRecord* take = GetTakeByHandle(c.Handle(0))) J3D_TakeFree(take);
      return true;
    default: return false;
  }
}

// Engine-wide values, allocation and membership, bodies, recording and replay.
bool EngineNative(Call& c, int32_t function) {
  EngineState3D* e = gEngine3D;
  switch (function) {
    case 0: return c.Answer(B3D_InstAlloc()), true;
    case 1: return c.Answer(B3D_LightAlloc()), true;
    case 2:
    case 4: ScriptFreeInstance(c.Instance(0)); return true;
    case 5: {
      CameraRecord* camera = B3D_CameraAlloc();
      return c.Answer(camera ? &camera->instance : nullptr), true;
    }
    case 6: ScriptFreeCamera(c.Camera(0)); return true;
    case 7: {
      SceneRecord* scene = B3D_SceneAlloc();
      return c.Answer(scene ? static_cast<int32_t>(scene->handle) : 0), true;
    }
    case 12:
    case 14: {
      InstanceRecord* i = c.Instance(0);
      SceneRecord* scene = c.Scene(1);
      if (i && scene) AddInstanceToScene(i, scene);
      return true;
    }
    case 13:
    case 15: {
      InstanceRecord* i = c.Instance(0);
      SceneRecord* scene = c.Scene(1);
      if (i && scene) RemoveInstanceFromScene(i, scene);
      return true;
    }
    case 16: {
      CameraRecord* camera = c.Camera(0);
      SceneRecord* scene = c.Scene(1);
      if (camera && scene) B3D_CameraAddToScene(camera, scene);
      return true;
    }
    case 17: {
      CameraRecord* camera = c.Camera(0);
      SceneRecord* scene = c.Scene(1);
      if (camera && scene) B3D_CameraDeleteFromScene(scene, camera);
      return true;
    }
    case 18: {
      InstanceRecord* child = c.Instance(0);
      InstanceRecord* parent = c.Instance(1);
      if (child && parent) B3D_InstAddToInst(child, parent);
      return true;
    }
    case 19: e->engineFlags |= c.Handle(0); return c.Answer(static_cast<int32_t>(e->engineFlags)), true;
    case 20: e->engineFlags &= ~c.Handle(0); return c.Answer(static_cast<int32_t>(e->engineFlags)), true;
    case 21:
    case 92: return c.Answer(static_cast<int32_t>(e->engineFlags)), true;
    case 91: e->engineFlags = c.Handle(0); return c.Answer(c.Int(0)), true;
    case 55: B3D_FreeAllBodies(); return true;
    case 72: return CameraCalcOrientation(c), true;
    case 85: return c.Answer(B3D_FindBody(c.Int(0)) ? 1 : 0), true;
    case 86: return MemStatistics(c), true;
    case 87: InitRecording(c); return true;
    case 88:
      if (e->engineFlags & kEngineRecording) B3D_ExitRecording();
      return true;
    case 89: return InitReplay(c), true;
    case 90:
      if (e->engineFlags & kEngineReplaying) B3D_ExitReplay();
      return true;
    case 111: B3D_DisableAllObjects3D(); return true;
    case 112: B3D_EnableAllObjects3D(); return true;
    case 119: e->globalFadeValue = c.Int(0); return true;
    case 122: e->shadowAlpha = c.Int(0); return true;
    case 125: return c.Answer(e->gammaValue), true;
    case 126: B3D_SetGammaValue(c.Int(0)); return true;
    case 127: return true;
    case 128: FreeBodiesNotInUse(); return true;
    case 129: {
      const char* name = c.Text(0);
      return c.Answer(name ? B3D_GetBodyID(name) : 0), true;
    }
    case 130: {
      const char* name = c.Text(0);
      return c.Answer(name ? B3D_GetCutID(name) : 0), true;
    }
    case 131:
    case 132: {
      std::string name;
      if (function == 131) {
        B3D_GetBodyFilename(&name, c.Int(0), 0);
      } else {
        B3D_GetCutFilename(&name, c.Int(0), 0);
      }
      return c.AnswerString(name.c_str()), true;
    }
    case 134: return GetIconData(c), true;
    case 142: SetScreenOverlay(c); return true;
    case 143:
      e->screenOverlayName = FreeString(e->screenOverlayName);
      e->screenOverlayValue = 0;
      return true;
    default: return false;
  }
}

// The natives whose first argument names an instance, a camera or a scene.
bool IsInstanceNative(int32_t f) {
  return f == 3 || (f >= 22 && f <= 29) || (f >= 31 && f <= 43) || (f >= 46 && f <= 48) || (f >= 76 && f <= 84) ||
         f == 123 || f == 124 || f == 133 || (f >= 135 && f <= 137) || (f >= 139 && f <= 141);
}
bool IsCameraNative(int32_t f) { return (f >= 56 && f <= 71) || f == 73 || f == 74; }
bool IsSceneNative(int32_t f) { return (f >= 8 && f <= 11) || f == 30 || (f >= 49 && f <= 54) || f == 75 || f == 103; }

}  // namespace

int32_t DispatchEngineNative(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount,
                             ScriptValue* args) {
  Call c{seModuleIndex, task, std::max(argCount, 0), args};
  // Taken unsigned, so a negative number is as unknown as one past the table.
  const uint32_t f = static_cast<uint32_t>(function);
  if (!gEngine3D || f >= kEngineNativeCount) {
    c.Answer(0);
    return 1;
  }
  const int32_t n = static_cast<int32_t>(f);
  if (IsInstanceNative(n)) {
    // 124 answers -1 for an instance that is not there; every other one 0.
    if (InstanceRecord* i = c.Instance(0)) {
      InstanceNative(c, n, i);
    } else if (n == 124) {
      c.Answer(-1);
    }
  } else if (IsCameraNative(n)) {
    if (CameraRecord* camera = c.Camera(0)) CameraNative(c, n, camera);
  } else if (IsSceneNative(n)) {
    if (SceneRecord* scene = c.Scene(0)) SceneNative(c, n, scene);
  } else if (!TextureNative(c, n) && !PathNative(c, n)) {
    EngineNative(c, n);
  }
  if (!c.answered && !c.waiting) c.Answer(0);
  return 1;
}
