// The in-cockpit interior: the bodies and lights an interior cut lays out in the cockpit scene
// (one reference slot per path of the cut), the slot helpers that give a slot its instance and
// start its path, and the copies of the sector lights that light the carrying ship, moved into the
// cockpit scene. The HUD frame step calls BuildCockpitInterior and UpdateCockpitLights each frame.
#pragma once

#include <cstdint>

struct CockpitRecord;
struct CockpitSlot;
struct InstanceRecord;
struct LightSlot;

// Body ids of an interior path from this range make a light of that light type (id - 1000).
constexpr int32_t kInteriorLightFirst = 1000;
constexpr int32_t kInteriorLightLast = 1999;
// The fifth light parameter of every copied sector light.
constexpr int32_t kCockpitLightParam = 0x20000;

// The slot's instance; a slot without one gets a new, hidden instance without a body (null when
// the engine cannot make one).
InstanceRecord* EnsureSlotInstance(CockpitSlot* slot);
// Makes sure of the slot's instance and plays path `extra` of the cut on it when both exist.
void StartSlotPath(CockpitSlot* slot, int32_t cutId);

// Builds the interior slots on the first in-cockpit frame with a cut, keeps them while the view
// and the cut stay, frees them otherwise, and sways the eye with the carrying ship.
void BuildCockpitInterior(CockpitRecord* cockpit);

// Takes the cockpit's 16 lights out of its scene, then lights the cockpit with copies of the
// sector lights the scene engine chooses for the carrying ship.
void UpdateCockpitLights(CockpitRecord* cockpit);
// The copy step of UpdateCockpitLights over a chosen slot list: cockpit light k copies the active
// light of slot k (at most 16 slots) unless the slot is empty or names a spot light. Answers how
// many lights it linked into the cockpit scene.
int32_t CopyChosenLights(CockpitRecord* cockpit, const InstanceRecord* ship, const LightSlot* slots,
                         int32_t slotCount, InstanceRecord* const* activeLights, int32_t activeCount);
