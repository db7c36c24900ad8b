// The world of the `SA_` command tests: the update world (a simulated sector, a flying ship type,
// a waiting module that logs every woken task) with argument frames built from values and run
// through the dispatcher by a task of its own, whose answer, or whose waiting, the case reads.
#pragma once

#include <climits>
#include <deque>
#include <initializer_list>
#include <vector>

#include "update_world.h"

#include "script/containers.h"
#include "script/tasks.h"
#include "simulation/commands/sa_module.h"

class CommandWorld : public UpdateWorld {
 protected:
  void TearDown() override {
    for (ScriptTask* task : tasks_) {
      ReleaseValue(&task->result);
      FreeTask(engine_, task);
    }
    UpdateWorld::TearDown();
  }

  static ScriptValue I(int32_t v) {
    ScriptValue s{};
    SetValueInt(&s, v);
    return s;
  }
  static ScriptValue Of(const SpaceObject* o) { return I(o ? static_cast<int32_t>(o->id) : 0); }
  static ScriptValue Text(const char* text) {
    ScriptValue s{};
    SetValueString(&s, text);
    return s;
  }
  static ScriptValue Array(std::initializer_list<int32_t> values) {
    ScriptValue s{};
    AllocArrayValue(&s, static_cast<int32_t>(values.size()));
    int32_t k = 0;
    for (int32_t v : values) ArrayWriteInt(&s, k++, v);
    return s;
  }
  // A script object reference to a stand-in object with the given id; never released.
  ScriptValue ObjectRef(int32_t id) {
    refs_.push_back(ObjectInstance{id, 1, nullptr, nullptr});
    ScriptValue s{};
    s.type = kValueObject;
    s.object = &refs_.back();
    return s;
  }

  struct Reply {
    bool answered;
    int32_t value;  // INT_MIN while the task waits
    ScriptTask* task;
  };

  // Runs the command with the frame; `count` below 0 passes every value. The frame's values are
  // released afterwards (object references excepted).
  Reply Run(int32_t command, std::vector<ScriptValue> frame, int32_t count = -1) {
    ScriptTask* task = NewTask(engine_, 8);
    EXPECT_NE(task, nullptr);
    tasks_.push_back(task);
    DispatchSpaceObjectCommand(kWaitModule, task, command, count < 0 ? static_cast<int32_t>(frame.size()) : count,
                               frame.data());
    for (ScriptValue& v : frame) {
      if (v.type != kValueObject) ReleaseValue(&v);
    }
    const bool answered = task->hasResult != 0;
    return {answered, answered && task->result.type == kValueInt ? task->result.i : INT_MIN, task};
  }

  // True when the task waits on the object's waiting call.
  static bool WaitsOn(const Reply& r, const SpaceObject* o) {
    return !r.answered && o->moduleNo == uint32_t(kWaitModule) && o->moduleHandle == uint32_t(r.task->id);
  }

  std::vector<ScriptTask*> tasks_;
  std::deque<ObjectInstance> refs_;  // stays where it is as it grows
};
