// The table of services the damage model and the motion pass call, filled with the scene
// engine's and the universe model's operations. The application adds the cockpit and force
// feedback at start-up; tests replace entries. Holds no other state.
#include "simulation/simulation_services.h"

#include "scene/instance_collision.h"
#include "simulation/shot_hits.h"
#include "universe/container_departures.h"
#include "universe/dock_ports.h"
#include "universe/object_explosions.h"
#include "universe/missile_launch.h"
#include "universe/object_spawns.h"
#include "universe/universe.h"

namespace {

// The damage model names the struck object first and a killer by pointer; the effects take the
// attacker first and only whether a killer exists.
void ShowImpact(SpaceObject* object, SpaceObject* other) { ShowCollisionEffect(object, other); }
void PlayStruckSound(SpaceObject* object, SpaceObject* attacker) { PlayHitSound(attacker, object); }
int32_t ExplodeKilled(SpaceObject* object, SpaceObject* killer, int32_t flags) {
  return CreateObjectExplosion(object, killer ? 1 : 0, flags);
}
bool StartEffectOf(int32_t kind, int32_t row, SpaceObject* object) {
  return ShowObjectEffect(kind, row, object, object ? static_cast<int32_t>(object->id) : 0);
}

}  // namespace

SimulationServices DefaultSimulationServices() {
  // Set by name, so a new entry cannot shift the others; the layers above fill the null ones.
  SimulationServices services{};
  services.instCollideWith = InstCollideWith;
  services.instCollide = InstCollide;
  services.instSweepCollide = InstSweepCollide;
  services.findShotTarget = FindShotTarget;
  services.recordCollisionThreat = RecordCollisionThreat;
  services.dockingProximity = ObjDockingProximity;
  services.showCollisionEffect = ShowImpact;
  services.playHitSound = PlayStruckSound;
  services.createObjectExplosion = ExplodeKilled;
  services.playExplosionSound = PlayExplosionSound;
  services.spawnScatteredObjects = SpawnScatteredObjects;
  services.decoupleMissile = ObjDecoupleMissile;
  services.launchMissile = ObjLaunchMissile;
  services.startObjectEffect = StartEffectOf;
  services.startInHangar = ObjStartInHangar;
  return services;
}

SimulationServices gSimulationServices = DefaultSimulationServices();
