// Bitmap fonts and text layout: the font records loaded from a glyph sheet (1-bit BMP or an
// image) and its metrics ("abc" or "siz"), the table of ten open fonts, the text effect layers
// (outline, shadows, bold), UTF-8 decoding, measuring, wrapping and drawing a line with ESC colour
// codes through the blitter. Called by the engine's font and texture-text natives and the cockpit
// display; ReleaseFonts (render.h) by the shutdown. Never reads a font file past its end, never
// draws outside the target surface, never indexes a metrics table beyond its glyph count.
#pragma once

#include <cstdint>

struct DisplaySurface;

// FontRecord flags.
constexpr uint32_t kFontGlyphCache = 0x10;
constexpr uint32_t kFontProportional = 0x20;
constexpr uint32_t kFontAlphaGlyphs = 0x8000;
constexpr uint32_t kFontAbcMetrics = 0x20000;
// Text flags: the effect bits, and grid glyphs drawn one column narrower than their cell.
constexpr uint32_t kTextEffectBits = 0x3FCF;
constexpr uint32_t kTextLayer = 0x1;
constexpr uint32_t kTextOutline = 0x2;
constexpr uint32_t kTextBold = 0x4;
constexpr uint32_t kTextNarrowGrid = 0x10000;

constexpr int kFontTableSize = 10;
constexpr int kTextMaxLines = 100;
constexpr char kTextEscape = 27;

struct FontRecord {
  int32_t slot;
  char* name;
  DisplaySurface* glyphs;
  int16_t cellWidth, cellHeight;  // cellHeight is the line height
  int32_t perRow;
  uint32_t flags;
  DisplaySurface* cache;  // glyphs pre-drawn with their effects (kFontGlyphCache)
  int16_t spacing;
  int32_t firstChar, lastChar;
  uint8_t* widths;
  uint32_t glyphCount;
  uint32_t shadowColour;  // 0: chosen from the text colour
  uint32_t effectMask;
  uint16_t* glyphX;
  uint16_t* glyphY;
  int8_t* advance;
  int8_t* leading;
  uint16_t* remap;  // character to glyph index, remapCount entries, or null
  uint32_t remapCount;
};

extern FontRecord* gFontTable[kFontTableSize];

constexpr int kTextEffectRows = 11;
constexpr int kTextEffectRowLayers = 10;
struct TextEffectRow {
  uint32_t mask;
  int16_t count;
  int16_t x[kTextEffectRowLayers], y[kTextEffectRowLayers], kind[kTextEffectRowLayers];  // kind 1: text layer
};
extern TextEffectRow gTextEffectTable[kTextEffectRows];

constexpr int kTextMaxLayers = 100;
struct TextEffectSet {
  uint32_t mask;
  int32_t count;
  int16_t x[kTextMaxLayers], y[kTextMaxLayers], kind[kTextMaxLayers];
  int32_t minX, minY, maxX, maxY;
  int32_t textLayerStart;
};
extern TextEffectSet gTextEffects;

// The position after the character at `text` (its code in *code, 0 at the end of the text), or
// null when the text ends inside or at an unsupported sequence.
const char* DecodeUtf8Char(const char* text, uint32_t* code);
// Copies the effect table from its template, offsets doubled at a font scale above 1.
void RebuildTextEffectTable();
void SelectTextEffects(uint32_t mask);
int32_t GetTextWidth(const FontRecord* font, const char* text, uint32_t flags);
int32_t GetTextLineHeight(const FontRecord* font, uint32_t flags);
// Up to kTextMaxLines lines; starts and lengths (bytes) go to the arrays, which hold as many.
int32_t TextWrapLines(const char* text, const char** lineStarts, int32_t* lineLengths, int32_t width,
                      const FontRecord* font, int32_t* widest, int32_t* blockHeight, uint32_t flags);
int32_t TextBlockHeight(const FontRecord* font, const char* text, int32_t width, uint32_t flags);
// Draws one line (up to its end or a newline's glyph) from (x, y) until a glyph would pass `limit`.
void DrawTextLine(DisplaySurface* surface, const FontRecord* font, const char* text, int32_t x, int32_t y,
                  int32_t limit, uint32_t colour, uint32_t flags);

// Draws the text from (x, y) with its colour codes, cut at the right edge; the width it covers
// (the text's width, at most the space left of the edge), 0 for nothing.
int32_t DrawTextBlock(const FontRecord* font, DisplaySurface* surface, const char* text, int32_t x, int32_t y,
                      int32_t rightEdge, uint32_t colour, uint32_t flags);

FontRecord* LoadFontFile(const char* name, int32_t cellWidth, int32_t cellHeight, uint32_t flags, int32_t yOffset);
// The open font of that name, or the font loaded into the first free slot; null when all ten are
// used or the load fails.
FontRecord* OpenFont(const char* name, int32_t cellWidth, int32_t cellHeight, uint32_t flags, int32_t yOffset);
