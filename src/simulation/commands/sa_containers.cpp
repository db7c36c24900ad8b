// The container and path search commands (92 to 98): moving an object or a laser into a
// container, and finding a container's next child by class, by type, by the path its instance
// plays or by what that path's row records. The dispatcher calls them through the family's rows.
// A missing object or container answers 0; the searches never walk outside the container.
#include "simulation/commands/sa_call.h"
#include "simulation/object_removal.h"
#include "universe/ship_nodes.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

int32_t IdOf(const SpaceObject* object) { return object ? static_cast<int32_t>(object->id) : 0; }

// Whether the ship's type has a turret whose laser places hold the global gun index.
bool ShipHasGunSlot(const SpaceObject* ship, int32_t gun) {
  for (int32_t t = 0; t < GetShipTurretCount(ship); ++t) {
    const int64_t first = ShipTurretFirstSlot(ship->subtype, t);
    if (gun >= first && gun < first + ShipTurretSlotCount(ship->subtype, t)) return true;
  }
  return false;
}

void MoveIntoContainer(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SpaceObject* container = SAArgObject(call, 1);
  SAAnswerInt(call, object && container ? MoveObjectIntoContainer(container, object) : 0);
}

// The laser is mounted (its place number set, the gun node flagged) only once it lies in a ship
// whose turrets have that gun place: a refused move, another container or a gun index the type
// does not have leave the laser and the ship's nodes as they were.
void MoveLaserIntoContainer(SACall* call) {
  SpaceObject* laser = SAArgObject(call, 0);
  SpaceObject* container = SAArgObject(call, 1);
  if (!laser || !container || laser->objClass != kClassLaser) return SAAnswerInt(call, 0);
  const int32_t moved = MoveObjectIntoContainer(container, laser);
  SAAnswerInt(call, moved);
  const int32_t gun = SAArgInt(call, 2);
  if (!moved || container->objClass != kClassShip || !laser->ext || !ShipHasGunSlot(container, gun)) return;
  static_cast<LaserExt*>(laser->ext)->laserSlot = static_cast<uint16_t>(gun);
  ShipSetGunNodeFlag(gun, container, true);
}

// The search starts after the "after" argument when there are at least `argCountForAfter`
// arguments and it is true; the search itself ignores an "after" that is no child of the container.
SpaceObject* SearchAfter(const SACall* call, int32_t argCountForAfter) {
  const int32_t slot = argCountForAfter - 1;
  return call->argCount >= argCountForAfter && SAArgBool(call, slot) ? SAArgObject(call, slot) : nullptr;
}

void FindTypeInContainer(SACall* call) {
  SpaceObject* container = SAArgObject(call, 0);
  if (!container) return SAAnswerInt(call, 0);
  const int32_t objClass = static_cast<uint16_t>(SAArgInt(call, 1));
  SAAnswerInt(call, IdOf(ObjFindNextChildByClass(container, SearchAfter(call, 3), objClass)));
}

void FindSubTypeInContainer(SACall* call) {
  SpaceObject* container = SAArgObject(call, 0);
  if (!container) return SAAnswerInt(call, 0);
  const int32_t objClass = static_cast<uint16_t>(SAArgInt(call, 1));
  const int32_t subtype = static_cast<int16_t>(SAArgInt(call, 2));
  SAAnswerInt(call, IdOf(ObjFindNextChildByType(container, SearchAfter(call, 4), objClass, subtype)));
}

void FindByPathSerial(SACall* call) {
  SpaceObject* container = SAArgObject(call, 0);
  if (!container) return SAAnswerInt(call, 0);
  SAAnswerInt(call, IdOf(ObjFindNextChildByPathNumber(container, SearchAfter(call, 3), SAArgInt(call, 1))));
}

template <PathRowWord kWord>
void FindByPathRow(SACall* call) {
  SpaceObject* container = SAArgObject(call, 0);
  if (!container) return SAAnswerInt(call, 0);
  SAAnswerInt(call, IdOf(ObjFindNextChildByPathRow(container, SearchAfter(call, 3), kWord, SAArgInt(call, 1))));
}

}  // namespace

extern const SACommandRow kContainerCommands[7];
const SACommandRow kContainerCommands[] = {
    {92, MoveIntoContainer},
    {93, MoveLaserIntoContainer},
    {94, FindTypeInContainer},
    {95, FindSubTypeInContainer},
    {96, FindByPathSerial},
    {97, FindByPathRow<PathRowWord::Body>},
    {98, FindByPathRow<PathRowWord::Class>},
};
