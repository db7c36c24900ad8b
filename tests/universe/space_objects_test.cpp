// Space objects in their lists and containers: the three-word list header, tail insertion,
// unlinking at each place, the child lists of the container classes, and the object accessors
// that the fixed-point unit declares over the records.
#include <gtest/gtest.h>

#include <vector>

#include "core/fixed_math.h"
#include "universe/universe.h"

namespace {

std::vector<SpaceObject*> Walk(ListHead* list) {
  std::vector<SpaceObject*> seen;
  for (SpaceObject* o = ObjectListFirst(list); o; o = ObjectListNext(o)) seen.push_back(o);
  return seen;
}

// The invariants of a list holding exactly `expected`, in order.
void ExpectList(ListHead* list, const std::vector<SpaceObject*>& expected) {
  EXPECT_EQ(list->tail, nullptr);
  EXPECT_EQ(Walk(list), expected);
  if (expected.empty()) {
    EXPECT_EQ(list->first, ListTailNode(list));
    EXPECT_EQ(list->last, ListHeadNode(list));
    return;
  }
  EXPECT_EQ(list->first, &expected.front()->link);
  EXPECT_EQ(list->last, &expected.back()->link);
  EXPECT_EQ(expected.front()->link.pred, ListHeadNode(list));
  EXPECT_EQ(expected.back()->link.succ, ListTailNode(list));
  for (size_t i = 1; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i - 1]->link.succ, &expected[i]->link);
    EXPECT_EQ(expected[i]->link.pred, &expected[i - 1]->link);
  }
}

TEST(ObjectLists, AnEmptyHeaderWalksNothing) {
  ListHead list;
  ListInit(&list);
  EXPECT_EQ(list.first, ListTailNode(&list));  // first points at the terminator word
  EXPECT_EQ(list.tail, nullptr);
  EXPECT_EQ(list.last, ListHeadNode(&list));
  EXPECT_TRUE(Walk(&list).empty());
  // A header that was never set up (a zero-filled block) walks as empty too.
  ListHead zeroed{};
  EXPECT_TRUE(Walk(&zeroed).empty());
}

TEST(ObjectLists, TailInsertionIntoAnEmptyList) {
  ListHead list;
  ListInit(&list);
  SpaceObject a{};
  ObjectListAddTail(&list, &a);
  EXPECT_EQ(a.link.pred, ListHeadNode(&list));  // prev is the header
  EXPECT_EQ(a.link.succ, ListTailNode(&list));  // next is the terminator's address
  EXPECT_EQ(a.link.succ->succ, nullptr);         // whose own next ends the walk
  ExpectList(&list, {&a});
}

TEST(ObjectLists, UnlinkingAtEachPlaceKeepsTheInvariants) {
  struct Case {
    const char* what;
    int removed;             // index of five objects
    std::vector<int> after;  // what stays, in order
  };
  const Case kCases[] = {
      {"first", 0, {1, 2, 3, 4}},
      {"middle", 2, {0, 1, 3, 4}},
      {"last", 4, {0, 1, 2, 3}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject objects[5] = {};
    ListHead list;
    ListInit(&list);
    for (SpaceObject& o : objects) ObjectListAddTail(&list, &o);
    ExpectList(&list, {&objects[0], &objects[1], &objects[2], &objects[3], &objects[4]});
    ObjectListRemove(&objects[c.removed]);
    std::vector<SpaceObject*> expected;
    for (int i : c.after) expected.push_back(&objects[i]);
    ExpectList(&list, expected);
    // Added again, the object goes to the end.
    ObjectListAddTail(&list, &objects[c.removed]);
    expected.push_back(&objects[c.removed]);
    ExpectList(&list, expected);
  }
  // Unlinking the only object leaves an empty header.
  SpaceObject only{};
  ListHead list;
  ListInit(&list);
  ObjectListAddTail(&list, &only);
  ObjectListRemove(&only);
  ExpectList(&list, {});
}

TEST(SpaceObjects, ContainerClassesOwnAChildList) {
  SectorExt sector{};
  DockExt dock{};
  FactoryExt factory{};
  ShipExt ship{};
  GateExt gate{};
  PlanetExt planet{};
  struct Case {
    uint16_t objClass;
    void* ext;
    ListHead* children;  // null: not a container
  };
  const Case kCases[] = {
      {kClassSector, &sector, &sector.children}, {kClassDock, &dock, &dock.children},
      {kClassFactory, &factory, &factory.dock.children}, {kClassShip, &ship, &ship.children},
      {kClassGate, &gate, &gate.children},       {kClassPlanet, &planet, nullptr},
      {kClassShip, nullptr, nullptr},
  };
  for (const Case& c : kCases) {
    SpaceObject container{};
    container.objClass = c.objClass;
    container.ext = c.ext;
    EXPECT_EQ(ObjectChildren(&container), c.children) << c.objClass;
  }
  EXPECT_EQ(ObjectChildren(nullptr), nullptr);

  // A child moved from the top-level list into a sector stands in exactly one list.
  ListHead top;
  ListInit(&top);
  ListInit(&sector.children);
  SpaceObject sectorObject{}, child{};
  sectorObject.objClass = kClassSector;
  sectorObject.ext = &sector;
  ObjectListAddTail(&top, &sectorObject);
  ObjectListAddTail(&top, &child);
  ObjectListRemove(&child);
  ObjectListAddTail(ObjectChildren(&sectorObject), &child);
  ExpectList(&top, {&sectorObject});
  ExpectList(&sector.children, {&child});
}

TEST(SpaceObjects, ExtensionSizesByClass) {
  struct Case {
    uint16_t objClass;
    size_t size;
  };
  const Case kCases[] = {
      {kClassBullet, sizeof(BulletExt)},  {kClassSector, sizeof(SectorExt)}, {kClassBackground, 0},
      {kClassSun, sizeof(SunExt)},        {kClassFactory, sizeof(FactoryExt)}, {kClassShip, sizeof(ShipExt)},
      {11, sizeof(AmountExt)},            {16, sizeof(AmountExt)},           {kClassAsteroid, sizeof(AmountExt)},
      {kClassGate, sizeof(GateExt)},      {kClassCamera, sizeof(CameraExt)}, {kClass21, sizeof(Class21Ext)},
      {22, 0},                            {kClassCockpit, 0},                {kClassBodyObject, 0},
      {kClassDebris, sizeof(AmountExt)},  {kClassShipWreck, sizeof(AmountExt)}, {32, 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(ObjectExtensionSize(c.objClass), c.size) << c.objClass;
  // A factory's extension is a dock's with more words; a ship holds a row for every turret a
  // type may have.
  EXPECT_GT(sizeof(FactoryExt), sizeof(DockExt));
  EXPECT_EQ(sizeof(ShipExt::turrets) / sizeof(TurretRow), static_cast<size_t>(kShipTurretCapacity));
}

}  // namespace
