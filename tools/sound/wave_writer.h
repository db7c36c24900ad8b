// A small writer of RIFF/WAVE files for tests, fuzz seeds and the demo's generated sounds: PCM
// with any channel count and format tag (so tests can also make the files the engine refuses),
// optional chunks before the data, and tone makers. Never used by the engine itself.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sound_tool {

struct WaveOptions {
  uint32_t rate = 22050;
  uint16_t bits = 16;
  uint16_t channels = 1;
  uint16_t formatTag = 1;
  // Bytes after the 16-byte format body: 2 writes the 18-byte form with an empty extension.
  uint16_t formatExtra = 0;
  // (tag, body) chunks written between the format and the data, e.g. {"LIST", "..."}.
  std::vector<std::pair<std::string, std::string>> chunksBeforeData;
};

// A whole file around the given PCM bytes.
std::string MakeWave(const WaveOptions& options, const std::string& pcm);

// Mono 16-bit little-endian PCM of a sine tone, and 8-bit unsigned PCM of the same.
std::string SinePcm16(double hertz, uint32_t rate, uint32_t frames, double amplitude);
std::string SinePcm8(double hertz, uint32_t rate, uint32_t frames, double amplitude);

}  // namespace sound_tool
