// Meshes on the null device: a cube's adjacency shares every edge (positions matched within the
// epsilon, or through point representatives), clean-up and optimisation keep its 12 faces in
// order, 70000 vertices need 32-bit indices, a clone into the 64-byte and the packed layouts
// keeps positions and normals, and the vertex sizes of the renderer's declarations.
#include "platform/gpu_mesh.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/gpu_fixture.h"

namespace {

constexpr uint32_t kCreateOptions = 0x990;

const GpuVertexElement kMesh[] = {{0, 0, kGpuDeclTypeFloat3, 0, kGpuDeclUsagePosition, 0},
                                  {0, 12, kGpuDeclTypeFloat4, 0, kGpuDeclUsageTexCoord, 0},
                                  {0, 28, kGpuDeclTypeFloat3, 0, kGpuDeclUsageNormal, 0},
                                  kGpuDeclEnd};
const GpuVertexElement kMeshBump[] = {{0, 0, kGpuDeclTypeFloat3, 0, kGpuDeclUsagePosition, 0},
                                      {0, 12, kGpuDeclTypeFloat4, 0, kGpuDeclUsageTexCoord, 0},
                                      {0, 28, kGpuDeclTypeFloat3, 0, kGpuDeclUsageNormal, 0},
                                      {0, 40, kGpuDeclTypeFloat3, 0, kGpuDeclUsageTangent, 0},
                                      {0, 52, kGpuDeclTypeFloat3, 0, kGpuDeclUsageBinormal, 0},
                                      kGpuDeclEnd};
const GpuVertexElement kScreen2[] = {{0, 0, kGpuDeclTypeFloat3, 0, kGpuDeclUsagePosition, 0},
                                     {0, 12, kGpuDeclTypeFloat2, 0, kGpuDeclUsageTexCoord, 0},
                                     {0, 20, kGpuDeclTypeFloat2, 0, kGpuDeclUsageTexCoord, 1},
                                     {0, 28, kGpuDeclTypeColor, 0, kGpuDeclUsageColor, 0},
                                     kGpuDeclEnd};
const GpuVertexElement kScreen[] = {{0, 0, kGpuDeclTypeFloat3, 0, kGpuDeclUsagePosition, 0},
                                    {0, 12, kGpuDeclTypeFloat2, 0, kGpuDeclUsageTexCoord, 0},
                                    {0, 20, kGpuDeclTypeColor, 0, kGpuDeclUsageColor, 0},
                                    kGpuDeclEnd};
const GpuVertexElement kHalfDec3n[] = {{0, 0, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsagePosition, 0},
                                       {0, 8, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsageTexCoord, 0},
                                       {0, 16, kGpuDeclTypeDec3N, 0, kGpuDeclUsageNormal, 0},
                                       kGpuDeclEnd};
const GpuVertexElement kHalfDec3nBump[] = {{0, 0, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsagePosition, 0},
                                           {0, 8, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsageTexCoord, 0},
                                           {0, 16, kGpuDeclTypeDec3N, 0, kGpuDeclUsageNormal, 0},
                                           {0, 20, kGpuDeclTypeDec3N, 0, kGpuDeclUsageTangent, 0},
                                           {0, 24, kGpuDeclTypeDec3N, 0, kGpuDeclUsageBinormal, 0},
                                           kGpuDeclEnd};
const GpuVertexElement kHalf[] = {{0, 0, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsagePosition, 0},
                                  {0, 8, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsageTexCoord, 0},
                                  {0, 16, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsageNormal, 0},
                                  kGpuDeclEnd};
const GpuVertexElement kHalfBump[] = {{0, 0, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsagePosition, 0},
                                      {0, 8, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsageTexCoord, 0},
                                      {0, 16, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsageNormal, 0},
                                      {0, 24, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsageTangent, 0},
                                      {0, 32, kGpuDeclTypeFloat16x4, 0, kGpuDeclUsageBinormal, 0},
                                      kGpuDeclEnd};
const GpuVertexElement kDec3n[] = {{0, 0, kGpuDeclTypeFloat3, 0, kGpuDeclUsagePosition, 0},
                                   {0, 12, kGpuDeclTypeFloat4, 0, kGpuDeclUsageTexCoord, 0},
                                   {0, 28, kGpuDeclTypeDec3N, 0, kGpuDeclUsageNormal, 0},
                                   kGpuDeclEnd};
const GpuVertexElement kDec3nBump[] = {{0, 0, kGpuDeclTypeFloat3, 0, kGpuDeclUsagePosition, 0},
                                       {0, 12, kGpuDeclTypeFloat4, 0, kGpuDeclUsageTexCoord, 0},
                                       {0, 28, kGpuDeclTypeDec3N, 0, kGpuDeclUsageNormal, 0},
                                       {0, 32, kGpuDeclTypeDec3N, 0, kGpuDeclUsageTangent, 0},
                                       {0, 36, kGpuDeclTypeDec3N, 0, kGpuDeclUsageBinormal, 0},
                                       kGpuDeclEnd};

TEST(GpuMeshDecl, VertexSizesOfTheRenderersDeclarations) {
  struct Case {
    const char* name;
    const GpuVertexElement* declaration;
    uint32_t size;
  };
  const Case kCases[] = {
      {"mesh", kMesh, 40},           {"screen 2", kScreen2, 32},          {"screen", kScreen, 24},
      {"mesh bump", kMeshBump, 64},  {"half/DEC3N", kHalfDec3n, 20},      {"half/DEC3N bump", kHalfDec3nBump, 28},
      {"half", kHalf, 24},           {"half bump", kHalfBump, 40},        {"DEC3N", kDec3n, 32},
      {"DEC3N bump", kDec3nBump, 40},
  };
  for (const Case& c : kCases) EXPECT_EQ(GpuxGetDeclVertexSize(c.declaration, 0), c.size) << c.name;
  EXPECT_EQ(GpuxGetDeclVertexSize(kMesh, 1), 0u);
}

struct Vertex {
  float pos[3];
  float uv[4];
  float normal[3];
};
static_assert(sizeof(Vertex) == 40);

class GpuMeshTest : public GpuDeviceFixture {
 public:
  void SetUp() override { ASSERT_TRUE(Open(kGpuBackendNull)); }

  // A unit cube of 24 vertices (four per side, each side with its own normal) and 12 faces
  // wound clockwise seen from outside. `jitter` moves the second copy of each corner.
  GpuxMesh* Cube(float jitter) {
    const float n[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
    std::vector<int> seen(8, 0);
    for (int side = 0; side < 6; ++side) {
      // Two axes spanning the side, ordered so the corners run clockwise from outside.
      int axis = side / 2;
      float sign = n[side][axis];
      int u = (axis + 1) % 3, v = (axis + 2) % 3;
      if (sign < 0) std::swap(u, v);
      const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
      uint16_t base = static_cast<uint16_t>(vertices.size());
      for (const auto& c : corners) {
        Vertex vx{};
        vx.pos[axis] = sign;
        vx.pos[u] = c[0];
        vx.pos[v] = c[1];
        int corner = (vx.pos[0] > 0) * 4 + (vx.pos[1] > 0) * 2 + (vx.pos[2] > 0);
        if (seen[corner]++ == 1) vx.pos[0] += jitter;
        std::memcpy(vx.normal, n[side], sizeof vx.normal);
        vx.uv[0] = c[0];
        vertices.push_back(vx);
      }
      indices.insert(indices.end(), {base, uint16_t(base + 1), uint16_t(base + 2), base, uint16_t(base + 2),
                                     uint16_t(base + 3)});
    }
    GpuxMesh* mesh = nullptr;
    EXPECT_EQ(GpuxCreateMesh(12, 24, kCreateOptions, kMesh, device_, &mesh), kGpuOk);
    void* data = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(0, &data), kGpuOk);
    std::memcpy(data, vertices.data(), vertices.size() * sizeof(Vertex));
    mesh->UnlockVertexBuffer();
    EXPECT_EQ(mesh->LockIndexBuffer(0, &data), kGpuOk);
    std::memcpy(data, indices.data(), indices.size() * 2);
    mesh->UnlockIndexBuffer();
    return mesh;
  }

  static std::vector<uint16_t> Indices(GpuxMesh* mesh) {
    void* data = nullptr;
    EXPECT_EQ(mesh->LockIndexBuffer(kGpuLockReadOnly, &data), kGpuOk);
    std::vector<uint16_t> out(static_cast<uint16_t*>(data), static_cast<uint16_t*>(data) + mesh->GetNumFaces() * 3);
    mesh->UnlockIndexBuffer();
    return out;
  }

  // Every edge has a neighbour, and the neighbour names the face back.
  static void ExpectClosed(const std::vector<uint32_t>& adjacency) {
    for (uint32_t f = 0; f < 12; ++f)
      for (uint32_t k = 0; k < 3; ++k) {
        uint32_t g = adjacency[f * 3 + k];
        ASSERT_LT(g, 12u) << f << "/" << k;
        EXPECT_NE(g, f);
        EXPECT_TRUE(adjacency[g * 3] == f || adjacency[g * 3 + 1] == f || adjacency[g * 3 + 2] == f) << f << "/" << k;
      }
  }
};

TEST_F(GpuMeshTest, CubeAdjacencySharesEveryEdge) {
  GpuxMesh* mesh = Cube(0.0f);
  std::vector<uint32_t> adjacency(36, 0);
  ASSERT_EQ(mesh->GenerateAdjacency(1e-6f, adjacency.data()), kGpuOk);
  ExpectClosed(adjacency);
  // The two triangles of a side meet across its diagonal: face 0's edge (2, 0) is face 1's (0, 2).
  EXPECT_EQ(adjacency[2], 1u);
  EXPECT_EQ(adjacency[3], 0u);
  EXPECT_EQ(adjacency[2 * 3 + 2], 3u);
  // Without shared positions, each side is on its own.
  ASSERT_EQ(mesh->ConvertPointRepsToAdjacency(nullptr, adjacency.data()), kGpuOk);
  EXPECT_EQ(adjacency[0], kGpuxNoNeighbour);
  EXPECT_EQ(adjacency[2], 1u);
  EXPECT_EQ(std::count(adjacency.begin(), adjacency.end(), kGpuxNoNeighbour), 24);
  mesh->Release();
}

TEST_F(GpuMeshTest, PositionsMatchWithinTheEpsilonOnly) {
  struct Case {
    float jitter, epsilon;
    bool closed;
  };
  const Case kCases[] = {{5e-7f, 1e-6f, true}, {1e-3f, 1e-6f, false}, {1e-3f, 2e-3f, true}, {1e-7f, 0.0f, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.jitter);
    GpuxMesh* mesh = Cube(c.jitter);
    std::vector<uint32_t> adjacency(36, 0);
    ASSERT_EQ(mesh->GenerateAdjacency(c.epsilon, adjacency.data()), kGpuOk);
    bool closed = std::count(adjacency.begin(), adjacency.end(), kGpuxNoNeighbour) == 0;
    EXPECT_EQ(closed, c.closed);
    mesh->Release();
  }
}

TEST_F(GpuMeshTest, PointRepsGiveTheSameAdjacencyAsPositions) {
  GpuxMesh* mesh = Cube(0.0f);
  // The lowest vertex at each position.
  void* data = nullptr;
  ASSERT_EQ(mesh->LockVertexBuffer(kGpuLockReadOnly, &data), kGpuOk);
  const auto* v = static_cast<const Vertex*>(data);
  std::vector<uint32_t> reps(24);
  for (uint32_t i = 0; i < 24; ++i) {
    reps[i] = i;
    for (uint32_t j = 0; j < i; ++j)
      if (std::memcmp(v[i].pos, v[j].pos, sizeof v[i].pos) == 0) {
        reps[i] = j;
        break;
      }
  }
  mesh->UnlockVertexBuffer();
  std::vector<uint32_t> fromReps(36), fromPositions(36);
  ASSERT_EQ(mesh->ConvertPointRepsToAdjacency(reps.data(), fromReps.data()), kGpuOk);
  ASSERT_EQ(mesh->GenerateAdjacency(0.0f, fromPositions.data()), kGpuOk);
  EXPECT_EQ(fromReps, fromPositions);
  reps[5] = 24;  // a representative outside the mesh
  EXPECT_EQ(mesh->ConvertPointRepsToAdjacency(reps.data(), fromReps.data()), kGpuErrInvalidCall);
  mesh->Release();
}

TEST_F(GpuMeshTest, CleanAndOptimiseKeepTwelveFacesInOrder) {
  GpuxMesh* mesh = Cube(0.0f);
  std::vector<uint16_t> before = Indices(mesh);
  std::vector<uint32_t> adjacency(36), cleanedAdjacency(36), optimised(36), faceRemap(12);
  ASSERT_EQ(mesh->GenerateAdjacency(1e-6f, adjacency.data()), kGpuOk);
  GpuxMesh* clean = nullptr;
  ASSERT_EQ(GpuxCleanMesh(kGpuxCleanBackFacing | kGpuxCleanBowties, mesh, adjacency.data(), &clean,
                          cleanedAdjacency.data()),
            kGpuOk);
  EXPECT_EQ(clean->GetNumFaces(), 12u);
  EXPECT_EQ(clean->GetNumVertices(), 24u);
  EXPECT_EQ(cleanedAdjacency, adjacency);
  ASSERT_EQ(clean->OptimizeInplace(kGpuxMeshOptVertexCache, cleanedAdjacency.data(), optimised.data(),
                                   faceRemap.data(), nullptr),
            kGpuOk);
  EXPECT_EQ(Indices(clean), before);
  EXPECT_EQ(optimised, adjacency);
  for (uint32_t f = 0; f < 12; ++f) EXPECT_EQ(faceRemap[f], f);
  // An adjacency naming a face the mesh lacks is refused.
  adjacency[7] = 12;
  GpuxMesh* refused = nullptr;
  EXPECT_EQ(GpuxCleanMesh(kGpuxCleanBackFacing, mesh, adjacency.data(), &refused, nullptr), kGpuErrInvalidCall);
  EXPECT_EQ(refused, nullptr);
  clean->Release();
  mesh->Release();
}

TEST_F(GpuMeshTest, SeventyThousandVerticesNeedThirtyTwoBitIndices) {
  GpuxMesh* mesh = nullptr;
  EXPECT_EQ(GpuxCreateMesh(100, 70000, kCreateOptions, kMesh, device_, &mesh), kGpuErrInvalidCall);
  EXPECT_EQ(mesh, nullptr);
  ASSERT_EQ(GpuxCreateMesh(100, 70000, kCreateOptions | kGpuxMesh32Bit | kGpuxMeshSoftwareProcessing, kMesh, device_,
                           &mesh),
            kGpuOk);
  GpuIndexBuffer* ib = nullptr;
  GpuVertexBuffer* vb = nullptr;
  ASSERT_EQ(mesh->GetIndexBuffer(&ib), kGpuOk);
  ASSERT_EQ(mesh->GetVertexBuffer(&vb), kGpuOk);
  GpuBufferDesc desc{};
  ib->GetDesc(&desc);
  EXPECT_EQ(desc.format, kGpuFmtIndex32);
  EXPECT_EQ(desc.size, 1200u);
  EXPECT_EQ(desc.pool, kGpuPoolSystemMem);
  EXPECT_EQ(desc.usage, kGpuUsageDynamic | kGpuUsageSoftwareProcessing);
  vb->GetDesc(&desc);
  EXPECT_EQ(desc.size, 70000u * 40);
  ib->Release();
  vb->Release();
  // A clone keeps the 32-bit indices it needs; a 16-bit clone is refused.
  GpuxMesh* clone = nullptr;
  EXPECT_EQ(mesh->CloneMesh(0x440, kMesh, nullptr, &clone), kGpuErrInvalidCall);
  ASSERT_EQ(mesh->CloneMesh(0x660 | kGpuxMesh32Bit, kMesh, nullptr, &clone), kGpuOk);
  EXPECT_EQ(clone->GetOptions(), 0x661u);
  clone->Release();
  mesh->Release();
  EXPECT_EQ(GpuxCreateMesh(0, 3, kCreateOptions, kMesh, device_, &mesh), kGpuErrInvalidCall);
}

TEST_F(GpuMeshTest, ClonesKeepPositionsAndNormalsInOtherLayouts) {
  GpuxMesh* mesh = Cube(0.0f);
  struct Case {
    const char* name;
    const GpuVertexElement* declaration;
    float tolerance;
  };
  const Case kCases[] = {{"64 bytes", kMeshBump, 0.0f}, {"half and DEC3N", kHalfDec3n, 2.0f / 511}, {"DEC3N", kDec3n, 2.0f / 511}};
  void* data = nullptr;
  ASSERT_EQ(mesh->LockVertexBuffer(kGpuLockReadOnly, &data), kGpuOk);
  std::vector<Vertex> source(static_cast<Vertex*>(data), static_cast<Vertex*>(data) + 24);
  mesh->UnlockVertexBuffer();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    GpuxMesh* clone = nullptr;
    ASSERT_EQ(mesh->CloneMesh(0x440, c.declaration, nullptr, &clone), kGpuOk);
    EXPECT_EQ(clone->GetNumBytesPerVertex(), GpuxGetDeclVertexSize(c.declaration, 0));
    EXPECT_EQ(Indices(clone), Indices(mesh));
    GpuxMesh* back = nullptr;  // read the clone back through the plain layout
    ASSERT_EQ(clone->CloneMesh(kCreateOptions, kMesh, nullptr, &back), kGpuOk);
    ASSERT_EQ(back->LockVertexBuffer(kGpuLockReadOnly, &data), kGpuOk);
    const auto* v = static_cast<const Vertex*>(data);
    for (int i = 0; i < 24; ++i)
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(v[i].pos[k], source[i].pos[k], 1e-3) << i;
        EXPECT_NEAR(v[i].normal[k], source[i].normal[k], c.tolerance) << i;
      }
    back->UnlockVertexBuffer();
    back->Release();
    clone->Release();
  }
  // Tangents the source lacks are zero.
  GpuxMesh* bump = nullptr;
  ASSERT_EQ(mesh->CloneMesh(0x440, kMeshBump, nullptr, &bump), kGpuOk);
  ASSERT_EQ(bump->LockVertexBuffer(kGpuLockReadOnly, &data), kGpuOk);
  float tangent[3];
  std::memcpy(tangent, static_cast<uint8_t*>(data) + 64 * 5 + 40, sizeof tangent);
  EXPECT_EQ(tangent[0], 0.0f);
  EXPECT_EQ(tangent[2], 0.0f);
  bump->UnlockVertexBuffer();
  bump->Release();
  mesh->Release();
}

}  // namespace
