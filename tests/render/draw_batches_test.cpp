// The particle batch and the draw objects' instance buffers on the null device: the record and
// buffer of a scene without particles, the group table from the counts with its firsts restored,
// the quad colours per blend flag, the quad's corners and texture coordinates, the streak angle,
// skipped material rows, the 100-group limit, and VbRecBuild's transform, fade colour, texture
// animation and capacity limit.
#include "render/draw_batches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "core/fixed_math.h"
#include "platform/gpu_null.h"
#include "render/material_table.h"
#include "render/texture_animation.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/instance_records.h"
#include "scene/particle_records.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"
#include "support/render_world.h"

namespace {

constexpr int kMaterials = 30;

class DrawBatches : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    std::memset(table_, 0, sizeof table_);
    savedTable_ = gMaterialTable;
    savedCount_ = gMaterialCount;
    gMaterialTable = table_;
    gMaterialCount = kMaterials;
    scene_.systemScale = 0.5f;
    MatrixSetIdentity(&camera_.instance.worldMatrix);
    GpuNullClearLog();
  }
  void TearDown() override {
    SceneBatchRelease(&scene_);
    gMaterialTable = savedTable_;
    gMaterialCount = savedCount_;
    RenderWorld::TearDown();
  }

  // A camera-facing particle of the scene at (x, y, z) units with the texture rectangle
  // (0.25, 0.5)-(0.75, 1) and a reach of 2 (16.16), which the scene's 0.5 makes a half-size of 1.
  ParticleRecord& Add(int32_t material, uint32_t kind, int32_t x = 0, int32_t y = 0, int32_t z = 0) {
    ParticleRecord& p = particles_.emplace_back();
    std::memset(&p, 0, sizeof p);
    p.scene = &scene_;
    p.appearance[0] = material;
    p.appearance[1] = 0x4000;
    p.appearance[2] = 0x8000;
    p.appearance[3] = 0xC000;
    p.appearance[4] = 0x10000;
    p.kindFlags = kind;
    p.position = FixedVector{x, y, z, 0};
    p.reach = 2;
    MatrixSetIdentity(&p.orientation);
    ListAddTail(&engine_.engine().activeParticles, &p.node);
    return p;
  }

  std::vector<ParticleVertex> Vertices() {
    std::vector<ParticleVertex> out(kParticleBatchParticles * kParticleVerticesPerQuad);
    void* data = nullptr;
    EXPECT_EQ(scene_.particleBatch->vertexBuffer->Lock(0, 0, &data, kGpuLockReadOnly), kGpuOk);
    std::memcpy(out.data(), data, out.size() * sizeof(ParticleVertex));
    scene_.particleBatch->vertexBuffer->Unlock();
    return out;
  }

  EngineFixture engine_;
  MaterialRecord table_[kMaterials];
  MaterialRecord* savedTable_ = nullptr;
  int16_t savedCount_ = 0;
  SceneRecord scene_{};
  CameraRecord camera_{};
  std::deque<ParticleRecord> particles_;
};

TEST_F(DrawBatches, SceneWithoutParticlesGetsItsRecordAndBufferWithNoGroups) {
  context_.videoMemoryBytes = 100;
  record_.vertexProcessingMode = 2;
  ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
  ASSERT_NE(scene_.particleBatch, nullptr);
  EXPECT_EQ(scene_.particleBatch->groupCount, 0);
  EXPECT_EQ(scene_.particleBatch->byteSize, 3840000u);
  EXPECT_EQ(context_.videoMemoryBytes, 100u + 3840000u);
  EXPECT_EQ(GpuNullLog().front(), "CreateVertexBuffer(3840000, 0x218, 0x0, 0)") << "dynamic, write-only, software";
  SceneBatchRelease(&scene_);
  EXPECT_EQ(scene_.particleBatch, nullptr);
  EXPECT_EQ(context_.videoMemoryBytes, 100u);
}

TEST_F(DrawBatches, FailedBufferLeavesTheSceneWithoutRecord) {
  GpuInjectResult("CreateVertexBuffer", kGpuErrOutOfVideoMemory, 2);
  EXPECT_FALSE(SceneBatchBuild(&scene_, &camera_));
  EXPECT_EQ(scene_.particleBatch, nullptr);
  EXPECT_EQ(context_.videoMemoryBytes, 0u);
}

TEST_F(DrawBatches, GroupsFollowTheCountsByMaterialThenKindAndFirstsAreRestored) {
  table_[1].flags = table_[3].flags = table_[4].flags = MPF_ALPHABLEND;
  Add(3, 0, 30);
  Add(1, 2, 12);
  Add(3, 0, 31);
  Add(1, 0, 10);
  Add(4, 3, 40);
  Add(1, 2, 13);
  ParticleRecord other;
  std::memset(&other, 0, sizeof other);
  SceneRecord otherScene{};
  other.scene = &otherScene;
  other.appearance[0] = 1;
  ListAddTail(&engine_.engine().activeParticles, &other.node);

  ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
  const ParticleBatchRecord& batch = *scene_.particleBatch;
  struct Group {
    int32_t first, count, material, kind;
  };
  const Group kGroups[] = {{0, 1, 1, 0}, {1, 2, 1, 2}, {3, 2, 3, 0}, {5, 1, 4, 3}};
  ASSERT_EQ(batch.groupCount, 4);
  EXPECT_EQ(batch.particleCount, 6);
  for (int g = 0; g < 4; ++g) {
    EXPECT_EQ(batch.groups[g].first, kGroups[g].first) << g;
    EXPECT_EQ(batch.groups[g].count, kGroups[g].count) << g;
    EXPECT_EQ(batch.groups[g].material, kGroups[g].material) << g;
    EXPECT_EQ(batch.groups[g].kind, kGroups[g].kind) << g;
  }
  // Within a group the particles keep their list order.
  const std::vector<ParticleVertex> v = Vertices();
  const float kCentreX[] = {10, 12, 13, 30, 31, 40};
  for (int slot = 0; slot < 6; ++slot) {
    const ParticleVertex& first = v[slot * 6];
    EXPECT_FLOAT_EQ((first.x + v[slot * 6 + 1].x) / 2, kCentreX[slot] * 0.5f) << slot;
  }
  ListRemove(&other.node);
}

TEST_F(DrawBatches, QuadColourFollowsTheMaterialsBlendFlags) {
  struct Case {
    uint32_t flags;
    int32_t fade;
    uint32_t colour;
  };
  // Material colour (200, 100, 0).
  const Case kCases[] = {
      {MPF_MULTIPLY, 0, 0xFFC86400},        {MPF_MULTIPLY2X, 255, 0xFFFFFFFF},    {MPF_MULTIPLY, 128, 0xFFE3B180},
      {MPF_SRCCOLOR, 0, 0xFF000000},        {MPF_SRCCOLOR, 128, 0xFF643200},      {MPF_ALPHABLEND, 0, 0x00C86400},
      {MPF_DESTINATIONBLEND, 200, 0xC8C86400}, {0, 200, 0x00000000},
      {MPF_MULTIPLY | MPF_SRCCOLOR | MPF_ALPHABLEND, 0, 0xFFC86400},
  };
  for (const Case& c : kCases) {
    table_[2] = MaterialRecord{};
    table_[2].value0 = 200;
    table_[2].value1 = 100;
    table_[2].flags = c.flags;
    particles_.clear();
    ListInit(&engine_.engine().activeParticles);
    Add(2, 0).fade = c.fade;
    ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
    const std::vector<ParticleVertex> v = Vertices();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(v[i].colour, c.colour) << std::hex << c.flags << " t " << std::dec << c.fade;
  }
}

TEST_F(DrawBatches, CameraFacingQuadSpansTheRightAndUpAxesInTriangleOrder) {
  ParticleRecord& p = Add(0, 0, 100, 200, 300);
  // Right along y, up along z, half-size 2: R = (0, 1, 0) and U = (0, 0, 1) after the scale 0.5.
  p.orientation = FixedMatrix{{{0, kFixedOne, 0, 0}, {0, 0, kFixedOne, 0}, {kFixedOne, 0, 0, 0}}};
  ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
  const std::vector<ParticleVertex> v = Vertices();
  struct Corner {
    float y, z, u, tv;
  };
  // c = (50, 100, 150).
  const Corner kCorners[6] = {{99, 151, 0.25f, 0.5f}, {101, 151, 0.75f, 0.5f}, {99, 149, 0.25f, 1.0f},
                              {101, 151, 0.75f, 0.5f}, {101, 149, 0.75f, 1.0f}, {99, 149, 0.25f, 1.0f}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_FLOAT_EQ(v[i].x, 50.0f) << i;
    EXPECT_FLOAT_EQ(v[i].y, kCorners[i].y) << i;
    EXPECT_FLOAT_EQ(v[i].z, kCorners[i].z) << i;
    EXPECT_FLOAT_EQ(v[i].u, kCorners[i].u) << i;
    EXPECT_FLOAT_EQ(v[i].v, kCorners[i].tv) << i;
    EXPECT_EQ(v[i].cornerX, 0.0f);
    EXPECT_EQ(v[i].cornerY, 0.0f);
  }
}

TEST_F(DrawBatches, StreakAngleFollowsItsDirectionSeenByTheCamera) {
  struct Case {
    FixedVector delta;  // streak start minus position
    uint32_t angle;
  };
  // atan2(y, -x) in the camera's frame, plus an eighth turn.
  const Case kCases[] = {
      {{-10 * kFixedOne, 0, 0, 0}, 0x2000},
      {{0, 10 * kFixedOne, 0, 0}, 0x6000},
      {{10 * kFixedOne, 0, 0, 0}, 0xA000},
      {{0, -10 * kFixedOne, 0, 0}, 0xE000},
      // Differences below one unit are scaled up first, so the direction survives the 16.16
      // rotation: (-3, 3) in raw units is still 45 degrees.
      {{-3, 3, 0, 0}, 0x4000},
  };
  // The camera turned a quarter about z: its x axis is the world's y.
  camera_.instance.worldMatrix = FixedMatrix{{{0, kFixedOne, 0, 0}, {-kFixedOne, 0, 0, 0}, {0, 0, kFixedOne, 0}}};
  for (const Case& c : kCases) {
    particles_.clear();
    ListInit(&engine_.engine().activeParticles);
    ParticleRecord& p = Add(0, kParticleSpins | kParticleStreak, 1000, 2000, 0);
    p.reach = 2 * kFixedOne;
    // World delta that the camera sees as c.delta: the camera's x is the world's y.
    p.streakStart = FixedVector{p.position.x - c.delta.y, p.position.y + c.delta.x, p.position.z + c.delta.z, 0};
    ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
    EXPECT_EQ(p.angle, c.angle) << c.delta.x << "," << c.delta.y;
    const std::vector<ParticleVertex> v = Vertices();
    const float size = 2.0f * kFixedOne * 0.5f;
    const float s = std::sin(c.angle / 65536.0f * 6.2831853f) * size;
    const float k = std::cos(c.angle / 65536.0f * 6.2831853f) * size;
    EXPECT_NEAR(v[0].cornerX, k, 2.0) << c.angle;
    EXPECT_NEAR(v[0].cornerY, s, 2.0) << c.angle;
    EXPECT_NEAR(v[4].cornerX, -k, 2.0) << c.angle;
    // Head vertices sit at the position, tail vertices at the streak start.
    EXPECT_FLOAT_EQ(v[0].x, 500.0f);
    EXPECT_FLOAT_EQ(v[2].x, p.streakStart.x * 0.5f);
    EXPECT_FLOAT_EQ(v[4].y, p.streakStart.y * 0.5f);
  }
}

TEST_F(DrawBatches, MaterialRowsOutsideTheTableAreNeitherCountedNorDrawn) {
  Add(kMaterials, 0);
  Add(kMaterials + 5, 1);
  Add(-1, 2);
  Add(7, 1);
  ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
  ASSERT_EQ(scene_.particleBatch->groupCount, 1);
  EXPECT_EQ(scene_.particleBatch->groups[0].material, 7);
  EXPECT_EQ(scene_.particleBatch->particleCount, 1);
}

TEST_F(DrawBatches, MoreThanAHundredPairsDrawTheFirstHundredGroups) {
  // 101 distinct (material, kind) pairs: 25 materials x 4 kinds and one more.
  for (int32_t m = 0; m < 26; ++m) {
    for (uint32_t k = 0; k < 4; ++k) {
      if (m * 4 + static_cast<int32_t>(k) < 101) Add(m, k, m * 10 + static_cast<int32_t>(k));
    }
  }
  ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
  const ParticleBatchRecord& batch = *scene_.particleBatch;
  EXPECT_EQ(batch.groupCount, 100);
  EXPECT_EQ(batch.groups[99].material, 24);
  EXPECT_EQ(batch.groups[99].kind, 3);
  EXPECT_EQ(batch.groups[99].first, 99);
  // The dropped pair wrote nothing past the hundredth quad.
  const std::vector<ParticleVertex> v = Vertices();
  EXPECT_EQ(v[100 * 6].colour, 0u);
  EXPECT_EQ(v[100 * 6].x, 0.0f);
}

// ---- Instance buffers ---------------------------------------------------------------------------

class InstanceBuffers : public DrawBatches {
 protected:
  void SetUp() override {
    DrawBatches::SetUp();
    // One triangle of three packed vertices (1.0 = 16384).
    vertices_[0] = BodyVertex{16384, 0, 0, 0, 0, 0, 0, 0, 0};
    vertices_[1] = BodyVertex{0, 16384, 0, 0, 0, 0, kFixedOne, 0, 0};
    vertices_[2] = BodyVertex{0, 0, 16384, 0, 0, 0, 0, kFixedOne / 2, 0};
    mesh_.vertexCount = 3;
    mesh_.vertices = vertices_;
    part_.mesh = &mesh_;
    triangle_ = BodyTriangle{{0, 1, 2}, 0};
    group_.triangleCount = 1;
    group_.triangles = &triangle_;
    batch_.capacity = 2;
    node_.verticesPerInstance = 3;
    instance_.size = kFixedOne;
    instance_.scale = FixedVector{kFixedOne, kFixedOne, kFixedOne, 0};
    MatrixSetIdentity(&instance_.worldMatrix);
    MatrixSetIdentity(&instance_.matrix);
  }
  void TearDown() override {
    VbRecRelease(&node_);
    DrawBatches::TearDown();
  }
  bool Build() { return VbRecBuild(&scene_, &batch_, &node_, &instance_, &part_, &group_, &camera_); }

  BodyVertex vertices_[3];
  BodyMesh mesh_{};
  BodyPart part_{};
  BodyTriangle triangle_{};
  FaceGroup group_{};
  RenderEntry batch_{};
  RenderEntryNode node_{};
  InstanceRecord instance_{};
};

TEST_F(InstanceBuffers, EnsureTwiceInAFrameLeavesTheFillAtZero) {
  ASSERT_TRUE(Build());
  EXPECT_EQ(node_.vertexBuffer->filled, 3u);
  EXPECT_TRUE(VbRecEnsure(&node_));
  EXPECT_TRUE(VbRecEnsure(&node_));
  EXPECT_EQ(node_.vertexBuffer->filled, 0u);
}

TEST_F(InstanceBuffers, BuildTransformsTheFaceWithTheFadeAsAlpha) {
  instance_.alphaOverride = 0x80;
  ASSERT_TRUE(Build());
  const VertexBufferRecord& r = *node_.vertexBuffer;
  EXPECT_EQ(r.byteSize, 2u * 3u * 24u);
  EXPECT_EQ(context_.videoMemoryBytes, 144u);
  ASSERT_EQ(r.filled, 3u);
  // Packed 16384 is one body unit, which the instance's size of 1.0 makes 65536 world units; the
  // world matrix scales them by the scene's 0.5.
  EXPECT_FLOAT_EQ(r.systemCopy[0].x, 32768.0f);
  EXPECT_FLOAT_EQ(r.systemCopy[1].y, 32768.0f);
  EXPECT_FLOAT_EQ(r.systemCopy[2].z, 32768.0f);
  EXPECT_FLOAT_EQ(r.systemCopy[1].u, 1.0f);
  EXPECT_FLOAT_EQ(r.systemCopy[2].v, 0.5f);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(r.systemCopy[i].colour, 0x80000000u);
  instance_.alphaOverride = 0;
  ASSERT_TRUE(VbRecEnsure(&node_));
  ASSERT_TRUE(Build());
  EXPECT_EQ(node_.vertexBuffer->systemCopy[0].colour, 0xFF000000u) << "no fade is opaque";
}

TEST_F(InstanceBuffers, TextureAnimationMovesTheTextureCoordinates) {
  BodyMaterial material{};
  material.texture = -4;  // texture animation 4
  node_.material = &material;
  node_.drawFlags = 1u << 27;
  TexAnimState state{};
  state.anim = 4;
  // u' = 2u + 0.25, v' = v + 0.5.
  state.uv.row0[0] = 2 * kFixedOne;
  state.uv.row1[1] = kFixedOne;
  state.uv.row2[0] = kFixedOne / 4;
  state.uv.row2[1] = kFixedOne / 2;
  instance_.texAnimCount = 1;
  instance_.texAnims = &state;
  ASSERT_TRUE(Build());
  const InstanceVertex* v = node_.vertexBuffer->systemCopy;
  EXPECT_FLOAT_EQ(v[0].u, 0.25f);
  EXPECT_FLOAT_EQ(v[0].v, 0.5f);
  EXPECT_FLOAT_EQ(v[1].u, 2.25f);
  EXPECT_FLOAT_EQ(v[2].v, 1.0f);
}

TEST_F(InstanceBuffers, BuildStopsAtTheBuffersCapacityWithWholeFaces) {
  // Capacity: 2 instances x 3 vertices. The third instance's face is dropped, as is a face with a
  // vertex the mesh does not hold.
  EXPECT_TRUE(Build());
  EXPECT_TRUE(Build());
  EXPECT_TRUE(Build());
  EXPECT_EQ(node_.vertexBuffer->filled, 6u);
  ASSERT_TRUE(VbRecEnsure(&node_));
  triangle_.v[2] = 3;
  EXPECT_TRUE(Build());
  EXPECT_EQ(node_.vertexBuffer->filled, 0u);
}

TEST_F(InstanceBuffers, FailedDeviceBufferKeepsTheRecordWithoutOne) {
  GpuInjectResult("CreateVertexBuffer", kGpuErrOutOfVideoMemory, 2);
  EXPECT_FALSE(Build());
  ASSERT_NE(node_.vertexBuffer, nullptr);
  EXPECT_EQ(node_.vertexBuffer->deviceBuffer, nullptr);
  EXPECT_EQ(context_.videoMemoryBytes, 0u);
}

}  // namespace
