// The least form of the blitter's block copy until the blitter is built: locks both surfaces,
// copies the rows of a block that lies inside both (width x bytes per pixel each) and unlocks.
// Called by the display lists; writes nothing outside either surface.
#include <cstring>

#include "render/blitter.h"
#include "render/display_surface.h"
#include "render/surface_ops.h"

void BlitBlockTo(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY, int32_t targetX,
                 int32_t targetY, int32_t width, int32_t height) {
  if (!source || !target || width < 1 || height < 1 || sourceX < 0 || sourceY < 0 || targetX < 0 || targetY < 0 ||
      sourceX + width > source->width || sourceY + height > source->height || targetX + width > target->width ||
      targetY + height > target->height || source->bytesPerPixel != target->bytesPerPixel ||
      source->bytesPerPixel < 1)
    return;
  const bool sourceLocked = source->pixels != nullptr, targetLocked = target->pixels != nullptr;
  if (!LockSurfacePair(target, source) || !source->pixels || !target->pixels) {
    UnlockSurfacePair(targetLocked ? nullptr : target, sourceLocked ? nullptr : source);
    return;
  }
  const size_t bpp = static_cast<size_t>(source->bytesPerPixel);
  for (int32_t y = 0; y < height; ++y)
    std::memmove(SurfacePixelRow(target, targetY + y) + targetX * bpp, SurfacePixelRow(source, sourceY + y) + sourceX * bpp,
                 static_cast<size_t>(width) * bpp);
  UnlockSurfacePair(targetLocked ? nullptr : target, sourceLocked ? nullptr : source);
}
