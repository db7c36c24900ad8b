// Fuzz target of the SA_ object command module: the input is a run of commands, each with an
// argument frame built from the bytes (integers, object ids, texts, doubles, arrays of any
// length, empty slots) and an argument count that may be short of the frame or beyond the
// values filled (those slots stay empty), run on a small universe. Every command must answer or
// leave a waiting call, and nothing may leak.
//
// Input: repeated records of command (2 bytes, big-endian, any value), declared count (1 byte,
// 0..15), then up to that many values: a kind byte (low 3 bits) and its payload.
#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "core/system_block.h"
#include "fuzz_support.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "simulation/commands/sa_module.h"
#include "simulation/simulation.h"
#include "simulation/universe_guard.h"
#include "universe/object_lifecycle.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kFrameSlots = 16;

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool More() const { return at < size; }
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  int32_t Word() {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = (v << 8) | Byte();
    return static_cast<int32_t>(v);
  }
};

UniverseBlock* Universe() {
  static UniverseBlock* universe = [] {
    fuzz::World();
    fuzz::Engine();
    auto* block = static_cast<UniverseBlock*>(MemCalloc(sizeof(UniverseBlock)));
    return CreateUniverse(block);
  }();
  return universe;
}

void FillUniverse(UniverseBlock* universe, uint32_t ids[4]) {
  auto* sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
  CreateSector(sector, MakeTypeWord(kClassSector, 1));
  ids[0] = sector->id;
  const int32_t classes[3] = {kClassShip, kClassSector, kClassShip};
  for (int k = 0; k < 3; ++k) {
    SpaceObject* o = AllocObjectRecord(classes[k]);
    if (classes[k] == kClassSector) CreateSector(static_cast<SectorObject*>(o), MakeTypeWord(kClassSector, 2));
    else CreateObject(o, MakeTypeWord(classes[k], 0));
    ids[k + 1] = o->id;
  }
  (void)universe;
}

void ReadValue(Reader* in, ScriptValue* slot, const uint32_t ids[4]) {
  const uint8_t kind = in->Byte();
  switch (kind & 7) {
    case 0: SetValueInt(slot, in->Word()); break;
    case 1: SetValueInt(slot, static_cast<int32_t>(ids[(kind >> 3) & 3])); break;
    case 2: {
      char text[8] = {};
      const uint8_t n = in->Byte() & 7;
      for (uint8_t k = 0; k < n; ++k) text[k] = static_cast<char>(in->Byte() | 1);
      SetValueString(slot, text);
      break;
    }
    case 3: {
      const int32_t n = in->Byte() & 7;
      if (!AllocArrayValue(slot, n)) break;
      for (int32_t k = 0; k < n; ++k) ArrayWriteInt(slot, k, in->Word());
      break;
    }
    case 4: SetValueDouble(slot, static_cast<double>(in->Word()) / 7.0); break;
    case 5: SetValueCodeAddress(slot, static_cast<uint32_t>(in->Word())); break;
    default: break;  // an empty slot
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UniverseBlock* universe = Universe();
  if (!universe) return 0;
  ScriptEngine* engine = gScriptEngine;
  uint32_t ids[4];
  FillUniverse(universe, ids);
  Reader in{data, size};
  while (in.More()) {
    const int32_t command = static_cast<int16_t>((in.Byte() << 8) | in.Byte());
    const int32_t declared = in.Byte() & 15;
    ScriptValue frame[kFrameSlots]{};
    const int32_t filled = in.Byte() & 15;
    for (int32_t k = 0; k < filled && k < kFrameSlots; ++k) ReadValue(&in, &frame[k], ids);
    ScriptTask* task = NewTask(engine, 8);
    if (!task) break;
    DispatchSpaceObjectCommand(engine->seModuleIndex, task, command, declared, frame);
    if (universe->commandActive != 0 || UniverseGuardDepth() != 0) __builtin_trap();
    ReleaseValue(&task->result);
    FreeTask(engine, task);
    for (ScriptValue& v : frame) ReleaseValue(&v);
  }
  FreeAllObjects(universe);
  return 0;
}
