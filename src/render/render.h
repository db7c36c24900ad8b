// The renderer's header: what the application core may use of the display, the screen lists,
// the fonts, the per-frame screen update and the screenshot. The renderer owns these records;
// callers read only the fields named here. It must stay free of device internals.
#pragma once

#include <cstdint>

#include "render/display_surface.h"

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
  DisplaySurface* videoSurface;  // the screen surface whose display list holds the game surfaces
  int32_t horizontalExtent = 0;  // 16.16, the screen relative to a 4:3 frame
  int32_t verticalExtent = 0;
  DisplaySurface* backBufferSurface = nullptr;  // over the same device back buffer as the video surface
  DisplaySurface* spareSurfaces[2] = {};        // GetDisplaySurface 3 and 2
};
extern DisplayObject* gDisplay;

constexpr int kScreenListCount = 2;
extern DisplaySurface* gScreenLists[kScreenListCount];

// The video flags bits the game main adds when it creates the display.
constexpr uint32_t kCreateDisplayBits = 0xE0;

// 1 when the context exists and its adapters were counted (once per context).
int32_t CreateDirect3D();
// 1 when an adapter and a display mode were chosen from the settings.
int32_t SelectDisplayMode();
// Null on failure.
DisplayObject* CreateDisplay(uint32_t videoFlags, int32_t width, int32_t height, int32_t depth);
void ReleaseDisplay(int32_t flag);
// Drops one reference of the record in the slot and clears the slot: the remaining count, 0 when
// the record was freed (with its display list and device storage), -1 for an empty slot.
int32_t ReleaseImageHandle(DisplaySurface** slot);
// Frees every open font (render/fonts.h) with its sheet, cache and tables.
void ReleaseFonts();
// The renderer's 3D set-up (render/render_matrices.h): vertex declarations, default states,
// matrices, light slots, shader levels, bloom and environment map; 0 on failure.
int32_t InitRender3D();
// The per-frame screen update: flips, draws the statistics and presents the frame.
void UpdateScreen();
void TakeScreenshot();
const char* TextureQualityName();
const char* ShaderQualityName();
const char* ShaderProfileName();
int32_t VertexSizeBytes();
