// Tests of the data reader and writer: the text grammar, flag sets and keywords, binary fields,
// section markers, the sticky error flag, write -> read round trips in both forms, and reads of
// truncated or corrupted data that must stop at the end of the buffer.
#include "core/data_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "scene/scene.h"

namespace {

const DataKeyword kFlags[] = {{"A", 1}, {"B", 2}, {"C", 4}, {"", 0}};
const DataKeyword kFlagsWithNone[] = {{"NONE", 0}, {"A", 1}, {"B", 2}, {"C", 4}, {"", 0}};
const DataKeyword kKinds[] = {{"SCTYPE_LASER", 0}, {"SCTYPE_COCKPIT", 1}, {"SCTYPE_DOCKING", 2}, {"", 0}};

// A small file layout: the data frame, the file id, two sections and the closing empty row.
const DataSectionRow kTestSections[] = {
    {"", "DATA", "/DAT", "", 0},
    {"", "TST1", "/TST", "", 1},
    {"Name", "NAME", "/NAM", "NAME:", 2},
    {"List", "LIST", "/LIS", "LIST:", 3},
    {"", "", "", "", 4},
};
constexpr uint32_t kTestSectionCount = 5;

// A cut-scene-like table whose row 8 is the embedded body.
const DataSectionRow kCutLikeSections[] = {
    {"", "DATA", "/DAT", "", 0},          {"", "CUT1", "/CUT", "", 1},
    {"Name", "NAME", "/NAM", "NAME:", 2}, {"A", "AAAA", "/AAA", "A:", 3},
    {"B", "BBBB", "/BBB", "B:", 4},       {"C", "CCCC", "/CCC", "C:", 5},
    {"D", "DDDD", "/DDD", "D:", 6},       {"E", "EEEE", "/EEE", "E:", 7},
    {"Body", "BOB1", "/BOB", "BODY:", 8}, {"F", "FFFF", "/FFF", "F:", 9},
    {"", "", "", "", 10},
};

// A reader over its own exact-size copy of the bytes, so any read past the end is caught.
struct BufferReader {
  std::unique_ptr<uint8_t[]> bytes;
  DataReader reader;

  BufferReader(const void* data, size_t length, bool binary, const DataSectionRow* sections = kTestSections,
               uint32_t count = kTestSectionCount)
      : bytes(new uint8_t[length ? length : 1]) {
    if (length) std::memcpy(bytes.get(), data, length);
    DataReaderInit(&reader, bytes.get(), binary, length);
    if (length == 0) reader.limit = bytes.get();  // an empty span, not an unbounded one
    reader.sections = sections;
    reader.sectionCount = count;
  }
  explicit BufferReader(const std::string& text, bool binary = false)
      : BufferReader(text.data(), text.size(), binary) {}
};

enum class Field { Int, Word, Short, Byte, Fixed, Float, Enum, EnumWord, BinaryDigits, ShortEnum, ByteEnum };

TEST(DataReaderText, GrammarOfOneField) {
  struct Case {
    const char* text;
    Field field;
    long long expected;
    double real;
    bool error;
  };
  const Case kCases[] = {
      {"12;", Field::Int, 12, 0, false},
      {" -7 ;", Field::Int, -7, 0, false},
      {"0x1F;", Field::Int, 31, 0, false},
      {"0X1f;", Field::Int, 31, 0, false},
      {"%101;", Field::Int, 5, 0, false},
      {"#old;3;", Field::Int, 3, 0, false},
      {"/ a comment line\n\t\r\n42;", Field::Int, 42, 0, false},
      {"7", Field::Int, 7, 0, false},  // the last field may end at the end of the text
      {"2147483647;", Field::Int, 2147483647, 0, false},
      {"4294967298;", Field::Int, 2, 0, false},  // too many digits wrap, they never overflow
      {"-0x10;", Field::Int, 0, 0, true},
      {"-%1;", Field::Int, 0, 0, true},
      {"--1;", Field::Int, 0, 0, true},
      {"1-;", Field::Int, 0, 0, true},
      {"12a;", Field::Int, 0, 0, true},
      {"%102;", Field::Int, 0, 0, true},
      {"1%1;", Field::Int, 0, 0, true},
      {"3#x;", Field::Int, 0, 0, true},
      {"0x;", Field::Int, 0, 0, true},
      {";", Field::Int, 0, 0, true},
      {"", Field::Int, 0, 0, true},
      {"#only a comment", Field::Int, 0, 0, true},
      {"0xFFFFFFFF;", Field::Word, 0xFFFFFFFF, 0, false},
      {"-1;", Field::Word, 0xFFFFFFFF, 0, false},
      {"65537;", Field::Short, 1, 0, false},
      {"0x8001;", Field::Short, 0x8001, 0, false},
      {"300;", Field::Byte, 44, 0, false},
      {"1.5;", Field::Fixed, 98304, 0, false},
      {"-0.5;", Field::Fixed, -32768, 0, false},
      {".25;", Field::Fixed, 16384, 0, false},
      {"3;", Field::Fixed, 196608, 0, false},
      {"99999;", Field::Fixed, INT32_MIN, 0, false},  // beyond 16.16 range
      {"-99999;", Field::Fixed, INT32_MIN, 0, false},
      {"1..5;", Field::Fixed, 0, 0, true},
      {"1e5;", Field::Fixed, 0, 0, true},
      {"1.5-;", Field::Fixed, 0, 0, true},
      {"2.75;", Field::Float, 0, 2.75, false},
      {" - 1.5 ;", Field::Float, 0, -1.5, false},
      {"#1;0.125;", Field::Float, 0, 0.125, false},
      {"B;", Field::Enum, 2, 0, false},
      {" C ;", Field::Enum, 4, 0, false},
      {"5;", Field::Enum, 5, 0, false},  // a field that starts with a digit is a number
      {"%11;", Field::Enum, 3, 0, false},
      {"A|C;", Field::Enum, 0, 0, true},
      {"Z;", Field::Enum, 0, 0, true},
      {"A|C;", Field::EnumWord, 5, 0, false},
      {" A | B ;", Field::EnumWord, 3, 0, false},
      {"C|A|C;", Field::EnumWord, 5, 0, false},
      {"D;", Field::EnumWord, 0, 0, false},  // unknown words are ignored
      {"AB;", Field::EnumWord, 0, 0, false},
      {"0x10;", Field::EnumWord, 16, 0, false},
      {"101;", Field::BinaryDigits, 5, 0, false},
      {"102;", Field::BinaryDigits, 0, 0, true},
      {"A|B;", Field::ShortEnum, 3, 0, false},
      {"70000;", Field::ShortEnum, 70000 & 0xFFFF, 0, false},
      {"C;", Field::ByteEnum, 4, 0, false},
      {"257;", Field::ByteEnum, 1, 0, false},
  };
  for (const Case& c : kCases) {
    BufferReader in(c.text);
    DataReader* r = &in.reader;
    long long value = 0;
    double real = 0;
    switch (c.field) {
      case Field::Int: value = ReadInt(r); break;
      case Field::Word: value = ReadWord(r); break;
      case Field::Short: value = ReadShort(r); break;
      case Field::Byte: value = ReadByteEnum(r, nullptr); break;
      case Field::Fixed: value = ReadFixed(r); break;
      case Field::Float: real = ReadFloat(r); break;
      case Field::Enum: value = ReadEnum(kFlags, r); break;
      case Field::EnumWord: value = ReadEnumWord(r, kFlags, 0); break;
      case Field::BinaryDigits: value = ReadEnumWord(r, nullptr, 2); break;
      case Field::ShortEnum: value = ReadShortEnum(r, kFlags); break;
      case Field::ByteEnum: value = ReadByteEnum(r, kFlags); break;
    }
    EXPECT_EQ(r->error != 0, c.error) << '"' << c.text << '"';
    EXPECT_EQ(value, c.expected) << '"' << c.text << '"';
    EXPECT_DOUBLE_EQ(real, c.real) << '"' << c.text << '"';
  }
}

TEST(DataReaderText, FieldsFollowOneAnotherAcrossCommentsAndLines) {
  BufferReader in(
      "/ header comment\r\n"
      "12;-7 ;\t#old;3;\r\n"
      "  a name with blanks ;A | C;\r\n"
      "/ a comment / with slashes\n"
      "1.5;0x00000008;last");
  DataReader* r = &in.reader;
  EXPECT_EQ(r->compact, 1);
  EXPECT_EQ(ReadInt(r), 12);
  EXPECT_EQ(ReadInt(r), -7);
  EXPECT_EQ(ReadInt(r), 3);
  EXPECT_EQ(r->compact, 0);  // a blank or tab has been seen
  EXPECT_EQ(ReadString(r), "a name with blanks ");
  EXPECT_EQ(ReadEnumWord(r, kFlags, 0), 5u);
  EXPECT_EQ(ReadFixed(r), 98304);
  EXPECT_EQ(ReadEnumWord(r, kFlags, 0), 8u);
  EXPECT_EQ(ReadString(r), "last");
  EXPECT_EQ(r->error, 0);
  // The end of the text: an empty string, then a number that is not there.
  EXPECT_EQ(ReadString(r), "");
  EXPECT_EQ(ReadInt(r), 0);
  EXPECT_EQ(r->error, 1);
}

TEST(DataReaderText, TokensDropTabsLineEndsAndCommentsAndBlanksOnRequest) {
  BufferReader in("a b\tc\r\nd/ comment\ne;x y;");
  EXPECT_EQ(ReadToken(&in.reader, false), "a bcde");
  EXPECT_EQ(ReadToken(&in.reader, true), "xy");
  EXPECT_EQ(ReadToken(&in.reader, true), "");
  EXPECT_EQ(in.reader.error, 0);

  // A token far longer than the space reserved for it is read whole.
  std::string longText(5000, 'q');
  BufferReader big(longText + ";");
  EXPECT_EQ(ReadString(&big.reader), longText);
}

TEST(DataReaderText, ReadCharStepsOverOnlyAllowedCharacters) {
  BufferReader in("  ,x");
  DataReader* r = &in.reader;
  EXPECT_EQ(DataReaderReadChar(r, "{"), ',');  // not allowed: the cursor stays
  EXPECT_EQ(DataReaderReadChar(r, ",;"), ',');
  EXPECT_EQ(DataReaderReadChar(r, nullptr), 'x');
  EXPECT_EQ(DataReaderReadChar(r, nullptr), kDataNoChar);  // the end is never stepped over
  EXPECT_EQ(DataReaderReadChar(r, ""), kDataNoChar);
  EXPECT_EQ(r->error, 0);
}

TEST(DataReaderErrors, OneFailedReadStopsEveryLaterRead) {
  BufferReader in("x;3;NAME: 4;");
  DataReader* r = &in.reader;
  EXPECT_EQ(ReadInt(r), 0);
  EXPECT_EQ(r->error, 1);
  uint8_t* cursor = DataReaderGetCursor(r);
  EXPECT_EQ(ReadInt(r), 0);
  EXPECT_EQ(ReadWord(r), 0u);
  EXPECT_EQ(ReadShort(r), 0);
  EXPECT_EQ(ReadFixed(r), 0);
  EXPECT_EQ(ReadFloat(r), 0.0);
  EXPECT_EQ(ReadEnum(kFlags, r), 0);
  EXPECT_EQ(ReadEnumWord(r, kFlags, 0), 0u);
  EXPECT_EQ(ReadString(r), "");
  EXPECT_EQ(ReadToken(r, true), "");
  EXPECT_EQ(DataReaderReadChar(r, nullptr), kDataNoChar);
  EXPECT_EQ(DataReaderNextSection(r, 2), int32_t(kTestSectionCount - 1));
  EXPECT_EQ(DataReaderGetCursor(r), cursor);
}

TEST(DataReaderBinary, FieldsAreBigEndianWords) {
  const uint8_t bytes[] = {0x01, 0x02,                          // short
                           0xFF, 0xFF, 0xFF, 0xF9,              // int -7
                           0x00, 0x01, 0x80, 0x00,              // float 1.5
                           0xFF, 0xFF, 0x80, 0x00,              // fixed -0.5
                           0x00, 0x00, 0x00, 0x05,              // enum word
                           0x00, 0x03,                          // short enum
                           0x09,                                // byte enum
                           'a', 'b', 'c', 0,                    // string
                           0,                                   // empty string
                           0x80, 0x00, 0x00, 0x00};             // word
  BufferReader in(bytes, sizeof(bytes), true);
  DataReader* r = &in.reader;
  EXPECT_EQ(ReadShort(r), 0x0102);
  EXPECT_EQ(ReadInt(r), -7);
  EXPECT_DOUBLE_EQ(ReadFloat(r), 1.5);
  EXPECT_EQ(ReadFixed(r), -32768);
  EXPECT_EQ(ReadEnumWord(r, kFlags, 0), 5u);
  EXPECT_EQ(ReadShortEnum(r, kFlags), 3);
  EXPECT_EQ(ReadByteEnum(r, kFlags), 9);
  EXPECT_EQ(ReadString(r), "abc");
  EXPECT_EQ(ReadString(r), "");
  EXPECT_EQ(ReadWord(r), 0x80000000u);
  EXPECT_EQ(r->error, 0);
  EXPECT_EQ(DataReaderGetCursor(r), in.bytes.get() + sizeof(bytes));
}

TEST(DataReaderBinary, ReadsPastTheEndSetTheErrorInsteadOfReading) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Field field;  // Int for words, Short, Byte, and Enum standing for a string
  };
  const Case kCases[] = {
      {"word from 3 bytes", {1, 2, 3}, Field::Int},
      {"short from 1 byte", {1}, Field::Short},
      {"byte at the end", {}, Field::Byte},
      {"string without terminator", {'a', 'b', 'c'}, Field::Enum},
  };
  for (const Case& c : kCases) {
    BufferReader in(c.bytes.data(), c.bytes.size(), true);
    DataReader* r = &in.reader;
    uint8_t* before = DataReaderGetCursor(r);
    switch (c.field) {
      case Field::Int: EXPECT_EQ(ReadInt(r), 0) << c.name; break;
      case Field::Short: EXPECT_EQ(ReadShort(r), 0) << c.name; break;
      case Field::Byte: EXPECT_EQ(ReadByteEnum(r, nullptr), 0) << c.name; break;
      default: EXPECT_EQ(ReadString(r), "") << c.name; break;
    }
    EXPECT_EQ(r->error, 1) << c.name;
    EXPECT_EQ(DataReaderGetCursor(r), before) << c.name;
  }
}

TEST(DataReaderSections, BinaryMarkersTrackDepthAndAcceptOnlyTheExpectedEnd) {
  const std::string data = "TST1NAME/NAM/LIS/TSTLIS";
  BufferReader in(data.data(), data.size(), true);
  DataReader* r = &in.reader;
  EXPECT_EQ(DataReaderNextSection(r, 4), 1);
  EXPECT_EQ(DataReaderNextSection(r, 1), 2);
  EXPECT_EQ(r->depth, 2);
  EXPECT_EQ(DataReaderNextSection(r, 2), int32_t(kTestSectionCount));  // the end of NAME
  EXPECT_EQ(r->depth, 1);
  // "/LIS" ends a section that is not the expected one.
  EXPECT_EQ(DataReaderNextSection(r, 1), int32_t(kTestSectionCount - 1));
  EXPECT_EQ(r->error, 1);

  BufferReader tail(data.data(), data.size(), true);
  DataReaderSetCursor(&tail.reader, tail.bytes.get() + 16);
  tail.reader.depth = 1;
  EXPECT_EQ(DataReaderNextSection(&tail.reader, 1), int32_t(kTestSectionCount));
  EXPECT_EQ(tail.reader.depth, 0);
  // Three bytes left: no marker can stand there.
  EXPECT_EQ(DataReaderNextSection(&tail.reader, 1), int32_t(kTestSectionCount - 1));
  EXPECT_EQ(tail.reader.error, 1);
}

TEST(DataReaderSections, ExpectedRowAndCursorMustLieInside) {
  struct Case {
    int32_t expectedRow;
    bool error;
  };
  const Case kCases[] = {{-1, true}, {0, false}, {4, false}, {5, false}, {6, true}, {1000, true}};
  for (const Case& c : kCases) {
    BufferReader in("NAME: x;");
    EXPECT_EQ(DataReaderNextSection(&in.reader, c.expectedRow), c.error ? 4 : 2) << c.expectedRow;
    EXPECT_EQ(in.reader.error != 0, c.error) << c.expectedRow;
  }
  // A reader opened on a whole file knows its buffer; a cursor set outside it is refused.
  std::string text = "NAME:";
  std::vector<uint8_t> bytes(text.begin(), text.end());
  DataReader r;
  DataReaderInit(&r, bytes.data(), false, bytes.size());
  r.base = bytes.data();
  r.size = static_cast<uint32_t>(bytes.size());
  DataReaderSetCursor(&r, bytes.data() + bytes.size() + 1);
  EXPECT_EQ(DataReaderNextSection(&r, 2), 17);
  EXPECT_EQ(r.error, 1);
}

TEST(DataReaderSections, TextKeywordsAreMatchedWholeAndNeverBeyondTheEnd) {
  struct Case {
    const char* text;
    int32_t row;
  };
  const Case kCases[] = {
      {"  NAME: x;", 2},
      {"/ comment\r\nLIST:1;", 3},
      {"NAME", 4},     // the keyword is cut off by the end of the data
      {"TST1", 4},     // binary ids mean nothing in text
      {"name: x;", 4},
      {"", 4},
  };
  for (const Case& c : kCases) {
    BufferReader in(c.text);
    EXPECT_EQ(DataReaderNextSection(&in.reader, 2), c.row) << c.text;
    EXPECT_EQ(in.reader.error != 0, c.row == 4) << c.text;
  }
}

// A text handed over without its length ends at its terminator; a keyword that begins there but
// is cut off by the terminator is not compared past it (the buffer below ends right behind it).
TEST(DataReaderSections, TextWithoutLengthIsNeverComparedPastItsTerminator) {
  const char* const kTexts[] = {"NAM", "NAME", "LIS", "", "  LI"};
  for (const char* text : kTexts) {
    const size_t size = std::strlen(text) + 1;
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
    std::memcpy(bytes.get(), text, size);
    DataReader r;
    DataReaderInit(&r, bytes.get(), false);
    r.sections = kTestSections;
    r.sectionCount = kTestSectionCount;
    EXPECT_EQ(DataReaderNextSection(&r, 2), 4) << text;
    EXPECT_EQ(r.error, 1) << text;
  }
}

TEST(DataReaderSections, DefaultTableIsTheBodyTable) {
  const std::string text = "  POINTS: 3;";
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  DataReader r;
  DataReaderInit(&r, bytes.data(), false);
  EXPECT_EQ(r.sections, kBodySectionTable);
  EXPECT_EQ(r.sectionCount, 18u);
  EXPECT_EQ(DataReaderNextSection(&r, 1), 13);
  EXPECT_EQ(ReadInt(&r), 3);

  DataReader none;
  DataReaderInit(&none, nullptr, true);
  EXPECT_EQ(none.error, 1);
  EXPECT_EQ(ReadInt(&none), 0);
}

TEST(DataReaderSections, SeekMarkerStopsBehindTheMarkerOrAtTheEnd) {
  struct Case {
    const char* data;
    bool binary;
    const DataSectionRow* sections;
    uint32_t count;
    long stop;  // offset of the cursor afterwards, -1 for an error
  };
  const Case kCases[] = {
      {"xx/BO/BOByy", true, kCutLikeSections, 11, 9},
      {"/BOB", true, kCutLikeSections, 11, 4},
      {"xxxxx/BO", true, kCutLikeSections, 11, -1},
      {"a;BOD BODY: 1;", false, kCutLikeSections, 11, 11},
      {"a;BODY", false, kCutLikeSections, 11, -1},
      {"/BOB", true, kCutLikeSections, 8, -1},  // too few rows for the marker row
      {"/BOB", true, kCutLikeSections, 9, 4},
  };
  for (const Case& c : kCases) {
    BufferReader in(c.data, std::strlen(c.data), c.binary, c.sections, c.count);
    DataReaderSeekMarker(&in.reader);
    if (c.stop < 0) {
      EXPECT_EQ(in.reader.error, 1) << c.data;
    } else {
      EXPECT_EQ(in.reader.error, 0) << c.data;
      EXPECT_EQ(DataReaderGetCursor(&in.reader) - in.bytes.get(), c.stop) << c.data;
    }
  }
  // A binary reader with no known end cannot search.
  std::vector<uint8_t> bytes = {'/', 'B', 'O', 'B'};
  DataReader r;
  DataReaderInit(&r, bytes.data(), true);
  r.sections = kCutLikeSections;
  r.sectionCount = 11;
  DataReaderSeekMarker(&r);
  EXPECT_EQ(r.error, 1);
}

TEST(DataReaderOpen, TextFormTerminatesAtTheLastByteOnlyWhenThereIsOne) {
  uint8_t bytes[4] = {'7', ';', '\n', 'Z'};
  DataReader r;
  DataReaderInit(&r, bytes + 1, false);
  r.base = bytes + 1;  // a whole-file reader whose file was empty
  r.textSize = 0;
  DataReaderSetBinary(&r, false);
  EXPECT_EQ(bytes[0], '7');
  r.base = bytes;
  r.textSize = 4;
  r.size = 4;
  DataReaderSetBinary(&r, true);
  EXPECT_EQ(bytes[3], 'Z');
  DataReaderSetBinary(&r, false);
  EXPECT_EQ(bytes[3], 0);
}

TEST(DataReaderPaths, FindLastPathSeparator) {
  struct Case {
    const char* text;
    int32_t index;
  };
  const Case kCases[] = {{"a/b\\c", 3}, {"a\\b/c", 3}, {"\\x", 0}, {"abc", -1}, {"", -1}, {"dir/", 3}};
  for (const Case& c : kCases) EXPECT_EQ(FindLastPathSeparator(c.text), c.index) << c.text;
  EXPECT_EQ(FindLastPathSeparator(nullptr), -1);
}

// Files written and read back in a private folder that is the current folder meanwhile.
class DataFiles : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvane-datareader-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
  }
  static std::string Contents(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path folder_;
  std::filesystem::path previous_;
};

// The section table file both round trips use.
void WriteSampleFile(DataReader* w) {
  DataWriterWriteSection(w, 1, true);
  DataWriterWriteSection(w, 2, true);
  DataWriterWriteString(w, "alpha beta");
  DataWriterWriteSection(w, 2, false);
  DataWriterWriteSection(w, 3, true);
  WriteInt(w, 3);
  WriteInt(w, -70000);
  WriteShort(w, 513);
  WriteShortHex(w, 0xBEEF);
  WriteFixed(w, 98304);
  WriteEnumWord(w, 5, kFlags);
  WriteEnumWord(w, 8, kFlags);
  WriteValue(w, 1);
  WriteWord(w, 0xFFFFFFFF);
  DataWriterWriteSection(w, 3, false);
  DataWriterWriteSection(w, 1, false);
}

struct Sample {
  std::string name;
  int32_t count, big;
  uint16_t shortValue, hex;
  int32_t fixed;
  uint32_t flags, unnamed;
  int32_t kind;
  uint32_t word;
};

// Reads the sample in either form; a loader of the kind that later subsystems write.
Sample ReadSampleFile(DataReader* r) {
  Sample s{};
  if (r->binary && DataReaderNextSection(r, 0) != 1) return s;
  for (int guard = 0; guard < 8 && !r->error; guard++) {
    const int32_t row = DataReaderNextSection(r, 1);
    if (row == 2) {
      s.name = ReadString(r);
      if (r->binary) DataReaderNextSection(r, 2);
    } else if (row == 3) {
      s.count = ReadInt(r);
      s.big = ReadInt(r);
      s.shortValue = ReadShort(r);
      s.hex = ReadShort(r);
      s.fixed = ReadFixed(r);
      s.flags = ReadEnumWord(r, kFlags, 0);
      s.unnamed = ReadEnumWord(r, kFlags, 0);
      s.kind = ReadEnum(kKinds, r);
      s.word = ReadWord(r);
      if (r->binary) DataReaderNextSection(r, 3);
    } else {
      break;  // the file's end marker, or nothing more
    }
  }
  return s;
}

void ExpectSample(const Sample& s) {
  EXPECT_EQ(s.name, "alpha beta");
  EXPECT_EQ(s.count, 3);
  EXPECT_EQ(s.big, -70000);
  EXPECT_EQ(s.shortValue, 513);
  EXPECT_EQ(s.hex, 0xBEEF);
  EXPECT_EQ(s.fixed, 98304);
  EXPECT_EQ(s.flags, 5u);
  EXPECT_EQ(s.unnamed, 8u);
  EXPECT_EQ(s.kind, 1);
  EXPECT_EQ(s.word, 0xFFFFFFFFu);
}

std::vector<uint8_t> ExpectedBinarySample() {
  std::vector<uint8_t> out;
  auto text = [&](const char* t, size_t n) { out.insert(out.end(), t, t + n); };
  auto word = [&](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
  };
  auto half = [&](uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
  };
  text("TST1", 4);
  text("NAME", 4);
  text("alpha beta", 11);
  text("/NAM", 4);
  text("LIST", 4);
  word(3);
  word(uint32_t(-70000));
  half(513);
  half(0xBEEF);
  word(98304);
  word(5);
  word(8);
  word(1);
  word(0xFFFFFFFF);
  text("/LIS", 4);
  text("/TST", 4);
  return out;
}

const char kExpectedTextSample[] =
    "\r\nNAME: alpha beta; \r\n"
    "\r\nLIST: 3; -70000; 513; 0xBEEF; 1.500000; A|C; 0x00000008; SCTYPE_COCKPIT; -1; \r\n"
    "\r\n";

TEST_F(DataFiles, SectionTableRoundTripsInBinaryByteForByte) {
  DataReader w;
  DataWriterOpen(&w, "sample.bin", true, kTestSections, kTestSectionCount);
  ASSERT_EQ(w.error, 0);
  WriteSampleFile(&w);
  EXPECT_EQ(w.error, 0);
  EXPECT_EQ(w.depth, 0);
  DataReaderClose(&w);

  const std::string written = Contents("sample.bin");
  const std::vector<uint8_t> expected = ExpectedBinarySample();
  EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), expected);

  DataReader r;
  DataReaderOpenFile(&r, "sample", "bin txt", kTestSections, kTestSectionCount);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.size, expected.size());
  DataReaderSetBinary(&r, true);
  ExpectSample(ReadSampleFile(&r));
  EXPECT_EQ(r.depth, 0);
  EXPECT_EQ(DataReaderGetCursor(&r), r.base + r.size);
  EXPECT_EQ(r.error, 0);
  DataReaderClose(&r);
}

TEST_F(DataFiles, SectionTableRoundTripsInText) {
  DataReader w;
  DataWriterOpen(&w, "sample.txt", false, kTestSections, kTestSectionCount);
  ASSERT_EQ(w.error, 0);
  WriteSampleFile(&w);
  EXPECT_EQ(w.error, 0);
  EXPECT_EQ(w.depth, 0);
  DataReaderClose(&w);
  EXPECT_EQ(Contents("sample.txt"), kExpectedTextSample);

  DataReader r;
  DataReaderOpenFile(&r, "sample", "bin txt", kTestSections, kTestSectionCount);
  ASSERT_EQ(r.error, 0);
  DataReaderSetBinary(&r, false);
  ExpectSample(ReadSampleFile(&r));
  DataReaderClose(&r);
}

TEST_F(DataFiles, MissingFileLeavesTheReaderInError) {
  DataReader r;
  DataReaderOpenFile(&r, "absent", "bin txt", kTestSections, kTestSectionCount);
  EXPECT_EQ(r.error, 1);
  EXPECT_EQ(ReadInt(&r), 0);
  DataReaderClose(&r);

  DataReader w;
  DataWriterOpen(&w, "no-such-folder/out.bin", true, kTestSections, kTestSectionCount);
  EXPECT_EQ(w.error, 1);
  WriteInt(&w, 1);
  DataWriterWriteSection(&w, 1, true);
  EXPECT_EQ(w.depth, 0);
  DataReaderClose(&w);
}

TEST_F(DataFiles, WriterWhoseLastBytesCannotReachTheDiskEndsInError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  DataReader w;
  DataWriterOpen(&w, "/dev/full", true, kTestSections, kTestSectionCount);
  ASSERT_EQ(w.error, 0);
  WriteInt(&w, 7);  // buffered: only the close meets the full disk
  EXPECT_EQ(w.error, 0);
  DataReaderClose(&w);
  EXPECT_EQ(w.error, 1);
  EXPECT_EQ(w.file, nullptr);
}

TEST_F(DataFiles, WriterFormatsFlagsValuesAndRefusesBadSections) {
  struct Case {
    uint32_t value;
    const DataKeyword* table;
    const char* text;
  };
  const Case kCases[] = {
      {5, kFlags, "A|C;"},
      {8, kFlags, "0x00000008;"},
      {15, kFlags, "0x0000000F;"},  // bits no name covers: the whole value
      {7, kFlags, "A|B|C;"},
      {0, kFlagsWithNone, "NONE;"},
      {0, kFlags, "0x00000000;"},
      {2, nullptr, "0x00000002;"},
  };
  for (const Case& c : kCases) {
    DataReader w;
    DataWriterOpen(&w, "flags.txt", false, kTestSections, kTestSectionCount);
    w.compact = 1;
    WriteEnumWord(&w, c.value, c.table);
    EXPECT_EQ(w.error, 0);
    DataReaderClose(&w);
    EXPECT_EQ(Contents("flags.txt"), c.text) << c.value;
  }

  DataReader w;
  DataWriterOpen(&w, "values.txt", false, kTestSections, kTestSectionCount);
  WriteValue(&w, 2);
  WriteValue(&w, 7);
  WriteShortHex(&w, 0x1A);
  WriteFixed(&w, -32768);
  DataWriterWriteText(&w, "raw");
  DataReaderClose(&w);
  EXPECT_EQ(Contents("values.txt"), "SCTYPE_DOCKING; 7; 0x001A; -0.500000; raw");

  struct SectionCase {
    bool binary;
    uint32_t row;
    bool start;
    bool error;
    int32_t depth;
  };
  const SectionCase kSections[] = {
      {true, 3, true, false, 1},  {true, 4, true, true, 0},   {true, 4, false, true, 0},
      {true, 5, true, true, 0},   {true, 6, false, true, 0},  {false, 4, true, true, 0},
      {false, 5, true, true, 0},  {false, 4, false, false, 0}, {false, 6, false, true, 0},
      {false, 1, true, false, 1}, {false, 3, false, false, -1},
  };
  for (const SectionCase& c : kSections) {
    DataReader sw;
    DataWriterOpen(&sw, "sections.out", c.binary, kTestSections, kTestSectionCount);
    DataWriterWriteSection(&sw, c.row, c.start);
    EXPECT_EQ(sw.error != 0, c.error) << c.binary << " " << c.row << " " << c.start;
    EXPECT_EQ(sw.depth, c.depth) << c.binary << " " << c.row << " " << c.start;
    DataReaderClose(&sw);
  }
}

// Six decimals round some 16.16 values down, and the reader truncates: those must still come
// back whole, while values six decimals hold exactly keep their plain text.
TEST_F(DataFiles, TextFixedValuesReadBackExactly) {
  struct Case {
    int32_t value;
    const char* text;  // null: any text that reads back
  };
  const Case kCases[] = {
      {98304, "1.500000;"}, {-32768, "-0.500000;"}, {3276, "0.049988;"}, {0, "0.000000;"},
      {1, nullptr},         {-1, nullptr},          {12346, nullptr},    {-98305, nullptr},
      {INT32_MAX, nullptr}, {INT32_MIN, "-32768.000000;"},
  };
  for (const Case& c : kCases) {
    DataReader w;
    DataWriterOpen(&w, "fixed.txt", false, kTestSections, kTestSectionCount);
    w.compact = 1;
    WriteFixed(&w, c.value);
    DataReaderClose(&w);
    const std::string text = Contents("fixed.txt");
    if (c.text) {
      EXPECT_EQ(text, c.text) << c.value;
    }
    DataReader r;
    DataReaderOpenFile(&r, "fixed", "txt", kTestSections, kTestSectionCount);
    DataReaderSetBinary(&r, false);
    EXPECT_EQ(ReadFixed(&r), c.value) << text;
    EXPECT_EQ(r.error, 0);
    DataReaderClose(&r);
  }
  // Every value within 1000 units of zero and of a large one.
  for (int32_t base : {0, 1 << 24}) {
    for (int32_t v = base - 1000; v <= base + 1000; ++v) {
      char text[64];
      DataReader w;
      DataWriterOpen(&w, "fixed.txt", false, kTestSections, kTestSectionCount);
      WriteFixed(&w, v);
      DataReaderClose(&w);
      std::snprintf(text, sizeof text, "%s", Contents("fixed.txt").c_str());
      DataReader r;
      DataReaderInit(&r, text, false, std::strlen(text));
      ASSERT_EQ(ReadFixed(&r), v) << text;
    }
  }
}

TEST_F(DataFiles, TruncatedBinaryFileSetsTheErrorFlag) {
  const std::vector<uint8_t> full = ExpectedBinarySample();
  for (size_t length = 1; length < full.size(); length++) {
    BufferReader in(full.data(), length, true);
    Sample s = ReadSampleFile(&in.reader);
    // Every prefix cuts a field or a marker; the reader notices and never reads on.
    EXPECT_EQ(in.reader.error, 1) << length;
    EXPECT_LE(DataReaderGetCursor(&in.reader), in.bytes.get() + length);
    (void)s;
  }
  // Through the file loader too.
  std::ofstream("cut.bin", std::ios::binary).write(reinterpret_cast<const char*>(full.data()), 30);
  DataReader r;
  DataReaderOpenFile(&r, "cut", "bin", kTestSections, kTestSectionCount);
  ASSERT_EQ(r.error, 0);
  DataReaderSetBinary(&r, true);
  ReadSampleFile(&r);
  EXPECT_EQ(r.error, 1);
  DataReaderClose(&r);
}

TEST(DataReaderFuzz, TruncatedAndCorruptedFilesNeverReadOutside) {
  const std::vector<uint8_t> binary = ExpectedBinarySample();
  const std::string text = kExpectedTextSample;
  const std::vector<uint8_t> textBytes(text.begin(), text.end());
  std::mt19937 random(20261210);
  for (int round = 0; round < 20000; round++) {
    const bool isBinary = round % 2 == 0;
    std::vector<uint8_t> bytes = isBinary ? binary : textBytes;
    const size_t length = 1 + random() % bytes.size();
    bytes.resize(length);
    const int flips = random() % 4;
    for (int i = 0; i < flips; i++) {
      const size_t at = random() % length;
      switch (random() % 4) {
        case 0: bytes[at] = uint8_t(random()); break;
        case 1: bytes[at] ^= uint8_t(1u << (random() % 8)); break;
        case 2: bytes[at] = 0; break;
        default: bytes[at] = ";/#|%-"[random() % 6]; break;
      }
    }
    BufferReader in(bytes.data(), length, isBinary);
    ReadSampleFile(&in.reader);
    DataReaderSeekMarker(&in.reader);
    ReadString(&in.reader);
    const uint8_t* cursor = DataReaderGetCursor(&in.reader);
    ASSERT_GE(cursor, in.bytes.get());
    ASSERT_LE(cursor, in.bytes.get() + length);
  }
}

}  // namespace
