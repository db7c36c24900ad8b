// The model builder: the tree of scene instances built from a model (a cut whose paths name, per
// node, a body, a light or a light type) under an object's instance, with the object's docking
// place rows filled from the dock port nodes met; the release of a type row's port list. The type
// loader calls the builder with a collector to gather a type's ports; object creation, missile
// launch, ship placement at dock slots and the subtype commands call it to build trees.
#pragma once

#include <cstdint>

struct UniverseBlock;
struct InstanceRecord;
struct SpaceObject;
struct DockSlotList;
struct DockSlotTable;
struct CutRecord;

// The instance's 16-bit mask (`collisionMask`): marks the universe model gives its instances.
constexpr uint16_t kModelNodeBuilt = 0x1;  // built from a model's path
constexpr uint16_t kModelRoot = 0x80;      // the root a model was built under

// The root instance of the model's tree, or null (model 0 or -1, a missing model). With a
// collector no instance is built: the collector's flag word is set to the flags of the dummies
// met and every dock port node of the model is appended to its port list, in path order.
InstanceRecord* BuildObjectModelInstances(UniverseBlock* universe, int32_t modelId, InstanceRecord* parent,
                                          SpaceObject* object, DockSlotList* collector);
// The builder without parent and object.
InstanceRecord* BuildModelInstancesFor(DockSlotList* collector, int32_t modelId);
// The node of path `row` of the model under `parent`, or null (no body, a light type of kind 0, a
// light while collecting). A dock port node is filed in the next row of `slots` that is free.
InstanceRecord* CreateModelNodeInstance(UniverseBlock* universe, InstanceRecord* parent, CutRecord* model,
                                        int32_t row, SpaceObject* object, DockSlotList* collector,
                                        DockSlotTable* slots);
// Every child of the instance built from a path of the model whose path names a parent path (its
// F value) is attached again under the instance playing that parent path.
void ReattachModelChildren(InstanceRecord* instance, const CutRecord* model);

// A new, empty dock-slot list header (null when memory runs out) and its release with every port
// it holds.
DockSlotList* NewDockSlotList();
void FreeDockSlotList(DockSlotList* list);
