// The audio output layer: one playback device with a primary mix, a 3D listener and static sound
// buffers, spoken to in the units the sound devices use (hundredths of a decibel for volume and
// pan, hertz, left-handed vectors with z forward, deferred 3D settings that wait for a commit).
// Called only by the sound device layer (src/devices/sound_device.cpp). It never decodes files and
// never mixes by itself; the library behind it mixes on its own thread. Headless runs open the
// library's null output; tests render through an in-memory loopback device and can make single
// steps fail.
#pragma once

#include <cstdint>

struct AudioOutBuffer;

// Answers of the opening and creating calls.
enum AudioOutResult : int32_t {
  kAudioOutOk = 0,
  kAudioOutFailed = 1,
  kAudioOutOutOfMemory = 2,
};

// The steps a test can make fail.
enum AudioOutStep : int32_t {
  kAudioOutStepOpen = 0,
  kAudioOutStepCooperative,
  kAudioOutStepPrimary,
  kAudioOutStepEnvironment,
  kAudioOutStepBuffer,
  kAudioOutStepCount,
};

// Controls of a buffer (and of the primary mix).
constexpr uint32_t kAudioOutVolume = 0x1;
constexpr uint32_t kAudioOutPan = 0x2;
constexpr uint32_t kAudioOutFrequency = 0x4;
constexpr uint32_t kAudioOut3D = 0x8;
constexpr uint32_t kAudioOutMuteAtMaxDistance = 0x10;

// Volumes in hundredths of a decibel; this one and below is silence.
constexpr int32_t kAudioOutSilence = -10000;
// Playback frequencies a buffer accepts.
constexpr uint32_t kAudioOutMinFrequency = 100;
constexpr uint32_t kAudioOutMaxFrequency = 200000;

// 3D processing modes of a buffer.
constexpr int32_t kAudioOutModeNormal = 0;
constexpr int32_t kAudioOutModeHeadRelative = 1;
constexpr int32_t kAudioOutModeDisabled = 2;

struct AudioOutFormat {
  uint32_t rate;
  uint16_t channels;
  uint16_t bits;
};

// Every 3D setting of a buffer at once. Angles in degrees, distances in world units.
struct AudioOut3DParameters {
  float position[3];
  float velocity[3];
  uint32_t insideConeAngle;
  uint32_t outsideConeAngle;
  float coneOrientation[3];
  int32_t coneOutsideVolume;
  float minDistance;
  float maxDistance;
  int32_t mode;
};

// The device. Open answers kAudioOutOutOfMemory when the caller may free memory and try again.
AudioOutResult AudioOutOpen();
void AudioOutClose();
bool AudioOutIsOpen();
bool AudioOutSetCooperativeLevel();
// The primary mix with the given controls; a listener exists only with kAudioOut3D.
AudioOutResult AudioOutCreatePrimary(uint32_t controls);
bool AudioOutHasListener();
AudioOutFormat AudioOutGetPrimaryFormat();
int32_t AudioOutGetPrimaryVolume();
bool AudioOutSetPrimaryVolume(int32_t volume);
bool AudioOutSetPrimaryPan(int32_t pan);
// Room presets: supported when the library offers effects; only the choice is kept.
bool AudioOutOpenEnvironment();
bool AudioOutSetEnvironment(int32_t room, int32_t variant);
bool AudioOutGetEnvironment(int32_t* room, int32_t* variant);

// Static buffers of mono 8-bit (unsigned) or 16-bit (signed, little-endian) PCM.
AudioOutResult AudioOutCreateBuffer(uint32_t rate, uint16_t bits, uint32_t bytes, uint32_t controls,
                                    AudioOutBuffer** buffer);
bool AudioOutBufferWrite(AudioOutBuffer* buffer, const void* data, uint32_t bytes);
void AudioOutReleaseBuffer(AudioOutBuffer* buffer);
bool AudioOutBufferPlay(AudioOutBuffer* buffer, bool loop);
bool AudioOutBufferStop(AudioOutBuffer* buffer);
bool AudioOutBufferIsPlaying(const AudioOutBuffer* buffer);
// Buffers here are never lost; both calls exist for the callers' recovery path.
bool AudioOutBufferIsLost(const AudioOutBuffer* buffer);
bool AudioOutBufferRestore(AudioOutBuffer* buffer);
bool AudioOutBufferSetVolume(AudioOutBuffer* buffer, int32_t volume);
bool AudioOutBufferSetPan(AudioOutBuffer* buffer, int32_t pan);
bool AudioOutBufferSetFrequency(AudioOutBuffer* buffer, uint32_t frequency);
// Sample stores made since the process started (a reused buffer makes none).
uint32_t AudioOutStoresMade();

// 3D settings of a buffer made with kAudioOut3D; `deferred` waits for AudioOutListenerCommit.
bool AudioOut3DSetAll(AudioOutBuffer* buffer, const AudioOut3DParameters* parameters, bool deferred);
bool AudioOut3DSetPosition(AudioOutBuffer* buffer, float x, float y, float z, bool deferred);
bool AudioOut3DSetVelocity(AudioOutBuffer* buffer, float x, float y, float z, bool deferred);
bool AudioOut3DSetConeOrientation(AudioOutBuffer* buffer, float x, float y, float z, bool deferred);
bool AudioOut3DSetConeOutsideVolume(AudioOutBuffer* buffer, int32_t volume, bool deferred);
bool AudioOut3DSetMode(AudioOutBuffer* buffer, int32_t mode, bool deferred);

// The listener (only after a primary with kAudioOut3D).
bool AudioOutListenerSetPosition(float x, float y, float z, bool deferred);
bool AudioOutListenerSetVelocity(float x, float y, float z, bool deferred);
bool AudioOutListenerSetOrientation(const float front[3], const float top[3], bool deferred);
bool AudioOutListenerSetDopplerFactor(float factor, bool deferred);
bool AudioOutListenerSetDistanceFactor(float metresPerUnit, bool deferred);
bool AudioOutListenerSetRolloffFactor(float factor, bool deferred);
// Applies every deferred setting of the listener and the buffers in one step.
bool AudioOutListenerCommit();

// Tests: the next AudioOutOpen renders into memory at `rate` (stereo, 16-bit, no head-related
// filtering, no limiter) instead of opening the system's output; false when the library has no
// loopback device. Off again after AudioOutClose.
bool AudioOutUseLoopback(uint32_t rate);
// Renders `frames` stereo frames of the loopback device.
bool AudioOutRenderLoopback(int16_t* samples, uint32_t frames);
// KORVANE_AUDIO_CAPTURE=<file>: AudioOutOpen renders through the loopback device at 44100 Hz
// (stereo, 16-bit) instead of the system's output, and each step appends `milliseconds` x 44100
// / 1000 frames (the fractions carried to the next step) to the file as little-endian samples.
// Nothing happens without a capture.
bool AudioOutIsCapturing();
void AudioOutCaptureStep(uint32_t milliseconds);
// Tests: the next `times` calls of a step answer `result` (kAudioOutFailed for the boolean steps).
void AudioOutFailStep(AudioOutStep step, int32_t times, AudioOutResult result);
