// Jobs and takes on a hand-built three-key cut under a fake clock: ranges and directions, keep,
// path lengths, loops and ends, remaining times, the wakes of waiting tasks, rebasing, light
// colours, camera fields of view and refused path numbers.
#include "scene/takes_jobs.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/hash_table.h"
#include "core/system_block.h"
#include "scene/camera_records.h"
#include "scene/cut_keys.h"
#include "scene/instance_records.h"
#include "support/engine_fixture.h"
#include "support/script_fixture.h"

namespace {

constexpr int32_t kWaitRow = 3;
std::vector<std::pair<uint32_t, int32_t>>* gWakes = nullptr;
int32_t RecordWake(uint32_t cookie, int32_t value) {
  gWakes->push_back({cookie, value});
  return 0;
}

class Jobs : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    engine_->scriptName = name_;
    engine_->modules[kWaitRow].resumeInt = RecordWake;
    gWakes = &wakes_;
    saved_ = gSystem;
    gSystem = &block_;
    block_.gameTime = 10000;
    for (int i = 0; i < 3; ++i) {
      positions_[i].time = i * 500;
      positions_[i].position = {i * 5000, 0, -i * 1000, 0};
      colors_[i].time = i * 500;
      colors_[i].red = i == 0 ? 0 : 0x10000;
      fovs_[i].time = i * 500;
      fovs_[i].fov = 0x2000 * (i + 1);
    }
    path_.positions = {3, positions_};
    path_.colors = {3, colors_};
    path_.fieldsOfView = {3, fovs_};
    path_.pathWord = 0xAB;
    cut_.handle = 7;
    cut_.pathCount = 1;
    cut_.paths = &path_;
    HashInsert(fixture_.engine().cutTable, cut_.handle, reinterpret_cast<HashValue>(&cut_));
    camera_.instance.flags = kInstCamera;
  }
  void TearDown() override {
    gSystem = saved_;
    engine_->scriptName = nullptr;
    gWakes = nullptr;
    ScriptEngineTest::TearDown();
  }
  void Advance(int32_t ms) {
    block_.gameTime += ms;
    instance_.jobClock = static_cast<int32_t>(block_.gameTime);
  }
  int32_t Update() { return JobUpdate(&instance_, &cut_, instance_.jobClock - instance_.jobStart); }

  char name_[2] = "s";
  std::vector<std::pair<uint32_t, int32_t>> wakes_;
  SystemBlock block_{};
  SystemBlock* saved_ = nullptr;
  EngineFixture fixture_;
  PositionKey positions_[3]{};
  ColorKey colors_[3]{};
  FovKey fovs_[3]{};
  PathRecord path_{};
  CutRecord cut_{};
  InstanceRecord instance_{};
  CameraRecord camera_{};
};

TEST_F(Jobs, RangesSetDirectionAndFirstPlace) {
  struct Case {
    int32_t from, to;
    int32_t start, end;
    bool backwards;
    int32_t x;  // position at the first update
  };
  const Case kCases[] = {
      {0, 0, 0, 1000, false, 0},           // the whole path
      {500, 100, 100, 500, true, 5000},    // backwards from 500
      {250, 0, 0, 250, true, 2500},        // "to" 0 below "from" also plays backwards
      {100, 700, 100, 700, false, 1000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.from);
    instance_ = {};
    ASSERT_TRUE(InstJobPlay(&instance_, 0, &cut_, c.from, c.to, false));
    EXPECT_EQ(instance_.rangeStart, c.start);
    EXPECT_EQ(instance_.rangeEnd, c.end);
    EXPECT_EQ((instance_.jobFlags & kJobBackwards) != 0, c.backwards);
    EXPECT_EQ(instance_.jobFlags & (kJobPlaying | kJobEndReported), kJobPlaying);
    EXPECT_EQ(instance_.pathWord, 0xABu);
    EXPECT_EQ(instance_.cutHandle, 7u);
    EXPECT_EQ(instance_.position.x, c.x);
  }
  // Backwards playback runs toward the range start.
  instance_ = {};
  InstJobPlay(&instance_, 0, &cut_, 500, 100, false);
  Advance(300);
  EXPECT_EQ(Update(), 100);
  EXPECT_EQ(instance_.position.x, 2000);
}

TEST_F(Jobs, PathNumbersOutsideTheCutAreRefused) {
  instance_.jobFlags = kJobEndReported;
  for (int32_t n : {1, -1, 40}) {
    EXPECT_FALSE(InstJobPlay(&instance_, n, &cut_, 0, 0, false));
    EXPECT_FALSE(StartInstancePath(&instance_, &cut_, n));
  }
  EXPECT_EQ(instance_.jobFlags, kJobEndReported);
  EXPECT_EQ(instance_.cutHandle, 0u);
}

TEST_F(Jobs, KeepContinuesFromThePresentPlaceAndFlips) {
  ASSERT_TRUE(StartInstancePath(&instance_, &cut_, 0));
  EXPECT_EQ(instance_.rangeEnd, 1000);
  Advance(600);
  // The new range ends behind the present place: the job turns round.
  InstJobPlay(&instance_, 0, &cut_, 0, 300, true);
  EXPECT_TRUE(instance_.jobFlags & kJobBackwards);
  EXPECT_EQ(instance_.rangeStart, 300);
  EXPECT_EQ(instance_.rangeEnd, 600);
  EXPECT_EQ(instance_.position.x, 6000);
  // A forward range ahead of the place keeps the direction and starts at the place.
  instance_ = {};
  StartInstancePath(&instance_, &cut_, 0);
  Advance(200);
  InstJobPlay(&instance_, 0, &cut_, 0, 900, true);
  EXPECT_FALSE(instance_.jobFlags & kJobBackwards);
  EXPECT_EQ(instance_.rangeStart, 200);
  EXPECT_EQ(instance_.rangeEnd, 900);
}

TEST_F(Jobs, RemainingTimesEndsAndLoops) {
  // A range end past the path is measured to the path's end, unless it is used as given.
  InstJobPlay(&instance_, 0, &cut_, 0, 5000, false);
  Advance(100);
  EXPECT_EQ(J3D_JobGetRemainingTime(&instance_), 900);
  instance_.jobFlags |= kJobRangeAsGiven;
  EXPECT_EQ(J3D_JobGetRemainingTime(&instance_), 4900);
  instance_.jobFlags &= ~kJobRangeAsGiven;
  Advance(1100);
  EXPECT_EQ(Update(), -200);
  EXPECT_TRUE(instance_.jobFlags & kJobEndReported);
  EXPECT_EQ(J3D_JobGetRemainingTime(&instance_), 0);
  EXPECT_EQ(instance_.position.x, 10000);

  // A looping job wraps its start; one whose range has no length ends.
  instance_ = {};
  InstJobPlay(&instance_, 0, &cut_, 0, 0, false);
  instance_.jobFlags |= kJobLoops;
  Advance(1200);
  EXPECT_EQ(Update(), -200);
  EXPECT_FALSE(instance_.jobFlags & kJobEndReported);
  EXPECT_EQ(instance_.jobClock - instance_.jobStart, 200);
  instance_ = {};
  InstJobPlay(&instance_, 0, &cut_, 300, 300, false);
  instance_.jobFlags |= kJobLoops;
  Update();
  EXPECT_TRUE(instance_.jobFlags & kJobEndReported);
}

TEST_F(Jobs, VelocityFollowsTheSegment) {
  StartInstancePath(&instance_, &cut_, 0);
  Advance(250);
  Update();
  EXPECT_EQ(instance_.velocity.x, 5000 * 1000 / 510);
  EXPECT_EQ(instance_.velocity.z, -1000 * 1000 / 510);
  // A change too fast for a short segment gives no velocity.
  positions_[1].position.x = 2000000000;
  positions_[0].position.x = -2000000000;
  Update();
  EXPECT_EQ(instance_.velocity.x, 0);
  Advance(1000);
  Update();
  EXPECT_EQ(instance_.velocity.x, 0);  // at the last key
}

TEST_F(Jobs, WaitingTasksAreWokenOnceWithTheirReason) {
  InstJobPlay(&instance_, 0, &cut_, 0, 0, false);
  instance_.jobFlags |= kJobTaskWaits;
  instance_.waitModule = kWaitRow;
  instance_.waitToken = 41;
  Advance(1000);
  Update();
  Update();
  ASSERT_EQ(wakes_.size(), 1u);
  EXPECT_EQ(wakes_[0], std::make_pair(41u, kWakeJobEnded));

  wakes_.clear();
  InstJobPlay(&instance_, 0, &cut_, 0, 0, false);
  instance_.jobFlags |= kJobTaskWaits;
  J3D_JobStop(&instance_);
  J3D_JobStop(&instance_);
  ASSERT_EQ(wakes_.size(), 1u);
  EXPECT_EQ(wakes_[0], std::make_pair(41u, kWakeJobStopped));

  // A take stopped twice tells its task once; its playing job is stopped with it.
  wakes_.clear();
  InstanceRecord other{};
  InstJobPlay(&instance_, 0, &cut_, 0, 0, false);
  instance_.jobFlags |= kJobTaskWaits;
  InstanceRecord* members[] = {&instance_, nullptr, &other};
  TakeRecord* take = TakeAlloc();
  ASSERT_NE(take, nullptr);
  EXPECT_EQ(GetTakeByHandle(take->handle), take);
  EXPECT_EQ(take->rotation.m[1][1], 0x10000);
  take->cutHandle = 7;
  take->instanceCount = 3;
  take->instances = members;
  take->waitModule = kWaitRow;
  take->waitToken = 99;
  take->state = kTakeRunning;
  EXPECT_EQ(TakeCheckRunning(take), 1);
  J3D_TakeStop(take);
  J3D_TakeStop(take);
  ASSERT_EQ(wakes_.size(), 2u);
  EXPECT_EQ(wakes_[0], std::make_pair(41u, kWakeJobStopped));
  EXPECT_EQ(wakes_[1], std::make_pair(99u, kWakeTakeStopped));
  EXPECT_EQ(take->state, kTakeStopped);
  EXPECT_EQ(GetTakeByHandle(take->handle), take);  // stopped takes stay
  EXPECT_EQ(TakeCheckRunning(take), 0);
  EXPECT_EQ(TakeGetRemainingTime(take), 0);
  HashRemove(fixture_.engine().takeTable, take->handle);
  MemFree(take, sizeof(TakeRecord), MemCategoryFlags(kMemCatCut));
}

TEST_F(Jobs, TakeRemainingTimeIsNeverNegative) {
  InstanceRecord late{};
  InstJobPlay(&late, 0, &cut_, 0, 5000, false);
  late.jobFlags |= kJobRangeAsGiven;
  late.jobClock += 9000;  // far past its range
  InstanceRecord* members[] = {&late};
  TakeRecord take{};
  take.instanceCount = 1;
  take.instances = members;
  EXPECT_LT(J3D_JobGetRemainingTime(&late), 0);
  EXPECT_EQ(TakeGetRemainingTime(&take), 0);
}

TEST_F(Jobs, RebasingKeepsTheJobTime) {
  InstJobPlay(&instance_, 0, &cut_, 0, 0, false);
  Advance(300);
  HashInsert(fixture_.engine().handleTable, 5, reinterpret_cast<HashValue>(&instance_));
  RebaseAllJobTimes();
  EXPECT_EQ(instance_.jobClock - instance_.jobStart, 300);
  EXPECT_EQ(instance_.jobClock, static_cast<int32_t>(block_.gameTime) - 700);
  EXPECT_TRUE(instance_.jobFlags & kJobRebased);
  HashRemove(fixture_.engine().handleTable, 5);
}

TEST_F(Jobs, LightsTakeColoursAndCamerasFieldsOfView) {
  instance_.flags = kInstLight;
  StartInstancePath(&instance_, &cut_, 0);
  Advance(250);
  Update();
  EXPECT_EQ(instance_.lightColor[0], (0x8000 * 255 + 0x8000) >> 16);
  Advance(250);
  Update();
  EXPECT_EQ(instance_.lightColor[0], 255);

  InstanceRecord* cam = &camera_.instance;
  StartInstancePath(cam, &cut_, 0);
  EXPECT_EQ(camera_.fieldOfView, 0x2000u);
  block_.gameTime += 750;
  JobUpdate(cam, &cut_, 750);
  EXPECT_EQ(camera_.fieldOfView, 0x5000u);
  // Without the camera flag the field of view is left alone.
  EXPECT_EQ(instance_.linkedCamera, nullptr);
}

TEST_F(Jobs, TakeOriginTurnsAndMovesItsInstances) {
  InstanceRecord member{};
  member.position = {100, 0, 0, 0};
  member.velocity = {10, 0, 0, 0};
  MatrixSetIdentity(&member.matrix);
  InstanceRecord* members[] = {nullptr, &member};
  TakeRecord take{};
  take.instanceCount = 2;
  take.instances = members;
  MatrixFromAngles(&take.rotation, 0x4000, 0, 0);  // a quarter turn
  take.position = {1000, 2000, 3000, 0};
  take.velocity = {1, 2, 3, 0};
  TakeApplyOrigin(&take);  // no cut: nothing moves
  EXPECT_EQ(member.position.x, 100);

  take.cutHandle = 7;
  FixedVector turned, turnedVelocity;
  MatrixMulVector(&turned, &take.rotation, &member.position);
  MatrixMulVector(&turnedVelocity, &take.rotation, &member.velocity);
  TakeApplyOrigin(&take);
  EXPECT_EQ(member.position.x, 1000 + turned.x);
  EXPECT_EQ(member.position.z, 3000 + turned.z);
  EXPECT_EQ(member.velocity.x, turnedVelocity.x + 1);
  EXPECT_EQ(member.velocity.z, turnedVelocity.z + 3);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(member.matrix.m[r][c], take.rotation.m[r][c]);
  EXPECT_NE(turned.x, 100);  // the turn did something
}

}  // namespace
