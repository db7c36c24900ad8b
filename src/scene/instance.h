// Instance operations: allocation with the engine's defaults, searches, the transform setters,
// world and camera-space transforms, flag helpers and subtree walks. The record and its flag bits
// are in scene/instance_records.h. Called by the natives, scenes, jobs, takes, the frame driver
// and the universe model. The operations expect valid records except where a null is named.
#pragma once

#include <cstdint>

#include "scene/instance_records.h"

struct BodyRecord;
struct CameraRecord;
struct CutRecord;
struct SceneRecord;

// A zeroed instance under a new handle, in the engine's free instance list; null on failure.
InstanceRecord* B3D_InstAlloc();

// Searches.
InstanceRecord* B3D_InstFindByBodyID(SceneRecord* scene, int32_t bodyId, InstanceRecord* after);
InstanceRecord* InstFindByCutPath(InstanceRecord* root, const CutRecord* cut, int32_t serial);
InstanceRecord* InstFindByPathName(InstanceRecord* instance, const char* name);
InstanceRecord* InstFindByPathSerial(InstanceRecord* instance, int32_t serial);
InstanceRecord* InstFindPart(InstanceRecord* instance, const char* name);
void InstResolveLinkedParts(InstanceRecord* instance, const BodyRecord* body);
void InstFreeLinkedParts(InstanceRecord* instance);

// Transform.
void B3D_InstSetPos(InstanceRecord* instance, int32_t x, int32_t y, int32_t z);
void B3D_InstSetRot(InstanceRecord* instance, int32_t a, int32_t b, int32_t c);
void B3D_InstCopyRot(InstanceRecord* to, const InstanceRecord* from);
void B3D_InstSetScale(InstanceRecord* instance, int32_t x, int32_t y, int32_t z);
void InstSetScaleTree(InstanceRecord* instance, int32_t x, int32_t y, int32_t z);
// False, changing nothing, when the instance has children and its size is 0.
bool B3D_InstSetSize(InstanceRecord* instance, int32_t size);
int32_t B3D_InstGetTotalSize(InstanceRecord* instance);
int32_t InstNearDistance(InstanceRecord* instance);
void InstInvalidateSize(InstanceRecord* instance);
void GetInstanceAbsMatrix(const InstanceRecord* instance, FixedMatrix* out);
void GetInstanceAbsPos(const InstanceRecord* instance, FixedVector* out);
void InstUpdateWorldTree(InstanceRecord* parent);
void InstUpdateCameraCoords(InstanceRecord* instance, const InstanceRecord* camera);
void WorldToInstanceLocal(InstanceRecord* record, const InstanceRecord* instance);
void InstAlignHeading(InstanceRecord* instance);
void SceneAlignHeadings(SceneRecord* scene);
void InstInheritScene(InstanceRecord* instance);

// Flags and marks.
void InstOrFlags(InstanceRecord* instance, uint32_t bits, uint32_t bits2);  // null does nothing
void InstMarkSubtree(InstanceRecord* instance, int32_t on);
void InstClearFrameMark(InstanceRecord* instance);
void B3D_InstSetInvis(InstanceRecord* instance, int32_t on);
bool B3D_InstSetOverrideEffect(InstanceRecord* instance, int32_t mode);
void B3D_InstSetAlphaOverride(InstanceRecord* instance, int32_t value);
void B3D_InstSetAlphaOverrideRecursive(InstanceRecord* instance, int32_t value);
void InstSetFlags2Bits(InstanceRecord* instance, uint32_t bits);
void InstClearFlags2Bits(InstanceRecord* instance, uint32_t bits);
void InstSetFlagsBits(InstanceRecord* instance, uint32_t bits);
void InstSetExtraValue(InstanceRecord* instance, int32_t value);
void B3D_InstSetSizeUsed(InstanceRecord* instance, int32_t value);
void B3D_InstSetColorModifier(InstanceRecord* instance, int32_t a, int32_t b, int32_t c, int32_t d);
void InstSetColorModifierFirst(InstanceRecord* instance, int32_t value);
void InstSetColorModifierSecond(InstanceRecord* instance, int32_t value);
void InstSetColorModifierExtra(InstanceRecord* instance, int32_t value);

// Subtree walks, in pre-order (children in list order).
using InstanceFn = void (*)(InstanceRecord* instance, intptr_t arg);
void InstSubtreeApply(InstanceFn fn, InstanceRecord* instance, intptr_t arg);
InstanceRecord* InstSubtreeNext(InstanceRecord* node, const InstanceRecord* root);
void InstSubtreeCallAttached(InstanceRecord* root, int32_t arg);
void InstSubtreeCallAttachedEx(InstanceRecord* root, int32_t a, int32_t b);
// Gives the instance a texture matrix for the texture id; false when memory ran out.
bool B3D_InstSetAnimTextureCoords(InstanceRecord* instance, int32_t id, const FixedMatrix* matrix);
void InstFreeTexAnim(InstanceRecord* instance);
