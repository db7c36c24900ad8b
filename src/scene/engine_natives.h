// The operations of the engine natives that other scene code and the GUI call as well: path
// queries (length, key position, path by lookup word), text measuring, the gamma value, camera
// lens arithmetic and blitting an image file into a texture. The screen border words come from
// the engine frame (engine_natives_stub.cpp until it is built). Fonts open through the texture
// drawing operations (B3D_OpenFont).
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "scene/texture_drawing.h"

struct CutRecord;
struct PathRecord;

// The largest last-key time over the path's six key lists; never below 0.
int32_t PathAnimEndTime(const PathRecord* path);
// The four position words of position key n; zeros for a key the path does not have.
void GetPathPos(int32_t n, const PathRecord* path, FixedVector* out);
// The last path of the cut whose lookup word is `value`; -1 when none or the cut has no paths.
int32_t FindPathByWord(const CutRecord* cut, uint32_t value);

// The 3D text font's glyph advances (256 entries; zeros until the font is loaded).
extern int32_t gText3DAdvances[256];
// The width of a UTF-8 text in 3D text glyph units: twice the advance of each character, "?" for
// a character above U+00FF; the text ends at a NUL, a decoded 0 or an undecodable lead byte.
int32_t TextWidth3D(const char* text);

// Pixel width and height of text, divided by the text scale (a scale below 1 counts as 1).
int32_t B3D_TexTextWidth(const char* text, int32_t font, uint32_t flags);
int32_t B3D_TexTextHeight(uint32_t flags, int32_t font);

// 0..255 is stored and the device gamma ramp rebuilt from it; other values change nothing.
void B3D_SetGammaValue(int32_t value);

// Lens arithmetic in angle units of pi/10000 radians. The field of view never exceeds 2500 (and a
// zero divisor gives 2500 for a positive size, else 0); the distance saturates to 32 bits and a
// NaN gives 0.
constexpr int32_t kCameraFovCap = 2500;
int32_t CameraCalcFOV(int32_t size, int32_t distance, int32_t percent);
int32_t CameraCalcDist(int32_t size, int32_t angle, int32_t percent);

// Copies a block of an image file into a texture, the rectangle scaled as the texture is and cut
// to both the image and the texture. Nothing for a missing file or texture.
struct DisplaySurface;
void BlitImageIntoTexture(DisplaySurface* image, int32_t texture, int32_t sourceX, int32_t sourceY, int32_t width,
                          int32_t height, int32_t destinationX, int32_t destinationY);
void B3D_TexBltImage(int32_t texture, const char* fileName, int32_t sourceX, int32_t sourceY, int32_t width,
                     int32_t height, int32_t destinationX, int32_t destinationY);

// The display's border words (engine frame).
int32_t ScreenBorderX();
int32_t ScreenBorderY();
