// Cuts (animated cut scenes) and their paths, as the cut readers build them and the jobs play
// them. The key records and the cut readers' own fields are filled in by the cut code.
// Record-only header: the renderer includes it.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct PositionKey;
struct RotationKey;
struct RollKey;
struct ColorKey;
struct FovKey;
struct AnimNote;

// Cut origin flags.
constexpr uint32_t kCutOriginGiven = 0x1;
constexpr uint32_t kCutAllPathsLoop = 0x4;

// Path flags.
constexpr uint32_t kPathLoops = 0x100;

template <typename Key>
struct KeyList {
  int32_t count;
  Key* keys;  // null when count is 0
};

struct PathRecord {
  KeyList<PositionKey> positions;
  KeyList<RotationKey> rotations;
  KeyList<PositionKey> targets;
  KeyList<RollKey> rolls;
  KeyList<ColorKey> colors;
  KeyList<FovKey> fieldsOfView;
  uint32_t lookupWord;
  int32_t serial;
  uint32_t pathWord;
  uint32_t loaderWord;
  char* name;
  int32_t noteCount;
  AnimNote* notes;
  uint32_t flags;
  uint32_t bindingWord;
  int32_t* binding;  // its first word is the serial of the bound path
};

struct CutRecord {
  uint32_t handle;  // key of the engine's cut table
  int32_t pathCount;
  FixedVector originPosition;
  FixedMatrix originRotation;
  PathRecord* paths;  // indexed by path number
  uint32_t originFlags;
};
