// The drawing record table shared by the recorder and the replay, and the word conversions both
// apply through it. Never touches a file.
#include "scene/draw_records.h"

#include <cstring>

namespace {

constexpr uint16_t Word(int i) { return static_cast<uint16_t>(1u << i); }

}  // namespace

const DrawRecordKind kDrawRecordKinds[static_cast<int>(DrawRecord::Count)] = {
    {"RTRF", 6, Word(5), -1, false},  {"RTLI", 6, Word(5), -1, false}, {"RTCI", 6, Word(5), 4, false},
    {"RTCF", 6, Word(5), 4, false},   {"RTSP", 4, Word(3), -1, false}, {"RTBM", 9, 0, -1, false},
    {"RTBB", 8, 0, -1, false},        {"RTBA", 9, Word(8), -1, false}, {"RTRS", 10, 0, -1, false},
    {"RTTX", 8, Word(5), -1, true},   {"RTTB", 8, Word(5), -1, true},
};

DrawRecord FindDrawRecord(const char tag[4]) {
  for (int i = 0; i < static_cast<int>(DrawRecord::Count); ++i) {
    if (std::memcmp(kDrawRecordKinds[i].tag, tag, 4) == 0) return static_cast<DrawRecord>(i);
  }
  return DrawRecord::Count;
}

uint16_t DrawRecordStoredWord(DrawRecord kind, int i, int32_t value) {
  const DrawRecordKind& k = kDrawRecordKinds[static_cast<int>(kind)];
  if (k.colourWords & Word(i)) return PackColour15(static_cast<uint32_t>(value));
  if (k.quarterWord == i) value /= 4;
  return static_cast<uint16_t>(value);
}

int32_t DrawRecordArgument(DrawRecord kind, int i, uint16_t word) {
  const DrawRecordKind& k = kDrawRecordKinds[static_cast<int>(kind)];
  if (k.colourWords & Word(i)) return static_cast<int32_t>(WidenColour15(word));
  // The text length is a count, never negative.
  if (k.text && i == k.words - 1) return word;
  const int32_t value = static_cast<int16_t>(word);
  return k.quarterWord == i ? value * 4 : value;
}
