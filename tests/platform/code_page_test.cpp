// The dialog code page conversions: every byte of the code page round-trips through UTF-8, the
// five unassigned bytes and characters the code page lacks, and the size rules of the
// UTF-16 calls (size queries, outputs too small, lengths without terminator).
#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CodePage, EveryAssignedByteRoundTripsThroughUtf8) {
  const unsigned char kUnassigned[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
  for (int byte = 1; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    char text[2] = {static_cast<char>(byte), 0};
    std::string utf8 = CodePageToUtf8(text);
    bool unassigned = false;
    for (unsigned char u : kUnassigned) unassigned |= u == byte;
    if (unassigned) {
      EXPECT_EQ(utf8, "\xEF\xBF\xBD");
      EXPECT_EQ(Utf8ToCodePage(utf8.c_str()), "*");
    } else {
      EXPECT_EQ(Utf8ToCodePage(utf8.c_str()), text);
    }
  }
}

TEST(CodePage, KnownCharacters) {
  struct Case {
    const char* utf8;
    const char* codePage;
  };
  const Case kCases[] = {
      {"\xE2\x82\xAC", "\x80"},  // euro sign
      {"\xC5\xB8", "\x9F"},      // Y with diaeresis
      {"\xE2\x80\x94", "\x97"},  // em dash
      {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
      {"\xCE\xA9", "*"},      // Greek omega
      {"\xED\xA0\x80", "*"},  // an encoded surrogate is malformed
      {"\xC0\xAF", "*"},      // an overlong form is malformed
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToCodePage(c.utf8), c.codePage);
  }
}

TEST(CodePage, SizeQueriesAndSmallOutputs) {
  // "a", e acute, a character outside the basic plane, terminator: 1 + 1 + 2 + 1 units.
  const char* text = "a\xC3\xA9\xF0\x9F\x9A\x80";
  EXPECT_EQ(Utf8ToUtf16(text, -1, nullptr, 0), 5);
  uint16_t wide[8] = {};
  EXPECT_EQ(Utf8ToUtf16(text, -1, wide, 4), 0);  // no room for the terminator
  ASSERT_EQ(Utf8ToUtf16(text, -1, wide, 8), 5);
  EXPECT_EQ(wide[2], 0xD83D);
  EXPECT_EQ(wide[3], 0xDE80);
  EXPECT_EQ(wide[4], 0);
  EXPECT_EQ(Utf8ToUtf16(text, 3, wide, 8), 2);  // a length without terminator converts no terminator

  EXPECT_EQ(Utf16ToCodePage(wide, -1, nullptr, 0, '?'), 4);  // the pair is one character
  char narrow[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(Utf16ToCodePage(wide, -1, narrow, 3, '?'), 0);
  char fits[4] = {};
  ASSERT_EQ(Utf16ToCodePage(wide, -1, fits, 4, '?'), 4);
  EXPECT_STREQ(fits, "a\xE9?");
  EXPECT_EQ(Utf8ToUtf16(nullptr, -1, wide, 8), 0);
  EXPECT_EQ(Utf16ToCodePage(nullptr, -1, fits, 4, '?'), 0);
}

}  // namespace
