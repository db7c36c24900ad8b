// The cockpit records: the table lookups, the queries the simulation makes, allocation,
// initialisation, the ordered teardown of a cockpit and of all cockpits. Called by the INS_
// dispatcher, the save section, the simulation, the game loop and the shutdown. A cockpit frees
// only what it owns; the record's memory goes only with DeleteCockpitSubRecord's flag.
#include "frontend/cockpit/cockpit.h"

#include <cstdlib>

#include "core/memory.h"
#include "core/system_block.h"
#include "devices/steering.h"
#include "frontend/cockpit/cockpit_messages.h"
#include "frontend/cockpit/cockpit_natives.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/icon_types.h"
#include "render/render_matrices.h"
#include "scene/camera_records.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"

int32_t gScreenAimX = -1;
int32_t gScreenAimY = -1;

namespace {

uint32_t GameTime() { return gSystem ? gSystem->gameTime : 0; }

void FreeTooltip(TooltipRecord* tooltip) {
  tooltip->text = FreeString(tooltip->text);
  FreeInstance(tooltip->instance);
  tooltip->instance = nullptr;
  B3D_SceneFree(tooltip->scene);
  tooltip->scene = nullptr;
  tooltip->camera = nullptr;
  tooltip->shown = 0;
}

void FreeArray(CockpitArray* array) {
  MemFreeIfSet(array->begin);
  *array = CockpitArray{};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lookups and the simulation's queries.

CockpitRecord* CockpitFromHandle(const GuiMaster* master, uint32_t handle) {
  if (!master) return nullptr;
  return reinterpret_cast<CockpitRecord*>(HashGet(master->cockpits, handle));
}

CockpitRecord* CockpitFindByRefObject(const SpaceObject* object) {
  if (!gGuiMaster || !gGuiMaster->cockpits) return nullptr;
  const HashTable* table = gGuiMaster->cockpits;
  for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, key)) {
    auto* cockpit = reinterpret_cast<CockpitRecord*>(HashGet(table, key));
    if (cockpit && cockpit->monitorNumber == 0 && cockpit->cockpitRefObject == object) return cockpit;
  }
  return nullptr;
}

void CockpitSetPercentDisplay(int32_t value, const SpaceObject* object) {
  if (!gGuiMaster || !gGuiMaster->cockpits) return;
  if (value < 0) value = 0;
  if (value > 100) value = 100;
  const HashTable* table = gGuiMaster->cockpits;
  for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, key)) {
    auto* cockpit = reinterpret_cast<CockpitRecord*>(HashGet(table, key));
    if (!cockpit || cockpit->cockpitRefObject != object || cockpit->viewMode != 1) continue;
    cockpit->percentDisplay = value;
    cockpit->percentExpiry = GameTime() + kPercentDisplayMs;
  }
}

bool CockpitPointInOverlay(const CockpitRecord* cockpit) {
  if (!cockpit) return false;
  int32_t x = 0;
  int32_t y = 0;
  if (gScreenAimX >= 0 && gScreenAimY >= 0) {
    x = gScreenAimX;
    y = gScreenAimY;
    // Taken relative to the centre of the main camera's viewport, when it has one on the device.
    if (cockpit->camera && cockpit->camera->viewport) {
      const DeviceViewport* view = cockpit->camera->viewport;
      x -= static_cast<int32_t>(view->x + view->width / 2);
      y -= static_cast<int32_t>(view->y + view->height / 2);
    }
  }
  const int64_t dx = int64_t{cockpit->overlay.leadX} - x;
  const int64_t dy = int64_t{cockpit->overlay.leadY} - y;
  return std::llabs(dx) <= kOverlayPickDistance && std::llabs(dy) <= kOverlayPickDistance;
}

// ---------------------------------------------------------------------------------------------
// Allocation and initialisation.

uint32_t CockpitAlloc(GuiMaster* master) {
  if (!master || !master->cockpits) return 0;
  auto* cockpit = static_cast<CockpitRecord*>(MemCalloc(sizeof(CockpitRecord)));
  if (!cockpit) return 0;
  CockpitInit(cockpit);
  CockpitCreateScene(cockpit);
  const uint32_t handle = HashInsertNewKey(master->cockpits, reinterpret_cast<HashValue>(cockpit));
  if (handle == 0) {
    // Not in the table, so nobody else would ever free it.
    DeleteCockpitSubRecord(cockpit, 1);
    return 0;
  }
  cockpit->handle = handle;
  return handle;
}

CockpitRecord* CockpitInit(CockpitRecord* cockpit) {
  cockpit->viewAngleAccel = kFixedOne;
  CockpitSlotBuild(&cockpit->grid, kGridBody, 0);
  CockpitSlotBuild(&cockpit->cameraMessage.slot, kCameraMessageBody, 0);
  cockpit->cameraMessage.cockpit = cockpit;
  RadarInit(&cockpit->radar, cockpit);
  TargetOverlayInit(&cockpit->overlay, cockpit);
  ElementSlotsInit(&cockpit->elements, cockpit);
  MessageDisplayInit(&cockpit->messages, cockpit);
  NavMapInit(&cockpit->navMap, cockpit);
  cockpit->tooltip.cockpit = cockpit;
  CockpitCreateTooltipScene(&cockpit->tooltip);
  MatrixFromAngles(&cockpit->viewMatrix, 0, 0, 0);
  cockpit->monitorNumber = -1;
  cockpit->cinematicLoopTime = kDefaultCinematicLoopTime;
  cockpit->trackFlag = 1;
  cockpit->shakeUntil = GameTime();
  cockpit->shake2Until = GameTime();
  cockpit->radarMode = 1;
  cockpit->radarRange = kDefaultRadarRange;
  cockpit->radarTarget = kDefaultRadarRange;
  cockpit->currentMissile = kNoMissile;
  cockpit->fieldOfView = gGuiMaster ? gGuiMaster->focus : kDefaultFocus;
  cockpit->draw2D = 1;
  cockpit->zoomFactor = kFixedOne;
  return cockpit;
}

// ---------------------------------------------------------------------------------------------
// Freeing.

void INS_CockpitFree(CockpitRecord* cockpit) {
  if (!cockpit) return;
  // The turret steering must not write view angles into a freed cockpit.
  SteeringForgetCockpit(cockpit);
  // 1. Grid, body flags and the overlay.
  cockpit->gridOn = 0;
  HideSlot(&cockpit->grid);
  cockpit->cockpitBodyOn = cockpit->radarBodyOn = cockpit->displayBodyOn = 0;
  cockpit->overlay.enabled = 0;
  // 2. The target bodies.
  for (CockpitSlot& slot : cockpit->overlay.slots) HideSlot(&slot);
  // 3. The overlay's icons leave their scene; the icon records go with the overlay below, once.
  ClearOverlayIcons(cockpit->overlay.icons);
  // 4. Elements.
  cockpit->elements.flag = 0;
  for (CockpitSlot& slot : cockpit->elements.slots) HideSlot(&slot);
  // 5. Camera message.
  cockpit->cameraMessage.shown = 0;
  HideSlot(&cockpit->cameraMessage.slot);
  // 6. Message display, nav map and the reference slots.
  ShowCockpitMessage(&cockpit->messages, nullptr);
  SetNavMap(&cockpit->navMap, 0);
  // Closing only starts the panels' closing cut; their models must leave the scene before the
  // scene frees its members, or they would be freed twice.
  for (CockpitSlot& slot : cockpit->messages.slots) HideSlot(&slot);
  for (CockpitSlot& slot : cockpit->navMap.slots) HideSlot(&slot);
  for (uint32_t i = 0; cockpit->targetRefs && i < cockpit->targetRefCount; ++i) {
    if (cockpit->targetRefs[i]) HideSlot(cockpit->targetRefs[i]);
  }
  // 7. The scene with its members and the main camera. A light that was never put into a scene
  // is freed on its own; one in the scene goes with the members.
  for (InstanceRecord*& light : cockpit->instances) {
    if (light && !light->scene && !light->parent) FreeInstance(light);
    light = nullptr;
  }
  if (SceneRecord* scene = cockpit->scene) {
    while (ListNode* member = ListFirst(&scene->members)) {
      InstanceRecord* instance = InstanceOfNode(member);
      RemoveInstanceFromScene(instance, scene);
      FreeInstance(instance);
    }
    if (cockpit->camera) {
      B3D_CameraDeleteFromScene(scene, cockpit->camera);
      B3D_CameraFree(cockpit->camera);
      cockpit->camera = nullptr;
    }
    B3D_SceneFree(scene);
    cockpit->scene = nullptr;
  } else if (cockpit->camera) {
    B3D_CameraFree(cockpit->camera);
    cockpit->camera = nullptr;
  }
  // 8. Everything the record still owns.
  FreeTooltip(&cockpit->tooltip);
  for (int i = kMessageSlotCount; i-- > 0;) CockpitSlotDestroy(&cockpit->navMap.slots[i]);
  for (int i = kMessageSlotCount; i-- > 0;) CockpitSlotDestroy(&cockpit->messages.slots[i]);
  for (int i = kElementSlotCount; i-- > 0;) CockpitSlotDestroy(&cockpit->elements.slots[i]);
  FreeTargetOverlay(&cockpit->overlay);
  CockpitSlotDestroy(&cockpit->cameraMessage.slot);
  RadarFree(&cockpit->radar);
  CockpitSlotDestroy(&cockpit->grid);
  FreeSlotRefs(cockpit);
  FreeArray(&cockpit->scannerObjects);
  FreeArray(&cockpit->missionOffers);
}

void DeleteCockpitSubRecord(CockpitRecord* cockpit, uint32_t flags) {
  if (!cockpit) return;
  INS_CockpitFree(cockpit);
  if (flags & 1) MemFreeIfSet(cockpit);
}

void FreeAllCockpits(GuiMaster* master) {
  if (!master) return;
  FreeIconTypeTables(master->iconTypes);
  if (HashTable* table = master->cockpits) {
    uint32_t key = HashNextKey(table, 0);
    while (key != 0) {
      const uint32_t next = HashNextKey(table, key);
      DeleteCockpitSubRecord(reinterpret_cast<CockpitRecord*>(HashRemove(table, key)), 1);
      key = next;
    }
    HashDestroy(table);
    master->cockpits = nullptr;
  }
  ReleaseValue(&master->moduleResult);
}
