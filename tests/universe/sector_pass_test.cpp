// The per-frame sector pass: container upkeep, the video choice of the sector's screens, the
// release of objects marked for removal, and the fragments of a bursting shot.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "core/memory.h"
#include "lifecycle_world.h"
#include "render/texture_animation.h"
#include "scene/camera_records.h"
#include "scene/instance.h"
#include "scene/scene_records.h"
#include "universe/object_spawns.h"
#include "universe/type_loader.h"
#include "universe/universe_frame.h"

namespace {

constexpr int32_t kStream = 77;

struct Claim {
  int32_t stream, owner, firstParam;
};

// A movie layer of one stream: a claim makes it owned and running.
struct FakeStreams {
  static inline std::vector<Claim>* claims = nullptr;
  static inline uint32_t flags = 0;
  static inline int32_t owner = 0;
  static bool Find(int32_t id, uint32_t* f, int32_t* o) {
    if (id != kStream) return false;
    *f = flags;
    *o = owner;
    return true;
  }
  static void Open(int32_t, uint32_t) {}
  static void Connect(int32_t, int32_t o) {
    owner = o;
    flags |= kMediaStreamOwned;
  }
  static void Play(int32_t id, const int32_t params[6]) {
    flags |= kMediaStreamRunning;
    claims->push_back({id, owner, params[0]});
  }
  static void Stop(int32_t) { flags &= ~kMediaStreamRunning; }
  static void Disconnect(int32_t, int32_t o) {
    if (owner != o) return;
    owner = 0;
    flags &= ~kMediaStreamOwned;
  }
};

class SectorPass : public LifecycleWorld {
 protected:
  void SetUp() override {
    LifecycleWorld::SetUp();
    Rows(kClassSpecial, 1);
    Rows(kClassGate, 1);
    Rows(kClassShip, 1);
    sector_ = Sector();
    ListInit(&scene_.cameras);
    ListInit(&camera_.instance.children);
    camera_.cameraFlags = kCameraEnabled;
    MatrixSetIdentity(&camera_.instance.worldMatrix);
    ListAddTail(&scene_.cameras, &camera_.instance.node);
    sector_->sceneA = &scene_;
    FakeStreams::claims = &claims_;
    FakeStreams::flags = 0;
    FakeStreams::owner = 0;
    static const MediaStreamHooks hooks{FakeStreams::Find, FakeStreams::Open, FakeStreams::Connect,
                                        FakeStreams::Play, FakeStreams::Stop, FakeStreams::Disconnect};
    TexAnimSetMediaHooks(&hooks);
  }

  void TearDown() override {
    sector_->sceneA = nullptr;
    TexAnimSetMediaHooks(nullptr);
    gVideoTable = {};
    gVideoListTable = {};
    LifecycleWorld::TearDown();
  }

  // Video rows of up to four screen ids each, all on the one stream.
  void Videos(std::vector<std::vector<int32_t>> rows) {
    videoRows_.assign(rows.size(), VideoRow{});
    for (size_t r = 0; r < rows.size(); ++r) {
      videoRows_[r].idCount = static_cast<int32_t>(rows[r].size());
      for (size_t j = 0; j < rows[r].size(); ++j) videoRows_[r].id[j] = rows[r][j];
      videoRows_[r].value[0] = kStream;
      videoRows_[r].value[1] = 500 + static_cast<int32_t>(r);
    }
    gVideoTable = {static_cast<int32_t>(videoRows_.size()), videoRows_.data()};
  }

  SpaceObject* Adopt(SpaceObject* container, SpaceObject* o) {
    ObjectListRemove(o);
    ObjectListAddTail(ObjectChildren(container), o);
    o->parent = container;
    return o;
  }

  // A screen in the sector at distance z in front of the camera; a negative z leaves it without
  // a scene node (no distance). Both, and a screen at the camera, are always in range.
  SpaceObject* Screen(int32_t screenId, int32_t z, int32_t shownId = 0) {
    SpaceObject* s = Adopt(sector_, Create(kClassSpecial, 0));
    auto* ext = static_cast<SpecialExt*>(s->ext);
    ext->screenId = screenId;
    ext->shownId = shownId;
    s->radius = 1000000;
    if (z >= 0) {
      if (!s->instance) s->instance = B3D_InstAlloc();
      s->instance->world = {0, 0, z, 0};
    }
    if (z <= 0) s->flags2 |= 1u << 9;
    return s;
  }

  static int32_t Shown(SpaceObject* s) { return static_cast<SpecialExt*>(s->ext)->shownId; }
  static bool Assigned(SpaceObject* s) { return (s->flags2 & (1u << 22)) != 0; }
  void Pause(uint32_t word) { sector_->sectorWords[9] = word; }

  SectorObject* sector_ = nullptr;
  SceneRecord scene_{};
  CameraRecord camera_{};
  std::vector<Claim> claims_;
  std::vector<VideoRow> videoRows_;
};

TEST_F(SectorPass, GateExitSlotsOpenOnlyOnceTheirTimeHasCome) {
  SpaceObject* gate = Adopt(sector_, Create(kClassGate, 0));
  gate->flags |= kObjFlagContainer | (1u << 25) | (1u << 28);
  auto* ext = static_cast<GateExt*>(gate->ext);
  SpaceObject* waiting = Create(kClassShip, 0);
  ext->slotTimes[0] = 4000;  // passed
  ext->slotShips[0] = waiting;
  ext->slotTimes[1] = 5000;  // now
  ext->slotShips[1] = waiting;
  ext->slotTimes[2] = 6000;  // still to come
  ext->slotShips[2] = waiting;
  Pause(1);  // containers are kept while the screens are paused
  UpdateSectorInstances(sector_);
  EXPECT_EQ(ext->slotTimes[0], 5000u);
  EXPECT_EQ(ext->slotShips[0], nullptr);
  EXPECT_EQ(ext->slotShips[1], nullptr);
  EXPECT_EQ(ext->slotTimes[2], 6000u);
  EXPECT_EQ(ext->slotShips[2], waiting);
  EXPECT_EQ(gate->flags & ((1u << 25) | (1u << 28)), 0u);
}

TEST_F(SectorPass, PausedSectorChangesNoScreenAndClaimsNothing) {
  Videos({{1}});
  SpaceObject* showing = Screen(1, 1000, 1);
  SpaceObject* idle = Screen(1, 2000);
  Pause(1);
  UpdateSectorInstances(sector_);
  EXPECT_EQ(Shown(showing), 1);
  EXPECT_EQ(Shown(idle), 0);
  EXPECT_EQ(sector_->sectorLast, -1);
  EXPECT_TRUE(claims_.empty());
}

TEST_F(SectorPass, NoScreenInRangeAndNoneShownAllocatesNothing) {
  Videos({{1}});
  sector_->sectorLast = -1;
  Screen(1, 900000000);  // beyond 64 x its radius
  const uint32_t allocations = MemGetAllocationCount();
  UpdateSectorInstances(sector_);
  EXPECT_EQ(MemGetAllocationCount(), allocations);
  EXPECT_EQ(sector_->sectorLast, -1);
  EXPECT_TRUE(claims_.empty());
}

TEST_F(SectorPass, NearerOfTwoScreensWithOneIdOwnsTheTileAndTheOtherMirrorsIt) {
  Videos({{4}});
  sector_->sectorLast = -1;
  SpaceObject* far = Screen(4, 2000);
  SpaceObject* near = Screen(4, 1000);
  UpdateSectorInstances(sector_);
  EXPECT_EQ(sector_->sectorLast, 0);
  EXPECT_EQ(Shown(near), 4);
  EXPECT_TRUE(Assigned(near));
  EXPECT_EQ(Shown(far), 4);
  EXPECT_FALSE(Assigned(far));
  ASSERT_EQ(claims_.size(), 1u);
  EXPECT_EQ(claims_[0].stream, kStream);
  EXPECT_EQ(claims_[0].owner, 90);
  EXPECT_EQ(claims_[0].firstParam, 500);

  // While the video plays and the same screens are nearest, nothing is chosen again.
  UpdateSectorInstances(sector_);
  EXPECT_EQ(claims_.size(), 1u);
  EXPECT_EQ(Shown(near), 4);
  EXPECT_EQ(Shown(far), 4);
}

TEST_F(SectorPass, VideoThatStoppedSwitchesScreensOffAndChoosesAgain) {
  Videos({{4}});
  sector_->sectorLast = -1;
  SpaceObject* screen = Screen(4, 1000);
  UpdateSectorInstances(sector_);
  FakeStreams::flags &= ~kMediaStreamRunning;
  UpdateSectorInstances(sector_);
  EXPECT_EQ(Shown(screen), 4);
  EXPECT_EQ(claims_.size(), 2u);
}

// Which row wins when several score the same or a score saturates.
struct ChoiceCase {
  const char* name;
  std::vector<std::vector<int32_t>> rows;
  std::vector<std::pair<int32_t, int32_t>> screens;  // screen id, distance (-1: none, always in range)
  int32_t chosen;
};

const ChoiceCase kChoiceCases[] = {
    {"one complete row wins over an incomplete one of the same score", {{1, 2}, {1}}, {{1, 1000}}, 1},
    {"a screen at distance 0 saturates its row above a near one", {{2}, {1}}, {{1, 0}, {2, 2}}, 1},
    {"screens without a distance add nothing and never overflow", {{7, 8}}, {{7, -1}, {8, -1}}, 0},
    {"a list screen takes any id of its list", {{5, 6}}, {{-1, 100}, {-1, 200}}, 0},
};

TEST_F(SectorPass, ChoosesTheBestRow) {
  int32_t listIds[] = {5, 6};
  WordList list{2, listIds};
  for (const ChoiceCase& c : kChoiceCases) {
    SCOPED_TRACE(c.name);
    SectorObject* sector = Sector();
    sector->sceneA = &scene_;
    std::swap(sector, sector_);
    gVideoListTable = {1, &list};
    Videos(c.rows);
    sector_->sectorLast = -1;
    for (auto [id, z] : c.screens) Screen(id, z);
    UpdateSectorInstances(sector_);
    EXPECT_EQ(sector_->sectorLast, c.chosen);
    std::swap(sector, sector_);
    sector->sceneA = nullptr;
  }
}

TEST_F(SectorPass, TiedCompleteRowsAreChosenBySeededRandom) {
  Videos({{3}, {3}});
  Screen(3, 1000);
  auto choose = [&](uint32_t seed) {
    sector_->sectorLast = -1;
    FakeStreams::flags = 0;
    GameSrand(seed);
    UpdateSectorInstances(sector_);
    return sector_->sectorLast;
  };
  std::set<int32_t> seen;
  for (uint32_t seed = 1; seed <= 80000; seed += 10000) {
    const int32_t row = choose(seed);
    EXPECT_EQ(choose(seed), row) << "seed " << seed;
    seen.insert(row);
  }
  EXPECT_EQ(seen, (std::set<int32_t>{0, 1}));
}

TEST_F(SectorPass, RemovedObjectsAreFreedAtTheFramesEndAndThePlayerForgotten) {
  SpaceObject* player = Adopt(sector_, Create(kClassShip, 0));
  SpaceObject* kept = Adopt(sector_, Create(kClassShip, 0));
  SpaceObject* removed = Adopt(sector_, Create(kClassShip, 0));
  const uint32_t playerId = player->id, removedId = removed->id;
  universe_.player = player;
  player->flags |= kObjFlagRemoving;
  removed->flags |= kObjFlagRemoving;
  FreeRemovedObjectsInSectors();
  EXPECT_EQ(universe_.player, nullptr);
  EXPECT_EQ(HashGet(universe_.idHash, playerId), 0u);
  EXPECT_EQ(HashGet(universe_.idHash, removedId), 0u);
  EXPECT_EQ(ObjectListFirst(ObjectChildren(sector_)), kept);
  EXPECT_EQ(ObjectListNext(kept), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Fragments of a bursting shot.

class Bursts : public LifecycleWorld {
 protected:
  SpaceObject* Shot(int32_t burstType, int32_t count) {
    ObjectTypeRecord* rows = Rows(kClassBullet, 2);
    rows[0].bullet.flags = 0x1000;
    rows[0].bullet.impactValue[6] = burstType;
    rows[0].bullet.impactValue[7] = count;
    rows[1].bullet.lifetime = 700;
    sector_ = Sector();
    SpaceObject* shot = Create(kClassBullet, 0);
    ObjectListRemove(shot);
    ObjectListAddTail(ObjectChildren(sector_), shot);
    shot->parent = sector_;
    if (!shot->instance) shot->instance = B3D_InstAlloc();
    MatrixSetIdentity(&shot->instance->matrix);
    shot->flags2 |= kObjFlag2LaunchFlag1;
    shot->owner = 3;
    auto* ext = static_cast<BulletExt*>(shot->ext);
    ext->burstMarker = 1;
    ext->firedBy = shot;
    return shot;
  }

  std::vector<SpaceObject*> Fragments(SpaceObject* shot) {
    std::vector<SpaceObject*> out;
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector_)); o; o = ObjectListNext(o)) {
      if (o != shot) out.push_back(o);
    }
    return out;
  }

  SectorObject* sector_ = nullptr;
};

TEST_F(Bursts, ShotBurstsIntoFragmentsThatNeverBurstAgain) {
  SpaceObject* shot = Shot(MakeTypeWord(kClassBullet, 1), 3);
  SpawnScatteredObjects(shot);
  const std::vector<SpaceObject*> fragments = Fragments(shot);
  ASSERT_EQ(fragments.size(), 3u);
  for (SpaceObject* f : fragments) {
    const auto* ext = static_cast<BulletExt*>(f->ext);
    EXPECT_EQ(f->subtype, 1);
    EXPECT_EQ(ext->burstMarker, 0u);
    EXPECT_EQ(ext->expiresAt, 5700u);
    EXPECT_EQ(ext->firedBy, shot);
    EXPECT_EQ(f->owner, 3);
    EXPECT_TRUE(f->flags2 & kObjFlag2LaunchFlag1);
    EXPECT_EQ(f->parent, sector_);
  }
}

TEST_F(Bursts, NothingIsMadeForNoCountOrASectorType) {
  struct Case {
    const char* name;
    uint32_t burstType;
    int32_t count;
  };
  const Case kCases[] = {
      {"a burst count of 0", MakeTypeWord(kClassBullet, 1), 0},
      {"a negative burst count", MakeTypeWord(kClassBullet, 1), -4},
      {"a sector as the burst type", MakeTypeWord(kClassSector, 0), 2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SpaceObject* shot = Shot(static_cast<int32_t>(c.burstType), c.count);
    const int before = TopLevelCount();
    SpawnScatteredObjects(shot);
    EXPECT_TRUE(Fragments(shot).empty());
    EXPECT_EQ(TopLevelCount(), before);
  }
}

}  // namespace
