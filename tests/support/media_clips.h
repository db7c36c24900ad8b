// Test media made at test time through the decoding library's own encoders: the movie clip (an
// MPEG-1 program stream with a tone, every frame one known flat colour) and an MP3 tone. The
// colours are far apart so a decoded frame tells which one it is despite the codec's rounding.
#pragma once

#include <cstdint>
#include <string>

#include "platform/media_decoder.h"

namespace media_clips {

constexpr uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000};
constexpr int32_t kColourCount = 5;
constexpr int32_t kToneHz = 440;
constexpr int32_t kFramesPerSecond = 25;

// 64 x 48 at 25 frames per second with the tone (or without: toneHz 0).
inline MediaClipRecipe MovieRecipe(int32_t durationMs = 2000, int32_t toneHz = kToneHz, int32_t width = 64,
                               int32_t height = 48) {
  return MediaClipRecipe{width, height, kFramesPerSecond, durationMs, kColours, kColourCount, toneHz};
}

inline MediaClipRecipe SoundtrackRecipe(int32_t durationMs = 2000) {
  return MediaClipRecipe{0, 0, 0, durationMs, nullptr, 0, kToneHz};
}

// The index of the listed colour nearest to a pixel's blue, green, red bytes.
inline int32_t NearestColour(const uint8_t* bgr) {
  int32_t best = -1;
  int32_t bestDistance = 0;
  for (int32_t k = 0; k < kColourCount; ++k) {
    const int32_t c[3] = {int32_t(kColours[k] & 0xFF), int32_t((kColours[k] >> 8) & 0xFF), int32_t(kColours[k] >> 16)};
    int32_t distance = 0;
    for (int i = 0; i < 3; ++i) distance += (c[i] - bgr[i]) * (c[i] - bgr[i]);
    if (best < 0 || distance < bestDistance) best = k, bestDistance = distance;
  }
  return best;
}

}  // namespace media_clips
