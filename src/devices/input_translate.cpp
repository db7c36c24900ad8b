// The input translation into script events and steering, run once per frame by the frame input
// step: buttons, mouse buttons, wheel, hat and held keys are offered to "TranslateKey" and raised
// as "Input", releases raise "Input" with their press length, the answers are counted as actions,
// and with the player's ship the steering pass runs. It reads a copy of the input state taken at
// the start, because any script event may replace the devices; it never touches a device.
#include "devices/input_translate.h"

#include <cstring>

#include "core/system_block.h"
#include "devices/input.h"
#include "devices/key_codes.h"
#include "universe/universe.h"

InputTranslation gInputTranslation = {};

namespace {

// What the scripts answered for a key-table entry earlier in this call.
struct FrameAnswers {
  int32_t answer[kKeyTableSize];
  bool known[kKeyTableSize];
};

// The frame's input, copied before the first event.
struct FrameInput {
  uint32_t flags;
  int32_t shift;  // 0x1000 while Shift is held
  uint32_t joystickButtons;
  uint32_t mouseButtons;
  int32_t wheel;
  int32_t hat;
  int32_t dx, dy;
  uint8_t keyTable[kKeyTableSize];
};

uint32_t Clock() { return gSystem ? gSystem->realTime : 0; }

// An answer names an action when it lies in 1..1023 and is not the key's own code.
bool IsAction(int32_t answer, int32_t ownCode) {
  return answer >= 1 && answer < kActionCount && answer != (ownCode & kKeyMask);
}

void CountAction(int32_t answer, int32_t ownCode) {
  if (!IsAction(answer, ownCode)) return;
  // A counter that wrapped would drop every count of a busy frame.
  uint8_t& counter = gInputTranslation.actions[answer];
  if (counter < 0xFF) ++counter;
}

int32_t TranslateKey(int32_t code) { return SteeringRaiseGameEvent("TranslateKey", code); }

void RaiseInput(int32_t code) {
  if (SteeringRaiseGameEvent("Input", code) == -1) gInputTranslation.unhandled = 1;
}

// Marks a button or hat direction held in the key table, so its release is raised like a key's.
void MarkHeld(FrameInput* input, int32_t entry) {
  input->keyTable[entry] = 1;
  if (gInputState) gInputState->keyTable[entry] = 1;
}

// A held button or hat direction: offered, raised, written into the key table and counted.
void TranslateButton(FrameInput* input, FrameAnswers* answers, int32_t entry) {
  const int32_t code = entry | input->shift;
  const int32_t answer = TranslateKey(code);
  RaiseInput(code);
  MarkHeld(input, entry);
  answers->answer[entry] = answer;
  answers->known[entry] = true;
  CountAction(answer, entry);
  gInputTranslation.inputSeen = 1;
}

void TranslateWheel(FrameInput* input) {
  int32_t wheel = input->wheel;
  if (wheel >= kWheelNotch) {
    const int32_t code = kInputWheelAway | input->shift;
    const int32_t answer = TranslateKey(code);
    while (wheel > kWheelNotch - 1) {
      wheel -= kWheelNotch;
      RaiseInput(code);
      CountAction(answer, code);
    }
  } else if (wheel <= -kWheelNotch) {
    const int32_t code = kInputWheelToward | input->shift;
    const int32_t answer = TranslateKey(code);
    while (wheel < -(kWheelNotch - 1)) {
      wheel += kWheelNotch;
      RaiseInput(code);
      CountAction(answer, code);
    }
  } else {
    return;
  }
  gInputTranslation.inputSeen = 1;
  // The remainder waits for the next notch.
  if (gInputState) gInputState->wheel = static_cast<int16_t>(wheel);
}

void TranslateKeys(const FrameInput& input, const FrameAnswers& answers) {
  InputTranslation& t = gInputTranslation;
  for (int32_t k = 0; k < kKeyTableSize; ++k) {
    if (input.keyTable[k]) {
      int32_t answer;
      if (answers.known[k]) {
        // A button or hat direction already offered in this call keeps that answer.
        answer = answers.answer[k];
      } else {
        answer = TranslateKey(k | input.shift);
        CountAction(answer, k);
      }
      if (!IsAction(answer, k) && t.keyPressTime[k] == 0) t.keyPressTime[k] = Clock();
      continue;
    }
    if (t.keyPressTime[k] == 0 || k == kKeyLeftShift || k == kKeyRightShift) continue;
    const uint32_t held = Clock() - t.keyPressTime[k];
    RaiseInput(k | (held <= kShortPressMs ? kInputShortRelease : kInputLongRelease) | input.shift);
    t.inputSeen = 1;
    t.keyPressTime[k] = 0;
  }
}

bool AnyAutopilotEndingAction(const uint8_t* actions) {
  const int32_t kEnding[] = {kActionTurn2Up,     kActionTurn2Down,   kActionTurn1Plus,  kActionTurn1Minus,
                             kActionTurn3Plus,   kActionTurn3Minus,  kActionFaster,     kActionSlower,
                             kActionThrust1Plus, kActionThrust1Minus, kActionThrust2Plus, kActionThrust2Minus,
                             kActionStop,        kActionMatchTarget};
  for (int32_t action : kEnding)
    if (actions[action]) return true;
  return false;
}

// Manual steering: outside turret view, unless the input mode mask locks it (bit 1 always, bit 0
// while Shift is held); an autopilot hands over only when the player gives a steering action.
bool SteersManually(const SteeringFrame& frame, const FrameInput& input) {
  const uint32_t lock = gSystem ? gSystem->inputModeMask : 0;
  if (frame.turretView || (lock & 0x2) || ((lock & 0x1) && input.shift)) return false;
  SpaceObject* ship = frame.ship;
  if (!(ship->flags & kObjFlagAutopilot)) return true;
  if (!AnyAutopilotEndingAction(frame.actions)) return false;
  SteeringRaiseEvent("SetAutopilot", 2, 1, 0);
  ship->flags &= ~kObjFlagAutopilot;
  return true;
}

void RunSteeringPass(SpaceObject* ship, bool allowed, const FrameInput& input) {
  SteeringFrame frame{};
  frame.ship = ship;
  frame.allowed = allowed;
  frame.actions = gInputTranslation.actions;
  SteeringPassSetUp(&frame);
  frame.manual = SteersManually(frame, input);
  SteeringDigitalStick(frame);
  SteeringCountedActions(frame);
  SteeringAnalogChannels(frame);
  SteeringMouseChannels(frame, input.dx, input.dy);
  SteeringSpeedActions(frame);
  if (allowed) {
    if (frame.actions[kActionInputPrimary]) SteeringRaiseEvent("InputAction", 1, kActionInputPrimary);
    else if (frame.actions[kActionInputSecondary]) SteeringRaiseEvent("InputAction", 1, kActionInputSecondary);
  }
  SteeringIntegrate(frame);
}

}  // namespace

int32_t HatCode(int32_t angle) {
  switch (angle) {
    case 0: return 320;
    case 4500: return 325;
    case 9000: return 323;
    case 13500: return 327;
    case 18000: return 321;
    case 22500: return 326;
    case 27000: return 322;
    case 31500: return 324;
    default: return 0;
  }
}

int32_t TranslateInput(SpaceObject* ship, int32_t steeringAllowed) {
  InputTranslation& t = gInputTranslation;
  t.thirdFlag = 0;
  std::memset(t.actions, 0, sizeof t.actions);

  FrameInput input{};
  if (const InputState* state = gInputState) {
    input.flags = state->flags;
    input.shift = state->shift ? kKeyShift : 0;
    input.joystickButtons = state->joystickButtons;
    input.mouseButtons = state->mouseButtons;
    input.wheel = state->wheel;
    input.hat = state->hat;
    input.dx = state->mouseDeltaX;
    input.dy = state->mouseDeltaY;
    std::memcpy(input.keyTable, state->keyTable, sizeof input.keyTable);
  }
  static FrameAnswers answers;
  std::memset(&answers, 0, sizeof answers);

  for (int32_t i = 0; i < kJoystickButtonCount; ++i)
    if (input.joystickButtons & (1u << i)) TranslateButton(&input, &answers, kJoystickButtonCodeFirst + i);
  for (int32_t i = 0; i < kMouseButtonCount; ++i)
    if (input.mouseButtons & (1u << i)) TranslateButton(&input, &answers, kMouseButtonCodeFirst + i);
  TranslateWheel(&input);
  const uint32_t hatBits = kInputHatFound | kInputHatUsed;
  const int32_t hat = HatCode(input.hat);
  if ((input.flags & hatBits) == hatBits && hat != 0) TranslateButton(&input, &answers, hat);
  TranslateKeys(input, answers);

  if (!ship) {
    DispatchMouseAxis(0, nullptr, input.dx, 0);
    DispatchMouseAxis(1, nullptr, input.dy, 0);
  } else {
    RunSteeringPass(ship, steeringAllowed != 0, input);
  }

  const int32_t sumX = gSteering.mouseSumX, sumY = gSteering.mouseSumY;
  gSteering.mouseSumX = gSteering.mouseSumY = 0;
  if (sumX != 0 || sumY != 0) SteeringRaiseEvent("InputMouseDelta", 2, sumX, sumY);
  return 1;
}
