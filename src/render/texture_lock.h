// Writing a texture's pixels from the CPU: the texel memory of a loaded image record, locked for
// one copy. Used by the media streams, which copy video frames into movie textures. A lock that
// fails leaves the record unlocked; every successful lock is unlocked by the same caller.
#pragma once

#include <cstdint>

struct DisplaySurface;

struct TextureTexels {
  uint8_t* bits;
  int32_t pitch;  // bytes from one row to the next
  int32_t width;
  int32_t height;
  int32_t bitsPerPixel;
};

bool LockTextureTexels(DisplaySurface* image, TextureTexels* texels);
void UnlockTextureTexels(DisplaySurface* image);
