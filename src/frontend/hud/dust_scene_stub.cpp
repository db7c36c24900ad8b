// The least form of the dust scene: no dust is made or moved. Called by the INS_ dust natives.
#include "frontend/hud/dust_scene.h"

void InitDustScene(SceneRecord*) {}
void UpdateDustScene(SpaceObject*, CameraRecord*, CameraRecord*) {}
