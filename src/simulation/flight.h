// The flight pass: the second per-frame pass over a sector, integrating every object's turning,
// velocity, drift and position, the size and fade of shots, turret aiming and the visual values
// of engines and thrusters. The frame step runs `UpdateSectorFlight` through its step table.
// It never frees an object; the only script code it can start is a woken turret task.
#pragma once

#include <cstdint>

struct SectorObject;
struct SpaceObject;

// Words of the records that the flight pass gives meaning to. An object's last update time is
// its `createdAt` (an object made this frame steps from its creation).
constexpr int kPrevRateWord = 2;   // SpaceObject::dynamicWords[2..4]: last frame's turn rates
constexpr int kPrevSpeedWord = 6;  // SpaceObject::dynamicWords[6]: last frame's speed
constexpr int kSpinRateWord = 0;   // SectorObject::sectorWords: spin rate (angle units per second)
constexpr int kSpinClockWord = 1;  //   spin clock (ms)
constexpr int kSpinAngleWord = 2;  //   spin angle
constexpr int kFlownRemainderWord = 2;  // UniverseBlock::statWords: the player's distance below a unit
constexpr int kFlownUnitsWord = 3;      //   whole units of kFlownUnit
constexpr int64_t kFlownUnit = 500000;
// Bullet extension: the last position of a beam (tailWords[0..2]). A carried shot is held until
// its `attachUntil` time, with the hitFlags bits kBulletAttached and kBulletReleased.
constexpr int kBeamLastPositionWord = 0;

void UpdateSectorFlight(SectorObject* sector);
