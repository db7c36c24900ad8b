// Tests of the byte-code assembler: its output compared byte for byte with files written out by
// hand from the compiled-script format, switch-table ordering, chunk options and text errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "asm/assembler.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, std::initializer_list<uint8_t> bytes) { out.insert(out.end(), bytes); }
void AppendText(Bytes& out, const char* text) { out.insert(out.end(), text, text + 4); }
void AppendWord(Bytes& out, uint32_t v) {
  Append(out, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

const char kSmallProgram[] =
    ".header 0x0102\n"
    ".global int 5\n"
    ".func \"Main\" main frame=2\n"
    ".class 2\n"
    "  .method Run end params=1\n"
    "  .field str \"hi\"\n"
    ".end\n"
    "main:\n"
    "  pushs \"hi\"   ; the text is interned once, shared with the field\n"
    "  pushw 300\n"
    "  jmp end\n"
    "end: ret\n";

TEST(Assembler, SmallProgramMatchesHandWrittenFile) {
  Bytes expected;
  AppendText(expected, "STOR");
  AppendWord(expected, 801);
  AppendWord(expected, 0x0102);
  AppendText(expected, "CODE");
  AppendWord(expected, 15);
  Append(expected, {0x00,                              // offset 0: never executed
                    0x0B, 0x00, 0x00, 0x00, 0x0A,      // 1: pushs "hi" (pool id 10)
                    0x06, 0x01, 0x2C,                  // 6: pushw 300
                    0x32, 0x00, 0x00, 0x00, 0x0E,      // 9: jmp 14
                    0x83});                            // 14: ret
  AppendText(expected, "CLAS");
  AppendWord(expected, 56);
  for (uint32_t w : {1u, 2u, 0xFFFFFFFFu, 0u, 1u, 14u, 6u, 0u, 1u, 1u, 0u, 10u, 2u, 0u}) AppendWord(expected, w);
  AppendText(expected, "SYMB");
  AppendWord(expected, 20);
  for (uint32_t w : {1u, 1u, 1u, 2u, 0u}) AppendWord(expected, w);
  AppendText(expected, "VARS");
  AppendWord(expected, 20);
  for (uint32_t w : {1u, 0u, 5u, 1u, 0u}) AppendWord(expected, w);
  // Plain pool "\0Main\0Run\0hi\0", stored scrambled.
  AppendText(expected, "STRG");
  AppendWord(expected, 13);
  Append(expected, {0xFF, 0xB3, 0xEB, 0xAB, 0xE6, 0x19, 0x94, 0xF6, 0x9B, 0x64, 0x33, 0x63, 0x9C});
  AppendText(expected, "/STO");
  AppendWord(expected, 0);

  AsmResult r = Assemble(kSmallProgram);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.bytes, expected);
  EXPECT_EQ(AsmLabel(r, "main"), 1u);
  EXPECT_EQ(AsmLabel(r, "end"), 14u);
  EXPECT_EQ(AsmString(r, "Run"), 6u);
  EXPECT_EQ(AsmLabelMap(r), "1 main\n14 end\n");
}

TEST(Assembler, OperandsAreBigEndianInEveryWidth) {
  AsmResult r = Assemble(
      "pushb -2\n"
      "pushi -100000\n"
      "pushd 1.5\n"
      "popn 0x1234\n"
      "ldl -1\n"
      "native SE_Print\n"
      "call 0x01020304\n");
  ASSERT_TRUE(r.ok) << r.error;
  const Bytes expected = {0x00, 0x05, 0xFE, 0x07, 0xFF, 0xFE, 0x79, 0x60,
                          0x0A, 0x3F, 0xF8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 1.5 as IEEE, high byte first
                          0x23, 0x12, 0x34, 0x0D, 0xFF, 0xFF,
                          0x82, 0x00, 0x00, 0x00, 0x01,                          // native name at pool id 1
                          0x84, 0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(r.code, expected);
  EXPECT_EQ(AsmString(r, "SE_Print"), 1u);
}

// The loader searches sparse switches by binary search: int keys must be in signed order and text
// keys in unsigned byte order, whatever order the text lists them in.
TEST(Assembler, SparseSwitchTablesAreSorted) {
  AsmResult r = Assemble(
      ".string \"b\" \"\\xE9\" \"a\"\n"
      "sswitch d 5 a -3 b \"\\xE9\" c \"a\" a 0x7FFFFFFF b \"b\" c\n"
      "a: b: c: d: ret\n");
  ASSERT_TRUE(r.ok) << r.error;
  const uint32_t end = 1 + 1 + 4 + 4 + 3 * 8 + 3 * 8;
  Bytes expected = {0x00, 0x79, 0x00, 0x03, 0x00, 0x03};
  AppendWord(expected, end);                                          // default
  for (uint32_t w : {0xFFFFFFFDu, end, 5u, end, 0x7FFFFFFFu, end}) AppendWord(expected, w);
  for (uint32_t w : {5u, end, 1u, end, 3u, end}) AppendWord(expected, w);  // "a" 5, "b" 1, "\xE9" 3
  expected.push_back(0x83);
  EXPECT_EQ(r.code, expected);
}

TEST(Assembler, DenseSwitchLayout) {
  AsmResult r = Assemble("x: switch -10 x y x\ny: ret\n");
  ASSERT_TRUE(r.ok) << r.error;
  Bytes expected = {0x00, 0x78, 0x00, 0x02};
  for (uint32_t w : {0xFFFFFFF6u, 1u, 20u, 1u}) AppendWord(expected, w);
  expected.push_back(0x83);
  EXPECT_EQ(r.code, expected);
}

TEST(Assembler, RawDirectivesAndPatchRecords) {
  AsmResult r = Assemble(
      "start: .byte 0 37 -1\n"
      ".u16 0xBEEF\n"
      ".u32 start 7\n"
      ".patch 0 100 start 200 0\n");
  ASSERT_TRUE(r.ok) << r.error;
  Bytes code = {0x00, 0x00, 0x25, 0xFF, 0xBE, 0xEF, 0, 0, 0, 1, 0, 0, 0, 7};
  EXPECT_EQ(r.code, code);
  Bytes ptch;
  AppendText(ptch, "PTCH");
  AppendWord(ptch, 28);
  for (uint32_t w : {1u, 0u, 2u, 100u, 1u, 200u, 0u}) AppendWord(ptch, w);
  AppendText(ptch, "/STO");
  AppendWord(ptch, 0);
  ASSERT_GE(r.bytes.size(), ptch.size());
  EXPECT_EQ(Bytes(r.bytes.end() - long(ptch.size()), r.bytes.end()), ptch);
}

std::vector<std::string> ChunkIds(const Bytes& file) {
  std::vector<std::string> ids;
  size_t at = 12;
  while (at + 8 <= file.size()) {
    std::string id(file.begin() + long(at), file.begin() + long(at) + 4);
    ids.push_back(id);
    uint32_t size = (uint32_t(file[at + 4]) << 24) | (file[at + 5] << 16) | (file[at + 6] << 8) | file[at + 7];
    at += 8 + size;
    if (id == "/STO") break;
  }
  return ids;
}

TEST(Assembler, ChunkOptionsShapeTheFile) {
  struct Case {
    const char* what;
    AsmOptions options;
    std::vector<std::string> ids;
    uint32_t version;
  };
  AsmOptions omit, dup, plain, extra, version, noEnd;
  omit.omitChunks = {"VARS"};
  dup.duplicateChunks = {"CODE"};
  plain.plainPool = true;
  extra.extraChunks = {"JUNK"};
  version.hasVersion = true;
  version.version = 802;
  noEnd.noEndMarker = true;
  const Case kCases[] = {
      {"default", AsmOptions(), {"CODE", "CLAS", "SYMB", "VARS", "STRG", "/STO"}, 801},
      {"omit", omit, {"CODE", "CLAS", "SYMB", "STRG", "/STO"}, 801},
      {"duplicate", dup, {"CODE", "CODE", "CLAS", "SYMB", "VARS", "STRG", "/STO"}, 801},
      {"plain pool", plain, {"CODE", "CLAS", "SYMB", "VARS", "STRU", "/STO"}, 801},
      {"extra chunk", extra, {"CODE", "CLAS", "SYMB", "VARS", "STRG", "JUNK", "/STO"}, 801},
      {"version", version, {"CODE", "CLAS", "SYMB", "VARS", "STRG", "/STO"}, 802},
      {"no end", noEnd, {"CODE", "CLAS", "SYMB", "VARS", "STRG"}, 801},
  };
  for (const Case& c : kCases) {
    AsmResult r = Assemble("f: pushs \"x\"\nret\n", c.options);
    ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
    EXPECT_EQ(ChunkIds(r.bytes), c.ids) << c.what;
    EXPECT_EQ(r.bytes[7], uint8_t(c.version)) << c.what;
  }
  AsmResult plainResult = Assemble("pushs \"x\"\n", plain);
  const Bytes pool = {0, 'x', 0};
  EXPECT_EQ(Bytes(plainResult.bytes.end() - 8 - 3, plainResult.bytes.end() - 8), pool);
}

TEST(Assembler, TextErrorsNameTheirLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case kCases[] = {
      {"nop\nfrobnicate\n", "line 2: unknown instruction 'frobnicate'"},
      {"jmp nowhere\n", "line 1: undefined label 'nowhere'"},
      {"a: nop\na: nop\n", "line 2: label 'a' defined twice"},
      {"pushb 300\n", "line 1: number out of range: 300"},
      {"pushw\n", "line 1: pushw takes 1 operand(s)"},
      {"pushs \"open\n", "line 1: unterminated text"},
      {".class 3\n.field int 1\n", "line 3: .class without .end"},
      {".field int 1\n", "line 1: .field outside a class (use .global)"},
      {".func Main nowhere\n", "line 1: undefined label 'nowhere'"},
      {"sswitch d 1\n", "line 1: sswitch takes a default and key/target pairs"},
      {"pushs \"a\\0b\"\n", "line 1: a pool text cannot hold a NUL"},
      {".global int 1 colour=3\n", "line 1: unknown option 'colour'"},
  };
  for (const Case& c : kCases) {
    AsmResult r = Assemble(c.text);
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_TRUE(r.bytes.empty()) << c.text;
    EXPECT_EQ(r.error, c.error) << c.text;
  }
}

}  // namespace
