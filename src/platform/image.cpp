// Picture decoding through stb_image and resizing through stb_image_resize, both compiled here
// with their functions private to this file. Callers: the launcher picture and picture-file
// loaders. Never reads beyond the bytes it was given.
#include "platform/image.h"

#include <cstdlib>
#include <cstdint>
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

uint32_t U16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }

// A TGA's header, colour map and pixels (walking the packets of a run-length coded one) must
// lie within the file: the decoder would read missing bytes as zeros.
bool TgaWhole(const uint8_t* b, size_t size) {
  if (size < 18) return false;
  uint32_t type = b[2], width = U16(b + 12), height = U16(b + 14), bits = b[16];
  if (width == 0 || height == 0 || bits == 0 || bits > 32) return false;
  size_t pos = 18 + size_t(b[0]);
  if (b[1]) pos += size_t(U16(b + 5)) * ((b[7] + 7u) / 8);
  size_t pixel = (bits + 7) / 8;
  size_t count = size_t(width) * height;
  if (type == 1 || type == 2 || type == 3) return pos <= size && count * pixel <= size - pos;
  if (type != 9 && type != 10 && type != 11) return false;
  for (size_t done = 0; done < count;) {
    if (pos >= size) return false;
    uint8_t header = b[pos++];
    size_t n = (header & 0x7Fu) + 1;
    size_t bytes = (header & 0x80) ? pixel : n * pixel;
    if (bytes > size - pos) return false;
    pos += bytes;
    done += n;
  }
  return true;
}

// An uncompressed bitmap's rows must lie within the file.
bool BmpWhole(const uint8_t* b, size_t size) {
  if (size < 26) return false;
  uint32_t offset = U32(b + 10), header = U32(b + 14);
  uint64_t width, height, bits, compression;
  if (header == 12) {
    width = U16(b + 18);
    height = U16(b + 20);
    bits = size >= 26 ? U16(b + 24) : 0;
    compression = 0;
  } else {
    if (size < 34) return false;
    width = static_cast<uint64_t>(std::abs(static_cast<int64_t>(static_cast<int32_t>(U32(b + 18)))));
    height = static_cast<uint64_t>(std::abs(static_cast<int64_t>(static_cast<int32_t>(U32(b + 22)))));
    bits = U16(b + 28);
    compression = U32(b + 30);
  }
  if (compression != 0 && compression != 3) return true;  // packed forms are the decoder's to refuse
  uint64_t stride = (width * bits + 31) / 32 * 4;
  return width > 0 && height > 0 && offset <= size && stride * height <= size - offset;
}

// A JPEG's segments must lie within the file, up to its end-of-image marker (a file cut short
// lacks it), and each Huffman table must hold at most 256 codes: the decoder sizes its tables
// for that many and would write beyond them.
bool JpegWhole(const uint8_t* b, size_t size) {
  constexpr uint8_t kEndOfImage = 0xD9, kStartOfScan = 0xDA, kHuffmanTables = 0xC4;
  size_t pos = 2;
  while (pos + 2 <= size) {
    if (b[pos] != 0xFF) return false;
    uint8_t marker = b[pos + 1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == kEndOfImage) return true;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without a length
      pos += 2;
      continue;
    }
    if (pos + 4 > size) return false;
    size_t length = U16(b + pos + 2);
    length = (length >> 8) | ((length & 0xFF) << 8);  // big-endian
    if (length < 2 || length > size - pos - 2) return false;
    size_t end = pos + 2 + length;
    if (marker == kHuffmanTables) {
      for (size_t q = pos + 4; q < end;) {
        if (end - q < 17) return false;
        size_t codes = 0;
        for (size_t i = 1; i <= 16; ++i) codes += b[q + i];
        if (codes > 256 || codes > end - q - 17) return false;
        q += 17 + codes;
      }
    }
    pos = end;
    if (marker == kStartOfScan) {  // entropy-coded data runs to the next marker
      while (pos + 1 < size && !(b[pos] == 0xFF && b[pos + 1] != 0 && (b[pos + 1] < 0xD0 || b[pos + 1] > 0xD7))) ++pos;
    }
  }
  return false;
}

bool Whole(const uint8_t* b, size_t size) {
  if (size >= 2 && b[0] == 'B' && b[1] == 'M') return BmpWhole(b, size);
  if (size >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return JpegWhole(b, size);
  if (size >= 4 && ((b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') || std::memcmp(b, "GIF8", 4) == 0))
    return true;  // these decoders stop at the end of their data
  return TgaWhole(b, size);
}

}  // namespace

bool ImageDecode(const uint8_t* bytes, size_t size, Image* out) {
  if (!out) return false;
  *out = Image{0, 0, nullptr};
  if (!bytes || size == 0 || size > static_cast<size_t>(INT32_MAX) || !Whole(bytes, size)) return false;
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
  if (!bytes || size == 0 || size > static_cast<size_t>(INT32_MAX) || !Whole(bytes, size)) return false;
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
