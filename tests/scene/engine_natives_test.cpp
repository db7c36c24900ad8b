// The B3D_/J3D_ native module called directly through a fake task: the name table, function
// numbers outside it, handles that name nothing, the optional-argument counts, the setters whose
// rule lives in the dispatcher (light colours, fog, viewports, system scale, names, flags), the
// lens arithmetic at its edges, gamma, memory statistics, 3D text widths, path lookups, text
// measures at a text scale of 0 and the image blit cut to both surfaces.
#include "scene/engine_dispatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/display_surface.h"
#include "render/fonts.h"
#include "render/image_records.h"
#include "scene/camera_records.h"
#include "scene/cut_records.h"
#include "scene/engine_natives.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/recording.h"
#include "scene/replay.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "scene/scene_small_ops.h"
#include "scene/takes_jobs.h"
#include "script/containers.h"
#include "script/tasks.h"
#include "script/value.h"
#include "support/engine_fixture.h"
#include "support/script_fixture.h"
#include "support/texture_world.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

enum Native : int32_t {
  kInstFree = 2,
  kSetEngineFlags = 19,
  kLightSetColor = 26,
  kSceneGetCamera = 30,
  kInstFindByBodyID = 49,
  kInstFind = 50,
  kCameraFind = 51,
  kCameraSetViewPort = 56,
  kCameraGetViewPort = 57,
  kCameraSetFog = 66,
  kCameraCalcFOV = 70,
  kCameraCalcDist = 71,
  kSceneSetSystemScale = 75,
  kInstSetName = 76,
  kMemStatistics = 86,
  kSetFlags = 91,
  kTexTextWidth = 96,
  kTexTextHeight = 97,
  kTexBltImage = 109,
  kInstGetChildren = 123,
  kInstDistanceToNearestVertex = 124,
  kGetGammaValue = 125,
  kSetGammaValue = 126,
  kInstSetIcon = 135,
  kGetPathPosAndRot = 150,
  kTakeStart = 161,
};

// One argument slot as a script would pass it.
struct Arg {
  enum Kind { Int, Str, Dbl, Arr } kind = Int;
  int32_t i = 0;
  const char* s = nullptr;
  double d = 0;
  std::vector<int32_t> a;
};
Arg Make(Arg::Kind kind, int32_t i = 0, const char* s = nullptr, double d = 0, std::vector<int32_t> a = {}) {
  Arg arg;
  arg.kind = kind;
  arg.i = i;
  arg.s = s;
  arg.d = d;
  arg.a = std::move(a);
  return arg;
}
Arg I(int32_t v) { return Make(Arg::Int, v); }
Arg I(const InstanceRecord* r) { return Make(Arg::Int, r ? static_cast<int32_t>(r->handle) : 0); }
Arg I(const CameraRecord* r) { return I(&r->instance); }
Arg I(const SceneRecord* r) { return Make(Arg::Int, static_cast<int32_t>(r->handle)); }
Arg S(const char* text) { return Make(Arg::Str, 0, text); }
Arg D(double v) { return Make(Arg::Dbl, 0, nullptr, v); }
Arg A(std::vector<int32_t> v) { return Make(Arg::Arr, 0, nullptr, 0, std::move(v)); }

struct Answer {
  bool given = false;
  int32_t value = 0;
  std::vector<int32_t> array;  // for an array answer
  bool isArray = false;
};

class Natives : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    fixture_ = std::make_unique<EngineFixture>();
  }
  void TearDown() override {
    ResetEngine3D();
    fixture_.reset();
    ScriptEngineTest::TearDown();
  }

  Answer Run(int32_t function, const std::vector<Arg>& args) {
    std::vector<ScriptValue> slots(args.size() + 1);
    for (size_t k = 0; k < args.size(); ++k) {
      ScriptValue* v = &slots[k];
      switch (args[k].kind) {
        case Arg::Int: SetValueInt(v, args[k].i); break;
        case Arg::Str: SetValueString(v, args[k].s); break;
        case Arg::Dbl: SetValueDouble(v, args[k].d); break;
        case Arg::Arr:
          AllocArrayValue(v, int32_t(args[k].a.size()));
          for (size_t e = 0; e < args[k].a.size(); ++e) ArrayWriteInt(v, int32_t(e), args[k].a[e]);
          break;
      }
    }
    ScriptTask* task = NewTask(engine_, 8);
    EXPECT_NE(task, nullptr);
    Answer answer;
    EXPECT_EQ(DispatchEngineNative(0, task, function, int32_t(args.size()), slots.data()), 1);
    answer.given = task->hasResult != 0;
    if (task->result.type == kValueArray) {
      answer.isArray = true;
      for (int32_t e = 0; e < GetArraySize(&task->result); ++e)
        answer.array.push_back(ArrayElementPtr(&task->result, e)->i);
    } else {
      answer.value = task->result.i;
    }
    ReleaseValue(&task->result);
    FreeTask(engine_, task);
    for (ScriptValue& v : slots) ReleaseValue(&v);
    return answer;
  }
  int32_t Int(int32_t function, const std::vector<Arg>& args) {
    const Answer a = Run(function, args);
    EXPECT_TRUE(a.given) << "function " << function;
    return a.value;
  }

  SceneRecord* Scene() {
    SceneRecord* scene = B3D_SceneAlloc();
    EXPECT_NE(scene, nullptr);
    return scene;
  }
  InstanceRecord* Member(SceneRecord* scene, int32_t body = -1) {
    InstanceRecord* i = B3D_InstAlloc();
    i->bodyId = body;
    AddInstanceToScene(i, scene);
    return i;
  }
  CameraRecord* SceneCamera(SceneRecord* scene) {
    CameraRecord* camera = B3D_CameraAlloc();
    B3D_CameraAddToScene(camera, scene);
    return camera;
  }

  std::unique_ptr<EngineFixture> fixture_;
};

TEST(EngineNativeNames, HoldEveryFunctionOnceInItsNumberedPlace) {
  std::set<std::string> seen;
  int32_t n = 0;
  for (; kEngineNativeNames[n]; ++n) {
    const std::string name = kEngineNativeNames[n];
    EXPECT_TRUE(name.rfind("B3D_", 0) == 0 || name.rfind("J3D_", 0) == 0) << name;
    EXPECT_TRUE(seen.insert(name).second) << name << " twice";
  }
  EXPECT_EQ(n, 168);
  EXPECT_EQ(B3DNameTable(), kEngineNativeNames);
  struct Case {
    int32_t number;
    const char* name;
  };
  const Case kCases[] = {{0, "B3D_InstAlloc"},       {44, "B3D_GetTextureID"}, {87, "B3D_InitRecording"},
                         {123, "B3D_InstGetChildren"}, {103, "B3D_SceneSetName"}, {167, "J3D_JobPlayAsyncS"}};
  for (const Case& c : kCases) EXPECT_STREQ(kEngineNativeNames[c.number], c.name);
}

TEST_F(Natives, NumbersOutsideTheTableAnswerZero) {
  for (int32_t f : {168, -1, INT32_MIN, 1000}) {
    const Answer a = Run(f, {I(1), I(2)});
    EXPECT_TRUE(a.given) << f;
    EXPECT_EQ(a.value, 0) << f;
  }
}

TEST_F(Natives, HandlesThatNameNothingAnswerZeroAndChangeNothing) {
  const uint32_t flags = fixture_->engine().engineFlags;
  // Instance, light, camera, scene, cut, take and job functions over an unused handle.
  for (int32_t f : {2, 3, 4, 6, 8, 9, 12, 16, 18, 22, 26, 30, 35, 37, 40, 49, 50, 51, 52, 54, 56, 57, 62, 66, 70, 73,
                    75, 76, 80, 81, 123, 133, 137, 144, 150, 152, 154, 155, 157, 158, 159, 161, 162, 163, 164, 166}) {
    const Answer a = Run(f, {I(999), I(5), I(6), I(7)});
    EXPECT_TRUE(a.given) << f;
    EXPECT_EQ(a.value, 0) << f;
    EXPECT_FALSE(a.isArray) << f;
  }
  EXPECT_EQ(Int(kInstDistanceToNearestVertex, {I(999), I(0), I(0), I(0), I(100)}), -1);
  EXPECT_EQ(fixture_->engine().engineFlags, flags);
}

TEST_F(Natives, OptionalArgumentsCountOnlyAtTheirExactCount) {
  SceneRecord* scene = Scene();
  SceneRecord* empty = Scene();
  InstanceRecord* a = Member(scene, 5);
  InstanceRecord* b = Member(scene, 5);
  InstanceRecord* c = Member(scene, 6);
  CameraRecord* first = SceneCamera(scene);
  CameraRecord* second = SceneCamera(scene);
  struct Case {
    const char* name;
    int32_t function;
    std::vector<Arg> args;
    int32_t expect;
  };
  const std::vector<Case> kCases = {
      {"49 first", kInstFindByBodyID, {I(scene), I(5)}, int32_t(a->handle)},
      {"49 after a", kInstFindByBodyID, {I(scene), I(5), I(a)}, int32_t(b->handle)},
      {"49 after with a fourth", kInstFindByBodyID, {I(scene), I(5), I(a), I(0)}, int32_t(a->handle)},
      {"49 after b", kInstFindByBodyID, {I(scene), I(5), I(b)}, 0},
      {"50 first", kInstFind, {I(scene)}, int32_t(a->handle)},
      {"50 after a", kInstFind, {I(scene), I(a)}, int32_t(b->handle)},
      {"50 after with a third", kInstFind, {I(scene), I(a), I(1)}, int32_t(a->handle)},
      {"50 after 0", kInstFind, {I(scene), I(0)}, int32_t(a->handle)},
      {"50 after the last", kInstFind, {I(scene), I(c)}, 0},
      {"50 after nothing", kInstFind, {I(scene), I(999)}, 0},
      {"50 empty scene", kInstFind, {I(empty)}, 0},
      {"51 first", kCameraFind, {I(scene)}, int32_t(first->instance.handle)},
      {"51 after first", kCameraFind, {I(scene), I(first)}, int32_t(second->instance.handle)},
      {"51 empty scene", kCameraFind, {I(empty)}, 0},
      {"30 first camera", kSceneGetCamera, {I(scene)}, int32_t(first->instance.handle)},
      {"30 no camera", kSceneGetCamera, {I(empty)}, 0},
  };
  for (const Case& k : kCases) EXPECT_EQ(Int(k.function, k.args), k.expect) << k.name;

  // 135 acts with 3 or 7 arguments only.
  struct IconCase {
    std::vector<Arg> args;
    bool acts;
  };
  const std::vector<IconCase> kIcons = {{{I(c), I(0), I(1)}, true},
                                        {{I(c), I(0), I(1), I(2)}, false},
                                        {{I(c), I(0), I(1), I(0), I(0), I(4), I(4)}, true},
                                        {{I(c), I(0), I(1), I(0), I(0), I(4)}, false}};
  for (const IconCase& k : kIcons) {
    c->flags2 = 0;
    EXPECT_EQ(Int(kInstSetIcon, k.args), 0);
    EXPECT_EQ((c->flags2 & kInst2IconTexture) != 0, k.acts) << k.args.size() << " arguments";
  }
  // 161 refuses counts other than 3 and 4 before looking at anything.
  for (size_t n : {size_t{2}, size_t{5}}) {
    std::vector<Arg> args(n, I(0));
    const Answer t = Run(kTakeStart, args);
    EXPECT_TRUE(t.given);
    EXPECT_EQ(t.value, 0);
  }
}

TEST_F(Natives, ChildrenComeAsAnArrayOfHandlesInListOrder) {
  InstanceRecord* parent = B3D_InstAlloc();
  EXPECT_EQ(Int(kInstGetChildren, {I(parent)}), 0);
  InstanceRecord* x = B3D_InstAlloc();
  InstanceRecord* y = B3D_InstAlloc();
  B3D_InstAddToInst(x, parent);
  B3D_InstAddToInst(y, parent);
  const Answer a = Run(kInstGetChildren, {I(parent)});
  ASSERT_TRUE(a.isArray);
  EXPECT_EQ(a.array, (std::vector<int32_t>{int32_t(x->handle), int32_t(y->handle)}));
}

TEST_F(Natives, LightColoursAboveAByteAreReadAsEightDotEight) {
  InstanceRecord* light = B3D_LightAlloc();
  struct Case {
    int32_t r, g, b;
    int16_t expect[3];
  };
  const Case kCases[] = {{300, 0, 0, {1, 0, 0}}, {255, 10, 0, {255, 10, 0}}, {0x1280, 0x80, 0x200, {0x12, 0, 2}}};
  for (const Case& c : kCases) {
    EXPECT_EQ(Int(kLightSetColor, {I(light), I(c.r), I(c.g), I(c.b)}), 0);
    EXPECT_EQ(light->lightColor[0], c.expect[0]);
    EXPECT_EQ(light->lightColor[1], c.expect[1]);
    EXPECT_EQ(light->lightColor[2], c.expect[2]);
  }
}

TEST_F(Natives, FogStoresItsPackedColourAndANegativeColourSwitchesItOff) {
  CameraRecord* camera = B3D_CameraAlloc();
  struct Case {
    const char* name;
    std::vector<int32_t> args;  // on, r, g, b, start, end
    int32_t colour, start, end;
    bool on;
  };
  const Case kCases[] = {
      {"on", {1, 1, 2, 3, 10, 20}, 0x010203, 10, 20, true},
      {"negative colour", {1, -1, 0, 0, 10, 20}, -65536, 10, 20, false},
      {"off", {0, 1, 2, 3, 10, 20}, -1, 0, 0, false},
  };
  for (const Case& c : kCases) {
    std::vector<Arg> args{I(camera)};
    for (int32_t v : c.args) args.push_back(I(v));
    EXPECT_EQ(Int(kCameraSetFog, args), 0) << c.name;
    EXPECT_EQ(camera->fog[0], c.colour) << c.name;
    EXPECT_EQ(camera->fog[1], c.start) << c.name;
    EXPECT_EQ(camera->fog[2], c.end) << c.name;
    EXPECT_EQ((camera->cameraFlags & kCameraFog) != 0, c.on) << c.name;
  }
  B3D_CameraFree(camera);
}

TEST_F(Natives, ViewportsArriveTopBottomLeftRightAndAreClamped) {
  CameraRecord* camera = B3D_CameraAlloc();
  EXPECT_EQ(Int(kCameraSetViewPort, {I(camera), I(-5), I(70000), I(100), I(200)}), 0);
  EXPECT_EQ(camera->viewTop, 0);
  EXPECT_EQ(camera->viewBottom, 65535);
  EXPECT_EQ(camera->viewLeft, 100);
  EXPECT_EQ(camera->viewRight, 200);
  const Answer a = Run(kCameraGetViewPort, {I(camera)});
  EXPECT_EQ(a.array, (std::vector<int32_t>{0, 65535, 100, 200}));
  B3D_CameraFree(camera);
}

TEST_F(Natives, SystemScaleTakesADoubleAsItIsAndAnIntegerAsSixteenDotSixteen) {
  SceneRecord* scene = Scene();
  EXPECT_FLOAT_EQ(scene->systemScale, 0.01f);
  Run(kSceneSetSystemScale, {I(scene), D(0.25)});
  EXPECT_FLOAT_EQ(scene->systemScale, 0.25f);
  Run(kSceneSetSystemScale, {I(scene), I(131072)});
  EXPECT_FLOAT_EQ(scene->systemScale, 2.0f);
}

TEST_F(Natives, AnInstanceKeepsItsOwnCopyOfItsNameAndANonStringClearsIt) {
  InstanceRecord* i = B3D_InstAlloc();
  std::string text = "hull";
  Run(kInstSetName, {I(i), S(text.c_str())});
  ASSERT_NE(i->name, nullptr);
  EXPECT_STREQ(i->name, "hull");
  Run(kInstSetName, {I(i), S("bridge")});
  EXPECT_STREQ(i->name, "bridge");
  Run(kInstSetName, {I(i), I(5)});
  EXPECT_EQ(i->name, nullptr);
}

TEST_F(Natives, EngineFlagsAnswerTheNewWordAndTheFrameNeedsARealStream) {
  EngineState3D& e = fixture_->engine();
  e.engineFlags = 0x10;
  EXPECT_EQ(Int(kSetEngineFlags, {I(kEngineRecording | kEngineReplaying)}), 0x13);
  // With both bits set and no stream the frame's recorder and replay do nothing.
  RecordFrame();
  ReplayFrame();
  EXPECT_EQ(e.recording, nullptr);
  EXPECT_EQ(e.replay, nullptr);
  EXPECT_EQ(Int(kSetFlags, {I(3)}), 3);
  RecordFrame();
  ReplayFrame();
  EXPECT_EQ(e.engineFlags, 3u);
  e.engineFlags = 0;
}

TEST_F(Natives, MemoryStatisticsHaveSixWords) {
  // The body and cut words, which a call does not move.
  const uint32_t saved[] = {gMemCounters.categoryBytes[kMemCatBody], gMemCounters.categoryBytes[kMemCatCut]};
  gMemCounters.categoryBytes[kMemCatBody] = 1234;
  gMemCounters.categoryBytes[kMemCatCut] = 5678;
  EXPECT_EQ(Int(kMemStatistics, {I(3)}), 1234);
  EXPECT_EQ(Int(kMemStatistics, {I(4)}), 5678);
  gMemCounters.categoryBytes[kMemCatBody] = saved[0];
  gMemCounters.categoryBytes[kMemCatCut] = saved[1];
  EXPECT_GT(Int(kMemStatistics, {I(0)}), 0);
  EXPECT_EQ(Int(kMemStatistics, {I(6)}), 0);
  EXPECT_EQ(Int(kMemStatistics, {I(-1)}), 0);
}

TEST_F(Natives, GammaOutsideAByteChangesNothing) {
  struct Case {
    int32_t value;
    int32_t stored;
  };
  const Case kCases[] = {{300, 127}, {-1, 127}, {0, 0}, {255, 255}, {256, 255}};
  for (const Case& c : kCases) {
    Run(kSetGammaValue, {I(c.value)});
    EXPECT_EQ(Int(kGetGammaValue, {}), c.stored) << c.value;
  }
}

TEST_F(Natives, LensArithmeticNeverConvertsAnInfinityOrNaN) {
  CameraRecord* camera = B3D_CameraAlloc();
  struct Case {
    int32_t function, size, second, percent, expect;
  };
  const Case kCases[] = {
      {kCameraCalcFOV, 1, 100, 100, 31},         // atan(0.01)
      {kCameraCalcFOV, 100, 100, 100, 2500},     // 45 degrees
      {kCameraCalcFOV, 1000, 10, 100, 2500},     // capped
      {kCameraCalcFOV, 100, 0, 100, 2500},       // distance 0
      {kCameraCalcFOV, 100, 100, 0, 2500},       // percent 0
      {kCameraCalcFOV, -100, 0, 100, 0},         // a negative size over nothing
      {kCameraCalcFOV, 0, 0, 0, 0},              // 0 / 0
      {kCameraCalcDist, 100, 2500, 100, 100},    // tan(45 degrees) = 1
      {kCameraCalcDist, 100, 0, 100, INT32_MAX}, // tan 0
      {kCameraCalcDist, -100, 0, 100, INT32_MIN},
      {kCameraCalcDist, 0, 0, 100, 0},           // NaN
      {kCameraCalcDist, INT32_MAX, 1, 1, INT32_MAX},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Int(c.function, {I(camera), I(c.size), I(c.second), I(c.percent)}), c.expect)
        << c.function << " " << c.size << " " << c.second << " " << c.percent;
  }
  B3D_CameraFree(camera);
}

TEST_F(Natives, PathPositionAndRotationAddTheKeyToTheBase) {
  PositionKey keys[2]{};
  keys[0].position = {10, 20, 30, 0};
  keys[1].time = 500;
  keys[1].position = {100, 0, 0, 0};
  PathRecord path{};
  path.positions = {2, keys};
  CutRecord cut{};
  cut.handle = 42;
  cut.pathCount = 1;
  cut.paths = &path;
  HashInsert(fixture_->engine().cutTable, cut.handle, reinterpret_cast<HashValue>(&cut));
  const std::vector<int32_t> base = {1000, 2000, 3000, 0, 0, 0};
  EXPECT_EQ(Run(kGetPathPosAndRot, {I(42), I(0), I(0), A(base)}).array,
            (std::vector<int32_t>{1010, 2020, 3030, 0, 0, 0}));
  EXPECT_EQ(Run(kGetPathPosAndRot, {I(42), I(0), I(1), A(base)}).array,
            (std::vector<int32_t>{1100, 2000, 3000, 0, 0, 0}));
  EXPECT_EQ(Int(kGetPathPosAndRot, {I(42), I(1), I(0), A(base)}), 0);
  EXPECT_EQ(Int(kGetPathPosAndRot, {I(42), I(-1), I(0), A(base)}), 0);
  HashRemove(fixture_->engine().cutTable, cut.handle);
}

TEST_F(Natives, ACameraGivenTextureCoordinatesFreesThemWithItself) {
  // The leak check of the run sees what the free leaves behind.
  constexpr int32_t kInstSetAnimTextureCoords = 47, kCameraFree = 6;
  CameraRecord* camera = B3D_CameraAlloc();
  EXPECT_EQ(Int(kInstSetAnimTextureCoords, {I(camera), I(3), I(0x8000), I(0x4000)}), 0);
  EXPECT_EQ(camera->instance.texAnimCount, 1);
  EXPECT_EQ(Int(kCameraFree, {I(camera)}), 0);
}

TEST_F(Natives, InstanceFlagsNeverChangeTheRecordsKind) {
  // A plain instance made a camera would be freed as the larger camera record.
  constexpr int32_t kInstSetFlags = 42, kInstGetFlags = 40;
  SceneRecord* scene = Scene();
  InstanceRecord* plain = Member(scene);
  CameraRecord* camera = B3D_CameraAlloc();
  Int(kInstSetFlags, {I(plain), I(-1)});
  Int(kInstSetFlags, {I(camera), I(0)});
  EXPECT_EQ(uint32_t(Int(kInstGetFlags, {I(plain)})), ~kInstCamera);
  EXPECT_EQ(uint32_t(Int(kInstGetFlags, {I(camera)})), kInstCamera);
  B3D_SceneFree(scene);
  B3D_CameraFree(camera);
}

TEST_F(Natives, JobRangesOfAnyValueNeitherOverflowNorWait) {
  PositionKey keys[2]{};
  keys[1].time = 500;
  PathRecord path{};
  path.positions = {2, keys};
  path.lookupWord = 5;
  path.flags = kPathNamesBody | kPathLoops;
  CutRecord cut{};
  cut.handle = 42;
  cut.pathCount = 1;
  cut.paths = &path;
  HashInsert(fixture_->engine().cutTable, cut.handle, reinterpret_cast<HashValue>(&cut));
  SystemBlock block{};
  block.gameTime = 0x7FFFFF00u;
  SystemBlock* saved = gSystem;
  gSystem = &block;
  InstanceRecord* i = B3D_InstAlloc();
  constexpr int32_t kJobPlayAsync = 166, kJobGetRemainingTime = 155;
  const int32_t kRanges[][2] = {{INT32_MIN, INT32_MAX}, {INT32_MAX, 5}, {5, INT32_MIN}, {1610613001, -1711210231},
                                {INT32_MAX, INT32_MAX - 1}};
  for (const auto& r : kRanges) {
    const int32_t answer = Int(kJobPlayAsync, {I(i), I(42), I(5), I(r[0]), I(r[1])});
    EXPECT_TRUE(answer == 1 || answer == 11) << r[0] << " " << r[1];
    Int(kJobGetRemainingTime, {I(i)});
    block.gameTime += 0x40000000u;
    UpdateCutScenes();
  }
  EXPECT_FALSE(i->jobFlags & kJobTaskWaits);
  gSystem = saved;
  HashRemove(fixture_->engine().cutTable, cut.handle);
}

TEST(PathQueries, FindPathByWordSearchesFromTheLastPath) {
  PathRecord paths[3]{};
  paths[0].lookupWord = 7;
  paths[1].lookupWord = 8;
  paths[2].lookupWord = 7;
  CutRecord cut{};
  cut.pathCount = 3;
  cut.paths = paths;
  EXPECT_EQ(FindPathByWord(&cut, 7), 2);
  EXPECT_EQ(FindPathByWord(&cut, 8), 1);
  EXPECT_EQ(FindPathByWord(&cut, 9), -1);
  CutRecord none{};
  EXPECT_EQ(FindPathByWord(&none, 7), -1);
  EXPECT_EQ(FindPathByWord(nullptr, 7), -1);
}

TEST(TextWidth3D, CountsTwiceEachAdvanceAndUnknownCharactersAsQuestionMarks) {
  for (int k = 0; k < 256; ++k) gText3DAdvances[k] = k;
  struct Case {
    const char* name;
    const char* text;
    int32_t width;
  };
  const Case kCases[] = {
      {"empty", "", 0},
      {"ascii", "AB", 2 * ('A' + 'B')},
      {"two bytes", "\xC3\xA9", 2 * 0xE9},
      {"three bytes above U+00FF", "\xE2\x82\xAC", 2 * '?'},
      {"four-byte lead ends", "A\xF0\x9F\x98\x80" "B", 2 * 'A'},
      {"cut sequence ends", "A\xC3", 2 * 'A'},
  };
  for (const Case& c : kCases) EXPECT_EQ(TextWidth3D(c.text), c.width) << c.name;
  for (int32_t& a : gText3DAdvances) a = 0;
}

// The image loader of the blit tests: any picture stb_image reads, as a 32-bit record owning
// its pixels.
DisplaySurface* PictureLoader(const char* path, uint32_t) {
  int width = 0, height = 0, channels = 0;
  stbi_uc* rgba = stbi_load(path, &width, &height, &channels, 4);
  if (!rgba) return nullptr;
  DisplaySurface* r = CreateImageHandle(32, width, height, kSurfaceNoDevice);
  auto* pixels = static_cast<uint32_t*>(MemAlloc(size_t(width) * height * 4, 0));
  if (!r || !pixels) std::abort();
  for (size_t k = 0; k < size_t(width) * height; ++k)
    pixels[k] = 0xFF000000u | uint32_t(rgba[4 * k]) << 16 | uint32_t(rgba[4 * k + 1]) << 8 | rgba[4 * k + 2];
  stbi_image_free(rgba);
  r->flags |= kSurfaceOwnPixels | kSurfaceLocked | kSurfaceChunky | kSurface32Bit;
  r->bytesPerPixel = 4;
  r->rowBytes = r->pitch = uint16_t(width * 4);
  r->pixels = reinterpret_cast<uint8_t*>(pixels);
  return r;
}

class TextureNatives : public Natives {
 protected:
  void SetUp() override {
    Natives::SetUp();
    SetImageFileLoader(PictureLoader);
  }
  void TearDown() override {
    SetImageFileLoader(nullptr);
    Natives::TearDown();
  }
  TextureWorld world_;
};

TEST_F(TextureNatives, TextMeasuresCountATextScaleOfZeroAsOne) {
  const int32_t font = world_.OpenBlockFont();
  ASSERT_GE(font, 0);
  struct Case {
    int32_t scale;
    int32_t divisor;
  };
  const Case kCases[] = {{0, 1}, {1, 1}, {2, 2}};
  world_.block_.fontScale = 1;
  const int32_t width = Int(kTexTextWidth, {S("abcd"), I(font), I(0)});
  const int32_t height = Int(kTexTextHeight, {I(0), I(font)});
  ASSERT_GT(width, 0);
  ASSERT_GT(height, 0);
  for (const Case& c : kCases) {
    world_.block_.fontScale = c.scale;
    EXPECT_EQ(Int(kTexTextWidth, {S("abcd"), I(font), I(0)}), width / c.divisor) << c.scale;
    EXPECT_EQ(Int(kTexTextHeight, {I(0), I(font)}), height / c.divisor) << c.scale;
  }
  world_.block_.fontScale = 1;
  EXPECT_EQ(Int(kTexTextWidth, {I(7), I(font), I(0)}), 0);
}

TEST_F(TextureNatives, AnImageBlitIsCutToTheImageAndToTheTexture) {
  // The source is 32 x 8 with column x coloured x + 1; texture A is 16 x 8.
  BlitImageIntoTexture(&world_.source.s, TextureWorld::kTexA, -2, -1, 40, 20, 10, 2);
  // The image cut moves the destination to (12, 3); the texture cut leaves 4 x 5 pixels.
  EXPECT_EQ(world_.a.Count(), 20);
  EXPECT_EQ(world_.a.At(12, 3), 1u);
  EXPECT_EQ(world_.a.At(15, 7), 4u);
  EXPECT_EQ(world_.a.At(11, 3), 0u);
  world_.Reset();
  // Wholly outside either surface: nothing.
  BlitImageIntoTexture(&world_.source.s, TextureWorld::kTexA, 40, 0, 4, 4, 0, 0);
  BlitImageIntoTexture(&world_.source.s, TextureWorld::kTexA, 0, 0, 4, 4, 16, 0);
  BlitImageIntoTexture(&world_.source.s, TextureWorld::kTexA, 0, 0, 4, 4, -4, 0);
  EXPECT_EQ(world_.a.Count(), 0);
  // A generated PNG of 8 x 4 whose pixel (x, y) is 0x10 * (y + 1) green and x + 1 blue, blitted
  // from (-3, -1) at (12, 5) with a 20 x 10 block: the image cut moves the corner to (15, 6) and
  // the texture leaves one column of two pixels.
  std::vector<uint8_t> rgb;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) rgb.insert(rgb.end(), {0, uint8_t(0x10 * (y + 1)), uint8_t(x + 1)});
  ASSERT_NE(stbi_write_png("picture.png", 8, 4, 3, rgb.data(), 8 * 3), 0);
  EXPECT_EQ(Int(kTexBltImage, {I(TextureWorld::kTexA), S("picture.png"), I(-3), I(-1), I(20), I(10), I(12), I(5)}),
            0);
  EXPECT_EQ(world_.a.Count(), 2);
  EXPECT_EQ(world_.a.At(15, 6), 0x1001u);
  EXPECT_EQ(world_.a.At(15, 7), 0x2001u);
  world_.Reset();
  // A file that is not there draws nothing and answers 0.
  EXPECT_EQ(Int(kTexBltImage, {I(TextureWorld::kTexA), S("missing.tga"), I(0), I(0), I(4), I(4), I(0), I(0)}), 0);
  EXPECT_EQ(world_.a.Count(), 0);
}

}  // namespace
