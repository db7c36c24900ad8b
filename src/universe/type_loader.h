// The type-file loader: `LoadTypes` fills every type table and auxiliary table from the type
// files in their fixed order, derives ship components and turrets where a ship file has none,
// and writes a "Components" file from the models when that file is missing; `FreeTypes` empties
// everything again. Called by the game main at start-up and by the save reader before a universe
// is read. It never trusts a count, a kind or an index from a file: rows beyond the tables'
// capacities are read past and dropped.
#pragma once

#include <cstdint>
#include <string>

#include "universe/object_classes.h"

struct UniverseBlock;
struct DataReader;

// The auxiliary tables only the loader fills and frees (the others are beside the accessors).
extern VideoTable gVideoTable;
extern VideoListTable gVideoListTable;

// 1 on success, 0 when a required file cannot be opened; the file's name ("types\" + name) is
// then what TypeLoadFailedName answers. Tables read so far stay filled. Run FreeTypes before a
// second load.
int32_t LoadTypes(UniverseBlock* universe);
void FreeTypes();
// The failed file of the last LoadTypes, "" when it succeeded.
const char* TypeLoadFailedName();

// One type file's contents, read from an open reader into the tables as the loader reads the file
// of that name (the fuzz target's way in); false for a name the loader does not read.
bool ReadTypeFileByName(UniverseBlock* universe, const char* name, DataReader* reader);

// The limit of distinct bodies the Components generation handles; one more ends the process
// with kTypeLoadLimitExit and the class file's name as the failure text.
constexpr int32_t kHandledBodyCapacity = 10000;
constexpr uint32_t kTypeLoadLimitExit = 40;
constexpr uint32_t kTypeLoadMemoryExit = 3;

// One class file's rows, read from an open reader (the loader's own step, open for the fuzz
// target and the tests): version, count and rows while data remains, up to the count.
void ReadClassRows(UniverseBlock* universe, DataReader* reader, int32_t objClass);
// Frees a class's rows with everything they own; the camera and class-21 built-in rows.
void FreeClassTable(int32_t objClass);
void MakeBuiltInRows();
// The ship's components and turrets: rebuilt from its scene or body for an odd file version,
// then the cockpit pairs applied for every version. `pairs` holds the six (cockpit, value) pairs.
void DeriveShipComponents(ObjectTypeRecord* row, int32_t version, const int32_t pairs[6][2]);

// While the Components file is being generated: the bodies a new type row brings are handled
// (SetComponents once per body). Reset by LoadTypes.
void ComponentsGenerationBegin();
// The class file being read, named in the failure when the handled-body list is full.
void ComponentsGenerationSetClassFile(const char* name);
void ComponentsGenerationAddRow(int32_t objClass, int32_t subtype);
void ComponentsGenerationEnd();
bool ComponentsGenerationActive();
// Writes the component tables as a text "Components" file to `path` through a temporary file
// renamed over it when complete; false when it cannot be written.
bool WriteComponentsFile(const char* path);

// Field helpers shared by the loader's readers.
// A name field; at the end of the data the reader's error flag is set.
std::string ReadName(DataReader* reader);
// A model name read and turned into its body id; a cut name into its cut id.
int32_t ReadBodyName(DataReader* reader);
int32_t ReadCutName(DataReader* reader);
// How many of `count` items the unread data can still hold, each at least `numbers` number fields
// and `strings` strings: 0 for a negative count, never more than the data can carry.
int32_t CountInData(const DataReader* reader, int32_t count, int32_t numbers, int32_t strings);
