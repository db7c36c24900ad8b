// The scene engine state's operations: handle lookups, the BodyData and CutData name tables, the
// draw-node, render-entry, camera-node and particle pools, icon sets, texture remaps, the screen
// mode and the start-up pass that hides shadowed body files. The records are in
// scene/engine_records.h. Called by the engine's own Parts, the natives and the start-up.
#pragma once

#include <cstdint>

#include "scene/engine_records.h"

// SetEngineScreenMode, which start-up and the display change call, is declared in scene/scene.h.
