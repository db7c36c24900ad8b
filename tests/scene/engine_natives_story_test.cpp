// An assembled story waits on jobs and takes through the real script engine: a job that ends at
// its first step answers 11 at once, a waiting task is answered 4 at the job's end, 5 by
// J3D_JobStop, 2 when its instance is freed and 3 when its camera is; a take start waits until
// J3D_TakeStop answers 1; the asynchronous play answers 1, or 11 for a job already over.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scene/camera_records.h"
#include "scene/cut_events.h"
#include "scene/engine_dispatch.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/take_instances.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"
#include "support/cut_world.h"
#include "support/script_runner.h"

namespace {

constexpr int32_t kLongBody = 5;  // a path of 1000 ms
constexpr int32_t kNoKeysBody = 6;  // a path that ends where it starts

// Arguments reach a native in reverse push order: the last pushed is argument 0.
const char* const kStory = R"(
.func JobStart jobstart frame=8 params=3
.func JobPlay jobplay frame=8 params=3
.func JobPlayAsync jobplayasync frame=8 params=3
.func JobStop jobstop frame=8 params=1
.func TakeStart takestart frame=8 params=3
.func TakeStop takestop frame=8 params=1
jobstart:
  check 8
  ldl 6
  ldl 6
  ldl 6
  push3
  native J3D_JobStart
  ret
jobplay:
  check 8
  push0
  push0
  ldl 8
  ldl 8
  ldl 8
  pushb 5
  native J3D_JobPlay
  ret
jobplayasync:
  check 8
  push0
  push0
  ldl 8
  ldl 8
  ldl 8
  pushb 5
  native J3D_JobPlayAsync
  ret
jobstop:
  check 8
  ldl 4
  push1
  native J3D_JobStop
  ret
takestart:
  check 8
  ldl 6
  ldl 6
  ldl 6
  push3
  native J3D_TakeStart
  ret
takestop:
  check 8
  ldl 4
  push1
  native J3D_TakeStop
  ret
)";

class WaitingStory : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    // The script engine's own row, through which the scene engine wakes a waiting task.
    static const char* const kNoNames[] = {nullptr};
    engine_->seModuleIndex = RegisterNativeModule(engine_, nullptr, kNoNames, SEResumeInt, SEResumeString, SEResumeValue);
    RegisterNativeModule(engine_, DispatchEngineNative, kEngineNativeNames, nullptr, nullptr, nullptr);
    ASSERT_TRUE(Load(kStory)) << error_;
    SetCutEventSink(nullptr);
    keys_[1].time = 1000;
    keys_[1].position = {1000, 0, 0, 0};
    PathRecord* path = world_.AddPath({});
    path->lookupWord = kLongBody;
    path->positions = {2, keys_};
    world_.AddPath({})->lookupWord = kNoKeysBody;
    world_.Enter();
  }

  // Starts a story function with (handle, cut, body); it must be left waiting.
  void StartWaiting(const char* function, int32_t handle, int32_t body = kLongBody) {
    results_.clear();
    ASSERT_NE(Start(function, {handle, int32_t(CutWorld::kCut), body}), nullptr);
    RunAll();
    ASSERT_TRUE(results_.empty()) << function << " answered " << results_.back();
  }
  bool Answered(const std::string& value) {
    RunAll();
    return std::find(results_.begin(), results_.end(), value) != results_.end();
  }

  PositionKey keys_[2]{};
  CutWorld world_;
};

TEST_F(WaitingStory, AJobOverAtItsFirstStepAnswersElevenAtOnce) {
  InstanceRecord* i = B3D_InstAlloc();
  const int32_t h = int32_t(i->handle);
  EXPECT_EQ(Call("JobStart", {h, int32_t(CutWorld::kCut), kNoKeysBody}), "11");
  EXPECT_EQ(Call("JobPlay", {h, int32_t(CutWorld::kCut), kNoKeysBody}), "11");
  EXPECT_EQ(Call("JobPlayAsync", {h, int32_t(CutWorld::kCut), kNoKeysBody}), "11");
  EXPECT_EQ(Call("JobPlayAsync", {h, int32_t(CutWorld::kCut), kLongBody}), "1");
  EXPECT_FALSE(i->jobFlags & kJobTaskWaits);
  // No such body among the paths, or no such cut: 0, and nothing waits.
  EXPECT_EQ(Call("JobStart", {h, int32_t(CutWorld::kCut), 99}), "0");
  EXPECT_EQ(Call("JobPlay", {h, 12345, kLongBody}), "0");
  FreeInstance(i);
}

TEST_F(WaitingStory, AWaitingJobIsAnsweredByItsEndItsStopOrItsFree) {
  struct Case {
    const char* name;
    bool camera;
    const char* answer;
  };
  const Case kCases[] = {{"end", false, "4"}, {"stop", false, "5"}, {"free", false, "2"}, {"camera free", true, "3"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CameraRecord* camera = c.camera ? B3D_CameraAlloc() : nullptr;
    InstanceRecord* i = camera ? &camera->instance : B3D_InstAlloc();
    const int32_t h = int32_t(i->handle);
    StartWaiting("JobStart", h);
    EXPECT_TRUE(i->jobFlags & kJobTaskWaits);
    EXPECT_EQ(i->waitModule, engine_->seModuleIndex);
    const std::string name = c.name;
    if (name == "end") {
      world_.Advance(1500);
      UpdateCutScenes();
      EXPECT_TRUE(Answered(c.answer));
      FreeInstance(i);
    } else if (name == "stop") {
      // The stopping call answers 0 and the waiting one 5.
      Call("JobStop", {h});
      std::sort(results_.begin(), results_.end());
      EXPECT_EQ(results_, (std::vector<std::string>{"0", c.answer}));
      FreeInstance(i);
    } else if (camera) {
      B3D_CameraFree(camera);
      EXPECT_TRUE(Answered(c.answer));
    } else {
      FreeInstance(i);
      EXPECT_TRUE(Answered(c.answer));
    }
    EXPECT_TRUE(TaskListIsEmpty(&engine_->waitList));
  }
}

TEST_F(WaitingStory, ATakeStartWaitsUntilTheTakeIsStopped) {
  SceneRecord* scene = B3D_SceneAlloc();
  ASSERT_NE(scene, nullptr);
  TakeRecord* take = TakeAlloc();
  ASSERT_NE(take, nullptr);
  results_.clear();
  ASSERT_NE(Start("TakeStart", {int32_t(take->handle), int32_t(CutWorld::kCut), int32_t(scene->handle)}), nullptr);
  RunAll();
  ASSERT_TRUE(results_.empty());
  EXPECT_EQ(take->waitModule, engine_->seModuleIndex);
  Call("TakeStop", {int32_t(take->handle)});
  std::sort(results_.begin(), results_.end());
  EXPECT_EQ(results_, (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(take->waitModule, 0);
  EXPECT_EQ(take->waitToken, 0);
  J3D_TakeFree(take);
  B3D_SceneFree(scene);
}

}  // namespace
