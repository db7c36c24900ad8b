// The renderer services the logo screen and the low-memory hook use that the renderer's header
// does not declare yet: the table of squares, the image records (image_records.h), the
// display's own drawing surfaces and the release of unused textures (with the surface stretch of
// surface_ops.h); and
// the 3D engine's release of bodies no instance uses. Called by the application's logo screen
// and low-memory hook. They belong in render.h and scene.h once those units grow them.
#pragma once

#include <cstdint>

#include "render/image_records.h"
#include "render/surface_ops.h"
#include "render/texture_table.h"

struct DisplayObject;
struct EngineState3D;
struct DisplaySurface;

// Makes sure the table of squares (256 entries, gSquareTable) exists; false when it cannot be
// allocated. A second call finds it and allocates nothing.
bool InitSquareTable();
// The display's surface words 0 to 3 (its own drawing surfaces when it has them), or null.
DisplaySurface* DisplaySurfaceWord(const DisplayObject* display, int32_t index);
// Marks the bodies the engine's instances use and releases the other bodies' data.
void B3D_DumpUsedBodies(EngineState3D* engine);
