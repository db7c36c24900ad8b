// The game executable: joins the process's arguments into one command line, blank-separated as
// the entry expects it, and hands it to the entry, which never returns.
#include <string>
#include <vector>

#include "app/crash.h"
#include "app/entry.h"

int main(int argc, char** argv) {
  // Faults from here on leave the crash log and dump behind.
  InstallCrashFilter();
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  std::vector<char> commandLine(line.begin(), line.end());
  commandLine.push_back('\0');
  constexpr int32_t kShowNormal = 1;
  WinMain(0, 0, commandLine.data(), kShowNormal);
}
