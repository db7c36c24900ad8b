// The world of the `SA_` command tests: the update world (a simulated sector with scene
// instances, a flying ship type, a waiting module that logs every woken task) with commands run
// through the dispatcher on a task of their own, with integer arguments or hand-made argument
// values; the case reads the answer as an integer, an array or the task's waiting. Every task and
// argument value is freed with the case.
#pragma once

#include <climits>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "update_world.h"

#include "scene/instance.h"
#include "script/containers.h"
#include "script/tasks.h"
#include "simulation/commands/sa_call.h"
#include "simulation/commands/sa_module.h"

class CommandWorld : public UpdateWorld {
 protected:
  void TearDown() override {
    for (ScriptTask* task : tasks_) {
      ReleaseValue(&task->result);
      FreeTask(engine_, task);
    }
    for (ScriptValue& v : values_) ReleaseValue(&v);
    UpdateWorld::TearDown();
  }

  // An id no object has.
  static constexpr int32_t kMissing = 99999;

  static int32_t Id(const SpaceObject* o) { return static_cast<int32_t>(o->id); }

  // Runs the command on a new task with the given argument slots; the task holds the answer.
  ScriptTask* RunValues(int32_t command, std::vector<ScriptValue> args) {
    ScriptTask* task = NewTask(engine_, 8);
    EXPECT_NE(task, nullptr);
    tasks_.push_back(task);
    values_.insert(values_.end(), args.begin(), args.end());
    DispatchSpaceObjectCommand(module_, task, command, static_cast<int32_t>(args.size()), args.data());
    return task;
  }

  static ScriptValue Int(int32_t n) {
    ScriptValue v{};
    SetValueInt(&v, n);
    return v;
  }

  static ScriptValue Ints(std::initializer_list<int32_t> elements) {
    ScriptValue v{};
    AllocArrayValue(&v, static_cast<int32_t>(elements.size()));
    int32_t k = 0;
    for (int32_t e : elements) ArrayWriteInt(&v, k++, e);
    return v;
  }

  static std::vector<ScriptValue> IntArgs(const std::vector<int32_t>& args) {
    std::vector<ScriptValue> values;
    for (int32_t a : args) values.push_back(Int(a));
    return values;
  }

  // The integer answer; "no answer" fails the case.
  int32_t Run(int32_t command, const std::vector<int32_t>& args) {
    ScriptTask* task = RunValues(command, IntArgs(args));
    EXPECT_EQ(task->hasResult, 1) << "command " << command;
    EXPECT_EQ(task->result.type, kValueInt) << "command " << command;
    return task->result.i;
  }

  // The integer answer of a frame that holds more values than its argument count says.
  int32_t RunCounted(int32_t command, int32_t argCount, const std::vector<int32_t>& values) {
    ScriptTask* task = NewTask(engine_, 8);
    EXPECT_NE(task, nullptr);
    tasks_.push_back(task);
    std::vector<ScriptValue> args = IntArgs(values);
    DispatchSpaceObjectCommand(module_, task, command, argCount, args.data());
    return task->result.i;
  }

  // An array answer as its integers (an array of arrays as its rows one after the other).
  static std::vector<int32_t> Flatten(ScriptValue* value) {
    std::vector<int32_t> out;
    if (value->type != kValueArray) return out;
    for (int32_t k = 0; k < GetArraySize(value); ++k) {
      ScriptValue* e = ArrayElementPtr(value, k);
      if (e->type == kValueArray) {
        for (int32_t n : Flatten(e)) out.push_back(n);
      } else {
        out.push_back(e->i);
      }
    }
    return out;
  }

  // A child instance under the object's instance.
  InstanceRecord* ChildInstance(SpaceObject* o) {
    InstanceRecord* child = B3D_InstAlloc();
    EXPECT_TRUE(B3D_InstAddToInst(child, o->instance));
    return child;
  }

  // An object with its instance freed.
  SpaceObject* WithoutInstance(int32_t objClass, int32_t subtype) {
    SpaceObject* o = In(objClass, subtype, 0);
    FreeInstance(o->instance);
    o->instance = o->shownInstance = nullptr;
    return o;
  }

  // --- Frames of values run on the waiting module: the answer or the waiting. ---

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
  Reply Call(int32_t command, std::vector<ScriptValue> frame, int32_t count = -1) {
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
  std::vector<ScriptValue> values_;
  std::deque<ObjectInstance> refs_;  // stays where it is as it grows
};
