// The cut-scene, take and model commands: loading a cut by argument count and where it is placed
// (and what a cut whose origin is fixed keeps), takes that refuse, wait until they end, are stopped,
// freed or started again, the path searches of a type's cut (start index, wildcard subtype, nearest
// with ties to the later path, the seeded random stop, the base pose, pose arrays that are short or
// not arrays) behind a debris chain that may loop, the body, cut and id-list lookups, the spawn
// marker and the body free. Cuts are built in memory in the engine's own allocation and entered in
// its cut table; whatever a case leaves there is freed at the end.
#include "command_world.h"


#include "core/clock.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/cut_keys.h"
#include "scene/cut_reading.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/scene_cameras.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"
#include "simulation/commands/sa_type_keys.h"
#include "universe/object_lifecycle.h"
#include "universe/type_access.h"

namespace {

// One path of a test cut: the body it carries, its first position, the angles of its first
// rotation (no rotation key when `rotated` is false) and, when above 0, a second position key at
// that time so the path takes that long to play.
struct PathShape {
  int32_t body;
  FixedVector at;
  bool rotated = true;
  int32_t angles[3] = {};
  int32_t endTime = 0;
};

// Command numbers.
constexpr int32_t kLoadCutScene = 256, kFreeCutScene = 257, kAllocTake = 258, kStartTake = 259, kStopTake = 260,
                  kFinishTake = 261, kTakeRemaining = 262, kFreeTake = 263, kSetReplaceBody = 264;
constexpr int32_t kFreeAllBodies = 308, kCleanUp = 309, kTypeFromBody = 310, kTypeFromCut = 311,
                  kIsSpecialBody = 312, kIsDummyBody = 313;
constexpr int32_t kGetSpawnInst = 357, kFindIndexInCut = 360, kPathPose = 361, kPathSubtype = 362;

// The owner type whose cut the path searches read: dock 0 with cut 600.
constexpr int32_t kOwnerCut = 600;
constexpr int32_t kShipBody[3] = {900, 901, 902};
constexpr int32_t kNoTypeBody = 777;

class CutCommands : public CommandWorld {
 protected:
  void SetUp() override {
    CommandWorld::SetUp();
    ObjectTypeRecord* ships = Rows(kClassShip, 3);
    for (int s = 0; s < 3; ++s) ships[s].bodyId = kShipBody[s];
    ObjectTypeRecord* docks = Rows(kClassDock, 1);
    docks[0].bodyId = 950;
    docks[0].station.cut = kOwnerCut;
    // Debris 0 stands for dock 0 below chain index 2; debris 1 and 2 stand for each other, so
    // their chain loops. Debris 1 and 2 have the owner's cut of their own.
    ObjectTypeRecord* debris = Rows(kClassDebris, 3);
    debris[0] = Debris(960, 2, 950, 0);
    debris[1] = Debris(961, 1, 962, kOwnerCut);
    debris[2] = Debris(962, 1, 961, kOwnerCut);
    // p2 has no rotation key and p3 no body: neither is usable. p7 carries a body no type uses.
    MakeCut(kOwnerCut, {{kShipBody[0], {1000, 0, 0, 0}},
                        {kShipBody[1], {0, 1000, 0, 0}},
                        {kShipBody[0], {5, 5, 5, 0}, false},
                        {0, {0, 0, 0, 0}},
                        {kShipBody[2], {0, 0, 1000, 0}, true, {4096, 0, 0}},
                        {kShipBody[0], {-1000, 0, 0, 0}},
                        {kShipBody[1], {0, -1000, 0, 0}},
                        {kNoTypeBody, {0, 0, -1000, 0}}});
  }

  void TearDown() override {
    gDummyTable = {};
    gBodyIdLists = {};
    CommandWorld::TearDown();  // takes free the cuts they play
    for (int32_t id : cuts_) {
      if (CutRecord* cut = GetCutByHandle(static_cast<uint32_t>(id))) J3D_FreeCut(cut);
    }
    for (CameraRecord* camera : cameras_) B3D_CameraFree(camera);
  }

  static ObjectTypeRecord Debris(int32_t body, int32_t count, int32_t next, int32_t cut) {
    ObjectTypeRecord row{};
    row.bodyId = body;
    row.debris.value = count;
    row.debris.body = next;
    row.debris.cut = cut;
    return row;
  }

  template <typename Key>
  static void Keys(KeyList<Key>* list, int32_t count) {
    list->count = count;
    list->keys = static_cast<Key*>(AllocCutArray(sizeof(Key) * static_cast<size_t>(count), "test"));
  }

  // A cut in the engine's own allocation, entered in its cut table under `id`.
  CutRecord* MakeCut(int32_t id, const std::vector<PathShape>& shapes) {
    CutRecord* cut = AllocCutRecord("test");
    const auto count = static_cast<int32_t>(shapes.size());
    PathRecord* paths = AllocCutPaths(count, "test");
    for (int32_t n = 0; n < count; ++n) {
      const PathShape& shape = shapes[static_cast<size_t>(n)];
      PathRecord& path = paths[n];
      path.lookupWord = static_cast<uint32_t>(shape.body);
      path.flags = kPathDefaultFlags;
      path.loaderWord = static_cast<uint32_t>(-1);
      Keys(&path.positions, shape.endTime > 0 ? 2 : 1);
      path.positions.keys[0].position = shape.at;
      if (shape.endTime > 0) {
        path.positions.keys[1].time = shape.endTime;
        path.positions.keys[1].position = shape.at;
      }
      if (shape.rotated) {
        Keys(&path.rotations, 1);
        for (int k = 0; k < 3; ++k) path.rotations.keys[0].angles[k] = shape.angles[k];
      }
    }
    EnterCut(cut, id, paths, count);
    cuts_.push_back(id);
    return cut;
  }

  static bool SameRotation(const FixedMatrix& a, const FixedMatrix& b) {
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) {
        if (a.m[r][c] != b.m[r][c]) return false;
      }
    }
    return true;
  }

  // The pose array argument: position and three angles.
  static ScriptValue Pose(int32_t x, int32_t y, int32_t z, int32_t a = 0, int32_t b = 0, int32_t c = 0) {
    return Array({x, y, z, a, b, c});
  }

  // SA_FindIndexInCut on the owner's cut with a base pose and a target.
  int32_t Nearest(int32_t wantedClass, int32_t wantedSubtype, int32_t start, ScriptValue base, ScriptValue target,
                  int32_t objClass = kClassDock, int32_t subtype = 0, int32_t chain = 0) {
    return Call(kFindIndexInCut, {I(objClass), I(subtype), I(wantedClass), I(wantedSubtype), base, I(chain), I(start),
                                  target})
        .value;
  }

  // A sector's take, its key and a camera for it.
  int32_t NewTake() { return Run(kAllocTake, {Id(sector_)}); }
  CameraRecord* Camera() {
    CameraRecord* camera = B3D_CameraAlloc();
    EXPECT_NE(camera, nullptr);
    cameras_.push_back(camera);
    return camera;
  }
  static int32_t Handle(const CameraRecord* camera) { return static_cast<int32_t>(camera->instance.handle); }
  static TakeRecord* EngineTake(int32_t key) {
    ObjTakeRecord* record = FindTakeById(static_cast<uint32_t>(key));
    return record ? record->take : nullptr;
  }
  static bool WaitsOnTake(const Reply& r, int32_t key) {
    const TakeRecord* take = EngineTake(key);
    return !r.answered && take && take->waitModule == kWaitModule && take->waitToken == r.task->id;
  }

  size_t ObjectCount() const { return HashCount(universe_.idHash); }

  std::vector<int32_t> cuts_;
  std::vector<CameraRecord*> cameras_;
};

// ---- Loading and placing cuts -------------------------------------------------------------------

TEST_F(CutCommands, LoadCutSceneLoadsAndPlacesByArgumentCount) {
  SpaceObject* ship = In(kClassShip, 0, 5000);
  ship->instance->position = {5000, 600, 70, 0};
  MatrixFromAngles(&ship->instance->matrix, 16384, 0, 0);  // a quarter turn about y
  const FixedMatrix& turn = ship->instance->matrix;
  CutRecord* cut = MakeCut(610, {{kShipBody[0], {0, 0, 0, 0}}});
  FixedMatrix posed{}, relative{}, local{};
  MatrixFromAngles(&posed, 100, 200, 300);
  MatrixFromAngles(&local, 0, 8192, 0);
  MatrixMultiply(&relative, &turn, &local);
  FixedVector offset{}, along{1000, 0, 0, 0};
  MatrixMulVector(&offset, &turn, &along);
  ASSERT_GT(offset.z, 900) << "a quarter turn takes +x to +z";
  const int32_t kMissingCut = 611;
  struct Case {
    std::vector<int32_t> args;
    int32_t answer;
    bool placed;
    FixedVector position;
    const FixedMatrix* rotation;
  };
  const Case kCases[] = {
      {{610}, 1, false, {}, nullptr},
      {{kMissingCut}, 0, false, {}, nullptr},
      {{610, Id(ship)}, 1, true, {5000, 600, 70, 0}, &turn},
      {{610, kMissing}, 0, false, {}, nullptr},
      {{610, Id(ship), 1}, 0, false, {}, nullptr},
      {{610, 1, 2, 3}, 0, false, {}, nullptr},
      {{610, -40, 50, 60, 100, 200, 300}, 1, true, {-40, 50, 60, 0}, &posed},
      {{610, Id(ship), 1000, 0, 0, 0, 8192, 0}, 1, true, {5000 + offset.x, 600 + offset.y, 70 + offset.z, 0},
       &relative},
      {{610, kMissing, 1000, 0, 0, 0, 8192, 0}, 0, false, {}, nullptr},
      {{}, 0, false, {}, nullptr},
  };
  for (const Case& k : kCases) {
    cut->originFlags = 0;
    cut->originPosition = {11, 22, 33, 0};
    MatrixSetIdentity(&cut->originRotation);
    const FixedMatrix untouched = cut->originRotation;
    EXPECT_EQ(Run(kLoadCutScene, k.args), k.answer) << k.args.size() << " arguments";
    const FixedVector position = k.placed ? k.position : FixedVector{11, 22, 33, 0};
    EXPECT_EQ(cut->originPosition.x, position.x) << k.args.size() << " arguments";
    EXPECT_EQ(cut->originPosition.y, position.y) << k.args.size() << " arguments";
    EXPECT_EQ(cut->originPosition.z, position.z) << k.args.size() << " arguments";
    const FixedMatrix& rotation = k.placed ? *k.rotation : untouched;
    EXPECT_TRUE(SameRotation(cut->originRotation, rotation)) << k.args.size() << " arguments";
    EXPECT_EQ(cut->originFlags, k.placed ? kCutOriginGiven : 0u) << k.args.size() << " arguments";
  }
}

// Placing a cut overwrites its position and rotation whether or not its origin was fixed by its own
// data; a fixed cut keeps its flags as they were, a free one is marked placed, and neither ends at
// the sector's centre.
TEST_F(CutCommands, AFixedCutKeepsItsFlagsWhileItsFieldsAreOverwritten) {
  SpaceObject* ship = In(kClassShip, 0, 4000);
  MatrixFromAngles(&ship->instance->matrix, 1000, 2000, 3000);
  CutRecord* cut = MakeCut(612, {{kShipBody[0], {0, 0, 0, 0}}});
  for (const uint32_t flags : {kCutOriginGiven | kCutAllPathsLoop, 0u}) {
    cut->originFlags = flags;
    cut->originPosition = {1, 2, 3, 0};
    MatrixFromAngles(&cut->originRotation, 9, 9, 9);
    EXPECT_EQ(Run(kLoadCutScene, {612, Id(ship)}), 1);
    EXPECT_EQ(cut->originPosition.x, 4000) << flags;
    EXPECT_EQ(cut->originPosition.y, 0) << flags;
    EXPECT_TRUE(SameRotation(cut->originRotation, ship->instance->matrix)) << flags;
    EXPECT_EQ(cut->originFlags, flags | kCutOriginGiven) << flags;
  }
}

TEST_F(CutCommands, FreeCutSceneFreesOnlyALoadedCut) {
  MakeCut(613, {{kShipBody[0], {0, 0, 0, 0}}});
  EXPECT_EQ(Run(kFreeCutScene, {614}), 0);
  EXPECT_NE(GetCutByHandle(613), nullptr);
  EXPECT_EQ(Run(kFreeCutScene, {613}), 0);
  EXPECT_EQ(GetCutByHandle(613), nullptr);
  EXPECT_EQ(Run(kFreeCutScene, {613}), 0);
}

// ---- Takes ------------------------------------------------------------------------------------

TEST_F(CutCommands, TakesAreMadeForSectorsOnly) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  const int32_t key = NewTake();
  EXPECT_NE(key, 0);
  EXPECT_NE(EngineTake(key), nullptr);
  EXPECT_NE(NewTake(), key);
  EXPECT_EQ(Run(kAllocTake, {Id(ship)}), 0);
  EXPECT_EQ(Run(kAllocTake, {kMissing}), 0);
  EXPECT_EQ(Run(kAllocTake, {}), 0);
}

// A take refuses at once without a take, a camera or a pose array; started, the task waits on the
// take until it ends, the take's camera path drives the camera and the pose places the cut.
TEST_F(CutCommands, StartTakeRefusesOrWaitsUntilTheTakeEnds) {
  constexpr int32_t kTakeCut = 620;
  const int32_t camera = Handle(Camera());
  const int32_t key = NewTake();
  auto start = [&](int32_t takeKey, int32_t cameraHandle, std::vector<ScriptValue> extra = {}) {
    MakeCut(kTakeCut, {{-1, {0, 0, 0, 0}, true, {}, 2000}});
    std::vector<ScriptValue> frame = {I(takeKey), I(kTakeCut), I(0), I(cameraHandle), I(0), I(77)};
    for (ScriptValue& v : extra) frame.push_back(v);
    return Call(kStartTake, frame);
  };
  struct Refusal {
    const char* what;
    int32_t key, camera;
    bool posed;
  };
  const Refusal kRefusals[] = {
      {"no take", kMissing, camera, false},
      {"no camera", key, 0, false},
      {"an instance is no camera", key, static_cast<int32_t>(In(kClassShip, 0, 0)->instance->handle), false},
      {"a pose that is no array", key, camera, true},
  };
  for (const Refusal& k : kRefusals) {
    const Reply r = k.posed ? start(k.key, k.camera, {I(5)}) : start(k.key, k.camera);
    EXPECT_TRUE(r.answered) << k.what;
    EXPECT_EQ(r.value, 0) << k.what;
    EXPECT_EQ(EngineTake(key)->cutHandle, 0u) << k.what;
    J3D_FreeCut(GetCutByHandle(kTakeCut));
  }

  const Reply r = start(key, camera, {Pose(100, 200, 300)});
  ASSERT_TRUE(WaitsOnTake(r, key));
  TakeRecord* take = EngineTake(key);
  EXPECT_EQ(take->cutHandle, static_cast<uint32_t>(kTakeCut));
  EXPECT_EQ(FindTakeById(static_cast<uint32_t>(key))->value, 77);
  EXPECT_EQ(GetCutByHandle(kTakeCut)->originPosition.x, 100);
  EXPECT_EQ(GetCutByHandle(kTakeCut)->originPosition.z, 300);
  ASSERT_EQ(take->instanceCount, 1);
  EXPECT_EQ(take->instances[0]->linkedCamera, GetCameraByHandle(static_cast<uint32_t>(camera)));
  EXPECT_GT(Run(kTakeRemaining, {key}), 0);
  EXPECT_EQ(Run(kTakeRemaining, {kMissing}), 0);
  EXPECT_TRUE(woken_.empty());

  // The take ends: its jobs run out and the frame's take check answers the task.
  SetTime(system_.gameTime + 5000);
  JobUpdate(take->instances[0], GetCutByHandle(kTakeCut), 5000);
  TakeCheckRunning(take);
  ASSERT_EQ(woken_.size(), 1u);
  EXPECT_EQ(woken_[0].first, static_cast<uint32_t>(r.task->id));
  EXPECT_EQ(woken_[0].second, kWakeTakeStopped);
}

// Stopping answers the waiting task; a take started again or freed while a task waits on it
// answers that task first, so no task is left waiting on a run that no longer exists.
TEST_F(CutCommands, EveryWayOutOfARunAnswersTheWaitingTask) {
  const int32_t camera = Handle(Camera());
  int32_t takeCut = 620;
  for (const int32_t command : {kStopTake, kStartTake, kFreeTake}) {
    woken_.clear();
    ++takeCut;  // the take of a stopped run keeps its cut
    const int32_t key = NewTake();
    MakeCut(takeCut, {{-1, {0, 0, 0, 0}, true, {}, 2000}});
    const std::vector<ScriptValue> frame = {I(key), I(takeCut), I(0), I(camera), I(0), I(0)};
    const Reply first = Call(kStartTake, frame);
    ASSERT_TRUE(WaitsOnTake(first, key)) << command;
    const Reply then = Call(command, command == kStartTake ? frame : std::vector<ScriptValue>{I(key)});
    ASSERT_EQ(woken_.size(), 1u) << command;
    EXPECT_EQ(woken_[0].first, static_cast<uint32_t>(first.task->id)) << command;
    EXPECT_EQ(woken_[0].second, kWakeTakeStopped) << command;
    if (command == kStartTake) {
      EXPECT_TRUE(WaitsOnTake(then, key)) << "the new start waits in its place";
      EXPECT_EQ(Run(kFreeTake, {key}), 0);
    } else {
      EXPECT_EQ(then.value, 0) << command;
    }
    if (command == kFreeTake) {
      EXPECT_EQ(FindTakeById(static_cast<uint32_t>(key)), nullptr);
    }
  }
  EXPECT_EQ(Run(kStopTake, {kMissing}), 0);
  EXPECT_EQ(Run(kFreeTake, {kMissing}), 0);
}

// Finishing a take rebases the job times of every instance, not only the take's.
// A path that carries a type's body casts an object of that type for the run; freeing the take
// answers the task and takes the object with it.
TEST_F(CutCommands, ATakeCastsTheTypesItsPathsCarry) {
  const int32_t camera = Handle(Camera());
  const int32_t key = NewTake();
  MakeCut(630, {{kShipBody[1], {0, 0, 0, 0}, true, {}, 2000}});
  const size_t before = ObjectCount();
  const Reply r = Call(kStartTake, {I(key), I(630), I(0), I(camera), I(0), I(0)});
  ASSERT_TRUE(WaitsOnTake(r, key));
  const SpaceObject* actor = FindTakeById(static_cast<uint32_t>(key))->actors[0];
  ASSERT_NE(actor, nullptr);
  EXPECT_EQ(actor->objClass, kClassShip);
  EXPECT_EQ(actor->subtype, 1);
  EXPECT_EQ(ObjectCount(), before + 1);
  EXPECT_EQ(Run(kFreeTake, {key}), 0);
  EXPECT_EQ(woken_.size(), 1u);
  EXPECT_EQ(ObjectCount(), before);
}

TEST_F(CutCommands, FinishTakeRebasesEveryInstanceWhenTheTakeExists) {
  InstanceRecord* bystander = In(kClassShip, 0, 0)->instance;
  for (const bool exists : {false, true}) {
    bystander->jobFlags = 0;
    bystander->jobClock = 5000;
    bystander->jobStart = 4000;
    bystander->rangeEnd = 3000;
    const int32_t key = exists ? NewTake() : kMissing;
    EXPECT_EQ(Run(kFinishTake, {key}), 0);
    EXPECT_EQ((bystander->jobFlags & kJobRebased) != 0, exists);
    EXPECT_EQ(bystander->jobClock - bystander->jobStart, 1000) << "the job time stays";
    EXPECT_EQ(bystander->jobClock, exists ? 3000 : 5000);
  }
}

TEST_F(CutCommands, TheTakeReplaceBodyIsStored) {
  EXPECT_EQ(Run(kSetReplaceBody, {4711}), 0);
  EXPECT_EQ(universe_.takeReplaceBody, 4711);
}

// ---- Path searches of a type's cut ----------------------------------------------------------------

TEST_F(CutCommands, FindIndexInCutStartsAfterTheStartAndKeepsTheLaterOfTwoNearest) {
  struct Case {
    const char* what;
    int32_t wantedClass, wantedSubtype, start;
    FixedVector target;
    int32_t answer;
  };
  const Case kCases[] = {
      {"nearest", kClassShip, 0, -1, {900, 0, 0, 0}, 0},
      {"start 4 looks from 5", kClassShip, 0, 4, {900, 0, 0, 0}, 5},
      {"start 0 looks from 1", kClassShip, 0, 0, {900, 0, 0, 0}, 5},
      {"a start below -1 looks from 0", kClassShip, 0, -7, {900, 0, 0, 0}, 0},
      {"a tie goes to the later path", kClassShip, 0, -1, {0, 0, 0, 0}, 5},
      {"ties of subtype 1", kClassShip, 1, -1, {0, 0, 0, 0}, 6},
      {"65535 takes any subtype", kClassShip, 65535, -1, {0, 0, 900, 0}, 4},
      {"-1 is 65535 in 16 bits", kClassShip, -1, -1, {0, 0, 900, 0}, 4},
      {"a subtype above 16 bits", kClassShip, 0x10001, -1, {0, 900, 0, 0}, 1},
      {"nothing after the start", kClassShip, 2, 4, {0, 0, 900, 0}, -1},
      {"a start past the paths", kClassShip, 65535, 100, {0, 0, 0, 0}, -1},
      {"an unusable path never counts", kClassShip, 0, -1, {5, 5, 5, 0}, 0},
      {"no path of the class", kClassFactory, 65535, -1, {0, 0, 0, 0}, -1},
  };
  for (const Case& k : kCases) {
    const ScriptValue target = Array({k.target.x, k.target.y, k.target.z});
    EXPECT_EQ(Nearest(k.wantedClass, k.wantedSubtype, k.start, Pose(0, 0, 0), target), k.answer) << k.what;
  }
}

// The paths are seen from the base pose: moved by its position and turned by its angles.
TEST_F(CutCommands, FindIndexInCutSeesThePathsFromTheBasePose) {
  EXPECT_EQ(Nearest(kClassShip, 65535, -1, Pose(0, 0, -5000), Array({0, 0, -4000})), 4);
  EXPECT_EQ(Nearest(kClassShip, 65535, -1, Pose(0, 0, 0), Array({0, 0, -4000})), 6) << "without the move: a tie";
  EXPECT_EQ(Nearest(kClassShip, 0, -1, Pose(0, 0, 0, 32768), Array({-1000, 0, 0})), 0) << "half a turn";
  EXPECT_EQ(Nearest(kClassShip, 0, -1, Pose(0, 0, 0), Array({-1000, 0, 0})), 5);
}

// Short arrays read 0 for what they lack; arguments that are not arrays fail the search.
TEST_F(CutCommands, FindIndexInCutReadsShortArraysAndRefusesOthers) {
  EXPECT_EQ(Nearest(kClassShip, 65535, -1, Array({0, 0}), Array({0, 0, 900})), 4);
  EXPECT_EQ(Nearest(kClassShip, 65535, -1, Pose(0, 0, 0), Array({})), 6) << "the target is the origin";
  EXPECT_EQ(Nearest(kClassShip, 65535, -1, I(0), Array({0, 0, 900})), -1);
  EXPECT_EQ(Nearest(kClassShip, 65535, -1, Pose(0, 0, 0), I(900)), -1);
  EXPECT_EQ(Nearest(kClassShip, 65535, -1, Pose(0, 0, 0), Text("900")), -1);
}

// Without a target each qualifying path is the answer in turn until a draw of the game's generator
// below 5 comes out 0. Seeded with 1 the draws are 0 | 2 0 | 4 2 | 2 | 1 4 | 4 3 0.
TEST_F(CutCommands, FindIndexInCutWithoutATargetStopsWhereTheSeededDrawSays) {
  GameSrand(1);
  auto random = [&](int32_t start) {
    return Run(kFindIndexInCut, {kClassDock, 0, kClassShip, 0, 0, 0, start});
  };
  EXPECT_EQ(random(-1), 0);
  EXPECT_EQ(random(-1), 5);
  EXPECT_EQ(random(-1), 5) << "no draw stopped it: the last qualifying path";
  EXPECT_EQ(random(4), 5);
  EXPECT_EQ(Run(kFindIndexInCut, {kClassDock, 0, kClassShip, 0, 0, 0}), 5) << "no start: -1";
  EXPECT_EQ(random(5), -1);
  // The next draws are 4 3 0: the third of the paths of any subtype.
  EXPECT_EQ(Run(kFindIndexInCut, {kClassDock, 0, kClassShip, 65535, 0, 0}), 4);
}

// The debris chain, followed from a debris type below its count, leads to the type whose cut is
// searched; a chain that loops fails each path command with its failure value.
TEST_F(CutCommands, TheDebrisChainLeadsToTheCutOrFailsWhenItLoops) {
  struct Case {
    const char* what;
    int32_t subtype, chain;
    bool found;
  };
  const Case kCases[] = {
      {"debris 0 stands for dock 0", 0, 1, true},
      {"at its count it is debris 0 itself, without a cut", 0, 2, false},
      {"debris 1 ends below the index: its own cut", 1, 1, true},
      {"debris 1 and 2 stand for each other", 1, 0, false},
      {"so do 2 and 1", 2, 0, false},
  };
  for (const Case& k : kCases) {
    GameSrand(1);
    EXPECT_EQ(Run(kFindIndexInCut, {kClassDebris, k.subtype, kClassShip, 0, 0, k.chain}), k.found ? 0 : -1) << k.what;
    const Reply pose = Call(kPathPose, {I(kClassDebris), I(k.subtype), I(1), Pose(0, 0, 0), I(k.chain)});
    EXPECT_EQ(pose.value == INT_MIN, k.found) << k.what << ": an array, else int 0";
    if (!k.found) {
      EXPECT_EQ(pose.value, 0) << k.what;
    }
    EXPECT_EQ(Run(kPathSubtype, {kClassDebris, k.subtype, 4, k.chain}), k.found ? 2 : -1) << k.what;
  }
}

TEST_F(CutCommands, ATypeWithoutACutFindsNoPath) {
  const Reply pose = Call(kPathPose, {I(kClassShip), I(0), I(0), Pose(0, 0, 0), I(0)});
  EXPECT_EQ(pose.value, 0);
  EXPECT_EQ(Run(kFindIndexInCut, {kClassShip, 0, kClassShip, 65535, 0, 0}), -1);
  EXPECT_EQ(Run(kPathSubtype, {kClassShip, 0, 0, 0}), -1);
  EXPECT_EQ(Run(kPathSubtype, {kClassDock, 5, 0, 0}), -1) << "no such row";
  EXPECT_EQ(Run(kPathSubtype, {kClassDock + 0x10000, 0, 4, 0}), 2) << "the class is 16 bits";
}

// The pose of a path: its first position and rotation seen from the base pose.
TEST_F(CutCommands, GetTypePosAndDirectionInCutAnswersThePathSeenFromTheBase) {
  const Reply moved = Call(kPathPose, {I(kClassDock), I(0), I(1), Pose(10, 20, 30), I(0)});
  EXPECT_EQ(Flatten(&moved.task->result), (std::vector<int32_t>{10, 1020, 30, 0, 0, 0}));

  // An eighth of a turn about y takes the path's +z to (-x, +z) and adds to the path's own turn.
  const Reply turned = Call(kPathPose, {I(kClassDock), I(0), I(4), Pose(0, 0, 0, 8192), I(0)});
  const std::vector<int32_t> got = Flatten(&turned.task->result);
  ASSERT_EQ(got.size(), 6u);
  EXPECT_NEAR(got[0], -707, 2);
  EXPECT_NEAR(got[2], 707, 2);
  EXPECT_NEAR(got[3], 8192 + 4096, 2);
  EXPECT_NEAR(got[4], 0, 2);

  // Unusable paths, a body of no type, indexes outside the cut and a base that is no array: int 0.
  for (const int32_t n : {2, 3, 7, -1, 8}) {
    EXPECT_EQ(Call(kPathPose, {I(kClassDock), I(0), I(n), Pose(0, 0, 0), I(0)}).value, 0) << n;
  }
  EXPECT_EQ(Call(kPathPose, {I(kClassDock), I(0), I(1), I(0), I(0)}).value, 0);
  const Reply shortBase = Call(kPathPose, {I(kClassDock), I(0), I(1), Array({10}), I(0)});
  EXPECT_EQ(Flatten(&shortBase.task->result), (std::vector<int32_t>{10, 1000, 0, 0, 0, 0}));
}

TEST_F(CutCommands, GetSubTypeFormCutIndexAnswersTheSubtypeOfTheCarriedBody) {
  const int32_t kSubtypes[8] = {0, 1, -1, -1, 2, 0, 1, -1};
  for (int32_t n = 0; n < 8; ++n) EXPECT_EQ(Run(kPathSubtype, {kClassDock, 0, n, 0}), kSubtypes[n]) << n;
  EXPECT_EQ(Run(kPathSubtype, {kClassDock, 0, 8, 0}), -1);
  EXPECT_EQ(Run(kPathSubtype, {kClassDock, 0, -1, 0}), -1);
}

// ---- Bodies, instances and types ------------------------------------------------------------------

TEST_F(CutCommands, TypeLookupsByBodyCutAndIdLists) {
  Rows(kClassFactory, 2)[1].station.cut = kOwnerCut;  // a factory and a dock share the cut id
  int32_t special[2] = {70, 71};
  gBodyIdLists.lists[4] = {2, special};
  DummyRow dummies[1] = {};
  dummies[0].body = 80;
  gDummyTable.kinds[3] = {1, dummies};
  struct Case {
    int32_t command;
    std::vector<int32_t> args;
    int32_t answer;
  };
  const Case kCases[] = {
      {kTypeFromBody, {kShipBody[2]}, PackTypeCode(kClassShip, 2)},
      {kTypeFromBody, {950}, PackTypeCode(kClassDock, 0)},
      {kTypeFromBody, {kNoTypeBody}, 0},
      {kTypeFromCut, {kOwnerCut}, PackTypeCode(kClassFactory, 1)},  // factories come before docks
      {kTypeFromCut, {kOwnerCut + 1}, 0},
      {kIsSpecialBody, {71, 4}, 1},
      {kIsSpecialBody, {71, -1}, 1},
      {kIsSpecialBody, {71, 3}, 0},
      {kIsSpecialBody, {72, -1}, 0},
      {kIsDummyBody, {80, 0}, 1},
      {kIsDummyBody, {80}, 1},
      {kIsDummyBody, {81, 3}, 0},
  };
  for (const Case& k : kCases) EXPECT_EQ(Run(k.command, k.args), k.answer) << k.command << " " << k.args[0];
}

TEST_F(CutCommands, AllocTextInstAnswersTheRootOfTheText) {
  const Reply r = Call(307, {Text("abc"), I(0)});
  InstanceRecord* root = GetInstanceByHandle(static_cast<uint32_t>(r.value));
  ASSERT_NE(root, nullptr);
  int32_t characters = 0;
  for (InstanceRecord* child = InstFirstChild(root); child; child = InstNextSibling(child)) ++characters;
  EXPECT_EQ(characters, 3);
  FreeInstance(root);
}

// Nothing to build from, or nothing to build on: 0, and nothing changes.
TEST_F(CutCommands, ModelAndSceneCommandsAnswer0WithoutAModelCutOrObject) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  const uint32_t handles = HashCount(engine3d_.engine().handleTable);
  const size_t objects = ObjectCount();
  struct Case {
    int32_t command;
    std::vector<int32_t> args;
  };
  const Case kCases[] = {
      {314, {9999, 0, 0, 0}},          {314, {9999, static_cast<int32_t>(ship->instance->handle), 0, Id(ship)}},
      {337, {kMissing, 0, kOwnerCut, 0}}, {337, {Id(ship), 0, 9999, 0}},
      {338, {9999, 0}},                {347, {kMissing}},
      {347, {Id(ship)}},
  };
  for (const Case& k : kCases) EXPECT_EQ(Run(k.command, k.args), 0) << k.command;
  EXPECT_EQ(HashCount(engine3d_.engine().handleTable), handles);
  EXPECT_EQ(ObjectCount(), objects);
}

TEST_F(CutCommands, GetSpawnInstFindsTheFirstSpawnMarker) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  SpaceObject* plain = In(kClassShip, 0, 0);
  ChildInstance(plain)->bodyId = 5;
  ChildInstance(ship)->bodyId = 5;
  InstanceRecord* first = ChildInstance(ship);
  first->bodyId = 19030;
  ChildInstance(ship)->bodyId = 19030;
  EXPECT_EQ(Run(kGetSpawnInst, {Id(ship)}), static_cast<int32_t>(first->handle));
  EXPECT_EQ(Run(kGetSpawnInst, {Id(plain)}), 0);
  EXPECT_EQ(Run(kGetSpawnInst, {Id(WithoutInstance(kClassShip, 0))}), 0);
  EXPECT_EQ(Run(kGetSpawnInst, {kMissing}), 0);
}

// The bodies and cuts go, and the time the free took is no frame step: the clock's base is taken
// last.
TEST_F(CutCommands, FreeAllBodiesFreesTheCutsAndTakesTheFrameClockLast) {
  system_.physicalMemoryMB = 0;
  SpaceObject* ship = In(kClassShip, 0, 0);
  (void)GetGameFrameStep();
  SetTime(system_.gameTime + 500);
  EXPECT_EQ(Run(kFreeAllBodies, {}), 0);
  EXPECT_EQ(GetCutByHandle(kOwnerCut), nullptr);
  EXPECT_EQ(GetGameFrameStep(), 1) << "the 500 ms went into the free";
  EXPECT_NE(ship->instance, nullptr);
}

TEST_F(CutCommands, CleanUpMarksObjectsOutsideSectors) {
  SpaceObject* inside = In(kClassShip, 0, 0);
  SpaceObject* loose = Create(kClassShip, 0);
  EXPECT_EQ(Run(kCleanUp, {}), 0);
  EXPECT_NE(loose->flags & kObjFlagRemoving, 0u);
  EXPECT_EQ(inside->flags & kObjFlagRemoving, 0u);
  EXPECT_EQ(sector_->flags & kObjFlagRemoving, 0u);
}

}  // namespace
