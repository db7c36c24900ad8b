// The text database: the escapes and comments of imported texts, lookup by language, page and
// id with the missing-text marker, page-number folding, in-place replacement seen by earlier
// holders, reference expansion (including references that refer back to themselves), the
// 16-bit length, and the binary text save file: its exact empty form, a round trip, loading over
// existing languages, and files that lie about their contents.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/text_database.h"
#include "script/value.h"
#include "support/catalog_world.h"
#include "support/script_fixture.h"

namespace {

const char kEnglish[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Language id=\"44\">\n"
    "  <page id=\"17\">\n"
    "    <t id=\"4\">fuel</t>\n"
    "    <t id=\"5\">Buy {17,4}!</t>\n"
    "    <t id=\"6\">Tank: {17,5}</t>\n"
    "    <t id=\"7\">loop {17,7}</t>\n"
    "    <t id=\"8\">ping {17,9}</t>\n"
    "    <t id=\"9\">pong {17,8}</t>\n"
    "    <t id=\"10\">{0,4} {a,4} {17,x}</t>\n"
    "    <T id=\"11\">Line one\nline two(translator note) \\(sic\\) &amp; \\101</T>\n"
    "    <t id=\"12\"></t>\n"
    "    <t id=\"-3\">negative</t>\n"
    "    <other id=\"13\">ignored</other>\n"
    "  </page>\n"
    "  <PAGE id=\"350020\"><t id=\"1\">folded high</t></PAGE>\n"
    "  <page id=\"300021\"><t id=\"1\">folded low</t></page>\n"
    "  <page id=\"350000\"><t id=\"1\">band edge</t></page>\n"
    "  <page id=\"400017\"><t id=\"1\">above the bands</t></page>\n"
    "  <page><t>no ids</t></page>\n"
    "  <page id=\"30\"/>\n"
    "</Language>\n";

const char kGerman[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<language id=\"49\">\n"
    "  <page id=\"17\"><t id=\"4\">Treibstoff</t><t id=\"6\">Kauf {17,4}</t></page>\n"
    "</language>\n";

class TextDatabaseTest : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    InitXml();
    std::filesystem::create_directory("nl");
  }

  void TearDown() override {
    FreeAllTexts(engine_);
    ScriptEngineTest::TearDown();
  }

  // Imports a language document the way the script natives do; the import's result.
  int32_t Import(const char* text) {
    xmlDocPtr document = ParseXmlMemory(text, "texts");
    EXPECT_NE(document, nullptr);
    if (!document) return -1;
    int32_t result = ReadLanguageFile(xmlDocGetRootElement(document), engine_);
    XmlFreeDoc(document);
    return result;
  }

  void UseLanguage(uint32_t language) { world_.block()->language = language; }

  std::string Expand(const char* text) {
    char* expanded = ExpandTextReferences(text);
    EXPECT_NE(expanded, nullptr);
    std::string result = expanded ? expanded : "";
    FreeString(expanded);
    return result;
  }

  std::string SaveBytes(const char* name) { return world_.dir().Read(std::string("nl/") + name + ".txc"); }
  void WriteSave(const char* name, const std::string& bytes) {
    world_.WriteLoose(std::string("nl/") + name + ".txc", bytes);
  }

  CatalogWorld world_;
};

std::string Word(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (24 - 8 * i));
  return bytes;
}

// A text save with the given slots filled: header, every slot up to `slots`, and the end tag.
std::string SaveWith(uint32_t slots, uint32_t filledSlot, const std::string& pages, uint32_t pageCount,
                     bool endTag = true) {
  std::string bytes = "TSAV" + Word(slots);
  for (uint32_t s = 0; s < slots; ++s) bytes += s == filledSlot ? Word(pageCount) + pages : Word(0);
  if (endTag) bytes += "/TSA";
  return bytes;
}

std::string Entry(uint32_t id, const std::string& text) { return Word(id) + Word(uint32_t(text.size())) + text; }

TEST(TextUnescape, EscapesCommentsAndLineBreaks) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case kCases[] = {
      {"A\\(B\\)", "A(B)"},
      {"A(note)B", "AB"},
      {"x\\101y", "xAy"},
      {"a\\qb", "aqb"},
      {"a\nb", "a b"},
      {"\\n\\t\\r\\b\\\\\\\"", "\n\t\r\b\\\""},
      {"\\0101!", "A!"},       // octal digits are taken as long as they come
      {"\\477", "?"},          // 0477 keeps its low 8 bits
      {"\\18", "\0018"},       // 8 is no octal digit
      {"(a\\)b)c", "c"},       // escapes are units inside a comment too
      {"(a(b)c)d", "cd"},       // comments do not nest: the first ")" ends them, a second is dropped
      {"open (never closed", "open "},
      {"trailing\\", "trailing"},
      {"", ""},
  };
  for (const Case& c : kCases) {
    std::string buffer = c.in;
    int32_t length = UnescapeText(buffer.data(), static_cast<int32_t>(buffer.size()));
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(length)), std::string(c.out)) << c.in;
  }
}

TEST_F(TextDatabaseTest, LookupByLanguagePageAndId) {
  ASSERT_EQ(Import(kEnglish), 1);
  ASSERT_EQ(Import(kGerman), 1);
  struct Case {
    uint32_t language;
    int32_t page, id;
    const char* text;
  };
  const Case kCases[] = {
      {44, 17, 4, "fuel"},
      {49, 17, 4, "Treibstoff"},
      {49, 17, 5, kTextNotFound},        // no falling back to another language
      {44, 17, 99, kTextNotFound},
      {44, 18, 4, kTextNotFound},
      {33, 17, 4, kTextNotFound},        // a slot never filled
      {1000, 17, 4, kTextNotFound},      // beyond the slots
      {44, 17, -3, "negative"},
      {44, 17, 11, "Line one line two (sic) & A"},
      {44, 17, 12, kTextNotFound},       // a text without content is not imported
      {44, 17, 13, kTextNotFound},       // other elements are ignored
      {44, 20, 1, "folded high"},
      {44, 21, 1, "folded low"},
      {44, 350000, 1, "band edge"},
      {44, 400017, 1, "above the bands"},
      {44, 350020, 1, kTextNotFound},
      {44, 0, 0, "no ids"},
      {44, 30, 0, kTextNotFound},        // an empty page exists but has no texts
  };
  for (const Case& c : kCases) {
    UseLanguage(c.language);
    EXPECT_STREQ(ReadText(c.page, c.id), c.text) << c.language << " " << c.page << "," << c.id;
  }
}

TEST_F(TextDatabaseTest, LanguageNumberMustBeASlot) {
  struct Case {
    const char* document;
    int32_t fileResult;
    bool imported;
  };
  const Case kCases[] = {
      {"<language id=\"0\"><page id=\"1\"><t id=\"1\">x</t></page></language>", 1, false},
      {"<language><page id=\"1\"><t id=\"1\">x</t></page></language>", 1, false},
      {"<language id=\"999\"><page id=\"1\"><t id=\"1\">x</t></page></language>", 1, false},
      {"<language id=\"-44\"><page id=\"1\"><t id=\"1\">x</t></page></language>", 1, false},
      {"<texts><language id=\"44\"/></texts>", 0, false},  // only the root and its siblings count
      {"<language id=\"998\"><page id=\"1\"><t id=\"1\">x</t></page></language>", 1, true},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Import(c.document), c.fileResult) << c.document;
    bool any = false;
    for (int32_t slot = 0; slot < kTextTableCount; ++slot) any = any || engine_->textTables[slot];
    EXPECT_EQ(any, c.imported) << c.document;
    FreeAllTexts(engine_);
  }
  xmlDocPtr document = ParseXmlMemory("<language id=\"7\"/>", "texts");
  EXPECT_EQ(ReadLanguageElement(xmlDocGetRootElement(document), engine_), 1);
  XmlFreeDoc(document);
}

TEST_F(TextDatabaseTest, ReimportChangesTextEveryHolderSees) {
  ASSERT_EQ(Import(kEnglish), 1);
  ScriptValue held{};
  CopyValue(&held, FindTextValue(engine_->textTables[44], 17, 5));
  ASSERT_EQ(held.type, kValueString);
  ASSERT_EQ(Import("<language id=\"44\"><page id=\"17\">"
                   "<t id=\"5\">Sell {17,4}.</t><t id=\"1\">first</t><t id=\"50\">last</t>"
                   "</page></language>"),
            1);
  EXPECT_STREQ(GetValueString(&held), "Sell {17,4}.");
  UseLanguage(44);
  EXPECT_STREQ(ReadText(17, 5), "Sell {17,4}.");
  // New ids join the page in id order and the old ones are still found.
  EXPECT_STREQ(ReadText(17, 1), "first");
  EXPECT_STREQ(ReadText(17, 50), "last");
  EXPECT_STREQ(ReadText(17, 4), "fuel");
  EXPECT_STREQ(ReadText(17, -3), "negative");
  ReleaseValue(&held);
}

TEST_F(TextDatabaseTest, ReferencesExpandAndAlwaysEnd) {
  ASSERT_EQ(Import(kEnglish), 1);
  UseLanguage(44);
  struct Case {
    const char* text;
    const char* expanded;
  };
  const Case kCases[] = {
      {"Buy {17,4}!", "Buy fuel!"},
      {"Tank: {17,5}", "Tank: Buy fuel!"},           // two levels
      {"{0,4} {a,4} {17,x} {17,}", "{0,4} {a,4} {17,x} {17,}"},
      {"{17,99}", kTextNotFound},
      {"{17,4}{17,4}", "fuelfuel"},                  // siblings are no cycle
      {"loop {17,7}", "loop loop {17,7}"},            // a text that names itself
      {"ping {17,9}", "ping pong ping {17,9}"},      // two texts that name each other
      {"no braces", "no braces"},
      {"unclosed {17,4", "unclosed {17,4"},
      {"a}b{", "a}b{"},
      {"{x{17,4}y}", "{x{17,4}y}"},                  // the outer pair is no reference
      {"", ""},
  };
  for (const Case& c : kCases) EXPECT_EQ(Expand(c.text), c.expanded) << c.text;
  EXPECT_EQ(Expand(nullptr), "");
  EXPECT_EQ(Expand(ReadText(17, 7)), "loop loop {17,7}");
}

TEST_F(TextDatabaseTest, DeepReferenceChainStopsAtTheDepthLimit) {
  // Page 5: text i names text i + 1, a chain longer than the nesting limit.
  std::string document = "<language id=\"44\"><page id=\"5\">";
  const int32_t kChain = kTextReferenceDepth + 8;
  for (int32_t i = 1; i <= kChain; ++i) {
    document += "<t id=\"" + std::to_string(i) + "\">" + std::to_string(i) + "{5," + std::to_string(i + 1) + "}</t>";
  }
  document += "</page></language>";
  ASSERT_EQ(Import(document.c_str()), 1);
  UseLanguage(44);
  std::string expected;
  for (int32_t i = 1; i <= kTextReferenceDepth; ++i) expected += std::to_string(i);
  expected += "{5," + std::to_string(kTextReferenceDepth + 1) + "}";
  EXPECT_EQ(Expand("{5,1}"), expected);
}

TEST_F(TextDatabaseTest, TextsNamingTheNextManyTimesEndSoon) {
  // Page 6: text i names text i + 1 thirty-two times, and the last text is empty. Every level
  // multiplies the work while the result stays empty: expanded in full it would take 32^6 steps.
  std::string document = "<language id=\"44\"><page id=\"6\">";
  const int32_t kLevels = 6;
  for (int32_t i = 1; i < kLevels; ++i) {
    document += "<t id=\"" + std::to_string(i) + "\">";
    for (int32_t k = 0; k < 32; ++k) document += "{6," + std::to_string(i + 1) + "}";
    document += "</t>";
  }
  document += "<t id=\"" + std::to_string(kLevels) + "\">(nothing)</t></page></language>";
  ASSERT_EQ(Import(document.c_str()), 1);
  UseLanguage(44);
  ASSERT_STREQ(ReadText(6, kLevels), "");
  // The references past the limit stay as written; all of them would be empty text.
  std::string expanded = Expand("{6,1}");
  EXPECT_NE(expanded.find("{6,"), std::string::npos);
  EXPECT_LT(expanded.size(), size_t(1) << 20);
  // A text with a few references is untouched by the limit.
  EXPECT_EQ(Expand("{6,5}"), "");
}

TEST_F(TextDatabaseTest, LongTextsAreCutAtACharacterBoundary) {
  struct Case {
    std::string content;
    size_t kept;
  };
  const Case kCases[] = {
      {std::string(kTextMaxLength, 'x'), size_t(kTextMaxLength)},
      {std::string(40000, 'x'), size_t(kTextMaxLength)},
      // A two-byte character across the limit is dropped whole.
      {std::string(kTextMaxLength - 1, 'x') + "\xC3\xA9" + "tail", size_t(kTextMaxLength - 1)},
      // Comments do not count: the text is measured after unescaping.
      {"(" + std::string(40000, 'c') + ")short", 5},
  };
  UseLanguage(44);
  for (const Case& c : kCases) {
    std::string document = "<language id=\"44\"><page id=\"1\"><t id=\"1\">" + c.content + "</t></page></language>";
    ASSERT_EQ(Import(document.c_str()), 1);
    const char* text = ReadText(1, 1);
    EXPECT_EQ(std::strlen(text), c.kept);
    EXPECT_EQ(std::string(text), c.content.substr(c.content[0] == '(' ? 40002 : 0, c.kept));
    FreeAllTexts(engine_);
  }
}

TEST_F(TextDatabaseTest, EmptySaveIsTagsAndZeroCounts) {
  ASSERT_EQ(WriteTextSave(engine_, "empty"), 1);
  std::string bytes = SaveBytes("empty");
  ASSERT_EQ(bytes.size(), 4008u);
  EXPECT_EQ(bytes, SaveWith(999, 1000, "", 0));
  EXPECT_FALSE(std::filesystem::exists("nl/empty.txc.tmp"));
}

TEST_F(TextDatabaseTest, SaveRoundTripKeepsEveryText) {
  ASSERT_EQ(Import(kEnglish), 1);
  ASSERT_EQ(Import(kGerman), 1);
  ASSERT_EQ(WriteTextSave(engine_, "all"), 1);
  std::string first = SaveBytes("all");
  FreeAllTexts(engine_);
  UseLanguage(44);
  EXPECT_STREQ(ReadText(17, 4), kTextNotFound);

  ASSERT_EQ(ReadTextSave(engine_, "all"), 1);
  struct Case {
    uint32_t language;
    int32_t page, id;
    const char* text;
  };
  const Case kCases[] = {
      {44, 17, 4, "fuel"},           {44, 17, -3, "negative"}, {44, 17, 11, "Line one line two (sic) & A"},
      {44, 20, 1, "folded high"},    {44, 0, 0, "no ids"},     {44, 400017, 1, "above the bands"},
      {49, 17, 4, "Treibstoff"},     {49, 17, 6, "Kauf {17,4}"}, {49, 17, 5, kTextNotFound},
  };
  for (const Case& c : kCases) {
    UseLanguage(c.language);
    EXPECT_STREQ(ReadText(c.page, c.id), c.text) << c.language << " " << c.page << "," << c.id;
  }
  // The empty page came back too, and a second save is the same file.
  EXPECT_EQ(engine_->textTables[44]->pages->entryCount, 6u);
  ASSERT_EQ(WriteTextSave(engine_, "again"), 1);
  EXPECT_EQ(SaveBytes("again"), first);
}

TEST_F(TextDatabaseTest, LoadingReplacesOnlyLanguagesInTheFile) {
  ASSERT_EQ(Import("<language id=\"44\"><page id=\"17\"><t id=\"4\">fuel</t></page></language>"), 1);
  ASSERT_EQ(WriteTextSave(engine_, "english"), 1);
  FreeAllTexts(engine_);
  ASSERT_EQ(Import("<language id=\"44\"><page id=\"17\"><t id=\"4\">petrol</t><t id=\"99\">x</t></page>"
                   "<page id=\"18\"><t id=\"1\">y</t></page></language>"),
            1);
  ASSERT_EQ(Import(kGerman), 1);
  ASSERT_EQ(ReadTextSave(engine_, "english"), 1);
  UseLanguage(44);
  EXPECT_STREQ(ReadText(17, 4), "fuel");
  EXPECT_STREQ(ReadText(17, 99), kTextNotFound);
  EXPECT_STREQ(ReadText(18, 1), kTextNotFound);
  UseLanguage(49);
  EXPECT_STREQ(ReadText(17, 4), "Treibstoff");
}

TEST_F(TextDatabaseTest, BadSaveFilesFailWithoutHarm) {
  const std::string kPage = Word(17) + Word(2) + Entry(4, "fuel") + Entry(5, "more");
  const std::string kGood = SaveWith(45, 44, kPage, 1);
  const size_t kEntriesAt = kGood.size() - 4 - 24;
  struct Case {
    const char* what;
    std::string bytes;
    int32_t result;
    const char* text4;  // ReadText(17, 4) in language 44 afterwards
  };
  const Case kCases[] = {
      {"good", kGood, 1, "fuel"},
      {"wrong tag", "TSAX" + kGood.substr(4), 0, "old"},
      {"too many languages", SaveWith(1000, 44, kPage, 1), 0, "old"},
      {"no end tag", SaveWith(45, 44, kPage, 1, false), 0, "fuel"},
      {"cut inside a text", kGood.substr(0, kGood.size() - 4 - 2), 0, "fuel"},
      {"cut before the texts", kGood.substr(0, kEntriesAt + 2), 0, kTextNotFound},
      {"negative page count", SaveWith(45, 44, kPage, 0x80000000), 0, "old"},
      {"page count beyond the file", SaveWith(45, 44, kPage, 0x10000000), 0, "old"},
      {"negative entry count", SaveWith(45, 44, Word(17) + Word(0xFFFFFFFF), 1), 0, kTextNotFound},
      {"entry count beyond the file", SaveWith(45, 44, Word(17) + Word(0x01000000) + Entry(4, "fuel"), 1), 0,
       kTextNotFound},
      {"text longer than 16 bits", SaveWith(45, 44, Word(17) + Word(1) + Word(4) + Word(40000) + std::string(40000, 'x'), 1),
       0, kTextNotFound},
      {"length beyond the file", SaveWith(45, 44, Word(17) + Word(1) + Word(4) + Word(1000) + "abc", 1), 0,
       kTextNotFound},
      {"entries out of order", SaveWith(45, 44, Word(17) + Word(3) + Entry(9, "nine") + Entry(4, "fuel") + Entry(1, "one"), 1),
       1, "fuel"},
      {"empty text", SaveWith(45, 44, Word(17) + Word(1) + Entry(4, ""), 1), 1, ""},
      {"too short", "TSA", 0, "old"},
  };
  UseLanguage(44);
  for (const Case& c : kCases) {
    ASSERT_EQ(Import("<language id=\"44\"><page id=\"17\"><t id=\"4\">old</t></page></language>"), 1);
    WriteSave("bad", c.bytes);
    EXPECT_EQ(ReadTextSave(engine_, "bad"), c.result) << c.what;
    EXPECT_STREQ(ReadText(17, 4), c.text4) << c.what;
    FreeAllTexts(engine_);
  }
  ASSERT_EQ(Import("<language id=\"44\"><page id=\"17\"><t id=\"4\">old</t></page></language>"), 1);
  WriteSave("bad", SaveWith(45, 44, Word(17) + Word(3) + Entry(9, "nine") + Entry(4, "fuel") + Entry(1, "one"), 1));
  ASSERT_EQ(ReadTextSave(engine_, "bad"), 1);
  EXPECT_STREQ(ReadText(17, 1), "one");
  EXPECT_STREQ(ReadText(17, 9), "nine");
  EXPECT_EQ(ReadTextSave(engine_, "missing"), 0);
}

TEST_F(TextDatabaseTest, FailedWriteReportsFailureAndKeepsTheLastSave) {
  ASSERT_EQ(Import(kGerman), 1);
  ASSERT_EQ(WriteTextSave(engine_, "keep"), 1);
  const std::string good = SaveBytes("keep");
  ASSERT_EQ(Import(kEnglish), 1);

  // A file-size limit below the save's size makes the write fail part way.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 2000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int32_t result = WriteTextSave(engine_, "keep");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(result, 0);
  EXPECT_EQ(SaveBytes("keep"), good);
  EXPECT_FALSE(std::filesystem::exists("nl/keep.txc.tmp"));
}

TEST_F(TextDatabaseTest, SaveIntoMissingFolderFailsAndKeepsNothing) {
  ASSERT_EQ(Import(kGerman), 1);
  std::filesystem::remove_all("nl");
  EXPECT_EQ(WriteTextSave(engine_, "lost"), 0);
  EXPECT_FALSE(std::filesystem::exists("nl"));
  EXPECT_EQ(WriteTextSave(engine_, nullptr), 0);
}

}  // namespace
