// A small texture table for tests of what binds textures by id: four fixed ids with no images,
// two counting effects writing to one log, and stand-in device textures that are never touched
// (they stand for themselves by address). Every binding and the table go at the end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/system_block.h"
#include "render/effect_textures.h"
#include "render/texture_table.h"
#include "support/fake_effect.h"

class TextureIdsWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = gSystem;
    gSystem = &block_;
    gTextureFixedCount = 4;
    gTextureAddedCount = 0;
    ASSERT_FALSE(AllocTextureTable());
  }
  void TearDown() override {
    EffectTexturesUnbindAll();
    FreeTextureTables();
    gTextureFixedCount = 0;
    gTextureAddedCount = 0;
    gSystem = previous_;
  }
  static int32_t Count(int32_t id) { return gTextureTable[id].refCount; }
  GpuBaseTexture* Texture(int i) { return reinterpret_cast<GpuBaseTexture*>(&storage_[i]); }

  std::vector<std::string> log_;
  FakeEffect effect_{"e", &log_};
  FakeEffect other_{"o", &log_};
  uint64_t storage_[3] = {};
  SystemBlock block_{};
  SystemBlock* previous_ = nullptr;
};
