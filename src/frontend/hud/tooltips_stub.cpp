// The least form of the tooltips: nothing is shown. Called by INS_ShowTooltip.
#include "frontend/hud/tooltips.h"

void ShowTooltip(const char*, int32_t, int32_t, int32_t, int32_t, TooltipRecord*) {}
