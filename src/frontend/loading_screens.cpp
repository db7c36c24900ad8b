// Pictures the location module shows outside the 3D frame: the loading screens of the "loadscr"
// folder with their pacing and frame bands, full-screen pictures waiting for a click, and the
// screen clear. Called by the P_ natives and by the game loop before a load; every picture goes
// through the image records and is released before returning. Script names only ever reach a
// bounded path.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "frontend/frontend.h"
#include "frontend/location.h"
#include "render/display.h"
#include "render/display_surface.h"
#include "render/image_records.h"
#include "render/render.h"
#include "render/surface_ops.h"

LoadingScreenList gLoadingScreens{nullptr, 0, 0, 1};

namespace {

constexpr char kLoadingFolder[] = "loadscr";
constexpr char kPictureSuffix[] = ".jpg";
constexpr size_t kShortestPictureName = 5;  // a name must hold more than its suffix
constexpr char kDefaultLoadingPicture[] = "true/LoadScrDefault";
constexpr char kTopBandPicture[] = "true/LoadScrTOP";
constexpr char kBottomBandPicture[] = "true/LoadScrBOT";
constexpr char kFullscreenFolder[] = "true/%s";
constexpr char kLowDepthFolder[] = "h256/%s";
constexpr int32_t kLowDepth = 8;
constexpr size_t kPathSize = 260;

int32_t DisplayDepth() {
  if (gDisplay && gDisplay->device) return gDisplay->device->bitDepth;
  return gSystem ? gSystem->colourDepth : 32;
}

const char* PicturePattern() {
  const ProductRecord* product = gSystem && gSystem->product ? gSystem->product : &kProductRecord;
  return product->languageTemplate;
}

// A picture by its name relative to the picture folder; null when it is missing (a stand-in
// default image counts as missing: the callers have their own fallbacks).
DisplaySurface* LoadPicture(const char* relative, uint32_t flags) {
  char path[kPathSize];
  std::snprintf(path, sizeof path, PicturePattern(), relative);
  DisplaySurface* picture = LoadImageFile(path, flags, 0, 1);
  if (picture && (picture->flags & kSurfaceDefaultImage)) ReleaseImageHandle(&picture);
  return picture;
}

void Release(DisplaySurface** picture) {
  if (*picture) ReleaseImageHandle(picture);
}

uint32_t Now() { return gSystem ? gSystem->realTime : 0; }

bool EndsWithPicture(const char* name) {
  const size_t length = std::strlen(name);
  const size_t suffix = sizeof kPictureSuffix - 1;
  return length >= kShortestPictureName && strcasecmp(name + length - suffix, kPictureSuffix) == 0;
}

// One of the frame bands: the picture's rectangle without its last fraction of a row goes over
// the band.
void CopyBand(DisplaySurface* band, DisplaySurface* surface, int16_t top, int16_t bottom, int32_t bandHeight) {
  const double h = band->height;
  const auto sourceBottom = static_cast<int16_t>(static_cast<int32_t>(h - bandHeight / h));
  const SurfaceRect16 source{0, 0, band->width, sourceBottom};
  const SurfaceRect16 target{0, top, surface->width, bottom};
  SurfaceCopyRect(band, surface, &source, &target);
}

bool ButtonDown() { return gInputState && (gInputState->leftDown || gInputState->rightDown); }

// Waits up to `seconds`, pumping messages: a button held from before must be let go first, then
// the first new press of either button ends the wait.
void WaitForClick(int32_t seconds) {
  const LocationHost& host = LocationHostInUse();
  // Without a clock step the time limit could never pass.
  if (seconds <= 0 || !host.updateFrameTimes) return;
  host.updateFrameTimes();
  const uint32_t start = Now();
  const int64_t limit = static_cast<int64_t>(seconds) * 1000;
  bool held = ButtonDown();
  while (static_cast<int64_t>(static_cast<uint32_t>(Now() - start)) < limit) {
    host.updateFrameTimes();
    if (host.pumpMessages) host.pumpMessages();
    const bool down = ButtonDown();
    if (held) {
      if (!down) held = false;
    } else if (down) {
      break;
    }
  }
}

}  // namespace

uint32_t LocationPictureFlags(int32_t depth, bool fullscreenPicture) {
  const uint32_t format = gSystem ? gSystem->usageWords[0] : 0;
  if (fullscreenPicture && depth <= kLowDepth) return (format & kLoadKeep) ? format : format | kLoadFlag8000000;
  return PictureLoadFlags(format, depth);
}

int32_t LoadingScreenBand(int32_t height) { return height * 10 / 128; }

int32_t ViewLoadingScreen(const char* path, uint32_t time, int32_t force) {
  if (!force && static_cast<int32_t>(Now() - time) < 0) return 0;
  const uint32_t flags = LocationPictureFlags(DisplayDepth(), false);
  DisplaySurface* picture = nullptr;
  if (path) {
    char bounded[kPathSize];
    std::snprintf(bounded, sizeof bounded, "%s", path);
    picture = LoadImageFile(bounded, flags, 0, 1);
    if (picture && (picture->flags & kSurfaceDefaultImage)) ReleaseImageHandle(&picture);
  }
  if (!picture) picture = LoadPicture(kDefaultLoadingPicture, flags);
  // Callers that page through the list rely on an answer of 1 to move on.
  if (!picture) return 1;
  DisplaySurface* top = LoadPicture(kTopBandPicture, flags);
  DisplaySurface* bottom = LoadPicture(kBottomBandPicture, flags);
  DisplaySurface* surface = GetDisplaySurface(0);
  if (surface) {
    const SurfaceRect16 whole{0, 0, picture->width, picture->height};
    const SurfaceRect16 screen{0, 0, surface->width, surface->height};
    SurfaceCopyRect(picture, surface, &whole, &screen);
    if (top && bottom) {
      const int32_t band = LoadingScreenBand(surface->height);
      CopyBand(top, surface, 0, static_cast<int16_t>(band), band);
      CopyBand(bottom, surface, static_cast<int16_t>(surface->height - band), surface->height, band);
    }
    UpdateScreen();
  }
  Release(&picture);
  Release(&top);
  Release(&bottom);
  return 1;
}

int32_t ViewFullscreenPicture(const char* name, int32_t seconds) {
  if (!name) return 0;
  const int32_t depth = DisplayDepth();
  char relative[kPathSize];
  std::snprintf(relative, sizeof relative, depth <= kLowDepth ? kLowDepthFolder : kFullscreenFolder, name);
  DisplaySurface* picture = LoadPicture(relative, LocationPictureFlags(depth, true));
  if (!picture) return 0;
  if (DisplaySurface* surface = GetDisplaySurface(0)) {
    StretchSurface(surface, picture);
    UpdateScreen();
  }
  WaitForClick(seconds);
  Release(&picture);
  return 1;
}

void P_ViewEBMFullscreen(const char* imageName, int32_t seconds) { ViewFullscreenPicture(imageName, seconds); }

void P_ViewLoadingScreen(const char* imageName, uint32_t realClock, int32_t flag) {
  ViewLoadingScreen(imageName, realClock, flag);
}

void FreeLoadingScreens() {
  HashTable* table = gLoadingScreens.paths;
  if (!table) return;
  for (uint32_t key = HashNextKey(table, 0); key; key = HashNextKey(table, key)) {
    char* path = reinterpret_cast<char*>(HashGet(table, key));
    FreeString(path);
  }
  HashDestroy(table);
  gLoadingScreens.paths = nullptr;
}

void P_InitLoadingScreen() {
  gLoadingScreens.nextChange = Now();
  gLoadingScreens.index = 0;
  gLoadingScreens.first = 1;
  FreeLoadingScreens();
  gLoadingScreens.paths = HashCreate();
  if (!gLoadingScreens.paths) return;
  FileSearch* search = OpenFileSearch("*.*", kLoadingFolder, 0);
  if (!search) return;
  uint32_t key = 0;
  for (const char* name = NextFileSearch(search); name; name = NextFileSearch(search)) {
    if (!EndsWithPicture(name)) continue;
    char path[kPathSize];
    std::snprintf(path, sizeof path, "%s\\%s", kLoadingFolder, name);
    // A path that cannot be kept leaves its picture out; the others still show.
    char* copy = DuplicateString(path);
    if (!copy) continue;
    if (!HashInsert(gLoadingScreens.paths, key + 1, reinterpret_cast<HashValue>(copy))) {
      FreeString(copy);
      continue;
    }
    ++key;
  }
  CloseFileSearch(search);
  if (key >= 2) gLoadingScreens.index = static_cast<int32_t>(static_cast<int64_t>(GameRand()) * key / 32768);
}

void P_ShowNextLoadingScreen() {
  const int32_t count = gLoadingScreens.paths ? static_cast<int32_t>(HashCount(gLoadingScreens.paths)) : 0;
  const char* path = nullptr;
  if (count > 0) {
    if (gLoadingScreens.index >= count) gLoadingScreens.index = 0;
    path = reinterpret_cast<const char*>(HashGet(gLoadingScreens.paths, static_cast<uint32_t>(gLoadingScreens.index + 1)));
  }
  if (!ViewLoadingScreen(path, gLoadingScreens.nextChange, gLoadingScreens.first)) return;
  ++gLoadingScreens.index;
  if (count <= 0 || gLoadingScreens.index >= count) gLoadingScreens.index = 0;
  gLoadingScreens.nextChange = Now() + kLoadingScreenHoldMs;
  gLoadingScreens.first = 0;
}

void ClearScreen() {
  DisplaySurface* surface = GetDisplaySurface(0);
  if (!surface || !gDisplay || !gDisplay->device) return;
  const int32_t width = gDisplay->device->width;
  const int32_t height = gDisplay->device->height;
  if (width > 0 && height > 0 && width <= surface->width && height <= surface->height)
    SurfaceFillRect(surface, 0, 0, width, height, 0);
}
