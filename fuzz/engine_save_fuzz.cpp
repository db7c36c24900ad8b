// Fuzz target of the "B3D " save section reader: the input is the section as the save container
// hands it over, read into the replay world's engine. The reader must stay inside the input,
// answer 0 or 1, and leave every record it built reachable from the engine, which is then
// cleared; a failed load before its records went live leaves no instance behind.
#include <cstddef>
#include <cstdint>

#include "core/file_object.h"
#include "fuzz_support.h"
#include "replay_world.h"
#include "scene/engine_records.h"
#include "scene/list_records.h"
#include "scene/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::SetUpReplayEngine();
  if (!fuzz::WriteFile("b3d.sav", data, size)) return 0;
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, (fuzz::World() + "/b3d.sav").c_str(), "rb", false)) return 0;
  const int32_t answer = LoadEngineState(&file);
  const long at = FileTell(&file);
  FileClose(&file);
  if (answer != 0 && answer != 1) __builtin_trap();
  if (at < 0 || static_cast<size_t>(at) > size) __builtin_trap();
  fuzz::ClearReplayEngine();
  if (ListFirst(&gEngine3D->instances) || ListFirst(&gEngine3D->scenes)) __builtin_trap();
  return 0;
}
