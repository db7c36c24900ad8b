// Heap allocation on the C library's malloc. A zero-byte request still returns a real block, so
// callers that allocate 0 bytes get a pointer they can free.
#include "platform/heap.h"

#include <malloc.h>

#include <cstdlib>

namespace {
int gFailHeapRequests = 0;

bool TakeInjectedFailure() {
  if (gFailHeapRequests > 0) {
    --gFailHeapRequests;
    return true;
  }
  return false;
}
}  // namespace

void* OsHeapAlloc(size_t size) {
  if (TakeInjectedFailure()) return nullptr;
  return std::malloc(size ? size : 1);
}

void* OsHeapRealloc(void* block, size_t size) {
  if (TakeInjectedFailure()) return nullptr;
  return std::realloc(block, size ? size : 1);
}

void OsHeapFree(void* block) { std::free(block); }

size_t OsHeapBlockSize(void* block) { return block ? malloc_usable_size(block) : 0; }

void OsFailNextHeapRequests(int count) { gFailHeapRequests = count; }
int OsPendingHeapFailures() { return gFailHeapRequests; }
