// The cockpit's tooltip (see tooltips.h): show time, placement and the box drawn into its texture.
#include "frontend/hud/tooltips.h"

#include <cstring>

#include "core/memory.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/tooltip_layout.h"
#include "render/fonts.h"
#include "scene/body_cache.h"
#include "scene/body_names.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/texture_drawing.h"

namespace {

// Bits 9, 10, 12 and 14: a flat screen model that keeps its own matrix.
constexpr uint32_t kTooltipInstanceFlags = 0x5600;
constexpr int32_t kModelOffset = kTooltipTextureSize / 2;
constexpr int32_t kTextInset = 3;
constexpr uint32_t kTextFlags = 1;

uint32_t BlinkClock() { return gSystem ? gSystem->realTime : 0; }
int32_t ScaleDivisor() { return gSystem && gSystem->fontScale > 1 ? gSystem->fontScale : 1; }

const FontRecord* HudFont() {
  const int32_t font = gGuiMaster ? gGuiMaster->font : -1;
  return font >= 0 && font < kFontTableSize ? gFontTable[font] : nullptr;
}

void EnsureTooltipModel(TooltipRecord* t) {
  if (t->instance) return;
  InstanceRecord* model = B3D_InstAlloc();
  if (!model) return;
  const int32_t body = B3D_GetBodyID(kTooltipBody);
  if (body > 0) B3D_InstSetBody(model, body);
  model->flags |= kTooltipInstanceFlags;
  if (t->scene) AddInstanceToScene(model, t->scene);
  t->instance = model;
}

}  // namespace

void HideTooltip(TooltipRecord* t, int32_t owner) {
  if (!t || (owner != 0 && owner != t->tooltipId)) return;
  t->shown = 0;
  // The tooltip's model and the chain behind it.
  for (InstanceRecord* i = t->instance; i; i = InstNextSibling(i)) i->flags |= kInstInvisible;
  t->tooltipId = 0;
}

void ShowTooltip(const char* text, int32_t owner, int32_t x, int32_t y, int32_t delay, TooltipRecord* t) {
  if (!t) return;
  if (!text) {
    HideTooltip(t, owner);
    return;
  }
  const bool showing = t->shown && t->text;
  const bool sameText = showing && std::strcmp(t->text, text) == 0;
  t->visibleTime = TooltipShowTime(showing, sameText, t->visibleTime, BlinkClock(), delay);
  if (!sameText) {
    char* copy = DuplicateString(text);
    if (!copy) return;
    FreeString(t->text);
    t->text = copy;
  }
  t->tooltipId = owner;
  t->shown = 1;
  const FontRecord* font = HudFont();
  const TooltipBox box =
      PlaceTooltip(font ? GetTextWidth(font, text, kTextFlags) : 0, font ? GetTextLineHeight(font, kTextFlags) : 0,
                   ScaleDivisor(), x, y, gSystem ? gSystem->screenWidth : 0, gSystem ? gSystem->screenHeight : 0);
  t->x = box.x;
  t->y = box.y;
  t->width = box.width;
  t->height = box.height;
  DrawTooltip(t);
}

void DrawTooltip(TooltipRecord* t) {
  if (!t) return;
  EnsureTooltipModel(t);
  if (t->instance) {
    t->instance->position = FixedVector{SaturateToInt32(int64_t{t->x} + kModelOffset),
                                        SaturateToInt32(int64_t{t->y} + kModelOffset), 0, 0};
  }
  B3D_TexRectFill(kTooltipTexture, 0, 0, kTooltipTextureSize, kTooltipTextureSize, 0);
  const int32_t frame = B3D_GetTextureID(kTooltipFrameTexture, 0);
  TooltipFramePart parts[kTooltipFrameParts];
  TooltipFrame(t->width, t->height, parts);
  for (const TooltipFramePart& p : parts) {
    if (p.tiled) {
      B3D_TexBltTiles(frame, kTooltipTexture, p.sourceX, p.sourceY, p.sourceWidth, p.sourceHeight, p.x, p.y, p.width,
                      p.height, -1);
    } else {
      B3D_TexBltBlock(frame, kTooltipTexture, p.sourceX, p.sourceY, p.x, p.y, p.width, p.height, -1, 1);
    }
  }
  if (t->text && gGuiMaster) {
    TexDrawText(kTooltipTexture, t->text, gGuiMaster->font, kTextInset, kTextInset, kTooltipTextureSize,
                kTooltipTextColour, kTextFlags);
  }
}
