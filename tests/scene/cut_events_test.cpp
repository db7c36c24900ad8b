// Cut notes performed for an instance: which texts raise "CutEvent" and with what, speech
// durations, the -1 of rebased jobs, camera notes that switch the active cut camera (also with a
// name that finds nothing, and one longer than any buffer), instances without a script
// receiver, and the lookup of every note at one time.
#include "scene/cut_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/cut_keys.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/cut_world.h"

namespace {

constexpr int32_t kReceiver = 12;

TEST(CutEvents, NoteTextsRaiseTheirEvents) {
  struct Case {
    const char* note;
    const char* event;  // "" when nothing is raised
  };
  const Case kCases[] = {
      {"EVENT Boom  ", "12 Boom 0"},
      {"event \t Door opens", "12 Door opens 0"},
      {"Event Tab\t ", "12 Tab\t 0"},  // a trailing tab stays
      {"event    ", "12  0"},
      {"End Speak", "12 endspeak 0"},
      {"end speaking", "12 endspeak 0"},
      {"endspeak", ""},
      {"eventBoom", ""},
      {"start intro", ""},
      {"lend intro", ""},
      {"camera Nobody", ""},
      {"", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    CutWorld world;
    const PathRecord* path = world.AddPath({{100, c.note}});
    world.Enter();
    InstanceRecord* player = world.Player(0, kReceiver);
    ParseCutEvents(player, path, 0);
    const std::vector<std::string> expected = *c.event ? std::vector<std::string>{c.event} : std::vector<std::string>{};
    EXPECT_EQ(world.events, expected);
  }
}

TEST(CutEvents, SpeechLastsToTheNextEndMark) {
  struct Case {
    const char* name;
    std::vector<std::pair<int32_t, std::string>> notes;
    uint32_t jobFlags;
    int32_t value;
  };
  const Case kCases[] = {
      {"endspeak", {{1000, "event speak hello"}, {2000, "camera X"}, {3500, "endspeak"}}, 0, 2500},
      {"end speak", {{1000, "event Speak"}, {1200, "END SPEAK"}}, 0, 200},
      {"another speech first", {{1000, "event speak"}, {2000, "event speak two"}, {3500, "endspeak"}}, 0, 0},
      {"no end mark", {{1000, "event speak"}, {2000, "event other"}}, 0, 0},
      {"rebased job", {{1000, "event speak"}, {3500, "endspeak"}}, kJobRebased, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CutWorld world;
    const PathRecord* path = world.AddPath(c.notes);
    world.Enter();
    InstanceRecord* player = world.Player(0, kReceiver);
    player->jobFlags |= c.jobFlags;
    ParseCutEvents(player, path, 0);
    ASSERT_EQ(world.events.size(), 1u);
    EXPECT_EQ(world.events[0].substr(world.events[0].rfind(' ') + 1), std::to_string(c.value));
  }
}

TEST(CutEvents, RebasedJobsHandMinusOneToEveryEvent) {
  CutWorld world;
  const PathRecord* path = world.AddPath({{10, "event Boom"}, {20, "end speak"}});
  world.Enter();
  InstanceRecord* player = world.Player(0, kReceiver);
  player->jobFlags |= kJobRebased;
  ParseCutEvents(player, path, 0);
  ParseCutEvents(player, path, 1);
  ParseCutEvents(player, path, 2);  // beyond the notes: nothing
  ParseCutEvents(player, path, -1);
  EXPECT_EQ(world.events, (std::vector<std::string>{"12 Boom -1", "12 endspeak -1"}));
}

// A scene whose members play the cut; path 1 is named "Cam1", path 2 "Cam2".
class CameraNotes : public ::testing::Test {
 protected:
  void SetUp() override {
    notes_ = world_.AddPath({{100, "camera Cam1"}, {200, "Camera \t Nobody"}, {300, "camera " + std::string(600, 'x')}});
    world_.AddPath({}, "Cam1");
    world_.AddPath({}, "Cam2");
    world_.Enter();
    scene_ = B3D_SceneAlloc();
    ASSERT_NE(scene_, nullptr);
    player_ = Member(0);
    cam1_ = Member(1);
    cam2_ = Member(2);
    other_ = Member(2);
    other_->cutHandle = 99;  // plays another cut
    for (InstanceRecord* member : {player_, cam1_, cam2_, other_}) member->jobFlags |= kJobDrivesCamera;
  }
  InstanceRecord* Member(int32_t path) {
    InstanceRecord* instance = world_.Player(path, 0);
    AddInstanceToScene(instance, scene_);
    return instance;
  }
  bool Drives(const InstanceRecord* instance) const { return (instance->jobFlags & kJobDrivesCamera) != 0; }

  CutWorld world_;
  const PathRecord* notes_ = nullptr;
  SceneRecord* scene_ = nullptr;
  InstanceRecord* player_ = nullptr;
  InstanceRecord* cam1_ = nullptr;
  InstanceRecord* cam2_ = nullptr;
  InstanceRecord* other_ = nullptr;
};

TEST_F(CameraNotes, TheNamedPathBecomesTheOnlyCameraOfItsCut) {
  ParseCutEvents(player_, notes_, 0);
  EXPECT_FALSE(Drives(player_));
  EXPECT_TRUE(Drives(cam1_));
  EXPECT_FALSE(Drives(cam2_));
  EXPECT_TRUE(Drives(other_));  // another cut keeps its camera
  EXPECT_TRUE(world_.events.empty());
}

TEST_F(CameraNotes, ANameThatFindsNothingStillClearsTheCutsCameras) {
  for (int32_t note : {1, 2}) {
    SCOPED_TRACE(note);
    cam1_->jobFlags |= kJobDrivesCamera;
    ParseCutEvents(player_, notes_, note);
    EXPECT_FALSE(Drives(cam1_));
    EXPECT_FALSE(Drives(cam2_));
    EXPECT_TRUE(Drives(other_));
  }
}

TEST_F(CameraNotes, WithoutAReceiverCamerasSwitchAndEventsRaiseNothing) {
  ASSERT_EQ(player_->scriptReceiver, 0);
  ParseCutEvents(player_, notes_, 0);
  EXPECT_TRUE(Drives(cam1_));
  PathRecord events{};
  CutNote note{100, const_cast<char*>("event Boom")};
  events.noteCount = 1;
  events.notes = &note;
  ParseCutEvents(player_, &events, 0);
  EXPECT_TRUE(world_.events.empty());
}

TEST(CutEvents, TheLookupPerformsEveryNoteAtThatTimeInOrder) {
  CutWorld world;
  world.AddPath({{100, "event First"}, {200, "event Other"}, {100, "event Second"}, {100, "nothing"}});
  world.Enter();
  InstanceRecord* player = world.Player(0, kReceiver);
  InstPathFindEvent(player, 100);
  EXPECT_EQ(world.events, (std::vector<std::string>{"12 First 0", "12 Second 0"}));
  world.events.clear();
  InstPathFindEvent(player, 150);
  player->pathNumber = 5;  // a path the cut does not have
  InstPathFindEvent(player, 200);
  player->pathNumber = 0;
  player->cutHandle = 0;
  InstPathFindEvent(player, 200);
  InstPathFindEvent(nullptr, 200);
  EXPECT_TRUE(world.events.empty());
}

}  // namespace

// Note ranges by number: start and end notes in any case and on any path, "l" forms loop, the
// last match wins, and "end speak" ends nothing.
TEST(NoteRanges, StartAndEndNotesGiveTheRangeOfTheirNumber) {
  struct Case {
    const char* what;
    std::vector<std::pair<int32_t, std::string>> first, second;
    int32_t n;
    bool found;
    int32_t start, end;
    bool looped;
  };
  const Case kCases[] = {
      {"plain", {{10, "start 2"}, {50, "end 2"}}, {}, 2, true, 10, 50, false},
      {"ends on another path, any case", {{10, "START \t2"}}, {{80, "End 2"}}, 2, true, 10, 80, false},
      {"looped end", {{10, "start 2"}, {60, "lend 2"}}, {}, 2, true, 10, 60, true},
      {"looped start, plain end last", {{10, "lstart 2"}, {60, "end 2"}}, {}, 2, true, 10, 60, false},
      {"end speak is no end", {{10, "start 3"}, {40, "end speak 3"}}, {}, 3, false, 10, -1, false},
      {"END 3 is", {{10, "start 3"}, {40, "end speak 3"}, {45, "END 3"}}, {}, 3, true, 10, 45, false},
      {"later matches win", {{10, "start 1"}, {20, "start 1"}, {30, "end 1"}}, {{90, "end 1"}}, 1, true, 20, 90, false},
      {"other numbers", {{10, "start 12"}, {30, "end 1x"}}, {}, 1, false, -1, 30, false},
      {"no notes", {}, {}, 1, false, -1, -1, false},
  };
  for (const Case& c : kCases) {
    CutWorld world;
    world.AddPath(c.first);
    world.AddPath(c.second);
    CutRecord* cut = world.Enter();
    int32_t start = 0, end = 0;
    bool looped = false;
    EXPECT_EQ(FindAnimNoteRange(cut, c.n, &start, &end, &looped), c.found) << c.what;
    EXPECT_EQ(start, c.start) << c.what;
    EXPECT_EQ(end, c.end) << c.what;
    EXPECT_EQ(looped, c.looped) << c.what;
  }
}
