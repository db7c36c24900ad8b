// Body meshes on the recording null device: a second user only raises the use counts, the
// last release frees the meshes unless the body keeps them, a failing part leaves nothing
// half-built, and the textures of global materials are made resident with their flags.
#include "render/body_meshes.h"

#include <gtest/gtest.h>

#include <vector>

#include "render/material_table.h"
#include "render/pixel_formats.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "support/render_world.h"

namespace {

// A body of two meshes; each has one part of one face group (one triangle over 3 vertices).
struct TwoMeshBody {
  TwoMeshBody() {
    for (int m = 0; m < 2; ++m) {
      for (int i = 0; i < 3; ++i) vertices[m][i] = BodyVertex{static_cast<int16_t>(i * 100), 0, 0, 0, 0, 16384, 0, 0, 0};
      triangles[m] = BodyTriangle{{0, 1, 2}, 0};
      groups[m].triangleCount = 1;
      groups[m].triangles = &triangles[m];
      groups[m].material = -1;
      parts[m].groupCount = 1;
      parts[m].groups = &groups[m];
      partList[m] = &parts[m];
      meshes[m].vertexCount = 3;
      meshes[m].vertices = vertices[m];
      meshes[m].partCount = 1;
      meshes[m].parts = &partList[m];
      meshes[m].body = &body;
      meshList[m] = &meshes[m];
    }
    body.meshes = meshList;
    body.meshCount = 2;
  }
  BodyVertex vertices[2][3];
  BodyTriangle triangles[2];
  FaceGroup groups[2] = {};
  BodyPart parts[2] = {};
  BodyPart* partList[2];
  BodyMesh meshes[2] = {};
  BodyMesh* meshList[2];
  BodyRecord body{};
};

class BodyMeshes : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    ASSERT_TRUE(CreateVertexDeclarations());
    gMeshBufferCounts = {};
  }
  void TearDown() override {
    for (BodyMesh& mesh : b_.meshes) BodyReleaseMeshes(&mesh);
    EXPECT_EQ(context_.videoMemoryBytes, 0u);
    EXPECT_EQ(gMeshBufferCounts.vertexBuffers, 0);
    ReleaseVertexDeclarations();
    RenderWorld::TearDown();
  }
  TwoMeshBody b_;
};

TEST_F(BodyMeshes, InstancesShareTheMeshesAndTheLastReleaseFreesThemUnlessTheBodyKeepsThem) {
  struct Case {
    const char* name;
    uint32_t bodyFlags;
    bool keptAtZero;
  };
  const Case kCases[] = {{"plain body", 0, false}, {"body keeping its meshes", kBodyKeepMeshes, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    b_.body.flags = c.bodyFlags;
    ASSERT_TRUE(BodyCreateMeshes(&b_.body));
    RenderSectionRecord* section = b_.parts[1].renderSection;
    ASSERT_NE(section, nullptr);
    GpuxMesh* mesh = section->meshes.parts[0].mesh;
    EXPECT_EQ(b_.meshes[1].renderRecord->partIndex, 1);
    ASSERT_TRUE(BodyCreateMeshes(&b_.body));  // the second instance
    EXPECT_EQ(b_.meshes[0].renderRecord->useCount, 2);
    EXPECT_EQ(b_.parts[1].renderSection, section);
    EXPECT_EQ(section->meshes.parts[0].mesh, mesh);
    EXPECT_EQ(gMeshBufferCounts.vertexBuffers, 2);

    BodyReleaseUse(&b_.body);
    EXPECT_EQ(b_.meshes[0].renderRecord->useCount, 1);
    EXPECT_EQ(b_.parts[0].renderSection->meshes.partCount, 1);
    BodyReleaseUse(&b_.body);
    if (c.keptAtZero) {
      ASSERT_NE(b_.meshes[0].renderRecord, nullptr);
      EXPECT_EQ(b_.meshes[0].renderRecord->useCount, 0);
      EXPECT_NE(b_.parts[0].renderSection, nullptr);
      ASSERT_TRUE(BodyCreateMeshes(&b_.body));  // a kept body is used again without a rebuild
      EXPECT_EQ(b_.meshes[0].renderRecord->useCount, 1);
      for (BodyMesh& m : b_.meshes) BodyReleaseMeshes(&m);
    } else {
      EXPECT_EQ(b_.meshes[0].renderRecord, nullptr);
      EXPECT_EQ(b_.parts[0].renderSection, nullptr);
    }
    EXPECT_EQ(context_.videoMemoryBytes, 0u);
  }
}

TEST_F(BodyMeshes, AFailingPartLeavesItsMeshUnbuiltForTheNextCall) {
  b_.triangles[1].v[2] = 7;  // beyond the mesh's 3 vertices
  EXPECT_FALSE(BodyCreateMeshes(&b_.body));
  EXPECT_NE(b_.meshes[0].renderRecord, nullptr);
  EXPECT_EQ(b_.meshes[1].renderRecord, nullptr);
  EXPECT_EQ(b_.parts[1].renderSection, nullptr);
  b_.triangles[1].v[2] = 2;
  ASSERT_TRUE(BodyCreateMeshes(&b_.body));
  EXPECT_EQ(b_.meshes[0].renderRecord->useCount, 2);
  EXPECT_EQ(b_.meshes[1].renderRecord->useCount, 1);
  EXPECT_FALSE(BodyCreateMeshes(nullptr));
}

TEST_F(BodyMeshes, TexturesOfGlobalMaterialsTakeTheMaterialFlags) {
  gTextureFixedCount = 4;
  AllocTextureTable();
  MaterialRecord table[4] = {};
  table[2].textureNumber = 3;
  table[2].flags = MPF_2SIDED;
  MaterialRecord* previous = gMaterialTable;
  const int16_t previousCount = gMaterialCount;
  gMaterialTable = table;
  gMaterialCount = 4;
  b_.groups[0].material = 2;
  BodyLoadTextures(&b_.body);
  EXPECT_EQ(TextureGetFlags(3) & MPF_2SIDED, MPF_2SIDED);
  gMaterialTable = previous;
  gMaterialCount = previousCount;
  FreeTextureTables();
  gTextureFixedCount = 0;
}

TEST_F(BodyMeshes, AnimatedGroupsPreloadTheirFramesWithTheFlagsOfTheMaterialDrawingThem) {
  gTextureFixedCount = 0;
  gTextureAddedCount = 10;
  AllocTextureTable();
  TextureAnimation anims[3] = {};
  anims[1] = TextureAnimation{TAT_LOOP, 0, 5, 6, 0, 0, 0, 0, 0, {nullptr}, 0, 0, {}};
  anims[2] = TextureAnimation{TAT_LOOP, 0, 7, 8, 0, 0, 0, 0, 0, {nullptr}, 0, 0, {}};
  TextureAnimation* previous = gTextureAnimations;
  const int16_t previousCount = gTextureAnimationCount;
  gTextureAnimations = anims;
  gTextureAnimationCount = 3;
  BodyMaterial materials[1] = {};
  materials[0].texture = -1;  // draws animation 1
  materials[0].flags = MPF_2SIDED;
  b_.body.flags |= kBodyOwnMaterials;
  b_.body.materials = materials;
  b_.body.materialCount = 1;
  b_.groups[0].material = -1;
  b_.groups[1].material = -2;  // no material refers to animation 2
  BodyLoadTextures(&b_.body);
  EXPECT_EQ(TextureGetFlags(5), MPF_2SIDED);
  EXPECT_EQ(TextureGetFlags(6), MPF_2SIDED);
  EXPECT_EQ(TextureGetFlags(7), 0u);
  b_.body.materials = nullptr;
  b_.body.materialCount = 0;
  gTextureAnimations = previous;
  gTextureAnimationCount = previousCount;
  FreeTextureTables();
  gTextureAddedCount = 0;
}

}  // namespace
