// The HUD's frame step: the player's alert level with its sounds and events, the missile alert,
// and per cockpit the screen shake, the camera sway, zoom and fields of view. The game loop calls
// UpdateHud once a frame after the object effects; the missile launch calls RaiseMissileAlert.
// Nothing here draws or frees a cockpit.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct CockpitRecord;
struct GuiMaster;
struct ScriptValue;
struct SpaceObject;

// Alert samples, the zoom sound and the events they go with.
constexpr int32_t kAlertEnemySample = 923;
constexpr int32_t kAlertMissileSample = 925;
constexpr int32_t kZoomSound = 979;

// Zoom request bits of CockpitRecord::viewFlags.
constexpr uint32_t kZoomRequested = 0x1;
constexpr uint32_t kZoomActive = 0x2;
constexpr uint32_t kZoomOutSoundPlayed = 0x4;

// y0 at or below x0, y1 at or above x1, the midpoint when x0 == x1; between them a straight line
// taken from the midpoint with 64-bit products.
int32_t LinearInterpolate(int32_t x, int32_t x0, int32_t x1, int32_t y0, int32_t y1);

void UpdateAlertLevel(GuiMaster* master);
void UpdateCockpitFrame(CockpitRecord* cockpit);

// The two shake angles of this frame (0, 0 while the cockpit does not shake); keeps the shake
// times from falling behind the game clock.
void CockpitShakeOffsets(CockpitRecord* cockpit, uint32_t now, int32_t* first, int32_t* second);
// Steps the zoom by the real-time clock and answers the main and the other field of view.
void UpdateCockpitZoom(CockpitRecord* cockpit, uint32_t now, uint32_t focus, uint32_t* mainFov,
                       uint32_t* otherFov);
// Turns and moves the in-cockpit eye with the ship's turns and speed changes over dt ms.
void UpdateCockpitSway(CockpitRecord* cockpit, SpaceObject* ship, uint32_t dt);

// Where the HUD's sounds and events go; tests record them. Null members restore the real calls.
struct HudOutputs {
  int32_t (*playSound)(int32_t soundId);
  int32_t (*stopSample)(int32_t sampleId);
  int32_t (*playSound3D)(int32_t soundId, SpaceObject* at);
  void (*raiseEvent)(const char* name, int32_t argCount, int32_t arg);
  // A script query on an object: false (answer untouched) when it has no such method.
  bool (*query)(int32_t objectId, const char* name, int32_t resultKind, int32_t argCount, const int32_t* args,
                ScriptValue* answer);
  // SetKnown on a kept object's script object.
  void (*setKnown)(int32_t objectId);
};

// The HUD's script queries and events, through gHudOutputs.
bool HudQuery(int32_t objectId, const char* name, int32_t resultKind, int32_t argCount, const int32_t* args,
              ScriptValue* answer);
void HudSetKnown(int32_t objectId);

// One kept object of the scanner pass, and one mission offer.
struct ScannerEntry {
  SpaceObject* object;
  int32_t distance;
};
struct MissionOffer {
  SpaceObject* object;
  uint16_t value;
};
// The per-frame lists as arrays.
ScannerEntry* ScannerEntries(const CockpitRecord* cockpit, int32_t* count);
MissionOffer* MissionOffers(const CockpitRecord* cockpit, int32_t* count);

// Frame steps 7, 8 and 9: the current sector object, the mission offers and the scanner pass.
void CockpitQueryCurrentObject(CockpitRecord* cockpit);
void CockpitQueryMissionOffers(CockpitRecord* cockpit);
void CockpitScannerPass(CockpitRecord* cockpit);
extern HudOutputs gHudOutputs;
