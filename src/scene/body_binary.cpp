// The binary body reader and writer: "BOB1" files of named chunks, each closed by "/" and the first
// three letters of its id, with big-endian fields read and written through the data reader.
// Reading fills the body records and derives what the file leaves out (normals of vertices
// without one, blended groups, per-group bone tables, part centres and bounds); writing is the
// conversion of a loaded body. Called by the body loader and the tools. Every count is checked
// against the bytes left before anything is allocated for it, and every vertex and bone index
// against its table, so a malformed file gives null, never a read outside the data or a table.
#include "scene/body_binary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "render/effect_textures.h"
#include "render/material_table.h"
#include "render/texture_table.h"
#include "scene/body_materials.h"
#include "scene/body_text.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/scene.h"

namespace {

constexpr uint32_t kBodyFormatVersion = 1;

// The fewest bytes each counted item takes in a file, against which its count is checked.
constexpr size_t kMinMeshBytes = 32;  // distance, flags, empty "POIN" and "PART" chunks
constexpr size_t kMinNameBytes = 1;
constexpr size_t kMinVertexBytes = 2;
constexpr size_t kMinWeightVertexBytes = 2;
constexpr size_t kPairBytes = 6;
constexpr size_t kMinPartBytes = 6;
constexpr size_t kMinGroupBytes = 8;
constexpr size_t kTriangleBytes = 16;
constexpr size_t kExtraBytes = 28;
constexpr size_t kMinMaterialBytes3 = 44;
constexpr size_t kMinMaterialBytes5 = 48;
constexpr size_t kMinMaterialBytes6 = 11;  // number, flags and an empty parameter block

// A group's bone table entry for a bone none of its corners is weighted with.
constexpr int32_t kUnusedBone = -1;

// The parameter kind a texture parameter is written as: its texture's name.
constexpr int16_t kWrittenTextureParam = kParamString;
// Parameter lists hold at most what their 16-bit count can say.
constexpr size_t kMaxWrittenParams = 0x7FFF;

struct Read {
  DataReader* reader = nullptr;
  BodyRecord* body = nullptr;
  bool outOfMemory = false;
  int32_t firstSize = 0;
};

bool Malformed(Read* r) {
  r->reader->error = 1;
  return false;
}

bool Intact(const Read* r) { return !r->reader->error && !r->outOfMemory; }

// Whether `count` items of at least `bytes` bytes each can still be in the file.
bool CountFits(Read* r, int64_t count, size_t bytes) {
  if (r->reader->error) return false;
  const size_t left = DataReaderBytesLeft(r->reader);
  if (count < 0 || static_cast<uint64_t>(count) > left / bytes) return Malformed(r);
  return true;
}

// A zeroed, counted array; null for count 0, and null with the read out of memory on failure.
template <typename T>
T* AllocArray(Read* r, int64_t count, uint32_t nominalElement) {
  if (count <= 0) return nullptr;
  void* block = EngineAlloc(sizeof(T) * static_cast<size_t>(count), static_cast<uint32_t>(count) * nominalElement);
  if (!block) r->outOfMemory = true;
  return static_cast<T*>(block);
}

// The end id of the row's chunk must follow.
bool ChunkEnds(Read* r, int32_t row) {
  if (r->reader->error) return false;
  if (DataReaderNextSection(r->reader, row) != static_cast<int32_t>(kBodySectionCount) || r->reader->error) {
    return Malformed(r);
  }
  return true;
}

// The start id of the next chunk; no end id is accepted here.
int32_t NextChunk(Read* r) { return DataReaderNextSection(r->reader, static_cast<int32_t>(kBodySectionCount)); }

int16_t FixedToShort(int32_t fixed) { return static_cast<int16_t>(fixed >> 2); }

// ---------------------------------------------------------------------------------------------
// Materials.

int32_t KindOfRow(int32_t row) {
  if (row == kBodyRowMaterial5) return kMaterialKind5;
  if (row == kBodyRowMaterial6) return kMaterialKind6;
  return kMaterialKind3;
}

size_t MinMaterialBytes(int32_t kind) {
  if (kind == kMaterialKind5) return kMinMaterialBytes5;
  if (kind == kMaterialKind6) return kMinMaterialBytes6;
  return kMinMaterialBytes3;
}

bool ReadMaterials(Read* r, int32_t row) {
  BodyRecord* body = r->body;
  // A second material table would leave the faces' numbers meaning two things.
  if (body->materials) return Malformed(r);
  const int32_t kind = KindOfRow(row);
  const int32_t count = ReadInt(r->reader);
  if (!CountFits(r, count, MinMaterialBytes(kind))) return false;
  body->materials = AllocArray<BodyMaterial>(r, count, kBodyMaterialNominalBytes);
  if (r->outOfMemory) return false;
  body->materialCount = count;
  for (int32_t i = 0; i < count; ++i) {
    ReadBodyMaterialEntry(r->reader, kind, &body->materials[i], &body->flags);
    if (r->reader->error) return false;
  }
  if (kind >= kMaterialKind5) body->flags |= kBodyOwnMaterials;
  return ChunkEnds(r, row);
}

// The flags a face group's material draws with: the material table's for bodies of kinds 1 to 3,
// the body's own entry's otherwise; none for a number outside the table.
uint32_t GroupMaterialFlags(const BodyRecord* body, int32_t material) {
  if (material < 0) return 0;
  if (body->flags & kBodyOwnMaterials) {
    return body->materials && material < body->materialCount ? body->materials[material].flags : 0;
  }
  return gMaterialTable && material < gMaterialCount ? gMaterialTable[material].flags : 0;
}

// ---------------------------------------------------------------------------------------------
// Meshes.

bool ReadBones(Read* r, BodyMesh* mesh) {
  const int32_t count = ReadInt(r->reader);
  if (!CountFits(r, count, kMinNameBytes)) return false;
  mesh->boneNames = AllocArray<char*>(r, count, kPointerNominalBytes);
  if (r->outOfMemory) return false;
  mesh->boneCount = count;
  for (int32_t i = 0; i < count; ++i) {
    const std::string name = ReadString(r->reader);
    if (r->reader->error) return false;
    mesh->boneNames[i] = DuplicateString(name.c_str());
  }
  r->body->flags |= kBodyBoneWeights;
  return ChunkEnds(r, kBodyRowBones);
}

bool ReadPoints(Read* r, BodyMesh* mesh) {
  DataReader* reader = r->reader;
  const int32_t count = ReadInt(reader);
  if (!CountFits(r, count, kMinVertexBytes)) return false;
  mesh->vertices = AllocArray<BodyVertex>(r, count, kBodyVertexNominalBytes);
  if (r->outOfMemory) return false;
  mesh->vertexCount = count;
  for (int32_t i = 0; i < count && !reader->error; ++i) {
    BodyVertex& vertex = mesh->vertices[i];
    const uint16_t fields = ReadShort(reader);
    if (fields & kPointPosition) {
      vertex.x = FixedToShort(ReadFixed(reader));
      vertex.y = FixedToShort(ReadFixed(reader));
      vertex.z = FixedToShort(ReadFixed(reader));
    }
    if (fields & kPointUv) {
      vertex.u = ReadFixed(reader);
      vertex.v = ReadFixed(reader);
      if (fields & kPointSecondUv) {
        if (!mesh->uv2) {
          mesh->uv2 = AllocArray<int32_t>(r, 2 * int64_t{count}, sizeof(int32_t));
          if (r->outOfMemory) return false;
          mesh->flags |= kMeshSecondUv;
        }
        mesh->uv2[2 * i] = ReadFixed(reader);
        mesh->uv2[2 * i + 1] = ReadFixed(reader);
      }
    }
    if (fields & kPointNormal) {
      vertex.nx = FixedToShort(ReadFixed(reader));
      vertex.ny = FixedToShort(ReadFixed(reader));
      vertex.nz = FixedToShort(ReadFixed(reader));
    }
    if (fields & kPointSmoothing) vertex.smoothing = ReadWord(reader);
  }
  return ChunkEnds(r, kBodyRowPoints);
}

bool ReadWeights(Read* r, BodyMesh* mesh) {
  DataReader* reader = r->reader;
  ReadInt(reader);  // the vertex count again; the "POIN" chunk's is the one that holds
  const int32_t count = mesh->vertexCount;
  if (!CountFits(r, count, kMinWeightVertexBytes)) return false;
  mesh->weightCounts = AllocArray<int16_t>(r, count, sizeof(int16_t));
  if (r->outOfMemory) return false;
  mesh->weights = AllocArray<BoneWeight*>(r, count, kPointerNominalBytes);
  if (r->outOfMemory) return false;
  for (int32_t v = 0; v < count; ++v) {
    const auto pairs = static_cast<int16_t>(ReadShort(reader));
    if (!CountFits(r, pairs, kPairBytes)) return false;
    if (pairs == 0) continue;
    mesh->weights[v] = AllocArray<BoneWeight>(r, pairs, kBoneWeightNominalBytes);
    if (r->outOfMemory) return false;
    mesh->weightCounts[v] = pairs;
    for (int32_t k = 0; k < pairs; ++k) {
      const auto bone = static_cast<int16_t>(ReadShort(reader));
      const int32_t weight = ReadFixed(reader);
      if (reader->error) return false;
      // The bone tables of the face groups are indexed by these.
      if (bone < 0 || bone >= mesh->boneCount) return Malformed(r);
      mesh->weights[v][k] = {bone, weight};
    }
    mesh->maxWeightsPerVertex = std::max<int32_t>(mesh->maxWeightsPerVertex, pairs);
  }
  return ChunkEnds(r, kBodyRowWeights);
}

// Local numbers for the bones the group's corners are weighted with, in bone order.
bool BuildBoneTable(Read* r, const BodyMesh* mesh, FaceGroup* group) {
  group->boneRemap = AllocArray<int32_t>(r, mesh->boneCount, kPointerNominalBytes);
  if (r->outOfMemory) return false;
  std::vector<int32_t> uses(static_cast<size_t>(mesh->boneCount), 0);
  if (mesh->weights) {
    for (int32_t t = 0; t < group->triangleCount; ++t) {
      for (const int32_t v : group->triangles[t].v) {
        for (int32_t k = 0; mesh->weights[v] && k < mesh->weightCounts[v]; ++k) {
          if (mesh->weights[v][k].weight != 0) uses[static_cast<size_t>(mesh->weights[v][k].bone)]++;
        }
      }
    }
  }
  int32_t used = 0;
  for (int32_t b = 0; b < mesh->boneCount; ++b) group->boneRemap[b] = uses[static_cast<size_t>(b)] ? used++ : kUnusedBone;
  group->usedBoneCount = used;
  return true;
}

// The extra records of a group of a part that stores its bounds. When they cannot be allocated
// they are read past and the part computes its bounds instead.
bool ReadExtras(Read* r, FaceGroup* group, bool* lost) {
  DataReader* reader = r->reader;
  const int32_t count = ReadInt(reader);
  if (!CountFits(r, count, kExtraBytes)) return false;
  if (count > 0) {
    group->extras = static_cast<FaceGroupExtra*>(EngineAlloc(sizeof(FaceGroupExtra) * static_cast<size_t>(count),
                                                             static_cast<uint32_t>(count) * kFaceGroupExtraNominalBytes));
    if (group->extras) {
      group->extraCount = count;
    } else {
      *lost = true;
    }
  }
  for (int32_t i = 0; i < count && !reader->error; ++i) {
    FaceGroupExtra extra{};
    extra.word = ReadInt(reader);
    for (int16_t& value : extra.values) value = FixedToShort(ReadFixed(reader));
    if (group->extras) group->extras[i] = extra;
  }
  return !reader->error;
}

bool ReadGroup(Read* r, BodyMesh* mesh, BodyPart* part, FaceGroup* group, bool storedBounds, bool* extrasLost) {
  DataReader* reader = r->reader;
  group->material = ReadInt(reader);
  if (group->material < 0) part->flags |= kPartNegativeMaterial;
  const int32_t count = ReadInt(reader);
  if (!CountFits(r, count, kTriangleBytes)) return false;
  group->triangles = AllocArray<BodyTriangle>(r, count, kBodyTriangleNominalBytes);
  if (r->outOfMemory) return false;
  group->triangleCount = count;
  for (int32_t t = 0; t < count; ++t) {
    BodyTriangle& triangle = group->triangles[t];
    for (int32_t& v : triangle.v) v = ReadInt(reader);
    triangle.flags = static_cast<uint16_t>(ReadInt(reader));
    if (reader->error) return false;
    for (const int32_t v : triangle.v) {
      if (v < 0 || v >= mesh->vertexCount) return Malformed(r);
    }
    // Each corner without a normal takes this triangle's, turning the same way round.
    const int32_t a = triangle.v[0], b = triangle.v[1], c = triangle.v[2];
    VertexNormalFromFace(c, b, mesh, a);
    VertexNormalFromFace(a, c, mesh, b);
    VertexNormalFromFace(b, a, mesh, c);
  }
  if (storedBounds && !ReadExtras(r, group, extrasLost)) return false;
  const uint32_t flags = GroupMaterialFlags(r->body, group->material);
  group->blended = (flags & kMaterialBlendBits) ? 1 : 0;
  // A group without a material takes no part in whether the whole part is blended.
  if (group->material >= 0 && !group->blended) part->flags &= ~kPartAllBlended;
  if (mesh->boneCount > 0 && !BuildBoneTable(r, mesh, group)) return false;
  return true;
}

// The part's centre, radius and bounds from its own corners.
void ComputePartBounds(BodyMesh* mesh, BodyPart* part) {
  BodyMesh alone = *mesh;
  BodyPart* only = part;
  alone.parts = &only;
  alone.partCount = 1;
  BodyCentroid(&alone, &part->centre);
  part->radius = BodyRadius(&alone, &part->centre);
  PartComputeBounds(mesh, part);
}

bool ReadPart(Read* r, BodyMesh* mesh, BodyPart* part) {
  DataReader* reader = r->reader;
  const uint32_t fileFlags = ReadWord(reader);
  const auto groupCount = static_cast<int16_t>(ReadShort(reader));
  if (!CountFits(r, groupCount, kMinGroupBytes)) return false;
  part->groups = AllocArray<FaceGroup>(r, groupCount, kFaceGroupNominalBytes);
  if (r->outOfMemory) return false;
  part->groupCount = groupCount;
  // Every part counts as blended until one of its groups is not.
  part->flags = fileFlags | kPartAllBlended;
  const bool storedBounds = (fileFlags & kPartStoredBounds) != 0;
  bool extrasLost = false;
  for (int32_t g = 0; g < groupCount; ++g) {
    if (!ReadGroup(r, mesh, part, &part->groups[g], storedBounds, &extrasLost)) return false;
  }
  if (storedBounds) {
    part->centre.x = ReadFixed(reader);
    part->centre.y = ReadFixed(reader);
    part->centre.z = ReadFixed(reader);
    part->radius = ReadFixed(reader);
    part->boundsCentre.x = ReadFixed(reader);
    part->boundsCentre.y = ReadFixed(reader);
    part->boundsCentre.z = ReadFixed(reader);
    part->boundsHalf.x = ReadFixed(reader);
    part->boundsHalf.y = ReadFixed(reader);
    part->boundsHalf.z = ReadFixed(reader);
    if (reader->error) return false;
  }
  if (extrasLost) part->flags &= ~kPartStoredBounds;
  if (!(part->flags & kPartStoredBounds)) ComputePartBounds(mesh, part);
  return true;
}

bool ReadParts(Read* r, BodyMesh* mesh) {
  const int32_t count = ReadInt(r->reader);
  if (!CountFits(r, count, kMinPartBytes)) return false;
  if (count > INT16_MAX) return Malformed(r);
  mesh->parts = AllocArray<BodyPart*>(r, count, kPointerNominalBytes);
  if (r->outOfMemory) return false;
  mesh->partCount = static_cast<int16_t>(count);
  for (int32_t p = 0; p < count; ++p) {
    mesh->parts[p] = NewBodyPart(mesh);
    if (!mesh->parts[p]) {
      r->outOfMemory = true;
      return false;
    }
    if (!ReadPart(r, mesh, mesh->parts[p])) return false;
  }
  return ChunkEnds(r, kBodyRowParts);
}

// One mesh: its distance (or the body's size), flags and chunks "BONE" (optional), "POIN",
// "WEIG" (optional) and "PART", in that order.
bool ReadMesh(Read* r, BodyMesh* mesh, int32_t index) {
  DataReader* reader = r->reader;
  const int32_t first = ReadInt(reader);
  // The flag for second coordinates stands for the array; only vertices that carry them make it.
  mesh->flags = ReadWord(reader) & ~kMeshSecondUv;
  if (index == 0) {
    r->firstSize = first;
    mesh->size = first;
    mesh->distance = kBinaryFirstMeshDistance;
  } else {
    mesh->size = r->firstSize;
    mesh->distance = first;
  }
  int32_t chunk = NextChunk(r);
  if (chunk == kBodyRowBones) {
    if (!ReadBones(r, mesh)) return false;
    chunk = NextChunk(r);
  }
  if (reader->error || chunk != kBodyRowPoints) return Malformed(r);
  if (!ReadPoints(r, mesh)) return false;
  chunk = NextChunk(r);
  if (chunk == kBodyRowWeights) {
    if (!ReadWeights(r, mesh)) return false;
    chunk = NextChunk(r);
  }
  if (reader->error || chunk != kBodyRowParts) return Malformed(r);
  if (!ReadParts(r, mesh)) return false;
  BodyPartsExtent(mesh, mesh->bounds);
  if (mesh->flags & kMeshPartWithoutMaterial) r->body->flags |= kBodyMeshFlag1;
  return true;
}

bool ReadMeshes(Read* r) {
  BodyRecord* body = r->body;
  if (body->meshes) return Malformed(r);
  const auto count = static_cast<int16_t>(ReadShort(r->reader));
  if (!CountFits(r, count, kMinMeshBytes)) return false;
  body->meshes = AllocArray<BodyMesh*>(r, count, kPointerNominalBytes);
  if (r->outOfMemory) return false;
  body->meshCount = count;
  for (int32_t m = 0; m < count; ++m) {
    body->meshes[m] = NewBodyMesh(body);
    if (!body->meshes[m]) {
      r->outOfMemory = true;
      return false;
    }
    if (!ReadMesh(r, body->meshes[m], m)) return false;
  }
  return ChunkEnds(r, kBodyRowBodies);
}

// The chunks inside "BOB1" up to its end id.
bool ReadChunks(Read* r) {
  DataReader* reader = r->reader;
  for (;;) {
    const int32_t chunk = DataReaderNextSection(reader, kBodyRowBob);
    if (reader->error) return false;
    bool ok = false;
    switch (chunk) {
      case static_cast<int32_t>(kBodySectionCount):
        return true;
      case kBodyRowName: {
        const std::string name = ReadString(reader);
        if (reader->error) return false;
        r->body->name = ReplaceString(r->body->name, name.c_str());
        ok = ChunkEnds(r, chunk);
        break;
      }
      case kBodyRowVersion:
      case kBodyRowSound:
        ReadWord(reader);
        ok = ChunkEnds(r, chunk);
        break;
      case kBodyRowInfo:
        ReadString(reader);
        ok = ChunkEnds(r, chunk);
        break;
      case kBodyRowMaterial3:
      case kBodyRowMaterial5:
      case kBodyRowMaterial6:
        ok = ReadMaterials(r, chunk);
        break;
      case kBodyRowBodies:
        ok = ReadMeshes(r);
        break;
      default:
        // "MAT1", "MAT2", "FLAG", a mesh's chunks out of place, "DATA" or "BOB1" again.
        return Malformed(r);
    }
    if (!ok) return false;
  }
}

// ---------------------------------------------------------------------------------------------
// Writing.

// A fixed 16.16 word for a float parameter value, rounded to the nearest step; values beyond the
// word's range keep their sign at its end, so they read back as the nearest value it can hold.
int32_t FloatToFixed(float value) {
  const double fixed = std::nearbyint(static_cast<double>(value) * 65536.0);
  if (std::isnan(fixed)) return 0;
  return static_cast<int32_t>(std::clamp(fixed, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

float FloatOfValue(int32_t bits) {
  float value;
  static_assert(sizeof value == sizeof bits);
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A texture as a kind-6 entry names it: its name, its number when it has none (numbers read
// back as themselves, texture animations too), "NULL" for none.
std::string TextureWord(int32_t id) {
  if (id == 0) return "NULL";
  const char* name = TextureNameOf(id);
  return name && name[0] ? std::string(name) : std::to_string(id);
}

void WriteTexture(DataReader* w, int32_t kind, int16_t id) {
  if (kind >= kMaterialKind6) {
    DataWriterWriteString(w, TextureWord(id).c_str());
  } else {
    WriteShort(w, id);
  }
}

// A kind-0 parameter that holds a texture is written as the texture's name, so the file does not
// depend on this run's texture numbering: the name reads back to the same texture.
bool TextureParamName(const EffectParamRecord* record, std::string* name) {
  if (record->kind != kParamLong || record->value <= 0) return false;
  *name = TextureNameOf(record->value);
  return !name->empty() && LoadMaterialTexture(record->name, record->id, name->c_str()) == record->value;
}

void WriteFixedFloats(DataReader* w, const float* values, int count) {
  for (int i = 0; i < count; ++i) WriteFixed(w, FloatToFixed(values[i]));
}

void WriteParam(DataReader* w, const EffectParamRecord* record) {
  DataWriterWriteString(w, record->name ? record->name : "");
  std::string texture;
  if (TextureParamName(record, &texture)) {
    WriteShort(w, kWrittenTextureParam);
    DataWriterWriteString(w, texture.c_str());
    return;
  }
  WriteShort(w, record->kind);
  switch (record->kind) {
    case kParamFloat: {
      const float value = FloatOfValue(record->value);
      WriteFixedFloats(w, &value, 1);
      break;
    }
    case kParamFloat2: WriteFixedFloats(w, record->vec2, 2); break;
    case kParamFloat3: WriteFixedFloats(w, record->vec3, 3); break;
    case kParamFloat4: WriteFixedFloats(w, record->vec4, 4); break;
    case kParamMatrix3:
      for (const auto& row : record->matrix3) WriteFixedFloats(w, row, 3);
      break;
    case kParamMatrix4:
      for (const auto& row : record->matrix4) WriteFixedFloats(w, row, 4);
      break;
    case kParamString: DataWriterWriteString(w, record->text ? record->text : ""); break;
    default: WriteInt(w, record->value); break;
  }
}

void WriteParams(DataReader* w, const EffectParamList* list) {
  WriteShort(w, list->word);
  DataWriterWriteString(w, list->name.c_str());
  std::vector<const EffectParamRecord*> records;
  for (const EffectParamRecord* record : list->items) {
    if (record && records.size() < kMaxWrittenParams) records.push_back(record);
  }
  WriteShort(w, static_cast<int32_t>(records.size()));
  for (const EffectParamRecord* record : records) WriteParam(w, record);
}

// One entry in the binary layout of its kind (3 or 6). The number written is the entry's
// material-table index, which is what the faces of a converted body refer to.
void WriteMaterial(DataReader* w, const BodyMaterial& entry, int32_t kind) {
  WriteShort(w, entry.materialIndex);
  if (kind >= kMaterialKind6) {
    uint32_t flags = entry.flags;
    // The flag promises a parameter block; an entry without a list has none to give.
    if (!entry.params) flags &= ~kMaterialEffectParams;
    WriteWord(w, flags);
    if (flags & kMaterialEffectParams) {
      WriteParams(w, entry.params);
      return;
    }
  }
  WriteTexture(w, kind, entry.texture);
  for (const int16_t colour : entry.colors) WriteShort(w, colour);
  WriteShort(w, entry.materialIndex);
  WriteShort(w, entry.transparency);
  WriteShort(w, entry.value14);
  WriteShort(w, entry.values19[0]);
  WriteShort(w, entry.values19[1]);
  // Entries of the older kinds carry their flags as one 16-bit word.
  if (kind < kMaterialKind6) WriteShort(w, static_cast<int32_t>(entry.flags & 0xFFFF));
  WriteShort(w, entry.value23);
  WriteTexture(w, kind, entry.secondTexture);
  WriteShort(w, entry.secondValue);
  WriteTexture(w, kind, entry.bumpTexture);
  WriteShort(w, entry.bumpValue);
  if (kind >= kMaterialKind6) {
    WriteTexture(w, kind, entry.thirdTexture);
    WriteShort(w, entry.thirdValue);
    DataWriterWriteString(w, TextureWord(entry.fifthTexture).c_str());
    WriteShort(w, entry.fifthValue);
    DataWriterWriteString(w, TextureWord(entry.sixthTexture).c_str());
    WriteShort(w, entry.sixthValue);
  }
}

void WriteMaterials(DataReader* w, const BodyRecord* body) {
  const bool own = (body->flags & kBodyOwnMaterials) != 0;
  const uint32_t row = own ? kBodyRowMaterial6 : kBodyRowMaterial3;
  const int32_t kind = own ? kMaterialKind6 : kMaterialKind3;
  const int32_t count = body->materials ? body->materialCount : 0;
  DataWriterWriteSection(w, row, true);
  WriteInt(w, count);
  for (int32_t i = 0; i < count; ++i) WriteMaterial(w, body->materials[i], kind);
  DataWriterWriteSection(w, row, false);
}

void WritePoints(DataReader* w, const BodyMesh* mesh) {
  DataWriterWriteSection(w, kBodyRowPoints, true);
  const int32_t count = mesh->vertices ? mesh->vertexCount : 0;
  WriteInt(w, count);
  for (int32_t i = 0; i < count; ++i) {
    const BodyVertex& vertex = mesh->vertices[i];
    WriteShort(w, kPointWrittenFields);
    WriteFixed(w, 4 * vertex.x);
    WriteFixed(w, 4 * vertex.y);
    WriteFixed(w, 4 * vertex.z);
    WriteFixed(w, vertex.u);
    WriteFixed(w, vertex.v);
    WriteFixed(w, 4 * vertex.nx);
    WriteFixed(w, 4 * vertex.ny);
    WriteFixed(w, 4 * vertex.nz);
    WriteWord(w, vertex.smoothing);
  }
  DataWriterWriteSection(w, kBodyRowPoints, false);
}

void WriteBones(DataReader* w, const BodyMesh* mesh) {
  DataWriterWriteSection(w, kBodyRowBones, true);
  WriteInt(w, mesh->boneCount);
  for (int32_t b = 0; b < mesh->boneCount; ++b) {
    DataWriterWriteString(w, mesh->boneNames && mesh->boneNames[b] ? mesh->boneNames[b] : "");
  }
  DataWriterWriteSection(w, kBodyRowBones, false);
}

void WriteWeights(DataReader* w, const BodyMesh* mesh) {
  DataWriterWriteSection(w, kBodyRowWeights, true);
  const int32_t count = mesh->vertices ? mesh->vertexCount : 0;
  WriteInt(w, count);
  for (int32_t v = 0; v < count; ++v) {
    const bool has = mesh->weights && mesh->weightCounts && mesh->weights[v];
    const int32_t pairs = has ? mesh->weightCounts[v] : 0;
    WriteShort(w, pairs);
    for (int32_t k = 0; k < pairs; ++k) {
      WriteShort(w, mesh->weights[v][k].bone);
      WriteFixed(w, mesh->weights[v][k].weight);
    }
  }
  DataWriterWriteSection(w, kBodyRowWeights, false);
}

void WriteParts(DataReader* w, const BodyMesh* mesh) {
  DataWriterWriteSection(w, kBodyRowParts, true);
  const int32_t count = mesh->parts ? mesh->partCount : 0;
  WriteInt(w, count);
  for (int32_t p = 0; p < count; ++p) {
    const BodyPart* part = mesh->parts[p];
    // The written form carries no stored bounds: the reader computes them.
    WriteWord(w, part->flags & ~kPartStoredBounds);
    const int32_t groups = part->groups ? part->groupCount : 0;
    WriteShort(w, groups);
    for (int32_t g = 0; g < groups; ++g) {
      const FaceGroup& group = part->groups[g];
      WriteInt(w, group.material);
      const int32_t triangles = group.triangles ? group.triangleCount : 0;
      WriteInt(w, triangles);
      for (int32_t t = 0; t < triangles; ++t) {
        for (const int32_t v : group.triangles[t].v) WriteInt(w, v);
        WriteInt(w, group.triangles[t].flags);
      }
    }
  }
  DataWriterWriteSection(w, kBodyRowParts, false);
}

void WriteMesh(DataReader* w, const BodyMesh* mesh, int32_t index) {
  WriteInt(w, index == 0 ? mesh->size : mesh->distance);
  // No second coordinates are written, so the file does not claim them.
  WriteWord(w, mesh->flags & ~kMeshSecondUv);
  const bool bones = mesh->boneCount > 0;
  if (bones) WriteBones(w, mesh);
  WritePoints(w, mesh);
  if (bones) WriteWeights(w, mesh);
  WriteParts(w, mesh);
}

void WriteBody(DataReader* w, const BodyRecord* body) {
  DataWriterWriteSection(w, kBodyRowBob, true);
  if (body->name) {
    DataWriterWriteSection(w, kBodyRowName, true);
    DataWriterWriteString(w, body->name);
    DataWriterWriteSection(w, kBodyRowName, false);
  }
  DataWriterWriteSection(w, kBodyRowVersion, true);
  WriteWord(w, kBodyFormatVersion);
  DataWriterWriteSection(w, kBodyRowVersion, false);
  WriteMaterials(w, body);
  DataWriterWriteSection(w, kBodyRowBodies, true);
  const int32_t meshes = body->meshes ? body->meshCount : 0;
  WriteShort(w, meshes);
  for (int32_t m = 0; m < meshes; ++m) WriteMesh(w, body->meshes[m], m);
  DataWriterWriteSection(w, kBodyRowBodies, false);
  DataWriterWriteSection(w, kBodyRowBob, false);
}

// "%05d.bob" of the id, or the BodyData row's file name with ".bob", in the conversion folder.
std::string OutputName(int32_t bodyId) {
  const int32_t row = BodyDataRowIndex(bodyId);
  const char* rowName = row >= 0 ? gEngine3D->bodyDataRows[row].fileName : nullptr;
  std::string file;
  if (rowName) {
    file = std::string(rowName) + ".bob";
  } else {
    char buffer[20];
    std::snprintf(buffer, sizeof buffer, "%05d.bob", static_cast<int>(bodyId));
    file = buffer;
  }
  return BodyFolderName(gSystem && gSystem->product ? gSystem->product->voiceTemplate : nullptr, file);
}

}  // namespace

BodyRecord* ReadBodyBinary(int32_t bodyId, DataReader* reader) {
  DataReaderSetBinary(reader, true);
  // Counts are checked against the bytes left, which a reader without an end cannot say.
  if (DataReaderBytesLeft(reader) == SIZE_MAX ||
      DataReaderNextSection(reader, static_cast<int32_t>(kBodySectionCount)) != kBodyRowBob || reader->error) {
    DataReaderClose(reader);
    return nullptr;
  }
  Read r;
  r.reader = reader;
  r.body = NewBodyRecord(bodyId);
  if (!r.body) r.outOfMemory = true;
  const bool ok = r.body && ReadChunks(&r) && Intact(&r);
  DataReaderClose(reader);
  if (ok) {
    BodyLinkAndCache(r.body);
    return r.body;
  }
  FreeBody(r.body);
  if (r.outOfMemory) BodyReaderFatal(kBodyExitMemory, BodyMessageFileName(bodyId).c_str());
  return nullptr;
}

int32_t WriteBodyBinary(const BodyRecord* body) {
  if (!body) return 0;
  const std::string name = OutputName(body->id);
  // Written beside the old file and renamed over it only when whole, so a failed conversion
  // leaves an earlier good file in place.
  const std::string temporary = name + ".tmp";
  DataReader writer;
  DataWriterOpen(&writer, temporary.c_str(), true, kBodySectionTable, kBodySectionCount);
  if (writer.error) return 0;
  WriteBody(&writer, body);
  const bool written = !writer.error;
  DataReaderClose(&writer);
  if (!written || writer.error || !FileRename(temporary.c_str(), name.c_str(), false)) {
    FileRemove(temporary.c_str(), false);
    return 0;
  }
  return 1;
}
