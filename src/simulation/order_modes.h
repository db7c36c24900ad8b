// The ship order modes: the values of a ship's `OrderMode` and the reads every part of the
// simulation makes of a ship's order (its mode and its target). The order handlers, the
// collision tests, the flight pass and the HUD include it; it holds no state.
#pragma once

#include <cstdint>

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
// An order to turn to angles without a roll keeps this in its roll word.
constexpr uint32_t kNoRoll = 0x80000000u;
// A glide's speed and tolerance are kept in steps of this many units, one in each half of the
// arrival distance word (speed above).
constexpr int32_t kGlideUnit = 222;
// The path a ship following a cut plays; the order command writes it over the evasion counter.
constexpr int kOrderCutPathWord = kEvasionCounterWord;

inline uint32_t& OrderWord(ShipExt* ship, int word) { return ship->commandWords[word]; }

// The words of a turret row that a turret order fills and the turret aiming serves: until the
// alignment check time the waiting task is not told the turret is aligned; the turret aims while
// the game time is before the aim-until time; aim mode 2 takes the target point as a direction.
// Without a target object the turret aims at the target point.
constexpr int kTurretAlignCheckWord = 0;  // of TurretRow::words
constexpr int kTurretAimUntilWord = 1;
constexpr int kTurretAimModeWord = 2;
constexpr int kTurretTargetPointWord = 0;  // of TurretRow::stateWords: x, y, z
constexpr uint32_t kTurretAimAtDirection = 2;
inline int32_t ShipArrivalDistance(const ShipExt* ship) {
  return static_cast<int32_t>(ship->orderWords[kArrivalDistanceWord]);
}

// One frame of the ship's order, given the capped frame step: the handler of its mode, after
// the time limit. A mode without a handler does nothing.
void RunShipOrder(SpaceObject* ship, int32_t step);
// Ends the order: the next mode, then the waiting task (if any) woken once with `result`.
void EndShipOrder(SpaceObject* ship, int32_t nextMode, int32_t result);
// Counts the script calls the orders have made (woken tasks, events); a walk that sees it change
// checks that what it holds is still there.
uint32_t OrderEventCount();
