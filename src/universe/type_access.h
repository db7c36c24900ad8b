// The type-field accessors: every read of a type row goes through `TypeRow`, which checks the
// class and the subtype against the loaded table, and every reader answers its class's fallback
// when the row is missing. Beside them the class-dependent object readers and writers and the
// searches over the type and auxiliary tables. Called by the whole universe model, the
// simulation and the script natives; they hold no state and never allocate.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "universe/object_classes.h"

struct SpaceObject;
struct InstanceRecord;
struct DataKeyword;

// The auxiliary tables the type loader fills; empty until it has run.
extern GlobalsTable gGlobalsTable;
extern FlightViewTable gFlightViewTable;
extern BodyIdList gBodyIdLists;
extern DummyTable gDummyTable;
extern ComponentTable gComponentTable;
extern MatchTable gMatchTable;
extern WareListTable gWareLists;

// The one checked row accessor: class 0..31 with a table and 0 <= subtype < count, else null.
const ObjectTypeRecord* TypeRow(int32_t objClass, int32_t subtype);
ObjectTypeRecord* TypeRowMutable(int32_t objClass, int32_t subtype);

// Type-record readers.
const DataKeyword* GetClassGroupNames(int32_t objClass);
int32_t GetClassGroupCount(int32_t objClass);
int32_t GetTypeLookupId(int32_t subtype, int32_t objClass);
int32_t GetTypeQualifier(int32_t objClass, int32_t subtype);
int32_t GetTypeFieldByClass(int32_t subtype, int32_t objClass);
DockSlotList* GetTypeDockSlotList(int32_t objClass, int32_t subtype);
uint32_t GetTypeFlagsByClass(int32_t objClass, int32_t subtype);
bool TypeHasFlagBit(int32_t objClass, int32_t subtype, int32_t n);
int32_t TypeGetField8(int32_t objClass, int32_t subtype);
int32_t TypeGetField12(int32_t objClass, int32_t subtype);
int32_t TypeGetField16(int32_t objClass, int32_t subtype);
int32_t TypeGetSpeed(int32_t objClass, int32_t subtype);
int32_t TypeGetField72ShipMissile(int32_t objClass, int32_t subtype);
int32_t ShipTypeField172(int32_t objClass, int32_t subtype);
int32_t RockTypeGetCutId(int32_t objClass, int32_t subtype);
int32_t DebrisWreckTypeField72(int32_t objClass, int32_t subtype);
bool GetWreckClassFor(int32_t objClass, int32_t subtype, int32_t* outClass, int32_t* outSubtype);
int32_t ShipTurretFirstSlot(int32_t shipSubtype, int32_t turret);
int32_t ShipTurretSlotCount(int32_t shipSubtype, int32_t turret);
int32_t ShipComponentValue(int32_t shipSubtype, int32_t component);
int32_t GetTypeMaxHull(int32_t subtype, int32_t objClass);
int32_t GetTierWeight(int32_t tier);

// Object readers.
int32_t GetShipTurretCount(const SpaceObject* object);
int32_t ShipGetComponentCount(const SpaceObject* object);
int32_t ObjGetTypeBodyId(const SpaceObject* object);
// A sector's background type (class 2, by the sector's background word), or null when the object
// is no sector or the type is missing. Not the sector's own subtype: that is its class-1 type.
const BackgroundType* SectorBackground(const SpaceObject* sector);
int32_t ObjGetTypeNameTextId(const SpaceObject* object);
// The object's 16.16 rotation: a ship's own matrix, the scene instance's for every other class.
// Null when the object has neither.
const FixedMatrix* GetObjectRotationMatrix(const SpaceObject* object);
int32_t ShipTypeGetMaxWeaponEnergy(const SpaceObject* object);
int32_t ObjGetMaxEnergy(const SpaceObject* object);
int32_t ShipGetWeaponEnergy(const SpaceObject* object);
int32_t ObjGetEnergy(const SpaceObject* object);
int32_t ObjGetTunedRotRate0(const SpaceObject* object);
int32_t ObjGetTunedRotRate1(const SpaceObject* object);
int32_t ObjGetTunedRotRate2(const SpaceObject* object);
int32_t ObjGetTunedSpeed(const SpaceObject* object);
// A speed scaled by the object's speed tuning (x (1 + t) for ships), unchanged for other classes.
int32_t ObjTuneSpeed(const SpaceObject* object, int32_t speed);
int32_t ObjGetTunedField72(const SpaceObject* object);
int32_t ObjGetQuantity(const SpaceObject* object);
bool ObjIsInSector(const SpaceObject* object);
bool ObjIsContainer(const SpaceObject* object);
bool ObjTestFlag18Not19(const SpaceObject* object);
bool ObjIsShipCameraOrMissile(const SpaceObject* object);
int32_t ObjGetHull(const SpaceObject* object);
uint32_t ObjGetRadiusCopy(const SpaceObject* object);
bool ShipIsCapitalClass(const SpaceObject* object);
bool ShipIsLargeClass(const SpaceObject* object);
bool ShipHasGroupCode(const SpaceObject* object);
bool MissileFitsShip(int32_t missileSubtype, int32_t shipSubtype);
bool LaserFitsShipTurret(int32_t laserSubtype, int32_t shipSubtype, int32_t turret);

// Object writers.
void ObjSetQuantity(SpaceObject* object, int32_t amount);
void PlanetSetExtField12(SpaceObject* object, uint32_t value);
int32_t WreckSetExtField0(SpaceObject* object, int32_t value);
int32_t DebrisSetExtField0(SpaceObject* object, int32_t value);
void ObjClearVec48IfNull(SpaceObject* object, int32_t a, int32_t b);
void ObjSetVec96(SpaceObject* object, int32_t x, int32_t y, int32_t z);
SpaceObject* ObjSetFlag18(SpaceObject* object, bool on);
void ShipDrainShotEnergy(SpaceObject* ship, int32_t bulletSubtype);
int32_t ShipSetWeaponEnergy(SpaceObject* ship, int32_t value);
void ObjRemove(SpaceObject* object);

// Searches.
int32_t FindTypeByName(int32_t objClass, const char* name);
int32_t FindAnyTypeByName(const char* name);  // class << 16 | subtype, or -1
bool FindTypeByLookupId(int32_t id, int32_t* outClass, int32_t* outSubtype);
bool FindTypeByLookupAndQualifier(int32_t id, int32_t qualifier, int32_t* outClass, int32_t* outSubtype);
bool FindTypeByBodyId(int32_t id, int32_t* outClass, int32_t* outSubtype);
bool FindTypeByBodyAndQualifier(int32_t id, int32_t qualifier, int32_t* outClass, int32_t* outSubtype);
const DummyRow* FindIdTableRow(int32_t body, int32_t kind, int32_t* outKind);
bool IsIdInIdLists(int32_t kind, int32_t body);
const ComponentEntry* FindEntry12ById(int32_t kind, int32_t body);
int32_t FindBackgroundUsingId(int32_t body);
int32_t CountTypeInList(int32_t list, int32_t objClass, int32_t subtype);
// Child searches: the next child of the container after `after` that matches, or null. A null
// `after`, or one that is not a child of this container, starts at the first child.
SpaceObject* ObjFindNextChildByClass(SpaceObject* container, SpaceObject* after, int32_t objClass);
SpaceObject* ObjFindNextChildByType(SpaceObject* container, SpaceObject* after, int32_t objClass,
                                    int32_t subtype);
SpaceObject* ObjFindNextChildByPathNumber(SpaceObject* container, SpaceObject* after, int32_t number);
// The body word or the class word (the path's mask) of the cut path row the child's instance
// plays; a child whose instance names no registered cut or no path in it never matches.
enum class PathRowWord { Body, Class };
SpaceObject* ObjFindNextChildByPathRow(SpaceObject* container, SpaceObject* after, PathRowWord word,
                                       int32_t value);
SpaceObject* ObjFindNextContainerChild(SpaceObject* container, SpaceObject* after);

// The instance flags its body id earns from the body lists.
void NodeApplyIdListFlags(InstanceRecord* instance);
