// The graphics, controller, capture folder and mod package dialogs: their resources, procedures
// and list fillers, and the logo picture lookup. They change the settings in memory only; the
// launcher's start writes them. Called by the launcher's Run*Dialog functions and the renderer.
// Never indexes an adapter or mode list with a selection the list does not hold.
#include "app/settings_dialogs.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/entry.h"
#include "app/general_init.h"
#include "app/launcher.h"
#include "app/settings.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"
#include "platform/joystick_list.h"
#include "render/display_modes.h"
#include "render/render.h"
#include "script/text_database.h"

namespace {

// ---- Resources ----------------------------------------------------------------------------------

const DialogControlTemplate kGraphicsControls[] = {
    {kGfxDeviceFrame, kDialogGroupBox, 0, 7, 7, 158, 102, "Device and resolution", 0},
    {kGfxAdapterLabel, kDialogStatic, 0, 14, 20, 140, 10, "Device", 0},
    {kGfxAdapterList, kDialogDropDownList, 0, 14, 31, 144, 100, nullptr, 0},
    {kGfxResolutionLabel, kDialogStatic, 0, 14, 48, 140, 10, "Resolution", 0},
    {kGfxResolutionList, kDialogDropDownList, 0, 14, 59, 144, 100, nullptr, 0},
    {kGfxFullscreen, kDialogRadioButton, 0, 14, 80, 70, 10, "Full screen", 0},
    {kGfxWindowed, kDialogRadioButton, 0, 88, 80, 70, 10, "Windowed", 0},
    {kGfxQualityFrame, kDialogGroupBox, 0, 172, 7, 152, 102, "Quality", 0},
    {kGfxTextureLabel, kDialogStatic, 0, 179, 20, 60, 10, "Textures", 0},
    {kGfxTextureList, kDialogDropDownList, 0, 240, 18, 77, 60, nullptr, 0},
    {kGfxShaderLabel, kDialogStatic, 0, 179, 37, 60, 10, "Shaders", 0},
    {kGfxShaderList, kDialogDropDownList, 0, 240, 35, 77, 60, nullptr, 0},
    {kGfxDynamicLights, kDialogCheckBox, 0, 179, 56, 138, 10, "Dynamic lights", 0},
    {kGfxShipColours, kDialogCheckBox, 0, 179, 70, 138, 10, "Ship colour variations", 0},
    {kGfxAutoQuality, kDialogCheckBox, 0, 179, 84, 138, 10, "Automatic quality control", 0},
    {kGfxEffectsFrame, kDialogGroupBox, 0, 7, 113, 158, 62, "Effects", 0},
    {kGfxAntialias, kDialogCheckBox, 0, 14, 126, 70, 10, "Antialiasing", 0},
    {kGfxAntialiasList, kDialogDropDownList, 0, 88, 124, 70, 60, nullptr, 0},
    {kGfxAnisotropic, kDialogCheckBox, 0, 14, 143, 70, 10, "Anisotropic", 0},
    {kGfxFilterList, kDialogDropDownList, 0, 88, 141, 70, 60, nullptr, 0},
    {kGfxGlow, kDialogCheckBox, 0, 14, 160, 140, 10, "Glow filter", 0},
    {kGfxTroubleFrame, kDialogGroupBox, 0, 172, 113, 152, 62, "Troubleshooting", 0},
    {kGfxNoVertexOptimisation, kDialogCheckBox, 0, 179, 127, 138, 10, "Disable vertex size optimisations", 0},
    {kGfxNoCodecControl, kDialogCheckBox, 0, 179, 145, 138, 10, "Disable manual codec control", 0},
    {kGfxReset, kDialogPushButton, 0, 7, 181, 70, 14, "Reset to default", 0},
    {kGfxOk, kDialogDefaultButton, 0, 200, 181, 60, 14, "OK", 0},
    {kGfxCancel, kDialogPushButton, 0, 264, 181, 60, 14, "Cancel", 0},
};

// The graphics controls that take the database text of their own id.
const int32_t kGraphicsTextControls[] = {
    kGfxDeviceFrame,  kGfxAdapterLabel,         kGfxResolutionLabel, kGfxFullscreen,    kGfxWindowed,
    kGfxQualityFrame, kGfxTextureLabel,         kGfxShaderLabel,     kGfxDynamicLights, kGfxShipColours,
    kGfxAutoQuality,  kGfxEffectsFrame,         kGfxAntialias,       kGfxAnisotropic,   kGfxGlow,
    kGfxTroubleFrame, kGfxNoVertexOptimisation, kGfxNoCodecControl,  kGfxReset,         kGfxOk,
    kGfxCancel,
};

const DialogControlTemplate kControllerControls[] = {
    {kCtlFrame, kDialogGroupBox, 0, 7, 7, 247, 68, "Controller", 0},
    {kCtlJoystickList, kDialogDropDownList, 0, 14, 19, 140, 80, nullptr, 0},
    {kCtlForceFeedbackLabel, kDialogStatic, 0, 162, 19, 85, 10, "Force feedback", 0},
    {kCtlForceFeedbackList, kDialogDropDownList, 0, 162, 31, 85, 60, nullptr, 0},
    {kCtlThrottle, kDialogCheckBox, 0, 14, 38, 140, 10, "Use the throttle", 0},
    {kCtlRudder, kDialogCheckBox, 0, 14, 50, 140, 10, "Use the rudder", 0},
    {kCtlPovHat, kDialogCheckBox, 0, 14, 62, 140, 10, "Look around with the POV hat", 0},
    {kCtlJoypad, kDialogCheckBox, 0, 162, 50, 85, 10, "Joypad", 0},
    {kDialogIdOk, kDialogDefaultButton, 0, 140, 80, 55, 14, "OK", 0},
    {kDialogIdCancel, kDialogPushButton, 0, 199, 80, 55, 14, "Cancel", 0},
};

const int32_t kControllerTextControls[] = {
    kCtlFrame, kCtlForceFeedbackLabel, kCtlThrottle, kCtlRudder, kCtlPovHat, kCtlJoypad, kDialogIdOk, kDialogIdCancel,
};

const DialogControlTemplate kCaptureControls[] = {
    {kCaptureLabel, kDialogStatic, 0, 7, 7, 172, 10, "Screenshot folder", 0},
    {kCaptureEdit, kDialogEdit, 0, 7, 20, 172, 13, nullptr, 0},
    {kDialogIdOk, kDialogDefaultButton, 0, 70, 41, 52, 14, "OK", 0},
    {kDialogIdCancel, kDialogPushButton, 0, 127, 41, 52, 14, "Cancel", 0},
};

const DialogControlTemplate kModControls[] = {
    {kModList, kDialogListBox, kDialogStyleSorted, 7, 7, 251, 155, nullptr, 0},
    {kModNone, kDialogPushButton, 0, 7, 171, 70, 14, "No mod", 0},
    {kDialogIdOk, kDialogDefaultButton, 0, 140, 171, 55, 14, "OK", 0},
    {kDialogIdCancel, kDialogPushButton, 0, 203, 171, 55, 14, "Cancel", 0},
};

template <size_t N>
constexpr int32_t CountOf(const DialogControlTemplate (&)[N]) {
  return static_cast<int32_t>(N);
}

// ---- Shared helpers -----------------------------------------------------------------------------

constexpr int32_t kQualityEntries = 3;
constexpr int32_t kQualityTextBase = 10000;
constexpr int32_t kAntialiasTextBase = 11000;
constexpr int32_t kFilterTextBase = 12000;
constexpr int32_t kThirdEntry = 2;

// Capture folder messages: the question for a missing folder, the creation error.
constexpr int32_t kCaptureAskText = 10000;
constexpr int32_t kCaptureAskCaption = 10001;
constexpr int32_t kCaptureErrorText = 10010;
constexpr int32_t kCaptureErrorCaption = 10011;

const char* const kLogoPictures[] = {
    "images\\logo01.jpg", "images\\logo02.jpg", "images\\logo03.jpg",
    "images\\logo04.jpg", "images\\logo05.jpg", nullptr,
};
constexpr int32_t kLogoPictureCount = 5;

void SetFlag(uint32_t* word, uint32_t bit, bool set) {
  if (set) {
    *word |= bit;
  } else {
    *word &= ~bit;
  }
}

void SetTexts(DialogWindow* window, int32_t page, const int32_t* ids, size_t count, int32_t caption) {
  for (size_t i = 0; i < count; ++i) SetDialogItemFromDatabase(window, page, ids[i]);
  DialogSetCaption(window, DialogDatabaseText(page, caption));
}

// ---- Graphics settings ----------------------------------------------------------------------

const DisplayAdapterInfo* SelectedAdapter(const DialogWindow* window) {
  return GetDisplayAdapter(gDirect3D, DialogListSelection(window, kGfxAdapterList));
}

void ModeList(const DialogWindow* window, const DisplayAdapterInfo* adapter, const DisplayModeInfo** modes,
              int32_t* count) {
  if (DialogIsItemChecked(window, kGfxWindowed)) {
    *modes = adapter->windowedModes;
    *count = adapter->windowedModes ? adapter->windowedModeCount : 0;
  } else {
    *modes = adapter->fullscreenModes;
    *count = adapter->fullscreenModes ? adapter->fullscreenModeCount : 0;
  }
  if (*count < 0) *count = 0;
}

void FillQualityList(DialogWindow* window, int32_t id, uint32_t stored) {
  DialogListReset(window, id);
  for (int32_t i = 0; i < kQualityEntries; ++i)
    DialogListAdd(window, id, DialogDatabaseText(kGraphicsTextPage, kQualityTextBase + i));
  DialogListSelect(window, id,
                   stored <= static_cast<uint32_t>(kThirdEntry) ? static_cast<int32_t>(stored) : kThirdEntry);
}

// Dynamic lights, ship colour variations and the glow filter need the third shader quality.
void ApplyShaderRule(DialogWindow* window) {
  bool enabled = DialogListSelection(window, kGfxShaderList) == kThirdEntry;
  uint32_t flags2 = gSystem->d3dFlags2;
  for (int32_t id : {kGfxDynamicLights, kGfxShipColours, kGfxGlow}) DialogEnableItem(window, id, enabled);
  DialogCheckItem(window, kGfxDynamicLights, enabled && !(flags2 & kD3D2NoDynamicLights));
  DialogCheckItem(window, kGfxShipColours, enabled && !(flags2 & kD3D2NoShipColours));
  DialogCheckItem(window, kGfxGlow, enabled && (flags2 & kD3D2Glow));
}

void ShowWindowedChoice(DialogWindow* window, bool enableAntialias) {
  if (gSystem->videoFlags & kVideoWindowed) {
    DialogCheckItem(window, kGfxWindowed, true);
    DialogCheckItem(window, kGfxFullscreen, false);
    DialogCheckItem(window, kGfxAntialias, false);
    DialogEnableItem(window, kGfxAntialias, false);
    DialogEnableItem(window, kGfxAntialiasList, false);
  } else {
    DialogCheckItem(window, kGfxFullscreen, true);
    DialogCheckItem(window, kGfxWindowed, false);
    if (enableAntialias) DialogEnableItem(window, kGfxAntialias, true);
    bool antialias = gSystem->d3dFlags & kD3DAntialias;
    DialogCheckItem(window, kGfxAntialias, antialias);
    DialogEnableItem(window, kGfxAntialiasList, antialias);
  }
}

void InitGraphics(DialogWindow* window) {
  if (!SelectDisplayMode()) {
    SetDefaultVideoSettings();
    SelectDisplayMode();
  }
  ShowWindowedChoice(window, false);
  DialogCheckItem(window, kGfxAutoQuality, gSystem->d3dFlags & kD3DAutoQuality);
  bool anisotropic = gSystem->d3dFlags2 & kD3D2Anisotropic;
  DialogCheckItem(window, kGfxAnisotropic, anisotropic);
  DialogEnableItem(window, kGfxFilterList, anisotropic);
  FillTextureQualityList(window);
  FillShaderQualityList(window);
  ApplyShaderRule(window);
  DialogCheckItem(window, kGfxNoVertexOptimisation, gSystem->d3dFlags2 & kD3D2NoVertexOptimisation);
  DialogCheckItem(window, kGfxNoCodecControl, gSystem->d3dFlags2 & kD3D2NoCodecControl);
  FillDeviceList(window);
  if (DialogListSelection(window, kGfxAdapterList) >= 0) FillResolutionList(window);
  FillAntialiasList(window);
  FillAnisotropyList(window);
  SetTexts(window, kGraphicsTextPage, kGraphicsTextControls,
           sizeof kGraphicsTextControls / sizeof kGraphicsTextControls[0], kGraphicsDialogId);
}

void ResetGraphics(DialogWindow* window) {
  SetDefaultVideoSettings();
  SelectDisplayMode();
  ShowWindowedChoice(window, true);
  DialogCheckItem(window, kGfxAutoQuality, gSystem->d3dFlags & kD3DAutoQuality);
  FillTextureQualityList(window);
  FillShaderQualityList(window);
  ApplyShaderRule(window);
  DialogCheckItem(window, kGfxNoVertexOptimisation, gSystem->d3dFlags2 & kD3D2NoVertexOptimisation);
  DialogCheckItem(window, kGfxNoCodecControl, gSystem->d3dFlags2 & kD3D2NoCodecControl);
  FillDeviceList(window);
  FillResolutionList(window);
  const DisplayAdapterInfo* adapter = SelectedAdapter(window);
  bool anisotropic =
      adapter && (adapter->capabilityFlags & kAdapterCapsAnisotropic) && (gSystem->d3dFlags2 & kD3D2Anisotropic);
  DialogCheckItem(window, kGfxAnisotropic, anisotropic);
  DialogEnableItem(window, kGfxFilterList, anisotropic);
  if (!anisotropic) gSystem->d3dFlags2 &= ~kD3D2Anisotropic;
  FillAntialiasList(window);
  FillAnisotropyList(window);
}

void AcceptGraphics(DialogWindow* window) {
  int32_t adapterIndex = DialogListSelection(window, kGfxAdapterList);
  const DisplayAdapterInfo* adapter = GetDisplayAdapter(gDirect3D, adapterIndex);
  // Without an adapter or a mode the stored ones stay: a selection of none indexes nothing.
  if (adapter) {
    gStartup.adapterOrdinal = adapterIndex;
    gStartup.adapterName = ReplaceString(gStartup.adapterName, adapter->description);
  }
  int32_t modeIndex = DialogListSelection(window, kGfxResolutionList);
  gSystem->textureQuality = static_cast<uint32_t>(DialogListSelection(window, kGfxTextureList));
  gSystem->shaderQuality = static_cast<uint32_t>(DialogListSelection(window, kGfxShaderList));
  int32_t antialias = DialogListSelection(window, kGfxAntialiasList);
  if (antialias >= 0) gSystem->antialiasMode = static_cast<uint32_t>(antialias);
  int32_t filter = DialogListSelection(window, kGfxFilterList);
  if (filter >= 0) gSystem->filterMode = static_cast<uint32_t>(filter);
  SetFlag(&gSystem->videoFlags, kVideoWindowed, DialogIsItemChecked(window, kGfxWindowed));

  if (adapter && modeIndex >= 0) {
    const DisplayModeInfo* modes = nullptr;
    int32_t count = 0;
    ModeList(window, adapter, &modes, &count);
    if (modeIndex < count) {
      const DisplayModeInfo& mode = modes[modeIndex];
      gStartup.modeIndex = static_cast<uint32_t>(modeIndex);
      gSystem->screenWidth = static_cast<int16_t>(mode.width);
      gSystem->screenHeight = static_cast<int16_t>(mode.height);
      gSystem->colourDepth = static_cast<int16_t>(FormatBitsPerPixel(mode.format));
      gStartup.displayFormat = mode.format;
    }
  }

  SetFlag(&gSystem->d3dFlags, kD3DAutoQuality, DialogIsItemChecked(window, kGfxAutoQuality));
  SetFlag(&gSystem->d3dFlags, kD3DAntialias, DialogIsItemChecked(window, kGfxAntialias));
  SetFlag(&gSystem->d3dFlags2, kD3D2Anisotropic, DialogIsItemChecked(window, kGfxAnisotropic));
  SetFlag(&gSystem->d3dFlags2, kD3D2Glow, DialogIsItemChecked(window, kGfxGlow));
  SetFlag(&gSystem->d3dFlags2, kD3D2NoShipColours, !DialogIsItemChecked(window, kGfxShipColours));
  SetFlag(&gSystem->d3dFlags2, kD3D2NoDynamicLights, !DialogIsItemChecked(window, kGfxDynamicLights));
  SetFlag(&gSystem->d3dFlags2, kD3D2NoVertexOptimisation, DialogIsItemChecked(window, kGfxNoVertexOptimisation));
  SetFlag(&gSystem->d3dFlags2, kD3D2NoCodecControl, DialogIsItemChecked(window, kGfxNoCodecControl));
  DialogEnd(window, 1);
}

void GraphicsCommand(DialogWindow* window, int32_t id, uint32_t notification) {
  switch (id) {
    case kGfxAdapterList:
      if (notification == kDialogNotifySelChange) FillResolutionList(window);
      return;
    case kGfxShaderList:
      if (notification == kDialogNotifySelChange) ApplyShaderRule(window);
      return;
    case kGfxWindowed:
      FillDeviceList(window);
      FillResolutionList(window);
      DialogCheckItem(window, kGfxAntialias, false);
      DialogEnableItem(window, kGfxAntialias, false);
      DialogEnableItem(window, kGfxAntialiasList, false);
      return;
    case kGfxFullscreen: {
      FillDeviceList(window);
      FillResolutionList(window);
      DialogEnableItem(window, kGfxAntialias, true);
      bool antialias = gSystem->d3dFlags & kD3DAntialias;
      DialogCheckItem(window, kGfxAntialias, antialias);
      DialogEnableItem(window, kGfxAntialiasList, antialias);
      return;
    }
    case kGfxAntialias:
      DialogEnableItem(window, kGfxAntialiasList, DialogIsItemChecked(window, kGfxAntialias));
      return;
    case kGfxAnisotropic:
      DialogEnableItem(window, kGfxFilterList, DialogIsItemChecked(window, kGfxAnisotropic));
      return;
    case kGfxReset:
      ResetGraphics(window);
      return;
    case kGfxOk:
      AcceptGraphics(window);
      return;
    case kGfxCancel:
      DialogEnd(window, 0);
      return;
    default:
      return;
  }
}

// ---- Controller -------------------------------------------------------------------------------

constexpr size_t kIdentifierSize = kJoystickIdentifierSize;

struct ForceFeedbackEntry {
  int32_t text;
  int32_t value;
};
constexpr ForceFeedbackEntry kForceFeedback[] = {{10000, 1}, {10001, 2}, {10002, 3}};

bool SameIdentifier(intptr_t data, const uint8_t* identifier) {
  return data != 0 && data != kDialogListError && identifier &&
         std::memcmp(reinterpret_cast<const uint8_t*>(data), identifier, kIdentifierSize) == 0;
}

// The identifier copies the joystick entries hold, freed when the dialog ends either way.
void FreeJoystickCopies(DialogWindow* window) {
  int32_t count = DialogListCount(window, kCtlJoystickList);
  for (int32_t i = 0; i < count; ++i) {
    intptr_t data = DialogListData(window, kCtlJoystickList, i);
    if (data != 0 && data != kDialogListError) MemFree(reinterpret_cast<void*>(data), kIdentifierSize, 0);
    DialogListSetData(window, kCtlJoystickList, i, 0);
  }
}

void InitController(DialogWindow* window) {
  bool found = false;
  if (!EnumerateJoysticks(AddJoystickToList, window)) {
    DialogEnableItem(window, kCtlJoystickList, false);
    DialogEnableItem(window, kCtlForceFeedbackList, false);
  } else {
    DialogEnableItem(window, kCtlJoystickList, true);
    DialogEnableItem(window, kCtlForceFeedbackList, true);
    DialogListSelect(window, kCtlJoystickList, 0);
    if (gStartup.joystick) {
      int32_t count = DialogListCount(window, kCtlJoystickList);
      for (int32_t i = 0; i < count; ++i) {
        if (SameIdentifier(DialogListData(window, kCtlJoystickList, i), gStartup.joystick)) {
          DialogListSelect(window, kCtlJoystickList, i);
          found = true;
          break;
        }
      }
    }
    for (const ForceFeedbackEntry& entry : kForceFeedback) {
      int32_t index = DialogListAdd(window, kCtlForceFeedbackList, DialogDatabaseText(kControllerTextPage, entry.text));
      DialogListSetData(window, kCtlForceFeedbackList, index, entry.value);
    }
  }
  if (found) {
    DialogListSelect(window, kCtlForceFeedbackList,
                     FindComboItemByData(window, kCtlForceFeedbackList, gStartup.forceFeedbackGain));
    DialogCheckItem(window, kCtlThrottle, gSystem->inputFlags & kInputThrottle);
    DialogCheckItem(window, kCtlPovHat, gSystem->inputFlags & kInputPovHat);
    DialogCheckItem(window, kCtlRudder, gSystem->inputFlags & kInputRudder);
    DialogCheckItem(window, kCtlJoypad, gSystem->inputFlags & kInputJoypad);
  } else {
    SetControllerDefaults(window);
  }
  SetTexts(window, kControllerTextPage, kControllerTextControls,
           sizeof kControllerTextControls / sizeof kControllerTextControls[0], kControllerDialogId);
}

void AcceptController(DialogWindow* window) {
  if (gStartup.joystick) MemFree(gStartup.joystick, kIdentifierSize, 0);
  gStartup.joystick = nullptr;
  int32_t selected = DialogListSelection(window, kCtlJoystickList);
  intptr_t data = DialogListData(window, kCtlJoystickList, selected);
  if (selected >= 0 && data != 0 && data != kDialogListError) {
    auto* copy = static_cast<uint8_t*>(MemAlloc(kIdentifierSize, 0));
    if (copy) std::memcpy(copy, reinterpret_cast<const uint8_t*>(data), kIdentifierSize);
    gStartup.joystick = copy;
  }
  FreeJoystickCopies(window);
  // Without a force-feedback choice (no input system) the stored gain stays.
  int32_t feedback = DialogListSelection(window, kCtlForceFeedbackList);
  if (feedback >= 0)
    gStartup.forceFeedbackGain = static_cast<int32_t>(DialogListData(window, kCtlForceFeedbackList, feedback));
  SetFlag(&gSystem->inputFlags, kInputThrottle, DialogIsItemChecked(window, kCtlThrottle));
  SetFlag(&gSystem->inputFlags, kInputPovHat, DialogIsItemChecked(window, kCtlPovHat));
  SetFlag(&gSystem->inputFlags, kInputRudder, DialogIsItemChecked(window, kCtlRudder));
  SetFlag(&gSystem->inputFlags, kInputJoypad, DialogIsItemChecked(window, kCtlJoypad));
  DialogEnd(window, 1);
}

// ---- Capture folder ---------------------------------------------------------------------------

bool IsRelativeName(const char* name) {
  return !std::strchr(name, ':') && !std::strchr(name, '\\') && !std::strchr(name, '/');
}

void AcceptCaptureFolder(DialogWindow* window) {
  char name[kCaptureFolderMax + 1];
  DialogGetItemText(window, kCaptureEdit, name, static_cast<int32_t>(sizeof name));
  if (name[0] == '\0') {
    DialogEnd(window, 1);
    return;
  }
  bool relative = IsRelativeName(name);
  // A relative folder lives in the user data folder, so that is where it is looked for too.
  if (FileGetSize(name, relative) != -2) {
    uint32_t question = kMessageBoxYesNo | kMessageBoxIconExclamation;
    if (ShowDialogMessage(ReadText(kCaptureTextPage, kCaptureAskText), window,
                          ReadText(kCaptureTextPage, kCaptureAskCaption), question) != kDialogIdYes) {
      return;
    }
    if (!MakeDirectory(name, relative)) {
      ShowDialogMessage(ReadText(kCaptureTextPage, kCaptureErrorText), window,
                        ReadText(kCaptureTextPage, kCaptureErrorCaption), kMessageBoxIconHand);
      return;
    }
  }
  size_t length = std::strlen(name);
  if (length > 0 && (name[length - 1] == '/' || name[length - 1] == '\\')) name[length - 1] = '\0';
  gSystem->captureFolder = ReplaceString(gSystem->captureFolder, name);
  gSystem->screenshotNumber = 0;
  DialogEnd(window, 1);
}

// ---- Mod package ------------------------------------------------------------------------------

constexpr size_t kCatalogExtensionLength = 4;  // ".cat"

void InitModPackage(DialogWindow* window) {
  static const int32_t kModTextControls[] = {kDialogIdOk, kDialogIdCancel, kModNone};
  SetTexts(window, kModTextPage, kModTextControls, sizeof kModTextControls / sizeof kModTextControls[0], kModDialogId);
  DialogListReset(window, kModList);
  FileSearch* search = OpenFileSearch("*.cat", "mods", 0);
  if (search) {
    while (const char* found = NextFileSearch(search)) {
      if (search->data.attributes & kOsFindDirectory) continue;
      std::string entry(found);
      if (entry.size() < kCatalogExtensionLength) continue;
      entry.resize(entry.size() - kCatalogExtensionLength);
      DialogListAdd(window, kModList, entry.c_str());
    }
    CloseFileSearch(search);
  }
  if (gSystem->modName) DialogListSelect(window, kModList, DialogListFind(window, kModList, gSystem->modName));
}

void AcceptModPackage(DialogWindow* window) {
  gSystem->modName = FreeString(gSystem->modName);
  const char* entry = DialogListText(window, kModList, DialogListSelection(window, kModList));
  if (entry && *entry) gSystem->modName = DuplicateString(entry);
  DialogEnd(window, 1);
}

}  // namespace

const DialogTemplate kGraphicsSettingsTemplate = {
    kGraphicsDialogId, 331, 201, "Graphics Settings", kGraphicsControls, CountOf(kGraphicsControls)};
const DialogTemplate kControllerTemplate = {kControllerDialogId,         261, 100, "Input Device", kControllerControls,
                                            CountOf(kControllerControls)};
const DialogTemplate kCaptureFolderTemplate = {kCaptureDialogId,         186, 61, "Screenshot Folder", kCaptureControls,
                                               CountOf(kCaptureControls)};
const DialogTemplate kModPackageTemplate = {kModDialogId,         265,          192,
                                            "Select Mod Package", kModControls, CountOf(kModControls)};

intptr_t GraphicsSettingsDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t) {
  if (!gSystem) return 0;
  switch (message) {
    case kDialogMsgInit:
      InitGraphics(window);
      return 1;
    case kDialogMsgCommand:
      GraphicsCommand(window, static_cast<int32_t>(DialogCommandId(wParam)), DialogCommandNotify(wParam));
      return 1;
    case kDialogMsgActivateApp:
      return OnDialogActivate(window, wParam != 0);
    default:
      return 0;
  }
}

intptr_t ControllerDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t) {
  if (!gSystem) return 0;
  switch (message) {
    case kDialogMsgInit:
      InitController(window);
      return 1;
    case kDialogMsgCommand:
      switch (static_cast<int32_t>(DialogCommandId(wParam))) {
        case kCtlJoystickList:
          if (DialogCommandNotify(wParam) == kDialogNotifySelChange) SetControllerDefaults(window);
          return 1;
        case kDialogIdOk:
          AcceptController(window);
          return 1;
        case kDialogIdCancel:
          FreeJoystickCopies(window);
          DialogEnd(window, 0);
          return 1;
        default:
          return 0;
      }
    case kDialogMsgActivateApp:
      return OnDialogActivate(window, wParam != 0);
    default:
      return 0;
  }
}

intptr_t CaptureFolderDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t) {
  if (!gSystem) return 0;
  switch (message) {
    case kDialogMsgInit: {
      DialogSetItemText(window, kCaptureEdit, gSystem->captureFolder ? gSystem->captureFolder : "");
      static const int32_t kCaptureTextControls[] = {kCaptureLabel, kDialogIdOk, kDialogIdCancel};
      SetTexts(window, kCaptureTextPage, kCaptureTextControls,
               sizeof kCaptureTextControls / sizeof kCaptureTextControls[0], kCaptureDialogId);
      return 1;
    }
    case kDialogMsgCommand:
      switch (static_cast<int32_t>(DialogCommandId(wParam))) {
        case kDialogIdOk:
          AcceptCaptureFolder(window);
          return 1;
        case kDialogIdCancel:
          DialogEnd(window, 1);
          return 1;
        default:
          return 0;
      }
    case kDialogMsgActivateApp:
      return OnDialogActivate(window, wParam != 0);
    default:
      return 0;
  }
}

intptr_t ModPackageDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t) {
  if (!gSystem) return 0;
  switch (message) {
    case kDialogMsgInit:
      InitModPackage(window);
      return 1;
    case kDialogMsgCommand:
      switch (static_cast<int32_t>(DialogCommandId(wParam))) {
        case kDialogIdOk:
          AcceptModPackage(window);
          return 1;
        case kModNone:
          DialogListSelect(window, kModList, -1);
          return 1;
        case kDialogIdCancel:
          DialogEnd(window, 1);
          return 1;
        default:
          return 0;
      }
    case kDialogMsgActivateApp:
      return OnDialogActivate(window, wParam != 0);
    default:
      return 0;
  }
}

const char* GetLogoPictureName() {
  int32_t number = static_cast<int32_t>(gLogoPictureNumber);
  if (number < 0) return gLogoPictureName;
  return number < kLogoPictureCount ? kLogoPictures[number] : nullptr;
}

// ---- List fillers -----------------------------------------------------------------------------

void FillDeviceList(DialogWindow* window) {
  DialogListReset(window, kGfxAdapterList);
  int32_t count = GetDisplayAdapterCount(gDirect3D);
  for (int32_t i = 0; i < count; ++i) {
    const DisplayAdapterInfo* adapter = GetDisplayAdapter(gDirect3D, i);
    DialogListAdd(window, kGfxAdapterList, adapter && adapter->description ? adapter->description : "");
  }
  int32_t ordinal = gStartup.adapterOrdinal;
  const DisplayAdapterInfo* stored = GetDisplayAdapter(gDirect3D, ordinal);
  bool matches = stored && stored->description && gStartup.adapterName &&
                 std::strcmp(stored->description, gStartup.adapterName) == 0;
  DialogListSelect(window, kGfxAdapterList, matches ? ordinal : 0);
}

void FillResolutionList(DialogWindow* window) {
  DialogListReset(window, kGfxResolutionList);
  const DisplayAdapterInfo* adapter = SelectedAdapter(window);
  if (!adapter) return;
  const DisplayModeInfo* modes = nullptr;
  int32_t count = 0;
  ModeList(window, adapter, &modes, &count);
  int32_t chosen = -1;
  for (int32_t i = 0; i < count; ++i) {
    const DisplayModeInfo& mode = modes[i];
    char text[48];
    std::snprintf(text, sizeof text, "%d x %d x %d", mode.width, mode.height, FormatBitsPerPixel(mode.format));
    DialogListAdd(window, kGfxResolutionList, text);
    if (chosen < 0 && mode.width == gSystem->screenWidth && mode.height == gSystem->screenHeight &&
        mode.format == gStartup.displayFormat) {
      chosen = i;
    }
  }
  DialogListSelect(window, kGfxResolutionList, chosen >= 0 ? chosen : 0);
}

void FillTextureQualityList(DialogWindow* window) { FillQualityList(window, kGfxTextureList, gSystem->textureQuality); }

void FillShaderQualityList(DialogWindow* window) { FillQualityList(window, kGfxShaderList, gSystem->shaderQuality); }

void FillAntialiasList(DialogWindow* window) {
  DialogListReset(window, kGfxAntialiasList);
  int32_t adapter = DialogListSelection(window, kGfxAdapterList);
  int32_t entries = 0;
  if (CheckDeviceMultiSampleType(adapter, kFormatA8R8G8B8, true, 8) &&
      CheckDeviceMultiSampleType(adapter, kFormatD24X8, true, 8)) {
    entries = 4;
  } else if (CheckDeviceMultiSampleType(adapter, kFormatA8R8G8B8, true, 6) &&
             CheckDeviceMultiSampleType(adapter, kFormatD24X8, true, 6)) {
    entries = 3;
  } else if (CheckMultiSampleSupport(adapter, kFormatA8R8G8B8, 4)) {
    entries = 2;
  } else if (CheckMultiSampleSupport(adapter, kFormatA8R8G8B8, 2)) {
    entries = 1;
  }
  for (int32_t i = 0; i < entries; ++i)
    DialogListAdd(window, kGfxAntialiasList, DialogDatabaseText(kGraphicsTextPage, kAntialiasTextBase + i));
  uint32_t stored = gSystem->antialiasMode;
  DialogListSelect(window, kGfxAntialiasList,
                   stored < static_cast<uint32_t>(entries) ? static_cast<int32_t>(stored) : 0);
}

void FillAnisotropyList(DialogWindow* window) {
  DialogListReset(window, kGfxFilterList);
  const DisplayAdapterInfo* adapter = SelectedAdapter(window);
  int32_t entries = 0;
  if (adapter && (adapter->capabilityFlags & kAdapterCapsAnisotropic)) {
    switch (adapter->maxAnisotropy) {
      case 4:
        entries = 2;
        break;
      case 8:
        entries = 3;
        break;
      case 16:
        entries = 4;
        break;
      default:
        entries = 1;
        break;
    }
  }
  for (int32_t i = 0; i < entries; ++i)
    DialogListAdd(window, kGfxFilterList, DialogDatabaseText(kGraphicsTextPage, kFilterTextBase + i));
  uint32_t stored = gSystem->filterMode;
  DialogListSelect(window, kGfxFilterList, stored < static_cast<uint32_t>(entries) ? static_cast<int32_t>(stored) : 1);
}

bool AddJoystickToList(const JoystickDevice* device, void* context) {
  auto* window = static_cast<DialogWindow*>(context);
  auto* copy = static_cast<uint8_t*>(MemAlloc(kIdentifierSize, 0));
  if (!copy) return true;  // this device is skipped, the others still listed
  std::memcpy(copy, device->identifier, kIdentifierSize);
  // The entry just added gets the copy: two controllers of one make share a name.
  int32_t index = DialogListAdd(window, kCtlJoystickList, ToDialogText(device->name));
  if (!DialogListSetData(window, kCtlJoystickList, index, reinterpret_cast<intptr_t>(copy)))
    MemFree(copy, kIdentifierSize, 0);
  return true;
}

int32_t FindComboItemByData(DialogWindow* window, int32_t id, intptr_t data) {
  int32_t count = DialogListCount(window, id);
  for (int32_t i = 0; i < count; ++i) {
    if (DialogListData(window, id, i) == data) return i;
  }
  return -1;
}

void SetControllerDefaults(DialogWindow* window) {
  DialogListSelect(window, kCtlForceFeedbackList,
                   FindComboItemByData(window, kCtlForceFeedbackList, kDefaultForceFeedbackGain));
  DialogCheckItem(window, kCtlThrottle, true);
  DialogCheckItem(window, kCtlPovHat, true);
  DialogCheckItem(window, kCtlRudder, true);
  DialogCheckItem(window, kCtlJoypad, false);
}
