// The process command line, read from the process's own argument record and joined with blanks.
#include "platform/command_line.h"

#include <cstdio>
#include <string>

const char* OsGetCommandLine() {
  static const std::string line = [] {
    std::string joined;
    std::FILE* file = std::fopen("/proc/self/cmdline", "rb");
    if (!file) return joined;
    // The record holds the arguments one after another, each ended by a NUL byte.
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) joined += c == 0 ? ' ' : static_cast<char>(c);
    std::fclose(file);
    while (!joined.empty() && joined.back() == ' ') joined.pop_back();
    return joined;
  }();
  return line.c_str();
}
