// Drawing an instance's render parts with their effects: per part the material, effect and
// technique, the geometry through the state manager, the recorded material block, then the
// per-frame values (matrices, the directional lights, fade, fog, colour adjustment, the glow
// output) and the pass loop. Called by the instance drawing once per instance and camera pass.
// Never draws a part whose geometry or technique could not be set.
#pragma once

#include <cstdint>

struct BodyMesh;
struct CameraRecord;
struct InstanceRecord;
struct RenderPartSet;

// Instance flag bits read here.
constexpr uint32_t kPartsDrawable = 0x2;
constexpr uint32_t kPartsNotDrawn = 0x100000 | 0x4000000;
constexpr uint32_t kLightUnlimitedRange = 0x800000;
constexpr uint32_t kInstNoDistanceFade = 0x2000000;
constexpr uint32_t kInst2NoDepth = 0x200000;
constexpr uint32_t kInst2NoColourAdjust = 0x4000000;
constexpr uint32_t kInst2ClassicFade = 0x8000000;
// Camera flag bits read here.
constexpr uint32_t kCameraDepthTestA = 0x4;
constexpr uint32_t kCameraDepthTestB = 0x800000;
constexpr uint32_t kCameraGlowPass = 0x200000;

// The detail texture's weight never exceeds this.
constexpr float kMaxDetailWeight = 0.9f;

// 1 when drawn or skipped normally; 0 when a part's texture stays unresolved or its geometry or
// technique cannot be set up (parts drawn before stay drawn). `mode` is 2 when the caller found
// lights, else 0; the lights may be null. `mesh` is the body mesh the parts were made from.
int32_t DrawInstanceParts(RenderPartSet* set, const BodyMesh* mesh, InstanceRecord* instance, CameraRecord* camera,
                          int32_t mode, InstanceRecord* lightA, InstanceRecord* lightB, float sceneScale);

// The scene engine's texture remap (an instance's remap table id -> the replacement of a texture
// id, the id itself when the table has none). The engine registers it at start; without it the
// diffuse texture is never remapped.
using TextureRemapCall = int32_t (*)(int32_t texture, int32_t tableId);
void SetPartTextureRemap(TextureRemapCall call);
// True when the instance (or a parent) is a member of the engine's lens-flare scene, whose parts
// draw with the "effects" effect.
bool InstInLensFlareScene(const InstanceRecord* instance);
// The detail texture's blend weight for an instance of 16.16 `size` at integer `distance` from a
// camera with `fieldOfView` (65536 = one turn): the detail fades with the instance's screen size,
// at most kMaxDetailWeight, and exactly that at distance 0 or without a field of view.
float DetailBlendWeight(int32_t size, int32_t distance, uint32_t fieldOfView);
