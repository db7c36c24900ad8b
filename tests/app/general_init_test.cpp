// General initialisation: the SystemBlock's defaults, the command-line switches (value words are
// switches too, a value switch as the last word is ignored), the "lang" file and the language pack,
// numbered-catalog counting and a failing mount, the default settings by display memory, the
// Direct3D usage words, and the text helpers.
#include "app/general_init.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/entry.h"
#include "catalog/catalog_builder.h"
#include "core/catalog.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/clock.h"
#include "platform/os.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"
#include "render/render.h"
#include "support/temp_dir.h"

namespace {

// Runs InitGeneral in a temporary game folder with a private registry, and frees the block after.
class GeneralInitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    registryPath_ = dir_.File("registry.xml");
    RegistrySetFilePath(registryPath_.c_str());
  }
  void TearDown() override {
    FreeSystemBlock(1);
    EXPECT_EQ(gSystem, nullptr);
    for (int i = 0; i < kIgnoredJoystickCount; ++i) gIgnoredJoysticks[i] = 0;
    SysInfoOverrideFacts(nullptr);
    RegistrySetFilePath(nullptr);
    std::filesystem::current_path(previousDir_);
  }

  SystemBlock* Init(std::vector<std::string> words) {
    words_ = std::move(words);
    words_.insert(words_.begin(), "WinCalled");
    argv_.clear();
    for (std::string& w : words_) argv_.push_back(w.data());
    argv_.push_back(nullptr);
    return InitGeneral(int(words_.size()), argv_.data());
  }

  TempDir dir_;
  std::string previousDir_;
  std::string registryPath_;
  std::vector<std::string> words_;
  std::vector<char*> argv_;
};

TEST_F(GeneralInitTest, DefaultsOfANewBlock) {
  SystemBlock* s = Init({});
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(gSystem, s);
  EXPECT_EQ(s->videoFlags, 0x100u);
  EXPECT_EQ(s->audioFlags, 3u | 0x100u);
  EXPECT_EQ(s->inputFlags, 0x70200107u);
  EXPECT_EQ(s->colourDepth, 32);
  EXPECT_EQ(s->fileFlags, kFileCatalogsInUse | kFileFlag20);
  EXPECT_EQ(s->catalogSlots, 1);  // no "01.cat": just the spare slot for a mod
  EXPECT_EQ(s->product, &kProductRecord);
  EXPECT_EQ(s->timeScale, 0x10000u);
  EXPECT_EQ(s->secondTimeScale, 0x10000u);
  EXPECT_EQ(s->d3dFlags, 0x4213AD5Fu);
  EXPECT_EQ(s->d3dFlags2, 0x281u);
  EXPECT_EQ(s->fullscreenGamma, 127u);
  EXPECT_EQ(s->sound3DCount, 6u);
  EXPECT_EQ(s->qualityLevel, 50u);
  EXPECT_EQ(s->textureOptions, kTextureOptionLensFlares);
  EXPECT_EQ(s->shaderQuality, 2u);
  EXPECT_EQ(s->language, 44u);
  EXPECT_EQ(s->languagePack, 0);
  EXPECT_EQ(s->fontScale, 1);
  EXPECT_EQ(s->musicVolume, 215u);
  EXPECT_EQ(s->effectsVolume, 255u);
  EXPECT_EQ(s->voiceVolume, 205u);
  EXPECT_EQ(s->masterVolume, 255u);
  EXPECT_EQ(s->gameState, 63u);
  EXPECT_DOUBLE_EQ(s->lowerQualityFps, 10.0);
  EXPECT_DOUBLE_EQ(s->upperQualityFps, 25.0);
  EXPECT_STREQ(s->captureFolder, "screenshots");
  EXPECT_STREQ(s->defaultProfile, "default");
  EXPECT_EQ(s->modName, nullptr);
  EXPECT_EQ(s->argumentCount, 1);
  EXPECT_EQ(gStartup.waveFormat.samplesPerSecond, 44100u);
  EXPECT_EQ(gStartup.waveFormat.blockAlign, 4);
  EXPECT_EQ(gStartup.speakerConfig, 4u);
  EXPECT_EQ(gStartup.adapterOrdinal, -1);
  EXPECT_EQ(gStartup.forceFeedbackGain, 2);
  EXPECT_EQ(gStartup.joystickDeadZone, 20);
  EXPECT_EQ(s->usageWords[1], 0x800000u);
}

TEST_F(GeneralInitTest, Switches) {
  struct Case {
    std::vector<std::string> words;
    std::function<void(const SystemBlock&)> check;
  };
  const Case kCases[] = {
      {{"-s"}, [](const SystemBlock& s) { EXPECT_EQ(s.audioFlags, 0x100u | 0x2u | 0x4u); }},
      {{"-M"}, [](const SystemBlock& s) { EXPECT_EQ(s.audioFlags, 0x100u | 0x1u | 0x8u); }},
      {{"-language", "49"}, [](const SystemBlock& s) { EXPECT_EQ(s.language, 49u); }},
      {{"-language", "1"}, [](const SystemBlock& s) { EXPECT_EQ(s.language, 44u); }},
      {{"-x", "800", "-y", "600", "-z", "16"},
       [](const SystemBlock& s) {
         EXPECT_EQ(s.screenWidth, 800);
         EXPECT_EQ(s.screenHeight, 600);
         EXPECT_EQ(s.colourDepth, 16);
       }},
      // A value word is itself compared with the switches: "-3" after "-fontscale" also sets 0x2000000.
      {{"-fontscale", "-3"},
       [](const SystemBlock& s) {
         EXPECT_EQ(s.fontScale, -3);
         EXPECT_EQ(s.videoFlags & kVideoThree, kVideoThree);
       }},
      {{"-hicol"}, [](const SystemBlock& s) { EXPECT_EQ(s.colourDepth, 16); }},
      {{"-TRUECOL"}, [](const SystemBlock& s) { EXPECT_EQ(s.colourDepth, 24); }},
      {{"-window", "-double", "-ramp"},
       [](const SystemBlock& s) { EXPECT_EQ(s.videoFlags, 0x100u | kVideoWindowed | kVideoDouble | kVideoRamp); }},
      {{"-window", "-fullscreen", "-ramp", "-rgb"}, [](const SystemBlock& s) { EXPECT_EQ(s.videoFlags, 0x100u); }},
      {{"-mipmap"}, [](const SystemBlock& s) { EXPECT_EQ(s.d3dFlags & kD3DMipMaps, 0u); }},
      {{"-mipmap", "+mipmap"}, [](const SystemBlock& s) { EXPECT_EQ(s.d3dFlags & kD3DMipMaps, kD3DMipMaps); }},
      {{"-managed"}, [](const SystemBlock& s) { EXPECT_EQ(s.d3dFlags2, 0x281u | kD3D2Managed); }},
      {{"-generaterdf", "-convertbodies", "-dumpusedbodies"},
       [](const SystemBlock& s) {
         EXPECT_EQ(s.modeFlags & ~kModeOpeningFiles, kModeGenerateRdf | kModeConvertBodies | kModeDumpUsedBodies);
       }},
      {{"+r"}, [](const SystemBlock& s) { EXPECT_EQ(s.fileFlags & kFileFlag20, 0u); }},
      {{"-ignorejoy", "5", "-ignorejoy", "32"},
       [](const SystemBlock&) {
         EXPECT_EQ(gIgnoredJoysticks[4], 1u);
         EXPECT_EQ(gIgnoredJoysticks[31], 1u);
       }},
      {{"-ignorejoy", "0", "-ignorejoy", "33", "-ignorejoy", "-1"},
       [](const SystemBlock&) {
         for (int i = 0; i < kIgnoredJoystickCount; ++i) EXPECT_EQ(gIgnoredJoysticks[i], 0u) << i;
       }},
      // A value switch as the last word has no value and changes nothing.
      {{"-language"}, [](const SystemBlock& s) { EXPECT_EQ(s.language, 44u); }},
      {{"-window", "-x"},
       [](const SystemBlock& s) {
         EXPECT_EQ(s.screenWidth, 1024);
         EXPECT_EQ(s.videoFlags & kVideoWindowed, kVideoWindowed);
       }},
      {{"-o"}, [](const SystemBlock& s) { EXPECT_EQ(s.outputFileName, nullptr); }},
      // A size no screen can have is refused; the size stays as it was.
      {{"-x", "0", "-y", "0"},
       [](const SystemBlock& s) {
         EXPECT_EQ(s.screenWidth, 1024);
         EXPECT_EQ(s.screenHeight, 768);
       }},
      {{"-x", "-800", "-y", "70000"},
       [](const SystemBlock& s) {
         EXPECT_EQ(s.screenWidth, 1024);
         EXPECT_EQ(s.screenHeight, 768);
       }},
      {{"-unknown", "window"}, [](const SystemBlock& s) { EXPECT_EQ(s.videoFlags, 0x100u); }},
  };
  for (const Case& c : kCases) {
    SystemBlock* s = Init(c.words);
    ASSERT_NE(s, nullptr);
    std::string joined;
    for (const std::string& w : c.words) joined += w + " ";
    SCOPED_TRACE(joined);
    c.check(*s);
    FreeSystemBlock(1);
    for (int i = 0; i < kIgnoredJoystickCount; ++i) gIgnoredJoysticks[i] = 0;
  }
}

TEST_F(GeneralInitTest, ImpossibleScreenSizeSwitchesAreRefusedByName) {
  ::testing::internal::CaptureStdout();
  SystemBlock* s = Init({"-x", "0", "-y", "4294967295", "-x", "640"});
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(out, "Screen size refused: -x 0\nScreen size refused: -y 4294967295\n");
  EXPECT_EQ(s->screenWidth, 640);
  EXPECT_EQ(s->screenHeight, 768);
}

TEST_F(GeneralInitTest, OutputSwitchWritesTheStartBanner) {
  SystemBlock* s = Init({"-O", "out.txt", "-s"});
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s->outputFileName, "out.txt");
  EXPECT_EQ(dir_.Read("out.txt"),
            " * Ausgabe\n * Version: Aug 27 2009, 19:23:29\n * Aufruf: WinCalled -O out.txt -s\n *\n");
}

TEST_F(GeneralInitTest, OutputSwitchThatCannotCreateItsFileEndsStartUpNamingTheWord) {
  // The closing message carries the option word in brackets; the process ends as a failure.
  EXPECT_EXIT(Init({"-O", "no-such-folder/out.txt"}), ::testing::ExitedWithCode(1), "\\(-O\\)");
}

TEST_F(GeneralInitTest, WorkDirSwitchChangesTheFolderBeforeCatalogsAreCounted) {
  std::string error;
  ASSERT_TRUE(catalog_tool::WriteCatalog(dir_.File("game"), "01.cat", {{"a.txt", "a"}}, &error));
  SystemBlock* s = Init({"-w", "game"});
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->catalogSlots, 2);
}

TEST_F(GeneralInitTest, LanguageFileAndLanguagePack) {
  struct Case {
    const char* lang;  // null: no file
    uint32_t language;
  };
  // The whole-file reader needs three bytes to tell packed from plain data, so a shorter file is
  // not read at all.
  const Case kCases[] = {{"49\r\n", 49}, {"1\r\n", 44}, {"abc", 44}, {" 7\r\n", 7},
                         {"49", 44},       {"", 44},       {nullptr, 44}};
  for (const Case& c : kCases) {
    std::filesystem::remove(dir_.File("lang.dat"));
    if (c.lang != nullptr) dir_.Write("lang.dat", c.lang);
    SystemBlock* s = Init({});
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->language, c.language) << (c.lang ? c.lang : "(none)");
    FreeSystemBlock(1);
  }

  struct PackCase {
    const char* what;
    std::function<void()> make;
    uint8_t present;
  };
  const PackCase kPacks[] = {
      {"size 0", [&] { dir_.Write("T/0002-L001.pck", ""); }, 0},
      {"a folder", [&] { std::filesystem::create_directories(dir_.File("t/0002-L001.pck")); }, 0},
      {"present", [&] { dir_.Write("T/0002-L001.PCK", "pack"); }, 1},
  };
  for (const PackCase& c : kPacks) {
    std::filesystem::remove_all(dir_.File("t"));
    std::filesystem::remove_all(dir_.File("T"));
    c.make();
    SystemBlock* s = Init({});
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->languagePack, c.present) << c.what;
    FreeSystemBlock(1);
  }
}

TEST_F(GeneralInitTest, NumberedCatalogsAreCountedAndMounted) {
  std::string error;
  ASSERT_TRUE(catalog_tool::WriteCatalog(dir_.path(), "01.cat", {{"a.txt", "one"}}, &error));
  ASSERT_TRUE(catalog_tool::WriteCatalog(dir_.path(), "02.cat", {{"a.txt", "two"}}, &error));
  ASSERT_TRUE(catalog_tool::WriteCatalog(dir_.path(), "04.cat", {{"a.txt", "four"}}, &error));  // after a gap
  SystemBlock* s = Init({});
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->catalogSlots, 3);
  EXPECT_NE(s->catalogs[0], nullptr);
  EXPECT_NE(s->catalogs[1], nullptr);
  EXPECT_EQ(s->catalogs[2], nullptr);
  EXPECT_EQ(s->fileFlags & kFileCatalogsInUse, kFileCatalogsInUse);
  char* text = LoadGameFile("a", "txt", false);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, 3), "two");
  MemFree(text, 3, 0);
}

TEST_F(GeneralInitTest, FailingCatalogMountFailsStartUpAndFreesTheBlockOnce) {
  std::string error;
  ASSERT_TRUE(catalog_tool::WriteCatalog(dir_.path(), "01.cat", {{"a.txt", "one"}}, &error));
  dir_.Write("02.cat", catalog_tool::ScrambleIndex("02.dat\nbig.bin 1000\n"));
  dir_.Write("02.dat", "short");
  const uint32_t before = MemGetCurrentBytes();
  EXPECT_EQ(Init({"-o", "banner.txt"}), nullptr);
  EXPECT_EQ(gSystem, nullptr);
  EXPECT_LE(MemGetCurrentBytes(), before);
}

TEST_F(GeneralInitTest, RegisteredOwnerComesFromTheRegistry) {
  RegistryKey* key = nullptr;
  ASSERT_EQ(RegistryCreateKey("Software\\Microsoft\\Windows\\CurrentVersion", &key), kRegOk);
  const char owner[] = "Ada Owner";
  ASSERT_EQ(RegistrySetValue(key, "RegisteredOwner", kRegSz, owner, sizeof owner), kRegOk);
  ASSERT_EQ(RegistryCloseKey(key), kRegOk);
  SystemBlock* s = Init({});
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s->registeredOwner, "Ada Owner");
}

TEST_F(GeneralInitTest, VideoDefaultsFollowTheLargestDisplayMemory) {
  struct Case {
    const char* memory[3];
    uint32_t antialias, texture, filter;
  };
  const Case kCases[] = {
      {{"0.0 MB", "0.0 MB", "0.0 MB"}, 0, 1, 1},
      {{"140.0 MB", "", ""}, 0, 1, 1},
      {{"64.0 MB", "141.0 MB", ""}, 1, 2, 1},
      {{"32.0 MB", "32.0 MB", "261.0 MB"}, 1, 2, 2},
  };
  ASSERT_NE(Init({}), nullptr);
  for (const Case& c : kCases) {
    SysInfoFacts facts{};
    facts.available = true;
    facts.displayCount = 3;
    for (int d = 0; d < 3; ++d) facts.displays[d] = {"Card", "1.0", c.memory[d]};
    SysInfoOverrideFacts(&facts);
    SetDefaultVideoSettings();
    EXPECT_EQ(gSystem->antialiasMode, c.antialias) << c.memory[0] << c.memory[1] << c.memory[2];
    EXPECT_EQ(gSystem->textureQuality, c.texture) << c.memory[0] << c.memory[1] << c.memory[2];
    EXPECT_EQ(gSystem->filterMode, c.filter) << c.memory[0] << c.memory[1] << c.memory[2];
  }
  SysInfoFacts none{};
  SysInfoOverrideFacts(&none);  // no system information at all: the small defaults
  SetDefaultVideoSettings();
  EXPECT_EQ(gSystem->textureQuality, 1u);
  EXPECT_EQ(gSystem->filterMode, 1u);
}

TEST_F(GeneralInitTest, UsageWordsFollowTheBase) {
  ASSERT_NE(Init({}), nullptr);
  struct Case {
    uint32_t base;
    uint32_t words[6];
  };
  const Case kCases[] = {
      {0, {0x80002C, 0x800000, 0x800834, 0x800830, 0x81006C, 0x810024}},
      {0x10000, {0x81002C, 0x800000, 0x810834, 0x800830, 0x81006C, 0x810024}},
  };
  for (const Case& c : kCases) {
    gSystem->usageBase = c.base;
    InitD3DUsageFlags();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(gSystem->usageWords[i], c.words[i]) << c.base << " word " << i;
  }
  // A display with its back-buffer surface (flag 0x20) drops bit 0x40 of the fifth word; one
  // without keeps it.
  DisplayObject display{};
  DisplayObject* saved = gDisplay;
  gDisplay = &display;
  gSystem->usageBase = 0x80000;
  for (uint32_t flags : {0x20u, 0u}) {
    display.flags = flags;
    InitD3DUsageFlags();
    EXPECT_EQ(gSystem->usageWords[4], flags ? 0x89002Cu : 0x89006Cu) << flags;
  }
  gDisplay = saved;
}

// A counter that moves a fixed number of milliseconds per read, at 1 GHz.
uint64_t gFakeCounter = 0;
uint64_t gFakeStepMs = 1;
bool FakeCounter(uint64_t* out) {
  gFakeCounter += gFakeStepMs * 1000000;
  *out = gFakeCounter;
  return true;
}
bool FakeFrequency(uint64_t* out) {
  *out = 1000000000;
  return true;
}

TEST_F(GeneralInitTest, MemorySpeedAndFrameTimesFromTheClock) {
  ASSERT_NE(Init({}), nullptr);
  OsSetCounterSource(FakeCounter, FakeFrequency);
  struct Case {
    uint64_t stepMs;
    int32_t speed;
    uint32_t frameStep;
  };
  // Each clock sample moves the clock by stepMs: the memory loop seems to take that long.
  const Case kCases[] = {{1, 5000, 1}, {5, 1000, 5}, {200, 25, 200}, {40000, 5000 / 200, 200}};
  for (const Case& c : kCases) {
    gFakeStepMs = c.stepMs;
    InitClock();
    EXPECT_EQ(MeasureMemorySpeed(), c.speed) << c.stepMs;
    UpdateFrameTimes();
    UpdateFrameTimes();
    EXPECT_EQ(gSystem->frameStep, c.frameStep) << c.stepMs;  // the game clock takes at most 200 ms
    EXPECT_EQ(gSystem->realFrameStep, c.stepMs > 32767 ? 1u : uint32_t(c.stepMs)) << c.stepMs;
  }
  OsSetCounterSource(nullptr, nullptr);
  InitClock();
}

TEST(TextHelpers, Utf16ToUtf8EncodesUnitByUnit) {
  struct Case {
    std::vector<uint16_t> units;
    std::string utf8;
  };
  const Case kCases[] = {
      {{'A'}, "A"},
      {{0xE9}, "\xC3\xA9"},
      {{0x20AC}, "\xE2\x82\xAC"},
      {{0xD83D, 0xDE00}, "\xED\xA0\xBD\xED\xB8\x80"},  // a surrogate pair as two 3-byte forms
      {{}, ""},
      {{'h', 0x7FF, 0x800}, "h\xDF\xBF\xE0\xA0\x80"},
  };
  for (const Case& c : kCases) {
    std::vector<uint16_t> text = c.units;
    text.push_back(0);
    const uint32_t before = MemGetCurrentBytes();
    char* utf8 = Utf16ToUtf8(text.data());
    ASSERT_NE(utf8, nullptr);
    EXPECT_EQ(std::string(utf8), c.utf8);
    EXPECT_EQ(MemGetCurrentBytes(), before + c.utf8.size() + 1);  // an exact-size counted copy
    FreeString(utf8);
  }
  EXPECT_EQ(Utf16ToUtf8(nullptr), nullptr);
}

char* Reformat(char* old, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char* text = FormatNewString(old, format, arguments);
  va_end(arguments);
  return text;
}

TEST(TextHelpers, FormattedStrings) {
  const uint32_t before = MemGetCurrentBytes();
  char* text = SetStringF("%s\\%02d.cat", "mods", 7);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "mods\\07.cat");
  // The old text may be one of the arguments: it is freed only after formatting.
  text = Reformat(text, "[%s]", text);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "[mods\\07.cat]");
  FreeString(text);
  // A NUL inside the output leaves a buffer that matches its text, so FreeString balances it.
  char* withNul = SetStringF("ab%cde", 0);
  ASSERT_NE(withNul, nullptr);
  EXPECT_STREQ(withNul, "ab");
  FreeString(withNul);
  EXPECT_EQ(MemGetCurrentBytes(), before);
  std::string formatted;
  FormatStdString(&formatted, "%d fps, %s", 60, "ok");
  EXPECT_EQ(formatted, "60 fps, ok");
}

}  // namespace
