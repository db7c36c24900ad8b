// The effect registry's entries and the leading fields of the named records the effect lookups
// read. Record-only header: the renderer includes it; the registry lives in
// scene/effect_registry.h.
#pragma once

#include <cstdint>

struct EffectObject;

// In the engine's effect table under its handle.
struct EffectEntry {
  uint32_t handle;
  char* name;            // owned; null for an effect registered without a name
  EffectObject* effect;  // stored by the renderer after registration; null until then
};
constexpr uint32_t kEffectEntryNominalBytes = 3 * 4;

// What an effect parameter record (and every record the material builder matches by name)
// begins with: an id word, then its name.
struct EffectParamHead {
  int32_t id;
  char* name;
};
