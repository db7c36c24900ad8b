// The camera record and the per-camera node and entry records. A camera is an instance (flag bit
// 0) followed by its view settings, so every instance operation applies to it. Record-only
// header: the renderer includes it; the camera operations live with the scenes.
#pragma once

#include <cstdint>

#include "scene/instance_records.h"

struct DeviceViewport;

// Camera flags.
constexpr uint32_t kCameraEnabled = 1u << 0;
constexpr uint32_t kCameraListener = 1u << 3;
constexpr uint32_t kCameraFadeBit4 = 1u << 4;
constexpr uint32_t kCameraFadeBit5 = 1u << 5;
constexpr uint32_t kCameraDrawListAscending = 1u << 7;
constexpr uint32_t kCameraLensFlares = 1u << 8;  // lens-flare sources get flare nodes
constexpr uint32_t kCameraStreaks = 1u << 9;     // wrap camera: streaks follow the motion
constexpr uint32_t kCameraSizeCulling = 1u << 10;
constexpr uint32_t kCameraNoLensFlares = 1u << 12;
constexpr uint32_t kCameraParticles = 1u << 14;
constexpr uint32_t kCameraWrap = 1u << 15;  // members wrap into a cube around the camera
// Fog also gives the camera two distance ranges: its start is the near range and its end the far
// range of the pass gathering.
constexpr uint32_t kCameraFog = 1u << 16;
constexpr uint32_t kCameraExtraPass4 = 1u << 18;
constexpr uint32_t kCameraEnvironmentMap = 1u << 19;
constexpr uint32_t kCameraCoarser = 1u << 24;  // one level of detail coarser
constexpr uint32_t kCameraFlaresBlocked = 1u << 27;  // every flare on its screen counts as occluded

// The three fog words: colour (below 0: no fog), start and end distance.
constexpr int kCameraFogColour = 0;
constexpr int kCameraFogStart = 1;
constexpr int kCameraFogEnd = 2;

constexpr int kCameraNearInstanceCount = 255;
constexpr int kCameraNodeOwnedCount = 13;

struct CameraRecord {
  InstanceRecord instance;  // flag bit 0 set
  uint32_t cameraFlags;
  uint32_t bankAngle;        // Angle16 in the low half
  DeviceViewport* viewport;  // only while the camera is in an enabled scene
  uint32_t words4[3];
  int32_t viewTop, viewBottom, viewLeft, viewRight;  // 16.16 fractions of the screen
  uint32_t fieldOfView;                              // Angle16; 16384 = 90 degrees
  int32_t priority;
  ListHead nodes;  // CameraNode
  int32_t background[3];
  int32_t factors[3];                 // 16.16, 1.0 for a new camera
  int32_t aspectWidth, aspectHeight;  // 0 = the screen's pixel size
  int32_t fog[3];                     // the first below 0 switches fog off
  int32_t causticAnimId;
  TexAnimState* causticAnim;
  InstanceRecord* nearInstances[kCameraNearInstanceCount];
  int32_t fadeValue;  // 0 = no fade pass
  uint32_t environmentSource;  // handle of the camera the environment pass sees from; 0 = none
  ListHead entries;   // CameraEntry
  // Motion tracking: set once a frame was seen; the time, position and third matrix row of the
  // previous frame.
  bool tracked;
  uint32_t trackTime;
  FixedVector trackPosition;
  FixedVector trackRow2;
  // The frame along which the scale factors stretch the camera's scene (the dust camera's
  // direction of flight); zero until someone sets it.
  FixedMatrix scaleOrientation;
};

inline CameraRecord* CameraOfInstance(InstanceRecord* instance) { return reinterpret_cast<CameraRecord*>(instance); }

// A lens-flare node: per camera and lens-flare source, the flare's screen place and brightness,
// its intensity that rises and falls over frames, and the flare instances it owns (null = none),
// freed with the node. Screen coordinates are 16.16 fractions of the viewport, 0x8000 its centre.
struct CameraNode {
  ListNode node;
  CameraRecord* camera;
  InstanceRecord* key;  // the source instance
  int32_t intensity;    // 0..200
  uint32_t words[4];
  int32_t screenX, screenY;
  int32_t depth;
  int32_t visible;
  int32_t brightness;
  int32_t flareType;
  InstanceRecord* owned[kCameraNodeOwnedCount];
};
constexpr uint32_t kCameraNodeNominalBytes = 28 * 4;

// Made by the per-instance render update.
struct CameraEntry {
  ListNode node;
  CameraRecord* camera;
  InstanceRecord* key;
  uintptr_t rendererWords[12];
};
constexpr uint32_t kCameraEntryNominalBytes = 16 * 4;
