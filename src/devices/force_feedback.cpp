// Force feedback on the joystick: the list of four effects (a zero force that runs for ever and
// keeps the stick free of the device's own centring, the impact the simulation plays, a shake
// and a short kick) made whenever the joystick is created or acquired again, and the impact's
// play. Called by the input devices and by the simulation's collision handling; does nothing
// unless force feedback is on.
#include "devices/input_devices.h"
#include "platform/input_backend.h"

namespace {

constexpr int32_t kGains[] = {0, 5000, 7500, 10000};
constexpr int32_t kFullMagnitude = 10000;
constexpr uint32_t kImpactUs = 200000;
constexpr uint32_t kShakeUs = 1000000;
constexpr uint32_t kShakePeriodUs = 100000;
constexpr uint32_t kKickUs = 20000;
constexpr int kImpactSlot = 1;

ForceEffectDesc Describe(uint32_t kind, int32_t gain) {
  ForceEffectDesc desc{};
  desc.type = kEffectConstant;
  desc.gain = gain;
  desc.magnitude = kFullMagnitude;
  switch (kind) {
    case kEffectKindBase:
      desc.axes = kEffectAxisX | kEffectAxisY;
      desc.durationUs = kEffectInfinite;
      desc.magnitude = 0;
      break;
    case kEffectKindImpact:
      desc.axes = kEffectAxisX | kEffectAxisY;
      desc.polar = true;
      desc.durationUs = kImpactUs;
      break;
    case kEffectKindShake:
      desc.type = kEffectPeriodic;
      desc.axes = kEffectAxisX;
      desc.durationUs = kShakeUs;
      desc.periodUs = kShakePeriodUs;
      desc.fadeTimeUs = kShakeUs;
      break;
    default:  // the kick
      desc.axes = kEffectAxisY;
      desc.direction[0] = 1;
      desc.durationUs = kKickUs;
      break;
  }
  return desc;
}

}  // namespace

void ReleaseForceFeedbackEffects(InputState* state) {
  const InputBackend* backend = Backend();
  const uint32_t count = state->effectCount > kEffectSlots ? kEffectSlots : state->effectCount;
  for (uint32_t i = 0; i < count; ++i) {
    if (state->effects[i].effect != 0) backend->releaseEffect(state->effects[i].effect);
    state->effects[i].effect = 0;
  }
  state->effectCount = 0;
}

void CreateForceFeedbackEffects(InputState* state) {
  const InputBackend* backend = Backend();
  ReleaseForceFeedbackEffects(state);
  static constexpr uint32_t kKinds[kEffectSlots] = {kEffectKindBase, kEffectKindImpact, kEffectKindShake, kEffectKindKick};
  const int32_t gain = kGains[ForceFeedbackGainSetting()];
  state->effectCount = kEffectSlots;
  for (int i = 0; i < kEffectSlots; ++i) {
    const uint32_t kind = kKinds[i];
    state->effects[i] = ForceFeedbackSlot{kind, 0};
    ForceEffectDesc desc = Describe(kind, gain);
    if (!backend->hasEffectType(desc.type)) continue;
    if (kind == kEffectKindBase) {
      backend->unacquire(kInputDeviceJoystick);
      backend->setAutoCenter(false);
      backend->acquire(kInputDeviceJoystick);
    }
    state->effects[i].effect = backend->createEffect(&desc);
    if (kind == kEffectKindBase && state->effects[i].effect != 0) backend->startEffect(state->effects[i].effect);
  }
}

bool ForceFeedbackPlay(int32_t direction) {
  InputState* state = gInputState;
  if (!state || !(state->flags & kInputForceFeedback)) return true;
  if (state->effectCount <= kImpactSlot || state->effects[kImpactSlot].effect == 0) return false;
  const InputBackend* backend = Backend();
  const int32_t effect = state->effects[kImpactSlot].effect;
  bool ok = backend->setEffectDirection(effect, direction, 0);
  return backend->startEffect(effect) && ok;
}
