// The timer module: a pool of timer nodes with a heap fallback, the timed and immediate lists,
// the per-frame dispatch with the damping of the second time scale, and the TI_ natives. A node
// is always unlinked before its waiter is woken, and every pass gathers its nodes before it
// wakes anybody, so a resume callback that adds or interrupts timers never breaks a walk; a
// native reads only the arguments it was given.
#include "script/timers.h"

#include "app/general_init.h"
#include "core/clock.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "script/engine.h"

TimerState* gTimerState = nullptr;

const char* const kTINativeNames[] = {
    "TI_Delay",
    "TI_DelayRandom",
    "TI_GetAbsTime",
    "TI_CmpTime",
    "TI_WaitForStart",
    "TI_WaitForInterrupt",
    "TI_WaitRandomForInterrupt",
    "TI_Interrupt",
    "TI_GetLastFrameDelay",
    "TI_SetTimeWarpFactor",
    "TI_GetTimeWarpFactor",
    "TI_GetTimeWarpMultiplier",
    "TI_AddTime",
    "TI_SetAbsTime",
    "TI_GetRealTime",
    "TI_ReadSystemClock",
    nullptr,
};

namespace {

constexpr uint32_t kFixedOne = 0x10000;
constexpr uint32_t kDampDown = 45875;   // 0.7
constexpr uint32_t kDampUp = 78643;     // 1.2
constexpr uint32_t kDampFloor = 19660;  // 0.3
constexpr int32_t kCrowdedCount = 1000;
constexpr int32_t kCalmCount = 200;

// Time scale seen by the previous dispatch.
uint32_t gPreviousTimeScale = kFixedOne;

void ListInit(TimerList* list) {
  list->head.succ = &list->tail;
  list->head.pred = nullptr;
  list->tail.succ = nullptr;
  list->tail.pred = &list->head;
}

void ListAddTail(TimerList* list, TimerLink* node) {
  node->succ = &list->tail;
  node->pred = list->tail.pred;
  list->tail.pred->succ = node;
  list->tail.pred = node;
}

void Unlink(TimerLink* node) {
  node->pred->succ = node->succ;
  node->succ->pred = node->pred;
  node->succ = nullptr;
  node->pred = nullptr;
}

TimerNode* ListFirst(const TimerList* list) {
  TimerLink* first = list->head.succ;
  return first->succ ? static_cast<TimerNode*>(first) : nullptr;
}

TimerNode* Next(const TimerNode* node) {
  TimerLink* next = node->succ;
  return next && next->succ ? static_cast<TimerNode*>(next) : nullptr;
}

// Completes the waiter's call through its module; without a loaded script, a module row or a
// callback the wake-up is dropped.
void Wake(int32_t module, uint32_t cookie, int32_t value) { ModuleResumeInt(module, value, cookie); }

void RetireAll(TimerState* state, TimerList* list, bool wake) {
  while (TimerNode* node = ListFirst(list)) {
    Unlink(node);
    if (wake) Wake(node->module, node->cookie, 0);
    FreeTimerNode(state, node);
  }
}

// Moves every node of `from` to the tail of `to`, in order.
void TakeAll(TimerList* from, TimerList* to) {
  while (TimerNode* node = ListFirst(from)) {
    Unlink(node);
    ListAddTail(to, node);
  }
}

uint32_t MulFixedRound(uint32_t a, uint32_t b) { return uint32_t((uint64_t(a) * b + 0x8000) >> 16); }

void DampSecondTimeScale(int32_t count) {
  uint32_t scale = gSystem->timeScale;
  uint32_t second = gSystem->secondTimeScale;
  if (scale < gPreviousTimeScale) {
    second = kFixedOne;
  } else {
    if (count > kCrowdedCount) {
      second = MulFixedRound(second, kDampDown);
      if (second < kDampFloor) second = kDampFloor;
    }
    if (count < kCalmCount && second < kFixedOne) {
      second = MulFixedRound(second, kDampUp);
      if (second > kFixedOne) second = kFixedOne;
    }
  }
  gSystem->secondTimeScale = second;
  gPreviousTimeScale = scale;
}

int32_t Arg(const ScriptValue* args, int32_t argCount, int32_t k) { return k < argCount ? args[k].i : 0; }

// The delay plus a random extra below `range`, as the random waits draw it.
int32_t RandomDelay(int32_t ms, int32_t range) {
  return range > 0 ? int32_t(uint32_t(ms) + uint32_t(RandomBelow(range))) : ms;
}

}  // namespace

TimerState* InitTimerModule(TimerState* state) {
  InitClock();
  if (!state) return nullptr;
  ListInit(&state->timed);
  ListInit(&state->immediate);
  ListInit(&state->freeList);
  state->flags = 0;
  for (int32_t k = 0; k < kTimerPoolSize; ++k) {
    state->pool[k] = TimerNode{};
    ListAddTail(&state->freeList, &state->pool[k]);
  }
  state->freeCount = kTimerPoolSize;
  gPreviousTimeScale = kFixedOne;
  state->moduleIndex = RegisterNativeModule(gScriptEngine, TI_Dispatch, kTINativeNames, nullptr, nullptr, nullptr);
  gTimerState = state;
  return state;
}

int32_t TI_Dispatch(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  return DispatchTINative(gTimerState, seModuleIndex, task, function, argCount, args);
}

TimerNode* AllocTimerNode(TimerState* state) {
  if (state->freeCount > 0) {
    TimerNode* node = ListFirst(&state->freeList);
    if (node) {
      Unlink(node);
      --state->freeCount;
      *node = TimerNode{};
      node->flags = kTimerNodePooled;
      return node;
    }
  }
  // MemCalloc retries once after the low-memory hook.
  TimerNode* node = static_cast<TimerNode*>(MemCalloc(sizeof(TimerNode)));
  if (node) *node = TimerNode{};
  return node;
}

void FreeTimerNode(TimerState* state, TimerNode* node) {
  if (node->flags & kTimerNodePooled) {
    ListAddTail(&state->freeList, node);
    ++state->freeCount;
  } else {
    MemFreeIfSet(node);
  }
}

TimerNode* AddTimedNode(int32_t delay, int32_t module, uint32_t cookie, TimerState* state) {
  int16_t jitter = int16_t(delay < 4096 ? delay / 16 + 1 : 256);
  int32_t extra = jitter > 0 ? int32_t(jitter) * GameRand() / 32768 : 0;
  TimerNode* node = state ? AllocTimerNode(state) : nullptr;
  if (!node) {
    Wake(module, cookie, 0);
    return nullptr;
  }
  node->module = int16_t(module);
  node->cookie = cookie;
  uint32_t now = gSystem ? gSystem->gameTime : 0;
  node->dueTime = now + uint32_t(delay) + uint32_t(extra);
  ListAddTail(&state->timed, node);
  return node;
}

TimerNode* AddImmediateNode(uint32_t cookie, int32_t module, TimerState* state) {
  TimerNode* node = state ? AllocTimerNode(state) : nullptr;
  if (!node) {
    Wake(module, cookie, 0);
    return nullptr;
  }
  node->module = int16_t(module);
  node->cookie = cookie;
  ListAddTail(&state->immediate, node);
  return node;
}

TimerNode* AddInterruptibleNode(uint32_t cookie, int32_t delay, int32_t module, int32_t id) {
  TimerNode* node = AddTimedNode(delay, module, cookie, gTimerState);
  if (node) {
    node->flags |= kTimerNodeInterruptible;
    node->interruptId = id;
  }
  return node;
}

void InterruptTimers(int32_t id) {
  TimerState* state = gTimerState;
  if (!state) return;
  uint32_t now = gSystem ? gSystem->gameTime : 0;
  // The matching nodes leave the list before anybody is woken: a resume callback that touches
  // the timers again cannot pull a node out from under this walk.
  TimerList woken;
  ListInit(&woken);
  TimerNode* node = ListFirst(&state->timed);
  while (node) {
    TimerNode* next = Next(node);
    if ((node->flags & kTimerNodeInterruptible) && node->interruptId == id) {
      Unlink(node);
      ListAddTail(&woken, node);
    }
    node = next;
  }
  while (TimerNode* due = ListFirst(&woken)) {
    Unlink(due);
    Wake(due->module, due->cookie, int32_t(due->dueTime - now));
    FreeTimerNode(state, due);
  }
}

void DispatchTimerEvents() {
  UpdateFrameTimes();
  TimerState* state = gTimerState;
  if (!state || !gSystem) return;
  uint32_t now = gSystem->gameTime;
  if (!(state->flags & kTimerHoldImmediate)) {
    // Only the nodes waiting when the pass began: a wake-up that queues a new immediate wait
    // is served by the next frame.
    TimerList pending;
    ListInit(&pending);
    TakeAll(&state->immediate, &pending);
    RetireAll(state, &pending, true);
  }
  int32_t window = int32_t((uint64_t(gSystem->timeScale) * 40 + 32768) >> 16);
  int32_t crowded = 0;
  TimerList due;
  ListInit(&due);
  TimerNode* node = ListFirst(&state->timed);
  while (node) {
    TimerNode* next = Next(node);
    int32_t d = int32_t(node->dueTime - now);
    if (d <= 0) {
      Unlink(node);
      ListAddTail(&due, node);
    } else if (d < window) {
      ++crowded;
    }
    node = next;
  }
  RetireAll(state, &due, true);
  DampSecondTimeScale(crowded);
}

void FlushTimerEvents() {
  TimerState* state = gTimerState;
  if (!state) return;
  // The waiters of this moment: one whose wake-up makes it wait again stays for later.
  TimerList pending;
  ListInit(&pending);
  TakeAll(&state->immediate, &pending);
  TakeAll(&state->timed, &pending);
  RetireAll(state, &pending, true);
}

void ClearTimerEvents(TimerState* state) {
  if (!state) return;
  RetireAll(state, &state->timed, false);
  RetireAll(state, &state->immediate, false);
}

TimerNode* FirstTimedNode(const TimerState* state) { return state ? ListFirst(&state->timed) : nullptr; }
TimerNode* NextTimedNode(const TimerNode* node) { return node ? Next(node) : nullptr; }
void AppendTimedNode(TimerState* state, TimerNode* node) { ListAddTail(&state->timed, node); }

int32_t DispatchTINative(TimerState* state, int32_t seModuleIndex, ScriptTask* task, int32_t function,
                         int32_t argCount, ScriptValue* args) {
  ScriptEngine* engine = gScriptEngine;
  if (!state || !gSystem) {
    ReturnInt(task, engine, 0);
    return 1;
  }
  int32_t a0 = Arg(args, argCount, 0);
  int32_t a1 = Arg(args, argCount, 1);
  int32_t a2 = Arg(args, argCount, 2);
  uint32_t cookie = uint32_t(task->id);
  switch (function) {
    case 0:
      AddTimedNode(argCount == 2 ? int32_t(uint32_t(a0) * 1000u + uint32_t(a1)) : a0, seModuleIndex, cookie, state);
      return 1;
    case 1:
      AddTimedNode(RandomDelay(a0, a1), seModuleIndex, cookie, state);
      return 1;
    case 2:
      ReturnInt(task, engine, int32_t(gSystem->gameTime));
      return 1;
    case 3:
      ReturnInt(task, engine, int32_t(uint32_t(a0) - uint32_t(a1)));
      return 1;
    case 4:
      AddImmediateNode(cookie, seModuleIndex, state);
      return 1;
    case 5:
      AddInterruptibleNode(cookie, a0, seModuleIndex, a1);
      return 1;
    case 6:
      AddInterruptibleNode(cookie, RandomDelay(a0, a1), seModuleIndex, a2);
      return 1;
    case 7:
      InterruptTimers(a0);
      ReturnInt(task, engine, 0);
      return 1;
    case 8:
      ReturnInt(task, engine, int32_t(gSystem->frameStep));
      return 1;
    case 9:
      gSystem->timeScale = uint32_t(a0);
      ReturnInt(task, engine, 1);
      return 1;
    case 10:
      ReturnInt(task, engine, int32_t(gSystem->timeScale));
      return 1;
    case 11:
      ReturnInt(task, engine, int32_t(gSystem->secondTimeScale));
      return 1;
    case 12:
      ReturnInt(task, engine, int32_t(uint32_t(a0) + uint32_t(a1)));
      return 1;
    case 13:
      gSystem->frameStep = 0;
      gSystem->gameTime = uint32_t(a0);
      ReturnInt(task, engine, a0);
      return 1;
    case 14:
      ReturnInt(task, engine, int32_t(gSystem->realTime));
      return 1;
    case 15:
      ReturnInt(task, engine, int32_t(GetMilliseconds()));
      return 1;
    default:
      ReturnInt(task, engine, 0);
      return 1;
  }
}
