// Fuzz target of the picture loader: the input's first byte chooses the file's extension
// (".tga" or ".jpg") and the load flags (plain surface, texture, DXT1), the rest is the file in
// the game folder, loaded by name through LoadImageFile on the recording null device (with the
// extension retry and every loader after it) and released again. Seeds: the demo generator's
// pictures and the image layer's TGA and JPEG seeds behind each selector.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "platform/gpu.h"
#include "platform/gpu_image.h"
#include "render/image_records.h"
#include "render/render.h"
#include "render/surface_ops.h"

namespace {

// Larger pictures are not loaded, so a small file claiming a huge picture cannot make the run
// spend its memory.
constexpr uint64_t kMostPixels = 1u << 18;
constexpr uint32_t kFlags[] = {0, kSurfaceTexture, kSurfaceDxt1 | kSurfaceTexture, kSurfaceDefaultPool2};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::World();
  fuzz::UseNullDirect3D();
  const uint8_t selector = data[0];
  ++data, --size;
  GpuxImageInfo info{};
  if (GpuSucceeded(GpuxGetImageInfoFromFileInMemory(data, size, &info)) &&
      static_cast<uint64_t>(info.width) * info.height > kMostPixels)
    return 0;
  // A TGA header's own size fields count too: the loader hands them to the decoder.
  if (size >= 18 && static_cast<uint64_t>(data[12] | data[13] << 8) * (data[14] | data[15] << 8) > kMostPixels) return 0;
  const bool jpg = selector & 1;
  const char* file = jpg ? "fuzz.jpg" : "fuzz.tga";
  if (!fuzz::WriteFile(file, data, size)) return 0;
  DisplaySurface* record = LoadImageFile(file, kFlags[(selector >> 1) & 3], 0, 0);
  if (record) {
    if (!record->deviceSurface || record->refCount != 1) __builtin_trap();
    ReleaseImageHandle(&record);
  }
  fuzz::RemoveFile(file);
  gDirect3D = nullptr;
  return 0;
}
