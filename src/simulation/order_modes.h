// The ship order modes: the values of a ship's `OrderMode`, the reads every part of the
// simulation makes of a ship's order (its mode and its target), and the reads and vector steps
// the order handlers of order_modes.cpp, docking_orders.cpp and escort_orders.cpp share. The
// order handlers, the collision tests, the flight pass and the HUD include it; it holds no state.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "universe/universe.h"

enum OrderMode : int16_t {
  OM_NONE = 0,
  OM_UNUSED_1 = 1,
  OM_UNUSED_2 = 2,
  OM_UNUSED_3 = 3,
  OM_FLY_BEFORE_CONTAINER = 4,
  OM_FLY_INTO_CONTAINER = 5,
  OM_TURN_TO_OBJECT = 6,
  OM_UNUSED_7 = 7,
  OM_WARP_AWAY = 8,
  OM_UNUSED_9 = 9,
  OM_TURNED = 10,
  OM_UNUSED_11 = 11,
  OM_UNUSED_12 = 12,
  OM_UNUSED_13 = 13,
  OM_UNUSED_14 = 14,
  OM_UNUSED_15 = 15,
  OM_ATTACK = 16,
  OM_ATTACK_BIG = 17,
  OM_AVOID_COLLISION = 18,
  OM_UNUSED_19 = 19,
  OM_ESCORT = 20,
  OM_FOLLOW = 21,
  OM_FOLLOW_BY_CUT = 22,
  OM_UNUSED_23 = 23,
  OM_CAPTURE = 24,
  OM_MOVE_POS = 25,
  OM_UNUSED_26 = 26,
  OM_PLAYER_LAND = 27,
  OM_UNUSED_28 = 28,
  OM_IDLE = 29,
  OM_CLEAR_FROM_HANGAR = 30,
  OM_ROTATE_TO_ANGLES = 31,
  OM_GLIDE_POS = 32,
  OM_WARP_IN = 33,
  OM_DEFENSIVE_MOVE = 34,
  OM_MOVE_POS_CONTINUE = 35,
  OM_COLLECT_DEBRIS = 36,
};
constexpr int32_t kOrderModeCount = 37;

// `ObjectFlags` bits the orders and the object update share.
constexpr uint32_t kObjFlagContainerAtRest = 1u << 19;
constexpr uint32_t kObjFlagHoldStill = 1u << 28;  // set on a landing target each frame
constexpr uint32_t kObjFlagNoCollisions = kObjFlagBit10;
constexpr uint32_t kObjFlagGuideLights = 1u << 25;  // set on a gate a ship flies through

// The game clock, and the signed time from `then` to `now`, so a clock that wraps still orders
// them.
inline uint32_t SimulationNow() { return gSystem ? gSystem->gameTime : 0; }
inline int32_t TimeSince(uint32_t now, uint32_t then) { return static_cast<int32_t>(now - then); }

// The object's instance position; the origin for an object without an instance.
inline FixedVector InstancePositionOf(const SpaceObject* object) {
  return object->instance ? object->instance->position : FixedVector{};
}

// The ship extension of a ship, else null.
inline ShipExt* ShipExtOrNull(const SpaceObject* object) {
  return object && object->objClass == kClassShip ? static_cast<ShipExt*>(object->ext) : nullptr;
}

// The mode a ship's order runs in (the signed word of its extension); OM_NONE for other objects.
inline int32_t ShipOrderMode(const SpaceObject* object) {
  const ShipExt* ship = ShipExtOrNull(object);
  return ship ? static_cast<int16_t>(ship->commandState) : int32_t{OM_NONE};
}

inline void ShipSetOrderMode(SpaceObject* object, int32_t mode) {
  if (ShipExt* ship = ShipExtOrNull(object)) ship->commandState = static_cast<uint16_t>(mode);
}

// The object a ship's order refers to, or null.
inline SpaceObject* ShipOrderTarget(const SpaceObject* object) {
  const ShipExt* ship = ShipExtOrNull(object);
  return ship ? ship->commandObject : nullptr;
}

// Order results a waiting task is woken with.
constexpr int32_t kOrderDone = 1;
constexpr int32_t kOrderFailed = 3;
constexpr int32_t kOrderTimedOut = 13;

// The order parameters that the ship extension carries in its unnamed words, by meaning. The
// decision time and interval are `thinkDue` and `thinkPeriod`, the order point `commandPoint`,
// the warp timer `nextCheckAt` and the warp flag `commandFlag`.
constexpr int kOrderEndTimeWord = 0;   // of commandWords: game time at which a timed order ends
constexpr int kOrderEndFlagWord = 1;   // 1 when the end time applies
constexpr int kAttackTimerWord = 2;    // attacks end only after it; the next evasive manoeuvre
constexpr int kEvasionCounterWord = 3;
constexpr int kEvasionRollWord = 4;    // the roll rate a manoeuvre adds
constexpr int kEvasionStyleWord = 5;   // 0 turn, 1 up axis, 2 right axis
constexpr int kSecondPointWord = 0;    // of orderWords: x, y, z of where the order started
constexpr int kEntryIndexWord = 3;
constexpr int kArrivalDistanceWord = 4;  // also the glide halves and the order cut's handle
constexpr int kFinalTurnAxisWord = 5;    // x, y, z of the last axis a docking ship turned about
// An order to turn to angles without a roll keeps this in its roll word.
constexpr uint32_t kNoRoll = 0x80000000u;
// A glide's speed and tolerance are kept in steps of this many units, one in each half of the
// arrival distance word (speed above).
constexpr int32_t kGlideUnit = 222;
// The path a ship following a cut plays; the order command writes it over the evasion counter.
constexpr int kOrderCutPathWord = kEvasionCounterWord;

inline uint32_t& OrderWord(ShipExt* ship, int word) { return ship->commandWords[word]; }

// The turret row words a turret order fills are the turrets' own (simulation/turrets.h); the
// target point starts at this word of TurretRow::stateWords (x, y, z).
constexpr int kTurretTargetPointWord = 0;
inline int32_t ShipArrivalDistance(const ShipExt* ship) {
  return static_cast<int32_t>(ship->orderWords[kArrivalDistanceWord]);
}
// Three order words read and written as one vector (its `w` is 0).
inline FixedVector OrderVector(const ShipExt* ship, int word) {
  return {static_cast<int32_t>(ship->orderWords[word]), static_cast<int32_t>(ship->orderWords[word + 1]),
          static_cast<int32_t>(ship->orderWords[word + 2]), 0};
}
inline void SetOrderVector(ShipExt* ship, int word, const FixedVector& v) {
  ship->orderWords[word] = static_cast<uint32_t>(v.x);
  ship->orderWords[word + 1] = static_cast<uint32_t>(v.y);
  ship->orderWords[word + 2] = static_cast<uint32_t>(v.z);
}
// The ship's agility factor (16.16): how hard it turns toward its remaining rotations.
inline int32_t& ShipAgilityFactor(ShipExt* ship) { return ship->tuning; }

// The sum of the three products in 64 bits, unscaled: a 16.16 result after >> 16 when one side
// is a unit vector.
inline int64_t WideDot(const FixedVector& a, const FixedVector& b) {
  return int64_t{a.x} * b.x + int64_t{a.y} * b.y + int64_t{a.z} * b.z;
}

// Positions and offsets of the order handlers, each component saturated to 32 bits.
inline FixedVector VecSub(const FixedVector& a, const FixedVector& b) {
  return {SaturateToInt32(int64_t{a.x} - b.x), SaturateToInt32(int64_t{a.y} - b.y), SaturateToInt32(int64_t{a.z} - b.z),
          0};
}
inline FixedVector VecAdd(const FixedVector& a, const FixedVector& b) {
  return {SaturateToInt32(int64_t{a.x} + b.x), SaturateToInt32(int64_t{a.y} + b.y), SaturateToInt32(int64_t{a.z} + b.z),
          0};
}
// A 16.16 direction times a length, each product rounded.
inline FixedVector VecAlong(const FixedVector& unit, int64_t length) {
  return {SaturateToInt32((int64_t{unit.x} * length + 32768) >> 16),
          SaturateToInt32((int64_t{unit.y} * length + 32768) >> 16),
          SaturateToInt32((int64_t{unit.z} * length + 32768) >> 16), 0};
}
inline FixedVector VecUnit(FixedVector v) {
  NormalizeVector(&v);
  return v;
}
inline FixedVector MatrixRowOf(const FixedMatrix& m, int row) { return {m.m[row][0], m.m[row][1], m.m[row][2], 0}; }

// The reads every order handler makes. The forward axis is the third row of the object's
// rotation (+z without one); a direction is a 16.16 unit vector (zero when the ship is on the
// point); the facing cosine is 16.16.
FixedVector ShipForwardAxis(const SpaceObject* object);
FixedVector OrderDirectionTo(const SpaceObject* ship, const FixedVector& point);
int32_t OrderFacingCosine(const SpaceObject* ship, const FixedVector& point);
// True when the ship's decision time has come; the next one is then drawn within its interval.
bool OrderDecisionDue(ShipExt* ext);
// An order target that exists, is not the ship, is not being removed and lies directly in a
// sector.
bool OrderTargetUsable(const SpaceObject* ship, const SpaceObject* target);

// One frame of the ship's order, given the capped frame step: the handler of its mode, after
// the time limit. A mode without a handler does nothing.
void RunShipOrder(SpaceObject* ship, int32_t step);
// Ends the order: the next mode, then the waiting task (if any) woken once with `result`.
void EndShipOrder(SpaceObject* ship, int32_t nextMode, int32_t result);
// Counts the script calls the orders have made (woken tasks, events); a walk that sees it change
// checks that what it holds is still there.
uint32_t OrderEventCount();
