// Media streams: the file search, the frame copy rules with their clipping, the sound ring fed by
// a fake decoder and played by a fake cursor, volume, rate and position, and whole streams of
// generated media through the real decoder (frames into a texture, the tone through the loopback
// device).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "devices/media_stream.h"
#include "platform/audio_device.h"
#include "platform/audio_stream.h"
#include "support/media_clips.h"
#include "support/temp_dir.h"

namespace {

// Runs a test inside a temporary game folder.
class GameFolder {
 public:
  GameFolder() {
    char here[4096];
    if (getcwd(here, sizeof here)) previous_ = here;
    EXPECT_EQ(chdir(dir_.path().c_str()), 0);
  }
  ~GameFolder() {
    if (!previous_.empty()) {
      EXPECT_EQ(chdir(previous_.c_str()), 0);
    }
  }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string previous_;
};

// ---- File search --------------------------------------------------------------------------------

TEST(MediaStreamSearch, MovieFileWinsOverTheSoundtracksInOrder) {
  struct Case {
    const char* what;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    const char* found;  // null: none
  };
  const Case kCases[] = {
      {"all three", {"mov/00007.dat", "soundtrack/00007.mp3", "soundtrack/00007.wma"}, {}, "mov/00007.dat"},
      {"the mp3 before the wma", {"soundtrack/00007.mp3", "soundtrack/00007.wma"}, {}, "soundtrack/00007.mp3"},
      {"the wma alone", {"soundtrack/00007.wma"}, {}, "soundtrack/00007.wma"},
      {"names in another case", {"MOV/00007.DAT"}, {}, "MOV/00007.DAT"},
      {"a folder of the movie's name is no file", {"soundtrack/00007.mp3"}, {"mov/00007.dat"}, "soundtrack/00007.mp3"},
      {"another id's files", {"mov/00070.dat", "soundtrack/7.mp3"}, {}, nullptr},
      {"nothing", {}, {}, nullptr},
  };
  for (const Case& c : kCases) {
    GameFolder folder;
    for (const std::string& f : c.files) folder.dir().Write(f, "x");
    for (const std::string& f : c.folders) folder.dir().Write(f + "/inside", "x");
    char path[4096];
    const bool found = FindMediaFile(7, path, sizeof path);
    ASSERT_EQ(found, c.found != nullptr) << c.what;
    if (found) {
      EXPECT_EQ(std::string(path).size() >= std::strlen(c.found) ? std::string(path).substr(std::strlen(path) - std::strlen(c.found)) : "",
                c.found)
          << c.what;
    } else {
      EXPECT_EQ(OpenMediaStream(7, 0), nullptr) << c.what;
    }
  }
}

// ---- Frame copy ---------------------------------------------------------------------------------

constexpr uint8_t kUntouched = 0x5A;

struct Texture {
  int32_t width;
  int32_t height;
  std::vector<uint8_t> bits;  // exactly the texels, so any write past them is caught
  Texture(int32_t w, int32_t h) : width(w), height(h), bits(size_t(w) * size_t(h) * 4, kUntouched) {}
  TextureTexels Texels() { return TextureTexels{bits.data(), width * 4, width, height, 32}; }
  const uint8_t* At(int32_t x, int32_t y) const { return &bits[(size_t(y) * width + x) * 4]; }
};

MediaVideoFrame Frame32(const std::vector<uint32_t>& pixels, int32_t w, int32_t h) {
  return MediaVideoFrame{reinterpret_cast<const uint8_t*>(pixels.data()), w, h, w * 4, 32, {}, 0};
}

MediaVideoFrame Frame16(const std::vector<uint16_t>& pixels, int32_t w, int32_t h, uint32_t r = 0xF800,
                        uint32_t g = 0x07E0, uint32_t b = 0x001F) {
  return MediaVideoFrame{reinterpret_cast<const uint8_t*>(pixels.data()), w, h, w * 2, 16, {r, g, b}, 0};
}

std::vector<uint8_t> Bgra(const Texture& t, int32_t x, int32_t y) { return {t.At(x, y), t.At(x, y) + 4}; }

TEST(MediaFrameCopy, SixteenBitPixelsSplitByTheirMasks) {
  struct Case {
    uint16_t pixel;
    uint32_t masks[3];
    std::vector<uint8_t> texel;  // B, G, R, A
  };
  const Case kCases[] = {
      {0xF800, {0xF800, 0x07E0, 0x001F}, {0x00, 0x00, 0xF8, 0xFF}},
      {0x07E0, {0xF800, 0x07E0, 0x001F}, {0x00, 0xFC, 0x00, 0xFF}},
      {0x001F, {0xF800, 0x07E0, 0x001F}, {0xF8, 0x00, 0x00, 0xFF}},
      {0xFFFF, {0xF800, 0x07E0, 0x001F}, {0xF8, 0xFC, 0xF8, 0xFF}},
      {0x7C00, {0x7C00, 0x03E0, 0x001F}, {0x00, 0x00, 0xF8, 0xFF}},  // 5-5-5
      {0xFFFF, {0xF800, 0x0000, 0x001F}, {0xF8, 0x00, 0xF8, 0xFF}},  // a zero mask gives 0
  };
  for (const Case& c : kCases) {
    const std::vector<uint16_t> pixels(4, c.pixel);
    const MediaVideoFrame frame = Frame16(pixels, 2, 2, c.masks[0], c.masks[1], c.masks[2]);
    Texture t(2, 2);
    const TextureTexels texels = t.Texels();
    ASSERT_TRUE(CopyMediaFrame(&frame, &texels));
    EXPECT_EQ(Bgra(t, 1, 1), c.texel) << std::hex << c.pixel << " masks " << c.masks[0] << " " << c.masks[1];
  }
}

TEST(MediaFrameCopy, WidthsChooseUpDownOrOneToOne) {
  // 2 x 2 frame into 4 x 4: every pixel fills a 2 x 2 block.
  {
    const std::vector<uint32_t> pixels = {0x000001, 0x000002, 0x000003, 0x000004};
    const MediaVideoFrame frame = Frame32(pixels, 2, 2);
    Texture t(4, 4);
    const TextureTexels texels = t.Texels();
    ASSERT_TRUE(CopyMediaFrame(&frame, &texels));
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(t.At(x, y)[0], 1 + x / 2 + 2 * (y / 2)) << x << "," << y;
    EXPECT_EQ(t.At(3, 3)[3], 0xFF);
  }
  // 4 x 4 frame into 2 x 2: every texel is the sum of four over 4, rounded down.
  {
    std::vector<uint32_t> pixels(16);
    for (int k = 0; k < 16; ++k) pixels[k] = uint32_t(k) | uint32_t(k * 10) << 8 | 0xFF000000u;
    const MediaVideoFrame frame = Frame32(pixels, 4, 4);
    Texture t(2, 2);
    const TextureTexels texels = t.Texels();
    ASSERT_TRUE(CopyMediaFrame(&frame, &texels));
    EXPECT_EQ(Bgra(t, 0, 0), (std::vector<uint8_t>{(0 + 1 + 4 + 5) >> 2, (0 + 10 + 40 + 50) >> 2, 0, 0xFF}));
    EXPECT_EQ(Bgra(t, 1, 1), (std::vector<uint8_t>{(10 + 11 + 14 + 15) >> 2, (100 + 110 + 140 + 150) >> 2, 0, 0xFF}));
  }
  // A shorter 32-bit frame is centred; the rows around keep their contents.
  {
    const std::vector<uint32_t> pixels(3 * 2, 0x00112233);
    const MediaVideoFrame frame = Frame32(pixels, 3, 2);
    Texture t(3, 7);
    const TextureTexels texels = t.Texels();
    ASSERT_TRUE(CopyMediaFrame(&frame, &texels));
    for (int32_t y = 0; y < 7; ++y) {
      const bool inside = y == 2 || y == 3;  // (7 - 2) / 2 rows down
      EXPECT_EQ(t.At(1, y)[0], inside ? 0x33 : kUntouched) << "row " << y;
    }
  }
  // A shorter 16-bit frame starts at the top.
  {
    const std::vector<uint16_t> pixels(3 * 2, 0x001F);
    const MediaVideoFrame frame = Frame16(pixels, 3, 2);
    Texture t(3, 7);
    const TextureTexels texels = t.Texels();
    ASSERT_TRUE(CopyMediaFrame(&frame, &texels));
    for (int32_t y = 0; y < 7; ++y) EXPECT_EQ(t.At(0, y)[0], y < 2 ? 0xF8 : kUntouched) << "row " << y;
  }
}

TEST(MediaFrameCopy, OversizeFramesAreClippedToTheTexture) {
  struct Case {
    const char* what;
    int32_t frameWidth, frameHeight, bits;
    int32_t textureWidth, textureHeight;
  };
  const Case kCases[] = {
      {"2x up from a frame too tall", 2, 8, 32, 4, 4},
      {"2x down from a frame too tall", 8, 16, 32, 4, 2},
      {"1:1 from a taller 16-bit frame", 4, 8, 16, 4, 4},
      {"1:1 from a taller 32-bit frame", 4, 8, 32, 4, 4},
      {"1:1 from a wider frame", 9, 3, 32, 4, 3},
  };
  for (const Case& c : kCases) {
    const std::vector<uint32_t> wide(size_t(c.frameWidth) * c.frameHeight, 0x00FFFFFF);
    const std::vector<uint16_t> narrow(size_t(c.frameWidth) * c.frameHeight, 0xFFFF);
    const MediaVideoFrame frame =
        c.bits == 32 ? Frame32(wide, c.frameWidth, c.frameHeight) : Frame16(narrow, c.frameWidth, c.frameHeight);
    Texture t(c.textureWidth, c.textureHeight);
    const TextureTexels texels = t.Texels();
    ASSERT_TRUE(CopyMediaFrame(&frame, &texels)) << c.what;
    EXPECT_EQ(t.At(c.textureWidth - 1, c.textureHeight - 1)[3], 0xFF) << c.what;
  }
  // Only 32-bit textures are written.
  const std::vector<uint32_t> pixels(4, 0);
  const MediaVideoFrame frame = Frame32(pixels, 2, 2);
  Texture t(2, 2);
  TextureTexels texels = t.Texels();
  texels.bitsPerPixel = 16;
  EXPECT_FALSE(CopyMediaFrame(&frame, &texels));
  EXPECT_EQ(t.At(0, 0)[0], kUntouched);
}

// ---- The sound ring with fakes -------------------------------------------------------------------

// Fake world: 1000 Hz sound, so the ring of a second holds 4000 bytes and a millisecond is 4.
constexpr uint32_t kFakeRate = 1000;
constexpr uint32_t kFakeRing = kFakeRate * 4;

struct FakeBlock {
  MediaReadResult result;
  uint32_t bytes;
  int64_t startMs;
  int64_t endMs;
};

struct Fakes {
  std::deque<FakeBlock> blocks;
  std::vector<uint8_t> data;
  std::vector<uint8_t> ring;
  uint32_t play = 0;
  uint32_t hardwareAhead = 8;
  bool playing = false;
  int plays = 0;
  int stops = 0;
  int32_t volume = 1;
  uint32_t now = 0;
  uint32_t parts = kMediaPartAudio;
  int32_t seekedTo = -1;
  bool ringFails = false;
  uint32_t rate = kFakeRate;
  uint32_t asked = 0;  // the parts the stream asked the decoder for
  uint32_t frequency = 0;
  // Calls that fail.
  bool cursorFails = false;
  bool playFails = false;
  bool lockFails = false;
  bool stopFails = false;
  bool frequencyFails = false;
  MediaReadResult frameResult = kMediaReadEnd;
};
Fakes* gFakes = nullptr;

void* FakeOpen(const char*, uint32_t parts, uint32_t) {
  gFakes->asked = parts;
  gFakes->parts &= parts;
  return gFakes;
}
uint32_t FakeParts(void*) { return gFakes->parts; }
bool FakeSeek(void*, int32_t ms) { return gFakes->seekedTo = ms, true; }
MediaReadResult FakeNextAudio(void*, MediaAudioBlock* block) {
  if (gFakes->blocks.empty()) return kMediaReadEnd;
  const FakeBlock b = gFakes->blocks.front();
  gFakes->blocks.pop_front();
  if (b.result != kMediaReadOk) return b.result;
  // Byte k of a block holds k, so a test sees which part of it was written.
  gFakes->data.resize(b.bytes);
  for (uint32_t k = 0; k < b.bytes; ++k) gFakes->data[k] = uint8_t(k);
  *block = MediaAudioBlock{gFakes->data.data(), b.bytes, 4, b.startMs * 10000, b.endMs * 10000};
  return kMediaReadOk;
}
MediaReadResult FakeNextFrame(void*, int64_t, MediaVideoFrame*) { return gFakes->frameResult; }
void FakeClose(void*) {}
uint32_t FakeAudioRate() { return gFakes->rate; }
void* FakeCreateRing(uint32_t, uint32_t bytes) {
  if (gFakes->ringFails) return nullptr;
  gFakes->ring.assign(bytes, 0xEE);
  return gFakes;
}
void FakeReleaseRing(void*) {}
bool FakeLockRing(void*, uint32_t offset, uint32_t bytes, void** a, uint32_t* an, void** b, uint32_t* bn) {
  auto& ring = gFakes->ring;
  if (gFakes->lockFails || offset >= ring.size() || bytes > ring.size()) return false;
  *an = std::min<uint32_t>(bytes, uint32_t(ring.size()) - offset);
  *a = ring.data() + offset;
  *bn = bytes - *an;
  *b = *bn ? ring.data() : nullptr;
  return true;
}
bool FakeUnlockRing(void*) { return true; }
bool FakePlayRing(void*) {
  if (gFakes->playFails) return false;
  return ++gFakes->plays, gFakes->playing = true;
}
bool FakeStopRing(void*) {
  if (gFakes->stopFails) return false;
  return ++gFakes->stops, gFakes->playing = false, true;
}
bool FakeSetRingPosition(void*, uint32_t offset) { return gFakes->play = offset, true; }
bool FakeRingPosition(void*, uint32_t* play, uint32_t* write) {
  if (gFakes->cursorFails) return false;
  *play = gFakes->play;
  *write = (gFakes->play + gFakes->hardwareAhead) % uint32_t(gFakes->ring.size());
  return true;
}
bool FakeSetRingVolume(void*, int32_t volume) { return gFakes->volume = volume, true; }
bool FakeSetRingFrequency(void*, uint32_t frequency) {
  if (gFakes->frequencyFails) return false;
  return gFakes->frequency = frequency, true;
}
bool FakeLockTexture(DisplaySurface*, TextureTexels*) { return false; }
void FakeUnlockTexture(DisplaySurface*) {}
uint32_t FakeNow() { return gFakes->now; }

constexpr MediaStreamBackend kFakeBackend = {
    FakeOpen,          FakeParts,            FakeSeek,        FakeNextAudio,       FakeNextFrame,
    FakeClose,         FakeAudioRate,        FakeCreateRing,  FakeReleaseRing,     FakeLockRing,
    FakeUnlockRing,    FakePlayRing,         FakeStopRing,    FakeSetRingPosition, FakeRingPosition,
    FakeSetRingVolume, FakeSetRingFrequency, FakeLockTexture, FakeUnlockTexture,   FakeNow,
};

class MediaRing : public ::testing::Test {
 protected:
  void SetUp() override {
    gFakes = &fakes_;
    SetMediaStreamBackend(&kFakeBackend);
    folder_.dir().Write("mov/00005.dat", "x");
  }
  void TearDown() override {
    SetMediaStreamBackend(nullptr);
    gFakes = nullptr;
  }
  MediaStream* Open(uint32_t kind, int32_t start, int32_t end) {
    MediaStream* s = OpenMediaStream(5, kind);
    if (!s) return nullptr;
    EXPECT_EQ(StartMediaStream(s, start), 1);
    s->endPosition = end;
    EXPECT_EQ(RunMediaStream(s), 1);
    return s;
  }
  GameFolder folder_;
  Fakes fakes_;
};

TEST_F(MediaRing, BlocksStraddlingStartAndEndAreCutToWholeFrames) {
  // Start at 10 ms, end at 50 ms. The first block [0, 30) of 40 bytes begins 40 * 10 / 30 = 13
  // bytes in, rounded down to 12; the second [30, 60) stops 40 * 20 / 30 = 26 bytes in: 24.
  fakes_.blocks = {{kMediaReadOk, 40, 0, 30}, {kMediaReadOk, 40, 30, 60}, {kMediaReadOk, 40, 60, 90}};
  MediaStream* s = Open(kMediaKindAudioOnly, 10, 50);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->kind & kMediaKindOwnBuffer);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);  // fetches the first block
  EXPECT_EQ(s->feedState, kMediaFeedReady);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);  // writes it and starts the ring
  EXPECT_EQ(s->bufferState, kMediaBufferPlaying);
  EXPECT_EQ(fakes_.plays, 1);
  EXPECT_EQ(s->writeOffset, 28u);
  EXPECT_EQ(fakes_.ring[0], 12);
  EXPECT_EQ(fakes_.ring[27], 39);
  fakes_.play = 8;
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);  // writes the second, which reaches the end
  EXPECT_EQ(s->writeOffset, 28u + 24u);
  EXPECT_EQ(fakes_.ring[28], 0);
  EXPECT_EQ(fakes_.ring[51], 23);
  EXPECT_EQ(s->feedState, kMediaFeedEnded);
  EXPECT_EQ(s->bufferState, kMediaBufferDraining);
  EXPECT_EQ(s->drainCount, 52u - 8u);
  EXPECT_EQ(fakes_.blocks.size(), 1u) << "no block is read after the end";
  ReleaseMediaStream(s);
}

TEST_F(MediaRing, ABlockWaitsWhileTheRingHasNoMoreRoomThanItsBytes) {
  fakes_.blocks = {{kMediaReadOk, 1000, 0, 250}, {kMediaReadOk, 1000, 250, 500}, {kMediaReadOk, 1000, 500, 750},
                   {kMediaReadOk, 1000, 750, 1000}, {kMediaReadOk, 1000, 1000, 1250}};
  MediaStream* s = Open(kMediaKindAudioOnly, 0, -1);
  ASSERT_NE(s, nullptr);
  // Three blocks go in while the play cursor stands at 0; the fourth finds exactly its bytes free.
  for (int k = 0; k < 5; ++k) UpdateMediaStream(s);
  ASSERT_EQ(s->writeOffset, 3000u);
  ASSERT_EQ(s->feedState, kMediaFeedReady);
  const struct {
    uint32_t play;
    uint32_t writeOffset;
  } kSteps[] = {{0, 3000}, {4, 0}, {996, 0}, {1000, 0}, {1004, 1000}};
  for (const auto& step : kSteps) {
    fakes_.play = step.play;
    UpdateMediaStream(s);
    EXPECT_EQ(s->writeOffset, step.writeOffset) << "play cursor " << step.play;
  }
  ReleaseMediaStream(s);
}

TEST_F(MediaRing, TheEndDrainsWithSilenceAheadAndEndsOncePlayedOut) {
  // The file ends after two blocks; no end position.
  fakes_.blocks = {{kMediaReadOk, 400, 0, 100}, {kMediaReadOk, 400, 100, 200}};
  MediaStream* s = Open(kMediaKindAudioOnly, 0, -1);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  fakes_.play = 100;
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);  // second block written, the end read
  EXPECT_EQ(s->feedState, kMediaFeedEnded);
  EXPECT_EQ(s->bufferState, kMediaBufferDraining);
  EXPECT_EQ(s->drainCount, 700u);
  // While draining, the ring from the last data to the play cursor becomes silence.
  fakes_.play = 300;
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(s->drainCount, 500u);
  EXPECT_EQ(fakes_.ring[800], 0);
  EXPECT_EQ(fakes_.ring[kFakeRing - 1], 0);
  EXPECT_EQ(fakes_.ring[299], 0);
  EXPECT_EQ(fakes_.ring[300], 44) << "what is still to play stays";
  fakes_.play = 790;
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  fakes_.play = 804;  // past the last data
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateEnded);
  EXPECT_FALSE(fakes_.playing);
  EXPECT_EQ(s->bufferState, kMediaBufferIdle);
  EXPECT_EQ(GetMediaStreamPosition(s), 200) << "the position is the end of the sound";
  ReleaseMediaStream(s);
}

TEST_F(MediaRing, PendingSoundIsAskedForAgainAndZeroLengthBlocksAreNotCut) {
  // A block of no length straddling the start is kept whole rather than divided by zero.
  fakes_.blocks = {{kMediaReadPending, 0, 0, 0}, {kMediaReadOk, 16, 5, 5}, {kMediaReadOk, 16, 5, 9}};
  MediaStream* s = Open(kMediaKindAudioOnly, 7, -1);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(s->feedState, kMediaFeedFilling);
  // Asked again, the block comes and is written in the same step.
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(s->writeOffset, 16u);
  EXPECT_EQ(s->feedState, kMediaFeedReady);
  // The next, [5, 9) ms, starts 16 * 2 / 4 = 8 bytes in.
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(s->writeOffset, 24u);
  EXPECT_EQ(fakes_.ring[16], 8);
  ReleaseMediaStream(s);
}

TEST_F(MediaRing, LongBlocksAreCutWithoutOverflow) {
  // 40000 bytes over 100 s cut at 60 s and 90 s: the products pass 2^31.
  fakes_.rate = 20000;
  fakes_.blocks = {{kMediaReadOk, 40000, 0, 100000}};
  MediaStream* s = Open(kMediaKindAudioOnly, 60000, 90000);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(s->writeOffset, 36000u - 24000u);
  EXPECT_EQ(fakes_.ring[0], uint8_t(24000));
  EXPECT_EQ(s->feedState, kMediaFeedEnded);
  ReleaseMediaStream(s);
}

TEST_F(MediaRing, StreamsWithoutTheirOwnBufferFeedWholeBlocksAndEndByPosition) {
  // Start at 10 ms, end at 50 ms, 4 bytes a millisecond: nothing is cut, and the stream answers 2
  // once the sound played reaches 50 ms (200 bytes from the first block's start).
  fakes_.blocks = {{kMediaReadOk, 120, 0, 30}, {kMediaReadOk, 120, 30, 60}, {kMediaReadOk, 120, 60, 90},
                   {kMediaReadOk, 120, 90, 120}};
  MediaStream* s = Open(0, 10, 50);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->kind, 0u);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(fakes_.ring[0], 0) << "the block straddling the start is written whole";
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(s->writeOffset, 240u) << "the block straddling the end too";
  EXPECT_NE(s->feedState, kMediaFeedEnded);
  fakes_.play = 196;
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(GetMediaStreamPosition(s), 49);
  fakes_.play = 200;
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateEnded);
  ReleaseMediaStream(s);
}

TEST_F(MediaRing, FailedCallsFailTheUpdate) {
  struct Case {
    const char* what;
    bool Fakes::*fails;
    uint32_t kind;
    int32_t first;   // the fetch
    int32_t second;  // the write
  };
  const Case kCases[] = {
      {"the cursors cannot be read", &Fakes::cursorFails, kMediaKindAudioOnly, kMediaUpdateFailed, kMediaUpdateFailed},
      {"the ring will not lock", &Fakes::lockFails, kMediaKindAudioOnly, kMediaUpdateGoesOn, kMediaUpdateFailed},
      {"the ring will not play", &Fakes::playFails, kMediaKindAudioOnly, kMediaUpdateGoesOn, kMediaUpdateFailed},
      {"the ring will not stop", &Fakes::stopFails, kMediaKindAudioOnly, kMediaUpdateGoesOn, kMediaUpdateGoesOn},
  };
  for (const Case& c : kCases) {
    fakes_ = Fakes{};
    fakes_.blocks = {{kMediaReadOk, 40, 0, 10}, {kMediaReadOk, 40, 10, 20}};
    MediaStream* s = Open(c.kind, 0, -1);
    ASSERT_NE(s, nullptr) << c.what;
    fakes_.*c.fails = true;
    EXPECT_EQ(UpdateMediaStream(s), c.first) << c.what;
    EXPECT_EQ(UpdateMediaStream(s), c.second) << c.what;
    // Stopping answers 0 only when the ring will not stop.
    EXPECT_EQ(StopMediaStream(s), c.fails == &Fakes::stopFails ? 0 : 1) << c.what;
    ReleaseMediaStream(s);
  }
  // A frame the decoder cannot give ends the stream.
  fakes_ = Fakes{};
  fakes_.parts = kMediaPartVideo;
  fakes_.frameResult = kMediaReadFailed;
  MediaStream* s = Open(kMediaKindNoAudio, 0, -1);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateFailed);
  fakes_.frameResult = kMediaReadPending;
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(StopMediaStream(s), 1);
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateFailed) << "a stopped stream does not go on";
  ReleaseMediaStream(s);
}

TEST_F(MediaRing, StopKeepsThePositionAndMarksOnlyOwnBuffersFinished) {
  // Started at 100 ms; 50 ms of sound (200 bytes) or of the clock pass before the stop.
  struct Case {
    const char* what;
    uint32_t fileParts;
    uint32_t kind;
    int32_t finished;
  };
  const Case kCases[] = {
      {"own buffer", kMediaPartAudio, kMediaKindAudioOnly, 1},
      {"sound through the plain ring", kMediaPartAudio, 0, 0},
      {"video by the clock", kMediaPartVideo, kMediaKindNoAudio, 0},
  };
  for (const Case& c : kCases) {
    fakes_ = Fakes{};
    fakes_.parts = c.fileParts;
    fakes_.frameResult = kMediaReadPending;
    fakes_.blocks = {{kMediaReadOk, 400, 100, 200}, {kMediaReadOk, 400, 200, 300}};
    MediaStream* s = Open(c.kind, 100, -1);
    ASSERT_NE(s, nullptr) << c.what;
    EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn) << c.what;
    EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn) << c.what;
    EXPECT_EQ(GetMediaStreamPosition(s), 100) << c.what;
    fakes_.play = 200;
    fakes_.now = 50;
    EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn) << c.what;
    EXPECT_EQ(GetMediaStreamPosition(s), 150) << c.what;
    EXPECT_EQ(StopMediaStream(s), 1) << c.what;
    fakes_.play = 300;
    fakes_.now = 1000;
    EXPECT_EQ(GetMediaStreamPosition(s), 150) << c.what << ": a stopped stream stays where it stopped";
    EXPECT_EQ(s->finished, c.finished) << c.what;
    EXPECT_FALSE(fakes_.playing) << c.what;
    // A new start clears the mark.
    EXPECT_EQ(StartMediaStream(s, 0), 1) << c.what;
    EXPECT_EQ(s->finished, 0) << c.what;
    ReleaseMediaStream(s);
  }
}

TEST_F(MediaRing, VolumeRateAndPosition) {
  struct VolumeCase {
    int32_t volume;
    int32_t millibels;
  };
  const VolumeCase kVolumes[] = {{0, -10000}, {128, -2500}, {255, -20}, {-5, -10000}, {999, -20}};
  MediaStream* s = Open(kMediaKindAudioOnly, 0, -1);
  ASSERT_NE(s, nullptr);
  for (const VolumeCase& c : kVolumes) {
    EXPECT_EQ(SetMediaStreamVolume(s, c.volume), 1);
    EXPECT_EQ(fakes_.volume, c.millibels) << "volume " << c.volume;
  }
  // The sound of a stream plays at its rate: 1.5 times 1000 Hz.
  EXPECT_EQ(SetMediaStreamRate(s, 150000), 1);
  EXPECT_EQ(fakes_.frequency, 1500u);
  fakes_.frequencyFails = true;
  EXPECT_EQ(SetMediaStreamRate(s, 50000), 0) << "a rate the sound cannot take is refused";
  EXPECT_EQ(fakes_.frequency, 1500u);
  fakes_.frequencyFails = false;
  ReleaseMediaStream(s);

  // Without sound there is no volume to set; the clock gives the position.
  fakes_.parts = kMediaPartVideo;
  fakes_.now = 1000;
  s = Open(kMediaKindNoAudio | kMediaKindFixedRate, 500, -1);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SetMediaStreamVolume(s, 100), 0);
  EXPECT_EQ(SetMediaStreamRate(s, 50000), 0) << "a fixed-rate stream refuses";
  fakes_.now = 1250;
  EXPECT_EQ(GetMediaStreamPosition(s), 750);
  EXPECT_EQ(StopMediaStream(s), 1);
  fakes_.now = 5000;
  EXPECT_EQ(GetMediaStreamPosition(s), 750) << "a stopped stream keeps its position";
  ReleaseMediaStream(s);

  fakes_.now = 0;
  s = Open(kMediaKindNoAudio, 0, -1);
  ASSERT_NE(s, nullptr);
  fakes_.now = 400;
  EXPECT_EQ(SetMediaStreamRate(s, 50000), 1);
  fakes_.now = 800;
  EXPECT_EQ(GetMediaStreamPosition(s), 600) << "half speed after 400 ms";
  EXPECT_EQ(SetMediaStreamRate(s, 0), 0);
  ReleaseMediaStream(s);
}

TEST_F(MediaRing, SoundThatCannotPlayMakesTheStreamSilent) {
  constexpr uint32_t kBoth = kMediaPartAudio | kMediaPartVideo;
  struct Case {
    const char* what;
    bool ringFails;
    uint32_t fileParts;
    uint32_t kind;
    uint32_t asked;  // the parts the decoder is opened for
    uint32_t expectedKind;
    int32_t hasVideo;
  };
  const Case kCases[] = {
      {"no ring", true, kBoth, 0, kMediaPartVideo, kMediaKindNoAudio, 1},
      {"no sound in the file", false, kMediaPartVideo, 0x100, kBoth, 0x100 | kMediaKindNoAudio, 1},
      {"a soundtrack has no video", false, kMediaPartAudio, 0, kBoth, 0, 0},
      {"audio only owns its buffer", false, kBoth, kMediaKindAudioOnly, kMediaPartAudio,
       kMediaKindAudioOnly | kMediaKindOwnBuffer, 0},
      {"video only leaves the sound out", false, kBoth, kMediaKindNoAudio, kMediaPartVideo, kMediaKindNoAudio, 1},
  };
  for (const Case& c : kCases) {
    fakes_.ringFails = c.ringFails;
    fakes_.parts = c.fileParts;
    MediaStream* s = OpenMediaStream(5, c.kind);
    ASSERT_NE(s, nullptr) << c.what;
    EXPECT_EQ(fakes_.asked, c.asked) << c.what;
    EXPECT_EQ(s->kind, c.expectedKind) << c.what;
    EXPECT_EQ(s->hasVideo, c.hasVideo) << c.what;
    EXPECT_EQ(s->ring != nullptr, !(c.expectedKind & kMediaKindNoAudio)) << c.what;
    EXPECT_EQ(s->endPosition, -1);
    ReleaseMediaStream(s);
  }
}

// ---- Generated media through the real decoder -----------------------------------------------------

struct RealWorld {
  std::vector<uint8_t> texture;
  uint32_t now = 0;
};
RealWorld* gReal = nullptr;

bool MemoryTexture(DisplaySurface*, TextureTexels* t) {
  *t = TextureTexels{gReal->texture.data(), 64 * 4, 64, 64, 32};
  return true;
}
uint32_t RealWorldNow() { return gReal->now; }

// The system's decoder and sound ring with a 64 x 64 texture in memory and the test's clock.
MediaStreamBackend RealWorldBackend() {
  MediaStreamBackend backend = *MediaStreamSystemBackend();
  backend.lockTexture = MemoryTexture;
  backend.unlockTexture = FakeUnlockTexture;
  backend.nowMs = RealWorldNow;
  return backend;
}

TEST(MediaStreamReal, MovieFramesLandInTheTextureUntilTheEnd) {
  GameFolder folder;
  const MediaClipRecipe recipe = media_clips::MovieRecipe();
  folder.dir().Write("mov/other.dat", "");
  ASSERT_TRUE(MediaWriteClip(folder.dir().File("mov/00001.dat").c_str(), &recipe)) << "no MPEG-1 encoder";
  RealWorld world;
  world.texture.assign(64 * 64 * 4, kUntouched);
  gReal = &world;
  const MediaStreamBackend backend = RealWorldBackend();
  SetMediaStreamBackend(&backend);
  MediaStream* s = OpenMediaStream(1, kMediaKindNoAudio);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->hasVideo, 1);
  s->texture = reinterpret_cast<DisplaySurface*>(&world);
  ASSERT_EQ(StartMediaStream(s, 0), 1);
  ASSERT_EQ(RunMediaStream(s), 1);
  int32_t result = kMediaUpdateGoesOn;
  int checked = 0;
  // Frames every 40 ms; the clock steps 40 ms and each step shows the frame of its time.
  for (uint32_t step = 0; step < 100 && result == kMediaUpdateGoesOn; ++step) {
    world.now = step * 40 + 20;
    result = UpdateMediaStream(s);
    if (result != kMediaUpdateGoesOn || world.now >= 2000) continue;
    // 64 x 48 into 64 x 64: rows 8 to 55; the rows above and below stay.
    const int32_t colour = media_clips::NearestColour(&world.texture[(32 * 64 + 32) * 4]);
    EXPECT_EQ(colour, int32_t(step % media_clips::kColourCount)) << "at " << world.now << " ms";
    EXPECT_EQ(world.texture[(7 * 64 + 3) * 4], kUntouched);
    EXPECT_EQ(world.texture[(56 * 64 + 3) * 4], kUntouched);
    EXPECT_EQ(world.texture[(8 * 64 + 3) * 4 + 3], 0xFF);
    ++checked;
  }
  EXPECT_EQ(result, kMediaUpdateEnded);
  EXPECT_GE(checked, 45);
  // A second run from 1000 ms shows the frame of 1000 ms first.
  world.now = 5000;
  ASSERT_EQ(StartMediaStream(s, 1000), 1);
  ASSERT_EQ(RunMediaStream(s), 1);
  world.now = 5020;
  EXPECT_EQ(UpdateMediaStream(s), kMediaUpdateGoesOn);
  EXPECT_EQ(GetMediaStreamPosition(s), 1020);
  EXPECT_EQ(media_clips::NearestColour(&world.texture[(32 * 64 + 32) * 4]), 25 % media_clips::kColourCount);
  ReleaseMediaStream(s);
  SetMediaStreamBackend(nullptr);
  gReal = nullptr;
}

// The strongest frequency by counting rising zero crossings of the left channel.
double MeasureHz(const std::vector<int16_t>& stereo, uint32_t rate) {
  int crossings = 0;
  size_t first = 0, last = 0;
  for (size_t k = 2; k < stereo.size(); k += 2) {
    if (stereo[k - 2] < 0 && stereo[k] >= 0) {
      if (crossings == 0) first = k / 2;
      last = k / 2;
      ++crossings;
    }
  }
  return crossings > 1 ? (crossings - 1) * double(rate) / double(last - first) : 0.0;
}

TEST(MediaStreamReal, SoundtrackPlaysItsToneThroughTheAudioLayer) {
  constexpr uint32_t kRate = 44100;
  GameFolder folder;
  const MediaClipRecipe recipe = media_clips::SoundtrackRecipe(1500);
  folder.dir().Write("soundtrack/other.mp3", "");
  ASSERT_TRUE(MediaWriteClip(folder.dir().File("soundtrack/00009.mp3").c_str(), &recipe)) << "no MP3 encoder";
  if (!AudioOutUseLoopback(kRate)) GTEST_SKIP() << "the audio library has no loopback device";
  ASSERT_EQ(AudioOutOpen(), kAudioOutOk);
  SetMediaStreamBackend(nullptr);
  // Opened for sound and video, the soundtrack gives sound only.
  MediaStream* s = OpenMediaStream(9, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->hasVideo, 0);
  EXPECT_EQ(s->kind & kMediaKindNoAudio, 0u);
  ReleaseMediaStream(s);

  // The tone at the stream's rate: the sound plays faster or slower, the position follows it.
  struct Case {
    int32_t rate;
    double hz;
  };
  const Case kCases[] = {{kMediaNormalRate, 440.0}, {2 * kMediaNormalRate, 880.0}, {kMediaNormalRate / 2, 220.0}};
  for (const Case& c : kCases) {
    s = OpenMediaStream(9, kMediaKindAudioOnly);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(StartMediaStream(s, 0), 1);
    ASSERT_EQ(RunMediaStream(s), 1);
    ASSERT_EQ(SetMediaStreamVolume(s, 255), 1);
    ASSERT_EQ(SetMediaStreamRate(s, c.rate), 1);
    std::vector<int16_t> out;
    std::vector<int16_t> chunk(441 * 2);
    int32_t result = kMediaUpdateGoesOn;
    int32_t lastPosition = 0;
    // 10 ms of output a step.
    for (int steps = 0; steps < 1000 && result == kMediaUpdateGoesOn; ++steps) {
      result = UpdateMediaStream(s);
      ASSERT_TRUE(AudioOutRenderLoopback(chunk.data(), 441));
      out.insert(out.end(), chunk.begin(), chunk.end());
      const int32_t position = GetMediaStreamPosition(s);
      EXPECT_GE(position, lastPosition) << "rate " << c.rate;
      lastPosition = position;
    }
    EXPECT_EQ(result, kMediaUpdateEnded) << "rate " << c.rate;
    EXPECT_GE(lastPosition, 1400) << "rate " << c.rate;
    // 1.5 s of sound takes 1.5 s / rate to play.
    EXPECT_NEAR(double(out.size()) / 2 / kRate, 1.5 * kMediaNormalRate / c.rate, 0.25) << "rate " << c.rate;
    // From 0.2 s to 0.6 s of the output the tone sounds.
    ASSERT_GT(out.size(), size_t(kRate) * 6 / 10 * 2);
    const std::vector<int16_t> middle(out.begin() + kRate / 5 * 2, out.begin() + kRate * 6 / 10 * 2);
    EXPECT_NEAR(MeasureHz(middle, kRate), c.hz, c.hz / 100) << "rate " << c.rate;
    int16_t peak = 0;
    for (int16_t v : middle) peak = std::max<int16_t>(peak, int16_t(std::abs(v)));
    EXPECT_GT(peak, 8000) << "rate " << c.rate;
    ReleaseMediaStream(s);
  }
  AudioOutClose();
}

TEST(MediaStreamReal, MovieFramesFollowTheSoundPlayed) {
  GameFolder folder;
  const MediaClipRecipe recipe = media_clips::MovieRecipe();
  folder.dir().Write("mov/other.dat", "");
  ASSERT_TRUE(MediaWriteClip(folder.dir().File("mov/00002.dat").c_str(), &recipe)) << "no MPEG-1 encoder";
  if (!AudioOutUseLoopback(44100)) GTEST_SKIP() << "the audio library has no loopback device";
  ASSERT_EQ(AudioOutOpen(), kAudioOutOk);
  RealWorld world;
  world.texture.assign(64 * 64 * 4, kUntouched);
  gReal = &world;
  const MediaStreamBackend backend = RealWorldBackend();
  SetMediaStreamBackend(&backend);
  MediaStream* s = OpenMediaStream(2, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->kind, 0u);
  EXPECT_EQ(s->hasVideo, 1);
  s->texture = reinterpret_cast<DisplaySurface*>(&world);
  ASSERT_EQ(StartMediaStream(s, 0), 1);
  ASSERT_EQ(RunMediaStream(s), 1);
  std::vector<int16_t> chunk(441 * 2);
  int32_t result = kMediaUpdateGoesOn;
  int matched = 0;
  for (int step = 0; step < 1000 && result == kMediaUpdateGoesOn; ++step) {
    result = UpdateMediaStream(s);
    const int32_t position = GetMediaStreamPosition(s);
    // Frames fall 40 ms apart (a few ms after the sound's start); away from a change the texture
    // shows the frame of the position.
    if (result == kMediaUpdateGoesOn && position < 1900 && position % 40 >= 20 && position % 40 <= 35) {
      EXPECT_EQ(media_clips::NearestColour(&world.texture[(32 * 64 + 32) * 4]), position / 40 % media_clips::kColourCount)
          << "at " << position << " ms";
      ++matched;
    }
    ASSERT_TRUE(AudioOutRenderLoopback(chunk.data(), 441));
  }
  EXPECT_EQ(result, kMediaUpdateEnded);
  EXPECT_GE(matched, 20);
  ReleaseMediaStream(s);
  SetMediaStreamBackend(nullptr);
  AudioOutClose();
  gReal = nullptr;
}

}  // namespace
