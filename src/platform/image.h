// Pictures for the dialogs, loading screens and textures: decoding PNG, JPG, TGA, BMP and GIF into
// 8-bit RGBA pixels, and resizing such a picture to a rectangle. Called by the launcher (its
// picture) and whoever loads a picture file. Pixel memory belongs to the image; ImageFree gives it
// back. Never hands out a picture it could not decode whole.
#pragma once

#include <cstddef>
#include <cstdint>

// Rows top to bottom, 4 bytes per pixel (red, green, blue, alpha).
struct Image {
  int32_t width;
  int32_t height;
  uint8_t* pixels;
};

// False (and an empty image) when the bytes are no picture of a known format.
bool ImageDecode(const uint8_t* bytes, size_t size, Image* out);
// The size and channel count (1 grey, 2 grey and alpha, 3 colour, 4 colour and alpha) of a
// picture without decoding it; false when the bytes are no picture of a known format.
bool ImageProbe(const uint8_t* bytes, size_t size, int32_t* width, int32_t* height, int32_t* channels);
// A picture file by game path; false when missing or not a picture.
bool ImageLoadFile(const char* gamePath, Image* out);
// A new picture of the given size, filtered from the source; false for an empty source or a
// size below 1 or beyond 16384.
bool ImageResize(const Image* source, int32_t width, int32_t height, Image* out);
// A new copy; false for an empty source.
bool ImageCopy(const Image* source, Image* out);
void ImageFree(Image* image);
