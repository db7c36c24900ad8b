// Picture decoding through stb_image and resizing through stb_image_resize, both compiled here
// with their functions private to this file. Callers: the launcher picture and picture-file
// loaders. Never reads beyond the bytes it was given.
#include "platform/image.h"

#include <cstdlib>
#include <cstring>

#include "platform/os.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_PIC
#define STBI_NO_PNM
#define STBI_NO_PSD
#include <stb/stb_image.h>
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>
#pragma GCC diagnostic pop

namespace {

constexpr int32_t kMaxImageSide = 16384;
// Pictures larger than this are refused rather than read whole into memory.
constexpr long kMaxImageFileBytes = 64L * 1024 * 1024;

bool Allocate(Image* out, int32_t width, int32_t height) {
  out->pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * height * 4));
  if (!out->pixels) return false;
  out->width = width;
  out->height = height;
  return true;
}

}  // namespace

bool ImageDecode(const uint8_t* bytes, size_t size, Image* out) {
  if (!out) return false;
  *out = Image{0, 0, nullptr};
  if (!bytes || size == 0 || size > static_cast<size_t>(INT32_MAX)) return false;
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load_from_memory(bytes, static_cast<int>(size), &width, &height, &channels, 4);
  if (!pixels) return false;
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
    stbi_image_free(pixels);
    return false;
  }
  bool ok = Allocate(out, width, height);
  if (ok) std::memcpy(out->pixels, pixels, static_cast<size_t>(width) * height * 4);
  stbi_image_free(pixels);
  return ok;
}

bool ImageProbe(const uint8_t* bytes, size_t size, int32_t* width, int32_t* height, int32_t* channels) {
  if (!bytes || size == 0 || size > static_cast<size_t>(INT32_MAX)) return false;
  int w = 0, h = 0, c = 0;
  if (!stbi_info_from_memory(bytes, static_cast<int>(size), &w, &h, &c)) return false;
  if (w < 1 || h < 1 || w > kMaxImageSide || h > kMaxImageSide) return false;
  if (width) *width = w;
  if (height) *height = h;
  if (channels) *channels = c;
  return true;
}

bool ImageLoadFile(const char* gamePath, Image* out) {
  if (!out) return false;
  *out = Image{0, 0, nullptr};
  FILE* file = gamePath ? OsOpenFile(gamePath, "rb") : nullptr;
  if (!file) return false;
  bool ok = false;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    long size = std::ftell(file);
    if (size > 0 && size <= kMaxImageFileBytes && std::fseek(file, 0, SEEK_SET) == 0) {
      auto* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
      if (bytes && std::fread(bytes, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size)) {
        ok = ImageDecode(bytes, static_cast<size_t>(size), out);
      }
      std::free(bytes);
    }
  }
  std::fclose(file);
  return ok;
}

bool ImageResize(const Image* source, int32_t width, int32_t height, Image* out) {
  if (!out) return false;
  *out = Image{0, 0, nullptr};
  if (!source || !source->pixels || source->width < 1 || source->height < 1) return false;
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) return false;
  if (!Allocate(out, width, height)) return false;
  if (!stbir_resize_uint8(source->pixels, source->width, source->height, 0, out->pixels, width, height, 0, 4)) {
    ImageFree(out);
    return false;
  }
  return true;
}

bool ImageCopy(const Image* source, Image* out) {
  if (!out) return false;
  *out = Image{0, 0, nullptr};
  if (!source || !source->pixels || source->width < 1 || source->height < 1) return false;
  if (!Allocate(out, source->width, source->height)) return false;
  std::memcpy(out->pixels, source->pixels, static_cast<size_t>(source->width) * source->height * 4);
  return true;
}

void ImageFree(Image* image) {
  if (!image) return;
  std::free(image->pixels);
  *image = Image{0, 0, nullptr};
}
