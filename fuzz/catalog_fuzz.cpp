// Fuzz target of catalog mounting and lookup. The input is a catalog as people would write it: a
// two-byte big-endian length, the plain index text (data file name, then "name size" lines) and
// the plain data bytes. The target stores both as the game keeps them (index scrambled, data
// XORed), mounts the pair into a slot and then looks every entry up by name, in other spellings,
// by stem and type, and reads each one back whole (plain, gzip or scrambled gzip) from its slice.
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

constexpr int kMaxEntriesRead = 64;

void FreeRead(char* buffer) {
  if (buffer != nullptr) MemFree(buffer, gLastReadSize, 0);
}

// A second spelling of a name: lower case, "/" for "\".
std::string OtherSpelling(const char* name) {
  std::string text = name;
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    else if (c == '\\') c = '/';
  }
  return text;
}

void ReadEntry(int slot, const CatalogEntry* entry) {
  FileObject file;
  FileObjectInit(&file);
  if (FileOpenCatalogSlice(&file, slot, entry, "rb")) {
    FreeRead(FileReadAll(&file));
    // The word readers and seeks stay inside the slice too.
    FileSeek(&file, -3, 2);
    FileReadInt32BE(&file);
    FileSeek(&file, long(entry->size) + 5, 0);
    FileGetc(&file);
  }
  FileClose(&file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::World();
  if (size < 2) return 0;
  const size_t indexLength = (size_t(data[0]) << 8) | data[1];
  if (indexLength > size - 2) return 0;
  std::string index(reinterpret_cast<const char*>(data + 2), indexLength);
  std::string bytes(reinterpret_cast<const char*>(data + 2 + indexLength), size - 2 - indexLength);
  for (size_t i = 0; i < index.size(); ++i) index[i] = char(uint8_t(index[i]) ^ uint8_t((i - kCatalogIndexXorBase) & 0xFF));
  for (char& c : bytes) c = char(uint8_t(c) ^ kSliceXor);
  fuzz::UnmountAll();
  fuzz::WriteFile("01.cat", index);
  fuzz::WriteFile("01.dat", bytes);
  if (MountCatalog(0, "01.cat", true) != 1) return 0;

  const Catalog* catalog = gSystem->catalogs[0];
  const int count = catalog->count < kMaxEntriesRead ? catalog->count : kMaxEntriesRead;
  for (int k = 0; k < count; ++k) {
    const CatalogEntry* entry = &catalog->entries[k];
    if (entry->offset > bytes.size() || entry->size > bytes.size() - entry->offset) __builtin_trap();
    const std::string name = entry->name;
    const CatalogEntry* found = CatalogLookup(name.c_str());
    if (found == nullptr || std::strcmp(found->name, entry->name) != 0) __builtin_trap();
    CatalogLookup(OtherSpelling(entry->name).c_str());
    ReadEntry(0, entry);
    FreeRead(ReadPackedFile(name.c_str()));
    FreeRead(FileReadWhole(name.c_str()));
    // By stem and type, as the loaders ask: "A\B.TXT" as "a\b" of types "bin txt".
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
      const std::string types = "bin " + name.substr(dot + 1) + " x";
      FreeRead(LoadGameFile(name.substr(0, dot).c_str(), types.c_str(), false));
    }
  }
  // Names that are not there, below, between and above every entry.
  CatalogLookup("");
  CatalogLookup("\x7F\x7F");
  FreeRead(LoadGameFile("A", "*", false));
  fuzz::UnmountAll();
  return 0;
}
