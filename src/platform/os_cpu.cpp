// Processor primitives of the os layer: CPUID and the FPU/SSE state area (save and load), the
// only ways the probe touches the processor. Called by the processor set-up of the entry;
// tests swap in a described processor. Never interprets the bits it returns.
#include "platform/os.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define KORVANE_X86 1
#endif

namespace {

struct alignas(16) FpuArea {
  uint8_t bytes[kOsFpuStateSize];
};

bool RealCpuid(uint32_t leaf, OsCpuRegisters* out) {
#ifdef KORVANE_X86
  if (__get_cpuid_max(0, nullptr) == 0) return false;
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid_count(leaf, 0, a, b, c, d);
  out->eax = a;
  out->ebx = b;
  out->ecx = c;
  out->edx = d;
  return true;
#else
  (void)leaf;
  (void)out;
  return false;
#endif
}

// Long mode requires the FPU to be present, so the emulation bit is always clear there.
bool RealFpuEmulated() { return false; }

void RealSaveFpuState(uint8_t* area) {
#ifdef KORVANE_X86
  FpuArea aligned;
  std::memset(&aligned, 0, sizeof aligned);
  asm volatile("fxsave %0" : "=m"(aligned) : : "memory");
  std::memcpy(area, aligned.bytes, kOsFpuStateSize);
#else
  std::memset(area, 0, kOsFpuStateSize);
#endif
}

void RealLoadFpuState(const uint8_t* area) {
#ifdef KORVANE_X86
  FpuArea aligned;
  std::memcpy(aligned.bytes, area, kOsFpuStateSize);
  asm volatile("fxrstor %0"
               :
               : "m"(aligned)
               : "memory", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                 "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
#else
  (void)area;
#endif
}

const OsCpuBackend kRealCpu = {RealCpuid, RealFpuEmulated, RealSaveFpuState, RealLoadFpuState};
const OsCpuBackend* gCpu = &kRealCpu;

}  // namespace

void OsSetCpuBackend(const OsCpuBackend* backend) { gCpu = backend ? backend : &kRealCpu; }

bool OsCpuid(uint32_t leaf, OsCpuRegisters* out) {
  *out = OsCpuRegisters{};
  return gCpu->cpuid(leaf, out);
}

bool OsFpuEmulated() { return gCpu->fpuEmulated(); }

void OsSaveFpuState(uint8_t* area) { gCpu->saveFpuState(area); }

void OsLoadFpuState(const uint8_t* area) { gCpu->loadFpuState(area); }
