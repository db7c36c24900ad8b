// The gui_master icon atlas for symbol tests: the texture world's source texture named
// "effects/menugfx/gui_master" (its memory surface kept) and a list of icons installed as the
// engine's GUI icon set. Both are given back when the atlas goes; it must go before the engine.
#pragma once

#include <utility>
#include <vector>

#include "frontend/hud/object_symbols.h"
#include "render/texture_table.h"
#include "scene/body_names.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "support/texture_world.h"

class SymbolAtlas {
 public:
  SymbolAtlas(TextureWorld& world, std::vector<IconRecord> icons) {
    ResetInterfaceTextureIds();
    // Naming a texture lets its image go; the memory surface stays the image.
    SetTextureName(TextureWorld::kSource, kGuiMasterTexture);
    gTextureTable[TextureWorld::kSource].image = &world.source.s;
    Use(std::move(icons));
  }
  ~SymbolAtlas() {
    if (gEngine3D) gEngine3D->iconTables[kGuiIconSet] = IconSet{};
    ResetInterfaceTextureIds();
  }
  SymbolAtlas(const SymbolAtlas&) = delete;
  SymbolAtlas& operator=(const SymbolAtlas&) = delete;

  void Use(std::vector<IconRecord> icons) {
    icons_ = std::move(icons);
    IconSet& set = gEngine3D->iconTables[kGuiIconSet];
    set.textureId = TextureWorld::kSource;
    set.textureWidth = 32;
    set.textureHeight = 8;
    set.iconCount = static_cast<int32_t>(icons_.size());
    set.icons = icons_.data();
  }
  void Drop(int32_t id) {
    std::vector<IconRecord> kept;
    for (const IconRecord& icon : icons_)
      if (icon.id != id) kept.push_back(icon);
    Use(kept);
  }

 private:
  std::vector<IconRecord> icons_;
};
