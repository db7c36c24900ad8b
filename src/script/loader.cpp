// The compiled-script loader and unloader: parses a "STOR" file chunk by chunk into the engine
// context, checks classes, methods, fields and code before anything is linked, sorts the class
// records, builds the static variables and merged method tables, and frees it all again at
// unload. Called by the game loop, the story reload, the save-game reader and the tests. It
// never reads past the file it is given; a malformed file is a failed load.
#include "script/loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/signature.h"
#include "core/system_block.h"
#include "script/containers.h"
#include "script/natives/se_files.h"
#include "script/text_database.h"

namespace {

constexpr uint32_t kMinimumClassEntryBytes = 20;  // id, super, word, method count, field count
constexpr uint32_t kRecordBytes = 16;             // a method or field record in the file
constexpr const char kSignedStoryName[] = "vexastory";  // the one script whose signature is checked

struct FileReader {
  const uint8_t* data;
  uint32_t size;
  uint32_t pos;
};

// A word read that would pass the end reads as 0 and leaves the position at the end.
uint32_t ReadWord(FileReader* r) {
  if (uint64_t(r->pos) + 4 > r->size) {
    r->pos = r->size;
    return 0;
  }
  const uint8_t* p = r->data + r->pos;
  r->pos += 4;
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint32_t Remaining(const FileReader* r) { return r->size - r->pos; }

bool ChunkIs(const uint8_t* id, const char* tag) { return std::memcmp(id, tag, 4) == 0; }

// Reads `count` method or field records (four words each) into a new table; a count the rest of
// the file cannot hold is refused before anything is allocated.
template <typename T>
bool ReadRecords(ScriptEngine* engine, FileReader* r, uint32_t count, T** out) {
  *out = nullptr;
  if (count == 0) return true;
  if (count > Remaining(r) / kRecordBytes) return false;
  T* records = PoolAllocArray<T>(count, kNominalRecord16Size, kPoolClass, engine);
  if (!records) return false;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t* words = reinterpret_cast<uint32_t*>(&records[k]);
    for (int w = 0; w < 4; ++w) words[w] = ReadWord(r);
  }
  *out = records;
  return true;
}

void FreeRecords(ScriptEngine* engine, void* records, uint32_t count) {
  if (records) PoolFree(kPoolClass, records, engine, count * kNominalRecord16Size);
}

uint32_t OwnFieldCount(const ScriptClassRecord* c) { return c->totalFieldCount - c->inheritedFieldCount; }

// Frees what a class record owns (statics, tables), leaving the record itself.
void FreeClassContents(ScriptEngine* engine, ScriptClassRecord* c) {
  if (c->variables) {
    for (uint32_t j = 0; j < c->totalFieldCount; ++j) ReleaseValue(&c->variables[j]);
    PoolFree(kPoolClass, c->variables, engine, c->totalFieldCount * kNominalValueSize);
    c->variables = nullptr;
  }
  c->totalFieldCount = OwnFieldCount(c);
  c->inheritedFieldCount = 0;
  FreeRecords(engine, c->fields, c->totalFieldCount);
  FreeRecords(engine, c->methods, c->methodCount);
  FreeRecords(engine, c->mergedMethods, c->mergedMethodCount);
  c->fields = nullptr;
  c->methods = nullptr;
  c->mergedMethods = nullptr;
  c->totalFieldCount = c->methodCount = c->mergedMethodCount = 0;
}

void FreeClassBlock(ScriptEngine* engine) {
  if (!engine->classes) return;
  for (uint32_t k = 0; k < engine->classCount; ++k) FreeClassContents(engine, &engine->classes[k]);
  PoolFree(kPoolClass, engine->classes, engine, engine->classCount * kNominalClassRecordSize);
  engine->classes = nullptr;
  engine->classCount = 0;
}

void FreeCode(ScriptEngine* engine) {
  if (engine->code) PoolFree(kPoolCode, engine->code, engine, engine->codeSize);
  engine->code = nullptr;
  engine->codeSize = 0;
}

void FreePool(ScriptEngine* engine) {
  if (engine->stringPool) PoolFree(kPoolCode, engine->stringPool, engine, engine->stringPoolSize);
  engine->stringPool = nullptr;
  engine->stringPoolSize = 0;
}

// A copy of `size` file bytes counted at their size, with zero padding behind them.
uint8_t* CopyBlock(ScriptEngine* engine, const uint8_t* bytes, uint32_t size, uint32_t padding) {
  uint8_t* block = static_cast<uint8_t*>(PoolAllocRecord(size_t(size) + padding, size, kPoolCode, engine));
  if (block && size) std::memcpy(block, bytes, size);
  return block;
}

// CLAS: N entries into records 1..N of a new block. A super class must come earlier in the
// file: its field count is what places the subclass's own fields, so a super named later in the
// file (or the class itself, or the global record's 0) is refused. A super id that names no class
// of the file at all leaves a root class: it inherits nothing here and stays without a super
// when the records are linked again after sorting.
bool ReadClasses(ScriptEngine* engine, FileReader* r) {
  uint32_t n = ReadWord(r);
  if (n > Remaining(r) / kMinimumClassEntryBytes) return false;
  FreeClassBlock(engine);  // a repeated chunk replaces the earlier one
  ScriptClassRecord* classes =
      PoolAllocArray<ScriptClassRecord>(n + 1, kNominalClassRecordSize, kPoolClass, engine);
  if (!classes) return false;
  engine->classes = classes;
  engine->classCount = n + 1;
  for (uint32_t k = 1; k <= n; ++k) {
    ScriptClassRecord* c = &classes[k];
    c->id = int32_t(ReadWord(r));
    c->classRecord = c;
    c->superId = ReadWord(r);
    c->word = ReadWord(r);
    uint32_t methodCount = ReadWord(r);
    if (!ReadRecords(engine, r, methodCount, &c->methods)) return false;
    c->methodCount = methodCount;
    uint32_t fieldCount = ReadWord(r);
    if (!ReadRecords(engine, r, fieldCount, &c->fields)) return false;
    c->totalFieldCount = fieldCount;
    // Class ids live beside the negative instance ids and the global record's 0.
    if (c->id <= 0) return false;
    for (uint32_t j = 1; j < k; ++j)
      if (classes[j].id == c->id) return false;
    if (c->superId == kNoSuperClass) continue;
    for (uint32_t j = 1; j < k && !c->super; ++j)
      if (uint32_t(classes[j].id) == c->superId) c->super = &classes[j];
    if (!c->super) {
      if (c->superId == 0) return false;
      continue;  // a super later in the file is refused once every id is known
    }
    if (uint64_t(fieldCount) + c->super->totalFieldCount > 0xFFFF) return false;
    c->inheritedFieldCount = c->super->totalFieldCount;
    c->totalFieldCount = fieldCount + c->inheritedFieldCount;
  }
  std::vector<int32_t> ids;
  ids.reserve(n);
  for (uint32_t k = 1; k <= n; ++k) ids.push_back(classes[k].id);
  std::sort(ids.begin(), ids.end());
  for (uint32_t k = 1; k <= n; ++k) {
    const ScriptClassRecord* c = &classes[k];
    if (c->superId == kNoSuperClass || c->super) continue;
    if (std::binary_search(ids.begin(), ids.end(), int32_t(c->superId))) return false;
  }
  return true;
}

bool ReadPatches(ScriptEngine* engine, FileReader* r) {
  uint32_t count = ReadWord(r);
  if (count > Remaining(r) / 8) return false;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t key = ReadWord(r);
    uint32_t pairs = ReadWord(r);
    if (pairs > Remaining(r) / 8) return false;
    PatchRecord* record = static_cast<PatchRecord*>(
        PoolAllocRecord(sizeof(PatchRecord), kNominalPatchRecordSize, kPoolPatch, engine));
    if (!record) return false;
    record->key = key ? key : 1;
    record->pairCount = pairs;
    if (pairs) {
      record->pairs = PoolAllocArray<uint32_t>(2 * pairs, 4, kPoolPatch, engine);
      if (!record->pairs) {
        PoolFree(kPoolPatch, record, engine, kNominalPatchRecordSize);
        return false;
      }
      for (uint32_t w = 0; w < 2 * pairs; ++w) record->pairs[w] = ReadWord(r);
    }
    // A later record under the same key replaces the earlier one.
    HashEntry* old = HashLookup(engine->patches, record->key);
    if (old) {
      PatchRecord* previous = reinterpret_cast<PatchRecord*>(old->value);
      if (previous->pairs) PoolFree(kPoolPatch, previous->pairs, engine, previous->pairCount * 8);
      PoolFree(kPoolPatch, previous, engine, kNominalPatchRecordSize);
      old->value = reinterpret_cast<HashValue>(record);
    } else {
      HashInsert(engine->patches, record->key, reinterpret_cast<HashValue>(record));
    }
  }
  return true;
}

// Everything the code and the records name must lie inside the code and the pool.
bool CheckMethods(const ScriptEngine* engine, const MethodRecord* methods, uint32_t count) {
  for (uint32_t k = 0; k < count; ++k) {
    if (methods[k].codeOffset == 0 || methods[k].codeOffset >= engine->codeSize) return false;
    if (methods[k].name >= engine->stringPoolSize) return false;
  }
  return true;
}

bool CheckFields(const ScriptEngine* engine, const FieldRecord* fields, uint32_t count) {
  for (uint32_t k = 0; k < count; ++k)
    if (fields[k].type == kValuePoolString && fields[k].initial >= engine->stringPoolSize) return false;
  return true;
}

bool CheckLoadedScript(const ScriptEngine* engine, const ScriptClassRecord* global) {
  if (!CheckMethods(engine, global->methods, global->methodCount)) return false;
  if (!CheckFields(engine, global->fields, global->totalFieldCount)) return false;
  for (uint32_t k = 1; k < engine->classCount; ++k) {
    const ScriptClassRecord* c = &engine->classes[k];
    if (!CheckMethods(engine, c->methods, c->methodCount)) return false;
    if (!CheckFields(engine, c->fields, OwnFieldCount(c))) return false;
  }
  return ValidateScriptCode(engine);
}

const char* NameText(const ScriptEngine* engine, uint32_t id) {
  return id < engine->stringPoolSize ? engine->stringPool + id : "";
}

bool InitStatics(ScriptEngine* engine) {
  for (uint32_t k = 0; k < engine->classCount; ++k) {
    ScriptClassRecord* record = &engine->classes[k];
    if (record->totalFieldCount == 0) continue;
    record->variables = PoolAllocArray<ScriptValue>(record->totalFieldCount, kNominalValueSize, kPoolClass, engine);
    if (!record->variables) return false;
    // Each class up the chain fills the slots of its own fields.
    for (const ScriptClassRecord* c = record; c; c = c->super) {
      for (uint32_t j = c->inheritedFieldCount; j < c->totalFieldCount; ++j)
        InitValueFromField(&c->fields[j - c->inheritedFieldCount], &record->variables[j]);
    }
  }
  return true;
}

// Frees a task without answering anybody: the script it ran is going away.
void DiscardTask(ScriptEngine* engine, ScriptTask* task) {
  TaskUnlink(task);
  if (task->stackTop) {
    int32_t sp = std::max(task->sp, -int32_t(task->stackSize));
    for (int32_t k = sp; k < 0; ++k) ReleaseValue(&task->stackTop[k]);
    PoolFree(kPoolStack, task->stackTop - task->stackSize, engine, task->stackSize * kNominalValueSize);
  }
  ReleaseValue(&task->result);
  PoolFree(kPoolTask, task, engine, kNominalTaskSize);
}

}  // namespace

void UnscrambleStringPool(uint32_t n, uint8_t* bytes) {
  if (n == 0) return;
  for (uint32_t i = n - 1; i >= 1; --i) bytes[i] = uint8_t(uint8_t(~bytes[i]) - bytes[i - 1]);
  bytes[0] = uint8_t(~bytes[0]);
}

ScriptClassRecord* FindClassRecord(const ScriptEngine* engine, int32_t id) {
  uint32_t lo = 0, hi = engine->classCount;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    int32_t midId = engine->classes[mid].id;
    if (midId == id) return &engine->classes[mid];
    if (midId < id) lo = mid + 1;
    else hi = mid;
  }
  return nullptr;
}

namespace {

constexpr char kFileNotFoundNote[] = "File not found.\n";

bool LoadFromMemory(ScriptEngine* engine, const char* name, const uint8_t* data, uint32_t size, bool* noted) {
  if (!data || size <= 12 || std::memcmp(data, "STOR", 4) != 0) {
    UnloadScriptStore(engine);
    std::fputs(kFileNotFoundNote, stdout);
    *noted = true;
    return false;
  }
  engine->flags |= kEngineStoryNotVerified;
  if (name && std::strcmp(name, kSignedStoryName) == 0) {
    // The signature covers the file with every NUL turned into a blank; the copy stays for
    // later checks.
    if (engine->storyCopy) PoolFree(kPoolCode, engine->storyCopy, engine, engine->storyLength);
    engine->storyCopy = static_cast<uint8_t*>(PoolAlloc(size, kPoolCode, engine));
    engine->storyLength = engine->storyCopy ? size : 0;
    if (engine->storyCopy) {
      for (uint32_t k = 0; k < size; ++k) engine->storyCopy[k] = data[k] ? data[k] : ' ';
      if (VerifyStoryFileSignature(engine->storyCopy, int32_t(size))) engine->flags &= ~kEngineStoryNotVerified;
    }
  }

  FileReader reader{data, size, 4};
  FileReader* r = &reader;
  uint32_t version = ReadWord(r);
  if (version != kStoreVersion) return false;
  engine->fileVersion = version;
  engine->headerWord = ReadWord(r);

  ScriptClassRecord* global = static_cast<ScriptClassRecord*>(
      PoolAllocRecord(sizeof(ScriptClassRecord), kNominalClassRecordSize, kPoolClass, engine));
  if (!global) return false;
  global->classRecord = global;
  global->superId = kNoSuperClass;

  bool seen[5] = {};  // CODE, CLAS, SYMB, VARS, pool
  bool ok = false;
  for (;;) {
    if (uint64_t(r->pos) + 4 > size) break;  // a chunk header that passes the end
    const uint8_t* id = data + r->pos;
    if (ChunkIs(id, "/STO")) {
      ok = seen[0] && seen[1] && seen[2] && seen[3] && seen[4];
      break;
    }
    if (uint64_t(r->pos) + 8 > size) break;
    r->pos += 4;
    uint32_t bodySize = ReadWord(r);
    if (ChunkIs(id, "CODE") || ChunkIs(id, "STRG") || ChunkIs(id, "STRU")) {
      if (bodySize > Remaining(r)) break;
      const uint8_t* body = data + r->pos;
      r->pos += bodySize;
      if (ChunkIs(id, "CODE")) {
        FreeCode(engine);
        engine->code = CopyBlock(engine, body, bodySize, kCodePadding + LocalFusionMapBytes(bodySize));
        if (!engine->code) break;
        engine->codeSize = bodySize;
        seen[0] = true;
      } else {
        FreePool(engine);
        // The NUL behind the pool ends a last text that lacks its own.
        uint8_t* pool = CopyBlock(engine, body, bodySize, 1);
        if (!pool) break;
        if (ChunkIs(id, "STRG")) UnscrambleStringPool(bodySize, pool);
        engine->stringPool = reinterpret_cast<char*>(pool);
        engine->stringPoolSize = bodySize;
        seen[4] = true;
      }
    } else if (ChunkIs(id, "CLAS")) {
      if (!ReadClasses(engine, r)) break;
      seen[1] = true;
    } else if (ChunkIs(id, "SYMB")) {
      FreeRecords(engine, global->methods, global->methodCount);
      global->methods = nullptr;  // a failed read below must not leave it pointing at freed records
      global->methodCount = 0;
      uint32_t count = ReadWord(r);
      if (!ReadRecords(engine, r, count, &global->methods)) break;
      global->methodCount = count;
      seen[2] = true;
    } else if (ChunkIs(id, "VARS")) {
      FreeRecords(engine, global->fields, global->totalFieldCount);
      global->fields = nullptr;
      global->totalFieldCount = 0;
      uint32_t count = ReadWord(r);
      if (count > 0xFFFF || !ReadRecords(engine, r, count, &global->fields)) break;
      global->totalFieldCount = count;
      seen[3] = true;
    } else if (ChunkIs(id, "PTCH")) {
      if (!ReadPatches(engine, r)) break;
    } else {
      break;  // an unknown chunk ends the file without its end marker
    }
  }

  // Record 0 takes the global record even on failure, so the caller's unload frees its tables.
  if (ok && !engine->classes) ok = false;
  if (engine->classes) {
    FreeClassContents(engine, &engine->classes[0]);
    engine->classes[0] = *global;
    engine->classes[0].classRecord = &engine->classes[0];
  } else {
    FreeClassContents(engine, global);
  }
  PoolFree(kPoolClass, global, engine, kNominalClassRecordSize);
  if (!ok) return false;
  global = &engine->classes[0];
  if (!CheckLoadedScript(engine, global)) return false;

  std::sort(engine->classes, engine->classes + engine->classCount,
            [](const ScriptClassRecord& a, const ScriptClassRecord& b) { return a.id < b.id; });
  for (uint32_t k = 0; k < engine->classCount; ++k) {
    ScriptClassRecord* c = &engine->classes[k];
    c->classRecord = c;
    c->super = c->superId == kNoSuperClass ? nullptr : FindClassRecord(engine, int32_t(c->superId));
  }
  if (!InitStatics(engine)) return false;
  MergeMethodTables(engine);
  if (!LinkScriptCode(engine)) return false;

  engine->scriptName = ReplaceString(engine->scriptName, name ? name : "");
  TaskListInit(&engine->runList);
  TaskListInit(&engine->waitList);
  return true;
}

}  // namespace

// A story found under its name that does not load is reported like a missing one: the note on
// standard output comes once, whichever check refused the file.
bool LoadScriptStore(ScriptEngine* engine, const char* name) {
  char path[512];
  std::snprintf(path, sizeof path, kProductRecord.languageTemplate, name);
  char* buffer = LoadGameFile(path, "obj", false);
  if (!buffer) {
    std::fputs(kFileNotFoundNote, stdout);
    return false;
  }
  uint32_t size = gLastReadSize;
  bool noted = false;
  bool ok = LoadFromMemory(engine, name, reinterpret_cast<const uint8_t*>(buffer), size, &noted);
  MemFree(buffer, size, 0);
  if (!ok && !noted) std::fputs(kFileNotFoundNote, stdout);
  return ok;
}

bool LoadScriptStoreFromMemory(ScriptEngine* engine, const char* name, const uint8_t* data, uint32_t size) {
  bool noted = false;
  return LoadFromMemory(engine, name, data, size, &noted);
}

void MergeMethodTables(ScriptEngine* engine) {
  auto byText = [engine](const MethodRecord& a, const MethodRecord& b) {
    return std::strcmp(NameText(engine, a.name), NameText(engine, b.name)) < 0;
  };
  for (uint32_t k = 0; k < engine->classCount; ++k) {
    ScriptClassRecord* c = &engine->classes[k];
    if (c->methods) std::stable_sort(c->methods, c->methods + c->methodCount, byText);
    FreeRecords(engine, c->mergedMethods, c->mergedMethodCount);
    c->mergedMethods = nullptr;
    c->mergedMethodCount = 0;

    uint64_t count = c->methodCount;
    for (const ScriptClassRecord* s = c->super; s; s = s->super) {
      if (s->mergedMethods) {
        count += s->mergedMethodCount;
        break;
      }
      count += s->methodCount;
    }
    if (count == 0 || count > 0xFFFFFF) continue;
    MethodRecord* merged = PoolAllocArray<MethodRecord>(uint32_t(count), kNominalRecord16Size, kPoolClass, engine);
    if (!merged) continue;
    uint32_t used = 0;
    auto add = [&](const MethodRecord* table, uint32_t n) {
      for (uint32_t m = 0; m < n; ++m) {
        bool hidden = false;
        for (uint32_t j = 0; j < used && !hidden; ++j) hidden = merged[j].name == table[m].name;
        if (!hidden) merged[used++] = table[m];
      }
    };
    add(c->methods, c->methodCount);
    for (const ScriptClassRecord* s = c->super; s; s = s->super) {
      if (s->mergedMethods) {
        add(s->mergedMethods, s->mergedMethodCount);
        break;
      }
      add(s->methods, s->methodCount);
    }
    std::stable_sort(merged, merged + used,
                     [](const MethodRecord& a, const MethodRecord& b) { return a.name < b.name; });
    // Keep a block of exactly the collected number.
    if (used < count) {
      MethodRecord* exact = used ? PoolAllocArray<MethodRecord>(used, kNominalRecord16Size, kPoolClass, engine)
                                 : nullptr;
      if (exact) std::memcpy(exact, merged, used * sizeof(MethodRecord));
      PoolFree(kPoolClass, merged, engine, uint32_t(count) * kNominalRecord16Size);
      merged = exact;
      if (!merged) used = 0;
    }
    c->mergedMethods = merged;
    c->mergedMethodCount = used;
  }
}

const MethodRecord* FindMethodByCode(const ObjectInstance* object, uint32_t codeOffset) {
  const MethodRecord* best = nullptr;
  if (!object || !object->classRecord) return nullptr;
  for (const ScriptClassRecord* c = object->classRecord; c; c = c->super) {
    for (uint32_t k = 0; k < c->methodCount; ++k) {
      const MethodRecord* m = &c->methods[k];
      if (m->codeOffset == 0 || m->codeOffset > codeOffset) continue;
      if (!best || m->codeOffset > best->codeOffset) best = m;
    }
  }
  return best;
}

void UnloadScriptStore(ScriptEngine* engine) {
  if (!engine) return;
  // Tasks go first and answer nobody: their script is going away.
  if (engine->tasks) {
    while (HashCount(engine->tasks) > 0) {
      uint32_t key = HashNextKey(engine->tasks, 0);
      if (key == 0) break;
      ScriptTask* task = reinterpret_cast<ScriptTask*>(HashRemove(engine->tasks, key));
      if (task) DiscardTask(engine, task);
    }
  }
  engine->currentTask = nullptr;
  FreeAllTexts(engine);

  // Instances are emptied before any record goes, so no release below reaches a freed record.
  // A record something outside still references is left deleted; its last release frees it.
  if (engine->instances) {
    for (uint32_t key = HashNextKey(engine->instances, 0); key; key = HashNextKey(engine->instances, key)) {
      ObjectInstance* object = reinterpret_cast<ObjectInstance*>(HashGet(engine->instances, key));
      if (!object || !object->variables) continue;
      uint32_t n = object->classRecord ? object->classRecord->totalFieldCount : 0;
      ScriptValue* variables = object->variables;
      object->variables = nullptr;
      for (uint32_t j = 0; j < n; ++j) ReleaseValue(&variables[j]);
      PoolFree(kPoolInstance, variables, engine, n * kNominalValueSize);
    }
  }
  for (uint32_t k = 0; k < engine->classCount && engine->classes; ++k) {
    ScriptClassRecord* c = &engine->classes[k];
    if (!c->variables) continue;
    ScriptValue* variables = c->variables;
    c->variables = nullptr;
    for (uint32_t j = 0; j < c->totalFieldCount; ++j) ReleaseValue(&variables[j]);
    PoolFree(kPoolClass, variables, engine, c->totalFieldCount * kNominalValueSize);
  }
  if (engine->instances) {
    while (HashCount(engine->instances) > 0) {
      uint32_t key = HashNextKey(engine->instances, 0);
      if (key == 0) break;
      ObjectInstance* object = reinterpret_cast<ObjectInstance*>(HashRemove(engine->instances, key));
      if (!object) continue;
      object->id = -1;
      object->classRecord = nullptr;
      if (object->refCount == 0) PoolFree(kPoolInstance, object, engine, kNominalInstanceSize);
    }
  }
  FreeClassBlock(engine);

  if (engine->storyCopy) PoolFree(kPoolCode, engine->storyCopy, engine, engine->storyLength);
  engine->storyCopy = nullptr;
  engine->storyLength = 0;
  engine->scriptName = FreeString(engine->scriptName);

  FreeScriptFilesAndExpressions(engine);
  if (engine->patches) {
    while (HashCount(engine->patches) > 0) {
      uint32_t key = HashNextKey(engine->patches, 0);
      if (key == 0) break;
      PatchRecord* record = reinterpret_cast<PatchRecord*>(HashRemove(engine->patches, key));
      if (!record) continue;
      if (record->pairs) PoolFree(kPoolPatch, record->pairs, engine, record->pairCount * 8);
      PoolFree(kPoolPatch, record, engine, kNominalPatchRecordSize);
    }
  }
  FreePool(engine);
  FreeCode(engine);
}
