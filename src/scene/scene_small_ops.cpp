// Small scene operations over the engine's scenes and instances: render entry release, icon
// set-up, sound levels, stopping scene sounds, and two transform helpers. Called by the natives,
// the frame driver, the shutdown and the launcher dialogs. Never reaches the sound devices but
// through the hooks they register.
#include "scene/scene_small_ops.h"

#include <algorithm>

#include "core/hash_table.h"
#include "core/system_block.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/instance.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_measures.h"
#include "scene/scene_records.h"

SceneSoundHooks gSceneSoundHooks = {};

namespace {

constexpr int32_t kSoundHalvingSpan = 4500;
constexpr int32_t kSoundReachBase = 37000;
constexpr int32_t kSoundReachPerSize = 6;

// The render table holds the entry under its key too; it must not keep a freed entry.
void ReleaseEntry(RenderEntry* entry) {
  HashTable* table = gEngine3D ? gEngine3D->entryTable60 : nullptr;
  if (table && reinterpret_cast<RenderEntry*>(HashGet(table, entry->key)) == entry) HashRemove(table, entry->key);
  FreeRenderEntryNodes(entry);
}

// Pixels to 16.16 fractions of the texture; a texture of size 0 gives 0.
void SetIconRect(InstanceRecord* instance, int32_t set, int32_t x, int32_t y, int32_t w, int32_t h) {
  instance->flags2 |= kInst2IconTexture;
  if (!gEngine3D || set < 0 || set >= kIconSetCount) return;
  const IconSet& icons = gEngine3D->iconTables[set];
  FixedMatrix m{};
  m.m[0][0] = FixedDiv(w, icons.textureWidth);
  m.m[1][1] = FixedDiv(h, icons.textureHeight);
  m.m[2][0] = FixedDiv(x, icons.textureWidth);
  m.m[2][1] = FixedDiv(y, icons.textureHeight);
  m.m[2][2] = kFixedOne;
  B3D_InstSetAnimTextureCoords(instance, icons.textureId, &m);
  B3D_InstSetScale(instance, SaturateToInt32(int64_t{w} * kFixedOne), SaturateToInt32(int64_t{h} * kFixedOne),
                   kFixedOne);
}

int32_t SoundLevel(InstanceRecord* instance, int32_t base) {
  const int64_t d = VecLength(&instance->cameraPos);
  const int64_t r = B3D_InstGetTotalSize(instance);
  if (r < 1 || d < 1 || d >= kSoundReachPerSize * r + kSoundReachBase) return 0;
  const int64_t k = d / (r + kSoundHalvingSpan);
  if (k < 1) return base;
  return k - 1 >= 31 ? 0 : base / (int32_t{1} << (k - 1));
}

void StopSubtreeSounds(InstanceRecord* root) {
  for (InstanceRecord* i = root; i; i = InstSubtreeNext(i, root)) {
    if (!(i->soundFlags & kInstSoundPlaying) || i->soundSample < 0 || i->soundChannel < 0) continue;
    gSceneSoundHooks.stopChannel(i->soundChannel, i->soundSample);
    i->soundFlags &= ~kInstSoundPlaying;
    i->soundChannel = -1;
  }
}

bool HasListenerCamera(SceneRecord* scene) {
  constexpr uint32_t kWanted = kCameraEnabled | kCameraListener;
  for (ListNode* node = ListFirst(&scene->cameras); node; node = ListNext(node)) {
    if ((CameraOfInstance(InstanceOfNode(node))->cameraFlags & kWanted) == kWanted) return true;
  }
  return false;
}

// The lean one camera-space motion asks for: the heading of its first two components (none when
// both are small), as a signed turn, weighted by how little the motion runs along the view axis.
constexpr int32_t kLeanMinFirst = 655;
constexpr int32_t kLeanMinSecond = 6553;
int32_t LeanAngle(FixedVector v) {
  NormalizeFixedVector(&v);
  if (AbsInt(v.x) < kLeanMinFirst && AbsInt(v.y) < kLeanMinSecond) return 0;
  int32_t angle = static_cast<int32_t>(AngleFromXY(v.y, v.x));
  if (angle > 32768) angle -= 65536;
  return static_cast<int32_t>((int64_t{angle} * (kFixedOne - AbsInt(v.z))) >> 16);
}

}  // namespace

void CameraTrackMotion(CameraRecord* camera) {
  InstanceRecord& view = camera->instance;
  const uint32_t now = gSystem ? gSystem->gameTime : 0;
  const FixedVector row2 = {view.matrix.m[2][0], view.matrix.m[2][1], view.matrix.m[2][2], 0};
  const uint32_t elapsed = now - camera->trackTime;
  if (camera->tracked && elapsed >= 1 && elapsed <= kTrackMaxElapsed &&
      VecDistance(&camera->trackPosition, &view.position) < kTrackMaxMove) {
    const int32_t ms = static_cast<int32_t>(elapsed);
    FixedVector moved, turned, velocity, rowRate;
    SubVector(&moved, &camera->trackPosition, &view.position);
    MulDivVectorFixed(&view.velocity, &moved, 1000, ms);
    SubVector(&turned, &camera->trackRow2, &row2);
    MulDivVectorFixed(&rowRate, &turned, 1000, ms);
    MatrixTransposeMulVector(&velocity, &view.matrix, &view.velocity);
    view.cameraVelocity = velocity;
    FixedVector rowRateLocal;
    MatrixTransposeMulVector(&rowRateLocal, &view.matrix, &rowRate);
    const int32_t lean = (LeanAngle(velocity) + LeanAngle(rowRateLocal)) / 2;
    camera->bankAngle = (camera->bankAngle - static_cast<uint32_t>(lean)) & 0xFFFFu;
  }
  camera->tracked = true;
  camera->trackTime = now;
  camera->trackPosition = view.position;
  camera->trackRow2 = row2;
}

void ReleaseRenderEntriesByKey(uint32_t key) {
  if (!gEngine3D) return;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    LIST_FOR_EACH_SAFE(node, next, &scene->renderEntries) {
      RenderEntry* entry = ListRecord<RenderEntry>(node);
      if (entry->key == key) ReleaseEntry(entry);
    }
  }
}

void SceneReleaseRenderEntries(SceneRecord* scene) {
  while (ListNode* node = ListFirst(&scene->renderEntries)) ReleaseEntry(ListRecord<RenderEntry>(node));
}

void InstSetIconTexture(InstanceRecord* instance, int32_t iconSet, int32_t icon) {
  const IconRecord* found = B3D_GetIconData(iconSet, icon);
  if (!found) {
    instance->flags2 |= kInst2IconTexture;
    return;
  }
  SetIconRect(instance, iconSet, found->x, found->y, found->width, found->height);
}

void InstSetIconRect(InstanceRecord* instance, int32_t iconSet, const int32_t rect[4]) {
  SetIconRect(instance, iconSet, rect[0], rect[1], rect[2], rect[3]);
}

void InstAnimTextureStep(InstanceRecord* instance, int32_t x, int32_t y, int32_t size) {
  SetIconRect(instance, 0, x, y, size, size);
}

void InstSoundLevels(SoundLevelEntry* entries, int32_t count) {
  if (!entries || count <= 0) return;
  for (int32_t i = 0; i < count; ++i) {
    SoundLevelEntry& e = entries[i];
    e.level = e.instance->soundSample >= 0 ? SoundLevel(e.instance, e.baseLevel) : 0;
  }
  SoundLevelEntry* sampled = std::stable_partition(
      entries, entries + count, [](const SoundLevelEntry& e) { return e.instance->soundSample < 0; });
  std::stable_sort(sampled, entries + count,
                   [](const SoundLevelEntry& a, const SoundLevelEntry& b) { return a.level > b.level; });
}

// Each scene decides for itself whether it has a listening camera.
void StopSceneSounds() {
  if (!gEngine3D || !gSceneSoundHooks.stopChannel) return;
  for (ListNode* s = ListFirst(&gEngine3D->scenes); s; s = ListNext(s)) {
    SceneRecord* scene = ListRecord<SceneRecord>(s);
    if (!(scene->flags & kSceneEnabled) || !HasListenerCamera(scene)) continue;
    for (ListNode* m = ListFirst(&scene->members); m; m = ListNext(m)) StopSubtreeSounds(InstanceOfNode(m));
  }
}

void InstUpdateWorldTreeMethod(InstanceRecord* instance) { InstUpdateWorldTree(instance); }

void InstSetRotFromTwoAngleSets(InstanceRecord* instance, const int32_t a[3], const int32_t b[3]) {
  FixedMatrix first, second;
  MatrixFromAngles(&first, a[0], a[1], a[2]);
  MatrixFromAngles(&second, b[0], b[1], b[2]);
  MatrixMultiply(&instance->matrix, &first, &second);
}

void CameraUnprojectToWorld(int32_t x, int32_t y, int32_t depth, const CameraRecord* camera, FixedVector* out) {
  FixedVector local, turned;
  CameraUnproject(camera, x, y, depth, &local);
  MatrixMulVector(&turned, &camera->instance.matrix, &local);
  AddVector(out, &turned, &camera->instance.position);
}
