// The sound device: unit conversions, the start-up fall-backs, room presets, channel buffer reuse,
// and what actually comes out of the mixer, rendered through the loopback device and measured.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "devices/sound_device.h"
#include "platform/audio_device.h"
#include "sound/wave_writer.h"
#include "support/catalog_world.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kAmplitude = 16000.0;
// Output settles this long after a start or a change before it is measured.
constexpr uint32_t kSettleFrames = kRate / 10;
constexpr uint32_t kMeasureFrames = kRate / 2;

TEST(SoundConversions, VolumesPansAndMasterInHundredthsOfADecibel) {
  struct Case {
    const char* what;
    int32_t got;
    int32_t expected;
  };
  const Case kCases[] = {
      {"play volume 0 is silence", PlayVolumeToMillibels(255, 0), -10000},
      {"effects 255 x volume 255 gives v 203", PlayVolumeToMillibels(255, 255), -1036},
      {"effects 0 silences every sound", PlayVolumeToMillibels(0, 255), -10000},
      {"a volume past 255 stays at most 0", PlayVolumeToMillibels(255, 4000), 0},
      {"a negative volume stays at least silence", PlayVolumeToMillibels(255, -4000), -10000},
      {"pan 0 plays centred", PanToMillibels(0), -16},
      {"pan 64", PanToMillibels(64), -16},
      {"pan 128", PanToMillibels(128), 9968},
      {"pan 1", PanToMillibels(1), -9844},
      {"master 255", MasterVolumeToMillibels(255), -6},
      {"master 0", MasterVolumeToMillibels(0), -1536},
      {"channel volume 128 at effects 255", ChannelVolumeToMillibels(255, 128), -2520},
      {"channel volume 0 is not silence", ChannelVolumeToMillibels(255, 0), -5000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.got, c.expected);
  }
}

int gLowMemoryCalls = 0;

class SoundDevice : public testing::Test {
 protected:
  void SetUp() override {
    world_.block()->effectsVolume = 255;
    gLowMemoryCalls = 0;
    SetLowMemoryHook([] { gLowMemoryCalls++; });
  }
  void TearDown() override {
    for (SoundSample* sample : samples_) FreeSoundSample(sample);
    ShutdownSound();
    for (int step = 0; step < kAudioOutStepCount; ++step) AudioOutFailStep(AudioOutStep(step), 0, kAudioOutOk);
    SetLowMemoryHook(nullptr);
  }

  // A device that renders into memory.
  AudioDevice* OpenLoopback(uint32_t flags = kAudioDevicePlays) {
    if (!AudioOutUseLoopback(kRate)) return nullptr;
    return InitSound(flags);
  }

  SoundSample* Sample(const std::string& pcm, uint32_t flags = 0, uint16_t bits = 16) {
    sound_tool::WaveOptions options;
    options.rate = kRate;
    options.bits = bits;
    const std::string name = "s/" + std::to_string(samples_.size()) + ".wav";
    world_.WriteLoose(name, sound_tool::MakeWave(options, pcm));
    SoundSample* sample = LoadWaveFile(("s\\" + std::to_string(samples_.size())).c_str(), flags);
    if (sample) samples_.push_back(sample);
    return sample;
  }
  SoundSample* Tone(double hertz, double seconds, uint32_t flags = 0) {
    return Sample(sound_tool::SinePcm16(hertz, kRate, uint32_t(seconds * kRate), kAmplitude), flags);
  }

  std::vector<int16_t> Render(uint32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    EXPECT_TRUE(AudioOutRenderLoopback(out.data(), frames));
    return out;
  }
  // RMS of one side (0 left, 1 right) over a measured stretch, after letting changes settle.
  double Rms(int side) {
    Render(kSettleFrames);
    const std::vector<int16_t> out = Render(kMeasureFrames);
    double sum = 0.0;
    for (size_t k = side; k < out.size(); k += 2) sum += double(out[k]) * out[k];
    return std::sqrt(sum / kMeasureFrames);
  }
  static double InputRms() { return kAmplitude / std::sqrt(2.0); }

  CatalogWorld world_;
  std::vector<SoundSample*> samples_;
};

TEST_F(SoundDevice, SilentModeOpensNothing) {
  AudioDevice* device = InitSound(kAudioDevicePlays | kAudioDeviceSilent);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->flags, kAudioDevicePlays | kAudioDeviceSilent);
  EXPECT_FALSE(AudioOutIsOpen());
  EXPECT_EQ(device->effectsVolume, 255);
}

TEST_F(SoundDevice, StartUpFallsBackStepByStep) {
  struct Case {
    const char* what;
    uint32_t flags;
    AudioOutStep step;
    int32_t times;
    AudioOutResult result;
    bool record;          // InitSound answers a record
    uint32_t flagsAfter;  // when it does
    bool open;
    bool listener;
    int lowMemoryCalls;
  };
  const Case kCases[] = {
      {"everything works", kAudioDevicePlays, kAudioOutStepOpen, 0, kAudioOutOk, true,
       kAudioDevicePlays | kAudioDeviceDirect, true, true, 0},
      {"no output: sounds are only timed", kAudioDevicePlays, kAudioOutStepOpen, 1, kAudioOutFailed, true, 0, false,
       false, 0},
      {"out of memory on the environment path, twice, then no output", kAudioDevicePlays | kAudioDeviceEnvironment,
       kAudioOutStepOpen, 3, kAudioOutOutOfMemory, true, 0, false, false, 2},
      {"no environment support falls back to the direct path", kAudioDevicePlays | kAudioDeviceEnvironment,
       kAudioOutStepEnvironment, 1, kAudioOutFailed, true, kAudioDevicePlays | kAudioDeviceDirect, true, true, 0},
      {"environment support", kAudioDevicePlays | kAudioDeviceEnvironment, kAudioOutStepOpen, 0, kAudioOutOk, true,
       kAudioDevicePlays | kAudioDeviceEnvironment, true, true, 0},
      {"cooperative level refused", kAudioDevicePlays, kAudioOutStepCooperative, 1, kAudioOutFailed, true, 0, false,
       false, 0},
      {"primary fails twice, then works without 3D", kAudioDevicePlays, kAudioOutStepPrimary, 2, kAudioOutFailed, true,
       kAudioDevicePlays | kAudioDeviceDirect, true, false, 0},
      {"primary fails three times", kAudioDevicePlays, kAudioOutStepPrimary, 3, kAudioOutFailed, false, 0, false, false,
       0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    gLowMemoryCalls = 0;
    AudioOutFailStep(c.step, c.times, c.result);
    AudioDevice* device = InitSound(c.flags);
    EXPECT_EQ(device != nullptr, c.record);
    EXPECT_EQ(gSoundDevice, device);
    if (device) {
      EXPECT_EQ(device->flags, c.flagsAfter);
      EXPECT_EQ(device->hasListener, c.listener);
    }
    EXPECT_EQ(AudioOutIsOpen(), c.open);
    EXPECT_EQ(gLowMemoryCalls, c.lowMemoryCalls);
    ShutdownSound();
    AudioOutFailStep(c.step, 0, kAudioOutOk);
    EXPECT_FALSE(AudioOutIsOpen());
    EXPECT_EQ(gSoundDevice, nullptr);
  }
}

TEST_F(SoundDevice, StartSetsTheMasterVolumeFor255) {
  ASSERT_NE(InitSound(kAudioDevicePlays), nullptr);
  EXPECT_EQ(AudioOutGetPrimaryVolume(), -6);
  EXPECT_EQ(SetMasterVolume(0), 1);
  EXPECT_EQ(AudioOutGetPrimaryVolume(), -1536);
}

TEST_F(SoundDevice, RoomPresetsNeedEnvironmentSupportAndAKnownRoom) {
  ASSERT_NE(InitSound(kAudioDevicePlays | kAudioDeviceEnvironment), nullptr);
  ASSERT_TRUE(gSoundDevice->flags & kAudioDeviceEnvironment);
  struct Case {
    int32_t room, variant;
    int32_t answer;
    int32_t storedVariant;
  };
  const Case kCases[] = {
      {0, 8, 1, 8}, {6, 4, 1, 4}, {6, 9, 1, 0}, {6, -2, 1, 0}, {13, 25, 1, 25}, {14, 0, 0, -1}, {-1, 0, 0, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "room " << c.room << " variant " << c.variant);
    gSoundDevice->room = -1;
    gSoundDevice->variant = -1;
    EXPECT_EQ(SFX_SetEAXRoom(c.room, c.variant), c.answer);
    EXPECT_EQ(gSoundDevice->variant, c.storedVariant);
    if (c.answer) {
      int32_t room = -1, variant = -1;
      ASSERT_TRUE(AudioOutGetEnvironment(&room, &variant));
      EXPECT_EQ(room, c.room);
      EXPECT_EQ(variant, c.storedVariant);
    }
  }
  ShutdownSound();
  ASSERT_NE(InitSound(kAudioDevicePlays), nullptr);
  EXPECT_EQ(SFX_SetEAXRoom(6, 0), 0);
}

TEST_F(SoundDevice, ReplayingAWaveReusesItsBufferButAContinuedSampleDoesNot) {
  ASSERT_NE(OpenLoopback(), nullptr);
  SoundSample* wave = Tone(440, 0.05);
  SoundSample* other = Tone(880, 0.05);
  SoundSample* continued = Tone(440, 0.05, kSampleContinues);
  ASSERT_TRUE(wave && other && continued);

  struct Step {
    SoundSample* sample;
    uint32_t newStores;
  };
  const Step kSteps[] = {{wave, 1}, {wave, 0}, {wave, 0}, {other, 1}, {wave, 1}, {continued, 1}, {continued, 1}};
  for (const Step& step : kSteps) {
    const uint32_t before = AudioOutStoresMade();
    EXPECT_EQ(SoundPlayChannel(step.sample, 3, 0, 0, 64, 255), 3);
    EXPECT_EQ(AudioOutStoresMade() - before, step.newStores);
    EXPECT_EQ(gSoundChannels[3].waveSerial, step.sample->wave->serial);
  }
}

TEST_F(SoundDevice, PlayFailsWithoutSampleChannelOrDevice) {
  ASSERT_NE(OpenLoopback(), nullptr);
  SoundSample* tone = Tone(440, 0.05);
  ASSERT_NE(tone, nullptr);
  EXPECT_EQ(SoundPlayChannel(nullptr, 0, 0, 0, 64, 255), kSoundPlayFailed);
  EXPECT_EQ(SoundPlayChannel(tone, kSoundChannelCount, 0, 0, 64, 255), kSoundPlayFailed);
  EXPECT_EQ(SoundPlayChannel(tone, -1, 0, 0, 64, 255), kSoundPlayFailed);
  AudioOutFailStep(kAudioOutStepBuffer, 2, kAudioOutOutOfMemory);
  gLowMemoryCalls = 0;
  EXPECT_EQ(SoundPlayChannel(tone, 0, 0, 0, 64, 255), kSoundPlayFailed);
  EXPECT_EQ(gLowMemoryCalls, 2);
  EXPECT_EQ(gSoundChannels[0].buffer, nullptr);
  EXPECT_EQ(gSoundChannels[0].waveSerial, 0u);
  ShutdownSound();
  ASSERT_NE(InitSound(kAudioDevicePlays | kAudioDeviceSilent), nullptr);
  EXPECT_EQ(SoundPlayChannel(tone, 0, 0, 0, 64, 255), kSoundPlayFailed);
}

// A freed sample's channel keeps sounding from its own copy, and a wave loaded afterwards (even
// at the freed one's address) never passes for it: the replay makes a new buffer.
TEST_F(SoundDevice, FreeingASampleLeavesItsChannelPlayingAndNoNewWavePassesForIt) {
  ASSERT_NE(OpenLoopback(), nullptr);
  SoundSample* tone = Tone(440, 0.5);
  ASSERT_EQ(SoundPlayChannel(tone, 1, 0, 0, 64, 255), 1);
  const uint64_t serial = tone->wave->serial;
  samples_.clear();
  FreeSoundSample(tone);
  EXPECT_NE(gSoundChannels[1].buffer, nullptr);
  EXPECT_EQ(gSoundChannels[1].waveSerial, serial);
  EXPECT_TRUE(SoundChannelIsBusy(1));
  SoundSample* next = Tone(440, 0.5);
  ASSERT_NE(next, nullptr);
  EXPECT_NE(next->wave->serial, serial);
  const uint32_t before = AudioOutStoresMade();
  ASSERT_EQ(SoundPlayChannel(next, 1, 0, 0, 64, 255), 1);
  EXPECT_EQ(AudioOutStoresMade() - before, 1u);
}

// ---------------------------------------------------------------------------------------------
// What the mixer makes of it.

class SoundOutput : public SoundDevice {
 protected:
  void SetUp() override {
    SoundDevice::SetUp();
    device_ = OpenLoopback();
    if (!device_) GTEST_SKIP() << "the audio library has no loopback device";
    // Full scale, so only the setting under test changes the level.
    ASSERT_TRUE(AudioOutSetPrimaryVolume(0));
  }
  // A 2D buffer of a looping tone with the given settings, playing.
  AudioOutBuffer* Play(int32_t volume, int32_t pan, uint32_t frequency = kRate) {
    const std::string pcm = sound_tool::SinePcm16(440, kRate, kRate, kAmplitude);
    AudioOutBuffer* buffer = nullptr;
    EXPECT_EQ(AudioOutCreateBuffer(kRate, 16, uint32_t(pcm.size()), kAudioOutVolume | kAudioOutPan | kAudioOutFrequency,
                                   &buffer),
              kAudioOutOk);
    EXPECT_TRUE(AudioOutBufferWrite(buffer, pcm.data(), uint32_t(pcm.size())));
    EXPECT_TRUE(AudioOutBufferSetVolume(buffer, volume));
    EXPECT_TRUE(AudioOutBufferSetPan(buffer, pan));
    EXPECT_TRUE(AudioOutBufferSetFrequency(buffer, frequency));
    EXPECT_TRUE(AudioOutBufferPlay(buffer, true));
    return buffer;
  }
  AudioDevice* device_ = nullptr;
};

TEST_F(SoundOutput, VolumeAndPanFollowTheDecibelLaw) {
  struct Case {
    const char* what;
    int32_t volume, pan;
    double left, right;  // of the input's level
  };
  const Case kCases[] = {
      {"-600 centred", -600, 0, 0.501, 0.501},
      {"pan +1000", 0, 1000, 0.316, 1.0},
      {"pan -2000", -600, -2000, 0.501, 0.0501},
      {"full", 0, 0, 1.0, 1.0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    AudioOutBuffer* buffer = Play(c.volume, c.pan);
    const double left = Rms(0) / InputRms();
    const double right = Rms(1) / InputRms();
    EXPECT_NEAR(left, c.left, c.left * 0.01);
    EXPECT_NEAR(right, c.right, c.right * 0.01);
    AudioOutReleaseBuffer(buffer);
  }
}

TEST_F(SoundOutput, SilenceAtMinus10000) {
  AudioOutBuffer* buffer = Play(-10000, 0);
  Render(kSettleFrames);
  for (int16_t value : Render(kMeasureFrames)) ASSERT_LE(std::abs(value), 1);
  AudioOutReleaseBuffer(buffer);
}

TEST_F(SoundOutput, HalfTheRateHalvesThePitch) {
  AudioOutBuffer* buffer = Play(0, 0, kRate / 2);
  Render(kSettleFrames);
  const std::vector<int16_t> out = Render(kRate);
  int rising = 0;
  for (size_t k = 2; k < out.size(); k += 2) rising += out[k - 2] < 0 && out[k] >= 0;
  EXPECT_NEAR(rising, 220, 2);
  AudioOutReleaseBuffer(buffer);
}

TEST_F(SoundOutput, MasterVolume255ScalesTheOutput) {
  AudioOutBuffer* buffer = Play(0, 0);
  const double full = Rms(1);
  ASSERT_EQ(SetMasterVolume(255), 1);
  EXPECT_NEAR(Rms(1) / full, 0.9931, 0.002);
  AudioOutReleaseBuffer(buffer);
}

TEST_F(SoundOutput, ALoopingChannelStillSoundsAfterItsLength) {
  SoundSample* tone = Tone(440, 0.1);
  ASSERT_NE(tone, nullptr);
  ASSERT_EQ(SoundPlayChannel(tone, 0, -1, 0, 64, 255), 0);
  Render(kRate);
  EXPECT_GT(Rms(0), InputRms() * 0.3);

  SoundSample* once = Tone(440, 0.1);
  ASSERT_EQ(SoundPlayChannel(once, 0, 0, 0, 64, 255), 0);
  Render(kRate);
  EXPECT_LT(Rms(0), 2.0);
}

TEST_F(SoundOutput, ThreeDSampleWaitsForItsSetUpAndFollowsTheListenerCommit) {
  SoundSample* tone = Tone(440, 0.1, kSample3D);
  ASSERT_NE(tone, nullptr);
  ASSERT_TRUE(device_->hasListener);
  ASSERT_EQ(SoundPlayChannel(tone, 5, -1, 0, 64, 255), 5);
  EXPECT_EQ(gSoundChannels[5].flags & kChannelAwaits3D, kChannelAwaits3D);
  EXPECT_LT(Rms(0) + Rms(1), 2.0);

  constexpr int32_t kMin = 1000;
  ASSERT_EQ(ChannelSet3DParameters(5, 255, 360, 360, 0, 0, 65536, kMin), 1);
  ASSERT_EQ(ChannelSet3DPosition(5, kMin, 0, 0), 1);
  ASSERT_EQ(ListenerResetPosition(), 1);
  ASSERT_EQ(ListenerResetOrientation(), 1);
  ASSERT_EQ(ListenerCommit(), 1);
  EXPECT_LT(Rms(1), 2.0) << "still waiting to be started";
  ASSERT_EQ(ChannelRestartLoop(5), 1);
  EXPECT_EQ(gSoundChannels[5].flags & kChannelAwaits3D, 0u);

  // At +x the sound is on the right; at twice the minimum distance roll-off 1.5 leaves 0.4.
  const double nearRight = Rms(1);
  EXPECT_GT(nearRight, Rms(0) * 10);
  ASSERT_EQ(ChannelSet3DPosition(5, 2 * kMin, 0, 0), 1);
  EXPECT_NEAR(Rms(1) / nearRight, 1.0, 0.01) << "a deferred move is not heard yet";
  ASSERT_EQ(ListenerCommit(), 1);
  EXPECT_NEAR(Rms(1) / nearRight, 0.4, 0.004);

  ASSERT_EQ(ChannelSet3DPosition(5, -2 * kMin, 0, 0), 1);
  ASSERT_EQ(ListenerCommit(), 1);
  EXPECT_GT(Rms(0), Rms(1) * 10);
}

TEST_F(SoundOutput, VectorsAreLeftHanded) {
  SoundSample* tone = Tone(440, 0.1, kSample3D);
  ASSERT_EQ(SoundPlayChannel(tone, 0, -1, 0, 64, 255), 0);
  ASSERT_EQ(ChannelSet3DParameters(0, 255, 360, 360, 0, 0, 65536, 100), 1);
  ASSERT_EQ(ChannelRestartLoop(0), 1);
  struct Case {
    const char* what;
    float front[3];
    int32_t x, z;
    bool louderLeft;
  };
  const Case kCases[] = {
      {"facing +z, sound at +x", {0, 0, 1}, 300, 0, false},
      {"facing +z, sound at -x", {0, 0, 1}, -300, 0, true},
      {"facing +x, sound at +z", {1, 0, 0}, 0, 300, true},
      {"facing +x, sound at -z", {1, 0, 0}, 0, -300, false},
  };
  const float top[3] = {0, 1, 0};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(AudioOutListenerSetOrientation(c.front, top, true));
    ASSERT_EQ(ChannelSet3DPosition(0, c.x, 0, c.z), 1);
    ASSERT_EQ(ListenerCommit(), 1);
    const double left = Rms(0), right = Rms(1);
    EXPECT_EQ(left > right * 4, c.louderLeft) << left << " " << right;
    EXPECT_EQ(right > left * 4, !c.louderLeft) << left << " " << right;
  }
}

TEST_F(SoundOutput, ThreeDBufferMutedBeyondItsMaximumDistanceAndDimmedOutsideItsCone) {
  const std::string pcm = sound_tool::SinePcm16(440, kRate, kRate, kAmplitude);
  AudioOutBuffer* buffer = nullptr;
  ASSERT_EQ(AudioOutCreateBuffer(kRate, 16, uint32_t(pcm.size()), kAudioOut3D | kAudioOutVolume | kAudioOutMuteAtMaxDistance,
                                 &buffer),
            kAudioOutOk);
  ASSERT_TRUE(AudioOutBufferWrite(buffer, pcm.data(), uint32_t(pcm.size())));
  ASSERT_TRUE(AudioOutListenerSetRolloffFactor(0.0f, false)) << "distance alone must not dim it";
  AudioOut3DParameters p{};
  p.position[2] = 400.0f;  // straight ahead
  p.insideConeAngle = 360;
  p.outsideConeAngle = 360;
  p.coneOrientation[2] = 1.0f;
  p.minDistance = 1.0f;
  p.maxDistance = 500.0f;
  ASSERT_TRUE(AudioOut3DSetAll(buffer, &p, false));
  ASSERT_TRUE(AudioOutBufferPlay(buffer, true));
  const double inside = Rms(0);
  EXPECT_GT(inside, InputRms() * 0.3);

  ASSERT_TRUE(AudioOut3DSetPosition(buffer, 0.0f, 0.0f, 600.0f, false));
  EXPECT_LT(Rms(0), 2.0) << "beyond the maximum distance";

  // Back in range, the cone turned away from the listener: the outside volume applies.
  p.coneOrientation[2] = 1.0f;
  p.insideConeAngle = 30;
  p.outsideConeAngle = 60;
  p.coneOutsideVolume = -500;
  ASSERT_TRUE(AudioOut3DSetAll(buffer, &p, false));
  EXPECT_NEAR(Rms(0) / inside, 0.562, 0.01);
  AudioOutReleaseBuffer(buffer);
}

}  // namespace
