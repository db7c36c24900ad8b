// The version report, the logo screen, the "Input" event wrapper and the low-memory hook. Called
// by the game main (version, logo, hook install), the game loop (input) and the memory manager
// (hook). The low-memory hook runs inside a failed allocation: it must not allocate itself.
#include "app/input_logo_version.h"

#include <cstdio>

#include "app/game_loop.h"
#include "app/game_state.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/image_records.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "scene/scene.h"
#include "script/containers.h"
#include "script/script_calls.h"

// Linux programs carry no version resource; the build keeps its text here, in the resource's
// own form, so the same normalisation runs.
const char kProductVersionResource[] = "1, 0, 0, 1";

DisplaySurface* gLogoSurfaces[kLogoSurfaceCount] = {};

namespace {

constexpr size_t kVersionTextSize = sizeof(SystemBlock::versionText);
constexpr int kUsageLogoSurface = 4;  // the fifth usage word
constexpr size_t kLogoNameSize = 260;
constexpr char kLogoPicture[] = "true\\ulnaruniverse logo_HD";
constexpr uint32_t kLogoDisplaySurfaceOrder[kLogoSurfaceCount] = {1, 0, 3, 2};

constexpr VersionLogoServices kRealServices = {
    InitSquareTable, CreateImageHandle, LoadImageFile,      StretchSurface,     UpdateScreen,
    ReleaseImageHandle, DisplaySurfaceWord, FreeUnusedTextures, B3D_DumpUsedBodies,
};
VersionLogoServices gServices = kRealServices;

// Whether the logo surfaces are handles this unit created (else they are the display's own).
bool gLogoSurfacesCreated = false;

}  // namespace

void SetVersionLogoServices(const VersionLogoServices* services) { gServices = services ? *services : kRealServices; }

std::string ReadVersionInfoFrom(const char* raw) {
  if (!raw) return std::string();
  std::string version;
  for (const char* p = raw; *p; ++p) {
    if (*p == ' ') continue;
    version += *p == ',' ? '.' : *p;
  }
  // The block holds 13 characters and the terminator; a longer version is cut there.
  if (gSystem) std::snprintf(gSystem->versionText, kVersionTextSize, "%s", version.c_str());
  return version;
}

std::string ReadVersionInfo() { return ReadVersionInfoFrom(kProductVersionResource); }

void FreeLogoSurfaces() {
  if (gLogoSurfacesCreated) {
    for (DisplaySurface*& surface : gLogoSurfaces)
      if (surface) gServices.releaseImageHandle(&surface);
  }
  for (DisplaySurface*& surface : gLogoSurfaces) surface = nullptr;
  gLogoSurfacesCreated = false;
}

int32_t ShowLogoScreen() {
  gServices.initSquareTable();
  // A second logo screen would otherwise lose the handles of the first.
  FreeLogoSurfaces();
  DisplayObject* display = gDisplay;
  if (!display || !display->device || !gSystem) return 0;
  const DisplayDevice* device = display->device;
  if (display->flags & kDisplayNoScreenLists) {
    int count = (display->flags & kDisplaySecondScreenList) ? kLogoSurfaceCount : 1;
    for (int k = 0; k < count; ++k) gLogoSurfaces[k] = gServices.displaySurface(display, kLogoDisplaySurfaceOrder[k]);
  } else {
    int count = (display->flags & kDisplaySecondScreenList) ? 2 : 1;
    gLogoSurfacesCreated = true;
    for (int k = 0; k < count; ++k) {
      gLogoSurfaces[k] = gServices.createImageHandle(device->bitDepth, device->width, device->height,
                                                      gSystem->usageWords[kUsageLogoSurface]);
      if (!gLogoSurfaces[k]) {
        FreeLogoSurfaces();
        return 0;
      }
    }
  }
  uint32_t flags = PictureLoadFlags(gSystem->usageWords[0], device->bitDepth);
  const ProductRecord* product = gSystem->product ? gSystem->product : &kProductRecord;
  char name[kLogoNameSize];
  std::snprintf(name, sizeof name, product->languageTemplate2, kLogoPicture);
  DisplaySurface* image = gServices.loadImageFile(name, flags, 0, 1);
  if (image) {
    if (gLogoSurfaces[0]) gServices.stretchSurface(gLogoSurfaces[0], image);
    gServices.updateScreen();
    gServices.releaseImageHandle(&image);
  }
  return 1;
}

int32_t RaiseGameEvent(const char* name, int32_t argument) {
  if (!gGameState) return 0;
  gGameState->eventWord = 0;
  gGameState->hasResult = 0;
  CallScriptFunctionRet(static_cast<int32_t>(gGameState->moduleIndex), 0, kInputEventTarget, name, kResultInt, 1,
                        argument);
  // Without an answer the slot still holds an earlier event's; that answer is not this one's.
  // The script may have ended the game state in the call.
  if (gGameState && gGameState->hasResult && gGameState->eventResult.type == kValueInt)
    return gGameState->eventResult.i;
  return 0;
}

int32_t RaiseInputEvent(int32_t code) {
  const int32_t answer = RaiseGameEvent("Input", code);
  if (answer == -1) gLoopExit = 1;
  return answer;
}

void OnLowMemory() {
  if (gEngine3D) gServices.dumpUsedBodies(gEngine3D);
  gServices.freeUnusedTextures();
  FreeSpareTableBlocks(gScriptEngine);
  if (gSystem && gSystem->physicalMemoryMB < kLowMemoryThresholdMB && gSystem->qualityReduction < kMaxQualityReduction)
    ++gSystem->qualityReduction;
}

void SetLowMemoryHandler() { SetLowMemoryHook(OnLowMemory); }
