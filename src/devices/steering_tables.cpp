// The steering assignment tables: six tables of steering function numbers (normal and turret
// view, primary and alternate, for the six joystick channels; normal and turret view for the two
// mouse channels), the control matrix the scripts read and set through the application natives,
// the cursor steering words, and the dispatch of a channel's value to its assigned function.
// Called by the input translation and the application natives. The tables are not saved; what
// the scripts set lasts until the program ends.
#include "devices/steering.h"

#include <cstring>

int32_t gCursorSteering[kCursorSteeringWordCount] = {};

namespace {

constexpr int kJoystickTableCount = 4;  // normal primary, normal alternate, turret primary, turret alternate

struct AxisAssignmentTables {
  int32_t joystick[kJoystickTableCount][kJoystickChannelCount];
  int32_t mouse[2][kMouseChannelCount];  // normal, turret
};

// The defaults are in place from program load.
constexpr AxisAssignmentTables kDefaultTables = {
    {
        {kSteerTurn1, kSteerTurn2, kSteerThrust1, kSteerThrust2, kSteerTurn3, kSteerCruise},
        {kSteerDirectionX, kSteerDirectionY, kSteerTurn3, kSteerCruise, kSteerTurn3, kSteerCruise},
        {kSteerTurret1, kSteerTurret2, kSteerNone, kSteerNone, kSteerNone, kSteerCruise},
        {kSteerTurret1, kSteerTurret2, kSteerNone, kSteerNone, kSteerNone, kSteerCruise},
    },
    {
        {kSteerMouseSumX, kSteerMouseSumY},
        {kSteerMouseSumX, kSteerMouseSumY},
    },
};

AxisAssignmentTables gTables = kDefaultTables;

int JoystickTable(int32_t turret, int32_t alternate) { return (turret ? 2 : 0) + (alternate ? 1 : 0); }

bool IsSettableFunction(int32_t function) { return function >= 0 && function < kSteerFunctionLimit; }

bool IsMouseCode(int32_t code) { return code == kControlMouseFirst || code == kControlMouseFirst + 1; }

}  // namespace

int32_t ControlCodeToSlot(int32_t code) {
  if (code >= kControlJoystickFirst && code < kControlJoystickFirst + kJoystickChannelCount)
    return code - kControlJoystickFirst;
  if (IsMouseCode(code)) return code - kControlMouseFirst;
  return -1;
}

int32_t GetControlMatrix(int32_t code, int32_t turret, int32_t alternate) {
  const int32_t slot = ControlCodeToSlot(code);
  if (slot < 0) return 0;
  if (IsMouseCode(code)) return gTables.mouse[turret ? 1 : 0][slot];
  return gTables.joystick[JoystickTable(turret, alternate)][slot];
}

void SetControlMatrix(int32_t code, int32_t function, int32_t turret, int32_t alternate) {
  const int32_t slot = ControlCodeToSlot(code);
  if (slot < 0) return;
  if (IsMouseCode(code)) {
    if (IsSettableFunction(function)) gTables.mouse[turret ? 1 : 0][slot] = function;
    return;
  }
  SetAxisAssignment(function, alternate, slot, turret);
}

void SetAxisAssignment(int32_t function, int32_t alternate, int32_t channel, int32_t turret) {
  if (channel < 0 || channel >= kJoystickChannelCount || !IsSettableFunction(function)) return;
  gTables.joystick[JoystickTable(turret, alternate)][channel] = function;
}

void ClearAxisAssignments() {
  std::memset(&gTables, 0, sizeof gTables);
  SetDefaultAxisAssignments();
}

void SetDefaultAxisAssignments() { gTables = kDefaultTables; }

int32_t AxisAssignment(int32_t channel, int32_t turret, int32_t alternate) {
  if (channel < 0 || channel >= kJoystickChannelCount) return kSteerNone;
  return gTables.joystick[JoystickTable(turret, alternate)][channel];
}

int32_t ScaleAxisValue(int32_t value) { return static_cast<int32_t>(int64_t{value} * 65536 / 65535); }

void DispatchAxisInput(int32_t channel, SpaceObject* ship, int32_t value, int32_t alternate, int32_t turret) {
  const int32_t function = AxisAssignment(channel, turret, alternate);
  if (function <= kSteerNone || function >= kSteerMouseSumX) return;
  SteerAnalog(ship, function, ScaleAxisValue(value), turret != 0);
}

void DispatchThrottleInput(SpaceObject* ship, int32_t value, int32_t turret, int32_t alternate) {
  if (AxisAssignment(kThrottleChannel, turret, alternate) == kSteerCruise) {
    ThrottleCruiseSpeed(ship, ScaleAxisValue(value));
    return;
  }
  DispatchAxisInput(kThrottleChannel, ship, value, alternate, turret);
}

void DispatchMouseAxis(int32_t channel, SpaceObject* ship, int32_t motion, int32_t turret) {
  if (channel < 0 || channel >= kMouseChannelCount) return;
  const int32_t function = gTables.mouse[turret ? 1 : 0][channel];
  if (ship) SteerMouse(ship, function, motion);
  switch (function) {
    case kSteerMouseSumX:
    case kSteerCursorTurn1:
    case kSteerCursorTurret1:
      gSteering.mouseSumX += motion;
      break;
    case kSteerMouseSumY:
    case kSteerCursorTurn2:
    case kSteerCursorTurret2:
      gSteering.mouseSumY += motion;
      break;
    default:
      break;
  }
}

int32_t Wilo_GetControlMatrix(int32_t code, int32_t turret, int32_t alternate) {
  return GetControlMatrix(code, turret, alternate);
}

void Wilo_SetControlMatrix(int32_t code, int32_t function, int32_t turret, int32_t alternate) {
  SetControlMatrix(code, function, turret, alternate);
}
