// Cuts (animated cut scenes) and their paths, as the cut readers build them and the jobs play
// them. The key records and the cut readers' own fields are filled in by the cut code.
// Record-only header: the renderer includes it.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

// Cut origin flags. The cut loaders set kCutAllPathsLoop when a path carries kPathFlagS.
constexpr uint32_t kCutOriginGiven = 0x1;
constexpr uint32_t kCutAllPathsLoop = 0x4;
constexpr uint32_t kCutKeysRescaled = 0x2;

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

// Path flags, with the letters of the text cut form that set them.
constexpr uint32_t kPathFlagC = 0x1;        // "c"
constexpr uint32_t kPathFlagL = 0x2;        // "l"
constexpr uint32_t kPathFlagLD = 0x4;       // "l" "d"
constexpr uint32_t kPathFlagLP = 0x8;       // "l" "p"
constexpr uint32_t kPathFlagLS = 0x10;      // "l" "s"
constexpr uint32_t kPathFlagF = 0x20;       // "f"
constexpr uint32_t kPathNamesBody = 0x40;   // the default: the path's body id names a body
constexpr uint32_t kPathNamesCut = 0x80;    // "j": the body id names a nested cut
constexpr uint32_t kPathLoops = 0x100;      // "p"
constexpr uint32_t kPathFlagS = 0x200;      // "s"
constexpr uint32_t kPathDefaultFlags = kPathNamesBody;

// A timed note of a path: milliseconds from the path's start and its text (owned; null for none).
struct CutNote {
  int32_t time;
  char* text;
};

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
  uint32_t lookupWord;  // the body id, or with kPathNamesCut the nested cut's id
  int32_t serial;
  uint32_t pathWord;    // the mask copied into the instance that plays the path
  uint32_t loaderWord;  // the path's F value; -1 when the file gives none
  char* name;           // owned; null for none
  int32_t noteCount;
  CutNote* notes;       // owned
  uint32_t flags;
  uint32_t bindingWord;  // the number of position constraints
  // Owned: bindingWord pairs {serial of the bound path, 16.16 value}.
  int32_t* binding;
};

struct CutRecord {
  uint32_t handle;  // key of the engine's cut table
  int32_t pathCount;
  FixedVector originPosition;
  FixedMatrix originRotation;
  PathRecord* paths;  // indexed by path number
  uint32_t originFlags;
};
