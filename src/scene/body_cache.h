// The body cache: bodies loaded by id on first use and kept until a sweep frees them, binding a
// body to an instance, and the sweeps. Called by everything that draws, collides or measures an
// instance, the natives, the save writer, the low-memory handler and the engine's lifecycle.
#pragma once

#include <cstdint>

struct BodyRecord;
struct CutRecord;
struct InstanceRecord;

// Ids from 100000 up belong to cuts: always available, never freed by the idle sweep.
constexpr int32_t kFirstCutBodyId = 100000;
// Material index every face group of a global-material body's last part is given.
constexpr int32_t kLastPartMaterial = 1157;
// The memory word (megabytes) from which FreeUnusedBodies(false) keeps the bodies.
constexpr int32_t kBodyKeepMemoryMB = 1200;
constexpr int32_t kLowMemoryCounterLimit = 4;

// The cache lookup, else a load; null for a missing, malformed or empty body (its row is then
// marked missing and the file not looked for again).
BodyRecord* LoadBody(int32_t id);
// Builds or shares the meshes of the instance's body; false without a body or when they cannot
// be made.
bool InstEnsureBodyMeshes(InstanceRecord* instance);
// Gives back the instance's use of its body's meshes; false when the body is not loaded.
bool BodyReleaseMeshesById(InstanceRecord* instance);
bool IsBodyAvailable(int32_t id);
bool B3D_InstSetBody(InstanceRecord* instance, int32_t id);
bool InstSetSound(InstanceRecord* instance, int32_t sample);
void FreeEveryLoadedBody();
void FreeUnusedBodies(bool all);
void FreeBodiesNotInUse();
void J3D_FreeCut(CutRecord* cut);
void FreeAllCuts();
void ConvertAllBodies();
// The low-memory counter the sweeps keep (0..4).
int32_t BodyLowMemoryCounter();
void RaiseBodyLowMemoryCounter();
