// The cockpit records (an "instrument" to scripts): the slot every cockpit mark is made of, the
// cockpit with its sub-records, the cockpit table's lookups, allocation, initialisation and
// freeing, and the INS_ module's registration and dispatcher. Called by the INS_ natives, the HUD
// step, the "INS " save section, the simulation and the game loop. Nothing here draws; a cockpit
// is reached only through the GUI master's table.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "script/tasks.h"

struct CameraRecord;
struct GuiMaster;
struct InstanceRecord;
struct SceneRecord;
struct SpaceObject;
struct CockpitRecord;

// A 3D instance linked into a scene while visible, with the body it shows.
struct CockpitSlot {
  uint32_t visible;
  InstanceRecord* instance;
  int32_t bodyId;  // -1: none
  uint32_t extra;
  CockpitRecord* owned;  // a nested cockpit the slot owns; deleted with it
};
// What the memory counters charge for one slot of the reference list.
constexpr uint32_t kCockpitSlotNominalBytes = 20;

// The slot's three life steps: empty; with a new instance (a light for body -1); freed.
void CockpitSlotInit(CockpitSlot* slot);
void CockpitSlotBuild(CockpitSlot* slot, int32_t bodyId, uint32_t extra);
void CockpitSlotDestroy(CockpitSlot* slot);

constexpr int kRadarSlotCount = 6;
struct RadarRecord {
  CockpitRecord* cockpit;
  CockpitSlot slots[kRadarSlotCount];
  CockpitSlot* refs[kRadarSlotCount];
  uint32_t word;
  uint32_t flag;
};

// One icon of the target overlay's icon list.
constexpr int kOverlayIconSmallSlots = 4;
constexpr int kOverlayIconLargeSlots = 8;
struct OverlayIcon {
  SpaceObject* object;
  CockpitSlot small[kOverlayIconSmallSlots];
  CockpitSlot large[kOverlayIconLargeSlots];
  int32_t range;
  uint32_t visible;
  int32_t fade[4];
  float edgeAngle;  // angle of the border point, radians; the drawing order
  int32_t edgeX, edgeY;    // the border point, pixels from the view's centre (y down)
  float screenX, screenY;  // the projected point in view units (y down); 100 each when too near
  // What the icon covered when it was last drawn, pixels from the view's centre (y down): the
  // centre and the half sizes; half sizes 0 while it is not drawn.
  int32_t pickX, pickY, pickHalfW, pickHalfH;
  int32_t aimDepth;  // view-space depth of the aim point this frame
};

// Icons past `used` stay allocated for reuse.
struct OverlayIconList {
  CockpitRecord* cockpit;
  CameraRecord* camera;
  uint8_t reserved[16];
  SceneRecord* scene;
  OverlayIcon** begin;
  OverlayIcon** end;
  OverlayIcon** capacity;
  int32_t used;
};

constexpr int kTargetOverlaySlotCount = 40;
struct TargetOverlay {
  CockpitRecord* cockpit;
  CockpitSlot slots[kTargetOverlaySlotCount];
  uint32_t enabled;
  int32_t words[5];  // the second is the blink phase, the fifth the warning start
  int32_t leadX, leadY;  // the overlay mark point; -1 = none
  OverlayIconList* icons;  // null until the overlay first shows icons
  uint32_t bracketPhase;   // ms of the searching brackets' animation, below 1000; not saved
};

constexpr int kElementSlotCount = 4;
struct ElementSlots {
  CockpitRecord* cockpit;
  CockpitSlot slots[kElementSlotCount];
  uint32_t flag;
};

constexpr int kMessageSlotCount = 3;
struct MessageDisplay {
  CockpitRecord* cockpit;
  CockpitSlot slots[kMessageSlotCount];
  int32_t words[3];
};

struct NavMap {
  CockpitRecord* cockpit;
  CockpitSlot slots[kMessageSlotCount];
  int32_t words[2];
};

struct CameraMessage {
  CockpitRecord* cockpit;
  CockpitSlot slot;
  uint32_t shown;
};

struct TooltipRecord {
  CockpitRecord* cockpit;
  uint32_t shown;
  InstanceRecord* instance;
  int32_t tooltipId;
  uint32_t visibleTime;
  char* text;  // accounted
  SceneRecord* scene;
  CameraRecord* camera;
  // The box as last shown: its place on the display, its width and its text height.
  int32_t x, y;
  int32_t width, height;
};

// A growable array of the per-frame lists; its storage is uncounted heap memory.
struct CockpitArray {
  void* begin;
  void* end;
  void* capacity;
};

// Track modes.
constexpr uint16_t kTrackNone = 0;
constexpr uint16_t kTrackCursor = 1;
constexpr uint16_t kTrackOverlayLock = 2;
constexpr uint16_t kTrackObject = 3;
constexpr uint16_t kTrackEnemy = 4;

constexpr int kCockpitLightCount = 16;
constexpr uint16_t kNoMissile = 0xFFFF;

struct CockpitRecord {
  uint32_t handle;
  SceneRecord* scene;
  CameraRecord* camera;
  SpaceObject* refObject;
  SpaceObject* cockpitRefObject;
  InstanceRecord* instances[kCockpitLightCount];
  SpaceObject* sectorSpace;
  CameraRecord* sectorCamera;
  CameraRecord* galaxyCamera;
  CameraRecord* dustCamera;
  SpaceObject* refViewObject;
  int32_t refViewPos[3];
  int32_t refPos[3];
  int32_t viewAngle[3];
  int32_t viewAngleSpeed[3];
  int32_t viewAngleTarget[3];
  int32_t posAngle1[3], posAngle2[3], viewAngle1[3], viewAngle2[3];
  FixedMatrix viewMatrix;
  uint32_t viewLocked;
  int32_t viewAngleAccel;
  uint32_t noDecay;
  int32_t viewPos[3];
  int32_t viewPointPos[3];
  uint32_t viewMode;  // 1: the in-cockpit view
  int32_t viewCameraOffset[3], viewCameraOffset2[3], viewPointOffset[3], viewPointOffset2[3];
  uint32_t flags;
  uint32_t viewDuration, posDuration;
  uint32_t viewConnectMode;
  uint32_t viewStart, posStart;
  uint32_t cinematicLoopTime;
  uint32_t orbitAngle;
  uint32_t orbitFlags;
  int32_t cockpitNumber;
  int32_t monitorNumber;
  SpaceObject* trackObject;
  uint16_t trackMode;
  uint32_t trackFlag;
  uint32_t trackStart;
  SpaceObject* enemyObject;
  uint16_t blinkHalf;
  uint32_t blinkWord;
  SpaceObject* currentSectorObject;
  uint32_t shakeUntil;
  int32_t shakeStrength;
  uint32_t shake2Until;
  uint32_t radarMode;
  int32_t radarRange;
  int32_t radarTarget;
  uint32_t threeFlags[3];
  uint16_t currentMissile;
  uint16_t missileHalf;
  int32_t missileWords[2];
  uint32_t fieldOfView;
  uint32_t draw2D;
  int32_t zoomFactor;
  int32_t zoomFrom, zoomTo;
  uint32_t zoomStart;
  uint32_t viewFlags;
  CockpitArray missionOffers;
  CockpitArray scannerObjects;
  int32_t scannerRange;
  CockpitSlot grid;
  uint32_t gridOn;
  uint32_t targetRefCount;
  CockpitSlot** targetRefs;
  uint32_t cockpitBodyOn, radarBodyOn, displayBodyOn;
  int32_t swayWord;
  int32_t shakeAngles[3];
  int32_t viewOffsetVector[3];
  int32_t prevRates[3];
  int32_t prevSpeed;
  int32_t prevAccel;
  int32_t interiorCut;
  uint32_t shading;
  // The damage read-out the simulation sets for the in-cockpit view, and when it ends.
  int32_t percentDisplay;
  uint32_t percentExpiry;
  RadarRecord radar;
  CameraMessage cameraMessage;
  TargetOverlay overlay;
  ElementSlots elements;
  MessageDisplay messages;
  NavMap navMap;
  TooltipRecord tooltip;
};

// Defaults of a new cockpit.
constexpr int32_t kGridBody = 481;
constexpr int32_t kCameraMessageBody = 260;
constexpr uint32_t kDefaultCinematicLoopTime = 15000;
constexpr int32_t kDefaultRadarRange = 10000000;
constexpr uint32_t kPercentDisplayMs = 1000;
// How near the aim point must be to the overlay mark, in pixels on each axis.
constexpr int32_t kOverlayPickDistance = 17;

// The current screen aim point in pixels; negative while there is none (the centre is taken).
extern int32_t gScreenAimX;
extern int32_t gScreenAimY;

// The cockpit of a handle; null for an unknown handle or a master without a table.
CockpitRecord* CockpitFromHandle(const GuiMaster* master, uint32_t handle);
// The first cockpit in key order on monitor 0 that the object carries; null if none.
CockpitRecord* CockpitFindByRefObject(const SpaceObject* object);
void CockpitSetPercentDisplay(int32_t value, const SpaceObject* object);
bool CockpitPointInOverlay(const CockpitRecord* cockpit);

// Allocation and freeing. CockpitAlloc answers the new handle, 0 on failure.
uint32_t CockpitAlloc(GuiMaster* master);
CockpitRecord* CockpitInit(CockpitRecord* cockpit);
void INS_CockpitFree(CockpitRecord* cockpit);
// Bit 0 of flags: also free the record's memory.
void DeleteCockpitSubRecord(CockpitRecord* cockpit, uint32_t flags);
void FreeAllCockpits(GuiMaster* master);

// The INS_ module.
constexpr int32_t kCockpitNativeCount = 111;
extern const char* const kINSNativeNames[kCockpitNativeCount + 1];
// The module row of INS_, 0 until it is registered.
extern int32_t gCockpitModule;
void InitCockpitModule();
int32_t CockpitResumeInt(uint32_t cookie, int32_t value);
void CockpitResumeValue(uint32_t cookie, ScriptValue* value);
int32_t DispatchINSNative(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount,
                          ScriptValue* args);
