// The cockpit, HUD and menus as the application core uses them: the GUI master with its
// cockpits, the location module (P_) with its loading screens and full-
// screen images, the cockpit module (INS_) with its "INS " save section, and the per-frame HUD
// and quality steps. Called by the game main, the game loop, the save container and the
// shutdown.
#pragma once

#include <cstdint>

#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/gui_master.h"

struct FileObject;

// The location module's record: a reserved word and the P_ module's row in the script engine.
struct LocationState {
  uint32_t reserved;
  uint32_t moduleIndex;
};
extern LocationState* gLocationState;

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
