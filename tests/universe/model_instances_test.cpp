// The model builder: which paths become which instances, the model's origin, the port rows and
// their bounds, the start frame of animated nodes, and the port list the type loader gathers.
#include <gtest/gtest.h>

#include "model_world.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "universe/object_models.h"

namespace {

class ModelInstances : public ModelWorld {
 protected:
  static constexpr int32_t kDockBody = 50;
  static constexpr int32_t kAnimatedBody = 61;

  void SetUp() override {
    ModelWorld::SetUp();
    for (int32_t id : {kDockBody, kPortBody, kAnimatedBody, 62}) Body(id, 1000);
  }

  // The fixture model: the origin row, a point light, light type 1001, a port, an animated
  // node and a path without body.
  void FixtureModel() {
    AddPath(kDockBody, {100, 200, 300, 0});
    AddPath(-2);
    AddPath(1001);
    AddPath(kPortBody);
    AddPath(kAnimatedBody, {}, 1000);
    AddPath(-1);
    EnterModel();
    Dummies({Dummy(kPortBody, 0x20)});
  }

  SpaceObject* Dock() { return Create(kClassDock, 0); }
};

TEST_F(ModelInstances, ModelIdsThatNameNoModelBuildNothing) {
  FixtureModel();
  for (int32_t id : {0, -1}) {
    EXPECT_EQ(BuildObjectModelInstances(&universe_, id, nullptr, nullptr, nullptr), nullptr) << id;
  }
}

TEST_F(ModelInstances, PathsBecomeNodesLightsAndTheOrigin) {
  FixtureModel();
  engine_.engine().lightTypes[1] = LightTypeRecord{1, 10, 20, 30, 0, 7, {0, 0}};
  DockType(GatheredPorts(), kDockBody);
  SpaceObject* dock = Dock();
  ASSERT_NE(dock->instance, nullptr);
  EXPECT_EQ(dock->componentCut, static_cast<uint32_t>(kModel));
  EXPECT_TRUE(dock->instance->collisionMask & kModelRoot);
  // The origin row is the dock's own body: no node, and the model is moved back by its position.
  EXPECT_EQ(cut_.originPosition.x, -100);
  EXPECT_EQ(cut_.originPosition.y, -200);
  EXPECT_EQ(cut_.originPosition.z, -300);
  const auto nodes = Children(dock->instance);
  ASSERT_EQ(nodes.size(), 4u);  // the point light, the typed light, the port, the animated node
  EXPECT_TRUE(nodes[0]->flags & kInstPointLight);
  EXPECT_EQ(nodes[0]->lightRange, 300000);
  EXPECT_TRUE(nodes[1]->flags & kInstLightRankedHigh);
  EXPECT_TRUE(nodes[1]->flags & kInstLightParamSet);
  EXPECT_EQ(nodes[1]->lightParam, 7);
  EXPECT_EQ(nodes[2]->bodyId, kPortBody);
  EXPECT_EQ(nodes[2]->nodeId, 3);
  for (InstanceRecord* n : nodes) EXPECT_TRUE(n->collisionMask & kModelNodeBuilt);
  const DockSlotTable* slots = Slots(dock);
  ASSERT_NE(slots, nullptr);
  ASSERT_EQ(slots->count, 1);
  EXPECT_EQ(slots->rows[0].entries[0], nodes[2]);
  EXPECT_EQ(slots->rows[0].entryCount, 1);
}

TEST_F(ModelInstances, LightTypesGiveTheirKindFlags) {
  struct Case {
    LightTypeRecord type;
    size_t lights;
    uint32_t flags;
  };
  const Case kCases[] = {
      {{1, 0, 0, 0, 0, 5, {}}, 1, kInstLightRankedHigh | kInstLightParamSet},
      {{2, 0, 0, 0, 3, 0, {}}, 1, kInstPointLight | kInstLightSecondPositive},
      {{3, 0, 0, 0, 0, 0, {}}, 1, kInstSpotLight},
      {{0, 0, 0, 0, 0, 5, {}}, 0, 0},  // kind 0: no light
  };
  AddPath(1001);
  EnterModel();
  for (const Case& c : kCases) {
    engine_.engine().lightTypes[1] = c.type;
    InstanceRecord* root = BuildObjectModelInstances(&universe_, kModel, nullptr, nullptr, nullptr);
    ASSERT_NE(root, nullptr);
    const auto lights = Children(root);
    ASSERT_EQ(lights.size(), c.lights) << c.type.kind;
    if (c.lights) {
      EXPECT_EQ(lights[0]->flags & (kInstLightRankedHigh | kInstPointLight | kInstSpotLight | kInstLightParamSet |
                                    kInstLightSecondPositive),
                c.flags)
          << c.type.kind;
    }
    FreeInstance(root);
  }
}

TEST_F(ModelInstances, SlotRowsAreMadeOnceAndPortsRefiledOnARebuild) {
  FixtureModel();
  DockType(GatheredPorts(), kDockBody);
  SpaceObject* dock = Dock();
  DockSlotTable* first = Slots(dock);
  ASSERT_NE(first, nullptr);
  DockSlotRow* rows = first->rows;
  rows[0].reservedGroup = 9;
  SetObjectSubType(dock);  // frees the tree and builds it again
  EXPECT_EQ(Slots(dock), first);
  EXPECT_EQ(Slots(dock)->rows, rows);
  EXPECT_EQ(rows[0].reservedGroup, 9);
  const auto ports = Children(dock->instance);
  ASSERT_EQ(first->count, 1);
  EXPECT_EQ(rows[0].entryCount, 1);
  EXPECT_EQ(rows[0].entries[0]->bodyId, kPortBody);
  EXPECT_EQ(rows[0].entries[0]->parent, dock->instance);  // the new port, not the freed one
}

TEST_F(ModelInstances, MorePortNodesThanRowsStayInBounds) {
  struct Case {
    int32_t portNodes;
    int32_t rows;
  };
  const Case kCases[] = {{3, 2}, {5, 1}};
  for (const Case& c : kCases) {
    paths_.clear();
    HashRemove(engine_.engine().cutTable, kModel);
    for (int32_t i = 0; i < c.portNodes; ++i) AddPath(kPortBody);
    EnterModel();
    Dummies({Dummy(kPortBody, 0x20)});
    DockType(Ports(c.rows), kDockBody);
    SpaceObject* dock = Dock();
    const DockSlotTable* slots = Slots(dock);
    ASSERT_NE(slots, nullptr);
    EXPECT_EQ(slots->capacity, c.rows);
    EXPECT_EQ(slots->count, c.rows) << c.portNodes;
    for (int32_t r = 0; r < c.rows; ++r) EXPECT_EQ(slots->rows[r].entryCount, 1);
    EXPECT_EQ(Children(dock->instance).size(), static_cast<size_t>(c.portNodes));
    DeleteObject(dock);
  }
}

TEST_F(ModelInstances, AnimatedNodesLoopFromARandomFrameUnlessHeldAtTheStart) {
  AddPath(kAnimatedBody, {}, 1000);
  AddPath(62);  // a still node
  EnterModel();
  DockType(nullptr, kDockBody);
  TypeRowMutable(kClassDock, 0)->station.cut = 0;  // the case builds the model itself
  struct Case {
    uint32_t flags2;
    bool random;
  };
  const Case kCases[] = {{0, true}, {kObjFlag2Special, false}};
  for (const Case& c : kCases) {
    SpaceObject* dock = Dock();
    dock->flags2 |= c.flags2;
    GameSrand(5);
    const int32_t expected = c.random ? RandomBelow(1000 - 1) : 0;
    GameSrand(5);
    ASSERT_NE(BuildObjectModelInstances(&universe_, kModel, dock->instance, dock, nullptr), nullptr);
    const auto nodes = Children(dock->instance);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_TRUE(nodes[0]->jobFlags & kJobLoops);
    EXPECT_EQ(nodes[0]->jobClock - nodes[0]->jobStart, expected) << c.flags2;
    EXPECT_FALSE(nodes[1]->jobFlags & kJobLoops);
    DeleteObject(dock);
  }
}

TEST_F(ModelInstances, TheLoaderGathersPortsWithoutBuilding) {
  AddPath(kPortBody);
  AddPath(62);
  AddPath(kPortBody);
  EnterModel();
  DummyRow hangar = Dummy(kPortBody, 0x100000 | 0x21);
  hangar.segment[1] = {100, 200};
  Dummies({hangar, Dummy(62, 0x10000)});  // 62 has no ship groups: not a port
  const uint32_t before = HashCount(engine_.engine().handleTable);
  DockSlotList* list = GatheredPorts();
  EXPECT_EQ(HashCount(engine_.engine().handleTable), before);
  ASSERT_EQ(DockPortCount(list), 2);
  const DockPortType* port = DockPortOfList(list, 1);
  EXPECT_EQ(port->flags, 0x100021u);
  EXPECT_EQ(port->animFlags, 0x21u);
  EXPECT_EQ(port->ranges[1].start, 100);
  EXPECT_EQ(port->ranges[1].end, 200);
  EXPECT_EQ(list->flags, 0x110021u);
}

TEST_F(ModelInstances, ChildrenGoBackUnderTheirParentPath) {
  PathRecord& parent = AddPath(kPortBody);
  parent.serial = 11;
  PathRecord& child = AddPath(62);
  child.loaderWord = 11;
  EnterModel();
  InstanceRecord* root = BuildObjectModelInstances(&universe_, kModel, nullptr, nullptr, nullptr);
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(Children(root).size(), 2u);
  ReattachModelChildren(root, &cut_);
  const auto top = Children(root);
  ASSERT_EQ(top.size(), 1u);
  ASSERT_EQ(Children(top[0]).size(), 1u);
  EXPECT_EQ(Children(top[0])[0]->bodyId, 62);
  FreeInstance(root);
}

}  // namespace
