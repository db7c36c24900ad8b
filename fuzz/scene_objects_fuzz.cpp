// Fuzz target of the scene objects and the factory connections: a cut read from the input is
// turned into a take's objects, an in-game scene around a ship and a stand-alone scene, under
// one of the cut ids with a scene of its own kind; then factories whose model nodes come from
// the input are joined by tubes. Any body ids, F values, path flags, point counts and positions
// must neither read outside what they name nor leave anything behind.
//
// Input: a selector byte (bit 0: the cut's form, 0 text, 1 binary; bits 1-3: the cut id), the
// length L of the factory part (16 bits), L bytes of factories, then the cut file. A factory is its
// position (three 16-bit words) and a node count, each node a kind byte (dummy, four-point hub,
// three-point hub, or a plain body), a position (three 16-bit words), a yaw byte and a size word.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/data_reader.h"
#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "fuzz_support.h"
#include "scene/body_records.h"
#include "scene/body_text.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/takes_jobs.h"
#include "script/containers.h"
#include "script/engine.h"
#include "universe/factory_connections.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/scene_objects.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kCutIds[8] = {2109, 4447, 4810, 6240, 4822, 6235, 30, 31};
constexpr int32_t kDummyBody = 900;
constexpr int kMaxFactories = 6;
constexpr int kMaxNodes = 40;  // beyond the 32 points a factory keeps

UniverseBlock gFuzzUniverse;

struct StaticBody {
  BodyRecord record{};
  BodyMesh mesh{};
  BodyMesh* meshes[1]{};
};
StaticBody gBodies[5];
std::vector<ObjectTypeRecord> gRows[kObjectClassCount];
std::vector<DummyRow> gDummies;

void ReturningFatal(uint32_t code, const char*) {
  if (code != kBodyExitMalformed && code != kBodyExitMemory) std::abort();
}

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  int32_t Short() {
    const auto high = static_cast<uint16_t>(Byte() << 8);
    return static_cast<int16_t>(high | Byte());
  }
};

ObjectTypeRecord* Rows(int objClass, int count) {
  gRows[objClass].assign(static_cast<size_t>(count), ObjectTypeRecord{});
  gObjectTypeTables[objClass] = {gRows[objClass].data(), count};
  return gRows[objClass].data();
}

void SetUpWorld() {
  fuzz::World();
  fuzz::Engine();
  fuzz::SceneEngine(ReturningFatal);
  SetDefaultLightTypes();

  ListInit(&gFuzzUniverse.objects);
  gFuzzUniverse.idHash = HashCreate();
  gFuzzUniverse.takeHash = HashCreate();
  gFuzzUniverse.takeReplaceBody = 1046;
  gUniverse = &gFuzzUniverse;
  SetFreedInstanceHook(ObjectsForgetInstance);

  // Ships by lookup ids 4000.. (the carrier 280 among them), specials by 4400.. (4445 among
  // them) with the link pieces' bodies, factories, a sun and missiles by body.
  ObjectTypeRecord* ships = Rows(kClassShip, 281);
  for (int32_t s = 0; s < 281; ++s) {
    ships[s].ship.cut = 4000 + s;
    ships[s].ship.scriptClass = 2067;
    ships[s].bodyId = 1060;
  }
  ObjectTypeRecord* specials = Rows(kClassSpecial, 48);
  for (int32_t s = 0; s < 48; ++s) specials[s].special.cut = 4400 + s;
  specials[kSubtypeParentEndPiece].bodyId = 1045;
  specials[kSubtypeTubeSegment].bodyId = 1046;
  specials[kSubtypeChildEndPiece].bodyId = 1047;
  ObjectTypeRecord* factories = Rows(kClassFactory, 3);
  for (int32_t s = 0; s < 3; ++s) factories[s].bodyId = 1060 + s;
  Rows(kClassSun, 1)[0].bodyId = 1;
  ObjectTypeRecord* missiles = Rows(kClassMissile, 2);
  missiles[0].bodyId = 2;
  missiles[1].bodyId = 3;
  gDummies.assign(1, DummyRow{});
  gDummies[0].body = kDummyBody;
  gDummyTable.kinds[4] = {1, gDummies.data()};

  const int32_t ids[5] = {1045, 1046, 1047, 1060, 1061};
  const int32_t sizes[5] = {100, 500, 100, 1000, 0};
  for (int k = 0; k < 5; ++k) {
    StaticBody& b = gBodies[k];
    b.mesh.size = sizes[k];
    b.meshes[0] = &b.mesh;
    b.record.meshCount = 1;
    b.record.meshes = b.meshes;
    b.record.sound.sample = -1;
    BodyCacheInsert(ids[k], &b.record);
  }
}

SpaceObject* Make(int32_t objClass, int32_t subtype, SpaceObject* container) {
  SpaceObject* o = AllocObjectRecord(objClass);
  if (!o) return nullptr;
  if (!CreateObject(o, MakeTypeWord(objClass, subtype))) {
    FreeObjectRecord(o, objClass);
    return nullptr;
  }
  ObjAttachInstance(o, container);
  return o;
}

void Connect(Reader* in, SpaceObject* sector) {
  const int count = in->Byte() % (kMaxFactories + 1);
  SpaceObject* base = nullptr;
  std::vector<int32_t> ids;
  for (int f = 0; f <= count; ++f) {
    SpaceObject* factory = Make(kClassFactory, in->Byte() % 3, sector);
    if (!factory) return;
    const int32_t x = in->Short(), y = in->Short(), z = in->Short();
    ObjSetPosition(factory, x, y, z);
    const int nodes = in->Byte() % (kMaxNodes + 1);
    for (int n = 0; n < nodes && factory->instance; ++n) {
      InstanceRecord* node = B3D_InstAlloc();
      if (!node) break;
      const int32_t kinds[4] = {kDummyBody, kConnectorBodyFour, kConnectorBodyThree, 1045};
      node->bodyId = kinds[in->Byte() & 3];
      node->position = {in->Short(), in->Short(), in->Short(), 0};
      MatrixFromAngles(&node->matrix, static_cast<uint32_t>(in->Byte()) << 8, 0, 0);
      node->size = in->Short();
      B3D_InstAddToInst(node, factory->instance);
    }
    if (f == 0) base = factory;
    else ids.push_back(static_cast<int32_t>(factory->id));
  }
  ids.push_back(0x7FFF0000);  // names no object
  ScriptValue array{};
  ScriptValue result{};
  if (AllocArrayValue(&array, static_cast<int32_t>(ids.size()))) {
    for (size_t k = 0; k < ids.size(); ++k) ArrayWriteInt(&array, static_cast<int32_t>(k), ids[k]);
    CreateFactoryConnections(base, &array, &result);
  }
  ReleaseValue(&result);
  ReleaseValue(&array);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (SetUpWorld(), true);
  (void)ready;
  if (size < 4) return 0;
  if (!AllocBodyDataTable() || !AllocCutDataTable()) std::abort();
  const int32_t cutId = kCutIds[(data[0] >> 1) & 7];
  const size_t factoryBytes = (size_t{data[1]} << 8) | data[2];
  Reader factoryIn{data + 3, factoryBytes < size - 3 ? factoryBytes : size - 3};

  auto* sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
  if (sector) {
    CreateSector(sector, MakeTypeWord(kClassSector, 1));
    sector->sceneA = B3D_SceneAlloc();
  }
  SpaceObject* player = Make(kClassShip, 5, sector);
  if (player) player->componentCut = 4000 + data[0];
  gFuzzUniverse.player = player;

  const size_t cutAt = 3 + factoryIn.size;
  std::vector<uint8_t> buffer(data + cutAt, data + size);
  DataReader reader;
  const bool binary = (data[0] & 1) != 0;
  DataReaderInit(&reader, buffer.data(), binary, buffer.size());
  reader.sections = kCutSectionTable;
  reader.sectionCount = kCutSectionCount;
  if (!buffer.empty() && (binary ? ReadCutBinary(cutId, &reader) : ParseCutText(cutId, &reader))) {
    auto* record = static_cast<ObjTakeRecord*>(MemCalloc(sizeof(ObjTakeRecord)));
    if (record) {
      record->take = TakeAlloc();
      record->sector = sector;
      record->key = HashInsertNewKey(gFuzzUniverse.takeHash, reinterpret_cast<HashValue>(record));
      if (record->take) CreateObjectsFromCut(cutId, record, 5);
    }
    CreateCutSceneObjects(player, 1, cutId, 2);
    CreateCutSceneObjects2(cutId, 3);
  }
  Connect(&factoryIn, sector);

  FreeAllObjects(&gFuzzUniverse);
  ResetEngine3D();
  while (const uint32_t key = HashNextKey(gEngine3D->cutTable, 0))
    FreeCut(reinterpret_cast<CutRecord*>(HashRemove(gEngine3D->cutTable, key)));
  FreeBodyDataTable();
  FreeCutDataTable();
  return 0;
}
