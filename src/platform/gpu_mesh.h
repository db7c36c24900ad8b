// Meshes: a vertex buffer, an index buffer of triangle lists and the declaration of its
// vertices, made on the device with the pools and usages its options name; copies into another
// declaration; face adjacency from positions (within an epsilon) or from point
// representatives; clean-up and vertex-cache optimisation that keep the faces and their order.
// Called by the renderer's body-part mesh code. Reads its buffers only through their locks and
// checks every index it is given.
#pragma once

#include <cstdint>

#include "platform/gpu.h"

// Mesh options.
constexpr uint32_t kGpuxMesh32Bit = 0x1;
constexpr uint32_t kGpuxMeshDoNotClip = 0x2;
constexpr uint32_t kGpuxMeshPoints = 0x4;
constexpr uint32_t kGpuxMeshVbSystemMem = 0x10;
constexpr uint32_t kGpuxMeshVbManaged = 0x20;
constexpr uint32_t kGpuxMeshVbWriteOnly = 0x40;
constexpr uint32_t kGpuxMeshVbDynamic = 0x80;
constexpr uint32_t kGpuxMeshIbSystemMem = 0x100;
constexpr uint32_t kGpuxMeshIbManaged = 0x200;
constexpr uint32_t kGpuxMeshIbWriteOnly = 0x400;
constexpr uint32_t kGpuxMeshIbDynamic = 0x800;
constexpr uint32_t kGpuxMeshVbSoftwareProcessing = 0x8000;
constexpr uint32_t kGpuxMeshIbSoftwareProcessing = 0x10000;
constexpr uint32_t kGpuxMeshSystemMem = kGpuxMeshVbSystemMem | kGpuxMeshIbSystemMem;
constexpr uint32_t kGpuxMeshManaged = kGpuxMeshVbManaged | kGpuxMeshIbManaged;
constexpr uint32_t kGpuxMeshWriteOnly = kGpuxMeshVbWriteOnly | kGpuxMeshIbWriteOnly;
constexpr uint32_t kGpuxMeshDynamic = kGpuxMeshVbDynamic | kGpuxMeshIbDynamic;
constexpr uint32_t kGpuxMeshSoftwareProcessing = kGpuxMeshVbSoftwareProcessing | kGpuxMeshIbSoftwareProcessing;

// Clean-up kinds and optimisation flags.
constexpr uint32_t kGpuxCleanBackFacing = 0x1;
constexpr uint32_t kGpuxCleanBowties = 0x2;
constexpr uint32_t kGpuxMeshOptCompact = 0x01000000;
constexpr uint32_t kGpuxMeshOptAttrSort = 0x02000000;
constexpr uint32_t kGpuxMeshOptVertexCache = 0x04000000;

// An adjacency entry for an edge no other face shares.
constexpr uint32_t kGpuxNoNeighbour = 0xFFFFFFFFu;
// Elements a declaration may hold, its end marker included.
constexpr uint32_t kGpuxMaxDeclLength = 65;

// Bytes of one vertex of `stream`: the end of its furthest element.
uint32_t GpuxGetDeclVertexSize(const GpuVertexElement* declaration, uint32_t stream);

class GpuxMesh : public GpuUnknown {
 public:
  virtual GpuResult GetDevice(GpuDevice** device) = 0;
  virtual uint32_t GetNumFaces() = 0;
  virtual uint32_t GetNumVertices() = 0;
  virtual uint32_t GetOptions() = 0;
  virtual uint32_t GetNumBytesPerVertex() = 0;
  // Copies the elements with the end marker (at most kGpuxMaxDeclLength).
  virtual GpuResult GetDeclaration(GpuVertexElement* elements) = 0;
  virtual GpuResult GetVertexBuffer(GpuVertexBuffer** buffer) = 0;
  virtual GpuResult GetIndexBuffer(GpuIndexBuffer** buffer) = 0;
  virtual GpuResult LockVertexBuffer(uint32_t flags, void** data) = 0;
  virtual GpuResult UnlockVertexBuffer() = 0;
  virtual GpuResult LockIndexBuffer(uint32_t flags, void** data) = 0;
  virtual GpuResult UnlockIndexBuffer() = 0;
  // A copy with other options and declaration: each element takes the source element of the
  // same usage and index, converted to its type (zero where the source has none).
  virtual GpuResult CloneMesh(uint32_t options, const GpuVertexElement* declaration, GpuDevice* device,
                              GpuxMesh** clone) = 0;
  // Three entries per face: the face across each edge (corners k, k+1), or kGpuxNoNeighbour.
  // Vertices whose positions differ by at most `epsilon` in each coordinate count as one.
  virtual GpuResult GenerateAdjacency(float epsilon, uint32_t* adjacency) = 0;
  // The same from point representatives (null: every vertex its own).
  virtual GpuResult ConvertPointRepsToAdjacency(const uint32_t* pointReps, uint32_t* adjacency) = 0;
  // Keeps faces and vertices in their order: remaps are identities and the adjacency passes
  // through (made from positions when none is given).
  virtual GpuResult OptimizeInplace(uint32_t flags, const uint32_t* adjacencyIn, uint32_t* adjacencyOut,
                                    uint32_t* faceRemap, uint32_t* vertexRemap) = 0;
};

// kGpuErrInvalidCall for no faces or vertices, more than 65535 vertices without kGpuxMesh32Bit,
// or a declaration without vertex bytes or longer than kGpuxMaxDeclLength.
GpuResult GpuxCreateMesh(uint32_t faces, uint32_t vertices, uint32_t options, const GpuVertexElement* declaration,
                         GpuDevice* device, GpuxMesh** mesh);

// A cleaned copy of the mesh with the same options and declaration: faces and their order are
// kept, and the adjacency passes through. Fails for an adjacency naming faces the mesh lacks.
GpuResult GpuxCleanMesh(uint32_t cleanType, GpuxMesh* mesh, const uint32_t* adjacencyIn, GpuxMesh** clean,
                        uint32_t* adjacencyOut);
