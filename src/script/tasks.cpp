// Tasks, the run and wait lists, the module table and the native-call protocol. A task is
// detached from its list and its registry before it answers its caller module, so nothing a
// resume callback does can reach a half-ended task; the module table never grows past its 32
// rows, and no stack request, however large, can overflow a size computation.
#include "script/tasks.h"

#include <initializer_list>

#include "core/hash_table.h"
#include "script/containers.h"
#include "script/engine.h"

// ---------------------------------------------------------------------------------------------
// Lists

void TaskListInit(TaskList* list) {
  list->head.succ = &list->tail;
  list->head.pred = nullptr;
  list->tail.succ = nullptr;
  list->tail.pred = &list->head;
}

bool TaskListIsEmpty(const TaskList* list) { return list->head.succ == &list->tail; }

ScriptTask* TaskListFirst(const TaskList* list) {
  return TaskListIsEmpty(list) ? nullptr : static_cast<ScriptTask*>(list->head.succ);
}

void TaskListAddTail(TaskList* list, ScriptTask* task) {
  task->succ = &list->tail;
  task->pred = list->tail.pred;
  list->tail.pred->succ = task;
  list->tail.pred = task;
}

void TaskListAddHead(TaskList* list, ScriptTask* task) {
  task->succ = list->head.succ;
  task->pred = &list->head;
  list->head.succ->pred = task;
  list->head.succ = task;
}

void TaskUnlink(ScriptTask* task) {
  if (task->succ && task->pred) {
    task->pred->succ = task->succ;
    task->succ->pred = task->pred;
  }
  task->succ = nullptr;
  task->pred = nullptr;
}

static ScriptTask* RealTask(TaskNode* node) {
  return TaskNodeIsReal(node) ? static_cast<ScriptTask*>(node) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Module table

int32_t RegisterNativeModule(ScriptEngine* engine, NativeDispatcher dispatcher, const char* const* names,
                             ResumeIntCallback resumeInt, ResumeStringCallback resumeString,
                             ResumeValueCallback resumeValue) {
  if (!engine || engine->moduleCount < 1 || engine->moduleCount >= kModuleRowCount) return 0;
  int32_t index = engine->moduleCount++;
  engine->modules[index] = NativeModuleRow{dispatcher, resumeInt, resumeString, resumeValue, names, 0};
  return index;
}

// ---------------------------------------------------------------------------------------------
// Task life

ScriptTask* NewTask(ScriptEngine* engine, int32_t slotsNeeded) {
  if (!engine || !engine->tasks) return nullptr;
  if (slotsNeeded > static_cast<int32_t>(kTaskStackLargestRequest)) return nullptr;
  uint32_t slots = slotsNeeded <= static_cast<int32_t>(kTaskStackStep)
                       ? kTaskStackStep
                       : (static_cast<uint32_t>(slotsNeeded) + kTaskStackStep - 1) / kTaskStackStep * kTaskStackStep;
  ScriptTask* task =
      static_cast<ScriptTask*>(PoolAllocRecord(sizeof(ScriptTask), kNominalTaskSize, kPoolTask, engine));
  if (!task) return nullptr;
  task->id = static_cast<int32_t>(HashInsertNewKey(engine->tasks, reinterpret_cast<HashValue>(task)));
  ScriptValue* stack = PoolAllocArray<ScriptValue>(slots, kNominalValueSize, kPoolStack, engine);
  if (!stack || task->id == 0) {
    // A half-made task is taken back whole: callers see a plain failure.
    if (task->id) HashRemove(engine->tasks, static_cast<uint32_t>(task->id));
    PoolFree(kPoolStack, stack, engine, slots * kNominalValueSize);
    PoolFree(kPoolTask, task, engine, kNominalTaskSize);
    return nullptr;
  }
  task->stackSize = slots;
  task->stackTop = stack + slots;
  task->sp = 0;
  return task;
}

bool GrowTaskStack(ScriptEngine* engine, ScriptTask* task, int32_t slotsNeeded, ScriptValue** top) {
  if (task->stackSize >= kTaskStackLimit) return false;
  if (slotsNeeded < 0 || slotsNeeded > static_cast<int32_t>(kTaskStackLargestRequest)) return false;
  int32_t oldSize = static_cast<int32_t>(task->stackSize);
  int32_t newSize = oldSize + ((slotsNeeded - oldSize - 1) / 32) * 32 + 32;
  if (newSize <= oldSize) newSize = oldSize + static_cast<int32_t>(kTaskStackStep);
  ScriptValue* stack =
      PoolAllocArray<ScriptValue>(static_cast<uint32_t>(newSize), kNominalValueSize, kPoolStack, engine);
  if (!stack) return false;
  ScriptValue* oldTop = task->stackTop;
  ScriptValue* oldBase = oldTop - oldSize;
  ScriptValue* newTop = stack + newSize;
  // The bottom slots keep their distance from stackTop, so every index stays valid.
  for (int32_t k = 1; k <= oldSize; ++k) newTop[-k] = oldTop[-k];
  if (top && *top) *top = newTop + (*top - oldTop);
  if (task->args && task->args >= oldBase && task->args < oldTop) task->args = newTop + (task->args - oldTop);
  PoolFree(kPoolStack, oldBase, engine, static_cast<uint32_t>(oldSize) * kNominalValueSize);
  task->stackSize = static_cast<uint32_t>(newSize);
  task->stackTop = newTop;
  return true;
}

void StartTask(ScriptEngine* engine, ScriptTask* task) {
  TaskUnlink(task);
  task->state = kTaskReady;
  TaskListAddTail(&engine->runList, task);
}

void MakeTaskWait(ScriptEngine* engine, ScriptTask* task) {
  AdjustCurrentTask(engine, task);
  TaskUnlink(task);
  task->state = kTaskWaiting;
  TaskListAddTail(&engine->waitList, task);
}

void AdjustCurrentTask(ScriptEngine* engine, ScriptTask* task) {
  if (engine->currentTask != task) return;
  engine->currentTask = task->pred && task->pred->pred ? static_cast<ScriptTask*>(task->pred) : nullptr;
}

ScriptTask* FindTask(const ScriptEngine* engine, int32_t id) {
  if (!engine || !engine->tasks || id <= 0) return nullptr;
  return reinterpret_cast<ScriptTask*>(HashGet(engine->tasks, static_cast<uint32_t>(id)));
}

// First half of every end: no list, no registry entry, not current.
static void DetachTask(ScriptEngine* engine, ScriptTask* task) {
  AdjustCurrentTask(engine, task);
  TaskUnlink(task);
  HashRemove(engine->tasks, static_cast<uint32_t>(task->id));
}

// Second half: the stack's values, the stack, the answer slot and the record.
static void DisposeTask(ScriptEngine* engine, ScriptTask* task) {
  if (task->stackTop) {
    int32_t sp = task->sp;
    if (sp < -static_cast<int32_t>(task->stackSize)) sp = -static_cast<int32_t>(task->stackSize);
    for (int32_t k = sp; k < 0; ++k) ReleaseValue(&task->stackTop[k]);
    PoolFree(kPoolStack, task->stackTop - task->stackSize, engine, task->stackSize * kNominalValueSize);
  }
  ReleaseValue(&task->result);
  PoolFree(kPoolTask, task, engine, kNominalTaskSize);
}

void FreeTask(ScriptEngine* engine, ScriptTask* task) {
  DetachTask(engine, task);
  ScriptValue* top = task->sp < 0 && task->stackTop ? TaskTopSlot(task) : nullptr;
  if (task->callerModule != 0) {
    switch (task->resultKind) {
      case kResultInt:
        ModuleResumeInt(task->callerModule, top && top->type == kValueInt ? top->i : 0, task->cookie);
        break;
      case kResultString:
        ModuleResumeString(task->callerModule, top && ValueIsText(top) ? GetValueString(top) : nullptr,
                           task->cookie);
        break;
      case kResultValue:
        if (top) {
          ModuleResumeValue(task->callerModule, top, task->cookie);
        } else {
          ScriptValue zero{};
          SetValueInt(&zero, 0);
          ModuleResumeValue(task->callerModule, &zero, task->cookie);
        }
        break;
      default:
        break;
    }
  }
  if (top) ReleaseValue(top);
  DisposeTask(engine, task);
}

void EndTask(ScriptEngine* engine, ScriptTask* task) {
  DetachTask(engine, task);
  if (task->callerModule != 0) ResumeCallerOnFailure(task->resultKind, task->cookie, task->callerModule);
  DisposeTask(engine, task);
}

void KillTaskById(ScriptEngine* engine, int32_t id) {
  ScriptTask* task = FindTask(engine, id);
  if (task) EndTask(engine, task);
}

// The first task on the list running a method of `object`, or null.
static ScriptTask* FindObjectTask(const TaskList* list, const ObjectInstance* object) {
  for (TaskNode* node = list->head.succ; TaskNodeIsReal(node); node = node->succ) {
    ScriptTask* task = static_cast<ScriptTask*>(node);
    if (task->thisObject == object) return task;
  }
  return nullptr;
}

void EndObjectTasks(ScriptEngine* engine, const ObjectInstance* object) {
  // Each search starts over from the head: an ended task's answer may end or move its
  // neighbours, so no node is trusted across an EndTask.
  for (TaskList* list : {&engine->runList, &engine->waitList}) {
    while (ScriptTask* task = FindObjectTask(list, object)) EndTask(engine, task);
  }
}

void RunTaskPass(ScriptEngine* engine, TaskRunner run) {
  if (!engine) return;
  engine->currentTask = RealTask(engine->runList.head.succ);
  while (engine->currentTask) {
    if (run(engine, engine->currentTask) == 0) return;
    // A task that yielded or ended has already moved the pointer back to its predecessor, or
    // to null when it was first: then the pass goes on from the head.
    ScriptTask* current = engine->currentTask;
    engine->currentTask = RealTask(current ? current->succ : engine->runList.head.succ);
  }
}

// ---------------------------------------------------------------------------------------------
// Answers

void ReturnInt(ScriptTask* task, ScriptEngine* engine, int32_t value) {
  task->hasResult = 1;
  SetValueInt(&task->result, value);
  FinishNativeCall(task, engine);
}

void ReturnIntToTask(ScriptTask* task, int32_t value) { ReturnInt(task, gScriptEngine, value); }

void ReturnString(ScriptTask* task, ScriptEngine* engine, const char* text) {
  task->hasResult = 1;
  SetValueString(&task->result, text);
  FinishNativeCall(task, engine);
}

void ReturnStringN(ScriptTask* task, ScriptEngine* engine, const char* text, int32_t length) {
  task->hasResult = 1;
  SetValueStringN(&task->result, text, length);
  FinishNativeCall(task, engine);
}

void ReturnValue(ScriptTask* task, ScriptEngine* engine, ScriptValue* value) {
  task->hasResult = 1;
  if (value != &task->result) {
    ReleaseValue(&task->result);
    MoveValue(&task->result, value);
  }
  FinishNativeCall(task, engine);
}

void FinishNativeCall(ScriptTask* task, ScriptEngine* engine) {
  if (!task || task->state != kTaskWaiting) return;
  if (!engine) engine = gScriptEngine;
  if (task->sp < 0) {
    ScriptValue* top = TaskTopSlot(task);
    int32_t count = static_cast<int16_t>(top->u & 0xFFFF);
    // A corrupt count never moves sp below the stack's bottom slot or above its top.
    int32_t depth = -task->sp;
    if (count < 0) count = 0;
    if (count > depth - 1) count = depth - 1;
    for (int32_t k = 0; k < count; ++k) ReleaseValue(&top[k]);
    task->sp += count;
    ScriptValue* slot = TaskTopSlot(task);
    ReleaseValue(slot);
    MoveValue(slot, &task->result);
  } else {
    ReleaseValue(&task->result);
  }
  task->state = kTaskReady;
  TaskUnlink(task);
  TaskListAddHead(&engine->runList, task);
}

// ---------------------------------------------------------------------------------------------
// Waking

static const NativeModuleRow* ResumableRow(int32_t module) {
  ScriptEngine* engine = gScriptEngine;
  if (!ScriptIsLoaded(engine) || module < 0 || module >= kModuleRowCount) return nullptr;
  return &engine->modules[module];
}

void ModuleResumeInt(int32_t module, int32_t value, uint32_t cookie) {
  const NativeModuleRow* row = ResumableRow(module);
  if (row && row->resumeInt) row->resumeInt(cookie, value);
}

void ModuleResumeString(int32_t module, const char* text, uint32_t cookie) {
  const NativeModuleRow* row = ResumableRow(module);
  if (row && row->resumeString) row->resumeString(cookie, text);
}

void ModuleResumeValue(int32_t module, ScriptValue* value, uint32_t cookie) {
  const NativeModuleRow* row = ResumableRow(module);
  if (row && row->resumeValue) row->resumeValue(cookie, value);
}

void ResumeCallerOnFailure(uint16_t resultKind, uint32_t cookie, int32_t module) {
  switch (resultKind) {
    case kResultString:
      ModuleResumeString(module, nullptr, cookie);
      break;
    case kResultValue: {
      ScriptValue zero{};
      SetValueInt(&zero, 0);
      ModuleResumeValue(module, &zero, cookie);
      ReleaseValue(&zero);
      break;
    }
    default:
      ModuleResumeInt(module, 0, cookie);
      break;
  }
}

int32_t SEResumeInt(uint32_t cookie, int32_t value) {
  ScriptTask* task = FindTask(gScriptEngine, static_cast<int32_t>(cookie));
  if (!task) return 0;
  task->hasResult = 1;
  SetValueInt(&task->result, value);
  FinishNativeCall(task, gScriptEngine);
  return 0;
}

void SEResumeString(uint32_t cookie, const char* text) {
  ScriptTask* task = FindTask(gScriptEngine, static_cast<int32_t>(cookie));
  if (!task) return;
  task->hasResult = 1;
  SetValueString(&task->result, text);
  FinishNativeCall(task, gScriptEngine);
}

void SEResumeValue(uint32_t cookie, ScriptValue* value) {
  ScriptTask* task = FindTask(gScriptEngine, static_cast<int32_t>(cookie));
  if (!task) return;
  task->hasResult = 1;
  CopyValue(&task->result, value);
  FinishNativeCall(task, gScriptEngine);
}
