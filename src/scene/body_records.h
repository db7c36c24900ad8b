// The in-memory form of a body (3D model) that both body file readers fill: the body with its
// meshes, a mesh's parts, a part's face groups, their triangles and the render vertices.
// Record-only header: the renderer includes it; the readers and geometry live elsewhere.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "scene/list_records.h"

struct CollisionModel;
struct EffectParamList;

// Body flags.
constexpr uint32_t kBodyMeshFlag1 = 0x1;      // some mesh has mesh flag 1
constexpr uint32_t kBodySecondTexture = 0x2;  // a material has a second texture and no bump texture
constexpr uint32_t kBodyBumpTexture = 0x4;
constexpr uint32_t kBodyBoneWeights = 0x8;
constexpr uint32_t kBodyOwnMaterials = 0x10;  // materials of kind 5 or 6
constexpr uint32_t kBodyDataRowFlag = 0x40;

// Mesh flags.
constexpr uint32_t kMeshPartWithoutMaterial = 0x1;
constexpr uint32_t kMeshBoneWeights = 0x4;
constexpr uint32_t kMeshSecondUv = 0x20;

// Part flags.
constexpr uint32_t kPartCentreFromPoint = 0x4;
constexpr uint32_t kPartAllBlended = 0x20;
constexpr uint32_t kPartNegativeMaterial = 0x40000;
constexpr uint32_t kPartStoredBounds = 0x10000000;

// A body's material entry; 16-bit fields unless stated. Texture ids below 0 (-n) stand for
// texture animation n.
struct BodyMaterial {
  int16_t number;  // faces of kinds 1 to 3 refer to it
  int16_t texture;
  int16_t colors[9];      // ambient, diffuse, specular: red, green, blue each
  int16_t materialIndex;  // in the renderer's material table; -1 for kinds 5 and 6
  int16_t transparency;   // percent, 0 opaque
  int16_t value14;
  int16_t fifthTexture, fifthValue;
  int16_t sixthTexture, sixthValue;
  int16_t values19[2];
  uint32_t flags;
  int16_t value23;
  int16_t secondTexture, secondValue;
  int16_t bumpTexture, bumpValue;
  int16_t thirdTexture, thirdValue;
  int32_t animStart[2];  // 16.16 u, v
  int32_t animEnd[2];
  int32_t animDuration;  // milliseconds
  int32_t animOrigin[2];
  int32_t animRotation;  // value x 1000
  EffectParamList* params;
};

// Positions and normals: 1.0 = 16384 (16.16 shifted right by 2).
struct BodyVertex {
  int16_t x, y, z;
  int16_t nx, ny, nz;
  int32_t u, v;        // 16.16
  uint32_t smoothing;  // 0 = none
};

struct BodyTriangle {
  int32_t v[3];
  uint16_t flags;
};

struct FaceGroupExtra {
  int32_t word;
  int16_t values[6];
};

struct FaceGroup {
  int32_t triangleCount;
  BodyTriangle* triangles;
  int32_t material;  // negative = none
  int32_t blended;   // 1 when the material's flags have any of 0x486
  int32_t usedBoneCount;
  int32_t* boneRemap;
  int32_t extraCount;
  FaceGroupExtra* extras;
};

struct BodyMesh;

struct BodyPart {
  int16_t groupCount;
  FaceGroup* groups;
  FixedVector centre;
  int32_t radius;
  FixedVector boundsCentre;  // world units
  FixedVector boundsHalf;
  uint32_t flags;
  BodyMesh* mesh;
};

struct BoneWeight {
  int32_t bone;
  int32_t weight;  // 16.16
};

struct BodyRecord;

struct BodyMesh {
  int32_t vertexCount;
  BodyVertex* vertices;
  int16_t partCount;
  BodyPart** parts;
  int32_t* uv2;  // two 16.16 words per vertex, with kMeshSecondUv
  int32_t size;
  int32_t bounds[4];
  uint32_t flags;
  int32_t distance;
  int16_t textRead;  // 1 for meshes read from text
  int32_t boneCount;
  char** boneNames;
  int32_t maxWeightsPerVertex;
  int16_t* weightCounts;
  BoneWeight** weights;
  BodyRecord* body;
};

// The sound parameters of a body, in the order the "SOUND:" section gives them.
struct BodySound {
  int16_t sample;
  uint32_t word;
  int32_t ints1[2];
  int32_t fixed[3];  // 16.16
  int32_t ints2[2];
  int16_t shorts[2];
};

struct BodyRecord {
  ListNode node;  // the engine's loaded-body list
  int32_t id;
  BodyMesh** meshes;
  int16_t meshCount;
  BodySound sound;
  char* name;  // owned
  uint32_t flags;
  int32_t materialCount;
  BodyMaterial* materials;
  CollisionModel* collision;
  int32_t lastUse;  // frames since last use; cleared on every cache hit
};
