// The galaxy map on a hand-built layout cut with scripted answers: the first build makes models
// for sectors with a state and connections for shown gates whose record is in use, placed on the
// cut's paths and named after their cells; refreshes change looks but make no models; labels in
// the camera's view are announced with their screen points; clearing frees what is left, also
// after the scripts freed the map's scene; the natives build and clear.
#include "frontend/hud/galaxy_map.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frontend/cockpit_world.h"
#include "render/d3d_context.h"
#include "scene/camera_records.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/cached_bodies.h"
#include "universe/galaxy_grid.h"

namespace {

constexpr int32_t kOne = 0x10000;

struct Label {
  int32_t x, y, screenX, screenY;
  bool operator==(const Label&) const = default;
};

// The scripts' side: sector states by cell (0 for cells not listed), gates shown unless listed as
// hidden, and the announced labels.
struct Scripts {
  std::map<std::pair<int32_t, int32_t>, int32_t> states;
  std::vector<std::array<int32_t, 3>> hiddenGates;
  std::vector<Label> labels;
  int stateAsks = 0, gateAsks = 0;
};
Scripts* gScripts = nullptr;

int32_t SectorState(int32_t x, int32_t y) {
  ++gScripts->stateAsks;
  const auto it = gScripts->states.find({x, y});
  return it == gScripts->states.end() ? 0 : it->second;
}
int32_t GateState(int32_t x, int32_t y, int32_t gate) {
  ++gScripts->gateAsks;
  for (const auto& hidden : gScripts->hiddenGates)
    if (hidden == std::array<int32_t, 3>{x, y, gate}) return 0;
  return 1;
}
void WriteName(int32_t x, int32_t y, int32_t screenX, int32_t screenY) {
  gScripts->labels.push_back({x, y, screenX, screenY});
}

class GalaxyMap : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    ASSERT_TRUE(AllocBodyDataTable());
    for (int32_t look = 0; look < kGalaxyMapLooks; ++look) {
      const std::string name = "effects/menugfx/galaxy_map_sector_" + std::to_string(look);
      looks_[look] = B3D_GetBodyID(name.c_str());
      ASSERT_TRUE(bodies_.Add(looks_[look], kOne));
    }
    ASSERT_TRUE(bodies_.Add(kGalaxyMapGateBody, kOne));
    scene_ = B3D_SceneAlloc();
    ASSERT_NE(scene_, nullptr);
    grid_ = std::make_unique<GalaxyGrid>();
    ClearGalaxyGrid(grid_.get());
    savedGrid_ = gGalaxyGrid;
    gGalaxyGrid = grid_.get();
    savedScripts_ = gGalaxyMapScripts;
    gGalaxyMapScripts = {SectorState, GateState, WriteName};
    gScripts = &scripts_;
    mode_.width = 640;
    mode_.height = 480;
    engine_.engine().screenMode = &mode_;
  }

  void TearDown() override {
    ClearGalaxyMap();
    if (scene_) B3D_SceneFree(scene_);
    HashRemove(engine_.engine().cutTable, kGalaxyMapCut);
    engine_.engine().screenMode = nullptr;
    bodies_.Clear();
    FreeBodyDataTable();
    gScripts = nullptr;
    gGalaxyMapScripts = savedScripts_;
    gGalaxyGrid = savedGrid_;
    CockpitWorld::TearDown();
  }

  // A path of the layout cut placed at (x, y, z); its number.
  int32_t AddPath(int32_t id, int32_t x, int32_t y, int32_t z) {
    keys_.push_back(std::make_unique<PositionKey>());
    keys_.back()->position = {x, y, z, 0};
    PathRecord path{};
    path.serial = id;
    path.positions = {1, keys_.back().get()};
    paths_.push_back(path);
    return static_cast<int32_t>(paths_.size()) - 1;
  }
  void EnterCut() {
    cut_.handle = kGalaxyMapCut;
    cut_.pathCount = static_cast<int32_t>(paths_.size());
    cut_.paths = paths_.data();
    HashInsert(engine_.engine().cutTable, kGalaxyMapCut, reinterpret_cast<HashValue>(&cut_));
  }

  GalaxyGate& Gate(int32_t x, int32_t y, int32_t slot) { return grid_->cells[x * kGalaxyColumns + y].gates[slot]; }
  static void Use(GalaxyGate& gate, int32_t tx, int32_t ty, int16_t slot) {
    gate.toRow = static_cast<uint8_t>(tx);
    gate.toColumn = static_cast<uint8_t>(ty);
    gate.toSlot = slot;
  }
  int32_t LookOf(int32_t x, int32_t y) {
    const InstanceRecord* model = GalaxyMapSectorModel(x, y);
    return model ? model->bodyId : -100;
  }

  int32_t looks_[kGalaxyMapLooks] = {};
  CachedBodies bodies_;
  SceneRecord* scene_ = nullptr;
  std::unique_ptr<GalaxyGrid> grid_;
  GalaxyGrid* savedGrid_ = nullptr;
  GalaxyMapScripts savedScripts_{};
  Scripts scripts_;
  DisplayModeRecord mode_{};
  std::vector<PathRecord> paths_;
  std::vector<std::unique_ptr<PositionKey>> keys_;
  CutRecord cut_{};
};

TEST_F(GalaxyMap, TheFirstBuildMakesModelsForKnownSectorsAndConnectionsForShownGatesInUse) {
  const int32_t sectorPath = AddPath(405, 0, 0, 100);
  AddPath(607, 10, 0, 100);
  AddPath(808, 0, 10, 100);
  const int32_t gatePath = AddPath(4050607, 5, 0, 100);
  AddPath(4050808, 5, 5, 100);  // the gate from (3, 4) to (7, 7)
  EnterCut();
  scripts_.states = {{{3, 4}, 1}, {{5, 6}, 2}};
  Use(Gate(3, 4, 0), 5, 6, 0);
  Use(Gate(3, 4, 1), 7, 7, -1);  // not in use although a path exists and the scripts say yes
  Use(Gate(3, 4, 2), 7, 7, 0);   // hidden by the scripts
  Use(Gate(3, 4, 3), 9, 9, 1);   // no path
  Use(Gate(3, 4, 4), 5, 6, 0);   // only four gates count
  scripts_.hiddenGates = {{3, 4, 2}};

  ASSERT_TRUE(BuildGalaxyMap(scene_));
  EXPECT_TRUE(GalaxyMapBuilt());
  EXPECT_EQ(scripts_.stateAsks, 480 + 2) << "every cell at the build, every model at the refresh";
  EXPECT_EQ(scripts_.gateAsks, 2 * 4) << "the gates of sectors with a state";

  const InstanceRecord* sector = GalaxyMapSectorModel(3, 4);
  ASSERT_NE(sector, nullptr);
  EXPECT_STREQ(sector->name, "Sector 3-4");
  EXPECT_NE(sector->flags & kGalaxyMapInstanceFlag, 0u);
  EXPECT_EQ(sector->bodyId, looks_[0]);
  EXPECT_EQ(sector->scene, scene_);
  EXPECT_EQ(sector->cutHandle, uint32_t(kGalaxyMapCut));
  EXPECT_EQ(sector->pathNumber, sectorPath);
  EXPECT_EQ(LookOf(5, 6), looks_[1]) << "the refresh of the same call shows state 2";
  EXPECT_EQ(GalaxyMapSectorModel(7, 7), nullptr) << "state 0";

  const InstanceRecord* gate = GalaxyMapGateModel(3, 4, 0);
  ASSERT_NE(gate, nullptr);
  EXPECT_STREQ(gate->name, "Connect 3-4 -> 5-6");
  EXPECT_EQ(gate->bodyId, kGalaxyMapGateBody);
  EXPECT_NE(gate->flags & kGalaxyMapInstanceFlag, 0u);
  EXPECT_EQ(gate->pathNumber, gatePath);
  EXPECT_EQ(gate->scene, scene_);
  for (int32_t d = 1; d < kGalaxyMapGates; ++d) EXPECT_EQ(GalaxyMapGateModel(3, 4, d), nullptr) << d;
  EXPECT_EQ(GalaxyMapGateModel(5, 6, 0), nullptr);
  EXPECT_EQ(GalaxyMapGateModel(3, 4, 4), nullptr);
  EXPECT_EQ(GalaxyMapSectorModel(24, 0), nullptr);
  EXPECT_EQ(GalaxyMapSectorModel(-1, 0), nullptr);
}

TEST_F(GalaxyMap, RefreshesChangeLooksButMakeNoModelsUntilTheMapIsBuiltAgain) {
  AddPath(405, 0, 0, 100);
  AddPath(607, 0, 0, 100);
  AddPath(808, 0, 0, 100);
  EnterCut();
  scripts_.states = {{{3, 4}, 1}, {{5, 6}, 2}};
  ASSERT_TRUE(BuildGalaxyMap(scene_));
  scripts_.states = {{{3, 4}, 4}, {{5, 6}, 6}, {{7, 7}, 3}};
  ASSERT_TRUE(BuildGalaxyMap(scene_));
  EXPECT_EQ(LookOf(3, 4), looks_[3]);
  EXPECT_EQ(LookOf(5, 6), looks_[5]);
  EXPECT_EQ(GalaxyMapSectorModel(7, 7), nullptr);
  // No state, and states without a look, leave the looks.
  for (const int32_t state : {0, 7, -1}) {
    scripts_.states = {{{3, 4}, state}, {{5, 6}, state}};
    ASSERT_TRUE(BuildGalaxyMap(scene_));
    EXPECT_EQ(LookOf(3, 4), looks_[3]) << state;
    EXPECT_EQ(LookOf(5, 6), looks_[5]) << state;
  }

  ClearGalaxyMap();
  EXPECT_FALSE(GalaxyMapBuilt());
  EXPECT_EQ(GalaxyMapSectorModel(3, 4), nullptr);
  scripts_.states = {{{7, 7}, 3}};
  ASSERT_TRUE(BuildGalaxyMap(scene_));
  EXPECT_EQ(LookOf(7, 7), looks_[2]);
  EXPECT_EQ(GalaxyMapSectorModel(3, 4), nullptr);
}

TEST_F(GalaxyMap, LabelsInsideTheCameraConeAreAnnouncedAtTheirScreenPoints) {
  AddPath(405, 0, 0, 100);
  AddPath(10405, 50, 25, 100);  // the label of (3, 4)
  AddPath(607, -20, 0, 40);     // (5, 6) has no label path: its model's place counts
  AddPath(808, 0, 0, 100);
  AddPath(10808, 100, 0, 100);  // |x| = z
  AddPath(909, 0, 0, 100);
  AddPath(10909, 0, 0, -50);    // behind the camera
  AddPath(1010, 0, 0, 100);
  AddPath(11010, 0, -100, 100);  // |y| = z
  EnterCut();
  scripts_.states = {{{3, 4}, 1}, {{5, 6}, 1}, {{7, 7}, 1}, {{8, 8}, 1}, {{9, 9}, 1}};

  ASSERT_TRUE(BuildGalaxyMap(scene_));
  EXPECT_TRUE(scripts_.labels.empty()) << "a scene without a camera announces nothing";

  CameraRecord* camera = B3D_CameraAlloc();
  ASSERT_NE(camera, nullptr);
  B3D_CameraAddToScene(camera, scene_);
  ASSERT_TRUE(BuildGalaxyMap(scene_));
  // 640 x 480: half sizes 320 and 240; screen y grows downward.
  EXPECT_EQ(scripts_.labels, (std::vector<Label>{{3, 4, 480, 180}, {5, 6, 160, 240}}));
}

TEST_F(GalaxyMap, TheSectorUnderAScreenPointIsTheNearestModelWithinThePickRadius) {
  AddPath(405, 0, 0, 100);   // (3, 4) shows at (320, 240)
  AddPath(607, -20, 0, 40);  // (5, 6) at (160, 240)
  AddPath(808, 0, 0, 100);   // (7, 7) shows where (3, 4) does: the first found is kept
  EnterCut();
  scripts_.states = {{{3, 4}, 1}, {{5, 6}, 1}, {{7, 7}, 1}};
  int32_t x = -1, y = -1;
  EXPECT_FALSE(GalaxyMapFindSector(scene_, 320, 240, &x, &y)) << "no map yet";
  ASSERT_TRUE(BuildGalaxyMap(scene_));
  EXPECT_FALSE(GalaxyMapFindSector(scene_, 320, 240, &x, &y)) << "no camera";
  CameraRecord* camera = B3D_CameraAlloc();
  ASSERT_NE(camera, nullptr);
  B3D_CameraAddToScene(camera, scene_);
  struct Case {
    int32_t screenX, screenY;
    bool found;
    int32_t x, y;
  };
  const Case kCases[] = {
      {322, 241, true, 3, 4},
      {170, 230, true, 5, 6},
      {240, 240, false, 0, 0},  // 80 pixels from either
      {320, 240 + kGalaxyMapPickRadius, true, 3, 4},
      {320, 241 + kGalaxyMapPickRadius, false, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.screenX * 1000 + c.screenY);
    x = y = -1;
    EXPECT_EQ(GalaxyMapFindSector(scene_, c.screenX, c.screenY, &x, &y), c.found);
    if (c.found) {
      EXPECT_EQ(x, c.x);
      EXPECT_EQ(y, c.y);
    }
  }
}

TEST_F(GalaxyMap, TheNativesBuildAndClearAndAClearAfterTheScenesFreeFreesNothingTwice) {
  AddPath(405, 0, 0, 100);
  AddPath(4050607, 0, 0, 100);
  EnterCut();
  scripts_.states = {{{3, 4}, 1}};
  Use(Gate(3, 4, 0), 5, 6, 0);
  enum : int32_t { kBuild = 63, kClear = 64 };
  const int32_t scene = static_cast<int32_t>(scene_->handle);

  EXPECT_EQ(Call(kClear, {scene}), 0) << "before any build";
  EXPECT_EQ(Call(kBuild, {scene + 1000, 1, 2, 3, 4, 5, 6, 7}), 0);
  EXPECT_FALSE(GalaxyMapBuilt()) << "unknown scene";
  EXPECT_EQ(Call(kBuild, {scene, 1, 2, 3, 4, 5, 6, 7}), 0);
  EXPECT_TRUE(GalaxyMapBuilt());
  const uint32_t model = GalaxyMapSectorModel(3, 4)->handle;
  EXPECT_EQ(Call(kClear, {scene}), 0);
  EXPECT_FALSE(GalaxyMapBuilt());
  EXPECT_EQ(GetInstanceByHandle(model), nullptr);

  ASSERT_EQ(Call(kBuild, {scene}), 0);
  FreeInstance(GalaxyMapSectorModel(3, 4));  // the scripts free one model...
  B3D_SceneFree(scene_);                     // ...and then the whole scene
  scene_ = nullptr;
  EXPECT_EQ(Call(kClear, {scene}), 0);
  EXPECT_TRUE(GalaxyMapBuilt()) << "the scene is gone, so the native leaves the map";
  EXPECT_EQ(GalaxyMapGateModel(3, 4, 0), nullptr);
  ClearGalaxyMap();
  EXPECT_FALSE(GalaxyMapBuilt());
}

TEST_F(GalaxyMap, WithoutItsLayoutCutNothingIsBuilt) {
  scripts_.states = {{{3, 4}, 1}};
  EXPECT_FALSE(BuildGalaxyMap(scene_));
  EXPECT_FALSE(GalaxyMapBuilt());
  EXPECT_EQ(scripts_.stateAsks, 0);
  EXPECT_FALSE(BuildGalaxyMap(nullptr));
}

}  // namespace
