// The monotonic high-resolution counter of the os layer: nanoseconds of CLOCK_MONOTONIC at a
// frequency of 1 GHz. Called by the millisecond clocks; tests install a counter of their own.
// Never reads the wall clock, which may jump.
#include "platform/os.h"

#include <ctime>

namespace {

constexpr uint64_t kNanosecondsPerSecond = 1000000000ull;

bool RealCounter(uint64_t* out) {
  struct timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
  *out = static_cast<uint64_t>(now.tv_sec) * kNanosecondsPerSecond + static_cast<uint64_t>(now.tv_nsec);
  return true;
}

bool RealFrequency(uint64_t* out) {
  *out = kNanosecondsPerSecond;
  return true;
}

OsCounterFn gRead = RealCounter;
OsCounterFn gFrequency = RealFrequency;

}  // namespace

bool OsReadCounter(uint64_t* value) { return gRead(value); }

bool OsCounterFrequency(uint64_t* ticksPerSecond) { return gFrequency(ticksPerSecond); }

void OsSetCounterSource(OsCounterFn read, OsCounterFn frequency) {
  gRead = read ? read : RealCounter;
  gFrequency = frequency ? frequency : RealFrequency;
}
