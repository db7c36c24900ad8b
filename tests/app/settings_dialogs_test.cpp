// The graphics, controller, capture folder and mod package dialogs run headless from scripted
// actions over fake adapters and controllers: the windowed switch and antialiasing, the shader
// rule, the list fillers and their selections, what OK stores (and keeps when a list is empty),
// reset to default, joystick identifiers and the controller defaults, capture folder questions,
// creation and normalisation, the mod list, and the logo picture names.
#include "app/settings_dialogs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "support/dialog_world.h"

namespace {

// ---- Seen by inspect actions --------------------------------------------------------------------

struct ControlState {
  bool checked, enabled;
};

struct Seen {
  std::vector<std::string> lists[3];
  int32_t selections[3] = {-9, -9, -9};
  ControlState controls[4] = {};
  int32_t inspected = 0;
};
Seen gSeen;
// The ids the inspect actions look at.
int32_t gListIds[3] = {};
int32_t gControlIds[4] = {};

void Look(DialogWindow* window, const DialogAction*) {
  for (int i = 0; i < 3; ++i) {
    gSeen.lists[i].clear();
    if (!gListIds[i]) continue;
    for (int32_t e = 0; e < DialogListCount(window, gListIds[i]); ++e)
      gSeen.lists[i].push_back(DialogListText(window, gListIds[i], e));
    gSeen.selections[i] = DialogListSelection(window, gListIds[i]);
  }
  for (int i = 0; i < 4; ++i) {
    if (gControlIds[i])
      gSeen.controls[i] = {DialogIsItemChecked(window, gControlIds[i]), DialogIsItemEnabled(window, gControlIds[i])};
  }
  ++gSeen.inspected;
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen = Seen{};
    std::memset(gListIds, 0, sizeof gListIds);
    std::memset(gControlIds, 0, sizeof gControlIds);
  }

  void Script(const std::vector<DialogAction>& actions) {
    script_ = actions;
    DialogSetScript(script_.data(), static_cast<int32_t>(script_.size()));
  }

  DialogWorld world_;
  std::vector<DialogAction> script_;
};

// ---- Graphics ---------------------------------------------------------------------------------

const DisplayModeInfo kAlphaModes[] = {
    {640, 480, kFormatX8R8G8B8}, {1024, 768, kFormatR5G6B5}, {1024, 768, kFormatX8R8G8B8}};
const DisplayModeInfo kAlphaWindowed[] = {{800, 600, kFormatX8R8G8B8}};
const DisplayModeInfo kBetaModes[] = {{1280, 1024, kFormatA8R8G8B8}, {1600, 1200, kFormatR8G8B8}, {320, 200, 99}};

DisplayAdapterInfo Adapter(const char* name, const DisplayModeInfo* modes, int32_t count, uint32_t caps,
                           int32_t anisotropy, uint32_t samples) {
  return DisplayAdapterInfo{
      name, count,      modes,  modes == kAlphaModes ? 1 : 0, modes == kAlphaModes ? kAlphaWindowed : nullptr,
      caps, anisotropy, samples};
}

class GraphicsDialogTest : public SettingsDialogTest {
 protected:
  void SetUp() override {
    SettingsDialogTest::SetUp();
    adapters_[0] = Adapter("Alpha", kAlphaModes, 3, kAdapterCapsAnisotropic, 16, (1u << 2) | (1u << 4));
    adapters_[1] = Adapter("Beta", kBetaModes, 3, 0, 0, 0);
    SetDisplayAdaptersForTest(adapters_, 2);
    gStartup.adapterName = ReplaceString(gStartup.adapterName, "Alpha");
    gStartup.adapterOrdinal = 0;
    gStartup.displayFormat = kFormatX8R8G8B8;
  }

  intptr_t Run(const std::vector<DialogAction>& actions) {
    Script(actions);
    return RunGraphicsSettingsDialog(nullptr);
  }

  DisplayAdapterInfo adapters_[2];
};

DialogAction G(DialogActionKind kind, int32_t control = 0, int32_t value = 0) {
  return Act(kGraphicsDialogId, kind, control, value);
}
DialogAction GLook() { return Act(kGraphicsDialogId, kDialogActInspect, 0, 0, nullptr, Look); }

TEST_F(GraphicsDialogTest, WindowedSwitchTakesAntialiasingAwayAndFullScreenGivesItBack) {
  gSystem->d3dFlags |= kD3DAntialias;
  gControlIds[0] = kGfxAntialias;
  gControlIds[1] = kGfxAntialiasList;
  gControlIds[2] = kGfxWindowed;
  gControlIds[3] = kGfxFullscreen;
  gListIds[0] = kGfxResolutionList;

  Script({GLook(), G(kDialogActClick, kGfxWindowed), GLook(), G(kDialogActClick, kGfxFullscreen), GLook(),
          G(kDialogActClick, kGfxCancel)});
  // Each look is checked right after the run, from a copy taken at that moment.
  struct Step {
    bool antialias, antialiasEnabled, listEnabled, windowed;
    std::vector<std::string> resolutions;
  };
  std::vector<Step> steps;
  static std::vector<Step>* sSteps;
  sSteps = &steps;
  script_[0].inspect = script_[2].inspect = script_[4].inspect = [](DialogWindow* window, const DialogAction* action) {
    Look(window, action);
    sSteps->push_back({gSeen.controls[0].checked, gSeen.controls[0].enabled, gSeen.controls[1].enabled,
                       gSeen.controls[2].checked, gSeen.lists[0]});
  };
  EXPECT_EQ(RunGraphicsSettingsDialog(nullptr), 0);
  ASSERT_EQ(steps.size(), 3u);
  const std::vector<std::string> fullscreen = {"640 x 480 x 32", "1024 x 768 x 16", "1024 x 768 x 32"};
  EXPECT_TRUE(steps[0].antialias && steps[0].antialiasEnabled && steps[0].listEnabled && !steps[0].windowed);
  EXPECT_EQ(steps[0].resolutions, fullscreen);
  EXPECT_FALSE(steps[1].antialias || steps[1].antialiasEnabled || steps[1].listEnabled);
  EXPECT_TRUE(steps[1].windowed);
  EXPECT_EQ(steps[1].resolutions, std::vector<std::string>{"800 x 600 x 32"});
  EXPECT_TRUE(steps[2].antialias && steps[2].antialiasEnabled && steps[2].listEnabled && !steps[2].windowed);
  EXPECT_EQ(steps[2].resolutions, fullscreen);
  EXPECT_EQ(DialogScriptErrors(), 0);
}

TEST_F(GraphicsDialogTest, StoredWindowedModeOpensWithAntialiasingOff) {
  gSystem->videoFlags |= kVideoWindowed;
  gSystem->d3dFlags |= kD3DAntialias;
  gControlIds[0] = kGfxAntialias;
  gControlIds[1] = kGfxAntialiasList;
  EXPECT_EQ(Run({GLook(), G(kDialogActClick, kGfxOk)}), 1);
  EXPECT_FALSE(gSeen.controls[0].checked || gSeen.controls[0].enabled || gSeen.controls[1].enabled);
  // OK in windowed mode stores the windowed mode and antialiasing off.
  EXPECT_NE(gSystem->videoFlags & kVideoWindowed, 0u);
  EXPECT_EQ(gSystem->d3dFlags & kD3DAntialias, 0u);
  EXPECT_EQ(gSystem->screenWidth, 800);
  EXPECT_EQ(gSystem->screenHeight, 600);
}

TEST_F(GraphicsDialogTest, ShaderQualityBelowTheThirdForcesLightsColoursAndGlowOff) {
  gSystem->d3dFlags2 = kD3D2Glow;  // lights and colours on, glow on
  gControlIds[0] = kGfxDynamicLights;
  gControlIds[1] = kGfxShipColours;
  gControlIds[2] = kGfxGlow;
  static Seen sAtOpening;
  Script({GLook(),
          Act(kGraphicsDialogId, kDialogActInspect, 0, 0, nullptr,
              [](DialogWindow*, const DialogAction*) { sAtOpening = gSeen; }),
          G(kDialogActSelect, kGfxShaderList, 1), GLook(), G(kDialogActClick, kGfxOk)});
  EXPECT_EQ(RunGraphicsSettingsDialog(nullptr), 1);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sAtOpening.controls[i].checked && sAtOpening.controls[i].enabled) << i;
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(gSeen.controls[i].checked || gSeen.controls[i].enabled) << i;
  EXPECT_EQ(gSystem->shaderQuality, 1u);
  EXPECT_NE(gSystem->d3dFlags2 & kD3D2NoDynamicLights, 0u);
  EXPECT_NE(gSystem->d3dFlags2 & kD3D2NoShipColours, 0u);
  EXPECT_EQ(gSystem->d3dFlags2 & kD3D2Glow, 0u);
}

TEST_F(GraphicsDialogTest, ShaderRuleRestoresTheStoredChoicesForTheThirdQuality) {
  gSystem->shaderQuality = 0;
  gSystem->d3dFlags2 = kD3D2NoShipColours;
  gControlIds[0] = kGfxDynamicLights;
  gControlIds[1] = kGfxShipColours;
  gControlIds[2] = kGfxGlow;
  EXPECT_EQ(Run({G(kDialogActSelect, kGfxShaderList, 2), GLook(), G(kDialogActClick, kGfxCancel)}), 0);
  EXPECT_TRUE(gSeen.controls[0].checked && gSeen.controls[0].enabled);
  EXPECT_TRUE(!gSeen.controls[1].checked && gSeen.controls[1].enabled);
  EXPECT_TRUE(!gSeen.controls[2].checked && gSeen.controls[2].enabled);
  EXPECT_EQ(gSystem->shaderQuality, 0u);  // cancel changes nothing
}

TEST_F(GraphicsDialogTest, QualityListsSelectTheStoredQualityOrTheThird) {
  struct Case {
    uint32_t stored;
    int32_t selected;
  };
  const Case kCases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 2}, {5, 2}, {0xFFFFFFFF, 2}};
  gListIds[0] = kGfxTextureList;
  gListIds[1] = kGfxShaderList;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.stored);
    gSystem->textureQuality = c.stored;
    gSystem->shaderQuality = c.stored;
    EXPECT_EQ(Run({GLook(), G(kDialogActClick, kGfxCancel)}), 0);
    EXPECT_EQ(gSeen.lists[0], (std::vector<std::string>{"niedrig", "mittel", "hoch"}));
    EXPECT_EQ(gSeen.selections[0], c.selected);
    EXPECT_EQ(gSeen.selections[1], c.selected);
  }
}

TEST_F(GraphicsDialogTest, AntialiasEntriesFollowTheLargestSampleCount) {
  struct Case {
    const char* name;
    uint32_t samples;
    uint32_t stored;
    std::vector<std::string> entries;
    int32_t selected;
  };
  const Case kCases[] = {
      {"eight samples", (1u << 8) | (1u << 6) | (1u << 4) | (1u << 2), 3, {"2x", "4x", "6x", "8x"}, 3},
      {"six samples", (1u << 6) | (1u << 4) | (1u << 2), 1, {"2x", "4x", "6x"}, 1},
      {"four samples", (1u << 4), 3, {"2x", "4x"}, 0},
      {"two samples", (1u << 2), 0, {"2x"}, 0},
      {"none", 0, 0, {}, -1},
  };
  gListIds[0] = kGfxAntialiasList;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    adapters_[0].multiSampleMask = c.samples;
    gSystem->antialiasMode = c.stored;
    EXPECT_EQ(Run({GLook(), G(kDialogActClick, kGfxOk)}), 1);
    EXPECT_EQ(gSeen.lists[0], c.entries);
    EXPECT_EQ(gSeen.selections[0], c.selected);
    // Without an entry to choose the stored mode stays.
    EXPECT_EQ(gSystem->antialiasMode, c.selected >= 0 ? static_cast<uint32_t>(c.selected) : c.stored);
  }
}

TEST_F(GraphicsDialogTest, FilterEntriesFollowTheLargestAnisotropy) {
  struct Case {
    const char* name;
    uint32_t caps;
    int32_t anisotropy;
    uint32_t stored;
    size_t entries;
    int32_t selected;
  };
  const Case kCases[] = {
      {"sixteen", kAdapterCapsAnisotropic, 16, 3, 4, 3},
      {"eight", kAdapterCapsAnisotropic, 8, 3, 3, 1},
      {"four", kAdapterCapsAnisotropic, 4, 0, 2, 0},
      {"other", kAdapterCapsAnisotropic, 2, 1, 1, -1},
      {"no capability", 0, 16, 1, 0, -1},
  };
  gListIds[0] = kGfxFilterList;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    adapters_[0].capabilityFlags = c.caps;
    adapters_[0].maxAnisotropy = c.anisotropy;
    gSystem->filterMode = c.stored;
    EXPECT_EQ(Run({GLook(), G(kDialogActClick, kGfxOk)}), 1);
    EXPECT_EQ(gSeen.lists[0].size(), c.entries);
    EXPECT_EQ(gSeen.selections[0], c.selected);
    // With nothing selected OK keeps the stored filter mode rather than storing "none".
    EXPECT_EQ(gSystem->filterMode, c.selected >= 0 ? static_cast<uint32_t>(c.selected) : c.stored);
  }
}

TEST_F(GraphicsDialogTest, DeviceListSelectsTheStoredAdapterOnlyWhenNameAndOrdinalAgree) {
  struct Case {
    const char* name;
    int32_t ordinal;
    int32_t selected;
  };
  const Case kCases[] = {{"Beta", 1, 1}, {"Alpha", 1, 0}, {"Beta", 0, 0}, {"Beta", 7, 0}, {nullptr, 1, 0}};
  gListIds[0] = kGfxAdapterList;
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << (c.name ? c.name : "none") << " " << c.ordinal);
    gStartup.adapterName = c.name ? ReplaceString(gStartup.adapterName, c.name) : FreeString(gStartup.adapterName);
    gStartup.adapterOrdinal = c.ordinal;
    EXPECT_EQ(Run({GLook(), G(kDialogActClick, kGfxCancel)}), 0);
    EXPECT_EQ(gSeen.lists[0], (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(gSeen.selections[0], c.selected);
  }
}

TEST_F(GraphicsDialogTest, ResolutionListSelectsTheStoredModeByFormat) {
  gListIds[0] = kGfxResolutionList;
  struct Case {
    int16_t width, height;
    uint32_t format;
    int32_t selected;
  };
  const Case kCases[] = {{1024, 768, kFormatX8R8G8B8, 2},
                         {1024, 768, kFormatR5G6B5, 1},
                         {1024, 768, 0, 0},
                         {333, 333, kFormatX8R8G8B8, 0}};
  for (const Case& c : kCases) {
    gSystem->screenWidth = c.width;
    gSystem->screenHeight = c.height;
    gStartup.displayFormat = c.format;
    EXPECT_EQ(Run({GLook(), G(kDialogActClick, kGfxCancel)}), 0);
    EXPECT_EQ(gSeen.selections[0], c.selected);
  }
}

TEST_F(GraphicsDialogTest, OkStoresTheChosenAdapterModeAndFlags) {
  gListIds[0] = kGfxResolutionList;
  EXPECT_EQ(Run({G(kDialogActSelect, kGfxAdapterList, 1), GLook(), G(kDialogActSelect, kGfxResolutionList, 1),
                 G(kDialogActSelect, kGfxTextureList, 0), G(kDialogActCheck, kGfxAutoQuality, 1),
                 G(kDialogActCheck, kGfxAntialias, 0), G(kDialogActCheck, kGfxNoVertexOptimisation, 1),
                 G(kDialogActCheck, kGfxNoCodecControl, 0), G(kDialogActCheck, kGfxAnisotropic, 0),
                 G(kDialogActClick, kGfxOk)}),
            1);
  EXPECT_EQ(gSeen.lists[0], (std::vector<std::string>{"1280 x 1024 x 32", "1600 x 1200 x 24", "320 x 200 x 0"}));
  EXPECT_EQ(gStartup.adapterOrdinal, 1);
  EXPECT_STREQ(gStartup.adapterName, "Beta");
  EXPECT_EQ(gStartup.modeIndex, 1u);
  EXPECT_EQ(gSystem->screenWidth, 1600);
  EXPECT_EQ(gSystem->screenHeight, 1200);
  EXPECT_EQ(gSystem->colourDepth, 24);
  EXPECT_EQ(gStartup.displayFormat, kFormatR8G8B8);
  EXPECT_EQ(gSystem->textureQuality, 0u);
  EXPECT_EQ(gSystem->videoFlags & kVideoWindowed, 0u);
  EXPECT_NE(gSystem->d3dFlags & kD3DAutoQuality, 0u);
  EXPECT_EQ(gSystem->d3dFlags & kD3DAntialias, 0u);
  EXPECT_NE(gSystem->d3dFlags2 & kD3D2NoVertexOptimisation, 0u);
  EXPECT_EQ(gSystem->d3dFlags2 & kD3D2NoCodecControl, 0u);
  EXPECT_EQ(gSystem->d3dFlags2 & kD3D2Anisotropic, 0u);
  EXPECT_EQ(DialogScriptErrors(), 0);
}

TEST_F(GraphicsDialogTest, OkWithoutModesOrAdaptersKeepsTheStoredMode) {
  adapters_[1].fullscreenModeCount = 0;
  gListIds[0] = kGfxResolutionList;
  gStartup.modeIndex = 2;
  EXPECT_EQ(Run({G(kDialogActSelect, kGfxAdapterList, 1), GLook(), G(kDialogActClick, kGfxOk)}), 1);
  EXPECT_TRUE(gSeen.lists[0].empty());
  EXPECT_EQ(gStartup.adapterOrdinal, 1);
  EXPECT_EQ(gStartup.modeIndex, 2u);
  EXPECT_EQ(gSystem->screenWidth, 1024);
  EXPECT_EQ(gSystem->screenHeight, 768);

  SetDisplayAdaptersForTest(adapters_, 0);  // back to the built-in adapter, then none at all
  DisplayAdapterInfo none[1] = {};
  SetDisplayAdaptersForTest(none, 0);
  Direct3DContext* context = gDirect3D;
  gDirect3D = nullptr;
  EXPECT_EQ(Run({G(kDialogActClick, kGfxOk)}), 1);
  gDirect3D = context;
  // Without a context no adapter can be chosen, so the dialog starts from the default settings.
  EXPECT_EQ(gStartup.adapterOrdinal, -1);
  EXPECT_EQ(gStartup.adapterName, nullptr);
  EXPECT_EQ(gStartup.modeIndex, 2u);
}

TEST_F(GraphicsDialogTest, ResetToDefaultRestoresTheDefaultsAndTheControls) {
  // Beta first so that the default (first) adapter has no anisotropic filtering.
  std::swap(adapters_[0], adapters_[1]);
  gSystem->videoFlags |= kVideoWindowed;
  gSystem->screenWidth = 640;
  gSystem->textureQuality = 0;
  gControlIds[0] = kGfxAntialias;
  gControlIds[1] = kGfxWindowed;
  gControlIds[2] = kGfxAnisotropic;
  gControlIds[3] = kGfxFilterList;
  gListIds[0] = kGfxTextureList;
  EXPECT_EQ(Run({G(kDialogActClick, kGfxReset), GLook(), G(kDialogActClick, kGfxCancel)}), 0);
  // The defaults are in memory at once; cancel does not take them back.
  EXPECT_EQ(gSystem->screenWidth, 1024);
  EXPECT_EQ(gSystem->videoFlags & kVideoWindowed, 0u);
  EXPECT_EQ(gStartup.adapterOrdinal, -1);
  EXPECT_FALSE(gSeen.controls[1].checked);
  EXPECT_TRUE(gSeen.controls[0].enabled);
  EXPECT_EQ(gSeen.controls[0].checked, (gSystem->d3dFlags & kD3DAntialias) != 0);
  EXPECT_FALSE(gSeen.controls[2].checked);
  EXPECT_FALSE(gSeen.controls[3].enabled);
  EXPECT_EQ(gSystem->d3dFlags2 & kD3D2Anisotropic, 0u);
  EXPECT_EQ(gSeen.selections[0], static_cast<int32_t>(gSystem->textureQuality));
  EXPECT_EQ(gSeen.lists[0].size(), 3u);  // filled again, not twice
}

// ---- Controller -------------------------------------------------------------------------------

JoystickDevice Pad(const char* name, uint8_t seed) {
  JoystickDevice device{};
  for (int i = 0; i < kJoystickIdentifierSize; ++i) device.identifier[i] = static_cast<uint8_t>(seed + i);
  std::strncpy(device.name, name, sizeof device.name - 1);
  return device;
}

class ControllerDialogTest : public SettingsDialogTest {
 protected:
  void SetUp() override {
    SettingsDialogTest::SetUp();
    pads_[0] = Pad("Flight Stick", 10);
    pads_[1] = Pad("Game Pad", 40);
    pads_[2] = Pad("Game Pad", 70);
    JoystickSetTestDevices(pads_, 3, true);
    gListIds[0] = kCtlJoystickList;
    gListIds[1] = kCtlForceFeedbackList;
    gControlIds[0] = kCtlThrottle;
    gControlIds[1] = kCtlRudder;
    gControlIds[2] = kCtlPovHat;
    gControlIds[3] = kCtlJoypad;
    ToDialogText(nullptr);  // the conversion buffer is not the list's
    startBytes_ = MemGetDefaultCategoryBytes();
  }

  void TearDown() override {
    if (gStartup.joystick) MemFree(gStartup.joystick, 16, 0);
    gStartup.joystick = nullptr;
    // Every identifier copy the list held is gone.
    ToDialogText(nullptr);
    EXPECT_EQ(MemGetDefaultCategoryBytes(), startBytes_);
  }

  void StoreJoystick(const JoystickDevice& pad) {
    gStartup.joystick = static_cast<uint8_t*>(MemAlloc(16, 0));
    std::memcpy(gStartup.joystick, pad.identifier, 16);
  }

  intptr_t Run(const std::vector<DialogAction>& actions) {
    Script(actions);
    return RunControllerDialog(nullptr);
  }

  JoystickDevice pads_[3];
  uint32_t startBytes_ = 0;
};

DialogAction C(DialogActionKind kind, int32_t control = 0, int32_t value = 0) {
  return Act(kControllerDialogId, kind, control, value);
}
DialogAction CLook() { return Act(kControllerDialogId, kDialogActInspect, 0, 0, nullptr, Look); }

bool StoredJoystickIs(const JoystickDevice& pad) {
  return gStartup.joystick && std::memcmp(gStartup.joystick, pad.identifier, 16) == 0;
}

TEST_F(ControllerDialogTest, StoredControllerIsSelectedWithItsSettings) {
  StoreJoystick(pads_[1]);
  gStartup.forceFeedbackGain = 3;
  gSystem->inputFlags = kInputRudder | kInputJoypad | 0x7;
  EXPECT_EQ(Run({CLook(), C(kDialogActClick, kDialogIdOk)}), 1);
  EXPECT_EQ(gSeen.lists[0], (std::vector<std::string>{"Flight Stick", "Game Pad", "Game Pad"}));
  EXPECT_EQ(gSeen.selections[0], 1);
  EXPECT_EQ(gSeen.lists[1], (std::vector<std::string>{"schwach", "mittel", "stark"}));
  EXPECT_EQ(gSeen.selections[1], 2);
  EXPECT_FALSE(gSeen.controls[0].checked);
  EXPECT_TRUE(gSeen.controls[1].checked);
  EXPECT_FALSE(gSeen.controls[2].checked);
  EXPECT_TRUE(gSeen.controls[3].checked);
  EXPECT_TRUE(StoredJoystickIs(pads_[1]));
  EXPECT_EQ(gStartup.forceFeedbackGain, 3);
  EXPECT_EQ(gSystem->inputFlags, kInputRudder | kInputJoypad | 0x7);
}

TEST_F(ControllerDialogTest, UnknownOrMissingControllerGetsTheDefaults) {
  struct Case {
    const char* name;
    bool stored;
  };
  const Case kCases[] = {{"identifier of no attached device", true}, {"no identifier stored", false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.stored) StoreJoystick(Pad("gone", 200));
    gStartup.forceFeedbackGain = 3;
    gSystem->inputFlags = kInputJoypad;
    EXPECT_EQ(Run({CLook(), C(kDialogActClick, kDialogIdOk)}), 1);
    EXPECT_EQ(gSeen.selections[0], 0);
    EXPECT_EQ(gSeen.selections[1], 1);  // the entry of value 2
    EXPECT_TRUE(gSeen.controls[0].checked && gSeen.controls[1].checked && gSeen.controls[2].checked);
    EXPECT_FALSE(gSeen.controls[3].checked);
    EXPECT_TRUE(StoredJoystickIs(pads_[0]));
    EXPECT_EQ(gStartup.forceFeedbackGain, 2);
    EXPECT_EQ(gSystem->inputFlags, kInputThrottle | kInputRudder | kInputPovHat);
    if (gStartup.joystick) MemFree(gStartup.joystick, 16, 0);
    gStartup.joystick = nullptr;
  }
}

TEST_F(ControllerDialogTest, ChoosingAnotherControllerResetsItsSettings) {
  StoreJoystick(pads_[0]);
  gStartup.forceFeedbackGain = 1;
  gSystem->inputFlags = kInputJoypad;
  EXPECT_EQ(Run({C(kDialogActSelect, kCtlJoystickList, 2), CLook(), C(kDialogActClick, kDialogIdOk)}), 1);
  EXPECT_EQ(gSeen.selections[1], 1);
  EXPECT_FALSE(gSeen.controls[3].checked);
  // Two controllers of one make: the second keeps its own identifier.
  EXPECT_TRUE(StoredJoystickIs(pads_[2]));
  EXPECT_EQ(gStartup.forceFeedbackGain, 2);
}

TEST_F(ControllerDialogTest, WithoutInputSystemTheListsStayEmptyAndDisabled) {
  JoystickSetTestDevices(nullptr, 0, false);
  StoreJoystick(pads_[0]);
  gStartup.forceFeedbackGain = 3;
  static bool sEnabled[2];
  Script({CLook(),
          Act(kControllerDialogId, kDialogActInspect, 0, 0, nullptr,
              [](DialogWindow* window, const DialogAction*) {
                sEnabled[0] = DialogIsItemEnabled(window, kCtlJoystickList);
                sEnabled[1] = DialogIsItemEnabled(window, kCtlForceFeedbackList);
              }),
          C(kDialogActClick, kDialogIdOk)});
  EXPECT_EQ(RunControllerDialog(nullptr), 1);
  EXPECT_TRUE(gSeen.lists[0].empty() && gSeen.lists[1].empty());
  EXPECT_FALSE(sEnabled[0] || sEnabled[1]);
  EXPECT_EQ(gStartup.joystick, nullptr);
  EXPECT_EQ(gStartup.forceFeedbackGain, 3);  // no choice, the gain stays
}

TEST_F(ControllerDialogTest, SystemControllerListRunsAndFreesItsCopies) {
  // Whatever the machine has attached (often nothing): the list is read, OK ends the dialog and
  // the fixture checks that every identifier copy was given back.
  JoystickUseSystem();
  EXPECT_EQ(Run({CLook(), C(kDialogActClick, kDialogIdOk)}), 1);
  EXPECT_EQ(gSeen.inspected, 1);
  EXPECT_EQ(gStartup.joystick != nullptr, !gSeen.lists[0].empty());
}

TEST_F(ControllerDialogTest, CancelChangesNothing) {
  StoreJoystick(pads_[1]);
  gSystem->inputFlags = kInputJoypad;
  EXPECT_EQ(Run({C(kDialogActSelect, kCtlJoystickList, 0), C(kDialogActCheck, kCtlThrottle, 0),
                 C(kDialogActClick, kDialogIdCancel)}),
            0);
  EXPECT_TRUE(StoredJoystickIs(pads_[1]));
  EXPECT_EQ(gSystem->inputFlags, kInputJoypad);
}

// ---- Capture folder ---------------------------------------------------------------------------

TEST_F(SettingsDialogTest, CaptureFolderIsCheckedCreatedAndNormalised) {
  struct Case {
    const char* name;
    const char* typed;
    const char* existingInGame;  // folder made in the game folder first
    const char* existingInUser;  // folder made in the user folder first
    std::vector<int32_t> answers;
    const char* stored;  // null: unchanged
    int32_t messageBoxes;
    const char* createdInUser;  // a folder the dialog made
  };
  const Case kCases[] = {
      {"existing folder with a trailing backslash", "shots\\", "shots", nullptr, {}, "shots", 0, nullptr},
      {"existing folder with a trailing slash", "./shots/", "shots", nullptr, {}, "./shots", 0, nullptr},
      {"relative folder already in the user folder", "pics", nullptr, "pics", {}, "pics", 0, nullptr},
      {"relative folder created on yes", "pics", nullptr, nullptr, {kDialogIdYes}, "pics", 1, "pics"},
      {"relative folder refused", "pics", nullptr, nullptr, {kDialogIdNo}, nullptr, 1, nullptr},
      {"creation fails", "no\\such\\deep\\", nullptr, nullptr, {kDialogIdYes}, nullptr, 2, nullptr},
      {"empty text", "", nullptr, nullptr, {}, nullptr, 0, nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(world_.game().File("shots"));
    std::filesystem::create_directories(world_.UserFolder());
    for (const auto& entry : std::filesystem::directory_iterator(world_.UserFolder()))
      std::filesystem::remove_all(entry.path());
    if (c.existingInGame) std::filesystem::create_directories(world_.game().File(c.existingInGame));
    if (c.existingInUser) std::filesystem::create_directories(world_.UserFolder(c.existingInUser));
    gSystem->captureFolder = ReplaceString(gSystem->captureFolder, "before");
    gSystem->screenshotNumber = 17;

    std::vector<DialogAction> actions = {Act(kCaptureDialogId, kDialogActType, kCaptureEdit, 0, c.typed),
                                         Act(kCaptureDialogId, kDialogActClick, kDialogIdOk)};
    for (int32_t answer : c.answers) actions.push_back(Act(kCaptureDialogId, kDialogActAnswer, 0, answer));
    // A dialog kept open is left with cancel, which changes nothing.
    actions.push_back(Act(kCaptureDialogId, kDialogActInspect, 0, 0, nullptr, Look));
    actions.push_back(Act(kCaptureDialogId, kDialogActClick, kDialogIdCancel));
    Script(actions);
    gSeen.inspected = 0;
    EXPECT_EQ(RunCaptureFolderDialog(nullptr), 1);
    bool keptOpen = gSeen.inspected == 1;
    EXPECT_EQ(keptOpen, c.stored == nullptr && c.messageBoxes > 0);
    EXPECT_EQ(DialogMessageBoxCount(), c.messageBoxes);
    EXPECT_STREQ(gSystem->captureFolder, c.stored ? c.stored : "before");
    EXPECT_EQ(gSystem->screenshotNumber, c.stored ? 0u : 17u);
    if (c.createdInUser) {
      EXPECT_TRUE(std::filesystem::is_directory(world_.UserFolder(c.createdInUser)));
    }
    if (c.messageBoxes == 2) {
      EXPECT_STREQ(DialogLastMessageText(), "Ordner nicht angelegt");
    }
  }
}

TEST_F(SettingsDialogTest, CaptureFolderShowsTheStoredFolder) {
  static std::string sShown;
  gSystem->captureFolder = ReplaceString(gSystem->captureFolder, "D:\\Fotos");
  Script({Act(kCaptureDialogId, kDialogActInspect, 0, 0, nullptr,
              [](DialogWindow* window, const DialogAction*) { sShown = DialogItemText(window, kCaptureEdit); }),
          Act(kCaptureDialogId, kDialogActClick, kDialogIdCancel)});
  EXPECT_EQ(RunCaptureFolderDialog(nullptr), 1);
  EXPECT_EQ(sShown, "D:\\Fotos");
  gSystem->captureFolder = FreeString(gSystem->captureFolder);
  Script({Act(kCaptureDialogId, kDialogActInspect, 0, 0, nullptr,
              [](DialogWindow* window, const DialogAction*) { sShown = DialogItemText(window, kCaptureEdit); }),
          Act(kCaptureDialogId, kDialogActClick, kDialogIdCancel)});
  EXPECT_EQ(RunCaptureFolderDialog(nullptr), 1);
  EXPECT_EQ(sShown, "");
}

// ---- Mod package ------------------------------------------------------------------------------

TEST_F(SettingsDialogTest, ModListIsReadFromTheModsFolder) {
  world_.game().Write("mods/Zeta.cat", "c");
  world_.game().Write("mods/alpha.CAT", "c");
  world_.game().Write("mods/Beta.cat", "c");
  world_.game().Write("mods/Beta.dat", "d");
  world_.game().Write("mods/notes.txt", "n");
  std::filesystem::create_directories(world_.game().File("mods/folder.cat"));
  gListIds[0] = kModList;
  struct Case {
    const char* name;
    const char* stored;
    std::vector<DialogAction> actions;
    int32_t selectedAtOpening;
    const char* after;
  };
  const Case kCases[] = {
      {"stored name chosen without regard to case",
       "BETA",
       {Act(kModDialogId, kDialogActClick, kDialogIdOk)},
       1,
       "Beta"},
      {"another entry chosen",
       "Beta",
       {Act(kModDialogId, kDialogActSelect, kModList, 2), Act(kModDialogId, kDialogActClick, kDialogIdOk)},
       1,
       "Zeta"},
      {"no mod button",
       "Beta",
       {Act(kModDialogId, kDialogActClick, kModNone), Act(kModDialogId, kDialogActClick, kDialogIdOk)},
       1,
       nullptr},
      {"unknown stored name", "Gamma", {Act(kModDialogId, kDialogActClick, kDialogIdOk)}, -1, nullptr},
      {"cancel keeps the name",
       "Gamma",
       {Act(kModDialogId, kDialogActSelect, kModList, 0), Act(kModDialogId, kDialogActClick, kDialogIdCancel)},
       -1,
       "Gamma"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    gSystem->modName = ReplaceString(gSystem->modName, c.stored);
    std::vector<DialogAction> actions = {Act(kModDialogId, kDialogActInspect, 0, 0, nullptr, Look)};
    actions.insert(actions.end(), c.actions.begin(), c.actions.end());
    Script(actions);
    EXPECT_EQ(RunModPackageDialog(nullptr), 1);
    EXPECT_EQ(gSeen.lists[0], (std::vector<std::string>{"alpha", "Beta", "Zeta"}));
    EXPECT_EQ(gSeen.selections[0], c.selectedAtOpening);
    if (c.after) {
      EXPECT_STREQ(gSystem->modName, c.after);
    } else {
      EXPECT_EQ(gSystem->modName, nullptr);
    }
  }
}

TEST_F(SettingsDialogTest, ModListIsEmptyWithoutModsFolder) {
  gListIds[0] = kModList;
  gSystem->modName = ReplaceString(gSystem->modName, "Beta");
  Script({Act(kModDialogId, kDialogActInspect, 0, 0, nullptr, Look), Act(kModDialogId, kDialogActClick, kDialogIdOk)});
  EXPECT_EQ(RunModPackageDialog(nullptr), 1);
  EXPECT_TRUE(gSeen.lists[0].empty());
  EXPECT_EQ(gSystem->modName, nullptr);
}

// ---- Logo picture -----------------------------------------------------------------------------

TEST_F(SettingsDialogTest, LogoPictureNameByNumber) {
  struct Case {
    uint32_t number;
    const char* expected;
  };
  const Case kCases[] = {
      {0, "images\\logo01.jpg"}, {4, "images\\logo05.jpg"}, {5, nullptr}, {6, nullptr},
      {1000, nullptr},           {0xFFFFFFFF, "own.jpg"},
  };
  gLogoPictureName = ReplaceString(gLogoPictureName, "own.jpg");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.number);
    gLogoPictureNumber = c.number;
    if (c.expected) {
      EXPECT_STREQ(GetLogoPictureName(), c.expected);
    } else {
      EXPECT_EQ(GetLogoPictureName(), nullptr);
    }
  }
  gLogoPictureNumber = 0;
  gLogoPictureName = FreeString(gLogoPictureName);
}

}  // namespace
