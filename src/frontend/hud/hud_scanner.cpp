// The HUD's per-frame script queries and the scanner pass: the current sector object, the mission
// offers of the cockpit's sector, and the list of objects the scanner keeps, sorted by distance.
// Called by the cockpit frame step; the radar and the displays read the lists. It never frees an
// object and keeps no pointer beyond the frame.
#include <algorithm>
#include <cmath>
#include <cstdarg>

#include "core/memory.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/hud_step.h"
#include "scene/instance_records.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/script_calls.h"
#include "script/value.h"
#include "universe/dock_ports.h"
#include "universe/object_classes.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kCurrentObjectScript = 311;
constexpr int32_t kResultInt = 1;
constexpr int32_t kResultArray = 3;
constexpr int kMaxFields = 50;
constexpr int32_t kScannerLimitGlobal = 12;
constexpr uint32_t kScannerSkipFlags = 0x11;
constexpr uint32_t kScannerSkipFlags2 = 1u << 29;
constexpr uint32_t kKnownFlag = 0x8;
constexpr uint32_t kScannerExemptFlag2 = 0x10;
constexpr uint32_t kShortRangeFlag2 = 0x4000;
constexpr int64_t kShortRange = 250000;
constexpr uint16_t kPlayerRace = 10;
constexpr uint32_t kDockCommand = 27;

bool QueryReal(int32_t objectId, const char* name, int32_t kind, int32_t argCount, const int32_t* a,
               ScriptValue* answer) {
  if (!gGuiMaster || !gScriptEngine || !ScriptMethodExists(gScriptEngine, objectId, name)) return false;
  ReleaseValue(&gGuiMaster->moduleResult);
  if (argCount == 4) CallScriptFunctionRet(gCockpitModule, 0, objectId, name, kind, 4, a[0], a[1], a[2], a[3]);
  else if (argCount == 1) CallScriptFunctionRet(gCockpitModule, 0, objectId, name, kind, 1, a[0]);
  else CallScriptFunctionRet(gCockpitModule, 0, objectId, name, kind, 0);
  MoveValue(answer, &gGuiMaster->moduleResult);
  return true;
}

void SetKnownReal(int32_t objectId) { CallScriptFunction(0, 0, objectId, "SetKnown", 1, 1, 1); }

int32_t QueryInt(int32_t objectId, const char* name, int32_t argCount = 0, const int32_t* args = nullptr,
                 int32_t fallback = 0) {
  ScriptValue v{};
  if (!HudQuery(objectId, name, kResultInt, argCount, args, &v)) return fallback;
  const int32_t answer = v.type == kValueInt ? v.i : fallback;
  ReleaseValue(&v);
  return answer;
}

// Appends one element to a growable per-frame list.
template <typename T>
void Append(CockpitArray* array, const T& item) {
  auto* begin = static_cast<T*>(array->begin);
  auto* end = static_cast<T*>(array->end);
  auto* cap = static_cast<T*>(array->capacity);
  if (end == cap) {
    const size_t used = static_cast<size_t>(end - begin);
    const size_t grown = used ? used * 2 : 16;
    begin = static_cast<T*>(MemRealloc(begin, used * sizeof(T), grown * sizeof(T), kMemUncounted));
    end = begin + used;
    cap = begin + grown;
    array->begin = begin;
    array->capacity = cap;
  }
  *end++ = item;
  array->end = end;
}

void Empty(CockpitArray* array) { array->end = array->begin; }

template <typename T>
T* Items(const CockpitArray* array, int32_t* count) {
  auto* begin = static_cast<T*>(array->begin);
  *count = begin ? static_cast<int32_t>(static_cast<T*>(array->end) - begin) : 0;
  return begin;
}

// The sector that holds the object, one level further up for a dock or factory parent.
SpaceObject* HoldingSector(const SpaceObject* o) {
  SpaceObject* parent = o ? o->parent : nullptr;
  if (parent && (parent->objClass == kClassDock || parent->objClass == kClassFactory)) parent = parent->parent;
  return parent && parent->objClass == kClassSector ? parent : nullptr;
}

int64_t MaxNorm(const FixedVector& a, const FixedVector& b) {
  return std::max({std::llabs(int64_t{a.x} - b.x), std::llabs(int64_t{a.y} - b.y), std::llabs(int64_t{a.z} - b.z)});
}

struct Field {
  FixedVector at;
  int32_t radius;
};

// The docking port the player would take at a dock or factory, or -1.
int32_t DockPortFor(const CockpitRecord* c, SpaceObject* o) {
  SpaceObject* ship = c->cockpitRefObject;
  if (ship->objClass == kClassShip && ship->ext) {
    const auto* ext = static_cast<const ShipExt*>(ship->ext);
    if (ext->commandWord == kDockCommand && ext->commandObject == o) return ext->dockSlot;
  }
  SpaceObject* player = GetPlayerObject();
  if (!player || !o->scriptId) return -1;
  const ObjectTypeRecord* row = TypeRow(player->objClass, player->subtype);
  const int32_t args[4] = {static_cast<int32_t>(player->scriptId), row ? row->group : 0, 1, 0};
  return QueryInt(static_cast<int32_t>(o->scriptId), "__requestDockPort", 4, args, -1);
}

}  // namespace

bool HudQuery(int32_t objectId, const char* name, int32_t kind, int32_t argCount, const int32_t* args,
              ScriptValue* answer) {
  return (gHudOutputs.query ? gHudOutputs.query : QueryReal)(objectId, name, kind, argCount, args, answer);
}

void HudSetKnown(int32_t objectId) { (gHudOutputs.setKnown ? gHudOutputs.setKnown : SetKnownReal)(objectId); }

ScannerEntry* ScannerEntries(const CockpitRecord* c, int32_t* count) {
  return Items<ScannerEntry>(&c->scannerObjects, count);
}
MissionOffer* MissionOffers(const CockpitRecord* c, int32_t* count) {
  return Items<MissionOffer>(&c->missionOffers, count);
}

void CockpitQueryCurrentObject(CockpitRecord* c) {
  c->currentSectorObject = nullptr;
  const int32_t id = QueryInt(kCurrentObjectScript, "GetCurrentObjectIDInSector");
  if (id != 0) c->currentSectorObject = FindObjectByIdGlobal(static_cast<uint32_t>(id));
}

void CockpitQueryMissionOffers(CockpitRecord* c) {
  Empty(&c->missionOffers);
  SpaceObject* sector = HoldingSector(c->cockpitRefObject);
  if (!sector || !sector->scriptId) return;
  ScriptValue answer{};
  if (!HudQuery(static_cast<int32_t>(sector->scriptId), "GetMissionOfferArray", kResultArray, 0, nullptr, &answer))
    return;
  if (answer.type == kValueArray && answer.array) {
    // Pairs of (object id, value); an odd last element has no partner and is left out.
    for (int32_t k = 0; 2 * k + 1 < answer.array->size; ++k) {
      const ScriptValue* id = ArrayElementPtr(&answer, 2 * k);
      const ScriptValue* value = ArrayElementPtr(&answer, 2 * k + 1);
      if (!id || !value || id->type != kValueInt) continue;
      SpaceObject* o = FindObjectByIdGlobal(static_cast<uint32_t>(id->i));
      if (o) Append(&c->missionOffers, MissionOffer{o, static_cast<uint16_t>(value->i)});
    }
  }
  ReleaseValue(&answer);
}

void CockpitScannerPass(CockpitRecord* c) {
  Empty(&c->scannerObjects);
  c->scannerRange = 0;
  if (c->monitorNumber != 0 && !(gGuiMaster && gGuiMaster->drawRadar && c->radarBodyOn)) return;
  SpaceObject* carrier = c->cockpitRefObject;
  SpaceObject* sector = HoldingSector(carrier);
  ListHead* objects = sector ? ObjectChildren(sector) : nullptr;
  if (!objects) return;
  FixedVector eye;
  CockpitViewPoint(c, &eye);
  if (carrier->scriptId) c->scannerRange = QueryInt(static_cast<int32_t>(carrier->scriptId), "GetScannerRange");
  const int64_t range = c->scannerRange;

  Field fields[kMaxFields];
  int fieldCount = 0;
  bool insideField = false;
  for (ListNode* node = ListFirst(objects); node && fieldCount < kMaxFields; node = ListNext(node)) {
    auto* o = reinterpret_cast<SpaceObject*>(node);
    if (o->objClass != kClass21 || !o->ext || !o->instance) continue;
    const auto* nebula = static_cast<const Class21Ext*>(o->ext);
    const auto r = static_cast<int32_t>(nebula->words[0]);
    if (r < 1 || static_cast<int32_t>(nebula->words[1]) < 1) continue;
    const int64_t d = MaxNorm(o->instance->position, eye);
    if (d < r) insideField = true;
    if (d < range + r) fields[fieldCount++] = Field{o->instance->position, r};
  }
  const int64_t limit = GlobalsGet(kScannerLimitGlobal, 0);
  auto inListedField = [&](const FixedVector& at) {
    for (int i = 0; i < fieldCount; ++i) {
      if (RoundedDistance(&fields[i].at, &at) < fields[i].radius) return true;
    }
    return false;
  };

  for (ListNode* node = ListFirst(objects); node; node = ListNext(node)) {
    auto* o = reinterpret_cast<SpaceObject*>(node);
    if (o == carrier || (o->flags & kScannerSkipFlags) || (o->flags2 & kScannerSkipFlags2) || !o->instance) continue;
    int64_t d = RoundedDistance(&eye, &o->instance->position);
    InstanceRecord* anchor = o->instance;
    if ((o->objClass == kClassDock || o->objClass == kClassFactory) && d < 4 * int64_t{o->radius}) {
      const int32_t port = DockPortFor(c, o);
      SpaceObject* player = GetPlayerObject();
      InstanceRecord* entry = port >= 0 && player ? ObjPickEntryForShipType(o, port, player->subtype) : nullptr;
      if (entry) {
        anchor = entry != o->instance && ListFirst(&entry->children)
                     ? reinterpret_cast<InstanceRecord*>(ListFirst(&entry->children))
                     : entry;
        d = RoundedDistance(&eye, &anchor->world);
      }
    }
    o->radarAnchor = anchor;
    const bool inField = inListedField(o->instance->position);
    bool keep;
    if (o == c->trackObject || o == c->currentSectorObject) {
      keep = !((insideField && d > limit) || inField);
      if (!keep) c->trackObject = nullptr;
    } else if (o->owner == kPlayerRace) {
      keep = true;
    } else if ((o->flags2 & kScannerExemptFlag2) && !(o->flags & kKnownFlag)) {
      keep = true;
    } else {
      keep = !(d > range || ((o->flags2 & kShortRangeFlag2) && d > kShortRange) || (insideField && d > limit) ||
               inField);
    }
    if (!keep) continue;
    if (o->flags & kKnownFlag) {
      if (!o->scriptId) o->flags &= ~kKnownFlag;
      else HudSetKnown(static_cast<int32_t>(o->scriptId));
    }
    Append(&c->scannerObjects, ScannerEntry{o, static_cast<int32_t>(std::min<int64_t>(d, INT32_MAX))});
  }
  int32_t count = 0;
  ScannerEntry* entries = ScannerEntries(c, &count);
  if (entries) std::sort(entries, entries + count, [](const ScannerEntry& a, const ScannerEntry& b) {
    return a.distance < b.distance;
  });
}
