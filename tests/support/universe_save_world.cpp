// The universe to save and load of the universe save tests, fuzz target and benchmark.
#include "support/universe_save_world.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/camera_records.h"
#include "scene/cut_reading.h"
#include "scene/engine_records.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_cameras.h"
#include "scene/take_records.h"
#include "universe/dock_ports.h"
#include "universe/object_lifecycle.h"
#include "universe/object_queries.h"
#include "universe/object_takes.h"
#include "universe/type_access.h"
#include "universe/universe_registry.h"
#include "universe/universe_save.h"

struct UniverseSaveWorld::PortList {
  DockSlotList list{};
  DockPortType ports[kDockPlaces]{};
};

namespace {

int gWorldCount = 0;

void AddDockTable(SpaceObject* o, DockSlotTable** slot, InstanceRecord* entry) {
  auto* table = static_cast<DockSlotTable*>(MemCalloc(sizeof(DockSlotTable)));
  table->rows = static_cast<DockSlotRow*>(MemCalloc(sizeof(DockSlotRow) * UniverseSaveWorld::kDockPlaces));
  table->typeList = GetTypeDockSlotList(o->objClass, o->subtype);
  table->count = UniverseSaveWorld::kDockPlaces;
  table->capacity = UniverseSaveWorld::kDockPlaces;
  for (int32_t i = 0; i < table->count; ++i) {
    DockSlotRow& row = table->rows[i];
    row.slot = i;
    row.port = DockPortOfList(table->typeList, i);
    row.reservedGroup = i + 3;
    row.rangeEnd = 40 + i;
    row.entries[1] = entry;
    row.entryCount = 2;
    row.refreshedAt = 5000;
  }
  *slot = table;
}

}  // namespace

UniverseSaveWorld::UniverseSaveWorld() {
  savedSystem_ = gSystem;
  system_.gameTime = 5000;
  gSystem = &system_;
  for (int c = 0; c < kObjectClassCount; ++c) {
    rows_[c].assign(1, ObjectTypeRecord{});
    gObjectTypeTables[c] = {rows_[c].data(), 1};
  }
  for (uint16_t c : {kClassDock, kClassFactory, kClassShip}) {
    auto ports = std::make_unique<PortList>();
    ListInit(&ports->list.slots);
    for (DockPortType& port : ports->ports) ListAddTail(&ports->list.slots, &port.node);
    if (c == kClassShip) {
      rows_[c][0].ship.dockSlots = &ports->list;
    } else {
      rows_[c][0].station.dockSlots = &ports->list;
    }
    ports_.push_back(std::move(ports));
  }
  rows_[kClassShip][0].ship.turretCount = kTurrets;
  rows_[kClassShip][0].ship.viewpointGroup = -1;
  ListInit(&universe_.objects);
  universe_.idHash = HashCreate();
  universe_.takeHash = HashCreate();
  gUniverse = &universe_;
  SetFreedInstanceHook(ObjectsForgetInstance);
  path_ = (std::filesystem::temp_directory_path() /
           ("korvane_sect_" + std::to_string(getpid()) + "_" + std::to_string(gWorldCount++) + ".bin"))
              .string();
}

UniverseSaveWorld::~UniverseSaveWorld() {
  // The type tables are the world's own; the universe's teardown must not free them.
  FreeAllObjects(&universe_);
  HashDestroy(universe_.idHash);
  HashDestroy(universe_.takeHash);
  ResetEngine3D();
  SetFreedInstanceHook(nullptr);
  gUniverse = nullptr;
  for (auto& table : gObjectTypeTables) table = {};
  gSystem = savedSystem_;
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

SectorObject* UniverseSaveWorld::Sector(bool withScene) {
  auto* s = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
  CreateSector(s, MakeTypeWord(kClassSector, 0));
  s->name = FreeString(s->name);
  if (withScene) s->sceneA = B3D_SceneAlloc();
  return s;
}

SpaceObject* UniverseSaveWorld::Add(uint16_t objClass, SpaceObject* parent, const char* name) {
  SpaceObject* o = AllocObjectRecord(objClass);
  CreateObject(o, MakeTypeWord(objClass, 0));
  o->name = FreeString(o->name);  // the type's name text is not the world's
  if (name) ObjSetName(o, name);
  if (parent) {
    ObjectListRemove(o);
    ObjectListAddTail(ObjectChildren(parent), o);
    o->parent = parent;
    SceneRecord* scene = parent->objClass == kClassSector ? static_cast<SectorObject*>(parent)->sceneA : nullptr;
    if (scene && !o->instance) {
      InstanceRecord* instance = B3D_InstAlloc();
      instance->position = {static_cast<int32_t>(o->id) * 1000, 0, 0, 0};
      AddInstanceToScene(instance, scene);
      o->instance = o->shownInstance = instance;
    }
  }
  return o;
}

ObjTakeRecord* UniverseSaveWorld::Take(SectorObject* sector, const std::vector<SpaceObject*>& actors) {
  const auto count = static_cast<int32_t>(actors.size());
  CutRecord* cut = AllocCutRecord("save");
  PathRecord* paths = AllocCutPaths(count, "save");
  EnterCut(cut, 7000 + static_cast<int32_t>(HashCount(gEngine3D->cutTable)), paths, count);
  ObjTakeRecord* record = ObjTakeCreate(sector);
  record->value = 77;
  record->take->cutHandle = cut->handle;
  record->take->instanceCount = count;
  record->take->instances = AllocTakeInstanceSlots(count);
  record->actors = static_cast<SpaceObject**>(MemCalloc(sizeof(SpaceObject*) * actors.size()));
  for (int32_t i = 0; i < count; ++i) record->actors[i] = actors[size_t(i)];
  return record;
}

void UniverseSaveWorld::FillBusy(int sectors, int objects) {
  static const uint16_t kClasses[] = {kClassBullet, kClassBackground, kClassSun,         kClassPlanet,
                                      kClassDock,   kClassFactory,    kClassShip,        11,
                                      12,           13,               14,                15,
                                      16,           kClassAsteroid,   kClassGate,        kClassCamera,
                                      kClassSpecial, kClass21,        kClassBodyObject,  kClassDebris,
                                      kClassDockWreck, kClassFactoryWreck, kClassShipWreck};
  const int perSector = std::max(objects / std::max(sectors, 1) - 1, 1);
  for (int s = 0; s < sectors; ++s) {
    SectorObject* sector = Sector();
    std::vector<SpaceObject*> made;
    SpaceObject* dock = nullptr;
    SpaceObject* gate = nullptr;
    while (static_cast<int>(made.size()) < perSector) {
      for (uint16_t c : kClasses) {
        if (static_cast<int>(made.size()) >= perSector) break;
        SpaceObject* o = Add(c, sector, made.size() % 3 == 0 ? "Object name" : nullptr);
        o->speed = static_cast<int32_t>(o->id) * 7;
        o->hull = 1000 + static_cast<int32_t>(made.size());
        o->owner = static_cast<uint16_t>(made.size() % 2 ? 3 : kNoOwner);
        made.push_back(o);
        if (c == kClassDock) {
          dock = o;
          AddDockTable(o, &static_cast<DockExt*>(o->ext)->dockSlots, o->instance);
          made.push_back(Add(kClassShip, o, "Docked"));
        } else if (c == kClassFactory) {
          AddDockTable(o, &static_cast<FactoryExt*>(o->ext)->dock.dockSlots, o->instance);
        } else if (c == kClassGate) {
          gate = o;
        } else if (c == kClassCamera) {
          // Following the sector's first object along y, stopped, driving an engine camera.
          auto* cam = static_cast<CameraExt*>(o->ext);
          cam->defaultTarget = made.front();
          cam->words[kCameraFollowOffsetWord] = static_cast<uint32_t>(-25000);
          cam->words[kCameraFollowAxisWord] = 2;
          cam->words[kCameraStopWord] = 1;
          cam->words[kCameraKeepDistanceWord] = 9000;
          if (CameraRecord* engineCamera = B3D_CameraAlloc()) cam->sceneInstance = &engineCamera->instance;
        } else if (c == kClassShip) {
          auto* ship = static_cast<ShipExt*>(o->ext);
          AddDockTable(o, &ship->dockSlots, o->instance);
          for (int t = 0; t < kTurrets; ++t) {
            ship->turrets[t].since = 100 + static_cast<uint32_t>(t);
            ship->turrets[t].targetObject = sector;
          }
          ship->threatCount = 2;
          ship->threats[0] = sector;
          ship->threats[1] = made.front();
          ship->commandObject = made.front();
          ship->weaponEnergy = 5000;
          made.push_back(Add(kClassLaser, o));
          made.push_back(Add(kClassShield, o));
          made.push_back(Add(kClassMissile, o));
          ShipSelectViewpoint(o, -1, true, true);
        }
      }
    }
    if (gate) {
      for (int i = 0; i < kGateSlotCount && i < static_cast<int>(made.size()); ++i) {
        static_cast<GateExt*>(gate->ext)->slotShips[i] = made[size_t(i)];
      }
    }
    (void)dock;
    Take(sector, {made[0], nullptr, made.back()});
  }
}

std::string UniverseSaveWorld::Write(bool simulation) {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, path_.c_str(), "wb", false)) return {};
  const bool ok = WriteUniverse(&file) && (!simulation || (WriteSimulationState(&file) && WriteCameraState(&file)));
  FileClose(&file);
  if (!ok) return {};
  std::ifstream in(path_, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool UniverseSaveWorld::Read(const std::string& bytes, bool fullReader, bool simulation) {
  {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, path_.c_str(), "rb", false)) return false;
  bool ok = fullReader ? ReadUniverse(&file) : ReadUniverseSection(&file);
  if (ok && simulation && FileTell(&file) < static_cast<long>(bytes.size())) ok = ReadSimulationState(&file);
  if (ok && simulation && FileTell(&file) < static_cast<long>(bytes.size())) ok = ReadCameraState(&file);
  FileClose(&file);
  return ok;
}

void UniverseSaveWorld::EmptyKeepingEngine() {
  for (uint32_t key = HashNextKey(universe_.idHash, 0); key; key = HashNextKey(universe_.idHash, key)) {
    auto* o = reinterpret_cast<SpaceObject*>(HashGet(universe_.idHash, key));
    o->instance = o->shownInstance = o->carrierNode = o->beamEffect = nullptr;
    if (!o->ext) continue;
    if (o->objClass == kClassSun) {
      static_cast<SunExt*>(o->ext)->lightA = static_cast<SunExt*>(o->ext)->lightB = nullptr;
    } else if (o->objClass == kClassPlanet) {
      static_cast<PlanetExt*>(o->ext)->light = nullptr;
    } else if (o->objClass == kClassBullet) {
      static_cast<BulletExt*>(o->ext)->attachedInstance = nullptr;
    } else if (o->objClass == kClassShip) {
      static_cast<ShipExt*>(o->ext)->attachedInstance = nullptr;
    }
  }
  for (uint32_t key = HashNextKey(universe_.takeHash, 0); key; key = HashNextKey(universe_.takeHash, key)) {
    reinterpret_cast<ObjTakeRecord*>(HashGet(universe_.takeHash, key))->take = nullptr;
  }
  FreeAllObjects(&universe_);
}
