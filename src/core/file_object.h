// File objects and streams: the one stream record through which every file of the game is read or
// written, whether a plain file, a slice of a mounted catalog's data file, or a gzip stream; with
// big-endian word readers and writers, layout-swapped records and path-level helpers (size, time,
// rename, remove, whole-file read). Used by every loader and writer. Slices are read-only, and no
// read ever goes past a slice's end; failures come back as 0 / false / null / -1, never printed
// (except the out-of-memory text of the whole-file reader).
#pragma once

#include <cstddef>
#include <cstdint>

// FileObject flag bits. An open slice has 3 in bits 0-1, an open gzip stream 5 in bits 0-2.
constexpr uint32_t kFileOpen = 0x1;
constexpr uint32_t kFileSlice = 0x2;
constexpr uint32_t kFileGzip = 0x4;

// Every byte of a catalog slice is stored XORed with this constant.
constexpr uint8_t kSliceXor = 0x6D;

struct FileObject {
  void* handle;          // gzFile for a gzip stream, else FILE* (a slice owns its own data-file handle)
  uint32_t flags;
  uint32_t sliceOffset;  // first byte of the slice in the catalog data file
  int32_t sliceSize;
  int32_t slicePos;      // always within 0 .. sliceSize
  char* path;            // what the game-file lookup chose: name, language suffix and type
  char* type;            // the accepted type the lookup chose, without the dot
  int32_t catalogIndex;
  char* catalogDataName;
};

// File-system facts about one resolved path.
struct FileStatInfo {
  bool exists;
  bool isDirectory;
  int64_t size;
  int64_t modTime;  // seconds since the epoch
};

// Byte size of the last whole-file read: the whole size and the text size (the same value).
extern uint32_t gLastReadSize;
extern uint32_t gLastReadTextSize;

void FileObjectInit(FileObject* file);

bool FileOpen(FileObject* file, const char* name, const char* mode, bool userFolder);
bool FileOpenFromCatalog(FileObject* file, const char* name, const char* mode, bool userFolder);
FileObject* FileOpenNew(const char* name, const char* mode, bool userFolder);
bool FileCloseHandle(FileObject* file);
void FileClose(FileObject* file);
bool FileCloseDelete(FileObject* file);

// Slice reads return bytes, gzip reads bytes, stdio reads items (as the runtime library does).
size_t FileRead(FileObject* file, void* buffer, size_t size, size_t count);
size_t FileReadBytes(FileObject* file, void* buffer, size_t count);
// True when a file open for reading has nothing left: no byte follows, and a gzip stream ended
// whole, its trailer present and matching.
bool FileReadAtEnd(FileObject* file);
size_t FileWrite(FileObject* file, const void* buffer, size_t size, size_t count);
size_t FileWriteBytes(FileObject* file, const void* buffer, size_t count);
int FileGetc(FileObject* file);
bool FileSeek(FileObject* file, long offset, int origin);  // origin 0 start, 1 current, 2 end
long FileTell(FileObject* file);

bool FileWriteInt16BE(FileObject* file, uint16_t value);
bool FileWriteInt32BE(FileObject* file, uint32_t value);
uint16_t FileReadInt16BE(FileObject* file);  // a short read leaves zero bytes in the missing places
uint32_t FileReadInt32BE(FileObject* file);

size_t FileReadSwapped(FileObject* file, void* record, uint32_t size, const char* layout);
size_t FileWriteSwapped(FileObject* file, void* record, uint32_t size, const char* layout);
size_t FileReadWords(FileObject* file, void* record, uint32_t size);
size_t FileWriteWords(FileObject* file, void* record, uint32_t size);

// -1 missing, -2 a directory, else the size (a catalog entry's size when a catalog holds the name).
int32_t FileGetSize(const char* name, bool userFolder);
int64_t FileGetModTime(const char* name, bool userFolder);
bool FileRename(const char* oldName, const char* newName, bool userFolder);
bool FileRemove(const char* name, bool userFolder);
bool FileStat(const char* path, FileStatInfo* info);  // path already resolved (MakeFilePath)
char* FileReadWhole(const char* name);                 // accounted buffer of gLastReadSize bytes
char* FileGetType(const FileObject* file);             // accounted copy of the chosen type

// Opens an already resolved game path ("\" separators, any case) with stdio; the file layer's
// one way into the platform's path resolution. Shared with the catalog layer.
void* FileOpenResolvedPath(const char* path, const char* mode);

struct CatalogEntry;
// Opens the data file of the catalog in `slot` of the SystemBlock over the entry's bytes and makes
// the object an open slice positioned at its start. Shared with the game-file lookup.
bool FileOpenCatalogSlice(FileObject* file, int slot, const CatalogEntry* entry, const char* mode);
