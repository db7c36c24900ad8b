// The per-object update of a simulated sector: the start-of-frame pose, the tractor beam's pull,
// and the behaviour of each class (shots expire, missiles guide, suns spin, stations recharge,
// ships run their orders, cameras follow), then the speed settling of everything that moves. The
// frame step runs it as the second step of its first pass, between the two frame calls below.
// It never frees an object: kills are deferred to the frame's release of removed objects.
#pragma once

#include <cstdint>

struct SectorObject;
struct SpaceObject;

// Missile type flags.
constexpr uint32_t kMissileFlagSeeks = 1u << 0;
constexpr uint32_t kMissileFlagUnguided = 1u << 1;
constexpr uint32_t kMissileFlagSpiral = 1u << 2;
constexpr uint32_t kMissileFlagNarrowAim = 1u << 3;
constexpr uint32_t kMissileFlagBreaksUp = 1u << 4;

// Bullet type flag: the shot scatters into fragments when it expires.
constexpr uint32_t kBulletFlagScatters = 0x1000;

// The HUD's alert flag set while a missile homes on the player's ship.
constexpr uint32_t kAlertIncomingMissileBit = 0x4;

// The sound that marks the start and the end of an incoming-missile alarm.
constexpr int32_t kIncomingMissileSound = 1;

// The step every per-frame amount of the update uses: FrameStep, with anything above 1000 ms or
// below 0 counted as 1000 ms.
int32_t ObjectUpdateStep();

// Before the first sector's update of a frame: clears the frame's alarm and recharges a docked
// player's shields (once per frame, however many sectors are simulated).
void BeginObjectUpdateFrame();
// After the last sector's update: the alarm of all sectors together against the HUD's bit.
void EndObjectUpdateFrame();
