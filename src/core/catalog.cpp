// Catalogs, packed files and game-file lookup. A catalog is an index (".cat", byte-scrambled text
// lines "name size") and a data file (".dat") holding the entries back to back. Mounting checks the
// whole index against the data file, so a slice can never point outside it. The whole-file reader
// undoes the optional key scrambling and the gzip compression and accepts a member only when it
// inflates cleanly to exactly its stated length with a matching CRC-32. Nothing here frees the
// SystemBlock: a failed mount releases only the catalog it was building.
#include "core/catalog.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/file_object.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"

static const char kOutOfMemoryText[] = "Out of memory.\nFurther information can be found in the manual!\n";

// Inflate input is taken in chunks of this size and inflated straight into the final output
// buffer. Large chunks keep the inflater in its fast path; 1 KiB chunks cost a third of the speed.
constexpr size_t kInflateChunk = 65536;
// Deflate cannot expand a byte into more than this many (plus a small constant), so a stated
// length beyond it is a lie and never reaches the allocator.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint32_t kGzipMethodDeflate = 8;
constexpr uint32_t kGzipFlagHeaderCrc = 2, kGzipFlagExtra = 4, kGzipFlagName = 8, kGzipFlagComment = 16;
constexpr int kMaxCatalogEntries = 32767;

static char FoldChar(char c) {
  if (c == '/') return '\\';
  return char(std::toupper(static_cast<unsigned char>(c)));
}

static int LowerChar(char c) { return std::tolower(static_cast<unsigned char>(c)); }

// Accounted concatenation of up to four texts (null parts are skipped).
static char* JoinText(const char* a, const char* b, const char* c = nullptr, const char* d = nullptr) {
  const char* parts[4] = {a, b, c, d};
  size_t total = 0;
  for (const char* p : parts)
    if (p != nullptr) total += std::strlen(p);
  char* text = static_cast<char*>(MemAlloc(total + 1, 0));
  if (text == nullptr) return nullptr;
  size_t at = 0;
  for (const char* p : parts) {
    if (p == nullptr) continue;
    const size_t n = std::strlen(p);
    std::memcpy(text + at, p, n);
    at += n;
  }
  text[at] = '\0';
  return text;
}

static char* FoldedCopy(const char* name) {
  char* copy = DuplicateString(name);
  if (copy != nullptr)
    for (char* p = copy; *p != '\0'; ++p) *p = FoldChar(*p);
  return copy;
}

// ---------------------------------------------------------------------------------------------
// Mounting

void FreeCatalog(Catalog* catalog) {
  if (catalog == nullptr) return;
  if (catalog->entries != nullptr) MemFree(catalog->entries, size_t(catalog->count) * sizeof(CatalogEntry), 0);
  if (catalog->names != nullptr) MemFree(catalog->names, catalog->namesSize, 0);
  FreeString(catalog->dataName);
  MemFree(catalog, sizeof(Catalog), 0);
}

static bool IsBreak(unsigned char c) { return c == '\r' || c == '\n' || c == '\0'; }

struct IndexLine {
  uint32_t start;
  uint32_t nameLength;
  uint32_t size;
};

// Parses a decimal size the way the index writer spells it (leading blanks, digits). Anything that
// is negative or does not fit 31 bits makes the index unusable.
static bool ParseEntrySize(const unsigned char* text, uint32_t length, uint32_t* size) {
  uint32_t i = 0;
  while (i < length && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < length && text[i] == '+') ++i;
  if (i < length && text[i] == '-') return false;
  uint64_t value = 0;
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + uint32_t(text[i] - '0');
    if (value > uint64_t(INT32_MAX)) return false;
  }
  *size = uint32_t(value);
  return true;
}

// Walks the unscrambled index. With `lines` null it only counts; returns the number of entry lines,
// or -1 when a line is malformed.
static int ParseIndexLines(const unsigned char* text, uint32_t size, IndexLine* lines, int capacity) {
  int count = 0;
  uint32_t i = 0;
  // The first line names the data file and is never an entry.
  while (i < size && !IsBreak(text[i])) ++i;
  while (i < size) {
    while (i < size && IsBreak(text[i])) ++i;
    if (i >= size) break;
    const uint32_t start = i;
    while (i < size && !IsBreak(text[i])) ++i;
    const uint32_t end = i;
    if (text[start] == ' ' || text[start] == '\t' || text[start] == '#') continue;
    uint32_t blank = end;
    for (uint32_t k = end; k > start; --k) {
      if (text[k - 1] == ' ' || text[k - 1] == '\t') {
        blank = k - 1;
        break;
      }
    }
    if (blank == end) continue;  // no size column: not an entry
    uint32_t entrySize = 0;
    if (!ParseEntrySize(text + blank + 1, end - blank - 1, &entrySize)) return -1;
    if (lines != nullptr) {
      if (count >= capacity) return -1;
      lines[count] = IndexLine{start, blank - start, entrySize};
    }
    ++count;
  }
  return count;
}

static int64_t DataFileSize(const char* dataName) {
  char* path = MakeFilePath(dataName, false);
  if (path == nullptr) return -1;
  FileStatInfo info;
  const bool found = FileStat(path, &info);
  FreeString(path);
  if (!found || info.isDirectory) return 0;
  return info.size;
}

static bool EntryLess(const CatalogEntry& a, const CatalogEntry& b) {
  const int order = std::strcmp(a.name, b.name);
  if (order != 0) return order < 0;
  return a.offset < b.offset;  // the earlier line of a repeated name stays first
}

// Builds the catalog from an unscrambled index; null when the index is malformed, disagrees with
// its data file, or memory runs out.
static Catalog* BuildCatalog(const unsigned char* text, uint32_t size, const char* indexName, bool primary) {
  const size_t nameLength = std::strlen(indexName);
  if (nameLength < 4 || indexName[nameLength - 4] != '.') return nullptr;

  const int count = ParseIndexLines(text, size, nullptr, 0);
  if (count < 0 || count > kMaxCatalogEntries) return nullptr;

  Catalog* catalog = static_cast<Catalog*>(MemAlloc(sizeof(Catalog), 0));
  if (catalog == nullptr) return nullptr;
  std::memset(catalog, 0, sizeof *catalog);
  catalog->origin = primary ? 1 : 2;
  catalog->dataName = DuplicateString(indexName);
  if (catalog->dataName == nullptr) {
    FreeCatalog(catalog);
    return nullptr;
  }
  catalog->dataName[nameLength - 3] = 'd';
  if (count == 0) return catalog;

  IndexLine* lines = static_cast<IndexLine*>(MemAlloc(size_t(count) * sizeof(IndexLine), 0));
  if (lines == nullptr) {
    FreeCatalog(catalog);
    return nullptr;
  }
  ParseIndexLines(text, size, lines, count);

  // Every entry must lie inside the data file; offsets are the running sums of the sizes.
  const int64_t dataSize = DataFileSize(catalog->dataName);
  uint64_t offset = 0;
  uint64_t namesSize = 0;
  bool fits = dataSize >= 0;
  for (int k = 0; k < count && fits; ++k) {
    offset += lines[k].size;
    namesSize += lines[k].nameLength + 1;
    fits = offset <= uint64_t(dataSize);
  }
  if (!fits || namesSize > UINT32_MAX) {
    MemFree(lines, size_t(count) * sizeof(IndexLine), 0);
    FreeCatalog(catalog);
    return nullptr;
  }

  catalog->namesSize = uint32_t(namesSize);
  catalog->names = static_cast<char*>(MemAlloc(catalog->namesSize, 0));
  catalog->entries = static_cast<CatalogEntry*>(MemAlloc(size_t(count) * sizeof(CatalogEntry), 0));
  catalog->count = int16_t(count);
  if (catalog->names == nullptr || catalog->entries == nullptr) {
    if (catalog->entries == nullptr) catalog->count = 0;
    MemFree(lines, size_t(count) * sizeof(IndexLine), 0);
    FreeCatalog(catalog);
    return nullptr;
  }

  uint32_t dataOffset = 0;
  uint32_t nameOffset = 0;
  for (int k = 0; k < count; ++k) {
    char* name = catalog->names + nameOffset;
    for (uint32_t c = 0; c < lines[k].nameLength; ++c) name[c] = FoldChar(char(text[lines[k].start + c]));
    name[lines[k].nameLength] = '\0';
    catalog->entries[k] = CatalogEntry{dataOffset, lines[k].size, name};
    dataOffset += lines[k].size;
    nameOffset += lines[k].nameLength + 1;
  }
  MemFree(lines, size_t(count) * sizeof(IndexLine), 0);
  std::sort(catalog->entries, catalog->entries + count, EntryLess);
  return catalog;
}

int MountCatalog(int index, const char* indexName, bool primary) {
  if (gSystem == nullptr || gSystem->catalogs == nullptr || indexName == nullptr) return 0;
  if (index < 0 || index >= gSystem->catalogSlots) return 0;
  unsigned char* text = reinterpret_cast<unsigned char*>(FileReadWhole(indexName));
  if (text == nullptr) return 0;
  const uint32_t size = gLastReadSize;
  for (uint32_t i = 0; i < size; ++i) text[i] ^= uint8_t((i - kCatalogIndexXorBase) & 0xFF);
  Catalog* catalog = BuildCatalog(text, size, indexName, primary);
  MemFree(text, size, 0);
  if (catalog == nullptr) return 0;
  FreeCatalog(gSystem->catalogs[index]);  // a remounted slot (the mod catalog) drops its old one
  gSystem->catalogs[index] = catalog;
  return 1;
}

int MountModCatalog() {
  if (gSystem == nullptr || gSystem->modName == nullptr || gSystem->catalogSlots < 1) return 0;
  const char* pattern = gSystem->product->modCatalogTemplate;
  const int length = std::snprintf(nullptr, 0, pattern, gSystem->modName);
  if (length < 0) return 0;
  char* name = static_cast<char*>(MemAlloc(size_t(length) + 1, 0));
  if (name == nullptr) return 0;
  std::snprintf(name, size_t(length) + 1, pattern, gSystem->modName);
  const int result = MountCatalog(gSystem->catalogSlots - 1, name, true);
  MemFree(name, size_t(length) + 1, 0);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Lookup

// Byte-wise comparison of a name folded on the fly with an already folded entry name, over at most
// `limit` bytes of the key (SIZE_MAX: the whole key).
static int CompareFolded(const char* key, const char* entry, size_t limit = SIZE_MAX) {
  for (size_t i = 0; i < limit; ++i) {
    const unsigned char a = static_cast<unsigned char>(FoldChar(key[i]));
    const unsigned char b = static_cast<unsigned char>(entry[i]);
    if (a != b) return a < b ? -1 : 1;
    if (a == 0) return 0;
  }
  return 0;
}

const CatalogEntry* CatalogFindEntry(const Catalog* catalog, const char* name) {
  if (catalog == nullptr || catalog->count <= 0 || name == nullptr) return nullptr;
  int low = 0, high = catalog->count - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    const int order = CompareFolded(name, catalog->entries[middle].name);
    if (order == 0) {
      // Repeated names: the earliest of them.
      int first = middle;
      while (first > 0 && CompareFolded(name, catalog->entries[first - 1].name) == 0) --first;
      return &catalog->entries[first];
    }
    if (order < 0) high = middle - 1;
    else low = middle + 1;
  }
  return nullptr;
}

static bool CatalogsEnabled() {
  return gSystem != nullptr && gSystem->catalogs != nullptr && (gSystem->fileFlags & kFileCatalogsInUse) != 0;
}

const CatalogEntry* CatalogLookup(const char* name) {
  if (!CatalogsEnabled()) return nullptr;
  for (int slot = gSystem->catalogSlots - 1; slot >= 0; --slot) {
    const CatalogEntry* entry = CatalogFindEntry(gSystem->catalogs[slot], name);
    if (entry != nullptr) {
      gSystem->foundCatalog = int16_t(slot);
      return entry;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Whole-file reading

static void XorBytes(unsigned char* bytes, size_t n, uint8_t key) {
  if (key == 0) return;
  for (size_t i = 0; i < n; ++i) bytes[i] ^= key;
}

static void SetLastReadSize(uint32_t size) { gLastReadSize = gLastReadTextSize = size; }

static bool ReadExact(FileObject* file, void* buffer, size_t n) { return FileRead(file, buffer, 1, n) == n; }

static char* ReadPlain(FileObject* file) {
  if (!FileSeek(file, 0, SEEK_END)) return nullptr;
  const long size = FileTell(file);
  if (size <= 0 || uint64_t(size) > UINT32_MAX) return nullptr;
  if (!FileSeek(file, 0, SEEK_SET)) return nullptr;
  char* buffer = static_cast<char*>(MemAlloc(size_t(size), 0));
  if (buffer == nullptr) {
    std::fputs(kOutOfMemoryText, stdout);
    return nullptr;
  }
  if (!ReadExact(file, buffer, size_t(size))) {
    MemFree(buffer, size_t(size), 0);
    return nullptr;
  }
  SetLastReadSize(uint32_t(size));
  return buffer;
}

static uint32_t LoadLE32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Reads one gzip member (optionally key-scrambled) whose header starts at `headerStart` and which
// runs to the end of the file. Null on any inconsistency.
static char* ReadGzipMember(FileObject* file, long headerStart, uint8_t key) {
  if (!FileSeek(file, 0, SEEK_END)) return nullptr;
  const long total = FileTell(file);
  // method, flags, time (4), extra flags, OS, then at least an empty deflate block and the trailer
  if (total < headerStart + 8 + 2 + 8) return nullptr;
  const long trailerStart = total - 8;

  unsigned char trailer[8];
  if (!FileSeek(file, trailerStart, SEEK_SET) || !ReadExact(file, trailer, 8)) return nullptr;
  XorBytes(trailer, 8, key);
  const uint32_t expectedCrc = LoadLE32(trailer);
  const uint32_t outputSize = LoadLE32(trailer + 4);

  unsigned char header[8];
  if (!FileSeek(file, headerStart, SEEK_SET) || !ReadExact(file, header, 8)) return nullptr;
  XorBytes(header, 8, key);
  const uint32_t method = header[0], flags = header[1];
  if (method != kGzipMethodDeflate || flags >= 32) return nullptr;
  long pos = headerStart + 8;
  if (flags & kGzipFlagExtra) {
    unsigned char length[2];
    if (pos + 2 > trailerStart || !ReadExact(file, length, 2)) return nullptr;
    XorBytes(length, 2, key);
    pos += 2 + (long(length[0]) | (long(length[1]) << 8));
    if (pos > trailerStart || !FileSeek(file, pos, SEEK_SET)) return nullptr;
  }
  for (uint32_t field : {kGzipFlagName, kGzipFlagComment}) {
    if ((flags & field) == 0) continue;
    for (;;) {  // a zero-terminated text that must end before the trailer
      if (pos >= trailerStart) return nullptr;
      const int c = FileGetc(file);
      if (c < 0) return nullptr;
      ++pos;
      if ((uint8_t(c) ^ key) == 0) break;
    }
  }
  if (flags & kGzipFlagHeaderCrc) {
    pos += 2;
    if (pos > trailerStart || !FileSeek(file, pos, SEEK_SET)) return nullptr;
  }
  const uint64_t deflateSize = uint64_t(trailerStart - pos);
  if (deflateSize == 0 || outputSize == 0) return nullptr;
  if (uint64_t(outputSize) > deflateSize * kMaxDeflateRatio + 64) return nullptr;

  unsigned char* output = static_cast<unsigned char*>(MemAlloc(outputSize, 0));
  if (output == nullptr) {
    std::fputs(kOutOfMemoryText, stdout);
    return nullptr;
  }
  const size_t chunkSize = deflateSize < kInflateChunk ? size_t(deflateSize) : kInflateChunk;
  unsigned char* chunk = static_cast<unsigned char*>(MemAlloc(chunkSize, 0));
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (chunk == nullptr || inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    if (chunk != nullptr) MemFree(chunk, chunkSize, 0);
    MemFree(output, outputSize, 0);
    return nullptr;
  }
  stream.next_out = output;
  stream.avail_out = outputSize;
  uint64_t remaining = deflateSize;
  uLong crc = crc32(0L, Z_NULL, 0);
  bool ended = false, failed = false;
  while (!ended && !failed) {
    if (stream.avail_in == 0) {
      const size_t want = remaining < chunkSize ? size_t(remaining) : chunkSize;
      if (want == 0) {
        failed = true;  // the deflate data stopped before its end marker
        break;
      }
      const size_t got = FileRead(file, chunk, 1, want);
      if (got != want) {
        failed = true;
        break;
      }
      XorBytes(chunk, got, key);
      remaining -= got;
      stream.next_in = chunk;
      stream.avail_in = uInt(got);
    }
    unsigned char* before = stream.next_out;
    const int status = inflate(&stream, Z_NO_FLUSH);
    crc = crc32(crc, before, uInt(stream.next_out - before));
    if (status == Z_STREAM_END) ended = true;
    else if (status == Z_BUF_ERROR && stream.avail_out == 0) failed = true;  // longer than stated
    else if (status != Z_OK && status != Z_BUF_ERROR) failed = true;
  }
  // The member must fill the stated length exactly, end right at the trailer and match its CRC.
  if (!failed && (stream.total_out != outputSize || remaining != 0 || stream.avail_in != 0 || crc != expectedCrc))
    failed = true;
  inflateEnd(&stream);
  MemFree(chunk, chunkSize, 0);
  if (failed) {
    MemFree(output, outputSize, 0);
    return nullptr;
  }
  SetLastReadSize(outputSize);
  return reinterpret_cast<char*>(output);
}

enum class PackedKind { Plain, Gzip };

// Sniffs the first three bytes: gzip magic, or a key-mask byte followed by the scrambled magic.
static bool SniffPacked(FileObject* file, PackedKind* kind, uint8_t* key, long* headerStart) {
  unsigned char head[3];
  if (!ReadExact(file, head, 3)) return false;
  if (head[0] == 0x1F && head[1] == 0x8B) {
    *kind = PackedKind::Gzip;
    *key = 0;
    *headerStart = 2;
    return true;
  }
  const uint8_t k = head[0] ^ kPackedKeyMask;
  if ((head[1] ^ k) == 0x1F && (head[2] ^ k) == 0x8B) {
    *kind = PackedKind::Gzip;
    *key = k;
    *headerStart = 3;
    return true;
  }
  *kind = PackedKind::Plain;
  *key = 0;
  *headerStart = 0;
  return true;
}

char* FileReadAll(FileObject* file) {
  if (file == nullptr || (file->flags & kFileOpen) == 0) return nullptr;
  PackedKind kind;
  uint8_t key;
  long headerStart;
  if (!SniffPacked(file, &kind, &key, &headerStart)) return nullptr;
  if (kind == PackedKind::Plain) return ReadPlain(file);
  return ReadGzipMember(file, headerStart, key);
}

char* ReadPackedFile(const char* name) {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, name, "rb", false)) return nullptr;
  char* buffer = nullptr;
  PackedKind kind;
  uint8_t key;
  long headerStart;
  if (SniffPacked(&file, &kind, &key, &headerStart) && kind == PackedKind::Gzip)
    buffer = ReadGzipMember(&file, headerStart, key);
  FileClose(&file);
  return buffer;
}

// ---------------------------------------------------------------------------------------------
// Game-file lookup

int32_t RankCandidate(const char* candidate, const char* stem, const char* const* types, int typeCount) {
  if (candidate == nullptr || stem == nullptr || types == nullptr) return INT32_MAX;
  const size_t stemLength = std::strlen(stem);
  for (size_t i = 0; i < stemLength; ++i)
    if (candidate[i] == '\0' || LowerChar(candidate[i]) != LowerChar(stem[i])) return INT32_MAX;
  const char* rest = candidate + stemLength;
  if (*rest != '.') return INT32_MAX;
  ++rest;
  for (int t = 0; t < typeCount; ++t) {
    const char* type = types[t];
    size_t i = 0;
    while (rest[i] != '\0' && type[i] != '\0' && LowerChar(rest[i]) == LowerChar(type[i])) ++i;
    if (rest[i] == '\0' && type[i] == '\0') return t;
  }
  return INT32_MAX;
}

// The running choice of FindGameFile.
struct GameFileChoice {
  FileObject* file;
  const char* name;
  const char* suffix;
  const char* const* types;
  int typeCount;
  int32_t bestPlain = INT32_MAX;
  int32_t bestLanguage = INT32_MAX;
  bool found = false;
  bool languageMatch = false;
  bool failed = false;  // out of memory while recording a choice
};

static void Choose(GameFileChoice* choice, int32_t rank, bool language, int slot, const Catalog* catalog) {
  FileObject* file = choice->file;
  char* path = JoinText(choice->name, language ? choice->suffix : "", ".", choice->types[rank]);
  char* type = DuplicateString(choice->types[rank]);
  if (path == nullptr || type == nullptr) {
    FreeString(path);
    FreeString(type);
    choice->failed = true;
    return;
  }
  FreeString(file->path);
  file->path = path;
  FreeString(file->type);
  file->type = type;
  if (catalog != nullptr) {
    file->flags |= kFileSlice;
    file->catalogIndex = slot;
    file->catalogDataName = ReplaceString(file->catalogDataName, catalog->dataName);
  } else {
    file->flags &= ~kFileSlice;
  }
  choice->found = true;
  if (language) choice->languageMatch = true;
}

static void ConsiderCandidate(GameFileChoice* choice, const char* candidate, const char* stem, const char* languageStem,
                              int slot, const Catalog* catalog) {
  const int32_t plain = RankCandidate(candidate, stem, choice->types, choice->typeCount);
  if (plain < choice->bestPlain && !choice->languageMatch) {
    choice->bestPlain = plain;
    Choose(choice, plain, false, slot, catalog);
  }
  const int32_t language = RankCandidate(candidate, languageStem, choice->types, choice->typeCount);
  if (language < choice->bestLanguage) {
    choice->bestLanguage = language;
    Choose(choice, language, true, slot, catalog);
  }
}

static void SearchLooseFiles(GameFileChoice* choice, const char* name, bool userFolder) {
  const char* separator = nullptr;
  for (const char* p = name; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') separator = p;
  char* folder = separator != nullptr ? ReplaceStringN(size_t(separator - name), nullptr, name) : DuplicateString(".");
  const char* base = separator != nullptr ? separator + 1 : name;
  char* pattern = JoinText(base, "*.*");
  char* languageBase = JoinText(base, choice->suffix);
  if (folder != nullptr && pattern != nullptr && languageBase != nullptr) {
    FileSearch* search = OpenFileSearch(pattern, folder, userFolder);
    if (search != nullptr) {
      for (const char* entry = NextFileSearch(search); entry != nullptr && !choice->failed; entry = NextFileSearch(search))
        ConsiderCandidate(choice, entry, base, languageBase, -1, nullptr);
      CloseFileSearch(search);
    }
  }
  FreeString(folder);
  FreeString(pattern);
  FreeString(languageBase);
}

static void SearchCatalog(GameFileChoice* choice, int slot, const Catalog* catalog, const char* key,
                          const char* languageKey) {
  const size_t keyLength = std::strlen(key);
  // First entry not below the key: every name that begins with the key follows it.
  int low = 0, high = catalog->count;
  while (low < high) {
    const int middle = (low + high) / 2;
    if (std::strcmp(catalog->entries[middle].name, key) < 0) low = middle + 1;
    else high = middle;
  }
  for (int k = low; k < catalog->count && !choice->failed; ++k) {
    const char* entry = catalog->entries[k].name;
    if (std::strncmp(entry, key, keyLength) != 0) break;
    ConsiderCandidate(choice, entry, key, languageKey, slot, catalog);
  }
}

bool FindGameFile(FileObject* file, const char* name, const char* types, bool userFolder) {
  if (file == nullptr || name == nullptr || types == nullptr) return false;
  if (file->flags & kFileOpen) return false;

  // The copy is cut into words in place, so it is freed by the size it was made with.
  const size_t typeTextSize = std::strlen(types) + 1;
  char* typeText = DuplicateString(types);
  if (typeText == nullptr) return false;
  const char* words[kMaxGameFileTypes];
  int typeCount = 0;
  for (char* p = typeText; *p != '\0' && typeCount < kMaxGameFileTypes;) {
    while (*p == ' ') *p++ = '\0';
    if (*p == '\0') break;
    words[typeCount++] = p;
    while (*p != '\0' && *p != ' ') ++p;
  }
  for (char* p = typeText; *p != '\0'; ++p)
    if (*p == ' ') *p = '\0';

  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-L%03u", gSystem != nullptr ? unsigned(gSystem->language) % 1000u : 44u);

  GameFileChoice choice{file, name, suffix, words, typeCount};
  if (typeCount > 0) {
    SearchLooseFiles(&choice, name, userFolder);
    // A loose file beats every catalog; the user folder never looks into catalogs.
    if (!choice.found && !userFolder && CatalogsEnabled()) {
      char* key = FoldedCopy(name);
      char* languageKey = key != nullptr ? JoinText(key, suffix) : nullptr;
      if (languageKey != nullptr) {
        for (int slot = gSystem->catalogSlots - 1; slot >= 0 && !choice.found && !choice.failed; --slot) {
          const Catalog* catalog = gSystem->catalogs[slot];
          if (catalog == nullptr || catalog->count <= 0) continue;
          SearchCatalog(&choice, slot, catalog, key, languageKey);
        }
      }
      FreeString(key);
      FreeString(languageKey);
    }
  }
  MemFree(typeText, typeTextSize, 0);
  return choice.found && !choice.failed;
}

bool OpenGameFileByType(FileObject* file, const char* name, const char* types, bool userFolder) {
  if (!FindGameFile(file, name, types, userFolder)) return false;
  if (gSystem != nullptr) gSystem->modeFlags |= kModeOpeningFiles;
  if (file->flags & kFileOpen) FileCloseHandle(file);
  file->flags &= ~kFileOpen;
  if ((file->flags & kFileSlice) == 0) {
    char* path = MakeFilePath(file->path, userFolder);
    if (path == nullptr) return false;
    file->handle = FileOpenResolvedPath(path, "rb");
    FreeString(path);
    if (file->handle == nullptr) return false;
    file->flags |= kFileOpen;
    return true;
  }
  if (userFolder) return false;
  const CatalogEntry* entry = CatalogLookup(file->path);
  if (entry == nullptr) return false;
  return FileOpenCatalogSlice(file, gSystem->foundCatalog, entry, "rb");
}

char* LoadGameFile(const char* name, const char* types, bool userFolder) {
  FileObject file;
  FileObjectInit(&file);
  char* buffer = nullptr;
  if (OpenGameFileByType(&file, name, types, userFolder)) buffer = FileReadAll(&file);
  FileClose(&file);
  return buffer;
}
