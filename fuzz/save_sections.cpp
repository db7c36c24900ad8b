// The movie and cockpit worlds of the save-section targets and their seeds.
#include "save_sections.h"

#include <vector>

#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "devices/media_stream.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/gui_master.h"
#include "fuzz_support.h"
#include "../tests/support/silent_media.h"
#include "scene/camera_records.h"
#include "scene/engine_lifecycle.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene_cameras.h"

namespace fuzz {
namespace {

EngineState3D gEngine;
CockpitWorld gWorld;

}  // namespace

void SetUpMovieWorld() {
  static bool ready = false;
  if (ready) return;
  ready = true;
  World();
  SetMediaStreamBackend(SilentMediaBackend());
  for (const char* name : {"mov/00005.dat", "mov/00144.dat", "mov/00800.dat"}) WriteFile(name, std::string("clip"));
  WriteFile("mov/00044.xml", std::string("<voices><language id=\"44\"><page id=\"1\" stream=\"144\">"
                                         "<t id=\"0\" s=\"100\" l=\"200\"/></page></language></voices>"));
  if (!InitSoundModule() || !InitMovieModule()) __builtin_trap();
  gScriptSound->language = 44;
}

void ClearMovieWorld() {
  while (FirstMovie()) MovieRelease(FirstMovie());
  MOV_FreeVoiceInfo();
}

const CockpitWorld& BuildCockpitWorld() {
  static bool ready = false;
  if (!ready) {
    ready = true;
    World();
    InitMathTables();
    if (!CreateEngine3D(&gEngine)) __builtin_trap();
  }
  gEngine3D = &gEngine;
  HashSetKeyCounter(gEngine.handleTable, 1);
  HashSetKeyCounter(gEngine.sceneTable, 1);
  for (InstanceRecord*& instance : gWorld.instances) instance = B3D_InstAlloc();
  gWorld.light = B3D_LightAlloc();
  for (CameraRecord*& camera : gWorld.cameras) camera = B3D_CameraAlloc();
  gWorld.scene = B3D_SceneAlloc();
  gGuiMaster = InitGuiMaster(static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster))));
  return gWorld;
}

bool ClearCockpitWorld() {
  if (gGuiMaster) {
    FreeAllCockpits(gGuiMaster);
    MemFreeIfSet(gGuiMaster);
    gGuiMaster = nullptr;
  }
  std::vector<uint32_t> keys;
  for (uint32_t key = HashNextKey(gEngine.sceneTable, 0); key; key = HashNextKey(gEngine.sceneTable, key))
    keys.push_back(key);
  for (const uint32_t key : keys) B3D_SceneFree(GetSceneByHandle(key));
  keys.clear();
  for (uint32_t key = HashNextKey(gEngine.handleTable, 0); key; key = HashNextKey(gEngine.handleTable, key))
    keys.push_back(key);
  for (const uint32_t key : keys) {
    InstanceRecord* instance = GetInstanceByHandle(key);
    if (!instance) continue;
    if (instance->flags & kInstCamera) B3D_CameraFree(CameraOfInstance(instance));
    else FreeInstance(instance);
  }
  gWorld = CockpitWorld{};
  return HashCount(gEngine.handleTable) == 0 && HashCount(gEngine.sceneTable) == 0;
}

}  // namespace fuzz
