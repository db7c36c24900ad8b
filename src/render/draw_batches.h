// Draw batches and vertex buffers: the per-scene particle batch and the vertex buffers of the
// render entries' draw objects. Least form until they are built (draw_batches_stub.cpp).
#pragma once

#include <cstdint>

struct RenderEntryNode;
struct SceneRecord;

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
// Releases the scene's particle batch and detaches it.
void SceneBatchRelease(SceneRecord* scene);
