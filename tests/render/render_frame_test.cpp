// The whole renderer on the OpenGL device (offscreen, software rasteriser): a textured cube body
// of one part, lit by one sun light, drawn through the camera view, the clear, the render matrix
// and the per-part draw entry into a 64x64 back buffer: as it is, faded to 128, and with the glow
// filter on (light-mapped or not, and faded over itself in the glow target pass). Each frame equals its golden image (tests/render/golden/frame_*.tga, 32 bits, the
// alpha channel holding the glow mask) within 2 levels per channel. KORVANE_UPDATE_GOLDEN=1
// rewrites them; a failed comparison writes frame_<name>.actual.tga into the working folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "images/image_writer.h"
#include "platform/image.h"
#include "render/instance_parts.h"
#include "support/frame_world.h"

namespace {

constexpr uint32_t kSize = 64;
constexpr int kGoldenTolerance = 2;

// This file's folder. The compiler may name the file relative to the test's build folder,
// which is also where the test program lives.
std::string SourceDir() {
  std::string file = __FILE__;
  if (file[0] != '/') {
    char exe[4096] = {};
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string program(exe, length > 0 ? static_cast<size_t>(length) : 0);
    file = program.substr(0, program.find_last_of('/') + 1) + file;
  }
  return file.substr(0, file.find_last_of('/'));
}

void WriteTga(const std::string& path, const std::vector<uint32_t>& argb) {
  const image_tool::Bytes bytes = image_tool::MakeTga(2, 32, kSize, kSize, argb);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The largest difference of any channel, alpha included, against the golden image.
void ExpectGolden(const std::string& name, const std::vector<uint32_t>& frame) {
  ASSERT_EQ(frame.size(), kSize * kSize);
  const std::string golden = SourceDir() + "/golden/frame_" + name + ".tga";
  const char* update = std::getenv("KORVANE_UPDATE_GOLDEN");
  if (update && std::strcmp(update, "1") == 0) {
    WriteTga(golden, frame);
    GTEST_SKIP() << "golden image rewritten: " << golden;
  }
  std::ifstream in(golden, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Image expected{};
  ASSERT_TRUE(ImageDecode(bytes.data(), bytes.size(), &expected)) << "missing golden image " << golden;
  ASSERT_EQ(expected.width, static_cast<int>(kSize));
  ASSERT_EQ(expected.height, static_cast<int>(kSize));
  int worst = 0;
  for (size_t i = 0; i < frame.size(); ++i) {
    const uint8_t* p = expected.pixels + i * 4;  // R, G, B, A
    const int want[4] = {p[2], p[1], p[0], p[3]};  // B, G, R, A as the frame's bytes run
    for (int c = 0; c < 4; ++c) {
      const int got = static_cast<int>((frame[i] >> (8 * c)) & 0xFF);
      worst = std::max(worst, std::abs(got - want[c]));
    }
  }
  ImageFree(&expected);
  if (worst > kGoldenTolerance) WriteTga("frame_" + name + ".actual.tga", frame);
  EXPECT_LE(worst, kGoldenTolerance) << "actual frame written to frame_" << name << ".actual.tga";
}

struct Case {
  const char* name;
  bool glow;
  bool lightMapped;
  int32_t fade;             // the instance's alpha override, 0 for none
  bool fadedGlowTargetPass;  // then drawn again faded, uncleared, in the camera's glow target pass
  uint8_t maskInMiddle;     // the glow mask (alpha) where the cube is drawn
};
// With glow on, an opaque light-mapped part writes its light into the mask and one without a
// light map writes none. In the glow target pass a faded part drawn over a glowing one clears
// the mask through its zero alpha blend factors, so nothing behind a translucent part glows.
const Case kCases[] = {
    {"cube", false, false, 0, false, 0},  {"faded", false, false, 128, false, 0},
    {"glow", true, true, 0, false, 128},  {"glow_unlit", true, false, 0, false, 0},
    {"faded_glow", true, true, 0, true, 0},
};

TEST(RenderFrame, ATexturedLitCubeMatchesItsGoldenFrames) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FrameWorld world;
    world.lightMapped = c.lightMapped;
    std::string error;
    ASSERT_TRUE(world.Open(kSize, kSize, c.glow, &error)) << error;
    world.PlaceCubes(1);
    world.cube(0).alphaOverride = c.fade;
    ASSERT_TRUE(world.DrawFrame());
    if (c.fadedGlowTargetPass) {
      world.camera.cameraFlags = kCameraGlowPass;  // and no clear
      world.cube(0).alphaOverride = 128;
      ASSERT_TRUE(world.DrawFrame());
    }
    const std::vector<uint32_t> frame = world.ReadBackBuffer();
    // The cube covers the middle and leaves the background at the corners.
    EXPECT_EQ(frame[0] & 0xFFFFFF, 0x141E3Cu);
    EXPECT_NE(frame[32 * kSize + 32] & 0xFFFFFF, 0x141E3Cu);
    EXPECT_EQ(frame[0] >> 24, 0u);
    EXPECT_NEAR(static_cast<int>(frame[32 * kSize + 32] >> 24), c.maskInMiddle, kGoldenTolerance);
    ExpectGolden(c.name, frame);
  }
}

}  // namespace
