// Particle emission and flight on a hand-built emitter with one camera, a test-owned pool and the
// game's generator seeded with 1: spawn counts by interval, exact spawn positions, velocities and
// angles, the camera reach, long gaps, streaks, pool exhaustion and take-over, the bounded
// interval, and the per-frame move, spin, fade and expiry.
#include "scene/particles.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/camera_records.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kType = 7;
constexpr Quaternion kUpright = {kFixedOne, 0, 0, 0};

std::vector<ParticleRecord*> Records(ListHead* list) {
  std::vector<ParticleRecord*> out;
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) out.push_back(ListRecord<ParticleRecord>(node));
  return out;
}

bool IsIdentity(const FixedMatrix& m) {
  FixedMatrix identity;
  MatrixSetIdentity(&identity);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (m.m[r][c] != identity.m[r][c]) return false;
  return true;
}

class Particles : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = gSystem;
    gSystem = &block_;
    GameSrand(1);
    Pool(16);
    ListInit(&scene_.members);
    ListInit(&scene_.cameras);
    ListInit(&scene_.renderEntries);
    camera_.instance.flags = kInstCamera;
    camera_.cameraFlags = kCameraEnabled;
    ListAddTail(&scene_.cameras, &camera_.instance.node);

    // One kind: a particle every 250 ms at speed 1000, living two seconds.
    for (int i = 0; i < kKindAppearanceCount; ++i) kind_.words[kKindAppearance + i] = 11 + i;
    kind_.words[kKindSpacing] = kFixedOne;
    kind_.words[kKindReachMin] = 250;
    kind_.words[kKindReachMax] = 250;
    kind_.words[kKindLife] = 2000;
    fixture_.engine().particleTypes[kType] = {1, &kind_, {0, 0}};

    emission_.kind = &kind_;
    emitter_.type = kType;
    emitter_.scene = &scene_;
    emitter_.emissionCount = 1;
    emitter_.emissions = &emission_;
    emitter_.previousOrientation = kUpright;
    emitter_.previousVelocity = {1000, 0, 0, 0};
  }
  void TearDown() override {
    fixture_.engine().particleTypes[kType] = {};
    gSystem = saved_;
  }

  // The pool holds `count` free records of the test.
  void Pool(size_t count) {
    ListInit(&fixture_.engine().particleFreeList);
    ListInit(&fixture_.engine().activeParticles);
    pool_.assign(count, ParticleRecord{});
    for (ParticleRecord& record : pool_) {
      record.state = kParticleFree;
      ListAddTail(&fixture_.engine().particleFreeList, &record.node);
    }
  }
  // From the emitter's previous place (the origin, at time 0) to x = 1000 one second later, at
  // a steady 1000 units per second along x unless told otherwise.
  int32_t Emit(int32_t now = 1000, FixedVector position = {1000, 0, 0, 0}, FixedVector velocity = {1000, 0, 0, 0},
               int32_t extraSpeed = 0, Quaternion turn = kUpright) {
    return EmitParticles(&emitter_, &position, &turn, &velocity, extraSpeed, now);
  }
  std::vector<ParticleRecord*> Active() { return Records(&fixture_.engine().activeParticles); }
  size_t FreeCount() { return Records(&fixture_.engine().particleFreeList).size(); }

  EngineFixture fixture_;
  SystemBlock block_{};
  SystemBlock* saved_ = nullptr;
  std::vector<ParticleRecord> pool_;
  SceneRecord scene_{};
  CameraRecord camera_{};
  ParticleKind kind_{};
  ParticleEmission emission_{};
  EmitterRecord emitter_{};
};

TEST_F(Particles, SeededEmitterSpawnsExactPositionsVelocitiesAndAngles) {
  ASSERT_EQ(Emit(), 3);
  const std::vector<ParticleRecord*> active = Active();
  ASSERT_EQ(active.size(), 3u);
  const uint32_t angles[] = {2 * 41, 2 * 18467, 2 * 6334};  // rand() after srand(1): 41, 18467, 6334
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const ParticleRecord* p = active[i];
    const int32_t spawnTime = 250 * (i + 1);
    EXPECT_EQ(p->position.x, spawnTime);  // the path runs straight at 1000 units per second
    EXPECT_EQ(p->position.y, 0);
    EXPECT_EQ(p->position.z, 0);
    EXPECT_EQ(p->velocity.x, 0);  // launched backwards along the forward row
    EXPECT_EQ(p->velocity.y, 0);
    EXPECT_EQ(p->velocity.z, -1000);
    EXPECT_EQ(p->angle, angles[i]);
    EXPECT_EQ(p->lastUpdate, spawnTime);
    EXPECT_EQ(p->endTime, spawnTime + 2000);
    EXPECT_EQ(p->fadeSpan, 2000);  // no fade span of its own: the life
    EXPECT_EQ(p->state, kParticleFromFreeList);
    EXPECT_EQ(p->reach, 250);
    EXPECT_EQ(p->scene, &scene_);
    EXPECT_EQ(p->appearance[0], 11);
    EXPECT_EQ(p->appearance[4], 15);
    EXPECT_TRUE(IsIdentity(p->orientation));
  }
  EXPECT_EQ(FreeCount(), 13u);
  EXPECT_EQ(emission_.lastSpawnTime, 750);
  EXPECT_EQ(emitter_.previousTime, 1000);
  EXPECT_EQ(emitter_.previousPosition.x, 1000);
  EXPECT_EQ(emitter_.previousVelocity.x, 1000);
}

TEST_F(Particles, SpawnCountFollowsTheKindsInterval) {
  struct Case {
    const char* what;
    int32_t spacing, speedMin, speedMax, flags, reachMin, reachMax, intensity, velocityX, extraSpeed;
    int32_t spawned;
    int32_t velocityY;
  };
  const Case kCases[] = {
      {"speed 1000, reach 250: every 250 ms", kFixedOne, 0, 0, 0, 250, 250, 0, 1000, 0, 3, 0},
      {"half the spacing: every 125 ms", kFixedOne / 2, 0, 0, 0, 250, 250, 0, 1000, 0, 7, 0},
      {"extra speed shortens the interval", kFixedOne, 0, 0, 0, 250, 250, 0, 1000, 1000, 7, 0},
      {"standing still: reach x 1000 as 16.16, 4 ms", kFixedOne, 0, 0, 0, 250, 250, 0, 0, 0, 249, 0},
      {"the kind's speed term counts", kFixedOne, 1000, 1000, 0, 250, 250, 0, 0, 0, 3, 0},
      {"a streak ignores its speed term", kFixedOne, 1000, 1000, kParticleStreak, 250, 250, 0, 0, 0, 249, 0},
      {"intensity 0 takes the least reach", kFixedOne, 0, 0, 0, 125, 250, 0, 1000, 0, 7, 0},
      {"intensity 1.0 takes the greatest reach", kFixedOne, 0, 0, 0, 100, 250, kFixedOne, 1000, 0, 3, 0},
      {"intensity 0.75: reach 212", kFixedOne, 0, 0, 0, 100, 250, 0xC000, 1000, 0, 4, 0},
      {"intensity 0.5 with the speed term between", kFixedOne, 0, 2000, 0, 250, 250, 0x8000, 0, 0, 3, 0},
      {"the emitter's speed is its velocity's length, 2000", kFixedOne, 0, 0, 0, 250, 250, 0, 1200, 0, 7, 1600},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Pool(300);
    emission_ = {&kind_, 0, {0, 0}, {}};
    emitter_.previousTime = 0;
    emitter_.previousPosition = {};
    emitter_.previousVelocity = {c.velocityX, c.velocityY, 0, 0};
    emitter_.intensity = c.intensity;
    kind_.words[kKindSpacing] = c.spacing;
    kind_.words[kKindSpeedMin] = c.speedMin;
    kind_.words[kKindSpeedMax] = c.speedMax;
    kind_.words[kKindFlags] = c.flags;
    kind_.words[kKindReachMin] = c.reachMin;
    kind_.words[kKindReachMax] = c.reachMax;
    EXPECT_EQ(Emit(1000, {c.velocityX, 0, 0, 0}, {c.velocityX, c.velocityY, 0, 0}, c.extraSpeed), c.spawned);
    EXPECT_EQ(Active().size(), static_cast<size_t>(c.spawned));
  }
}

TEST_F(Particles, OnlyACameraThatSeesParticlesWithinReachLetsAKindSpawn) {
  struct Case {
    const char* what;
    uint32_t cameraFlags;
    FixedVector cameraPosition;
    bool inScene;
    int32_t spawned;
  };
  // The emitter stands at x = 1000; reach 250 counts Chebyshev distance >> 10.
  const Case kCases[] = {
      {"an enabled camera on the emitter", kCameraEnabled, {1000, 0, 0, 0}, true, 3},
      {"a particle camera", kCameraParticles, {1000, 0, 0, 0}, true, 3},
      {"a camera with neither flag", kCameraListener | kCameraFog, {1000, 0, 0, 0}, true, 0},
      {"distance 250 x 1024 is out of reach", kCameraEnabled, {1000 + 250 * 1024, 0, 0, 0}, true, 0},
      {"one unit nearer is within", kCameraEnabled, {1000, 0, 1 - 250 * 1024, 0}, true, 3},
      {"no scene, no camera", kCameraEnabled, {1000, 0, 0, 0}, false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Pool(16);
    emission_ = {&kind_, 0, {0, 0}, {5, 6, 7, 0}};
    emitter_.previousTime = 0;
    emitter_.previousPosition = {};
    emitter_.scene = c.inScene ? &scene_ : nullptr;
    camera_.cameraFlags = c.cameraFlags;
    camera_.instance.position = c.cameraPosition;
    EXPECT_EQ(Emit(), c.spawned);
    if (c.spawned == 0) {
      EXPECT_EQ(emission_.lastSpawnPosition.x, 0);  // the next streak starts afresh
      EXPECT_EQ(emission_.lastSpawnPosition.z, 0);
      EXPECT_EQ(emission_.lastSpawnTime, 0);
    }
    EXPECT_EQ(emitter_.previousTime, 1000);
  }
}

TEST_F(Particles, AnyCameraThatSeesParticlesWithinReachWillDo) {
  struct Case {
    const char* what;
    uint32_t firstFlags, secondFlags;
    int32_t firstX, secondX;
    int32_t spawned;
  };
  constexpr int32_t kNear = 1000, kFar = 1000 + 300 * 1024;
  const Case kCases[] = {
      {"a far camera before a near one", kCameraEnabled, kCameraParticles, kFar, kNear, 3},
      {"a near camera that sees no particles before a far one", kCameraListener, kCameraEnabled, kNear, kFar, 0},
  };
  CameraRecord second{};
  second.instance.flags = kInstCamera;
  ListAddTail(&scene_.cameras, &second.instance.node);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Pool(16);
    emission_ = {&kind_, 0, {0, 0}, {}};
    emitter_.previousTime = 0;
    camera_.cameraFlags = c.firstFlags;
    camera_.instance.position = {c.firstX, 0, 0, 0};
    second.cameraFlags = c.secondFlags;
    second.instance.position = {c.secondX, 0, 0, 0};
    EXPECT_EQ(Emit(), c.spawned);
  }
  ListRemove(&second.instance.node);
}

TEST_F(Particles, AGapOverOneSecondSpreadsOnlyItsLastSecondAlongThePath) {
  ASSERT_EQ(Emit(5000), 4);
  const std::vector<ParticleRecord*> active = Active();
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(active[i]->lastUpdate, 4000 + 250 * i);
    EXPECT_EQ(active[i]->position.x, 250 * i);  // t from 0 to 0.75 of a second-long path
  }
}

TEST_F(Particles, TwoEmissionsInOneMillisecondSpawnAtThePreviousPlace) {
  emitter_.previousTime = 1000;
  emitter_.previousPosition = {400, 0, 0, 0};
  ASSERT_EQ(Emit(1000), 1);
  EXPECT_EQ(Active()[0]->position.x, 400);
  EXPECT_EQ(Active()[0]->lastUpdate, 1000);
}

TEST_F(Particles, SpawnsNeverPrecedeThePreviousEmissionNorTheLastSecond) {
  struct Case {
    const char* what;
    int32_t previousTime, lastSpawn, now;
    int32_t spawned, firstTime, firstX;
  };
  // The path runs from x = 0 to x = 1000 at 1000 units per second, whatever its span.
  const Case kCases[] = {
      {"an old last spawn: the first spawn is at the previous emission", 800, 0, 1000, 1, 800, 0},
      {"a last spawn inside the span: the next follows it", 0, 600, 1000, 1, 850, 850},
      {"a clock that went back: the gap counts as one second", 3000, 0, 1000, 3, 250, 250},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Pool(16);
    emission_ = {&kind_, c.lastSpawn, {0, 0}, {}};
    emitter_.previousTime = c.previousTime;
    emitter_.previousPosition = {};
    ASSERT_EQ(Emit(c.now), c.spawned);
    EXPECT_EQ(Active()[0]->lastUpdate, c.firstTime);
    EXPECT_EQ(Active()[0]->position.x, c.firstX);
    EXPECT_EQ(emitter_.previousTime, c.now);
  }
}

TEST_F(Particles, ARandomShareShortensTheIntervalWithOneDrawPerKindAndCall) {
  GameSrand(1);
  ASSERT_EQ(GameRand(), 41);
  kind_.words[kKindRandomShare] = kFixedOne / 2;
  // r = 0.5 x 18467 / 32768, so the interval is 250 x (1 - r) = 180 ms.
  ASSERT_EQ(Emit(), 5);
  const std::vector<ParticleRecord*> active = Active();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(active[i]->lastUpdate, 180 * (i + 1));
  EXPECT_EQ(active[0]->angle, 2u * 6334);  // the next draw after the interval's
  EXPECT_EQ(active[1]->angle, 2u * 26500);
}

TEST_F(Particles, SpawnedParticlesCarryTheKindsLifeFadeSpanSpinAndFlags) {
  kind_.words[kKindFlags] = 0x100 | static_cast<int32_t>(kParticleSpins);
  kind_.words[kKindRandomLife] = 1000;
  kind_.words[kKindFadeSpan] = 300;
  kind_.words[kKindSpinRate] = 1234;
  kind_.words[kKindSpinRandom] = 56;
  kind_.words[kKindSpread1] = 100;
  ASSERT_EQ(Emit(), 3);
  // Draws in order: the random life (41: +1 ms), the spread (18467: +12), the angle (6334).
  const ParticleRecord* p = Active()[0];
  EXPECT_EQ(p->endTime, 250 + 2000 + 1);
  EXPECT_EQ(p->velocity.x, 11);  // (12, 0, -1000) brought back to length 1000
  EXPECT_EQ(p->velocity.z, -999);
  EXPECT_EQ(p->angle, 2u * 6334);
  EXPECT_EQ(p->fadeSpan, 300);
  EXPECT_EQ(p->spinRate, 1234);
  EXPECT_EQ(p->spinRandom, 56);
  EXPECT_EQ(p->kindFlags, kParticleSpins);
  EXPECT_TRUE(IsIdentity(p->orientation));
}

TEST_F(Particles, TheSpawnOrientationTurnsAlongThePathWithTheEmitter) {
  // From upright to a quarter turn about x: the particles at t = 0.25, 0.5 and 0.75 are launched
  // backwards along forward rows turned by 22.5, 45 and 67.5 degrees.
  const Quaternion quarterTurnAboutX = {46341, 46341, 0, 0};
  ASSERT_EQ(Emit(1000, {1000, 0, 0, 0}, {1000, 0, 0, 0}, 0, quarterTurnAboutX), 3);
  struct Case {
    int32_t vy, vz;
  };
  const Case kCases[] = {{-383, -924}, {-707, -707}, {-924, -383}};  // 16.16 products, rounded
  const std::vector<ParticleRecord*> active = Active();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(active[i]->velocity.x, 0);
    EXPECT_EQ(active[i]->velocity.y, kCases[i].vy);
    EXPECT_EQ(active[i]->velocity.z, kCases[i].vz);
    EXPECT_EQ(active[i]->orientation.m[0][0], kFixedOne);  // the x axis stays put
  }
}

TEST_F(Particles, StreaksStartAtTheirOwnPlaceThenAtThePreviousSpawn) {
  kind_.words[kKindFlags] = kParticleStreak;
  ASSERT_EQ(Emit(), 3);
  const std::vector<ParticleRecord*> active = Active();
  const int32_t starts[] = {250, 250, 500};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(active[i]->position.x, 250 * (i + 1));
    EXPECT_EQ(active[i]->streakStart.x, starts[i]);
    EXPECT_EQ(active[i]->velocity.z, 0);
    EXPECT_EQ(active[i]->angle, 0u);
  }
  EXPECT_EQ(emission_.lastSpawnPosition.x, 750);
  EXPECT_EQ(GameRand(), 41);  // a streak draws nothing
}

TEST_F(Particles, SpreadsAddAlongTheFirstRowsAndKeepTheLaunchSpeedWhileMoving) {
  struct Case {
    const char* what;
    int32_t spread1, spread2, velocityX;
    FixedVector first;
    uint32_t angle;
  };
  // rand(200) of 41 is 0 and of 18467 is 112: spreads of -100 and then +12; the angle draws last.
  const Case kCases[] = {
      {"moving: rescaled to length 1000", 100, 0, 1000, {-99, 0, -995, 0}, 2 * 18467},
      {"standing still: as spread", 100, 0, 0, {-100, 0, -1000, 0}, 2 * 18467},
      {"the second spread runs along the second row", 0, 100, 0, {0, -100, -1000, 0}, 2 * 18467},
      {"both spreads draw, the first row first", 100, 100, 0, {-100, 12, -1000, 0}, 2 * 6334},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Pool(300);
    GameSrand(1);
    kind_.words[kKindSpread1] = c.spread1;
    kind_.words[kKindSpread2] = c.spread2;
    emission_ = {&kind_, 0, {0, 0}, {}};
    emitter_.previousTime = 0;
    emitter_.previousPosition = {};
    emitter_.previousVelocity = {c.velocityX, 0, 0, 0};
    ASSERT_GT(Emit(1000, {c.velocityX, 0, 0, 0}, {c.velocityX, 0, 0, 0}), 0);
    const ParticleRecord* p = Active()[0];
    EXPECT_EQ(p->velocity.x, c.first.x);
    EXPECT_EQ(p->velocity.y, c.first.y);
    EXPECT_EQ(p->velocity.z, c.first.z);
    EXPECT_EQ(p->angle, c.angle);
  }
}

TEST_F(Particles, TheSpawnOrientationTurnsTheLaunchAndSpinningKindsStayUpright) {
  const Quaternion halfTurnAboutX = {0, kFixedOne, 0, 0};
  emitter_.previousOrientation = halfTurnAboutX;
  for (const uint32_t flags : {0u, kParticleSpins}) {
    SCOPED_TRACE(flags);
    Pool(16);
    emission_ = {&kind_, 0, {0, 0}, {}};
    emitter_.previousTime = 0;
    kind_.words[kKindFlags] = static_cast<int32_t>(flags);
    ASSERT_EQ(Emit(1000, {1000, 0, 0, 0}, {1000, 0, 0, 0}, 0, halfTurnAboutX), 3);
    const ParticleRecord* p = Active()[0];
    EXPECT_EQ(p->velocity.z, 1000);  // the forward row points down -z
    EXPECT_EQ(p->kindFlags, flags);
    if (flags & kParticleSpins) {
      EXPECT_TRUE(IsIdentity(p->orientation));
    } else {
      EXPECT_EQ(p->orientation.m[0][0], kFixedOne);
      EXPECT_EQ(p->orientation.m[1][1], -kFixedOne);
      EXPECT_EQ(p->orientation.m[2][2], -kFixedOne);
    }
  }
}

TEST_F(Particles, AnExhaustedPoolStopsTheKindUntilTheOldestHasFlown) {
  Pool(2);
  ASSERT_EQ(Emit(), 2);  // the third finds only unflown particles
  EXPECT_EQ(emission_.lastSpawnTime, 1000);
  std::vector<ParticleRecord*> active = Active();
  ParticleRecord* oldest = active[0];
  ParticleRecord* second = active[1];

  block_.gameTime = 1000;
  ASSERT_EQ(UpdateParticles(), 2);
  ASSERT_EQ(Emit(1500, {1500, 0, 0, 0}), 1);  // due at 1250: the oldest is taken over
  active = Active();
  ASSERT_EQ(active.size(), 2u);
  EXPECT_EQ(active[0], second);
  EXPECT_EQ(active[1], oldest);
  EXPECT_EQ(oldest->state, kParticleTakenOver);
  EXPECT_EQ(oldest->position.x, 1251);  // the tangent terms +-62.5 both round up
  EXPECT_EQ(oldest->lastUpdate, 1250);
}

TEST_F(Particles, ASpacingOfZeroOrAFullRandomShareSpawnsOncePerMillisecond) {
  struct Case {
    const char* what;
    int32_t spacing, share;
  };
  const Case kCases[] = {
      {"spacing 0", 0, 0},
      {"a random share far above 1.0", kFixedOne, 0x7FFFFFFF},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Pool(kParticlePoolSize);
    emission_ = {&kind_, 0, {0, 0}, {}};
    emitter_.previousTime = 0;
    kind_.words[kKindSpacing] = c.spacing;
    kind_.words[kKindRandomShare] = c.share;
    EXPECT_EQ(Emit(), 999);
    EXPECT_EQ(FreeCount(), static_cast<size_t>(kParticlePoolSize - 999));
  }
}

TEST_F(Particles, ATypeOutsideTheTableSpawnsNothing) {
  for (const int32_t type : {-1, kParticleTypeCount, 0x7FFFFFFF}) {
    SCOPED_TRACE(type);
    emitter_.type = type;
    emitter_.previousTime = 0;
    EXPECT_EQ(Emit(), 0);
    EXPECT_EQ(FreeCount(), 16u);
  }
}

TEST_F(Particles, OnlyKindsWithAnEmissionStateOfTheEmitterSpawn) {
  struct Case {
    const char* what;
    int32_t states;
    int32_t spawned;
  };
  const Case kCases[] = {
      {"a state for each of the two kinds", 2, 6},
      {"one state: the second kind is skipped", 1, 3},
      {"no states", 0, 0},
  };
  ParticleKind kinds[2] = {kind_, kind_};
  fixture_.engine().particleTypes[kType] = {2, kinds, {0, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Pool(16);
    // Exactly as many states as the emitter says it has, so a read past them is caught.
    std::vector<ParticleEmission> states(static_cast<size_t>(c.states), ParticleEmission{&kind_, 0, {0, 0}, {}});
    emitter_.emissionCount = c.states;
    emitter_.emissions = states.empty() ? nullptr : states.data();
    emitter_.previousTime = 0;
    EXPECT_EQ(Emit(), c.spawned);
  }
}

TEST_F(Particles, ExpiredParticlesReturnToTheFreeListEvenIfNeverUpdated) {
  ASSERT_EQ(Emit(), 3);  // ending at 2250, 2500 and 2750
  block_.gameTime = 2500;
  EXPECT_EQ(UpdateParticles(), 3);
  const std::vector<ParticleRecord*> active = Active();
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0]->endTime, 2750);
  EXPECT_EQ(active[0]->state, kParticleUpdated);
  const std::vector<ParticleRecord*> free = Records(&fixture_.engine().particleFreeList);
  ASSERT_EQ(free.size(), 15u);
  EXPECT_EQ(free[13]->state, kParticleFree);
  EXPECT_EQ(free[14]->state, kParticleFree);
  EXPECT_EQ(free[14]->endTime, 2500);
}

// A particle of the test's own, updated at chosen clock values.
class ParticleFlight : public Particles {
 protected:
  ParticleRecord& Launch(uint32_t flags) {
    ParticleRecord& p = pool_[0];
    ListRemove(&p.node);
    ListAddTail(&fixture_.engine().activeParticles, &p.node);
    p.state = kParticleFromFreeList;
    p.kindFlags = flags;
    p.position = {100, 100, 100, 0};
    p.streakStart = {0, 0, 0, 0};
    p.velocity = {1000, -999, 7, 0};
    p.angle = 500;
    p.lastUpdate = 0;
    p.endTime = 1000;
    p.fadeSpan = 400;
    return p;
  }
};

TEST_F(ParticleFlight, MovesByVelocityTimesElapsedAndSpinsByRate) {
  struct Case {
    const char* what;
    uint32_t flags;
    int32_t spinRate, spinRandom;
    uint32_t angleBefore, angleAfter;
    FixedVector streakAfter;
  };
  // After 250 ms: 1000 -> +250, -999 -> -249 and 7 -> +1 (each truncated).
  const Case kCases[] = {
      {"plain: no spin", 0, 1000, 0, 500, 500, {0, 0, 0, 0}},
      {"a streak moves its start too and shows no angle", kParticleStreak, 0, 0, 500, 0, {250, -249, 1, 0}},
      {"spin: rate x d / 1000", kParticleSpins, 1000, 0, 500, 750, {0, 0, 0, 0}},
      {"spin backwards", kParticleSpins, -1000, 0, 500, 250, {0, 0, 0, 0}},
      {"spin wraps within 16 bits", kParticleSpins, 4000, 0, 65000, 464, {0, 0, 0, 0}},
      {"random spin: rand(200) of 41 is 0, so -100 per second", kParticleSpins, 1000, 100, 500, 725, {0, 0, 0, 0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Pool(4);
    GameSrand(1);
    ParticleRecord& p = Launch(c.flags);
    p.spinRate = c.spinRate;
    p.spinRandom = c.spinRandom;
    p.angle = c.angleBefore;
    block_.gameTime = 250;
    EXPECT_EQ(UpdateParticles(), 1);
    EXPECT_EQ(p.position.x, 350);
    EXPECT_EQ(p.position.y, 100 - 249);
    EXPECT_EQ(p.position.z, 101);
    EXPECT_EQ(p.streakStart.x, c.streakAfter.x);
    EXPECT_EQ(p.streakStart.y, c.streakAfter.y);
    EXPECT_EQ(p.streakStart.z, c.streakAfter.z);
    EXPECT_EQ(p.angle, c.angleAfter);
    EXPECT_EQ(p.lastUpdate, 250);
    EXPECT_EQ(p.state, kParticleUpdated);
  }
}

TEST_F(ParticleFlight, FadeStaysOpaqueUntilTheFadeSpanThenFallsTowardsOne) {
  struct Case {
    int32_t now;
    int32_t fade;
  };
  // Ends at 1000 with a fade span of 400.
  const Case kCases[] = {{0, 255}, {600, 255}, {601, 254}, {800, 128}, {999, 2}};
  ParticleRecord& p = Launch(0);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.now);
    block_.gameTime = static_cast<uint32_t>(c.now);
    ASSERT_EQ(UpdateParticles(), 1);
    EXPECT_EQ(p.fade, c.fade);
  }
  block_.gameTime = 1000;
  EXPECT_EQ(UpdateParticles(), 1);
  EXPECT_EQ(p.state, kParticleFree);
  EXPECT_TRUE(Active().empty());
}

}  // namespace
