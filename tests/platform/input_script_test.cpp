// The input script reader: what it takes, what it refuses (with the line named), and that the
// writer's text reads back to the same lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/input_script.h"

namespace {

TEST(InputScript, WrittenLinesReadBackTheSame) {
  const std::vector<InputScriptLine> lines = {
      {0, kScriptKey, 4, 1},  {0, kScriptMouse, -5, 7}, {3, kScriptClick, 4, 0}, {3, kScriptWheel, -2, 0},
      {9, kScriptAxis, 5, -32768}, {9, kScriptButton, 31, 1}, {12, kScriptHat, 8, 0},
  };
  std::vector<InputScriptLine> read;
  std::string error;
  const std::string text = WriteInputScript(lines);
  ASSERT_TRUE(ReadInputScript(text.data(), text.size(), &read, &error)) << error;
  ASSERT_EQ(read.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(read[i].frame, lines[i].frame);
    EXPECT_EQ(read[i].kind, lines[i].kind);
    EXPECT_EQ(read[i].a, lines[i].a);
    EXPECT_EQ(read[i].b, lines[i].b);
  }
}

TEST(InputScript, CommentsBlanksAndTabsAreSkipped) {
  const std::string text = "# keys\n\n  1\tkey 4 1   # press a\r\n2 key 4 0";
  std::vector<InputScriptLine> read;
  ASSERT_TRUE(ReadInputScript(text.data(), text.size(), &read, nullptr));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].frame, 2u);
  EXPECT_EQ(read[1].b, 0);
}

TEST(InputScript, BadLinesAreRefusedWithTheirLineNumber) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case kCases[] = {
      {"1 key 4 1\n0 key 4 0\n", "line 2: a frame before the previous line's"},
      {"x key 4 1\n", "line 1: a bad frame number"},
      {"-1 key 4 1\n", "line 1: a bad frame number"},
      {"1\n", "line 1: no kind"},
      {"1 jump 4\n", "line 1: an unknown kind"},
      {"1 key 4\n", "line 1: the wrong number of values"},
      {"1 wheel 1 2\n", "line 1: the wrong number of values"},
      {"1 key 512 1\n", "line 1: a value out of range"},
      {"1 key 4 2\n", "line 1: a value out of range"},
      {"1 axis 6 0\n", "line 1: a value out of range"},
      {"1 axis 0 32768\n", "line 1: a value out of range"},
      {"1 button 32 1\n", "line 1: a value out of range"},
      {"1 click 5 1\n", "line 1: a value out of range"},
      {"1 mouse 1 99999999999999\n", "line 1: a value out of range"},
      {"1 key 4x 1\n", "line 1: a value out of range"},
  };
  for (const Case& c : kCases) {
    std::vector<InputScriptLine> read = {{1, kScriptKey, 4, 1}};
    std::string error;
    EXPECT_FALSE(ReadInputScript(c.text, std::strlen(c.text), &read, &error)) << c.text;
    EXPECT_EQ(error, std::string("input script ") + c.error) << c.text;
    EXPECT_TRUE(read.empty()) << c.text;
  }
  std::vector<InputScriptLine> read;
  const char withNul[] = "1 key 4 1\0 2";
  EXPECT_FALSE(ReadInputScript(withNul, sizeof withNul - 1, &read, nullptr));
  EXPECT_TRUE(ReadInputScript(nullptr, 10, &read, nullptr));
  EXPECT_TRUE(read.empty());
}

}  // namespace
