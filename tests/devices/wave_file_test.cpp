// Wave files: which files become samples, what the sample and its wave record say, and that a
// broken file is refused rather than read past its end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "devices/sound_device.h"
#include "sound/wave_writer.h"
#include "support/catalog_world.h"

namespace {

using sound_tool::MakeWave;
using sound_tool::WaveOptions;

void PutLE32(std::string* bytes, size_t offset, uint32_t value) {
  for (int k = 0; k < 4; ++k) (*bytes)[offset + k] = char((value >> (8 * k)) & 0xFF);
}

std::string Pcm(size_t bytes) {
  std::string pcm(bytes, '\0');
  for (size_t k = 0; k < bytes; ++k) pcm[k] = char(k * 7 + 1);
  return pcm;
}

WaveOptions Mono(uint16_t bits, uint32_t rate = 22050) {
  WaveOptions options;
  options.bits = bits;
  options.rate = rate;
  return options;
}

std::string WithRiffLength(std::string file, uint32_t length) {
  PutLE32(&file, 4, length);
  return file;
}

std::string WithTagRenamed(std::string file, const char* from, const char* to) {
  std::memcpy(file.data() + file.find(from), to, 4);
  return file;
}

// The "data" chunk claims more bytes than the file has.
std::string WithDataPastTheEnd(std::string file) {
  const size_t data = file.find("data");
  PutLE32(&file, data + 4, uint32_t(file.size()));
  return file;
}

class WaveFiles : public testing::Test {
 protected:
  SoundSample* Load(const std::string& bytes, uint32_t flags = 0) {
    world_.WriteLoose("s/sample.wav", bytes);
    return LoadWaveFile("s\\sample", flags);
  }
  CatalogWorld world_;
};

TEST_F(WaveFiles, AcceptsOnlyMonoPcmThatFitsTheFile) {
  const std::string pcm = Pcm(100);
  WaveOptions stereo = Mono(16);
  stereo.channels = 2;
  WaveOptions floating = Mono(16);
  floating.formatTag = 3;
  WaveOptions wide = Mono(16);
  wide.formatExtra = 2;
  WaveOptions listed = Mono(8);
  listed.chunksBeforeData = {{"LIST", "INFOIART\x05\0\0\0maker"}};
  WaveOptions oddChunk = Mono(8);
  oddChunk.chunksBeforeData = {{"junk", "abc"}};
  const std::string good = MakeWave(Mono(16), pcm);

  struct Case {
    const char* what;
    std::string file;
    bool accepted;
  };
  const Case kCases[] = {
      {"8-bit mono", MakeWave(Mono(8), pcm), true},
      {"16-bit mono", good, true},
      {"18-byte fmt before data", MakeWave(wide, pcm), true},
      {"LIST chunk before data", MakeWave(listed, pcm), true},
      {"odd-sized chunk padded to even", MakeWave(oddChunk, pcm), true},
      {"stereo", MakeWave(stereo, pcm), false},
      {"format tag 3", MakeWave(floating, pcm), false},
      {"24-bit", MakeWave(Mono(24), pcm), false},
      {"no fmt at 12", WithTagRenamed(good, "fmt ", "fmx "), false},
      {"RIFF length + 8 beyond the file", WithRiffLength(good, uint32_t(good.size())), false},
      {"data past the end", WithDataPastTheEnd(good), false},
      {"no data chunk", WithTagRenamed(good, "data", "dat_"), false},
      {"cut inside the header", good.substr(0, 30), false},
      {"not RIFF", "RIFX" + good.substr(4), false},
      {"empty file", "", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SoundSample* sample = Load(c.file);
    EXPECT_EQ(sample != nullptr, c.accepted);
    FreeSoundSample(sample);
  }
}

TEST_F(WaveFiles, SampleAndWaveRecordDescribeTheData) {
  struct Case {
    const char* what;
    uint16_t bits;
    uint32_t rate;
    size_t bytes;
    uint32_t loadFlags;
    uint32_t frequency;
    int16_t blockSize;
    uint16_t waveFlags;
    uint32_t sampleFlags;
  };
  const Case kCases[] = {
      {"8-bit", 8, 11025, 64, 0x1, 11025, 1, 0, 0x1 | kSampleOwnsWave},
      {"16-bit", 16, 44100, 64, 0, 44100, 2, kWave16Bit, kSampleOwnsWave},
      {"rate 0 plays at 1024", 8, 0, 64, 0, 1024, 1, 0, kSampleOwnsWave},
      {"3D load flag", 16, 22050, 64, kSample3D, 22050, 2, kWave16Bit | kWave3D, kSample3D | kSampleOwnsWave},
      {"long data continues", 8, 22050, kWaveLongBytes + 1, 0, 22050, 1, kWaveLong, kSampleOwnsWave | kSampleContinues},
      {"exactly the long size does not", 8, 22050, kWaveLongBytes, 0, 22050, 1, 0, kSampleOwnsWave},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::string pcm = Pcm(c.bytes);
    SoundSample* sample = Load(MakeWave(Mono(c.bits, c.rate), pcm), c.loadFlags);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->frequency, c.frequency);
    EXPECT_EQ(sample->volume, 255);
    EXPECT_EQ(sample->pan, 0);
    EXPECT_EQ(sample->blockSize, c.blockSize);
    EXPECT_EQ(sample->flags, c.sampleFlags);
    EXPECT_EQ(sample->length, c.bytes);
    EXPECT_EQ(sample->playLength, c.bytes);
    ASSERT_NE(sample->wave, nullptr);
    EXPECT_EQ(sample->wave->flags, c.waveFlags);
    EXPECT_EQ(sample->wave->rate, c.rate);
    EXPECT_EQ(std::memcmp(sample->data, pcm.data(), c.bytes), 0);
    FreeSoundSample(sample);
  }
}

TEST_F(WaveFiles, SixteenBitDataEndsOnAWholeWord) {
  // A stray byte at the end of 16-bit data cannot be played; the sample stops before it.
  SoundSample* sample = Load(MakeWave(Mono(16), Pcm(101)));
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->length, 100u);
  FreeSoundSample(sample);
}

TEST_F(WaveFiles, MissingFileAndFreeingLeaveNoMemoryBehind) {
  const uint32_t before = gMemCounters.categoryBytes[kMemCatSound];
  EXPECT_EQ(LoadWaveFile("s\\absent", 0), nullptr);
  SoundSample* sample = Load(MakeWave(Mono(16), Pcm(64)));
  ASSERT_NE(sample, nullptr);
  EXPECT_GT(gMemCounters.categoryBytes[kMemCatSound], before);
  FreeSoundSample(sample);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatSound], before);
}

}  // namespace
