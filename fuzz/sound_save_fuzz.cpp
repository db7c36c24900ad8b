// Fuzz target of the "SFX " save section reader: the input is the section as the save container
// hands it over. Every non-empty record asks the script engine to wake an owner; the reader must
// stay inside the input, wake only through the checked resume call, and leave the live sound
// state as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/file_object.h"
#include "core/memory.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "fuzz_support.h"
#include "script/engine.h"

namespace {

// Made once: the sound state, and a loaded story so the resume calls reach the SE_ module, whose
// callback looks the handle up as a task id.
void SetUpOnce() {
  static bool ready = false;
  if (ready) return;
  ready = true;
  fuzz::World();
  ScriptEngine* engine = fuzz::Engine();
  if (!engine->scriptName) engine->scriptName = DuplicateString("story");
  if (!InitSoundModule()) __builtin_trap();
  gScriptSound->slots[3]->priority = 7;
  gScriptSound->slots[3]->ownerHandle = 12345;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  if (!fuzz::WriteFile("sfx.sav", data, size)) return 0;
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, (fuzz::World() + "/sfx.sav").c_str(), "rb", false)) return 0;
  const int32_t answer = ReadSoundState(&file);
  const long at = FileTell(&file);
  FileClose(&file);
  if (answer != 0 && answer != 1) __builtin_trap();
  if (at < 0 || static_cast<size_t>(at) > size) __builtin_trap();
  if (gScriptSound->slots[3]->priority != 7 || gScriptSound->slots[3]->ownerHandle != 12345) __builtin_trap();
  return 0;
}
