// The engine state's global pointer and the engine's screen mode. Called by start-up and the
// display change; everything else reaches the engine state through gEngine3D.
#include "scene/engine_state.h"

#include "render/display_modes.h"
#include "scene/scene.h"

EngineState3D* gEngine3D = nullptr;

namespace {

constexpr int64_t kProjectionFactor = 0x14000;  // 1.25 in 16.16

}  // namespace

void SetEngineScreenMode(const DisplayModeRecord* mode) {
  if (!gEngine3D) return;
  gEngine3D->screenMode = mode;
  // The mode's width is a 16-bit quantity.
  const int32_t width = mode ? static_cast<uint16_t>(mode->width) : 0;
  gEngine3D->halfScreenWidth = width / 2;
  gEngine3D->projectionScale = static_cast<int32_t>((gEngine3D->halfScreenWidth * kProjectionFactor + 0x8000) >> 16);
}
