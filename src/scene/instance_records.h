// The instance record: one node of the scene graph (a placed body, an empty transform node, a
// light, or the front part of a camera) with its flag bits. Instances form trees through their
// child lists; roots are scene members or sit in the engine's free instance list. Record-only
// header: the renderer includes it; the operations live in scene/instance.h.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "scene/list_records.h"

struct SceneRecord;
struct CameraRecord;
struct D3DLightRecord;
struct TexAnimState;

// Flags (the first flags word).
constexpr uint32_t kInstCamera = 1u << 0;
constexpr uint32_t kInstCameraCoordsDone = 1u << 1;  // camera-space position updated this frame
constexpr uint32_t kInstLight = 1u << 2;
constexpr uint32_t kInstSizeUsed = 1u << 3;
constexpr uint32_t kInstSpotLight = 1u << 4;
constexpr uint32_t kInstOwnMatrix5 = 1u << 5;  // world matrix is the own matrix
constexpr uint32_t kInstScaledWithParent = 1u << 6;
constexpr uint32_t kInstFrameMark = 1u << 7;  // set during the frame, cleared at its end
constexpr uint32_t kInstHeadingFollows = 1u << 11;
constexpr uint32_t kInstRenderReady = 1u << 12;
constexpr uint32_t kInstOwnMatrix14 = 1u << 14;   // world matrix is the own matrix
constexpr uint32_t kInstNoChildScale = 1u << 16;  // children do not take this instance's scale
constexpr uint32_t kInstLightParamSet = 1u << 17;
constexpr uint32_t kInstLightSecondPositive = 1u << 19;
constexpr uint32_t kInstInvisible = 1u << 20;
constexpr uint32_t kInstPointLight = 1u << 22;
constexpr uint32_t kInstLightRankedHigh = 1u << 23;
constexpr uint32_t kInstCollisionMade = 1u << 24;
constexpr uint32_t kInstSubtreeOff = 1u << 25;
constexpr uint32_t kInstNoSweepHit = 1u << 27;
constexpr uint32_t kInstOwnMatrix28 = 1u << 28;  // world matrix is the own matrix
constexpr uint32_t kInstExtraValueSet = 1u << 29;
// The same bit on a light or flare-carrying instance: it shows lens flares of its `flareType`.
constexpr uint32_t kInstLensFlareSource = 1u << 29;
constexpr uint32_t kInstOwnMatrixBits = kInstOwnMatrix5 | kInstOwnMatrix14 | kInstOwnMatrix28;

// Flags2 (the second flags word).
constexpr uint32_t kInst2Far = 1u << 1;  // a camera-space coordinate beyond kInstFarDistance
constexpr uint32_t kInst2HasLinkedParts = 1u << 5;
constexpr uint32_t kInst2LoadKeep80 = 1u << 7;   // with 0x100: kept when a save game is loaded
constexpr uint32_t kInst2LoadFree100 = 1u << 8;  // freed when a save game is loaded (unless 0x80)
constexpr uint32_t kInst2ScreenSpace = 1u << 9;    // drawn in screen pixels, not in the scene
constexpr uint32_t kInst2ScreenLeft = 1u << 12;    // screen-space: one pixel left
constexpr uint32_t kInst2ScreenRight = 1u << 13;   // screen-space: one pixel right
constexpr uint32_t kInst2ScreenUp = 1u << 14;      // screen-space: one pixel up
constexpr uint32_t kInst2ScreenDown = 1u << 15;    // screen-space: one pixel down
constexpr uint32_t kInst2ScreenUniform = 1u << 16;  // screen-space: scaled by its size alone
constexpr uint32_t kInst2NotSaved = 1u << 10;
constexpr uint32_t kInst2WorldFromCamera = 1u << 22;  // world = position + camera position
constexpr uint32_t kInst2HasTexAnim = 1u << 24;
constexpr uint32_t kInst2NotNear = 1u << 29;

// Flags3 (the third flags word).
constexpr uint32_t kInst3FreeQueued = 1u << 0;  // a script freed it during a walk; freed when the walk ends

// Sound flags.
constexpr uint32_t kInstSoundBit3 = 1u << 3;
constexpr uint32_t kInstSoundPlaying = 1u << 4;

// Job flags.
constexpr uint32_t kJobPlaying = 0x1;
constexpr uint32_t kJobQuaternion = 0x10;
constexpr uint32_t kJobTaskWaits = 0x40;
constexpr uint32_t kJobEndReported = 0x200;
constexpr uint32_t kJobLoops = 0x800;
constexpr uint32_t kJobDrivesCamera = 0x1000;
constexpr uint32_t kJobRangeAsGiven = 0x2000;
constexpr uint32_t kJobRebased = 0x4000;
constexpr uint32_t kJobBackwards = 0x8000;

// A camera-space coordinate above this marks an instance far.
constexpr int32_t kInstFarDistance = 100000000;

// Words with no meaning to the scene graph are kept by name so the recorder and the save section
// can copy them unchanged. All words are 32-bit unless stated; positions are integer world units;
// scales, sizes and matrix elements 16.16.
struct InstanceRecord {
  ListNode node;  // free instance list, a scene's member list, or the parent's child list
  uint32_t word2;
  ListHead children;
  InstanceRecord* parent;
  SceneRecord* scene;
  char* name;  // owned
  uint32_t word7;
  uint32_t handle;
  uint32_t word9;
  FixedVector position;  // relative to the parent
  FixedMatrix matrix;
  int32_t size;           // 16.16; -1 for lights
  int32_t sizeVector[2];  // with `size`, the vector that places bit-6 children
  uint32_t word13;
  FixedVector scale;    // w is 0 after B3D_InstSetScale
  uint32_t words15[4];  // the first three are saved
  int32_t scaledSize;
  int32_t subtreeSize;  // -1 = not computed
  uint32_t words18[2];
  FixedVector world;
  FixedMatrix worldMatrix;
  FixedVector cameraPos;
  FixedVector velocity;  // world units per second
  FixedVector cameraVelocity;
  uint32_t words22[3];  // recorded and saved
  uint32_t flags;
  uint32_t flags2;
  uint32_t soundFlags;
  uint32_t word26;
  int32_t alphaOverride;  // 0 = none
  int32_t bodyId;         // -1 = none
  int32_t soundSample;    // -1 = none
  int32_t soundChannel;   // -1 = none
  int32_t sizeUsed;       // valid with kInstSizeUsed
  int16_t lightColor[3];  // red, green, blue; 256 = 1.0
  int32_t lightRange;
  uint32_t words31[3];  // the light's attenuation constants (16.16)
  int32_t lightParam;   // 0x20000 for a new light
  D3DLightRecord* deviceLight;
  uint32_t words32[4];
  FixedVector contact;  // collision contact block
  uint16_t collisionMask;
  int32_t extraValue;      // valid with kInstExtraValueSet
  int32_t overrideEffect;  // 0 = none
  int32_t texAnimCount;
  TexAnimState* texAnims;
  int32_t linkedPartCount;
  InstanceRecord** linkedParts;
  int32_t colorModifier[4];  // 0, then three 1.0 factors
  int32_t colorModifierExtra[2];
  int32_t jobStart;  // clock value at which path time 0 would have been reached
  int32_t jobClock;  // clock value of the last update
  int32_t rangeStart;
  int32_t rangeEnd;
  uint32_t jobFlags;
  int32_t rotationWords[4];  // three Angle16 angles and a word, or a quaternion (w, x, y, z)
  int32_t waitModule;  // module row of the task that waits for the job
  int32_t waitToken;
  uint32_t cutHandle;
  int32_t pathNumber;
  uint32_t pathWord;

  // The fields the membership, frame, collision, cut-event and replay code adds to the record.
  char* label;
  uint32_t flags3;
  int32_t nodeId;
  int32_t level;           // index of the body part drawn
  int32_t collisionLevel;  // the level the collision model was made for
  int32_t passNumber;
  int32_t minSize[2];  // own and the parent's
  int32_t fadeValue;
  uint32_t colorOverride;
  int32_t textureHandle;
  int32_t depthBias;
  FixedVector collisionCentre;
  int32_t volume;
  int32_t lastVolume;
  int32_t shadowValue;
  int32_t lightValue;
  InstanceRecord* contactPartner;
  uint32_t jobWord;
  int32_t scriptReceiver;  // script object that receives cut events; 0 = none
  CameraRecord* linkedCamera;
  uint32_t ownerWord;  // bit 6: owned by a script task
  int32_t ownerModule;
  int32_t ownerToken;
  int32_t ownerScriptId;
  int32_t flareType;
  FixedVector wrapOffset;  // the offset from the wrap camera at the last frame
};

inline InstanceRecord* InstanceOfNode(ListNode* node) { return ListRecord<InstanceRecord>(node); }

// The first child, and the next record of the list the instance stands in; null at the end.
inline InstanceRecord* InstFirstChild(InstanceRecord* instance) {
  ListNode* node = ListFirst(&instance->children);
  return node ? InstanceOfNode(node) : nullptr;
}
inline InstanceRecord* InstNextSibling(InstanceRecord* instance) {
  ListNode* node = ListNext(&instance->node);
  return node ? InstanceOfNode(node) : nullptr;
}
