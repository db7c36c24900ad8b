// Draw batches and vertex buffers: the per-scene particle batch built from the engine's active
// particles (counted per material row and kind, grouped, then written as six vertices a quad) and
// the draw objects' instance buffers filled with transformed face groups. Called by the scene
// engine's frame driver and render entries, the scenes' release and the device loss. Never
// writes past its group table or a buffer's capacity, and never indexes the material table with
// a row it does not hold; what it drops is logged.
#include "render/draw_batches.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "platform/gpu.h"
#include "platform/gpu_math.h"
#include "render/d3d_context.h"
#include "render/material_table.h"
#include "render/render_matrices.h"
#include "render/texture_animation.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/instance_records.h"
#include "scene/particle_records.h"
#include "scene/scene_records.h"

namespace {

constexpr uint32_t kRendererMemFlags = MemCategoryFlags(kMemCatMaterial);
constexpr int32_t kVertexProcessingSoftware = 2;
constexpr int32_t kNoGroup = -1;
constexpr float kFixedToFloat = 1.0f / 65536.0f;
// Packed body vertices hold 1.0 as 16384.
constexpr float kPackedToFloat = 4.0f / 65536.0f;

// Draw-object and instance bits that send texture coordinates through a texture animation.
constexpr uint32_t kDrawObjectTexAnim = 1u << 27;
constexpr uint32_t kInst2BatchTexAnim = 1u << 24;
constexpr uint32_t kInst2BatchViewProjection = 1u << 28;

DeviceRecord* Record() { return gDirect3D ? gDirect3D->device : nullptr; }
GpuDevice* Device() { return Record() ? Record()->device : nullptr; }

uint32_t DynamicUsage() {
  uint32_t usage = kGpuUsageDynamic | kGpuUsageWriteOnly;
  if (Record() && Record()->vertexProcessingMode == kVertexProcessingSoftware) usage |= kGpuUsageSoftwareProcessing;
  return usage;
}

// A dynamic default-pool buffer under the retry rule, entered in the video-memory account.
GpuVertexBuffer* CreateDynamicBuffer(uint32_t bytes) {
  GpuDevice* device = Device();
  if (!device) return nullptr;
  GpuVertexBuffer* buffer = nullptr;
  const uint32_t usage = DynamicUsage();
  if (GpuFailed(GpuRetry([&] { return device->CreateVertexBuffer(bytes, usage, 0, kGpuPoolDefault, &buffer); })) ||
      !buffer) {
    return nullptr;
  }
  gDirect3D->videoMemoryBytes += bytes;
  return buffer;
}

void ReleaseDynamicBuffer(GpuVertexBuffer* buffer, uint32_t bytes) {
  if (!buffer) return;
  buffer->Release();
  if (gDirect3D) gDirect3D->videoMemoryBytes -= bytes;
}

// Zero-filled in the renderer's category, with one retry after the low-memory hook.
void* AllocRecord(uint32_t bytes) {
  void* record = MemAlloc(bytes, kRendererMemFlags);
  if (!record) {
    CallLowMemoryHandler();
    record = MemAlloc(bytes, kRendererMemFlags);
  }
  if (record) std::memset(record, 0, bytes);
  return record;
}

// The material row of a particle, or -1 when the table has no such row. Compared unsigned, so a
// negative appearance word is no row either.
int32_t ParticleMaterial(const ParticleRecord* particle) {
  const uint32_t index = static_cast<uint32_t>(particle->appearance[0]);
  if (!gMaterialTable || gMaterialCount <= 0 || index >= static_cast<uint32_t>(gMaterialCount)) return -1;
  return static_cast<int32_t>(index);
}

int32_t ParticleKindOf(const ParticleRecord* particle) {
  return static_cast<int32_t>(particle->kindFlags & kParticleKindFlagMask);
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// The quad colour of the material at fade t (0..255).
uint32_t ParticleColour(const MaterialRecord& m, int32_t fade) {
  const uint32_t t = static_cast<uint32_t>(fade < 0 ? 0 : (fade > 255 ? 255 : fade));
  const uint32_t c[3] = {m.value0, m.value1, m.value2};
  if (m.flags & (MPF_MULTIPLY | MPF_MULTIPLY2X)) {
    // Toward white as t grows: a multiplying quad fades out by multiplying with 1.
    return Argb(255, (255 - c[0]) * t / 255 + c[0], (255 - c[1]) * t / 255 + c[1], (255 - c[2]) * t / 255 + c[2]);
  }
  if (m.flags & MPF_SRCCOLOR) return Argb(255, c[0] * t / 255, c[1] * t / 255, c[2] * t / 255);
  if (m.flags & (MPF_DESTINATIONBLEND | MPF_ALPHABLEND)) return Argb(t, c[0], c[1], c[2]);
  return 0;
}

struct Float3 {
  float x, y, z;
};

Float3 Scaled(const FixedVector& v, float scale) {
  return {static_cast<float>(v.x) * scale, static_cast<float>(v.y) * scale, static_cast<float>(v.z) * scale};
}

void Put(ParticleVertex* v, const Float3& p, float cornerX, float cornerY, float u, float tv, uint32_t colour) {
  v->x = p.x;
  v->y = p.y;
  v->z = p.z;
  v->cornerX = cornerX;
  v->cornerY = cornerY;
  v->u = u;
  v->v = tv;
  v->colour = colour;
}

// The streak's screen angle: the direction from its position to its start seen in the camera's
// frame, turned by an eighth so the quad's diagonal follows it. Short streaks are scaled up
// first so the 16.16 rotation keeps their direction.
uint32_t StreakAngle(const ParticleRecord* particle, const CameraRecord* camera) {
  int64_t d[3] = {int64_t{particle->streakStart.x} - particle->position.x,
                  int64_t{particle->streakStart.y} - particle->position.y,
                  int64_t{particle->streakStart.z} - particle->position.z};
  if (std::llabs(d[0]) < kFixedOne && std::llabs(d[1]) < kFixedOne && std::llabs(d[2]) < kFixedOne) {
    for (int64_t& c : d) c *= kFixedOne;
  }
  const FixedMatrix& m = camera->instance.worldMatrix;
  // The camera's rows are its axes: the dot products are the direction in its frame, each
  // product rounded as a 16.16 product (in 64 bits, so the scaled-up short streak cannot wrap).
  int64_t r[2];
  for (int row = 0; row < 2; ++row) {
    r[row] = 0;
    for (int j = 0; j < 3; ++j) r[row] += (m.m[row][j] * d[j] + 0x8000) >> 16;
  }
  const double turn = 2.0 * 3.14159265358979323846;
  double a = std::atan2(static_cast<double>(r[1]), -static_cast<double>(r[0]));
  if (a < 0) a += turn;
  int64_t angle = static_cast<int64_t>(a * 65536.0 / turn);
  if (angle >= 0x10000) angle -= 0x10000;
  return static_cast<uint32_t>((angle + 0x2000) & 0xFFFF);
}

void WriteQuad(ParticleVertex* v, ParticleRecord* particle, const MaterialRecord& material, const CameraRecord* camera,
               float scale) {
  const Float3 c = Scaled(particle->position, scale);
  const float uMin = particle->appearance[1] * kFixedToFloat;
  const float vMin = particle->appearance[2] * kFixedToFloat;
  const float uMax = particle->appearance[3] * kFixedToFloat;
  const float vMax = particle->appearance[4] * kFixedToFloat;
  const uint32_t colour = ParticleColour(material, particle->fade);
  const int32_t size = particle->reach;
  if (!(particle->kindFlags & kParticleSpins)) {
    const FixedMatrix& o = particle->orientation;
    Float3 r, u;
    float* rc[3] = {&r.x, &r.y, &r.z};
    float* uc[3] = {&u.x, &u.y, &u.z};
    for (int i = 0; i < 3; ++i) {
      *rc[i] = static_cast<float>(FixedMul(size, o.m[0][i])) * scale;
      *uc[i] = static_cast<float>(FixedMul(size, o.m[1][i])) * scale;
    }
    const Float3 p0{c.x - r.x + u.x, c.y - r.y + u.y, c.z - r.z + u.z};
    const Float3 p1{c.x + r.x + u.x, c.y + r.y + u.y, c.z + r.z + u.z};
    const Float3 p2{c.x - r.x - u.x, c.y - r.y - u.y, c.z - r.z - u.z};
    const Float3 p4{c.x + r.x - u.x, c.y + r.y - u.y, c.z + r.z - u.z};
    Put(&v[0], p0, 0, 0, uMin, vMin, colour);
    Put(&v[1], p1, 0, 0, uMax, vMin, colour);
    Put(&v[2], p2, 0, 0, uMin, vMax, colour);
    v[3] = v[1];
    Put(&v[4], p4, 0, 0, uMax, vMax, colour);
    v[5] = v[2];
    return;
  }
  const bool streak = particle->kindFlags & kParticleStreak;
  const Float3 tail = streak ? Scaled(particle->streakStart, scale) : c;
  if (streak && camera) particle->angle = StreakAngle(particle, camera);
  const float s = static_cast<float>(FixedMul(TableSine(particle->angle), size)) * scale;
  const float k = static_cast<float>(FixedMul(TableCosine(particle->angle), size)) * scale;
  Put(&v[0], c, k, s, uMin, vMin, colour);
  Put(&v[1], c, s, -k, uMax, vMin, colour);
  Put(&v[2], tail, -s, k, uMin, vMax, colour);
  Put(&v[3], c, s, -k, uMax, vMin, colour);
  Put(&v[4], tail, -k, -s, uMax, vMax, colour);
  Put(&v[5], tail, -s, k, uMin, vMax, colour);
}

// Counts the scene's particles per material row and kind into the materials' counters.
void CountParticles(SceneRecord* scene, ParticleBatchRecord* batch) {
  for (int32_t m = 0; m < gMaterialCount; ++m) std::memset(gMaterialTable[m].drawCounts, 0, sizeof(int32_t) * 4);
  batch->particleCount = 0;
  for (ListNode* node = ListFirst(&gEngine3D->activeParticles); node; node = ListNext(node)) {
    const ParticleRecord* particle = ListRecord<ParticleRecord>(node);
    if (particle->scene != scene) continue;
    const int32_t m = ParticleMaterial(particle);
    if (m < 0) continue;
    ++gMaterialTable[m].drawCounts[ParticleKindOf(particle)];
    ++batch->particleCount;
  }
}

// Turns the counters into groups; each counter then holds its group's index (or kNoGroup).
void OpenGroups(ParticleBatchRecord* batch) {
  int32_t total = 0;
  int32_t dropped = 0;
  batch->groupCount = 0;
  for (int32_t m = 0; m < gMaterialCount; ++m) {
    for (int32_t k = 0; k < kParticleKindCount; ++k) {
      int32_t& counter = gMaterialTable[m].drawCounts[k];
      const int32_t count = counter;
      if (count == 0) {
        counter = kNoGroup;
        continue;
      }
      if (batch->groupCount >= kParticleBatchGroupCapacity) {
        dropped += count;
        counter = kNoGroup;
        continue;
      }
      batch->groups[batch->groupCount] = DrawGroupEntry{total, count, m, k};
      counter = batch->groupCount++;
      total += count;
    }
  }
  if (dropped > 0) {
    std::fprintf(stderr, "particle batch: %d particles beyond %d material and kind groups not drawn\n", dropped,
                 kParticleBatchGroupCapacity);
  }
}

}  // namespace

bool SceneBatchBuild(SceneRecord* scene, CameraRecord* camera) {
  if (!scene || !gEngine3D) return false;
  if (!scene->particleBatch) {
    auto* batch = static_cast<ParticleBatchRecord*>(AllocRecord(sizeof(ParticleBatchRecord)));
    if (!batch) return false;
    batch->vertexBuffer = CreateDynamicBuffer(kParticleBatchBytes);
    if (!batch->vertexBuffer) {
      MemFree(batch, sizeof(ParticleBatchRecord), kRendererMemFlags);
      return false;
    }
    batch->byteSize = kParticleBatchBytes;
    scene->particleBatch = batch;
  }
  ParticleBatchRecord* batch = scene->particleBatch;
  if (!gMaterialTable || gMaterialCount <= 0) {
    batch->groupCount = 0;
    batch->particleCount = 0;
    return true;
  }
  CountParticles(scene, batch);
  OpenGroups(batch);

  void* data = nullptr;
  if (GpuFailed(batch->vertexBuffer->Lock(0, 0, &data, kGpuLockDiscard)) || !data) return false;
  auto* vertices = static_cast<ParticleVertex*>(data);
  const uint32_t quadCapacity = batch->byteSize / (kParticleVerticesPerQuad * kParticleVertexBytes);
  const float scale = scene->systemScale;
  for (ListNode* node = ListFirst(&gEngine3D->activeParticles); node; node = ListNext(node)) {
    ParticleRecord* particle = ListRecord<ParticleRecord>(node);
    if (particle->scene != scene) continue;
    const int32_t m = ParticleMaterial(particle);
    if (m < 0) continue;
    const int32_t g = gMaterialTable[m].drawCounts[ParticleKindOf(particle)];
    if (g < 0) continue;
    const uint32_t slot = static_cast<uint32_t>(batch->groups[g].first++);
    if (slot >= quadCapacity) continue;
    WriteQuad(vertices + slot * kParticleVerticesPerQuad, particle, gMaterialTable[m], camera, scale);
  }
  int32_t first = 0;
  for (int32_t g = 0; g < batch->groupCount; ++g) {
    batch->groups[g].first = first;
    first += batch->groups[g].count;
  }
  batch->vertexBuffer->Unlock();
  return true;
}

void SceneBatchRelease(SceneRecord* scene) {
  if (!scene || !scene->particleBatch) return;
  ParticleBatchRecord* batch = scene->particleBatch;
  ReleaseDynamicBuffer(batch->vertexBuffer, batch->byteSize);
  MemFree(batch, sizeof(ParticleBatchRecord), kRendererMemFlags);
  scene->particleBatch = nullptr;
}

bool VbRecEnsure(RenderEntryNode* drawObject) {
  if (!drawObject) return false;
  if (drawObject->vertexBuffer) {
    drawObject->vertexBuffer->filled = 0;
    return true;
  }
  drawObject->vertexBuffer = static_cast<VertexBufferRecord*>(AllocRecord(sizeof(VertexBufferRecord)));
  return drawObject->vertexBuffer != nullptr;
}

bool VbRecBuild(SceneRecord* scene, RenderEntry* batch, RenderEntryNode* drawObject, InstanceRecord* instance,
                const BodyPart* part, const FaceGroup* faceGroup, CameraRecord* camera) {
  if (!scene || !batch || !drawObject || !instance || !part || !faceGroup) return false;
  if (!drawObject->vertexBuffer && !VbRecEnsure(drawObject)) return false;
  VertexBufferRecord* record = drawObject->vertexBuffer;
  if (!record->deviceBuffer) {
    const int64_t vertices = int64_t{batch->capacity} * drawObject->verticesPerInstance;
    if (vertices <= 0 || vertices * kInstanceVertexBytes > UINT32_MAX) return false;
    const auto bytes = static_cast<uint32_t>(vertices * kInstanceVertexBytes);
    record->deviceBuffer = CreateDynamicBuffer(bytes);
    if (!record->deviceBuffer) return false;
    record->byteSize = bytes;
    record->systemCopy = static_cast<InstanceVertex*>(MemAlloc(bytes, kRendererMemFlags));
    if (!record->systemCopy) {
      CallLowMemoryHandler();
      record->systemCopy = static_cast<InstanceVertex*>(MemAlloc(bytes, kRendererMemFlags));
    }
    if (!record->systemCopy) return false;
  }
  if (!record->systemCopy) return false;

  const uint32_t alpha = instance->alphaOverride == 0 ? 255u : static_cast<uint32_t>(instance->alphaOverride) & 0xFF;
  const uint32_t colour = alpha << 24;
  const float scale = scene->systemScale;
  GpuMatrix matrix;
  if ((instance->flags2 & kInst2BatchViewProjection) && camera) {
    InstWorldViewProjection(&matrix, camera, instance, scale);
  } else {
    matrix = InstWorldMatrix(instance, scale);
  }
  const UvTransform* uv = nullptr;
  if (((drawObject->drawFlags & kDrawObjectTexAnim) || (instance->flags2 & kInst2BatchTexAnim)) &&
      drawObject->material && instance->texAnims) {
    const int32_t anim = -drawObject->material->texture;
    for (int32_t i = 0; i < instance->texAnimCount; ++i) {
      if (instance->texAnims[i].anim == anim) uv = &instance->texAnims[i].uv;
    }
  }
  const BodyMesh* mesh = part->mesh;
  const uint32_t capacity = record->byteSize / kInstanceVertexBytes;
  uint32_t dropped = 0;
  for (int32_t f = 0; f < faceGroup->triangleCount; ++f) {
    const BodyTriangle& face = faceGroup->triangles[f];
    // A face goes in whole or not at all, so the buffer keeps whole triangles.
    bool valid = mesh && record->filled + 3 <= capacity;
    for (int corner = 0; valid && corner < 3; ++corner) valid = face.v[corner] >= 0 && face.v[corner] < mesh->vertexCount;
    if (!valid) {
      ++dropped;
      continue;
    }
    for (int corner = 0; corner < 3; ++corner) {
      const BodyVertex& bv = mesh->vertices[face.v[corner]];
      const GpuVector3 p{bv.x * kPackedToFloat, bv.y * kPackedToFloat, bv.z * kPackedToFloat};
      GpuVector4 t;
      GpuxVec3Transform(&t, &p, &matrix);
      float u = bv.u * kFixedToFloat;
      float v = bv.v * kFixedToFloat;
      if (uv) {
        const float a = uv->row0[0] * kFixedToFloat, b = uv->row0[1] * kFixedToFloat;
        const float c = uv->row1[0] * kFixedToFloat, d = uv->row1[1] * kFixedToFloat;
        const float e = uv->row2[0] * kFixedToFloat, fv = uv->row2[1] * kFixedToFloat;
        const float u0 = u;
        u = a * u0 + c * v + e;
        v = b * u0 + d * v + fv;
      }
      record->systemCopy[record->filled++] = InstanceVertex{t.x, t.y, t.z, u, v, colour};
    }
  }
  if (dropped > 0) {
    std::fprintf(stderr, "instance batch: %u faces beyond the buffer's %u vertices or with a missing vertex not drawn\n",
                 dropped, capacity);
  }
  return true;
}

void VbRecRelease(RenderEntryNode* drawObject) {
  if (!drawObject || !drawObject->vertexBuffer) return;
  VertexBufferRecord* record = drawObject->vertexBuffer;
  ReleaseDynamicBuffer(record->deviceBuffer, record->byteSize);
  if (record->systemCopy) MemFree(record->systemCopy, record->byteSize, kRendererMemFlags);
  MemFree(record, sizeof(VertexBufferRecord), kRendererMemFlags);
  drawObject->vertexBuffer = nullptr;
}
