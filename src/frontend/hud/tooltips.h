// The cockpit's tooltip: a framed text box drawn into a texture and shown in the cockpit's
// tooltip scene after a delay. Called by INS_ShowTooltip. Least form until the tooltips are built
// (tooltips_stub.cpp).
#pragma once

#include <cstdint>

struct TooltipRecord;

// Shows the text for `owner` at (x, y) once `delay` ms have passed; a null text hides the tooltip.
void ShowTooltip(const char* text, int32_t owner, int32_t x, int32_t y, int32_t delay, TooltipRecord* tooltip);
