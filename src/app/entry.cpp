// The process entry and the message pump: WinMain turns the command line into the argument
// list the game main expects, applies the priority options and runs the game; PumpMessages
// hands the window messages to the window procedure once per frame and holds the game while
// the window is inactive. Called by main and the game loop; never returns from WinMain.
#include "app/entry.h"

#include "app/game_main.h"
#include "app/general_init.h"
#include "app/shutdown.h"
#include "app/steering_host.h"
#include "core/memory.h"
#include "devices/input.h"
#include "frontend/location.h"
#include "platform/os.h"
#include "platform/window.h"

StartupBlock gStartup;

namespace {

// What the input devices use of the process: its active flag, the controller settings and the
// way out when the window is closed.
const InputHost kInputHost = {
    &gStartup.appActive, &gStartup.joystick, &gStartup.forceFeedbackGain, &gStartup.joystickDeadZone,
    [](int32_t code) { ShutdownAndExit(code); }, nullptr, &gStartup.joystickSensitivity,
};

// What the location module uses of the process: its end, the message pump and the clock step.
const LocationHost kLocationHost = {
    [](uint32_t code) { ShutdownAndExit(code); }, PumpMessages, UpdateFrameTimes,
};

constexpr const char* kLowPriorityOption = "-lowpri";
constexpr const char* kHighPriorityOption = "-highpri";

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
    if (TextEqualsIgnoringCase(argv[i], kLowPriorityOption)) OsSetProcessPriority(kOsPriorityIdle);
    if (TextEqualsIgnoringCase(argv[i], kHighPriorityOption)) OsSetProcessPriority(kOsPriorityHigh);
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
  InputSetHost(&kInputHost);
  LocationSetHost(&kLocationHost);
  InstallSteeringHost();
  OsSetWindowProcedure(MainWindowDispatch);

  char* argv[kArgumentSlots];
  int argc = SplitCommandLine(commandLine, argv);
  ApplyPriorityOptions(argc, argv);

  RunGameMain(argc, argv);
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
