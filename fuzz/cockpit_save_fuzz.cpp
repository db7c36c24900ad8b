// Fuzz target of the "INS " save section reader: the input is the section as the save container
// hands it over, read into a fresh GUI master over a scene engine that holds free-standing
// instances, a light, cameras and a scene under fixed handles. The reader must stay inside the
// input, and freeing every cockpit and then every record left must free each record once:
// nothing read may give one record two owners.
#include <cstddef>
#include <cstdint>

#include "core/file_object.h"
#include "frontend/frontend.h"
#include "fuzz_support.h"
#include "save_sections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BuildCockpitWorld();
  if (fuzz::WriteFile("ins.sav", data, size)) {
    FileObject file;
    FileObjectInit(&file);
    if (FileOpen(&file, (fuzz::World() + "/ins.sav").c_str(), "rb", false)) {
      ReadCockpitChunk(&file);
      const long at = FileTell(&file);
      FileClose(&file);
      if (at < 0 || static_cast<size_t>(at) > size) __builtin_trap();
    }
  }
  if (!fuzz::ClearCockpitWorld()) __builtin_trap();
  return 0;
}
