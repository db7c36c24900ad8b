// The least form of the object queries the steering needs until they are built: the maximum
// speed is the tuned type speed (or a ship's override), the top thrust speed the Globals value
// for the ship's size times its tuned speed, and no turret finds a laser. Called by the steering.
#include "universe/object_queries.h"

#include "core/fixed_math.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

const ShipExt* ShipOf(const SpaceObject* object) {
  return object && object->objClass == kClassShip ? static_cast<const ShipExt*>(object->ext) : nullptr;
}

}  // namespace

int32_t GetObjectMaxSpeed(SpaceObject* object) {
  const ShipExt* ship = ShipOf(object);
  if (ship && ship->maxSpeedOverride >= 0) return ship->maxSpeedOverride;
  return ObjGetTunedSpeed(object);
}

int32_t ShipGetGlobalsScaledSpeed(const SpaceObject* ship) {
  const ShipExt* ext = ShipOf(ship);
  if (!ext) return 0;
  if (ext->valueOverride >= 0) return ext->valueOverride;
  constexpr int32_t kGlobalSmallShipSpeed = 1;
  constexpr int32_t kGlobalLargeShipSpeed = 2;
  const int32_t base = GlobalsGet(ShipIsLargeClass(ship) ? kGlobalLargeShipSpeed : kGlobalSmallShipSpeed, 0);
  return FixedMul(base, ObjGetTunedSpeed(ship));
}

bool ShipTurretLaserMinima(SpaceObject*, int32_t, int32_t* outA, int32_t* outB) {
  if (outA) *outA = 0;
  if (outB) *outB = 0;
  return false;
}
