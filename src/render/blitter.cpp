// The 2D blitter: the blit-type table, the per-format pixel, span, line and block routines, line
// clipping and midpoint ellipses. Called by the display lists, the surface draw routine, the
// texture drawing natives and the fonts. Every routine clips to its surfaces before touching a
// row, so script coordinates never reach memory outside a surface; a surface locked before a call
// stays locked, one locked here is unlocked before returning.
#include "render/blitter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/display_surface.h"
#include "render/surface_ops.h"

namespace {

enum PixelFormat { kMono = 0, k8 = 1, k16 = 2, k24 = 3, k32 = 4 };

constexpr int32_t kBlitTypes[5][5] = {
    {15, 16, 17, 18, 19}, {3, 0, 1, 2, 4}, {8, 7, 5, 6, 9}, {13, 12, 11, 10, 14}, {23, 22, 21, 20, 24},
};
constexpr uint8_t kBitMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
constexpr int32_t kClipSteps = 10;
constexpr int32_t kClipHalvings = 100;

// -1 for a chunky surface whose pixel size disagrees with its depth flags: writing by the flags
// would then run past its rows.
int32_t FormatOf(const DisplaySurface* s) {
  if (!(s->flags & kSurfaceChunky)) return kMono;
  int32_t format = k8;
  if (s->flags & kSurface32Bit)
    format = k32;
  else if (s->flags & kSurface24Bit)
    format = k24;
  else if (s->flags & kSurface16Bit)
    format = k16;
  return s->bytesPerPixel == format ? format : -1;
}

// Makes the pixels of a drawing surface reachable: already there, or by locking its device surface.
struct Drawing {
  DisplaySurface* surface = nullptr;
  bool lockedHere = false;
  explicit Drawing(DisplaySurface* s) {
    if (!s) return;
    if (!s->pixels) {
      if (!s->deviceSurface || (s->flags & kSurfaceOwnPixels) || !LockSurface(s) || !s->pixels) return;
      lockedHere = true;
    }
    surface = s;
  }
  ~Drawing() {
    if (lockedHere) UnlockSurfacePair(surface, nullptr);
  }
  Drawing(const Drawing&) = delete;
  Drawing& operator=(const Drawing&) = delete;
};

// Locks a source/target pair for a block operation and gives back only what it locked.
struct PairLock {
  DisplaySurface *target, *source;
  bool targetHere, sourceHere, ok;
  PairLock(DisplaySurface* t, DisplaySurface* s)
      : target(t), source(s), targetHere(!t->pixels), sourceHere(!s->pixels && s != t) {
    ok = LockSurfacePair(t, s) && t->pixels && s->pixels;
  }
  ~PairLock() { UnlockSurfacePair(targetHere ? target : nullptr, sourceHere ? source : nullptr); }
};

uint32_t PixelValue(const DisplaySurface* s, uint32_t color) {
  return s->bitsPerPixel > 8 ? ColorToSurfaceFormat(s, color) : color;
}

// One pixel of a surface known to hold (x, y); 24 and 32 bits write blue, green, red and keep alpha.
void PutPixel(DisplaySurface* s, int32_t format, int32_t x, int32_t y, uint32_t value) {
  uint8_t* row = SurfacePixelRow(s, y);
  switch (format) {
    case kMono:
      for (int32_t p = 0; p < s->bitsPerPixel; ++p) {
        uint8_t* byte = row + static_cast<size_t>(p) * s->planeStep + x / 8;
        if (value >> p & 1)
          *byte |= kBitMask[x & 7];
        else
          *byte &= static_cast<uint8_t>(~kBitMask[x & 7]);
      }
      break;
    case k8: row[x] = static_cast<uint8_t>(value); break;
    case k16: {
      const uint16_t v = static_cast<uint16_t>(value);
      std::memcpy(row + x * 2, &v, 2);
      break;
    }
    default: {
      uint8_t* p = row + static_cast<size_t>(x) * s->bytesPerPixel;
      p[0] = static_cast<uint8_t>(value);
      p[1] = static_cast<uint8_t>(value >> 8);
      p[2] = static_cast<uint8_t>(value >> 16);
    }
  }
}

// A span of one row, already cut to the surface.
void PutSpan(DisplaySurface* s, int32_t format, int32_t x0, int32_t x1, int32_t y, uint32_t value) {
  uint8_t* row = SurfacePixelRow(s, y);
  switch (format) {
    case k8: std::memset(row + x0, static_cast<uint8_t>(value), static_cast<size_t>(x1 - x0 + 1)); break;
    case k16: {
      // Two pixels per 32-bit store, then the odd one.
      const uint16_t v = static_cast<uint16_t>(value);
      const uint32_t pair = static_cast<uint32_t>(v) | static_cast<uint32_t>(v) << 16;
      int32_t x = x0;
      for (; x + 1 <= x1; x += 2) std::memcpy(row + x * 2, &pair, 4);
      if (x <= x1) std::memcpy(row + x * 2, &v, 2);
      break;
    }
    case k32:
      // A filled span is a whole-pixel store: alpha comes from the converted colour.
      for (int32_t x = x0; x <= x1; ++x) std::memcpy(row + x * 4, &value, 4);
      break;
    default:
      for (int32_t x = x0; x <= x1; ++x) PutPixel(s, format, x, y, value);
  }
}

bool Inside(const DisplaySurface* s, int32_t x, int32_t y) {
  return x >= 0 && y >= 0 && x < s->width && y < s->height;
}

int32_t Outcode(int32_t x, int32_t y, const DisplaySurface* s) {
  int32_t code = 0;
  if (y < 0) code |= 1;
  if (y >= s->height) code |= 2;
  if (x >= s->width) code |= 4;
  if (x < 0) code |= 8;
  return code;
}

// Cuts a block to both surfaces; false when nothing remains.
bool ClipBlock(const DisplaySurface* source, const DisplaySurface* target, int32_t* sx, int32_t* sy, int32_t* tx,
               int32_t* ty, int32_t* w, int32_t* h) {
  auto cut = [](int32_t* s, int32_t* t, int32_t* n, int32_t sourceSize, int32_t targetSize) {
    int64_t a = *s, b = *t, size = *n;
    if (a < 0) size += a, b -= a, a = 0;
    if (b < 0) size += b, a -= b, b = 0;
    size = std::min<int64_t>({size, sourceSize - a, targetSize - b});
    if (size < 1) return false;
    *s = static_cast<int32_t>(a), *t = static_cast<int32_t>(b), *n = static_cast<int32_t>(size);
    return true;
  };
  return cut(sx, tx, w, source->width, target->width) && cut(sy, ty, h, source->height, target->height);
}

// Squared radii of an ellipse; false for an aspect that squares to zero.
bool EllipseRadii(int32_t radius, int32_t aspect, double* rx2, double* ry2) {
  const int64_t aspect2 = (static_cast<int64_t>(aspect) * aspect + 0x8000) >> 16;
  if (aspect2 <= 0 || radius < 0) return false;
  *ry2 = static_cast<double>(radius) * radius;
  *rx2 = static_cast<double>(static_cast<int64_t>(*ry2 / (static_cast<double>(aspect2) / 65536.0)));
  return true;
}

// Midpoint ellipse in two regions; `visit(x, y)` receives each step's offsets from the centre.
template <typename Visit>
void WalkEllipse(double a2, double b2, int32_t radius, Visit visit) {
  int64_t x = 0, y = radius;
  double dx = 0, dy = 2 * a2 * y;
  double d = b2 - a2 * radius + a2 / 4;
  while (dx < dy) {
    visit(x, y);
    ++x;
    dx += 2 * b2;
    if (d < 0) {
      d += dx + b2;
    } else {
      --y;
      dy -= 2 * a2;
      d += dx - dy + b2;
    }
  }
  d = b2 * (x + 0.5) * (x + 0.5) + a2 * (y - 1.0) * (y - 1.0) - a2 * b2;
  while (y > -1) {
    visit(x, y);
    --y;
    dy -= 2 * a2;
    if (d > 0) {
      d += a2 - dy;
    } else {
      ++x;
      dx += 2 * b2;
      d += dx - dy + a2;
    }
  }
}

bool EqualFormatType(int32_t type) { return type == 0 || type == 5 || type == 10 || type == 15 || type == 24; }

}  // namespace

int32_t GetBlitType(const DisplaySurface* first, const DisplaySurface* second) {
  if (!first) first = second;
  if (!second) second = first;
  if (!first) return -1;
  const int32_t a = FormatOf(first), b = FormatOf(second);
  return a < 0 || b < 0 ? -1 : kBlitTypes[a][b];
}

void BlitFillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color, DisplaySurface* surface) {
  if (!surface || width < 1 || height < 1 || x < 0 || y < 0 || int64_t{x} + width > surface->width ||
      int64_t{y} + height > surface->height)
    return;
  if (surface->deviceSurface) {
    SurfaceFillRect(surface, x, y, width, height, color);
    return;
  }
  // A record without a device surface holds its pixels in memory: fill them by spans.
  const int32_t format = FormatOf(surface);
  Drawing d(surface);
  if (!d.surface || format < 0) return;
  const uint32_t value = PixelValue(surface, color);
  for (int32_t row = y; row < y + height; ++row) PutSpan(surface, format, x, x + width - 1, row, value);
}

void BlitCopyRect(DisplaySurface* source, DisplaySurface* target, const SurfaceRect16* sourceRect,
                  const SurfaceRect16* targetRect) {
  SurfaceCopyRect(source, target, sourceRect, targetRect);
}

void BlitSetPixel(int32_t x, int32_t y, uint32_t color, DisplaySurface* surface) {
  BlitPixelClipped(x, y, color, surface);
}

void BlitPixelClipped(int32_t x, int32_t y, uint32_t color, DisplaySurface* surface) {
  if (!surface || !Inside(surface, x, y)) return;
  const int32_t format = FormatOf(surface);
  Drawing d(surface);
  if (!d.surface || format < 0) return;
  PutPixel(surface, format, x, y, PixelValue(surface, color));
}

int32_t ClipLine(int32_t* px0, int32_t* py0, int32_t* px1, int32_t* py1, const DisplaySurface* surface) {
  if (!surface) return 0;
  int64_t x0 = *px0, y0 = *py0, x1 = *px1, y1 = *py1;
  if (std::llabs(x1 - x0) > 32767 || std::llabs(y1 - y0) > 32767) return 0;
  int32_t halvings = 0;
  while ((std::llabs(x0) >= 32768 || std::llabs(y0) >= 32768) && halvings < kClipHalvings) x0 >>= 1, y0 >>= 1, ++halvings;
  while ((std::llabs(x1) >= 32768 || std::llabs(y1) >= 32768) && halvings < kClipHalvings) x1 >>= 1, y1 >>= 1, ++halvings;
  const int64_t width = surface->width, height = surface->height;
  auto code = [&](int64_t x, int64_t y) {
    return Outcode(static_cast<int32_t>(x), static_cast<int32_t>(y), surface);
  };
  for (int32_t step = 0; step < kClipSteps; ++step) {
    int32_t c0 = code(x0, y0), c1 = code(x1, y1);
    if (c0 & c1) return 0;
    if (!c0 && !c1) {
      *px0 = static_cast<int32_t>(x0), *py0 = static_cast<int32_t>(y0);
      *px1 = static_cast<int32_t>(x1), *py1 = static_cast<int32_t>(y1);
      return 1;
    }
    if (!c0) std::swap(x0, x1), std::swap(y0, y1), std::swap(c0, c1);
    if (c0 & 1) {
      x0 = x0 + (x0 - x1) * y0 / (y1 - y0), y0 = 0;
    } else if (c0 & 2) {
      x0 = x0 + (y0 - height + 1) * (x1 - x0) / (y0 - y1), y0 = height - 1;
    } else if (c0 & 4) {
      y0 = y0 + (x0 - width + 1) * (y1 - y0) / (x0 - x1), x0 = width - 1;
    } else {
      y0 = y0 + (y0 - y1) * x0 / (x1 - x0), x0 = 0;
    }
  }
  return 0;
}

void BlitLine(DisplaySurface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color) {
  if (!surface) return;
  const int32_t format = FormatOf(surface);
  // Mono surfaces have no line routine.
  if (format <= kMono || !ClipLine(&x0, &y0, &x1, &y1, surface)) return;
  Drawing d(surface);
  if (!d.surface) return;
  const uint32_t value = PixelValue(surface, color);
  const bool steep = std::abs(y1 - y0) > std::abs(x1 - x0);
  if (steep) std::swap(x0, y0), std::swap(x1, y1);
  if (x0 > x1) std::swap(x0, x1), std::swap(y0, y1);
  const int32_t dx = x1 - x0, dy = std::abs(y1 - y0), stepY = y0 < y1 ? 1 : -1;
  int32_t error = dx / 2;
  for (int32_t x = x0, y = y0; x <= x1; ++x) {
    const int32_t px = steep ? y : x, py = steep ? x : y;
    if (Inside(surface, px, py)) PutPixel(surface, format, px, py, value);
    error -= dy;
    if (error < 0) y += stepY, error += dx;
  }
}

void BlitCircle(DisplaySurface* surface, int32_t centerX, int32_t centerY, int32_t radius, int32_t aspect,
                uint32_t color) {
  if (!surface || !EqualFormatType(GetBlitType(surface, nullptr))) return;
  double a2 = 0, b2 = 0;
  if (!EllipseRadii(radius, aspect, &a2, &b2)) return;
  const int32_t format = FormatOf(surface);
  Drawing d(surface);
  if (!d.surface) return;
  const uint32_t value = PixelValue(surface, color);
  auto plot = [&](int64_t x, int64_t y) {
    if (x >= 0 && y >= 0 && x < surface->width && y < surface->height)
      PutPixel(surface, format, static_cast<int32_t>(x), static_cast<int32_t>(y), value);
  };
  WalkEllipse(a2, b2, radius, [&](int64_t x, int64_t y) {
    plot(centerX + x, centerY + y);
    plot(centerX - x, centerY + y);
    plot(centerX + x, centerY - y);
    plot(centerX - x, centerY - y);
  });
}

void BlitFilledCircle(DisplaySurface* surface, int32_t centerX, int32_t centerY, int32_t radius, int32_t aspect,
                      uint32_t color) {
  if (!surface) return;
  if (!EqualFormatType(GetBlitType(surface, nullptr))) {
    std::fputs("FilledCircle: Unknown Blittype\n", stdout);
    return;
  }
  double a2 = 0, b2 = 0;
  if (!EllipseRadii(radius, aspect, &a2, &b2)) return;
  const int32_t format = FormatOf(surface);
  Drawing d(surface);
  if (!d.surface) return;
  const uint32_t value = PixelValue(surface, color);
  auto span = [&](int64_t x, int64_t y) {
    if (y < 0 || y >= surface->height) return;
    const int64_t left = std::max<int64_t>(centerX - x, 0), right = std::min<int64_t>(centerX + x, surface->width - 1);
    if (left <= right)
      PutSpan(surface, format, static_cast<int32_t>(left), static_cast<int32_t>(right), static_cast<int32_t>(y), value);
  };
  WalkEllipse(a2, b2, radius, [&](int64_t x, int64_t y) {
    span(x, centerY + y);
    span(x, centerY - y);
  });
}

void BlitBlock(DisplaySurface* target, DisplaySurface* source, int32_t sourceX, int32_t sourceY, int32_t targetX,
               int32_t targetY, int32_t width, int32_t height, uint32_t key) {
  if (!target || !source) return;
  const int32_t type = GetBlitType(target, source);
  if (type != 0 && type != 5 && type != 10 && type != 24) return;
  if (!ClipBlock(source, target, &sourceX, &sourceY, &targetX, &targetY, &width, &height)) return;
  PairLock lock(target, source);
  if (!lock.ok) return;
  const int32_t bpp = source->bytesPerPixel;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = SurfacePixelRow(source, sourceY + y) + static_cast<size_t>(sourceX) * bpp;
    uint8_t* t = SurfacePixelRow(target, targetY + y) + static_cast<size_t>(targetX) * bpp;
    for (int32_t x = 0; x < width; ++x, s += bpp, t += bpp) {
      if (bpp == 1) {
        if (*s > key) *t = *s;
      } else if (bpp == 2) {
        uint16_t v;
        std::memcpy(&v, s, 2);
        if (v > key) std::memcpy(t, s, 2);
      } else if (s[0] > key || s[1] > key || s[2] > key) {
        t[0] = s[0], t[1] = s[1], t[2] = s[2];
      }
    }
  }
}

void BlitBlockTo(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY, int32_t targetX,
                 int32_t targetY, int32_t width, int32_t height) {
  if (!source || !target) return;
  const int32_t type = GetBlitType(source, target);
  if (type != 0 && type != 5 && type != 10 && type != 24) return;
  if (!ClipBlock(source, target, &sourceX, &sourceY, &targetX, &targetY, &width, &height)) return;
  PairLock lock(target, source);
  if (!lock.ok) return;
  const size_t bpp = static_cast<size_t>(source->bytesPerPixel);
  for (int32_t y = 0; y < height; ++y)
    std::memmove(SurfacePixelRow(target, targetY + y) + targetX * bpp, SurfacePixelRow(source, sourceY + y) + sourceX * bpp,
                 static_cast<size_t>(width) * bpp);
}

void BlitSpriteAlpha(DisplaySurface* source, DisplaySurface* target, int32_t sourceX, int32_t sourceY,
                     int32_t targetX, int32_t targetY, int32_t width, int32_t height, uint32_t tint) {
  if (!source || !target || GetBlitType(source, target) != 24) return;
  if (!ClipBlock(source, target, &sourceX, &sourceY, &targetX, &targetY, &width, &height)) return;
  PairLock lock(target, source);
  if (!lock.ok) return;
  const uint32_t tb = tint & 0xFF, tg = tint >> 8 & 0xFF, tr = tint >> 16 & 0xFF;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = SurfacePixelRow(source, sourceY + y) + static_cast<size_t>(sourceX) * 4;
    uint8_t* t = SurfacePixelRow(target, targetY + y) + static_cast<size_t>(targetX) * 4;
    for (int32_t x = 0; x < width; ++x, s += 4, t += 4) {
      const uint32_t a = s[3], ia = 255 - a;
      t[0] = static_cast<uint8_t>((s[0] * a * tb + t[0] * ia * 256) >> 16);
      t[1] = static_cast<uint8_t>((s[1] * a * tg + t[1] * ia * 256) >> 16);
      t[2] = static_cast<uint8_t>((s[2] * a * tr + t[2] * ia * 256) >> 16);
      t[3] = static_cast<uint8_t>(((t[3] * ia) >> 8) + a);
    }
  }
}

void BlitMonoBitmap(DisplaySurface* target, const DisplaySurface* bitmap, int32_t bitColumn, int32_t bitRow,
                    int32_t width, int32_t height, int32_t targetX, int32_t targetY, uint32_t color) {
  if (!target || !bitmap || !bitmap->pixels) return;
  const int32_t format = FormatOf(target);
  if (format < 0) return;
  if (!ClipBlock(bitmap, target, &bitColumn, &bitRow, &targetX, &targetY, &width, &height)) return;
  Drawing d(target);
  if (!d.surface) return;
  const uint32_t value = PixelValue(target, color);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = SurfacePixelRow(bitmap, bitRow + y);
    for (int32_t x = 0; x < width; ++x) {
      const int32_t c = bitColumn + x;
      if (row[c / 8] & kBitMask[c & 7]) PutPixel(target, format, targetX + x, targetY + y, value);
    }
  }
}
