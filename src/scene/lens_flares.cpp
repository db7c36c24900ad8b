// Lens flares: the lens-flare scene with its camera and probe, the occlusion of flare nodes by
// the members of a camera's scene, and the flare sprites of each node in the lens-flare scene.
// Called by the engine frame once per frame and per drawn camera. A node's flare type is checked
// against the engine's type table and its elements against the node's slots before either is
// used; a sprite that cannot be made is left out.
#include "scene/lens_flares.h"

#include <algorithm>
#include <cmath>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/render_matrices.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_tree.h"
#include "scene/pass_gathering.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"

namespace {

constexpr uint32_t kSpriteHidden = 0x100000;
constexpr int32_t kViewportEdge = 0x10000;
constexpr int32_t kViewportCentre = 0x8000;

// The row of a lensflare element.
enum ElementWord { kElementBody, kElementPosition, kElementDarkSize, kElementBrightSize, kElementRoll };

SceneRecord* FlareScene() { return gEngine3D ? gEngine3D->lensFlareScene : nullptr; }

CameraRecord* FirstCamera(SceneRecord* scene) {
  ListNode* node = scene ? ListFirst(&scene->cameras) : nullptr;
  return node ? ListRecord<CameraRecord>(node) : nullptr;
}

// Calls fn(scene, camera) for every enabled camera of every enabled scene but the lens-flare one.
template <typename Fn>
void ForEachSourceCamera(Fn fn) {
  if (!gEngine3D) return;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    if (scene == FlareScene() || !(scene->flags & kSceneEnabled)) continue;
    for (ListNode* c = ListFirst(&scene->cameras); c; c = ListNext(c)) {
      CameraRecord* camera = ListRecord<CameraRecord>(c);
      if (camera->instance.flags & kInstCamera && (camera->cameraFlags & kCameraEnabled)) fn(scene, camera);
    }
  }
}

// The view's width and height relative to a 4:3 frame: the camera's own, or the screen's when
// either word is below 1.
void Aspect(const CameraRecord* camera, double* width, double* height) {
  if (camera && camera->aspectWidth >= 1 && camera->aspectHeight >= 1) {
    *width = camera->aspectWidth;
    *height = camera->aspectHeight;
    return;
  }
  *width = gSystem && gSystem->screenWidth > 0 ? gSystem->screenWidth : 4;
  *height = gSystem && gSystem->screenHeight > 0 ? gSystem->screenHeight : 3;
}

// True when the ray from the camera towards the node's screen point passes through the
// occluder, before the source: a box pre-test of the occluder's position against the ray, then
// its bounding sphere.
bool ProbeHitsInstance(InstanceRecord* probe, InstanceRecord* occluder, double sourceDistance, const double dir[3]) {
  if (occluder == probe) return false;
  const double total = B3D_InstGetTotalSize(occluder);
  if (total <= 0) return false;
  const double ox = double(occluder->world.x) - probe->world.x;
  const double oy = double(occluder->world.y) - probe->world.y;
  const double oz = double(occluder->world.z) - probe->world.z;
  const double along = ox * dir[0] + oy * dir[1] + oz * dir[2];
  if (along <= 0) return false;
  const double length = std::min(along + 2 * total, sourceDistance);
  if (along - total > length) return false;
  const double nx = ox - along * dir[0], ny = oy - along * dir[1], nz = oz - along * dir[2];
  const double half = 2 * total;
  if (std::fabs(nx) > half || std::fabs(ny) > half || std::fabs(nz) > half) return false;
  return nx * nx + ny * ny + nz * nz < total * total;
}

void FreeSprites(CameraNode* node) {
  for (InstanceRecord*& sprite : node->owned) {
    if (sprite) FreeInstance(sprite);
    sprite = nullptr;
  }
}

const LensflareRow* FlareRow(const CameraNode* node) {
  const EngineState3D& e = *gEngine3D;
  if (!e.lensFlareTypes || node->flareType < 0 || node->flareType >= e.lensFlareTypeCount) return nullptr;
  const LensflareRow* row = &e.lensFlareTypes[node->flareType];
  if (row->elementCount < 0 || (row->elementCount > 0 && !row->elements)) return nullptr;
  return row;
}

void PlaceSprites(CameraNode* node, SceneRecord* flareScene, double aspectW, double aspectH) {
  const LensflareRow* row = FlareRow(node);
  if (!row) return;
  const int32_t elements = std::min(row->elementCount, kCameraNodeOwnedCount);
  int32_t c = 0;
  if (const InstanceRecord* source = node->key) {
    for (const int16_t component : source->lightColor) {
      const int32_t byte = std::clamp<int32_t>(component, 0, 255);
      c = std::max(c, byte << 8 | byte);
    }
  }
  // Screen y grows downwards, the lens-flare camera's y upwards: a source above the centre has
  // its sprites above it.
  const double x = double(node->screenX - kViewportCentre), y = double(kViewportCentre - node->screenY);
  const uint32_t offsetAngle = static_cast<uint32_t>(std::lround(std::atan2(y, x) / (2 * M_PI) * 65536.0)) & 0xFFFF;
  for (int32_t i = 0; i < elements; ++i) {
    const LensflareElement& element = row->elements[i];
    InstanceRecord*& sprite = node->owned[i];
    if (!sprite) {
      sprite = B3D_InstAlloc();
      if (!sprite) continue;
      if (B3D_InstSetBody(sprite, element.words[kElementBody])) {
        if (BodyRecord* body = LoadBody(element.words[kElementBody])) body->flags |= kBodyFlareSprite;
      }
      B3D_InstSetRot(sprite, 0, 0, 0);
      AddInstanceToScene(sprite, flareScene);
      sprite->name = FreeString(sprite->name);
    }
    const double factor = element.words[kElementPosition] / 65536.0;
    sprite->world.x = static_cast<int32_t>(x * factor * aspectW);
    sprite->world.y = static_cast<int32_t>(y * factor * aspectH);
    sprite->world.z = node->depth;
    sprite->position = sprite->world;
    sprite->flags |= kInstVisible;
    sprite->cameraPos = sprite->world;
    const int64_t dark = element.words[kElementDarkSize], bright = element.words[kElementBrightSize];
    int64_t s;
    if (c <= 0) s = 100 * dark;
    else if (c >= 0x10000) s = 100 * bright;
    else s = (dark + bright) * 100 / 2 + (bright - dark) * 100 * (c - 0x8000) / 0x10000;
    sprite->size = static_cast<int32_t>(std::clamp<int64_t>((s * node->brightness) >> 16, INT32_MIN, INT32_MAX));
    sprite->flags &= ~kSpriteHidden;
    const int32_t rollFactor = element.words[kElementRoll];
    const uint32_t roll = rollFactor ? (static_cast<uint32_t>(rollFactor) * offsetAngle) & 0xFFFF : 0;
    B3D_InstSetRot(sprite, 0, 0, static_cast<int32_t>(roll));
    // No matrix pass runs over the lens-flare scene: the sprite's world copies are made here.
    sprite->worldMatrix = sprite->matrix;
  }
}

}  // namespace

SceneRecord* EnsureLensFlareScene() {
  if (!gEngine3D) return nullptr;
  EngineState3D& e = *gEngine3D;
  if (!e.lensFlareScene) {
    SceneRecord* scene = B3D_SceneAlloc();
    if (!scene) return nullptr;
    B3D_SceneSetName(scene, kLensFlareSceneName);
    if (CameraRecord* camera = B3D_CameraAlloc()) {
      B3D_CameraAddToScene(camera, scene);
      B3D_InstSetPos(&camera->instance, 0, 0, 0);
      B3D_InstSetRot(&camera->instance, 0, 0, 0);
    }
    e.lensFlareScene = scene;
    if (InstanceRecord* probe = B3D_InstAlloc()) {
      e.lensFlareInstance = probe;
      B3D_InstSetBody(probe, kLensFlareProbeBody);
      probe->name = FreeString(probe->name);
      B3D_InstMakeRapidBox(probe, 0);
    }
  } else if (e.lensFlareInstance && LoadBody(kLensFlareProbeBody) && !(e.lensFlareInstance->flags & kInstCollisionMade)) {
    B3D_InstMakeRapidBox(e.lensFlareInstance, 0);
  }
  return e.lensFlareScene;
}

bool FlareNodeOccluded(CameraNode* node, CameraRecord* camera) {
  if (!gSystem || !(gSystem->textureOptions & kTextureOptionLensFlares)) return true;
  if (!node || !camera || !gEngine3D) return false;
  if (node->screenX < 0 || node->screenX > kViewportEdge || node->screenY < 0 || node->screenY > kViewportEdge) {
    return false;
  }
  if (camera->cameraFlags & kCameraFlaresBlocked) return true;
  InstanceRecord* probe = gEngine3D->lensFlareInstance;
  if (!probe) return false;

  // The ray through the screen point, in camera space, then into the world by the camera's rows.
  double aspectW = 0, aspectH = 0;
  Aspect(camera, &aspectW, &aspectH);
  const double half = std::tan(double(camera->fieldOfView & 0xFFFF) / 65536.0 * M_PI);
  const double vx = (node->screenX - kViewportCentre) / double(kViewportCentre) * half;
  const double vy = -(node->screenY - kViewportCentre) / double(kViewportCentre) * half * aspectH / aspectW * 4 / 3;
  const FixedMatrix& m = camera->instance.worldMatrix;
  double dir[3];
  for (int i = 0; i < 3; ++i) dir[i] = (vx * m.m[0][i] + vy * m.m[1][i] + m.m[2][i]) / 65536.0;
  const double length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
  if (length <= 0) return false;
  for (double& d : dir) d /= length;
  probe->size = probe->sizeVector[0] = 0x10000;
  if (!(probe->flags & kInstCollisionMade)) B3D_InstMakeRapidBox(probe, 0);
  probe->world = camera->instance.world;
  uint32_t yaw = 0, pitch = 0;
  const FixedVector facing{static_cast<int32_t>(dir[0] * 65536), static_cast<int32_t>(dir[1] * 65536),
                           static_cast<int32_t>(dir[2] * 65536), 0};
  AnglesFromVector(&facing, &yaw, &pitch);
  MatrixFromAngles(&probe->worldMatrix, yaw, pitch, 0);

  if (!camera->nearInstances[0]) {
    gCameraNearCount = 0;
    if (SceneRecord* scene = camera->instance.scene) {
      for (ListNode* n = ListFirst(&scene->members); n && gCameraNearCount < kCameraNearInstanceCount; n = ListNext(n)) {
        CameraCollectNearInstances(InstanceOfNode(n), camera);
      }
    }
    if (gCameraNearCount < kCameraNearInstanceCount) camera->nearInstances[gCameraNearCount] = nullptr;
  }
  const double sourceDistance =
      node->key ? std::sqrt(std::pow(double(node->key->world.x) - probe->world.x, 2) +
                            std::pow(double(node->key->world.y) - probe->world.y, 2) +
                            std::pow(double(node->key->world.z) - probe->world.z, 2))
                : 1e300;
  for (InstanceRecord* occluder : camera->nearInstances) {
    if (!occluder) break;
    if (occluder != node->key && ProbeHitsInstance(probe, occluder, sourceDistance, dir)) return true;
  }
  return false;
}

void LensFlareOcclusion(CameraRecord* camera) {
  if (!camera) return;
  ForEachSourceCamera([camera](SceneRecord*, CameraRecord* other) {
    if (other->priority > camera->priority) return;
    for (ListNode* n = ListFirst(&other->nodes); n; n = ListNext(n)) {
      CameraNode* node = ListRecord<CameraNode>(n);
      if (node->visible && FlareNodeOccluded(node, camera)) node->visible = 0;
    }
  });
}

void UpdateLensFlares() {
  SceneRecord* flareScene = FlareScene();
  if (!flareScene) return;
  double aspectW = 0, aspectH = 0;
  Aspect(FirstCamera(flareScene), &aspectW, &aspectH);
  // Screen fractions of the 4:3 frame: only the screen's shape counts, never its size in pixels
  // (a 1024x768 screen is the 4:3 frame). The view keeps its width and its height follows the
  // shape, as in the occlusion test.
  const double shape = aspectW > 0 && aspectH > 0 ? aspectH / aspectW * 4 / 3 : 1;
  aspectW = 1;
  aspectH = shape;
  ForEachSourceCamera([&](SceneRecord*, CameraRecord* camera) {
    for (ListNode* n = ListFirst(&camera->nodes); n; n = ListNext(n)) {
      CameraNode* node = ListRecord<CameraNode>(n);
      node->intensity = node->visible ? std::min(node->intensity + kFlareIntensityStep, kFlareIntensityMax)
                                      : std::max(node->intensity - kFlareIntensityStep, 0);
      if (node->intensity < 1) FreeSprites(node);
      else PlaceSprites(node, flareScene, aspectW, aspectH);
    }
  });
}
