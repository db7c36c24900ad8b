// Fuzz target of the cut notes as the engine plays them: a cut read from the input (first byte
// even: text form, odd: binary form) is played by one instance per path in a scene, every note
// is performed and looked up at its time, one cut-scene step runs over the whole cut, and a take
// builds, starts and frees the objects the paths' body ids name. Note texts of any length, notes
// in any order and any times must neither read outside the cut nor leave anything behind.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/data_reader.h"
#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "core/system_block.h"
#include "fuzz_support.h"
#include "scene/body_text.h"
#include "scene/cut_events.h"
#include "scene/cut_files.h"
#include "scene/engine_natives.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/take_instances.h"
#include "scene/takes_jobs.h"

namespace {

constexpr int32_t kCutId = 2;
constexpr int32_t kLongestStep = 100000;  // the step runs at most this far past the start

uint64_t gEvents = 0;

void ReturningFatal(uint32_t code, const char*) {
  if (code != kBodyExitMalformed && code != kBodyExitMemory) std::abort();
}

void CountEvent(int32_t, const char*, int32_t) { ++gEvents; }

void FreeCuts() {
  while (const uint32_t key = HashNextKey(gEngine3D->cutTable, 0))
    FreeCut(reinterpret_cast<CutRecord*>(HashRemove(gEngine3D->cutTable, key)));
}

void Play(CutRecord* cut, SceneRecord* scene) {
  const int32_t now = static_cast<int32_t>(gSystem->gameTime);
  int32_t latest = 0;
  std::vector<InstanceRecord*> players;
  for (int32_t n = 0; n < cut->pathCount; ++n) {
    InstanceRecord* player = B3D_InstAlloc();
    if (!player) return;
    AddInstanceToScene(player, scene);
    player->cutHandle = cut->handle;
    player->pathNumber = n;
    player->scriptReceiver = 1;
    player->jobFlags = kJobPlaying | (n % 2 ? kJobRebased : 0);
    player->jobStart = player->jobClock = now;
    player->rangeEnd = PathAnimEndTime(&cut->paths[n]);
    players.push_back(player);
    for (int32_t k = 0; k < cut->paths[n].noteCount; ++k) {
      const int32_t time = cut->paths[n].notes[k].time;
      if (time > latest && time < kLongestStep) latest = time;
    }
  }
  for (InstanceRecord* player : players) {
    const PathRecord* path = &cut->paths[player->pathNumber];
    for (int32_t k = 0; k < path->noteCount; ++k) {
      ParseCutEvents(player, path, k);
      InstPathFindEvent(player, path->notes[k].time);
    }
  }
  gSystem->gameTime += static_cast<uint32_t>(latest) + 1;
  UpdateCutScenes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzz::World();
    fuzz::SceneEngine(ReturningFatal);
    SetCutEventSink(CountEvent);
    return true;
  }();
  (void)ready;
  if (size < 2) return 0;
  if (!AllocBodyDataTable() || !AllocCutDataTable()) std::abort();
  std::vector<uint8_t> buffer(data + 1, data + size);
  DataReader reader;
  const bool binary = (data[0] & 1) != 0;
  DataReaderInit(&reader, buffer.data(), binary, buffer.size());
  reader.sections = kCutSectionTable;
  reader.sectionCount = kCutSectionCount;
  CutRecord* cut = binary ? ReadCutBinary(kCutId, &reader) : ParseCutText(kCutId, &reader);
  SceneRecord* scene = B3D_SceneAlloc();
  if (cut && scene) {
    Play(cut, scene);
    CameraRecord* camera = B3D_CameraAlloc();
    if (TakeRecord* take = TakeAlloc()) {
      J3D_TakeStart(take, cut, scene, camera);
      UpdateCutScenes();
      J3D_TakeFree(take);
    }
  }
  ResetEngine3D();
  FreeCuts();
  FreeBodyDataTable();
  FreeCutDataTable();
  return 0;
}
