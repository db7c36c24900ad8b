// The least form of the renderer services behind the logo screen and the low-memory hook, until
// the renderer and the 3D engine are built: image handles are counted records of their size, no
// picture file loads, a stretch draws nothing, the display has no drawing surfaces of its own,
// and there are no bodies to give back. Called by the application's logo screen and
// low-memory hook; never touches a device.
#include "render/render_logo.h"

#include "core/memory.h"
#include "render/render.h"

ImageRecord* CreateImageHandle(int32_t width, int32_t height, int32_t depth, uint32_t usage) {
  (void)usage;
  // A record of no area can hold no picture; the real renderer refuses it as well.
  if (width <= 0 || height <= 0 || depth <= 0) return nullptr;
  // Counted, as the release (ReleaseImageHandle) counts the free.
  auto* image = static_cast<ImageRecord*>(MemAlloc(sizeof(ImageRecord), 0));
  if (!image) return nullptr;
  *image = ImageRecord{};
  image->width = static_cast<int16_t>(width);
  image->height = static_cast<int16_t>(height);
  image->depth = static_cast<int16_t>(depth);
  image->refCount = 1;
  return image;
}

static ImageFileLoader gImageFileLoader = nullptr;

void SetImageFileLoader(ImageFileLoader loader) { gImageFileLoader = loader; }

ImageRecord* LoadImageFile(const char* name, uint32_t flags, int32_t reserved, int32_t count) {
  (void)reserved;
  (void)count;
  return gImageFileLoader && name ? gImageFileLoader(name, flags) : nullptr;
}

void StretchSurface(ImageRecord* target, ImageRecord* image) {
  (void)target;
  (void)image;
}

ImageRecord* DisplaySurface(const DisplayObject* display, int32_t index) {
  (void)display;
  (void)index;
  return nullptr;
}

void B3D_DumpUsedBodies(EngineState3D* engine) { (void)engine; }
