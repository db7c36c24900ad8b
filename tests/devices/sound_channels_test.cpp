// The sound core over generated wave files and a written "Sounds" table: the channel choice with
// take-over and overflow, end times, bank plays flat and at 3D instances of a real scene, timed
// plays without an output, unknown and unloadable ids, auto-free, stops, unloading and reset;
// through the loopback device wherever a sound must really be heard. A recording module hears
// every owner report as (handle, result).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "devices/sound_module.h"
#include "platform/audio_device.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "sound/wave_writer.h"
#include "support/catalog_world.h"
#include "support/engine_fixture.h"

namespace {

using Reports = std::vector<std::pair<uint32_t, int32_t>>;
Reports gReports;
int32_t RecordReport(uint32_t handle, int32_t value) {
  gReports.emplace_back(handle, value);
  return 0;
}
const char* const kNoNames[] = {nullptr};

constexpr uint32_t kRate = 44100;
constexpr double kAmplitude = 16000.0;
constexpr uint32_t kStart = 100000;
constexpr int32_t kModule = 1;

// Bank 1 holds the samples of the tests: entry k is sound 100 + k. Ids 110 to 130 are plain
// sounds whose file is made by the test; the others carry what their test needs.
constexpr int32_t kBankEntries = 60;
constexpr int32_t kLoopSound = 140;      // SFX_LOOP, volume -1
constexpr int32_t kSpreadSound = 141;    // volume 200, spread 50
constexpr int32_t kPitchSound = 142;     // pitch -100 to 100
constexpr int32_t k3DControlSound = 143; // SFX_3DCONTROL
constexpr int32_t kBrokenSound = 144;    // its file is not a wave
constexpr int32_t kAutoFreeSound = 145;  // SFX_AUTOFREE
constexpr int32_t kPlaced = 146;         // SFX_LOOP, volume 200, range 1000
constexpr int32_t kPlacedFar = 147;      // SFX_LOOP, volume 200, range 0
constexpr int32_t kMemberSound = 148;
constexpr int32_t kContinuedSound = 149; // SFX_TOBECONTINUED

std::string Entry(int32_t priority, int32_t volume, const char* flags, int32_t low, int32_t high, int32_t spread,
                  int32_t range) {
  char line[128];
  std::snprintf(line, sizeof line, "%d; %d; %s; %d; %d; %d; %d;\n", priority, volume, flags, low, high, spread, range);
  return line;
}

class SoundCore : public testing::Test {
 protected:
  void SetUp() override {
    SystemBlock* block = world_.block();
    block->effectsVolume = 255;
    block->soundChannelCount = kSoundSlotCount;
    block->gameTime = kStart;
    engine_ = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    ASSERT_TRUE(InitEngineContext(engine_));
    engine_->scriptName = DuplicateString("story");
    ASSERT_EQ(RegisterNativeModule(engine_, nullptr, kNoNames, RecordReport, nullptr, nullptr), kModule);
    gReports.clear();
    WriteTable();
    ASSERT_NE(InitSoundModule(), nullptr);
  }
  void TearDown() override {
    ShutdownSoundModule();
    FreeSoundBanks();
    ShutdownSound();
    for (int step = 0; step < kAudioOutStepCount; ++step) AudioOutFailStep(AudioOutStep(step), 0, kAudioOutOk);
    engine_->scriptName = FreeString(engine_->scriptName);
    FreeEngineTables(engine_);
    MemFreeIfSet(engine_);
    gScriptEngine = nullptr;
  }

  void WriteTable() {
    std::string table = "1;\n100; " + std::to_string(kBankEntries) + ";\n";
    for (int32_t k = 0; k < kBankEntries; ++k) {
      switch (100 + k) {
        case kLoopSound: table += Entry(5, -1, "SFX_LOOP", 0, 0, 0, 0); break;
        case kSpreadSound: table += Entry(5, 200, "NULL", 0, 0, 50, 0); break;
        case kPitchSound: table += Entry(5, 255, "NULL", -100, 100, 0, 0); break;
        case k3DControlSound: table += Entry(5, 255, "SFX_3DCONTROL", 0, 0, 0, 0); break;
        case kAutoFreeSound: table += Entry(5, 255, "SFX_AUTOFREE", 0, 0, 0, 0); break;
        case kPlaced: table += Entry(5, 200, "SFX_LOOP", 0, 0, 0, 1000); break;
        case kPlacedFar: table += Entry(5, 200, "SFX_LOOP", 0, 0, 0, 0); break;
        case kContinuedSound: table += Entry(5, 255, "SFX_TOBECONTINUED", 0, 0, 0, 0); break;
        default: table += Entry(5, 255, "NULL", 0, 0, 0, 0); break;
      }
    }
    // An empty bank 2 and a bank 3 of one entry.
    table += "200; 0;\n300; 1;\n" + Entry(1, 255, "NULL", 0, 0, 0, 0);
    world_.WriteLoose("types/Sounds.txt", table + "\n");
    LoadSoundTable();
  }

  // The file of sample `id` (S\<id>), made of `pcm` at `rate`.
  void WriteSample(int32_t id, const std::string& pcm, uint32_t rate = kRate, uint16_t bits = 16) {
    sound_tool::WaveOptions options;
    options.rate = rate;
    options.bits = bits;
    char name[32];
    std::snprintf(name, sizeof name, "S/%03d.wav", std::abs(id));
    world_.WriteLoose(name, sound_tool::MakeWave(options, pcm));
  }
  // A tone of `ms` milliseconds; at 1000 Hz 8-bit one byte is one millisecond.
  void WriteMs(int32_t id, uint32_t ms) { WriteSample(id, std::string(ms, '\x90'), 1000, 8); }
  void WriteTone(int32_t id, double seconds) {
    WriteSample(id, sound_tool::SinePcm16(440, kRate, uint32_t(seconds * kRate), kAmplitude));
  }

  bool Loopback() {
    if (!AudioOutUseLoopback(kRate) || !InitSound(kAudioDevicePlays) || !(gSoundDevice->flags & kAudioDevicePlays)) {
      return false;
    }
    return AudioOutSetPrimaryVolume(0);
  }

  void Advance(uint32_t ms) {
    world_.block()->gameTime += ms;
    UpdateSounds();
  }

  SoundChannelSlot* Slot(int32_t channel) { return gScriptSound->slots[channel]; }
  static int64_t Now() { return gSystem->gameTime; }
  static bool Loaded(int32_t id) {
    for (const LoadedSample* node = gScriptSound->firstSample; node; node = node->next) {
      if (node->sampleId == id) return true;
    }
    return false;
  }

  // Left and right output level as fractions of the input tone's level, after settling.
  std::pair<double, double> Heard() {
    std::vector<int16_t> out(size_t(kRate / 10) * 2);
    EXPECT_TRUE(AudioOutRenderLoopback(out.data(), kRate / 10));
    out.assign(size_t(kRate / 4) * 2, 0);
    EXPECT_TRUE(AudioOutRenderLoopback(out.data(), kRate / 4));
    double sum[2] = {0, 0};
    for (size_t k = 0; k < out.size(); ++k) sum[k % 2] += double(out[k]) * out[k];
    const double input = kAmplitude / std::sqrt(2.0);
    return {std::sqrt(sum[0] / (kRate / 4)) / input, std::sqrt(sum[1] / (kRate / 4)) / input};
  }
  // What a 2D channel at `volume` and `pan` gives on each side, by the device's own laws.
  static std::pair<double, double> Expected(int32_t volume, int32_t pan) {
    const double gain = std::pow(10.0, PlayVolumeToMillibels(255, volume) / 2000.0);
    const int32_t p = PanToMillibels(pan);
    return {gain * std::pow(10.0, std::min(0, -p) / 2000.0), gain * std::pow(10.0, std::min(0, p) / 2000.0)};
  }
  static void ExpectLevels(std::pair<double, double> heard, std::pair<double, double> expected) {
    EXPECT_NEAR(heard.first, expected.first, expected.first * 0.02 + 0.002);
    EXPECT_NEAR(heard.second, expected.second, expected.second * 0.02 + 0.002);
  }

  CatalogWorld world_;
  ScriptEngine* engine_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Choosing a channel: three channels, each busy with a sound of its own length (ms) and priority.

TEST_F(SoundCore, ChannelChoiceTakesOverQueuesOrReusesAsPriorityAndEndTimeSay) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  world_.block()->soundChannelCount = 3;
  for (int32_t id : {105, 110, 120, 130}) WriteMs(id, uint32_t((id - 100) * 100));
  struct Busy {
    int16_t priority;
    int32_t sound;  // 105, 110, 120 or 130: 500, 1000, 2000 or 3000 ms
  };
  struct Case {
    const char* what;
    Busy busy[3];
    std::vector<int32_t> stopped;  // channels stopped before the request
    int16_t priority;
    int32_t sound;
    int32_t channel;
    Reports atOnce;                // handles 11, 12, 13 own channels 0, 1, 2; 20 the request
    uint32_t later;                // then this much later
    Reports thenHeard;
  };
  const Case kCases[] = {
      {"below every priority: the overflow slot, answered when the next channel ends",
       {{5, 110}, {5, 120}, {5, 130}}, {}, 4, 105, kNoChannel, {}, 1001, {{11, 1}, {20, 1}}},
      {"priority 0 counts as 1, so the waiting request is still answered",
       {{5, 110}, {5, 120}, {5, 130}}, {}, 0, 105, kNoChannel, {}, 1001, {{11, 1}, {20, 1}}},
      {"the same priority takes the channel ending soonest",
       {{5, 130}, {5, 110}, {5, 120}}, {}, 5, 105, 1, {{12, 1}}, 501, {{20, 1}}},
      {"on a tie the lower index", {{5, 120}, {5, 110}, {5, 110}}, {}, 5, 105, 1, {{12, 1}}, 0, {}},
      {"only the lowest priority is taken over", {{6, 105}, {5, 130}, {7, 105}}, {}, 6, 110, 1, {{12, 1}}, 0, {}},
      {"a higher priority still takes only the lowest", {{6, 105}, {5, 130}, {7, 105}}, {}, 9, 110, 1, {{12, 1}}, 0,
       {}},
      {"of two free channels the one that last held the sample", {{5, 110}, {5, 120}, {5, 130}}, {0, 1}, 5, 120, 1,
       {}, 0, {}},
      {"of two free channels without the sample, the first", {{5, 110}, {5, 120}, {5, 130}}, {0, 1}, 5, 105, 0, {},
       0, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    // Fresh slots: none remembers a sample from the case before.
    ShutdownSoundModule();
    ASSERT_NE(InitSoundModule(), nullptr);
    for (int32_t i = 0; i < 3; ++i) {
      ASSERT_EQ(SFX_PlaySample(kModule, 11 + i, c.busy[i].sound, 0, 0, 255, c.busy[i].priority, 64), i);
    }
    for (int32_t channel : c.stopped) ASSERT_EQ(SoundStopChannel(channel, c.busy[channel].sound), 1);
    gReports.clear();
    EXPECT_EQ(SFX_PlaySample(kModule, 20, c.sound, 0, 0, 255, c.priority, 64), c.channel);
    EXPECT_EQ(gReports, c.atOnce);
    if (c.channel == kNoChannel) {
      EXPECT_EQ(gScriptSound->overflow->priority, std::max<int16_t>(c.priority, 1));
      EXPECT_EQ(gScriptSound->overflow->ownerHandle, 20);
    } else {
      EXPECT_EQ(Slot(c.channel)->ownerHandle, 20);
      EXPECT_EQ(Slot(c.channel)->sampleId, c.sound);
    }
    if (c.later) {
      gReports.clear();
      Advance(c.later);
      EXPECT_EQ(gReports, c.thenHeard);
      world_.block()->gameTime = kStart;
    }
  }
}

TEST_F(SoundCore, EndTimesFollowFramesFrequencyAndPitchIn64Bits) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  struct Case {
    const char* what;
    uint32_t bytes;
    uint16_t bits;
    uint32_t rate;
    int32_t pitch;
    int32_t length;
    int64_t endsAfter;
  };
  const Case kCases[] = {
      {"88200 bytes of 16-bit data at 44100 Hz", 88200, 16, 44100, 0, 0, 1000},
      {"the same bytes as 8-bit data", 88200, 8, 44100, 0, 0, 2000},
      {"pitch 100 doubles the frequency", 88200, 16, 44100, 100, 0, 500},
      {"pitch -100 halves it", 88200, 16, 44100, -100, 0, 2000},
      {"a length in bytes plays that much", 88200, 16, 44100, 0, 44100, 500},
      {"3,000,000 frames at 1024 Hz", 3000000, 8, 1024, 0, 0, 2929687},
      {"a pitch that leaves no frequency plays the sample's own", 88200, 16, 44100, -3000, 0, 1000},
      {"a zero-length sample ends at once", 0, 16, 44100, 0, 0, 0},
  };
  int32_t id = 110;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteSample(id, std::string(c.bytes, '\x40'), c.rate, c.bits);
    const int32_t channel = SFX_PlaySample(kModule, id, id, c.length, c.pitch, 255, 5, 64);
    ASSERT_GE(channel, 0);
    EXPECT_EQ(Slot(channel)->endTime - Now(), c.endsAfter);
    EXPECT_EQ(Slot(channel)->flags, 0);
    ++id;
  }
  gReports.clear();
  Advance(1);
  EXPECT_EQ(gReports, (Reports{{uint32_t(id - 1), 1}})) << "the zero-length sample";

  WriteTone(kLoopSound, 0.1);
  const int32_t channel = SFX_PlaySample(kModule, 9, kLoopSound, kPlayLooped, 0, 255, 5, 64);
  ASSERT_GE(channel, 0);
  EXPECT_EQ(Slot(channel)->flags, kSlotLoops);
  EXPECT_EQ(Slot(channel)->endTime, 0);
  gReports.clear();
  Advance(60000);
  EXPECT_EQ(Slot(channel)->priority, 5) << "a looping slot has no end time";
  EXPECT_GT(Heard().first, 0.1);
}

// ---------------------------------------------------------------------------------------------
// Bank sounds.

TEST_F(SoundCore, PlaySoundNativeTakesTheEntryVolumeUnlessASecondArgumentIsGiven) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  WriteTone(kPlaced, 2.0);  // volume 200
  struct Case {
    std::vector<int32_t> args;
    double level;  // of the left side, as Expected gives it
  };
  const Case kCases[] = {
      {{kPlaced}, Expected(200, 64).first},
      {{kPlaced, 90}, Expected(90, 64).first},
  };
  for (const Case& c : kCases) {
    ScriptTask* task = NewTask(engine_, 8);
    ASSERT_NE(task, nullptr);
    std::vector<ScriptValue> args(c.args.size());
    for (size_t k = 0; k < c.args.size(); ++k) SetValueInt(&args[k], c.args[k]);
    EXPECT_EQ(DispatchSFXNative(kModule, task, 2, int32_t(args.size()), args.data()), 1);
    EXPECT_EQ(task->hasResult, 0) << "the play waits for its end";
    EXPECT_NEAR(Heard().first, c.level, c.level * 0.02 + 0.002) << c.args.size();
    ResetScriptSounds(1);
    FreeTask(engine_, task);
  }
}

TEST_F(SoundCore, BankSoundsTakeVolumeSpreadPitchLoopAndPriorityFromTheirEntry) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  for (int32_t id : {kLoopSound, kSpreadSound, kPitchSound, k3DControlSound}) WriteTone(id, 2.0);

  ASSERT_EQ(SFX_PlaySound(kModule, 1, kLoopSound, -1), 1);
  EXPECT_EQ(Slot(0)->flags, kSlotLoops) << "SFX_LOOP loops";
  ExpectLevels(Heard(), Expected(255, 64));  // volume -1 plays at 255
  ResetScriptSounds(1);

  ASSERT_EQ(SFX_PlaySound(kModule, 1, kLoopSound, 90), 1);
  ExpectLevels(Heard(), Expected(90, 64));
  ResetScriptSounds(1);

  // A spread of 50 % lowers 200 to at most 100 less, never raises it.
  bool lowered = false;
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    GameSrand(seed * 1000003u);
    ASSERT_EQ(SFX_PlaySound(kModule, 1, kSpreadSound, -1), 1);
    const double level = Heard().first;
    EXPECT_LE(level, Expected(200, 64).first * 1.02);
    EXPECT_GE(level, Expected(100, 64).first * 0.98);
    lowered = lowered || level < Expected(200, 64).first * 0.95;
    ResetScriptSounds(1);
  }
  EXPECT_TRUE(lowered);

  // The pitch is drawn from -100 to 100 by the game's generator: the same seed, the same pitch.
  std::vector<int64_t> ends;
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    for (int twice = 0; twice < 2; ++twice) {
      GameSrand(seed * 1000003u);
      ASSERT_EQ(SFX_PlaySound(kModule, 1, kPitchSound, -1), 1);
      const int64_t end = Slot(0)->endTime - Now();
      EXPECT_GE(end, 1000);  // 2 s at 2^(100/100) times the rate
      EXPECT_LE(end, 4000);
      if (twice) EXPECT_EQ(end, ends.back());
      else ends.push_back(end);
      ResetScriptSounds(1);
    }
  }
  std::sort(ends.begin(), ends.end());
  EXPECT_GE(std::unique(ends.begin(), ends.end()) - ends.begin(), 6);

  ASSERT_EQ(SFX_PlaySound(kModule, 1, k3DControlSound, -1), 1);
  EXPECT_EQ(Slot(0)->priority, 255);
}

TEST_F(SoundCore, UnknownIdsAnswer0AndMarkNothingAndABrokenFileIsNeverOpenedAgain) {
  // No device record at all: samples still load.
  for (int32_t id : {1300, 250, 160, 301, -1, -150}) {
    SCOPED_TRACE(id);
    gReports.clear();
    EXPECT_EQ(SFX_PlaySound(kModule, 5, id, -1), 0);
    EXPECT_EQ(SFX_PlaySound3D(kModule, 5, id, nullptr), 0);
    EXPECT_EQ(gReports, (Reports{{5, 0}, {5, 0}}));
    EXPECT_EQ(SFX_GetSampleDuration(id), 0);
  }
  for (int32_t id = 100; id < 100 + kBankEntries; ++id) EXPECT_EQ(GetSoundFlags(id) & kSfxUnloadable, 0u) << id;

  world_.WriteLoose("S/144.wav", "RIFF, but not a wave");
  gReports.clear();
  EXPECT_EQ(SFX_PlaySound(kModule, 6, kBrokenSound, -1), 0);
  EXPECT_EQ(gReports, (Reports{{6, 0}}));
  EXPECT_EQ(GetSoundFlags(kBrokenSound) & kSfxUnloadable, kSfxUnloadable);
  // Once marked, the file is not read again, even when it has become a good one.
  WriteTone(kBrokenSound, 0.1);
  gLastReadSize = 12345;
  EXPECT_EQ(SFX_PlaySound(kModule, 6, kBrokenSound, -1), 0);
  EXPECT_EQ(SFX_GetSampleDuration(kBrokenSound), 0);
  EXPECT_EQ(SFX_PlaySample(kModule, 6, kBrokenSound, 0, 0, 255, 5, 64), kNoChannel);
  EXPECT_EQ(gLastReadSize, 12345u);
  EXPECT_FALSE(Loaded(kBrokenSound));
}

// ---------------------------------------------------------------------------------------------
// Without an output, or in silent mode, a play holds its slot for 500 ms and then answers 1.

TEST_F(SoundCore, SilentModeAndNoDeviceTimeAPlayAt500Ms) {
  WriteSample(110, std::string(88200, '\x40'));
  struct Case {
    const char* what;
    uint32_t flags;
    bool openFails;
    bool loads;
  };
  const Case kCases[] = {
      {"no device", kAudioDevicePlays, true, true},
      {"silent mode", kAudioDevicePlays | kAudioDeviceSilent, false, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ResetScriptSounds(1);
    if (c.openFails) AudioOutFailStep(kAudioOutStepOpen, 1, kAudioOutFailed);
    ASSERT_NE(InitSound(c.flags), nullptr);
    gReports.clear();
    EXPECT_EQ(SFX_PlaySample(kModule, 7, 110, 0, 0, 255, 5, 64), kNoChannel);
    EXPECT_EQ(SFX_FindSample(110), 1);
    Advance(500);
    EXPECT_TRUE(gReports.empty());
    Advance(1);
    EXPECT_EQ(gReports, (Reports{{7, 1}}));
    EXPECT_EQ(Loaded(110), c.loads);
    EXPECT_EQ(SFX_GetSampleDuration(110), c.loads ? 1000 : 0);
    ShutdownSound();
  }
}

// ---------------------------------------------------------------------------------------------
// 3D: a scene with a listener camera at the origin facing +z, and members around it.

class SoundCore3D : public SoundCore {
 protected:
  void SetUp() override {
    SoundCore::SetUp();
    scene_ = B3D_SceneAlloc();
    ASSERT_NE(scene_, nullptr);
    scene_->flags |= kSceneEnabled;
    listener_ = B3D_CameraAlloc();
    ASSERT_NE(listener_, nullptr);
    B3D_CameraAddToScene(listener_, scene_);
    listener_->cameraFlags |= kCameraEnabled | kCameraListener;
    MatrixSetIdentity(&listener_->instance.matrix);
  }
  void TearDown() override {
    B3D_CameraFree(listener_);
    while (ListNode* node = ListFirst(&scene_->members)) FreeInstance(InstanceOfNode(node));
    ListRemove(&scene_->node);
    HashRemove(gEngine3D->sceneTable, scene_->handle);
    scene_->name = FreeString(scene_->name);
    EngineFree(scene_, sizeof(SceneRecord));
    SoundCore::TearDown();
  }
  InstanceRecord* Member(int32_t x, int32_t y, int32_t z) {
    InstanceRecord* instance = B3D_InstAlloc();
    EXPECT_NE(instance, nullptr);
    ListRemove(&instance->node);
    ListAddTail(&scene_->members, &instance->node);
    instance->scene = scene_;
    MatrixSetIdentity(&instance->matrix);
    B3D_InstSetPos(instance, x, y, z);
    return instance;
  }

  EngineFixture fixture_;
  SceneRecord* scene_ = nullptr;
  CameraRecord* listener_ = nullptr;
};

TEST_F(SoundCore3D, DistanceLowersTheVolumeAndTheSideSetsThePan) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  WriteTone(kPlaced, 2.0);
  WriteTone(kPlacedFar, 2.0);
  struct Case {
    const char* what;
    int32_t sound;
    InstanceRecord* instance;
    int32_t volume;  // 0: not played
    int32_t pan;
  };
  const Case kCases[] = {
      {"at R ahead: the base volume", kPlaced, Member(0, 0, 1000), 200, 64},
      {"at 3R: half", kPlaced, Member(0, 3000, 3000), 100, 64},
      {"at 5R: not played", kPlaced, Member(0, 0, -5000), 0, 0},
      {"at -x", kPlaced, Member(-1000, 0, 0), 200, 32},
      {"at +x", kPlaced, Member(1000, 0, 0), 200, 96},
      {"half way to the right", kPlaced, Member(1000, 0, 1000), 200, 86},
      {"the listener itself", kPlaced, &listener_->instance, 200, 64},
      {"no instance", kPlaced, nullptr, 200, 64},
      {"an instance in no scene", kPlaced, B3D_InstAlloc(), 200, 64},
      {"range 0 counts as 50000", kPlacedFar, Member(150000, 0, 0), 100, 96},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    gReports.clear();
    EXPECT_EQ(SFX_PlaySound3D(kModule, 3, c.sound, c.instance), c.volume ? 1 : 0);
    if (c.volume == 0) {
      EXPECT_EQ(gReports, (Reports{{3, 0}}));
      EXPECT_EQ(SFX_FindSample(c.sound), 0);
      continue;
    }
    ExpectLevels(Heard(), Expected(c.volume, c.pan));
    EXPECT_EQ(SFX_StopSample(c.sound), 1);
  }
  FreeInstance(kCases[8].instance);
}

// The scene engine's member sound: a 3D sample started looped on a channel, set up in 3D and
// restarted; a stop of the scene's sounds ends it within the frame.
TEST_F(SoundCore3D, AMemberSoundPlaysAndStopsThroughOneFrame) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  WriteTone(kMemberSound, 0.5);
  InstanceRecord* member = Member(0, 0, 2000);
  member->soundSample = kMemberSound;
  ASSERT_NE(SoundLoadSample(kMemberSound, kSfxLoop | kSfx3DControl), nullptr);
  const int32_t channel = SFX_PlaySample(0, 0, kMemberSound, kPlayLooped, 0, 255, 1, 64);
  ASSERT_GE(channel, 0);
  ASSERT_EQ(ChannelSet3DParameters(channel, 255, 360, 360, 0, 0, 65536, 1000), 1);
  ASSERT_EQ(ChannelSet3DPosition(channel, 0, 0, 1000), 1);
  ASSERT_EQ(ListenerCommit(), 1);
  ASSERT_EQ(ChannelRestartLoop(channel), 1);
  member->soundChannel = channel;
  member->soundFlags |= kInstSoundPlaying;

  Advance(16);
  EXPECT_GT(Heard().first, 0.1);
  StopSceneSounds();
  Advance(16);
  EXPECT_EQ(member->soundChannel, -1);
  EXPECT_EQ(SFX_FindSample(kMemberSound), 0);
  const auto heard = Heard();
  EXPECT_LT(heard.first + heard.second, 0.001);
}

// ---------------------------------------------------------------------------------------------
// Ends, stops and freeing.

TEST_F(SoundCore, TheEndOfAQuarterSecondIsReportedInTheFirstFrameAfterIt) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  WriteTone(110, 0.25);
  ASSERT_EQ(SFX_PlaySample(kModule, 4, 110, 0, 0, 255, 5, 64), 0);
  constexpr uint32_t kFrameMs = 40;
  std::vector<int16_t> out(size_t(kRate * kFrameMs / 1000) * 2);
  double sounded = 0.0;
  uint32_t elapsed = 0;
  while (gReports.empty() && elapsed < 1000) {
    ASSERT_TRUE(AudioOutRenderLoopback(out.data(), kRate * kFrameMs / 1000));
    for (int16_t v : out) sounded = std::max(sounded, std::abs(double(v)));
    elapsed += kFrameMs;
    Advance(kFrameMs);
  }
  EXPECT_EQ(elapsed, 280u);
  EXPECT_EQ(gReports, (Reports{{4, 1}}));
  EXPECT_GT(sounded, kAmplitude * 0.2);
  EXPECT_EQ(Slot(0)->priority, 0);
}

TEST_F(SoundCore, AutoFreeTakesASampleUnusedForMoreThan60000MsButNeverWhileItPlays) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  WriteMs(kAutoFreeSound, 1000);
  ASSERT_EQ(SFX_PlaySample(kModule, 1, kAutoFreeSound, 0, 0, 255, 5, 64), 0);
  Advance(1001);  // the sound ends here, and its sample was last used now
  ASSERT_EQ(gReports, (Reports{{1, 1}}));
  Advance(60000);
  EXPECT_TRUE(Loaded(kAutoFreeSound));
  Advance(1);
  EXPECT_FALSE(Loaded(kAutoFreeSound));
  EXPECT_EQ(FindSoundBankEntry(kAutoFreeSound)->sample, nullptr);

  ASSERT_EQ(SFX_PlaySample(kModule, 2, kAutoFreeSound, kPlayLooped, 0, 255, 5, 64), 0);
  Advance(200000);
  EXPECT_TRUE(Loaded(kAutoFreeSound));
  EXPECT_EQ(SFX_StopSample(kAutoFreeSound), 1);
  Advance(60001);
  EXPECT_FALSE(Loaded(kAutoFreeSound));
}

TEST_F(SoundCore, StoppingATemporarySampleFreesItAndReleasesEveryChannelPlayingIt) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  WriteTone(-5, 1.0);
  ASSERT_NE(SoundLoadSample(-5, 0), nullptr);
  ASSERT_EQ(SFX_PlaySample(kModule, 1, -5, 0, 0, 255, 5, 64), 0);
  ASSERT_EQ(SFX_PlaySample(kModule, 2, -5, 0, 0, 255, 5, 64), 1);
  EXPECT_EQ(SoundStopChannel(0, -6), 0) << "another sample";
  EXPECT_EQ(SoundStopChannel(1, -5), 1);
  EXPECT_EQ(gReports, (Reports{{1, 1}, {2, 1}}));
  EXPECT_FALSE(Loaded(-5));
  for (int32_t channel : {0, 1}) {
    EXPECT_EQ(Slot(channel)->priority, 0);
    EXPECT_EQ(gSoundChannels[channel].buffer, nullptr);
  }
  EXPECT_EQ(SoundStopChannel(1, -5), 0) << "nothing plays there any more";
}

// The wave loader reads a whole file as one part, so a sample that would continue has no next
// part: when its part ends, it ends as a failed continuation does, freed with its buffer.
TEST_F(SoundCore, ASampleThatWouldContinueIsFreedWhenItsPartEnds) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  WriteMs(kContinuedSound, 300);
  ASSERT_EQ(SFX_PlaySample(kModule, 1, kContinuedSound, 0, 0, 255, 5, 64), 0);
  Advance(301);
  EXPECT_EQ(gReports, (Reports{{1, 1}}));
  EXPECT_FALSE(Loaded(kContinuedSound));
  EXPECT_EQ(FindSoundBankEntry(kContinuedSound)->sample, nullptr);
  EXPECT_EQ(gSoundChannels[0].buffer, nullptr);
  ASSERT_EQ(SFX_PlaySample(kModule, 2, kContinuedSound, 0, 0, 255, 5, 64), 0) << "it loads again";
}

TEST_F(SoundCore, AFreedSampleKeepsPlayingAndItsReloadMakesANewBuffer) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  WriteTone(110, 2.0);
  WriteTone(120, 2.0);
  ASSERT_EQ(SFX_PlaySample(kModule, 1, 110, kPlayLooped, 0, 255, 5, 64), 0);
  EXPECT_EQ(SFX_FreeSample(110), 1);
  EXPECT_EQ(SFX_FreeSample(110), 0);
  EXPECT_EQ(FindSoundBankEntry(110)->sample, nullptr);
  EXPECT_EQ(SFX_FindSample(110), 1);
  EXPECT_GT(Heard().first, 0.1) << "the channel plays its own copy";
  ASSERT_EQ(SFX_PlaySample(kModule, 2, 120, 0, 0, 255, 5, 64), 1);
  ASSERT_EQ(SFX_StopSample(110), 1);
  const uint32_t stores = AudioOutStoresMade();
  ASSERT_EQ(SFX_PlaySample(kModule, 3, 110, 0, 0, 255, 5, 64), 0);
  EXPECT_EQ(AudioOutStoresMade() - stores, 1u) << "the reloaded wave is not taken for the freed one";
  EXPECT_GT(Heard().first, 0.1);
}

TEST_F(SoundCore, ResetStopsEverythingTellingNoOwnerAndUnloadClearsTheBankSamples) {
  if (!Loopback()) GTEST_SKIP() << "the audio library has no loopback device";
  world_.block()->soundChannelCount = 2;
  WriteTone(110, 1.0);
  WriteTone(-7, 1.0);
  ASSERT_NE(SoundLoadSample(-7, 0), nullptr);
  ASSERT_EQ(SFX_PlaySample(kModule, 1, 110, 0, 0, 255, 5, 64), 0);
  ASSERT_EQ(SFX_PlaySample(0, 0, -7, kPlayLooped, 0, 255, 5, 64), 1);
  ASSERT_EQ(SFX_PlaySample(kModule, 3, 110, 0, 0, 255, 1, 64), kNoChannel);
  gScriptSound->musicLoaded[1] = gScriptSound->musicLoaded[2] = 1;
  gScriptSound->musicNames[1] = DuplicateString("kept");
  gScriptSound->musicNames[2] = DuplicateString("dropped");
  gScriptSound->musicAttributes[1] = kMusicKeptOnReset;
  gScriptSound->currentMusic = 1;

  gReports.clear();
  ResetScriptSounds(0);
  EXPECT_TRUE(gReports.empty());
  for (int32_t channel : {0, 1}) {
    EXPECT_EQ(Slot(channel)->priority, 0);
    EXPECT_EQ(gSoundChannels[channel].buffer, nullptr);
  }
  EXPECT_EQ(gScriptSound->overflow->priority, 0);
  EXPECT_EQ(gScriptSound->firstSample, nullptr);
  EXPECT_EQ(FindSoundBankEntry(110)->sample, nullptr);
  EXPECT_STREQ(gScriptSound->musicNames[1], "kept");
  EXPECT_EQ(gScriptSound->musicNames[2], nullptr);
  EXPECT_EQ(gScriptSound->currentMusic, 1);
  Advance(5000);
  EXPECT_TRUE(gReports.empty()) << "no owner from before the reset hears anything";
  ResetScriptSounds(1);
  EXPECT_EQ(gScriptSound->musicNames[1], nullptr);
  EXPECT_EQ(gScriptSound->currentMusic, 0);

  ASSERT_NE(SoundLoadSample(-7, 0), nullptr);
  ASSERT_EQ(SFX_PlaySample(kModule, 4, 110, 0, 0, 255, 5, 64), 0);
  ASSERT_NE(FindSoundBankEntry(110)->sample, nullptr);
  UnloadAllSamples();
  EXPECT_EQ(gReports, (Reports{{4, 1}}));
  EXPECT_EQ(FindSoundBankEntry(110)->sample, nullptr);
  EXPECT_FALSE(Loaded(110));
  EXPECT_TRUE(Loaded(-7)) << "only bank sounds are unloaded";
}

}  // namespace
