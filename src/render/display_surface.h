// Display surfaces and the display-list tree that composes them onto the screen: the
// DisplaySurface record every 2D surface, texture surface and image record is, the DisplayList a
// composing surface owns, and the update-rectangle algebra (subtract, invert, sort, merge) with
// the occlusion and flush passes. Called by the display, the screen update, the blitter, the
// image records and the game main. Pure record and rectangle work: device calls go only through
// the draw routine a list holds; nothing here allocates outside the memory manager.
#pragma once

#include <cstdint>

class GpuSurface;
class GpuBaseTexture;
struct DisplayList;
struct DisplayListHead;

// One changed area of a surface, in its own coordinates.
struct UpdateRect {
  int16_t x, y, width, height;
};

struct DisplaySurface {
  uint8_t* pixels;  // first pixel byte while locked (or the record's own buffer)
  int16_t width, height;
  int16_t bitsPerPixel;
  int16_t bytesPerPixel;
  int16_t spare;
  uint32_t flags;
  uint16_t rowBytes;
  uint16_t pitch;
  uint32_t planeBytes;
  uint32_t planeStep;
  uint8_t* maskBuffer;
  const char* name;
  GpuSurface* deviceSurface;
  GpuBaseTexture* deviceTexture;  // the texture (or cube texture) whose level 0 deviceSurface is
  int16_t updateCount;
  UpdateRect* updateRects;
  uint32_t updateBytes;
  DisplayList* displayList;
  uint16_t* mirrorX;
  uint32_t mirrorXBytes;
  uint16_t* mirrorY;
  uint32_t mirrorYBytes;
  uint32_t* rowOffsets;
  uint32_t rowOffsetBytes;
  int32_t refCount;
};

// Surface flags the display lists read.
constexpr uint32_t kSurfacePlanar = 0x1;
constexpr uint32_t kSurfaceLocked = 0x2;
constexpr uint32_t kSurfaceChunky = 0x4;
constexpr uint32_t kSurfaceSmall = 0x10;  // excluded from update tracking
constexpr uint32_t kSurface16Bit = 0x100;
constexpr uint32_t kSurface24Bit = 0x200;
constexpr uint32_t kSurfaceNoDevice = 0x1000;
constexpr uint32_t kSurface32Bit = 0x2000;
constexpr uint32_t kSurfaceOwnPixels = 0x200000;  // never locked or unlocked through the device

// A full redraw request: any count at or above the limit draws the whole visible area.
constexpr int16_t kUpdateCountInvalid = 9999;

struct PixelMarker {
  int16_t x, y;
};

// (owner surface, target surface, source x, source y, target x, target y, width, height)
using DisplayDrawRoutine = void (*)(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY,
                                    int32_t targetX, int32_t targetY, int32_t width, int32_t height);

struct DisplayList {
  DisplayList* next;
  DisplayList* prev;
  int32_t priority;
  const char* name;
  DisplayListHead* children;
  DisplayList* parent;
  DisplaySurface* owner;
  uint16_t type;
  DisplayDrawRoutine draw;
  int16_t sourceX, sourceY;
  int16_t x, y;
  int16_t width, height;
  PixelMarker* markers;
  int32_t markerCount;
};

// A child list: `first` runs to `sentinel`, the node whose next is null (its prev is the last
// node), so a walk stops at the first node without a successor.
struct DisplayListHead {
  DisplayList* first;
  DisplayList sentinel;
};

constexpr uint16_t kDisplayListScreen = 5;
constexpr uint16_t kDisplayListChild = 1;
constexpr uint16_t kDisplayListClear = 9;
constexpr int32_t kDisplayListPriority = 10;
constexpr int32_t kScreenListPriority = -128;

// The limits: the product record's flag word (4 runs the merge pass, 8 keeps pixel markers) and
// sizes. Read from gSystem->product; these defaults hold without one.
constexpr uint32_t kDisplayMerge = 0x4;
constexpr uint32_t kDisplayMarkers = 0x8;
struct DisplayListLimits {
  uint32_t flags;
  int16_t maxRects;
  int16_t maxMarkers;
};
DisplayListLimits GetDisplayListLimits();

// Gives `surface` a list at (x, 0) of that size inside `parent` (none: a top-level list).
DisplayList* DisplayListCreate(DisplaySurface* surface, DisplayList* parent, int32_t x, int32_t width, int32_t height);
void DisplayListFree(DisplaySurface* surface);

void SubtractUpdateRect(DisplaySurface* surface, int32_t x, int32_t y, int32_t width, int32_t height, bool recurse);
void InvertUpdateRects(DisplaySurface* surface);
void SortUpdateRects(DisplaySurface* surface);
void MergeUpdateRects(DisplaySurface* surface);
// The occlusion pass over one sibling list (from its first node) and its children.
void OccludeDisplayLists(DisplayList* first);
// Clips and draws one sibling list and its children to the top surface of the tree.
void FlushDisplayList(DisplayList* first, int32_t offsetX, int32_t offsetY);
// Marks every child surface of the display's video list for a full redraw.
void InvalidateDisplayLists();
// The draw routine of lists whose surface has no device surface: clears instead of copying.
void DisplayClearRoutine(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY,
                         int32_t targetX, int32_t targetY, int32_t width, int32_t height);
// The two scratch rectangle arrays are kept between calls; this gives them back.
void FreeDisplayListScratch();
