// The universe's save section: the state part, the player, a shell per object (id, class and
// subtype), an "SOBJ" record per object with its common part, name and class part, the take
// records ("STAK"), then "/SEC". Objects, shells and takes are written in ascending key order,
// so a section read back and written again gives the same bytes. The save container calls it;
// the reader creates every object itself, resolves references after all shells exist, and on a
// failure frees what it made (objects sit in the id hash but in no list until the relink, where
// nothing else could reach them). Every count, length and parent chain read is checked. The
// simulation state and the camera words the records leave out travel in chunks of their own
// behind the sections.
#include "universe/universe_save.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance_records.h"
#include "universe/dock_ports.h"
#include "universe/object_lifecycle.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/object_takes.h"
#include "universe/save_io.h"
#include "universe/type_access.h"
#include "universe/type_loader.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr char kTagSection[] = "SECT";
constexpr char kTagObject[] = "SOBJ";
constexpr char kTagTake[] = "STAK";
constexpr char kTagEnd[] = "/SEC";
constexpr int32_t kNameLimit = 1000;
// More dock places than any type could hold: a count above it is a damaged stream, not a type.
constexpr int32_t kDockSlotLimit = 4096;

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

// The keys of a hash in ascending order.
std::vector<uint32_t> SortedKeys(const HashTable* hash) {
  std::vector<uint32_t> keys;
  if (!hash) return keys;
  keys.reserve(HashCount(hash));
  for (uint32_t key = HashNextKey(hash, 0); key != 0; key = HashNextKey(hash, key)) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

void IoVector3(SaveIo& io, FixedVector& v) {
  IoWord(io, v.x);
  IoWord(io, v.y);
  IoWord(io, v.z);
}

void IoVector4(SaveIo& io, FixedVector& v) {
  IoVector3(io, v);
  IoWord(io, v.w);
}

bool IoStatePart(SaveIo& io, UniverseBlock* u) {
  if (!IoVersion(io)) return false;
  IoBool(io, u->runState[0]);
  IoBool(io, u->runState[1]);
  uint32_t* words[] = {&u->clientDataFlags, &u->savedWordB,    &u->savedWordC,    &u->savedWordD,
                       &u->statWord,      &u->missileCount,  &u->statWords[0],  &u->statWords[1],
                       &u->statWords[2],  &u->statWords[3],  &u->commandActive};
  for (uint32_t* word : words) IoWord(io, *word);
  return io.ok;
}

bool IoCommonPart(SaveIo& io, SpaceObject* o) {
  if (!IoVersion(io)) return false;
  IoWord(io, o->speed);
  IoWord(io, o->speedLimit);
  IoWords(io, o->angles, 3);
  IoWords(io, o->turnRates, 3);
  IoWords(io, o->refAngles, 3);
  // The race is a 16-bit value kept sign-extended in its word: 65535 (none) is -1.
  int32_t owner = static_cast<int16_t>(o->owner);
  IoWord(io, owner);
  if (!io.write) o->owner = static_cast<uint16_t>(owner);
  IoWord(io, o->flags);
  IoWord(io, o->flags2);
  IoObject(io, o->parent);
  IoObject(io, o->linkedObject);
  IoVector3(io, o->baseVelocity);
  IoInstance(io, o->instance);
  IoWord(io, o->moduleNo);
  IoWord(io, o->moduleHandle);
  IoWord(io, o->scriptId);
  IoWord(io, o->componentCut);
  IoWord(io, o->radiusCopy);
  IoWord(io, o->radius);
  IoWord(io, o->createdAt);
  IoWords(io, o->dynamicWords + 2, 3);
  IoWords(io, o->dynamicWords + 6, 3);
  IoWords(io, o->clearedWords, 4);
  IoWord(io, o->hull);
  IoObject(io, o->carrier);
  IoInstance(io, o->carrierNode);
  IoObject(io, o->tractorTarget);
  IoObject(io, o->tractorAux);
  IoWord(io, o->tractorLength);
  IoVector3(io, o->attachOffset);
  IoInstance(io, o->beamEffect);
  return io.ok;
}

bool IoName(SaveIo& io, SpaceObject* o) {
  if (io.write) {
    // A longer name could never be read back; the save keeps its first 1000 bytes.
    int32_t length = o->name ? static_cast<int32_t>(std::min<size_t>(std::strlen(o->name), kNameLimit)) : 0;
    IoWord(io, length);
    if (io.ok && length > 0) io.ok = FileWriteBytes(io.file, o->name, static_cast<size_t>(length)) == size_t(length);
    return io.ok;
  }
  int32_t length = 0;
  IoWord(io, length);
  if (!io.ok || length < 0 || length > kNameLimit) return false;
  if (length == 0) return true;
  auto* name = static_cast<char*>(MemCalloc(static_cast<size_t>(length) + 1));
  if (!name) return false;
  if (FileReadBytes(io.file, name, static_cast<size_t>(length)) != size_t(length)) {
    MemFreeIfSet(name);
    return false;
  }
  o->name = name;
  return true;
}

// The container head: the extension's ten head words after its child list, which the reader
// starts empty.
struct HeadWords {
  ListHead* children;
  uint32_t* nextLaunchAt;
  FixedVector* inner;
  FixedVector* outer;
  uint32_t* tenth;
};

bool IoContainerHead(SaveIo& io, const HeadWords& h) {
  if (!IoVersion(io)) return false;
  IoWord(io, *h.nextLaunchAt);
  IoVector4(io, *h.inner);
  IoVector4(io, *h.outer);
  IoWord(io, *h.tenth);
  if (!io.write) ListInit(h.children);
  return io.ok;
}

void IoDockRow(SaveIo& io, DockSlotRow& row) {
  IoWord(io, row.reservedGroup);
  IoWord(io, row.rangeStart);
  IoWord(io, row.rangeEnd);
  IoWord(io, row.reservedAt);
  IoWord(io, row.reservationWords[0]);
  IoWord(io, row.reservationWords[1]);
  IoWord(io, row.reservationWords[2]);
  for (InstanceRecord*& entry : row.entries) IoInstance(io, entry);
  IoWord(io, row.entryCount);
  IoWord(io, row.lightPhase);
  IoWord(io, row.nextLightAt);
  IoWord(io, row.flags);
  IoWord(io, row.refreshedAt);
  // The count indexes the entries: a damaged one must not reach past them.
  if (!io.write) row.entryCount = std::clamp(row.entryCount, 0, kDockPortEntryCapacity);
}

// The docking-place table: its row count, then the rows. The reader takes exactly the rows the
// stream holds and keeps no more than the type has now, so a type file changed since the save
// neither shifts the stream nor leaves a count above the rows.
bool IoDockSlots(SaveIo& io, SpaceObject* o, DockSlotTable*& table) {
  if (io.write) {
    int32_t count = table && table->rows ? std::max(table->count, 0) : 0;
    IoWord(io, count);
    for (int32_t i = 0; i < count && io.ok; ++i) {
      if (!IoVersion(io)) return false;
      IoDockRow(io, table->rows[i]);
    }
    return io.ok;
  }
  int32_t count = 0;
  IoWord(io, count);
  if (!io.ok || count < 0 || count > kDockSlotLimit) return false;
  if (count == 0) return true;
  const DockSlotList* list = GetTypeDockSlotList(o->objClass, o->subtype);
  const int32_t kept = std::min(count, std::max(TypeGetDockSlotCount(o->subtype, o->objClass), 0));
  std::vector<DockSlotRow> rows(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    if (!IoVersion(io)) return false;
    IoDockRow(io, rows[size_t(i)]);
  }
  if (!io.ok || kept == 0) return io.ok;
  table = static_cast<DockSlotTable*>(MemCalloc(sizeof(DockSlotTable)));
  if (!table) return false;
  table->rows = static_cast<DockSlotRow*>(MemCalloc(sizeof(DockSlotRow) * static_cast<size_t>(kept)));
  if (!table->rows) return false;  // the object's free releases the table
  table->typeList = list;
  table->count = kept;
  table->capacity = kept;
  for (int32_t i = 0; i < kept; ++i) {
    table->rows[i] = rows[size_t(i)];
    table->rows[i].slot = i;
    table->rows[i].port = DockPortOfList(list, i);
  }
  return true;
}

struct ContainerWords {
  DockSlotTable** dockSlots;
  uint32_t* friendMask;
  uint32_t* foeMask;
  uint32_t* commander;
};

// The container part; `dock` allows the dock's exception: a wrong version word there skips the
// table and the words behind it.
bool IoContainerPart(SaveIo& io, SpaceObject* o, const HeadWords& h, const ContainerWords& c, bool dock) {
  if (!IoContainerHead(io, h)) return false;
  if (!IoVersion(io)) return dock && io.ok;
  if (!IoDockSlots(io, o, *c.dockSlots)) return false;
  IoWord(io, *c.friendMask);
  IoWord(io, *c.foeMask);
  IoBool(io, *c.commander);
  return io.ok;
}

HeadWords DockHead(DockExt* d) {
  return {&d->children, &d->nextLaunchAt, &d->innerPoint, &d->outerPoint, &d->words[kFactoryStationStateWord]};
}

ContainerWords DockWords(DockExt* d) { return {&d->dockSlots, &d->friendMask, &d->foeMask, &d->reciprocalHostile}; }

bool IoTurretRow(SaveIo& io, TurretRow& t) {
  if (!IoVersion(io)) return false;
  IoVector4(io, t.vector);
  IoVector3(io, t.offset);
  for (auto& row : t.nodeMatrix.m) IoWords(io, row, 3);
  IoWord(io, t.since);
  IoWord(io, t.moduleNo);
  IoWord(io, t.handle);
  IoWords(io, t.words, 2);
  IoObject(io, t.targetObject);
  return io.ok;
}

bool IoShipPart(SaveIo& io, SpaceObject* o) {
  auto* s = static_cast<ShipExt*>(o->ext);
  const HeadWords head{&s->children, &s->nextLaunchAt, &s->innerPoint, &s->outerPoint, &s->orderWords[0]};
  const ContainerWords words{&s->dockSlots, &s->friendMask, &s->foeMask, &s->reciprocalHostile};
  if (!IoContainerPart(io, o, head, words, false) || !IoVersion(io)) return false;
  if (io.write) {
    s->threatCount = std::clamp(s->threatCount, 0, kShipThreatCapacity);
    for (int i = s->threatCount; i < kShipThreatCapacity; ++i) s->threats[i] = nullptr;
  }
  IoWord(io, s->threatCount);
  if (!io.ok || s->threatCount < 0 || s->threatCount > kShipThreatCapacity) return false;
  for (SpaceObject*& threat : s->threats) IoObject(io, threat);
  IoWord(io, s->thinkPeriod);
  IoWord(io, s->thinkDue);
  IoWord(io, s->nextCheckAt);
  IoWord(io, s->commandFlag);
  IoWord(io, s->commandWord);
  IoWord(io, s->tuning);
  IoObject(io, s->commandObject);
  IoWords(io, s->commandWords, 3);
  IoVector3(io, s->commandPoint);
  IoWord(io, s->dockSlot);
  IoWord(io, s->dockWord);
  IoHalf(io, s->commandState);
  IoWord(io, s->stateWord);
  IoWords(io, s->stateWords, 2);
  IoInstance(io, s->attachedInstance);
  IoWord(io, s->attachedWord);
  IoWord(io, s->rotationTuning);
  IoWord(io, s->speedTuning);
  IoWord(io, s->race10SpeedLimit);
  IoWord(io, s->maxSpeedOverride);
  IoWord(io, s->valueOverride);
  IoWord(io, s->overrideTail);
  IoWord(io, s->wordsA[0]);
  IoBool(io, s->wordsA[1]);
  IoWord(io, s->wordsA[2]);
  IoWord(io, s->speedFactor);
  IoWord(io, s->weaponEnergy);
  IoWord(io, s->viewpoint);
  IoWords(io, s->viewAngles, 3);
  IoWords(io, s->viewAnglesB, 3);
  IoWords(io, s->viewAnglesC, 3);
  IoWords(io, s->rotationWords, 3);
  IoWord(io, s->breakAt);
  IoWords(io, s->timers, 4);
  // The turret rows the ship's type has, never more than the record holds.
  int32_t turrets = io.write ? std::clamp(GetShipTurretCount(o), 0, kShipTurretCapacity) : 0;
  IoWord(io, turrets);
  if (!io.ok || turrets < 0 || turrets > kShipTurretCapacity) return false;
  for (int32_t i = 0; i < turrets; ++i) {
    if (!IoTurretRow(io, s->turrets[i])) return false;
  }
  return io.ok;
}

// The laser, shield and missile parts begin with an amount that an older writer left out: it is
// read only behind a version word 2, and the next word is then the part's own version.
bool IoAmountLead(SaveIo& io, uint32_t& amount) {
  if (IoVersion(io)) {
    IoWord(io, amount);
  } else if (!io.write) {
    amount = 0;
  }
  return IoVersion(io);
}

bool IoClassPart(SaveIo& io, SpaceObject* o) {
  const uint16_t c = o->objClass;
  if (c == kClassSector) {
    auto* s = static_cast<SectorObject*>(o);
    if (!IoVersion(io)) return false;
    IoScene(io, s->sceneA);
    IoScene(io, s->sceneB);
    IoScene(io, s->sceneC);
    IoWords(io, s->sceneWords, 3);
    IoWord(io, s->sectorFlags);
    IoWord(io, s->sectorHull);
    IoWords(io, s->sectorWords, 3);
    IoWords(io, s->sectorWords + 4, 5);
    IoBool(io, s->sectorWords[9]);
    IoWord(io, s->sectorLast);
    if (!io.write && o->ext) ListInit(&static_cast<SectorExt*>(o->ext)->children);
    return io.ok;
  }
  if (!o->ext) return ObjectExtensionSize(c) == 0;
  switch (c) {
    case kClassBullet: {
      auto* b = static_cast<BulletExt*>(o->ext);
      if (!IoVersion(io)) return false;
      IoWord(io, b->expiresAt);
      IoObject(io, b->firedBy);
      IoWord(io, b->firedAt);
      IoInstance(io, b->attachedInstance);
      IoVector3(io, b->hitPoint);
      for (auto& row : b->lastTransform.m) IoWords(io, row, 3);
      IoVector3(io, b->carriedOffset);
      IoVector3(io, b->hitOffset);
      IoObject(io, b->shooter);
      IoWord(io, b->collisionSize);
      IoWord(io, b->charge);
      IoObject(io, b->hitObject);
      IoWord(io, b->hitFlags);
      IoWord(io, b->burstMarker);
      IoWord(io, b->word29);
      IoWords(io, b->words, 2);
      return io.ok;
    }
    case kClassSun: {
      auto* s = static_cast<SunExt*>(o->ext);
      if (!IoVersion(io)) return false;
      IoInstance(io, s->lightA);
      IoInstance(io, s->lightB);
      return io.ok;
    }
    case kClassPlanet: {
      auto* p = static_cast<PlanetExt*>(o->ext);
      if (!IoVersion(io)) return false;
      IoWords(io, p->lightColour, 3);
      IoWord(io, p->word3);
      IoInstance(io, p->light);
      return io.ok;
    }
    case kClassDock: {
      auto* d = static_cast<DockExt*>(o->ext);
      return IoContainerPart(io, o, DockHead(d), DockWords(d), true) && IoVersion(io);
    }
    case kClassFactory: {
      auto* f = static_cast<FactoryExt*>(o->ext);
      if (!IoContainerPart(io, o, DockHead(&f->dock), DockWords(&f->dock), false) || !IoVersion(io)) return false;
      IoObject(io, f->linkedFactory);
      return io.ok;
    }
    case kClassShip: return IoShipPart(io, o);
    case kClassLaser: {
      auto* l = static_cast<LaserExt*>(o->ext);
      if (!IoAmountLead(io, l->word0)) return false;
      IoHalf(io, l->laserSlot);
      IoWord(io, l->readyAt);
      IoObject(io, l->currentShot);
      return io.ok;
    }
    case kClassShield: {
      auto* s = static_cast<ShieldExt*>(o->ext);
      if (!IoAmountLead(io, s->word0)) return false;
      IoWord(io, s->charge);
      IoWord(io, s->blockedUntil);
      return io.ok;
    }
    case kClassMissile: {
      auto* m = static_cast<MissileExt*>(o->ext);
      if (!IoAmountLead(io, m->launched)) return false;
      IoHalf(io, m->state);
      IoWord(io, m->launchedAt);
      IoObject(io, m->launcher);
      IoObject(io, m->target);
      IoBool(io, m->word5);
      IoWords(io, m->words, 3);
      IoHalf(io, m->phase);
      IoWords(io, m->words + 3, 2);
      IoBool(io, m->words[5]);
      return io.ok;
    }
    case kClassAsteroid: return IoVersion(io);
    case kClassGate: {
      auto* g = static_cast<GateExt*>(o->ext);
      const HeadWords head{&g->children, &g->nextLaunchAt, &g->innerPoint, &g->outerPoint, &g->words[0]};
      if (!IoContainerHead(io, head) || !IoVersion(io)) return false;
      IoWords(io, g->slotTimes, kGateSlotCount);
      for (SpaceObject*& ship : g->slotShips) IoObject(io, ship);
      return io.ok;
    }
    case kClassCamera: {
      // The two references are the followed object and the default target, the last the engine
      // camera the object drives. The follow offset and axis and the stop flag have no place
      // here: they travel in the camera chunk (WriteCameraState).
      auto* cam = static_cast<CameraExt*>(o->ext);
      if (!IoVersion(io)) return false;
      IoObject(io, cam->followedObject);
      IoObject(io, cam->defaultTarget);
      IoWords(io, cam->words + 1, 3);
      IoCamera(io, cam->sceneInstance);
      return io.ok;
    }
    case kClassSpecial: {
      auto* s = static_cast<SpecialExt*>(o->ext);
      if (!IoVersion(io)) return false;
      IoWord(io, s->parameter1);
      IoWord(io, s->screenId);
      IoWord(io, s->shownId);
      return io.ok;
    }
    case kClass21: {
      auto* e = static_cast<Class21Ext*>(o->ext);
      if (!IoVersion(io)) return false;
      IoWords(io, e->words, 16);
      return io.ok;
    }
    default: break;
  }
  // Wares, debris and wrecks.
  if (!IoVersion(io)) return false;
  IoWord(io, static_cast<AmountExt*>(o->ext)->amount);
  return io.ok;
}

bool IoObjectRecord(SaveIo& io, SpaceObject* o) { return IoCommonPart(io, o) && IoName(io, o) && IoClassPart(io, o); }

// The simulation's own per-object state that the object records leave out: the rest of a ship's
// order words (where an order started, its arrival distance, the evasion a fight is in), its
// flight and carried matrices, its slowdown, drains and obstacle distances, its turrets' aim
// points, a missile's hold and a shot's last beam position, and any object's ram mass and hit
// reference. Without them a game read back steers differently from the saved one a few frames
// on. The flight matrix is kept as it is, not rebuilt: after a ram it still holds the turned
// pose until the ship's next turn.
bool IoSimulationState(SaveIo& io, SpaceObject* o) {
  IoWord(io, o->mass);
  IoWord(io, o->hitReference);
  if (!o->ext) return io.ok;
  switch (o->objClass) {
    case kClassShip: {
      auto* s = static_cast<ShipExt*>(o->ext);
      IoWords(io, s->orderWords, 19);
      IoWords(io, s->commandWords + 3, 3);
      IoWord(io, s->slowdownFactor);
      IoWord(io, s->slowdownEnd);
      IoWord(io, s->drainBase);
      IoWord(io, s->drainRatio);
      for (auto& row : s->rotation.m) IoWords(io, row, 3);
      for (auto& row : s->carriedMatrix.m) IoWords(io, row, 3);
      IoVector3(io, s->carriedPosition);
      IoWords(io, s->tailWords, 7);
      IoWords(io, s->threatDistances, kShipThreatCapacity);
      IoWord(io, s->avoidValue);
      IoWord(io, s->heldSpeedLimit);
      IoWord(io, s->tractorEventsOff);
      IoWord(io, s->shieldDrainRate);
      IoWord(io, s->shieldDrainLeft);
      for (TurretRow& t : s->turrets) IoWords(io, t.stateWords, 8);
      break;
    }
    case kClassMissile: IoWords(io, static_cast<MissileExt*>(o->ext)->tailWords, 3); break;
    case kClassBullet: IoWords(io, static_cast<BulletExt*>(o->ext)->tailWords, 8); break;
    default: break;
  }
  return io.ok;
}

// The camera words the class part has no place for, which the object update and the flight
// pass steer by: without them a loaded camera neither stops nor follows along its axis.
void IoCameraWords(SaveIo& io, CameraExt* cam) {
  IoWord(io, cam->words[kCameraFollowOffsetWord]);
  IoWord(io, cam->words[kCameraFollowAxisWord]);
  IoWord(io, cam->words[kCameraStopWord]);
}

bool IsCamera(const SpaceObject* o) { return o && o->objClass == kClassCamera && o->ext; }

// What `ReadObject` starts from: no name, no extension, cleared words, no owner.
void ResetForRead(SpaceObject* o) {
  o->name = FreeString(o->name);
  if (o->ext) {
    ObjFreeDockSlots(o);
    MemFreeIfSet(o->ext);
    o->ext = nullptr;
  }
  o->speed = o->speedLimit = 0;
  for (int i = 0; i < 3; ++i) o->angles[i] = o->turnRates[i] = o->refAngles[i] = 0;
  o->owner = kNoOwner;
  o->flags = o->flags2 = 0;
  o->parent = o->linkedObject = nullptr;
  o->baseVelocity = FixedVector{};
  o->instance = o->shownInstance = nullptr;
  o->moduleNo = o->moduleHandle = o->scriptId = o->componentCut = 0;
  o->carrier = o->tractorTarget = o->tractorAux = nullptr;
  o->carrierNode = o->beamEffect = nullptr;
  o->marker = kObjectMarker;
  o->createdAt = Now();
}

// Frees an object this read created and never linked: it is in the id hash only.
void DiscardObject(SpaceObject* o) {
  if (gUniverse && gUniverse->idHash && HashGet(gUniverse->idHash, o->id) == reinterpret_cast<HashValue>(o)) {
    HashRemove(gUniverse->idHash, o->id);
  }
  o->name = FreeString(o->name);
  if (o->ext) {
    ObjFreeDockSlots(o);
    MemFreeIfSet(o->ext);
  }
  FreeObjectRecord(o, o->objClass);
}

// Frees a take record this read created; the engine's take stays with the engine.
void DiscardTake(ObjTakeRecord* record) {
  if (gUniverse && gUniverse->takeHash &&
      HashGet(gUniverse->takeHash, record->key) == reinterpret_cast<HashValue>(record)) {
    HashRemove(gUniverse->takeHash, record->key);
  }
  MemFreeIfSet(record->actors);
  MemFreeIfSet(record);
}

// A parent chain longer than the number of objects runs round a cycle; a parent must own a
// child list.
bool ParentsSound(const std::vector<SpaceObject*>& objects) {
  for (SpaceObject* o : objects) {
    size_t steps = 0;
    for (SpaceObject* p = o->parent; p; p = p->parent) {
      if (!ObjectChildren(p) || ++steps > objects.size()) return false;
    }
  }
  return true;
}

// The instances an object frees with itself (its own, its tractor beam's, a sun's or planet's
// lights) must each have one owner: a damaged save that gives one to two objects would have it
// freed twice.
bool OwnedInstancesUnique(const std::vector<SpaceObject*>& objects) {
  std::unordered_set<const InstanceRecord*> owned;
  auto claim = [&owned](const InstanceRecord* instance) { return !instance || owned.insert(instance).second; };
  for (const SpaceObject* o : objects) {
    if (!claim(o->instance) || !claim(o->beamEffect)) return false;
    if (o->ext && o->objClass == kClassSun) {
      const auto* sun = static_cast<const SunExt*>(o->ext);
      if (!claim(sun->lightA) || !claim(sun->lightB)) return false;
    } else if (o->ext && o->objClass == kClassPlanet) {
      if (!claim(static_cast<const PlanetExt*>(o->ext)->light)) return false;
    }
  }
  return true;
}

// Puts the object at the tail of its parent's child list, or of the top-level list; a ship then
// measures its related objects again and takes its viewpoint anew.
void ObjRelink(SpaceObject* o) {
  ListHead* list = o->parent ? ObjectChildren(o->parent) : &gUniverse->objects;
  ObjectListAddTail(list, o);
  if (o->objClass != kClassShip || !o->ext) return;
  auto* s = static_cast<ShipExt*>(o->ext);
  for (int32_t i = s->threatCount - 1; i >= 0; --i) {
    const SpaceObject* other = s->threats[i];
    s->threatDistances[i] = other && o->instance && other->instance
                                ? GetDistance(&o->instance->position, &other->instance->position)
                                : 0;
  }
  ShipSelectViewpoint(o, s->viewpoint, true, true);
}

}  // namespace

bool WriteObject(SpaceObject* object, FileObject* file) {
  if (!object) return false;
  SaveIo io{file, true, true};
  return IoObjectRecord(io, object);
}

bool ReadObject(SpaceObject* object, FileObject* file) {
  if (!object) return false;
  ResetForRead(object);
  SaveIo io{file, false, true};
  if (!IoCommonPart(io, object)) return false;
  object->shownInstance = object->instance;
  if (!IoName(io, object)) return false;
  if (const size_t size = ObjectExtensionSize(object->objClass)) {
    object->ext = MemCalloc(size);
    if (!object->ext) return false;
    if (ListHead* children = ObjectChildren(object)) ListInit(children);
  }
  return IoClassPart(io, object);
}

bool WriteUniverse(FileObject* file) {
  UniverseBlock empty{};
  UniverseBlock* u = gUniverse ? gUniverse : &empty;
  SaveIo io{file, true, true};
  if (!IoTag(io, kTagSection) || !IoStatePart(io, u)) return false;
  const std::vector<uint32_t> ids = SortedKeys(u->idHash);
  IoObject(io, u->player);
  uint32_t count = static_cast<uint32_t>(ids.size());
  IoWord(io, count);
  for (uint32_t id : ids) {
    const auto* o = reinterpret_cast<const SpaceObject*>(HashGet(u->idHash, id));
    uint32_t key = id;
    uint32_t typeWord = (uint32_t{o->objClass} << 16) | (static_cast<uint32_t>(o->subtype) & 0xFFFF);
    IoWord(io, key);
    IoWord(io, typeWord);
  }
  for (uint32_t id : ids) {
    auto* o = reinterpret_cast<SpaceObject*>(HashGet(u->idHash, id));
    uint32_t key = id;
    IoTag(io, kTagObject);
    IoWord(io, key);
    if (io.ok && !WriteObject(o, file)) io.ok = false;
  }
  const std::vector<uint32_t> takes = SortedKeys(u->takeHash);
  uint32_t takeCount = static_cast<uint32_t>(takes.size());
  IoWord(io, takeCount);
  for (uint32_t key : takes) {
    IoTag(io, kTagTake);
    if (io.ok && !WriteTakeRecord(reinterpret_cast<ObjTakeRecord*>(HashGet(u->takeHash, key)), file)) io.ok = false;
  }
  // Any failed write makes the save fail as a whole, so a cut stream never replaces a good save.
  return IoTag(io, kTagEnd);
}

bool ReadUniverse(FileObject* file) {
  if (!gUniverse) return ReadUniverseSection(file);
  ResetObjectEffects();
  FreeEffectDefinitions();
  FreeTypes();
  if (!LoadTypes(gUniverse)) return false;
  return ReadUniverseSection(file);
}

bool ReadUniverseSection(FileObject* file) {
  UniverseBlock* u = gUniverse;
  SaveIo io{file, false, true};
  if (!u) {
    // A game without a universe writes the empty section; that is all it can read back.
    UniverseBlock scratch{};
    uint32_t player = 0, count = 0, takes = 0;
    if (!IoTag(io, kTagSection) || !IoStatePart(io, &scratch)) return false;
    IoWord(io, player);
    IoWord(io, count);
    IoWord(io, takes);
    return io.ok && count == 0 && takes == 0 && IoTag(io, kTagEnd);
  }
  if (!u->idHash || !u->takeHash) return false;
  if (!IoTag(io, kTagSection) || !IoStatePart(io, u)) return false;
  uint32_t playerId = 0, count = 0;
  IoWord(io, playerId);
  IoWord(io, count);
  if (!io.ok) return false;

  std::vector<SpaceObject*> created;
  std::vector<ObjTakeRecord*> takes;
  auto fail = [&] {
    for (ObjTakeRecord* record : takes) DiscardTake(record);
    for (SpaceObject* o : created) DiscardObject(o);
    return false;
  };

  // Pass 1: the shells, so that every reference of pass 2 finds its object. Each shell takes
  // eight bytes, so the count cannot ask for more records than the stream holds.
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = 0, typeWord = 0;
    IoWord(io, id);
    IoWord(io, typeWord);
    const uint32_t objClass = (typeWord >> 16) & 0xFF;
    if (!io.ok || id == 0 || objClass >= kObjectClassCount || HashLookup(u->idHash, id)) return fail();
    SpaceObject* o = AllocObjectRecord(static_cast<int32_t>(objClass));
    if (!o) return fail();
    o->scriptValue.type = kValueNone;
    o->id = id;
    o->objClass = static_cast<uint16_t>(objClass);
    o->subtype = static_cast<int16_t>(typeWord & 0xFFFF);
    if (!HashInsert(u->idHash, id, reinterpret_cast<HashValue>(o))) {
      FreeObjectRecord(o, static_cast<int32_t>(objClass));
      return fail();
    }
    created.push_back(o);
  }
  // Pass 2: the records.
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = 0;
    if (!IoTag(io, kTagObject)) return fail();
    IoWord(io, id);
    auto* o = io.ok ? reinterpret_cast<SpaceObject*>(HashGet(u->idHash, id)) : nullptr;
    if (!o || !ReadObject(o, file)) return fail();
  }
  uint32_t takeCount = 0;
  IoWord(io, takeCount);
  if (!io.ok) return fail();
  for (uint32_t i = 0; i < takeCount; ++i) {
    if (!IoTag(io, kTagTake)) return fail();
    auto* record = static_cast<ObjTakeRecord*>(MemCalloc(sizeof(ObjTakeRecord)));
    if (!record) return fail();
    if (!ReadTakeRecord(record, file) || HashLookup(u->takeHash, record->key) ||
        !HashInsert(u->takeHash, record->key, reinterpret_cast<HashValue>(record))) {
      DiscardTake(record);
      return fail();
    }
    takes.push_back(record);
  }
  if (!ParentsSound(created) || !OwnedInstancesUnique(created)) return fail();

  // Relink in key order: child lists come back in that order.
  std::sort(created.begin(), created.end(), [](const SpaceObject* a, const SpaceObject* b) { return a->id < b->id; });
  for (SpaceObject* o : created) ObjRelink(o);
  // New objects are numbered on from the highest id read back, whatever this process counted
  // before, so every game read back from one save gives its new objects the same ids.
  HashSetKeyCounter(u->idHash, created.empty() ? 0 : created.back()->id);
  RemoveObjectsOutsideSectors();
  u->player = playerId != 0 ? FindObjectById(u, playerId) : nullptr;
  return IoTag(io, kTagEnd);
}

bool WriteSimulationState(FileObject* file) {
  SaveIo io{file, true, true};
  const std::vector<uint32_t> ids = SortedKeys(gUniverse ? gUniverse->idHash : nullptr);
  uint32_t count = static_cast<uint32_t>(ids.size());
  IoWord(io, count);
  for (uint32_t id : ids) {
    auto* o = reinterpret_cast<SpaceObject*>(HashGet(gUniverse->idHash, id));
    uint32_t key = id, objClass = o->objClass;
    IoWord(io, key);
    IoWord(io, objClass);
    if (!IoSimulationState(io, o)) return false;
  }
  return io.ok;
}

bool ReadSimulationState(FileObject* file) {
  SaveIo io{file, false, true};
  uint32_t count = 0;
  IoWord(io, count);
  const HashTable* hash = gUniverse ? gUniverse->idHash : nullptr;
  // The records name objects the universe section made, each once at most.
  if (!io.ok || count > (hash ? HashCount(hash) : 0)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = 0, objClass = 0;
    IoWord(io, id);
    IoWord(io, objClass);
    auto* o = io.ok && id != 0 ? reinterpret_cast<SpaceObject*>(HashGet(hash, id)) : nullptr;
    if (!o || o->objClass != objClass || !IoSimulationState(io, o)) return false;
  }
  return io.ok;
}

bool WriteCameraState(FileObject* file) {
  SaveIo io{file, true, true};
  std::vector<uint32_t> cameras;
  for (uint32_t id : SortedKeys(gUniverse ? gUniverse->idHash : nullptr)) {
    if (IsCamera(reinterpret_cast<const SpaceObject*>(HashGet(gUniverse->idHash, id)))) cameras.push_back(id);
  }
  if (!IoVersion(io)) return false;
  uint32_t count = static_cast<uint32_t>(cameras.size());
  IoWord(io, count);
  for (uint32_t id : cameras) {
    uint32_t key = id;
    IoWord(io, key);
    IoCameraWords(io, static_cast<CameraExt*>(reinterpret_cast<SpaceObject*>(HashGet(gUniverse->idHash, id))->ext));
  }
  return io.ok;
}

bool ReadCameraState(FileObject* file) {
  SaveIo io{file, false, true};
  if (!IoVersion(io)) return false;
  uint32_t count = 0;
  IoWord(io, count);
  const HashTable* hash = gUniverse ? gUniverse->idHash : nullptr;
  if (!io.ok || count > (hash ? HashCount(hash) : 0)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = 0;
    IoWord(io, id);
    auto* o = io.ok && id != 0 ? reinterpret_cast<SpaceObject*>(HashGet(hash, id)) : nullptr;
    if (!IsCamera(o)) return false;
    IoCameraWords(io, static_cast<CameraExt*>(o->ext));
  }
  return io.ok;
}
