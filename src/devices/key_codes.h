// Key codes and key names: the game's own key numbers (lower-case ASCII for character keys, 256
// and up for the others, 280..327 for mouse and joystick buttons, + 0x1000 with Shift), their
// two-way map to keyboard scan codes, the ring of recent key presses from which each frame takes
// one key, and the texts shown for keys. Called by the input poll and window procedure (ring),
// the frame input step (NextKeyCode) and the P_ natives (texts); never touches a device directly.
#pragma once

#include <cstdint>

constexpr uint16_t kKeyShift = 0x1000;
constexpr uint16_t kKeyMask = 0xFFF;
constexpr int32_t kKeyRingSize = 4;

// Scan codes of the keys the poll treats specially.
constexpr int32_t kScanLeftShift = 0x2A;
constexpr int32_t kScanRightShift = 0x36;
constexpr int32_t kScanTab = 0x0F;
constexpr int32_t kScanLeftAlt = 0x38;
constexpr int32_t kScanRightAlt = 0xB8;

// Text page of the key names.
constexpr int32_t kKeyNamePage = 1903;
constexpr int32_t kShiftNameText = 150200;

struct KeyRingEntry {
  uint8_t scan;
  int32_t code;
  int32_t isVirtual;
};

struct KeyRing {
  KeyRingEntry entries[kKeyRingSize];
  int16_t write;
  int16_t read;
};
extern KeyRing gKeyRing;

// 0 for codes and scans outside the table.
int32_t KeyCodeToScanCode(int32_t code);
int32_t ScanCodeToKeyCode(int32_t scan);

// Empties the ring (both indexes back to -1).
void KeyRingReset();
// Stores a key in the next entry; a full ring drops its oldest unread key.
void KeyRingPush(uint8_t scan, int32_t code, int32_t isVirtual);

// The next key code of the ring, 0 when it is empty; called once per frame.
uint16_t NextKeyCode();

// The character the last read key gives in the keyboard layout, UTF-8; null when none.
const char* P_GetLocalizedKey();
// The keyboard's name for a scan code, UTF-8; null without a keyboard or name.
const char* KeyNameFromDevice(int32_t scan);
// The display name of a key code; null when it has none.
const char* P_GetKeyName(int32_t code, int32_t flag);
// A text of the system code page in UTF-8, in a buffer kept until the next call; null for null.
const char* AnsiToUtf8(const char* text);

// Frees the texts the functions above keep.
void FreeKeyTexts();
