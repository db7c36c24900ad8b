// The class files' rows: the common fields, each class's own fields with their version gates, the
// ship's component and turret rows with their derivation from the ship's scene or body, and the
// dock-slot lists of stations and ships. Called by the type loader (and its fuzz target) with an
// open reader. Rows beyond a table's capacity are read past and dropped, never stored.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/data_reader.h"
#include "core/memory.h"
#include "scene/cut_files.h"
#include "scene/cut_records.h"
#include "scene/body_cache.h"
#include "scene/engine_types.h"
#include "scene/scene.h"
#include "universe/model_instances.h"
#include "universe/type_access.h"
#include "universe/type_loader.h"

namespace {

constexpr uint32_t kUniverseMemory = MemCategoryFlags(kMemCatUniverse);
constexpr int kCockpitPairCount = 6;
constexpr int32_t kFirstGrowth = 16;
constexpr DataKeyword kNoNames[] = {{"NULL", 0}, {"", 0}};

// Rows allocated per class table; the table may hold fewer.
int32_t gRowCapacity[kObjectClassCount];

void ReadInts(DataReader* r, int32_t* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = ReadInt(r);
}

void ReadBullet(DataReader* r, int32_t version, int32_t subtype, BulletType* b) {
  b->energy = ReadInt(r);
  b->value1 = ReadInt(r);
  b->hitSound = ReadInt(r);
  b->lifetime = ReadInt(r);
  b->speed = ReadInt(r);
  b->flags = static_cast<uint32_t>(ReadInt(r));
  b->lightRed = ReadInt(r);
  b->lightGreen = ReadInt(r);
  b->lightBlue = ReadInt(r);
  b->shapeSizeA = ReadFixed(r);
  b->shapeSizeB = ReadFixed(r);
  b->shapeSizeC = ReadFixed(r);
  b->trailRow = ReadInt(r);
  b->effectRow = ReadInt(r);
  b->fireRow = ReadInt(r);
  b->value4 = ReadInt(r);
  b->trailParticle = ReadInt(r);
  b->sound = ReadInt(r);
  b->value7 = ReadInt(r);
  b->value8 = ReadInt(r);
  if (version >= kBulletImpactValuesVersion) ReadInts(r, b->impactValue, kBulletImpactValueCount);
  else DeriveBulletImpactValues(b, subtype);
  if (version >= kBulletLateValuesVersion) ReadInts(r, b->lateValues, 2);
  else b->lateValues[0] = b->lateValues[1] = kBulletLateValueDefault;
}

// One of the body lists a background derives from its nebula's name: entries 1..count.
void NebulaBodies(const std::string& base, const char* part, int32_t count, int32_t* out) {
  for (int32_t i = 0; i < count; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", static_cast<int>(i + 1));
    out[i] = B3D_GetBodyID((base + part + number).c_str());
  }
}

void ReadBackground(DataReader* r, int32_t version, BackgroundType* b) {
  const std::string name = ReadName(r);
  b->nebulaName = DuplicateString(name.c_str());
  b->starsCount = BackgroundListCount(ReadInt(r), kBackgroundStarCapacity);
  b->backdropCount = BackgroundListCount(ReadInt(r), kBackgroundStarCapacity);
  b->outsideCount = version >= kBackgroundOutsideVersion ? BackgroundListCount(ReadInt(r), kBackgroundPartCapacity) : 1;
  ReadInts(r, b->values8, 8);
  ReadInts(r, b->values7, 7);
  if (b->values7[6] < b->values7[5]) b->values7[5] = b->values7[6] = 0;
  if (version >= kBackgroundValues4Version) {
    ReadInts(r, b->values4, 4);
  } else {
    b->values4[0] = kBackgroundValues4First;
    for (int i = 1; i < 4; ++i) b->values4[i] = b->values7[i];
  }
  if (r->error) return;
  const std::string base = "environments\\nebulae\\" + name + "\\nebula_" + name;
  NebulaBodies(base, "_stars_", b->starsCount, b->stars);
  NebulaBodies(base, "_background_", b->backdropCount, b->backdrops);
  NebulaBodies(base, "_outside_part", b->outsideCount, b->outsideParts);
  NebulaBodies(base, "_dust_part", kBackgroundPartCapacity, b->dustParts);
}

void ReadStation(DataReader* r, int32_t version, bool factory, StationType* s) {
  s->sound = ReadInt(r);
  s->innerPointZ = ReadFixed(r);
  s->outerPointZ = ReadFixed(r);
  s->value3 = ReadInt(r);
  s->cut = ReadCutName(r);
  s->value5 = ReadInt(r);
  s->qualifier = ReadInt(r);
  s->effectRow = ReadInt(r);
  s->effectRowB = ReadInt(r);
  s->value9 = ReadInt(r);
  if (factory) s->hullFactor = ReadFixed(r);
  if (version >= kStationIconVersion) s->icon = ReadEnum(kIconNameTable, r);
  else s->icon = factory ? kFactoryIconDefault : kDockIconDefault;
}

// The file's component rows of an even-version ship; rows past the capacity are dropped.
void ReadShipComponents(DataReader* r, ShipType* s) {
  const int32_t count = CountInData(r, ReadInt(r), 3, 1);
  for (int32_t i = 0; i < count && !r->error; ++i) {
    ShipComponentRow c{};
    c.slot = ReadInt(r);
    c.turret = ReadInt(r);
    c.nodeBody = ReadBodyName(r);
    c.nodePath = ReadInt(r);
    c.cockpit = -1;
    if (s->componentCount < kShipComponentCapacity) s->components[s->componentCount++] = c;
  }
}

void ReadShipTurrets(DataReader* r, ShipType* s) {
  const int32_t count = CountInData(r, ReadInt(r), 4, 0);
  for (int32_t i = 0; i < count && !r->error; ++i) {
    ShipTurretRow t{};
    t.firstSlot = ReadInt(r);
    t.slotCount = ReadInt(r);
    t.slot = ReadInt(r);
    const int32_t guns = CountInData(r, ReadInt(r), 4, 2);
    for (int32_t g = 0; g < guns && !r->error; ++g) {
      TurretGunRow gun{};
      gun.firstSlot = ReadInt(r);
      gun.slotCount = ReadInt(r);
      gun.gunBody = ReadBodyName(r);
      gun.gunPath = ReadInt(r);
      gun.gunBody2 = ReadBodyName(r);
      gun.gunPath2 = ReadInt(r);
      if (t.gunCount < kTurretGunCapacity) t.gun[t.gunCount++] = gun;
    }
    if (s->turretCount < kShipTurretCapacity) s->turrets[s->turretCount++] = t;
  }
}

void ReadShip(DataReader* r, int32_t version, ShipType* s, int32_t pairs[kCockpitPairCount][2]) {
  s->speed = ReadInt(r);
  s->speed2 = ReadInt(r);
  s->sound = ReadInt(r);
  s->thinkTime = ReadInt(r);
  s->trailRow = ReadInt(r);
  s->instanceKind = ReadInt(r);
  ReadInts(r, s->values6, 3);
  s->cut = ReadCutName(r);
  s->cut2 = ReadCutName(r);
  s->defaultLaserMask = static_cast<uint32_t>(ReadInt(r));
  s->laserCount = ReadInt(r);
  if (version >= kShipWeaponVersion) {
    s->maxWeaponEnergy = ReadInt(r);
    s->weaponRecharge = ReadFixed(r);
  } else {
    s->maxWeaponEnergy = kShipMaxWeaponEnergyDefault;
    s->weaponRecharge = kShipWeaponRechargeDefault;
  }
  ReadInts(r, s->values2, 2);
  const int32_t missiles = ReadInt(r);
  if (version >= kShipMissileMaskVersion) {
    s->missileMask = static_cast<uint32_t>(missiles);
    s->maxMissileGroup = gObjectTypeTables[kClassMissile].count - 1;
  } else {
    s->maxMissileGroup = missiles;
    s->missileMask = MissileMaskUpToGroup(missiles);
  }
  ReadInts(r, s->values5, 5);
  s->value39 = version >= kShipValue39Version ? ReadInt(r) : 0;
  s->viewpointGroup = -1;
  for (int i = 0; i < kCockpitPairCount; ++i) {
    pairs[i][0] = ReadInt(r);
    pairs[i][1] = ReadInt(r);
  }
  s->shipValue = ReadInt(r);
  s->maxEquipmentSize = ReadInt(r);
  s->qualifier = ReadInt(r);
  s->maxHull = ReadInt(r);
  s->effectRow = ReadInt(r);
  s->effectRowB = ReadInt(r);
  s->trailParticle = ReadInt(r);
  s->value25 = version >= kShipValue25Version ? ReadInt(r) : 0;
  s->value27 = version >= kShipValue27Version ? ReadInt(r) : kShipValue27Default;
  s->scriptClass = ReadEnum(kShipScriptClassNames, r);
  if (version % 2 == 0) {
    ReadShipComponents(r, s);
    ReadShipTurrets(r, s);
  }
}

void ReadMissile(DataReader* r, int32_t version, MissileType* m) {
  m->speed = ReadInt(r);
  m->speed2 = ReadInt(r);
  m->launchSound = ReadInt(r);
  m->sound = ReadInt(r);
  m->value4 = ReadInt(r);
  m->damage = ReadInt(r);
  m->blastRadius = ReadInt(r);
  m->rangeTime = ReadInt(r);
  m->trailRow = ReadInt(r);
  if (version < kMissileLateValueVersion) ReadInt(r);  // superseded by the late value
  m->instanceKind = ReadInt(r);
  m->explosionSound = ReadInt(r);
  m->value11 = ReadInt(r);
  m->value12 = ReadInt(r);
  m->lateValue = ReadInt(r);
  m->effectRow = ReadInt(r);
  m->trailParticle = ReadInt(r);
  m->missileFlags = version >= kMissileFlagsVersion ? static_cast<uint32_t>(ReadInt(r)) : 0;
  m->value31 = version >= kMissileValue31Version ? ReadInt(r) : kMissileValue31Default;
  m->icon = version >= kMissileIconVersion ? ReadEnum(kIconNameTable, r) : kMissileIconDefault;
  m->cut = ReadCutName(r);
}

void ReadClassFields(DataReader* r, int32_t objClass, int32_t version, int32_t subtype, ObjectTypeRecord* row,
                     int32_t pairs[kCockpitPairCount][2]) {
  switch (objClass) {
    case kClassBullet: ReadBullet(r, version, subtype, &row->bullet); break;
    case kClassBackground: ReadBackground(r, version, &row->background); break;
    case kClassSun:
      row->sun.cut = ReadCutName(r);
      row->sun.lightParameter = ReadInt(r);
      break;
    case kClassPlanet:
      ReadInts(r, row->planet.lightColour, 3);
      row->planet.cut = ReadCutName(r);
      if (version >= kPlanetPartsVersion) {
        for (int i = 0; i < kPlanetPartCapacity; ++i) {
          row->planet.partBody[i] = ReadBodyName(r);
          row->planet.partValue[i] = ReadInt(r);
        }
      }
      break;
    case kClassDock: ReadStation(r, version, false, &row->station); break;
    case kClassFactory: ReadStation(r, version, true, &row->station); break;
    case kClassShip: ReadShip(r, version, &row->ship, pairs); break;
    case kClassLaser:
      row->laser.value0 = ReadInt(r);
      row->laser.value1 = ReadInt(r);
      row->laser.bulletType = ReadInt(r);
      row->laser.value3 = ReadInt(r);
      row->laser.fixedValue = ReadFixed(r);
      row->laser.icon = version >= kLaserIconVersion ? ReadEnum(kIconNameTable, r) : kLaserIconDefault;
      break;
    case kClassShield:
      row->shield.value0 = ReadInt(r);
      row->shield.capacity = ReadInt(r);
      row->shield.value2 = ReadInt(r);
      row->shield.fixedValue = ReadFixed(r);
      break;
    case kClassMissile: ReadMissile(r, version, &row->missile); break;
    case kClassAsteroid:
      row->asteroid.cut = ReadCutName(r);
      if (version >= kAsteroidCutsVersion) {
        row->asteroid.effectRow = ReadInt(r);
        row->asteroid.effectRowB = ReadInt(r);
        row->asteroid.rockCut = ReadCutName(r);
      }
      break;
    case kClassGate: row->gate.cut = ReadCutName(r); break;
    case kClassSpecial:
      row->special.cut = ReadCutName(r);
      if (version >= kSpecialExtraFirstVersion && version <= kSpecialExtraLastVersion) ReadInt(r);
      break;
    case kClassCockpit:
      row->cockpit.cut = ReadCutName(r);
      row->cockpit.laserMask = static_cast<uint32_t>(ReadInt(r));
      break;
    case kClassDebris:
    case kClassDockWreck:
    case kClassFactoryWreck:
    case kClassShipWreck:
      row->debris.cut = ReadCutName(r);
      row->debris.value = ReadInt(r);
      row->debris.body = ReadBodyName(r);
      if (objClass == kClassDebris && version >= kDebrisRockCutVersion) row->debris.rockCut = ReadCutName(r);
      break;
    default: break;  // the wares carry no fields of their own
  }
}

DockSlotList** RowDockSlots(int32_t objClass, ObjectTypeRecord* row) {
  if (objClass == kClassDock || objClass == kClassFactory) return &row->station.dockSlots;
  if (objClass == kClassShip) return &row->ship.dockSlots;
  return nullptr;
}

int32_t RowSceneCut(int32_t objClass, const ObjectTypeRecord* row) {
  return objClass == kClassShip ? row->ship.cut : row->station.cut;
}

void FreeRowOwned(int32_t objClass, ObjectTypeRecord* row) {
  row->typeId = FreeString(row->typeId);
  if (objClass == kClassBackground) row->background.nebulaName = FreeString(row->background.nebulaName);
  if (DockSlotList** slots = RowDockSlots(objClass, row)) {
    FreeDockSlotList(*slots);
    *slots = nullptr;
  }
}

// One row; false (and nothing kept) when the data ends before the row does.
bool ReadRow(UniverseBlock* universe, DataReader* r, int32_t objClass, int32_t version, int32_t subtype,
             ObjectTypeRecord* row) {
  std::memset(static_cast<void*>(row), 0, sizeof *row);
  row->bodyId = ReadBodyName(r);
  row->altBodyId = ReadBodyName(r);
  for (int32_t& rate : row->turnRate) rate = ReadFixed(r);
  const DataKeyword* groups = GetClassGroupNames(objClass);
  row->group = ReadEnum(groups ? groups : kNoNames, r);
  row->nameTextId = ReadInt(r);
  int32_t pairs[kCockpitPairCount][2] = {};
  ReadClassFields(r, objClass, version, subtype, row, pairs);
  if (objClass == kClassShip && !r->error) DeriveShipComponents(row, version, pairs);
  ReadInts(r, row->tailValue, 6);
  row->tailValue[6] = version >= kTailValue7Version ? ReadInt(r) : kTailValue7Default;
  row->tailValue[7] = version >= kTailValue8Version ? ReadInt(r) : 0;
  row->tailValue[8] = version >= kTailValue9Version ? ReadInt(r) : 0;
  const std::string typeId = ReadName(r);
  if (!typeId.empty()) row->typeId = DuplicateString(typeId.c_str());
  if (r->error) {
    FreeRowOwned(objClass, row);
    return false;
  }
  if (DockSlotList** slots = RowDockSlots(objClass, row)) {
    *slots = NewDockSlotList();
    if (*slots) BuildObjectModelInstances(universe, RowSceneCut(objClass, row), nullptr, nullptr, *slots);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Ship derivation.

uint32_t CockpitLaserMask(int32_t cockpit) {
  const ObjectTypeRecord* row = TypeRow(kClassCockpit, cockpit);
  return row ? row->cockpit.laserMask : 0;
}

int32_t PointsOf(int32_t kind, int32_t body) {
  const ComponentEntry* entry = FindEntry12ById(kind, body);
  return entry ? entry->pointCount : 0;
}

bool AddComponent(ShipType* s, int32_t slot, int32_t turret, int32_t body, int32_t path) {
  if (s->componentCount >= kShipComponentCapacity) return false;
  s->components[s->componentCount++] = {slot, turret, body, path, -1, 0};
  return true;
}

ShipTurretRow* AddTurret(ShipType* s, int32_t firstSlot, int32_t slot) {
  if (s->turretCount >= kShipTurretCapacity) return nullptr;
  ShipTurretRow* t = &s->turrets[s->turretCount++];
  *t = ShipTurretRow{};
  t->firstSlot = firstSlot;
  t->slot = slot;
  return t;
}

// The derivation of one scene: the guns of a pass go to the pass's turret, made on first need.
struct SceneDerivation {
  ShipType* ship;
  int32_t cursor = 1;
  int32_t turret = -1;  // the current pass's turret

  bool AddGun(int32_t slot, int32_t count, int32_t body, int32_t path, int32_t body2, int32_t path2) {
    if (turret < 0) {
      if (!AddTurret(ship, cursor, slot)) return false;
      turret = ship->turretCount - 1;
    }
    ShipTurretRow& t = ship->turrets[turret];
    if (t.gunCount >= kTurretGunCapacity) return false;
    t.gun[t.gunCount++] = {cursor, count, body, path, body2, path2};
    t.slotCount += count;
    ship->laserCount += count;
    cursor += count;
    return true;
  }
};

bool PathBody(const PathRecord& path, int32_t* body) {
  if (path.flags & kPathNamesCut) return false;
  *body = static_cast<int32_t>(path.lookupWord);
  return *body >= 0;
}

// The guns of the dummy gun rows on body b: every path of each row's first cut with laser points.
bool AddDummyGuns(SceneDerivation* d, int32_t slot, int32_t body, int32_t path) {
  bool added = false;
  const DummyKindTable& guns = gDummyTable.kinds[kDummyKindGun];
  for (int32_t i = 0; i < guns.count; ++i) {
    if (guns.rows[i].body != body) continue;
    const CutRecord* cut = J3D_LoadCut(guns.rows[i].cut[0]);
    if (!cut) continue;
    for (int32_t q = 0; q < cut->pathCount && cut->paths; ++q) {
      int32_t body2;
      if (!PathBody(cut->paths[q], &body2)) continue;
      const int32_t m = PointsOf(0, body2);
      if (m > 0 && d->AddGun(slot, m, body, path, body2, q)) added = true;
    }
  }
  return added;
}

void DeriveFromScene(ShipType* s, const int32_t pairs[kCockpitPairCount][2]) {
  CutRecord* cut = J3D_LoadCut(s->cut);
  if (!cut) return;
  SceneDerivation d{s};
  for (int32_t slot = 1; slot > 0; ++slot) {
    bool added = false;
    d.turret = -1;
    for (int32_t p = 0; p < cut->pathCount && cut->paths; ++p) {
      const PathRecord& path = cut->paths[p];
      int32_t body;
      if (!PathBody(path, &body)) continue;
      const int32_t pathSlot = static_cast<int32_t>(path.loaderWord) < 1 ? 1 : static_cast<int32_t>(path.loaderWord);
      if (pathSlot != slot) continue;
      if (slot >= 2 && slot <= kShipComponentCapacity && CockpitLaserMask(pairs[slot - 2][0]) == 0) continue;
      if (PointsOf(1, body) > 0 && AddComponent(s, slot, -1, body, p)) added = true;
      const int32_t n = PointsOf(0, body);
      if (n > 0 && d.AddGun(slot, n, body, p, -1, -1)) added = true;
      if (AddDummyGuns(&d, slot, body, p)) added = true;
    }
    if (slot == 1 && s->laserCount == 0 && s->componentCount > 0) {
      if (ShipTurretRow* t = AddTurret(s, d.cursor, 1)) {
        t->gunCount = 1;
        t->gun[0] = {d.cursor, 0, 0, 0, -1, -1};
      }
    }
    if (!added) break;
  }
  for (int32_t c = 0; c < s->componentCount; ++c) {
    ShipComponentRow& component = s->components[c];
    component.turret = -1;
    for (int32_t t = 0; t < s->turretCount; ++t) {
      if (s->turrets[t].slot == component.slot) {
        component.turret = t;
        break;
      }
    }
  }
  J3D_FreeCut(cut);
}

void DeriveFromBody(ShipType* s, int32_t body) {
  const int32_t lasers = PointsOf(0, body);
  const int32_t cockpits = PointsOf(1, body);
  if (lasers > 0 || cockpits > 0) {
    s->laserCount = lasers;
    ShipTurretRow* t = AddTurret(s, 1, 1);
    t->slotCount = lasers;
    t->laserMask = s->defaultLaserMask;
    t->gunCount = 1;
    t->gun[0] = {1, lasers, lasers > 0 ? body : 0, 0, -1, -1};
  }
  if (cockpits > 0) AddComponent(s, 1, lasers > 0 ? 0 : -1, body, 0);
}

ShipTurretRow* TurretOf(ShipType* s, const ShipComponentRow& component) {
  return component.turret >= 0 && component.turret < s->turretCount ? &s->turrets[component.turret] : nullptr;
}

}  // namespace

void DeriveShipComponents(ObjectTypeRecord* row, int32_t version, const int32_t pairs[6][2]) {
  ShipType* s = &row->ship;
  if (version % 2 != 0) {
    s->laserCount = 0;
    s->componentCount = 0;
    s->turretCount = 0;
    std::memset(s->components, 0, sizeof s->components);
    std::memset(s->turrets, 0, sizeof s->turrets);
    if (row->bodyId >= 0) {
      if (s->cut <= 0) DeriveFromBody(s, row->bodyId);
      else DeriveFromScene(s, pairs);
    }
  }
  if (s->componentCount > 0) {
    s->components[0].cockpit = -1;
    s->components[0].cockpitValue = 0;
    if (ShipTurretRow* t = TurretOf(s, s->components[0])) {
      t->cockpitValue = 0;
      t->laserMask = s->defaultLaserMask;
    }
    for (int32_t k = 1; k < s->componentCount; ++k) {
      ShipComponentRow& component = s->components[k];
      component.cockpit = pairs[k - 1][0];
      component.cockpitValue = pairs[k - 1][1];
      if (ShipTurretRow* t = TurretOf(s, component)) {
        t->cockpitValue = component.cockpitValue;
        t->laserMask = CockpitLaserMask(component.cockpit);
      }
    }
  }
  for (int32_t t = 0; t < s->turretCount; ++t) {
    if (s->turrets[t].laserMask == 0) s->turrets[t].laserMask = s->defaultLaserMask;
  }
}

void ReadClassRows(UniverseBlock* universe, DataReader* reader, int32_t objClass) {
  if (!reader || objClass < 0 || objClass >= kObjectClassCount) return;
  ObjectTypeTable& table = gObjectTypeTables[objClass];
  if (table.rows) return;  // a second load needs FreeTypes first
  const int32_t version = ReadInt(reader);
  const int32_t count = ReadInt(reader);
  if (reader->error || count <= 0) return;
  int32_t capacity = 0;
  ObjectTypeRecord row;
  for (int32_t subtype = 0; subtype < count && DataReaderBytesLeft(reader) > 0; ++subtype) {
    if (!ReadRow(universe, reader, objClass, version, subtype, &row)) break;
    if (subtype == capacity) {
      const int32_t grown = capacity == 0 ? kFirstGrowth : capacity * 2;
      const int32_t next = grown < count ? grown : count;
      const size_t oldBytes = sizeof(ObjectTypeRecord) * static_cast<size_t>(capacity);
      const size_t newBytes = sizeof(ObjectTypeRecord) * static_cast<size_t>(next);
      void* rows = table.rows ? MemRealloc(table.rows, oldBytes, newBytes, kUniverseMemory)
                              : MemAlloc(newBytes, kUniverseMemory);
      if (!rows) {
        FreeRowOwned(objClass, &row);
        break;
      }
      table.rows = static_cast<ObjectTypeRecord*>(rows);
      capacity = next;
    }
    table.rows[subtype] = row;
    table.count = subtype + 1;
    if (ComponentsGenerationActive()) ComponentsGenerationAddRow(objClass, subtype);
  }
  gRowCapacity[objClass] = capacity;
}

void FreeClassTable(int32_t objClass) {
  ObjectTypeTable& table = gObjectTypeTables[objClass];
  for (int32_t s = 0; s < table.count && table.rows; ++s) FreeRowOwned(objClass, &table.rows[s]);
  if (table.rows) MemFree(table.rows, sizeof(ObjectTypeRecord) * static_cast<size_t>(gRowCapacity[objClass]), kUniverseMemory);
  table = ObjectTypeTable{};
  gRowCapacity[objClass] = 0;
}

void MakeBuiltInRows() {
  for (uint16_t objClass : {kClassCamera, kClass21}) {
    ObjectTypeTable& table = gObjectTypeTables[objClass];
    if (table.rows) continue;
    auto* row = static_cast<ObjectTypeRecord*>(MemAlloc(sizeof(ObjectTypeRecord), kUniverseMemory));
    if (!row) continue;
    FillBuiltInTypeRow(objClass, row);
    table.rows = row;
    table.count = 1;
    gRowCapacity[objClass] = 1;
  }
}
