// Key codes: the key code / scan code pairs both ways, the key ring as the frame reads it (empty,
// newest-only, full, Shift, the window-message path's virtual keys and characters), and the key
// names from the keyboard and from text page 1903.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "core/system_block.h"
#include "core/xml_access.h"
#include "devices/input.h"
#include "devices/key_codes.h"
#include "script/text_database.h"
#include "support/fake_input_backend.h"
#include "support/script_fixture.h"

namespace {

// Every key code with its scan code, as the keyboard numbers them.
constexpr const char kPairs[] =
    "8=14 9=15 13=28 27=1 32=57 39=40 44=51 45=12 46=52 47=53 48=11 49=2 50=3 51=4 52=5 53=6 54=7 "
    "55=8 56=9 57=10 59=39 61=13 91=26 92=43 93=27 97=30 98=48 99=46 100=32 101=18 102=33 103=34 "
    "104=35 105=23 106=36 107=37 108=38 109=50 110=49 111=24 112=25 113=16 114=19 115=31 116=20 "
    "117=22 118=47 119=17 120=45 121=21 122=44 258=208 259=200 260=203 261=205 262=199 265=59 266=60 "
    "267=61 268=62 269=63 270=64 271=65 272=66 273=67 274=68 275=87 276=88 277=100 278=101 279=102 "
    "330=211 331=210 338=209 339=201 360=207 409=56 410=184 411=29 412=157 413=42 414=54 415=58 "
    "416=69 417=70 418=71 419=72 420=73 421=74 422=75 423=76 424=77 425=78 426=79 427=80 428=81 "
    "429=82 430=83 431=156 432=181 433=183 434=219 435=220 436=221 437=197 438=41 439=55 440=112 "
    "441=115 442=121 443=123 444=125 445=126 446=141 447=144 448=145 449=146 450=147 451=148 452=149 "
    "453=150 454=151 455=153 456=160 457=161 458=162 459=164 460=174 461=176 462=178 463=179 464=222 "
    "465=223 466=227 467=229 468=230 469=231 470=232 471=233 472=234 473=235 474=236 475=237 476=86";

TEST(KeyCodes, EveryPairMapsBothWaysAndNothingElseMaps) {
  std::istringstream words(kPairs);
  std::string word;
  std::set<int> codes, scans;
  while (words >> word) {
    int code = std::stoi(word.substr(0, word.find('=')));
    int scan = std::stoi(word.substr(word.find('=') + 1));
    EXPECT_EQ(KeyCodeToScanCode(code), scan) << code;
    EXPECT_EQ(ScanCodeToKeyCode(scan), code) << scan;
    codes.insert(code);
    scans.insert(scan);
  }
  ASSERT_EQ(codes.size(), 144u);
  ASSERT_EQ(scans.size(), 144u);
  for (int code = -2; code < 0x1200; ++code) {
    if (!codes.count(code)) {
      EXPECT_EQ(KeyCodeToScanCode(code), 0) << code;
    }
  }
  for (int scan = -2; scan < 300; ++scan) {
    if (!scans.count(scan)) {
      EXPECT_EQ(ScanCodeToKeyCode(scan), 0) << scan;
    }
  }
  EXPECT_EQ(KeyCodeToScanCode(97), 0x1E);
  EXPECT_EQ(KeyCodeToScanCode(7), 0);
  EXPECT_EQ(KeyCodeToScanCode(477), 0);
  EXPECT_EQ(ScanCodeToKeyCode(0), 0);
  EXPECT_EQ(ScanCodeToKeyCode(238), 0);
}

class KeyRingTest : public ::testing::Test {
 protected:
  void Start(bool keyboardDevice) {
    FakeInputInstall();
    Fake().openOk = keyboardDevice;
    ASSERT_NE(InputInit(kInputUseMouse), nullptr);
    ASSERT_EQ(InputHasDeviceKeyboard(), keyboardDevice);
  }
  void TearDown() override { FakeInputRemove(); }
  static void PushScans(std::initializer_list<int> scans) {
    for (int scan : scans) KeyRingPush(static_cast<uint8_t>(scan), 0, 0);
  }
};

TEST_F(KeyRingTest, EmptyRingAnswersZeroEveryFrame) {
  Start(true);
  for (int frame = 0; frame < 5; ++frame) EXPECT_EQ(NextKeyCode(), 0);
  PushScans({30});
  EXPECT_EQ(NextKeyCode(), 97);
  for (int frame = 0; frame < 5; ++frame) EXPECT_EQ(NextKeyCode(), 0);
}

TEST_F(KeyRingTest, NewestKeyOnlyTakesTheSecondOfTwo) {
  Start(true);
  gInputState->flags |= kInputNewestKeyOnly;
  PushScans({30, 48});
  EXPECT_EQ(NextKeyCode(), 98);
  EXPECT_EQ(NextKeyCode(), 0);
}

TEST_F(KeyRingTest, FullRingDropsTheOldestUnreadKey) {
  struct Case {
    const char* what;
    bool readFirst;  // one key pushed and read before, so the indexes are no longer at the start
  };
  const Case kCases[] = {{"fresh ring", false}, {"after a read", true}};
  for (const Case& c : kCases) {
    Start(true);
    if (c.readFirst) {
      PushScans({16});
      EXPECT_EQ(NextKeyCode(), 113) << c.what;
    }
    PushScans({30, 48, 46, 32});  // a b c d without a read
    EXPECT_EQ(NextKeyCode(), 98) << c.what;
    EXPECT_EQ(NextKeyCode(), 99) << c.what;
    EXPECT_EQ(NextKeyCode(), 100) << c.what;
    EXPECT_EQ(NextKeyCode(), 0) << c.what;
    FakeInputRemove();
  }
}

TEST_F(KeyRingTest, ShiftAddsItsBitAndReadingClearsKeyPressed) {
  Start(true);
  gInputState->shift = 1;
  gInputState->keyPressed = 1;
  PushScans({30});
  EXPECT_EQ(NextKeyCode(), 97 + kKeyShift);
  EXPECT_EQ(gInputState->keyPressed, 0u);
}

TEST_F(KeyRingTest, WindowMessageKeysMapVirtualKeysAndKeepCharacterBytes) {
  Start(false);
  struct Case {
    int32_t code;
    int32_t isVirtual;
    uint16_t expected;
  };
  const Case kCases[] = {
      {33, 1, 339}, {34, 1, 338}, {35, 1, 360}, {36, 1, 262}, {37, 1, 260}, {38, 1, 259},
      {39, 1, 261}, {40, 1, 258}, {45, 1, 331}, {46, 1, 330}, {112, 1, 265}, {123, 1, 276},
      {19, 1, 256}, {144, 1, 256}, {13, 1, 13}, {97, 0, 97}, {0xE9, 0, 0xE9}, {0xFF, 0, 0xFF},
  };
  for (const Case& c : kCases) {
    KeyRingPush(0, c.code, c.isVirtual);
    EXPECT_EQ(NextKeyCode(), c.expected) << c.code << (c.isVirtual ? " virtual" : " character");
  }
  // Shift does not apply to window-message keys.
  gInputState->shift = 1;
  KeyRingPush(0, 'q', 0);
  EXPECT_EQ(NextKeyCode(), 'q');
}

constexpr const char kKeyTexts[] =
    "<language id=\"44\"><page id=\"1903\">"
    "<t id=\"150200\">Shift</t><t id=\"20000\">Left mouse</t><t id=\"20001\">Right mouse</t>"
    "<t id=\"20002\">Middle mouse</t><t id=\"20003\">Wheel up</t><t id=\"20004\">Wheel down</t>"
    "<t id=\"20010\">Mouse </t><t id=\"20011\">Joy button </t><t id=\"20020\">Hat up</t>"
    "<t id=\"20023\">Hat right</t></page></language>";

class KeyNameTest : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    InitXml();
    system_ = std::make_unique<SystemBlock>();
    saved_ = gSystem;
    gSystem = system_.get();
    gSystem->language = 44;
    xmlDocPtr document = ParseXmlMemory(kKeyTexts, "texts");
    ASSERT_NE(document, nullptr);
    ReadLanguageFile(xmlDocGetRootElement(document), engine_);
    XmlFreeDoc(document);
    FakeInputInstall();
    Fake().keyNames = {{30, "A"}, {48, "B"}, {57, "Space"}, {28, "Return"}};
    ASSERT_NE(InputInit(kInputUseMouse), nullptr);
  }
  void TearDown() override {
    FakeInputRemove();
    FreeAllTexts(engine_);
    gSystem = saved_;
    ScriptEngineTest::TearDown();
  }
  std::unique_ptr<SystemBlock> system_;
  SystemBlock* saved_ = nullptr;
};

TEST_F(KeyNameTest, KeysAndButtonsGetTheirNames) {
  struct Case {
    int32_t code;
    int32_t flag;
    bool hat;
    const char* name;  // null: none
  };
  const Case kCases[] = {
      {97, 0, false, "a"},
      {97 + kKeyShift, 0, false, "Shift+A"},
      {97, 1, false, "A"},
      {32, 0, false, "Space"},
      {13 + kKeyShift, 0, false, "Shift+Return"},
      {99, 0, false, nullptr},  // the keyboard has no name for it
      {7, 0, false, nullptr},   // no such key
      {280, 0, false, "Left mouse"},
      {280 + kKeyShift, 0, false, "Shift+Left mouse"},
      {283, 0, false, "Mouse 4"},
      {287, 0, false, "Mouse 8"},
      {288, 0, false, nullptr},
      {290, 0, false, nullptr},
      {293, 0, false, nullptr},
      {294, 0, false, "Wheel up"},
      {295, 0, false, "Wheel down"},
      {296, 0, false, "Joy button 1"},
      {320, 0, true, "Hat up"},
      {323, 0, true, "Hat right"},
      {320, 0, false, "Joy button 25"},
      {327, 0, false, "Joy button 32"},
  };
  for (const Case& c : kCases) {
    if (c.hat) gInputState->flags |= kInputHatFound;
    else gInputState->flags &= ~kInputHatFound;
    const char* name = P_GetKeyName(c.code, c.flag);
    if (!c.name) {
      EXPECT_EQ(name, nullptr) << c.code;
    } else {
      ASSERT_NE(name, nullptr) << c.code;
      EXPECT_STREQ(name, c.name) << c.code;
    }
  }
}

TEST_F(KeyNameTest, WithoutAKeyboardDeviceKeysHaveNoNames) {
  FakeInputRemove();
  FakeInputInstall();
  Fake().openOk = false;
  ASSERT_NE(InputInit(kInputUseMouse), nullptr);
  EXPECT_EQ(P_GetKeyName(97, 0), nullptr);
  EXPECT_EQ(KeyNameFromDevice(30), nullptr);
  EXPECT_EQ(P_GetLocalizedKey(), nullptr);
  ASSERT_NE(P_GetKeyName(296, 0), nullptr);  // buttons are named by the texts alone
}

TEST(AnsiToUtf8, ConvertsTheCodePageAndKeepsNull) {
  EXPECT_EQ(AnsiToUtf8(nullptr), nullptr);
  EXPECT_STREQ(AnsiToUtf8("Caf\xE9"), "Caf\xC3\xA9");
  EXPECT_STREQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC");
  FreeKeyTexts();
}

}  // namespace
