// The platform side of crash handling: handlers for the fault signals (segment and bus faults,
// arithmetic faults, illegal instructions, breakpoints) that run on an alternate stack, take the
// faulting thread's registers from its signal context and hand them to the application's crash
// filter; then the handling that was in place before (the system's default, or a debugging
// tool's) takes over, so the process still ends as it would have. Beside it, the few
// async-signal-safe services the filter writes its files with. Called by the application's crash
// unit only. Nothing here allocates while a fault is handled.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kCrashRegisterCount = 18;

struct CrashContext {
  uint32_t exceptionCode;      // the code of the matching fault kind, as the crash log names it
  int32_t signal;
  int32_t signalCode;
  uint16_t codeSegment;
  uint64_t instructionPointer;
  uint64_t stackPointer;
  uint64_t stackEnd;           // upper end of the faulting thread's stack; 0 when unknown
  uint64_t faultAddress;
  const char* registerNames[kCrashRegisterCount];
  uint64_t registers[kCrashRegisterCount];
};

// Exception codes the fault signals map to.
constexpr uint32_t kCrashAccessViolation = 0xC0000005;
constexpr uint32_t kCrashBreakpoint = 0x80000003;
constexpr uint32_t kCrashFloatDivideByZero = 0xC000008E;
constexpr uint32_t kCrashIntegerDivideByZero = 0xC0000094;
constexpr uint32_t kCrashFloatInexact = 0xC000008F;
constexpr uint32_t kCrashFloatInvalid = 0xC0000090;
constexpr uint32_t kCrashFloatOverflow = 0xC0000091;
constexpr uint32_t kCrashFloatUnderflow = 0xC0000093;
constexpr uint32_t kCrashIntegerOverflow = 0xC0000095;
constexpr uint32_t kCrashIllegalInstruction = 0xC000001D;

using CrashFilter = void (*)(const CrashContext* context);

// Installs `filter` for the fault signals on an alternate stack of the calling thread, which
// becomes the thread whose stack extent the dumps know. Installing again replaces the filter.
bool OsInstallCrashFilter(CrashFilter filter);

// The exception code of a fault signal and its sub-code (si_code).
uint32_t OsCrashExceptionCode(int signal, int signalCode);

// Async-signal-safe file writing for the filter: a new or emptied file, a descriptor or -1.
// With writeThrough every write reaches the disk before it returns.
int OsCrashCreateFile(const char* name, bool writeThrough);
bool OsCrashWrite(int file, const void* bytes, size_t length);
void OsCrashCloseFile(int file);

// The executable's full path into out (at most size - 1 bytes, always terminated); "" when
// unknown.
void OsCrashExecutablePath(char* out, size_t size);
// The name of the user running the process, read at install time; "" when unknown.
const char* OsCrashUserName();
// The local date and time now in the runtime's ctime form: "Thu Dec 10 13:18:58 2026\n"
// (25 characters and a terminator; out holds at least 26 bytes).
void OsCrashTimeText(char* out);

// Copies n bytes of the machine stack (or any mapped memory) without the memory checkers'
// complaints about the frames' guard areas.
void OsCrashCopyRaw(void* dest, const void* source, size_t n);
