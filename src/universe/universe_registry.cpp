// The universe's settings, registry and relations: `ApplyGlobals` and its settings, lookups by
// id over the universe's hashes, the player object, the state reset, the match lookups, the value
// scripts set on objects, and the race relations of ships and stations. Called by the type
// loader, the simulation, the save sections and the script natives. Never creates or frees an
// object; a removed object is only marked and has its references dropped.
#include "universe/universe_registry.h"

#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/texture_animation.h"
#include "script/tasks.h"
#include "universe/object_references.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kDefaultMaxCommDistance = 25000;
constexpr int32_t kCommDistanceScale = 500;
constexpr int32_t kDefaultMaxHullContainer = 100;
constexpr int32_t kDefaultMaxHullBoardingPod = 300;
constexpr int32_t kDefaultCursorSteeringDamping = 30;
constexpr int32_t kDefaultMaxFireDegrees = 30;
constexpr int32_t kMaxFireDegreesLimit = 89;

constexpr int32_t kGlobalDetailVisibleMinDist = 84;
constexpr int32_t kGlobalCursorSteeringDamping = 94;
constexpr int32_t kGlobalMaxFireAngle = 95;
constexpr int32_t kGlobalMaxCommDistance = 96;
constexpr int32_t kGlobalMaxHullContainer = 100;
constexpr int32_t kGlobalMaxHullBoardingPod = 101;

constexpr uint32_t kObjFlag2Neutral = 1u << 30;
constexpr uint32_t kShipState27 = 27;

// The race masks of a ship, dock or factory; null for every other class.
uint32_t* FriendMask(const SpaceObject* object) {
  if (!object || !object->ext) return nullptr;
  if (object->objClass == kClassShip) return &static_cast<ShipExt*>(object->ext)->friendMask;
  if (object->objClass == kClassDock || object->objClass == kClassFactory) {
    return &static_cast<DockExt*>(object->ext)->friendMask;
  }
  return nullptr;
}
uint32_t* FoeMask(const SpaceObject* object) {
  if (!object || !object->ext) return nullptr;
  if (object->objClass == kClassShip) return &static_cast<ShipExt*>(object->ext)->foeMask;
  if (object->objClass == kClassDock || object->objClass == kClassFactory) {
    return &static_cast<DockExt*>(object->ext)->foeMask;
  }
  return nullptr;
}

// An owner race that can index the 32-bit relation masks; other values (none included) cannot.
bool IsMaskRace(int32_t race) { return race >= 0 && race < 32; }

// The key a match row is compared with: the lookup id or the body id of the type.
int32_t MatchKey(bool byLookup, int32_t objClass, int32_t subtype) {
  if (byLookup) return GetTypeLookupId(subtype, objClass);
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  return row ? row->bodyId : -1;
}

int32_t MatchFind(int32_t kind, int32_t class1, int32_t subtype1, int32_t class2, int32_t subtype2,
                  bool withQualifier, int32_t qualifier, int32_t* outClass, int32_t* outSubtype) {
  if (kind != -1 && kind != 0) return 0;  // the table has one kind
  const MatchTable& table = gMatchTable;
  int32_t a = MatchKey(table.flags & kMatchFlagCut1, class1, subtype1);
  int32_t b = MatchKey(table.flags & kMatchFlagCut2, class2, subtype2);
  for (int32_t i = 0; table.rows && i < table.count; ++i) {
    const MatchRow& row = table.rows[i];
    if (row.key1 != a || row.key2 != b) continue;
    bool found;
    if (table.flags & kMatchFlagCutMatch) {
      found = withQualifier ? FindTypeByLookupAndQualifier(row.result, qualifier, outClass, outSubtype)
                            : FindTypeByLookupId(row.result, outClass, outSubtype);
    } else {
      found = withQualifier ? FindTypeByBodyAndQualifier(row.result, qualifier, outClass, outSubtype)
                            : FindTypeByBodyId(row.result, outClass, outSubtype);
    }
    return found ? 1 : 0;
  }
  return 0;
}

}  // namespace

int32_t gDetailVisibleMinDist = 0;
int32_t gMaxCommDistance = kDefaultMaxCommDistance * kCommDistanceScale;
int32_t gMaxHullContainer = kDefaultMaxHullContainer;
int32_t gMaxHullBoardingPod = kDefaultMaxHullBoardingPod;
int32_t gCursorSteeringDamping = kDefaultCursorSteeringDamping;
int32_t gMaxFireAngle = kDefaultMaxFireDegrees * 65536 / 360;
int32_t gMaxFireAngleCos = 0;  // set by ApplyGlobals from the sine table
int32_t gMaxFireAngleTan = 0;

int32_t GlobalsGet(int32_t id, int32_t fallback) {
  for (int32_t i = 0; gGlobalsTable.entries && i < gGlobalsTable.count; ++i) {
    if (gGlobalsTable.entries[i].id == id) return gGlobalsTable.entries[i].value;
  }
  return fallback;
}

void ApplyGlobals() {
  gDetailVisibleMinDist = GlobalsGet(kGlobalDetailVisibleMinDist, 0);
  gMaxCommDistance = SaturateToInt32(
      static_cast<int64_t>(GlobalsGet(kGlobalMaxCommDistance, kDefaultMaxCommDistance)) * kCommDistanceScale);
  gMaxHullContainer = GlobalsGet(kGlobalMaxHullContainer, kDefaultMaxHullContainer);
  gMaxHullBoardingPod = GlobalsGet(kGlobalMaxHullBoardingPod, kDefaultMaxHullBoardingPod);
  gCursorSteeringDamping = GlobalsGet(kGlobalCursorSteeringDamping, kDefaultCursorSteeringDamping);

  int32_t degrees = GlobalsGet(kGlobalMaxFireAngle, kDefaultMaxFireDegrees);
  if (degrees < 1) degrees = 0;
  if (degrees >= kMaxFireDegreesLimit) degrees = kMaxFireDegreesLimit;
  gMaxFireAngle = degrees * 65536 / 360;
  int32_t sine = TableSine(static_cast<uint32_t>(gMaxFireAngle));
  // The quarter-wave table peaks at 65535; a zero angle is exactly 1.0, so steering with no fire
  // cone compares against a full cosine.
  gMaxFireAngleCos = gMaxFireAngle == 0 ? 65536 : TableCosine(static_cast<uint32_t>(gMaxFireAngle));
  gMaxFireAngleTan = gMaxFireAngleCos == 0
                         ? 0
                         : SaturateToInt32((static_cast<int64_t>(sine) << 16) / gMaxFireAngleCos);
}

HashValue HashFindValue(const HashTable* hash, uint32_t key) { return HashGet(hash, key, 0); }

void ObjSetName(SpaceObject* object, const char* text) {
  if (object) object->name = ReplaceString(object->name, text);
}

bool ObjHasFlag20(const SpaceObject* object) { return object && (object->flags & kObjFlagContainer); }

SpaceObject* FindObjectById(UniverseBlock* universe, uint32_t id) {
  if (!universe) return nullptr;
  return reinterpret_cast<SpaceObject*>(HashFindValue(universe->idHash, id));
}

SpaceObject* FindObjectByIdGlobal(uint32_t id) { return FindObjectById(gUniverse, id); }

SpaceObject* FindSectorById(uint32_t id) {
  SpaceObject* object = FindObjectByIdGlobal(id);
  return object && object->objClass == kClassSector ? object : nullptr;
}

ObjTakeRecord* FindTakeById(uint32_t id) {
  if (!gUniverse) return nullptr;
  return reinterpret_cast<ObjTakeRecord*>(HashFindValue(gUniverse->takeHash, id));
}

SpaceObject* GetPlayerObject() { return gUniverse ? gUniverse->player : nullptr; }

bool IsPlayerObject(const SpaceObject* object) { return object && object == GetPlayerObject(); }

UniverseBlock* UniverseResetState() {
  UniverseBlock* u = gUniverse;
  if (!u) return nullptr;
  u->runState[0] = 1;
  u->runState[1] = 1;
  u->savedWordC = 0;
  u->player = nullptr;
  // The six words after the player and the one after them.
  u->savedWordD = 0;
  u->statWord = 0;
  u->missileCount = 0;
  for (int i = 0; i < 4; ++i) u->statWords[i] = 0;
  return u;
}

void RemoveObjectsOutsideSectors() {
  if (!gUniverse) return;
  for (SpaceObject* o = ObjectListFirst(&gUniverse->objects); o; o = ObjectListNext(o)) {
    if (o->objClass == kClassSector || o->parent) continue;
    o->flags |= kObjFlagRemoving;
    ReleaseObjectReferences(o);
  }
}

int32_t MatchesFindType(int32_t kind, int32_t class1, int32_t subtype1, int32_t class2, int32_t subtype2,
                        int32_t qualifier, int32_t* outClass, int32_t* outSubtype) {
  return MatchFind(kind, class1, subtype1, class2, subtype2, true, qualifier, outClass, outSubtype);
}

int32_t MatchesFindType2(int32_t kind, int32_t class1, int32_t subtype1, int32_t class2, int32_t subtype2,
                         int32_t* outClass, int32_t* outSubtype) {
  return MatchFind(kind, class1, subtype1, class2, subtype2, false, 0, outClass, outSubtype);
}

void SetObjectEventValue(uint32_t id, int32_t value) {
  if (!gUniverse) return;
  if (id == 0) {
    SetValueInt(&gUniverse->scriptValue, value);
    gUniverse->savedWordC = 1;
    return;
  }
  SpaceObject* object = FindObjectById(gUniverse, id);
  if (!object) return;
  SetValueInt(&object->scriptValue, value);
  object->valueSet = 1;
}

int32_t ObjGetRelation(const SpaceObject* other, const SpaceObject* object) {
  if (!other || !object) return 0;
  if (other->objClass == kClassMissile && (other->flags & kObjFlagArmed) && other->ext) {
    const MissileExt* missile = static_cast<const MissileExt*>(other->ext);
    if (missile->target != object && other->owner != object->owner) return -1;
  }
  if (object->flags2 & kObjFlag2Neutral) return 0;
  const uint32_t* friends = FriendMask(object);
  const uint32_t* foes = FoeMask(object);
  if (!friends || !foes) return 0;
  int32_t race = other->owner == kNoOwner ? -1 : other->owner;
  if (!IsMaskRace(race)) return 0;
  if ((*friends >> race) & 1u) return 1;
  if ((*foes >> race) & 1u) return -1;
  return 0;
}

void ObjSetRelation(int32_t race, SpaceObject* object, int32_t value) {
  uint32_t* friends = FriendMask(object);
  uint32_t* foes = FoeMask(object);
  if (!friends || !foes || !IsMaskRace(race)) return;
  uint32_t bit = 1u << race;
  if (value >= 1 || race == object->owner) {
    *friends |= bit;
    *foes &= ~bit;
  } else if (value == 0) {
    *friends &= ~bit;
    *foes &= ~bit;
  } else {
    *friends &= ~bit;
    *foes |= bit;
  }
}

bool ObjIsInActiveSector(const SpaceObject* object) {
  if (!ObjIsInSector(object)) return false;
  const SectorObject* sector = static_cast<const SectorObject*>(object->parent);
  if (!(sector->sectorFlags & kSectorFlagActiveWithPlayer)) return true;
  const SpaceObject* player = GetPlayerObject();
  return !player || player->parent == object->parent;
}

bool ShipIsInState27(const SpaceObject* ship) {
  return ship && ship->objClass == kClassShip && ship->ext &&
         static_cast<const ShipExt*>(ship->ext)->stateWord == kShipState27;
}

void ShipUpdateRatio(SpaceObject* ship, int32_t bulletSubtype) {
  const ObjectTypeRecord* bullet = TypeRow(kClassBullet, bulletSubtype);
  if (!ship || ship->objClass != kClassShip || !ship->ext || !bullet) return;
  ShipExt* ext = static_cast<ShipExt*>(ship->ext);
  int32_t fifth = bullet->bullet.impactValue[4];
  int32_t sixth = bullet->bullet.impactValue[5];
  if (ext->drainBase > fifth) ext->drainBase = fifth;
  // base x 1000 overflows 32 bits for bases above about two million.
  ext->drainRatio = sixth != 0 ? SaturateToInt32(static_cast<int64_t>(ext->drainBase) * 1000 / sixth) : 0;
}

void ShipStartTypeTimer(SpaceObject* ship, int32_t bulletSubtype) {
  const ObjectTypeRecord* bullet = TypeRow(kClassBullet, bulletSubtype);
  if (!ship || ship->objClass != kClassShip || !ship->ext || !bullet) return;
  ShipExt* ext = static_cast<ShipExt*>(ship->ext);
  const uint32_t now = gSystem ? gSystem->gameTime : 0;
  ext->timers[kShipTimerEffectEnd] = now + static_cast<uint32_t>(bullet->bullet.impactValue[2]);
  const int64_t rate = static_cast<int64_t>(bullet->bullet.impactValue[1]) * 65536 / 100;
  ext->timers[kShipTimerEffectRate] = static_cast<uint32_t>(SaturateToInt32(rate));
}

void ReleaseModuleHandle(SpaceObject* object, int32_t value) {
  if (!object || object->moduleNo == 0) return;
  int32_t module = static_cast<int32_t>(object->moduleNo);
  uint32_t handle = object->moduleHandle;
  // Cleared first, so a callback that looks at the object sees it released.
  object->moduleNo = 0;
  object->moduleHandle = 0;
  ModuleResumeInt(module, value, handle);
}

void ShipReleaseModuleHandle(SpaceObject* ship, int32_t row, int32_t value) {
  if (!ship || ship->objClass != kClassShip || !ship->ext || row < 0 || row >= kShipTurretCapacity) return;
  TurretRow& turret = static_cast<ShipExt*>(ship->ext)->turrets[row];
  if (turret.moduleNo == 0) return;
  const int32_t module = static_cast<int32_t>(turret.moduleNo);
  const uint32_t handle = turret.handle;
  turret.moduleNo = 0;
  turret.handle = 0;
  ModuleResumeInt(module, value, handle);
}

void ObjSetExtField84(SpaceObject* object, int32_t value) {
  if (!object || !object->ext) return;
  const uint32_t word = static_cast<uint32_t>(value);
  switch (object->objClass) {
    case kClassShip: static_cast<ShipExt*>(object->ext)->reciprocalHostile = word; break;
    case kClassDock:
    case kClassFactory: static_cast<DockExt*>(object->ext)->reciprocalHostile = word; break;
    default: break;
  }
}

void ObjReleaseMediaStream(int32_t stream, int32_t owner) { MediaStreamRelease(stream, owner); }
