// The cockpit's tooltip: a framed text box drawn into texture 1230 and shown on a flat model in
// the cockpit's "Tooltip Scene" once its delay has passed. Called by the INS_ tooltip natives.
// The show-time, placement and frame rules live in tooltip_layout.
#pragma once

#include <cstdint>

struct TooltipRecord;

constexpr int32_t kTooltipTexture = 1230;
constexpr char kTooltipBody[] = "effects/menugfx/gui/tooltip";
constexpr char kTooltipFrameTexture[] = "Interface/interface_template_quillmarsh_diff";
constexpr uint32_t kTooltipTextColour = 0xFFD2D2D2;

// Shows the text for `owner` at (x, y) once `delay` ms have passed; a null text hides the tooltip.
void ShowTooltip(const char* text, int32_t owner, int32_t x, int32_t y, int32_t delay, TooltipRecord* tooltip);
// Hides the tooltip when `owner` is 0 or the owner that showed it.
void HideTooltip(TooltipRecord* tooltip, int32_t owner);
// Draws the box and its text into texture 1230 and places the tooltip's model at the box.
void DrawTooltip(TooltipRecord* tooltip);
