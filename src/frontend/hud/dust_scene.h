// The space-dust scene: particles and dust parts around the cockpit's dust camera, lit by one
// light, showing the sense of motion. Called by the INS_ dust natives and the cockpit step.
#pragma once

struct CameraRecord;
struct SceneRecord;
struct SpaceObject;

// Fills the scene with the dust particles and their light.
void InitDustScene(SceneRecord* scene);
// Shows the dust the sector's background type asks for and moves the dust camera with the
// sector camera. A sector without a background type leaves the dust scene as it is.
void UpdateDustScene(SpaceObject* sector, CameraRecord* dustCamera, CameraRecord* sectorCamera);
