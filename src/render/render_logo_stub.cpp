// The least form of the 3D engine's service behind the low-memory hook, until the engine's
// bodies are built: there are no bodies to give back. Called by the application's low-memory
// hook; never touches a device.
#include "render/render_logo.h"

#include "render/render.h"

void B3D_DumpUsedBodies(EngineState3D* engine) { (void)engine; }
