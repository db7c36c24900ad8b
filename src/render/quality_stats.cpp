// The quality statistics line. Called by the frame driver once per frame; appends to the status
// text bounded and terminated, never over the frame statistics.
#include "render/quality_stats.h"

#include <cstdio>

#include "core/system_block.h"
#include "platform/gpu.h"
#include "platform/gpu_constants.h"
#include "render/d3d_context.h"
#include "render/render.h"
#include "render/screen_update.h"

int32_t gParticlesDrawn = 0;
int32_t gTextureSwaps = 0;
int32_t gTextureLoads = 0;
int32_t gCollisionModelBytes = 0;

bool FormatAqcStats() {
  GpuDevice* device = (gDirect3D && gDirect3D->device) ? gDirect3D->device->device : nullptr;
  if (!device || GpuFailed(device->EndScene())) return false;
  if (gSystem && (gSystem->screenModeFlags & kScreenAqcStats)) {
    char line[256];
    std::snprintf(line, sizeof line, "AQC: %d, prts: %03d,tswaps: %03d,tloads: %03d, Rapid: %04d KB",
                  static_cast<int32_t>(gSystem->qualityLevel), gParticlesDrawn, gTextureSwaps, gTextureLoads,
                  gCollisionModelBytes / 1024);
    AppendStatusText(line);
    gParticlesDrawn = gTextureSwaps = gTextureLoads = 0;
  }
  return true;
}
