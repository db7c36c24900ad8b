// Fuzz target of the settings store: the input is the registry's XML file. The store reads it,
// the settings and the profile values are loaded from it through every typed read, each value of
// the settings key is queried with too little room and with enough, and the settings are saved
// again and reloaded from the file the store wrote.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/settings.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "fuzz_support.h"
#include "platform/registry.h"

namespace {

const char* const kProfileNames[] = {"Language", "LastProfile", "Values", "", "x"};

void LoadEverything() {
  LoadSettings();
  LoadCaptureFolder();
  for (const char* name : kProfileNames) {
    FreeString(ReadProfileString(name));
    ReadProfileValue(name);
  }
}

// Every fixed value through the raw calls: size first, then an exact heap buffer.
void QueryEveryValue() {
  RegistryKey* key = nullptr;
  const std::string path = std::string("Software\\KORVANE\\") + gSystem->product->folderName;
  if (RegistryOpenKey(path.c_str(), kRegKeyRead, &key) != kRegOk) return;
  for (const char* name : kSettingsValueNames) {
    uint32_t type = 0, size = 0;
    if (RegistryQueryValue(key, name, &type, nullptr, &size) != kRegMoreData || size == 0) continue;
    if (size > kRegMaxValueSize) __builtin_trap();
    void* buffer = std::malloc(size);
    uint32_t room = size;
    if (RegistryQueryValue(key, name, &type, buffer, &room) != kRegOk || room != size) __builtin_trap();
    std::free(buffer);
  }
  RegistryCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& world = fuzz::World();
  const std::string file = world + "/config/registry.xml";
  fuzz::WriteFile("config/registry.xml", data, size);
  RegistrySetFilePath(file.c_str());  // read again at next use
  LoadEverything();
  QueryEveryValue();
  // What was loaded goes back to the file and comes in again.
  SaveSettings();
  WriteProfileValue("FuzzCount", 1);
  RegistrySetFilePath(file.c_str());
  LoadEverything();
  return 0;
}
