// The adapters and modes as the graphics settings dialog lists them, read from the adapter
// table the context counted: per adapter its name, its full-screen and windowed sizes, its
// anisotropic filtering and the multisample checks; and the display mode chosen for the game.
// Called by the settings dialogs, the game main and the display change. Never touches a device.
#include <vector>

#include "core/system_block.h"
#include "render/display_modes.h"

namespace {

struct AdapterView {
  DisplayAdapterInfo info;
  std::vector<DisplayModeInfo> fullscreen;
  std::vector<DisplayModeInfo> windowed;
};

const DisplayAdapterInfo* gTestAdapters = nullptr;
int32_t gTestAdapterCount = 0;
std::vector<AdapterView> gViews;
const AdapterRecord* gViewsOf = nullptr;
DisplayModeRecord gFallbackMode;

bool Counted(const Direct3DContext* context) { return context && context->adapters && context->adapterCount > 0; }

void BuildViews(const Direct3DContext* context) {
  if (gViewsOf == context->adapters && gViews.size() == context->adapterCount) return;
  gViews.assign(context->adapterCount, AdapterView{});
  for (uint32_t a = 0; a < context->adapterCount; ++a) {
    const AdapterRecord& record = context->adapters[a];
    AdapterView& view = gViews[a];
    for (int32_t i = 0; i < record.fullscreenModeCount; ++i) {
      const DisplayModeRecord& m = record.fullscreenModes[i];
      view.fullscreen.push_back({static_cast<int32_t>(m.width), static_cast<int32_t>(m.height), m.format});
    }
    for (int32_t i = 0; i < record.windowedModeCount; ++i) {
      const DisplayModeRecord& m = record.windowedModes[i];
      view.windowed.push_back({static_cast<int32_t>(m.width), static_cast<int32_t>(m.height), m.format});
    }
    uint32_t mask = 0;
    for (int32_t samples = 2; samples <= 16; ++samples)
      if (CheckMultiSampleSupport(static_cast<int32_t>(a), kFormatA8R8G8B8, samples)) mask |= 1u << samples;
    view.info = DisplayAdapterInfo{record.identifier.description,
                                   static_cast<int32_t>(view.fullscreen.size()),
                                   view.fullscreen.data(),
                                   static_cast<int32_t>(view.windowed.size()),
                                   view.windowed.data(),
                                   record.caps.textureFilterCaps,
                                   static_cast<int32_t>(record.caps.maxAnisotropy),
                                   mask};
  }
  gViewsOf = context->adapters;
}

}  // namespace

int32_t GetDisplayAdapterCount(const Direct3DContext* context) {
  if (!context) return 0;
  if (gTestAdapters) return gTestAdapterCount;
  return Counted(context) ? static_cast<int32_t>(context->adapterCount) : 0;
}

const DisplayAdapterInfo* GetDisplayAdapter(const Direct3DContext* context, int32_t index) {
  if (!context || index < 0 || index >= GetDisplayAdapterCount(context)) return nullptr;
  if (gTestAdapters) return &gTestAdapters[index];
  BuildViews(context);
  return &gViews[index].info;
}

bool CheckDeviceMultiSampleType(int32_t adapter, uint32_t format, bool fullscreen, int32_t samples) {
  if (gTestAdapters) {
    if (adapter < 0 || adapter >= gTestAdapterCount || !fullscreen || samples < 2 || samples > 16) return false;
    return (gTestAdapters[adapter].multiSampleMask >> samples) & 1u;
  }
  if (!gDirect3D || !gDirect3D->system || adapter < 0 || static_cast<uint32_t>(adapter) >= gDirect3D->adapterCount)
    return false;
  return GpuSucceeded(gDirect3D->system->CheckDeviceMultiSampleType(static_cast<uint32_t>(adapter), kGpuDevTypeHal,
                                                                     format, fullscreen ? 0 : 1,
                                                                     static_cast<uint32_t>(samples), nullptr));
}

int32_t CheckMultiSampleSupport(int32_t adapter, uint32_t format, int32_t samples) {
  return CheckDeviceMultiSampleType(adapter, format, true, samples) &&
         CheckDeviceMultiSampleType(adapter, kFormatD24X8, true, samples);
}

void ReleaseDisplayAdapterViews() {
  gViews.clear();
  gViewsOf = nullptr;
}

void SetDisplayAdaptersForTest(const DisplayAdapterInfo* adapters, int32_t count) {
  gTestAdapters = adapters && count > 0 ? adapters : nullptr;
  gTestAdapterCount = gTestAdapters ? count : 0;
}

const DisplayModeRecord* ChosenDisplayMode() {
  const AdapterRecord* adapter = ChosenAdapter();
  const DisplaySelection& selection = CurrentDisplaySelection();
  if (adapter && gSystem) {
    const bool windowed = gSystem->videoFlags & kVideoFlagWindowed;
    const int32_t count = windowed ? adapter->windowedModeCount : adapter->fullscreenModeCount;
    const DisplayModeRecord* modes = windowed ? adapter->windowedModes : adapter->fullscreenModes;
    const uint32_t index = *selection.modeIndex;
    if (index < static_cast<uint32_t>(count)) return &modes[index];
  }
  gFallbackMode = DisplayModeRecord{};
  gFallbackMode.format = kFormatX8R8G8B8;
  if (gSystem) {
    gFallbackMode.width = static_cast<uint16_t>(gSystem->screenWidth);
    gFallbackMode.height = static_cast<uint16_t>(gSystem->screenHeight);
  }
  return &gFallbackMode;
}
