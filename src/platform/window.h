// The window message queue of the os layer: take, peek, translate and dispatch messages, as the
// process's message pump needs them. Messages are SDL events once the display layer has started
// SDL's event system, plus messages posted by the process itself. Headless, or before SDL runs,
// only posted messages exist. Called by the message pump; dispatch hands each message to the
// window procedure that the display layer installs. Never blocks when nothing can ever arrive.
#pragma once

#include <cstdint>

enum OsMessageKind : uint32_t {
  kOsMessageNone = 0,
  kOsMessageQuit = 1,    // the queue's end: the user or the system asked the process to stop
  kOsMessageEvent = 2,   // a window-system event in `event`
  kOsMessagePosted = 3,  // posted by the process: `code` and `param`
};

struct OsMessage {
  uint32_t kind;
  uint32_t code;
  intptr_t param;
  alignas(8) unsigned char event[64];
};

// Blocks until a message comes. 1: a message; 0: the quit message; -1: the queue failed, or
// nothing can ever arrive (no window system and nothing posted).
int OsGetMessage(OsMessage* message);
// True when a message waits; with `remove` it is taken off the queue.
bool OsPeekMessage(OsMessage* message, bool remove);
void OsTranslateMessage(const OsMessage* message);
void OsDispatchMessage(const OsMessage* message);

void OsPostMessage(uint32_t code, intptr_t param);
void OsPostQuitMessage();

using OsWindowProcedure = void (*)(const OsMessage* message);
void OsSetWindowProcedure(OsWindowProcedure procedure);
