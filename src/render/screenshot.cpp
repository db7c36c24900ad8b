// Screenshots: writes the back buffer to the next free numbered picture in the screenshot
// folder and sets the capture frame step as the game clock's next advance. Called by the game
// loop after a frame was drawn; it never presents (the game loop does) and never overwrites a
// numbered picture already there.
#include <cstdio>
#include <cstring>

#include "core/clock.h"
#include "core/paths.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/render.h"
#include "render/surface_ops.h"

namespace {

float gCaptureStepFraction = 0.0f;

// The highest number of the "vexascreen%05d." pictures in the folder; -1 when the folder
// cannot be searched.
int32_t HighestScreenshotNumber(const char* folder, int inUserFolder) {
  FileSearch* search = OpenFileSearch("vexascreen*.*", folder, inUserFolder);
  if (!search) return -1;
  int32_t highest = 0;
  for (const char* name = NextFileSearch(search); name; name = NextFileSearch(search)) {
    int32_t number = 0;
    if (std::sscanf(name, "vexascreen%05d.", &number) == 1 && number > highest) highest = number;
  }
  CloseFileSearch(search);
  return highest;
}

}  // namespace

void TakeScreenshot() {
  if (!gSystem || !gSystem->captureFolder) return;
  const char* folder = gSystem->captureFolder;
  const int inUserFolder = std::strpbrk(folder, ":\\/") ? 0 : 1;
  if (static_cast<int32_t>(gSystem->screenshotNumber) < 1) {
    const int32_t highest = HighestScreenshotNumber(folder, inUserFolder);
    if (highest < 0) MakeDirectory(folder, inUserFolder);
    gSystem->screenshotNumber = static_cast<uint32_t>(highest < 0 ? 0 : highest);
  }
  ++gSystem->screenshotNumber;
  char name[512];
  std::snprintf(name, sizeof name, "%s\\vexascreen%05d", folder, static_cast<int32_t>(gSystem->screenshotNumber));
  // MakeFilePath adds the user folder only for a bare folder name.
  char* path = MakeFilePath(name, inUserFolder);
  if (path) SaveScreenshot(path);
  FreeString(path);

  // The next clock update advances the game by a fixed step instead of the measured time.
  gCaptureStepFraction += 1.0f / 3.0f;
  if (gCaptureStepFraction < 1.0f) {
    SetGameTimeJump(33);
  } else {
    gCaptureStepFraction -= 1.0f;
    SetGameTimeJump(34);
  }
}
