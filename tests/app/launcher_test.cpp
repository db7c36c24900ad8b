// The launcher run headless from scripted actions: the check boxes and the flag bits they set,
// start with and without "ignore last settings" (what reaches the registry), cancel, the update
// link, the mod button against the "mods" folder, the texts of page 1910 in the dialog code page,
// the picture, the settings dialogs opened over it, the activation handling, and the demo's own
// texts in every dialog the launcher opens.
#include "app/launcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/settings_dialogs.h"
#include "platform/image.h"
#include "support/demo_dialogs.h"
#include "support/dialog_world.h"

namespace {

constexpr const char* kSettingsKey = "Software\\KORVANE\\VexaNL";

// What an inspect action saw, for the test to check after the run.
struct Seen {
  bool modEnabled = false;
  bool eaxChecked = false;
  bool resetChecked = true;
  bool benchmarkChecked = true;
  bool benchmarkEnabled = true;
  std::string caption;
  std::string texts[4];
  int32_t pictureWidth = 0, pictureHeight = 0;
  uint32_t appActive = 99;
  int32_t inspected = 0;
};
Seen gSeen;

void LookAtLauncher(DialogWindow* window, const DialogAction*) {
  gSeen.modEnabled = DialogIsItemEnabled(window, kLauncherMod);
  gSeen.eaxChecked = DialogIsItemChecked(window, kLauncherEax);
  gSeen.resetChecked = DialogIsItemChecked(window, kLauncherResetSettings);
  gSeen.benchmarkChecked = DialogIsItemChecked(window, kLauncherBenchmark);
  gSeen.benchmarkEnabled = DialogIsItemEnabled(window, kLauncherBenchmark);
  gSeen.caption = DialogCaption(window);
  gSeen.texts[0] = DialogItemText(window, kLauncherInfoText);
  gSeen.texts[1] = DialogItemText(window, kLauncherStart);
  gSeen.texts[2] = DialogItemText(window, kLauncherBenchmark);
  gSeen.texts[3] = DialogItemText(window, kLauncherTitleText);
  const Image* picture = DialogItemImage(window, kLauncherPicture);
  gSeen.pictureWidth = picture ? picture->width : 0;
  gSeen.pictureHeight = picture ? picture->height : 0;
  ++gSeen.inspected;
}

void NoteAppActive(DialogWindow*, const DialogAction*) { gSeen.appActive = gStartup.appActive; }

// Ticks the benchmark box the way the program may (the user cannot: it is disabled).
void TickBenchmark(DialogWindow* window, const DialogAction*) { DialogCheckItem(window, kLauncherBenchmark, true); }

void SendActivate(DialogWindow* window, const DialogAction* action) {
  DialogSendMessage(window, kDialogMsgActivateApp, static_cast<uintptr_t>(action->value), 0);
}

void SendUser1(DialogWindow* window, const DialogAction*) {
  gSystem->launcherWord = 0;
  DialogSendMessage(window, kDialogMsgUser1, 0, 0);
}

bool SettingsKeyExists() {
  RegistryKey* key = nullptr;
  if (RegistryOpenKey(kSettingsKey, kRegKeyRead, &key) != kRegOk) return false;
  RegistryCloseKey(key);
  return true;
}

uint32_t StoredNumber(const char* name) {
  RegistryKey* key = nullptr;
  uint32_t value = 0xDEADBEEF, size = sizeof value, type = 0;
  if (RegistryOpenKey(kSettingsKey, kRegKeyRead, &key) != kRegOk) return value;
  RegistryQueryValue(key, name, &type, &value, &size);
  RegistryCloseKey(key);
  return value;
}

// Flag words are kept as 4 big-endian bytes.
uint32_t StoredFlagWord(const char* name) {
  RegistryKey* key = nullptr;
  uint8_t bytes[4] = {};
  uint32_t size = sizeof bytes, type = 0;
  if (RegistryOpenKey(kSettingsKey, kRegKeyRead, &key) != kRegOk) return 0xDEADBEEF;
  RegistryQueryValue(key, name, &type, bytes, &size);
  RegistryCloseKey(key);
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { gSeen = Seen{}; }

  int32_t Run(const std::vector<DialogAction>& actions) {
    script_ = actions;
    DialogSetScript(script_.data(), static_cast<int32_t>(script_.size()));
    return RunLauncherDialog();
  }

  DialogWorld world_;
  std::vector<DialogAction> script_;
};

TEST_F(LauncherTest, ChecksMapToTheirFlagBits) {
  struct Case {
    const char* name;
    uint32_t audioBefore, modeBefore;
    bool eax;        // the EAX box when start is pressed
    bool benchmark;  // ticked by the program before start
    uint32_t audioAfter, modeAfter;
  };
  const Case kCases[] = {
      {"eax kept on", 0x103 | kAudioEax, 0, true, false, 0x103 | kAudioEax, 0},
      {"eax switched off", 0x103 | kAudioEax, 0, false, false, 0x103, 0},
      {"eax switched on", 0x103, 0, true, false, 0x103 | kAudioEax, 0},
      {"stale mode bits cleared", 0x103, kModeResetSettings | kModeBenchmark | kModeLauncher20 | kModeProfi, false,
       false, 0x103, kModeProfi},
      {"benchmark box sets its bit", 0x103, kModeLauncher20, false, true, 0x103, kModeBenchmark},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    gSeen = Seen{};
    gSystem->audioFlags = c.audioBefore;
    gSystem->modeFlags = c.modeBefore;
    std::vector<DialogAction> actions = {Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, LookAtLauncher),
                                         Act(kLauncherDialogId, kDialogActCheck, kLauncherEax, c.eax)};
    if (c.benchmark) actions.push_back(Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, TickBenchmark));
    actions.push_back(Act(kLauncherDialogId, kDialogActClick, kLauncherStart));
    EXPECT_EQ(Run(actions), 1);
    EXPECT_EQ(DialogScriptErrors(), 0);
    // At opening the EAX box shows the stored bit, the other two are clear.
    EXPECT_EQ(gSeen.eaxChecked, (c.audioBefore & kAudioEax) != 0);
    EXPECT_FALSE(gSeen.resetChecked);
    EXPECT_FALSE(gSeen.benchmarkChecked);
    EXPECT_EQ(gSystem->audioFlags, c.audioAfter);
    EXPECT_EQ(gSystem->modeFlags, c.modeAfter);
  }
}

TEST_F(LauncherTest, BenchmarkBoxCannotBeClickedByTheUser) {
  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, LookAtLauncher),
                 Act(kLauncherDialogId, kDialogActClick, kLauncherBenchmark),
                 Act(kLauncherDialogId, kDialogActClick, kLauncherStart)}),
            1);
  EXPECT_FALSE(gSeen.benchmarkEnabled);
  EXPECT_EQ(DialogScriptErrors(), 1);
  EXPECT_EQ(gSystem->modeFlags & kModeBenchmark, 0u);
}

TEST_F(LauncherTest, StartWritesTheSettings) {
  gSystem->screenWidth = 800;
  EXPECT_FALSE(SettingsKeyExists());
  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActCheck, kLauncherEax, 1),
                 Act(kLauncherDialogId, kDialogActClick, kLauncherStart)}),
            1);
  ASSERT_TRUE(SettingsKeyExists());
  EXPECT_EQ(StoredNumber("VideoWidth"), 800u);
  EXPECT_EQ(StoredFlagWord("AudioFlags") & kAudioEax, kAudioEax);
}

TEST_F(LauncherTest, IgnoreLastSettingsDeletesThemResetsToDefaultsAndStarts) {
  gSystem->captureFolder = ReplaceString(gSystem->captureFolder, "mine");
  gSystem->screenWidth = 640;
  gSystem->screenHeight = 480;
  gSystem->musicVolume = 3;
  ASSERT_EQ(SaveSettings(), 1);
  ASSERT_TRUE(SettingsKeyExists());

  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActCheck, kLauncherResetSettings, 1),
                 Act(kLauncherDialogId, kDialogActClick, kLauncherStart)}),
            1);
  EXPECT_FALSE(SettingsKeyExists());
  EXPECT_NE(gSystem->modeFlags & kModeResetSettings, 0u);
  EXPECT_STREQ(gSystem->captureFolder, "screenshots");
  EXPECT_EQ(gSystem->screenWidth, 1024);
  EXPECT_EQ(gSystem->screenHeight, 768);
  EXPECT_EQ(gSystem->musicVolume, 215u);
}

TEST_F(LauncherTest, CancelEndsWithZeroAndWritesNothing) {
  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActClick, kLauncherCancel)}), 0);
  EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(LauncherTest, WithoutScriptTheLauncherStarts) {
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(gSystem->launcherWord, kLauncherWordOpen);
}

TEST_F(LauncherTest, UpdateLinkClosesAsCancelOnlyWhenItOpened) {
  DialogSetHeadlessUrlAnswer(true);
  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActClick, kLauncherUpdate)}), 0);
  EXPECT_STREQ(DialogLastOpenedUrl(), "https://updates.invalid/vexa");
  EXPECT_FALSE(SettingsKeyExists());

  DialogSetHeadlessUrlAnswer(false);
  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActClick, kLauncherUpdate),
                 Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, LookAtLauncher)}),
            1);
  EXPECT_EQ(gSeen.inspected, 1);  // still open after the failed link
  EXPECT_STREQ(DialogLastOpenedUrl(), "https://updates.invalid/vexa");
}

TEST_F(LauncherTest, ModButtonNeedsACatalogInTheModsFolder) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    bool enabled;
  };
  const Case kCases[] = {
      {"no mods folder", {}, {}, false},
      {"empty mods folder", {}, {"mods"}, false},
      {"other files only", {"mods/readme.txt", "mods/x.cat.bak"}, {}, false},
      {"a folder named like a catalog", {}, {"mods/big.cat"}, false},
      {"one catalog", {"mods/x.cat"}, {}, true},
      {"a catalog in another spelling", {"MODS/Y.CAT"}, {}, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(world_.game().File("mods"));
    std::filesystem::remove_all(world_.game().File("MODS"));
    for (const std::string& folder : c.folders) std::filesystem::create_directories(world_.game().File(folder));
    for (const std::string& file : c.files) world_.game().Write(file, "catalog");
    EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, LookAtLauncher),
                   Act(kLauncherDialogId, kDialogActClick, kLauncherMod),
                   Act(kLauncherDialogId, kDialogActClick, kLauncherCancel)}),
              0);
    EXPECT_EQ(gSeen.modEnabled, c.enabled);
    // A click on the disabled button does nothing and counts as a script error.
    EXPECT_EQ(DialogScriptErrors(), c.enabled ? 0 : 1);
  }
}

TEST_F(LauncherTest, TextsComeFromPage1910InTheDialogCodePage) {
  struct Case {
    const char* name;
    uint8_t languagePack;
    const char* info;
  };
  const Case kCases[] = {{"without the language pack", 0, "Info ohne Paket"},
                         {"with the language pack", 1, "Info mit Paket"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    gSystem->languagePack = c.languagePack;
    EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, LookAtLauncher),
                   Act(kLauncherDialogId, kDialogActClick, kLauncherCancel)}),
              0);
    EXPECT_EQ(gSeen.texts[0], c.info);
    EXPECT_EQ(gSeen.texts[1], "Spiel starten");
    EXPECT_EQ(gSeen.texts[2], "=TextIDNotFound=");  // the database lacks 1235
    EXPECT_EQ(gSeen.texts[3], "Vexa:NL");
    EXPECT_EQ(gSeen.caption, "Starter f\xFCr Vexa");
  }
}

TEST_F(LauncherTest, PictureIsResizedToItsControl) {
  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, LookAtLauncher),
                 Act(kLauncherDialogId, kDialogActClick, kLauncherCancel)}),
            0);
  EXPECT_EQ(gSeen.pictureWidth, DialogUnitsToPixelsX(310));
  EXPECT_EQ(gSeen.pictureHeight, DialogUnitsToPixelsY(110));
}

// A dialog with only the picture control, to run ShowLauncherPicture against other bitmaps.
const DialogControlTemplate kPictureOnly[] = {
    {kLauncherPicture, kDialogPicture, 0, 0, 0, 40, 20, nullptr, kLauncherResourceBitmap}};
const DialogTemplate kPictureDialog = {900, 60, 40, nullptr, kPictureOnly, 1};
int32_t gPictureResult = -1;
const Image* gPictureShown = nullptr;
int32_t gShownWidth = 0;

intptr_t PictureProc(DialogWindow* window, uint32_t message, uintptr_t, intptr_t) {
  if (message != kDialogMsgInit) return 0;
  gPictureResult = ShowLauncherPicture(window, kLauncherPicture);
  gPictureShown = DialogItemImage(window, kLauncherPicture);
  gShownWidth = gPictureShown ? gPictureShown->width : 0;
  DialogEnd(window, 1);
  return 1;
}

bool BrokenStartBitmap(int32_t number, Image* out) {
  if (number == kLauncherStartBitmap) {
    static const uint8_t kNotAPicture[] = {0x89, 'P', 'N', 'G', 0, 0};
    return ImageDecode(kNotAPicture, sizeof kNotAPicture, out);
  }
  return LoadLauncherBitmap(number, out);
}

TEST_F(LauncherTest, FailingPictureStepKeepsTheResourcePicture) {
  Image resource{};
  ASSERT_TRUE(LoadLauncherBitmap(kLauncherResourceBitmap, &resource));

  DialogSetBitmapLoader(LoadLauncherBitmap);
  EXPECT_EQ(DialogRun(&kPictureDialog, nullptr, PictureProc, 0), 1);
  EXPECT_EQ(gPictureResult, 1);
  EXPECT_EQ(gShownWidth, DialogUnitsToPixelsX(40));

  DialogSetBitmapLoader(BrokenStartBitmap);
  EXPECT_EQ(DialogRun(&kPictureDialog, nullptr, PictureProc, 0), 1);
  EXPECT_EQ(gPictureResult, 0);
  EXPECT_EQ(gShownWidth, resource.width);
  DialogSetBitmapLoader(LoadLauncherBitmap);
  ImageFree(&resource);
}

TEST_F(LauncherTest, SettingsDialogsOpenOverTheLauncherWhichStaysOpen) {
  gStartup.appActive = 1;
  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActClick, kLauncherCapture),
                 Act(kCaptureDialogId, kDialogActInspect, 0, 0, nullptr, NoteAppActive),
                 Act(kCaptureDialogId, kDialogActType, kCaptureEdit, 0, "fotos\\"),
                 Act(kCaptureDialogId, kDialogActClick, kDialogIdOk),
                 Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, LookAtLauncher),
                 Act(kLauncherDialogId, kDialogActClick, kLauncherCancel)}),
            0);
  EXPECT_EQ(DialogScriptErrors(), 0);
  EXPECT_EQ(gSeen.appActive, 0u);     // cleared while the settings dialog runs
  EXPECT_EQ(gStartup.appActive, 1u);  // and set again after it
  EXPECT_EQ(gSeen.inspected, 1);
  EXPECT_STREQ(gSystem->captureFolder, "fotos");
}

TEST_F(LauncherTest, ActivationSuspendsInputOnlyOnceInputExists) {
  InputState input{};
  struct Case {
    const char* name;
    InputState* input;
    int32_t active;
    uint32_t appActiveAfter;
  };
  const Case kCases[] = {
      {"before the input devices exist", nullptr, 1, 1},
      {"activated with input", &input, 1, 0},
      {"deactivated with input", &input, 0, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    gInputState = c.input;
    gStartup.appActive = 1;
    EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActInspect, 0, c.active, nullptr, SendActivate),
                   Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, NoteAppActive),
                   Act(kLauncherDialogId, kDialogActClick, kLauncherCancel)}),
              0);
    EXPECT_EQ(gSeen.appActive, c.appActiveAfter);
  }
  gInputState = nullptr;
}

TEST_F(LauncherTest, UserMessageSetsTheLauncherWord) {
  EXPECT_EQ(Run({Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr, SendUser1),
                 Act(kLauncherDialogId, kDialogActClick, kLauncherCancel)}),
            0);
  EXPECT_EQ(gSystem->launcherWord, kLauncherWordOpen);
}

// The demo's texts fill every caption, control and list entry of the launcher and of each dialog
// it opens, in English and in German, and the texts that only message boxes, the language pack
// and the update link show are there as well.
TEST_F(LauncherTest, DemoTextsFillEveryDialogInBothLanguages) {
  UseDemoDialogTexts();
  world_.game().Write("mods/alpha.cat", "catalog");
  struct Case {
    int32_t page;
    int32_t id;
  };
  const Case kUnshown[] = {
      {kLauncherTextPage, kLauncherInfoTextPack}, {kLauncherTextPage, kLauncherUpdateLinkText},
      {kCaptureTextPage, 10000},                  {kCaptureTextPage, 10001},
      {kCaptureTextPage, 10010},                  {kCaptureTextPage, 10011},
  };
  std::string start[2];
  for (uint32_t language : {44u, 49u}) {
    SCOPED_TRACE(language);
    gSystem->language = language;
    Reviews() = DialogReviews{};
    EXPECT_EQ(Run(ReviewEveryDialog(nullptr)), 0);
    EXPECT_EQ(DialogScriptErrors(), 0);
    EXPECT_EQ(Reviews().reviewed, (std::vector<int32_t>{kGraphicsDialogId, kControllerDialogId, kCaptureDialogId,
                                                        kModDialogId, kLauncherDialogId}));
    for (const std::string& fault : Reviews().faults) ADD_FAILURE() << fault;
    for (const Case& c : kUnshown) EXPECT_STRNE(ReadText(c.page, c.id), kTextNotFound) << c.page << "/" << c.id;
    start[language == 49u] = ReadText(kLauncherTextPage, kLauncherStart);
  }
  EXPECT_NE(start[0], start[1]) << "both languages show the same words";
  EXPECT_EQ(std::string(ReadText(kLauncherTextPage, kLauncherUpdateLinkText)).rfind("https://", 0), 0u);
}

TEST(DialogText, ConvertsUtf8ToTheDialogCodePage) {
  struct Case {
    const char* name;
    const char* utf8;
    const char* expected;
  };
  const Case kCases[] = {
      {"ascii", "Start", "Start"},
      {"latin letters",
       "Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr\xFC\xDF"
       "e"},
      {"euro sign from the 0x80 row",
       "\xE2\x82\xAC"
       "5",
       "\x80"
       "5"},
      {"letters the code page lacks", "\xE6\x97\xA5\xE6\x9C\xAC", "**"},
      {"one character outside the basic plane",
       "a\xF0\x9F\x9A\x80"
       "b",
       "a*b"},
      {"malformed bytes",
       "a\xFF"
       "b",
       "a*b"},
      {"cut sequence at the end", "ab\xC3", "ab*"},
      {"empty", "", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const char* converted = ToDialogText(c.utf8);
    ASSERT_NE(converted, nullptr);
    EXPECT_STREQ(converted, c.expected);
  }
  EXPECT_EQ(ToDialogText(nullptr), nullptr);
}

TEST(DialogText, ShowDialogMessageConvertsTextAndCaptionSeparately) {
  DialogWorld world;
  const DialogAction answer[] = {Act(0, kDialogActAnswer, 0, kDialogIdNo)};
  DialogSetScript(answer, 1);
  EXPECT_EQ(ShowDialogMessage("Ordner f\xC3\xBCr Fotos?", nullptr, "Frage", kMessageBoxYesNo), kDialogIdNo);
  EXPECT_STREQ(DialogLastMessageText(), "Ordner f\xFCr Fotos?");
  EXPECT_EQ(DialogMessageBoxCount(), 1);
}

}  // namespace
