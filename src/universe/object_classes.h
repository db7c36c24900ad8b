// The vocabulary of the universe's type data: the 32 object classes with their type files, the
// type-table row (common part and each class's own fields), the auxiliary tables of the
// Globals, Flight, Videos, VideoLists, Dummies, Bodies, Components, Matches and WareLists files,
// and the keyword tables those files are written in. The type-file loader fills the tables, the
// accessors read them; nothing here reads a file or allocates. Rows are laid out for 64 bits and
// are read by field name only; no file is ever copied into them.
#pragma once

#include <cstdint>

#include "core/data_reader.h"
#include "scene/list_records.h"

// Class ids (`ObjectClass`); every per-class array has kObjectClassCount slots.
constexpr uint16_t kClassBullet = 0;
constexpr uint16_t kClassSector = 1;
constexpr uint16_t kClassBackground = 2;
constexpr uint16_t kClassSun = 3;
constexpr uint16_t kClassPlanet = 4;
constexpr uint16_t kClassDock = 5;
constexpr uint16_t kClassFactory = 6;
constexpr uint16_t kClassShip = 7;
constexpr uint16_t kClassLaser = 8;
constexpr uint16_t kClassShield = 9;
constexpr uint16_t kClassMissile = 10;
constexpr uint16_t kClassWareFirst = 11;  // wares E, N, B, F, M, T
constexpr uint16_t kClassWareLast = 16;
constexpr uint16_t kClassAsteroid = 17;
constexpr uint16_t kClassGate = 18;
constexpr uint16_t kClassCamera = 19;
constexpr uint16_t kClassSpecial = 20;
constexpr uint16_t kClass21 = 21;  // unnamed; one built-in row
constexpr uint16_t kClassCockpit = 25;
constexpr uint16_t kClassBodyObject = 27;  // no table: the subtype is a body id
constexpr uint16_t kClassDebris = 28;
constexpr uint16_t kClassDockWreck = 29;
constexpr uint16_t kClassFactoryWreck = 30;
constexpr uint16_t kClassShipWreck = 31;
constexpr int kObjectClassCount = 32;

// Type-file name of each class ("types\" + name); null for a class without a file.
extern const char* const kObjectClassFiles[kObjectClassCount];

// Fixed capacities of the type rows and auxiliary tables; a loader never fills past them.
constexpr int kShipComponentCapacity = 7;
constexpr int kShipTurretCapacity = 10;
constexpr int kTurretGunCapacity = 12;
constexpr int kDummyGunPartCapacity = 3;
constexpr int kDummyCutSlotCapacity = 4;
constexpr int kDummySegmentCapacity = 5;
constexpr int kBackgroundStarCapacity = 16;  // stars and backdrops
constexpr int kBackgroundPartCapacity = 8;   // outside and dust parts
constexpr int kPlanetPartCapacity = 8;
constexpr int kBulletImpactValueCount = 8;

// The tail values at the end of every type line; the last three came with later file versions.
constexpr int kTypeTailValueCount = 9;
constexpr int32_t kTailValue7Version = 25;
constexpr int32_t kTailValue8Version = 33;
constexpr int32_t kTailValue9Version = 47;
constexpr int32_t kTailValue7Default = -1000000;

// The header of a station's or ship's dock-slot list: a list of slot rows, a word, then the
// flag word the type accessors test.
struct DockSlotList {
  ListHead slots;
  uint32_t word3;
  uint32_t flags;
};

struct BulletType {
  int32_t energy;
  int32_t value1;
  int32_t hitSound;
  int32_t lifetime;  // ms
  int32_t speed;
  uint32_t flags;
  int32_t lightRed, lightGreen, lightBlue;
  int32_t shapeSizeA, shapeSizeB, shapeSizeC;  // 16.16
  int32_t trailRow;
  int32_t effectRow;
  int32_t fireRow;
  int32_t value4;
  int32_t trailParticle;
  int32_t sound;
  int32_t value7, value8;
  int32_t impactValue[kBulletImpactValueCount];  // [3] is the energy per shot
  int32_t lateValues[2];                         // 4 and 4 before file version 53
};

// Bullet type flags choosing the collision shape, tested in this order.
constexpr uint32_t kBulletBeam = 1u << 1;
constexpr uint32_t kBulletOctahedron = 1u << 2;
constexpr uint32_t kBulletBoxTree = 1u << 3;

// Bullet flag that marks a type whose first tail value is a flagged id.
constexpr uint32_t kBulletFlagFlaggedId = 0x40;

struct BackgroundType {
  char* nebulaName;  // owned
  int32_t starsCount;
  int32_t backdropCount;
  int32_t outsideCount;
  int32_t values8[8];
  int32_t values7[7];  // [5]..[6] a range
  int32_t values4[4];
  int32_t stars[kBackgroundStarCapacity];
  int32_t backdrops[kBackgroundStarCapacity];
  int32_t outsideParts[kBackgroundPartCapacity];
  int32_t dustParts[kBackgroundPartCapacity];
};

// Where a background row keeps the fields named outside the type loader: values8 holds the 8 dust
// body rates; values7 the dust instance count, then the ambient red, green, blue; values4 the
// stardust density (a percentage), then the stardust red, green, blue.
constexpr int kBackgroundDustInstances = 0;     // of values7
constexpr int kBackgroundAmbientFirst = 1;      // of values7
constexpr int kBackgroundStardustDensity = 0;   // of values4
constexpr int kBackgroundStardustFirst = 1;     // of values4

struct SunType {
  int32_t cut;
  int32_t lightParameter;
};

struct PlanetType {
  int32_t lightColour[3];
  int32_t cut;
  int32_t partBody[kPlanetPartCapacity];
  int32_t partValue[kPlanetPartCapacity];
};

// Docks and factories; `hullFactor` is read for factories only.
struct StationType {
  int32_t sound;
  int32_t innerPointZ, outerPointZ;  // 16.16
  int32_t value3;
  int32_t cut;
  int32_t value5;
  int32_t qualifier;
  int32_t effectRow;
  int32_t effectRowB;
  int32_t value9;
  int32_t hullFactor;  // 16.16
  int32_t icon;
  DockSlotList* dockSlots;  // owned by the row
};

struct ShipComponentRow {
  int32_t slot;  // 1-based
  int32_t turret;  // -1 none
  int32_t nodeBody;
  int32_t nodePath;
  int32_t cockpit;  // -1 none
  int32_t cockpitValue;
};

struct TurretGunRow {
  int32_t firstSlot;
  int32_t slotCount;
  int32_t gunBody;
  int32_t gunPath;
  int32_t gunBody2;
  int32_t gunPath2;  // -1: no second node
};

struct ShipTurretRow {
  int32_t firstSlot;
  int32_t slotCount;
  int32_t slot;
  int32_t cockpitValue;
  uint32_t laserMask;  // bit n: laser group n allowed
  int32_t gunCount;
  TurretGunRow gun[kTurretGunCapacity];
};

struct ShipType {
  int32_t speed;
  int32_t speed2;
  int32_t sound;
  int32_t thinkTime;  // steps of 50 ms
  int32_t trailRow;
  int32_t instanceKind;
  int32_t values6[3];
  int32_t cut;
  int32_t cut2;
  uint32_t defaultLaserMask;
  int32_t laserCount;
  int32_t maxWeaponEnergy;
  int32_t weaponRecharge;  // 16.16
  int32_t values2[2];
  uint32_t missileMask;
  int32_t maxMissileGroup;
  int32_t values5[5];
  int32_t value39;
  int32_t viewpointGroup;  // -1 none
  int32_t shipValue;
  int32_t maxEquipmentSize;
  int32_t qualifier;
  int32_t maxHull;
  int32_t effectRow;
  int32_t effectRowB;
  int32_t trailParticle;
  int32_t scriptClass;  // an OBJ_SHIP_ value
  int32_t value25;      // 0 before file version 25
  int32_t value27;      // 100 before file version 27
  int32_t componentCount;
  ShipComponentRow components[kShipComponentCapacity];
  int32_t turretCount;
  ShipTurretRow turrets[kShipTurretCapacity];
  DockSlotList* dockSlots;  // owned by the row
};

struct LaserType {
  int32_t value0, value1;
  int32_t bulletType;  // a bullet subtype
  int32_t value3;
  int32_t fixedValue;  // 16.16
  int32_t icon;
};

struct ShieldType {
  int32_t value0;
  int32_t capacity;
  int32_t value2;
  int32_t fixedValue;  // 16.16
};

struct MissileType {
  int32_t speed;
  int32_t speed2;
  int32_t launchSound;
  int32_t sound;
  int32_t value4;
  int32_t damage;
  int32_t blastRadius;
  int32_t rangeTime;
  int32_t trailRow;
  int32_t instanceKind;
  int32_t explosionSound;
  int32_t value11, value12;
  int32_t lateValue;  // impact effect row
  int32_t effectRow;
  int32_t trailParticle;
  uint32_t missileFlags;  // bit 6: remote detonation
  int32_t value31;        // 500 before file version 31
  int32_t icon;
  int32_t cut;
};

// Asteroids and debris carry a second cut, the rock's own.
struct AsteroidType {
  int32_t cut;
  int32_t effectRow;
  int32_t effectRowB;
  int32_t rockCut;
};

// Gates and specials.
struct CutOnlyType {
  int32_t cut;
};

struct CockpitType {
  int32_t cut;
  uint32_t laserMask;
};

// Debris and the three wreck classes; `rockCut` is debris only.
struct DebrisType {
  int32_t cut;
  int32_t value;  // maximum hull = value x 100 for debris
  int32_t body;
  int32_t rockCut;
};

// One row of a class's type table. All rows share one size, so a row is addressed by subtype
// whatever its class; the class's fields are the union member of that class.
struct ObjectTypeRecord {
  int32_t bodyId;
  int32_t altBodyId;    // replaces bodyId in body searches when positive
  int32_t turnRate[3];  // 16.16
  int32_t group;        // an SG_ group of the class, or a plain number
  int32_t nameTextId;   // page 0 of the text database
  int32_t tailValue[kTypeTailValueCount];  // [4] equipment size, [8] ship colour override
  char* typeId;                            // owned; null when the line names none
  union {
    BulletType bullet;
    BackgroundType background;
    SunType sun;
    PlanetType planet;
    StationType station;
    ShipType ship;
    LaserType laser;
    ShieldType shield;
    MissileType missile;
    AsteroidType asteroid;
    CutOnlyType gate;
    CutOnlyType special;
    CockpitType cockpit;
    DebrisType debris;
  };
};

struct ObjectTypeTable {
  ObjectTypeRecord* rows;  // owned, memory category 14
  int32_t count;
};

// File versions that brought class fields, and what older files get instead.
constexpr int32_t kBulletImpactValuesVersion = 51;  // older files derive them from the flags
constexpr int32_t kBulletLateValuesVersion = 53;
constexpr int32_t kBulletLateValueDefault = 4;
constexpr int32_t kBackgroundValues4Version = 24;
constexpr int32_t kBackgroundValues4First = 50;  // then copies of values7[1..3]
constexpr int32_t kBackgroundOutsideVersion = 25;  // older files have one outside part
constexpr int32_t kPlanetPartsVersion = 23;
constexpr int32_t kStationIconVersion = 41;
constexpr int32_t kDockIconDefault = 196;     // ICON_TRG_ST_TRADING
constexpr int32_t kFactoryIconDefault = 198;  // ICON_TRG_ST_FARM
constexpr int32_t kShipValue25Version = 25;
constexpr int32_t kShipValue27Version = 27;
constexpr int32_t kShipValue27Default = 100;
constexpr int32_t kShipMissileMaskVersion = 31;  // older files give the highest missile group
constexpr int32_t kShipWeaponVersion = 37;
constexpr int32_t kShipMaxWeaponEnergyDefault = 10000;
constexpr int32_t kShipWeaponRechargeDefault = 3276;  // 0.05
constexpr int32_t kShipValue39Version = 39;
constexpr int32_t kLaserIconVersion = 43;
constexpr int32_t kLaserIconDefault = 1;  // ICON_LSR_IRE1
constexpr int32_t kMissileLateValueVersion = 49;  // older files carry one integer more before it
constexpr int32_t kMissileFlagsVersion = 29;
constexpr int32_t kMissileValue31Version = 31;
constexpr int32_t kMissileValue31Default = 500;
constexpr int32_t kMissileIconVersion = 43;
constexpr int32_t kMissileIconDefault = 45;  // ICON_MISSILE_MOSQUITO
constexpr uint32_t kMissileFlagRemoteDetonation = 1u << 6;
constexpr int32_t kAsteroidCutsVersion = 29;
constexpr int32_t kSpecialExtraFirstVersion = 29;  // files 29..34 carry one integer more
constexpr int32_t kSpecialExtraLastVersion = 34;
constexpr int32_t kDebrisRockCutVersion = 45;

// The impact values of a bullet type from a file older than kBulletImpactValuesVersion, derived
// from its flags and energy; `subtype` is the row's own.
void DeriveBulletImpactValues(BulletType* bullet, int32_t subtype);

// The missile mask of a ship type from a file that gives only the highest allowed missile group:
// groups 0..maxGroup. A group beyond the mask's 32 bits allows all, a negative one none.
uint32_t MissileMaskUpToGroup(int32_t maxGroup);

// A background's stars, backdrop or outside count: 1..capacity as read, anything else the
// capacity.
int32_t BackgroundListCount(int32_t count, int32_t capacity);

// Per class; empty (null, 0) until the type files are loaded.
extern ObjectTypeTable gObjectTypeTables[kObjectClassCount];

// The fixed rows of the camera class and of class 21. False for any other class.
bool FillBuiltInTypeRow(uint16_t objClass, ObjectTypeRecord* row);

// ---------------------------------------------------------------------------------------------
// Auxiliary tables.

struct GlobalsEntry {
  int32_t id;  // an SG_ setting
  int32_t value;
};
struct GlobalsTable {
  int32_t count;
  GlobalsEntry* entries;  // owned; null when count is 0
};

constexpr int kFlightViewRowsPerGroup = 5;
struct FlightViewRow {
  int32_t angle[3];  // Angle16 wrapped into -32767..32768
  int32_t flag;
};
struct FlightViewTable {
  int32_t groupCount;
  FlightViewRow* rows;  // groupCount x kFlightViewRowsPerGroup
};

struct VideoRow {
  int32_t idCount;  // how many of `id` are positive
  int32_t id[4];
  int32_t value[7];
};
struct VideoTable {
  int32_t count;
  VideoRow* rows;
};

// Count-prefixed lists of words (video lists, body lists, ware lists).
struct WordList {
  int32_t count;
  int32_t* values;  // owned
};
struct VideoListTable {
  int32_t count;
  WordList* lists;
};

constexpr int kDummyKindCount = 5;
constexpr int kDummyKindGun = 3;
struct DummyGunPart {
  int32_t body;
  uint32_t flags;  // GUNPARTF_
};
struct DummySegment {
  int32_t start;
  int32_t end;
};
struct DummyRow {
  int32_t body;
  uint32_t flags;  // ANIMATEDF_, DWF_, GUNF_
  int32_t cutCount;
  int32_t cut[kDummyCutSlotCapacity];  // indexed by a status keyword
  int32_t gunPartCount;
  DummyGunPart gunPart[kDummyGunPartCapacity];
  DummySegment segment[kDummySegmentCapacity];
};
struct DummyKindTable {
  int32_t count;
  DummyRow* rows;
};
struct DummyTable {
  DummyKindTable kinds[kDummyKindCount];
};

constexpr int kBodyListKindCount = 13;
struct BodyIdList {
  WordList lists[kBodyListKindCount];
};

constexpr int kComponentKindCount = 3;
constexpr int kComponentKindLaser = 0;
constexpr int kComponentKindDocking = 2;
struct ComponentPoint {
  uint32_t flags;        // LASERF_
  int32_t position[3];   // 16.16
  int32_t direction[3];  // 16.16; 0 for docking points
};
struct ComponentEntry {
  int32_t body;
  int16_t pointCount;
  ComponentPoint* points;  // owned
};
struct ComponentKindTable {
  int32_t count;
  ComponentEntry* entries;
};
struct ComponentTable {
  ComponentKindTable kinds[kComponentKindCount];
};

constexpr uint32_t kMatchFlagCut1 = 1;
constexpr uint32_t kMatchFlagCut2 = 2;
constexpr uint32_t kMatchFlagCutMatch = 4;
struct MatchRow {
  int32_t key1, key2, result;  // cut ids where the flags say so, else body ids
};
struct MatchTable {
  uint32_t flags;  // MATCHF_
  int32_t count;
  MatchRow* rows;
};

struct WareListTable {
  int32_t count;
  WordList* lists;  // packed type references (class << 16 | subtype)
};

// ---------------------------------------------------------------------------------------------
// Keyword tables: (name, value) pairs in the order the type files know them, closed by "NULL" 0
// and an empty name. One table serves reading (name to value) and writing (value to its first
// name).

extern const DataKeyword kShipGroupNames[];
extern const DataKeyword kFactoryGroupNames[];
extern const DataKeyword kDockGroupNames[];
extern const DataKeyword kLaserGroupNames[];
extern const DataKeyword kMissileGroupNames[];
extern const DataKeyword kShipScriptClassNames[];
extern const DataKeyword kGlobalsSettingNames[];
extern const DataKeyword kDummyKindNames[];
extern const DataKeyword kDummyFlagNames[];
extern const DataKeyword kDummyStatusNames[];
extern const DataKeyword kGunPartFlagNames[];
extern const DataKeyword kBodyListKindNames[];
extern const DataKeyword kComponentKindNames[];
extern const DataKeyword kComponentPointFlagNames[];
extern const DataKeyword kMatchKindNames[];
extern const DataKeyword kMatchFlagNames[];

// The first name of a value, or null when the table has none; the closing "NULL" counts, so 0
// has a name in every table.
const char* KeywordName(const DataKeyword* table, int32_t value);
// The value of a name; false when the table does not hold it.
bool KeywordValue(const DataKeyword* table, const char* name, int32_t* value);
