// The byte-code interpreter: one dispatch loop over the linked code with pc, the top slot and
// the running object in locals, each opcode a few lines; calls, returns, launches, switches,
// objects and native calls; and the element and addition operations. Called by the run-list
// pass, the calls into scripts and itself. Every operand, variable index, jump target and
// switch table is checked against the code block, the stack or the variable array it names:
// a bad one ends the task as an error, never a read or write outside them.
#include "script/interpreter.h"

#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "script/containers.h"
#include "script/loader.h"

namespace {

inline uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline int16_t I16(const uint8_t* p) { return int16_t(U16(p)); }
inline uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }

// Slots an opcode reads from the stack before it runs; the loop refuses to run it on less.
struct DepthTable {
  uint8_t need[256];
  constexpr DepthTable() : need() {
    const uint8_t one[] = {17, 18, 19, 20, 21, 22, 27, 28, 29, 34, 36, 42, 43, 45, 51, 52, 71, 72, 73, 74, 76, 77,
                           78, 79, 100, 101, 102, 120, 121, 130, 135, 140, 141, 142, 146, 147, 148, 150, 174, 175};
    const uint8_t two[] = {16, 24, 25, 26, 31, 32, 33, 47, 53, 54, 55, 56, 57, 58, 70, 75, 80, 81, 82, 83, 84,
                           85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 133, 134, 143, 144, 145, 151, 152, 153};
    const uint8_t three[] = {23, 30, 149};
    for (uint8_t op : one) need[op] = 1;
    for (uint8_t op : two) need[op] = 2;
    for (uint8_t op : three) need[op] = 3;
    need[131] = 1;
  }
};
constexpr DepthTable kDepth;

// Free slots every instruction may push without its own check (calls push two).
constexpr int32_t kHeadroom = 2;

const char* TextOf(const ScriptValue* v) {
  const char* text = GetValueString(v);
  return text ? text : "";
}

// Makes `a` a new string object holding x followed by y; `a` stays as it was when it cannot.
void SetConcatenation(ScriptValue* a, const char* x, const char* y) {
  size_t nx = std::strlen(x), ny = std::strlen(y);
  size_t n = nx + ny + 1;
  char small[256];
  char* buffer = n <= sizeof small ? small : static_cast<char*>(MemAlloc(n, kMemUncounted));
  if (!buffer) return;
  std::memcpy(buffer, x, nx);
  std::memcpy(buffer + nx, y, ny + 1);
  ScriptValue made{};
  SetValueString(&made, buffer);
  if (buffer != small) MemFree(buffer, n, kMemUncounted);
  if (made.type != kValueString) {
    ReleaseValue(&made);
    return;
  }
  ReleaseValue(a);
  *a = made;
}

void FormatNumber(const ScriptValue* v, char* out, size_t size) {
  if (v->type == kValueInt) std::snprintf(out, size, "%d", v->i);
  else std::snprintf(out, size, "%g", ValueDouble(v));
}

ObjectInstance* LookupObject(const ScriptEngine* engine, int32_t id) {
  if (id >= 0) return engine->classes ? FindClassRecord(engine, id) : nullptr;
  return reinterpret_cast<ObjectInstance*>(HashGet(engine->instances, ~uint32_t(id)));
}

inline bool Alive(const ObjectInstance* o) { return o && o->classRecord; }

// Value writes of the loop always store the type byte and the whole payload word, and copies
// move them as the same two fields: a later read of either then never straddles an earlier
// narrower store, which would stall the processor's store forwarding on every instruction.
inline void PutInt(ScriptValue* v, int32_t i) {
  if (v->type >= kValueFirstOwning) ReleaseOwnedValue(v);
  v->type = kValueInt;
  v->bits = uint32_t(i);
}
inline void MoveFields(ScriptValue* dest, ScriptValue* src) {
  dest->type = src->type;
  dest->bits = src->bits;
  src->type = kValueNone;
}

// LoadElement with its two common cases done in place: an integer key of a table and an index
// inside a materialised array; a plain element is copied without a call. The index slot holds
// an integer, so it owns nothing to release.
[[gnu::always_inline]] inline void LoadElementInline(const ScriptValue* container, ScriptValue* index) {
  if (index->type == kValueInt) {
    if (container->type == kValueTable && container->table) {
      const TableEntry* entry = TableFindIntEntry(container->table, index->i);
      if (!entry) {
        index->bits = 0;
      } else if (entry->dataType <= kValueCodeAddress) {
        index->type = entry->dataType;
        index->bits = entry->dataBits;
      } else {
        const ScriptValue data = TableEntryData(entry);
        CopyValue(index, &data);
      }
      return;
    }
    if (container->type == kValueArray && container->array &&
        uint32_t(index->i) < uint32_t(container->array->size) && container->array->size > 0) {
      const ScriptValue* element = &container->array->elements[index->i];
      if (element->type <= kValueCodeAddress) {
        index->type = element->type;
        index->bits = element->bits;
      } else {
        CopyValue(index, element);
      }
      return;
    }
  }
  LoadElement(container, index);
}

// StoreElementCopy with an index inside a materialised array written in place, and a table
// handed its integer or text key at once.
inline void StoreElementInline(ScriptValue* container, const ScriptValue* index, const ScriptValue* value) {
  if (index->type == kValueInt && container->type == kValueArray && container->array &&
      uint32_t(index->i) < uint32_t(container->array->size) && container->array->size > 0) {
    CopyValue(&container->array->elements[index->i], value);
    return;
  }
  if (container->type == kValueTable && (index->type == kValueInt || ValueIsText(index))) {
    if (!container->table || !TableSetNumberedInline(container->table, index, value,
                                                     gScriptEngine ? &gScriptEngine->statistics : nullptr))
      TableSet(container, index, value);
    return;
  }
  StoreElementCopy(container, index, value);
}

// The fused local steps: the variable plus or minus one, in place.
void StepVariable(ScriptValue* var, bool add, const ScriptValue* one) {
  if (var->type == kValueInt) {
    var->bits = uint32_t(add ? var->u + 1 : var->u - 1);
  } else if (var->type == kValueDouble && var->doubleCell) {
    *var->doubleCell += add ? 1.0 : -1.0;
  } else {
    // The unfused sequence steps a copy and stores it back: a value the copy changes (a null
    // or deleted object reference becomes integer 0) must step the same way.
    ScriptValue stepped{};
    CopyValue(&stepped, var);
    if (add) AddValues(&stepped, one);
    else SubtractValue(&stepped, one);
    ReleaseValue(var);
    MoveFields(var, &stepped);
  }
}

// The object a call names on the stack: an id, or an object reference.
ObjectInstance* ObjectFromSlot(const ScriptEngine* engine, const ScriptValue* v) {
  ObjectInstance* o = nullptr;
  if (v->type == kValueInt) o = LookupObject(engine, v->i);
  else if (v->type == kValueObject) o = v->object;
  return Alive(o) ? o : nullptr;
}

const MethodRecord* FindMergedMethod(const ObjectInstance* object, uint32_t name) {
  const ScriptClassRecord* c = object->classRecord;
  uint32_t lo = 0, hi = c->mergedMethodCount;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    uint32_t midName = c->mergedMethods[mid].name;
    if (midName == name) return &c->mergedMethods[mid];
    if (midName < name) lo = mid + 1;
    else hi = mid;
  }
  return nullptr;
}

int32_t NewInstance(ScriptEngine* engine, int32_t classId) {
  if (classId <= 0 || !engine->classes) return 0;
  ScriptClassRecord* c = FindClassRecord(engine, classId);
  if (!c) return 0;
  ObjectInstance* o = static_cast<ObjectInstance*>(
      PoolAllocRecord(sizeof(ObjectInstance), kNominalInstanceSize, kPoolInstance, engine));
  if (!o) return 0;
  uint32_t total = c->totalFieldCount;
  if (total) {
    // Without its variables an instance is no instance: the whole creation fails.
    o->variables = PoolAllocArray<ScriptValue>(total, kNominalValueSize, kPoolInstance, engine);
    if (!o->variables) {
      PoolFree(kPoolInstance, o, engine, kNominalInstanceSize);
      return 0;
    }
    for (const ScriptClassRecord* s = c; s; s = s->super)
      for (uint32_t j = s->inheritedFieldCount; j < s->totalFieldCount; ++j)
        InitValueFromField(&s->fields[j - s->inheritedFieldCount], &o->variables[j]);
  }
  uint32_t key = HashInsertNewKey(engine->instances, reinterpret_cast<HashValue>(o));
  if (key == 0) {
    for (uint32_t j = 0; j < total; ++j) ReleaseValue(&o->variables[j]);
    if (o->variables) PoolFree(kPoolInstance, o->variables, engine, total * kNominalValueSize);
    PoolFree(kPoolInstance, o, engine, kNominalInstanceSize);
    return 0;
  }
  o->id = -1 - int32_t(key);
  o->classRecord = c;
  o->refCount = 0;
  return o->id;
}

// Deletes the instance with the id; class records are never deleted.
void DeleteInstance(ScriptEngine* engine, int32_t id) {
  if (id >= 0 || id == -1) return;
  uint32_t key = ~uint32_t(id);
  ObjectInstance* o = reinterpret_cast<ObjectInstance*>(HashGet(engine->instances, key));
  if (!o) return;
  HashRemove(engine->instances, key);
  uint32_t total = o->classRecord ? o->classRecord->totalFieldCount : 0;
  if (o->variables) {
    ScriptValue* variables = o->variables;
    o->variables = nullptr;
    for (uint32_t j = 0; j < total; ++j) ReleaseValue(&variables[j]);
    PoolFree(kPoolInstance, variables, engine, total * kNominalValueSize);
  }
  EndObjectTasks(engine, o);
  o->id = -1;
  o->classRecord = nullptr;
  if (o->refCount == 0) PoolFree(kPoolInstance, o, engine, kNominalInstanceSize);
}

int32_t IsA(const ScriptEngine* engine, const ScriptValue* object, const ScriptValue* classId) {
  if (object->type != kValueInt || classId->type != kValueInt || classId->i <= 0) return 0;
  if (object->i == 0 || object->i == -1) return 0;
  ObjectInstance* o = LookupObject(engine, object->i);
  if (!Alive(o)) return 0;
  for (const ScriptClassRecord* c = o->classRecord; c; c = c->super)
    if (c->id == classId->i) return 1;
  return 0;
}

int32_t TextCompare(const char* a, const char* b) { return std::strcmp(a, b); }

// Stack growth: the new top slot, or null when the stack may not grow. The loop's own top
// never has its address taken, so the compiler can keep it in a register across the stores
// into values.
ScriptValue* GrowStack(ScriptEngine* engine, ScriptTask* task, int32_t slots, ScriptValue* top) {
  ScriptValue* moved = top;
  return GrowTaskStack(engine, task, slots, &moved) ? moved : nullptr;
}

}  // namespace

void AddValues(ScriptValue* a, const ScriptValue* b) {
  if (a->type == kValueInt && b->type == kValueInt) {
    a->i = int32_t(a->u + b->u);
    return;
  }
  bool aText = ValueIsText(a), bText = ValueIsText(b);
  if (aText && bText) {
    const char* x = TextOf(a);
    const char* y = TextOf(b);
    if (*x == '\0') CopyValue(a, b);
    else if (*y != '\0') SetConcatenation(a, x, y);
    return;
  }
  char number[64];
  if (aText && ValueIsNumber(b)) {
    FormatNumber(b, number, sizeof number);
    SetConcatenation(a, TextOf(a), number);
    return;
  }
  if (ValueIsNumber(a) && bText) {
    FormatNumber(a, number, sizeof number);
    SetConcatenation(a, number, TextOf(b));
    return;
  }
  if (a->type == kValueInt && b->type == kValueDouble) {
    SetValueDouble(a, double(a->i) + ValueDouble(b));
    return;
  }
  if (a->type == kValueDouble && ValueIsNumber(b)) {
    double add = b->type == kValueInt ? double(b->i) : ValueDouble(b);
    if (a->doubleCell) *a->doubleCell += add;
    else SetValueDouble(a, add);
  }
}

void AddIntToValue(ScriptValue* value, int32_t k) {
  if (value->type == kValueInt) {
    value->i = int32_t(value->u + uint32_t(k));
  } else if (value->type == kValueDouble) {
    if (value->doubleCell) *value->doubleCell += k;
  } else if (ValueIsText(value)) {
    char number[16];
    std::snprintf(number, sizeof number, "%d", k);
    SetConcatenation(value, TextOf(value), number);
  }
}

void LoadElement(const ScriptValue* container, ScriptValue* index) {
  if (container->type == kValueArray && index->type == kValueInt) {
    ScriptValue* element = ArrayElementPtr(const_cast<ScriptValue*>(container), index->i);
    if (element) CopyValue(index, element);
    else SetValueInt(index, 0);
    return;
  }
  if (ValueIsText(container) && index->type == kValueInt) {
    const char* text = TextOf(container);
    int32_t i = index->i;
    SetValueInt(index, i >= 0 && size_t(i) < std::strlen(text) ? uint8_t(text[i]) : 0);
    return;
  }
  if (container->type == kValueTable && (index->type == kValueInt || ValueIsText(index))) {
    TableEntry* entry = TableFindEntry(container, index);
    if (entry) {
      const ScriptValue data = TableEntryData(entry);
      CopyValue(index, &data);
    } else {
      SetValueInt(index, 0);
    }
    return;
  }
  SetValueInt(index, 0);
}

void StoreElementCopy(ScriptValue* container, const ScriptValue* index, const ScriptValue* value) {
  if (container->type == kValueArray && index->type == kValueInt) {
    ArrayWrite(container, index->i, value);
  } else if (container->type == kValueTable && (index->type == kValueInt || ValueIsText(index))) {
    TableSet(container, index, value);
  }
}

void StoreElementMove(ScriptValue* container, const ScriptValue* index, ScriptValue* value) {
  if (container->type == kValueArray && index->type == kValueInt) {
    ScriptValue* element = ArrayElementPtr(container, index->i);
    if (element) {
      ReleaseValue(element);
      MoveValue(element, value);
      return;
    }
  }
  StoreElementCopy(container, index, value);
  ReleaseValue(value);
}

// Every handler keeps its own dispatch jump: merged tails would funnel all dispatches through
// one indirect jump, which the processor then predicts far worse than one jump per handler.
#if defined(__GNUC__) && !defined(__clang__)
#define KEEP_DISPATCH_JUMPS __attribute__((optimize("no-crossjumping", "no-gcse")))
#else
#define KEEP_DISPATCH_JUMPS
#endif

KEEP_DISPATCH_JUMPS int32_t ExecuteByteCode(ScriptEngine* engine, ScriptTask* task) {
  const uint8_t* const code = engine->code;
  const uint32_t codeSize = engine->codeSize;
  ScriptClassRecord* const global = engine->classes;
  const uint8_t* ip = code ? code + task->pc : nullptr;  // the next code byte to read
  ScriptValue* top = task->stackTop + task->sp;
  ScriptValue* bottom = task->stackTop;               // one past the deepest slot
  // The lowest top from which every instruction may still push kHeadroom slots unchecked.
  ScriptValue* room = task->stackTop - task->stackSize + kHeadroom;
  ObjectInstance* self = task->thisObject;
  // From an opcode to its byte in the fused-offset map.
  const intptr_t localFusionMapDistance = code ? LocalFusionMap(engine) - code : 0;
  ScriptValue one{};
  one.type = kValueInt;
  one.i = 1;

#define PC() uint32_t(ip - code)
#define SAVE() (task->pc = PC(), task->sp = int32_t(top - task->stackTop), task->thisObject = self)
#define REBASE() (bottom = task->stackTop, room = task->stackTop - task->stackSize + kHeadroom)
#define RELOAD() (top = task->stackTop + task->sp, REBASE())
#define FAIL()              \
  do {                      \
    SAVE();                 \
    EndTask(engine, task);  \
    return 1;               \
  } while (0)
#define DEPTH() (bottom - top)
#define POP() (ReleaseValue(top), ++top)
#define JUMP(t)                       \
  do {                                \
    uint32_t target_ = (t);           \
    if (__builtin_expect(target_ >= codeSize, 0)) FAIL(); \
    ip = code + target_;              \
  } while (0)
  // Variable operands: L counts from the top (1 is the top), G the globals, M the running object.
#define LOCAL(var, i)                                                                       \
  uintptr_t lo_ = uintptr_t(intptr_t(i) - 1) * sizeof(ScriptValue);                        \
  if (__builtin_expect(lo_ >= uintptr_t(reinterpret_cast<char*>(bottom) - reinterpret_cast<char*>(top)), 0)) \
    FAIL();                                                                                 \
  ScriptValue* var = reinterpret_cast<ScriptValue*>(reinterpret_cast<char*>(top) + lo_)
#define GLOBAL(var, i)                                                       \
  int32_t gi_ = (i);                                                         \
  if (gi_ < 0 || uint32_t(gi_) >= global->totalFieldCount || !global->variables) FAIL(); \
  ScriptValue* var = &global->variables[gi_]
#define MEMBER(var, i)                                                                     \
  int32_t mi_ = (i);                                                                       \
  if (!Alive(self) || !self->variables || mi_ < 0 ||                                       \
      uint32_t(mi_) >= self->classRecord->totalFieldCount)                                 \
    FAIL();                                                                                \
  ScriptValue* var = &self->variables[mi_]
#define VARIABLE(var, kind, i)        \
  ScriptValue* var;                   \
  {                                   \
    if ((kind) == 0) {                \
      LOCAL(v_, i);                   \
      var = v_;                       \
    } else if ((kind) == 1) {         \
      GLOBAL(v_, i);                  \
      var = v_;                       \
    } else {                          \
      MEMBER(v_, i);                  \
      var = v_;                       \
    }                                 \
  }

  if (!code || !global || task->pc >= codeSize || task->sp > 0 || -task->sp > int32_t(task->stackSize)) {
    EndTask(engine, task);
    return 1;
  }

  // One handler table; every handler ends in its own copy of the dispatch, so each jump
  // between handlers is predicted on its own.
  static void* table[256];
  if (!table[0]) {
    for (void*& entry : table) entry = &&L_BAD;
      table[1] = &&L_1; table[2] = &&L_2; table[3] = &&L_3; table[4] = &&L_4; table[5] = &&L_5;
      table[6] = &&L_6; table[7] = &&L_7; table[8] = &&L_8; table[9] = &&L_9; table[10] = &&L_10;
      table[11] = &&L_11; table[12] = &&L_12; table[13] = &&L_13; table[14] = &&L_14; table[15] = &&L_15;
      table[16] = &&L_16; table[17] = &&L_17; table[18] = &&L_18; table[19] = &&L_19; table[20] = &&L_20;
      table[21] = &&L_21; table[22] = &&L_22; table[23] = &&L_23; table[24] = &&L_24; table[25] = &&L_25;
      table[26] = &&L_26; table[27] = &&L_27; table[28] = &&L_28; table[29] = &&L_29; table[30] = &&L_30;
      table[31] = &&L_31; table[32] = &&L_32; table[33] = &&L_33; table[34] = &&L_34; table[35] = &&L_35;
      table[36] = &&L_36; table[40] = &&L_40; table[41] = &&L_41; table[42] = &&L_42; table[43] = &&L_43;
      table[44] = &&L_44; table[45] = &&L_45; table[46] = &&L_46; table[47] = &&L_47; table[48] = &&L_48;
      table[50] = &&L_50; table[51] = &&L_51; table[52] = &&L_52; table[53] = &&L_53; table[54] = &&L_54;
      table[55] = &&L_55; table[56] = &&L_56; table[57] = &&L_57; table[58] = &&L_58; table[70] = &&L_70;
      table[71] = &&L_71; table[72] = &&L_72; table[73] = &&L_73; table[74] = &&L_74; table[75] = &&L_75;
      table[76] = &&L_76; table[77] = &&L_77; table[78] = &&L_78; table[79] = &&L_79; table[80] = &&L_80;
      table[81] = &&L_81; table[82] = &&L_82; table[83] = &&L_83; table[84] = &&L_84; table[85] = &&L_85;
      table[86] = &&L_86; table[87] = &&L_87; table[88] = &&L_88; table[89] = &&L_89; table[90] = &&L_90;
      table[91] = &&L_91; table[92] = &&L_92; table[93] = &&L_93; table[94] = &&L_94; table[95] = &&L_95;
      table[100] = &&L_100; table[101] = &&L_101; table[102] = &&L_102; table[110] = &&L_110;
      table[111] = &&L_111; table[120] = &&L_120; table[121] = &&L_121; table[130] = &&L_130;
      table[131] = &&L_131; table[132] = &&L_132; table[133] = &&L_133; table[134] = &&L_134;
      table[135] = &&L_135; table[136] = &&L_136; table[140] = &&L_140; table[141] = &&L_141;
      table[142] = &&L_142; table[143] = &&L_143; table[144] = &&L_144; table[145] = &&L_145;
      table[146] = &&L_146; table[147] = &&L_147; table[148] = &&L_148; table[149] = &&L_149;
      table[150] = &&L_150; table[151] = &&L_151; table[152] = &&L_152; table[153] = &&L_153;
      table[160] = &&L_160; table[161] = &&L_161; table[162] = &&L_162; table[163] = &&L_163;
      table[164] = &&L_164; table[165] = &&L_165; table[166] = &&L_166; table[167] = &&L_167;
      table[170] = &&L_170; table[171] = &&L_171; table[172] = &&L_172; table[173] = &&L_173;
      table[174] = &&L_174; table[175] = &&L_175; table[176] = &&L_176; table[177] = &&L_177;
      static void* const compareJumps[] = {&&L_LOCALS_COMPARE_JUMP_0, &&L_LOCALS_COMPARE_JUMP_1,
                                           &&L_LOCALS_COMPARE_JUMP_2, &&L_LOCALS_COMPARE_JUMP_3,
                                           &&L_LOCALS_COMPARE_JUMP_4, &&L_LOCALS_COMPARE_JUMP_5};
      static void* const constCompareJumps[] = {&&L_LOCAL_CONST_COMPARE_JUMP_0, &&L_LOCAL_CONST_COMPARE_JUMP_1,
                                                &&L_LOCAL_CONST_COMPARE_JUMP_2, &&L_LOCAL_CONST_COMPARE_JUMP_3,
                                                &&L_LOCAL_CONST_COMPARE_JUMP_4, &&L_LOCAL_CONST_COMPARE_JUMP_5};
      static void* const ariths[] = {&&L_LOCALS_ARITH_0, &&L_LOCALS_ARITH_1, &&L_LOCALS_ARITH_2};
      static void* const topAriths[] = {&&L_TOP_ARITH_LOCAL_0, &&L_TOP_ARITH_LOCAL_1, &&L_TOP_ARITH_LOCAL_2};
      for (int k = 0; k < 6; ++k) table[kOpLocalsCompareJump + k] = compareJumps[k];
      for (int k = 0; k < 3; ++k) table[kOpLocalsArith + k] = ariths[k];
      for (int k = 0; k < 3; ++k) table[kOpTopArithLocal + k] = topAriths[k];
      table[kOpLocalsStoreElement] = &&L_LOCALS_STORE_ELEMENT;
      table[kOpLocalElement] = &&L_LOCAL_ELEMENT;
      for (int k = 0; k < 6; ++k) table[kOpLocalConstCompareJump + k] = constCompareJumps[k];
      table[kOpLocalStepJump] = &&L_LOCAL_STEP_JUMP_ADD;
      table[kOpLocalStepJump + 1] = &&L_LOCAL_STEP_JUMP_SUBTRACT;
      static void* const stepCompareJumps[] = {
          &&L_LOCAL_STEP_ADD_COMPARE_JUMP_0, &&L_LOCAL_STEP_SUBTRACT_COMPARE_JUMP_0,
          &&L_LOCAL_STEP_ADD_COMPARE_JUMP_1, &&L_LOCAL_STEP_SUBTRACT_COMPARE_JUMP_1,
          &&L_LOCAL_STEP_ADD_COMPARE_JUMP_2, &&L_LOCAL_STEP_SUBTRACT_COMPARE_JUMP_2,
          &&L_LOCAL_STEP_ADD_COMPARE_JUMP_3, &&L_LOCAL_STEP_SUBTRACT_COMPARE_JUMP_3,
          &&L_LOCAL_STEP_ADD_COMPARE_JUMP_4, &&L_LOCAL_STEP_SUBTRACT_COMPARE_JUMP_4,
          &&L_LOCAL_STEP_ADD_COMPARE_JUMP_5, &&L_LOCAL_STEP_SUBTRACT_COMPARE_JUMP_5};
      for (int k = 0; k < 12; ++k) table[kOpLocalStepCompareJump + k] = stepCompareJumps[k];
      static void* const loopArithJumps[] = {
          &&L_LOCAL_LOOP_ADD_ARITH_0, &&L_LOCAL_LOOP_SUBTRACT_ARITH_0, &&L_LOCAL_LOOP_ADD_ARITH_1,
          &&L_LOCAL_LOOP_SUBTRACT_ARITH_1, &&L_LOCAL_LOOP_ADD_ARITH_2, &&L_LOCAL_LOOP_SUBTRACT_ARITH_2,
          &&L_LOCAL_LOOP_ADD_ARITH_3, &&L_LOCAL_LOOP_SUBTRACT_ARITH_3, &&L_LOCAL_LOOP_ADD_ARITH_4,
          &&L_LOCAL_LOOP_SUBTRACT_ARITH_4, &&L_LOCAL_LOOP_ADD_ARITH_5, &&L_LOCAL_LOOP_SUBTRACT_ARITH_5};
      for (int k = 0; k < 12; ++k) table[kOpLocalLoopArith + k] = loopArithJumps[k];
  }
  // The running opcode, for the handlers that serve several; read back from the code so no
  // register is tied up by it (every handler reads it before it moves ip).
#define OP() uint32_t(ip[-1])
#define ROOM()                                                                  \
  if (__builtin_expect(top < room, 0)) {                                        \
    ScriptValue* grown_ = GrowStack(engine, task, int32_t(DEPTH()) + kHeadroom, top); \
    if (!grown_) FAIL();                                                        \
    top = grown_;                                                               \
    REBASE();                                                                   \
  }
  // Handlers that pop check the depth they read, handlers that push the room they need.
#define NEED(n) \
  if (__builtin_expect(DEPTH() < (n), 0)) FAIL()
#define NEXT()              \
  do {                      \
    goto* table[*ip++];     \
  } while (0)

  NEXT();
  {
    {
      L_1: L_2: L_3: L_4:
        ROOM();
        // Slots above the top are always empty: a push needs no release.
        --top;
        top->type = kValueInt;
        top->bits = OP() - 1;
        NEXT();
      L_5:
        ROOM();
        --top;
        PutInt(top, int8_t(ip[0]));
        ip += 1;
        NEXT();
      L_6:
        ROOM();
        --top;
        PutInt(top, I16(ip));
        ip += 2;
        NEXT();
      L_7:
        ROOM();
        --top;
        PutInt(top, I32(ip));
        ip += 4;
        NEXT();
      L_8: L_9:
        ROOM();
        --top;
        SetValueDouble(top, OP() == 8 ? 0.0 : 1.0);
        NEXT();
      L_10: {
        ROOM();
        uint64_t bits = uint64_t(U32(ip)) | (uint64_t(U32(ip + 4)) << 32);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        --top;
        SetValueDouble(top, d);
        ip += 8;
        NEXT();
      }
      L_11:
        ROOM();
        --top;
        SetValuePoolString(top, U32(ip));
        ip += 4;
        NEXT();
      L_12:
        NEXT();
      L_13: {  // the commonest instruction gets its own handler
        ROOM();
        LOCAL(var, I16(ip));
        --top;
        // Slots above the top are always empty, so a plain value is copied without a release.
        if (var->type < kValueFirstOwning) {
          top->type = var->type;
          top->bits = var->bits;
        } else {
          CopyValue(top, var);
        }
        ip += 2;
        NEXT();
      }
      L_14: L_15: {
        ROOM();
        VARIABLE(var, OP() - 13, I16(ip));
        --top;
        CopyValue(top, var);
        ip += 2;
        NEXT();
      }
      L_16:  // [container][index] -> [element]
        NEED(2);
        LoadElementInline(top, top + 1);
        POP();
        NEXT();
      L_140: {  // element of a local container: the table and array loops
        NEED(1);
        LOCAL(var, I16(ip));
        LoadElementInline(var, top);
        ip += 3;
        NEXT();
      }
      L_17: L_18: L_19: L_141: L_142: {
        NEED(1);
        int kind = OP() < 140 ? OP() - 17 : OP() - 140;
        VARIABLE(var, kind, I16(ip));
        LoadElementInline(var, top);
        ip += OP() < 140 ? 2 : 3;
        NEXT();
      }
      L_20: L_21: L_22: {
        NEED(1);
        VARIABLE(var, OP() - 20, I16(ip));
        CopyValue(var, top);
        ip += 2;
        NEXT();
      }
      L_23:  // [container][index][value] -> [value]
        NEED(3);
        StoreElementCopy(top, top + 1, top + 2);
        POP();
        POP();
        NEXT();
      L_24: {
        NEED(2);
        LOCAL(var, I16(ip));
        StoreElementInline(var, top, top + 1);
        POP();
        ip += 2;
        NEXT();
      }
      L_25: L_26: L_143: L_144: L_145: {
        NEED(2);
        int kind = OP() < 140 ? OP() - 24 : OP() - 143;
        VARIABLE(var, kind, I16(ip));
        StoreElementInline(var, top, top + 1);
        POP();
        ip += OP() < 140 ? 2 : 3;
        NEXT();
      }
      L_146: {
        NEED(1);
        LOCAL(var, I16(ip));
        ip += 3;
        if (var != top) {
          if (var->type >= kValueFirstOwning) ReleaseOwnedValue(var);
          MoveFields(var, top);
          ++top;
          NEXT();
        }
        POP();
        NEXT();
      }
      L_27: L_28: L_29: L_147: L_148: {
        NEED(1);
        int kind = OP() < 140 ? OP() - 27 : OP() - 146;
        VARIABLE(var, kind, I16(ip));
        if (var != top) {
          ReleaseValue(var);
          MoveFields(var, top);
        }
        POP();
        ip += OP() < 140 ? 2 : 3;
        NEXT();
      }
      L_30: L_149:  // [container][index][value] -> []
        NEED(3);
        StoreElementMove(top, top + 1, top + 2);
        POP();
        POP();
        POP();
        ip += OP() == 149 ? 1 : 0;
        NEXT();
      L_31: L_32: L_33: L_151: L_152: L_153: {
        NEED(2);
        int kind = OP() < 140 ? OP() - 31 : OP() - 151;
        VARIABLE(var, kind, I16(ip));
        StoreElementMove(var, top, top + 1);
        POP();
        POP();
        ip += OP() < 140 ? 2 : 4;
        NEXT();
      }
      L_34:
        ROOM(); NEED(1);
        --top;
        CopyValue(top, top + 1);
        NEXT();
      L_35: {
        uint16_t n = U16(ip);
        if (n > DEPTH()) FAIL();
        for (uint16_t k = 0; k < n; ++k) POP();
        ip += 2;
        NEXT();
      }
      L_36:
        NEED(1);
        POP();
        NEXT();
      L_40: {  // element i is the value i slots below the top
        ROOM();
        int16_t n = I16(ip);
        if (n < 0 || n > DEPTH()) FAIL();
        ScriptValue made{};
        AllocArrayValue(&made, n);
        for (int16_t i = 0; i < n; ++i) {
          ScriptValue* element = ArrayElementPtr(&made, i);
          if (element) MoveFields(element, top + i);
          else ReleaseValue(top + i);
        }
        top += n;
        --top;
        *top = made;
        ip += 2;
        NEXT();
      }
      L_41: {  // [key0][value0][key1][value1]... -> [table]
        ROOM();
        int16_t n = I16(ip);
        if (n < 0 || 2 * int32_t(n) > DEPTH()) FAIL();
        ScriptValue made{};
        AllocTableValue(&made);
        for (int16_t i = 0; i < n; ++i) TableSet(&made, top + 2 * i, top + 2 * i + 1);
        for (int32_t i = 0; i < 2 * n; ++i) POP();
        --top;
        *top = made;
        ip += 2;
        NEXT();
      }
      L_42: {
        NEED(1);
        int32_t size;
        if (top->type == kValueArray) size = GetArraySize(top);
        else if (ValueIsText(top)) size = int32_t(std::strlen(TextOf(top)));
        else size = GetTableCount(top);
        PutInt(top, size);
        NEXT();
      }
      L_43:
        NEED(1);
        SAVE();
        PutInt(top, NewInstance(engine, top->type == kValueInt ? top->i : 0));
        NEXT();
      L_44:
        ROOM();
        SAVE();
        --top;
        PutInt(top, NewInstance(engine, I16(ip)));
        ip += 2;
        NEXT();
      L_45: {
        NEED(1);
        int32_t id = 0;
        if (top->type == kValueObject) id = top->object ? top->object->id : 0;
        else id = top->i;
        ReleaseValue(top);  // the top becomes type 0, and its reference no longer holds the record
        bool ownObject = self && self->id == id && id < -1;
        SAVE();
        DeleteInstance(engine, id);
        if (ownObject) return 1;  // the running task ran on it and has been ended
        NEXT();
      }
      L_46:
        ROOM();
        --top;
        PutInt(top, self ? self->id : 0);
        NEXT();
      L_47:  // [class id][object id] -> [0 or 1]
        NEED(2);
        PutInt(top + 1, IsA(engine, top + 1, top));
        POP();
        NEXT();
      L_48:
        ip += 2;
        NEXT();
      L_50:
        JUMP(U32(ip));
        NEXT();
      L_51: L_52: {
        NEED(1);
        bool truth = ValueIsTrue(top) != 0;
        POP();
        if (truth == (OP() == 51)) JUMP(U32(ip));
        else ip += 4;
        NEXT();
      }
      // Two integers take their opcode's own short path; every other pair the shared one.
#define INT_COMPARE_JUMP(label, test)                                  \
  label:                                                               \
    NEED(2);                                                           \
    if (top[1].type == kValueInt && top->type == kValueInt) {          \
      int32_t a_ = top[1].i, b_ = top->i;                              \
      top[0].type = kValueNone;                                        \
      top[1].type = kValueNone;                                        \
      top += 2;                                                        \
      if (test) JUMP(U32(ip));                                         \
      else ip += 4;                                                    \
      NEXT();                                                          \
    }                                                                  \
    goto L_COMPARE_JUMP;
      INT_COMPARE_JUMP(L_53, a_ != b_)
      INT_COMPARE_JUMP(L_54, a_ == b_)
      INT_COMPARE_JUMP(L_55, a_ < b_)
      INT_COMPARE_JUMP(L_56, a_ > b_)
      INT_COMPARE_JUMP(L_57, !(a_ > b_))
      INT_COMPARE_JUMP(L_58, !(a_ < b_))
#undef INT_COMPARE_JUMP
      L_COMPARE_JUMP: {
        ScriptValue* a = top + 1;
        ScriptValue* b = top;
        bool taken;
        switch (OP()) {
          case 53: taken = !ValuesEqual(a, b); break;
          case 54: taken = ValuesEqual(a, b) != 0; break;
          case 55: taken = ValueLess(a, b) != 0; break;
          case 56: taken = ValueGreater(a, b) != 0; break;
          case 57: taken = !ValueGreater(a, b); break;
          default: taken = !ValueLess(a, b); break;
        }
        POP();
        POP();
        if (taken) JUMP(U32(ip));
        else ip += 4;
        NEXT();
      }
      L_70:
        NEED(2);
        if (top[1].type == kValueInt && top->type == kValueInt) {
          top[1].bits = uint32_t(top[1].u + top->u);
          top->type = kValueNone;
          ++top;
          NEXT();
        }
        AddValues(top + 1, top);
        POP();
        NEXT();
      // Immediate steps: an integer top is stepped here, with the operand width of its own
      // opcode; every other type through the shared operation.
#define INT_IMMEDIATE(label, operand, width, sign, shared)                \
  label: {                                                                \
    NEED(1);                                                              \
    int32_t k = (operand);                                                \
    ip += (width);                                                        \
    if (top->type == kValueInt) {                                         \
      top->bits = uint32_t(top->u sign uint32_t(k));                      \
      NEXT();                                                             \
    }                                                                     \
    shared(top, k);                                                       \
    NEXT();                                                               \
  }
      INT_IMMEDIATE(L_71, int8_t(ip[0]), 1, +, AddIntToValue)
      INT_IMMEDIATE(L_72, I16(ip), 2, +, AddIntToValue)
      INT_IMMEDIATE(L_73, I32(ip), 4, +, AddIntToValue)
      INT_IMMEDIATE(L_74, 1, 0, +, AddIntToValue)
      INT_IMMEDIATE(L_76, int8_t(ip[0]), 1, -, SubtractImmediate)
      INT_IMMEDIATE(L_77, I16(ip), 2, -, SubtractImmediate)
      INT_IMMEDIATE(L_78, I32(ip), 4, -, SubtractImmediate)
      INT_IMMEDIATE(L_79, 1, 0, -, SubtractImmediate)
#undef INT_IMMEDIATE
      L_75:
        NEED(2);
        if (top[1].type == kValueInt && top->type == kValueInt) top[1].bits = uint32_t(top[1].u - top->u);
        else SubtractValue(top + 1, top);
        POP();
        NEXT();
      // Two integers: the product wraps, and the quotient and remainder never trap (a zero
      // divisor gives 0, the most negative value by -1 wraps), as the shared operations do.
      L_80:
        NEED(2);
        if (top[1].type == kValueInt && top->type == kValueInt) {
          top[1].bits = uint32_t(top[1].u * top->u);
          top->type = kValueNone;
          ++top;
          NEXT();
        }
        MultiplyValue(top + 1, top);
        POP();
        NEXT();
      L_81:
        NEED(2);
        if (top[1].type == kValueInt && top->type == kValueInt) {
          top[1].bits = uint32_t(WrappingDivide(top[1].i, top->i));
          top->type = kValueNone;
          ++top;
          NEXT();
        }
        DivideValue(top + 1, top);
        POP();
        NEXT();
      L_82:
        NEED(2);
        if (top[1].type == kValueInt && top->type == kValueInt) {
          top[1].bits = uint32_t(WrappingRemainder(top[1].i, top->i));
          top->type = kValueNone;
          ++top;
          NEXT();
        }
        ModuloValue(top + 1, top);
        POP();
        NEXT();
      L_83: L_84: L_85: L_88: L_89: {
        NEED(2);
        ScriptValue* a = top + 1;
        if (a->type == kValueInt && top->type == kValueInt) {
          uint32_t x = a->u, y = top->u;
          switch (OP()) {
            case 83: a->u = x & y; break;
            case 84: a->u = x | y; break;
            case 85: a->u = x ^ y; break;
            case 88: a->u = x << (y & 31); break;
            default: a->i = a->i >> (y & 31); break;
          }
        }
        POP();
        NEXT();
      }
      L_86: {
        NEED(2);
        bool both = ValueIsTrue(top + 1) && ValueIsTrue(top);
        PutInt(top + 1, both ? 1 : 0);
        POP();
        NEXT();
      }
      L_87: {
        NEED(2);
        bool either = ValueIsTrue(top + 1) || ValueIsTrue(top);
        PutInt(top + 1, either ? 1 : 0);
        POP();
        NEXT();
      }
      L_90: L_91: L_92: L_93: L_94: L_95: {
        NEED(2);
        ScriptValue* a = top + 1;
        ScriptValue* b = top;
        int32_t r;
        if (a->type == kValueInt && b->type == kValueInt) {
          switch (OP()) {
            case 90: r = a->i != b->i; break;
            case 91: r = a->i == b->i; break;
            case 92: r = a->i < b->i; break;
            case 93: r = a->i > b->i; break;
            case 94: r = !(a->i > b->i); break;
            default: r = !(a->i < b->i); break;
          }
        } else {
          switch (OP()) {
            case 90: r = !ValuesEqual(a, b); break;
            case 91: r = ValuesEqual(a, b) != 0; break;
            case 92: r = ValueLess(a, b) != 0; break;
            case 93: r = ValueGreater(a, b) != 0; break;
            case 94: r = !ValueGreater(a, b); break;
            default: r = !ValueLess(a, b); break;
          }
        }
        PutInt(a, r);
        POP();
        NEXT();
      }
      L_100:
        NEED(1);
        PutInt(top, ValueIsTrue(top) ? 0 : 1);
        NEXT();
      L_101:
        NEED(1);
        NegateValue(top);
        NEXT();
      L_102:
        NEED(1);
        if (top->type == kValueInt) top->u = ~top->u;
        NEXT();
      L_110: {
        int32_t n = I16(ip);
        int32_t inUse = int32_t(DEPTH());
        ip += 2;
        if (int64_t(task->stackSize) < int64_t(inUse) + n + 4) {
          ScriptValue* grown = GrowStack(engine, task, inUse + n + 4, top);
          if (!grown) FAIL();
          top = grown;
          REBASE();
        }
        NEXT();
      }
      L_111: {  // launch: the running function forks into a new task that runs at once
        ROOM();
        --top;
        top->type = kValueNone;
        top->bits = 0;
        SAVE();
        ScriptValue* frame = top + 1;
        while (frame < bottom && frame->type != kValueCodeAddress) ++frame;
        if (frame + 1 >= bottom || frame[1].type != kValueInt || frame[1].i < 0 ||
            frame[1].i > bottom - (frame + 2))
          FAIL();
        ScriptValue* frameEnd = frame + 2 + frame[1].i;
        int32_t copied = int32_t(frameEnd - top);
        const MethodRecord* method = FindMethodByCode(self, PC());
        int64_t wanted = int64_t(method ? method->frameSize : 0) + frame[1].i + 7;
        if (wanted < copied + kHeadroom + 4) wanted = copied + kHeadroom + 4;
        ScriptTask* child = wanted <= int64_t(kTaskStackLimit) ? NewTask(engine, int32_t(wanted)) : nullptr;
        if (!child) {
          // No task to run the fork: the parent goes on alone and sees no child id.
          PutInt(top, -1);
          NEXT();
        }
        ScriptValue* childTop = child->stackTop - copied;
        for (int32_t k = 0; k < copied; ++k) {
          if (top[k].type == kValueCodeAddress) SetValueCodeAddress(&childTop[k], 0);
          else CopyValue(&childTop[k], &top[k]);
        }
        PutInt(&childTop[0], 0);
        child->sp = -copied;
        child->pc = PC();
        child->thisObject = self;
        PutInt(top, child->id);
        SAVE();
        int32_t parentId = task->id;
        StartTask(engine, child);
        engine->currentTask = child;
        ExecuteByteCode(engine, child);
        if (FindTask(engine, parentId) != task) return 1;
        engine->currentTask = task;
        RELOAD();
        NEXT();
      }
      L_120: {
        NEED(1);
        uint32_t n = U16(ip);
        if (uint64_t(PC()) + 10 + 4 * uint64_t(n) > codeSize) FAIL();
        int32_t base = I32(ip + 2);
        uint32_t target = U32(ip + 6);
        if (top->type == kValueInt) {
          int64_t d = int64_t(top->i) - base;
          if (d >= 0 && d < int64_t(n)) target = U32(ip + 10 + 4 * d);
        }
        POP();
        JUMP(target);
        NEXT();
      }
      L_121: {
        NEED(1);
        uint32_t nInt = U16(ip), nText = U16(ip + 2);
        if (uint64_t(PC()) + 8 + 8 * (uint64_t(nInt) + nText) > codeSize) FAIL();
        uint32_t target = U32(ip + 4);
        const uint8_t* ints = ip + 8;
        const uint8_t* texts = ints + 8 * nInt;
        if (top->type == kValueInt && nInt > 0) {
          int32_t v = top->i;
          uint32_t lo = 0, hi = nInt;
          while (lo < hi) {
            uint32_t mid = lo + (hi - lo) / 2;
            int32_t key = I32(ints + 8 * mid);
            if (key == v) {
              target = U32(ints + 8 * mid + 4);
              break;
            }
            if (key < v) lo = mid + 1;
            else hi = mid;
          }
        } else if (ValueIsText(top) && nText > 0) {
          const char* text = TextOf(top);
          uint32_t lo = 0, hi = nText;
          while (lo < hi) {
            uint32_t mid = lo + (hi - lo) / 2;
            int32_t c = TextCompare(text, SB_String(engine, U32(texts + 8 * mid)));
            if (c == 0) {
              target = U32(texts + 8 * mid + 4);
              break;
            }
            if (c > 0) lo = mid + 1;
            else hi = mid;
          }
        }
        POP();
        JUMP(target);
        NEXT();
      }
      L_130: {  // native call: [count][arg0][arg1]...
        NEED(1);
        uint32_t module = U16(ip), function = U16(ip + 2);
        ip += 4;
        int32_t count = top->type == kValueInt ? top->i : -1;
        if (count < 0 || count >= DEPTH() || count > 0xFFFF) FAIL();
        task->hasResult = 0;
        task->argCount = uint16_t(count);
        task->args = top + 1;
        const NativeModuleRow* row = module < uint32_t(kModuleRowCount) && int32_t(module) < engine->moduleCount
                                         ? &engine->modules[module]
                                         : nullptr;
        if (module == 0 || !row || !row->dispatcher) {
          ReturnInt(task, engine, 0);
        } else {
          SAVE();
          const int32_t taskId = task->id;
          if (row->dispatcher(engine->seModuleIndex, task, int32_t(function), count, top + 1) == 0) return 0;
          // A dispatcher may end its caller without saying so (a script event it raised killed
          // the task): the task must then not be touched again.
          if (FindTask(engine, taskId) != task) return 1;
          RELOAD();
        }
        if (task->hasResult) {
          ScriptValue* deepest = top + count;
          while (top < deepest) POP();
          ReleaseValue(deepest);
          MoveFields(deepest, &task->result);
          task->hasResult = 0;
        } else {
          SAVE();
          MakeTaskWait(engine, task);
          return 1;
        }
        NEXT();
      }
      L_131: {  // [result][saved object][return address][count][arguments...]
        NEED(1);
        // The usual return, into a live caller inside this task's code, in one pass; every
        // other case (outermost frame, gone caller, damaged frame) takes the full path below.
        if (DEPTH() >= 4 && top[1].type == kValueObject && top[2].type == kValueCodeAddress &&
            top[3].type == kValueInt) {
          ObjectInstance* caller = top[1].object;
          uint32_t back = top[2].u;
          uint32_t count = top[3].u;
          if (back != 0 && back < codeSize && Alive(caller) && count <= uint32_t(DEPTH() - 4)) {
            ScriptValue* deepest = top + 3 + count;
            // The caller lives, so giving up its reference never frees it; the return address
            // and the count own nothing.
            if (caller->refCount > 0) caller->refCount--;
            top[1].type = kValueNone;
            top[2].type = kValueNone;
            if (count) {
              top[3].type = kValueNone;
              for (ScriptValue* s = top + 4; s < deepest; ++s) ReleaseValue(s);
              if (deepest->type >= kValueFirstOwning) ReleaseOwnedValue(deepest);
            }
            MoveFields(deepest, top);
            top = deepest;
            self = caller;
            ip = code + back;
            NEXT();
          }
        }
        for (;;) {
          if (DEPTH() >= 3 && top[2].type == kValueCodeAddress && top[2].u == 0) {
            SAVE();
            FreeTask(engine, task);
            return 1;
          }
          bool alive = DEPTH() >= 4 && top[1].type == kValueObject && Alive(top[1].object) &&
                       top[2].type == kValueCodeAddress;
          if (alive) {
            int32_t count = top[3].type == kValueInt ? top[3].i : -1;
            uint32_t back = top[2].u;
            if (count < 0 || count > DEPTH() - 4 || back >= codeSize) FAIL();
            ObjectInstance* caller = top[1].object;
            ScriptValue* deepest = top + 3 + count;
            // The saved object lives, so giving up its reference never frees it; the return
            // address and the count own nothing.
            if (caller->refCount > 0) caller->refCount--;
            top[1].type = kValueNone;
            top[2].type = kValueNone;
            if (deepest != top + 3) {
              top[3].type = kValueNone;
              for (ScriptValue* s = top + 4; s <= deepest; ++s) ReleaseValue(s);
            }
            MoveFields(deepest, top);
            top = deepest;
            self = caller;
            ip = code + back;
            break;
          }
          // The frame's object is gone: unwind to the next frame whose object lives.
          ReleaseValue(top);
          ScriptValue* s = top + 1;
          for (;;) {
            if (s + 1 >= bottom) break;
            if (s->type == kValueObject && s[1].type == kValueCodeAddress) {
              if (s[1].u == 0 || Alive(s->object)) break;
            }
            ReleaseValue(s);
            ++s;
          }
          if (s + 1 >= bottom) {
            while (s < bottom) ReleaseValue(s++);
            top = bottom;
            FAIL();
          }
          top = s - 1;
          PutInt(top, 0);
        }
        NEXT();
      }
      L_132: L_136: {
        ROOM();
        uint32_t target = U32(ip);
        if (target >= codeSize) FAIL();
        // Both slots are empty above the top: plain stores, and the caller's reference counted.
        --top;
        top->type = kValueCodeAddress;
        top->bits = PC() + 4;
        --top;
        top->type = kValueObject;
        top->bits = 0;
        if (Alive(self)) {
          self->refCount++;
          top->object = self;
        }
        if (OP() == 132) self = global;
        ip = code + target;
        NEXT();
      }
      L_133: L_134: L_135: {
        ROOM(); NEED(kDepth.need[OP()]);
        // 133/134: [id][count][args]; 135: [count][args] on the running object.
        int idSlots = OP() == 135 ? 0 : 1;
        ScriptValue* countSlot = top + idSlots;
        int32_t count = countSlot->type == kValueInt ? countSlot->i : -1;
        if (count < 0 || count > DEPTH() - 1 - idSlots) FAIL();
        ObjectInstance* object = OP() == 135 ? (Alive(self) ? self : nullptr) : ObjectFromSlot(engine, top);
        uint32_t entry = 0;
        uint32_t params = 0;
        if (object) {
          if (OP() == 134) {
            entry = U32(ip);
            if (entry >= codeSize) FAIL();
          } else {
            const MethodRecord* method = FindMergedMethod(object, U32(ip));
            if (method) {
              entry = method->codeOffset;
              params = method->paramCount;
            }
          }
        }
        ip += 4;
        if (!entry) {
          ScriptValue* deepest = countSlot + count;
          while (top < deepest) POP();
          PutInt(top, 0);
          NEXT();
        }
        if (int64_t(params) > int64_t(count)) {
          int32_t missing = int32_t(params) - count;
          int32_t moved = idSlots + 1 + count;
          if (params > kTaskStackLimit) FAIL();
          if (top - room < missing + 1) {
            int32_t inUse = int32_t(DEPTH());
            ScriptValue* grown = GrowStack(engine, task, inUse + missing + kHeadroom + 1, top);
            if (!grown) FAIL();
            top = grown;
            REBASE();
          }
          ScriptValue* from = top;
          top -= missing;
          for (int32_t k = 0; k < moved; ++k) top[k] = from[k];
          for (int32_t k = moved; k < moved + missing; ++k) {
            top[k].type = kValueInt;
            top[k].bits = 0;
          }
          top[idSlots].i = int32_t(params);
        }
        if (idSlots) {
          SetValueCodeAddress(top, PC());
        } else {
          --top;
          SetValueCodeAddress(top, PC());
        }
        --top;
        SetValueObject(top, self);
        self = object;
        ip = code + entry;
        NEXT();
      }
      L_150: {  // L i = top, then n slots go (the stored one among them)
        NEED(1);
        LOCAL(var, I16(ip));
        uint16_t n = U16(ip + 3);
        if (n > DEPTH()) FAIL();
        CopyValue(var, top);
        for (uint16_t k = 0; k < n; ++k) POP();
        ip += 5;
        NEXT();
      }
#define INT_STEP_LOCAL(label, step)    \
  label: {                             \
    ROOM();                            \
    LOCAL(var, I16(ip));               \
    if (var->type == kValueInt) {      \
      var->bits = uint32_t(var->u step); \
      ip += 8;                         \
      NEXT();                          \
    }                                  \
    goto L_STEP_LOCAL;                 \
  }
      INT_STEP_LOCAL(L_160, +1)
      INT_STEP_LOCAL(L_161, -1)
#undef INT_STEP_LOCAL
      L_162: L_163: L_164: L_165: L_166: L_167:
      L_STEP_LOCAL: {
        ROOM();
        LOCAL(var, I16(ip));
        bool add = (OP() & 1) == 0;
        StepVariable(var, add, &one);
        if (OP() >= 164) {
          --top;
          CopyValue(top, var);
          if (OP() >= 166) {
            if (add) SubtractValue(top, &one);
            else AddValues(top, &one);
          }
        }
        static const uint8_t kLength[] = {8, 8, 10, 10, 7, 7, 9, 9};
        ip += kLength[OP() - 160];
        NEXT();
      }
      L_170:
        JUMP(U32(ip + 1));
        NEXT();
      L_171:
        ip += 5;
        NEXT();
      L_172: {
        uint32_t x = U32(ip + 1);
        if (uint64_t(x) + 5 > codeSize) FAIL();
        JUMP(U32(code + x + 1));
        NEXT();
      }
      L_173:
        JUMP(U32(ip + 1) + 5);
        NEXT();
      L_174: L_175: {
        NEED(1);
        bool truth = ValueIsTrue(top) != 0;
        POP();
        if (truth == (OP() == 174)) JUMP(U32(ip + 1));
        else ip += 5;
        NEXT();
      }
      L_176:
        JUMP(U32(ip + 2));
        NEXT();
      L_177:
        ip += 6;
        NEXT();
      // The loop-body sequences fused at load (see kOpLocalsCompareJump). Each first reads
      // its byte of the fused-offset map: 0 means the load did not put it here; otherwise the
      // byte is the stack depth at which every local it names lies inside the stack. When the
      // stack is that deep and the operands are the ones it serves, it does the whole sequence
      // at once; otherwise it runs the plain sequence from its first instruction, a local push,
      // whose bytes follow the opcode unchanged. A slot is named by its L operand and the
      // pushes the plain sequence made before reading it. The plain sequence checks its room
      // before each push: when one of them would grow the stack, the plain sequence runs, so
      // the stack grows (or the task ends) exactly as it would. The forms that serve several
      // opcodes have a handler per opcode, so none of them chooses its test or sum at run time.
#define LOCAL_FUSED(pushes)                                                               \
  {                                                                                       \
    /* A map byte of 0 wraps to a depth no stack reaches: one test for both. */            \
    uint32_t below_ = uint32_t(ip[localFusionMapDistance - 1]) - 1;                       \
    if (__builtin_expect(top - ((pushes) - 1) < room || below_ >= uint32_t(DEPTH()), 0)) { \
      if (below_ == ~0u) goto L_BAD;                                                      \
      goto L_13;                                                                          \
    }                                                                                     \
  }
  // A jump of a fused form: the load put the form over a whole plain sequence, whose target
  // the load-time check already bounded by the code size.
#define LOADED_JUMP(t) (ip = code + (t))
#define FUSED_SLOT(var, i, pushes) ScriptValue* var = top + (intptr_t(i) - 1 - (pushes))
#define INT_TEST(kind, x, y)                                                      \
  ((kind) == 0 ? (x) != (y) : (kind) == 1 ? (x) == (y) : (kind) == 2 ? (x) < (y) \
   : (kind) == 3 ? (x) > (y) : (kind) == 4 ? !((x) > (y)) : !((x) < (y)))
#define INT_ARITH(kind, x, y) \
  ((kind) == 0 ? uint32_t((x) + (y)) : (kind) == 1 ? uint32_t((x) - (y)) : uint32_t((x) * (y)))
#define LOCALS_COMPARE_JUMP(kind)                               \
  L_LOCALS_COMPARE_JUMP_##kind: { /* 13 a, 13 b, 53..58 T */     \
    LOCAL_FUSED(2);                                             \
    FUSED_SLOT(x, I16(ip), 0);                                  \
    FUSED_SLOT(y, I16(ip + 3), 1);                              \
    if (x->type != kValueInt || y->type != kValueInt) goto L_13; \
    if (INT_TEST(kind, x->i, y->i)) LOADED_JUMP(U32(ip + 6));   \
    else ip += 10;                                              \
    NEXT();                                                     \
  }
#define LOCAL_CONST_COMPARE_JUMP(kind)                                \
  L_LOCAL_CONST_COMPARE_JUMP_##kind: { /* 13 a, push 0..3, 53..58 T */ \
    LOCAL_FUSED(2);                                                   \
    FUSED_SLOT(x, I16(ip), 0);                                        \
    if (x->type != kValueInt) goto L_13;                              \
    int32_t y = int32_t(ip[2]) - 1;                                   \
    if (INT_TEST(kind, x->i, y)) LOADED_JUMP(U32(ip + 4));            \
    else ip += 8;                                                     \
    NEXT();                                                           \
  }
#define LOCALS_ARITH(kind)                                                                          \
  L_LOCALS_ARITH_##kind: { /* 13 a, 13 b, 70|75|80, 146 c */                                        \
    LOCAL_FUSED(2);                                                                                 \
    FUSED_SLOT(x, I16(ip), 0);                                                                      \
    FUSED_SLOT(y, I16(ip + 3), 1);                                                                  \
    FUSED_SLOT(to, I16(ip + 7), 1);                                                                 \
    if (x->type != kValueInt || y->type != kValueInt || to->type >= kValueFirstOwning) goto L_13;  \
    to->bits = INT_ARITH(kind, x->u, y->u);                                                         \
    to->type = kValueInt;                                                                           \
    ip += 10;                                                                                       \
    NEXT();                                                                                         \
  }
#define TOP_ARITH_LOCAL(kind)                                                                          \
  L_TOP_ARITH_LOCAL_##kind: { /* 13 a, 70|75|80, 146 c: the top is the left operand */                 \
    LOCAL_FUSED(1);                                                                                    \
    FUSED_SLOT(y, I16(ip), 0);                                                                         \
    FUSED_SLOT(to, I16(ip + 4), 0);                                                                    \
    if (to == top || top->type != kValueInt || y->type != kValueInt || to->type >= kValueFirstOwning) \
      goto L_13;                                                                                       \
    to->bits = INT_ARITH(kind, top->u, y->u);                                                          \
    to->type = kValueInt;                                                                              \
    top->type = kValueNone;                                                                            \
    ++top;                                                                                             \
    ip += 7;                                                                                           \
    NEXT();                                                                                            \
  }
      LOCALS_COMPARE_JUMP(0) LOCALS_COMPARE_JUMP(1) LOCALS_COMPARE_JUMP(2)
      LOCALS_COMPARE_JUMP(3) LOCALS_COMPARE_JUMP(4) LOCALS_COMPARE_JUMP(5)
      LOCAL_CONST_COMPARE_JUMP(0) LOCAL_CONST_COMPARE_JUMP(1) LOCAL_CONST_COMPARE_JUMP(2)
      LOCAL_CONST_COMPARE_JUMP(3) LOCAL_CONST_COMPARE_JUMP(4) LOCAL_CONST_COMPARE_JUMP(5)
      LOCALS_ARITH(0) LOCALS_ARITH(1) LOCALS_ARITH(2)
      TOP_ARITH_LOCAL(0) TOP_ARITH_LOCAL(1) TOP_ARITH_LOCAL(2)
#undef LOCALS_COMPARE_JUMP
#undef LOCAL_CONST_COMPARE_JUMP
#undef LOCALS_ARITH
#undef TOP_ARITH_LOCAL
      L_LOCALS_STORE_ELEMENT: {  // 13 a, 13 b, 24 c, 36: L c [L b] = L a
        LOCAL_FUSED(2);
        FUSED_SLOT(value, I16(ip), 0);
        FUSED_SLOT(index, I16(ip + 3), 1);
        FUSED_SLOT(container, I16(ip + 6), 2);
        // A double or 64-bit value is copied onto the stack first by the plain sequence, a
        // cell made and freed again that the memory counters see: that one runs plainly.
        if (index->type != kValueInt || (container->type != kValueTable && container->type != kValueArray) ||
            value->type == kValueDouble || value->type == kValueInt64)
          goto L_13;
        StoreElementInline(container, index, value);
        ip += 9;
        NEXT();
      }
      L_LOCAL_ELEMENT: {  // 13 a, 17 c: push element L a of container L c
        LOCAL_FUSED(1);
        FUSED_SLOT(index, I16(ip), 0);
        FUSED_SLOT(container, I16(ip + 3), 1);
        if (index->type != kValueInt) goto L_13;
        --top;
        top->type = kValueInt;
        top->bits = index->bits;
        LoadElementInline(container, top);
        ip += 5;
        NEXT();
      }
#define LOCAL_STEP_JUMP(label, sign, add)                                  \
  label: { /* 160|161 (a local stepped as a statement), then 50 T */        \
    uint32_t depth_ = ip[localFusionMapDistance - 1];                      \
    if (__builtin_expect(depth_ == 0, 0)) goto L_BAD;                      \
    ROOM();                                                                \
    /* The plain step ends the task on a local outside the stack. */       \
    if (__builtin_expect(DEPTH() < intptr_t(depth_), 0)) FAIL();           \
    FUSED_SLOT(var, I16(ip), 0);                                           \
    if (var->type == kValueInt) var->bits = uint32_t(var->u sign 1);       \
    else StepVariable(var, add, &one);                                     \
    JUMP(U32(ip + 9));                                                     \
    NEXT();                                                                \
  }
      LOCAL_STEP_JUMP(L_LOCAL_STEP_JUMP_ADD, +, true)
      LOCAL_STEP_JUMP(L_LOCAL_STEP_JUMP_SUBTRACT, -, false)
#undef LOCAL_STEP_JUMP
      // The step, then straight into the loop test its jump lands on; the load saw that test
      // there, whole, inside the code, and the code never changes after the load.
  // Its map byte is the depth both the step and the test need. When the stack is that deep, the
  // test's pushes need no room and the stepped local is an integer, the whole turn is done here;
  // otherwise the step checks its own depth (its operand) and the test runs as it stands.
  // `after` runs once the test stays in the loop, with test_ the test's offset and at_ its code;
  // it may start the next turn with `continue`, since nothing in a turn moves the stack.
#define LOCAL_STEP_COMPARE_JUMP(kind, label, sign, add, after)                  \
  label: {                                                                      \
    uint32_t below_ = uint32_t(ip[localFusionMapDistance - 1]) - 1;             \
    if (__builtin_expect(top - 1 >= room && below_ < uint32_t(DEPTH()), 1)) {   \
      FUSED_SLOT(var, I16(ip), 0);                                              \
      uint32_t test_ = U32(ip + 9);                                             \
      const uint8_t* at_ = code + test_;                                        \
      FUSED_SLOT(x, I16(at_ + 1), 0);                                           \
      FUSED_SLOT(y, I16(at_ + 4), 1);                                           \
      while (__builtin_expect(var->type == kValueInt, 1)) {                     \
        var->bits = uint32_t(var->u sign 1);                                    \
        if (x->type != kValueInt || y->type != kValueInt) {                     \
          ip = at_ + 1;                                                         \
          goto L_13;                                                            \
        }                                                                       \
        if (INT_TEST(kind, x->i, y->i)) {                                       \
          LOADED_JUMP(U32(at_ + 7));                                            \
          NEXT();                                                               \
        }                                                                       \
        after                                                                   \
      }                                                                         \
    }                                                                           \
    if (below_ == ~0u) goto L_BAD;                                              \
    ROOM();                                                                     \
    if (__builtin_expect(DEPTH() < intptr_t(I16(ip)), 0)) FAIL();               \
    FUSED_SLOT(var, I16(ip), 0); /* after ROOM, which may move the stack */     \
    if (var->type == kValueInt) var->bits = uint32_t(var->u sign 1);            \
    else StepVariable(var, add, &one);                                          \
    ip = code + U32(ip + 9) + 1;                                                \
    goto L_LOCALS_COMPARE_JUMP_##kind;                                          \
  }
  // Straight from the loaded offset to the instruction after the test, so the next turn's
  // code address waits on one load and one add.
#define AFTER_TEST_DISPATCH \
  ip = code + (test_ + 12); \
  goto* table[ip[-1]];
  // The loop's one-statement body (a kOpLocalsArith right after the test, ending where this
  // step begins; its depth is in this form's map byte, and its pushes need the room the test's
  // do), then the next turn. Operands it does not serve run it plainly.
#define AFTER_TEST_BODY                                                          \
  {                                                                              \
    FUSED_SLOT(a, I16(at_ + 12), 0);                                             \
    FUSED_SLOT(b, I16(at_ + 15), 1);                                             \
    FUSED_SLOT(to, I16(at_ + 19), 1);                                            \
    if (a->type != kValueInt || b->type != kValueInt || to->type >= kValueFirstOwning) { \
      ip = at_ + 12;                                                             \
      goto L_13;                                                                 \
    }                                                                            \
    uint32_t arith_ = at_[11] - kOpLocalsArith;                                  \
    to->bits = INT_ARITH(arith_, a->u, b->u);                                    \
    to->type = kValueInt;                                                        \
    continue;                                                                    \
  }
#define LOCAL_STEP_COMPARE_JUMPS(kind)                                                                     \
  LOCAL_STEP_COMPARE_JUMP(kind, L_LOCAL_STEP_ADD_COMPARE_JUMP_##kind, +, true, AFTER_TEST_DISPATCH)        \
  LOCAL_STEP_COMPARE_JUMP(kind, L_LOCAL_STEP_SUBTRACT_COMPARE_JUMP_##kind, -, false, AFTER_TEST_DISPATCH)   \
  LOCAL_STEP_COMPARE_JUMP(kind, L_LOCAL_LOOP_ADD_ARITH_##kind, +, true, AFTER_TEST_BODY)                   \
  LOCAL_STEP_COMPARE_JUMP(kind, L_LOCAL_LOOP_SUBTRACT_ARITH_##kind, -, false, AFTER_TEST_BODY)
      LOCAL_STEP_COMPARE_JUMPS(0) LOCAL_STEP_COMPARE_JUMPS(1) LOCAL_STEP_COMPARE_JUMPS(2)
      LOCAL_STEP_COMPARE_JUMPS(3) LOCAL_STEP_COMPARE_JUMPS(4) LOCAL_STEP_COMPARE_JUMPS(5)
#undef AFTER_TEST_DISPATCH
#undef AFTER_TEST_BODY
#undef LOCAL_STEP_COMPARE_JUMPS
#undef LOCAL_STEP_COMPARE_JUMP
#undef LOCAL_FUSED
#undef LOADED_JUMP
#undef FUSED_SLOT
#undef INT_TEST
#undef INT_ARITH
      L_BAD:  // opcode 0 and every unassigned opcode
        --ip;
        FAIL();
    }
  }
#undef OP
#undef NEXT
#undef ROOM
#undef NEED
#undef PC
#undef SAVE
#undef REBASE
#undef RELOAD
#undef FAIL
#undef DEPTH
#undef POP
#undef JUMP
#undef LOCAL
#undef GLOBAL
#undef MEMBER
#undef VARIABLE
}
#undef KEEP_DISPATCH_JUMPS
