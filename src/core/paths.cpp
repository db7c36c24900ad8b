// Game paths and folders: the user data folder under the documents folder, paths in or outside
// it, folder creation, the current folder, the product disc and accounted folder searches.
// Called by the file layer, catalogs, saves, the launcher and script natives. Works on game
// paths ("\") only; the platform turns them into real paths. Never opens files itself.
#include "core/paths.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/memory.h"
#include "core/system_block.h"

namespace {

constexpr const char* kCurrentFolder = ".";
constexpr const char* kAllFiles = "*.*";
constexpr const char* kVendorFolder = "Korvane";

// Worked out on first use and kept until the process ends.
char* gUserFolder = nullptr;

// An accounted copy of `text` with every "/" turned to "\".
char* GamePathCopy(const std::string& text) {
  char* copy = DuplicateString(text.c_str());
  if (!copy) return nullptr;
  for (char* c = copy; *c; ++c) {
    if (*c == '/') *c = '\\';
  }
  return copy;
}

bool IsFolder(const std::string& path) {
  OsFileInfo info{};
  return OsStatPath(path.c_str(), &info) && info.isDirectory;
}

bool MakeSureFolderExists(const std::string& path) {
  if (IsFolder(path)) return true;
  MakeDirectory(path.c_str(), 0);
  return IsFolder(path);
}

}  // namespace

char* MakeFilePath(const char* name, int inUserFolder) {
  std::string path;
  if (inUserFolder) {
    if (!gUserFolder) gUserFolder = GetUserDataFolder();
    path = gUserFolder ? gUserFolder : kCurrentFolder;
    path += '\\';
  }
  if (name) path += name;
  return GamePathCopy(path);
}

char* GetUserDataFolder() {
  std::string documents;
  if (!OsGetDocumentsFolder(&documents)) return DuplicateString(kCurrentFolder);
  const char* product = (gSystem && gSystem->product) ? gSystem->product->folderName : nullptr;
  if (!product || !product[0]) return DuplicateString(kCurrentFolder);

  std::string vendor = documents + "\\" + kVendorFolder;
  MakeSureFolderExists(vendor);
  std::string folder = vendor + "\\" + product;
  if (!MakeSureFolderExists(folder)) return DuplicateString(kCurrentFolder);
  return GamePathCopy(folder);
}

int MakeDirectory(const char* name, int inUserFolder) {
  char* path = MakeFilePath(name, inUserFolder);
  if (!path) return 0;
  bool made = OsMakeDirectory(path);
  FreeString(path);
  return made ? 1 : 0;
}

int SetCurrentDir(const char* path) {
  if (!path) return 0;
  return OsChangeDirectory(path) ? 1 : 0;
}

// Linux has no drive letters and no volume labels to look for: the product disc is never
// found, so movies come from the installed files.
char* FindDiscDrive() { return nullptr; }

FileSearch* OpenFileSearch(const char* pattern, const char* folder, int inUserFolder) {
  auto* search = static_cast<FileSearch*>(MemAlloc(sizeof(FileSearch), 0));
  if (!search) return nullptr;
  char* base = MakeFilePath(folder, inUserFolder);
  std::string full = base ? base : "";
  FreeString(base);
  if (!full.empty() && full.back() != '\\') full += '\\';
  full += pattern ? pattern : kAllFiles;

  search->handle = OsFindFirst(full.c_str(), &search->data);
  if (search->handle == kOsFindInvalid) {
    MemFree(search, sizeof(FileSearch), 0);
    return nullptr;
  }
  search->firstPending = 1;
  return search;
}

const char* NextFileSearch(FileSearch* search) {
  if (!search) return nullptr;
  if (search->firstPending) {
    search->firstPending = 0;
    return search->data.name;
  }
  if (OsFindNext(search->handle, &search->data) != 0) return nullptr;
  return search->data.name;
}

void CloseFileSearch(FileSearch* search) {
  if (!search) return;
  if (search->handle != kOsFindInvalid && search->handle != 0) OsFindClose(search->handle);
  MemFree(search, sizeof(FileSearch), 0);
}
