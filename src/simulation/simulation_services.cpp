// The table of services the damage model and the motion pass call, filled with the scene
// engine's and the universe model's operations. The application adds the cockpit and force
// feedback at start-up; tests replace entries. Holds no other state.
#include "simulation/simulation_services.h"

#include "scene/instance_collision.h"
#include "simulation/shot_hits.h"
#include "universe/dock_ports.h"
#include "universe/object_effects.h"

SimulationServices DefaultSimulationServices() {
  return SimulationServices{InstCollideWith,
                            InstCollide,
                            FindShotTarget,
                            RecordCollisionThreat,
                            ObjDockingProximity,
                            ShowCollisionEffect,
                            PlayHitSound,
                            CreateObjectExplosion,
                            PlayExplosionSound,
                            nullptr,
                            nullptr,
                            nullptr};
}

SimulationServices gSimulationServices = DefaultSimulationServices();
