// The triangle collision models of bodies (a tree of oriented boxes over a body's triangles),
// the test of two placed models against each other, and the two view-volume operations the
// renderer culls with. Called by the instance collision code, the body collision test and the
// renderer. Everything is 32-bit float; the test walks the trees without allocating.
#pragma once

#include <cstdint>

// One triangle of a collision model (ten words in the model's triangle array): the caller's id and
// the corners A, B and C.
struct CollisionTriangle {
  int32_t id;
  float a[3];
  float b[3];
  float c[3];
};

// One box of a model's tree. The rotation's columns are the box axes (column 0 the major axis).
// The root's rotation and centre are in model space; every other box's are in its parent's frame.
// A leaf has no children and points to its triangle.
struct CollisionBox {
  float rotation[3][3];
  float centre[3];
  float half[3];
  CollisionBox* p;
  CollisionBox* n;
  CollisionTriangle* triangle;
};

// Build states.
constexpr int32_t kModelFresh = 0;
constexpr int32_t kModelBuilding = 1;
constexpr int32_t kModelBuilt = 3;

// A body's collision model: the triangles and, once built, the box tree (box 0 the root, 2n - 1
// boxes in one block for n triangles).
struct CollisionModel {
  CollisionBox* boxes;
  int32_t boxCount;
  CollisionTriangle* triangles;
  int32_t triangleCount;
  int32_t triangleCapacity;
  int32_t state;
};

// Result codes of the model operations.
constexpr int32_t kCollideDone = 0;
constexpr int32_t kCollideOutOfMemory = 1;
constexpr int32_t kCollideModelNotBuilt = 3;
constexpr int32_t kCollideOutOfSequence = 4;
constexpr int32_t kCollideNoTriangles = 5;

// Contact mode flags of CollisionModelsCollide. With 4 or 8 a contact's depth is taken along the
// first model's third axis: 8 drops contacts farther than the distance limit, 4 keeps only
// contacts nearer than the nearest slot and stops at the contact limit. Flags that are 2 once
// these two bits are removed end the test at the first contact.
constexpr int32_t kContactFirst = 2;
constexpr int32_t kContactNearest = 4;
constexpr int32_t kContactWithinLimit = 8;

// The one test state: counters, the relative placement of the second model in the first one's
// frame, the mode and its limits, and the last contact points (one in each model's frame).
struct CollisionTestState {
  int32_t boxTests;
  int32_t triangleTests;
  int32_t contactCount;
  int32_t firstContact;
  float mR[3][3];
  float mT[3];
  float ms;
  int32_t modeFlags;
  int32_t contactLimit;
  int32_t distanceLimit;
  float* nearestSlot;
  float contact1[3];
  float contact2[3];
};
extern CollisionTestState gCollisionTest;
// Clears the test state; the first test does it too.
void ResetCollisionTestState();

// A zeroed model ready for triangles; null when memory runs out.
CollisionModel* NewCollisionModel();
// Frees the model's boxes and triangles and the model.
void FreeCollisionModel(CollisionModel* model);
// Frees the boxes and triangles and starts again; kCollideOutOfSequence when it was being built.
int32_t CollisionModelBegin(CollisionModel* model);
int32_t CollisionModelAddTriangle(CollisionModel* model, const float p1[3], const float p2[3], const float p3[3],
                                  int32_t id);
// Builds the box tree; kCollideNoTriangles for a model without triangles (it stays unbuilt).
int32_t CollisionModelFinish(CollisionModel* model);

// Tests model 2, placed at s2 * r2 * p + t2, against model 1, placed at s1 * r1 * p + t1, and
// records the contacts found in gCollisionTest. Answers kCollideModelNotBuilt when either model is
// not built, else kCollideDone.
int32_t CollisionModelsCollide(int32_t flags, int32_t contactLimit, const float r1[3][3], const float t1[3], float s1,
                               CollisionModel* model1, const float r2[3][3], const float t2[3], float s2,
                               CollisionModel* model2, float distanceLimit, float* nearestSlot);

// The first of the 15 separating axes (1-3 a's axes, 4-6 b's, then 7 + 3i + j for a's axis i
// crossed with b's axis j) that parts box b, at rotation rel and offset t in box a's frame, from
// box a; 0 when the boxes overlap. ha and hb are the half extents.
int32_t BoxesSeparated(const float rel[3][3], const float t[3], const float ha[3], const float hb[3]);

// The number of contacts the last test recorded.
int32_t CollisionContactCount();

// The view volume of a view-projection matrix: six planes (a, b, c, d) with unit normals, their
// sign masks (bit 0: a < 0, bit 1: b < 0, bit 2: c < 0) and the eight corner points; a corner
// whose planes do not meet in one point is left as it was.
struct ViewVolume {
  float planes[6][4];
  int32_t signMasks[6];
  float corners[8][3];
};
void FrustumFromMatrix(const float matrix[4][4], ViewVolume* out);
// True when the sphere (centre x, y, z, radius) is not wholly behind any of the six planes.
bool PointInsidePlanes(const float planes[6][4], const float sphere[4]);
