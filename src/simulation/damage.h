// The damage model of the universe: damage through an object's shields to its hull, the
// per-frame recharge of shields and weapon energy, the kill that happens once with its
// explosion, blast damage around an exploding object, and the remote detonation of missiles.
// Called by the sector motion pass, the object update, the weapons and the object commands.
#pragma once

#include <cstdint>

#include "universe/ship_nodes.h"

struct SpaceObject;
struct SectorObject;

// Kill causes: the first argument of "KilledBy" and of KillObject.
constexpr int32_t kKillByBlast = 0;
constexpr int32_t kKillByShot = 2;
constexpr int32_t kKillByCollision = 3;
constexpr int32_t kKillByExpiry = 4;
constexpr int32_t kKillByMissile = 5;

// Bullet type flags read by the damage model and the motion pass.
constexpr uint32_t kBulletFlagBeam = 0x2;
constexpr uint32_t kBulletFlagArc = 0x4;
constexpr uint32_t kBulletFlagGrowing = 0x8;
constexpr uint32_t kBulletFlagPiercing = 0x20;  // hull damage ignores the shields
constexpr uint32_t kBulletFlagRepairs = 0x80;   // hull damage repairs
constexpr uint32_t kBulletFlagStopsWhenKilled = 0x100;
constexpr uint32_t kBulletFlagStartsTimer = 0x200;
constexpr uint32_t kBulletFlagDrainsEnergy = 0x400;
constexpr uint32_t kBulletFlagUpdatesRatio = 0x800;
// kBulletFlagCarried (0x2000) comes with the carried-shot operations of universe/ship_nodes.h.

// One hit: the shield children absorb `shieldDamage` in list order, then the hull takes
// `hullDamage` (below 0: whatever the shields let through).
void DamageObject(SpaceObject* object, SpaceObject* attacker, int32_t shieldDamage, int32_t hullDamage);
// One frame of shield and weapon-energy recharge, and of a pending shield drain.
void RechargeShields(SpaceObject* object);
// Kills once: stops the object, shows its explosion, sets off its blast and releases what refers
// to it. The record is freed later by the frame's release of removed objects.
void KillObject(SpaceObject* object, int32_t cause, SpaceObject* killer, int32_t explosionFlags);
// Damages the sector's objects strictly within `radius` of the centre, falling off linearly.
void ApplyAreaDamage(SectorObject* sector, SpaceObject* centre, int32_t damage, int32_t radius,
                     SpaceObject* excluded);
// Sets off the launcher's remote-detonation missiles in its sector; 1 when one went off, else 0.
int32_t RemoteDetonateMissiles(SpaceObject* launcher);

// An unscripted asteroid held by a debris object hands its rock to the debris's script
// ("CreateRock"); true when the event was raised.
bool CreateRockIfHeld(SpaceObject* object);

// True while the object is an element of the sector's child list and not waiting to be freed.
bool ObjectInSector(SectorObject* sector, const SpaceObject* object);
