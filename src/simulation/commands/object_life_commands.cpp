// The object life commands of the `SA_` module (0 to 8): scripts create and free space objects,
// find them by id, choose the script object that receives their events, put them into a sector,
// and kill or damage them. The dispatcher calls them through the family rows below. A script's
// free never releases a record while anybody walks the object lists: it goes through the
// universe guard's deferred free. Nothing here creates an object of a type that does not exist.
#include "simulation/commands/sa_call.h"
#include "simulation/damage.h"
#include "simulation/universe_guard.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kTypeClassCount = 32;

// An integer gives itself, a script object reference its object's id; any other value none.
bool ScriptIdOf(const ScriptValue* value, int32_t* id) {
  if (!value) return false;
  if (value->type == kValueInt) {
    *id = value->i;
    return true;
  }
  if (value->type == kValueObject && value->object) {
    *id = value->object->id;
    return true;
  }
  return false;
}

void AllocObjectCommand(SACall* call) {
  const int32_t objClass = SAArgInt(call, 0);
  const int32_t subtype = SAArgInt(call, 1);
  if (objClass == kClassSector) {
    // A sector takes any subtype; the readers of its type row check the range themselves.
    auto* sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
    if (!sector) return SAAnswerInt(call, 0);
    CreateSector(sector, MakeTypeWord(kClassSector, subtype));
    return SAAnswerInt(call, static_cast<int32_t>(sector->id));
  }
  if (objClass < 0 || objClass >= kTypeClassCount || subtype < 0 || subtype >= gObjectTypeTables[objClass].count) {
    return SAAnswerInt(call, 0);
  }
  SpaceObject* object = AllocObjectRecord(objClass);
  if (!object) return SAAnswerInt(call, 0);
  if (!CreateObject(object, MakeTypeWord(objClass, subtype))) {
    FreeObjectRecord(object, objClass);
    return SAAnswerInt(call, 0);
  }
  SAAnswerInt(call, static_cast<int32_t>(object->id));
}

void FreeObjectCommand(SACall* call) {
  FreeObjectForScript(SAArgObject(call, 0));
  SAAnswerInt(call, 0);
}

void FindObjectCommand(SACall* call) {
  const int32_t id = SAArgInt(call, 0);
  const SpaceObject* object = id != 0 ? FindObjectByIdGlobal(static_cast<uint32_t>(id)) : nullptr;
  SAAnswerInt(call, object && !(object->flags & kObjFlagRemoving) ? id : 0);
}

void SetEventObjectCommand(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  int32_t receiver = 0;
  if (object && ScriptIdOf(SAArgValue(call, 1), &receiver)) object->scriptId = static_cast<uint32_t>(receiver);
  SAAnswerInt(call, 0);
}

void GetEventObjectCommand(SACall* call) {
  const SpaceObject* object = SAArgObject(call, 0);
  SAAnswerInt(call, object ? static_cast<int32_t>(object->scriptId) : 0);
}

// The parent object is the object's own reference, not the container that lists it.
void GetParentObjectCommand(SACall* call) {
  const SpaceObject* object = SAArgObject(call, 0);
  const SpaceObject* parent = object ? object->linkedObject : nullptr;
  SAAnswerInt(call, parent ? static_cast<int32_t>(parent->id) : 0);
}

void StartObjectInSpaceCommand(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  const int32_t sectorId = SAArgInt(call, 1);
  SpaceObject* sector = sectorId != 0 ? FindSectorById(static_cast<uint32_t>(sectorId)) : nullptr;
  if (object && sector) ObjAttachInstance(object, sector);
  SAAnswerInt(call, 0);
}

void KillObjectCommand(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (object) {
    const int32_t cause = SAArgInt(call, 1) & 0xFFFF;
    SpaceObject* killer = SAArgBool(call, 2) ? SAArgObject(call, 2) : nullptr;
    // The extra value exists only when the script passed it; the frame beyond is not its.
    int32_t extra = 0;
    if (call->argCount > 3 && !ScriptIdOf(SAArgValue(call, 3), &extra)) extra = 0;
    KillObject(object, cause, killer, extra);
  }
  SAAnswerInt(call, 0);
}

void DamageObjectCommand(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SpaceObject* attacker = SAArgObject(call, 1);
  if (object && attacker) DamageObject(object, attacker, SAArgInt(call, 2), SAArgInt(call, 3));
  SAAnswerInt(call, 0);
}

}  // namespace

extern const SACommandRow kObjectLifeCommands[9] = {
    {0, AllocObjectCommand},     {1, FreeObjectCommand},          {2, FindObjectCommand},
    {3, SetEventObjectCommand},  {4, GetEventObjectCommand},      {5, GetParentObjectCommand},
    {6, StartObjectInSpaceCommand}, {7, KillObjectCommand},       {8, DamageObjectCommand},
};
