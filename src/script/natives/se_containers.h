// The SE_ array and table natives (26 to 49) and the sorts (136, 137): whole-array copies and
// clones, insertion and removal, table iteration by key and by position, key and data lists,
// table clones. Called by the SE_ dispatcher only. None of them grows a destination it was not
// asked to grow, and every index and range is checked against the container before use.
#pragma once

#include <cstdint>

#include "script/natives/se_frame.h"

int32_t SE_ArrayAlloc(SECall* call);        // 26
int32_t SE_ArraySize(SECall* call);         // 27
int32_t SE_ArrayRead(SECall* call);         // 28
int32_t SE_ArrayWrite(SECall* call);        // 29
int32_t SE_ArrayCopy(SECall* call);         // 30
int32_t SE_ArrayClone(SECall* call);        // 31
int32_t SE_ArraySubClone(SECall* call);     // 32
int32_t SE_ArrayInsert(SECall* call);       // 33
int32_t SE_ArrayAppend(SECall* call);       // 34
int32_t SE_ArrayRemove(SECall* call);       // 35
int32_t SE_ArrayResize(SECall* call);       // 36
int32_t SE_TableAlloc(SECall* call);        // 37
int32_t SE_TableSize(SECall* call);         // 38
int32_t SE_TableNew(SECall* call);          // 39
int32_t SE_TableAdd(SECall* call);          // 40
int32_t SE_TableFind(SECall* call);         // 41
int32_t SE_TableExists(SECall* call);       // 42
int32_t SE_TableNext(SECall* call);         // 43
int32_t SE_TableRemove(SECall* call);       // 44
int32_t SE_TableKeys(SECall* call);         // 45
int32_t SE_TableData(SECall* call);         // 46
int32_t SE_TableRandomKey(SECall* call);    // 47
int32_t SE_TableNumberedKey(SECall* call);  // 48
int32_t SE_TableClone(SECall* call);        // 49
int32_t SE_QSortByName(SECall* call);       // 136
int32_t SE_QSortByInt(SECall* call);        // 137
