// Light allocation and settings, the per-camera gathering of lights into the active light list
// and the per-instance ranking into light slots. Called by the natives and the frame driver;
// the renderer reads the list and the slots. Both are engine-wide scratch that each call
// overwrites, so nothing here keeps state between calls.
#include "scene/lights.h"

#include <algorithm>

#include "core/hash_table.h"
#include "render/device_lights.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/instance.h"
#include "scene/scene_records.h"

namespace {

constexpr int32_t kNewLightParam = 0x20000;
constexpr int32_t kActiveLightMax = kActiveLightCapacity - 1;  // the last cell holds the null end
constexpr int32_t kSlotSearchStart = 65535;
constexpr int32_t kSpotNearFactor = 16;
constexpr uint32_t kRangedLight = kInstPointLight | kInstSpotLight;

bool Reaches(const InstanceRecord* light, const FixedVector& viewer) {
  if (!(light->flags & kRangedLight)) return true;
  const int64_t d = ChebyshevDistance(&light->world, &viewer);
  const int64_t range = light->lightRange;
  if (range > d) return true;
  // 64-bit, as a range above 32767 would overflow the shift.
  return d > 0 && (range << 16) / d >= kLightReachFraction;
}

void Collect(InstanceRecord* candidate, const FixedVector& viewer, int32_t* count) {
  if (!(candidate->flags & kInstLight) || *count >= kActiveLightMax || !Reaches(candidate, viewer)) return;
  gEngine3D->activeLights[(*count)++] = candidate;
}

int32_t SlotCount() { return std::clamp(gEngine3D->lightSlotCount, 0, kLightSlotCapacity); }

int32_t LightWeight(const InstanceRecord* instance, const InstanceRecord* light) {
  const int32_t lum = static_cast<int32_t>(0.299 * light->lightColor[0] + 0.587 * light->lightColor[1] +
                                           0.114 * light->lightColor[2]);
  if (light->flags & kInstLightRankedHigh) return lum + kDirectionalLightBonus;
  if (!(light->flags & kRangedLight)) return kLightWeightNone;
  const int64_t distance = ChebyshevDistance(&instance->world, &light->world);
  const int64_t reach = std::max<int64_t>(distance - instance->scaledSize, 0);
  const int64_t range = light->lightRange;
  int64_t w = 0;
  if (range > reach) w = 2 * range == 0 ? lum : lum - (int64_t{lum} * reach) / (2 * range);
  if ((light->flags & kInstSpotLight) && w >= 1 && distance > int64_t{kSpotNearFactor} * instance->scaledSize) {
    const int32_t* dir = light->worldMatrix.m[2];
    const int64_t dot = MulRound16(int64_t{instance->world.x} - light->world.x, dir[0]) +
                        MulRound16(int64_t{instance->world.y} - light->world.y, dir[1]) +
                        MulRound16(int64_t{instance->world.z} - light->world.z, dir[2]);
    w = MulRound16(w, dot);
  }
  return SaturateToInt32(w);
}

}  // namespace

InstanceRecord* B3D_LightAlloc() {
  if (!gEngine3D) return nullptr;
  auto* light = EngineAllocRecord<InstanceRecord>();
  if (!light) return nullptr;
  light->handle = HashInsertNewKey(gEngine3D->handleTable, reinterpret_cast<HashValue>(light));
  if (light->handle == 0) {
    EngineFree(light, sizeof(InstanceRecord));
    return nullptr;
  }
  ListInit(&light->children);
  light->flags |= kInstLight;
  light->bodyId = -1;
  light->size = -1;
  light->scaledSize = 0;
  light->lightParam = kNewLightParam;
  MatrixFromAngles(&light->matrix, 0, 0, 0);
  ListAddTail(&gEngine3D->instances, &light->node);
  return light;
}

void B3D_LightSetParameters(InstanceRecord* light, int32_t type) {
  if (!light || !gEngine3D) return;
  if (type >= 0 && type < kLightTypeCount) {
    const LightTypeRecord& row = gEngine3D->lightTypes[type];
    if (row.kind == kLightKindDirectional) light->flags |= kInstLightRankedHigh;
    else if (row.kind == kLightKindPoint) light->flags |= kInstPointLight;
    else if (row.kind == kLightKindSpot) light->flags |= kInstSpotLight;
    if (row.parameter > 0) {
      light->flags |= kInstLightParamSet;
      light->lightParam = row.parameter;
    }
    if (row.secondValue > 0) light->flags |= kInstLightSecondPositive;
  }
  if (light->deviceLight) LightGetD3DLight(light);
}

void B3D_LightSetColor(InstanceRecord* light, int32_t red, int32_t green, int32_t blue) {
  if (!light) return;
  light->lightColor[0] = static_cast<int16_t>(red);
  light->lightColor[1] = static_cast<int16_t>(green);
  light->lightColor[2] = static_cast<int16_t>(blue);
  if (light->deviceLight) LightGetD3DLight(light);
}

void B3D_LightSetRange(InstanceRecord* light, int32_t range) {
  if (!light) return;
  light->lightRange = range;
  if (light->deviceLight) LightGetD3DLight(light);
}

void SceneCollectLights(SceneRecord* scene, CameraRecord* viewer) {
  SceneCollectLightsAt(viewer ? scene : nullptr, viewer ? &viewer->instance.world : nullptr);
}

void SceneCollectLightsAt(SceneRecord* scene, const FixedVector* at) {
  if (!gEngine3D) return;
  int32_t count = 0;
  if (scene && at) {
    for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
      Collect(InstanceOfNode(node), *at, &count);
    }
    for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
      for (ListNode* child = ListFirst(&InstanceOfNode(node)->children); child; child = ListNext(child)) {
        Collect(InstanceOfNode(child), *at, &count);
      }
    }
  }
  gEngine3D->activeLights[count] = nullptr;
}

void ResetLightSlots() {
  if (!gEngine3D) return;
  for (LightSlot& slot : gEngine3D->lightSlots) slot = LightSlot{-1, 0, 0};
}

int CompareLightSlots(const void* a, const void* b) {
  const int32_t wa = static_cast<const LightSlot*>(a)->weight;
  const int32_t wb = static_cast<const LightSlot*>(b)->weight;
  return wb > wa ? 1 : (wb < wa ? -1 : 0);
}

void InstSelectLights(InstanceRecord* instance) {
  if (!gEngine3D || !instance) return;
  if (instance->scaledSize < 2 || B3D_InstGetTotalSize(instance) < 2) return;
  ResetLightSlots();
  LightSlot* slots = gEngine3D->lightSlots;
  const int32_t slotCount = SlotCount();
  int32_t threshold = kLightThreshold;
  for (int32_t i = 0; i < kActiveLightMax && gEngine3D->activeLights[i]; ++i) {
    const InstanceRecord* light = gEngine3D->activeLights[i];
    const int32_t w = LightWeight(instance, light);
    if (w <= threshold) continue;
    const int32_t stored =
        SaturateToInt32(std::max<int64_t>(ChebyshevDistance(&instance->world, &light->world) - instance->scaledSize, 0));
    LightSlot* lightest = nullptr;
    int32_t lightestWeight = kSlotSearchStart;
    bool placed = false;
    for (int32_t s = 0; s < slotCount; ++s) {
      if (slots[s].light == -1) {
        slots[s] = LightSlot{i, w, stored};
        placed = true;
        break;
      }
      if (slots[s].weight < lightestWeight) {
        lightestWeight = slots[s].weight;
        lightest = &slots[s];
      }
    }
    if (placed || !lightest) continue;
    if (w > lightest->weight) *lightest = LightSlot{i, w, stored};
    else threshold = lightest->weight;
  }
  // Stable, so equal weights keep their slot order and a frame repeats exactly.
  int32_t filled = 0;
  while (filled < slotCount && slots[filled].light > -1) ++filled;
  std::stable_sort(slots, slots + filled, [](const LightSlot& a, const LightSlot& b) { return a.weight > b.weight; });
}
