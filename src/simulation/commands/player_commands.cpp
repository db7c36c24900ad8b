// The distance, player, trace and warp-out slot commands of the `SA_` module (265, 266, 275, 278
// to 281, 283, 288, 318): scripts measure how far apart two objects are, ask whether the player's ship is landing,
// hand the player's role to an object, switch its player control and autopilot, set a special
// object's parameter and trace a segment through a sector. The dispatcher calls them through the
// family rows below. Nothing here moves an object or changes an order.
#include <cstdint>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "simulation/commands/sa_call.h"
#include "simulation/object_operations.h"
#include "universe/object_classes.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

// The object answers to the player's controls; the autopilot flies it.
constexpr uint32_t kObjFlagPlayerControl = 1u << 18;
constexpr uint32_t kObjFlagAutopilotOn = 1u << 19;

void DistanceCommand(SACall* call) { SAAnswerInt(call, ObjectDistance(SAArgObject(call, 0), SAArgObject(call, 1))); }

void MaxDistanceCommand(SACall* call) {
  SAAnswerInt(call, ObjectMaxNormDistance(SAArgObject(call, 0), SAArgObject(call, 1)));
}

void IsPlayerLandCommand(SACall* call) {
  const SpaceObject* ship = SAArgObject(call, 0);
  SAAnswerInt(call, ship && ShipIsInState27(ship) ? 1 : 0);
}

void SetSpecialParameter1Command(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object) return SAAnswerInt(call, 0);
  const int32_t value = SAArgInt(call, 1);
  SetSpecialParameter1(object, value);
  SAAnswerInt(call, value);
}

// A missing flag makes the object the player's.
void SetAsPlayerObjectCommand(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (object) SetAsPlayerObject(object, call->argCount < 2 || SAArgBool(call, 1));
  SAAnswerInt(call, 0);
}

template <uint32_t Flag>
void SetObjectFlagCommand(SACall* call) {
  if (SpaceObject* object = SAArgObject(call, 0)) {
    if (SAArgInt(call, 1) != 0) {
      object->flags |= Flag;
    } else {
      object->flags &= ~Flag;
    }
  }
  SAAnswerInt(call, 0);
}

void IsDockingBlockedCommand(SACall* call) { SAAnswerInt(call, 0); }

// Scripts look at the gate's first six warp-out slots; the seventh is kept for the gate's own
// use. A slot is free when no ship holds it or its time has come.
constexpr int kScriptWarpOutSlots = 6;
static_assert(kScriptWarpOutSlots <= kGateSlotCount);

void IsWarpOutSlotAvailableCommand(SACall* call) {
  const SpaceObject* gate = SAArgObject(call, 0);
  if (!gate || gate->objClass != kClassGate || !gate->ext) return SAAnswerInt(call, 0);
  const auto* ext = static_cast<const GateExt*>(gate->ext);
  const uint32_t now = gSystem ? gSystem->gameTime : 0;
  for (int k = 0; k < kScriptWarpOutSlots; ++k) {
    if (!ext->slotShips[k] || ext->slotTimes[k] <= now) return SAAnswerInt(call, 1);
  }
  SAAnswerInt(call, 0);
}

// A point of three elements; an array with fewer answers false rather than tracing toward a
// point the script never gave.
bool ArgPoint(const SACall* call, int32_t i, FixedVector* point) {
  int32_t xyz[3] = {};
  const ScriptValue* value = SAArgValue(call, i);
  if (!SAArgTriple(call, i, xyz) || GetArraySize(value) < 3) return false;
  SetVector(point, xyz[0], xyz[1], xyz[2]);
  return true;
}

void FastTraceCommand(SACall* call) {
  FixedVector from{}, to{};
  SpaceObject* sector = SAArgObject(call, 2);
  if (!ArgPoint(call, 0, &from) || !ArgPoint(call, 1, &to) || !sector) return SAAnswerInt(call, 0);
  SAAnswerInt(call, static_cast<int32_t>(FastTrace(sector, &from, &to, SAArgInt(call, 3))));
}

}  // namespace

extern const SACommandRow kPlayerCommands[10] = {
    {265, DistanceCommand},
    {266, MaxDistanceCommand},
    {275, IsPlayerLandCommand},
    {278, SetSpecialParameter1Command},
    {279, SetAsPlayerObjectCommand},
    {280, SetObjectFlagCommand<kObjFlagPlayerControl>},
    {281, SetObjectFlagCommand<kObjFlagAutopilotOn>},
    {283, IsDockingBlockedCommand},
    {288, FastTraceCommand},
    {318, IsWarpOutSlotAvailableCommand},
};
