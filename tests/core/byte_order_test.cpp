// Byte-order conversion: single values, layout-driven records, and layouts or lengths that would
// otherwise spin forever or write past the record.
#include "core/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(ByteOrder, SwapsSingleValues) {
  EXPECT_EQ(ByteSwap16(0x1234), 0x3412);
  EXPECT_EQ(ByteSwap32(0x01020304u), 0x04030201u);
  EXPECT_EQ(ByteSwap32(ByteSwap32(0xDEADBEEFu)), 0xDEADBEEFu);
}

TEST(ByteOrder, LayoutsConvertRecordsInPlace) {
  struct Case {
    const char* what;
    std::vector<char> layout;
    std::vector<unsigned char> input;
    uint32_t length;
    std::vector<unsigned char> expected;
  };
  const std::vector<unsigned char> ramp = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  const std::vector<unsigned char> ramp24 = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                            12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23};
  const Case kCases[] = {
      {"words32 over 12 bytes", {4, 0}, ramp, 12, {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 12, 13, 14, 15}},
      {"words16 over 6 bytes leaves the rest", {2, 0}, ramp, 6, {1, 0, 3, 2, 5, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      {"mixed 4,2,1,1 repeats at 8", {4, 2, 1, 1, 0}, ramp, 16,
       {3, 2, 1, 0, 5, 4, 6, 7, 11, 10, 9, 8, 13, 12, 14, 15}},
      {"unknown code 3 is skipped", {3, 4, 0}, ramp, 8, {3, 2, 1, 0, 7, 6, 5, 4, 8, 9, 10, 11, 12, 13, 14, 15}},
      {"words16 over 20 bytes stops at byte 19", {2, 0}, ramp24, 20,
       {1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 17, 16, 19, 18, 20, 21, 22, 23}},
      {"length 0 converts nothing", {4, 0}, ramp, 0, ramp},
      // A field that would end past the length is left alone instead of being written past it.
      {"partial word at the end untouched", {4, 0}, ramp, 6, {3, 2, 1, 0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      // Layouts that never consume a byte stop instead of looping forever.
      {"empty layout", {0}, ramp, 8, ramp},
      {"only unknown codes", {7, 9, 0}, ramp, 8, ramp},
  };
  for (const Case& c : kCases) {
    std::vector<unsigned char> record = c.input;
    SwapByLayout(c.length, record.data(), c.layout.data());
    EXPECT_EQ(record, c.expected) << c.what;
  }
}

TEST(ByteOrder, SwappingTwiceRestoresTheRecord) {
  unsigned char record[20];
  for (int i = 0; i < 20; ++i) record[i] = uint8_t(i * 7 + 1);
  unsigned char copy[20];
  std::memcpy(copy, record, sizeof record);
  for (const char* layout : {kLayoutWords32, kLayoutWords16}) {
    SwapByLayout(20, record, layout);
    EXPECT_NE(std::memcmp(record, copy, 20), 0);
    SwapByLayout(20, record, layout);
    EXPECT_EQ(std::memcmp(record, copy, 20), 0);
  }
}

TEST(ByteOrder, WordsLayoutReadsBigEndianWords) {
  unsigned char bytes[8] = {0x01, 0x02, 0x03, 0x04, 0xFF, 0xFE, 0xFD, 0xFC};
  uint32_t words[2];
  std::memcpy(words, bytes, 8);
  SwapByLayout(8, words, kLayoutWords32);
  EXPECT_EQ(words[0], 0x01020304u);
  EXPECT_EQ(words[1], 0xFFFEFDFCu);
  EXPECT_EQ(LoadBE32(bytes), 0x01020304u);
  EXPECT_EQ(LoadBE16(bytes + 4), 0xFFFE);
}

}  // namespace
