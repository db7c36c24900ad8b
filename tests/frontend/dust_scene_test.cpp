// The dust scene: the stardust and its light made once, the stardust shown by the background's
// density, dust parts weighted by the body rates, made on the lattice, hidden beyond the count and
// recycled when faded, and the dust camera's velocity, stretch, stretch frame, orientation and
// place in the dust cube; also through the INS_ dust natives.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <vector>

#include "frontend/cockpit_world.h"
#include "frontend/hud/dust_scene.h"
#include "frontend/hud/hud_step.h"
#include "scene/camera_records.h"
#include "scene/instance_tree.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/cached_bodies.h"
#include "universe/object_classes.h"

namespace {

constexpr int32_t kDustBody = 500;
constexpr int32_t kSmallPart = 501;
constexpr int32_t kLargePart = 502;
constexpr int32_t kSmallPartSize = 1000;
constexpr int32_t kLargePartSize = 2000;
constexpr uint32_t kHidden = 0x100000;
constexpr uint32_t kStardust = 0x4000000;

std::vector<InstanceRecord*> Members(SceneRecord* scene) {
  std::vector<InstanceRecord*> out;
  for (ListNode* n = ListFirst(&scene->members); n; n = ListNext(n)) out.push_back(InstanceOfNode(n));
  return out;
}

std::vector<InstanceRecord*> Parts(SceneRecord* scene) {
  std::vector<InstanceRecord*> out;
  for (InstanceRecord* m : Members(scene))
    if (!(m->flags & kStardust)) out.push_back(m);
  return out;
}

}  // namespace

class DustScene : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    ASSERT_TRUE(bodies_.Add(kDustBody, 10));
    ASSERT_TRUE(bodies_.Add(kSmallPart, kSmallPartSize));
    ASSERT_TRUE(bodies_.Add(kLargePart, kLargePartSize));
    gGuiMaster->menuBodies[6] = kDustBody;
    type_ = &Rows(kClassBackground, 2)[1].background;
    type_->dustParts[0] = kSmallPart;
    type_->dustParts[1] = kLargePart;
    for (int i = 2; i < 8; ++i) type_->dustParts[i] = -1;
    sector_ = Object(1, kClassSector);
    static_cast<SectorObject*>(sector_)->sceneWords[0] = 1;
    scene_ = B3D_SceneAlloc();
    dust_ = B3D_CameraAlloc();
    sectorCamera_ = B3D_CameraAlloc();
    ASSERT_TRUE(scene_ && dust_ && sectorCamera_);
    B3D_CameraAddToScene(dust_, scene_);
  }
  void TearDown() override {
    B3D_SceneFree(scene_);  // with the dust camera
    B3D_CameraFree(sectorCamera_);
    bodies_.Clear();
    CockpitWorld::TearDown();
  }

  void SetRates(std::vector<int32_t> rates) {
    rates.resize(8, 0);
    for (int i = 0; i < 8; ++i) type_->values8[i] = rates[static_cast<size_t>(i)];
  }
  void Update() { UpdateDustScene(sector_, dust_, sectorCamera_); }

  CachedBodies bodies_;
  BackgroundType* type_ = nullptr;
  SpaceObject* sector_ = nullptr;
  SceneRecord* scene_ = nullptr;
  CameraRecord* dust_ = nullptr;
  CameraRecord* sectorCamera_ = nullptr;
};

TEST_F(DustScene, InitMakesTheLightAndTheStardustInTheCube) {
  InitDustScene(scene_);
  const std::vector<InstanceRecord*> members = Members(scene_);
  ASSERT_EQ(members.size(), 513u);
  const InstanceRecord* light = members[0];
  EXPECT_NE(light->flags & kInstLight, 0u);
  EXPECT_EQ(light->flags & 0x4404000u, 0x4404000u);
  EXPECT_EQ(light->lightColor[0] | light->lightColor[1] | light->lightColor[2], 0);
  EXPECT_EQ(light->words31[0], 0x10000u);
  EXPECT_EQ(light->words31[1], 0xA0000u);
  EXPECT_EQ(light->words31[2], 0u);
  EXPECT_EQ(light->lightRange, 1000000);
  // The generator from seed 1 answers 41, 18467, 6334 first: x, y, z of the first particle.
  EXPECT_EQ(members[1]->position.x, 41 * 16);
  EXPECT_EQ(members[1]->position.y, 18467 * 16);
  EXPECT_EQ(members[1]->position.z, 6334 * 16);
  for (size_t i = 1; i < members.size(); ++i) {
    const InstanceRecord* p = members[i];
    ASSERT_EQ(p->flags & 0x4004000u, 0x4004000u) << i;
    ASSERT_EQ(p->bodyId, kDustBody) << i;
    for (int32_t c : {p->position.x, p->position.y, p->position.z}) ASSERT_TRUE(c >= 0 && c <= 524272 && c % 16 == 0);
  }
  EXPECT_EQ(scene_->values[0], 255);
  EXPECT_EQ(scene_->values[1], 0);
  EXPECT_EQ(scene_->values[2], 0);
}

TEST_F(DustScene, DensityShowsTheFirstStardustMembers) {
  InitDustScene(scene_);
  type_->values4[1] = 10;
  type_->values4[2] = 20;
  type_->values4[3] = 30;
  struct Case {
    int32_t density;
    size_t shown;
  };
  // The light counts among the stardust; a density beyond 100 shows every member.
  for (const Case& c : {Case{50, 256}, Case{0, 0}, Case{100, 512}, Case{1, 5}, Case{300, 513}, Case{-20, 0},
                        Case{INT_MAX, 513}}) {
    type_->values4[0] = c.density;
    Update();
    const std::vector<InstanceRecord*> members = Members(scene_);
    for (size_t i = 0; i < members.size(); ++i)
      ASSERT_EQ((members[i]->flags & kHidden) == 0, i < c.shown) << "density " << c.density << " member " << i;
  }
  EXPECT_EQ(scene_->values[0], 10);
  EXPECT_EQ(scene_->values[1], 20);
  EXPECT_EQ(scene_->values[2], 30);
  EXPECT_TRUE(Parts(scene_).empty());
}

TEST_F(DustScene, RatesAndCountDecideTheParts) {
  struct Case {
    const char* what;
    std::vector<int32_t> rates;
    int32_t count;
    size_t small, large;
    bool shared;  // the parts fall to both bodies, in numbers the generator decides
  };
  const Case cases[] = {
      {"every rate 0", {}, 20, 0, 0, false},
      {"negative count", {1, 1}, -5, 0, 0, false},
      {"negative rates weigh nothing", {-7, 3}, 6, 0, 6, false},
      {"only a body without an id", {0, 0, 4}, 20, 0, 0, false},
      {"only the first body", {5}, 20, 20, 0, false},
      // 0x7FFFFFFF x 0x10000 and the total of 2^31 need more than 32 bits.
      {"largest rates", {INT_MAX, 1}, 20, 20, 0, false},
      {"rates above 32767", {40000, 40000}, 20, 0, 0, true},
  };
  for (const Case& c : cases) {
    B3D_SceneFree(scene_);
    scene_ = B3D_SceneAlloc();
    dust_ = B3D_CameraAlloc();
    B3D_CameraAddToScene(dust_, scene_);
    SetRates(c.rates);
    type_->values7[0] = c.count;
    const uint32_t handles = HashCount(engine_.engine().handleTable);
    Update();
    std::map<int32_t, size_t> bodies;
    for (InstanceRecord* p : Parts(scene_)) ++bodies[p->bodyId];
    const size_t made = Parts(scene_).size();
    if (c.shared) {
      EXPECT_EQ(bodies[kSmallPart] + bodies[kLargePart], static_cast<size_t>(c.count)) << c.what;
      EXPECT_GT(bodies[kSmallPart], 0u) << c.what;
      EXPECT_GT(bodies[kLargePart], 0u) << c.what;
    } else {
      EXPECT_EQ(bodies[kSmallPart], c.small) << c.what;
      EXPECT_EQ(bodies[kLargePart], c.large) << c.what;
      EXPECT_EQ(made, c.small + c.large) << c.what;
    }
    // Nothing is made that the scene does not hold.
    EXPECT_EQ(HashCount(engine_.engine().handleTable), handles + made) << c.what;
  }
}

TEST_F(DustScene, PartsStandOnTheLatticeAndAreHiddenBeyondTheCount) {
  InitDustScene(scene_);
  SetRates({1});
  type_->values7[0] = 20;
  Update();
  const std::vector<InstanceRecord*> parts = Parts(scene_);
  ASSERT_EQ(parts.size(), 20u);
  const int32_t expected[][3] = {{0, 0, 0}, {262144, 262144, 0}, {262144, 0, 262144}, {0, 262144, 262144}};
  for (int k = 0; k < 4; ++k) {
    for (int row : {k, 16 + k}) {
      const FixedVector& at = parts[static_cast<size_t>(row)]->position;
      EXPECT_EQ(at.x, expected[k][0]) << row;
      EXPECT_EQ(at.y, expected[k][1]) << row;
      EXPECT_EQ(at.z, expected[k][2]) << row;
    }
  }
  EXPECT_EQ(parts[8]->position.x, 131072);
  EXPECT_EQ(parts[12]->position.z, 393216);
  for (const InstanceRecord* p : parts) {
    EXPECT_EQ(p->flags & (kHidden | kStardust), 0u);
    EXPECT_NE(p->flags & 0x10000000u, 0u);
    EXPECT_EQ(p->size, 4 * kSmallPartSize);
  }
  EXPECT_NE(B3D_FindBody(kSmallPart)->flags & 0x20u, 0u);

  // A smaller count hides the surplus and keeps it; a larger one again makes nothing new.
  for (int32_t count : {5, -1, 20}) {
    type_->values7[0] = count;
    Update();
    const std::vector<InstanceRecord*> now = Parts(scene_);
    ASSERT_EQ(now.size(), 20u);
    for (size_t i = 0; i < now.size(); ++i)
      EXPECT_EQ((now[i]->flags & kHidden) != 0, static_cast<int32_t>(i) >= count) << count << " " << i;
  }
}

TEST_F(DustScene, FadedPartsTakeANewBodyAndStayHiddenOneFrame) {
  SetRates({1});
  type_->values7[0] = 3;
  Update();
  std::vector<InstanceRecord*> parts = Parts(scene_);
  ASSERT_EQ(parts.size(), 3u);
  SetRates({0, 1});
  parts[0]->flags2 |= 0x40000;
  parts[0]->alphaOverride = 77;
  Update();
  EXPECT_EQ(parts[0]->bodyId, kLargePart);
  EXPECT_EQ(parts[0]->size, 4 * kLargePartSize);
  EXPECT_NE(parts[0]->flags & kHidden, 0u);
  EXPECT_EQ(parts[0]->alphaOverride, 77);
  EXPECT_EQ(parts[1]->bodyId, kSmallPart);
  EXPECT_EQ(parts[1]->flags & kHidden, 0u);

  // Without a body to draw a faded part stays as it is, shown.
  SetRates({});
  parts[1]->flags2 |= 0x40000;
  Update();
  EXPECT_EQ(parts[1]->bodyId, kSmallPart);
  EXPECT_EQ(parts[1]->flags & kHidden, 0u);
  // A faded part beyond the count is only hidden.
  SetRates({1});
  type_->values7[0] = 0;
  Update();
  EXPECT_EQ(parts[0]->bodyId, kLargePart);
  EXPECT_EQ(Parts(scene_).size(), 3u);
}

TEST_F(DustScene, DustCameraFollowsTheSectorCamera) {
  struct Case {
    FixedVector velocity;
    int32_t across, along;
    bool identityFrame;
  };
  // 30030, 40040 is 50050 long: midway between 100 and 100000 gives 0.6, 0.6, 10.5.
  const Case cases[] = {
      {{0, 0, 0, 0}, 0x10000, 0x10000, true},
      {{30030, 40040, 0, 0}, 39321, 688128, false},
      {{0, 0, -2000000, 0}, 0x3333, 0x140000, false},
      {{99, -99, 99, 0}, LinearInterpolate(171, 100, 100000, 0x10000, 0x3333),
       LinearInterpolate(171, 100, 100000, 0x10000, 0x140000), true},
      {{INT_MIN, INT_MIN, INT_MIN, 0}, 0x3333, 0x140000, false},
  };
  for (const Case& c : cases) {
    sectorCamera_->instance.velocity = c.velocity;
    sectorCamera_->instance.velocity.w = 9;
    Update();
    EXPECT_EQ(dust_->instance.velocity.x, c.velocity.x);
    EXPECT_EQ(dust_->instance.velocity.w, 9);
    EXPECT_NE(dust_->cameraFlags & 0x200u, 0u);
    EXPECT_EQ(dust_->factors[0], c.across) << c.velocity.x;
    EXPECT_EQ(dust_->factors[1], c.across) << c.velocity.x;
    EXPECT_EQ(dust_->factors[2], c.along) << c.velocity.x;
    const FixedMatrix& m = dust_->scaleOrientation;
    if (c.identityFrame) {
      FixedMatrix identity;
      MatrixSetIdentity(&identity);
      for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(m.m[r][k], identity.m[r][k]);
      continue;
    }
    // The stretch axis (the third row) points along the flight.
    FixedVector unit = c.velocity;
    NormalizeVector(&unit);
    EXPECT_NEAR(m.m[2][0], unit.x, 64) << c.velocity.x;
    EXPECT_NEAR(m.m[2][1], unit.y, 64) << c.velocity.x;
    EXPECT_NEAR(m.m[2][2], unit.z, 64) << c.velocity.x;
  }

  MatrixFromAngles(&sectorCamera_->instance.matrix, 1000, 2000, 3000);
  sectorCamera_->instance.position = FixedVector{-1, 0x80000 + 5, 0x7FFFF, 0};
  Update();
  EXPECT_EQ(dust_->instance.position.x, 0x7FFFF);
  EXPECT_EQ(dust_->instance.position.y, 5);
  EXPECT_EQ(dust_->instance.position.z, 0x7FFFF);
  EXPECT_EQ(std::memcmp(&dust_->instance.matrix, &sectorCamera_->instance.matrix, sizeof(FixedMatrix)), 0);
}

TEST_F(DustScene, ASectorWithoutBackgroundMovesOnlyTheCamera) {
  InitDustScene(scene_);
  SetRates({1});
  type_->values7[0] = 4;
  static_cast<SectorObject*>(sector_)->sceneWords[0] = 7;  // no such background type
  sectorCamera_->instance.position.x = -2;
  Update();
  EXPECT_TRUE(Parts(scene_).empty());
  EXPECT_EQ(scene_->values[0], 255);
  EXPECT_EQ(dust_->instance.position.x, 0x7FFFE);
}

TEST_F(DustScene, NativesReachTheDustScene) {
  EXPECT_EQ(Call(68, {static_cast<int32_t>(scene_->handle)}), 0);
  EXPECT_EQ(Members(scene_).size(), 513u);
  SetRates({1});
  type_->values7[0] = 2;
  type_->values4[0] = 50;
  sectorCamera_->instance.position.z = -3;
  const int32_t dust = static_cast<int32_t>(dust_->instance.handle);
  const int32_t camera = static_cast<int32_t>(sectorCamera_->instance.handle);
  Call(69, {dust, 99, camera});  // no such sector
  EXPECT_TRUE(Parts(scene_).empty());
  EXPECT_EQ(Call(69, {dust, 1, camera}), 0);
  EXPECT_EQ(Parts(scene_).size(), 2u);
  EXPECT_EQ(dust_->instance.position.z, 0x7FFFD);
}
