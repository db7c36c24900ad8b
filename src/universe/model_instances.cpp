// The model builder (see model_instances.h and object_models.h): a model's paths become instances
// (bodies, point lights, light-type lights) under a root, dock port nodes are filed in the
// object's docking-place rows, gun dummies get their gun parts, animated nodes loop from a random
// frame. Called by the type loader, object creation, ship placement and the subtype command.
// Every path index, row index and port list is checked against what the model or table holds;
// the builder never creates or frees an object.
#include "universe/model_instances.h"

#include <cstring>

#include "core/memory.h"
#include "scene/cut_files.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/body_cache.h"
#include "scene/takes_jobs.h"
#include "universe/dock_ports.h"
#include "universe/object_classes.h"
#include "universe/object_models.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

constexpr int32_t kNoBody = -1;
constexpr int32_t kPointLightBody = -2;
constexpr int32_t kLightTypeFirst = 1000;
constexpr int32_t kLightTypeLast = 1999;
constexpr int32_t kModelLightRange = 300000;
constexpr uint32_t kModelLightValues[3] = {0x10000, 0, 0x80000};  // 1.0, 0, 8.0
constexpr int kDummyKindAnimated = 0;
constexpr uint32_t kDummyShipGroupBits = 0xFFFF;  // an animated dummy with any of them is a dock port
constexpr int32_t kMinAnimatedFrames = 3;

uint32_t Memory() { return MemCategoryFlags(kMemCatUniverse); }

DockSlotTable** SlotTableField(SpaceObject* object) {
  if (!object || !object->ext) return nullptr;
  switch (object->objClass) {
    case kClassDock:
    case kClassFactory: return &static_cast<DockExt*>(object->ext)->dockSlots;
    case kClassShip: return &static_cast<ShipExt*>(object->ext)->dockSlots;
    default: return nullptr;
  }
}

// The docking-place rows of the object, made once from its type's port list. A later build keeps
// the rows and their reservations but files its port nodes afresh: the earlier tree's ports are
// gone with it, and the rows must not keep pointing at them.
DockSlotTable* PrepareSlotRows(SpaceObject* object) {
  DockSlotTable** field = SlotTableField(object);
  if (!field) return nullptr;
  if (DockSlotTable* table = *field) {
    for (int32_t i = 0; i < table->capacity && table->rows; ++i) {
      std::memset(table->rows[i].entries, 0, sizeof table->rows[i].entries);
      table->rows[i].entryCount = 0;
    }
    table->count = 0;
    return table;
  }
  const DockSlotList* list = GetTypeDockSlotList(object->objClass, object->subtype);
  const int32_t ports = DockPortCount(list);
  if (ports <= 0) return nullptr;
  auto* table = static_cast<DockSlotTable*>(MemCalloc(sizeof(DockSlotTable)));
  if (!table) return nullptr;
  table->rows = static_cast<DockSlotRow*>(MemCalloc(sizeof(DockSlotRow) * static_cast<size_t>(ports)));
  if (!table->rows) {
    MemFreeIfSet(table);
    return nullptr;
  }
  table->typeList = list;
  table->capacity = ports;
  for (int32_t i = 0; i < ports; ++i) {
    table->rows[i].slot = i;
    table->rows[i].port = DockPortOfList(list, i);
  }
  *field = table;
  return table;
}

// A port goes to the row the running count names, and the count grows by one. A model with more
// port nodes than its type has ports, or a row already holding a full port list, records no more.
void FilePort(DockSlotTable* table, InstanceRecord* port) {
  if (!table || !table->rows || table->count < 0 || table->count >= table->capacity) return;
  DockSlotRow& row = table->rows[table->count++];
  if (row.entryCount < 0) row.entryCount = 0;
  if (row.entryCount >= kDockPortEntryCapacity) return;
  row.entries[row.entryCount++] = port;
}

bool IsDockPortDummy(const DummyRow* dummy, int32_t kind) {
  return dummy && kind == kDummyKindAnimated && (dummy->flags & kDummyShipGroupBits) != 0;
}

void AppendPortType(DockSlotList* collector, const DummyRow* dummy) {
  auto* port = static_cast<DockPortType*>(MemCalloc(sizeof(DockPortType)));
  if (!port) return;
  port->flags = dummy->flags;
  port->animFlags = dummy->flags & kDummyShipGroupBits;
  for (int m = 0; m < kDockReserveModeCount; ++m) port->ranges[m] = dummy->segment[m];
  ListAddTail(&collector->slots, &port->node);
}

bool PathIsAnimated(const PathRecord& path) {
  return path.positions.count > 1 || path.rotations.count > 1 || path.targets.count > 1 || path.rolls.count > 1 ||
         path.colors.count > 1 || path.fieldsOfView.count > 1;
}

void Attach(InstanceRecord* node, InstanceRecord* parent, CutRecord* model, int32_t row) {
  if (parent) B3D_InstAddToInst(node, parent);
  StartInstancePath(node, model, row);
  node->nodeId = row;
  node->collisionMask |= kModelNodeBuilt;
}

InstanceRecord* NewModelLight(InstanceRecord* parent, CutRecord* model, int32_t row, int32_t range) {
  InstanceRecord* light = B3D_LightAlloc();
  if (!light) return nullptr;
  B3D_LightSetRange(light, range);
  for (int i = 0; i < 3; ++i) light->words31[i] = kModelLightValues[i];
  Attach(light, parent, model, row);
  return light;
}

InstanceRecord* LightOfType(InstanceRecord* parent, CutRecord* model, int32_t row, int32_t body) {
  if (!gEngine3D) return nullptr;
  const int32_t type = body - kLightTypeFirst;
  const LightTypeRecord& t = gEngine3D->lightTypes[type];
  if (t.kind == 0) return nullptr;
  InstanceRecord* light = NewModelLight(parent, model, row, t.words[0] > 0 ? t.words[0] : kModelLightRange);
  if (!light) return nullptr;
  B3D_LightSetColor(light, t.red, t.green, t.blue);
  B3D_LightSetParameters(light, type);
  return light;
}

// The gun parts of a gun dummy: the paths of the dummy's own cut, one level deep, under the node.
void BuildDummyParts(InstanceRecord* node, const DummyRow* dummy, int32_t kind) {
  if (kind != kDummyKindGun) return;
  CutRecord* cut = J3D_LoadCut(dummy->cut[0]);
  if (!cut || !cut->paths) return;
  for (int32_t q = 0; q < cut->pathCount; ++q) {
    const auto body = static_cast<int32_t>(cut->paths[q].lookupWord);
    if (body < 0) continue;
    InstanceRecord* part = B3D_InstAlloc();
    if (!part) return;
    B3D_InstSetBody(part, body);
    Attach(part, node, cut, q);
  }
}

void ApplyIdListFlagsToTree(InstanceRecord* root) {
  for (InstanceRecord* i = root; i; i = InstSubtreeNext(i, root)) NodeApplyIdListFlags(i);
}

// The type loader's walk: the dummies the model's bodies name, without building anything.
void CollectPorts(CutRecord* model, DockSlotList* collector) {
  collector->flags = 0;
  for (int32_t p = 0; p < model->pathCount; ++p) {
    const auto body = static_cast<int32_t>(model->paths[p].lookupWord);
    if (body < 0 || (body >= kLightTypeFirst && body <= kLightTypeLast)) continue;
    int32_t kind = -1;
    const DummyRow* dummy = FindIdTableRow(body, -1, &kind);
    if (!dummy) continue;
    collector->flags |= dummy->flags;
    if (IsDockPortDummy(dummy, kind)) AppendPortType(collector, dummy);
  }
}

}  // namespace

InstanceRecord* CreateModelNodeInstance(UniverseBlock*, InstanceRecord* parent, CutRecord* model, int32_t row,
                                        SpaceObject*, DockSlotList* collector, DockSlotTable* slots) {
  if (!model || !model->paths || row < 0 || row >= model->pathCount) return nullptr;
  const auto body = static_cast<int32_t>(model->paths[row].lookupWord);
  if (body == kPointLightBody) {
    if (collector) return nullptr;
    InstanceRecord* light = NewModelLight(parent, model, row, kModelLightRange);
    if (light) light->flags |= kInstPointLight;
    return light;
  }
  if (body >= kLightTypeFirst && body <= kLightTypeLast) {
    return collector ? nullptr : LightOfType(parent, model, row, body);
  }
  if (body < 0) return nullptr;
  InstanceRecord* node = B3D_InstAlloc();
  if (!node) return nullptr;
  B3D_InstSetBody(node, body);
  Attach(node, parent, model, row);
  int32_t kind = -1;
  if (const DummyRow* dummy = FindIdTableRow(body, -1, &kind)) {
    if (IsDockPortDummy(dummy, kind)) FilePort(slots, node);
    BuildDummyParts(node, dummy, kind);
  }
  return node;
}

InstanceRecord* BuildObjectModelInstances(UniverseBlock* universe, int32_t modelId, InstanceRecord* parent,
                                          SpaceObject* object, DockSlotList* collector) {
  if (modelId == 0 || modelId == -1) return nullptr;
  CutRecord* model = J3D_LoadCut(modelId);
  if (!model || !model->paths) return nullptr;
  if (collector) {
    CollectPorts(model, collector);
    return nullptr;
  }
  DockSlotTable* slots = PrepareSlotRows(object);
  InstanceRecord* root = parent ? parent : B3D_InstAlloc();
  if (!root) return nullptr;
  root->collisionMask |= kModelRoot;
  const int32_t parentBody = root->bodyId;
  for (int32_t p = 0; p < model->pathCount; ++p) {
    PathRecord& path = model->paths[p];
    const auto body = static_cast<int32_t>(path.lookupWord);
    if (body == kNoBody) continue;
    if (body == parentBody) {
      // The path that plays the object's own body is where the model's origin lies.
      if (path.positions.count > 0 && path.positions.keys) {
        const FixedVector& at = path.positions.keys[0].position;
        model->originPosition = {-at.x, -at.y, -at.z, 0};
      }
      if (!(model->originFlags & kCutOriginGiven)) {
        MatrixSetIdentity(&model->originRotation);
        model->originFlags |= kCutOriginGiven;
      }
      continue;
    }
    InstanceRecord* node = CreateModelNodeInstance(universe, root, model, p, object, nullptr, slots);
    if (!node || !PathIsAnimated(path)) continue;
    const int32_t frames = node->rangeEnd - node->rangeStart;
    if (frames < kMinAnimatedFrames) continue;
    node->jobFlags |= kJobLoops;
    // Many copies of one model should not move in step.
    if (!(object && (object->flags2 & kObjFlag2Special))) node->jobStart -= RandomBelow(frames - 1);
  }
  ApplyIdListFlagsToTree(root);
  return root;
}

InstanceRecord* BuildModelInstancesFor(DockSlotList* collector, int32_t modelId) {
  return BuildObjectModelInstances(gUniverse, modelId, nullptr, nullptr, collector);
}

void ReattachModelChildren(InstanceRecord* instance, const CutRecord* model) {
  if (!instance || !model || !model->paths) return;
  InstanceRecord* child = InstFirstChild(instance);
  while (child) {
    InstanceRecord* next = InstNextSibling(child);
    const int32_t p = child->pathNumber;
    if (child->cutHandle == model->handle && p >= 0 && p < model->pathCount) {
      const auto f = static_cast<int32_t>(model->paths[p].loaderWord);
      InstanceRecord* to = f >= 0 ? InstFindByCutPath(instance, model, f) : nullptr;
      if (to && to != child) B3D_InstAddToInst(child, to);
    }
    child = next;
  }
}

void RebuildObjectModelInstances(SpaceObject* object) {
  if (!object) return;
  if (!BuildObjectModelInstances(gUniverse, static_cast<int32_t>(object->componentCut), object->instance, object,
                                 nullptr)) {
    object->componentCut = 0;
  }
  if ((object->flags & kObjFlagContainer) && object->ext &&
      (object->objClass == kClassDock || object->objClass == kClassFactory)) {
    static_cast<DockExt*>(object->ext)->words[kFactoryStationStateWord] = kFactoryStationStateNew;
  }
}

void SetObjectSubType(SpaceObject* object) {
  if (!object || object->objClass == kClassSector || object->objClass == kClassCamera ||
      object->objClass == kClass21) {
    return;
  }
  InstanceRecord* instance = object->instance;
  if (instance) {
    while (InstanceRecord* child = InstFirstChild(instance)) FreeInstance(child);
  } else {
    if (!(instance = B3D_InstAlloc())) return;
    object->instance = object->shownInstance = instance;
  }
  B3D_InstSetBody(instance, ObjGetTypeBodyId(object));
  const int32_t model = GetTypeLookupId(object->subtype, object->objClass);
  if (model > 0) {
    object->componentCut = static_cast<uint32_t>(model);
    RebuildObjectModelInstances(object);
  }
}

DockSlotList* NewDockSlotList() {
  auto* list = static_cast<DockSlotList*>(MemAlloc(sizeof(DockSlotList), Memory()));
  if (!list) return nullptr;
  std::memset(static_cast<void*>(list), 0, sizeof *list);
  ListInit(&list->slots);
  return list;
}

void FreeDockSlotList(DockSlotList* list) {
  if (!list) return;
  while (ListNode* node = ListFirst(&list->slots)) {
    ListRemove(node);
    MemFreeIfSet(ListRecord<DockPortType>(node));
  }
  MemFree(list, sizeof(DockSlotList), Memory());
}
