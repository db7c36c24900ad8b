// The SystemBlock: the one global record of settings and run-time state that every subsystem
// reads through gSystem, and the ProductRecord naming the product's folders and file templates.
// InitGeneral (app/general_init.cpp) creates the block; this header only declares it so the
// lowest services (files, catalogs, clocks) can read it without depending on the application.
#pragma once

#include <cstdint>

struct Catalog;
struct FileObject;

// SystemBlock flag bits that several subsystems share.
constexpr uint32_t kVideoDouble = 0x20;
constexpr uint32_t kVideoThree = 0x2000000;
constexpr uint32_t kVideoRamp = 0x4000000;
constexpr uint32_t kVideoWindowed = 0x8000000;

constexpr uint32_t kAudioEffectsOn = 0x1;
constexpr uint32_t kAudioMusicOn = 0x2;
constexpr uint32_t kAudioEffectsOff = 0x4;
constexpr uint32_t kAudioMusicOff = 0x8;
constexpr uint32_t kAudioStarted = 0x100;

constexpr uint32_t kFileCatalogsInUse = 0x1;
constexpr uint32_t kFileFlag20 = 0x20;

constexpr uint32_t kModeSettingsLoaded = 0x4;
constexpr uint32_t kModeResetSettings = 0x8;
constexpr uint32_t kModeBenchmark = 0x10;
constexpr uint32_t kModeLauncher20 = 0x20;
constexpr uint32_t kModeSettingsSaved = 0x40;
constexpr uint32_t kModeProfi = 0x200;
constexpr uint32_t kModeGenerateRdf = 0x400;
constexpr uint32_t kModeConvertBodies = 0x800;
constexpr uint32_t kModeDumpUsedBodies = 0x1000;
constexpr uint32_t kModeOpeningFiles = 0x4000;

constexpr uint32_t kD3DMipMaps = 0x2000000;
constexpr uint32_t kD3D2Managed = 0x8;

// SystemBlock::textureOptions bits.
constexpr uint32_t kTextureOptionMaterialRule = 0x4;  // clear: every drawn group's material gets 0x20000
constexpr uint32_t kTextureOptionLensFlares = 0x8000;
constexpr uint32_t kTextureOptionDetail = 0x800000;  // small instances choose their level by detail

struct ProductRecord {
  const char* folderName;         // "VexaNL", also the settings key
  uint32_t flags;                 // 0x0C
  uint16_t number100, number400;
  uint32_t word200000;
  const char* baseTemplate;       // "%s"
  const char* objectsTemplate;    // "objects\%s"
  const char* languageTemplate;   // "L\%s"
  const char* languageTemplate2;  // "L\%s"
  const char* soundTemplate;      // "S\%03d"
  const char* saveFolder;         // "save"
  const char* saveTemplate;       // "save\Ulnar%02d.sav"
  const char* catalogTemplate;    // "%02d.cat"
  const char* catalogTemplate2;   // "%02d.cat"
  const char* fontTemplate;       // "F\%s"
  const char* modCatalogTemplate; // "mods\%s.cat"
  const char* textTemplate;       // "T\%d.txt"
  const char* textIdTemplate;     // "T\%06d"
  const char* texTemplate;        // "tex\%s"
  const char* texturesTemplate;   // "textures\%s"
  const char* ddsTemplate;        // "dds\%s"
  const char* captureFolder;      // "screenshots"
  const char* shortName;          // "Vexa"
  const char* movieTemplate;      // "mov\%s"
  uint32_t number3FF;
  const char* objectsTemplate2;   // "objects\%s"
  uint32_t number2, number5;
  const char* serverLinkTemplate;
  const char* typeTextTemplate;   // "types\%s.txt"
  const char* typePackedTemplate; // "types\%s.pck"
  const char* textSaveTemplate;   // "nl\%s.txc"
  const char* recordTemplate;     // "rc\%05d_%02d.rac"
  const char* voiceTemplate;      // "vc\%s"
};
extern const ProductRecord kProductRecord;

struct SystemBlock {
  uint32_t videoFlags;
  uint32_t audioFlags;
  uint32_t inputFlags;
  int16_t screenWidth;
  int16_t screenHeight;
  int16_t colourDepth;
  uint32_t processorFeatureLevel;
  char* processorText;
  char* graphicsCardText;
  char* directXVersionText;
  char* operatingSystemText;
  char versionText[14];
  int32_t physicalMemoryMB;
  float processorSpeed;
  int32_t displayMemoryMB;
  int32_t argumentCount;
  char** argumentList;
  uint32_t fileFlags;
  Catalog** catalogs;
  int16_t foundCatalog;
  int16_t catalogSlots;
  int16_t memorySpeed;
  uint32_t timeScale;        // 16.16
  uint32_t secondTimeScale;  // 16.16
  uint32_t scriptFlags;
  const ProductRecord* product;
  char* outputFileName;
  uint32_t usageBase;
  uint32_t usageWords[6];
  uint32_t d3dFlags;
  uint32_t d3dFlags2;
  uint32_t fullscreenGamma;
  uint32_t modeFlags;
  uint32_t systemFlags;  // kept for the scripts (P_GetSysFlags); nothing in the engine reads it
  char screenDebugLines[6][256];
  uint32_t screenshotNumber;
  uint32_t frameStep;
  uint32_t gameTime;
  uint32_t realFrameStep;
  uint32_t realTime;
  uint32_t frameCounter;
  uint32_t averageFrameRate;
  uint32_t frameRate;
  uint32_t sound3DCount;
  int16_t soundChannelCount;  // sound effect channels, at most 32
  double lowerQualityFps;
  double upperQualityFps;
  uint32_t qualityLevel;
  uint32_t textureQuality;
  uint32_t qualityReduction;
  uint32_t shaderQuality;
  uint32_t antialiasMode;
  uint32_t filterMode;
  uint32_t deviceCaps[2];
  uint32_t language;
  uint8_t languagePack;
  uint32_t musicVolume;
  uint32_t effectsVolume;
  uint32_t voiceVolume;
  uint32_t masterVolume;
  int32_t fontScale;
  uint32_t inputModeMask;
  char* captureFolder;
  char* registeredOwner;
  uint32_t gameState;
  uint32_t launcherWord;
  char* modName;
  char* defaultProfile;
  uint32_t startModeMask;
  int32_t keepLinkedPartsVisible;  // scene option: parts found for a body's bones stay visible
  // Written by the renderer's device creation.
  float shaderQualityFactor;
  char shaderVersionText[4];  // "1.1", "1.4", "2.0", "2.a", "2.b" or "3.0"
  int32_t vertexSize;         // bytes of the active bump vertex
  // Screen statistics: kScreenShowStats, kScreenNoPresent and kScreenAqcStats (render/screen_update.h),
  // and the status text the frame and quality statistics lines are appended to.
  uint8_t screenModeFlags;
  char statusText[256];
  // The scene engine's drawing options: kTextureOption* bits, the detail setting (0..100) and the
  // scale of the bodies' level switch sizes.
  uint32_t textureOptions;
  int32_t detailSetting;
  float detailScale;
};
extern SystemBlock* gSystem;
