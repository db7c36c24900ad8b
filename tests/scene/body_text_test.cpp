// The text body parser: sections, materials, points and weights, parts and faces, render vertex
// sharing, normals, centres and the fatal end of a malformed file.
#include "scene/body_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bodies/body_text_writer.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/heap.h"
#include "scene/body_materials.h"
#include "scene/engine_state.h"
#include "support/body_fixture.h"

namespace {

// Two kind-1 materials (red and green, the green one matching the blended table record), two
// bones with weights, a first mesh of two parts and a second mesh of one triangle.
//   Part 1: a red quad with smoothing word 7 and a triangle without material.
//   Part 2: a green quad whose centre is point 6.
constexpr const char* kTwoMeshBody =
    "NAME: crate;\n"
    "SOUND: 3; 0; 1; 180; 1.0; 0.5; 0.25; 7; 8; 60; 0;\n"
    "MATERIAL: 1; 0; 0;0;0; 200;0;0; 0;0;0;\n"
    "MATERIAL: 2; 0; 0;0;0; 0;200;0; 0;0;0;\n"
    "BODIES:\n"
    "1000;\n"
    "BONES: 2; root; lid;\n"
    "POINTS:\n"
    "-100;-100;0; 100;-100;0; 100;100;0; -100;100;0;\n"
    "-100;-100;50; 100;-100;50; 100;100;50; -100;100;50;\n"
    "-1;-1;-1;\n"
    "WEIGHTS:\n"
    "0;1.0;-1; 0;1.0;-1; 0;0.5;1;0.5;-1; 0;1.0;-1;\n"
    "1;1.0;-1; 1;1.0;-1; 1;1.0;-1; 1;1.0;-1;\n"
    "PARTS:\n"
    "1; 0;1;2;3; -16; 7;\n"
    "-1; 4;5;6; -1;\n"
    "-99; 0;\n"
    "2; 4;5;6;7; -1;\n"
    "-99; 4; 6;\n"
    "-99;\n"
    "0;\n"
    "500;\n"
    "POINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\n"
    "PARTS: 1; 0;1;2; -1; -99; 0; -99;\n"
    "8;\n";

class BodyText : public ::testing::Test {
 protected:
  BodyFixture world;
};

TEST_F(BodyText, TwoMeshBodyParsesToItsRecords) {
  BodyRecord* body = world.ParseText(7, kTwoMeshBody);
  ASSERT_NE(body, nullptr) << BodyFixture::fatalCode();
  EXPECT_EQ(std::string(body->name), "crate");
  EXPECT_EQ(body->sound.sample, 3);
  EXPECT_EQ(body->sound.fixed[0], 0x10000);
  EXPECT_EQ(body->sound.shorts[0], 7);
  EXPECT_EQ(body->sound.shorts[1], 8);
  EXPECT_EQ(body->sound.ints2[0], 60);
  ASSERT_EQ(body->materialCount, 2);
  EXPECT_EQ(body->materials[0].materialIndex, 1);
  EXPECT_EQ(body->materials[1].materialIndex, 2);
  EXPECT_EQ(body->flags, kBodyMeshFlag1 | kBodyBoneWeights);
  EXPECT_EQ(B3D_FindBody(7), body);
  ASSERT_EQ(body->meshCount, 2);

  const BodyMesh* mesh = body->meshes[0];
  EXPECT_EQ(mesh->size, 1000);
  EXPECT_EQ(mesh->distance, 10000);
  EXPECT_EQ(mesh->textRead, 1);
  EXPECT_EQ(mesh->flags, kMeshPartWithoutMaterial | kMeshBoneWeights);
  EXPECT_EQ(mesh->boneCount, 2);
  EXPECT_EQ(std::string(mesh->boneNames[1]), "lid");
  EXPECT_EQ(mesh->maxWeightsPerVertex, 2);
  // Four corners with smoothing, three and four without: no corner is shared.
  ASSERT_EQ(mesh->vertexCount, 11);
  EXPECT_EQ(mesh->weightCounts[2], 2);
  EXPECT_EQ(mesh->weights[2][1].bone, 1);
  EXPECT_EQ(mesh->weights[2][1].weight, 0x8000);
  ASSERT_EQ(mesh->partCount, 2);

  const BodyPart* first = mesh->parts[0];
  EXPECT_EQ(first->flags, kPartNegativeMaterial);
  ASSERT_EQ(first->groupCount, 2);
  EXPECT_EQ(first->groups[0].material, 1);
  EXPECT_EQ(first->groups[0].triangleCount, 2);
  EXPECT_EQ(first->groups[0].blended, 0);
  EXPECT_EQ(first->groups[1].material, -1);
  EXPECT_EQ(first->groups[1].triangleCount, 1);
  // Mean of the nine triangle corners (x: +1 of 9 points, y: -1, z: three at 0.5), truncated.
  EXPECT_EQ(first->centre.x, 65536 / 9);
  EXPECT_EQ(first->centre.y, -65536 / 9);
  EXPECT_EQ(first->centre.z, 3 * 32768 / 9);
  EXPECT_EQ(first->radius, 65536 + 65536 / 9);

  const BodyPart* second = mesh->parts[1];
  EXPECT_EQ(second->flags, kPartCentreFromPoint | kPartAllBlended);
  ASSERT_EQ(second->groupCount, 1);
  EXPECT_EQ(second->groups[0].blended, 1);
  EXPECT_EQ(second->centre.x, 65536);
  EXPECT_EQ(second->centre.y, 65536);
  EXPECT_EQ(second->centre.z, 32768);
  EXPECT_EQ(second->radius, 131072);
  EXPECT_EQ(second->boundsCentre.x, 0);
  EXPECT_EQ(second->boundsCentre.z, 32768);
  EXPECT_EQ(second->boundsHalf.x, 65536);
  EXPECT_EQ(second->boundsHalf.z, 0);
  EXPECT_EQ(mesh->bounds[0], 65536);

  // The flat quad faces +z; its corners carry the unit normal.
  for (int32_t v = 7; v < 11; ++v) {
    EXPECT_EQ(mesh->vertices[v].nx, 0);
    EXPECT_EQ(mesh->vertices[v].ny, 0);
    EXPECT_EQ(mesh->vertices[v].nz, 16384) << v;
    EXPECT_EQ(mesh->vertices[v].z, 8192);
  }
  EXPECT_EQ(mesh->vertices[0].nz, 16384);
  EXPECT_EQ(mesh->vertices[0].smoothing, 7u);

  const BodyMesh* last = body->meshes[1];
  EXPECT_EQ(last->distance, 500);
  EXPECT_EQ(last->size, 0);
  EXPECT_EQ(last->flags, 8u);
  EXPECT_EQ(last->vertexCount, 3);
  FreeBody(body);
  EXPECT_EQ(B3D_FindBody(7), nullptr);
}

TEST_F(BodyText, DemoBodiesParse) {
  BodyRecord* cube = world.ParseText(1, bodytool::CubeBodyText());
  ASSERT_NE(cube, nullptr) << BodyFixture::fatalCode();
  ASSERT_EQ(cube->meshCount, 1);
  const BodyMesh* mesh = cube->meshes[0];
  // Every face has its own smoothing word, so no corner is shared between faces.
  EXPECT_EQ(mesh->vertexCount, 24);
  ASSERT_EQ(mesh->partCount, 1);
  ASSERT_EQ(mesh->parts[0]->groupCount, 1);
  EXPECT_EQ(mesh->parts[0]->groups[0].triangleCount, 12);
  for (int32_t v = 0; v < mesh->vertexCount; ++v) {
    const BodyVertex& vertex = mesh->vertices[v];
    // Each normal points out of the cube along one axis.
    EXPECT_EQ(std::abs(vertex.nx) + std::abs(vertex.ny) + std::abs(vertex.nz), 16384) << v;
    EXPECT_EQ(int64_t{vertex.nx} * vertex.x + int64_t{vertex.ny} * vertex.y + int64_t{vertex.nz} * vertex.z,
              int64_t{16384} * 16384)
        << v;
  }
  FreeBody(cube);

  BodyRecord* skiff = world.ParseText(2, bodytool::TwoPartBodyText());
  ASSERT_NE(skiff, nullptr) << BodyFixture::fatalCode();
  EXPECT_EQ(skiff->flags, kBodyOwnMaterials | kBodyBoneWeights);
  ASSERT_EQ(skiff->materialCount, 2);
  ASSERT_NE(skiff->materials[0].params, nullptr);
  EXPECT_EQ(skiff->materials[0].params->name, "hull");
  EXPECT_EQ(skiff->materials[0].params->items.size(), 6u);
  EXPECT_NE(skiff->materials[0].flags & kMaterialTexAnim, 0u);
  EXPECT_EQ(skiff->materials[0].animDuration, 2500);
  EXPECT_EQ(skiff->materials[1].flags, MPF_2SIDED | kMaterialTextureNames);
  ASSERT_EQ(skiff->meshCount, 2);
  const BodyMesh* near = skiff->meshes[0];
  EXPECT_EQ(near->flags, kMeshBoneWeights | kMeshSecondUv);
  ASSERT_NE(near->uv2, nullptr);
  ASSERT_EQ(near->partCount, 2);
  EXPECT_EQ(near->parts[0]->groups[0].triangleCount, 2);
  EXPECT_EQ(near->parts[1]->flags, kPartCentreFromPoint);
  EXPECT_EQ(near->parts[1]->centre.x, 0);
  EXPECT_EQ(skiff->meshes[1]->distance, 5000);
  FreeBody(skiff);
}

TEST_F(BodyText, FreeingAParsedBodyRestoresTheMemoryCounters) {
  // The body cache's bucket table stays once the first body made it.
  FreeBody(world.ParseText(7, kTwoMeshBody));
  const uint32_t before = MemGetCurrentBytes();
  const uint32_t engineBefore = gMemCounters.categoryBytes[kMemCatEngine3D];
  BodyRecord* body = world.ParseText(7, kTwoMeshBody);
  ASSERT_NE(body, nullptr);
  EXPECT_GT(MemGetCurrentBytes(), before);
  FreeBody(body);
  EXPECT_EQ(MemGetCurrentBytes(), before);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatEngine3D], engineBefore);
}

// Two triangles over the same three points; how many render vertices the mesh keeps.
TEST_F(BodyText, RenderVerticesAreSharedOnlyWithTheSameSmoothingWordAndNearCoordinates) {
  struct Case {
    const char* what;
    const char* secondTerminator;  // with its smoothing word and coordinates
    uint32_t partFlags;
    int32_t vertices;
  };
  const Case kCases[] = {
      {"same word, same coordinates", "-24; 5; 0;0; 0;0; 0;0;", 0, 3},
      {"same word, u 1 apart", "-24; 5; 0.0000152587890625;0; 0;0; 0;0;", 0, 3},
      {"same word, v 1 below", "-24; 5; 0;-0.0000152587890625; 0;0; 0;0;", 0, 3},
      {"same word, u 2 apart", "-24; 5; 0.000030517578125;0; 0.000030517578125;0; 0.000030517578125;0;", 0, 6},
      {"same word, v 2 below", "-24; 5; 0;-0.000030517578125; 0;-0.000030517578125; 0;-0.000030517578125;", 0, 6},
      {"same word, second u 1 apart", "-152; 5; 0;0; 0;0; 0;0; 0.0000152587890625;0; 0;0; 0;0;", 0, 3},
      {"same word, second u 2 apart",
       "-152; 5; 0;0; 0;0; 0;0; 0.000030517578125;0; 0.000030517578125;0; 0.000030517578125;0;", 0, 6},
      {"u a whole 1.0 apart", "-24; 5; 1.0;0; 1.0;0; 1.0;0;", 0, 6},
      {"u a whole 1.0 apart, only the low 16 bits kept", "-24; 5; 1.0;0; 1.0;0; 1.0;0;", 2, 3},
      {"other word", "-24; 6; 0;0; 0;0; 0;0;", 0, 6},
      {"no word", "-8; 0;0; 0;0; 0;0;", 0, 6},
  };
  for (const Case& c : kCases) {
    const std::string text = std::string("BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS:\n") +
                             "-1; 0;1;2; -24; 5; 0;0; 0;0; 0;0;\n-1; 0;1;2; " + c.secondTerminator + "\n-99; " +
                             std::to_string(c.partFlags) + "; -99; 0;";
    BodyRecord* body = world.ParseText(1, text);
    ASSERT_NE(body, nullptr) << c.what;
    EXPECT_EQ(body->meshes[0]->vertexCount, c.vertices) << c.what;
    FreeBody(body);
  }
  // Faces without a smoothing word never share, even over identical corners.
  BodyRecord* body = world.ParseText(
      1, "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: -1; 0;1;2; -1; -1; 0;1;2; -1; -99; 0; -99; 0;");
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->meshes[0]->vertexCount, 6);
  FreeBody(body);
}

TEST_F(BodyText, SmoothedCornersAverageTheirFacesByAngle) {
  // Two faces folded at the x axis share the edge 0-1 with one smoothing word: the shared corners
  // get the normalised mean of +z and +y, the others their own face's normal.
  BodyRecord* body = world.ParseText(
      1,
      "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; 0;0;10; -1;-1;-1;\n"
      "PARTS: -1; 0;1;2; -16; 1; -1; 1;0;3; -16; 1; -99; 0; -99; 0;");
  ASSERT_NE(body, nullptr);
  const BodyMesh* mesh = body->meshes[0];
  ASSERT_EQ(mesh->vertexCount, 4);
  EXPECT_EQ(mesh->vertices[2].nz, 16384);
  EXPECT_EQ(mesh->vertices[3].ny, 16384);
  // Corner 1 has a 45-degree angle in both faces; corner 0 a right angle in both.
  for (int v : {0, 1}) {
    EXPECT_EQ(mesh->vertices[v].nx, 0) << v;
    EXPECT_NEAR(mesh->vertices[v].ny, 11585, 2) << v;
    EXPECT_NEAR(mesh->vertices[v].nz, 11585, 2) << v;
  }
  FreeBody(body);
}

TEST_F(BodyText, EdgeCases) {
  // All points zero: no body, and no fatal end.
  EXPECT_EQ(world.ParseText(1, "BODIES: 1;\nPOINTS: 0;0;0; 0;0;0; -1;-1;-1;\nPARTS: -99; 0;"), nullptr);
  EXPECT_EQ(BodyFixture::fatalCode(), 0u);
  EXPECT_EQ(world.ParseText(1, "BODIES: 1;\nPOINTS: -1;-1;-1;\nPARTS: -99; 0;"), nullptr);
  EXPECT_EQ(BodyFixture::fatalCode(), 0u);

  // Ten weight pairs count nine.
  BodyRecord* body = world.ParseText(
      1, "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\n"
         "WEIGHTS: 0;0.1;1;0.1;2;0.1;3;0.1;4;0.1;5;0.1;6;0.1;7;0.1;8;0.1;9;0.1;-1; -1; -1;\n"
         "PARTS: -1; 0;1;2; -1; -99; 0; -99; 0;");
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->meshes[0]->maxWeightsPerVertex, 9);
  EXPECT_EQ(body->meshes[0]->weightCounts[0], 9);
  EXPECT_EQ(body->meshes[0]->weights[0][8].bone, 8);
  FreeBody(body);

  // A face of two corners: accepted, without coordinates, and no triangle.
  body = world.ParseText(1, "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; -1;-1;-1;\nPARTS: -1; 0;1; -8; -99; 0; -99; 0;");
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->meshes[0]->parts[0]->groups[0].triangleCount, 0);
  FreeBody(body);

  // "MATERIAL3:" entries end at the first "MATERIAL5:", which then stands where "BODIES:" would.
  body = world.ParseText(1,
                         "MATERIAL3: 4; 0; 0;0;0; 200;0;0; 0;0;0; 0;0;0;0; 0; 0;0; 0; 0;0; 0;0;\n"
                         "MATERIAL3: 5; 0; 0;0;0; 0;200;0; 0;0;0; 0;0;0;0; 0; 0;0; 0; 0;0; 0;0;\n"
                         "MATERIAL5: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: 5; 0;1;2; -1; -99; 0; -99; 0;");
  ASSERT_NE(body, nullptr) << BodyFixture::fatalCode();
  EXPECT_EQ(body->materialCount, 2);
  EXPECT_EQ(body->flags & kBodyOwnMaterials, 0u);
  EXPECT_EQ(body->meshes[0]->parts[0]->groups[0].material, 2);
  FreeBody(body);
}

TEST_F(BodyText, MalformedFilesEndThroughTheFatalSeamWithTheirFileName) {
  struct Case {
    const char* what;
    std::string text;
  };
  const std::string head = "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; 0;0;10; 10;10;0; -1;-1;-1;\nPARTS:\n";
  std::string hundredMaterials;
  for (int i = 0; i < 100; ++i) hundredMaterials += "MATERIAL: " + std::to_string(i) + "; 0; 0;0;0; 0;0;0; 0;0;0;\n";
  std::string twoHundredParts;
  for (int i = 0; i < 200; ++i) twoHundredParts += "-1; 0;1;2; -1; -99; 0;\n";
  const Case kCases[] = {
      {"a face of five corners", head + "-1; 0;1;2;3;4; -1; -99; 0; -99; 0;"},
      {"a corner past the points", head + "-1; 0;1;5; -1; -99; 0; -99; 0;"},
      {"a centre point past the points", head + "-1; 0;1;2; -1; -99; 4; 5; -99; 0;"},
      {"a centre point below the points", head + "-1; 0;1;2; -1; -99; 4; -1; -99; 0;"},
      {"a centre point cut short", head + "-1; 0;1;2; -1; -99; 4;"},
      {"a material entry cut short", "MATERIAL: 1; 0; 0;0;0;"},
      {"a parameter kind outside the table",
       "MATERIAL6: 1; MPF_USEFXSHADER; 0; fx; 1; g_A; 9; 1;\n" + head + "0; 0;1;2; -1; -99; 0; -99; 0;"},
      {"a part flag word cut short", head + "-1; 0;1;2; -1; -99;"},
      {"a face material no entry has", "MATERIAL: 1; 0; 0;0;0; 0;0;0; 0;0;0;\n" + head + "3; 0;1;2; -1; -99; 0; -99; 0;"},
      {"a hundredth material", hundredMaterials + head + "-99; 0;"},
      {"a 200th part", head + twoHundredParts + "-99; 0;"},
      {"points cut short", "BODIES: 1;\nPOINTS: 0;0;0; 10;0;"},
      {"weights cut short", "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nWEIGHTS: 0;1.0;-1; 0;1.0;"},
      {"a bone count beyond the names", "BODIES: 1;\nBONES: 2000000000; root;"},
      {"faces cut short", head + "-1; 0;1;2; -1; -1; 0;1;"},
      {"no section at the start", "12; 0;"},
  };
  for (const Case& c : kCases) {
    BodyFixture::ClearFatal();
    const uint32_t before = MemGetCurrentBytes();
    EXPECT_EQ(world.ParseText(42, c.text), nullptr) << c.what;
    EXPECT_EQ(BodyFixture::fatalCode(), kBodyExitMalformed) << c.what;
    EXPECT_EQ(BodyFixture::fatalFile(), "v\\00042") << c.what;
    EXPECT_EQ(MemGetCurrentBytes(), before) << c.what;
  }
}

// One triangle over three points, its face's terminator and data given by each case.
TEST_F(BodyText, FaceFlagsChooseTheCoordinatesAndStayWithTheTriangle) {
  struct Case {
    const char* what;
    const char* face;  // terminator, then its data
    uint32_t partFlags;
    uint16_t triangleFlags;
    int32_t u1;   // first u of the second corner
    int32_t u2;   // its second u (the first again without flag 0x80)
    bool secondSet;
  };
  const Case kCases[] = {
      {"no data", "-1;", 0, 0, 0, 0, false},
      {"first coordinates", "-8; 0;0; 1.0;0; 0;1.0;", 0, 8, 65536, 65536, false},
      {"bit 0 is cleared", "-9; 0;0; 1.0;0; 0;1.0;", 0, 8, 65536, 65536, false},
      {"both sets", "-136; 0;0; 1.0;0; 0;1.0; 0;0; 0.5;0; 0;0.5;", 0, 0x88, 65536, 32768, true},
      {"a second set alone", "-128; 0;0; 0.25;0; 0;0;", 0, 0x80, 0, 16384, true},
      {"only the low 16 bits of the flags", "-65545; 0;0; 1.0;0; 0;1.0;", 0, 8, 65536, 65536, false},
      {"part flag 2 keeps the coordinates' low 16 bits", "-136; 0;0; 1.5;0; 0;0; 0;0; 2.25;0; 0;0;", 2, 0x88,
       0x8000, 0x4000, true},
  };
  for (const Case& c : kCases) {
    const std::string text = std::string("BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS:\n-1; 0;1;2; ") +
                             c.face + " -99; " + std::to_string(c.partFlags) + "; -99; 0;";
    BodyRecord* body = world.ParseText(1, text);
    ASSERT_NE(body, nullptr) << c.what;
    const BodyMesh* mesh = body->meshes[0];
    ASSERT_EQ(mesh->vertexCount, 3) << c.what;
    const FaceGroup& group = mesh->parts[0]->groups[0];
    ASSERT_EQ(group.triangleCount, 1) << c.what;
    EXPECT_EQ(group.triangles[0].flags, c.triangleFlags) << c.what;
    EXPECT_EQ(mesh->vertices[1].u, c.u1) << c.what;
    EXPECT_EQ((mesh->flags & kMeshSecondUv) != 0, c.secondSet) << c.what;
    ASSERT_EQ(mesh->uv2 != nullptr, c.secondSet) << c.what;
    if (c.secondSet) {
      EXPECT_EQ(mesh->uv2[2], c.u2) << c.what;
    }
    FreeBody(body);
  }
}

// Which of a part's face groups are blended, and the part flags that follow from its faces.
TEST_F(BodyText, BlendedMaterialsAndMissingOnesMarkTheirParts) {
  // Kind 1: entry 1 matches the plain red record 1, entry 2 the alpha-blended record 2.
  const std::string tableMaterials =
      "MATERIAL: 1; 0; 0;0;0; 200;0;0; 0;0;0;\n"
      "MATERIAL: 2; 0; 0;0;0; 0;200;0; 0;0;0;\n";
  // Kind 5: faces name entries by their place; entry 0 asks for destination blending, entry 1 not.
  const std::string ownMaterials =
      "MATERIAL5: 7; 0; 0;0;0; 0;0;0; 0;0;0; 0;0;0;0; 1; 0;0; 0; 0;0; 0;0; 0;0;\n"
      "MATERIAL5: 8; 0; 0;0;0; 0;0;0; 0;0;0; 0;0;0;0; 0; 0;0; 0; 0;0; 0;0; 0;0;\n";
  struct Case {
    const char* what;
    const std::string* materials;
    const char* faces;  // material numbers, one triangle each
    uint32_t partFlags;
    uint32_t meshFlags;
    int32_t firstBlended;
  };
  const Case kCases[] = {
      {"all blended", &tableMaterials, "2;", kPartAllBlended, 0, 1},
      {"one not blended", &tableMaterials, "2; 1;", 0, 0, 1},
      {"blended and without material", &tableMaterials, "2; -1;", kPartAllBlended | kPartNegativeMaterial,
       kMeshPartWithoutMaterial, 1},
      {"only without material", &tableMaterials, "-1;", kPartAllBlended | kPartNegativeMaterial,
       kMeshPartWithoutMaterial, 0},
      {"own blended entry", &ownMaterials, "0;", kPartAllBlended, 0, 1},
      {"own plain entry", &ownMaterials, "0; 1;", 0, 0, 1},
      {"own entry past the table", &ownMaterials, "5;", 0, 0, 0},
  };
  for (const Case& c : kCases) {
    std::string parts;
    for (const char* f = c.faces; *f;) {
      const char* end = std::strchr(f, ';');
      parts += std::string(f, end) + "; 0;1;2; -1;\n";
      f = end + 1;
      while (*f == ' ') ++f;
    }
    const std::string text = *c.materials + "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS:\n" + parts +
                             "-99; 0; -99; 0;";
    BodyRecord* body = world.ParseText(1, text);
    ASSERT_NE(body, nullptr) << c.what << " " << BodyFixture::fatalCode();
    const BodyMesh* mesh = body->meshes[0];
    EXPECT_EQ(mesh->parts[0]->flags, c.partFlags) << c.what;
    EXPECT_EQ(mesh->flags, c.meshFlags) << c.what;
    EXPECT_EQ(body->flags & kBodyMeshFlag1, c.meshFlags) << c.what;
    EXPECT_EQ(mesh->parts[0]->groups[0].blended, c.firstBlended) << c.what;
    FreeBody(body);
  }
}

TEST_F(BodyText, TheLastEntryEachLimitAllowsIsAccepted) {
  const std::string head = "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS:\n";
  std::string materials;
  for (int i = 0; i < 99; ++i) materials += "MATERIAL: " + std::to_string(i) + "; 0; 0;0;0; 0;0;0; 0;0;0;\n";
  BodyRecord* body = world.ParseText(1, materials + head + "98; 0;1;2; -1; -99; 0; -99; 0;");
  ASSERT_NE(body, nullptr) << BodyFixture::fatalCode();
  EXPECT_EQ(body->materialCount, 99);
  FreeBody(body);

  std::string parts;
  for (int i = 0; i < 199; ++i) parts += "-1; 0;1;2; -1; -99; 0;\n";
  body = world.ParseText(1, head + parts + "-99; 0;");
  ASSERT_NE(body, nullptr) << BodyFixture::fatalCode();
  EXPECT_EQ(body->meshes[0]->partCount, 199);
  FreeBody(body);
}

// The fatal end names the file as the body folder would: the BodyData row's name or "v\%05d" of
// the id, placed with the product's objects format when there is one. The row's flag becomes body
// flag 0x40.
TEST_F(BodyText, BodyDataRowsNameTheFileAndFlagTheBody) {
  ASSERT_TRUE(AllocBodyDataTable());
  SetBodyDataName(5, "ships\\skiff");
  gEngine3D->bodyDataRows[BodyDataRowIndex(5)].value5 = 1;
  ProductRecord product{};
  product.objectsTemplate = "objects\\%s";
  SystemBlock system{};
  system.product = &product;
  SystemBlock* const previous = gSystem;
  struct Case {
    int32_t id;
    bool withProduct;
    const char* fileName;
  };
  const Case kCases[] = {
      {42, false, "v\\00042"},
      {42, true, "objects\\v\\00042"},
      {5, true, "objects\\ships\\skiff"},
      {9005, false, "ships\\skiff"},
      {5000, true, "objects\\v\\05000"},  // no row: the id's own name
  };
  for (const Case& c : kCases) {
    gSystem = c.withProduct ? &system : nullptr;
    BodyFixture::ClearFatal();
    EXPECT_EQ(world.ParseText(c.id, "BODIES: 1;\nPOINTS: 0;0;"), nullptr);
    EXPECT_EQ(BodyFixture::fatalFile(), c.fileName) << c.id;
  }
  gSystem = previous;

  const char* const kTriangle = "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: -1; 0;1;2; -1; -99; 0; -99; 0;";
  for (const int32_t id : {5, 6}) {
    BodyRecord* body = world.ParseText(id, kTriangle);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->flags & kBodyDataRowFlag, id == 5 ? kBodyDataRowFlag : 0u) << id;
    FreeBody(body);
  }
  FreeBodyDataTable();
}

// In the game no reader fatal end is installed: a malformed body ends the process with its code.
TEST_F(BodyText, WithoutAnInstalledFatalEndAMalformedBodyEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetBodyReaderFatal(nullptr);
        world.ParseText(1, "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: -1; 0;1;2;3;4;5; -1;");
      },
      ::testing::ExitedWithCode(static_cast<int>(kBodyExitMalformed)), "");
}

TEST_F(BodyText, ABodyHoldsAtMost32767Meshes) {
  // The smallest mesh: its distance, one point, no parts and its flag word.
  std::string meshes;
  for (int i = 0; i < 32767; ++i) meshes += "1; POINTS: 1;0;0; -1;-1;-1; PARTS: -99; 0;\n";
  BodyRecord* body = world.ParseText(1, "BODIES:\n" + meshes);
  ASSERT_NE(body, nullptr) << BodyFixture::fatalCode();
  EXPECT_EQ(body->meshCount, 32767);
  FreeBody(body);
  const uint32_t before = MemGetCurrentBytes();
  EXPECT_EQ(world.ParseText(1, "BODIES:\n" + meshes + "1; POINTS: 1;0;0; -1;-1;-1; PARTS: -99; 0;\n"), nullptr);
  EXPECT_EQ(BodyFixture::fatalCode(), kBodyExitMalformed);
  EXPECT_EQ(MemGetCurrentBytes(), before);
}

// An allocation that fails again after the low-memory retry ends the parse with the memory code.
TEST_F(BodyText, AFailedAllocationEndsWithTheMemoryCode) {
  struct Case {
    int failures;
    uint32_t code;
  };
  const Case kCases[] = {{1, 0}, {2, kBodyExitMemory}};
  // The body cache's bucket table stays once the first body made it.
  FreeBody(world.ParseText(1, kTwoMeshBody));
  for (const Case& c : kCases) {
    BodyFixture::ClearFatal();
    const uint32_t before = MemGetCurrentBytes();
    OsFailNextHeapRequests(c.failures);
    BodyRecord* body = world.ParseText(1, kTwoMeshBody);
    OsFailNextHeapRequests(0);
    EXPECT_EQ(BodyFixture::fatalCode(), c.code) << c.failures;
    EXPECT_EQ(body != nullptr, c.code == 0) << c.failures;
    FreeBody(body);
    EXPECT_EQ(MemGetCurrentBytes(), before) << c.failures;
  }
}

TEST_F(BodyText, MaterialGroupsBeyondTheHundredArraysAreAFormatError) {
  // Every distinct face material opens a group, negative numbers too (-99 ends a part, so the
  // numbers start below it): 100 fit, the 101st does not.
  std::string text = "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS:\n";
  for (int i = 100; i <= 200; ++i) text += "-" + std::to_string(i) + "; 0;1;2; -1;\n";
  text += "-99; 0; -99; 0;";
  EXPECT_EQ(world.ParseText(1, text), nullptr);
  EXPECT_EQ(BodyFixture::fatalCode(), kBodyExitMalformed);

  BodyFixture::ClearFatal();
  text = "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS:\n";
  for (int i = 100; i <= 199; ++i) text += "-" + std::to_string(i) + "; 0;1;2; -1;\n";
  text += "-99; 0; -99; 0;";
  BodyRecord* body = world.ParseText(1, text);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->meshes[0]->parts[0]->groupCount, 100);
  FreeBody(body);
}

TEST_F(BodyText, AGroupHoldsAtMostItsTrianglesAndAPartItsFaces) {
  // 100000 quads make 200000 triangles: the last one fits. One more triangle does not.
  const std::string head = "BODIES: 1;\nPOINTS: 0;0;0; 10;0;0; 10;10;0; 0;10;0; -1;-1;-1;\nPARTS:\n";
  std::string quads;
  for (int i = 0; i < 100000; ++i) quads += "-1;0;1;2;3;-1;";
  BodyRecord* body = world.ParseText(1, head + quads + "-99; 0; -99; 0;");
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->meshes[0]->parts[0]->groups[0].triangleCount, 200000);
  FreeBody(body);
  EXPECT_EQ(world.ParseText(1, head + quads + "-1;0;1;2;-1; -99; 0; -99; 0;"), nullptr);
  EXPECT_EQ(BodyFixture::fatalCode(), kBodyExitMalformed);

  // Faces of two corners make no triangle, so only the face count limits them: 200000 fit.
  std::string lines;
  for (int i = 0; i < 200000; ++i) lines += "-1;0;1;-1;";
  BodyFixture::ClearFatal();
  body = world.ParseText(1, head + lines + "-99; 0; -99; 0;");
  ASSERT_NE(body, nullptr) << BodyFixture::fatalCode();
  EXPECT_EQ(body->meshes[0]->parts[0]->groups[0].triangleCount, 0);
  FreeBody(body);
  EXPECT_EQ(world.ParseText(1, head + lines + "-1;0;1;-1; -99; 0; -99; 0;"), nullptr);
  EXPECT_EQ(BodyFixture::fatalCode(), kBodyExitMalformed);
}

}  // namespace
