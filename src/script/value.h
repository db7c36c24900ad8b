// The script value: the one datum of the virtual machine (stack slots, variables, array
// elements, table keys and data, native arguments and answers). This header holds the record,
// its type codes, the owning records it points at, and the inline copy/release fast paths the
// interpreter runs for every instruction; everything that may allocate or free lives in
// value.cpp. Every script file includes it. Nothing here may allocate for plain integers.
#pragma once

#include <cstddef>
#include <cstdint>

struct ScriptEngine;
struct ScriptArray;
struct ScriptTable;
struct StringObject;
struct ScriptClassRecord;
struct FieldRecord;
struct ScriptValue;

enum ValueType : uint8_t {
  kValueNone = 0,
  kValueInt = 1,
  kValuePoolString = 2,   // byte offset into the loaded string pool
  kValueCodeAddress = 3,  // byte offset into the loaded code
  kValueArray = 8,
  kValueTable = 9,
  kValueObject = 10,
  kValueString = 11,      // string object
  kValueInt64 = 13,       // 8-byte cell owned by the slot
  kValueDouble = 14,      // 8-byte cell owned by the slot
  kValueShared = 15,      // record whose first word is its reference count
};

// First type code whose payload owns something; below it a release is a type reset.
constexpr uint8_t kValueFirstOwning = 8;

// An object record: an instance, or a class record in its role as its class's static object
// (ScriptClassRecord begins with these same fields). The count is the number of object
// references; a deleted object has a null class and lives on until its last reference goes.
// Instances are allocated with PoolAllocRecord(sizeof(ObjectInstance), kNominalInstanceSize,
// kPoolInstance, engine): the last release of a deleted one frees it the same way.
struct ObjectInstance {
  int32_t id;
  uint32_t refCount;
  ScriptClassRecord* classRecord;
  ScriptValue* variables;
};

struct SharedRecord {
  uint32_t refCount;
};

// A type byte and a pointer-wide payload. Sequences of values are plain C arrays of it.
struct ScriptValue {
  uint8_t type;
  union {
    int32_t i;
    uint32_t u;
    ScriptArray* array;
    ScriptTable* table;
    ObjectInstance* object;
    StringObject* string;
    int64_t* int64Cell;
    double* doubleCell;
    SharedRecord* shared;
    void* pointer;
    uintptr_t bits;
  };
};

// Slow paths of the inline helpers below.
void ReleaseOwnedValue(ScriptValue* value);
void CopyValueSlow(ScriptValue* dest, const ScriptValue* src);

// Releases what the slot owns; the slot becomes type 0.
inline void ReleaseValue(ScriptValue* value) {
  if (value->type >= kValueFirstOwning) {
    ReleaseOwnedValue(value);
  } else {
    value->type = kValueNone;
  }
}

// Copies src into dest (dest released first). Counted records are shared, 8-byte cells
// duplicated; a null src gives integer 0. Copying a slot onto itself changes nothing.
inline void CopyValue(ScriptValue* dest, const ScriptValue* src) {
  if (dest == src) return;
  if (src && src->type >= kValueInt && src->type <= kValueCodeAddress) {
    if (dest->type >= kValueFirstOwning) ReleaseOwnedValue(dest);
    dest->type = src->type;
    dest->bits = src->bits;
    return;
  }
  CopyValueSlow(dest, src);
}

// Moves the 5 logical bytes and leaves the source empty, without touching any count.
inline void MoveValue(ScriptValue* dest, ScriptValue* src) {
  *dest = *src;
  src->type = kValueNone;
}

inline void SetValueInt(ScriptValue* value, int32_t i) {
  if (value->type >= kValueFirstOwning) ReleaseOwnedValue(value);
  value->type = kValueInt;
  value->bits = 0;
  value->i = i;
}

inline void SetValueCodeAddress(ScriptValue* value, uint32_t offset) {
  if (value->type >= kValueFirstOwning) ReleaseOwnedValue(value);
  value->type = kValueCodeAddress;
  value->bits = 0;
  value->u = offset;
}

// A string-pool id is stored as is; the pool belongs to the loaded script.
inline void SetValuePoolString(ScriptValue* value, uint32_t id) {
  if (value->type >= kValueFirstOwning) ReleaseOwnedValue(value);
  value->type = kValuePoolString;
  value->bits = 0;
  value->u = id;
}

inline bool ValueIsNumber(const ScriptValue* value) {
  return value->type == kValueInt || value->type == kValueDouble;
}
inline bool ValueIsText(const ScriptValue* value) {
  return value->type == kValuePoolString || value->type == kValueString;
}

// Setters (each releases the target first).
void SetValueDouble(ScriptValue* value, double d);
void SetValueInt64(ScriptValue* value, int64_t n);
void SetValueArray(ScriptValue* value, ScriptArray* array);
void SetValueTable(ScriptValue* value, ScriptTable* table);
void SetValueObject(ScriptValue* value, ObjectInstance* object);
void SetValueString(ScriptValue* value, const char* text);
void SetValueStringN(ScriptValue* value, const char* text, int32_t n);
char* SetValueBlankString(ScriptValue* value, int32_t n);

// Queries.
int32_t ValueIsTrue(const ScriptValue* value);
int32_t ValueLess(const ScriptValue* a, const ScriptValue* b);
int32_t ValueGreater(const ScriptValue* a, const ScriptValue* b);
int32_t ValuesEqual(const ScriptValue* a, const ScriptValue* b);
const char* GetValueString(const ScriptValue* value);
int32_t GetArraySize(const ScriptValue* value);
int32_t GetTableCount(const ScriptValue* value);
int32_t ObjectExists(const ScriptValue* value);
int32_t ObjectIsClass(const ObjectInstance* object, uint32_t classId);
int32_t ObjectClassChainHas(const ObjectInstance* object, const ScriptClassRecord* classRecord);
int32_t ArgInt(int32_t i, const ScriptValue* args, int32_t count);
const char* ArgText(int32_t i, const ScriptValue* args, int32_t count);
void InitValueFromField(const FieldRecord* field, ScriptValue* slot);

// The number in a double or 64-bit cell; 0 for a cell that could not be made.
inline double ValueDouble(const ScriptValue* value) { return value->doubleCell ? *value->doubleCell : 0.0; }
inline int64_t ValueInt64(const ScriptValue* value) { return value->int64Cell ? *value->int64Cell : 0; }

// In-place arithmetic on the left operand; combinations not listed leave it unchanged.
void SubtractValue(ScriptValue* left, const ScriptValue* right);
void MultiplyValue(ScriptValue* left, const ScriptValue* right);
void DivideValue(ScriptValue* left, const ScriptValue* right);
void ModuloValue(ScriptValue* left, const ScriptValue* right);
void NegateValue(ScriptValue* value);
void SubtractImmediate(ScriptValue* value, int32_t n);

// Integer quotient and remainder that never trap: a zero divisor gives 0, and the most
// negative value divided by -1 wraps to itself with remainder 0.
inline int32_t WrappingDivide(int32_t a, int32_t b) {
  if (b == 0) return 0;
  if (b == -1) return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
  return a / b;
}
inline int32_t WrappingRemainder(int32_t a, int32_t b) {
  if (b == 0 || b == -1) return 0;
  return a % b;
}

// FormatInteger flags; FormatDouble also reads 16, 32, 64, 128 (E) and 256 (G).
constexpr uint32_t kFormatZeroPad = 1;
constexpr uint32_t kFormatSigned = 2;
constexpr uint32_t kFormatPlus = 4;
constexpr uint32_t kFormatBlank = 8;
constexpr uint32_t kFormatLeft = 16;
constexpr uint32_t kFormatAlternate = 32;
constexpr uint32_t kFormatUpper = 64;
constexpr uint32_t kFormatExponent = 128;
constexpr uint32_t kFormatGeneral = 256;

// Both write no more than they measure: with write 0 nothing reaches out and the result is out
// plus the length. FormatInteger writes no NUL; FormatDouble writes one and points at it.
char* FormatInteger(int32_t value, char* out, int32_t radix, int32_t width, int32_t precision, uint32_t flags,
                    int32_t write);
char* FormatDouble(double value, char* out, int32_t width, int32_t precision, uint32_t flags, int32_t write);
