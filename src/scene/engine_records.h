// The scene engine's one state record, EngineState3D, with the small rows it holds (the BodyData
// and CutData name tables, icon sets, texture remaps, lens-flare rows), and the global pointer
// through which everything reaches it (null until start-up). Record-only header: the renderer
// includes it; the engine's operations live in scene/engine_state.h and the lifecycle code.
#pragma once

#include <cstdint>

#include "core/hash_table.h"
#include "scene/light_records.h"
#include "scene/list_records.h"
#include "scene/particle_records.h"

struct DisplayModeRecord;
struct InstanceRecord;
struct RecordingState;
struct ReplayState;
struct SceneRecord;

// Engine flags.
constexpr uint32_t kEngineRecording = 1u << 0;
constexpr uint32_t kEngineReplaying = 1u << 1;
constexpr uint32_t kEngineNoteFileNames = 1u << 5;  // note body and cut file names while loading
constexpr uint32_t kEngineEnvRefreshWanted = 1u << 6;
constexpr uint32_t kEngineEnvRefreshed = 1u << 7;  // the environment map was rendered at least once

// Name tables: fixed rows, then added rows in whole blocks of 1000.
constexpr int32_t kBodyDataFixedRows = 11000;
constexpr int32_t kCutDataFixedRows = 15000;
constexpr int32_t kNameTableBlock = 1000;
constexpr int kIconSetCount = 10;

// BodyData row (seven words).
struct BodyDataRow {
  int32_t value0;
  int32_t value1;  // -1 marks a body unavailable (and without collision)
  int32_t value2;
  char* fileName;  // owned; null for none
  int32_t loaded;
  int32_t value5;
  int32_t useCount;
};
constexpr uint32_t kBodyDataRowNominalBytes = 7 * 4;

// CutData row (two words).
struct CutDataRow {
  char* fileName;   // owned; null for none
  int32_t missing;  // set by a failed load: the cut is not looked for again
};
constexpr uint32_t kCutDataRowNominalBytes = 2 * 4;

// One icon of an icon set, in pixels of the set's texture.
struct IconRecord {
  int32_t id;
  int32_t type;
  int32_t x, y, width, height;
};

constexpr uint32_t kIconRecordNominalBytes = 6 * 4;

struct IconSet {
  int32_t textureId;
  int32_t textureWidth;
  int32_t textureHeight;
  int32_t iconCount;
  IconRecord* icons;
};

// A skin: replacement texture ids for the textures of an effect.
struct TextureRemapRow {
  int32_t textureId;
  char* name;  // owned
  int32_t pairCount;
  int32_t* sources;
  int32_t* replacements;
};

constexpr uint32_t kTextureRemapRowNominalBytes = 5 * 4;

struct LensflareElement {
  int32_t words[5];
};
constexpr uint32_t kLensflareElementNominalBytes = 5 * 4;

struct LensflareRow {
  int32_t elementCount;
  LensflareElement* elements;
};
constexpr uint32_t kLensflareRowNominalBytes = 2 * 4;

struct EngineState3D {
  ListHead loadedBodies;   // BodyRecord
  HashTable* handleTable;  // instances, lights and cameras by handle
  HashTable* sceneTable;   // scenes by handle
  HashTable* bodyCache;    // loaded bodies by body id + 1
  ListHead scenes;         // SceneRecord, in creation order
  uint32_t engineFlags;
  ListHead instances;     // instances, lights and cameras in no scene and under no parent
  ListHead drawNodePool;  // spare DrawListNode
  ListHead drawList;      // DrawListNode of the pass being drawn
  const DisplayModeRecord* screenMode;
  uint32_t screenModeWords[3];
  int32_t halfScreenWidth;
  int32_t projectionScale;  // 1.25 x halfScreenWidth, rounded
  SceneRecord* lensFlareScene;
  InstanceRecord* frameWord;  // cleared at the start of every frame
  InstanceRecord* lensFlareInstance;
  uint32_t lensFlareWords[4];
  HashTable* cutTable;   // CutRecord by handle
  HashTable* takeTable;  // TakeRecord by handle
  uint32_t takeWords[2];
  HashTable* entryTable60;     // the render table: RenderEntry by key
  int32_t entryTableWords[2];  // reset to -1 with the table
  int32_t moduleIndex;         // the engine's row in the native-module table
  uint32_t moduleWords[2];
  int32_t lensFlareTypeCount;
  LensflareRow* lensFlareTypes;
  int32_t bodyDataFixedRows;
  int32_t bodyDataAddedRows;
  BodyDataRow* bodyDataRows;
  int32_t cutDataFixedRows;
  int32_t cutDataAddedRows;
  CutDataRow* cutDataRows;
  LightTypeRecord lightTypes[kLightTypeCount];
  InstanceRecord* activeLights[kActiveLightCapacity];  // null-terminated
  ListHead lights;
  int32_t lightSlotCount;
  LightSlot lightSlots[kLightSlotCapacity];
  ListHead particleFreeList;
  ListHead activeParticles;
  int32_t globalFadeValue;
  ParticleTypeRow particleTypes[kParticleTypeCount];
  HashTable* pbbNameTable;      // body id to the ".pbb" file name it was read from
  HashTable* pbdNameTable;      // body id to the ".pbd" file name it was read from
  HashTable* cutFileNameTable;  // cut id to the file name it was read from
  int32_t shadowAlpha;
  ListHead particleList3;
  HashTable* particleTable;
  int32_t gammaValue;
  HashTable* effectTable;  // EffectEntry by handle
  IconSet iconTables[kIconSetCount];
  uint32_t textureRemapCount;  // the skin table
  TextureRemapRow* textureRemaps;
  char* screenOverlayName;  // owned; null = none
  int32_t screenOverlayValue;
  RecordingState* recording;  // while kEngineRecording is set
  ReplayState* replay;        // while a replay runs
};

extern EngineState3D* gEngine3D;
