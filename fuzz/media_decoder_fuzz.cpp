// Fuzz target of the media decoder: the input is a whole music or movie file in memory, read in
// the containers the game's media come in. A few frames and sound blocks are decoded, each frame
// is copied into a small texture, and a seek is tried; every answer must be well-formed.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "devices/media_stream.h"
#include "platform/media_decoder.h"

namespace {

constexpr int kFrames = 6;
constexpr int kBlocks = 6;
constexpr int kTextureSide = 64;

void DecodeSome(MediaDecoder* decoder, std::vector<uint8_t>& texture) {
  const uint32_t parts = MediaDecoderParts(decoder);
  int64_t due = 0;
  for (int k = 0; k < kFrames && (parts & kMediaPartVideo); ++k, due += kMediaTimeUnitsPerSecond / 10) {
    MediaVideoFrame frame{};
    const MediaReadResult result = MediaDecoderNextFrame(decoder, due, &frame);
    if (result == kMediaReadEnd || result == kMediaReadFailed) break;
    if (result != kMediaReadOk) continue;
    if (frame.width <= 0 || frame.height <= 0 || frame.pitch < frame.width * 4 || frame.time > due) __builtin_trap();
    // Touch the last pixel the frame claims.
    volatile uint8_t last = frame.pixels[(frame.height - 1) * frame.pitch + frame.width * 4 - 1];
    (void)last;
    const TextureTexels texels{texture.data(), kTextureSide * 4, kTextureSide, kTextureSide, 32};
    CopyMediaFrame(&frame, &texels);
  }
  for (int k = 0; k < kBlocks && (parts & kMediaPartAudio); ++k) {
    MediaAudioBlock block{};
    const MediaReadResult result = MediaDecoderNextAudio(decoder, &block);
    if (result == kMediaReadEnd || result == kMediaReadFailed) break;
    if (result != kMediaReadOk) continue;
    if (block.bytes % kMediaAudioBlockAlign || block.endTime < block.startTime) __builtin_trap();
    volatile uint8_t last = block.bytes ? block.data[block.bytes - 1] : 0;
    (void)last;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MediaDecoder* decoder = MediaDecoderOpenMemory(data, size, kMediaPartAudio | kMediaPartVideo, 22050, "mpeg,mp3");
  if (!decoder) return 0;
  std::vector<uint8_t> texture(kTextureSide * kTextureSide * 4);
  DecodeSome(decoder, texture);
  if (MediaDecoderSeek(decoder, 100)) DecodeSome(decoder, texture);
  MediaDecoderClose(decoder);
  return 0;
}
