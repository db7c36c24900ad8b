// Effect parameter records set on a real effect on the null device: each kind reaches its
// parameter with the value the kind sends, and a record is refused (nothing set) when the effect
// lacks the name or the current technique does not use the parameter.
#include "render/effect_params.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/gpu_effect.h"
#include "scene/body_records.h"
#include "support/render_world.h"

namespace {

// g_Unused is declared but no pass of USES_ALL names it; the second technique names nothing.
const char kEffect[] = R"(param int g_Int = 9
param bool g_Bool
param float g_Float
param float4 g_Vec2 = 9 9 9 9
param float4 g_Vec3 = 9 9 9 9
param float4 g_Vec4
param float4x4 g_Mat3
param float4x4 g_Mat4
param string g_Text = "old"
param int g_Unused = 9
technique USES_ALL
pass P
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0) * g_Mat3 * g_Mat4; }
end
fragment
// g_Int g_Bool g_Float g_Vec2 g_Vec3 g_Vec4 g_Text
void main() { gpu_FragColor = vec4(g_Float); }
end
technique USES_NONE
pass P
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0); }
end
fragment
void main() { gpu_FragColor = vec4(1.0); }
end
)";

class EffectParams : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    std::string errors;
    ASSERT_EQ(GpuxCreateEffect(device_, kEffect, sizeof kEffect - 1, "p.fb", &effect_, &errors), kGpuOk) << errors;
    effect_->SetTechnique(effect_->GetTechniqueByName("USES_ALL"));
  }
  void TearDown() override {
    if (effect_) effect_->Release();
    RenderWorld::TearDown();
  }
  EffectParamRecord Record(const char* name, int16_t kind) {
    EffectParamRecord r{};
    r.name = const_cast<char*>(name);
    r.kind = kind;
    return r;
  }
  GpuVector4 Vec(const char* name) {
    GpuVector4 v{-1, -1, -1, -1};
    effect_->GetVector(effect_->GetParameterByName(kGpuxNoHandle, name), &v);
    return v;
  }
  GpuMatrix Mat(const char* name) {
    GpuMatrix m{};
    effect_->GetMatrix(effect_->GetParameterByName(kGpuxNoHandle, name), &m);
    return m;
  }
  int32_t Int(const char* name) {
    int32_t v = -1;
    effect_->GetInt(effect_->GetParameterByName(kGpuxNoHandle, name), &v);
    return v;
  }

  GpuxEffect* effect_ = nullptr;
};

TEST_F(EffectParams, EachKindSendsItsValue) {
  EffectParamRecord i = Record("g_Int", kParamLong);
  i.value = -7;
  EffectParamRecord b = Record("g_Bool", kParamBool);
  b.value = 0x101;  // only the flag byte is sent
  EffectParamRecord f = Record("g_Float", kParamFloat);
  const float half = 0.5f;
  std::memcpy(&f.value, &half, sizeof half);
  EffectParamRecord v2 = Record("g_Vec2", kParamFloat2);
  v2.vec2[0] = 1, v2.vec2[1] = 2;
  EffectParamRecord v3 = Record("g_Vec3", kParamFloat3);
  v3.vec3[0] = 1, v3.vec3[1] = 2, v3.vec3[2] = 3;
  EffectParamRecord v4 = Record("g_Vec4", kParamFloat4);
  v4.vec4[0] = 1, v4.vec4[1] = 2, v4.vec4[2] = 3, v4.vec4[3] = 4;
  EffectParamRecord m3 = Record("g_Mat3", kParamMatrix3);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) m3.matrix3[r][c] = 1.0f + r * 4 + c;
  EffectParamRecord m4 = Record("g_Mat4", kParamMatrix4);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m4.matrix4[r][c] = 1.0f + r * 4 + c;
  char text[] = "new";
  EffectParamRecord s = Record("g_Text", kParamString);
  s.text = text;
  for (const EffectParamRecord* r : {&i, &b, &f, &v2, &v3, &v4, &m3, &m4, &s}) {
    SCOPED_TRACE(r->name);
    EXPECT_TRUE(ApplyEffectParam(effect_, r));
  }
  EXPECT_EQ(Int("g_Int"), -7);
  EXPECT_EQ(Int("g_Bool"), 1);
  float got = 0;
  effect_->GetFloat(effect_->GetParameterByName(kGpuxNoHandle, "g_Float"), &got);
  EXPECT_FLOAT_EQ(got, 0.5f);
  struct VecCase {
    const char* name;
    GpuVector4 want;
  };
  const VecCase kVecs[] = {{"g_Vec2", {1, 2, 0, 0}}, {"g_Vec3", {1, 2, 3, 0}}, {"g_Vec4", {1, 2, 3, 4}}};
  for (const VecCase& c : kVecs) {
    SCOPED_TRACE(c.name);
    const GpuVector4 v = Vec(c.name);
    EXPECT_EQ(v.x, c.want.x);
    EXPECT_EQ(v.y, c.want.y);
    EXPECT_EQ(v.z, c.want.z);
    EXPECT_EQ(v.w, c.want.w);
  }
  // The 3 x 3 kind fills the upper 3 x 3 only: the fourth row and column stay zero.
  const GpuMatrix a = Mat("g_Mat3");
  const GpuMatrix full = Mat("g_Mat4");
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(a.m[r][c], r < 3 && c < 3 ? 1.0f + r * 4 + c : 0.0f) << r << "," << c;
      EXPECT_EQ(full.m[r][c], 1.0f + r * 4 + c);
    }
  }
  const char* value = nullptr;
  effect_->GetString(effect_->GetParameterByName(kGpuxNoHandle, "g_Text"), &value);
  EXPECT_STREQ(value, "new");
}

TEST_F(EffectParams, ARecordTheTechniqueDoesNotUseIsRefused) {
  struct Case {
    const char* what;
    const char* name;
    const char* technique;
  };
  const Case kCases[] = {
      {"not declared", "g_Missing", "USES_ALL"},
      {"declared, not used", "g_Unused", "USES_ALL"},
      {"used by another technique", "g_Int", "USES_NONE"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    effect_->SetTechnique(effect_->GetTechniqueByName(c.technique));
    EffectParamRecord r = Record(c.name, kParamLong);
    r.value = 1;
    EXPECT_FALSE(ApplyEffectParam(effect_, &r));
  }
  EXPECT_EQ(Int("g_Unused"), 9);
  EXPECT_EQ(Int("g_Int"), 9);
  EffectParamRecord r = Record("g_Int", kParamLong);
  EXPECT_FALSE(ApplyEffectParam(nullptr, &r));
  EXPECT_FALSE(ApplyEffectParam(effect_, nullptr));
}

}  // namespace
