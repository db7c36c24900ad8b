// The in-memory form of a body (3D model) that both body file readers fill: the body with its
// meshes, a mesh's parts, a part's face groups, their triangles and the render vertices.
// Record-only header: the renderer includes it; the readers and geometry live elsewhere.
#pragma once

#include <cstdint>

#include <string>
#include <vector>

#include "core/fixed_math.h"
#include "scene/effect_records.h"
#include "scene/list_records.h"

struct CollisionModel;
struct RenderMeshRecord;
struct RenderSectionRecord;

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
constexpr uint32_t kPartAwaitsBody = 0x40;      // drawing loads the instance's body first
constexpr uint32_t kPartHidden = 0x10000;        // drawn as nothing
constexpr uint32_t kPartNegativeMaterial = 0x40000;
constexpr uint32_t kPartStoredBounds = 0x10000000;

// Limits of the readers: the text parser's scratch material table (its last entry is never
// filled), meshes per body, parts per mesh, faces per part and the triangles of one face group.
constexpr int32_t kBodyScratchMaterials = 100;
constexpr int32_t kBodyMaxMaterials = 99;
constexpr int32_t kBodyMaxMeshes = 32767;
constexpr int32_t kBodyMaxParts = 199;
constexpr int32_t kBodyMaxFacesPerPart = 200000;
constexpr int32_t kBodyGroupTriangles = 200000;
constexpr int32_t kBodyMaxGroups = 100;
constexpr int32_t kBodyMaxFaceCorners = 4;
constexpr int32_t kBodyMaxWeightsPerPoint = 9;

// Material kinds: the section a material entry stands behind ("MATERIAL:" 1 ... "MATERIAL6:" 6).
constexpr int32_t kMaterialKind1 = 1;
constexpr int32_t kMaterialKind2 = 2;
constexpr int32_t kMaterialKind3 = 3;
constexpr int32_t kMaterialKind5 = 5;
constexpr int32_t kMaterialKind6 = 6;

// Material entry flags (beyond the material-table flags they share).
constexpr uint32_t kMaterialAlphaTest = 0x1;
constexpr uint32_t kMaterialDestBlend = 0x2;
constexpr uint32_t kMaterialTransparent = 0x4;
constexpr uint32_t kMaterialWireframe = 0x8;
constexpr uint32_t kMaterialTwoSided = 0x10;
constexpr uint32_t kMaterialBumpTexture = 0x2000;
constexpr uint32_t kMaterialTextureNames = 0x8000;
constexpr uint32_t kMaterialEffectParams = 0x2000000;
constexpr uint32_t kMaterialTexAnim = 0x8000000;
// A face group whose material has any of these is drawn blended.
constexpr uint32_t kMaterialBlendBits = 0x486;

// Effect parameter kinds, as the file gives them ("SPTYPE_LONG" 0 ... "SPTYPE_STRING" 8). A
// boolean is stored as kind 0; a string that names a loadable texture too.
constexpr int16_t kParamLong = 0;
constexpr int16_t kParamBool = 1;
constexpr int16_t kParamFloat = 2;
constexpr int16_t kParamFloat2 = 3;
constexpr int16_t kParamFloat3 = 4;
constexpr int16_t kParamFloat4 = 5;
constexpr int16_t kParamMatrix3 = 6;
constexpr int16_t kParamMatrix4 = 7;
constexpr int16_t kParamString = 8;

// One typed effect parameter of a body material. The head's `id` is the parameter's texture slot
// (1 "t_DiffuseTexture", 2 "t_BumpTexture", ..., 0 for a name that is no texture) and its `name`
// an owned, counted string, so the effect lookups find records by slot or by name.
struct EffectParamRecord : EffectParamHead {
  int16_t kind;
  int32_t value;  // integer, boolean, texture id or the single float's bits
  float vec2[2];
  float vec3[3];
  float vec4[4];
  float matrix3[3][4];  // fourth column 0
  float matrix4[4][4];
  char* text;  // kind 8; owned, counted
};

// The effect of a body material and its parameters; destroying the list destroys its records.
struct EffectParamList {
  uint16_t word;
  std::string name;  // the effect file, without a trailing ".fx"
  std::vector<EffectParamRecord*> items;
};

// Nominal sizes of the body records and their array elements in the 32-bit form, in which the
// engine's memory statistics count them.
constexpr uint32_t kBodyRecordNominalBytes = 84;
constexpr uint32_t kBodyMeshNominalBytes = 76;
constexpr uint32_t kBodyPartNominalBytes = 68;
constexpr uint32_t kFaceGroupNominalBytes = 32;
constexpr uint32_t kBodyTriangleNominalBytes = 16;
constexpr uint32_t kBodyVertexNominalBytes = 24;
constexpr uint32_t kBodyMaterialNominalBytes = 96;
constexpr uint32_t kEffectParamRecordNominalBytes = 168;
constexpr uint32_t kEffectParamListNominalBytes = 48;
constexpr uint32_t kBoneWeightNominalBytes = 8;
constexpr uint32_t kFaceGroupExtraNominalBytes = 16;
constexpr uint32_t kPointerNominalBytes = 4;

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
  int32_t* boneRemap;  // per bone of the mesh: its number among the group's used bones, or -1
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
  RenderSectionRecord* renderSection;  // the renderer's meshes of the groups; null until drawn
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
  RenderMeshRecord* renderRecord;  // the renderer's use count of the parts' meshes; null until drawn
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
  int32_t collisionLevel;  // the mesh whose faces the collision model holds
  int32_t lastUse;  // frames since last use; cleared on every cache hit
};
