// The wave writer (see wave_writer.h).
#include "sound/wave_writer.h"

#include <cmath>

namespace sound_tool {

namespace {

constexpr double kTwoPi = 6.283185307179586;

void PutLE16(std::string* out, uint32_t value) {
  out->push_back(char(value & 0xFF));
  out->push_back(char((value >> 8) & 0xFF));
}

void PutLE32(std::string* out, uint32_t value) {
  PutLE16(out, value & 0xFFFF);
  PutLE16(out, value >> 16);
}

void PutChunk(std::string* out, const std::string& tag, const std::string& body) {
  out->append(tag, 0, 4);
  PutLE32(out, uint32_t(body.size()));
  out->append(body);
  if (body.size() & 1) out->push_back('\0');
}

}  // namespace

std::string MakeWave(const WaveOptions& options, const std::string& pcm) {
  std::string format;
  const uint32_t blockAlign = uint32_t(options.channels) * (options.bits / 8u);
  PutLE16(&format, options.formatTag);
  PutLE16(&format, options.channels);
  PutLE32(&format, options.rate);
  PutLE32(&format, options.rate * blockAlign);
  PutLE16(&format, blockAlign);
  PutLE16(&format, options.bits);
  format.append(options.formatExtra, '\0');

  std::string body = "WAVE";
  PutChunk(&body, "fmt ", format);
  for (const auto& [tag, chunk] : options.chunksBeforeData) PutChunk(&body, tag, chunk);
  PutChunk(&body, "data", pcm);

  std::string file = "RIFF";
  PutLE32(&file, uint32_t(body.size()));
  return file + body;
}

std::string SinePcm16(double hertz, uint32_t rate, uint32_t frames, double amplitude) {
  std::string pcm;
  pcm.reserve(size_t(frames) * 2);
  for (uint32_t k = 0; k < frames; ++k) {
    const long value = std::lround(amplitude * std::sin(kTwoPi * hertz * k / rate));
    PutLE16(&pcm, uint32_t(int16_t(value)) & 0xFFFF);
  }
  return pcm;
}

std::string SinePcm8(double hertz, uint32_t rate, uint32_t frames, double amplitude) {
  std::string pcm;
  pcm.reserve(frames);
  for (uint32_t k = 0; k < frames; ++k)
    pcm.push_back(char(128 + std::lround(amplitude * std::sin(kTwoPi * hertz * k / rate))));
  return pcm;
}

}  // namespace sound_tool
