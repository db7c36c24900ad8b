// Memory figures from /proc/meminfo: MemAvailable for physical memory, SwapFree for the
// page file (totals from MemTotal and SwapTotal). Values there are in kB.
#include "platform/memory_status.h"

#include <cstdio>
#include <cstring>

namespace {
bool gOverridden = false;
OsMemoryStatus gOverride{};
}  // namespace

bool OsGetMemoryStatus(OsMemoryStatus* status) {
  *status = OsMemoryStatus{};
  if (gOverridden) {
    *status = gOverride;
    return true;
  }
  FILE* f = std::fopen("/proc/meminfo", "r");
  if (!f) return false;
  char line[256];
  bool any = false;
  while (std::fgets(line, sizeof line, f)) {
    char name[64];
    unsigned long long kb = 0;
    if (std::sscanf(line, "%63[^:]: %llu", name, &kb) != 2) continue;
    uint64_t bytes = static_cast<uint64_t>(kb) * 1024u;
    if (!std::strcmp(name, "MemTotal")) status->totalPhysical = bytes, any = true;
    else if (!std::strcmp(name, "MemAvailable")) status->availablePhysical = bytes;
    else if (!std::strcmp(name, "SwapTotal")) status->totalPageFile = bytes;
    else if (!std::strcmp(name, "SwapFree")) status->availablePageFile = bytes;
  }
  std::fclose(f);
  return any;
}

void OsOverrideMemoryStatus(const OsMemoryStatus* status) {
  gOverridden = status != nullptr;
  if (status) gOverride = *status;
}
