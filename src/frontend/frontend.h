// The cockpit, HUD and menus as the application core uses them: the GUI master with its
// cockpits (their input modes), the location module (P_) with its loading screens and full-
// screen images, the cockpit module (INS_) with its "INS " save section, and the per-frame HUD
// and quality steps. Called by the game main, the game loop, the save container and the
// shutdown.
#pragma once

#include <cstdint>

#include "core/hash_table.h"

struct FileObject;

// Cockpit flag: the alternative input mode is active.
constexpr uint32_t kCockpitAlternativeMode = 0x10;

struct Cockpit {
  uint32_t flags;
  int32_t inputMode;
  int32_t alternativeInputMode;
};

struct GuiMaster {
  HashTable* cockpits;  // key: cockpit id, value: Cockpit*
  uint32_t currentCockpit;
};

struct LocationState {
  uint32_t moduleIndex;
};
extern LocationState* gLocationState;

// Sets up a freshly allocated, zeroed record; null on failure.
GuiMaster* InitGuiMaster(GuiMaster* block);
// Frees every cockpit and the cockpit list (not the record itself).
void FreeAllCockpits(GuiMaster* master);
void InitCockpitModule();
// Null on failure.
LocationState* InitLocationModule();
void FreeLoadingScreens();
void P_InitLoadingScreen();
void P_ShowNextLoadingScreen();
void P_ViewEBMFullscreen(const char* imageName, int32_t seconds);
void P_ViewLoadingScreen(const char* imageName, uint32_t realClock, int32_t flag);
void RunLocation(const char* startString);
void UpdateHud();
// Steps the SystemBlock quality level by the measured frame rate.
void AutoAdjustQuality();
// The "INS " ... "/INS" save section; true on success.
bool WriteCockpitChunk(FileObject* file);
bool ReadCockpitChunk(FileObject* file);
