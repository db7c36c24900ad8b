// The universe model's records as far as the shared services read them: the space object's
// class, subtype and scene instance, and the type-table rows behind the small type accessors of
// the fixed-point unit. This is the least form; the universe model fills in the records and the
// tables it owns. Nothing here may assume a 32-bit layout: fields are read by name only.
#pragma once

#include <cstdint>

// The scene engine's instance of a space object; the distance helpers read its position.
struct InstanceRecord {
  int32_t position[3];  // universe coordinates x, y, z
};

struct SpaceObject {
  uint16_t objectClass;  // ObjectClass
  uint16_t subtype;      // row of the class's type table
  InstanceRecord* instance;
};

// One row of a class's type table. Only the words the shared accessors read are named; the
// universe model owns the rest of the row.
struct ObjectTypeRecord {
  int32_t words0To6[7];
  int32_t flaggedId;        // 8th word
  int32_t words8To18[11];
  int32_t baseTypeIndex;    // 20th word: in a second table's row, the row of the first table it names
  int32_t scaledValue;      // 21st word
  int32_t scaleFactor;      // 22nd word
  uint8_t typeFlags;        // 89th byte; bit 0x40 marks a flagged id
};

constexpr uint8_t kTypeFlagFlaggedId = 0x40;
constexpr uint16_t kClassBullet = 0;
constexpr int kObjectClassCount = 32;

struct ObjectTypeTable {
  ObjectTypeRecord* rows;
  int32_t count;
};

// Per class; empty (null, 0) until the type files are loaded.
inline ObjectTypeTable gObjectTypeTables[kObjectClassCount] = {};

// ---------------------------------------------------------------------------------------------
// The universe block and the galaxy grid as the game main, the game loop, the save container
// and the shutdown use them, with the operations they call.

struct FileObject;

constexpr uint16_t kClassSector = 1;

struct UniverseBlock {
  uint32_t runState[2];        // both 1 for a running game; the simulation steps while [1] != 0
  SpaceObject** topObjects;    // the top-level object list
  int32_t topObjectCount;
  SpaceObject* player;         // none before a game
  uint32_t storyWord;          // cleared before the story loads
  uint32_t gameWords[8];       // cleared before the first frame
};
extern UniverseBlock* gUniverse;

struct GalaxyGrid {
  uint32_t cellCount;
  uint32_t routeCount;
};
extern GalaxyGrid* gGalaxyGrid;

void CreateUniverse(UniverseBlock* universe);
// 0 on failure.
int32_t LoadTypes(UniverseBlock* universe);
void FreeAllObjects(UniverseBlock* universe);
void DestroyUniverse(UniverseBlock* universe);
void ContainerFreeRemovedObjects(SpaceObject* container);
void RebuildObjectTreeCollision(SpaceObject* object);
void ApplyTypeSoundToObjectTree(SpaceObject* object);

void ClearEffectInstances();
void FreeEffectDefinitions();
void FreeEffectGroups();
void ResetObjectEffects();
void StepObjectEffects();

void RegisterGalaxyModule(GalaxyGrid* grid);
void ClearGalaxyGrid(GalaxyGrid* grid);

// Save sections: "GALA" ... "/GAL" and "SECT" ... "/SEC"; true on success.
bool WriteGalaxyChunk(FileObject* file);
bool ReadGalaxyChunk(FileObject* file);
bool WriteSector(FileObject* file);
bool ReadUniverse(FileObject* file);
