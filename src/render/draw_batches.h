// Draw batches and vertex buffers: the per-scene particle batch (camera-facing quads of every
// particle of a scene in one dynamic buffer, grouped by material and kind) and the vertex buffers
// of the render entries' draw objects (instanced models transformed on the processor). Built by
// the scene engine's frame driver, drawn by render/particle_drawing.h, released by the scenes
// and the device loss. Never writes past a buffer or a group table.
#pragma once

#include <cstdint>

class GpuVertexBuffer;
struct BodyPart;
struct CameraRecord;
struct FaceGroup;
struct InstanceRecord;
struct RenderEntry;
struct RenderEntryNode;
struct SceneRecord;

constexpr int32_t kParticleBatchGroupCapacity = 100;
constexpr uint32_t kParticleVertexBytes = 32;
constexpr uint32_t kParticleVerticesPerQuad = 6;
constexpr uint32_t kParticleBatchParticles = 20000;
constexpr uint32_t kParticleBatchBytes = kParticleBatchParticles * kParticleVerticesPerQuad * kParticleVertexBytes;
constexpr uint32_t kInstanceVertexBytes = 24;
constexpr int32_t kParticleKindCount = 4;

// One draw call of the particle batch: `count` quads from quad `first`, all of one material row
// and particle kind (0 to 3).
struct DrawGroupEntry {
  int32_t first;
  int32_t count;
  int32_t material;
  int32_t kind;
};

// A scene's particle batch, zero-filled in the renderer's memory category; its buffer is counted
// in the context's video-memory account while it lives.
struct ParticleBatchRecord {
  GpuVertexBuffer* vertexBuffer;
  uint32_t byteSize;
  DrawGroupEntry groups[kParticleBatchGroupCapacity];
  int32_t groupCount;
  int32_t particleCount;
};

// The vertex layout of the particle buffer (declaration "screen2" of render/pixel_formats.h).
struct ParticleVertex {
  float x, y, z;
  float cornerX, cornerY;  // rotated and streak quads only: the corner's offset in the view
  float u, v;
  uint32_t colour;  // ARGB
};
static_assert(sizeof(ParticleVertex) == kParticleVertexBytes);

// The vertex layout of instanced geometry (declaration "screen").
struct InstanceVertex {
  float x, y, z;
  float u, v;
  uint32_t colour;
};
static_assert(sizeof(InstanceVertex) == kInstanceVertexBytes);

// One per draw object of an instanced model, zero-filled in the renderer's memory category.
struct VertexBufferRecord {
  GpuVertexBuffer* deviceBuffer;
  InstanceVertex* systemCopy;  // byteSize bytes
  uint32_t byteSize;
  uint32_t filled;  // vertices filled this frame
};

// Makes the scene's batch (its buffer on first use) and fills it with this frame's particles of
// the scene; false when the buffer cannot be made (the scene then has no batch) or locked.
bool SceneBatchBuild(SceneRecord* scene, CameraRecord* camera);
// Releases the scene's particle batch (its buffer leaves the video-memory account) and detaches it.
void SceneBatchRelease(SceneRecord* scene);

// Makes sure the draw object has its record and empties it for the frame; false when memory ran out.
bool VbRecEnsure(RenderEntryNode* drawObject);
// Appends the face group of the instance's part, transformed, to the draw object's buffer (made
// on first use for the batch's capacity); false when a buffer or record cannot be made.
bool VbRecBuild(SceneRecord* scene, RenderEntry* batch, RenderEntryNode* drawObject, InstanceRecord* instance,
                const BodyPart* part, const FaceGroup* faceGroup, CameraRecord* camera);
// Releases the draw object's record and detaches it.
void VbRecRelease(RenderEntryNode* drawObject);
