// Explosions, impacts and trails: the effect rows of object types, the explosion of a killed
// object (with its break-up into part objects and the blasts that propagate over its hull), the
// impact of a bullet or missile, weapon fire, engine and bullet trails, the flat explosion sprite,
// and the hit and explosion sounds. The simulation, the object commands and the object effects
// call them. They start effect groups and make part objects; they never free an object record
// (a broken-up object is only marked for removal).
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct SpaceObject;
struct SceneRecord;
struct EffectGroup;

// Group kinds (key a).
constexpr int32_t kEffectKindTrail = 0;
constexpr int32_t kEffectKindExplosion = 1;
constexpr int32_t kEffectKindImpact = 3;
constexpr int32_t kEffectKindFire = 4;
constexpr int32_t kEffectKindBreakUp = 5;

// The rows a type falls back to: the explosion row of classes without their own, and the
// break-up row of stations, ships and asteroids without a second row.
constexpr int32_t kDefaultExplosionRow = 48;
constexpr int32_t kDefaultBreakUpRow = 36;

// The explosion sounds by radius and the hit sounds.
constexpr int32_t kExplosionSoundSmall = 918;
constexpr int32_t kExplosionSoundMedium = 919;
constexpr int32_t kExplosionSoundLarge = 920;
constexpr int32_t kHitSoundSmall = 903;
constexpr int32_t kHitSoundLarge = 904;
constexpr int32_t kHitSoundSubtype275 = 992;

// The effect row of a type (0 means none for a bullet only) and its second, break-up row (0 none).
int32_t GetTypeEffectIndex(int32_t subtype, int32_t objClass, uint32_t objectFlags);
int32_t GetTypeEffectIndexB(int32_t subtype, int32_t objClass, uint32_t objectFlags);
bool TypeEffectsCreateWreck(int32_t subtype, int32_t objClass);
bool TypeEffectsCreateDebris(int32_t subtype, int32_t objClass);

// A group of the row on the owner with the object id as key b; an impact row that pushes takes
// the object of that id as its second object. Null when no group results.
EffectGroup* StartObjectEffect(int32_t kind, int32_t row, SpaceObject* owner, const FixedVector* offset,
                               const FixedMatrix* matrix, int32_t objectId);
bool ShowObjectEffect(int32_t kind, int32_t row, SpaceObject* owner, int32_t objectId);

// The explosion of a killed object: 1, or 0 for debris and objects without an instance in a scene.
int32_t CreateObjectExplosion(SpaceObject* object, int32_t valueA, int32_t valueB);
// Breaks the object into part objects with their own effects and marks it for removal; 1 when it
// broke (the caller's following groups then wait a frame), else 0.
int32_t BreakUpObject(SpaceObject* object);
// Starts the propagation entries of the row over the object's hull (from the vertex nearest to
// `point`, in the object instance's frame, or from random vertices); the latest time any of them
// starts a group, in ms from now.
int32_t StartPropagation(SpaceObject* object, int32_t kind, int32_t row, const FixedVector* point);

// The impact between a bullet or missile and the object it hit: 0 when either has no instance in
// a scene, else 1.
int32_t ShowCollisionEffect(SpaceObject* a, SpaceObject* b);
int32_t StartBulletEffect(int32_t bulletSubtype, SpaceObject* owner, int32_t keyB, const FixedVector* offset,
                          const FixedMatrix* matrix);
void UpdateEngineTrailEffects(SpaceObject* object);
// A four-second flat sprite of the body at `position` in the scene; 1, or 0 when memory fails.
int32_t ShowRelativeExplosion(SceneRecord* scene, int32_t bodyId, int32_t size, const FixedVector* position);

void PlayHitSound(SpaceObject* attacker, SpaceObject* target);
void PlayExplosionSound(SpaceObject* object);
