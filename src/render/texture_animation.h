// Texture animations: the per-surface animation states instances, cameras and the HUD own.
// Least form until they are built (texture_animation_stub.cpp): the state record, its creation
// and release, and the movie-strip placement the instance subtree walks call.
#pragma once

#include <cstdint>

// 3 x 3 texture-coordinate transform of 16.16 values: two rows of four words, then three.
struct UvTransform {
  int32_t row0[4];
  int32_t row1[4];
  int32_t row2[3];
};

// State flags.
constexpr uint32_t kTexAnimImmediate = 0x1;

struct TexAnimState {
  int32_t anim;  // definition index; for an immediate state the negated texture id
  int32_t cycleStart;
  int32_t spinStart;
  uint32_t flags;
  int32_t elapsedFrames;
  int32_t reinitTime;
  int32_t movieStarted;
  int32_t uvStart[2];
  int32_t uvEnd[2];
  int32_t period;
  int32_t spinCentre[2];
  int32_t spinPeriod;
  int32_t frame;
  UvTransform uv;
  uint16_t texture;
};

// n zeroed states, state i from element i of each array (any array may be null); an id with bit
// 31 set makes an immediate state. Null when memory runs out or n is below 1.
TexAnimState* TexAnimCreateRecords(int32_t n, const int32_t* ids, const int32_t* uvStarts, const int32_t* uvEnds,
                                   const int32_t* periods, const int32_t* centres, const int32_t* spinPeriods);
void TexAnimFreeRecords(int32_t n, TexAnimState* states);
void InstTexAnimRecompute(int32_t n, TexAnimState* states, int32_t cell);
void InstTexAnimRebase(int32_t n, TexAnimState* states, int32_t cell, int32_t cellCount);
