// Distances and lengths over three signed 32-bit components, for the natives, the camera motion
// tracking and the scene queries. Every difference, product and sum is formed in 64 bits or in
// floating point, so no intermediate wraps; results that do not fit 32 bits saturate.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

// The largest per-component |b - a|.
int32_t VecMaxAbsDiff(const FixedVector* a, const FixedVector* b);
// Sum of the rounded 16.16 products a_i x b_i.
int32_t VecDotFixed(const FixedVector* a, const FixedVector* b);
// |b - a| squared, in double precision.
double VecDistSqDouble(const FixedVector* a, const FixedVector* b);
// Integer part of the Euclidean length.
int32_t VecLength(const FixedVector* a);
int32_t VecDistance(const FixedVector* a, const FixedVector* b);
int32_t VecLengthFloat(float x, float y, float z);
// Distance from p to the line through a and b; the distance to a when a and b coincide.
int32_t PointLineDistance(const FixedVector* p, const FixedVector* a, const FixedVector* b);
