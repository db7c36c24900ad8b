// The flag, relation and appearance commands: each command's answer and the field it writes,
// the missing object's 0, class-bound commands on other classes, relations in both directions,
// hue and saturation kept for ships and spread over every instance tree, the rotation
// acceleration round trip, and nebula words from a short array.
#include "command_world.h"

#include "simulation/order_modes.h"

namespace {

class FlagCommands : public CommandWorld {
 protected:
  void SetUp() override {
    CommandWorld::SetUp();
    Rows(kClassShipWreck, 1);
    Rows(kClassFactory, 1);
    Rows(kClassCamera, 1);
    Rows(kClass21, 1);
    ship_ = In(kClassShip, 0, 0);
    missile_ = In(kClassMissile, 0, 100000);
    station_ = In(kClassDock, 0, 200000);
  }

  SpaceObject* ship_ = nullptr;
  SpaceObject* missile_ = nullptr;
  SpaceObject* station_ = nullptr;
};

using FieldFn = int32_t (*)(const SpaceObject*);

TEST_F(FlagCommands, CommandsAnswerAndWriteTheirFields) {
  SpaceObject* debris = In(kClassDebris, 0, 0);
  SpaceObject* wreck = In(kClassShipWreck, 0, 0);
  SpaceObject* factory = In(kClassFactory, 0, 0);
  SpaceObject* planet = In(kClassPlanet, 0, 0);
  SpaceObject* camera = In(kClassCamera, 0, 0);
  SpaceObject* loose = Create(kClassMissile, 0);  // in no container
  ShipSetOrderMode(ship_, OM_ATTACK);
  static_cast<ShipExt*>(ship_->ext)->commandObject = missile_;
  static_cast<MissileExt*>(missile_->ext)->target = ship_;
  static_cast<CameraExt*>(camera->ext)->followedObject = station_;
  const int32_t s = Id(ship_);
  const FieldFn density = [](const SpaceObject* o) { return static_cast<int32_t>(static_cast<AmountExt*>(o->ext)->amount); };
  struct Case {
    int32_t command;
    std::vector<int32_t> args;
    int32_t answer;
    const SpaceObject* object;  // whose field is checked
    FieldFn field;
    int32_t fieldValue;
  };
  const Case kCases[] = {
      {99, {s, 0x1234}, 0x1234, ship_, [](const SpaceObject* o) { return int32_t(o->flags); }, 0x1234},
      {100, {s}, 0x1234, nullptr, nullptr, 0},
      {101, {s, -2}, -2, ship_, [](const SpaceObject* o) { return int32_t(o->flags2); }, -2},
      {102, {s}, -2, nullptr, nullptr, 0},
      {103, {s}, 0, ship_, [](const SpaceObject* o) { return int32_t(o->instance->flags2 & 0x10); }, 0x10},
      {104, {s}, OM_ATTACK, nullptr, nullptr, 0},
      {104, {Id(missile_)}, 0, nullptr, nullptr, 0},
      {105, {s}, Id(sector_), nullptr, nullptr, 0},
      {105, {Id(loose)}, 0, nullptr, nullptr, 0},
      {106, {s}, Id(missile_), nullptr, nullptr, 0},
      {106, {Id(missile_)}, s, nullptr, nullptr, 0},
      {106, {Id(camera)}, Id(station_), nullptr, nullptr, 0},
      {106, {Id(station_)}, 0, nullptr, nullptr, 0},
      {111, {s, 5}, 0, nullptr, nullptr, 0},
      {112, {s}, 5, nullptr, nullptr, 0},
      {114, {Id(debris), -5}, 0, debris, density, 0},
      {114, {Id(debris), 7}, 7, debris, density, 7},
      {115, {Id(debris)}, 7, nullptr, nullptr, 0},
      {114, {Id(wreck), 9}, 0, wreck, density, 0},
      {118, {Id(wreck), 9}, 9, wreck, density, 9},
      {119, {Id(wreck)}, 9, nullptr, nullptr, 0},
      {118, {Id(debris), 3}, 0, debris, density, 7},
      {115, {s}, 0, nullptr, nullptr, 0},
      {120, {Id(missile_)}, 1, nullptr, nullptr, 0},  // an unlaunched missile is a ware
      {120, {Id(station_)}, 0, nullptr, nullptr, 0},
      {125, {Id(factory), Id(station_)}, 0, factory,
       [](const SpaceObject* o) { return int32_t(static_cast<FactoryExt*>(o->ext)->linkedFactory != nullptr); }, 1},
      {125, {Id(factory), 0}, 0, factory,
       [](const SpaceObject* o) { return int32_t(static_cast<FactoryExt*>(o->ext)->linkedFactory != nullptr); }, 0},
      {127, {Id(planet), 99}, 0, planet, [](const SpaceObject* o) { return int32_t(static_cast<PlanetExt*>(o->ext)->word3); }, 99},
      {128, {s, 7}, 0, ship_, [](const SpaceObject* o) { return static_cast<ShipExt*>(o->ext)->tuning; }, 4587},
      {129, {s}, 7, nullptr, nullptr, 0},
      {128, {Id(missile_), 7}, 0, nullptr, nullptr, 0},
      {129, {Id(missile_)}, 0, nullptr, nullptr, 0},
      {116, {kClassShip, 0}, (kClassShipWreck << 16) | 0, nullptr, nullptr, 0},
      {116, {kClassShip, 1}, 0, nullptr, nullptr, 0},  // no wreck row of that subtype
      {116, {kClassShip, 9}, 0, nullptr, nullptr, 0},  // no such ship type
      {113, {40, 0}, 0, nullptr, nullptr, 0},
      {113, {kClassAsteroid, 0}, 0, nullptr, nullptr, 0},  // a rock without a cut
      {117, {kClassShip, 9}, 0, nullptr, nullptr, 0},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Run(c.command, c.args), c.answer) << c.command;
    if (c.field) {
      EXPECT_EQ(c.field(c.object), c.fieldValue) << c.command;
    }
  }
  // A missing object answers 0 for every command of the family.
  const uint32_t flags = ship_->flags;
  for (int32_t command = 99; command <= 129; ++command) {
    if (command == 113 || command == 116 || command == 117) continue;  // these take a type
    EXPECT_EQ(Run(command, {kMissing, 1, 2, 3}), 0) << command;
  }
  EXPECT_EQ(ship_->flags, flags);
}

// The object named first is the side asked about its relation; hostility names the object whose
// race the second regards.
TEST_F(FlagCommands, RelationsAreSetAndAskedFromTheFirstObject) {
  SpaceObject* other = In(kClassShip, 1, 5000);
  ship_->owner = 1;
  other->owner = 2;
  EXPECT_EQ(Run(108, {Id(ship_), Id(other)}), 0);
  EXPECT_EQ(Run(109, {Id(ship_), Id(other), 55, -1}), 0);  // the third argument is not used
  EXPECT_EQ(Run(108, {Id(ship_), Id(other)}), -1);
  EXPECT_EQ(Run(108, {Id(other), Id(ship_)}), 0);
  EXPECT_EQ(Run(107, {Id(other), Id(ship_)}), 1);
  EXPECT_EQ(Run(107, {Id(ship_), Id(other)}), 0);
  EXPECT_EQ(Run(110, {Id(other), 1, 1}), 0);
  EXPECT_EQ(Run(108, {Id(other), Id(ship_)}), 1);
  EXPECT_EQ(Run(110, {Id(ship_), 2, 0}), 0);
  EXPECT_EQ(Run(108, {Id(ship_), Id(other)}), 0);
  EXPECT_EQ(Run(107, {Id(ship_), kMissing}), 0);
}

// Ships keep the values for the getters; every object passes them to its whole instance tree,
// the hue inverted.
TEST_F(FlagCommands, HueAndSaturationReachEveryInstance) {
  InstanceRecord* shipChild = ChildInstance(ship_);
  InstanceRecord* stationChild = ChildInstance(station_);
  InstanceRecord* grandChild = B3D_InstAlloc();
  ASSERT_TRUE(B3D_InstAddToInst(grandChild, stationChild));

  EXPECT_EQ(Run(121, {Id(ship_), 30}), 0);
  EXPECT_EQ(Run(122, {Id(ship_)}), 30);
  EXPECT_EQ(ship_->instance->colorModifier[0], 330);
  EXPECT_EQ(shipChild->colorModifier[0], 330);

  EXPECT_EQ(Run(121, {Id(station_), 30}), 0);
  EXPECT_EQ(Run(122, {Id(station_)}), 0);
  for (InstanceRecord* i : {station_->instance, stationChild, grandChild}) EXPECT_EQ(i->colorModifier[0], 330);

  EXPECT_EQ(Run(123, {Id(ship_), 50000}), 0);
  EXPECT_EQ(Run(124, {Id(ship_)}), 50000);
  EXPECT_EQ(shipChild->colorModifier[1], 50000);
  EXPECT_EQ(Run(123, {Id(station_), 40000}), 0);
  EXPECT_EQ(Run(124, {Id(station_)}), 0);
  EXPECT_EQ(grandChild->colorModifier[1], 40000);
  EXPECT_EQ(ship_->instance->colorModifier[0], 330);  // the hue stays

  // An object without an instance keeps only the ship's value.
  SpaceObject* bare = WithoutInstance(kClassShip, 0);
  EXPECT_EQ(Run(121, {Id(bare), 90}), 0);
  EXPECT_EQ(Run(122, {Id(bare)}), 90);
}

TEST_F(FlagCommands, RotationAccelerationRoundTrips) {
  struct Case {
    int32_t value;
    int32_t stored;
  };
  const Case kCases[] = {{7, 4587}, {100, 65536}, {-7, -4587}, {1, 655}};
  for (const Case& c : kCases) {
    EXPECT_EQ(Run(128, {Id(ship_), c.value}), 0);
    EXPECT_EQ(static_cast<ShipExt*>(ship_->ext)->tuning, c.stored);
    EXPECT_EQ(Run(129, {Id(ship_)}), c.value);
  }
}

// Six integers, the array's eight elements and two integers; elements a short array lacks, and
// a value that is no array, give 0.
TEST_F(FlagCommands, NebulaWordsFromAShortArrayAreZero) {
  SpaceObject* nebula = In(kClass21, 0, 0);
  auto* words = static_cast<Class21Ext*>(nebula->ext)->words;
  std::vector<ScriptValue> args = IntArgs({Id(nebula), 1, 2, 3, 4, 5, 6});
  args.push_back(Ints({7, 8, 9}));
  args.push_back(Int(15));
  args.push_back(Int(16));
  EXPECT_EQ(RunValues(126, args)->result.i, 0);
  const uint32_t kExpected[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0, 15, 16};
  for (int k = 0; k < 16; ++k) EXPECT_EQ(words[k], kExpected[k]) << k;

  EXPECT_EQ(Run(126, {Id(nebula), 1, 2, 3, 4, 5, 6, 99, 15, 16}), 0);
  EXPECT_EQ(words[6], 0u);
  EXPECT_EQ(words[15], 16u);
  // Only nebulae take the words.
  EXPECT_EQ(Run(126, {Id(ship_), 1, 2, 3, 4, 5, 6, 99, 15, 16}), 0);
}

}  // namespace
