// The universe's settings from the "Globals" table, lookups of objects, sectors and takes by id,
// the player object, the state reset, the match-table lookups, the value scripts set on an
// object, relations between races, and the small per-object operations the simulation and the
// script natives share. Called by the type loader, the simulation, the save sections and the
// natives; the settings are written only by `ApplyGlobals`.
#pragma once

#include <cstdint>

#include "core/hash_table.h"

struct SpaceObject;
struct UniverseBlock;
struct ObjTakeRecord;

// Settings (defaults until `ApplyGlobals` runs).
extern int32_t gDetailVisibleMinDist;
extern int32_t gMaxCommDistance;
extern int32_t gMaxHullContainer;
extern int32_t gMaxHullBoardingPod;
extern int32_t gCursorSteeringDamping;
extern int32_t gMaxFireAngle;     // Angle16
extern int32_t gMaxFireAngleCos;  // 16.16
extern int32_t gMaxFireAngleTan;  // 16.16

int32_t GlobalsGet(int32_t id, int32_t fallback);
void ApplyGlobals();

// The value stored under key in a chained hash, or 0 (null) when absent.
HashValue HashFindValue(const HashTable* hash, uint32_t key);

void ObjSetName(SpaceObject* object, const char* text);
bool ObjHasFlag20(const SpaceObject* object);

SpaceObject* FindObjectById(UniverseBlock* universe, uint32_t id);
SpaceObject* FindObjectByIdGlobal(uint32_t id);
SpaceObject* FindSectorById(uint32_t id);
ObjTakeRecord* FindTakeById(uint32_t id);
SpaceObject* GetPlayerObject();
bool IsPlayerObject(const SpaceObject* object);

UniverseBlock* UniverseResetState();
void RemoveObjectsOutsideSectors();

int32_t MatchesFindType(int32_t kind, int32_t class1, int32_t subtype1, int32_t class2, int32_t subtype2,
                        int32_t qualifier, int32_t* outClass, int32_t* outSubtype);
int32_t MatchesFindType2(int32_t kind, int32_t class1, int32_t subtype1, int32_t class2, int32_t subtype2,
                         int32_t* outClass, int32_t* outSubtype);

void SetObjectEventValue(uint32_t id, int32_t value);

int32_t ObjGetRelation(const SpaceObject* other, const SpaceObject* object);
void ObjSetRelation(int32_t race, SpaceObject* object, int32_t value);
bool ObjIsInActiveSector(const SpaceObject* object);
bool ShipIsInState27(const SpaceObject* ship);

// When the object's (module number, handle) pair is set, the module's integer resume callback
// gets (handle, value) and the pair is cleared; callers here pass 1, order results 3, 8 or 13.
void ReleaseModuleHandle(SpaceObject* object, int32_t value);
// The same for the task waiting on turret row `row` of a ship; nothing for another class or a
// row outside the ship's turret rows.
void ShipReleaseModuleHandle(SpaceObject* ship, int32_t row, int32_t value);
// Sets or clears the commander link of a ship, dock or factory (the word that makes it hostile to
// whoever regards its race as a foe); other classes have none.
void ObjSetExtField84(SpaceObject* object, int32_t value);
// Stops media stream `stream` when `owner` holds it and detaches it from `owner`.
void ObjReleaseMediaStream(int32_t stream, int32_t owner);
void ShipUpdateRatio(SpaceObject* ship, int32_t bulletSubtype);

// The ship timer words a bullet's slowing effect uses: its end (game time) and its rate (16.16).
constexpr int kShipTimerEffectEnd = 0;
constexpr int kShipTimerEffectRate = 1;
// A hit by the bullet type starts its effect: it ends the type's third impact value after the
// current game time, at the second impact value / 100 as the rate.
void ShipStartTypeTimer(SpaceObject* ship, int32_t bulletSubtype);
