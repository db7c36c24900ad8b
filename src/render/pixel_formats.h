// The renderer's small descriptive helpers: the pixel-format descriptor that tells the texture
// loader where a format's channels lie, the summary of display and depth formats used when the
// device formats are chosen, the vertex declarations chosen by what the device takes, the table
// of squares, the colour conversion of the material matcher, and the engine's format table of
// descriptor copies the texture loader reads. Callers: device set-up, texture loading, material
// matching, 2D drawing. Never reads a format it does not know: unknown codes describe as zero.
#pragma once

#include <cstdint>

class GpuVertexDeclaration;
struct GpuVertexElement;

// 15 words.
struct PixelFormatDesc {
  uint32_t formatIndex;  // position in the format table; FormatTableCount() when absent
  uint32_t kind;         // kFormatKind* bits
  uint32_t bitsPerPixel;
  uint32_t redMask;
  uint16_t redBits, redShift;
  uint32_t greenMask;
  uint16_t greenBits, greenShift;
  uint32_t blueMask;
  uint16_t blueBits, blueShift;
  uint32_t alphaMask;
  uint16_t alphaBits, alphaShift;
  uint32_t depthMask;
  uint16_t depthBits, depthShift;
  uint32_t stencilMask;
  uint16_t stencilBits, stencilShift;
};

// Descriptor kinds. The texture loader reads the low bits: 8-bit palettised, 4-bit, or loading
// with the descriptor's bits per pixel.
constexpr uint32_t kFormatKind8Bit = 0x1;
constexpr uint32_t kFormatKind4Bit = 0x2;
constexpr uint32_t kFormatKindBits = 0x4;
constexpr uint32_t kFormatKindDepth = 0x8;
constexpr uint32_t kFormatKindStencil = 0x10;
constexpr uint32_t kFormatKindNoAlphaChoice = 0x20;  // never taken as the opaque texture format
constexpr uint32_t kFormatKindNoChannels = 0x40;
constexpr uint32_t kFormatKindPacked = 0x44;

// Fills `desc` for a format code; false for the block-compressed formats (described by a
// substitute layout) and for unknown codes (descriptor all zero).
bool DescribePixelFormat(PixelFormatDesc* desc, uint32_t format);
// The format table's length: the formatIndex of a format that is not in it.
uint32_t FormatTableCount();
// The format code at a table position, 0 past the end.
uint32_t FormatTableCode(uint32_t index);

// A display or depth format and what follows from its code.
struct SurfaceFormatSummary {
  uint32_t format;
  uint32_t kind;  // kSurfaceKind*
  uint16_t bitCount;     // colour bits, or depth bits
  uint16_t secondCount;  // alpha bits, or stencil bits
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
};
constexpr uint32_t kSurfaceKindColour = 0x1000000;
constexpr uint32_t kSurfaceKindDepth = 0x400;
constexpr uint32_t kSurfaceKindDepthStencil = 0x4400;

// Fills the derived fields of `summary` from summary->format.
void DescribeSurfaceFormat(SurfaceFormatSummary* summary);

// The vertex declarations of mesh and screen vertices. The packed pair exists when the device
// takes half-float and/or DEC3N data; the active ones are the best that exist.
struct VertexDeclarationSet {
  GpuVertexDeclaration* mesh;
  GpuVertexDeclaration* screen2;
  GpuVertexDeclaration* screen;
  GpuVertexDeclaration* meshBump;
  GpuVertexDeclaration* packedMesh;
  GpuVertexDeclaration* packedBump;
  GpuVertexDeclaration* activeMesh;
  GpuVertexDeclaration* activeBump;
  const GpuVertexElement* activeMeshElements;
  const GpuVertexElement* activeBumpElements;
};
extern VertexDeclarationSet gVertexDeclarations;
// Creates the declarations on the current device; false when a base declaration fails.
bool CreateVertexDeclarations();
void ReleaseVertexDeclarations();
// The full-float element arrays of body part meshes as they are filled: 40-byte plain vertices,
// or 64-byte ones with tangent and binormal.
const GpuVertexElement* MeshFillElements(bool tangents);

// The table of squares (256 entries, entry i = i * i), made once.
extern int32_t* gSquareTable;
void FreeSquareTable();

// 16.16 hue (degrees), 16.16 saturation and value (0..65535) of three 0..65535 components.
void RgbToHsv(const int32_t rgb[3], int32_t hsv[3]);

inline uint32_t PackChannel(uint32_t v, uint32_t shift, uint32_t mask) { return (v << shift) & mask; }
inline uint32_t UnpackChannel(uint32_t v, uint32_t shift, uint32_t mask) { return (v >> shift) & mask; }
inline int32_t Max3(int32_t a, int32_t b, int32_t c) { return a > b ? (a > c ? a : c) : (b > c ? b : c); }
inline int32_t Min3(int32_t a, int32_t b, int32_t c) { return a < b ? (a < c ? a : c) : (b < c ? b : c); }

// The engine's format table: descriptor copies by key (format index + 1).
// The format indexes of the device's opaque and transparent texture formats (the table holds
// each under its index + 1); the transparent one is -1 when both formats are the same.
extern int32_t gOpaqueFormatKey;
extern int32_t gTransparentFormatKey;

// True once the format table exists.
bool HasPixelFormatTable();
// The descriptor stored under key, or null.
const PixelFormatDesc* FindPixelFormatDesc(int32_t key);
// Stores a copy of the descriptor under key (creating the table).
void StorePixelFormatDesc(int32_t key, const PixelFormatDesc& desc);
void ClearPixelFormatTable();

// Set when the device is created: true for a hardware device.
extern bool gDeviceIsHal;
bool DeviceIsHal();
