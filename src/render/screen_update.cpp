// The screen update and frame statistics: presents the frame with a back buffer or composes the
// screen from the display lists without one, and appends the statistics line to the status
// text. Called by the game loop and the display's flush; never writes past the status text.
#include "render/screen_update.h"

#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/display.h"
#include "render/display_surface.h"
#include "render/render.h"

namespace {

// The allocation count at the previous statistics line.
uint32_t gPreviousAllocations = 0;

int32_t RoundFixed(int64_t value) { return static_cast<int32_t>((value + 0x8000) >> 16); }

}  // namespace

void AppendStatusText(const char* line) {
  if (!gSystem || !line) return;
  char* text = gSystem->statusText;
  const size_t capacity = sizeof gSystem->statusText - 1;
  const size_t used = strnlen(text, capacity);
  const size_t room = capacity - used;
  const size_t length = strnlen(line, room);
  std::memcpy(text + used, line, length);
  text[used + length] = '\0';
}

void DrawFrameStats(DisplaySurface* surface) {
  if (!gSystem || !(gSystem->screenModeFlags & kScreenShowStats) || gSystem->frameRate == 0) return;
  const double megabytes = gMemCounters.totalBytes * (1.0 / 1048576.0);
  char line[256];
  if (gDisplay && (gDisplay->flags & kDisplayBackBuffer)) {
    const int64_t scale = static_cast<int64_t>(gSystem->timeScale);
    const int32_t warp = RoundFixed(scale * 100);
    const int32_t real = RoundFixed(static_cast<int64_t>(RoundFixed(scale * gSystem->secondTimeScale)) * 100);
    const uint32_t allocations = gMemCounters.allocationCount;
    std::snprintf(line, sizeof line, "%d fps, Warp: %d%% (real %d%%), %3.3f MB, %d Allocs",
                  static_cast<int32_t>(gSystem->frameRate), warp, real, megabytes,
                  static_cast<int32_t>(allocations - gPreviousAllocations));
    gPreviousAllocations = allocations;
  } else {
    std::snprintf(line, sizeof line, "%d fps, %04d Rect., %3.3f MB ", static_cast<int32_t>(gSystem->frameRate),
                  surface ? surface->updateCount : 0, megabytes);
  }
  AppendStatusText(line);
}

void UpdateScreen() {
  if (!gDisplay || (gDisplay->flags & kDisplayWindowOnly)) return;
  if (gDisplay->flags & kDisplayBackBuffer) {
    if (!gSystem || !(gSystem->screenModeFlags & kScreenNoPresent)) PresentFrame();
    gDisplay->flags ^= kDisplayFlipState;
    DrawFrameStats(nullptr);
    return;
  }
  const DisplaySurface* video = gDisplay->videoSurface;
  const DisplayList* list = video ? video->displayList : nullptr;
  // The child list ends at its sentinel, the one node without a successor.
  DisplayList* first = (list && list->children) ? list->children->first : nullptr;
  if (!first || !first->next) return;
  OccludeDisplayLists(first);
  FlushDisplayList(first, 0, 0);
}
