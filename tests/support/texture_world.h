// Textures to draw into for the texture drawing and replay tests: 32-bit memory surfaces entered
// into the texture handle table behind materials (one of them font-scaled), a two-piece texture
// collection, a block font of 4 x 4 glyphs written into a temporary folder, and a reader for the
// gzip recordings those tests write. Restores every global it set.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "core/system_block.h"
#include "images/image_writer.h"
#include "render/display_surface.h"
#include "render/fonts.h"
#include "render/material_table.h"
#include "render/render.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "support/temp_dir.h"

// A 32-bit surface holding its pixels in memory.
struct MemTexture {
  std::vector<uint8_t> bytes;
  DisplaySurface s{};
  MemTexture(int32_t width, int32_t height) {
    s.width = int16_t(width);
    s.height = int16_t(height);
    s.bitsPerPixel = 32;
    s.bytesPerPixel = 4;
    s.flags = kSurfaceOwnPixels | kSurfaceLocked | kSurfaceChunky | kSurface32Bit;
    s.rowBytes = s.pitch = uint16_t(width * 4);
    bytes.assign(size_t(s.pitch) * height, 0);
    s.pixels = bytes.data();
  }
  uint32_t At(int x, int y) const {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + size_t(y) * s.pitch + size_t(x) * 4, 4);
    return v & 0xFFFFFF;
  }
  void Put(int x, int y, uint32_t argb) { std::memcpy(bytes.data() + size_t(y) * s.pitch + size_t(x) * 4, &argb, 4); }
  // '#' for a set pixel, '.' for black, per column of row y.
  std::string Row(int y) const {
    std::string out;
    for (int x = 0; x < s.width; ++x) out += At(x, y) ? '#' : '.';
    return out;
  }
  int Count() const {
    int n = 0;
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x) n += At(x, y) != 0;
    return n;
  }
  void Clear() { std::fill(bytes.begin(), bytes.end(), 0); }
};

// Texture 1: 16 x 8; 2: 16 x 8; 3: the source, 32 x 8 with column x coloured x + 1 (alpha 255);
// 4: font-scaled, 512 x 64; 5: 256 x 16. Collection -1: texture 1 at (0, 0) and texture 2 at
// (16, 0), both whole, so the collection is 32 x 8.
// Writes the grid font "block" (4 x 4 cells, glyphs 32 to 159 filling their cell) into `dir`,
// which must be the current folder, and opens it; its font number or -1.
inline int32_t OpenBlockFontIn(const TempDir& dir) {
  const auto sheet = image_tool::MakeMonoBmp(64, 32, [](int32_t, int32_t) { return true; });
  dir.Write("block.bmp", std::string(sheet.begin(), sheet.end()));
  dir.Write("block.siz", std::string(128, '\x04'));
  const FontRecord* f = OpenFont("block", 4, 4, 0, 0);
  return f ? f->slot : -1;
}

class TextureWorld {
 public:
  static constexpr int32_t kTexA = 1, kTexB = 2, kSource = 3, kScaled = 4, kWide = 5, kCollection = -1;

  TextureWorld() {
    block_.fontScale = 1;
    block_.d3dFlags = 0x100;
    savedSystem_ = gSystem;
    gSystem = &block_;
    for (MaterialRecord& m : materials_) m.textureNumber = 1, m.transparency = TRANSP_NONE;
    materials_[kScaled].flags = MPF_FONTSCALE;
    gMaterialTable = materials_;
    gMaterialCount = kMaterials;
    gTextureFixedCount = kMaterials;
    gTextureAddedCount = 0;
    AllocTextureTable();
    MemTexture* surfaces[] = {nullptr, &a, &b, &source, &scaled, &wide};
    for (int32_t id = 1; id < kMaterials; ++id) gTextureTable[id].image = &surfaces[id]->s;
    for (int x = 0; x < source.s.width; ++x)
      for (int y = 0; y < source.s.height; ++y) source.Put(x, y, 0xFF000000u | uint32_t(x + 1));
    pieces_[0] = {{kTexA, 0, 0, 0, 0, 16, 8}};
    pieces_[1] = {{kTexB, 16, 0, 0, 0, 16, 8}};
    animations_[1].type = TAT_TAGCOLLECTION;
    animations_[1].frameCount = 2;
    animations_[1].frames.tag = pieces_;
    gTextureAnimations = animations_;
    gTextureAnimationCount = 2;
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    RebuildTextEffectTable();
  }
  ~TextureWorld() {
    ReleaseFonts();
    for (int32_t id = 0; id < kMaterials; ++id) gTextureTable[id].image = nullptr;
    gTextureAnimations = nullptr;
    gTextureAnimationCount = 0;
    FreeTextureTables();
    gMaterialTable = nullptr;
    gMaterialCount = 0;
    gTextureFixedCount = 0;
    RebuildTextEffectTable();
    gSystem = savedSystem_;
    std::filesystem::current_path(previousDir_);
  }
  TextureWorld(const TextureWorld&) = delete;
  TextureWorld& operator=(const TextureWorld&) = delete;

  // A grid font "block" of 4 x 4 cells whose glyphs (characters 32 to 159) fill their cell; its
  // font number.
  int32_t OpenBlockFont() { return OpenBlockFontIn(dir_); }

  // The whole content of a gzip file of the temporary folder.
  static std::vector<uint8_t> ReadGzip(const std::string& name) {
    std::vector<uint8_t> out;
    FileObject file;
    FileObjectInit(&file);
    if (!FileOpen(&file, name.c_str(), "rb", false)) return out;
    uint8_t buffer[4096];
    for (size_t n; (n = FileReadBytes(&file, buffer, sizeof buffer)) > 0;) out.insert(out.end(), buffer, buffer + n);
    FileClose(&file);
    return out;
  }

  void Reset() {
    for (MemTexture* t : {&a, &b, &scaled, &wide}) t->Clear();
  }

  MemTexture a{16, 8}, b{16, 8}, source{32, 8}, scaled{512, 64}, wide{256, 16};
  SystemBlock block_{};
  TempDir dir_;

 private:
  static constexpr int32_t kMaterials = 6;
  MaterialRecord materials_[kMaterials] = {};
  TexAnimTagFrame pieces_[2] = {};
  TextureAnimation animations_[2] = {};
  SystemBlock* savedSystem_ = nullptr;
  std::string previousDir_;
};
