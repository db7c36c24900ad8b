// The OpenGL device renders what the renderer asks for with the device conventions: pixel
// centres on whole coordinates, clockwise front faces, depth 0..w, the alpha test, colour write
// masks and blending; texture formats sample as their layouts say; fills, stretch copies,
// render-target read-backs, generated mip levels and cube faces hold the expected pixels; the
// gamma ramp reaches only the window; a back buffer written as BMP reads back equal. A scene
// of a clear, a programmed triangle and a pre-transformed triangle is compared with a golden
// image (tests/platform/golden/gpu_scene.bmp) within 2 levels per channel; set
// KORVANE_UPDATE_GOLDEN=1 to rewrite it. A failed comparison writes gpu_scene.actual.bmp into
// the working folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/gpu.h"
#include "platform/image.h"
#include "platform/window.h"
#include "support/temp_dir.h"

namespace {

// This file's folder. The compiler may name the file relative to the test's build folder,
// which is also where the test program lives.
std::string SourceDir() {
  std::string file = __FILE__;
  if (file[0] != '/') {
    char exe[4096] = {};
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string program(exe, length > 0 ? static_cast<size_t>(length) : 0);
    file = program.substr(0, program.find_last_of('/') + 1) + file;
  }
  return file.substr(0, file.find_last_of('/'));
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

int ChannelDiff(uint32_t x, uint32_t y) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8)
    worst = std::max(worst, std::abs(static_cast<int>((x >> shift) & 0xFF) - static_cast<int>((y >> shift) & 0xFF)));
  return worst;
}

struct TlVertex {
  float x, y, z, rhw;
  uint32_t diffuse;
};

struct TexVertex {
  float x, y, z, rhw;
  float u, v;
};

class GlDeviceTest : public ::testing::Test {
 public:
  void SetUp() override { Open(64, 64); }

  void TearDown() override { Close(); }

  void Open(uint32_t width, uint32_t height) {
    GpuSetBackend(kGpuBackendOpenGl);
    system_ = GpuCreateSystem(kGpuSdkVersion);
    ASSERT_NE(system_, nullptr);
    GpuPresentParameters parameters{};
    parameters.backBufferWidth = width;
    parameters.backBufferHeight = height;
    parameters.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.swapEffect = kGpuSwapEffectDiscard;
    parameters.windowed = 1;
    parameters.enableAutoDepthStencil = 1;
    parameters.autoDepthStencilFormat = kGpuFmtD24S8;
    parameters.presentationInterval = kGpuPresentIntervalImmediate;
    ASSERT_EQ(system_->CreateDevice(0, kGpuDevTypeHal, nullptr, kGpuCreateHardwareVertexProcessing, &parameters, &device_),
              kGpuOk);
    ASSERT_EQ(device_->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &backBuffer_), kGpuOk);
  }

  void Close() {
    if (backBuffer_) backBuffer_->Release();
    if (device_) {
      EXPECT_EQ(device_->Release(), 0u);
    }
    if (system_) system_->Release();
    backBuffer_ = nullptr;
    device_ = nullptr;
    system_ = nullptr;
  }

  // The pixels of a render target as 0xAARRGGBB, rows top to bottom.
  std::vector<uint32_t> Read(GpuSurface* target) {
    GpuSurfaceDesc desc;
    target->GetDesc(&desc);
    GpuSurface* copy = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(desc.width, desc.height, desc.format, kGpuPoolSystemMem, &copy), kGpuOk);
    EXPECT_EQ(device_->GetRenderTargetData(target, copy), kGpuOk);
    GpuLockedRect locked;
    EXPECT_EQ(copy->LockRect(&locked, nullptr, kGpuLockReadOnly), kGpuOk);
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < desc.height; ++y) {
      const auto* row = static_cast<const uint8_t*>(locked.bits) + static_cast<size_t>(y) * locked.pitch;
      for (uint32_t x = 0; x < desc.width; ++x) {
        uint32_t value = 0;
        if (desc.format == kGpuFmtA8R8G8B8 || desc.format == kGpuFmtX8R8G8B8) std::memcpy(&value, row + x * 4, 4);
        pixels.push_back(value);
      }
    }
    copy->UnlockRect();
    copy->Release();
    return pixels;
  }

  uint32_t Pixel(int x, int y) { return Read(backBuffer_)[static_cast<size_t>(y) * 64 + x]; }

  void ClearTo(uint32_t color) {
    ASSERT_EQ(device_->Clear(0, nullptr, kGpuClearTarget | kGpuClearZBuffer, color, 1.0f, 0), kGpuOk);
  }

  // A pre-transformed triangle in pixels, drawn with its diffuse colour.
  GpuResult DrawColoredTriangle(float x0, float y0, float x1, float y1, float x2, float y2, uint32_t color) {
    TlVertex v[3] = {{x0, y0, 0.5f, 1.0f, color}, {x1, y1, 0.5f, 1.0f, color}, {x2, y2, 0.5f, 1.0f, color}};
    device_->SetFVF(kGpuFvfXyzRhw | kGpuFvfDiffuse);
    device_->SetTextureStageState(0, kGpuTssColorOp, kGpuTopSelectArg1);
    device_->SetTextureStageState(0, kGpuTssColorArg1, kGpuTaDiffuse);
    device_->SetTextureStageState(0, kGpuTssAlphaOp, kGpuTopSelectArg1);
    device_->SetTextureStageState(0, kGpuTssAlphaArg1, kGpuTaDiffuse);
    return device_->DrawPrimitiveUP(kGpuPtTriangleList, 1, v, sizeof(TlVertex));
  }

  // A pre-transformed quad covering the pixels [x0, x1) x [y0, y1).
  void DrawQuad(float x0, float y0, float x1, float y1, uint32_t color) {
    DrawColoredTriangle(x0 - 0.5f, y0 - 0.5f, x1 - 0.5f, y0 - 0.5f, x0 - 0.5f, y1 - 0.5f, color);
    DrawColoredTriangle(x1 - 0.5f, y0 - 0.5f, x1 - 0.5f, y1 - 0.5f, x0 - 0.5f, y1 - 0.5f, color);
  }

  // The texture sampled point-wise onto the pixels (0, 0)-(size, size).
  void DrawTextured(GpuBaseTexture* texture, float size) {
    TexVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1.0f, 0.0f, 0.0f},
                      {size - 0.5f, -0.5f, 0.5f, 1.0f, 1.0f, 0.0f},
                      {-0.5f, size - 0.5f, 0.5f, 1.0f, 0.0f, 1.0f},
                      {size - 0.5f, size - 0.5f, 0.5f, 1.0f, 1.0f, 1.0f}};
    device_->SetTexture(0, texture);
    device_->SetFVF(kGpuFvfXyzRhw | kGpuFvfTex1);
    device_->SetTextureStageState(0, kGpuTssColorOp, kGpuTopSelectArg1);
    device_->SetTextureStageState(0, kGpuTssColorArg1, kGpuTaTexture);
    device_->SetTextureStageState(0, kGpuTssAlphaOp, kGpuTopSelectArg1);
    device_->SetTextureStageState(0, kGpuTssAlphaArg1, kGpuTaTexture);
    ASSERT_EQ(device_->DrawPrimitiveUP(kGpuPtTriangleStrip, 2, v, sizeof(TexVertex)), kGpuOk);
    device_->SetTexture(0, nullptr);
  }

  GpuSystem* system_ = nullptr;
  GpuDevice* device_ = nullptr;
  GpuSurface* backBuffer_ = nullptr;
};

// ---- Golden scene --------------------------------------------------------------------------------

constexpr int kGoldenTolerance = 2;

const char kSceneVertex[] = R"(
layout(location = GPU_ATTR_POSITION) in vec3 inPosition;
layout(location = GPU_ATTR_COLOR0) in vec4 inColor;
uniform vec4 gpu_VsConst[4];
out vec4 color;
void main() {
  mat4 m = mat4(gpu_VsConst[0], gpu_VsConst[1], gpu_VsConst[2], gpu_VsConst[3]);
  gl_Position = vec4(inPosition, 1.0) * m;
  color = inColor;
}
)";

const char kSceneFragment[] = R"(
in vec4 color;
uniform vec4 gpu_PsConst[1];
void main() { gpu_FragColor = color * gpu_PsConst[0]; }
)";

TEST_F(GlDeviceTest, SceneOfClearProgramAndTransformedTriangleMatchesGolden) {
  ClearTo(Argb(255, 16, 16, 48));
  GpuRect band = {8, 40, 56, 56};
  ASSERT_EQ(device_->Clear(1, &band, kGpuClearTarget, Argb(255, 200, 180, 40), 1.0f, 0), kGpuOk);

  struct Vertex {
    float x, y, z;
    uint32_t color;
  };
  const Vertex vertices[3] = {{-0.8f, 0.9f, 0.5f, Argb(255, 255, 0, 0)},
                              {0.2f, 0.9f, 0.5f, Argb(255, 0, 255, 0)},
                              {-0.8f, -0.1f, 0.5f, Argb(255, 0, 0, 255)}};
  GpuVertexBuffer* buffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(sizeof vertices, kGpuUsageWriteOnly, 0, kGpuPoolManaged, &buffer), kGpuOk);
  void* data = nullptr;
  ASSERT_EQ(buffer->Lock(0, 0, &data, 0), kGpuOk);
  std::memcpy(data, vertices, sizeof vertices);
  ASSERT_EQ(buffer->Unlock(), kGpuOk);
  const GpuVertexElement elements[] = {{0, 0, kGpuDeclTypeFloat3, 0, kGpuDeclUsagePosition, 0},
                                       {0, 12, kGpuDeclTypeColor, 0, kGpuDeclUsageColor, 0},
                                       kGpuDeclEnd};
  GpuVertexDeclaration* declaration = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), kGpuOk);
  GpuVertexShader* vs = nullptr;
  GpuPixelShader* ps = nullptr;
  ASSERT_EQ(device_->CreateVertexShader(kSceneVertex, &vs), kGpuOk) << device_->GetShaderLog();
  ASSERT_EQ(device_->CreatePixelShader(kSceneFragment, &ps), kGpuOk) << device_->GetShaderLog();
  // Row vectors: a translation sits in the last row.
  const float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.1f, 0, 0, 1};
  float transposed[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) transposed[c * 4 + r] = matrix[r * 4 + c];
  const float tint[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  ASSERT_EQ(device_->BeginScene(), kGpuOk);
  device_->SetVertexDeclaration(declaration);
  device_->SetStreamSource(0, buffer, 0, sizeof(Vertex));
  device_->SetVertexShader(vs);
  device_->SetPixelShader(ps);
  device_->SetVertexShaderConstantF(0, transposed, 4);
  device_->SetPixelShaderConstantF(0, tint, 1);
  device_->SetRenderState(kGpuRsCullMode, kGpuCullNone);
  ASSERT_EQ(device_->DrawPrimitive(kGpuPtTriangleList, 0, 1), kGpuOk);
  device_->SetVertexShader(nullptr);
  device_->SetPixelShader(nullptr);
  ASSERT_EQ(DrawColoredTriangle(60.0f, 4.0f, 60.0f, 36.0f, 30.0f, 36.0f, Argb(255, 255, 255, 255)), kGpuOk);
  ASSERT_EQ(device_->EndScene(), kGpuOk);
  device_->SetStreamSource(0, nullptr, 0, 0);
  device_->SetVertexDeclaration(nullptr);
  declaration->Release();
  buffer->Release();
  vs->Release();
  ps->Release();

  std::string golden = SourceDir() + "/golden/gpu_scene.bmp";
  const char* update = std::getenv("KORVANE_UPDATE_GOLDEN");
  if (update && std::strcmp(update, "1") == 0) {
    ASSERT_EQ(GpuSaveSurfaceToBmp(golden.c_str(), backBuffer_, nullptr), kGpuOk);
    GTEST_SKIP() << "golden image rewritten: " << golden;
  }
  std::ifstream in(golden, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Image expected{};
  ASSERT_TRUE(ImageDecode(bytes.data(), bytes.size(), &expected)) << "missing golden image " << golden;
  ASSERT_EQ(expected.width, 64);
  ASSERT_EQ(expected.height, 64);
  std::vector<uint32_t> actual = Read(backBuffer_);
  int worst = 0;
  for (int i = 0; i < 64 * 64; ++i) {
    const uint8_t* p = expected.pixels + i * 4;
    worst = std::max(worst, ChannelDiff(actual[i] & 0xFFFFFF, Argb(0, p[0], p[1], p[2])));
  }
  ImageFree(&expected);
  if (worst > kGoldenTolerance) GpuSaveSurfaceToBmp("gpu_scene.actual.bmp", backBuffer_, nullptr);
  EXPECT_LE(worst, kGoldenTolerance) << "actual frame written to gpu_scene.actual.bmp";
}

// ---- Rasterisation conventions -------------------------------------------------------------------

TEST_F(GlDeviceTest, CullModesDropTheMatchingWinding) {
  struct Case {
    uint32_t cull;
    bool clockwiseDrawn;
    bool counterClockwiseDrawn;
  };
  const Case kCases[] = {{kGpuCullNone, true, true}, {kGpuCullCw, false, true}, {kGpuCullCcw, true, false}};
  for (const Case& c : kCases) {
    ClearTo(0);
    device_->SetRenderState(kGpuRsCullMode, c.cull);
    // Clockwise on screen (rows run downwards): top-left, top-right, bottom-left.
    DrawColoredTriangle(0, 0, 32, 0, 0, 32, Argb(255, 255, 0, 0));
    // Counter-clockwise: top-left, bottom-left, top-right, in the right half.
    DrawColoredTriangle(32, 0, 32, 32, 64, 0, Argb(255, 0, 255, 0));
    std::vector<uint32_t> frame = Read(backBuffer_);
    EXPECT_EQ(frame[4 * 64 + 4] == Argb(255, 255, 0, 0), c.clockwiseDrawn) << "cull " << c.cull;
    EXPECT_EQ(frame[4 * 64 + 36] == Argb(255, 0, 255, 0), c.counterClockwiseDrawn) << "cull " << c.cull;
  }
}

TEST_F(GlDeviceTest, PointSampledQuadPutsEachTexelOnItsPixel) {
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(32, 32, 1, 0, kGpuFmtA8R8G8B8, kGpuPoolManaged, &texture), kGpuOk);
  GpuLockedRect locked;
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), kGpuOk);
  for (uint32_t y = 0; y < 32; ++y)
    for (uint32_t x = 0; x < 32; ++x) {
      uint32_t value = Argb(255, x * 8, y * 8, (x + y) & 1 ? 255 : 0);
      std::memcpy(static_cast<uint8_t*>(locked.bits) + y * locked.pitch + x * 4, &value, 4);
    }
  ASSERT_EQ(texture->UnlockRect(0), kGpuOk);
  ClearTo(0);
  DrawTextured(texture, 32.0f);
  std::vector<uint32_t> frame = Read(backBuffer_);
  int wrong = 0;
  for (uint32_t y = 0; y < 32; ++y)
    for (uint32_t x = 0; x < 32; ++x) wrong += frame[y * 64 + x] != Argb(255, x * 8, y * 8, (x + y) & 1 ? 255 : 0);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(frame[32 * 64 + 32], 0u) << "nothing outside the quad";
  texture->Release();
}

TEST_F(GlDeviceTest, ColorWriteMaskKeepsOrWritesTheGlowAlpha) {
  struct Case {
    uint32_t mask;
    uint32_t expected;
  };
  const Case kCases[] = {{7, Argb(0x20, 10, 20, 30)}, {15, Argb(0xC0, 10, 20, 30)}};
  for (const Case& c : kCases) {
    ClearTo(Argb(0x20, 0, 0, 0));
    device_->SetRenderState(kGpuRsColorWriteEnable, c.mask);
    DrawQuad(0, 0, 8, 8, Argb(0xC0, 10, 20, 30));
    EXPECT_EQ(Pixel(3, 3), c.expected) << "mask " << c.mask;
  }
}

TEST_F(GlDeviceTest, SourceAlphaBlendMixesHalfAndHalf) {
  ClearTo(Argb(255, 0, 0, 200));
  device_->SetRenderState(kGpuRsAlphaBlendEnable, 1);
  device_->SetRenderState(kGpuRsSrcBlend, kGpuBlendSrcAlpha);
  device_->SetRenderState(kGpuRsDestBlend, kGpuBlendInvSrcAlpha);
  device_->SetRenderState(kGpuRsColorWriteEnable, 7);
  DrawQuad(0, 0, 8, 8, Argb(128, 200, 100, 0));
  uint32_t expected = Argb(255, 200 * 128 / 255, 100 * 128 / 255, 200 * 127 / 255);
  EXPECT_LE(ChannelDiff(Pixel(4, 4), expected), 1) << std::hex << Pixel(4, 4);
}

TEST_F(GlDeviceTest, AlphaTestGreaterEqualDropsBelowTheReference) {
  device_->SetRenderState(kGpuRsAlphaTestEnable, 1);
  device_->SetRenderState(kGpuRsAlphaFunc, kGpuCmpGreaterEqual);
  device_->SetRenderState(kGpuRsAlphaRef, 90);
  ClearTo(0);
  DrawQuad(0, 0, 8, 8, Argb(89, 255, 255, 255));
  DrawQuad(8, 0, 16, 8, Argb(90, 255, 255, 255));
  EXPECT_EQ(Pixel(4, 4), 0u);
  EXPECT_EQ(Pixel(12, 4), Argb(90, 255, 255, 255));
}

const char kPackedVertex[] = R"(
layout(location = GPU_ATTR_POSITION) in vec4 inPosition;
layout(location = GPU_ATTR_NORMAL) in vec4 inNormal;
out vec3 normal;
void main() {
  gl_Position = inPosition;
  normal = inNormal.xyz;
}
)";

const char kPackedFragment[] = R"(
in vec3 normal;
void main() { gpu_FragColor = vec4(normal * 0.5 + 0.5, 1.0); }
)";

TEST_F(GlDeviceTest, HalfFloatAndDec3nVerticesDrawThroughIndexedCalls) {
  // Half-float positions and a DEC3N normal (1, 0, -1), found through a base vertex and a
  // start index; the triangle covers the whole target.
  struct Vertex {
    uint16_t position[4];
    uint32_t normal;
  };
  const uint32_t kNormal = 511u | 0u << 10 | 0x201u << 20;
  const Vertex vertices[5] = {{{0, 0, 0, 0}, 0},
                              {{0, 0, 0, 0}, 0},
                              {{0xBC00, 0xBC00, 0x3800, 0x3C00}, kNormal},
                              {{0x4200, 0xBC00, 0x3800, 0x3C00}, kNormal},
                              {{0xBC00, 0x4200, 0x3800, 0x3C00}, kNormal}};
  const uint16_t indices[4] = {9, 0, 1, 2};
  GpuVertexBuffer* buffer = nullptr;
  GpuIndexBuffer* indexBuffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(sizeof vertices, 0, 0, kGpuPoolManaged, &buffer), kGpuOk);
  ASSERT_EQ(device_->CreateIndexBuffer(sizeof indices, 0, kGpuFmtIndex16, kGpuPoolManaged, &indexBuffer), kGpuOk);
  void* data = nullptr;
  ASSERT_EQ(buffer->Lock(0, 0, &data, 0), kGpuOk);
  std::memcpy(data, vertices, sizeof vertices);
  buffer->Unlock();
  ASSERT_EQ(indexBuffer->Lock(0, 0, &data, 0), kGpuOk);
  std::memcpy(data, indices, sizeof indices);
  indexBuffer->Unlock();
  const GpuVertexElement elements[] = {{0, 0, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsagePosition, 0},
                                       {0, 8, kGpuDeclTypeDec3N, 0, kGpuDeclUsageNormal, 0},
                                       kGpuDeclEnd};
  GpuVertexDeclaration* declaration = nullptr;
  GpuVertexShader* vs = nullptr;
  GpuPixelShader* ps = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), kGpuOk);
  ASSERT_EQ(device_->CreateVertexShader(kPackedVertex, &vs), kGpuOk) << device_->GetShaderLog();
  ASSERT_EQ(device_->CreatePixelShader(kPackedFragment, &ps), kGpuOk) << device_->GetShaderLog();
  ClearTo(0);
  device_->SetVertexDeclaration(declaration);
  device_->SetStreamSource(0, buffer, 0, sizeof(Vertex));
  device_->SetIndices(indexBuffer);
  device_->SetVertexShader(vs);
  device_->SetPixelShader(ps);
  device_->SetRenderState(kGpuRsCullMode, kGpuCullNone);
  ASSERT_EQ(device_->DrawIndexedPrimitive(kGpuPtTriangleList, 2, 0, 3, 1, 1), kGpuOk);
  EXPECT_LE(ChannelDiff(Pixel(32, 32), Argb(255, 255, 128, 0)), 2) << std::hex << Pixel(32, 32);
  EXPECT_LE(ChannelDiff(Pixel(63, 63), Argb(255, 255, 128, 0)), 2) << std::hex << Pixel(63, 63);
  // A program that does not compile is refused with its compiler's message.
  GpuPixelShader* broken = nullptr;
  EXPECT_EQ(device_->CreatePixelShader("void main() { gpu_FragColor = undefinedName; }", &broken), kGpuErrInvalidCall);
  EXPECT_EQ(broken, nullptr);
  EXPECT_NE(std::string(device_->GetShaderLog()).find("undefinedName"), std::string::npos) << device_->GetShaderLog();
  device_->SetVertexShader(nullptr);
  device_->SetPixelShader(nullptr);
  device_->SetStreamSource(0, nullptr, 0, 0);
  device_->SetIndices(nullptr);
  device_->SetVertexDeclaration(nullptr);
  for (GpuUnknown* object : std::initializer_list<GpuUnknown*>{declaration, vs, ps, buffer, indexBuffer}) object->Release();
}

TEST_F(GlDeviceTest, CompressedTextureKeepsItsBlocksAndSamples) {
  // One DXT1 block whose first colour is red and whose indices all pick it.
  const uint8_t block[8] = {0x00, 0xF8, 0x00, 0x00, 0, 0, 0, 0};
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, kGpuFmtDxt1, kGpuPoolManaged, &texture), kGpuOk);
  GpuLockedRect locked;
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), kGpuOk);
  EXPECT_EQ(locked.pitch, 8);
  std::memcpy(locked.bits, block, sizeof block);
  texture->UnlockRect(0);
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, kGpuLockReadOnly), kGpuOk);
  EXPECT_EQ(std::memcmp(locked.bits, block, sizeof block), 0);
  texture->UnlockRect(0);
  ClearTo(0);
  DrawTextured(texture, 4.0f);
  EXPECT_EQ(Pixel(1, 1), Argb(255, 255, 0, 0));
  texture->Release();
}

// ---- Formats ----------------------------------------------------------------------------------------

TEST_F(GlDeviceTest, LockedBytesRoundTripAndSampleAsTheirFormat) {
  struct Case {
    const char* name;
    uint32_t format;
    std::vector<uint8_t> pixel;
    uint32_t sampled;  // 0xAARRGGBB as drawn into the back buffer
  };
  const Case kCases[] = {
      {"A8R8G8B8", kGpuFmtA8R8G8B8, {0x10, 0x20, 0x30, 0x40}, 0x40302010},
      {"X8R8G8B8", kGpuFmtX8R8G8B8, {0x10, 0x20, 0x30, 0x00}, 0xFF302010},
      {"R8G8B8", kGpuFmtR8G8B8, {0x10, 0x20, 0x30}, 0xFF302010},
      {"R5G6B5", kGpuFmtR5G6B5, {0x00, 0xF8}, 0xFFFF0000},
      {"X1R5G5B5", kGpuFmtX1R5G5B5, {0x1F, 0x00}, 0xFF0000FF},
      {"A1R5G5B5", kGpuFmtA1R5G5B5, {0xE0, 0x03}, 0x0000FF00},
      {"A4R4G4B4", kGpuFmtA4R4G4B4, {0x00, 0x8F}, 0x88FF0000},
      {"X4R4G4B4", kGpuFmtX4R4G4B4, {0xF0, 0x00}, 0xFF00FF00},
      {"L8", kGpuFmtL8, {0x80}, 0xFF808080},
      {"A8", kGpuFmtA8, {0x80}, 0x80000000},
      {"L16", kGpuFmtL16, {0x00, 0x80}, 0xFF808080},
      {"G16R16", kGpuFmtG16R16, {0xFF, 0xFF, 0x00, 0x00}, 0xFFFF00FF},
      {"A2B10G10R10", kGpuFmtA2B10G10R10, {0xFF, 0x03, 0x00, 0xC0}, 0xFFFF0000},
      {"A2R10G10B10", kGpuFmtA2R10G10B10, {0xFF, 0x03, 0x00, 0xC0}, 0xFF0000FF},
      {"A16B16G16R16", kGpuFmtA16B16G16R16, {0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}, 0xFF00FF00},
  };
  struct Pool {
    uint32_t pool;
    uint32_t usage;
    bool draw;
  };
  const Pool kPools[] = {{kGpuPoolManaged, 0, true}, {kGpuPoolDefault, kGpuUsageDynamic, true}, {kGpuPoolSystemMem, 0, false}};
  for (const Case& c : kCases) {
    for (const Pool& pool : kPools) {
      SCOPED_TRACE(std::string(c.name) + " pool " + std::to_string(pool.pool));
      GpuTexture* texture = nullptr;
      ASSERT_EQ(device_->CreateTexture(4, 4, 1, pool.usage, c.format, pool.pool, &texture), kGpuOk);
      GpuLockedRect locked;
      ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), kGpuOk);
      ASSERT_GE(locked.pitch, static_cast<int32_t>(4 * c.pixel.size()));
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
          std::memcpy(static_cast<uint8_t*>(locked.bits) + y * locked.pitch + x * c.pixel.size(), c.pixel.data(),
                      c.pixel.size());
      ASSERT_EQ(texture->UnlockRect(0), kGpuOk);
      ASSERT_EQ(texture->LockRect(0, &locked, nullptr, kGpuLockReadOnly), kGpuOk);
      EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(locked.bits) + 3 * locked.pitch + 3 * c.pixel.size(), c.pixel.data(),
                            c.pixel.size()),
                0);
      texture->UnlockRect(0);
      if (pool.draw) {
        ClearTo(0);
        DrawTextured(texture, 4.0f);
        EXPECT_LE(ChannelDiff(Pixel(2, 2), c.sampled), 1) << std::hex << Pixel(2, 2);
      }
      texture->Release();
    }
  }
}

TEST_F(GlDeviceTest, FillStretchAndMipmapsProduceTheirPixels) {
  // ColorFill of single pixels, then a LINEAR stretch from 2x2 to 4x4.
  GpuSurface* small = nullptr;
  GpuSurface* large = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(2, 2, kGpuFmtA8R8G8B8, 0, 0, 0, &small), kGpuOk);
  ASSERT_EQ(device_->CreateRenderTarget(4, 4, kGpuFmtA8R8G8B8, 0, 0, 0, &large), kGpuOk);
  for (int y = 0; y < 2; ++y) {
    GpuRect left = {0, y, 1, y + 1};
    GpuRect right = {1, y, 2, y + 1};
    ASSERT_EQ(device_->ColorFill(small, &left, Argb(255, 0, 0, 0)), kGpuOk);
    ASSERT_EQ(device_->ColorFill(small, &right, Argb(255, 255, 0, 0)), kGpuOk);
  }
  std::vector<uint32_t> filled = Read(small);
  EXPECT_EQ(filled, (std::vector<uint32_t>{Argb(255, 0, 0, 0), Argb(255, 255, 0, 0), Argb(255, 0, 0, 0), Argb(255, 255, 0, 0)}));
  ASSERT_EQ(device_->StretchRect(small, nullptr, large, nullptr, kGpuTexFilterLinear), kGpuOk);
  std::vector<uint32_t> stretched = Read(large);
  const int kExpectedRed[4] = {0, 64, 191, 255};
  for (int x = 0; x < 4; ++x)
    EXPECT_LE(std::abs(static_cast<int>((stretched[4 + x] >> 16) & 0xFF) - kExpectedRed[x]), 2) << "column " << x;
  small->Release();
  large->Release();

  // An automatic mip chain: an 8x8 checkerboard seen at one pixel is mid grey.
  GpuTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 0, kGpuUsageAutoGenMipmap, kGpuFmtX8R8G8B8, kGpuPoolManaged, &texture), kGpuOk);
  EXPECT_EQ(texture->GetLevelCount(), 1u);
  GpuSurfaceDesc desc;
  ASSERT_EQ(texture->GetLevelDesc(0, &desc), kGpuOk);
  EXPECT_EQ(desc.width, 8u);
  EXPECT_EQ(texture->GetLevelDesc(1, &desc), kGpuErrInvalidCall);
  GpuLockedRect locked;
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), kGpuOk);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      uint32_t value = (x + y) & 1 ? 0xFFFFFFFF : 0xFF000000;
      std::memcpy(static_cast<uint8_t*>(locked.bits) + y * locked.pitch + x * 4, &value, 4);
    }
  texture->UnlockRect(0);
  device_->SetSamplerState(0, kGpuSampMinFilter, kGpuTexFilterLinear);
  device_->SetSamplerState(0, kGpuSampMagFilter, kGpuTexFilterLinear);
  device_->SetSamplerState(0, kGpuSampMipFilter, kGpuTexFilterLinear);
  ClearTo(0);
  DrawTextured(texture, 1.0f);
  EXPECT_LE(ChannelDiff(Pixel(0, 0), Argb(255, 128, 128, 128)), 3) << std::hex << Pixel(0, 0);
  texture->Release();
}

TEST_F(GlDeviceTest, CubeRenderTargetFacesKeepTheirOwnClear) {
  GpuCubeTexture* cube = nullptr;
  ASSERT_EQ(device_->CreateCubeTexture(8, 1, kGpuUsageRenderTarget, kGpuFmtA8R8G8B8, kGpuPoolDefault, &cube), kGpuOk);
  auto faceColor = [](uint32_t face) { return Argb(255, face * 40, 255 - face * 40, face * 10); };
  for (uint32_t face = 0; face < 6; ++face) {
    GpuSurface* surface = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(face, 0, &surface), kGpuOk);
    ASSERT_EQ(device_->SetRenderTarget(0, surface), kGpuOk);
    ASSERT_EQ(device_->Clear(0, nullptr, kGpuClearTarget, faceColor(face), 1.0f, 0), kGpuOk);
    surface->Release();
  }
  for (uint32_t face = 0; face < 6; ++face) {
    GpuSurface* surface = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(face, 0, &surface), kGpuOk);
    std::vector<uint32_t> pixels = Read(surface);
    EXPECT_EQ(pixels.front(), faceColor(face)) << "face " << face;
    EXPECT_EQ(pixels.back(), faceColor(face)) << "face " << face;
    surface->Release();
  }
  device_->SetRenderTarget(0, backBuffer_);
  cube->Release();
}

// ---- Presentation and files ---------------------------------------------------------------------

TEST_F(GlDeviceTest, GammaRampReachesTheWindowOnly) {
  ClearTo(Argb(255, 100, 150, 200));
  GpuGammaRamp dark{};
  device_->SetGammaRamp(0, kGpuSetGammaNoCalibration, &dark);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), kGpuOk);
  EXPECT_EQ(Pixel(10, 10), Argb(255, 100, 150, 200));
}

TEST_F(GlDeviceTest, PresentAnswersInjectedLoss) {
  GpuInjectResult("Present", kGpuErrDeviceLost);
  GpuInjectResult("TestCooperativeLevel", kGpuErrDeviceNotReset);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), kGpuErrDeviceLost);
  EXPECT_EQ(device_->TestCooperativeLevel(), kGpuErrDeviceNotReset);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), kGpuOk);
  EXPECT_EQ(device_->TestCooperativeLevel(), kGpuOk);
}

TEST(GlDeviceBmp, BackBufferBmpReadsBackEqualForOddWidths) {
  for (uint32_t width : {1u, 3u, 64u}) {
    SCOPED_TRACE("width " + std::to_string(width));
    struct Harness : GlDeviceTest {
      void TestBody() override {}
    } harness;
    harness.Open(width, 5);
    for (uint32_t y = 0; y < 5; ++y)
      for (uint32_t x = 0; x < width; ++x) {
        GpuRect pixel = {static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(x + 1),
                         static_cast<int32_t>(y + 1)};
        harness.device_->Clear(1, &pixel, kGpuClearTarget, Argb(255, x * 3, y * 40, (x * 7 + y) & 0xFF), 1.0f, 0);
      }
    TempDir dir;
    std::string path = dir.File("frame.bmp");
    ASSERT_EQ(GpuSaveSurfaceToBmp(path.c_str(), harness.backBuffer_, nullptr), kGpuOk);
    std::string bytes = dir.Read("frame.bmp");
    Image image{};
    ASSERT_TRUE(ImageDecode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image));
    ASSERT_EQ(image.width, static_cast<int32_t>(width));
    ASSERT_EQ(image.height, 5);
    std::vector<uint32_t> frame = harness.Read(harness.backBuffer_);
    for (uint32_t i = 0; i < width * 5; ++i) {
      const uint8_t* p = image.pixels + i * 4;
      EXPECT_EQ(Argb(255, p[0], p[1], p[2]), frame[i] | 0xFF000000u) << "pixel " << i;
    }
    ImageFree(&image);
    harness.Close();
  }
}

// Headless with SDL_VIDEODRIVER unset still renders, on the offscreen driver. Runs in a fresh
// process so that no earlier test has started SDL's video.
TEST(GlDeviceHeadless, RendersOnTheOffscreenDriverWithoutADriverVariable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("SDL_VIDEODRIVER");
        setenv("KORVANE_HEADLESS", "1", 1);
        struct Harness : GlDeviceTest {
          void TestBody() override {}
        } harness;
        harness.Open(8, 8);
        harness.device_->Clear(0, nullptr, kGpuClearTarget, Argb(255, 1, 2, 3), 1.0f, 0);
        bool ok = harness.Read(harness.backBuffer_)[0] == Argb(255, 1, 2, 3) && OsWindowsAreOffscreen();
        harness.Close();
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
