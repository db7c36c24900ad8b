// Tests of the pattern matcher: a table of patterns, subjects and results over anchors, classes,
// repeats, groups and substitution; the patterns that must not compile; bounded substitution;
// and hostile patterns and texts that must answer "no match" instead of crashing or hanging.
#include "core/pattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "core/memory.h"

namespace {

struct PatternGuard {
  CompiledPattern* p;
  explicit PatternGuard(const char* text) : p(PatternCompile(text)) {}
  ~PatternGuard() { PatternFree(p); }
};

std::string Substitute(const CompiledPattern* p, const char* source) {
  char buffer[256];
  PatternSubstitute(source, p, buffer, sizeof buffer);
  return buffer;
}

TEST(Pattern, MatchesTheCaseTable) {
  struct Case {
    const char* pattern;
    const char* subject;
    bool matches;
    const char* substitution;  // source applied after the match
    const char* expected;
  };
  const Case kCases[] = {
      // Literals, anchors and the empty match.
      {"a*", "", true, "[&]", "[]"},
      {"x*", "yyy", true, "[&]", "[]"},
      {"$", "abc", true, "[&]", "[]"},
      {"^x", "yx", false, "", ""},
      {"^x", "xy", true, "&", "x"},
      {"x$", "xax", true, "&", "x"},
      {"x$", "xa", false, "", ""},
      {"a.", "a", false, "", ""},
      {"a.c", "zzabc", true, "&", "abc"},
      {"a\\.b", "axb a.b", true, "&", "a.b"},
      {"a^b", "a^b", false, "", ""},  // ^ is always an anchor
      {"b$c", "b$c", false, "", ""},
      // Classes.
      {"[]a]", "x]", true, "&", "]"},
      {"[^-]", "-", false, "", ""},
      {"[^-]", "-q", true, "&", "q"},
      {"[a-]+", "x-a-y", true, "&", "-a-"},
      {"[b-a]", "b", true, "&", "b"},
      {"[b-a]", "a", false, "", ""},
      {"[0-9]+", "ab123c", true, "&", "123"},
      {"[--/]+", "a-./b", true, "&", "-./"},
      {"[^a-c]+", "abcdefa", true, "&", "def"},
      // Repeats.
      {"ab+", "abbbc", true, "&", "abbb"},
      {"ab+", "abab", true, "&", "ab"},  // the plus takes the b alone
      {"ab+", "a", false, "", ""},
      {"colou?r", "color", true, "&", "color"},
      {"colou?r", "colour", true, "&", "colour"},
      {"a?b", "b", true, "&", "b"},
      {"x.*y", "xaaybby", true, "&", "xaaybby"},
      {"(ab)*c", "ababc", true, "\\1/&", "ab/ababc"},
      {"(ab)+", "xababab", true, "\\1-\\0", "ab-ababab"},
      {"(a|b)*c", "ababc", true, "\\1", "b"},  // a repeated group reports its last turn
      // Alternation and groups.
      {"cat|dog", "hotdog", true, "&", "dog"},
      {"(c|d)(a|o)(t|g)", "a dog", true, "\\3\\2\\1", "god"},
      {"(a)|b", "b", true, "[\\1]", "[]"},  // a group that took no part inserts nothing
      {"()x", "x", true, "&", "x"},
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)", "abcdefghi", true, "\\9\\5\\1", "iea"},
      // Substitution escapes.
      {"b", "abc", true, "\\&", "&"},
      {"b", "abc", true, "\\q", "\\q"},
      {"b", "abc", true, "\\\\", "\\"},
      {"b", "abc", true, "x\\", "x\\"},
      {"(b)", "abc", true, "<&&\\1>", "<bbb>"},
      {"(b)", "abc", true, "\\7", ""},
      // The processor-clock probe.
      {"([0-9]+\\.*[0-9]+)[ ]*[GgMm][Hh][Zz]", "Processor 2.66GHz", true, "\\1", "2.66"},
      {"([0-9]+\\.*[0-9]+)[ ]*[GgMm][Hh][Zz]", "Model 7 Unit 1500 MHz", true, "\\1", "1500"},
      {"([0-9]+\\.*[0-9]+)[ ]*[GgMm][Hh][Zz]", "no clock here", false, "", ""},
  };
  for (const Case& c : kCases) {
    PatternGuard g(c.pattern);
    ASSERT_NE(g.p, nullptr) << c.pattern;
    EXPECT_EQ(PatternExec(g.p, c.subject), c.matches ? 1 : 0) << c.pattern << " on " << c.subject;
    if (c.matches) {
      EXPECT_EQ(Substitute(g.p, c.substitution), c.expected) << c.pattern << " / " << c.substitution;
    }
  }
}

TEST(Pattern, RefusesPatternsThatDoNotCompile) {
  const char* const kBad[] = {
      "**", "*a", "a**", "a+*", "a?+", "(a*)*", "(a*)+", "(x?)+", "(^)*",
      "[z-a]", "[abc", "[", "a\\", "(", "(ab", ")", "ab)", "a|*", "+",
      "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)",  // a tenth group
      "((((((((((a))))))))))",
  };
  for (const char* text : kBad) EXPECT_EQ(PatternCompile(text), nullptr) << text;
  EXPECT_EQ(PatternCompile(nullptr), nullptr);
  const char* const kGood[] = {"(a*)?", "a|", "|", "", "(a)(b)(c)(d)(e)(f)(g)(h)(i)", "[]-a]", "[a-a]", "\\*"};
  for (const char* text : kGood) {
    CompiledPattern* p = PatternCompile(text);
    EXPECT_NE(p, nullptr) << text;
    PatternFree(p);
  }
}

TEST(Pattern, SearchHintsComeFromTheProgram) {
  struct Case {
    const char* pattern;
    uint8_t firstByte;
    uint8_t anchored;
    const char* required;
  };
  const Case kCases[] = {
      {"abc", 'a', 0, nullptr},   {"^abc", 0, 1, nullptr},      {"x*hello+", 0, 0, "hell"},
      {"a*bb*cc", 0, 0, "cc"},    {"ab|cd", 0, 0, nullptr},     {".*(xy)", 0, 0, nullptr},
  };
  for (const Case& c : kCases) {
    PatternGuard g(c.pattern);
    ASSERT_NE(g.p, nullptr) << c.pattern;
    EXPECT_EQ(g.p->firstByte, c.firstByte) << c.pattern;
    EXPECT_EQ(g.p->anchored, c.anchored) << c.pattern;
    if (c.required) {
      ASSERT_NE(g.p->requiredText, nullptr) << c.pattern;
      EXPECT_EQ(std::string(g.p->requiredText, g.p->requiredLength), c.required) << c.pattern;
    } else {
      EXPECT_EQ(g.p->requiredText, nullptr) << c.pattern;
    }
    EXPECT_EQ(PatternProgram(g.p)[0], kPatternMagic);
  }
}

TEST(Pattern, NodesAreLaidOutAsTheProgramFormatSays) {
  PatternGuard g("a+");
  ASSERT_NE(g.p, nullptr);
  // magic, BRANCH -> END, PLUS -> END over EXACTLY "a" (no next), END
  const uint8_t expected[] = {0x9C, 6, 0, 11, 11, 0, 8, 8, 0, 0, 'a', 0, 0, 0, 0};
  ASSERT_EQ(g.p->programSize, sizeof expected);
  for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(PatternProgram(g.p)[i], expected[i]) << i;
}

TEST(Pattern, SubstitutionNeverWritesPastItsBuffer) {
  PatternGuard g("(b+)");
  ASSERT_EQ(PatternExec(g.p, "abbbbbbbbbbbbc"), 1);
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  size_t needed = PatternSubstitute("[&][\\1][&]", g.p, buffer, 8);
  EXPECT_EQ(needed, 3u * 12 + 6);
  EXPECT_STREQ(buffer, "[bbbbbb");
  for (size_t i = 8; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << i;
  EXPECT_EQ(PatternSubstitute("xyz", g.p, buffer, 1), 3u);
  EXPECT_STREQ(buffer, "");
  buffer[0] = '#';
  EXPECT_EQ(PatternSubstitute("xyz", g.p, buffer, 0), 3u);
  EXPECT_EQ(buffer[0], '#');
}

TEST(Pattern, RefusesNullsAndForeignBlocks) {
  PatternGuard g("(a)");
  char buffer[8] = "keep";
  EXPECT_EQ(PatternExec(nullptr, "a"), 0);
  EXPECT_EQ(PatternExec(g.p, nullptr), 0);
  EXPECT_EQ(PatternSubstitute(nullptr, g.p, buffer, sizeof buffer), 0u);
  EXPECT_EQ(PatternSubstitute("x", nullptr, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "keep");
  ASSERT_EQ(PatternExec(g.p, "a"), 1);
  PatternProgram(g.p)[0] = 0;
  EXPECT_EQ(PatternExec(g.p, "a"), 0);
  EXPECT_EQ(PatternSubstitute("&", g.p, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "keep");
  PatternProgram(g.p)[0] = kPatternMagic;
}

TEST(Pattern, FailedMatchForgetsTheEarlierOne) {
  PatternGuard g("(a)");
  std::string first = "a";
  ASSERT_EQ(PatternExec(g.p, first.c_str()), 1);
  EXPECT_EQ(Substitute(g.p, "\\1"), "a");
  EXPECT_EQ(PatternExec(g.p, "zzz"), 0);
  EXPECT_EQ(Substitute(g.p, "<\\1&>"), "<>");
}

TEST(Pattern, CountsItsRecordAtTheNominalSize) {
  uint32_t before = MemGetDefaultCategoryBytes();
  CompiledPattern* p = PatternCompile("a+");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(MemGetDefaultCategoryBytes() - before, 100u + p->programSize);
  PatternFree(p);
  EXPECT_EQ(MemGetDefaultCategoryBytes(), before);
}

TEST(Pattern, HostileInputAnswersNoMatchWithoutCrashing) {
  // A program of 32767 bytes or more does not compile.
  std::string longLiteral(40000, 'a');
  EXPECT_EQ(PatternCompile(longLiteral.c_str()), nullptr);

  // Deep recursion: every turn of a repeated group costs matcher depth.
  std::string deepSubject;
  for (int i = 0; i < 200000; ++i) deepSubject += "ab";
  PatternGuard loop("(ab)*$");
  ASSERT_NE(loop.p, nullptr);
  EXPECT_EQ(PatternExec(loop.p, deepSubject.c_str()), 0);
  // The same pattern still matches a text it can reach.
  EXPECT_EQ(PatternExec(loop.p, "abababab"), 1);
  EXPECT_EQ(Substitute(loop.p, "\\1"), "ab");

  // Nested repeated groups over a long text without the closing literal.
  PatternGuard nested("(((((((ab)+)+)+)+)+)+)c");
  ASSERT_NE(nested.p, nullptr);
  std::string pairs;
  for (int i = 0; i < 5000; ++i) pairs += "ab";
  auto nestedStart = std::chrono::steady_clock::now();
  EXPECT_EQ(PatternExec(nested.p, pairs.c_str()), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - nestedStart, std::chrono::seconds(30));
  EXPECT_EQ(PatternExec(nested.p, "xxababc"), 1);
  EXPECT_EQ(Substitute(nested.p, "&"), "ababc");

  // Exponential backtracking stops on its work budget.
  PatternGuard blowup("(a|aa)*$");
  ASSERT_NE(blowup.p, nullptr);
  std::string many(60, 'a');
  many += "!";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PatternExec(blowup.p, many.c_str()), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

  // A very long pattern of alternatives compiles and walks its branches without recursing.
  std::string alternatives;
  for (int i = 0; i < 2000; ++i) alternatives += "q|";
  alternatives += "z";
  PatternGuard wide(alternatives.c_str());
  ASSERT_NE(wide.p, nullptr);
  EXPECT_EQ(PatternExec(wide.p, "xyz"), 1);
  EXPECT_EQ(Substitute(wide.p, "&"), "z");
}

}  // namespace
