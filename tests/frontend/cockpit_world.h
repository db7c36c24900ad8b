// A world for the cockpit's views, aims and natives: hand-built space objects registered by id in
// a universe, a sector holding them, a headless scene engine, a script engine context for the
// natives' answers, a GUI master, a controllable game clock and frame time, and the tracking tones
// and lock events recorded instead of played. Everything is given back afterwards; the scene
// engine's tables must end as they began.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/memory.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_natives.h"
#include "frontend/hud/gui_master.h"
#include "scene/engine_state.h"
#include "script/containers.h"
#include "script/engine.h"
#include "support/engine_fixture.h"
#include "universe/object_world.h"
#include "universe/universe_registry.h"

class CockpitWorld : public ObjectWorld {
 protected:
  void SetUp() override {
    ObjectWorld::SetUp();
    SetTime(10000);
    gSystem->frameStep = 16;
    script_ = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    ASSERT_TRUE(InitEngineContext(script_));
    universe_.idHash = HashCreate();
    savedUniverse_ = gUniverse;
    gUniverse = &universe_;
    gGuiMaster = InitGuiMaster(static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster))));
    ASSERT_NE(gGuiMaster, nullptr);
    savedOutputs_ = gCockpitTrackingOutputs;
    gCockpitTrackingOutputs = {RecordTone, RecordLock};
    tones_ = 0;
    locks_.clear();
    handles_ = HashCount(engine_.engine().handleTable);
    scenes_ = HashCount(engine_.engine().sceneTable);
    GameSrand(1);
  }

  void TearDown() override {
    ReleaseValue(&array_);
    FreeAllCockpits(gGuiMaster);
    MemFreeIfSet(gGuiMaster);
    gGuiMaster = nullptr;
    EXPECT_EQ(HashCount(engine_.engine().handleTable), handles_);
    EXPECT_EQ(HashCount(engine_.engine().sceneTable), scenes_);
    gCockpitTrackingOutputs = savedOutputs_;
    HashDestroy(universe_.idHash);
    gUniverse = savedUniverse_;
    FreeEngineTables(script_);
    MemFreeIfSet(script_);
    gScriptEngine = nullptr;
    ObjectWorld::TearDown();
  }

  // An object registered under `id`, in the sector when one is given, at (x, y, z).
  SpaceObject* Object(uint32_t id, uint16_t objClass, SpaceObject* sector = nullptr, int32_t x = 0, int32_t y = 0,
                      int32_t z = 0) {
    SpaceObject* o = sector ? MakeIn(sector, objClass) : Make(objClass);
    o->id = id;
    Place(o, x, y, z);
    HashInsert(universe_.idHash, id, reinterpret_cast<HashValue>(o));
    return o;
  }

  CockpitRecord* NewCockpit() { return CockpitFromHandle(gGuiMaster, CockpitAlloc(gGuiMaster)); }

  // One native through the dispatcher; its integer answer, or -999 without an answer. An array
  // answer is left in `array_` (released by the next call) and answers -1.
  int32_t Call(int32_t function, const std::vector<int32_t>& args = {}) {
    std::vector<ScriptValue> values(args.size());
    for (size_t i = 0; i < args.size(); ++i) SetValueInt(&values[i], args[i]);
    return CallValues(function, values);
  }
  int32_t CallValues(int32_t function, std::vector<ScriptValue>& values) {
    ReleaseValue(&array_);
    ScriptTask task{};
    task.state = kTaskNew;
    EXPECT_EQ(DispatchINSNative(0, &task, function, static_cast<int32_t>(values.size()), values.data()), 1);
    if (!task.hasResult) return -999;
    if (task.result.type == kValueArray) {
      MoveValue(&array_, &task.result);
      return -1;
    }
    const int32_t answer = task.result.i;
    ReleaseValue(&task.result);
    return answer;
  }
  std::vector<int32_t> ArrayAnswer() {
    std::vector<int32_t> out;
    if (array_.type != kValueArray) return out;
    for (int32_t i = 0; i < array_.array->size; ++i) out.push_back(ArrayElementPtr(&array_, i)->i);
    return out;
  }
  void ReleaseAnswer() { ReleaseValue(&array_); }

  static void RecordTone() { ++tones_; }
  static void RecordLock(uint32_t target, uint32_t cockpit) { locks_.emplace_back(target, cockpit); }

  EngineFixture engine_;
  ScriptEngine* script_ = nullptr;
  UniverseBlock universe_{};
  UniverseBlock* savedUniverse_ = nullptr;
  CockpitTrackingOutputs savedOutputs_{};
  ScriptValue array_{};
  uint32_t handles_ = 0, scenes_ = 0;
  static inline int tones_ = 0;
  static inline std::vector<std::pair<uint32_t, uint32_t>> locks_;
};
