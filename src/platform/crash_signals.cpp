// Fault signals to the crash filter: sigaltstack + sigaction, the register capture from the
// signal context, and the plain-descriptor writes the filter uses. Called by the application's
// crash unit. While a fault is handled nothing here allocates or takes a lock; a watchdog alarm
// ends the process should the filter itself ever stall.
#include "platform/crash_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/os.h"

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr int kFaultSignalCount = sizeof kFaultSignals / sizeof kFaultSignals[0];
// The filter formats script values and walks the machine stack; sanitizer builds need far more
// stack for that than plain ones.
constexpr size_t kAltStackSize = 512 * 1024;
// Writing both files takes well under a second even for a deep stack; past this the filter is
// taken to hang.
constexpr unsigned kWatchdogSeconds = 20;

alignas(16) char gAltStack[kAltStackSize];
CrashFilter gFilter = nullptr;
bool gInstalled = false;
struct sigaction gPrevious[kFaultSignalCount];
volatile sig_atomic_t gInFilter = 0;
uintptr_t gStackLow = 0;
uintptr_t gStackHigh = 0;
char gUserName[256];

void RecordStackExtent() {
  gStackLow = gStackHigh = 0;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
  void* base = nullptr;
  size_t size = 0;
  if (pthread_attr_getstack(&attr, &base, &size) == 0 && base) {
    gStackLow = reinterpret_cast<uintptr_t>(base);
    gStackHigh = gStackLow + size;
  }
  pthread_attr_destroy(&attr);
}

void RecordUserName() {
  gUserName[0] = 0;
  std::string name;
  if (OsGetUserName(&name)) {
    std::strncpy(gUserName, name.c_str(), sizeof gUserName - 1);
    gUserName[sizeof gUserName - 1] = 0;
  }
}

void RestorePrevious() {
  for (int k = 0; k < kFaultSignalCount; ++k) sigaction(kFaultSignals[k], &gPrevious[k], nullptr);
}

void FillRegisters(CrashContext* context, const void* signalContext) {
  static const char* const kNames[kCrashRegisterCount] = {"rax", "rbx", "rcx", "rdx", "rsi", "rdi",
                                                          "rbp", "rsp", "r8",  "r9",  "r10", "r11",
                                                          "r12", "r13", "r14", "r15", "rip", "eflags"};
  for (int k = 0; k < kCrashRegisterCount; ++k) {
    context->registerNames[k] = kNames[k];
    context->registers[k] = 0;
  }
#if defined(__x86_64__)
  const auto* uc = static_cast<const ucontext_t*>(signalContext);
  if (!uc) return;
  const greg_t* g = uc->uc_mcontext.gregs;
  static const int kIndexes[kCrashRegisterCount] = {REG_RAX, REG_RBX, REG_RCX, REG_RDX, REG_RSI, REG_RDI,
                                                    REG_RBP, REG_RSP, REG_R8,  REG_R9,  REG_R10, REG_R11,
                                                    REG_R12, REG_R13, REG_R14, REG_R15, REG_RIP, REG_EFL};
  for (int k = 0; k < kCrashRegisterCount; ++k) context->registers[k] = static_cast<uint64_t>(g[kIndexes[k]]);
  context->codeSegment = static_cast<uint16_t>(g[REG_CSGSFS] & 0xFFFF);
  context->instructionPointer = static_cast<uint64_t>(g[REG_RIP]);
  context->stackPointer = static_cast<uint64_t>(g[REG_RSP]);
#else
  (void)signalContext;
#endif
}

void FaultHandler(int signal, siginfo_t* info, void* signalContext) {
  // Whatever the filter meets, the process must not stay: the alarm's default action ends it.
  struct sigaction alarmDefault {};
  alarmDefault.sa_handler = SIG_DFL;
  sigaction(SIGALRM, &alarmDefault, nullptr);
  alarm(kWatchdogSeconds);

  int code = info ? info->si_code : 0;
  if (!gInFilter && gFilter) {
    gInFilter = 1;
    CrashContext context{};
    context.signal = signal;
    context.signalCode = code;
    context.exceptionCode = OsCrashExceptionCode(signal, code);
    context.faultAddress = info ? reinterpret_cast<uint64_t>(info->si_addr) : 0;
    FillRegisters(&context, signalContext);
    if (context.stackPointer >= gStackLow && context.stackPointer < gStackHigh) context.stackEnd = gStackHigh;
    gFilter(&context);
  }
  RestorePrevious();
  alarm(0);
  // A fault of the instruction itself comes again when the handler returns and then meets the
  // earlier handling; a breakpoint or a sent signal does not, so it is sent once more.
  if (signal == SIGTRAP || code <= 0) raise(signal);
}

}  // namespace

uint32_t OsCrashExceptionCode(int signal, int signalCode) {
  switch (signal) {
    case SIGSEGV:
    case SIGBUS: return kCrashAccessViolation;
    case SIGTRAP: return kCrashBreakpoint;
    case SIGILL: return kCrashIllegalInstruction;
    case SIGFPE:
      switch (signalCode) {
        case FPE_INTDIV: return kCrashIntegerDivideByZero;
        case FPE_INTOVF: return kCrashIntegerOverflow;
        case FPE_FLTDIV: return kCrashFloatDivideByZero;
        case FPE_FLTOVF: return kCrashFloatOverflow;
        case FPE_FLTUND: return kCrashFloatUnderflow;
        case FPE_FLTRES: return kCrashFloatInexact;
        default: return kCrashFloatInvalid;
      }
    default: return 0;
  }
}

bool OsInstallCrashFilter(CrashFilter filter) {
  gFilter = filter;
  RecordStackExtent();
  RecordUserName();
  stack_t stack{};
  stack.ss_sp = gAltStack;
  stack.ss_size = sizeof gAltStack;
  stack.ss_flags = 0;
  if (sigaltstack(&stack, nullptr) != 0) return false;
  struct sigaction action {};
  action.sa_sigaction = FaultHandler;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int k = 0; k < kFaultSignalCount; ++k) {
    // Only the first install keeps what was there before; a second one must not keep itself.
    if (sigaction(kFaultSignals[k], &action, gInstalled ? nullptr : &gPrevious[k]) != 0) return false;
  }
  gInstalled = true;
  gInFilter = 0;
  return true;
}

int OsCrashCreateFile(const char* name, bool writeThrough) {
  if (!name) return -1;
  // Never through a symbolic link: a link put in the file's place would have the crash overwrite
  // whatever it points to.
  return open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | (writeThrough ? O_SYNC : 0), 0644);
}

bool OsCrashWrite(int file, const void* bytes, size_t length) {
  if (file < 0) return false;
  const char* p = static_cast<const char*>(bytes);
  while (length > 0) {
    ssize_t n = write(file, p, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

void OsCrashCloseFile(int file) {
  if (file >= 0) close(file);
}

void OsCrashExecutablePath(char* out, size_t size) {
  if (!out || size == 0) return;
  ssize_t n = readlink("/proc/self/exe", out, size - 1);
  out[n > 0 ? n : 0] = 0;
}

const char* OsCrashUserName() { return gUserName; }

void OsCrashTimeText(char* out) {
  static const char kDays[] = "SunMonTueWedThuFriSat";
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  int year = local.tm_year + 1900;
  char* p = out;
  std::memcpy(p, kDays + 3 * (local.tm_wday % 7), 3);
  p += 3;
  *p++ = ' ';
  std::memcpy(p, kMonths + 3 * (local.tm_mon % 12), 3);
  p += 3;
  *p++ = ' ';
  auto two = [&p](int v, char pad) {
    *p++ = v >= 10 ? char('0' + v / 10 % 10) : pad;
    *p++ = char('0' + v % 10);
  };
  two(local.tm_mday, ' ');
  *p++ = ' ';
  two(local.tm_hour, '0');
  *p++ = ':';
  two(local.tm_min, '0');
  *p++ = ':';
  two(local.tm_sec, '0');
  *p++ = ' ';
  two(year / 100 % 100, '0');
  two(year % 100, '0');
  *p++ = '\n';
  *p = 0;
}

__attribute__((no_sanitize("address"))) void OsCrashCopyRaw(void* dest, const void* source, size_t n) {
  auto* d = static_cast<volatile unsigned char*>(dest);
  const auto* s = static_cast<const volatile unsigned char*>(source);
  for (size_t k = 0; k < n; ++k) d[k] = s[k];
}
