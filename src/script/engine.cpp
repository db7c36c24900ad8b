// The engine context's set-up and tear-down: its eight registries, lists, module table and
// statistics, and the global the value and container operations use. The SE_ registration
// that completes a start is in engine_init.cpp; loading a script is the loader's.
#include "script/engine.h"

#include <cstring>

#include "script/containers.h"

ScriptEngine* gScriptEngine = nullptr;

// The registries in the order the context is created and destroyed.
static HashTable** Registry(ScriptEngine* engine, int index) {
  HashTable** registries[] = {&engine->tasks,       &engine->instances, &engine->openFiles, &engine->patches,
                              &engine->expressions, &engine->strings,   &engine->arrays,    &engine->tables};
  return registries[index];
}
static constexpr int kRegistryCount = 8;

bool InitEngineContext(ScriptEngine* engine) {
  for (int k = 0; k < kRegistryCount; ++k) {
    HashTable* table = HashCreate();
    if (!table) {
      FreeEngineTables(engine);
      return false;
    }
    *Registry(engine, k) = table;
  }
  TaskListInit(&engine->runList);
  TaskListInit(&engine->waitList);
  engine->opLimit = kEngineOpLimit;
  engine->opCount = 0;
  std::memset(engine->modules, 0, sizeof engine->modules);
  std::memset(engine->textTables, 0, sizeof engine->textTables);
  std::memset(&engine->statistics, 0, sizeof engine->statistics);
  engine->currentTask = nullptr;
  gScriptEngine = engine;
  engine->moduleCount = 1;  // row 0 stays empty: module index 0 means no module
  return true;
}

void FreeEngineTables(ScriptEngine* engine) {
  for (int k = 0; k < kRegistryCount; ++k) {
    HashTable** table = Registry(engine, k);
    if (*table) HashDestroy(*table);
    *table = nullptr;
  }
  FreeSpareTableBlocks(engine);
}
