// Settings in a temporary registry file: every value round-trips with its type and size, an empty
// store keeps the defaults, a stored value of the wrong type or size is never taken, the video
// values decide the load's result, the shutdown codes save or delete, and the profile values.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "app/entry.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/registry.h"
#include "support/temp_dir.h"

namespace {

constexpr const char* kKey = "Software\\KORVANE\\VexaNL";
constexpr const char* kProfileKey = "Software\\KORVANE\\VexaNL\\Values";
const uint8_t kJoystick[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const uint8_t kSound3D[16] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

ProductRecord MakeProduct() {
  ProductRecord product{};
  product.folderName = "VexaNL";
  return product;
}
const ProductRecord kProduct = MakeProduct();

uint8_t* CopyIdentifier(const uint8_t* bytes) {
  auto* copy = static_cast<uint8_t*>(MemAlloc(16, 0));
  memcpy(copy, bytes, 16);
  return copy;
}

bool SameIdentifier(const uint8_t* held, const uint8_t* expected) {
  return held != nullptr && memcmp(held, expected, 16) == 0;
}

bool SameText(const char* held, const char* expected) {
  return held != nullptr && strcmp(held, expected) == 0;
}

// The defaults the general initialisation sets before the settings are loaded.
void ApplyDefaults(SystemBlock& s, StartupBlock& u) {
  s.captureFolder = ReplaceString(s.captureFolder, "screenshots");
  u.adapterName = FreeString(u.adapterName);
  u.adapterOrdinal = -1;
  s.screenWidth = 1024;
  s.screenHeight = 768;
  s.colourDepth = 32;
  u.displayFormat = 0;
  s.textureQuality = 1;
  s.shaderQuality = 2;
  s.antialiasMode = 0;
  s.filterMode = 1;
  s.videoFlags = 0x100;
  s.d3dFlags = 0x4213AD5F;
  s.d3dFlags2 = 0x281;
  s.fullscreenGamma = 127;
  s.inputFlags = 0x70200107;
  if (u.joystick) MemFree(u.joystick, 16, 0);
  u.joystick = nullptr;
  u.forceFeedbackGain = 2;
  u.joystickDeadZone = 20;
  u.joystickSensitivity = 20;
  gLogoPictureNumber = 0;
  gLogoPictureName = FreeString(gLogoPictureName);
  s.modName = FreeString(s.modName);
  s.audioFlags = 3 | 0x100;
  u.waveFormat = WaveFormat{1, 2, 44100, 176400, 4, 16, 0};
  u.speakerConfig = 4;
  s.musicVolume = 215;
  s.effectsVolume = 255;
  s.voiceVolume = 205;
  s.masterVolume = 255;
  if (u.sound3DDevice) MemFree(u.sound3DDevice, 16, 0);
  u.sound3DDevice = nullptr;
  s.sound3DCount = 6;
  s.lowerQualityFps = 10.0;
  s.upperQualityFps = 25.0;
  s.gameState = 63;
  s.defaultProfile = ReplaceString(s.defaultProfile, "default");
  s.startModeMask = 0;
}

// One row per stored value: its type and size, a value other than the default, and checks for
// that value and for the default.
struct Field {
  const char* name;
  uint32_t type;
  uint32_t size;  // 0: a text
  void (*set)(SystemBlock&, StartupBlock&);
  bool (*isSet)(const SystemBlock&, const StartupBlock&);
  bool (*isDefault)(const SystemBlock&, const StartupBlock&);
};

#define FIELD(name, type, size, setter, test, defaultTest)                                     \
  Field {                                                                                      \
    name, type, size, [](SystemBlock& s, StartupBlock& u) { (void)s; (void)u; setter; },       \
        [](const SystemBlock& s, const StartupBlock& u) { (void)s; (void)u; return test; },    \
        [](const SystemBlock& s, const StartupBlock& u) { (void)s; (void)u; return defaultTest; } \
  }

const Field kFields[] = {
    FIELD("CaptureFolder", kRegSz, 0, s.captureFolder = ReplaceString(s.captureFolder, "shots\\mine"),
          SameText(s.captureFolder, "shots\\mine"), SameText(s.captureFolder, "screenshots")),
    FIELD("VideoAdapterName", kRegSz, 0, u.adapterName = ReplaceString(u.adapterName, "Card Zero"),
          SameText(u.adapterName, "Card Zero"), u.adapterName == nullptr),
    FIELD("VideoAdapterOrdinal", kRegDword, 4, u.adapterOrdinal = 1, u.adapterOrdinal == 1, u.adapterOrdinal == -1),
    FIELD("VideoWidth", kRegDword, 4, s.screenWidth = 1600, s.screenWidth == 1600, s.screenWidth == 1024),
    FIELD("VideoHeight", kRegDword, 4, s.screenHeight = 1200, s.screenHeight == 1200, s.screenHeight == 768),
    FIELD("VideoMode", kRegDword, 4, u.displayFormat = 23, u.displayFormat == 23 && s.colourDepth == 16,
          u.displayFormat == 0 && s.colourDepth == 32),
    FIELD("VideoTextureQuality", kRegDword, 4, s.textureQuality = 0, s.textureQuality == 0, s.textureQuality == 1),
    FIELD("VideoShaderQuality", kRegDword, 4, s.shaderQuality = 1, s.shaderQuality == 1, s.shaderQuality == 2),
    FIELD("VideoAntialiasMode", kRegDword, 4, s.antialiasMode = 4, s.antialiasMode == 4, s.antialiasMode == 0),
    FIELD("VideoFilterMode", kRegDword, 4, s.filterMode = 3, s.filterMode == 3, s.filterMode == 1),
    FIELD("VideoFlags", kRegBinary, 4, s.videoFlags = 0x8000120, s.videoFlags == 0x8000120, s.videoFlags == 0x100),
    FIELD("VideoD3DFlags", kRegBinary, 4, s.d3dFlags = 0x12345678, s.d3dFlags == 0x12345678,
          s.d3dFlags == 0x4213AD5F),
    FIELD("VideoD3DFlags2", kRegBinary, 4, s.d3dFlags2 = 0x289, s.d3dFlags2 == 0x289, s.d3dFlags2 == 0x281),
    FIELD("VideoFullscreenGamma", kRegDword, 4, s.fullscreenGamma = 200, s.fullscreenGamma == 200,
          s.fullscreenGamma == 127),
    FIELD("InputFlags", kRegBinary, 4, s.inputFlags = 0x70204107, s.inputFlags == 0x70204107,
          s.inputFlags == 0x70200107),
    FIELD("InputJoyGUID", kRegBinary, 16, u.joystick = CopyIdentifier(kJoystick), SameIdentifier(u.joystick, kJoystick),
          u.joystick == nullptr),
    FIELD("InputFFGain", kRegDword, 4, u.forceFeedbackGain = 7, u.forceFeedbackGain == 7, u.forceFeedbackGain == 2),
    FIELD("InputJoyDeadzone", kRegDword, 4, u.joystickDeadZone = 33, u.joystickDeadZone == 33,
          u.joystickDeadZone == 20),
    FIELD("InputJoySensitivity", kRegDword, 4, u.joystickSensitivity = 44, u.joystickSensitivity == 44,
          u.joystickSensitivity == 20),
    FIELD("LogoPictureNum", kRegDword, 4, gLogoPictureNumber = 3, gLogoPictureNumber == 3, gLogoPictureNumber == 0),
    FIELD("LogoPictureName", kRegSz, 0, gLogoPictureName = ReplaceString(gLogoPictureName, "logo3.bmp"),
          SameText(gLogoPictureName, "logo3.bmp"), gLogoPictureName == nullptr),
    FIELD("ModName", kRegSz, 0, s.modName = ReplaceString(s.modName, "bigmod"), SameText(s.modName, "bigmod"),
          s.modName == nullptr),
    FIELD("AudioFlags", kRegBinary, 4, s.audioFlags = 0x301, s.audioFlags == 0x301, s.audioFlags == 0x103),
    FIELD("AudioWaveFormat", kRegBinary, 18, u.waveFormat = (WaveFormat{1, 1, 22050, 44100, 2, 16, 0}),
          u.waveFormat.channels == 1 && u.waveFormat.samplesPerSecond == 22050 &&
              u.waveFormat.averageBytesPerSecond == 44100 && u.waveFormat.blockAlign == 2 &&
              u.waveFormat.bitsPerSample == 16 && u.waveFormat.formatTag == 1 && u.waveFormat.extraSize == 0,
          u.waveFormat.channels == 2 && u.waveFormat.samplesPerSecond == 44100),
    FIELD("AudioSpeakerConfig", kRegDword, 4, u.speakerConfig = 5, u.speakerConfig == 5, u.speakerConfig == 4),
    FIELD("AudioModVolume", kRegDword, 4, s.musicVolume = 100, s.musicVolume == 100, s.musicVolume == 215),
    FIELD("AudioFXVolume", kRegDword, 4, s.effectsVolume = 101, s.effectsVolume == 101, s.effectsVolume == 255),
    FIELD("AudioVoiceVolume", kRegDword, 4, s.voiceVolume = 102, s.voiceVolume == 102, s.voiceVolume == 205),
    FIELD("AudioMasterVolume", kRegDword, 4, s.masterVolume = 103, s.masterVolume == 103, s.masterVolume == 255),
    FIELD("AudioA3DGUID", kRegBinary, 16, u.sound3DDevice = CopyIdentifier(kSound3D),
          SameIdentifier(u.sound3DDevice, kSound3D), u.sound3DDevice == nullptr),
    FIELD("AudioNum3DSounds", kRegDword, 4, s.sound3DCount = 12, s.sound3DCount == 12, s.sound3DCount == 6),
    FIELD("VideoLowerAQCFPS", kRegDword, 4, s.lowerQualityFps = 15.9, s.lowerQualityFps == 15.0,
          s.lowerQualityFps == 10.0),
    FIELD("VideoUpperAQCFPS", kRegDword, 4, s.upperQualityFps = 40.2, s.upperQualityFps == 40.0,
          s.upperQualityFps == 25.0),
    FIELD("GameState", kRegDword, 4, s.gameState = 1, s.gameState == 1, s.gameState == 63),
    FIELD("DefaultProfile", kRegSz, 0, s.defaultProfile = ReplaceString(s.defaultProfile, "pilot"),
          SameText(s.defaultProfile, "pilot"), SameText(s.defaultProfile, "default")),
    FIELD("GameStarts", kRegDword, 4, s.startModeMask = 0x15, s.startModeMask == 0x15, s.startModeMask == 0),
};
static_assert(sizeof kFields / sizeof kFields[0] == kSettingsValueCount);

bool IsVideoValue(const char* name) {
  for (int i = 1; i <= 13; ++i) {
    if (strcmp(kSettingsValueNames[i], name) == 0) return true;
  }
  return false;
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegistrySetFilePath(temp_.File("registry.xml").c_str());
    block_.product = &kProduct;
    gSystem = &block_;
    gStartup = StartupBlock{};
    ApplyDefaults(block_, gStartup);
  }
  void TearDown() override {
    CloseSettings(1);  // frees the identifier copies and the adapter name, saves nothing
    for (char** text : {&block_.captureFolder, &block_.modName, &block_.defaultProfile}) *text = FreeString(*text);
    gSystem = nullptr;
    RegistrySetFilePath(nullptr);
  }
  void SetEveryValue() {
    for (const Field& f : kFields) f.set(block_, gStartup);
  }
  void Reset() { ApplyDefaults(block_, gStartup); }
  // Replaces one stored value with the bytes given.
  void Store(const char* key, const char* name, uint32_t type, const void* data, uint32_t size) {
    RegistryKey* handle = nullptr;
    ASSERT_EQ(RegistryCreateKey(key, &handle), kRegOk);
    ASSERT_EQ(RegistrySetValue(handle, name, type, data, size), kRegOk);
    ASSERT_EQ(RegistryCloseKey(handle), kRegOk);
  }
  bool KeyExists(const char* key) {
    RegistryKey* handle = nullptr;
    if (RegistryOpenKey(key, kRegKeyRead, &handle) != kRegOk) return false;
    RegistryCloseKey(handle);
    return true;
  }

  TempDir temp_;
  SystemBlock block_{};
};

TEST_F(SettingsTest, EveryValueRoundTripsWithItsTypeAndSize) {
  SetEveryValue();
  ASSERT_EQ(SaveSettings(), 1);

  RegistrySetFilePath(temp_.File("registry.xml").c_str());  // read back from the file itself
  RegistryKey* key = nullptr;
  ASSERT_EQ(RegistryOpenKey(kKey, kRegKeyRead, &key), kRegOk);
  for (const Field& f : kFields) {
    uint32_t type = 0, size = 0;
    EXPECT_EQ(RegistryQueryValue(key, f.name, &type, nullptr, &size), kRegMoreData) << f.name;
    EXPECT_EQ(type, f.type) << f.name;
    if (f.size != 0) {
      EXPECT_EQ(size, f.size) << f.name;
    }
  }
  RegistryCloseKey(key);

  Reset();
  for (const Field& f : kFields) ASSERT_TRUE(f.isDefault(block_, gStartup)) << f.name;
  EXPECT_EQ(LoadSettings(), 1);
  for (const Field& f : kFields) EXPECT_TRUE(f.isSet(block_, gStartup)) << f.name;
}

TEST_F(SettingsTest, EmptyStoreKeepsEveryDefaultAndTheFirstNormalEndWritesThem) {
  EXPECT_EQ(LoadSettings(), 0);
  for (const Field& f : kFields) EXPECT_TRUE(f.isDefault(block_, gStartup)) << f.name;
  EXPECT_FALSE(KeyExists(kKey));

  CloseSettings(0);
  ASSERT_TRUE(KeyExists(kKey));
  // Without an adapter name or a display format the video values are incomplete, so the next
  // start still reports that no settings were loaded, yet takes what was stored.
  block_.gameState = 5;
  EXPECT_EQ(LoadSettings(), 0);
  EXPECT_EQ(block_.gameState, 5u);
}

TEST_F(SettingsTest, StoredValueOfWrongTypeOrSizeKeepsTheDefault) {
  struct Case {
    const char* name;
    uint32_t type;
    std::string bytes;
  };
  const Case kCases[] = {
      {"VideoWidth", kRegSz, std::string("1600", 5)},
      {"VideoWidth", kRegDword, std::string("\x40\x06", 2)},
      {"VideoWidth", kRegBinary, std::string("\x40\x06\0\0", 4)},
      {"VideoMode", kRegDword, std::string("\x63\0\0\0", 4)},  // a format without a known pixel size
      {"VideoFlags", kRegDword, std::string("\x20\x01\0\x08", 4)},
      {"VideoFlags", kRegBinary, std::string("\x08\0\x01", 3)},
      {"VideoAdapterName", kRegBinary, std::string("Card Zero", 10)},
      {"VideoAdapterName", kRegSz, std::string(600, 'x') + '\0'},  // longer than a text is read
      {"CaptureFolder", kRegDword, std::string("\1\0\0\0", 4)},
      {"InputFlags", kRegBinary, std::string("\x70\x20\x41\x07\0", 5)},
      {"InputJoyGUID", kRegBinary, std::string(15, '\1')},
      {"InputFFGain", kRegBinary, std::string("\7\0\0\0", 4)},
      {"AudioWaveFormat", kRegBinary, std::string(16, '\1')},
      {"AudioWaveFormat", kRegBinary, std::string(20, '\1')},
      {"AudioA3DGUID", kRegSz, std::string(15, 'g') + '\0'},
      {"ModName", kRegSz, std::string(120, 'm') + '\0'},
      {"ModName", kRegDword, std::string("mod", 4)},
      {"DefaultProfile", kRegBinary, std::string("pilot", 5)},
      {"DefaultProfile", kRegSz, std::string(101, 'p')},
      {"LogoPictureName", kRegDword, std::string("\3\0\0\0", 4)},
      {"VideoLowerAQCFPS", kRegBinary, std::string("\x0F\0\0\0", 4)},
      {"GameStarts", kRegDword, std::string("\x15\0\0\0\0\0\0\0", 8)},
  };
  for (const Case& c : kCases) {
    const Field* field = nullptr;
    for (const Field& f : kFields) {
      if (strcmp(f.name, c.name) == 0) field = &f;
    }
    ASSERT_NE(field, nullptr) << c.name;
    SetEveryValue();
    ASSERT_EQ(SaveSettings(), 1);
    Store(kKey, c.name, c.type, c.bytes.data(), uint32_t(c.bytes.size()));
    Reset();
    // A video value that cannot be taken counts as missing: the load reports 0.
    EXPECT_EQ(LoadSettings(), IsVideoValue(c.name) ? 0 : 1) << c.name;
    EXPECT_TRUE(field->isDefault(block_, gStartup)) << c.name << " type " << c.type << " size " << c.bytes.size();
    ApplyDefaults(block_, gStartup);
  }
}

TEST_F(SettingsTest, VideoModeZeroFailsTheLoadAfterApplyingTheOtherVideoValues) {
  SetEveryValue();
  gStartup.displayFormat = 0;
  ASSERT_EQ(SaveSettings(), 1);
  Reset();
  gStartup.adapterName = ReplaceString(gStartup.adapterName, "chosen before");
  EXPECT_EQ(LoadSettings(), 0);
  EXPECT_EQ(gStartup.adapterName, nullptr);
  EXPECT_EQ(block_.screenWidth, 1600);
  EXPECT_EQ(block_.fullscreenGamma, 200u);
  EXPECT_EQ(block_.colourDepth, 32);
  // Nothing after the video values is read.
  EXPECT_EQ(block_.gameState, 63u);
  EXPECT_EQ(gStartup.joystick, nullptr);
}

// A stored screen size no screen can have would end every start: the default size takes its
// place, the rest of the settings still load, and the repaired size is in the store at once.
TEST_F(SettingsTest, ImpossibleStoredScreenSizeFallsBackToTheDefaultAndIsStoredSo) {
  struct Case {
    uint32_t width, height;
  };
  const Case kCases[] = {{0, 768}, {1024, 4294967295u}, {0, 0}, {65535, 600}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    SetEveryValue();
    ASSERT_EQ(SaveSettings(), 1);
    Store(kKey, "VideoWidth", kRegDword, &c.width, 4);
    Store(kKey, "VideoHeight", kRegDword, &c.height, 4);
    Reset();
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(block_.screenWidth, 1024);
    EXPECT_EQ(block_.screenHeight, 768);
    EXPECT_EQ(block_.gameState, 1u);  // the values after the size still load
    RegistryKey* key = nullptr;
    ASSERT_EQ(RegistryOpenKey(kKey, kRegKeyRead, &key), kRegOk);
    for (const auto& [name, expected] : {std::pair{"VideoWidth", 1024u}, std::pair{"VideoHeight", 768u}}) {
      uint32_t type = 0, value = 0, size = 4;
      EXPECT_EQ(RegistryQueryValue(key, name, &type, &value, &size), kRegOk) << name;
      EXPECT_EQ(value, expected) << name;
    }
    RegistryCloseKey(key);
    ApplyDefaults(block_, gStartup);
  }
}

TEST_F(SettingsTest, TextsAndIdentifiersLoadBackAsTheirMeaning) {
  struct Case {
    const char* what;
    void (*prepare)(SystemBlock&, StartupBlock&);
    bool (*check)(const SystemBlock&, const StartupBlock&);
  };
  const Case kCases[] = {
      {"no mod is written as empty and loads as none",
       [](SystemBlock& s, StartupBlock&) { s.modName = FreeString(s.modName); },
       [](const SystemBlock& s, const StartupBlock&) { return s.modName == nullptr; }},
      {"no joystick is written as 0x2A bytes and loads as an identifier matching no device",
       [](SystemBlock&, StartupBlock& u) { MemFree(u.joystick, 16, 0); u.joystick = nullptr; },
       [](const SystemBlock&, const StartupBlock& u) {
         static const uint8_t kNone[16] = {42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42};
         return SameIdentifier(u.joystick, kNone);
       }},
      {"a one-letter profile survives although stored without its terminator",
       [](SystemBlock& s, StartupBlock&) { s.defaultProfile = ReplaceString(s.defaultProfile, "a"); },
       [](const SystemBlock& s, const StartupBlock&) { return SameText(s.defaultProfile, "a"); }},
      {"a profile of the full hundred letters comes back terminated",
       [](SystemBlock& s, StartupBlock&) { s.defaultProfile = ReplaceString(s.defaultProfile, std::string(100, 'q').c_str()); },
       [](const SystemBlock& s, const StartupBlock&) { return SameText(s.defaultProfile, std::string(100, 'q').c_str()); }},
      {"a negative width, which no screen has, comes back as the default size",
       [](SystemBlock& s, StartupBlock&) { s.screenWidth = -2; },
       [](const SystemBlock& s, const StartupBlock&) { return s.screenWidth == 1024 && s.screenHeight == 768; }},
      {"frame-rate limits beyond the 32-bit range are stored as the nearest whole number",
       [](SystemBlock& s, StartupBlock&) { s.lowerQualityFps = -3.5; s.upperQualityFps = 1e12; },
       [](const SystemBlock& s, const StartupBlock&) {
         return s.lowerQualityFps == 0.0 && s.upperQualityFps == 4294967295.0;
       }},
  };
  for (const Case& c : kCases) {
    SetEveryValue();
    c.prepare(block_, gStartup);
    ASSERT_EQ(SaveSettings(), 1) << c.what;
    Reset();
    block_.modName = ReplaceString(block_.modName, "left from before");
    EXPECT_EQ(LoadSettings(), 1) << c.what;
    EXPECT_TRUE(c.check(block_, gStartup)) << c.what;
    ApplyDefaults(block_, gStartup);
  }

  // Sixteen zero bytes are no identifier.
  SetEveryValue();
  ASSERT_EQ(SaveSettings(), 1);
  const uint8_t zeros[16] = {};
  Store(kKey, "InputJoyGUID", kRegBinary, zeros, 16);
  Reset();
  EXPECT_EQ(LoadSettings(), 1);
  EXPECT_EQ(gStartup.joystick, nullptr);
}

TEST_F(SettingsTest, NormalEndSavesOnceWithTheIdentifiersAndCodeThirtyFiveDeletes) {
  SetEveryValue();
  CloseSettings(0);
  EXPECT_EQ(gStartup.joystick, nullptr);  // the copies are released
  EXPECT_EQ(gStartup.adapterName, nullptr);
  Reset();
  ASSERT_EQ(LoadSettings(), 1);
  // The end of the run saved what the run had chosen, not the released copies.
  for (const Field& f : kFields) EXPECT_TRUE(f.isSet(block_, gStartup)) << f.name;

  // Mode flag 0x40: the shutdown saved already, so a change made afterwards is not written.
  block_.gameState = 9;
  block_.modeFlags |= kModeSettingsSaved;
  CloseSettings(0);
  Reset();
  ASSERT_EQ(LoadSettings(), 1);
  EXPECT_EQ(block_.gameState, 1u);

  // Code 35 deletes the settings but keeps the scripts' profile values.
  ASSERT_EQ(WriteProfileValue("RunInBackground", 1), 1);
  block_.modeFlags = 0;
  CloseSettings(35);
  Reset();
  EXPECT_EQ(LoadSettings(), 0);
  for (const Field& f : kFields) EXPECT_TRUE(f.isDefault(block_, gStartup)) << f.name;
  EXPECT_EQ(ReadProfileValue("RunInBackground"), 1);

  // Without profile values the whole key goes.
  SetEveryValue();
  ASSERT_EQ(SaveSettings(), 1);
  RegistryKey* parent = nullptr;
  ASSERT_EQ(RegistryOpenKey(kKey, kRegKeyRead, &parent), kRegOk);
  ASSERT_EQ(RegistryDeleteKey(parent, "Values"), kRegOk);
  RegistryCloseKey(parent);
  DeleteSettings();
  EXPECT_FALSE(KeyExists(kKey));
  EXPECT_TRUE(KeyExists("Software\\KORVANE"));
}

TEST_F(SettingsTest, SaveThatCannotReachTheFileReportsFailure) {
  ASSERT_EQ(mkdir(temp_.File("registry.xml.tmp").c_str(), 0700), 0);
  SetEveryValue();
  EXPECT_EQ(SaveSettings(), 0);
  EXPECT_EQ(WriteProfileValue("x", 1), 0);
  gSystem = nullptr;
  EXPECT_EQ(SaveSettings(), 0);
  EXPECT_EQ(LoadSettings(), 0);
  gSystem = &block_;
}

TEST_F(SettingsTest, ProfileValuesByName) {
  EXPECT_EQ(ReadProfileString("Pilot"), nullptr);  // no key yet
  EXPECT_EQ(ReadProfileValue("Kills"), 0);
  ASSERT_EQ(WriteProfileString("Pilot", "Ace"), 1);
  ASSERT_EQ(WriteProfileValue("Kills", -7), 1);
  ASSERT_EQ(WriteProfileString("Blank", ""), 1);
  ASSERT_EQ(WriteProfileString("NullText", nullptr), 1);
  EXPECT_EQ(WriteProfileString(nullptr, "x"), 0);
  EXPECT_EQ(WriteProfileValue(nullptr, 1), 0);
  Store(kProfileKey, "Short", kRegDword, "\1\2", 2);

  RegistrySetFilePath(temp_.File("registry.xml").c_str());
  struct Case {
    const char* name;
    const char* text;  // ReadProfileString, null for none
    int32_t number;    // ReadProfileValue
  };
  const Case kCases[] = {
      {"Pilot", "Ace", 0},       // a text is not a number
      {"pilot", "Ace", 0},
      {"Kills", nullptr, -7},    // a number is not a text
      {"Blank", nullptr, 0},     // stored, but empty
      {"NullText", nullptr, 0},
      {"Short", nullptr, 0},     // a number of the wrong size
      {"Missing", nullptr, 0},
      {nullptr, nullptr, 0},
  };
  for (const Case& c : kCases) {
    const char* label = c.name ? c.name : "(null)";
    char* text = ReadProfileString(c.name);
    if (c.text == nullptr) {
      EXPECT_EQ(text, nullptr) << label;
    } else {
      EXPECT_TRUE(SameText(text, c.text)) << label;
    }
    FreeString(text);
    EXPECT_EQ(ReadProfileValue(c.name), c.number) << label;
  }

  // The empty text is stored as a text of its terminator alone.
  RegistryKey* key = nullptr;
  ASSERT_EQ(RegistryOpenKey(kProfileKey, kRegKeyRead, &key), kRegOk);
  uint32_t type = 0, size = 8;
  char buffer[8];
  EXPECT_EQ(RegistryQueryValue(key, "Blank", &type, buffer, &size), kRegOk);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 1u);
  RegistryCloseKey(key);
}

}  // namespace
