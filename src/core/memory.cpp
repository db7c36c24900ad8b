// The memory manager: heap and page blocks behind MemAlloc / MemFree / MemRealloc, the
// per-category byte counters, the low-memory hook, accounted strings and the small text and
// random-number utilities many subsystems share. Blocks carry no header: callers pass the size
// back on free, which is why the counters are statistics only and never drive a decision.
#include "core/memory.h"

#include <cstring>
#include <ctime>

#include "platform/heap.h"
#include "platform/memory_status.h"
#include "platform/virtual_memory.h"

MemCounters gMemCounters;

namespace {
LowMemoryHook gLowMemoryHook = nullptr;
int gLowMemoryBusy = 0;
uint32_t gRandomState = 1;

bool IsUncounted(uint32_t flags) { return (flags & (kMemUncounted | kMemUncounted2)) != 0; }
uint32_t CategoryOf(uint32_t flags) { return (flags >> kMemCategoryShift) & kMemCategoryMask; }

size_t RoundUpToPage(size_t size) {
  size_t page = gMemCounters.pageSize ? gMemCounters.pageSize : OsPageSize();
  return (size + page - 1) & ~(page - 1);
}
}  // namespace

void* MemAlloc(size_t size, uint32_t flags) {
  void* block;
  if (flags & kMemPage) {
    if (flags & kMemReserveOnly) return OsReserve(size);
    block = OsCommitNew(size);
    if (!block) {
      CallLowMemoryHandler();
      block = OsCommitNew(size);
    }
  } else {
    block = OsHeapAlloc(size);
    if (!block) {
      CallLowMemoryHandler();
      block = OsHeapAlloc(size);
    }
  }
  if (!block) return nullptr;
  if (!IsUncounted(flags)) {
    uint32_t n = static_cast<uint32_t>(size);
    gMemCounters.currentBytes += n;
    gMemCounters.totalBytes += n;
    gMemCounters.categoryBytes[CategoryOf(flags)] += n;
    gMemCounters.allocationCount += 1;
  }
  std::memset(block, 0, size);
  return block;
}

void MemFree(void* pointer, size_t size, uint32_t flags) {
  // Counted blocks freed with size 0 stay allocated: the caller did not know what it held.
  if (!IsUncounted(flags) && size == 0) return;
  if (!pointer) return;
  if (flags & kMemPage) {
    if (!(flags & kMemReserveOnly)) {
      OsRelease(pointer);
      return;
    }
    OsDecommit(pointer, size);
  } else {
    OsHeapFree(pointer);
  }
  uint32_t n = static_cast<uint32_t>(size);
  gMemCounters.currentBytes -= n;
  gMemCounters.categoryBytes[CategoryOf(flags)] -= n;
}

void* MemRealloc(void* pointer, size_t oldSize, size_t newSize, uint32_t flags) {
  void* block;
  if (flags & kMemPage) {
    // Page buffers grow in place inside the address space reserved for them.
    size_t oldRounded = RoundUpToPage(oldSize);
    size_t newRounded = RoundUpToPage(newSize);
    if (newRounded > oldRounded) {
      if (!OsCommit(pointer, newRounded)) return nullptr;
    } else if (newRounded < oldRounded) {
      OsDecommit(static_cast<char*>(pointer) + newRounded, oldRounded - newRounded);
    }
    block = pointer;
  } else {
    if (IsUncounted(flags)) {
      flags |= MemCategoryFlags(kMemCatResizedUncounted);
      oldSize = OsHeapBlockSize(pointer);
    }
    block = OsHeapRealloc(pointer, newSize);
  }
  if (!block) return nullptr;
  uint32_t category = CategoryOf(flags);
  uint32_t delta = static_cast<uint32_t>(newSize) - static_cast<uint32_t>(oldSize);
  gMemCounters.totalBytes += static_cast<uint32_t>(newSize);
  gMemCounters.allocationCount += 1;
  gMemCounters.currentBytes += delta;
  gMemCounters.categoryBytes[category] += delta;
  if (newSize > oldSize) std::memset(static_cast<char*>(block) + oldSize, 0, newSize - oldSize);
  return block;
}

void* MemCalloc(size_t size) {
  void* block = OsHeapAlloc(size);
  if (!block) {
    CallLowMemoryHandler();
    block = OsHeapAlloc(size);
  }
  if (block) std::memset(block, 0, size);
  return block;
}

void MemFreeIfSet(void* pointer) {
  if (pointer) OsHeapFree(pointer);
}

void CallLowMemoryHandler() {
  // A hook that allocates and fails must not call itself again.
  if (gLowMemoryBusy) return;
  gLowMemoryBusy = 1;
  if (gLowMemoryHook) gLowMemoryHook();
  gLowMemoryBusy = 0;
}

void SetLowMemoryHook(LowMemoryHook hook) { gLowMemoryHook = hook; }

uint32_t GetPageSize() {
  gMemCounters.pageSize = static_cast<uint32_t>(OsPageSize());
  return gMemCounters.pageSize;
}

bool HasEnoughMemory() {
  constexpr uint64_t kNeeded = 0x10000000;  // 256 MiB
  OsMemoryStatus status;
  OsGetMemoryStatus(&status);
  return status.availablePhysical >= kNeeded || status.availablePageFile >= kNeeded ||
         status.availablePhysical + status.availablePageFile >= kNeeded;
}

uint32_t MemGetCurrentBytes() { return gMemCounters.currentBytes; }
uint32_t MemGetDefaultCategoryBytes() { return gMemCounters.categoryBytes[kMemCatDefault]; }
uint32_t MemGetAllocationCount() { return gMemCounters.allocationCount; }

char* FreeString(char* text) {
  if (text) MemFree(text, std::strlen(text) + 1, 0);
  return nullptr;
}

char* ReplaceStringN(size_t n, char* old, const char* text) {
  // The copy is made before the old text goes, so replacing a string with itself is safe.
  char* copy = nullptr;
  if (text) {
    size_t length = strnlen(text, n);
    copy = static_cast<char*>(MemAlloc(length + 1, 0));
    if (copy) std::memcpy(copy, text, length);
  }
  FreeString(old);
  return copy;
}

char* ReplaceString(char* old, const char* text) {
  return ReplaceStringN(text ? std::strlen(text) : 0, old, text);
}

char* DuplicateString(const char* text) { return ReplaceString(nullptr, text); }

static bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

size_t Utf8ClampLength(const char* text, size_t n) {
  if (n == 0) return 0;
  size_t length = std::strlen(text);
  if (n > length) n = length;
  if (n == 0) return 0;
  size_t i = n - 1;
  while (i > 0 && IsContinuation(static_cast<unsigned char>(text[i]))) --i;
  return i;
}

size_t Utf8NextChar(const char* text, size_t pos) {
  size_t length = std::strlen(text);
  if (pos >= length) return length;
  size_t i = pos + 1;
  while (text[i] && IsContinuation(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}

size_t Utf8Length(const char* text) {
  size_t count = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p == 27) {  // a formatting code: ESC and the byte after it are not characters
      if (!p[1]) break;
      ++p;
      continue;
    }
    if (!IsContinuation(*p)) ++count;
  }
  return count;
}

char* Utf8EncodeChar(char* out, uint16_t code) {
  if (code <= 0x7F) {
    *out++ = static_cast<char>(code);
  } else if (code <= 0x7FF) {
    *out++ = static_cast<char>(0xC0 | (code >> 6));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out++ = static_cast<char>(0xE0 | (code >> 12));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

int CompareEntryNames(const char* a, const char* b) {
  int r = std::strcmp(a, b);  // strcmp compares as unsigned char
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool TextEqualsIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

void NormalizePathUpper(char* text) {
  for (size_t i = 0; text[i]; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') text[i] = static_cast<char>(c - 'a' + 'A');
    else if (c == '/') text[i] = '\\';
  }
}

int LastBlankIndex(const char* text) {
  int last = -1;
  for (size_t i = 0; text[i]; ++i)
    if (text[i] == ' ' || text[i] == '\t') last = static_cast<int>(i);
  return last;
}

int32_t MulFixed15(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<int64_t>(a) * b / 32768);
}

uint32_t CurrentTimeSeconds() { return static_cast<uint32_t>(std::time(nullptr)); }

void GameSrand(uint32_t seed) { gRandomState = seed; }

uint32_t GameRandState() { return gRandomState; }

int GameRand() {
  gRandomState = gRandomState * 214013u + 2531011u;
  return static_cast<int>((gRandomState >> 16) & 0x7FFF);
}

int32_t RandomBelow(int32_t n) {
  return static_cast<int32_t>(static_cast<int64_t>(n) * GameRand() / 32768);
}

int32_t RandomBelow16(int32_t n) {
  int16_t small = static_cast<int16_t>(n);
  if (small < 1) return 0;
  return RandomBelow(small);
}
