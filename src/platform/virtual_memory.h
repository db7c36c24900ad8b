// Virtual memory for the memory manager's page blocks: reserve address space, commit and
// decommit pages inside a reservation, release it whole. A region table remembers each
// reservation's size, because releasing takes only the base address.
#pragma once

#include <cstddef>

size_t OsPageSize();
void* OsReserve(size_t size);                     // no access; null on failure
void* OsCommitNew(size_t size);                   // reserve + commit read/write; null on failure
bool OsCommit(void* address, size_t size);        // read/write pages inside a reservation
bool OsDecommit(void* address, size_t size);      // pages go back to the system, reservation stays
bool OsRelease(void* base);                       // the whole reservation starting at base

// Test seam: the next `count` reserve / commit requests fail.
void OsFailNextPageRequests(int count);
