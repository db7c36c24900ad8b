// The universe model's records: the space object with its flag bits and class extensions, the
// sector's longer record, the object lists, and the `UniverseBlock` root; with the operations
// the game main, the game loop, the save container and the shutdown call. Records are laid out
// for 64 bits and read by field name; only the universe's save section fixes word orders, through
// its own table. Object lists are the scene engine's three-word lists, so one set of list
// operations serves both.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "scene/instance_records.h"
#include "scene/list_records.h"
#include "script/value.h"
#include "universe/galaxy_grid.h"
#include "universe/object_classes.h"

struct FileObject;
struct SceneRecord;
struct DockSlotTable;

// ---------------------------------------------------------------------------------------------
// The space object.

constexpr uint16_t kObjectMarker = 0xCAFE;  // `marker` while the object is initialised
constexpr uint16_t kNoOwner = 65535;

// `flags`: the bits this subsystem gives a meaning; the others belong to the simulation.
constexpr uint32_t kObjFlagBit0 = 1u << 0;
constexpr uint32_t kObjFlagBit1 = 1u << 1;  // read by container departures and missile aiming
constexpr uint32_t kObjFlagFree = 1u << 2;  // cleared when a ship is put at a hangar or docking place
constexpr uint32_t kObjFlagWaitsInContainer = 1u << 7;
constexpr uint32_t kObjFlagMissileTurnsAround = 1u << 8;
constexpr uint32_t kObjFlagMissileNotAimed = 1u << 9;  // with bit 1
constexpr uint32_t kObjFlagBit10 = 1u << 10;
constexpr uint32_t kObjFlagBit11 = 1u << 11;
constexpr uint32_t kObjFlagBit14 = 1u << 14;  // bullets and missiles
constexpr uint32_t kObjFlagBit17 = 1u << 17;  // asteroids, debris and wrecks
constexpr uint32_t kObjFlagMissileLaunched = 1u << 19;
constexpr uint32_t kObjFlagContainer = 1u << 20;  // owns a child list; destroyed with its children
constexpr uint32_t kObjFlagCarried = 1u << 23;    // follows `carrier` through `carrierNode`
constexpr uint32_t kObjFlagArmed = 1u << 24;      // lasers and launched missiles
constexpr uint32_t kObjFlagRemoving = 1u << 27;   // skipped by passes, released after the frame
constexpr uint32_t kObjFlagNoHull = 1u << 30;     // bullets: maximum hull 0
constexpr uint32_t kObjFlagInitialised = 1u << 31;

// `flags2`.
constexpr uint32_t kObjFlag2VanishWhenDone = 1u << 2;
constexpr uint32_t kObjFlag2Bit3 = 1u << 3;  // planet subtype 139
constexpr uint32_t kObjFlag2Bit7 = 1u << 7;
constexpr uint32_t kObjFlag2LaunchFlag1 = 1u << 8;
constexpr uint32_t kObjFlag2StartComponentPaths = 1u << 9;
constexpr uint32_t kObjFlag2FromShooter = 1u << 10;  // passed on to the shooter's missiles
constexpr uint32_t kObjFlag2DetailHeld = 1u << 18;
constexpr uint32_t kObjFlag2DetailManaged = 1u << 20;
constexpr uint32_t kObjFlag2Detailed = 1u << 21;  // view range for detail doubled
constexpr uint32_t kObjFlag2Attached = 1u << 25;  // held at `linkedObject` until break-away
constexpr uint32_t kObjFlag2Viewpoint = 1u << 26;
constexpr uint32_t kObjFlag2Special = 1u << 27;
constexpr uint32_t kObjFlag2Bit28 = 1u << 28;
constexpr uint32_t kObjFlag2Bit29 = 1u << 29;
constexpr uint32_t kObjFlag2DetailPart = 1u << 31;

// Words with no meaning to this subsystem are carried by name so the save section and the
// simulation can reach them. Angles are Angle16 values in 32-bit words.
struct SpaceObject {
  ListNode link;  // `next`, `prev`: the list that holds this object
  uint32_t id;    // key in the universe's id hash
  char* name;     // owned
  int32_t speed;
  int32_t speedLimit;
  int32_t angles[3];
  int32_t turnRates[3];
  int32_t refAngles[3];
  uint16_t owner;  // race, kNoOwner for none
  uint16_t ownerHalf;
  uint32_t flags;
  uint32_t flags2;
  uint16_t objClass;
  int16_t subtype;  // row of the class's type table; the body id for class 27
  uint32_t classWord;
  void* ext;  // owned class extension, or null
  SpaceObject* parent;        // null in the top-level list
  SpaceObject* linkedObject;  // main ship of an attached ship, or the whole of a detail part
  uint32_t linkWord;
  FixedVector baseVelocity;  // inherited from a carrier
  InstanceRecord* instance;
  InstanceRecord* shownInstance;
  uint32_t instanceWord;
  uint32_t moduleNo;      // native module of `moduleHandle`; 0 none
  uint32_t moduleHandle;  // released through the module's release callback
  uint32_t moduleWords[2];
  ScriptValue scriptValue;  // owned
  uint32_t valueSet;        // 1 once a script has set `scriptValue`
  uint32_t scriptId;        // 0: no script object, no events
  uint32_t componentCut;
  uint16_t marker;
  uint32_t radiusCopy;
  int32_t radius;
  uint32_t createdAt;
  ListHead spareList;
  uint32_t dynamicWords[9];
  uint32_t clearedWords[4];
  int32_t hull;
  SpaceObject* carrier;
  InstanceRecord* carrierNode;
  SpaceObject* tractorTarget;  // the object this one holds with a tractor beam
  SpaceObject* tractorAux;     // the object that holds this one
  int32_t tractorLength;       // holder's attach point to the held object when connected
  uint32_t stateWords[3];
  FixedVector attachOffset;  // the beam's attach point in the holder's frame; w stays 0
  InstanceRecord* beamEffect;  // the visible tractor beam, or null
  uint32_t beamWord;
  uint32_t lastWords[2];
  // The simulation's own fields: the mass rams exchange momentum by, the pose the object update
  // keeps at the start of each frame (a ram puts both objects back to it), and the hit strength
  // the cockpit's hit display is measured against.
  int32_t mass;
  FixedVector savedPosition;
  int32_t savedAngles[3];
  int32_t hitReference;
  int32_t flashTimer;  // ms the HUD's overlay icon still flashes; started by flags2 bit 19
  // Where the radar shows the object: its instance, or the docking port the HUD's scanner picked
  // for the player; written every frame by the scanner pass.
  InstanceRecord* radarAnchor;
};
static_assert(offsetof(SpaceObject, link) == 0, "an object is its own list node");

// A sector: the common record, then the sector's own fields.
struct SectorObject : SpaceObject {
  SceneRecord* sceneA;  // null while the sector is not shown
  SceneRecord* sceneB;
  SceneRecord* sceneC;
  uint32_t sceneWords[3];
  uint32_t sectorFlags;  // kSectorFlag...
  int32_t sectorHull;
  uint32_t sectorWords[10];  // [6] and [8] reset when a sun or planet moves; [9] media suspended
  int32_t sectorLast;
  uint32_t sectorWord;
};

constexpr uint32_t kSectorFlagSkipped = 1u << 0;
constexpr uint32_t kSectorFlagActiveWithPlayer = 1u << 1;
constexpr int32_t kSectorHull = 10000000;

// ---------------------------------------------------------------------------------------------
// Class extensions. Containers begin theirs with the child list.

struct BulletExt {
  uint32_t expiresAt;
  SpaceObject* firedBy;
  uint32_t firedAt;
  InstanceRecord* attachedInstance;  // the bullet's light
  FixedVector hitPoint;       // relative to the object last hit, in its node's frame
  FixedMatrix lastTransform;  // the world transform the contact test uses for a fast shot
  uint32_t words[8];
  uint32_t burstMarker;  // non-zero: bursts into fragments when it expires
  uint32_t word29;
  int32_t collisionSize;
  int32_t charge;  // a carried shot's charge, added to its shield damage
  uint32_t tailWords[8];
  FixedVector carriedOffset;  // a carried shot's position relative to its emitter's node
  SpaceObject* shooter;       // the object that fired it; `firedBy` is the gun
  SpaceObject* hitObject;     // what a beam shot hits along its length
  uint32_t hitFlags;          // kBulletHit
  FixedVector hitOffset;      // the shot's position relative to the object hit
  // What the weapons keep for a beam or carried shot fed by its laser: the laser, the muzzle
  // direction (the world aim direction for an arc shot), the aim point's offset and the game time
  // until which a carried shot stays attached.
  SpaceObject* laser;
  FixedVector muzzleDirection;
  FixedVector aimOffset;
  uint32_t attachUntil;
};
constexpr uint32_t kBulletHit = 1u << 0;
constexpr uint32_t kBulletAttached = 1u << 1;  // a carried shot still held by its gun
constexpr uint32_t kBulletReleased = 1u << 2;  // a carried shot let go by its gun

struct SectorExt {
  ListHead children;
};

struct SunExt {
  InstanceRecord* lightA;
  InstanceRecord* lightB;
};

struct PlanetExt {
  int32_t lightColour[3];
  uint32_t word3;
  InstanceRecord* light;
};

// Docks, factories and gates: a dock or docking point is x, y, z, w in 16.16.
struct DockExt {
  ListHead children;
  uint32_t nextLaunchAt;
  FixedVector innerPoint;
  FixedVector outerPoint;
  uint32_t words[6];  // the factory's third is `stationState`
  DockSlotTable* dockSlots;  // the docking-place table, freed with the object
  uint32_t friendMask;  // bit n: race n is a friend
  uint32_t foeMask;     // bit n: race n is a foe
  uint32_t reciprocalHostile;  // non-zero: hostile to whoever regards this race as a foe
  uint32_t tailWords[2];
};

struct FactoryExt {
  DockExt dock;
  SpaceObject* linkedFactory;  // the factory this one is connected to, or null
  uint32_t factoryWords[3];
};
constexpr int kFactoryStationStateWord = 2;  // of DockExt::words
constexpr uint32_t kFactoryStationStateNew = 3;

constexpr int kGateSlotCount = 7;
constexpr int kGateChaserPhaseWord = 1;  // of GateExt::words
constexpr int kGateChaserStepWord = 2;
constexpr uint32_t kGateChaserIdle = 0xFFFFFFFF;  // -1
struct GateExt {
  ListHead children;
  uint32_t nextLaunchAt;
  FixedVector innerPoint;
  FixedVector outerPoint;
  uint32_t words[4];  // [1] guide-light chaser phase (-1 idle), [2] its next step time
  uint32_t slotTimes[kGateSlotCount];
  SpaceObject* slotShips[kGateSlotCount];  // the ships waiting at each slot
  uint32_t tailWords[2];
};

// One turret of a ship (36 words in the 32-bit record).
struct TurretRow {
  FixedVector vector;
  FixedVector offset;      // the component's position
  FixedMatrix nodeMatrix;  // the component node's rotation; row 2 is the aim direction
  uint32_t since;
  uint32_t moduleNo;  // native module of `handle` (a task waiting on the turret); 0 none
  uint32_t handle;    // module handle, released on destruction
  uint32_t words[3];
  uint32_t stateWords[8];
  uint32_t word;
  uint32_t tailWords[2];
  SpaceObject* targetObject;  // what the turret aims at, or null
};

constexpr int kShipThreatCapacity = 5;

struct ShipExt {
  ListHead children;
  uint32_t nextLaunchAt;
  FixedVector innerPoint;  // z -1.1
  FixedVector outerPoint;  // z -5.0
  uint32_t friendMask;     // bit n: race n is a friend
  uint32_t foeMask;        // bit n: race n is a foe
  uint32_t reciprocalHostile;  // non-zero: hostile to whoever regards this race as a foe
  DockSlotTable* dockSlots;    // the docking-place table, freed with the object
  uint32_t orderWords[19];
  uint32_t thinkPeriod;  // ms
  uint32_t thinkDue;
  uint32_t nextCheckAt;
  uint32_t commandFlag;
  uint32_t commandWord;
  int32_t tuning;  // 16.16
  SpaceObject* commandObject;
  uint32_t commandWords[6];
  FixedVector commandPoint;
  int32_t dockSlot;  // -1 none
  uint32_t dockWord;
  uint16_t commandState;
  uint16_t commandHalf;
  uint32_t stateWord;
  uint32_t stateWords[2];
  InstanceRecord* attachedInstance;
  uint32_t attachedWord;
  int32_t rotationTuning;  // 16.16 t: turn rates are scaled by (1 + t)
  int32_t speedTuning;     // 16.16 t: speeds are scaled by (1 + t)
  int32_t race10SpeedLimit;  // caps race 10's ships; used only when >= 0
  int32_t maxSpeedOverride;  // used only when >= 0
  int32_t valueOverride;     // used only when >= 0
  uint32_t overrideTail;
  uint32_t clearedA[3];
  uint32_t wordsA[3];
  int32_t slowdownFactor;  // 16.16 part of the speed taken away, 0 none
  uint32_t slowdownEnd;    // game time at which the slowdown ends
  uint32_t clearedB[2];
  int32_t speedFactor;   // 16.16
  int32_t weaponEnergy;  // thousandths
  int32_t drainBase;     // lowered by bullet hits
  int32_t drainRatio;    // drainBase x 1000 / the bullet's sixth impact value
  TurretRow turrets[kShipTurretCapacity];
  int32_t viewpoint;  // -1 none
  uint32_t viewWords[3];
  FixedMatrix rotation;
  int32_t viewAngles[3];
  int32_t viewAnglesB[3];
  int32_t viewAnglesC[3];
  uint32_t rotationWords[3];
  FixedMatrix carriedMatrix;      // rotation relative to the carrier
  FixedVector carriedPosition;    // position relative to the carrier
  uint32_t breakAt;               // 0 none
  uint32_t timers[4];
  uint32_t tailWords[7];
  // The obstacles found on a collision course this frame, with their distances.
  int32_t threatCount;
  SpaceObject* threats[kShipThreatCapacity];
  int32_t threatDistances[kShipThreatCapacity];
  int32_t avoidValue;        // while avoiding a collision: positive counts as attacking
  int32_t heldSpeedLimit;    // 40000 while held by a tractor beam, -1 none
  uint32_t tractorEventsOff;  // non-zero: no "SetTractorTarget" when the beam lets go
  // A pending shield drain: damage per second taken from the ship's own shields until `drainLeft`
  // runs out.
  int32_t shieldDrainRate;
  int32_t shieldDrainLeft;
};

constexpr int32_t kShipInnerPointZ = static_cast<int32_t>(0xFFFEE667);  // -1.1
constexpr int32_t kShipOuterPointZ = static_cast<int32_t>(0xFFFB0000);  // -5.0

struct LaserExt {
  uint32_t word0;
  uint16_t laserSlot;
  uint16_t slotHalf;
  uint32_t readyAt;
  SpaceObject* currentShot;  // the beam it is firing, or null
};

struct ShieldExt {
  uint32_t word0;
  int32_t charge;         // 16.16
  uint32_t blockedUntil;  // game time before which the shield does not recharge; 0 none
};
constexpr int32_t kShieldFullCharge = 0x3E80000;  // 1000.0

struct MissileExt {
  uint32_t launched;  // 1 once launched
  uint16_t state;
  uint16_t stateHalf;
  uint32_t launchedAt;
  SpaceObject* launcher;
  SpaceObject* target;
  uint32_t word5;
  uint32_t words[6];
  uint16_t phase;  // the shot number once launched
  uint16_t phaseHalf;
  uint32_t tailWords[3];
};

// Wares, asteroids, debris and wrecks.
struct AmountExt {
  uint32_t amount;
};

// The camera's words, named once for every layer that reads them: the object update steers by
// the distance to keep and the stop flag, the scripts set the distance and the connect mode
// (1 at creation), and the flight pass puts a camera that has an axis at its followed object
// plus the offset along that axis (1 x, 2 y, 3 z; 0 none).
constexpr int kCameraFollowOffsetWord = 0;
constexpr int kCameraKeepDistanceWord = 2;
constexpr int kCameraConnectModeWord = 3;
constexpr int kCameraStopWord = 4;
constexpr int kCameraFollowAxisWord = 5;

struct CameraExt {
  uint32_t words[6];  // by the names above; [1] is carried unused
  SpaceObject* followedObject;
  SpaceObject* defaultTarget;      // followed when nothing else is
  InstanceRecord* sceneInstance;   // takes the camera's position and rotation, or null
};

struct SpecialExt {
  uint32_t parameter1;  // the mode its lights show; subtypes above 1 only keep it
  int32_t screenId;
  int32_t shownId;
};

struct Class21Ext {
  uint32_t words[16];
};

// The byte size of a class's extension; 0 for the classes that have none.
size_t ObjectExtensionSize(uint16_t objClass);

// The child list of a container object (one whose extension begins with it), else null.
ListHead* ObjectChildren(SpaceObject* object);

// ---------------------------------------------------------------------------------------------
// Object lists: {first, terminator, last} headers; an object's `link` is its node. An empty
// header's `first` is the address of its terminator, and a walk ends at the node whose `next`
// is 0. A zero-filled header walks as empty too, so a block that was never set up is safe.

inline SpaceObject* ObjectOfNode(ListNode* node) { return ListRecord<SpaceObject>(node); }

inline SpaceObject* ObjectListFirst(ListHead* list) {
  ListNode* node = ListFirst(list);
  return node ? ObjectOfNode(node) : nullptr;
}

inline SpaceObject* ObjectListNext(SpaceObject* object) {
  ListNode* node = ListNext(&object->link);
  return node ? ObjectOfNode(node) : nullptr;
}

inline void ObjectListAddTail(ListHead* list, SpaceObject* object) { ListAddTail(list, &object->link); }
inline void ObjectListRemove(SpaceObject* object) { ListRemove(&object->link); }

// ---------------------------------------------------------------------------------------------
// The universe root.

struct UniverseBlock {
  uint32_t runState[2];  // [1] gates the simulation's first pass
  ListHead objects;      // sectors and unparented objects
  HashTable* idHash;     // objects by `id`
  HashTable* takeHash;   // take records by key
  // A word the scripts keep for themselves (their client data flags); the engine gives it no
  // meaning. It is the first word the save keeps of the universe's state.
  uint32_t clientDataFlags;
  uint32_t savedWordB;
  int32_t takeReplaceBody;  // the body a take's path of body 99999 shows; set by a script command
  uint32_t takeWord;
  ScriptValue scriptValue;  // owned; takes script results for result object 0
  uint32_t savedWordC;      // `valueSet` of `scriptValue`
  SpaceObject* player;
  uint32_t savedWordD;
  uint32_t statWord;      // the first statistics counter
  uint32_t missileCount;  // launches with launch flag bit 1
  uint32_t statWords[6];  // [0]..[3] the last four counters ([2], [3] the flown distance)
  uint32_t moduleNo;      // script module that receives object events
  uint32_t commandActive;
  // The flight-mode bits: 0x2 horizon levelling of the player's ship, 0x4 its levelling
  // reference follows the player's roll.
  uint32_t modeFlags;
  // The body of the markers a dock slot lays toward the player's ship; 0 lays none.
  int32_t pathMarkerBody;
  // The roll the player's ship is levelled toward.
  int32_t referenceRoll;
};
extern UniverseBlock* gUniverse;


// 0 on failure.
int32_t LoadTypes(UniverseBlock* universe);
void FreeAllObjects(UniverseBlock* universe);
void DestroyUniverse(UniverseBlock* universe);
void ContainerFreeRemovedObjects(SpaceObject* container);
void RebuildObjectTreeCollision(SpaceObject* object);
void ApplyTypeSoundToObjectTree(SpaceObject* object);

void ClearEffectInstances();
void FreeEffectDefinitions();
void FreeEffectGroups();
void ResetObjectEffects();
void StepObjectEffects();

void RegisterGalaxyModule(GalaxyGrid* grid);

// Save sections: "GALA" ... "/GAL" and "SECT" ... "/SEC"; true on success.
bool WriteGalaxyChunk(FileObject* file);
bool ReadGalaxyChunk(FileObject* file);
// The universe section's other records are in universe/universe_save.h.
bool WriteUniverse(FileObject* file);
bool ReadUniverse(FileObject* file);
