// The distance, player and trace commands through the SA_ dispatcher: distances with a missing
// object, the player control and autopilot bits, the player object's optional flag and the
// trace's points of fewer than three elements.
#include <initializer_list>

#include "command_world.h"

namespace {

class PlayerCommands : public CommandWorld {};

TEST_F(PlayerCommands, DistancesNeedBothObjects) {
  SpaceObject* a = In(kClassShip, 0, 0);
  SpaceObject* b = In(kClassShip, 0, 300);
  b->instance->position.y = 400;
  struct Case {
    int32_t command, first, second, answer;
  };
  const Case kCases[] = {
      {265, Id(a), Id(b), 500}, {266, Id(a), Id(b), 400}, {265, Id(a), kMissing, 0}, {266, kMissing, Id(b), 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(Run(c.command, {c.first, c.second}), c.answer) << c.command;
}

TEST_F(PlayerCommands, ControlAndAutopilotBits) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  struct Case {
    int32_t command, flag;
    uint32_t bit;
    bool set;
  };
  const Case kCases[] = {
      {280, 7, 1u << 18, true}, {280, 0, 1u << 18, false}, {281, -1, 1u << 19, true}, {281, 0, 1u << 19, false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Run(c.command, {Id(ship), c.flag}), 0);
    EXPECT_EQ((ship->flags & c.bit) != 0, c.set) << c.command << " " << c.flag;
  }
  EXPECT_EQ(Run(280, {kMissing, 1}), 0);
  EXPECT_EQ(Run(283, {Id(ship), Id(ship)}), 0);
}

TEST_F(PlayerCommands, PlayerObjectFlagDefaultsToOn) {
  SpaceObject* ship = In(kClassShip, 0, 0);
  EXPECT_EQ(Run(279, {Id(ship)}), 0);
  EXPECT_EQ(universe_.player, ship);
  EXPECT_EQ(Run(279, {Id(ship), 0}), 0);
  EXPECT_NE(universe_.player, ship);
  EXPECT_EQ(Run(279, {Id(ship), 1}), 0);
  EXPECT_EQ(universe_.player, ship);
}

TEST_F(PlayerCommands, TraceNeedsFullPointsAndASector) {
  In(kClassShip, 0, 1000);  // on the segment of every case
  struct Case {
    std::initializer_list<int32_t> from, to;
    bool withSector;
  };
  const Case kCases[] = {
      {{0, 0}, {2000, 0, 0}, true},
      {{0, 0, 0}, {2000, 0}, true},
      {{0, 0, 0}, {2000, 0, 0}, false},
  };
  for (const Case& c : kCases) {
    const Reply r = Call(288, {Array(c.from), Array(c.to), c.withSector ? Of(sector_) : I(kMissing), I(0)});
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.value, 0);
  }
  // Not an array: refused.
  EXPECT_EQ(Call(288, {I(5), Array({2000, 0, 0}), Of(sector_), I(0)}).value, 0);
}

TEST_F(PlayerCommands, WarpOutSlotFreeWhenUnheldOrDue) {
  Rows(kClassGate, 1);
  SpaceObject* gate = In(kClassGate, 0, 0);
  SpaceObject* ship = In(kClassShip, 0, 500);
  auto* ext = static_cast<GateExt*>(gate->ext);
  SetTime(5000);
  auto holdAll = [&](uint32_t time) {
    for (int k = 0; k < kGateSlotCount; ++k) {
      ext->slotShips[k] = ship;
      ext->slotTimes[k] = time;
    }
  };
  holdAll(6000);
  EXPECT_EQ(Run(318, {Id(gate)}), 0);
  ext->slotTimes[6] = 0;  // the seventh slot is not the scripts'
  EXPECT_EQ(Run(318, {Id(gate)}), 0);
  ext->slotTimes[5] = 5000;  // due now
  EXPECT_EQ(Run(318, {Id(gate)}), 1);
  holdAll(6000);
  ext->slotShips[2] = nullptr;
  EXPECT_EQ(Run(318, {Id(gate)}), 1);
  EXPECT_EQ(Run(318, {Id(ship)}), 0);
  for (int k = 0; k < kGateSlotCount; ++k) ext->slotShips[k] = nullptr;  // nobody waits at teardown
}

}  // namespace
