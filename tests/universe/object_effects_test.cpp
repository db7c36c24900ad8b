// The object effects on a game clock the case sets and a seeded random generator: groups found
// again by owner and keys, start delays, time-outs, the entry sizes over time and speed, flicker,
// hull-damage waits and their sound, the fade of part objects, pushes without a pusher's speed and
// the removals (the sanitizer's leak check sees any group or instance left behind).
#include <gtest/gtest.h>

#include <set>

#include "effect_world.h"

namespace {

TEST_F(ObjectEffects, SameOwnerAndKeysRestartOneGroup) {
  Define(1, {Entry(0)});
  EffectGroup* first = Start(1, 3, 7);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Start(1, 3, 7), first);
  EXPECT_EQ(GroupCount(), 1);
  EXPECT_NE(Start(1, 3, 8), first);
  EXPECT_EQ(GroupCount(), 2);
}

TEST_F(ObjectEffects, RowIndexOutsideTheTableMakesNoGroup) {
  for (int32_t row : {-1, kEffectRowCount}) EXPECT_EQ(Start(row), nullptr);
  EXPECT_EQ(GroupCount(), 0);
}

TEST_F(ObjectEffects, StartDelayHoldsTheEntry) {
  Define(1, {Entry(0, 500)});
  EffectGroup* g = Start();
  ASSERT_NE(g, nullptr);
  At(499);
  EXPECT_EQ(g->entries[0].instance, nullptr);
  EXPECT_EQ(g->entries[0].state, 0);
  At(500);
  EXPECT_NE(g->entries[0].instance, nullptr);
  EXPECT_EQ(g->entries[0].state, 1);
}

TEST_F(ObjectEffects, TimeoutEndsTheEntryAndTheGroup) {
  Define(1, {Entry(EEDF_TIMEOUT, 100, 400)});
  EffectGroup* g = Start();
  At(100);
  ASSERT_NE(g->entries[0].instance, nullptr);
  At(499);
  EXPECT_NE(g->entries[0].instance, nullptr);
  EXPECT_EQ(GroupCount(), 1);
  At(500);
  EXPECT_EQ(GroupCount(), 0);
}

TEST_F(ObjectEffects, EntrySizeOverTime) {
  struct Case {
    const char* name;
    uint32_t flags;
    int32_t duration;
    uint32_t time;
    int32_t expected;
  };
  const Case kCases[] = {
      {"grow and shrink at 0", EEDF_GROWANDSHRINK, 1000, 0, kOne},
      {"grow and shrink at half", EEDF_GROWANDSHRINK, 1000, 500, 3 * kOne},
      {"grow and shrink at the end", EEDF_GROWANDSHRINK, 1000, 1000, kOne},
      {"grow and shrink beyond the end", EEDF_GROWANDSHRINK, 1000, 5000, kOne},
      {"grow and shrink without duration", EEDF_GROWANDSHRINK, 0, 300, 3 * kOne},
      {"grow at half", EEDF_GROW, 1000, 500, 2 * kOne},
      {"grow past the end", EEDF_GROW, 1000, 3000, 3 * kOne},
      {"speed dependent at rest", EEDF_SPEEDDEPENDENT, 0, 0, kOne},
      {"plain", 0, 1000, 700, kOne},
      {"relative size", EEDF_RELATIVESIZE, 0, 0, 2 * kOne},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EffectDefinitionEntry e = Entry(c.flags, 0, c.duration);
    e.speedFactor = kOne;
    Define(1, {e});
    EffectGroup* g = Start();
    ASSERT_NE(g, nullptr);
    At(c.time);
    ASSERT_NE(g->entries[0].instance, nullptr);
    EXPECT_EQ(g->entries[0].instance->size, c.expected);
    FreeEffectGroups();
    SetTime(10000);
  }
}

TEST_F(ObjectEffects, SpeedDependentSizeGrowsWithSpeed) {
  EffectDefinitionEntry e = Entry(EEDF_SPEEDDEPENDENT);
  e.speedFactor = kOne;
  Define(1, {e});
  owner_->speed = 1000;  // as fast as the tuned speed: halfway
  EffectGroup* g = Start();
  EXPECT_EQ(g->entries[0].instance->size, 2 * kOne);
}

TEST_F(ObjectEffects, RotationValueFlickersTheSize) {
  struct Case {
    int32_t rotation;
    bool steady;
  };
  const Case kCases[] = {{0, true}, {0x10000, true}, {0x8000, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.rotation);
    EffectDefinitionEntry e = Entry(0);
    e.rotation = c.rotation;
    Define(1, {e});
    EffectGroup* g = Start();
    std::set<int32_t> sizes;
    for (uint32_t t = 0; t < 10; ++t) {
      At(t);
      const int32_t z = g->entries[0].instance->size;
      EXPECT_LE(z, kOne);
      EXPECT_GT(z, kOne / 2);
      sizes.insert(z);
    }
    EXPECT_EQ(sizes.size() == 1, c.steady);
    FreeEffectGroups();
  }
}

TEST_F(ObjectEffects, SpeedDependentLightDimsAtRestAndLightsUpWithSpeed) {
  engine_.engine().lightTypes[12] = {kLightKindPoint, 1000, 2000, 3000, 0, 0, {0, 0}};
  struct Case {
    const char* name;
    int32_t source;
    int32_t speed;
    int16_t red;  // -1: no colour given
  };
  const Case kCases[] = {
      {"at rest", 12, 0, 0},
      {"as fast as its tuned speed", 12, 1000, 500},
      {"very fast", 12, 1000000, 1000},
      {"undefined type", 13, 0, -1},
      {"beyond the table", 1000, 0, -1},
      {"not a number", -1, 0, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EffectDefinitionEntry e = Entry(EEDF_LIGHT | EEDF_SPEEDDEPENDENT);
    e.sourceId = c.source;
    e.speedFactor = kOne;
    Define(1, {e});
    owner_->speed = c.speed;
    EffectGroup* g = Start();
    InstanceRecord* light = g->entries[0].instance;
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(g->entries[0].state, 1);
    if (c.red < 0) {
      EXPECT_EQ(light->lightColor[0], 0);
      EXPECT_EQ(light->flags2 & 0x40000000u, 0u);
    } else {
      EXPECT_EQ(light->lightColor[0], c.red);
      EXPECT_EQ(light->flags2 & 0x40000000u, 0x40000000u);
    }
    FreeEffectGroups();
  }
}

TEST_F(ObjectEffects, HullDamageWaitsForTheShieldThenPlaysOneSound) {
  SpaceObject* shield = MakeIn(owner_, kClassShield);
  static_cast<ShieldExt*>(shield->ext)->charge = kShieldFullCharge;
  Define(1, {Entry(EEDF_HULLDAMAGE)});
  EffectGroup* g = Start();
  At(100);
  EXPECT_EQ(g->entries[0].state, 0);
  EXPECT_TRUE(gSounds.empty());
  static_cast<ShieldExt*>(shield->ext)->charge = 0;
  At(200);
  EXPECT_EQ(g->entries[0].state, 1);
  At(300);
  ASSERT_EQ(gSounds.size(), 1u);
  EXPECT_TRUE(std::set<int32_t>({903, 904, 1200, 1201, 1202}).count(gSounds[0]));
}

TEST_F(ObjectEffects, PartObjectFadesAfterTheFadeDelay) {
  SpaceObject* part = Make(kClassBodyObject);
  Define(1, {Entry(EEDF_FADEOUTBODY, 2000)});
  Start(1, 5, 0, part);
  struct Case {
    uint32_t time;
    int32_t fade;
  };
  const Case kCases[] = {{0, 0}, {1999, 0}, {2000, 0}, {2001, 254}, {2500, 128}, {2999, 2}, {3000, 1}, {4000, 1}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.time);
    At(c.time);
    EXPECT_EQ(part->instance->fadeValue, c.fade);
  }
}

// The last group of a part ends: the part is released, which must not free the ending group (or
// the part's other groups the step walks next) a second time.
TEST_F(ObjectEffects, APartWhoseLastGroupEndsIsReleasedOnce) {
  UniverseBlock universe{};  // the release walks a universe (an empty one here)
  ListInit(&universe.objects);
  gUniverse = &universe;
  SpaceObject* part = Make(kClassBodyObject);
  Define(1, {Entry(EEDF_TIMEOUT, 0, 100)});
  Define(2, {Entry(EEDF_TIMEOUT, 0, 100)});
  Start(1, 5, 0, part);
  Start(2, 6, 0, part);
  At(100);
  At(120);
  gUniverse = nullptr;
  EXPECT_EQ(GroupCount(), 0);
  EXPECT_NE(part->flags & kObjFlagRemoving, 0u);
}

TEST_F(ObjectEffects, PushWithoutPusherSpeedMovesNothing) {
  SpaceObject* pusher = Make(kClassShip);
  Define(1, {Entry(EEDF_PUSH)});
  AddEffectGroup(1, 0, 1, owner_, pusher, 0, 0, nullptr, 0, nullptr);
  EffectGroup* g = reinterpret_cast<EffectGroup*>(ListFirst(EffectGroupList()));
  EXPECT_EQ(g->entries[0].state, 1);
  EXPECT_EQ(owner_->baseVelocity.x | owner_->baseVelocity.y | owner_->baseVelocity.z, 0);
  EXPECT_EQ(owner_->turnRates[0] | owner_->turnRates[1] | owner_->turnRates[2], 0);
}

TEST_F(ObjectEffects, RemovingTheOwnerLeavesNothingBehind) {
  SpaceObject* other = Make(kClassShip);
  Define(1, {Entry(0), Entry(EEDF_TIMEOUT, 0, 1000)});
  AddEffectGroup(1, 0, 1, owner_, other, 0, 0, nullptr, 0, nullptr);
  EffectGroup* kept = AddEffectGroup(1, 0, 1, other, owner_, 0, 0, nullptr, 0, nullptr);
  At(10);
  RemoveObjectEffects(owner_);
  EXPECT_EQ(GroupCount(), 1);
  EXPECT_EQ(kept->second, nullptr);
  At(20);
  RemoveObjectEffects(other);
  EXPECT_EQ(GroupCount(), 0);
}

}  // namespace
