// Ending the process. Until the services it must stop exist, a shutdown marks the application
// active (so no pump waits any more) and leaves with the status the code maps to. Called from
// anywhere on the game thread; never returns.
#include "app/shutdown.h"

#include "app/entry.h"
#include "platform/os.h"

int ShutdownExitStatus(uint32_t code) {
  if (code == kShutdownNormal || code == kShutdownBenchmarkEnd) return 0;
  return code < 256 ? static_cast<int>(code) : 255;
}

void ShutdownAndExit(uint32_t code) {
  gStartup.appActive = 1;
  OsExitProcess(ShutdownExitStatus(code));
}
