// The scene engine state's operations: its counted allocations, handle lookups, the BodyData and
// CutData name tables, the draw-node, render-entry, camera-node and particle pools, icon sets,
// texture remaps and the start-up pass that hides shadowed body files. The records are in
// scene/engine_records.h; SetEngineScreenMode and FreeEngineRenderTables, which the application
// core calls, are declared in scene/scene.h. Called by the engine's own code, the natives and
// the start-up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/fixed_math.h"
#include "scene/engine_records.h"

struct BodyRecord;
struct CameraEntry;
struct CameraNode;
struct CameraRecord;
struct DrawListNode;
struct RenderEntry;
struct RenderEntryNode;
struct SceneRecord;

// Engine records are counted in the engine's memory category at their nominal (32-bit) size;
// blocks come zeroed, and a failed allocation has run the low-memory handler and retried once.
void* EngineAlloc(size_t realSize, uint32_t nominalSize);
void EngineFree(void* block, uint32_t nominalSize);
template <typename Record>
Record* EngineAllocRecord(uint32_t nominalSize = sizeof(Record)) {
  return static_cast<Record*>(EngineAlloc(sizeof(Record), nominalSize));
}

// Lookups; all answer null for a missing table or key.
InstanceRecord* GetInstanceByHandle(uint32_t handle);  // null for handle 0
InstanceRecord* FindEngineHashEntry(uint32_t handle);
CameraRecord* GetCameraByHandle(uint32_t handle);  // null unless the record is a camera
SceneRecord* GetSceneByHandle(uint32_t handle);
BodyRecord* B3D_FindBody(int32_t id);  // key id + 1
HashValue HashTableGet(const HashTable* table, uint32_t key);
bool BodyCacheInsert(int32_t id, BodyRecord* body);

// BodyData and CutData name tables. The id-to-row rules give -1 for ids that name no row at all
// (negative ids, bodies 1000..8999); the row indexes are also -1 for rows the table does not hold.
int32_t BodyIdToRow(int32_t id, int32_t fixedRows);
int32_t CutIdToRow(int32_t id, int32_t fixedRows);
int32_t BodyDataRowIndex(int32_t id);
int32_t CutDataRowIndex(int32_t id);
int32_t GetBodyDataField(int32_t id);
int32_t GetBodyDataField1(int32_t id);
int32_t GetBodyDataField5(int32_t id);
int32_t BodyDataSetUnavailable(int32_t id);
void BodyDataSetLoaded(int32_t id);
int32_t BodyDataIsLoaded(int32_t id);
// The missing mark of a cut's CutData row: set by a failed load; negative ids count as marked,
// ids outside the table as not.
void MarkCutAbsent(int32_t id);
int32_t CutIsMarkedAbsent(int32_t id);
void SetBodyDataName(int32_t id, const char* text);
void SetCutDataName(int32_t id, const char* text);
void BodyDataCountUses(InstanceRecord* instance);
bool AllocBodyDataTable();
bool AllocCutDataTable();
void ClearDynamicBodyData();
void ClearDynamicCutData();
// Replaces the added rows by `count` empty ones (body rows with the defaults -2, -2, -1), the block
// grown to hold them; false with no added rows when memory runs out.
bool SetAddedBodyRows(int32_t count);
bool SetAddedCutRows(int32_t count);
void FreeBodyDataTable();
void FreeCutDataTable();

// Draw nodes and render entries.
DrawListNode* DrawListNodeAlloc();
void DrawListRelease();
void FreeRenderEntryNodes(RenderEntry* entry);
RenderEntryNode* RenderEntryNodeGet(RenderEntry* entry, uint16_t key);
void RenderEntriesResetPass(SceneRecord* scene);
void RenderEntriesSelect(SceneRecord* scene);
void FreeStringTable(HashTable* table);

// Per-camera nodes and entries.
CameraNode* CameraNodeFind(CameraRecord* camera, const InstanceRecord* instance);
CameraEntry* CameraEntryGet(CameraRecord* camera, InstanceRecord* instance);
void CameraNodeFree(CameraNode* node);
void SceneForgetInstance(SceneRecord* scene, const InstanceRecord* instance);
void FreeAllCameraNodes();

// Particles and the engine's lens-flare table.
void ReleaseSceneParticles(SceneRecord* scene);
ParticleRecord* TakeParticle();
void FreeParticlePools();
void FreeLensflareTable();

// Icons and texture remapping.
const IconRecord* B3D_GetIconData(int32_t set, int32_t id);
// The texture matrix that selects the icon's rectangle; false when the icon or its texture size is
// missing. The variant with a position adds (x, y) pixels and scales the size by 16.16 (w, h).
bool IconTextureMatrix(int32_t set, int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, FixedMatrix* out);
bool IconTextureMatrixAt(int32_t set, int32_t id, FixedMatrix* out);
void FreeIconSets();
const TextureRemapRow* TextureRemapFind(int32_t tableId);
int32_t MapEffectTexture(int32_t texture, int32_t tableId);
void FreeTextureRemap();

// Start-up: an earlier catalogue's body files give way to a later one's of the same name.
void HideShadowedBodyFiles();
