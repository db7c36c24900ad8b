// The SE_ debugging, statistics and signature natives: the debug printfs (formatted and
// discarded), the engine's counters and task list, the calling task's facts, the operation
// limit, the debug output file name of the SystemBlock, data signatures and the natives kept
// only so old scripts still bind. Called by the SE_ dispatcher only. Nothing here prints, and
// every key, text and counter a script hands in is checked before it is read.
#include <cstring>

#include "core/memory.h"
#include "core/paths.h"
#include "core/signature.h"
#include "core/system_block.h"
#include "script/natives/se_files.h"
#include "script/natives/se_text.h"
#include "script/script_memory.h"

namespace {

constexpr int32_t kInfoTaskCount = 401;
constexpr int32_t kInfoFixedFigure = 402;
constexpr int32_t kInfoObjectCount = 403;
constexpr int32_t kFixedFigure = 5000;
constexpr char kUnknownObject[] = "unknown object";
constexpr char kUnknownFunction[] = "unknown function";

// Formats the printf of a debug native into a scratch block and drops it: there is no debug
// channel to send it to.
void FormatAndDiscard(SECall* call, int32_t formatIndex) {
  const char* format = SEArgText(call, formatIndex);
  if (!format) return;
  const ScriptValue* args = call->args + formatIndex + 1;
  int32_t argCount = call->argCount - formatIndex - 1;
  int32_t length = FormatScriptText(nullptr, format, args, argCount);
  if (length < 0 || length == INT32_MAX) return;
  auto size = static_cast<uint32_t>(length) + 1;
  char* text = static_cast<char*>(PoolAlloc(size, kPoolScratch, call->engine));
  if (!text) return;
  FormatScriptTextN(text, static_cast<int32_t>(size), format, args, argCount);
  PoolFree(kPoolScratch, text, call->engine, size);
}

// The method a code position belongs to over the object's class chain: the greatest code offset
// above 0 and not above pc (the first met among equals), and the class that holds it.
const MethodRecord* MethodAt(const ObjectInstance* object, uint32_t pc, int32_t* classId) {
  const MethodRecord* best = nullptr;
  const ScriptClassRecord* cls = object ? object->classRecord : nullptr;
  // The chain is short in any real script; the bound keeps a damaged chain from looping.
  for (int32_t depth = 0; cls && depth < 4096; cls = cls->super, ++depth) {
    for (uint32_t k = 0; k < cls->methodCount && cls->methods; ++k) {
      const MethodRecord* m = &cls->methods[k];
      if (m->codeOffset == 0 || m->codeOffset > pc) continue;
      if (!best || m->codeOffset > best->codeOffset) {
        best = m;
        *classId = cls->id;
      }
    }
  }
  return best;
}

void AppendTask(ScriptValue lists[3], int32_t i, const ScriptTask* task) {
  const ObjectInstance* object = task->thisObject;
  if (!object) {
    ArrayWriteInt(&lists[0], i, 0);
    ArrayWriteInt(&lists[1], i, 0);
    ArrayWriteString(&lists[2], i, kUnknownObject);
    return;
  }
  ArrayWriteInt(&lists[0], i, object->id);
  int32_t classId = 0;
  const MethodRecord* method = MethodAt(object, task->pc, &classId);
  if (!method) {
    ArrayWriteInt(&lists[1], i, object->id);
    ArrayWriteString(&lists[2], i, kUnknownFunction);
    return;
  }
  ArrayWriteInt(&lists[1], i, classId);
  ScriptValue name{};
  SetValuePoolString(&name, method->name);
  ArrayWrite(&lists[2], i, &name);
}

int32_t CountTasks(const TaskList* list) {
  int32_t n = 0;
  for (const TaskNode* node = list->head.succ; TaskNodeIsReal(node); node = node->succ) ++n;
  return n;
}

}  // namespace

// ---- Debug output -----------------------------------------------------------------------------

int32_t SE_DMprintf(SECall* call) {
  auto mask = static_cast<uint32_t>(SEArgInt(call, 0));
  if (mask != 0 && gSystem && (gSystem->scriptFlags & mask) != mask) return SEAnswerInt(call, 0);
  FormatAndDiscard(call, 1);
  return SEAnswerInt(call, 0);
}

int32_t SE_Dprintf(SECall* call) {
  FormatAndDiscard(call, 0);
  return SEAnswerInt(call, 0);
}

int32_t SE_SetDebugOutputFile(SECall* call) {
  const char* name = SEArgText(call, 0);
  if (!name) {
    if (gSystem) gSystem->outputFileName = FreeString(gSystem->outputFileName);
    return SEAnswerInt(call, 1);
  }
  if (!gSystem || gSystem->outputFileName) return SEAnswerInt(call, 0);
  const ScriptValue* flag = SEArgValue(call, 1);
  char* path = MakeFilePath(name, flag && ValueIsTrue(flag) ? 1 : 0);
  if (!path) return SEAnswerInt(call, 0);
  gSystem->outputFileName = path;
  return SEAnswerInt(call, 1);
}

// ---- Natives without an effect ----------------------------------------------------------------

int32_t SE_Assert(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_Trace(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_SetProfiling(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_StackDump(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_CallStackDump(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_ShowCallStack(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_AutoDoc(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_DumpValues(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_DumpAllocatedObjects(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_SignData(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_UpdateStory(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_Enable(SECall* call) { return SEAnswerInt(call, SEArgInt(call, 0)); }
int32_t SE_Disable(SECall* call) { return SEAnswerInt(call, SEArgInt(call, 0)); }

// ---- Engine facts -----------------------------------------------------------------------------

int32_t SE_ExportPrivateInfo(SECall* call) {
  const ScriptEngine* engine = call->engine;
  switch (SEArgInt(call, 0)) {
    case kInfoTaskCount:
      return SEAnswerInt(call, engine ? static_cast<int32_t>(HashCount(engine->tasks)) : 0);
    case kInfoFixedFigure:
      return SEAnswerInt(call, kFixedFigure);
    case kInfoObjectCount:
      return SEAnswerInt(call, engine ? static_cast<int32_t>(engine->classCount + HashCount(engine->instances)) : 0);
    default:
      return SEAnswerInt(call, 0);
  }
}

int32_t SE_GetTaskPC(SECall* call) {
  const ScriptTask* task = SEHasArg(call, 0) ? FindTask(call->engine, SEArgInt(call, 0)) : nullptr;
  return SEAnswerInt(call, task ? static_cast<int32_t>(task->pc) : 0);
}

int32_t SE_MemStatistics(SECall* call) {
  if (!call->engine) return SEAnswerInt(call, 0);
  // The figures are taken before the answer's own arrays are counted.
  const PoolStatistics figures = call->engine->statistics;
  ScriptValue kinds{};
  if (!AllocArrayValue(&kinds, kPoolKindCount)) return SEAnswerInt(call, 0);
  for (int32_t k = 0; k < kPoolKindCount; ++k) {
    ScriptValue row{};
    if (!AllocArrayValue(&row, 5)) continue;
    ArrayWriteString(&row, 0, "");
    ArrayWriteInt(&row, 1, figures.currentBytes[k]);
    ArrayWriteInt(&row, 2, figures.peakBytes[k]);
    ArrayWriteInt(&row, 3, figures.currentBlocks[k]);
    ArrayWriteInt(&row, 4, figures.peakBlocks[k]);
    ArrayWrite(&kinds, k, &row);
    ReleaseValue(&row);
  }
  return SEAnswerValue(call, &kinds);
}

int32_t SE_TaskList(SECall* call) {
  ScriptEngine* engine = call->engine;
  if (!engine) return SEAnswerInt(call, 0);
  int32_t n = CountTasks(&engine->runList) + CountTasks(&engine->waitList);
  ScriptValue lists[3]{};
  for (ScriptValue& list : lists) AllocArrayValue(&list, n);
  int32_t i = 0;
  for (const TaskList* list : {&engine->runList, &engine->waitList}) {
    for (const TaskNode* node = list->head.succ; TaskNodeIsReal(node) && i < n; node = node->succ) {
      AppendTask(lists, i++, static_cast<const ScriptTask*>(node));
    }
  }
  ScriptValue answer{};
  if (AllocArrayValue(&answer, 3)) {
    for (int32_t k = 0; k < 3; ++k) ArrayWrite(&answer, k, &lists[k]);
  }
  for (ScriptValue& list : lists) ReleaseValue(&list);
  if (answer.type != kValueArray) return SEAnswerInt(call, 0);
  return SEAnswerValue(call, &answer);
}

int32_t SE_CallerNumber(SECall* call) { return SEAnswerInt(call, static_cast<int32_t>(call->task->cookie)); }
int32_t SE_CallerEngine(SECall* call) { return SEAnswerInt(call, call->task->callerModule); }

int32_t SE_AllocatedMem(SECall* call) { return SEAnswerInt(call, static_cast<int32_t>(MemGetCurrentBytes())); }

int32_t SE_AllocatedMemGeneral(SECall* call) {
  return SEAnswerInt(call, static_cast<int32_t>(MemGetDefaultCategoryBytes()));
}

int32_t SE_Time(SECall* call) { return SEAnswerInt(call, static_cast<int32_t>(CurrentTimeSeconds())); }

int32_t SE_SetMaxOpCount(SECall* call) {
  if (SEHasArg(call, 0) && call->engine) {
    call->engine->opLimit = SEArgInt(call, 0);
    call->engine->opCount = 0;
  }
  return SEAnswerInt(call, 0);
}

// ---- Signatures -------------------------------------------------------------------------------

int32_t SE_VerifyData(SECall* call) {
  const char* data = SEArgText(call, 0);
  const char* signature = SEArgText(call, 1);
  ScriptValue* key = SEArgArray(call, 2);
  int32_t keyLength = key ? GetArraySize(key) : 0;
  if (call->argCount != 3 || !data || !*data || !signature || !*signature || keyLength < 1)
    return SEAnswerInt(call, 0);
  auto* keyBytes = static_cast<uint8_t*>(PoolAlloc(static_cast<uint32_t>(keyLength), kPoolScratch, call->engine));
  if (!keyBytes) return SEAnswerInt(call, 0);
  for (int32_t k = 0; k < keyLength; ++k) {
    const ScriptValue* element = ArrayElementPtr(key, k);
    keyBytes[k] = static_cast<uint8_t>(element && element->type == kValueInt ? element->u & 0xFF : 0);
  }
  int32_t hashLength = 0;
  size_t dataLength = std::strlen(data), signatureLength = std::strlen(signature);
  char* hash = nullptr;
  if (dataLength <= INT32_MAX && signatureLength <= INT32_MAX) {
    hash = VerifyDataSignature(data, static_cast<int32_t>(dataLength), signature, static_cast<int32_t>(signatureLength),
                               keyBytes, keyLength, &hashLength);
  }
  PoolFree(kPoolScratch, keyBytes, call->engine, static_cast<uint32_t>(keyLength));
  if (!hash) return SEAnswerInt(call, 0);
  if (hashLength > 0) SEAnswerTextN(call, hash, hashLength);
  else SEAnswerInt(call, 0);
  MemFree(hash, static_cast<size_t>(hashLength) + 1, 0);
  return 1;
}

int32_t SE_SignGameStats(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (call->argCount != 1 || !text || !*text) return SEAnswerInt(call, 0);
  const ScriptEngine* engine = call->engine;
  // Only a story that is what the manifest signed may sign what it reports.
  if (!engine || !engine->storyCopy || (engine->flags & kEngineStoryNotVerified) ||
      engine->storyLength > INT32_MAX ||
      !VerifyStoryFileSignature(engine->storyCopy, static_cast<int32_t>(engine->storyLength)))
    return SEAnswerText(call, "");
  size_t length = std::strlen(text);
  if (length > INT32_MAX) return SEAnswerInt(call, 0);
  int32_t signatureLength = 0;
  char* signature = SignData(text, static_cast<int32_t>(length), &signatureLength);
  if (!signature) return SEAnswerInt(call, 0);
  SEAnswerTextN(call, signature, signatureLength);
  MemFree(signature, static_cast<size_t>(signatureLength) + 1, 0);
  return 1;
}
