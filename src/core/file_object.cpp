// File objects and streams. One record serves plain files (stdio), catalog slices (the catalog's
// data file opened anew, bytes XORed with 0x6D, position kept inside 0 .. sliceSize) and gzip
// streams (zlib). Every game path goes through MakeFilePath and the platform's case-insensitive
// resolution; nothing here writes into a slice or reads past one.
#include "core/file_object.h"

#include <zlib.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "core/byte_order.h"
#include "core/catalog.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"
#include "platform/os.h"

uint32_t gLastReadSize = 0;
uint32_t gLastReadTextSize = 0;

static const char kOutOfMemoryText[] = "Out of memory.\nFurther information can be found in the manual!\n";

static bool IsOpen(const FileObject* file) { return file != nullptr && (file->flags & kFileOpen) != 0; }
static bool IsSlice(const FileObject* file) { return (file->flags & (kFileOpen | kFileSlice)) == (kFileOpen | kFileSlice); }
static bool IsGzip(const FileObject* file) { return (file->flags & (kFileOpen | kFileGzip)) == (kFileOpen | kFileGzip); }

static FILE* Stdio(const FileObject* file) { return static_cast<FILE*>(file->handle); }
static gzFile Gzip(const FileObject* file) { return static_cast<gzFile>(file->handle); }

static void FreeField(char** field) { *field = FreeString(*field); }

static void MarkFileOpened() {
  if (gSystem != nullptr) gSystem->modeFlags |= kModeOpeningFiles;
}

// Every mode that creates or truncates ("w", "wb", "w+", "wb+", "wt", ...) writes the plain file:
// opening a catalog's data file with one of them would empty the whole catalog.
static bool IsWriteMode(const char* mode) { return mode[0] == 'w'; }

void* FileOpenResolvedPath(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  char real[kOsMaxPath];
  if (!OsResolvePath(path, mode[0] != 'r', real, sizeof real)) return nullptr;
  return std::fopen(real, mode);
}

void FileObjectInit(FileObject* file) {
  std::memset(file, 0, sizeof *file);
}

bool FileOpen(FileObject* file, const char* name, const char* mode, bool userFolder) {
  if (file == nullptr || name == nullptr || mode == nullptr) return false;
  if (IsOpen(file)) FileCloseHandle(file);
  file->flags &= ~kFileOpen;
  char* path = MakeFilePath(name, userFolder);
  if (path == nullptr) return false;
  char real[kOsMaxPath];
  gzFile gz = nullptr;
  if (OsResolvePath(path, mode[0] != 'r', real, sizeof real)) gz = gzopen(real, mode);
  FreeString(path);
  if (gz == nullptr) return false;
  file->handle = gz;
  file->flags |= kFileOpen | kFileGzip;
  return true;
}

bool FileOpenCatalogSlice(FileObject* file, int slot, const CatalogEntry* entry, const char* mode) {
  if (file == nullptr || entry == nullptr || gSystem == nullptr || gSystem->catalogs == nullptr) return false;
  if (slot < 0 || slot >= gSystem->catalogSlots || gSystem->catalogs[slot] == nullptr) return false;
  const Catalog* catalog = gSystem->catalogs[slot];
  FILE* data = static_cast<FILE*>(FileOpenResolvedPath(catalog->dataName, mode));
  if (data == nullptr) return false;
  if (std::fseek(data, long(entry->offset), SEEK_SET) != 0) {
    std::fclose(data);
    return false;
  }
  file->handle = data;
  file->flags |= kFileOpen | kFileSlice;
  file->sliceOffset = entry->offset;
  file->sliceSize = int32_t(entry->size);
  file->slicePos = 0;
  return true;
}

bool FileOpenFromCatalog(FileObject* file, const char* name, const char* mode, bool userFolder) {
  if (file == nullptr || name == nullptr || mode == nullptr) return false;
  MarkFileOpened();
  if (IsOpen(file)) FileCloseHandle(file);
  file->flags &= ~kFileOpen;
  if (!userFolder) {
    const CatalogEntry* entry = CatalogLookup(name);
    if (entry != nullptr && !IsWriteMode(mode)) return FileOpenCatalogSlice(file, gSystem->foundCatalog, entry, mode);
  }
  char* path = MakeFilePath(name, userFolder);
  if (path == nullptr) return false;
  FILE* handle = static_cast<FILE*>(FileOpenResolvedPath(path, mode));
  FreeString(path);
  if (handle == nullptr) return false;
  file->handle = handle;
  file->flags |= kFileOpen;
  return true;
}

FileObject* FileOpenNew(const char* name, const char* mode, bool userFolder) {
  FileObject* file = static_cast<FileObject*>(MemAlloc(sizeof(FileObject), 0));
  if (file == nullptr) return nullptr;
  FileObjectInit(file);
  if (!FileOpenFromCatalog(file, name, mode, userFolder)) {
    MemFree(file, sizeof(FileObject), 0);
    return nullptr;
  }
  return file;
}

bool FileCloseHandle(FileObject* file) {
  if (!IsOpen(file)) return false;
  const bool gzip = IsGzip(file);
  file->flags &= ~kFileOpen;
  void* handle = file->handle;
  file->handle = nullptr;
  if (gzip) return gzclose(static_cast<gzFile>(handle)) == Z_OK;
  return std::fclose(static_cast<FILE*>(handle)) == 0;
}

void FileClose(FileObject* file) {
  if (file == nullptr) return;
  if (IsOpen(file)) FileCloseHandle(file);
  FreeField(&file->path);
  FreeField(&file->type);
  FreeField(&file->catalogDataName);
}

bool FileCloseDelete(FileObject* file) {
  if (file == nullptr) return false;
  const bool result = FileCloseHandle(file);
  FreeField(&file->path);
  FreeField(&file->type);
  FreeField(&file->catalogDataName);
  MemFree(file, sizeof(FileObject), 0);
  return result;
}

// Catalog data is stored XOR-scrambled. Kept out of line: inlined into the small fixed-size
// reads, the optimiser vectorises the loop and then warns about writes it never makes.
[[gnu::noinline]] static void UnscrambleSlice(unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] ^= kSliceXor;
}

// Bytes asked for by size x count, saturated instead of wrapping.
static size_t RequestBytes(size_t size, size_t count) {
  if (size != 0 && count > SIZE_MAX / size) return SIZE_MAX;
  return size * count;
}

size_t FileRead(FileObject* file, void* buffer, size_t size, size_t count) {
  if (!IsOpen(file) || buffer == nullptr) return 0;
  if (IsSlice(file)) {
    size_t n = RequestBytes(size, count);
    const size_t remaining = size_t(file->sliceSize - file->slicePos);
    if (n > remaining) n = remaining;
    if (n == 0) return 0;
    const size_t got = std::fread(buffer, 1, n, Stdio(file));
    UnscrambleSlice(static_cast<unsigned char*>(buffer), got);
    file->slicePos += int32_t(got);
    return got;
  }
  if (IsGzip(file)) {
    size_t n = RequestBytes(size, count);
    if (n > size_t(INT_MAX)) n = size_t(INT_MAX);
    const int got = gzread(Gzip(file), buffer, unsigned(n));
    return got > 0 ? size_t(got) : 0;
  }
  return std::fread(buffer, size, count, Stdio(file));
}

size_t FileReadBytes(FileObject* file, void* buffer, size_t count) { return FileRead(file, buffer, 1, count); }

bool FileReadAtEnd(FileObject* file) {
  if (!IsOpen(file)) return false;
  unsigned char extra = 0;
  if (IsGzip(file)) {
    // Reading on makes the stream check its trailer: a stream cut before it, or one whose check
    // sum or length does not match, reports an error here even though its data read whole.
    if (gzread(Gzip(file), &extra, 1) != 0) return false;
    int error = Z_OK;
    gzerror(Gzip(file), &error);
    return error == Z_OK;
  }
  return FileRead(file, &extra, 1, 1) == 0;
}

size_t FileWrite(FileObject* file, const void* buffer, size_t size, size_t count) {
  if (!IsOpen(file) || buffer == nullptr || IsSlice(file)) return 0;
  if (IsGzip(file)) {
    const size_t n = RequestBytes(size, count);
    if (n == 0 || n > size_t(INT_MAX)) return 0;
    const int written = gzwrite(Gzip(file), buffer, unsigned(n));
    return written > 0 ? size_t(written) : 0;
  }
  return std::fwrite(buffer, size, count, Stdio(file));
}

size_t FileWriteBytes(FileObject* file, const void* buffer, size_t count) { return FileWrite(file, buffer, 1, count); }

int FileGetc(FileObject* file) {
  if (!IsOpen(file)) return -1;
  if (IsSlice(file)) {
    // The position never moves past the slice's end, so a later read still sees 0 bytes left.
    if (file->slicePos >= file->sliceSize) return -1;
    const int c = std::getc(Stdio(file));
    if (c == EOF) return -1;
    file->slicePos += 1;
    return (c ^ kSliceXor) & 0xFF;
  }
  if (IsGzip(file)) return gzgetc(Gzip(file));
  return std::getc(Stdio(file));
}

bool FileSeek(FileObject* file, long offset, int origin) {
  if (!IsOpen(file)) return false;
  if (IsSlice(file)) {
    int64_t pos;
    if (origin == SEEK_CUR) pos = int64_t(file->slicePos) + offset;
    else if (origin == SEEK_END) pos = int64_t(file->sliceSize) + offset;
    else pos = offset;
    if (pos < 0) pos = 0;
    if (pos > file->sliceSize) pos = file->sliceSize;
    file->slicePos = int32_t(pos);
    return std::fseek(Stdio(file), long(int64_t(file->sliceOffset) + pos), SEEK_SET) == 0;
  }
  if (IsGzip(file)) return gzseek(Gzip(file), z_off_t(offset), origin) >= 0;
  return std::fseek(Stdio(file), offset, origin) == 0;
}

long FileTell(FileObject* file) {
  if (!IsOpen(file)) return 0;
  if (IsSlice(file)) return file->slicePos;
  if (IsGzip(file)) return long(gztell(Gzip(file)));
  return std::ftell(Stdio(file));
}

static bool WriteWordBytes(FileObject* file, const unsigned char* bytes, size_t n) {
  if (!IsOpen(file) || IsSlice(file)) return false;
  return FileWrite(file, bytes, 1, n) == n;
}

bool FileWriteInt16BE(FileObject* file, uint16_t value) {
  unsigned char bytes[2];
  StoreBE16(bytes, value);
  return WriteWordBytes(file, bytes, 2);
}

bool FileWriteInt32BE(FileObject* file, uint32_t value) {
  unsigned char bytes[4];
  StoreBE32(bytes, value);
  return WriteWordBytes(file, bytes, 4);
}

uint16_t FileReadInt16BE(FileObject* file) {
  unsigned char bytes[2] = {0, 0};
  FileRead(file, bytes, 1, 2);
  return LoadBE16(bytes);
}

uint32_t FileReadInt32BE(FileObject* file) {
  unsigned char bytes[4] = {0, 0, 0, 0};
  FileRead(file, bytes, 1, 4);
  return LoadBE32(bytes);
}

size_t FileReadSwapped(FileObject* file, void* record, uint32_t size, const char* layout) {
  const size_t got = FileRead(file, record, 1, size);
  SwapByLayout(size, record, layout);
  return got;
}

size_t FileWriteSwapped(FileObject* file, void* record, uint32_t size, const char* layout) {
  SwapByLayout(size, record, layout);
  const size_t written = FileWrite(file, record, 1, size);
  SwapByLayout(size, record, layout);
  return written;
}

size_t FileReadWords(FileObject* file, void* record, uint32_t size) {
  return FileReadSwapped(file, record, size, kLayoutWords32);
}

size_t FileWriteWords(FileObject* file, void* record, uint32_t size) {
  return FileWriteSwapped(file, record, size, kLayoutWords32);
}

bool FileStat(const char* path, FileStatInfo* info) {
  if (info == nullptr) return false;
  *info = FileStatInfo{};
  if (path == nullptr) return false;
  OsFileInfo os{};
  if (!OsStatPath(path, &os)) return false;
  info->exists = true;
  info->isDirectory = os.isDirectory;
  info->size = os.size;
  info->modTime = os.modTime;
  return true;
}

static bool StatName(const char* name, bool userFolder, FileStatInfo* info) {
  char* path = MakeFilePath(name, userFolder);
  if (path == nullptr) {
    *info = FileStatInfo{};
    return false;
  }
  const bool found = FileStat(path, info);
  FreeString(path);
  return found;
}

int32_t FileGetSize(const char* name, bool userFolder) {
  if (name == nullptr) return -1;
  if (!userFolder) {
    const CatalogEntry* entry = CatalogLookup(name);
    if (entry != nullptr) return int32_t(entry->size);
  }
  FileStatInfo info;
  if (!StatName(name, userFolder, &info)) return -1;
  if (info.isDirectory) return -2;
  return info.size > INT32_MAX ? INT32_MAX : int32_t(info.size);
}

int64_t FileGetModTime(const char* name, bool userFolder) {
  if (name == nullptr) return 0;
  FileStatInfo info;
  if (!StatName(name, userFolder, &info)) return 0;
  return info.modTime;
}

bool FileRename(const char* oldName, const char* newName, bool userFolder) {
  if (oldName == nullptr || newName == nullptr) return false;
  char* oldPath = MakeFilePath(oldName, userFolder);
  char* newPath = MakeFilePath(newName, userFolder);
  bool ok = false;
  if (oldPath != nullptr && newPath != nullptr) ok = OsRenamePath(oldPath, newPath);
  FreeString(oldPath);
  FreeString(newPath);
  return ok;
}

bool FileRemove(const char* name, bool userFolder) {
  if (name == nullptr) return false;
  char* path = MakeFilePath(name, userFolder);
  if (path == nullptr) return false;
  const bool ok = OsRemovePath(path);
  FreeString(path);
  return ok;
}

char* FileReadWhole(const char* name) {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, name, "rb", false)) return nullptr;
  const int32_t size = FileGetSize(name, false);
  if (size <= 0) {
    FileClose(&file);
    return nullptr;
  }
  gLastReadSize = gLastReadTextSize = uint32_t(size);
  char* buffer = static_cast<char*>(MemAlloc(size_t(size), 0));
  if (buffer == nullptr) {
    std::fputs(kOutOfMemoryText, stdout);
    FileClose(&file);
    return nullptr;
  }
  const size_t got = FileRead(&file, buffer, 1, size_t(size));
  FileClose(&file);
  if (got != size_t(size)) {
    MemFree(buffer, size_t(size), 0);
    return nullptr;
  }
  return buffer;
}

char* FileGetType(const FileObject* file) {
  if (file == nullptr || file->type == nullptr) return nullptr;
  return DuplicateString(file->type);
}
