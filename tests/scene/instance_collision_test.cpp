// Instance collision and vertex queries over hand-built bodies: making models (the BodyData
// collision setting, bodies without colliding faces, stand-in shapes), the tree tests with their
// box pre-test, the sweep, and the vertex queries with the random pick.
#include "scene/instance_collision.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/body_records.h"
#include "scene/body_text.h"
#include "scene/collision_model.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "support/engine_fixture.h"

namespace {

// One hand-built body: meshes of vertices, each with one render group of one face group.
struct HandBody {
  std::vector<std::vector<BodyVertex>> vertices;
  std::vector<std::vector<BodyTriangle>> faces;
  std::vector<FaceGroup> groups;
  std::vector<BodyPart> parts;
  std::vector<BodyPart*> partPointers;
  std::vector<BodyMesh> meshes;
  std::vector<BodyMesh*> meshPointers;
  BodyRecord body{};
};

// A cube of half size h (vertex units), twelve faces.
void CubeMesh(int16_t h, std::vector<BodyVertex>* v, std::vector<BodyTriangle>* f) {
  for (int i = 0; i < 8; ++i) {
    BodyVertex vertex{};
    vertex.x = (i & 1) ? h : static_cast<int16_t>(-h);
    vertex.y = (i & 2) ? h : static_cast<int16_t>(-h);
    vertex.z = (i & 4) ? h : static_cast<int16_t>(-h);
    v->push_back(vertex);
  }
  const int faces[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 7, 5}, {4, 6, 7}, {0, 5, 1}, {0, 4, 5},
                            {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
  for (const auto& face : faces) f->push_back({{face[0], face[1], face[2]}, 0});
}

class InstanceCollision : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMathTables();
    rows_.assign(kBodyDataFixedRows, BodyDataRow{-2, -2, -1, nullptr, 0, 0, 0});
    fixture_.engine().bodyDataRows = rows_.data();
    fixture_.engine().bodyDataFixedRows = kBodyDataFixedRows;
    fixture_.engine().bodyDataAddedRows = 0;
    ResetCollisionTestState();
  }
  void TearDown() override {
    for (auto& b : bodies_) {
      FreeCollisionModel(b->body.collision);
      HashRemove(fixture_.engine().bodyCache, static_cast<uint32_t>(b->body.id) + 1);
    }
    fixture_.engine().bodyDataRows = nullptr;
  }

  // A body of `meshCount` cube meshes; `blended` marks its face groups not colliding.
  BodyRecord* Cube(int32_t id, int16_t half = 4096, bool blended = false, int meshCount = 1) {
    auto b = std::make_unique<HandBody>();
    b->vertices.resize(meshCount);
    b->faces.resize(meshCount);
    b->groups.resize(meshCount);
    b->parts.resize(meshCount);
    b->meshes.resize(meshCount);
    for (int m = 0; m < meshCount; ++m) CubeMesh(half, &b->vertices[m], &b->faces[m]);
    return Finish(std::move(b), id, blended);
  }

  // A body whose one mesh holds the given vertices and no faces.
  BodyRecord* Points(int32_t id, const std::vector<BodyVertex>& vertices) {
    auto b = std::make_unique<HandBody>();
    b->vertices = {vertices};
    b->faces.resize(1);
    b->groups.resize(1);
    b->parts.resize(1);
    b->meshes.resize(1);
    return Finish(std::move(b), id, false);
  }

  BodyRecord* Finish(std::unique_ptr<HandBody> b, int32_t id, bool blended) {
    const size_t n = b->meshes.size();
    for (size_t m = 0; m < n; ++m) {
      b->groups[m] = FaceGroup{};
      b->groups[m].triangleCount = static_cast<int32_t>(b->faces[m].size());
      b->groups[m].triangles = b->faces[m].data();
      b->groups[m].blended = blended ? 1 : 0;
      b->parts[m] = BodyPart{};
      b->parts[m].groupCount = 1;
      b->parts[m].groups = &b->groups[m];
    }
    for (size_t m = 0; m < n; ++m) b->partPointers.push_back(&b->parts[m]);
    for (size_t m = 0; m < n; ++m) {
      b->meshes[m] = BodyMesh{};
      b->meshes[m].vertexCount = static_cast<int32_t>(b->vertices[m].size());
      b->meshes[m].vertices = b->vertices[m].data();
      b->meshes[m].partCount = 1;
      b->meshes[m].parts = &b->partPointers[m];
    }
    for (size_t m = 0; m < n; ++m) b->meshPointers.push_back(&b->meshes[m]);
    b->body.id = id;
    b->body.meshCount = static_cast<int16_t>(n);
    b->body.meshes = b->meshPointers.data();
    EXPECT_TRUE(BodyCacheInsert(id, &b->body));
    bodies_.push_back(std::move(b));
    return &bodies_.back()->body;
  }

  // A free-standing instance of the body at a world position; size 1.0, total size `total`.
  InstanceRecord* Instance(int32_t bodyId, FixedVector world, int32_t total = 20000) {
    auto instance = std::make_unique<InstanceRecord>();
    ListInit(&instance->children);
    instance->bodyId = bodyId;
    instance->position = world;
    instance->world = world;
    MatrixSetIdentity(&instance->matrix);
    MatrixSetIdentity(&instance->worldMatrix);
    instance->size = kFixedOne;
    instance->scaledSize = total;
    instance->subtreeSize = -1;
    instances_.push_back(std::move(instance));
    return instances_.back().get();
  }

  void AddChild(InstanceRecord* parent, InstanceRecord* child) {
    child->parent = parent;
    ListAddTail(&parent->children, &child->node);
    InstInvalidateSize(parent);
  }

  EngineFixture fixture_;
  std::vector<BodyDataRow> rows_;
  std::vector<std::unique_ptr<HandBody>> bodies_;
  std::vector<std::unique_ptr<InstanceRecord>> instances_;
};

TEST_F(InstanceCollision, CollisionBoxFollowsTheCollisionSetting) {
  struct Case {
    const char* name;
    int32_t setting;  // the row's word 1
    bool blended;
    int32_t level;
    bool made;
    int32_t levelStored;
    int32_t settingAfter;
  };
  const Case kCases[] = {
      {"default keeps the level", -2, false, 1, true, 1, -2},
      {"setting overrides the level", 0x301, false, 0, true, 1, 0x301},
      {"none", -1, false, 0, false, 0, -1},
      {"blended faces only", -2, true, 0, false, 0, -1},
      {"0x100 forces every face", 0x100, true, 0, true, 0, 0x100},
  };
  int32_t id = 10;
  for (const Case& c : kCases) {
    BodyRecord* body = Cube(id, 4096, c.blended, 2);
    rows_[id].value1 = c.setting;
    InstanceRecord* inst = Instance(id, {0, 0, 0, 0});
    B3D_InstMakeRapidBox(inst, c.level);
    EXPECT_EQ((inst->flags & kInstCollisionMade) != 0, c.made) << c.name;
    EXPECT_EQ(body->collision != nullptr, c.made) << c.name;
    if (c.made) {
      EXPECT_EQ(inst->collisionLevel, c.levelStored) << c.name;
      EXPECT_EQ(body->collision->triangleCount, 12) << c.name;
      EXPECT_EQ(body->collision->state, kModelBuilt) << c.name;
    }
    EXPECT_EQ(rows_[id].value1, c.settingAfter) << c.name;
    EXPECT_EQ(inst->flags & kInstNoSweepHit, 0u) << c.name;
    ++id;
  }
}

TEST_F(InstanceCollision, BodyWithoutCollidingFacesIsRememberedAndSkipped) {
  // With a row: the setting becomes none, so a later request returns at once even when the faces
  // would collide by then.
  BodyRecord* body = Cube(20, 4096, true);
  InstanceRecord* inst = Instance(20, {0, 0, 0, 0});
  B3D_InstMakeRapidBox(inst, 0);
  EXPECT_EQ(rows_[20].value1, kCollisionSettingNone);
  bodies_.back()->groups[0].blended = 0;
  B3D_InstMakeRapidBox(inst, 0);
  EXPECT_EQ(body->collision, nullptr);
  EXPECT_EQ(inst->flags & kInstCollisionMade, 0u);

  // Id 1000 names no row: the instance itself is marked and every later test passes it by.
  Cube(1000, 4096, true);
  Cube(21);
  InstanceRecord* rowless = Instance(1000, {0, 0, 0, 0});
  InstanceRecord* other = Instance(21, {100, 0, 0, 0});
  B3D_InstMakeRapidBox(rowless, 0);
  EXPECT_NE(rowless->flags & kInstNoSweepHit, 0u);
  bodies_[1]->groups[0].blended = 0;
  B3D_InstMakeRapidBox(rowless, 0);
  EXPECT_EQ(bodies_[1]->body.collision, nullptr);
  rowless->flags |= kInstCollisionMade;  // even a model flag does not bring it back
  B3D_InstMakeRapidBox(other, 0);
  ResetCollisionTestState();
  EXPECT_EQ(InstCollideWith(other, rowless, 0, 0), 0);
  EXPECT_EQ(gCollisionTest.boxTests, 0);
  const FixedVector through{-100000, 0, 0, 0};
  InstanceRecord* mover = Instance(21, {100000, 0, 0, 0});
  EXPECT_FALSE(InstSweepCollide(mover, &through, rowless, false));
}

TEST_F(InstanceCollision, StandInShapes) {
  struct Case {
    const char* name;
    void (*make)(InstanceRecord*, int32_t, int32_t, int32_t);
    int32_t faces;
  };
  const Case kCases[] = {{"two triangles", InstMakeTwoTriangleCollision, 2},
                         {"octahedron", InstMakeOctahedronCollision, 8}};
  int32_t id = 30;
  for (const Case& c : kCases) {
    BodyRecord* body = Points(id, {});
    InstanceRecord* inst = Instance(id, {0, 0, 0, 0});
    c.make(inst, kFixedOne, 2 * kFixedOne, 3 * kFixedOne);
    ASSERT_NE(body->collision, nullptr) << c.name;
    EXPECT_EQ(body->collision->triangleCount, c.faces) << c.name;
    for (int32_t i = 0; i < c.faces; ++i) EXPECT_EQ(body->collision->triangles[i].id, i) << c.name;
    EXPECT_NE(inst->flags & kInstCollisionMade, 0u) << c.name;
    // A body that has a model keeps it.
    CollisionModel* first = body->collision;
    c.make(inst, kFixedOne, kFixedOne, kFixedOne);
    EXPECT_EQ(body->collision, first) << c.name;
    ++id;
  }
}

TEST_F(InstanceCollision, TreeTestsWithBoxPreTest) {
  // Cubes of half size 4096 vertex units: 16384 world units, total size 20000.
  Cube(40);
  struct Case {
    const char* name;
    int32_t x;  // b's offset along x
    int32_t hits;
    bool reachesModels;
  };
  const Case kCases[] = {
      {"overlapping", 30000, 1, true},
      {"apart, boxes reached", 36000, 0, true},
      {"beyond both total sizes", 40000, 0, false},
  };
  for (const Case& c : kCases) {
    InstanceRecord* a = Instance(40, {0, 0, 0, 0});
    InstanceRecord* b = Instance(40, {c.x, 0, 0, 0});
    B3D_InstMakeRapidBox(a, 0);
    B3D_InstMakeRapidBox(b, 0);
    ResetCollisionTestState();
    EXPECT_EQ(InstCollideWith(a, b, 0, 0), c.hits) << c.name;
    EXPECT_EQ(gCollisionTest.boxTests > 0, c.reachesModels) << c.name;
    EXPECT_EQ(b->contactPartner, c.hits ? b : nullptr) << c.name;
  }

  // A hit on a child is reported with the child and its contact moved into the parent's frame.
  InstanceRecord* a = Instance(40, {0, 0, 0, 0});
  InstanceRecord* holder = Instance(-1, {30000, 0, 0, 0}, 0);
  InstanceRecord* child = Instance(40, {30000, 0, 0, 0});
  child->position = {0, 0, 0, 0};
  AddChild(holder, child);
  B3D_InstMakeRapidBox(a, 0);
  B3D_InstMakeRapidBox(child, 0);
  EXPECT_EQ(InstCollideWith(a, holder, 0, 0), 1);
  EXPECT_EQ(holder->contactPartner, child);
  EXPECT_EQ(a->contactPartner, a);
  // The contact lies on the child's cube, which sits at the holder's origin.
  EXPECT_LE(std::abs(holder->contact.x), 16384);
  EXPECT_EQ(child->contact.x, holder->contact.x);

  // The body test with the nearest-contact modes answers the instance hit.
  InstanceRecord* near = Instance(40, {30000, 0, 0, 0});
  B3D_InstMakeRapidBox(near, 0);
  EXPECT_TRUE(InstCollide(a, near, 2 * kFixedOne, 0));
  EXPECT_EQ(near->contactPartner, near);
  // The depth along a's third axis, in world units: within the cubes' half size.
  EXPECT_LE(std::abs(a->contact.z), 16384);
  InstanceRecord* far = Instance(40, {90000, 0, 0, 0});
  B3D_InstMakeRapidBox(far, 0);
  EXPECT_FALSE(InstCollide(a, far, 2 * kFixedOne, 0));
}

TEST_F(InstanceCollision, SweepFromInsideHitsOnlyWhenForced) {
  Cube(50);
  InstanceRecord* target = Instance(50, {0, 0, 0, 0});
  B3D_InstMakeRapidBox(target, 0);
  struct Case {
    const char* name;
    FixedVector from, to;
    int32_t moverTotal;  // the probe's pre-test reach
    bool forced;
    bool hit;
  };
  // Each mover has its own body: the probe model is made once per body, from its first step.
  const Case kCases[] = {
      {"starts inside", {0, 0, 5000, 0}, {0, 0, -100000, 0}, 10, false, false},
      {"starts inside, forced", {0, 0, 5000, 0}, {0, 0, -100000, 0}, 10, true, true},
      {"passes through", {0, 0, 100000, 0}, {0, 0, -100000, 0}, 100000, false, true},
      {"stops short", {0, 0, 100000, 0}, {0, 0, 60000, 0}, 100000, false, false},
      {"passes by", {100000, 0, 50000, 0}, {-100000, 0, 50000, 0}, 100000, false, false},
  };
  int32_t id = 51;
  for (const Case& c : kCases) {
    Points(id, {});
    InstanceRecord* mover = Instance(id++, c.from, c.moverTotal);
    EXPECT_EQ(InstSweepCollide(mover, &c.to, target, c.forced), c.hit) << c.name;
  }
}

TEST_F(InstanceCollision, CollectVerticesInRadius) {
  // 1200 vertices along x, one vertex unit (four world units) apart; vertex 0 sits on the point.
  std::vector<BodyVertex> line(1200);
  for (int i = 0; i < 1200; ++i) line[i].x = static_cast<int16_t>(i);
  Points(60, line);
  InstanceRecord* root = Instance(60, {0, 0, 0, 0});
  std::vector<InstanceRecord*> found(kMaxVertexRecords);
  std::vector<int32_t> indices(kMaxVertexRecords), distances(kMaxVertexRecords);
  const FixedVector origin{0, 0, 0, 0};
  EXPECT_EQ(CollectVerticesInRadius(root, &origin, 100000, found.data(), indices.data(), distances.data()),
            kMaxVertexRecords);
  EXPECT_EQ(indices[0], 1);  // distance 0 is left out
  EXPECT_EQ(distances[0], 4);
  EXPECT_EQ(indices[999], 1000);
  EXPECT_EQ(CollectVerticesInRadius(root, &origin, 8, found.data(), indices.data(), distances.data()), 2);

  // Instances the queries skip.
  root->flags2 |= 0x10;
  EXPECT_EQ(CollectVerticesInRadius(root, &origin, 100000, found.data(), indices.data(), distances.data()), 0);
}

TEST_F(InstanceCollision, NearestVertex) {
  std::vector<BodyVertex> v(3);
  v[0].x = 100;
  v[1].x = 10;
  v[2].y = -10;
  Points(70, v);
  InstanceRecord* root = Instance(70, {1000, 0, 0, 0});
  InstanceRecord* child = Instance(70, {1000 + 40, 0, 0, 0});
  child->position = {40, 0, 0, 0};
  AddChild(root, child);
  const FixedVector point{84, 0, 0, 0};
  InstanceRecord* which = nullptr;
  int32_t index = -1;
  ASSERT_TRUE(FindNearestVertexInTree(root, &point, &which, &index));
  // In the child's frame the point is at 44, right on vertex 1 (40).
  EXPECT_EQ(which, child);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(B3D_InstDistanceToNearestVertex(root, &point), 44);
  InstanceRecord* bodiless = Instance(-1, {0, 0, 0, 0});
  EXPECT_EQ(B3D_InstDistanceToNearestVertex(bodiless, &point), -1);
}

TEST_F(InstanceCollision, PickRandomInstancePoint) {
  std::vector<BodyVertex> v(10);
  for (int i = 0; i < 10; ++i) v[i].x = static_cast<int16_t>(i);
  Points(80, v);
  Points(81, v);
  InstanceRecord* root = Instance(80, {0, 0, 0, 0}, 100);
  InstanceRecord* child = Instance(81, {0, 0, 0, 0}, 50);
  AddChild(root, child);
  InstanceRecord* which = nullptr;
  int32_t index = -1;
  FixedVector point{1, 1, 1, 1};

  // No candidate: every instance has the excluded flag.
  root->flags |= 0x4000;
  child->flags |= 0x4000;
  EXPECT_FALSE(PickRandomInstancePoint(root, 0x4000, 0, 0, true, 0, &which, &index, &point));
  root->flags = child->flags = 0;

  // Seed 1 draws 41 then 18467: of 150 entries (root 100, child 50) entry 0, then vertex 5 of 10.
  GameSrand(1);
  ASSERT_TRUE(PickRandomInstancePoint(root, 0, 0, 0, false, 0, &which, &index, &point));
  EXPECT_EQ(which, root);
  EXPECT_EQ(index, 5);
  EXPECT_EQ(point.x, 20);
  EXPECT_EQ(point.w, 0);

  // A child far larger than the root's stale total size weighs in without any table of entries.
  root->subtreeSize = 1;
  child->subtreeSize = 0x7FFFFFFF;
  GameSrand(1);
  ASSERT_TRUE(PickRandomInstancePoint(root, 0, 0, 0, false, 0, &which, &index, &point));
  EXPECT_EQ(which, child);
}

TEST_F(InstanceCollision, FreeingABodyFreesItsModel) {
  const uint32_t start = MemGetCurrentBytes();
  BodyRecord* body = NewBodyRecord(90);
  ASSERT_NE(body, nullptr);
  body->collision = NewCollisionModel();
  const float a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
  CollisionModelAddTriangle(body->collision, a, b, c, 0);
  ASSERT_EQ(CollisionModelFinish(body->collision), kCollideDone);
  FreeBody(body);
  EXPECT_EQ(MemGetCurrentBytes(), start);
}

}  // namespace
