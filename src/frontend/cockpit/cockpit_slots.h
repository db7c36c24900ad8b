// Operations on cockpit slots: showing a slot's instance in a scene with a body (and the icon,
// size and screen-mark variants), hiding it, the overlay icons and their list, the reference
// slots, the initialisers of a cockpit's slot groups, the camera-message slot step, and forgetting
// an object that leaves the universe. Called by the cockpit records, the natives, the HUD step and
// the simulation. A slot's instance is linked into at most one scene, exactly while it is visible.
#pragma once

#include <cstdint>

#include "frontend/cockpit/cockpit.h"

void AttachSlot(SceneRecord* scene, CockpitSlot* slot, int32_t body);
void AttachSlotIcon(SceneRecord* scene, CockpitSlot* slot, int32_t body, int32_t icon);
// A size below 0 leaves the instance's size alone.
void AttachSlotSized(SceneRecord* scene, CockpitSlot* slot, int32_t body, int32_t size);
void ReattachSlot(SceneRecord* scene, CockpitSlot* slot);
void ShowSlotIcon(int32_t icon, int32_t body, CockpitSlot* slot, SceneRecord* scene, int32_t x, int32_t y);
void HideSlot(CockpitSlot* slot);

// Instance flags of the marks: the screen-space bit of the second flag word, which the renderer
// draws in pixels from the view's centre; the overlay icons' slots also are never saved (second
// word); the 40 target marks' bits lie in the first word.
constexpr uint32_t kSlotScreenMark = 0x200;
constexpr uint32_t kOverlaySlotFlags = 24;
constexpr uint32_t kOverlayIconSlotFlags = 0x600;

// Overlay icons.
OverlayIcon* OverlayIconCreate();
void OverlayIconDestroy(OverlayIcon* icon);
void HideIconSlots(OverlayIcon* icon);
void ClearOverlayIcons(OverlayIconList* list);
void FreeOverlayIconList(OverlayIconList* list);
void FreeTargetOverlay(TargetOverlay* overlay);

// The reference slots: AllocSlotRefs makes `count` empty entries and charges the counters with
// count x 20 bytes; FreeSlotRefs frees every entry's slot and takes them off again.
bool AllocSlotRefs(CockpitRecord* cockpit, uint32_t count);
void FreeSlotRefs(CockpitRecord* cockpit);

// The slot-group initialisers CockpitInit runs.
void RadarInit(RadarRecord* radar, CockpitRecord* cockpit);
void RadarFree(RadarRecord* radar);
void TargetOverlayInit(TargetOverlay* overlay, CockpitRecord* cockpit);
void ElementSlotsInit(ElementSlots* elements, CockpitRecord* cockpit);
void MessageDisplayInit(MessageDisplay* messages, CockpitRecord* cockpit);
void NavMapInit(NavMap* navMap, CockpitRecord* cockpit);

// Per frame: shows the camera message at (0, 0, 300) with size 300 while it is shown.
void UpdateCameraMessageSlot(CameraMessage* cameraMessage);

// Clears every reference of the cockpit (or of every cockpit) to the object.
void CockpitForgetObject(CockpitRecord* cockpit, const SpaceObject* object);
void CockpitsForgetObject(const SpaceObject* object);
