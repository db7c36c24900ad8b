// The object command operations (see object_operations.h). Each checks the object's class before
// it touches an extension, and every temporary instance it makes is freed on every path. Called
// by the SA_ command families; reaches the scene's sweep test through the simulation services so
// tests can stand in for the geometry.
#include "simulation/object_operations.h"

#include <cstdlib>

#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_collision.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "simulation/simulation_services.h"
#include "scene/take_records.h"
#include "universe/object_explosions.h"
#include "universe/object_lifecycle.h"
#include "universe/scene_objects.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr uint32_t kObjFlagPlayer = 1u << 1;
constexpr uint32_t kObjFlagPlayerLit = 1u << 18;
constexpr uint32_t kInst2Player = 0x8;
constexpr uint32_t kInst2Group10 = 0x40;
constexpr uint32_t kInstHidden = 0x100000;
constexpr int32_t kGroupMarked = 10;
constexpr int32_t kTraceBody = 195;
constexpr int32_t kReplacementBody = 475;
constexpr int32_t kPlayerLightRange = 100000;
constexpr uint32_t kPlayerLightFlags = 0x50;
constexpr uint32_t kPlayerLightValues[3] = {0x10000, 0x10000, 0xA0000};  // 1.0, 1.0, 10.0
constexpr int32_t kPlanetLightRange = 2000000000;
constexpr int32_t kSpecialLightX = 0x12000;  // 1.125
constexpr uint32_t kSpecialLightFlags = 0x4040;

ShipExt* ShipOf(SpaceObject* o) { return o && o->objClass == kClassShip ? static_cast<ShipExt*>(o->ext) : nullptr; }

bool IsTraceClass(uint16_t c) {
  switch (c) {
    case kClassDock:
    case kClassFactory:
    case kClassShip:
    case kClassAsteroid:
    case kClassGate:
    case kClassSpecial:
    case kClassDebris:
    case kClassDockWreck:
    case kClassFactoryWreck:
    case kClassShipWreck: return true;
    default: return false;
  }
}

bool InMatchList(int32_t body) {
  for (int32_t i = 0; i < gMatchTable.count && gMatchTable.rows; ++i) {
    if (gMatchTable.rows[i].key1 == body || gMatchTable.rows[i].key2 == body) return true;
  }
  return false;
}

// A factory's listed parts show the replacement body.
void ReplaceListedChildBodies(SpaceObject* object) {
  if (!object->instance) return;
  for (InstanceRecord* child = InstFirstChild(object->instance); child; child = InstNextSibling(child)) {
    if (!InMatchList(child->bodyId)) continue;
    B3D_InstSetBody(child, kReplacementBody);
    B3D_InstMakeRapidBox(child, 0);
  }
}

InstanceRecord* TraceProbe(const FixedVector* at, const FixedMatrix& facing) {
  InstanceRecord* probe = B3D_InstAlloc();
  if (!probe) return nullptr;
  B3D_InstSetBody(probe, kTraceBody);
  probe->position = *at;
  probe->world = *at;
  probe->matrix = facing;
  probe->worldMatrix = facing;
  return probe;
}

}  // namespace

int32_t TypeCreatesWreck(int32_t subtype, int32_t objClass) {
  int32_t wreckClass = 0;
  switch (objClass) {
    case kClassDock: wreckClass = kClassDockWreck; break;
    case kClassFactory: wreckClass = kClassFactoryWreck; break;
    case kClassShip: wreckClass = kClassShipWreck; break;
    default: return 0;
  }
  const ObjectTypeRecord* wreck = TypeRow(wreckClass, subtype);
  if (!wreck || wreck->bodyId == 0) return 0;
  return TypeEffectsCreateWreck(subtype, objClass) && IsBodyAvailable(wreck->bodyId) ? 1 : 0;
}

void SetAsPlayerObject(SpaceObject* object, bool on) {
  if (!object) return;
  ShipExt* ship = ShipOf(object);
  if (on) {
    object->flags |= kObjFlagPlayer | kObjFlagPlayerLit;
    if (ship && !ship->attachedInstance) {
      if (InstanceRecord* light = B3D_LightAlloc()) {
        B3D_LightSetColor(light, 255, 255, 255);
        light->flags |= kPlayerLightFlags | kInstLight;
        for (int i = 0; i < 3; ++i) light->words31[i] = kPlayerLightValues[i];
        B3D_LightSetRange(light, kPlayerLightRange);
        if (object->instance) B3D_InstAddToInst(light, object->instance);
        ship->attachedInstance = light;
      }
    }
    if (gUniverse && gUniverse->runState[1]) {
      if (object->instance) object->instance->flags2 |= kInst2Player;
      gUniverse->player = object;
      object->refAngles[2] = 0;
    }
    return;
  }
  object->flags &= ~kObjFlagPlayer;
  if (ship && ship->attachedInstance) {
    InstanceRecord* light = ship->attachedInstance;
    ship->attachedInstance = nullptr;
    FreeInstance(light);
  }
  if (object->instance) {
    object->instance->flags &= ~kInstHidden;
    object->instance->flags2 &= ~kInst2Player;
  }
  if (gUniverse && gUniverse->player == object) gUniverse->player = nullptr;
}

void FreeAllBodies() {
  B3D_FreeAllBodies();
  if (!gUniverse) return;
  for (SpaceObject* o = ObjectListFirst(&gUniverse->objects); o; o = ObjectListNext(o)) RebuildObjectTreeCollision(o);
}

uint32_t FastTrace(SpaceObject* sector, const FixedVector* start, const FixedVector* end, int32_t flags) {
  if (!sector || sector->objClass != kClassSector || !start || !end) return 0;
  // Script points may lie further apart than a coordinate can say: the difference is taken in
  // 64 bits and halved until it fits, which keeps its direction, all the trace needs of it.
  int64_t d[3] = {int64_t{end->x} - start->x, int64_t{end->y} - start->y, int64_t{end->z} - start->z};
  while (std::abs(d[0]) > INT32_MAX || std::abs(d[1]) > INT32_MAX || std::abs(d[2]) > INT32_MAX) {
    for (int64_t& c : d) c /= 2;
  }
  FixedVector along = {static_cast<int32_t>(d[0]), static_cast<int32_t>(d[1]), static_cast<int32_t>(d[2]), 0};
  NormalizeVector(&along);
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&along, &yaw, &pitch);
  FixedMatrix facing;
  MatrixFromAngles(&facing, yaw, pitch, 0);
  InstanceRecord* from = TraceProbe(start, facing);
  InstanceRecord* to = TraceProbe(end, facing);
  uint32_t hit = 0;
  if (from && to && gSimulationServices.instSweepCollide) {
    for (SpaceObject* o = ObjectListFirst(ObjectChildren(sector)); o && hit == 0; o = ObjectListNext(o)) {
      if (!IsTraceClass(o->objClass) || !o->instance) continue;
      if (gSimulationServices.instSweepCollide(from, &to->world, o->instance, (flags & 1) != 0)) hit = o->id;
    }
  }
  if (from) FreeInstance(from);
  if (to) FreeInstance(to);
  return hit;
}

int32_t StartTake(ObjTakeRecord* record, int32_t cutId, const FixedVector* position, const int32_t* label, bool loop,
                  const FixedMatrix* path) {
  if (!record || !record->take) return 0;
  TakeRecord* take = record->take;
  if (take->cutHandle != 0 && take->cutHandle != static_cast<uint32_t>(cutId)) ObjTakeStop(record);
  if (take->cutHandle == 0 && !CreateObjectsFromCut(cutId, record, record->value)) return 0;
  return NodeStartPathJob(record, position, label, loop, path) ? 1 : 0;
}

void SetObjectGroup(SpaceObject* object, int32_t group) {
  if (!object) return;
  object->owner = static_cast<uint16_t>(group);
  InstanceRecord* root = object->instance;
  if (group == kGroupMarked) {
    if (object->objClass == kClassFactory) ReplaceListedChildBodies(object);
    for (InstanceRecord* i = root; i; i = InstSubtreeNext(i, root)) i->flags2 |= kInst2Group10;
    return;
  }
  for (InstanceRecord* i = root; i; i = InstSubtreeNext(i, root)) i->flags2 &= ~kInst2Group10;
}

void SetSpecialParameter1(SpaceObject* special, int32_t value) {
  if (!special || special->objClass != kClassSpecial || !special->ext) return;
  auto* ext = static_cast<SpecialExt*>(special->ext);
  const auto old = static_cast<int32_t>(ext->parameter1);
  ext->parameter1 = static_cast<uint32_t>(value);
  InstanceRecord* inst = special->instance;
  if (special->subtype > 1 || !inst) return;
  const int32_t body = value == 1 ? 29 + value : value == 2 ? 265 : 214;
  if (value == 0) {
    while (InstanceRecord* child = InstFirstChild(inst)) FreeInstance(child);
    return;
  }
  if (!InstFirstChild(inst)) {
    for (int32_t x : {kSpecialLightX, -kSpecialLightX}) {
      InstanceRecord* light = B3D_InstAlloc();
      if (!light) break;
      B3D_InstSetBody(light, body);
      B3D_InstSetSize(light, special->radius / 8);
      light->position = {x, 0, 0, 0};
      MatrixSetIdentity(&light->matrix);
      light->flags |= kSpecialLightFlags;
      light->nodeId = -1;
      B3D_InstAddToInst(light, inst);
    }
  } else if (value != old) {
    for (InstanceRecord* child = InstFirstChild(inst); child; child = InstNextSibling(child)) {
      const int32_t size = child->size;  // the lights keep the size they were made with
      B3D_InstSetBody(child, body);
      B3D_InstSetSize(child, size);
    }
  }
}

void SetObjectLight(SpaceObject* object, int32_t red, int32_t green, int32_t blue) {
  if (!object || !object->ext) return;
  switch (object->objClass) {
    case kClassSun: {
      auto* sun = static_cast<SunExt*>(object->ext);
      for (InstanceRecord* light : {sun->lightA, sun->lightB}) {
        if (!light) continue;
        B3D_LightSetColor(light, red, green, blue);
        if (light->scene) AddInstanceToScene(light, light->scene);
      }
      break;
    }
    case kClassPlanet: {
      auto* planet = static_cast<PlanetExt*>(object->ext);
      planet->lightColour[0] = red;
      planet->lightColour[1] = green;
      planet->lightColour[2] = blue;
      if (InstanceRecord* light = planet->light) {
        B3D_LightSetColor(light, red, green, blue);
        light->flags |= kInstPointLight;
        light->words31[0] = 0x10000;
        light->words31[1] = 0;
        light->words31[2] = 0;
        B3D_LightSetRange(light, kPlanetLightRange);
        if (light->scene) AddInstanceToScene(light, light->scene);
      }
      break;
    }
    case kClassShip:
      if (InstanceRecord* light = static_cast<ShipExt*>(object->ext)->attachedInstance) {
        B3D_LightSetColor(light, red, green, blue);
      }
      break;
    default: break;
  }
}
