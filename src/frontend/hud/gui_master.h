// The GUI master: the one record the cockpit, HUD and menu code shares (the cockpit table, the
// HUD font, the menu bodies, the icon type table, the settings the INS_ natives set for all
// cockpits, and the slot where a script's answer to a GUI call lands), and the global pointer to
// it. The game loop and the save reader build it; every cockpit, HUD and GUI function reads it
// through gGuiMaster and does nothing while that is null.
#pragma once

#include <cstdint>

#include "core/hash_table.h"
#include "script/value.h"

struct InstanceRecord;

constexpr int kIconTypeClassCount = 32;
constexpr int kMenuBodyCount = 7;

// One object class's icons: two triples, and two tables of triples (by subtype and by a second
// per-class number) with their row counts. The loader allocates the tables counted (MemAlloc,
// three words a row); FreeAllCockpits gives them back at that size.
struct IconTypeRow {
  int32_t icons[6];
  int32_t* subtypeIcons;
  int32_t* secondIcons;
  int32_t subtypeCount;
  int32_t secondCount;
};

// alertFlags bits.
constexpr uint32_t kAlertLockTone = 0x80;
constexpr uint32_t kAlertTrackingTone = 0x20000;
constexpr uint32_t kAlertIncomingMissile = 0x4;  // set and cleared by the object update
constexpr uint32_t kAlertMissileRaised = 0x10;   // set by the HUD step when the alert is raised

constexpr uint32_t kDefaultFocus = 16384;  // 90 degrees

struct GuiMaster {
  HashTable* cockpits;  // key: cockpit handle, value: CockpitRecord*
  int32_t alertLevel;   // the first two words are saved with the "INS " section
  int32_t alertPending;
  int32_t timeWarpFactor;
  uint32_t activeControlCockpit;
  int32_t font;
  uint8_t unitDisplay;
  uint8_t drawRadar;
  uint8_t overlayBrackets;
  InstanceRecord* sidebarInstance;
  uint32_t alertFlags;
  uint32_t focus;
  uint16_t moduleHookFlag;
  ScriptValue moduleResult;
  int32_t menuBodies[kMenuBodyCount];
  IconTypeRow iconTypes[kIconTypeClassCount];
};

// Null while no game loop runs.
extern GuiMaster* gGuiMaster;

// The menu bodies, in the order of GuiMaster::menuBodies.
extern const char* const kMenuBodyNames[kMenuBodyCount];

// The HUD font: its name, size and the three further opening values.
constexpr char kHudFontName[] = "Tahoma";
constexpr int32_t kHudFontSize = 13;
constexpr int32_t kHudFontArgs[3] = {16, 33, 1};

// Fills a freshly allocated, uninitialised record and returns it. It never fails by itself: a
// font that cannot be made leaves -1, missing bodies 0 and a missing icon file a cleared table.
GuiMaster* InitGuiMaster(GuiMaster* master);
