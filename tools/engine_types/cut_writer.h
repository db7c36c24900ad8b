// Cut files from a description: the text form and the binary "CUT1" form of the same cut, so a
// test can load both and compare. Shared by the demo generator, the tests and the fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace typetool {

// A key of the simplest kind the key reader knows: a position and three rotation angles.
struct CutKey {
  int32_t x, y, z;
  int32_t angles[3];  // 16.16 turns
  int32_t delta;      // milliseconds to the next key
};

struct CutPathPlan {
  int32_t serial;
  std::string body;  // a body name or number; a nested cut's with kPathNamesCut in flags
  uint32_t mask = 0;
  int32_t f = -1;
  uint32_t flags = 0;  // path flags without the body default, which the readers add
  std::string name;    // none when empty
  std::vector<std::pair<int32_t, std::string>> notes;
  std::vector<std::pair<int32_t, int32_t>> constraints;  // (serial, 16.16)
  std::vector<std::vector<CutKey>> blocks;
  int32_t blockKind = 0;  // the kind number each block carries (text from version 2, binary always)
};

struct CutContent {
  int32_t version = 6;
  std::vector<CutPathPlan> paths;
};

// The text form; its last byte is a line feed the reader gives up as the text's end.
std::string CutText(const CutContent& cut);
// The binary form (version 6 and on name the bodies; earlier versions give the number).
std::string CutBinary(const CutContent& cut);

// Big-endian pieces for tests that build binary cuts byte by byte.
std::string Be32(uint32_t value);
std::string Cstr(const std::string& text);

}  // namespace typetool
