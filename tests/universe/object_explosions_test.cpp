// Explosions, impacts and trails on a universe with a scene: the effect rows of types, the part
// object of an explosion and its exceptions, rows beyond the table, the propagation step times and
// their 64-bit sums, bands of vertices, break-up into parts with drift, the collision effect of a
// bullet against the objects that show none, fire, trails by emitter, the flat sprite and the hit
// and explosion sounds.
#include "universe/object_explosions.h"

#include <gtest/gtest.h>

#include "explosion_world.h"
#include "universe/type_access.h"

namespace {

constexpr int32_t kHullBody = 30;
constexpr int32_t kRow = 5;
constexpr int32_t kStepRow = 6;

class Explosions : public ExplosionWorld {
 protected:
  void SetUp() override {
    ExplosionWorld::SetUp();
    VertexBody(kHullBody, {{0, 0, 0}, {10, 0, 0}, {40, 0, 0}});
    ships_ = Rows(kClassShip, 1);
    ships_[0].bodyId = kHullBody;
    ships_[0].ship.viewpointGroup = -1;
    IdleRow(kDefaultExplosionRow);
    IdleRow(kDefaultBreakUpRow);
    IdleRow(kStepRow);
  }

  static EffectDefinitionEntry Propagation(int32_t first, int32_t last, int32_t steps, int32_t delay = 0) {
    EffectDefinitionEntry e{};
    e.flags = EEDF_PROPAGATE;
    e.startDelay = delay;
    e.propagation = {kStepRow, steps, steps, first, last, 1, 0, 0};
    return e;
  }

  std::vector<int32_t> GroupDelays(int32_t kind) {
    std::vector<int32_t> out;
    for (EffectGroup* g : Groups()) {
      if (g->keyA == kind) out.push_back(static_cast<int32_t>(g->startTime - Now()));
    }
    return out;
  }

  ObjectTypeRecord* ships_ = nullptr;
};

TEST_F(Explosions, TypeRowsFallBackToTheDefaultRows) {
  Rows(kClassBullet, 3);
  TypeRowMutable(kClassBullet, 0)->bullet = {};
  TypeRowMutable(kClassBullet, 1)->bullet.flags = 0x100;  // its own row, even 0
  TypeRowMutable(kClassBullet, 2)->bullet.effectRow = 7;  // without the flag: the default
  ships_[0].ship.effectRow = 12;
  Rows(kClassMissile, 1)->missile.effectRow = 9;
  Rows(kClassAsteroid, 1)->asteroid.effectRowB = 5;
  Rows(kClassDock, 1);
  struct Case {
    const char* what;
    int32_t objClass, subtype;
    uint32_t flags;
    int32_t row, rowB;
  };
  const Case kCases[] = {
      {"class without effect words", kClassSpecial, 0, 0, 48, 0},
      {"class above the asteroids", kClassDebris, 0, 0, 48, 0},
      {"ship with its own row", kClassShip, 0, 0, 12, 36},
      {"dock with neither row", kClassDock, 0, 0, 48, 36},
      {"asteroid with a second row", kClassAsteroid, 0, 0, 48, 5},
      {"bullet with flag 0x100 and row 0", kClassBullet, 1, 0, 0, 0},
      {"bullet without the flag", kClassBullet, 2, 0, 48, 0},
      {"missile without object flags", kClassMissile, 0, 0, 48, 0},
      {"missile with object flags", kClassMissile, 0, 1, 9, 0},
      {"missing type row", kClassShip, 4, 0, 48, 36},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GetTypeEffectIndex(c.subtype, c.objClass, c.flags), c.row);
    EXPECT_EQ(GetTypeEffectIndexB(c.subtype, c.objClass, c.flags), c.rowB);
  }
}

TEST_F(Explosions, AKilledObjectLeavesAPartObjectWithTheExplosionGroup) {
  Rows(kClassSpecial, 1)->bodyId = kHullBody;
  SpaceObject* o = Shown(kClassSpecial);
  o->instance->position = {100, 200, 300, 0};
  o->instance->velocity = {5, 0, 0, 0};
  o->baseVelocity = {1, 2, 3, 0};
  o->angles[1] = 0x1234;
  o->scriptId = 44;
  ASSERT_EQ(CreateObjectExplosion(o, 0, 17), 1);

  const std::vector<SpaceObject*> parts = PartObjects();
  ASSERT_EQ(parts.size(), 1u);
  SpaceObject* part = parts[0];
  EXPECT_EQ(part->subtype, kHullBody);
  EXPECT_EQ(part->instance->position.x, 100);
  EXPECT_EQ(part->angles[1], 0x1234);
  EXPECT_EQ(part->scriptId, 44u);
  EXPECT_EQ(part->baseVelocity.x, 6);
  for (int32_t rate : part->turnRates) {
    EXPECT_GE(rate, -0x200);
    EXPECT_LT(rate, 0x200);
  }
  const std::vector<EffectGroup*> groups = Groups();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0]->row, &gEffectRows[kDefaultExplosionRow]);
  EXPECT_EQ(groups[0]->owner, part);
  EXPECT_EQ(groups[0]->keyA, kEffectKindExplosion);
  EXPECT_EQ(groups[0]->keyB, static_cast<int32_t>(part->id));
  EXPECT_EQ(groups[0]->eventValue, 17);
  EXPECT_EQ(groups[0]->second, nullptr);
}

TEST_F(Explosions, ExplosionsThatShowNothing) {
  Rows(kClassMissile, 1)->missile.explosionSound = 1234;
  Rows(kClassBullet, 1)->bullet.flags = 0x100;
  Rows(kClassDebris, 1);
  ships_[0].ship.effectRow = 5000;  // beyond the table
  struct Case {
    const char* what;
    int32_t objClass;
    bool shown;
    uint32_t flags;
    int32_t valueA, result;
  };
  const Case kCases[] = {
      {"armed missile with value a", kClassMissile, true, kObjFlagArmed, 1, 1},
      {"bullet with its own row 0", kClassBullet, true, 0, 0, 1},
      {"debris", kClassDebris, true, 0, 0, 0},
      {"object outside any scene", kClassShip, false, 0, 0, 0},
      {"row beyond the effect table", kClassShip, true, 0, 0, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SpaceObject* o = c.shown ? Shown(c.objClass) : Create(c.objClass, 0);
    o->flags |= c.flags;
    o->speed = o->speedLimit = 900;
    o->instance->velocity = {7, 7, 7, 0};
    EXPECT_EQ(CreateObjectExplosion(o, c.valueA, 0), c.result);
    EXPECT_TRUE(Groups().empty());
    EXPECT_TRUE(PartObjects().empty());
    if (c.objClass == kClassBullet) {
      EXPECT_EQ(o->speed, 0);
      EXPECT_EQ(o->speedLimit, 0);
      EXPECT_EQ(o->instance->velocity.x, 0);
    }
  }
}

TEST_F(Explosions, PropagationStepsMoveFromTheLastIntervalTowardTheFirst) {
  struct Case {
    int32_t first, last;
    std::vector<int32_t> delays;
  };
  const Case kCases[] = {
      {100, 300, {300, 533, 699}},
      {300, 100, {100, 267, 501}},
  };
  SpaceObject* o = Shown(kClassShip);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.first);
    DefineEffectRow(kRow, {Propagation(c.first, c.last, 3)});
    EXPECT_EQ(StartPropagation(o, kEffectKindImpact, kRow, nullptr), c.delays.back());
    EXPECT_EQ(GroupDelays(kEffectKindImpact), c.delays);
    std::vector<int32_t> keys;
    for (EffectGroup* g : Groups()) keys.push_back(g->keyB - EffectFrameRandom() - static_cast<int32_t>(o->id));
    EXPECT_EQ(keys, (std::vector<int32_t>{0, 1000, 2000}));
    FreeEffectGroups();
  }
}

TEST_F(Explosions, PropagationWithoutSceneOrKindGivesTheStartDelay) {
  DefineEffectRow(kRow, {Propagation(100, 300, 3, 250), Propagation(100, 300, 2, 400)});
  SpaceObject* hidden = Create(kClassShip, 0);
  SpaceObject* shown = Shown(kClassShip);
  EXPECT_EQ(StartPropagation(hidden, kEffectKindImpact, kRow, nullptr), 400);
  EXPECT_EQ(StartPropagation(shown, 0, kRow, nullptr), 400);
  EXPECT_TRUE(Groups().empty());
  EXPECT_EQ(StartPropagation(shown, kEffectKindImpact, 1000, nullptr), 0);
  EXPECT_EQ(StartPropagation(shown, kEffectKindImpact, -1, nullptr), 0);
}

TEST_F(Explosions, LongIntervalsAddUpWithoutWrapping) {
  // 2e9 x 3 does not fit 32 bits: the first step still adds exactly the last interval.
  DefineEffectRow(kRow, {Propagation(0, 2000000000, 3)});
  SpaceObject* o = Shown(kClassShip);
  EXPECT_EQ(StartPropagation(o, kEffectKindImpact, kRow, nullptr), INT32_MAX);
  const std::vector<int32_t> delays = GroupDelays(kEffectKindImpact);
  ASSERT_EQ(delays.size(), 3u);
  EXPECT_EQ(delays[0], 2000000000);
}

TEST_F(Explosions, EachBandGivesItsOneVertexAGroup) {
  EffectDefinitionEntry e = Propagation(100, 100, 1);
  e.flags |= EEDF_WAVE;
  e.propagation.bands = 3;
  e.propagation.bandWidth = 6554;  // a tenth of the tree's size 1000: bands of 100 units
  DefineEffectRow(kRow, {e});
  SpaceObject* o = Shown(kClassShip);
  o->instance->size = kFixedOne;
  o->instance->subtreeSize = 1000;
  const FixedVector nearFirst{1, 0, 0, 0};
  StartPropagation(o, kEffectKindImpact, kRow, &nearFirst);
  const std::vector<EffectGroup*> groups = Groups();
  ASSERT_EQ(groups.size(), 3u);
  const int32_t base = EffectFrameRandom() + static_cast<int32_t>(o->id);
  const int32_t x[3] = {0, 40, 160};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(groups[i]->keyB, base + i);
    EXPECT_EQ(groups[i]->offset[0], x[i]);
  }
}

TEST_F(Explosions, BreakUpMakesPartsOfChildrenWithABreakUpRow) {
  IdleRow(kRow, 0, 0, 0);
  IdleRow(7);
  for (int32_t body : {50, 51, 52, 53, 54}) VertexBody(body, {{0, 0, 0}});
  bodyData_[51].value2 = 7;
  bodyData_[52].value2 = 7;
  bodyData_[53].value2 = -1;
  bodyData_[54].value2 = 5000;  // beyond the effect table: counts as none
  struct Case {
    const char* what;
    int32_t drift;  // the first row's value B
    int32_t expectedX;
  };
  const Case kCases[] = {
      {"no drift: the object's velocity only", 0, 9},
      {"half the distance per second", kFixedOne / 2, 509},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ships_[0].ship.effectRow = kRow;
    gEffectRows[kRow].valueB = c.drift;
    SpaceObject* o = Shown(kClassShip);
    o->instance->velocity = {9, 0, 0, 0};
    Child(o->instance, 50, {1000, 0, 0, 0});                        // BodyData row 0: stays
    Child(o->instance, 51, {1000, 0, 0, 0})->flags2 |= 1;           // an emitter: stays
    Child(o->instance, 52, {1000, 0, 0, 0});                        // its own row 7
    Child(o->instance, 53, {1000, 0, 0, 0});                        // the ship's second row
    Child(o->instance, 54, {1000, 0, 0, 0});                        // the same
    ASSERT_EQ(BreakUpObject(o), 1);
    EXPECT_TRUE(o->flags & kObjFlagRemoving);
    std::vector<SpaceObject*> parts = PartObjects();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0]->subtype, 52);
    EXPECT_EQ(parts[1]->subtype, 53);
    EXPECT_EQ(parts[2]->subtype, 54);
    std::vector<const EffectDefinitionRow*> rows;
    for (EffectGroup* g : Groups()) {
      EXPECT_EQ(g->keyA, kEffectKindBreakUp);
      rows.push_back(g->row);
    }
    EXPECT_EQ(rows, (std::vector<const EffectDefinitionRow*>{&gEffectRows[7], &gEffectRows[kDefaultBreakUpRow],
                                                             &gEffectRows[kDefaultBreakUpRow]}));
    for (SpaceObject* part : parts) {
      EXPECT_EQ(part->instance->position.x, 1000);
      EXPECT_EQ(part->baseVelocity.x, c.expectedX);
      EXPECT_GE(part->turnRates[2], -0x2000);
      EXPECT_LT(part->turnRates[2], 0x2000);
      part->flags |= kObjFlagRemoving;  // out of the next case's count; freed with the universe
    }
    FreeEffectGroups();
  }
}

TEST_F(Explosions, MissilesAndHiddenObjectsNeverBreakUp) {
  Rows(kClassMissile, 1);
  SpaceObject* missile = Shown(kClassMissile);
  SpaceObject* hidden = Create(kClassShip, 0);
  EXPECT_EQ(BreakUpObject(missile), 0);
  EXPECT_EQ(BreakUpObject(hidden), 0);
  EXPECT_FALSE(missile->flags & kObjFlagRemoving);
  EXPECT_FALSE(hidden->flags & kObjFlagRemoving);
}

TEST_F(Explosions, PropagatingExplosionsWaitForTheirCarrier) {
  EffectDefinitionEntry breakUp{};
  breakUp.flags = EEDF_BREAKUP;
  breakUp.startDelay = 250;
  DefineEffectRow(kRow, {breakUp, Propagation(100, 300, 3)}, EDF_PROPAGATE);
  ships_[0].ship.effectRow = kRow;
  SpaceObject* o = Shown(kClassShip, 0);
  Child(o->instance, kHullBody, {10, 0, 0, 0});
  ASSERT_EQ(CreateObjectExplosion(o, 0, 0), 1);
  std::vector<SpaceObject*> parts = PartObjects();
  ASSERT_EQ(parts.size(), 2u);
  SpaceObject* carrier = parts[1];
  EXPECT_EQ(carrier->classWord, (0u << 16) | kClassShip);
  ASSERT_NE(InstFirstChild(carrier->instance), nullptr);
  EXPECT_EQ(InstFirstChild(carrier->instance)->bodyId, kHullBody);
  EffectGroup* explosion = nullptr;
  for (EffectGroup* g : Groups()) {
    if (g->keyA == kEffectKindExplosion) explosion = g;
  }
  ASSERT_NE(explosion, nullptr);
  EXPECT_EQ(explosion->owner, parts[0]);
  EXPECT_EQ(explosion->second, carrier);
  EXPECT_EQ(static_cast<int32_t>(explosion->startTime - Now()), 250 + 699);
}

TEST_F(Explosions, OnlyBulletsAndMissilesShowAnImpact) {
  Rows(kClassBullet, 1)->bullet.effectRow = kRow;
  IdleRow(kRow);
  SpaceObject* ship = Shown(kClassShip);
  ship->radius = 50000;
  ship->instance->position = {1000, 0, 0, 0};
  SpaceObject* other = Shown(kClassShip);
  other->radius = 50000;
  EXPECT_EQ(ShowCollisionEffect(ship, other), 1);
  EXPECT_TRUE(Groups().empty());

  SpaceObject* bullet = Shown(kClassBullet);
  bullet->radius = 10;
  bullet->instance->position = {1500, 0, 0, 0};
  bullet->instance->contact = {0, 0, 10, 0};
  MatrixFromAngles(&bullet->instance->matrix, 0, 0, 0x4000);
  struct Case {
    const char* what;
    SpaceObject* a;
    SpaceObject* b;
  };
  const Case kCases[] = {{"ship first", ship, bullet}, {"bullet first", bullet, ship}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ShowCollisionEffect(c.a, c.b), 1);
    const std::vector<EffectGroup*> groups = Groups();
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0]->owner, ship);
    EXPECT_EQ(groups[0]->keyA, kEffectKindImpact);
    EXPECT_EQ(groups[0]->keyB, static_cast<int32_t>(bullet->id));
    EXPECT_EQ(groups[0]->second, bullet);
    EXPECT_EQ(groups[0]->impactMatrix.m[0][1], bullet->instance->matrix.m[0][1]);
    // The bullet's contact (on its roll axis) in the ship's frame.
    EXPECT_EQ(groups[0]->offset[0], 500);
    EXPECT_EQ(groups[0]->offset[2], 10);
    FreeEffectGroups();
  }
  SpaceObject* hidden = Create(kClassBullet, 0);
  EXPECT_EQ(ShowCollisionEffect(ship, hidden), 0);
}

TEST_F(Explosions, FireNeedsAFireRow) {
  ObjectTypeRecord* bullets = Rows(kClassBullet, 2);
  bullets[1].bullet.fireRow = kRow;
  IdleRow(kRow);
  SpaceObject* ship = Shown(kClassShip);
  EXPECT_EQ(StartBulletEffect(0, ship, 3, nullptr, nullptr), 1);
  EXPECT_TRUE(Groups().empty());
  const FixedVector at{1, 2, 3, 0};
  EXPECT_EQ(StartBulletEffect(1, ship, 3, &at, nullptr), 1);
  const std::vector<EffectGroup*> groups = Groups();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0]->keyA, kEffectKindFire);
  EXPECT_EQ(groups[0]->keyB, 3);
  EXPECT_EQ(groups[0]->offset[2], 3);
}

TEST_F(Explosions, TrailsFollowTheEmittersThatAreOn) {
  ships_[0].ship.trailRow = kRow;
  IdleRow(kRow);
  SpaceObject* ship = Shown(kClassShip);
  ship->instance->size = 2 * kFixedOne;
  ship->instance->scale = {kFixedOne, kFixedOne, 3 * kFixedOne, 0};
  Child(ship->instance, kHullBody, {1, 1, 1, 0});                           // no emitter
  Child(ship->instance, kHullBody, {10, 0, 0, 0})->flags2 |= 1;             // emitter 0
  InstanceRecord* noTrail = Child(ship->instance, kHullBody, {20, 0, 0, 0});  // emitter 1
  noTrail->flags2 |= 1;
  noTrail->pathWord = 1u << 14;
  InstanceRecord* off = Child(ship->instance, kHullBody, {30, 0, 0, 0});  // emitter 2
  off->flags2 |= 1;
  off->pathWord = 1u << 3;
  InstanceRecord* scaled = Child(ship->instance, kHullBody, {0, 5, 7, 0});  // emitter 3
  scaled->flags2 |= 1;
  scaled->flags |= kInstScaledWithParent;
  UpdateEngineTrailEffects(ship);
  const std::vector<EffectGroup*> groups = Groups();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0]->keyB, 0);
  EXPECT_EQ(groups[0]->offset[0], 10);
  EXPECT_EQ(groups[1]->keyB, 3);
  EXPECT_EQ(groups[1]->offset[1], 10);
  EXPECT_EQ(groups[1]->offset[2], 42);

  Rows(kClassBullet, 1)->bullet.trailParticle = 2;  // a particle type alone trails with row 0
  IdleRow(0);
  SpaceObject* bullet = Shown(kClassBullet);
  UpdateEngineTrailEffects(bullet);
  EXPECT_EQ(Groups().back()->owner, bullet);
  EXPECT_EQ(Groups().back()->row, &gEffectRows[0]);
}

TEST_F(Explosions, TheFlatSpriteLivesFourSeconds) {
  VertexBody(60, {{0, 0, 0}});
  const FixedVector at{4, 5, 6, 0};
  ASSERT_EQ(ShowRelativeExplosion(&scene_, 60, -10, &at), 1);
  ListNode* node = ListFirst(EffectInstanceList());
  ASSERT_NE(node, nullptr);
  auto* fx = reinterpret_cast<EffectInstance*>(node);
  EXPECT_EQ(fx->state, 2);
  EXPECT_EQ(fx->flags, 2u);
  EXPECT_EQ(fx->endTime, Now() + 4000);
  InstanceRecord* sprite = fx->instance;
  EXPECT_EQ(sprite->scene, &scene_);
  EXPECT_TRUE(sprite->flags & 0x4000);
  EXPECT_EQ(sprite->size, -2);  // a quarter, toward zero
  EXPECT_EQ(sprite->position.z, 6);
  EXPECT_EQ(sprite->matrix.m[2][2], kFixedOne);  // a roll only
  EXPECT_TRUE(B3D_FindBody(60)->flags & 0x20);
  system_.gameTime += 4000;
  StepObjectEffects();
  EXPECT_EQ(ListFirst(EffectInstanceList()), nullptr);
}

TEST_F(Explosions, ExplosionSoundsByRadius) {
  Rows(kClassMissile, 1)->missile.explosionSound = 1234;
  struct Case {
    int32_t objClass;
    uint32_t flags;
    int32_t radius, sound;
  };
  const Case kCases[] = {
      {kClassShip, 0, 100001, 920}, {kClassShip, 0, 100000, 919}, {kClassShip, 0, 20001, 919},
      {kClassShip, 0, 20000, 918},  {kClassMissile, kObjFlagArmed, 500000, 1234},
      {kClassMissile, 0, 10, 918},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.radius);
    played_.clear();
    SpaceObject* o = Shown(c.objClass);
    o->flags |= c.flags;
    o->radius = c.radius;
    PlayExplosionSound(o);
    EXPECT_EQ(played_, (std::vector<PlayedSound>{{c.sound, o->instance}}));
  }
  played_.clear();
  PlayExplosionSound(Create(kClassShip, 0));
  EXPECT_TRUE(played_.empty());
}

TEST_F(Explosions, HitSoundsPlayAtTheAttacker) {
  Rows(kClassBullet, 1)->bullet.hitSound = 77;
  Rows(kClassMissile, 1);
  ObjectTypeRecord* ships = Rows(kClassShip, 276);
  ships[275].bodyId = kHullBody;
  struct Case {
    const char* what;
    int32_t objClass, subtype;
    uint32_t flags;
    int32_t attackerRadius, targetRadius;
    bool alreadyPlaying;
    int32_t sound;  // 0: none
  };
  const Case kCases[] = {
      {"bullet", kClassBullet, 0, 0, 10, 10, false, 77},
      {"armed missile", kClassMissile, 0, kObjFlagArmed, 10, 10, false, 0},
      {"ship of subtype 275", kClassShip, 275, 0, 90000, 10, false, 992},
      {"larger attacker", kClassShip, 0, 0, 30000, 10000, false, 0},
      {"both small", kClassShip, 0, 0, 20000, 20000, false, 903},
      {"one large", kClassShip, 0, 0, 20000, 20001, false, 904},
      {"already playing", kClassShip, 0, 0, 20000, 20001, true, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    played_.clear();
    playing_.clear();
    if (c.alreadyPlaying) playing_.push_back(904);
    SpaceObject* attacker = Shown(c.objClass, c.subtype);
    attacker->flags |= c.flags;
    attacker->radius = c.attackerRadius;
    SpaceObject* target = Shown(kClassShip);
    target->radius = c.targetRadius;
    PlayHitSound(attacker, target);
    const std::vector<PlayedSound> want =
        c.sound ? std::vector<PlayedSound>{{c.sound, attacker->instance}} : std::vector<PlayedSound>{};
    EXPECT_EQ(played_, want);
  }
}

TEST_F(Explosions, WreckAndDebrisRowsAreKnownByType) {
  EffectDefinitionEntry wreck{};
  wreck.flags = EEDF_WRECK;
  EffectDefinitionEntry debris{};
  debris.flags = EEDF_DEBRISMAP;
  DefineEffectRow(kRow, {wreck});
  DefineEffectRow(7, {debris});
  ObjectTypeRecord* ships = Rows(kClassShip, 3);
  ships[1].ship.effectRow = kRow;
  ships[2].ship.effectRow = 7;
  EXPECT_FALSE(TypeEffectsCreateWreck(0, kClassShip));
  EXPECT_TRUE(TypeEffectsCreateWreck(1, kClassShip));
  EXPECT_FALSE(TypeEffectsCreateDebris(1, kClassShip));
  EXPECT_TRUE(TypeEffectsCreateDebris(2, kClassShip));
}

}  // namespace

namespace {

// Trails with particles: the emitter list and the engine's particle table exist, type 2 has two
// kinds, and the settings' particle switches are the case's.
class TrailParticles : public Explosions {
 protected:
  static constexpr int32_t kParticle = 2;

  void SetUp() override {
    Explosions::SetUp();
    engine_.engine().particleTable = HashCreate();
    MakeParticleEmitterList();
    engine_.engine().particleTypes[kParticle] = {2, kinds_, {2000, 0}};
  }

  void TearDown() override {
    FreeEffectDefinitions();  // the emitters go with the effects, before their table
    HashDestroy(engine_.engine().particleTable);
    engine_.engine().particleTable = nullptr;
    engine_.engine().particleTypes[kParticle] = {};
    Explosions::TearDown();
  }

  static std::vector<int32_t> EmitterKeys() {
    std::vector<int32_t> keys;
    ListHead* list = ParticleEmitterList();
    for (ListNode* n = list ? ListFirst(list) : nullptr; n; n = ListNext(n)) {
      keys.push_back(reinterpret_cast<ParticleEmitterNode*>(n)->key);
    }
    return keys;
  }

  ParticleKind kinds_[2]{};
};

TEST_F(TrailParticles, EmittersStartOnlyWhereParticlesAreOn) {
  Rows(kClassBullet, 1)->bullet.trailParticle = kParticle;
  IdleRow(0);
  ships_[0].ship.trailParticle = kParticle;
  struct Case {
    const char* what;
    uint32_t d3dFlags, d3dFlags2;
    std::vector<int32_t> bulletKeys, shipKeys;
  };
  const Case kCases[] = {
      {"particles off", 0, 0x40000000, {}, {}},
      {"particles on, not on bullets", 0x40000000, 0, {}, {0}},
      {"particles on everywhere", 0x40000000, 0x40000000, {0}, {0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    system_.d3dFlags = c.d3dFlags;
    system_.d3dFlags2 = c.d3dFlags2;
    SpaceObject* bullet = Shown(kClassBullet);
    UpdateEngineTrailEffects(bullet);
    EXPECT_EQ(EmitterKeys(), c.bulletKeys);
    RemoveObjectEffects(bullet);
    SpaceObject* ship = Shown(kClassShip);
    Child(ship->instance, kHullBody)->flags2 |= 1;  // emitter 0
    InstanceRecord* quiet = Child(ship->instance, kHullBody);  // emitter 1, no particles
    quiet->flags2 |= 1;
    quiet->pathWord = 1u << 13;
    UpdateEngineTrailEffects(ship);
    EXPECT_EQ(EmitterKeys(), c.shipKeys);
    EXPECT_TRUE(Groups().empty());  // the ship's type has no trail row
    RemoveObjectEffects(ship);
  }
}

}  // namespace
