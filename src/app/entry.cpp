// The process entry and the message pump: WinMain turns the command line into the argument
// list the game main expects, applies the priority options and runs the game; PumpMessages
// hands the window messages to the window procedure once per frame and holds the game while
// the window is inactive. Called by main and the game loop; never returns from WinMain.
#include "app/entry.h"

#include <cstdio>

#include "app/shutdown.h"
#include "core/clock.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "platform/os.h"
#include "platform/window.h"

StartupBlock gStartup;

namespace {

constexpr const char* kLowPriorityOption = "-lowpri";
constexpr const char* kHighPriorityOption = "-highpri";

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

bool RunsInBackground() { return gInputState && (gInputState->flags & kInputRunInBackground); }

void Deliver(const OsMessage* message) {
  OsTranslateMessage(message);
  OsDispatchMessage(message);
}

// Takes every message already waiting; a quit message ends the process.
void DrainWaitingMessages() {
  OsMessage message;
  while (OsPeekMessage(&message, false)) {
    int got = OsGetMessage(&message);
    if (got == 0) ShutdownAndExit(kShutdownNormal);
    if (got < 0) return;
    Deliver(&message);
  }
}

// What runs until the game main takes over: the argument list, the processor and the clocks,
// printed so a run shows the foundation working.
void RunStartupReport(int argc, char** argv) {
  static SystemBlock standIn;
  if (!gSystem) {
    gSystem = &standIn;
    gSystem->secondTimeScale = 0x10000;
  }
  std::printf("Command line: argc %d\n", argc);
  for (int i = 0; i < argc; ++i) std::printf("  argv[%d] = \"%s\"\n", i, argv[i]);

  uint32_t features = GetCpuFeatures();
  int fpu = SetupFloatingPoint();
  std::printf("Processor: features 0x%08X (model %u, family %u)%s%s%s%s%s%s%s%s\n", features,
              features & 0xF, (features >> 4) & 0xF, (features & kCpuIntel) ? " Intel" : "",
              (features & kCpuAmd) ? " AMD" : "", (features & kCpuMmx) ? " MMX" : "",
              (features & kCpuSse) ? " SSE" : "", (features & kCpuSse2) ? " SSE2" : "",
              (features & kCpuSse3) ? " SSE3" : "", (features & kCpuFxsr) ? " FXSR" : "",
              (features & kCpuSseStateSaved) ? " SSE-state-saved" : "");
  std::printf("Floating point set-up: %d, feature level %u\n", fpu, gSystem->processorFeatureLevel);

  InitClock();
  std::printf("Clocks: real %u ms, game %u ms after start-up\n", gSystem->realTime, gSystem->gameTime);
  for (int frame = 1; frame <= 5; ++frame) {
    uint32_t until = GetMilliseconds() + 20;
    while (GetMilliseconds() < until) {
    }
    gSystem->frameCounter = frame;
    gSystem->realFrameStep = GetRealFrameStep();
    gSystem->frameStep = GetGameFrameStep();
    UpdateFrameRate();
    std::printf("  frame %d: real %u ms (step %u), game %u ms (step %u), %u fps\n", frame,
                gSystem->realTime, gSystem->realFrameStep, gSystem->gameTime, gSystem->frameStep,
                gSystem->frameRate);
  }
  std::fflush(stdout);
}

}  // namespace

int SplitCommandLine(char* commandLine, char* argv[kArgumentSlots]) {
  static char empty[] = "";
  static char program[] = "WinCalled";  // what the game main expects as its program name
  char* line = commandLine ? commandLine : empty;
  argv[0] = program;
  argv[1] = line;
  int argc = 2;
  for (char* c = line; *c != '\0' && argc < kMaxArgumentCount; ++c) {
    if (*c == ' ') {
      *c = '\0';
      argv[argc++] = c + 1;
    }
  }
  argv[argc] = nullptr;
  return argc;
}

void ApplyPriorityOptions(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    if (!argv[i]) continue;
    // Raising the priority may be refused without rights; the game runs on either way.
    if (EqualsIgnoringCase(argv[i], kLowPriorityOption)) OsSetProcessPriority(kOsPriorityIdle);
    if (EqualsIgnoringCase(argv[i], kHighPriorityOption)) OsSetProcessPriority(kOsPriorityHigh);
  }
}

void WinMain(uint32_t instance, uint32_t previousInstance, char* commandLine, int32_t showCommand) {
  // The system allocator needs no switching to a low-fragmentation mode here.
  gStartup = StartupBlock{};
  gStartup.instance = instance;
  gStartup.previousInstance = previousInstance;
  gStartup.commandLine = commandLine;
  gStartup.showCommand = showCommand;
  // Without a window nothing would ever activate the application, and the pump would wait
  // for ever.
  if (OsIsHeadless()) gStartup.appActive = 1;

  char* argv[kArgumentSlots];
  int argc = SplitCommandLine(commandLine, argv);
  ApplyPriorityOptions(argc, argv);

  RunStartupReport(argc, argv);
  ShutdownAndExit(kShutdownNormal);
}

void PumpMessages() {
  PollInput();
  OsMessage message;
  if (gStartup.appActive == 0 && !RunsInBackground()) {
    for (;;) {
      while (gStartup.appActive == 0) {
        int got = OsGetMessage(&message);
        if (got == 0) ShutdownAndExit(kShutdownNormal);
        // A queue that fails while waiting can never deliver the activation: stop waiting
        // rather than spin.
        if (got < 0) return;
        Deliver(&message);
      }
      DrainWaitingMessages();
      if (gStartup.appActive != 0) return;
    }
  }
  while (OsPeekMessage(&message, false)) {
    int got = OsGetMessage(&message);
    if (got == 0) continue;  // a quit message while active is dropped
    if (got < 0) return;
    Deliver(&message);
  }
}
