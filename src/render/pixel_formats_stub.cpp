// The least form of the pixel-format table and device facts until the device helpers are built:
// descriptors stored by key in a small table, a software device, no effect bindings to drop.
// The colour conversion is complete. Called by the texture loader and the material matcher.
#include <cstdint>
#include <algorithm>
#include <map>

#include "render/pixel_formats.h"
#include "render/render_logo.h"

int32_t gOpaqueFormatKey = 0;
int32_t gTransparentFormatKey = -1;
bool gDeviceIsHal = false;

static std::map<int32_t, PixelFormatDesc>* gFormatTable = nullptr;

bool HasPixelFormatTable() { return gFormatTable != nullptr; }

const PixelFormatDesc* FindPixelFormatDesc(int32_t key) {
  if (!gFormatTable) return nullptr;
  const auto found = gFormatTable->find(key);
  return found == gFormatTable->end() ? nullptr : &found->second;
}

void StorePixelFormatDesc(int32_t key, const PixelFormatDesc& desc) {
  if (!gFormatTable) gFormatTable = new std::map<int32_t, PixelFormatDesc>();
  (*gFormatTable)[key] = desc;
}

void ClearPixelFormatTable() {
  delete gFormatTable;
  gFormatTable = nullptr;
}

void RgbToHsv(const int32_t rgb[3], int32_t hsv[3]) {
  const int64_t r = rgb[0], g = rgb[1], b = rgb[2];
  const int64_t max = std::max({r, g, b});
  const int64_t min = std::min({r, g, b});
  hsv[2] = static_cast<int32_t>(max);
  hsv[1] = max == 0 ? 0 : static_cast<int32_t>((max - min) * 65536 / max);
  if (hsv[1] == 0) {
    hsv[0] = 1;
    return;
  }
  const int64_t d = max - min;
  int64_t h;
  if (r == max) {
    h = (g - b) * 65536 / d;
  } else if (g == max) {
    h = (b - r) * 65536 / d + 2 * 65536;
  } else {
    h = (r - g) * 65536 / d + 4 * 65536;
  }
  h *= 60;
  if (h < 0) h += 360 * 65536;
  hsv[0] = static_cast<int32_t>(h);
}

bool DeviceIsHal() { return gDeviceIsHal; }

void EffectTexturesUnbindAll() {}

int32_t* gSquareTable = nullptr;
bool InitSquareTable() { return true; }
void FreeSquareTable() {}
