// The lights that show ships the way in: the light chains of a carrier's dock slots (approach
// beacon, landing beacon, path display with its markers toward the player's ship) and the rings
// of a gate's guide lights, built, chased and taken down a step at a time by the game clock. The
// sector instance pass calls the two updates for every dock, factory, carrier ship and gate.
// Nothing here creates or frees an object; only light instances under port and gate nodes.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct InstanceRecord;
struct SpaceObject;

// Marks in a light's 16-bit mask (`collisionMask`); its `nodeId` is its pair or ring number.
constexpr uint16_t kMarkChainLight = 0x2;  // a dock chain light or a gate guide light
constexpr uint16_t kMarkPathMarker = 0x10;
constexpr uint16_t kMarkDockedShip = 0x80;  // a ship instance (or its stand-in) at a port

// Where the pairs of a chain lie: pair i at x = +-(i * spacing + offset) and
// (i * step + secondOffset) along the direction.
struct LightChainShape {
  int32_t spacing;
  int32_t offset;
  int32_t secondOffset;
  int32_t step;
};

// Pairs first .. first + count - 1 under the port, mirrored on the x axis, turned along the
// (16.16 unit) direction, of the body and size, with the marks; the last light made, or null.
InstanceRecord* CreateLightChain(InstanceRecord* port, const FixedVector* direction, int32_t first, int32_t count,
                                 int32_t body, uint16_t marks, const LightChainShape& shape, int32_t size);
// The four lights of ring n (0-based; numbered n + 1) under the gate's instance.
void CreateGuideLightRing(SpaceObject* gate, int32_t n, int32_t body);

// Per frame. Carrier ships whose type's instance kind is 14 show nothing.
void UpdateDockSlots(SpaceObject* carrier);
void UpdateGuideLights(SpaceObject* gate);
