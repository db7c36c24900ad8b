// Catalogs, packed files and game-file lookup: mounting the numbered catalogs and the mod catalog
// into the SystemBlock, finding a game file by name, language variant and accepted-type list (loose
// files first, then catalogs newest first), and reading a whole file back inflated and unscrambled.
// Called by start-up, the file layer and every loader. Never trusts an index or a packed header:
// entries beyond the data file fail the mount, corrupt or truncated compressed data reads as null.
#pragma once

#include <cstdint>

struct FileObject;

struct CatalogEntry {
  uint32_t offset;  // byte offset in the data file
  uint32_t size;
  const char* name;  // into the catalog's names buffer: upper case, '/' turned to '\'
};

struct Catalog {
  int16_t count;
  char* names;
  uint32_t namesSize;
  char* dataName;  // the index name with 'd' as the first extension letter
  uint16_t origin;  // 1 primary, 2 otherwise
  CatalogEntry* entries;  // count rows sorted by name, byte-wise
};

// Scrambling of the index file and of scrambled gzip files.
constexpr uint8_t kCatalogIndexXorBase = 0xA9;  // stored[i] = plain[i] ^ ((i - 0xA9) & 0xFF)
constexpr uint8_t kPackedKeyMask = 0xB3;        // key = first byte ^ 0xB3

// At most this many accepted types are considered in a type list.
constexpr int kMaxGameFileTypes = 10;

int MountCatalog(int index, const char* indexName, bool primary);
int MountModCatalog();
void FreeCatalog(Catalog* catalog);
const CatalogEntry* CatalogFindEntry(const Catalog* catalog, const char* name);
const CatalogEntry* CatalogLookup(const char* name);

char* FileReadAll(FileObject* file);
char* ReadPackedFile(const char* name);

int32_t RankCandidate(const char* candidate, const char* stem, const char* const* types, int typeCount);
bool FindGameFile(FileObject* file, const char* name, const char* types, bool userFolder);
bool OpenGameFileByType(FileObject* file, const char* name, const char* types, bool userFolder);
char* LoadGameFile(const char* name, const char* types, bool userFolder);
