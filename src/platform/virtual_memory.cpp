// Page allocation on mmap. Linux has no separate commit step, so a reservation is a PROT_NONE
// mapping and committing turns pages read/write; decommitting drops their contents with
// MADV_DONTNEED so the memory really returns to the system. The region table keeps each
// reservation's length for munmap; the game holds only a handful of such regions at once.
#include "platform/virtual_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <map>

namespace {
std::map<uintptr_t, size_t>& Regions() {
  static std::map<uintptr_t, size_t> regions;
  return regions;
}
int gFailPageRequests = 0;

bool TakeInjectedFailure() {
  if (gFailPageRequests > 0) {
    --gFailPageRequests;
    return true;
  }
  return false;
}

size_t RoundToPages(size_t size) {
  size_t page = OsPageSize();
  if (size == 0) size = 1;
  return (size + page - 1) & ~(page - 1);
}

void* MapRegion(size_t size, int prot) {
  if (TakeInjectedFailure()) return nullptr;
  size_t length = RoundToPages(size);
  void* p = mmap(nullptr, length, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  Regions()[reinterpret_cast<uintptr_t>(p)] = length;
  return p;
}

// A range is usable only when it lies inside one known reservation.
bool InsideRegion(void* address, size_t size) {
  uintptr_t a = reinterpret_cast<uintptr_t>(address);
  auto& regions = Regions();
  auto it = regions.upper_bound(a);
  if (it == regions.begin()) return false;
  --it;
  return a >= it->first && size <= it->second && a - it->first <= it->second - size;
}
}  // namespace

size_t OsPageSize() {
  static size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

void* OsReserve(size_t size) { return MapRegion(size, PROT_NONE); }

void* OsCommitNew(size_t size) { return MapRegion(size, PROT_READ | PROT_WRITE); }

bool OsCommit(void* address, size_t size) {
  if (TakeInjectedFailure()) return false;
  if (size == 0) return true;
  size = RoundToPages(size);
  if (!InsideRegion(address, size)) return false;
  return mprotect(address, size, PROT_READ | PROT_WRITE) == 0;
}

bool OsDecommit(void* address, size_t size) {
  if (size == 0) return true;
  size = RoundToPages(size);
  if (!InsideRegion(address, size)) return false;
  madvise(address, size, MADV_DONTNEED);
  return mprotect(address, size, PROT_NONE) == 0;
}

bool OsRelease(void* base) {
  auto& regions = Regions();
  auto it = regions.find(reinterpret_cast<uintptr_t>(base));
  if (it == regions.end()) return false;
  munmap(base, it->second);
  regions.erase(it);
  return true;
}

void OsFailNextPageRequests(int count) { gFailPageRequests = count; }
