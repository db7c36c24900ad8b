// The placement, player and docking commands through the SA_ dispatcher: component distances and
// their range, the landing watch, camera and ship words, pose arrays that are short, missing or no
// arrays at all, arrays filled in place against new arrays, the local-to-world conversions with a
// rotation that is not its own transpose, the nearest dock port with and without the player's
// view, and a carrier's break-up without a carrier.
#include <cmath>
#include <initializer_list>
#include <vector>

#include "command_world.h"

#include "core/hash_table.h"
#include "scene/camera_records.h"
#include "scene/cut_records.h"
#include "scene/scene_cameras.h"
#include "universe/dock_ports.h"

namespace {

enum : int32_t {
  kComponentDistance = 267,
  kComponentChebyshev = 268,
  kGetInst3D = 271,
  kRecalculateRot = 273,
  kSetPlayerLand = 274,
  kSetDesiredDistance = 315,
  kGetDesiredDistance = 316,
  kSetDestination = 317,
  kSetConnectMode = 319,
  kSetEngineCamera = 320,
  kSetSpeedLimit = 321,
  kSetMaxSpeedOverride = 322,
  kSetMaxStrafeOverride = 323,
  kSetPosAndDirection = 324,
  kSetSafePosAndDirection = 325,
  kGetPosRotAndDirection = 326,
  kSetPosAndRot = 327,
  kSetSafePosAndRot = 328,
  kGetPosAndRot = 329,
  kTransformPosAndRot = 330,
  kGetRelativePos = 331,
  kDecoupleShips = 336,
  kGetRendezvousPos = 343,
  kFindNearestDockPort = 344,
  kFindNearestRendezvous = 345,
  kSetShipDockPortNr = 346,
  kGetAbsPosRot = 366,
};

constexpr uint32_t kNow = 20000;

class PlacementCommands : public CommandWorld {
 protected:
  void SetUp() override {
    CommandWorld::SetUp();
    SetTime(kNow);
    self_ = this;
  }
  void TearDown() override {
    gSimulationServices.currentCockpitViewer = nullptr;
    if (dockType_) dockType_->station.dockSlots = nullptr;  // the list is the fixture's
    if (dock_) static_cast<DockExt*>(dock_->ext)->dockSlots = ownTable_;
    if (cutEntered_) HashRemove(engine3d_.engine().cutTable, kCutId);
    self_ = nullptr;
    CommandWorld::TearDown();
  }

  // The array an answer holds, as integers; empty when the answer is no array.
  static std::vector<int32_t> Answer(const Reply& r) { return Flatten(&r.task->result); }

  // A held copy of a script array, to read after the command wrote into it.
  struct Held {
    ScriptValue value{};
    ~Held() { ReleaseValue(&value); }
  };
  static ScriptValue Share(Held* held, std::initializer_list<int32_t> values) {
    ScriptValue a = Array(values);
    CopyValue(&held->value, &a);
    return a;
  }

  // A dock of radius 1000 at the origin facing +z, whose places have one entry node each at the
  // given world positions, facing +z too.
  SpaceObject* DockWithEntries(std::initializer_list<FixedVector> at) {
    dockType_ = Rows(kClassDock, 1);
    ListInit(&places_.slots);
    for (size_t k = 0; k < at.size(); ++k) ListAddTail(&places_.slots, &ports_[k].node);
    dockType_->station.dockSlots = &places_;
    dock_ = In(kClassDock, 0, 0, 1000);
    dock_->flags |= kObjFlagContainer;
    MatrixSetIdentity(&dock_->instance->matrix);
    auto* ext = static_cast<DockExt*>(dock_->ext);
    ext->innerPoint = {0, 0, 2 * kFixedOne, 0};
    ext->outerPoint = {0, 0, 3 * kFixedOne, 0};
    int32_t k = 0;
    for (const FixedVector& p : at) {
      entries_[k].position = entries_[k].world = p;
      entries_[k].handle = static_cast<uint32_t>(700 + k);
      MatrixSetIdentity(&entries_[k].worldMatrix);
      rows_[k].slot = k;
      rows_[k].entries[0] = &entries_[k];
      rows_[k].entryCount = 1;
      rows_[k].port = &ports_[k];
      ++k;
    }
    table_ = DockSlotTable{&places_, k, rows_, k};
    ownTable_ = ext->dockSlots;
    ext->dockSlots = &table_;
    return dock_;
  }

  static constexpr uint32_t kCutId = 4343;
  static inline PlacementCommands* self_ = nullptr;

 public:
  // Where the recording cockpit looks from and along.
  FixedVector viewerAt_{}, viewerForward_{0, 0, kFixedOne, 0};

 protected:

  ObjectTypeRecord* dockType_ = nullptr;
  SpaceObject* dock_ = nullptr;
  DockSlotTable* ownTable_ = nullptr;
  DockSlotList places_{};
  DockPortType ports_[4]{};
  InstanceRecord entries_[4]{};
  DockSlotRow rows_[4]{};
  DockSlotTable table_{};
  bool cutEntered_ = false;
  PathRecord paths_[2]{};
  CutRecord cut_{};
};

// A component 300 above the ship; the other object 400 ahead of the ship's centre.
TEST_F(PlacementCommands, ComponentDistancesOnlyForComponentsZeroToSix) {
  ships_[0].ship.componentCount = 7;
  ships_[0].ship.turretCount = 1;
  for (auto& component : ships_[0].ship.components) component.turret = 0;
  SpaceObject* ship = ShipAt(0);
  MatrixSetIdentity(&ship->instance->matrix);
  Ext(ship)->turrets[0].offset = {0, 300, 0, 0};
  SpaceObject* other = ShipAt(0, 0, 400);
  struct Case {
    int32_t command, component, answer;
  };
  const Case kCases[] = {
      {kComponentDistance, 0, 500}, {kComponentChebyshev, 0, 400}, {kComponentDistance, 6, 500},
      {kComponentDistance, 7, 0},   {kComponentChebyshev, 7, 0},   {kComponentDistance, -1, 0},
      {kComponentChebyshev, -1, 0},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Run(c.command, {Id(ship), c.component, Id(other)}), c.answer) << c.command << " " << c.component;
  }
  EXPECT_EQ(Run(kComponentDistance, {Id(ship), 0, kMissing}), 0);
  EXPECT_EQ(Run(kComponentDistance, {kMissing, 0, Id(other)}), 0);
}

TEST_F(PlacementCommands, PlayerLandStartsAWatchOrClearsTheLanding) {
  SpaceObject* dock = In(kClassDock, 0, 5000, 1000);
  struct Case {
    const char* what;
    int32_t container;
    int32_t mode;
    bool withTarget;
    uint32_t time;
    int32_t port;
  };
  const Case kCases[] = {
      {"a container", Id(dock), OM_PLAYER_LAND, true, kNow + 60000, 3},
      {"none", 0, OM_NONE, false, kNow, -1},
      {"an id without object", kMissing, OM_NONE, false, kNow, -1},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(0);
    Ext(ship)->commandState = OM_PLAYER_LAND;  // an earlier landing
    Ext(ship)->commandObject = dock;
    Ext(ship)->dockSlot = 5;
    EXPECT_EQ(Run(kSetPlayerLand, {Id(ship), c.container, 3}), 0) << c.what;
    EXPECT_EQ(ShipOrderMode(ship), c.mode) << c.what;
    EXPECT_EQ(ShipOrderTarget(ship), c.withTarget ? dock : nullptr) << c.what;
    EXPECT_EQ(Ext(ship)->thinkDue, c.time) << c.what;
    EXPECT_EQ(Ext(ship)->dockSlot, c.port) << c.what;
  }
  // Not a ship: nothing to land.
  EXPECT_EQ(Run(kSetPlayerLand, {Id(dock), Id(dock), 1}), 0);
}

TEST_F(PlacementCommands, CameraAndShipWordsOnlyOnTheirClasses) {
  Rows(kClassCamera, 1);
  Rows(kClassMissile, 1);
  SpaceObject* camera = In(kClassCamera, 0, 0);
  SpaceObject* missile = In(kClassMissile, 0, 100);
  SpaceObject* ship = ShipAt(200);
  SpaceObject* target = ShipAt(300);
  auto* cam = static_cast<CameraExt*>(camera->ext);

  EXPECT_EQ(Run(kSetDesiredDistance, {Id(camera), 750}), 0);
  EXPECT_EQ(Run(kGetDesiredDistance, {Id(camera)}), 750);
  EXPECT_EQ(Run(kSetDesiredDistance, {Id(ship), 750}), 0);
  EXPECT_EQ(Run(kGetDesiredDistance, {Id(ship)}), 0);
  EXPECT_EQ(Run(kSetConnectMode, {Id(camera), 4}), 0);
  EXPECT_EQ(cam->words[3], 4u);

  for (SpaceObject* o : {camera, missile, ship}) EXPECT_EQ(Run(kSetDestination, {Id(o), Id(target)}), 0);
  EXPECT_EQ(cam->followedObject, target);
  EXPECT_EQ(static_cast<MissileExt*>(missile->ext)->target, target);
  EXPECT_EQ(ShipOrderTarget(ship), target);
  EXPECT_EQ(Run(kSetDestination, {Id(ship), 0}), 0);
  EXPECT_EQ(ShipOrderTarget(ship), nullptr);

  // An engine camera by handle; an unknown handle leaves none.
  CameraRecord* engineCamera = B3D_CameraAlloc();
  ASSERT_NE(engineCamera, nullptr);
  EXPECT_EQ(Run(kSetEngineCamera, {Id(camera), static_cast<int32_t>(engineCamera->instance.handle)}), 0);
  EXPECT_EQ(cam->sceneInstance, &engineCamera->instance);
  EXPECT_EQ(Run(kSetEngineCamera, {Id(camera), 123456}), 0);
  EXPECT_EQ(cam->sceneInstance, nullptr);
  B3D_CameraFree(engineCamera);

  struct Case {
    int32_t command;
    int32_t ShipExt::*field;
  };
  const Case kCases[] = {{kSetSpeedLimit, &ShipExt::race10SpeedLimit},
                         {kSetMaxSpeedOverride, &ShipExt::maxSpeedOverride},
                         {kSetMaxStrafeOverride, &ShipExt::valueOverride},
                         {kSetShipDockPortNr, &ShipExt::dockSlot}};
  for (const Case& c : kCases) {
    EXPECT_EQ(Run(c.command, {Id(ship), 4321}), 0) << c.command;
    EXPECT_EQ(Ext(ship)->*c.field, 4321) << c.command;
    EXPECT_EQ(Run(c.command, {Id(camera), 4321}), 0) << c.command;  // no ship: nothing to set
  }
}

TEST_F(PlacementCommands, InstanceHandleAndAnglesRebuiltFromTheMatrix) {
  SpaceObject* ship = ShipAt(0);
  EXPECT_EQ(Run(kGetInst3D, {Id(ship)}), static_cast<int32_t>(ship->instance->handle));
  EXPECT_EQ(Run(kGetInst3D, {kMissing}), 0);
  MatrixFromAngles(&ship->instance->matrix, 9000, 3000, 1000);
  ship->angles[0] = ship->angles[1] = ship->angles[2] = 0;
  EXPECT_EQ(Run(kRecalculateRot, {Id(ship)}), 0);
  EXPECT_NEAR(ship->angles[0], 9000, 2);
  EXPECT_NEAR(ship->angles[1], 3000, 2);
  EXPECT_NEAR(ship->angles[2], 1000, 2);
  FixedMatrix rebuilt;
  MatrixFromAngles(&rebuilt, uint32_t(ship->angles[0]), uint32_t(ship->angles[1]), uint32_t(ship->angles[2]));
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(ship->instance->matrix.m[r][c], rebuilt.m[r][c]);
  }
}

// Missing elements read 0; an argument that is no array leaves the object where it was.
TEST_F(PlacementCommands, PoseArraysAreReadUncheckedButMustBeArrays) {
  struct Case {
    int32_t command;
    std::initializer_list<int32_t> pose;
    FixedVector position;
    int32_t yaw;
  };
  const Case kCases[] = {
      {kSetPosAndRot, {100, 200, 300, 4000, 0, 0}, {100, 200, 300, 0}, 4000},
      {kSetPosAndRot, {100, 200}, {100, 200, 0, 0}, 0},
      {kSetSafePosAndRot, {5000, 0, 0, 8000}, {5000, 0, 0, 0}, 8000},
      // Forward along +x is a yaw of a quarter turn one way or the other.
      {kSetPosAndDirection, {7, 8, 9, 0, 0, 0, 65536, 0, 0}, {7, 8, 9, 0}, 49152},
      {kSetSafePosAndDirection, {9000, 0, 0, 0, 0, 0, 65536}, {9000, 0, 0, 0}, 49152},
      // A zero direction keeps the ship turned as it was.
      {kSetPosAndDirection, {1, 2}, {1, 2, 0, 0}, 1234},
  };
  for (const Case& c : kCases) {
    SpaceObject* ship = ShipAt(-50000);
    ship->angles[0] = 1234;
    const Reply r = Call(c.command, {Of(ship), Array(c.pose)});
    EXPECT_EQ(r.value, 0) << c.command;
    EXPECT_EQ(ship->instance->position.x, c.position.x) << c.command;
    EXPECT_EQ(ship->instance->position.y, c.position.y) << c.command;
    EXPECT_EQ(ship->instance->position.z, c.position.z) << c.command;
    EXPECT_NEAR(static_cast<uint16_t>(ship->angles[0]), c.yaw, 2) << c.command;
  }
  for (int32_t command : {kSetPosAndDirection, kSetSafePosAndDirection, kSetPosAndRot, kSetSafePosAndRot}) {
    SpaceObject* ship = ShipAt(-50000);
    EXPECT_EQ(Call(command, {Of(ship), I(5)}).value, 0) << command;
    EXPECT_EQ(Call(command, {Of(ship)}).value, 0) << command;
    EXPECT_EQ(ship->instance->position.x, -50000) << command;
  }
}

// The script's own array is filled and never grows; the absolute pose is a new array.
TEST_F(PlacementCommands, PosesAreWrittenIntoTheScriptsArrayOrAnsweredAsANewOne) {
  SpaceObject* ship = ShipFacing(0, {10, 20, 30, 0}, 10, 16384);
  ship->instance->world = {1000, 2000, 3000, 0};
  MatrixFromAngles(&ship->instance->worldMatrix, 8192, 0, 0);
  const int32_t yaw = ship->angles[0];
  const int32_t fx = ship->instance->matrix.m[2][0];
  struct Case {
    int32_t command;
    std::initializer_list<int32_t> given;
    std::vector<int32_t> after;
  };
  const Case kCases[] = {
      {kGetPosAndRot, {-1, -1}, {10, 20}},
      {kGetPosAndRot, {-1, -1, -1, -1, -1, -1, -1}, {10, 20, 30, yaw, 0, 0, -1}},
      {kGetPosRotAndDirection, {-1, -1, -1, -1, -1, -1, -1, -1, -1}, {10, 20, 30, yaw, 0, 0, fx, 0, 0}},
      {kGetPosRotAndDirection, {-1, -1, -1, -1}, {10, 20, 30, yaw}},
  };
  for (const Case& c : kCases) {
    Held held;
    const Reply r = Call(c.command, {Of(ship), Share(&held, c.given)});
    EXPECT_EQ(r.value, 0) << c.command;
    EXPECT_EQ(Flatten(&held.value), c.after) << c.command;
  }
  // No instance or no object: the array stays as it was.
  SpaceObject* bare = WithoutInstance(kClassShip, 0);
  for (int32_t id : {Id(bare), kMissing}) {
    Held held;
    EXPECT_EQ(Call(kGetPosAndRot, {I(id), Share(&held, {-1, -1, -1, -1, -1, -1})}).value, 0);
    EXPECT_EQ(Flatten(&held.value), std::vector<int32_t>(6, -1));
  }
  EXPECT_EQ(Call(kGetPosAndRot, {Of(ship), I(3)}).value, 0);

  const std::vector<int32_t> absolute = Answer(Call(kGetAbsPosRot, {Of(ship)}));
  ASSERT_EQ(absolute.size(), 6u);
  EXPECT_EQ(std::vector<int32_t>(absolute.begin(), absolute.begin() + 3), (std::vector<int32_t>{1000, 2000, 3000}));
  EXPECT_NEAR(absolute[3], 8192, 2);
  EXPECT_EQ(Call(kGetAbsPosRot, {Of(bare)}).value, 0);
  EXPECT_EQ(Call(kGetAbsPosRot, {I(kMissing)}).value, 0);
}

// A base turned a quarter turn: its right axis is the world's +z, its forward axis the world's -x.
TEST_F(PlacementCommands, LocalPositionsTurnWithTheBaseIntoTheWorld) {
  const std::initializer_list<int32_t> base = {100, 200, 300, 16384, 0, 0};
  struct Case {
    std::initializer_list<int32_t> local;
    std::vector<int32_t> world;
  };
  const Case kCases[] = {
      {{1000, 0, 0}, {100, 200, 1300}},
      {{0, 0, 1000}, {-900, 200, 300}},
      {{0, 1000}, {100, 1200, 300}},  // a missing element reads 0
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Answer(Call(kGetRelativePos, {Array(base), Array(c.local)})), c.world);
  }
  EXPECT_EQ(Call(kGetRelativePos, {Array(base), I(7)}).value, 0);
  EXPECT_EQ(Call(kGetRelativePos, {I(7), Array({1, 2, 3})}).value, 0);
  EXPECT_EQ(Call(kTransformPosAndRot, {Array({1, 2, 3, 0, 0, 0}), I(7)}).value, 0);
}

// The answered rotation must carry the local forward axis where the position conversion carries
// a point ahead of it; with rotations that do not commute only one product order does.
TEST_F(PlacementCommands, TransformedPoseKeepsPositionAndRotationInOneFrame) {
  const std::initializer_list<int32_t> base = {5000, -3000, 700, 10000, 6000, 3000};
  const std::initializer_list<int32_t> local = {100, 200, 300, 20000, -4000, 9000};
  const std::vector<int32_t> pose = Answer(Call(kTransformPosAndRot, {Array(local), Array(base)}));
  ASSERT_EQ(pose.size(), 6u);
  EXPECT_EQ(std::vector<int32_t>(pose.begin(), pose.begin() + 3),
            Answer(Call(kGetRelativePos, {Array(base), Array({100, 200, 300})})));

  FixedMatrix localRotation, answered;
  MatrixFromAngles(&localRotation, 20000, uint32_t(-4000), 9000);
  MatrixFromAngles(&answered, uint32_t(pose[3]), uint32_t(pose[4]), uint32_t(pose[5]));
  for (int axis = 0; axis < 3; ++axis) {
    const int32_t kLength = 100000;
    const std::vector<int32_t> ahead =
        Answer(Call(kGetRelativePos, {Array(base), Array({int32_t(int64_t{localRotation.m[axis][0]} * kLength >> 16),
                                                          int32_t(int64_t{localRotation.m[axis][1]} * kLength >> 16),
                                                          int32_t(int64_t{localRotation.m[axis][2]} * kLength >> 16)})}));
    ASSERT_EQ(ahead.size(), 3u);
    const int32_t origin[3] = {5000, -3000, 700};
    for (int k = 0; k < 3; ++k) {
      const double expected = double(answered.m[axis][k]) * kLength / 65536;
      EXPECT_NEAR(ahead[k] - origin[k], expected, 200) << "axis " << axis << " component " << k;
    }
  }
}

// The player looks from the origin along +z: a port 900 ahead counts as 90 and beats one 100 to
// the side; without the view the side port is nearer.
TEST_F(PlacementCommands, NearestDockPortPrefersPortsInThePlayersView) {
  DockWithEntries({{100, 0, 0, 0}, {0, 0, 900, 0}, {-100, 0, 0, 0}, {0, 100, 0, 0}});
  SpaceObject* ship = ShipAt(0);
  ship->instance->position = {0, 0, 0, 0};
  gSimulationServices.currentCockpitViewer = [](FixedVector* at, FixedVector* forward) {
    *at = self_->viewerAt_;
    *forward = self_->viewerForward_;
    return true;
  };
  struct Case {
    const char* what;
    bool player;
    std::initializer_list<int32_t> slots;
    int32_t answer;
  };
  const Case kCases[] = {
      {"in view beats nearer out of view", true, {0, 1}, 1},
      {"the same order reversed", true, {1, 0}, 1},
      {"no view for another ship", false, {0, 1}, 0},
      {"equal distances keep the earlier slot", true, {2, 0, 3}, 2},
      {"slots without a place are skipped", true, {9, -1, 3}, 3},
      {"nothing usable", true, {9}, -1},
      {"empty", true, {}, -1},
  };
  for (const Case& c : kCases) {
    universe_.player = c.player ? ship : nullptr;
    EXPECT_EQ(Call(kFindNearestDockPort, {Of(dock_), Array(c.slots), Of(ship)}).value, c.answer) << c.what;
  }
  // Without a cockpit there is no view to weigh by.
  universe_.player = ship;
  gSimulationServices.currentCockpitViewer = [](FixedVector*, FixedVector*) { return false; };
  EXPECT_EQ(Call(kFindNearestDockPort, {Of(dock_), Array({0, 1}), Of(ship)}).value, 0);
  universe_.player = nullptr;
  for (int32_t command : {kFindNearestDockPort, kFindNearestRendezvous}) {
    EXPECT_EQ(Call(command, {Of(dock_), I(0), Of(ship)}).value, -1) << command;
    EXPECT_EQ(Call(command, {Of(dock_), Array({0}), I(kMissing)}).value, -1) << command;
    EXPECT_EQ(Call(command, {I(kMissing), Array({0}), Of(ship)}).value, -1) << command;
  }
}

// The one place's entry lies 5000 ahead of the dock; its approach point 56010 beyond it for a
// ship of radius 10.
TEST_F(PlacementCommands, RendezvousPointsOfDockPorts) {
  DockWithEntries({{0, 0, 5000, 0}});
  SpaceObject* ship = ShipAt(0, 0, 200000);
  EXPECT_EQ(Answer(Call(kGetRendezvousPos, {Of(dock_), I(0), Of(ship)})), (std::vector<int32_t>{0, 0, 61010}));
  EXPECT_EQ(Call(kGetRendezvousPos, {Of(dock_), I(1), Of(ship)}).value, 0);
  EXPECT_EQ(Call(kGetRendezvousPos, {I(kMissing), I(0), Of(ship)}).value, 0);
  EXPECT_EQ(Call(kFindNearestRendezvous, {Of(dock_), Array({4, 0}), Of(ship)}).value, 0);
  EXPECT_EQ(Call(kFindNearestRendezvous, {Of(dock_), Array({}), Of(ship)}).value, -1);
}

// Without a carrier the break-up still announces each ship of the cut, with object id 0.
TEST_F(PlacementCommands, DecouplingWithoutACarrierAnnouncesAndAnswersZero) {
  constexpr int32_t kBody = 3301;
  ships_[1].bodyId = kBody;
  paths_[0].lookupWord = kBody;
  cut_.handle = kCutId;
  cut_.pathCount = 1;
  cut_.paths = paths_;
  HashInsert(engine3d_.engine().cutTable, kCutId, reinterpret_cast<HashValue>(&cut_));
  cutEntered_ = true;
  events_.clear();
  const Reply r = Call(kDecoupleShips, {I(0), I(kCutId), I(11), I(22)});
  EXPECT_TRUE(r.answered);
  EXPECT_EQ(r.value, 0);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].name, "CreateDecoupleShip");
  EXPECT_EQ(events_[0].a, 11);
  EXPECT_EQ(events_[0].b, static_cast<int32_t>(MakeTypeWord(kClassShip, 1)));
  EXPECT_EQ(events_[0].c, 0);
  // An unknown cut: nothing runs, nothing waits.
  SpaceObject* carrier = ShipAt(0);
  carrier->scriptId = 5;
  const Reply none = Call(kDecoupleShips, {Of(carrier), I(kCutId + 1), I(0), I(0)});
  EXPECT_TRUE(none.answered);
  EXPECT_EQ(none.value, 0);
}

}  // namespace
