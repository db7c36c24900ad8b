// Image records: the reference-counted DisplaySurface every texture, font sheet, logo and loading
// picture is held in. Making empty records with their size fields and device storage, building
// and freeing their system-memory side (update rectangles, mask buffer, mirror and row tables),
// releasing them by count, and loading picture files by name with the extension retries, the
// texture folder and the default image of a name's kind. Called by the texture table, the fonts,
// the logo screen, the loading screens and the device set-up. Never reads a file past its end
// and never writes a side table past its own size.
#pragma once

#include <cstdint>

struct DisplaySurface;

// Record flags of this unit (the rest are in display_surface.h and surface_ops.h).
constexpr uint32_t kSurfaceNoMask = 0x20;
constexpr uint32_t kSurfaceUpdateRects = 0x40;
constexpr uint32_t kSurfaceRowTable = 0x10000;
constexpr uint32_t kSurfaceDefaultImage = 0x20000;
constexpr uint32_t kSurfaceWrappedTexture = 0x4008;
constexpr uint32_t kSurfaceDxt1 = 0x40000000;

// Picture load flags for a display of `depth` bits from the picture format word: the pixel
// format bit by depth, and 0x8000000 unless the word holds 0x4000.
constexpr uint32_t kLoad16Bit = 0x100;
constexpr uint32_t kLoad24Bit = 0x200;
constexpr uint32_t kLoad32Bit = 0x2000;
constexpr uint32_t kLoadKeep = 0x4000;
constexpr uint32_t kLoadFlag8000000 = 0x8000000;
uint32_t PictureLoadFlags(uint32_t format, int32_t depth);

// An empty record of that depth and size with its device storage (none with kSurfaceNoDevice);
// its count starts at 0, so one release frees it. Null on failure.
DisplaySurface* CreateImageHandle(int32_t bits, int32_t width, int32_t height, uint32_t flags);
// The system-memory side of a record as its flags ask; false (with the side freed) on failure.
bool BuildImageHandle(DisplaySurface* record);
bool BuildSurfaceTables(DisplaySurface* record);
void FreeSurfaceTables(DisplaySurface* record);
void FreeSurfaceBuffers(DisplaySurface* record);
void SetSurfaceName(DisplaySurface* record, const char* name);
// The bytes of the record's own mask buffer (0 when the mask is the pixel buffer or none).
uint32_t MaskBufferBytes(const DisplaySurface* record);

// A picture by name with one more reference, the default image of its kind (flagged
// kSurfaceDefaultImage) when it cannot be loaded, or null. `reserved` is never read; `extra`
// is the mip-level count of the texture loads (0: the whole chain).
DisplaySurface* LoadImageFile(const char* path, uint32_t flags, int32_t reserved, int32_t extra);
DisplaySurface* LoadImageFileArgs(int32_t extra, int32_t reserved, uint32_t flags, const char* path);
// The two direct decoders; a new record (count 0) or null.
DisplaySurface* LoadTgaImage(const char* path, uint32_t flags, int32_t extra);
DisplaySurface* LoadJpgImage(const char* path, uint32_t flags, int32_t extra);

// Tests and tools without picture files may stand in the file loading (null restores it); the
// extension retries, defaults and counting still apply around it.
using ImageFileLoader = DisplaySurface* (*)(const char* name, uint32_t flags);
void SetImageFileLoader(ImageFileLoader loader);
