// Script values: truth, equality, ordering, in-place arithmetic and formatting across the type
// codes, copy and release ownership, and the pool accounting every record goes through.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/memory.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/script_memory.h"
#include "script/value.h"
#include "support/script_fixture.h"

namespace {

// A pool holding "abc" at offset 1 and "" at offset 5.
const char kPool[] = "\0abc\0\0xyz";

class ValueTest : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    engine_->stringPool = const_cast<char*>(kPool);
    engine_->stringPoolSize = sizeof kPool;
    live_.classRecord = &class_;
    live_.id = -5;
    class_.classRecord = &class_;
    class_.id = 3;
  }

  ScriptClassRecord class_{};
  ObjectInstance live_{};
};

// Kinds of operand the tables below build.
enum class Make {
  kNone, kInt0, kInt1, kInt7, kIntMinus7, kInt2, kInt3, kIntMin, kIntMinus1, kZero,
  kDouble0, kDoubleHalf, kDouble7, kDoubleNaN, kInt64Five, kInt64Zero, kPoolAbc, kPoolEmpty,
  kStringAbc, kStringEmpty, kNullArray, kArray, kNullTable, kTable, kLiveObject, kNullObject,
  kCode, kReserved4,
};

// Builds the operand into *v (v starts as type 0); objects refer to the fixture's records.
void MakeValue(Make m, ScriptValue* v, ObjectInstance* live) {
  *v = ScriptValue{};
  switch (m) {
    case Make::kNone: break;
    case Make::kInt0: case Make::kZero: SetValueInt(v, 0); break;
    case Make::kInt1: SetValueInt(v, 1); break;
    case Make::kInt2: SetValueInt(v, 2); break;
    case Make::kInt3: SetValueInt(v, 3); break;
    case Make::kInt7: SetValueInt(v, 7); break;
    case Make::kIntMinus7: SetValueInt(v, -7); break;
    case Make::kIntMin: SetValueInt(v, INT_MIN); break;
    case Make::kIntMinus1: SetValueInt(v, -1); break;
    case Make::kDouble0: SetValueDouble(v, 0.0); break;
    case Make::kDoubleHalf: SetValueDouble(v, 0.5); break;
    case Make::kDouble7: SetValueDouble(v, 7.0); break;
    case Make::kDoubleNaN: SetValueDouble(v, std::nan("")); break;
    case Make::kInt64Five: SetValueInt64(v, 5); break;
    case Make::kInt64Zero: SetValueInt64(v, 0); break;
    case Make::kPoolAbc: SetValuePoolString(v, 1); break;
    case Make::kPoolEmpty: SetValuePoolString(v, 5); break;
    case Make::kStringAbc: SetValueString(v, "abc"); break;
    case Make::kStringEmpty: SetValueString(v, ""); break;
    case Make::kNullArray: SetValueArray(v, nullptr); break;
    case Make::kArray: AllocArrayValue(v, 2); break;
    case Make::kNullTable: v->type = kValueTable; v->table = nullptr; break;
    case Make::kTable: AllocTableValue(v); break;
    case Make::kLiveObject: SetValueObject(v, live); break;
    case Make::kNullObject: SetValueObject(v, nullptr); break;
    case Make::kCode: SetValueCodeAddress(v, 40); break;
    case Make::kReserved4: v->type = 4; break;
  }
}

TEST_F(ValueTest, TruthOfEveryType) {
  struct Case { Make value; int32_t truth; };
  const Case kCases[] = {
      {Make::kNone, 1},       {Make::kInt0, 0},       {Make::kInt7, 1},        {Make::kDouble0, 0},
      {Make::kDoubleHalf, 1}, {Make::kDoubleNaN, 1},  {Make::kInt64Zero, 0},   {Make::kInt64Five, 1},
      {Make::kPoolAbc, 1},    {Make::kStringEmpty, 1}, {Make::kNullArray, 0},  {Make::kArray, 1},
      {Make::kNullTable, 0},  {Make::kTable, 1},      {Make::kLiveObject, 1},  {Make::kNullObject, 0},
      {Make::kCode, 1},       {Make::kReserved4, 1},
  };
  for (const Case& c : kCases) {
    ScriptValue v;
    MakeValue(c.value, &v, &live_);
    EXPECT_EQ(ValueIsTrue(&v), c.truth) << "case " << static_cast<int>(c.value);
    ReleaseValue(&v);
  }
}

TEST_F(ValueTest, EqualityAcrossTypePairs) {
  struct Case { Make a, b; int32_t equal; };
  const Case kCases[] = {
      {Make::kInt7, Make::kInt7, 1},            {Make::kInt7, Make::kInt3, 0},
      {Make::kInt7, Make::kDouble7, 1},         {Make::kDouble7, Make::kInt7, 1},
      {Make::kDoubleNaN, Make::kDoubleNaN, 0},  {Make::kInt0, Make::kDouble0, 1},
      {Make::kPoolAbc, Make::kStringAbc, 1},    {Make::kStringAbc, Make::kStringAbc, 1},
      {Make::kPoolEmpty, Make::kStringEmpty, 1}, {Make::kPoolAbc, Make::kStringEmpty, 0},
      {Make::kInt0, Make::kNullArray, 1},       {Make::kNullArray, Make::kNullObject, 1},
      {Make::kInt0, Make::kNullObject, 1},      {Make::kInt0, Make::kStringEmpty, 0},
      {Make::kInt1, Make::kStringAbc, 0},       {Make::kArray, Make::kArray, 0},
      {Make::kLiveObject, Make::kLiveObject, 1}, {Make::kInt64Five, Make::kInt64Five, 0},
      {Make::kInt64Zero, Make::kInt0, 1},       {Make::kNone, Make::kNone, 0},
      {Make::kCode, Make::kCode, 0},            {Make::kInt7, Make::kLiveObject, 0},
      {Make::kNone, Make::kInt0, 0},            {Make::kReserved4, Make::kReserved4, 0},
  };
  for (const Case& c : kCases) {
    ScriptValue a, b;
    MakeValue(c.a, &a, &live_);
    MakeValue(c.b, &b, &live_);
    EXPECT_EQ(ValuesEqual(&a, &b), c.equal) << static_cast<int>(c.a) << " vs " << static_cast<int>(c.b);
    ReleaseValue(&a);
    ReleaseValue(&b);
  }
}

TEST_F(ValueTest, OrderingComparesOnlyNumbers) {
  struct Case { Make a, b; int32_t less, greater; };
  const Case kCases[] = {
      {Make::kIntMin, Make::kInt7, 1, 0},      {Make::kInt7, Make::kIntMinus7, 0, 1},
      {Make::kInt3, Make::kDouble7, 1, 0},     {Make::kDouble7, Make::kInt3, 0, 1},
      {Make::kDoubleNaN, Make::kInt3, 0, 0},   {Make::kInt3, Make::kDoubleNaN, 0, 0},
      {Make::kInt64Five, Make::kInt7, 0, 0},   {Make::kPoolAbc, Make::kInt7, 0, 0},
      {Make::kInt7, Make::kInt7, 0, 0},
  };
  for (const Case& c : kCases) {
    ScriptValue a, b;
    MakeValue(c.a, &a, &live_);
    MakeValue(c.b, &b, &live_);
    EXPECT_EQ(ValueLess(&a, &b), c.less) << static_cast<int>(c.a) << " < " << static_cast<int>(c.b);
    EXPECT_EQ(ValueGreater(&a, &b), c.greater) << static_cast<int>(c.a) << " > " << static_cast<int>(c.b);
    ReleaseValue(&a);
    ReleaseValue(&b);
  }
}

TEST_F(ValueTest, ArithmeticResultsAndTypes) {
  enum class Op { kSub, kMul, kDiv, kMod };
  struct Case { Op op; Make left, right; uint8_t type; double result; };
  const double kNaN = std::nan("");
  const Case kCases[] = {
      {Op::kDiv, Make::kInt7, Make::kZero, kValueInt, 0},
      {Op::kDiv, Make::kInt7, Make::kDouble0, kValueDouble, 0.0},
      {Op::kDiv, Make::kDouble7, Make::kZero, kValueDouble, 0.0},
      {Op::kDiv, Make::kDouble7, Make::kDoubleNaN, kValueDouble, kNaN},
      {Op::kDiv, Make::kIntMinus7, Make::kInt2, kValueInt, -3},
      {Op::kDiv, Make::kIntMin, Make::kIntMinus1, kValueInt, INT_MIN},
      {Op::kMod, Make::kIntMin, Make::kIntMinus1, kValueInt, 0},
      {Op::kMod, Make::kInt7, Make::kZero, kValueInt, 0},
      {Op::kMod, Make::kIntMinus7, Make::kInt2, kValueInt, -1},
      {Op::kMod, Make::kDouble7, Make::kInt2, kValueDouble, 7.0},  // unchanged
      {Op::kSub, Make::kInt3, Make::kDoubleHalf, kValueDouble, 2.5},
      {Op::kSub, Make::kIntMin, Make::kInt1, kValueInt, INT_MAX},
      {Op::kSub, Make::kDouble7, Make::kInt2, kValueDouble, 5.0},
      {Op::kSub, Make::kPoolAbc, Make::kInt1, kValuePoolString, 1},  // unchanged
      {Op::kSub, Make::kInt64Five, Make::kInt1, kValueInt64, 5},     // unchanged
      {Op::kMul, Make::kIntMin, Make::kIntMinus1, kValueInt, INT_MIN},
      {Op::kMul, Make::kInt3, Make::kDouble7, kValueDouble, 21.0},
      {Op::kMul, Make::kDoubleHalf, Make::kDoubleHalf, kValueDouble, 0.25},
  };
  for (const Case& c : kCases) {
    ScriptValue left, right;
    MakeValue(c.left, &left, &live_);
    MakeValue(c.right, &right, &live_);
    switch (c.op) {
      case Op::kSub: SubtractValue(&left, &right); break;
      case Op::kMul: MultiplyValue(&left, &right); break;
      case Op::kDiv: DivideValue(&left, &right); break;
      case Op::kMod: ModuloValue(&left, &right); break;
    }
    SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op) << " left " << static_cast<int>(c.left)
                                    << " right " << static_cast<int>(c.right));
    ASSERT_EQ(left.type, c.type);
    if (c.type == kValueDouble) {
      if (std::isnan(c.result)) {
        EXPECT_TRUE(std::isnan(ValueDouble(&left)));
      } else {
        EXPECT_DOUBLE_EQ(ValueDouble(&left), c.result);
      }
    } else if (c.type == kValueInt64) {
      EXPECT_EQ(ValueInt64(&left), static_cast<int64_t>(c.result));
    } else {
      EXPECT_EQ(left.i, static_cast<int32_t>(c.result));
    }
    // The right operand never changes.
    ScriptValue again;
    MakeValue(c.right, &again, &live_);
    if (c.right != Make::kDoubleNaN && c.right != Make::kInt64Five) {
      EXPECT_TRUE(ValuesEqual(&right, &again));
    }
    ReleaseValue(&again);
    ReleaseValue(&left);
    ReleaseValue(&right);
  }
}

TEST_F(ValueTest, NegateAndSubtractImmediate) {
  ScriptValue v{};
  SetValueInt(&v, INT_MIN);
  NegateValue(&v);
  EXPECT_EQ(v.i, INT_MIN);
  SetValueDouble(&v, 2.5);
  NegateValue(&v);
  EXPECT_DOUBLE_EQ(ValueDouble(&v), -2.5);
  SubtractImmediate(&v, 2);
  EXPECT_DOUBLE_EQ(ValueDouble(&v), -4.5);
  SetValueObject(&v, nullptr);
  NegateValue(&v);
  EXPECT_EQ(v.type, kValueInt);
  EXPECT_EQ(v.i, 1);
  SetValueObject(&v, &live_);
  EXPECT_EQ(live_.refCount, 1u);
  NegateValue(&v);
  EXPECT_EQ(v.i, -5);  // the id itself, not negated
  EXPECT_EQ(live_.refCount, 0u);
  SetValueInt(&v, INT_MIN);
  SubtractImmediate(&v, 1);
  EXPECT_EQ(v.i, INT_MAX);
}

TEST_F(ValueTest, CopySharesRecordsAndDuplicatesCells) {
  ScriptValue a{}, b{};
  SetValueDouble(&a, 1.25);
  CopyValue(&b, &a);
  ASSERT_EQ(b.type, kValueDouble);
  EXPECT_NE(b.doubleCell, a.doubleCell);
  *a.doubleCell = 9.0;
  EXPECT_DOUBLE_EQ(ValueDouble(&b), 1.25);

  SetValueString(&a, "shared");
  CopyValue(&b, &a);
  EXPECT_EQ(b.string, a.string);
  EXPECT_EQ(a.string->refCount, 2u);
  ReleaseValue(&a);
  EXPECT_STREQ(GetValueString(&b), "shared");

  // A copy onto itself must neither lose nor free the value.
  CopyValue(&b, &b);
  EXPECT_EQ(b.type, kValueString);
  EXPECT_EQ(b.string->refCount, 1u);
  EXPECT_STREQ(GetValueString(&b), "shared");

  // A null source gives integer 0; a reserved code carries no payload.
  CopyValue(&b, nullptr);
  EXPECT_EQ(b.type, kValueInt);
  EXPECT_EQ(b.i, 0);
  a.type = 6;
  a.bits = 1234;
  CopyValue(&b, &a);
  EXPECT_EQ(b.type, 6);
  EXPECT_EQ(b.bits, 0u);
  ReleaseValue(&a);
  EXPECT_EQ(a.type, kValueNone);
  ReleaseValue(&b);
}

TEST_F(ValueTest, DeletedObjectCopiesAsZeroAndLastReleaseFreesIt) {
  auto* object = static_cast<ObjectInstance*>(
      PoolAllocRecord(sizeof(ObjectInstance), kNominalInstanceSize, kPoolInstance, engine_));
  ASSERT_NE(object, nullptr);
  object->id = -9;
  object->classRecord = &class_;
  ScriptValue ref{}, copy{};
  SetValueObject(&ref, object);
  object->classRecord = nullptr;  // deleted while referenced
  CopyValue(&copy, &ref);
  EXPECT_EQ(copy.type, kValueInt);
  EXPECT_EQ(copy.i, 0);
  EXPECT_FALSE(ValueIsTrue(&ref));
  EXPECT_EQ(engine_->statistics.currentBlocks[kPoolInstance], 1);
  ReleaseValue(&ref);  // the last reference frees the deleted record
  EXPECT_EQ(engine_->statistics.currentBlocks[kPoolInstance], 0);

  // A live object at count 0 stays: its registry owns it.
  SetValueObject(&ref, &live_);
  ReleaseValue(&ref);
  EXPECT_EQ(live_.classRecord, &class_);
  EXPECT_TRUE(ObjectIsClass(&live_, 3));
  EXPECT_FALSE(ObjectIsClass(&live_, 4));
  EXPECT_TRUE(ObjectClassChainHas(&live_, &class_));
}

TEST_F(ValueTest, StringSettersAndCounters) {
  ScriptValue v{};
  // Without a registry the string ids are 0, and the registry's own entries stay out of the
  // figures below.
  HashTable* strings = engine_->strings;
  engine_->strings = nullptr;
  uint32_t current = gMemCounters.currentBytes, total = gMemCounters.totalBytes;
  uint32_t cat0 = gMemCounters.categoryBytes[0], allocs = gMemCounters.allocationCount;
  char* text = SetValueBlankString(&v, 4);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(GetValueString(&v), "    ");
  // The text block is n + 1 bytes of category 0, on top of the counted record.
  EXPECT_EQ(gMemCounters.categoryBytes[0] - cat0, 5u);
  EXPECT_EQ(gMemCounters.currentBytes - current, 5u + kNominalStringObjectSize);
  EXPECT_EQ(gMemCounters.totalBytes - total, 5u + kNominalStringObjectSize);
  EXPECT_EQ(gMemCounters.allocationCount - allocs, 2u);
  // A caller filling the text with an early NUL must not skew the counters at release.
  text[1] = '\0';
  ReleaseValue(&v);
  EXPECT_EQ(gMemCounters.categoryBytes[0], cat0);
  EXPECT_EQ(gMemCounters.currentBytes, current);
  engine_->strings = strings;

  struct Case { const char* text; int32_t n; const char* expected; };
  const Case kCases[] = {{"abcdef", 3, "abc"}, {"ab", 10, "ab"}, {"abc", 0, ""}, {"abc", -2, ""}};
  for (const Case& c : kCases) {
    SetValueStringN(&v, c.text, c.n);
    ASSERT_EQ(v.type, kValueString);
    EXPECT_STREQ(GetValueString(&v), c.expected);
  }
  SetValueString(&v, nullptr);
  EXPECT_EQ(v.type, kValueInt);
  EXPECT_EQ(SetValueBlankString(&v, -3)[0], '\0');
  ReleaseValue(&v);
  SetValueString(&v, "x");
  EXPECT_EQ(v.string->id, 2u + 5u);  // the registry's keys start at 2; five strings came before
  EXPECT_EQ(HashGet(engine_->strings, v.string->id), reinterpret_cast<HashValue>(v.string));
  ReleaseValue(&v);
}

TEST_F(ValueTest, ArgumentReaders) {
  ScriptValue args[3] = {};
  SetValueInt(&args[0], 12);
  SetValuePoolString(&args[1], 1);
  SetValueDouble(&args[2], 3.0);
  struct Case { int32_t i, count, asInt; const char* asText; };
  const Case kCases[] = {
      {0, 3, 12, "<invalid>"}, {1, 3, 0, "abc"},     {2, 3, 0, "<invalid>"},
      {0, 0, 0, "<invalid>"},  {1, -1, 0, "abc"},    {0, -1, 12, "<invalid>"}, {-1, 3, 0, "<invalid>"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ArgInt(c.i, args, c.count), c.asInt) << c.i << "/" << c.count;
    EXPECT_STREQ(ArgText(c.i, args, c.count), c.asText) << c.i << "/" << c.count;
  }
  for (ScriptValue& a : args) ReleaseValue(&a);
}

TEST_F(ValueTest, FieldInitialValues) {
  float quarter = 0.25f;
  uint32_t quarterBits;
  std::memcpy(&quarterBits, &quarter, 4);
  struct Case { uint32_t type, initial; uint8_t expectType; int32_t expectInt; };
  const Case kCases[] = {
      {0, 77, kValueInt, 0}, {9, 77, kValueInt, 0}, {1, 77, kValueInt, 77}, {2, 1, kValuePoolString, 1},
      {8, 77, kValueArray, 0}, {14, quarterBits, kValueDouble, 0}, {11, 77, kValueNone, 0},
  };
  for (const Case& c : kCases) {
    FieldRecord field{0, c.initial, c.type, 0};
    ScriptValue slot{};
    SetValueString(&slot, "old");  // released by the initialisation
    InitValueFromField(&field, &slot);
    EXPECT_EQ(slot.type, c.expectType) << "type " << c.type;
    if (c.expectType == kValueInt || c.expectType == kValuePoolString) {
      EXPECT_EQ(slot.i, c.expectInt);
    }
    if (c.expectType == kValueArray) {
      EXPECT_EQ(slot.array, nullptr);
    }
    if (c.expectType == kValueDouble) {
      EXPECT_DOUBLE_EQ(ValueDouble(&slot), 0.25);
    }
    ReleaseValue(&slot);
  }
}

TEST(ValueFormat, FormatIntegerTable) {
  struct Case { int32_t value, radix, width, precision; uint32_t flags; const char* expected; };
  const Case kCases[] = {
      {-42, 10, 6, 0, kFormatSigned | kFormatZeroPad, "-00042"},
      {-42, 10, 6, 0, kFormatSigned | kFormatLeft, "-42   "},
      {-42, 10, 6, 0, kFormatSigned, "   -42"},
      {-42, 10, 6, 0, kFormatSigned | kFormatZeroPad | kFormatLeft, "-42   "},
      {42, 10, 0, 0, kFormatSigned | kFormatPlus, "+42"},
      {42, 10, 0, 0, kFormatSigned | kFormatBlank, " 42"},
      {42, 10, 0, 0, kFormatSigned | kFormatPlus | kFormatBlank, "+42"},
      {-1, 10, 0, 0, 0, "4294967295"},
      {-1, 16, 0, 0, 0, "ffffffff"},
      {255, 16, 6, 0, kFormatAlternate | kFormatZeroPad, "0x00ff"},
      {255, 16, 0, 0, kFormatAlternate | kFormatUpper, "0xFF"},
      {8, 8, 4, 0, kFormatAlternate, " 010"},
      {5, 10, 0, 3, 0, "005"},
      {0, 10, 0, 0, 0, "0"},
      {INT_MIN, 10, 0, 0, kFormatSigned, "-2147483648"},
      {35, 36, 0, 0, 0, "z"},
      {5, 2, 0, 0, 0, "101"},
  };
  for (const Case& c : kCases) {
    char out[64];
    std::memset(out, '#', sizeof out);
    char* end = FormatInteger(c.value, out, c.radix, c.width, c.precision, c.flags, 1);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(std::string(out, end), c.expected) << c.value << " r" << c.radix << " f" << c.flags;
    EXPECT_EQ(*end, '#');  // no terminating NUL
    char measure[1] = {'#'};
    EXPECT_EQ(FormatInteger(c.value, measure, c.radix, c.width, c.precision, c.flags, 0) - measure, end - out);
    EXPECT_EQ(measure[0], '#');
  }
  // Width and precision are clamped to 20.
  char out[64];
  EXPECT_EQ(std::string(out, FormatInteger(1, out, 10, 99, 0, 0, 1)), std::string(19, ' ') + "1");
  EXPECT_EQ(std::string(out, FormatInteger(1, out, 10, 0, 99, 0, 1)), std::string(19, '0') + "1");
  EXPECT_EQ(FormatInteger(5, out, 37, 0, 0, 0, 1), nullptr);
  EXPECT_EQ(FormatInteger(5, out, 1, 0, 0, 0, 1), nullptr);
}

TEST(ValueFormat, FormatDoubleTable) {
  struct Case { double value; int32_t width, precision; uint32_t flags; const char* expected; };
  const Case kCases[] = {
      {2.5, -1, -1, 0, "2.500000"},
      {2.5, 8, 2, 0, "    2.50"},
      {2.5, 8, 2, kFormatLeft, "2.50    "},
      {2.0, -1, 0, kFormatAlternate, "2."},
      {1234.5, -1, 2, kFormatExponent, "1.23e+03"},
      {1234.5, -1, 2, kFormatExponent | kFormatUpper, "1.23E+03"},
      {0.0001, -1, -1, kFormatGeneral, "0.0001"},
      {2.5, 40, 50, 0, "2.50000000000000000000"},  // both clamped to 20
      {2.5, -1, 1, kFormatZeroPad | kFormatSigned | kFormatPlus | kFormatBlank, "2.5"},
  };
  for (const Case& c : kCases) {
    char out[64];
    char* end = FormatDouble(c.value, out, c.width, c.precision, c.flags, 1);
    EXPECT_STREQ(out, c.expected);
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(end - out, static_cast<ptrdiff_t>(std::strlen(c.expected)));
  }
  // Measuring the longest F text there is writes nothing and overruns nothing.
  char none[1] = {'#'};
  char* end = FormatDouble(-1e308, none, 20, 20, 0, 0);
  EXPECT_EQ(end - none, std::snprintf(nullptr, 0, "%20.20f", -1e308));
  EXPECT_GT(end - none, 300);
  EXPECT_EQ(none[0], '#');
}

TEST_F(ValueTest, PoolCountersCurrentAndPeak) {
  void* blocks[3];
  for (void*& b : blocks) b = PoolAlloc(16, kPoolEntry, engine_);
  PoolFree(kPoolEntry, blocks[0], engine_, 16);
  const PoolStatistics& s = engine_->statistics;
  EXPECT_EQ(s.currentBytes[kPoolEntry], 32);
  EXPECT_EQ(s.peakBytes[kPoolEntry], 48);
  EXPECT_EQ(s.currentBlocks[kPoolEntry], 2);
  EXPECT_EQ(s.peakBlocks[kPoolEntry], 3);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatScript] - startCategory1_, 32u);

  // A failed allocation changes no counter.
  PoolStatistics before = s;
  uint32_t category = gMemCounters.categoryBytes[kMemCatScript];
  SetPoolAllocFailure(0);
  EXPECT_EQ(PoolAlloc(16, kPoolEntry, engine_), nullptr);
  EXPECT_EQ(std::memcmp(&before, &s, sizeof before), 0);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatScript], category);

  // Records count at their nominal size, whatever they take in memory.
  ScriptValue array{};
  AllocArrayValue(&array, 3);
  EXPECT_EQ(s.currentBytes[kPoolArray], 20);
  ArrayElementPtr(&array, 0);
  EXPECT_EQ(s.currentBytes[kPoolElements], 15);
  ReleaseValue(&array);
  EXPECT_EQ(s.peakBytes[kPoolElements], 15);
  PoolFree(kPoolEntry, blocks[1], engine_, 16);
  PoolFree(kPoolEntry, blocks[2], engine_, 16);
}

TEST_F(ValueTest, ReleasingUnmaterialisedArrayFreesOnlyItsRecord) {
  ScriptValue v{};
  AllocArrayValue(&v, 1000);
  EXPECT_EQ(GetArraySize(&v), 1000);
  ReleaseValue(&v);
  EXPECT_EQ(engine_->statistics.peakBlocks[kPoolElements], 0);
  EXPECT_EQ(engine_->statistics.peakBlocks[kPoolArray], 1);
  EXPECT_EQ(v.type, kValueNone);
}

}  // namespace
