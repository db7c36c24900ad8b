// The world the universe simulation's tests run in: a bare script engine with the recording T_
// module (module 1), a universe made by CreateUniverse with the SA_ module (module 2), small
// type tables chosen by the case, a settable game clock and frame step, the game's generator
// seeded with 1, sectors and objects created through the object life operations, and a log of
// the object events raised (a case may act inside an event, as a story's handler would, and
// answer an event that asks for a result). Every
// object is freed with the universe, so the sanitizer sees any leak.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance_tree.h"
#include "simulation/simulation.h"
#include "simulation/universe_guard.h"
#include "simulation/universe_steps.h"
#include "script/script_calls.h"
#include "support/script_runner.h"
#include "universe/object_lifecycle.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

struct ObjectEventRecord {
  uint32_t objectId;
  std::string name;
  int32_t argCount, a, b, c;
};

class UniverseWorld : public ScriptRunTest {
 protected:
  static void SetUpTestSuite() { InitMathTables(); }

  void SetUp() override {
    ScriptRunTest::SetUp();
    gScriptEngine = engine_;
    system_ = SystemBlock{};
    system_.gameTime = 10000;
    system_.frameStep = 16;
    gSystem = &system_;
    GameSrand(1);
    universe_ = UniverseBlock{};
    ASSERT_EQ(CreateUniverse(&universe_), &universe_);
    current_world_ = this;
    SetObjectEventSink([](const ObjectEvent& e) {
      // An event to a script id alone is logged under that id.
      current_world_->events_.push_back(
          {e.object ? e.object->id : e.scriptId, e.name, e.argCount, e.args[0], e.args[1], e.args[2]});
      if (current_world_->onEvent_) current_world_->onEvent_(e.object, e.name);
      if (e.resultHolder != 0 && current_world_->answer_) {
        SetObjectEventValue(e.resultHolder, current_world_->answer_(e.object, e.name));
      }
    });
  }

  void TearDown() override {
    gSectorSteps = DefaultSectorSteps();
    SetObjectEventSink(nullptr);
    DestroyUniverse(&universe_);
    gUniverse = nullptr;
    SetFreedInstanceHook(nullptr);
    for (auto& table : gObjectTypeTables) table = {};
    gSystem = nullptr;
    current_world_ = nullptr;
    ScriptRunTest::TearDown();
    gScriptEngine = nullptr;
  }

  // `count` zero-filled type rows for a class, valid for the case.
  ObjectTypeRecord* Rows(int objClass, int count) {
    auto& rows = typeRows_[objClass];
    rows.assign(static_cast<size_t>(count), ObjectTypeRecord{});
    gObjectTypeTables[objClass] = {rows.data(), count};
    return rows.data();
  }

  void SetTime(uint32_t now, uint32_t step = 16) {
    system_.gameTime = now;
    system_.frameStep = step;
  }

  SectorObject* Sector(int32_t subtype = 1) {
    auto* s = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
    CreateSector(s, MakeTypeWord(kClassSector, subtype));
    return s;
  }

  SpaceObject* Create(int32_t objClass, int32_t subtype) {
    SpaceObject* o = AllocObjectRecord(objClass);
    EXPECT_EQ(CreateObject(o, MakeTypeWord(objClass, subtype)), o);
    return o;
  }

  // Events reach the sink only for objects with a script id.
  static void Listen(SpaceObject* o) { o->scriptId = 1; }

  // The recording story: class 12's event methods log their count and two arguments through
  // T_Log, then call SA_GetGlobalParameter 4 and log its answer. Later cases add methods by
  // loading their own text in the same form.
  static constexpr const char* kRecordingStory = R"(
.class 12
.method Recorded recorded frame=8 params=2
.method MakeBreak recorded frame=8 params=2
.end
.func MakeOne makeone frame=4
recorded:
  check 8
  ldl 5
  ldl 5
  ldl 5
  pushb 3
  native T_Log
  pop
  pushb 4
  push1
  native SA_GetGlobalParameter
  push1
  native T_Log
  ret
makeone:
  newc 12
  ret
)";

  // Loads the story (once) and gives the object a script object of class 12 of its own, so its
  // events take the real script path instead of the sink.
  void ListenThroughStory(SpaceObject* o, const char* story = kRecordingStory) {
    if (!storyLoaded_) {
      ASSERT_TRUE(Load(story)) << error_;
      storyLoaded_ = true;
    }
    results_.clear();
    ASSERT_TRUE(CallScriptFunction(module_, 1, 0, "MakeOne", kResultInt, 0));
    ASSERT_EQ(results_.size(), 1u);
    o->scriptId = static_cast<uint32_t>(std::stoi(results_[0]));
    results_.clear();
    SetObjectEventSink(nullptr);
  }

  static inline UniverseWorld* current_world_ = nullptr;
  SystemBlock system_{};
  UniverseBlock universe_{};
  std::vector<ObjectEventRecord> events_;
  std::function<void(SpaceObject*, const char*)> onEvent_;
  // The integer answer of an event that asks for one; none leaves the holder's value as it is.
  std::function<int32_t(SpaceObject*, const char*)> answer_;
  bool storyLoaded_ = false;

 private:
  std::vector<ObjectTypeRecord> typeRows_[kObjectClassCount];
};
