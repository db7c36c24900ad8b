// Inside the platform layer: the SDL side of the game window, for the GPU device's OpenGL
// backend. Nothing outside src/platform includes this header.
#pragma once

#include <SDL.h>

#include "platform/window.h"

// Starts SDL's video (offscreen when headless or when no display opens); false when even the
// offscreen driver fails.
bool OsStartVideo();
// The SDL window behind a window; null for a null window.
SDL_Window* OsWindowSdl(OsWindow* window);
// Keeps the GL driver modules loaded now resident until the process ends, so the leak checker
// still sees the blocks they hold (an unloaded module's blocks look leaked).
void OsKeepGlDriverResident();
