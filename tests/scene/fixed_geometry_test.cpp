// Fixed-point helpers and the body geometry computed from a fresh mesh.
#include "scene/fixed_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "render/material_table.h"
#include "scene/body_records.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

class FixedGeometry : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitMathTables(); }
};

TEST_F(FixedGeometry, ScalarOperationsRoundClampAndSaturate) {
  struct Case {
    const char* what;
    int64_t got;
    int64_t want;
  };
  const Case kCases[] = {
      {"MulDiv(5, 7, 0)", MulDiv(5, 7, 0), 0},
      {"MulDiv(-7, 2, 4)", MulDiv(-7, 2, 4), -3},
      {"MulDiv(0x40000000, 0x40000000, 0x40000000)", MulDiv(0x40000000, 0x40000000, 0x40000000), 0x40000000},
      {"MulDiv beyond 32 bits", MulDiv(kMax, 4, 1), kMax},
      {"MulDiv beyond 32 bits below", MulDiv(kMax, -4, 1), kMin},
      {"FixedDiv(1, 2)", FixedDiv(1, 2), 0x8000},
      {"FixedDiv(5, 0)", FixedDiv(5, 0), 0},
      {"FixedDiv beyond 32 bits", FixedDiv(0x10000000, 1), kMax},
      {"FixedDiv beyond 32 bits below", FixedDiv(-0x10000000, 1), kMin},
      {"FixSqrt(0x10000)", FixSqrt(0x10000), 0x10000},
      {"FixSqrt(0x40000)", FixSqrt(0x40000), 0x20000},
      {"FixSqrt(2.0)", FixSqrt(0x20000), 92681},
      {"FixSqrt(largest)", FixSqrt(kMax), 11863283},
      {"FixSqrt(-1)", FixSqrt(-1), 0},
      {"ArcSin16(1.0)", ArcSin16(0x10000), 16384},
      {"ArcSin16(2.0)", ArcSin16(0x20000), 16384},
      {"ArcSin16(-2.0)", ArcSin16(-0x20000), -16384},
      {"ArcSin16(lowest)", ArcSin16(kMin), -16384},
      {"ArcSin16(0.5)", ArcSin16(0x8000), 5461},
      {"ArcSin16(-0.5)", ArcSin16(-0x8000), -5461},
      {"Rgb555To888(0x7FFF)", Rgb555To888(0x7FFF), 0xF8F8F8},
      {"Rgb555To888(red)", Rgb555To888(0x7C00), 0xF80000},
      {"Rgb888To555(0xF8F8FF)", Rgb888To555(0xF8F8FF), 0x7FFF},
      {"Rgb888To555(0x0000F8)", Rgb888To555(0x0000F8), 0x1F},
      {"LerpInt(5, 10, 0, 100)", LerpInt(5, 10, 0, 100), 50},
      {"LerpInt(0, 10, 0, 100)", LerpInt(0, 10, 0, 100), 0},
      {"LerpInt(10, 10, 0, 100)", LerpInt(10, 10, 0, 100), 100},
      {"LerpInt(1, 4, 0, 100)", LerpInt(1, 4, 0, 100), 25},
      {"LerpInt(3, 0, 10, 20)", LerpInt(3, 0, 10, 20), 15},
      {"LerpInt(long steps)", LerpInt(0x30000, 0x40000, 0, 1000), 750},
      {"LerpInt(full range)", LerpInt(3, 4, kMin, kMax), 1073741823},
      {"ChebyshevNorm3(-7, 3, 5)", ChebyshevNorm3(-7, 3, 5), 7},
      {"ChebyshevNorm3(lowest)", ChebyshevNorm3(kMin, 0, 0), kMax},
      {"AbsInt(-3)", AbsInt(-3), 3},
      {"AbsInt(lowest)", AbsInt(kMin), kMin},
  };
  for (const Case& c : kCases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST_F(FixedGeometry, NormalisingGivesUnitVectorsAndLeavesZeroAlone) {
  struct Case {
    FixedVector in;
    FixedVector want;
  };
  const Case kCases[] = {
      {{3, 0, 0, 9}, {0x10000, 0, 0, 9}},    {{0, -5, 0, 0}, {0, -0x10000, 0, 0}},   {{0, 0, 0, 7}, {0, 0, 0, 7}},
      {{kMax, 0, 0, 0}, {0x10000, 0, 0, 0}}, {{0, 0, kMin, 0}, {0, 0, -0x10000, 0}},
  };
  for (const Case& c : kCases) {
    FixedVector v = c.in;
    NormalizeFixedVector(&v);
    EXPECT_EQ(v.x, c.want.x);
    EXPECT_EQ(v.y, c.want.y);
    EXPECT_EQ(v.z, c.want.z);
    EXPECT_EQ(v.w, c.want.w);
  }
  FixedVector slanted = {3, -4, 12, 0};
  NormalizeFixedVector(&slanted);
  EXPECT_NEAR(slanted.x, 3 * 65536 / 13, 2);
  EXPECT_NEAR(slanted.y, -4 * 65536 / 13, 2);
  EXPECT_NEAR(slanted.z, 12 * 65536 / 13, 2);
}

// A cube of half side 4096 units around `centre`, its faces split so the triangles are symmetric
// through the centre (so every corner counts equally), as one part in one face group.
struct CubeMesh {
  std::vector<BodyVertex> vertices;
  std::vector<BodyTriangle> triangles;
  FaceGroup group{};
  BodyPart part{};
  BodyPart empty{};
  BodyPart* parts[2] = {&part, &empty};
  BodyMesh mesh{};

  CubeMesh(int16_t cx, int16_t cy, int16_t cz) {
    for (int i = 0; i < 8; ++i) {
      BodyVertex v{};
      v.x = static_cast<int16_t>(cx + ((i & 1) ? 4096 : -4096));
      v.y = static_cast<int16_t>(cy + ((i & 2) ? 4096 : -4096));
      v.z = static_cast<int16_t>(cz + ((i & 4) ? 4096 : -4096));
      vertices.push_back(v);
    }
    const int half[6][3] = {{0, 2, 6}, {0, 6, 4}, {0, 4, 5}, {0, 5, 1}, {0, 1, 3}, {0, 3, 2}};
    for (const auto& t : half) {
      triangles.push_back(BodyTriangle{{t[0], t[1], t[2]}, 0});
      triangles.push_back(BodyTriangle{{7 - t[0], 7 - t[1], 7 - t[2]}, 0});
    }
    group.triangleCount = static_cast<int32_t>(triangles.size());
    group.triangles = triangles.data();
    part.groupCount = 1;
    part.groups = &group;
    mesh.vertexCount = static_cast<int32_t>(vertices.size());
    mesh.vertices = vertices.data();
    mesh.partCount = 1;
    mesh.parts = parts;
  }
};

TEST_F(FixedGeometry, CubeBoundsCentroidRadiusAndExtents) {
  CubeMesh cube(1024, -2048, 0);
  PartComputeBounds(&cube.mesh, &cube.part);
  EXPECT_EQ(cube.part.boundsCentre.x, 4096);
  EXPECT_EQ(cube.part.boundsCentre.y, -8192);
  EXPECT_EQ(cube.part.boundsCentre.z, 0);
  EXPECT_EQ(cube.part.boundsHalf.x, 16384);
  EXPECT_EQ(cube.part.boundsHalf.y, 16384);
  EXPECT_EQ(cube.part.boundsHalf.z, 16384);

  FixedVector centroid{1, 2, 3, 4};
  BodyCentroid(&cube.mesh, &centroid);
  EXPECT_EQ(centroid.x, 4096);
  EXPECT_EQ(centroid.y, -8192);
  EXPECT_EQ(centroid.z, 0);
  EXPECT_EQ(centroid.w, 0);
  EXPECT_EQ(BodyRadius(&cube.mesh, &centroid), 16384);

  // A part without faces: the bounds' start values show through.
  PartComputeBounds(&cube.mesh, &cube.empty);
  EXPECT_EQ(cube.empty.boundsCentre.x, 0);
  EXPECT_EQ(cube.empty.boundsHalf.x, -65536);
  EXPECT_EQ(cube.empty.boundsHalf.z, -65536);

  cube.mesh.partCount = 2;
  int32_t extent[4] = {9, 9, 9, 9};
  BodyPartsExtent(&cube.mesh, extent);
  EXPECT_EQ(extent[0], 4096 + 16384);
  EXPECT_EQ(extent[1], 8192 + 16384);
  EXPECT_EQ(extent[2], 16384);
  EXPECT_EQ(extent[3], 0);
}

TEST_F(FixedGeometry, CentroidOfManyFacesStaysInRangeAndFacelessBodiesKeepZero) {
  // 6000 triangles: the corner count is halved once and the sums with it.
  BodyVertex vertex{};
  vertex.x = 100;
  vertex.y = 200;
  vertex.z = -300;
  std::vector<BodyTriangle> triangles(6000, BodyTriangle{{0, 0, 0}, 0});
  FaceGroup group{};
  group.triangleCount = 6000;
  group.triangles = triangles.data();
  BodyPart part{};
  part.groupCount = 1;
  part.groups = &group;
  BodyPart* parts[] = {&part};
  BodyMesh mesh{};
  mesh.vertexCount = 1;
  mesh.vertices = &vertex;
  mesh.partCount = 1;
  mesh.parts = parts;
  FixedVector centroid{};
  BodyCentroid(&mesh, &centroid);
  EXPECT_EQ(centroid.x, 400);
  EXPECT_EQ(centroid.y, 800);
  EXPECT_EQ(centroid.z, -1200);

  group.triangleCount = 0;
  centroid = FixedVector{5, 5, 5, 5};
  BodyCentroid(&mesh, &centroid);
  EXPECT_EQ(centroid.x, 0);
  EXPECT_EQ(centroid.w, 0);
  EXPECT_EQ(BodyRadius(&mesh, &centroid), 0);
}

TEST_F(FixedGeometry, FaceIndexesOutsideTheMeshAreSkipped) {
  CubeMesh cube(0, 0, 0);
  cube.triangles[0].v[1] = 5000;
  cube.triangles[1].v[2] = -1;
  PartComputeBounds(&cube.mesh, &cube.part);
  EXPECT_EQ(cube.part.boundsHalf.x, 16384);
  FixedVector centroid{};
  BodyCentroid(&cube.mesh, &centroid);
  EXPECT_LE(BodyRadius(&cube.mesh, &centroid), 16384 + ChebyshevNorm(&centroid));
  VertexNormalFromFace(5000, 1, &cube.mesh, 0);
  VertexNormalFromFace(1, 2, &cube.mesh, 8);
  EXPECT_EQ(cube.vertices[0].nz, 0);
}

TEST_F(FixedGeometry, VertexNormalsFromTheFirstFaceWithAndWithoutAngleWeighting) {
  struct Case {
    const char* what;
    uint32_t smoothing;
    int16_t secondX, secondY;  // the corner i1; i0 lies on +x
    int wantZ;
    int tolerance;
  };
  const Case kCases[] = {
      {"flat, right angle", 0, 0, 1000, -16384, 0},
      {"flat, narrow angle", 0, 1000, 1000, -16384, 0},
      {"weighted, right angle", 1, 0, 1000, -4096, 0},
      {"weighted, 45 degrees", 1, 1000, 1000, -2048, 4},
  };
  for (const Case& c : kCases) {
    BodyVertex vertices[3] = {};
    vertices[0].smoothing = c.smoothing;
    vertices[1].x = 1000;
    vertices[2].x = c.secondX;
    vertices[2].y = c.secondY;
    BodyMesh mesh{};
    mesh.vertexCount = 3;
    mesh.vertices = vertices;
    VertexNormalFromFace(1, 2, &mesh, 0);
    EXPECT_EQ(vertices[0].nx, 0) << c.what;
    EXPECT_EQ(vertices[0].ny, 0) << c.what;
    EXPECT_NEAR(vertices[0].nz, c.wantZ, c.tolerance) << c.what;
    // The first face that reaches a vertex sets its normal.
    VertexNormalFromFace(2, 1, &mesh, 0);
    EXPECT_NEAR(vertices[0].nz, c.wantZ, c.tolerance) << c.what;
  }
}

TEST_F(FixedGeometry, MaterialTexturesTakeTheMaterialsFlagsAndIdsComeFromTheRightTable) {
  BodyMaterial materials[2] = {};
  materials[1].texture = 501;
  materials[1].bumpTexture = 502;
  materials[1].secondTexture = 503;
  materials[1].sixthTexture = 504;
  materials[1].thirdTexture = 505;
  materials[1].fifthTexture = 506;
  materials[1].value14 = 507;  // not a texture
  materials[1].flags = 0x2010;
  // A texture table whose fixed ids reach past the ones named above.
  gTextureFixedCount = 600;
  gTextureAddedCount = 0;
  ASSERT_FALSE(AllocTextureTable());
  MaterialSetTextureFlags(&materials[1]);
  for (int32_t id = 501; id <= 506; ++id) EXPECT_EQ(TextureGetFlags(id), 0x2010u) << id;
  EXPECT_EQ(TextureGetFlags(507), 0u);
  FreeTextureTables();
  gTextureFixedCount = 0;

  BodyRecord body{};
  body.materialCount = 2;
  body.materials = materials;
  EXPECT_EQ(MaterialTextureId(1, &body), 0);  // global table: empty here
  body.flags = kBodyOwnMaterials;
  EXPECT_EQ(MaterialTextureId(1, &body), 501);
  EXPECT_EQ(MaterialTextureId(2, &body), 0);
  EXPECT_EQ(MaterialTextureId(-1, &body), 0);

  MaterialRecord table[3] = {};
  table[2].textureNumber = 77;
  MaterialRecord* savedTable = gMaterialTable;
  const int16_t savedCount = gMaterialCount;
  gMaterialTable = table;
  gMaterialCount = 3;
  body.flags = 0;
  EXPECT_EQ(MaterialTextureId(2, &body), 77);
  EXPECT_EQ(MaterialTextureId(3, &body), 0);
  gMaterialTable = savedTable;
  gMaterialCount = savedCount;
}

}  // namespace
