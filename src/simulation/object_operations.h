// The small operations behind single object commands: whether a type leaves a wreck, making an
// object the player's, starting a take, the body release with its collision rebuild, the first
// object a segment touches, an object's group, a special's lights and an object's light colour.
// The SA_ command families call them with their script arguments already looked up; none raises
// a script event.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct SpaceObject;
struct ObjTakeRecord;

// 1 when a dock, factory or ship type of that subtype leaves a wreck (a wreck row with a body,
// an effect row that makes a wreck, the wreck's body available), else 0.
int32_t TypeCreatesWreck(int32_t subtype, int32_t objClass);
void SetAsPlayerObject(SpaceObject* object, bool on);
// Frees every body, then gives every object tree its collision shapes back.
void FreeAllBodies();
// The id of the first object of the sector, in list order, of a solid class whose instance the
// segment from start to end touches; 0 for none or when `sector` is not a sector.
uint32_t FastTrace(SpaceObject* sector, const FixedVector* start, const FixedVector* end, int32_t flags);
void SetObjectGroup(SpaceObject* object, int32_t group);
void SetSpecialParameter1(SpaceObject* special, int32_t value);
// Plays the cut on the take: a take holding another cut is stopped first, a take holding none
// gets the cut's objects (0 when they cannot be made); then 1 while the take's paths run, else 0.
int32_t StartTake(ObjTakeRecord* record, int32_t cutId, const FixedVector* position, const int32_t* label, bool loop,
                  const FixedMatrix* path);
// Colour components 0..255 (16-bit in the instance).
void SetObjectLight(SpaceObject* object, int32_t red, int32_t green, int32_t blue);
