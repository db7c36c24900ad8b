// Crash handling and critical errors: the crash filter that, when a fault reaches nobody else,
// leaves "VexaCrash.log" (exception, place, user, the running story's call stack, a dump of the
// machine stack) and "VexaCrash.dmp" (registers and raw stack bytes) in the current folder (in the
// user's data folder when the current one cannot take them, never through a link), and the
// "Critical Error" box the game main shows before it ends. Called by the platform's fault handler
// (installed before the game's entry) and by the game main. The filter calls the memory manager
// only to find the user's data folder when the current folder failed, and never stops the
// process itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/crash_signals.h"

struct ObjectInstance;
struct ScriptValue;

// The stream the log is written through: whole lines, each ending in CR LF and written out at
// once. A stream whose file could not be opened is failed and writes nothing. Tests give it a
// sink instead of a file.
struct CrashStream {
  int file;
  std::string* sink;
  bool failed;
  size_t length;
  char line[512];
};

void CrashStreamOpen(CrashStream* stream, const char* name);
void CrashStreamToSink(CrashStream* stream, std::string* sink);
void CrashStreamClose(CrashStream* stream);
void CrashPut(CrashStream* stream, const char* text);
void CrashPutF(CrashStream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void CrashEndLine(CrashStream* stream);

const char* GetExceptionName(uint32_t code);

// The log's parts.
void DumpStoryStack(CrashStream* stream);
// One frame line: the frame's caller position (0 with no caller marker), its code position, the
// object running it and the values after its call marker (count then arguments; null when the
// frame has no marker), of which `available` exist on the stack.
void DumpScriptFrame(CrashStream* stream, uint32_t position, const ObjectInstance* object, uint32_t previousPosition,
                     const ScriptValue* previousValues, int64_t available);
void DumpMachineStack(CrashStream* stream, const void* start, size_t length);

// Writes both files for a fault; what the platform's handler calls.
void CrashExceptionFilter(const CrashContext* context);
// Installs the filter for the fault signals; the static initialiser of this unit does it before
// the game's entry, the game's start may do it again.
bool InstallCrashFilter();

constexpr char kCrashLogName[] = "VexaCrash.log";
constexpr char kCrashDumpName[] = "VexaCrash.dmp";

// Layout of "VexaCrash.dmp", big-endian: "KCDM", version, signal, signal code, exception code,
// code segment, then the instruction pointer, fault address and stack pointer (64-bit each),
// the register count and per register an 8-byte name and its 64-bit value, the stack byte count
// (32-bit) and the raw bytes from the stack pointer upwards, and "/KCD".
constexpr uint32_t kCrashDumpVersion = 1;
// The stack bytes kept in the dump; the log keeps all of them.
constexpr size_t kCrashDumpStackLimit = 1024 * 1024;

// Shows the "Critical Error" box with the text and returns when the user closed it.
void ShowCriticalError(const char* text);
