// The SE_ task, object and value natives (50 to 59, 138, 139): task ids and killing, object
// and class queries, value types and the number conversion. Called by the SE_ dispatcher only.
// A native never touches the calling task after it may have ended it.
#pragma once

#include <cstdint>

#include "script/natives/se_frame.h"

int32_t SE_GetTaskID(SECall* call);             // 50
int32_t SE_TaskExists(SECall* call);            // 51
int32_t SE_KillTask(SECall* call);              // 52
int32_t SE_ObjectExists(SECall* call);          // 53
int32_t SE_ObjectFunctionExists(SECall* call);  // 54
int32_t SE_GetClass(SECall* call);              // 55
int32_t SE_IsClass(SECall* call);               // 56
int32_t SE_GetSuperClass(SECall* call);         // 57
int32_t SE_GetExprType(SECall* call);           // 58
int32_t SE_IsString(SECall* call);              // 59
int32_t SE_ToInt(SECall* call);                 // 138
int32_t SE_GetNum(SECall* call);                // 139
