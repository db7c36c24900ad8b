// Meshes on the device. Vertex elements are read and written through four floats, so a copy
// converts between any two declaration types. Adjacency pairs each directed edge with the
// opposite edge of another face, over point representatives found with a grid of epsilon-sized
// cells.
#include "platform/gpu_mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace {

uint32_t TypeSize(uint8_t type) {
  switch (type) {
    case kGpuDeclTypeFloat1:
    case kGpuDeclTypeColor:
    case kGpuDeclTypeUByte4:
    case kGpuDeclTypeShort2:
    case kGpuDeclTypeUByte4N:
    case kGpuDeclTypeShort2N:
    case kGpuDeclTypeUShort2N:
    case kGpuDeclTypeUDec3:
    case kGpuDeclTypeDec3N:
    case kGpuDeclTypeFloat16x2:
      return 4;
    case kGpuDeclTypeFloat2:
    case kGpuDeclTypeShort4:
    case kGpuDeclTypeShort4N:
    case kGpuDeclTypeUShort4N:
    case kGpuDeclTypeFloat16x4:
      return 8;
    case kGpuDeclTypeFloat3:
      return 12;
    case kGpuDeclTypeFloat4:
      return 16;
    default:
      return 0;
  }
}

float HalfToFloat(uint16_t h) {
  uint32_t sign = (h >> 15) & 1, exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
  float v;
  if (exponent == 0) {
    v = std::ldexp(static_cast<float>(mantissa), -24);
  } else if (exponent == 31) {
    v = mantissa ? NAN : INFINITY;
  } else {
    v = std::ldexp(static_cast<float>(mantissa | 0x400), static_cast<int>(exponent) - 25);
  }
  return sign ? -v : v;
}

uint16_t FloatToHalf(float f) {
  uint16_t sign = std::signbit(f) ? 0x8000 : 0;
  float a = std::fabs(f);
  if (std::isnan(f)) return 0x7E00;
  if (a >= 65520.0f) return sign | 0x7C00;
  if (a < std::ldexp(1.0f, -24)) return sign;
  int exponent;
  std::frexp(a, &exponent);  // a = m * 2^exponent, m in [0.5, 1)
  int e = exponent - 1 + 15;
  if (e <= 0) return sign | static_cast<uint16_t>(std::lround(std::ldexp(a, 24)));
  uint32_t mantissa = static_cast<uint32_t>(std::lround(std::ldexp(a, 11 - exponent))) - 0x400;
  if (mantissa == 0x400) {
    mantissa = 0;
    ++e;
  }
  return sign | static_cast<uint16_t>(e << 10 | mantissa);
}

template <typename T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Save(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

int32_t SignedBits(uint32_t v, int bits) {
  int32_t x = static_cast<int32_t>(v & ((1u << bits) - 1));
  return x >= (1 << (bits - 1)) ? x - (1 << bits) : x;
}

void ReadElement(uint8_t type, const uint8_t* p, float out[4]) {
  out[0] = out[1] = out[2] = 0.0f;
  out[3] = 1.0f;
  switch (type) {
    case kGpuDeclTypeFloat4:
      out[3] = Load<float>(p + 12);
      [[fallthrough]];
    case kGpuDeclTypeFloat3:
      out[2] = Load<float>(p + 8);
      [[fallthrough]];
    case kGpuDeclTypeFloat2:
      out[1] = Load<float>(p + 4);
      [[fallthrough]];
    case kGpuDeclTypeFloat1:
      out[0] = Load<float>(p);
      break;
    case kGpuDeclTypeColor: {
      uint32_t c = Load<uint32_t>(p);
      out[0] = ((c >> 16) & 0xFF) / 255.0f;
      out[1] = ((c >> 8) & 0xFF) / 255.0f;
      out[2] = (c & 0xFF) / 255.0f;
      out[3] = (c >> 24) / 255.0f;
      break;
    }
    case kGpuDeclTypeUByte4:
    case kGpuDeclTypeUByte4N:
      for (int i = 0; i < 4; ++i) out[i] = type == kGpuDeclTypeUByte4 ? p[i] : p[i] / 255.0f;
      break;
    case kGpuDeclTypeShort2:
    case kGpuDeclTypeShort4:
    case kGpuDeclTypeShort2N:
    case kGpuDeclTypeShort4N: {
      int n = (type == kGpuDeclTypeShort2 || type == kGpuDeclTypeShort2N) ? 2 : 4;
      bool normalised = type == kGpuDeclTypeShort2N || type == kGpuDeclTypeShort4N;
      for (int i = 0; i < n; ++i) {
        float v = Load<int16_t>(p + 2 * i);
        out[i] = normalised ? std::max(-1.0f, v / 32767.0f) : v;
      }
      break;
    }
    case kGpuDeclTypeUShort2N:
    case kGpuDeclTypeUShort4N: {
      int n = type == kGpuDeclTypeUShort2N ? 2 : 4;
      for (int i = 0; i < n; ++i) out[i] = Load<uint16_t>(p + 2 * i) / 65535.0f;
      break;
    }
    case kGpuDeclTypeUDec3:
    case kGpuDeclTypeDec3N: {
      uint32_t v = Load<uint32_t>(p);
      for (int i = 0; i < 3; ++i) {
        uint32_t bits = (v >> (10 * i)) & 0x3FF;
        out[i] = type == kGpuDeclTypeUDec3 ? static_cast<float>(bits)
                                           : std::max(-1.0f, SignedBits(bits, 10) / 511.0f);
      }
      break;
    }
    case kGpuDeclTypeFloat16x2:
    case kGpuDeclTypeFloat16x4: {
      int n = type == kGpuDeclTypeFloat16x2 ? 2 : 4;
      for (int i = 0; i < n; ++i) out[i] = HalfToFloat(Load<uint16_t>(p + 2 * i));
      break;
    }
    default:
      break;
  }
}

float Clamp(float v, float lo, float hi) { return std::isnan(v) ? 0.0f : std::clamp(v, lo, hi); }

void WriteElement(uint8_t type, const float in[4], uint8_t* p) {
  switch (type) {
    case kGpuDeclTypeFloat1:
    case kGpuDeclTypeFloat2:
    case kGpuDeclTypeFloat3:
    case kGpuDeclTypeFloat4:
      for (uint32_t i = 0; i < TypeSize(type) / 4; ++i) Save<float>(p + 4 * i, in[i]);
      break;
    case kGpuDeclTypeColor: {
      auto b = [&](int i) { return static_cast<uint32_t>(std::lround(Clamp(in[i], 0, 1) * 255.0f)); };
      Save<uint32_t>(p, b(3) << 24 | b(0) << 16 | b(1) << 8 | b(2));
      break;
    }
    case kGpuDeclTypeUByte4:
    case kGpuDeclTypeUByte4N:
      for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(std::lround(type == kGpuDeclTypeUByte4 ? Clamp(in[i], 0, 255) : Clamp(in[i], 0, 1) * 255.0f));
      break;
    case kGpuDeclTypeShort2:
    case kGpuDeclTypeShort4:
    case kGpuDeclTypeShort2N:
    case kGpuDeclTypeShort4N: {
      int n = (type == kGpuDeclTypeShort2 || type == kGpuDeclTypeShort2N) ? 2 : 4;
      bool normalised = type == kGpuDeclTypeShort2N || type == kGpuDeclTypeShort4N;
      for (int i = 0; i < n; ++i) {
        float v = normalised ? Clamp(in[i], -1, 1) * 32767.0f : Clamp(in[i], -32768, 32767);
        Save<int16_t>(p + 2 * i, static_cast<int16_t>(std::lround(v)));
      }
      break;
    }
    case kGpuDeclTypeUShort2N:
    case kGpuDeclTypeUShort4N: {
      int n = type == kGpuDeclTypeUShort2N ? 2 : 4;
      for (int i = 0; i < n; ++i) Save<uint16_t>(p + 2 * i, static_cast<uint16_t>(std::lround(Clamp(in[i], 0, 1) * 65535.0f)));
      break;
    }
    case kGpuDeclTypeUDec3:
    case kGpuDeclTypeDec3N: {
      uint32_t v = 0;
      for (int i = 0; i < 3; ++i) {
        int32_t x = type == kGpuDeclTypeUDec3 ? static_cast<int32_t>(std::lround(Clamp(in[i], 0, 1023)))
                                              : static_cast<int32_t>(std::lround(Clamp(in[i], -1, 1) * 511.0f));
        v |= (static_cast<uint32_t>(x) & 0x3FF) << (10 * i);
      }
      Save<uint32_t>(p, v);
      break;
    }
    case kGpuDeclTypeFloat16x2:
    case kGpuDeclTypeFloat16x4: {
      int n = type == kGpuDeclTypeFloat16x2 ? 2 : 4;
      for (int i = 0; i < n; ++i) Save<uint16_t>(p + 2 * i, FloatToHalf(in[i]));
      break;
    }
    default:
      break;
  }
}

bool CopyDeclaration(const GpuVertexElement* declaration, std::vector<GpuVertexElement>* out) {
  out->clear();
  if (!declaration) return false;
  for (uint32_t i = 0; i < kGpuxMaxDeclLength; ++i) {
    out->push_back(declaration[i]);
    if (declaration[i].stream == kGpuDeclEndStream) return true;
  }
  return false;
}

void Usage(uint32_t options, bool vertex, uint32_t* usage, uint32_t* pool) {
  uint32_t systemMem = vertex ? kGpuxMeshVbSystemMem : kGpuxMeshIbSystemMem;
  uint32_t managed = vertex ? kGpuxMeshVbManaged : kGpuxMeshIbManaged;
  *pool = (options & systemMem) ? kGpuPoolSystemMem : (options & managed) ? kGpuPoolManaged : kGpuPoolDefault;
  *usage = 0;
  if (options & (vertex ? kGpuxMeshVbWriteOnly : kGpuxMeshIbWriteOnly)) *usage |= kGpuUsageWriteOnly;
  if (options & (vertex ? kGpuxMeshVbDynamic : kGpuxMeshIbDynamic)) *usage |= kGpuUsageDynamic;
  if (options & (vertex ? kGpuxMeshVbSoftwareProcessing : kGpuxMeshIbSoftwareProcessing))
    *usage |= kGpuUsageSoftwareProcessing;
  if (options & kGpuxMeshDoNotClip) *usage |= kGpuUsageDoNotClip;
  if (options & kGpuxMeshPoints) *usage |= kGpuUsagePoints;
}

// Pairs each face edge (a, b) with the first unpaired edge (b, a) of another face.
void AdjacencyFromReps(const std::vector<uint32_t>& indices, const std::vector<uint32_t>& reps, uint32_t* adjacency) {
  size_t faces = indices.size() / 3;
  std::fill(adjacency, adjacency + faces * 3, kGpuxNoNeighbour);
  std::unordered_map<uint64_t, std::vector<uint32_t>> edges;  // directed edge -> face*3+k slots
  auto key = [](uint32_t a, uint32_t b) { return static_cast<uint64_t>(a) << 32 | b; };
  for (size_t f = 0; f < faces; ++f)
    for (uint32_t k = 0; k < 3; ++k) {
      uint32_t a = reps[indices[f * 3 + k]], b = reps[indices[f * 3 + (k + 1) % 3]];
      if (a != b) edges[key(a, b)].push_back(static_cast<uint32_t>(f * 3 + k));
    }
  for (size_t f = 0; f < faces; ++f) {
    for (uint32_t k = 0; k < 3; ++k) {
      size_t slot = f * 3 + k;
      if (adjacency[slot] != kGpuxNoNeighbour) continue;
      uint32_t a = reps[indices[slot]], b = reps[indices[f * 3 + (k + 1) % 3]];
      if (a == b) continue;
      auto it = edges.find(key(b, a));
      if (it == edges.end()) continue;
      for (uint32_t other : it->second) {
        if (other / 3 == f || adjacency[other] != kGpuxNoNeighbour) continue;
        adjacency[slot] = other / 3;
        adjacency[other] = static_cast<uint32_t>(f);
        break;
      }
    }
  }
}

// The lowest-numbered vertex within epsilon of each vertex, found through a grid of cells
// epsilon wide (a neighbour within epsilon lies in one of the 27 surrounding cells).
std::vector<uint32_t> PointReps(const std::vector<std::array<float, 3>>& positions, float epsilon) {
  std::vector<uint32_t> reps(positions.size());
  double cell = epsilon > 0.0f ? static_cast<double>(epsilon) : 0.0;
  auto cellOf = [&](float v, int64_t* out) {
    if (!std::isfinite(v)) return false;
    double c = cell > 0 ? std::floor(v / cell) : static_cast<double>(v);
    if (std::fabs(c) > 4.0e15) return false;
    *out = cell > 0 ? static_cast<int64_t>(c) : 0;
    return true;
  };
  std::map<std::tuple<int64_t, int64_t, int64_t, float, float, float>, std::vector<uint32_t>> grid;
  for (uint32_t i = 0; i < positions.size(); ++i) {
    const auto& p = positions[i];
    reps[i] = i;
    int64_t c[3];
    if (!cellOf(p[0], &c[0]) || !cellOf(p[1], &c[1]) || !cellOf(p[2], &c[2])) continue;  // never equal
    if (cell == 0) {  // exact positions share one bucket
      auto& bucket = grid[{0, 0, 0, p[0], p[1], p[2]}];
      if (!bucket.empty()) reps[i] = reps[bucket.front()];
      bucket.push_back(i);
      continue;
    }
    uint32_t best = i;
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dz = -1; dz <= 1; ++dz) {
          auto it = grid.find({c[0] + dx, c[1] + dy, c[2] + dz, 0.0f, 0.0f, 0.0f});
          if (it == grid.end()) continue;
          for (uint32_t j : it->second) {
            const auto& q = positions[j];
            if (std::fabs(p[0] - q[0]) <= epsilon && std::fabs(p[1] - q[1]) <= epsilon &&
                std::fabs(p[2] - q[2]) <= epsilon)
              best = std::min(best, reps[j]);
          }
        }
    reps[i] = best;
    grid[{c[0], c[1], c[2], 0.0f, 0.0f, 0.0f}].push_back(i);
  }
  return reps;
}

class Mesh final : public GpuxMesh {
 public:
  Mesh(GpuDevice* device, uint32_t faces, uint32_t vertices, uint32_t options,
       std::vector<GpuVertexElement> declaration)
      : device_(device), faces_(faces), vertices_(vertices), options_(options), declaration_(std::move(declaration)) {
    device_->AddRef();
    stride_ = GpuxGetDeclVertexSize(declaration_.data(), 0);
  }

  GpuResult Create() {
    uint32_t usage, pool;
    Usage(options_, true, &usage, &pool);
    GpuResult result = device_->CreateVertexBuffer(vertices_ * stride_, usage, 0, pool, &vb_);
    if (GpuFailed(result)) return result;
    Usage(options_, false, &usage, &pool);
    uint32_t indexBytes = (options_ & kGpuxMesh32Bit) ? 4 : 2;
    return device_->CreateIndexBuffer(faces_ * 3 * indexBytes, usage,
                                      indexBytes == 4 ? kGpuFmtIndex32 : kGpuFmtIndex16, pool, &ib_);
  }

  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  GpuResult GetDevice(GpuDevice** device) override {
    if (!device) return kGpuErrInvalidCall;
    device_->AddRef();
    *device = device_;
    return kGpuOk;
  }
  uint32_t GetNumFaces() override { return faces_; }
  uint32_t GetNumVertices() override { return vertices_; }
  uint32_t GetOptions() override { return options_; }
  uint32_t GetNumBytesPerVertex() override { return stride_; }
  GpuResult GetDeclaration(GpuVertexElement* elements) override {
    if (!elements) return kGpuErrInvalidCall;
    std::copy(declaration_.begin(), declaration_.end(), elements);
    return kGpuOk;
  }
  GpuResult GetVertexBuffer(GpuVertexBuffer** buffer) override {
    if (!buffer) return kGpuErrInvalidCall;
    vb_->AddRef();
    *buffer = vb_;
    return kGpuOk;
  }
  GpuResult GetIndexBuffer(GpuIndexBuffer** buffer) override {
    if (!buffer) return kGpuErrInvalidCall;
    ib_->AddRef();
    *buffer = ib_;
    return kGpuOk;
  }
  GpuResult LockVertexBuffer(uint32_t flags, void** data) override { return vb_->Lock(0, 0, data, flags); }
  GpuResult UnlockVertexBuffer() override { return vb_->Unlock(); }
  GpuResult LockIndexBuffer(uint32_t flags, void** data) override { return ib_->Lock(0, 0, data, flags); }
  GpuResult UnlockIndexBuffer() override { return ib_->Unlock(); }

  GpuResult CloneMesh(uint32_t options, const GpuVertexElement* declaration, GpuDevice* device,
                      GpuxMesh** clone) override;

  GpuResult GenerateAdjacency(float epsilon, uint32_t* adjacency) override {
    if (!adjacency || !(epsilon >= 0.0f)) return kGpuErrInvalidCall;
    std::vector<uint32_t> indices;
    GpuResult result = ReadIndices(&indices);
    if (GpuFailed(result)) return result;
    std::vector<std::array<float, 3>> positions;
    result = ReadPositions(&positions);
    if (GpuFailed(result)) return result;
    AdjacencyFromReps(indices, PointReps(positions, epsilon), adjacency);
    return kGpuOk;
  }

  GpuResult ConvertPointRepsToAdjacency(const uint32_t* pointReps, uint32_t* adjacency) override {
    if (!adjacency) return kGpuErrInvalidCall;
    std::vector<uint32_t> reps(vertices_);
    for (uint32_t i = 0; i < vertices_; ++i) {
      reps[i] = pointReps ? pointReps[i] : i;
      if (reps[i] >= vertices_) return kGpuErrInvalidCall;
    }
    std::vector<uint32_t> indices;
    GpuResult result = ReadIndices(&indices);
    if (GpuFailed(result)) return result;
    AdjacencyFromReps(indices, reps, adjacency);
    return kGpuOk;
  }

  GpuResult OptimizeInplace(uint32_t flags, const uint32_t* adjacencyIn, uint32_t* adjacencyOut, uint32_t* faceRemap,
                            uint32_t* vertexRemap) override {
    (void)flags;  // the face order is kept for every kind of optimisation
    GpuResult result = PassAdjacency(adjacencyIn, adjacencyOut);
    if (GpuFailed(result)) return result;
    if (faceRemap)
      for (uint32_t f = 0; f < faces_; ++f) faceRemap[f] = f;
    if (vertexRemap)
      for (uint32_t v = 0; v < vertices_; ++v) vertexRemap[v] = v;
    return kGpuOk;
  }

  // The given adjacency, checked and copied, or one made from exact positions.
  GpuResult PassAdjacency(const uint32_t* in, uint32_t* out) {
    if (in) {
      for (uint32_t i = 0; i < faces_ * 3; ++i)
        if (in[i] != kGpuxNoNeighbour && in[i] >= faces_) return kGpuErrInvalidCall;
      if (out) std::copy(in, in + faces_ * 3, out);
      return kGpuOk;
    }
    return out ? GenerateAdjacency(0.0f, out) : kGpuOk;
  }

 private:
  ~Mesh() override {
    if (vb_) vb_->Release();
    if (ib_) ib_->Release();
    device_->Release();
  }

  GpuResult ReadIndices(std::vector<uint32_t>* out) {
    void* data = nullptr;
    GpuResult result = ib_->Lock(0, 0, &data, kGpuLockReadOnly);
    if (GpuFailed(result)) return result;
    out->resize(static_cast<size_t>(faces_) * 3);
    for (size_t i = 0; i < out->size(); ++i) {
      (*out)[i] = (options_ & kGpuxMesh32Bit) ? Load<uint32_t>(static_cast<uint8_t*>(data) + 4 * i)
                                              : Load<uint16_t>(static_cast<uint8_t*>(data) + 2 * i);
      if ((*out)[i] >= vertices_) {
        ib_->Unlock();
        return kGpuErrInvalidCall;
      }
    }
    ib_->Unlock();
    return kGpuOk;
  }

  GpuResult ReadPositions(std::vector<std::array<float, 3>>* out) {
    const GpuVertexElement* position = nullptr;
    for (const GpuVertexElement& e : declaration_)
      if (e.stream == 0 && e.usage == kGpuDeclUsagePosition && e.usageIndex == 0) position = &e;
    if (!position) return kGpuErrInvalidCall;
    void* data = nullptr;
    GpuResult result = vb_->Lock(0, 0, &data, kGpuLockReadOnly);
    if (GpuFailed(result)) return result;
    out->resize(vertices_);
    for (uint32_t v = 0; v < vertices_; ++v) {
      float f[4];
      ReadElement(position->type, static_cast<uint8_t*>(data) + static_cast<size_t>(v) * stride_ + position->offset, f);
      (*out)[v] = {f[0], f[1], f[2]};
    }
    vb_->Unlock();
    return kGpuOk;
  }

  GpuDevice* device_;
  uint32_t faces_, vertices_, options_;
  std::vector<GpuVertexElement> declaration_;
  uint32_t stride_ = 0;
  uint32_t refs_ = 1;
  GpuVertexBuffer* vb_ = nullptr;
  GpuIndexBuffer* ib_ = nullptr;
};

GpuResult Mesh::CloneMesh(uint32_t options, const GpuVertexElement* declaration, GpuDevice* device, GpuxMesh** clone) {
  if (!clone) return kGpuErrInvalidCall;
  *clone = nullptr;
  GpuxMesh* made = nullptr;
  GpuResult result = GpuxCreateMesh(faces_, vertices_, options, declaration, device ? device : device_, &made);
  if (GpuFailed(result)) return result;
  std::vector<GpuVertexElement> target;
  CopyDeclaration(declaration, &target);
  uint32_t targetStride = made->GetNumBytesPerVertex();
  void* from = nullptr;
  void* to = nullptr;
  result = vb_->Lock(0, 0, &from, kGpuLockReadOnly);
  if (GpuSucceeded(result)) {
    result = made->LockVertexBuffer(0, &to);
    if (GpuSucceeded(result)) {
      std::memset(to, 0, static_cast<size_t>(vertices_) * targetStride);
      for (const GpuVertexElement& t : target) {
        if (t.stream != 0 || TypeSize(t.type) == 0) continue;
        const GpuVertexElement* s = nullptr;
        for (const GpuVertexElement& e : declaration_)
          if (e.stream == 0 && e.usage == t.usage && e.usageIndex == t.usageIndex && TypeSize(e.type)) s = &e;
        if (!s) continue;
        for (uint32_t v = 0; v < vertices_; ++v) {
          float value[4];
          ReadElement(s->type, static_cast<uint8_t*>(from) + static_cast<size_t>(v) * stride_ + s->offset, value);
          WriteElement(t.type, value, static_cast<uint8_t*>(to) + static_cast<size_t>(v) * targetStride + t.offset);
        }
      }
      made->UnlockVertexBuffer();
    }
    vb_->Unlock();
  }
  if (GpuSucceeded(result)) {
    std::vector<uint32_t> indices;
    result = ReadIndices(&indices);
    if (GpuSucceeded(result)) result = made->LockIndexBuffer(0, &to);
    if (GpuSucceeded(result)) {
      for (size_t i = 0; i < indices.size(); ++i) {
        if (options & kGpuxMesh32Bit) {
          Save<uint32_t>(static_cast<uint8_t*>(to) + 4 * i, indices[i]);
        } else {
          Save<uint16_t>(static_cast<uint8_t*>(to) + 2 * i, static_cast<uint16_t>(indices[i]));
        }
      }
      made->UnlockIndexBuffer();
    }
  }
  if (GpuFailed(result)) {
    made->Release();
    return result;
  }
  *clone = made;
  return kGpuOk;
}

}  // namespace

uint32_t GpuxGetDeclVertexSize(const GpuVertexElement* declaration, uint32_t stream) {
  if (!declaration) return 0;
  uint32_t size = 0;
  for (uint32_t i = 0; i < kGpuxMaxDeclLength && declaration[i].stream != kGpuDeclEndStream; ++i)
    if (declaration[i].stream == stream) size = std::max(size, declaration[i].offset + TypeSize(declaration[i].type));
  return size;
}

GpuResult GpuxCreateMesh(uint32_t faces, uint32_t vertices, uint32_t options, const GpuVertexElement* declaration,
                         GpuDevice* device, GpuxMesh** mesh) {
  if (!mesh) return kGpuErrInvalidCall;
  *mesh = nullptr;
  std::vector<GpuVertexElement> elements;
  if (!device || faces == 0 || vertices == 0 || !CopyDeclaration(declaration, &elements)) return kGpuErrInvalidCall;
  if (!(options & kGpuxMesh32Bit) && vertices > 0xFFFF) return kGpuErrInvalidCall;
  uint32_t stride = GpuxGetDeclVertexSize(elements.data(), 0);
  // Buffers are sized in 32-bit bytes counts.
  if (stride == 0 || vertices > 0xFFFFFFFFu / stride || faces > 0xFFFFFFFFu / 12) return kGpuErrInvalidCall;
  auto* made = new Mesh(device, faces, vertices, options, std::move(elements));
  GpuResult result = made->Create();
  if (GpuFailed(result)) {
    made->Release();
    return result;
  }
  *mesh = made;
  return kGpuOk;
}

GpuResult GpuxCleanMesh(uint32_t cleanType, GpuxMesh* mesh, const uint32_t* adjacencyIn, GpuxMesh** clean,
                        uint32_t* adjacencyOut) {
  (void)cleanType;  // faces are kept whatever is asked: callers rely on their count and order
  if (!clean) return kGpuErrInvalidCall;
  *clean = nullptr;
  if (!mesh) return kGpuErrInvalidCall;
  GpuVertexElement declaration[kGpuxMaxDeclLength];
  mesh->GetDeclaration(declaration);
  // The adjacency is checked and passed through as the in-place optimisation does it.
  GpuResult result = mesh->OptimizeInplace(0, adjacencyIn, adjacencyOut, nullptr, nullptr);
  if (GpuFailed(result)) return result;
  return mesh->CloneMesh(mesh->GetOptions(), declaration, nullptr, clean);
}
