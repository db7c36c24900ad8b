// Render pass gathering: the per-camera scene update with the wrap camera's cube and streaks, the
// visibility, level and sound update of the members, one pass gathered into the draw list and the
// batch records, and the sorted list handed to the renderer. Called by the engine frame; never
// allocates a draw node while the pool has one, and never reads a body part past the body's count.
#include "scene/pass_gathering.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "render/draw_batches.h"
#include "render/instance_visibility.h"
#include "render/particle_drawing.h"
#include "render/render_matrices.h"
#include "render/texture_animation.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/lights.h"
#include "scene/part_draw.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"

namespace {

constexpr int32_t kWrapMask = 0x7FFFF;
constexpr int32_t kStreakFullMotion = 10000;
constexpr int32_t kCullSizeUnlimited = 0x7000000;
constexpr int32_t kPixelReference = 640;
constexpr int32_t kSmallCullSize = 20;
constexpr int32_t kDetailPixelSize = 32;
constexpr int32_t kSoundRangeBase = 37000;
constexpr int32_t kSoundNoteInterval = 5000;
constexpr uint32_t kSoundStartBits = 0x7;
constexpr uint32_t kSoundMuted = 0x8;
constexpr uint32_t kSoundPulled = 0x20;
constexpr uint32_t kMaterialAlwaysBit = 0x20000;
constexpr uint32_t kEntryFilled = kRenderEntryBit1;
constexpr int32_t kFlareDepth = 0x8000;

// The last time the listener camera's sounds noted the game time.
uint32_t gSoundNoteTime = 0;

int32_t Abs32(int32_t v) { return v < 0 ? (v == INT32_MIN ? INT32_MAX : -v) : v; }

int32_t LargestAbs(const FixedVector& v) { return std::max({Abs32(v.x), Abs32(v.y), Abs32(v.z)}); }

int64_t Distance(const FixedVector& a, const FixedVector& b) {
  const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
  return static_cast<int64_t>(std::sqrt(dx * dx + dy * dy + dz * dz));
}

BodyMesh* CurrentPart(InstanceRecord* instance, BodyRecord** bodyOut) {
  *bodyOut = nullptr;
  if (instance->bodyId < 0) return nullptr;
  BodyRecord* body = LoadBody(instance->bodyId);
  *bodyOut = body;
  if (!body || body->meshCount < 1 || !body->meshes) return nullptr;
  const int32_t level = std::clamp(instance->level, 0, body->meshCount - 1);
  return body->meshes[level];
}

// ---------------------------------------------------------------------------------------------
// Wrap camera.

void Streak(InstanceRecord* member, const FixedVector& motion) {
  const int32_t m = LargestAbs(motion);
  if (m <= kWrapHalfEdge && m >= 2) {
    uint32_t yaw = 0, pitch = 0;
    AnglesFromVector(&motion, &yaw, &pitch);
    MatrixFromAngles(&member->matrix, yaw, pitch, 0);
  } else {
    MatrixSetIdentity(&member->matrix);
  }
  const StreakScale scale = StreakScaleForMotion(m);
  member->scale.x = member->scale.y = scale.width;
  member->scale.z = scale.length;
}

// 16.16 fraction of 1 - |d| / half edge, never below 0.
int64_t Falloff(int32_t d) { return std::max<int64_t>(0, 0x10000 - (int64_t{Abs32(d)} << 16) / kWrapHalfEdge); }

void WrapAlpha(InstanceRecord* member, const CameraRecord* camera, const FixedVector& offset, double r) {
  const FixedMatrix& view = camera->instance.matrix;
  const int64_t depth = (int64_t{offset.x} * view.m[2][0] + int64_t{offset.y} * view.m[2][1] +
                         int64_t{offset.z} * view.m[2][2]) >> 16;
  const int64_t f = std::clamp<int64_t>((depth << 16) / kWrapHalfEdge, 0, 0x10000);
  int64_t alpha = 4080 * f;
  alpha = (alpha * Falloff(offset.x)) >> 16;
  alpha = (alpha * Falloff(offset.y)) >> 16;
  alpha = (alpha * Falloff(offset.z)) >> 16;
  alpha = std::clamp<int64_t>(alpha >> 16, 1, 255);
  if (r < 0.2) alpha = static_cast<int64_t>(double(alpha) * 5 * r);
  member->alphaOverride = static_cast<int32_t>(alpha);
  if (alpha < 5) member->flags2 |= kInst2WrapFaint;
  else member->flags2 &= ~kInst2WrapFaint;
}

void WrapMember(InstanceRecord* member, CameraRecord* camera) {
  const FixedVector& c = camera->instance.world;
  // A member turned with the camera: its orientation is relative to the camera's. Composed from
  // its own matrix, so a second wrap camera over the same scene does not turn it twice.
  if (member->flags & kInstFaceCamera) MatrixMultiply(&member->worldMatrix, &camera->instance.matrix, &member->matrix);
  if (member->flags & kInstLight) {
    member->world = c;
    return;
  }
  FixedVector offset{WrapOffset(member->world.x, c.x), WrapOffset(member->world.y, c.y),
                     WrapOffset(member->world.z, c.z), 0};
  member->world.x = c.x + offset.x;
  member->world.y = c.y + offset.y;
  member->world.z = c.z + offset.z;
  const bool streak = member->flags & kInstStreak;
  if (camera->cameraFlags & kCameraStreaks) {
    const FixedVector motion{offset.x - member->wrapOffset.x, offset.y - member->wrapOffset.y,
                             offset.z - member->wrapOffset.z, 0};
    member->wrapOffset = offset;
    if (streak) Streak(member, motion);
  }
  const double r = double(Distance(member->world, c)) / 0x100000;
  if (!streak) {
    WrapAlpha(member, camera, offset, r);
    return;
  }
  BodyRecord* body = member->bodyId >= 0 ? LoadBody(member->bodyId) : nullptr;
  if (body && body->meshCount > 0 && body->meshes[0] && body->meshes[0]->partCount > 0 && body->meshes[0]->parts[0]) {
    double size = 4.0 * body->meshes[0]->parts[0]->radius;
    if (r < 0.1) size *= 10 * r;
    member->size = static_cast<int32_t>(size);
    member->alphaOverride = static_cast<int32_t>(76.5 * r + 178.5);
  }
}

// ---------------------------------------------------------------------------------------------
// Visibility and level.

void Hide(InstanceRecord* instance) { instance->flags &= ~kInstVisible; }

int32_t SizeLevel(const BodyRecord* body, int32_t pixelSize) {
  const int32_t last = body->meshCount - 1;
  if (gSystem && (gSystem->textureOptions & kTextureOptionDetail) && pixelSize < kDetailPixelSize) {
    pixelSize = static_cast<int32_t>(int64_t{pixelSize} * (gSystem->detailSetting + 10) / 110);
  }
  const float scale = gSystem ? gSystem->detailScale : 0.0f;
  for (int32_t part = last; part >= 1; --part) {
    const BodyMesh* mesh = body->meshes[part];
    if (mesh && float(mesh->distance) * scale > float(pixelSize)) return part;
  }
  return 0;
}

int32_t LevelByDistance(const BodyRecord* body, int64_t e) {
  const int32_t last = body->meshCount - 1;
  int32_t level = std::min(DistanceLevel(static_cast<int32_t>(std::clamp<int64_t>(e, INT32_MIN, INT32_MAX))), last);
  if (level > 0) {
    const BodyMesh* mesh = body->meshes[level];
    const BodyMesh* finer = body->meshes[level - 1];
    if (mesh && finer && (mesh->distance < 2 || int64_t{mesh->vertexCount} * 3 < finer->vertexCount)) --level;
  }
  return level;
}

void VisibilityAndLevel(InstanceRecord* instance, const InstanceRecord* parent, CameraRecord* camera, bool byDistance) {
  instance->flags2 &= ~kInst2LevelMarks;
  instance->level = 0;
  if (!parent && (instance->flags & kInstLevelByDistance)) byDistance = true;
  [&] {
    if (instance->flags & kInstInvisible) Hide(instance);
    if (instance->flags2 & kInst2LevelZero) return;
    if (parent && (instance->flags & kInstHiddenWithParent) && (!(parent->flags & kInstVisible) || parent->level != 0))
      Hide(instance);
    if (!(instance->flags & kInstVisible)) return;
    const FixedVector& view = instance->cameraPos;
    if (int64_t{view.z} + instance->size < 0) return Hide(instance);
    const bool streak = instance->flags & kInstStreak;
    if (streak) return;
    if ((camera->cameraFlags & kCameraSizeCulling) && instance->bodyId > 0 && (instance->flags & kInstFrameCull) &&
        LargestAbs(view) < instance->size)
      return Hide(instance);
    BodyRecord* body = instance->bodyId >= 0 ? LoadBody(instance->bodyId) : nullptr;
    const float scale = instance->scene ? instance->scene->systemScale : 0.01f;
    if (!InstProjectToScreen(instance, camera, scale, body)) return Hide(instance);
    const int64_t total = B3D_InstGetTotalSize(instance);
    const int64_t distance = Distance(instance->world, camera->instance.world);
    if ((camera->cameraFlags & kCameraFog) && !(instance->flags & kInstNotRangeCulled) &&
        distance > camera->fog[kCameraFogEnd] + total)
      return Hide(instance);

    const int64_t d = int64_t{LargestAbs(view)} * (camera->fieldOfView & 0xFFFF) / 16384;
    const int32_t half = gEngine3D ? gEngine3D->halfScreenWidth : 0;
    const int64_t cull = (d < half || (instance->flags & kInstNeverSizeCulled)) ? kCullSizeUnlimited
                                                                                : int64_t{instance->size} * half / d;
    const int64_t pixel =
        d < kPixelReference ? kCullSizeUnlimited : std::max<int64_t>(1, int64_t{instance->size} * kPixelReference / d);
    if (instance->minSize[0] > 0 && instance->minSize[0] > cull) instance->flags2 |= kInst2Coarse;
    else if (cull < kSmallCullSize) instance->flags2 |= kInst2Coarse | (1u << 19);
    if (camera->cameraFlags & kCameraCoarser) {
      instance->flags2 |= kInst2Coarse | (1u << 19);
      if (cull < kSmallCullSize) return Hide(instance);
    }
    const int32_t minSize = std::max(instance->minSize[0], instance->minSize[1]);
    if ((minSize > 0 && minSize > cull) || cull < 1) return Hide(instance);

    if (body && body->meshCount > 0 && !(instance->flags & kInstKeepLevel0)) {
      const int32_t last = body->meshCount - 1;
      int32_t level = byDistance ? LevelByDistance(body, d - total) : SizeLevel(body, static_cast<int32_t>(pixel));
      if (camera->cameraFlags & kCameraCoarser) ++level;
      instance->level = std::clamp(level, 0, last);
      if (instance->level == last && last > 0 && (instance->flags & kInstHiddenAtLastLevel)) return Hide(instance);
    }
    instance->flags &= ~0x100u;
    if (instance->level > 2) instance->flags2 |= kInst2Coarse;
  }();
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    VisibilityAndLevel(child, instance, camera, byDistance);
  }
}

// ---------------------------------------------------------------------------------------------
// Member sounds.

void StopSound(InstanceRecord* instance) {
  if (gSceneSoundHooks.stopChannel) gSceneSoundHooks.stopChannel(instance->soundChannel, instance->soundSample);
  instance->soundChannel = -1;
  instance->soundFlags &= ~kInstSoundPlaying;
}

void UpdateSound(InstanceRecord* instance, CameraRecord* camera, int32_t* counter) {
  if (instance->soundSample >= 0) {
    const int64_t range = 6 * int64_t{B3D_InstGetTotalSize(instance)} + kSoundRangeBase;
    const int64_t distance = Distance(instance->world, camera->instance.world);
    const bool muted = instance->soundFlags & kSoundMuted;
    if (!(instance->soundFlags & kInstSoundPlaying)) {
      if (distance < range && *counter < kSoundChannelLimit && !muted) {
        BodyRecord* body = instance->bodyId >= 0 ? LoadBody(instance->bodyId) : nullptr;
        const int32_t channel =
            body && gSceneSoundHooks.playLooped ? gSceneSoundHooks.playLooped(instance->soundSample, 255) : -1;
        if (channel < 0) {
          instance->soundSample = -1;
        } else {
          ++*counter;
          instance->soundChannel = channel;
          if (gSceneSoundHooks.setParameters) gSceneSoundHooks.setParameters(channel, &body->sound, kSoundVolumeOffset);
          instance->soundFlags = (instance->soundFlags & ~kSoundStartBits) | kInstSoundPlaying;
        }
      }
    } else if (distance > range || *counter >= kSoundChannelLimit || muted) {
      StopSound(instance);
    } else {
      ++*counter;
      FixedVector position = instance->cameraPos;
      if (instance->soundFlags & kSoundPulled) {
        const int32_t length = LargestAbs(position);
        const int32_t pull = B3D_InstGetTotalSize(instance);
        if (length > 0) {
          const double keep = std::max(0.0, 1.0 - double(pull) / length);
          position = {int32_t(position.x * keep), int32_t(position.y * keep), int32_t(position.z * keep), 0};
        }
      }
      const int32_t channel = instance->soundChannel;
      if (gSceneSoundHooks.setPosition) gSceneSoundHooks.setPosition(channel, &position, &instance->cameraVelocity);
      if (instance->volume != instance->lastVolume) {
        if (gSceneSoundHooks.setVolume) gSceneSoundHooks.setVolume(channel, instance->volume);
        instance->lastVolume = instance->volume;
      }
      // A started sound settles over three frames (bits 2, 4, 1) and is committed on the third.
      const uint32_t step = instance->soundFlags & kSoundStartBits;
      if (step == 0) instance->soundFlags |= 2;
      else if (step == 2) instance->soundFlags = (instance->soundFlags & ~kSoundStartBits) | 4;
      else if (step == 4) {
        instance->soundFlags = (instance->soundFlags & ~kSoundStartBits) | 1;
        if (gSceneSoundHooks.commit) gSceneSoundHooks.commit(channel);
      }
    }
  }
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    UpdateSound(child, camera, counter);
  }
}

// ---------------------------------------------------------------------------------------------
// Batches.

bool GroupsSmall(const BodyRecord* body) {
  for (int32_t m = 0; m < body->meshCount; ++m) {
    const BodyMesh* mesh = body->meshes[m];
    if (!mesh) continue;
    for (int32_t p = 0; p < mesh->partCount; ++p) {
      const BodyPart* part = mesh->parts[p];
      if (!part) continue;
      for (int32_t g = 0; g < part->groupCount; ++g) {
        if (part->groups[g].triangleCount > kBatchMaxGroupTriangles) return false;
      }
    }
  }
  return true;
}

// Whether the member may join its body's batch; clears a candidate that may not.
// A screen-space member never joins: the batches are drawn in the scene's space, which would put
// a HUD mark somewhere in the world instead of on the screen.
bool Batchable(InstanceRecord* member, const CameraRecord* camera, BodyRecord* body) {
  if (!(member->flags & kInstVisible) || !body) return false;
  if (member->flags2 & kInst2ScreenSpace) {
    member->flags2 &= ~kInst2BatchCandidate;
    return false;
  }
  if (member->flags & kInstBatchAlways) return true;
  if ((camera->cameraFlags & kCameraWrap) && (member->flags & kInstStreak)) return true;
  if (!(member->flags2 & kInst2BatchCandidate)) return false;
  if (body->id != kUnbatchedBody && GroupsSmall(body)) return true;
  member->flags2 &= ~kInst2BatchCandidate;
  return false;
}

int32_t BatchCapacity(const InstanceRecord* member) {
  if (member->flags & kInstStreak) return kBatchCapacityStreaks;
  if (member->flags & kInstBatchAlways) return kBatchCapacityAlways;
  return kBatchCapacityCandidates;
}

RenderEntry* BatchRecord(SceneRecord* scene, const InstanceRecord* member) {
  const auto key = static_cast<uint32_t>(member->bodyId);
  if (RenderEntry* entry = SceneRenderEntryFind(scene, key)) return entry;
  auto* entry = EngineAllocRecord<RenderEntry>(kRenderEntryNominalBytes);
  if (!entry) return nullptr;
  entry->key = key;
  ListInit(&entry->nodes);
  ListAddTail(&scene->renderEntries, &entry->node);
  return entry;
}

// Writes the member's current part into its batch; false leaves it to the normal path.
bool TakeIntoBatch(SceneRecord* scene, CameraRecord* camera, InstanceRecord* member) {
  BodyRecord* body = nullptr;
  BodyMesh* mesh = CurrentPart(member, &body);
  if (!mesh || !Batchable(member, camera, body)) return false;
  RenderEntry* entry = SceneRenderEntryFind(scene, static_cast<uint32_t>(member->bodyId));
  if (!entry || !(entry->flags & kRenderEntrySelected)) return false;
  if (entry->capacity == 0) entry->capacity = BatchCapacity(member);
  if (entry->word >= static_cast<uint32_t>(entry->capacity)) return false;
  for (int32_t p = 0; p < mesh->partCount; ++p) {
    BodyPart* part = mesh->parts[p];
    if (!part) continue;
    for (int32_t g = 0; g < part->groupCount; ++g) {
      RenderEntryNode* node = RenderEntryNodeGet(entry, static_cast<uint16_t>(p << 8 | g));
      if (!node) return false;
      if (node->verticesPerInstance == 0) node->verticesPerInstance = part->groups[g].triangleCount * 3;
      if (!VbRecBuild(scene, entry, node, member, part, &part->groups[g], camera)) return false;
    }
  }
  ++entry->word;
  entry->flags |= kEntryFilled;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Instance trees.

void OrientForCamera(InstanceRecord* instance, const CameraRecord* camera) {
  const uint32_t flags = instance->flags;
  if ((flags & kInstFaceCamera) && !(flags & kInstStreak)) {
    instance->worldMatrix = camera->instance.worldMatrix;
  } else if (flags & (kInstFaceLight | kInstKeepAxis)) {
    // Turn the instance's forward axis towards the camera.
    const FixedVector toCamera{camera->instance.world.x - instance->world.x, camera->instance.world.y - instance->world.y,
                               camera->instance.world.z - instance->world.z, 0};
    uint32_t yaw = 0, pitch = 0;
    AnglesFromVector(&toCamera, &yaw, &pitch);
    MatrixFromAngles(&instance->worldMatrix, yaw, (flags & kInstKeepAxis) ? 0 : pitch, 0);
  } else if (flags & kInstRollToView) {
    const double roll = std::atan2(double(instance->cameraPos.y), double(instance->cameraPos.x));
    FixedMatrix m = camera->instance.worldMatrix;
    MatrixFromAngles(&m, 0, 0, static_cast<uint32_t>(roll / (2 * M_PI) * 65536.0) & 0xFFFF);
    instance->worldMatrix = m;
  }
}

void NoteFlare(CameraRecord* camera, InstanceRecord* instance) {
  CameraNode* node = CameraNodeFind(camera, instance);
  if (!node) {
    node = EngineAllocRecord<CameraNode>(kCameraNodeNominalBytes);
    if (!node) return;
    node->camera = camera;
    node->key = instance;
    node->flareType = instance->flareType;
    node->depth = kFlareDepth;
    ListAddTail(&camera->nodes, &node->node);
  }
  const FixedVector& v = instance->cameraPos;
  if (v.z <= 100 || int64_t{v.z} <= 2 * int64_t{instance->size}) return;
  const double half = std::tan(double(camera->fieldOfView & 0xFFFF) / 65536.0 * M_PI);
  if (half <= 0) return;
  const double sx = double(v.x) / v.z / half, sy = double(v.y) / v.z / half;
  if (std::fabs(sx) > 1 || std::fabs(sy) > 1) return;
  node->screenX = 0x8000 + static_cast<int32_t>(sx * 0x8000);
  node->screenY = 0x8000 - static_cast<int32_t>(sy * 0x8000);
  const int32_t width = camera->viewport ? static_cast<int32_t>(camera->viewport->width) : 200;
  node->brightness = MulDiv(0x10000, width, 200);
  node->visible = 1;
}

}  // namespace

int32_t WrapOffset(int32_t p, int32_t c) {
  const uint32_t delta = static_cast<uint32_t>(p) - static_cast<uint32_t>(c) - kWrapHalfEdge;
  return static_cast<int32_t>(delta & kWrapMask) - kWrapHalfEdge;
}

StreakScale StreakScaleForMotion(int32_t m) {
  if (m < 1) return {kStreakShortLength, 0x10000};
  if (m >= kStreakFullMotion) return {kStreakLongLength, 0x8000};
  const int64_t t = 2 * int64_t{m} - kStreakFullMotion;
  return {static_cast<int32_t>(0xFD999 + 0x1C4CCD * t / 20000), static_cast<int32_t>(0xC000 - 0x8000 * t / 20000)};
}

int32_t DistanceLevel(int32_t e) {
  if (e >= 28500001) return 4;
  if (e >= 21000001) return 3;
  if (e >= 15500001) return 2;
  if (e > 7000000) return 1;
  return 0;
}

void UpdateSceneForCamera(SceneRecord* scene, CameraRecord* camera) {
  if (!scene || !camera) return;
  const bool wrap = camera->cameraFlags & kCameraWrap;
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    InstanceRecord* member = InstanceOfNode(node);
    if (wrap) WrapMember(member, camera);
    InstUpdateCameraCoords(member, &camera->instance);
  }
}

void UpdateMembersForCamera(SceneRecord* scene, CameraRecord* camera) {
  if (!scene || !camera) return;
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    VisibilityAndLevel(InstanceOfNode(node), nullptr, camera, false);
  }
  if (!gSystem || !(gSystem->audioFlags & kAudioListenerFollowsCamera) || !(camera->cameraFlags & kCameraListener)) {
    return;
  }
  int32_t counter = 0;
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    UpdateSound(InstanceOfNode(node), camera, &counter);
  }
  if (gSystem->gameTime - gSoundNoteTime > kSoundNoteInterval) gSoundNoteTime = gSystem->gameTime;
}

void RenderScenePass(SceneRecord* scene, CameraRecord* camera, int32_t pass, int32_t mode) {
  if (!gEngine3D || !scene || !camera) return;
  DrawListRelease();
  RenderEntriesResetPass(scene);
  for (ListNode* node = ListFirst(&scene->renderEntries); node; node = ListNext(node)) {
    ListRecord<RenderEntry>(node)->word = 0;
  }
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    InstanceRecord* member = InstanceOfNode(node);
    if (member->passNumber != pass) continue;
    BodyRecord* body = member->bodyId >= 0 ? LoadBody(member->bodyId) : nullptr;
    if (!Batchable(member, camera, body)) continue;
    if (RenderEntry* entry = BatchRecord(scene, member)) {
      ++entry->count;
      entry->size = 1;
    }
  }
  RenderEntriesSelect(scene);

  const bool ranges = camera->cameraFlags & kCameraFog;
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    InstanceRecord* member = InstanceOfNode(node);
    if (member->passNumber != pass || TakeIntoBatch(scene, camera, member)) continue;
    bool farMode = false;
    if (ranges && !(member->flags & kInstNotRangeCulled)) {
      const int64_t d = Distance(member->world, camera->instance.world);
      const int64_t s = B3D_InstGetTotalSize(member);
      if (d + s < camera->fog[kCameraFogStart]) {
        if (mode != 0) continue;
      } else if (d - s <= camera->fog[kCameraFogEnd]) {
        farMode = mode == 4;
      } else {
        continue;
      }
    } else if (mode != 0) {
      continue;
    }
    const uint32_t saved = member->flags2;
    if (farMode) member->flags2 |= kInst2FarRange;
    DrawInstanceTree(scene, &gEngine3D->drawList, camera, member);
    member->flags2 = saved;
  }

  for (ListNode* node = ListFirst(&scene->renderEntries); node; node = ListNext(node)) {
    RenderEntry* entry = ListRecord<RenderEntry>(node);
    if (!(entry->flags & kEntryFilled)) continue;
    for (ListNode* n = ListFirst(&entry->nodes); n; n = ListNext(n)) {
      RenderEntryNode* drawObject = ListRecord<RenderEntryNode>(n);
      if (drawObject->vertexBuffer && drawObject->vertexBuffer->filled > 0) {
        RenderBulletInstances(scene, entry, drawObject, camera);
      }
    }
  }
}

void DrawInstanceTree(SceneRecord* scene, ListHead* list, CameraRecord* camera, InstanceRecord* instance) {
  if (!instance || !camera || !list) return;
  BodyRecord* body = nullptr;
  BodyMesh* mesh = (instance->flags & kInstVisible) ? CurrentPart(instance, &body) : nullptr;
  if (mesh) {
    OrientForCamera(instance, camera);
    InstSelectLights(instance);
    for (int32_t p = 0; p < mesh->partCount; ++p) {
      BodyPart* group = mesh->parts[p];
      if (!group || (group->flags & kGroupSkipped)) continue;
      const bool direct = !(group->flags & kGroupSorted) && !(instance->flags & kInstBatchAlways) &&
                          !(instance->flags2 & kInst2Sorted);
      if (direct) {
        InstBuildRenderMatrix(group->renderSection, instance, camera);
        DrawInstancePart(group, instance, camera);
        continue;
      }
      // The group's centre in camera space: rotated by the instance, scaled by its size.
      const FixedVector& c = group->centre;
      const FixedMatrix& w = instance->worldMatrix;
      const FixedMatrix& v = camera->instance.worldMatrix;
      const double wx = double(c.x) * w.m[0][0] + double(c.y) * w.m[1][0] + double(c.z) * w.m[2][0];
      const double wy = double(c.x) * w.m[0][1] + double(c.y) * w.m[1][1] + double(c.z) * w.m[2][1];
      const double wz = double(c.x) * w.m[0][2] + double(c.y) * w.m[1][2] + double(c.z) * w.m[2][2];
      const double depth = (wx * v.m[2][0] + wy * v.m[2][1] + wz * v.m[2][2]) / 65536.0 / 65536.0 / 65536.0;
      DrawListNode* node = DrawListNodeAlloc();
      if (!node) continue;  // no memory: this group stays undrawn, the rest of the pass goes on
      if (&gEngine3D->drawList != list) {
        ListRemove(&node->node);
        ListAddTail(list, &node->node);
      }
      node->group = group;
      node->part = mesh;
      node->instance = instance;
      node->sortKey = static_cast<int32_t>(
          std::clamp(depth * instance->size + instance->cameraPos.z, double(INT32_MIN), double(INT32_MAX)));
      node->flag = 0;
    }
  }
  if ((instance->flags & kInstLensFlareSource) && (camera->cameraFlags & kCameraLensFlares)) NoteFlare(camera, instance);
  const bool far = instance->flags2 & kInst2FarRange;
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    const uint32_t saved = child->flags2;
    if (far) child->flags2 |= kInst2FarRange;
    DrawInstanceTree(scene, list, camera, child);
    child->flags2 = saved;
  }
}

void DrawPassList(CameraRecord* camera) {
  if (!gEngine3D || !camera) return;
  const bool always = !gSystem || !(gSystem->textureOptions & kTextureOptionMaterialRule);
  const InstanceRecord* previous = nullptr;
  for (ListNode* n = ListFirst(&gEngine3D->drawList); n; n = ListNext(n)) {
    DrawListNode* node = ListRecord<DrawListNode>(n);
    InstanceRecord* instance = node->instance;
    if (!instance || !node->group) continue;
    if (instance != previous) {
      InstBuildRenderMatrix(node->group->renderSection, instance, camera);
      if ((instance->flags & kInstTexAnimChanged) && instance->texAnims) {
        TexAnimUpdate(instance->texAnimCount, instance->texAnims);
      }
      previous = instance;
    }
    BodyRecord* body = instance->bodyId >= 0 ? LoadBody(instance->bodyId) : nullptr;
    const bool set = node->flag || always;
    for (int32_t g = 0; body && g < node->group->groupCount; ++g) {
      const int32_t m = node->group->groups[g].material;
      if (m < 0 || m >= body->materialCount) continue;
      if (set) body->materials[m].flags |= kMaterialAlwaysBit;
      else body->materials[m].flags &= ~kMaterialAlwaysBit;
    }
    DrawInstancePart(node->group, instance, camera);
  }
}
