// The byte-code interpreter: runs one task of the loaded script from its saved pc until it
// ends, waits in a native call or fails, over plain and fused opcodes, plus the element and
// addition operations the opcodes share with the natives. Called by the run-list pass, the
// calls into scripts and itself (launch). It never reads outside the code block or the task's
// stack: a malformed instruction ends its task as an error.
#pragma once

#include <cstdint>

#include "script/engine.h"

// 1: the task waits or is gone; 0: a native dispatcher returned 0 (it ended the calling task).
int32_t ExecuteByteCode(ScriptEngine* engine, ScriptTask* task);

void LoadElement(const ScriptValue* container, ScriptValue* index);
void StoreElementCopy(ScriptValue* container, const ScriptValue* index, const ScriptValue* value);
void StoreElementMove(ScriptValue* container, const ScriptValue* index, ScriptValue* value);
void AddValues(ScriptValue* a, const ScriptValue* b);
void AddIntToValue(ScriptValue* value, int32_t k);
