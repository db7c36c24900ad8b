// Construction of the universe block: the state words, the object list and the id and take
// hashes, the `SA_` module's row in the script engine's module table, and the dock tunnel's body
// id. Called once by the game main (and by test fixtures); never creates an object.
#include <cstring>

#include "core/hash_table.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "simulation/commands/sa_module.h"
#include "simulation/simulation.h"
#include "universe/object_lifecycle.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

int32_t gDockTunnelBodyId = 0;

namespace {

constexpr const char kDockTunnelBody[] = "stations/docks/dock_tunnel";

int32_t ResumeObjectEventValue(uint32_t cookie, int32_t value) {
  SetObjectEventValue(cookie, value);
  return 1;
}

}  // namespace

UniverseBlock* CreateUniverse(UniverseBlock* block) {
  if (!block) return nullptr;
  ScriptEngine* engine = gScriptEngine;
  // Wake-ups refuse module numbers of 32 or more, so a row past the table could never be
  // answered: a full table is refused before anything is made.
  if (!engine || engine->moduleCount < 0 || engine->moduleCount >= kModuleRowCount) return nullptr;

  block->runState[0] = 0;
  block->runState[1] = 0;
  block->scriptValue.type = kValueNone;
  block->scriptValue.bits = 0;
  block->idHash = HashCreate();
  ListInit(&block->objects);
  block->takeHash = HashCreate();
  if (!block->idHash || !block->takeHash) {
    if (block->idHash) HashDestroy(block->idHash);
    if (block->takeHash) HashDestroy(block->takeHash);
    block->idHash = nullptr;
    block->takeHash = nullptr;
    return nullptr;
  }

  const int32_t index = engine->moduleCount++;
  engine->modules[index] = NativeModuleRow{DispatchSpaceObjectCommand, ResumeObjectEventValue, nullptr, nullptr,
                                           GetSpaceObjectCommandNames(), 0};
  block->moduleNo = static_cast<uint32_t>(index);

  block->savedWordC = 0;
  block->player = nullptr;
  block->savedWordD = 0;
  block->statWord = 0;
  block->missileCount = 0;
  std::memset(block->statWords, 0, sizeof(block->statWords));
  block->commandActive = 0;

  gUniverse = block;
  SetFreedInstanceHook(ObjectsForgetInstance);
  gDockTunnelBodyId = B3D_GetBodyID(kDockTunnelBody);
  return block;
}
