// The least form of the display adapter list until the renderer enumerates adapters: one
// software adapter with the common 4:3 and wide modes in 32 and 16 bits, anisotropic filtering
// up to 16 and multisampling with 2 and 4 samples, and the configured screen size as the chosen
// mode. Called by the graphics settings dialog, the game main and the display change. Never
// touches a device.
#include "render/display_modes.h"

#include "core/system_block.h"
#include "render/render.h"

namespace {

const DisplayModeInfo kModes[] = {
    {640, 480, kFormatX8R8G8B8},   {800, 600, kFormatX8R8G8B8},  {1024, 768, kFormatX8R8G8B8},
    {1280, 1024, kFormatX8R8G8B8}, {1280, 720, kFormatX8R8G8B8}, {1920, 1080, kFormatX8R8G8B8},
    {640, 480, kFormatR5G6B5},     {800, 600, kFormatR5G6B5},    {1024, 768, kFormatR5G6B5},
};
const DisplayModeInfo kWindowedModes[] = {
    {640, 480, kFormatX8R8G8B8},
    {800, 600, kFormatX8R8G8B8},
    {1024, 768, kFormatX8R8G8B8},
    {1280, 1024, kFormatX8R8G8B8},
};

const DisplayAdapterInfo kAdapters[] = {
    {"Korvane Software Rasteriser", static_cast<int32_t>(sizeof kModes / sizeof kModes[0]), kModes,
     static_cast<int32_t>(sizeof kWindowedModes / sizeof kWindowedModes[0]), kWindowedModes, kAdapterCapsAnisotropic,
     16, (1u << 2) | (1u << 4)},
};

const DisplayAdapterInfo* gAdapters = kAdapters;
DisplayModeRecord gChosenMode;
int32_t gAdapterCount = 1;

}  // namespace

int32_t GetDisplayAdapterCount(const Direct3DContext* context) { return context ? gAdapterCount : 0; }

const DisplayAdapterInfo* GetDisplayAdapter(const Direct3DContext* context, int32_t index) {
  if (!context || index < 0 || index >= gAdapterCount) return nullptr;
  return &gAdapters[index];
}

bool CheckDeviceMultiSampleType(int32_t adapter, uint32_t format, bool fullscreen, int32_t samples) {
  (void)format;
  if (adapter < 0 || adapter >= gAdapterCount || !fullscreen || samples < 2 || samples > 16) return false;
  return (gAdapters[adapter].multiSampleMask >> samples) & 1u;
}

int32_t CheckMultiSampleSupport(int32_t adapter, uint32_t format, int32_t samples) {
  return CheckDeviceMultiSampleType(adapter, format, true, samples) &&
         CheckDeviceMultiSampleType(adapter, kFormatD24X8, true, samples);
}

void SetDisplayAdaptersForTest(const DisplayAdapterInfo* adapters, int32_t count) {
  gAdapters = adapters && count > 0 ? adapters : kAdapters;
  gAdapterCount = adapters && count > 0 ? count : 1;
}

const DisplayModeRecord* ChosenDisplayMode() {
  gChosenMode = DisplayModeRecord{};
  gChosenMode.format = kFormatX8R8G8B8;
  if (gSystem) {
    gChosenMode.width = static_cast<uint16_t>(gSystem->screenWidth);
    gChosenMode.height = static_cast<uint16_t>(gSystem->screenHeight);
  }
  return &gChosenMode;
}
