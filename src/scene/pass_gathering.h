// Render pass gathering: per camera, the scene update (camera-space positions, and the wrap of
// members into a cube around a wrap camera with its streaks), the visibility, level of detail and
// looped sounds of every member, the gathering of one render pass into the engine's draw list and
// batch records, and the hand-over of the sorted list to the renderer. Called by the engine frame
// and the environment pass. Draw nodes come from the engine's pool and go back to it; a node that
// cannot be had leaves its group undrawn and the pass goes on.
#pragma once

#include <cstdint>

struct CameraRecord;
struct InstanceRecord;
struct ListHead;
struct SceneRecord;

// Instance flag bits of the visibility, level and gathering rules.
constexpr uint32_t kInstVisible = 1u << 1;  // set by the camera-space update, cleared when hidden
constexpr uint32_t kInstKeepLevel0 = 1u << 3;
constexpr uint32_t kInstFaceLight = 1u << 5;
constexpr uint32_t kInstFrameCull = 1u << 7;  // culled when the camera sits inside its size
constexpr uint32_t kInstKeepAxis = 1u << 9;
constexpr uint32_t kInstNeverSizeCulled = 1u << 10;
constexpr uint32_t kInstBatchAlways = 1u << 11;
constexpr uint32_t kInstTexAnimChanged = 1u << 13;
constexpr uint32_t kInstFaceCamera = 1u << 14;
constexpr uint32_t kInstHiddenAtLastLevel = 1u << 15;
constexpr uint32_t kInstHiddenWithParent = 1u << 18;
constexpr uint32_t kInstNotRangeCulled = 1u << 25;
constexpr uint32_t kInstStreak = 1u << 26;
constexpr uint32_t kInstRollToView = 1u << 28;
constexpr uint32_t kInstLevelByDistance = 1u << 31;
constexpr uint32_t kInst2Sorted = 1u << 4;
constexpr uint32_t kInst2LevelZero = 0x20;
constexpr uint32_t kInst2FarRange = 1u << 17;
constexpr uint32_t kInst2WrapFaint = 1u << 18;
constexpr uint32_t kInst2LevelMarks = (1u << 19) | (1u << 20);
constexpr uint32_t kInst2Coarse = 0x100000;
constexpr uint32_t kInst2BatchCandidate = 1u << 23;

// Render group flags.
constexpr uint32_t kGroupSkipped = 0x8000;
constexpr uint32_t kGroupSorted = 0x20;

// The body that never joins a batch, and the largest face group a batched body may have.
constexpr int32_t kUnbatchedBody = 225;
constexpr int32_t kBatchMaxGroupTriangles = 55;
// Batch capacities: streaks, always-batched members, candidates.
constexpr int32_t kBatchCapacityStreaks = 512;
constexpr int32_t kBatchCapacityAlways = 256;
constexpr int32_t kBatchCapacityCandidates = 1024;

// Member sounds: heard within 6 x total size + 37000, at most this many channels at once.
constexpr int32_t kSoundChannelLimit = 6;
constexpr int32_t kSoundVolumeOffset = 4500;

// The wrap cube's half edge and the streaks' scale bounds (16.16).
constexpr int32_t kWrapHalfEdge = 0x40000;
constexpr int32_t kStreakShortLength = 0x1B333;
constexpr int32_t kStreakLongLength = 0x1E0000;

// The offset of coordinate p from camera coordinate c after wrapping into the cube.
int32_t WrapOffset(int32_t p, int32_t c);
// A streak's scale for the largest motion component m: its length and its width (= height).
struct StreakScale {
  int32_t length;
  int32_t width;
};
StreakScale StreakScaleForMotion(int32_t m);
// The level a root choosing by distance takes at e = distance minus its total size (0..4).
int32_t DistanceLevel(int32_t e);

void UpdateSceneForCamera(SceneRecord* scene, CameraRecord* camera);
void UpdateMembersForCamera(SceneRecord* scene, CameraRecord* camera);
// mode 0 or 4 (the far pass of a camera with two ranges).
void RenderScenePass(SceneRecord* scene, CameraRecord* camera, int32_t pass, int32_t mode);
void DrawInstanceTree(SceneRecord* scene, ListHead* list, CameraRecord* camera, InstanceRecord* instance);
void DrawPassList(CameraRecord* camera);
