// The process heap behind the memory manager, with the one thing the manager needs beyond
// malloc: the real size of a block. Tests can make the next allocations fail.
#pragma once

#include <cstddef>

void* OsHeapAlloc(size_t size);
void* OsHeapRealloc(void* block, size_t size);
void OsHeapFree(void* block);
size_t OsHeapBlockSize(void* block);

// Test seam: the next `count` heap allocations and resizes fail.
void OsFailNextHeapRequests(int count);
int OsPendingHeapFailures();
