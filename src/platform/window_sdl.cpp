// The game window on SDL2: creation, placement, client and frame sizes, the cursor, and the
// monitors' work areas and modes. SDL's video starts on first use; headless, or when no
// display can be opened, it starts on the offscreen driver, whose one monitor is described as a
// 1920x1080 desktop with the common modes below it, so that windows and the GPU adapter agree. A null window (tests) has no SDL
// behind it and answers the scripted work area and frame. Called by the renderer's window code
// and by the GPU device; its SDL events reach the message queue of window.cpp.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/os.h"
#include "platform/window_sdl.h"

struct OsWindow {
  SDL_Window* sdl = nullptr;
  OsRect client{};  // null windows only
  uint32_t flags = 0;
};

namespace {

constexpr int32_t kOffscreenWidth = 1920;
constexpr int32_t kOffscreenHeight = 1080;
// The offscreen monitor offers the sizes a 1920x1080 monitor commonly does, largest first, so a
// headless run finds the full-screen mode its settings name as a desktop run would.
constexpr OsDisplayMode kOffscreenModes[] = {
    {1920, 1080, 32, 60}, {1680, 1050, 32, 60}, {1600, 900, 32, 60},  {1440, 900, 32, 60}, {1366, 768, 32, 60},
    {1280, 1024, 32, 60}, {1280, 960, 32, 60},  {1280, 800, 32, 60},  {1280, 720, 32, 60}, {1152, 864, 32, 60},
    {1024, 768, 32, 60},  {800, 600, 32, 60},   {640, 480, 32, 60}};

bool gUseNull = false;
OsNullWindowScript gScript{};
bool gVideoStarted = false;
bool gOffscreen = false;
OsRect gKnownFrame{};  // measured on the last captioned window

bool StartOffscreen() {
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  gOffscreen = true;
  return true;
}

}  // namespace

// Mesa's driver modules allocate at load and are unloaded at exit, after which the leak checker
// cannot see who held those blocks. Keeping the loaded modules resident keeps them reachable.
void OsKeepGlDriverResident() {
  FILE* maps = std::fopen("/proc/self/maps", "r");
  if (!maps) return;
  char line[1024];
  std::string last;
  while (std::fgets(line, sizeof line, maps)) {
    const char* path = std::strchr(line, '/');
    if (!path) continue;
    std::string file(path);
    while (!file.empty() && (file.back() == '\n' || file.back() == ' ')) file.pop_back();
    if (file == last) continue;
    last = file;
    if (file.find("/dri/") == std::string::npos && file.find("libgallium") == std::string::npos &&
        file.find("libEGL_mesa") == std::string::npos && file.find("libGLX_mesa") == std::string::npos &&
        file.find("libglapi") == std::string::npos && file.find("libLLVM") == std::string::npos)
      continue;
    dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
  std::fclose(maps);
}

bool OsStartVideo() {
  if (gVideoStarted) return true;
  if (OsIsHeadless()) {
    gVideoStarted = StartOffscreen();
    return gVideoStarted;
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
    gVideoStarted = true;
    gOffscreen = SDL_strcmp(SDL_GetCurrentVideoDriver(), "offscreen") == 0;
    return true;
  }
  // No display: behave as headless from now on.
  OsSetHeadless(true);
  gVideoStarted = StartOffscreen();
  return gVideoStarted;
}

bool OsWindowsAreOffscreen() { return OsStartVideo() && gOffscreen; }

SDL_Window* OsWindowSdl(OsWindow* window) { return window ? window->sdl : nullptr; }

OsWindow* OsCreateWindow(const char* title, const OsRect* client, uint32_t flags) {
  if (!client || client->right <= client->left || client->bottom <= client->top) return nullptr;
  auto* window = new OsWindow();
  window->flags = flags;
  if (gUseNull) {
    window->client = *client;
    return window;
  }
  if (!OsStartVideo()) {
    delete window;
    return nullptr;
  }
  uint32_t sdlFlags = SDL_WINDOW_OPENGL;
  sdlFlags |= (flags & kOsWindowVisible) && !gOffscreen ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
  if (!(flags & kOsWindowCaption)) sdlFlags |= SDL_WINDOW_BORDERLESS;
  if (flags & kOsWindowResizable) sdlFlags |= SDL_WINDOW_RESIZABLE;
  window->sdl = SDL_CreateWindow(title ? title : "", client->left, client->top, client->right - client->left,
                                 client->bottom - client->top, sdlFlags);
  if (!window->sdl) {
    delete window;
    return nullptr;
  }
  OsKeepGlDriverResident();
  if (flags & kOsWindowCaption) {
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window->sdl, &top, &left, &bottom, &right) == 0) gKnownFrame = {left, top, right, bottom};
  }
  return window;
}

void OsDestroyWindow(OsWindow* window) {
  if (!window) return;
  if (window->sdl) SDL_DestroyWindow(window->sdl);
  delete window;
}

bool OsMoveWindow(OsWindow* window, int32_t left, int32_t top) {
  if (!window) return false;
  if (!window->sdl) {
    int32_t width = window->client.right - window->client.left;
    int32_t height = window->client.bottom - window->client.top;
    window->client = {left, top, left + width, top + height};
    return true;
  }
  SDL_SetWindowPosition(window->sdl, left, top);
  return true;
}

bool OsSetWindowClientSize(OsWindow* window, int32_t width, int32_t height) {
  if (!window || width <= 0 || height <= 0) return false;
  if (!window->sdl) {
    window->client.right = window->client.left + width;
    window->client.bottom = window->client.top + height;
    return true;
  }
  SDL_SetWindowSize(window->sdl, width, height);
  return true;
}

bool OsGetWindowClientRect(OsWindow* window, OsRect* rect) {
  if (!window || !rect) return false;
  if (!window->sdl) {
    *rect = window->client;
    return true;
  }
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(window->sdl, &x, &y);
  SDL_GetWindowSize(window->sdl, &width, &height);
  *rect = {x, y, x + width, y + height};
  return true;
}

void OsGetWindowFrameSize(uint32_t flags, OsRect* frame) {
  if (!frame) return;
  *frame = OsRect{};
  if (!(flags & kOsWindowCaption)) return;
  *frame = gUseNull ? gScript.frame : gKnownFrame;
}

void OsAdjustWindowRect(OsRect* rect, uint32_t flags) {
  if (!rect) return;
  OsRect frame;
  OsGetWindowFrameSize(flags, &frame);
  rect->left -= frame.left;
  rect->top -= frame.top;
  rect->right += frame.right;
  rect->bottom += frame.bottom;
}

void OsShowCursor(bool show) {
  if (gUseNull || !gVideoStarted) return;
  SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

uint32_t OsGetMonitorCount() {
  if (gUseNull) return gScript.monitorCount;
  if (!OsStartVideo()) return 0;
  if (gOffscreen) return 1;
  return static_cast<uint32_t>(std::max(0, SDL_GetNumVideoDisplays()));
}

bool OsGetMonitorBounds(uintptr_t monitor, OsRect* bounds) {
  if (!bounds || monitor == 0 || monitor > OsGetMonitorCount()) return false;
  if (gUseNull) {
    *bounds = gScript.workArea;
    return true;
  }
  if (gOffscreen) {
    *bounds = {0, 0, kOffscreenWidth, kOffscreenHeight};
    return true;
  }
  SDL_Rect r;
  if (SDL_GetDisplayBounds(static_cast<int>(monitor - 1), &r) != 0) return false;
  *bounds = {r.x, r.y, r.x + r.w, r.y + r.h};
  return true;
}

bool OsGetMonitorWorkArea(uintptr_t monitor, OsRect* workArea) {
  if (!workArea || monitor == 0 || monitor > OsGetMonitorCount()) return false;
  if (gUseNull || gOffscreen) return OsGetMonitorBounds(monitor, workArea);
  SDL_Rect r;
  if (SDL_GetDisplayUsableBounds(static_cast<int>(monitor - 1), &r) != 0) return false;
  *workArea = {r.x, r.y, r.x + r.w, r.y + r.h};
  return true;
}

bool OsGetOffscreenMonitorModes(OsDisplayMode* desktop, OsDisplayMode* modes, uint32_t* count) {
  if (!desktop || !count) return false;
  *desktop = kOffscreenModes[0];
  uint32_t written = 0;
  for (const OsDisplayMode& mode : kOffscreenModes) {
    if (!modes || written == *count) break;
    modes[written++] = mode;
  }
  *count = written;
  return true;
}

bool OsGetMonitorModes(uintptr_t monitor, OsDisplayMode* desktop, OsDisplayMode* modes, uint32_t* count) {
  if (!desktop || !count || monitor == 0 || monitor > OsGetMonitorCount()) return false;
  auto bits = [](uint32_t format) {
    uint32_t depth = SDL_BITSPERPIXEL(format);
    return depth == 24 ? 32u : depth;  // 24-bit colour in 32-bit pixels
  };
  if (gUseNull) {
    OsRect bounds;
    OsGetMonitorBounds(monitor, &bounds);
    *desktop = {static_cast<uint32_t>(bounds.right - bounds.left), static_cast<uint32_t>(bounds.bottom - bounds.top), 32,
                60};
    if (modes && *count > 0) {
      modes[0] = *desktop;
      *count = 1;
    } else {
      *count = 0;
    }
    return true;
  }
  if (gOffscreen) return OsGetOffscreenMonitorModes(desktop, modes, count);
  int display = static_cast<int>(monitor - 1);
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(display, &mode) != 0) return false;
  *desktop = {static_cast<uint32_t>(mode.w), static_cast<uint32_t>(mode.h), bits(mode.format),
              static_cast<uint32_t>(mode.refresh_rate)};
  uint32_t room = modes ? *count : 0;
  uint32_t written = 0;
  int total = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < total && written < room; ++i) {
    if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
    modes[written++] = {static_cast<uint32_t>(mode.w), static_cast<uint32_t>(mode.h), bits(mode.format),
                        static_cast<uint32_t>(mode.refresh_rate)};
  }
  *count = written;
  return true;
}

void OsUseNullWindows(bool use, const OsNullWindowScript* script) {
  gUseNull = use;
  gScript = script ? *script : OsNullWindowScript{};
}
