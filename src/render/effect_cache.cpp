// The effect cache: effect objects loaded by name from the device's shader folder into the scene
// engine's effect registry, their release, and the small device services of the render passes
// (release before a device reset, gamma ramp, whole-surface viewport, end of scene). Called by
// every drawing unit, the device reset and the scene engine's gamma setting. Never keeps an
// interface whose creation failed, and never leaves a failed name in the registry.
#include "render/effect_cache.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "platform/gpu_effect.h"
#include "platform/gpu_envmap.h"
#include "render/d3d_context.h"
#include "render/draw_batches.h"
#include "render/effect_textures.h"
#include "render/environment_map.h"
#include "render/screen_effects.h"
#include "render/state_manager.h"
#include "render/texture_table.h"
#include "scene/effect_records.h"
#include "scene/engine_records.h"
#include "scene/scene_records.h"

namespace {

constexpr int32_t kVariantCount = 2;
constexpr uint32_t kGammaMax = 255;

EffectRegistryCalls gRegistry{};

GpuDevice* Device() { return gDirect3D && gDirect3D->device ? gDirect3D->device->device : nullptr; }

bool IsOutOfMemory(GpuResult result) { return result == kGpuErrOutOfMemory || result == kGpuErrOutOfVideoMemory; }

bool ValidVariant(int32_t variant) { return variant >= 0 && variant < kVariantCount; }

// Frees the object after a failed load and detaches it from its entry.
EffectObject* FailLoad(EffectEntry* entry) {
  EffectObjectRelease(entry->effect);
  entry->effect = nullptr;
  return nullptr;
}

}  // namespace

void SetEffectRegistryCalls(const EffectRegistryCalls* calls) { gRegistry = calls ? *calls : EffectRegistryCalls{}; }

EffectObject* EffectGetOrLoad(const char* name, int32_t variant) {
  if (!ValidVariant(variant) || !gRegistry.find || !gRegistry.add) return nullptr;
  EffectEntry* entry = gRegistry.find(name);
  if (!entry) entry = gRegistry.add(name);
  if (!entry) return nullptr;
  if (EffectObject* object = EffectEntryLoad(entry, variant)) return object;
  if (gRegistry.free) gRegistry.free(entry);
  return nullptr;
}

EffectObject* EffectEntryLoad(EffectEntry* entry, int32_t variant) {
  if (!entry || !ValidVariant(variant)) return nullptr;
  if (entry->effect && entry->effect->effects[variant]) return entry->effect;
  EffectObject* object = LoadEffectFile(entry, variant);
  return object && object->effects[variant] ? object : nullptr;
}

EffectObject* LoadEffectFile(EffectEntry* entry, int32_t variant) {
  if (!entry || !ValidVariant(variant)) return nullptr;
  if (!entry->effect) {
    entry->effect = static_cast<EffectObject*>(MemAlloc(sizeof(EffectObject), 0));
    if (!entry->effect) return nullptr;
  }
  EffectObject* object = entry->effect;
  GpuDevice* device = Device();
  const char* folder = device ? gDirect3D->device->shaderFolder : nullptr;
  if (!device || !folder || !entry->name) return FailLoad(entry);

  const std::string path = std::string("shader\\") + folder + "\\" + entry->name;
  char* data = LoadGameFile(path.c_str(), "fb", false);
  if (!data) return FailLoad(entry);
  const uint32_t size = gLastReadSize;

  GpuxEffect* effect = nullptr;
  std::string errors;
  GpuResult result = GpuxCreateEffect(device, data, size, path.c_str(), &effect, &errors);
  if (IsOutOfMemory(result)) {
    RunLowMemoryHookForGpu(result);
    result = GpuxCreateEffect(device, data, size, path.c_str(), &effect, &errors);
  }
  MemFree(data, size, 0);
  if (GpuFailed(result) || !effect) {
    // The project's own effect files must be debuggable: the message names the file and line.
    if (!errors.empty()) std::fprintf(stderr, "%s\n", errors.c_str());
    return FailLoad(entry);
  }
  object->name = ReplaceString(object->name, entry->name);
  if (GpuxEffect* old = object->effects[variant]) {
    EffectTexturesUnbindEffect(old);
    old->Release();
  }
  object->effects[variant] = effect;
  if (gDirect3D->stateManager) effect->SetStateManager(gDirect3D->stateManager);
  return object;
}

void EffectObjectRelease(EffectObject* object) {
  if (!object) return;
  object->name = FreeString(object->name);
  for (GpuxEffect*& effect : object->effects) {
    if (!effect) continue;
    EffectTexturesUnbindEffect(effect);
    effect->Release();
    effect = nullptr;
  }
  MemFree(object, sizeof(EffectObject), 0);
}

void RendererOnLostDevice() {
  TexturesUnlockAll();
  if (gEngine3D) {
    for (ListNode* node = ListFirst(&gEngine3D->scenes); node; node = ListNext(node)) {
      SceneRecord* scene = ListRecord<SceneRecord>(node);
      SceneBatchRelease(scene);
      // The draw objects' vertex buffers live in the default pool; their records come back
      // empty with the next frame's batch build.
      for (ListNode* e = ListFirst(&scene->renderEntries); e; e = ListNext(e)) {
        RenderEntry* entry = ListRecord<RenderEntry>(e);
        for (ListNode* n = ListFirst(&entry->nodes); n; n = ListNext(n)) VbRecRelease(ListRecord<RenderEntryNode>(n));
      }
    }
  }
  if (gRegistry.onLostDevice) gRegistry.onLostDevice();
  if (gEnvMapRenderer) {
    gEnvMapRenderer->OnLostDevice();
    gEnvMapRenderer->Release();
    gEnvMapRenderer = nullptr;
  }
  if (gEnvCubeTexture) {
    gEnvCubeTexture->Release();
    gEnvCubeTexture = nullptr;
  }
  BloomReleaseTargets();
}

void GammaRampBuild(uint32_t value) {
  // Above 255 the exponent turns negative and the entries leave the 16-bit range.
  const uint32_t v = std::min(value, kGammaMax);
  const float exponent = static_cast<float>(std::log(v / 255.0) / std::log(0.5));
  GpuGammaRamp ramp;
  for (int i = 0; i < 256; ++i) {
    const double entry = std::pow(i / 255.0, static_cast<double>(exponent)) * 65535.0;
    const auto level = static_cast<uint16_t>(std::clamp(entry, 0.0, 65535.0));
    ramp.red[i] = ramp.green[i] = ramp.blue[i] = level;
  }
  if (GpuDevice* device = Device()) device->SetGammaRamp(0, 0, &ramp);
}

GpuResult SetViewportFromSurface(GpuSurface* surface) {
  GpuDevice* device = Device();
  if (!device || !surface) return kGpuErrInvalidCall;
  GpuSurfaceDesc desc{};
  surface->GetDesc(&desc);
  const GpuViewport viewport{0, 0, desc.width, desc.height, 0.0f, 1.0f};
  return device->SetViewport(&viewport);
}

void DeviceEndScene() {
  if (GpuDevice* device = Device()) device->EndScene();
}

void DeviceBeginScene() {
  if (GpuDevice* device = Device()) device->BeginScene();
}
