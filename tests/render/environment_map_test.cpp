// The environment map: the cube's levels with and without generated mip maps, the fallback and
// the switch-off after failed creations, a pass that cannot begin, the six face views and the
// camera rotation a face leaves (null device); and on the OpenGL device a closed box of six
// coloured walls drawn through the six faces, each face of the cube holding its wall's colour.
#include "render/environment_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "platform/gpu_effect.h"
#include "platform/gpu_envmap.h"
#include "platform/gpu_math.h"
#include "platform/gpu_null.h"
#include "render/render_matrices.h"
#include "scene/camera_records.h"
#include "scene/scene_records.h"
#include "support/render_world.h"

namespace {

class EnvironmentMap : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    record_.presentParameters.enableAutoDepthStencil = 1;
    record_.presentParameters.autoDepthStencilFormat = kGpuFmtD24S8;
    saved_ = gRenderMatrices;
    gRenderMatrices = RenderMatrixSet{&projection_, &screen_, &view_, &world_, &rotation_};
    camera_.fieldOfView = 0x4000;
    camera_.aspectWidth = camera_.aspectHeight = kFixedOne;
    GpuNullClearLog();
  }
  void TearDown() override {
    if (gEnvCubeTexture) gEnvCubeTexture->Release();
    if (gEnvMapRenderer) gEnvMapRenderer->Release();
    gEnvCubeTexture = nullptr;
    gEnvMapRenderer = nullptr;
    gRenderMatrices = saved_;
    RenderWorld::TearDown();
  }
  bool Logged(const std::string& prefix) {
    for (const std::string& line : GpuNullLog())
      if (line.rfind(prefix, 0) == 0) return true;
    return false;
  }

  RenderMatrixSet saved_{};
  GpuMatrix projection_{}, screen_{}, view_{}, world_{}, rotation_{};
  SceneRecord scene_{};
  CameraRecord camera_{};
};

// A device that cannot generate mip maps.
class EnvironmentMapWithoutAutoGen : public EnvironmentMap {
 protected:
  void SetUp() override {
    GpuAdapterModel model = GpuDefaultAdapterModel(16, true);
    model.caps.caps2 &= ~kGpuCaps2CanAutoGenMipmap;
    GpuSetAdapterModels({model});
    EnvironmentMap::SetUp();
  }
};

GpuSurfaceDesc TopLevel() {
  GpuSurfaceDesc desc{};
  EXPECT_EQ(gEnvCubeTexture->GetLevelDesc(0, &desc), kGpuOk);
  return desc;
}

TEST_F(EnvironmentMap, GeneratedMipMapsAreAskedForWithLinearFilter) {
  EnvMapCreate();
  ASSERT_NE(gEnvMapRenderer, nullptr);
  ASSERT_NE(gEnvCubeTexture, nullptr);
  EXPECT_EQ(TopLevel().usage, kGpuUsageRenderTarget | kGpuUsageAutoGenMipmap);
  EXPECT_EQ(TopLevel().width, 256u);
  EXPECT_EQ(gEnvCubeTexture->GetAutoGenFilterType(), kGpuTexFilterLinear);
  EXPECT_TRUE(Logged("CreateCubeTexture(256, 0, 0x401, 0x16, 0)"));
  EXPECT_EQ(block_.d3dFlags2 & kD3D2NoEnvMap, 0u);
}

TEST_F(EnvironmentMapWithoutAutoGen, WithoutTheCapabilityTheCubeHasOneLevel) {
  EnvMapCreate();
  ASSERT_NE(gEnvCubeTexture, nullptr);
  EXPECT_EQ(gEnvCubeTexture->GetLevelCount(), 1u);
  EXPECT_EQ(TopLevel().usage, kGpuUsageRenderTarget);
  EXPECT_FALSE(Logged("CreateCubeTexture(256, 0,"));
}

TEST_F(EnvironmentMap, TwoFailedAutoGenAttemptsFallBackToOneLevel) {
  GpuInjectResult("CreateCubeTexture", kGpuErrOutOfVideoMemory, 2);
  EnvMapCreate();
  ASSERT_NE(gEnvCubeTexture, nullptr);
  EXPECT_EQ(gEnvCubeTexture->GetLevelCount(), 1u);
  EXPECT_EQ(TopLevel().usage, kGpuUsageRenderTarget);
}

TEST_F(EnvironmentMap, FailedCreationSwitchesEnvironmentMapsOffAndPassesAreSkipped) {
  GpuInjectResult("CreateCubeTexture", kGpuErrOutOfVideoMemory, 4);
  EnvMapCreate();
  EXPECT_EQ(gEnvMapRenderer, nullptr);
  EXPECT_EQ(gEnvCubeTexture, nullptr);
  EXPECT_EQ(block_.d3dFlags2 & kD3D2NoEnvMap, kD3D2NoEnvMap);
  EXPECT_EQ(EnvMapBegin(), 1);
  GpuNullClearLog();
  EnvMapEnd();
  EXPECT_FALSE(Logged("SetRenderTarget"));
  EXPECT_FALSE(Logged("SetDepthStencilSurface"));
  EXPECT_TRUE(Logged("SetRenderState")) << "the end still resets the render states";
}

TEST_F(EnvironmentMap, ACubeThatCannotBeginSkipsTheFaces) {
  EnvMapCreate();
  EXPECT_EQ(EnvMapBegin(), 0);
  // The renderer refuses a second begin before the end.
  EXPECT_EQ(EnvMapBegin(), 1);
  EnvMapEnd();
}

TEST_F(EnvironmentMap, FacesLookAlongTheirAxesWithTheirUpVectors) {
  struct Case {
    GpuVector3 at;
    GpuVector3 up;
  };
  const Case kFaces[6] = {{{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}},
                          {{0, -1, 0}, {0, 0, 1}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}}};
  for (uint32_t face = 0; face < 6; ++face) {
    const GpuMatrix view = CubeFaceViewMatrix(face);
    GpuVector4 forward, up;
    GpuxVec3Transform(&forward, &kFaces[face].at, &view);
    GpuxVec3Transform(&up, &kFaces[face].up, &view);
    EXPECT_NEAR(forward.x, 0, 1e-6) << face;
    EXPECT_NEAR(forward.y, 0, 1e-6) << face;
    EXPECT_NEAR(forward.z, 1, 1e-6) << face;
    EXPECT_NEAR(up.x, 0, 1e-6) << face;
    EXPECT_NEAR(up.y, 1, 1e-6) << face;
    EXPECT_NEAR(up.z, 0, 1e-6) << face;
  }
}

TEST_F(EnvironmentMap, AFaceGivesTheCameraItsRotationAndTheTargetsViewport) {
  EnvMapCreate();
  ASSERT_EQ(EnvMapBegin(), 0);
  ASSERT_EQ(gEnvMapRenderer->Face(2, 1), kGpuOk);
  camera_.fieldOfView = 0x2000;
  GpuNullClearLog();
  ASSERT_TRUE(EnvMapBeginFace(&scene_, &camera_, 2));
  // Face +Y: the camera looks up the y axis (its third row) with -z as its up (its second row).
  const FixedMatrix& r = camera_.instance.worldMatrix;
  const int32_t kRows[3][4] = {{kFixedOne, 0, 0, 0}, {0, 0, -kFixedOne, 0}, {0, kFixedOne, 0, 0}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(r.m[i][j], kRows[i][j]) << i << "," << j;
  // The camera's own view is now the face's.
  const GpuMatrix again = CameraViewMatrix(&camera_, 0.01f);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(again.m[i][j], view_.m[i][j], 1e-6) << i << "," << j;
  EXPECT_EQ(gRenderFieldOfView, 0x2000u);
  EXPECT_TRUE(Logged("SetViewport(0, 0, 256, 256"));
  EnvMapEnd();
}

TEST_F(EnvironmentMap, AFailedEndGivesTheDeviceItsOwnTargetsBack) {
  EnvMapCreate();
  ASSERT_EQ(device_->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &record_.backBuffer), kGpuOk);
  ASSERT_EQ(device_->GetDepthStencilSurface(&record_.depthStencil), kGpuOk);
  GpuNullClearLog();
  EnvMapEnd();  // not begun: the renderer refuses to end
  EXPECT_TRUE(Logged("SetRenderTarget(0, backbuffer)"));
  EXPECT_TRUE(Logged("SetDepthStencilSurface("));
  record_.backBuffer->Release();
  record_.depthStencil->Release();
}

// ---- On the OpenGL device -----------------------------------------------------------------------

const char kWallEffect[] = R"(param float4x4 g_mWorldViewProjection
param float4 g_Color = 1 1 1 1
technique T
pass P
state CullMode = NONE
state ZEnable = TRUE
vertex
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
void main() { gl_Position = vec4(inPosition, 1.0) * g_mWorldViewProjection; }
end
fragment
void main() { gpu_FragColor = g_Color; }
end
)";

class EnvironmentMapOnGl : public EnvironmentMap {
 public:
  EnvironmentMapOnGl() { backend_ = kGpuBackendOpenGl; }
};

TEST_F(EnvironmentMapOnGl, SixColouredWallsFillTheirCubeFaces) {
  EnvMapCreate();
  ASSERT_NE(gEnvCubeTexture, nullptr);
  GpuxEffect* effect = nullptr;
  std::string errors;
  ASSERT_EQ(GpuxCreateEffect(device_, kWallEffect, sizeof kWallEffect - 1, "walls", &effect, &errors), kGpuOk)
      << errors;
  const GpuVertexElement elements[] = {{0, 0, kGpuDeclTypeFloat3, 0, kGpuDeclUsagePosition, 0}, kGpuDeclEnd};
  GpuVertexDeclaration* declaration = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), kGpuOk);
  // A closed box 10 units out on every axis (beyond the projection's near plane at 6); wall n
  // faces cube face n.
  const float kColours[6][4] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 1, 1}, {1, 0, 1, 1}};
  const uint32_t kExpected[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
  struct Wall {
    int axis;
    float sign;
  };
  const Wall kWalls[6] = {{0, 1}, {0, -1}, {1, 1}, {1, -1}, {2, 1}, {2, -1}};
  ASSERT_EQ(EnvMapBegin(), 0);
  for (uint32_t face = 0; face < 6; ++face) {
    ASSERT_EQ(gEnvMapRenderer->Face(face, 1), kGpuOk);
    device_->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, 0, 1.0f, 0);
    ASSERT_TRUE(EnvMapBeginFace(&scene_, &camera_, face));
    GpuMatrix vp;
    GpuxMatrixMultiply(&vp, gRenderMatrices.view, gRenderMatrices.projection);
    effect->SetMatrix(effect->GetParameterByName(0, "g_mWorldViewProjection"), &vp);
    device_->SetVertexDeclaration(declaration);
    for (int w = 0; w < 6; ++w) {
      float corners[4][3];
      const int a = kWalls[w].axis, b = (a + 1) % 3, c = (a + 2) % 3;
      const float kSigns[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
      for (int k = 0; k < 4; ++k) {
        corners[k][a] = 10.0f * kWalls[w].sign;
        corners[k][b] = 10.0f * kSigns[k][0];
        corners[k][c] = 10.0f * kSigns[k][1];
      }
      const GpuVector4 colour{kColours[w][0], kColours[w][1], kColours[w][2], kColours[w][3]};
      effect->SetVector(effect->GetParameterByName(0, "g_Color"), &colour);
      uint32_t passes = 0;
      ASSERT_EQ(effect->Begin(&passes, kGpuxFxDoNotSaveState), kGpuOk);
      effect->BeginPass(0);
      device_->DrawPrimitiveUP(kGpuPtTriangleStrip, 2, corners, sizeof corners[0]);
      effect->EndPass();
      effect->End();
    }
  }
  EnvMapEnd();
  for (uint32_t face = 0; face < 6; ++face) {
    GpuSurface* surface = nullptr;
    ASSERT_EQ(gEnvCubeTexture->GetCubeMapSurface(face, 0, &surface), kGpuOk);
    GpuSurface* copy = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(256, 256, kGpuFmtX8R8G8B8, kGpuPoolSystemMem, &copy), kGpuOk);
    ASSERT_EQ(device_->GetRenderTargetData(surface, copy), kGpuOk);
    GpuLockedRect locked;
    ASSERT_EQ(copy->LockRect(&locked, nullptr, kGpuLockReadOnly), kGpuOk);
    const int kPoints[][2] = {{128, 128}, {20, 20}, {235, 30}, {40, 230}};
    for (const auto& p : kPoints) {
      uint32_t pixel = 0;
      std::memcpy(&pixel, static_cast<const uint8_t*>(locked.bits) + p[1] * locked.pitch + p[0] * 4, 4);
      EXPECT_EQ(pixel & 0xFFFFFF, kExpected[face]) << "face " << face << " at " << p[0] << "," << p[1];
    }
    copy->UnlockRect();
    copy->Release();
    surface->Release();
  }
  declaration->Release();
  effect->Release();
}

}  // namespace
