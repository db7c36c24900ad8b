// Body part meshes on the recording null device: the vertex remap in first-use and preassigned
// order, 32-bit indices above 65535 part vertices, a failing part keeping the parts before it,
// bad body indices failing the part, clones that fail, the video-memory and buffer accounts,
// texture references, and the vertex fill's option bits and tangents.
#include "render/body_part_meshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "render/pixel_formats.h"
#include "render/texture_table.h"
#include "support/render_world.h"

namespace {

// A body mesh whose vertex i sits at x = i / 16384 (y = 0.5, z = -0.25) with normal +z and
// uv (i mod 2, 0.5), and one part whose face groups are given as triangle lists.
struct BodyBuilder {
  explicit BodyBuilder(int32_t vertexCount) : vertices(static_cast<size_t>(vertexCount)) {
    for (int32_t i = 0; i < vertexCount; ++i) {
      BodyVertex& v = vertices[static_cast<size_t>(i)];
      v.x = static_cast<int16_t>(i % 32768), v.y = 8192, v.z = -4096;
      v.nz = 16384;
      v.u = (i % 2) << 16, v.v = 0x8000;
    }
    groups.reserve(8);  // AddGroup hands out references that must stay valid
    mesh.vertexCount = vertexCount;
    mesh.vertices = vertices.data();
    mesh.body = &body;
  }

  FaceGroup& AddGroup(std::vector<BodyTriangle> list, int32_t material = -1) {
    triangles.push_back(std::move(list));
    groups.push_back(FaceGroup{});
    groups.back().material = material;
    return groups.back();
  }

  // Call after the last AddGroup: ties the groups to their triangle lists and the part.
  BodyPart* Part() {
    for (size_t g = 0; g < groups.size(); ++g) {
      groups[g].triangleCount = static_cast<int32_t>(triangles[g].size());
      groups[g].triangles = triangles[g].data();
    }
    part.groupCount = static_cast<int16_t>(groups.size());
    part.groups = groups.data();
    return &part;
  }

  std::vector<BodyVertex> vertices;
  std::vector<std::vector<BodyTriangle>> triangles;
  std::vector<FaceGroup> groups;
  BodyRecord body{};
  BodyMesh mesh{};
  BodyPart part{};
};

BodyTriangle Tri(int32_t a, int32_t b, int32_t c) { return BodyTriangle{{a, b, c}, 0}; }

class BodyPartMeshes : public RenderWorld {
 protected:
  void SetUp() override {
    RenderWorld::SetUp();
    ASSERT_TRUE(CreateVertexDeclarations());
    gTextureFixedCount = 8;
    AllocTextureTable();
    gMeshBufferCounts = {};
  }
  void TearDown() override {
    PartMeshRelease(&set_);
    EXPECT_EQ(context_.videoMemoryBytes, 0u);
    EXPECT_EQ(gMeshBufferCounts.vertexBuffers, 0);
    EXPECT_EQ(gMeshBufferCounts.indexBuffers, 0);
    FreeTextureTables();
    gTextureFixedCount = 0;
    ReleaseVertexDeclarations();
    RenderWorld::TearDown();
  }

  // The x of each vertex of the part's mesh, as body vertex numbers.
  static std::vector<int32_t> VertexOrder(RenderPart& part) {
    std::vector<int32_t> order;
    void* data = nullptr;
    EXPECT_TRUE(GpuSucceeded(part.mesh->LockVertexBuffer(0, &data)));
    const uint32_t stride = part.mesh->GetNumBytesPerVertex();
    for (uint32_t i = 0; i < part.mesh->GetNumVertices(); ++i) {
      float x;
      std::memcpy(&x, static_cast<uint8_t*>(data) + size_t{i} * stride, sizeof x);
      order.push_back(static_cast<int32_t>(std::lround(x * 16384.0f)));
    }
    part.mesh->UnlockVertexBuffer();
    return order;
  }

  static std::vector<uint32_t> Indices(RenderPart& part) {
    std::vector<uint32_t> out;
    void* data = nullptr;
    EXPECT_TRUE(GpuSucceeded(part.mesh->LockIndexBuffer(0, &data)));
    const bool wide = part.mesh->GetOptions() & kGpuxMesh32Bit;
    for (uint32_t i = 0; i < part.mesh->GetNumFaces() * 3; ++i)
      out.push_back(wide ? static_cast<uint32_t*>(data)[i] : static_cast<uint16_t*>(data)[i]);
    part.mesh->UnlockIndexBuffer();
    return out;
  }

  RenderPartSet set_{};
};

TEST_F(BodyPartMeshes, VerticesAreNumberedInFirstUseOrderOrInThePreassignedOrder) {
  struct Case {
    const char* name;
    bool preassigned;
    std::vector<int32_t> order;     // body vertex of each mesh vertex
    std::vector<uint32_t> indices;  // of the two triangles (7,3,5) and (5,3,9)
    uint16_t triangleFlags;
  };
  const Case kCases[] = {
      {"first use", false, {7, 3, 5, 9}, {0, 1, 2, 2, 1, 3}, kTriangleRemapped},
      {"preassigned", true, {9, 5, 3, 7}, {3, 2, 1, 1, 2, 0}, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BodyBuilder b(12);
    FaceGroup& group = b.AddGroup({Tri(7, 3, 5), Tri(5, 3, 9)});
    std::vector<FaceGroupExtra> extras = {{9, {}}, {5, {}}, {3, {}}, {7, {}}};
    if (c.preassigned) {
      b.part.flags |= kPartPreassignedVertices;
      group.extraCount = 4;
      group.extras = extras.data();
    }
    BodyPart* part = b.Part();
    ASSERT_EQ(BodyPartMeshesCreate(&b.mesh, part, &set_, 0), 1);
    ASSERT_EQ(set_.partCount, 1);
    RenderPart& rp = set_.parts[0];
    EXPECT_EQ(rp.vertexCount, 4u);
    EXPECT_EQ(rp.faceCount, 2u);
    EXPECT_EQ(VertexOrder(rp), c.order);
    EXPECT_EQ(Indices(rp), c.indices);
    EXPECT_EQ(b.triangles[0][0].flags, c.triangleFlags);
    // The drawing clone is write-only with the drawing declaration.
    EXPECT_EQ(rp.mesh->GetOptions(), kPartMeshDrawOptions);
    EXPECT_EQ(rp.declaration, gVertexDeclarations.activeMesh);
    PartMeshRelease(&set_);
  }
}

TEST_F(BodyPartMeshes, SeventyThousandPartVerticesGetWideIndicesInBothMeshesAndAFailedCloneKeepsTheMesh) {
  constexpr int32_t kVertices = 70002;
  BodyBuilder b(kVertices);
  std::vector<BodyTriangle> list;
  for (int32_t i = 0; i + 2 < kVertices; i += 3) list.push_back(Tri(i, i + 1, i + 2));
  b.AddGroup(list);
  BodyPart* part = b.Part();
  // Without a drawing declaration the clone fails: the part is made with its creation mesh.
  GpuVertexDeclaration* drawing = gVertexDeclarations.activeMesh;
  gVertexDeclarations.activeMesh = nullptr;
  ASSERT_EQ(BodyPartMeshesCreate(&b.mesh, part, &set_, 0), 1);
  RenderPart& rp = set_.parts[0];
  ASSERT_NE(rp.mesh, nullptr);
  EXPECT_EQ(rp.mesh->GetOptions(), kPartMeshCreateOptions | kGpuxMesh32Bit);
  EXPECT_EQ(rp.indexFormat, kGpuFmtIndex32);
  EXPECT_EQ(rp.declaration, gVertexDeclarations.mesh);
  EXPECT_EQ(rp.vertexCount, static_cast<uint32_t>(kVertices));
  EXPECT_EQ(context_.videoMemoryBytes, kVertices * 40u + static_cast<uint32_t>(list.size()) * 12u);

  gVertexDeclarations.activeMesh = drawing;
  ASSERT_EQ(BodyPartMeshClone(&rp, 0), 1);
  EXPECT_EQ(rp.mesh->GetOptions(), kPartMeshDrawOptions | kGpuxMesh32Bit);
  EXPECT_EQ(rp.indexFormat, kGpuFmtIndex32);
  EXPECT_EQ(Indices(rp).back(), static_cast<uint32_t>(kVertices - 1));
  // The creation sizes stay accounted until the release.
  EXPECT_EQ(context_.videoMemoryBytes, kVertices * 40u + static_cast<uint32_t>(list.size()) * 12u);
  // "-managed" adds the managed pool.
  block_.d3dFlags2 |= kD3D2ManagedMeshes;
  ASSERT_EQ(BodyPartMeshClone(&rp, 0), 1);
  EXPECT_EQ(rp.mesh->GetOptions(), kPartMeshManagedOptions | kGpuxMesh32Bit);
}

TEST_F(BodyPartMeshes, AFailingPartEndsTheCallAndKeepsThePartsBeforeIt) {
  struct Case {
    const char* name;
    std::vector<BodyTriangle> second;
    bool preassigned;
    std::vector<FaceGroupExtra> extras;
  };
  const Case kCases[] = {
      {"vertex index beyond the body", {Tri(0, 1, 12)}, false, {}},
      {"negative vertex index", {Tri(0, -1, 2)}, false, {}},
      {"preassigned entry beyond the body", {Tri(0, 1, 2)}, true, {{0, {}}, {1, {}}, {2, {}}, {40, {}}}},
      {"corner missing from the preassigned list", {Tri(0, 1, 3)}, true, {{0, {}}, {1, {}}, {2, {}}}},
      {"no triangles", {}, false, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BodyBuilder b(12);
    b.AddGroup({Tri(4, 5, 6)});
    FaceGroup& second = b.AddGroup(c.second);
    std::vector<FaceGroupExtra> extras = c.extras;
    if (c.preassigned) {
      b.part.flags |= kPartPreassignedVertices;
      second.extraCount = static_cast<int32_t>(extras.size());
      second.extras = extras.data();
    }
    b.AddGroup({Tri(7, 8, 9)});
    BodyPart* part = b.Part();
    EXPECT_EQ(BodyPartMeshesCreate(&b.mesh, part, &set_, 0), 0);
    ASSERT_EQ(set_.partCount, 3);
    EXPECT_NE(set_.parts[0].mesh, nullptr);
    EXPECT_EQ(set_.parts[1].mesh, nullptr);
    EXPECT_EQ(set_.parts[1].vertexBuffer, nullptr);
    EXPECT_EQ(set_.parts[2].mesh, nullptr);
    // Only the first part's buffers are counted: 3 vertices of 40 bytes, 3 16-bit indices.
    EXPECT_EQ(context_.videoMemoryBytes, 3u * 40u + 3u * 2u);
    EXPECT_EQ(gMeshBufferCounts.vertexBuffers, 1);
    PartMeshRelease(&set_);
    EXPECT_EQ(context_.videoMemoryBytes, 0u);
  }
}

TEST_F(BodyPartMeshes, MissingArgumentsOrVerticesGiveZero) {
  BodyBuilder b(3);
  b.AddGroup({Tri(0, 1, 2)});
  BodyPart* part = b.Part();
  EXPECT_EQ(BodyPartMeshesCreate(nullptr, part, &set_, 0), 0);
  EXPECT_EQ(BodyPartMeshesCreate(&b.mesh, nullptr, &set_, 0), 0);
  EXPECT_EQ(BodyPartMeshesCreate(&b.mesh, part, nullptr, 0), 0);
  b.mesh.vertices = nullptr;
  EXPECT_EQ(BodyPartMeshesCreate(&b.mesh, part, &set_, 0), 0);
  EXPECT_EQ(set_.parts, nullptr);
}

TEST_F(BodyPartMeshes, PartsHoldAReferenceOnTheirMaterialTextureUntilReleased) {
  struct Case {
    const char* name;
    bool ownMaterials;
    int32_t material;
    int32_t referenced;  // texture id, or -1 for none
  };
  const Case kCases[] = {
      {"global material is the texture id", false, 3, 3},
      {"own material names its texture", true, 1, 6},
      {"own material beyond the table", true, 5, -1},
      {"negative material", false, -2, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BodyBuilder b(3);
    BodyMaterial materials[2] = {};
    materials[0].texture = 5;
    materials[1].texture = 6;
    if (c.ownMaterials) {
      b.body.flags |= kBodyOwnMaterials;
      b.body.materials = materials;
      b.body.materialCount = 2;
    }
    b.AddGroup({Tri(0, 1, 2)}, c.material);
    BodyPart* part = b.Part();
    ASSERT_EQ(BodyPartMeshesCreate(&b.mesh, part, &set_, 0), 1);
    EXPECT_EQ(set_.parts[0].materialIndex, c.material);
    for (int32_t id = 0; id < 8; ++id) EXPECT_EQ(gTextureTable[id].refCount, id == c.referenced ? 1 : 0) << id;
    PartMeshRelease(&set_);
    for (int32_t id = 0; id < 8; ++id) EXPECT_EQ(gTextureTable[id].refCount, 0) << id;
  }
}

// A 64-byte-vertex mesh of one or two faces filled directly.
class MeshFill : public BodyPartMeshes {
 protected:
  GpuxMesh* MakeMesh(uint32_t faces, uint32_t vertices, bool tangents) {
    GpuxMesh* mesh = nullptr;
    EXPECT_TRUE(GpuSucceeded(
        GpuxCreateMesh(faces, vertices, kPartMeshCreateOptions, MeshFillElements(tangents), device_, &mesh)));
    return mesh;
  }
  static std::vector<float> Vertex(GpuxMesh* mesh, uint32_t index) {
    void* data = nullptr;
    EXPECT_TRUE(GpuSucceeded(mesh->LockVertexBuffer(0, &data)));
    const uint32_t stride = mesh->GetNumBytesPerVertex();
    std::vector<float> out(stride / 4);
    std::memcpy(out.data(), static_cast<uint8_t*>(data) + size_t{index} * stride, stride);
    mesh->UnlockVertexBuffer();
    return out;
  }
};

TEST_F(MeshFill, OptionBitsFollowTheCoordinatesAndTheSuppliedTangents) {
  struct Case {
    const char* name;
    int32_t u;  // 16.16 of vertex 1
    bool tangents;
    uint32_t partFlags;
    int16_t tangentX;  // of every supplied tangent
    uint32_t expected;
  };
  const Case kCases[] = {
      {"inside 0..1", 0x10000, false, 0, 0, 0},
      {"u = 1.5", 0x18000, false, 0, 0, kMeshLoadUvOutside},
      {"u below 0", -1, false, 0, 0, kMeshLoadUvOutside},
      {"tangent layout, nothing stored", 0, true, 0, 0, kMeshLoadTangents | kMeshLoadComputeTangents},
      {"stored and complete", 0, true, kPartPreassignedVertices, 16384, kMeshLoadTangents},
      {"stored with a zero tangent", 0, true, kPartPreassignedVertices, 0,
       kMeshLoadTangents | kMeshLoadComputeTangents},
      {"complete flag alone", 0, true, kPartTangentsComplete, 0, kMeshLoadTangents},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BodyBuilder b(3);
    b.vertices[1].u = c.u;
    FaceGroup group{};
    std::vector<FaceGroupExtra> extras(3);
    for (FaceGroupExtra& e : extras) e.values[0] = c.tangentX, e.values[4] = 16384;
    group.extraCount = 3;
    group.extras = extras.data();
    const int32_t remap[3] = {0, 1, 2};
    GpuxMesh* mesh = MakeMesh(1, 3, c.tangents);
    uint32_t options = c.tangents ? kMeshLoadTangents : 0;
    EXPECT_TRUE(MeshFillVertices(&b.mesh, &group, remap, mesh, &options, c.partFlags));
    EXPECT_EQ(options, c.expected);
    const std::vector<float> v = Vertex(mesh, 1);
    EXPECT_FLOAT_EQ(v[3], c.u / 65536.0f);
    EXPECT_FLOAT_EQ(v[9], 1.0f);  // normal z
    mesh->Release();
  }
}

TEST_F(MeshFill, TangentsComeFromTheFaceAndStayZeroForCollinearCoordinates) {
  BodyBuilder b(3);
  // Positions (0,0,0), (1,0,0), (0,1,0); uv (0,0), (1,0), (0,1): tangent +x, binormal +y.
  const int16_t xs[3] = {0, 16384, 0}, ys[3] = {0, 0, 16384};
  const int32_t us[3] = {0, 0x10000, 0}, vs[3] = {0, 0, 0x10000};
  for (int i = 0; i < 3; ++i) {
    b.vertices[i].x = xs[i], b.vertices[i].y = ys[i], b.vertices[i].z = 0;
    b.vertices[i].u = us[i], b.vertices[i].v = vs[i];
  }
  struct Case {
    const char* name;
    bool collinear;
  };
  const Case kCases[] = {{"solvable", false}, {"collinear uv", true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.collinear) b.vertices[2].u = 0x20000, b.vertices[2].v = 0;  // all on v = 0
    FaceGroup group{};
    BodyTriangle triangle = Tri(0, 1, 2);
    group.triangleCount = 1;
    group.triangles = &triangle;
    const int32_t remap[3] = {0, 1, 2};
    GpuxMesh* mesh = MakeMesh(1, 3, true);
    uint32_t options = kMeshLoadTangents;
    ASSERT_TRUE(MeshFillVertices(&b.mesh, nullptr, remap, mesh, &options, 0));
    ASSERT_TRUE(MeshFillIndices(&group, remap, mesh));
    ASSERT_TRUE(MeshComputeTangents(mesh, 1, 3));
    for (uint32_t i = 0; i < 3; ++i) {
      const std::vector<float> v = Vertex(mesh, i);
      const float expectTangent[3] = {c.collinear ? 0.0f : 1.0f, 0, 0};
      const float expectBinormal[3] = {0, c.collinear ? 0.0f : 1.0f, 0};
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(v[10 + k], expectTangent[k], 1e-5f) << i;
        EXPECT_NEAR(v[13 + k], expectBinormal[k], 1e-5f) << i;
      }
    }
    mesh->Release();
  }
}

TEST_F(MeshFill, IndicesNeedTheMeshFaceCount) {
  BodyBuilder b(3);
  FaceGroup group{};
  BodyTriangle triangles[2] = {Tri(0, 1, 2), Tri(2, 1, 0)};
  group.triangleCount = 2;
  group.triangles = triangles;
  const int32_t remap[3] = {0, 1, 2};
  GpuxMesh* mesh = MakeMesh(1, 3, false);
  EXPECT_FALSE(MeshFillIndices(&group, remap, mesh));
  mesh->Release();
}

}  // namespace
