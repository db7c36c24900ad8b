// The in-cockpit interior: slots built from the interior cut's paths (lights for light-type body
// ids, bodies for the others), kept each frame and freed when the view or the cut goes, and the
// cockpit scene lit by copies of the sector lights that reach the carrying ship. Called by the HUD
// frame step; the slots are the cockpit's reference slots, freed with FreeSlotRefs.
#include "frontend/hud/cockpit_interior.h"

#include <algorithm>

#include "core/memory.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/hud/hud_step.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/takes_jobs.h"
#include "universe/object_classes.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kSpotLightRange = 1000000;
constexpr int32_t kSpotLightFactors[3] = {0x10000, 0xA0000, 0};
// Light flag bits a copied sector light keeps.
constexpr uint32_t kCopiedLightKinds = kInstPointLight | kInstLightRankedHigh;

int32_t PathBody(const CutRecord* cut, int32_t path) {
  return static_cast<int32_t>(cut->paths[path].lookupWord);
}

bool IsLightBody(int32_t body) { return body >= kInteriorLightFirst && body <= kInteriorLightLast; }

// A light path's light from its light type row. `paramTaken` is true once an earlier light of
// this interior took the row's parameter: only the first one does.
void SetUpInteriorLight(InstanceRecord* light, int32_t body, bool* paramTaken) {
  if (!gEngine3D) return;
  const LightTypeRecord& row = gEngine3D->lightTypes[body - kInteriorLightFirst];
  if (row.parameter > 0 && !*paramTaken) {
    light->flags |= kInstLightParamSet;
    light->lightParam = row.parameter;
    *paramTaken = true;
  }
  if (row.secondValue > 0) light->flags |= kInstLightSecondPositive;
  if (row.kind == kLightKindSpot) {
    light->flags |= kInstSpotLight;
    for (int i = 0; i < 3; ++i) light->words31[i] = static_cast<uint32_t>(kSpotLightFactors[i]);
    B3D_LightSetRange(light, kSpotLightRange);
    B3D_InstSetRot(light, 0, 0, 0);
  }
  B3D_LightSetColor(light, row.red, row.green, row.blue);
}

// One slot per path of the cut: null for a path without a body.
void BuildInteriorSlots(CockpitRecord* c, const CutRecord* cut, int32_t cutId) {
  const int32_t count = cut->paths ? std::max(cut->pathCount, 0) : 0;
  if (count == 0 || !AllocSlotRefs(c, static_cast<uint32_t>(count))) return;
  bool paramTaken = false;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t body = PathBody(cut, i);
    if (body < 0) continue;
    auto* slot = static_cast<CockpitSlot*>(MemCalloc(sizeof(CockpitSlot)));
    if (!slot) continue;
    c->targetRefs[i] = slot;
    const bool light = IsLightBody(body);
    // A slot of body -1 is made with a light.
    CockpitSlotBuild(slot, light ? -1 : body, static_cast<uint32_t>(i));
    if (!slot->instance) continue;
    if (light) {
      SetUpInteriorLight(slot->instance, body, &paramTaken);
      if (c->scene) ReattachSlot(c->scene, slot);
      const int32_t mark = gEngine3D ? gEngine3D->lightTypes[body - kInteriorLightFirst].words[0] : -1;
      if (mark >= 0) InstSetExtraValue(slot->instance, mark);
    } else {
      if (c->scene) ReattachSlot(c->scene, slot);
      B3D_InstMakeRapidBox(slot->instance, 0);
    }
    StartSlotPath(slot, cutId);
  }
}

// Per frame: every body path keeps an instance; without shading its models draw plain.
void KeepInteriorSlots(CockpitRecord* c, const CutRecord* cut) {
  const uint32_t count = std::min<uint32_t>(c->targetRefCount, static_cast<uint32_t>(std::max(cut->pathCount, 0)));
  for (uint32_t i = 0; i < count; ++i) {
    CockpitSlot* slot = c->targetRefs[i];
    if (!slot || PathBody(cut, static_cast<int32_t>(i)) <= 0) continue;
    InstanceRecord* instance = EnsureSlotInstance(slot);
    if (!instance || static_cast<int32_t>(c->shading) > 0) continue;
    instance->overrideEffect = 0;
    instance->alphaOverride = 0;
    for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
      B3D_InstSetOverrideEffect(child, 0);
    }
  }
}

// The interior cut of the cockpit position in use: the frame step's choice, or the carrying
// ship type's own cockpit cut; 0 when there is none.
int32_t InteriorCutId(const CockpitRecord* c, const SpaceObject* carrier) {
  if (c->interiorCut != -1) return c->interiorCut;
  if (carrier->objClass != kClassShip) return 0;
  const ObjectTypeRecord* row = TypeRow(kClassShip, carrier->subtype);
  return row && row->ship.cut2 > 0 ? row->ship.cut2 : 0;
}

void Sway(CockpitRecord* c, SpaceObject* carrier) {
  UpdateCockpitSway(c, carrier, gSystem ? gSystem->frameStep : 0);
}

}  // namespace

InstanceRecord* EnsureSlotInstance(CockpitSlot* slot) {
  if (!slot->instance) {
    slot->instance = B3D_InstAlloc();
    slot->visible = 0;
    slot->bodyId = -1;
  }
  return slot->instance;
}

void StartSlotPath(CockpitSlot* slot, int32_t cutId) {
  InstanceRecord* instance = EnsureSlotInstance(slot);
  CutRecord* cut = J3D_LoadCut(cutId);
  if (instance && cut) StartInstancePath(instance, cut, static_cast<int32_t>(slot->extra));
}

void BuildCockpitInterior(CockpitRecord* c) {
  SpaceObject* carrier = c->cockpitRefObject;
  if (!carrier || c->viewMode != 1) {
    FreeSlotRefs(c);
    return;
  }
  const int32_t cutId = InteriorCutId(c, carrier);
  CutRecord* cut = cutId != 0 ? J3D_LoadCut(cutId) : nullptr;
  if (!cut) {
    FreeSlotRefs(c);
    return;
  }
  if (!c->cockpitBodyOn) {
    FreeSlotRefs(c);
    Sway(c, carrier);
    return;
  }
  if (!c->targetRefs) BuildInteriorSlots(c, cut, cutId);
  if (c->targetRefs && cut->paths) KeepInteriorSlots(c, cut);
  Sway(c, carrier);
}

int32_t CopyChosenLights(CockpitRecord* c, const InstanceRecord* ship, const LightSlot* slots, int32_t slotCount,
                         InstanceRecord* const* activeLights, int32_t activeCount) {
  int32_t linked = 0;
  const int32_t count = std::min(slotCount, kCockpitLightCount);
  for (int32_t k = 0; k < count; ++k) {
    const int32_t index = slots[k].light;
    if (index < 0 || index >= activeCount) continue;
    const InstanceRecord* source = activeLights[index];
    InstanceRecord* light = c->instances[k];
    if (!source || !light || (source->flags & kInstSpotLight)) continue;
    light->bodyId = -1;
    light->size = -1;
    // Render data the engine prepared stays; every other bit comes from the source.
    light->flags = (light->flags & kInstRenderReady) | kInstLight | (source->flags & kCopiedLightKinds);
    light->lightParam = kCockpitLightParam;
    light->world = source->world;
    WorldToInstanceLocal(light, ship);
    light->position = FixedVector{light->cameraPos.x, light->cameraPos.y, light->cameraPos.z, 0};
    for (int i = 0; i < 3; ++i) light->lightColor[i] = source->lightColor[i];
    light->lightRange = source->lightRange;
    for (int i = 0; i < 3; ++i) light->words31[i] = source->words31[i];
    if (c->scene) {
      AddInstanceToScene(light, c->scene);
      ++linked;
    }
  }
  return linked;
}

void UpdateCockpitLights(CockpitRecord* c) {
  for (InstanceRecord* light : c->instances) {
    if (light && light->scene) RemoveInstanceFromScene(light, c->scene);
  }
  SpaceObject* carrier = c->cockpitRefObject;
  SpaceObject* sector = c->sectorSpace;
  if (!gEngine3D || !carrier || !carrier->instance || !sector || sector->objClass != kClassSector) return;
  SceneRecord* space = static_cast<SectorObject*>(sector)->sceneA;
  if (!space) return;
  InstanceRecord* ship = carrier->instance;
  SceneCollectLightsAt(space, &ship->world);
  InstSelectLights(ship);
  int32_t active = 0;
  while (active < kActiveLightCapacity && gEngine3D->activeLights[active]) ++active;
  const int32_t slots = std::clamp(gEngine3D->lightSlotCount, 0, kLightSlotCapacity);
  CopyChosenLights(c, ship, gEngine3D->lightSlots, slots, gEngine3D->activeLights, active);
}
