// Cuts (animated cut scenes) and their paths, as the cut readers build them and the jobs play
// them. The key records and the cut readers' own fields are filled in by the cut code.
// Record-only header: the renderer includes it.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct AnimNote;

// Cut origin flags.
constexpr uint32_t kCutOriginGiven = 0x1;
constexpr uint32_t kCutAllPathsLoop = 0x4;

// Key flags.
constexpr uint32_t kKeyHermite = 0x4000;      // position and target keys: Hermite segment to the next
constexpr uint32_t kKeyAxisAngle = 0x2;       // rotation keys: angle and axis, else three angles
constexpr uint32_t kKeyPrepared = 0x4;        // rotation keys: quaternion made
constexpr uint32_t kKeyNotPrepared = 0x20;    // rotation keys: left out of preparation
constexpr uint32_t kKeyAbsolute = 0x2000;     // rotation keys: not relative to the previous key
constexpr uint32_t kKeyTcb = 0x8000;          // rotation keys: TCB segment to the next

// Position and target keys. Times are on the job clock and rise through a list.
struct PositionKey {
  int32_t time;
  uint32_t flags;
  int32_t tension, continuity, bias;  // 16.16
  int32_t easeIn, easeOut;            // 16.16 fractions of a segment
  FixedVector position;
  FixedVector inTangent;   // computed when the path is set up
  FixedVector outTangent;  // computed when the path is set up
};

struct RotationKey {
  int32_t time;
  uint32_t flags;
  int32_t tension, continuity, bias;
  int32_t easeIn, easeOut;
  // Three angles (65536 a full turn); with kKeyAxisAngle the first is the angle (16.16 of a turn)
  // and `axis` the axis.
  int32_t angles[3];
  FixedVector axis;
  Quaternion quat;  // absolute rotation, made for axis-angle keys by the path set-up
};

struct RollKey {
  int32_t time;
  uint32_t flags;
  int32_t angle;  // its low 16 bits are the roll Angle16
};

struct ColorKey {
  int32_t time;
  uint32_t flags;
  int32_t red, green, blue;  // 16.16, 0..1
};

struct FovKey {
  int32_t time;
  uint32_t flags;
  int32_t fov;  // Angle16 in a word
};

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
