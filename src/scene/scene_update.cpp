// Take start, the scene matrix pass and the body collision test. The take natives start takes
// here, the frame driver runs the matrix pass on every scene at the start of a frame, and the
// instance collision code tests two placed bodies. It never reads a take slot beyond the take's
// instance count, and a linked part that was not found is skipped, never read.
#include "scene/scene_update.h"

#include <algorithm>

#include "scene/body_records.h"
#include "scene/collision_model.h"
#include "scene/cut_keys.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include "scene/takes_jobs.h"

namespace {

// The mean world position of the parts that were found; false when none was.
bool LinkedPartsMean(const InstanceRecord* instance, FixedVector* mean) {
  int64_t sum[3] = {0, 0, 0};
  int64_t found = 0;
  for (int32_t i = 0; i < instance->linkedPartCount; ++i) {
    const InstanceRecord* part = instance->linkedParts[i];
    if (!part) continue;
    sum[0] += part->world.x;
    sum[1] += part->world.y;
    sum[2] += part->world.z;
    ++found;
  }
  if (found == 0) return false;
  mean->x = static_cast<int32_t>(sum[0] / found);
  mean->y = static_cast<int32_t>(sum[1] / found);
  mean->z = static_cast<int32_t>(sum[2] / found);
  return true;
}

// The collision model test's frame exchanges the engine's first two axes.
constexpr int kCollisionAxis[3] = {1, 0, 2};

void CollisionPlacement(const InstanceRecord* instance, float r[3][3], float t[3]) {
  const FixedVector& world = instance->world;
  const int32_t position[3] = {world.x, world.y, world.z};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r[i][j] = static_cast<float>(instance->worldMatrix.m[kCollisionAxis[i]][kCollisionAxis[j]]) / 65536.0f;
    }
    t[i] = static_cast<float>(position[kCollisionAxis[i]]);
  }
}

CollisionModel* CollisionModelOf(const InstanceRecord* instance) {
  const BodyRecord* body = B3D_FindBody(instance->bodyId);
  return body ? body->collision : nullptr;
}

}  // namespace

bool TakeStartPaths(TakeRecord* take) {
  if (!take) return false;
  CutRecord* cut = GetCutByHandle(take->cutHandle);
  if (!cut) return false;
  const int32_t slots = take->instances ? std::min(cut->pathCount, take->instanceCount) : 0;
  bool playing = false;
  for (int32_t n = 0; n < slots; ++n) {
    InstanceRecord* instance = take->instances[n];
    if (!instance) continue;
    StartInstancePath(instance, cut, n);
    playing = playing || JobIsPlaying(instance);
  }
  if (!playing) return false;
  take->state = kTakeRunning;
  return true;
}

void SceneUpdateMatrices(SceneRecord* scene) {
  if (!scene) return;
  scene->firstPass = 0;
  scene->lastPass = 0;
  bool first = true;
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    InstanceRecord* member = InstanceOfNode(node);
    member->world = member->position;
    member->worldMatrix = member->matrix;
    InstUpdateWorldTree(member);
    scene->firstPass = first ? member->passNumber : std::min(scene->firstPass, member->passNumber);
    scene->lastPass = first ? member->passNumber : std::max(scene->lastPass, member->passNumber);
    first = false;
  }
  // A camera is no member, but the view and every distance to it are taken from its world copies:
  // without them it would look from the origin through a zero matrix and show nothing.
  for (ListNode* node = ListFirst(&scene->cameras); node; node = ListNext(node)) {
    InstanceRecord* camera = InstanceOfNode(node);
    camera->world = camera->position;
    camera->worldMatrix = camera->matrix;
  }
  // Linked parts are placed by the loop above, so every member's parts are current here.
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    InstanceRecord* member = InstanceOfNode(node);
    if (!(member->flags2 & kInst2HasLinkedParts)) continue;
    if (member->linkedPartCount == 0) InstResolveLinkedParts(member, B3D_FindBody(member->bodyId));
    FixedVector mean;
    if (LinkedPartsMean(member, &mean)) {
      member->world.x = mean.x;
      member->world.y = mean.y;
      member->world.z = mean.z;
    }
  }
}

namespace {
CollideModelsFn gCollide = CollisionModelsCollide;
int32_t (*gContactCount)() = CollisionContactCount;
}  // namespace

void SetBodyCollideTest(CollideModelsFn collide, int32_t (*contactCount)()) {
  gCollide = collide ? collide : CollisionModelsCollide;
  gContactCount = contactCount ? contactCount : CollisionContactCount;
}

int32_t BodyCollideModels(InstanceRecord* a, InstanceRecord* b, int32_t flags, int32_t contactLimit,
                          float distanceLimit, float* nearestSlot) {
  if (!a || !b) return 0;
  CollisionModel* modelA = CollisionModelOf(a);
  CollisionModel* modelB = CollisionModelOf(b);
  if (!modelA || !modelB) return 0;
  float ra[3][3], ta[3], rb[3][3], tb[3];
  CollisionPlacement(a, ra, ta);
  CollisionPlacement(b, rb, tb);
  const int32_t result = gCollide(flags, contactLimit, ra, ta, static_cast<float>(a->size), modelA, rb, tb,
                                            static_cast<float>(b->size), modelB, distanceLimit, nearestSlot);
  return result == kCollideDone ? gContactCount() : 0;
}
