// Weapons fire: one turret of a ship fires its mounted, armed and reloaded lasers (energy,
// ammunition, aim, one shot object per laser), keeps its beams and carried shots fed, and draws
// the chain of an arc shot. Called by the fire commands and the flight pass. It never frees an
// object; every script event it raises is checked against what it still holds.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct SpaceObject;

// `FireWeapons` flags.
constexpr int32_t kFireLeadAim = 0x1;
constexpr int32_t kFireManual = 0x2;  // fired by the player
constexpr int32_t kFireNoAngleCheck = 0x4;
constexpr int32_t kFireNoOwnMotion = 0x8;  // no compensation for the ship's own movement this frame
constexpr int32_t kFireCursorAim = 0x20;

constexpr int32_t kFireResultFired = 12;
constexpr int32_t kFireResultNone = 11;

// Laser type 29 may be fired only by the player's own hand; bullet type 29 is the tractor shot,
// which releases the ship's tractor beam.
constexpr int32_t kPlayerOnlyLaser = 29;
constexpr int32_t kTractorBullet = 29;

// Fires the lasers of one turret whose slot bit (slot - the turret's first slot) is set in the
// mask: 12 when a shot was created or a beam or carried shot fed, else 11.
int32_t FireWeapons(SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t flags, uint32_t slotMask);

// An arc shot's chain: at most this many segments, each jumping at most `kArcReach` (largest
// per-axis distance) to an object that lies within a dot product above kArcMinDot of the
// current direction, else going on `kArcSegmentLength` in a randomly deviated direction.
constexpr int32_t kArcMaxSegments = 20;
constexpr int32_t kArcMinDot = 0xCCCC;
constexpr int32_t kArcReach = 20000;
constexpr int32_t kArcSegmentLength = 10000;

struct ArcLink {
  SpaceObject* object;  // null for a segment with no object in reach
  FixedVector from;
  FixedVector to;
};
// Plans the chain from `start` along the unit direction; the number of links written.
int32_t PlanArcChain(const SpaceObject* shot, const FixedVector* start, const FixedVector* direction,
                     ArcLink links[kArcMaxSegments]);
// Rebuilds the chain of an arc shot's instance; also called every frame by the flight pass.
void UpdateArcBulletChain(SpaceObject* shot);
