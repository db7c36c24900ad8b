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

// ---- The game window -------------------------------------------------------------------------
// One SDL window per OsWindow. Headless (OsIsHeadless(), or when no display can be opened) the
// window lives on SDL's offscreen video driver whatever SDL_VIDEODRIVER says, so the GPU device
// still renders. A null window (OsUseNullWindows) has no SDL behind it and answers the scripted
// work area and frame sizes; tests of window placement use it.

struct OsWindow;

struct OsRect {
  int32_t left, top, right, bottom;
};

constexpr uint32_t kOsWindowVisible = 0x1;
constexpr uint32_t kOsWindowCaption = 0x2;    // a frame with a title bar
constexpr uint32_t kOsWindowResizable = 0x4;
// The window draws through OpenGL (the GPU device's window).
constexpr uint32_t kOsWindowOpenGl = 0x8;

// A window whose client area covers `client` (screen coordinates). Null when it cannot be made.
OsWindow* OsCreateWindow(const char* title, const OsRect* client, uint32_t flags);
void OsDestroyWindow(OsWindow* window);
// Moves the client area's top-left corner to (left, top), keeping the size.
bool OsMoveWindow(OsWindow* window, int32_t left, int32_t top);
bool OsSetWindowClientSize(OsWindow* window, int32_t width, int32_t height);
// Client area in screen coordinates.
bool OsGetWindowClientRect(OsWindow* window, OsRect* rect);
// The frame's thickness on each side for a window with these flags (0 without a caption).
void OsGetWindowFrameSize(uint32_t flags, OsRect* frame);
// Grows a client rectangle to the window's outer rectangle (AdjustWindowRect-style).
void OsAdjustWindowRect(OsRect* rect, uint32_t flags);
void OsShowCursor(bool show);
// Monitors are numbered display index + 1. Usable area (without panels and task bars) and
// whole bounds; false for an unknown monitor.
bool OsGetMonitorWorkArea(uintptr_t monitor, OsRect* workArea);
bool OsGetMonitorBounds(uintptr_t monitor, OsRect* bounds);
uint32_t OsGetMonitorCount();
// Display modes of a monitor (width, height, bits per pixel, refresh rate), largest first.
struct OsDisplayMode {
  uint32_t width, height, bitsPerPixel, refreshRate;
};
bool OsGetMonitorModes(uintptr_t monitor, OsDisplayMode* desktop, OsDisplayMode* modes, uint32_t* count);
// The offscreen monitor's 1920x1080 desktop and its modes, largest first; answered without
// starting the video, so the recording GPU device describes the same monitor.
bool OsGetOffscreenMonitorModes(OsDisplayMode* desktop, OsDisplayMode* modes, uint32_t* count);
// True when windows live on SDL's offscreen driver.
bool OsWindowsAreOffscreen();

// Tests: from now on windows are null windows answering this work area (for every monitor) and
// this frame; `use` false goes back to SDL windows.
struct OsNullWindowScript {
  OsRect workArea;
  OsRect frame;  // thickness per side of a captioned window
  uint32_t monitorCount;
};
void OsUseNullWindows(bool use, const OsNullWindowScript* script);
