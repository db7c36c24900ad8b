// Collision model speed. Build: the box tree of a 5000-triangle body (a closed sphere-like mesh
// of 50 rings by 50 segments). Touch: a first-contact test of two copies of that body, the second
// shifted by half a radius so the surfaces cross. The goal in a release build is a build under
// 5 ms and a test under 20 us.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "scene/collision_model.h"

namespace {

constexpr int kRings = 50;
constexpr int kSegments = 50;
constexpr float kRadius = 100.0f;
constexpr float kIdentity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

// Two triangles per ring and segment: 5000 in all (the pole rows are thin, never empty).
std::vector<CollisionTriangle> Sphere() {
  auto point = [](int ring, int segment, float out[3]) {
    const float theta = 3.14159265f * (static_cast<float>(ring) + 0.5f) / (kRings + 1);
    const float phi = 6.28318531f * static_cast<float>(segment) / kSegments;
    out[0] = kRadius * std::sin(theta) * std::cos(phi);
    out[1] = kRadius * std::sin(theta) * std::sin(phi);
    out[2] = kRadius * std::cos(theta);
  };
  std::vector<CollisionTriangle> tris;
  for (int r = 0; r < kRings; ++r) {
    for (int s = 0; s < kSegments; ++s) {
      CollisionTriangle a{}, b{};
      a.id = static_cast<int32_t>(tris.size());
      point(r, s, a.a);
      point(r + 1, s, a.b);
      point(r + 1, s + 1, a.c);
      tris.push_back(a);
      b.id = static_cast<int32_t>(tris.size());
      point(r, s, b.a);
      point(r + 1, s + 1, b.b);
      point(r, s + 1, b.c);
      tris.push_back(b);
    }
  }
  return tris;
}

CollisionModel* BuildModel(const std::vector<CollisionTriangle>& tris) {
  CollisionModel* model = NewCollisionModel();
  for (const CollisionTriangle& t : tris) CollisionModelAddTriangle(model, t.a, t.b, t.c, t.id);
  CollisionModelFinish(model);
  return model;
}

void BM_BuildModel(benchmark::State& state) {
  const std::vector<CollisionTriangle> tris = Sphere();
  for (auto _ : state) {
    CollisionModel* model = BuildModel(tris);
    benchmark::DoNotOptimize(model->boxes);
    FreeCollisionModel(model);
  }
  state.counters["triangles"] = static_cast<double>(tris.size());
}
BENCHMARK(BM_BuildModel)->Unit(benchmark::kMillisecond);

void BM_FirstContactOfTouchingCopies(benchmark::State& state) {
  const std::vector<CollisionTriangle> tris = Sphere();
  CollisionModel* a = BuildModel(tris);
  CollisionModel* b = BuildModel(tris);
  const float origin[3] = {0, 0, 0};
  const float shifted[3] = {kRadius * 0.5f, kRadius * 0.25f, 0};
  for (auto _ : state) {
    CollisionModelsCollide(kContactFirst, 0, kIdentity, origin, 1, a, kIdentity, shifted, 1, b, 0, nullptr);
    benchmark::DoNotOptimize(gCollisionTest.contactCount);
  }
  if (gCollisionTest.contactCount != 1) std::fprintf(stderr, "the copies do not touch\n");
  state.counters["box tests"] = gCollisionTest.boxTests;
  state.counters["triangle tests"] = gCollisionTest.triangleTests;
  FreeCollisionModel(a);
  FreeCollisionModel(b);
}
BENCHMARK(BM_FirstContactOfTouchingCopies)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
