// Wave files: reading a RIFF/WAVE game file of mono PCM into a wave record and the sample the
// sound core plays, and freeing both again. Called by the sound core when a sample is first
// used. Files come from outside: every chunk is checked against the bytes the file holds, and a
// file that is not plain mono 8- or 16-bit PCM is refused, never guessed at.
#include <cstring>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "devices/sound_device.h"

namespace {

constexpr uint32_t kSoundMemory = MemCategoryFlags(kMemCatSound);

constexpr const char* kWaveFileType = "wav";
constexpr uint32_t kRiffLengthOffset = 4;
constexpr uint32_t kWaveTagOffset = 8;
constexpr uint32_t kFormatChunkOffset = 12;
constexpr uint32_t kChunkHeaderBytes = 8;
constexpr uint32_t kFormatBytesMin = 16;
constexpr uint16_t kFormatPcm = 1;
constexpr int16_t kLoadedVolume = 255;

uint64_t gLastWaveSerial = 0;

// Wave files are little-endian, unlike the game's own formats.
uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t LoadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool TagAt(const uint8_t* bytes, uint64_t offset, const char* tag) { return std::memcmp(bytes + offset, tag, 4) == 0; }

struct WaveLayout {
  uint32_t rate;
  uint16_t bits;
  uint64_t dataOffset;
  uint32_t dataLength;
};

// Checks the file and finds its PCM data; false for anything it does not accept.
bool ReadLayout(const uint8_t* file, uint64_t size, WaveLayout* layout) {
  const uint64_t formatData = kFormatChunkOffset + kChunkHeaderBytes;
  if (size < formatData + kFormatBytesMin) return false;
  if (!TagAt(file, 0, "RIFF") || !TagAt(file, kWaveTagOffset, "WAVE") || !TagAt(file, kFormatChunkOffset, "fmt ")) {
    return false;
  }
  // Nothing past the end of the RIFF chunk belongs to it.
  const uint64_t end = uint64_t(LoadLE32(file + kRiffLengthOffset)) + kChunkHeaderBytes;
  if (end > size) return false;
  const uint32_t formatBytes = LoadLE32(file + kFormatChunkOffset + 4);
  if (formatBytes < kFormatBytesMin || formatData + formatBytes > end) return false;
  const uint8_t* format = file + formatData;
  if (LoadLE16(format) != kFormatPcm || LoadLE16(format + 2) != 1) return false;
  layout->rate = LoadLE32(format + 4);
  layout->bits = LoadLE16(format + 14);
  if (layout->bits != 8 && layout->bits != 16) return false;

  // Chunks follow the format chunk, each padded to an even length.
  uint64_t offset = formatData + formatBytes + (formatBytes & 1u);
  while (offset + kChunkHeaderBytes <= end) {
    const uint32_t length = LoadLE32(file + offset + 4);
    const uint64_t body = offset + kChunkHeaderBytes;
    if (body + length > end) return false;
    if (TagAt(file, offset, "data")) {
      layout->dataOffset = body;
      layout->dataLength = length;
      return true;
    }
    offset = body + length + (length & 1u);
  }
  return false;
}

void FreeWave(WaveRecord* wave) {
  if (!wave) return;
  if (wave->data) MemFree(wave->data, wave->length, kSoundMemory);
  MemFree(wave, sizeof(WaveRecord), kSoundMemory);
}

SoundSample* MakeSample(const uint8_t* file, const WaveLayout& layout, uint32_t flags) {
  auto* wave = static_cast<WaveRecord*>(MemAlloc(sizeof(WaveRecord), kSoundMemory));
  if (!wave) return nullptr;
  const uint32_t blockSize = layout.bits / 8u;
  // A 16-bit sample never ends half-way through a word.
  wave->serial = ++gLastWaveSerial;
  wave->length = layout.dataLength - layout.dataLength % blockSize;
  wave->rate = layout.rate;
  if (layout.bits == 16) wave->flags |= kWave16Bit;
  if (wave->length > kWaveLongBytes) wave->flags |= kWaveLong;
  if (flags & kSample3D) wave->flags |= kWave3D;
  if (wave->length > 0) {
    wave->data = static_cast<uint8_t*>(MemAlloc(wave->length, kSoundMemory));
    if (!wave->data) {
      FreeWave(wave);
      return nullptr;
    }
    std::memcpy(wave->data, file + layout.dataOffset, wave->length);
  }
  wave->ready = 1;

  auto* sample = static_cast<SoundSample*>(MemAlloc(sizeof(SoundSample), kSoundMemory));
  if (!sample) {
    FreeWave(wave);
    return nullptr;
  }
  sample->data = wave->data;
  sample->length = wave->length;
  sample->playLength = wave->length;
  sample->frequency = layout.rate ? layout.rate : kSampleDefaultFrequency;
  sample->volume = kLoadedVolume;
  sample->blockSize = static_cast<int16_t>(blockSize);
  sample->flags = (wave->flags & 1u) | flags | kSampleOwnsWave;
  if (wave->flags & kWaveLong) sample->flags |= kSampleContinues;
  sample->wave = wave;
  return sample;
}

}  // namespace

SoundSample* LoadWaveFile(const char* name, uint32_t flags) {
  if (!name) return nullptr;
  auto* file = reinterpret_cast<uint8_t*>(LoadGameFile(name, kWaveFileType, false));
  if (!file) return nullptr;
  const uint32_t size = gLastReadSize;
  WaveLayout layout{};
  SoundSample* sample = ReadLayout(file, size, &layout) ? MakeSample(file, layout, flags) : nullptr;
  MemFree(file, size, 0);
  return sample;
}

void FreeSoundSample(SoundSample* sample) {
  if (!sample) return;
  FreeWave(sample->wave);
  MemFree(sample, sizeof(SoundSample), kSoundMemory);
}
