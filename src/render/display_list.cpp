// The display-list tree and its update rectangles: creating and freeing lists, the rectangle
// algebra (subtraction by the side cut table, inversion, sorting, merging), the occlusion pass
// that lets later siblings and children cover earlier surfaces, and the flush that draws what is
// left through each list's draw routine. Called by the display, the screen update, the image
// records and the game main. Touches the device only in the clear routine; every allocation goes
// through the memory manager.
#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/gpu.h"
#include "render/blitter.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/render.h"
#include "render/screen_update.h"
#include "render/surface_ops.h"

namespace {

constexpr DisplayListLimits kDefaultLimits = {kDisplayMerge | kDisplayMarkers, 100, 400};
constexpr int16_t kDeletedSize = -2;

// The two scratch arrays: one for subtraction, sorting and merging, one for the inversion.
struct Scratch {
  UpdateRect* rects;
  uint32_t bytes;
};
Scratch gScratch[2] = {};
constexpr int kSubtractScratch = 0;
constexpr int kInvertScratch = 1;

uint32_t RectBytes(int16_t maxRects) { return (static_cast<uint32_t>(maxRects) + 1) * sizeof(UpdateRect); }

// The scratch array for maxRects + 1 rectangles, zero-filled on first use and kept; null when it
// cannot be allocated.
UpdateRect* GetScratch(int which, int16_t maxRects) {
  Scratch& s = gScratch[which];
  const uint32_t bytes = RectBytes(maxRects);
  if (s.rects && s.bytes != bytes) {
    MemFree(s.rects, s.bytes, 0);
    s.rects = nullptr;
  }
  if (!s.rects) {
    s.rects = static_cast<UpdateRect*>(MemAlloc(bytes, 0));
    if (!s.rects) return nullptr;
    std::memset(s.rects, 0, bytes);
    s.bytes = bytes;
  }
  return s.rects;
}

// Makes the scratch array the surface's array. The old array becomes the next scratch array when
// both have the same size; otherwise the result is copied into the surface's own array, so its
// byte accounting never changes, and a result it cannot hold becomes a full redraw rather than a
// lost update.
void TakeScratch(DisplaySurface* surface, int which, int32_t count) {
  Scratch& s = gScratch[which];
  if (surface->updateBytes == s.bytes) {
    std::swap(surface->updateRects, s.rects);
  } else {
    const int32_t room = static_cast<int32_t>(surface->updateBytes / sizeof(UpdateRect));
    if (count > room) {
      surface->updateCount = kUpdateCountInvalid;
      return;
    }
    std::memcpy(surface->updateRects, s.rects, static_cast<size_t>(count) * sizeof(UpdateRect));
  }
  surface->updateCount = static_cast<int16_t>(count);
}

bool Excluded(const DisplaySurface* s) { return (s->flags & kSurfaceSmall) != 0; }

// Appends a part to the result unless it is empty or the result is full.
struct RectBuilder {
  UpdateRect* rects;
  int32_t count;
  int32_t limit;
  void Add(int32_t x, int32_t y, int32_t w, int32_t h) {
    if (w < 1 || h < 1 || count >= limit) return;
    rects[count++] = UpdateRect{static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<int16_t>(w),
                                static_cast<int16_t>(h)};
  }
};

// The parts of r outside R = (x, y, w, h), by which sides of r stick out of R.
void CutRect(RectBuilder* out, const UpdateRect& r, int32_t x, int32_t y, int32_t w, int32_t h) {
  const int32_t rx = r.x, ry = r.y, rw = r.width, rh = r.height;
  const int32_t right = rx + rw, bottom = ry + rh, Rr = x + w, Rb = y + h;
  if (right < x || bottom < y || Rb < ry || Rr < rx) {
    out->Add(rx, ry, rw, rh);
    return;
  }
  const bool left = rx < x, top = ry < y, rightOut = Rr < right, bottomOut = Rb < bottom;
  const int sides = (left ? 8 : 0) | (top ? 4 : 0) | (rightOut ? 2 : 0) | (bottomOut ? 1 : 0);
  switch (sides) {
    case 0xF:  // left, top, right, bottom
      out->Add(rx, ry, rw, y - ry), out->Add(rx, y, x - rx, bottom - y), out->Add(Rr, y, right - Rr, bottom - y);
      out->Add(x, Rb, w, bottom - Rb);
      break;
    case 0xD:  // left, top, bottom
      out->Add(rx, ry, rw, y - ry), out->Add(rx, y, x - rx, bottom - y), out->Add(x, Rb, right - x, bottom - Rb);
      break;
    case 0xE:  // left, top, right
      out->Add(rx, ry, rw, y - ry), out->Add(rx, y, x - rx, bottom - y), out->Add(Rr, y, right - Rr, bottom - y);
      break;
    case 0xC:  // left, top
      out->Add(rx, ry, x - rx, rh), out->Add(x, ry, right - x, y - ry);
      break;
    case 0xB:  // left, right, bottom
      out->Add(rx, ry, x - rx, rh), out->Add(x, Rb, w, bottom - Rb), out->Add(Rr, ry, right - Rr, rh);
      break;
    case 0x9:  // left, bottom
      out->Add(rx, ry, x - rx, rh), out->Add(x, Rb, right - x, bottom - Rb);
      break;
    case 0xA:  // left, right
      out->Add(rx, ry, x - rx, rh), out->Add(Rr, ry, right - Rr, rh);
      break;
    case 0x8:  // left
      out->Add(rx, ry, x - rx, rh);
      break;
    case 0x7:  // top, right, bottom
      out->Add(rx, ry, rw, y - ry), out->Add(rx, Rb, rw, bottom - Rb), out->Add(Rr, y, right - Rr, h);
      break;
    case 0x6:  // top, right
      out->Add(rx, ry, rw, y - ry), out->Add(Rr, y, right - Rr, bottom - y);
      break;
    case 0x5:  // top, bottom
      out->Add(rx, ry, rw, y - ry), out->Add(rx, Rb, rw, bottom - Rb);
      break;
    case 0x4:  // top
      out->Add(rx, ry, rw, y - ry);
      break;
    case 0x3:  // right, bottom
      out->Add(rx, Rb, rw, bottom - Rb), out->Add(Rr, ry, right - Rr, Rb - ry);
      break;
    case 0x2:  // right
      out->Add(Rr, ry, right - Rr, rh);
      break;
    case 0x1:  // bottom
      out->Add(rx, Rb, rw, bottom - Rb);
      break;
    default:  // inside R
      break;
  }
}

bool Deleted(const UpdateRect& r) { return r.width == kDeletedSize && r.height == kDeletedSize; }

void Delete(UpdateRect* r) { r->width = r->height = kDeletedSize; }

// One merge pass over the sorted rectangles; true when anything merged.
bool MergePass(UpdateRect* rects, int32_t count, bool vertical) {
  bool merged = false;
  for (int32_t i = 1; i < count; ++i) {
    UpdateRect& a = rects[i];
    if (Deleted(a)) continue;
    for (int32_t j = i - 1; j >= 0; --j) {
      UpdateRect& b = rects[j];
      if (Deleted(b)) continue;
      if (b.y + b.height < a.y) break;
      if (!vertical) {
        if (b.y != a.y || b.height != a.height) continue;
        if (b.x + b.width == a.x) {
          a.x = b.x;
          a.width = static_cast<int16_t>(a.width + b.width);
        } else if (a.x + a.width == b.x) {
          a.width = static_cast<int16_t>(a.width + b.width);
        } else {
          continue;
        }
      } else {
        if (b.x != a.x || b.width != a.width || b.y + b.height != a.y) continue;
        a.y = b.y;
        a.height = static_cast<int16_t>(a.height + b.height);
      }
      Delete(&b);
      merged = true;
    }
  }
  return merged;
}

DisplayListHead* NewHead() {
  auto* head = static_cast<DisplayListHead*>(MemAlloc(sizeof(DisplayListHead), 0));
  if (!head) return nullptr;
  std::memset(head, 0, sizeof *head);
  head->first = &head->sentinel;
  return head;
}

void FreeHead(DisplayListHead* head) { MemFree(head, sizeof(DisplayListHead), 0); }

bool HeadEmpty(const DisplayListHead* head) { return head->first == &head->sentinel; }

// Links `list` before `at` (a node of the head or its sentinel).
void LinkBefore(DisplayListHead* head, DisplayList* list, DisplayList* at) {
  list->next = at;
  list->prev = at->prev;
  if (at == head->first) {
    head->first = list;
  } else {
    at->prev->next = list;
  }
  at->prev = list;
}

// Takes `list` out of its parent's children; the parent's head goes when it empties.
void Unlink(DisplayList* list) {
  DisplayList* parent = list->parent;
  if (!parent || !parent->children || !list->next) {
    list->next = list->prev = nullptr;
    return;
  }
  DisplayListHead* head = parent->children;
  if (head->first == list) {
    head->first = list->next;
    list->next->prev = nullptr;
  } else {
    list->prev->next = list->next;
    list->next->prev = list->prev;
  }
  list->next = list->prev = nullptr;
  if (HeadEmpty(head)) {
    FreeHead(head);
    parent->children = nullptr;
  }
}

void FreeMarkers(DisplayList* list) {
  if (!list->markers) return;
  MemFree(list->markers, (static_cast<size_t>(GetDisplayListLimits().maxMarkers) + 1) * sizeof(PixelMarker), 0);
  list->markers = nullptr;
}

void FreeList(DisplayList* list) {
  FreeMarkers(list);
  MemFree(list, sizeof(DisplayList), 0);
}

// The overlap of a and b in the parent's coordinates, subtracted from b's owner.
void SubtractOverlap(const DisplayList* a, const DisplayList* b, bool recurse) {
  const int32_t aRight = a->x + a->width, aBottom = a->y + a->height;
  const int32_t bRight = b->x + b->width, bBottom = b->y + b->height;
  if (a->x > bRight || b->x > aRight || a->y > bBottom || b->y > aBottom) return;
  const int32_t left = std::max<int32_t>(a->x, b->x), top = std::max<int32_t>(a->y, b->y);
  const int32_t right = std::min(aRight, bRight), bottom = std::min(aBottom, bBottom);
  SubtractUpdateRect(b->owner, b->sourceX - b->x + left, b->sourceY - b->y + top, right - left, bottom - top,
                     recurse);
}

// The surface the whole tree is drawn to: the owner of its top list.
DisplaySurface* TreeTarget(const DisplayList* list) {
  while (list->parent) list = list->parent;
  return list->owner;
}

void DrawSurface(DisplayList* list, DisplaySurface* target, int32_t ox, int32_t oy) {
  DisplaySurface* s = list->owner;
  if (!s || Excluded(s) || s->updateCount == 0 || !s->updateRects || !target) return;
  const DisplayListLimits limits = GetDisplayListLimits();
  if (s->updateCount >= limits.maxRects) {
    int32_t sx = list->sourceX, sy = list->sourceY, w = list->width, h = list->height, tx = ox, ty = oy;
    if (tx < 0) sx -= tx, w += tx, tx = 0;
    if (ty < 0) sy -= ty, h += ty, ty = 0;
    w = std::min(w, target->width - tx);
    h = std::min(h, target->height - ty);
    if (w >= 1 && h >= 1 && list->draw) list->draw(s, target, sx, sy, tx, ty, w, h);
  } else {
    SortUpdateRects(s);
    if (limits.flags & kDisplayMerge) MergeUpdateRects(s);
    if ((limits.flags & kDisplayMarkers) && list->markers && list->markerCount > 0)
      CopyMarkerPixels(list->markers, list->markerCount, s, target, ox - list->sourceX, oy - list->sourceY);
    for (int32_t i = 0; i < s->updateCount; ++i) {
      const UpdateRect& r = s->updateRects[i];
      if (list->draw)
        list->draw(s, target, r.x, r.y, ox - list->sourceX + r.x, oy - list->sourceY + r.y, r.width, r.height);
    }
  }
  DrawFrameStats(s);
  s->updateCount = 0;
  if (limits.flags & kDisplayMarkers) list->markerCount = 0;
}

}  // namespace

DisplayListLimits GetDisplayListLimits() {
  const ProductRecord* product = gSystem ? gSystem->product : nullptr;
  if (!product || product->number100 == 0) return kDefaultLimits;
  return DisplayListLimits{product->flags, static_cast<int16_t>(product->number100),
                           static_cast<int16_t>(product->number400)};
}

DisplayList* DisplayListCreate(DisplaySurface* surface, DisplayList* parent, int32_t x, int32_t width, int32_t height) {
  if (!surface) return nullptr;
  const DisplayListLimits limits = GetDisplayListLimits();
  const bool wantMarkers = (limits.flags & kDisplayMarkers) != 0;
  const size_t markerBytes = (static_cast<size_t>(limits.maxMarkers) + 1) * sizeof(PixelMarker);
  // A list that is already linked somewhere leaves that place first, so it is never linked twice.
  DisplayList* old = surface->displayList;
  if (old) Unlink(old);
  const bool reuse = old && !old->children;
  DisplayList* list = reuse ? old : static_cast<DisplayList*>(MemAlloc(sizeof(DisplayList), 0));
  PixelMarker* markers = reuse ? old->markers : nullptr;
  const bool newMarkers = list && wantMarkers && !markers;
  if (newMarkers) markers = static_cast<PixelMarker*>(MemAlloc(markerBytes, 0));
  DisplayListHead* newHead = nullptr;
  if (list && (!wantMarkers || markers) && parent && !parent->children) newHead = NewHead();
  if (!list || (wantMarkers && !markers) || (parent && !parent->children && !newHead)) {
    if (list && !reuse) MemFree(list, sizeof(DisplayList), 0);
    if (newMarkers && markers) MemFree(markers, markerBytes, 0);
    if (old) DisplayListFree(surface);
    surface->displayList = nullptr;
    return nullptr;
  }
  DisplayListHead* children = old ? old->children : nullptr;
  if (old && !reuse) {
    old->children = nullptr;
    FreeList(old);
  }
  std::memset(list, 0, sizeof *list);
  list->priority = kDisplayListPriority;
  list->owner = surface;
  list->type = (surface->flags & kSurfaceNoDevice) ? kDisplayListClear : kDisplayListChild;
  list->x = static_cast<int16_t>(x);
  list->width = static_cast<int16_t>(width);
  list->height = static_cast<int16_t>(height);
  list->markers = markers;
  list->children = children;
  if (children) {
    for (DisplayList* c = children->first; c->next; c = c->next) c->parent = list;
  }
  if (parent) {
    list->name = (surface->flags & kSurfaceSmall) ? "SMALL" : surface->name ? surface->name : "NoName";
    if (newHead) parent->children = newHead;
    DisplayListHead* head = parent->children;
    DisplayList* at = head->first;
    while (at->next && at->priority > list->priority) at = at->next;
    LinkBefore(head, list, at);
    list->parent = parent;
    list->draw = list->type == kDisplayListClear ? DisplayClearRoutine : SurfaceDrawRoutine;
  } else {
    list->draw = BlitBlockTo;
  }
  surface->displayList = list;
  return list;
}

void DisplayListFree(DisplaySurface* surface) {
  if (!surface || !surface->displayList) return;
  DisplayList* list = surface->displayList;
  FreeMarkers(list);
  Unlink(list);
  surface->displayList = nullptr;
  if (list->children) {
    for (DisplayList* c = list->children->first; c->next; c = c->next) c->parent = nullptr;
    FreeHead(list->children);
  }
  MemFree(list, sizeof(DisplayList), 0);
}

void SubtractUpdateRect(DisplaySurface* surface, int32_t x, int32_t y, int32_t w, int32_t h, bool recurse) {
  if (!surface) return;
  const DisplayList* own = surface->displayList;
  if (recurse && !Excluded(surface) && own && own->children) {
    const int32_t x0 = x - own->sourceX, y0 = y - own->sourceY;
    for (DisplayList* c = own->children->first; c->next; c = c->next) {
      int32_t cx = x0 - c->x, cy = y0 - c->y, cw = w, ch = h;
      if (cx < 0) cw += cx, cx = 0;
      if (cy < 0) ch += cy, cy = 0;
      cw = std::min(cw, c->width - cx);
      ch = std::min(ch, c->height - cy);
      if (cx < c->width && cy < c->height && cw >= 1 && ch >= 1)
        SubtractUpdateRect(c->owner, c->sourceX + cx, c->sourceY + cy, cw, ch, true);
    }
  }
  if (Excluded(surface) || surface->updateCount == 0 || !surface->updateRects) return;
  const DisplayListLimits limits = GetDisplayListLimits();
  UpdateRect* scratch = GetScratch(kSubtractScratch, limits.maxRects);
  if (!scratch) return;
  RectBuilder out{scratch, 0, limits.maxRects};
  if (surface->updateCount >= limits.maxRects) {
    // Saturated: the visible area outside R.
    const int32_t sx = own ? own->sourceX : 0, sy = own ? own->sourceY : 0;
    const int32_t W = own ? own->width : surface->width, H = own ? own->height : surface->height;
    const int32_t dx = x - sx, dy = y - sy;
    if (dx != 0) out.Add(sx, sy, dx, H);
    if (dy != 0) out.Add(sx + dx, sy, W - dx, dy);
    if (dx + w < W) out.Add(sx + dx + w, sy + dy, W - dx - w, H - dy);
    if (dy + h < H) out.Add(sx + dx, sy + dy + h, w, H - dy - h);
  } else {
    for (int32_t i = 0; i < surface->updateCount; ++i) CutRect(&out, surface->updateRects[i], x, y, w, h);
  }
  TakeScratch(surface, kSubtractScratch, out.count);
}

void InvertUpdateRects(DisplaySurface* surface) {
  if (!surface || !surface->updateRects || surface->updateBytes < sizeof(UpdateRect)) return;
  const DisplayListLimits limits = GetDisplayListLimits();
  const int32_t oldCount = surface->updateCount;
  if (oldCount >= limits.maxRects) {
    surface->updateCount = 0;
    return;
  }
  UpdateRect* old = GetScratch(kInvertScratch, limits.maxRects);
  if (!old) return;
  const int32_t kept = std::min<int32_t>(oldCount, static_cast<int32_t>(surface->updateBytes / sizeof(UpdateRect)));
  std::memcpy(old, surface->updateRects, static_cast<size_t>(kept) * sizeof(UpdateRect));
  surface->updateRects[0] = UpdateRect{0, 0, surface->width, surface->height};
  surface->updateCount = 1;
  for (int32_t i = 0; i < kept; ++i) SubtractUpdateRect(surface, old[i].x, old[i].y, old[i].width, old[i].height, false);
}

void SortUpdateRects(DisplaySurface* surface) {
  if (!surface || !surface->updateRects) return;
  const DisplayListLimits limits = GetDisplayListLimits();
  const int32_t count = surface->updateCount;
  if (count <= 1 || count >= limits.maxRects) return;
  UpdateRect* scratch = GetScratch(kSubtractScratch, limits.maxRects);
  if (!scratch) return;
  std::memcpy(scratch, surface->updateRects, static_cast<size_t>(count) * sizeof(UpdateRect));
  std::stable_sort(scratch, scratch + count,
                   [](const UpdateRect& a, const UpdateRect& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  TakeScratch(surface, kSubtractScratch, count);
}

void MergeUpdateRects(DisplaySurface* surface) {
  if (!surface || !surface->updateRects) return;
  const DisplayListLimits limits = GetDisplayListLimits();
  if (!(limits.flags & kDisplayMerge)) return;
  const int32_t count = surface->updateCount;
  if (count <= 1 || count >= limits.maxRects) return;
  bool any = false;
  for (;;) {
    const bool horizontal = MergePass(surface->updateRects, count, false);
    const bool vertical = MergePass(surface->updateRects, count, true);
    if (!horizontal && !vertical) break;
    any = true;
  }
  if (!any) return;
  UpdateRect* scratch = GetScratch(kSubtractScratch, limits.maxRects);
  if (!scratch) {
    // Compact in place: the deleted entries must not reach the draw.
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i)
      if (!Deleted(surface->updateRects[i])) surface->updateRects[n++] = surface->updateRects[i];
    surface->updateCount = static_cast<int16_t>(n);
    return;
  }
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i)
    if (!Deleted(surface->updateRects[i])) scratch[n++] = surface->updateRects[i];
  TakeScratch(surface, kSubtractScratch, n);
}

void OccludeDisplayLists(DisplayList* first) {
  if (!first || !first->next) return;
  DisplayList* parent = first->parent;
  int16_t savedX = 0, savedY = 0;
  if (parent) {
    savedX = parent->x, savedY = parent->y;
    parent->x = parent->y = 0;
  }
  for (DisplayList* n = first; n->next; n = n->next) {
    if (parent) SubtractOverlap(n, parent, false);
    for (DisplayList* m = n->next; m->next; m = m->next) SubtractOverlap(m, n, true);
    if (n->children) OccludeDisplayLists(n->children->first);
  }
  if (parent) parent->x = savedX, parent->y = savedY;
}

void FlushDisplayList(DisplayList* first, int32_t ox, int32_t oy) {
  if (!first || !first->next) return;
  DisplayList* parent = first->parent;
  DisplaySurface* target = TreeTarget(first);
  for (DisplayList* n = first; n->next; n = n->next) {
    if (parent) {
      // Whatever lies beyond the parent's right or bottom edge is never drawn, also not by the
      // children placed there.
      if (n->x + n->width > parent->width)
        SubtractUpdateRect(n->owner, parent->width - n->x, 0, n->x + n->width - parent->width, n->height, true);
      if (n->y + n->height > parent->height)
        SubtractUpdateRect(n->owner, 0, parent->height - n->y, n->width, n->y + n->height - parent->height, true);
    }
    if (n->children) FlushDisplayList(n->children->first, ox + n->x, oy + n->y);
    DrawSurface(n, target, ox + n->x, oy + n->y);
  }
}

void InvalidateDisplayLists() {
  const DisplaySurface* video = gDisplay ? gDisplay->videoSurface : nullptr;
  const DisplayList* list = video ? video->displayList : nullptr;
  if (!list || !list->children) return;
  for (DisplayList* c = list->children->first; c->next; c = c->next)
    if (c->owner) c->owner->updateCount = kUpdateCountInvalid;
}

void DisplayClearRoutine(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY,
                         int32_t targetX, int32_t targetY, int32_t width, int32_t height) {
  if (!source || !target || !target->deviceSurface) return;
  const DeviceRecord* record = gDirect3D ? gDirect3D->device : nullptr;
  if (!record || !record->device) return;
  if (target->deviceSurface == gScreenBackBuffer || target->deviceSurface == record->backBuffer) {
    record->device->Clear(0, nullptr, kGpuClearTarget, 0, 1.0f, 0);
    return;
  }
  if (width < 1 || height < 1 || sourceX < 0 || sourceY < 0 || sourceX + width > source->width ||
      sourceY + height > source->height || targetX < 0 || targetY < 0 || targetX + width > target->width ||
      targetY + height > target->height)
    return;
  GpuLockedRect locked{};
  const GpuRect rect{targetX, targetY, targetX + width, targetY + height};
  if (GpuFailed(GpuRetry([&] { return target->deviceSurface->LockRect(&locked, &rect, kGpuLockNoSysLock); }))) return;
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(std::max<int16_t>(target->bytesPerPixel, 1));
  auto* row = static_cast<uint8_t*>(locked.bits);
  for (int32_t y = 0; y < height; ++y, row += locked.pitch) std::memset(row, 0, rowBytes);
  target->deviceSurface->UnlockRect();
}

void FreeDisplayListScratch() {
  for (Scratch& s : gScratch) {
    if (s.rects) MemFree(s.rects, s.bytes, 0);
    s = Scratch{};
  }
}
