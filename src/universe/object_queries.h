// The rules that answer questions about one space object or a pair of them: shield, hull and
// weapon energy with their maxima, maximum speed, relations and hostility, the pairs that never
// collide, the targets a ship may take, weapon ranges and turret facts, the dock-port facts of a
// type, a ship's viewpoint and the body-type name. The script natives, the simulation and the HUD
// call them. They read type rows only through the checked accessors, never allocate (except the
// bullet light, which the scene engine owns) and change nothing but the fields they are named for.
#pragma once

#include <cstdint>

struct SpaceObject;

// Charge fraction of a full shield object.
constexpr int64_t kShieldFullFraction = 65536000;

// Shield, hull and energy.
int32_t ObjGetMaxShield(const SpaceObject* object);
int32_t ObjGetShield(const SpaceObject* object);
int32_t ObjSetShield(SpaceObject* object, int32_t value);
int32_t ObjGetShieldPlusEnergy(const SpaceObject* object);
int32_t ObjSetEnergy(int32_t value, SpaceObject* object);
int32_t ObjGetMaxHull(const SpaceObject* object);
int32_t ObjSetHull(SpaceObject* object, int32_t value);
void ObjChangeHull(SpaceObject* object, int32_t damage);

// Speed.
int32_t GetObjectMaxSpeed(SpaceObject* object);
int32_t GetObjectMaxSpeedQuarterMin(SpaceObject* object);
int32_t ShipGetGlobalsScaledSpeed(const SpaceObject* ship);

// Relations.
int32_t ObjGetRelationEx(const SpaceObject* other, const SpaceObject* context);
bool ObjIsHostile(const SpaceObject* other, const SpaceObject* context);
void ObjSetRelationToRaceOf(SpaceObject* context, const SpaceObject* other, int32_t value);

// Wares, lasers and shields carried as goods, unlaunched missiles, and objects that stand for them.
bool ObjIsWareObject(const SpaceObject* object);

// Pairs and targets.
bool ObjPairIgnoresCollision(const SpaceObject* a, const SpaceObject* b);
bool ShipIsValidTarget(const SpaceObject* target, SpaceObject* ship);

// Weapons and turrets.
int32_t BulletGetRange(const SpaceObject* bullet);
int32_t LaserGetBulletRange(const SpaceObject* laser);
bool LaserIsInTurret(const SpaceObject* laser, const SpaceObject* ship, int32_t turret);
bool ShipTurretLaserMinima(SpaceObject* ship, int32_t turret, int32_t* outA, int32_t* outB);
// The smallest and the largest bullet range over the lasers an object carries; both 0 without one.
void ObjGetLaserMinMax(SpaceObject* object, int32_t* outMin, int32_t* outMax);
void BulletCreateLight(SpaceObject* bullet);

// Dock-port facts of a dock, factory or ship type.
int32_t TypeGetDockSlotCount(int32_t subtype, int32_t objClass);
uint32_t TypeGetDockSlotValue(int32_t subtype, int32_t port, int32_t objClass);
uint32_t TypeDockSlotHasFlag(int32_t objClass, int32_t port, int32_t subtype, int32_t bit, bool inside);

// Viewpoints and names.
void ShipSelectViewpoint(SpaceObject* ship, int32_t n, bool apply, bool force);
// The name text of the type whose body is bodyId; the text database owns it.
const char* GetBodyTypeName(int32_t bodyId);
// The dumps walk the trees and have no other effect.
void DumpObjectTree(SpaceObject* object, int32_t depth);
void DumpAllObjects();
