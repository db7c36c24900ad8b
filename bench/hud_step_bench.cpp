// Cost of the HUD frame step for one in-cockpit cockpit in a sector of 1,000 objects (ships of
// two races, the cockpit's own ship among them): the alert level, the view, shake and sway, the
// scanner pass over every object, the sector camera placed and every object measured in its
// frame, the cockpit lights, the grid and proximity steps, the overlay, and the read-outs drawn
// into memory textures: the radar (128 x 128, every kept object's symbol from a small icon atlas,
// automatic range) and the status texture (64 x 64, with a tracked target, in a 4 x 4 block
// font). The scripts' answers (a scanner range of 2,000,000) and the sounds are given by the
// bench. Reported in microseconds per UpdateHud call; the goal is below 1 ms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "bench_universe.h"
#include "frontend/frontend.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/hud_step.h"
#include "frontend/hud/object_symbols.h"
#include "images/image_writer.h"
#include "render/fonts.h"
#include "render/material_table.h"
#include "render/render.h"
#include "render/texture_table.h"
#include "scene/body_names.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/scene_records.h"
#include "support/texture_world.h"
#include "scene/scene.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "script/engine.h"
#include "script/value.h"
#include "simulation/simulation.h"
#include "universe/object_classes.h"
#include "universe/object_lifecycle.h"
#include "universe/object_queries.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

int32_t ObjectCount() { return std::getenv("KORVANE_BENCH_SMOKE") ? 100 : 1000; }

int32_t Quiet(int32_t) { return 1; }
int32_t Quiet3D(int32_t, SpaceObject*) { return 1; }
void NoEvent(const char*, int32_t, int32_t) {}
bool Answer(int32_t, const char* name, int32_t, int32_t, const int32_t*, ScriptValue* answer) {
  SetValueInt(answer, name[0] == 'G' && name[3] == 'S' ? 2000000 : 0);
  return true;
}
void NoKnown(int32_t) {}

// Texture ids: the icon atlas, the status texture and the radar.
constexpr int32_t kAtlas = 3, kStatus = 15, kRadar = 66, kTextureCount = 67;

struct World : BenchUniverse {
  std::vector<MaterialRecord> materials;
  MemTexture atlas{32, 8}, status{64, 64}, radar{128, 128};
  std::vector<IconRecord> icons{{461, 0, 0, 0, 2, 3}, {469, 0, 6, 0, 4, 2}, {186, 0, 0, 4, 6, 4}};
  std::string fontDir;
  SectorObject* sector = nullptr;
  ObjectTypeRecord shipType{};
  CockpitRecord* cockpit = nullptr;
  CameraRecord* sectorCamera = nullptr;
  SceneRecord* space = nullptr;
};

// The HUD's textures in memory, its icon atlas and a block font as the HUD font.
bool BuildTextures(World* w) {
  w->materials.assign(kTextureCount, MaterialRecord{});
  for (MaterialRecord& m : w->materials) m.textureNumber = 1, m.transparency = TRANSP_NONE;
  gMaterialTable = w->materials.data();
  gMaterialCount = kTextureCount;
  gTextureFixedCount = kTextureCount;
  gTextureAddedCount = 0;
  if (AllocTextureTable()) return false;
  ResetInterfaceTextureIds();
  SetTextureName(kAtlas, kGuiMasterTexture);
  gTextureTable[kAtlas].image = &w->atlas.s;
  gTextureTable[kStatus].image = &w->status.s;
  gTextureTable[kRadar].image = &w->radar.s;
  for (int x = 0; x < 32; ++x)
    for (int y = 0; y < 8; ++y) w->atlas.Put(x, y, 0xFF000000u | uint32_t(x + 2));
  gEngine3D->iconTables[kGuiIconSet] = IconSet{kAtlas, 32, 8, static_cast<int32_t>(w->icons.size()), w->icons.data()};
  char pattern[] = "/tmp/korvane-hud-bench-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  w->fontDir = pattern;
  const auto sheet = image_tool::MakeMonoBmp(64, 32, [](int32_t, int32_t) { return true; });
  std::ofstream(w->fontDir + "/block.bmp", std::ios::binary).write(reinterpret_cast<const char*>(sheet.data()),
                                                                   static_cast<std::streamsize>(sheet.size()));
  std::ofstream(w->fontDir + "/block.siz", std::ios::binary) << std::string(128, '\x04');
  // The font loader reads from the current folder.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(w->fontDir);
  const FontRecord* font = OpenFont("block", 4, 4, 0, 0);
  std::filesystem::current_path(previous);
  if (!font) return false;
  gGuiMaster->font = font->slot;
  return true;
}

bool Build(World* w) {
  if (!StartBenchUniverse(w, 16)) return false;
  gObjectTypeTables[kClassShip] = {&w->shipType, 1};
  w->sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
  CreateSector(w->sector, MakeTypeWord(kClassSector, 0));
  SpaceObject* player = nullptr;
  for (int32_t k = 0; k < ObjectCount(); ++k) {
    SpaceObject* o = AllocObjectRecord(kClassShip);
    if (!CreateObject(o, MakeTypeWord(kClassShip, 0)) || !o->instance) return false;
    ObjectListRemove(o);
    ObjectListAddTail(ObjectChildren(w->sector), o);
    o->parent = w->sector;
    o->owner = k == 0 ? 1 : static_cast<uint16_t>(2 + k % 2);
    o->instance->position = o->instance->world = {(k % 40) * 100000, (k / 40) * 100000, 3000000, 0};
    if (k == 0) player = o;
    // The sector camera sits at the player, unturned.
    const FixedVector& at = o->instance->position;
    o->instance->cameraPos = {at.x, at.y, at.z - 3000000, 0};
  }
  w->universe->player = player;
  player->scriptId = 1;
  ObjSetRelation(2, player, -1);
  gGuiMaster = InitGuiMaster(static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster))));
  if (!gGuiMaster) return false;
  w->cockpit = CockpitFromHandle(gGuiMaster, CockpitAlloc(gGuiMaster));
  if (!w->cockpit) return false;
  w->cockpit->refObject = w->cockpit->cockpitRefObject = player;
  w->cockpit->sectorSpace = w->sector;
  w->cockpit->viewMode = 1;
  w->cockpit->monitorNumber = 0;
  w->cockpit->gridOn = 1;
  w->cockpit->elements.flag = 1;
  w->space = B3D_SceneAlloc();
  w->sector->sceneA = w->space;
  w->sectorCamera = B3D_CameraAlloc();
  if (!w->space || !w->sectorCamera) return false;
  w->cockpit->sectorCamera = w->sectorCamera;
  if (!BuildTextures(w) || !w->cockpit->scene) return false;
  w->cockpit->scene->flags |= kSceneEnabled;
  gGuiMaster->drawRadar = 1;
  w->cockpit->radarBodyOn = w->cockpit->displayBodyOn = 1;
  w->cockpit->trackObject = ObjectListNext(player);
  w->cockpit->trackMode = 3;
  gHudOutputs = {Quiet, Quiet, Quiet3D, NoEvent, Answer, NoKnown};
  return true;
}

void Tear(World* w) {
  gHudOutputs = {};
  if (w->cockpit) HideSlot(&w->cockpit->grid);
  if (w->sector) w->sector->sceneA = nullptr;
  if (w->space) B3D_SceneFree(w->space);
  ReleaseFonts();
  if (gEngine3D) gEngine3D->iconTables[kGuiIconSet] = IconSet{};
  ResetInterfaceTextureIds();
  if (gTextureTable) {
    for (int32_t id = 0; id < kTextureCount; ++id) gTextureTable[id].image = nullptr;
    FreeTextureTables();
  }
  gMaterialTable = nullptr;
  gMaterialCount = 0;
  gTextureFixedCount = 0;
  if (!w->fontDir.empty()) std::filesystem::remove_all(w->fontDir);
  if (gGuiMaster) {
    FreeAllCockpits(gGuiMaster);
    MemFreeIfSet(gGuiMaster);
    gGuiMaster = nullptr;
  }
  if (w->sectorCamera) B3D_CameraFree(w->sectorCamera);
  EndBenchUniverse(w);
  gObjectTypeTables[kClassShip] = {};
}

void BM_UpdateHud(benchmark::State& state) {
  World world;
  if (!Build(&world)) {
    state.SkipWithError("the sector could not be built");
    Tear(&world);
    return;
  }
  for (auto _ : state) {
    world.system.gameTime += 16;
    world.system.realTime += 16;
    UpdateHud();
  }
  int32_t kept = 0;
  ScannerEntries(world.cockpit, &kept);
  state.counters["objects"] = ObjectCount();
  state.counters["scanned"] = kept;  // a check that the scanner did keep objects
  state.counters["radar_pixels"] = static_cast<double>(world.radar.Count());  // and that the radar drew
  Tear(&world);
}
BENCHMARK(BM_UpdateHud)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
