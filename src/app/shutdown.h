// The one way the process ends: ShutdownAndExit(code) with a message code (0 a normal end, 36
// the end of a benchmark run, anything else a failure). It saves the settings after a normal
// end, stops every service that exists in a fixed order, writes the benchmark log after a
// benchmark run, shows the code's message and ends the process. Called by start-up, the game
// loop, the message pump, the launcher and the save reader. Never returns; never reports
// success for a failure code. Beside it: ApplyDisplayChange for the settings dialog.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

constexpr uint32_t kShutdownNormal = 0;
constexpr uint32_t kShutdownFileNotFound = 1;
constexpr uint32_t kShutdownOutOfMemory = 3;
constexpr uint32_t kShutdownBenchmarkEnd = 36;
constexpr uint32_t kShutdownMessageCount = 40;

// The process exit status for a message code: 0 for the normal and benchmark ends, the code
// itself below 256, else 255, so a failed start never looks like success to a shell.
int ShutdownExitStatus(uint32_t code);

// The message of a code; a code without one gets a generic text with its number.
std::string ShutdownMessage(uint32_t code);
// What the closing message box shows for a code that is not 0 or 36: the message, and the
// failure detail in brackets behind it when there is one.
std::string ComposeShutdownText(uint32_t code, const char* detail);

[[noreturn]] void ShutdownAndExit(uint32_t code);

constexpr int kBenchmarkSceneNameCount = 4;
extern const char* const kBenchmarkSceneNames[kBenchmarkSceneNameCount];
constexpr const char* kBenchmarkLogNameFormat = "ulnarperf_%Y%m%d_%H%M%S.txt";

// The whole benchmark log for the local time `when`, and the log's file name.
std::string BenchmarkLogName(const std::tm& when);
std::string BenchmarkLogText();
// Writes the log into the user data folder; on success `resultText` gets the message-box text
// naming the log's full path. False (and nothing shown) when the file cannot be written.
bool WriteBenchmarkLog(const std::tm& when, std::string* resultText);

void ApplyDisplayChange();

// Test seam: forgets that a shutdown ran, so a test may run another in the same process.
void ResetShutdownState();
