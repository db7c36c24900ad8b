// Lens flares and 3D text on a hand-built engine: a flare node's intensity and sprites over
// frames, flare types and elements checked against the table and the node's slots, flares off
// counting as occluded, and the bodies, count and layout of the characters of a text.
#include "scene/lens_flares.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/pass_gathering.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/text_instances.h"
#include "support/cached_bodies.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kSpriteBody = 310;

class Flares : public ::testing::Test {
 protected:
  void SetUp() override {
    savedSystem_ = gSystem;
    gSystem = &block_;
    ASSERT_NE(bodies_.AddLevels(kSpriteBody, 100, 1, 2, 0), nullptr);
    ASSERT_NE(EnsureLensFlareScene(), nullptr);
    scene_ = B3D_SceneAlloc();
    scene_->flags |= kSceneEnabled;
    camera_ = B3D_CameraAlloc();
    B3D_CameraAddToScene(camera_, scene_);
    camera_->cameraFlags |= kCameraEnabled;
    source_ = B3D_InstAlloc();
    AddInstanceToScene(source_, scene_);
    node_ = EngineAllocRecord<CameraNode>(kCameraNodeNominalBytes);
    node_->camera = camera_;
    node_->key = source_;
    node_->screenX = node_->screenY = 0xC000;
    node_->brightness = 0x10000;
    ListAddTail(&camera_->nodes, &node_->node);
    // Type 0: two sprites.
    elements_[0] = LensflareElement{{kSpriteBody, 0x10000, 1, 2, 0}};
    elements_[1] = LensflareElement{{kSpriteBody, 0x8000, 1, 2, 0}};
    row_ = LensflareRow{2, elements_};
    gEngine3D->lensFlareTypes = &row_;
    gEngine3D->lensFlareTypeCount = 1;
  }
  void TearDown() override {
    gEngine3D->lensFlareTypes = nullptr;
    gEngine3D->lensFlareTypeCount = 0;
    bodies_.Clear();
    ResetEngine3D();
    gSystem = savedSystem_;
  }

  int32_t Sprites() const {
    int32_t n = 0;
    for (InstanceRecord* sprite : node_->owned) n += sprite ? 1 : 0;
    return n;
  }

  EngineFixture engine_;
  CachedBodies bodies_;
  SystemBlock block_{};
  SystemBlock* savedSystem_ = nullptr;
  SceneRecord* scene_ = nullptr;
  CameraRecord* camera_ = nullptr;
  InstanceRecord* source_ = nullptr;
  CameraNode* node_ = nullptr;
  LensflareElement elements_[20] = {};
  LensflareRow row_{};
};

TEST_F(Flares, IntensityRisesInTwoFramesAndTheSpritesGoTwoFramesAfterHiding) {
  struct Step {
    int32_t visible;
    int32_t intensity;
    int32_t sprites;
  };
  const Step kSteps[] = {{1, 100, 2}, {1, 200, 2}, {1, 200, 2}, {0, 100, 2}, {0, 0, 0}, {0, 0, 0}};
  int frame = 0;
  for (const Step& s : kSteps) {
    SCOPED_TRACE(frame++);
    node_->visible = s.visible;
    UpdateLensFlares();
    EXPECT_EQ(node_->intensity, s.intensity);
    EXPECT_EQ(Sprites(), s.sprites);
  }
}

TEST_F(Flares, SpritesStandInTheLensFlareSceneAlongTheLineThroughTheCentre) {
  node_->visible = 1;
  UpdateLensFlares();
  ASSERT_EQ(Sprites(), 2);
  EXPECT_EQ(node_->owned[0]->scene, gEngine3D->lensFlareScene);
  EXPECT_TRUE(node_->owned[0]->flags & kInstVisible);
  // The second sprite sits half as far from the centre as the first.
  EXPECT_NEAR(node_->owned[1]->world.x * 2.0, node_->owned[0]->world.x, 2);
  EXPECT_GT(node_->owned[0]->world.x, 0);
  EXPECT_TRUE(B3D_FindBody(kSpriteBody)->flags & kBodyFlareSprite);
}

// The sprites stand in fractions of the 4:3 frame whatever the screen's size in pixels: a
// quarter of the way from the centre to the edge is 0x4000 across on every 4:3 screen; a wider
// screen keeps the width and shortens the height. The node's point lies below the centre (screen
// y grows downwards), so the sprite stands below it (the flare camera's y grows upwards).
TEST_F(Flares, SpritesArePlacedByTheScreensShapeNotItsPixels) {
  struct Case {
    int32_t width, height;
    int32_t x, y;
  };
  const Case kCases[] = {{0, 0, 0x4000, -0x4000}, {1024, 768, 0x4000, -0x4000}, {640, 480, 0x4000, -0x4000},
                         {1280, 720, 0x4000, -0x3000}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.width);
    block_.screenWidth = c.width;
    block_.screenHeight = c.height;
    node_->visible = 1;
    UpdateLensFlares();
    ASSERT_NE(node_->owned[0], nullptr);
    EXPECT_NEAR(node_->owned[0]->world.x, c.x, 1);
    EXPECT_NEAR(node_->owned[0]->world.y, c.y, 1);
  }
}

// No matrix pass runs over the lens-flare scene, so the sprite's roll must reach the world
// matrix it is drawn with; a point above and right of the centre turns it by an eighth.
TEST_F(Flares, ASpritesRollReachesTheMatrixItIsDrawnWith) {
  elements_[0].words[4] = 1;
  node_->screenX = 0xC000;
  node_->screenY = 0x4000;
  node_->visible = 1;
  UpdateLensFlares();
  ASSERT_NE(node_->owned[0], nullptr);
  FixedMatrix turned;
  MatrixFromAngles(&turned, 0, 0, 0x2000);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(node_->owned[0]->worldMatrix.m[r][c], turned.m[r][c], 2) << r << c;
  }
}

TEST_F(Flares, TypesAndElementsOutsideTheTableOrTheSlotsAreNotUsed) {
  struct Case {
    int32_t type;
    int32_t elementCount;
    int32_t sprites;
  };
  const Case kCases[] = {
      {1, 2, 0},                           // beyond the type count
      {-1, 2, 0},                          // negative
      {0, 20, kCameraNodeOwnedCount},      // more elements than the node holds
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.type);
    for (LensflareElement& e : elements_) e = LensflareElement{{kSpriteBody, 0x10000, 1, 2, 0}};
    row_.elementCount = c.elementCount;
    node_->flareType = c.type;
    node_->visible = 1;
    UpdateLensFlares();
    EXPECT_EQ(Sprites(), c.sprites);
    node_->visible = 0;
    UpdateLensFlares();
    UpdateLensFlares();
  }
}

TEST_F(Flares, FlaresOffCountAsOccluded) {
  block_.textureOptions = 0;
  EXPECT_TRUE(FlareNodeOccluded(node_, camera_));
  block_.textureOptions = kTextureOptionLensFlares;
  EXPECT_FALSE(FlareNodeOccluded(node_, camera_)) << "nothing in the way";
  node_->screenX = 0x10001;
  camera_->cameraFlags |= kCameraFlaresBlocked;
  EXPECT_FALSE(FlareNodeOccluded(node_, camera_)) << "off the viewport";
  node_->screenX = 0x8000;
  EXPECT_TRUE(FlareNodeOccluded(node_, camera_));
}

TEST_F(Flares, AnInstanceOnTheLineOfSightOccludesTheFlare) {
  block_.textureOptions = kTextureOptionLensFlares;
  camera_->fieldOfView = 0x4000;
  MatrixSetIdentity(&camera_->instance.worldMatrix);
  source_->world = FixedVector{0, 0, 100000, 0};
  node_->screenX = node_->screenY = 0x8000;
  InstanceRecord* blocker = B3D_InstAlloc();
  ASSERT_TRUE(B3D_InstSetBody(blocker, kSpriteBody));
  AddInstanceToScene(blocker, scene_);
  ASSERT_TRUE(B3D_InstSetSize(blocker, 5000));
  ASSERT_GE(B3D_InstGetTotalSize(blocker), 2000);
  ASSERT_LE(B3D_InstGetTotalSize(blocker), 20000);
  blocker->flags |= kInstCollisionMade | kInstCameraCoordsDone;
  struct Case {
    FixedVector at;
    bool occluded;
  };
  const Case kCases[] = {
      {{0, 0, 50000, 0}, true},
      {{45000, 0, 50000, 0}, false},   // beside the line
      {{0, 0, -50000, 0}, false},      // behind the camera
      {{0, 0, 150000, 0}, false},      // behind the source
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.at.x);
    blocker->world = c.at;
    camera_->nearInstances[0] = nullptr;  // the occluders are collected again
    EXPECT_EQ(FlareNodeOccluded(node_, camera_), c.occluded);
  }
}

// ---------------------------------------------------------------------------------------------
// 3D text.

class Text : public ::testing::Test {
 protected:
  void TearDown() override {
    bodies_.Clear();
    ResetEngine3D();
  }
  void AddCharacterBodies() {
    for (int32_t body = 600; body <= 702; ++body) ASSERT_NE(bodies_.AddLevels(body, 100, 1, 2, 0), nullptr);
  }
  static std::vector<int32_t> Bodies(InstanceRecord* root) {
    std::vector<int32_t> out;
    for (InstanceRecord* c = InstFirstChild(root); c; c = InstNextSibling(c)) out.push_back(c->bodyId);
    return out;
  }
  EngineFixture engine_;
  CachedBodies bodies_;
};

TEST_F(Text, CharactersDecodeToTheirBodies) {
  AddCharacterBodies();
  struct Case {
    const char* text;
    std::vector<int32_t> bodies;
  };
  const Case kCases[] = {
      {"Ab", {600 + 'A' - 32, 600 + 'b' - 32}},
      {"\xC3\x84", {696}},                        // A with diaeresis
      {"\xC3\x9F\xC3\xBC", {702, 701}},
      {"\xE2\x82\xAC", {631}},                    // the euro sign is above 255: "?"
      {"a\xF0\x9F\x98\x80z", {600 + 'a' - 32}},   // a four-byte lead ends the text
      {"a\xC3", {600 + 'a' - 32}},                // a lone lead at the end ends it
      {"a\xE2\x82", {600 + 'a' - 32}},
      {"\x01~", {695, 600 + '~' - 32}},
      {"", {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    InstanceRecord* root = CreateTextInstance(c.text, 0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Bodies(root), c.bodies);
    FreeInstance(root);
  }
}

TEST_F(Text, ANullTextSpellsTheNullPointerWord) {
  AddCharacterBodies();
  InstanceRecord* root = CreateTextInstance(nullptr, 0);
  ASSERT_NE(root, nullptr);
  std::vector<int32_t> expected;
  for (const char* p = kTextNullPtr; *p; ++p) expected.push_back(600 + *p - 32);
  EXPECT_EQ(Bodies(root).size(), 14u);
  EXPECT_EQ(Bodies(root), expected);
  EXPECT_EQ(root->bodyId, 601);
  FreeInstance(root);
}

TEST_F(Text, AlignmentAndRows) {
  AddCharacterBodies();
  struct Case {
    uint32_t flags;
    int32_t firstX, lastX, y;
  };
  // Three characters, each two advances (1.0) wide, centred half an advance in.
  const Case kCases[] = {
      {0, 0x8000, 0x28000, -0x10000},
      {2, 0x8000 - 0x30000, -0x8000, -0x10000},  // the last ends at the origin
      {4 | 0x20, 0x8000 - 0x30000, -0x8000, 0},
      {0x40, 0x8000, 0x28000, 0x10000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.flags);
    InstanceRecord* root = CreateTextInstance("abc", c.flags);
    ASSERT_NE(root, nullptr);
    InstanceRecord* first = InstFirstChild(root);
    InstanceRecord* last = first;
    while (InstNextSibling(last)) last = InstNextSibling(last);
    EXPECT_EQ(first->position.x, c.firstX);
    EXPECT_EQ(last->position.x, c.lastX);
    EXPECT_EQ(first->position.y, c.y);
    EXPECT_TRUE(first->flags & kInstScaledWithParent);
    FreeInstance(root);
  }
}

}  // namespace
