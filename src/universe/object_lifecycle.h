// The life of a space object: initialisation by class, creation with an id in the universe's
// top-level list, sectors, destruction in resource order, emptying and tearing down the
// universe, and the take records that play cuts on objects. The script natives, the save
// reader, the game loop and the shutdown call it. Records are allocated by the caller (or by
// `AllocObjectRecord`); these operations fill, link, unlink and clear them.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct SpaceObject;
struct SectorObject;
struct UniverseBlock;
struct InstanceRecord;
struct TakeRecord;

// A type word: class in bits 16..23, signed 16-bit subtype in bits 0..15.
constexpr uint32_t MakeTypeWord(int32_t objClass, int32_t subtype) {
  return (static_cast<uint32_t>(objClass & 0xFF) << 16) | (static_cast<uint32_t>(subtype) & 0xFFFF);
}

// The universe's record of a cut played on objects: slot i of `actors` is the object the cut
// made for its instance slot i, or null.
struct ObjTakeRecord {
  uint32_t key;  // in the universe's takeHash
  TakeRecord* take;
  SpaceObject** actors;  // owned; one entry per instance slot of the take, or null
  SpaceObject* sector;
  int32_t value;
};

void InitObject(SpaceObject* object, int16_t objClass, int16_t subtype);

// A zero-filled record large enough for the class (the longer sector record for class 1); null
// when memory runs out. Freed with `FreeObjectRecord`, which is given the class the record was
// allocated for.
SpaceObject* AllocObjectRecord(int32_t objClass);
void FreeObjectRecord(SpaceObject* object, int32_t objClass);

// A record allocated for the class and created with the type; null, with nothing left behind,
// when memory runs out or the type is a sector's.
SpaceObject* NewObject(int32_t objClass, int32_t subtype);

// Initialises, links at the tail of the top-level list and gives the object a new id. A common
// record cannot hold a sector: a sector type word is refused (null, record untouched).
SpaceObject* CreateObject(SpaceObject* object, uint32_t typeWord);
// The sector record's form; any other class is refused and the record left untouched.
void CreateSector(SectorObject* sector, uint32_t typeWord);
// Releases what the object holds and unlinks it; the record stays allocated.
void ObjDestroy(SpaceObject* object);
// `ObjDestroy` and the free of a record from `AllocObjectRecord`.
void DeleteObject(SpaceObject* object);
// Frees the docking-place table of a dock, factory or ship; other objects have none.
void ObjFreeDockSlots(SpaceObject* object);

// A take's zeroed instance slots, counted in the memory statistics at their nominal 32-bit size,
// as `ObjTakeStop` gives them back; null when memory runs out.
InstanceRecord** AllocTakeInstanceSlots(int32_t count);
void ObjTakeStop(ObjTakeRecord* takeRecord);
void ObjTakeFree(ObjTakeRecord* takeRecord);
// Plays the take's cut on its instances (or on the objects made for its slots), over the note
// range of `label` when the cut has one, from the given origin (on `path` when given). True while
// one of them has not finished; the take then counts as running.
bool NodeStartPathJob(ObjTakeRecord* takeRecord, const FixedVector* position, const int32_t* label, bool loop,
                      const FixedMatrix* path);

// The universe's freed-instance hook: an object whose instance, shown instance or carrier node
// is freed under it loses that pointer.
void ObjectsForgetInstance(InstanceRecord* instance);

// One script event as it leaves the universe: to the object's script (object set), or to a
// script id alone (object null, as for the game's global script).
struct ObjectEvent {
  SpaceObject* object;
  uint32_t scriptId;
  const char* name;
  int32_t argCount;
  int32_t args[6];
  uint32_t resultHolder;  // non-zero: the integer answer is kept as the value of this object id
  bool forResult;         // the answer is kept (as the universe block's value for holder 0)
};

// Object events go to the object's script, on the universe's module, only when it has a script
// id. Tests may watch them; null restores the script call.
using ObjectEventSink = void (*)(const ObjectEvent& event);
void SetObjectEventSink(ObjectEventSink sink);
void RaiseObjectEvent(SpaceObject* object, const char* name, int32_t argCount, int32_t a = 0, int32_t b = 0,
                      int32_t c = 0);
// The same, with the script's integer answer kept as the event value of the object `holderId`
// (read back from that object's script value once the call returns).
void RaiseObjectEventForResult(SpaceObject* object, const char* name, uint32_t holderId, int32_t argCount,
                               int32_t a = 0, int32_t b = 0);
// Whether the object's script has a function of that name; every event reaches a sink a test
// installed, so with one the answer is yes whenever the object has a script.
bool ObjectScriptHasFunction(const SpaceObject* object, const char* name);
// An event to the game's global script object (id 0) with up to six arguments; its integer answer
// is kept as the universe block's script value.
void RaiseGlobalEventForResult(const char* name, int32_t argCount, const int32_t args[6]);
// An event to a script id that is not an object's (150, the game's script), with at most one
// argument.
void RaiseScriptIdEvent(uint32_t scriptId, const char* name, int32_t argCount = 0, int32_t a = 0);
// How many object and script-id events have been raised so far (wrapping): a walk that keeps its
// own view of a list compares it before and after a step to learn whether script code ran.
uint32_t ObjectEventCount();
