// The light type table rows and the renderer's light slots kept in the engine state. A light
// itself is an instance with flag bit 2. Record-only header: the renderer includes it.
#pragma once

#include <cstdint>

constexpr int kLightTypeCount = 1000;
constexpr int kActiveLightCapacity = 255;  // at most 254 lights and a null end
constexpr int kLightSlotCapacity = 8;

// Light type kinds.
constexpr int16_t kLightKindDirectional = 1;
constexpr int16_t kLightKindPoint = 2;
constexpr int16_t kLightKindSpot = 3;

// A row of the LightTypes type file: kind and colour in 16 bits each, then the type's first
// parameter (secondValue), its second (parameter) and two further words.
struct LightTypeRecord {
  int16_t kind;
  int16_t red, green, blue;
  int32_t secondValue;
  int32_t parameter;
  int32_t words[2];
};

struct LightSlot {
  int32_t light;  // index in the active light list; -1 = empty
  int32_t weight;
  int32_t distance;
};
