// Small scene operations the natives, the frame driver and the shutdown call: releasing render
// entries, the icon and animated-texture set-up of instances, instance sound levels, stopping the
// scenes' sounds, the rotation from two angle triples and the world point under a screen point.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct CameraRecord;
struct InstanceRecord;
struct SceneRecord;

// Render entries, released with their nodes (and taken out of the render table).
void ReleaseRenderEntriesByKey(uint32_t key);
void SceneReleaseRenderEntries(SceneRecord* scene);

// Both bits are set by every icon set-up, also when the icon was not found.
constexpr uint32_t kInst2IconTexture = 0x10800000;

// Icon set-up: the instance draws a pixel rectangle of an icon set's texture, scaled x and y to
// the rectangle's pixel size (16.16) and z to 1.0. An unknown set or icon sets only the flags.
void InstSetIconTexture(InstanceRecord* instance, int32_t iconSet, int32_t icon);
// rect: x, y, width, height in pixels of the set's texture.
void InstSetIconRect(InstanceRecord* instance, int32_t iconSet, const int32_t rect[4]);
// A square of `size` pixels at (x, y) of the first icon set's texture.
void InstAnimTextureStep(InstanceRecord* instance, int32_t x, int32_t y, int32_t size);

// One instance of a sound-level pass: `baseLevel` in, `level` out.
struct SoundLevelEntry {
  InstanceRecord* instance;
  int32_t baseLevel;
  int32_t level;
};
// Levels fall by half per (subtree size + 4500) units of camera-space distance and reach 0 at
// 6 x size + 37000. Entries without a sample come first, then the others by level, highest
// first; equal levels keep their order.
void InstSoundLevels(SoundLevelEntry* entries, int32_t count);

// The sound devices register the stop of a channel that plays a sample; while it is null nothing
// is stopped.
// The looped member sounds of the pass gathering start, place and commit channels through the
// rest; a start that answers -1 (or no start hook) drops the member's sample.
struct BodySound;
struct SceneSoundHooks {
  void (*stopChannel)(int32_t channel, int32_t sampleId);
  int32_t (*playLooped)(int32_t sampleId, int32_t volume);  // the channel, or -1
  void (*setParameters)(int32_t channel, const BodySound* sound, int32_t volumeOffset);
  // Relative to the listener: the position and velocity in camera space.
  void (*setPosition)(int32_t channel, const FixedVector* position, const FixedVector* velocity);
  void (*setVolume)(int32_t channel, int32_t volume);
  void (*commit)(int32_t channel);
};
extern SceneSoundHooks gSceneSoundHooks;

void InstUpdateWorldTreeMethod(InstanceRecord* instance);

// Rotation = MatrixFromAngles(a) composed with MatrixFromAngles(b); a and b are angle triples.
void InstSetRotFromTwoAngleSets(InstanceRecord* instance, const int32_t a[3], const int32_t b[3]);
// Per camera and frame: from the movement since the last frame (1 to 2999 ms ago, less than
// 5,000,000 units) sets the velocity (world and camera space) and leans the bank angle into the
// turn; always records the position, the third matrix row and the time for the next frame.
constexpr uint32_t kTrackMaxElapsed = 2999;
constexpr int32_t kTrackMaxMove = 5000000;
void CameraTrackMotion(CameraRecord* camera);
// The world point under screen pixel (x, y) at `depth` in front of the camera.
void CameraUnprojectToWorld(int32_t x, int32_t y, int32_t depth, const CameraRecord* camera, FixedVector* out);
