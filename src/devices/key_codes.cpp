// Key codes and key names: the fixed table of key code / scan code pairs used both ways, the key
// ring and NextKeyCode, and the key texts (layout character, device name, display name, code
// page to UTF-8). Called by the input poll, the window procedure, the frame input step and the
// P_ natives. Texts come from the keyboard layout of the input backend and from text page 1903;
// each text buffer is owned here and replaced by the next call of its function.
#include "devices/key_codes.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/memory.h"
#include "devices/input.h"
#include "platform/code_page.h"
#include "platform/input_backend.h"
#include "script/text_database.h"

KeyRing gKeyRing = {{}, -1, -1};

namespace {

struct KeyPair {
  uint16_t code;
  uint8_t scan;
};

// Key code = keyboard scan code for every key the game names.
constexpr KeyPair kKeyPairs[] = {
    {8, 14},    {9, 15},    {13, 28},   {27, 1},    {32, 57},   {39, 40},   {44, 51},   {45, 12},
    {46, 52},   {47, 53},   {48, 11},   {49, 2},    {50, 3},    {51, 4},    {52, 5},    {53, 6},
    {54, 7},    {55, 8},    {56, 9},    {57, 10},   {59, 39},   {61, 13},   {91, 26},   {92, 43},
    {93, 27},   {97, 30},   {98, 48},   {99, 46},   {100, 32},  {101, 18},  {102, 33},  {103, 34},
    {104, 35},  {105, 23},  {106, 36},  {107, 37},  {108, 38},  {109, 50},  {110, 49},  {111, 24},
    {112, 25},  {113, 16},  {114, 19},  {115, 31},  {116, 20},  {117, 22},  {118, 47},  {119, 17},
    {120, 45},  {121, 21},  {122, 44},  {258, 208}, {259, 200}, {260, 203}, {261, 205}, {262, 199},
    {265, 59},  {266, 60},  {267, 61},  {268, 62},  {269, 63},  {270, 64},  {271, 65},  {272, 66},
    {273, 67},  {274, 68},  {275, 87},  {276, 88},  {277, 100}, {278, 101}, {279, 102}, {330, 211},
    {331, 210}, {338, 209}, {339, 201}, {360, 207}, {409, 56},  {410, 184}, {411, 29},  {412, 157},
    {413, 42},  {414, 54},  {415, 58},  {416, 69},  {417, 70},  {418, 71},  {419, 72},  {420, 73},
    {421, 74},  {422, 75},  {423, 76},  {424, 77},  {425, 78},  {426, 79},  {427, 80},  {428, 81},
    {429, 82},  {430, 83},  {431, 156}, {432, 181}, {433, 183}, {434, 219}, {435, 220}, {436, 221},
    {437, 197}, {438, 41},  {439, 55},  {440, 112}, {441, 115}, {442, 121}, {443, 123}, {444, 125},
    {445, 126}, {446, 141}, {447, 144}, {448, 145}, {449, 146}, {450, 147}, {451, 148}, {452, 149},
    {453, 150}, {454, 151}, {455, 153}, {456, 160}, {457, 161}, {458, 162}, {459, 164}, {460, 174},
    {461, 176}, {462, 178}, {463, 179}, {464, 222}, {465, 223}, {466, 227}, {467, 229}, {468, 230},
    {469, 231}, {470, 232}, {471, 233}, {472, 234}, {473, 235}, {474, 236}, {475, 237}, {476, 86},
};
static_assert(sizeof kKeyPairs / sizeof kKeyPairs[0] == 144, "the key table holds 144 pairs");

constexpr int32_t kFirstKeyCode = 8;
constexpr int32_t kLastKeyCode = 476;
constexpr int32_t kFirstScan = 1;
constexpr int32_t kLastScan = 237;

// Button key codes and their texts.
constexpr int32_t kFirstButtonCode = 280;
constexpr int32_t kLastButtonCode = 327;
constexpr int32_t kFirstMouseNumbered = 280;
constexpr int32_t kLastMouseNumbered = 287;
constexpr int32_t kFirstHatCode = 320;
constexpr int32_t kLastHatCode = 327;
constexpr int32_t kFirstJoystickButtonCode = 296;
constexpr int32_t kUnnamedFirst = 288;
constexpr int32_t kUnnamedLast = 295;
constexpr int32_t kMouseNumberText = 20010;
constexpr int32_t kJoystickButtonText = 20011;
constexpr int32_t kHatFirstText = 20020;

struct NamedButton {
  int32_t code;
  int32_t text;
};
constexpr NamedButton kNamedButtons[] = {{280, 20000}, {281, 20001}, {282, 20002}, {294, 20003}, {295, 20004}};

// Virtual keys of the window-message path and the key codes they stand for.
struct VirtualKey {
  int32_t virtualKey;
  uint16_t code;
};
constexpr uint16_t kKeyUnnamed = 256;
constexpr VirtualKey kVirtualKeys[] = {
    {19, kKeyUnnamed}, {42, kKeyUnnamed}, {44, kKeyUnnamed}, {47, kKeyUnnamed}, {144, kKeyUnnamed},
    {145, kKeyUnnamed}, {33, 339}, {34, 338}, {35, 360}, {36, 262}, {37, 260}, {38, 259}, {39, 261},
    {40, 258}, {45, 331}, {46, 330},
};
constexpr int32_t kVirtualF1 = 112;
constexpr int32_t kVirtualF12 = 123;
constexpr uint16_t kKeyF1 = 265;

std::string gLocalizedKey;
std::string gKeyName;
std::string gDeviceName;
std::string gConverted;
bool gShiftNameRead = false;
std::string gShiftName;
bool gHasShiftName = false;

int16_t NextIndex(int16_t index) { return static_cast<int16_t>(index >= kKeyRingSize - 1 ? 0 : index + 1); }

// An index of -1 (nothing stored yet) sits just before entry 0, as entry 3 does.
int16_t Slot(int16_t index) { return static_cast<int16_t>(index < 0 ? kKeyRingSize - 1 : index); }

const char* ShiftName() {
  if (!gShiftNameRead) {
    gShiftNameRead = true;
    const char* text = ReadText(kKeyNamePage, kShiftNameText);
    gHasShiftName = text && std::strcmp(text, kTextNotFound) != 0;
    if (gHasShiftName) gShiftName = text;
  }
  return gHasShiftName ? gShiftName.c_str() : nullptr;
}

const char* KeepName(const std::string& name, bool shift) {
  const char* shiftName = shift ? ShiftName() : nullptr;
  gKeyName = shiftName ? std::string(shiftName) + "+" + name : name;
  return gKeyName.c_str();
}

}  // namespace

int32_t KeyCodeToScanCode(int32_t code) {
  if (code < kFirstKeyCode || code > kLastKeyCode) return 0;
  for (const KeyPair& pair : kKeyPairs) {
    if (pair.code == code) return pair.scan;
  }
  return 0;
}

int32_t ScanCodeToKeyCode(int32_t scan) {
  if (scan < kFirstScan || scan > kLastScan) return 0;
  for (const KeyPair& pair : kKeyPairs) {
    if (pair.scan == scan) return pair.code;
  }
  return 0;
}

void KeyRingReset() { gKeyRing = KeyRing{{}, -1, -1}; }

void KeyRingPush(uint8_t scan, int32_t code, int32_t isVirtual) {
  int16_t next = NextIndex(gKeyRing.write);
  // Storing into the slot the reader stands on would make the ring read empty and lose every
  // unread key; the oldest unread key makes room instead.
  if (next == Slot(gKeyRing.read)) gKeyRing.read = NextIndex(gKeyRing.read);
  gKeyRing.write = next;
  gKeyRing.entries[next] = KeyRingEntry{scan, code, isVirtual};
}

uint16_t NextKeyCode() {
  InputState* state = gInputState;
  if (state) state->keyPressed = 0;
  if (gKeyRing.read == gKeyRing.write) return 0;
  gKeyRing.read = NextIndex(gKeyRing.read);
  if (state && (state->flags & kInputNewestKeyOnly)) gKeyRing.read = gKeyRing.write;
  const KeyRingEntry& entry = gKeyRing.entries[gKeyRing.read];
  if (InputHasDeviceKeyboard()) {
    uint16_t code = static_cast<uint16_t>(ScanCodeToKeyCode(entry.scan));
    if (state && state->shift) code = static_cast<uint16_t>(code + kKeyShift);
    return code;
  }
  if (entry.isVirtual) {
    for (const VirtualKey& key : kVirtualKeys) {
      if (key.virtualKey == entry.code) return key.code;
    }
    if (entry.code >= kVirtualF1 && entry.code <= kVirtualF12) {
      return static_cast<uint16_t>(kKeyF1 + entry.code - kVirtualF1);
    }
  }
  // Characters of the upper half of the code page keep their byte value: a negative code would
  // read as a key with Shift and the top bits set.
  return static_cast<uint16_t>(entry.code & 0xFF);
}

const char* P_GetLocalizedKey() {
  const InputBackend* backend = InputBackendInUse();
  if (!InputHasDeviceKeyboard() || !backend || gKeyRing.read < 0) return nullptr;
  const KeyRingEntry& entry = gKeyRing.entries[gKeyRing.read];
  if (entry.scan == 0 || !backend->keyCharacter) return nullptr;
  char text[16] = {};
  bool shift = gInputState && gInputState->shift;
  int32_t count = backend->keyCharacter(entry.scan, shift, text, static_cast<int32_t>(sizeof text));
  if (count <= 0 || count >= static_cast<int32_t>(sizeof text)) return nullptr;
  gLocalizedKey.assign(text, static_cast<size_t>(count));
  return gLocalizedKey.c_str();
}

const char* KeyNameFromDevice(int32_t scan) {
  const InputBackend* backend = InputBackendInUse();
  if (!InputHasDeviceKeyboard() || !backend || !backend->keyName) return nullptr;
  const char* name = backend->keyName(scan);
  if (!name) return nullptr;
  // The layout's names are UTF-8 already.
  gDeviceName = name;
  return gDeviceName.c_str();
}

const char* P_GetKeyName(int32_t code, int32_t flag) {
  gKeyName.clear();
  const int32_t k = code & kKeyMask;
  const bool shift = (code & kKeyShift) != 0;
  if (k < kFirstButtonCode || k > kLastButtonCode) {
    int32_t scan = KeyCodeToScanCode(k);
    if (scan == 0) return nullptr;
    const char* name = KeyNameFromDevice(scan);
    if (!name) return nullptr;
    if (!shift && flag == 0 && name[0] >= 'A' && name[0] <= 'Z' && name[1] == '\0') {
      char letter[2] = {static_cast<char>(name[0] - 'A' + 'a'), '\0'};
      gKeyName = letter;
      return gKeyName.c_str();
    }
    return KeepName(name, shift);
  }

  std::string name;
  bool found = false;
  for (const NamedButton& button : kNamedButtons) {
    if (button.code == k) {
      name = ReadText(kKeyNamePage, button.text);
      found = true;
    }
  }
  if (!found && k >= kFirstMouseNumbered && k <= kLastMouseNumbered) {
    name = std::string(ReadText(kKeyNamePage, kMouseNumberText)) + std::to_string(k - (kFirstMouseNumbered - 1));
    found = true;
  }
  if (!found && k >= kFirstHatCode && k <= kLastHatCode && gInputState && (gInputState->flags & kInputHatFound)) {
    name = ReadText(kKeyNamePage, kHatFirstText + (k - kFirstHatCode));
    found = true;
  }
  if (!found && k >= kUnnamedFirst && k <= kUnnamedLast) return nullptr;
  if (!found) {
    name = std::string(ReadText(kKeyNamePage, kJoystickButtonText)) +
           std::to_string(k - (kFirstJoystickButtonCode - 1));
  }
  return KeepName(name, shift);
}

const char* AnsiToUtf8(const char* text) {
  gConverted.clear();
  if (!text) return nullptr;
  gConverted = CodePageToUtf8(text);
  return gConverted.c_str();
}

void FreeKeyTexts() {
  gLocalizedKey = std::string();
  gKeyName = std::string();
  gDeviceName = std::string();
  gConverted = std::string();
  gShiftNameRead = false;
  gShiftName = std::string();
  gHasShiftName = false;
}
