// The space-dust scene: particles and dust parts around the cockpit's dust camera, lit by one
// light, showing the sense of motion. Called by the INS_ dust natives and the cockpit step.
// Least form until the dust scene is built (dust_scene_stub.cpp).
#pragma once

struct CameraRecord;
struct SceneRecord;
struct SpaceObject;

// Fills the scene with the dust particles and their light.
void InitDustScene(SceneRecord* scene);
// Shows the dust the sector's background asks for around the dust camera.
void UpdateDustScene(SpaceObject* sector, CameraRecord* dustCamera, CameraRecord* sectorCamera);
