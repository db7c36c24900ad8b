// The world of the object command tests: the contact world (a simulated sector, objects with
// scene instances, the scene engine's tables) with SA_ commands run through the dispatcher on a
// task of their own, with integer arguments or hand-made argument values, and the answer read
// back as an integer or an array. Every task and answer is freed with the case.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "contact_world.h"

#include "scene/instance.h"
#include "script/containers.h"
#include "script/tasks.h"
#include "simulation/commands/sa_call.h"
#include "simulation/commands/sa_module.h"

class CommandWorld : public ContactWorld {
 protected:
  // An id no object has.
  static constexpr int32_t kMissing = 99999;

  void TearDown() override {
    for (ScriptTask* task : tasks_) {
      ReleaseValue(&task->result);
      FreeTask(engine_, task);
    }
    for (ScriptValue& v : values_) ReleaseValue(&v);
    ContactWorld::TearDown();
  }

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

  std::vector<ScriptTask*> tasks_;
  std::vector<ScriptValue> values_;
};
