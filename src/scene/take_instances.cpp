// Take instances: which object each path of a take's cut drives, made when the take is built,
// and their release with the take. Called by the take natives and the engine's reset. It frees
// only the objects in the take's own slots, and re-reads each slot after every free, since
// freeing one object clears every take slot that named it.
#include "scene/take_instances.h"

#include "core/hash_table.h"
#include "core/memory.h"
#include "render/device_lights.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/scene_cameras.h"
#include "scene/scene_update.h"
#include "scene/take_records.h"
#include "scene/takes_jobs.h"

namespace {

// Path body ids with a meaning of their own.
constexpr int32_t kBodyTakeCamera = -1;
constexpr int32_t kBodyRangedLight = -2;
constexpr int32_t kBodyColourLight = 1000;  // 1000..1999
constexpr int32_t kBodyFlareLight = 2000;   // 2000..2999
constexpr int32_t kBodySpotLight = 3000;    // 3000..3999
constexpr int32_t kBodyColourEnd = 4000;

constexpr int32_t kFixedOne = 0x10000;
constexpr int32_t kRangedLightRange = 300000;
constexpr int32_t kSpotLightRange = 1000000;

void SetAttenuation(InstanceRecord* light, int32_t a, int32_t b, int32_t c) {
  light->words31[0] = static_cast<uint32_t>(a);
  light->words31[1] = static_cast<uint32_t>(b);
  light->words31[2] = static_cast<uint32_t>(c);
}

// The three decimal digits of n are red, green and blue in ninths of full brightness.
void SetDigitColour(InstanceRecord* light, int32_t n) {
  B3D_LightSetColor(light, (n / 100) * 255 / 9, ((n % 100) / 10) * 255 / 9, (n % 10) * 255 / 9);
}

InstanceRecord* MakeLight(int32_t bodyId) {
  InstanceRecord* light = B3D_LightAlloc();
  if (!light) return nullptr;
  if (bodyId == kBodyRangedLight) {
    light->lightRange = kRangedLightRange;
    SetAttenuation(light, kFixedOne, 0, 8 * kFixedOne);
    light->flags |= kInstPointLight;
  } else if (bodyId < kBodyFlareLight) {
    SetDigitColour(light, bodyId - kBodyColourLight);
  } else if (bodyId < kBodySpotLight) {
    SetDigitColour(light, bodyId - kBodyFlareLight);
    light->flags |= kInstLensFlareSource;
    light->flareType = 0;
  } else {
    SetDigitColour(light, bodyId - kBodySpotLight);
    light->flags |= kInstSpotLight;
    SetAttenuation(light, 0, 10 * kFixedOne, 0);
    light->lightRange = kSpotLightRange;
    B3D_InstSetRot(light, 0, 0, 0);
  }
  if (light->deviceLight) LightGetD3DLight(light);
  return light;
}

// The object of one path; null for a path that drives nothing.
InstanceRecord* MakePathObject(TakeRecord* take, const PathRecord* path, CameraRecord* camera) {
  const auto bodyId = static_cast<int32_t>(path->lookupWord);
  if (bodyId == kBodyTakeCamera) {
    if (!camera || take->instance) return nullptr;
    take->instance = &camera->instance;
    return &camera->instance;
  }
  if (bodyId == kBodyRangedLight || (bodyId >= kBodyColourLight && bodyId < kBodyColourEnd)) return MakeLight(bodyId);
  if (!(path->flags & kPathNamesBody)) return nullptr;
  InstanceRecord* instance = B3D_InstAlloc();
  if (instance) B3D_InstSetBody(instance, bodyId);
  return instance;
}

void FreeSlots(TakeRecord* take) {
  EngineFree(take->instances, static_cast<uint32_t>(take->instanceCount) * kTakeSlotNominalBytes);
  take->instances = nullptr;
  take->instanceCount = 0;
}

}  // namespace

bool TakeBuildInstances(TakeRecord* take, CutRecord* cut, SceneRecord* scene, CameraRecord* camera) {
  if (!take || !cut) return false;
  take->cutHandle = cut->handle;
  take->scene = scene;
  const int32_t count = cut->paths && cut->pathCount > 0 ? cut->pathCount : 0;
  if (count > 0) {
    auto** slots = static_cast<InstanceRecord**>(EngineAlloc(sizeof(InstanceRecord*) * static_cast<size_t>(count),
                                                             static_cast<uint32_t>(count) * kTakeSlotNominalBytes));
    if (!slots) {
      // Without slots the take keeps no cut, so the next start builds again.
      take->cutHandle = 0;
      return false;
    }
    take->instances = slots;
  }
  take->instanceCount = count;
  take->instance = nullptr;
  for (int32_t n = 0; n < count; ++n) {
    InstanceRecord* object = MakePathObject(take, &cut->paths[n], camera);
    take->instances[n] = object;
    if (object && object != take->instance && scene) AddInstanceToScene(object, scene);
  }
  take->state = kTakeStopped;
  return true;
}

void TakeReleaseInstances(TakeRecord* take) {
  if (!take) return;
  for (int32_t i = 0; i < take->instanceCount && take->instances; ++i) {
    InstanceRecord* object = take->instances[i];
    if (!object) continue;
    if (SceneRecord* scene = take->scene; scene && object->scene == scene) {
      if (object->flags & kInstCamera) {
        B3D_CameraDeleteFromScene(scene, CameraOfInstance(object));
      } else {
        RemoveInstanceFromScene(object, scene);
      }
    }
    FreeInstance(object);
  }
  FreeSlots(take);
  take->instance = nullptr;
  take->cutHandle = 0;
  take->state = kTakeNew;
}

void J3D_TakeFree(TakeRecord* take) {
  if (!take) return;
  TakeReleaseInstances(take);
  if (gEngine3D) HashRemove(gEngine3D->takeTable, take->handle);
  TakeRecordFree(take);
}

bool J3D_TakeStart(TakeRecord* take, CutRecord* cut, SceneRecord* scene, CameraRecord* camera) {
  if (!take || !cut) return false;
  if (take->state == kTakeRunning) J3D_TakeStop(take);
  if (take->cutHandle != 0 && take->cutHandle != cut->handle) {
    // The release frees the camera when a camera path held it; a camera that went with it is
    // no camera for the new cut.
    const uint32_t cameraHandle = camera ? camera->instance.handle : 0;
    TakeReleaseInstances(take);
    if (camera && !GetCameraByHandle(cameraHandle)) camera = nullptr;
  }
  if (take->cutHandle == 0 && !TakeBuildInstances(take, cut, scene, camera)) return false;
  if (take->cutHandle == 0) return false;
  return TakeStartPaths(take);
}
