// Fuzz target of packed and scrambled file loading: the input is one stored file (plain, gzip or
// key-scrambled gzip). It is read as a loose file by the packed-file reader and the whole-file
// reader, and again from inside a mounted catalog, where every read must stay within its slice.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "fuzz_support.h"

namespace {

void FreeRead(char* buffer) {
  if (buffer != nullptr) MemFree(buffer, gLastReadSize, 0);
}

// Index and data of a catalog holding the input between two small neighbours, so a read past the
// slice would see their bytes instead of failing.
void WriteCatalog(const uint8_t* data, size_t size) {
  const std::string before = "BEFORE", after = "AFTER";
  std::string index = "01.dat\r\nPK\\A.TXT " + std::to_string(before.size()) + "\r\nPK\\FILE.PCK " +
                      std::to_string(size) + "\r\nPK\\Z.TXT " + std::to_string(after.size()) + "\r\n";
  for (size_t i = 0; i < index.size(); ++i) index[i] = char(uint8_t(index[i]) ^ uint8_t((i - kCatalogIndexXorBase) & 0xFF));
  std::string bytes = before + std::string(reinterpret_cast<const char*>(data), size) + after;
  for (char& c : bytes) c = char(uint8_t(c) ^ kSliceXor);
  fuzz::WriteFile("01.cat", index);
  fuzz::WriteFile("01.dat", bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::World();
  fuzz::UnmountAll();
  // Loose.
  fuzz::WriteFile("pk/file.pck", data, size);
  FreeRead(ReadPackedFile("pk\\file.pck"));
  FreeRead(LoadGameFile("pk\\file", "pck", false));
  FreeRead(FileReadWhole("pk\\file.pck"));
  fuzz::RemoveFile("pk/file.pck");

  // From a catalog slice.
  WriteCatalog(data, size);
  if (MountCatalog(0, "01.cat", true) == 1) {
    FreeRead(ReadPackedFile("pk\\file.pck"));
    FreeRead(LoadGameFile("PK\\FILE", "pck", false));
  }
  fuzz::UnmountAll();
  return 0;
}
