// The processor probe and the floating-point set-up: the feature mask the rest of the game
// reads, and the SSE control bits that keep denormal numbers from slowing the simulation.
// Called once at start-up by the game main; never writes an MXCSR bit the processor rejects.
#include <cstring>

#include "app/entry.h"
#include "core/system_block.h"
#include "platform/os.h"

namespace {

constexpr uint32_t kLeafVendor = 0;
constexpr uint32_t kLeafFeatures = 1;
constexpr uint32_t kLeafExtendedMax = 0x80000000u;
constexpr uint32_t kLeafExtendedFeatures = 0x80000001u;

// Standard feature word bits kept in place: CMOV to SSE2 (bit 20 is reserved) and HTT.
constexpr uint32_t kStandardKeptBits = 0x17FF8000u;
constexpr uint32_t kAmdKeptBits = 0xC0000000u;  // 3DNow! extensions, 3DNow!
constexpr uint32_t kAmdMmxExtBit = 1u << 22;

// XOR pattern written into the top word of XMM6 to see whether the state area round-trips.
constexpr uint32_t kSseStatePattern = 0xD95A34BEu;
constexpr size_t kSseProbeOffset = 268;

// MXCSR mask the processor assumes when the saved mask is 0: everything but DAZ.
constexpr uint32_t kDefaultMxcsrMask = 0xFFBF;
constexpr uint32_t kDazSupported = 0x40;

constexpr uint32_t kLevelSse3 = 8;
constexpr uint32_t kLevelSse2 = 4;
constexpr uint32_t kLevelSse = 2;
constexpr uint32_t kLevelMmx = 1;

uint32_t ReadWord(const uint8_t* area, size_t offset) {
  uint32_t value;
  std::memcpy(&value, area + offset, sizeof value);  // the processor's own memory layout
  return value;
}

void WriteWord(uint8_t* area, size_t offset, uint32_t value) {
  std::memcpy(area + offset, &value, sizeof value);
}

bool OperatingSystemSavesSseState() {
  alignas(16) uint8_t area[kOsFpuStateSize] = {};
  OsSaveFpuState(area);
  uint32_t old = ReadWord(area, kSseProbeOffset);
  WriteWord(area, kSseProbeOffset, old ^ kSseStatePattern);
  OsLoadFpuState(area);
  OsSaveFpuState(area);
  uint32_t back = ReadWord(area, kSseProbeOffset);
  WriteWord(area, kSseProbeOffset, old);
  OsLoadFpuState(area);
  return (back ^ old) == kSseStatePattern;
}

}  // namespace

uint32_t GetCpuFeatures() {
  OsCpuRegisters regs;
  if (!OsCpuid(kLeafVendor, &regs) || regs.eax == 0) return 0;
  uint32_t mask = 0;
  // "GenuineIntel" ends in "ntel", "AuthenticAMD" in "cAMD": the second byte of ECX tells.
  char vendor = static_cast<char>((regs.ecx >> 8) & 0xFF);
  if (vendor == 't') mask |= kCpuIntel;
  if (vendor == 'A') mask |= kCpuAmd;

  OsCpuid(kLeafFeatures, &regs);
  mask |= (regs.eax >> 4) & kCpuModelFamilyMask;
  if (regs.ecx & 1u) mask |= kCpuSse3;
  mask |= regs.edx & kStandardKeptBits;
  if (regs.edx & (1u << 0)) mask |= kCpuFpu;
  if (regs.edx & (1u << 4)) mask |= kCpuTsc;
  if (regs.edx & (1u << 8)) mask |= kCpuCmpxchg8;

  if (mask & kCpuAmd) {
    OsCpuid(kLeafExtendedMax, &regs);
    if (regs.eax >= kLeafExtendedFeatures) {
      OsCpuid(kLeafExtendedFeatures, &regs);
      mask |= regs.edx & kAmdKeptBits;
      if (regs.edx & kAmdMmxExtBit) mask |= kCpuAmdMmxExt;
    }
  }

  if ((mask & kCpuSse) && (mask & kCpuFxsr) && !OsFpuEmulated() && OperatingSystemSavesSseState()) {
    mask |= kCpuSseStateSaved;
  }
  return mask;
}

void SetMxcsrBit(int bit) {
  if (bit < 0 || bit > 31) return;
  alignas(16) uint8_t area[kOsFpuStateSize] = {};
  OsSaveFpuState(area);
  uint32_t allowed = ReadWord(area, kOsFpuStateMxcsrMask);
  if (allowed == 0) allowed = kDefaultMxcsrMask;
  // Loading a reserved bit faults the processor, so such a request changes nothing.
  if (!(allowed & (1u << bit))) return;
  WriteWord(area, kOsFpuStateMxcsr, ReadWord(area, kOsFpuStateMxcsr) | (1u << bit));
  OsLoadFpuState(area);
}

int SetupFloatingPoint() {
  uint32_t mask = GetCpuFeatures();
  if (mask == 0) return 0;

  bool denormalsAreZero = false;
  if (mask & kCpuFxsr) {
    alignas(16) uint8_t area[kOsFpuStateSize] = {};
    OsSaveFpuState(area);
    denormalsAreZero = (ReadWord(area, kOsFpuStateMxcsrMask) & kDazSupported) != 0;
  }
  // Without SSE there is no MXCSR to set, whatever the state area claims.
  if ((mask & kCpuSse) && (mask & kCpuFxsr)) {
    SetMxcsrBit(kMxcsrUnderflowMask);
    SetMxcsrBit(kMxcsrDenormalMask);
    SetMxcsrBit(kMxcsrFlushToZero);
    if (denormalsAreZero) SetMxcsrBit(kMxcsrDenormalsAreZero);
  }

  if (gSystem) {
    if (mask & kCpuSse3) {
      gSystem->processorFeatureLevel = kLevelSse3;
    } else if (mask & kCpuSse2) {
      gSystem->processorFeatureLevel = kLevelSse2;
    } else if (mask & kCpuSse) {
      gSystem->processorFeatureLevel = kLevelSse;
    } else if (mask & kCpuMmx) {
      gSystem->processorFeatureLevel = kLevelMmx;
    }
  }
  return 1;
}
