// Running assembled scripts in tests: a bare engine (ScriptEngineTest) with a recording native
// module ("T_Log" records its arguments, "T_Wait" makes the task wait, "T_Answer" answers its
// first argument, "T_Quit" ends the calling task and says so,
// "T_Vanish" ends it without saying so, as a module unaware of it would), loading from assembler text, and calling a global function as the engine's
// calls do (count, return address 0, null object) with its result caught by the module. At the
// end the script is unloaded, so the base fixture's zero-counter check covers the unload.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "asm/assembler.h"
#include "script/containers.h"
#include "script/interpreter.h"
#include "script/loader.h"
#include "support/script_fixture.h"

class ScriptRunTest : public ScriptEngineTest {
 protected:
  static inline ScriptRunTest* current_ = nullptr;
  static inline const char* const kNames[] = {"T_Log", "T_Wait", "T_Answer", "T_Quit", "T_Vanish", nullptr};

  void SetUp() override {
    ScriptEngineTest::SetUp();
    current_ = this;
    module_ = RegisterNativeModule(engine_, Dispatch, kNames, ResumeInt, ResumeString, ResumeValue);
    ASSERT_EQ(module_, 1);
  }

  void TearDown() override {
    UnloadScriptStore(engine_);
    SetScriptCodeFusion(true);
    current_ = nullptr;
    ScriptEngineTest::TearDown();
  }

  // Assembles and loads; false (with the reason in `error_`) when either step fails.
  bool Load(const std::string& text, const AsmOptions& options = AsmOptions()) {
    asm_ = Assemble(text, options);
    if (!asm_.ok) {
      error_ = asm_.error;
      return false;
    }
    return LoadScriptStoreFromMemory(engine_, "test", asm_.bytes.data(), uint32_t(asm_.bytes.size()));
  }

  static std::string Format(const ScriptValue* v) {
    char text[64];
    switch (v->type) {
      case kValueNone: return "null";
      case kValueInt: std::snprintf(text, sizeof text, "%d", v->i); return text;
      case kValuePoolString:
      case kValueString: {
        const char* s = GetValueString(v);
        return std::string("\"") + (s ? s : "") + "\"";
      }
      case kValueDouble: std::snprintf(text, sizeof text, "d%g", ValueDouble(v)); return text;
      case kValueArray: std::snprintf(text, sizeof text, "array[%d]", GetArraySize(v)); return text;
      case kValueTable: std::snprintf(text, sizeof text, "table[%d]", GetTableCount(v)); return text;
      case kValueObject: return v->object ? "object" : "null object";
      default: std::snprintf(text, sizeof text, "type%d", v->type); return text;
    }
  }

  // Starts the global function `name` with int arguments; the task is left on the run list.
  ScriptTask* Start(const char* name, const std::vector<int32_t>& args = {}) {
    const ScriptClassRecord* global = &engine_->classes[0];
    const MethodRecord* method = nullptr;
    for (uint32_t k = 0; k < global->methodCount; ++k)
      if (std::strcmp(SB_String(engine_, global->methods[k].name), name) == 0) method = &global->methods[k];
    if (!method) return nullptr;
    ScriptTask* task = NewTask(engine_, int32_t(method->frameSize + method->paramCount + 7));
    if (!task) return nullptr;
    ScriptValue* top = task->stackTop;
    for (size_t k = args.size(); k-- > 0;) SetValueInt(--top, args[k]);
    SetValueInt(--top, int32_t(args.size()));
    SetValueCodeAddress(--top, 0);
    --top;
    top->type = kValueObject;
    top->object = nullptr;
    task->sp = int32_t(top - task->stackTop);
    task->pc = method->codeOffset;
    task->thisObject = &engine_->classes[0];
    task->callerModule = module_;
    task->resultKind = kResultValue;
    task->cookie = 1;
    StartTask(engine_, task);
    return task;
  }

  // Runs passes over the run list until it is empty (or a pass limit is reached).
  void RunAll(int passes = 100) {
    for (int k = 0; k < passes && !TaskListIsEmpty(&engine_->runList); ++k) RunTaskPass(engine_, ExecuteByteCode);
  }

  // Calls a function to its end and gives its result as Format writes it ("none" when nobody
  // answered).
  std::string Call(const char* name, const std::vector<int32_t>& args = {}) {
    results_.clear();
    if (!Start(name, args)) return "no such function";
    RunAll();
    return results_.empty() ? "none" : results_.back();
  }

  static int32_t Dispatch(int32_t, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
    ScriptRunTest* self = current_;
    switch (function) {
      case 0: {
        std::string line;
        for (int32_t k = 0; k < argCount; ++k) line += (k ? "," : "") + Format(&args[k]);
        self->log_.push_back(line);
        ReturnInt(task, self->engine_, argCount);
        return 1;
      }
      case 1:
        self->waiting_.push_back(task->id);
        return 1;
      case 2:
        if (argCount > 0) {
          ScriptValue copy{};
          CopyValue(&copy, &args[0]);
          ReturnValue(task, self->engine_, &copy);
        } else {
          ReturnInt(task, self->engine_, 0);
        }
        return 1;
      case 3:
        EndTask(self->engine_, task);
        return 0;
      case 4:
        EndTask(self->engine_, task);
        return 1;
      default:
        return 1;
    }
  }
  static int32_t ResumeInt(uint32_t cookie, int32_t value) {
    current_->resumed_.emplace_back(cookie, value);
    current_->results_.push_back(std::to_string(value));
    return 0;
  }
  static void ResumeString(uint32_t, const char* text) { current_->results_.push_back(text ? text : "(null)"); }
  static void ResumeValue(uint32_t, ScriptValue* value) { current_->results_.push_back(Format(value)); }

  int32_t module_ = 0;
  AsmResult asm_;
  std::string error_;
  std::vector<std::string> log_;
  std::vector<std::string> results_;
  std::vector<int32_t> waiting_;
  // Every integer answer with its cookie, in order.
  std::vector<std::pair<uint32_t, int32_t>> resumed_;
};
