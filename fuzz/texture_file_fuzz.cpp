// Fuzz target of the renderer's texture-file loading: the input is a texture file of the types
// "pck dds" in the game folder, loaded into a display surface on the recording null device
// (plain and cube textures, with and without mip skipping) and released again. Any picture the
// image layer reads may arrive under those types, so the seeds are the image seeds.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "platform/gpu.h"
#include "platform/gpu_image.h"
#include "render/d3d_context.h"
#include "render/render.h"
#include "render/surface_ops.h"

namespace {

// Larger pictures are not made into textures, so a small file claiming a huge picture cannot
// make the run spend its memory.
constexpr uint64_t kMostPixels = 1u << 18;

DeviceRecord gRecord{};
Direct3DContext gContext{};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::World();
  if (!gContext.device) {
    gRecord.device = fuzz::NullGpuDevice();
    gContext.device = &gRecord;
  }
  gDirect3D = &gContext;
  GpuxImageInfo info{};
  if (GpuSucceeded(GpuxGetImageInfoFromFileInMemory(data, size, &info)) &&
      static_cast<uint64_t>(info.width) * info.height * (info.resourceType == kGpuRtypeCubeTexture ? 6 : 1) >
          kMostPixels)
    return 0;
  if (!fuzz::WriteFile("fuzz.dds", data, size)) return 0;
  gRecord.textureQuality = size % 3;
  for (uint32_t flags : {0u, kSurfaceLoadNoMipSkip}) {
    DisplaySurface* record = LoadTextureFile("fuzz", flags, 0);
    if (!record) continue;
    if (!record->deviceSurface || !record->deviceTexture || (record->flags & kSurfaceLoadedTexture) != kSurfaceLoadedTexture)
      __builtin_trap();
    ReleaseImageHandle(&record);
  }
  fuzz::RemoveFile("fuzz.dds");
  gDirect3D = nullptr;
  return 0;
}
