// Fuzz target of the binary text save file ("nl\<name>.txc"): the input is the file. Whatever
// loads is looked up, expanded, saved again and read back.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "script/text_database.h"
#include "text_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptEngine* engine = fuzz::Engine();
  fuzz::WriteFile("nl/fuzz.txc", data, size);
  if (ReadTextSave(engine, "fuzz") == 1) {
    fuzz::WalkTexts(engine);
    fuzz::RoundTripTextSave(engine);
  } else {
    fuzz::WalkTexts(engine);  // a failed load may leave what it read before the failure
  }
  FreeAllTexts(engine);
  return 0;
}
