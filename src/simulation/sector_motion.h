// The sector motion pass: once per frame and simulated sector it finds every contact between the
// sector's objects and turns each into its consequences (hits, rams, planet crashes, gates and
// landings reached, wares caught). Called by the frame step's first pass and by the object
// commands that apply one contact.
#pragma once

#include <cstdint>

struct SpaceObject;
struct SectorObject;

// The pass: reset walk, beam shots, the pairs, the finish walk. Ends for the frame as soon as a
// script event has taken one of the objects it holds out of the sector.
void UpdateSectorMotion(SectorObject* sector);
// The pair walk finds each object's possible partners through a spatial index; `plain` makes it
// scan every later object instead. Both give the same pairs in the same order (the tests compare).
void SetPlainPairScan(bool plain);
// Applies one contact: ware catching, hit damage both ways, the ram, the destruction of each side.
void HandleObjectCollision(SpaceObject* a, SpaceObject* b);
// A ship against a containment sphere (special 92): 1 when the pair was handled as such (the ship
// is outside the sphere, which is its contact), 0 when `other` is no ship or lies inside.
int32_t ResolveShipCollision(SpaceObject* sphere, SpaceObject* other);
