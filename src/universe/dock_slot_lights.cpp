// Dock slot light chains and gate guide lights (see dock_slot_lights.h). Every light is a child
// of a port or gate instance, found again each frame by its mark and number, so nothing but the
// row's phase and step time has to be remembered between frames. Called by the sector instance
// pass; every slot index goes through the checked row accessor.
#include "universe/dock_slot_lights.h"

#include "core/system_block.h"
#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "universe/dock_ports.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kSlotStepMs = 200;
constexpr int32_t kGuideStepMs = 150;
constexpr int32_t kChasePhases = 6;
constexpr int32_t kBeaconBody = 265;
constexpr int32_t kPathChainBody = 214;
constexpr int32_t kLandingBody = 30;
constexpr int32_t kGuideBody = 200;
constexpr int32_t kGuideLitBody = 214;
constexpr int32_t kGuideSize = 15000;
constexpr int32_t kGuideLitSize = 45000;
constexpr int32_t kGuideRings = 8;
constexpr int32_t kLightsPerRing = 4;
constexpr int32_t kActivationWindowMs = 40000;
constexpr int32_t kMaxPathMarkers = 100;
constexpr int32_t kMarkerStopDistance = 50000;
constexpr int32_t kNoLightsCarrierKind = 14;
constexpr uint32_t kHugeShipGroups = 0x2119;
constexpr uint32_t kInstLitPort = 0x200000;  // a port or gate that shows lights
constexpr uint32_t kInstLightMark = 0x4000;
constexpr uint32_t kObjFlagShipNear = 1u << 22;
constexpr uint32_t kObjFlagGuideLights = 1u << 25;

// Slot state bits of a docking-place row.
constexpr uint32_t kRowPathToPlayer = 1u << 2;
constexpr uint32_t kRowLandingBeacon = 1u << 3;
constexpr uint32_t kRowPathDisplay = 1u << 4;
constexpr uint32_t kRowBeaconOn = 1u << 5;

struct SlotLights {
  LightChainShape shape;
  int32_t size;
};

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }
bool Due(uint32_t at, uint32_t now) { return static_cast<int32_t>(now - at) >= 0; }

SlotLights LightsFor(const DockPortType* port) {
  const bool hangar = port && (port->flags & kDockPortHangar);
  if (hangar) return {{40000, 5000, 20000, 50000}, 2000};
  if (port && (port->animFlags & kHugeShipGroups)) return {{200000, 1000, 150000, 10000}, 250000};
  return {{15000, 1000, 5000, 50000}, 2000};
}

template <typename Fn>
void ForMarked(InstanceRecord* parent, uint16_t mark, Fn fn) {
  InstanceRecord* child = InstFirstChild(parent);
  while (child) {
    InstanceRecord* next = InstNextSibling(child);
    if (child->collisionMask & mark) fn(child);
    child = next;
  }
}

int32_t CountMarked(InstanceRecord* parent, uint16_t mark) {
  int32_t n = 0;
  ForMarked(parent, mark, [&n](InstanceRecord*) { ++n; });
  return n;
}

InstanceRecord* NewLight(InstanceRecord* parent, int32_t body, uint16_t marks, int32_t number, int32_t size) {
  InstanceRecord* light = B3D_InstAlloc();
  if (!light) return nullptr;
  B3D_InstSetBody(light, body);
  MatrixSetIdentity(&light->matrix);
  light->flags |= kInstLightMark;
  light->collisionMask = marks;
  light->nodeId = number;
  B3D_InstSetSize(light, size);
  B3D_InstAddToInst(light, parent);
  return light;
}

int32_t Scaled(int32_t size, int64_t numerator, int64_t denominator) {
  return SaturateToInt32(int64_t{size} * numerator / denominator);
}

// The 6-phase chase over a complete chain: the pair of the phase at 3.5 x size, its neighbours
// on their way between size and 3.5 x size over the step. `down` chases the other way, so the
// pair that grows and the one that shrinks change roles.
void ChaseChain(InstanceRecord* port, int32_t phase, int32_t remaining, int32_t size, bool down) {
  const int32_t elapsed = kSlotStepMs - remaining;
  const int32_t shrinking = Scaled(size, int64_t{remaining} * 5 + 400, 400);
  const int32_t growing = Scaled(size, int64_t{elapsed} * 5 + 400, 400);
  ForMarked(port, kMarkChainLight, [&](InstanceRecord* light) {
    const int32_t m = light->nodeId % kChasePhases;
    int32_t s = size;
    if (m == phase) s = Scaled(size, 7, 2);
    else if (m == (phase + kChasePhases - 1) % kChasePhases) s = down ? growing : shrinking;
    else if (m == (phase + 1) % kChasePhases) s = down ? shrinking : growing;
    B3D_InstSetSize(light, s);
  });
}

enum class Chase { kNone, kUp, kDown };

// Grows the chain one pair a step up to `wanted` pairs; a complete chain chases (or shows all its
// lights at size).
void RunChain(DockSlotRow* row, InstanceRecord* port, const SlotLights& lights, int32_t body, int32_t wanted,
              Chase chase, uint32_t now) {
  const int32_t pairs = CountMarked(port, kMarkChainLight) / 2;
  const FixedVector along = {0, 0, 0x10000, 0};  // a port faces down its own z axis
  if (pairs < wanted) {
    if (!Due(row->nextLightAt, now)) return;
    CreateLightChain(port, &along, pairs, 1, body, kMarkChainLight, lights.shape, lights.size);
    row->nextLightAt = now + kSlotStepMs;
    return;
  }
  if (chase == Chase::kNone) {
    ForMarked(port, kMarkChainLight, [&](InstanceRecord* light) { B3D_InstSetSize(light, lights.size); });
    return;
  }
  if (row->lightPhase < 0 || row->lightPhase >= kChasePhases) row->lightPhase = 0;
  if (Due(row->nextLightAt, now)) {
    row->lightPhase = chase == Chase::kUp ? (row->lightPhase + 1) % kChasePhases
                                          : (row->lightPhase + kChasePhases - 1) % kChasePhases;
    row->nextLightAt = now + kSlotStepMs;
  }
  int32_t remaining = static_cast<int32_t>(row->nextLightAt - now);
  if (remaining < 0) remaining = 0;
  if (remaining > kSlotStepMs) remaining = kSlotStepMs;
  ChaseChain(port, row->lightPhase, remaining, lights.size, chase == Chase::kDown);
}

// Removes the pair with the highest number, one pair a step.
void TearDownChain(DockSlotRow* row, InstanceRecord* port, uint32_t now) {
  if (!Due(row->nextLightAt, now)) return;
  int32_t highest = -1;
  ForMarked(port, kMarkChainLight, [&highest](InstanceRecord* light) {
    if (light->nodeId > highest) highest = light->nodeId;
  });
  if (highest < 0) return;
  ForMarked(port, kMarkChainLight, [highest](InstanceRecord* light) {
    if (light->nodeId == highest) FreeInstance(light);
  });
  row->nextLightAt = now + kSlotStepMs;
}

// Markers from the slot's approach point toward the player's ship, placed in the port's frame.
void LayPathMarkers(InstanceRecord* port, const DockApproach& approach, const SlotLights& lights) {
  const SpaceObject* player = gUniverse ? gUniverse->player : nullptr;
  const int32_t body = gUniverse ? gUniverse->pathMarkerBody : 0;
  if (!player || !player->instance || body <= 0 || lights.shape.step <= 0) return;
  FixedVector target;
  ObjGetWorldPosition(player, -1, &target);
  FixedVector toShip = {target.x - approach.point.x, target.y - approach.point.y, target.z - approach.point.z, 0};
  const int64_t length = GetDistance(&approach.point, &target);
  if (length <= 0) return;
  FixedVector direction = toShip;
  NormalizeVector(&direction);
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(&direction, &yaw, &pitch);
  FixedMatrix facing;
  MatrixFromAngles(&facing, yaw, pitch, 0);
  for (int32_t k = 0; k < kMaxPathMarkers; ++k) {
    const int64_t at = int64_t{k} * lights.shape.step;
    if (length - at < kMarkerStopDistance) break;
    const FixedVector world = {SaturateToInt32(approach.point.x + int64_t{toShip.x} * at / length),
                               SaturateToInt32(approach.point.y + int64_t{toShip.y} * at / length),
                               SaturateToInt32(approach.point.z + int64_t{toShip.z} * at / length), 0};
    const FixedVector offset = {world.x - port->world.x, world.y - port->world.y, world.z - port->world.z, 0};
    InstanceRecord* marker = NewLight(port, body, kMarkPathMarker, k, lights.size);
    if (!marker) return;
    MatrixTransposeMulVector(&marker->position, &port->worldMatrix, &offset);
    MatrixMultiplyTransposed(&marker->matrix, &facing, &port->worldMatrix);
  }
}

void UpdateSlot(SpaceObject* carrier, int32_t slot, DockSlotRow* row, uint32_t now) {
  const DockPortType* type = row->port;
  const bool hangar = type && (type->flags & kDockPortHangar);
  if (hangar) {
    const bool flying = row->flags & kDockRowFlyingIn, opening = row->flags & kDockRowOpening;
    if (flying && !opening) ObjReserveDockSlot(slot, carrier, 0, 1);
    else if (opening && !flying) ObjReserveDockSlot(slot, carrier, 0, 0);
  }
  InstanceRecord* entry = nullptr;
  for (int32_t i = 0; i < row->entryCount && i < kDockPortEntryCapacity && !entry; ++i) entry = row->entries[i];
  if (!entry) return;
  InstanceRecord* port = hangar ? InstFirstChild(entry) : entry;
  if (!port) return;
  port->flags |= kInstLitPort;
  const SlotLights lights = LightsFor(type);
  DockApproach approach{};
  const bool hasApproach = ComputeDockApproach(carrier, entry, nullptr, &approach);
  const int32_t wanted = hasApproach && lights.shape.step > 0 ? approach.distance / lights.shape.step + 1 : 0;
  if (row->flags & kRowPathDisplay) {
    if ((row->flags & kRowPathToPlayer) && hasApproach && CountMarked(port, kMarkPathMarker) == 0) {
      LayPathMarkers(port, approach, lights);
    }
    RunChain(row, port, lights, kPathChainBody, wanted, Chase::kDown, now);
    row->refreshedAt = now;
  } else if ((row->flags & kRowBeaconOn) || !Due(row->refreshedAt, now)) {
    RunChain(row, port, lights, kBeaconBody, wanted, Chase::kUp, now);
  } else if (row->flags & kRowLandingBeacon) {
    RunChain(row, port, lights, kLandingBody, wanted, Chase::kNone, now);
    row->refreshedAt = now;
  } else {
    TearDownChain(row, port, now);
    row->refreshedAt = now;
    ForMarked(port, kMarkPathMarker, [](InstanceRecord* marker) { FreeInstance(marker); });
  }
}

// ---------------------------------------------------------------------------------------------
// Gate guide lights.

struct GateWords {
  uint32_t* phase;
  uint32_t* next;
};

int32_t PhaseOf(uint32_t word, int32_t limit) {
  const auto phase = static_cast<int32_t>(word);
  return phase >= 0 && phase <= limit ? phase : -1;
}

// Ring sizes of a running chaser: the phase's ring lit, its neighbours on their way.
void ShowChaser(InstanceRecord* root, int32_t phase, uint32_t next, uint32_t now, int32_t dimBody, int32_t litBody) {
  const int64_t ahead = static_cast<int32_t>(next - now);
  ForMarked(root, kMarkChainLight, [&](InstanceRecord* light) {
    const int32_t ring = light->nodeId - 1;
    int32_t body = dimBody, size = kGuideSize;
    if (ring == phase) {
      body = litBody;
      size = kGuideLitSize;
    } else if (ring == (phase + 1) % kGuideRings) {
      body = litBody;
      size = Scaled(kGuideSize, ahead * 2 + kGuideStepMs, kGuideStepMs);
    } else if (ring == (phase + kGuideRings - 1) % kGuideRings) {
      body = litBody;
      size = Scaled(kGuideSize, -ahead * 2 + 3 * kGuideStepMs, kGuideStepMs);
    }
    if (light->bodyId != body) B3D_InstSetBody(light, body);
    B3D_InstSetSize(light, size);
  });
}

// One more ring a step while fewer than eight stand; false while rings are still missing.
bool BuildRings(SpaceObject* gate, const GateWords& w, int32_t rings, int32_t body, uint32_t now) {
  if (rings >= kGuideRings) return true;
  if (Due(*w.next, now)) {
    CreateGuideLightRing(gate, rings, body);
    if (rings == 0) gate->instance->flags |= kInstLitPort;
    *w.next = now + kGuideStepMs;
  }
  return false;
}

}  // namespace

InstanceRecord* CreateLightChain(InstanceRecord* port, const FixedVector* direction, int32_t first, int32_t count,
                                 int32_t body, uint16_t marks, const LightChainShape& shape, int32_t size) {
  if (!port || !direction) return nullptr;
  uint32_t yaw = 0, pitch = 0;
  AnglesFromVector(direction, &yaw, &pitch);
  FixedMatrix facing;
  MatrixFromAngles(&facing, yaw, pitch, 0);
  InstanceRecord* last = nullptr;
  for (int32_t i = first; i < first + count; ++i) {
    const int64_t across = int64_t{i} * shape.spacing + shape.offset;
    const int64_t depth = int64_t{i} * shape.step + shape.secondOffset;
    for (int side = 0; side < 2; ++side) {
      InstanceRecord* light = NewLight(port, body, marks, i, size);
      if (!light) return last;
      light->position = {SaturateToInt32(side == 0 ? -across : across), SaturateToInt32((depth * direction->y) >> 16),
                         SaturateToInt32((depth * direction->z) >> 16), 0};
      light->matrix = facing;
      last = light;
    }
  }
  return last;
}

void CreateGuideLightRing(SpaceObject* gate, int32_t n, int32_t body) {
  if (!gate || !gate->instance) return;
  const bool small = gate->subtype >= 5 && gate->subtype <= 8;
  const int32_t x = small ? 5571 : 45875;  // 0.085 or 0.7 of the radius, 16.16
  const int32_t y = small ? 9830 : 13107;  // 0.15 or 0.2
  const int64_t r = gate->radius;
  const int32_t depth = SaturateToInt32(((0xF851 - int64_t{n} * 0x46F2) * r) >> 16);
  const int32_t xs[kLightsPerRing] = {-x, -x, x, x};
  const int32_t ys[kLightsPerRing] = {-y, y, -y, y};
  for (int k = 0; k < kLightsPerRing; ++k) {
    InstanceRecord* light = NewLight(gate->instance, body, kMarkChainLight, n + 1, kGuideSize);
    if (!light) return;
    light->position = {SaturateToInt32((xs[k] * r) >> 16), SaturateToInt32((ys[k] * r) >> 16), depth, 0};
  }
}

void UpdateDockSlots(SpaceObject* carrier) {
  if (!carrier || !carrier->ext) return;
  if (carrier->objClass == kClassShip) {
    const ObjectTypeRecord* row = TypeRow(kClassShip, carrier->subtype);
    if (row && row->ship.instanceKind == kNoLightsCarrierKind) return;
  } else if (carrier->objClass != kClassDock && carrier->objClass != kClassFactory) {
    return;
  }
  const uint32_t now = Now();
  const int32_t slots = TypeGetDockSlotCount(carrier->subtype, carrier->objClass);
  for (int32_t s = 0; s < slots; ++s) {
    if (DockSlotRow* row = ObjGetDockSlotRow(carrier, s)) UpdateSlot(carrier, s, row, now);
  }
}

void UpdateGuideLights(SpaceObject* gate) {
  if (!gate || gate->objClass != kClassGate || !gate->ext || !gate->instance) return;
  auto* ext = static_cast<GateExt*>(gate->ext);
  const GateWords w{&ext->words[kGateChaserPhaseWord], &ext->words[kGateChaserStepWord]};
  const uint32_t now = Now();
  const int32_t rings = CountMarked(gate->instance, kMarkChainLight) / kLightsPerRing;
  const int32_t ahead = static_cast<int32_t>(ext->nextLaunchAt - now);
  const bool on = gate->flags & kObjFlagGuideLights;
  if (on && ahead <= 0) {
    if (!BuildRings(gate, w, rings, kGuideBody, now)) return;
    int32_t phase = PhaseOf(*w.phase, kGuideRings - 1);
    if (phase < 0) {
      phase = 6;
      *w.next = now + kGuideStepMs;
    } else if (Due(*w.next, now)) {
      phase = phase == 0 ? kGuideRings - 1 : phase - 1;
      *w.next = now + kGuideStepMs;
    }
    *w.phase = static_cast<uint32_t>(phase);
    ShowChaser(gate->instance, phase, *w.next, now, kGuideBody, kGuideLitBody);
    return;
  }
  if (on && ahead < kActivationWindowMs) {
    if (!BuildRings(gate, w, rings, kLandingBody, now)) return;
    int32_t phase = PhaseOf(*w.phase, kGuideRings);
    if (phase < 0) {
      phase = 1;
      *w.next = now + kGuideStepMs;
    } else if (Due(*w.next, now)) {
      phase = phase + 1 > kGuideRings ? 0 : phase + 1;
      *w.next = now + kGuideStepMs;
    }
    *w.phase = static_cast<uint32_t>(phase);
    ShowChaser(gate->instance, phase, *w.next, now, kLandingBody, kLandingBody);
    return;
  }
  *w.phase = kGateChaserIdle;
  if (gate->flags & kObjFlagShipNear) {
    if (!BuildRings(gate, w, rings, kGuideBody, now)) return;
    ForMarked(gate->instance, kMarkChainLight, [](InstanceRecord* light) {
      if (light->bodyId != kGuideBody) B3D_InstSetBody(light, kGuideBody);
      B3D_InstSetSize(light, kGuideSize);
    });
    return;
  }
  if (rings == 0 || !Due(*w.next, now)) return;
  ForMarked(gate->instance, kMarkChainLight, [rings](InstanceRecord* light) {
    if (light->nodeId >= rings) FreeInstance(light);
  });
  *w.next = now + kGuideStepMs;
}
