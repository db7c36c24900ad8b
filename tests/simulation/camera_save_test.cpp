// A camera read back from a save goes on as the saved one would have: it follows its object
// along its axis at its offset, takes up its default target, keeps still on its stop flag and
// drives its engine camera, frame for frame the same as the game that was never saved. A save
// without the camera chunk still reads; a chunk naming anything but a camera is refused. An
// engine camera a script frees is let go by the camera object that drove it.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "core/fixed_math.h"
#include "scene/camera_records.h"
#include "scene/scene_cameras.h"
#include "simulation/flight.h"
#include "simulation/object_update.h"
#include "simulation/universe_steps.h"
#include "support/universe_save_world.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int kFrames = 12;
constexpr uint32_t kFrameStep = 16;

uint32_t WordAt(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8 |
         uint32_t(uint8_t(s[at + 3]));
}

void PutWord(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(v >> (24 - 8 * i));
}

// What the engine's own section brings back of an instance before the universe section is read.
struct InstanceState {
  InstanceRecord* instance;
  FixedVector position;
  FixedMatrix matrix;
  FixedVector velocity;
};

struct Camera {
  const char* what;
  bool byDefaultTarget;  // the object is the camera's default target, not yet its followed one
  int32_t offset;
  uint32_t axis;
  uint32_t stop;
  bool engineCamera;
};

void PrintTo(const Camera& c, std::ostream* os) { *os << c.what; }

class CameraSave : public ::testing::Test {
 protected:
  void Build(const Camera& s) {
    sector_ = world_.Sector();
    SpaceObject* followed = world_.Add(kClassAsteroid, sector_);
    SpaceObject* camera = world_.Add(kClassCamera, sector_);
    ASSERT_NE(followed->instance, nullptr);
    ASSERT_NE(camera->instance, nullptr);
    // The object flies along z; the camera starts away from it, moving.
    MatrixSetIdentity(&followed->instance->matrix);
    MatrixSetIdentity(&camera->instance->matrix);
    followed->speed = 3000;
    camera->speed = 20000;
    camera->instance->position = FixedVector{-400000, 50000, 0, 0};
    auto* cam = static_cast<CameraExt*>(camera->ext);
    (s.byDefaultTarget ? cam->defaultTarget : cam->followedObject) = followed;
    cam->words[kCameraFollowOffsetWord] = static_cast<uint32_t>(s.offset);
    cam->words[kCameraFollowAxisWord] = s.axis;
    cam->words[kCameraStopWord] = s.stop;
    cam->words[kCameraKeepDistanceWord] = 60000;
    if (s.engineCamera) {
      engineCamera_ = B3D_CameraAlloc();
      ASSERT_NE(engineCamera_, nullptr);
      cam->sceneInstance = &engineCamera_->instance;
    }
    sectorId_ = sector_->id;
    followedId_ = followed->id;
    cameraId_ = camera->id;
    for (InstanceRecord* i : {followed->instance, camera->instance, engineCamera_ ? &engineCamera_->instance : nullptr}) {
      if (i) engine_.push_back({i, i->position, i->matrix, i->velocity});
    }
  }

  // The engine's records as they were at the save.
  void RestoreEngine() {
    for (const InstanceState& s : engine_) {
      s.instance->position = s.position;
      s.instance->matrix = s.matrix;
      s.instance->velocity = s.velocity;
    }
  }

  // Per frame: the camera's place, its speed, its followed object and its engine camera's place.
  std::vector<std::array<int32_t, 8>> Run(uint32_t start) {
    std::vector<std::array<int32_t, 8>> frames;
    world_.clock().frameStep = kFrameStep;
    for (int f = 1; f <= kFrames; ++f) {
      world_.clock().gameTime = start + kFrameStep * uint32_t(f);
      UpdateSectorObjects(sector_);
      UpdateSectorFlight(sector_);
      const SpaceObject* camera = FindObjectById(&world_.universe(), cameraId_);
      const auto* cam = static_cast<const CameraExt*>(camera->ext);
      const FixedVector at = camera->instance->position;
      const FixedVector engine = engineCamera_ ? engineCamera_->instance.position : FixedVector{};
      frames.push_back({at.x, at.y, at.z, camera->speed, cam->followedObject ? int32_t(cam->followedObject->id) : 0,
                        engine.x, engine.y, engine.z});
    }
    return frames;
  }

  UniverseSaveWorld world_;
  SectorObject* sector_ = nullptr;
  CameraRecord* engineCamera_ = nullptr;
  uint32_t sectorId_ = 0;
  uint32_t followedId_ = 0;
  uint32_t cameraId_ = 0;
  std::vector<InstanceState> engine_;
};

class CameraFollowsAfterALoad : public CameraSave, public ::testing::WithParamInterface<Camera> {};

TEST_P(CameraFollowsAfterALoad, AsTheUnsavedGame) {
  const Camera& s = GetParam();
  SCOPED_TRACE(s.what);
  Build(s);
  const uint32_t start = world_.clock().gameTime;
  const std::string bytes = world_.Write(true);
  ASSERT_FALSE(bytes.empty());
  const auto unsaved = Run(start);

  world_.EmptyKeepingEngine();
  RestoreEngine();
  world_.clock().gameTime = start;
  ASSERT_TRUE(world_.Read(bytes, false, true));
  sector_ = static_cast<SectorObject*>(FindObjectById(&world_.universe(), sectorId_));
  ASSERT_NE(sector_, nullptr);
  const auto loaded = Run(start);
  EXPECT_EQ(loaded, unsaved);
  // The case shows what it claims: the camera did follow (or keep still), and its engine camera
  // went with it.
  const auto& last = unsaved.back();
  if (s.axis != 0) {
    const SpaceObject* followed = FindObjectById(&world_.universe(), followedId_);
    FixedVector expected = followed->instance->position;
    int32_t* along[] = {&expected.x, &expected.y, &expected.z};
    *along[s.axis - 1] += s.offset;
    EXPECT_EQ((std::array<int32_t, 3>{last[0], last[1], last[2]}), (std::array<int32_t, 3>{expected.x, expected.y, expected.z}));
  }
  if (s.stop) {
    EXPECT_EQ(last[3], 0);
  }
  if (s.engineCamera) {
    EXPECT_EQ((std::array<int32_t, 3>{last[5], last[6], last[7]}), (std::array<int32_t, 3>{last[0], last[1], last[2]}));
  }
}

const Camera kCameras[] = {
    {"below its object along y", false, -25000, 2, 0, false},
    {"beside its object along x, driving an engine camera", false, 7000, 1, 0, true},
    {"taking up its default target, behind it along z", true, 40000, 3, 0, false},
    {"kept still by its stop flag", false, 0, 0, 1, true},
};

INSTANTIATE_TEST_SUITE_P(Cameras, CameraFollowsAfterALoad, ::testing::ValuesIn(kCameras),
                         [](const ::testing::TestParamInfo<Camera>& info) { return "Camera" + std::to_string(info.index); });

// A save written before the camera words were saved has no chunk for them: it still reads, and
// its camera keeps its references and distance but follows along no axis.
TEST_F(CameraSave, ASaveWithoutTheCameraChunkStillReads) {
  Build(Camera{"", false, 5000, 2, 1, true});
  const std::string section = world_.Write(false);
  world_.EmptyKeepingEngine();
  ASSERT_TRUE(world_.Read(section, false, true));
  const SpaceObject* camera = FindObjectById(&world_.universe(), cameraId_);
  ASSERT_NE(camera, nullptr);
  const auto* cam = static_cast<const CameraExt*>(camera->ext);
  EXPECT_EQ(cam->followedObject, FindObjectById(&world_.universe(), followedId_));
  EXPECT_EQ(cam->sceneInstance, &engineCamera_->instance);
  EXPECT_EQ(cam->words[kCameraKeepDistanceWord], 60000u);
  EXPECT_EQ(cam->words[kCameraFollowAxisWord], 0u);
  EXPECT_EQ(cam->words[kCameraStopWord], 0u);
}

// The chunk, which ends what the world writes: a version word, the count, then per camera its id
// and three words. Anything a save of this game could not hold is refused.
TEST_F(CameraSave, ADamagedCameraChunkIsRefused) {
  Build(Camera{"", false, 5000, 2, 0, false});
  const std::string bytes = world_.Write(true);
  const size_t chunk = bytes.size() - (8 + 16);
  ASSERT_EQ(WordAt(bytes, chunk), 2u);
  ASSERT_EQ(WordAt(bytes, chunk + 4), 1u);
  ASSERT_EQ(WordAt(bytes, chunk + 8), cameraId_);
  struct Case {
    const char* what;
    size_t at;  // word of the chunk to change
    uint32_t value;
  };
  const Case kCases[] = {
      {"another version", 0, 3},
      {"more cameras than objects", 4, 1000},
      {"an id no object has", 8, 0xFFFFFF},
      {"no id", 8, 0},
      {"an object that is no camera", 8, followedId_},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    std::string damaged = bytes;
    PutWord(damaged, chunk + c.at, c.value);
    world_.EmptyKeepingEngine();
    EXPECT_FALSE(world_.Read(damaged, false, true));
  }
  world_.EmptyKeepingEngine();
  EXPECT_FALSE(world_.Read(bytes.substr(0, bytes.size() - 2), false, true));
  world_.EmptyKeepingEngine();
  EXPECT_TRUE(world_.Read(bytes, false, true));
}

// The camera object forgets a freed engine camera and goes on following without it (the
// sanitizer sees any write into the freed record).
TEST_F(CameraSave, AFreedEngineCameraIsLetGo) {
  Build(Camera{"", false, 7000, 1, 0, true});
  const auto* cam = static_cast<const CameraExt*>(FindObjectById(&world_.universe(), cameraId_)->ext);
  B3D_CameraFree(engineCamera_);
  engineCamera_ = nullptr;
  EXPECT_EQ(cam->sceneInstance, nullptr);
  const auto frames = Run(world_.clock().gameTime);
  EXPECT_EQ(frames.back()[0], FindObjectById(&world_.universe(), followedId_)->instance->position.x + 7000);
}

}  // namespace
