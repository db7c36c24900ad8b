// Lights and light selection: a light is an instance with flag bit 2. Per camera the lights that
// can reach it are gathered into the engine's active light list; per drawn instance the heaviest
// of those are ranked into the light slots that the renderer turns into device lights. The rows
// and slots are in scene/light_records.h. Called by the natives and the frame driver.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct CameraRecord;
struct InstanceRecord;
struct LightSlot;
struct SceneRecord;

// Weight of a light with no kind bit: never placed.
constexpr int32_t kLightWeightNone = -1;
// A directional light's weight is its brightness raised by this, above any ranged light.
constexpr int32_t kDirectionalLightBonus = 768;
// The least weight a light needs before any slot is full.
constexpr int32_t kLightThreshold = 15;
// A ranged light is gathered while (range << 16) / distance reaches this (about 20 ranges).
constexpr int64_t kLightReachFraction = 3277;

// A light under a new handle, in the engine's free instance list; null on failure.
InstanceRecord* B3D_LightAlloc();
// Adds the kind bits, parameter and second-value bit of light type `type` (0..999); any type
// then refreshes the light's device record.
void B3D_LightSetParameters(InstanceRecord* light, int32_t type);
void B3D_LightSetColor(InstanceRecord* light, int32_t red, int32_t green, int32_t blue);
void B3D_LightSetRange(InstanceRecord* light, int32_t range);

// Fills the active light list for the viewer and ends it with a null.
void SceneCollectLights(SceneRecord* scene, CameraRecord* viewer);
// The same for a point in world units (an instance's world position, say).
void SceneCollectLightsAt(SceneRecord* scene, const FixedVector* at);
// Fills and orders the light slots for one instance; small instances keep the previous slots.
void InstSelectLights(InstanceRecord* instance);
void ResetLightSlots();
// qsort-style order of two slots, heavier first.
int CompareLightSlots(const void* a, const void* b);
