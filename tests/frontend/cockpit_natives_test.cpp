// The cockpit natives through the INS_ dispatcher: setter and getter pairs, the view parameters
// with their array answers, cameras, objects, the global settings, tracking with its tones and the
// lock event, the distance and projection answers, and missing or mistyped arguments.
#include <gtest/gtest.h>

#include <vector>

#include "frontend/cockpit/cockpit_natives.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "scene/camera_records.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"
#include "universe/universe_registry.h"
#include "cockpit_world.h"

namespace {

class CockpitNatives : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    c_ = NewCockpit();
    ASSERT_NE(c_, nullptr);
    h_ = static_cast<int32_t>(c_->handle);
  }
  CockpitRecord* c_ = nullptr;
  int32_t h_ = 0;
};

TEST_F(CockpitNatives, SettersAndGettersPairUp) {
  struct Case {
    const char* what;
    int32_t setter;
    std::vector<int32_t> args;  // after the handle
    int32_t getter;
    int32_t answer;
  };
  const Case kCases[] = {
      {"radar mode 2, range 999", 21, {2, 999}, 22, 2},
      {"range below 1000 is the default", 21, {2, 999}, 23, 10000000},
      {"range 1000 is kept", 21, {2, 1000}, 23, 1000},
      {"grid on", 19, {5}, 20, 5},
      {"grid off", 19, {0}, 20, 0},
      {"cockpit number", 25, {3}, 26, 3},
      {"negative cockpit number", 25, {-2}, 26, 0},
      {"monitor number", 27, {-7}, 28, -7},
      {"flags", 86, {0x1234}, 87, 0x1234},
      {"camera offset x", 54, {4, 5, 6}, 55, 4},
      {"camera offset y", 54, {4, 5, 6}, 56, 5},
      {"camera offset z", 54, {4, 5, 6}, 57, 6},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.what);
    std::vector<int32_t> args{h_};
    args.insert(args.end(), k.args.begin(), k.args.end());
    EXPECT_EQ(Call(k.setter, args), 0);
    EXPECT_EQ(Call(k.getter, {h_}), k.answer);
  }
}

TEST_F(CockpitNatives, ViewParametersAreStoredAndAnsweredAsArrays) {
  struct Case {
    int32_t setter;
    int32_t* field;
    int32_t arrayGetter;  // -1: none
  };
  const Case kCases[] = {
      {47, c_->viewPos, 88},       {77, c_->viewCameraOffset2, -1}, {78, c_->viewPointOffset, -1},
      {79, c_->viewPointOffset2, -1}, {82, c_->viewAngle1, -1},    {83, c_->viewAngle2, -1},
      {84, c_->posAngle1, -1},     {85, c_->posAngle2, -1},         {91, c_->refViewPos, 94},
      {92, c_->refPos, 93},
  };
  int32_t n = 1;
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.setter);
    EXPECT_EQ(Call(k.setter, {h_, n, -n, 3 * n}), 0);
    EXPECT_EQ(k.field[0], n);
    EXPECT_EQ(k.field[1], -n);
    EXPECT_EQ(k.field[2], 3 * n);
    if (k.arrayGetter >= 0) {
      EXPECT_EQ(Call(k.arrayGetter, {h_}), -1);
      EXPECT_EQ(ArrayAnswer(), (std::vector<int32_t>{n, -n, 3 * n}));
    }
    ++n;
  }
  c_->viewPointPos[1] = 42;
  EXPECT_EQ(Call(89, {h_}), -1);
  EXPECT_EQ(ArrayAnswer(), (std::vector<int32_t>{0, 42, 0}));
  // An unknown cockpit answers 0, not an array.
  EXPECT_EQ(Call(88, {h_ + 50}), 0);

  SetTime(12345);
  Call(80, {h_, 700});
  Call(81, {h_, 900});
  EXPECT_EQ(c_->viewDuration, 700u);
  EXPECT_EQ(c_->viewStart, 12345u);
  EXPECT_EQ(c_->posDuration, 900u);
  EXPECT_EQ(c_->posStart, 12345u);
  Call(95, {h_, 0});
  EXPECT_EQ(c_->cinematicLoopTime, 0u);  // accepted; the pass then holds still
  Call(96, {h_, 1});
  EXPECT_EQ(c_->noDecay, 1u);
  Call(48, {h_, 1});
  EXPECT_EQ(c_->viewMode, 1u);
}

TEST_F(CockpitNatives, AnUnlockedChangeMovesOnlyTheTargetsAndLockingCopiesThem) {
  c_->viewAngle[0] = 9;
  Call(43, {h_, 100, 200, 300});
  EXPECT_EQ(c_->viewAngleTarget[2], 300);
  EXPECT_EQ(c_->viewAngle[0], 9);
  EXPECT_EQ(Call(58, {h_}), 9);
  Call(46, {h_, 1});
  EXPECT_EQ(c_->viewLocked, 1u);
  EXPECT_EQ(Call(58, {h_}), 100);
  EXPECT_EQ(Call(59, {h_}), 200);
  EXPECT_EQ(Call(60, {h_}), 300);
  // Locked, a change moves both at once.
  Call(43, {h_, 1, 2, 3});
  EXPECT_EQ(c_->viewAngle[1], 2);
  Call(46, {h_, 0});
  EXPECT_EQ(c_->viewLocked, 0u);
  Call(43, {h_, 7, 7, 7});
  EXPECT_EQ(c_->viewAngle[1], 2);
}

TEST_F(CockpitNatives, FlagsMissilesBodiesAndZoom) {
  Call(61, {h_, 0x12345, 11, 22});
  EXPECT_EQ(c_->currentMissile, 0x2345);
  EXPECT_EQ(c_->missileWords[0], 22);  // b first
  EXPECT_EQ(c_->missileWords[1], 11);
  struct Case {
    int32_t mode;
    uint32_t on;
  };
  for (const Case& k : {Case{1, 0}, Case{0, 1}, Case{2, 1}}) {
    Call(24, {h_, k.mode});
    EXPECT_EQ(c_->cockpitBodyOn, k.on) << k.mode;
    EXPECT_EQ(c_->radarBodyOn, k.on);
    EXPECT_EQ(c_->displayBodyOn, k.on);
  }
  Call(50, {h_, 0});
  Call(51, {h_, 4});
  Call(52, {h_, 0});
  EXPECT_EQ(c_->cockpitBodyOn, 0u);
  EXPECT_EQ(c_->radarBodyOn, 4u);
  Call(49, {h_, 0});
  EXPECT_EQ(c_->draw2D, 0u);
  c_->viewFlags = 0x10;
  Call(31, {h_, 1});
  EXPECT_EQ(c_->viewFlags, 0x11u);
  Call(31, {h_, 0});
  EXPECT_EQ(c_->viewFlags, 0x10u);
  Call(16, {h_, 3});
  EXPECT_EQ(c_->shading, 3u);
  Call(53, {h_, 0});
  EXPECT_EQ(c_->overlay.enabled, 0u);
  Call(53, {h_, 1});
  EXPECT_EQ(c_->overlay.enabled, 1u);
}

TEST_F(CockpitNatives, CamerasAndTheSceneAnswerTheirHandlesAndTakeTheFieldOfView) {
  EXPECT_EQ(Call(2, {h_}), static_cast<int32_t>(c_->camera->instance.handle));
  EXPECT_EQ(Call(4, {h_}), static_cast<int32_t>(c_->scene->handle));
  CameraRecord* sector = B3D_CameraAlloc();
  CameraRecord* galaxy = B3D_CameraAlloc();
  CameraRecord* dust = B3D_CameraAlloc();
  c_->fieldOfView = 0x3000;
  Call(5, {h_, static_cast<int32_t>(sector->instance.handle)});
  Call(6, {h_, static_cast<int32_t>(galaxy->instance.handle)});
  Call(7, {h_, static_cast<int32_t>(dust->instance.handle)});
  EXPECT_EQ(Call(8, {h_}), static_cast<int32_t>(sector->instance.handle));
  EXPECT_EQ(Call(9, {h_}), static_cast<int32_t>(galaxy->instance.handle));
  EXPECT_EQ(Call(10, {h_}), static_cast<int32_t>(dust->instance.handle));
  EXPECT_EQ(sector->fieldOfView, 0x3000u);
  EXPECT_EQ(galaxy->fieldOfView, 0x3000u);
  EXPECT_EQ(dust->fieldOfView, 0x3000u);
  EXPECT_EQ(sector->cameraFlags & 0x8000u, 0u);
  EXPECT_NE(dust->cameraFlags & 0x8000u, 0u);
  // A handle that names no camera (here: a light) stores none.
  Call(5, {h_, static_cast<int32_t>(c_->instances[0]->handle)});
  EXPECT_EQ(c_->sectorCamera, nullptr);
  EXPECT_EQ(Call(8, {h_}), 0);

  // The main camera leaves and rejoins the cockpit scene once.
  Call(3, {h_, 0});
  EXPECT_EQ(c_->camera->instance.scene, nullptr);
  Call(3, {h_, 1});
  Call(3, {h_, 1});
  EXPECT_EQ(c_->camera->instance.scene, c_->scene);
  EXPECT_EQ(ListFirst(&c_->scene->cameras), &c_->camera->instance.node);
  EXPECT_EQ(ListNext(&c_->camera->instance.node), nullptr);
  for (CameraRecord* camera : {sector, galaxy, dust}) B3D_CameraFree(camera);
  c_->galaxyCamera = c_->dustCamera = nullptr;
}

TEST_F(CockpitNatives, ObjectsAreReferencedByIdAndAnsweredByIdOrZero) {
  SpaceObject* ship = Object(40, kClassShip);
  Call(12, {h_, 40});
  Call(13, {h_, 40});
  Call(90, {h_, 40});
  EXPECT_EQ(Call(14, {h_}), 40);
  EXPECT_EQ(Call(15, {h_}), 40);
  EXPECT_EQ(c_->refViewObject, ship);
  Call(12, {h_, 41});  // unknown
  EXPECT_EQ(Call(14, {h_}), 0);
  EXPECT_EQ(c_->refObject, nullptr);

  // A sector gives the cockpit scene the ambient colour of its background type: the type in the
  // sector's background word, as the sector's scenes and the dust take it, never the sector's own
  // (class-1) subtype.
  ObjectTypeRecord* backgrounds = Rows(kClassBackground, 3);
  for (int k = 1; k <= 3; ++k) {
    backgrounds[1].background.values7[k] = 99;
    backgrounds[2].background.values7[k] = 10 * k;
  }
  SpaceObject* object = Object(50, kClassSector);
  auto* sector = static_cast<SectorObject*>(object);
  sector->subtype = 1;
  sector->sceneWords[0] = 2;
  Call(11, {h_, 40});  // not a sector
  EXPECT_EQ(c_->sectorSpace, nullptr);
  EXPECT_EQ(c_->scene->values[2], 64);
  Call(11, {h_, 50});
  EXPECT_EQ(c_->sectorSpace, object);
  EXPECT_EQ(c_->scene->values[0], 10);
  EXPECT_EQ(c_->scene->values[1], 20);
  EXPECT_EQ(c_->scene->values[2], 30);
  // A background type the table lacks leaves the colour as it was, and the sector is still taken.
  sector->sceneWords[0] = 7;
  backgrounds[2].background.values7[1] = 55;
  c_->sectorSpace = nullptr;
  Call(11, {h_, 50});
  EXPECT_EQ(c_->sectorSpace, object);
  EXPECT_EQ(c_->scene->values[0], 10);
}

TEST_F(CockpitNatives, GlobalSettingsNeedNoCockpit) {
  Call(32, {5});
  EXPECT_EQ(gGuiMaster->timeWarpFactor, 5);
  Call(33, {0x2000});
  EXPECT_EQ(gGuiMaster->focus, 0x2000u);
  Call(70, {h_});
  EXPECT_EQ(gGuiMaster->activeControlCockpit, static_cast<uint32_t>(h_));
  Call(70, {h_ + 9});
  EXPECT_EQ(gGuiMaster->activeControlCockpit, 0u);
  Call(71, {3});
  EXPECT_EQ(Call(72), 1);
  Call(71, {0});
  EXPECT_EQ(Call(72), 0);
  Call(75, {1});
  EXPECT_EQ(gGuiMaster->drawRadar, 1);
}

TEST_F(CockpitNatives, TheDistanceToAnObjectIsMeasuredOnlyInTheCockpitView) {
  Object(60, kClassAsteroid, nullptr, 100, 200, 300);
  Object(61, kClassAsteroid, nullptr, 100, 200, 300 + 3000);
  Call(13, {h_, 60});
  struct Case {
    int32_t viewMode;
    int32_t id;
    int32_t answer;
  };
  const Case kCases[] = {{1, 61, 3000}, {0, 61, 0}, {2, 61, 0}, {1, 62, 0}, {1, 0, 0}};
  for (const Case& k : kCases) {
    Call(48, {h_, k.viewMode});
    EXPECT_EQ(Call(42, {h_, k.id}), k.answer) << k.viewMode << " " << k.id;
  }
  Call(13, {h_, 0});
  Call(48, {h_, 1});
  EXPECT_EQ(Call(42, {h_, 61}), 0);
}

TEST_F(CockpitNatives, ProjectingNeedsASectorCameraAndAnswersAPoint) {
  EXPECT_EQ(Call(100, {h_, 10, 10, 1000}), 0);
  CameraRecord* camera = B3D_CameraAlloc();
  Call(5, {h_, static_cast<int32_t>(camera->instance.handle)});
  EXPECT_EQ(Call(100, {h_, 10, 10, 1000}), -1);
  FixedVector expected;
  CameraUnprojectToWorld(10, 10, 1000, camera, &expected);
  EXPECT_EQ(ArrayAnswer(), (std::vector<int32_t>{expected.x, expected.y, expected.z}));
  ReleaseAnswer();
  B3D_CameraFree(camera);
}

TEST_F(CockpitNatives, TrackingSwitchesItsTonesWithSoundOne) {
  SpaceObject* carrier = Object(70, kClassShip);
  Object(71, kClassShip);
  struct Step {
    const char* what;
    int32_t function;
    std::vector<int32_t> args;  // after the handle
    int tones;                  // sounds played by this step
    uint32_t alertFlags;        // afterwards
    uint16_t trackMode;
  };
  const Step kSteps[] = {
      {"cursor tracking", 34, {}, 2, kAlertTrackingTone, 1},  // a new mode, then the tone on
      {"again", 34, {}, 0, kAlertTrackingTone, 1},
      {"enemy tracking", 35, {}, 1, kAlertTrackingTone, 4},   // only the change of mode
      {"an unknown object", 38, {99}, 0, kAlertTrackingTone, 4},
      {"an object", 38, {71}, 0, kAlertTrackingTone, 3},
      {"none", 38, {0}, 1, 0, 0},                            // only the tone that was on
      {"none again", 38, {0}, 0, 0, 0},
  };
  for (const Step& k : kSteps) {
    SCOPED_TRACE(k.what);
    tones_ = 0;
    std::vector<int32_t> args{h_};
    args.insert(args.end(), k.args.begin(), k.args.end());
    EXPECT_EQ(Call(k.function, args), 0);
    EXPECT_EQ(tones_, k.tones);
    EXPECT_EQ(gGuiMaster->alertFlags, k.alertFlags);
    EXPECT_EQ(c_->trackMode, k.trackMode);
  }
  EXPECT_EQ(Call(36, {h_}), 0);
  Call(34, {h_});
  EXPECT_EQ(Call(36, {h_}), 1);
  EXPECT_EQ(Call(37, {h_}), 0);

  // The overlay lock after cursor tracking: one sound, the lock bit, no second sound.
  tones_ = 0;
  SetTime(20000);
  CockpitSetTracking(c_, 2, FindObjectByIdGlobal(71));
  EXPECT_EQ(tones_, 1);
  EXPECT_EQ(gGuiMaster->alertFlags, kAlertTrackingTone | kAlertLockTone);
  EXPECT_EQ(c_->trackStart, 20000u);
  EXPECT_EQ(Call(39, {h_}), 71);
  CockpitSetTracking(c_, 2, nullptr);  // nothing without an object
  EXPECT_EQ(tones_, 1);
  // Tracking an object after the lock keeps the lock's start; none turns both tones off.
  SetTime(30000);
  Call(38, {h_, 71});
  EXPECT_EQ(c_->trackStart, 20000u);
  tones_ = 0;
  Call(38, {h_, 0});
  EXPECT_EQ(tones_, 2);
  EXPECT_EQ(gGuiMaster->alertFlags, 0u);
  EXPECT_EQ(Call(39, {h_}), 0);

  // The lock event goes out only with a carrying object.
  EXPECT_TRUE(locks_.empty());
  Call(13, {h_, 70});
  Call(38, {h_, 71});
  ASSERT_EQ(locks_.size(), 1u);
  EXPECT_EQ(locks_[0], (std::pair<uint32_t, uint32_t>{71, carrier->id}));
}

TEST_F(CockpitNatives, AimsAnswerObjectIds) {
  SpaceObject* sector = Object(80, kClassSector);
  SpaceObject* carrier = Object(81, kClassShip, sector);
  carrier->owner = 1;
  SpaceObject* ahead = Object(82, kClassShip, sector, 0, 0, 50000);
  ahead->radius = 1000;
  ahead->owner = 2;
  ObjSetRelation(2, carrier, -1);
  Call(13, {h_, 81});
  EXPECT_EQ(Call(40, {h_}), 0);  // no sector yet
  Call(11, {h_, 80});
  EXPECT_EQ(Call(40, {h_}), 82);
  EXPECT_EQ(Call(40, {h_, 5, 5, 1}), 82);
  EXPECT_EQ(Call(41, {h_}), 82);
  ahead->flags |= 0x10;
  EXPECT_EQ(Call(40, {h_}), 0);
  EXPECT_EQ(Call(41, {h_}), 0);
}

TEST_F(CockpitNatives, MissingOrMistypedArgumentsReadAsZero) {
  c_->radarRange = 5000;
  Call(21, {h_});  // mode 0, range 0
  EXPECT_EQ(c_->radarMode, 0u);
  EXPECT_EQ(c_->radarRange, 10000000);
  Call(43, {h_, 5});
  EXPECT_EQ(c_->viewAngleTarget[0], 5);
  EXPECT_EQ(c_->viewAngleTarget[1], 0);
  // A text where a number belongs reads as 0; a text where a text belongs is taken.
  std::vector<ScriptValue> values(3);
  SetValueInt(&values[0], h_);
  SetValueInt(&values[1], 3);
  SetValueString(&values[2], "x");
  CallValues(54, values);
  EXPECT_EQ(c_->viewCameraOffset[0], 3);
  EXPECT_EQ(c_->viewCameraOffset[1], 0);
  for (ScriptValue& v : values) ReleaseValue(&v);

  std::vector<ScriptValue> message(2);
  SetValueInt(&message[0], h_);
  SetValueString(&message[1], "hello");
  CallValues(17, message);
  EXPECT_EQ(c_->cameraMessage.shown, 1u);
  ReleaseValue(&message[1]);
  SetValueInt(&message[1], 5);  // not a text: hidden
  AttachSlot(c_->scene, &c_->cameraMessage.slot, kCameraMessageBody);
  CallValues(17, message);
  EXPECT_EQ(c_->cameraMessage.shown, 0u);
  EXPECT_EQ(c_->cameraMessage.slot.visible, 0u);
  // A duration only with a text.
  c_->messages.words[1] = 9;
  Call(30, {h_, 5, 700});
  EXPECT_EQ(c_->messages.words[1], 0);
}

}  // namespace
