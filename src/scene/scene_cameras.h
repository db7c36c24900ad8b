// Scenes and cameras: allocation, camera membership and device viewports, the relative viewport
// and the other camera setters, screen-to-camera unprojection, the priority order, the per-pass
// draw-list sort, the end-of-frame reset, the nearest camera, near-instance collection, shake and
// the listener commit. The records are in scene/scene_records.h and scene/camera_records.h.
// Called by the natives, the frame driver and the renderer's device reset.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct CameraEntry;
struct CameraRecord;
struct InstanceRecord;
struct RenderEntry;
struct SceneRecord;

// The reason a waiting task is woken with when its camera goes.
constexpr int32_t kWakeCameraFreed = 3;

// Scenes.
SceneRecord* B3D_SceneAlloc();  // null on failure
void B3D_SceneSetName(SceneRecord* scene, const char* text);
RenderEntry* SceneRenderEntryFind(SceneRecord* scene, uint32_t key);
void SceneEndFrame(SceneRecord* scene);
// Clears the render target of every camera that has a device viewport.
void SceneCamerasRefresh();
// Distance to the nearest enabled camera; INT32_MIN when no camera is taken. With skipBehind,
// cameras facing away from the instance are passed over.
int32_t SceneNearestCameraDistance(SceneRecord* scene, InstanceRecord* instance, int32_t skipBehind);

// Camera life and membership.
CameraRecord* B3D_CameraAlloc();  // null on failure
void B3D_CameraFree(CameraRecord* camera);
void B3D_CameraAddToScene(CameraRecord* camera, SceneRecord* scene);
void B3D_CameraDeleteFromScene(SceneRecord* scene, CameraRecord* camera);
void CameraEntryFree(CameraEntry* entry);

// Camera settings. Viewport values are 16.16 fractions of the screen, clamped to 0..0xFFFF.
void CameraSetViewport(CameraRecord* camera, int32_t top, int32_t right, int32_t left, int32_t bottom);
void B3D_CameraSetFadeValue(CameraRecord* camera, int32_t value);
void B3D_CameraSetPri(CameraRecord* camera, int32_t priority);
void B3D_CameraSetFocus(CameraRecord* camera, uint32_t fieldOfView);
void B3D_CameraSetBackgroundColor(CameraRecord* camera, int32_t red, int32_t green, int32_t blue);
void B3D_CameraSetAspectRatio(CameraRecord* camera, int32_t width, int32_t height);
void B3D_CameraSetAspect(CameraRecord* camera, int32_t width, int32_t height);
// A first value below 0 switches fog off; any other switches it on.
void B3D_CameraSetFog(CameraRecord* camera, int32_t a, int32_t b, int32_t c);
// Replaces the caustic animation; 0 removes it, a negative id keeps the id without a record.
void B3D_CameraSetCausticAnim(CameraRecord* camera, int32_t id);
// A one-off random turn of the first two angles by up to `amount`; below 1 nothing happens.
void B3D_CameraShake(CameraRecord* camera, int32_t amount);

// The camera-space point under screen pixel (x, y) at `depth` (w is 0).
void CameraUnproject(const CameraRecord* camera, int32_t x, int32_t y, int32_t depth, FixedVector* out);
// qsort-style order of two CameraRecord* elements, ascending priority.
int CompareCameraPriority(const void* a, const void* b);
// Sorts the engine draw list by the nodes' keys: descending, or ascending with the camera's
// ascending flag; equal keys keep their order.
void SortDrawList(const CameraRecord* camera);

// Near-instance collection: the caller resets the count, then walks each root.
extern int32_t gCameraNearCount;
void CameraCollectNearInstances(InstanceRecord* instance, CameraRecord* camera);

// The 3D sound listener as the sound devices register it: `commit` applies the listener's
// deferred settings and answers false when that fails; it is null while there is no listener.
// `usable` starts set; the first failed listener call clears it and no call is made after.
// `resetPlacement` puts the listener's orientation, position and velocity back for a capturing
// camera and answers false when one of them fails, which clears `captureUsable` for good.
struct ListenerHooks {
  bool (*commit)();
  bool usable;
  bool (*resetPlacement)();
  bool captureUsable;
};
extern ListenerHooks gListenerHooks;
// The "AudioFlags" bit that lets the listener camera move the listener.
constexpr uint32_t kAudioListenerFollowsCamera = 0x100;
void CaptureFrameCheck(CameraRecord* camera);
void DrawCameraTint(CameraRecord* camera, uint32_t colour);
