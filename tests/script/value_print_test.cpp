// Debug texts of script values and code positions: every value type, the limits on nesting and
// elements, planned arrays, tables in iteration order, code addresses named by their method,
// containers that hold themselves, and the debug address with its bounded buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "script/script_calls.h"
#include "script/value_print.h"
#include "support/script_runner.h"

namespace {

const char* const kScript = R"(
.string "ab" "name"
.func Main main
.class 12
.method Run run frame=4
.end
main:
  push0
  ret
run:
  push0
  ret
)";

class ValuePrint : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    ASSERT_TRUE(Load(kScript)) << error_;
  }
  void TearDown() override {
    for (ScriptValue& v : held_) ReleaseValue(&v);
    ReleaseValue(&text_);
    ScriptRunTest::TearDown();
  }
  // A slot that lives until the test ends.
  ScriptValue* Hold() {
    held_[used_] = ScriptValue{};
    return &held_[used_++];
  }
  std::string Text(const ScriptValue* v, int32_t depth = 0x7FFFFFFF, int32_t max = 0x7FFFFFFF) {
    return FormatValueText(&text_, v, depth, max);
  }
  ScriptValue* IntArray(std::initializer_list<int32_t> items) {
    ScriptValue* v = Hold();
    AllocArrayValue(v, int32_t(items.size()));
    int32_t k = 0;
    for (int32_t n : items) ArrayWriteInt(v, k++, n);
    return v;
  }

  ScriptValue held_[32] = {};
  int used_ = 0;
  ScriptValue text_{};
};

TEST_F(ValuePrint, EveryValueTypeHasItsText) {
  ScriptValue* integer = Hold();
  SetValueInt(integer, -3);
  ScriptValue* pool = Hold();
  SetValuePoolString(pool, AsmString(asm_, "ab"));
  ScriptValue* string = Hold();
  SetValueString(string, "ab");
  ScriptValue* real = Hold();
  SetValueDouble(real, 1.5);
  ScriptValue* wide = Hold();
  SetValueInt64(wide, 0x100000005ll);
  ScriptValue* negativeWide = Hold();
  SetValueInt64(negativeWide, -5000000000ll);
  ScriptValue* nullObject = Hold();
  SetValueObject(nullObject, nullptr);
  ScriptValue* classObject = Hold();
  SetValueObject(classObject, FindScriptObject(engine_, 12));
  ScriptValue* none = Hold();
  ScriptValue* four = Hold();
  four->type = 4;
  ScriptValue* zeroAddress = Hold();
  SetValueCodeAddress(zeroAddress, 0);
  ScriptValue* inRun = Hold();
  SetValueCodeAddress(inRun, AsmLabel(asm_, "run") + 1);
  ScriptValue* inMain = Hold();
  SetValueCodeAddress(inMain, AsmLabel(asm_, "main"));

  char runText[64], mainText[64];
  std::snprintf(runText, sizeof runText, "[%06x]12.Run()", AsmLabel(asm_, "run") + 1);
  std::snprintf(mainText, sizeof mainText, "[%06x]Main()", AsmLabel(asm_, "main"));
  struct Case {
    const ScriptValue* value;
    std::string text;
  };
  const Case kCases[] = {
      {integer, "-3"},
      {pool, "'ab'"},
      {string, "\"ab\""},
      {real, "1.5"},
      {wide, "4294967301"},
      {negativeWide, "-5000000000"},
      {nullObject, "<object null>"},
      {classObject, "<object 12>"},
      {none, "<type 0>"},
      {four, "<type 4>"},
      {zeroAddress, "[000000]"},
      {inRun, runText},
      {inMain, mainText},
  };
  for (const Case& c : kCases) EXPECT_EQ(Text(c.value), c.text) << c.text;

  // An offset before every method names none: class -1 and the pool's text for id 0.
  ReleaseValue(classObject);  // a class record goes with its script
  UnloadScriptStore(engine_);
  ASSERT_TRUE(Load(R"(
.func Late late
  nop
  nop
late:
  push0
  ret
)"));
  ScriptValue* early = Hold();
  SetValueCodeAddress(early, 1);
  EXPECT_EQ(Text(early), "[000001]-1.SB_String(0)()");
}

TEST_F(ValuePrint, ContainersRespectDepthAndElementLimits) {
  ScriptValue* nullArray = Hold();
  SetValueArray(nullArray, nullptr);
  ScriptValue* empty = Hold();
  AllocArrayValue(empty, 0);
  ScriptValue* planned = Hold();
  AllocArrayValue(planned, 3);  // never written: not materialised
  ScriptValue* outer = IntArray({0});
  ArrayWrite(outer, 0, IntArray({1, 2}));
  ScriptValue* nullTable = Hold();
  nullTable->type = kValueTable;
  ScriptValue* named = Hold();
  AllocTableValue(named);
  ScriptValue key{}, data{};
  SetValuePoolString(&key, AsmString(asm_, "name"));
  SetValueInt(&data, 12);
  TableSet(named, &key, &data);
  ScriptValue* twenty = Hold();
  AllocTableValue(twenty);
  for (int32_t k = 0; k < 20; ++k) {
    SetValueInt(&key, k);
    SetValueInt(&data, k * 10);
    TableSet(twenty, &key, &data);
  }
  ReleaseValue(&key);

  struct Case {
    const ScriptValue* value;
    int32_t depth;
    int32_t max;
    const char* text;
  };
  const Case kCases[] = {
      {nullArray, 5, 5, "NULLa"},
      {empty, 5, 5, "{}"},
      {empty, 0, 0, "{}"},
      {planned, 5, 16, "{0,0,0}"},
      {planned, 5, 2, "{0,0,...}"},
      {planned, 0, 16, "{...}"},
      {outer, 1, 16, "{{...}}"},
      {outer, 2, 16, "{{1,2}}"},
      {outer, 2, 1, "{{1,...}}"},
      {nullTable, 5, 5, "[]"},
      {named, 5, 5, "['name':12]"},
      {named, 0, 5, "[...]"},
      {named, 5, 0, "[]"},
      {named, 5, -1, "[...]"},
  };
  for (const Case& c : kCases) EXPECT_EQ(Text(c.value, c.depth, c.max), c.text) << c.text;

  // Twenty entries with a limit of 16: sixteen pairs and the mark.
  std::string text = Text(twenty, 2, 16);
  EXPECT_EQ(std::count(text.begin(), text.end(), ':'), 16);
  EXPECT_EQ(text.substr(text.size() - 5), ",...]");
  EXPECT_EQ(text.front(), '[');
}

TEST_F(ValuePrint, ContainersThatHoldThemselvesPrintAndEnd) {
  ScriptValue* array = IntArray({1, 0, 0});
  ArrayWrite(array, 1, array);
  ArrayWrite(array, 2, array);
  EXPECT_EQ(Text(array), "{1,{...},{...}}");

  ScriptValue* table = Hold();
  AllocTableValue(table);
  ScriptValue key{};
  SetValueInt(&key, 1);
  TableSet(table, &key, table);
  EXPECT_EQ(Text(table), "[1:[...]]");

  // Through each other: the array is shown again only below the table.
  ScriptValue* a = IntArray({0});
  ArrayWrite(a, 0, table);
  TableSet(table, &key, a);
  EXPECT_EQ(Text(a), "{[1:{...}]}");
  ReleaseValue(&key);

  // The cycles are broken by hand so the containers can go.
  ArrayWriteInt(array, 1, 0);
  ArrayWriteInt(array, 2, 0);
  ArrayWriteInt(a, 0, 0);
}

TEST_F(ValuePrint, ManySharedLongTextsStopAtTheBudget) {
  // One text of 1 MB shared by every element: without a bound the text would be 64 MB, and
  // enough elements would pass what one block can be.
  const std::string big(1 << 20, 'x');
  ScriptValue* text = Hold();
  SetValueString(text, big.c_str());
  ScriptValue* array = Hold();
  AllocArrayValue(array, 64);
  for (int32_t k = 0; k < 64; ++k) ArrayWrite(array, k, text);
  std::string shown = Text(array);
  EXPECT_LT(shown.size(), size_t(3) << 20);
  EXPECT_EQ(shown.substr(0, 3), "{\"x");
  EXPECT_EQ(shown.substr(shown.size() - 5), ",...}");

  ScriptValue* table = Hold();
  AllocTableValue(table);
  ScriptValue key{};
  for (int32_t k = 0; k < 64; ++k) {
    SetValueInt(&key, k);
    TableSet(table, &key, text);
  }
  shown = Text(table);
  EXPECT_LT(shown.size(), size_t(3) << 20);
  EXPECT_EQ(shown.substr(shown.size() - 5), ",...]");
  ReleaseValue(&key);
}

TEST_F(ValuePrint, TheTextReplacesTheSlotEvenWhenItIsTheValue) {
  ScriptValue* v = Hold();
  AllocArrayValue(v, 2);
  ArrayWriteString(v, 0, "x");
  EXPECT_STREQ(FormatValueText(v, v, 4, 4), "{\"x\",0}");
  EXPECT_EQ(v->type, kValueString);
}

TEST_F(ValuePrint, DebugAddressesNameObjectOffsetAndMethod) {
  uint32_t run = AsmLabel(asm_, "run");
  ObjectInstance instance{};
  instance.id = -5;
  instance.classRecord = FindClassRecord(engine_, 12);
  char expected[80];
  char out[50];

  std::snprintf(expected, sizeof expected, "#-5(12)[%06x]12.Run", run);
  EXPECT_STREQ(SE_GetDebugAddress(out, engine_, sizeof out, run, &instance), expected);

  std::snprintf(expected, sizeof expected, "#12[%06x]12.Run", run + 1);
  EXPECT_STREQ(SE_GetDebugAddress(out, engine_, sizeof out, run + 1, FindScriptObject(engine_, 12)), expected);

  std::snprintf(expected, sizeof expected, "[%06x]0.Main", AsmLabel(asm_, "main"));
  EXPECT_STREQ(SE_GetDebugAddress(out, engine_, sizeof out, AsmLabel(asm_, "main"), nullptr), expected);

  EXPECT_STREQ(SE_GetDebugAddress(out, engine_, sizeof out, 0, nullptr),
               "[000000]**invalid string in SE_GetDebugAddress**");

  // A small buffer cuts the text and keeps its terminator.
  char small[12];
  std::memset(small, 'z', sizeof small);
  SE_GetDebugAddress(small, engine_, sizeof small, run, &instance);
  EXPECT_EQ(std::strlen(small), sizeof small - 1);
  EXPECT_STREQ(small, "#-5(12)[000");
}

}  // namespace
