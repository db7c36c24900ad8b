// The universe model's share of the frame: the per-sector instance pass, the break-away of held
// objects, the record delete, and the hook that tells a higher layer an object record is going.
// Called by the universe simulation's frame step and its deferred free.
#pragma once

#include <cstdint>

struct SpaceObject;
struct SectorObject;

// Container upkeep (docking places, gate guide lights and exits, launch holds), the video the
// sector's screens show, and the detail switches of the sector's objects.
void UpdateSectorInstances(SectorObject* sector);
// `ContainerFreeRemovedObjects` (universe.h) for every sector of the top-level list.
void FreeRemovedObjectsInSectors();
// Objects held by another follow their holder and are released when their hold time runs out.
void BreakObject(SectorObject* sector);
// Destroys the object and, with `freeRecord` non-zero, frees its record.
void UniverseRecordDelete(SpaceObject* object, int32_t freeRecord);

// Told once for every object about to be destroyed; null for none.
using ObjectDestroyHook = void (*)(SpaceObject* object);
void SetObjectDestroyHook(ObjectDestroyHook hook);
void NotifyObjectDestroyed(SpaceObject* object);
