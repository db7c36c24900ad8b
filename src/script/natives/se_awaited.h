// Services of the script engine that the SE_ library calls and whose own units are not in the
// tree yet: the debug text of a value (value printing) and the method lookup by name (calls
// into scripts); FindScriptObject, declared in script/engine.h, belongs with the latter. They
// are declared here under their own names and given a working least form in
// se_awaited_stub.cpp; when a unit arrives with its header, its declarations leave this file
// and its part of the stub file goes.
#pragma once

#include <cstdint>

#include "script/engine.h"
#include "script/value.h"

// Makes dest (released first) a new string object holding the value's debug text and returns
// that text (owned by dest); depth and maxElements bound the containers shown.
const char* FormatValueText(ScriptValue* dest, const ScriptValue* value, int32_t depth, int32_t maxElements);

// True when the object exists, its class has methods, and the class or one of its super
// classes has an own method of that name.
bool ScriptMethodExists(ScriptEngine* engine, int32_t objectId, const char* name);
