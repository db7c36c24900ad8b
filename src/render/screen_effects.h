// Full-screen effects drawn over the 3D picture: bloom, the screen tint and the screen overlay.
// Least form until they are built (screen_effects_stub.cpp): the tint over one camera's viewport
// that the scene engine's cameras forward to, and the bloom targets the 3D set-up and the device
// loss make and release.
#pragma once

#include <cstdint>

struct CameraRecord;

// A flat ARGB colour over the camera's viewport; an alpha of 0 draws nothing. Always true.
bool DrawScreenTint(uint32_t colour, CameraRecord* camera);

// The bloom render targets: made by the 3D set-up when the glow filter is on, released before a
// device reset and with the renderer's globals.
void BloomCreateTargets();
void BloomReleaseTargets();
