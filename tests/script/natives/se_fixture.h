// A fake calling task for the SE_ native tests: a real task record in the engine's registry
// whose arguments are placed on the top slots of its own stack, as the interpreter leaves them,
// so a native that reads past its arguments reads past the stack block (which the address
// sanitizer reports). The answer is taken from the task's result slot. Built on the bare engine
// context, whose tear-down checks that every pool counter is back to zero.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/xml_access.h"
#include "script/containers.h"
#include "script/natives/se_files.h"
#include "script/natives/se_frame.h"
#include "script/text_database.h"
#include "support/script_fixture.h"

// An argument made by the test; ScriptArgs owns what it points at.
struct Arg {
  enum Kind { kNone, kInt, kText, kDouble, kValue, kRaw } kind;
  int32_t i = 0;
  std::string text;
  double d = 0;
  const ScriptValue* value = nullptr;
};
inline Arg I(int32_t i) { return Arg{Arg::kInt, i, {}, 0, nullptr}; }
inline Arg T(const std::string& s) { return Arg{Arg::kText, 0, s, 0, nullptr}; }
inline Arg D(double d) { return Arg{Arg::kDouble, 0, {}, d, nullptr}; }
inline Arg V(const ScriptValue& v) { return Arg{Arg::kValue, 0, {}, 0, &v}; }
// The slot's bytes as they are, with no count taken: for values a copy would change.
inline Arg Raw(const ScriptValue& v) { return Arg{Arg::kRaw, 0, {}, 0, &v}; }
inline Arg None() { return Arg{Arg::kNone, 0, {}, 0, nullptr}; }

inline void MakeArg(ScriptValue* slot, const Arg& a) {
  *slot = ScriptValue{};
  switch (a.kind) {
    case Arg::kNone:
      break;
    case Arg::kInt:
      SetValueInt(slot, a.i);
      break;
    case Arg::kText:
      SetValueStringN(slot, a.text.c_str(), static_cast<int32_t>(a.text.size()));
      break;
    case Arg::kDouble:
      SetValueDouble(slot, a.d);
      break;
    case Arg::kValue:
      CopyValue(slot, a.value);
      break;
    case Arg::kRaw:
      *slot = *a.value;
      break;
  }
}

class SENativeTest : public ScriptEngineTest {
 protected:
  static void SetUpTestSuite() { InitXml(); }

  void SetUp() override {
    ScriptEngineTest::SetUp();
    task_ = NewTask(engine_, 64);
    ASSERT_NE(task_, nullptr);
  }

  void TearDown() override {
    ClearArgs();
    ReleaseValue(&answer_);
    if (task_ && FindTask(engine_, taskId())) FreeTaskQuietly(task_);
    FreeAllTexts(engine_);
    // Files and compiled expressions the natives registered go as the script's unload would.
    FreeScriptFilesAndExpressions(engine_);
    ScriptEngineTest::TearDown();
  }

  int32_t taskId() const { return taskId_ ? taskId_ : task_->id; }

  static void FreeTaskQuietly(ScriptTask* task) {
    task->callerModule = 0;
    task->sp = 0;
    FreeTask(gScriptEngine, task);
  }

  // Places the arguments on the task's stack top, calls the native and keeps its answer.
  int32_t Call(int32_t function, std::initializer_list<Arg> args) {
    return CallClaiming(function, std::vector<Arg>(args), static_cast<int32_t>(args.size()));
  }
  int32_t Call(int32_t function, const std::vector<Arg>& args) {
    return CallClaiming(function, args, static_cast<int32_t>(args.size()));
  }

  int32_t CallClaiming(int32_t function, const std::vector<Arg>& args, int32_t claimed) {
    ClearArgs();
    ReleaseValue(&answer_);
    int32_t n = static_cast<int32_t>(args.size());
    ScriptValue* base = task_->stackTop - n;
    int32_t k = 0;
    for (const Arg& a : args) MakeArg(&base[k++], a);
    task_->sp = -n;
    argCount_ = n;
    task_->hasResult = 0;
    taskId_ = task_->id;
    int32_t r = DispatchSENative(engine_, engine_->seModuleIndex, task_, function, claimed, base);
    if (!FindTask(engine_, taskId_)) {
      task_ = nullptr;  // the native ended the calling task
      return r;
    }
    answered_ = task_->hasResult != 0;
    MoveValue(&answer_, &task_->result);
    return r;
  }

  void ClearArgs() {
    if (!task_) return;
    for (int32_t k = 1; k <= argCount_; ++k) ReleaseValue(&task_->stackTop[-k]);
    argCount_ = 0;
    task_->sp = 0;
  }

  // The argument slot i of the last call (still on the stack until the next call).
  ScriptValue* ArgSlot(int32_t i) { return &task_->stackTop[-argCount_ + i]; }

  int32_t AnswerInt() const { return answer_.type == kValueInt ? answer_.i : 0x7EADBEEF; }
  std::string AnswerText() const {
    const char* text = ValueIsText(&answer_) ? GetValueString(&answer_) : nullptr;
    return text ? text : "<not a text>";
  }

  // The integer or text elements of an array answer, as texts, for comparisons.
  static std::vector<std::string> Elements(const ScriptValue* array) {
    std::vector<std::string> out;
    if (!array || array->type != kValueArray || !array->array) return out;
    int32_t n = GetArraySize(array);
    for (int32_t k = 0; k < n; ++k) {
      const ScriptValue* e = array->array->size < 0 ? nullptr : &array->array->elements[k];
      if (!e || e->type == kValueInt) out.push_back(std::to_string(e ? e->i : 0));
      else if (ValueIsText(e)) out.push_back(GetValueString(e) ? GetValueString(e) : "<null>");
      else out.push_back("<type " + std::to_string(e->type) + ">");
    }
    return out;
  }

  ScriptTask* task_ = nullptr;
  int32_t taskId_ = 0;
  int32_t argCount_ = 0;
  bool answered_ = false;
  ScriptValue answer_{};
};
