// Effects from ".fb" text: a file with two techniques (the first above the device's profile),
// every parameter type and a struct array of lights; lookups, set and read back, defaults and
// annotations, IsParameterUsed per technique, FindNextValidTechnique skipping the first;
// BeginPass sending the pass's states, textures, programs and constants to a recording state
// manager in order; parameter blocks replaying their calls; broken files failing with their
// line; and on the OpenGL device a pass drawing the colour its parameters give.
#include "platform/gpu_effect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gpu_effect_file.h"
#include "support/gpu_fixture.h"

namespace {

const char kEffect[] = R"(# a test effect
param float4x4 g_mWorld
param float3x3 g_mRot
param float g_AlphaValue = 0.5
annotation string UIName = "Alpha"
annotation float UIMax = 2
param float2 g_Scale = 1, 2
param float3 g_Dir = 0 0 1
param float4 g_Color = 1 0 0 1
param int g_CullMode = 3
param bool g_ZEnable = true
param float g_SrcBlend = 5
param texture t_Diffuse
param texturecube t_Env
param string g_Name = "plain"
param struct g_LightPoint[10] { float3 pos, float4 color, float4 atten }
param float g_Unused = 7

technique HIGH ps_3_0
pass P0
state CullMode = g_CullMode
sampler 1 = t_Env
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0) * g_mWorld; }
end
fragment
void main() { gpu_FragColor = g_LightPoint[2].color + texture(t_Env, g_Dir); }
end

technique DEFAULT ps_2_0
annotation string Kind = "base"
pass P0
annotation string RenderColorTarget0 = "t_SceneMap"
state ZEnable = g_ZEnable
state CullMode = g_CullMode
state SrcBlend = g_SrcBlend
state DestBlend = INVSRCALPHA
sampler 0 = t_Diffuse
samplerstate 0 MinFilter = LINEAR
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0) * g_mWorld; }
end
fragment
void main() { gpu_FragColor = g_Color * texture(t_Diffuse, vec2(0.5)) * g_AlphaValue; }
end
)";

// Records every call as a line; constants as the first register's four values.
class RecordingManager final : public GpuEffectStateManager {
 public:
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
  GpuResult SetTransform(uint32_t state, const GpuMatrix*) override { return Log("SetTransform", state); }
  GpuResult SetMaterial(const GpuMaterial*) override { return Log("SetMaterial"); }
  GpuResult SetLight(uint32_t index, const GpuLight*) override { return Log("SetLight", index); }
  GpuResult LightEnable(uint32_t index, int32_t enable) override { return Log("LightEnable", index, enable); }
  GpuResult SetRenderState(uint32_t state, uint32_t value) override { return Log("SetRenderState", state, value); }
  GpuResult SetTexture(uint32_t stage, GpuBaseTexture* texture) override {
    return Log("SetTexture", stage, texture ? 1 : 0);
  }
  GpuResult SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override {
    return Log("SetTextureStageState", stage, type, value);
  }
  GpuResult SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value) override {
    return Log("SetSamplerState", sampler, type, value);
  }
  GpuResult SetNPatchMode(float) override { return Log("SetNPatchMode"); }
  GpuResult SetFVF(uint32_t fvf) override { return Log("SetFVF", fvf); }
  GpuResult SetVertexShader(GpuVertexShader* shader) override { return Log("SetVertexShader", shader ? 1 : 0); }
  GpuResult SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) override {
    vs.assign(data, data + count * 4);
    return Log("SetVertexShaderConstantF", start, count);
  }
  GpuResult SetVertexShaderConstantI(uint32_t start, const int32_t*, uint32_t count) override {
    return Log("SetVertexShaderConstantI", start, count);
  }
  GpuResult SetVertexShaderConstantB(uint32_t start, const int32_t*, uint32_t count) override {
    return Log("SetVertexShaderConstantB", start, count);
  }
  GpuResult SetPixelShader(GpuPixelShader* shader) override { return Log("SetPixelShader", shader ? 1 : 0); }
  GpuResult SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) override {
    ps.assign(data, data + count * 4);
    return Log("SetPixelShaderConstantF", start, count);
  }
  GpuResult SetPixelShaderConstantI(uint32_t start, const int32_t*, uint32_t count) override {
    return Log("SetPixelShaderConstantI", start, count);
  }
  GpuResult SetPixelShaderConstantB(uint32_t start, const int32_t*, uint32_t count) override {
    return Log("SetPixelShaderConstantB", start, count);
  }

  template <typename... Args>
  GpuResult Log(const char* name, Args... args) {
    std::string line = std::string(name) + "(";
    bool first = true;
    ((line += (first ? "" : ", ") + std::to_string(args), first = false), ...);
    lines.push_back(line + ")");
    return kGpuOk;
  }

  uint32_t refs = 1;
  std::vector<std::string> lines;
  std::vector<float> vs, ps;
};

class GpuEffectTest : public GpuDeviceFixture {
 public:
  void OpenWithProfile(GpuBackend backend, const char* profile) {
    GpuAdapterModel model = GpuDefaultAdapterModel(16, false);
    model.pixelShaderProfile = profile;
    GpuSetAdapterModels({model});
    ASSERT_TRUE(Open(backend));
  }

  void TearDown() override {
    if (effect_) {
      EXPECT_EQ(effect_->Release(), 0u);
    }
    effect_ = nullptr;
    GpuDeviceFixture::TearDown();
  }

  void Create(const char* text = kEffect) {
    std::string errors;
    ASSERT_EQ(GpuxCreateEffect(device_, text, std::strlen(text), "test.fb", &effect_, &errors), kGpuOk) << errors;
  }

  GpuxHandle Param(const char* name) { return effect_->GetParameterByName(kGpuxNoHandle, name); }

  GpuxEffect* effect_ = nullptr;
};

TEST_F(GpuEffectTest, FindNextValidTechniqueSkipsTechniquesAboveTheDeviceProfile) {
  OpenWithProfile(kGpuBackendNull, "ps_2_0");
  Create();
  GpuxHandle high = effect_->GetTechniqueByName("HIGH"), base = effect_->GetTechniqueByName("DEFAULT");
  ASSERT_NE(high, kGpuxNoHandle);
  ASSERT_NE(base, kGpuxNoHandle);
  EXPECT_EQ(effect_->GetTechniqueByName("LOW"), kGpuxNoHandle);
  GpuxHandle next = kGpuxNoHandle;
  EXPECT_EQ(effect_->FindNextValidTechnique(kGpuxNoHandle, &next), kGpuOk);
  EXPECT_EQ(next, base);
  EXPECT_EQ(effect_->GetCurrentTechnique(), base);
  EXPECT_EQ(effect_->FindNextValidTechnique(base, &next), kGpuErrInvalidCall);
  EXPECT_EQ(next, kGpuxNoHandle);
  EXPECT_EQ(effect_->ValidateTechnique(high), kGpuErrInvalidCall);
  ASSERT_EQ(effect_->SetTechnique(high), kGpuOk);
  uint32_t passes = 0;
  EXPECT_EQ(effect_->Begin(&passes, kGpuxFxDoNotSaveState), kGpuErrInvalidCall);

  effect_->Release();
  effect_ = nullptr;
  Close();
  OpenWithProfile(kGpuBackendNull, "ps_3_0");
  Create();
  EXPECT_EQ(effect_->FindNextValidTechnique(kGpuxNoHandle, &next), kGpuOk);
  EXPECT_EQ(next, effect_->GetTechniqueByName("HIGH"));
}

TEST_F(GpuEffectTest, ParametersSetAndReadBackByType) {
  OpenWithProfile(kGpuBackendNull, "ps_3_0");
  Create();
  int32_t i = 0;
  float f = 0;
  GpuVector4 v{};
  GpuMatrix m{};
  const char* text = nullptr;
  // Defaults.
  EXPECT_EQ(effect_->GetFloat(Param("g_AlphaValue"), &f), kGpuOk);
  EXPECT_FLOAT_EQ(f, 0.5f);
  EXPECT_EQ(effect_->GetVector(Param("g_Scale"), &v), kGpuOk);
  EXPECT_FLOAT_EQ(v.y, 2.0f);
  EXPECT_EQ(effect_->GetInt(Param("g_CullMode"), &i), kGpuOk);
  EXPECT_EQ(i, 3);
  EXPECT_EQ(effect_->GetBool(Param("g_ZEnable"), &i), kGpuOk);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(effect_->GetString(Param("g_Name"), &text), kGpuOk);
  EXPECT_STREQ(text, "plain");
  // Set and read back.
  EXPECT_EQ(effect_->SetBool(Param("g_ZEnable"), 0), kGpuOk);
  EXPECT_EQ(effect_->GetBool(Param("g_ZEnable"), &i), kGpuOk);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(effect_->SetInt(Param("g_CullMode"), 1), kGpuOk);
  EXPECT_EQ(effect_->GetInt(Param("g_CullMode"), &i), kGpuOk);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(effect_->SetFloat(Param("g_CullMode"), 2.0f), kGpuOk);  // a float into an int
  EXPECT_EQ(effect_->GetInt(Param("g_CullMode"), &i), kGpuOk);
  EXPECT_EQ(i, 2);
  const GpuVector4 color{0.25f, 0.5f, 0.75f, 1.0f};
  EXPECT_EQ(effect_->SetVector(Param("g_Dir"), &color), kGpuOk);
  EXPECT_EQ(effect_->GetVector(Param("g_Dir"), &v), kGpuOk);
  EXPECT_FLOAT_EQ(v.z, 0.75f);
  EXPECT_FLOAT_EQ(v.w, 0.0f);  // a float3 keeps three
  GpuMatrix world;
  for (int k = 0; k < 16; ++k) world.m[k / 4][k % 4] = float(k + 1);
  EXPECT_EQ(effect_->SetMatrix(Param("g_mWorld"), &world), kGpuOk);
  EXPECT_EQ(effect_->GetMatrix(Param("g_mWorld"), &m), kGpuOk);
  EXPECT_EQ(std::memcmp(&m, &world, sizeof m), 0);
  EXPECT_EQ(effect_->SetMatrix(Param("g_mRot"), &world), kGpuOk);
  EXPECT_EQ(effect_->GetMatrix(Param("g_mRot"), &m), kGpuOk);
  EXPECT_FLOAT_EQ(m.m[2][2], 11.0f);
  EXPECT_FLOAT_EQ(m.m[3][3], 1.0f);
  EXPECT_FLOAT_EQ(m.m[0][3], 0.0f);
  EXPECT_EQ(effect_->SetString(Param("g_Name"), "glow"), kGpuOk);
  EXPECT_EQ(effect_->GetString(Param("g_Name"), &text), kGpuOk);
  EXPECT_STREQ(text, "glow");
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &texture), kGpuOk);
  EXPECT_EQ(effect_->SetTexture(Param("t_Diffuse"), texture), kGpuOk);
  GpuBaseTexture* back = nullptr;
  EXPECT_EQ(effect_->GetTexture(Param("t_Diffuse"), &back), kGpuOk);
  EXPECT_EQ(back, static_cast<GpuBaseTexture*>(texture));
  back->Release();
  EXPECT_EQ(texture->Release(), 1u);  // the effect's own reference keeps it
  // Wrong types and handles.
  EXPECT_EQ(effect_->SetMatrix(Param("g_Color"), &world), kGpuErrInvalidCall);
  EXPECT_EQ(effect_->SetString(Param("g_Color"), "x"), kGpuErrInvalidCall);
  EXPECT_EQ(effect_->SetFloat(Param("g_LightPoint"), 1.0f), kGpuErrInvalidCall);
  EXPECT_EQ(effect_->SetFloat(0x12345, 1.0f), kGpuErrInvalidCall);
  EXPECT_EQ(effect_->SetTexture(Param("g_Color"), nullptr), kGpuErrInvalidCall);
}

TEST_F(GpuEffectTest, StructArrayElementsAndMembersAndAnnotations) {
  OpenWithProfile(kGpuBackendNull, "ps_3_0");
  Create();
  GpuxHandle lights = Param("g_LightPoint");
  ASSERT_NE(lights, kGpuxNoHandle);
  EXPECT_EQ(effect_->GetParameterByName(lights, "pos"), kGpuxNoHandle);  // members belong to elements
  EXPECT_EQ(effect_->GetParameterElement(lights, 10), kGpuxNoHandle);
  GpuxHandle third = effect_->GetParameterElement(lights, 3);
  GpuxHandle pos = effect_->GetParameterByName(third, "pos");
  GpuxHandle atten = effect_->GetParameterByName(third, "atten");
  ASSERT_NE(pos, kGpuxNoHandle);
  ASSERT_NE(atten, kGpuxNoHandle);
  EXPECT_EQ(effect_->GetParameterByName(third, "range"), kGpuxNoHandle);
  EXPECT_NE(effect_->GetParameterByName(effect_->GetParameterElement(lights, 4), "pos"), pos);
  const GpuVector4 p{1, 2, 3, 4};
  EXPECT_EQ(effect_->SetVector(pos, &p), kGpuOk);
  GpuVector4 v{};
  EXPECT_EQ(effect_->GetVector(pos, &v), kGpuOk);
  EXPECT_FLOAT_EQ(v.y, 2.0f);
  EXPECT_EQ(effect_->GetVector(effect_->GetParameterByName(effect_->GetParameterElement(lights, 4), "pos"), &v), kGpuOk);
  EXPECT_FLOAT_EQ(v.y, 0.0f);

  const char* text = nullptr;
  float f = 0;
  EXPECT_EQ(effect_->GetString(effect_->GetAnnotationByName(Param("g_AlphaValue"), "UIName"), &text), kGpuOk);
  EXPECT_STREQ(text, "Alpha");
  EXPECT_EQ(effect_->GetFloat(effect_->GetAnnotationByName(Param("g_AlphaValue"), "UIMax"), &f), kGpuOk);
  EXPECT_FLOAT_EQ(f, 2.0f);
  GpuxHandle base = effect_->GetTechniqueByName("DEFAULT");
  EXPECT_EQ(effect_->GetString(effect_->GetAnnotationByName(base, "Kind"), &text), kGpuOk);
  EXPECT_STREQ(text, "base");
  GpuxHandle pass = effect_->GetPass(base, 0);
  EXPECT_EQ(effect_->GetString(effect_->GetAnnotationByName(pass, "RenderColorTarget0"), &text), kGpuOk);
  EXPECT_STREQ(text, "t_SceneMap");
  EXPECT_EQ(effect_->GetAnnotationByName(effect_->GetPass(effect_->GetTechniqueByName("HIGH"), 0), "RenderColorTarget0"),
            kGpuxNoHandle);
  EXPECT_EQ(effect_->GetPass(base, 1), kGpuxNoHandle);
  // Annotations are read, never set.
  EXPECT_EQ(effect_->SetFloat(effect_->GetAnnotationByName(Param("g_AlphaValue"), "UIMax"), 3.0f), kGpuErrInvalidCall);
}

TEST_F(GpuEffectTest, ParameterUseFollowsProgramsAndBoundStatesPerTechnique) {
  OpenWithProfile(kGpuBackendNull, "ps_3_0");
  Create();
  GpuxHandle high = effect_->GetTechniqueByName("HIGH"), base = effect_->GetTechniqueByName("DEFAULT");
  GpuxHandle member = effect_->GetParameterByName(effect_->GetParameterElement(Param("g_LightPoint"), 9), "atten");
  struct Case {
    GpuxHandle parameter;
    int32_t high, base;
  };
  const Case kCases[] = {
      {Param("g_mWorld"), 1, 1},   {Param("g_LightPoint"), 1, 0}, {member, 1, 0},
      {Param("g_ZEnable"), 0, 1},  {Param("g_CullMode"), 1, 1},   {Param("t_Env"), 1, 0},
      {Param("t_Diffuse"), 0, 1},  {Param("g_Dir"), 1, 0},        {Param("g_Unused"), 0, 0},
      {Param("g_Name"), 0, 0},
  };
  for (size_t k = 0; k < std::size(kCases); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(effect_->IsParameterUsed(kCases[k].parameter, high), kCases[k].high);
    EXPECT_EQ(effect_->IsParameterUsed(kCases[k].parameter, base), kCases[k].base);
  }
}

TEST_F(GpuEffectTest, BeginPassSendsBoundStatesProgramsAndConstantsInOrder) {
  OpenWithProfile(kGpuBackendNull, "ps_2_0");
  Create();
  RecordingManager manager;
  ASSERT_EQ(effect_->SetStateManager(&manager), kGpuOk);
  EXPECT_EQ(manager.refs, 2u);
  GpuMatrix world;
  for (int k = 0; k < 16; ++k) world.m[k / 4][k % 4] = float(k);
  effect_->SetMatrix(Param("g_mWorld"), &world);
  effect_->SetFloat(Param("g_AlphaValue"), 0.25f);
  effect_->SetFloat(Param("g_SrcBlend"), 2.0f);  // set as a float, sent as a state number
  effect_->SetInt(Param("g_CullMode"), 1);
  uint32_t passes = 0;
  ASSERT_EQ(effect_->Begin(&passes, kGpuxFxDoNotSaveState), kGpuOk);
  EXPECT_EQ(passes, 1u);
  ASSERT_EQ(effect_->BeginPass(0), kGpuOk);
  const std::vector<std::string> expected = {
      "SetRenderState(7, 1)",        "SetRenderState(22, 1)",    "SetRenderState(19, 2)",
      "SetRenderState(20, 6)",       "SetTexture(0, 0)",         "SetSamplerState(0, 6, 2)",
      "SetVertexShader(1)",          "SetPixelShader(1)",        "SetVertexShaderConstantF(0, 4)",
      "SetPixelShaderConstantF(0, 2)",
  };
  EXPECT_EQ(manager.lines, expected);
  // Rows of the matrix in order; the fragment program's parameters in declaration order.
  ASSERT_EQ(manager.vs.size(), 16u);
  EXPECT_FLOAT_EQ(manager.vs[4], 4.0f);
  EXPECT_FLOAT_EQ(manager.vs[13], 13.0f);
  ASSERT_EQ(manager.ps.size(), 8u);
  EXPECT_FLOAT_EQ(manager.ps[0], 0.25f);
  EXPECT_FLOAT_EQ(manager.ps[4], 1.0f);  // g_Color red
  // A change during the pass reaches the device at CommitChanges, with the states bound to it.
  manager.lines.clear();
  effect_->SetInt(Param("g_CullMode"), 2);
  ASSERT_EQ(effect_->CommitChanges(), kGpuOk);
  EXPECT_EQ(manager.lines, (std::vector<std::string>{"SetRenderState(7, 1)", "SetRenderState(22, 2)",
                                                      "SetRenderState(19, 2)", "SetTexture(0, 0)",
                                                      "SetVertexShaderConstantF(0, 4)", "SetPixelShaderConstantF(0, 2)"}));
  EXPECT_EQ(effect_->EndPass(), kGpuOk);
  EXPECT_EQ(effect_->End(), kGpuOk);
  EXPECT_EQ(effect_->BeginPass(0), kGpuErrInvalidCall);
  effect_->SetStateManager(nullptr);
  EXPECT_EQ(manager.refs, 1u);
}

TEST_F(GpuEffectTest, ParameterBlocksReplayTheirCalls) {
  OpenWithProfile(kGpuBackendNull, "ps_2_0");
  Create();
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &texture), kGpuOk);
  ASSERT_EQ(effect_->BeginParameterBlock(), kGpuOk);
  EXPECT_EQ(effect_->BeginParameterBlock(), kGpuErrInvalidCall);
  effect_->SetFloat(Param("g_AlphaValue"), 0.75f);
  effect_->SetInt(Param("g_CullMode"), 2);
  effect_->SetString(Param("g_Name"), "block");
  effect_->SetTexture(Param("t_Diffuse"), texture);
  GpuxHandle block = effect_->EndParameterBlock();
  ASSERT_NE(block, kGpuxNoHandle);
  EXPECT_EQ(effect_->EndParameterBlock(), kGpuxNoHandle);
  effect_->SetFloat(Param("g_AlphaValue"), 0.1f);
  effect_->SetInt(Param("g_CullMode"), 3);
  effect_->SetString(Param("g_Name"), "other");
  effect_->SetTexture(Param("t_Diffuse"), nullptr);
  ASSERT_EQ(effect_->ApplyParameterBlock(block), kGpuOk);
  float f = 0;
  int32_t i = 0;
  const char* text = nullptr;
  GpuBaseTexture* back = nullptr;
  effect_->GetFloat(Param("g_AlphaValue"), &f);
  effect_->GetInt(Param("g_CullMode"), &i);
  effect_->GetString(Param("g_Name"), &text);
  effect_->GetTexture(Param("t_Diffuse"), &back);
  EXPECT_FLOAT_EQ(f, 0.75f);
  EXPECT_EQ(i, 2);
  EXPECT_STREQ(text, "block");
  EXPECT_EQ(back, static_cast<GpuBaseTexture*>(texture));
  back->Release();
  EXPECT_EQ(effect_->DeleteParameterBlock(block), kGpuOk);
  EXPECT_EQ(effect_->ApplyParameterBlock(block), kGpuErrInvalidCall);
  EXPECT_EQ(texture->Release(), 1u);  // only the parameter's reference is left
}

TEST_F(GpuEffectTest, BrokenFilesFailNamingTheirLine) {
  OpenWithProfile(kGpuBackendNull, "ps_3_0");
  struct Case {
    const char* text;
    const char* message;
  };
  const Case kCases[] = {
      {"param float a\n\nparam flaot b\n", "test.fb(3): unknown type 'flaot'"},
      {"param float a\ntechnique T\npass P\nstate ZEnable = g_Missing\n", "test.fb(4):"},
      {"param float a\ntechnique T\npass P\nvertex\nvoid main() {}\n", "test.fb(4): program not ended"},
      {"technique T\npass P\nvertex\nend\n", "test.fb(2): pass 'P' needs a vertex and a fragment program"},
      {"technique T\n", "test.fb(1): technique 'T' has no pass"},
      {"param float a\nparam int a\n", "test.fb(2): 'a' declared twice"},
      {"param float4 c = 1 2 3 4 5\n", "test.fb(1): default does not fit 'c'"},
      {"param struct s[100000] { float a }\n", "test.fb(1): array size out of range"},
      {"technique T ps_9_9\n", "test.fb(1): unknown profile 'ps_9_9'"},
      {"pass P\n", "test.fb(1): pass outside a technique"},
      {"", "test.fb(1): no technique"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    std::string errors;
    GpuxEffect* effect = nullptr;
    EXPECT_EQ(GpuxCreateEffect(device_, c.text, std::strlen(c.text), "test.fb", &effect, &errors), kGpuErrInvalidCall);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(errors.rfind(c.message, 0), 0u) << errors;
  }
}

// A full-screen quad in clip space, drawn with the effect's first pass.
class GpuEffectGlTest : public GpuEffectTest {};

const char kColourEffect[] = R"(param float4x4 g_mWorld
param float4 g_Color
param int g_Count = 1
param struct g_LightPoint[4] { float3 pos, float4 color, float4 atten }
technique DEFAULT
pass P0
state CullMode = NONE
state ZEnable = FALSE
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0) * g_mWorld; }
end
fragment
void main() {
  vec4 sum = g_Color;
  for (int i = 0; i < g_Count; ++i) sum += g_LightPoint[i + 1].color;
  gpu_FragColor = sum;
}
end
)";

TEST_F(GpuEffectGlTest, APassDrawsTheColourItsParametersGive) {
  OpenWithProfile(kGpuBackendOpenGl, "ps_3_0");
  Create(kColourEffect);
  GpuMatrix world;
  GpuxMatrixIdentity(&world);
  world.m[0][0] = 0.5f;  // the quad covers the middle half of the width
  effect_->SetMatrix(Param("g_mWorld"), &world);
  const GpuVector4 red{1, 0, 0, 1}, blue{0, 0, 1, 0};
  effect_->SetVector(Param("g_Color"), &red);
  effect_->SetVector(effect_->GetParameterByName(effect_->GetParameterElement(Param("g_LightPoint"), 1), "color"), &blue);
  const GpuVertexElement elements[] = {{0, 0, kGpuDeclTypeFloat3, kGpuDeclMethodDefault, kGpuDeclUsagePosition, 0},
                                       kGpuDeclEnd};
  GpuVertexDeclaration* declaration = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), kGpuOk);
  const float quad[] = {-1, -1, 0.5f, -1, 1, 0.5f, 1, -1, 0.5f, 1, 1, 0.5f};
  ASSERT_EQ(device_->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, 0xFF000000, 1.0f, 0), kGpuOk);
  ASSERT_EQ(device_->BeginScene(), kGpuOk);
  device_->SetVertexDeclaration(declaration);
  uint32_t passes = 0;
  ASSERT_EQ(effect_->Begin(&passes, kGpuxFxDoNotSaveState), kGpuOk);
  ASSERT_EQ(effect_->BeginPass(0), kGpuOk);
  ASSERT_EQ(device_->DrawPrimitiveUP(kGpuPtTriangleStrip, 2, quad, 12), kGpuOk);
  effect_->EndPass();
  effect_->End();
  device_->EndScene();
  GpuSurface* backBuffer = nullptr;
  GpuSurface* copy = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &backBuffer), kGpuOk);
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(64, 64, kGpuFmtX8R8G8B8, kGpuPoolSystemMem, &copy), kGpuOk);
  ASSERT_EQ(device_->GetRenderTargetData(backBuffer, copy), kGpuOk);
  GpuLockedRect locked{};
  ASSERT_EQ(copy->LockRect(&locked, nullptr, kGpuLockReadOnly), kGpuOk);
  auto pixel = [&](int x, int y) {
    uint32_t v;
    std::memcpy(&v, static_cast<uint8_t*>(locked.bits) + y * locked.pitch + x * 4, 4);
    return v & 0xFFFFFF;
  };
  EXPECT_EQ(pixel(32, 32), 0xFF00FFu);  // red plus the second light's blue
  EXPECT_EQ(pixel(20, 5), 0xFF00FFu);
  EXPECT_EQ(pixel(4, 32), 0x000000u);   // outside the quad
  copy->UnlockRect();
  copy->Release();
  backBuffer->Release();
  declaration->Release();
}

TEST_F(GpuEffectGlTest, AProgramThatDoesNotBuildFailsNamingItsLine) {
  OpenWithProfile(kGpuBackendOpenGl, "ps_3_0");
  const char kBroken[] = "param float4 g_Color\ntechnique T\npass P\nvertex\nvoid main() { gl_Position = vec4(0.0); }\n"
                         "end\nfragment\nvoid main() {\n  gpu_FragColor = g_Color * undeclared;\n}\nend\n";
  std::string errors;
  GpuxEffect* effect = nullptr;
  EXPECT_EQ(GpuxCreateEffect(device_, kBroken, sizeof kBroken - 1, "broken.fb", &effect, &errors), kGpuErrInvalidCall);
  EXPECT_EQ(effect, nullptr);
  EXPECT_EQ(errors.rfind("broken.fb(9): fragment program of pass 'P' does not build", 0), 0u) << errors;
}

}  // namespace
