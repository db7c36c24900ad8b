// Box-tree collision models: build result codes, tree shape, the box separating-axis test, the
// contact modes, the view-volume helpers, and a randomized comparison of the tree test with a
// brute-force triangle pair test.
#include "scene/collision_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Tri = CollisionTriangle;

constexpr float kIdentity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
constexpr float kOrigin[3] = {0, 0, 0};

struct ModelDeleter {
  void operator()(CollisionModel* m) const { FreeCollisionModel(m); }
};
using ModelPtr = std::unique_ptr<CollisionModel, ModelDeleter>;

ModelPtr Build(const std::vector<Tri>& tris) {
  ModelPtr model(NewCollisionModel());
  for (const Tri& t : tris) EXPECT_EQ(CollisionModelAddTriangle(model.get(), t.a, t.b, t.c, t.id), kCollideDone);
  ::testing::internal::CaptureStderr();  // zero-area warnings of degenerate fixtures
  EXPECT_EQ(CollisionModelFinish(model.get()), kCollideDone);
  ::testing::internal::GetCapturedStderr();
  return model;
}

int32_t Collide(int32_t flags, int32_t limit, CollisionModel* m1, CollisionModel* m2, const float t2[3],
                float distanceLimit = 0, float* slot = nullptr, const float r2[3][3] = kIdentity, float s2 = 1) {
  return CollisionModelsCollide(flags, limit, kIdentity, kOrigin, 1, m1, r2, t2, s2, m2, distanceLimit, slot);
}

// A closed cuboid of 12 triangles with the given half extents, centred on the origin.
std::vector<Tri> Cuboid(float hx, float hy, float hz) {
  const float c[8][3] = {{-hx, -hy, -hz}, {hx, -hy, -hz}, {hx, hy, -hz}, {-hx, hy, -hz},
                         {-hx, -hy, hz},  {hx, -hy, hz},  {hx, hy, hz},  {-hx, hy, hz}};
  const int f[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 6, 5}, {4, 7, 6}, {0, 5, 1}, {0, 4, 5},
                        {3, 2, 6}, {3, 6, 7}, {0, 3, 7}, {0, 7, 4}, {1, 5, 6}, {1, 6, 2}};
  std::vector<Tri> tris;
  for (int i = 0; i < 12; ++i) {
    Tri t{i, {}, {}, {}};
    for (int k = 0; k < 3; ++k) {
      t.a[k] = c[f[i][0]][k];
      t.b[k] = c[f[i][1]][k];
      t.c[k] = c[f[i][2]][k];
    }
    tris.push_back(t);
  }
  return tris;
}

void RotationX(float angle, float r[3][3]) {
  const float c = std::cos(angle), s = std::sin(angle);
  const float m[3][3] = {{1, 0, 0}, {0, c, -s}, {0, s, c}};
  std::memcpy(r, m, sizeof m);
}

void RotationY(float angle, float r[3][3]) {
  const float c = std::cos(angle), s = std::sin(angle);
  const float m[3][3] = {{c, 0, s}, {0, 1, 0}, {-s, 0, c}};
  std::memcpy(r, m, sizeof m);
}

TEST(CollisionModel, BuildStepsOutOfSequence) {
  ResetCollisionTestState();
  const float a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
  ModelPtr built = Build({{7, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}});
  EXPECT_EQ(CollisionModelAddTriangle(built.get(), a, b, c, 8), kCollideOutOfSequence);
  EXPECT_EQ(built->triangleCount, 1);
  EXPECT_EQ(built->state, kModelBuilt);

  ModelPtr empty(NewCollisionModel());
  EXPECT_EQ(empty->state, kModelBuilding);
  EXPECT_EQ(CollisionModelBegin(empty.get()), kCollideOutOfSequence);  // already being built
  EXPECT_EQ(CollisionModelFinish(empty.get()), kCollideNoTriangles);
  EXPECT_EQ(empty->state, kModelBuilding);
  EXPECT_EQ(empty->boxes, nullptr);
  EXPECT_EQ(Collide(0, 0, built.get(), empty.get(), kOrigin), kCollideModelNotBuilt);
  EXPECT_EQ(Collide(0, 0, empty.get(), built.get(), kOrigin), kCollideModelNotBuilt);
  EXPECT_EQ(CollisionContactCount(), 0);

  // A built model begins again without complaint and takes triangles.
  EXPECT_EQ(CollisionModelBegin(built.get()), kCollideDone);
  EXPECT_EQ(built->triangleCount, 0);
  EXPECT_EQ(CollisionModelAddTriangle(built.get(), a, b, c, 8), kCollideDone);
}

TEST(CollisionModel, TriangleArrayDoublesAndBoxesAreTwoNMinusOne) {
  std::vector<Tri> tris;
  for (int i = 0; i < 5; ++i) tris.push_back({i, {float(i), 0, 0}, {float(i) + 1, 0, 0}, {float(i), 1, 0.5f * i}});
  ModelPtr model = Build(tris);
  EXPECT_EQ(model->triangleCapacity, 8);
  EXPECT_EQ(model->boxCount, 9);
  // Every triangle is reached by exactly one leaf.
  std::vector<int> seen(5, 0);
  for (int i = 0; i < model->boxCount; ++i) {
    const CollisionBox& box = model->boxes[i];
    if (!box.p) ++seen.at(box.triangle->id);
  }
  EXPECT_EQ(seen, std::vector<int>(5, 1));
}

TEST(CollisionModel, CountsTooLargeForTheirFieldsFailAsOutOfMemory) {
  // The counts are faked: the checks must answer before any block is sized from them.
  ModelPtr model = Build({{0, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}});
  ASSERT_EQ(CollisionModelBegin(model.get()), kCollideDone);
  const float a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
  ASSERT_EQ(CollisionModelAddTriangle(model.get(), a, b, c, 0), kCollideDone);
  CollisionTriangle* held = model->triangles;
  model->triangleCount = model->triangleCapacity = 0x40000001;  // doubling would pass 2^31
  EXPECT_EQ(CollisionModelAddTriangle(model.get(), a, b, c, 1), kCollideOutOfMemory);
  EXPECT_EQ(model->triangles, held);
  EXPECT_EQ(CollisionModelFinish(model.get()), kCollideOutOfMemory);  // 2n - 1 boxes pass 2^31
  EXPECT_EQ(model->boxes, nullptr);
  EXPECT_EQ(model->state, kModelBuilding);
  model->triangleCount = model->triangleCapacity = 1;
}

TEST(CollisionModel, TwoTrianglesGiveOneLeafEachInListOrder) {
  // The second triangle lies wholly on the low side of the major axis, yet still goes second.
  ModelPtr model = Build({{10, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}}, {11, {-6, 0, 0}, {-5, 0, 0}, {-6, 1, 0}}});
  ASSERT_EQ(model->boxCount, 3);
  const CollisionBox& root = model->boxes[0];
  ASSERT_EQ(root.p, &model->boxes[1]);
  ASSERT_EQ(root.n, &model->boxes[2]);
  EXPECT_EQ(root.triangle, nullptr);
  EXPECT_EQ(root.p->triangle->id, 10);
  EXPECT_EQ(root.n->triangle->id, 11);
  EXPECT_EQ(root.p->p, nullptr);
  EXPECT_EQ(root.n->n, nullptr);
}

TEST(CollisionModel, CentroidsOnOneSideCutTheListInHalf) {
  // Three triangles whose centroids all sit at the origin: none falls below the dividing value,
  // so the first one (three halved) goes to P and the other two to N.
  ModelPtr model = Build({{20, {3, 0, 0}, {-1.5f, 1, 0}, {-1.5f, -1, 0}},
                          {21, {0, 2, 0}, {0, -1, 1}, {0, -1, -1}},
                          {22, {1, 0, 1}, {-1, 0, 1}, {0, 0, -2}}});
  const CollisionBox& root = model->boxes[0];
  ASSERT_NE(root.p, nullptr);
  ASSERT_NE(root.p->triangle, nullptr);
  EXPECT_EQ(root.p->triangle->id, 20);
  ASSERT_NE(root.n->p, nullptr);
  EXPECT_EQ(root.n->p->triangle->id, 21);
  EXPECT_EQ(root.n->n->triangle->id, 22);
}

TEST(CollisionModel, EdgeCrossAxisAloneSeparatesBoxes) {
  // Unit cubes, one with a ridge along x on top (turned about x), the other with a ridge along y
  // underneath (turned about y), stacked so the ridges cross with a gap.
  const float quarter = 0.78539819f;
  float ra[3][3], rb[3][3], rel[3][3];
  RotationX(quarter, ra);
  RotationY(quarter, rb);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) rel[i][j] = ra[0][i] * rb[0][j] + ra[1][i] * rb[1][j] + ra[2][i] * rb[2][j];
  const float half[3] = {1, 1, 1};
  struct Case {
    float gap;
    int32_t axis;
  };
  const Case kCases[] = {{0.1f, 8}, {-0.1f, 0}};  // 8: a's x crossed with b's y
  for (const Case& c : kCases) {
    const float world[3] = {0, 0, 2 * std::sqrt(2.0f) + c.gap};
    float t[3];
    for (int i = 0; i < 3; ++i) t[i] = ra[0][i] * world[0] + ra[1][i] * world[1] + ra[2][i] * world[2];
    EXPECT_EQ(BoxesSeparated(rel, t, half, half), c.axis) << "gap " << c.gap;
  }

  // The same through whole models: no contact although boxes were tested, and a contact once the
  // ridges cross.
  ModelPtr a = Build(Cuboid(1, 1.25f, 1.5f));
  ModelPtr b = Build(Cuboid(1, 1.25f, 1.5f));
  for (const Case& c : kCases) {
    const float t2[3] = {0, 0, (1.25f + 1.5f) / std::sqrt(2.0f) + (1 + 1.5f) / std::sqrt(2.0f) + c.gap};
    ASSERT_EQ(CollisionModelsCollide(0, 0, ra, kOrigin, 1, a.get(), rb, t2, 1, b.get(), 0, nullptr), kCollideDone);
    EXPECT_GT(gCollisionTest.boxTests, 0);
    EXPECT_EQ(CollisionContactCount() > 0, c.axis == 0) << "gap " << c.gap;
  }
}

// A tall thin triangle on the first model's third axis and a flat one crossing it at height h:
// the contact's depth along the third axis is h.
TEST(CollisionModel, ContactModes) {
  ModelPtr post = Build({{1, {-0.5f, 0, -20}, {0.5f, 0, -20}, {0, 0, 20}}});
  ModelPtr plate = Build({{2, {-5, -5, 0}, {5, -5, 0}, {0, 5, 0}}});
  struct Case {
    const char* name;
    int32_t flags;
    float height;
    float distanceLimit;
    float slot;  // NAN: no slot
    int32_t contacts;
    float slotAfter;
  };
  const Case kCases[] = {
      {"plain", 0, 12, 0, NAN, 1, NAN},
      {"limit drops far", 8, 12, 10, NAN, 0, NAN},
      {"limit keeps near below", 8, -9, 10, NAN, 1, NAN},
      {"nearest keeps nearer", 4, 3, 0, 5, 1, 3},
      {"nearest drops farther", 4, 7, 0, 5, 0, 5},
      {"nearest drops equal", 4, 5, 0, 5, 0, 5},
      {"both drop beyond limit", 12, 12, 10, 50, 0, 50},
  };
  for (const Case& c : kCases) {
    ResetCollisionTestState();
    float slot = c.slot;
    const float t2[3] = {0, 0, c.height};
    ASSERT_EQ(Collide(c.flags, 8, post.get(), plate.get(), t2, c.distanceLimit, std::isnan(c.slot) ? nullptr : &slot),
              kCollideDone);
    EXPECT_EQ(CollisionContactCount(), c.contacts) << c.name;
    if (!std::isnan(c.slot)) {
      EXPECT_FLOAT_EQ(slot, c.slotAfter) << c.name;
    }
    if (c.contacts && c.flags) {
      EXPECT_FLOAT_EQ(gCollisionTest.contact1[2], c.height) << c.name;
      EXPECT_FLOAT_EQ(gCollisionTest.contact1[0], 0.0f) << c.name;
    }
  }
  // Plain mode reports the first triangle's centroid and the second's in its own frame.
  const float t2[3] = {0, 0, 1};
  Collide(0, 0, post.get(), plate.get(), t2);
  EXPECT_NEAR(gCollisionTest.contact1[2], -20.0f / 3, 1e-5);
  EXPECT_NEAR(gCollisionTest.contact2[1], -5.0f / 3, 1e-5);
  EXPECT_NEAR(gCollisionTest.contact2[2], 0.0f, 1e-6);
}

TEST(CollisionModel, FirstContactAndContactLimitStopEarly) {
  ModelPtr a = Build(Cuboid(2, 2, 2));
  ModelPtr b = Build(Cuboid(2, 2, 2));
  const float t2[3] = {1, 0.5f, 0.25f};
  Collide(0, 0, a.get(), b.get(), t2);
  const int32_t all = CollisionContactCount();
  ASSERT_GT(all, 2);
  struct Case {
    int32_t flags, limit, contacts;
  };
  const Case kCases[] = {{kContactFirst, 0, 1}, {kContactNearest, 2, 2}, {kContactFirst | kContactWithinLimit, 0, 1}};
  for (const Case& c : kCases) {
    float slot = 1e9f;
    Collide(c.flags, c.limit, a.get(), b.get(), t2, 1000, &slot);
    EXPECT_EQ(CollisionContactCount(), c.contacts) << "flags " << c.flags;
  }
}

TEST(CollisionModel, ALargeLeafAgainstSmallerInnerBoxesOpensTheInnerBox) {
  // The second model is one large triangle (its root is a leaf, larger than the first root): the
  // descent must open the first model's boxes, the only ones that have children.
  ModelPtr small = Build({{0, {-1, -1, 0}, {1, -1, 0}, {0, 1, 0}}, {1, {-1, 0, -1}, {1, 0, -1}, {0, 0, 1}}});
  ModelPtr large = Build({{5, {-50, -50, 0.5f}, {50, -50, 0.5f}, {0, 50, 0.5f}}});
  struct Case {
    float scale;  // of the large model, whose plane lies at z = 0.5 x scale
    bool touch;
  };
  const Case kCases[] = {{1, true}, {0.01f, true}, {4, false}};
  for (const Case& c : kCases) {
    ASSERT_EQ(CollisionModelsCollide(0, 0, kIdentity, kOrigin, 1, small.get(), kIdentity, kOrigin, c.scale, large.get(),
                                     0, nullptr),
              kCollideDone);
    EXPECT_EQ(CollisionContactCount() > 0, c.touch) << c.scale;
  }
}

TEST(CollisionModel, PointInsidePlanes) {
  float planes[6][4] = {};
  for (int i = 0; i < 6; ++i) {
    planes[i][i / 2] = (i % 2) ? -1.0f : 1.0f;
    planes[i][3] = 100;  // a cube of half size 100
  }
  struct Case {
    float behind;  // distance behind the first plane (x >= -100)
    float radius;
    bool inside;
  };
  const Case kCases[] = {{1.5f, 2, true}, {2.5f, 2, false}, {-50, 2, true}, {2, 2, true}};
  for (const Case& c : kCases) {
    const float sphere[4] = {-100 - c.behind, 0, 0, c.radius};
    EXPECT_EQ(PointInsidePlanes(planes, sphere), c.inside) << c.behind;
  }
}

TEST(CollisionModel, FrustumOfIdentityIsTheUnitCube) {
  const float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  ViewVolume v{};
  FrustumFromMatrix(m, &v);
  // c4 - c1 = (-1, 0, 0, 1): x <= 1, its normal points down x.
  EXPECT_FLOAT_EQ(v.planes[0][0], -1);
  EXPECT_FLOAT_EQ(v.planes[0][3], 1);
  EXPECT_EQ(v.signMasks[0], 1);
  EXPECT_EQ(v.signMasks[1], 0);
  EXPECT_EQ(v.signMasks[4], 4);
  for (int i = 0; i < 8; ++i) {
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(std::fabs(v.corners[i][k]), 1.0f) << i;
  }
  EXPECT_FLOAT_EQ(v.corners[0][0], -1);  // the sixth, fourth and second planes
  EXPECT_FLOAT_EQ(v.corners[7][2], 1);

  // Planes that meet in no point leave the corner as it was.
  const float flat[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  ViewVolume w{};
  w.corners[3][0] = 42;
  FrustumFromMatrix(flat, &w);
  EXPECT_FLOAT_EQ(w.corners[3][0], 42);
}

// ---------------------------------------------------------------------------------------------
// Randomized comparison with a brute-force test: two triangles in general position meet exactly
// when an edge of one passes through the other.

using D3 = std::array<double, 3>;

bool SegmentHitsTriangle(const D3& p, const D3& q, const D3& a, const D3& b, const D3& c) {
  auto sub = [](const D3& x, const D3& y) { return D3{x[0] - y[0], x[1] - y[1], x[2] - y[2]}; };
  auto cross = [](const D3& x, const D3& y) {
    return D3{x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
  };
  auto dot = [](const D3& x, const D3& y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
  const D3 dir = sub(q, p), e1 = sub(b, a), e2 = sub(c, a);
  const D3 h = cross(dir, e2);
  const double det = dot(e1, h);
  if (std::fabs(det) < 1e-12) return false;
  const D3 s = sub(p, a);
  const double u = dot(s, h) / det;
  if (u < 0 || u > 1) return false;
  const D3 qv = cross(s, e1);
  const double v = dot(dir, qv) / det;
  if (v < 0 || u + v > 1) return false;
  const double t = dot(e2, qv) / det;
  return t >= 0 && t <= 1;
}

bool BruteForceTouch(const std::array<D3, 3>& x, const std::array<D3, 3>& y) {
  for (int k = 0; k < 3; ++k) {
    if (SegmentHitsTriangle(x[k], x[(k + 1) % 3], y[0], y[1], y[2])) return true;
    if (SegmentHitsTriangle(y[k], y[(k + 1) % 3], x[0], x[1], x[2])) return true;
  }
  return false;
}

struct Lcg {
  uint32_t state;
  float Next(float low, float high) {
    state = state * 1664525u + 1013904223u;
    return low + (high - low) * static_cast<float>(state >> 8) / 16777216.0f;
  }
};

TEST(CollisionModel, AnyContactAgreesWithBruteForce) {
  Lcg rng{12345};
  int touching = 0, apart = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<Tri> meshes[2];
    for (auto& mesh : meshes) {
      const int count = 1 + static_cast<int>(rng.Next(0, 6));
      for (int i = 0; i < count; ++i) {
        Tri t{i, {}, {}, {}};
        const float centre[3] = {rng.Next(-1, 1), rng.Next(-1, 1), rng.Next(-1, 1)};
        for (float* corner : {t.a, t.b, t.c})
          for (int k = 0; k < 3; ++k) corner[k] = centre[k] + rng.Next(-0.8f, 0.8f);
        mesh.push_back(t);
      }
    }
    ModelPtr m1 = Build(meshes[0]);
    ModelPtr m2 = Build(meshes[1]);
    float r1[3][3], r2[3][3], rx[3][3], ry[3][3];
    RotationX(rng.Next(-3, 3), rx);
    RotationY(rng.Next(-3, 3), ry);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        r1[i][j] = rx[i][0] * ry[0][j] + rx[i][1] * ry[1][j] + rx[i][2] * ry[2][j];
        r2[i][j] = ry[i][0] * rx[0][j] + ry[i][1] * rx[1][j] + ry[i][2] * rx[2][j];
      }
    const float t1[3] = {rng.Next(-1, 1), rng.Next(-1, 1), rng.Next(-1, 1)};
    const float t2[3] = {rng.Next(-1.5f, 1.5f), rng.Next(-1.5f, 1.5f), rng.Next(-1.5f, 1.5f)};
    const float s1 = rng.Next(0.5f, 2), s2 = rng.Next(0.5f, 2);
    ASSERT_EQ(CollisionModelsCollide(0, 0, r1, t1, s1, m1.get(), r2, t2, s2, m2.get(), 0, nullptr), kCollideDone);
    const bool found = CollisionContactCount() > 0;

    auto place = [](const Tri& t, const float r[3][3], const float tr[3], float s) {
      std::array<D3, 3> out;
      const float* corners[3] = {t.a, t.b, t.c};
      for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 3; ++i)
          out[k][i] = s * (double(r[i][0]) * corners[k][0] + double(r[i][1]) * corners[k][1] +
                           double(r[i][2]) * corners[k][2]) + tr[i];
      return out;
    };
    bool expected = false;
    for (const Tri& x : meshes[0])
      for (const Tri& y : meshes[1]) expected = expected || BruteForceTouch(place(x, r1, t1, s1), place(y, r2, t2, s2));
    EXPECT_EQ(found, expected) << "round " << round;
    (expected ? touching : apart)++;
  }
  // Both answers occur often enough for the comparison to mean something.
  EXPECT_GT(touching, 50);
  EXPECT_GT(apart, 50);
}

}  // namespace
