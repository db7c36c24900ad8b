// Writing a texture's pixels from the CPU for one copy: the media streams lock a movie texture,
// write a video frame into it and unlock it. Called by the media streams only. Never unlocks a
// lock it did not take: a record someone else holds locked is refused.
#include "render/texture_lock.h"

#include "render/display_surface.h"
#include "render/surface_ops.h"

bool LockTextureTexels(DisplaySurface* image, TextureTexels* texels) {
  if (!image || !texels || (image->flags & kSurfaceLocked)) return false;
  // A record with its own buffer is written in place; any other locks its device surface.
  const bool own = (image->flags & kSurfaceOwnPixels) && image->pixels;
  if (!own && !LockSurface(image)) return false;
  if (!image->pixels) {
    if (!own) UnlockSurfacePair(image, image);
    return false;
  }
  texels->bits = image->pixels;
  texels->pitch = image->pitch;
  texels->width = image->width;
  texels->height = image->height;
  texels->bitsPerPixel = image->bitsPerPixel;
  return true;
}

void UnlockTextureTexels(DisplaySurface* image) {
  if (image) UnlockSurfacePair(image, image);
}
