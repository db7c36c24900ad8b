// Fuzz target of the image readers behind the device's texture loading: DDS by our own reader,
// TGA, BMP, JPEG and PNG through the picture decoder. The input is a file; its description is
// read, and pictures of a modest size are made into a texture of their own format, a texture
// converted to A8R8G8B8 with a full mip chain (or a cube), and a small surface, all on the
// recording null device.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "platform/gpu.h"
#include "platform/gpu_image.h"

namespace {

// Larger pictures are read for their description only, so a small file claiming a huge
// picture cannot make the run spend its memory on textures.
constexpr uint64_t kMostPixels = 1u << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GpuxImageInfo info{};
  if (GpuFailed(GpuxGetImageInfoFromFileInMemory(data, size, &info))) return 0;
  if (info.width == 0 || info.height == 0 || info.mipLevels == 0) __builtin_trap();
  if (static_cast<uint64_t>(info.width) * info.height > kMostPixels) return 0;
  GpuDevice* device = fuzz::NullGpuDevice();
  if (info.resourceType == kGpuRtypeCubeTexture) {
    GpuCubeTexture* cube = nullptr;
    if (GpuSucceeded(GpuxCreateCubeTextureFromFileInMemoryEx(device, data, size, kGpuxDefault, kGpuxFromFile, 0,
                                                             kGpuFmtUnknown, kGpuPoolManaged, kGpuxDefault,
                                                             GpuxSkipDdsMipLevels(1, kGpuxFilterNone), 0, nullptr, &cube)))
      cube->Release();
  } else {
    GpuTexture* texture = nullptr;
    if (GpuSucceeded(GpuxCreateTextureFromFileInMemoryEx(device, data, size, kGpuxDefault, kGpuxDefault, kGpuxFromFile, 0,
                                                         kGpuFmtUnknown, kGpuPoolManaged, kGpuxDefault,
                                                         GpuxSkipDdsMipLevels(1, kGpuxFilterNone), 0, nullptr, &texture)))
      texture->Release();
    if (GpuSucceeded(GpuxCreateTextureFromFileInMemoryEx(device, data, size, kGpuxDefault, kGpuxDefault, 0, 0,
                                                         kGpuFmtA8R8G8B8, kGpuPoolManaged, kGpuxDefault, kGpuxDefault,
                                                         0xFF000000, nullptr, &texture)))
      texture->Release();
  }
  GpuSurface* surface = nullptr;
  if (GpuSucceeded(device->CreateOffscreenPlainSurface(8, 8, kGpuFmtR5G6B5, kGpuPoolSystemMem, &surface))) {
    GpuxLoadSurfaceFromFileInMemory(surface, nullptr, data, size, nullptr, kGpuxFilterLinear, 0, nullptr);
    surface->Release();
  }
  return 0;
}
