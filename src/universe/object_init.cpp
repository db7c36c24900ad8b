// Object initialisation by class: turns a blank space-object record into a live object of a class
// and subtype (common fields, class extension, scene instance with body and collision shape,
// name, model instances, radius, hull and the final flag bits). Only object creation calls it.
// It never links the object anywhere, never gives it an id, and never reads a type row that the
// loaded table does not hold: a subtype outside a class's table keeps the common fields only.
#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/lights.h"
#include "scene/scene.h"
#include "script/text_database.h"
#include "universe/object_lifecycle.h"
#include "universe/object_models.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kMissileBody = 27;
constexpr int32_t kSunFallbackBody = 31;
constexpr int32_t kCameraBody = 174;
constexpr int32_t kSunFallbackRadius = 110000000;
constexpr int32_t kBoundaryRadius = 10515000;  // special subtype 92
constexpr int32_t kBulletMinSize = 100;
constexpr int32_t kBeamBulletRadius = 10000;
constexpr uint32_t kFinalFlags = 0x80000004;
constexpr uint32_t kInst2Bit26 = 1u << 26;
constexpr uint32_t kInst2OwnerNone = 1u << 6;  // owner race still none
constexpr int16_t kPlanetSubtypeRing = 139;
constexpr int16_t kShipSubtype275 = 275;
constexpr int32_t kNameTextPage = 35;
constexpr int32_t kNameTextPageHigh = 17;
constexpr int32_t kSectorNameText = 882;
constexpr int32_t kDockPointDrop = 0x20000;  // 2.0: the outer dock point lies below the inner
constexpr size_t kWreckNameLimit = 256;

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

// A type's body id as the unsigned 16-bit value the instances bind (-1 reads as 65535).
int32_t Body16(const ObjectTypeRecord* row) { return row ? static_cast<uint16_t>(row->bodyId) : -1; }

bool ClassHasTable(int32_t objClass) {
  return objClass >= 0 && objClass < kObjectClassCount &&
         (kObjectClassFiles[objClass] != nullptr || gObjectTypeTables[objClass].rows != nullptr);
}

bool IsWreck(int32_t c) { return c >= kClassDockWreck && c <= kClassShipWreck; }
bool IsWare(int32_t c) { return c >= kClassWareFirst && c <= kClassWareLast; }

void SetRandomTurnRates(SpaceObject* o) {
  o->turnRates[0] = RandomUpTo(0x6666) - 0x3333;
  o->turnRates[1] = RandomUpTo(0x6666) - 0x3333;
  o->turnRates[2] = RandomUpTo(0x3333) - 0x1999;
}

void SetTreeFlag2(InstanceRecord* instance, intptr_t bits) { instance->flags2 |= static_cast<uint32_t>(bits); }
void SetTreeFlag(InstanceRecord* instance, intptr_t bits) { instance->flags |= static_cast<uint32_t>(bits); }
void SetTreeColour(InstanceRecord* instance, intptr_t value) { instance->colorOverride = static_cast<uint32_t>(value); }

// The working values the class switch hands on to the instance and completion steps.
struct InitState {
  int32_t bodyId = -1;
  int32_t soundId = 0;
  uint32_t instFlags = 0;
  uint32_t instFlags2 = 0;
  int32_t instKind = 0;
};

void* NewExtension(SpaceObject* o) {
  const size_t size = ObjectExtensionSize(o->objClass);
  if (!size) return nullptr;
  o->ext = MemCalloc(size);
  if (ListHead* children = ObjectChildren(o)) ListInit(children);
  return o->ext;
}

void DockPointsFromBody(DockExt* dock, int32_t bodyId) {
  if (!dock || bodyId < 0) return;
  const ComponentEntry* entry = FindEntry12ById(kComponentKindDocking, bodyId);
  if (!entry || entry->pointCount == 0 || !entry->points) return;
  const ComponentPoint& p = entry->points[0];
  dock->innerPoint = {p.position[0], p.position[1], p.position[2], 0};
  dock->outerPoint = dock->innerPoint;
  dock->outerPoint.z -= kDockPointDrop;
}

void InitStation(SpaceObject* o, const ObjectTypeRecord* row, InitState* s) {
  o->flags = kObjFlagContainer;
  o->flags2 |= kObjFlag2Bit7;
  s->bodyId = Body16(row);
  s->soundId = row->station.sound;
  s->instFlags = 0x20000;
  auto* dock = static_cast<DockExt*>(NewExtension(o));
  if (!dock) return;
  dock->nextLaunchAt = Now();
  dock->innerPoint.z = row->station.innerPointZ;
  dock->outerPoint.z = row->station.outerPointZ;
  if (o->objClass == kClassFactory) dock->words[kFactoryStationStateWord] = kFactoryStationStateNew;
  DockPointsFromBody(dock, s->bodyId);
}

void InitShip(SpaceObject* o, const ObjectTypeRecord* row, InitState* s) {
  o->flags = 0;
  s->bodyId = Body16(row) == 65535 ? 0 : Body16(row);
  s->instKind = static_cast<uint16_t>(row->ship.instanceKind);
  s->soundId = row->ship.sound;
  s->instFlags = 0x20000;
  if (o->subtype == kShipSubtype275) s->instFlags2 = 0x20000000;
  auto* ship = static_cast<ShipExt*>(NewExtension(o));
  if (ship) {
    const uint32_t now = Now();
    ship->nextLaunchAt = now;
    ship->innerPoint.z = kShipInnerPointZ;
    ship->outerPoint.z = kShipOuterPointZ;
    ship->thinkPeriod = static_cast<uint32_t>(row->ship.thinkTime) * 50;
    ship->thinkDue = ship->thinkPeriod + now;
    ship->nextCheckAt = now + 900;
    ship->tuning = kFixedOne;
    ship->commandState = 0;
    ship->dockSlot = -1;
    ship->race10SpeedLimit = ship->maxSpeedOverride = ship->valueOverride = -1;
    ship->heldSpeedLimit = -1;
    ship->speedFactor = kFixedOne;
    ship->weaponEnergy = static_cast<int32_t>(static_cast<int64_t>(row->ship.maxWeaponEnergy) * 1000);
    MatrixFromAngles(&ship->rotation, 0, 0, 0);
    MatrixFromAngles(&ship->carriedMatrix, 0, 0, 0);
    ship->viewpoint = 0;  // reset to -1 with the view angles once the instance exists
  }
  if (row->ship.shipValue > 0 && ShipIsLargeClass(o)) o->flags |= kObjFlagContainer;
}

// Step 2: extension, flags and the working values. False ends initialisation with the common
// fields only.
bool ClassSwitch(SpaceObject* o, const ObjectTypeRecord* row, InitState* s) {
  const uint32_t now = Now();
  const int32_t c = o->objClass;
  switch (c) {
    case kClassBullet: {
      o->flags = 0x40004801;
      s->bodyId = Body16(row);
      s->soundId = row->bullet.sound;
      s->instFlags2 = 0x20800000;
      if (auto* b = static_cast<BulletExt*>(NewExtension(o))) {
        b->expiresAt = static_cast<uint32_t>(row->bullet.impactValue[1]) + static_cast<uint32_t>(row->bullet.lifetime) + now;
        b->firedAt = now;
      }
      return true;
    }
    case kClassSector:
      NewExtension(o);
      o->flags2 |= kObjFlag2Bit7;
      return true;
    case kClassSun:
      NewExtension(o);
      o->flags = 0x401;
      o->flags2 |= kObjFlag2Bit7;
      if (row->bodyId > 0) {
        s->bodyId = Body16(row);
      } else {
        s->bodyId = kSunFallbackBody;
        s->instFlags = 0x104000;
      }
      return true;
    case kClassPlanet: {
      const bool ring = o->subtype == kPlanetSubtypeRing;
      o->flags = ring ? 0xC01 : 0x801;
      o->flags2 |= kObjFlag2Bit7 | (ring ? kObjFlag2Bit3 : 0);
      s->bodyId = Body16(row);
      for (int i = 0; i < 3; ++i) o->turnRates[i] = row->turnRate[i];
      s->instFlags = ring ? 0xA000020 : 0x2000020;
      if (auto* p = static_cast<PlanetExt*>(NewExtension(o))) std::memcpy(p->lightColour, row->planet.lightColour, sizeof p->lightColour);
      return true;
    }
    case kClassDock:
    case kClassFactory: InitStation(o, row, s); return true;
    case kClassShip: InitShip(o, row, s); return true;
    case kClassLaser:
      o->flags = 0x1000800;
      s->bodyId = Body16(row);
      if (auto* l = static_cast<LaserExt*>(NewExtension(o))) l->readyAt = now;
      return true;
    case kClassShield:
      o->flags = 0x800;
      s->bodyId = Body16(row);
      if (auto* sh = static_cast<ShieldExt*>(NewExtension(o))) sh->charge = kShieldFullCharge;
      return true;
    case kClassMissile:
      o->flags = 0x4000;
      s->bodyId = kMissileBody;
      s->soundId = row->missile.sound;
      s->instKind = static_cast<uint16_t>(row->missile.instanceKind);
      if (auto* m = static_cast<MissileExt*>(NewExtension(o))) m->launchedAt = now;
      return true;
    case kClassAsteroid:
      NewExtension(o);
      o->flags = 0x20800;
      o->flags2 |= kObjFlag2Bit7;
      s->bodyId = Body16(row);
      o->turnRates[0] = o->turnRates[1] = o->turnRates[2] = 0;
      return true;
    case kClassGate: {
      o->flags = 0x800 | kObjFlagContainer;
      o->flags2 |= kObjFlag2Bit7;
      s->bodyId = Body16(row);
      if (auto* g = static_cast<GateExt*>(NewExtension(o))) {
        g->nextLaunchAt = now;
        g->words[kGateChaserPhaseWord] = kGateChaserIdle;
        const bool near = o->subtype >= 5 && o->subtype <= 8;
        g->innerPoint = {0, static_cast<int32_t>(near ? 0xFFFFF334 : 0xFFFF7334), static_cast<int32_t>(0xFFFFFD71), 0};
        g->outerPoint = {0, static_cast<int32_t>(0xFFFF3334), static_cast<int32_t>(0xFFFF0000), 0};
      }
      return true;
    }
    case kClassCamera:
      o->flags = 0xC01;
      s->bodyId = kCameraBody;
      if (auto* cam = static_cast<CameraExt*>(NewExtension(o))) cam->words[3] = 1;
      return true;
    case kClassSpecial: {
      const bool big = o->subtype == 89 || o->subtype == 90;
      o->flags = big ? 0xC00 : 0x800;
      o->flags2 |= kObjFlag2Special | (big ? kObjFlag2Bit29 : 0);
      s->bodyId = Body16(row);
      NewExtension(o);
      return true;
    }
    case kClass21:
      NewExtension(o);
      o->flags = 0x401;
      o->flags2 |= kObjFlag2Bit7;
      s->bodyId = -1;
      return true;
    case kClassBodyObject:
      // The subtype is the body id itself and stays so: the part and save code read it back.
      o->flags |= 0xC01;
      o->flags2 |= kObjFlag2Bit29;
      s->bodyId = o->subtype;
      return true;
    default: break;
  }
  if (IsWare(c)) {
    o->flags = 0x800;
    s->bodyId = Body16(row);
    if (auto* a = static_cast<AmountExt*>(NewExtension(o))) a->amount = 1;
    return true;
  }
  if (c == kClassDebris || IsWreck(c)) {
    o->flags |= 0x20800;
    o->flags2 |= kObjFlag2Bit29;
    s->bodyId = Body16(row);
    if (auto* a = static_cast<AmountExt*>(NewExtension(o))) a->amount = static_cast<uint32_t>(row->debris.value);
    if (row->debris.cut != 0) {
      if (c == kClassDebris) {
        o->flags |= 0x401;
        o->flags2 |= kObjFlag2DetailManaged;
      } else {
        o->flags |= 0x400;
      }
    }
    return true;
  }
  return true;  // classes 2 and 22..26: no extension, no body
}

void MakeBulletShape(SpaceObject* o, const ObjectTypeRecord* row, InstanceRecord* inst) {
  auto* b = static_cast<BulletExt*>(o->ext);
  const BulletType& t = row->bullet;
  if (!b) return;
  if (t.flags & kBulletBeam) {
    b->collisionSize = FixedDiv(BulletGetRange(o) / 2, inst->size);
    InstMakeTwoTriangleCollision(inst, t.shapeSizeA, t.shapeSizeB, b->collisionSize);
  } else if (t.flags & kBulletOctahedron) {
    b->collisionSize = t.shapeSizeC;
    InstMakeOctahedronCollision(inst, t.shapeSizeA, t.shapeSizeB, b->collisionSize);
  } else if (t.flags & kBulletBoxTree) {
    b->collisionSize = t.shapeSizeC;
    B3D_InstMakeRapidBox(inst, 0);
  } else {
    b->collisionSize = MulDiv(t.speed, 0x1999, inst->size);
    InstMakeTwoTriangleCollision(inst, t.shapeSizeA, t.shapeSizeB, b->collisionSize);
  }
}

// Step 3.
void MakeInstance(SpaceObject* o, const ObjectTypeRecord* row, const InitState& s) {
  const int32_t c = o->objClass;
  if (c == kClassSector) return;
  InstanceRecord* inst = B3D_InstAlloc();
  o->instance = o->shownInstance = inst;
  if (!inst) return;
  if (c == kClassSun) {
    B3D_InstSetBody(inst, s.bodyId);
    inst->flags |= s.instFlags;
  } else if (c == kClass21) {
    inst->flags |= s.instFlags;
  } else if (c == kClassBullet) {
    B3D_InstSetBody(inst, s.bodyId);
    if (inst->size <= 0) inst->size = kBulletMinSize;
    if (row) MakeBulletShape(o, row, inst);
    inst->flags |= s.instFlags;
    inst->flags2 |= s.instFlags2;
  } else {
    if (s.instKind != 0) inst->word2 = static_cast<uint32_t>(s.instKind);
    B3D_InstSetBody(inst, s.bodyId);
    B3D_InstMakeRapidBox(inst, 0);
    inst->flags |= s.instFlags;
    inst->flags2 |= s.instFlags2;
  }
  if (s.soundId != 0) InstSetSound(inst, s.soundId);
}

// Step 4.
void GiveName(SpaceObject* o, const ObjectTypeRecord* row) {
  const char* text = nullptr;
  if (row && row->nameTextId > 0) {
    text = ReadText(row->nameTextId < 1000 ? kNameTextPage : kNameTextPageHigh, row->nameTextId);
  } else if (o->objClass == kClassSector) {
    text = ReadText(kNameTextPage, kSectorNameText);
  } else {
    switch (o->objClass) {
      case kClassCamera: text = "Camera"; break;
      case kClassSun: text = "Sun"; break;
      case kClassPlanet: text = "Planet"; break;
      case kClassAsteroid: text = "Asteroid"; break;
      case kClassDebris: text = "Debris"; break;
      default: text = IsWreck(o->objClass) ? "Wreck" : "Unnamed Object"; break;
    }
  }
  o->name = ReplaceString(o->name, text);
}

InstanceRecord* NewSunLight(const InstanceRecord* inst) {
  InstanceRecord* light = B3D_LightAlloc();
  if (!light) return nullptr;
  if (inst) {
    light->matrix = inst->matrix;
    light->position = inst->position;
  }
  return light;
}

// A wreck's body is named after the intact body with "_wreck" appended; the wreck keeps the
// intact body's size so it is hit and seen like the object it came from.
void WreckTakesIntactSize(InstanceRecord* inst) {
  const BodyRecord* body = inst && inst->bodyId >= 0 ? LoadBody(inst->bodyId) : nullptr;
  if (!body || !body->name) return;
  char name[kWreckNameLimit + 1];
  std::strncpy(name, body->name, kWreckNameLimit);
  name[kWreckNameLimit] = '\0';
  char* suffix = std::strstr(name, "_wreck");
  if (!suffix) return;
  *suffix = '\0';
  const int32_t id = B3D_GetBodyID(name);
  const BodyRecord* intact = id >= 0 ? LoadBody(id) : nullptr;
  if (intact && intact->meshCount > 0 && intact->meshes && intact->meshes[0]) inst->size = intact->meshes[0]->size;
}

void CompleteShip(SpaceObject* o, const ObjectTypeRecord* row) {
  o->componentCut = static_cast<uint32_t>(row->ship.cut);
  RebuildObjectModelInstances(o);
  InstanceRecord* inst = o->instance;
  if (inst && row->tailValue[8] != 0) InstSubtreeApply(SetTreeColour, inst, row->tailValue[8]);
  auto* ship = static_cast<ShipExt*>(o->ext);
  if (!ship) return;
  const int32_t components = ShipGetComponentCount(o);
  for (int32_t k = 0; k < components; ++k) {
    const int32_t slot = ShipComponentValue(o->subtype, k);
    if (slot < 0 || slot >= kShipTurretCapacity) continue;
    TurretRow& t = ship->turrets[slot];
    t = TurretRow{};
    t.since = Now();
    ObjComponentOffset(o, k, &t.offset);
    MatrixSetIdentity(&t.nodeMatrix);
  }
  if (ship->viewpoint != -1) {
    ship->viewpoint = -1;
    o->flags2 &= ~kObjFlag2Viewpoint;
    for (int i = 0; i < 3; ++i) ship->viewAngles[i] = ship->viewAnglesB[i] = ship->viewAnglesC[i] = 0;
    FixedMatrix zero;
    MatrixFromAngles(&zero, 0, 0, 0);
    if (inst) MatrixMultiply(&ship->rotation, &zero, &inst->matrix);
    else ship->rotation = zero;
  }
}

// Step 6.
void CompleteClass(SpaceObject* o, const ObjectTypeRecord* row) {
  InstanceRecord* inst = o->instance;
  const int32_t c = o->objClass;
  auto rebuild = [o](int32_t cut) {
    o->componentCut = static_cast<uint32_t>(cut);
    RebuildObjectModelInstances(o);
  };
  switch (c) {
    case kClassSun: {
      auto* sun = static_cast<SunExt*>(o->ext);
      if (sun) {
        if ((sun->lightA = NewSunLight(inst))) {
          sun->lightA->flags |= 0x820000;
          sun->lightA->lightParam = 0x20000;
        }
        if ((sun->lightB = NewSunLight(inst))) {
          sun->lightB->flags |= 0x20000000;
          sun->lightB->words31[2] = static_cast<uint32_t>(row->sun.lightParameter);
          sun->lightB->flags |= 0x800000;
          sun->lightB->lightParam = 0x20000;
        }
      }
      rebuild(row->sun.cut);
      return;
    }
    case kClassPlanet: {
      auto* planet = static_cast<PlanetExt*>(o->ext);
      if (planet) {
        std::memcpy(planet->lightColour, row->planet.lightColour, sizeof planet->lightColour);
        if ((planet->light = B3D_LightAlloc())) {
          InstanceRecord* l = planet->light;
          l->flags |= 0x400000;
          l->flags2 |= 0x80000000;
          l->words31[0] = 0x10000;
          l->words31[1] = l->words31[2] = 0;
          l->lightRange = 2000000000;
          for (int i = 0; i < 3; ++i) l->lightColor[i] = static_cast<int16_t>(planet->lightColour[i] & 0xFFFF);
        }
      }
      rebuild(row->planet.cut);
      if (inst) {
        InstSubtreeApply(SetTreeFlag, inst, 0x2000000);
        const bool low = (o->subtype >= 24 && o->subtype <= 47) || (o->subtype >= 68 && o->subtype <= 133);
        inst->level = low ? 0 : 20;
        inst->flags2 |= kInst2Bit26;
        if (o->subtype == kPlanetSubtypeRing) inst->flags |= 0x8000000;
      }
      return;
    }
    case kClassDock:
    case kClassFactory:
      rebuild(row->station.cut);
      if (inst && row->station.qualifier == 18) inst->flags |= 0x80000000;
      return;
    case kClassShip: CompleteShip(o, row); return;
    case kClassAsteroid:
      o->componentCut = static_cast<uint32_t>(row->asteroid.cut);
      if (inst) {
        inst->fadeValue = 10;
        inst->flags2 |= kInst2Bit26;
      }
      return;
    case kClassGate: rebuild(row->gate.cut); return;
    case kClassSpecial:
      rebuild(row->special.cut);
      if (o->subtype == 3 || o->subtype == 4 || o->subtype == 28) o->turnRates[0] = o->turnRates[1] = o->turnRates[2] = 0;
      if (inst) InstSubtreeCallAttached(inst, 0);
      switch (o->subtype) {
        case 69: case 76: case 77: case 78: case 79: case 103: case 104: o->flags2 |= kObjFlag2Bit28; break;
        default: break;
      }
      if (inst) inst->flags2 |= kInst2Bit26;
      return;
    case kClass21:
      o->componentCut = 0;
      if (inst) inst->flags2 |= kInst2Bit26;
      return;
    case kClassBullet:
      if (inst) inst->flags2 |= kInst2Bit26;
      return;
    case kClassDebris:
      o->componentCut = static_cast<uint32_t>(row->debris.cut);
      if (inst) {
        inst->fadeValue = 10;
        inst->flags2 |= kInst2Bit26;
      }
      return;
    default: break;
  }
  if (c == kClassLaser || c == kClassShield || c == kClassMissile || IsWare(c)) {
    SetRandomTurnRates(o);
    if (inst) inst->flags2 |= kInst2Bit26;
  } else if (IsWreck(c)) {
    o->componentCut = static_cast<uint32_t>(row->debris.cut);
    WreckTakesIntactSize(inst);
  }
}

// Step 7.
int32_t ComputeRadius(SpaceObject* o, const ObjectTypeRecord* row) {
  InstanceRecord* inst = o->instance;
  if (!inst) return 0;
  int32_t radius;
  switch (o->objClass) {
    case kClassPlanet: radius = inst->size; break;
    case kClassSun:
      if (row && row->bodyId > 0) {
        radius = inst->size;
      } else {
        radius = kSunFallbackRadius;
        inst->size = radius;
      }
      break;
    case kClassBullet: {
      const auto* b = static_cast<const BulletExt*>(o->ext);
      int32_t s = 0;
      if (b && b->collisionSize > 0) s = b->collisionSize;
      if (row) s = std::max({s, row->bullet.shapeSizeA, row->bullet.shapeSizeB});
      radius = s == 0 ? inst->size
                      : static_cast<int32_t>((static_cast<int64_t>(s) * inst->size + 0x8000) >> 16);
      break;
    }
    default:
      radius = (o->objClass == kClassSpecial && o->subtype == kSubtypeBoundary) ? kBoundaryRadius
                                                                                  : B3D_InstGetTotalSize(inst);
      break;
  }
  inst->sizeUsed = radius;
  if (o->objClass == kClassBullet && row && (row->bullet.flags & kBulletBeam)) {
    inst->sizeUsed = kBeamBulletRadius;
    inst->flags3 |= 1u << 5;
  }
  return radius;
}

}  // namespace

void InitObject(SpaceObject* object, int16_t objClass, int16_t subtype) {
  if (!object) return;
  SpaceObject* o = object;
  // Step 1: the common fields.
  o->instanceWord = 0;
  std::memset(o->clearedWords, 0, sizeof o->clearedWords);
  o->carrier = nullptr;
  o->carrierNode = nullptr;
  o->tractorTarget = nullptr;
  o->tractorAux = nullptr;
  o->beamEffect = nullptr;
  o->beamWord = 0;
  o->ext = nullptr;
  o->objClass = static_cast<uint16_t>(objClass);
  // The camera has one model whatever it was asked for.
  o->subtype = objClass == static_cast<int16_t>(kClassCamera) ? int16_t{0} : subtype;
  o->owner = kNoOwner;
  o->marker = kObjectMarker;
  o->createdAt = Now();
  ListInit(&o->spareList);
  if (objClass < 0 || objClass >= kObjectClassCount) return;

  // A row index from a script or a save is only trusted once the table has the row.
  const ObjectTypeRecord* row = TypeRow(objClass, o->subtype);
  if (ClassHasTable(objClass) && !row) return;

  InitState s;
  if (!ClassSwitch(o, row, &s)) return;
  MakeInstance(o, row, s);
  GiveName(o, row);

  // Step 5: the placement starts at the origin, unturned.
  o->angles[0] = o->angles[1] = o->angles[2] = 0;
  if (InstanceRecord* inst = o->instance) {
    inst->jobClock = 0;
    MatrixFromAngles(&inst->matrix, 0, 0, 0);
    inst->position = FixedVector{};
  }

  CompleteClass(o, row);
  o->radius = ComputeRadius(o, row);
  o->radiusCopy = static_cast<uint32_t>(o->radius);

  // Step 8.
  if (o->flags & kObjFlagNoHull) o->hull = 0;
  else if (o->objClass == kClassMissile && !(o->flags & kObjFlagArmed)) o->hull = gMaxHullContainer;
  else o->hull = GetTypeMaxHull(o->subtype, o->objClass);

  // Step 9.
  o->moduleNo = o->moduleHandle = 0;
  o->scriptId = 0;
  if (o->instance) InstSubtreeApply(SetTreeFlag2, o->instance, kInst2OwnerNone);
  o->flags |= kFinalFlags;
}
