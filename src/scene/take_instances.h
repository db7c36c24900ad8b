// Take instances: the objects a take gets from its cut's paths when it starts (the take's
// camera, lights and instances chosen by each path's body id), giving them up when the take is
// freed or started with another cut, and freeing a take. Called by the take natives and the
// engine's reset.
#pragma once

#include <cstdint>

struct CameraRecord;
struct CutRecord;
struct SceneRecord;
struct TakeRecord;

// Stops a playing take, gives up the objects of another cut, builds the objects when the take
// has none, then starts every path. True when some path is playing.
bool J3D_TakeStart(TakeRecord* take, CutRecord* cut, SceneRecord* scene, CameraRecord* camera);
// One object slot per path of the cut, made by the path's body id and added to the scene; the
// camera goes to the first camera path only. False, with the take still without a cut, when the
// slots cannot be had.
bool TakeBuildInstances(TakeRecord* take, CutRecord* cut, SceneRecord* scene, CameraRecord* camera);
// Takes every object out of the take's scene and frees it (the take's camera too, when a
// camera path held it); the take is left without cut, slots or state.
void TakeReleaseInstances(TakeRecord* take);
// Releases the objects, removes the take from the take table and frees it.
void J3D_TakeFree(TakeRecord* take);
