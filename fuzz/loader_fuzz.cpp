// Fuzz target of the compiled-script loader: the input is a "STOR" file. It is loaded (with its
// code checked, linked and optimised) under an ordinary name and under the story name whose
// signature is checked, and unloaded again; nothing is run. Every registry of the engine must be
// empty after the unload.
#include <cstddef>
#include <cstdint>

#include "core/hash_table.h"
#include "fuzz_support.h"
#include "script/engine.h"
#include "script/loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptEngine* engine = fuzz::Engine();
  if (size > UINT32_MAX) return 0;
  for (const char* name : {"fuzz", "vexastory"}) {
    LoadScriptStoreFromMemory(engine, name, data, uint32_t(size));
    UnloadScriptStore(engine);
    if (HashCount(engine->tasks) != 0 || HashCount(engine->arrays) != 0 || HashCount(engine->tables) != 0 ||
        HashCount(engine->strings) != 0)
      __builtin_trap();
  }
  return 0;
}
