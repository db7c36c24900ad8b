// Tractor beams: one object holding another. When A holds B, A's `tractorTarget` is B, B's
// `tractorAux` (its holder) is A, and neither A is held nor B holds anything. Called by the
// tractor commands, the weapons, the flight pass and object removal.
#pragma once

#include <cstdint>
#include <vector>

struct SpaceObject;

constexpr int32_t kTractorBeamBody = 10680;
constexpr int32_t kTractorHeldSpeedLimit = 40000;

// Frees the object's beam, lets go of what it holds and of what holds it. Every link is cleared
// before the released objects' scripts are told "SetTractorTarget" (0).
void ReleaseTractorBeam(SpaceObject* object);
// Releases the holder (and the held object) first, then links them with the attach point at
// (x, y, z) in the holder's frame and shows the beam. With no held object it only releases.
void TractorConnect(SpaceObject* holder, SpaceObject* held, int32_t x, int32_t y, int32_t z);

// The release without its events: the objects to be told are appended to `released` in the
// order they were let go. Object removal uses it inside its walk and tells them afterwards.
void ReleaseTractorLinks(SpaceObject* object, std::vector<SpaceObject*>* released);
// Tells each released object that is still in the universe, under the universe guard.
void TellTractorReleased(const std::vector<SpaceObject*>& released);
