// The sound device: opening the output with its fall-backs, the 32 channel buffers and their reuse,
// volume and pan conversions, the 3D operations of channels and the listener, room presets and
// the master volume. Called by the game main (start, shutdown), the sound core (playing channels)
// and the scene engine (3D sounds). Never opens files (wave_file.cpp does) and never chooses a
// channel; a failure here costs a sound, never the game.
#include "devices/sound_device.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/audio_device.h"

AudioDevice* gSoundDevice = nullptr;
SoundChannel gSoundChannels[kSoundChannelCount];

namespace {

constexpr uint32_t kSoundMemory = MemCategoryFlags(kMemCatSound);

// Creation calls that answer "out of memory" are tried this often, with the low-memory hook
// between the tries.
constexpr int kCreateTries = 2;

// The primary mix is asked for with these controls, in this order.
constexpr uint32_t kPrimaryControls[] = {kAudioOutVolume | kAudioOutPan | kAudioOut3D, kAudioOut3D, 0};

// The listener's settings at start: sound speed for world units of a millimetre.
constexpr float kDopplerFactor = 1.0f;
constexpr float kDistanceFactor = 0.001f;
constexpr float kRolloffFactor = 1.5f;

constexpr int32_t kFullVolume = 255;
constexpr int32_t kConeOutsideVolume = -500;
constexpr float kMaxDistance = 2147483648.0f;
constexpr float kFixedOne = 65536.0f;
constexpr int32_t kCentrePan = 64;
constexpr int32_t kPanStep = 156;
constexpr int32_t kLoopFrames = -1;

// Room presets: how many variants each room has.
constexpr int32_t kRoomVariants[] = {9, 9, 9, 9, 9, 9, 5, 6, 5, 3, 8, 6, 3, 26};
constexpr int32_t kRoomCount = static_cast<int32_t>(sizeof kRoomVariants / sizeof kRoomVariants[0]);
constexpr int32_t kNoRoom = -1;

bool ValidChannel(int32_t channel) { return channel >= 0 && channel < kSoundChannelCount; }

bool Silent() { return !gSoundDevice || (gSoundDevice->flags & kAudioDeviceSilent); }

AudioOutBuffer* Buffer3D(int32_t channel) {
  if (!gSoundDevice || !gSoundDevice->hasListener || !ValidChannel(channel)) return nullptr;
  return gSoundChannels[channel].buffer3D;
}

void LoseDevice(AudioDevice* device) {
  AudioOutClose();
  device->flags &= ~(kAudioDevicePlays | kAudioDeviceSilent | kAudioDeviceEnvironment | kAudioDeviceDirect);
}

AudioOutResult OpenWithRetry() {
  AudioOutResult result = kAudioOutFailed;
  for (int attempt = 0; attempt < kCreateTries; ++attempt) {
    result = AudioOutOpen();
    if (result != kAudioOutOutOfMemory) break;
    CallLowMemoryHandler();
  }
  return result;
}

void SetUpListener() {
  AudioOutListenerSetDopplerFactor(kDopplerFactor, true);
  AudioOutListenerSetDistanceFactor(kDistanceFactor, true);
  AudioOutListenerSetRolloffFactor(kRolloffFactor, true);
  AudioOutListenerSetPosition(0.0f, 0.0f, 0.0f, true);
  AudioOutListenerCommit();
}

AudioOutBuffer* CreateChannelBuffer(const WaveRecord* wave) {
  const bool is3D = (wave->flags & kWave3D) && gSoundDevice->hasListener;
  const uint32_t controls =
      is3D ? kAudioOut3D | kAudioOutVolume | kAudioOutMuteAtMaxDistance : kAudioOutVolume | kAudioOutPan | kAudioOutFrequency;
  const uint16_t bits = (wave->flags & kWave16Bit) ? 16 : 8;
  const uint32_t rate = wave->rate ? wave->rate : kSampleDefaultFrequency;
  AudioOutBuffer* buffer = nullptr;
  for (int attempt = 0; attempt < kCreateTries; ++attempt) {
    const AudioOutResult result = AudioOutCreateBuffer(rate, bits, wave->length, controls, &buffer);
    if (result != kAudioOutOutOfMemory) break;
    CallLowMemoryHandler();
  }
  if (!buffer) return nullptr;
  if (!AudioOutBufferWrite(buffer, wave->data, wave->length) || (!is3D && !AudioOutBufferSetPan(buffer, 0))) {
    AudioOutReleaseBuffer(buffer);
    return nullptr;
  }
  return buffer;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Conversions.

int32_t PlayVolumeToMillibels(int32_t effectsVolume, int32_t volume) {
  const int32_t v = effectsVolume * volume / 320;
  if (v == 0) return kAudioOutSilence;
  return std::clamp(v * 5000 / 256 - 5000, kAudioOutSilence, 0);
}

int32_t ChannelVolumeToMillibels(int32_t effectsVolume, int32_t volume) {
  return std::clamp((volume * effectsVolume / 256) * 5000 / 256 - 5000, kAudioOutSilence, 0);
}

int32_t PanToMillibels(int32_t pan) {
  if (pan == 0) pan = kCentrePan;
  return std::clamp(pan * kPanStep - 10000, -10000, 10000);
}

int16_t MasterVolumeToMillibels(int32_t volume) { return static_cast<int16_t>((volume - 256) * 6); }

// ---------------------------------------------------------------------------------------------
// Start and shutdown.

AudioDevice* InitSound(uint32_t flags) {
  if (gSoundDevice) ShutdownSound();
  auto* device = static_cast<AudioDevice*>(MemAlloc(sizeof(AudioDevice), kSoundMemory));
  if (!device) return nullptr;
  device->flags = flags;
  device->effectsVolume = gSystem ? static_cast<int32_t>(std::min<uint32_t>(gSystem->effectsVolume, kFullVolume)) : kFullVolume;
  device->room = kNoRoom;
  std::memset(gSoundChannels, 0, sizeof gSoundChannels);
  gSoundDevice = device;
  if (flags & kAudioDeviceSilent) return device;

  device->flags &= ~(kAudioDeviceEnvironment | kAudioDeviceDirect);
  bool open = false;
  if (flags & kAudioDeviceEnvironment) {
    if (OpenWithRetry() == kAudioOutOk) {
      if (AudioOutOpenEnvironment()) {
        open = true;
        device->flags |= kAudioDeviceEnvironment;
      } else {
        AudioOutClose();
      }
    }
  }
  if (!open) {
    if (AudioOutOpen() != kAudioOutOk) {
      LoseDevice(device);
      return device;
    }
    device->flags |= kAudioDeviceDirect;
  }
  if (!AudioOutSetCooperativeLevel()) {
    LoseDevice(device);
    return device;
  }
  bool primary = false;
  for (uint32_t controls : kPrimaryControls) {
    if (AudioOutCreatePrimary(controls) == kAudioOutOk) {
      primary = true;
      break;
    }
  }
  if (!primary) {
    ShutdownSound();
    return nullptr;
  }
  device->hasListener = AudioOutHasListener();
  device->primaryRate = AudioOutGetPrimaryFormat().rate;
  device->startVolume = AudioOutGetPrimaryVolume();
  SetMasterVolume(kFullVolume);
  if (device->hasListener) SetUpListener();
  return device;
}

void ShutdownSound() {
  AudioDevice* device = gSoundDevice;
  if (!device) return;
  for (int32_t channel = 0; channel < kSoundChannelCount; ++channel) ReleaseSoundBuffer(channel);
  if (AudioOutIsOpen()) {
    AudioOutSetPrimaryVolume(device->startVolume);
    AudioOutClose();
  }
  gSoundDevice = nullptr;
  MemFree(device, sizeof(AudioDevice), kSoundMemory);
}

// ---------------------------------------------------------------------------------------------
// Channels.

int32_t SoundPlayChannel(SoundSample* sample, int32_t channel, int32_t frames, uint32_t frequency, int32_t pan,
                         int32_t volume) {
  if (!sample || !sample->wave || Silent() || !ValidChannel(channel)) return kSoundPlayFailed;
  SoundChannel& entry = gSoundChannels[channel];
  if (entry.buffer) {
    AudioOutBufferStop(entry.buffer);
    // A continued sample brings new data each time, so its buffer is never kept.
    if (entry.waveSerial != sample->wave->serial || (sample->flags & kSampleContinues)) ReleaseSoundBuffer(channel);
  }
  const int32_t panMillibels = PanToMillibels(pan);
  if (volume == 0) volume = sample->volume;
  const int32_t volumeMillibels = PlayVolumeToMillibels(gSoundDevice->effectsVolume, volume);
  if (frequency == 0) frequency = sample->frequency;
  if (entry.buffer && AudioOutBufferIsLost(entry.buffer) && !AudioOutBufferRestore(entry.buffer)) return kSoundPlayFailed;
  if (!entry.buffer) {
    entry.buffer = CreateChannelBuffer(sample->wave);
    if (!entry.buffer) {
      entry = SoundChannel{};
      return kSoundPlayFailed;
    }
    const bool is3D = (sample->wave->flags & kWave3D) && gSoundDevice->hasListener;
    entry.buffer3D = is3D ? entry.buffer : nullptr;
  }
  entry.flags &= ~kChannelAwaits3D;
  entry.waveSerial = sample->wave->serial;
  AudioOutBufferSetVolume(entry.buffer, volumeMillibels);
  if (sample->wave->flags & kWave3D) {
    entry.flags |= kChannelAwaits3D;
    return channel;
  }
  AudioOutBufferSetPan(entry.buffer, panMillibels);
  AudioOutBufferSetFrequency(entry.buffer, frequency);
  if (!AudioOutBufferPlay(entry.buffer, frames == kLoopFrames)) {
    ReleaseSoundBuffer(channel);
    return kSoundPlayFailed;
  }
  return channel;
}

void ReleaseSoundBuffer(int32_t channel) {
  if (!ValidChannel(channel)) return;
  SoundChannel& entry = gSoundChannels[channel];
  if (entry.buffer) {
    AudioOutBufferStop(entry.buffer);
    AudioOutReleaseBuffer(entry.buffer);
  }
  entry = SoundChannel{};
}

void SoundStopBuffer(int32_t channel) {
  if (ValidChannel(channel) && gSoundChannels[channel].buffer) AudioOutBufferStop(gSoundChannels[channel].buffer);
}

bool SoundChannelIsBusy(int32_t channel) {
  if (!ValidChannel(channel)) return false;
  const SoundChannel& entry = gSoundChannels[channel];
  return !entry.buffer || (entry.flags & kChannelAwaits3D) || AudioOutBufferIsPlaying(entry.buffer);
}

void SoundCaptureFrame(uint32_t milliseconds) { AudioOutCaptureStep(milliseconds); }

int32_t ChannelSetVolume(int32_t channel, int32_t volume) {
  if (!gSoundDevice || !ValidChannel(channel) || !gSoundChannels[channel].buffer) return 0;
  const SoundChannel& entry = gSoundChannels[channel];
  const bool ok =
      AudioOutBufferSetVolume(entry.buffer, ChannelVolumeToMillibels(gSoundDevice->effectsVolume, volume));
  if (entry.buffer3D) AudioOut3DSetConeOutsideVolume(entry.buffer3D, kConeOutsideVolume, true);
  return ok ? 1 : 0;
}

int32_t ChannelSet3DParameters(int32_t channel, int32_t volume, int32_t outsideConeAngle, int32_t insideConeAngle,
                               int32_t coneX, int32_t coneY, int32_t coneZ, int32_t minDistance) {
  AudioOutBuffer* buffer = Buffer3D(channel);
  if (!buffer) return 0;
  if (!AudioOutBufferSetVolume(buffer, ChannelVolumeToMillibels(gSoundDevice->effectsVolume, volume))) return 0;
  if (!AudioOut3DSetMode(buffer, kAudioOutModeNormal, false)) return 0;
  AudioOut3DParameters parameters{};
  parameters.insideConeAngle = static_cast<uint32_t>(insideConeAngle);
  parameters.outsideConeAngle = static_cast<uint32_t>(outsideConeAngle);
  parameters.coneOrientation[0] = static_cast<float>(coneX) / kFixedOne;
  parameters.coneOrientation[1] = static_cast<float>(coneY) / kFixedOne;
  parameters.coneOrientation[2] = static_cast<float>(coneZ) / kFixedOne;
  parameters.coneOutsideVolume = kConeOutsideVolume;
  parameters.minDistance = minDistance > 0 ? static_cast<float>(minDistance) : 1.0f;
  parameters.maxDistance = kMaxDistance;
  parameters.mode = kAudioOutModeNormal;
  return AudioOut3DSetAll(buffer, &parameters, false) ? 1 : 0;
}

int32_t ChannelSet3DPosition(int32_t channel, int32_t x, int32_t y, int32_t z) {
  AudioOutBuffer* buffer = Buffer3D(channel);
  return buffer && AudioOut3DSetPosition(buffer, float(x), float(y), float(z), true) ? 1 : 0;
}

int32_t ChannelSet3DVelocity(int32_t channel, int32_t x, int32_t y, int32_t z) {
  AudioOutBuffer* buffer = Buffer3D(channel);
  return buffer && AudioOut3DSetVelocity(buffer, float(x), float(y), float(z), true) ? 1 : 0;
}

int32_t ChannelSet3DConeOrientation(int32_t channel, int32_t x, int32_t y, int32_t z) {
  AudioOutBuffer* buffer = Buffer3D(channel);
  return buffer && AudioOut3DSetConeOrientation(buffer, x / kFixedOne, y / kFixedOne, z / kFixedOne, true) ? 1 : 0;
}

int32_t ChannelRestartLoop(int32_t channel) {
  if (Silent() || !ValidChannel(channel) || !gSoundChannels[channel].buffer) return 0;
  SoundChannel& entry = gSoundChannels[channel];
  entry.flags &= ~kChannelAwaits3D;
  AudioOutBufferStop(entry.buffer);
  return AudioOutBufferPlay(entry.buffer, true) ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// The listener.

static bool HasListener() { return gSoundDevice && gSoundDevice->hasListener; }

int32_t ListenerResetPosition() {
  return HasListener() && AudioOutListenerSetPosition(0.0f, 0.0f, 0.0f, true) ? 1 : 0;
}

int32_t ListenerResetVelocity() {
  return HasListener() && AudioOutListenerSetVelocity(0.0f, 0.0f, 0.0f, true) ? 1 : 0;
}

int32_t ListenerResetOrientation() {
  static constexpr float kFront[3] = {0.0f, 0.0f, 1.0f};
  static constexpr float kTop[3] = {0.0f, 1.0f, 0.0f};
  return HasListener() && AudioOutListenerSetOrientation(kFront, kTop, true) ? 1 : 0;
}

int32_t ListenerCommit() { return HasListener() && AudioOutListenerCommit() ? 1 : 0; }

// ---------------------------------------------------------------------------------------------
// Rooms and the master volume.

int32_t SFX_SetEAXRoom(int32_t room, int32_t variant) {
  if (!gSoundDevice || !(gSoundDevice->flags & kAudioDeviceEnvironment)) return 0;
  if (room < 0 || room >= kRoomCount) return 0;
  if (variant < 0 || variant >= kRoomVariants[room]) variant = 0;
  gSoundDevice->room = room;
  gSoundDevice->variant = variant;
  AudioOutSetEnvironment(room, variant);
  return 1;
}

int32_t SetMasterVolume(int32_t volume) {
  if (Silent() || !AudioOutIsOpen()) return 0;
  const bool ok = AudioOutSetPrimaryVolume(MasterVolumeToMillibels(volume));
  AudioOutSetPrimaryPan(0);
  return ok ? 1 : 0;
}
