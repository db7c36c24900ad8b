// The video, timer, client data and reward commands through the SA_ dispatcher: the reward
// formula's variants and its flags of no part, the timer's argument, the client data word, the
// video rows' search and release, the sectors' pause word and the screens' channel.
#include <vector>

#include "command_world.h"

#include "render/texture_animation.h"
#include "universe/object_classes.h"
#include "universe/type_loader.h"

namespace {

struct StreamCall {
  char what;  // 'p' play, 'd' disconnect
  int32_t stream;
  int32_t owner;
};
std::vector<StreamCall>* gStreamLog = nullptr;

class VideoRewardCommands : public CommandWorld {
 protected:
  void SetUp() override {
    CommandWorld::SetUp();
    savedVideos_ = gVideoTable;
    savedLists_ = gVideoListTable;
    gStreamLog = &streams_;
    static const MediaStreamHooks kHooks = {
        [](int32_t, uint32_t* flags, int32_t* owner) {
          *flags = 0;
          *owner = 0;
          return true;
        },
        [](int32_t, uint32_t) {},
        [](int32_t stream, int32_t owner) { gStreamLog->push_back({'c', stream, owner}); },
        [](int32_t stream, const int32_t*) { gStreamLog->push_back({'p', stream, 0}); },
        [](int32_t) {},
        [](int32_t stream, int32_t owner) { gStreamLog->push_back({'d', stream, owner}); },
    };
    TexAnimSetMediaHooks(&kHooks);
    // Row 0 answers id 5 only; row 1 answers 7 (its zero id words do not count).
    rows_[0] = VideoRow{2, {5, 5, 0, 0}, {40, 1, 2, 3, 4, 5, 6}};
    rows_[1] = VideoRow{3, {7, 0, 7, 0}, {41, 11, 12, 13, 14, 15, 16}};
    gVideoTable = {2, rows_};
    channels_[0] = {3, channelValues_};
    channels_[1] = {0, nullptr};
    gVideoListTable = {2, channels_};
    Rows(kClassSpecial, 2);
  }

  void TearDown() override {
    TexAnimSetMediaHooks(nullptr);
    gStreamLog = nullptr;
    gVideoTable = savedVideos_;
    gVideoListTable = savedLists_;
    CommandWorld::TearDown();
  }

  SpaceObject* Screen() {
    SpaceObject* screen = In(kClassSpecial, 1, 0);
    auto* ext = static_cast<SpecialExt*>(screen->ext);
    ext->shownId = 9;
    screen->flags2 |= 1u << 22;
    return screen;
  }

  VideoTable savedVideos_{};
  VideoListTable savedLists_{};
  VideoRow rows_[2]{};
  int32_t channelValues_[3] = {20, 30, 40};
  WordList channels_[2]{};
  std::vector<StreamCall> streams_;
};

TEST_F(VideoRewardCommands, RewardVariants) {
  struct Case {
    std::vector<int32_t> args;
    int32_t reward;
  };
  const Case kCases[] = {
      {{1, 1, 0, 0, 0, 0}, 3},      // variant 1: P 4, Q 75
      {{2, 1, 0, 0, 0}, 3},         // variant 2 reads a4
      {{3, 1, 0, 0, 9}, 3},         // variant 3 reads a3, not a4
      {{2, 1, 0, 0, 10}, 1},        // (7 - 45 + 75) * 4 / 100 = 1.48
      {{1, 2, 0, 0, 0, 1}, 8},      // P 14, Q 61.2: 8.568 truncated
      {{-1, 1, 1, 1, 1, 1, 1, 1}, 0},
      {{7, 1, 1}, 0},
      {{0, 1, 0x10, 1, 1, 1, 1, 1}, 0},  // flags that name no part
      {{0, 1, 0}, 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(Run(369, c.args), c.reward) << c.args[0] << " " << c.args[1];
}

TEST_F(VideoRewardCommands, MissionRewardScattersTheBaseByTheSeededDraw) {
  // Base 232.41 with one part of (2.3 - 1.3) * base; the draw after seed 1 is 41.
  GameSrand(1);
  const int32_t v = 7500 + 41 * 5001 / 32768;
  EXPECT_EQ(Run(369, {0, 0, 1, 0, 0}), static_cast<int32_t>(v * 232.41 / 10000.0));
  for (int k = 0; k < 20; ++k) {
    const int32_t r = Run(369, {0, 0, 1, 0, 0});
    EXPECT_GE(r, 174);
    EXPECT_LE(r, 290);
  }
  // Two parts average: flags 3 with a3 = a4 = 0 gives the same mean.
  GameSrand(1);
  EXPECT_EQ(Run(369, {0, 0, 3, 0, 0}), static_cast<int32_t>(v * 2 * 232.41 / 20000.0));
}

TEST_F(VideoRewardCommands, TimerAndClientData) {
  SetTime(12345);
  EXPECT_EQ(Run(306, {0}), 12345);
  EXPECT_EQ(Run(306, {1}), 0);
  EXPECT_EQ(Run(351, {}), 0);
  EXPECT_EQ(Run(350, {-2}), 0);
  EXPECT_EQ(Run(351, {}), -2);
}

TEST_F(VideoRewardCommands, FindStartAndStopVideo) {
  ScriptTask* found = RunValues(356, IntArgs({7}));
  EXPECT_EQ(Flatten(&found->result), (std::vector<int32_t>{41, 11, 12, 13, 14, 15, 16}));
  ScriptTask* none = RunValues(356, IntArgs({6}));
  EXPECT_EQ(none->result.type, kValueInt);
  EXPECT_EQ(none->result.i, 0);

  EXPECT_EQ(Run(353, {5, 90}), 0);
  EXPECT_EQ(Run(353, {8, 90}), -1);
  ASSERT_EQ(streams_.size(), 2u);
  EXPECT_EQ(streams_[0].what, 'c');
  streams_.clear();

  for (int32_t row : {-1, 2, 1000}) EXPECT_EQ(Run(354, {row, 90}), 0);
  EXPECT_TRUE(streams_.empty());
  EXPECT_EQ(Run(354, {1, 90}), 0);
  ASSERT_EQ(streams_.size(), 1u);
  EXPECT_EQ(streams_[0].what, 'd');
  EXPECT_EQ(streams_[0].stream, 90);
}

TEST_F(VideoRewardCommands, PauseVideoMarksEverySectorAndReleasesShownRows) {
  sector_->sectorLast = 1;
  EXPECT_EQ(Run(355, {1}), 0);
  EXPECT_EQ(sector_->sectorWords[9], 1u);
  ASSERT_EQ(streams_.size(), 1u);
  EXPECT_EQ(streams_[0].what, 'd');
  EXPECT_EQ(Run(355, {0}), 0);
  EXPECT_EQ(sector_->sectorWords[9], 0u);
  EXPECT_EQ(streams_.size(), 1u);
}

TEST_F(VideoRewardCommands, SetVideoChannelResetsTheScreen) {
  struct Case {
    int32_t channel;
  };
  // A fixed channel, a list with channels, an empty list and a list out of range.
  const Case kCases[] = {{2}, {-1}, {-2}, {-3}, {0}};
  for (const Case& c : kCases) {
    SpaceObject* screen = Screen();
    EXPECT_EQ(Run(277, {Id(screen), c.channel}), 0);
    const auto* ext = static_cast<const SpecialExt*>(screen->ext);
    EXPECT_EQ(ext->screenId, c.channel);
    EXPECT_EQ(ext->shownId, 0);
    EXPECT_EQ(screen->flags2 & (1u << 22), 0u);
  }
  // Not a special object: nothing changes.
  SpaceObject* ship = In(kClassShip, 0, 0);
  const uint32_t flags2 = ship->flags2 | (1u << 22);
  ship->flags2 = flags2;
  EXPECT_EQ(Run(277, {Id(ship), 3}), 0);
  EXPECT_EQ(ship->flags2, flags2);
}

}  // namespace
