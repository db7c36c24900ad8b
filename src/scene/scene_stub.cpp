// The least form of the collision fit buffers' release until they exist. Called by the shutdown.
#include "scene/scene.h"


void FreeCollisionFitBuffers() {}
