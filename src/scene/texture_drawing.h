// Drawing into textures: filled rectangles, lines, circles, pixels, block copies (plain, keyed,
// alpha, tiled, stretched) and wrapped text on the renderer's textures. Texture numbers of 0 or
// more name the texture handle table; -n names texture animation n when it is a collection of
// pieces, and each call becomes one call per piece it touches. Font-scaled textures take logical
// coordinates. While the engine records, every call on a plain texture appends its drawing record
// (the caller's logical values). Called by the B3D_ natives, the cockpit and HUD, and the replay.
// Never reports an error and never draws outside a texture: missing textures, fonts or texts draw
// nothing.
#pragma once

#include <cstdint>

struct ScriptValue;

void B3D_TexRectFill(int32_t texture, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
void B3D_TexLine(int32_t texture, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);
// The circle value goes to the blitter as the ellipse's aspect (16.16).
void B3D_TexCircle(int32_t texture, int32_t centreX, int32_t centreY, int32_t radius, int32_t circleValue,
                   uint32_t colour);
void B3D_TexCircleFill(int32_t texture, int32_t centreX, int32_t centreY, int32_t radius, int32_t circleValue,
                       uint32_t colour);
void TexSetPixel(int32_t texture, int32_t x, int32_t y, uint32_t colour);

// A colour key of 0 or more copies only source pixels above it; a negative key copies all. With
// the clip flag set the block is first cut to the destination's logical size.
void B3D_TexBltBlock(int32_t source, int32_t destination, int32_t sourceX, int32_t sourceY, int32_t destinationX,
                     int32_t destinationY, int32_t width, int32_t height, int32_t colourKey, int32_t clip);
// Blends a 32-bit source by its alpha, tinted by the blend value (0xRRGGBB).
void B3D_TexBltBlockAlpha(int32_t source, int32_t destination, int32_t sourceX, int32_t sourceY,
                          int32_t destinationX, int32_t destinationY, int32_t width, int32_t height, uint32_t blend,
                          int32_t clip);
// Covers the area with copies of one source rectangle; the right column and bottom row are cut to
// fit. Tiles of width or height 0 or less draw nothing.
void B3D_TexBltTiles(int32_t source, int32_t destination, int32_t sourceX, int32_t sourceY, int32_t tileWidth,
                     int32_t tileHeight, int32_t areaX, int32_t areaY, int32_t areaWidth, int32_t areaHeight,
                     int32_t colourKey);
void B3D_TexBltTilesAlpha(int32_t source, int32_t destination, int32_t sourceX, int32_t sourceY, int32_t tileWidth,
                          int32_t tileHeight, int32_t areaX, int32_t areaY, int32_t areaWidth, int32_t areaHeight,
                          uint32_t blend);
// The stretching copy between two plain textures: rect holds the source rectangle (left, top,
// right, bottom) and then the destination rectangle; each is cut to its texture.
void TexCopyRect(int32_t source, int32_t destination, const int32_t rect[8]);

// One line of UTF-8 text with inline colour codes, cut at the right edge; the drawn width in
// pixels (the widest piece on a collection), 0 when nothing was drawn.
int32_t TexDrawText(int32_t texture, const char* text, int32_t font, int32_t x, int32_t y, int32_t rightEdge,
                    uint32_t colour, uint32_t textFlags);
// Wrapped text (at most 100 lines); a right edge below 1 counts from the texture's right side.
// The number of lines.
int32_t B3D_TexTextBlock(int32_t texture, const char* text, int32_t font, int32_t x, int32_t y, int32_t rightEdge,
                         uint32_t colour, uint32_t textFlags);
int32_t B3D_TexTextBlockCentered(int32_t texture, const char* text, int32_t font, int32_t x, int32_t y,
                                 int32_t width, int32_t bottom, uint32_t colour, uint32_t textFlags);
int32_t B3D_TexTextBlockHeight(int32_t texture, const char* text, int32_t font, int32_t width, uint32_t textFlags);
// Sets *result to an array of the wrapped lines (the integer 0 for none); 1, or 0 on failure.
int32_t B3D_TexGetTextArray(int32_t texture, const char* text, int32_t font, int32_t width, uint32_t textFlags,
                            ScriptValue* result);

// Logical sizes: stored size divided by the font scale for font-scaled textures; 0 when missing.
int32_t B3D_TexGetWidth(int32_t texture);
int32_t B3D_TexGetHeight(int32_t texture);

// Opens the font file "<name><number>" (cell width, cell height = number, flags, y offset); the
// font number, or -1.
int32_t B3D_OpenFont(const char* name, int32_t cellWidth, int32_t number, int32_t flags, int32_t yOffset);
