// The drawing records of the recording stream: one row per record kind (tag, number of 16-bit
// words, which words carry 15-bit colours or quartered circle values, whether text bytes follow),
// shared by the recorder that writes them and the replay that reads them back, so the two cannot
// drift apart. Also the colour packing both sides use. Table and pure helpers only: no file work.
#pragma once

#include <cstdint>

enum class DrawRecord : int {
  RectFill,    // texture, x, y, width, height, colour
  Line,        // texture, x0, y0, x1, y1, colour
  Circle,      // texture, centre x, centre y, radius, circle value, colour
  CircleFill,  // as Circle
  SetPixel,    // texture, x, y, colour
  BlockKeyed,  // source, destination, source x, y, destination x, y, width, height, colour key
  Block,       // source, destination, source x, y, destination x, y, width, height
  BlockAlpha,  // as Block, then the blend value
  CopyRect,    // source, destination, eight rectangle values
  Text,        // texture, font, x, y, right edge, colour, text flags, text length; then the text
  TextBlock,   // as Text; read by the replay only
  Count
};

constexpr int kDrawRecordMaxWords = 10;
// The longest text a record can carry: its length is one 16-bit word.
constexpr int32_t kDrawRecordMaxText = 0xFFFF;

struct DrawRecordKind {
  char tag[5];
  int8_t words;
  uint16_t colourWords;  // bit i: word i is a colour, stored as 15 bits
  int8_t quarterWord;    // the word stored divided by 4, or -1
  bool text;             // the last word is the text length and the bytes follow
};

extern const DrawRecordKind kDrawRecordKinds[static_cast<int>(DrawRecord::Count)];

// The kind whose tag is these four bytes; DrawRecord::Count for none.
DrawRecord FindDrawRecord(const char tag[4]);

// 0x00RRGGBB to 0RRRRRGGGGGBBBBB and back; the low three bits of each channel are lost.
constexpr uint16_t PackColour15(uint32_t c) {
  return static_cast<uint16_t>(((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F));
}
constexpr uint32_t WidenColour15(uint16_t w) {
  return ((w & 0x7C00u) << 9) | ((w & 0x03E0u) << 6) | ((w & 0x001Fu) << 3);
}

// The stored word of argument i of a record (colour packed, circle value quartered, low 16 bits),
// and the argument the replay makes of a stored word (sign-extended, colour widened, times 4).
uint16_t DrawRecordStoredWord(DrawRecord kind, int i, int32_t value);
int32_t DrawRecordArgument(DrawRecord kind, int i, uint16_t word);
