// The SE_ pattern and XML-value natives: a table of patterns through compile, match,
// substitution of the last match and global substitution; ids that were freed or never made;
// a match that outlives the text it was made on; XML texts of values that import back to the
// same value, element imports and texts that are no document.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "script/natives/se_fixture.h"

namespace {

int32_t Fn(const char* name) {
  for (int32_t n = 0; n < kSENativeCount; ++n) {
    if (std::strcmp(kSENativeNames[n], name) == 0) return n;
  }
  ADD_FAILURE() << "no native " << name;
  return -1;
}

class SERegexTest : public SENativeTest {
 protected:
  int32_t Compile(const std::string& pattern) {
    Call(Fn("SE_RegComp"), {T(pattern)});
    return AnswerInt();
  }
  int32_t Exec(int32_t id, const std::string& text) {
    Call(Fn("SE_RegExec"), {I(id), T(text)});
    return AnswerInt();
  }
  std::string Sub(int32_t id, const std::string& replacement) {
    Call(Fn("SE_RegSub"), {I(id), T(replacement)});
    return AnswerText();
  }
  std::string SubGlobal(int32_t id, const std::string& text, const std::string& replacement) {
    Call(Fn("SE_RegSubGlobal"), {I(id), T(text), T(replacement)});
    return AnswerText();
  }
  void Free(int32_t id) {
    Call(Fn("SE_RegFree"), {I(id)});
    EXPECT_EQ(AnswerInt(), 0);
  }
};

TEST_F(SERegexTest, PatternsMatchAndSubstituteAsTheTableSays) {
  struct Case {
    const char* pattern;
    const char* text;
    const char* replacement;
    int32_t matched;
    const char* substituted;  // from the RegExec match
    const char* global;       // every match's substitution, and nothing between them
  };
  const Case kCases[] = {
      {"[0-9]+", "a1b22", "<&>", 1, "<1>", "<1><22>"},
      {"(a+)(b*)", "xaabbby", "\\2-\\1", 1, "bbb-aa", "bbb-aa"},
      {"([a-z]+)=([0-9]+)", "x=1, yy=22", "\\2:\\1;", 1, "1:x;", "1:x;22:yy;"},
      {"a\\.b", "a.b axb a.b", "[&]", 1, "[a.b]", "[a.b][a.b]"},
      {"^ab", "abab", "[&]", 1, "[ab]", "[ab][ab]"},  // each search starts where the last match ended
      {"x", "abc", "<&>", 0, "<>", ""},               // no match: only the literal parts
      {"x*", "abc", "<&>", 1, "<>", "<>"},            // a match of length 0 is the last
      {"b", "abc", "\\&\\\\&", 1, "&\\b", "&\\b"},
      {"[0-9]+", "no digits", "<&>", 0, "<>", ""},
  };
  for (const Case& c : kCases) {
    int32_t id = Compile(c.pattern);
    ASSERT_NE(id, 0) << c.pattern;
    EXPECT_EQ(Exec(id, c.text), c.matched) << c.pattern;
    EXPECT_EQ(Sub(id, c.replacement), c.substituted) << c.pattern;
    EXPECT_EQ(SubGlobal(id, c.text, c.replacement), c.global) << c.pattern;
    Free(id);
  }
  EXPECT_EQ(HashCount(engine_->expressions), 0u);
}

TEST_F(SERegexTest, IdsComeFromTheRegistryAndDieWithTheirPattern) {
  int32_t first = Compile("a");
  int32_t second = Compile("b");
  EXPECT_EQ(first, 2);  // the registry's first key
  EXPECT_EQ(second, 3);
  EXPECT_EQ(Compile("("), 0);
  EXPECT_EQ(Compile("[a-"), 0);
  Call(Fn("SE_RegComp"), {I(5)});
  EXPECT_EQ(AnswerInt(), 0);

  Free(first);
  EXPECT_EQ(Exec(first, "a"), 0);
  EXPECT_EQ(Sub(first, "<&>"), "");
  EXPECT_EQ(SubGlobal(first, "aaa", "<&>"), "");
  Free(first);  // twice changes nothing
  for (int32_t id : {0, -1, 999, INT_MAX}) {
    EXPECT_EQ(Exec(id, "b"), 0) << id;
    EXPECT_EQ(Sub(id, "x"), "") << id;
  }
  // A text id is no id; the pattern behind the same number stays.
  Call(Fn("SE_RegExec"), {T("3"), T("b")});
  EXPECT_EQ(AnswerInt(), 0);
  EXPECT_EQ(Exec(second, "abc"), 1);
  EXPECT_EQ(Sub(second, "<&>"), "<b>");
  // A replacement that is not a text substitutes nothing.
  Call(Fn("SE_RegSub"), {I(second), I(4)});
  EXPECT_EQ(AnswerText(), "");
  Free(second);
  EXPECT_EQ(HashCount(engine_->expressions), 0u);
}

// The match of SE_RegExec lives in the pattern while the script's text is long gone (the
// address sanitizer watches the substitution's reads).
TEST_F(SERegexTest, TheLastMatchOutlivesTheMatchedText) {
  int32_t id = Compile("w([a-z]+)");
  std::string text = "hello world, " + std::string(200, 'z');
  ASSERT_EQ(Exec(id, text), 1);
  ClearArgs();  // the text argument's string object is freed here
  EXPECT_EQ(Sub(id, "<&|\\1>"), "<world|orld>");
  EXPECT_EQ(Sub(id, "again <&>"), "again <world>");
  Free(id);
}

TEST_F(SERegexTest, TheUnloadFreesPatternsStillRegistered) {
  Compile("a+");
  int32_t id = Compile("b+");
  Exec(id, "bbb");
  EXPECT_EQ(HashCount(engine_->expressions), 2u);
  FreeScriptFilesAndExpressions(engine_);
  EXPECT_EQ(HashCount(engine_->expressions), 0u);
  EXPECT_EQ(Exec(id, "bbb"), 0);
}

// ---- XML ------------------------------------------------------------------------------------

class SEXmlTest : public SENativeTest {
 protected:
  std::string Export(const ScriptValue& value) {
    Call(Fn("SE_XMLExportValue"), {V(value)});
    return AnswerText();
  }
};

TEST_F(SEXmlTest, ValuesRoundTripThroughTheirXmlText) {
  ScriptValue table{}, array{}, key{}, data{};
  AllocTableValue(&table);
  AllocArrayValue(&array, 3);
  ArrayWriteInt(&array, 0, -7);
  ArrayWriteString(&array, 1, "a < b & \"c\"");
  SetValueDouble(&data, 2.5);
  ArrayWrite(&array, 2, &data);
  SetValueString(&key, "list");
  TableSet(&table, &key, &array);
  SetValueInt(&key, 12);
  SetValueString(&data, "twelve");
  TableSet(&table, &key, &data);

  std::vector<ScriptValue*> values = {&table, &array, &data, &key};
  for (ScriptValue* value : values) {
    std::string xml = Export(*value);
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"?>", 0), 0u) << xml;
    EXPECT_NE(xml.find("<sval"), std::string::npos) << xml;
    Call(Fn("SE_XMLImportValue"), {T(xml)});
    ScriptValue back{};
    MoveValue(&back, &answer_);
    EXPECT_EQ(back.type, value->type) << xml;
    EXPECT_EQ(Export(back), xml);
    ReleaseValue(&back);
  }
  for (ScriptValue* value : values) ReleaseValue(value);
}

TEST_F(SEXmlTest, ImportsTakeTheFirstElementAndFailQuietly) {
  // Comments and processing instructions before the element are passed over.
  Call(Fn("SE_XMLImportValue"), {T("<?xml version=\"1.0\"?><!-- c --><sval type=\"int\" val=\"42\"/>")});
  EXPECT_EQ(answer_.type, kValueInt);
  EXPECT_EQ(AnswerInt(), 42);

  Call(Fn("SE_XMLImport"), {T("<root a=\"1\"><child/>text</root>")});
  ASSERT_EQ(answer_.type, kValueArray);
  const ScriptValue* name = ArrayElementPtr(&answer_, 0);
  ASSERT_NE(name, nullptr);
  ASSERT_TRUE(ValueIsText(name));
  EXPECT_STREQ(GetValueString(name), "root");
  const ScriptValue* attributes = ArrayElementPtr(&answer_, 1);
  ASSERT_NE(attributes, nullptr);
  EXPECT_EQ(attributes->type, kValueTable);

  struct Case {
    int32_t function;
    std::vector<Arg> args;
  };
  const Case kCases[] = {
      {Fn("SE_XMLImportValue"), {T("not xml at all")}},
      {Fn("SE_XMLImportValue"), {T("<a><b></a>")}},
      {Fn("SE_XMLImportValue"), {T("")}},
      {Fn("SE_XMLImportValue"), {T("<other/>")}},  // an element that is no value
      {Fn("SE_XMLImportValue"), {I(5)}},
      {Fn("SE_XMLImport"), {T("<a>")}},
      {Fn("SE_XMLImport"), {I(0)}},
      {Fn("SE_XMLExportValue"), {}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Call(c.function, c.args), 1);
    EXPECT_EQ(answer_.type, kValueInt) << kSENativeNames[c.function];
    EXPECT_EQ(AnswerInt(), 0) << kSENativeNames[c.function];
  }
}

}  // namespace
