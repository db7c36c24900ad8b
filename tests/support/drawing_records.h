// The drawing records of a recording that holds nothing but texture drawing, read back for tests
// of what was drawn: each record's tag, its words as stored (16-bit, sign-extended) and its text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/draw_records.h"

struct DrawingRecord {
  std::string tag;
  std::vector<int32_t> words;
  std::string text;
};

// The records after the stream's 32-byte head, up to "REND".
inline std::vector<DrawingRecord> DrawingRecords(const std::vector<uint8_t>& bytes) {
  std::vector<DrawingRecord> out;
  size_t p = 32;
  while (p + 4 <= bytes.size()) {
    const std::string tag(bytes.begin() + long(p), bytes.begin() + long(p) + 4);
    p += 4;
    if (tag == "REND") break;
    const DrawRecord kind = FindDrawRecord(tag.c_str());
    if (kind == DrawRecord::Count) break;
    DrawingRecord r{tag, {}, {}};
    for (int i = 0; i < kDrawRecordKinds[int(kind)].words && p + 2 <= bytes.size(); ++i, p += 2)
      r.words.push_back(int16_t(bytes[p] << 8 | bytes[p + 1]));
    if (kDrawRecordKinds[int(kind)].text) {
      const size_t n = uint16_t(r.words.back());
      r.text.assign(bytes.begin() + long(p), bytes.begin() + long(p + n));
      p += n;
    }
    out.push_back(r);
  }
  return out;
}
