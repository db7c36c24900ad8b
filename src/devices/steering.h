// Steering: the assignment tables that say which steering function each analog input channel
// drives (with the control matrix the scripts read and set), and the steering state of the
// player's ship with the functions that write requests into it and the integration that turns
// them into turn rates, drift, cruise speed and turret view angles. Called by the input
// translation once per frame, by the application natives (control matrix, cursor steering words)
// and by the cockpit module when it frees a cockpit. Reaches the cockpits and the game's own
// script module only through the host table the application registers; never touches a device.
#pragma once

#include <cstdint>

struct CameraRecord;
struct CockpitRecord;
struct SpaceObject;

// ---------------------------------------------------------------------------------------------
// Assignment tables.

constexpr int kJoystickChannelCount = 6;  // stick x, stick y, Z, raw rudder, smoothed rudder, throttle
constexpr int kMouseChannelCount = 2;     // x motion, y motion
constexpr int kThrottleChannel = 5;

// Steering function numbers.
constexpr int32_t kSteerNone = 0;
constexpr int32_t kSteerTurn1 = 1;
constexpr int32_t kSteerTurn2 = 2;
constexpr int32_t kSteerTurn3 = 3;
constexpr int32_t kSteerTurret1 = 4;
constexpr int32_t kSteerTurret2 = 5;
constexpr int32_t kSteerThrust1 = 6;
constexpr int32_t kSteerThrust2 = 7;
constexpr int32_t kSteerCruise = 8;
constexpr int32_t kSteerDirectionX = 9;
constexpr int32_t kSteerDirectionY = 10;
constexpr int32_t kSteerMouseSumX = 11;
constexpr int32_t kSteerMouseSumY = 12;
constexpr int32_t kSteerCursorTurn1 = 13;
constexpr int32_t kSteerCursorTurn2 = 14;
constexpr int32_t kSteerCursorTurret1 = 15;
constexpr int32_t kSteerCursorTurret2 = 16;
constexpr int32_t kSteerFunctionLimit = 17;  // the setters refuse this and above

// Control codes of the script interface.
constexpr int32_t kControlJoystickFirst = 256;
constexpr int32_t kControlMouseFirst = 512;

// Joystick buttons that choose the alternate tables: 10 for channels 0, 1, 4, 5; 11 for 2, 3.
constexpr uint32_t kAlternateButtonStick = 0x400;
constexpr uint32_t kAlternateButtonAxes = 0x800;

// 256..261 give 0..5, 512 and 513 give 0 and 1, anything else -1.
int32_t ControlCodeToSlot(int32_t code);
int32_t GetControlMatrix(int32_t code, int32_t turret, int32_t alternate);
void SetControlMatrix(int32_t code, int32_t function, int32_t turret, int32_t alternate);
void SetAxisAssignment(int32_t function, int32_t alternate, int32_t channel, int32_t turret);
// Zeroes every table, then sets the defaults (the tables hold the defaults from program load).
void ClearAxisAssignments();
void SetDefaultAxisAssignments();
// The joystick table entry for a channel; 0 for a channel outside the table.
int32_t AxisAssignment(int32_t channel, int32_t turret, int32_t alternate);

// A device value (-65535..65535) as 16.16 (-1.0..1.0), toward zero.
int32_t ScaleAxisValue(int32_t value);
// Applies a joystick channel's value through its assigned function.
void DispatchAxisInput(int32_t channel, SpaceObject* ship, int32_t value, int32_t alternate, int32_t turret);
// The throttle channel: function 8 sets the cruise speed from the throttle's position.
void DispatchThrottleInput(SpaceObject* ship, int32_t value, int32_t turret, int32_t alternate);
// A mouse channel's motion in pixels; with a ship it steers, with or without one it may add to
// the mouse-delta sums.
void DispatchMouseAxis(int32_t channel, SpaceObject* ship, int32_t motion, int32_t turret);

// The application natives.
int32_t Wilo_GetControlMatrix(int32_t code, int32_t turret, int32_t alternate);
void Wilo_SetControlMatrix(int32_t code, int32_t function, int32_t turret, int32_t alternate);

// The four words of Wilo_UpdateCursorSteering; the third and fourth are the cursor steering
// point in screen pixels.
constexpr int kCursorSteeringWordCount = 4;
constexpr int kCursorSteeringX = 2;
constexpr int kCursorSteeringY = 3;
extern int32_t gCursorSteering[kCursorSteeringWordCount];

// ---------------------------------------------------------------------------------------------
// Steering state.

struct MouseWindow {
  int32_t sum;
  int32_t time;  // ms
  int32_t previous;
};

struct TurnAxisState {
  float value;  // the axis's turn rate in units of 65536
  uint32_t lock, changed;
  MouseWindow window;
  int32_t accumulator;  // the requested turn rate, 16.16
};

struct TurretAxisState {
  float value;  // angular speed as a fraction of `rate`
  uint32_t lock, changed;
  MouseWindow window;
  CockpitRecord* cockpit;  // null while the turret is not set up
  int32_t accumulator;
  int32_t rate;   // 16.16
  int32_t limit;  // 16-bit angle units
};

struct ThrustState {
  uint32_t lock, changed;
  int32_t request;  // speed units
  int32_t top;      // the ship's thrust speed
};

struct CruiseSpeedState {
  uint32_t lock, changed;
  uint32_t stopTime;  // the clock when a step brought the desired speed to 0; 0 none
  int32_t lastDirection;
};

struct DirectionControlState {
  uint32_t lock, changed;
  int32_t x, y;  // 16.16, kept between frames
  uint32_t analog;
};

struct SteeringState {
  TurnAxisState turn[3];
  TurretAxisState turret[2];
  ThrustState thrust[2];
  CruiseSpeedState cruise;
  DirectionControlState direction;
  int32_t mouseSumX, mouseSumY;  // of "InputMouseDelta"
};
extern SteeringState gSteering;

// A ship's flag word: its autopilot flies it.
constexpr uint32_t kObjFlagAutopilot = 1u << 19;

constexpr int32_t kTurretLimit1 = 0x4000;
constexpr int32_t kTurretLimit2 = 0x3333;
constexpr int32_t kTurretRateWithoutLaser = 0x8000;
constexpr int32_t kLowestCruiseSpeed = -5000;

// Steering actions (answers of "TranslateKey").
constexpr int32_t kActionTurn2Up = 524;
constexpr int32_t kActionTurn2Down = 525;
constexpr int32_t kActionTurn1Plus = 526;
constexpr int32_t kActionTurn1Minus = 527;
constexpr int32_t kActionTurn3Plus = 528;
constexpr int32_t kActionTurn3Minus = 529;
constexpr int32_t kActionFaster = 531;
constexpr int32_t kActionSlower = 532;
constexpr int32_t kActionBoost = 534;
constexpr int32_t kActionThrust1Plus = 540;
constexpr int32_t kActionThrust1Minus = 541;
constexpr int32_t kActionThrust2Plus = 542;
constexpr int32_t kActionThrust2Minus = 543;
constexpr int32_t kActionStop = 544;
constexpr int32_t kActionMatchTarget = 545;

// ---------------------------------------------------------------------------------------------
// What the steering uses of the game above it.

// The active control cockpit of the GUI master as the steering sees it; the pointers lead into
// the cockpit record and are valid only until the next script call.
struct SteeringCockpit {
  CockpitRecord* record;
  int32_t cockpitNumber;  // above 0: a turret view
  uint32_t viewMode;      // 1: the in-cockpit view
  CameraRecord* camera;
  SpaceObject* trackObject;
  int32_t* viewAngle;        // alpha, beta, gamma
  int32_t* viewAngleSpeed;   // alpha, beta, gamma
  int32_t* viewAngleTarget;  // alpha, beta, gamma
  uint32_t* viewLocked;
};

// Every member may be null: there is then no cockpit, events on the game's module answer 0, and
// the other events go straight to the script engine.
struct SteeringHost {
  bool (*activeControlCockpit)(SteeringCockpit* out);
  // Raises a script event with one integer on the game's own module; answers the script's
  // integer answer, 0 when none came.
  int32_t (*raiseGameEvent)(const char* name, int32_t argument);
  // Raises an event whose answer nobody hears (module 0).
  void (*raiseEvent)(const char* name, int32_t argCount, const int32_t* args);
};
void SteeringSetHost(const SteeringHost* host);
const SteeringHost& SteeringHostInUse();
// The active control cockpit; false (and `out` cleared) when there is none.
bool SteeringActiveCockpit(SteeringCockpit* out);
int32_t SteeringRaiseGameEvent(const char* name, int32_t argument);
// Raises an event on the scripts' object with no module to answer: the engine hears nothing.
void SteeringRaiseEvent(const char* name, int32_t argCount, int32_t a = 0, int32_t b = 0);

// The cockpit goes away: the turret records forget it.
void SteeringForgetCockpit(const CockpitRecord* cockpit);

// The actions counted in this frame, 1024 counters by action code.
constexpr int kActionCount = 1024;

// One frame's pass with a ship: the set-up, then the digital stick, counted actions, analog and
// mouse channels, speed actions and the integration, as the input translation runs them.
struct SteeringFrame {
  SpaceObject* ship;
  bool allowed;     // the frame's "Input" did not forbid steering
  bool manual;      // set by the translation after the set-up
  bool turretView;  // set by the set-up
  const uint8_t* actions;
};
void SteeringPassSetUp(SteeringFrame* frame);
void SteeringDigitalStick(const SteeringFrame& frame);
void SteeringCountedActions(const SteeringFrame& frame);
void SteeringAnalogChannels(const SteeringFrame& frame);
void SteeringMouseChannels(const SteeringFrame& frame, int32_t dx, int32_t dy);
void SteeringSpeedActions(const SteeringFrame& frame);
void SteeringIntegrate(const SteeringFrame& frame);

// The steering functions. `d` is +1 or -1; `v` 16.16; `m` pixels of this frame.
void SteerDigitalStep(SpaceObject* ship, int32_t function, int32_t d, bool turretView);
void SteerAnalog(SpaceObject* ship, int32_t function, int32_t v, bool turretView);
void SteerMouse(SpaceObject* ship, int32_t function, int32_t m);

void StepCruiseSpeed(SpaceObject* ship, int32_t d);
void AnalogCruiseSpeed(SpaceObject* ship, int32_t v);
void ThrottleCruiseSpeed(SpaceObject* ship, int32_t v);
void BoostSpeed(SpaceObject* ship);
void RampToward(float* value, int32_t target, float step);
int32_t LerpBetweenBreakpoints(int32_t x, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
int32_t SteerTargetRate(int32_t axis);
// The direction control raises "InputAction" 717..724 for its direction beyond a quarter.
void HatToInputAction();

// Forgets every record (the run's start).
void ResetSteeringState();
