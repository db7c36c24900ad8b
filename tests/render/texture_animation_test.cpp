// Texture animations: the "Animations" definitions in both forms, every kind advanced under a
// clock the test drives, the natives' stepping, the movie-strip placement and the saved states.
#include "render/texture_animation.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/data_reader.h"
#include "core/file_object.h"
#include "core/system_block.h"
#include "render/texture_table.h"
#include "support/temp_dir.h"

namespace {

// Texture names are numbers, so no texture table is needed to resolve them.
constexpr const char* kAnimationsText =
    "11;\n"
    // 0: five frames of 100 ms, the third with an offset.
    "TAT_LOOP; NULL; 1; 5; 5; NULL; 1; 100; NULL; 2; 100; TATF_COORDS; 3; 100; 0.5; 0.25; NULL; 4; 100;"
    " NULL; 5; 100; 0;\n"
    // 1, 2: the range 10..14 over 500 ms.
    "TAT_LOOP; NULL; 10; 14; 0; 500;\n"
    "TAT_PINGPONG; NULL; 10; 14; 0; 500;\n"
    // 3: a one-shot range with offsets.
    "TAT_ONESHOT; TADF_COORDS; 20; 22; 0; 0; 1; 2; 0; 300;\n"
    // 4: frame by frame, the middle frame restarts.
    "TAT_TAGONESHOT_REINIT; NULL; 0; 0; 3; NULL; 31; 100; TATF_REINITLOOP; 32; 100; NULL; 33; 100; 0;\n"
    // 5: a movie of stream 7.
    "TAT_MOVIE; NULL; 40; 40; 7; 1; 2; 3; 4; 5; 6;\n"
    // 6: id frames; 7: stepped full frames, none given; 8: a stepped range.
    "TAT_TAGSINGLESTEP; NULL; 0; 0; 2; 51; 52; 0;\n"
    "TAT_TAGARRAYSINGLESTEP; NULL; 0; 0; 0; 0;\n"
    "TAT_SINGLESTEP; NULL; 60; 63; 0; 0;\n"
    // 9: tag frames; 10: a negative frame duration counts as 0.
    "TAT_TAGCOLLECTION; NULL; 70; 71; 1; 72; 1; 2; 3; 4; 5; 6; 200;\n"
    "TAT_LOOP; NULL; 0; 0; 2; NULL; 1; -50; NULL; 2; 100; 0;\n";

constexpr int32_t kStart = 1000;

class ByteWriter {
 public:
  void Half(uint16_t v) { bytes_.push_back(uint8_t(v >> 8)), bytes_.push_back(uint8_t(v)); }
  void Word(uint32_t v) { Half(uint16_t(v >> 16)), Half(uint16_t(v)); }
  void Text(const char* s) { bytes_.insert(bytes_.end(), s, s + std::strlen(s) + 1); }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

class TexAnim : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = gSystem;
    gSystem = &block_;
    block_.gameTime = kStart;
    ReadText(kAnimationsText);
    ASSERT_EQ(gTextureAnimationCount, 11);
  }
  void TearDown() override {
    for (auto& [n, s] : owned_) TexAnimFreeRecords(n, s);
    FreeTextureAnimations();
    FreeTextureTables();
    gTextureFixedCount = 0;
    gTextureAddedCount = 0;
    TexAnimSetMediaHooks(nullptr);
    gSystem = previous_;
  }
  static void ReadText(const std::string& text) {
    std::string copy = text;
    DataReader reader;
    DataReaderInit(&reader, copy.data(), false, copy.size() + 1);
    ReadTextureAnimationSection(&reader);
  }
  TexAnimState* Make(int32_t id) {
    TexAnimState* s = TexAnimCreateRecords(1, &id, nullptr, nullptr, nullptr, nullptr, nullptr);
    owned_.push_back({1, s});
    return s;
  }
  bool At(TexAnimState* s, int32_t t) {
    block_.gameTime = static_cast<uint32_t>(kStart + t);
    return TexAnimUpdate(1, s);
  }

  SystemBlock block_{};
  SystemBlock* previous_ = nullptr;
  std::vector<std::pair<int32_t, TexAnimState*>> owned_;  // freed at the end
};

TEST_F(TexAnim, DefinitionsKeepTheirFramesDurationsAndMovieParameters) {
  const TextureAnimation& loop = gTextureAnimations[0];
  EXPECT_EQ(loop.type, TAT_LOOP);
  EXPECT_EQ(loop.frameCount, 5);
  EXPECT_EQ(loop.duration, 500);  // the sum of the frames; the closing 0 does not replace it
  EXPECT_EQ(loop.frames.full[2].offsetU, 0x8000);
  EXPECT_EQ(loop.frames.full[2].offsetV, 0x4000);
  EXPECT_EQ(gTextureAnimations[1].duration, 500);
  EXPECT_EQ(gTextureAnimations[3].endV, 2 << 16);
  EXPECT_EQ(gTextureAnimations[5].duration, -1);
  EXPECT_EQ(gTextureAnimations[5].movieStream, 7);
  EXPECT_EQ(gTextureAnimations[5].movieParams[5], 6);
  EXPECT_EQ(gTextureAnimations[6].frames.ids[1], 52);
  EXPECT_EQ(gTextureAnimations[7].frames.full, nullptr);
  const TexAnimTagFrame& tag = gTextureAnimations[9].frames.tag[0];
  EXPECT_EQ(tag.values[0], 72);
  EXPECT_EQ(tag.values[6], 6);
  EXPECT_EQ(gTextureAnimations[9].duration, 200);
  EXPECT_EQ(gTextureAnimations[10].duration, 100);
}

TEST_F(TexAnim, BinaryFormReadsTheSameDefinitions) {
  ByteWriter w;
  w.Word(2);
  w.Word(TAT_LOOP), w.Half(0), w.Text("1"), w.Text("5"), w.Word(2);
  w.Half(TATF_COORDS), w.Text("3"), w.Word(100), w.Word(0x8000), w.Word(0x4000);
  w.Half(0), w.Text("4"), w.Word(100);
  w.Word(0);
  w.Word(TAT_TAGSINGLESTEP), w.Half(0), w.Text("0"), w.Text("0"), w.Word(2), w.Text("51"), w.Text("52");
  // The closing duration is missing: the end of the input counts as 0.
  DataReader reader;
  DataReaderInit(&reader, w.bytes().data(), true, w.bytes().size());
  ReadTextureAnimationSection(&reader);
  ASSERT_EQ(gTextureAnimationCount, 2);
  const TextureAnimation& loop = gTextureAnimations[0];
  EXPECT_EQ(loop.lastTexture, 5);
  EXPECT_EQ(loop.duration, 200);
  EXPECT_EQ(loop.frames.full[0].texture, 3);
  EXPECT_EQ(loop.frames.full[0].offsetV, 0x4000);
  EXPECT_EQ(loop.frames.full[1].flags, 0);
  EXPECT_EQ(gTextureAnimations[1].frames.ids[1], 52);
  EXPECT_EQ(gTextureAnimations[1].duration, 0);
}

TEST_F(TexAnim, BrokenSectionsLeaveNoTableOrZeroDefinitions) {
  ReadText("0;");
  EXPECT_EQ(gTextureAnimations, nullptr);
  EXPECT_EQ(gTextureAnimationCount, 0);
  // A frame count beyond the input ends the reading; the next definition stays zero.
  ReadText("2; TAT_LOOP; NULL; 1; 2; 1000000; TAT_LOOP; NULL; 1; 2; 0; 100;");
  ASSERT_EQ(gTextureAnimationCount, 2);
  EXPECT_EQ(gTextureAnimations[0].frames.full, nullptr);
  EXPECT_EQ(gTextureAnimations[1].type, 0);
  ReadText("1; TAT_NOSUCH; NULL; 1; 2; 0; 100;");
  EXPECT_EQ(gTextureAnimations[0].duration, 0);
}

TEST_F(TexAnim, TimedKindsShowTheFrameOfTheirPeriod) {
  struct Case {
    int32_t anim;
    bool backwards;
    int32_t t;
    uint16_t texture;
    int32_t offsetU;
  };
  const Case kCases[] = {
      {0, false, 100, 1, 0},  // the running sum reaches t
      {0, false, 101, 2, 0},
      {0, false, 250, 3, 0x8000},
      {0, false, 499, 5, 0},
      {0, false, 500, 1, 0},   // the next period
      {0, true, 50, 5, 0},     // from the last frame down
      {1, false, 0, 10, 0},
      {1, false, 100, 11, 0},
      {1, false, 200, 12, 0},
      {1, false, 300, 13, 0},
      {1, false, 499, 14, 0},
      {1, true, 0, 14, 0},     // backwards all five appear
      {1, true, 100, 13, 0},
      {1, true, 200, 12, 0},
      {1, true, 300, 11, 0},
      {1, true, 499, 10, 0},
      {10, false, 0, 1, 0},    // a zero-length frame is passed at once
      {10, false, 1, 2, 0},
  };
  for (const Case& c : kCases) {
    block_.gameTime = kStart;
    TexAnimState* s = Make(c.anim);
    if (c.backwards) s->flags |= kTexAnimBackwards;
    EXPECT_FALSE(At(s, c.t));
    EXPECT_EQ(s->texture, c.texture) << c.anim << " " << c.backwards << " t " << c.t;
    EXPECT_EQ(s->uv.row2[0], c.offsetU) << c.anim << " t " << c.t;
    EXPECT_GE(s->frame, 0);
    // The stored frame gives the same texture again, as after a load.
    const uint16_t shown = s->texture;
    TexAnimValue(s);
    EXPECT_EQ(s->texture, shown) << c.anim << " t " << c.t;
  }
}

TEST_F(TexAnim, PingPongReversesOnlyAfterAnOddNumberOfPeriods) {
  TexAnimState* one = Make(2);
  At(one, 510);  // one whole period passed: k = 0
  EXPECT_TRUE(one->flags & kTexAnimBackwards);
  EXPECT_EQ(one->texture, 14);
  block_.gameTime = kStart;
  TexAnimState* two = Make(2);
  At(two, 1010);  // two whole periods passed: k = 1
  EXPECT_FALSE(two->flags & kTexAnimBackwards);
  EXPECT_EQ(two->texture, 10);
}

TEST_F(TexAnim, OneShotReportsItsEndOnceAndStaysThere) {
  TexAnimState* s = Make(3);
  EXPECT_FALSE(At(s, 150));
  EXPECT_EQ(s->texture, 21);
  EXPECT_EQ(s->uv.row2[1], 1 << 16);  // half of the way to (1, 2)
  EXPECT_TRUE(At(s, 300));
  EXPECT_EQ(s->texture, 22);
  EXPECT_EQ(s->uv.row2[0], 1 << 16);
  EXPECT_EQ(s->uv.row2[1], 2 << 16);
  EXPECT_FALSE(At(s, 400));
  EXPECT_FALSE(At(s, 5000));
  EXPECT_EQ(s->texture, 22);
  EXPECT_EQ(s->frame, 2);
}

TEST_F(TexAnim, FrameByFrameAdvancesOneFrameAtATimeAndRestartsAtItsReinitFrame) {
  TexAnimState* s = Make(4);
  EXPECT_EQ(s->texture, 31);
  EXPECT_FALSE(At(s, 100));  // the frame's time is not over yet
  EXPECT_EQ(s->frame, 0);
  EXPECT_FALSE(At(s, 5000));  // a long frame still moves one frame
  EXPECT_EQ(s->texture, 32);
  EXPECT_EQ(s->elapsedFrames, 100);
  EXPECT_FALSE(At(s, 5001));  // passing the reinit frame marks it
  EXPECT_EQ(s->texture, 33);
  EXPECT_TRUE(s->flags & kTexAnimReinitPassed);
  EXPECT_EQ(s->reinitTime, kStart + 5001);
  EXPECT_TRUE(At(s, 5002));  // no frame after the last: the end, once
  EXPECT_FALSE(At(s, 5003));
  EXPECT_EQ(s->texture, 33);

  block_.gameTime = kStart;
  TexAnimState* r = Make(4);
  At(r, 101);
  r->flags |= kTexAnimRestartAtReinit;
  At(r, 202);  // on the reinit frame with a restart asked: back to the first frame
  EXPECT_EQ(r->frame, 0);
  EXPECT_EQ(r->texture, 31);
  EXPECT_FALSE(r->flags & kTexAnimRestartAtReinit);
}

TEST_F(TexAnim, SteppedKindsAreSetByIndexAndNeverByTime) {
  std::vector<TexAnimState*> made = {Make(8), Make(6), Make(7), Make(1)};
  TexAnimState states[4];
  for (int i = 0; i < 4; ++i) states[i] = *made[i];
  struct Case {
    int32_t id;
    int32_t index;
    int32_t texture;
    int32_t frame;
  };
  const Case kCases[] = {
      {8, 2, 62, 2}, {8, 3, 63, 3}, {8, -1, 60, 0}, {8, 4, 60, 0},  // range 60..63
      {6, 1, 52, 1}, {6, 2, 51, 0},                                 // id frames
      {7, 0, 0, 0},                                                 // no frames to show
      {1, 2, 0, 0},                                                 // a timed kind
      {9, 0, 0, 0},                                                 // no state of that definition
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(TexAnimFindRecord(c.id, 4, states, c.index), c.texture) << c.id << " " << c.index;
    for (const TexAnimState& s : states) {
      if (s.anim == c.id) {
        EXPECT_EQ(s.frame, c.frame) << c.id << " " << c.index;
      }
    }
  }
  TexAnimFindRecord(8, 4, states, 2);
  block_.gameTime = kStart + 10000;
  EXPECT_FALSE(TexAnimUpdate(4, states));
  EXPECT_EQ(states[0].texture, 62);
}

TEST_F(TexAnim, ImmediateStatesMoveAndTurnTheirCoordinates) {
  const int32_t ids[2] = {-5, -6};
  const int32_t starts[4] = {0, 0, 0, 0};
  const int32_t ends[4] = {1 << 16, 2 << 16, 0, 0};
  const int32_t periods[2] = {1000, 0};
  const int32_t centres[4] = {0, 0, 0x8000, 0x8000};
  const int32_t spins[2] = {0, 4000};
  TexAnimState* s = TexAnimCreateRecords(2, ids, starts, ends, periods, centres, spins);
  owned_.push_back({2, s});
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s[0].texture, 5);
  s[1].spinStart += 250;            // the turn began later
  block_.gameTime = kStart + 1250;  // a quarter into the second period; a quarter turn
  EXPECT_FALSE(TexAnimUpdate(2, s));
  EXPECT_EQ(s[0].cycleStart, kStart + 1000);
  EXPECT_EQ(s[0].uv.row2[0], 0x4000);
  EXPECT_EQ(s[0].uv.row2[1], 0x8000);
  EXPECT_EQ(s[1].texture, 6);
  // Turned a quarter about (0.5, 0.5): u takes -v, v takes u, and the centre stays put.
  EXPECT_EQ(s[1].uv.row0[0], 0);
  EXPECT_EQ(s[1].uv.row0[1], -0x10000);
  EXPECT_EQ(s[1].uv.row1[0], 0x10000);
  EXPECT_EQ(s[1].uv.row1[1], 0);
  EXPECT_EQ(s[1].uv.row2[0], 0);
  EXPECT_EQ(s[1].uv.row2[1], 0x10000);
  EXPECT_EQ(s[1].uv.row2[2], 0x10000);
  s[1].spinPeriod = -4000;  // the other way round
  TexAnimUpdate(2, s);
  EXPECT_EQ(s[1].uv.row0[1], 0x10000);
  EXPECT_EQ(s[1].uv.row2[0], 0x10000);
  EXPECT_EQ(s[1].uv.row2[1], 0);
}

TEST_F(TexAnim, ExtremeLoadedValuesWrapInsteadOfOverflowing) {
  // A loaded state may hold any words; the arithmetic wraps like 16.16 hardware.
  TexAnimState* s = Make(-5);
  s->uvStart[0] = INT32_MIN;
  s->uvEnd[0] = INT32_MAX;
  s->period = 3;
  s->cycleStart = INT32_MIN;
  s->spinCentre[0] = INT32_MIN;
  s->spinPeriod = 7;
  At(s, 1);
  s->spinPeriod = 0;
  At(s, 2);
  TexAnimState* range = Make(1);
  range->frame = INT32_MAX;
  range->flags |= kTexAnimBackwards;
  TexAnimValue(range);
  SUCCEED();
}

TEST_F(TexAnim, MovieStripsArePlacedOnTheirCell) {
  // Cells a quarter wide and half high; a strip of four textures.
  ReadText("2; TAT_MOVIE; TADF_COORDS; 40; 43; 0.25; 0.5; 0; 0; 7; 0; 0; 0; 0; 0; 0; TAT_LOOP; NULL; 1; 2; 0; 100;");
  const int32_t ids[2] = {0, 1};
  TexAnimState* s = TexAnimCreateRecords(2, ids, nullptr, nullptr, nullptr, nullptr, nullptr);
  owned_.push_back({2, s});
  const UvTransform loopUv = s[1].uv;

  s[0].flags |= kTexAnimBackwards;
  InstTexAnimRecompute(2, s, 3);  // the third cell of the row
  EXPECT_FALSE(s[0].flags & kTexAnimBackwards);
  EXPECT_EQ(s[0].texture, 40);
  EXPECT_EQ(s[0].uv.row0[0], 0x4000);
  EXPECT_EQ(s[0].uv.row1[1], 0x8000);
  EXPECT_EQ(s[0].uv.row2[0], 0x8000);
  EXPECT_EQ(s[0].uv.row2[1], 0);
  InstTexAnimRecompute(2, s, 0);
  EXPECT_EQ(s[0].uv.row0[0], 0x10000);
  EXPECT_EQ(s[0].uv.row2[0], 0);

  InstTexAnimRebase(2, s, 5, 6);  // 6 cells: 2 columns of 3 rows; cell 5 is column 0, row 2
  EXPECT_TRUE(s[0].flags & kTexAnimBackwards);
  EXPECT_EQ(s[0].texture, 43);
  EXPECT_EQ(s[0].uv.row0[0], 0x8000);
  EXPECT_EQ(s[0].uv.row1[1], 0x10000 / 3);
  EXPECT_EQ(s[0].uv.row2[0], 0);
  EXPECT_EQ(s[0].uv.row2[1], 2 * 0x10000 / 3);
  InstTexAnimRebase(2, s, 5, 0);
  EXPECT_EQ(s[0].uv.row1[1], 0x10000);
  // Other kinds are left alone.
  EXPECT_EQ(std::memcmp(&s[1].uv, &loopUv, sizeof loopUv), 0);
  EXPECT_FALSE(s[1].flags & kTexAnimBackwards);
}

// A movie layer's stream list as the hooks see it, with every call it hears.
struct FakeStream {
  int32_t id;
  uint32_t flags;
  int32_t owner;
};
std::vector<FakeStream> gStreams;
std::vector<std::string> gStreamCalls;

FakeStream* FindFake(int32_t id) {
  for (FakeStream& s : gStreams) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

const MediaStreamHooks kFakeStreams = {
    [](int32_t id, uint32_t* flags, int32_t* owner) {
      const FakeStream* s = FindFake(id);
      if (s) *flags = s->flags, *owner = s->owner;
      return s != nullptr;
    },
    [](int32_t id, uint32_t kind) {
      gStreamCalls.push_back("open " + std::to_string(id) + " " + std::to_string(kind));
      if (id != 99) gStreams.push_back({id, 0, 0});  // stream 99 cannot be opened
    },
    [](int32_t id, int32_t owner) {
      gStreamCalls.push_back("connect " + std::to_string(id) + " " + std::to_string(owner));
      FindFake(id)->flags |= kMediaStreamOwned, FindFake(id)->owner = owner;
    },
    [](int32_t id, const int32_t params[6]) {
      gStreamCalls.push_back("play " + std::to_string(id) + " " + std::to_string(params[0]) + ".." +
                             std::to_string(params[5]));
    },
    [](int32_t id) { gStreamCalls.push_back("stop " + std::to_string(id)); },
    [](int32_t id, int32_t owner) {
      gStreamCalls.push_back("disconnect " + std::to_string(id) + " " + std::to_string(owner));
      FakeStream* s = FindFake(id);
      if (s && s->owner == owner) s->flags &= ~kMediaStreamOwned, s->owner = 0;
    },
};

TEST_F(TexAnim, MovieStreamIsOpenedClaimedAndStartedOnce) {
  gStreams.clear();
  gStreamCalls.clear();
  TexAnimSetMediaHooks(&kFakeStreams);
  TexAnimState* s = Make(5);
  At(s, 10);
  At(s, 20);
  const std::vector<std::string> expected = {"open 7 0", "connect 7 40", "play 7 1..6"};
  EXPECT_EQ(gStreamCalls, expected);
  EXPECT_EQ(s->movieStarted, 7);
  // A stream already in the list is not opened again; one that cannot open is not started.
  gStreamCalls.clear();
  const int32_t params[6] = {};
  MediaStreamClaim(7, 41, params, 0);
  MediaStreamClaim(99, 41, params, 0);
  const std::vector<std::string> again = {"connect 7 41", "play 7 0..0", "open 99 0"};
  EXPECT_EQ(gStreamCalls, again);
}

TEST_F(TexAnim, MovieStreamIsStoppedOnlyByItsOwnerAndAlwaysDetached) {
  gStreams = {{7, kMediaStreamOwned, 40}, {8, 0, 40}};
  TexAnimSetMediaHooks(&kFakeStreams);
  struct Case {
    int32_t stream, owner;
    std::vector<std::string> calls;
  };
  const Case kCases[] = {
      {7, 41, {"disconnect 7 41"}},                // another owner holds it
      {8, 40, {"disconnect 8 40"}},                // not owned
      {9, 40, {"disconnect 9 40"}},                // no such stream
      {7, 40, {"stop 7", "disconnect 7 40"}},      // its owner lets it go
      {7, 40, {"disconnect 7 40"}},                // already detached
  };
  for (const Case& c : kCases) {
    gStreamCalls.clear();
    MediaStreamRelease(c.stream, c.owner);
    EXPECT_EQ(gStreamCalls, c.calls) << c.stream << " " << c.owner;
  }
  // Without a movie layer nothing is claimed or released.
  TexAnimSetMediaHooks(nullptr);
  gStreamCalls.clear();
  const int32_t params[6] = {};
  MediaStreamClaim(7, 40, params, 0);
  MediaStreamRelease(7, 40);
  EXPECT_TRUE(gStreamCalls.empty());
}

TEST_F(TexAnim, PreloadingGivesEveryTextureOfTheAnimationItsFlags) {
  gTextureFixedCount = 0;
  gTextureAddedCount = 100;
  ASSERT_FALSE(AllocTextureTable());
  struct Case {
    const char* what;
    int32_t anim;
    std::vector<int32_t> textures;  // flagged
    std::vector<int32_t> untouched;
  };
  const Case kCases[] = {
      {"full frames with their first and last", 0, {1, 2, 3, 4, 5}, {10}},
      {"a range: first and last", 1, {10, 14}, {11}},
      {"id frames", 6, {51, 52}, {50}},
      {"tag frames", 9, {70, 71, 72}, {1}},
      {"no such animation", 11, {}, {1, 10, 51, 70}},
      {"a negative index", -1, {}, {1, 10, 51, 70}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    for (int32_t id = 1; id < 100; ++id) gTextureTable[id].flags = 0;
    PreloadAnimationTextures(c.anim, 0x100);
    for (int32_t id : c.textures) EXPECT_EQ(TextureGetFlags(id), 0x100u) << id;
    for (int32_t id : c.untouched) EXPECT_EQ(TextureGetFlags(id), 0u) << id;
  }
}

class TexAnimSave : public TexAnim {
 protected:
  bool Save(int32_t n, const TexAnimState* states) {
    FileObject f;
    FileObjectInit(&f);
    if (!FileOpen(&f, dir_.File("anims.sav").c_str(), "wbT", false)) return false;
    const bool ok = SaveTexAnimStates(n, &f, states);
    return FileCloseHandle(&f) && ok;
  }
  TexAnimState* Load(int32_t n) {
    FileObject f;
    FileObjectInit(&f);
    if (!FileOpen(&f, dir_.File("anims.sav").c_str(), "rb", false)) return nullptr;
    TexAnimState* states = LoadTexAnimStates(n, &f);
    FileCloseHandle(&f);
    return states;
  }
  std::string Bytes() const { return dir_.Read("anims.sav"); }

  TempDir dir_;
};

TEST_F(TexAnimSave, StatesOfEveryKindReloadByteForByte) {
  gTextureFixedCount = 10;
  ASSERT_FALSE(AllocTextureTable());
  SetTextureName(9, "hull");
  const int32_t ids[6] = {0, 1, 3, 4, -9, static_cast<int32_t>(0x80000000u)};
  TexAnimState* s = TexAnimCreateRecords(6, ids, nullptr, nullptr, nullptr, nullptr, nullptr);
  owned_.push_back({6, s});
  s[1].flags |= kTexAnimBackwards;
  block_.gameTime = kStart + 300;
  TexAnimUpdate(6, s);
  s[5].anim = 0;  // an immediate state of no texture
  ASSERT_TRUE(Save(6, s));
  const std::string bytes = Bytes();
  ASSERT_EQ(bytes.size(), 6 * kTexAnimRecordBytes + 5 + 1);
  EXPECT_EQ(bytes.substr(5 * kTexAnimRecordBytes, 5), std::string("\x04hull", 5));
  EXPECT_EQ(bytes.back(), '\0');
  // Big-endian words: the second state's anim word is 1.
  EXPECT_EQ(bytes.substr(kTexAnimRecordBytes, 4), std::string("\0\0\0\x01", 4));

  TexAnimState* loaded = Load(6);
  ASSERT_NE(loaded, nullptr);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(loaded[i].texture, s[i].texture) << i;
  EXPECT_EQ(loaded[4].anim, -9);
  EXPECT_EQ(loaded[5].anim, 0);
  ASSERT_TRUE(Save(6, loaded));
  TexAnimFreeRecords(6, loaded);
  EXPECT_EQ(Bytes(), bytes);
}

TEST_F(TexAnimSave, BadRecordsFailTheLoad) {
  const int32_t id = 1;
  TexAnimState* s = TexAnimCreateRecords(1, &id, nullptr, nullptr, nullptr, nullptr, nullptr);
  owned_.push_back({1, s});
  struct Case {
    const char* what;
    int32_t anim;
    uint32_t flags;
    size_t cut;  // bytes dropped from the end
  };
  const Case kCases[] = {
      {"anim past the table", 11, 0, 0},
      {"negative anim", -3, 0, 0},
      {"short record", 1, 0, 1},
      {"immediate without its length byte", -3, kTexAnimImmediate, 1},
  };
  for (const Case& c : kCases) {
    s->anim = c.anim;
    s->flags = c.flags;
    ASSERT_TRUE(Save(1, s)) << c.what;
    const std::string bytes = Bytes();
    dir_.Write("anims.sav", bytes.substr(0, bytes.size() - c.cut));
    EXPECT_EQ(Load(1), nullptr) << c.what;
  }
}

TEST_F(TexAnimSave, NameTooLongForItsLengthByteFailsTheSave) {
  gTextureFixedCount = 10;
  ASSERT_FALSE(AllocTextureTable());
  SetTextureName(9, std::string(256, 'n').c_str());
  const int32_t id = -9;
  TexAnimState* s = TexAnimCreateRecords(1, &id, nullptr, nullptr, nullptr, nullptr, nullptr);
  owned_.push_back({1, s});
  EXPECT_FALSE(Save(1, s));
  SetTextureName(9, std::string(255, 'n').c_str());
  EXPECT_TRUE(Save(1, s));
  TexAnimState* loaded = Load(1);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->texture, 9);
  TexAnimFreeRecords(1, loaded);
}

}  // namespace
