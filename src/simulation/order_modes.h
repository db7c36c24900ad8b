// The ship order modes: the values of a ship's `OrderMode` and the reads every part of the
// simulation makes of a ship's order (its mode and its target). The order handlers, the
// collision tests, the flight pass and the HUD include it; it holds no state.
#pragma once

#include <cstdint>

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
