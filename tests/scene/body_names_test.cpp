// Body and cut file names by number, and texture ids by name with the kept interface textures.
#include "scene/body_names.h"

#include <gtest/gtest.h>

#include <string>

#include "render/texture_table.h"
#include "scene/engine_state.h"
#include "support/body_fixture.h"

namespace {

class BodyNames : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AllocBodyDataTable());
    ASSERT_TRUE(AllocCutDataTable());
  }
  void TearDown() override {
    FreeBodyDataTable();
    FreeCutDataTable();
  }
  BodyFixture world;
};

TEST_F(BodyNames, BodyAndCutFileNames) {
  SetBodyDataName(5, "ships\\skiff");
  SetCutDataName(3, "intro");
  gEngine3D->bodyDataAddedRows = 1;
  struct Case {
    bool cut;
    int32_t id;
    int32_t withFolder;
    const char* name;
  };
  const Case kCases[] = {
      {false, 42, 1, "v\\00042"},
      {false, 42, 0, "42"},
      {false, 5, 0, "ships\\skiff"},
      {false, 9005, 1, "ships\\skiff"},  // 9000.. alias the first rows
      {false, 9042, 1, "v\\09042"},
      {false, 5000, 1, ""},  // 1000..8999 name no row
      {false, -1, 1, ""},
      {false, 20000, 1, "v\\20000"},  // the first added row
      {false, 20001, 1, ""},          // past the added rows
      {false, 2000000000, 0, ""},
      {true, 7, 1, "cut\\00007"},
      {true, 7, 0, "7"},
      {true, 3, 1, "intro"},
      {true, 50000, 1, ""},
      {true, -5, 1, ""},
  };
  for (const Case& c : kCases) {
    std::string name = "stale";
    if (c.cut) {
      B3D_GetCutFilename(&name, c.id, c.withFolder);
    } else {
      B3D_GetBodyFilename(&name, c.id, c.withFolder);
    }
    EXPECT_EQ(name, c.name) << (c.cut ? "cut " : "body ") << c.id;
  }
}

TEST_F(BodyNames, InterfaceTexturesAreResolvedOnceAndKept) {
  const int16_t other = B3D_GetTextureID("hull_diff", 0);
  EXPECT_GT(other, 0);
  // The six interface names and the other one were added on the first call.
  EXPECT_EQ(gTextureAddedCount, 7);
  const int16_t bars = FindTextureByName("effects/menugfx/gui_bars", 0);
  EXPECT_EQ(B3D_GetTextureID("EFFECTS/MENUGFX/GUI_BARS", 0), bars);
  EXPECT_EQ(B3D_GetTextureID("interface/INTERFACE_TEMPLATE_qd_diff", 0),
            FindTextureByName("Interface/interface_template_QD_diff", 0));
  // The kept id stands even when its table entry changes name later.
  SetTextureName(bars, "something/else");
  EXPECT_EQ(B3D_GetTextureID("effects/menugfx/gui_bars", 0), bars);
  EXPECT_EQ(gTextureAddedCount, 7);
  // Any other name goes to the texture table with the flags as its path mark.
  const int16_t marked = B3D_GetTextureID("hud_marks", 1);
  EXPECT_EQ(TextureGetFlags(marked) & kTexturePathMarkFlags, kTexturePathMarkFlags);
  EXPECT_EQ(B3D_GetTextureID("NULL", 0), 0);
}

}  // namespace
