// The sound device layer under the sound core: the AudioDevice record, the 32-entry channel
// table, wave records and the samples made from wave files, volume and pan conversions, the 3D
// operations of channels and the listener, room presets and the master volume. Called by the
// game main (start and shutdown), the sound core and the scene engine's 3D sounds. Speaks to the
// output only through platform/audio_device.h; never decides which channel a sound gets.
#pragma once

#include <cstdint>

struct AudioOutBuffer;

// AudioDevice flag bits.
constexpr uint32_t kAudioDevicePlays = 0x1;
constexpr uint32_t kAudioDeviceSilent = 0x4;
constexpr uint32_t kAudioDeviceNoVolumeControl = 0x8;
constexpr uint32_t kAudioDeviceMusicType2 = 0x40;
constexpr uint32_t kAudioDeviceMusicType1 = 0x80;
constexpr uint32_t kAudioDeviceMusicType3 = 0x800;
constexpr uint32_t kAudioDeviceEnvironment = 0x200;
constexpr uint32_t kAudioDeviceDirect = 0x400;

struct AudioDevice {
  uint32_t flags;
  int32_t effectsVolume;  // 0 to 255
  void (*musicEnded)();
  bool hasListener;
  uint32_t primaryRate;
  int32_t startVolume;  // the primary volume found at start, put back at shutdown
  int32_t room;
  int32_t variant;
};

// WaveRecord flag bits.
constexpr uint16_t kWave16Bit = 0x4;
constexpr uint16_t kWaveLong = 0x100;
constexpr uint16_t kWave3D = 0x200;

// Data above this many bytes makes a long wave and a sample that continues.
constexpr uint32_t kWaveLongBytes = 0x80000;

struct WaveRecord {
  uint16_t flags;
  // Never given to two waves, so a channel can tell whether it still holds this wave's data
  // without keeping a pointer that may outlive the wave.
  uint64_t serial;
  uint32_t length;
  uint8_t* data;
  uint32_t rate;  // the file's rate, 0 included
  uint32_t ready;
};

// SoundSample flag bits (the sample's load flags fill the rest).
constexpr uint32_t kSampleOwnsWave = 0x8;
constexpr uint32_t kSampleContinues = 0x10;
constexpr uint32_t kSample3D = 0x20;
// The frequency of a sample whose file gives rate 0.
constexpr uint32_t kSampleDefaultFrequency = 1024;

// One playable sample; the sound core keeps them in its list.
struct SoundSample {
  uint8_t* data;
  uint32_t length;
  uint32_t frequency;
  int16_t volume;
  int16_t pan;
  int16_t blockSize;
  uint32_t flags;
  uint32_t playLength;
  WaveRecord* wave;
};

constexpr int kSoundChannelCount = 32;
// SoundChannel flag bit: set up for 3D, waits to be started by the 3D set-up.
constexpr uint32_t kChannelAwaits3D = 0x1;

struct SoundChannel {
  uint64_t waveSerial;  // of the wave whose data the buffer holds, so a replay can reuse it; 0 = none
  AudioOutBuffer* buffer;
  AudioOutBuffer* buffer3D;  // the same buffer, for a 3D sample with a listener
  uint32_t flags;
};

// What SoundPlayChannel answers when it cannot play.
constexpr int32_t kSoundPlayFailed = -1;

extern AudioDevice* gSoundDevice;
extern SoundChannel gSoundChannels[kSoundChannelCount];

// The device record (also kept in gSoundDevice), or null when a required step fails. Without an
// output the record exists with bits 0 and 2 clear: sounds are then only timed.
AudioDevice* InitSound(uint32_t flags);
void ShutdownSound();

// A sample from the game file `name` with the type "wav"; null when it is missing or refused.
SoundSample* LoadWaveFile(const char* name, uint32_t flags);
// Frees a sample with its wave record. A channel playing it goes on: its buffer holds its own
// copy of the data.
void FreeSoundSample(SoundSample* sample);

int32_t SoundPlayChannel(SoundSample* sample, int32_t channel, int32_t frames, uint32_t frequency, int32_t pan,
                         int32_t volume);
void ReleaseSoundBuffer(int32_t channel);
// Stops the channel's buffer and keeps it for a replay.
void SoundStopBuffer(int32_t channel);
// True while the channel may still sound: it has no buffer, waits for its 3D set-up, or plays.
bool SoundChannelIsBusy(int32_t channel);
// A run that captures its audio (KORVANE_AUDIO_CAPTURE) mixes the frame's `milliseconds` of sound
// into the capture file; nothing otherwise.
void SoundCaptureFrame(uint32_t milliseconds);

int32_t ChannelSetVolume(int32_t channel, int32_t volume);
int32_t ChannelSet3DParameters(int32_t channel, int32_t volume, int32_t outsideConeAngle, int32_t insideConeAngle,
                               int32_t coneX, int32_t coneY, int32_t coneZ, int32_t minDistance);
int32_t ChannelSet3DPosition(int32_t channel, int32_t x, int32_t y, int32_t z);
int32_t ChannelSet3DVelocity(int32_t channel, int32_t x, int32_t y, int32_t z);
int32_t ChannelSet3DConeOrientation(int32_t channel, int32_t x, int32_t y, int32_t z);
int32_t ChannelRestartLoop(int32_t channel);
int32_t ListenerResetPosition();
int32_t ListenerResetVelocity();
int32_t ListenerResetOrientation();
int32_t ListenerCommit();

// The room preset; 1, or 0 when the device has no room support or the room is unknown.
int32_t SFX_SetEAXRoom(int32_t room, int32_t variant);
// The primary volume for a master volume of 0 to 255.
int32_t SetMasterVolume(int32_t volume);

// Conversions into hundredths of a decibel.
int32_t PlayVolumeToMillibels(int32_t effectsVolume, int32_t volume);
int32_t ChannelVolumeToMillibels(int32_t effectsVolume, int32_t volume);
int32_t PanToMillibels(int32_t pan);
int16_t MasterVolumeToMillibels(int32_t volume);
