// The recording null device: calls reach its log in order, injected results fail exactly the
// named calls as often as asked, Reset is refused while the caller still holds default-pool
// resources, resources keep their bytes through locks, fills and copies, misuse answers
// kGpuErrInvalidCall, resources outliving their device stay safe, and the adapter model answers
// the system object's questions (a test's model, and the default one).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/gpu.h"
#include "platform/gpu_adapter.h"
#include "platform/gpu_null.h"
#include "platform/image.h"
#include "support/temp_dir.h"

namespace {

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

class NullDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GpuSetBackend(kGpuBackendNull);
    GpuClearInjections();
    system_ = GpuCreateSystem(kGpuSdkVersion);
    ASSERT_NE(system_, nullptr);
    parameters_.backBufferWidth = 64;
    parameters_.backBufferHeight = 64;
    parameters_.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters_.backBufferCount = 1;
    parameters_.swapEffect = kGpuSwapEffectDiscard;
    parameters_.windowed = 1;
    parameters_.enableAutoDepthStencil = 1;
    parameters_.autoDepthStencilFormat = kGpuFmtD24S8;
    ASSERT_EQ(system_->CreateDevice(0, kGpuDevTypeHal, nullptr, kGpuCreateHardwareVertexProcessing, &parameters_, &device_),
              kGpuOk);
    GpuNullClearLog();
  }

  void TearDown() override {
    if (device_) device_->Release();
    system_->Release();
    GpuClearInjections();
    GpuSetAdapterModels({});
    GpuSetBackend(kGpuBackendOpenGl);
  }

  std::vector<uint8_t> Bytes(GpuSurface* surface) {
    GpuLockedRect locked;
    GpuSurfaceDesc desc;
    surface->GetDesc(&desc);
    EXPECT_EQ(surface->LockRect(&locked, nullptr, kGpuLockReadOnly), kGpuOk);
    std::vector<uint8_t> bytes;
    for (uint32_t y = 0; y < desc.height; ++y) {
      const auto* row = static_cast<const uint8_t*>(locked.bits) + static_cast<size_t>(y) * locked.pitch;
      bytes.insert(bytes.end(), row, row + desc.width * GpuFormatBytesPerPixel(desc.format));
    }
    surface->UnlockRect();
    return bytes;
  }

  GpuSystem* system_ = nullptr;
  GpuDevice* device_ = nullptr;
  GpuPresentParameters parameters_{};
};

TEST_F(NullDeviceTest, CallSequenceWritesItsLog) {
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(16, 16, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &texture), kGpuOk);
  struct Vertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
  } quad[4] = {};
  device_->SetTexture(0, texture);
  device_->SetFVF(kGpuFvfXyzRhw | kGpuFvfDiffuse | kGpuFvfTex1);
  device_->SetRenderState(kGpuRsAlphaBlendEnable, 1);
  device_->BeginScene();
  device_->DrawPrimitiveUP(kGpuPtTriangleStrip, 2, quad, sizeof(Vertex));
  device_->EndScene();
  device_->Present(nullptr, nullptr, nullptr, nullptr);
  device_->SetTexture(0, nullptr);
  texture->Release();
  const std::vector<std::string> expected = {
      "CreateTexture(16, 16, 1, 0x0, 0x15, 1)", "SetTexture(0, tex1)", "SetFVF(0x144)", "SetRenderState(27, 1)",
      "BeginScene()", "DrawPrimitiveUP(5, 2, 28)", "EndScene()", "Present()", "SetTexture(0, null)"};
  EXPECT_EQ(GpuNullLog(), expected);
}

TEST_F(NullDeviceTest, InjectedResultsFailTheNamedCallOnce) {
  GpuVertexBuffer* buffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(64, kGpuUsageDynamic | kGpuUsageWriteOnly, 0, kGpuPoolSystemMem, &buffer), kGpuOk);
  struct Case {
    const char* call;
    GpuResult injected;
    std::function<GpuResult()> run;
  };
  GpuTexture* made = nullptr;
  const Case kCases[] = {
      {"CreateTexture", kGpuErrOutOfMemory,
       [&] {
         GpuResult result = device_->CreateTexture(8, 8, 1, 0, kGpuFmtX8R8G8B8, kGpuPoolManaged, &made);
         if (made) made->Release();
         return result;
       }},
      {"CreateTexture", kGpuErrOutOfVideoMemory,
       [&] {
         GpuResult result = device_->CreateTexture(8, 8, 1, kGpuUsageRenderTarget, kGpuFmtA8R8G8B8, kGpuPoolDefault, &made);
         if (made) made->Release();
         return result;
       }},
      {"Lock", kGpuErrWasStillDrawing,
       [&] {
         void* data = nullptr;
         GpuResult result = buffer->Lock(0, 0, &data, kGpuLockDiscard);
         if (GpuSucceeded(result)) buffer->Unlock();
         return result;
       }},
      {"Present", kGpuErrDeviceLost, [&] { return device_->Present(nullptr, nullptr, nullptr, nullptr); }},
      {"Reset", kGpuErrDeviceLost, [&] { return device_->Reset(&parameters_); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.call);
    GpuInjectResult(c.call, c.injected);
    EXPECT_EQ(c.run(), c.injected);
    EXPECT_EQ(c.run(), kGpuOk);
  }
  // An injection for one call leaves the others alone, and a count of two fails twice.
  GpuInjectResult("CreateCubeTexture", kGpuErrOutOfMemory, 2);
  EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, kGpuFmtX8R8G8B8, kGpuPoolManaged, &made), kGpuOk);
  made->Release();
  GpuCubeTexture* cube = nullptr;
  EXPECT_EQ(device_->CreateCubeTexture(8, 1, 0, kGpuFmtX8R8G8B8, kGpuPoolManaged, &cube), kGpuErrOutOfMemory);
  EXPECT_EQ(cube, nullptr);
  EXPECT_EQ(device_->CreateCubeTexture(8, 1, 0, kGpuFmtX8R8G8B8, kGpuPoolManaged, &cube), kGpuErrOutOfMemory);
  ASSERT_EQ(device_->CreateCubeTexture(8, 1, 0, kGpuFmtX8R8G8B8, kGpuPoolManaged, &cube), kGpuOk);
  cube->Release();
  buffer->Release();
}

TEST_F(NullDeviceTest, LostDeviceResetsOnlyAfterDefaultPoolResourcesAreReleased) {
  GpuTexture* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(32, 32, 1, kGpuUsageRenderTarget, kGpuFmtA8R8G8B8, kGpuPoolDefault, &target), kGpuOk);
  GpuTexture* managed = nullptr;
  ASSERT_EQ(device_->CreateTexture(32, 32, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &managed), kGpuOk);
  GpuInjectResult("Present", kGpuErrDeviceLost);
  GpuInjectResult("TestCooperativeLevel", kGpuErrDeviceNotReset);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), kGpuErrDeviceLost);
  EXPECT_EQ(device_->TestCooperativeLevel(), kGpuErrDeviceNotReset);
  EXPECT_EQ(device_->Reset(&parameters_), kGpuErrInvalidCall);

  // A back buffer the caller still holds blocks the reset too.
  target->Release();
  GpuSurface* backBuffer = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &backBuffer), kGpuOk);
  EXPECT_EQ(device_->Reset(&parameters_), kGpuErrInvalidCall);
  backBuffer->Release();

  // What only the device's state still holds does not count; managed resources survive.
  GpuTexture* bound = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, kGpuUsageDynamic, kGpuFmtA8R8G8B8, kGpuPoolDefault, &bound), kGpuOk);
  device_->SetTexture(3, bound);
  bound->Release();
  EXPECT_EQ(device_->Reset(&parameters_), kGpuOk);
  GpuBaseTexture* afterReset = reinterpret_cast<GpuBaseTexture*>(1);
  device_->GetTexture(3, &afterReset);
  EXPECT_EQ(afterReset, nullptr);
  GpuSurfaceDesc desc;
  EXPECT_EQ(managed->GetLevelDesc(0, &desc), kGpuOk);
  managed->Release();
}

TEST_F(NullDeviceTest, LocksFillsAndCopiesKeepTheirBytes) {
  // A fill through ColorFill and the back buffer's Clear, read back through locks and copies.
  GpuSurface* target = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(4, 2, kGpuFmtR5G6B5, 0, 0, 1, &target), kGpuOk);
  GpuRect right = {2, 0, 4, 2};
  ASSERT_EQ(device_->ColorFill(target, &right, Argb(255, 255, 0, 0)), kGpuOk);
  EXPECT_EQ(Bytes(target), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0xF8, 0, 0xF8, 0, 0, 0, 0, 0, 0xF8, 0, 0xF8}));
  GpuSurface* copy = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 2, kGpuFmtR5G6B5, kGpuPoolSystemMem, &copy), kGpuOk);
  ASSERT_EQ(device_->GetRenderTargetData(target, copy), kGpuOk);
  EXPECT_EQ(Bytes(copy), Bytes(target));

  // A LINEAR stretch of a 2x2 black | red target to 4x4 blends along each row.
  GpuSurface* small = nullptr;
  GpuSurface* large = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(2, 2, kGpuFmtA8R8G8B8, 0, 0, 1, &small), kGpuOk);
  ASSERT_EQ(device_->CreateRenderTarget(4, 4, kGpuFmtA8R8G8B8, 0, 0, 1, &large), kGpuOk);
  GpuRect column = {1, 0, 2, 2};
  ASSERT_EQ(device_->ColorFill(small, nullptr, Argb(255, 0, 0, 0)), kGpuOk);
  ASSERT_EQ(device_->ColorFill(small, &column, Argb(255, 255, 0, 0)), kGpuOk);
  ASSERT_EQ(device_->StretchRect(small, nullptr, large, nullptr, kGpuTexFilterLinear), kGpuOk);
  std::vector<uint8_t> stretched = Bytes(large);
  const uint8_t kExpectedRed[4] = {0, 64, 191, 255};
  for (int x = 0; x < 4; ++x) EXPECT_NEAR(stretched[16 + x * 4 + 2], kExpectedRed[x], 1) << "column " << x;

  // Clear fills the back buffer's viewport within the rect.
  GpuSurface* backBuffer = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &backBuffer), kGpuOk);
  GpuRect corner = {62, 62, 70, 70};
  ASSERT_EQ(device_->Clear(1, &corner, kGpuClearTarget, Argb(255, 1, 2, 3), 1.0f, 0), kGpuOk);
  GpuSurface* frame = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(64, 64, kGpuFmtX8R8G8B8, kGpuPoolSystemMem, &frame), kGpuOk);
  ASSERT_EQ(device_->GetRenderTargetData(backBuffer, frame), kGpuOk);
  std::vector<uint8_t> pixels = Bytes(frame);
  EXPECT_EQ(pixels[(63 * 64 + 63) * 4], 3);
  EXPECT_EQ(pixels[(61 * 64 + 61) * 4], 0);

  // Written as a BMP, a 16-bit surface reads back as its colours.
  TempDir dir;
  std::string path = dir.File("target.bmp");
  ASSERT_EQ(GpuSaveSurfaceToBmp(path.c_str(), target, nullptr), kGpuOk);
  std::string bytes = dir.Read("target.bmp");
  Image image{};
  ASSERT_TRUE(ImageDecode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image));
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(image.pixels[0], 0);
  EXPECT_EQ(image.pixels[3 * 4], 255);
  ImageFree(&image);

  for (GpuSurface* surface : {target, copy, small, large, backBuffer, frame}) surface->Release();
}

TEST_F(NullDeviceTest, MisuseAnswersInvalidCall) {
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &texture), kGpuOk);
  GpuTexture* targetTexture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, kGpuUsageRenderTarget, kGpuFmtA8R8G8B8, kGpuPoolDefault, &targetTexture),
            kGpuOk);
  GpuTexture* compressed = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, kGpuFmtDxt1, kGpuPoolManaged, &compressed), kGpuOk);
  GpuSurface* plain = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, kGpuFmtA8R8G8B8, kGpuPoolSystemMem, &plain), kGpuOk);
  GpuSurface* wrongSize = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, kGpuFmtA8R8G8B8, kGpuPoolSystemMem, &wrongSize), kGpuOk);
  GpuSurface* targetLevel = nullptr;
  ASSERT_EQ(targetTexture->GetSurfaceLevel(0, &targetLevel), kGpuOk);
  GpuLockedRect locked;
  struct Case {
    const char* what;
    std::function<GpuResult()> run;
  };
  const Case kCases[] = {
      {"second lock", [&] {
         texture->LockRect(0, &locked, nullptr, 0);
         GpuResult result = texture->LockRect(0, &locked, nullptr, 0);
         texture->UnlockRect(0);
         return result;
       }},
      {"unlock without lock", [&] { return texture->UnlockRect(0); }},
      {"lock past the level", [&] {
         GpuRect outside = {4, 4, 9, 8};
         return texture->LockRect(0, &locked, &outside, 0);
       }},
      {"lock a render-target texture", [&] { return targetTexture->LockRect(0, &locked, nullptr, 0); }},
      {"unaligned block lock", [&] {
         GpuRect rect = {2, 0, 6, 4};
         return compressed->LockRect(0, &locked, &rect, 0);
       }},
      {"plain surface as render target", [&] { return device_->SetRenderTarget(0, plain); }},
      {"render target data of a wrong size", [&] { return device_->GetRenderTargetData(targetLevel, wrongSize); }},
      {"managed texture as stretch source", [&] {
         GpuSurface* level = nullptr;
         texture->GetSurfaceLevel(0, &level);
         GpuResult result = device_->StretchRect(level, nullptr, targetLevel, nullptr, kGpuTexFilterLinear);
         level->Release();
         return result;
       }},
      {"draw without a stream", [&] {
         device_->SetFVF(kGpuFvfXyzRhw | kGpuFvfDiffuse);
         return device_->DrawPrimitive(kGpuPtTriangleList, 0, 1);
       }},
      {"index beyond the vertices given", [&] {
         const float vertices[3][5] = {};
         const uint16_t indices[3] = {0, 1, 3};
         device_->SetFVF(kGpuFvfXyzRhw | kGpuFvfDiffuse);
         return device_->DrawIndexedPrimitiveUP(kGpuPtTriangleList, 0, 3, 1, indices, kGpuFmtIndex16, vertices, 20);
       }},
      {"untransformed vertices without programs", [&] {
         const float vertices[3][3] = {};
         device_->SetFVF(kGpuFvfXyz);
         return device_->DrawPrimitiveUP(kGpuPtTriangleList, 1, vertices, 12);
       }},
      {"present inside a scene", [&] {
         device_->BeginScene();
         GpuResult result = device_->Present(nullptr, nullptr, nullptr, nullptr);
         device_->EndScene();
         return result;
       }},
      {"render target texture in the managed pool", [&] {
         GpuTexture* bad = nullptr;
         return device_->CreateTexture(8, 8, 1, kGpuUsageRenderTarget, kGpuFmtA8R8G8B8, kGpuPoolManaged, &bad);
       }},
  };
  for (const Case& c : kCases) EXPECT_EQ(c.run(), kGpuErrInvalidCall) << c.what;
  for (GpuUnknown* object : std::initializer_list<GpuUnknown*>{targetLevel, plain, wrongSize}) object->Release();
  texture->Release();
  targetTexture->Release();
  compressed->Release();
}

TEST_F(NullDeviceTest, ResourcesOutlivingTheDeviceAnswerWithoutIt) {
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 2, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &texture), kGpuOk);
  GpuSurface* level = nullptr;
  ASSERT_EQ(texture->GetSurfaceLevel(1, &level), kGpuOk);
  device_->SetTexture(0, texture);
  EXPECT_EQ(device_->Release(), 0u);
  device_ = nullptr;
  GpuLockedRect locked;
  EXPECT_EQ(level->LockRect(&locked, nullptr, 0), kGpuErrInvalidCall);
  GpuDevice* owner = nullptr;
  EXPECT_EQ(texture->GetDevice(&owner), kGpuErrInvalidCall);
  EXPECT_EQ(owner, nullptr);
  level->Release();
  EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(NullDeviceTest, AdapterModelAnswersTheSystemsQuestions) {
  GpuAdapterModel first = GpuDefaultAdapterModel(4, false);
  first.description = "first";
  first.capsFail = true;
  GpuAdapterModel second = GpuDefaultAdapterModel(4, false);
  second.description = "second";
  second.modes = {{1024, 768, 60, kGpuFmtX8R8G8B8}, {800, 600, 60, kGpuFmtR5G6B5}, {1280, 1024, 75, kGpuFmtX8R8G8B8}};
  second.depthFormats = {kGpuFmtD16};
  GpuSetAdapterModels({first, second});
  GpuSystem* system = GpuCreateSystem(kGpuSdkVersion);
  ASSERT_NE(system, nullptr);
  EXPECT_EQ(system->GetAdapterCount(), 2u);
  GpuAdapterIdentifier identifier;
  ASSERT_EQ(system->GetAdapterIdentifier(1, 0, &identifier), kGpuOk);
  EXPECT_STREQ(identifier.description, "second");
  GpuCaps caps;
  EXPECT_EQ(system->GetDeviceCaps(0, kGpuDevTypeHal, &caps), kGpuErrNotAvailable);
  ASSERT_EQ(system->GetDeviceCaps(1, kGpuDevTypeHal, &caps), kGpuOk);
  EXPECT_EQ(caps.maxAnisotropy, 4u);
  EXPECT_EQ(system->GetAdapterModeCount(1, kGpuFmtX8R8G8B8), 2u);
  GpuDisplayMode mode;
  ASSERT_EQ(system->EnumAdapterModes(1, kGpuFmtX8R8G8B8, 1, &mode), kGpuOk);
  EXPECT_EQ(mode.width, 1280u);
  EXPECT_EQ(system->EnumAdapterModes(1, kGpuFmtX8R8G8B8, 2, &mode), kGpuErrInvalidCall);
  struct Case {
    uint32_t usage, type, format;
    GpuResult expected;
  };
  const Case kCases[] = {
      {0, kGpuRtypeTexture, kGpuFmtL8, kGpuOk},
      {0, kGpuRtypeTexture, kGpuFmtDxt1, kGpuErrNotAvailable},
      {kGpuUsageDepthStencil, kGpuRtypeSurface, kGpuFmtD16, kGpuOk},
      {kGpuUsageDepthStencil, kGpuRtypeSurface, kGpuFmtD24S8, kGpuErrNotAvailable},
      {kGpuUsageRenderTarget, kGpuRtypeTexture, kGpuFmtL8, kGpuErrNotAvailable},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(system->CheckDeviceFormat(1, kGpuDevTypeHal, kGpuFmtX8R8G8B8, c.usage, c.type, c.format), c.expected)
        << std::hex << c.format;
  EXPECT_EQ(system->CheckDepthStencilMatch(1, kGpuDevTypeHal, kGpuFmtX8R8G8B8, kGpuFmtX8R8G8B8, kGpuFmtD16), kGpuOk);
  EXPECT_EQ(system->CheckDeviceType(1, kGpuDevTypeRef, kGpuFmtX8R8G8B8, kGpuFmtX8R8G8B8, 1), kGpuErrNotAvailable);
  system->Release();

  // The default model: one 1920x1080 adapter with the promised capabilities.
  GpuSetAdapterModels({});
  GpuCaps defaults;
  ASSERT_EQ(system_->GetDeviceCaps(0, kGpuDevTypeHal, &defaults), kGpuOk);
  EXPECT_TRUE(defaults.devCaps & kGpuDevCapsPureDevice);
  EXPECT_TRUE(defaults.devCaps & kGpuDevCapsHwTransformAndLight);
  EXPECT_EQ(defaults.maxActiveLights, 8u);
  EXPECT_TRUE(defaults.caps2 & kGpuCaps2CanAutoGenMipmap);
  EXPECT_TRUE(defaults.caps2 & kGpuCaps2FullscreenGamma);
  EXPECT_TRUE(defaults.devCaps2 & kGpuDevCaps2CanStretchRectFromTextures);
  EXPECT_EQ(defaults.declTypes & (kGpuDtCapsDec3N | kGpuDtCapsFloat16x2 | kGpuDtCapsFloat16x4),
            kGpuDtCapsDec3N | kGpuDtCapsFloat16x2 | kGpuDtCapsFloat16x4);
  GpuDisplayMode desktop;
  ASSERT_EQ(system_->GetAdapterDisplayMode(0, &desktop), kGpuOk);
  EXPECT_EQ(desktop.width, 1920u);
  EXPECT_EQ(desktop.height, 1080u);
  EXPECT_EQ(desktop.format, kGpuFmtX8R8G8B8);
  // The recording device describes the offscreen monitor: the desktop and the common sizes, so
  // the default 1024x768 screen has a full-screen mode.
  const uint32_t modeCount = system_->GetAdapterModeCount(0, kGpuFmtX8R8G8B8);
  EXPECT_GT(modeCount, 1u);
  bool has1024 = false;
  for (uint32_t i = 0; i < modeCount; ++i) {
    GpuDisplayMode mode;
    ASSERT_EQ(system_->EnumAdapterModes(0, kGpuFmtX8R8G8B8, i, &mode), kGpuOk);
    has1024 |= mode.width == 1024 && mode.height == 768;
  }
  EXPECT_TRUE(has1024);
  EXPECT_STREQ(device_->GetPixelShaderProfile(), "ps_3_0");
  EXPECT_EQ(GpuCreateSystem(31), nullptr);
}

}  // namespace
