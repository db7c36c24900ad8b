// Fuzz target of the ".fb" effect reader: the input is an effect text. It is parsed, and an
// effect that parses is built on the recording null device and walked: every parameter is read
// and set, and every technique that validates is begun with each pass.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/gpu.h"
#include "platform/gpu_effect.h"
#include "platform/gpu_effect_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  GpuxFbEffect file;
  std::string error;
  bool parsed = GpuxParseEffectFile(text, size, &file, &error);
  if (parsed != error.empty()) __builtin_trap();
  GpuxEffect* effect = nullptr;
  if (GpuFailed(GpuxCreateEffect(fuzz::NullGpuDevice(), text, size, "fuzz.fb", &effect, &error))) {
    if (parsed && error.empty()) __builtin_trap();
    return 0;
  }
  const GpuVector4 v{0.5f, 1.0f, 2.0f, 3.0f};
  GpuMatrix m{};
  for (const GpuxFbParam& p : file.params) {
    GpuxHandle h = effect->GetParameterByName(kGpuxNoHandle, p.name.c_str());
    if (!h) __builtin_trap();
    GpuxHandle target = p.elements ? effect->GetParameterElement(h, p.elements - 1) : h;
    if (p.type == kGpuxFbStruct) target = effect->GetParameterByName(target, p.members.front().name.c_str());
    effect->SetFloat(target, 2.0f);
    effect->SetVector(target, &v);
    effect->SetMatrix(target, &m);
    effect->GetMatrix(target, &m);
    effect->SetString(target, "x");
    effect->IsParameterUsed(h, effect->GetTechnique(0));
  }
  for (uint32_t t = 0; t < file.techniques.size(); ++t) {
    GpuxHandle technique = effect->GetTechnique(t);
    if (GpuFailed(effect->ValidateTechnique(technique))) continue;
    effect->SetTechnique(technique);
    uint32_t passes = 0;
    if (GpuFailed(effect->Begin(&passes, kGpuxFxDoNotSaveState))) __builtin_trap();
    for (uint32_t p = 0; p < passes; ++p) {
      effect->BeginPass(p);
      effect->CommitChanges();
      effect->EndPass();
    }
    effect->End();
  }
  if (effect->Release() != 0) __builtin_trap();
  return 0;
}
