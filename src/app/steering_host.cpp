// The steering host: the GUI master's active control cockpit as the steering reads and writes it,
// and "TranslateKey", "Input" and "CheckEquipment" raised on the game's own module with their
// answer taken from the game state's result slot. Installed by WinMain; never raises anything
// itself outside those calls.
#include "app/steering_host.h"

#include "app/input_logo_version.h"
#include "devices/steering.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/gui_master.h"

namespace {

bool ActiveControlCockpit(SteeringCockpit* out) {
  CockpitRecord* cockpit = gGuiMaster ? CockpitFromHandle(gGuiMaster, gGuiMaster->activeControlCockpit) : nullptr;
  if (!cockpit) return false;
  out->record = cockpit;
  out->cockpitNumber = cockpit->cockpitNumber;
  out->viewMode = cockpit->viewMode;
  out->camera = cockpit->camera;
  out->trackObject = cockpit->trackObject;
  out->viewAngle = cockpit->viewAngle;
  out->viewAngleSpeed = cockpit->viewAngleSpeed;
  out->viewAngleTarget = cockpit->viewAngleTarget;
  out->viewLocked = &cockpit->viewLocked;
  return true;
}

const SteeringHost kSteeringHost = {ActiveControlCockpit, RaiseGameEvent, nullptr};

}  // namespace

void InstallSteeringHost() { SteeringSetHost(&kSteeringHost); }
