// The combat, statistics and effect commands of the `SA_` module: the combat statistics, firing
// and missiles, the hostile searches, stopping a ship's order, explosions, effects and sounds,
// tractor links, and the two orders that leave the caller waiting (turning a turret toward a
// point, collecting debris). Reached only through the dispatcher's table; the commands hand the
// work to the weapons, turret, tractor and damage code and never free an object.
#include <climits>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "scene/instance.h"
#include "simulation/commands/sa_call.h"
#include "simulation/damage.h"
#include "simulation/order_modes.h"
#include "simulation/simulation_services.h"
#include "simulation/tractor_beams.h"
#include "simulation/turrets.h"
#include "simulation/weapons.h"
#include "universe/carried_objects.h"
#include "universe/object_explosions.h"
#include "universe/object_lifecycle.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kGlobalScriptId = 150;
constexpr uint32_t kObjFlagStopClears = 1u << 7;
constexpr uint32_t kObjFlagWarpHidden = kObjFlagBit10;  // no collisions while warping in
constexpr uint32_t kObjFlagCollisionObject = 1u << 12;
constexpr uint32_t kObjFlagForcedMove = 1u << 23;
constexpr uint32_t kObjFlag2RockField = kObjFlag2Detailed;  // a debris field that holds rocks
constexpr int32_t kNoRange = INT_MAX;
constexpr int32_t kEffectKindObject = 6;

int32_t IdOf(const SpaceObject* o) { return o ? static_cast<int32_t>(o->id) : 0; }
// An optional integer argument.
int32_t IntOr(const SACall* call, int32_t i, int32_t fallback) {
  return i < call->argCount ? SAArgInt(call, i) : fallback;
}
bool InScene(const SpaceObject* o) { return o && o->instance && o->instance->scene; }

// ---- Statistics (in the order the save section stores them) ----------------------------------

void GetLaserFired(SACall* call) { SAAnswerInt(call, static_cast<int32_t>(call->universe->statWord)); }
void GetMissileFired(SACall* call) { SAAnswerInt(call, static_cast<int32_t>(call->universe->missileCount)); }
void GetLaserHits(SACall* call) { SAAnswerInt(call, static_cast<int32_t>(call->universe->statWords[0])); }
void GetMissileHits(SACall* call) { SAAnswerInt(call, static_cast<int32_t>(call->universe->statWords[1])); }
// statWords[2] is the remainder below one distance unit; no command reads it.
void GetTotalDistance(SACall* call) { SAAnswerInt(call, static_cast<int32_t>(call->universe->statWords[3])); }

void DumpObject(SACall* call) {
  if (call->argCount == 1) {
    if (SpaceObject* o = SAArgObject(call, 0)) DumpObjectTree(o, 0);
  } else {
    DumpAllObjects();
  }
  SAAnswerInt(call, 0);
}

// ---- Orders ---------------------------------------------------------------------------------

void StopObject(SACall* call) {
  SpaceObject* o = SAArgObject(call, 0);
  const int32_t value = SAArgInt(call, 1);
  if (ShipExt* ship = ShipExtOrNull(o)) {
    const int32_t mode = ShipOrderMode(o);
    if (mode == OM_PLAYER_LAND) {
      ship->dockSlot = -1;
      RaiseScriptIdEvent(kGlobalScriptId, "NotifyDockingAbort", 1, IdOf(o));
    } else if (mode == OM_WARP_IN) {
      if (o->instance) {
        B3D_InstSetOverrideEffect(o->instance, 0);
        o->instance->position = ship->commandPoint;
      }
      o->flags &= ~kObjFlagWarpHidden;
    }
    ShipSetOrderMode(o, OM_NONE);
    ship->thinkDue = SimulationNow();
    o->flags &= ~kObjFlagStopClears;
  }
  if (o) ReleaseModuleHandle(o, value);
  SAAnswerInt(call, 0);
}

void ForceMove(SACall* call) {
  if (SpaceObject* o = SAArgObject(call, 0)) {
    if (call->argCount < 2 || SAArgBool(call, 1)) o->flags |= kObjFlagForcedMove;
    else o->flags &= ~kObjFlagForcedMove;
  }
  SAAnswerInt(call, 0);
}

// An angle as the turret order keeps it: -32767..32768.
int32_t SignedAngle(int64_t angle) {
  angle &= 0xFFFF;
  return static_cast<int32_t>(angle > 32768 ? angle - 65536 : angle);
}

void RotateTurretToPos(SACall* call) {
  SpaceObject* o = SAArgObject(call, 0);
  ShipExt* ship = ShipExtOrNull(o);
  const int32_t turret = SAArgInt(call, 1);
  if (!ship || turret < 0 || turret >= GetShipTurretCount(o) || turret >= kShipTurretCapacity) {
    SAAnswerInt(call, 0);
    return;
  }
  int32_t at[3];
  SAArgTriple(call, 2, at);
  ShipSetOrderMode(o, OM_ROTATE_TO_ANGLES);
  const FixedVector from = InstancePositionOf(o);
  FixedVector toward{SaturateToInt32(int64_t{at[0]} - from.x), SaturateToInt32(int64_t{at[1]} - from.y),
                     SaturateToInt32(int64_t{at[2]} - from.z), 0};
  NormalizeVector(&toward);
  uint32_t yaw1 = 0, pitch1 = 0, yaw2 = 0, pitch2 = 0;
  AnglesFromVector(&toward, &yaw1, &pitch1);
  const TurretRow& row = ship->turrets[turret];
  AnglesFromVector(&row.vector, &yaw2, &pitch2);
  const int32_t y1 = SignedAngle(yaw1), p1 = SignedAngle(pitch1);
  const int32_t y2 = SignedAngle(yaw2), p2 = SignedAngle(pitch2);
  const int32_t a = InterpolateClamped(32768, 0, std::abs(p2), y1, -y1);
  const int32_t b = InterpolateClamped(32768, 0, std::abs(y2), p1, -p1);
  FixedMatrix m{}, r{};
  MatrixFromAngles(&m, static_cast<uint32_t>(a) & 0xFFFF, static_cast<uint32_t>(b) & 0xFFFF, 0);
  MatrixMultiplyTransposed(&r, &m, &row.nodeMatrix);
  int32_t angles[3] = {};
  MatrixToAngles(&r, &angles[0], &angles[1], &angles[2]);
  // The order reads its angles from the order point.
  ship->commandPoint.x = SignedAngle(angles[0]);
  ship->commandPoint.y = SignedAngle(angles[1]);
  ship->commandPoint.z = SignedAngle(angles[2]);
  SAWaitOn(call, o);
}

bool IsDebris(const SpaceObject* o) { return o && o->objClass == kClassDebris; }

void CollectDebris(SACall* call) {
  SpaceObject* o = SAArgObject(call, 0);
  SpaceObject* target = SAArgObject(call, 1);
  ShipExt* ship = ShipExtOrNull(o);
  const bool collectable =
      IsDebris(target) ||
      (target && target->objClass == kClassAsteroid && IsDebris(target->linkedObject) && ObjIsWareObject(target));
  if (!ship || !collectable) {
    SAAnswerInt(call, 0);
    return;
  }
  int32_t at[3];
  SAArgTriple(call, 2, at);
  ShipSetOrderMode(o, OM_COLLECT_DEBRIS);
  ship->commandObject = target;
  ship->commandPoint = {at[0], at[1], at[2], ship->commandPoint.w};
  ship->thinkDue = SimulationNow();
  // The position array carries no time limit, so the order runs until it ends by itself.
  OrderWord(ship, kOrderEndFlagWord) = 0;
  SAWaitOn(call, o);
}

// ---- Weapons --------------------------------------------------------------------------------

void FireOnObject(SACall* call) {
  SpaceObject* ship = SAArgObject(call, 0);
  if (!ship) {
    SAAnswerInt(call, 0);
    return;
  }
  SAAnswerInt(call, FireWeapons(ship, SAArgObject(call, 1), SAArgInt(call, 2), SAArgInt(call, 3),
                                static_cast<uint32_t>(IntOr(call, 4, -1))));
}

void FireAhead(SACall* call) {
  SAAnswerInt(call, FireWeapons(SAArgObject(call, 0), nullptr, SAArgInt(call, 2), SAArgInt(call, 3),
                                static_cast<uint32_t>(IntOr(call, 4, -1))));
}

SpaceObject* Launch(SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t subtype, int32_t flags,
                    int32_t shotNo) {
  if (!ship || !gSimulationServices.launchMissile) return nullptr;
  return gSimulationServices.launchMissile(ship, target, turret, subtype, flags, shotNo);
}

void ShootMissileOnObject(SACall* call) {
  SAAnswerInt(call, IdOf(Launch(SAArgObject(call, 0), SAArgObject(call, 1), 0, SAArgInt(call, 2), IntOr(call, 3, 0),
                                IntOr(call, 4, 0))));
}

void ShootMissile(SACall* call) {
  const int32_t targetId = SAArgInt(call, 2);
  SpaceObject* target = targetId != 0 ? FindObjectByIdGlobal(static_cast<uint32_t>(targetId)) : nullptr;
  SAAnswerInt(call, IdOf(Launch(SAArgObject(call, 0), target, SAArgInt(call, 1), SAArgInt(call, 3), IntOr(call, 4, 0),
                                IntOr(call, 5, 0))));
}

void RemoteDetonateMissile(SACall* call) { SAAnswerInt(call, RemoteDetonateMissiles(SAArgObject(call, 0))); }

void GetMissileAim(SACall* call) {
  const SpaceObject* o = SAArgObject(call, 0);
  const MissileExt* missile = o && o->objClass == kClassMissile ? static_cast<const MissileExt*>(o->ext) : nullptr;
  SAAnswerInt(call, missile ? IdOf(missile->target) : 0);
}

void ReloadShipLasers(SACall* call) {
  SpaceObject* o = SAArgObject(call, 0);
  if (ShipExt* ship = ShipExtOrNull(o)) {
    ship->weaponEnergy = SaturateToInt32(int64_t{ShipTypeGetMaxWeaponEnergy(o)} * 1000);
  }
  SAAnswerInt(call, 0);
}

// ---- Enemies and collisions -----------------------------------------------------------------

void FindNearestEnemy(SACall* call) {
  const SpaceObject* o = SAArgObject(call, 0);
  SAAnswerInt(call, o ? IdOf(FindNearestHostile(o, IntOr(call, 1, kNoRange))) : 0);
}

void FindNearestEnemyFromPos(SACall* call) {
  const SpaceObject* o = SAArgObject(call, 0);
  const SpaceObject* other = SAArgObject(call, 1);
  SAAnswerInt(call, o && other ? IdOf(FindNearestHostileExcept(o, other, IntOr(call, 2, kNoRange))) : 0);
}

void FindNearestEnemyByStrength(SACall* call) {
  const SpaceObject* o = SAArgObject(call, 0);
  SAAnswerInt(call, o ? IdOf(FindNearestHostileInStrength(o, SAArgInt(call, 1), SAArgInt(call, 2),
                                                          IntOr(call, 3, kNoRange)))
                      : 0);
}

void IsTargetInFiringRange(SACall* call) {
  SpaceObject* ship = SAArgObject(call, 0);
  SAAnswerInt(call, ship ? IsTargetInFiringRangeOfTurret(ship, SAArgObject(call, 1), SAArgInt(call, 2),
                                                         IntOr(call, 3, 0), nullptr)
                         : 0);
}

void CollisionObject(SACall* call) {
  const SpaceObject* o = SAArgObject(call, 0);
  SAAnswerInt(call, o && (o->flags & kObjFlagCollisionObject) ? 1 : 0);
}

void GetCollisionObjects(SACall* call) {
  const ShipExt* ship = ShipExtOrNull(SAArgObject(call, 0));
  const int32_t n = ship ? std::min(ship->threatCount, kShipThreatCapacity) : 0;
  if (n <= 0) {
    SAAnswerInt(call, 0);
    return;
  }
  int32_t ids[kShipThreatCapacity] = {};
  for (int32_t i = 0; i < n; ++i) ids[i] = IdOf(ship->threats[i]);
  SAAnswerIntArray(call, ids, n);
}

void FindNearestRockInDebris(SACall* call) {
  SpaceObject* field = SAArgObject(call, 0);
  const SpaceObject* o = SAArgObject(call, 1);
  const int32_t filter = SAArgInt(call, 2);
  if (!field || !o || filter < -1 || !IsDebris(field) || !(field->flags2 & kObjFlag2RockField) || !field->parent) {
    SAAnswerInt(call, 0);
    return;
  }
  const SpaceObject* last = nullptr;
  for (SpaceObject* c = ObjectListFirst(ObjectChildren(field->parent)); c; c = ObjectListNext(c)) {
    if (c->objClass == kClassAsteroid && c->linkedObject == field && (filter == -1 || c->subtype == filter)) last = c;
  }
  SAAnswerInt(call, last && !(last->flags & kObjFlagRemoving) ? IdOf(last) : 0);
}

void GetAsteroidDensity(SACall* call) { SAAnswerInt(call, GetTierWeight(static_cast<int16_t>(SAArgInt(call, 0)))); }

// ---- Sounds, explosions and effects ---------------------------------------------------------

void DoObjectSound(SACall* call) {
  SpaceObject* o = SAArgObject(call, 0);
  if (o && ObjIsInActiveSector(o)) ObjPlaySound3D(o, SAArgInt(call, 1));
  SAAnswerInt(call, 0);
}

void ShowRelativeExplosionAt(SACall* call) {
  SpaceObject* o = SAArgObject(call, 0);
  if (InScene(o)) {
    const FixedVector offset{SAArgInt(call, 2), SAArgInt(call, 3), SAArgInt(call, 4), 0};
    FixedVector turned{};
    MatrixMulVector(&turned, &o->instance->matrix, &offset);
    const auto scale = [o](int32_t c) { return SaturateToInt32((int64_t{c} * o->radius + 32768) >> 16); };
    const FixedVector p = o->instance->position;
    const FixedVector at{SaturateToInt32(int64_t{p.x} + scale(turned.x)), SaturateToInt32(int64_t{p.y} + scale(turned.y)),
                         SaturateToInt32(int64_t{p.z} + scale(turned.z)), 0};
    ShowRelativeExplosion(o->instance->scene, SAArgInt(call, 1), SAArgInt(call, 5), &at);
  }
  SAAnswerInt(call, 0);
}

bool StartEffect(int32_t kind, int32_t row, SpaceObject* o) {
  return gSimulationServices.startObjectEffect && gSimulationServices.startObjectEffect(kind, row, o);
}

void ShowObjectEffectOn(SACall* call) {
  SpaceObject* o = SAArgObject(call, 0);
  if (InScene(o)) StartEffect(kEffectKindObject, SAArgInt(call, 1), o);
  SAAnswerInt(call, 0);
}

// The explosion row of the object's type; 0 for a class without one.
int32_t ExplosionRowOf(const SpaceObject* o) {
  const ObjectTypeRecord* row = TypeRow(o->objClass, o->subtype);
  if (!row) return 0;
  switch (o->objClass) {
    case kClassDock:
    case kClassFactory: return row->station.effectRow;
    case kClassShip: return row->ship.effectRow;
    case kClassMissile: return (o->flags & kObjFlagArmed) ? row->missile.effectRow : 0;
    default: return 0;
  }
}

void ShowDummyExplosion(SACall* call) {
  SpaceObject* o = SAArgObject(call, 0);
  if (InScene(o)) {
    const int32_t row = ExplosionRowOf(o);
    StartEffect(kEffectKindExplosion, row != 0 ? row : kDefaultExplosionRow, o);
    if (ObjIsInActiveSector(o) && gSimulationServices.playExplosionSound) gSimulationServices.playExplosionSound(o);
  }
  SAAnswerInt(call, 0);
}

void SetEnemyOfEnabled(SACall* call) {
  ObjSetExtField84(SAArgObject(call, 0), SAArgInt(call, 1) != 0 ? 1 : 0);
  SAAnswerInt(call, 0);
}

// ---- Tractor beams --------------------------------------------------------------------------

void TractorConnectCommand(SACall* call) {
  SpaceObject* holder = SAArgObject(call, 0);
  SpaceObject* held = SAArgObject(call, 1);
  if (holder) ReleaseTractorBeam(holder);
  if (held) ReleaseTractorBeam(held);
  if (holder && held) TractorConnect(holder, held, SAArgInt(call, 2), SAArgInt(call, 3), SAArgInt(call, 4));
  SAAnswerInt(call, 0);
}

void TractorDisconnect(SACall* call) {
  if (SpaceObject* o = SAArgObject(call, 0)) ReleaseTractorBeam(o);
  SAAnswerInt(call, 0);
}

}  // namespace

extern const SACommandRow kCombatCommands[] = {
    {236, GetLaserFired},
    {237, GetMissileFired},
    {238, GetLaserHits},
    {239, GetMissileHits},
    {240, GetTotalDistance},
    {241, DumpObject},
    {243, StopObject},
    {244, ForceMove},
    {245, FireOnObject},
    {246, FireAhead},
    {247, ShootMissileOnObject},
    {248, ShootMissile},
    {249, RemoteDetonateMissile},
    {250, FindNearestEnemy},
    {251, FindNearestEnemyFromPos},
    {252, FindNearestEnemyByStrength},
    {253, IsTargetInFiringRange},
    {254, CollisionObject},
    {255, GetCollisionObjects},
    {270, DoObjectSound},
    {285, ShowRelativeExplosionAt},
    {286, ShowObjectEffectOn},
    {333, SetEnemyOfEnabled},
    {334, GetMissileAim},
    {339, ReloadShipLasers},
    {348, ShowDummyExplosion},
    {358, TractorConnectCommand},
    {359, TractorDisconnect},
    {363, RotateTurretToPos},
    {364, FindNearestRockInDebris},
    {365, GetAsteroidDensity},
    {367, CollectDebris},
};
// The family list declares the rows with this count.
static_assert(sizeof(kCombatCommands) / sizeof(kCombatCommands[0]) == 32);
