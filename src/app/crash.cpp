// The crash filter and its log and dump writers, and the critical-error box. Called by the
// platform's fault handler on the faulting thread, and by the game main. The filter writes
// through fixed buffers straight to its files; it only reads the script engine, and never trusts
// a pointer of it further than the registries and the task's own stack extent vouch for.
#include "app/crash.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/entry.h"
#include "core/byte_order.h"
#include "core/memory.h"
#include "core/paths.h"
#include "platform/os.h"
#include "platform/message_box.h"
#include "script/engine.h"
#include "script/script_calls.h"
#include "script/value_print.h"

namespace {

constexpr char kRule[] = "======================================";
constexpr int kStackBytesPerLine = 32;
constexpr int kStackGroup = 4;
constexpr int32_t kFrameValueDepth = 1;
constexpr int32_t kFrameValueElements = 16;
constexpr size_t kExecutablePathSize = 1024;

void Emit(CrashStream* stream, const char* bytes, size_t length) {
  if (stream->failed || length == 0) return;
  if (stream->sink) {
    stream->sink->append(bytes, length);
  } else if (!OsCrashWrite(stream->file, bytes, length)) {
    stream->failed = true;
  }
}

void FlushLine(CrashStream* stream) {
  Emit(stream, stream->line, stream->length);
  stream->length = 0;
}

// True when `task` is one of the engine's registered tasks; compares pointers only, so a stale
// current-task pointer is never followed.
bool IsRegisteredTask(const ScriptEngine* engine, const ScriptTask* task) {
  const HashTable* table = engine->tasks;
  if (!table || !table->buckets) return false;
  for (uint32_t b = 0; b < table->bucketCount; ++b) {
    uint32_t seen = 0;
    for (const HashEntry* e = table->buckets[b]; e && seen <= table->entryCount; e = e->next, ++seen) {
      if (e->value == reinterpret_cast<HashValue>(task)) return true;
    }
  }
  return false;
}

// The method name of a code position, or null when the position is in no method or its name is
// not a text of the string pool.
const char* MethodNameAt(const ScriptEngine* engine, uint32_t position, int32_t* classId) {
  uint32_t nameId = 0;
  // A return position points past its call, at code of the same method: a method never ends
  // with a call, since its last instruction returns.
  const MethodRecord* method = FindCodeLocation(engine, position, classId, &nameId);
  if (!method || !engine->stringPool || nameId == 0 || nameId >= engine->stringPoolSize) return nullptr;
  const char* name = engine->stringPool + nameId;
  if (!std::memchr(name, 0, engine->stringPoolSize - nameId)) return nullptr;
  return name;
}

bool IsFrameMarker(const ScriptValue* slot, const ScriptValue* lowest) {
  return slot->type == kValueCodeAddress && slot > lowest && slot[-1].type == kValueObject;
}

// 64-bit value, big-endian, as two words.
void Store64(unsigned char* p, uint64_t value) {
  StoreBE32(p, uint32_t(value >> 32));
  StoreBE32(p + 4, uint32_t(value));
}

// Where the last crash file went when the current folder could not take it (empty: it did).
char gCrashFallbackPath[1024] = {};

// A crash file in the current folder; when that cannot be written (a read-only folder, a folder or
// a link in the file's place) the same name in the user's data folder, whose host path is kept.
int CreateCrashFile(const char* name, bool writeThrough) {
  const int file = OsCrashCreateFile(name, writeThrough);
  if (file >= 0) return file;
  char* gamePath = MakeFilePath(name, 1);
  char host[sizeof gCrashFallbackPath];
  int fallback = -1;
  if (gamePath && OsResolvePath(gamePath, true, host, sizeof host)) {
    fallback = OsCrashCreateFile(host, writeThrough);
    if (fallback >= 0) std::snprintf(gCrashFallbackPath, sizeof gCrashFallbackPath, "%s", host);
  }
  FreeString(gamePath);
  return fallback;
}

void WriteDump(const CrashContext* context) {
  int file = CreateCrashFile(kCrashDumpName, true);
  if (file < 0) return;
  unsigned char head[4 + 4 * 6 + 8 * 3 + 4];
  std::memcpy(head, "KCDM", 4);
  StoreBE32(head + 4, kCrashDumpVersion);
  StoreBE32(head + 8, uint32_t(context->signal));
  StoreBE32(head + 12, uint32_t(context->signalCode));
  StoreBE32(head + 16, context->exceptionCode);
  StoreBE32(head + 20, context->codeSegment);
  Store64(head + 24, context->instructionPointer);
  Store64(head + 32, context->faultAddress);
  Store64(head + 40, context->stackPointer);
  StoreBE32(head + 48, kCrashRegisterCount);
  bool ok = OsCrashWrite(file, head, 52);
  for (int k = 0; ok && k < kCrashRegisterCount; ++k) {
    unsigned char entry[16] = {};
    const char* name = context->registerNames[k] ? context->registerNames[k] : "";
    std::strncpy(reinterpret_cast<char*>(entry), name, 8);
    Store64(entry + 8, context->registers[k]);
    ok = OsCrashWrite(file, entry, sizeof entry);
  }
  uint64_t length = 0;
  if (context->stackEnd > context->stackPointer) length = context->stackEnd - context->stackPointer;
  if (length > kCrashDumpStackLimit) length = kCrashDumpStackLimit;
  unsigned char count[4];
  StoreBE32(count, uint32_t(length));
  ok = ok && OsCrashWrite(file, count, 4);
  const auto* from = reinterpret_cast<const unsigned char*>(context->stackPointer);
  unsigned char chunk[4096];
  for (uint64_t done = 0; ok && done < length;) {
    size_t n = length - done < sizeof chunk ? size_t(length - done) : sizeof chunk;
    OsCrashCopyRaw(chunk, from + done, n);
    ok = OsCrashWrite(file, chunk, n);
    done += n;
  }
  if (ok) OsCrashWrite(file, "/KCD", 4);
  OsCrashCloseFile(file);
}

// Installed before the game's entry runs, so a fault in any later start-up step is caught.
struct CrashFilterInstaller {
  CrashFilterInstaller() { InstallCrashFilter(); }
} gCrashFilterInstaller;

}  // namespace

void CrashStreamOpen(CrashStream* stream, const char* name) {
  stream->sink = nullptr;
  stream->length = 0;
  // Each line is written as it ends; only the dump is written through to the disk.
  stream->file = CreateCrashFile(name, false);
  stream->failed = stream->file < 0;
}

void CrashStreamToSink(CrashStream* stream, std::string* sink) {
  stream->sink = sink;
  stream->file = -1;
  stream->length = 0;
  stream->failed = sink == nullptr;
}

void CrashStreamClose(CrashStream* stream) {
  FlushLine(stream);
  if (!stream->sink) OsCrashCloseFile(stream->file);
  stream->file = -1;
  stream->failed = true;
}

void CrashPut(CrashStream* stream, const char* text) {
  if (!text) return;
  for (; *text; ++text) {
    if (stream->length == sizeof stream->line) FlushLine(stream);
    stream->line[stream->length++] = *text;
  }
}

void CrashPutF(CrashStream* stream, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  CrashPut(stream, text);
}

void CrashEndLine(CrashStream* stream) {
  CrashPut(stream, "\r\n");
  FlushLine(stream);
}

const char* GetExceptionName(uint32_t code) {
  switch (code) {
    case 0xC0000005: return "Access violation";
    case 0x80000003: return "Unhandled breakpoint";
    case 0xC000008E: return "Floating point division by zero";
    case 0xC0000094: return "Integer division by zero";
    default: return "Unknown exception";
  }
}

void DumpScriptFrame(CrashStream* stream, uint32_t position, const ObjectInstance* object, uint32_t previousPosition,
                     const ScriptValue* previousValues, int64_t available) {
  const ScriptEngine* engine = gScriptEngine;
  CrashPutF(stream, "[%06x]->[%06x]", previousPosition, position);
  int32_t classId = -1;
  const char* name = engine ? MethodNameAt(engine, position, &classId) : nullptr;
  if (object) {
    int32_t id = object->id;
    if (id < 0) {
      const ScriptClassRecord* record = object->classRecord;
      CrashPutF(stream, "#%d(%d)[%d].", id, record ? record->id : -1, classId);
    } else if (id > 0) {
      CrashPutF(stream, "#%d[%d].", id, classId);
    }
  }
  CrashPut(stream, name ? name : "<invalid function name>");
  CrashPut(stream, "(");
  bool counted = previousValues && available >= 1 && previousValues[0].type == kValueInt &&
                 previousValues[0].i >= 0 && previousValues[0].i < available;
  if (!counted) {
    CrashPut(stream, "<invalid num args>");
  } else {
    for (int32_t k = 0; k < previousValues[0].i; ++k) {
      if (k) CrashPut(stream, ", ");
      ScriptValue text{};
      const char* shown = FormatValueText(&text, &previousValues[1 + k], kFrameValueDepth, kFrameValueElements);
      CrashPut(stream, shown);
      ReleaseValue(&text);
    }
  }
  CrashPut(stream, ")");
  CrashEndLine(stream);
}

void DumpStoryStack(CrashStream* stream) {
  ScriptEngine* engine = gScriptEngine;
  if (!engine) {
    CrashPut(stream, "Story Engine not active");
    CrashEndLine(stream);
    return;
  }
  ScriptTask* task = engine->currentTask;
  if (!task || !IsRegisteredTask(engine, task)) {
    CrashPut(stream, "No story task running");
    CrashEndLine(stream);
    return;
  }
  CrashPut(stream, "Story call stack dump:");
  CrashEndLine(stream);
  // The walk stays inside the task's stack: from its base down to its top slot, whatever the
  // slots hold.
  const ScriptValue* base = task->stackTop;
  bool sane = base && task->sp <= 0 && int64_t(-task->sp) <= int64_t(task->stackSize);
  const ScriptValue* lowest = sane ? base + task->sp : base;
  const ScriptValue* marker = nullptr;  // the call marker of the frame being walked
  if (sane) {
    for (const ScriptValue* slot = base - 1; slot >= lowest; --slot) {
      if (!IsFrameMarker(slot, lowest)) continue;
      // Each marker after the first is the return position into the frame above it, and the
      // object below it is the one that frame runs on.
      if (marker && slot->u != 0) {
        DumpScriptFrame(stream, slot->u, slot[-1].object, marker->u, marker + 1, base - (marker + 1));
      } else if (marker) {
        // A zero return position inside the stack belongs to no caller frame of this task.
        continue;
      }
      marker = slot;
    }
  }
  if (marker) {
    DumpScriptFrame(stream, task->pc, task->thisObject, marker->u, marker + 1, base - (marker + 1));
  } else {
    DumpScriptFrame(stream, task->pc, task->thisObject, 0, nullptr, 0);
  }
}

void DumpMachineStack(CrashStream* stream, const void* start, size_t length) {
  static const char kHex[] = "0123456789abcdef";
  CrashPut(stream, "Stack dump:");
  CrashEndLine(stream);
  const auto* bytes = static_cast<const unsigned char*>(start);
  for (size_t offset = 0; offset < length; offset += kStackBytesPerLine) {
    unsigned char row[kStackBytesPerLine];
    size_t n = length - offset < size_t(kStackBytesPerLine) ? length - offset : size_t(kStackBytesPerLine);
    OsCrashCopyRaw(row, bytes + offset, n);
    char text[kStackBytesPerLine * 4 + 32];
    size_t t = 0;
    for (int k = 0; k < kStackBytesPerLine; ++k) {
      if (size_t(k) < n) {
        text[t++] = kHex[row[k] >> 4];
        text[t++] = kHex[row[k] & 0xF];
      } else {
        text[t++] = '-';
        text[t++] = '-';
      }
      if (k % kStackGroup == kStackGroup - 1) text[t++] = ' ';
    }
    text[t++] = ' ';
    text[t++] = ' ';
    for (size_t k = 0; k < n; ++k) {
      text[t++] = row[k] >= 0x20 && row[k] <= 0x7E ? char(row[k]) : '.';
      if (k % kStackGroup == kStackGroup - 1) text[t++] = ' ';
    }
    text[t] = 0;
    CrashPut(stream, text);
    CrashEndLine(stream);
  }
  CrashEndLine(stream);
  CrashEndLine(stream);
}

void CrashExceptionFilter(const CrashContext* context) {
  char path[kExecutablePathSize] = {};
  OsCrashExecutablePath(path, sizeof path);
  const char* user = OsCrashUserName();
  const char* name = GetExceptionName(context->exceptionCode);
  char when[32];
  OsCrashTimeText(when);
  size_t whenLength = std::strlen(when);
  if (whenLength && when[whenLength - 1] == '\n') when[whenLength - 1] = 0;

  gCrashFallbackPath[0] = 0;
  CrashStream stream;
  CrashStreamOpen(&stream, kCrashLogName);
  CrashPut(&stream, kRule);
  CrashEndLine(&stream);
  CrashPut(&stream, "Crash event occurred on ");
  CrashPut(&stream, when);
  CrashEndLine(&stream);
  CrashPut(&stream, path);
  CrashEndLine(&stream);
  // Addresses are 64-bit here: all 16 digits, so none is ever cut.
  CrashPutF(&stream, "The exception \"%s\" (0x%08x) was caused at address %04x:%016llx", name,
            context->exceptionCode, unsigned(context->codeSegment),
            static_cast<unsigned long long>(context->instructionPointer));
  CrashEndLine(&stream);
  CrashEndLine(&stream);
  CrashPut(&stream, "Process owned by user: ");
  CrashPut(&stream, user ? user : "");
  CrashEndLine(&stream);
  CrashEndLine(&stream);
  DumpStoryStack(&stream);
  CrashEndLine(&stream);
  if (context->stackEnd > context->stackPointer && context->stackPointer != 0) {
    DumpMachineStack(&stream, reinterpret_cast<const void*>(context->stackPointer),
                     size_t(context->stackEnd - context->stackPointer));
  } else {
    CrashPut(&stream, "WARNING: failed to generate stack dump!");
    CrashEndLine(&stream);
  }
  CrashPut(&stream, kRule);
  CrashEndLine(&stream);
  CrashEndLine(&stream);
  CrashEndLine(&stream);
  CrashStreamClose(&stream);

  WriteDump(context);
  // Whoever reads the console must be able to find the files that did not go where they usually do.
  if (gCrashFallbackPath[0]) {
    char* slash = std::strrchr(gCrashFallbackPath, '/');
    if (slash) *slash = 0;
    std::fprintf(stderr, "Crash files written to the user data folder: %s\n", gCrashFallbackPath);
  }
}

bool InstallCrashFilter() { return OsInstallCrashFilter(CrashExceptionFilter); }

void ShowCriticalError(const char* text) {
  OsHideWindow(gStartup.mainWindow);
  std::string message = "A critical error has occurred and Vexa cannot recover:\n";
  message += text ? text : "";
  message += "\n\nPlease inform Korvane technical support.";
  OsMessageBox(message.c_str(), "Critical Error", kOsBoxIconError);
}
