// The accounted memory manager: every subsystem allocates through MemAlloc / MemFree /
// MemRealloc, which put the heap and the page allocator behind one call, keep byte counters per
// category and call the low-memory hook once before giving up. Beside it: accounted strings,
// small UTF-8 and text helpers, and the game's own random generator (never the C library's).
#pragma once

#include <cstddef>
#include <cstdint>

// MemFlags bits.
constexpr uint32_t kMemPage = 0x1;         // block from virtual memory, not the heap
constexpr uint32_t kMemReserveOnly = 0x2;  // with kMemPage: MemAlloc reserves, MemFree decommits
constexpr uint32_t kMemUncounted = 0x4;    // either of 0x4 / 0x8: not counted
constexpr uint32_t kMemUncounted2 = 0x8;
constexpr uint32_t kMemCategoryShift = 24;
constexpr uint32_t kMemCategoryMask = 0x7F;

constexpr uint32_t MemCategoryFlags(uint32_t category) { return (category & kMemCategoryMask) << kMemCategoryShift; }

// MemCategory numbers in use.
enum MemCategory : uint32_t {
  kMemCatDefault = 0,
  kMemCatScript = 1,
  kMemCatEngine3D = 2,
  kMemCatBody = 3,
  kMemCatCut = 4,
  kMemCatReplay = 5,
  kMemCatMaterial = 6,
  kMemCatSound = 9,
  kMemCatUniverse = 14,
  kMemCatResizedUncounted = 15,
};

struct MemCounters {
  uint32_t currentBytes;
  uint32_t totalBytes;
  uint32_t categoryBytes[128];
  uint32_t allocationCount;
  uint32_t pageSize;
};
extern MemCounters gMemCounters;

void* MemAlloc(size_t size, uint32_t flags);
void MemFree(void* pointer, size_t size, uint32_t flags);
void* MemRealloc(void* pointer, size_t oldSize, size_t newSize, uint32_t flags);
void* MemCalloc(size_t size);
void MemFreeIfSet(void* pointer);

using LowMemoryHook = void (*)();
void CallLowMemoryHandler();
void SetLowMemoryHandler();                 // installs the application's OnLowMemory (defined by the app)
void SetLowMemoryHook(LowMemoryHook hook);  // any hook (tests, tools); null removes it
uint32_t GetPageSize();
bool HasEnoughMemory();

uint32_t MemGetCurrentBytes();
uint32_t MemGetDefaultCategoryBytes();
uint32_t MemGetAllocationCount();

// Accounted strings: NUL-terminated heap copies counted in category 0 (length + 1 bytes).
char* FreeString(char* text);
char* ReplaceString(char* old, const char* text);
char* ReplaceStringN(size_t n, char* old, const char* text);
char* DuplicateString(const char* text);  // ReplaceString(nullptr, text)

// Small shared utilities.
size_t Utf8ClampLength(const char* text, size_t n);
size_t Utf8NextChar(const char* text, size_t pos);
size_t Utf8Length(const char* text);
char* Utf8EncodeChar(char* out, uint16_t code);
int CompareEntryNames(const char* a, const char* b);
// Whole-text equality without regard to ASCII case (options, switches, names).
bool TextEqualsIgnoringCase(const char* a, const char* b);
void NormalizePathUpper(char* text);
int LastBlankIndex(const char* text);
int32_t MulFixed15(int32_t a, int32_t b);
uint32_t CurrentTimeSeconds();

// The game's random generator: state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF.
void GameSrand(uint32_t seed);
int GameRand();
// The generator's state as it stands: GameSrand of it goes on with the same draws.
uint32_t GameRandState();
int32_t RandomBelow(int32_t n);
int32_t RandomBelow16(int32_t n);
