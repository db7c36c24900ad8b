// Loading, saving and deleting the user's settings in the registry, and the profile values of
// the "Values" sub-key. Callers: the game main (load, run-in-background), the shutdown through
// FreeSystemBlock (CloseSettings), the launcher and the settings dialogs (save, delete), the
// application natives (profile values). Never takes a stored value of the wrong type or size,
// never reads past what the store returned, and never writes settings after freeing the values
// they come from.
#include "app/settings.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/entry.h"
#include "app/general_init.h"
#include "core/byte_order.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/registry.h"
#include "render/d3d_context.h"

const char* const kSettingsValueNames[kSettingsValueCount] = {
    "CaptureFolder",       "VideoAdapterName",    "VideoAdapterOrdinal", "VideoWidth",
    "VideoHeight",         "VideoMode",           "VideoTextureQuality", "VideoShaderQuality",
    "VideoAntialiasMode",  "VideoFilterMode",     "VideoFlags",          "VideoD3DFlags",
    "VideoD3DFlags2",      "VideoFullscreenGamma", "InputFlags",         "InputJoyGUID",
    "InputFFGain",         "InputJoyDeadzone",    "InputJoySensitivity", "LogoPictureNum",
    "LogoPictureName",     "ModName",             "AudioFlags",          "AudioWaveFormat",
    "AudioSpeakerConfig",  "AudioModVolume",      "AudioFXVolume",       "AudioVoiceVolume",
    "AudioMasterVolume",   "AudioA3DGUID",        "AudioNum3DSounds",    "VideoLowerAQCFPS",
    "VideoUpperAQCFPS",    "GameState",           "DefaultProfile",      "GameStarts",
};

uint32_t gLogoPictureNumber = 0;
char* gLogoPictureName = nullptr;

static constexpr const char* kSettingsRoot = "Software\\KORVANE";
static constexpr const char* kProfileSubKey = "Values";
static constexpr size_t kKeyNameLimit = 200;
static constexpr uint32_t kIdentifierSize = 16;
static constexpr uint8_t kNoIdentifierByte = 0x2A;
static constexpr uint32_t kWaveFormatSize = 18;

// Read limits of the text values, in bytes.
static constexpr uint32_t kPathTextLimit = 500;
static constexpr uint32_t kNameTextLimit = 99;
static constexpr uint32_t kProfileNameLimit = 100;

static constexpr uint32_t kShutdownNormal = 0;
static constexpr uint32_t kShutdownDeleteSettings = 35;

// ---- key names ----

static const char* ProductFolderName() {
  if (gSystem == nullptr || gSystem->product == nullptr) return nullptr;
  return gSystem->product->folderName;
}

static bool SettingsKeyName(char* name, size_t size) {
  const char* product = ProductFolderName();
  if (product == nullptr) return false;
  int length = snprintf(name, size, "%s\\%s", kSettingsRoot, product);
  return length > 0 && size_t(length) < size;
}

static bool ProfileKeyName(char* name, size_t size) {
  const char* product = ProductFolderName();
  if (product == nullptr) return false;
  int length = snprintf(name, size, "%s\\%s\\%s", kSettingsRoot, product, kProfileSubKey);
  return length > 0 && size_t(length) < size;
}

static RegistryKey* OpenSettingsKey(uint32_t access) {
  char name[kKeyNameLimit + 1];
  if (!SettingsKeyName(name, sizeof name)) return nullptr;
  RegistryKey* key = nullptr;
  int32_t answer = access == kRegKeyWrite ? RegistryCreateKey(name, &key) : RegistryOpenKey(name, access, &key);
  return answer == kRegOk ? key : nullptr;
}

// ---- typed reads: a value counts only with its own type and size ----

static bool ReadDword(RegistryKey* key, const char* name, uint32_t* number) {
  uint32_t type = kRegNone, word = 0, size = sizeof word;
  if (RegistryQueryValue(key, name, &type, &word, &size) != kRegOk) return false;
  if (type != kRegDword || size != sizeof word) return false;
  *number = word;
  return true;
}

static bool ReadBytes(RegistryKey* key, const char* name, uint8_t* bytes, uint32_t count) {
  uint8_t buffer[32];
  uint32_t type = kRegNone, size = count;
  if (count > sizeof buffer) return false;
  if (RegistryQueryValue(key, name, &type, buffer, &size) != kRegOk) return false;
  if (type != kRegBinary || size != count) return false;
  memcpy(bytes, buffer, count);
  return true;
}

static bool ReadWord(RegistryKey* key, const char* name, uint32_t* word) {
  uint8_t bytes[4];
  if (!ReadBytes(key, name, bytes, sizeof bytes)) return false;
  *word = LoadBE32(bytes);
  return true;
}

// Reads a text of at most limit bytes into text (limit + 1 bytes of room), always terminated
// after the bytes the store returned, whether or not they held their own terminator.
static bool ReadText(RegistryKey* key, const char* name, char* text, uint32_t limit) {
  uint32_t type = kRegNone, size = limit;
  text[0] = '\0';
  if (RegistryQueryValue(key, name, &type, text, &size) != kRegOk || type != kRegSz) {
    text[0] = '\0';
    return false;
  }
  text[size <= limit ? size : limit] = '\0';
  return true;
}

// ---- typed writes ----

static bool WriteDword(RegistryKey* key, const char* name, uint32_t number) {
  return RegistrySetValue(key, name, kRegDword, &number, sizeof number) == kRegOk;
}

static bool WriteWord(RegistryKey* key, const char* name, uint32_t word) {
  uint8_t bytes[4];
  StoreBE32(bytes, word);
  return RegistrySetValue(key, name, kRegBinary, bytes, sizeof bytes) == kRegOk;
}

static bool WriteText(RegistryKey* key, const char* name, const char* text, bool withTerminator) {
  if (text == nullptr) text = "";
  size_t length = strlen(text) + (withTerminator ? 1 : 0);
  if (length > kRegMaxValueSize) return false;
  return RegistrySetValue(key, name, kRegSz, text, uint32_t(length)) == kRegOk;
}

static bool WriteIdentifier(RegistryKey* key, const char* name, const uint8_t* identifier) {
  uint8_t none[kIdentifierSize];
  memset(none, kNoIdentifierByte, sizeof none);
  return RegistrySetValue(key, name, kRegBinary, identifier != nullptr ? identifier : none, kIdentifierSize) == kRegOk;
}

static void EncodeWaveFormat(const WaveFormat& format, uint8_t* bytes) {
  StoreBE16(bytes + 0, format.formatTag);
  StoreBE16(bytes + 2, format.channels);
  StoreBE32(bytes + 4, format.samplesPerSecond);
  StoreBE32(bytes + 8, format.averageBytesPerSecond);
  StoreBE16(bytes + 12, format.blockAlign);
  StoreBE16(bytes + 14, format.bitsPerSample);
  StoreBE16(bytes + 16, format.extraSize);
}

static void DecodeWaveFormat(const uint8_t* bytes, WaveFormat* format) {
  format->formatTag = LoadBE16(bytes + 0);
  format->channels = LoadBE16(bytes + 2);
  format->samplesPerSecond = LoadBE32(bytes + 4);
  format->averageBytesPerSecond = LoadBE32(bytes + 8);
  format->blockAlign = LoadBE16(bytes + 12);
  format->bitsPerSample = LoadBE16(bytes + 14);
  format->extraSize = LoadBE16(bytes + 16);
}

// The frame-rate limits are stored as whole numbers; a value outside the 32-bit range or not a
// number is stored as the nearest one that fits.
static uint32_t TruncateRate(double rate) {
  if (!(rate > 0.0)) return 0;
  if (rate >= 4294967295.0) return 0xFFFFFFFFu;
  return uint32_t(std::trunc(rate));
}

static void FreeIdentifier(uint8_t** identifier) {
  if (*identifier != nullptr) MemFree(*identifier, kIdentifierSize, 0);
  *identifier = nullptr;
}

// An identifier of 16 zero bytes means none; any other replaces the copy held.
static void ReadIdentifier(RegistryKey* key, const char* name, uint8_t** identifier) {
  uint8_t bytes[kIdentifierSize];
  if (!ReadBytes(key, name, bytes, kIdentifierSize)) return;
  bool allZero = true;
  for (uint8_t byte : bytes) allZero = allZero && byte == 0;
  if (allZero) return;
  uint8_t* copy = static_cast<uint8_t*>(MemAlloc(kIdentifierSize, 0));
  if (copy == nullptr) return;
  memcpy(copy, bytes, kIdentifierSize);
  FreeIdentifier(identifier);
  *identifier = copy;
}

// ---- the settings ----

int SaveSettings() {
  if (gSystem == nullptr) return 0;
  RegistryKey* key = OpenSettingsKey(kRegKeyWrite);
  if (key == nullptr) return 0;
  const SystemBlock& s = *gSystem;
  const StartupBlock& u = gStartup;
  uint8_t wave[kWaveFormatSize];
  EncodeWaveFormat(u.waveFormat, wave);

  bool ok = (s.captureFolder == nullptr || WriteText(key, "CaptureFolder", s.captureFolder, true)) &&
            (u.adapterName == nullptr || WriteText(key, "VideoAdapterName", u.adapterName, true)) &&
            WriteDword(key, "VideoAdapterOrdinal", uint32_t(u.adapterOrdinal)) &&
            WriteDword(key, "VideoWidth", uint32_t(int32_t(s.screenWidth))) &&
            WriteDword(key, "VideoHeight", uint32_t(int32_t(s.screenHeight))) &&
            WriteDword(key, "VideoMode", u.displayFormat) &&
            WriteDword(key, "VideoTextureQuality", s.textureQuality) &&
            WriteDword(key, "VideoShaderQuality", s.shaderQuality) &&
            WriteDword(key, "VideoAntialiasMode", s.antialiasMode) &&
            WriteDword(key, "VideoFilterMode", s.filterMode) &&
            WriteWord(key, "VideoFlags", s.videoFlags) &&
            WriteWord(key, "VideoD3DFlags", s.d3dFlags) &&
            WriteWord(key, "VideoD3DFlags2", s.d3dFlags2) &&
            WriteDword(key, "VideoFullscreenGamma", s.fullscreenGamma) &&
            WriteWord(key, "InputFlags", s.inputFlags) &&
            WriteIdentifier(key, "InputJoyGUID", u.joystick) &&
            WriteDword(key, "InputFFGain", uint32_t(u.forceFeedbackGain)) &&
            WriteDword(key, "InputJoyDeadzone", uint32_t(u.joystickDeadZone)) &&
            WriteDword(key, "InputJoySensitivity", uint32_t(u.joystickSensitivity)) &&
            WriteDword(key, "LogoPictureNum", gLogoPictureNumber) &&
            (gLogoPictureName == nullptr || WriteText(key, "LogoPictureName", gLogoPictureName, true)) &&
            WriteText(key, "ModName", s.modName, true) &&
            WriteWord(key, "AudioFlags", s.audioFlags) &&
            RegistrySetValue(key, "AudioWaveFormat", kRegBinary, wave, sizeof wave) == kRegOk &&
            WriteDword(key, "AudioSpeakerConfig", u.speakerConfig) &&
            WriteDword(key, "AudioModVolume", s.musicVolume) &&
            WriteDword(key, "AudioFXVolume", s.effectsVolume) &&
            WriteDword(key, "AudioVoiceVolume", s.voiceVolume) &&
            WriteDword(key, "AudioMasterVolume", s.masterVolume) &&
            WriteIdentifier(key, "AudioA3DGUID", u.sound3DDevice) &&
            WriteDword(key, "AudioNum3DSounds", s.sound3DCount) &&
            WriteDword(key, "VideoLowerAQCFPS", TruncateRate(s.lowerQualityFps)) &&
            WriteDword(key, "VideoUpperAQCFPS", TruncateRate(s.upperQualityFps)) &&
            WriteDword(key, "GameState", s.gameState) &&
            WriteText(key, "DefaultProfile", s.defaultProfile, false) &&
            WriteDword(key, "GameStarts", s.startModeMask);
  // The close writes the store's file; a failed file write is a failed save.
  bool stored = RegistryCloseKey(key) == kRegOk;
  return ok && stored ? 1 : 0;
}

int LoadCaptureFolder() {
  if (gSystem == nullptr) return 0;
  RegistryKey* key = OpenSettingsKey(kRegKeyRead);
  if (key == nullptr) return 0;
  char text[kPathTextLimit + 1];
  if (ReadText(key, "CaptureFolder", text, kPathTextLimit) && text[0] != '\0') {
    gSystem->captureFolder = ReplaceString(gSystem->captureFolder, text);
  }
  RegistryCloseKey(key);
  return 1;
}

int LoadSettingsVideo() {
  if (gSystem == nullptr) return 0;
  SystemBlock& s = *gSystem;
  StartupBlock& u = gStartup;
  RegistryKey* key = OpenSettingsKey(kRegKeyRead);
  bool complete = key != nullptr;
  bool repairSize = false;
  if (key != nullptr) {
    char text[kPathTextLimit + 1];
    uint32_t number = 0;
    if (ReadText(key, "VideoAdapterName", text, kPathTextLimit)) {
      u.adapterName = ReplaceString(u.adapterName, text[0] != '\0' ? text : nullptr);
    } else {
      complete = false;
    }
    if (ReadDword(key, "VideoAdapterOrdinal", &number)) u.adapterOrdinal = int32_t(number);
    else complete = false;
    if (ReadDword(key, "VideoWidth", &number)) s.screenWidth = int16_t(uint16_t(number));
    else complete = false;
    if (ReadDword(key, "VideoHeight", &number)) s.screenHeight = int16_t(uint16_t(number));
    else complete = false;
    // A stored size no screen can have would end every start; the default size takes its place
    // and is stored at once, so the next start finds a size it can use.
    repairSize = !IsPossibleScreenSize(s.screenWidth, s.screenHeight);
    if (repairSize) DefaultScreenSize(&s.screenWidth, &s.screenHeight);
    // A format without a known pixel size would leave the display without a colour depth, so it
    // counts as no stored mode.
    if (ReadDword(key, "VideoMode", &number) && number > 0 && static_cast<int16_t>(FormatBitsPerPixel(number)) > 0) {
      u.displayFormat = number;
      s.colourDepth = static_cast<int16_t>(FormatBitsPerPixel(number));
    } else {
      complete = false;
    }
    if (ReadDword(key, "VideoTextureQuality", &number)) s.textureQuality = number;
    else complete = false;
    if (ReadDword(key, "VideoShaderQuality", &number)) s.shaderQuality = number;
    else complete = false;
    if (ReadDword(key, "VideoAntialiasMode", &number)) s.antialiasMode = number;
    else complete = false;
    if (ReadDword(key, "VideoFilterMode", &number)) s.filterMode = number;
    else complete = false;
    if (!ReadWord(key, "VideoFlags", &s.videoFlags)) complete = false;
    if (!ReadWord(key, "VideoD3DFlags", &s.d3dFlags)) complete = false;
    if (!ReadWord(key, "VideoD3DFlags2", &s.d3dFlags2)) complete = false;
    if (ReadDword(key, "VideoFullscreenGamma", &number)) s.fullscreenGamma = number;
    else complete = false;
    RegistryCloseKey(key);
  }
  if (repairSize) {
    RegistryKey* writable = OpenSettingsKey(kRegKeyWrite);
    if (writable != nullptr) {
      WriteDword(writable, "VideoWidth", uint32_t(int32_t(s.screenWidth)));
      WriteDword(writable, "VideoHeight", uint32_t(int32_t(s.screenHeight)));
      RegistryCloseKey(writable);
    }
  }
  if (!complete) u.adapterName = FreeString(u.adapterName);
  return complete ? 1 : 0;
}

int LoadSettings() {
  if (!LoadCaptureFolder()) return 0;
  if (!LoadSettingsVideo()) return 0;
  RegistryKey* key = OpenSettingsKey(kRegKeyRead);
  if (key == nullptr) return 0;
  SystemBlock& s = *gSystem;
  StartupBlock& u = gStartup;
  uint32_t number = 0;
  char text[kProfileNameLimit + 1];

  ReadWord(key, "InputFlags", &s.inputFlags);
  ReadIdentifier(key, "InputJoyGUID", &u.joystick);
  if (ReadDword(key, "InputFFGain", &number)) u.forceFeedbackGain = int32_t(number);
  if (ReadDword(key, "InputJoyDeadzone", &number)) u.joystickDeadZone = int32_t(number);
  if (ReadDword(key, "InputJoySensitivity", &number)) u.joystickSensitivity = int32_t(number);
  if (ReadText(key, "DefaultProfile", text, kProfileNameLimit) && text[0] != '\0') {
    s.defaultProfile = ReplaceString(s.defaultProfile, text);
  }
  ReadDword(key, "LogoPictureNum", &gLogoPictureNumber);
  if (ReadText(key, "LogoPictureName", text, kNameTextLimit) && text[0] != '\0') {
    gLogoPictureName = ReplaceString(gLogoPictureName, text);
  }
  if (ReadText(key, "ModName", text, kNameTextLimit)) {
    s.modName = ReplaceString(s.modName, text[0] != '\0' ? text : nullptr);
  }
  ReadWord(key, "AudioFlags", &s.audioFlags);
  uint8_t wave[kWaveFormatSize];
  if (ReadBytes(key, "AudioWaveFormat", wave, kWaveFormatSize)) DecodeWaveFormat(wave, &u.waveFormat);
  ReadDword(key, "AudioSpeakerConfig", &u.speakerConfig);
  ReadIdentifier(key, "AudioA3DGUID", &u.sound3DDevice);
  ReadDword(key, "AudioModVolume", &s.musicVolume);
  ReadDword(key, "AudioFXVolume", &s.effectsVolume);
  ReadDword(key, "AudioVoiceVolume", &s.voiceVolume);
  ReadDword(key, "AudioMasterVolume", &s.masterVolume);
  ReadDword(key, "AudioNum3DSounds", &s.sound3DCount);
  if (ReadDword(key, "VideoLowerAQCFPS", &number)) s.lowerQualityFps = double(number);
  if (ReadDword(key, "VideoUpperAQCFPS", &number)) s.upperQualityFps = double(number);
  ReadDword(key, "GameState", &s.gameState);
  ReadDword(key, "GameStarts", &s.startModeMask);
  RegistryCloseKey(key);
  return 1;
}

void DeleteSettings() {
  const char* product = ProductFolderName();
  if (product == nullptr) return;
  RegistryKey* parent = nullptr;
  if (RegistryOpenKey(kSettingsRoot, kRegKeyRead, &parent) != kRegOk) return;
  int32_t answer = RegistryDeleteKey(parent, product);
  RegistryCloseKey(parent);
  if (answer != kRegAccessDenied) return;
  // The key still holds the profile values: those are the scripts' own data and stay; the fixed
  // settings go one by one.
  RegistryKey* key = OpenSettingsKey(kRegKeyWrite);
  if (key == nullptr) return;
  for (const char* name : kSettingsValueNames) RegistryDeleteValue(key, name);
  RegistryCloseKey(key);
}

void CloseSettings(uint32_t code) {
  // Saved before the values it writes are released, so the joystick, the 3D audio device and the
  // adapter survive a normal end.
  if (code == kShutdownNormal && gSystem != nullptr && (gSystem->modeFlags & kModeSettingsSaved) == 0) {
    SaveSettings();
  }
  FreeIdentifier(&gStartup.joystick);
  gStartup.adapterName = FreeString(gStartup.adapterName);
  FreeIdentifier(&gStartup.sound3DDevice);
  gLogoPictureName = FreeString(gLogoPictureName);
  if (code == kShutdownDeleteSettings) DeleteSettings();
}

// ---- profile values ----

static RegistryKey* OpenProfileKey(bool forWriting) {
  char name[kKeyNameLimit + 1];
  if (!ProfileKeyName(name, sizeof name)) return nullptr;
  RegistryKey* key = nullptr;
  int32_t answer = forWriting ? RegistryCreateKey(name, &key) : RegistryOpenKey(name, kRegKeyRead, &key);
  return answer == kRegOk ? key : nullptr;
}

char* ReadProfileString(const char* name) {
  if (name == nullptr) return nullptr;
  RegistryKey* key = OpenProfileKey(false);
  if (key == nullptr) return nullptr;
  char text[kPathTextLimit + 1];
  char* copy = nullptr;
  if (ReadText(key, name, text, kPathTextLimit) && text[0] != '\0') copy = DuplicateString(text);
  RegistryCloseKey(key);
  return copy;
}

int32_t ReadProfileValue(const char* name) {
  if (name == nullptr) return 0;
  RegistryKey* key = OpenProfileKey(false);
  if (key == nullptr) return 0;
  uint32_t number = 0;
  if (!ReadDword(key, name, &number)) number = 0;
  RegistryCloseKey(key);
  return int32_t(number);
}

int WriteProfileString(const char* name, const char* text) {
  if (name == nullptr) return 0;
  RegistryKey* key = OpenProfileKey(true);
  if (key == nullptr) return 0;
  bool ok = WriteText(key, name, text, true);
  bool stored = RegistryCloseKey(key) == kRegOk;
  return ok && stored ? 1 : 0;
}

int WriteProfileValue(const char* name, int32_t number) {
  if (name == nullptr) return 0;
  RegistryKey* key = OpenProfileKey(true);
  if (key == nullptr) return 0;
  bool ok = WriteDword(key, name, uint32_t(number));
  bool stored = RegistryCloseKey(key) == kRegOk;
  return ok && stored ? 1 : 0;
}
