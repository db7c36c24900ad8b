// Factory connections: factories with hand-placed connection nodes in a sector are joined into a
// tree of shortest links; the tests read the links back from the answered array and the pieces
// from the universe: which point each link takes, the end pieces' turns, and the tube segments
// that span each link exactly. Broken input (ids that name nothing, too many points, ends at one
// place) must finish cleanly, which the sanitizer checks.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/hash_table.h"
#include "core/system_block.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "script/containers.h"
#include "support/cached_bodies.h"
#include "support/engine_fixture.h"
#include "support/script_fixture.h"
#include "universe/factory_connections.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kDummyBody = 900;
constexpr int32_t kEndSize = 100;
constexpr int32_t kSegmentSize = 500;
constexpr int32_t kConnectionKind = 4;

struct Node {
  int32_t body;
  int32_t x, y, z;
  int32_t size = 0;
};

class FactoryConnections : public ScriptEngineTest {
 protected:
  static void SetUpTestSuite() { InitMathTables(); }

  void SetUp() override {
    ScriptEngineTest::SetUp();
    gScriptEngine = engine_;
    system_.gameTime = 1000;
    gSystem = &system_;
    universe_ = UniverseBlock{};
    ListInit(&universe_.objects);
    universe_.idHash = HashCreate();
    universe_.takeHash = HashCreate();
    gUniverse = &universe_;
    SetFreedInstanceHook(ObjectsForgetInstance);

    specials_.assign(48, ObjectTypeRecord{});
    specials_[kSubtypeParentEndPiece].bodyId = 1045;
    specials_[kSubtypeChildEndPiece].bodyId = 1047;
    specials_[kSubtypeTubeSegment].bodyId = 1046;
    gObjectTypeTables[kClassSpecial] = {specials_.data(), 48};
    factories_.assign(1, ObjectTypeRecord{});
    factories_[0].bodyId = 1060;
    gObjectTypeTables[kClassFactory] = {factories_.data(), 1};
    dummies_.assign(1, DummyRow{});
    dummies_[0].body = kDummyBody;
    gDummyTable.kinds[kConnectionKind] = {1, dummies_.data()};
    Body(1045, kEndSize);
    Body(1047, kEndSize);
    Body(1046, kSegmentSize);
    Body(1060, 1000);

    sector_ = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
    CreateSector(sector_, MakeTypeWord(kClassSector, 1));
    result_.type = kValueNone;
    ids_.type = kValueNone;
  }

  void TearDown() override {
    ReleaseValue(&result_);
    ReleaseValue(&ids_);
    // The tables are the test's own; the universe's teardown must not free them.
    gDummyTable = {};
    for (auto& table : gObjectTypeTables) table = {};
    DestroyUniverse(&universe_);
    gUniverse = nullptr;
    SetFreedInstanceHook(nullptr);
    bodies_.Clear();
    while (ListNode* node = ListFirst(&engine_fixture_.engine().instances)) FreeInstance(InstanceOfNode(node));
    gSystem = nullptr;
    ScriptEngineTest::TearDown();
  }

  void Body(int32_t id, int32_t size) { ASSERT_TRUE(bodies_.Add(id, size)); }

  // A factory in the sector at (x, y, z) whose model carries the nodes (identity orientation).
  SpaceObject* Factory(int32_t x, int32_t y, int32_t z, const std::vector<Node>& nodes) {
    SpaceObject* f = AllocObjectRecord(kClassFactory);
    EXPECT_EQ(CreateObject(f, MakeTypeWord(kClassFactory, 0)), f);
    ObjAttachInstance(f, sector_);
    ObjSetPosition(f, x, y, z);
    for (const Node& n : nodes) {
      InstanceRecord* node = B3D_InstAlloc();
      node->bodyId = n.body;
      node->position = {n.x, n.y, n.z, 0};
      MatrixSetIdentity(&node->matrix);
      node->size = n.size;
      EXPECT_TRUE(B3D_InstAddToInst(node, f->instance));
    }
    return f;
  }

  static Node Dummy(int32_t x, int32_t y, int32_t z) { return {kDummyBody, x, y, z}; }

  void Ids(const std::vector<uint32_t>& ids) {
    ReleaseValue(&ids_);
    ASSERT_TRUE(AllocArrayValue(&ids_, static_cast<int32_t>(ids.size())));
    for (size_t i = 0; i < ids.size(); ++i) ArrayWriteInt(&ids_, static_cast<int32_t>(i), static_cast<int32_t>(ids[i]));
  }

  // Entry i of the answer as plain numbers.
  std::vector<int32_t> Entry(int32_t i) {
    std::vector<int32_t> out;
    ScriptValue* entry = ArrayElementPtr(&result_, i);
    if (!entry) return out;
    for (int32_t k = 0; k < GetArraySize(entry); ++k) out.push_back(ArrayElementPtr(entry, k)->i);
    return out;
  }

  // The link's pieces of one subtype, in the answer's order.
  std::vector<SpaceObject*> Pieces(int32_t i, int16_t subtype) {
    std::vector<SpaceObject*> out;
    const std::vector<int32_t> entry = Entry(i);
    for (size_t k = 2; k < entry.size(); ++k) {
      SpaceObject* o = FindObjectById(&universe_, static_cast<uint32_t>(entry[k]));
      EXPECT_NE(o, nullptr);
      if (o && o->objClass == kClassSpecial && o->subtype == subtype) out.push_back(o);
    }
    return out;
  }

  EngineFixture engine_fixture_;
  SystemBlock system_{};
  UniverseBlock universe_{};
  SectorObject* sector_ = nullptr;
  ScriptValue ids_{};
  ScriptValue result_{};

 private:
  CachedBodies bodies_;
  std::vector<ObjectTypeRecord> specials_;
  std::vector<ObjectTypeRecord> factories_;
  std::vector<DummyRow> dummies_;
};

// The point of a dummy node with an identity world matrix faces along its pitched forward axis.
FixedMatrix DummyPointMatrix() {
  FixedMatrix m;
  MatrixFromAngles(&m, 0, 0x4000, 0);
  return m;
}

bool Near(int32_t a, int32_t b, int32_t tolerance) { return std::abs(a - b) <= tolerance; }

TEST_F(FactoryConnections, AnEmptyArrayGivesAnEmptyAnswer) {
  SpaceObject* base = Factory(0, 0, 0, {Dummy(0, 0, 0)});
  Ids({});
  const int before = static_cast<int>(HashCount(universe_.idHash));
  EXPECT_EQ(CreateFactoryConnections(base, &ids_, &result_), 1);
  EXPECT_EQ(result_.type, kValueArray);
  EXPECT_EQ(GetArraySize(&result_), 0);
  EXPECT_EQ(static_cast<int>(HashCount(universe_.idHash)), before);
}

TEST_F(FactoryConnections, AOneDummyFactoryTakesTwoLinksAtOnePlace) {
  SpaceObject* base = Factory(0, 0, 0, {Dummy(0, 0, 0)});
  SpaceObject* east = Factory(5000, 0, 0, {Dummy(0, 0, 0)});
  SpaceObject* west = Factory(-6000, 0, 0, {Dummy(0, 0, 0)});
  Ids({east->id, west->id});
  ASSERT_EQ(CreateFactoryConnections(base, &ids_, &result_), 1);
  ASSERT_EQ(GetArraySize(&result_), 2);
  const std::vector<int32_t> a = Entry(0), b = Entry(1);
  ASSERT_GE(a.size(), 4u);
  ASSERT_GE(b.size(), 4u);
  EXPECT_EQ(a[0], static_cast<int32_t>(base->id));
  EXPECT_EQ(a[1], static_cast<int32_t>(east->id));
  EXPECT_EQ(b[0], static_cast<int32_t>(base->id));
  EXPECT_EQ(b[1], static_cast<int32_t>(west->id));
  // Both parent end pieces stand at the base's one place.
  const std::vector<SpaceObject*> ea = Pieces(0, kSubtypeParentEndPiece), eb = Pieces(1, kSubtypeParentEndPiece);
  ASSERT_EQ(ea.size(), 1u);
  ASSERT_EQ(eb.size(), 1u);
  EXPECT_EQ(ea[0]->instance->position.x, eb[0]->instance->position.x);
  EXPECT_EQ(ea[0]->instance->position.y, eb[0]->instance->position.y);
  for (SpaceObject* piece : {ea[0], eb[0]}) EXPECT_EQ(piece->parent, sector_) << "in the base's container";
}

TEST_F(FactoryConnections, EqualLinksGoToTheFirstPointAndEveryPointCarriesOne) {
  // Two base points at x = -1000 and +1000; the first factory lies as far from each.
  SpaceObject* base = Factory(0, 0, 0, {Dummy(-1000, 0, 0), Dummy(1000, 0, 0)});
  SpaceObject* first = Factory(0, 0, 8000, {Dummy(0, 0, 0)});
  SpaceObject* second = Factory(0, 0, -8000, {Dummy(0, 0, 0)});
  SpaceObject* third = Factory(0, 0, -9500, {Dummy(0, 0, 0)});
  Ids({first->id, second->id, third->id});
  ASSERT_EQ(CreateFactoryConnections(base, &ids_, &result_), 1);
  const std::vector<SpaceObject*> end = Pieces(0, kSubtypeParentEndPiece);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0]->instance->position.x, -1000) << "of equal links the first point's wins";
  EXPECT_EQ(Entry(1)[0], static_cast<int32_t>(base->id)) << "the other base point";
  const std::vector<SpaceObject*> secondEnd = Pieces(1, kSubtypeParentEndPiece);
  ASSERT_EQ(secondEnd.size(), 1u);
  EXPECT_EQ(secondEnd[0]->instance->position.x, 1000);
  // Both base points are taken: the third hangs on the second's free point.
  EXPECT_EQ(Entry(2)[0], static_cast<int32_t>(second->id));
}

TEST_F(FactoryConnections, TubeSegmentsSpanTheLinkExactly) {
  SpaceObject* base = Factory(0, 0, 0, {Dummy(0, 0, 0)});
  SpaceObject* far = Factory(10000, 0, 0, {Dummy(0, 0, 0)});
  Ids({far->id});
  ASSERT_EQ(CreateFactoryConnections(base, &ids_, &result_), 1);

  const FixedMatrix point = DummyPointMatrix();
  const FixedVector direction{point.m[2][0], point.m[2][1], point.m[2][2], 0};
  const FixedVector from{FixedMul(direction.x, 2 * kEndSize), FixedMul(direction.y, 2 * kEndSize),
                         FixedMul(direction.z, 2 * kEndSize), 0};
  const double length = 10000.0;  // both tube ends lie the same way out from their points
  const double g = 2.0 * kSegmentSize - 0.06 * kSegmentSize;
  const int32_t count = static_cast<int32_t>(std::ceil(length / g));
  const double q = length / count;
  const auto stretch = static_cast<int32_t>(q / g * kFixedOne);

  const std::vector<SpaceObject*> segments = Pieces(0, kSubtypeTubeSegment);
  ASSERT_EQ(static_cast<int32_t>(segments.size()), count);
  ASSERT_EQ(Entry(0).size(), static_cast<size_t>(count + 4)) << "two end pieces and the segments";
  std::vector<int32_t> xs;
  for (SpaceObject* s : segments) {
    EXPECT_EQ(s->instance->scale.x, kFixedOne);
    EXPECT_EQ(s->instance->scale.y, kFixedOne);
    EXPECT_EQ(s->instance->scale.z, stretch);
    EXPECT_LE(s->instance->scale.z, kFixedOne) << "never stretched beyond its size";
    EXPECT_EQ(s->instance->position.y, from.y);
    xs.push_back(s->instance->position.x);
  }
  std::sort(xs.begin(), xs.end());
  EXPECT_EQ(xs.front(), static_cast<int32_t>(q / 2));
  EXPECT_EQ(xs.back(), static_cast<int32_t>(q * (count - 0.5)));
  // Stretched segments placed q apart cover the tube from end to end.
  EXPECT_NEAR((xs.back() - xs.front()) + q, length, 1.0);
  EXPECT_NEAR(count * g * stretch / kFixedOne, length, 1.0);
}

TEST_F(FactoryConnections, TheChildsEndPieceIsTurnedHalfATurn) {
  // Three-point hubs: every pair of points is as long, so both links use point 0, which faces
  // along the hub's forward axis with the hub's own orientation.
  SpaceObject* base = Factory(0, 0, 0, {{kConnectorBodyThree, 0, 0, 0}});
  SpaceObject* other = Factory(0, 0, 4000, {{kConnectorBodyThree, 0, 0, 0}});
  Ids({other->id});
  ASSERT_EQ(CreateFactoryConnections(base, &ids_, &result_), 1);
  const std::vector<SpaceObject*> parentEnd = Pieces(0, kSubtypeParentEndPiece);
  const std::vector<SpaceObject*> childEnd = Pieces(0, kSubtypeChildEndPiece);
  ASSERT_EQ(parentEnd.size(), 1u);
  ASSERT_EQ(childEnd.size(), 1u);
  const FixedMatrix& p = parentEnd[0]->instance->matrix;
  const FixedMatrix& c = childEnd[0]->instance->matrix;
  const int32_t identity[3][3] = {{kFixedOne, 0, 0}, {0, kFixedOne, 0}, {0, 0, kFixedOne}};
  const int32_t turned[3][3] = {{-kFixedOne, 0, 0}, {0, kFixedOne, 0}, {0, 0, -kFixedOne}};
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 3; ++k) {
      EXPECT_TRUE(Near(p.m[r][k], identity[r][k], 4)) << "parent's piece keeps its point's turn " << r << k;
      EXPECT_TRUE(Near(c.m[r][k], turned[r][k], 4)) << "child's piece turned half a turn " << r << k;
    }
  }
  EXPECT_EQ(parentEnd[0]->instance->position.z, kEndSize);
  EXPECT_EQ(childEnd[0]->instance->position.z, 4000 + kEndSize);
}

TEST_F(FactoryConnections, ConnectorNodesGiveTheirFixedPoints) {
  struct Case {
    int32_t body;
    int hanging;  // links the base's points can take
  };
  int32_t round = 0;
  for (const Case& c : {Case{kConnectorBodyFour, 4}, Case{kConnectorBodyThree, 3}}) {
    // A dummy before the hub is replaced by the hub's points, all at the hub's centre. Five
    // factories stand around the base farther from each other than from it, so each base
    // point takes one link until none is left.
    const int32_t y = 1000000 * ++round;
    SpaceObject* base = Factory(0, y, 0, {Dummy(500, 0, 0), {c.body, 0, 0, 0}});
    std::vector<uint32_t> ids;
    for (int k = 0; k < 5; ++k) {
      const double angle = k * 2.0 * M_PI / 5.0;
      ids.push_back(Factory(static_cast<int32_t>(50000 * std::cos(angle)), y, static_cast<int32_t>(50000 * std::sin(angle)),
                            {Dummy(0, 0, 0)})
                        ->id);
    }
    Ids(ids);
    ASSERT_EQ(CreateFactoryConnections(base, &ids_, &result_), 1);
    int hanging = 0;
    for (int k = 0; k < 5; ++k) {
      EXPECT_NE(Entry(k)[0], 0) << k;
      hanging += Entry(k)[0] == static_cast<int32_t>(base->id) ? 1 : 0;
    }
    EXPECT_EQ(hanging, c.hanging) << c.body;
  }
}

TEST_F(FactoryConnections, BrokenInputFinishesWithWhatItCan) {
  // A factory with 33 connection dummies: only 32 count, and the 33rd, nearest the base, is
  // never used.
  std::vector<Node> many;
  for (int k = 0; k < 32; ++k) many.push_back(Dummy(1000 + 100 * k, 0, 0));
  many.push_back(Dummy(-2000, 0, 0));
  SpaceObject* base = Factory(0, 0, 0, {Dummy(0, 0, 0)});
  SpaceObject* crowded = Factory(5000, 0, 0, many);
  SpaceObject* same = Factory(0, 0, 0, {Dummy(0, 0, 0)});      // its tube ends meet the base's
  SpaceObject* lonely = Factory(90000, 0, 0, {});               // no points: no link
  Ids({9999, crowded->id, same->id, lonely->id});
  ASSERT_EQ(CreateFactoryConnections(base, &ids_, &result_), 1);
  ASSERT_EQ(GetArraySize(&result_), 4);
  EXPECT_EQ(Entry(0), (std::vector<int32_t>{0, 0})) << "an id that names no object";
  const std::vector<SpaceObject*> crowdedEnd = Pieces(1, kSubtypeChildEndPiece);
  ASSERT_EQ(crowdedEnd.size(), 1u);
  EXPECT_EQ(crowdedEnd[0]->instance->position.x, 5000 + 1000) << "the nearest of the 32";
  const std::vector<int32_t> sameEntry = Entry(2);
  ASSERT_EQ(sameEntry.size(), 4u) << "ends at one place: end pieces, no segments";
  EXPECT_EQ(sameEntry[0], static_cast<int32_t>(base->id));
  EXPECT_EQ(Entry(3), (std::vector<int32_t>{0, static_cast<int32_t>(lonely->id)}));
  EXPECT_EQ(CreateFactoryConnections(base, nullptr, &result_), 1);
  EXPECT_EQ(GetArraySize(&result_), 0) << "no array counts as empty";
}

}  // namespace
