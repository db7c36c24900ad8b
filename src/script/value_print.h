// Debug texts of script data: the readable text of any script value (containers included, with
// limits on nesting and on elements per container) and the debug address of a code position
// (running object, offset, method). Called by the script printf's "%a", the crash report and the
// error reports of the string pool, the text database and the tables. Only for debugging and
// errors; never on a per-frame path, and never endless: a container that holds itself prints.
#pragma once

#include <cstdint>

#include "script/engine.h"

// Makes dest (released first) a new string object holding the debug text of value and returns
// that text, owned by dest ("" when the string object cannot be made). depth and maxElements are
// signed counts; the printf passes 0x7FFFFFFF for both.
const char* FormatValueText(ScriptValue* dest, const ScriptValue* value, int32_t depth, int32_t maxElements);

// Writes the debug address ("#-5(12)[0001a4]12.Run") into out, a buffer of size bytes whose
// last byte is always a terminator, and returns out.
char* SE_GetDebugAddress(char* out, const ScriptEngine* engine, int32_t size, uint32_t codeOffset,
                         const ObjectInstance* object);
