// The script engine context: the one record of the virtual machine holding its registries
// (tasks, instances, open files, patch records, compiled expressions, string objects, arrays,
// tables), the native-module table, the loaded compiled script, the run and wait lists and the
// allocation statistics, plus the object records the loaded script brings. The game main
// creates it once; the value and container operations reach it through gScriptEngine. Loading
// and unloading a compiled script live in loader.cpp; this file only declares and sets up.
#pragma once

#include <cstdint>

#include "core/hash_table.h"
#include "script/script_memory.h"
#include "script/tasks.h"
#include "script/value.h"

struct TextDatabase;

struct MethodRecord {
  uint32_t codeOffset;
  uint32_t name;  // string-pool id
  uint32_t frameSize;
  uint32_t paramCount;
};

struct FieldRecord {
  uint32_t first;
  uint32_t initial;
  uint32_t type;
  uint32_t fourth;  // revision from which the field exists
};

// A class record is also its class's static object: it begins with the object fields (id,
// reference count, class = itself, static variables). Record 0 is the global record.
struct ScriptClassRecord : ObjectInstance {
  uint32_t superId;  // 0xFFFFFFFF: none
  ScriptClassRecord* super;
  uint32_t word;     // kept as loaded
  uint32_t totalFieldCount;
  uint32_t inheritedFieldCount;
  FieldRecord* fields;
  uint32_t methodCount;
  MethodRecord* methods;  // sorted by name text
  uint32_t mergedMethodCount;
  MethodRecord* mergedMethods;  // own then inherited, sorted by name id
};

constexpr uint32_t kNoSuperClass = 0xFFFFFFFF;

struct PatchRecord {
  uint32_t key;
  uint32_t pairCount;
  uint32_t* pairs;  // pairCount pairs of words, or null
};

constexpr int32_t kTextTableCount = 999;
constexpr uint32_t kEngineStoryNotVerified = 0x10;
constexpr int32_t kEngineOpLimit = 10000000;
constexpr uint32_t kStoreVersion = 801;

struct TableEntryBlock;

struct ScriptEngine {
  HashTable* tasks;
  char* scriptName;  // accounted text; not null exactly while a script is loaded
  uint8_t* code;
  uint32_t codeSize;
  char* stringPool;
  uint32_t stringPoolSize;
  uint32_t classCount;  // including record 0
  ScriptClassRecord* classes;
  int32_t moduleCount;
  NativeModuleRow modules[kModuleRowCount];
  TextDatabase* textTables[kTextTableCount];
  HashTable* instances;  // key: bitwise NOT of the (negative) object id
  HashTable* openFiles;
  TaskList runList;
  TaskList waitList;
  uint32_t flags;
  PoolStatistics statistics;
  ScriptTask* currentTask;
  uint32_t fileVersion;
  uint32_t headerWord;
  HashTable* patches;
  int32_t seModuleIndex;
  uint8_t* storyCopy;
  uint32_t storyLength;
  HashTable* expressions;
  HashTable* strings;
  HashTable* arrays;
  HashTable* tables;
  int32_t opLimit;
  int32_t opCount;
  // Emptied table-entry blocks of the largest size, kept for the next large table: handing them
  // to the C library and taking them back made it give the pages to the system and fault them in
  // again on every large table. Freed with the registries and by FreeSpareTableBlocks.
  TableEntryBlock* spareEntryBlocks;
};

// The engine the value and container operations work on.
extern ScriptEngine* gScriptEngine;

inline bool ScriptIsLoaded(const ScriptEngine* engine) { return engine && engine->scriptName; }

// Sets up a zero-filled context: the eight registries, empty lists, op limit, cleared module
// table, text tables and statistics, module count 1; makes it the global engine. Returns false
// when a registry cannot be made (those made are destroyed again).
bool InitEngineContext(ScriptEngine* engine);

// The full start: a new context, set up, with the SE_ module registered in row 1.
ScriptEngine* CreateScriptEngine();
ScriptEngine* InitScriptEngine(ScriptEngine* engine);
void FreeEngineTables(ScriptEngine* engine);

// The SE_ module's registered dispatcher: the SE_ library's own dispatcher with the engine in
// front. DispatchSENative and the name table are defined by the SE_ library.
int32_t SE_Dispatch(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args);
int32_t DispatchSENative(ScriptEngine* engine, int32_t seModuleIndex, ScriptTask* task, int32_t function,
                         int32_t argCount, ScriptValue* args);
extern const char* const kSENativeNames[];

// The object record of an id (class record by id when id >= 0, else the instance registry
// entry), or null; defined with the calls into scripts.
ObjectInstance* FindScriptObject(ScriptEngine* engine, int32_t id);
