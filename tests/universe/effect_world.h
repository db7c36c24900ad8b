// The object-effect fixture: effect rows defined by the case, an owner ship on a game clock the
// case sets, a seeded random generator and the sounds the effects play. The emitter list exists
// and the engine's particle table is made, so generator cuts can start emitters. Every group,
// instance and emitter is freed at the end (the sanitizer's leak check sees what is not).
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "object_world.h"
#include "scene/engine_state.h"
#include "support/engine_fixture.h"
#include "universe/effect_definitions.h"
#include "universe/object_effects.h"

constexpr int32_t kOne = 0x10000;
inline std::vector<int32_t> gSounds;

class ObjectEffects : public ObjectWorld {
 protected:
  void SetUp() override {
    ObjectWorld::SetUp();
    GameSrand(1234);
    SetTime(10000);
    gSounds.clear();
    SetEffectSoundSink([](int32_t sound) { gSounds.push_back(sound); });
    engine_.engine().particleTable = HashCreate();
    MakeParticleEmitterList();
    ObjectTypeRecord* ships = Rows(kClassShip, 1);
    ships[0].ship.speed = 1000;
    Rows(kClassShield, 1)[0].shield.capacity = 1000;
    owner_ = Make(kClassShip);
    owner_->radius = 2 * kOne;
  }

  void TearDown() override {
    FreeEffectDefinitions();
    ClearEffectInstances();
    HashDestroy(engine_.engine().particleTable);
    engine_.engine().particleTable = nullptr;
    SetEffectSoundSink(nullptr);
    ObjectWorld::TearDown();
  }

  // Row `index` with the entries given; the table owns them.
  void Define(int32_t index, std::vector<EffectDefinitionEntry> entries, uint32_t flags = 0) {
    EffectDefinitionRow& row = gEffectRows[index];
    MemFreeIfSet(row.entries);
    row = {};
    row.flags = flags;
    row.entryCount = static_cast<int32_t>(entries.size());
    row.entries = static_cast<EffectDefinitionEntry*>(MemCalloc(sizeof(EffectDefinitionEntry) * entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) row.entries[i] = entries[i];
  }

  static EffectDefinitionEntry Entry(uint32_t flags, int32_t delay = 0, int32_t duration = 0, int32_t a = kOne,
                                     int32_t b = 3 * kOne) {
    EffectDefinitionEntry e{};
    e.flags = flags;
    e.startDelay = delay;
    e.duration = duration;
    e.sizeA = a;
    e.sizeB = b;
    return e;
  }

  EffectGroup* Start(int32_t row = 1, int32_t keyA = 1, int32_t keyB = 0, SpaceObject* owner = nullptr) {
    return AddEffectGroup(keyA, keyB, row, owner ? owner : owner_, nullptr, 0, 0, nullptr, 0, nullptr);
  }

  static int GroupCount() {
    int n = 0;
    for (ListNode* node = ListFirst(EffectGroupList()); node; node = ListNext(node)) ++n;
    return n;
  }

  void At(uint32_t groupTime) {
    SetTime(10000 + groupTime);
    StepObjectEffects();
  }

  EngineFixture engine_;
  SpaceObject* owner_ = nullptr;
};
