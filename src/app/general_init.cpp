// General initialisation and the SystemBlock's life: InitGeneral builds the block (defaults,
// "lang", the language pack, platform defaults, switches, catalogs), FreeSystemBlock releases it.
// Also the default settings, the Direct3D usage words, text formatting and UTF-16 conversion, the
// frame-time update and the memory-speed probe. On every failure InitGeneral alone releases what it
// built; a catalog mount never frees the block.
#include "app/general_init.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/entry.h"
#include "app/game_main.h"
#include "app/settings.h"
#include "app/shutdown.h"
#include "app/system_info.h"
#include "core/catalog.h"
#include "core/clock.h"
#include "core/file_object.h"
#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"
#include "devices/sound_channels.h"
#include "platform/os.h"
#include "platform/registry.h"
#include "render/render.h"

SystemBlock* gSystem = nullptr;

const ProductRecord kProductRecord = {
    .folderName = "VexaNL",
    .flags = 0x0C,
    .number100 = 100,
    .number400 = 400,
    .word200000 = 0x200000,
    .baseTemplate = "%s",
    .objectsTemplate = "objects\\%s",
    .languageTemplate = "L\\%s",
    .languageTemplate2 = "L\\%s",
    .soundTemplate = "S\\%03d",
    .saveFolder = "save",
    .saveTemplate = "save\\Ulnar%02d.sav",
    .catalogTemplate = "%02d.cat",
    .catalogTemplate2 = "%02d.cat",
    .fontTemplate = "F\\%s",
    .modCatalogTemplate = "mods\\%s.cat",
    .textTemplate = "T\\%d.txt",
    .textIdTemplate = "T\\%06d",
    .texTemplate = "tex\\%s",
    .texturesTemplate = "textures\\%s",
    .ddsTemplate = "dds\\%s",
    .captureFolder = "screenshots",
    .shortName = "Vexa",
    .movieTemplate = "mov\\%s",
    .number3FF = 0x3FF,
    .objectsTemplate2 = "objects\\%s",
    .number2 = 2,
    .number5 = 5,
    .serverLinkTemplate = "http://localhost/vexa/%s",
    .typeTextTemplate = "types\\%s.txt",
    .typePackedTemplate = "types\\%s.pck",
    .textSaveTemplate = "nl\\%s.txc",
    .recordTemplate = "rc\\%05d_%02d.rac",
    .voiceTemplate = "vc\\%s",
};

uint32_t gIgnoredJoysticks[kIgnoredJoystickCount];

const char kBuildDate[] = "Aug 27 2009";
const char kBuildTime[] = "19:23:29";

// Product flags: bit 0 set with bit 1 clear hides the display switches.
constexpr uint32_t kProductHidesDisplayOptions = 0x1;
constexpr uint32_t kProductShowsDisplayOptions = 0x2;

constexpr uint32_t kDefaultInputFlags = 0x70200107;
constexpr uint32_t kDefaultVideoFlags = 0x100;
constexpr uint32_t kDefaultD3DFlags = 0x4213AD5F;
constexpr uint32_t kDefaultD3DFlags2 = 0x281;
constexpr uint32_t kDefaultGamma = 127;
constexpr uint32_t kDefaultGameState = 63;
constexpr uint32_t kLanguageEnglish = 44;
constexpr uint32_t kSpeakerStereo = 4;
constexpr size_t kIdentifierSize = 16;  // joystick and 3D audio device identifiers

static const char kLanguagePackName[] = "t\\0002-L001.pck";
static const char kRegisteredOwnerKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

// ---------------------------------------------------------------------------------------------
// Release

static void FreeCatalogs(SystemBlock* block) {
  if (block->catalogs == nullptr) return;
  for (int slot = 0; slot < block->catalogSlots; ++slot) FreeCatalog(block->catalogs[slot]);
  MemFree(block->catalogs, size_t(block->catalogSlots) * sizeof(Catalog*), 0);
  block->catalogs = nullptr;
  block->catalogSlots = 0;
}

// Frees the block with everything it owns and clears the global pointer.
static void ReleaseBlock(SystemBlock* block) {
  if (block == nullptr) return;
  FreeCatalogs(block);
  for (char** text : {&block->captureFolder, &block->defaultProfile, &block->outputFileName, &block->registeredOwner,
                      &block->modName, &block->processorText, &block->graphicsCardText, &block->directXVersionText,
                      &block->operatingSystemText})
    *text = FreeString(*text);
  MemFree(block, sizeof(SystemBlock), 0);
  if (gSystem == block) gSystem = nullptr;
}

void FreeSystemBlock(uint32_t code) {
  if (gSystem == nullptr) return;
  // The settings are saved (or deleted) from the block before it goes.
  CloseSettings(code);
  ReleaseBlock(gSystem);
}

// ---------------------------------------------------------------------------------------------
// Defaults

void InitD3DUsageFlags() {
  if (gSystem == nullptr) return;
  const uint32_t base = gSystem->usageBase;
  gSystem->usageWords[0] = base | 0x80002C;
  gSystem->usageWords[1] = 0x800000;
  gSystem->usageWords[2] = base | 0x800834;
  gSystem->usageWords[3] = 0x800830;
  // A display that keeps a back-buffer surface beside its video surface drops bit 0x40.
  const bool backBufferSurface = gDisplay && (gDisplay->flags & kDisplayNoScreenLists);
  gSystem->usageWords[4] = base | 0x81002C | (backBufferSurface ? 0 : 0x40);
  gSystem->usageWords[5] = base | 0x810024;
}

// The desktop size the default screen mode takes. The platform layer offers no desktop query yet,
// so every run takes the size headless runs use.
void DefaultScreenSize(int16_t* width, int16_t* height) {
  *width = 1024;
  *height = 768;
}

bool IsPossibleScreenSize(int32_t width, int32_t height) { return width > 0 && height > 0; }

int SetDefaultVideoSettings() {
  if (gSystem == nullptr) return 0;
  int32_t displayMemory = 0;
  DxDiagContext context;
  InitDxDiagContext(&context);
  if (OpenDxDiag(&context)) {
    for (int32_t device = 0; device < 3; ++device) {
      const int32_t memory = GetDisplayMemory(&context, device);
      if (memory > displayMemory) displayMemory = memory;
    }
  }
  CloseDxDiag(&context);
  gStartup.adapterName = FreeString(gStartup.adapterName);
  gStartup.adapterOrdinal = -1;
  DefaultScreenSize(&gSystem->screenWidth, &gSystem->screenHeight);
  gSystem->colourDepth = 32;
  gSystem->shaderQuality = 2;
  if (displayMemory > 140) {
    gSystem->antialiasMode = 1;
    gSystem->textureQuality = 2;
  } else {
    gSystem->antialiasMode = 0;
    gSystem->textureQuality = 1;
  }
  gSystem->filterMode = displayMemory > 260 ? 2 : 1;
  gSystem->videoFlags = kDefaultVideoFlags;
  gSystem->d3dFlags = kDefaultD3DFlags;
  gSystem->fullscreenGamma = kDefaultGamma;
  gSystem->d3dFlags2 = kDefaultD3DFlags2;
  gStartup.displayFormat = 0;
  return 1;
}

static void DropIdentifier(uint8_t** identifier) {
  if (*identifier != nullptr) MemFree(*identifier, kIdentifierSize, 0);
  *identifier = nullptr;
}

static void ReadRegisteredOwner() {
  RegistryKey* key = nullptr;
  if (RegistryOpenKey(kRegisteredOwnerKey, kRegKeyRead, &key) != kRegOk) return;
  uint32_t size = 0;
  if (RegistryQueryValue(key, "RegisteredOwner", nullptr, nullptr, &size) == kRegMoreData && size > 0) {
    char* owner = static_cast<char*>(MemAlloc(size_t(size) + 1, 0));
    if (owner != nullptr) {
      uint32_t room = size;
      if (RegistryQueryValue(key, "RegisteredOwner", nullptr, owner, &room) == kRegOk) {
        owner[room < size ? room : size] = '\0';
        gSystem->registeredOwner = ReplaceString(gSystem->registeredOwner, owner);
      }
      MemFree(owner, size_t(size) + 1, 0);
    }
  }
  RegistryCloseKey(key);
}

int SetDefaultSettings() {
  if (gSystem == nullptr) return 0;
  SetDefaultVideoSettings();
  gSystem->captureFolder = ReplaceString(gSystem->captureFolder, gSystem->product->captureFolder);
  gSystem->lowerQualityFps = 10.0;
  gSystem->upperQualityFps = 25.0;
  gSystem->effectsVolume = 255;
  gSystem->masterVolume = 255;
  gSystem->musicVolume = 215;
  gSystem->voiceVolume = 205;
  gSystem->sound3DCount = 6;
  gSystem->soundChannelCount = kSoundSlotCount;
  gSystem->inputFlags = kDefaultInputFlags;
  gStartup.forceFeedbackGain = 2;
  gStartup.joystickDeadZone = 20;
  gStartup.joystickSensitivity = 20;
  DropIdentifier(&gStartup.joystick);
  gLogoPictureNumber = 0;
  gLogoPictureName = FreeString(gLogoPictureName);
  gSystem->modName = FreeString(gSystem->modName);
  gSystem->defaultProfile = ReplaceString(gSystem->defaultProfile, "default");
  gSystem->gameState = kDefaultGameState;
  gSystem->startModeMask = 0;
  ReadRegisteredOwner();
  return 1;
}

int InitPlatformDefaults() {
  if (gSystem == nullptr) return 0;
  gSystem->audioFlags |= kAudioStarted;
  gSystem->usageBase = 0;
  InitD3DUsageFlags();
  gStartup.waveFormat = WaveFormat{.formatTag = 1, .channels = 2, .samplesPerSecond = 44100,
                                   .averageBytesPerSecond = 176400, .blockAlign = 4, .bitsPerSample = 16,
                                   .extraSize = 0};
  gStartup.speakerConfig = kSpeakerStereo;
  DropIdentifier(&gStartup.sound3DDevice);
  gSystem->modeFlags = 0;
  gStartup.modeIndex = 0;
  SetDefaultSettings();
  InitClock();
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Start-up

// The leading decimal number of a buffer that need not be terminated.
static bool ParseLeadingNumber(const char* text, uint32_t size, long* value) {
  uint32_t i = 0;
  while (i < size && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < size && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long number = 0;
  uint32_t digits = 0;
  for (; i < size && text[i] >= '0' && text[i] <= '9' && digits < 9; ++i, ++digits) number = number * 10 + (text[i] - '0');
  if (digits == 0) return false;
  *value = negative ? -number : number;
  return true;
}

static uint32_t LanguageNumber(long number) { return number == 1 ? kLanguageEnglish : uint32_t(number); }

static void ReadLanguageFile() {
  char* text = LoadGameFile("lang", "dat", false);
  if (text == nullptr) return;
  const uint32_t size = gLastReadSize;
  long number;
  if (ParseLeadingNumber(text, size, &number)) gSystem->language = LanguageNumber(number);
  MemFree(text, size, 0);
}

static bool LanguagePackPresent() {
  const CatalogEntry* entry = CatalogLookup(kLanguagePackName);
  if (entry != nullptr) return entry->size > 0;
  char* path = MakeFilePath(kLanguagePackName, false);
  if (path == nullptr) return false;
  FileStatInfo info;
  const bool present = FileStat(path, &info) && !info.isDirectory && info.size > 0;
  FreeString(path);
  return present;
}

enum class Switch {
  Sound, Music, Language, Height, Width, Depth, HiColour, TrueColour, Three, Window, Fullscreen, Double,
  NoMipMap, MipMap, Ramp, Rgb, FontScale, GenerateRdf, ConvertBodies, DumpUsedBodies, Managed, Output,
  WorkDir, KeepFlag20, IgnoreJoystick,
};

struct SwitchRow {
  const char* word;
  Switch which;
  bool takesValue;
  bool display;  // hidden for products that hide the display switches
};

static const SwitchRow kSwitches[] = {
    {"-s", Switch::Sound, false, false},
    {"-m", Switch::Music, false, false},
    {"-language", Switch::Language, true, false},
    {"-y", Switch::Height, true, true},
    {"-x", Switch::Width, true, true},
    {"-z", Switch::Depth, true, true},
    {"-hicol", Switch::HiColour, false, true},
    {"-truecol", Switch::TrueColour, false, true},
    {"-3", Switch::Three, false, true},
    {"-window", Switch::Window, false, true},
    {"-fullscreen", Switch::Fullscreen, false, true},
    {"-double", Switch::Double, false, true},
    {"-mipmap", Switch::NoMipMap, false, true},
    {"+mipmap", Switch::MipMap, false, true},
    {"-ramp", Switch::Ramp, false, true},
    {"-rgb", Switch::Rgb, false, true},
    {"-fontscale", Switch::FontScale, true, true},
    {"-generaterdf", Switch::GenerateRdf, false, true},
    {"-convertbodies", Switch::ConvertBodies, false, true},
    {"-dumpusedbodies", Switch::DumpUsedBodies, false, true},
    {"-managed", Switch::Managed, false, true},
    {"-o", Switch::Output, true, false},
    {"-w", Switch::WorkDir, true, false},
    {"+r", Switch::KeepFlag20, false, false},
    {"-ignorejoy", Switch::IgnoreJoystick, true, false},
};

// Writes the start banner of "-o"; false when FILE cannot be created.
static bool WriteStartBanner(const char* fileName, int argc, char** argv) {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, fileName, "wb", false)) return false;
  std::string text;
  FormatStdString(&text, " * Ausgabe\n * Version: %s, %s\n * Aufruf: %s", kBuildDate, kBuildTime, argv[0]);
  for (int i = 1; i < argc; ++i) {
    text += ' ';
    text += argv[i] != nullptr ? argv[i] : "";
  }
  text += "\n *\n";
  FileWriteBytes(&file, text.data(), text.size());
  FileClose(&file);
  return true;
}

static void ApplySwitch(const SwitchRow& row, const char* word, const char* value, int argc, char** argv) {
  SystemBlock* s = gSystem;
  const int number = value != nullptr ? std::atoi(value) : 0;
  switch (row.which) {
    case Switch::Sound:
      s->audioFlags = (s->audioFlags & ~kAudioEffectsOn) | kAudioEffectsOff;
      std::fputs("Sound effects disabled\n", stdout);
      break;
    case Switch::Music:
      s->audioFlags = (s->audioFlags & ~kAudioMusicOn) | kAudioMusicOff;
      std::fputs("Music disabled\n", stdout);
      break;
    case Switch::Language: s->language = LanguageNumber(number); break;
    case Switch::Height:
    case Switch::Width: {
      // A size no screen can have is refused, naming the option; the size stays as it was.
      const bool width = row.which == Switch::Width;
      const int32_t side = int16_t(number);
      if (number != side || !IsPossibleScreenSize(width ? side : 1, width ? 1 : side)) {
        std::printf("Screen size refused: %s %s\n", word, value != nullptr ? value : "");
        break;
      }
      (width ? s->screenWidth : s->screenHeight) = int16_t(side);
      break;
    }
    case Switch::Depth: s->colourDepth = int16_t(number); break;
    case Switch::HiColour: s->colourDepth = 16; break;
    case Switch::TrueColour: s->colourDepth = 24; break;
    case Switch::Three: s->videoFlags |= kVideoThree; break;
    case Switch::Window: s->videoFlags |= kVideoWindowed; break;
    case Switch::Fullscreen: s->videoFlags &= ~kVideoWindowed; break;
    case Switch::Double: s->videoFlags |= kVideoDouble; break;
    case Switch::NoMipMap: s->d3dFlags &= ~kD3DMipMaps; break;
    case Switch::MipMap: s->d3dFlags |= kD3DMipMaps; break;
    case Switch::Ramp: s->videoFlags |= kVideoRamp; break;
    case Switch::Rgb: s->videoFlags &= ~kVideoRamp; break;
    case Switch::FontScale: s->fontScale = number; break;
    case Switch::GenerateRdf: s->modeFlags |= kModeGenerateRdf; break;
    case Switch::ConvertBodies: s->modeFlags |= kModeConvertBodies; break;
    case Switch::DumpUsedBodies: s->modeFlags |= kModeDumpUsedBodies; break;
    case Switch::Managed: s->d3dFlags2 |= kD3D2Managed; break;
    case Switch::Output:
      // The closing message names the option word that failed.
      if (!WriteStartBanner(value, argc, argv)) {
        SetFailureDetail(word);
        ShutdownAndExit(kShutdownFileNotFound);
      }
      s->outputFileName = ReplaceString(s->outputFileName, value);
      if (s->outputFileName == nullptr) {
        std::fputs("OOM: InitGeneral\n", stdout);
        SetFailureDetail(word);
        ShutdownAndExit(kShutdownOutOfMemory);
      }
      break;
    case Switch::WorkDir: SetCurrentDir(value); break;
    case Switch::KeepFlag20: s->fileFlags &= ~kFileFlag20; break;
    case Switch::IgnoreJoystick:
      if (number >= 1 && number <= kIgnoredJoystickCount) gIgnoredJoysticks[number - 1] = 1;
      break;
  }
}

static void ParseSwitches(int argc, char** argv) {
  const uint32_t productFlags = gSystem->product->flags;
  const bool hideDisplay =
      (productFlags & kProductHidesDisplayOptions) != 0 && (productFlags & kProductShowsDisplayOptions) == 0;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (word == nullptr) break;
    for (const SwitchRow& row : kSwitches) {
      if (!TextEqualsIgnoringCase(word, row.word)) continue;
      if (row.display && hideDisplay) break;
      // A value switch as the last word has no value: it is ignored. The value word itself is
      // tested as a switch on the next round.
      if (row.takesValue && (i + 1 >= argc || argv[i + 1] == nullptr)) break;
      ApplySwitch(row, word, row.takesValue ? argv[i + 1] : nullptr, argc, argv);
      break;
    }
  }
}

// Counts the numbered catalogs from 01 upward and mounts each; false when one fails.
static bool MountNumberedCatalogs() {
  SystemBlock* s = gSystem;
  s->fileFlags &= ~kFileCatalogsInUse;
  char name[32];
  int count = 0;
  for (int k = 1; k < INT16_MAX - 1; ++k) {
    std::snprintf(name, sizeof name, s->product->catalogTemplate, k);
    FileObject probe;
    FileObjectInit(&probe);
    const bool exists = FileOpenFromCatalog(&probe, name, "rb", false);
    FileClose(&probe);
    if (!exists) break;
    count = k;
  }
  const int slots = count + 1;
  s->catalogs = static_cast<Catalog**>(MemAlloc(size_t(slots) * sizeof(Catalog*), 0));
  if (s->catalogs == nullptr) return false;
  s->catalogSlots = int16_t(slots);
  for (int k = 1; k <= count; ++k) {
    std::snprintf(name, sizeof name, s->product->catalogTemplate, k);
    if (!MountCatalog(k - 1, name, true)) return false;
  }
  s->fileFlags |= kFileCatalogsInUse;
  return true;
}

SystemBlock* InitGeneral(int argc, char** argv) {
  GetPageSize();

  SystemBlock* block = static_cast<SystemBlock*>(MemAlloc(sizeof(SystemBlock), 0));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, sizeof *block);
  gSystem = block;

  block->lowerQualityFps = 10.0;
  block->upperQualityFps = 25.0;
  block->argumentCount = argc;
  block->argumentList = argv;
  block->fileFlags = kFileCatalogsInUse;
  block->product = &kProductRecord;
  block->videoFlags = 0;
  block->audioFlags = kAudioEffectsOn | kAudioMusicOn;
  block->inputFlags = 0;
  block->sound3DCount = 6;
  block->soundChannelCount = kSoundSlotCount;
  block->language = kLanguageEnglish;
  block->languagePack = 0;
  block->fontScale = 1;
  block->captureFolder = DuplicateString(kProductRecord.captureFolder);

  ReadLanguageFile();
  if (LanguagePackPresent()) block->languagePack = 1;

  block->fileFlags |= kFileFlag20;
  if (!InitPlatformDefaults()) {
    ReleaseBlock(block);
    return nullptr;
  }

  block->scriptFlags = 0;
  ParseSwitches(argc, argv);

  GameSrand(CurrentTimeSeconds());
  InitMathTables();

  if (block->fileFlags & kFileCatalogsInUse) {
    if (!MountNumberedCatalogs()) {
      ReleaseBlock(block);
      return nullptr;
    }
  }

  block->timeScale = kFixedOne;
  block->secondTimeScale = kFixedOne;
  block->qualityLevel = 50;
  // Nothing else ever sets the drawing options, so a game that left the lens-flare bit clear
  // would never show a flare: they start switched on.
  block->textureOptions = kTextureOptionLensFlares;
  return block;
}

// ---------------------------------------------------------------------------------------------
// Text helpers

char* Utf16ToUtf8(const uint16_t* text) {
  if (text == nullptr) return nullptr;
  size_t units = 0;
  while (text[units] != 0) ++units;
  const size_t room = units * 3 + 1;
  char* wide = static_cast<char*>(MemAlloc(room, 0));
  if (wide == nullptr) return nullptr;
  char* out = wide;
  for (size_t i = 0; i < units; ++i) out = Utf8EncodeChar(out, text[i]);
  *out = '\0';
  char* exact = DuplicateString(wide);
  MemFree(wide, room, 0);
  return exact;
}

char* FormatNewString(char* oldText, const char* format, va_list arguments) {
  if (format == nullptr) return FreeString(oldText);
  va_list measure;
  va_copy(measure, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) return FreeString(oldText);
  const size_t size = size_t(length) + 1;
  char* text = static_cast<char*>(MemAlloc(size, 0));
  if (text != nullptr) {
    std::vsnprintf(text, size, format, arguments);
    if (std::strlen(text) + 1 != size) {
      // A NUL inside the output: keep a buffer whose size matches its text, as FreeString expects.
      char* exact = DuplicateString(text);
      MemFree(text, size, 0);
      text = exact;
    }
  }
  FreeString(oldText);
  return text;
}

char* SetStringF(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char* text = FormatNewString(nullptr, format, arguments);
  va_end(arguments);
  return text;
}

void FormatStdString(std::string* result, const char* format, ...) {
  if (result == nullptr || format == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  va_list measure;
  va_copy(measure, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) {
    result->clear();
  } else {
    result->assign(size_t(length) + 1, '\0');
    std::vsnprintf(result->data(), result->size(), format, arguments);
    result->resize(std::strlen(result->c_str()));
  }
  va_end(arguments);
}

// ---------------------------------------------------------------------------------------------
// Frame times and memory speed

static uint32_t gLastGameSample = 0;
static uint32_t gLastRealSample = 0;

static uint32_t ClampStep(uint32_t step) { return (int32_t(step) < 1 || step > 32767) ? 1 : step; }

void UpdateFrameTimes() {
  if (gSystem == nullptr) return;
  GetMilliseconds();
  gSystem->frameStep = ClampStep(gSystem->gameTime - gLastGameSample);
  gSystem->realFrameStep = ClampStep(gSystem->realTime - gLastRealSample);
  gLastGameSample = gSystem->gameTime;
  gLastRealSample = gSystem->realTime;
  UpdateFrameRate();
}

void RestartFrameTimes() {
  if (gSystem == nullptr) return;
  gLastGameSample = gSystem->gameTime;
  gLastRealSample = gSystem->realTime;
}

int32_t MeasureMemorySpeed() {
  constexpr size_t kScratchSize = 1040;
  constexpr size_t kFillSize = 1024;
  if (gSystem == nullptr) return 0;
  unsigned char* scratch = static_cast<unsigned char*>(MemAlloc(kScratchSize, 0));
  if (scratch == nullptr) return 0;
  GetMilliseconds();
  const uint32_t start = gSystem->gameTime;
  for (int pass = 0; pass < 1024; ++pass) std::memset(scratch, pass, kFillSize);
  GetMilliseconds();
  const uint32_t elapsed = ClampStep(gSystem->gameTime - start);
  MemFree(scratch, kScratchSize, 0);
  return int32_t(5000 / elapsed);
}
