// Pixel-format descriptors and surface-format summaries by format code, the mesh and screen
// vertex declarations chosen by what the device takes, the table of squares, the colour
// conversion of the material matcher and the engine's table of descriptor copies. Callers: the
// device creation, the adapter enumeration, the texture loader, the material matcher, the 2D
// drawing. Unknown format codes describe as zero; nothing here reads outside its tables.
#include "render/pixel_formats.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu.h"
#include "platform/gpu_mesh.h"
#include "render/d3d_context.h"
#include "render/render_logo.h"

int32_t gOpaqueFormatKey = 0;
int32_t gTransparentFormatKey = -1;
bool gDeviceIsHal = false;
int32_t* gSquareTable = nullptr;
VertexDeclarationSet gVertexDeclarations = {};

namespace {

// The probed texture formats in table order; A8L8 is listed twice, and a code's index is its
// first position. The table's length counts one more than the codes it lists.
constexpr uint32_t kFormatTable[] = {
    kGpuFmtR8G8B8,      kGpuFmtA8R8G8B8,   kGpuFmtX8R8G8B8,   kGpuFmtR5G6B5,       kGpuFmtX1R5G5B5,
    kGpuFmtA1R5G5B5,    kGpuFmtA4R4G4B4,   kGpuFmtR3G3B2,     kGpuFmtA8,           kGpuFmtA8R3G3B2,
    kGpuFmtX4R4G4B4,    kGpuFmtA8P8,       kGpuFmtP8,         kGpuFmtL8,           kGpuFmtA8L8,
    kGpuFmtA4L4,        kGpuFmtV8U8,       kGpuFmtL6V5U5,     kGpuFmtX8L8V8U8,     kGpuFmtQ8W8V8U8,
    kGpuFmtV16U16,      kGpuFmtL16,        kGpuFmtA2B10G10R10, kGpuFmtA2R10G10B10, kGpuFmtA16B16G16R16,
    kGpuFmtG16R16,      kGpuFmtA8L8,       kGpuFmtUyvy,       kGpuFmtYuy2,         kGpuFmtDxt1,
    kGpuFmtDxt2,        kGpuFmtDxt3,       kGpuFmtDxt4,       kGpuFmtDxt5,         kGpuFmtD16Lockable,
    kGpuFmtD32,         kGpuFmtD15S1,      kGpuFmtD24S8,      kGpuFmtD16,          kGpuFmtD24X8,
    kGpuFmtD24X4S4,     kGpuFmtVertexData, kGpuFmtIndex16,    kGpuFmtIndex32,
};
constexpr uint32_t kFormatCodeCount = sizeof kFormatTable / sizeof kFormatTable[0];
constexpr uint32_t kFormatTableLength = 45;
static_assert(kFormatCodeCount == 44);

struct Channel {
  uint32_t mask;
  uint16_t bits, shift;
};

void SetRgb(PixelFormatDesc* d, Channel r, Channel g, Channel b) {
  d->redMask = r.mask, d->redBits = r.bits, d->redShift = r.shift;
  d->greenMask = g.mask, d->greenBits = g.bits, d->greenShift = g.shift;
  d->blueMask = b.mask, d->blueBits = b.bits, d->blueShift = b.shift;
}
void SetAlpha(PixelFormatDesc* d, Channel a) { d->alphaMask = a.mask, d->alphaBits = a.bits, d->alphaShift = a.shift; }
void SetDepth(PixelFormatDesc* d, Channel z, Channel s) {
  d->depthMask = z.mask, d->depthBits = z.bits, d->depthShift = z.shift;
  d->stencilMask = s.mask, d->stencilBits = s.bits, d->stencilShift = s.shift;
}

constexpr Channel kNone = {0, 0, 0};
constexpr Channel kRed888 = {0xFF0000, 8, 16}, kGreen888 = {0xFF00, 8, 8}, kBlue888 = {0xFF, 8, 0};
constexpr Channel kRed565 = {0xF800, 5, 11}, kGreen565 = {0x7E0, 6, 5}, kBlue565 = {0x1F, 5, 0};
constexpr Channel kRed555 = {0x7C00, 5, 10}, kGreen555 = {0x3E0, 5, 5}, kBlue555 = {0x1F, 5, 0};
constexpr Channel kRed444 = {0xF00, 4, 8}, kGreen444 = {0xF0, 4, 4}, kBlue444 = {0xF, 4, 0};
constexpr Channel kRed332 = {0xE0, 3, 5}, kGreen332 = {0x1C, 3, 2}, kBlue332 = {0x3, 2, 0};

// ---- vertex declarations

constexpr GpuVertexElement E(uint16_t offset, uint8_t type, uint8_t usage, uint8_t index = 0) {
  return GpuVertexElement{0, offset, type, kGpuDeclMethodDefault, usage, index};
}
constexpr uint8_t kF3 = kGpuDeclTypeFloat3, kF4 = kGpuDeclTypeFloat4, kF2 = kGpuDeclTypeFloat2;
constexpr uint8_t kH4 = kGpuDeclTypeFloat16x4, kN3 = kGpuDeclTypeDec3N;
constexpr uint8_t kPos = kGpuDeclUsagePosition, kTex = kGpuDeclUsageTexCoord, kNrm = kGpuDeclUsageNormal;
constexpr uint8_t kTan = kGpuDeclUsageTangent, kBin = kGpuDeclUsageBinormal;

const GpuVertexElement kDeclMesh[] = {E(0, kF3, kPos), E(12, kF4, kTex), E(28, kF3, kNrm), kGpuDeclEnd};
const GpuVertexElement kDeclScreen2[] = {E(0, kF3, kPos), E(12, kF2, kTex), E(20, kF2, kTex, 1),
                                         E(28, kGpuDeclTypeColor, kGpuDeclUsageColor), kGpuDeclEnd};
const GpuVertexElement kDeclScreen[] = {E(0, kF3, kPos), E(12, kF2, kTex), E(20, kGpuDeclTypeColor, kGpuDeclUsageColor),
                                        kGpuDeclEnd};
const GpuVertexElement kDeclMeshBump[] = {E(0, kF3, kPos),  E(12, kF4, kTex),  E(28, kF3, kNrm),
                                          E(40, kF3, kTan), E(52, kF3, kBin), kGpuDeclEnd};
const GpuVertexElement kDeclHalfDec[] = {E(0, kH4, kPos), E(8, kH4, kTex), E(16, kN3, kNrm), kGpuDeclEnd};
const GpuVertexElement kDeclHalfDecBump[] = {E(0, kH4, kPos),  E(8, kH4, kTex),  E(16, kN3, kNrm),
                                             E(20, kN3, kTan), E(24, kN3, kBin), kGpuDeclEnd};
const GpuVertexElement kDeclHalf[] = {E(0, kH4, kPos), E(8, kH4, kTex), E(16, kH4, kNrm), kGpuDeclEnd};
const GpuVertexElement kDeclHalfBump[] = {E(0, kH4, kPos),  E(8, kH4, kTex),  E(16, kH4, kNrm),
                                          E(24, kH4, kTan), E(32, kH4, kBin), kGpuDeclEnd};
const GpuVertexElement kDeclDec[] = {E(0, kF3, kPos), E(12, kF4, kTex), E(28, kN3, kNrm), kGpuDeclEnd};
const GpuVertexElement kDeclDecBump[] = {E(0, kF3, kPos),  E(12, kF4, kTex),  E(28, kN3, kNrm),
                                         E(32, kN3, kTan), E(36, kN3, kBin), kGpuDeclEnd};

void ReleaseDecl(GpuVertexDeclaration*& declaration) {
  if (declaration) declaration->Release();
  declaration = nullptr;
}

GpuVertexDeclaration* MakeDecl(GpuDevice* device, const GpuVertexElement* elements) {
  GpuVertexDeclaration* declaration = nullptr;
  if (GpuFailed(GpuRetry([&] { return device->CreateVertexDeclaration(elements, &declaration); }))) return nullptr;
  return declaration;
}

std::map<int32_t, PixelFormatDesc>* gFormatTable = nullptr;

}  // namespace

uint32_t FormatTableCount() { return kFormatTableLength; }

uint32_t FormatTableCode(uint32_t index) { return index < kFormatCodeCount ? kFormatTable[index] : 0; }

bool DescribePixelFormat(PixelFormatDesc* desc, uint32_t format) {
  *desc = PixelFormatDesc{};
  desc->formatIndex = static_cast<uint32_t>(std::find(kFormatTable, kFormatTable + kFormatCodeCount, format) - kFormatTable);
  if (desc->formatIndex == kFormatCodeCount) desc->formatIndex = kFormatTableLength;
  bool full = true;
  auto colour = [&](uint32_t kind, uint32_t bits) {
    desc->kind = kind;
    desc->bitsPerPixel = bits;
  };
  switch (format) {
    case kGpuFmtR8G8B8: colour(kFormatKindBits, 24), SetRgb(desc, kRed888, kGreen888, kBlue888); break;
    case kGpuFmtA8R8G8B8:
      colour(kFormatKindBits, 32), SetRgb(desc, kRed888, kGreen888, kBlue888), SetAlpha(desc, {0xFF000000, 8, 24});
      break;
    case kGpuFmtX8R8G8B8: colour(kFormatKindBits, 32), SetRgb(desc, kRed888, kGreen888, kBlue888); break;
    case kGpuFmtR5G6B5: colour(kFormatKindBits, 16), SetRgb(desc, kRed565, kGreen565, kBlue565); break;
    case kGpuFmtX1R5G5B5: colour(kFormatKindBits, 16), SetRgb(desc, kRed555, kGreen555, kBlue555); break;
    case kGpuFmtA1R5G5B5:
      colour(kFormatKindBits, 16), SetRgb(desc, kRed555, kGreen555, kBlue555), SetAlpha(desc, {0x8000, 1, 15});
      break;
    case kGpuFmtA4R4G4B4:
      colour(kFormatKindBits, 16), SetRgb(desc, kRed444, kGreen444, kBlue444), SetAlpha(desc, {0xF000, 4, 12});
      break;
    case kGpuFmtX4R4G4B4: colour(kFormatKindBits, 16), SetRgb(desc, kRed444, kGreen444, kBlue444); break;
    case kGpuFmtR3G3B2: colour(kFormatKindBits, 8), SetRgb(desc, kRed332, kGreen332, kBlue332); break;
    case kGpuFmtA8R3G3B2:
      colour(kFormatKindBits, 16), SetRgb(desc, kRed332, kGreen332, kBlue332), SetAlpha(desc, {0xFF00, 8, 8});
      break;
    case kGpuFmtA8:
    case kGpuFmtL8: colour(kFormatKindBits, 8), SetAlpha(desc, {0xFF, 8, 0}); break;
    case kGpuFmtA8L8: colour(kFormatKindPacked, 16), SetRgb(desc, {0, 8, 0}, kNone, kNone), SetAlpha(desc, {0xFF00, 8, 8}); break;
    case kGpuFmtA2B10G10R10:
      colour(kFormatKindPacked, 32), SetRgb(desc, {0, 10, 0}, {0, 10, 10}, {0, 10, 20}), SetAlpha(desc, {0, 2, 30});
      break;
    case kGpuFmtA2R10G10B10:
      colour(kFormatKindPacked, 32), SetRgb(desc, {0, 10, 20}, {0, 10, 10}, {0, 10, 0}), SetAlpha(desc, {0, 2, 30});
      break;
    case kGpuFmtG16R16: colour(kFormatKindPacked, 32), SetRgb(desc, {0xFFFF, 16, 0}, {0xFFFF0000, 16, 16}, kNone); break;
    case kGpuFmtA16B16G16R16: colour(kFormatKindNoChannels, 32); break;
    case kGpuFmtP8:
    case kGpuFmtX8L8V8U8:
    case kGpuFmtQ8W8V8U8:
    case kGpuFmtV16U16:
    case kGpuFmtL16:
    case kGpuFmtYuy2:
    case kGpuFmtUyvy: colour(kFormatKindPacked, 16), SetAlpha(desc, {0xFFFF, 16, 0}); break;
    case kGpuFmtDxt1: colour(kFormatKindPacked, 16), SetRgb(desc, kRed565, kGreen565, kBlue565), full = false; break;
    case kGpuFmtDxt2:
    case kGpuFmtDxt3:
    case kGpuFmtDxt4:
    case kGpuFmtDxt5:
      colour(kFormatKindPacked, 16), SetRgb(desc, {0xF000, 4, 12}, {0xF00, 4, 8}, {0xF0, 4, 4});
      SetAlpha(desc, {0xF, 4, 0});
      full = false;
      break;
    case kGpuFmtD16Lockable:
    case kGpuFmtD16: colour(kFormatKindDepth, 16), SetDepth(desc, {0xFFFF, 16, 0}, kNone); break;
    case kGpuFmtD32: colour(kFormatKindDepth, 32), SetDepth(desc, {0xFFFFFFFF, 32, 0}, kNone); break;
    case kGpuFmtD15S1: colour(kFormatKindDepth | kFormatKindStencil, 16), SetDepth(desc, {0xFFFE, 15, 1}, {1, 1, 0}); break;
    case kGpuFmtD24S8:
      colour(kFormatKindDepth | kFormatKindStencil, 32), SetDepth(desc, {0xFFFFFF00, 24, 8}, {0xFF, 8, 0});
      break;
    case kGpuFmtD24X8: colour(kFormatKindDepth, 32), SetDepth(desc, {0xFFFFFF00, 24, 8}, kNone); break;
    case kGpuFmtD24X4S4:
      colour(kFormatKindDepth | kFormatKindStencil, 32), SetDepth(desc, {0xFFFFFF00, 24, 8}, {0xF, 4, 0});
      break;
    default: {
      // Unknown to the loader: nothing but the table position is described.
      const uint32_t index = desc->formatIndex;
      *desc = PixelFormatDesc{};
      desc->formatIndex = index;
      return false;
    }
  }
  return full;
}

void DescribeSurfaceFormat(SurfaceFormatSummary* summary) {
  const uint32_t format = summary->format;
  auto colour = [&](uint16_t bits, uint16_t second, uint32_t r, uint32_t g, uint32_t b) {
    summary->kind = kSurfaceKindColour;
    summary->bitCount = bits, summary->secondCount = second;
    summary->redMask = r, summary->greenMask = g, summary->blueMask = b;
  };
  // Depth formats keep whatever masks the record held.
  auto depth = [&](uint32_t kind, uint16_t bits, uint16_t second) {
    summary->kind = kind;
    summary->bitCount = bits, summary->secondCount = second;
  };
  switch (format) {
    case kGpuFmtR8G8B8: colour(24, 0, 0xFF0000, 0xFF00, 0xFF); return;
    case kGpuFmtA8R8G8B8: colour(32, 8, 0xFF0000, 0xFF00, 0xFF); return;
    case kGpuFmtX8R8G8B8: colour(32, 0, 0xFF0000, 0xFF00, 0xFF); return;
    case kGpuFmtR5G6B5: colour(16, 0, 0xF800, 0x7E0, 0x1F); return;
    case kGpuFmtX1R5G5B5: colour(16, 0, 0x7C00, 0x3E0, 0x1F); return;
    case kGpuFmtA1R5G5B5: colour(16, 1, 0x7C00, 0x3E0, 0x1F); return;
    case kGpuFmtA4R4G4B4: colour(16, 4, 0xF00, 0xF0, 0xF); return;
    // Depth formats are marked as depth, with stencil where they have stencil bits, so a depth
    // choice never takes a stencil format for a plain one.
    case kGpuFmtD16Lockable:
    case kGpuFmtD16: depth(kSurfaceKindDepth, 16, 0); return;
    case kGpuFmtD32: depth(kSurfaceKindDepth, 32, 0); return;
    case kGpuFmtD15S1: depth(kSurfaceKindDepthStencil, 15, 1); return;
    case kGpuFmtD24S8: depth(kSurfaceKindDepthStencil, 24, 8); return;
    case kGpuFmtD24X8: depth(kSurfaceKindDepth, 24, 0); return;
    case kGpuFmtD24X4S4: depth(kSurfaceKindDepthStencil, 24, 4); return;
    default: {
      *summary = SurfaceFormatSummary{};
      summary->format = format;
      return;
    }
  }
}

bool CreateVertexDeclarations() {
  DeviceRecord* record = gDirect3D ? gDirect3D->device : nullptr;
  if (!record || !record->device) return false;
  GpuDevice* device = record->device;
  ReleaseVertexDeclarations();
  VertexDeclarationSet& set = gVertexDeclarations;
  set.mesh = MakeDecl(device, kDeclMesh);
  if (!set.mesh) return false;
  set.screen2 = MakeDecl(device, kDeclScreen2);
  if (!set.screen2) return false;
  set.screen = MakeDecl(device, kDeclScreen);
  if (!set.screen) return false;
  set.meshBump = MakeDecl(device, kDeclMeshBump);
  if (!set.meshBump) return false;

  const bool half = record->vertexDeclFlags & kVertexDeclHalfFloat4;
  const bool dec = record->vertexDeclFlags & kVertexDeclDec3n;
  const GpuVertexElement* pairMesh = nullptr;
  const GpuVertexElement* pairBump = nullptr;
  if (half && dec) pairMesh = kDeclHalfDec, pairBump = kDeclHalfDecBump;
  else if (half) pairMesh = kDeclHalf, pairBump = kDeclHalfBump;
  else if (dec) pairMesh = kDeclDec, pairBump = kDeclDecBump;
  if (pairMesh) {
    set.packedMesh = MakeDecl(device, pairMesh);
    set.packedBump = MakeDecl(device, pairBump);
    // A pair is used whole or not at all, so mesh and bump vertices always share a layout.
    if (!set.packedMesh || !set.packedBump) {
      ReleaseDecl(set.packedMesh);
      ReleaseDecl(set.packedBump);
    }
  }
  record->packedVertices = set.packedMesh != nullptr;
  if (record->packedVertices) {
    set.activeMesh = set.packedMesh, set.activeMeshElements = pairMesh;
    set.activeBump = set.packedBump, set.activeBumpElements = pairBump;
  } else {
    set.activeMesh = set.mesh, set.activeMeshElements = kDeclMesh;
    set.activeBump = set.meshBump, set.activeBumpElements = kDeclMeshBump;
  }
  if (gSystem) gSystem->vertexSize = static_cast<int32_t>(GpuxGetDeclVertexSize(set.activeBumpElements, 0));
  return true;
}

const GpuVertexElement* MeshFillElements(bool tangents) { return tangents ? kDeclMeshBump : kDeclMesh; }

void ReleaseVertexDeclarations() {
  VertexDeclarationSet& set = gVertexDeclarations;
  for (GpuVertexDeclaration** d : {&set.mesh, &set.screen2, &set.screen, &set.meshBump, &set.packedMesh, &set.packedBump})
    ReleaseDecl(*d);
  set = VertexDeclarationSet{};
}

bool InitSquareTable() {
  if (gSquareTable) return true;
  gSquareTable = static_cast<int32_t*>(MemAlloc(256 * sizeof(int32_t), 0));
  if (!gSquareTable) return false;
  for (int32_t i = 0; i < 256; ++i) gSquareTable[i] = i * i;
  return true;
}

void FreeSquareTable() {
  if (gSquareTable) MemFree(gSquareTable, 256 * sizeof(int32_t), 0);
  gSquareTable = nullptr;
}

void RgbToHsv(const int32_t rgb[3], int32_t hsv[3]) {
  const int64_t r = rgb[0], g = rgb[1], b = rgb[2];
  const int64_t max = std::max({r, g, b});
  const int64_t min = std::min({r, g, b});
  hsv[2] = static_cast<int32_t>(max);
  hsv[1] = max == 0 ? 0 : static_cast<int32_t>((max - min) * 65536 / max);
  if (hsv[1] == 0) {
    hsv[0] = 1;
    return;
  }
  const int64_t d = max - min;
  int64_t h;
  if (r == max) {
    h = (g - b) * 65536 / d;
  } else if (g == max) {
    h = (b - r) * 65536 / d + 2 * 65536;
  } else {
    h = (r - g) * 65536 / d + 4 * 65536;
  }
  h *= 60;
  if (h < 0) h += 360 * 65536;
  hsv[0] = static_cast<int32_t>(h);
}

bool HasPixelFormatTable() { return gFormatTable != nullptr; }

const PixelFormatDesc* FindPixelFormatDesc(int32_t key) {
  if (!gFormatTable) return nullptr;
  const auto found = gFormatTable->find(key);
  return found == gFormatTable->end() ? nullptr : &found->second;
}

void StorePixelFormatDesc(int32_t key, const PixelFormatDesc& desc) {
  if (!gFormatTable) gFormatTable = new std::map<int32_t, PixelFormatDesc>();
  (*gFormatTable)[key] = desc;
}

void ClearPixelFormatTable() {
  delete gFormatTable;
  gFormatTable = nullptr;
}

bool DeviceIsHal() { return gDeviceIsHal; }
