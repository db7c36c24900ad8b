// The flag, relation and appearance commands (99 to 129): the two flag words, render order, the
// current order's mode and target, the container, relations and the group, debris and wreck
// densities and the types that leave them, collectibility, the hue and saturation of ships and
// their instances, factory connections, nebula and planet fog values and a ship's rotation
// acceleration. The dispatcher calls them through the family's rows. A missing object, or one of
// a class a command does not serve, answers 0 and changes nothing.
#include "scene/instance.h"
#include "simulation/object_operations.h"
#include "simulation/commands/sa_call.h"
#include "simulation/order_modes.h"
#include "universe/carried_objects.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

// Hue is kept inverted (360 minus the hue), in the ship and in its instances alike.
constexpr int32_t kHueTurn = 360;
// Instance second-flag bit: drawn after everything else.
constexpr uint32_t kInst2RenderLast = 1u << 4;
// The ship extension's words that hold the stored hue and saturation modifiers. The rotation
// acceleration is the agility factor `tuning` (16.16, 1.0 when the ship is made).
inline uint32_t& HueWord(ShipExt* ship) { return ship->wordsA[0]; }
inline uint32_t& SaturationWord(ShipExt* ship) { return ship->wordsA[2]; }
constexpr int32_t kRotAccelHundredths = 100;
constexpr int kNebulaWordCount = 16;
constexpr int kNebulaArrayCount = 8;

int32_t IdOf(const SpaceObject* object) { return object ? static_cast<int32_t>(object->id) : 0; }

bool IsWreckClass(int32_t objClass) { return objClass >= kClassDockWreck && objClass <= kClassShipWreck; }

// The density (amount word) of a debris object, or of a wreck; null for any other object.
const AmountExt* DensityOf(SpaceObject* object, bool wreck) {
  if (!object || !object->ext) return nullptr;
  const bool match = wreck ? IsWreckClass(object->objClass) : object->objClass == kClassDebris;
  return match ? static_cast<const AmountExt*>(object->ext) : nullptr;
}

// ---- Flag words --------------------------------------------------------------------------------

template <uint32_t SpaceObject::*kWord>
void SetFlagWord(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  object->*kWord = static_cast<uint32_t>(SAArgInt(call, 1));
  SAAnswerInt(call, static_cast<int32_t>(object->*kWord));
}

template <uint32_t SpaceObject::*kWord>
void GetFlagWord(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SAAnswerInt(call, object ? static_cast<int32_t>(object->*kWord) : 0);
}

void SetRenderLast(SpaceObject* object, int32_t, int32_t, int32_t) {
  if (object->instance) object->instance->flags2 |= kInst2RenderLast;
}

// ---- Order, container and relations --------------------------------------------------------------

void GetCourseType(SACall* call) { SAAnswerInt(call, ShipOrderMode(SAArgObject(call, 0))); }

void GetEnvironment(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SAAnswerInt(call, object ? IdOf(object->parent) : 0);
}

// What the object is after: a ship's order target, a missile's target, a camera's followed object.
void GetDestination(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  const SpaceObject* target = nullptr;
  if (object && object->ext) {
    switch (object->objClass) {
      case kClassShip: target = ShipOrderTarget(object); break;
      case kClassMissile: target = static_cast<MissileExt*>(object->ext)->target; break;
      case kClassCamera: target = static_cast<CameraExt*>(object->ext)->followedObject; break;
      default: break;
    }
  }
  SAAnswerInt(call, IdOf(target));
}

void IsEnemy(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SpaceObject* other = SAArgObject(call, 1);
  SAAnswerInt(call, object && other && ObjIsHostile(object, other) ? 1 : 0);
}

// The object's relation toward the other: the object is the side asked.
void GetRelation(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SpaceObject* other = SAArgObject(call, 1);
  SAAnswerInt(call, object && other ? ObjGetRelationEx(other, object) : 0);
}

// The third argument is not used; the relation is the fourth.
void SetRelation(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SpaceObject* other = SAArgObject(call, 1);
  if (object && other) ObjSetRelationToRaceOf(object, other, SAArgInt(call, 3));
  SAAnswerInt(call, 0);
}

void SetGroupRelation(SpaceObject* object, int32_t group, int32_t relation, int32_t) {
  ObjSetRelation(group, object, relation);
}

void SetGroup(SpaceObject* object, int32_t group, int32_t, int32_t) { SetObjectGroup(object, group); }

void GetGroup(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SAAnswerInt(call, object ? static_cast<int16_t>(object->owner) : 0);
}

// ---- Debris and wrecks ---------------------------------------------------------------------------

// Type commands take (class, subtype) and answer 0 for a type that does not exist.
bool ValidType(const SACall* call) { return TypeRow(SAArgInt(call, 0), SAArgInt(call, 1)) != nullptr; }

void TypeCreatesDebris(SACall* call) {
  SAAnswerInt(call, ValidType(call) && RockTypeHasCut(SAArgInt(call, 1), SAArgInt(call, 0)) ? 1 : 0);
}

void GetTypeWreckType(SACall* call) {
  int32_t wreckClass = 0, wreckSubtype = 0;
  if (!ValidType(call) || !GetWreckClassFor(SAArgInt(call, 0), SAArgInt(call, 1), &wreckClass, &wreckSubtype)) {
    return SAAnswerInt(call, 0);
  }
  SAAnswerInt(call, static_cast<int32_t>((static_cast<uint32_t>(wreckClass) << 16) | static_cast<uint32_t>(wreckSubtype)));
}

void TypeCreatesWreckCommand(SACall* call) {
  SAAnswerInt(call, ValidType(call) ? TypeCreatesWreck(SAArgInt(call, 1), SAArgInt(call, 0)) : 0);
}

// A density is never negative; the answer is the value stored.
template <bool kWreck>
void SetDensity(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  const int32_t value = SAArgInt(call, 1);
  SAAnswerInt(call, kWreck ? WreckSetExtField0(object, value) : DebrisSetExtField0(object, value));
}

template <bool kWreck>
void GetDensity(SACall* call) {
  const AmountExt* density = DensityOf(SAArgObject(call, 0), kWreck);
  SAAnswerInt(call, density ? static_cast<int32_t>(density->amount) : 0);
}

void IsCollectible(SACall* call) { SAAnswerInt(call, ObjIsWareObject(SAArgObject(call, 0)) ? 1 : 0); }

// ---- Hue and saturation --------------------------------------------------------------------------

void SetInstanceHue(InstanceRecord* instance, intptr_t value) {
  InstSetColorModifierFirst(instance, static_cast<int32_t>(value));
}
void SetInstanceSaturation(InstanceRecord* instance, intptr_t value) {
  InstSetColorModifierSecond(instance, static_cast<int32_t>(value));
}

// A ship keeps the value for the getter; every object with an instance passes it to the whole
// instance tree.
template <uint32_t& (*kWord)(ShipExt*), InstanceFn kSetter, bool kInverted>
void SetColourModifier(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (object) {
    const int32_t given = SAArgInt(call, 1);
    const int32_t stored = kInverted ? static_cast<int32_t>(static_cast<uint32_t>(kHueTurn) - static_cast<uint32_t>(given)) : given;
    if (ShipExt* ship = ShipExtOrNull(object)) kWord(ship) = static_cast<uint32_t>(stored);
    if (object->instance) InstSubtreeApply(kSetter, object->instance, stored);
  }
  SAAnswerInt(call, 0);
}

template <uint32_t& (*kWord)(ShipExt*), bool kInverted>
void GetColourModifier(SACall* call) {
  ShipExt* ship = ShipExtOrNull(SAArgObject(call, 0));
  if (!ship) return SAAnswerInt(call, 0);
  const uint32_t stored = kWord(ship);
  SAAnswerInt(call, static_cast<int32_t>(kInverted ? static_cast<uint32_t>(kHueTurn) - stored : stored));
}

// ---- Factories, nebulae, planets -----------------------------------------------------------------

void SetFactoryConnectionParent(SACall* call) {
  SpaceObject* factory = SAArgObject(call, 0);
  SpaceObject* parent = SAArgInt(call, 1) != 0 ? SAArgObject(call, 1) : nullptr;
  if (factory && factory->objClass == kClassFactory && factory->ext) {
    static_cast<FactoryExt*>(factory->ext)->linkedFactory = parent;
  }
  SAAnswerInt(call, 0);
}

// Six integers, an array of eight and two integers fill the sixteen words in order; an array
// that is shorter, or no array, gives 0 for the elements it lacks.
void SetNebulaProperties(SACall* call) {
  SpaceObject* nebula = SAArgObject(call, 0);
  if (nebula && nebula->objClass == kClass21 && nebula->ext) {
    int32_t words[kNebulaWordCount];
    for (int k = 0; k < 6; ++k) words[k] = SAArgInt(call, 1 + k);
    SAArgInts(call, 7, words + 6, kNebulaArrayCount);
    words[14] = SAArgInt(call, 8);
    words[15] = SAArgInt(call, 9);
    auto* ext = static_cast<Class21Ext*>(nebula->ext);
    for (int k = 0; k < kNebulaWordCount; ++k) ext->words[k] = static_cast<uint32_t>(words[k]);
  }
  SAAnswerInt(call, 0);
}

void SetPlanetFogParameter(SpaceObject* planet, int32_t value, int32_t, int32_t) {
  PlanetSetExtField12(planet, static_cast<uint32_t>(value));
}

// Set in hundredths, kept as 16.16 (truncated toward zero), read back rounded.
void SetShipRotAccel(SpaceObject* object, int32_t hundredths, int32_t, int32_t) {
  if (ShipExt* ship = ShipExtOrNull(object)) ship->tuning = static_cast<int32_t>(int64_t{hundredths} * 65536 / kRotAccelHundredths);
}

void GetShipRotAccel(SACall* call) {
  ShipExt* ship = ShipExtOrNull(SAArgObject(call, 0));
  SAAnswerInt(call, ship ? FixedMul(ship->tuning, kRotAccelHundredths) : 0);
}

}  // namespace

extern const SACommandRow kFlagCommands[31];
const SACommandRow kFlagCommands[] = {
    {99, SetFlagWord<&SpaceObject::flags>},
    {100, GetFlagWord<&SpaceObject::flags>},
    {101, SetFlagWord<&SpaceObject::flags2>},
    {102, GetFlagWord<&SpaceObject::flags2>},
    {103, SAApplyToObject<SetRenderLast>},
    {104, GetCourseType},
    {105, GetEnvironment},
    {106, GetDestination},
    {107, IsEnemy},
    {108, GetRelation},
    {109, SetRelation},
    {110, SAApplyToObject<SetGroupRelation>},
    {111, SAApplyToObject<SetGroup>},
    {112, GetGroup},
    {113, TypeCreatesDebris},
    {114, SetDensity<false>},
    {115, GetDensity<false>},
    {116, GetTypeWreckType},
    {117, TypeCreatesWreckCommand},
    {118, SetDensity<true>},
    {119, GetDensity<true>},
    {120, IsCollectible},
    {121, SetColourModifier<HueWord, SetInstanceHue, true>},
    {122, GetColourModifier<HueWord, true>},
    {123, SetColourModifier<SaturationWord, SetInstanceSaturation, false>},
    {124, GetColourModifier<SaturationWord, false>},
    {125, SetFactoryConnectionParent},
    {126, SetNebulaProperties},
    {127, SAApplyToObject<SetPlanetFogParameter>},
    {128, SAApplyToObject<SetShipRotAccel>},
    {129, GetShipRotAccel},
};
