// Steering a ship in a sector with a fixed frame step: the autopilot holding turns and cruise but
// not thrusts, turrets or the direction control; the order of thrust actions; the cruise speed
// resting at zero; the throttle breakpoints; mouse motion on the direction control and through
// the smoothing window; turret view angles at their limits; turn rates outside a sector; when
// fast-forward stops; the cursor steering divisor; cockpits forgotten by the turret records.
#include <gtest/gtest.h>

#include "scene/scene_cameras.h"
#include "support/steering_world.h"
#include "universe/universe_registry.h"

namespace {

class Steering : public SteeringWorld {};

TEST_F(Steering, AutopilotHoldsTurnsAndCruiseWhileThrustsTurretsAndDirectionWork) {
  ship_.flags |= kObjFlagAutopilot;
  ship_.turnRates[0] = 100;
  ship_.turnRates[1] = 200;
  ship_.turnRates[2] = 300;
  ship_.speedLimit = 5000;
  // A digital stick on the turns, the Z axis on the first thrust, the throttle on the cruise.
  input_.flags = kInputJoystick1 | kInputXYDigital | kInputJoystick2 | kInputZAnalog | kInputThrottleFound |
                 kInputThrottleLive;
  input_.axisKinds = kAxisZStick;
  input_.joystickX = 1;
  input_.joystickY = -1;
  input_.throttleAxis = 65535;
  input_.throttle = -65535;
  Frame();
  EXPECT_EQ(gSteering.turn[0].accumulator, 0);
  EXPECT_EQ(gSteering.turn[1].accumulator, 0);
  EXPECT_EQ(ship_.turnRates[0], 100);
  EXPECT_EQ(ship_.turnRates[1], 200);
  EXPECT_EQ(ship_.turnRates[2], 300);
  EXPECT_EQ(ship_.speedLimit, 5000);
  EXPECT_EQ(gSteering.thrust[0].request, kTopThrust);
  EXPECT_EQ(ship_.baseVelocity.x, -int32_t(kStep) * 20);  // at most 20 units per ms, along -row 0
  EXPECT_EQ(Count("SetAutopilot(1,0)"), 0);

  // In turret view the stick turns the turret.
  UseCockpit(1, 1);
  Frame();
  EXPECT_GT(cockpit_.viewAngle[0], 0);
  EXPECT_GT(cockpit_.viewAngle[1], 0);
  EXPECT_EQ(ship_.turnRates[0], 100);

  // With the alternate button the stick works the direction control.
  cockpitOn_ = false;
  input_.joystickButtons = kAlternateButtonStick;
  answer_ = nullptr;
  Frame();
  EXPECT_EQ(Count("InputAction(723)"), 1);  // right and up
  EXPECT_NE(ship_.flags & kObjFlagAutopilot, 0u);
  EXPECT_EQ(ship_.turnRates[1], 200);
}

TEST_F(Steering, TheForwardThrustActionWinsOverTheBackwardOne) {
  HoldActions({kActionThrust1Plus, kActionThrust1Minus, kActionThrust2Minus});
  Frame();
  EXPECT_EQ(gSteering.thrust[0].request, kTopThrust);
  EXPECT_EQ(gSteering.thrust[1].request, -kTopThrust);
  // Identity rows: the first thrust drifts along -x, the second along y.
  EXPECT_EQ(ship_.baseVelocity.x, -400);
  EXPECT_EQ(ship_.baseVelocity.y, -400);
  EXPECT_EQ(ship_.baseVelocity.z, 0);
}

TEST_F(Steering, CruiseSteppedDownRestsAtZeroForASecondAndNeverPassesTheReverseLimit) {
  ship_.speedLimit = 3000;
  HoldActions({kActionSlower});
  uint32_t stoppedAt = 0;
  for (int frame = 0; frame < 400; ++frame) {
    const uint32_t now = system_.realTime;
    Frame();
    if (stoppedAt == 0 && ship_.speedLimit == 0) stoppedAt = now;
    if (stoppedAt != 0 && now - stoppedAt <= 999) {
      EXPECT_EQ(ship_.speedLimit, 0) << now - stoppedAt;
    }
    if (stoppedAt != 0 && now - stoppedAt == 1000) {
      EXPECT_LT(ship_.speedLimit, 0);
    }
    ASSERT_GE(ship_.speedLimit, kLowestCruiseSpeed);
  }
  EXPECT_NE(stoppedAt, 0u);
  EXPECT_EQ(ship_.speedLimit, kLowestCruiseSpeed);
  // Going up from the bottom crosses zero the same way: it stops there.
  HoldActions({kActionFaster});
  int frames = 0;
  while (ship_.speedLimit < 0 && frames++ < 50) Frame();
  EXPECT_EQ(ship_.speedLimit, 0);
  // The stop action brings it to 0 at once.
  ship_.speedLimit = 7000;
  HoldActions({kActionStop});
  Frame();
  EXPECT_EQ(ship_.speedLimit, 0);
  EXPECT_EQ(gSteering.cruise.stopTime, 0u);
}

TEST_F(Steering, TheThrottleSetsTheCruiseSpeedByItsBreakpoints) {
  struct Case {
    int32_t v, desired;
  };
  const Case kCases[] = {
      {26215, 0}, {30000, 0}, {32767, 0}, {-65536, kMaxSpeed}, {65536, kLowestCruiseSpeed},
      {-64225, kMaxSpeed}, {64225, kLowestCruiseSpeed}, {26214, 2}, {0, 28987},
  };
  for (const Case& c : kCases) {
    ship_.speedLimit = 12345;
    ThrottleCruiseSpeed(&ship_, c.v);
    EXPECT_EQ(ship_.speedLimit, c.desired) << c.v;
  }
  // The device's full range through the channel.
  input_.flags = kInputThrottleFound | kInputThrottleLive;
  input_.throttle = -65535;
  Frame();
  EXPECT_EQ(ship_.speedLimit, kMaxSpeed);
  ship_.flags |= kObjFlagAutopilot;
  input_.throttle = 65535;
  Frame();
  EXPECT_EQ(ship_.speedLimit, kMaxSpeed);
}

TEST_F(Steering, MouseMotionOnTheDirectionControlNeedsFifteenOrTwelvePixels) {
  Wilo_SetControlMatrix(512, kSteerDirectionX, 0, 0);
  Wilo_SetControlMatrix(513, kSteerDirectionY, 0, 0);
  struct Case {
    int16_t dx, dy;
    int32_t x, y;
    const char* event;  // null: none
  };
  const Case kCases[] = {
      {14, 0, 0, 0, nullptr},
      {15, 0, 0x10000, 0, "InputAction(718)"},
      {-15, 0, -0x10000, 0, "InputAction(717)"},
      {0, 11, 0, 0, nullptr},
      {0, 12, 0, -0x10000, "InputAction(719)"},
      {0, -12, 0, 0x10000, "InputAction(720)"},
  };
  for (const Case& c : kCases) {
    ResetSteeringState();
    input_.mouseDeltaX = c.dx;
    input_.mouseDeltaY = c.dy;
    Frame();
    EXPECT_EQ(gSteering.direction.x, c.x) << c.dx << "," << c.dy;
    EXPECT_EQ(gSteering.direction.y, c.y) << c.dx << "," << c.dy;
    EXPECT_EQ(Count(c.event ? c.event : "InputAction(718)"), c.event ? 1 : 0) << c.dx << "," << c.dy;
    // Nothing of it reaches the mouse-delta sums.
    EXPECT_EQ(Count("InputMouseDelta(" + std::to_string(c.dx) + "," + std::to_string(c.dy) + ")"), 0);
  }
  // The inverted mouse turns the y motion around.
  ResetSteeringState();
  input_.flags = kInputInvertMouse;
  input_.mouseDeltaX = 0;
  input_.mouseDeltaY = 12;
  Frame();
  EXPECT_EQ(gSteering.direction.y, 0x10000);
}

TEST_F(Steering, ShortFramesSumTheMouseAndATenMillisecondFrameClearsTheWindow) {
  Wilo_SetControlMatrix(512, kSteerTurn1, 0, 0);
  input_.mouseDeltaX = 2;
  system_.frameStep = 4;
  Frame();
  // 2 pixels over 4 ms, read as a window of 14 ms: 32768 x 2 / 14, turning the first axis back.
  EXPECT_EQ(gSteering.turn[0].accumulator, -4681);
  EXPECT_EQ(gSteering.turn[0].window.sum, 2);
  EXPECT_EQ(gSteering.turn[0].window.time, 4);
  Frame();
  EXPECT_EQ(gSteering.turn[0].window.sum, 4);
  system_.frameStep = 10;
  input_.mouseDeltaX = 1;
  Frame();
  EXPECT_EQ(gSteering.turn[0].window.sum, 0);
  EXPECT_EQ(gSteering.turn[0].window.time, 0);
  EXPECT_EQ(gSteering.turn[0].window.previous, 0);
  EXPECT_EQ(gSteering.turn[0].accumulator, -3276);
}

TEST_F(Steering, TurretAnglesStopAtTheirLimitsWithTheSpeedZeroed) {
  UseCockpit(2, 1);
  system_.frameStep = 100;
  HoldActions({kActionTurn1Plus, kActionTurn2Up});
  for (int frame = 0; frame < 20; ++frame) {
    Frame();
    ASSERT_LE(cockpit_.viewAngle[0], kTurretLimit1);
    ASSERT_LE(cockpit_.viewAngle[1], kTurretLimit2);
  }
  EXPECT_EQ(cockpit_.viewAngle[0], kTurretLimit1);
  EXPECT_EQ(cockpit_.viewAngle[1], kTurretLimit2);
  EXPECT_EQ(cockpit_.viewAngleSpeed[0], 0);
  EXPECT_EQ(cockpit_.viewAngleSpeed[1], 0);
  EXPECT_EQ(cockpit_.viewAngleTarget[0], kTurretLimit1);
  EXPECT_EQ(cockpit_.viewAngleTarget[1], kTurretLimit2);
  EXPECT_EQ(cockpit_.viewLocked, 1u);
  // No laser found: both turrets turn at the fallback rate.
  EXPECT_EQ(gSteering.turret[0].rate, kTurretRateWithoutLaser);
  HoldActions({kActionTurn1Minus, kActionTurn2Down});
  for (int frame = 0; frame < 20; ++frame) Frame();
  EXPECT_EQ(cockpit_.viewAngle[0], -kTurretLimit1);
  EXPECT_EQ(cockpit_.viewAngle[1], -kTurretLimit2);
  // The turret view does not move the ship.
  EXPECT_EQ(ship_.baseVelocity.x, 0);
}

TEST_F(Steering, AShipOutsideASectorEndsThePassWithoutTurnRates) {
  SpaceObject carrier{};
  carrier.objClass = kClassShip;
  struct Case {
    SpaceObject* parent;
    bool turns;
  };
  const Case kCases[] = {{&sector_, true}, {&carrier, false}, {nullptr, false}};
  for (const Case& c : kCases) {
    ship_.parent = c.parent;
    ship_.turnRates[0] = ship_.turnRates[1] = ship_.turnRates[2] = 0;
    HoldActions({kActionTurn1Plus, kActionTurn2Up, kActionTurn3Plus});
    Frame();
    EXPECT_EQ(ship_.turnRates[0] != 0, c.turns);
    EXPECT_EQ(ship_.turnRates[1] != 0, c.turns);
    EXPECT_EQ(ship_.turnRates[2] != 0, c.turns);
  }
}

TEST_F(Steering, FastForwardStopsOnlyWhenTheGameRunsAtAnotherSpeed) {
  struct Case {
    uint32_t timeScale;
    std::vector<int32_t> actions;
    int stops;
  };
  const Case kCases[] = {
      {0x10000, {kActionThrust1Plus}, 0},
      {0x20000, {kActionThrust1Plus}, 1},
      {0x8000, {kActionThrust2Minus}, 1},
      {0x20000, {}, 0},
  };
  for (const Case& c : kCases) {
    system_.timeScale = c.timeScale;
    HoldActions(c.actions);
    Frame();
    EXPECT_EQ(Count("StopFastForward()"), c.stops) << c.timeScale;
  }
}

TEST_F(Steering, ACursorSteeringDivisorOfZeroSteersAsTheDefault) {
  UseCockpit(0, 0);
  camera_.fieldOfView = 16384;
  camera_.viewRight = 0x10000;
  camera_.viewBottom = 0x10000;
  camera_.aspectWidth = 8000;
  camera_.aspectHeight = 600;
  FixedVector p;
  CameraUnproject(&camera_, gCursorSteering[kCursorSteeringX], gCursorSteering[kCursorSteeringY], 0x10000, &p);
  ASSERT_NE(p.x, 0);
  const int32_t dead = 2621;
  const int32_t beyond = std::abs(p.x) - dead;
  ASSERT_GT(beyond, 0);
  const int32_t sign = p.x < 0 ? -1 : 1;
  struct Case {
    int32_t divisor, rate;
  };
  const Case kCases[] = {{30, sign * beyond * 10 / 30}, {0, sign * beyond * 10 / 30}, {15, sign * beyond * 10 / 15}};
  for (const Case& c : kCases) {
    gCursorSteeringDamping = c.divisor;
    EXPECT_EQ(SteerTargetRate(0), c.rate) << c.divisor;
  }
  gCursorSteeringDamping = 30;
  cockpitOn_ = false;
  EXPECT_EQ(SteerTargetRate(0), 0);
}

TEST_F(Steering, TurretRecordsForgetTheirCockpit) {
  UseCockpit(1, 1);
  Frame();
  ASSERT_EQ(gSteering.turret[0].cockpit, &cockpit_);
  ASSERT_EQ(gSteering.turret[1].cockpit, &cockpit_);
  SteeringForgetCockpit(&cockpit_);
  EXPECT_EQ(gSteering.turret[0].cockpit, nullptr);
  EXPECT_EQ(gSteering.turret[1].cockpit, nullptr);
  // A frame without a turret view leaves no cockpit of an earlier one behind.
  Frame();
  ASSERT_EQ(gSteering.turret[0].cockpit, &cockpit_);
  cockpitOn_ = false;
  Frame();
  EXPECT_EQ(gSteering.turret[0].cockpit, nullptr);
  EXPECT_EQ(gSteering.turret[1].cockpit, nullptr);
}

}  // namespace
