// Applying effect parameter records to an effect by their kind. Called by the material builder
// and the particle drawing; reads the record only, sets nothing a technique does not use.
#include "render/effect_params.h"

#include <cstring>

#include "scene/body_records.h"

bool ApplyEffectParam(GpuxEffect* effect, const EffectParamRecord* record) {
  if (!effect || !record || !record->name) return false;
  const GpuxHandle h = effect->GetParameterByName(kGpuxNoHandle, record->name);
  if (h == kGpuxNoHandle || !effect->IsParameterUsed(h, effect->GetCurrentTechnique())) return false;
  GpuResult result = kGpuErrInvalidCall;
  switch (record->kind) {
    case kParamLong: result = effect->SetInt(h, record->value); break;
    case kParamBool: result = effect->SetBool(h, static_cast<uint8_t>(record->value)); break;
    case kParamFloat: {
      float f;
      std::memcpy(&f, &record->value, sizeof f);
      result = effect->SetFloat(h, f);
      break;
    }
    case kParamFloat2: {
      const GpuVector4 v{record->vec2[0], record->vec2[1], 0.0f, 0.0f};
      result = effect->SetVector(h, &v);
      break;
    }
    case kParamFloat3: {
      const GpuVector4 v{record->vec3[0], record->vec3[1], record->vec3[2], 0.0f};
      result = effect->SetVector(h, &v);
      break;
    }
    case kParamFloat4: {
      const GpuVector4 v{record->vec4[0], record->vec4[1], record->vec4[2], record->vec4[3]};
      result = effect->SetVector(h, &v);
      break;
    }
    case kParamMatrix3: {
      // The upper 3 x 3 only; the fourth row and column stay zero.
      GpuMatrix m{};
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.m[r][c] = record->matrix3[r][c];
      result = effect->SetMatrix(h, &m);
      break;
    }
    case kParamMatrix4: {
      GpuMatrix m{};
      std::memcpy(m.m, record->matrix4, sizeof m.m);
      result = effect->SetMatrix(h, &m);
      break;
    }
    case kParamString: result = effect->SetString(h, record->text ? record->text : ""); break;
    default: break;
  }
  return GpuSucceeded(result);
}
