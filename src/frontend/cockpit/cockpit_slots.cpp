// Cockpit slot operations: attach and hide, the overlay icons and their list, the reference
// slots, the slot-group initialisers, the camera-message step and forgetting an object. Called
// by the cockpit records, the natives, the HUD step and the simulation. A slot never links its
// instance into a second scene, and nothing here frees a slot's instance while it is linked.
#include "frontend/cockpit/cockpit_slots.h"

#include <cstring>

#include "core/memory.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/object_symbols.h"
#include "scene/engine_natives.h"
#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene_small_ops.h"

namespace {

constexpr int32_t kRadarBodies[kRadarSlotCount] = {481, 705, 49, 49, 456, 113};
constexpr uint32_t kRadarExtras[kRadarSlotCount] = {2, 3, 5, 6, 7, 8};
constexpr int32_t kCameraMessageDepth = 300;
constexpr int32_t kCameraMessageSize = 300;

void GiveInstance(CockpitSlot* slot, uint32_t flags, uint32_t flags2) {
  slot->instance = B3D_InstAlloc();
  InstOrFlags(slot->instance, flags, flags2);
}

void ChargeCounters(int64_t bytes) {
  gMemCounters.currentBytes += static_cast<uint32_t>(bytes);
  gMemCounters.categoryBytes[kMemCatDefault] += static_cast<uint32_t>(bytes);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The slot's life.

void CockpitSlotInit(CockpitSlot* slot) { *slot = CockpitSlot{0, nullptr, -1, 0, nullptr}; }

void CockpitSlotBuild(CockpitSlot* slot, int32_t bodyId, uint32_t extra) {
  CockpitSlotInit(slot);
  slot->bodyId = bodyId;
  slot->extra = extra;
  slot->instance = bodyId == -1 ? B3D_LightAlloc() : B3D_InstAlloc();
}

void CockpitSlotDestroy(CockpitSlot* slot) {
  FreeInstance(slot->instance);
  slot->instance = nullptr;
  if (slot->owned) DeleteCockpitSubRecord(slot->owned, 1);
  slot->owned = nullptr;
  slot->bodyId = -1;
  slot->visible = 0;
}

// ---------------------------------------------------------------------------------------------
// Attach and hide.

void AttachSlot(SceneRecord* scene, CockpitSlot* slot, int32_t body) {
  if (!slot->instance) {
    slot->visible = 0;
    slot->bodyId = -1;
    slot->instance = body == -1 ? B3D_LightAlloc() : B3D_InstAlloc();
  }
  const bool sameBody = slot->visible && slot->bodyId == body;
  if (!sameBody) {
    bool bind = true;
    if (slot->visible) {
      RemoveInstanceFromScene(slot->instance, slot->instance ? slot->instance->scene : nullptr);
      if (body < 0) bind = false;
    }
    // A light (body -1) has no body to bind.
    if (bind && body != -1) B3D_InstSetBody(slot->instance, body);
    AddInstanceToScene(slot->instance, scene);
  }
  slot->visible = 1;
  slot->bodyId = body;
}

void AttachSlotIcon(SceneRecord* scene, CockpitSlot* slot, int32_t body, int32_t icon) {
  AttachSlot(scene, slot, body);
  // The slot icons are entries of the icon set that lies in the gui_master texture.
  if (slot->instance) InstSetIconTexture(slot->instance, kGuiIconSet, icon);
}

void AttachSlotSized(SceneRecord* scene, CockpitSlot* slot, int32_t body, int32_t size) {
  AttachSlot(scene, slot, body);
  if (size >= 0 && slot->instance) B3D_InstSetSize(slot->instance, size);
}

void ReattachSlot(SceneRecord* scene, CockpitSlot* slot) { AttachSlot(scene, slot, slot->bodyId); }

void ShowSlotIcon(int32_t icon, int32_t body, CockpitSlot* slot, SceneRecord* scene, int32_t x, int32_t y) {
  AttachSlotIcon(scene, slot, body, icon);
  if (!slot->instance) return;
  B3D_InstSetPos(slot->instance, x, y, 0);
  InstOrFlags(slot->instance, 0, kSlotScreenMark);
}

void HideSlot(CockpitSlot* slot) {
  if (slot->visible && slot->instance) RemoveInstanceFromScene(slot->instance, slot->instance->scene);
  slot->visible = 0;
}

// ---------------------------------------------------------------------------------------------
// Overlay icons.

OverlayIcon* OverlayIconCreate() {
  auto* icon = static_cast<OverlayIcon*>(MemCalloc(sizeof(OverlayIcon)));
  if (!icon) return nullptr;
  for (CockpitSlot& slot : icon->small) {
    CockpitSlotInit(&slot);
    GiveInstance(&slot, 0, kOverlayIconSlotFlags);
  }
  for (CockpitSlot& slot : icon->large) {
    CockpitSlotInit(&slot);
    GiveInstance(&slot, 0, kOverlayIconSlotFlags);
  }
  return icon;
}

void OverlayIconDestroy(OverlayIcon* icon) {
  if (!icon) return;
  for (int i = kOverlayIconLargeSlots; i-- > 0;) CockpitSlotDestroy(&icon->large[i]);
  for (int i = kOverlayIconSmallSlots; i-- > 0;) CockpitSlotDestroy(&icon->small[i]);
  MemFreeIfSet(icon);
}

void HideIconSlots(OverlayIcon* icon) {
  for (CockpitSlot& slot : icon->small) HideSlot(&slot);
  for (CockpitSlot& slot : icon->large) HideSlot(&slot);
}

void ClearOverlayIcons(OverlayIconList* list) {
  if (!list) return;
  for (int32_t i = 0; i < list->used; ++i) HideIconSlots(list->begin[i]);
  list->used = 0;
}

void FreeOverlayIconList(OverlayIconList* list) {
  if (!list) return;
  for (OverlayIcon** icon = list->begin; icon && icon != list->end; ++icon) OverlayIconDestroy(*icon);
  list->used = 0;
  B3D_SceneFree(list->scene);
  list->scene = nullptr;
  list->camera = nullptr;
  MemFreeIfSet(list->begin);
  list->begin = list->end = list->capacity = nullptr;
}

void FreeTargetOverlay(TargetOverlay* overlay) {
  if (overlay->icons) {
    FreeOverlayIconList(overlay->icons);
    MemFreeIfSet(overlay->icons);
    overlay->icons = nullptr;
  }
  for (int i = kTargetOverlaySlotCount; i-- > 0;) CockpitSlotDestroy(&overlay->slots[i]);
}

// ---------------------------------------------------------------------------------------------
// Reference slots.

bool AllocSlotRefs(CockpitRecord* cockpit, uint32_t count) {
  FreeSlotRefs(cockpit);
  if (count == 0) return true;
  auto** refs = static_cast<CockpitSlot**>(MemCalloc(sizeof(CockpitSlot*) * count));
  if (!refs) return false;
  cockpit->targetRefs = refs;
  cockpit->targetRefCount = count;
  ChargeCounters(int64_t{count} * kCockpitSlotNominalBytes);
  return true;
}

void FreeSlotRefs(CockpitRecord* cockpit) {
  const uint32_t count = cockpit->targetRefCount;
  if (cockpit->targetRefs) {
    for (uint32_t i = 0; i < count; ++i) {
      CockpitSlot* slot = cockpit->targetRefs[i];
      if (!slot) continue;
      HideSlot(slot);
      CockpitSlotDestroy(slot);
      MemFreeIfSet(slot);
    }
    MemFreeIfSet(cockpit->targetRefs);
    ChargeCounters(-int64_t{count} * kCockpitSlotNominalBytes);
  }
  cockpit->targetRefs = nullptr;
  cockpit->targetRefCount = 0;
}

// ---------------------------------------------------------------------------------------------
// Slot-group initialisers.

void RadarInit(RadarRecord* radar, CockpitRecord* cockpit) {
  radar->cockpit = cockpit;
  for (int i = 0; i < kRadarSlotCount; ++i) CockpitSlotBuild(&radar->slots[i], kRadarBodies[i], kRadarExtras[i]);
  for (int i = 0; i < kRadarSlotCount; ++i) radar->refs[i] = &radar->slots[i];
  radar->word = 0;
  radar->flag = 0;
}

void RadarFree(RadarRecord* radar) {
  for (int i = kRadarSlotCount; i-- > 0;) CockpitSlotDestroy(&radar->slots[i]);
}

void TargetOverlayInit(TargetOverlay* overlay, CockpitRecord* cockpit) {
  overlay->cockpit = cockpit;
  for (CockpitSlot& slot : overlay->slots) {
    CockpitSlotInit(&slot);
    GiveInstance(&slot, kOverlaySlotFlags, 0);
  }
  std::memset(overlay->words, 0, sizeof overlay->words);
  overlay->leadX = overlay->leadY = -1;
  overlay->icons = nullptr;
  overlay->enabled = 1;
}

void ElementSlotsInit(ElementSlots* elements, CockpitRecord* cockpit) {
  elements->cockpit = cockpit;
  for (CockpitSlot& slot : elements->slots) CockpitSlotInit(&slot);
  elements->flag = 0;
}

void MessageDisplayInit(MessageDisplay* messages, CockpitRecord* cockpit) {
  messages->cockpit = cockpit;
  for (CockpitSlot& slot : messages->slots) CockpitSlotInit(&slot);
  std::memset(messages->words, 0, sizeof messages->words);
}

void NavMapInit(NavMap* navMap, CockpitRecord* cockpit) {
  navMap->cockpit = cockpit;
  for (CockpitSlot& slot : navMap->slots) CockpitSlotInit(&slot);
  std::memset(navMap->words, 0, sizeof navMap->words);
}

// ---------------------------------------------------------------------------------------------
// Per frame.

void UpdateCameraMessageSlot(CameraMessage* cameraMessage) {
  CockpitSlot* slot = &cameraMessage->slot;
  if (!cameraMessage->shown) {
    HideSlot(slot);
    return;
  }
  ReattachSlot(cameraMessage->cockpit ? cameraMessage->cockpit->scene : nullptr, slot);
  if (!slot->instance) return;
  B3D_InstSetPos(slot->instance, 0, 0, kCameraMessageDepth);
  B3D_InstSetRot(slot->instance, 0, 0, 0);
  B3D_InstSetSize(slot->instance, kCameraMessageSize);
}

// ---------------------------------------------------------------------------------------------
// Forgetting an object.

void CockpitForgetObject(CockpitRecord* cockpit, const SpaceObject* object) {
  if (!cockpit || !object) return;
  // Every pointer of the record that may name a space object; the view reference and the sector
  // are read every frame, so they must not outlive the object either.
  SpaceObject** refs[] = {&cockpit->refObject,   &cockpit->cockpitRefObject,    &cockpit->enemyObject,
                          &cockpit->trackObject, &cockpit->currentSectorObject, &cockpit->refViewObject,
                          &cockpit->sectorSpace};
  for (SpaceObject** ref : refs) {
    if (*ref == object) *ref = nullptr;
  }
  OverlayIconList* list = cockpit->overlay.icons;
  if (!list || list->used <= 0) return;
  for (int32_t i = 0; i < list->used; ++i) {
    OverlayIcon* icon = list->begin[i];
    if (icon->object != object) continue;
    for (int32_t k = i; k + 1 < list->used; ++k) list->begin[k] = list->begin[k + 1];
    --list->used;
    list->begin[list->used] = icon;
    HideIconSlots(icon);
    return;
  }
}

void CockpitsForgetObject(const SpaceObject* object) {
  if (!gGuiMaster || !gGuiMaster->cockpits) return;
  HashTable* table = gGuiMaster->cockpits;
  for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, key)) {
    CockpitForgetObject(reinterpret_cast<CockpitRecord*>(HashGet(table, key)), object);
  }
}
