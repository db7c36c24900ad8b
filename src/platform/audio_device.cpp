// The audio output layer over OpenAL Soft (see audio_device.h). Conversions live here and only
// here: gain = 10^(volume / 2000) with -10000 as silence; a mono 2D buffer plays on two sources
// pinned hard left and hard right so pan scales one side down as the sound devices expect;
// left-handed vectors become the library's by negating z; the distance factor becomes the speed
// of sound. Deferred 3D settings are kept here and handed over in one batch at the commit, so
// an immediate setting never drags a deferred one along. Single-threaded: only the game thread
// calls in; the library mixes on its own thread and needs no lock from us.
#include "platform/audio_device.h"

// The library exports its extension entry points; their prototypes are behind this switch.
#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/audio_stream.h"
#include "platform/os.h"

namespace {

// Sound travels at this many metres per second; with d metres per world unit the library's
// speed of sound is this / d units per second.
constexpr float kSpeedOfSoundMetres = 343.3f;
// Where a 2D buffer's two sources sit, in listener-relative units.
constexpr float kSideDistance = 1.0f;
// The default maximum distance of a 3D buffer.
constexpr float kDefaultMaxDistance = 1e9f;
constexpr int32_t kMaxPan = 10000;
constexpr int32_t kNoRoom = -1;

struct Listener {
  float position[3];
  float velocity[3];
  float front[3];
  float top[3];
  float doppler;
  float distanceFactor;
  float rolloff;
};

struct Failure {
  int32_t times;
  AudioOutResult result;
};

}  // namespace

struct AudioOutBuffer {
  AudioOutBuffer* next;
  AudioOutBuffer* previous;
  ALuint store;
  ALuint sources[2];
  int sourceCount;
  uint32_t controls;
  uint32_t rate;
  uint16_t bits;
  uint32_t bytes;
  int32_t volume;
  int32_t pan;
  AudioOut3DParameters current;
  AudioOut3DParameters pending;
  bool dirty;
};

namespace {

struct DeviceState {
  ALCdevice* device = nullptr;
  ALCcontext* context = nullptr;
  bool loopbackNext = false;
  uint32_t loopbackRate = 0;
  bool loopback = false;
  bool primary = false;
  uint32_t primaryControls = 0;
  int32_t primaryVolume = 0;
  int32_t primaryPan = 0;
  bool environment = false;
  int32_t room = kNoRoom;
  int32_t variant = 0;
  Listener listener{};
  Listener pendingListener{};
  bool listenerDirty = false;
  AudioOutBuffer* buffers = nullptr;
  // The capture file of a loopback device opened for KORVANE_AUDIO_CAPTURE, and the part of a
  // sample frame the last step left over, in thousandths.
  FILE* capture = nullptr;
  uint32_t captureRemainder = 0;
};

DeviceState gState;
Failure gFailures[kAudioOutStepCount];
uint32_t gStoresMade = 0;

LPALCLOOPBACKOPENDEVICESOFT gLoopbackOpen = nullptr;
LPALCRENDERSAMPLESSOFT gRenderSamples = nullptr;

bool Fails(AudioOutStep step, AudioOutResult* result) {
  Failure& failure = gFailures[step];
  if (failure.times <= 0) return false;
  failure.times--;
  *result = failure.result;
  return true;
}

bool StepFails(AudioOutStep step) {
  AudioOutResult ignored;
  return Fails(step, &ignored);
}

float Gain(int32_t volume) {
  if (volume <= kAudioOutSilence) return 0.0f;
  return static_cast<float>(std::pow(10.0, volume / 2000.0));
}

bool NoError() { return alGetError() == AL_NO_ERROR; }

Listener DefaultListener() {
  Listener l{};
  l.front[2] = 1.0f;
  l.top[1] = 1.0f;
  l.doppler = 1.0f;
  l.distanceFactor = 1.0f;
  l.rolloff = 1.0f;
  return l;
}

AudioOut3DParameters Default3D() {
  AudioOut3DParameters p{};
  p.insideConeAngle = 360;
  p.outsideConeAngle = 360;
  p.coneOrientation[2] = 1.0f;
  p.minDistance = 1.0f;
  p.maxDistance = kDefaultMaxDistance;
  p.mode = kAudioOutModeNormal;
  return p;
}

bool Is3D(const AudioOutBuffer* buffer) { return (buffer->controls & kAudioOut3D) != 0; }

float Distance(const AudioOutBuffer* buffer) {
  const AudioOut3DParameters& p = buffer->current;
  if (p.mode == kAudioOutModeDisabled) return 0.0f;
  float d[3];
  for (int k = 0; k < 3; ++k)
    d[k] = p.position[k] - (p.mode == kAudioOutModeNormal ? gState.listener.position[k] : 0.0f);
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// Volume and pan (2D) or volume and the mute beyond the maximum distance (3D) into source gains.
void ApplyGain(AudioOutBuffer* buffer) {
  const float gain = Gain(buffer->volume);
  if (Is3D(buffer)) {
    const bool muted = (buffer->controls & kAudioOutMuteAtMaxDistance) && Distance(buffer) > buffer->current.maxDistance;
    alSourcef(buffer->sources[0], AL_GAIN, muted ? 0.0f : gain);
    return;
  }
  const int32_t left = buffer->pan > 0 ? -buffer->pan : 0;
  const int32_t right = buffer->pan < 0 ? buffer->pan : 0;
  alSourcef(buffer->sources[0], AL_GAIN, gain * Gain(left));
  alSourcef(buffer->sources[1], AL_GAIN, gain * Gain(right));
}

void Apply3D(AudioOutBuffer* buffer) {
  const AudioOut3DParameters& p = buffer->current;
  const ALuint source = buffer->sources[0];
  const bool relative = p.mode != kAudioOutModeNormal;
  alSourcei(source, AL_SOURCE_RELATIVE, relative ? AL_TRUE : AL_FALSE);
  if (p.mode == kAudioOutModeDisabled) {
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
  } else {
    alSource3f(source, AL_POSITION, p.position[0], p.position[1], -p.position[2]);
  }
  alSource3f(source, AL_VELOCITY, p.velocity[0], p.velocity[1], -p.velocity[2]);
  alSource3f(source, AL_DIRECTION, p.coneOrientation[0], p.coneOrientation[1], -p.coneOrientation[2]);
  alSourcef(source, AL_CONE_INNER_ANGLE, static_cast<float>(p.insideConeAngle));
  alSourcef(source, AL_CONE_OUTER_ANGLE, static_cast<float>(p.outsideConeAngle));
  alSourcef(source, AL_CONE_OUTER_GAIN, Gain(p.coneOutsideVolume));
  alSourcef(source, AL_REFERENCE_DISTANCE, p.minDistance);
  alSourcef(source, AL_MAX_DISTANCE, p.maxDistance);
  alSourcef(source, AL_ROLLOFF_FACTOR, gState.listener.rolloff);
  ApplyGain(buffer);
}

void ApplyListener() {
  const Listener& l = gState.listener;
  alListener3f(AL_POSITION, l.position[0], l.position[1], -l.position[2]);
  alListener3f(AL_VELOCITY, l.velocity[0], l.velocity[1], -l.velocity[2]);
  const ALfloat orientation[6] = {l.front[0], l.front[1], -l.front[2], l.top[0], l.top[1], -l.top[2]};
  alListenerfv(AL_ORIENTATION, orientation);
  alDopplerFactor(l.doppler);
  if (l.distanceFactor > 0.0f) alSpeedOfSound(kSpeedOfSoundMetres / l.distanceFactor);
  // The roll-off is the listener's, but the library keeps it per source.
  for (AudioOutBuffer* b = gState.buffers; b; b = b->next) {
    if (!Is3D(b)) continue;
    alSourcef(b->sources[0], AL_ROLLOFF_FACTOR, l.rolloff);
    ApplyGain(b);
  }
}

// A 3D buffer setting: changes the pending copy when deferred, else the live one at once.
template <typename Change>
bool Set3D(AudioOutBuffer* buffer, bool deferred, Change change) {
  if (!buffer || !Is3D(buffer)) return false;
  if (deferred) {
    if (!buffer->dirty) buffer->pending = buffer->current;
    buffer->dirty = true;
    change(&buffer->pending);
    return true;
  }
  change(&buffer->current);
  if (buffer->dirty) change(&buffer->pending);
  Apply3D(buffer);
  return NoError();
}

template <typename Change>
bool SetListener(bool deferred, Change change) {
  if (!gState.context || !AudioOutHasListener()) return false;
  if (deferred) {
    if (!gState.listenerDirty) gState.pendingListener = gState.listener;
    gState.listenerDirty = true;
    change(&gState.pendingListener);
    return true;
  }
  change(&gState.listener);
  if (gState.listenerDirty) change(&gState.pendingListener);
  ApplyListener();
  return NoError();
}

void Copy3(float* out, float x, float y, float z) {
  out[0] = x;
  out[1] = y;
  out[2] = z;
}

// A run with KORVANE_AUDIO_CAPTURE renders through the loopback device into that file; each
// open appends, so a device closed and opened again keeps the earlier samples.
constexpr uint32_t kCaptureRate = 44100;
constexpr uint32_t kCaptureChunkFrames = 4096;

FILE* OpenCaptureFile() {
  const char* path = std::getenv("KORVANE_AUDIO_CAPTURE");
  if (!path || !*path) return nullptr;
  FILE* file = std::fopen(path, "ab");
  if (!file) std::fprintf(stderr, "audio capture %s: cannot be opened\n", path);
  return file;
}

bool LoadLoopbackEntryPoints() {
  if (gLoopbackOpen && gRenderSamples) return true;
  if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return false;
  gLoopbackOpen = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  gRenderSamples = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
  return gLoopbackOpen && gRenderSamples;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The device.

AudioOutResult AudioOutOpen() {
  AudioOutResult result;
  if (Fails(kAudioOutStepOpen, &result)) return result;
  if (gState.device) return kAudioOutOk;
  ALCdevice* device = nullptr;
  std::vector<ALCint> attributes;
  FILE* capture = gState.loopbackNext ? nullptr : OpenCaptureFile();
  if (capture && LoadLoopbackEntryPoints()) {
    gState.loopbackNext = true;
    gState.loopbackRate = kCaptureRate;
  } else if (capture) {
    std::fprintf(stderr, "audio capture: the library has no loopback device\n");
    std::fclose(capture);
    capture = nullptr;
  }
  const bool loopback = gState.loopbackNext;
  if (loopback) {
    if (!LoadLoopbackEntryPoints()) return kAudioOutFailed;
    device = gLoopbackOpen(nullptr);
    attributes = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                  ALC_FREQUENCY, static_cast<ALCint>(gState.loopbackRate), ALC_HRTF_SOFT, ALC_FALSE,
                  ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE, 0};
  } else {
    // Without a display there is no one to listen: the library's null output still mixes.
    if (OsIsHeadless()) setenv("ALSOFT_DRIVERS", "null", 0);
    device = alcOpenDevice(nullptr);
  }
  const auto fail = [&](AudioOutResult answer) {
    if (capture) std::fclose(capture);
    return answer;
  };
  if (!device) return fail(kAudioOutFailed);
  ALCcontext* context = alcCreateContext(device, attributes.empty() ? nullptr : attributes.data());
  if (!context) {
    const ALCenum error = alcGetError(device);
    alcCloseDevice(device);
    return fail(error == ALC_OUT_OF_MEMORY ? kAudioOutOutOfMemory : kAudioOutFailed);
  }
  if (!alcMakeContextCurrent(context)) {
    alcDestroyContext(context);
    alcCloseDevice(device);
    return fail(kAudioOutFailed);
  }
  gState.device = device;
  gState.context = context;
  gState.loopback = loopback;
  gState.capture = capture;
  gState.listener = DefaultListener();
  gState.listenerDirty = false;
  alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
  alListenerf(AL_GAIN, 1.0f);
  ApplyListener();
  alGetError();
  return kAudioOutOk;
}

void AudioOutClose() {
  AudioOutReleaseStreams();
  while (gState.buffers) AudioOutReleaseBuffer(gState.buffers);
  if (gState.context) {
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(gState.context);
  }
  if (gState.device) alcCloseDevice(gState.device);
  if (gState.capture) std::fclose(gState.capture);
  gState = DeviceState{};
}

bool AudioOutIsOpen() { return gState.context != nullptr; }

bool AudioOutSetCooperativeLevel() { return gState.context && !StepFails(kAudioOutStepCooperative); }

AudioOutResult AudioOutCreatePrimary(uint32_t controls) {
  AudioOutResult result;
  if (Fails(kAudioOutStepPrimary, &result)) return result;
  if (!gState.context) return kAudioOutFailed;
  gState.primary = true;
  gState.primaryControls = controls;
  return kAudioOutOk;
}

bool AudioOutHasListener() { return gState.primary && (gState.primaryControls & kAudioOut3D); }

AudioOutFormat AudioOutGetPrimaryFormat() {
  AudioOutFormat format{0, 2, 16};
  if (gState.device) {
    ALCint rate = 0;
    alcGetIntegerv(gState.device, ALC_FREQUENCY, 1, &rate);
    format.rate = rate > 0 ? static_cast<uint32_t>(rate) : 0;
  }
  return format;
}

int32_t AudioOutGetPrimaryVolume() { return gState.primaryVolume; }

bool AudioOutSetPrimaryVolume(int32_t volume) {
  if (!gState.primary || !(gState.primaryControls & kAudioOutVolume)) return false;
  if (volume < kAudioOutSilence || volume > 0) return false;
  gState.primaryVolume = volume;
  alListenerf(AL_GAIN, Gain(volume));
  return NoError();
}

bool AudioOutSetPrimaryPan(int32_t pan) {
  // The primary mix has no pan of its own here; only the centre is accepted.
  if (!gState.primary || !(gState.primaryControls & kAudioOutPan)) return false;
  if (pan < -kMaxPan || pan > kMaxPan) return false;
  gState.primaryPan = pan;
  return true;
}

bool AudioOutOpenEnvironment() {
  if (!gState.device || StepFails(kAudioOutStepEnvironment)) return false;
  if (!alcIsExtensionPresent(gState.device, "ALC_EXT_EFX")) return false;
  gState.environment = true;
  gState.room = kNoRoom;
  gState.variant = 0;
  return true;
}

bool AudioOutSetEnvironment(int32_t room, int32_t variant) {
  if (!gState.environment) return false;
  gState.room = room;
  gState.variant = variant;
  return true;
}

bool AudioOutGetEnvironment(int32_t* room, int32_t* variant) {
  if (!gState.environment) return false;
  *room = gState.room;
  *variant = gState.variant;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Buffers.

AudioOutResult AudioOutCreateBuffer(uint32_t rate, uint16_t bits, uint32_t bytes, uint32_t controls,
                                    AudioOutBuffer** out) {
  *out = nullptr;
  AudioOutResult result;
  if (Fails(kAudioOutStepBuffer, &result)) return result;
  if (!gState.context || bytes == 0 || rate == 0 || (bits != 8 && bits != 16)) return kAudioOutFailed;
  alGetError();
  AudioOutBuffer* buffer = new (std::nothrow) AudioOutBuffer{};
  if (!buffer) return kAudioOutOutOfMemory;
  alGenBuffers(1, &buffer->store);
  ALenum error = alGetError();
  if (error != AL_NO_ERROR) {
    delete buffer;
    return error == AL_OUT_OF_MEMORY ? kAudioOutOutOfMemory : kAudioOutFailed;
  }
  buffer->sourceCount = (controls & kAudioOut3D) ? 1 : 2;
  alGenSources(buffer->sourceCount, buffer->sources);
  error = alGetError();
  if (error != AL_NO_ERROR) {
    alDeleteBuffers(1, &buffer->store);
    delete buffer;
    return error == AL_OUT_OF_MEMORY ? kAudioOutOutOfMemory : kAudioOutFailed;
  }
  gStoresMade++;
  buffer->controls = controls;
  buffer->rate = rate;
  buffer->bits = bits;
  buffer->bytes = bytes;
  buffer->current = Default3D();
  if (buffer->sourceCount == 2) {
    for (int k = 0; k < 2; ++k) {
      const ALuint source = buffer->sources[k];
      alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
      alSource3f(source, AL_POSITION, k == 0 ? -kSideDistance : kSideDistance, 0.0f, 0.0f);
      alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
    }
  }
  buffer->next = gState.buffers;
  if (gState.buffers) gState.buffers->previous = buffer;
  gState.buffers = buffer;
  if (Is3D(buffer)) {
    Apply3D(buffer);
  } else {
    ApplyGain(buffer);
  }
  alGetError();
  *out = buffer;
  return kAudioOutOk;
}

bool AudioOutBufferWrite(AudioOutBuffer* buffer, const void* data, uint32_t bytes) {
  if (!buffer || !data) return false;
  const uint32_t frame = buffer->bits / 8u;
  uint32_t size = bytes < buffer->bytes ? bytes : buffer->bytes;
  size -= size % frame;
  if (size == 0) return false;
  alSourceStopv(buffer->sourceCount, buffer->sources);
  for (int k = 0; k < buffer->sourceCount; ++k) alSourcei(buffer->sources[k], AL_BUFFER, 0);
  const ALenum format = buffer->bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
  if (buffer->bits == 16 && std::endian::native == std::endian::big) {
    // Sample files hold little-endian words; the library wants the machine's order.
    std::vector<uint8_t> swapped(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    for (uint32_t k = 0; k + 1 < size; k += 2) std::swap(swapped[k], swapped[k + 1]);
    alBufferData(buffer->store, format, swapped.data(), static_cast<ALsizei>(size), static_cast<ALsizei>(buffer->rate));
  } else {
    alBufferData(buffer->store, format, data, static_cast<ALsizei>(size), static_cast<ALsizei>(buffer->rate));
  }
  for (int k = 0; k < buffer->sourceCount; ++k)
    alSourcei(buffer->sources[k], AL_BUFFER, static_cast<ALint>(buffer->store));
  return NoError();
}

void AudioOutReleaseBuffer(AudioOutBuffer* buffer) {
  if (!buffer) return;
  if (gState.context) {
    alSourceStopv(buffer->sourceCount, buffer->sources);
    alDeleteSources(buffer->sourceCount, buffer->sources);
    alDeleteBuffers(1, &buffer->store);
    alGetError();
  }
  if (buffer->previous) buffer->previous->next = buffer->next;
  else gState.buffers = buffer->next;
  if (buffer->next) buffer->next->previous = buffer->previous;
  delete buffer;
}

bool AudioOutBufferPlay(AudioOutBuffer* buffer, bool loop) {
  if (!buffer) return false;
  for (int k = 0; k < buffer->sourceCount; ++k) alSourcei(buffer->sources[k], AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
  // Both sides of a 2D buffer start on the same sample.
  alSourcePlayv(buffer->sourceCount, buffer->sources);
  return NoError();
}

bool AudioOutBufferStop(AudioOutBuffer* buffer) {
  if (!buffer) return false;
  alSourceStopv(buffer->sourceCount, buffer->sources);
  return NoError();
}

bool AudioOutBufferIsPlaying(const AudioOutBuffer* buffer) {
  if (!buffer) return false;
  ALint state = AL_STOPPED;
  alGetSourcei(buffer->sources[0], AL_SOURCE_STATE, &state);
  return state == AL_PLAYING;
}

bool AudioOutBufferIsLost(const AudioOutBuffer*) { return false; }

bool AudioOutBufferRestore(AudioOutBuffer* buffer) { return buffer != nullptr; }

bool AudioOutBufferSetVolume(AudioOutBuffer* buffer, int32_t volume) {
  if (!buffer || !(buffer->controls & kAudioOutVolume)) return false;
  if (volume < kAudioOutSilence || volume > 0) return false;
  buffer->volume = volume;
  ApplyGain(buffer);
  return NoError();
}

bool AudioOutBufferSetPan(AudioOutBuffer* buffer, int32_t pan) {
  if (!buffer || !(buffer->controls & kAudioOutPan)) return false;
  if (pan < -kMaxPan || pan > kMaxPan) return false;
  buffer->pan = pan;
  ApplyGain(buffer);
  return NoError();
}

bool AudioOutBufferSetFrequency(AudioOutBuffer* buffer, uint32_t frequency) {
  if (!buffer || !(buffer->controls & kAudioOutFrequency)) return false;
  if (frequency < kAudioOutMinFrequency || frequency > kAudioOutMaxFrequency) return false;
  const float pitch = static_cast<float>(frequency) / static_cast<float>(buffer->rate);
  for (int k = 0; k < buffer->sourceCount; ++k) alSourcef(buffer->sources[k], AL_PITCH, pitch);
  return NoError();
}

uint32_t AudioOutStoresMade() { return gStoresMade; }

// ---------------------------------------------------------------------------------------------
// 3D buffers and the listener.

bool AudioOut3DSetAll(AudioOutBuffer* buffer, const AudioOut3DParameters* parameters, bool deferred) {
  if (!parameters) return false;
  return Set3D(buffer, deferred, [&](AudioOut3DParameters* p) { *p = *parameters; });
}

bool AudioOut3DSetPosition(AudioOutBuffer* buffer, float x, float y, float z, bool deferred) {
  return Set3D(buffer, deferred, [&](AudioOut3DParameters* p) { Copy3(p->position, x, y, z); });
}

bool AudioOut3DSetVelocity(AudioOutBuffer* buffer, float x, float y, float z, bool deferred) {
  return Set3D(buffer, deferred, [&](AudioOut3DParameters* p) { Copy3(p->velocity, x, y, z); });
}

bool AudioOut3DSetConeOrientation(AudioOutBuffer* buffer, float x, float y, float z, bool deferred) {
  return Set3D(buffer, deferred, [&](AudioOut3DParameters* p) { Copy3(p->coneOrientation, x, y, z); });
}

bool AudioOut3DSetConeOutsideVolume(AudioOutBuffer* buffer, int32_t volume, bool deferred) {
  if (volume < kAudioOutSilence || volume > 0) return false;
  return Set3D(buffer, deferred, [&](AudioOut3DParameters* p) { p->coneOutsideVolume = volume; });
}

bool AudioOut3DSetMode(AudioOutBuffer* buffer, int32_t mode, bool deferred) {
  if (mode < kAudioOutModeNormal || mode > kAudioOutModeDisabled) return false;
  return Set3D(buffer, deferred, [&](AudioOut3DParameters* p) { p->mode = mode; });
}

bool AudioOutListenerSetPosition(float x, float y, float z, bool deferred) {
  return SetListener(deferred, [&](Listener* l) { Copy3(l->position, x, y, z); });
}

bool AudioOutListenerSetVelocity(float x, float y, float z, bool deferred) {
  return SetListener(deferred, [&](Listener* l) { Copy3(l->velocity, x, y, z); });
}

bool AudioOutListenerSetOrientation(const float front[3], const float top[3], bool deferred) {
  return SetListener(deferred, [&](Listener* l) {
    Copy3(l->front, front[0], front[1], front[2]);
    Copy3(l->top, top[0], top[1], top[2]);
  });
}

bool AudioOutListenerSetDopplerFactor(float factor, bool deferred) {
  if (!(factor >= 0.0f)) return false;
  return SetListener(deferred, [&](Listener* l) { l->doppler = factor; });
}

bool AudioOutListenerSetDistanceFactor(float metresPerUnit, bool deferred) {
  if (!(metresPerUnit > 0.0f)) return false;
  return SetListener(deferred, [&](Listener* l) { l->distanceFactor = metresPerUnit; });
}

bool AudioOutListenerSetRolloffFactor(float factor, bool deferred) {
  if (!(factor >= 0.0f)) return false;
  return SetListener(deferred, [&](Listener* l) { l->rolloff = factor; });
}

bool AudioOutListenerCommit() {
  if (!gState.context || !AudioOutHasListener()) return false;
  alGetError();
  // The whole batch reaches the mixer at once.
  alDeferUpdatesSOFT();
  if (gState.listenerDirty) {
    gState.listener = gState.pendingListener;
    gState.listenerDirty = false;
    ApplyListener();
  }
  for (AudioOutBuffer* b = gState.buffers; b; b = b->next) {
    if (!b->dirty) continue;
    b->current = b->pending;
    b->dirty = false;
    Apply3D(b);
  }
  alProcessUpdatesSOFT();
  return NoError();
}

// ---------------------------------------------------------------------------------------------
// Tests.

bool AudioOutUseLoopback(uint32_t rate) {
  if (rate == 0 || !LoadLoopbackEntryPoints()) return false;
  gState.loopbackNext = true;
  gState.loopbackRate = rate;
  return true;
}

bool AudioOutRenderLoopback(int16_t* samples, uint32_t frames) {
  if (!gState.loopback || !gState.device || !samples) return false;
  gRenderSamples(gState.device, samples, static_cast<ALCsizei>(frames));
  return true;
}

bool AudioOutIsCapturing() { return gState.capture != nullptr; }

void AudioOutCaptureStep(uint32_t milliseconds) {
  if (!gState.capture || !gState.loopback || !gState.device) return;
  const uint64_t thousandths = uint64_t{milliseconds} * kCaptureRate + gState.captureRemainder;
  uint64_t frames = thousandths / 1000;
  gState.captureRemainder = static_cast<uint32_t>(thousandths % 1000);
  int16_t chunk[kCaptureChunkFrames * 2];
  while (frames > 0) {
    const auto count = static_cast<uint32_t>(std::min<uint64_t>(frames, kCaptureChunkFrames));
    gRenderSamples(gState.device, chunk, static_cast<ALCsizei>(count));
    // The file holds little-endian samples whatever the machine.
    unsigned char bytes[kCaptureChunkFrames * 4];
    for (uint32_t i = 0; i < count * 2; ++i) {
      const auto v = static_cast<uint16_t>(chunk[i]);
      bytes[2 * i] = static_cast<unsigned char>(v & 0xFF);
      bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    if (std::fwrite(bytes, 4, count, gState.capture) != count) {
      std::fprintf(stderr, "audio capture: write failed, capture stopped\n");
      std::fclose(gState.capture);
      gState.capture = nullptr;
      return;
    }
    frames -= count;
  }
  std::fflush(gState.capture);
}

void AudioOutFailStep(AudioOutStep step, int32_t times, AudioOutResult result) {
  if (step < 0 || step >= kAudioOutStepCount) return;
  gFailures[step] = Failure{times, result};
}
