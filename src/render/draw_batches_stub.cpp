// The least form of the draw batches: vertex-buffer records without device buffers, counted in
// the renderer's memory category, and the release of a scene's particle batch. Called by the
// scene engine's render entries and particle pools and by the device loss.
#include "core/memory.h"
#include "platform/gpu.h"
#include "render/d3d_context.h"
#include "render/draw_batches.h"
#include "scene/scene_records.h"

namespace {

constexpr uint32_t kRendererMemFlags = MemCategoryFlags(kMemCatMaterial);

}  // namespace

bool VbRecEnsure(RenderEntryNode* drawObject) {
  if (!drawObject) return false;
  if (drawObject->vertexBuffer) {
    drawObject->vertexBuffer->filled = 0;
    return true;
  }
  drawObject->vertexBuffer = static_cast<VertexBufferRecord*>(MemAlloc(sizeof(VertexBufferRecord), kRendererMemFlags));
  return drawObject->vertexBuffer != nullptr;
}

void VbRecRelease(RenderEntryNode* drawObject) {
  if (!drawObject || !drawObject->vertexBuffer) return;
  MemFree(drawObject->vertexBuffer, sizeof(VertexBufferRecord), kRendererMemFlags);
  drawObject->vertexBuffer = nullptr;
}

void SceneBatchRelease(SceneRecord* scene) {
  if (!scene || !scene->particleBatch) return;
  ParticleBatchRecord* batch = scene->particleBatch;
  if (batch->vertexBuffer) {
    batch->vertexBuffer->Release();
    if (gDirect3D) gDirect3D->videoMemoryBytes -= batch->byteSize;
  }
  MemFree(batch, sizeof(ParticleBatchRecord), kRendererMemFlags);
  scene->particleBatch = nullptr;
}
