// Textures for the HUD drawing tests: memory surfaces at the ids the cockpit draws into (status
// 15, message and nav map 61, radar 66, nav map background 158, tooltip 1230), the gui_master
// icon atlas with the stem and fallback icons (column x holds x + 2, which an opaque alpha blit
// onto black turns into x + 1: icons read back as their column numbers 1, 2, ...), the tooltip frame source whose every pixel names
// its own place (0xFF000000 | y << 8 | x), and a block font of 4 x 4 glyphs written into a
// temporary folder. Leaves gSystem alone and gives every other global back; it must go before the
// engine state.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "frontend/hud/object_symbols.h"
#include "frontend/hud/tooltips.h"
#include "render/material_table.h"
#include "render/texture_table.h"
#include "scene/body_names.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "support/texture_world.h"

class HudTextures {
 public:
  static constexpr int32_t kAtlas = 3, kFrame = 4, kStatus = 15, kMessage = 61, kRadar = 66, kBackground = 158,
                           kTooltip = 1230;

  HudTextures() {
    materials_.assign(kCount, MaterialRecord{});
    for (MaterialRecord& m : materials_) m.textureNumber = 1, m.transparency = TRANSP_NONE;
    gMaterialTable = materials_.data();
    gMaterialCount = kCount;
    gTextureFixedCount = kCount;
    gTextureAddedCount = 0;
    AllocTextureTable();
    ResetInterfaceTextureIds();
    // Naming a texture lets its image go: names first, then the memory surfaces.
    SetTextureName(kAtlas, kGuiMasterTexture);
    SetTextureName(kFrame, kTooltipFrameTexture);
    const std::pair<int32_t, MemTexture*> images[] = {{kAtlas, &atlas},     {kFrame, &frame},
                                                      {kStatus, &status},   {kMessage, &message},
                                                      {kRadar, &radar},     {kBackground, &background},
                                                      {kTooltip, &tooltip}};
    for (const auto& [id, texture] : images) gTextureTable[id].image = &texture->s;
    for (int x = 0; x < atlas.s.width; ++x)
      for (int y = 0; y < atlas.s.height; ++y) atlas.Put(x, y, 0xFF000000u | uint32_t(x + 2));
    for (int x = 0; x < frame.s.width; ++x)
      for (int y = 0; y < frame.s.height; ++y) frame.Put(x, y, 0xFF000000u | uint32_t(y << 8 | x));
    icons_ = {{461, 0, 0, 0, 2, 3}, {464, 0, 2, 0, 2, 3}, {467, 0, 4, 0, 2, 3}, {469, 0, 6, 0, 4, 2},
              {470, 0, 10, 0, 4, 2}, {471, 0, 14, 0, 4, 2}, {186, 0, 0, 4, 6, 4}};
    IconSet& set = gEngine3D->iconTables[kGuiIconSet];
    set = IconSet{kAtlas, 32, 8, static_cast<int32_t>(icons_.size()), icons_.data()};
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    RebuildTextEffectTable();
  }
  ~HudTextures() {
    ReleaseFonts();
    if (gEngine3D) gEngine3D->iconTables[kGuiIconSet] = IconSet{};
    ResetInterfaceTextureIds();
    for (int32_t id = 0; id < kCount; ++id) gTextureTable[id].image = nullptr;
    FreeTextureTables();
    gMaterialTable = nullptr;
    gMaterialCount = 0;
    gTextureFixedCount = 0;
    RebuildTextEffectTable();
    std::filesystem::current_path(previousDir_);
  }
  HudTextures(const HudTextures&) = delete;
  HudTextures& operator=(const HudTextures&) = delete;

  // The block font's number: glyphs (characters 32 to 159) fill their 4 x 4 cell.
  int32_t OpenBlockFont() { return OpenBlockFontIn(dir_); }

  // How many pixels of each colour (without alpha) a texture holds, black left out.
  static std::map<uint32_t, int> Colours(const MemTexture& t) {
    std::map<uint32_t, int> out;
    for (int y = 0; y < t.s.height; ++y)
      for (int x = 0; x < t.s.width; ++x)
        if (const uint32_t c = t.At(x, y)) ++out[c];
    return out;
  }

  // The first and last set column of row y, -1 for both when the row is empty.
  static std::pair<int, int> Span(const MemTexture& t, int y) {
    int first = -1, last = -1;
    for (int x = 0; x < t.s.width; ++x) {
      if (!t.At(x, y)) continue;
      if (first < 0) first = x;
      last = x;
    }
    return {first, last};
  }

  MemTexture atlas{32, 8}, frame{128, 128}, status{64, 64}, message{256, 256}, radar{128, 128},
      background{128, 128}, tooltip{256, 256};

 private:
  static constexpr int32_t kCount = kTooltip + 1;
  std::vector<MaterialRecord> materials_;
  std::vector<IconRecord> icons_;
  TempDir dir_;
  std::string previousDir_;
};

#include <memory>

#include "cockpit_world.h"
#include "frontend/hud/hud_step.h"
#include "scene/scene_records.h"
#include "universe/object_classes.h"

// A cockpit world with the HUD textures: a sector with the carrying ship at the origin (identity
// orientation), a cockpit carried by it with its scene enabled, the block font as the HUD font,
// and the HUD's events recorded by name.
class HudDrawingWorld : public CockpitWorld {
 protected:
  void SetUp() override {
    CockpitWorld::SetUp();
    textures_ = std::make_unique<HudTextures>();
    gGuiMaster->font = textures_->OpenBlockFont();
    ASSERT_GE(gGuiMaster->font, 0);
    sector_ = Object(1, kClassSector);
    ship_ = Object(2, kClassShip, sector_);
    c_ = NewCockpit();
    ASSERT_NE(c_, nullptr);
    c_->cockpitRefObject = c_->refObject = ship_;
    if (c_->scene) c_->scene->flags |= kSceneEnabled;
    savedOutputs_ = gHudOutputs;
    gHudOutputs.raiseEvent = [](const char* name, int32_t, int32_t) { events_.push_back(name); };
    events_.clear();
  }
  void TearDown() override {
    gHudOutputs = savedOutputs_;
    textures_.reset();
    CockpitWorld::TearDown();
  }

  // Replaces the cockpit's scanner list (kept in uncounted memory, as the scanner pass keeps it).
  void Scanned(const std::vector<ScannerEntry>& entries) {
    CockpitArray& a = c_->scannerObjects;
    MemFreeIfSet(a.begin);
    a = CockpitArray{};
    if (entries.empty()) return;
    const size_t bytes = entries.size() * sizeof(ScannerEntry);
    auto* data = static_cast<ScannerEntry*>(MemRealloc(nullptr, 0, bytes, kMemUncounted));
    std::copy(entries.begin(), entries.end(), data);
    a.begin = data;
    a.end = a.capacity = data + entries.size();
  }

  std::unique_ptr<HudTextures> textures_;
  SpaceObject* sector_ = nullptr;
  SpaceObject* ship_ = nullptr;
  CockpitRecord* c_ = nullptr;
  HudOutputs savedOutputs_{};
  static inline std::vector<std::string> events_;
};
