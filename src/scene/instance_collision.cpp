// Instance collision and vertex queries. Collision models belong to bodies and are made once per
// body from one mesh's faces (or as a stand-in shape); instance trees are tested pairwise with a
// box pre-test before the models are compared. Called by the lens flares, the natives, the save
// reader, replay and the universe model. The tree walks follow child lists only, never a parent
// link, so they end on any tree the membership code allows; no face index is read unchecked.
#include "scene/instance_collision.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "scene/body_records.h"
#include "scene/collision_model.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/scene_update.h"

namespace {

// Body vertices: 1.0 = 16384 for the model, and four world units per vertex unit.
constexpr float kVertexToModel = 1.0f / 16384.0f;
constexpr int32_t kVertexToWorld = 4;
constexpr float kFixedToFloat = 1.0f / 65536.0f;
constexpr int32_t kNoNearest = 0x7FFFFFFF;
constexpr int32_t kTreeFlags = kContactFirst;
constexpr int32_t kTreeContactLimit = 1;
constexpr int32_t kBodyTreeFlags = kContactNearest | kContactWithinLimit;
constexpr int32_t kBodyTreeContactLimit = 8;

BodyMesh* MeshAtLevel(BodyRecord* body, int32_t level) {
  if (!body || body->meshCount <= 0 || !body->meshes) return nullptr;
  const int32_t index = level >= 0 && level < body->meshCount ? level : body->meshCount - 1;
  return body->meshes[index];
}

bool PartCollides(const BodyPart* part) { return part && !(part->flags & kPartNoCollision); }
bool GroupCollides(const FaceGroup& group) { return !(group.blended & 1); }

bool HasCollidingFace(const BodyMesh* mesh) {
  for (int16_t p = 0; p < mesh->partCount; ++p) {
    const BodyPart* part = mesh->parts[p];
    if (!PartCollides(part)) continue;
    for (int16_t g = 0; g < part->groupCount; ++g) {
      if (GroupCollides(part->groups[g]) && part->groups[g].triangleCount > 0) return true;
    }
  }
  return false;
}

void VertexToModel(const BodyVertex& v, float out[3]) {
  out[0] = static_cast<float>(v.x) * kVertexToModel;
  out[1] = static_cast<float>(v.y) * kVertexToModel;
  out[2] = static_cast<float>(v.z) * kVertexToModel;
}

// Adds the faces of the mesh (every one when allFaces, else only colliding groups) with a running
// index. A face naming a vertex the mesh lacks is left out.
void AddMeshFaces(CollisionModel* model, const BodyMesh* mesh, bool allFaces) {
  int32_t index = 0;
  for (int16_t p = 0; p < mesh->partCount; ++p) {
    const BodyPart* part = mesh->parts[p];
    if (!part || (!allFaces && !PartCollides(part))) continue;
    for (int16_t g = 0; g < part->groupCount; ++g) {
      const FaceGroup& group = part->groups[g];
      if (!allFaces && !GroupCollides(group)) continue;
      for (int32_t t = 0; t < group.triangleCount; ++t) {
        const BodyTriangle& face = group.triangles[t];
        float corners[3][3];
        bool valid = true;
        for (int k = 0; k < 3; ++k) {
          if (face.v[k] < 0 || face.v[k] >= mesh->vertexCount) {
            valid = false;
            break;
          }
          VertexToModel(mesh->vertices[face.v[k]], corners[k]);
        }
        if (valid) CollisionModelAddTriangle(model, corners[0], corners[1], corners[2], index++);
      }
    }
  }
}

// Finishes a new model, or drops it when it could not be built.
CollisionModel* FinishOrDrop(CollisionModel* model) {
  if (model && CollisionModelFinish(model) == kCollideDone) return model;
  FreeCollisionModel(model);
  return nullptr;
}

int64_t LargestAxisDistance(const FixedVector& a, const FixedVector& b) {
  return std::max({std::llabs(int64_t{a.x} - b.x), std::llabs(int64_t{a.y} - b.y), std::llabs(int64_t{a.z} - b.z)});
}

bool CanCollide(const InstanceRecord* instance) {
  return (instance->flags & kInstCollisionMade) && !(instance->flags & kInstNoSweepHit) &&
         B3D_FindBody(instance->bodyId) != nullptr;
}

int32_t RoundToInt(float value) { return TruncateToInt32(std::nearbyint(static_cast<double>(value))); }

// Model units times the instance's size are world units in the instance's own frame, the frame
// its children's positions are in.
float ModelScale(const InstanceRecord* instance) { return static_cast<float>(instance->size); }

void StoreContact(InstanceRecord* instance, const float point[3]) {
  const float scale = ModelScale(instance);
  instance->contact.x = RoundToInt(point[0] * scale);
  instance->contact.y = RoundToInt(point[1] * scale);
  instance->contact.z = RoundToInt(point[2] * scale);
}

// A contact point found on a child, moved into its parent's frame.
void ContactIntoParent(const InstanceRecord* child, InstanceRecord* parent) {
  FixedVector point = child->contact;
  if (child->flags & kInstScaledWithParent) {
    FixedVector turned;
    MatrixMulVector(&turned, &child->matrix, &point);
    point.x = turned.x;
    point.y = turned.y;
    point.z = turned.z;
  }
  parent->contact.x = point.x + child->position.x;
  parent->contact.y = point.y + child->position.y;
  parent->contact.z = point.z + child->position.z;
}

void ClearContacts(InstanceRecord* a, InstanceRecord* b) {
  a->contactPartner = nullptr;
  b->contactPartner = nullptr;
  a->contact = FixedVector{};
  b->contact = FixedVector{};
}

// ---------------------------------------------------------------------------------------------
// Vertex queries.

bool TakesPartInVertexQueries(const InstanceRecord* instance) {
  return instance->bodyId > 0 && !(instance->flags & kInstVertexSkip) && !(instance->flags2 & kInst2VertexSkip) &&
         !(instance->pathWord & kPathVertexSkip);
}

// The mesh vertex queries use: the third when the body has three or more, else the last.
const BodyMesh* QueryMesh(const InstanceRecord* instance) {
  BodyRecord* body = B3D_FindBody(instance->bodyId);
  if (!body || body->meshCount <= 0 || !body->meshes) return nullptr;
  const BodyMesh* mesh = body->meshes[body->meshCount >= 3 ? 2 : body->meshCount - 1];
  return mesh && mesh->vertices && mesh->vertexCount > 0 ? mesh : nullptr;
}

// The root-frame point in the instance's own frame (the root's own frame for the root).
void PointInFrame(const InstanceRecord* root, const InstanceRecord* instance, const FixedVector& point, double out[3]) {
  const double p[3] = {double(point.x), double(point.y), double(point.z)};
  if (instance == root) {
    for (int i = 0; i < 3; ++i) out[i] = p[i];
    return;
  }
  const double rootWorld[3] = {double(root->world.x), double(root->world.y), double(root->world.z)};
  const double world[3] = {double(instance->world.x), double(instance->world.y), double(instance->world.z)};
  double w[3];
  for (int c = 0; c < 3; ++c) {
    w[c] = rootWorld[c];
    for (int r = 0; r < 3; ++r) w[c] += p[r] * root->worldMatrix.m[r][c] / 65536.0;
  }
  for (int r = 0; r < 3; ++r) {
    out[r] = 0;
    for (int c = 0; c < 3; ++c) out[r] += (w[c] - world[c]) * instance->worldMatrix.m[r][c] / 65536.0;
  }
}

double SquaredDistance(const BodyVertex& v, const double p[3]) {
  const double d[3] = {double(v.x) * kVertexToWorld - p[0], double(v.y) * kVertexToWorld - p[1],
                       double(v.z) * kVertexToWorld - p[2]};
  return d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
}

// Visits each instance of the subtree that takes part, root first, children in order; stops when
// the visitor answers false.
template <typename Visit>
bool WalkQueryTree(InstanceRecord* root, InstanceRecord* instance, Visit& visit) {
  if (TakesPartInVertexQueries(instance)) {
    if (const BodyMesh* mesh = QueryMesh(instance)) {
      if (!visit(instance, mesh)) return false;
    }
  }
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    if (!WalkQueryTree(root, child, visit)) return false;
  }
  return true;
}

// The candidates of the random pick with their entry counts, in walk order.
struct Candidate {
  InstanceRecord* instance;
  uint64_t entries;
};

bool MasksMatch(const InstanceRecord* instance, uint32_t flagMask, uint32_t flag2Mask, uint32_t pathMask,
                bool exclude) {
  const bool shares[3] = {(instance->flags & flagMask) != 0, (instance->flags2 & flag2Mask) != 0,
                          (instance->pathWord & pathMask) != 0};
  const uint32_t masks[3] = {flagMask, flag2Mask, pathMask};
  for (int i = 0; i < 3; ++i) {
    if (exclude ? shares[i] : (masks[i] != 0 && !shares[i])) return false;
  }
  return true;
}

void GatherCandidates(InstanceRecord* instance, int64_t rootTotal, uint32_t flagMask, uint32_t flag2Mask,
                      uint32_t pathMask, bool exclude, std::vector<Candidate>* out) {
  if (instance->bodyId > 0 && MasksMatch(instance, flagMask, flag2Mask, pathMask, exclude)) {
    uint64_t entries = 1;
    if (rootTotal > 0) {
      const int64_t size = std::max<int64_t>(0, B3D_InstGetTotalSize(instance));
      entries = std::max<uint64_t>(1, static_cast<uint64_t>(size * 100 / rootTotal));
    }
    out->push_back({instance, entries});
  }
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) {
    GatherCandidates(child, rootTotal, flagMask, flag2Mask, pathMask, exclude, out);
  }
}

// count x rand / 32768: an index below count.
uint64_t DrawBelow(uint64_t count) {
  const uint64_t r = static_cast<uint64_t>(GameRand() & 0x7FFF);
  // count is far below 2^49 (entries are at most 2^31 x 100 each, candidates a few thousand), so
  // the product fits.
  return count * r / 32768;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Making models.

void B3D_InstMakeRapidBox(InstanceRecord* instance, int32_t level) {
  if (!instance || instance->bodyId < 0 || (instance->flags & kInstNoSweepHit)) return;
  BodyRecord* body = B3D_FindBody(instance->bodyId);
  if (!body) return;
  const int32_t row = BodyDataRowIndex(instance->bodyId);
  BodyDataRow* dataRow = row >= 0 ? &gEngine3D->bodyDataRows[row] : nullptr;
  const int32_t setting = dataRow ? dataRow->value1 : 0;
  if (setting == kCollisionSettingNone) return;
  if (setting >= 0) level = setting & 0xFF;
  BodyMesh* mesh = MeshAtLevel(body, level);
  if (!mesh) return;
  if (!body->collision) {
    const bool allFaces = (setting >= 0 && (setting & kCollisionSettingAllFaces)) || (mesh->flags & kMeshCollisionModel);
    if (!allFaces && !HasCollidingFace(mesh)) {
      if (dataRow) dataRow->value1 = kCollisionSettingNone;
      else instance->flags |= kInstNoSweepHit;
      return;
    }
    CollisionModel* model = NewCollisionModel();
    if (!model) return;
    AddMeshFaces(model, mesh, allFaces);
    body->collision = FinishOrDrop(model);
    if (!body->collision) return;
    body->collisionLevel = level;
  }
  instance->flags |= kInstCollisionMade;
  instance->collisionLevel = level;
}

void InstMakeTwoTriangleCollision(InstanceRecord* instance, int32_t x, int32_t y, int32_t z) {
  if (!instance) return;
  BodyRecord* body = B3D_FindBody(instance->bodyId);
  if (body && !body->collision) {
    const float fx = float(x) * kFixedToFloat, fy = float(y) * kFixedToFloat, fz = float(z) * kFixedToFloat;
    const float tip[3] = {0, 0, -fz};
    const float left[3] = {-fx, 0, 0}, right[3] = {fx, 0, 0};
    const float down[3] = {0, -fy, 0}, up[3] = {0, fy, 0};
    CollisionModel* model = NewCollisionModel();
    if (model) {
      CollisionModelAddTriangle(model, left, right, tip, 0);
      CollisionModelAddTriangle(model, down, up, tip, 1);
    }
    body->collision = FinishOrDrop(model);
  }
  instance->flags |= kInstCollisionMade;
}

void InstMakeOctahedronCollision(InstanceRecord* instance, int32_t x, int32_t y, int32_t z) {
  if (!instance) return;
  BodyRecord* body = B3D_FindBody(instance->bodyId);
  if (body && !body->collision) {
    const float h[3] = {float(x) * kFixedToFloat, float(y) * kFixedToFloat, float(z) * kFixedToFloat};
    CollisionModel* model = NewCollisionModel();
    int32_t index = 0;
    // One face per octant: the three tips on the octant's side of each axis.
    for (int octant = 0; model && octant < 8; ++octant) {
      const float sx = (octant & 1) ? -h[0] : h[0], sy = (octant & 2) ? -h[1] : h[1], sz = (octant & 4) ? -h[2] : h[2];
      const float px[3] = {sx, 0, 0}, py[3] = {0, sy, 0}, pz[3] = {0, 0, sz};
      CollisionModelAddTriangle(model, px, py, pz, index++);
    }
    body->collision = FinishOrDrop(model);
  }
  instance->flags |= kInstCollisionMade;
}

// ---------------------------------------------------------------------------------------------
// Tree tests.

int32_t InstTreeCollide(InstanceRecord* a, InstanceRecord* b, int32_t sizeA, int32_t sizeB, InstanceRecord** outA,
                        InstanceRecord** outB) {
  if (!a || !b) return 0;
  const int64_t reachA = sizeA < 1 ? B3D_InstGetTotalSize(a) : sizeA;
  const int64_t reachB = sizeB < 1 ? B3D_InstGetTotalSize(b) : sizeB;
  if (reachA + reachB <= LargestAxisDistance(a->world, b->world)) return 0;
  if (CanCollide(a) && CanCollide(b) &&
      BodyCollideModels(a, b, kTreeFlags, kTreeContactLimit, 0.0f, nullptr) > 0) {
    StoreContact(a, gCollisionTest.contact1);
    StoreContact(b, gCollisionTest.contact2);
    if (outA) *outA = a;
    if (outB) *outB = b;
    return 1;
  }
  for (InstanceRecord* child = InstFirstChild(b); child; child = InstNextSibling(child)) {
    const int32_t count = InstTreeCollide(a, child, sizeA, 0, outA, outB);
    if (count > 0) {
      ContactIntoParent(child, b);
      return count;
    }
  }
  for (InstanceRecord* child = InstFirstChild(a); child; child = InstNextSibling(child)) {
    const int32_t count = InstTreeCollide(child, b, 0, sizeB, outA, outB);
    if (count > 0) {
      ContactIntoParent(child, a);
      return count;
    }
  }
  return 0;
}

int32_t InstCollideWith(InstanceRecord* a, InstanceRecord* b, int32_t sizeA, int32_t sizeB) {
  if (!a || !b) return 0;
  ClearContacts(a, b);
  return InstTreeCollide(a, b, sizeA, sizeB, &a->contactPartner, &b->contactPartner);
}

bool InstCollide(InstanceRecord* a, InstanceRecord* b, int32_t p, int32_t q) {
  if (!a || !b) return false;
  ClearContacts(a, b);
  BodyRecord* body = B3D_FindBody(a->bodyId);
  if (!(a->flags & kInstCollisionMade) || !body) return false;
  a->contact.z = kNoNearest;
  InstanceRecord* hit = InstBodyTreeCollide(a, body, b, p, q);
  if (!hit) return false;
  a->contactPartner = a;
  b->contactPartner = hit;
  return true;
}

InstanceRecord* InstBodyTreeCollide(InstanceRecord* a, BodyRecord* body, InstanceRecord* b, int32_t p, int32_t q) {
  if (!a || !body || !b) return nullptr;
  const int64_t reachB = q < 1 ? B3D_InstGetTotalSize(b) : q;
  if (int64_t{p} + reachB <= LargestAxisDistance(a->world, b->world)) return nullptr;
  InstanceRecord* result = nullptr;
  if (CanCollide(b)) {
    // The limit and the nearest depth are in a's model units; a's third contact word keeps the
    // depth in world units.
    const float scale = a->size != 0 ? ModelScale(a) : 1.0f;
    const float limit = float(p) / scale;
    float nearest = float(a->contact.z) / scale;
    if (BodyCollideModels(a, b, kBodyTreeFlags, kBodyTreeContactLimit, limit, &nearest) > 0) {
      a->contact.z = RoundToInt(nearest * scale);
      StoreContact(b, gCollisionTest.contact2);
      result = b;
    }
  }
  for (InstanceRecord* child = InstFirstChild(b); child; child = InstNextSibling(child)) {
    if (InstanceRecord* hit = InstBodyTreeCollide(a, body, child, p, 0)) {
      ContactIntoParent(child, b);
      result = hit;
    }
  }
  return result;
}

bool InstSweepCollide(InstanceRecord* mover, const FixedVector* newPosition, InstanceRecord* target, bool forced) {
  if (!mover || !newPosition || !target) return false;
  if ((target->flags & kInstNoSweepHit) && !forced) return false;
  const double targetSize = B3D_InstGetTotalSize(target);
  const double from[3] = {double(mover->world.x), double(mover->world.y), double(mover->world.z)};
  const double to[3] = {double(newPosition->x), double(newPosition->y), double(newPosition->z)};
  const double centre[3] = {double(target->world.x), double(target->world.y), double(target->world.z)};
  double step[3], toCentre[3], stepSquared = 0, along = 0;
  for (int i = 0; i < 3; ++i) {
    step[i] = to[i] - from[i];
    toCentre[i] = centre[i] - from[i];
    stepSquared += step[i] * step[i];
    along += step[i] * toCentre[i];
  }
  const double startSquared = toCentre[0] * toCentre[0] + toCentre[1] * toCentre[1] + toCentre[2] * toCentre[2];
  if (!forced && startSquared < targetSize * targetSize) return false;
  // The nearest point of the path segment to the target's centre.
  const double f = stepSquared > 0 ? std::clamp(along / stepSquared, 0.0, 1.0) : 0.0;
  double gapSquared = 0;
  for (int i = 0; i < 3; ++i) {
    const double d = toCentre[i] - f * step[i];
    gapSquared += d * d;
  }
  if (gapSquared >= targetSize * targetSize) return false;
  if (mover->size < 1) mover->size = 1;
  // One world unit across and half the step long, in the mover's model units (16.16).
  auto toModel = [mover](double world) {
    return static_cast<int32_t>(std::clamp(world * 65536.0 / mover->size, 1.0, double(INT32_MAX)));
  };
  const double halfStep = std::sqrt(stepSquared) * 0.5;
  InstMakeTwoTriangleCollision(mover, toModel(1.0), toModel(1.0), toModel(halfStep));
  return InstCollideWith(mover, target, 0, 0) > 0;
}

// ---------------------------------------------------------------------------------------------
// Vertex queries.

int32_t CollectVerticesInRadius(InstanceRecord* root, const FixedVector* point, int32_t radius,
                                InstanceRecord** outInstances, int32_t* outIndices, int32_t* outDistances) {
  if (!root || !point) return 0;
  const double radiusSquared = double(radius) * double(radius);
  int32_t count = 0;
  auto visit = [&](InstanceRecord* instance, const BodyMesh* mesh) {
    double p[3];
    PointInFrame(root, instance, *point, p);
    for (int32_t i = 0; i < mesh->vertexCount; ++i) {
      const double d = SquaredDistance(mesh->vertices[i], p);
      if (!(d > 0 && d <= radiusSquared)) continue;
      if (outInstances) outInstances[count] = instance;
      if (outIndices) outIndices[count] = i;
      if (outDistances) outDistances[count] = static_cast<int32_t>(std::sqrt(d));
      if (++count >= kMaxVertexRecords) return false;
    }
    return true;
  };
  WalkQueryTree(root, root, visit);
  return count;
}

bool FindNearestVertexInTree(InstanceRecord* root, const FixedVector* point, InstanceRecord** outInstance,
                             int32_t* outIndex) {
  if (!root || !point) return false;
  bool found = false;
  double best = 0;
  auto visit = [&](InstanceRecord* instance, const BodyMesh* mesh) {
    double p[3];
    PointInFrame(root, instance, *point, p);
    for (int32_t i = 0; i < mesh->vertexCount; ++i) {
      const double d = SquaredDistance(mesh->vertices[i], p);
      if (found && !(d < best)) continue;
      found = true;
      best = d;
      if (outInstance) *outInstance = instance;
      if (outIndex) *outIndex = i;
    }
    return true;
  };
  WalkQueryTree(root, root, visit);
  return found;
}

int32_t B3D_InstDistanceToNearestVertex(InstanceRecord* instance, const FixedVector* point) {
  if (!instance || !point || instance->bodyId <= 0) return -1;
  const BodyMesh* mesh = QueryMesh(instance);
  if (!mesh) return -1;
  const double p[3] = {double(point->x), double(point->y), double(point->z)};
  double best = SquaredDistance(mesh->vertices[0], p);
  for (int32_t i = 1; i < mesh->vertexCount; ++i) best = std::min(best, SquaredDistance(mesh->vertices[i], p));
  return TruncateToInt32(std::sqrt(best));
}

bool PickRandomInstancePoint(InstanceRecord* root, uint32_t flagMask, uint32_t flag2Mask, uint32_t pathMask,
                             bool exclude, int32_t level, InstanceRecord** outInstance, int32_t* outIndex,
                             FixedVector* outPoint) {
  if (!root) return false;
  std::vector<Candidate> candidates;
  GatherCandidates(root, B3D_InstGetTotalSize(root), flagMask, flag2Mask, pathMask, exclude, &candidates);
  if (candidates.empty()) return false;
  // The entries are counted, not stored: a candidate far larger than the root's total size adds a
  // large weight, never a large table.
  uint64_t total = 0;
  for (const Candidate& c : candidates) total += c.entries;
  uint64_t entry = DrawBelow(total);
  InstanceRecord* chosen = candidates.back().instance;
  for (const Candidate& c : candidates) {
    if (entry < c.entries) {
      chosen = c.instance;
      break;
    }
    entry -= c.entries;
  }
  const BodyMesh* mesh = MeshAtLevel(B3D_FindBody(chosen->bodyId), level);
  if (!mesh || !mesh->vertices || mesh->vertexCount <= 0) return false;
  const int32_t index = static_cast<int32_t>(DrawBelow(static_cast<uint64_t>(mesh->vertexCount)));
  if (outInstance) *outInstance = chosen;
  if (outIndex) *outIndex = index;
  if (outPoint) {
    const BodyVertex& v = mesh->vertices[index];
    outPoint->x = v.x * kVertexToWorld;
    outPoint->y = v.y * kVertexToWorld;
    outPoint->z = v.z * kVertexToWorld;
    outPoint->w = 0;
  }
  return true;
}
