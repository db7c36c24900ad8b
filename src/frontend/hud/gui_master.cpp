// Building the GUI master: its defaults, the HUD font, the menu bodies and the icon type table.
// Called by the game loop after the "Init" event and by the save reader before the "INS "
// section; freeing it is FreeAllCockpits' (cockpit.cpp). It never allocates the record itself.
#include "frontend/hud/gui_master.h"

#include "frontend/hud/icon_types.h"
#include "scene/engine_natives.h"
#include "scene/scene.h"

GuiMaster* gGuiMaster = nullptr;

const char* const kMenuBodyNames[kMenuBodyCount] = {
    "effects/menugfx/GUI/gui_master", "effects/menugfx/GUI/quillmarsh",  "effects/menugfx/hud_icon_text",
    "effects/menugfx/hud_target_text", "effects/menugfx/docked",          "effects/menugfx/dockhere",
    "environments/others/dust",
};

GuiMaster* InitGuiMaster(GuiMaster* master) {
  if (!master) return nullptr;
  master->moduleResult.type = kValueNone;
  master->moduleResult.bits = 0;
  master->moduleHookFlag = 0;
  master->cockpits = HashCreate();
  master->timeWarpFactor = 0;
  master->activeControlCockpit = 0;
  master->unitDisplay = 0;
  master->font = B3D_OpenFont(kHudFontName, kHudFontSize, kHudFontArgs[0], kHudFontArgs[1], kHudFontArgs[2]);
  master->alertLevel = 0;
  master->alertPending = 0;
  master->alertFlags = 0;
  master->overlayBrackets = 0;
  master->sidebarInstance = nullptr;
  master->drawRadar = 1;
  master->focus = kDefaultFocus;
  // A body that cannot be named (no body table) reads as not found, as every user tests for 0.
  for (int i = 0; i < kMenuBodyCount; ++i) {
    const int32_t id = B3D_GetBodyID(kMenuBodyNames[i]);
    master->menuBodies[i] = id > 0 ? id : 0;
  }
  // A missing or bad file leaves the table cleared; the HUD works without icons.
  LoadIconTypes(master->iconTypes);
  return master;
}
