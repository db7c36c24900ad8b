// The least form of the renderer services behind the logo screen and the low-memory hook, until
// the display and the 3D engine are built: the display has no drawing surfaces of its own, and
// there are no bodies to give back. Called by the application's logo screen and
// low-memory hook; never touches a device.
#include "render/render_logo.h"

#include "render/render.h"

DisplaySurface* DisplaySurfaceWord(const DisplayObject* display, int32_t index) {
  (void)display;
  (void)index;
  return nullptr;
}

void B3D_DumpUsedBodies(EngineState3D* engine) { (void)engine; }
