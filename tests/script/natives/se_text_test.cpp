// The SE_ text and string natives and the script printf, called through the dispatcher on a
// fake task: text lookups with their key-text fallbacks, substrings, splitting, substitution,
// the printf directives, the XML and query codings, comparisons and times.
#include <cstdlib>
#include <ctime>
#include <memory>

#include "core/system_block.h"
#include "script/natives/se_fixture.h"
#include "script/natives/se_text.h"

namespace {

enum : int32_t {
  kXMLImportText = 0, kReadText = 1, kExistsText = 2, kGetLanguage = 5, kFreeText = 6, kStringLen = 7,
  kNumChars = 8, kNextCharPos = 9, kPrevCharPos = 10, kReadChar = 11, kWriteChar = 12, kStringStr = 13,
  kStringChr = 14, kStringRChr = 15, kStringSub = 16, kStringToInt = 17, kStringSplit = 18, kStringSubst = 19,
  kSPrintf = 20, kVSPrintf = 21, kStrcmp = 22, kStricmp = 23, kCTime = 24, kTimeString = 25,
  kXMLEncode = 97, kXMLEscape = 98, kQueryDecode = 99, kQueryToUTF8 = 100, kStringCat = 143,
  kConvertFormat = 144, kConvertText = 145, kStringMul = 146,
};

class SETextTest : public SENativeTest {
 protected:
  void SetUp() override {
    SENativeTest::SetUp();
    system_ = std::make_unique<SystemBlock>();
    savedSystem_ = gSystem;
    gSystem = system_.get();
    gSystem->language = 44;
  }
  void TearDown() override {
    gSystem = savedSystem_;
    SENativeTest::TearDown();
  }

  std::unique_ptr<SystemBlock> system_;
  SystemBlock* savedSystem_ = nullptr;
};

constexpr const char kLanguages[] =
    "<language id=\"44\"><page id=\"7\"><t id=\"3\">Hello</t><t id=\"4\">Fuel {7,3}</t></page>"
    "<page id=\"0\"><t id=\"5\">Zero page</t></page></language>";

TEST_F(SETextTest, TextLookupAnswersTheTextOrItsKey) {
  ASSERT_EQ(Call(kXMLImportText, {T(kLanguages)}), 1);
  EXPECT_EQ(AnswerInt(), 1);
  Call(kXMLImportText, {T("<language id=\"49\"><page id=\"7\"><t id=\"3\">Hallo</t></page></language>")});
  EXPECT_EQ(AnswerInt(), 1);

  struct Case {
    int32_t function;
    std::vector<int32_t> args;
    const char* text;  // null: integer 0
  };
  const Case kCases[] = {
      {kReadText, {7, 3}, "Hello"},
      {kReadText, {7, 49, 3}, "Hallo"},
      {kReadText, {5}, "Zero page"},
      {kReadText, {7, 9}, "ReadText7-9"},
      {kReadText, {7, 49, 9}, "ReadText7-49-9"},
      {kReadText, {7, 998, 3}, "ReadText7-998-3"},
      {kReadText, {7, 5000, 3}, "ReadText7-5000-3"},
      {kReadText, {7, -1, 3}, "ReadText7--1-3"},
      {kReadText, {6}, "ReadText6"},
      {kReadText, {}, "ReadText0"},
      {kExistsText, {7, 3}, "Hello"},
      {kExistsText, {7, 9}, nullptr},
      {kExistsText, {7, 49, 9}, nullptr},
  };
  for (const Case& c : kCases) {
    std::vector<Arg> args;
    for (int32_t a : c.args) args.push_back(I(a));
    Call(c.function, args);
    if (c.text) EXPECT_EQ(AnswerText(), c.text) << c.function << " / " << c.text;
    else EXPECT_EQ(AnswerInt(), 0) << c.function;
  }

  // Texts are shared with the database, not copied.
  Call(kReadText, {I(7), I(3)});
  EXPECT_EQ(answer_.type, kValueString);
  EXPECT_EQ(answer_.string, FindTextValue(engine_->textTables[44], 7, 3)->string);

  Call(kGetLanguage, {});
  EXPECT_EQ(AnswerInt(), 44);
  Call(kConvertFormat, {T("Buy {7,4}!")});
  EXPECT_EQ(AnswerText(), "Buy Fuel Hello!");

  Call(kFreeText, {});
  Call(kReadText, {I(7), I(3)});
  EXPECT_EQ(AnswerText(), "ReadText7-3");
  Call(kReadText, {I(7), I(49), I(3)});
  EXPECT_EQ(AnswerText(), "ReadText7-49-3");
  Call(kReadText, {I(5)});
  EXPECT_EQ(AnswerText(), "ReadText5");
}

TEST_F(SETextTest, XmlImportOfABrokenDocumentAnswersZero) {
  Call(kXMLImportText, {T("<language id=\"44\"><page")});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kXMLImportText, {I(5)});
  EXPECT_EQ(AnswerInt(), 0);
}

TEST_F(SETextTest, ConvertFormatStringKeepsTextsWithoutBraces) {
  Call(kConvertFormat, {T("plain")});
  EXPECT_EQ(AnswerText(), "plain");
  Call(kConvertFormat, {I(3)});
  EXPECT_EQ(AnswerInt(), 0);
}

TEST_F(SETextTest, SubstringsCountBytesAndNeverEndInsideACharacter) {
  struct Case {
    const char* text;
    std::vector<int32_t> args;
    const char* expected;
  };
  const Case kCases[] = {
      {"abc", {1}, "bc"},
      {"abc", {3}, ""},
      {"abc", {-1}, ""},
      {"abc", {0, 0}, ""},
      {"abc", {1, 5}, "bc"},
      {"abc", {0, 2}, "ab"},
      {"abc", {1, -1}, "bc"},
      {"abc", {2, 1}, "c"},
      {"", {0}, ""},
      // "a" then the two bytes of e-acute then "b": a length ending inside the character
      // takes the whole character.
      {"a\xC3\xA9" "b", {0, 2}, "a\xC3\xA9"},
      {"a\xC3\xA9" "b", {1, 1}, "\xC3\xA9"},
  };
  for (const Case& c : kCases) {
    std::vector<Arg> args{T(c.text)};
    for (int32_t a : c.args) args.push_back(I(a));
    Call(kStringSub, args);
    EXPECT_EQ(AnswerText(), c.expected) << c.text << " from " << c.args[0];
  }
  Call(kStringSub, {I(5), I(0)});
  EXPECT_EQ(AnswerText(), "");
}

TEST_F(SETextTest, SearchesAnswerByteIndexesOrMinusOne) {
  struct Case {
    int32_t function;
    std::vector<Arg> args;
    int32_t expected;
  };
  const Case kCases[] = {
      {kStringStr, {T("abcabc"), T("c"), I(3)}, 5},
      {kStringStr, {T("abcabc"), T("c")}, 2},
      {kStringStr, {T("abcabc"), T("c"), I(-1)}, -1},
      {kStringStr, {T("abcabc"), T("c"), I(6)}, -1},
      {kStringStr, {T("abcabc"), T("x")}, -1},
      {kStringStr, {T("abc"), T("")}, 0},
      {kStringStr, {T("abc"), I(1)}, -1},
      {kStringStr, {I(1), T("a")}, -1},
      {kStringChr, {T("abcabc"), I('b'), I(2)}, 4},
      {kStringChr, {T("abc"), I(0)}, 3},
      {kStringChr, {T("abc"), I('z')}, -1},
      {kStringChr, {T("abc"), I('a'), I(-5)}, -1},
      {kStringChr, {T("abc")}, -1},
      {kStringRChr, {T("abcabc"), I('a')}, 3},
      {kStringRChr, {T("abc"), I('z')}, -1},
      {kStringRChr, {D(1.0), I('a')}, -1},
  };
  for (const Case& c : kCases) {
    Call(c.function, c.args);
    EXPECT_EQ(AnswerInt(), c.expected) << c.function << " case " << (&c - kCases);
  }
}

TEST_F(SETextTest, CharacterNativesStayInsideTheText) {
  struct Case {
    int32_t function;
    std::vector<Arg> args;
    int32_t expected;
  };
  const Case kCases[] = {
      {kStringLen, {T("h\xC3\xA9llo")}, 6},
      {kStringLen, {I(5)}, 0},
      {kNumChars, {T("h\xC3\xA9llo")}, 5},
      {kNumChars, {T("a\x1b" "bc")}, 2},
      {kNextCharPos, {T("h\xC3\xA9llo"), I(1)}, 3},
      {kNextCharPos, {T("abc"), I(9)}, 3},
      {kNextCharPos, {T("abc"), I(-4)}, 0},
      {kPrevCharPos, {T("h\xC3\xA9llo"), I(3)}, 1},
      {kPrevCharPos, {T("abc"), I(-4)}, 0},
      {kReadChar, {T("a\xC8")}, 'a'},
      {kReadChar, {T("a\xC8"), I(1)}, 200},
      {kReadChar, {T("abc"), I(3)}, 0},
      {kReadChar, {T("abc"), I(-1)}, 0},
      {kReadChar, {I(7)}, 0},
      {kStringToInt, {T(" 42x")}, 42},
      {kStringToInt, {T("-17")}, -17},
      {kStringToInt, {T("99999999999")}, 2147483647},
      {kStringToInt, {I(5)}, 0},
      {kStringMul, {T("AB"), I(0), I(2)}, 3},
      {kStringMul, {T("AB"), I(0)}, 0},
      {kStringMul, {T("AB"), I(-5), I(99)}, 3},
      {kStringMul, {T("AB"), I(1), I(1)}, 0},
      {kStrcmp, {I(1), T("a")}, -2},
      {kStrcmp, {T("a"), I(1)}, 2},
      {kStrcmp, {T("a"), T("b")}, -1},
      {kStrcmp, {T("b"), T("a")}, 1},
      {kStrcmp, {T("\xC8"), T("a")}, 1},
      {kStrcmp, {T("a"), T("a")}, 0},
      {kStricmp, {T("ABC"), T("abc")}, 0},
      {kStricmp, {I(0), T("abc")}, -2},
      {kStricmp, {T("abc"), D(2.0)}, 2},
  };
  for (const Case& c : kCases) {
    Call(c.function, c.args);
    EXPECT_EQ(AnswerInt(), c.expected) << c.function << " case " << (&c - kCases);
  }
  Call(kStricmp, {T("a"), T("B")});
  EXPECT_LT(AnswerInt(), 0);
}

TEST_F(SETextTest, WriteCharReplacesOneByteOfACopy) {
  Call(kWriteChar, {T("abc"), I('X'), I(1)});
  EXPECT_EQ(AnswerText(), "aXc");
  EXPECT_STREQ(GetValueString(ArgSlot(0)), "abc");
  Call(kWriteChar, {T("abc"), I('X')});
  EXPECT_EQ(AnswerText(), "Xbc");
  Call(kWriteChar, {T("abc"), I('X'), I(3)});
  EXPECT_EQ(AnswerText(), "abc");
  Call(kWriteChar, {I(3), I('X')});
  EXPECT_EQ(AnswerText(), "");
}

TEST_F(SETextTest, SplitMakesOneElementPerPiece) {
  struct Case {
    Arg text;
    Arg separator;
    std::vector<std::string> pieces;
  };
  const Case kCases[] = {
      {T("a,,b"), T(","), {"a", "", "b"}},
      {T("abc"), T(";"), {"abc"}},
      {T(",a,"), T(","), {"", "a", ""}},
      {T("a--b--c"), T("--"), {"a", "b", "c"}},
      {T("aaa"), T("aa"), {"", "a"}},
      {T("abc"), T(""), {"abc"}},
      {T("abc"), I(0), {"abc"}},
      {I(4), T(","), {}},
  };
  for (const Case& c : kCases) {
    Call(kStringSplit, {c.text, c.separator});
    ASSERT_EQ(answer_.type, kValueArray);
    EXPECT_EQ(Elements(&answer_), c.pieces) << (&c - kCases);
  }
}

TEST_F(SETextTest, SubstReplacesEveryOccurrenceOrKeepsTheText) {
  struct Case {
    Arg text, find, replacement;
    const char* expected;
  };
  const Case kCases[] = {
      {T("a-b-c"), T("-"), T("+"), "a+b+c"},
      {T("aaaa"), T("aa"), T("b"), "bb"},
      {T("xyz"), T("y"), T("long"), "xlongz"},
      {T("xyz"), T("y"), T(""), "xz"},
      {T("xyz"), T("q"), T("w"), "xyz"},
      {T("xyz"), T(""), T("w"), "xyz"},
      {T("xyz"), I(1), T("w"), "xyz"},
  };
  for (const Case& c : kCases) {
    Call(kStringSubst, {c.text, c.find, c.replacement});
    EXPECT_EQ(AnswerText(), c.expected) << (&c - kCases);
  }
  Call(kStringSubst, {I(9), T("a"), T("b")});
  EXPECT_EQ(AnswerInt(), 9);
}

TEST_F(SETextTest, PrintfDirectives) {
  ScriptValue array{};
  AllocArrayValue(&array, 2);
  ArrayWriteInt(&array, 0, 1);
  ArrayWriteString(&array, 1, "x");
  struct Case {
    const char* format;
    std::vector<Arg> args;
    std::string expected;
  };
  const Case kCases[] = {
      {"%!1s-%s", {T("a"), T("b")}, "b-a"},
      {"%5.2s|", {T("abcd")}, "   ab|"},
      {"%-5s|", {T("ab")}, "ab   |"},
      {"%.0s|", {T("abc")}, "abc|"},
      {"%q", {}, "%q"},
      {"%5q", {}, "%q"},
      {"%s", {}, "<invalid>"},
      {"%s", {I(5)}, "<invalid>"},
      {"%d", {I(-42)}, "-42"},
      {"%i|%d", {I(7)}, "7|0"},
      {"%+05d", {I(42)}, "+0042"},
      {"% d", {I(42)}, " 42"},
      {"%-4d|", {I(7)}, "7   |"},
      {"%*d", {I(5), I(42)}, "   42"},
      {"%*d|", {I(-4), I(7)}, "7   |"},
      {"%.*d", {I(3), I(7)}, "007"},
      {"%.3d", {I(7)}, "007"},
      {"%x %X %o %u", {I(255), I(255), I(8), I(-1)}, "ff FF 10 4294967295"},
      {"%#x %#o", {I(255), I(8)}, "0xff 010"},
      {"%hd %hu", {I(65535), I(-1)}, "-1 65535"},
      {"%ld", {I(-5)}, "-5"},
      {"%d", {T("12")}, "0"},
      {"%d", {D(2.5)}, "0"},
      {"%c%c", {I(65), I(0x142)}, "AB"},
      {"%%|100%", {}, "%|100%"},
      {"%!2d%!0d%d", {I(1), I(2), I(3)}, "311"},
      {"%!9d", {}, "0"},
      {"%a", {I(5)}, "5"},
      {"%a", {}, "[NULL]"},
      {"%a", {T("x")}, "\"x\""},
      {"%a", {V(array)}, "{1,\"x\"}"},
      {"%6.3a|", {V(array)}, "   {1,|"},
      {"%.2f", {D(3.14159)}, "3.14"},
      {"%e", {D(1.5)}, "1.500000e+00"},
      {"%G", {D(0.0001)}, "0.0001"},
      {"%f", {I(3)}, "0.000000"},
      {"%+f", {D(1.0)}, "1.000000"},
      {"%-8.1f|", {D(2.25)}, "2.2     |"},
      {"%.30f", {D(0.5)}, "0.50000000000000000000"},
      {"%40d|", {I(1)}, "                   1|"},
      {"tail %", {}, "tail %"},
      {"cut %-5", {}, "cut %"},
  };
  for (const Case& c : kCases) {
    std::vector<Arg> all{T(c.format)};
    all.insert(all.end(), c.args.begin(), c.args.end());
    Call(kSPrintf, all);
    EXPECT_EQ(AnswerText(), c.expected) << c.format;
  }
  ReleaseValue(&array);
}

TEST_F(SETextTest, PrintfCharacterZeroEndsTheText) {
  Call(kSPrintf, {T("a%cb"), I(0)});
  EXPECT_EQ(AnswerText(), "a");
}

TEST_F(SETextTest, PrintfNeverWritesPastItsBuffer) {
  ScriptValue args[2]{};
  SetValueString(&args[0], "abcdef");
  SetValueInt(&args[1], 123456);
  const char* format = "%s/%d/%20s";
  int32_t n = FormatScriptText(nullptr, format, args, 2);
  ASSERT_EQ(n, 6 + 1 + 6 + 1 + 20);
  for (int32_t capacity = 1; capacity <= n + 1; ++capacity) {
    // Exactly capacity bytes on the heap, so the address sanitizer sees any byte beyond.
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(capacity)]);
    EXPECT_EQ(FormatScriptTextN(buffer.get(), capacity, format, args, 2), n);
    EXPECT_EQ(std::strlen(buffer.get()), static_cast<size_t>(capacity - 1));
  }
  std::unique_ptr<char[]> exact(new char[static_cast<size_t>(n) + 1]);
  FormatScriptText(exact.get(), format, args, 2);
  EXPECT_EQ(std::string(exact.get()), "abcdef/123456/" + std::string(11, ' ') + "<invalid>");
  ReleaseValue(&args[0]);
  ReleaseValue(&args[1]);
}

TEST_F(SETextTest, VSPrintfTakesTheArrayElements) {
  ScriptValue array{};
  AllocArrayValue(&array, 2);
  ArrayWriteString(&array, 0, "a");
  ArrayWriteString(&array, 1, "b");
  Call(kVSPrintf, {T("%!1s-%s"), V(array)});
  EXPECT_EQ(AnswerText(), "b-a");
  ReleaseValue(&array);

  ScriptValue planned{};
  AllocArrayValue(&planned, 2);
  Call(kVSPrintf, {T("%d,%d,%s"), V(planned)});
  EXPECT_EQ(AnswerText(), "0,0,<invalid>");
  ReleaseValue(&planned);

  Call(kVSPrintf, {T("%d|%s"), I(5)});
  EXPECT_EQ(AnswerText(), "0|<invalid>");
  Call(kVSPrintf, {I(5)});
  EXPECT_EQ(AnswerText(), "");
}

TEST_F(SETextTest, XmlEncodingsOfEntitiesBytesAndCodePoints) {
  struct Case {
    int32_t function;
    const char* text;
    const char* expected;
  };
  const Case kCases[] = {
      {kXMLEncode, "a\tb", "a&#09;b"},
      {kXMLEncode, "\xC8", "&#200;"},
      {kXMLEncode, "\x7F~", "\x7F~"},
      {kXMLEncode, "%u20AC", "\xE2\x82\xAC"},
      {kXMLEncode, "%u00e9!", "\xC3\xA9!"},
      {kXMLEncode, "%u0041", "A"},
      {kXMLEncode, "%u20A", "%u20A"},
      {kXMLEncode, "<a href=\"x\">&</a>", "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;"},
      {kXMLEscape, "<\t\xC8&\"", "&lt;\t\xC8&amp;&quot;"},
      {kQueryDecode, "a+b%41%%%zz%4", "a bA%%zz%4"},
      {kQueryDecode, "%c3%A9", "\xC3\xA9"},
      {kQueryToUTF8, "%u20AC+%41", "\xE2\x82\xAC A"},
      {kQueryToUTF8, "%E9", "\xC3\xA9"},
      {kQueryToUTF8, "\xE9%%", "\xC3\xA9%"},
      {kQueryToUTF8, "%u00", "%u00"},
  };
  for (const Case& c : kCases) {
    Call(c.function, {T(c.text)});
    EXPECT_EQ(AnswerText(), c.expected) << c.function << " " << c.text;
  }
  for (int32_t function : {kXMLEncode, kXMLEscape, kQueryDecode, kQueryToUTF8}) {
    Call(function, {I(1)});
    EXPECT_EQ(AnswerText(), "") << function;
  }
}

TEST_F(SETextTest, ConvertTextStringDropsCommentsAndTakesEscapes) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case kCases[] = {
      {"a(b)c\\tz", "ac\tz"},
      {"x\\101y", "xAy"},
      {"\\(kept\\)", "(kept)"},
      {"a(skip \\) still)b", "ab"},
      {"line\nbreak", "line break"},
      {"a\\qb\\\\", "aqb\\"},
      {"end\\", "end"},
      {"\\n\\r\\b", "\n\r\b"},
  };
  for (const Case& c : kCases) {
    Call(kConvertText, {T(c.text)});
    EXPECT_EQ(AnswerText(), c.expected) << c.text;
  }
  Call(kConvertText, {I(1)});
  EXPECT_EQ(AnswerText(), "");
}

TEST_F(SETextTest, TimesFormatTheGivenSecondsInLocalTime) {
  const char* savedZone = std::getenv("TZ");
  std::string saved = savedZone ? savedZone : "";
  setenv("TZ", "UTC", 1);
  tzset();
  Call(kCTime, {I(0)});
  EXPECT_EQ(AnswerText(), "Thu Jan  1 00:00:00 1970");
  // The payload is taken without sign: -1 is the last second of 2106's 32-bit range.
  Call(kCTime, {I(-1)});
  EXPECT_EQ(AnswerText(), "Sun Feb  7 06:28:15 2106");
  Call(kTimeString, {T("%Y-%m-%d %H:%M"), I(86400)});
  EXPECT_EQ(AnswerText(), "1970-01-02 00:00");
  // 48 characters fit; more leave the answer empty rather than undefined.
  Call(kTimeString, {T(std::string(48, 'x')), I(0)});
  EXPECT_EQ(AnswerText(), std::string(48, 'x'));
  Call(kTimeString, {T(std::string(49, 'x')), I(0)});
  EXPECT_EQ(AnswerText(), "");
  Call(kTimeString, {I(3)});
  EXPECT_EQ(AnswerText(), "");
  Call(kCTime, {});
  EXPECT_EQ(AnswerText().size(), 24u);
  if (savedZone) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

TEST_F(SETextTest, StringCatAnswersTheCommandLine) {
  Call(kStringCat, {I(1), I(2)});
  EXPECT_NE(AnswerText().find("test_script_natives_se_text"), std::string::npos) << AnswerText();
}

}  // namespace
