// The table of services the damage model and the motion pass call, filled with the scene
// engine's and the universe model's operations. The application adds the cockpit and force
// feedback at start-up; tests replace entries. Holds no other state.
#include "simulation/simulation_services.h"

#include "scene/instance_collision.h"
#include "simulation/shot_hits.h"
#include "universe/dock_ports.h"
#include "universe/object_explosions.h"
#include "universe/object_spawns.h"

namespace {

// The damage model names the struck object first and a killer by pointer; the effects take the
// attacker first and only whether a killer exists.
void ShowImpact(SpaceObject* object, SpaceObject* other) { ShowCollisionEffect(object, other); }
void PlayStruckSound(SpaceObject* object, SpaceObject* attacker) { PlayHitSound(attacker, object); }
int32_t ExplodeKilled(SpaceObject* object, SpaceObject* killer, int32_t flags) {
  return CreateObjectExplosion(object, killer ? 1 : 0, flags);
}

}  // namespace

SimulationServices DefaultSimulationServices() {
  return SimulationServices{InstCollideWith,
                            InstCollide,
                            FindShotTarget,
                            RecordCollisionThreat,
                            ObjDockingProximity,
                            ShowImpact,
                            PlayStruckSound,
                            ExplodeKilled,
                            PlayExplosionSound,
                            SpawnScatteredObjects,
                            ObjDecoupleMissile,
                            nullptr,
                            nullptr,
                            nullptr,
                            nullptr,
                            nullptr,
                            nullptr,
                            nullptr};
}

SimulationServices gSimulationServices = DefaultSimulationServices();
