// A body's render records: the meshes of its parts, built the first time an instance needs them,
// shared by every instance of the body through use counts, and released when the last user lets
// go or the body is unloaded; and the residency of the textures its materials use. Called by the
// scene engine's instance and body cache code. Never frees a body record itself.
#pragma once

#include <cstdint>

#include "render/body_part_meshes.h"
#include "scene/body_records.h"

// One per body mesh (a "part" of the drawn body), zero-filled in the renderer's memory category.
struct RenderMeshRecord {
  int16_t sectionCount;  // the mesh's part count
  int32_t partIndex;     // the mesh's position in the body
  int32_t useCount;      // instances holding the meshes
};

// One per body part (a "section"), reached from it: its face groups' render parts.
struct RenderSectionRecord {
  BodyPart* section;
  int16_t referenceCount;
  RenderPartSet meshes;
  void* vertexData;  // part vertex count x 64 bytes when made (no code makes it yet)
  uint32_t vertexDataBytes;
};

// Nominal 32-bit sizes counted in the memory statistics.
constexpr uint32_t kRenderMeshRecordNominalBytes = 12;
constexpr uint32_t kRenderSectionRecordNominalBytes = 20;
// Body flags read here.
constexpr uint32_t kBodyWantsTangents = 0x4;
constexpr uint32_t kBodyKeepMeshes = 0x20;

// Builds the missing meshes of every body mesh and raises the use count of those built before;
// false for no body or when a record or a mesh cannot be made (what was built stays).
bool BodyCreateMeshes(BodyRecord* body);
// Lowers each mesh's use count by one; at zero the meshes go unless the body keeps them.
void BodyReleaseUse(BodyRecord* body);
// Releases the render records of one body mesh and its parts.
void BodyReleaseMeshes(BodyMesh* part);
// Gives the textures of every material group their flags and makes them resident.
void BodyLoadTextures(BodyRecord* body);
