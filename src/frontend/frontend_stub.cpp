// The least form of the rest of the cockpit, HUD and menus that the application core needs until
// it is built: a location module with no loading
// screens, images and locations that show nothing, and an empty but well-formed "INS " save
// section. Called by the game main, the game loop, the save container and the shutdown; never
// draws.
#include "frontend/frontend.h"

#include <cstring>

#include "core/file_object.h"
#include "core/memory.h"

LocationState* gLocationState = nullptr;

namespace {

bool ReadTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && std::memcmp(got, tag, 4) == 0;
}

}  // namespace

LocationState* InitLocationModule() {
  // The shutdown frees the record through the memory manager, as it will the real one.
  if (!gLocationState) gLocationState = static_cast<LocationState*>(MemAlloc(sizeof(LocationState), 0));
  return gLocationState;
}

void FreeLoadingScreens() {}
void P_InitLoadingScreen() {}
void P_ShowNextLoadingScreen() {}
void P_ViewEBMFullscreen(const char*, int32_t) {}
void P_ViewLoadingScreen(const char*, uint32_t, int32_t) {}
void RunLocation(const char*) {}
void UpdateHud() {}
void AutoAdjustQuality() {}

bool WriteCockpitChunk(FileObject* file) {
  return FileWriteBytes(file, "INS ", 4) == 4 && FileWriteBytes(file, "/INS", 4) == 4;
}

bool ReadCockpitChunk(FileObject* file) { return ReadTag(file, "INS ") && ReadTag(file, "/INS"); }
