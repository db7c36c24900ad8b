// The engine natives' own operations: path queries, 3D and texture text measuring, the gamma
// value, camera lens arithmetic and the image blit into a texture, and the module's name table.
// Called by the native dispatcher, the jobs and the 3D text. No arithmetic here converts an
// infinity or NaN to an integer, and no blit leaves the image or the texture.
#include "scene/engine_natives.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/system_block.h"
#include "render/display_surface.h"
#include "render/blitter.h"
#include "render/effect_cache.h"
#include "render/fonts.h"
#include "render/image_records.h"
#include "render/material_table.h"
#include "render/render.h"
#include "render/texture_table.h"
#include "scene/cut_keys.h"
#include "scene/engine_dispatch.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"

int32_t gText3DAdvances[256];

namespace {

template <typename Key>
int32_t LastTime(const KeyList<Key>& list, int32_t longest) {
  if (list.count > 0 && list.keys && list.keys[list.count - 1].time > longest) return list.keys[list.count - 1].time;
  return longest;
}

int32_t TextScale() { return gSystem && gSystem->fontScale > 1 ? gSystem->fontScale : 1; }

constexpr int32_t kUnknownGlyph = '?';
constexpr double kAngleUnitsPerPi = 10000.0;

// The image-format flags of the settings, adapted to the display's depth.
constexpr uint32_t kImageDepth16 = 0x100;
constexpr uint32_t kImageDepth24 = 0x200;
constexpr uint32_t kImageDepth32 = 0x2000;
uint32_t ImageFlags() {
  uint32_t flags = gSystem ? gSystem->videoFlags : 0;
  const int32_t depth = gSystem ? gSystem->colourDepth : 32;
  if (depth < 24) {
    flags = (flags | kImageDepth16) & ~kImageDepth24;
  } else if (depth < 32) {
    flags = (flags | kImageDepth24) & ~kImageDepth16;
  } else {
    flags = (flags & ~(kImageDepth16 | kImageDepth24)) | kImageDepth32;
  }
  return flags;
}

// Cuts [start, start + length) to [0, limit); the amount cut from the front goes to `shift`.
void CutSpan(int32_t* start, int32_t* length, int32_t limit, int32_t* shift) {
  *shift = 0;
  if (*start < 0) {
    *shift = -*start;
    *length = static_cast<int32_t>(std::max<int64_t>(int64_t{*length} + *start, INT32_MIN));
    *start = 0;
  }
  if (*start + int64_t{*length} > limit) *length = limit - *start;
}

}  // namespace

int32_t PathAnimEndTime(const PathRecord* path) {
  int32_t longest = 0;
  longest = LastTime(path->positions, longest);
  longest = LastTime(path->rotations, longest);
  longest = LastTime(path->targets, longest);
  longest = LastTime(path->rolls, longest);
  longest = LastTime(path->colors, longest);
  return LastTime(path->fieldsOfView, longest);
}

void GetPathPos(int32_t n, const PathRecord* path, FixedVector* out) {
  *out = FixedVector{};
  if (path && n >= 0 && n < path->positions.count && path->positions.keys) *out = path->positions.keys[n].position;
}

int32_t FindPathByWord(const CutRecord* cut, uint32_t value) {
  if (!cut || !cut->paths) return -1;
  for (int32_t n = cut->pathCount - 1; n >= 0; --n)
    if (cut->paths[n].lookupWord == value) return n;
  return -1;
}

int32_t TextWidth3D(const char* text) {
  if (!text) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  int32_t width = 0;
  while (*p) {
    uint32_t code = 0;
    const uint8_t lead = *p;
    if (lead < 0x80) {
      code = lead;
      p += 1;
    } else if (lead < 0xE0) {
      if (!p[1]) break;
      code = ((lead & 31u) << 6) | (p[1] & 63u);
      p += 2;
    } else if (lead < 0xF0) {
      if (!p[1] || !p[2]) break;
      code = ((uint32_t{lead} << 12) + ((p[1] & 63u) << 6) + (p[2] & 63u)) & 0xFFFF;
      p += 3;
    } else {
      break;
    }
    if (code == 0) break;
    if (code > 0xFF) code = kUnknownGlyph;
    width += 2 * gText3DAdvances[code];
  }
  return width;
}

int32_t B3D_TexTextWidth(const char* text, int32_t font, uint32_t flags) {
  const FontRecord* record = font >= 0 && font < kFontTableSize ? gFontTable[font] : nullptr;
  if (!record || !text) return 0;
  return GetTextWidth(record, text, flags) / TextScale();
}

int32_t B3D_TexTextHeight(uint32_t flags, int32_t font) {
  const FontRecord* record = font >= 0 && font < kFontTableSize ? gFontTable[font] : nullptr;
  if (!record) return 0;
  if ((flags & kTextEffectBits) != gTextEffects.mask) SelectTextEffects(flags & kTextEffectBits);
  return (gTextEffects.maxY - gTextEffects.minY + record->cellHeight) / TextScale();
}

void B3D_SetGammaValue(int32_t value) {
  if (!gEngine3D || value < 0 || value > 255) return;
  gEngine3D->gammaValue = value;
  GammaRampBuild(static_cast<uint32_t>(value));
}

int32_t CameraCalcFOV(int32_t size, int32_t distance, int32_t percent) {
  const double divisor = static_cast<double>(distance) * percent * 0.01;
  if (divisor == 0.0) return size > 0 ? kCameraFovCap : 0;
  const double angle = std::atan(size / divisor) * kAngleUnitsPerPi / std::numbers::pi;
  return std::min(static_cast<int32_t>(angle), kCameraFovCap);
}

int32_t CameraCalcDist(int32_t size, int32_t angle, int32_t percent) {
  const double divisor = std::tan(angle * std::numbers::pi / kAngleUnitsPerPi) * percent * 0.01;
  const double distance = size / divisor;
  if (std::isnan(distance)) return 0;
  if (distance >= 2147483647.0) return INT32_MAX;
  if (distance <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(distance);
}

void BlitImageIntoTexture(DisplaySurface* image, int32_t texture, int32_t sourceX, int32_t sourceY, int32_t width,
                          int32_t height, int32_t destinationX, int32_t destinationY) {
  DisplaySurface* target = texture >= 0 ? GetTextureHandle(static_cast<int16_t>(texture)) : nullptr;
  if (!image || !target) return;
  int32_t scale = 1;
  if (gMaterialTable && texture < gMaterialCount && (gMaterialTable[texture].flags & MPF_FONTSCALE)) scale = TextScale();
  // The scaled coordinates are 16-bit products, as the blitter's rectangles are.
  auto scaled = [scale](int32_t v) { return static_cast<int32_t>(static_cast<int16_t>(int64_t{v} * scale)); };
  int32_t sx = scaled(sourceX), sy = scaled(sourceY), w = scaled(width), h = scaled(height);
  int32_t dx = scaled(destinationX), dy = scaled(destinationY), shift = 0;
  // Cut to the image, then to the texture, moving the other rectangle's corner along.
  CutSpan(&sx, &w, image->width, &shift);
  dx += shift;
  CutSpan(&sy, &h, image->height, &shift);
  dy += shift;
  CutSpan(&dx, &w, target->width, &shift);
  sx += shift;
  CutSpan(&dy, &h, target->height, &shift);
  sy += shift;
  if (w > 0 && h > 0) BlitBlockTo(image, target, sx, sy, dx, dy, w, h);
}

void B3D_TexBltImage(int32_t texture, const char* fileName, int32_t sourceX, int32_t sourceY, int32_t width,
                     int32_t height, int32_t destinationX, int32_t destinationY) {
  if (!fileName || texture < 0 || !GetTextureHandle(static_cast<int16_t>(texture))) return;
  DisplaySurface* image = LoadImageFile(fileName, ImageFlags(), 0, 0);
  if (!image) return;
  BlitImageIntoTexture(image, texture, sourceX, sourceY, width, height, destinationX, destinationY);
  ReleaseImageHandle(&image);
}

const char* const* B3DNameTable() { return kEngineNativeNames; }

const char* const kEngineNativeNames[kEngineNativeCount + 1] = {
    "B3D_InstAlloc", "B3D_LightAlloc", "B3D_InstFree", "B3D_InstSetBody", "B3D_LightFree", "B3D_CameraAlloc",
    "B3D_CameraFree", "B3D_SceneAlloc", "B3D_SceneClear", "B3D_SceneFree", "B3D_SceneEnable", "B3D_SceneDisable",
    "B3D_InstAddToScene", "B3D_InstDeleteFromScene", "B3D_LightAddToScene", "B3D_LightDeleteFromScene",
    "B3D_CameraAddToScene", "B3D_CameraDeleteFromScene", "B3D_InstAddToInst", "B3D_SetEngineFlags",
    "B3D_ClearEngineFlags", "B3D_GetEngineFlags", "B3D_InstSetPos", "B3D_InstSetRot", "B3D_InstCopyRot",
    "B3D_LightSetPos", "B3D_LightSetColor", "B3D_LightSetRange", "B3D_LightSetParameters",
    "B3D_LightSetAttenuation", "B3D_SceneGetCamera", "B3D_InstSetSize", "B3D_InstSetScale",
    "B3D_InstSetOverrideEffect", "B3D_InstSetOverrideEffectPar", "B3D_InstSetAlphaOverride",
    "B3D_InstSetAlphaOverrideRecursive", "B3D_InstGetAlphaOverride", "B3D_InstSetInvis", "B3D_InstSetSizeUsed",
    "B3D_InstGetFlags", "B3D_InstGetFlags2", "B3D_InstSetFlags", "B3D_InstSetFlags2", "B3D_GetTextureID",
    "B3D_PreCacheTexture", "B3D_InstSetAnimTextureIndex", "B3D_InstSetAnimTextureCoords", "B3D_InstSetPass",
    "B3D_InstFindByBodyID", "B3D_InstFind", "B3D_CameraFind", "B3D_SceneSetViewPort", "B3D_SceneSetFlags",
    "B3D_SceneGetFlags", "B3D_FreeAllBodies", "B3D_CameraSetViewPort", "B3D_CameraGetViewPort",
    "B3D_CameraGetFlags", "B3D_CameraSetFlags", "B3D_CameraSetPri", "B3D_CameraSetFocus", "B3D_CameraGetFocus",
    "B3D_CameraSetBackgroundColor", "B3D_CameraSetAspectRatio", "B3D_CameraSetAspect", "B3D_CameraSetFog",
    "B3D_CameraSetCausticAnim", "B3D_CameraSetFadeValue", "B3D_CameraSetEnvironmentSource", "B3D_CameraCalcFOV",
    "B3D_CameraCalcDist", "B3D_CameraCalcOrientation", "B3D_CameraSetOrientation", "B3D_CameraShake",
    "B3D_SceneSetSystemScale", "B3D_InstSetName", "B3D_InstMakeRapidBox", "B3D_InstGetSize",
    "B3D_InstGetTotalSize", "B3D_InstGetBody", "B3D_InstGetPos", "B3D_InstGetAbsPos", "B3D_InstGetZDir",
    "B3D_InstGetAbsZDir", "B3D_FindBody", "B3D_MemStatistics", "B3D_InitRecording", "B3D_ExitRecording",
    "B3D_InitReplay", "B3D_ExitReplay", "B3D_SetFlags", "B3D_GetFlags", "B3D_TexRectFill", "B3D_TexTextBlock",
    "B3D_TexNearestPen", "B3D_TexTextWidth", "B3D_TexTextHeight", "B3D_TexTextBlockHeight",
    "B3D_TexSetTextBGColor", "B3D_TexGetTextArray", "B3D_TexGetWidth", "B3D_TexGetHeight", "B3D_SceneSetName",
    "B3D_TexLine", "B3D_TexBltBlock", "B3D_TexBltBlockAlpha", "B3D_TexBltTiles", "B3D_TexBltTilesAlpha",
    "B3D_TexBltImage", "B3D_OpenFont", "B3D_DisableAllObjects3D", "B3D_EnableAllObjects3D", "B3D_ScreenGetWidth",
    "B3D_ScreenGetHeight", "B3D_ScreenGetAspectX", "B3D_ScreenGetAspectY", "B3D_ScreenGetBorderX",
    "B3D_ScreenGetBorderY", "B3D_SetFadeValue", "B3D_TexCircle", "B3D_TexCircleFill", "B3D_SetShadowAlpha",
    "B3D_InstGetChildren", "B3D_InstDistanceToNearestVertex", "B3D_GetGammaValue", "B3D_SetGammaValue",
    "B3D_ReloadStaticData", "B3D_DumpUsedBodies", "B3D_GetBodyID", "B3D_GetCutID", "B3D_GetBodyFilename",
    "B3D_GetCutFilename", "B3D_InstGetPathNr", "B3D_GetIconData", "B3D_InstSetIcon", "B3D_InstSetColorModifier",
    "B3D_InstGetScale", "B3D_TexTextBlockCentered", "B3D_InstGetCollCenterX", "B3D_InstGetCollCenterY",
    "B3D_InstGetCollCenterZ", "B3D_SetScreenOverlay", "B3D_ClearScreenOverlay", "J3D_GetNumPaths",
    "J3D_GetPathBody", "J3D_GetPathCut", "J3D_GetPathSerial", "J3D_GetPathFather", "J3D_GetPathFlags",
    "J3D_GetPathPosAndRot", "J3D_GetPathName", "J3D_JobStart", "J3D_JobStartS", "J3D_JobStop",
    "J3D_JobGetRemainingTime", "J3D_FindPath", "J3D_LoadCut", "J3D_FreeCut", "J3D_SetCutPos", "J3D_TakeAlloc",
    "J3D_TakeStart", "J3D_TakeStop", "J3D_TakeFree", "J3D_JobPlay", "J3D_JobPlayS", "J3D_JobPlayAsync",
    "J3D_JobPlayAsyncS", nullptr};
