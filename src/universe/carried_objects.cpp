// Carried objects and break-away (see carried_objects.h): the per-sector pass over attached,
// carried and vanishing objects, the wreck and debris events, the rock-cut test, the 3D sound at
// an object and the video claim by id. The universe step runs the pass once per simulated sector;
// the effects, explosions and object commands call the services. The pass follows only live
// pointers: a carrier's destruction and the free of its node clear `carrier` and `carrierNode`
// before the pass can see them, and it stops when a script event takes the object it stands on
// out of the sector. It never frees an object record.
#include "universe/carried_objects.h"

#include "core/system_block.h"
#include "render/texture_animation.h"
#include "scene/engine_types.h"
#include "script/script_calls.h"
#include "script/tasks.h"
#include "universe/object_explosions.h"
#include "universe/object_lifecycle.h"
#include "universe/object_queries.h"
#include "universe/object_references.h"
#include "universe/type_access.h"
#include "universe/type_loader.h"
#include "universe/universe.h"
#include "universe/universe_frame.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kBreakViewpoint = 4;
constexpr uint32_t kPlaying = 0x1;
constexpr uint32_t kPlayEnded = 0x200;
constexpr int32_t kModuleReleased = 1;
constexpr uint32_t kStreamClaimFlags = 1;
constexpr int kVideoIdSlots = 4;

ObjectSoundHooks gSoundHooks{};

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

void RaiseUniverseEvent(int32_t scriptId, const char* name) {
  const int32_t module = gUniverse ? static_cast<int32_t>(gUniverse->moduleNo) : 0;
  CallScriptFunctionRet(module, 0, scriptId, name, kResultValue, 0);
}

void AnglesFromInstance(SpaceObject* o) {
  if (o->instance) MatrixToAngles(&o->instance->matrix, &o->angles[0], &o->angles[1], &o->angles[2]);
}

// The carrier is gone, or its break time came: the ship flies off on its own. A ship that breaks
// at its time takes the carrier's motion and half its own top speed along its heading.
void BreakAway(SpaceObject* o, bool launch) {
  if (launch) {
    SpaceObject* carrier = o->linkedObject;
    ShipExt* ship = static_cast<ShipExt*>(o->ext);
    ShipSelectViewpoint(o, kBreakViewpoint, true, false);
    AddVector(&o->baseVelocity, &carrier->baseVelocity, &carrier->instance->velocity);
    o->speed = GetObjectMaxSpeed(o) / 2;
    const FixedMatrix& rotation = ship->rotation;
    const int64_t speed = o->speed;
    FixedVector& v = o->instance->velocity;
    v.x = SaturateToInt32((rotation.m[2][0] * speed + 0x8000) >> 16);
    v.y = SaturateToInt32((rotation.m[2][1] * speed + 0x8000) >> 16);
    v.z = SaturateToInt32((rotation.m[2][2] * speed + 0x8000) >> 16);
    o->createdAt = Now();
    o->linkedObject = nullptr;
    ship->breakAt = 0;
  }
  o->flags &= ~kObjFlagBit0;
  o->flags2 &= ~kObjFlag2Attached;
  RaiseObjectEvent(o, "MakeBreak", 0);
}

// Step 1; false when the object left the sector during its event.
bool StepAttached(SpaceObject* o, SpaceObject* sector) {
  SpaceObject* carrier = o->linkedObject;
  if (!carrier) {
    BreakAway(o, false);
  } else if (o->objClass == kClassShip && o->ext && o->instance && carrier->instance) {
    ShipExt* ship = static_cast<ShipExt*>(o->ext);
    const InstanceRecord* c = carrier->instance;
    MatrixMultiply(&o->instance->matrix, &ship->carriedMatrix, &c->matrix);
    FixedVector turned;
    MatrixMulVector(&turned, &c->matrix, &ship->carriedPosition);
    AddVector(&o->instance->position, &c->position, &turned);
    if (static_cast<int32_t>(Now() - ship->breakAt) >= 0) BreakAway(o, true);
  } else {
    return true;
  }
  AnglesFromInstance(o);
  return o->parent == sector;
}

// Step 2: the object rides on its carrier's node.
void StepCarried(SpaceObject* o) {
  const SpaceObject* carrier = o->carrier;
  const InstanceRecord* node = o->carrierNode;
  if (!carrier || !node || !carrier->instance || !o->instance) return;
  const InstanceRecord* c = carrier->instance;
  InstanceRecord* instance = o->instance;
  FixedVector turned;
  MatrixMulVector(&turned, &c->matrix, &node->position);
  AddVector(&instance->position, &c->position, &turned);
  MatrixMultiply(&instance->matrix, &node->matrix, &c->matrix);
  MatrixMulVector(&turned, &c->matrix, &node->velocity);
  AddVector(&instance->velocity, &c->velocity, &turned);
  AnglesFromInstance(o);
  for (int i = 0; i < 3; ++i) {
    o->turnRates[i] = 0;
    o->refAngles[i] = o->angles[i];
  }
}

bool AnyChildPlays(InstanceRecord* instance) {
  for (InstanceRecord* c = InstFirstChild(instance); c; c = InstNextSibling(c)) {
    if ((c->jobFlags & kPlaying) && !(c->jobFlags & kPlayEnded)) return true;
  }
  return false;
}

// Step 3: an object whose animations have all ended leaves with the other removed objects.
void StepVanishing(SpaceObject* o) {
  if (!o->instance || AnyChildPlays(o->instance)) return;
  ReleaseModuleHandle(o, kModuleReleased);
  o->flags |= kObjFlagRemoving;
  ReleaseObjectReferences(o, 0);
}

bool VideoRowMatches(const VideoRow& row, int32_t id) {
  bool any = false;
  const int32_t n = row.idCount < kVideoIdSlots ? row.idCount : kVideoIdSlots;
  for (int32_t k = 0; k < n; ++k) {
    if (row.id[k] == 0) continue;
    if (row.id[k] != id) return false;
    any = true;
  }
  return any;
}

}  // namespace

void BreakObject(SectorObject* sector) {
  ListHead* children = sector ? ObjectChildren(sector) : nullptr;
  if (!children) return;
  for (SpaceObject* o = ObjectListFirst(children); o; o = ObjectListNext(o)) {
    if (o->flags & kObjFlagRemoving) continue;
    if ((o->flags2 & kObjFlag2Attached) && !StepAttached(o, sector)) return;
    if (o->flags & kObjFlagCarried) StepCarried(o);
    if (o->flags2 & kObjFlag2VanishWhenDone) StepVanishing(o);
  }
}

void RaiseCreateWreck(int32_t scriptId) { RaiseUniverseEvent(scriptId, "CreateWreck"); }

void RaiseCreateDebris(int32_t scriptId) { RaiseUniverseEvent(scriptId, "CreateDebris"); }

bool RockTypeHasCut(int32_t subtype, int32_t objClass) {
  if (objClass != kClassAsteroid && objClass != kClassDebris) return false;
  const int32_t cut = RockTypeGetCutId(objClass, subtype);
  return cut > 0 && TypeEffectsCreateDebris(subtype, objClass) && IsCutAvailable(cut);
}

void SetObjectSoundHooks(const ObjectSoundHooks* hooks) { gSoundHooks = hooks ? *hooks : ObjectSoundHooks{}; }

void ObjPlaySound3D(SpaceObject* object, int32_t sound) {
  if (object && gSoundHooks.play3D) gSoundHooks.play3D(sound, object->instance);
}

bool ObjSoundIsPlaying(int32_t sample) { return gSoundHooks.findSample && gSoundHooks.findSample(sample) != 0; }

int32_t FindVideoRow(int32_t id) {
  for (int32_t i = 0; gVideoTable.rows && i < gVideoTable.count; ++i) {
    if (VideoRowMatches(gVideoTable.rows[i], id)) return i;
  }
  return -1;
}

int32_t FindIdRowAndClaimStream(int32_t id, int32_t stream) {
  const int32_t i = FindVideoRow(id);
  if (i < 0) return -1;
  const VideoRow& row = gVideoTable.rows[i];
  MediaStreamClaim(stream, row.value[0], &row.value[1], kStreamClaimFlags);
  return i;
}
