// The sector camera's frame steps (placement by connect mode, the camera offset, the sector
// measured in the camera's frame, velocity and fog) and the grid, proximity-mark and tooltip slot
// steps, on hand-built objects, cameras and scenes of a headless scene engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/cockpit/cockpit_slots.h"
#include "support/cached_bodies.h"
#include "frontend/cockpit_world.h"
#include "frontend/frontend.h"
#include "frontend/hud/hud_slot_steps.h"
#include "frontend/hud/hud_step.h"
#include "frontend/hud/sector_camera.h"
#include "scene/camera_records.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "universe/object_classes.h"

namespace {

FixedVector Turned(const FixedMatrix& m, const int32_t v[3]) {
  FixedVector out;
  const FixedVector in{v[0], v[1], v[2], 0};
  MatrixMulVector(&out, &m, &in);
  return out;
}
FixedVector Plus(const FixedVector& a, const FixedVector& b) { return FixedVector{a.x + b.x, a.y + b.y, a.z + b.z, 0}; }
FixedMatrix Product(const FixedMatrix& a, const FixedMatrix& b) {
  FixedMatrix out;
  MatrixMultiply(&out, &a, &b);
  return out;
}
bool Same(const FixedMatrix& a, const FixedMatrix& b) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (a.m[r][c] != b.m[r][c]) return false;
  return true;
}

}  // namespace

class SectorCamera : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    Rows(kClassShip, 1);
    sector_ = Object(1, kClassSector);
    ship_ = Object(2, kClassShip, sector_, 1000, 2000, 3000);
    MatrixFromAngles(&Ship(ship_)->rotation, 0x4000, 0, 0);
    ship_->instance->matrix = Ship(ship_)->rotation;
    cockpit_ = NewCockpit();
    ASSERT_NE(cockpit_, nullptr);
    camera_ = B3D_CameraAlloc();
    ASSERT_NE(camera_, nullptr);
    cockpit_->sectorCamera = camera_;
    cockpit_->refObject = ship_;
    cockpit_->sectorSpace = sector_;
    MatrixFromAngles(&cockpit_->viewMatrix, 0, 0x1000, 0);
    cockpit_->viewPos[0] = 10;
    cockpit_->viewPos[1] = 20;
    cockpit_->viewPos[2] = 30;
    MatrixSetIdentity(&identity_);
  }
  void TearDown() override {
    cockpit_->sectorCamera = nullptr;
    B3D_CameraFree(camera_);
    CockpitWorld::TearDown();
  }

  SpaceObject* sector_ = nullptr;
  SpaceObject* ship_ = nullptr;
  CockpitRecord* cockpit_ = nullptr;
  CameraRecord* camera_ = nullptr;
  FixedMatrix identity_{};
};

TEST_F(SectorCamera, TheConnectModeChoosesPlaceAndOrientation) {
  const FixedMatrix& r = Ship(ship_)->rotation;
  const FixedVector behind = Plus(ship_->instance->position, Turned(r, cockpit_->viewPos));
  const FixedVector fixed{10, 20, 30, 0};
  const FixedMatrix turned = Product(cockpit_->viewMatrix, r);
  const FixedMatrix own = cockpit_->viewMatrix;
  SpaceObject* other = Object(3, kClassShip, sector_);
  struct Case {
    std::string name;
    uint32_t mode, flags;
    SpaceObject* carrier;
    FixedVector position;
    FixedMatrix orientation;
  };
  const std::vector<Case> kCases = {
      {"following", 0, 0, nullptr, behind, turned},
      {"fixed place 5", 5, 0, nullptr, fixed, own},
      {"fixed place 6", 6, 0, nullptr, fixed, own},
      {"fixed by the flag", 0, 4, nullptr, fixed, own},
      {"own orientation", 3, 0, nullptr, behind, own},
      {"own orientation, carried by the reference", 3, 0, ship_, behind, own},
      {"own orientation, carried by another", 3, 0, other, behind, turned},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    cockpit_->viewConnectMode = c.mode;
    cockpit_->flags = c.flags;
    cockpit_->cockpitRefObject = c.carrier;
    PlaceSectorCamera(cockpit_, &identity_);
    EXPECT_EQ(camera_->instance.position.x, c.position.x);
    EXPECT_EQ(camera_->instance.position.y, c.position.y);
    EXPECT_EQ(camera_->instance.position.z, c.position.z);
    EXPECT_TRUE(Same(camera_->instance.matrix, c.orientation));
  }
}

TEST_F(SectorCamera, AnObjectOutsideASectorIsFollowedByItsWorldPlace) {
  SpaceObject* dock = Object(4, kClassDock, sector_);
  SpaceObject* docked = Object(5, kClassShip, dock, 1, 1, 1);
  docked->instance->world = {7000, 8000, 9000, 0};
  MatrixFromAngles(&docked->instance->worldMatrix, 0x8000, 0, 0);
  cockpit_->refObject = docked;
  PlaceSectorCamera(cockpit_, &identity_);
  const FixedVector want = Plus(docked->instance->world, Turned(docked->instance->worldMatrix, cockpit_->viewPos));
  EXPECT_EQ(camera_->instance.position.x, want.x);
  EXPECT_EQ(camera_->instance.position.z, want.z);
  EXPECT_TRUE(Same(camera_->instance.matrix, Product(cockpit_->viewMatrix, docked->instance->worldMatrix)));
}

TEST_F(SectorCamera, TheCameraOffsetCountsOutsideTheModesThatIgnoreIt) {
  cockpit_->viewCameraOffset[2] = -5000;
  for (uint32_t mode = 0; mode <= 9; ++mode) {
    SCOPED_TRACE(mode);
    cockpit_->viewConnectMode = mode;
    cockpit_->viewCameraOffset[2] = 0;
    PlaceSectorCamera(cockpit_, &identity_);
    const FixedVector without = camera_->instance.position;
    cockpit_->viewCameraOffset[2] = -5000;
    PlaceSectorCamera(cockpit_, &identity_);
    const bool ignored = mode == 4 || mode == 5 || mode == 6 || mode == 8 || mode == 9;
    const FixedVector want =
        ignored ? without : Plus(without, Turned(camera_->instance.matrix, cockpit_->viewCameraOffset));
    EXPECT_EQ(camera_->instance.position.x, want.x);
    EXPECT_EQ(camera_->instance.position.y, want.y);
    EXPECT_EQ(camera_->instance.position.z, want.z);
  }
}

TEST_F(SectorCamera, NoEyePointWithoutACockpitPosition) {
  CockpitEye eye{};
  EXPECT_FALSE(FindCockpitEye(ship_, 0, &eye));  // a type without component rows
  gObjectTypeTables[kClassShip].rows[0].ship.componentCount = 1;
  EXPECT_FALSE(FindCockpitEye(ship_, 1, &eye));   // beyond the rows
  EXPECT_FALSE(FindCockpitEye(ship_, -1, &eye));
  EXPECT_FALSE(FindCockpitEye(ship_, 0, &eye));   // no node for the row
  SpaceObject* dock = Object(6, kClassDock, sector_);
  EXPECT_FALSE(FindCockpitEye(dock, 0, &eye));
}

// A ship whose type has two cockpit positions: 0 in the ship's own model, 1 in a child node whose
// cockpit type brings its own interior cut. Both bodies have their eye point in list 1.
class CockpitEyes : public SectorCamera {
 protected:
  static constexpr int32_t kShipBody = 77;
  static constexpr int32_t kNodeBody = 78;
  static constexpr int32_t kNodePath = 5;
  static constexpr int32_t kNodeCut = 4321;

  void SetUp() override {
    SectorCamera::SetUp();
    ASSERT_TRUE(bodies_.Add(kShipBody, 0x10000));
    ASSERT_TRUE(bodies_.Add(kNodeBody, 0x10000));
    ShipType& type = gObjectTypeTables[kClassShip].rows[0].ship;
    type.componentCount = 2;
    type.components[0] = {1, -1, kShipBody, 0, -1, 0};
    type.components[1] = {2, -1, kNodeBody, kNodePath, 0, 0};
    Rows(kClassCockpit, 1)[0].cockpit.cut = kNodeCut;
    points_[0].position[0] = 0x10000;
    points_[0].position[1] = 0x20000;
    points_[0].position[2] = -0x30000;
    points_[1] = points_[0];
    entries_[0] = {kShipBody, 1, &points_[0]};
    entries_[1] = {kNodeBody, 1, &points_[1]};
    gComponentTable.kinds[1] = {2, entries_};
    InstanceRecord* own = ship_->instance;
    own->bodyId = kShipBody;
    own->size = 0x20000;
    node_ = B3D_InstAlloc();
    ASSERT_NE(node_, nullptr);
    node_->bodyId = kNodeBody;
    node_->nodeId = kNodePath;
    node_->position = {100, 200, 300, 0};
    node_->size = 0x30000;
    MatrixFromAngles(&node_->matrix, 0x4000, 0, 0);
    ListInit(&own->children);
    ASSERT_TRUE(B3D_InstAddToInst(node_, own));
    cockpit_->cockpitRefObject = ship_;
    cockpit_->viewMode = 1;
  }
  void TearDown() override {
    FreeInstance(node_);
    bodies_.Clear();
    FreeBodyDataTable();
    SectorCamera::TearDown();
  }
  CachedBodies bodies_;
  ComponentPoint points_[2]{};
  ComponentEntry entries_[2]{};
  InstanceRecord* node_ = nullptr;
};

TEST_F(CockpitEyes, TheEyeIsThePointOfTheCockpitsModel) {
  CockpitEye eye{};
  ASSERT_TRUE(FindCockpitEye(ship_, 0, &eye));
  EXPECT_EQ(eye.point.x, 0x20000);  // the point times the node's size, 2.0
  EXPECT_EQ(eye.point.y, 0x40000);
  EXPECT_EQ(eye.point.z, -0x60000);
  EXPECT_TRUE(Same(eye.node, identity_));
  EXPECT_EQ(eye.interiorCut, -1);

  ASSERT_TRUE(FindCockpitEye(ship_, 1, &eye));
  const FixedVector turned = Turned(node_->matrix, points_[1].position);
  EXPECT_EQ(eye.point.x, 100 + FixedMul(turned.x, 0x30000));
  EXPECT_EQ(eye.point.y, 200 + FixedMul(turned.y, 0x30000));
  EXPECT_EQ(eye.point.z, 300 + FixedMul(turned.z, 0x30000));
  EXPECT_TRUE(Same(eye.node, node_->matrix));
  EXPECT_EQ(eye.interiorCut, kNodeCut);

  // Without its list-1 entry, or with a body that does not load, there is no eye.
  gComponentTable.kinds[1].count = 1;
  EXPECT_FALSE(FindCockpitEye(ship_, 1, &eye));
  gComponentTable.kinds[1].count = 2;
  node_->bodyId = 79;
  EXPECT_FALSE(FindCockpitEye(ship_, 1, &eye));
}

TEST_F(CockpitEyes, TheInCockpitCameraSitsAtTheEyeAndTakesTheCockpitsInteriorCut) {
  FixedMatrix sway;
  MatrixFromAngles(&sway, 0x100, 0x200, 0);
  const FixedMatrix& r = ship_->instance->matrix;
  for (int32_t number : {0, 1}) {
    SCOPED_TRACE(number);
    cockpit_->cockpitNumber = number;
    CockpitEye eye{};
    ASSERT_TRUE(FindCockpitEye(ship_, number, &eye));
    PlaceSectorCamera(cockpit_, &sway);
    const int32_t local[3] = {eye.point.x + 10, eye.point.y + 20, eye.point.z + 30};
    const FixedVector want = Plus(ship_->instance->position, Turned(r, local));
    EXPECT_EQ(camera_->instance.position.x, want.x);
    EXPECT_EQ(camera_->instance.position.y, want.y);
    EXPECT_EQ(camera_->instance.position.z, want.z);
    EXPECT_TRUE(Same(camera_->instance.matrix, Product(sway, Product(Product(cockpit_->viewMatrix, eye.node), r))));
    EXPECT_EQ(cockpit_->interiorCut, eye.interiorCut);
  }
  // Connect mode 3 keeps the view's own orientation, turned only by the sway.
  cockpit_->viewConnectMode = 3;
  PlaceSectorCamera(cockpit_, &sway);
  EXPECT_TRUE(Same(camera_->instance.matrix, Product(sway, cockpit_->viewMatrix)));
}

TEST_F(SectorCamera, TheSectorIsMeasuredInTheCamerasFrame) {
  SpaceObject* a = Object(7, kClassShip, sector_, -40000, 25000, 900000);
  SpaceObject* b = Object(8, kClassAsteroid, sector_, 123457, -98765, 5);
  camera_->instance.position = {1000, -2000, 3000, 0};
  MatrixFromAngles(&camera_->instance.matrix, 0x1234, 0x0F00, 0x2000);
  MeasureSectorInCameraFrame(cockpit_);
  for (SpaceObject* o : {ship_, a, b}) {
    const FixedVector& p = o->instance->position;
    const int64_t d[3] = {int64_t{p.x} - 1000, int64_t{p.y} + 2000, int64_t{p.z} - 3000};
    const int32_t got[3] = {o->instance->cameraPos.x, o->instance->cameraPos.y, o->instance->cameraPos.z};
    for (int row = 0; row < 3; ++row) {
      int64_t want = 0;
      for (int c = 0; c < 3; ++c) want += (camera_->instance.matrix.m[row][c] * d[c] + 0x8000) >> 16;
      EXPECT_EQ(got[row], want) << o->id << " row " << row;
    }
  }
  // Without a sector nothing is measured.
  a->instance->cameraPos = {1, 2, 3, 0};
  cockpit_->sectorSpace = nullptr;
  MeasureSectorInCameraFrame(cockpit_);
  EXPECT_EQ(a->instance->cameraPos.x, 1);
}

TEST_F(SectorCamera, VelocityFromTheLastStampOverAShortSpanAndDistance) {
  struct Case {
    std::string name;
    bool tracked;
    uint32_t elapsed;
    int32_t moveX;
    bool changes;
  };
  const Case kCases[] = {
      {"a tenth of a second", true, 100, 1000, true},
      {"just under three seconds", true, 2999, 2999, true},
      {"three seconds", true, 3000, 1000, false},
      {"no time", true, 0, 1000, false},
      {"never stamped", false, 100, 1000, false},
      {"a jump", true, 100, 5000000, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    InstanceRecord& view = camera_->instance;
    view.velocity = view.cameraVelocity = {-1, -1, -1, 0};
    view.position = {c.moveX, 0, -500, 0};
    camera_->tracked = c.tracked;
    camera_->trackTime = 10000 - c.elapsed;
    camera_->trackPosition = {0, 0, 0, 0};
    UpdateSectorCameraMotion(cockpit_);
    const int32_t wantX = c.changes ? static_cast<int32_t>(int64_t{c.moveX} * 1000 / c.elapsed) : -1;
    const int32_t wantZ = c.changes ? static_cast<int32_t>(-500 * 1000 / static_cast<int64_t>(c.elapsed)) : -1;
    for (const FixedVector* v : {&view.velocity, &view.cameraVelocity}) {
      EXPECT_EQ(v->x, wantX);
      EXPECT_EQ(v->z, wantZ);
    }
  }
}

TEST_F(SectorCamera, FogComesFromTheSectorsBackgroundType) {
  ObjectTypeRecord* backgrounds = Rows(kClassBackground, 3);
  backgrounds[1].background.values7[5] = 0;
  backgrounds[1].background.values7[6] = 700;
  backgrounds[2].background.values7[5] = 300;
  backgrounds[2].background.values7[6] = 9000;
  struct Case {
    uint32_t background;
    int32_t fog[3];
  };
  const Case kCases[] = {{2, {0xFFFFFF, 300, 9000}}, {1, {0, 0, 700}}, {9, {0, 0, 700}}};  // 9: no such type
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.background);
    static_cast<SectorObject*>(sector_)->sceneWords[0] = c.background;
    UpdateSectorCameraMotion(cockpit_);
    EXPECT_EQ(camera_->fog[0], c.fog[0]);
    EXPECT_EQ(camera_->fog[1], c.fog[1]);
    EXPECT_EQ(camera_->fog[2], c.fog[2]);
    EXPECT_TRUE(camera_->cameraFlags & kCameraFog);
  }
}

TEST_F(SectorCamera, ACockpitWithoutASectorCameraStepsInPeace) {
  cockpit_->sectorCamera = nullptr;
  cockpit_->cockpitRefObject = ship_;
  cockpit_->viewMode = 1;
  cockpit_->viewCameraOffset[0] = 100;
  for (int frame = 0; frame < 100; ++frame) {
    SetTime(10000 + 16 * static_cast<uint32_t>(frame));
    UpdateHud();
  }
  EXPECT_EQ(camera_->instance.position.x, 0);
  cockpit_->sectorCamera = camera_;
}

// ---------------------------------------------------------------------------------------------
// Slot steps.

class HudSlotSteps : public SectorCamera {
 protected:
  void SetUp() override {
    SectorCamera::SetUp();
    space_ = B3D_SceneAlloc();
    ASSERT_NE(space_, nullptr);
    static_cast<SectorObject*>(sector_)->sceneA = space_;
    cockpit_->cockpitRefObject = ship_;
    cockpit_->viewMode = 1;
  }
  void TearDown() override {
    HideSlot(&cockpit_->grid);
    static_cast<SectorObject*>(sector_)->sceneA = nullptr;
    B3D_SceneFree(space_);
    SectorCamera::TearDown();
  }
  SceneRecord* space_ = nullptr;
};

TEST_F(HudSlotSteps, TheGridShowsInTheSectorOnlyOnTheMainMonitorWhileOn) {
  struct Case {
    std::string name;
    int32_t monitor;
    uint32_t on;
    bool inSector;
    bool shown;
  };
  const Case kCases[] = {
      {"on", 0, 1, true, true},
      {"off", 0, 0, true, false},
      {"another monitor", 1, 1, true, false},
      {"again on", 0, 1, true, true},
      {"carrier docked", 0, 1, false, false},
  };
  SpaceObject* dock = Object(9, kClassDock, sector_);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    cockpit_->monitorNumber = c.monitor;
    cockpit_->gridOn = c.on;
    ship_->parent = c.inSector ? sector_ : dock;
    UpdateGridSlot(cockpit_);
    const CockpitSlot& grid = cockpit_->grid;
    ASSERT_NE(grid.instance, nullptr);
    EXPECT_EQ(grid.visible != 0, c.shown);
    EXPECT_EQ(grid.instance->scene == space_, c.shown);
    if (c.shown) {
      EXPECT_EQ(grid.instance->size, kGridSize);
      EXPECT_EQ(grid.instance->position.x, 0);
      EXPECT_TRUE(Same(grid.instance->matrix, identity_));
    }
  }
  ship_->parent = sector_;
}

TEST_F(HudSlotSteps, ProximityMarksCloseInOnTheNearestObstacle) {
  ship_->radius = 100000;
  ShipExt* ext = Ship(ship_);
  SpaceObject* far = Object(10, kClassAsteroid, sector_, 1000 + 300000, 2000, 3000);
  far->radius = 10000;  // 290000 less its radius
  SpaceObject* near = Object(11, kClassAsteroid, sector_, 1000, 2000 + 60000, 3000);
  ext->threats[0] = far;
  ext->threats[1] = near;
  ext->threatCount = 2;
  EXPECT_EQ(NearestProximityObject(ship_), near);
  cockpit_->elements.flag = 1;
  // v = 60000 of the 120000 the radii and the margin allow: half way.
  constexpr int32_t v = 500;
  struct Case {
    int32_t nearX, nearY;
    int32_t sideY, upDownX;  // the y of slots 0 and 1, the x of slots 2 and 3
  };
  const Case kCases[] = {{0, 0, -v, -v}, {500, -500, -v, v}, {-500, 500, v, -v}, {99, -99, -v, -v}, {100, -100, -v, v}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.nearX) + "," + std::to_string(c.nearY));
    near->instance->cameraPos = {c.nearX, c.nearY, 5000, 0};
    UpdateProximityMarks(cockpit_);
    const int32_t wantX[kElementSlotCount] = {-50, 50, c.upDownX, c.upDownX};
    const int32_t wantY[kElementSlotCount] = {c.sideY, c.sideY, -62, 62};
    const uint32_t roll[kElementSlotCount] = {0xC000, 0x4000, 0, 0x8000};
    for (int k = 0; k < kElementSlotCount; ++k) {
      const CockpitSlot& slot = cockpit_->elements.slots[k];
      ASSERT_NE(slot.instance, nullptr);
      EXPECT_TRUE(slot.visible);
      EXPECT_EQ(slot.bodyId, kProximityBody);
      EXPECT_EQ(slot.instance->scene, cockpit_->scene);
      EXPECT_EQ(slot.instance->position.x, wantX[k]) << k;
      EXPECT_EQ(slot.instance->position.y, wantY[k]) << k;
      EXPECT_EQ(slot.instance->position.z, kProximityMarkDepth);
      EXPECT_TRUE(slot.instance->flags & kInstSizeUsed);
      EXPECT_EQ(slot.instance->sizeUsed, 1);  // not hostile
      FixedMatrix turned;
      MatrixFromAngles(&turned, 0, 0, roll[k]);
      EXPECT_TRUE(Same(slot.instance->matrix, turned)) << k;
    }
  }
}

TEST_F(HudSlotSteps, ProximityMarksHideWithoutSomethingNearOrOutsideTheView) {
  SpaceObject* near = Object(11, kClassAsteroid, sector_, 1000, 2000 + 60000, 3000);
  ShipExt* ext = Ship(ship_);
  struct Case {
    std::string name;
    uint32_t flag, viewMode;
    int32_t distance;
    bool shown;
  };
  const Case kCases[] = {
      {"near", 1, 1, 60000, true},        {"flag clear", 0, 1, 60000, false},
      {"outside view", 1, 0, 60000, false}, {"at the reach", 1, 1, kProximityReach, false},
      {"inside the reach", 1, 1, kProximityReach - 1, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ext->threats[0] = near;
    ext->threatCount = 1;
    near->instance->position.y = 2000 + c.distance;
    cockpit_->elements.flag = c.flag;
    cockpit_->viewMode = c.viewMode;
    UpdateProximityMarks(cockpit_);
    for (const CockpitSlot& slot : cockpit_->elements.slots) {
      ASSERT_NE(slot.instance, nullptr);
      EXPECT_EQ(slot.visible != 0, c.shown);
      EXPECT_EQ(slot.instance->scene == cockpit_->scene, c.shown);
    }
  }
}

TEST_F(HudSlotSteps, TheTooltipFollowsTheCockpitCameraAndShowsOnlyWhileShownAgain) {
  TooltipRecord& tooltip = cockpit_->tooltip;
  ASSERT_NE(tooltip.scene, nullptr);
  ASSERT_NE(tooltip.camera, nullptr);
  ASSERT_NE(cockpit_->camera, nullptr);
  CameraRecord* main = cockpit_->camera;
  CameraSetViewport(main, 0x1000, 0xE000, 0x2000, 0xF000);
  main->aspectWidth = 640;
  main->aspectHeight = 480;
  main->fieldOfView = 0x3000;
  B3D_SceneEnable(cockpit_->scene);
  UpdateTooltipStep(cockpit_);
  const CameraRecord& own = *tooltip.camera;
  EXPECT_EQ(own.viewTop, 0x1000);
  EXPECT_EQ(own.viewRight, 0xE000);
  EXPECT_EQ(own.viewLeft, 0x2000);
  EXPECT_EQ(own.viewBottom, 0xF000);
  EXPECT_EQ(own.aspectWidth, 640);
  EXPECT_EQ(own.aspectHeight, 480);
  EXPECT_EQ(own.fieldOfView, 0x3000u);
  EXPECT_EQ(own.instance.scene, tooltip.scene);  // taken out and added back
  EXPECT_TRUE(tooltip.scene->flags & kSceneEnabled);
  B3D_SceneDisable(cockpit_->scene);
  UpdateTooltipStep(cockpit_);
  EXPECT_FALSE(tooltip.scene->flags & kSceneEnabled);

  tooltip.instance = B3D_InstAlloc();
  InstanceRecord* letter = B3D_InstAlloc();
  ASSERT_TRUE(B3D_InstAddToInst(letter, tooltip.instance));
  struct Case {
    std::string name;
    uint32_t shown;
    int32_t showTimeFromNow;
    bool staysShown, visible;
  };
  const Case kCases[] = {
      {"shown this frame", 1, 0, true, true},
      {"not yet due", 1, 50, true, false},
      {"shown a frame ago", 1, -1, false, false},
      {"hidden", 0, 0, false, false},
  };
  gSystem->realTime = 50000;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    tooltip.shown = c.shown;
    tooltip.visibleTime = static_cast<uint32_t>(50000 + c.showTimeFromNow);
    UpdateTooltipStep(cockpit_);
    EXPECT_EQ(tooltip.shown != 0, c.staysShown);
    EXPECT_EQ((tooltip.instance->flags & kInstInvisible) == 0, c.visible);
    EXPECT_EQ((letter->flags & kInstInvisible) == 0, c.visible);
  }
}
