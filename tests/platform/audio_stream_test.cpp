// Streaming rings of the audio output layer, played through the loopback device: creation limits,
// the one or two regions of a lock, the play and write cursors as sound is rendered, stop and
// position, and the volume and frequency of what plays.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/audio_device.h"
#include "platform/audio_stream.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kStep = 441;  // frames rendered a step: 10 ms
constexpr uint32_t kStepBytes = kStep * kAudioOutStreamBlockAlign;
constexpr int16_t kLevel = 1000;
// The library dithers its 16-bit output: silence may come out as +-1.
constexpr int32_t kDither = 2;

TEST(AudioStreamClosed, NoDeviceNoStream) {
  AudioOutStream* stream = reinterpret_cast<AudioOutStream*>(&stream);
  EXPECT_EQ(AudioOutCreateStream(kRate, 4000, &stream), kAudioOutFailed);
  EXPECT_EQ(stream, nullptr);
}

class AudioStream : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!AudioOutUseLoopback(kRate)) GTEST_SKIP() << "the audio library has no loopback device";
    ASSERT_EQ(AudioOutOpen(), kAudioOutOk);
    open_ = true;
  }
  void TearDown() override {
    if (open_) AudioOutClose();
  }
  // A ring of `bytes` filled with one level on both channels.
  AudioOutStream* Ring(uint32_t bytes) {
    AudioOutStream* stream = nullptr;
    EXPECT_EQ(AudioOutCreateStream(kRate, bytes, &stream), kAudioOutOk);
    if (!stream) return nullptr;
    void* first = nullptr;
    void* second = nullptr;
    uint32_t firstBytes = 0;
    uint32_t secondBytes = 0;
    EXPECT_TRUE(AudioOutStreamLock(stream, 0, bytes, &first, &firstBytes, &second, &secondBytes));
    auto* samples = static_cast<int16_t*>(first);
    for (uint32_t k = 0; k < firstBytes / 2; ++k) samples[k] = kLevel;
    EXPECT_TRUE(AudioOutStreamUnlock(stream));
    return stream;
  }
  // Renders one step and answers its loudest sample.
  int32_t Render() {
    std::vector<int16_t> out(kStep * 2);
    EXPECT_TRUE(AudioOutRenderLoopback(out.data(), kStep));
    int32_t peak = 0;
    for (int16_t v : out) peak = std::max(peak, std::abs(int32_t(v)));
    return peak;
  }
  uint32_t Play(AudioOutStream* stream) {
    uint32_t play = 0;
    uint32_t write = 0;
    EXPECT_TRUE(AudioOutStreamGetPosition(stream, &play, &write));
    return play;
  }
  bool open_ = false;
};

TEST_F(AudioStream, SizesAndRatesAreChecked) {
  struct Case {
    uint32_t rate;
    uint32_t bytes;
    AudioOutResult result;
    uint32_t size;
  };
  const Case kCases[] = {
      {kRate, 4002, kAudioOutOk, 4000},  // whole frames only
      {kRate, 0, kAudioOutFailed, 0},
      {kRate, 3, kAudioOutFailed, 0},
      {kAudioOutMinFrequency - 1, 4000, kAudioOutFailed, 0},
      {kAudioOutMaxFrequency + 1, 4000, kAudioOutFailed, 0},
  };
  for (const Case& c : kCases) {
    AudioOutStream* stream = nullptr;
    EXPECT_EQ(AudioOutCreateStream(c.rate, c.bytes, &stream), c.result) << c.rate << " Hz, " << c.bytes << " bytes";
    EXPECT_EQ(AudioOutStreamSize(stream), c.size);
    AudioOutReleaseStream(stream);
  }
}

TEST_F(AudioStream, ALockHandsOutOneOrTwoRegions) {
  AudioOutStream* stream = Ring(4000);
  ASSERT_NE(stream, nullptr);
  void* base = nullptr;
  void* unused = nullptr;
  uint32_t n = 0;
  uint32_t m = 0;
  ASSERT_TRUE(AudioOutStreamLock(stream, 0, 4, &base, &n, &unused, &m));
  struct Case {
    uint32_t offset;
    uint32_t bytes;
    bool ok;
    uint32_t firstBytes;
    uint32_t secondBytes;
  };
  const Case kCases[] = {
      {0, 100, true, 100, 0},     {3990, 20, true, 10, 10}, {3996, 4000, true, 4, 3996},
      {100, 3900, true, 3900, 0}, {4000, 4, false, 0, 0},   {0, 4004, false, 0, 0},
  };
  for (const Case& c : kCases) {
    void* first = nullptr;
    void* second = nullptr;
    uint32_t firstBytes = 0;
    uint32_t secondBytes = 0;
    ASSERT_EQ(AudioOutStreamLock(stream, c.offset, c.bytes, &first, &firstBytes, &second, &secondBytes), c.ok)
        << c.offset << " + " << c.bytes;
    if (!c.ok) continue;
    EXPECT_EQ(first, static_cast<uint8_t*>(base) + c.offset);
    EXPECT_EQ(firstBytes, c.firstBytes) << c.offset << " + " << c.bytes;
    EXPECT_EQ(secondBytes, c.secondBytes) << c.offset << " + " << c.bytes;
    EXPECT_EQ(second, c.secondBytes ? base : nullptr) << c.offset << " + " << c.bytes;
  }
}

TEST_F(AudioStream, ThePlayCursorFollowsWhatWasRenderedAndStopsWithTheRing) {
  // Half a second, so the cursor goes round.
  constexpr uint32_t kSize = kRate * kAudioOutStreamBlockAlign / 2;
  AudioOutStream* stream = Ring(kSize);
  ASSERT_NE(stream, nullptr);
  EXPECT_LE(Render(), kDither) << "a new ring is silent until it plays";
  EXPECT_EQ(Play(stream), 0u);
  ASSERT_TRUE(AudioOutStreamPlay(stream));
  EXPECT_TRUE(AudioOutStreamIsPlaying(stream));
  uint32_t expected = 0;
  for (int k = 0; k < 80; ++k) {
    EXPECT_NEAR(Render(), kLevel, kLevel / 50) << "step " << k;
    expected = (expected + kStepBytes) % kSize;
    uint32_t play = 0;
    uint32_t write = 0;
    ASSERT_TRUE(AudioOutStreamGetPosition(stream, &play, &write));
    EXPECT_EQ(play, expected) << "step " << k;
    // The write cursor leads by what was handed to the library, never by more than the ring.
    const uint32_t lead = (write + kSize - play) % kSize;
    EXPECT_GT(lead, 0u) << "step " << k;
    EXPECT_LT(lead, kSize / 4) << "step " << k;
  }
  ASSERT_TRUE(AudioOutStreamStop(stream));
  EXPECT_FALSE(AudioOutStreamIsPlaying(stream));
  EXPECT_LE(Render(), kDither) << "a stopped ring is silent";
  EXPECT_EQ(Play(stream), expected) << "and its cursor stays";
  // A new position is rounded down to a whole frame; playing goes on from there.
  ASSERT_TRUE(AudioOutStreamSetPosition(stream, 1002));
  EXPECT_EQ(Play(stream), 1000u);
  EXPECT_FALSE(AudioOutStreamSetPosition(stream, kSize));
  ASSERT_TRUE(AudioOutStreamPlay(stream));
  EXPECT_NEAR(Render(), kLevel, kLevel / 50);
  EXPECT_EQ(Play(stream), 1000u + kStepBytes);
}

TEST_F(AudioStream, VolumeAndFrequencyChangeWhatPlays) {
  constexpr uint32_t kSize = kRate * kAudioOutStreamBlockAlign;
  AudioOutStream* stream = Ring(kSize);
  ASSERT_NE(stream, nullptr);
  ASSERT_TRUE(AudioOutStreamPlay(stream));
  struct VolumeCase {
    int32_t volume;
    bool ok;
    int32_t peak;
  };
  // -2000 mB is a tenth; at -10000 and below nothing sounds.
  const VolumeCase kVolumes[] = {{0, true, kLevel}, {-2000, true, kLevel / 10}, {kAudioOutSilence, true, 0},
                                 {-20000, true, 0},  {1, false, 0}};
  for (const VolumeCase& c : kVolumes) {
    ASSERT_EQ(AudioOutStreamSetVolume(stream, c.volume), c.ok) << c.volume;
    if (!c.ok) continue;
    Render();  // the library glides to a new gain within a step
    EXPECT_NEAR(Render(), c.peak, kLevel / 50) << c.volume;
  }
  ASSERT_TRUE(AudioOutStreamSetVolume(stream, 0));
  struct FrequencyCase {
    uint32_t frequency;
    bool ok;
    uint32_t bytesPerStep;
  };
  const FrequencyCase kFrequencies[] = {{2 * kRate, true, 2 * kStepBytes},
                                        {kRate / 2, true, kStepBytes / 2},
                                        {kRate, true, kStepBytes},
                                        {kAudioOutMinFrequency - 1, false, 0},
                                        {kAudioOutMaxFrequency + 1, false, 0}};
  for (const FrequencyCase& c : kFrequencies) {
    ASSERT_EQ(AudioOutStreamSetFrequency(stream, c.frequency), c.ok) << c.frequency;
    if (!c.ok) continue;
    Render();
    const uint32_t before = Play(stream);
    Render();
    Render();
    const uint32_t moved = (Play(stream) + kSize - before) % kSize;
    EXPECT_NEAR(double(moved), 2.0 * c.bytesPerStep, 2.0 * c.bytesPerStep / 50) << c.frequency << " Hz";
  }
}

}  // namespace
