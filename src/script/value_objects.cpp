// ObjectExists: the one value query that resolves an object id, kept apart from value.cpp
// because it reaches the object lookup of the calls into scripts.
#include "script/engine.h"
#include "script/value.h"

int32_t ObjectExists(const ScriptValue* value) {
  if (value->type == kValueObject) return value->object && value->object->classRecord ? 1 : 0;
  if (value->type == kValueInt && value->i != 0) {
    return gScriptEngine && FindScriptObject(gScriptEngine, value->i) ? 1 : 0;
  }
  return 0;
}
