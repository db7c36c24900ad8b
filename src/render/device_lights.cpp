// Device lights: the D3DLightRecord of each light instance, filled from the light's kind,
// colour, range and attenuation, moved with the light, and numbered for the lights chosen per
// pass. Called by the scene engine's light setters, its render-data set-up and per-instance
// update, and the part drawing. Holds no device: the drawing code sets the lights it reads here.
#include "render/device_lights.h"

#include <algorithm>
#include <cmath>

#include "core/memory.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"

namespace {

constexpr uint32_t kRendererMemFlags = MemCategoryFlags(kMemCatMaterial);
constexpr float kFixedToFloat = 1.0f / 65536.0f;
constexpr float kColourToFloat = 0.00390625f;  // 256 is full intensity
constexpr float kDefaultSceneScale = 0.01f;
constexpr float kSpotTheta = 0.5233333f;  // radians
constexpr float kSpotPhi = 0.785f;

enum class LightKind { Spot, Point, Directional };

LightKind KindOf(const InstanceRecord* light) {
  if (light->flags & kInstSpotLight) return LightKind::Spot;
  if (light->flags & kInstPointLight) return LightKind::Point;
  return LightKind::Directional;
}

}  // namespace

bool LightCreateD3DLight(InstanceRecord* light) {
  if (!light || light->deviceLight) return false;
  auto* record = static_cast<D3DLightRecord*>(MemAlloc(sizeof(D3DLightRecord), kRendererMemFlags));
  if (!record) return false;
  record->slot = -1;
  light->deviceLight = record;
  LightGetD3DLight(light);
  return true;
}

D3DLightRecord* LightGetD3DLight(InstanceRecord* light) {
  if (!light || !light->deviceLight) return nullptr;
  GpuLight& l = light->deviceLight->light;
  switch (KindOf(light)) {
    case LightKind::Spot: l.type = kGpuLightSpot; break;
    case LightKind::Point: l.type = kGpuLightPoint; break;
    case LightKind::Directional:
      l.type = kGpuLightDirectional;
      // Sun lights always rank high in the light choice.
      light->flags |= kInstLightRankedHigh;
      break;
  }
  l.diffuse = GpuColorValue{light->lightColor[0] * kColourToFloat, light->lightColor[1] * kColourToFloat,
                            light->lightColor[2] * kColourToFloat, 1.0f};
  l.specular = GpuColorValue{1.0f, 1.0f, 1.0f, 1.0f};
  l.ambient = GpuColorValue{0.0f, 0.0f, 0.0f, 0.0f};
  l.position = GpuVector3{0.0f, 0.0f, 0.0f};
  l.direction = GpuVector3{0.0f, 0.0f, 1.0f};
  if (light->scene) {
    const float range = static_cast<float>(light->lightRange) * light->scene->systemScale;
    l.range = range;
    l.attenuation0 = static_cast<int32_t>(light->words31[0]) * kFixedToFloat;
    l.attenuation1 = static_cast<int32_t>(light->words31[1]) * kFixedToFloat / range;
    l.attenuation2 = static_cast<int32_t>(light->words31[2]) * kFixedToFloat / (range * range);
  }
  l.falloff = 1.0f;
  if (l.type == kGpuLightSpot) {
    l.theta = kSpotTheta;
    l.phi = kSpotPhi;
  }
  return light->deviceLight;
}

bool LightUpdateD3DPosition(InstanceRecord* light) {
  if (!light || !light->deviceLight) return false;
  D3DLightRecord& record = *light->deviceLight;
  const float scale = light->scene ? light->scene->systemScale : kDefaultSceneScale;
  record.light.position = GpuVector3{light->world.x * scale, light->world.y * scale, light->world.z * scale};
  switch (KindOf(light)) {
    case LightKind::Spot: {
      const int32_t* forward = light->worldMatrix.m[2];
      record.light.direction =
          GpuVector3{forward[0] * kFixedToFloat, forward[1] * kFixedToFloat, forward[2] * kFixedToFloat};
      break;
    }
    case LightKind::Directional: {
      // The light shines from its position towards the origin.
      FixedVector unit = light->world;
      FixedVectorNormalize(&unit);
      record.light.direction = GpuVector3{-unit.x * kFixedToFloat, -unit.y * kFixedToFloat, -unit.z * kFixedToFloat};
      break;
    }
    case LightKind::Point: break;
  }
  record.slot = -1;
  return true;
}

void AssignLightSlots() {
  if (!gEngine3D) return;
  const int32_t count = std::min(gEngine3D->lightSlotCount, kLightSlotCapacity);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t index = gEngine3D->lightSlots[i].light;
    if (index < 0 || index >= kActiveLightCapacity) continue;
    InstanceRecord* light = gEngine3D->activeLights[index];
    if (light && light->deviceLight) light->deviceLight->slot = i;
  }
}

bool D3DLightFree(D3DLightRecord* record) {
  if (record) MemFree(record, sizeof(D3DLightRecord), kRendererMemFlags);
  return true;
}

void FixedVectorNormalize(FixedVector* v) {
  if (!v || (v->x == 0 && v->y == 0 && v->z == 0)) return;
  const double length = std::sqrt(double(v->x) * v->x + double(v->y) * v->y + double(v->z) * v->z) / 65536.0;
  v->x = TruncateToInt32(v->x / length);
  v->y = TruncateToInt32(v->y / length);
  v->z = TruncateToInt32(v->z / length);
}
