// The object effects: effect groups that play one effect row on an owner object (instances,
// lights and break-up steps that start, follow the owner, grow, flicker, fade and end), the
// short-lived effect instances outside any group and the particle emitters. The game loop steps
// them once per frame; the simulation and the explosion code start them; object destruction and
// the save writer remove them. They never free the owner object itself.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "scene/list_records.h"
#include "scene/particle_records.h"

struct SceneRecord;
struct SpaceObject;
struct InstanceRecord;
struct EffectDefinitionRow;
struct EffectGroup;

struct EffectGroupEntry {
  EffectGroup* group;
  InstanceRecord* instance;
  int32_t state;         // 0 waiting, 1 running, 2 finished
  int32_t randomOffset;  // 16.16
};

struct EffectGroup {
  ListNode node;
  EffectDefinitionRow* row;
  EffectGroupEntry* entries;
  SpaceObject* owner;
  SpaceObject* second;
  int32_t eventValue;
  int32_t extraValue;
  int32_t keyA, keyB;
  uint32_t startTime;
  int32_t offset[4];
  FixedMatrix matrix;
  FixedMatrix impactMatrix;
};

struct EffectInstance {
  ListNode node;
  uint32_t startTime, endTime;
  InstanceRecord* instance;
  int32_t state;   // 1 waiting, 2 running, 3 restarting paths
  uint32_t flags;  // 1 size follows time, 4 root of a playing cut
  int32_t sizeA, sizeB;
};

struct ParticleEmitterNode {
  ListNode node;
  EmitterRecord* system;  // owned; entered in the engine's particle list and table
  int32_t key;
  SpaceObject* owner;
};

// Keys of the emitters a particle-generator cut starts: 301 + a draw below 10. A generator's
// time-out removes the owner's emitters above kGeneratorKeyBase.
constexpr int32_t kGeneratorKeyBase = 300;

// The three lists; the emitter list is absent until MakeParticleEmitterList.
ListHead* EffectGroupList();
ListHead* EffectInstanceList();
ListHead* ParticleEmitterList();

// Finds the group of (owner, key a, key b) and restarts it, or creates and starts one; null for a
// row index outside the table or when memory fails.
EffectGroup* AddEffectGroup(int32_t keyA, int32_t keyB, int32_t rowIndex, SpaceObject* owner, SpaceObject* second,
                            int32_t eventValue, int32_t extraValue, const int32_t* offset, int32_t delay,
                            const FixedMatrix* matrix);
// One group's per-frame update; the break-up result when a break-up entry ran, else 0.
int32_t UpdateEffectGroup(EffectGroup* group);
void StepObjectEffects();
void RemoveObjectEffects(SpaceObject* object);
// Removes the effect instances that live in the scene.
void RemoveSceneEffectInstances(SceneRecord* scene);
void ClearEffectInstances();
void FreeEffectGroups();
// The owner's emitter of this key gets the new position; otherwise an emitter of the particle
// type is made at `position` (in the owner instance's frame). Null without an emitter list, for
// a type outside the table, or when memory fails; the effect then plays without particles.
ParticleEmitterNode* StartParticleEmitter(int32_t key, int32_t particleType, SpaceObject* owner,
                                          const FixedVector* position);
void MakeParticleEmitterList();
void FreeParticleEmitterList();

// The frame's random value (below 1000, times 1000000), for propagation keys.
int32_t EffectFrameRandom();

// Sounds the effects play unpositioned; the sound layer installs its player, null plays nothing.
using EffectSoundSink = void (*)(int32_t sound);
void SetEffectSoundSink(EffectSoundSink sink);

// The effects of hits and deaths: the collision effect at the larger object's instance, the hit
// sound of an object struck by an attacker, the explosion of a dying object from its type's
// effect row (0 when it shows none), and its explosion sound.
void ShowCollisionEffect(SpaceObject* object, SpaceObject* other);
void PlayHitSound(SpaceObject* object, SpaceObject* attacker);
int32_t CreateObjectExplosion(SpaceObject* object, SpaceObject* killer, int32_t flags);
void PlayExplosionSound(SpaceObject* object);
