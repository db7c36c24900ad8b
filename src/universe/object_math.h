// The object geometry of the universe model on top of the 16.16 arithmetic of core/fixed_math.h:
// dot products, the 2D forms, the arc cosine, clamped interpolation, a frame from two vectors,
// the approach-and-brake motion profile and the steering angles toward a point. Positions are
// integer universe units, directions 16.16, angles Angle16 (results of the steering routines in
// -32767..32768). The universe model and the simulation call it. Nothing allocates; no division
// traps.
//
// The routines the fixed-point unit already has are used from there under their own names:
// FixedMul, FixedDiv, MulDiv, IntSqrt, NormalizeVector (a 16.16 unit vector; zero stays zero),
// SetVectorLength, MatrixMulVector (vector times matrix) and MatrixTransposeMulVector; the
// small integer helpers come from scene/fixed_geometry.h (MinInt, MaxInt, AbsInt, ChebyshevNorm,
// ChebyshevDistance).
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct SpaceObject;

// a * b / c for a c the caller knows is not 0. A 0 still answers 0 rather than trapping, and a
// quotient beyond 32 bits saturates, as MulDiv's do.
inline int32_t MulDivUnchecked(int32_t a, int32_t b, int32_t c) { return MulDiv(a, b, c); }

// The sum of the three rounded 16.16 products, wrapping as words.
int32_t FixDot3(const FixedVector* a, const FixedVector* b);

// (x, y) scaled in place to length 65536; the zero pair stays as it is.
void Vec2Normalize16(int32_t* x, int32_t* y);

// (x, y) turned by an Angle16, each result rounded to the nearest integer.
void RotateVec2ByAngle(uint32_t angle, int32_t x, int32_t y, int32_t* outX, int32_t* outY);

// The Angle16 whose cosine is the 16.16 value c, from the arcsine table: 0..32768. Beyond +1.0
// the answer is 0, beyond -1.0 it is 32768.
int32_t FixAcos(int32_t c);

// outLo at or below lo, outHi at or above hi, the linear value between. Formed in wide integers,
// so no span or output range can overflow; the result saturates to 32 bits.
int32_t InterpolateClamped(int32_t hi, int32_t lo, int32_t x, int32_t outLo, int32_t outHi);

// Rows right, up, forward of the frame that looks along `forward` with `up` above it. The rows'
// fourth words are left as they were, except that the forward row takes forward's `w`.
void MatrixFromTwoVectors(FixedMatrix* out, const FixedVector* forward, const FixedVector* up);

// One step of `stepMs` milliseconds of an object at `speed` that may reach `maxSpeed` with the
// acceleration `accel` and must stop after `distance`: the speed after the step and the distance
// covered. Speeds are units per second, times 16.16 seconds. Formed in 64 bits, so speeds and
// distances that do not fit a 16-bit shift keep their meaning; results saturate to 32 bits.
void SolveAccelDistance(int32_t distance, int32_t speed, int32_t maxSpeed, int32_t accel, int32_t* newSpeed,
                        int32_t* travelled, int32_t stepMs);

// The dead zone of the steering routines: a target closer than this on every axis is reached.
constexpr int32_t kSteerDeadZone = 100;

// Heading and pitch toward a point into the object's `refAngles` (heading, pitch, 0); a reached
// target gives (0, 0, 0).
void ObjSteerHeadingPitch(SpaceObject* object, const FixedVector* target);
// The up axis toward a point, either end: (0, roll, pitch) into `refAngles`.
void ObjSteerHeadingPitch2(SpaceObject* object, const FixedVector* target);
// The right axis toward a point: (turn, 0, pitch) into `refAngles`.
void ObjSteerHeadingPitch3(SpaceObject* object, const FixedVector* target);
