// The least form of the type-field accessors until they are built: the rotation reader the
// object geometry needs. Called by the steering routines; reads, never writes.
#include "universe/type_access.h"

#include "universe/universe.h"

const FixedMatrix* GetObjectRotationMatrix(const SpaceObject* object) {
  if (!object) return nullptr;
  if (object->objClass == kClassShip) {
    return object->ext ? &static_cast<const ShipExt*>(object->ext)->rotation : nullptr;
  }
  return object->instance ? &object->instance->matrix : nullptr;
}
