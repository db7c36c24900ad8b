// The steering state of the player's ship and its integration: the nine records (three turn
// axes, two turret axes, two thrusts, the cruise speed and the eight-way direction control), the
// per-frame set-up, the effect of every steering function for a digital step, an analog value or
// a mouse motion, the speed steps, and the integration into the ship's turn rates, drift, desired
// speed and the turret cockpit's view angles. Called by the input translation once per frame with
// a ship and by the assignment tables' dispatch. It never reads a device; device flags come from
// the input state, and every script event goes through the steering host.
#include "devices/steering.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "devices/input_devices.h"
#include "scene/camera_records.h"
#include "scene/scene_cameras.h"
#include "script/script_calls.h"
#include "universe/object_math.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

SteeringState gSteering = {};

namespace {

constexpr int32_t kEventObject = 150;
constexpr int32_t kDefaultSteeringDivisor = 30;
// A turn value that moves less than this in a frame is no change worth stopping fast-forward for.
constexpr float kTurnChangeThreshold = 0.0049896240234375f;
constexpr int32_t kTurretChangeThreshold = 1310;
constexpr int32_t kCruiseChangeThreshold = 250;
constexpr uint32_t kCruiseRestMs = 999;
// The universe mode word: horizon levelling on, and the levelling reference follows the player.
constexpr uint32_t kModeLevelling = 0x2;
constexpr uint32_t kModeReferenceFollows = 0x4;
// The axis-kind bit that says the raw rudder is reported.
constexpr uint32_t kAxisKindRudderRaw = 0x10;

SteeringHost gHost = {};

// ---------------------------------------------------------------------------------------------
// Small readers.

uint32_t DeviceFlags() { return gInputState ? gInputState->flags : 0; }

void ClearThrottleLive() {
  if (gInputState) gInputState->flags &= ~kInputThrottleLive;
}

// The frame step in ms, at least 1.
int64_t FrameStep() {
  const uint32_t step = gSystem ? gSystem->frameStep : 1;
  return step == 0 ? 1 : step;
}

uint32_t Clock() { return gSystem ? gSystem->realTime : 0; }

bool Autopilot(const SpaceObject* ship) { return ship && (ship->flags & kObjFlagAutopilot) != 0; }

void AddTo(int32_t* accumulator, int64_t delta) { *accumulator = SaturateToInt32(*accumulator + delta); }

int64_t ClampSymmetric(int64_t value, int64_t limit) {
  limit = std::llabs(limit);
  return std::clamp(value, -limit, limit);
}

int64_t RoundedProduct16(int64_t a, int64_t b) { return (a * b + 0x8000) >> 16; }

int32_t TunedRate(const SpaceObject* ship, int axis) {
  switch (axis) {
    case 0: return ObjGetTunedRotRate0(ship);
    case 1: return ObjGetTunedRotRate1(ship);
    default: return ObjGetTunedRotRate2(ship);
  }
}

int32_t MaxSpeed(SpaceObject* ship) { return ship ? GetObjectMaxSpeed(ship) : 0; }

int32_t JoystickSensitivityFactor(int32_t rate) {
  const int64_t factor = int64_t{JoystickSensitivitySetting()} * 65536 / 100;
  return SaturateToInt32(std::min<int64_t>(factor, rate));
}

// Any record's `changed` flag.
bool AnyChanged() {
  const SteeringState& s = gSteering;
  for (const TurnAxisState& r : s.turn)
    if (r.changed) return true;
  for (const TurretAxisState& r : s.turret)
    if (r.changed) return true;
  for (const ThrustState& r : s.thrust)
    if (r.changed) return true;
  return s.cruise.changed || s.direction.changed;
}

// ---------------------------------------------------------------------------------------------
// The mouse smoothing window: motions of frames shorter than 10 ms are summed into one reading.
// Answers false when the smoothed motion is 0; else the rate 32768 x motion / time.
bool SmoothedMouseRate(MouseWindow* w, int32_t m, int64_t* rate) {
  const int32_t t = static_cast<int32_t>(std::min<int64_t>(FrameStep(), INT32_MAX));
  int64_t motion, time;
  if (t >= 10) {
    *w = MouseWindow{};
    motion = m;
    time = t;
  } else {
    if (int64_t{w->time} + t <= 10) {
      w->sum = SaturateToInt32(int64_t{w->sum} + m);
      w->time += t;
    } else {
      w->previous = w->sum;
      w->sum = m;
      w->time = t - 10;
    }
    motion = int64_t{w->previous} + w->sum;
    time = int64_t{w->time} + 10;
  }
  if (motion == 0) return false;
  if (time < 1) time = 1;
  *rate = 32768 * motion / time;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Integration.

void IntegrateTurnAxis(SpaceObject* ship, int axis) {
  if (Autopilot(ship)) return;
  TurnAxisState& r = gSteering.turn[axis];
  const int32_t rate = TunedRate(ship, axis);
  r.accumulator = static_cast<int32_t>(ClampSymmetric(r.accumulator, rate));

  float ramp = 0xCCCC / 65536.0f;
  if (ship->objClass == kClassShip) {
    const int64_t sum = int64_t{ObjGetTunedRotRate0(ship)} + ObjGetTunedRotRate1(ship) + ObjGetTunedRotRate2(ship);
    const int64_t c = axis == 2 ? 0x4000 : 0x7999;
    ramp = static_cast<float>(RoundedProduct16(sum, c)) / 65536.0f;
  }
  const float old = r.value;
  RampToward(&r.value, r.accumulator, ramp * static_cast<float>(FrameStep()) * 0.001f);
  if (std::fabs(r.value - old) > kTurnChangeThreshold) r.changed = 1;

  const int32_t turnRate = TruncateToInt32(static_cast<double>(r.value) * 65536.0);
  if (axis == 2 && gUniverse && (gUniverse->modeFlags & kModeLevelling)) {
    const uint32_t pitch = static_cast<uint32_t>(ship->angles[1]) & 0xFFFF;
    if (pitch < 0x2000 || pitch > 0xE000) {
      if (r.accumulator == 0) {
        gUniverse->modeFlags &= ~kModeReferenceFollows;
      } else {
        ship->turnRates[2] = turnRate;
        gUniverse->modeFlags |= kModeReferenceFollows;
      }
      return;
    }
  }
  ship->turnRates[axis] = turnRate;
}

// A thrust request as this frame's speed change: at most 20 units per ms of the frame.
int32_t ThrustStep(ThrustState* r) {
  if (r->top == 0 || r->request == 0) return 0;
  const double top = r->top;
  const double limit = std::fabs(20000.0 * static_cast<double>(FrameStep()) * 0.001 / top);
  const double fraction = std::clamp(r->request / top, -limit, limit);
  r->changed = 1;
  return TruncateToInt32(fraction * top);
}

void IntegrateTurretAxis(TurretAxisState* r, int32_t* angle, int32_t* speed) {
  if (!r->cockpit) return;
  r->accumulator = static_cast<int32_t>(ClampSymmetric(r->accumulator, r->rate));
  const int64_t target = r->rate == 0 ? 0 : int64_t{r->accumulator} * 65536 / r->rate;
  RampToward(&r->value, SaturateToInt32(target), static_cast<float>(FrameStep()) * 570.0f * 0.001f);
  *speed = SaturateToInt32(RoundedProduct16(TruncateToInt32(static_cast<double>(r->value) * 65536.0), r->rate));
  const int64_t delta = int64_t{*speed} * FrameStep() / 1000;
  *angle = SaturateToInt32(*angle + delta);
  if (std::llabs(delta) > kTurretChangeThreshold) r->changed = 1;
  if (*angle > r->limit) {
    *angle = r->limit;
    *speed = 0;
  } else if (*angle < -r->limit) {
    *angle = -r->limit;
    *speed = 0;
  }
}

// The step of a cruise-speed change for this frame; grows with the current speed.
int64_t CruiseStep(SpaceObject* ship, int32_t maxSpeed) {
  int64_t step = int64_t{maxSpeed} * std::min<int64_t>(FrameStep(), 100) / 750;
  if (maxSpeed != 0) step = step * (maxSpeed / 4 + std::llabs(int64_t{ship->speed})) / maxSpeed;
  return step;
}

int32_t ClampCruise(int64_t speed, int32_t maxSpeed) {
  return static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(speed, maxSpeed), kLowestCruiseSpeed));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Host.

void SteeringSetHost(const SteeringHost* host) { gHost = host ? *host : SteeringHost{}; }

const SteeringHost& SteeringHostInUse() { return gHost; }

bool SteeringActiveCockpit(SteeringCockpit* out) {
  *out = SteeringCockpit{};
  if (!gHost.activeControlCockpit || !gHost.activeControlCockpit(out) || !out->record) {
    *out = SteeringCockpit{};
    return false;
  }
  return true;
}

int32_t SteeringRaiseGameEvent(const char* name, int32_t argument) {
  return gHost.raiseGameEvent ? gHost.raiseGameEvent(name, argument) : 0;
}

void SteeringRaiseEvent(const char* name, int32_t argCount, int32_t a, int32_t b) {
  const int32_t args[2] = {a, b};
  if (gHost.raiseEvent) {
    gHost.raiseEvent(name, argCount, args);
    return;
  }
  switch (argCount) {
    case 0: CallScriptFunction(0, 0, kEventObject, name, kResultInt, 0); break;
    case 1: CallScriptFunction(0, 0, kEventObject, name, kResultInt, 1, a); break;
    default: CallScriptFunction(0, 0, kEventObject, name, kResultInt, 2, a, b); break;
  }
}

void SteeringForgetCockpit(const CockpitRecord* cockpit) {
  if (!cockpit) return;
  for (TurretAxisState& r : gSteering.turret)
    if (r.cockpit == cockpit) r.cockpit = nullptr;
}

void ResetSteeringState() { gSteering = SteeringState{}; }

// ---------------------------------------------------------------------------------------------
// The pass.

void SteeringPassSetUp(SteeringFrame* frame) {
  SteeringState& s = gSteering;
  SpaceObject* ship = frame->ship;
  for (int k = 0; k < 3; ++k) {
    TurnAxisState& r = s.turn[k];
    r.changed = r.lock = 0;
    r.value = static_cast<float>(ship->turnRates[k]) / 65536.0f;
    r.accumulator = 0;
  }
  const int32_t top = ShipGetGlobalsScaledSpeed(ship);
  for (ThrustState& r : s.thrust) {
    r.changed = r.lock = 0;
    r.top = top;
    r.request = 0;
  }
  // A cockpit of an earlier frame may be gone; only this frame's active one is set again.
  for (TurretAxisState& r : s.turret) {
    r.changed = r.lock = 0;
    r.cockpit = nullptr;
    r.accumulator = 0;
  }
  s.cruise.changed = s.cruise.lock = 0;
  s.direction.changed = s.direction.lock = 0;
  s.direction.analog = 0;

  SteeringCockpit cockpit;
  frame->turretView = SteeringActiveCockpit(&cockpit) && cockpit.cockpitNumber > 0;
  if (!frame->turretView || cockpit.viewMode != 1) return;
  int32_t rates[2] = {0, 0};
  if (!ShipTurretLaserMinima(ship, cockpit.cockpitNumber, &rates[0], &rates[1]))
    rates[0] = rates[1] = kTurretRateWithoutLaser;
  const int32_t limits[2] = {kTurretLimit1, kTurretLimit2};
  for (int k = 0; k < 2; ++k) {
    TurretAxisState& r = s.turret[k];
    r.cockpit = cockpit.record;
    r.limit = limits[k];
    r.rate = rates[k];
    const int64_t speed = cockpit.viewAngleSpeed ? cockpit.viewAngleSpeed[k] : 0;
    r.value = rates[k] == 0 ? 0.0f : static_cast<float>(speed * 65536 / rates[k]) / 65536.0f;
  }
}

void SteeringDigitalStick(const SteeringFrame& frame) {
  const uint32_t flags = DeviceFlags();
  if (!frame.allowed || !gInputState || (flags & (kInputJoystick1 | kInputXYDigital)) != (kInputJoystick1 | kInputXYDigital))
    return;
  const int32_t turret = frame.turretView ? 1 : 0;
  const int32_t alternate = (gInputState->joystickButtons & kAlternateButtonStick) ? 1 : 0;
  const int32_t y = gInputState->joystickY;
  const int32_t x = gInputState->joystickX;
  if (y == -1) SteerDigitalStep(frame.ship, AxisAssignment(1, turret, alternate), +1, frame.turretView);
  if (y == 1) SteerDigitalStep(frame.ship, AxisAssignment(1, turret, alternate), -1, frame.turretView);
  if (x == 1) SteerDigitalStep(frame.ship, AxisAssignment(0, turret, alternate), +1, frame.turretView);
  if (x == -1) SteerDigitalStep(frame.ship, AxisAssignment(0, turret, alternate), -1, frame.turretView);
}

void SteeringCountedActions(const SteeringFrame& frame) {
  if (!frame.allowed) return;
  SteeringState& s = gSteering;
  SpaceObject* ship = frame.ship;
  const uint8_t* counted = frame.actions;
  const bool invert = (DeviceFlags() & kInputInvertSecond) != 0;
  if (frame.turretView) {
    struct TurretAction {
      int32_t action;
      int axis;
      int32_t sign;
    };
    const TurretAction kTurretActions[] = {
        {kActionTurn2Up, 1, +1}, {kActionTurn2Down, 1, -1}, {kActionTurn1Minus, 0, -1}, {kActionTurn1Plus, 0, +1}};
    for (const TurretAction& a : kTurretActions) {
      TurretAxisState& r = s.turret[a.axis];
      if (!counted[a.action] || !r.cockpit) continue;
      AddTo(&r.accumulator, int64_t{a.sign} * r.rate);
      r.lock = 1;
    }
    return;
  }
  // The requests are written in this order, so the last one counted wins.
  struct ThrustAction {
    int32_t action;
    int thrust;
    int32_t sign;
  };
  const ThrustAction kThrustActions[] = {{kActionThrust2Plus, 1, +1},
                                         {kActionThrust2Minus, 1, -1},
                                         {kActionThrust1Minus, 0, -1},
                                         {kActionThrust1Plus, 0, +1}};
  for (const ThrustAction& a : kThrustActions) {
    if (!counted[a.action]) continue;
    ThrustState& r = s.thrust[a.thrust];
    r.request = a.sign * r.top;
    r.lock = 1;
  }
  if (Autopilot(ship)) return;
  const int64_t r0 = ObjGetTunedRotRate0(ship), r1 = ObjGetTunedRotRate1(ship), r2 = ObjGetTunedRotRate2(ship);
  struct TurnAction {
    int32_t action;
    int axis;
    int64_t delta;
  };
  const TurnAction kTurnActions[] = {
      {kActionTurn2Up, 1, invert ? -r1 : r1},   {kActionTurn2Down, 1, invert ? r1 : -r1},
      {kActionTurn1Minus, 0, -r0},              {kActionTurn1Plus, 0, r0},
      {kActionTurn3Plus, 2, r2},                {kActionTurn3Minus, 2, -r2},
  };
  for (const TurnAction& a : kTurnActions) {
    if (!counted[a.action]) continue;
    TurnAxisState& r = s.turn[a.axis];
    AddTo(&r.accumulator, a.delta);
    r.lock = 1;
    if (a.axis == 0) r.changed = 1;
  }
}

void SteeringAnalogChannels(const SteeringFrame& frame) {
  if (!frame.allowed || !gInputState) return;
  const InputState& in = *gInputState;
  const uint32_t flags = in.flags;
  const int32_t turret = frame.turretView ? 1 : 0;
  const int32_t altStick = (in.joystickButtons & kAlternateButtonStick) ? 1 : 0;
  const int32_t altAxes = (in.joystickButtons & kAlternateButtonAxes) ? 1 : 0;
  auto has = [flags](uint32_t bits) { return (flags & bits) == bits; };
  if (has(kInputJoystick1 | kInputXYAnalog)) {
    DispatchAxisInput(0, frame.ship, in.joystickX, altStick, turret);
    DispatchAxisInput(1, frame.ship, in.joystickY, altStick, turret);
  }
  const bool zAxis = has(kInputJoystick2 | kInputZAnalog);
  if (zAxis && (in.axisKinds & kAxisZStick)) DispatchAxisInput(2, frame.ship, in.throttleAxis, altAxes, turret);
  if (zAxis && (in.axisKinds & kAxisKindRudderRaw)) DispatchAxisInput(3, frame.ship, in.rudderRaw, altAxes, turret);
  if (has(kInputRudderFound)) DispatchAxisInput(4, frame.ship, in.rudder, altStick, turret);
  if (has(kInputThrottleFound | kInputThrottleLive)) DispatchThrottleInput(frame.ship, in.throttle, turret, altStick);
}

void SteeringMouseChannels(const SteeringFrame& frame, int32_t dx, int32_t dy) {
  const int32_t turret = frame.turretView ? 1 : 0;
  DispatchMouseAxis(0, frame.ship, dx, turret);
  DispatchMouseAxis(1, frame.ship, dy, turret);
}

void SteeringSpeedActions(const SteeringFrame& frame) {
  if (!frame.allowed || !frame.manual) return;
  SpaceObject* ship = frame.ship;
  const uint8_t* counted = frame.actions;
  for (int k = 0; k < counted[kActionFaster]; ++k) StepCruiseSpeed(ship, +1);
  for (int k = 0; k < counted[kActionSlower]; ++k) StepCruiseSpeed(ship, -1);
  if (counted[kActionStop]) StepCruiseSpeed(ship, 0);
  if (counted[kActionMatchTarget]) {
    ClearThrottleLive();
    SteeringCockpit cockpit;
    if (SteeringActiveCockpit(&cockpit) && cockpit.trackObject)
      ship->speedLimit = std::min(MaxSpeed(ship), cockpit.trackObject->speed);
  } else if (counted[kActionBoost]) {
    constexpr int32_t kBoostEquipment = 40;
    if (SteeringRaiseGameEvent("CheckEquipment", kBoostEquipment) == 0) {
      ClearThrottleLive();
      ship->speedLimit = MaxSpeed(ship);
    } else {
      BoostSpeed(ship);
    }
  }
}

void SteeringIntegrate(const SteeringFrame& frame) {
  SteeringState& s = gSteering;
  SpaceObject* ship = frame.ship;
  for (int k = 0; k < 3; ++k) IntegrateTurnAxis(ship, k);

  const int32_t s2 = ThrustStep(&s.thrust[1]);
  const int32_t s1 = ThrustStep(&s.thrust[0]);
  if ((s1 != 0 || s2 != 0) && ship->instance) {
    const FixedMatrix& m = ship->instance->matrix;
    int32_t* drift[3] = {&ship->baseVelocity.x, &ship->baseVelocity.y, &ship->baseVelocity.z};
    for (int c = 0; c < 3; ++c)
      AddTo(drift[c], RoundedProduct16(m.m[0][c], -int64_t{s1}) + RoundedProduct16(m.m[1][c], s2));
  }

  SteeringCockpit cockpit;
  if (frame.turretView && SteeringActiveCockpit(&cockpit) && cockpit.viewMode == 1 &&
      cockpit.record == s.turret[0].cockpit && cockpit.viewAngle && cockpit.viewAngleSpeed) {
    IntegrateTurretAxis(&s.turret[0], &cockpit.viewAngle[0], &cockpit.viewAngleSpeed[0]);
    IntegrateTurretAxis(&s.turret[1], &cockpit.viewAngle[1], &cockpit.viewAngleSpeed[1]);
    if (cockpit.viewAngleTarget) {
      cockpit.viewAngleTarget[0] = cockpit.viewAngle[0];
      cockpit.viewAngleTarget[1] = cockpit.viewAngle[1];
      cockpit.viewAngleTarget[2] = 0;
    }
    cockpit.viewAngle[2] = 0;
    if (cockpit.viewLocked) *cockpit.viewLocked = 1;
  }

  if (!ship->parent || ship->parent->objClass != kClassSector)
    ship->turnRates[0] = ship->turnRates[1] = ship->turnRates[2] = 0;

  HatToInputAction();
  if (AnyChanged() && gSystem && gSystem->timeScale != 0x10000) SteeringRaiseEvent("StopFastForward", 0);
}

// ---------------------------------------------------------------------------------------------
// Steering functions.

void SteerDigitalStep(SpaceObject* ship, int32_t function, int32_t d, bool turretView) {
  SteeringState& s = gSteering;
  const bool invert = (DeviceFlags() & kInputInvertSecond) != 0;
  switch (function) {
    case kSteerTurn1:
    case kSteerTurn2:
    case kSteerTurn3: {
      if (Autopilot(ship)) return;
      const int axis = function - kSteerTurn1;
      TurnAxisState& r = s.turn[axis];
      const int64_t rate = TunedRate(ship, axis);
      if (axis == 0) AddTo(&r.accumulator, -d * rate);
      else if (axis == 1) AddTo(&r.accumulator, d * (invert ? -rate : rate));
      else AddTo(&r.accumulator, d * rate);
      r.lock = 1;
      if (axis == 0) r.changed = 1;
      return;
    }
    case kSteerTurret1:
    case kSteerTurret2: {
      TurretAxisState& r = s.turret[function - kSteerTurret1];
      if (!r.cockpit) return;
      AddTo(&r.accumulator, int64_t{d} * r.rate);
      r.lock = 1;
      return;
    }
    case kSteerThrust1:
    case kSteerThrust2: {
      if (turretView) return;
      ThrustState& r = s.thrust[function - kSteerThrust1];
      r.request = SaturateToInt32(int64_t{d} * r.top);
      r.lock = 1;
      return;
    }
    case kSteerCruise:
      StepCruiseSpeed(ship, d);
      return;
    case kSteerDirectionX:
    case kSteerDirectionY:
      (function == kSteerDirectionX ? s.direction.x : s.direction.y) = d * 0x10000;
      s.direction.lock = 1;
      return;
    default:
      return;
  }
}

void SteerAnalog(SpaceObject* ship, int32_t function, int32_t v, bool turretView) {
  SteeringState& s = gSteering;
  const uint32_t flags = DeviceFlags();
  const bool invert = (flags & kInputInvertSecond) != 0;
  switch (function) {
    case kSteerTurn1:
    case kSteerTurn2:
    case kSteerTurn3: {
      const int axis = function - kSteerTurn1;
      TurnAxisState& r = s.turn[axis];
      if (Autopilot(ship) || r.lock) return;
      const int64_t step = RoundedProduct16(v, JoystickSensitivityFactor(TunedRate(ship, axis)));
      bool add;
      if (axis == 0) add = (flags & kInputTurnAsRead) != 0;
      else if (axis == 1) add = !invert;
      else add = false;
      AddTo(&r.accumulator, add ? step : -step);
      return;
    }
    case kSteerTurret1: {
      TurretAxisState& r = s.turret[0];
      if (!r.lock) AddTo(&r.accumulator, RoundedProduct16(-int64_t{v}, r.rate));
      return;
    }
    case kSteerTurret2: {
      TurretAxisState& r = s.turret[1];
      const int64_t value = invert ? -int64_t{v} : v;
      if (!r.lock) AddTo(&r.accumulator, RoundedProduct16(value, r.rate));
      return;
    }
    case kSteerThrust1:
    case kSteerThrust2: {
      if (turretView) return;
      ThrustState& r = s.thrust[function - kSteerThrust1];
      const int64_t value = function == kSteerThrust2 && invert ? -int64_t{v} : v;
      if (!r.lock) r.request = SaturateToInt32(RoundedProduct16(r.top, value));
      return;
    }
    case kSteerCruise:
      AnalogCruiseSpeed(ship, v);
      return;
    case kSteerDirectionX:
    case kSteerDirectionY:
      if (s.direction.lock) return;
      (function == kSteerDirectionX ? s.direction.x : s.direction.y) = v;
      s.direction.analog = 1;
      return;
    default:
      return;
  }
}

void SteerMouse(SpaceObject* ship, int32_t function, int32_t m) {
  if (!ship) return;
  SteeringState& s = gSteering;
  const bool invertMouse = (DeviceFlags() & kInputInvertMouse) != 0;
  int64_t rate = 0;
  switch (function) {
    case kSteerTurn1:
    case kSteerTurn2:
    case kSteerTurn3: {
      const int axis = function - kSteerTurn1;
      TurnAxisState& r = s.turn[axis];
      if (!SmoothedMouseRate(&r.window, m, &rate) || Autopilot(ship)) return;
      if (axis == 0) rate = -rate;
      else if (axis == 1 && invertMouse) rate = -rate;
      AddTo(&r.accumulator, ClampSymmetric(rate, 0x10000));
      return;
    }
    case kSteerTurret1:
    case kSteerTurret2: {
      TurretAxisState& r = s.turret[function - kSteerTurret1];
      const int32_t motion = function == kSteerTurret1 ? -m : (invertMouse ? -m : m);
      if (SmoothedMouseRate(&r.window, motion, &rate)) AddTo(&r.accumulator, ClampSymmetric(rate, 0x8000));
      return;
    }
    case kSteerDirectionX:
      if (std::abs(m) < 15) return;
      s.direction.lock = 1;
      s.direction.x = m > 0 ? 0x10000 : -0x10000;
      return;
    case kSteerDirectionY: {
      const int32_t motion = invertMouse ? -m : m;
      if (std::abs(motion) < 12) return;
      s.direction.lock = 1;
      s.direction.y = motion > 0 ? -0x10000 : 0x10000;
      return;
    }
    case kSteerCursorTurn1:
      if (!Autopilot(ship)) AddTo(&s.turn[0].accumulator, -int64_t{SteerTargetRate(0)});
      return;
    case kSteerCursorTurn2:
      if (!Autopilot(ship)) AddTo(&s.turn[1].accumulator, SteerTargetRate(1));
      return;
    case kSteerCursorTurret1:
      if (s.turret[0].cockpit) AddTo(&s.turret[0].accumulator, -int64_t{SteerTargetRate(0)});
      return;
    case kSteerCursorTurret2:
      if (s.turret[1].cockpit) AddTo(&s.turret[1].accumulator, SteerTargetRate(1));
      return;
    default:
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// Speeds.

void StepCruiseSpeed(SpaceObject* ship, int32_t d) {
  if (!ship) return;
  CruiseSpeedState& r = gSteering.cruise;
  const int32_t maxSpeed = MaxSpeed(ship);
  const int64_t step = CruiseStep(ship, maxSpeed);
  if (Autopilot(ship)) return;
  if (step > kCruiseChangeThreshold) r.changed = 1;
  r.lock = 1;
  ClearThrottleLive();
  if (d == 0) {
    ship->speedLimit = 0;
    r.stopTime = 0;
    r.lastDirection = 0;
    return;
  }
  const uint32_t now = Clock();
  // A held key rests at zero for a second before it crosses it.
  if (ship->speedLimit == 0 && r.stopTime != 0 && now - r.stopTime <= kCruiseRestMs &&
      (r.lastDirection < 0) == (d < 0))
    return;
  r.stopTime = 0;
  const int64_t desired = ship->speedLimit;
  const int64_t change = std::max<int64_t>(step, 1);
  const int32_t next = d > 0 ? SaturateToInt32(std::min<int64_t>(desired + change, maxSpeed))
                             : SaturateToInt32(std::max<int64_t>(desired - change, kLowestCruiseSpeed));
  const bool crossed = desired != 0 && ((next < 0) != (desired < 0));
  if (next == 0 || crossed) {
    ship->speedLimit = 0;
    r.stopTime = now;
  } else {
    ship->speedLimit = next;
  }
  r.lastDirection = d;
}

void AnalogCruiseSpeed(SpaceObject* ship, int32_t v) {
  if (!ship) return;
  CruiseSpeedState& r = gSteering.cruise;
  const int32_t maxSpeed = MaxSpeed(ship);
  const int64_t step = CruiseStep(ship, maxSpeed);
  if (Autopilot(ship)) return;
  if (step > kCruiseChangeThreshold) r.changed = 1;
  if (v == 0) return;
  ClearThrottleLive();
  ship->speedLimit = ClampCruise(int64_t{ship->speedLimit} - RoundedProduct16(step, v), maxSpeed);
}

void ThrottleCruiseSpeed(SpaceObject* ship, int32_t v) {
  if (!ship || Autopilot(ship)) return;
  const int32_t old = ship->speedLimit;
  int32_t desired = 0;
  if (v > 0x7FFF) desired = LerpBetweenBreakpoints(v, 0x7FFF, 0, 64225, kLowestCruiseSpeed);
  else if (v < 0x6667) desired = LerpBetweenBreakpoints(v, -64225, MaxSpeed(ship), 0x6667, 0);
  ship->speedLimit = desired;
  if (std::llabs(int64_t{desired} - old) > kCruiseChangeThreshold) gSteering.cruise.changed = 1;
}

void BoostSpeed(SpaceObject* ship) {
  if (!ship || Autopilot(ship)) return;
  ClearThrottleLive();
  const int32_t maxSpeed = MaxSpeed(ship);
  if (ship->speed >= maxSpeed) return;
  const int64_t increase = std::min<int64_t>(int64_t{maxSpeed} - ship->speed,
                                             int64_t{ObjGetTunedField72(ship)} * FrameStep() / 150);
  ship->speedLimit = maxSpeed;
  ship->speed = SaturateToInt32(std::min<int64_t>(ship->speed + increase, maxSpeed));
  gSteering.cruise.changed = 1;
}

void RampToward(float* value, int32_t target, float step) {
  const float t = static_cast<float>(target) / 65536.0f;
  if (t > *value) *value += std::min(t - *value, step);
  else if (t < *value) *value -= std::min(*value - t, step);
}

int32_t LerpBetweenBreakpoints(int32_t x, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (x0 == x1) return static_cast<int32_t>((int64_t{y0} + y1) / 2);
  if (x <= x0) return y0;
  if (x >= x1) return y1;
  // Small spans take the midpoint form, which the object interpolation already computes.
  if (x < 0x10000 && int64_t{x1} - x0 < 0x10000) return InterpolateClamped(x1, x0, x, y0, y1);
  const int64_t mid = (int64_t{y0} + y1) / 2;
  const int64_t span = int64_t{x1} - x0;
  const int64_t offset = int64_t{x} - (int64_t{x0} + x1) / 2;
  // Both factors may span 33 bits.
  const __int128 step = static_cast<__int128>(int64_t{y1} - y0) * offset / span;
  return SaturateToInt32(mid + static_cast<int64_t>(step));
}

int32_t SteerTargetRate(int32_t axis) {
  SteeringCockpit cockpit;
  if (!SteeringActiveCockpit(&cockpit) || !cockpit.camera) return 0;
  FixedVector p;
  CameraUnproject(cockpit.camera, gCursorSteering[kCursorSteeringX], gCursorSteering[kCursorSteeringY], 0x10000, &p);
  const int64_t c = axis == 0 ? p.x : p.y;
  const int64_t dead = int64_t{2621} * cockpit.camera->fieldOfView / 16384;
  // A divisor stored as 0 would divide by zero; it steers as when the setting is absent.
  const int64_t divisor = gCursorSteeringDamping != 0 ? gCursorSteeringDamping : kDefaultSteeringDivisor;
  const int64_t beyond = std::max<int64_t>(std::llabs(c) - dead, 0);
  return SaturateToInt32((c < 0 ? -1 : 1) * beyond * 10 / divisor);
}

void HatToInputAction() {
  DirectionControlState& r = gSteering.direction;
  if (!r.lock && !r.analog) return;
  if (std::abs(int64_t{r.x}) <= 0x4000 && std::abs(int64_t{r.y}) <= 0x4000) return;
  const double a = std::atan2(r.y / 65536.0, r.x / 65536.0);
  const int k = static_cast<int>(a * 1.2732395 + 8.5) % 8;
  constexpr int32_t kDirectionActions[8] = {718, 723, 720, 724, 717, 721, 719, 722};
  SteeringRaiseEvent("InputAction", 1, kDirectionActions[k]);
  r.changed = 1;
}
