// The least form of the rest of the cockpit, HUD and menus that the application core needs until
// it is built: a location module with no loading screens, and images and locations that show
// nothing. Called by the game main, the game loop and the shutdown; never draws.
#include "frontend/frontend.h"

#include "core/memory.h"

LocationState* gLocationState = nullptr;

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
void AutoAdjustQuality() {}
