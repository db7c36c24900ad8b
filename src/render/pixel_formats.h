// The pixel-format descriptors the texture loader reads, the colour conversion the material
// matcher uses, and the device facts the loader asks. The descriptors are filled when the
// renderer's resources are created; until then the table is empty and textures do not load.
#pragma once

#include <cstdint>

struct PixelFormatDesc {
  uint32_t kind;  // loader bits: 0x1 8-bit palettised, 0x2 4-bit, 0x4 by bitsPerPixel
  uint32_t bitsPerPixel;
  uint32_t words[13];
};

constexpr uint32_t kFormatKind8Bit = 0x1;
constexpr uint32_t kFormatKind4Bit = 0x2;
constexpr uint32_t kFormatKindBits = 0x4;

// Keys of the device's opaque and transparent texture formats (format index + 1); the
// transparent key is -1 when both formats are the same.
extern int32_t gOpaqueFormatKey;
extern int32_t gTransparentFormatKey;

// True once the format table exists.
bool HasPixelFormatTable();
// The descriptor stored under key, or null.
const PixelFormatDesc* FindPixelFormatDesc(int32_t key);
// Stores a copy of the descriptor under key (creating the table).
void StorePixelFormatDesc(int32_t key, const PixelFormatDesc& desc);
void ClearPixelFormatTable();

// 16.16 hue (degrees), 16.16 saturation and value (0..65535) of three 0..65535 components.
void RgbToHsv(const int32_t rgb[3], int32_t hsv[3]);

// Set when the device is created: true for a hardware device.
extern bool gDeviceIsHal;
bool DeviceIsHal();
// Unbinds every texture the effects hold.
void EffectTexturesUnbindAll();
