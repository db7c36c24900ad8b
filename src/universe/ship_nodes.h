// The scene nodes of a ship's guns and components (found by the body and path the type rows
// name), the nearest gun position a missile aims at (declared in missile_services.h), the
// gun-node flag, a component node's transform, and the ware test of an object. Called by the
// weapons, the turrets, the missile launch and the object code; also moves a carried shot with
// its emitter.
// Never changes a type row.
#pragma once

#include <cstdint>

struct SpaceObject;
struct InstanceRecord;

// Instance flag of a gun node that is firing.
constexpr uint32_t kGunNodeFiringFlag = 0x100000;

// The node of gun g of turret t: the ship's own instance for a type without components;
// otherwise the instance or first child with the gun's body and path (the child with the second
// body and path instead, below a gun dummy's node). Null when there is none or t, g name no gun.
InstanceRecord* FindShipGunNode(const SpaceObject* ship, int32_t turret, int32_t gun);
// The node of component n, found the same way by the component's body and path.
InstanceRecord* FindShipComponentNode(int32_t component, const SpaceObject* ship);
// Sets or clears the firing flag of the gun node that serves laser slot g.
void ShipSetGunNodeFlag(int32_t laserSlot, SpaceObject* ship, bool on);
// The rotation (3x3) and position of the object's component node with that body in out[0..8]
// and out[9..11]; 1 with a node, 0 (and the identity with a zero position) without.
int32_t GetComponentNodeTransform(int32_t body, const SpaceObject* object, int32_t out[12]);

// Bullet type flag of a shot carried along by its emitter.
constexpr uint32_t kBulletFlagCarried = 0x2000;
// For a carried shot whose emitter has a scene node: brings the emitter node's world transform
// up to date and puts the shot's node at its carried offset from the emitter, world = local.
void ObjFollowCarrierNode(SpaceObject* bullet);
