// The one way the process ends: ShutdownAndExit(code) with a message code (0 a normal end, 36
// the end of a benchmark run, anything else a failure). Called by start-up, the game loop, the
// message pump and the launcher. Never returns; never reports success for a failure code.
#pragma once

#include <cstdint>

constexpr uint32_t kShutdownNormal = 0;
constexpr uint32_t kShutdownBenchmarkEnd = 36;

// The process exit status for a message code: 0 for the normal and benchmark ends, the code
// itself below 256, else 255, so a failed start never looks like success to a shell.
int ShutdownExitStatus(uint32_t code);

[[noreturn]] void ShutdownAndExit(uint32_t code);
