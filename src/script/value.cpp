// Value operations shared by the interpreter, the natives and the save-game code: the slow
// paths of release and copy, the setters that allocate, truth, ordering, equality, in-place
// arithmetic and number formatting. Never traps on any operand: division by zero and the
// most negative integer divided by -1 have defined results, and a cell that cannot be made
// leaves integer 0 behind instead of a null cell.
#include "script/value.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/hash_table.h"
#include "core/memory.h"
#include "script/containers.h"
#include "script/engine.h"

// ---------------------------------------------------------------------------------------------
// Release and copy

void ReleaseOwnedValue(ScriptValue* value) {
  switch (value->type) {
    case kValueArray: {
      ScriptArray* array = value->array;
      if (array && array->refCount > 0 && --array->refCount == 0) FreeArrayRecord(array);
      break;
    }
    case kValueTable: {
      ScriptTable* table = value->table;
      if (table && table->refCount > 0 && --table->refCount == 0) FreeTableRecord(table);
      break;
    }
    case kValueObject: {
      ObjectInstance* object = value->object;
      // A live object at count 0 stays: the instance registry owns it.
      if (object && object->refCount > 0 && --object->refCount == 0 && !object->classRecord) {
        PoolFree(kPoolInstance, object, gScriptEngine, kNominalInstanceSize);
      }
      break;
    }
    case kValueString: {
      StringObject* string = value->string;
      if (string && string->refCount > 0 && --string->refCount == 0) FreeStringObject(string);
      break;
    }
    case kValueInt64:
    case kValueDouble:
      MemFreeIfSet(value->pointer);
      break;
    default:
      break;
  }
  value->type = kValueNone;
  value->bits = 0;
}

// An 8-byte cell: heap, zero-filled, one retry after the low-memory hook (MemCalloc's rules).
static void* NewCell() { return MemCalloc(8); }

void CopyValueSlow(ScriptValue* dest, const ScriptValue* src) {
  if (dest == src) return;
  if (!src) {
    SetValueInt(dest, 0);
    return;
  }
  // Read everything from src before dest is released: src may be owned through dest.
  ScriptValue copy = *src;
  switch (copy.type) {
    case kValueArray:
    case kValueTable:
    case kValueString:
      if (copy.pointer) {
        // All three counted records keep the count in their second word.
        if (copy.type == kValueArray) copy.array->refCount++;
        else if (copy.type == kValueTable) copy.table->refCount++;
        else copy.string->refCount++;
      }
      ReleaseValue(dest);
      *dest = copy;
      return;
    case kValueObject:
      if (!copy.object || !copy.object->classRecord) {
        SetValueInt(dest, 0);
        return;
      }
      copy.object->refCount++;
      ReleaseValue(dest);
      *dest = copy;
      return;
    case kValueInt64:
    case kValueDouble: {
      void* cell = NewCell();
      if (!cell) {
        SetValueInt(dest, 0);
        return;
      }
      if (copy.pointer) std::memcpy(cell, copy.pointer, 8);
      ReleaseValue(dest);
      dest->type = copy.type;
      dest->pointer = cell;
      return;
    }
    case kValueShared:
      if (!copy.shared || copy.shared->refCount == 0) {
        SetValueInt(dest, 0);
        return;
      }
      copy.shared->refCount++;
      ReleaseValue(dest);
      *dest = copy;
      return;
    case kValueNone:
    case kValueInt:
    case kValuePoolString:
    case kValueCodeAddress:
      ReleaseValue(dest);
      *dest = copy;
      return;
    default:
      // Reserved codes carry no payload of their own: only the code is taken over.
      ReleaseValue(dest);
      dest->type = copy.type;
      dest->bits = 0;
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// Setters

void SetValueDouble(ScriptValue* value, double d) {
  ReleaseValue(value);
  double* cell = static_cast<double*>(NewCell());
  if (!cell) {
    SetValueInt(value, 0);
    return;
  }
  *cell = d;
  value->type = kValueDouble;
  value->doubleCell = cell;
}

void SetValueInt64(ScriptValue* value, int64_t n) {
  ReleaseValue(value);
  int64_t* cell = static_cast<int64_t*>(NewCell());
  if (!cell) {
    SetValueInt(value, 0);
    return;
  }
  *cell = n;
  value->type = kValueInt64;
  value->int64Cell = cell;
}

void SetValueArray(ScriptValue* value, ScriptArray* array) {
  if (array) array->refCount++;
  ReleaseValue(value);
  value->type = kValueArray;
  value->array = array;
}

void SetValueTable(ScriptValue* value, ScriptTable* table) {
  if (!table) {
    AllocTableValue(value);
    return;
  }
  table->refCount++;
  ReleaseValue(value);
  value->type = kValueTable;
  value->table = table;
}

void SetValueObject(ScriptValue* value, ObjectInstance* object) {
  if (object && !object->classRecord) object = nullptr;
  if (object) object->refCount++;
  ReleaseValue(value);
  value->type = kValueObject;
  value->object = object;
}

// Wraps an accounted text of `bytes` counted bytes in a new registered string object; frees
// the text and leaves integer 0 when the record cannot be made.
static void AdoptText(ScriptValue* value, char* text, uint32_t bytes) {
  ScriptEngine* engine = gScriptEngine;
  StringObject* string = static_cast<StringObject*>(
      PoolAllocRecord(sizeof(StringObject), kNominalStringObjectSize, kPoolString, engine));
  if (!string) {
    MemFree(text, bytes, 0);
    SetValueInt(value, 0);
    return;
  }
  string->refCount = 1;
  string->text = text;
  string->textBytes = bytes;
  string->id = engine && engine->strings ? HashInsertNewKey(engine->strings, reinterpret_cast<HashValue>(string)) : 0;
  ReleaseValue(value);
  value->type = kValueString;
  value->string = string;
}

void SetValueString(ScriptValue* value, const char* text) {
  if (!text) {
    SetValueInt(value, 0);
    return;
  }
  char* copy = ReplaceString(nullptr, text);
  if (!copy) {
    SetValueInt(value, 0);
    return;
  }
  AdoptText(value, copy, static_cast<uint32_t>(std::strlen(copy) + 1));
}

void SetValueStringN(ScriptValue* value, const char* text, int32_t n) {
  if (!text) {
    SetValueInt(value, 0);
    return;
  }
  // Never reads past a NUL inside the first n bytes, so a short text is safe with a long n.
  char* copy = ReplaceStringN(n > 0 ? static_cast<size_t>(n) : 0, nullptr, text);
  if (!copy) {
    SetValueInt(value, 0);
    return;
  }
  AdoptText(value, copy, static_cast<uint32_t>(std::strlen(copy) + 1));
}

char* SetValueBlankString(ScriptValue* value, int32_t n) {
  if (n < 0) n = 0;
  uint32_t bytes = static_cast<uint32_t>(n) + 1;
  char* text = static_cast<char*>(MemAlloc(bytes, 0));
  if (!text) {
    SetValueInt(value, 0);
    return nullptr;
  }
  std::memset(text, ' ', static_cast<size_t>(n));
  text[n] = '\0';
  AdoptText(value, text, bytes);
  return value->type == kValueString ? text : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Queries

int32_t ValueIsTrue(const ScriptValue* value) {
  switch (value->type) {
    case kValueInt:
    case kValuePoolString:
      return value->i != 0;
    case kValueArray:
    case kValueTable:
    case kValueString:
      return value->pointer != nullptr;
    case kValueObject:
      return value->object && value->object->classRecord;
    case kValueInt64:
      return ValueInt64(value) != 0;
    case kValueDouble: {
      double d = ValueDouble(value);
      return d != 0.0 || std::isnan(d);
    }
    default:
      return 1;
  }
}

// Both sides as doubles when the pair is numeric; false for any other pair.
static bool NumericPair(const ScriptValue* a, const ScriptValue* b, double* x, double* y) {
  if (!ValueIsNumber(a) || !ValueIsNumber(b)) return false;
  *x = a->type == kValueInt ? static_cast<double>(a->i) : ValueDouble(a);
  *y = b->type == kValueInt ? static_cast<double>(b->i) : ValueDouble(b);
  return true;
}

int32_t ValueLess(const ScriptValue* a, const ScriptValue* b) {
  if (a->type == kValueInt && b->type == kValueInt) return a->i < b->i;
  double x, y;
  if (!NumericPair(a, b, &x, &y)) return 0;
  return x < y;  // false whenever a NaN takes part
}

int32_t ValueGreater(const ScriptValue* a, const ScriptValue* b) {
  if (a->type == kValueInt && b->type == kValueInt) return a->i > b->i;
  double x, y;
  if (!NumericPair(a, b, &x, &y)) return 0;
  return x > y;
}

int32_t ValuesEqual(const ScriptValue* a, const ScriptValue* b) {
  if (a->type == kValueInt && b->type == kValueInt) return a->i == b->i;
  double x, y;
  if (NumericPair(a, b, &x, &y)) return x == y;
  if (ValueIsText(a) && ValueIsText(b)) {
    const char* s = GetValueString(a);
    const char* t = GetValueString(b);
    if (!s || !t) return s == t;
    return std::strcmp(s, t) == 0;
  }
  if (a->type == b->type) {
    if (a->type == kValueArray || a->type == kValueTable || a->type == kValueObject) {
      return a->pointer == b->pointer;
    }
    return 0;
  }
  return !ValueIsTrue(a) && !ValueIsTrue(b);
}

const char* GetValueString(const ScriptValue* value) {
  if (value->type == kValuePoolString) return SB_String(gScriptEngine, value->u);
  if (value->type == kValueString) return value->string ? value->string->text : nullptr;
  return nullptr;
}

int32_t GetArraySize(const ScriptValue* value) {
  if (value->type != kValueArray || !value->array) return 0;
  int32_t size = value->array->size;
  return size < 0 ? -size : size;
}

int32_t GetTableCount(const ScriptValue* value) {
  if (value->type != kValueTable || !value->table) return 0;
  return static_cast<int32_t>(value->table->count);
}

int32_t ObjectIsClass(const ObjectInstance* object, uint32_t classId) {
  if (!object) return 0;
  for (const ScriptClassRecord* c = object->classRecord; c; c = c->super) {
    if (static_cast<uint32_t>(c->id) == classId) return 1;
  }
  return 0;
}

int32_t ObjectClassChainHas(const ObjectInstance* object, const ScriptClassRecord* classRecord) {
  if (!object || !classRecord) return 0;
  for (const ScriptClassRecord* c = object->classRecord; c; c = c->super) {
    if (c == classRecord) return 1;
  }
  return 0;
}

int32_t ArgInt(int32_t i, const ScriptValue* args, int32_t count) {
  if (!args || i < 0 || (count >= 0 && i >= count)) return 0;
  return args[i].type == kValueInt ? args[i].i : 0;
}

const char* ArgText(int32_t i, const ScriptValue* args, int32_t count) {
  static const char kInvalid[] = "<invalid>";
  if (!args || i < 0 || (count >= 0 && i >= count)) return kInvalid;
  const char* text = ValueIsText(&args[i]) ? GetValueString(&args[i]) : nullptr;
  return text ? text : kInvalid;
}

void InitValueFromField(const FieldRecord* field, ScriptValue* slot) {
  ReleaseValue(slot);
  switch (field->type) {
    case kValueNone:
    case kValueTable:
      SetValueInt(slot, 0);
      break;
    case kValueInt:
      SetValueInt(slot, static_cast<int32_t>(field->initial));
      break;
    case kValuePoolString:
      SetValuePoolString(slot, field->initial);
      break;
    case kValueArray:
      SetValueArray(slot, nullptr);
      break;
    case kValueDouble: {
      float f;
      uint32_t bits = field->initial;
      std::memcpy(&f, &bits, sizeof f);
      SetValueDouble(slot, static_cast<double>(f));
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Arithmetic

enum class ArithOp { kSubtract, kMultiply, kDivide };

static int32_t IntOp(ArithOp op, int32_t a, int32_t b) {
  uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
  switch (op) {
    case ArithOp::kSubtract: return static_cast<int32_t>(ua - ub);
    case ArithOp::kMultiply: return static_cast<int32_t>(ua * ub);
    case ArithOp::kDivide: return WrappingDivide(a, b);
  }
  return 0;
}

static double DoubleOp(ArithOp op, double a, double b) {
  switch (op) {
    case ArithOp::kSubtract: return a - b;
    case ArithOp::kMultiply: return a * b;
    case ArithOp::kDivide: return b == 0.0 ? 0.0 : a / b;  // a NaN divisor is not zero
  }
  return 0.0;
}

static void Arithmetic(ArithOp op, ScriptValue* left, const ScriptValue* right) {
  if (left->type == kValueInt && right->type == kValueInt) {
    left->i = IntOp(op, left->i, right->i);
    return;
  }
  double x, y;
  if (!NumericPair(left, right, &x, &y)) return;
  double result = DoubleOp(op, x, y);
  if (left->type == kValueDouble && left->doubleCell) {
    *left->doubleCell = result;
  } else {
    SetValueDouble(left, result);
  }
}

void SubtractValue(ScriptValue* left, const ScriptValue* right) { Arithmetic(ArithOp::kSubtract, left, right); }
void MultiplyValue(ScriptValue* left, const ScriptValue* right) { Arithmetic(ArithOp::kMultiply, left, right); }
void DivideValue(ScriptValue* left, const ScriptValue* right) { Arithmetic(ArithOp::kDivide, left, right); }

void ModuloValue(ScriptValue* left, const ScriptValue* right) {
  if (left->type == kValueInt && right->type == kValueInt) left->i = WrappingRemainder(left->i, right->i);
}

void NegateValue(ScriptValue* value) {
  switch (value->type) {
    case kValueInt:
      value->i = static_cast<int32_t>(0u - value->u);
      break;
    case kValueDouble:
      if (value->doubleCell) *value->doubleCell = -*value->doubleCell;
      break;
    case kValueObject: {
      // The id is read before the release, which may free the record.
      int32_t id = value->object ? value->object->id : 1;
      SetValueInt(value, id);
      break;
    }
    default:
      break;
  }
}

void SubtractImmediate(ScriptValue* value, int32_t n) {
  if (value->type == kValueInt) {
    value->i = static_cast<int32_t>(value->u - static_cast<uint32_t>(n));
  } else if (value->type == kValueDouble && value->doubleCell) {
    *value->doubleCell -= n;
  }
}

// ---------------------------------------------------------------------------------------------
// Formatting

constexpr int32_t kFormatClamp = 20;

static int32_t Clamp20(int32_t n) { return n > kFormatClamp ? kFormatClamp : n; }

// Writes n copies of c when writing; always advances.
static char* Put(char* out, char c, int32_t n, int32_t write) {
  for (int32_t k = 0; k < n; ++k) {
    if (write) *out = c;
    ++out;
  }
  return out;
}

char* FormatInteger(int32_t value, char* out, int32_t radix, int32_t width, int32_t precision, uint32_t flags,
                    int32_t write) {
  if (radix < 2 || radix > 36) return nullptr;
  width = Clamp20(width);
  precision = Clamp20(precision);
  if (flags & kFormatLeft) flags &= ~kFormatZeroPad;

  char sign = 0;
  uint32_t magnitude = static_cast<uint32_t>(value);
  if (flags & kFormatSigned) {
    if (value < 0) {
      sign = '-';
      magnitude = 0u - magnitude;  // exact for the most negative value too
    } else if (flags & kFormatPlus) {
      sign = '+';
    } else if (flags & kFormatBlank) {
      sign = ' ';
    }
  }
  if (sign) width -= 1;
  const char* prefix = "";
  if (flags & kFormatAlternate) {
    if (radix == 16) {
      prefix = "0x";
      width -= 2;
    } else if (radix == 8) {
      prefix = "0";
      width -= 1;
    }
  }

  const char* digitSet = (flags & kFormatUpper) ? "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                : "0123456789abcdefghijklmnopqrstuvwxyz";
  char digits[32];
  int32_t count = 0;
  do {
    digits[count++] = digitSet[magnitude % static_cast<uint32_t>(radix)];
    magnitude /= static_cast<uint32_t>(radix);
  } while (magnitude != 0);
  if (count > precision) precision = count;
  int32_t pad = width - precision;

  if (!(flags & (kFormatZeroPad | kFormatLeft))) out = Put(out, ' ', pad, write);
  if (sign) out = Put(out, sign, 1, write);
  for (const char* p = prefix; *p; ++p) out = Put(out, *p, 1, write);
  if (flags & kFormatZeroPad) out = Put(out, '0', pad, write);
  out = Put(out, '0', precision - count, write);
  while (count > 0) out = Put(out, digits[--count], 1, write);
  if (flags & kFormatLeft) out = Put(out, ' ', pad, write);
  return out;
}

char* FormatDouble(double value, char* out, int32_t width, int32_t precision, uint32_t flags, int32_t write) {
  char format[32];
  char* f = format;
  *f++ = '%';
  if (flags & kFormatAlternate) *f++ = '#';
  if ((flags & kFormatLeft) && width >= 0) *f++ = '-';
  if (width >= 0) f += std::snprintf(f, 8, "%d", Clamp20(width));
  if (precision >= 0) f += std::snprintf(f, 8, ".%d", Clamp20(precision));
  char letter = (flags & kFormatExponent) ? 'e' : (flags & kFormatGeneral) ? 'g' : 'f';
  if (flags & kFormatUpper) letter = static_cast<char>(letter - 'a' + 'A');
  *f++ = letter;
  *f = '\0';
  // Measuring needs no scratch buffer at all, so no double is too long for it.
  int length = std::snprintf(nullptr, 0, format, value);
  if (length < 0) length = 0;
  if (write) std::snprintf(out, static_cast<size_t>(length) + 1, format, value);
  return out + length;
}
