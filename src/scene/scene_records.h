// The scene record, its render entries and the draw-list nodes the renderer walks per camera and
// pass. Record-only header: the renderer includes it; the scene operations live elsewhere.
#pragma once

#include <cstdint>

#include "scene/list_records.h"

struct BodyMaterial;
struct CameraRecord;
struct InstanceRecord;
struct VertexBufferRecord;
struct ParticleBatchRecord;

// The object that owns a scene (a sector of the universe, say): the engine frame calls its
// end-of-frame operation once per frame after the scene's frame has ended.
struct SceneRecord;
struct SceneOwner {
  void (*endFrame)(SceneOwner* owner, SceneRecord* scene);
};

// Scene flags.
constexpr uint32_t kSceneEnabled = 1u << 0;
constexpr uint32_t kSceneBatch = 1u << 1;  // a particle draw batch is built for the scene
constexpr uint32_t kSceneEnvironmentPass = 1u << 2;
constexpr uint32_t kSceneNotSaved = 1u << 3;

struct SceneRecord {
  ListNode node;     // the engine's scene list
  ListHead members;  // root instances
  uint32_t handle;
  uint32_t flags;
  ListHead cameras;   // CameraRecord
  char* name;         // owned
  float systemScale;  // 0.01 for a new scene
  int32_t values[3];  // 32, 32, 64 for a new scene
  uint32_t word9;
  ListHead renderEntries;  // RenderEntry
  int32_t firstPass, lastPass;
  SceneOwner* frameObject;             // told at the end of every frame; null for a new scene
  ParticleBatchRecord* particleBatch;  // while kSceneBatch is set
};

// RenderEntry flags.
constexpr uint32_t kRenderEntrySelected = 1u << 0;  // chosen for the current pass
constexpr uint32_t kRenderEntryBit1 = 1u << 1;

// The batch budget of one pass: selected entries' count x size stays below it.
constexpr int32_t kRenderEntryBudget = 30961;

// In the engine's render table by key and in a scene's render entry list. Begins like a priority
// list node, as the scene's list is re-sorted by priority.
struct RenderEntry {
  ListNode node;
  int32_t priority;
  uint32_t key;
  uint32_t flags;
  uintptr_t words[4];
  int32_t count;
  int32_t size;
  uint32_t word;
  ListHead nodes;  // RenderEntryNode
  // The batch's type flags (0x10: draw with the material's own effect; 0x20000000: bullets) and
  // the most instances its draw objects' buffers hold.
  uint32_t typeFlags;
  int32_t capacity;
};
constexpr uint32_t kRenderEntryNominalBytes = 15 * 4;

struct RenderEntryNode {
  ListNode node;
  uint16_t key;
  uintptr_t words[3];
  VertexBufferRecord* vertexBuffer;
  // What the instanced drawing of the draw object reads: its material (null: none), its flags
  // (bit 27: texture coordinates through the instance's texture animation) and the vertices one
  // instance adds.
  const BodyMaterial* material;
  uint32_t drawFlags;
  int32_t verticesPerInstance;
};
constexpr uint32_t kRenderEntryNodeNominalBytes = 7 * 4;

// From the engine's draw-node pool; the draw list is rebuilt per camera and pass. One render
// group of one level of an instance's body, keyed by its depth.
struct BodyMesh;
struct BodyPart;
struct DrawListNode {
  ListNode node;
  BodyPart* group;
  BodyMesh* part;
  InstanceRecord* instance;
  int32_t sortKey;
  uintptr_t flag;  // set: the group's material is drawn with 0x20000
};
constexpr uint32_t kDrawListNodeNominalBytes = 7 * 4;
