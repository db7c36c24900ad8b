// Tasks and the native-module protocol: the task record with its value stack, the engine's run
// and wait lists, the per-frame pass over the run list, the two ways a task ends, the 32-row
// native-module table, and the answer/wait/resume exchange between the interpreter, a module's
// dispatcher and the module's resume callbacks. Called by the interpreter, the calls into
// scripts, the timers and every native module. A task answers its caller module exactly once;
// nothing here may index the module table outside its 32 rows.
#pragma once

#include <cstdint>

#include "script/value.h"

struct ScriptEngine;

// Links of the run and wait lists. A list has two sentinels: its head node (pred always null)
// and its tail node (succ always null). A node is a real task when its succ is not null, and a
// task is first on its list when its pred's pred is null.
struct TaskNode {
  TaskNode* succ;
  TaskNode* pred;
};

struct TaskList {
  TaskNode head;  // head.succ: first node; head.pred: null
  TaskNode tail;  // tail.succ: null; tail.pred: last node
};

enum TaskState : uint16_t { kTaskNew = 0, kTaskReady = 1, kTaskWaiting = 2 };
enum TaskResultKind : uint16_t { kResultNone = 0, kResultInt = 1, kResultString = 2, kResultValue = 3 };

struct ScriptTask : TaskNode {
  int32_t id;
  uint32_t stackSize;       // slots, a multiple of 32
  ScriptValue* stackTop;    // just past the last slot; the stack grows toward lower addresses
  int32_t sp;               // top slot is stackTop[sp]; 0 means empty
  uint32_t pc;
  uint16_t hasResult;
  uint16_t argCount;
  ScriptValue* args;        // argument i is args[i]
  ScriptValue result;
  int32_t callerModule;     // 0: nobody waits for the answer
  uint32_t cookie;
  uint16_t resultKind;
  uint16_t state;
  ObjectInstance* thisObject;
};

inline ScriptValue* TaskTopSlot(ScriptTask* task) { return task->stackTop + task->sp; }

using NativeDispatcher = int32_t (*)(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount,
                                     ScriptValue* args);
using ResumeIntCallback = int32_t (*)(uint32_t cookie, int32_t value);
using ResumeStringCallback = void (*)(uint32_t cookie, const char* text);
using ResumeValueCallback = void (*)(uint32_t cookie, ScriptValue* value);

struct NativeModuleRow {
  NativeDispatcher dispatcher;
  ResumeIntCallback resumeInt;
  ResumeStringCallback resumeString;
  ResumeValueCallback resumeValue;
  const char* const* names;  // null-terminated; index = function number
  uint32_t reserved;
};

constexpr int32_t kModuleRowCount = 32;
constexpr uint32_t kTaskStackStep = 32;
constexpr uint32_t kTaskStackLimit = 16384;
// No single request may ask for more than this many slots: larger ones can only come from a
// corrupt frame size, and refusing them keeps every stack size far from overflow.
constexpr uint32_t kTaskStackLargestRequest = 2 * kTaskStackLimit;

// Lists.
void TaskListInit(TaskList* list);
bool TaskListIsEmpty(const TaskList* list);
ScriptTask* TaskListFirst(const TaskList* list);  // null when empty
void TaskListAddTail(TaskList* list, ScriptTask* task);
void TaskListAddHead(TaskList* list, ScriptTask* task);
void TaskUnlink(ScriptTask* task);
inline bool TaskNodeIsReal(const TaskNode* node) { return node && node->succ != nullptr; }

// Module table. Returns the row's index, or 0 (no module) when all 32 rows are taken.
int32_t RegisterNativeModule(ScriptEngine* engine, NativeDispatcher dispatcher, const char* const* names,
                             ResumeIntCallback resumeInt, ResumeStringCallback resumeString,
                             ResumeValueCallback resumeValue);

// Task life.
ScriptTask* NewTask(ScriptEngine* engine, int32_t slotsNeeded);
bool GrowTaskStack(ScriptEngine* engine, ScriptTask* task, int32_t slotsNeeded, ScriptValue** top);
void StartTask(ScriptEngine* engine, ScriptTask* task);      // ready, at the tail of the run list
void MakeTaskWait(ScriptEngine* engine, ScriptTask* task);   // waiting, at the tail of the wait list
void AdjustCurrentTask(ScriptEngine* engine, ScriptTask* task);
void FreeTask(ScriptEngine* engine, ScriptTask* task);
void EndTask(ScriptEngine* engine, ScriptTask* task);
void KillTaskById(ScriptEngine* engine, int32_t id);
void EndObjectTasks(ScriptEngine* engine, const ObjectInstance* object);
ScriptTask* FindTask(const ScriptEngine* engine, int32_t id);

// One pass over the run list: `run` plays the interpreter (1: go on, 0: stop the pass).
// RunScriptTasks is this pass over the global engine with the byte-code interpreter.
using TaskRunner = int32_t (*)(ScriptEngine* engine, ScriptTask* task);
void RunTaskPass(ScriptEngine* engine, TaskRunner run);
void RunScriptTasks();

// Answering a native call at once.
void ReturnInt(ScriptTask* task, ScriptEngine* engine, int32_t value);
void ReturnIntToTask(ScriptTask* task, int32_t value);
void ReturnString(ScriptTask* task, ScriptEngine* engine, const char* text);
void ReturnStringN(ScriptTask* task, ScriptEngine* engine, const char* text, int32_t length);
void ReturnValue(ScriptTask* task, ScriptEngine* engine, ScriptValue* value);
void FinishNativeCall(ScriptTask* task, ScriptEngine* engine);

// Waking: a module hands an answer for a (module, cookie) pair it kept.
void ModuleResumeInt(int32_t module, int32_t value, uint32_t cookie);
void ModuleResumeString(int32_t module, const char* text, uint32_t cookie);
void ModuleResumeValue(int32_t module, ScriptValue* value, uint32_t cookie);
void ResumeCallerOnFailure(uint16_t resultKind, uint32_t cookie, int32_t module);

// The SE_ module's resume callbacks: the cookie is a task id.
int32_t SEResumeInt(uint32_t cookie, int32_t value);
void SEResumeString(uint32_t cookie, const char* text);
void SEResumeValue(uint32_t cookie, ScriptValue* value);
