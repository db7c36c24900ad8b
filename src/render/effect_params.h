// Setting one effect parameter record (a body material's parameter, or a value the drawing code
// makes as a record) on an effect: by the record's kind, and only when the effect's current
// technique uses the parameter. Called by the material builder and the particle drawing. Never
// keeps the record: the caller owns and frees it.
#pragma once

#include "platform/gpu_effect.h"

struct EffectParamRecord;

// True when the effect has a top-level parameter of the record's name, the current technique
// uses it, and the setter of the record's kind succeeded; false otherwise (nothing is set).
bool ApplyEffectParam(GpuxEffect* effect, const EffectParamRecord* record);
