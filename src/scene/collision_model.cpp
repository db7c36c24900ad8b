// Box-tree collision models: building the tree of oriented boxes over a body's triangles, the
// test of two placed trees (separating axes for box pairs, then triangle pairs at the leaves,
// with the contact modes), and the view-volume planes the renderer culls with. Called by the
// instance collision code, the body collision test and the renderer. The tree walk allocates
// nothing and never recurses past a leaf; all arithmetic is 32-bit float.
#include "scene/collision_model.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "core/memory.h"
#include "scene/box_fit.h"

CollisionTestState gCollisionTest;

namespace {

constexpr uint32_t kModelMemFlags = MemCategoryFlags(kMemCatEngine3D);
// Slack added to every rotation element of the box test against arithmetic error.
constexpr float kBoxSlack = 1e-6f;
// Below this a moved triangle's normal is taken as lying in the first model's depth plane.
constexpr float kFlatNormal = 1e-8f;
constexpr float kThird = 0.33333334f;

bool gTestStateReady = false;

// ---------------------------------------------------------------------------------------------
// Small vector helpers.

float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Sub(const float a[3], const float b[3], float out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = a[i] - b[i];
}

void Cross(const float a[3], const float b[3], float out[3]) {
  const float r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  std::memcpy(out, r, sizeof r);
}

// Normalises v in place; false (v unchanged) when it has no length.
bool Normalise(float v[3]) {
  const float length = std::sqrt(Dot(v, v));
  if (!(length > 0.0f) || !std::isfinite(length)) return false;
  for (int i = 0; i < 3; ++i) v[i] /= length;
  return true;
}

void Column(const float m[3][3], int j, float out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = m[i][j];
}

// out = a * v.
void MulVec(const float a[3][3], const float v[3], float out[3]) {
  float r[3];
  for (int i = 0; i < 3; ++i) r[i] = a[i][0] * v[0] + a[i][1] * v[1] + a[i][2] * v[2];
  std::memcpy(out, r, sizeof r);
}

// ---------------------------------------------------------------------------------------------
// Building.

// The box axes of a set of triangles: the covariance's eigenvectors with the largest eigenvalue's
// vector moved to column 0, and the area-weighted mean of the centroids.
void AxesAndMean(const TriangleMoment* sum, float axes[3][3], float mean[3]) {
  float covariance[3][3];
  CovarianceFromMoments(sum, covariance);
  float values[3] = {1.0f, 1.0f, 1.0f};
  float vectors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  JacobiEigen3(covariance, vectors, values);
  int major = 0;
  if (values[1] > values[0] && values[1] >= values[2]) major = 1;
  if (values[2] > values[0] && values[2] > values[1]) major = 2;
  if (major != 0) {
    for (int i = 0; i < 3; ++i) {
      const float t = vectors[i][0];
      vectors[i][0] = vectors[i][major];
      vectors[i][major] = t;
    }
  }
  std::memcpy(axes, vectors, sizeof vectors);
  for (int i = 0; i < 3; ++i) mean[i] = sum->centroid[i] / sum->area;
}

struct Builder {
  CollisionModel* model;
  int32_t* indices;
  int32_t nextBox;
};

// Fits the box to the projections of the corners of the listed triangles on its axes: the centre
// is the middle of the ranges turned back into the box's outer frame.
void FitExtents(CollisionBox* box, const CollisionTriangle* triangles, const int32_t* list, int32_t count) {
  float low[3], high[3];
  bool first = true;
  for (int32_t t = 0; t < count; ++t) {
    const CollisionTriangle& tri = triangles[list[t]];
    for (const float* corner : {tri.a, tri.b, tri.c}) {
      for (int axis = 0; axis < 3; ++axis) {
        const float projection = box->rotation[0][axis] * corner[0] + box->rotation[1][axis] * corner[1] +
                                 box->rotation[2][axis] * corner[2];
        if (first || projection < low[axis]) low[axis] = projection;
        if (first || projection > high[axis]) high[axis] = projection;
      }
      first = false;
    }
  }
  float middle[3];
  for (int axis = 0; axis < 3; ++axis) {
    middle[axis] = (low[axis] + high[axis]) * 0.5f;
    box->half[axis] = (high[axis] - low[axis]) * 0.5f;
  }
  MulVec(box->rotation, middle, box->centre);
}

// A leaf's axes: the longest edge, the normal, and their cross product. A triangle without area
// gets whatever unit axes are left, so the box is still finite.
void FitLeaf(CollisionBox* box, CollisionTriangle* tri) {
  float edges[3][3];
  Sub(tri->b, tri->a, edges[0]);
  Sub(tri->c, tri->b, edges[1]);
  Sub(tri->a, tri->c, edges[2]);
  int longest = 0;
  for (int e = 1; e < 3; ++e) {
    if (Dot(edges[e], edges[e]) > Dot(edges[longest], edges[longest])) longest = e;
  }
  float x[3], z[3], y[3];
  std::memcpy(x, edges[longest], sizeof x);
  if (!Normalise(x)) {
    x[0] = 1.0f;
    x[1] = x[2] = 0.0f;
  }
  Cross(edges[0], edges[1], z);
  if (!Normalise(z)) {
    // Any unit vector across x.
    const float other[3] = {std::fabs(x[0]) < 0.9f ? 1.0f : 0.0f, std::fabs(x[0]) < 0.9f ? 0.0f : 1.0f, 0.0f};
    Cross(x, other, z);
    Normalise(z);
  }
  Cross(z, x, y);
  for (int i = 0; i < 3; ++i) {
    box->rotation[i][0] = x[i];
    box->rotation[i][1] = y[i];
    box->rotation[i][2] = z[i];
  }
  const int32_t only = 0;
  FitExtents(box, tri, &only, 1);
  box->p = box->n = nullptr;
  box->triangle = tri;
}

// Turns a child's model-space rotation and centre into its parent's frame.
void MakeRelative(const CollisionBox* parent, CollisionBox* child) {
  float rotation[3][3];
  MatMul3(child->rotation, parent->rotation, rotation);  // parent^T child
  float offset[3];
  Sub(child->centre, parent->centre, offset);
  MatTransposeMulVec(offset, parent->rotation, child->centre);
  std::memcpy(child->rotation, rotation, sizeof rotation);
}

// Divides the box over the `count` triangles listed at `list`. On entry the box holds its axes and
// its provisional centre (the mean of its triangles) in model space; on return its children are
// in its frame and the box itself is still in model space.
void Divide(Builder* b, CollisionBox* box, int32_t* list, int32_t count) {
  CollisionTriangle* triangles = b->model->triangles;
  if (count == 1) {
    FitLeaf(box, &triangles[list[0]]);
    return;
  }
  float major[3];
  Column(box->rotation, 0, major);
  const float dividing = Dot(major, box->centre);
  FitExtents(box, triangles, list, count);

  TriangleMoment first{}, second{};
  int32_t firstCount = 0;
  for (int32_t i = 0; i < count; ++i) {
    const TriangleMoment* moment = &gTriangleMoments[list[i]];
    const bool toFirst = count == 2 ? i == 0 : Dot(major, moment->centroid) < dividing;
    if (toFirst) {
      const int32_t t = list[i];
      list[i] = list[firstCount];
      list[firstCount] = t;
      ++firstCount;
      AccumulateMoment(&first, moment);
    } else {
      AccumulateMoment(&second, moment);
    }
  }
  if (firstCount == 0 || firstCount == count) {
    firstCount = count / 2;
    SumMoments(list, firstCount, &first);
    SumMoments(list + firstCount, count - firstCount, &second);
  }

  CollisionBox* p = &b->model->boxes[b->nextBox++];
  CollisionBox* n = &b->model->boxes[b->nextBox++];
  box->p = p;
  box->n = n;
  box->triangle = nullptr;
  // A child over one triangle takes its axes from the triangle itself, so its covariance is not
  // solved.
  if (firstCount > 1) AxesAndMean(&first, p->rotation, p->centre);
  if (count - firstCount > 1) AxesAndMean(&second, n->rotation, n->centre);
  Divide(b, p, list, firstCount);
  Divide(b, n, list + firstCount, count - firstCount);
  MakeRelative(box, p);
  MakeRelative(box, n);
}

void FreeTree(CollisionModel* model) {
  MemFree(model->boxes, static_cast<size_t>(model->boxCount) * sizeof(CollisionBox), kModelMemFlags);
  model->boxes = nullptr;
  model->boxCount = 0;
}

// ---------------------------------------------------------------------------------------------
// The test.

}  // namespace

int32_t BoxesSeparated(const float rel[3][3], const float t[3], const float ha[3], const float hb[3]) {
  float abs[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) abs[i][j] = std::fabs(rel[i][j]) + kBoxSlack;
  }
  // a's axes.
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(t[i]) > ha[i] + hb[0] * abs[i][0] + hb[1] * abs[i][1] + hb[2] * abs[i][2]) return 1 + i;
  }
  // b's axes.
  for (int j = 0; j < 3; ++j) {
    const float s = t[0] * rel[0][j] + t[1] * rel[1][j] + t[2] * rel[2][j];
    if (std::fabs(s) > hb[j] + ha[0] * abs[0][j] + ha[1] * abs[1][j] + ha[2] * abs[2][j]) return 4 + j;
  }
  // a's axis i crossed with b's axis j.
  for (int i = 0; i < 3; ++i) {
    const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
    for (int j = 0; j < 3; ++j) {
      const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      const float s = t[i2] * rel[i1][j] - t[i1] * rel[i2][j];
      const float ra = ha[i1] * abs[i2][j] + ha[i2] * abs[i1][j];
      const float rb = hb[j1] * abs[i][j2] + hb[j2] * abs[i][j1];
      if (std::fabs(s) > ra + rb) return 7 + i * 3 + j;
    }
  }
  return 0;
}

namespace {

// Projects the six corners on the axis; true when the two intervals are apart.
bool AxisSeparates(const float axis[3], const float p[3][3], const float q[3][3]) {
  float lowP = Dot(axis, p[0]), highP = lowP;
  float lowQ = Dot(axis, q[0]), highQ = lowQ;
  for (int k = 1; k < 3; ++k) {
    const float dp = Dot(axis, p[k]);
    const float dq = Dot(axis, q[k]);
    lowP = std::fmin(lowP, dp);
    highP = std::fmax(highP, dp);
    lowQ = std::fmin(lowQ, dq);
    highQ = std::fmax(highQ, dq);
  }
  return !(lowP <= highQ && lowQ <= highP);
}

// Separating axes for two triangles: the normals, the nine edge pairs, and each edge crossed with
// its own triangle's normal. The corners are taken relative to p's first one for precision.
bool TrianglesOverlap(const float p[3][3], const float q[3][3], float qNormal[3]) {
  float pe[3][3], qe[3][3], pn[3];
  for (int k = 0; k < 3; ++k) {
    Sub(p[(k + 1) % 3], p[k], pe[k]);
    Sub(q[(k + 1) % 3], q[k], qe[k]);
  }
  Cross(pe[0], pe[1], pn);
  Cross(qe[0], qe[1], qNormal);
  if (AxisSeparates(pn, p, q) || AxisSeparates(qNormal, p, q)) return false;
  float axis[3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      Cross(pe[i], qe[j], axis);
      if (AxisSeparates(axis, p, q)) return false;
    }
  }
  for (int k = 0; k < 3; ++k) {
    Cross(pe[k], pn, axis);
    if (AxisSeparates(axis, p, q)) return false;
    Cross(qe[k], qNormal, axis);
    if (AxisSeparates(axis, p, q)) return false;
  }
  return true;
}

void TestTriangles(const CollisionTriangle* t1, const CollisionTriangle* t2) {
  CollisionTestState& st = gCollisionTest;
  ++st.triangleTests;
  const float* origin = t1->a;
  float p[3][3], q[3][3];
  const float* corners1[3] = {t1->a, t1->b, t1->c};
  const float* corners2[3] = {t2->a, t2->b, t2->c};
  float moved[3][3];
  for (int k = 0; k < 3; ++k) {
    MatMulVecScaledAdd(corners2[k], st.mT, st.ms, st.mR, moved[k]);
    Sub(corners1[k], origin, p[k]);
    Sub(moved[k], origin, q[k]);
  }
  float normal[3];
  if (!TrianglesOverlap(p, q, normal)) return;

  if (st.modeFlags & (kContactNearest | kContactWithinLimit)) {
    const float lowZ = std::fmin(moved[0][2], std::fmin(moved[1][2], moved[2][2]));
    const float highZ = std::fmax(moved[0][2], std::fmax(moved[1][2], moved[2][2]));
    float z;
    if (std::fabs(normal[2]) < kFlatNormal) {
      z = (moved[0][2] + moved[1][2] + moved[2][2]) * kThird;
    } else {
      // Where the moved triangle's plane meets the first model's third axis.
      z = (normal[0] * moved[0][0] + normal[1] * moved[0][1] + normal[2] * moved[0][2]) / normal[2];
      z = std::fmin(std::fmax(z, lowZ), highZ);
    }
    if ((st.modeFlags & kContactWithinLimit) && std::fabs(z) > static_cast<float>(st.distanceLimit)) return;
    if ((st.modeFlags & kContactNearest) && st.nearestSlot) {
      if (!(z < *st.nearestSlot)) return;
      *st.nearestSlot = z;
    }
    st.contact1[0] = 0.0f;
    st.contact1[1] = 0.0f;
    st.contact1[2] = z;
  } else {
    for (int i = 0; i < 3; ++i) st.contact1[i] = (t1->a[i] + t1->b[i] + t1->c[i]) * kThird;
  }
  for (int i = 0; i < 3; ++i) st.contact2[i] = (t2->a[i] + t2->b[i] + t2->c[i]) * kThird;
  ++st.contactCount;
}

bool IsLeaf(const CollisionBox* box) { return !box->p && !box->n; }

// Box b2 lies in b1's frame at rotation rel and offset t.
void TestBoxes(const CollisionBox* b1, const CollisionBox* b2, const float rel[3][3], const float t[3]) {
  CollisionTestState& st = gCollisionTest;
  if (st.firstContact && st.contactCount > 0) return;
  if ((st.modeFlags & kContactNearest) && st.contactCount >= st.contactLimit) return;
  ++st.boxTests;
  const float half2[3] = {b2->half[0] * st.ms, b2->half[1] * st.ms, b2->half[2] * st.ms};
  if (BoxesSeparated(rel, t, b1->half, half2) != 0) return;
  const bool leaf1 = IsLeaf(b1), leaf2 = IsLeaf(b2);
  if (leaf1 && leaf2) {
    TestTriangles(b1->triangle, b2->triangle);
    return;
  }
  // Open the larger box; a leaf has nothing to open, so the other one is, however large the leaf.
  if (!leaf2 && (leaf1 || half2[0] >= b1->half[0])) {
    for (const CollisionBox* child : {b2->n, b2->p}) {
      float childRel[3][3], childT[3];
      MatProduct3(child->rotation, rel, childRel);  // rel * child
      MatMulVecScaledAdd(child->centre, t, st.ms, rel, childT);
      TestBoxes(b1, child, childRel, childT);
    }
  } else {
    for (const CollisionBox* child : {b1->n, b1->p}) {
      float childRel[3][3], offset[3], childT[3];
      MatMul3(rel, child->rotation, childRel);  // child^T * rel
      Sub(t, child->centre, offset);
      MatTransposeMulVec(offset, child->rotation, childT);
      TestBoxes(child, b2, childRel, childT);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Model lifecycle.

CollisionModel* NewCollisionModel() {
  auto* model = static_cast<CollisionModel*>(MemAlloc(sizeof(CollisionModel), kModelMemFlags));
  if (!model) return nullptr;
  std::memset(model, 0, sizeof *model);
  CollisionModelBegin(model);
  return model;
}

void FreeCollisionModel(CollisionModel* model) {
  if (!model) return;
  FreeTree(model);
  MemFree(model->triangles, static_cast<size_t>(model->triangleCapacity) * sizeof(CollisionTriangle), kModelMemFlags);
  MemFree(model, sizeof *model, kModelMemFlags);
}

int32_t CollisionModelBegin(CollisionModel* model) {
  if (!model) return kCollideOutOfSequence;
  const int32_t result = model->state == kModelBuilding ? kCollideOutOfSequence : kCollideDone;
  FreeTree(model);
  MemFree(model->triangles, static_cast<size_t>(model->triangleCapacity) * sizeof(CollisionTriangle), kModelMemFlags);
  model->triangles = nullptr;
  model->triangleCount = 0;
  model->triangleCapacity = 0;
  model->state = kModelBuilding;
  return result;
}

int32_t CollisionModelAddTriangle(CollisionModel* model, const float p1[3], const float p2[3], const float p3[3],
                                  int32_t id) {
  if (!model || model->state == kModelBuilt) return kCollideOutOfSequence;
  if (model->triangleCount == model->triangleCapacity) {
    // The capacity doubles; a count that would not fit the 32-bit fields fails like memory does.
    if (model->triangleCapacity > std::numeric_limits<int32_t>::max() / 2) return kCollideOutOfMemory;
    const int32_t capacity = model->triangleCapacity == 0 ? 1 : model->triangleCapacity * 2;
    const size_t bytes = static_cast<size_t>(capacity) * sizeof(CollisionTriangle);
    auto* grown = static_cast<CollisionTriangle*>(MemAlloc(bytes, kModelMemFlags));
    if (!grown) return kCollideOutOfMemory;
    if (model->triangleCount > 0) {
      std::memcpy(grown, model->triangles, static_cast<size_t>(model->triangleCount) * sizeof(CollisionTriangle));
    }
    MemFree(model->triangles, static_cast<size_t>(model->triangleCapacity) * sizeof(CollisionTriangle), kModelMemFlags);
    model->triangles = grown;
    model->triangleCapacity = capacity;
  }
  CollisionTriangle& tri = model->triangles[model->triangleCount++];
  tri.id = id;
  std::memcpy(tri.a, p1, sizeof tri.a);
  std::memcpy(tri.b, p2, sizeof tri.b);
  std::memcpy(tri.c, p3, sizeof tri.c);
  return kCollideDone;
}

int32_t CollisionModelFinish(CollisionModel* model) {
  if (!model) return kCollideOutOfSequence;
  const int32_t n = model->triangleCount;
  if (n <= 0) return kCollideNoTriangles;
  FreeTree(model);
  // 2n - 1 boxes in one block; n is below 2^31, so the count fits 64 bits and is checked for the
  // 32-bit box count.
  const int64_t boxCount = 2 * static_cast<int64_t>(n) - 1;
  if (boxCount > std::numeric_limits<int32_t>::max() ||
      static_cast<uint64_t>(boxCount) > SIZE_MAX / sizeof(CollisionBox)) {
    return kCollideOutOfMemory;
  }
  const size_t boxBytes = static_cast<size_t>(boxCount) * sizeof(CollisionBox);
  const size_t momentBytes = static_cast<size_t>(n) * sizeof(TriangleMoment);
  const size_t indexBytes = static_cast<size_t>(n) * sizeof(int32_t);
  auto* boxes = static_cast<CollisionBox*>(MemAlloc(boxBytes, kModelMemFlags));
  auto* moments = static_cast<TriangleMoment*>(MemAlloc(momentBytes, kModelMemFlags));
  auto* indices = static_cast<int32_t*>(MemAlloc(indexBytes, kModelMemFlags));
  if (!boxes || !moments || !indices) {
    MemFree(boxes, boxBytes, kModelMemFlags);
    MemFree(moments, momentBytes, kModelMemFlags);
    MemFree(indices, indexBytes, kModelMemFlags);
    return kCollideOutOfMemory;
  }
  std::memset(boxes, 0, boxBytes);
  model->boxes = boxes;
  model->boxCount = static_cast<int32_t>(boxCount);

  TriangleMoment* savedMoments = gTriangleMoments;
  gTriangleMoments = moments;
  FitTriangleMoments(model->triangles, n);
  for (int32_t i = 0; i < n; ++i) indices[i] = i;
  TriangleMoment sum;
  SumMoments(indices, n, &sum);
  AxesAndMean(&sum, boxes[0].rotation, boxes[0].centre);
  Builder builder{model, indices, 1};
  Divide(&builder, &boxes[0], indices, n);
  gTriangleMoments = savedMoments;

  MemFree(moments, momentBytes, kModelMemFlags);
  MemFree(indices, indexBytes, kModelMemFlags);
  model->state = kModelBuilt;
  return kCollideDone;
}

// ---------------------------------------------------------------------------------------------
// Test.

void ResetCollisionTestState() {
  std::memset(&gCollisionTest, 0, sizeof gCollisionTest);
  gTestStateReady = true;
}

int32_t CollisionContactCount() { return gCollisionTest.contactCount; }

int32_t CollisionModelsCollide(int32_t flags, int32_t contactLimit, const float r1[3][3], const float t1[3], float s1,
                               CollisionModel* model1, const float r2[3][3], const float t2[3], float s2,
                               CollisionModel* model2, float distanceLimit, float* nearestSlot) {
  if (!gTestStateReady) ResetCollisionTestState();
  CollisionTestState& st = gCollisionTest;
  st.modeFlags = flags;
  st.contactLimit = contactLimit;
  st.distanceLimit = static_cast<int32_t>(distanceLimit);
  st.nearestSlot = nearestSlot;
  st.boxTests = 0;
  st.triangleTests = 0;
  st.contactCount = 0;
  if (!model1 || !model2 || model1->state != kModelBuilt || model2->state != kModelBuilt) {
    return kCollideModelNotBuilt;
  }
  st.firstContact = (flags & ~(kContactNearest | kContactWithinLimit)) == kContactFirst;

  // The second model in the first one's frame.
  MatMul3(r2, r1, st.mR);  // r1^T r2
  float offset[3];
  Sub(t2, t1, offset);
  MatTransposeMulVecScaled(offset, r1, st.mT, 1.0f / s1);
  st.ms = s2 / s1;

  // The root pair: root 2 in root 1's frame.
  const CollisionBox* root1 = &model1->boxes[0];
  const CollisionBox* root2 = &model2->boxes[0];
  float placed2[3][3], rel[3][3], centre2[3], t[3];
  MatProduct3(root2->rotation, st.mR, placed2);  // mR * root2
  MatMul3(placed2, root1->rotation, rel);        // root1^T * mR * root2
  MatMulVecScaledAdd(root2->centre, st.mT, st.ms, st.mR, centre2);
  Sub(centre2, root1->centre, offset);
  MatTransposeMulVec(offset, root1->rotation, t);
  TestBoxes(root1, root2, rel, t);
  return kCollideDone;
}

// ---------------------------------------------------------------------------------------------
// View volume.

bool PointInsidePlanes(const float planes[6][4], const float sphere[4]) {
  for (int i = 0; i < 6; ++i) {
    const float distance = planes[i][0] * sphere[0] + planes[i][1] * sphere[1] + planes[i][2] * sphere[2] + planes[i][3];
    if (distance < -sphere[3]) return false;
  }
  return true;
}

void FrustumFromMatrix(const float m[4][4], ViewVolume* out) {
  // Column c of the matrix is (m[0][c], m[1][c], m[2][c], m[3][c]); each plane is the fourth
  // column plus or minus one of the first three.
  for (int pair = 0; pair < 3; ++pair) {
    for (int side = 0; side < 2; ++side) {
      float* plane = out->planes[pair * 2 + side];
      const float sign = side == 0 ? -1.0f : 1.0f;
      for (int k = 0; k < 4; ++k) plane[k] = m[k][3] + sign * m[k][pair];
      const float length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
      if (length > 0.0f) {
        for (int k = 0; k < 4; ++k) plane[k] /= length;
      }
      out->signMasks[pair * 2 + side] =
          (plane[0] < 0.0f ? 1 : 0) | (plane[1] < 0.0f ? 2 : 0) | (plane[2] < 0.0f ? 4 : 0);
    }
  }
  // Corner i meets one plane of each pair: bit 0 picks the fifth or sixth, bit 1 the third or
  // fourth, bit 2 the first or second. Planes that meet in no single point leave it unset.
  for (int i = 0; i < 8; ++i) {
    const float* a = out->planes[(i & 1) ? 4 : 5];
    const float* b = out->planes[(i & 2) ? 2 : 3];
    const float* c = out->planes[(i & 4) ? 0 : 1];
    float bc[3], ca[3], ab[3];
    Cross(b, c, bc);
    Cross(c, a, ca);
    Cross(a, b, ab);
    const float determinant = Dot(a, bc);
    if (std::fpclassify(determinant) != FP_NORMAL) continue;
    for (int k = 0; k < 3; ++k) out->corners[i][k] = -(a[3] * bc[k] + b[3] * ca[k] + c[3] * ab[k]) / determinant;
  }
}
