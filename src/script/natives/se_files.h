// The SE_ natives that reach the services below the script engine (92 to 96, 101 to 135, 141,
// 142, 147 to 149, 152 to 154): compiled patterns, XML values, files and folders, data
// signatures, and the engine's own debugging and statistics. Called by the SE_ dispatcher, and
// the unload of the script calls FreeScriptFilesAndExpressions. A name or pattern argument
// that is not a text is a failure, never a read.
#pragma once

#include <cstdint>

#include "script/natives/se_frame.h"

// Closes and frees every file still open under an SE_FOpen handle and every compiled
// expression of SE_RegComp; both registries are left empty. The records are these natives'
// own, so the script's unload hands them back here.
void FreeScriptFilesAndExpressions(ScriptEngine* engine);
// The expressions alone (defined with the pattern natives).
void FreeScriptExpressions(ScriptEngine* engine);

int32_t SE_RegComp(SECall* call);               // 92
int32_t SE_RegExec(SECall* call);               // 93
int32_t SE_RegSub(SECall* call);                // 94
int32_t SE_RegSubGlobal(SECall* call);          // 95
int32_t SE_RegFree(SECall* call);               // 96
int32_t SE_XMLExportValue(SECall* call);        // 101
int32_t SE_XMLImportValue(SECall* call);        // 102
int32_t SE_XMLImport(SECall* call);             // 103
int32_t SE_FOpen(SECall* call);                 // 104
int32_t SE_FClose(SECall* call);                // 105
int32_t SE_FPrintf(SECall* call);               // 106
int32_t SE_ReadFile(SECall* call);              // 107
int32_t SE_WriteFile(SECall* call);             // 108
int32_t SE_DeleteFile(SECall* call);            // 109
int32_t SE_MoveFile(SECall* call);              // 110
int32_t SE_FSize(SECall* call);                 // 111
int32_t SE_FTime(SECall* call);                 // 112
int32_t SE_GetDir(SECall* call);                // 113
int32_t SE_MakeDir(SECall* call);               // 114
int32_t SE_ChangeDir(SECall* call);             // 115
int32_t SE_DMprintf(SECall* call);              // 116
int32_t SE_Dprintf(SECall* call);               // 117
int32_t SE_Assert(SECall* call);                // 118
int32_t SE_Trace(SECall* call);                 // 119
int32_t SE_ExportPrivateInfo(SECall* call);     // 120
int32_t SE_SetProfiling(SECall* call);          // 121
int32_t SE_GetTaskPC(SECall* call);             // 122
int32_t SE_MemStatistics(SECall* call);         // 123
int32_t SE_TaskList(SECall* call);              // 124
int32_t SE_StackDump(SECall* call);             // 125
int32_t SE_CallStackDump(SECall* call);         // 126
int32_t SE_ShowCallStack(SECall* call);         // 127
int32_t SE_CallerNumber(SECall* call);          // 128
int32_t SE_CallerEngine(SECall* call);          // 129
int32_t SE_AutoDoc(SECall* call);               // 130
int32_t SE_DumpValues(SECall* call);            // 131
int32_t SE_AllocatedMem(SECall* call);          // 132
int32_t SE_AllocatedMemGeneral(SECall* call);   // 133
int32_t SE_DumpAllocatedObjects(SECall* call);  // 134
int32_t SE_Time(SECall* call);                  // 135
int32_t SE_SetMaxOpCount(SECall* call);         // 141
int32_t SE_SetDebugOutputFile(SECall* call);    // 142
int32_t SE_VerifyData(SECall* call);            // 147
int32_t SE_SignData(SECall* call);              // 148
int32_t SE_SignGameStats(SECall* call);         // 149
int32_t SE_UpdateStory(SECall* call);           // 152
int32_t SE_Enable(SECall* call);                // 153
int32_t SE_Disable(SECall* call);               // 154
