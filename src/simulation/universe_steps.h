// The per-sector steps of the universe frame: the five operations `StepUniverse` runs for each
// simulated sector, reached through one table so tests can put recorders in their place.
// Filled by the simulation's own parts and by the universe model; read only by the frame step.
#pragma once

struct SectorObject;

using SectorStep = void (*)(SectorObject* sector);

struct SectorStepTable {
  SectorStep motion;     // movement checks and collisions (pass 1)
  SectorStep objects;    // the per-object update by class (pass 1)
  SectorStep instances;  // detail switching, dock slots and sub-instances (pass 1)
  SectorStep flight;     // integration of speeds and rotations (pass 2)
  SectorStep breakAway;  // held objects follow their holder or break away (pass 2)
};

// The table the frame step uses; starts with the real steps.
extern SectorStepTable gSectorSteps;
// The real steps, for a test to put back.
SectorStepTable DefaultSectorSteps();

// The per-object update by class (object_update.cpp).
void UpdateSectorObjects(SectorObject* sector);
// The flight pass (flight.cpp).
void UpdateSectorFlight(SectorObject* sector);
