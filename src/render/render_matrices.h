// The renderer's global matrices and viewports. Least form until they are built
// (render_matrices_stub.cpp): the release the engine's render-table cleanup calls.
#pragma once

// Frees the renderer's global matrices and targets; called at device reset and shutdown.
void FreeRenderGlobals();
