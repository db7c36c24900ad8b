// The SE_ module's dispatcher frame: the name table the byte code binds to (index = function
// number), the table of natives in the same order, DispatchSENative, and the answer helpers
// every native uses. Called through the module table (SE_Dispatch) by the interpreter. The
// frame never lets a native see more arguments than the task's stack holds, and it answers
// every call at once: a number without a native answers integer 0.
#include <cstdint>

#include "script/natives/se_containers.h"
#include "script/natives/se_files.h"
#include "script/natives/se_frame.h"
#include "script/natives/se_math.h"
#include "script/natives/se_tasks.h"
#include "script/natives/se_text.h"

// Every native in function-number order; the byte code binds by these names.
#define SE_NATIVE_LIST(X)                                                                           \
  X(SE_XMLImportText) X(SE_ReadText) X(SE_ExistsText) X(SE_LoadText) X(SE_LoadTextPage)         \
  X(SE_GetLanguage) X(SE_FreeText) X(SE_StringLen) X(SE_StringNumChars) X(SE_StringNextCharPos)   \
  /* 10 */ X(SE_StringPrevCharPos) X(SE_StringReadChar) X(SE_StringWriteChar) X(SE_StringStr)   \
  X(SE_StringChr) X(SE_StringRChr) X(SE_StringSub) X(SE_StringToInt) X(SE_StringSplit)            \
  X(SE_StringSubst)                                                                                 \
  /* 20 */ X(SE_SPrintf) X(SE_VSPrintf) X(SE_strcmp) X(SE_stricmp) X(SE_CTime) X(SE_TimeString)  \
  X(SE_ArrayAlloc) X(SE_ArraySize) X(SE_ArrayRead) X(SE_ArrayWrite)                               \
  /* 30 */ X(SE_ArrayCopy) X(SE_ArrayClone) X(SE_ArraySubClone) X(SE_ArrayInsert)               \
  X(SE_ArrayAppend) X(SE_ArrayRemove) X(SE_ArrayResize) X(SE_TableAlloc) X(SE_TableSize)          \
  X(SE_TableNew)                                                                                    \
  /* 40 */ X(SE_TableAdd) X(SE_TableFind) X(SE_TableExists) X(SE_TableNext) X(SE_TableRemove)    \
  X(SE_TableKeys) X(SE_TableData) X(SE_TableRandomKey) X(SE_TableNumberedKey) X(SE_TableClone)    \
  /* 50 */ X(SE_GetTaskID) X(SE_TaskExists) X(SE_KillTask) X(SE_ObjectExists)                    \
  X(SE_ObjectFunctionExists) X(SE_GetClass) X(SE_IsClass) X(SE_GetSuperClass) X(SE_GetExprType)   \
  X(SE_IsString)                                                                                    \
  /* 60 */ X(SE_LinFunc) X(SE_SmoothInterpolate) X(SE_LogFunc) X(SE_ExpFunc) X(SE_LinFuncSum)    \
  X(SE_CubicPoly) X(SE_GGT) X(SE_KGV) X(SE_Distance3) X(SE_DistanceA3)                            \
  /* 70 */ X(SE_DistanceAA) X(SE_IsPosInRangeA) X(SE_IsPosInRange3) X(SE_CompressRangeData)      \
  X(SE_MulFix) X(SE_DivFix) X(SE_MulDivFix) X(SE_Sqrt) X(SE_Sin) X(SE_Cos)                        \
  /* 80 */ X(SE_Random) X(SE_RandomLowNorm) X(SE_GetRotMatrixFromAngles)                         \
  X(SE_GetAnglesFromRotMatrix) X(SE_GetAnglesFromVector) X(SE_MatrixMultiplySelfRight)            \
  X(SE_MatrixMultiplySelfLeft) X(SE_MatrixMultiply) X(SE_MatrixMultiplyInv) X(SE_RotateVector)    \
  /* 90 */ X(SE_RotateVectorInv) X(SE_ScriptComputeExpression) X(SE_RegComp) X(SE_RegExec)       \
  X(SE_RegSub) X(SE_RegSubGlobal) X(SE_RegFree) X(SE_StringXMLEncode) X(SE_StringXMLEscape)       \
  X(SE_StringXMLQueryDecode)                                                                        \
  /* 100 */ X(SE_StringXMLQueryToUTF8) X(SE_XMLExportValue) X(SE_XMLImportValue) X(SE_XMLImport) \
  X(SE_FOpen) X(SE_FClose) X(SE_FPrintf) X(SE_ReadFile) X(SE_WriteFile) X(SE_DeleteFile)          \
  /* 110 */ X(SE_MoveFile) X(SE_FSize) X(SE_FTime) X(SE_GetDir) X(SE_MakeDir) X(SE_ChangeDir)    \
  X(SE_DMprintf) X(SE_Dprintf) X(SE_Assert) X(SE_Trace)                                           \
  /* 120 */ X(SE_ExportPrivateInfo) X(SE_SetProfiling) X(SE_GetTaskPC) X(SE_MemStatistics)       \
  X(SE_TaskList) X(SE_StackDump) X(SE_CallStackDump) X(SE_ShowCallStack) X(SE_CallerNumber)       \
  X(SE_CallerEngine)                                                                                \
  /* 130 */ X(SE_AutoDoc) X(SE_DumpValues) X(SE_AllocatedMem) X(SE_AllocatedMemGeneral)          \
  X(SE_DumpAllocatedObjects) X(SE_Time) X(SE_QSortByName) X(SE_QSortByInt) X(SE_ToInt)            \
  X(SE_GetNum)                                                                                      \
  /* 140 */ X(SE_CalcGalaxyEscortOffset) X(SE_SetMaxOpCount) X(SE_SetDebugOutputFile)            \
  X(SE_StringCat) X(SE_ConvertFormatString) X(SE_ConvertTextString) X(SE_StringMul)               \
  X(SE_VerifyData) X(SE_SignData) X(SE_SignGameStats)                                             \
  /* 150 */ X(SE_SaveAllTexts) X(SE_LoadAllTexts) X(SE_UpdateStory) X(SE_Enable) X(SE_Disable)

#define SE_NATIVE_NAME(name) #name,
#define SE_NATIVE_ENTRY(name) name,

const char* const kSENativeNames[] = {SE_NATIVE_LIST(SE_NATIVE_NAME) nullptr};

static const SENative kSENatives[] = {SE_NATIVE_LIST(SE_NATIVE_ENTRY)};

#undef SE_NATIVE_ENTRY
#undef SE_NATIVE_NAME
#undef SE_NATIVE_LIST

static_assert(sizeof(kSENatives) / sizeof(kSENatives[0]) == kSENativeCount, "one native per function number");
static_assert(sizeof(kSENativeNames) / sizeof(kSENativeNames[0]) == kSENativeCount + 1, "names end with null");

SENative SENativeFor(int32_t function) {
  if (function < 0 || function >= kSENativeCount) return nullptr;
  return kSENatives[function];
}

// The arguments a call may read: never fewer than 0, and when they lie on the task's own
// stack never more than the slots up to its top, whatever count the caller claims.
static int32_t ReadableArgCount(const ScriptTask* task, const ScriptValue* args, int32_t argCount) {
  if (!args || argCount <= 0) return 0;
  if (task && task->stackTop && task->stackSize) {
    const ScriptValue* bottom = task->stackTop - task->stackSize;
    if (args >= bottom && args < task->stackTop) {
      int64_t room = task->stackTop - args;
      if (argCount > room) return static_cast<int32_t>(room);
    }
  }
  return argCount;
}

int32_t DispatchSENative(ScriptEngine* engine, int32_t seModuleIndex, ScriptTask* task, int32_t function,
                         int32_t argCount, ScriptValue* args) {
  if (!task) return 1;  // nobody to answer
  SECall call{engine ? engine : gScriptEngine, seModuleIndex, task, ReadableArgCount(task, args, argCount), args};
  SENative native = SENativeFor(function);
  if (!native) return SEAnswerInt(&call, 0);
  return native(&call);
}

// ---------------------------------------------------------------------------------------------
// Answers

int32_t SEAnswerInt(SECall* call, int32_t value) {
  ReturnInt(call->task, call->engine, value);
  return 1;
}

int32_t SEAnswerText(SECall* call, const char* text) {
  ReturnString(call->task, call->engine, text ? text : "");
  return 1;
}

int32_t SEAnswerTextN(SECall* call, const char* text, int32_t length) {
  if (!text || length < 0) length = 0;
  ReturnStringN(call->task, call->engine, text ? text : "", length);
  return 1;
}

int32_t SEAnswerValue(SECall* call, ScriptValue* value) {
  ReturnValue(call->task, call->engine, value);
  return 1;
}

int32_t SEAnswerCopy(SECall* call, const ScriptValue* value) {
  if (!value) return SEAnswerInt(call, 0);
  ScriptValue copy{};
  CopyValue(&copy, value);
  return SEAnswerValue(call, &copy);
}
