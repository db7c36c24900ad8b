// The least form of the model builder the type loader needs: dock-slot list headers that are
// created and freed, and a builder that builds no instance and gathers no slot. Called by the
// type loader; never touches the scene.
#include "universe/model_instances.h"

#include "core/memory.h"
#include "universe/object_classes.h"

InstanceRecord* BuildObjectModelInstances(UniverseBlock*, int32_t, InstanceRecord*, SpaceObject*, DockSlotList*) {
  return nullptr;
}

DockSlotList* NewDockSlotList() {
  auto* list = static_cast<DockSlotList*>(MemAlloc(sizeof(DockSlotList), MemCategoryFlags(kMemCatUniverse)));
  if (list) ListInit(&list->slots);
  return list;
}

void FreeDockSlotList(DockSlotList* list) {
  if (list) MemFree(list, sizeof(DockSlotList), MemCategoryFlags(kMemCatUniverse));
}
