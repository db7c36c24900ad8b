// Fuzz target of the scene engine's native dispatcher: the input is a run of native calls, each
// with an argument frame built from the bytes (integers, handles of a small scene, texts,
// doubles, arrays of any length, empty slots) and an argument count that may be short of the
// frame or beyond the values filled, on a scene with instances, a light, two cameras, a take and
// a cut of two paths. Every call must answer or leave its task waiting, and nothing may leak;
// the recording start is left out, as it writes a file named by the input.
//
// Input: repeated records of function (2 bytes, big-endian, any value), declared count (1 byte,
// 0..15), filled count (1 byte, 0..15), then that many values: a kind byte (low 3 bits) and its
// payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "fuzz_support.h"
#include "scene/body_text.h"
#include "scene/camera_records.h"
#include "scene/cut_files.h"
#include "scene/cut_reading.h"
#include "scene/cut_records.h"
#include "scene/engine_dispatch.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/takes_jobs.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/tasks.h"

namespace {

constexpr int32_t kFrameSlots = 16;
constexpr int32_t kInitRecording = 87;
constexpr uint32_t kCutHandle = 7;
constexpr int kHandles = 8;

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool More() const { return at < size; }
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  int32_t Word() {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = (v << 8) | Byte();
    return static_cast<int32_t>(v);
  }
};

void ReturningFatal(uint32_t code, const char*) {
  if (code != kBodyExitMalformed && code != kBodyExitMemory) std::abort();
}

// A cut of two paths (one with two position and two rotation keys and a name, one with none),
// made for each input as the cut readers make theirs, since the natives may free it.
template <typename Key>
Key* Keys(int32_t n) {
  auto* keys = static_cast<Key*>(AllocCutArray(sizeof(Key) * static_cast<size_t>(n), "fuzz"));
  for (int32_t k = 0; k < n; ++k) keys[k] = Key{};
  return keys;
}

void EnterCut() {
  CutRecord* cut = AllocCutRecord("fuzz");
  *cut = CutRecord{};
  cut->handle = kCutHandle;
  cut->pathCount = 2;
  cut->paths = AllocCutPaths(2, "fuzz");
  for (int32_t n = 0; n < 2; ++n) cut->paths[n] = PathRecord{};
  PathRecord& p = cut->paths[0];
  p.positions = {2, Keys<PositionKey>(2)};
  p.positions.keys[1].time = 800;
  p.positions.keys[1].position = {100, 200, 300, 0};
  p.rotations = {2, Keys<RotationKey>(2)};
  p.rotations.keys[1].time = 800;
  p.rotations.keys[1].angles[0] = 0x2000;
  p.lookupWord = 1;
  p.serial = 1;
  p.flags = kPathNamesBody;
  p.name = DuplicateString("hull");
  cut->paths[1].lookupWord = 2;
  cut->paths[1].serial = 2;
  cut->paths[1].flags = kPathNamesCut;
  HashInsert(gEngine3D->cutTable, kCutHandle, reinterpret_cast<HashValue>(cut));
}

void FreeCuts() {
  while (const uint32_t key = HashNextKey(gEngine3D->cutTable, 0))
    FreeCut(reinterpret_cast<CutRecord*>(HashRemove(gEngine3D->cutTable, key)));
}

void ReadValue(Reader* in, ScriptValue* slot, const int32_t handles[kHandles]) {
  const uint8_t kind = in->Byte();
  switch (kind & 7) {
    case 0: SetValueInt(slot, in->Word()); break;
    case 1: SetValueInt(slot, handles[(kind >> 3) & (kHandles - 1)]); break;
    case 2: {
      char text[8] = {};
      const uint8_t n = in->Byte() & 7;
      for (uint8_t k = 0; k < n; ++k) text[k] = static_cast<char>(in->Byte() | 1);
      SetValueString(slot, text);
      break;
    }
    case 3: {
      const int32_t n = in->Byte() & 7;
      if (!AllocArrayValue(slot, n)) break;
      for (int32_t k = 0; k < n; ++k) ArrayWriteInt(slot, k, in->Word());
      break;
    }
    case 4: SetValueDouble(slot, static_cast<double>(in->Word()) / 7.0); break;
    default: break;  // an empty slot
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptEngine* engine = fuzz::Engine();
  static bool ready = [] {
    fuzz::World();
    fuzz::SceneEngine(ReturningFatal);
    return true;
  }();
  (void)ready;
  EngineState3D* e = gEngine3D;
  EnterCut();
  SceneRecord* scene = B3D_SceneAlloc();
  InstanceRecord* member = B3D_InstAlloc();
  InstanceRecord* child = B3D_InstAlloc();
  InstanceRecord* light = B3D_LightAlloc();
  CameraRecord* camera = B3D_CameraAlloc();
  CameraRecord* spare = B3D_CameraAlloc();
  TakeRecord* take = TakeAlloc();
  if (!scene || !member || !child || !light || !camera || !spare || !take) std::abort();
  AddInstanceToScene(member, scene);
  B3D_InstAddToInst(child, member);
  AddInstanceToScene(light, scene);
  B3D_CameraAddToScene(camera, scene);
  const int32_t handles[kHandles] = {int32_t(scene->handle),          int32_t(member->handle),
                                     int32_t(child->handle),          int32_t(light->handle),
                                     int32_t(camera->instance.handle), int32_t(spare->instance.handle),
                                     int32_t(take->handle),           int32_t(kCutHandle)};
  Reader in{data, size};
  while (in.More()) {
    const int32_t function = static_cast<int16_t>((in.Byte() << 8) | in.Byte());
    const int32_t declared = in.Byte() & 15;
    ScriptValue frame[kFrameSlots]{};
    const int32_t filled = in.Byte() & 15;
    for (int32_t k = 0; k < filled && k < kFrameSlots; ++k) ReadValue(&in, &frame[k], handles);
    ScriptTask* task = NewTask(engine, 8);
    if (!task) break;
    if (function != kInitRecording && DispatchEngineNative(engine->seModuleIndex, task, function, declared, frame) != 1)
      std::abort();
    ReleaseValue(&task->result);
    FreeTask(engine, task);
    for (ScriptValue& v : frame) ReleaseValue(&v);
  }
  e->screenOverlayName = FreeString(e->screenOverlayName);
  e->engineFlags = 0;
  ResetEngine3D();
  FreeCuts();
  return 0;
}
