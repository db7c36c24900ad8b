// Tractor beams: connecting a holder to a held object with its visible beam, and releasing every
// link of an object. Called by the tractor commands, the weapons, the flight pass and object
// removal. No script runs while a link is half made or half cleared: the release event goes out
// only after all links are consistent.
#include "simulation/tractor_beams.h"

#include <cmath>

#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "simulation/order_modes.h"
#include "simulation/universe_guard.h"
#include "universe/object_lifecycle.h"
#include "universe/object_placement.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr char kReleaseEvent[] = "SetTractorTarget";

void SetHeldSpeedLimit(SpaceObject* held, int32_t limit) {
  if (ShipExt* ext = ShipExtOrNull(held)) ext->heldSpeedLimit = limit;
}

bool ReleaseEventSuppressed(const SpaceObject* held) {
  const ShipExt* ext = ShipExtOrNull(held);
  return ext && ext->tractorEventsOff != 0;
}

void FreeBeam(SpaceObject* object) {
  InstanceRecord* beam = object->beamEffect;
  object->beamEffect = nullptr;
  if (beam) FreeInstance(beam);
}

void LetGoOfTarget(SpaceObject* holder, std::vector<SpaceObject*>* released) {
  SpaceObject* held = holder->tractorTarget;
  if (!held) return;
  SetHeldSpeedLimit(held, -1);
  if (!ReleaseEventSuppressed(held)) released->push_back(held);
  holder->turnRates[0] = holder->turnRates[1] = holder->turnRates[2] = 0;
  held->tractorAux = nullptr;
  held->tractorTarget = nullptr;
  holder->tractorTarget = nullptr;
}

FixedVector NodePositionOf(const SpaceObject* o) {
  FixedVector p{};
  ObjGetWorldPosition(o, -1, &p);
  return p;
}

int32_t BeamLength(const SpaceObject* holder, const SpaceObject* held) {
  FixedVector attach = holder->attachOffset;
  attach.w = 0;
  if (const FixedMatrix* rotation = GetObjectRotationMatrix(holder)) {
    FixedVector turned{};
    MatrixMulVector(&turned, rotation, &attach);
    attach = turned;
  }
  const FixedVector from = NodePositionOf(holder);
  const FixedVector to = NodePositionOf(held);
  const double dx = double(from.x) + attach.x - to.x;
  const double dy = double(from.y) + attach.y - to.y;
  const double dz = double(from.z) + attach.z - to.z;
  return SaturateToInt32(static_cast<int64_t>(std::sqrt(dx * dx + dy * dy + dz * dz)));
}

void ShowBeam(SpaceObject* holder) {
  InstanceRecord* beam = B3D_InstAlloc();
  if (!beam) return;
  B3D_InstSetBody(beam, kTractorBeamBody);
  if (holder->instance && holder->instance->scene) AddInstanceToScene(beam, holder->instance->scene);
  holder->beamEffect = beam;
  ObjAlignEffectNode(holder);
}

}  // namespace

void ReleaseTractorLinks(SpaceObject* object, std::vector<SpaceObject*>* released) {
  if (!object || !released) return;
  FreeBeam(object);
  LetGoOfTarget(object, released);
  // A holder is never held itself; should a loaded chain say otherwise, each link is cut before
  // the next holder lets go, so the walk ends.
  for (SpaceObject* current = object; SpaceObject* holder = current->tractorAux; current = holder) {
    current->tractorAux = nullptr;
    FreeBeam(holder);
    LetGoOfTarget(holder, released);
  }
}

void TellTractorReleased(const std::vector<SpaceObject*>& released) {
  if (released.empty()) return;
  // A handler that frees an object only queues it, so the objects still to be told stay valid.
  UniverseGuardScope guard;
  for (SpaceObject* object : released) {
    if (ObjectIsQueuedForFree(object)) continue;
    RaiseObjectEvent(object, kReleaseEvent, 1, 0);
  }
}

void ReleaseTractorBeam(SpaceObject* object) {
  std::vector<SpaceObject*> released;
  ReleaseTractorLinks(object, &released);
  TellTractorReleased(released);
}

void TractorConnect(SpaceObject* holder, SpaceObject* held, int32_t x, int32_t y, int32_t z) {
  if (!holder) return;
  std::vector<SpaceObject*> released;
  ReleaseTractorLinks(holder, &released);
  if (held && held != holder) {
    ReleaseTractorLinks(held, &released);
    holder->tractorTarget = held;
    held->tractorAux = holder;
    SetHeldSpeedLimit(held, kTractorHeldSpeedLimit);
    holder->attachOffset = FixedVector{x, y, z, 0};
    holder->tractorLength = BeamLength(holder, held);
    ShowBeam(holder);
  }
  TellTractorReleased(released);
}
