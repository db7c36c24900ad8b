// The universe frame step and construction: the order of the per-sector steps over the two
// passes, which elements are passed over, the started flag, a sector inserted during the walk;
// the universe block and its module row; and the event value the module's resume callback sets.
#include <string>
#include <vector>

#include "universe_world.h"

#include "scene/scene.h"
#include "simulation/commands/sa_module.h"

namespace {

std::vector<std::string>* gSteps = nullptr;

class UniverseFrame : public UniverseWorld {
 protected:
  void SetUp() override {
    UniverseWorld::SetUp();
    gSteps = &steps_;
    self_ = this;
    gSectorSteps = SectorStepTable{
        [](SectorObject* s) { Record(s, "motion"); },   [](SectorObject* s) { Record(s, "objects"); },
        [](SectorObject* s) { Record(s, "instances"); }, [](SectorObject* s) { Record(s, "flight"); },
        [](SectorObject* s) { Record(s, "break"); }};
  }
  void TearDown() override {
    gSteps = nullptr;
    self_ = nullptr;
    UniverseWorld::TearDown();
  }

  static void Record(SectorObject* s, const char* step) {
    gSteps->push_back(self_->NameOf(s) + " " + step);
    if (self_->afterStep_) self_->afterStep_(s, step);
  }
  std::string NameOf(SectorObject* s) { return s->name ? s->name : "?"; }

  SectorObject* Named(const char* name, uint32_t flags = 0) {
    SectorObject* s = Sector();
    ObjSetName(s, name);
    s->sectorFlags = flags;
    return s;
  }

  static inline UniverseFrame* self_ = nullptr;
  std::vector<std::string> steps_;
  std::function<void(SectorObject*, const char*)> afterStep_;
};

TEST_F(UniverseFrame, TwoPassesRunTheSimulatedSectorsInListOrder) {
  Named("A");
  Create(kClassShip, 0);  // not a sector: passed over
  Named("skipped", kSectorFlagSkipped);
  Named("B", kSectorFlagActiveWithPlayer);  // only bit 0 takes a sector out
  struct Case {
    uint32_t started;
    std::vector<std::string> steps;
  };
  const Case kCases[] = {
      {1,
       {"A motion", "A objects", "A instances", "B motion", "B objects", "B instances", "A flight", "A break",
        "B flight", "B break"}},
      {0, {"A flight", "A break", "B flight", "B break"}},
  };
  for (const Case& c : kCases) {
    steps_.clear();
    universe_.runState[1] = c.started;
    StepUniverse();
    EXPECT_EQ(steps_, c.steps) << "started " << c.started;
  }
}

TEST_F(UniverseFrame, EmptyUniverseRunsNothing) {
  universe_.runState[1] = 1;
  StepUniverse();
  EXPECT_TRUE(steps_.empty());
}

TEST_F(UniverseFrame, SectorInsertedAfterTheCurrentOneIsVisitedInTheSamePass) {
  SectorObject* a = Named("A");
  SectorObject* inserted = nullptr;
  afterStep_ = [&](SectorObject* s, const char* step) {
    if (s != a || std::string(step) != "motion" || inserted) return;
    inserted = Sector();
    ObjSetName(inserted, "C");
    // Moved from the tail to right after A.
    ObjectListRemove(inserted);
    ListNode* node = &inserted->link;
    ListNode* succ = NodeSucc(&a->link);
    NodeSucc(node) = succ;
    NodePred(node) = &a->link;
    NodePred(succ) = node;
    NodeSucc(&a->link) = node;
  };
  Named("B");
  universe_.runState[1] = 1;
  StepUniverse();
  ASSERT_NE(inserted, nullptr);
  EXPECT_EQ(steps_, (std::vector<std::string>{"A motion", "A objects", "A instances", "C motion", "C objects",
                                              "C instances", "B motion", "B objects", "B instances", "A flight",
                                              "A break", "C flight", "C break", "B flight", "B break"}));
}

// A handler that frees the sector being walked and the next one: both vanish from the id hash at
// once, stay in place for the walk, and are freed once after the step.
TEST_F(UniverseFrame, ObjectsFreedDuringTheStepAreFreedAfterIt) {
  SectorObject* a = Named("A");
  SectorObject* b = Named("B");
  Listen(a);
  const uint32_t idA = a->id, idB = b->id;
  bool lookedUp = false;
  onEvent_ = [&](SpaceObject* o, const char* name) {
    if (std::string(name) != "Recorded" || o != a) return;
    FreeObjectForScript(a);
    FreeObjectForScript(b);
    FreeObjectForScript(a);  // twice: still one free
    EXPECT_EQ(FindObjectById(&universe_, idA), nullptr);
    EXPECT_EQ(FindObjectById(&universe_, idB), nullptr);
    EXPECT_EQ(QueuedObjectCount(), 2);
    lookedUp = true;
  };
  afterStep_ = [&](SectorObject* s, const char* step) {
    if (s == a && std::string(step) == "flight") RaiseObjectEvent(a, "Recorded", 0);
  };
  StepUniverse();
  EXPECT_TRUE(lookedUp);
  // The walk went on through A's successor, which is freed only afterwards.
  EXPECT_EQ(steps_, (std::vector<std::string>{"A flight", "A break", "B flight", "B break"}));
  EXPECT_EQ(QueuedObjectCount(), 0);
  EXPECT_EQ(ObjectListFirst(&universe_.objects), nullptr);
  EXPECT_EQ(UniverseGuardDepth(), 0);
}

TEST_F(UniverseFrame, FreeWithoutAGuardIsImmediate) {
  SectorObject* a = Named("A");
  const uint32_t id = a->id;
  FreeObjectForScript(a);
  EXPECT_EQ(QueuedObjectCount(), 0);
  EXPECT_EQ(FindObjectById(&universe_, id), nullptr);
  EXPECT_EQ(ObjectListFirst(&universe_.objects), nullptr);
}

TEST_F(UniverseFrame, QueuedObjectFreedByOtherMeansLeavesTheQueue) {
  SectorObject* a = Named("A");
  {
    UniverseGuardScope guard;
    FreeObjectForScript(a);
    EXPECT_EQ(QueuedObjectCount(), 1);
    DeleteObject(a);
    EXPECT_EQ(QueuedObjectCount(), 0);
  }
  EXPECT_EQ(ObjectListFirst(&universe_.objects), nullptr);
}

// ---- Construction ---------------------------------------------------------------------------

using UniverseConstruction = UniverseWorld;

TEST_F(UniverseConstruction, BlockStartsEmptyWithItsModuleRow) {
  EXPECT_EQ(gUniverse, &universe_);
  EXPECT_EQ(universe_.runState[0], 0u);
  EXPECT_EQ(universe_.runState[1], 0u);
  EXPECT_EQ(ObjectListFirst(&universe_.objects), nullptr);
  EXPECT_NE(universe_.idHash, nullptr);
  EXPECT_NE(universe_.takeHash, nullptr);
  EXPECT_EQ(universe_.commandActive, 0u);
  // The T_ module took row 1; the universe's row is the next.
  ASSERT_EQ(universe_.moduleNo, 2u);
  EXPECT_EQ(engine_->moduleCount, 3);
  const NativeModuleRow& row = engine_->modules[universe_.moduleNo];
  EXPECT_EQ(row.dispatcher, DispatchSpaceObjectCommand);
  EXPECT_EQ(row.names, GetSpaceObjectCommandNames());
  EXPECT_NE(row.resumeInt, nullptr);
  EXPECT_EQ(row.resumeString, nullptr);
  EXPECT_EQ(row.resumeValue, nullptr);
}

TEST_F(UniverseConstruction, FullModuleTableIsRefused) {
  UniverseBlock second{};
  while (engine_->moduleCount < kModuleRowCount) engine_->moduleCount++;
  EXPECT_EQ(CreateUniverse(&second), nullptr);
  EXPECT_EQ(second.idHash, nullptr);
  EXPECT_EQ(second.takeHash, nullptr);
  EXPECT_EQ(gUniverse, &universe_);
  engine_->moduleCount = 3;
}

TEST_F(UniverseConstruction, EventValueLandsOnTheUniverseOrALiveObject) {
  SpaceObject* ship = Create(kClassShip, 0);
  const uint32_t liveId = ship->id;
  SpaceObject* gone = Create(kClassShip, 0);
  const uint32_t deadId = gone->id;
  DeleteObject(gone);
  const NativeModuleRow& row = engine_->modules[universe_.moduleNo];

  row.resumeInt(0, 41);
  EXPECT_EQ(universe_.scriptValue.type, kValueInt);
  EXPECT_EQ(universe_.scriptValue.i, 41);
  EXPECT_EQ(universe_.savedWordC, 1u);

  row.resumeInt(liveId, 7);
  EXPECT_EQ(ship->scriptValue.i, 7);
  EXPECT_EQ(ship->valueSet, 1u);

  row.resumeInt(deadId, 9);  // nothing to land on
  EXPECT_EQ(universe_.scriptValue.i, 41);
  EXPECT_EQ(ship->scriptValue.i, 7);

  // A pooled old value is released once: the pool counters end at 0 (the fixture checks).
  ScriptValue text{};
  SetValueString(&text, "held");
  MoveValue(&ship->scriptValue, &text);
  row.resumeInt(liveId, 3);
  EXPECT_EQ(ship->scriptValue.type, kValueInt);
  EXPECT_EQ(ship->scriptValue.i, 3);
}

}  // namespace
