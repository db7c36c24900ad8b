// The media decoder over generated media: frames and sound blocks come in rising time order with
// the colours and tone written, a seek lands near its target, an audio-only file has no video,
// and damaged or foreign bytes, or a coding no decoder knows, fail the open instead of crashing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/media_decoder.h"
#include "support/media_clips.h"
#include "support/temp_dir.h"

namespace {

constexpr int64_t kFramePeriod = kMediaTimeUnitsPerSecond / media_clips::kFramesPerSecond;

std::string WriteClip(const TempDir& dir, const char* name, const MediaClipRecipe& recipe) {
  const std::string path = dir.File(name);
  EXPECT_TRUE(MediaWriteClip(path.c_str(), &recipe)) << "the library lacks an encoder for " << name;
  return path;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(MediaDecoder, MovieFramesRiseInTimeAndCarryTheirColours) {
  TempDir dir;
  const std::string path = WriteClip(dir, "movie.dat", media_clips::MovieRecipe());
  MediaDecoder* d = MediaDecoderOpen(path.c_str(), kMediaPartAudio | kMediaPartVideo, 44100);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(MediaDecoderParts(d), kMediaPartAudio | kMediaPartVideo);
  int frames = 0;
  int64_t last = -1;
  MediaVideoFrame frame{};
  MediaReadResult r = kMediaReadOk;
  // The clock walks one frame period at a time; each step finds the frame that fell due.
  for (int64_t due = 0; r != kMediaReadEnd && due < 4 * kMediaTimeUnitsPerSecond; due += kFramePeriod) {
    while ((r = MediaDecoderNextFrame(d, due, &frame)) == kMediaReadPending) {
      // Sound blocks are read to make room until the frame is due.
      MediaAudioBlock block{};
      if (MediaDecoderNextAudio(d, &block) != kMediaReadOk) break;
    }
    if (r != kMediaReadOk) continue;
    ASSERT_EQ(frame.width, 64);
    ASSERT_EQ(frame.height, 48);
    ASSERT_EQ(frame.bitsPerPixel, 32);
    EXPECT_GT(frame.time, last);
    EXPECT_LE(frame.time, due);
    last = frame.time;
    // Each frame is one flat colour, the next in the list.
    const uint8_t* centre = frame.pixels + 24 * frame.pitch + 32 * 4;
    const int64_t index = (frame.time + kFramePeriod / 2) / kFramePeriod;
    EXPECT_EQ(media_clips::NearestColour(centre), index % media_clips::kColourCount) << "frame at " << frame.time;
    ++frames;
  }
  EXPECT_EQ(r, kMediaReadEnd);
  EXPECT_GE(frames, 48);
  MediaDecoderClose(d);
}

TEST(MediaDecoder, SoundBlocksRiseInTimeAndCoverTheClip) {
  TempDir dir;
  const std::string path = WriteClip(dir, "movie.dat", media_clips::MovieRecipe());
  MediaDecoder* d = MediaDecoderOpen(path.c_str(), kMediaPartAudio, 22050);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(MediaDecoderParts(d), kMediaPartAudio);
  EXPECT_EQ(MediaDecoderAudioRate(d), 22050u);
  MediaAudioBlock block{};
  int64_t last = -1;
  int64_t bytes = 0;
  MediaReadResult r;
  while ((r = MediaDecoderNextAudio(d, &block)) == kMediaReadOk) {
    EXPECT_GT(block.startTime, last);
    EXPECT_GT(block.endTime, block.startTime);
    EXPECT_EQ(block.blockAlign, kMediaAudioBlockAlign);
    EXPECT_EQ(block.bytes % block.blockAlign, 0u);
    last = block.startTime;
    bytes += block.bytes;
  }
  EXPECT_EQ(r, kMediaReadEnd);
  // Two seconds at 22050 Hz, give or take the codec's padding.
  EXPECT_NEAR(static_cast<double>(bytes) / kMediaAudioBlockAlign / 22050.0, 2.0, 0.1);
  MediaDecoderClose(d);
}

TEST(MediaDecoder, SeekLandsWithinOneFramePeriod) {
  TempDir dir;
  const std::string path = WriteClip(dir, "movie.dat", media_clips::MovieRecipe(2000, 0));
  MediaDecoder* d = MediaDecoderOpen(path.c_str(), kMediaPartVideo, 0);
  ASSERT_NE(d, nullptr);
  for (int32_t target : {1000, 400, 1000}) {
    ASSERT_TRUE(MediaDecoderSeek(d, target));
    MediaVideoFrame frame{};
    ASSERT_EQ(MediaDecoderNextFrame(d, target * kMediaTimeUnitsPerMs, &frame), kMediaReadOk);
    EXPECT_LE(std::llabs(frame.time - target * kMediaTimeUnitsPerMs), kFramePeriod) << "seek to " << target;
  }
  // A frame not yet due waits.
  ASSERT_TRUE(MediaDecoderSeek(d, 0));
  MediaVideoFrame frame{};
  ASSERT_EQ(MediaDecoderNextFrame(d, 0, &frame), kMediaReadOk);
  EXPECT_EQ(MediaDecoderNextFrame(d, kFramePeriod / 2, &frame), kMediaReadPending);
  MediaDecoderClose(d);
}

TEST(MediaDecoder, SoundtrackHasSoundOnly) {
  TempDir dir;
  const std::string path = WriteClip(dir, "00001.mp3", media_clips::SoundtrackRecipe());
  MediaDecoder* d = MediaDecoderOpen(path.c_str(), kMediaPartAudio | kMediaPartVideo, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(MediaDecoderParts(d), kMediaPartAudio);
  MediaVideoFrame frame{};
  EXPECT_EQ(MediaDecoderNextFrame(d, 0, &frame), kMediaReadFailed);
  MediaAudioBlock block{};
  EXPECT_EQ(MediaDecoderNextAudio(d, &block), kMediaReadOk);
  MediaDecoderClose(d);
}

// A RIFF wave file of 16-bit stereo at 22050 Hz with the given format tag and a tenth of a
// second of silence, written byte by byte in the little-endian order of that format.
std::vector<uint8_t> WaveFile(uint16_t formatTag) {
  constexpr uint32_t kRate = 22050;
  constexpr uint32_t kData = kRate / 10 * 4;
  std::vector<uint8_t> out;
  auto text = [&](const char* t) { out.insert(out.end(), t, t + 4); };
  auto u16 = [&](uint32_t v) { out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  text("RIFF"), u32(36 + kData), text("WAVE");
  text("fmt "), u32(16), u16(formatTag), u16(2), u32(kRate), u32(kRate * 4), u16(4), u16(16);
  text("data"), u32(kData);
  out.resize(out.size() + kData, 0);
  return out;
}

TEST(MediaDecoder, BadFilesFailTheOpen) {
  TempDir dir;
  const std::string movie = WriteClip(dir, "movie.dat", media_clips::MovieRecipe(400));
  std::vector<uint8_t> bytes = ReadAll(movie);
  ASSERT_GT(bytes.size(), 64u);
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    const char* formats;
  };
  const Case kCases[] = {
      {"no bytes", {}, nullptr},
      {"a sound in a coding no decoder knows", WaveFile(0x7A7A), nullptr},
      {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, nullptr},
      {"a movie in a container that is not accepted", bytes, "mp3"},
  };
  for (const Case& c : kCases) {
    MediaDecoder* d = MediaDecoderOpenMemory(c.data.data(), c.data.size(), kMediaPartAudio | kMediaPartVideo, 0, c.formats);
    EXPECT_EQ(d, nullptr) << c.what;
    MediaDecoderClose(d);
  }
  EXPECT_EQ(MediaDecoderOpen(dir.File("missing.dat").c_str(), kMediaPartAudio, 0), nullptr);
  // Not asked for its sound, the wave file of the unknown coding opens (with nothing in it): what
  // failed above was the missing decoder. The same file in plain PCM opens with sound only.
  const std::vector<uint8_t> unknown = WaveFile(0x7A7A);
  MediaDecoder* empty = MediaDecoderOpenMemory(unknown.data(), unknown.size(), kMediaPartVideo, 0, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(MediaDecoderParts(empty), 0u);
  MediaDecoderClose(empty);
  const std::vector<uint8_t> wave = WaveFile(1);
  MediaDecoder* pcm = MediaDecoderOpenMemory(wave.data(), wave.size(), kMediaPartAudio | kMediaPartVideo, 0, nullptr);
  ASSERT_NE(pcm, nullptr);
  EXPECT_EQ(MediaDecoderParts(pcm), kMediaPartAudio);
  MediaDecoderClose(pcm);
  // The movie from memory opens; cut short it still ends cleanly.
  bytes.resize(bytes.size() / 2);
  MediaDecoder* d = MediaDecoderOpenMemory(bytes.data(), bytes.size(), kMediaPartVideo, 0, "mpeg");
  ASSERT_NE(d, nullptr);
  MediaVideoFrame frame{};
  MediaReadResult r;
  int frames = 0;
  while ((r = MediaDecoderNextFrame(d, INT64_MAX / 2, &frame)) == kMediaReadOk) ++frames;
  EXPECT_EQ(r, kMediaReadEnd);
  EXPECT_GT(frames, 0);
  MediaDecoderClose(d);
}

}  // namespace
