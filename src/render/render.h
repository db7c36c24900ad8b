// The renderer's header: what the application core may use of the display, the screen lists,
// the fonts, the per-frame screen update and the screenshot. The renderer owns these records;
// callers read only the fields named here. It must stay free of device internals.
#pragma once

#include <cstdint>

// The renderer's graphics-API context (render/d3d_context.h).
struct Direct3DContext;
extern Direct3DContext* gDirect3D;

// The rendering device's frame size.
struct DisplayDevice {
  int16_t width;
  int16_t height;
  int16_t bitDepth;
};

// DisplayObject flag bits.
constexpr uint32_t kDisplayNoScreenLists = 0x20;              // the display owns its drawing surfaces
constexpr uint32_t kDisplaySecondScreenList = 0x2000000;      // a second, half-width screen list
constexpr uint32_t kDisplayScreenshotBeforePresent = 0x8000000;

struct DisplayObject {
  uint32_t flags;
  DisplayDevice* device;
};
extern DisplayObject* gDisplay;

class GpuSurface;

// Image record flag bits.
constexpr uint32_t kImageLocked = 0x2;        // `pixels` is valid
constexpr uint32_t kImageKeepLocked = 0x200000;  // its device surface is never unlocked for it

// A reference-counted image record; a screen list is one, its width its first size. A record
// locked for software drawing holds its pixels and the device surface they belong to.
struct ImageRecord {
  int16_t width;
  int16_t height;
  int16_t depth;
  uint32_t refCount;
  uint8_t* pixels;
  uint32_t flags;
  GpuSurface* deviceSurface;  // null when no device surface stands behind it
};

constexpr int kScreenListCount = 2;
extern ImageRecord* gScreenLists[kScreenListCount];

constexpr int kFontSlotCount = 10;
extern void* gFontSlots[kFontSlotCount];

// The video flags bits the game main adds when it creates the display.
constexpr uint32_t kCreateDisplayBits = 0xE0;

// 1 when the context exists and its adapters were counted (once per context).
int32_t CreateDirect3D();
// 1 when an adapter and a display mode were chosen from the settings.
int32_t SelectDisplayMode();
// Null on failure.
DisplayObject* CreateDisplay(uint32_t videoFlags, int32_t width, int32_t height, int32_t depth);
void ReleaseDisplay(int32_t flag);
// Creates or rebuilds the screen list in *slot over x offset .. x offset + width of the display.
ImageRecord* DisplayListCreate(ImageRecord** slot, int32_t xOffset, int32_t width, int32_t height);
// Drops one reference of the record in the slot and clears the slot; -1 for an empty slot.
int32_t ReleaseImageHandle(ImageRecord** slot);
void ReleaseFonts(int32_t slot);
// The renderer's 3D set-up (bloom and post-processing resources); 0 on failure.
int32_t InitRender3D();
// The per-frame screen update: flips, draws the statistics and presents the frame.
void UpdateScreen();
void TakeScreenshot();
const char* TextureQualityName();
const char* ShaderQualityName();
const char* ShaderProfileName();
int32_t VertexSizeBytes();
