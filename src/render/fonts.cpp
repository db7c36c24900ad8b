// Bitmap fonts: loading a glyph sheet with its metrics into a font record, the ten-slot font
// table, the text effect layers, UTF-8 decoding, measuring, wrapping and drawing text with ESC
// colour codes through the blitter. Called by the engine's font and texture-text natives, the
// cockpit display and the shutdown. Every metrics read is checked against the file's length and
// every glyph index against the glyph count; drawing is clipped by the blitter.
#include "render/fonts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/byte_order.h"
#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/blitter.h"
#include "render/display_surface.h"
#include "render/image_records.h"
#include "render/render.h"
#include "render/surface_ops.h"

FontRecord* gFontTable[kFontTableSize] = {};

namespace {

constexpr int16_t E = 0;  // effect layer
constexpr int16_t T = 1;  // text layer
constexpr TextEffectRow kTextEffectTemplate[kTextEffectRows] = {
    {0x2, 8, {0, 1, 1, 1, 0, -1, -1, -1}, {-1, -1, 0, 1, 1, 1, 0, -1}, {E, E, E, E, E, E, E, E}},
    {0x40, 1, {0}, {-1}, {E}},
    {0x80, 1, {1}, {-1}, {E}},
    {0x100, 1, {1}, {0}, {E}},
    {0x200, 1, {1}, {1}, {E}},
    {0x400, 1, {0}, {1}, {E}},
    {0x800, 1, {-1}, {1}, {E}},
    {0x1000, 1, {-1}, {0}, {E}},
    {0x2000, 1, {-1}, {-1}, {E}},
    {kTextLayer, 1, {0}, {0}, {T}},
    {kTextBold, 1, {1}, {0}, {T}},
};

struct EscapeColour {
  char code;
  uint32_t colour;
};
constexpr EscapeColour kEscapeColours[] = {{'A', 0xCCCCCC}, {'B', 0x5555FF}, {'C', 0x00FFFF}, {'G', 0x55FF55},
                                           {'K', 0x000000}, {'M', 0xFF00FF}, {'O', 0xFF7700}, {'R', 0xFF5555},
                                           {'W', 0xFFFFFF}, {'Y', 0xFFFF00}, {'Z', 0xAAAAAA}};

constexpr uint32_t kAbcHeaderBytes = 20;
constexpr uint32_t kAbcV4Records = 28;
constexpr uint32_t kAbcRecordBytes = 24;
constexpr uint32_t kBmpHeaderBytes = 54;
constexpr int32_t kGridFirstChar = 32;
constexpr int32_t kGridLastChar = 255;
constexpr int32_t kMaxSide = 0x7FFF;

// Where a glyph lies in the sheet and how it moves the pen.
struct Glyph {
  int32_t sx, sy;
  int32_t width, drawWidth, height;
  int32_t lead, advance;
};

enum class Step { End, Escape, Char };

// The next character of a text: its code, an escape with the code after ESC, or the end.
Step NextChar(const char*& p, uint32_t* code) {
  const char* next = DecodeUtf8Char(p, code);
  if (!next || *code == 0) return Step::End;
  if (*code != static_cast<uint32_t>(kTextEscape)) {
    p = next;
    return Step::Char;
  }
  const char* after = DecodeUtf8Char(next, code);
  if (!after || *code == 0) return Step::End;
  p = after;
  return Step::Escape;
}

bool FindGlyph(const FontRecord* f, uint32_t code, uint32_t flags, Glyph* g) {
  if (static_cast<int64_t>(code) < f->firstChar || static_cast<int64_t>(code) > f->lastChar) return false;
  uint32_t i = code - static_cast<uint32_t>(f->firstChar);
  if (f->remap) {
    if (i >= f->remapCount) return false;
    i = f->remap[i];
  }
  if (i >= f->glyphCount) return false;
  if ((f->flags | flags) & kFontAbcMetrics) {
    *g = Glyph{f->glyphX[i], f->glyphY[i], f->widths[i], f->widths[i], f->cellHeight, f->leading[i], f->advance[i]};
    return true;
  }
  const int32_t perRow = std::max(f->perRow, 1);
  const int32_t width = ((f->flags | flags) & kFontProportional) && f->widths ? f->widths[i] : f->cellWidth;
  g->sx = f->cellWidth * static_cast<int32_t>(i % static_cast<uint32_t>(perRow)) + 1;
  g->sy = f->cellHeight * static_cast<int32_t>(i / static_cast<uint32_t>(perRow)) + 1;
  g->width = width;
  g->drawWidth = width - ((flags & kTextNarrowGrid) ? 1 : 0);
  g->height = f->cellHeight - 1;
  g->lead = 0;
  g->advance = f->spacing + width;
  return true;
}

// The pen's whole move for a character: 0 for one the font does not draw.
int32_t Advance(const FontRecord* f, uint32_t code, uint32_t flags) {
  Glyph g{};
  return FindGlyph(f, code, flags, &g) ? g.lead + g.advance : 0;
}

uint32_t ShadowColour(const FontRecord* f, uint32_t colour) {
  if (f->shadowColour) return f->shadowColour;
  const bool dark = (colour >> 16 & 0xFF) <= 0x88 && (colour >> 8 & 0xFF) <= 0x88 && (colour & 0xFF) <= 0x88;
  return dark ? 0xCCCCCC : 0x444444;
}

uint32_t EscapedColour(uint32_t code, uint32_t base, uint32_t current) {
  if (code == 'X') return base;
  for (const EscapeColour& e : kEscapeColours)
    if (code == static_cast<uint32_t>(e.code)) return e.colour;
  return current;
}

void BlitGlyph(DisplaySurface* target, const FontRecord* f, const Glyph& g, int32_t x, int32_t y, uint32_t colour,
               uint32_t flags) {
  if (flags & kFontAlphaGlyphs) {
    BlitSpriteAlpha(f->glyphs, target, g.sx, g.sy, x, y, g.drawWidth, g.height, colour);
  } else {
    BlitMonoBitmap(target, f->glyphs, g.sx, g.sy, g.drawWidth, g.height, x, y, colour);
  }
}

// Draws layers [from, to) of the current effect set for every glyph of the line.
void DrawLayers(DisplaySurface* surface, const FontRecord* f, const char* text, int32_t x, int32_t y, int32_t limit,
                uint32_t colour, bool codes, int32_t from, int32_t to, uint32_t flags) {
  const TextEffectSet& e = gTextEffects;
  uint32_t current = colour;
  const char* p = text;
  uint32_t code = 0;
  for (Step step; (step = NextChar(p, &code)) != Step::End;) {
    if (step == Step::Escape) {
      if (codes) current = EscapedColour(code, colour, current);
      continue;
    }
    Glyph g{};
    if (!FindGlyph(f, code, flags, &g)) continue;
    const int32_t drawX = x + g.lead;
    if (drawX + g.drawWidth > limit) break;
    for (int32_t l = from; l < to; ++l)
      BlitGlyph(surface, f, g, drawX + e.x[l] - e.minX, y + e.y[l] - e.minY, current, flags);
    x = drawX + g.advance;
  }
}

void* AllocZeroed(size_t bytes) {
  void* p = MemAlloc(bytes, 0);
  if (p) std::memset(p, 0, bytes);
  return p;
}

template <typename T>
bool AllocArray(T*& array, size_t count) {
  array = static_cast<T*>(AllocZeroed(std::max<size_t>(count, 1) * sizeof(T)));
  return array != nullptr;
}

template <typename T>
void FreeArray(T*& array, size_t count) {
  if (array) MemFree(array, std::max<size_t>(count, 1) * sizeof(T), 0);
  array = nullptr;
}

void FreeFont(FontRecord* f) {
  if (!f) return;
  ReleaseImageHandle(&f->glyphs);
  ReleaseImageHandle(&f->cache);
  FreeArray(f->widths, f->glyphCount);
  FreeArray(f->glyphX, f->glyphCount);
  FreeArray(f->glyphY, f->glyphCount);
  FreeArray(f->advance, f->glyphCount);
  FreeArray(f->leading, f->glyphCount);
  FreeArray(f->remap, f->remapCount);
  f->name = FreeString(f->name);
  MemFree(f, sizeof(FontRecord), 0);
}

// The whole file of the first of `types` that exists, with its size and the type found.
uint8_t* ReadTypedFile(const char* name, const char* types, size_t* size, bool* firstType) {
  FileObject file;
  FileObjectInit(&file);
  uint8_t* data = nullptr;
  if (OpenGameFileByType(&file, name, types, false)) {
    data = reinterpret_cast<uint8_t*>(FileReadAll(&file));
    char* type = FileGetType(&file);
    const size_t firstLength = std::strcspn(types, " ");
    *firstType = type && std::strlen(type) == firstLength && std::strncmp(type, types, firstLength) == 0;
    FreeString(type);
  }
  FileClose(&file);
  *size = data ? gLastReadSize : 0;
  return data;
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// A 1-bit Windows bitmap as a 1-bit record, rows top-down at their padded size.
DisplaySurface* ReadMonoBmp(const uint8_t* d, size_t size) {
  if (size < kBmpHeaderBytes || d[0] != 'B' || d[1] != 'M') return nullptr;
  const uint32_t dataOffset = Le32(d + 10);
  const int32_t width = static_cast<int32_t>(Le32(d + 18));
  const int32_t rawHeight = static_cast<int32_t>(Le32(d + 22));
  if (Le32(d + 14) < 40 || Le16(d + 26) != 1 || Le16(d + 28) != 1 || Le32(d + 30) != 0) return nullptr;
  if (width < 1 || width > kMaxSide || rawHeight == 0 || rawHeight < -kMaxSide || rawHeight > kMaxSide) return nullptr;
  const int32_t height = std::abs(rawHeight);
  const uint32_t rowBytes = (static_cast<uint32_t>(width) + 31) / 32 * 4;
  const size_t bytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(height);
  if (dataOffset < kBmpHeaderBytes || dataOffset > size || size - dataOffset < bytes) return nullptr;
  DisplaySurface* r = CreateImageHandle(1, width, height, kSurfaceNoDevice | kSurfaceNoMask);
  if (!r) return nullptr;
  r->pixels = static_cast<uint8_t*>(MemAlloc(bytes, 0));
  if (!r->pixels) {
    ReleaseImageHandle(&r);
    return nullptr;
  }
  r->flags |= kSurfaceOwnPixels;
  r->rowBytes = r->pitch = static_cast<uint16_t>(rowBytes);
  r->planeBytes = r->planeStep = static_cast<uint32_t>(bytes);
  for (int32_t y = 0; y < height; ++y) {
    // Rows are stored bottom-up unless the height is negative.
    const int32_t source = rawHeight > 0 ? height - 1 - y : y;
    std::memcpy(r->pixels + static_cast<size_t>(y) * rowBytes, d + dataOffset + static_cast<size_t>(source) * rowBytes,
                rowBytes);
  }
  return r;
}

bool LoadSheet(FontRecord* f, const char* name) {
  size_t size = 0;
  bool tga = false;
  uint8_t* data = ReadTypedFile(name, "tga bmp", &size, &tga);
  if (!data) return false;
  if (!tga) {
    f->glyphs = ReadMonoBmp(data, size);
    MemFree(data, size, 0);
    return f->glyphs != nullptr;
  }
  MemFree(data, size, 0);
  f->glyphs = LoadImageFile(name, 0, 0, 0);
  // A default image in place of a missing sheet is no font.
  if (!f->glyphs || (f->glyphs->flags & kSurfaceDefaultImage)) {
    ReleaseImageHandle(&f->glyphs);
    return false;
  }
  if (f->glyphs->bitsPerPixel > 1) f->flags |= kFontAlphaGlyphs;
  return true;
}

float LoadBEFloat(const uint8_t* p) {
  const uint32_t bits = LoadBE32(p);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A sheet position: truncated, and kept inside 0 to 65535 whatever the file holds.
uint16_t SheetCoordinate(double value) {
  if (!(value >= 0.0)) return 0;
  return value >= 65535.0 ? 65535 : static_cast<uint16_t>(value);
}

bool ReadAbc(FontRecord* f, const uint8_t* d, size_t size, int32_t yOffset) {
  if (size < kAbcHeaderBytes + 2) return false;
  const uint32_t version = LoadBE32(d);
  size_t records = 0;
  uint32_t count = 0;
  if (version == 4) {
    if (size < kAbcV4Records) return false;
    f->firstChar = LoadBE16(d + 20);
    f->lastChar = LoadBE16(d + 22);
    if (f->lastChar < f->firstChar) return false;
    count = static_cast<uint32_t>(f->lastChar - f->firstChar + 1);
    records = kAbcV4Records;
  } else if (version == 5) {
    f->firstChar = 0;
    f->lastChar = LoadBE16(d + 20);
    f->remapCount = static_cast<uint32_t>(f->lastChar) + 1;
    const size_t remapEnd = kAbcHeaderBytes + 2 + static_cast<size_t>(f->remapCount) * 2;
    if (size < remapEnd + 4 || !AllocArray(f->remap, f->remapCount)) return false;
    for (uint32_t i = 0; i < f->remapCount; ++i) f->remap[i] = LoadBE16(d + kAbcHeaderBytes + 2 + i * 2);
    count = LoadBE32(d + remapEnd);
    records = remapEnd + 4;
  } else {
    return false;
  }
  if ((size - records) / kAbcRecordBytes < count) return false;
  f->glyphCount = count;
  if (!AllocArray(f->widths, count) || !AllocArray(f->glyphX, count) || !AllocArray(f->glyphY, count) ||
      !AllocArray(f->advance, count) || !AllocArray(f->leading, count))
    return false;
  const double sheetWidth = f->glyphs->width, sheetHeight = f->glyphs->height;
  double tallest = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* r = d + records + static_cast<size_t>(i) * kAbcRecordBytes;
    f->glyphX[i] = SheetCoordinate(sheetWidth * LoadBEFloat(r));
    const double top = std::trunc(sheetHeight * LoadBEFloat(r + 4)) + yOffset;
    f->glyphY[i] = SheetCoordinate(top);
    const double height = sheetHeight * LoadBEFloat(r + 12) - f->glyphY[i];
    if (height > tallest) tallest = height;
    f->leading[i] = static_cast<int8_t>(static_cast<int16_t>(LoadBE16(r + 16)));
    f->widths[i] = static_cast<uint8_t>(std::min<uint16_t>(LoadBE16(r + 18), 255));
    f->advance[i] = static_cast<int8_t>(static_cast<int16_t>(LoadBE16(r + 20)));
  }
  f->cellHeight = static_cast<int16_t>(std::min<double>(tallest, kMaxSide));
  f->spacing = 0;
  f->flags |= kFontAbcMetrics | kFontProportional;
  return true;
}

bool LayOutGrid(FontRecord* f, const uint8_t* widths, size_t widthCount) {
  if (f->cellWidth < 1 || f->cellHeight < 1) return false;
  const int32_t sheetWidth = f->glyphs->width, sheetHeight = f->glyphs->height;
  f->perRow = (sheetWidth + f->cellWidth - 1) / f->cellWidth;
  f->spacing = 1;
  f->firstChar = kGridFirstChar;
  f->lastChar = std::min((sheetHeight / f->cellHeight) * f->perRow + kGridFirstChar, kGridLastChar);
  if (!widths) {
    f->glyphCount = static_cast<uint32_t>(f->lastChar - f->firstChar + 1);
    return true;
  }
  f->glyphCount = static_cast<uint32_t>(widthCount);
  if (!AllocArray(f->widths, widthCount)) return false;
  std::memcpy(f->widths, widths, widthCount);
  f->flags |= kFontProportional;
  return true;
}

bool LoadMetrics(FontRecord* f, const char* name, int32_t yOffset) {
  size_t size = 0;
  bool abc = false;
  uint8_t* data = ReadTypedFile(name, "abc siz", &size, &abc);
  // Without a metrics file the sheet is a grid of equal cells.
  bool ok = false;
  if (!data) {
    ok = LayOutGrid(f, nullptr, 0);
  } else if (abc) {
    ok = ReadAbc(f, data, size, yOffset);
  } else {
    ok = LayOutGrid(f, data, size);
  }
  if (data) MemFree(data, size, 0);
  return ok;
}

// Every character pre-drawn with the font's effects, one cell a row, white on transparent black.
bool BuildGlyphCache(FontRecord* f, uint32_t flags) {
  const uint32_t mask = flags & kTextEffectBits;
  int32_t widest = 0;
  char one[4] = {};
  for (int32_t c = f->firstChar; c <= f->lastChar; ++c) {
    *Utf8EncodeChar(one, static_cast<uint16_t>(c)) = 0;
    widest = std::max(widest, GetTextWidth(f, one, mask));
  }
  const int32_t cellWidth = std::max((widest + 15) & ~15, 16);
  const int32_t cellHeight = f->cellHeight + 2;
  const int64_t height = static_cast<int64_t>(cellHeight) * (f->lastChar - f->firstChar + 1);
  if (height < 1 || height > kMaxSide) return false;
  f->cache = CreateImageHandle(32, cellWidth, static_cast<int32_t>(height),
                               kSurfaceNoDevice | kSurfaceChunky | kSurfaceNoMask);
  if (!f->cache) return false;
  const size_t bytes = static_cast<size_t>(f->cache->pitch) * static_cast<size_t>(height);
  f->cache->pixels = static_cast<uint8_t*>(AllocZeroed(bytes));
  if (!f->cache->pixels) return false;
  f->cache->flags |= kSurfaceOwnPixels;
  for (int32_t c = f->firstChar; c <= f->lastChar; ++c) {
    *Utf8EncodeChar(one, static_cast<uint16_t>(c)) = 0;
    DrawTextLine(f->cache, f, one, 0, (c - f->firstChar) * cellHeight, cellWidth, 0xFFFFFF, mask);
  }
  f->effectMask = mask;
  f->flags |= kFontGlyphCache;
  return true;
}

}  // namespace

TextEffectRow gTextEffectTable[kTextEffectRows] = {
    kTextEffectTemplate[0], kTextEffectTemplate[1], kTextEffectTemplate[2], kTextEffectTemplate[3],
    kTextEffectTemplate[4], kTextEffectTemplate[5], kTextEffectTemplate[6], kTextEffectTemplate[7],
    kTextEffectTemplate[8], kTextEffectTemplate[9], kTextEffectTemplate[10]};
TextEffectSet gTextEffects = {};

const char* DecodeUtf8Char(const char* text, uint32_t* code) {
  if (!text) return nullptr;
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  const uint32_t b = p[0];
  if (b < 0x80) {
    *code = b;
    return text + 1;
  }
  if (b >= 0xF0) return nullptr;
  // A terminator inside a sequence ends the text there.
  if (p[1] == 0) return nullptr;
  if (b < 0xE0) {
    *code = ((b & 31) << 6) + (p[1] & 63);
    return text + 2;
  }
  if (p[2] == 0) return nullptr;
  *code = ((b * 64 + (p[1] & 63)) * 64 + (p[2] & 63)) & 0xFFFF;
  return text + 3;
}

void RebuildTextEffectTable() {
  const bool scaled = gSystem && gSystem->fontScale > 1;
  for (int r = 0; r < kTextEffectRows; ++r) {
    gTextEffectTable[r] = kTextEffectTemplate[r];
    TextEffectRow& row = gTextEffectTable[r];
    if (!scaled || row.mask == kTextLayer || row.mask == kTextBold) continue;
    for (int i = 0; i < row.count; ++i) row.x[i] = static_cast<int16_t>(row.x[i] * 2), row.y[i] = static_cast<int16_t>(row.y[i] * 2);
  }
  // The selected set was made from the old table.
  gTextEffects = TextEffectSet{};
}

void SelectTextEffects(uint32_t mask) {
  mask &= kTextEffectBits;
  if (mask == gTextEffects.mask) return;
  TextEffectSet s{};
  s.mask = mask;
  for (const TextEffectRow& row : gTextEffectTable) {
    if (!(mask & row.mask)) continue;
    for (int i = 0; i < row.count && i < kTextEffectRowLayers && s.count < kTextMaxLayers; ++i, ++s.count) {
      s.x[s.count] = row.x[i];
      s.y[s.count] = row.y[i];
      s.kind[s.count] = row.kind[i];
      s.minX = std::min<int32_t>(s.minX, row.x[i]);
      s.minY = std::min<int32_t>(s.minY, row.y[i]);
      s.maxX = std::max<int32_t>(s.maxX, row.x[i]);
      s.maxY = std::max<int32_t>(s.maxY, row.y[i]);
    }
  }
  s.textLayerStart = -1;
  for (int32_t i = 0; i + 1 < s.count; ++i)
    if (s.kind[i] == E && s.kind[i + 1] == T) s.textLayerStart = i + 1;
  if (s.textLayerStart < 0) s.textLayerStart = s.count > 0 && s.kind[0] == E ? s.count : 0;
  gTextEffects = s;
}

int32_t GetTextWidth(const FontRecord* font, const char* text, uint32_t flags) {
  if (!font || !text) return 0;
  flags |= font->flags;
  SelectTextEffects(flags);
  int32_t width = 0;
  Glyph last{};
  bool any = false;
  const char* p = text;
  uint32_t code = 0;
  for (Step step; (step = NextChar(p, &code)) != Step::End;) {
    Glyph g{};
    if (step == Step::Escape || !FindGlyph(font, code, flags, &g)) continue;
    width += g.lead + g.advance;
    last = g;
    any = true;
  }
  if (any && (flags & kFontAbcMetrics)) width -= last.advance - last.width;
  return width + gTextEffects.maxX - gTextEffects.minX;
}

int32_t GetTextLineHeight(const FontRecord* font, uint32_t flags) {
  if (!font) return 0;
  SelectTextEffects(flags | font->flags);
  return font->cellHeight + gTextEffects.maxY - gTextEffects.minY;
}

int32_t TextWrapLines(const char* text, const char** lineStarts, int32_t* lineLengths, int32_t width,
                      const FontRecord* font, int32_t* widest, int32_t* blockHeight, uint32_t flags) {
  int32_t lines = 0, widestLine = 0;
  if (font && text && lineStarts && lineLengths) {
    flags |= font->flags;
    SelectTextEffects(flags);
    const char* p = text;
    while (*p && lines < kTextMaxLines) {
      const char* start = p;
      const char* end = nullptr;
      const char* resume = nullptr;  // null: the text ended
      const char* blank = nullptr;
      int32_t lineWidth = 0, blankWidth = 0;
      for (;;) {
        const char* here = p;
        uint32_t code = 0;
        const Step step = NextChar(p, &code);
        if (step == Step::End) {
          end = here;
          break;
        }
        if (step == Step::Escape) continue;
        if (code == '\n') {
          end = here;
          resume = p;
          break;
        }
        if (code == ' ') {
          blank = here;
          blankWidth = lineWidth;
        }
        const int32_t advance = Advance(font, code, flags);
        if (lineWidth + advance <= width) {
          lineWidth += advance;
          continue;
        }
        if (blank) {
          end = resume = blank;
          lineWidth = blankWidth;
        } else {
          // A word wider than the line keeps its first overflowing glyph.
          end = resume = p;
          lineWidth += advance;
        }
        break;
      }
      lineStarts[lines] = start;
      lineLengths[lines] = static_cast<int32_t>(end - start);
      widestLine = std::max(widestLine, lineWidth);
      ++lines;
      if (!resume) break;
      p = resume;
      while (*p == ' ' || *p == '\n') ++p;
    }
  }
  if (widest) *widest = widestLine;
  if (blockHeight) *blockHeight = (font ? font->cellHeight + gTextEffects.maxY - gTextEffects.minY : 0) * lines + 1;
  return lines;
}

int32_t TextBlockHeight(const FontRecord* font, const char* text, int32_t width, uint32_t flags) {
  const char* starts[kTextMaxLines];
  int32_t lengths[kTextMaxLines];
  int32_t widest = 0, block = 0;
  const int32_t lines = TextWrapLines(text, starts, lengths, width, font, &widest, &block, flags);
  return font ? (font->cellHeight + gTextEffects.maxY - gTextEffects.minY) * lines : 0;
}

void DrawTextLine(DisplaySurface* surface, const FontRecord* font, const char* text, int32_t x, int32_t y,
                  int32_t limit, uint32_t colour, uint32_t flags) {
  if (!surface || !font || !font->glyphs || !text) return;
  flags |= font->flags;
  SelectTextEffects(flags);
  // Both surfaces stay locked for the whole line; those locked here are unlocked at the end.
  const bool targetHeld = surface->pixels != nullptr, sheetHeld = font->glyphs->pixels != nullptr;
  if (!LockSurfacePair(surface, font->glyphs)) return;
  const int32_t start = gTextEffects.textLayerStart;
  if (start >= 1) DrawLayers(surface, font, text, x, y, limit, ShadowColour(font, colour), false, 0, start, flags);
  DrawLayers(surface, font, text, x, y, limit, colour, true, std::max(start, 0), gTextEffects.count, flags);
  if (!targetHeld) UnlockSurfacePair(surface, surface);
  if (!sheetHeld) UnlockSurfacePair(font->glyphs, font->glyphs);
}

int32_t DrawTextBlock(const FontRecord* font, DisplaySurface* surface, const char* text, int32_t x, int32_t y,
                      int32_t rightEdge, uint32_t colour, uint32_t flags) {
  if (!surface || !font || !text) return 0;
  DrawTextLine(surface, font, text, x, y, rightEdge, colour, flags);
  const int64_t room = int64_t{rightEdge} - x;
  return static_cast<int32_t>(std::clamp<int64_t>(GetTextWidth(font, text, flags), 0, std::max<int64_t>(room, 0)));
}

FontRecord* LoadFontFile(const char* name, int32_t cellWidth, int32_t cellHeight, uint32_t flags, int32_t yOffset) {
  if (!name || cellWidth > kMaxSide || cellHeight > kMaxSide) return nullptr;
  auto* f = static_cast<FontRecord*>(AllocZeroed(sizeof(FontRecord)));
  if (!f) return nullptr;
  // The file decides these; the cache flag is set once the cache exists.
  f->flags = flags & ~(kFontGlyphCache | kFontAlphaGlyphs | kFontAbcMetrics);
  f->cellWidth = static_cast<int16_t>(cellWidth);
  f->cellHeight = static_cast<int16_t>(cellHeight);
  if (!LoadSheet(f, name) || !LoadMetrics(f, name, yOffset) || ((flags & kFontGlyphCache) && !BuildGlyphCache(f, flags))) {
    FreeFont(f);
    return nullptr;
  }
  return f;
}

FontRecord* OpenFont(const char* name, int32_t cellWidth, int32_t cellHeight, uint32_t flags, int32_t yOffset) {
  RebuildTextEffectTable();
  if (!name) return nullptr;
  int free = -1;
  for (int i = 0; i < kFontTableSize; ++i) {
    if (gFontTable[i] && gFontTable[i]->name && std::strcmp(gFontTable[i]->name, name) == 0) return gFontTable[i];
    if (!gFontTable[i] && free < 0) free = i;
  }
  if (free < 0) return nullptr;
  FontRecord* f = LoadFontFile(name, cellWidth, cellHeight, flags, yOffset);
  if (!f) return nullptr;
  f->name = DuplicateString(name);
  if (!f->name) {
    FreeFont(f);
    return nullptr;
  }
  f->slot = free;
  gFontTable[free] = f;
  return f;
}

void ReleaseFonts() {
  for (FontRecord*& f : gFontTable) {
    FreeFont(f);
    f = nullptr;
  }
}
