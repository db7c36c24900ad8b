// The machine's memory status: available physical memory and available swap ("page file"),
// read from /proc/meminfo. Tests can substitute the figures.
#pragma once

#include <cstdint>

struct OsMemoryStatus {
  uint64_t totalPhysical;
  uint64_t availablePhysical;
  uint64_t totalPageFile;
  uint64_t availablePageFile;
};

// False when the figures cannot be read; the fields are then zero.
bool OsGetMemoryStatus(OsMemoryStatus* status);

// Test seam: a non-null status replaces the machine's figures until reset with null.
void OsOverrideMemoryStatus(const OsMemoryStatus* status);
