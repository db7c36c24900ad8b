// Draw batches and vertex buffers: the per-scene particle batch and the vertex buffers of the
// render entries' draw objects. Least form until they are built (draw_batches_stub.cpp).
#pragma once

#include <cstdint>

class GpuVertexBuffer;
struct RenderEntryNode;
struct SceneRecord;

// A scene's particle batch: its dynamic vertex buffer, counted in the context's video-memory
// account while it lives. (The group table the particle drawing fills comes with the drawing.)
struct ParticleBatchRecord {
  GpuVertexBuffer* vertexBuffer;
  uint32_t byteSize;
};

struct VertexBufferRecord {
  void* deviceBuffer;
  void* systemCopy;
  uint32_t byteSize;
  uint32_t filled;  // vertices filled this frame
};

// Makes sure the draw object has its record and empties it for the frame; false when memory ran out.
bool VbRecEnsure(RenderEntryNode* drawObject);
// Releases the draw object's record and detaches it.
void VbRecRelease(RenderEntryNode* drawObject);
// Releases the scene's particle batch (its buffer leaves the video-memory account) and detaches it.
void SceneBatchRelease(SceneRecord* scene);
