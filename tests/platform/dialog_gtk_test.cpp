// The launcher shown with GTK 3 on a virtual X server started by the test (skipped when Xvfb is
// not installed): the scripted actions go through the toolkit's own widgets, a settings dialog
// opens over the launcher in a nested run, screenshots of the screen are kept beside the test
// program in the build folder, and "Start" ends the dialog with the settings written. With the
// demo's own texts in both languages, every dialog the launcher opens is laid out by the theme's
// font with nothing overlapping, cut or outside its dialog, and photographed. Every wait is
// bounded: the server's start, each scripted dialog, and the test itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "app/settings_dialogs.h"
#include "platform/image.h"
#include "platform/os.h"
#include "support/demo_dialogs.h"
#include "support/dialog_world.h"

extern char** environ;

// The toolkit's libraries keep caches for the life of the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgtk-3\nleak:libgdk-3\nleak:libglib-2.0\nleak:libgobject-2.0\nleak:libgio-2.0\n"
         "leak:libfontconfig\nleak:libpango\nleak:libcairo\nleak:libharfbuzz\nleak:libX11\nleak:libatk\n"
         "leak:libgdk_pixbuf\nleak:libepoxy\nleak:libfreetype\nleak:libpixman\nleak:libxkbcommon\n";
}

namespace {

constexpr int kServerStartMs = 15000;

bool OnPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string candidate = folders.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// An X server of our own on a display number it picks itself, gone with the object or, should
// the process end without it, with the process's last connection. Its output goes nowhere, so a
// server outliving the test never holds the test's output open.
class VirtualDisplay {
 public:
  bool Start(std::string* error) {
    int fds[2];
    if (pipe(fds) != 0) return Fail(error, "no pipe");
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    std::string fd = std::to_string(fds[1]);
    std::vector<const char*> argv = {"Xvfb",     "-displayfd", fd.c_str(), "-screen",   "0", "1024x768x24",
                                     "-nolisten", "tcp",        "-terminate", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
      close(fds[0]);
      pid_ = -1;
      return Fail(error, "Xvfb did not start");
    }
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&wait, 1, kServerStartMs) > 0) {
      char buffer[16];
      ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      number.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (number.empty() || number.find('\n') == std::string::npos)
      return Fail(error, "Xvfb gave no display number in time");
    number.erase(number.find('\n'));
    display_ = ":" + number;
    return true;
  }

  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }

  const std::string& name() const { return display_; }

 private:
  static bool Fail(std::string* error, const char* what) {
    *error = what;
    return false;
  }

  pid_t pid_ = -1;
  std::string display_;
};

std::string BuildFolderFile(const char* name) {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return (error ? std::filesystem::current_path() : program.parent_path()).append(name).string();
}

// Distinct colours in a picture: a blank or black screen has one.
size_t ColourCount(const Image& image) {
  std::set<uint32_t> colours;
  for (int32_t i = 0; i < image.width * image.height; ++i) {
    const uint8_t* p = image.pixels + 4 * i;
    colours.insert(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
  }
  return colours.size();
}

// The toolkit starts once per process and cannot outlive its display, so every test of the
// process shares one virtual display, ended when the process ends.
const VirtualDisplay* SharedDisplay(std::string* error) {
  static VirtualDisplay display;
  static std::string failure;
  static bool started = display.Start(&failure);
  *error = failure;
  return started ? &display : nullptr;
}

// The toolkit on the shared virtual display for one test.
class GtkSession {
 public:
  bool Start(std::string* error) {
    const VirtualDisplay* display = SharedDisplay(error);
    if (!display) return false;
    x_.emplace("DISPLAY", display->name().c_str());
    headless_.emplace("KORVANE_HEADLESS", nullptr);
    backend_.emplace("GDK_BACKEND", "x11");
    accessibility_.emplace("NO_AT_BRIDGE", "1");
    OsSetHeadless(false);
    return true;
  }

 private:
  std::optional<ScopedEnv> x_, headless_, backend_, accessibility_;
};

const char* gBackendSeen = "";
bool gCaptureOwnerFront = false;

TEST(GtkDialogs, LauncherShownPressedAndCapturedOnAVirtualDisplay) {
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  GtkSession session;
  std::string error;
  ASSERT_TRUE(session.Start(&error)) << error;
  DialogWorld world;
  ASSERT_STREQ(DialogBackendName(), "gtk");

  const std::string launcherShot = BuildFolderFile("launcher_gtk.png");
  const std::string captureShot = BuildFolderFile("capture_folder_gtk.png");
  const std::string graphicsShot = BuildFolderFile("graphics_settings_gtk.png");
  const std::string modShot = BuildFolderFile("mod_package_gtk.png");
  for (const std::string& shot : {launcherShot, captureShot, graphicsShot, modShot}) std::filesystem::remove(shot);
  world.game().Write("mods/Zeta.cat", "catalog");
  world.game().Write("mods/alpha.cat", "catalog");
  gSystem->audioFlags = 0x103;
  std::filesystem::create_directories(world.game().File("fotos"));

  const DialogAction script[] = {
      Act(kLauncherDialogId, kDialogActInspect, 0, 0, nullptr,
          [](DialogWindow*, const DialogAction*) { gBackendSeen = DialogBackendName(); }),
      Act(kLauncherDialogId, kDialogActCheck, kLauncherEax, 1),
      Act(kLauncherDialogId, kDialogActClick, kLauncherGraphics),
      Act(kGraphicsDialogId, kDialogActSelect, kGfxShaderList, 1),
      Act(kGraphicsDialogId, kDialogActClick, kGfxWindowed),
      Act(kGraphicsDialogId, kDialogActScreenshot, 0, 0, graphicsShot.c_str()),
      Act(kGraphicsDialogId, kDialogActClick, kGfxOk),
      Act(kLauncherDialogId, kDialogActClick, kLauncherMod),
      Act(kModDialogId, kDialogActSelect, kModList, 1),
      Act(kModDialogId, kDialogActScreenshot, 0, 0, modShot.c_str()),
      Act(kModDialogId, kDialogActClick, kDialogIdOk),
      Act(kLauncherDialogId, kDialogActClick, kLauncherCapture),
      Act(kCaptureDialogId, kDialogActType, kCaptureEdit, 0, "fotos\\"),
      Act(kCaptureDialogId, kDialogActScreenshot, 0, 0, captureShot.c_str()),
      Act(kCaptureDialogId, kDialogActInspect, 0, 0, nullptr,
          [](DialogWindow* window, const DialogAction*) {
            gCaptureOwnerFront = DialogResourceId(window) == kCaptureDialogId;
          }),
      Act(kCaptureDialogId, kDialogActClick, kDialogIdOk),
      Act(kLauncherDialogId, kDialogActScreenshot, 0, 0, launcherShot.c_str()),
      Act(kLauncherDialogId, kDialogActClick, kLauncherStart),
  };
  DialogSetScript(script, static_cast<int32_t>(sizeof script / sizeof script[0]));
  EXPECT_EQ(RunLauncherDialog(), 1);
  EXPECT_EQ(DialogScriptRemaining(), 0);
  EXPECT_EQ(DialogScriptErrors(), 0);
  EXPECT_STREQ(gBackendSeen, "gtk");
  EXPECT_TRUE(gCaptureOwnerFront);

  // What the clicks did through the toolkit.
  EXPECT_NE(gSystem->audioFlags & kAudioEax, 0u);
  EXPECT_STREQ(gSystem->captureFolder, "fotos");
  EXPECT_EQ(gSystem->shaderQuality, 1u);
  EXPECT_NE(gSystem->videoFlags & kVideoWindowed, 0u);
  EXPECT_NE(gSystem->d3dFlags2 & kD3D2NoDynamicLights, 0u);
  EXPECT_STREQ(gSystem->modName, "Zeta");
  RegistryKey* key = nullptr;
  EXPECT_EQ(RegistryOpenKey("Software\\KORVANE\\VexaNL", kRegKeyRead, &key), kRegOk);
  if (key) RegistryCloseKey(key);

  for (const std::string& shot : {launcherShot, captureShot, graphicsShot, modShot}) {
    SCOPED_TRACE(shot);
    Image image{};
    ASSERT_TRUE(ImageLoadFile(shot.c_str(), &image));
    EXPECT_EQ(image.width, 1024);
    EXPECT_EQ(image.height, 768);
    // Widgets, texts and the launcher picture give many colours; an empty screen gives one.
    EXPECT_GT(ColourCount(image), 50u);
    ImageFree(&image);
  }

  // Asked for headless, the layer stays headless even with a display at hand.
  {
    ScopedEnv forced("KORVANE_HEADLESS", "1");
    EXPECT_STREQ(DialogBackendName(), "headless");
  }
  DialogSetScript(nullptr, 0);
  OsSetHeadless(false);
}

// A list box shown with no entry chosen keeps none until the user chooses: confirming the mod
// package dialog at once leaves the game without a mod.
int32_t gModSelectionShown = 99;

TEST(GtkDialogs, AListShownWithoutChoiceMakesNoneOfItsOwn) {
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  GtkSession session;
  std::string error;
  ASSERT_TRUE(session.Start(&error)) << error;
  DialogWorld world;
  ASSERT_STREQ(DialogBackendName(), "gtk");
  world.game().Write("mods/alpha.cat", "catalog");
  world.game().Write("mods/beta.cat", "catalog");
  const DialogAction script[] = {
      Act(kLauncherDialogId, kDialogActClick, kLauncherMod),
      Act(kModDialogId, kDialogActInspect, 0, 0, nullptr,
          [](DialogWindow* window, const DialogAction*) {
            gModSelectionShown = DialogListSelection(window, kModList);
          }),
      Act(kModDialogId, kDialogActClick, kDialogIdOk),
      Act(kLauncherDialogId, kDialogActClick, kLauncherCancel),
  };
  DialogSetScript(script, static_cast<int32_t>(std::size(script)));
  EXPECT_EQ(RunLauncherDialog(), 0);
  EXPECT_EQ(DialogScriptErrors(), 0);
  EXPECT_EQ(gModSelectionShown, -1);
  EXPECT_EQ(gSystem->modName, nullptr);
  DialogSetScript(nullptr, 0);
}

// The demo's texts in English and German: each dialog the launcher opens is reviewed where the
// toolkit placed its controls (nothing overlapping, outside the dialog or out of order; see
// demo_dialogs.h) and photographed alone as "demo_<dialog>_<language>.png" beside the test.
TEST(GtkDialogs, DemoTextsFitEveryDialogInBothLanguages) {
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  GtkSession session;
  std::string error;
  ASSERT_TRUE(session.Start(&error)) << error;
  DialogWorld world;
  ASSERT_STREQ(DialogBackendName(), "gtk");
  UseDemoDialogTexts();
  world.game().Write("mods/alpha.cat", "catalog");
  JoystickDevice stick{};
  std::snprintf(stick.name, sizeof stick.name, "%s", "Korvane Flight Stick");
  JoystickSetTestDevices(&stick, 1, true);

  for (uint32_t language : {44u, 49u}) {
    SCOPED_TRACE(language);
    gSystem->language = language;
    std::vector<std::string> shots;
    for (const DemoDialog& dialog : kDemoDialogs) {
      shots.push_back(BuildFolderFile(
          (std::string("demo_") + dialog.name + "_" + std::to_string(language) + ".png").c_str()));
      std::filesystem::remove(shots.back());
    }
    Reviews() = DialogReviews{};
    const std::vector<DialogAction> script = ReviewEveryDialog(&shots);
    DialogSetScript(script.data(), static_cast<int32_t>(script.size()));
    EXPECT_EQ(RunLauncherDialog(), 0);
    EXPECT_EQ(DialogScriptRemaining(), 0);
    EXPECT_EQ(DialogScriptErrors(), 0);
    EXPECT_EQ(Reviews().reviewed.size(), std::size(kDemoDialogs));
    for (const std::string& fault : Reviews().faults) ADD_FAILURE() << fault;
    for (const std::string& shot : shots) {
      SCOPED_TRACE(shot);
      Image image{};
      ASSERT_TRUE(ImageLoadFile(shot.c_str(), &image));
      // The dialog alone, not the whole screen, with its texts and widgets.
      EXPECT_LT(image.width, 1024);
      EXPECT_GT(image.width, 200);
      EXPECT_GT(ColourCount(image), 20u);
      ImageFree(&image);
    }
  }
  DialogSetScript(nullptr, 0);
}

// A display that cannot be opened: the toolkit's start fails once and every dialog runs headless,
// the launcher answering "start". Run in a fresh process, as the toolkit starts once per process.
TEST(GtkDialogs, WithoutAReachableDisplayDialogsRunHeadless) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("DISPLAY", ":4093", 1);  // no server listens there
        setenv("GDK_BACKEND", "x11", 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("KORVANE_HEADLESS");
        OsSetHeadless(false);
        DialogWorld world;
        bool headless = std::strcmp(DialogBackendName(), "headless") == 0;
        int32_t result = RunLauncherDialog();
        std::fprintf(stderr, "backend %s, result %d\n", DialogBackendName(), result);
        std::exit(headless && result == 1 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "backend headless, result 1");
}

}  // namespace
