// The model builder's entry points that the type loader needs: the scene instances of a model
// (a cut) built under an object, and the release of a type row's dock-slot list. The loader calls
// them for every station and ship row; the object code calls the builder when it creates objects.
// Until the model builder is in place the builder builds nothing and the list stays empty.
#pragma once

#include <cstdint>

struct UniverseBlock;
struct InstanceRecord;
struct SpaceObject;
struct DockSlotList;

// The root instance of the model's tree, or null (model 0 or -1, a missing model). With a
// collector the dock slots the model defines are gathered into it.
InstanceRecord* BuildObjectModelInstances(UniverseBlock* universe, int32_t modelId, InstanceRecord* parent,
                                          SpaceObject* object, DockSlotList* collector);

// A new, empty dock-slot list header (null when memory runs out) and its release with every slot
// row it holds.
DockSlotList* NewDockSlotList();
void FreeDockSlotList(DockSlotList* list);
