// The least form of the renderer's global matrices: there are none to free yet. Called by the
// scene engine's render-table cleanup.
#include "render/render_matrices.h"

void FreeRenderGlobals() {}
