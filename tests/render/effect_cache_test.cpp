// The effect cache on the null device with effect files in a temporary game folder: variants
// as independent interfaces of one file, the whole-object release and name removal when a later
// variant fails, the out-of-memory retry, the state manager on every interface; the texture
// slot names, the gamma ramp, the release before a device reset and the whole-surface viewport.
#include "render/effect_cache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "platform/gpu_effect.h"
#include "platform/gpu_envmap.h"
#include "render/draw_batches.h"
#include "render/environment_map.h"
#include "scene/effect_registry.h"
#include "scene/scene_records.h"
#include "support/catalog_world.h"
#include "support/engine_fixture.h"
#include "support/fake_effect.h"
#include "support/render_world.h"

namespace {

const char kFlatEffect[] = R"(# one flat colour
param float4 g_Color = 1 1 1 1
param texture t_DiffuseTexture
technique T
pass P
sampler 0 = t_DiffuseTexture
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0); }
end
fragment
void main() { gpu_FragColor = g_Color * texture(t_DiffuseTexture, vec2(0.5)); }
end
)";

// Fails to parse on its third line.
const char kBrokenEffect[] = "param float4 g_Color\ntechnique T\nwobble\n";

int gHookCalls = 0;
void CountingHook() { ++gHookCalls; }

class EffectCache : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    gSystem = world_.block();  // the game files come from the world's folder and catalogues
    gHookCalls = 0;
    SetLowMemoryHook(CountingHook);
  }
  void TearDown() override {
    FreeEffectRegistry();
    SetLowMemoryHook(nullptr);
    RenderWorld::TearDown();
  }
  uint32_t RegistrySize() { return HashCount(engine_.engine().effectTable); }

  EngineFixture engine_;
  CatalogWorld world_;
};

GpuEffectStateManager* ManagerOf(GpuxEffect* effect) {
  GpuEffectStateManager* manager = nullptr;
  effect->GetStateManager(&manager);
  if (manager) manager->Release();
  return manager;
}

TEST_F(EffectCache, VariantsAreTwoInterfacesOfOneFileFromTheShaderFolder) {
  ASSERT_EQ(world_.AddCatalog(0, "01.cat", {{"shader\\3_0\\z_only.fb", kFlatEffect}}), 1);
  EffectObject* first = EffectGetOrLoad("z_only", 0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first->effects[0], nullptr);
  EXPECT_EQ(first->effects[1], nullptr);
  EXPECT_STREQ(first->name, "z_only");

  EffectObject* second = EffectGetOrLoad("Z_ONLY", 1);
  EXPECT_EQ(second, first);
  ASSERT_NE(first->effects[1], nullptr);
  EXPECT_NE(first->effects[1], first->effects[0]);
  EXPECT_EQ(RegistrySize(), 1u);
  for (GpuxEffect* effect : first->effects) EXPECT_EQ(ManagerOf(effect), context_.stateManager);
  // A second request for a loaded variant reads nothing.
  EXPECT_EQ(EffectGetOrLoad("z_only", 0), first);

  // Another folder has no such file.
  std::strcpy(folder_, "2_0");
  EXPECT_EQ(EffectGetOrLoad("other", 0), nullptr);
  EXPECT_EQ(EffectGetOrLoad("z_only", 2), nullptr);
  EXPECT_EQ(RegistrySize(), 1u);
}

TEST_F(EffectCache, AFailingLaterVariantReleasesBothAndTheNameIsReadAgainNextTime) {
  world_.WriteLoose("shader/3_0/flaky.fb", kFlatEffect);
  EffectGetOrLoad("warm-up", 0);  // the registry's buckets are made once, outside the counts
  const uint32_t before = gMemCounters.currentBytes;
  ASSERT_NE(EffectGetOrLoad("flaky", 0), nullptr);

  world_.WriteLoose("shader/3_0/flaky.fb", kBrokenEffect);
  testing::internal::CaptureStderr();
  EXPECT_EQ(EffectGetOrLoad("flaky", 1), nullptr);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("shader\\3_0\\flaky(3)"), std::string::npos) << message;
  EXPECT_EQ(FindEffectByName("flaky"), nullptr);
  EXPECT_EQ(RegistrySize(), 0u);
  EXPECT_EQ(gMemCounters.currentBytes, before);

  world_.WriteLoose("shader/3_0/flaky.fb", kFlatEffect);
  EffectObject* again = EffectGetOrLoad("flaky", 1);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->effects[0], nullptr);
  EXPECT_NE(again->effects[1], nullptr);
}

TEST_F(EffectCache, OnlyALackOfMemoryIsRetriedOnceAfterTheHook) {
  world_.WriteLoose("shader/3_0/z_only.fb", kFlatEffect);
  struct Case {
    const char* what;
    GpuResult injected;
    uint32_t times;
    bool loads;
    int hookCalls;
  };
  const Case kCases[] = {
      {"out of memory once", kGpuErrOutOfMemory, 1, true, 1},
      {"out of video memory once", kGpuErrOutOfVideoMemory, 1, true, 1},
      {"out of memory twice: two attempts only", kGpuErrOutOfMemory, 2, false, 1},
      {"another failure is not retried", kGpuErrInvalidCall, 1, false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    FreeEffectRegistry();
    gHookCalls = 0;
    GpuInjectResult("CreateEffect", c.injected, c.times);
    EXPECT_EQ(EffectGetOrLoad("z_only", 0) != nullptr, c.loads);
    EXPECT_EQ(gHookCalls, c.hookCalls);
    GpuClearInjections();
  }
}

TEST_F(EffectCache, TextureSlotsNeedALowerCaseTAndIgnoreTheRestsCase) {
  struct Case {
    const char* name;
    int32_t slot;
  };
  const Case kCases[] = {
      {"T_DiffuseTexture", 0},   {"t_diffusetexture", 1}, {"", 0},
      {nullptr, 0},              {"t_BumpTexture", 2},    {"t_SPECULARTEXTURE", 3},
      {"t_LightMapTexture", 4},  {"t_CubeMapTexture", 5}, {"t_DetailTexture", 6},
      {"t_OcclusionTexture", 7}, {"t_Diffuse", 0},        {"g_DiffuseTexture", 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(GetTextureSlotIndex(c.name), c.slot) << (c.name ? c.name : "(null)");
}

TEST_F(EffectCache, GammaRampsFromDarkToWhiteAndValuesAbove255AreClamped) {
  GpuGammaRamp ramp{};
  auto build = [&](uint32_t value) {
    GammaRampBuild(value);
    device_->GetGammaRamp(0, &ramp);
  };
  for (uint32_t white : {255u, 256u, 300u, 0xFFFFFFFFu}) {
    build(white);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(ramp.red[i], 65535) << white << " at " << i;
  }
  build(0);
  for (int i = 0; i < 255; ++i) ASSERT_EQ(ramp.green[i], 0) << i;
  EXPECT_EQ(ramp.green[255], 65535);
  build(128);
  for (int i = 0; i < 256; ++i) {
    ASSERT_NEAR(ramp.blue[i], i * 257, 140) << i;  // exponent 0.9944: close to linear
    ASSERT_EQ(ramp.red[i], ramp.blue[i]);
  }
  build(64);  // darker: the exponent is about 2
  EXPECT_NEAR(ramp.red[128], 16577, 2);
}

TEST_F(EffectCache, ReleaseBeforeResetLeavesNoDefaultPoolObjectAndKeepsEffects) {
  std::vector<std::string> log;
  FakeEffect effect("e", &log);
  EffectObject object{{&effect, nullptr}, nullptr};
  EffectEntry* entry = RegisterEffect("e");
  entry->effect = &object;

  SceneRecord scene{};
  ListInit(&scene.members);
  ListInit(&scene.cameras);
  ListInit(&scene.renderEntries);
  ListAddTail(&engine_.engine().scenes, &scene.node);
  constexpr uint32_t kBufferBytes = 4096;
  auto* batch = static_cast<ParticleBatchRecord*>(MemAlloc(sizeof(ParticleBatchRecord), MemCategoryFlags(kMemCatMaterial)));
  ASSERT_EQ(device_->CreateVertexBuffer(kBufferBytes, kGpuUsageDynamic | kGpuUsageWriteOnly, 0, kGpuPoolDefault,
                                        &batch->vertexBuffer),
            kGpuOk);
  batch->byteSize = kBufferBytes;
  scene.particleBatch = batch;
  context_.videoMemoryBytes = 10000 + kBufferBytes;
  ASSERT_EQ(device_->CreateCubeTexture(16, 1, kGpuUsageRenderTarget, kGpuFmtX8R8G8B8, kGpuPoolDefault, &gEnvCubeTexture),
            kGpuOk);
  ASSERT_EQ(GpuxCreateRenderToEnvMap(device_, 16, 1, kGpuFmtX8R8G8B8, 1, kGpuFmtD24S8, &gEnvMapRenderer), kGpuOk);

  GpuPresentParameters parameters = record_.presentParameters;
  parameters.backBufferFormat = kGpuFmtX8R8G8B8;
  parameters.backBufferCount = 1;
  parameters.windowed = 1;
  EXPECT_EQ(device_->Reset(&parameters), kGpuErrInvalidCall) << "the fixture holds default-pool objects";

  // The effects lose their device objects after the scenes' batches and before the environment
  // map and the bloom targets.
  bool checked = false;
  effect.onLostDevice = [&] {
    checked = true;
    EXPECT_EQ(scene.particleBatch, nullptr);
    EXPECT_NE(gEnvMapRenderer, nullptr);
    EXPECT_NE(gEnvCubeTexture, nullptr);
  };
  RendererOnLostDevice();
  EXPECT_TRUE(checked);
  EXPECT_EQ(log, std::vector<std::string>{"e: lost"});
  EXPECT_EQ(scene.particleBatch, nullptr);
  EXPECT_EQ(context_.videoMemoryBytes, 10000u);
  EXPECT_EQ(gEnvMapRenderer, nullptr);
  EXPECT_EQ(gEnvCubeTexture, nullptr);
  EXPECT_EQ(entry->effect, &object) << "effects stay loaded";
  EXPECT_EQ(device_->Reset(&parameters), kGpuOk);

  entry->effect = nullptr;
  ListRemove(&scene.node);
}

TEST_F(EffectCache, ViewportCoversTheWholeSurface) {
  GpuSurface* target = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(32, 16, kGpuFmtX8R8G8B8, 0, 0, 0, &target), kGpuOk);
  EXPECT_EQ(SetViewportFromSurface(target), kGpuOk);
  GpuViewport viewport{};
  device_->GetViewport(&viewport);
  EXPECT_EQ(viewport.x, 0u);
  EXPECT_EQ(viewport.y, 0u);
  EXPECT_EQ(viewport.width, 32u);
  EXPECT_EQ(viewport.height, 16u);
  EXPECT_EQ(viewport.minZ, 0.0f);
  EXPECT_EQ(viewport.maxZ, 1.0f);
  EXPECT_EQ(SetViewportFromSurface(nullptr), kGpuErrInvalidCall);
  target->Release();
}

// The effects the demo ships: one source per effect, copied into every shader folder.
TEST_F(EffectCache, ShippedEffectsBuildOnTheDevice) {
  const std::filesystem::path folder = std::filesystem::path(KORVANE_SOURCE_DIR) / "data/demo/shaders";
  int count = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (file.path().extension() != ".fb") continue;
    SCOPED_TRACE(file.path().string());
    std::ifstream in(file.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    GpuxEffect* effect = nullptr;
    std::string errors;
    ASSERT_EQ(GpuxCreateEffect(device_, source.data(), source.size(), "shipped", &effect, &errors), kGpuOk) << errors;
    GpuxHandle technique = kGpuxNoHandle;
    EXPECT_EQ(effect->FindNextValidTechnique(kGpuxNoHandle, &technique), kGpuOk);
    effect->Release();
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
