// The scene stretch's textures (see image_writer.h): a DXT1 planet map, a cube map of the sky, a
// JPEG of the ship's plating and two true-colour pictures for the lens flare and the 3D text. The
// DXT1 blocks and the DDS layout come from the engine's own pixel helpers; the JPEG from the
// image library the build already uses for reading pictures.
#include <algorithm>
#include <cmath>

#include "images/image_writer.h"
#include "platform/gpu_constants.h"
#include "platform/gpu_dds.h"
#include "platform/gpu_pixels.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace image_tool {

namespace {

// A picture as four floats per pixel, rows from the top.
struct Picture {
  uint32_t width, height;
  std::vector<float> rgba;
};

template <typename Colour>
Picture Paint(uint32_t width, uint32_t height, Colour colour) {
  Picture p{width, height, std::vector<float>(size_t{width} * height * 4)};
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) colour(x, y, &p.rgba[(size_t{y} * width + x) * 4]);
  return p;
}

void Set(float* out, float r, float g, float b, float a = 1) {
  out[0] = r;
  out[1] = g;
  out[2] = b;
  out[3] = a;
}

Bytes Encoded(uint32_t format, const Picture& p) {
  Bytes bits(GpuPixelLevelBytes(format, p.width, p.height));
  GpuPixelsEncode(format, p.rgba.data(), p.width, p.height, bits.data(), GpuPixelRowBytes(format, p.width));
  return bits;
}

Bytes Dds(uint32_t format, const std::vector<Picture>& faces) {
  Bytes data;
  for (const Picture& face : faces) {
    const Bytes bits = Encoded(format, face);
    data.insert(data.end(), bits.begin(), bits.end());
  }
  Bytes file;
  GpuDdsWrite(format, faces[0].width, faces[0].height, 1, faces.size() == 6, data, &file);
  return file;
}

// The planet: blue oceans, green and ochre land in bands by a few waves of longitude and
// latitude, white caps at both poles.
Picture PlanetMap() {
  return Paint(64, 32, [](uint32_t x, uint32_t y, float* out) {
    const double lon = 2 * M_PI * x / 64, lat = M_PI * (y + 0.5) / 32 - M_PI / 2;
    const double land = std::sin(3 * lon) * std::cos(2 * lat) + 0.6 * std::sin(5 * lon + 2 * lat);
    if (std::fabs(lat) > 1.25) return Set(out, 0.92f, 0.95f, 1.0f);
    if (land > 0.55) return Set(out, 0.62f, 0.5f, 0.25f);
    if (land > 0.2) return Set(out, 0.2f, 0.55f, 0.22f);
    Set(out, 0.08f, 0.25f, 0.62f);
  });
}

// The sky cube: a dark face per direction, each with its own tint and a few stars.
std::vector<Picture> SkyFaces() {
  std::vector<Picture> faces;
  for (uint32_t face = 0; face < 6; ++face) {
    faces.push_back(Paint(16, 16, [face](uint32_t x, uint32_t y, float* out) {
      const bool star = (x * 7 + y * 13 + face * 5) % 23 == 0;
      if (star) return Set(out, 1, 1, 0.9f);
      Set(out, 0.02f + 0.02f * (face % 3), 0.03f, 0.08f + 0.03f * (face / 3));
    }));
  }
  return faces;
}

// The ship's plating: dark red panels with light seams.
std::vector<uint8_t> ShipPlatingRgb(uint32_t side) {
  std::vector<uint8_t> rgb;
  for (uint32_t y = 0; y < side; ++y) {
    for (uint32_t x = 0; x < side; ++x) {
      const bool seam = x % 16 == 0 || y % 16 == 0;
      const bool stripe = y >= 40 && y < 48;
      const uint8_t r = seam ? 230 : stripe ? 240 : 150, g = seam ? 220 : stripe ? 200 : 40, b = seam ? 200 : stripe ? 60 : 36;
      rgb.insert(rgb.end(), {r, g, b});
    }
  }
  return rgb;
}

Bytes Jpeg(uint32_t side, const std::vector<uint8_t>& rgb) {
  Bytes out;
  stbi_write_jpg_to_func(
      [](void* context, void* data, int size) {
        auto* bytes = static_cast<Bytes*>(context);
        const auto* p = static_cast<const uint8_t*>(data);
        bytes->insert(bytes->end(), p, p + size);
      },
      &out, static_cast<int>(side), static_cast<int>(side), 3, rgb.data(), 90);
  return out;
}

}  // namespace

std::vector<NamedFile> DemoSceneTextures() {
  // The flare glow: white at the centre fading to nothing at the rim; the alpha carries the fade.
  std::vector<uint32_t> flare;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const double d = std::hypot(x - 15.5, y - 15.5) / 16;
      const auto a = static_cast<uint32_t>(std::clamp(1 - d, 0.0, 1.0) * 255);
      flare.push_back(a << 24 | 0xFFF0C0u);
    }
  }
  const std::vector<uint32_t> glyph(16, 0xFFFFD040u);  // the 3D text's warm yellow
  return {{"textures/vexaplanet.dds", Dds(kGpuFmtDxt1, {PlanetMap()})},
          {"textures/vexasky.dds", Dds(kGpuFmtA8R8G8B8, SkyFaces())},
          {"textures/vexaship.jpg", Jpeg(64, ShipPlatingRgb(64))},
          {"textures/vexaflare.tga", MakeTga(2, 32, 32, 32, flare)},
          {"textures/vexaglyph.tga", MakeTga(2, 32, 4, 4, glyph)}};
}

}  // namespace image_tool
