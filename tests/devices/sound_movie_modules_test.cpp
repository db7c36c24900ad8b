// The SFX_ and MOV_ native modules through assembled scripts: every immediate answer of the two
// dispatchers, short calls, waiting natives and reports made during the call, music slots and
// their reset, volumes clamped and pushed to music and voice streams, movie records over a fake
// decoder (the kind table, play ranges, owners taken over, the end, loops, failures, stops and
// texture disconnects) and the voice-line tables of a written voice document.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "devices/media_stream.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "devices/sound_module.h"
#include "sound/voice_writer.h"
#include "platform/audio_device.h"
#include "support/script_runner.h"
#include "render/texture_table.h"
#include "support/media_clips.h"
#include "support/temp_dir.h"

namespace {

// One opened file; its frames follow the shared answer unless the test gives it its own.
struct FakeDecoder {
  std::string path;
  bool own = false;
  MediaReadResult frames = kMediaReadPending;
};

// Decoders whose frames end or fail when the test says, on a clock it moves.
struct FakeMedia {
  std::deque<FakeDecoder> decoders;
  uint32_t now = 1000;
  MediaReadResult frames = kMediaReadPending;
  int32_t seekedTo = -1;
  int32_t rings = 0;
  std::vector<std::pair<void*, int32_t>> volumes;
};
FakeMedia* gFake = nullptr;
int gRingTokens[64];

void* FakeOpen(const char* path, uint32_t, uint32_t) { return &gFake->decoders.emplace_back(FakeDecoder{path}); }
uint32_t FakeParts(void*) { return kMediaPartVideo | kMediaPartAudio; }
bool FakeSeek(void*, int32_t ms) { return gFake->seekedTo = ms, true; }
MediaReadResult FakeNextAudio(void*, MediaAudioBlock*) { return kMediaReadPending; }
MediaReadResult FakeNextFrame(void* decoder, int64_t, MediaVideoFrame*) {
  const auto* d = static_cast<const FakeDecoder*>(decoder);
  return d->own ? d->frames : gFake->frames;
}
void FakeClose(void*) {}
uint32_t FakeAudioRate() { return 1000; }
void* FakeCreateRing(uint32_t, uint32_t) { return &gRingTokens[gFake->rings++ % 64]; }
void FakeReleaseRing(void*) {}
bool FakeTrue(void*) { return true; }
bool FakeSetRingVolume(void* ring, int32_t volume) { return gFake->volumes.emplace_back(ring, volume), true; }
uint32_t FakeNow() { return gFake->now; }

const char* const kIdle = ".func Idle idle\nidle:\n  push0\n  ret\n";

class Modules : public ScriptRunTest {
 protected:
  static inline const char* const kNoNames[] = {nullptr};

  void SetUp() override {
    ScriptRunTest::SetUp();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    previous_ = here;
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    for (int32_t id : {1, 2, 3, 5, 144, 149, 500, 800, 810, 10001, 7, 8})
      dir_.Write("mov/" + Number(id) + ".dat", "clip");
    system_ = SystemBlock{};
    system_.musicVolume = 200;
    system_.voiceVolume = 100;
    system_.effectsVolume = 255;
    system_.masterVolume = 255;
    system_.language = 44;
    gSystem = &system_;
    gFake = &fake_;
    backend_ = *MediaStreamSystemBackend();
    backend_.open = FakeOpen;
    backend_.parts = FakeParts;
    backend_.seek = FakeSeek;
    backend_.nextAudio = FakeNextAudio;
    backend_.nextFrame = FakeNextFrame;
    backend_.close = FakeClose;
    backend_.audioRate = FakeAudioRate;
    backend_.createRing = FakeCreateRing;
    backend_.releaseRing = FakeReleaseRing;
    backend_.stopRing = FakeTrue;
    backend_.playRing = FakeTrue;
    backend_.setRingVolume = FakeSetRingVolume;
    backend_.nowMs = FakeNow;
    SetMediaStreamBackend(&backend_);
    wakeRow_ = RegisterNativeModule(engine_, NoDispatch, kNoNames, SEResumeInt, SEResumeString, SEResumeValue);
    recordRow_ = RegisterNativeModule(engine_, NoDispatch, kNoNames, Record, nullptr, nullptr);
    engine_->seModuleIndex = wakeRow_;
    ASSERT_NE(InitSound(0), nullptr);
    ASSERT_NE(InitSoundModule(), nullptr);
    ASSERT_NE(InitMovieModule(), nullptr);
    reports_.clear();
    releaseOnReport_ = 0;
  }

  void TearDown() override {
    ShutdownMovieModule();
    ShutdownSoundModule();
    ShutdownSound();
    SetMediaStreamBackend(nullptr);
    gFake = nullptr;
    gSystem = nullptr;
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    ScriptRunTest::TearDown();
  }

  static std::string Number(int32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%05d", id);
    return text;
  }

  // A function "name" that calls the native with the given argument lines (first argument first)
  // and returns its answer.
  static std::string Function(const std::string& name, const std::string& native, const std::vector<std::string>& args) {
    std::string text = ".func " + name + " " + name + " frame=8\n" + name + ":\n  check 8\n";
    for (size_t k = args.size(); k-- > 0;) text += "  " + args[k] + "\n";
    text += "  pushi " + std::to_string(args.size()) + "\n  native " + native + "\n  ret\n";
    return text;
  }
  static std::vector<std::string> Ints(const std::vector<int32_t>& values) {
    std::vector<std::string> lines;
    for (int32_t v : values) lines.push_back("pushi " + std::to_string(v));
    return lines;
  }

  static int32_t NoDispatch(int32_t, ScriptTask* task, int32_t, int32_t, ScriptValue*) {
    ReturnInt(task, gScriptEngine, 0);
    return 1;
  }
  static int32_t Record(uint32_t cookie, int32_t value) {
    reports_.emplace_back(cookie, value);
    // An owner whose answer frees another movie, as a script's end handler may.
    if (MovieRecord* other = releaseOnReport_ ? FindMovie(releaseOnReport_) : nullptr) {
      releaseOnReport_ = 0;
      MovieRelease(other);
    }
    return 0;
  }

  MovieRecord* Open(int32_t id) { return MovieOpen(id, 0); }
  // Gives the decoder of the file of `id` its own frame answer.
  void FramesOf(int32_t id, MediaReadResult frames) {
    for (FakeDecoder& d : fake_.decoders)
      if (d.path.find(Number(id)) != std::string::npos) d.own = true, d.frames = frames;
  }

  static inline std::vector<std::pair<uint32_t, int32_t>> reports_;
  static inline int32_t releaseOnReport_ = 0;
  TempDir dir_;
  std::string previous_;
  SystemBlock system_{};
  FakeMedia fake_;
  MediaStreamBackend backend_{};
  int32_t wakeRow_ = 0;
  int32_t recordRow_ = 0;
};

TEST_F(Modules, SFXNativesAnswerAtOnceAsTheTableSays) {
  struct Case {
    const char* native;
    std::vector<int32_t> args;
    const char* result;
  };
  const Case kCases[] = {
      {"SFX_SetChannelInfo", {1, 2}, "0"},
      {"SFX_ExportPrivateInfo", {1201}, "0"},
      {"SFX_ExportPrivateInfo", {1204}, "10"},
      {"SFX_ExportPrivateInfo", {1205}, "0"},
      {"SFX_ExportPrivateInfo", {1206}, "0"},
      {"SFX_ExportPrivateInfo", {77}, "0"},
      {"SFX_GetVoiceLanguage", {44}, "44"},
      {"SFX_GetVoiceLanguage", {48}, "0"},
      {"SFX_GetVoiceLanguage", {7}, "7"},
      {"SFX_GetLanguage", {}, "44"},
      {"SFX_SetLanguage", {-3}, "0"},
      {"SFX_GetLanguage", {}, "-3"},
      {"SFX_SetFlags", {0x55}, "0"},
      {"SFX_GetFlags", {}, "85"},
      {"SFX_SetPanningState", {1}, "1"},
      {"SFX_GetPanningState", {}, "1"},
      {"SFX_SetFXVolume", {300}, "1"},  // stored as 255
      {"SFX_GetFXVolume", {}, "255"},
      {"SFX_SetFXVolume", {-20}, "1"},
      {"SFX_GetFXVolume", {}, "0"},
      {"SFX_SetMODVolume", {90}, "1"},
      {"SFX_GetMODVolume", {}, "90"},
      {"SFX_SetVoiceVolume", {120}, "0"},
      {"SFX_GetVoiceVolume", {}, "120"},
      {"SFX_SetMasterVolume", {200}, "1"},
      {"SFX_GetMasterVolume", {}, "200"},
      {"SFX_SetMusicType", {3}, "0"},
      {"SFX_StopMOD", {}, "1"},
      {"SFX_FreeMOD", {1}, "0"},
      {"SFX_FreeMOD", {11}, "0"},
      {"SFX_SetMODAttributes", {1, 2}, "0"},  // an empty slot
      {"SFX_ReadMODAttributes", {0}, "0"},
      {"SFX_FindSample", {100}, "0"},
      {"SFX_StopSample", {100}, "0"},
      {"SFX_FreeSample", {100}, "0"},
      {"SFX_LoadSample", {999}, "0"},
      {"SFX_GetSampleDuration", {999}, "0"},
      {"SFX_SetEAXRoom", {1, 0}, "0"},
      {"SFX_PlaySound3D", {100, 12345}, "0"},  // an unknown instance handle: no wait
      {"SFX_SetFXVolume", {}, "1"},            // a short call reads 0
      {"SFX_GetFXVolume", {}, "0"},
  };
  std::string text;
  for (size_t k = 0; k < std::size(kCases); ++k)
    text += Function("F" + std::to_string(k), kCases[k].native, Ints(kCases[k].args));
  ASSERT_TRUE(Load(text)) << error_;
  for (size_t k = 0; k < std::size(kCases); ++k)
    EXPECT_EQ(Call(("F" + std::to_string(k)).c_str()), kCases[k].result) << k << " " << kCases[k].native;
  EXPECT_EQ(gSoundDevice->effectsVolume, 0);
  EXPECT_EQ(gSoundDevice->flags & (kAudioDeviceMusicType1 | kAudioDeviceMusicType2 | kAudioDeviceMusicType3),
            kAudioDeviceMusicType3);
}

TEST_F(Modules, UnknownFunctionNumbersAnswerZeroAndTheTaskGoesOn) {
  ScriptTask* task = NewTask(engine_, 8);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(DispatchSFXNative(wakeRow_, task, 33, 0, nullptr), 1);
  EXPECT_EQ(task->hasResult, 1);
  EXPECT_EQ(task->result.i, 0);
  task->hasResult = 0;
  EXPECT_EQ(DispatchMOVNative(wakeRow_, task, 14, 0, nullptr), 1);
  EXPECT_EQ(task->hasResult, 1);
  EXPECT_EQ(task->result.i, 0);
  EndTask(engine_, task);
}

TEST_F(Modules, VolumeControlOffAnswersZero) {
  gSoundDevice->flags |= kAudioDeviceNoVolumeControl;
  struct Case {
    const char* native;
    std::vector<int32_t> args;
  };
  const Case kCases[] = {
      {"SFX_SetFXVolume", {10}},  {"SFX_SetMODVolume", {10}},    {"SFX_SetMasterVolume", {10}},
      {"SFX_GetMasterVolume", {}}, {"SFX_StopMOD", {}},           {"SFX_FreeMOD", {1}},
      {"SFX_PlayMOD", {1}},        {"SFX_ReadMODAttributes", {1}}, {"SFX_SetMODAttributes", {1, 2}},
      {"SFX_SetVoiceVolume", {10}},
  };
  std::string text = Function("Load", "SFX_LoadMOD", {"pushs \"theme\""});
  for (size_t k = 0; k < std::size(kCases); ++k)
    text += Function("F" + std::to_string(k), kCases[k].native, Ints(kCases[k].args));
  ASSERT_TRUE(Load(text)) << error_;
  EXPECT_EQ(Call("Load"), "0");
  for (size_t k = 0; k < std::size(kCases); ++k)
    EXPECT_EQ(Call(("F" + std::to_string(k)).c_str()), "0") << kCases[k].native;
  EXPECT_EQ(system_.effectsVolume, 255u);
  EXPECT_EQ(system_.masterVolume, 255u);
  EXPECT_EQ(system_.voiceVolume, 10u);  // the voice volume is stored whatever the device says
}

TEST_F(Modules, MusicSlotsLoadPlayAndSurviveAPartialReset) {
  ASSERT_TRUE(Load(Function("Load", "SFX_LoadMOD", {"pushs \"theme\""}) +
                   Function("LoadNumber", "SFX_LoadMOD", {"pushi 5"}) +
                   Function("Play", "SFX_PlayMOD", {"pushi 0"}) + Function("Play3", "SFX_PlayMOD", {"pushi 3"}) +
                   Function("Play0", "SFX_PlayMOD", {"pushi 0"}) + Function("Play11", "SFX_PlayMOD", {"pushi 11"}) +
                   Function("Play1", "SFX_PlayMOD", {"pushi 1"}) +
                   Function("Keep", "SFX_SetMODAttributes", {"pushi 1", "pushi 2"}) +
                   Function("Attr", "SFX_ReadMODAttributes", {"pushi 1"}) +
                   Function("Count", "SFX_ExportPrivateInfo", {"pushi 1205"})))
      << error_;
  // The waits are answered during the call, so each call ends at once.
  EXPECT_EQ(Call("Load"), "1");
  EXPECT_EQ(Call("Load"), "2");
  EXPECT_EQ(Call("LoadNumber"), "0");  // a value that is no text
  EXPECT_EQ(Call("Count"), "2");
  EXPECT_EQ(Call("Play3"), "0");
  EXPECT_EQ(Call("Play0"), "0");
  EXPECT_EQ(Call("Play11"), "0");
  EXPECT_EQ(Call("Attr"), "1");
  EXPECT_EQ(Call("Keep"), "1");
  EXPECT_EQ(Call("Play1"), "1");
  EXPECT_EQ(gScriptSound->currentMusic, 1);

  ResetScriptSounds(0);
  EXPECT_EQ(gScriptSound->currentMusic, 1);
  EXPECT_EQ(gScriptSound->musicLoaded[2], 0);
  ASSERT_NE(gScriptSound->musicNames[1], nullptr);
  EXPECT_STREQ(gScriptSound->musicNames[1], "theme");
  ResetScriptSounds(1);
  EXPECT_EQ(gScriptSound->currentMusic, 0);
  EXPECT_EQ(gScriptSound->musicLoaded[1], 0);
}

TEST_F(Modules, EngineMusicLoadsCheckTheSlotAndReplaceTheOldName) {
  ASSERT_TRUE(Load(kIdle)) << error_;  // owners are told only while a script is loaded
  EXPECT_EQ(SFX_LoadMOD(0, 4, "first"), 4);
  EXPECT_EQ(SFX_LoadMOD(0, 4, "second"), 4);  // the first copy is freed, not lost
  EXPECT_STREQ(gScriptSound->musicNames[4], "second");
  EXPECT_EQ(SFX_LoadMOD(0, 0, "none"), 0);
  EXPECT_EQ(SFX_LoadMOD(0, 11, "none"), 0);
  EXPECT_EQ(SFX_LoadMOD(recordRow_, 9, nullptr), 0);
  EXPECT_EQ(reports_, (std::vector<std::pair<uint32_t, int32_t>>{{9, 0}}));
  EXPECT_EQ(SFX_FreeMOD(4), 1);
  EXPECT_EQ(SFX_FreeMOD(4), 0);
}

TEST_F(Modules, MusicAndVoiceVolumesReachTheirOwnStreams) {
  MovieRecord* music = MovieOpen(7, kMediaKindMusic | kMediaKindAudioOnly);
  MovieRecord* voice = MovieOpen(8, kMediaKindVoice | kMediaKindAudioOnly);
  ASSERT_NE(music, nullptr);
  ASSERT_NE(voice, nullptr);
  // Opening sets each from its own setting: music 200, voice 100.
  const int32_t musicAt200 = music->stream->volume;
  const int32_t voiceAt100 = voice->stream->volume;
  EXPECT_NE(musicAt200, voiceAt100);

  // Without music type 3 the music volume stays with the setting.
  EXPECT_EQ(SFX_SetMODVolume(100), 1);
  EXPECT_EQ(music->stream->volume, musicAt200);
  SFX_SetMusicType(3);
  EXPECT_EQ(SFX_SetMODVolume(100), 1);
  EXPECT_EQ(music->stream->volume, voiceAt100);  // the same 100 as the voice
  EXPECT_EQ(voice->stream->volume, voiceAt100);
  EXPECT_EQ(SFX_SetVoiceVolume(200), 0);
  EXPECT_EQ(voice->stream->volume, musicAt200);
  EXPECT_EQ(music->stream->volume, voiceAt100);
  // Out-of-range volumes are held to 0..255.
  EXPECT_EQ(SFX_SetVoiceVolume(-500), 0);
  EXPECT_EQ(system_.voiceVolume, 0u);
  SFX_SetVoiceVolume(1000);
  EXPECT_EQ(system_.voiceVolume, 255u);
}

TEST_F(Modules, MovieKindsFollowTheId) {
  struct Case {
    int32_t id;
    uint32_t kind;
    int32_t slot;
  };
  const Case kCases[] = {
      {1, 0x8, 66},   {2, 0x8, 61},    {3, 0x8, 66},     {144, 0x110, 0}, {149, 0x110, 0}, {500, 0x110, 0},
      {800, 0x8, 0},  {810, 0x100, 0}, {811, 0x100, 0},  {10001, 0x8, 0}, {5, 0, 0},       {100, 0, 0},
      {1000, 0, 0},   {101, 0x110, 0}, {999, 0x110, 0},
  };
  for (const Case& c : kCases) {
    int32_t slot = -1;
    EXPECT_EQ(MovieKindForId(c.id, &slot), c.kind) << c.id;
    EXPECT_EQ(slot, c.slot) << c.id;
  }
  MovieRecord* intro = Open(1);
  ASSERT_NE(intro, nullptr);
  EXPECT_EQ(intro->flags, kMediaKindNoAudio | kMovieConnected);
  EXPECT_EQ(intro->textureSlot, 66);
  MovieRecord* plain = Open(5);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->flags & ~kMediaKindNoAudio, 0u);
  EXPECT_EQ(FirstMovie(), plain);  // new records go to the front
  EXPECT_EQ(NextMovie(plain), intro);
  EXPECT_EQ(Open(6), nullptr);  // no file
}

TEST_F(Modules, PlayingWaitsTakesOverOwnersAndEnds) {
  ASSERT_TRUE(Load(Function("From", "MOV_PlayMovieFrom", Ints({800, 0, 1, 500, 0, 3, 0})) +
                   Function("Negative", "MOV_PlayMovieFrom", Ints({-1, 0, 1, 500, 0, 3, 0})) +
                   Function("Play", "MOV_PlayMovie", Ints({800})) +
                   Function("Missing", "MOV_PlayMovie", Ints({6})) +
                   Function("Stop", "MOV_StopMovie", Ints({800})) +
                   Function("StopUnknown", "MOV_StopMovie", Ints({4})) +
                   Function("Load", "MOV_LoadMovie", Ints({2, 0})) +
                   Function("Free", "MOV_FreeMovie", Ints({2})) +
                   Function("Connect", "MOV_ConnectMovieToTexture", Ints({800, 12}))))
      << error_;
  EXPECT_EQ(Call("Negative"), "0");
  EXPECT_EQ(Call("Missing"), "0");
  EXPECT_EQ(Call("StopUnknown"), "0");

  results_.clear();
  ASSERT_NE(Start("From"), nullptr);
  RunAll();
  EXPECT_TRUE(results_.empty());
  MovieRecord* movie = FindMovie(800);
  ASSERT_NE(movie, nullptr);
  EXPECT_EQ(movie->start, 1500);
  EXPECT_EQ(movie->end, 3000);
  EXPECT_EQ(fake_.seekedTo, 1500);
  EXPECT_EQ(movie->stream->endPosition, 3000);
  EXPECT_TRUE(movie->flags & kMovieRunning);

  // Another task plays the same id: the first hears 1, the second owns the record.
  ASSERT_NE(Start("Play"), nullptr);
  RunAll();
  EXPECT_EQ(results_, std::vector<std::string>{"1"});
  EXPECT_EQ(movie->end, 0);
  EXPECT_EQ(Call("Connect"), "1");
  EXPECT_EQ(movie->textureSlot, 12);

  // The stream runs to its end: the owner hears 1 and the record stays, stopped.
  results_.clear();
  fake_.frames = kMediaReadEnd;
  UpdateMovies();
  RunAll();
  EXPECT_EQ(results_, std::vector<std::string>{"1"});
  EXPECT_EQ(FindMovie(800), movie);
  EXPECT_FALSE(movie->flags & kMovieRunning);
  EXPECT_EQ(Call("Stop"), "1");

  EXPECT_EQ(Call("Load"), "1");
  EXPECT_EQ(Call("Free"), "1");
  EXPECT_EQ(FindMovie(2), nullptr);
  EXPECT_EQ(Call("Free"), "0");
}

TEST_F(Modules, UpdateLoopsFailsAndStopsAll) {
  ASSERT_TRUE(Load(kIdle)) << error_;
  MovieRecord* looping = Open(800);
  MovieRecord* failing = Open(10001);
  MovieRecord* other = Open(3);
  ASSERT_TRUE(looping && failing && other);
  EXPECT_EQ(MoviePlay(recordRow_, 1, 800, 200, 900, true), 1);
  EXPECT_EQ(MoviePlay(recordRow_, 2, 10001, 0, 0, false), 1);
  EXPECT_EQ(MoviePlay(recordRow_, 3, 3, 0, 0, false), 1);

  // The looping record reaches its end and starts again at its start.
  fake_.now += 1000;
  fake_.seekedTo = -1;
  UpdateMovies();
  EXPECT_EQ(fake_.seekedTo, 200);
  EXPECT_TRUE(looping->flags & kMovieRunning);
  EXPECT_EQ(looping->stream->endPosition, 900);
  EXPECT_TRUE(reports_.empty());

  // Failing streams wake their owners and their records go; the walk goes on past them.
  FramesOf(10001, kMediaReadFailed);
  FramesOf(3, kMediaReadFailed);
  UpdateMovies();
  EXPECT_EQ(FindMovie(10001), nullptr);
  EXPECT_EQ(FindMovie(3), nullptr);
  EXPECT_EQ(reports_, (std::vector<std::pair<uint32_t, int32_t>>{{3, 1}, {2, 1}}));

  // Stopping all keeps the records, clears running and wakes the owners.
  reports_.clear();
  EXPECT_EQ(MoviePlay(recordRow_, 4, 800, 0, 0, false), 1);
  StopAllMovies();
  EXPECT_EQ(FindMovie(800), looping);
  EXPECT_FALSE(looping->flags & kMovieRunning);
  EXPECT_EQ(looping->stream->finished, 1);
  // The looping owner heard 1 when owner 4 took the record over.
  EXPECT_EQ(reports_, (std::vector<std::pair<uint32_t, int32_t>>{{1, 1}, {4, 1}}));
}

TEST_F(Modules, AnOwnerThatReleasesTheNextRecordDoesNotBreakTheWalk) {
  ASSERT_TRUE(Load(kIdle)) << error_;
  ASSERT_TRUE(Open(800) && Open(10001) && Open(3));  // listed 3, 10001, 800
  EXPECT_EQ(MoviePlay(recordRow_, 1, 3, 0, 0, false), 1);
  EXPECT_EQ(MoviePlay(recordRow_, 2, 10001, 0, 0, false), 1);
  FramesOf(3, kMediaReadFailed);
  releaseOnReport_ = 10001;
  UpdateMovies();
  EXPECT_EQ(FindMovie(3), nullptr);
  EXPECT_EQ(FindMovie(10001), nullptr);
  EXPECT_NE(FindMovie(800), nullptr);
  EXPECT_EQ(reports_, (std::vector<std::pair<uint32_t, int32_t>>{{1, 1}, {2, 1}}));
  // Stopping all survives the same.
  reports_.clear();
  ASSERT_NE(Open(5), nullptr);
  EXPECT_EQ(MoviePlay(recordRow_, 3, 5, 0, 0, false), 1);
  EXPECT_EQ(MoviePlay(recordRow_, 4, 800, 0, 0, false), 1);
  releaseOnReport_ = 800;
  StopAllMovies();
  EXPECT_EQ(FindMovie(800), nullptr);
  EXPECT_EQ(reports_, (std::vector<std::pair<uint32_t, int32_t>>{{3, 1}, {4, 1}}));
}

TEST_F(Modules, MusicEndedTellsTheOwnerOnce) {
  ASSERT_TRUE(Load(kIdle)) << error_;
  ASSERT_NE(gSoundDevice->musicEnded, nullptr);
  gSoundDevice->musicEnded();  // nobody to tell
  gScriptSound->musicOwnerModule = recordRow_;
  gScriptSound->musicOwnerHandle = 12;
  gSoundDevice->musicEnded();
  gSoundDevice->musicEnded();
  EXPECT_EQ(reports_, (std::vector<std::pair<uint32_t, int32_t>>{{12, 1}}));
  EXPECT_EQ(gScriptSound->musicOwnerModule, 0);
}

TEST_F(Modules, TextureDisconnectActsOnTheMatchingSlotOnly) {
  MovieRecord* intro = Open(1);
  ASSERT_NE(intro, nullptr);
  EXPECT_EQ(MovieDisconnectTexture(1, 61), 0);
  EXPECT_EQ(MovieDisconnectTexture(2, 66), 0);
  EXPECT_TRUE(intro->flags & kMovieConnected);
  EXPECT_EQ(MovieDisconnectTexture(1, 66), 1);
  EXPECT_FALSE(intro->flags & kMovieConnected);
  EXPECT_EQ(intro->textureSlot, 0);
  EXPECT_EQ(MovieDisconnectTexture(1, 66), 0);
}

TEST_F(Modules, VoiceLinesComeFromTheWrittenDocument) {
  std::vector<sound_tool::VoiceLanguageText> languages = {
      {44, {{1, 144, {{0, 100, 900}, {1, 1000, 500}, {0, 7, 7}}}, {1, 149, {{2, 2000, 300}}}, {2, 500, {}}}},
      {49, {{1, 149, {{0, 50, 60}}}}},
      {999, {{1, 144, {{0, 1, 1}}}}},  // out of range: never stored
      {0, {{1, 144, {{0, 1, 1}}}}},    // not above 0: skipped
  };
  const std::string text = sound_tool::WriteVoiceInfo(languages);
  dir_.Write("mov/00044.xml", text);
  ASSERT_TRUE(Load(Function("LoadInfo", "MOV_LoadVoiceInfo", Ints({44})) +
                   Function("Start", "MOV_GetVoiceStart", Ints({44, 1, 1})) +
                   Function("Length", "MOV_GetVoiceLength", Ints({44, 1, 2})) +
                   Function("Stream", "MOV_GetVoiceStream", Ints({49, 1})) +
                   Function("Unknown", "MOV_GetVoiceStart", Ints({44, 1, 9})) +
                   Function("Voice", "MOV_PlayMovieVoice", Ints({144, 44, 1, 1})) +
                   Function("NoVoice", "MOV_PlayMovieVoice", Ints({144, 44, 1, 9})) +
                   Function("Free", "MOV_FreeVoiceInfo", {})))
      << error_;
  EXPECT_EQ(Call("LoadInfo"), "1");
  struct Case {
    int32_t language, page, line;
    int32_t start, length;
  };
  const Case kCases[] = {
      {44, 1, 0, 100, 900},  // the first of two lines 0 wins
      {44, 1, 1, 1000, 500},
      {44, 1, 2, 2000, 300},  // from the page's second element
      {49, 1, 0, 50, 60},
      {44, 2, 0, -1, -1},
      {44, 1, 9, -1, -1},
      {999, 1, 0, -1, -1},
      {-1, 1, 0, -1, -1},
      {1000000, 1, 0, -1, -1},
      {0, 1, 0, -1, -1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(MOV_GetVoiceStart(c.language, c.page, c.line), c.start) << c.language << "/" << c.line;
    EXPECT_EQ(MOV_GetVoiceLength(c.language, c.page, c.line), c.length) << c.language << "/" << c.line;
  }
  EXPECT_EQ(MOV_GetVoiceStream(44, 1), 144);  // the first page element keeps its stream
  EXPECT_EQ(MOV_GetVoiceStream(44, 2), 500);
  EXPECT_EQ(MOV_GetVoiceStream(999, 1), -1);
  EXPECT_EQ(Call("Start"), "1000");
  EXPECT_EQ(Call("Length"), "300");
  EXPECT_EQ(Call("Stream"), "149");
  EXPECT_EQ(Call("Unknown"), "-1");
  EXPECT_EQ(Call("NoVoice"), "0");

  results_.clear();
  ASSERT_NE(Start("Voice"), nullptr);
  RunAll();
  EXPECT_TRUE(results_.empty());
  MovieRecord* movie = FindMovie(144);
  ASSERT_NE(movie, nullptr);
  EXPECT_EQ(movie->start, 1000);
  EXPECT_EQ(movie->end, 1500);
  EXPECT_EQ(movie->voiceLanguage, 44);
  EXPECT_EQ(movie->voiceId, 1);
  StopAllMovies();
  RunAll();
  EXPECT_EQ(results_, std::vector<std::string>{"1"});

  EXPECT_EQ(Call("Free"), "0");
  EXPECT_EQ(MOV_GetVoiceStart(44, 1, 0), -1);
  EXPECT_EQ(MOV_LoadVoiceInfo(45), 0);  // no file
  EXPECT_EQ(MOV_LoadVoiceInfo(-1), 0);
  EXPECT_EQ(MOV_LoadVoiceInfo(999), 0);
  EXPECT_EQ(ParseVoiceInfo("<voice><language", 16), 0);
}

TEST(SoundModuleDevice, MasterVolume255SetsTheListenerGain) {
  SystemBlock system{};
  system.masterVolume = 255;
  gSystem = &system;
  ASSERT_TRUE(AudioOutUseLoopback(44100));
  ASSERT_NE(InitSound(kAudioDevicePlays), nullptr);
  ASSERT_TRUE(AudioOutSetPrimaryVolume(0));
  ASSERT_NE(InitSoundModule(), nullptr);
  EXPECT_EQ(AudioOutGetPrimaryVolume(), -6);
  EXPECT_EQ(SFX_SetMasterVolume(0), 1);
  EXPECT_EQ(AudioOutGetPrimaryVolume(), -1536);
  EXPECT_EQ(SFX_SetMasterVolume(1000), 1);  // held to 255
  EXPECT_EQ(AudioOutGetPrimaryVolume(), -6);
  EXPECT_EQ(system.masterVolume, 255u);
  ShutdownSoundModule();
  ShutdownSound();
  gSystem = nullptr;
}

}  // namespace

namespace {

std::vector<uint8_t>* gTexels = nullptr;
bool MemoryTexture(DisplaySurface*, TextureTexels* t) {
  *t = TextureTexels{gTexels->data(), 64 * 4, 64, 64, 32};
  return true;
}
void MemoryUnlock(DisplaySurface*) {}

// The generated clip through the real decoder, connected to texture slot 66 by its id.
TEST_F(Modules, AStoryPlaysTheClipIntoItsTextureAndWakesAtTheEnd) {
  const MediaClipRecipe recipe = media_clips::MovieRecipe();
  ASSERT_TRUE(MediaWriteClip(dir_.File("mov/00001.dat").c_str(), &recipe)) << "no MPEG-1 encoder";
  std::vector<uint8_t> texels(64 * 64 * 4, 0xEE);  // nearest to white, never the last colour
  gTexels = &texels;
  MediaStreamBackend real = *MediaStreamSystemBackend();
  real.lockTexture = MemoryTexture;
  real.unlockTexture = MemoryUnlock;
  real.nowMs = FakeNow;
  SetMediaStreamBackend(&real);
  const int16_t fixed = gTextureFixedCount;
  gTextureFixedCount = 100;
  ASSERT_FALSE(AllocTextureTable());
  gTextureTable[66].image = reinterpret_cast<DisplaySurface*>(&texels);

  ASSERT_TRUE(Load(Function("Intro", "MOV_PlayMovie", Ints({1})))) << error_;
  results_.clear();
  ASSERT_NE(Start("Intro"), nullptr);
  RunAll();
  EXPECT_TRUE(results_.empty());
  for (int step = 0; step < 200 && results_.empty(); ++step) {
    fake_.now += 40;
    UpdateMovies();
    RunAll();
  }
  EXPECT_EQ(results_, std::vector<std::string>{"1"});
  // The last frame (the 50th, 1960 ms) is the fifth colour.
  EXPECT_EQ(media_clips::NearestColour(&texels[(32 * 64 + 32) * 4]), 49 % media_clips::kColourCount);
  EXPECT_EQ(texels[(32 * 64 + 32) * 4 + 3], 0xFF);

  gTextureTable[66].image = nullptr;
  ShutdownMovieModule();  // the stream goes while the decoder is still the real one
  FreeTextureTables();
  gTextureFixedCount = fixed;
  gTexels = nullptr;
}

}  // namespace
