// The radar's arithmetic: which range rings a range shows, the list of the 20 nearest distances,
// where an object lands on the tilted disc (gates pinned to the rim), the blink of a newly tracked
// object and the automatic range. Called by the radar drawing; pure, it never draws, and every
// 16.16 product of a distance is taken in 64 bits (ranges reach tens of millions of units).
#pragma once

#include <cstdint>

struct RadarRing {
  int32_t distance;
  uint32_t colour;
};

constexpr int kMaxRadarRings = 7;
// The rings drawn for the range, in drawing order; answers their count.
int RadarRings(int32_t range, RadarRing rings[kMaxRadarRings]);
// The rings of the nav map (radius kNavMapRadius across the texture's half), in drawing order.
constexpr int32_t kNavMapRadius = 10999908;  // 10000000 x 1.1 as a rounded 16.16 product
int NavMapRings(RadarRing rings[kMaxRadarRings]);
// distance x 65536 / range; the largest value for a range of 0 or less.
int64_t RadarRingFactor(int64_t distance, int32_t range);

constexpr int kRadarDistanceCount = 20;
constexpr int32_t kRadarMaxDistance = 22200000;
struct RadarDistances {
  int32_t values[kRadarDistanceCount];  // ascending
  int count;                            // held, at most 20
  int insertions;                       // every value that went in, pushed out later or not
};
// Clamps d to 0..22200000 (a negative d counts as the largest) and keeps it when it is among the
// 20 smallest.
void InsertRadarDistance(RadarDistances* list, int32_t d);

// An object's place on the disc in 16.16 fractions of the radius: fx across, fz the ground depth,
// fy the symbol's height. False when the object lies outside and is not a gate.
struct RadarPoint {
  int32_t fx, fy, fz;
};
bool RadarPlace(int32_t x, int32_t y, int32_t z, int32_t range, bool isGate, RadarPoint* point);
// Screen points on a texture with centre (cx, cy).
struct RadarScreenPoint {
  int32_t x, groundY, symbolY;
};
RadarScreenPoint RadarToScreen(const RadarPoint& point, int32_t cx, int32_t cy);

// The blink of a newly tracked object: counter and next blink time live in the cockpit.
struct RadarBlink {
  const void* seen;  // the tracked object the radar last saw
  uint16_t counter;
  uint32_t nextTime;
};
void RadarBlinkStep(RadarBlink* blink, const void* tracked, uint32_t now);
// Whether object o's symbol is drawn in its blink form this frame.
bool RadarSymbolBlinks(const RadarBlink& blink, const void* object, uint32_t now);

// The automatic range's new target from the listed distances.
int32_t AutoRadarTarget(int32_t target, const RadarDistances& list);
// One frame of the range moving toward its target by dt / 2000 of itself, never passing it.
int32_t RadarRangeStep(int32_t range, int32_t target, uint32_t dt);
