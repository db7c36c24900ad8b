// The bare universe the simulation and HUD benchmarks run in: a system block at game time
// 10000, the math tables, the seeded generator, the scene engine's tables (every object gets its
// instance), a script engine for the universe's command module, and the universe. A benchmark's
// world derives from it, builds its sector on top and gives its own records back before
// EndBenchUniverse.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "simulation/simulation.h"
#include "universe/universe.h"

struct BenchUniverse {
  SystemBlock system{};
  ScriptEngine* engine = nullptr;
  UniverseBlock* universe = nullptr;
};

inline bool StartBenchUniverse(BenchUniverse* w, uint32_t frameStep) {
  InitMathTables();
  w->system.gameTime = 10000;
  w->system.frameStep = frameStep;
  gSystem = &w->system;
  GameSrand(1);
  if (!InitEngine3D()) return false;
  w->engine = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
  if (!w->engine || !InitEngineContext(w->engine)) return false;
  gScriptEngine = w->engine;
  w->universe = CreateUniverse(static_cast<UniverseBlock*>(MemCalloc(sizeof(UniverseBlock))));
  return w->universe != nullptr;
}

inline void EndBenchUniverse(BenchUniverse* w) {
  if (w->universe) {
    DestroyUniverse(w->universe);
    MemFreeIfSet(w->universe);
  }
  gUniverse = nullptr;
  ExitEngine3D();
  if (w->engine) {
    FreeEngineTables(w->engine);
    MemFreeIfSet(w->engine);
  }
  gScriptEngine = nullptr;
  gSystem = nullptr;
}
