// The media decoder: opens a music, voice or movie file (or bytes in memory) with the parts the
// caller wants, and hands out its audio as 16-bit stereo blocks at the audio layer's rate and its
// video as 32-bit frames (bytes blue, green, red, unused) when they fall due. Times are in
// 100-nanosecond units from the start of the file. Called by the media streams of the devices
// layer, by the tests, the fuzz target and the benchmark. It never plays sound, never touches a
// texture and never blocks on anything but reading its own file; every container and codec the
// system's decoding library knows is accepted.
#pragma once

#include <cstddef>
#include <cstdint>

struct MediaDecoder;

// The parts of a file a caller wants, and the parts an open decoder has.
constexpr uint32_t kMediaPartAudio = 0x1;
constexpr uint32_t kMediaPartVideo = 0x2;

// Audio blocks: interleaved signed 16-bit stereo, little-endian.
constexpr uint16_t kMediaAudioChannels = 2;
constexpr uint32_t kMediaAudioBlockAlign = 4;
// The rate used when the caller gives none.
constexpr uint32_t kMediaDefaultAudioRate = 44100;
// 100-nanosecond units in a second and in a millisecond.
constexpr int64_t kMediaTimeUnitsPerSecond = 10000000;
constexpr int64_t kMediaTimeUnitsPerMs = 10000;

enum MediaReadResult : int32_t {
  kMediaReadOk = 0,
  kMediaReadPending = 1,  // nothing now: the next frame is not due yet, or the other part must be read first
  kMediaReadEnd = 2,      // the part has nothing more
  kMediaReadFailed = 3,
};

// One audio block; the bytes stay valid until the next call on the decoder.
struct MediaAudioBlock {
  const uint8_t* data;
  uint32_t bytes;
  uint32_t blockAlign;
  int64_t startTime;
  int64_t endTime;
};

// One video frame. A 16-bit frame is taken apart with its three colour masks; a 32-bit frame holds
// blue, green and red in its bytes 0, 1 and 2. The pixels stay valid until the next call.
struct MediaVideoFrame {
  const uint8_t* pixels;
  int32_t width;
  int32_t height;
  int32_t pitch;  // bytes from one row to the next
  int32_t bitsPerPixel;  // 16 or 32
  uint32_t masks[3];     // red, green, blue (16-bit frames)
  int64_t time;
};

// Opens a file. `parts` names what the caller wants; a wanted part the file lacks is simply not
// there (MediaDecoderParts). Null when the file cannot be opened, or a wanted part's stream has no
// decoder. `audioRate` 0 means kMediaDefaultAudioRate.
MediaDecoder* MediaDecoderOpen(const char* path, uint32_t parts, uint32_t audioRate);
// The same over bytes in memory (kept by the caller while the decoder lives). `formats`, when not
// null, is a comma-separated list of the container names accepted.
MediaDecoder* MediaDecoderOpenMemory(const uint8_t* data, size_t size, uint32_t parts, uint32_t audioRate,
                                     const char* formats);
void MediaDecoderClose(MediaDecoder* decoder);
// The parts the decoder delivers.
uint32_t MediaDecoderParts(const MediaDecoder* decoder);
uint32_t MediaDecoderAudioRate(const MediaDecoder* decoder);
// Moves to a position in milliseconds; what lies wholly before it is skipped.
bool MediaDecoderSeek(MediaDecoder* decoder, int32_t ms);
// The next audio block in order.
MediaReadResult MediaDecoderNextAudio(MediaDecoder* decoder, MediaAudioBlock* block);
// The latest frame whose time is at or before `due` (earlier due frames are dropped); pending when
// the next frame lies after `due`.
MediaReadResult MediaDecoderNextFrame(MediaDecoder* decoder, int64_t due, MediaVideoFrame* frame);

// Test media: a clip written through the library's own encoders. Video is MPEG-1 in an MPEG
// program stream (with MPEG audio layer II when `toneHz` > 0), each frame one flat colour from
// `colours` (0xRRGGBB, cycled). An audio-only clip (width 0) is MPEG layer III, a tone.
struct MediaClipRecipe {
  int32_t width;
  int32_t height;
  int32_t framesPerSecond;
  int32_t durationMs;
  const uint32_t* colours;
  int32_t colourCount;
  int32_t toneHz;  // 0: no audio
};
// False when the encoders are missing or the file cannot be written.
bool MediaWriteClip(const char* path, const MediaClipRecipe* recipe);
