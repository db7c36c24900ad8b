// A body's drawable parts as device meshes: the render-part record, the building of one mesh per
// face group of a body part (vertex remap, creation, filling from the packed body vertices,
// tangents, optimisation, the write-only drawing clone) and its release with the texture and
// video-memory accounting. Called by the body mesh code when a body is first drawn. Never reads
// a body vertex or a preassigned entry it has not checked against the body's vertex count.
#pragma once

#include <cstdint>

#include "platform/gpu_mesh.h"
#include "render/render_material.h"
#include "scene/body_records.h"

// One drawable part of a body: a mesh with its own buffers, then the render material that the
// part drawing fills on the first draw.
struct RenderPart {
  int32_t materialIndex;  // negative: a texture animation state of the instance
  int32_t triangleCount;
  int32_t descriptorWord;  // the face group's blended word
  GpuVertexBuffer* vertexBuffer;
  GpuIndexBuffer* indexBuffer;
  GpuxMesh* mesh;
  GpuVertexDeclaration* declaration;
  uint32_t vertexCount;
  uint32_t faceCount;
  uint32_t vertexBytes;
  uint32_t indexBytes;
  uint32_t indexFormat;
  // What this part added to the video-memory account and the texture it holds a reference on,
  // so that its release gives back exactly what it took.
  uint32_t accountedBytes;
  int32_t textureId;
  uint8_t holdsTexture;
  uint8_t holdsBuffers;  // counted in gMeshBufferCounts
  PartMaterialState material;  // built on the first draw
};

// The meshes of one body part: one render part per face group.
struct RenderPartSet {
  int32_t partCount;
  RenderPart* parts;
};

// Device vertex and index buffers the renderer's meshes hold.
struct MeshBufferCounts {
  int32_t vertexBuffers;
  int32_t indexBuffers;
};
extern MeshBufferCounts gMeshBufferCounts;

// Load and fill option bits.
constexpr uint32_t kMeshLoadTangents = 0x2;         // 64-byte vertices with tangent and binormal
constexpr uint32_t kMeshLoadUvOutside = 0x400;      // a texture coordinate lies outside 0..1
constexpr uint32_t kMeshLoadComputeTangents = 0x800;
// Part flags read by the mesh fill: the face groups' extra records are the preassigned vertex
// lists (their values the tangent and binormal), and the stored tangents are complete.
constexpr uint32_t kPartPreassignedVertices = 0x10000000;
constexpr uint32_t kPartTangentsComplete = 0x20000000;
// A triangle that gave out its vertices in first-use order.
constexpr uint16_t kTriangleRemapped = 0x100;

// Mesh options of the creation meshes and of the drawing clones.
constexpr uint32_t kPartMeshCreateOptions = kGpuxMeshSystemMem | kGpuxMeshDynamic;  // 0x990
constexpr uint32_t kPartMeshDrawOptions = kGpuxMeshWriteOnly;                       // 0x440
constexpr uint32_t kPartMeshManagedOptions = kGpuxMeshWriteOnly | kGpuxMeshManaged;  // 0x660
// "VideoD3DFlags2" bit of the "-managed" option.
constexpr uint32_t kD3D2ManagedMeshes = 0x8;

// 1 with every face group of `partList` made into a render part of `set`; 0 at the first part
// that cannot be made (the parts before it stay in the set for PartMeshRelease).
int32_t BodyPartMeshesCreate(const BodyMesh* meshData, BodyPart* partList, RenderPartSet* set, uint32_t loadFlags);
// 1 when the part's mesh was replaced by its drawing clone; else the part keeps its mesh.
int32_t BodyPartMeshClone(RenderPart* part, uint32_t loadFlags);
// Installs `mesh` (whose reference it takes) with its buffers and sizes in the part.
bool MeshRecordSetMesh(RenderPart* part, GpuxMesh* mesh);
// Writes the packed vertices whose remap entry is not -1 into the mesh's vertex buffer; *options
// gains kMeshLoadUvOutside and kMeshLoadComputeTangents as the data demands.
bool MeshFillVertices(const BodyMesh* part, const FaceGroup* tangentSource, const int32_t* remap, GpuxMesh* mesh,
                      uint32_t* options, uint32_t flags);
// Writes the group's triangles through the remap as 16- or 32-bit indices.
bool MeshFillIndices(const FaceGroup* group, const int32_t* remap, GpuxMesh* mesh);
// Fills the zero tangents and binormals of a 64-byte-vertex mesh from its faces.
bool MeshComputeTangents(GpuxMesh* mesh, uint32_t faces, uint32_t vertices);
// Cleans and vertex-cache-optimises the part's mesh and installs the result.
bool MeshOptimize(RenderPart* part);
// Drops the texture references and device objects of the set's parts and frees its array.
void PartMeshRelease(RenderPartSet* set);
