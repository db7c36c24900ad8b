// The status texture's read-outs and the laser alerts: the distance text in raw units or in the
// player's units, the laser-low latch and the in-range latch of the tracked target. Called by the
// cockpit's per-frame display step; never draws and never raises an event itself (the caller
// raises the name it is given), so each rule can be checked on its own.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr const char* kNotifyIntoLaserRange = "NotifyIntoLaserRange";
constexpr const char* kNotifyOutofLaserRange = "NotifyOutofLaserRange";
constexpr const char* kNotifyLaserLow = "NotifyLaserLow";

// The player's unit texts: metre, kilometre and the decimal separator.
struct DistanceUnits {
  const char* metre;
  const char* kilometre;
  const char* separator;
};

// The unit texts of the text database (page 35); missing ones read as empty.
DistanceUnits ReadDistanceUnits();

// Writes the distance d (universe units) into out, always terminated and never beyond size.
// With rawUnits the value is shown in K and M of universe units, else in metres (d / 500).
void FormatDistanceText(char* out, size_t size, int32_t d, bool rawUnits, const DistanceUnits& units);

// The weapon-energy latch: true when "NotifyLaserLow" is due (energy fell below 10 % of max while
// the latch was open); the latch opens again only once energy rises above 30 %.
bool LaserLowStep(uint32_t* laserLowFlag, int32_t energy, int32_t max);

// The tracked target's in-range latch. Returns the event to raise, or null: events are raised only
// for a hostile target while the lock mode is 3; the latch follows the range in every mode.
const char* LaserRangeStep(uint32_t* inRangeFlag, bool inRange, bool hostile, uint16_t trackMode);
