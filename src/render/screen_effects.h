// Full-screen effects drawn over the 3D picture: bloom (render targets, a screen quad and the
// routing of the "bloom" effect's passes by their "RenderColorTarget0" annotation), the screen
// tint over one camera's viewport and the named screen overlay (a mask texture, then a colour
// texture added on top). Called by the renderer's 3D set-up and device loss (the bloom targets)
// and by the scene engine's frame driver and cameras. Never leaves the device without its own
// render target and depth surface after bloom.
#pragma once

#include <cstdint>

#include "platform/gpu.h"

struct CameraRecord;

// The bloom render targets, each null when absent.
struct BloomTargets {
  GpuTexture* sceneMap;  // the back buffer's size
  GpuTexture* glowMap1;  // half of it, whole pixels
  GpuTexture* glowMap2;
  GpuVertexDeclaration* quadDeclaration;  // FLOAT4 position, FLOAT2 texture coordinate
  GpuVertexBuffer* quadBuffer;            // the four corners of the screen at depth 1
};
extern BloomTargets gBloomTargets;

// Made by the 3D set-up when the glow filter is on, released before a device reset and with the
// renderer's globals. Creation releases what exists first; a target that cannot be made stays null.
void BloomCreateTargets();
void BloomReleaseTargets();
// The bloom post-process over the back buffer; nothing unless glow is on in the settings and the
// device, every target exists and the "bloom" effect loads.
void RenderBloom();

// A flat ARGB colour over the camera's viewport; an alpha of 0 draws nothing. Always true.
bool DrawScreenTint(uint32_t colour, CameraRecord* camera);
// The overlay `name`: its "<name>_alpha8" mask darkens the picture, its "<name>_diff" colour is
// added on top; with `tiled` each texel covers one pixel, repeated. Always true.
bool DrawScreenOverlay(const char* name, int32_t tiled);
