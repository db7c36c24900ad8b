// The operating-system services the process core stands on: priority and exit, the processor
// probe primitives (CPUID, FPU/SSE state save and load), the monotonic counter, user and folder
// names, folders and file status, game-path resolution and directory search. Called by the
// entry, the clocks, the path helpers and the file layer. The rest of the engine includes this
// header instead of system headers; it never carries game rules, only the system's answers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// ---- Process -------------------------------------------------------------------------------

enum OsPriority : uint32_t {
  kOsPriorityIdle = 0,
  kOsPriorityNormal = 1,
  kOsPriorityHigh = 2,
};

// Sets the scheduling priority of the whole process. Raising it needs rights a normal user may
// lack; the answer is false then and nothing changes.
bool OsSetProcessPriority(OsPriority priority);
OsPriority OsGetProcessPriority();

// Test seam: every OsSetProcessPriority goes to `hook` instead of the system; null restores it.
using OsPriorityHook = bool (*)(OsPriority priority);
void OsSetPriorityHook(OsPriorityHook hook);

[[noreturn]] void OsExitProcess(int status);

// True when no window may be opened: KORVANE_HEADLESS=1, or forced by the display layer after
// it found no display. OsSetHeadless(false) drops the forcing and asks the environment again.
bool OsIsHeadless();
void OsSetHeadless(bool headless);

// The user's login name; false when the system does not know it.
bool OsGetUserName(std::string* out);

// The user's documents folder ($XDG_DOCUMENTS_DIR, else $HOME/Documents), created when
// missing. False when neither is set or the folder cannot be made.
bool OsGetDocumentsFolder(std::string* out);

// ---- Processor -----------------------------------------------------------------------------

struct OsCpuRegisters {
  uint32_t eax, ebx, ecx, edx;
};

// Size and offsets of the FPU/SSE state area (the FXSAVE layout).
constexpr size_t kOsFpuStateSize = 512;
constexpr size_t kOsFpuStateMxcsr = 24;
constexpr size_t kOsFpuStateMxcsrMask = 28;

// The processor primitives behind the probe. Tests install a table describing another
// processor; null restores the real one.
struct OsCpuBackend {
  bool (*cpuid)(uint32_t leaf, OsCpuRegisters* out);  // false: no CPUID instruction
  bool (*fpuEmulated)();                               // machine status word EM bit
  void (*saveFpuState)(uint8_t* area);                 // kOsFpuStateSize bytes
  void (*loadFpuState)(const uint8_t* area);
};
void OsSetCpuBackend(const OsCpuBackend* backend);

bool OsCpuid(uint32_t leaf, OsCpuRegisters* out);
bool OsFpuEmulated();
void OsSaveFpuState(uint8_t* area);
void OsLoadFpuState(const uint8_t* area);

// ---- Monotonic counter ---------------------------------------------------------------------

// The high-resolution counter and its ticks per second; false when they cannot be read.
bool OsReadCounter(uint64_t* value);
bool OsCounterFrequency(uint64_t* ticksPerSecond);

// Test seam: a counter of the test's own; null functions restore the system counter.
using OsCounterFn = bool (*)(uint64_t* out);
void OsSetCounterSource(OsCounterFn read, OsCounterFn frequency);

// ---- Paths and files -----------------------------------------------------------------------

// Game paths use "\" and were written for a file system that ignores case. The resolved path
// uses "/" and, component by component, the on-disk spelling when the exact one does not
// exist (the first of several matches in sorted order). Components that exist in no spelling
// are kept as written, so a file can be created there. True when the whole path exists.
bool OsResolvePath(const char* gamePath, std::string* out);

// The same into a buffer. For reading, true when the path exists; for writing, true when its
// folder exists (the last component may be new). False also when the result does not fit.
constexpr size_t kOsMaxPath = 4096;
bool OsResolvePath(const char* gamePath, bool forWrite, char* out, size_t outSize);

FILE* OsOpenFile(const char* gamePath, const char* mode);

struct OsFileInfo {
  bool isDirectory;
  int64_t size;
  int64_t modTime;  // seconds since 1970
};
bool OsStatPath(const char* gamePath, OsFileInfo* out);

bool OsMakeDirectory(const char* gamePath);    // one level; false when it exists already
bool OsChangeDirectory(const char* gamePath);
bool OsRenamePath(const char* oldGamePath, const char* newGamePath);  // replaces an existing file
bool OsRemovePath(const char* gamePath);                              // files only

// ---- Directory search ----------------------------------------------------------------------

// Windows wildcard matching without regard to case: "*" any run, "?" one character (or none
// at the end of the name or before its dot), a pattern ending in ".*" also matches names
// without a dot, one ending in "." only names without a dot.
bool OsWildcardMatch(const char* pattern, const char* name);

constexpr uint32_t kOsFindDirectory = 0x10;
constexpr size_t kOsFindNameSize = 260;

struct OsFindData {
  uint32_t attributes;  // kOsFindDirectory for folders
  int64_t createdTime, accessedTime, modifiedTime;
  int64_t size;
  char name[kOsFindNameSize];
};

// Searches the folder part of `gamePattern` for the names matching its last component; the
// names come sorted (ignoring case, then byte order), "." and ".." never. OsFindFirst returns
// a handle and fills the first entry, or -1 when nothing matches or the folder cannot be read.
// OsFindNext returns 0 and fills the next entry, or -1 at the end.
constexpr intptr_t kOsFindInvalid = -1;
intptr_t OsFindFirst(const char* gamePattern, OsFindData* data);
int OsFindNext(intptr_t handle, OsFindData* data);
void OsFindClose(intptr_t handle);
