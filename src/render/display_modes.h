// The display adapters and modes the renderer's graphics context counted, as the graphics
// settings dialog lists them: per adapter its description, its full-screen and windowed mode
// lists, its anisotropic filtering capability and largest anisotropy, and the multisample checks;
// read from the context's adapter records. Called by the settings dialogs, the game main and the
// display change. Tests install adapters of their own.
#pragma once

#include <cstdint>

#include "render/d3d_context.h"

// Display and depth formats (the graphics API's format numbers).
constexpr uint32_t kFormatR8G8B8 = 20;
constexpr uint32_t kFormatA8R8G8B8 = 21;
constexpr uint32_t kFormatX8R8G8B8 = 22;
constexpr uint32_t kFormatR5G6B5 = 23;
constexpr uint32_t kFormatX1R5G5B5 = 24;
constexpr uint32_t kFormatA1R5G5B5 = 25;
constexpr uint32_t kFormatA4R4G4B4 = 26;
constexpr uint32_t kFormatX4R4G4B4 = 30;
constexpr uint32_t kFormatD24X8 = 77;

// Adapter capability bit: anisotropic texture filtering.
constexpr uint32_t kAdapterCapsAnisotropic = 0x400;

struct DisplayModeInfo {
  int32_t width;
  int32_t height;
  uint32_t format;
};

struct DisplayAdapterInfo {
  const char* description;
  int32_t fullscreenModeCount;
  const DisplayModeInfo* fullscreenModes;
  int32_t windowedModeCount;
  const DisplayModeInfo* windowedModes;
  uint32_t capabilityFlags;
  int32_t maxAnisotropy;
  // Bit n set: n samples supported in full screen for every colour and depth format.
  uint32_t multiSampleMask;
};

int32_t GetDisplayAdapterCount(const Direct3DContext* context);
// Null for an index out of range or without a context.
const DisplayAdapterInfo* GetDisplayAdapter(const Direct3DContext* context, int32_t index);
// The graphics API's multisample query for the adapter's hardware device.
bool CheckDeviceMultiSampleType(int32_t adapter, uint32_t format, bool fullscreen, int32_t samples);
// Non-zero when the adapter supports the sample count in full screen for the back-buffer format
// and for the D24X8 depth format.
int32_t CheckMultiSampleSupport(int32_t adapter, uint32_t format, int32_t samples);

// The display mode chosen for the game; the configured screen size until adapters are counted.
const DisplayModeRecord* ChosenDisplayMode();

// Forgets the lists built from the adapter records; called when those records are freed, so no
// list outlives the table it was read from.
void ReleaseDisplayAdapterViews();

// Test seam: these adapters replace the counted ones; null restores them.
void SetDisplayAdaptersForTest(const DisplayAdapterInfo* adapters, int32_t count);
