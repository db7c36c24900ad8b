// The message queue behind the process's message pump: the process's own posted messages
// first, then SDL's events when SDL's event system runs and a display may exist. Called by the
// pump only, on the one game thread; never starts SDL itself (the display layer does).
#include "platform/window.h"

#include <SDL.h>

#include <cstring>
#include <deque>

#include "platform/os.h"

namespace {

static_assert(sizeof(SDL_Event) <= sizeof(OsMessage::event), "an SDL event must fit a message");

std::deque<OsMessage> gPosted;
OsWindowProcedure gProcedure = nullptr;

bool EventsRunning() { return !OsIsHeadless() && SDL_WasInit(SDL_INIT_EVENTS) != 0; }

void FromEvent(const SDL_Event& event, OsMessage* message) {
  *message = OsMessage{};
  // Quitting is the window procedure's close: only the process's own quit ends the queue.
  message->kind = kOsMessageEvent;
  message->code = event.type;
  std::memcpy(message->event, &event, sizeof event);
}

}  // namespace

int OsGetMessage(OsMessage* message) {
  if (!gPosted.empty()) {
    *message = gPosted.front();
    gPosted.pop_front();
    return message->kind == kOsMessageQuit ? 0 : 1;
  }
  if (!EventsRunning()) {
    *message = OsMessage{};
    return -1;
  }
  SDL_Event event;
  if (SDL_WaitEvent(&event) == 0) {
    *message = OsMessage{};
    return -1;
  }
  FromEvent(event, message);
  return message->kind == kOsMessageQuit ? 0 : 1;
}

bool OsPeekMessage(OsMessage* message, bool remove) {
  if (!gPosted.empty()) {
    *message = gPosted.front();
    if (remove) gPosted.pop_front();
    return true;
  }
  if (!EventsRunning()) return false;
  SDL_PumpEvents();
  SDL_Event event;
  int count = SDL_PeepEvents(&event, 1, remove ? SDL_GETEVENT : SDL_PEEKEVENT, SDL_FIRSTEVENT,
                             SDL_LASTEVENT);
  if (count <= 0) return false;
  FromEvent(event, message);
  return true;
}

// SDL delivers text input as events of its own, so there is nothing to translate.
void OsTranslateMessage(const OsMessage*) {}

void OsDispatchMessage(const OsMessage* message) {
  if (gProcedure && message) gProcedure(message);
}

void OsPostMessage(uint32_t code, intptr_t param) {
  OsMessage message{};
  message.kind = kOsMessagePosted;
  message.code = code;
  message.param = param;
  gPosted.push_back(message);
}

void OsPostQuitMessage() {
  OsMessage message{};
  message.kind = kOsMessageQuit;
  gPosted.push_back(message);
}

void OsSetWindowProcedure(OsWindowProcedure procedure) { gProcedure = procedure; }
