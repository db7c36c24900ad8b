// Particle and instanced drawing on the null device with the demo's own "particles" and
// "effects" files in a temporary game folder: the blend states of each group (a group without a
// blend flag keeps the one before), no drawing without vertex programs, the triangle counts of
// instanced geometry, the effect and technique a batch chooses, and a failed stream binding that
// leaves no effect begun; and the shipped programs build on the OpenGL device.
#include "render/particle_drawing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/memory.h"
#include "platform/gpu_effect.h"
#include "platform/gpu_null.h"
#include "render/draw_batches.h"
#include "render/effect_cache.h"
#include "render/material_table.h"
#include "render/pixel_formats.h"
#include "render/render_matrices.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/effect_registry.h"
#include "scene/particle_records.h"
#include "scene/scene_records.h"
#include "support/catalog_world.h"
#include "support/engine_fixture.h"
#include "support/gpu_fixture.h"
#include "support/render_world.h"

namespace {

std::string ShippedEffect(const char* name) {
  std::ifstream in(std::filesystem::path(KORVANE_SOURCE_DIR) / "data/demo/shaders" / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const char kOwnEffect[] = R"(param float4x4 g_mViewProjection
technique OWN
pass P
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0) * g_mViewProjection; }
end
fragment
void main() { gpu_FragColor = vec4(1.0); }
end
)";

constexpr int kMaterials = 6;

class ParticleDrawing : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    gSystem = world_.block();
    world_.WriteLoose("shader/3_0/particles.fb", ShippedEffect("particles.fb"));
    world_.WriteLoose("shader/3_0/effects.fb", ShippedEffect("effects.fb"));
    world_.WriteLoose("shader/3_0/own.fb", kOwnEffect);
    adapter_.behaviorFlags = kGpuCreateHardwareVertexProcessing;
    record_.adapter = &adapter_;
    record_.vertexProcessingMode = 1;
    ASSERT_TRUE(CreateVertexDeclarations());
    std::memset(table_, 0, sizeof table_);
    savedTable_ = gMaterialTable;
    savedCount_ = gMaterialCount;
    gMaterialTable = table_;
    gMaterialCount = kMaterials;
    scene_.systemScale = 0.01f;
    MatrixSetIdentity(&camera_.instance.worldMatrix);
    GpuNullClearLog();
  }
  void TearDown() override {
    SceneBatchRelease(&scene_);
    VbRecRelease(&node_);
    FreeEffectRegistry();
    ReleaseVertexDeclarations();
    gMaterialTable = savedTable_;
    gMaterialCount = savedCount_;
    RenderWorld::TearDown();
  }

  void AddParticle(int32_t material) {
    ParticleRecord& p = particles_.emplace_back();
    std::memset(&p, 0, sizeof p);
    p.scene = &scene_;
    p.appearance[0] = material;
    MatrixSetIdentity(&p.orientation);
    ListAddTail(&engine_.engine().activeParticles, &p.node);
  }

  // A draw object with `filled` vertices in its buffers.
  void FillDrawObject(uint32_t filled) {
    ASSERT_TRUE(VbRecEnsure(&node_));
    VertexBufferRecord* r = node_.vertexBuffer;
    r->byteSize = 12 * kInstanceVertexBytes;
    ASSERT_EQ(device_->CreateVertexBuffer(r->byteSize, kGpuUsageDynamic | kGpuUsageWriteOnly, 0, kGpuPoolDefault,
                                          &r->deviceBuffer),
              kGpuOk);
    context_.videoMemoryBytes += r->byteSize;
    r->systemCopy = static_cast<InstanceVertex*>(MemAlloc(r->byteSize, MemCategoryFlags(kMemCatMaterial)));
    std::memset(r->systemCopy, 0, r->byteSize);
    r->filled = filled;
    node_.material = &material_;
    node_.verticesPerInstance = 3;
    material_.texture = -1;
  }

  GpuxEffect* Effect(const char* name) {
    EffectObject* object = EffectGetOrLoad(name, 0);
    return object ? object->effects[0] : nullptr;
  }

  std::vector<std::string> Draws() {
    std::vector<std::string> out;
    for (const std::string& line : GpuNullLog()) {
      if (line.rfind("DrawPrimitive(", 0) == 0) out.push_back(line);
    }
    return out;
  }

  // The source and destination blend the device had at each draw.
  std::vector<std::pair<int, int>> BlendsAtDraws() {
    std::vector<std::pair<int, int>> out;
    int src = -1, dest = -1;
    for (const std::string& line : GpuNullLog()) {
      int value = 0;
      if (std::sscanf(line.c_str(), "SetRenderState(19, %d)", &value) == 1) src = value;
      if (std::sscanf(line.c_str(), "SetRenderState(20, %d)", &value) == 1) dest = value;
      if (line.rfind("DrawPrimitive(", 0) == 0) out.emplace_back(src, dest);
    }
    return out;
  }

  EngineFixture engine_;
  CatalogWorld world_;
  AdapterRecord adapter_{};
  MaterialRecord table_[kMaterials];
  MaterialRecord* savedTable_ = nullptr;
  int16_t savedCount_ = 0;
  SceneRecord scene_{};
  CameraRecord camera_{};
  std::deque<ParticleRecord> particles_;
  BodyMaterial material_{};
  RenderEntry batch_{};
  RenderEntryNode node_{};
};

TEST_F(ParticleDrawing, EachGroupDrawsWithItsBlendAndAGroupWithoutFlagKeepsThePrevious) {
  table_[0].flags = MPF_MULTIPLY;
  table_[1].flags = 0;
  table_[2].flags = MPF_SRCCOLOR;
  table_[3].flags = MPF_DESTINATIONBLEND;
  table_[4].flags = MPF_ALPHABLEND | MPF_TEXTUREALPHA;
  table_[5].flags = MPF_MULTIPLY2X;
  for (int m = 0; m < kMaterials; ++m) AddParticle(m);
  AddParticle(2);
  ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
  GpuNullClearLog();
  ASSERT_TRUE(RenderParticles(&scene_));
  const std::vector<std::string> kDraws = {"DrawPrimitive(4, 0, 2)",  "DrawPrimitive(4, 6, 2)",
                                           "DrawPrimitive(4, 12, 4)", "DrawPrimitive(4, 24, 2)",
                                           "DrawPrimitive(4, 30, 2)", "DrawPrimitive(4, 36, 2)"};
  EXPECT_EQ(Draws(), kDraws);
  const std::vector<std::pair<int, int>> kBlends = {{9, 1}, {9, 1}, {3, 4}, {5, 2}, {5, 6}, {9, 3}};
  EXPECT_EQ(BlendsAtDraws(), kBlends);
  GpuxEffect* effect = Effect("particles");
  float textureAlpha = -1;
  effect->GetFloat(effect->GetParameterByName(kGpuxNoHandle, "g_TextureAlpha"), &textureAlpha);
  EXPECT_EQ(textureAlpha, 0.0f) << "the last group blends by multiplying";
  int32_t zWrite = -1;
  effect->GetInt(effect->GetParameterByName(kGpuxNoHandle, "g_ZWriteEnable"), &zWrite);
  EXPECT_EQ(zWrite, 0);
}

TEST_F(ParticleDrawing, WithoutVertexProgramsNoParticleIsDrawn) {
  AddParticle(0);
  ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
  record_.vertexProcessingMode = 0;
  GpuNullClearLog();
  EXPECT_TRUE(RenderParticles(&scene_));
  EXPECT_TRUE(Draws().empty());
}

TEST_F(ParticleDrawing, FailedStreamBindingLeavesNoEffectBegun) {
  AddParticle(0);
  ASSERT_TRUE(SceneBatchBuild(&scene_, &camera_));
  record_.vertexProcessingMode = 2;
  GpuInjectResult("SetStreamSource", kGpuErrInvalidCall);
  GpuNullClearLog();
  EXPECT_FALSE(RenderParticles(&scene_));
  EXPECT_TRUE(Draws().empty());
  EXPECT_EQ(GpuNullLog().back(), "SetSoftwareVertexProcessing(0)");
  GpuxEffect* effect = Effect("particles");
  uint32_t passes = 0;
  EXPECT_EQ(effect->Begin(&passes, 0), kGpuOk) << "the failed draw left the effect begun";
  effect->End();
}

TEST_F(ParticleDrawing, InstancedGeometryDrawsWholeTrianglesOfItsFilledVertices) {
  struct Case {
    uint32_t filled;
    const char* draw;
  };
  const Case kCases[] = {{6, "DrawPrimitive(4, 0, 2)"}, {5, "DrawPrimitive(4, 0, 1)"}};
  for (const Case& c : kCases) {
    FillDrawObject(c.filled);
    GpuNullClearLog();
    EXPECT_TRUE(RenderBulletInstances(&scene_, &batch_, &node_, &camera_));
    EXPECT_EQ(Draws(), std::vector<std::string>{c.draw}) << c.filled;
    VbRecRelease(&node_);
  }
}

TEST_F(ParticleDrawing, BatchFlagsChooseTheEffectAndTechnique) {
  struct Case {
    uint32_t typeFlags;
    const char* materialEffect;
    const char* effect;
    const char* technique;
  };
  const Case kCases[] = {
      {0x10, "", "effects", "INSTANCE"},
      {0x10 | 0x20000000, "", "effects", "INSTANCE_BULLETS"},
      {0x10, "own", "own", "OWN"},
      {0x0, "own", "effects", "INSTANCE"},
      {0x10, "missing", "effects", "INSTANCE"},
  };
  EffectParamList params;
  material_.params = &params;
  for (const Case& c : kCases) {
    FillDrawObject(3);
    material_.params = &params;
    params.name = c.materialEffect;
    batch_.typeFlags = c.typeFlags;
    EXPECT_TRUE(RenderBulletInstances(&scene_, &batch_, &node_, &camera_)) << c.materialEffect;
    GpuxEffect* effect = Effect(c.effect);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->GetCurrentTechnique(), effect->GetTechniqueByName(c.technique))
        << std::hex << c.typeFlags << " " << c.materialEffect;
    VbRecRelease(&node_);
  }
  material_.params = nullptr;
}

TEST_F(ParticleDrawing, InstancedGeometryWithoutWhatItNeedsIsNotDrawn) {
  EXPECT_FALSE(RenderBulletInstances(&scene_, &batch_, &node_, &camera_)) << "no buffers";
  FillDrawObject(0);
  EXPECT_FALSE(RenderBulletInstances(&scene_, &batch_, &node_, &camera_)) << "nothing filled";
  node_.vertexBuffer->filled = 3;
  node_.material = nullptr;
  EXPECT_FALSE(RenderBulletInstances(&scene_, &batch_, &node_, &camera_)) << "no material";
  node_.material = &material_;
  node_.verticesPerInstance = 0;
  GpuNullClearLog();
  EXPECT_TRUE(RenderBulletInstances(&scene_, &batch_, &node_, &camera_));
  EXPECT_TRUE(Draws().empty());
}

TEST_F(ParticleDrawing, FailedInstanceStreamEndsTheEffect) {
  FillDrawObject(3);
  GpuInjectResult("SetStreamSource", kGpuErrInvalidCall);
  EXPECT_FALSE(RenderBulletInstances(&scene_, &batch_, &node_, &camera_));
  EXPECT_TRUE(Draws().empty());
  GpuxEffect* effect = Effect("effects");
  uint32_t passes = 0;
  EXPECT_EQ(effect->Begin(&passes, 0), kGpuOk);
  effect->End();
}

// The shipped programs build on the OpenGL device and offer the techniques the drawing asks for.
class ShippedDrawingEffects : public GpuDeviceFixture {};

TEST_F(ShippedDrawingEffects, ParticleAndInstanceTechniquesBuildOnOpenGl) {
  ASSERT_TRUE(Open(kGpuBackendOpenGl));
  struct Case {
    const char* file;
    std::vector<const char*> techniques;
  };
  const Case kCases[] = {{"particles.fb", {"BASE_NoLight"}}, {"effects.fb", {"INSTANCE", "INSTANCE_BULLETS"}}};
  for (const Case& c : kCases) {
    const std::string text = ShippedEffect(c.file);
    GpuxEffect* effect = nullptr;
    std::string errors;
    ASSERT_EQ(GpuxCreateEffect(device_, text.data(), text.size(), c.file, &effect, &errors), kGpuOk) << errors;
    for (const char* name : c.techniques) {
      EXPECT_EQ(effect->ValidateTechnique(effect->GetTechniqueByName(name)), kGpuOk) << c.file << " " << name;
    }
    effect->Release();
  }
}

}  // namespace
