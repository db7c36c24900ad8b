// The engine state fixture of the scene engine's tests.
#include "support/engine_fixture.h"

#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "render/effect_cache.h"
#include "scene/effect_registry.h"

EngineFixture::EngineFixture() : engine_(std::make_unique<EngineState3D>()) {
  static const bool tablesReady = (InitMathTables(), true);
  (void)tablesReady;
  EngineState3D& e = *engine_;
  for (ListHead* list : {&e.loadedBodies, &e.scenes, &e.instances, &e.drawNodePool, &e.drawList, &e.lights,
                         &e.particleFreeList, &e.activeParticles, &e.particleList3}) {
    ListInit(list);
  }
  for (HashTable** table :
       {&e.handleTable, &e.sceneTable, &e.bodyCache, &e.cutTable, &e.takeTable, &e.entryTable60, &e.effectTable}) {
    *table = HashCreate();
  }
  e.gammaValue = 127;
  e.shadowAlpha = 200;
  previous_ = gEngine3D;
  gEngine3D = engine_.get();
  InstallEffectRegistry();
}

EngineFixture::~EngineFixture() {
  EngineState3D& e = *engine_;
  for (HashTable* table :
       {e.handleTable, e.sceneTable, e.bodyCache, e.cutTable, e.takeTable, e.entryTable60, e.effectTable}) {
    HashDestroy(table);
  }
  gEngine3D = previous_;
  if (!gEngine3D) SetEffectRegistryCalls(nullptr);
}
