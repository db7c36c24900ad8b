// Drawing into textures for the natives, the cockpit and HUD and the replay: texture numbers and
// collections of pieces, logical units of font-scaled textures, block clipping, tiles and wrapped
// text, and one drawing record per call on a plain texture while the engine records. The pixels
// are the renderer's blitter and font code; this file never touches a surface itself and never
// hands the blitter a block that reaches outside its source or destination.
#include "scene/texture_drawing.h"

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/blitter.h"
#include "render/display_surface.h"
#include "render/fonts.h"
#include "render/material_table.h"
#include "render/surface_ops.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/draw_records.h"
#include "scene/engine_records.h"
#include "scene/recording.h"
#include "script/containers.h"
#include "script/value.h"

namespace {

// A collection piece: seven 16-bit values in the animation's frame list.
struct Piece {
  int32_t texture, x, y, u, v, width, height;
};

// `fontscale` divides every logical size; 0 (or less) counts as 1.
int32_t FontScale() { return gSystem && gSystem->fontScale > 1 ? gSystem->fontScale : 1; }

// Script arguments may be any 32-bit value: sums and products saturate instead of overflowing.
int32_t Sat(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool FontScaled(int32_t texture) {
  return texture >= 0 && gMaterialTable && texture < gMaterialCount &&
         (gMaterialTable[texture].flags & MPF_FONTSCALE) != 0;
}

int32_t Scaled(int32_t texture, int32_t value) { return FontScaled(texture) ? Sat(int64_t{value} * FontScale()) : value; }

DisplaySurface* Texture(int32_t texture) { return texture >= 0 ? GetTextureHandle(texture) : nullptr; }

// The collection named by a negative texture number; null when it names none.
const TextureAnimation* Collection(int32_t texture) {
  if (texture >= 0 || !gTextureAnimations) return nullptr;
  const int64_t index = -int64_t{texture};
  if (index >= gTextureAnimationCount) return nullptr;
  const TextureAnimation* a = &gTextureAnimations[index];
  return a->type == TAT_TAGCOLLECTION && a->frames.tag && a->frameCount > 0 ? a : nullptr;
}

// Visits the collection's pieces in list order. A piece that names another collection is passed
// over: a collection of collections could name itself and never end.
template <typename Visit>
void ForEachPiece(const TextureAnimation* a, Visit visit) {
  for (int32_t i = 0; i < a->frameCount; ++i) {
    const int16_t* v = a->frames.tag[i].values;
    const Piece p{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
    if (p.texture >= 0) visit(p);
  }
}

// The largest x + width over the pieces.
int32_t CollectionWidth(const TextureAnimation* a) {
  int32_t width = 0;
  for (int32_t i = 0; i < a->frameCount; ++i) {
    const int16_t* v = a->frames.tag[i].values;
    width = std::max(width, v[1] + v[5]);
  }
  return width;
}

bool Recording() { return gEngine3D && (gEngine3D->engineFlags & kEngineRecording); }

void Record(DrawRecord kind, std::initializer_list<int32_t> args, const char* text = nullptr) {
  if (Recording()) RecordDrawing(kind, args.begin(), text);
}

// Cuts a rectangle (and the source position that moves with its left and top edges) to a piece;
// false when the piece is not touched.
bool CutToPiece(const Piece& p, int32_t* x, int32_t* y, int32_t* width, int32_t* height, int32_t* sourceX,
                int32_t* sourceY) {
  if (!(p.x < int64_t{*x} + *width && *x < p.x + p.width && p.y < int64_t{*y} + *height && *y < p.y + p.height))
    return false;
  int64_t dx = int64_t{*x} - p.x, dy = int64_t{*y} - p.y, w = *width, h = *height, sx = *sourceX, sy = *sourceY;
  if (dx < 0) w += dx, sx -= dx, dx = 0;
  if (dx + w > p.width) w = p.width - dx;
  if (dy < 0) h += dy, sy -= dy, dy = 0;
  if (dy + h > p.height) h = p.height - dy;
  *x = Sat(p.u + dx), *y = Sat(p.v + dy), *width = Sat(w), *height = Sat(h), *sourceX = Sat(sx), *sourceY = Sat(sy);
  return true;
}

// The logical size of a texture, for sizes counted from its right side: a collection's total
// width, a plain texture's stored size (divided for font-scaled ones); -1 when it is missing.
int32_t LogicalWidth(int32_t texture) {
  if (const TextureAnimation* a = Collection(texture)) return CollectionWidth(a);
  const DisplaySurface* s = Texture(texture);
  if (!s) return -1;
  return FontScaled(texture) ? s->width / FontScale() : s->width;
}

// A plain texture's stored width (a collection's total width); -1 when it is missing.
int32_t StoredWidth(int32_t texture) {
  if (const TextureAnimation* a = Collection(texture)) return CollectionWidth(a);
  const DisplaySurface* s = Texture(texture);
  return s ? s->width : -1;
}

void Circle(int32_t texture, int32_t cx, int32_t cy, int32_t radius, int32_t value, uint32_t colour, bool filled) {
  if (const TextureAnimation* a = Collection(texture)) {
    ForEachPiece(a, [&](const Piece& p) {
      if (p.x <= int64_t{cx} + radius && int64_t{cx} - radius < p.x + p.width && p.y <= int64_t{cy} + radius &&
          int64_t{cy} - radius < p.y + p.height)
        Circle(p.texture, Sat(int64_t{cx} + p.u - p.x), Sat(int64_t{cy} + p.v - p.y), radius, value, colour, filled);
    });
    return;
  }
  DisplaySurface* s = Texture(texture);
  if (!s) return;
  if (!(int64_t{cx} + radius >= 0 && int64_t{cx} - radius < s->width && int64_t{cy} + radius >= 0 &&
        int64_t{cy} - radius < s->height))
    return;
  Record(filled ? DrawRecord::CircleFill : DrawRecord::Circle, {texture, cx, cy, radius, value, int32_t(colour)});
  cx = Scaled(texture, cx), cy = Scaled(texture, cy), radius = Scaled(texture, radius);
  if (filled) BlitFilledCircle(s, cx, cy, radius, value, colour);
  else BlitCircle(s, cx, cy, radius, value, colour);
}

enum class BlockKind { Keyed, Plain, Alpha };

void Block(BlockKind kind, int32_t source, int32_t destination, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
           int32_t width, int32_t height, uint32_t value, int32_t clip) {
  if (const TextureAnimation* a = Collection(destination)) {
    ForEachPiece(a, [&](const Piece& p) {
      int32_t x = dx, y = dy, w = width, h = height, px = sx, py = sy;
      if (CutToPiece(p, &x, &y, &w, &h, &px, &py)) Block(kind, source, p.texture, px, py, x, y, w, h, value, 0);
    });
    return;
  }
  DisplaySurface* from = Texture(source);
  DisplaySurface* to = Texture(destination);
  if (!from || !to) return;
  const int32_t callerArgs[] = {sx, sy, dx, dy, width, height};
  if (clip) {
    const int32_t targetWidth = FontScaled(destination) ? to->width / FontScale() : to->width;
    const int32_t targetHeight = FontScaled(destination) ? to->height / FontScale() : to->height;
    if (dx >= targetWidth || int64_t{dx} + width <= 0 || dy >= targetHeight || int64_t{dy} + height <= 0) return;
    if (dx < 0) sx = Sat(int64_t{sx} - dx), width = Sat(int64_t{width} + dx), dx = 0;
    if (int64_t{dx} + width > targetWidth) width = targetWidth - dx;
    if (dy < 0) sy = Sat(int64_t{sy} - dy), height = Sat(int64_t{height} + dy), dy = 0;
    if (int64_t{dy} + height > targetHeight) height = targetHeight - dy;
  }
  const int32_t* c = callerArgs;
  switch (kind) {
    case BlockKind::Keyed:
      Record(DrawRecord::BlockKeyed, {source, destination, c[0], c[1], c[2], c[3], c[4], c[5], int32_t(value)});
      break;
    case BlockKind::Plain:
      Record(DrawRecord::Block, {source, destination, c[0], c[1], c[2], c[3], c[4], c[5]});
      break;
    case BlockKind::Alpha:
      Record(DrawRecord::BlockAlpha, {source, destination, c[0], c[1], c[2], c[3], c[4], c[5], int32_t(value)});
      break;
  }
  if (FontScaled(destination)) {
    dx = Scaled(destination, dx), dy = Scaled(destination, dy);
    if (FontScaled(source))
      sx = Scaled(source, sx), sy = Scaled(source, sy), width = Scaled(source, width), height = Scaled(source, height);
  }
  // The blitter cuts the block to both textures, so neither a piece (drawn without the clip flag)
  // nor a source rectangle beyond the source's end reaches outside them.
  switch (kind) {
    case BlockKind::Keyed: BlitBlock(to, from, sx, sy, dx, dy, width, height, value); break;
    case BlockKind::Plain: BlitBlockTo(from, to, sx, sy, dx, dy, width, height); break;
    case BlockKind::Alpha: BlitSpriteAlpha(from, to, sx, sy, dx, dy, width, height, value); break;
  }
}

void Tiles(BlockKind kind, int32_t source, int32_t destination, int32_t sx, int32_t sy, int32_t tileWidth,
           int32_t tileHeight, int32_t areaX, int32_t areaY, int32_t areaWidth, int32_t areaHeight, uint32_t value) {
  if (tileWidth < 1 || tileHeight < 1) return;
  const int64_t right = int64_t{areaX} + areaWidth, bottom = int64_t{areaY} + areaHeight;
  auto column = [&](int64_t x, int64_t width) {
    int64_t y = areaY;
    for (; y < bottom - tileHeight; y += tileHeight)
      Block(kind, source, destination, sx, sy, int32_t(x), int32_t(y), int32_t(width), tileHeight, value, 1);
    Block(kind, source, destination, sx, sy, int32_t(x), int32_t(y), int32_t(width), int32_t(bottom - y), value, 1);
  };
  int64_t x = areaX;
  for (; x < right - tileWidth; x += tileWidth) column(x, tileWidth);
  column(x, right - x);
}

// One rectangle of TexCopyRect cut to its surface; false when nothing of it remains.
bool CutRect(const int32_t* r, const DisplaySurface* s, SurfaceRect16* out) {
  const int32_t left = std::max(r[0], 0), top = std::max(r[1], 0);
  const int32_t right = std::min<int32_t>(r[2], s->width), bottom = std::min<int32_t>(r[3], s->height);
  if (left >= right || top >= bottom) return false;
  *out = SurfaceRect16{int16_t(left), int16_t(top), int16_t(right), int16_t(bottom)};
  return true;
}

const FontRecord* Font(int32_t font) { return font >= 0 && font < kFontTableSize ? gFontTable[font] : nullptr; }

// The logical line step of a font with these flags.
int32_t LineStep(const FontRecord* font, uint32_t flags) {
  return static_cast<int16_t>(GetTextLineHeight(font, flags) / FontScale());
}

// A copy of the text (one retry after the low-memory handler), wrapped at `width` pixels.
struct Wrapped {
  char* copy = nullptr;
  const char* starts[kTextMaxLines];
  int32_t lengths[kTextMaxLines];
  int32_t lines = 0;
  int32_t widest = 0;
  int32_t blockHeight = 0;
  bool ok = false;

  Wrapped(const char* text, const FontRecord* font, int32_t width, uint32_t flags) {
    if (!text) return;
    copy = DuplicateString(text);
    if (!copy) {
      CallLowMemoryHandler();
      copy = DuplicateString(text);
    }
    if (!copy) return;
    ok = true;
    lines = TextWrapLines(copy, starts, lengths, width, font, &widest, &blockHeight, flags);
    SelectTextEffects(flags);
  }
  ~Wrapped() { FreeString(copy); }
  Wrapped(const Wrapped&) = delete;
  Wrapped& operator=(const Wrapped&) = delete;

  // Runs `draw` with line i cut out of the copy by a zero byte, restored afterwards.
  template <typename Draw>
  void WithLine(int32_t i, Draw draw) {
    char* start = copy + (starts[i] - copy);
    char* end = start + lengths[i];
    const char kept = *end;
    *end = 0;
    draw(start);
    *end = kept;
  }
};

}  // namespace

void B3D_TexRectFill(int32_t texture, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour) {
  if (const TextureAnimation* a = Collection(texture)) {
    ForEachPiece(a, [&](const Piece& p) {
      int32_t px = x, py = y, w = width, h = height, sx = 0, sy = 0;
      if (CutToPiece(p, &px, &py, &w, &h, &sx, &sy)) B3D_TexRectFill(p.texture, px, py, w, h, colour);
    });
    return;
  }
  DisplaySurface* s = Texture(texture);
  if (!s) return;
  Record(DrawRecord::RectFill, {texture, x, y, width, height, int32_t(colour)});
  BlitFillRect(Scaled(texture, x), Scaled(texture, y), Scaled(texture, width), Scaled(texture, height), colour, s);
}

void B3D_TexLine(int32_t texture, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
  if (const TextureAnimation* a = Collection(texture)) {
    ForEachPiece(a, [&](const Piece& p) {
      if (p.x <= x1 && x0 < p.x + p.width && p.y <= y1 && y0 < p.y + p.height) {
        const int64_t mx = p.u - p.x, my = p.v - p.y;
        B3D_TexLine(p.texture, Sat(x0 + mx), Sat(y0 + my), Sat(x1 + mx), Sat(y1 + my), colour);
      }
    });
    return;
  }
  DisplaySurface* s = Texture(texture);
  if (!s) return;
  Record(DrawRecord::Line, {texture, x0, y0, x1, y1, int32_t(colour)});
  BlitLine(s, Scaled(texture, x0), Scaled(texture, y0), Scaled(texture, x1), Scaled(texture, y1), colour);
}

void B3D_TexCircle(int32_t texture, int32_t centreX, int32_t centreY, int32_t radius, int32_t circleValue,
                   uint32_t colour) {
  Circle(texture, centreX, centreY, radius, circleValue, colour, false);
}

void B3D_TexCircleFill(int32_t texture, int32_t centreX, int32_t centreY, int32_t radius, int32_t circleValue,
                       uint32_t colour) {
  Circle(texture, centreX, centreY, radius, circleValue, colour, true);
}

void TexSetPixel(int32_t texture, int32_t x, int32_t y, uint32_t colour) {
  if (const TextureAnimation* a = Collection(texture)) {
    ForEachPiece(a, [&](const Piece& p) {
      if (p.x <= x && x < p.x + p.width && p.y <= y && y < p.y + p.height)
        TexSetPixel(p.texture, Sat(int64_t{x} + p.u - p.x), Sat(int64_t{y} + p.v - p.y), colour);
    });
    return;
  }
  DisplaySurface* s = Texture(texture);
  if (!s) return;
  Record(DrawRecord::SetPixel, {texture, x, y, int32_t(colour)});
  x = Scaled(texture, x), y = Scaled(texture, y);
  if (x >= 0 && x < s->width && y >= 0 && y < s->height) BlitSetPixel(x, y, colour, s);
}

void B3D_TexBltBlock(int32_t source, int32_t destination, int32_t sourceX, int32_t sourceY, int32_t destinationX,
                     int32_t destinationY, int32_t width, int32_t height, int32_t colourKey, int32_t clip) {
  Block(colourKey >= 0 ? BlockKind::Keyed : BlockKind::Plain, source, destination, sourceX, sourceY, destinationX,
        destinationY, width, height, static_cast<uint32_t>(colourKey), clip);
}

void B3D_TexBltBlockAlpha(int32_t source, int32_t destination, int32_t sourceX, int32_t sourceY,
                          int32_t destinationX, int32_t destinationY, int32_t width, int32_t height, uint32_t blend,
                          int32_t clip) {
  Block(BlockKind::Alpha, source, destination, sourceX, sourceY, destinationX, destinationY, width, height, blend,
        clip);
}

void B3D_TexBltTiles(int32_t source, int32_t destination, int32_t sourceX, int32_t sourceY, int32_t tileWidth,
                     int32_t tileHeight, int32_t areaX, int32_t areaY, int32_t areaWidth, int32_t areaHeight,
                     int32_t colourKey) {
  Tiles(colourKey >= 0 ? BlockKind::Keyed : BlockKind::Plain, source, destination, sourceX, sourceY, tileWidth,
        tileHeight, areaX, areaY, areaWidth, areaHeight, static_cast<uint32_t>(colourKey));
}

void B3D_TexBltTilesAlpha(int32_t source, int32_t destination, int32_t sourceX, int32_t sourceY, int32_t tileWidth,
                          int32_t tileHeight, int32_t areaX, int32_t areaY, int32_t areaWidth, int32_t areaHeight,
                          uint32_t blend) {
  Tiles(BlockKind::Alpha, source, destination, sourceX, sourceY, tileWidth, tileHeight, areaX, areaY, areaWidth,
        areaHeight, blend);
}

void TexCopyRect(int32_t source, int32_t destination, const int32_t rect[8]) {
  if (source < 0 || destination < 0 || !rect) return;
  DisplaySurface* from = Texture(source);
  DisplaySurface* to = Texture(destination);
  if (!from || !to) return;
  SurfaceRect16 sourceRect{}, destinationRect{};
  if (CutRect(rect, from, &sourceRect) && CutRect(rect + 4, to, &destinationRect))
    BlitCopyRect(from, to, &sourceRect, &destinationRect);
  Record(DrawRecord::CopyRect,
         {source, destination, rect[0], rect[1], rect[2], rect[3], rect[4], rect[5], rect[6], rect[7]});
}

int32_t TexDrawText(int32_t texture, const char* text, int32_t font, int32_t x, int32_t y, int32_t rightEdge,
                    uint32_t colour, uint32_t textFlags) {
  if (const TextureAnimation* a = Collection(texture)) {
    const FontRecord* f = Font(font);
    const int32_t glyphHeight = f ? f->cellHeight : 0;
    int32_t result = 0;
    ForEachPiece(a, [&](const Piece& p) {
      if (p.x < rightEdge && x < p.x + p.width && p.y < int64_t{y} + glyphHeight && y < p.y + p.height) {
        const int64_t mx = p.u - p.x, my = p.v - p.y;
        result = std::max(result, TexDrawText(p.texture, text, font, Sat(x + mx), Sat(y + my), Sat(rightEdge + mx),
                                              colour, textFlags));
      }
    });
    return result;
  }
  DisplaySurface* s = Texture(texture);
  if (!s || !text) return 0;
  // A record holds at most 65535 text bytes; a longer text is drawn as it is recorded.
  const size_t length = std::strlen(text);
  char* cut = nullptr;
  if (length > size_t{kDrawRecordMaxText}) {
    cut = ReplaceStringN(kDrawRecordMaxText, nullptr, text);
    if (!cut) return 0;
    text = cut;
  }
  Record(DrawRecord::Text,
         {texture, font, x, y, rightEdge, int32_t(colour), int32_t(textFlags), int32_t(std::strlen(text))}, text);
  const int32_t result = DrawTextBlock(Font(font), s, text, Scaled(texture, x), Scaled(texture, y),
                                       Scaled(texture, rightEdge), colour, textFlags);
  FreeString(cut);
  return result;
}

int32_t B3D_TexTextBlock(int32_t texture, const char* text, int32_t font, int32_t x, int32_t y, int32_t rightEdge,
                         uint32_t colour, uint32_t textFlags) {
  if (rightEdge < 1) {
    const int32_t width = LogicalWidth(texture);
    if (width < 0) return 0;
    rightEdge = Sat(int64_t{rightEdge} + width);
  }
  const FontRecord* f = Font(font);
  Wrapped w(text, f, Sat((int64_t{rightEdge} - x) * FontScale()), textFlags);
  if (!w.ok) return 0;
  const int32_t step = LineStep(f, textFlags);
  for (int32_t i = 0; i < w.lines; ++i) {
    w.WithLine(i, [&](const char* line) {
      TexDrawText(texture, line, font, x, Sat(int64_t{y} + step * i), rightEdge, colour, textFlags);
    });
  }
  return w.lines;
}

int32_t B3D_TexTextBlockCentered(int32_t texture, const char* text, int32_t font, int32_t x, int32_t y,
                                 int32_t width, int32_t bottom, uint32_t colour, uint32_t textFlags) {
  const FontRecord* f = Font(font);
  Wrapped w(text, f, Sat(int64_t{width} * FontScale()), textFlags);
  if (!w.ok) return 0;
  const int32_t step = LineStep(f, textFlags);
  const int64_t top = int64_t{y} + bottom - w.blockHeight / FontScale();
  for (int32_t i = 0; i < w.lines; ++i) {
    w.WithLine(i, [&](const char* line) {
      const int32_t lineWidth = GetTextWidth(f, line, textFlags) / FontScale();
      TexDrawText(texture, line, font, Sat(x + (int64_t{width} - lineWidth) / 2), Sat(top + int64_t{step} * i),
                  Sat(int64_t{x} + width), colour, textFlags);
    });
  }
  return w.lines;
}

int32_t B3D_TexTextBlockHeight(int32_t texture, const char* text, int32_t font, int32_t width, uint32_t textFlags) {
  if (StoredWidth(texture) < 0 || !text) return 0;
  // A width below 1 counts from the right side of the stored width.
  int64_t pixels = int64_t{width} * FontScale();
  if (width < 1) pixels += StoredWidth(texture);
  return TextBlockHeight(Font(font), text, Sat(pixels), textFlags) / FontScale();
}

int32_t B3D_TexGetTextArray(int32_t texture, const char* text, int32_t font, int32_t width, uint32_t textFlags,
                            ScriptValue* result) {
  if (!text || !result) return 0;
  int64_t pixels = int64_t{width} * FontScale();
  if (width < 1) {
    const TextureAnimation* a = Collection(texture);
    if (a) pixels = (int64_t{CollectionWidth(a)} + width) * FontScale();
    else if (StoredWidth(texture) < 0) return 0;
    else pixels += StoredWidth(texture);
  }
  Wrapped w(text, Font(font), Sat(pixels), textFlags);
  if (!w.ok) return 0;
  if (w.lines == 0) {
    SetValueInt(result, 0);
    return 1;
  }
  if (!AllocArrayValue(result, w.lines)) return 0;
  for (int32_t i = 0; i < w.lines; ++i) ArrayWriteStringN(result, i, w.starts[i], w.lengths[i]);
  return 1;
}

int32_t B3D_TexGetWidth(int32_t texture) {
  const DisplaySurface* s = Texture(texture);
  if (!s) return 0;
  return FontScaled(texture) ? s->width / FontScale() : s->width;
}

int32_t B3D_TexGetHeight(int32_t texture) {
  const DisplaySurface* s = Texture(texture);
  if (!s) return 0;
  return FontScaled(texture) ? s->height / FontScale() : s->height;
}

int32_t B3D_OpenFont(const char* name, int32_t cellWidth, int32_t number, int32_t flags, int32_t yOffset) {
  if (!name) return -1;
  char fileName[512];
  std::snprintf(fileName, sizeof fileName, "%s%d", name, number);
  const FontRecord* f = OpenFont(fileName, cellWidth, number, static_cast<uint32_t>(flags), yOffset);
  return f ? f->slot : -1;
}
