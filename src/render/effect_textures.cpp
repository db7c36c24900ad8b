// The effect texture bindings in one map ordered by effect interface and parameter handle, with
// the reference each binding holds on its texture id; the material texture lookup with its
// low-quality bump names; the vector lengths. Called by the drawing units, the texture table
// (before it frees textures), the image records and the body materials. Never leaves a count
// raised for a binding it forgot.
#include "render/effect_textures.h"

#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/d3d_context.h"
#include "render/display_surface.h"
#include "render/texture_table.h"

namespace {

constexpr int32_t kSlotBump = 2;
constexpr int32_t kSlotLast = 7;
constexpr int32_t kNoTexture = -1;
constexpr const char kBumpMark[] = "_bump";
constexpr const char kLowBumpMark[] = "_low_bump";

struct Binding {
  GpuBaseTexture* texture;
  int32_t textureId;  // -1 after an unbind by texture
};

// Ordered by the effect's address, then the handle, both as unsigned words.
using BindingKey = std::pair<uintptr_t, GpuxHandle>;
std::map<BindingKey, Binding> gBindings;

BindingKey KeyOf(GpuxEffect* effect, GpuxHandle parameter) {
  return {reinterpret_cast<uintptr_t>(effect), parameter};
}
GpuxEffect* EffectOf(const BindingKey& key) { return reinterpret_cast<GpuxEffect*>(key.first); }

// The texture parameters a caller that does not know the slot may name; the bump one follows
// the bump rule.
constexpr const char* kUnslottedNames[] = {"t_DiffuseTexture", "t_SpecularTexture", "t_LightMapTexture",
                                           "t_CubeMapTexture", "t_DetailTexture"};
constexpr const char kBumpParameter[] = "t_BumpTexture";

int16_t FindBumpTexture(const char* textureName) {
  if (gSystem && (gSystem->d3dFlags2 & kD3D2Not20)) return FindTextureByName(MakeLowBumpName(textureName).c_str(), 0);
  return FindTextureByName(textureName, 0);
}

int32_t TruncatedLength(double squares) {
  const double length = std::sqrt(squares);
  return length >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(length);
}

}  // namespace

bool EffectSetTexture(GpuxEffect* effect, GpuxHandle parameter, GpuBaseTexture* texture, int32_t textureId) {
  if (!effect || parameter == kGpuxNoHandle) return false;
  const BindingKey key = KeyOf(effect, parameter);
  auto found = gBindings.find(key);
  if (found == gBindings.end()) {
    if (GpuFailed(effect->SetTexture(parameter, texture))) return false;
    gBindings.emplace(key, Binding{texture, textureId});
    TextureAddRef(textureId);
    return true;
  }
  Binding& binding = found->second;
  if (binding.texture == texture) return true;
  if (GpuFailed(effect->SetTexture(parameter, texture))) return false;
  TextureRelease(binding.textureId);
  binding = Binding{texture, textureId};
  TextureAddRef(textureId);
  return true;
}

void EffectTexturesUnbindTexture(DisplaySurface* loaded) {
  if (!loaded || !loaded->deviceTexture) return;
  for (auto& [key, binding] : gBindings) {
    if (binding.texture != loaded->deviceTexture) continue;
    EffectOf(key)->SetTexture(key.second, nullptr);
    TextureRelease(binding.textureId);
    binding = Binding{nullptr, kNoTexture};
  }
}

void EffectTexturesUnbindEffect(GpuxEffect* effect) {
  if (!effect) return;
  const auto first = gBindings.lower_bound(KeyOf(effect, 0));
  auto last = first;
  while (last != gBindings.end() && EffectOf(last->first) == effect) {
    effect->SetTexture(last->first.second, nullptr);
    TextureRelease(last->second.textureId);
    ++last;
  }
  gBindings.erase(first, last);
}

void EffectTexturesUnbindAll() {
  for (auto& [key, binding] : gBindings) {
    EffectOf(key)->SetTexture(key.second, nullptr);
    TextureRelease(binding.textureId);
  }
  gBindings.clear();
}

int32_t EffectTextureBindingCount() { return static_cast<int32_t>(gBindings.size()); }

int16_t LoadMaterialTexture(const char* paramName, int32_t slot, const char* textureName) {
  if (!paramName || !textureName) return kNoTexture;
  if (slot == 0) {
    if (TextEqualsIgnoringCase(paramName, kBumpParameter)) return FindBumpTexture(textureName);
    for (const char* name : kUnslottedNames) {
      if (TextEqualsIgnoringCase(paramName, name)) return FindTextureByName(textureName, 0);
    }
    return kNoTexture;
  }
  if (paramName[0] != 't' || slot < 1 || slot > kSlotLast) return kNoTexture;
  return slot == kSlotBump ? FindBumpTexture(textureName) : FindTextureByName(textureName, 0);
}

std::string MakeLowBumpName(const char* textureName) {
  std::string name = textureName ? textureName : "";
  const size_t at = name.rfind(kBumpMark);
  if (at != std::string::npos) name.replace(at, std::strlen(kBumpMark), kLowBumpMark);
  return name;
}

int32_t VectorLengthF(float x, float y, float z) {
  return TruncatedLength(double(x) * x + double(y) * y + double(z) * z);
}

int32_t VectorLengthI(const FixedVector* v) {
  return TruncatedLength(double(v->x) * v->x + double(v->y) * v->y + double(v->z) * v->z);
}

int32_t VectorDistanceI(const FixedVector* a, const FixedVector* b) {
  const double dx = double(b->x) - a->x, dy = double(b->y) - a->y, dz = double(b->z) - a->z;
  return TruncatedLength(dx * dx + dy * dy + dz * dz);
}
