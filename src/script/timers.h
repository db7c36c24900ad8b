// The timer module (TI_ natives): scripts wait a number of game milliseconds, until the next
// frame or until another script interrupts them, and read or set the game clock and the time
// scale. Waiting tasks sit on two lists of timer nodes that DispatchTimerEvents wakes between
// frames, damping the second time scale when too many timers crowd one frame. Called by the game
// main (creation), the game loop (dispatch), the reset of the script systems (flush), the
// save-game container (the timed list) and the shutdown (clear). A wake-up only completes a
// native call; nothing here runs a task.
#pragma once

#include <cstdint>

#include "script/tasks.h"
#include "script/value.h"

struct TimerLink {
  TimerLink* succ;
  TimerLink* pred;
};

// A node is real when its succ is not null; the head sentinel's pred and the tail sentinel's
// succ are null.
struct TimerList {
  TimerLink head;
  TimerLink tail;
};

constexpr uint16_t kTimerNodePooled = 0x2;
constexpr uint16_t kTimerNodeInterruptible = 0x4;

struct TimerNode : TimerLink {
  int16_t module;   // row whose integer resume callback wakes the waiter
  uint16_t flags;
  uint32_t cookie;  // the waiting task's id
  uint32_t dueTime; // game time in ms
  int32_t interruptId;
};

constexpr int32_t kTimerPoolSize = 5000;
constexpr uint32_t kTimerHoldImmediate = 0x1;

struct TimerState {
  TimerList timed;
  TimerList immediate;
  uint32_t flags;
  TimerNode pool[kTimerPoolSize];
  TimerList freeList;
  int32_t freeCount;
  int32_t moduleIndex;
};

extern TimerState* gTimerState;
extern const char* const kTINativeNames[];

TimerState* InitTimerModule(TimerState* state);
int32_t TI_Dispatch(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args);
int32_t DispatchTINative(TimerState* state, int32_t seModuleIndex, ScriptTask* task, int32_t function,
                         int32_t argCount, ScriptValue* args);

TimerNode* AllocTimerNode(TimerState* state);
void FreeTimerNode(TimerState* state, TimerNode* node);
TimerNode* AddTimedNode(int32_t delay, int32_t module, uint32_t cookie, TimerState* state);
TimerNode* AddImmediateNode(uint32_t cookie, int32_t module, TimerState* state);
TimerNode* AddInterruptibleNode(uint32_t cookie, int32_t delay, int32_t module, int32_t id);
void InterruptTimers(int32_t id);
void DispatchTimerEvents();
void FlushTimerEvents();
void ClearTimerEvents(TimerState* state);

// The timed list for the save-game container: the first node (null when empty), the next one,
// and appending a node taken with AllocTimerNode.
TimerNode* FirstTimedNode(const TimerState* state);
TimerNode* NextTimedNode(const TimerNode* node);
void AppendTimedNode(TimerState* state, TimerNode* node);
