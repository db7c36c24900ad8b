// Files and folders of the os layer: turns the game's "\" paths, written for a file system
// that ignores case, into real paths; opens, inspects and creates files and folders; searches
// folders with the Windows wildcard rules. Called by the path helpers and the file layer. Never
// allocates through the memory manager and never returns names in directory order, which
// differs between machines: every listing is sorted.
#include "platform/os.h"

#include <algorithm>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    if (b[i] == '\0' || FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return b[i] == '\0';
}

// Case-insensitive order with byte order breaking ties, so a listing never depends on the
// order the folder happens to store its entries in.
bool NameBefore(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool PathExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

// The on-disk spelling of `component` inside `folder`, ignoring case; the first in sorted
// order when several spellings exist.
bool FindSpelling(const std::string& folder, const std::string& component, std::string* out) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return false;
  bool found = false;
  while (struct dirent* entry = readdir(dir)) {
    if (!EqualIgnoringCase(component, entry->d_name)) continue;
    if (!found || NameBefore(entry->d_name, *out)) *out = entry->d_name;
    found = true;
  }
  closedir(dir);
  return found;
}

// Whole-pattern match over [0, P) x [0, N) by a table, so hostile patterns with many stars
// stay linear in pattern x name instead of backtracking.
bool MatchCore(const std::string& pattern, const std::string& name) {
  const size_t P = pattern.size(), N = name.size();
  std::vector<char> next(N + 1, 0), cur(N + 1, 0);
  // Row for the pattern's end: only the name's end matches.
  next[N] = 1;
  for (size_t i = P; i-- > 0;) {
    char p = pattern[i];
    for (size_t j = N + 1; j-- > 0;) {
      bool m = false;
      if (p == '*') {
        m = next[j] || (j < N && cur[j + 1]);
      } else if (p == '?') {
        m = (j < N && next[j + 1]) || ((j == N || name[j] == '.') && next[j]);
      } else {
        m = j < N && FoldCase(p) == FoldCase(name[j]) && next[j + 1];
      }
      cur[j] = m;
    }
    std::swap(next, cur);
  }
  return next[0] != 0;
}

std::string WithSlashes(const char* gamePath) {
  std::string path = gamePath ? gamePath : "";
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

struct FindHandle {
  std::string folder;  // resolved, ends without "/" unless it is the root
  std::vector<std::string> names;
  size_t next;
};

void FillFindData(const FindHandle& handle, const std::string& name, OsFindData* data) {
  *data = OsFindData{};
  name.copy(data->name, kOsFindNameSize - 1);
  std::string full = handle.folder.empty() ? name
                     : handle.folder.back() == '/' ? handle.folder + name
                                                   : handle.folder + "/" + name;
  struct stat status;
  if (stat(full.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) data->attributes |= kOsFindDirectory;
    data->size = S_ISDIR(status.st_mode) ? 0 : static_cast<int64_t>(status.st_size);
    data->createdTime = static_cast<int64_t>(status.st_ctime);
    data->accessedTime = static_cast<int64_t>(status.st_atime);
    data->modifiedTime = static_cast<int64_t>(status.st_mtime);
  }
}

}  // namespace

bool OsResolvePath(const char* gamePath, std::string* out) {
  std::string path = WithSlashes(gamePath);
  if (path.empty()) {
    out->clear();
    return false;
  }
  if (PathExists(path)) {
    *out = path;
    return true;
  }
  std::string result;
  size_t pos = 0;
  if (path[0] == '/') {
    result = "/";
    pos = 1;
  }
  bool exists = true;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;
    std::string folder = result;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    std::string spelling = component;
    if (exists && component != "." && component != ".." && !PathExists(folder + component)) {
      if (!FindSpelling(result, component, &spelling)) {
        spelling = component;
        exists = false;
      }
    }
    result = folder + spelling;
  }
  if (path.back() == '/' && !result.empty() && result.back() != '/') result += '/';
  *out = result;
  return exists && PathExists(result);
}

bool OsResolvePath(const char* gamePath, bool forWrite, char* out, size_t outSize) {
  if (!out || outSize == 0) return false;
  out[0] = '\0';
  std::string path;
  bool exists = OsResolvePath(gamePath, &path);
  if (path.empty() || path.size() >= outSize) return false;
  if (!exists) {
    if (!forWrite) return false;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat status;
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return false;
  }
  path.copy(out, outSize - 1);
  out[path.size()] = '\0';
  return true;
}

FILE* OsOpenFile(const char* gamePath, const char* mode) {
  if (!mode) return nullptr;
  char path[kOsMaxPath];
  if (!OsResolvePath(gamePath, mode[0] != 'r', path, sizeof path)) return nullptr;
  return std::fopen(path, mode);
}

bool OsStatPath(const char* gamePath, OsFileInfo* out) {
  std::string path;
  if (!OsResolvePath(gamePath, &path)) return false;
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return false;
  out->isDirectory = S_ISDIR(status.st_mode);
  out->size = static_cast<int64_t>(status.st_size);
  out->modTime = static_cast<int64_t>(status.st_mtime);
  return true;
}

bool OsRenamePath(const char* oldGamePath, const char* newGamePath) {
  char from[kOsMaxPath], to[kOsMaxPath];
  if (!OsResolvePath(oldGamePath, false, from, sizeof from)) return false;
  if (!OsResolvePath(newGamePath, true, to, sizeof to)) return false;
  return std::rename(from, to) == 0;
}

bool OsRemovePath(const char* gamePath) {
  char path[kOsMaxPath];
  if (!OsResolvePath(gamePath, false, path, sizeof path)) return false;
  return unlink(path) == 0;
}

bool OsMakeDirectory(const char* gamePath) {
  std::string path;
  if (OsResolvePath(gamePath, &path) || path.empty()) return false;
  return mkdir(path.c_str(), 0755) == 0;
}

bool OsChangeDirectory(const char* gamePath) {
  std::string path;
  if (!OsResolvePath(gamePath, &path)) return false;
  return chdir(path.c_str()) == 0;
}

bool OsWildcardMatch(const char* pattern, const char* name) {
  if (!pattern || !name || !pattern[0]) return false;
  std::string p = pattern, n = name;
  if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0) {
    // "x.*" also stands for "x" with no extension at all.
    return MatchCore(p, n) || MatchCore(p.substr(0, p.size() - 2), n);
  }
  if (p.size() >= 2 && p.back() == '.') {
    return n.find('.') == std::string::npos && MatchCore(p.substr(0, p.size() - 1), n);
  }
  return MatchCore(p, n);
}

intptr_t OsFindFirst(const char* gamePattern, OsFindData* data) {
  std::string path = WithSlashes(gamePattern);
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (pattern.empty()) return kOsFindInvalid;

  std::string resolved;
  if (!folder.empty()) {
    if (!OsResolvePath(folder.c_str(), &resolved)) return kOsFindInvalid;
    while (resolved.size() > 1 && resolved.back() == '/') resolved.pop_back();
  }
  DIR* dir = opendir(resolved.empty() ? "." : resolved.c_str());
  if (!dir) return kOsFindInvalid;
  auto* handle = new FindHandle{resolved, {}, 0};
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || name.size() >= kOsFindNameSize) continue;
    if (OsWildcardMatch(pattern.c_str(), name.c_str())) handle->names.push_back(name);
  }
  closedir(dir);
  if (handle->names.empty()) {
    delete handle;
    return kOsFindInvalid;
  }
  std::sort(handle->names.begin(), handle->names.end(), NameBefore);
  FillFindData(*handle, handle->names[0], data);
  handle->next = 1;
  return reinterpret_cast<intptr_t>(handle);
}

int OsFindNext(intptr_t handle, OsFindData* data) {
  if (handle == kOsFindInvalid || handle == 0) return -1;
  auto* find = reinterpret_cast<FindHandle*>(handle);
  if (find->next >= find->names.size()) return -1;
  FillFindData(*find, find->names[find->next], data);
  ++find->next;
  return 0;
}

void OsFindClose(intptr_t handle) {
  if (handle == kOsFindInvalid || handle == 0) return;
  delete reinterpret_cast<FindHandle*>(handle);
}
