// The renderer's shader effects and their cache: the effect object a registry entry owns (two
// independent interfaces loaded from one ".fb" file), the load by name through the scene
// engine's effect registry, the release of effects, the texture slot numbers of effect parameter
// names, and four small device services the render passes call (release before a device reset,
// the gamma ramp, the viewport of a whole surface, the end of a scene).
#pragma once

#include <cstdint>

#include "platform/gpu.h"

class GpuxEffect;
struct EffectEntry;

// One loaded shader effect, owned by exactly one registry entry.
struct EffectObject {
  GpuxEffect* effects[2];  // variant 0 and variant 1; null when not (or not successfully) loaded
  char* name;              // accounted copy of the entry's name, replaced on each successful load
};

// The scene engine's effect registry lives above the renderer; the engine hands the cache its
// operations when it starts (null clears them). Without them nothing can be loaded by name.
struct EffectRegistryCalls {
  EffectEntry* (*find)(const char* name);  // ignoring case; null when none
  EffectEntry* (*add)(const char* name);   // a new entry; null when memory runs out
  void (*free)(EffectEntry* entry);        // releases the entry's object and removes the entry
  void (*onLostDevice)();                  // every registered interface, before a device reset
};
void SetEffectRegistryCalls(const EffectRegistryCalls* calls);

// The object whose slot `variant` (0 or 1) holds a loaded effect of that name, loading it when
// needed; null when it cannot be loaded, and then the name no longer stays in the registry, so a
// later request reads the file again.
EffectObject* EffectGetOrLoad(const char* name, int32_t variant);
// The same for an entry the caller holds; a failure frees nothing.
EffectObject* EffectEntryLoad(EffectEntry* entry, int32_t variant);
// Loads slot `variant` from "shader\<folder>\<name>" (type "fb"), the folder being the device's
// shader folder. A failure releases the whole object, a variant loaded before included, clears
// the entry's pointer and gives null.
EffectObject* LoadEffectFile(EffectEntry* entry, int32_t variant);
// Unbinds each interface's textures, releases both and frees the object; null is ignored.
void EffectObjectRelease(EffectObject* object);

// The texture slot of an effect parameter name: 1 "t_DiffuseTexture", 2 "t_BumpTexture",
// 3 "t_SpecularTexture", 4 "t_LightMapTexture", 5 "t_CubeMapTexture", 6 "t_DetailTexture",
// 7 "t_OcclusionTexture", 0 for any other name. The first letter must be a lower-case 't'; the
// rest ignores case.
int32_t GetTextureSlotIndex(const char* name);

// Gives back what must not survive a device reset: locked textures, the scenes' particle
// batches and draw-object vertex buffers, the effects' device resources, the environment map and
// the bloom targets. Effects stay loaded.
void RendererOnLostDevice();
// Builds the gamma ramp of a gamma value (128 about linear, 255 all white, above 255 taken as
// 255) and gives it to the device.
void GammaRampBuild(uint32_t value);
// The device viewport over the whole surface, depth 0..1; the device's answer.
GpuResult SetViewportFromSurface(GpuSurface* surface);
// Ends the device's scene; its answer is not needed by any caller.
void DeviceEndScene();
// Begins the device's scene; its answer is not needed by any caller.
void DeviceBeginScene();
