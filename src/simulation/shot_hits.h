// The hit and course tests of the simulation: whether a moving object touches the boxes of an
// instance tree, which object a beam shot hits along its length, whether a ship is on a
// collision course with an obstacle, and the record of the threats a ship has found. Called by
// the sector motion pass, the object update, the order modes and the weapons. They change only
// the shot's hit fields and the ship's threat list and flags, and restore every instance they
// move for a test.
#pragma once

#include <cstdint>

struct InstanceRecord;
struct SpaceObject;

// `ObjectFlags` bits the threat record sets.
constexpr uint32_t kObjFlagCollisionWarning = 1u << 12;
constexpr uint32_t kObjFlagThreatsRecorded = 1u << 13;
// `ObjectFlags2` bits read here.
constexpr uint32_t kObjFlag2NoThreats = 0x10;  // ignores threats, and is not avoided head-on
constexpr uint32_t kObjFlag2PlayerShot = 0x100;

// Candidates a beam shot considers; the rest in the sector are not tested.
constexpr int32_t kShotCandidateLimit = 32;

// A ship leaving a gate ignores it as a threat until its largest offset to the gate exceeds this.
constexpr int32_t kHangarGateClearance = 0x15AE0;

// Obstacles whose instance tree, not their radius, tells where they can be hit: docks,
// factories, capital ships, specials of subtypes 45 to 47 and objects of subtypes 38 to 42.
bool IsBigObstacle(const SpaceObject* object);

// Depth first, children before the instance itself, the first hit wins: 1 with *hit set to the
// instance hit, else 0. An instance with a collision body is a box of its body's half extents
// times its size, plus the object's radius, times `scale` (16.16). The object's position strictly
// inside is a hit; otherwise, unless `quick`, the segment of length `reach` along its forward
// axis is clipped against the box when the box is within reach.
int32_t HitTestInstanceTree(const SpaceObject* object, InstanceRecord* instance, int32_t reach, InstanceRecord** hit,
                            int32_t scale, int32_t quick);

// The object a beam shot hits, or null. A player shot takes the nearest contact of every
// candidate; any other shot the first hit in order of distance.
SpaceObject* FindShotTarget(SpaceObject* shot);

// True when the ship must avoid the obstacle at `distance`. *hit gets the instance the box test
// hit, when it ran and hit.
bool IsOnCollisionCourse(SpaceObject* ship, SpaceObject* obstacle, int32_t distance, InstanceRecord** hit);

// Records the obstacle in the ship's threat list (at most 5) when the ship is on a course to it.
void RecordCollisionThreat(SpaceObject* ship, SpaceObject* obstacle, int32_t distance);

// The instance test a beam shot runs on each candidate; tests may put their own in its place.
using ShotCollideTest = bool (*)(InstanceRecord* shot, InstanceRecord* target, int32_t reach, int32_t radius);
// Null restores the scene engine's `InstCollide`.
void SetShotCollideTest(ShotCollideTest test);
