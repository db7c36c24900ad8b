// 3D text: an instance tree that spells a UTF-8 string with one body per character, laid out
// along x with a fixed advance. Called by the scene natives. Decodes no byte past the text's end.
#pragma once

#include <cstdint>

struct InstanceRecord;

constexpr char kTextNullPtr[] = "B3DTextNullPtr";
constexpr int32_t kTextAdvance = 0x8000;  // 0.5 per character, each taking two advances
// Layout flags: right-aligned (2 or 4), and the row above (0x40) or on (0x20) the root.
constexpr uint32_t kTextRightAligned = 0x2 | 0x4;
constexpr uint32_t kTextRowAbove = 0x40;
constexpr uint32_t kTextRowOn = 0x20;

// The body of a character code (0..255).
int32_t TextCharacterBody(uint32_t code);
// The root of the text's tree, or null when it cannot be made. A null text spells kTextNullPtr.
InstanceRecord* CreateTextInstance(const char* text, uint32_t flags);
