// The object state commands (34 to 91): type, position, rotation and direction, body and size,
// mass, speeds and their tuning, turning rates, amount, light, shield, weapon energy and hull of
// one object. The dispatcher calls them through the family's rows. A missing object answers the
// command's missing value and changes nothing; an object without a scene instance answers the
// same for every command that reads or moves the instance, so none of them reads through null.
#include <iterator>

#include "core/fixed_math.h"
#include "scene/instance.h"
#include "script/containers.h"
#include "script/tasks.h"
#include "simulation/object_operations.h"
#include "simulation/commands/sa_call.h"
#include "simulation/order_modes.h"
#include "simulation/simulation_services.h"
#include "universe/object_detail.h"
#include "universe/object_models.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

// The highest tuning values a script may set, in tenths.
constexpr int32_t kMaxExtraSpeed = 999;
constexpr int32_t kMaxExtraRotSpeed = 2457;
// Body getters answer this for a missing object or body.
constexpr int32_t kNoBody = -1;
// The ship extension's word that holds the maximum shield under which the ship avoids collisions.
inline uint32_t& MaxAvoidShieldWord(ShipExt* ship) { return ship->overrideTail; }

// A script tuning value in tenths as a 16.16 fraction, truncated toward zero; the word keeps the
// low 32 bits of the 64-bit quotient.
int32_t TenthsToFixed(int32_t tenths) { return static_cast<int32_t>(int64_t{tenths} * 65536 / 10); }

// Integer sums wrap as the 32-bit words do, instead of overflowing.
int32_t WrapSum(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }

// ---- Readers of one value ---------------------------------------------------------------------

// Answers Read(object), or kMissing without an object.
template <auto Read, int32_t kMissing = 0>
void Get(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SAAnswerInt(call, object ? Read(object) : kMissing);
}

// Answers Read(instance), or kMissing without an object or instance.
template <auto Read, int32_t kMissing = 0>
void GetInstance(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SAAnswerInt(call, object && object->instance ? Read(object->instance) : kMissing);
}

int32_t ClassOf(SpaceObject* o) { return static_cast<int16_t>(o->objClass); }
int32_t SubtypeOf(SpaceObject* o) { return o->subtype; }
int32_t TypeKeyOf(SpaceObject* o) {
  return static_cast<int32_t>((static_cast<uint32_t>(o->objClass) << 16) | static_cast<uint32_t>(int32_t{o->subtype}));
}
template <int kAxis>
int32_t AngleOf(SpaceObject* o) {
  return o->angles[kAxis];
}
int32_t PosX(InstanceRecord* i) { return i->position.x; }
int32_t PosY(InstanceRecord* i) { return i->position.y; }
int32_t PosZ(InstanceRecord* i) { return i->position.z; }
// The forward direction is the matrix's third row.
template <int kColumn>
int32_t Forward(InstanceRecord* i) {
  return i->matrix.m[2][kColumn];
}
int32_t BodyOf(InstanceRecord* i) { return i->bodyId; }
int32_t SizeOf(InstanceRecord* i) { return i->size; }
int32_t TotalSizeOf(InstanceRecord* i) { return B3D_InstGetTotalSize(i); }
int32_t CutIdOf(SpaceObject* o) { return ObjIsContainer(o) ? static_cast<int32_t>(o->componentCut) : 0; }
int32_t MassOf(SpaceObject* o) { return o->mass; }
int32_t SpeedOf(SpaceObject* o) { return o->speed; }
int32_t DesiredSpeedOf(SpaceObject* o) { return o->speedLimit; }
int32_t HullOf(SpaceObject* o) { return o->hull; }
// A laser's mounting position; other classes have none.
int32_t LaserPositionOf(SpaceObject* o) {
  return o->objClass == kClassLaser && o->ext ? static_cast<int16_t>(static_cast<LaserExt*>(o->ext)->laserSlot) : 0;
}

// The type's second body, else the instance's body; -1 for an invalid type or no body at all.
void GetCompBody(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  const ObjectTypeRecord* row = object ? TypeRow(object->objClass, object->subtype) : nullptr;
  if (!row) return SAAnswerInt(call, kNoBody);
  if (row->altBodyId != 0) return SAAnswerInt(call, row->altBodyId);
  SAAnswerInt(call, object->instance ? object->instance->bodyId : kNoBody);
}

void GetRotationMatrix(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  ScriptValue rows{};
  if (!object || !object->instance || !AllocArrayValue(&rows, 3)) {
    ReleaseValue(&rows);
    return SAAnswerInt(call, 0);
  }
  for (int32_t r = 0; r < 3; ++r) {
    ScriptValue row{};
    if (AllocArrayValue(&row, 3)) {
      for (int32_t c = 0; c < 3; ++c) ArrayWriteInt(&row, c, object->instance->matrix.m[r][c]);
      ArrayWrite(&rows, r, &row);
    }
    ReleaseValue(&row);
  }
  if (call->task) ReturnValue(call->task, call->engine, &rows);
  ReleaseValue(&rows);
}

// With one argument the energy any object carries; with more, a ship's weapon energy.
void GetLaser(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  SAAnswerInt(call, call->argCount > 1 ? ShipGetWeaponEnergy(object) : ObjGetEnergy(object));
}

void GetMaxLaser(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  SAAnswerInt(call, call->argCount > 1 ? ShipTypeGetMaxWeaponEnergy(object) : ObjGetMaxEnergy(object));
}

// ---- Position and rotation --------------------------------------------------------------------

// Two arguments: a safe place near the named object (or anywhere); four: a free spot at the point;
// any other count: a safe place with no near object.
void SetSafePos(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (object && object->instance) {
    if (call->argCount == 4) {
      ObjPlaceAtFreeSpot(SAArgInt(call, 1), SAArgInt(call, 2), SAArgInt(call, 3), object);
    } else {
      SpaceObject* nearObject = call->argCount == 2 && SAArgBool(call, 1) ? SAArgObject(call, 1) : nullptr;
      ObjMoveToSafePos(object, nearObject);
    }
  }
  SAAnswerInt(call, 0);
}

// Where a free spot near the point would be, without moving the object.
void GetSafePos(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object || !object->instance) return SAAnswerInt(call, 0);
  const FixedVector kept = object->instance->position;
  ObjPlaceAtFreeSpot(SAArgInt(call, 1), SAArgInt(call, 2), SAArgInt(call, 3), object);
  const FixedVector& found = object->instance->position;
  const int32_t answer[3] = {found.x, found.y, found.z};
  object->instance->position = kept;
  SAAnswerIntArray(call, answer, 3);
}

// The offset (x, y, z) is given in the reference's frame: its matrix takes it to the world.
void SetRelativePos(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SpaceObject* reference = SAArgObject(call, 1);
  if (object && object->instance && reference && reference->instance) {
    const FixedVector local{SAArgInt(call, 2), SAArgInt(call, 3), SAArgInt(call, 4), 0};
    FixedVector offset{};
    MatrixMulVector(&offset, &reference->instance->matrix, &local);
    const FixedVector& base = reference->instance->position;
    ObjSetPosition(object, WrapSum(base.x, offset.x), WrapSum(base.y, offset.y), WrapSum(base.z, offset.z));
  }
  SAAnswerInt(call, 0);
}

// ---- Mass, speeds and turning ------------------------------------------------------------------

void SetMass(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  object->mass = SAArgInt(call, 1);
  SAAnswerInt(call, object->mass);
}

void SetSpeed(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  object->speed = SAArgInt(call, 1);
  SAAnswerInt(call, 1);
}

// A script that sets the player's speed takes it from the throttle.
void SetDesiredSpeed(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  if (IsPlayerObject(object) && gSimulationServices.playerDesiredSpeedSet) gSimulationServices.playerDesiredSpeedSet();
  object->speedLimit = SAArgInt(call, 1);
  SAAnswerInt(call, 1);
}

// Only the upper bound is checked: a negative value slows the ship down to a standstill.
template <int32_t ShipExt::*kTuning, int32_t kMax>
void SetTuning(SpaceObject* object, int32_t tenths, int32_t, int32_t) {
  if (ShipExt* ship = ShipExtOrNull(object); ship && tenths <= kMax) ship->*kTuning = TenthsToFixed(tenths);
}

// Rates (0, r, r) also set every remaining rotation to r, so all-zero rates stop a turn. The
// answer goes through the resume path at once, as the script engine expects of this command.
void SetRotSpeed(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  const int32_t x = SAArgInt(call, 1), y = SAArgInt(call, 2), z = SAArgInt(call, 3);
  object->turnRates[0] = x;
  object->turnRates[1] = y;
  object->turnRates[2] = z;
  if (x == 0 && y == z) object->refAngles[0] = object->refAngles[1] = object->refAngles[2] = z;
  if (call->task) ModuleResumeInt(call->resumeModule, 0, call->task->id);
}

// ---- Amount, type and light ---------------------------------------------------------------------

// A missile keeps its model: it is rebuilt when the missile is launched.
void SetSubType(SpaceObject* object, int32_t subtype, int32_t, int32_t) {
  object->subtype = static_cast<int16_t>(subtype);
  if (object->objClass != kClassMissile) SetObjectSubType(object);
}

void SetCount(SpaceObject* object, int32_t amount, int32_t, int32_t) { ObjSetQuantity(object, amount); }

// ---- Shield, weapon energy and hull ---------------------------------------------------------------

// Answers the value Set stored (capped by the object's maximum).
template <int32_t (*Set)(SpaceObject*, int32_t)>
void SetAndAnswer(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SAAnswerInt(call, object ? Set(object, SAArgInt(call, 1)) : 0);
}

void SetMaxAvoidShield(SACall* call) {
  ShipExt* ship = ShipExtOrNull(SAArgObject(call, 0));
  if (!ship) return SAAnswerInt(call, 0);
  const int32_t value = SAArgInt(call, 1);
  MaxAvoidShieldWord(ship) = static_cast<uint32_t>(value);
  SAAnswerInt(call, value);
}

// With more than two arguments a ship's weapon energy; else the energy any object carries.
void SetLaser(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  const int32_t energy = SAArgInt(call, 1);
  if (call->argCount > 2) return SAAnswerInt(call, ShipExtOrNull(object) ? ShipSetWeaponEnergy(object, energy) : 0);
  SAAnswerInt(call, ObjSetEnergy(energy, object));
}

}  // namespace

extern const SACommandRow kObjectStateCommands[58];
const SACommandRow kObjectStateCommands[] = {
    {34, Get<ClassOf>},
    {35, Get<SubtypeOf>},
    {36, Get<TypeKeyOf>},
    {37, GetInstance<PosX>},
    {38, GetInstance<PosY>},
    {39, GetInstance<PosZ>},
    {40, SAApplyToObject<ObjSetPosition>},
    {41, SetSafePos},
    {42, GetSafePos},
    {43, SetRelativePos},
    {44, Get<AngleOf<0>>},
    {45, Get<AngleOf<1>>},
    {46, Get<AngleOf<2>>},
    {47, GetRotationMatrix},
    {48, SAApplyToObject<ObjSetAngles>},
    {49, GetInstance<Forward<0>>},
    {50, GetInstance<Forward<1>>},
    {51, GetInstance<Forward<2>>},
    {52, SAApplyToObject<ObjFaceDirection>},
    {53, GetInstance<BodyOf, kNoBody>},
    {54, GetCompBody},
    {55, Get<CutIdOf>},
    {56, Get<ObjGetTypeNameTextId>},
    {57, GetInstance<SizeOf>},
    {58, GetInstance<TotalSizeOf>},
    {59, Get<MassOf>},
    {60, SetMass},
    {61, Get<SpeedOf>},
    {62, Get<GetObjectMaxSpeed>},
    {63, Get<GetObjectMaxSpeedQuarterMin>},
    {64, SetSpeed},
    {65, Get<DesiredSpeedOf>},
    {66, SetDesiredSpeed},
    {67, SAApplyToObject<SetTuning<&ShipExt::speedTuning, kMaxExtraSpeed>>},
    {68, Get<ObjGetTunedField72>},
    {69, SetRotSpeed},
    {70, SAApplyToObject<ObjSetVec96>},
    // Steps about the second, first and third axis.
    {71, Get<ObjGetTunedRotRate1>},
    {72, Get<ObjGetTunedRotRate0>},
    {73, Get<ObjGetTunedRotRate2>},
    {74, SAApplyToObject<SetTuning<&ShipExt::rotationTuning, kMaxExtraRotSpeed>>},
    {75, Get<ObjGetQuantity>},
    {76, SAApplyToObject<SetCount>},
    {77, SAApplyToObject<SetSubType>},
    {78, SAApplyToObject<SetObjectLight>},
    {79, Get<ObjGetShield>},
    {80, Get<ObjGetMaxShield>},
    {81, SetAndAnswer<ObjSetShield>},
    {82, SetMaxAvoidShield},
    {83, GetLaser},
    {84, GetMaxLaser},
    {85, Get<LaserPositionOf>},
    {86, SetLaser},
    {87, Get<HullOf>},
    {88, Get<ObjGetMaxHull>},
    {89, SetAndAnswer<ObjSetHull>},
    {90, Get<ObjGetShieldPlusEnergy>},
    {91, Get<ShipGetComponentCount>},
};
