// Pixel-format descriptors and surface summaries by format code, the vertex declarations chosen
// by what the device takes, the table of squares and the colour conversion.
#include "render/pixel_formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu_null.h"
#include "render/d3d_context.h"
#include "render/render_logo.h"
#include "support/gpu_fixture.h"

namespace {

struct Row {
  uint32_t format;
  uint32_t index;
  uint32_t kind, bits;
  uint32_t r, g, b, a;  // masks
  uint16_t rBits, rShift, gBits, gShift, bBits, bShift, aBits, aShift;
  uint32_t z, s;  // depth and stencil masks
  uint16_t zBits, zShift, sBits, sShift;
  bool full;
};

TEST(PixelFormats, EveryDescribedFormatFillsItsChannels) {
  const Row kRows[] = {
      {kGpuFmtR8G8B8, 0, 4, 24, 0xFF0000, 0xFF00, 0xFF, 0, 8, 16, 8, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA8R8G8B8, 1, 4, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 8, 16, 8, 8, 8, 0, 8, 24, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtX8R8G8B8, 2, 4, 32, 0xFF0000, 0xFF00, 0xFF, 0, 8, 16, 8, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtR5G6B5, 3, 4, 16, 0xF800, 0x7E0, 0x1F, 0, 5, 11, 6, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtX1R5G5B5, 4, 4, 16, 0x7C00, 0x3E0, 0x1F, 0, 5, 10, 5, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA1R5G5B5, 5, 4, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 5, 10, 5, 5, 5, 0, 1, 15, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA4R4G4B4, 6, 4, 16, 0xF00, 0xF0, 0xF, 0xF000, 4, 8, 4, 4, 4, 0, 4, 12, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtR3G3B2, 7, 4, 8, 0xE0, 0x1C, 0x3, 0, 3, 5, 3, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA8, 8, 4, 8, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA8R3G3B2, 9, 4, 16, 0xE0, 0x1C, 0x3, 0xFF00, 3, 5, 3, 2, 2, 0, 8, 8, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtX4R4G4B4, 10, 4, 16, 0xF00, 0xF0, 0xF, 0, 4, 8, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtP8, 12, 0x44, 16, 0, 0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtL8, 13, 4, 8, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA8L8, 14, 0x44, 16, 0, 0, 0, 0xFF00, 8, 0, 0, 0, 0, 0, 8, 8, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtX8L8V8U8, 18, 0x44, 16, 0, 0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtQ8W8V8U8, 19, 0x44, 16, 0, 0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtV16U16, 20, 0x44, 16, 0, 0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtL16, 21, 0x44, 16, 0, 0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA2B10G10R10, 22, 0x44, 32, 0, 0, 0, 0, 10, 0, 10, 10, 10, 20, 2, 30, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA2R10G10B10, 23, 0x44, 32, 0, 0, 0, 0, 10, 20, 10, 10, 10, 0, 2, 30, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtA16B16G16R16, 24, 0x40, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtG16R16, 25, 0x44, 32, 0xFFFF, 0xFFFF0000, 0, 0, 16, 0, 16, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtUyvy, 27, 0x44, 16, 0, 0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtYuy2, 28, 0x44, 16, 0, 0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, true},
      {kGpuFmtDxt1, 29, 0x44, 16, 0xF800, 0x7E0, 0x1F, 0, 5, 11, 6, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtDxt2, 30, 0x44, 16, 0xF000, 0xF00, 0xF0, 0xF, 4, 12, 4, 8, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtDxt3, 31, 0x44, 16, 0xF000, 0xF00, 0xF0, 0xF, 4, 12, 4, 8, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtDxt4, 32, 0x44, 16, 0xF000, 0xF00, 0xF0, 0xF, 4, 12, 4, 8, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtDxt5, 33, 0x44, 16, 0xF000, 0xF00, 0xF0, 0xF, 4, 12, 4, 8, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtD16Lockable, 34, 8, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFF, 0, 16, 0, 0, 0, true},
      {kGpuFmtD32, 35, 8, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFF, 0, 32, 0, 0, 0, true},
      {kGpuFmtD15S1, 36, 0x18, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFE, 1, 15, 1, 1, 0, true},
      {kGpuFmtD24S8, 37, 0x18, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFF00, 0xFF, 24, 8, 8, 0, true},
      {kGpuFmtD16, 38, 8, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFF, 0, 16, 0, 0, 0, true},
      {kGpuFmtD24X8, 39, 8, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFF00, 0, 24, 8, 0, 0, true},
      {kGpuFmtD24X4S4, 40, 0x18, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFF00, 0xF, 24, 8, 4, 0, true},
      // Codes the descriptor does not know keep only their table position.
      {kGpuFmtA8P8, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtA4L4, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtL6V5U5, 17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtIndex32, 43, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtV8U8, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtIndex16, 42, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {0, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {kGpuFmtA8B8G8R8, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
  };
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.format);
    PixelFormatDesc d;
    std::memset(&d, 0xAB, sizeof d);  // every field is written
    EXPECT_EQ(DescribePixelFormat(&d, r.format), r.full);
    EXPECT_EQ(d.formatIndex, r.index);
    EXPECT_EQ(d.kind, r.kind);
    EXPECT_EQ(d.bitsPerPixel, r.bits);
    EXPECT_EQ(d.redMask, r.r);
    EXPECT_EQ(d.greenMask, r.g);
    EXPECT_EQ(d.blueMask, r.b);
    EXPECT_EQ(d.alphaMask, r.a);
    EXPECT_EQ((std::vector<int>{d.redBits, d.redShift, d.greenBits, d.greenShift, d.blueBits, d.blueShift,
                                d.alphaBits, d.alphaShift}),
              (std::vector<int>{r.rBits, r.rShift, r.gBits, r.gShift, r.bBits, r.bShift, r.aBits, r.aShift}));
    EXPECT_EQ(d.depthMask, r.z);
    EXPECT_EQ(d.stencilMask, r.s);
    EXPECT_EQ((std::vector<int>{d.depthBits, d.depthShift, d.stencilBits, d.stencilShift}),
              (std::vector<int>{r.zBits, r.zShift, r.sBits, r.sShift}));
  }
  EXPECT_EQ(FormatTableCount(), 45u);
  EXPECT_EQ(FormatTableCode(26), kGpuFmtA8L8);  // listed a second time
  EXPECT_EQ(FormatTableCode(44), 0u);
}

TEST(PixelFormats, SurfaceSummaryMarksDepthFormatsAndClearsUnknownCodes) {
  struct Case {
    uint32_t format;
    uint32_t kind;
    uint16_t bits, second;
    uint32_t red;  // depth formats keep the mask the record held (0x1234)
  };
  const Case kCases[] = {
      {kGpuFmtR8G8B8, kSurfaceKindColour, 24, 0, 0xFF0000},   {kGpuFmtA8R8G8B8, kSurfaceKindColour, 32, 8, 0xFF0000},
      {kGpuFmtX8R8G8B8, kSurfaceKindColour, 32, 0, 0xFF0000}, {kGpuFmtR5G6B5, kSurfaceKindColour, 16, 0, 0xF800},
      {kGpuFmtX1R5G5B5, kSurfaceKindColour, 16, 0, 0x7C00},   {kGpuFmtA1R5G5B5, kSurfaceKindColour, 16, 1, 0x7C00},
      {kGpuFmtA4R4G4B4, kSurfaceKindColour, 16, 4, 0xF00},    {kGpuFmtD16Lockable, kSurfaceKindDepth, 16, 0, 0x1234},
      {kGpuFmtD16, kSurfaceKindDepth, 16, 0, 0x1234},          {kGpuFmtD32, kSurfaceKindDepth, 32, 0, 0x1234},
      {kGpuFmtD15S1, kSurfaceKindDepthStencil, 15, 1, 0x1234}, {kGpuFmtD24S8, kSurfaceKindDepthStencil, 24, 8, 0x1234},
      {kGpuFmtD24X8, kSurfaceKindDepth, 24, 0, 0x1234},        {kGpuFmtD24X4S4, kSurfaceKindDepthStencil, 24, 4, 0x1234},
      {kGpuFmtX4R4G4B4, 0, 0, 0, 0},                           {kGpuFmtDxt1, 0, 0, 0, 0},
      {19, 0, 0, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.format);
    SurfaceFormatSummary s{c.format, 7, 7, 7, 0x1234, 0x1234, 0x1234};
    DescribeSurfaceFormat(&s);
    EXPECT_EQ(s.format, c.format);
    EXPECT_EQ(s.kind, c.kind);
    EXPECT_EQ(s.bitCount, c.bits);
    EXPECT_EQ(s.secondCount, c.second);
    EXPECT_EQ(s.redMask, c.red);
  }
}

TEST(PixelFormats, RgbToHsvGivesHueInDegreesAndMarksGrey) {
  struct Case {
    int32_t rgb[3];
    int32_t hsv[3];
  };
  const Case kCases[] = {
      {{65535, 0, 0}, {0, 65536, 65535}},
      {{0, 65535, 0}, {120 << 16, 65536, 65535}},
      {{0, 0, 65535}, {240 << 16, 65536, 65535}},
      {{65535, 0, 65535}, {300 << 16, 65536, 65535}},  // negative hue wraps
      {{0, 0, 0}, {1, 0, 0}},
      {{300, 300, 300}, {1, 0, 300}},
  };
  for (const Case& c : kCases) {
    int32_t hsv[3];
    RgbToHsv(c.rgb, hsv);
    EXPECT_EQ((std::vector<int32_t>{hsv[0], hsv[1], hsv[2]}), (std::vector<int32_t>{c.hsv[0], c.hsv[1], c.hsv[2]}));
  }
}

TEST(PixelFormats, SquareTableIsMadeOnce) {
  FreeSquareTable();
  const uint32_t before = MemGetAllocationCount();
  ASSERT_TRUE(InitSquareTable());
  ASSERT_TRUE(InitSquareTable());
  EXPECT_EQ(MemGetAllocationCount(), before + 1);
  EXPECT_EQ(gSquareTable[0], 0);
  EXPECT_EQ(gSquareTable[255], 65025);
  FreeSquareTable();
}

class VertexDeclarations : public GpuDeviceFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Open(kGpuBackendNull));
    savedSystem_ = gSystem;
    gSystem = &block_;
    savedContext_ = gDirect3D;
    record_.device = device_;
    context_.device = &record_;
    gDirect3D = &context_;
  }
  void TearDown() override {
    ReleaseVertexDeclarations();
    gDirect3D = savedContext_;
    gSystem = savedSystem_;
    GpuDeviceFixture::TearDown();
  }

  SystemBlock block_{};
  SystemBlock* savedSystem_ = nullptr;
  DeviceRecord record_{};
  Direct3DContext context_{};
  Direct3DContext* savedContext_ = nullptr;
};

// The element types of a declaration, by offset.
std::vector<std::string> Elements(const GpuVertexElement* elements) {
  std::vector<std::string> out;
  for (; elements->stream != kGpuDeclEndStream; ++elements)
    out.push_back(std::to_string(elements->offset) + ":" + std::to_string(elements->type) + "/" +
                  std::to_string(elements->usage));
  return out;
}

TEST_F(VertexDeclarations, PackedPairFollowsTheDeviceBitsAndSetsTheVertexSize) {
  using V = std::vector<std::string>;
  struct Case {
    uint32_t flags;
    bool packed;
    int32_t vertexSize;
    V mesh;
    V bump;
  };
  const V kMesh = {"0:2/0", "12:3/5", "28:2/3"};
  const V kBump = {"0:2/0", "12:3/5", "28:2/3", "40:2/6", "52:2/7"};
  const Case kCases[] = {
      {kVertexDeclHalfFloat | kVertexDeclDec3n, true, 28, {"0:16/0", "8:16/5", "16:14/3"},
       {"0:16/0", "8:16/5", "16:14/3", "20:14/6", "24:14/7"}},
      {kVertexDeclHalfFloat, true, 40, {"0:16/0", "8:16/5", "16:16/3"},
       {"0:16/0", "8:16/5", "16:16/3", "24:16/6", "32:16/7"}},
      {kVertexDeclDec3n, true, 40, {"0:2/0", "12:3/5", "28:14/3"}, {"0:2/0", "12:3/5", "28:14/3", "32:14/6", "36:14/7"}},
      {0, false, 64, kMesh, kBump},
      // Half floats need both FLOAT16 kinds; the second alone makes no pair.
      {0x100, false, 64, kMesh, kBump},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.flags);
    record_.vertexDeclFlags = c.flags;
    record_.packedVertices = 7;
    ASSERT_TRUE(CreateVertexDeclarations());
    EXPECT_EQ(record_.packedVertices != 0, c.packed);
    EXPECT_EQ(block_.vertexSize, c.vertexSize);
    EXPECT_EQ(Elements(gVertexDeclarations.activeMeshElements), c.mesh);
    EXPECT_EQ(Elements(gVertexDeclarations.activeBumpElements), c.bump);
    EXPECT_EQ(gVertexDeclarations.activeMesh, c.packed ? gVertexDeclarations.packedMesh : gVertexDeclarations.mesh);
    EXPECT_EQ(gVertexDeclarations.activeBump, c.packed ? gVertexDeclarations.packedBump : gVertexDeclarations.meshBump);
    ReleaseVertexDeclarations();
  }
}

// A packed pair is used whole or not at all: mesh and bump vertices always share one layout, so
// a device that refuses either half keeps the plain declarations and their vertex size.
TEST_F(VertexDeclarations, RefusedPackedPairFallsBackToThePlainDeclarations) {
  for (uint32_t refused : {4u, 5u}) {  // the pair's mesh, then its bump declaration
    SCOPED_TRACE(refused);
    record_.vertexDeclFlags = kVertexDeclHalfFloat | kVertexDeclDec3n;
    GpuInjectResult("CreateVertexDeclaration", kGpuErrOutOfVideoMemory, 2, refused);
    ASSERT_TRUE(CreateVertexDeclarations());
    EXPECT_EQ(record_.packedVertices, 0);
    EXPECT_EQ(gVertexDeclarations.packedMesh, nullptr);
    EXPECT_EQ(gVertexDeclarations.packedBump, nullptr);
    EXPECT_EQ(gVertexDeclarations.activeMesh, gVertexDeclarations.mesh);
    EXPECT_EQ(gVertexDeclarations.activeBump, gVertexDeclarations.meshBump);
    EXPECT_EQ(block_.vertexSize, 64);
    ReleaseVertexDeclarations();
    GpuClearInjections();
  }
}

TEST_F(VertexDeclarations, RefusedBaseDeclarationFails) {
  GpuInjectResult("CreateVertexDeclaration", kGpuErrInvalidCall, 2);
  EXPECT_FALSE(CreateVertexDeclarations());
  gDirect3D = nullptr;
  EXPECT_FALSE(CreateVertexDeclarations());
}

}  // namespace
