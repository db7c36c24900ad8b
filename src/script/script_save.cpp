// Writing and reading the script state section. Records are made in a first pass under their
// saved ids and filled in a second, so values can name any record whatever the order. Instance
// records get their class only in the second instance block; until then they carry a pending
// class that makes them live objects, so references held by arrays, tables, statics and earlier
// instances survive the round trip. Every count, size, stack pointer and code offset read is checked against what it
// indexes, and a failed read takes back everything it made before it reports the failure.
#include "script/script_save.h"

#include <cmath>
#include <cstring>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "script/containers.h"
#include "script/loader.h"
#include "script/script_calls.h"

namespace {

// Largest string, array and stack a save may bring back; beyond these the data is corrupt.
constexpr uint32_t kMaxSavedTextLength = 64u << 20;
constexpr uint32_t kMaxSavedElements = 1u << 24;
constexpr uint8_t kOpNativeCall = 130;
constexpr uint8_t kOpFirstCall = 132;
constexpr uint8_t kOpLastCall = 136;
constexpr uint32_t kCallInstructionSize = 5;

ScriptStoreLoader gLoader = LoadScriptStore;

// ---------------------------------------------------------------------------------------------
// Stream words

bool PutBytes(FileObject* f, const void* bytes, size_t n) { return FileWriteBytes(f, bytes, n) == n; }

bool PutU32(FileObject* f, uint32_t v) {
  uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  return PutBytes(f, b, 4);
}

bool PutU16(FileObject* f, uint16_t v) {
  uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
  return PutBytes(f, b, 2);
}

bool PutTag(FileObject* f, const char* tag, uint32_t count) { return PutBytes(f, tag, 4) && PutU32(f, count); }

// A reader remembers its first failure; every read after it gives 0.
struct Reader {
  FileObject* file;
  ScriptEngine* engine;
  bool ok;
};

// The class of an instance record between the two instance blocks: it makes the record a live
// object for the references read before its own entry, and owns no method, field or code.
ScriptClassRecord gPendingClass;

bool GetBytes(Reader* r, void* out, size_t n) {
  if (!r->ok) return false;
  if (FileReadBytes(r->file, out, n) != n) r->ok = false;
  return r->ok;
}

uint32_t GetU32(Reader* r) {
  uint8_t b[4] = {};
  if (!GetBytes(r, b, 4)) return 0;
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

uint16_t GetU16(Reader* r) {
  uint8_t b[2] = {};
  if (!GetBytes(r, b, 2)) return 0;
  return uint16_t(b[0] << 8 | b[1]);
}

// Reads a tag and its count; false for another tag.
bool GetTag(Reader* r, const char* tag, uint32_t* count) {
  char got[4];
  if (!GetBytes(r, got, 4) || std::memcmp(got, tag, 4) != 0) return r->ok = false;
  *count = GetU32(r);
  return r->ok;
}

// ---------------------------------------------------------------------------------------------
// Values

// Low 32 bits of trunc(d * 65536) as a 64-bit integer; what no 64-bit integer holds gives 0.
uint32_t DoubleToSavedWord(double d) {
  double scaled = std::trunc(d * 65536.0);
  if (!std::isfinite(scaled) || scaled >= 9223372036854775808.0 || scaled < -9223372036854775808.0) return 0;
  return uint32_t(uint64_t(int64_t(scaled)));
}

bool ReadValue(Reader* r, ScriptValue* slot) {
  uint8_t type = 0;
  if (!GetBytes(r, &type, 1)) return false;
  ScriptEngine* engine = r->engine;
  switch (type) {
    case kValueNone:
      ReleaseValue(slot);
      return true;
    case kValueInt: {
      uint32_t word = GetU32(r);
      if (r->ok) SetValueInt(slot, int32_t(word));
      return r->ok;
    }
    case kValuePoolString: {
      // Pool ids are kept as saved: the pool belongs to the script, not to the save.
      uint32_t word = GetU32(r);
      if (r->ok) SetValuePoolString(slot, word);
      return r->ok;
    }
    case kValueCodeAddress: {
      uint32_t word = GetU32(r);
      if (r->ok) SetValueCodeAddress(slot, word);
      return r->ok;
    }
    case 4:
      ReleaseValue(slot);
      slot->type = 4;
      return true;
    case kValueArray: {
      uint32_t id = GetU32(r);
      if (!r->ok) return false;
      if (id == 0) {
        SetValueArray(slot, nullptr);
        return true;
      }
      ScriptArray* array = reinterpret_cast<ScriptArray*>(HashGet(engine->arrays, id));
      if (!array) return r->ok = false;
      SetValueArray(slot, array);
      return true;
    }
    case kValueTable: {
      uint32_t id = GetU32(r);
      if (!r->ok) return false;
      ScriptTable* table = id ? reinterpret_cast<ScriptTable*>(HashGet(engine->tables, id)) : nullptr;
      if (id && !table) return r->ok = false;
      if (table) table->refCount++;
      ReleaseValue(slot);
      slot->type = kValueTable;
      slot->table = table;
      return true;
    }
    case kValueObject: {
      int32_t id = int32_t(GetU32(r));
      if (!r->ok) return false;
      if (id == -1) {
        SetValueObject(slot, nullptr);
        return true;
      }
      ObjectInstance* object = FindScriptObject(engine, id);
      if (!object) return r->ok = false;
      SetValueObject(slot, object);
      return true;
    }
    case kValueString: {
      uint32_t id = GetU32(r);
      if (!r->ok) return false;
      StringObject* string = id ? reinterpret_cast<StringObject*>(HashGet(engine->strings, id)) : nullptr;
      if (id && !string) return r->ok = false;
      if (string) string->refCount++;
      ReleaseValue(slot);
      slot->type = kValueString;
      slot->string = string;
      return true;
    }
    case kValueInt64: {
      uint32_t word = GetU32(r);
      if (r->ok) SetValueInt64(slot, int64_t(int32_t(word)));
      return r->ok;
    }
    case kValueDouble: {
      uint32_t word = GetU32(r);
      if (r->ok) SetValueDouble(slot, double(int32_t(word)) / 65536.0);
      return r->ok;
    }
    case kValueShared:
      GetU32(r);
      return r->ok;
    default:
      return true;
  }
}

// Reads and drops one value.
bool SkipValue(Reader* r) {
  ScriptValue scratch{};
  bool ok = ReadValue(r, &scratch);
  ReleaseValue(&scratch);
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Writing

template <typename T>
T* RegistryRecord(const HashTable* table, uint32_t key) {
  return reinterpret_cast<T*>(HashGet(table, key));
}

bool WriteValues(FileObject* f, const ScriptValue* values, uint32_t count) {
  for (uint32_t k = 0; k < count; ++k) {
    if (values) {
      if (!WriteSavedValue(f, &values[k])) return false;
    } else if (!PutBytes(f, "\0", 1)) {
      return false;
    }
  }
  return true;
}

bool WriteTask(FileObject* f, const ScriptTask* task) {
  int32_t sp = task->sp;
  if (sp > 0 || -int64_t(sp) > int64_t(task->stackSize)) return false;
  bool ok = PutU32(f, uint32_t(task->id)) && PutU32(f, 0) && PutU32(f, task->stackSize) && PutU32(f, uint32_t(sp)) &&
            PutU32(f, task->pc) && PutU32(f, uint32_t(task->callerModule)) && PutU32(f, task->cookie) &&
            PutU16(f, task->resultKind) && PutU16(f, task->state) &&
            PutU32(f, uint32_t(task->thisObject ? task->thisObject->id : -1));
  for (int32_t k = sp; ok && k < 0; ++k) ok = WriteSavedValue(f, &task->stackTop[k]);
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Reading

// The chain of a class from its root ancestor down to it; count in *n.
uint32_t ClassChain(const ScriptClassRecord* c, const ScriptClassRecord** chain, uint32_t limit) {
  uint32_t n = 0;
  for (const ScriptClassRecord* s = c; s && n < limit; s = s->super) chain[n++] = s;
  for (uint32_t k = 0; k < n / 2; ++k) {
    const ScriptClassRecord* t = chain[k];
    chain[k] = chain[n - 1 - k];
    chain[n - 1 - k] = t;
  }
  return n;
}

struct PatchMode {
  const PatchRecord* record;  // null: same revision
  uint32_t savedRevision;
};

bool FieldSkipped(const PatchMode* patch, const FieldRecord* field) {
  return patch->record && field->fourth > patch->savedRevision;
}

// Remaps a code offset through the patch pairs; 0 when the old code is gone.
uint32_t RemapOffset(const PatchRecord* p, uint32_t a) {
  const uint32_t* found = nullptr;
  for (uint32_t k = 0; k < p->pairCount && p->pairs[2 * k] <= a; ++k) found = &p->pairs[2 * k];
  if (!found) return a;
  if (found[1] == 0) return 0;
  return a + (found[1] - found[0]);
}

// True when the instruction that ends at `offset` is one of the opcodes lo .. hi.
bool Preceded(const ScriptEngine* engine, uint32_t offset, uint8_t lo, uint8_t hi) {
  if (offset < kCallInstructionSize || offset >= engine->codeSize) return false;
  uint8_t op = engine->code[offset - kCallInstructionSize];
  return op >= lo && op <= hi;
}

// Frees a restored task that never reached its list or registry.
void DiscardRestoredTask(ScriptEngine* engine, ScriptTask* task) {
  if (task->stackTop) {
    for (int32_t k = task->sp; k < 0; ++k) ReleaseValue(&task->stackTop[k]);
    PoolFree(kPoolStack, task->stackTop - task->stackSize, engine, task->stackSize * kNominalValueSize);
  }
  PoolFree(kPoolTask, task, engine, kNominalTaskSize);
}

bool ReadStrings(Reader* r) {
  ScriptEngine* engine = r->engine;
  uint32_t count = 0;
  if (!GetTag(r, "STRG", &count)) return false;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t id = GetU32(r);
    uint32_t length = GetU32(r);
    if (!r->ok || id == 0 || length > kMaxSavedTextLength || HashLookup(engine->strings, id)) return r->ok = false;
    StringObject* string = static_cast<StringObject*>(
        PoolAllocRecord(sizeof(StringObject), kNominalStringObjectSize, kPoolString, engine));
    char* text = string ? static_cast<char*>(MemAlloc(length + 1, 0)) : nullptr;
    if (!text) {
      PoolFree(kPoolString, string, engine, kNominalStringObjectSize);
      return r->ok = false;
    }
    string->id = id;
    string->text = text;
    string->textBytes = length + 1;
    GetBytes(r, text, length + 1);
    text[length] = '\0';
    if (!HashInsert(engine->strings, id, reinterpret_cast<HashValue>(string))) r->ok = false;
    if (!r->ok) {
      FreeStringObject(string);
      return false;
    }
  }
  return true;
}

bool ReadArrayRecords(Reader* r) {
  ScriptEngine* engine = r->engine;
  uint32_t count = 0;
  if (!GetTag(r, "ARRA", &count)) return false;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t id = GetU32(r);
    int32_t size = int32_t(GetU32(r));
    uint32_t capacity = GetU32(r);
    uint32_t planned = size < 0 ? uint32_t(0) - uint32_t(size) : uint32_t(size);
    if (!r->ok || id == 0 || planned > kMaxSavedElements || capacity > kMaxSavedElements ||
        HashLookup(engine->arrays, id))
      return r->ok = false;
    if (size > 0 && capacity < uint32_t(size)) capacity = uint32_t(size);
    ScriptArray* array =
        static_cast<ScriptArray*>(PoolAllocRecord(sizeof(ScriptArray), kNominalArraySize, kPoolArray, engine));
    if (!array) return r->ok = false;
    array->id = id;
    array->size = size;
    array->capacity = capacity;
    if (size > 0) {
      array->elements = PoolAllocArray<ScriptValue>(capacity, kNominalValueSize, kPoolElements, engine);
      if (!array->elements) {
        PoolFree(kPoolArray, array, engine, kNominalArraySize);
        return r->ok = false;
      }
    }
    if (!HashInsert(engine->arrays, id, reinterpret_cast<HashValue>(array))) {
      FreeArrayRecord(array);
      return r->ok = false;
    }
  }
  return true;
}

bool ReadTableRecords(Reader* r) {
  ScriptEngine* engine = r->engine;
  uint32_t count = 0;
  if (!GetTag(r, "TABL", &count)) return false;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t id = GetU32(r);
    if (!r->ok || id == 0 || HashLookup(engine->tables, id)) return r->ok = false;
    ScriptTable* table =
        static_cast<ScriptTable*>(PoolAllocRecord(sizeof(ScriptTable), kNominalTableSize, kPoolTable, engine));
    if (!table) return r->ok = false;
    table->id = id;
    table->bucketCount = kTableInitialBuckets;
    if (!HashInsert(engine->tables, id, reinterpret_cast<HashValue>(table))) {
      FreeTableRecord(table);
      return r->ok = false;
    }
  }
  return true;
}

bool ReadInstanceRecords(Reader* r, uint32_t counter) {
  ScriptEngine* engine = r->engine;
  uint32_t count = 0;
  if (!GetTag(r, "INST", &count)) return false;
  for (uint32_t k = 0; k < count; ++k) {
    int32_t id = int32_t(GetU32(r));
    // Instance ids are -2 and below: -1 marks a deleted object and has no registry key.
    if (!r->ok || id >= -1 || HashLookup(engine->instances, ~uint32_t(id))) return r->ok = false;
    ObjectInstance* object = static_cast<ObjectInstance*>(
        PoolAllocRecord(sizeof(ObjectInstance), kNominalInstanceSize, kPoolInstance, engine));
    if (!object) return r->ok = false;
    object->id = id;
    object->classRecord = &gPendingClass;
    if (!HashInsert(engine->instances, ~uint32_t(id), reinterpret_cast<HashValue>(object))) {
      PoolFree(kPoolInstance, object, engine, kNominalInstanceSize);
      return r->ok = false;
    }
  }
  if (count != 0) HashSetKeyCounter(engine->instances, counter);
  return true;
}

bool ReadArrayValues(Reader* r) {
  uint32_t count = 0;
  if (!GetTag(r, "ARRA", &count)) return false;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t id = GetU32(r);
    ScriptArray* array = r->ok ? RegistryRecord<ScriptArray>(r->engine->arrays, id) : nullptr;
    // An entry the first pass did not make leaves the stream at an unknown place.
    if (!array) return r->ok = false;
    for (int32_t j = 0; j < array->size; ++j)
      if (!ReadValue(r, &array->elements[j])) return false;
  }
  return true;
}

bool ReadTableValues(Reader* r) {
  ScriptEngine* engine = r->engine;
  uint32_t count = 0;
  if (!GetTag(r, "TABL", &count)) return false;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t id = GetU32(r);
    uint32_t nextKey = GetU32(r);
    uint32_t entries = GetU32(r);
    ScriptTable* table = r->ok ? RegistryRecord<ScriptTable>(engine->tables, id) : nullptr;
    if (!table) return r->ok = false;
    table->nextIntKey = nextKey;
    for (uint32_t e = 0; e < entries; ++e) {
      ScriptValue key{}, data{};
      bool ok = ReadValue(r, &key) && ReadValue(r, &data);
      if (ok) {
        TableAdd(engine, table, &key, &data);
        if (table->count >= kTableLoadFactor * table->bucketCount)
          TableRehash(engine, table, 2 * table->bucketCount);
      }
      ReleaseValue(&key);
      ReleaseValue(&data);
      if (!ok) return false;
    }
  }
  return true;
}

bool ReadStatics(Reader* r, const PatchMode* patch) {
  ScriptEngine* engine = r->engine;
  uint32_t count = 0;
  if (!GetTag(r, "OBJE", &count)) return false;
  uint32_t cursor = 0;
  for (uint32_t k = 0; k < count; ++k) {
    int32_t classId = int32_t(GetU32(r));
    if (!r->ok) return false;
    while (cursor < engine->classCount && engine->classes[cursor].id != classId) ++cursor;
    if (cursor >= engine->classCount) return r->ok = false;
    ScriptClassRecord* found = &engine->classes[cursor++];
    uint32_t saved = GetU32(r);
    if (!r->ok) return false;
    if (saved == 0) continue;
    if (!found->variables) return r->ok = false;
    const ScriptClassRecord* chain[64];
    const ScriptClassRecord** links = chain;
    uint32_t depth = 0;
    for (const ScriptClassRecord* s = found; s; s = s->super) ++depth;
    if (depth > 64) return r->ok = false;
    depth = ClassChain(found, links, depth);
    uint32_t used = 0;
    for (uint32_t c = 0; c < depth && used < saved; ++c) {
      const ScriptClassRecord* cls = links[c];
      for (uint32_t j = cls->inheritedFieldCount; j < cls->totalFieldCount && used < saved; ++j) {
        if (FieldSkipped(patch, &cls->fields[j - cls->inheritedFieldCount])) continue;
        if (!ReadValue(r, &found->variables[j])) return false;
        ++used;
      }
    }
    // More saved values than the record has places for would leave the stream misplaced.
    if (used < saved) return r->ok = false;
  }
  return true;
}

bool ReadInstanceValues(Reader* r, const PatchMode* patch) {
  ScriptEngine* engine = r->engine;
  uint32_t count = 0;
  if (!GetTag(r, "INST", &count)) return false;
  for (uint32_t k = 0; k < count; ++k) {
    int32_t id = int32_t(GetU32(r));
    int32_t classId = int32_t(GetU32(r));
    uint32_t saved = GetU32(r);
    if (!r->ok || id >= -1) return r->ok = false;
    ObjectInstance* object = RegistryRecord<ObjectInstance>(engine->instances, ~uint32_t(id));
    ScriptClassRecord* cls = classId > 0 ? FindClassRecord(engine, classId) : nullptr;
    // An id the first block did not make, one given twice, or a class the script no longer has.
    if (!object || object->classRecord != &gPendingClass || !cls) return r->ok = false;
    object->classRecord = cls;
    uint32_t total = cls->totalFieldCount;
    if (total == 0) {
      if (saved != 0) return r->ok = false;
      continue;
    }
    object->variables = PoolAllocArray<ScriptValue>(total, kNominalValueSize, kPoolInstance, engine);
    if (!object->variables) return r->ok = false;
    const ScriptClassRecord* chain[64];
    uint32_t depth = 0;
    for (const ScriptClassRecord* s = cls; s; s = s->super) ++depth;
    if (depth > 64) return r->ok = false;
    depth = ClassChain(cls, chain, depth);
    uint32_t used = 0;
    for (uint32_t c = 0; c < depth; ++c) {
      const ScriptClassRecord* level = chain[c];
      for (uint32_t j = level->inheritedFieldCount; j < level->totalFieldCount; ++j) {
        const FieldRecord* field = &level->fields[j - level->inheritedFieldCount];
        InitValueFromField(field, &object->variables[j]);
        if (FieldSkipped(patch, field)) continue;
        if (used >= saved) return r->ok = false;
        if (!ReadValue(r, &object->variables[j])) return false;
        ++used;
      }
      if (level != cls && used >= saved) break;
    }
    if (used < saved) return r->ok = false;
  }
  // Every record of the first block must have been filled: a bare record is no object.
  for (uint32_t key = HashNextKey(engine->instances, 0); key; key = HashNextKey(engine->instances, key)) {
    const ObjectInstance* object = RegistryRecord<ObjectInstance>(engine->instances, key);
    if (!object || object->classRecord == &gPendingClass) return r->ok = false;
  }
  return true;
}

// Remaps a restored task's pc and return addresses; false when one does not survive.
bool RemapTask(const ScriptEngine* engine, ScriptTask* task, const PatchRecord* patch) {
  bool ok = true;
  uint32_t pc = RemapOffset(patch, task->pc);
  if (pc != 0 && Preceded(engine, pc, kOpNativeCall, kOpNativeCall)) task->pc = pc;
  else ok = false;
  for (int32_t k = -1; k >= task->sp; --k) {
    ScriptValue* slot = &task->stackTop[k];
    if (slot->type != kValueCodeAddress || slot->u == 0) continue;
    uint32_t back = RemapOffset(patch, slot->u);
    if (back != 0 && Preceded(engine, back, kOpFirstCall, kOpLastCall)) slot->u = back;
    else ok = false;
  }
  return ok;
}

// Every code offset a restored task holds must lie inside the loaded code.
bool TaskOffsetsInCode(const ScriptEngine* engine, const ScriptTask* task) {
  if (task->pc == 0 || task->pc >= engine->codeSize) return false;
  for (int32_t k = task->sp; k < 0; ++k) {
    const ScriptValue* slot = &task->stackTop[k];
    if (slot->type == kValueCodeAddress && slot->u >= engine->codeSize) return false;
  }
  return true;
}

bool ReadTasks(Reader* r, const PatchMode* patch, uint32_t counter) {
  ScriptEngine* engine = r->engine;
  uint32_t count = 0;
  if (!GetTag(r, "TASK", &count)) return false;
  bool remapFailed = false;
  for (uint32_t k = 0; k < count; ++k) {
    ScriptTask* task =
        static_cast<ScriptTask*>(PoolAllocRecord(sizeof(ScriptTask), kNominalTaskSize, kPoolTask, engine));
    if (!task) return r->ok = false;
    task->id = int32_t(GetU32(r));
    GetU32(r);
    uint32_t savedSize = GetU32(r);
    task->sp = int32_t(GetU32(r));
    task->pc = GetU32(r);
    task->callerModule = int32_t(GetU32(r));
    task->cookie = GetU32(r);
    task->resultKind = GetU16(r);
    task->state = GetU16(r);
    int32_t thisId = int32_t(GetU32(r));
    // The stack pointer must lie within the stack the task had, and that stack within the limit.
    if (!r->ok || task->sp > 0 || savedSize > kTaskStackLimit || -int64_t(task->sp) > int64_t(savedSize)) {
      PoolFree(kPoolTask, task, engine, kNominalTaskSize);
      return r->ok = false;
    }
    task->thisObject = thisId == -1 ? nullptr : FindScriptObject(engine, thisId);
    if (task->state != kTaskReady && task->state != kTaskWaiting) {
      int32_t sp = task->sp;
      PoolFree(kPoolTask, task, engine, kNominalTaskSize);
      for (int32_t j = sp; j < 0; ++j)
        if (!SkipValue(r)) return false;
      continue;
    }
    uint32_t size = savedSize <= kTaskStackStep ? kTaskStackStep
                                                : (savedSize + kTaskStackStep - 1) / kTaskStackStep * kTaskStackStep;
    ScriptValue* stack = PoolAllocArray<ScriptValue>(size, kNominalValueSize, kPoolStack, engine);
    if (!stack) {
      PoolFree(kPoolTask, task, engine, kNominalTaskSize);
      return r->ok = false;
    }
    task->stackSize = size;
    task->stackTop = stack + size;
    for (int32_t j = task->sp; j < 0 && r->ok; ++j) ReadValue(r, &task->stackTop[j]);
    bool valid = r->ok && task->id > 0 && !HashLookup(engine->tasks, uint32_t(task->id));
    if (valid && patch->record) {
      if (!RemapTask(engine, task, patch->record)) remapFailed = true;
      if (!remapFailed) {
        uint32_t need = TaskStackNeed(task);
        if (need > task->stackSize && !GrowTaskStack(engine, task, int32_t(need), nullptr)) valid = false;
      }
    }
    if (valid && !remapFailed && !TaskOffsetsInCode(engine, task)) valid = false;
    if (!valid) {
      DiscardRestoredTask(engine, task);
      return r->ok = false;
    }
    TaskListAddTail(task->state == kTaskReady ? &engine->runList : &engine->waitList, task);
    if (!HashInsert(engine->tasks, uint32_t(task->id), reinterpret_cast<HashValue>(task))) {
      TaskUnlink(task);
      DiscardRestoredTask(engine, task);
      return r->ok = false;
    }
  }
  HashSetKeyCounter(engine->tasks, counter);
  if (remapFailed) r->ok = false;
  return r->ok;
}

// Frees the records of a registry that nothing references. A drop may free others (their last
// reference was in the dropped record); a key that went that way restarts the walk.
template <typename T>
void DropUnreferenced(HashTable* registry, void (*free)(T*)) {
  uint32_t key = HashNextKey(registry, 0);
  while (key) {
    uint32_t next = HashNextKey(registry, key);
    T* record = RegistryRecord<T>(registry, key);
    if (record && record->refCount == 0) free(record);
    key = next;
  }
}

void DropAllUnreferenced(ScriptEngine* engine) {
  DropUnreferenced<StringObject>(engine->strings, FreeStringObject);
  DropUnreferenced<ScriptArray>(engine->arrays, FreeArrayRecord);
  DropUnreferenced<ScriptTable>(engine->tables, FreeTableRecord);
}

// Records the second instance block did not reach are no objects: they leave the registry as
// deleted objects do, and the references still on them free them with the last.
void RetirePendingInstances(ScriptEngine* engine) {
  HashTable* registry = engine->instances;
  uint32_t key = HashNextKey(registry, 0);
  while (key) {
    uint32_t next = HashNextKey(registry, key);
    ObjectInstance* object = RegistryRecord<ObjectInstance>(registry, key);
    if (object && object->classRecord == &gPendingClass) {
      HashRemove(registry, key);
      object->id = -1;
      object->classRecord = nullptr;
      if (object->refCount == 0) PoolFree(kPoolInstance, object, engine, kNominalInstanceSize);
    }
    key = next;
  }
}

// Takes back a failed read: the script goes, and the records nothing holds are freed.
void AbandonRestore(Reader* r) {
  RetirePendingInstances(r->engine);
  UnloadScriptStore(r->engine);
  DropAllUnreferenced(r->engine);
}

bool RestoreState(Reader* r, const PatchMode* patch, const uint32_t counters[5]) {
  ScriptEngine* engine = r->engine;
  if (!ReadStrings(r)) return false;
  HashSetKeyCounter(engine->strings, counters[4]);
  if (!ReadArrayRecords(r)) return false;
  HashSetKeyCounter(engine->arrays, counters[1]);
  if (!ReadTableRecords(r)) return false;
  HashSetKeyCounter(engine->tables, counters[2]);
  if (!ReadInstanceRecords(r, counters[0])) return false;
  return ReadArrayValues(r) && ReadTableValues(r) && ReadStatics(r, patch) && ReadInstanceValues(r, patch) &&
         ReadTasks(r, patch, counters[3]);
}

}  // namespace

void SetScriptStateLoader(ScriptStoreLoader loader) { gLoader = loader ? loader : LoadScriptStore; }

bool WriteSavedValue(FileObject* stream, const ScriptValue* value) {
  uint8_t type = value->type;
  if (!PutBytes(stream, &type, 1)) return false;
  switch (type) {
    case kValueInt:
    case kValuePoolString:
    case kValueCodeAddress:
      return PutU32(stream, value->u);
    case kValueArray:
      return PutU32(stream, value->array ? value->array->id : 0);
    case kValueTable:
      return PutU32(stream, value->table ? value->table->id : 0);
    case kValueObject:
      return PutU32(stream, uint32_t(value->object ? value->object->id : -1));
    case kValueString:
      return PutU32(stream, value->string ? value->string->id : 0);
    case kValueInt64:
      return PutU32(stream, uint32_t(uint64_t(ValueInt64(value))));
    case kValueDouble:
      return PutU32(stream, DoubleToSavedWord(ValueDouble(value)));
    case kValueShared:
      // The record's third word has no meaning outside the running game.
      return PutU32(stream, 0);
    default:
      return true;
  }
}

bool ReadSavedValue(FileObject* stream, ScriptValue* slot) {
  Reader reader{stream, gScriptEngine, true};
  if (!reader.engine) return false;
  return ReadValue(&reader, slot);
}

bool WriteScriptState(FileObject* stream) {
  ScriptEngine* engine = gScriptEngine;
  if (!stream || !ScriptIsLoaded(engine)) return false;
  FileObject* f = stream;
  uint32_t nameLength = uint32_t(std::strlen(engine->scriptName));
  bool ok = PutBytes(f, "STOR", 4) && PutU32(f, kScriptStateVersion) && PutU32(f, nameLength) &&
            PutBytes(f, engine->scriptName, nameLength) && PutU32(f, engine->headerWord) &&
            PutU32(f, HashGetKeyCounter(engine->instances)) && PutU32(f, HashGetKeyCounter(engine->arrays)) &&
            PutU32(f, HashGetKeyCounter(engine->tables)) && PutU32(f, HashGetKeyCounter(engine->tasks)) &&
            PutU32(f, HashGetKeyCounter(engine->strings));

  ok = ok && PutTag(f, "STRG", HashCount(engine->strings));
  for (uint32_t key = HashNextKey(engine->strings, 0); ok && key; key = HashNextKey(engine->strings, key)) {
    const StringObject* string = RegistryRecord<StringObject>(engine->strings, key);
    if (!string || !string->text) return false;
    uint32_t length = uint32_t(std::strlen(string->text));
    ok = PutU32(f, string->id) && PutU32(f, length) && PutBytes(f, string->text, length + 1);
  }

  ok = ok && PutTag(f, "ARRA", HashCount(engine->arrays));
  for (uint32_t key = HashNextKey(engine->arrays, 0); ok && key; key = HashNextKey(engine->arrays, key)) {
    const ScriptArray* array = RegistryRecord<ScriptArray>(engine->arrays, key);
    if (!array) return false;
    ok = PutU32(f, array->id) && PutU32(f, uint32_t(array->size)) && PutU32(f, array->capacity);
  }
  ok = ok && PutTag(f, "TABL", HashCount(engine->tables));
  for (uint32_t key = HashNextKey(engine->tables, 0); ok && key; key = HashNextKey(engine->tables, key)) {
    const ScriptTable* table = RegistryRecord<ScriptTable>(engine->tables, key);
    if (!table) return false;
    ok = PutU32(f, table->id);
  }
  ok = ok && PutTag(f, "INST", HashCount(engine->instances));
  for (uint32_t key = HashNextKey(engine->instances, 0); ok && key; key = HashNextKey(engine->instances, key)) {
    const ObjectInstance* object = RegistryRecord<ObjectInstance>(engine->instances, key);
    if (!object) return false;
    ok = PutU32(f, uint32_t(object->id));
  }

  ok = ok && PutTag(f, "ARRA", HashCount(engine->arrays));
  for (uint32_t key = HashNextKey(engine->arrays, 0); ok && key; key = HashNextKey(engine->arrays, key)) {
    const ScriptArray* array = RegistryRecord<ScriptArray>(engine->arrays, key);
    if (!array) return false;
    ok = PutU32(f, array->id) && (array->size <= 0 || WriteValues(f, array->elements, uint32_t(array->size)));
  }
  ok = ok && PutTag(f, "TABL", HashCount(engine->tables));
  for (uint32_t key = HashNextKey(engine->tables, 0); ok && key; key = HashNextKey(engine->tables, key)) {
    ScriptTable* table = RegistryRecord<ScriptTable>(engine->tables, key);
    if (!table) return false;
    ok = PutU32(f, table->id) && PutU32(f, table->nextIntKey) && PutU32(f, table->count);
    // A counted reference keeps the table alive while its entries are written.
    ScriptValue held{};
    SetValueTable(&held, table);
    uint32_t written = 0;
    TableCursor cursor{0, 0};
    for (const TableEntry* e = TableStep(table, &cursor); ok && e; e = TableStep(table, &cursor), ++written) {
      const ScriptValue key = TableEntryKey(e), data = TableEntryData(e);
      ok = WriteSavedValue(f, &key) && WriteSavedValue(f, &data);
    }
    ReleaseValue(&held);
    if (ok && written != table->count) return false;
  }

  ok = ok && PutTag(f, "OBJE", engine->classCount);
  for (uint32_t k = 0; ok && k < engine->classCount; ++k) {
    const ScriptClassRecord* c = &engine->classes[k];
    ok = PutU32(f, uint32_t(c->id)) && PutU32(f, c->totalFieldCount) &&
         WriteValues(f, c->variables, c->totalFieldCount);
  }
  uint32_t instances = HashCount(engine->instances);
  ok = ok && PutTag(f, "INST", instances);
  uint32_t key = 0;
  for (uint32_t k = 0; ok && k < instances; ++k) {
    key = HashNextKey(engine->instances, key);
    const ObjectInstance* object = RegistryRecord<ObjectInstance>(engine->instances, key);
    if (!object || !object->classRecord) return false;
    uint32_t total = object->classRecord->totalFieldCount;
    ok = PutU32(f, uint32_t(object->id)) && PutU32(f, uint32_t(object->classRecord->id)) && PutU32(f, total) &&
         WriteValues(f, object->variables, total);
  }
  uint32_t tasks = HashCount(engine->tasks);
  ok = ok && PutTag(f, "TASK", tasks);
  key = 0;
  for (uint32_t k = 0; ok && k < tasks; ++k) {
    key = HashNextKey(engine->tasks, key);
    const ScriptTask* task = RegistryRecord<ScriptTask>(engine->tasks, key);
    if (!task) return false;
    ok = WriteTask(f, task);
  }
  return ok;
}

bool ReadScriptState(FileObject* stream) {
  ScriptEngine* engine = gScriptEngine;
  if (!stream || !engine) return false;
  Reader reader{stream, engine, true};
  Reader* r = &reader;
  char tag[4];
  if (!GetBytes(r, tag, 4) || std::memcmp(tag, "STOR", 4) != 0) return false;
  uint32_t version = GetU32(r);
  uint32_t nameLength = GetU32(r);
  if (!r->ok || version != kScriptStateVersion || nameLength > kScriptStateNameLimit) return false;
  char* name = static_cast<char*>(PoolAlloc(nameLength + 1, kPoolScratch, engine));
  if (!name) return false;
  GetBytes(r, name, nameLength);
  name[nameLength] = '\0';
  bool loaded = false;
  if (r->ok) {
    // Whatever the engine held goes first; loading a store never unloads by itself.
    UnloadScriptStore(engine);
    loaded = gLoader(engine, name);
  }
  PoolFree(kPoolScratch, name, engine, nameLength + 1);
  if (!loaded) return false;

  PatchMode patch{nullptr, GetU32(r)};
  if (r->ok && patch.savedRevision != engine->headerWord) {
    uint32_t key = patch.savedRevision ? patch.savedRevision : 1;
    patch.record = reinterpret_cast<const PatchRecord*>(HashGet(engine->patches, key));
    if (!patch.record) r->ok = false;
  }
  uint32_t counters[5];
  for (uint32_t& counter : counters) counter = GetU32(r);
  if (!r->ok || !RestoreState(r, &patch, counters)) {
    AbandonRestore(r);
    return false;
  }
  DropAllUnreferenced(engine);
  return true;
}

uint32_t TaskStackNeed(ScriptTask* task) {
  const MethodRecord* m = FindMethodByCode(task->thisObject, task->pc);
  uint32_t need = 0;
  for (int32_t i = task->sp; i < 0; ++i) {
    const ScriptValue* slot = &task->stackTop[i];
    if (slot->type != kValueCodeAddress) continue;
    uint32_t frame = m ? m->frameSize : 0;
    uint32_t here = frame + uint32_t(1 - i) + 4;
    if (here > need) need = here;
    if (slot->u == 0 || i - 1 < task->sp) break;
    const ScriptValue* caller = &task->stackTop[i - 1];
    if (caller->type != kValueObject || !caller->object || !caller->object->classRecord) break;
    m = FindMethodByCode(caller->object, slot->u);
  }
  return need;
}
