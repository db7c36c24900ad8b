// Carried objects and break-away: the per-frame pass that keeps attached ships, carried objects
// and objects that vanish once their animations end in step (`BreakObject`, declared with the
// frame operations in universe_frame.h), and four small services of the object commands: the
// wreck and debris script events, whether a rock type has a breaking cut, a 3D sound at an object
// and the start of a video by id. The universe step, the object effects, the explosions and the
// object commands call them. Nothing here frees an object record; a vanishing object is only
// marked for removal.
#pragma once

#include <cstdint>

struct SpaceObject;
struct InstanceRecord;

// "CreateWreck" and "CreateDebris" on the universe's script module for a script object id, with
// no arguments; the answer lands in the universe block's script value.
void RaiseCreateWreck(int32_t scriptId);
void RaiseCreateDebris(int32_t scriptId);

// An asteroid or debris type whose rock cut exists and whose effects make debris.
bool RockTypeHasCut(int32_t subtype, int32_t objClass);

// The sound layer sits above the universe: it registers how a sound is played at an instance and
// whether a sample is playing. Without them nothing plays and no sample counts as playing.
struct ObjectSoundHooks {
  int32_t (*play3D)(int32_t sound, InstanceRecord* instance);
  int32_t (*findSample)(int32_t sample);
};
void SetObjectSoundHooks(const ObjectSoundHooks* hooks);
void ObjPlaySound3D(SpaceObject* object, int32_t sound);
bool ObjSoundIsPlaying(int32_t sample);

// The index of the first video row that matches `id`, or -1.
int32_t FindVideoRow(int32_t id);
// The first video row that matches `id`, whose seven values claim media stream `stream`; -1 when
// no row matches.
int32_t FindIdRowAndClaimStream(int32_t id, int32_t stream);
