// The renderer's connection to the GPU layer: the one Direct3DContext with its system object,
// the adapter table (capabilities, full-screen modes, windowed sizes, desktop mode per adapter),
// the display selection the settings keep, and the DeviceRecord of the running device with its
// formats, profiles, flags and surfaces. Filled by the adapter enumeration (d3d_context.cpp) and
// the device creation (d3d_device.cpp); read by every renderer unit that draws and by the
// settings dialogs. Records only hold pointers the renderer allocated; nothing here draws.
#pragma once

#include <cstdint>

#include "platform/gpu.h"
#include "render/pixel_formats.h"

class RenderStateManager;

// One display mode with what can be rendered in it. The three format arrays of a full-screen
// mode and of the desktop mode belong to that record; a windowed size is a copy of the desktop
// mode with another width and height and shares (never frees) the desktop mode's arrays.
struct DisplayModeRecord {
  uint32_t width;
  uint32_t height;
  uint32_t refreshRate;
  uint32_t format;
  SurfaceFormatSummary summary;  // of `format`
  uint32_t backBufferFormatCount;
  uint32_t* backBufferFormats;
  uint32_t textureFormatCount;
  uint32_t* textureFormats;
  uint32_t depthFormatCount;
  uint32_t* depthFormats;
};

struct AdapterRecord {
  uint32_t ordinal;
  GpuAdapterIdentifier identifier;  // description: the adapter's name for selection and settings
  uintptr_t monitor;
  GpuCaps caps;  // deviceType 0: the caps could not be read, the adapter is unusable
  int32_t fullscreenModeCount;
  DisplayModeRecord* fullscreenModes;  // null when empty
  int32_t windowedModeCount;
  DisplayModeRecord* windowedModes;  // null when empty
  uint32_t behaviorFlags;  // written by the device creation
  DisplayModeRecord desktopMode;
};

// The running device. Strings are accounted (FreeString); the four descriptors are their own
// zero-filled allocations.
struct DeviceRecord {
  GpuDevice* device;
  AdapterRecord* adapter;
  char* hardwareProfile;  // what the adapter reports, "ps_3_0" ...
  char* activeProfile;    // after the shader-quality setting lowered it
  char* shaderFolder;     // "1_1", "1_4", "2_0", "2_b", "2_a" or "3_0", then an optional suffix
  char* anisotropyName;   // "NONE", "2x", "4x", "8x" or "16x"
  char* multiSampleName;  // MultiSampleTypeName of the back buffer
  uint8_t glowFilter;     // bloom runs only with it
  uint8_t environmentMap;
  uint8_t anisotropic;
  int32_t anisotropyLevel;  // 1 when off
  uint32_t textureQuality;  // copy of "VideoTextureQuality"
  uint8_t shader20;         // the active set is a 2.0-class set
  uint8_t spareByte;
  int32_t modeIndex;
  PixelFormatDesc* backBufferFormat;
  PixelFormatDesc* opaqueFormat;
  PixelFormatDesc* alphaFormat;
  PixelFormatDesc* thirdFormat;  // a copy of the alpha descriptor
  GpuSurface* backBuffer;
  GpuSurface* depthStencil;
  DisplayModeRecord* mode;  // the chosen entry of the adapter's tables
  uint32_t maxSimultaneousTextures;
  GpuPresentParameters presentParameters;
  uint32_t vertexDeclFlags;  // kVertexDeclHalfFloat, kVertexDeclDec3n
  // Read and written by the 3D set-up (InitRender3D).
  const void* renderEntryTemplates[2];  // no code fills them: both stay null
  int32_t gammaBlockWord;               // 0: full-screen gamma may be used
  int32_t vertexProcessingMode;         // 0 none, 1 hardware, 2 software
  uint8_t vertexShaders;                // vertex programs usable
  int32_t pixelShaderLevel;             // 0, 10, 14 or 20
  uint8_t packedVertices;               // a packed declaration pair exists
};

// Vertex declaration flags of the device record.
constexpr uint32_t kVertexDeclHalfFloat = 0x300;  // FLOAT16_2 and FLOAT16_4 vertex data
constexpr uint32_t kVertexDeclHalfFloat4 = 0x200;
constexpr uint32_t kVertexDeclDec3n = 0x80;

struct Direct3DContext {
  GpuSystem* system;
  uint32_t adapterCount;
  AdapterRecord* adapters;  // index = adapter ordinal
  DeviceRecord* device;     // null while no device exists
  RenderStateManager* stateManager;
  uint32_t videoMemoryBytes;  // default-pool bytes in use
};
extern Direct3DContext* gDirect3D;

// The display selection the settings loader fills and the settings writer stores. By default
// the renderer keeps it itself; the application points it at its own settings fields.
struct DisplaySelection {
  char** adapterName;       // "VideoAdapterName": accounted string or null
  int32_t* adapterOrdinal;  // "VideoAdapterOrdinal"; after a selection the chosen adapter
  uint32_t* modeFormat;     // "VideoMode"
  uint32_t* modeIndex;      // into the full-screen table, or the windowed one in windowed mode
};
// Null restores the renderer's own fields.
void SetDisplaySelection(const DisplaySelection* selection);
const DisplaySelection& CurrentDisplaySelection();

// "VideoFlags" bit: windowed mode.
constexpr uint32_t kVideoFlagWindowed = 0x8000000;

// "VideoD3DFlags" bits.
constexpr uint32_t kD3DAntialias = 0x1;
constexpr uint32_t kD3DPerspective = 0x40;
constexpr uint32_t kD3DStencil = 0x200;
constexpr uint32_t kD3DLineZTest = 0x400;
constexpr uint32_t kD3DVertexShader11 = 0x20000;
constexpr uint32_t kD3DAdditiveOnly = 0x40000;
constexpr uint32_t kD3DAlphaBlend = 0x80000;
constexpr uint32_t kD3DHardwareTnl = 0x100000;
constexpr uint32_t kD3DTextureOps = 0x200000;
constexpr uint32_t kD3DNoAlphaTextures = 0x1000000;
constexpr uint32_t kD3DWBuffer = 0x8000000;
constexpr uint32_t kD3DMultiTexture = 0x10000000;

// "VideoD3DFlags2" bits.
constexpr uint32_t kD3D2FullscreenGamma = 0x40;
constexpr uint32_t kD3D2Glow = 0x80;
constexpr uint32_t kD3D2Below14 = 0x100;
constexpr uint32_t kD3D2Anisotropic = 0x200;
constexpr uint32_t kD3D2Not20 = 0x400;
constexpr uint32_t kD3D2HueShiftOff = 0x800;
constexpr uint32_t kD3D2VertexLightsOff = 0x1000;
constexpr uint32_t kD3D2NoHalfFloat = 0x2000;

// ---- Context, adapters and modes (d3d_context.cpp)

// CreateDirect3D and SelectDisplayMode are declared in render/render.h.
// 1 when the adapter has at least one full-screen mode.
int32_t EnumerateAdapters(uint32_t ordinal, AdapterRecord* adapter);
// 1 when the mode is usable; its three format arrays are then filled.
int32_t CheckModeFormats(AdapterRecord* adapter, DisplayModeRecord* mode, int32_t windowed);
// The adapter's score, -1 when unusable or without a mode of the configured size.
int32_t RateAdapter(int32_t index);
void SetAdapterCapsFlags(int32_t index);
// 24, 32 or 16 for the colour formats with those depths, 0 for every other format.
int32_t FormatBitsPerPixel(uint32_t format);
// Frees the adapter tables (with `full`, and the display object's copy of the count).
void ReleaseAdapterTables(int32_t full);
// The chosen adapter record, or null.
AdapterRecord* ChosenAdapter();
// Frees the device record, the adapter tables, the system object and the context.
void FreeDirect3DContext();

// Every resource call that creates, loads, locks or copies runs through this: a second attempt
// after a failure, with the low-memory hook first when the failure was a lack of memory.
template <typename Call>
GpuResult GpuRetry(Call call);
void RunLowMemoryHookForGpu(GpuResult result);

template <typename Call>
GpuResult GpuRetry(Call call) {
  GpuResult result = call();
  if (GpuSucceeded(result)) return result;
  RunLowMemoryHookForGpu(result);
  return call();
}

// ---- The device (d3d_device.cpp)

int32_t CreateD3DDevice();
// A new accounted string: "NONE", "2x", "4x", "6x", "8x" or "16x". (The quality names and the
// active profile for the benchmark log are in render/render.h.)
char* MultiSampleTypeName(uint32_t type);
// Releases the fixed lookup images.
void ReleaseLightingImages();
// 1 with a new state manager for the current device in *out.
int32_t CreateDeviceStateManager(RenderStateManager** out);
// Frees the device record and what it holds (surfaces, descriptors, strings, the device).
void FreeDeviceRecord();

// The window the device draws into; the display object's window once it exists (null headless
// tests: the layer then makes its own).
extern OsWindow* gDeviceWindow;

// Slots of the fixed lookup images.
constexpr int kLightingImageCount = 10;
constexpr int kLookupImageSlots = 23;
// The eight fixed images ("\NONE_WHITE", "\NONE_BLACK", "\NONE_NORMAL", "\NONE_NORMAL_LOW",
// "\NONE_OCCL_DECAL", "\NONE_GRAY", "\NONE_ENVI", "\ENVI") fill the slots from this one on.
constexpr int kFixedImageSlot = 14;
// Named slots: the exponent and depth lookup tables, the normalisation cube, the fixed images.
constexpr int kLookupPowSlot = 10;
constexpr int kLookupDeriveZSlot = 11;
constexpr int kLookupNormalizeSlot = 12;
constexpr int kImageNoneWhite = kFixedImageSlot;
constexpr int kImageNoneBlack = kFixedImageSlot + 1;
constexpr int kImageNoneNormal = kFixedImageSlot + 2;
constexpr int kImageNoneNormalLow = kFixedImageSlot + 3;
constexpr int kImageNoneOcclDecal = kFixedImageSlot + 4;
constexpr int kImageNoneGray = kFixedImageSlot + 5;
constexpr int kImageNoneEnvi = kFixedImageSlot + 6;
constexpr int kImageEnvi = kFixedImageSlot + 7;
struct DisplaySurface;
extern DisplaySurface* gLookupImages[kLookupImageSlots];
