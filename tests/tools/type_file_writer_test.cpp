// The renderer's type-file writer: the demo's "Materials" and "Animations" written in both forms
// read back into the same tables, and the start-up finds the demo's files among the game files.
#include "types/type_file_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/scene.h"
#include "support/catalog_world.h"

namespace {

using typetool::AnimationEntry;
using typetool::MaterialEntry;

// A material table and its names as read.
struct MaterialTable {
  std::vector<MaterialRecord> records;
  std::vector<std::string> names;
};

class TypeFiles : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeTextureAnimations();
    FreeMaterialTable();
    FreeTextureTables();
    gMaterialCount = 0;
    gTextureFixedCount = 0;
    gTextureAddedCount = 0;
  }
  // Reads a written file the way a loaded type file is read: the text form's last byte ends it.
  template <typename Reader>
  void ReadBack(const std::string& file, bool binary, Reader read) {
    std::string bytes = world_.dir().Read(file);
    if (!binary) bytes.back() = '\0';
    DataReader reader;
    DataReaderInit(&reader, bytes.data(), binary, bytes.size());
    read(&reader);
    EXPECT_EQ(reader.error, 0) << file;
  }
  MaterialTable ReadMaterials(bool binary) {
    const std::string file = binary ? "Materials.bin" : "Materials.txt";
    EXPECT_TRUE(typetool::WriteMaterialsFile(file, binary, typetool::DemoMaterials()));
    ReadBack(file, binary, ReadMaterialSection);
    MaterialTable table;
    table.records.assign(gMaterialTable, gMaterialTable + gMaterialCount);
    for (int32_t id = 0; id < gMaterialCount; ++id) table.names.push_back(gTextureTable[id].name ? gTextureTable[id].name : "");
    return table;
  }

  CatalogWorld world_;
};

TEST_F(TypeFiles, DemoMaterialsReadBackTheSameInBothForms) {
  const std::vector<MaterialEntry> demo = typetool::DemoMaterials();
  const MaterialTable text = ReadMaterials(false);
  const MaterialTable binary = ReadMaterials(true);
  ASSERT_EQ(text.records.size(), demo.size());
  ASSERT_EQ(binary.records.size(), demo.size());
  for (size_t i = 0; i < demo.size(); ++i) {
    for (const MaterialTable* read : {&text, &binary}) {
      // Every read field sits before the draw counters, which the reader never fills.
      EXPECT_EQ(std::memcmp(&read->records[i], &demo[i].record, offsetof(MaterialRecord, drawCounts)), 0) << i;
      EXPECT_EQ(read->names[i], demo[i].name) << i;
    }
  }
}

TEST_F(TypeFiles, DemoAnimationsReadBackTheSameInBothForms) {
  ReadMaterials(false);  // the frames name the materials' textures
  const std::vector<AnimationEntry> demo = typetool::DemoAnimations();
  std::vector<std::vector<uint8_t>> forms[2];
  for (bool binary : {false, true}) {
    const std::string file = binary ? "Animations.bin" : "Animations.txt";
    ASSERT_TRUE(typetool::WriteAnimationsFile(file, binary, demo));
    ReadBack(file, binary, ReadTextureAnimationSection);
    ASSERT_EQ(gTextureAnimationCount, static_cast<int16_t>(demo.size()));
    for (int32_t i = 0; i < gTextureAnimationCount; ++i) {
      const TextureAnimation& a = gTextureAnimations[i];
      TextureAnimation head = a;
      head.frames.full = nullptr;
      std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(&head), reinterpret_cast<const uint8_t*>(&head + 1));
      const size_t frameBytes = a.type == TAT_TAGCOLLECTION   ? sizeof(TexAnimTagFrame)
                                : a.type == TAT_TAGSINGLESTEP ? sizeof(int32_t)
                                                              : sizeof(TexAnimFrame);
      const auto* frames = reinterpret_cast<const uint8_t*>(a.frames.full);
      if (frames) bytes.insert(bytes.end(), frames, frames + frameBytes * static_cast<size_t>(a.frameCount));
      forms[binary].push_back(bytes);
    }
  }
  EXPECT_EQ(forms[0], forms[1]);
  // Names resolve to the materials' ids; durations, offsets and movie values are kept.
  const TextureAnimation* a = gTextureAnimations;
  EXPECT_EQ(a[0].frames.full[1].texture, 2);
  EXPECT_EQ(a[0].frames.full[1].offsetU, 0x8000);
  EXPECT_EQ(a[0].duration, 300);
  EXPECT_EQ(a[1].lastTexture, 14);
  EXPECT_EQ(a[1].duration, 500);
  EXPECT_EQ(a[1].endV, 0x8000);
  EXPECT_EQ(a[4].movieStream, 7);
  EXPECT_EQ(a[4].movieParams[5], 6);
  EXPECT_EQ(a[5].frames.tag[0].values[0], 1);
  EXPECT_EQ(a[5].frames.tag[0].values[6], 60);
  EXPECT_EQ(a[6].frames.ids[1], 2);
}

TEST_F(TypeFiles, StartUpReadsTheDemoFilesMaterialsFirst) {
  std::filesystem::create_directories(world_.dir().File("types"));
  ASSERT_TRUE(typetool::WriteMaterialsFile("types/Materials.txt", false, typetool::DemoMaterials()));
  ASSERT_TRUE(typetool::WriteAnimationsFile("types/Animations.txt", false, typetool::DemoAnimations()));
  LoadSkinsAndIconData();
  EXPECT_EQ(gMaterialCount, 5);
  EXPECT_STREQ(TextureNameOf(3), "panel");
  EXPECT_EQ(gTextureAddedCount, 0);  // every frame name was a material's
  ASSERT_EQ(gTextureAnimationCount, 9);
  EXPECT_EQ(gTextureAnimations[0].frames.full[2].texture, 3);
}

}  // namespace
