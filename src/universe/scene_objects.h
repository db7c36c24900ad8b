// Scene objects: turning the paths of a cut into universe objects, lights and plain instances.
// A take gets one object, light or instance per path; an in-game scene gets objects placed on
// their paths around a given object (or a new carrier ship) and announced to the scripts with a
// creation event each. The take and scene commands call it, inside a command, so an object that
// an event handler frees stays readable until the command ends. It allocates no records of its
// own kind: objects through object creation, instances and lights through the scene engine.
#pragma once

#include <cstdint>

struct CutRecord;
struct InstanceRecord;
struct ObjTakeRecord;
struct SpaceObject;

// The script objects that receive the creation events.
constexpr int32_t kSceneEventTarget = 3003;
constexpr int32_t kRacingEventTarget = 4299;
// Every creation event declares six integer arguments.
constexpr int32_t kSceneEventArgCount = 6;

// Fills the take of the record with the cut's objects, attached to the record's `sector`. 1 when
// the cut was found, else 0 with nothing made.
int32_t CreateObjectsFromCut(int32_t cutId, ObjTakeRecord* takeRecord, int32_t jobValue);
// The objects of an in-game scene, carried by `object`; the longest remaining path time in
// milliseconds, 0 when the cut is not found.
int32_t CreateCutSceneObjects(SpaceObject* object, int32_t a, int32_t cutId, int32_t b);
// A stand-alone scene carried by a new carrier ship; as above.
int32_t CreateCutSceneObjects2(int32_t cutId, int32_t value);

// Position, matrix and (when asked) velocity of the object from a path instance, seen from the
// root instance.
void PlaceOnPath(SpaceObject* object, const InstanceRecord* node, const InstanceRecord* root, bool velocity);
// A path instance playing path p: under the root when given, else in the engine's list. Null when
// none can be had or the path does not start.
InstanceRecord* StartPathNode(CutRecord* cut, int32_t p, InstanceRecord* root);
