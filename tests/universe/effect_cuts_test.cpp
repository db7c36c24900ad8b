// Cut entries, particle emitters, wrecks and debris, lens flares and the cut roots among the
// effect instances, on hand-built cuts and bodies: one child per path with a body, the key rescale
// on a cut's first use, child sizes, the cut a debris map names, generator jets that restart the
// group's time and start emitters, the end of a cut with its wreck and debris marks, generator
// time-outs, the emitter step and the removals (the sanitizer's leak check sees what is left).
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <set>

#include "effect_world.h"
#include "platform/heap.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/cut_records.h"
#include "scene/engine_records.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/particle_records.h"

namespace {

constexpr int32_t kCutA = 7;
constexpr int32_t kCutB = 8;
constexpr int32_t kBodyPlain = 40;
constexpr int32_t kBodyJet = 41;
constexpr int32_t kParticleType = 3;
constexpr int32_t kOtherParticleType = 4;
constexpr uint32_t kNoBody = 0xFFFFFFFF;

class EffectCuts : public ObjectEffects {
 protected:
  void SetUp() override {
    ObjectEffects::SetUp();
    AddBody(kBodyPlain, 2 * kOne);
    AddBody(kBodyJet, 4000);
    jets_[0] = kBodyJet;
    gBodyIdLists.lists[6] = {1, jets_};  // SBTYPE_JET
    for (int32_t type : {kParticleType, kOtherParticleType}) {
      engine_.engine().particleTypes[type] = {2, kinds_, {2000, 0}};
    }
  }

  void TearDown() override {
    ObjectEffects::TearDown();
    for (auto& cut : cuts_) HashRemove(engine_.engine().cutTable, cut.record.handle);
    for (int32_t id : {kBodyPlain, kBodyJet}) HashRemove(engine_.engine().bodyCache, static_cast<uint32_t>(id) + 1);
    for (auto& type : engine_.engine().particleTypes) type = {};
  }

  void AddBody(int32_t id, int32_t size) {
    OwnedBody& b = bodies_.emplace_back();
    b.mesh.size = size;
    b.meshes[0] = &b.mesh;
    b.record.meshCount = 1;
    b.record.meshes = b.meshes;
    b.record.sound.sample = -1;
    ASSERT_TRUE(BodyCacheInsert(id, &b.record));
  }

  BodyRecord* BodyOf(int32_t id) { return B3D_FindBody(id); }

  // A cut whose paths name these bodies; every path has two position keys at x and 2x.
  CutRecord* AddCut(int32_t id, std::vector<uint32_t> bodies, int32_t x = 1000) {
    OwnedCut& cut = cuts_.emplace_back();
    cut.paths.resize(bodies.size());
    cut.keys.resize(bodies.size());
    for (size_t n = 0; n < bodies.size(); ++n) {
      cut.keys[n][0].time = 0;
      cut.keys[n][0].position = {x, 0, 0, 0};
      cut.keys[n][1].time = 1000;
      cut.keys[n][1].position = {2 * x, 0, 0, 0};
      PathRecord& path = cut.paths[n];
      path.positions = {2, cut.keys[n].data()};
      path.lookupWord = bodies[n];
      path.flags = kPathNamesBody;
    }
    cut.record.handle = static_cast<uint32_t>(id);
    cut.record.pathCount = static_cast<int32_t>(bodies.size());
    cut.record.paths = cut.paths.data();
    HashInsert(engine_.engine().cutTable, cut.record.handle, reinterpret_cast<HashValue>(&cut.record));
    return &cut.record;
  }

  EffectGroup* StartFull(int32_t keyB, SpaceObject* second = nullptr, int32_t eventValue = 0, int32_t extra = 0) {
    return AddEffectGroup(1, keyB, 1, owner_, second, eventValue, extra, nullptr, 0, nullptr);
  }

  static EffectDefinitionEntry CutEntry(uint32_t flags, int32_t cut = kCutA, int32_t delay = 0, int32_t size = 500) {
    EffectDefinitionEntry e = Entry(EEDF_CUT | flags, delay, 0, size, size);
    e.sourceId = cut;
    e.lensFlareId = kParticleType;
    return e;
  }

  static std::vector<InstanceRecord*> Children(InstanceRecord* root) {
    std::vector<InstanceRecord*> out;
    for (InstanceRecord* c = root ? InstFirstChild(root) : nullptr; c; c = InstNextSibling(c)) out.push_back(c);
    return out;
  }

  static int EmitterCount() {
    int n = 0;
    for (ListNode* node = ListFirst(ParticleEmitterList()); node; node = ListNext(node)) ++n;
    return n;
  }

  int EngineSystemCount() {
    int n = 0;
    for (ListNode* node = ListFirst(&engine_.engine().particleList3); node; node = ListNext(node)) ++n;
    return n;
  }

  static ParticleEmitterNode* FirstEmitter() {
    return reinterpret_cast<ParticleEmitterNode*>(ListFirst(ParticleEmitterList()));
  }

 private:
  struct OwnedBody {
    BodyRecord record{};
    BodyMesh mesh{};
    BodyMesh* meshes[1]{};
  };
  struct OwnedCut {
    CutRecord record{};
    std::vector<PathRecord> paths;
    std::vector<std::array<PositionKey, 2>> keys;
  };
  std::deque<OwnedBody> bodies_;
  std::deque<OwnedCut> cuts_;
  int32_t jets_[1]{};
  ParticleKind kinds_[2]{};
};

TEST_F(EffectCuts, EveryPathWithABodyGetsAPlayingChildSizedByTheEntry) {
  struct Case {
    const char* name;
    uint32_t flags;
    int32_t size;
    int32_t childSize;
  };
  const Case kCases[] = {
      {"cut units", 0, 500, kOne},                              // 2.0 x 500 / 1000
      {"actual size", EEDF_CUTACTUALSIZE, kOne / 2, kOne},      // 2.0 x 0.5
  };
  int32_t cutId = 20;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    AddCut(++cutId, {kBodyPlain, kNoBody, kBodyPlain});
    Define(1, {CutEntry(c.flags, cutId, 0, c.size)});
    EffectGroup* g = StartFull(cutId);
    ASSERT_NE(g, nullptr);
    InstanceRecord* root = g->entries[0].instance;
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(g->entries[0].state, 1);
    EXPECT_EQ(root->cutHandle, static_cast<uint32_t>(cutId));
    EXPECT_EQ(root->bodyId, -1);
    const std::vector<InstanceRecord*> children = Children(root);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->pathNumber, 0);
    EXPECT_EQ(children[1]->pathNumber, 2);
    for (InstanceRecord* child : children) {
      EXPECT_EQ(child->bodyId, kBodyPlain);
      EXPECT_EQ(child->size, c.childSize);
      EXPECT_TRUE(child->jobFlags & kJobPlaying);
      EXPECT_TRUE(child->flags & 0x40u);
    }
    EXPECT_TRUE(BodyOf(kBodyPlain)->flags & 0x20u);
  }
}

TEST_F(EffectCuts, FirstUseRescalesTheKeysOnce) {
  struct Case {
    const char* name;
    uint32_t flags;
    int32_t x;
    int32_t rescaled;
  };
  const Case kCases[] = {
      {"cut units", 0, 1000, 65536},
      {"negative, truncated toward zero", 0, -3, -196},  // -196.608
      {"large, in 64 bits", 0, 40000000, INT32_MAX},      // saturates instead of wrapping
      {"actual size", EEDF_CUTACTUALSIZE, 1000, 1000},
  };
  int32_t cutId = 20;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CutRecord* cut = AddCut(++cutId, {kBodyPlain, kNoBody}, c.x);
    Define(1, {CutEntry(c.flags, cutId)});
    const int32_t groups = GroupCount();
    StartFull(2 * cutId);
    EXPECT_EQ(cut->paths[0].positions.keys[0].position.x, c.rescaled);
    EXPECT_EQ(cut->paths[1].positions.keys[0].position.x, c.x);  // no body: not played, not scaled
    EXPECT_TRUE(cut->originFlags & kCutKeysRescaled);
    StartFull(2 * cutId + 1);  // a second effect on the same cut
    EXPECT_EQ(cut->paths[0].positions.keys[0].position.x, c.rescaled);
    EXPECT_EQ(GroupCount(), groups + 2);
  }
}

TEST_F(EffectCuts, DebrisMapPlaysTheCutTheStarterNames) {
  AddCut(kCutA, {kBodyPlain});
  AddCut(kCutB, {kBodyPlain, kBodyPlain});
  struct Case {
    const char* name;
    uint32_t flags;
    int32_t extra;
    uint32_t played;
  };
  const Case kCases[] = {
      {"debris map with a cut", EEDF_DEBRISMAP, kCutB, kCutB},
      {"debris map without one", EEDF_DEBRISMAP, 0, kCutA},
      {"plain cut ignores the extra value", 0, kCutB, kCutA},
  };
  int32_t key = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Define(1, {CutEntry(c.flags)});
    EffectGroup* g = StartFull(key++, nullptr, 0, c.extra);
    ASSERT_NE(g->entries[0].instance, nullptr);
    EXPECT_EQ(g->entries[0].instance->cutHandle, c.played);
  }
}

TEST_F(EffectCuts, MissingCutEndsTheEntryInTheSameCall) {
  Define(1, {CutEntry(0, 99)});
  EffectGroup* g = StartFull(0);
  EXPECT_EQ(g->entries[0].instance, nullptr);
  EXPECT_EQ(g->entries[0].state, 2);
}

TEST_F(EffectCuts, GeneratorJetRestartsTheGroupTimeAndStartsAnEmitter) {
  AddCut(kCutA, {kBodyPlain, kBodyJet});
  Define(1, {CutEntry(EEDF_PARTICLEGENERATOR, kCutA, 300), Entry(0, 500)});
  EffectGroup* g = StartFull(0);
  At(299);
  EXPECT_EQ(EmitterCount(), 0);
  At(300);
  ASSERT_EQ(g->entries[0].state, 1);
  EXPECT_EQ(g->startTime, 10300u);
  const std::vector<InstanceRecord*> children = Children(g->entries[0].instance);
  ASSERT_EQ(children.size(), 2u);
  EXPECT_FALSE(children[0]->flags & 0x100000u);
  EXPECT_TRUE(children[1]->flags & 0x100000u);  // the jet hides
  EXPECT_TRUE(children[1]->flags2 & 0x1u);

  ASSERT_EQ(EmitterCount(), 1);
  ParticleEmitterNode* emitter = FirstEmitter();
  EXPECT_GE(emitter->key, 301);
  EXPECT_LE(emitter->key, 310);
  EXPECT_EQ(emitter->owner, owner_);
  ASSERT_NE(emitter->system, nullptr);
  EXPECT_EQ(emitter->system->type, kParticleType);
  ASSERT_EQ(emitter->system->emissionCount, 2);
  EXPECT_EQ(emitter->system->emissions[1].lastSpawnTime, 10300);
  EXPECT_EQ(EngineSystemCount(), 1);
  EXPECT_EQ(HashGet(engine_.engine().particleTable, emitter->system->handle),
            reinterpret_cast<HashValue>(emitter->system));

  At(500);
  At(799);
  EXPECT_EQ(g->entries[1].state, 0);
  At(800);
  EXPECT_EQ(g->entries[1].state, 1);
}

TEST_F(EffectCuts, EndOfACutFreesStoppedChildrenThenLeavesItsMarks) {
  AddCut(kCutA, {kBodyPlain, kBodyPlain});
  SpaceObject* carrier = Make(kClassShip);
  struct Case {
    const char* name;
    uint32_t flags;
    int32_t eventValue;
    size_t childrenWhileOnePlays;
    bool wreck;
  };
  const Case kCases[] = {
      {"plain cut", 0, 42, 1, false},
      {"keeps its bodies", EEDF_CUTKEEPBODY, 42, 2, false},
      {"wreck", EEDF_WRECK, 42, 1, true},
      {"wreck without an event value", EEDF_WRECK, 0, 1, false},
      {"debris", EEDF_DEBRIS, 42, 1, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    owner_->flags = carrier->flags = 0;
    owner_->instance->flags = carrier->instance->flags = 0;
    Define(1, {CutEntry(c.flags)});
    EffectGroup* g = StartFull(0, carrier, c.eventValue);
    std::vector<InstanceRecord*> children = Children(g->entries[0].instance);
    ASSERT_EQ(children.size(), 2u);
    children[0]->jobFlags &= ~kJobPlaying;
    At(10);
    EXPECT_EQ(Children(g->entries[0].instance).size(), c.childrenWhileOnePlays);
    EXPECT_EQ(g->entries[0].state, 1);
    children[1]->jobFlags |= kJobEndReported;
    UpdateEffectGroup(g);
    EXPECT_EQ(g->entries[0].instance, nullptr);
    EXPECT_EQ(g->entries[0].state, 2);
    for (SpaceObject* o : {owner_, carrier}) {
      EXPECT_EQ((o->flags & 0x400u) != 0, c.wreck);
      EXPECT_EQ((o->instance->flags & 0x8100000u) == 0x8100000u, c.wreck);
    }
    FreeEffectGroups();
  }
}

TEST_F(EffectCuts, EndedGeneratorKeepsItsEmitterUntilTheOwnerGoes) {
  AddCut(kCutA, {kBodyJet});
  Define(1, {CutEntry(EEDF_PARTICLEGENERATOR)});
  EffectGroup* g = StartFull(0);
  InstanceRecord* jet = InstFirstChild(g->entries[0].instance);
  ASSERT_NE(jet, nullptr);
  jet->jobFlags &= ~kJobPlaying;
  UpdateEffectGroup(g);
  EXPECT_EQ(g->entries[0].instance, nullptr);
  EXPECT_EQ(g->entries[0].state, 1);
  At(100);
  EXPECT_EQ(GroupCount(), 0);
  EXPECT_EQ(EmitterCount(), 1);
  RemoveObjectEffects(owner_);
  EXPECT_EQ(EmitterCount(), 0);
  EXPECT_EQ(EngineSystemCount(), 0);
  EXPECT_EQ(HashCount(engine_.engine().particleTable), 0u);
}

TEST_F(EffectCuts, GeneratorTimeoutRemovesOnlyItsOwnTypeOfGeneratorEmitters) {
  AddCut(kCutA, {kBodyJet});
  EffectDefinitionEntry e = CutEntry(EEDF_PARTICLEGENERATOR | EEDF_TIMEOUT | EEDF_WRECK);
  e.duration = 400;
  Define(1, {e});
  SpaceObject* other = Make(kClassShip);
  FixedVector at{1, 2, 3, 0};
  ASSERT_NE(StartParticleEmitter(5, kParticleType, owner_, &at), nullptr);          // not a generator's key
  ASSERT_NE(StartParticleEmitter(400, kOtherParticleType, owner_, &at), nullptr);   // another type
  ASSERT_NE(StartParticleEmitter(400, kParticleType, other, &at), nullptr);         // another owner
  StartFull(0, nullptr, 42);
  EXPECT_EQ(EmitterCount(), 4);
  At(399);
  EXPECT_EQ(EmitterCount(), 4);
  EXPECT_FALSE(owner_->flags & 0x400u);
  At(400);
  EXPECT_EQ(GroupCount(), 0);
  EXPECT_TRUE(owner_->flags & 0x400u);
  std::set<std::pair<int32_t, int32_t>> left;
  for (ListNode* node = ListFirst(ParticleEmitterList()); node; node = ListNext(node)) {
    auto* n = reinterpret_cast<ParticleEmitterNode*>(node);
    left.insert({n->key, n->system->type});
  }
  EXPECT_EQ(left, (std::set<std::pair<int32_t, int32_t>>{{5, kParticleType}, {400, kOtherParticleType},
                                                         {400, kParticleType}}));
  EXPECT_EQ(EngineSystemCount(), 3);
}

TEST_F(EffectCuts, StartingAnEmitterAgainMovesIt) {
  owner_->speed = 500;
  FixedVector a{1, 2, 3, 0}, b{4, 5, 6, 0};
  ParticleEmitterNode* first = StartParticleEmitter(7, kParticleType, owner_, &a);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->system->intensity, kOne / 2);  // 500 of a tuned 1000
  EXPECT_EQ(StartParticleEmitter(7, kOtherParticleType, owner_, &b), first);
  EXPECT_EQ(first->system->position.z, 6);
  EXPECT_EQ(first->system->type, kParticleType);
  EXPECT_EQ(EmitterCount(), 1);
  for (int32_t type : {-1, kParticleTypeCount}) EXPECT_EQ(StartParticleEmitter(8, type, owner_, &a), nullptr);
  EXPECT_EQ(EmitterCount(), 1);
  ClearEffectInstances();
  EXPECT_EQ(EmitterCount(), 0);
  EXPECT_EQ(EngineSystemCount(), 0);
}

TEST_F(EffectCuts, EmittersFollowTheirOwnersWhenParticlesAreOn) {
  struct Case {
    const char* name;
    bool particlesOn;
    int32_t tuning;
    int32_t intensity;
  };
  const Case kCases[] = {
      {"particles off", false, 0, kOne / 4},  // the start value: 500 of a tuned 2000
      {"half the type speed", true, 0, kOne / 2},
      {"tuned ship doubles the type speed", true, kOne, kOne / 4},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Ship(owner_)->speedTuning = c.tuning;
    owner_->speed = 1000;
    engine_.engine().particleTypes[kParticleType].words[0] = 2000;
    StartParticleEmitter(7, kParticleType, owner_, nullptr)->system->intensity = kOne / 4;
    gSystem->d3dFlags = c.particlesOn ? 0x40000000u : 0;
    At(50);
    EmitterRecord* system = FirstEmitter()->system;
    EXPECT_EQ(system->intensity, c.intensity);
    EXPECT_EQ(system->previousTime, c.particlesOn ? 10050 : 10000);
    ClearEffectInstances();
    SetTime(10000);
  }
}

TEST_F(EffectCuts, ParticlesAgeUnlessARecordingReplays) {
  for (bool replaying : {false, true}) {
    SCOPED_TRACE(replaying);
    ParticleRecord particle{};
    particle.endTime = 10000;
    particle.state = kParticleUpdated;
    ListAddTail(&engine_.engine().activeParticles, &particle.node);
    engine_.engine().engineFlags = replaying ? kEngineReplaying : 0;
    At(10);
    EXPECT_EQ(particle.state, replaying ? kParticleUpdated : kParticleFree);
    ListRemove(&particle.node);
  }
}

TEST_F(EffectCuts, LensFlareStaysWhiteOverTheLightsDimming) {
  engine_.engine().lightTypes[12] = {kLightKindPoint, 1000, 2000, 3000, 0, 0, {0, 0}};
  EffectDefinitionEntry e = Entry(EEDF_LIGHT | EEDF_GROW | EEDF_LENSFLARE, 0, 1000);
  e.sourceId = 12;
  e.lensFlareId = 4;
  e.lensFlareValue = 77;
  Define(1, {e});
  EffectGroup* g = Start();
  InstanceRecord* light = g->entries[0].instance;
  ASSERT_NE(light, nullptr);
  At(500);
  EXPECT_TRUE(light->flags & 0x20000000u);
  EXPECT_EQ(light->flareType, 4);
  EXPECT_EQ(light->lightValue, 77);
  for (int16_t c : light->lightColor) EXPECT_EQ(c, 255);
}

TEST_F(EffectCuts, FailedAllocationsMakeNoGroupAndNoEmitter) {
  Define(1, {Entry(0)});
  OsFailNextHeapRequests(2);  // the first request and its retry
  EXPECT_EQ(Start(), nullptr);
  OsFailNextHeapRequests(0);
  EXPECT_EQ(GroupCount(), 0);
  FixedVector at{};
  OsFailNextHeapRequests(2);
  EXPECT_EQ(StartParticleEmitter(7, kParticleType, owner_, &at), nullptr);
  OsFailNextHeapRequests(0);
  EXPECT_EQ(EmitterCount(), 0);
  EXPECT_EQ(EngineSystemCount(), 0);
  EXPECT_NE(Start(), nullptr);
}

class CutRoots : public EffectCuts {
 protected:
  // A cut root effect instance whose two children play the cut's two paths.
  EffectInstance* Root(int32_t state, uint32_t endTime) {
    AddCut(kCutA, {kBodyJet, kBodyJet});
    auto* fx = static_cast<EffectInstance*>(MemCalloc(sizeof(EffectInstance)));
    fx->state = state;
    fx->flags = 4;
    fx->startTime = 10000;
    fx->endTime = endTime;
    fx->instance = B3D_InstAlloc();
    fx->instance->size = kOne;
    for (int32_t n = 0; n < 2; ++n) {
      InstanceRecord* child = B3D_InstAlloc();
      B3D_InstSetBody(child, kBodyJet);
      B3D_InstAddToInst(child, fx->instance);
      child->cutHandle = kCutA;
      child->pathNumber = n;
      child->jobFlags = kJobPlaying;
    }
    ListAddTail(EffectInstanceList(), &fx->node);
    return fx;
  }

  static int Count() {
    int n = 0;
    for (ListNode* node = ListFirst(EffectInstanceList()); node; node = ListNext(node)) ++n;
    return n;
  }
};

TEST_F(CutRoots, ChildrenShrinkTowardTheEndAndGoWhenTheirPathsStop) {
  EffectInstance* fx = Root(2, 19000);
  struct Case {
    uint32_t time;
    int32_t size;  // body 4000 x root 1.0 / 4000, then x the remaining time / 9000
  };
  const Case kCases[] = {{0, kOne}, {4500, kOne / 2}, {9000, 0}, {12000, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.time);
    At(c.time);
    for (InstanceRecord* child : Children(fx->instance)) EXPECT_EQ(child->size, c.size);
  }
  InstFirstChild(fx->instance)->jobFlags = 0;
  At(12010);
  EXPECT_EQ(Children(fx->instance).size(), 1u);
  InstFirstChild(fx->instance)->jobFlags |= kJobEndReported;
  At(12020);
  EXPECT_EQ(Count(), 0);
}

TEST_F(CutRoots, RestartingRootsReplayStoppedPaths) {
  EffectInstance* fx = Root(3, 19000);
  InstanceRecord* stopped = InstFirstChild(fx->instance);
  stopped->jobFlags = 0;
  At(10);
  EXPECT_TRUE(stopped->jobFlags & kJobPlaying);
  EXPECT_EQ(stopped->pathNumber, 0);
  EXPECT_EQ(Count(), 1);
}

}  // namespace
