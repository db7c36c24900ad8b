// Value debug texts and debug addresses. The text is measured in one pass and written in a
// second into a scratch block of exactly that size; both passes make the same choices, so the
// write never passes the measure. A container already being printed on the current path, a
// nesting deeper than the printer's own limit, or a text past its size budget prints as
// "{...}" / "[...]", so self-holding or huge structures end instead of running out of stack.
#include "script/value_print.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "script/containers.h"
#include "script/script_calls.h"

namespace {

constexpr int32_t kMaxNesting = 200;
constexpr size_t kTextBudget = size_t(1) << 20;
constexpr const char* kInvalidName = "**invalid string in SE_GetDebugAddress**";

struct TextWriter {
  char* out;  // null while measuring
  size_t length;
  const void* path[kMaxNesting];
  int32_t pathDepth;
};

void Put(TextWriter* w, const char* text, size_t n) {
  if (w->out) std::memcpy(w->out + w->length, text, n);
  w->length += n;
}

void Put(TextWriter* w, const char* text) { Put(w, text, std::strlen(text)); }

void PutF(TextWriter* w, const char* format, ...) __attribute__((format(printf, 2, 3)));
void PutF(TextWriter* w, const char* format, ...) {
  char buffer[64];
  va_list arguments;
  va_start(arguments, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (n < 0) return;
  Put(w, buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}

bool OnPath(const TextWriter* w, const void* container) {
  for (int32_t k = 0; k < w->pathDepth; ++k)
    if (w->path[k] == container) return true;
  return false;
}

// No further expansion: the limits are used up, the container is its own ancestor, or the text
// is already as long as a debug text may grow.
bool Exhausted(const TextWriter* w, const void* container, int32_t depth, int32_t maxElements) {
  return depth <= 0 || maxElements <= 0 || w->pathDepth >= kMaxNesting || w->length >= kTextBudget ||
         OnPath(w, container);
}

void WriteValue(TextWriter* w, const ScriptValue* value, int32_t depth, int32_t maxElements);

void WriteArray(TextWriter* w, const ScriptArray* array, int32_t depth, int32_t maxElements) {
  if (!array) return Put(w, "NULLa");
  if (array->size == 0) return Put(w, "{}");
  if (Exhausted(w, array, depth, maxElements)) return Put(w, "{...}");
  int32_t count = array->size < 0 ? -array->size : array->size;
  int32_t shown = count < maxElements ? count : maxElements;
  Put(w, "{");
  w->path[w->pathDepth++] = array;
  // The budget also ends the elements: many shared texts would otherwise grow the text past
  // any block, however shallow the nesting.
  int32_t k = 0;
  for (; k < shown && w->length < kTextBudget; ++k) {
    if (k) Put(w, ",");
    // A planned array has no elements yet; each will start as integer 0.
    if (array->size < 0 || !array->elements) Put(w, "0");
    else WriteValue(w, &array->elements[k], depth - 1, maxElements);
  }
  --w->pathDepth;
  if (k < count) Put(w, ",...");
  Put(w, "}");
}

void WriteTable(TextWriter* w, const ScriptValue* value, int32_t depth, int32_t maxElements) {
  const ScriptTable* table = value->table;
  int32_t count = table ? int32_t(table->count) : 0;
  int32_t shown = count < maxElements ? count : maxElements;
  if (shown == 0) return Put(w, "[]");
  if (Exhausted(w, table, depth, maxElements)) return Put(w, "[...]");
  Put(w, "[");
  w->path[w->pathDepth++] = table;
  const TableEntry* entry = TableNext(value, nullptr);
  int32_t k = 0;
  for (; k < shown && entry && w->length < kTextBudget; ++k) {
    if (k) Put(w, ",");
    const ScriptValue key = TableEntryKey(entry), data = TableEntryData(entry);
    WriteValue(w, &key, depth - 1, maxElements);
    Put(w, ":");
    WriteValue(w, &data, depth - 1, maxElements);
    entry = TableNext(value, &key);
  }
  --w->pathDepth;
  if (shown < count || (k < shown && entry)) Put(w, ",...");
  Put(w, "]");
}

void WriteCodeAddress(TextWriter* w, uint32_t offset) {
  if (offset == 0) return Put(w, "[000000]");
  ScriptEngine* engine = gScriptEngine;
  int32_t classId = -1;
  uint32_t nameId = 0;
  FindCodeLocation(engine, offset, &classId, &nameId);
  PutF(w, "[%06x]", offset);
  if (classId != 0) PutF(w, "%d.", classId);
  Put(w, SB_String(engine, nameId));
  Put(w, "()");
}

void WriteValue(TextWriter* w, const ScriptValue* value, int32_t depth, int32_t maxElements) {
  switch (value->type) {
    case kValueInt:
      return PutF(w, "%d", value->i);
    case kValuePoolString:
      Put(w, "'");
      Put(w, SB_String(gScriptEngine, value->u));
      return Put(w, "'");
    case kValueString:
      Put(w, "\"");
      if (value->string && value->string->text) Put(w, value->string->text);
      return Put(w, "\"");
    case kValueDouble:
      return PutF(w, "%g", ValueDouble(value));
    case kValueInt64:
      return PutF(w, "%" PRId64, ValueInt64(value));
    case kValueObject:
      if (!value->object) return Put(w, "<object null>");
      return PutF(w, "<object %d>", value->object->id);
    case kValueCodeAddress:
      return WriteCodeAddress(w, value->u);
    case kValueArray:
      return WriteArray(w, value->array, depth, maxElements);
    case kValueTable:
      return WriteTable(w, value, depth, maxElements);
    default:
      return PutF(w, "<type %d>", value->type);
  }
}

}  // namespace

const char* FormatValueText(ScriptValue* dest, const ScriptValue* value, int32_t depth, int32_t maxElements) {
  ScriptEngine* engine = gScriptEngine;
  TextWriter writer{};
  WriteValue(&writer, value, depth, maxElements);
  uint32_t size = uint32_t(writer.length + 1);
  char* text = static_cast<char*>(PoolAlloc(size, kPoolScratch, engine));
  if (!text) {
    SetValueInt(dest, 0);
    return "";
  }
  writer = TextWriter{};
  writer.out = text;
  WriteValue(&writer, value, depth, maxElements);
  text[writer.length] = '\0';
  // The text is complete before dest is touched: value may be owned through dest.
  SetValueString(dest, text);
  PoolFree(kPoolScratch, text, engine, size);
  const char* result = GetValueString(dest);
  return result ? result : "";
}

char* SE_GetDebugAddress(char* out, const ScriptEngine* engine, int32_t size, uint32_t codeOffset,
                         const ObjectInstance* object) {
  if (!out || size <= 0) return out;
  size_t capacity = size_t(size);
  size_t used = 0;
  auto append = [&](const char* format, auto... arguments) {
    if (used + 1 >= capacity) return;
    int n = std::snprintf(out + used, capacity - used, format, arguments...);
    if (n > 0) used += size_t(n) < capacity - used ? size_t(n) : capacity - used - 1;
  };
  out[0] = '\0';
  if (object) {
    append("#%d", object->id);
    if (object->id < 0 && object->classRecord) append("(%d)", object->classRecord->id);
  }
  append("[%06x]", codeOffset);
  int32_t classId = -1;
  uint32_t nameId = 0;
  if (FindCodeLocation(engine, codeOffset, &classId, &nameId)) append("%d.", classId);
  bool valid = engine && nameId != 0 && nameId < engine->stringPoolSize;
  append("%s", valid ? SB_String(engine, nameId) : kInvalidName);
  out[capacity - 1] = '\0';
  return out;
}
