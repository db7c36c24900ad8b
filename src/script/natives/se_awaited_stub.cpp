// The least working form of the services se_awaited.h declares, until value printing and the
// calls into scripts arrive with their own units: the object lookup by id, the method lookup by
// name over a class chain, and the debug text of a value with its bounds on depth and
// elements. Called by the SE_ library and the value queries.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "core/hash_table.h"
#include "script/containers.h"
#include "script/natives/se_awaited.h"

ObjectInstance* FindScriptObject(ScriptEngine* engine, int32_t id) {
  if (!engine) return nullptr;
  if (id < 0) {
    if (!engine->instances) return nullptr;
    return reinterpret_cast<ObjectInstance*>(HashGet(engine->instances, ~static_cast<uint32_t>(id)));
  }
  // Class records are sorted by id.
  uint32_t low = 0, high = engine->classes ? engine->classCount : 0;
  while (low < high) {
    uint32_t mid = low + (high - low) / 2;
    int32_t midId = engine->classes[mid].id;
    if (midId == id) return &engine->classes[mid];
    if (midId < id) low = mid + 1;
    else high = mid;
  }
  return nullptr;
}

bool ScriptMethodExists(ScriptEngine* engine, int32_t objectId, const char* name) {
  ObjectInstance* object = FindScriptObject(engine, objectId);
  if (!object || !object->classRecord || !name || object->classRecord->mergedMethodCount == 0) return false;
  for (const ScriptClassRecord* c = object->classRecord; c; c = c->super) {
    // Own methods are sorted by their names' text.
    uint32_t low = 0, high = c->methods ? c->methodCount : 0;
    while (low < high) {
      uint32_t mid = low + (high - low) / 2;
      int32_t order = CompareTextToMethodName(engine, name, &c->methods[mid]);
      if (order == 0) return true;
      if (order > 0) low = mid + 1;
      else high = mid;
    }
  }
  return false;
}

static void AppendValueText(std::string* out, const ScriptValue* value, int32_t depth, int32_t maxElements);

static void AppendArray(std::string* out, const ScriptValue* value, int32_t depth, int32_t maxElements) {
  const ScriptArray* array = value->array;
  if (!array) {
    *out += "NULLa";
    return;
  }
  int32_t size = array->size < 0 ? -array->size : array->size;
  if (size == 0) {
    *out += "{}";
    return;
  }
  if (depth <= 0 || maxElements <= 0) {
    *out += "{...}";
    return;
  }
  int32_t shown = size < maxElements ? size : maxElements;
  *out += '{';
  for (int32_t k = 0; k < shown; ++k) {
    if (k) *out += ',';
    if (array->size < 0 || !array->elements) *out += '0';
    else AppendValueText(out, &array->elements[k], depth - 1, maxElements);
  }
  if (shown < size) *out += ",...";
  *out += '}';
}

static void AppendTable(std::string* out, const ScriptValue* value, int32_t depth, int32_t maxElements) {
  int32_t count = value->table ? static_cast<int32_t>(value->table->count) : 0;
  int32_t shown = count < maxElements ? count : maxElements;
  if (maxElements >= 0 && shown <= 0) {
    *out += "[]";
    return;
  }
  if (depth <= 0 || maxElements <= 0) {
    *out += "[...]";
    return;
  }
  *out += '[';
  int32_t k = 0;
  for (const TableEntry* e = TableNext(value, nullptr); e && k < shown; e = TableNext(value, &e->key), ++k) {
    if (k) *out += ',';
    AppendValueText(out, &e->key, depth - 1, maxElements);
    *out += ':';
    AppendValueText(out, &e->data, depth - 1, maxElements);
  }
  if (shown < count) *out += ",...";
  *out += ']';
}

static void AppendValueText(std::string* out, const ScriptValue* value, int32_t depth, int32_t maxElements) {
  char line[64];
  switch (value->type) {
    case kValueInt:
      std::snprintf(line, sizeof line, "%d", value->i);
      break;
    case kValuePoolString:
    case kValueString: {
      const char* text = GetValueString(value);
      char quote = value->type == kValuePoolString ? '\'' : '"';
      *out += quote;
      *out += text ? text : "";
      *out += quote;
      return;
    }
    case kValueDouble:
      std::snprintf(line, sizeof line, "%g", ValueDouble(value));
      break;
    case kValueInt64:
      std::snprintf(line, sizeof line, "%" PRId64, ValueInt64(value));
      break;
    case kValueObject:
      if (value->object) std::snprintf(line, sizeof line, "<object %d>", value->object->id);
      else std::snprintf(line, sizeof line, "<object null>");
      break;
    case kValueCodeAddress:
      std::snprintf(line, sizeof line, "[%06x]", value->u);
      break;
    case kValueArray:
      AppendArray(out, value, depth, maxElements);
      return;
    case kValueTable:
      AppendTable(out, value, depth, maxElements);
      return;
    default:
      std::snprintf(line, sizeof line, "<type %d>", value->type);
      break;
  }
  *out += line;
}

const char* FormatValueText(ScriptValue* dest, const ScriptValue* value, int32_t depth, int32_t maxElements) {
  // A container that holds itself must still end: nesting is shown no deeper than this.
  constexpr int32_t kDeepest = 64;
  if (depth > kDeepest) depth = kDeepest;
  std::string text;
  if (value) AppendValueText(&text, value, depth, maxElements);
  SetValueString(dest, text.c_str());
  return dest->type == kValueString ? GetValueString(dest) : "";
}
