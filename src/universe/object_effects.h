// The object effects: effect groups that play one effect row on an owner object (instances,
// lights and break-up steps that start, follow the owner, grow, flicker, fade and end), the
// short-lived effect instances outside any group and the particle emitters. The game loop steps
// them once per frame; the simulation and the explosion code start them; object destruction and
// the save writer remove them. They never free the owner object itself.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "scene/list_records.h"

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
  void* system;
  int32_t key;
  SpaceObject* owner;
};

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
void MakeParticleEmitterList();
void FreeParticleEmitterList();

// The frame's random value (below 1000, times 1000000), for propagation keys.
int32_t EffectFrameRandom();

// Sounds the effects play unpositioned; the sound layer installs its player, null plays nothing.
using EffectSoundSink = void (*)(int32_t sound);
void SetEffectSoundSink(EffectSoundSink sink);
