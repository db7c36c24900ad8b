// Screenshots on the null device: numbering after the highest picture in the folder (a name
// that is not a number ignored), the picture equal to the back buffer, the folder rule, the
// capture frame steps, and a failed save that still advances the counter.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/clock.h"
#include "support/display_world.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Touch(const fs::path& path) { std::ofstream(path) << "x"; }

class Screenshot : public DisplayWorld {
 protected:
  void SetUp() override {
    DisplayWorld::SetUp();
    ASSERT_TRUE(ready_);
    folder_ = dir_.path() + "/shots";
    block_.captureFolder = folder_.data();
    block_.screenshotNumber = 0;
  }
  TempDir dir_;
  std::string folder_;
};

TEST_F(Screenshot, NumberingContinuesAfterTheHighestPicture) {
  fs::create_directories(folder_);
  for (const char* name : {"vexascreen00007.bmp", "vexascreen00012.bmp", "vexascreenabc.bmp"})
    Touch(fs::path(folder_) / name);
  TakeScreenshot();
  EXPECT_EQ(block_.screenshotNumber, 13u);
  const fs::path shot = fs::path(folder_) / "vexascreen00013.bmp";
  ASSERT_TRUE(fs::exists(shot));
  // The picture is the back buffer as the save routine writes it.
  const std::string reference = dir_.path() + "/reference";
  ASSERT_EQ(SaveScreenshot(reference.c_str()), 1);
  EXPECT_EQ(Read(shot), Read(reference + ".bmp"));
  EXPECT_EQ(Read(fs::path(folder_) / "vexascreen00012.bmp"), "x");  // nothing overwritten
  TakeScreenshot();
  EXPECT_TRUE(fs::exists(fs::path(folder_) / "vexascreen00014.bmp"));
}

TEST_F(Screenshot, MissingFolderIsCreatedAndNumberingStartsAtOne) {
  TakeScreenshot();
  EXPECT_EQ(block_.screenshotNumber, 1u);
  EXPECT_TRUE(fs::exists(fs::path(folder_) / "vexascreen00001.bmp"));
}

TEST_F(Screenshot, BareFolderNameLiesUnderTheUserFolder) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir_.path());
  char bare[] = "pictures";
  block_.captureFolder = bare;
  TakeScreenshot();
  fs::current_path(previous);
  // Without a product folder the user folder is the current one.
  EXPECT_TRUE(fs::exists(fs::path(dir_.path()) / "pictures" / "vexascreen00001.bmp"));
}

// Each shot fixes the game clock's next advance, whatever time really passed.
TEST_F(Screenshot, ThreeShotsTakeOneHundredMillisecondsOfGameTime) {
  block_.secondTimeScale = 0x10000;
  ASSERT_EQ(InitClock(), 1);
  int32_t total = 0, longSteps = 0;
  for (int i = 0; i < 3; ++i) {
    TakeScreenshot();
    const uint32_t before = block_.gameTime;
    GetMilliseconds();
    const int32_t step = static_cast<int32_t>(block_.gameTime - before);
    EXPECT_TRUE(step == 33 || step == 34) << step;
    total += step;
    longSteps += step == 34;
  }
  EXPECT_EQ(total, 100);
  EXPECT_EQ(longSteps, 1);
}

TEST_F(Screenshot, FailedSaveStillAdvancesTheCounterAndNoFolderTakesNothing) {
  fs::create_directories(folder_);
  gScreenBackBuffer->Release();
  gScreenBackBuffer = nullptr;
  Record()->backBuffer->Release();
  Record()->backBuffer = nullptr;  // nothing to save
  TakeScreenshot();
  EXPECT_EQ(block_.screenshotNumber, 1u);
  EXPECT_TRUE(fs::is_empty(folder_));
  block_.captureFolder = nullptr;
  TakeScreenshot();
  EXPECT_EQ(block_.screenshotNumber, 1u);
}

}  // namespace
