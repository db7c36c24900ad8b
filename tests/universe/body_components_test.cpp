// Body components over hand-built models: which parts make points of which kind, where a
// direction comes from, the docking point's depth, and the per-kind limit of 50 points.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/memory.h"
#include "scene/body_records.h"
#include "scene/cut_keys.h"
#include "universe/body_components.h"
#include "universe/type_access.h"
#include "universe/type_loader.h"

namespace {

struct PartShape {
  uint32_t flags;
  FixedVector centre;
  int32_t radius;
  // Per face group, the flags and first vertex of its triangles.
  std::vector<std::vector<std::pair<uint16_t, int32_t>>> groups;
};

// A body of one mesh whose storage lives as long as the model.
class Model {
 public:
  Model(int32_t id, std::vector<BodyVertex> vertices, const std::vector<PartShape>& parts) : vertices_(std::move(vertices)) {
    for (const PartShape& shape : parts) {
      std::vector<FaceGroup> groups;
      for (const auto& triangles : shape.groups) {
        auto& list = triangles_.emplace_back();
        for (auto [flags, v] : triangles) list.push_back({{v, v, v}, flags});
        FaceGroup g{};
        g.triangleCount = static_cast<int32_t>(list.size());
        groups.push_back(g);
      }
      groups_.push_back(groups);
      BodyPart part{};
      part.flags = shape.flags;
      part.centre = shape.centre;
      part.radius = shape.radius;
      parts_.push_back(part);
    }
    // Pointers are taken once every vector has its final size.
    size_t t = 0;
    for (size_t p = 0; p < parts_.size(); ++p) {
      for (FaceGroup& g : groups_[p]) g.triangles = triangles_[t++].data();
      parts_[p].groups = groups_[p].data();
      parts_[p].groupCount = static_cast<int16_t>(groups_[p].size());
      partPointers_.push_back(&parts_[p]);
    }
    mesh_.vertexCount = static_cast<int32_t>(vertices_.size());
    mesh_.vertices = vertices_.data();
    mesh_.partCount = static_cast<int16_t>(parts_.size());
    mesh_.parts = partPointers_.data();
    meshPointer_ = &mesh_;
    body_.id = id;
    body_.meshes = &meshPointer_;
    body_.meshCount = 1;
  }
  const BodyRecord* body() const { return &body_; }

 private:
  std::vector<BodyVertex> vertices_;
  std::vector<std::vector<BodyTriangle>> triangles_;
  std::vector<std::vector<FaceGroup>> groups_;
  std::vector<BodyPart> parts_;
  std::vector<BodyPart*> partPointers_;
  BodyMesh mesh_{};
  BodyMesh* meshPointer_ = nullptr;
  BodyRecord body_{};
};

BodyVertex Normal(int16_t nx, int16_t ny, int16_t nz) {
  BodyVertex v{};
  v.nx = nx;
  v.ny = ny;
  v.nz = nz;
  return v;
}

class BodyComponents : public ::testing::Test {
 protected:
  void TearDown() override { FreeComponentTable(); }
};

TEST_F(BodyComponents, MarkedPartsGiveOneEntryPerKindWithTheirPointsAndDirections) {
  const std::vector<BodyVertex> vertices = {Normal(0, 0, 16384), Normal(16384, 0, 0), Normal(0, -8192, 0)};
  const Model model(12, vertices,
                    {
                        {0x1, {1, 2, 3, 0}, 5, {{{0x20, 0}}}},                           // unmarked
                        {0x200, {10, 20, 30, 0}, 4, {{{0x40, 0}}, {{0x0, 1}}}},          // no 0x20 triangle
                        {0x200, {0, 0, 0, 0}, 4, {{{0x20, 0}}, {{0x1, 2}, {0x21, 1}}}},  // the later group wins
                        {0x8000 | 0x1000, {7, 8, 50, 0}, 20, {{{0x40, 2}}}},            // cockpit and docking
                    });
  SetComponents(model.body());
  ASSERT_EQ(gComponentTable.kinds[0].count, 1);
  const ComponentEntry& lasers = gComponentTable.kinds[0].entries[0];
  EXPECT_EQ(lasers.body, 12);
  ASSERT_EQ(lasers.pointCount, 2);
  EXPECT_EQ(lasers.points[0].flags, 0u) << "no flagged triangle: no direction";
  EXPECT_EQ(lasers.points[0].position[2], 30);
  EXPECT_EQ(lasers.points[0].direction[0], 0);
  EXPECT_EQ(lasers.points[0].direction[2], 0);
  EXPECT_EQ(lasers.points[1].flags, 1u);
  EXPECT_EQ(lasers.points[1].direction[0], 65536) << "the later group's vertex normal, times 4";
  EXPECT_EQ(lasers.points[1].direction[2], 0);
  ASSERT_EQ(gComponentTable.kinds[1].count, 1);
  const ComponentPoint& cockpit = gComponentTable.kinds[1].entries[0].points[0];
  EXPECT_EQ(cockpit.flags, 1u);
  EXPECT_EQ(cockpit.direction[1], -32768);
  EXPECT_EQ(cockpit.position[2], 50);
  ASSERT_EQ(gComponentTable.kinds[2].count, 1);
  const ComponentPoint& dock = gComponentTable.kinds[2].entries[0].points[0];
  EXPECT_EQ(dock.flags, 0u);
  EXPECT_EQ(dock.position[0], 7);
  EXPECT_EQ(dock.position[2], 30) << "z less the part's depth";
}

TEST_F(BodyComponents, AModelWithoutMarkedPartsAddsNothing) {
  const Model model(3, {Normal(0, 0, 1)}, {{0x4, {0, 0, 0, 0}, 1, {{{0x20, 0}}}}, {0, {0, 0, 0, 0}, 1, {}}});
  SetComponents(model.body());
  for (const ComponentKindTable& kind : gComponentTable.kinds) EXPECT_EQ(kind.count, 0);
  SetComponents(nullptr);
}

TEST_F(BodyComponents, ATriangleNamingAVertexOutsideTheMeshGivesNoDirection) {
  const Model model(4, {Normal(1, 1, 1)}, {{0x200, {0, 0, 0, 0}, 1, {{{0x20, 7}}}}});
  SetComponents(model.body());
  ASSERT_EQ(gComponentTable.kinds[0].count, 1);
  EXPECT_EQ(gComponentTable.kinds[0].entries[0].points[0].flags, 0u);
}

std::vector<PartShape> LaserParts(int count) {
  return std::vector<PartShape>(static_cast<size_t>(count), PartShape{0x200, {0, 0, 0, 0}, 1, {}});
}

void PrintDetailAndExit(uint32_t code, const char* detail) {
  std::fprintf(stderr, "shutdown %u [%s]\n", code, detail);
  std::fflush(stderr);
  std::_Exit(static_cast<int>(code));
}

TEST_F(BodyComponents, FiftyPointsOfAKindLoadAndTheFiftyFirstEndsTheProcess) {
  const Model fifty(1, {Normal(0, 0, 1)}, LaserParts(kComponentPointsPerKind));
  SetComponents(fifty.body());
  ASSERT_EQ(gComponentTable.kinds[0].count, 1);
  EXPECT_EQ(gComponentTable.kinds[0].entries[0].pointCount, kComponentPointsPerKind);

  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Model more(2, {Normal(0, 0, 1)}, LaserParts(kComponentPointsPerKind + 1));
  EXPECT_EXIT(
      {
        SetSceneFatalExit(PrintDetailAndExit);
        SetComponents(more.body());
      },
      ::testing::ExitedWithCode(static_cast<int>(kTypeLoadLimitExit)), "shutdown 40 \\[SetComponents\\]");
}

}  // namespace
