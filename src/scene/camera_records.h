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
constexpr uint32_t kCameraNoLensFlares = 1u << 12;
constexpr uint32_t kCameraParticles = 1u << 14;
constexpr uint32_t kCameraFog = 1u << 16;
constexpr uint32_t kCameraExtraPass4 = 1u << 18;
constexpr uint32_t kCameraEnvironmentMap = 1u << 19;

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
  ListHead entries;   // CameraEntry
  // Motion tracking: set once a frame was seen; the time, position and third matrix row of the
  // previous frame.
  bool tracked;
  uint32_t trackTime;
  FixedVector trackPosition;
  FixedVector trackRow2;
};

inline CameraRecord* CameraOfInstance(InstanceRecord* instance) { return reinterpret_cast<CameraRecord*>(instance); }

// Per camera and instance: renderer words and the instances the node owns (lens flares and the
// like; null = none), freed with the node.
struct CameraNode {
  ListNode node;
  uint32_t word;
  InstanceRecord* key;
  uintptr_t rendererWords[11];
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
