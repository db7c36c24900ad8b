// Instance allocation, searches, flag helpers and subtree walks. Called by the natives, scenes,
// jobs, takes and the frame driver. Walks that may change a list read the successor first; no
// walk allocates.
#include "scene/instance.h"

#include "core/memory.h"
#include "core/system_block.h"
#include "render/texture_animation.h"
#include "scene/body_records.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/scene_records.h"

namespace {

constexpr int32_t kOverrideEffectNone = 0;

// The path record the instance plays, or null.
const PathRecord* PlayedPath(const InstanceRecord* instance) {
  if (!gEngine3D || instance->cutHandle == 0) return nullptr;
  const auto* cut = reinterpret_cast<const CutRecord*>(HashGet(gEngine3D->cutTable, instance->cutHandle));
  if (!cut || !cut->paths || instance->pathNumber < 0 || instance->pathNumber >= cut->pathCount) return nullptr;
  return &cut->paths[instance->pathNumber];
}

// Depth first, children in list order, the start itself not tested.
template <typename Match>
InstanceRecord* FindDescendant(InstanceRecord* start, Match match) {
  for (InstanceRecord* child = InstFirstChild(start); child; child = InstNextSibling(child)) {
    if (match(child)) return child;
    if (InstanceRecord* found = FindDescendant(child, match)) return found;
  }
  return nullptr;
}

// The same search over the start and its subtree.
template <typename Match>
InstanceRecord* FindInSubtree(InstanceRecord* start, Match match) {
  return match(start) ? start : FindDescendant(start, match);
}

template <typename Fn>
void ForSubtree(InstanceRecord* instance, Fn fn) {
  fn(instance);
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) ForSubtree(child, fn);
}

int32_t OverrideEffectOfMode(int32_t mode) {
  switch (mode) {
    case 1:
      return -4;
    case 2:
      return -3;
    case 3:
      return -2;
    case 4:
      return -1;
    case 8:
      return -6;
    default:
      return kOverrideEffectNone;
  }
}

}  // namespace

InstanceRecord* B3D_InstAlloc() {
  if (!gEngine3D) return nullptr;
  auto* instance = EngineAllocRecord<InstanceRecord>();
  if (!instance) return nullptr;
  instance->handle = HashInsertNewKey(gEngine3D->handleTable, reinterpret_cast<HashValue>(instance));
  if (instance->handle == 0) {
    EngineFree(instance, sizeof(InstanceRecord));
    return nullptr;
  }
  ListInit(&instance->children);
  instance->flags &= ~kInstLight;
  instance->bodyId = -1;
  instance->flags2 = 0;
  instance->soundSample = -1;
  instance->soundChannel = -1;
  instance->subtreeSize = -1;
  MatrixFromAngles(&instance->matrix, 0, 0, 0);
  instance->scale = FixedVector{kFixedOne, kFixedOne, kFixedOne, 0};
  instance->colorModifier[0] = 0;
  instance->colorModifier[1] = instance->colorModifier[2] = instance->colorModifier[3] = kFixedOne;
  instance->worldMatrix = instance->matrix;
  ListAddTail(&gEngine3D->instances, &instance->node);
  return instance;
}

// ---------------------------------------------------------------------------------------------
// Searches.

InstanceRecord* B3D_InstFindByBodyID(SceneRecord* scene, int32_t bodyId, InstanceRecord* after) {
  if (!scene) return nullptr;
  ListNode* node =
      after && after->scene == scene && !after->parent ? ListNext(&after->node) : ListFirst(&scene->members);
  for (; node; node = ListNext(node)) {
    if (InstanceOfNode(node)->bodyId == bodyId) return InstanceOfNode(node);
  }
  return nullptr;
}

InstanceRecord* InstFindByCutPath(InstanceRecord* root, const CutRecord* cut, int32_t serial) {
  if (!root || !cut) return nullptr;
  return FindDescendant(root, [cut, serial](const InstanceRecord* i) {
    const PathRecord* path = i->cutHandle == cut->handle ? PlayedPath(i) : nullptr;
    return path && path->serial == serial;
  });
}

InstanceRecord* InstFindByPathName(InstanceRecord* instance, const char* name) {
  if (!instance || !name) return nullptr;
  return FindInSubtree(instance, [name](const InstanceRecord* i) {
    const PathRecord* path = PlayedPath(i);
    return path && path->name && TextEqualsIgnoringCase(path->name, name);
  });
}

InstanceRecord* InstFindByPathSerial(InstanceRecord* instance, int32_t serial) {
  if (!instance) return nullptr;
  return FindInSubtree(instance, [serial](const InstanceRecord* i) {
    const PathRecord* path = PlayedPath(i);
    return path && path->serial == serial;
  });
}

InstanceRecord* InstFindPart(InstanceRecord* instance, const char* name) {
  if (!instance) return nullptr;
  ListHead* list = instance->parent  ? &instance->parent->children
                   : instance->scene ? &instance->scene->members
                                     : nullptr;
  if (!list) return nullptr;
  for (ListNode* node = ListFirst(list); node; node = ListNext(node)) {
    if (InstanceRecord* found = InstFindByPathName(InstanceOfNode(node), name)) return found;
  }
  return nullptr;
}

void InstResolveLinkedParts(InstanceRecord* instance, const BodyRecord* body) {
  if (!(instance->flags2 & kInst2HasLinkedParts) || !body || body->meshCount < 1 || !body->meshes || !body->meshes[0])
    return;
  const BodyMesh* mesh = body->meshes[0];
  InstFreeLinkedParts(instance);
  if (mesh->boneCount <= 0 || !mesh->boneNames) return;
  const auto bytes = static_cast<uint32_t>(mesh->boneCount) * 4;
  instance->linkedParts =
      static_cast<InstanceRecord**>(EngineAlloc(sizeof(InstanceRecord*) * static_cast<size_t>(mesh->boneCount), bytes));
  if (!instance->linkedParts) return;
  instance->linkedPartCount = mesh->boneCount;
  const bool keepVisible = gSystem && gSystem->keepLinkedPartsVisible;
  for (int32_t i = 0; i < mesh->boneCount; ++i) {
    InstanceRecord* part = mesh->boneNames[i] ? InstFindPart(instance, mesh->boneNames[i]) : nullptr;
    instance->linkedParts[i] = part;
    if (part && !keepVisible) part->flags |= kInstInvisible;
  }
}

void InstFreeLinkedParts(InstanceRecord* instance) {
  if (!(instance->flags2 & kInst2HasLinkedParts)) return;
  EngineFree(instance->linkedParts, static_cast<uint32_t>(instance->linkedPartCount) * 4);
  instance->linkedParts = nullptr;
  instance->linkedPartCount = 0;
}

// ---------------------------------------------------------------------------------------------
// Flags and marks.

void InstOrFlags(InstanceRecord* instance, uint32_t bits, uint32_t bits2) {
  if (!instance) return;
  ForSubtree(instance, [bits, bits2](InstanceRecord* i) {
    i->flags |= bits;
    i->flags2 |= bits2;
  });
}

void InstMarkSubtree(InstanceRecord* instance, int32_t on) {
  ForSubtree(instance, [on](InstanceRecord* i) {
    if (on) i->flags &= ~kInstSubtreeOff;
    else i->flags |= kInstSubtreeOff;
  });
}

void InstClearFrameMark(InstanceRecord* instance) {
  // A replay shows the recorded marks.
  if (gEngine3D && (gEngine3D->engineFlags & kEngineReplaying)) return;
  ForSubtree(instance, [](InstanceRecord* i) { i->flags &= ~kInstFrameMark; });
}

void B3D_InstSetInvis(InstanceRecord* instance, int32_t on) {
  auto apply = [on](InstanceRecord* i) {
    if (on) i->flags |= kInstInvisible;
    else i->flags &= ~kInstInvisible;
  };
  apply(instance);
  for (InstanceRecord* child = InstFirstChild(instance); child; child = InstNextSibling(child)) apply(child);
}

bool B3D_InstSetOverrideEffect(InstanceRecord* instance, int32_t mode) {
  const int32_t code = OverrideEffectOfMode(mode);
  ForSubtree(instance, [code](InstanceRecord* i) {
    i->overrideEffect = code;
    i->alphaOverride = 0;
  });
  return true;
}

void B3D_InstSetAlphaOverride(InstanceRecord* instance, int32_t value) { instance->alphaOverride = value; }

void B3D_InstSetAlphaOverrideRecursive(InstanceRecord* instance, int32_t value) {
  InstSubtreeApply([](InstanceRecord* i, intptr_t v) { B3D_InstSetAlphaOverride(i, static_cast<int32_t>(v)); },
                   instance, value);
}

void InstSetFlags2Bits(InstanceRecord* instance, uint32_t bits) { instance->flags2 |= bits; }
void InstClearFlags2Bits(InstanceRecord* instance, uint32_t bits) { instance->flags2 &= ~bits; }
void InstSetFlagsBits(InstanceRecord* instance, uint32_t bits) { instance->flags |= bits; }

void InstSetExtraValue(InstanceRecord* instance, int32_t value) {
  instance->flags |= kInstExtraValueSet;
  instance->extraValue = value;
}

void B3D_InstSetSizeUsed(InstanceRecord* instance, int32_t value) {
  if (value < 0) return;
  instance->flags |= kInstSizeUsed;
  instance->sizeUsed = value;
}

void B3D_InstSetColorModifier(InstanceRecord* instance, int32_t a, int32_t b, int32_t c, int32_t d) {
  instance->colorModifier[0] = a;
  instance->colorModifier[1] = b;
  instance->colorModifier[2] = c;
  instance->colorModifier[3] = d;
}

void InstSetColorModifierFirst(InstanceRecord* instance, int32_t value) { instance->colorModifier[0] = value; }
void InstSetColorModifierSecond(InstanceRecord* instance, int32_t value) { instance->colorModifier[1] = value; }
void InstSetColorModifierExtra(InstanceRecord* instance, int32_t value) { instance->colorModifierExtra[0] = value; }

// ---------------------------------------------------------------------------------------------
// Subtree walks.

void InstSubtreeApply(InstanceFn fn, InstanceRecord* instance, intptr_t arg) {
  ForSubtree(instance, [fn, arg](InstanceRecord* i) { fn(i, arg); });
}

InstanceRecord* InstSubtreeNext(InstanceRecord* node, const InstanceRecord* root) {
  if (!node) return nullptr;
  if (InstanceRecord* child = InstFirstChild(node)) return child;
  for (InstanceRecord* at = node; at && at != root; at = at->parent) {
    InstanceRecord* sibling = InstNextSibling(at);
    if (sibling && sibling->parent == at->parent) return sibling;
  }
  return nullptr;
}

void InstSubtreeCallAttached(InstanceRecord* root, int32_t arg) {
  for (InstanceRecord* i = root; i; i = InstSubtreeNext(i, root)) {
    if (i->texAnimCount > 0 && i->texAnims) InstTexAnimRecompute(i->texAnimCount, i->texAnims, arg);
  }
}

void InstSubtreeCallAttachedEx(InstanceRecord* root, int32_t a, int32_t b) {
  for (InstanceRecord* i = root; i; i = InstSubtreeNext(i, root)) {
    if (i->texAnimCount > 0 && i->texAnims) InstTexAnimRebase(i->texAnimCount, i->texAnims, a, b);
  }
}

bool B3D_InstSetAnimTextureCoords(InstanceRecord* instance, int32_t id, const FixedMatrix* matrix) {
  if (!instance->texAnims) {
    const int32_t anim = static_cast<int32_t>(0u - static_cast<uint32_t>(id));
    TexAnimState* state = TexAnimCreateRecords(1, &anim, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!state) return false;
    state->anim = anim;
    state->flags = kTexAnimImmediate;
    instance->flags2 |= kInst2HasTexAnim;
    instance->texAnimCount = 1;
    instance->texAnims = state;
  }
  // The transform's last row has three words, so the matrix's last fourth word stays out.
  UvTransform& uv = instance->texAnims[0].uv;
  for (int c = 0; c < 4; ++c) {
    uv.row0[c] = matrix->m[0][c];
    uv.row1[c] = matrix->m[1][c];
  }
  for (int c = 0; c < 3; ++c) uv.row2[c] = matrix->m[2][c];
  return true;
}

void InstFreeTexAnim(InstanceRecord* instance) {
  TexAnimFreeRecords(instance->texAnimCount, instance->texAnims);
  instance->texAnimCount = 0;
  instance->texAnims = nullptr;
}
