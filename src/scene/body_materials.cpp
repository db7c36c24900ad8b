// Body materials: effect parameter records and lists, the material entry of both body file
// forms, the flags and texture animation values derived from an entry's parameters, the texture
// id of a face group and the texture animations an instance takes from its body. Called by the
// body readers, the render material builder and the instance natives. Never reads a material or
// parameter outside the tables it is given: an index out of range answers 0 or is skipped.
#include "scene/body_materials.h"

#include <cstring>
#include <new>

#include "core/memory.h"
#include "scene/owned_list.h"
#include "render/effect_cache.h"
#include "render/effect_textures.h"
#include "render/material_table.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/effect_registry.h"
#include "scene/engine_state.h"
#include "scene/fixed_geometry.h"
#include "scene/instance_records.h"

BodyMaterial gScratchMaterials[kBodyScratchMaterials];

const DataKeyword kEffectParamKindNames[] = {
    {"SPTYPE_LONG", 0},   {"SPTYPE_BOOL", 1},    {"SPTYPE_FLOAT", 2},   {"SPTYPE_FLOAT2", 3},
    {"SPTYPE_FLOAT3", 4}, {"SPTYPE_FLOAT4", 5},  {"SPTYPE_MATRIX3", 6}, {"SPTYPE_MATRIX4", 7},
    {"SPTYPE_STRING", 8}, {"", 0},
};

namespace {

constexpr int32_t kSlotDiffuse = 1;
constexpr int32_t kSlotBump = 2;
constexpr int32_t kFixedHalf = 0x8000;
constexpr float kFixedScale = 65536.0f;
constexpr float kMilliScale = 1000.0f;

// Texture animation parameters of an effect material.
constexpr const char* kAnimDuration = "TexAnimDuration";
constexpr const char* kAnimRotation = "TexAnimRotation";

EffectParamRecord* NewRecord(const char* name, int16_t kind) {
  void* block = EngineAlloc(sizeof(EffectParamRecord), kEffectParamRecordNominalBytes);
  if (!block) return nullptr;
  auto* record = static_cast<EffectParamRecord*>(block);
  record->id = GetTextureSlotIndex(name);
  record->name = DuplicateString(name ? name : "");
  record->kind = kind;
  return record;
}

void StoreFloat(EffectParamRecord* record, float value) { std::memcpy(&record->value, &value, sizeof value); }

float FloatOf(const EffectParamRecord* record) {
  float value;
  std::memcpy(&value, &record->value, sizeof value);
  return value;
}

// The float value of a kind-2 parameter, or null when it is missing or of another kind.
const EffectParamRecord* FloatParam(const EffectParamList* list, const char* name) {
  const EffectParamRecord* record = FindMaterialParam(list, name);
  return record && record->kind == kParamFloat ? record : nullptr;
}

int32_t FixedParam(const EffectParamList* list, const char* name, int32_t fallback) {
  const EffectParamRecord* record = FloatParam(list, name);
  return record ? TruncateToInt32(double{FloatOf(record)} * kFixedScale) : fallback;
}

int32_t MilliParam(const EffectParamList* list, const char* name) {
  const EffectParamRecord* record = FloatParam(list, name);
  return record ? TruncateToInt32(double{FloatOf(record)} * kMilliScale) : 0;
}

bool NonZeroFloat(const EffectParamList* list, const char* name) {
  const EffectParamRecord* record = FloatParam(list, name);
  return record && FloatOf(record) != 0.0f;
}

bool NonZeroLong(const EffectParamList* list, const char* name) {
  const EffectParamRecord* record = FindMaterialParam(list, name);
  return record && record->kind == kParamLong && record->value != 0;
}

const EffectParamRecord* SlotParam(const EffectParamList* list, int32_t slot) {
  if (!list) return nullptr;
  for (const EffectParamRecord* record : list->items) {
    if (record && record->id == slot) return record;
  }
  return nullptr;
}

// "NULL", "Null" and "null" name no texture; every other name is looked up (and registered).
int16_t ReadTextureName(DataReader* reader) {
  const std::string name = ReadString(reader);
  if (reader->error || name.empty() || name == "NULL" || name == "Null" || name == "null") return 0;
  return FindTextureByName(name.c_str(), 0);
}

int16_t ReadEntryShort(DataReader* reader) { return static_cast<int16_t>(ReadShort(reader)); }

// A texture of a kind-6 entry is a name; older kinds give the texture as a number.
int16_t ReadEntryTexture(DataReader* reader, int32_t kind) {
  return kind >= kMaterialKind6 ? ReadTextureName(reader) : ReadEntryShort(reader);
}

bool InMaterialTable(int32_t index) { return gMaterialTable && index >= 0 && index < gMaterialCount; }

void ReadParamValues(DataReader* reader, EffectParamList* list, const std::string& name, int32_t kind) {
  float v[16] = {};
  const auto readFloats = [&](int n) {
    for (int i = 0; i < n; ++i) v[i] = static_cast<float>(ReadFloat(reader));
  };
  EffectParamRecord* record = nullptr;
  switch (kind) {
    case kParamLong:
    case kParamBool:
      record = NewEffectParamInt(name.c_str(), ReadInt(reader));
      break;
    case kParamFloat:
      readFloats(1);
      record = NewEffectParamFloat(name.c_str(), v[0]);
      break;
    case kParamFloat2:
      readFloats(2);
      record = NewEffectParamFloat2(name.c_str(), v[0], v[1]);
      break;
    case kParamFloat3:
      readFloats(3);
      record = NewEffectParamFloat3(name.c_str(), v[0], v[1], v[2]);
      break;
    case kParamFloat4:
      readFloats(4);
      record = NewEffectParamFloat4(name.c_str(), v[0], v[1], v[2], v[3]);
      break;
    case kParamMatrix3:
      readFloats(9);
      record = NewEffectParamMatrix3(name.c_str(), v);
      break;
    case kParamMatrix4:
      readFloats(16);
      record = NewEffectParamMatrix4(name.c_str(), v);
      break;
    case kParamString: {
      const std::string text = ReadString(reader);
      record = NewEffectParamString(name.c_str(), text.c_str());
      break;
    }
    default:
      reader->error = 1;
      return;
  }
  // A record that could not be allocated is left out; the values were read all the same.
  if (record) list->items.push_back(record);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Parameter records.

EffectParamRecord* NewEffectParamInt(const char* name, int32_t value) {
  EffectParamRecord* record = NewRecord(name, kParamLong);
  if (record) record->value = value;
  return record;
}

EffectParamRecord* NewEffectParamInt2(const char* name, int32_t value) { return NewEffectParamInt(name, value); }

EffectParamRecord* NewEffectParamFloat(const char* name, float value) {
  EffectParamRecord* record = NewRecord(name, kParamFloat);
  if (record) StoreFloat(record, value);
  return record;
}

EffectParamRecord* NewEffectParamFloat2(const char* name, float x, float y) {
  EffectParamRecord* record = NewRecord(name, kParamFloat2);
  if (record) {
    record->vec2[0] = x;
    record->vec2[1] = y;
  }
  return record;
}

EffectParamRecord* NewEffectParamFloat3(const char* name, float x, float y, float z) {
  EffectParamRecord* record = NewRecord(name, kParamFloat3);
  if (record) {
    record->vec3[0] = x;
    record->vec3[1] = y;
    record->vec3[2] = z;
  }
  return record;
}

EffectParamRecord* NewEffectParamFloat4(const char* name, float x, float y, float z, float w) {
  EffectParamRecord* record = NewRecord(name, kParamFloat4);
  if (record) {
    record->vec4[0] = x;
    record->vec4[1] = y;
    record->vec4[2] = z;
    record->vec4[3] = w;
  }
  return record;
}

EffectParamRecord* NewEffectParamMatrix3(const char* name, const float values[9]) {
  EffectParamRecord* record = NewRecord(name, kParamMatrix3);
  if (record) {
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) record->matrix3[r][c] = values[r * 3 + c];
    }
  }
  return record;
}

EffectParamRecord* NewEffectParamMatrixFrom(const char* name, const UvTransform* transform) {
  EffectParamRecord* record = NewRecord(name, kParamMatrix3);
  if (record && transform) {
    for (int c = 0; c < 3; ++c) {
      record->matrix3[0][c] = static_cast<float>(transform->row0[c]) / kFixedScale;
      record->matrix3[1][c] = static_cast<float>(transform->row1[c]) / kFixedScale;
      record->matrix3[2][c] = static_cast<float>(transform->row2[c]) / kFixedScale;
    }
  }
  return record;
}

EffectParamRecord* NewEffectParamMatrix4(const char* name, const float values[16]) {
  EffectParamRecord* record = NewRecord(name, kParamMatrix4);
  if (record) {
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) record->matrix4[r][c] = values[r * 4 + c];
    }
  }
  return record;
}

EffectParamRecord* NewEffectParamString(const char* name, const char* text) {
  EffectParamRecord* record = NewRecord(name, kParamString);
  if (!record) return nullptr;
  const int16_t texture = LoadMaterialTexture(record->name, record->id, text ? text : "");
  if (texture >= 0) {
    record->kind = kParamLong;
    record->value = texture;
  } else {
    record->text = DuplicateString(text ? text : "");
  }
  return record;
}

void FreeEffectParam(EffectParamRecord* record) {
  if (!record) return;
  FreeString(record->name);
  FreeString(record->text);
  EngineFree(record, kEffectParamRecordNominalBytes);
}

// ---------------------------------------------------------------------------------------------
// Parameter lists.

EffectParamList* NewEffectParamList(uint16_t word, const char* effectName) {
  void* block = EngineAlloc(sizeof(EffectParamList), kEffectParamListNominalBytes);
  if (!block) return nullptr;
  auto* list = new (block) EffectParamList();
  list->word = word;
  std::string name = effectName ? effectName : "";
  if (name.size() >= 3 && TextEqualsIgnoringCase(name.c_str() + name.size() - 3, ".fx")) name.resize(name.size() - 3);
  list->name = name;
  return list;
}

void FreeEffectParamList(EffectParamList* list) {
  if (!list) return;
  DestroyOwnedList(list, FreeEffectParam);
  list->~EffectParamList();
  EngineFree(list, kEffectParamListNominalBytes);
}

const EffectParamRecord* FindMaterialParam(const EffectParamList* list, const char* name) {
  if (!list || !name) return nullptr;
  for (const EffectParamRecord* record : list->items) {
    if (record && record->name && TextEqualsIgnoringCase(record->name, name)) return record;
  }
  return nullptr;
}

EffectParamList* ReadBodyMaterials(EffectParamList* list, DataReader* reader) {
  const uint16_t word = ReadShort(reader);
  const std::string effect = ReadString(reader);
  if (!list) {
    list = NewEffectParamList(word, effect.c_str());
    if (!list) return nullptr;
  }
  const int32_t count = static_cast<int16_t>(ReadShort(reader));
  // A broken count stops at the reader's error: every read then answers nothing.
  for (int32_t i = 0; i < count && !reader->error; ++i) {
    const std::string name = ReadString(reader);
    const int32_t kind = reader->binary ? static_cast<int16_t>(ReadShort(reader))
                                        : ReadEnum(kEffectParamKindNames, reader);
    if (reader->error) break;
    ReadParamValues(reader, list, name, kind);
  }
  return list;
}

// ---------------------------------------------------------------------------------------------
// Material entries.

void ReadBodyMaterialEntry(DataReader* reader, int32_t kind, BodyMaterial* entry, uint32_t* bodyFlags) {
  const bool binary = reader->binary != 0;
  entry->number = ReadEntryShort(reader);
  uint32_t flags = 0;
  bool effect = false;
  if (kind >= kMaterialKind6) {
    flags = ReadEnumWord(reader, kMaterialFlagNames, 0);
    if ((flags & kMaterialEffectParams) && !reader->error) {
      entry->params = ReadBodyMaterials(nullptr, reader);
      effect = entry->params != nullptr;
    }
  }
  entry->flags = flags;
  if (effect) {
    // The entry ends with its parameters in both forms; it indexes no material-table record.
    entry->materialIndex = -1;
    MaterialApplyEffectParams(entry);
  } else {
    entry->texture = ReadEntryTexture(reader, kind);
    if (InMaterialTable(entry->texture)) entry->flags = gMaterialTable[entry->texture].flags;
    if (!binary) {
      for (int16_t& c : entry->colors) c = ReadEntryShort(reader);
      if (kind >= kMaterialKind2) {
        entry->transparency = ReadEntryShort(reader);
        entry->value14 = ReadEntryShort(reader);
        entry->values19[0] = ReadEntryShort(reader);
        entry->values19[1] = ReadEntryShort(reader);
        if (ReadEntryShort(reader) != 0) entry->flags |= kMaterialDestBlend;
      }
      if (kind >= kMaterialKind3) {
        if (ReadEntryShort(reader) != 0) entry->flags |= kMaterialTwoSided;
        if (ReadEntryShort(reader) != 0) entry->flags |= kMaterialWireframe;
      }
    } else {
      for (int16_t& c : entry->colors) c = ReadEntryShort(reader);
      entry->materialIndex = ReadEntryShort(reader);
      entry->transparency = ReadEntryShort(reader);
      entry->value14 = ReadEntryShort(reader);
      entry->values19[0] = ReadEntryShort(reader);
      entry->values19[1] = ReadEntryShort(reader);
      if (kind < kMaterialKind6) entry->flags |= ReadShort(reader);
    }
    if (kind >= kMaterialKind3 || binary) {
      entry->value23 = ReadEntryShort(reader);
      entry->secondTexture = ReadEntryTexture(reader, kind);
      entry->secondValue = ReadEntryShort(reader);
      entry->bumpTexture = ReadEntryTexture(reader, kind);
      entry->bumpValue = ReadEntryShort(reader);
    }
    if (kind >= kMaterialKind5) {
      entry->thirdTexture = ReadEntryTexture(reader, kind);
      entry->thirdValue = ReadEntryShort(reader);
    }
    if (kind >= kMaterialKind6) {
      entry->fifthTexture = ReadTextureName(reader);
      entry->fifthValue = ReadEntryShort(reader);
      entry->sixthTexture = ReadTextureName(reader);
      entry->sixthValue = ReadEntryShort(reader);
      entry->flags |= kMaterialTextureNames;
    }
  }

  if (!binary) {
    if (kind <= kMaterialKind3) {
      BodyColourMaterial colours{};
      colours.textureNumber = static_cast<uint16_t>(entry->texture);
      for (int c = 0; c < 3; ++c) {
        colours.ambient[c] = static_cast<uint16_t>(entry->colors[c]);
        colours.diffuse[c] = static_cast<uint16_t>(entry->colors[3 + c]);
        colours.specular[c] = static_cast<uint16_t>(entry->colors[6 + c]);
      }
      colours.transparency = static_cast<uint16_t>(entry->transparency);
      entry->materialIndex = FindClosestMaterial(&colours);
      if (colours.flags & kMaterialTransparent) entry->flags |= kMaterialTransparent;
    } else {
      entry->materialIndex = -1;
    }
  }
  MaterialSetTextureFlags(entry);

  bool bump = entry->bumpTexture != 0 || (entry->flags & kMaterialEffectParams && entry->flags & kMaterialBumpTexture);
  if (kind <= kMaterialKind3 && InMaterialTable(entry->materialIndex) && gMaterialTable[entry->materialIndex].value10 != 0) {
    bump = true;
  }
  if (!bodyFlags) return;
  if (bump) {
    *bodyFlags |= kBodyBumpTexture;
  } else if (entry->secondTexture != 0) {
    *bodyFlags |= kBodySecondTexture;
  }
}

void MaterialApplyEffectParams(BodyMaterial* entry) {
  const EffectParamList* list = entry->params;
  if (!list) return;
  if (NonZeroFloat(list, kAnimDuration) || NonZeroFloat(list, kAnimRotation)) {
    entry->flags |= kMaterialTexAnim;
    entry->animStart[0] = FixedParam(list, "TexAnimStartU", 0);
    entry->animStart[1] = FixedParam(list, "TexAnimStartV", 0);
    entry->animEnd[0] = FixedParam(list, "TexAnimEndU", kFixedOne);
    entry->animEnd[1] = FixedParam(list, "TexAnimEndV", 0);
    entry->animOrigin[0] = FixedParam(list, "TexAnimOriginU", kFixedHalf);
    entry->animOrigin[1] = FixedParam(list, "TexAnimOriginV", kFixedHalf);
    entry->animDuration = MilliParam(list, kAnimDuration);
    entry->animRotation = MilliParam(list, kAnimRotation);
  }
  const EffectParamRecord* bump = SlotParam(list, kSlotBump);
  if (bump && bump->kind == kParamLong && bump->value != 0) entry->flags |= kMaterialBumpTexture;
  if (NonZeroLong(list, "g_AlphaBlendEnable")) {
    entry->flags |= NonZeroLong(list, "g_ALPHATESTENABLE") ? kMaterialAlphaTest : kMaterialDestBlend;
  }
}

int32_t GroupTextureId(const FaceGroup* group, const BodyRecord* body) {
  const int32_t material = group->material;
  if (material < 0) return material;
  if (body->flags & kBodyOwnMaterials) {
    if (!body->materials || material >= body->materialCount) return 0;
    const BodyMaterial& entry = body->materials[material];
    if (!(entry.flags & kMaterialEffectParams)) return entry.texture;
    const EffectParamRecord* diffuse = SlotParam(entry.params, kSlotDiffuse);
    return diffuse ? diffuse->value : 0;
  }
  return InMaterialTable(material) ? gMaterialTable[material].textureNumber : 0;
}

// ---------------------------------------------------------------------------------------------
// Texture animations of an instance.

namespace {

struct TexAnimRequests {
  int32_t count = 0;
  int32_t ids[kMaxBodyTexAnims] = {};
  int32_t starts[2 * kMaxBodyTexAnims] = {};
  int32_t ends[2 * kMaxBodyTexAnims] = {};
  int32_t durations[kMaxBodyTexAnims] = {};
  int32_t origins[2 * kMaxBodyTexAnims] = {};
  int32_t rotations[kMaxBodyTexAnims] = {};

  // Requests beyond the instance's capacity are dropped.
  int32_t* Add(int32_t id) {
    if (count >= kMaxBodyTexAnims) return nullptr;
    ids[count] = id;
    return &ids[count++];
  }
  void AddAnimation(int32_t n) { Add(n); }
  void AddImmediate(int32_t texture, const BodyMaterial& entry) {
    const int32_t i = count;
    // An immediate state is asked for by the negated texture id.
    if (!Add(-texture)) return;
    starts[2 * i] = entry.animStart[0];
    starts[2 * i + 1] = entry.animStart[1];
    ends[2 * i] = entry.animEnd[0];
    ends[2 * i + 1] = entry.animEnd[1];
    origins[2 * i] = entry.animOrigin[0];
    origins[2 * i + 1] = entry.animOrigin[1];
    durations[i] = entry.animDuration;
    rotations[i] = entry.animRotation;
  }
};

void CollectGroupAnims(const FaceGroup& group, const BodyRecord* body, TexAnimRequests* requests) {
  const int32_t material = group.material;
  if (material < 0) {
    requests->AddAnimation(-material);
    return;
  }
  if (!(body->flags & kBodyOwnMaterials)) {
    if (InMaterialTable(material) && gMaterialTable[material].values345[0] < 0) {
      requests->AddAnimation(-gMaterialTable[material].values345[0]);
    }
    return;
  }
  if (!body->materials || material >= body->materialCount) return;
  const BodyMaterial& entry = body->materials[material];
  if (entry.texture < 0) requests->AddAnimation(-entry.texture);
  if (entry.thirdTexture < 0) requests->AddAnimation(-entry.thirdTexture);
  if (!(entry.flags & kMaterialTexAnim)) return;
  for (const int32_t slot : {kSlotDiffuse, kSlotBump}) {
    const EffectParamRecord* param = SlotParam(entry.params, slot);
    if (param && param->kind == kParamLong && param->value != 0) requests->AddImmediate(param->value, entry);
  }
}

}  // namespace

void InstCreateBodyTexAnims(InstanceRecord* instance, const BodyRecord* body) {
  if (!instance || !body || !body->meshes) return;
  TexAnimRequests requests;
  for (int32_t m = 0; m < body->meshCount; ++m) {
    const BodyMesh* mesh = body->meshes[m];
    if (!mesh || !mesh->parts) continue;
    for (int32_t p = 0; p < mesh->partCount; ++p) {
      const BodyPart* part = mesh->parts[p];
      if (!part || !part->groups) continue;
      for (int32_t g = 0; g < part->groupCount; ++g) CollectGroupAnims(part->groups[g], body, &requests);
    }
  }
  if (requests.count == 0) return;
  TexAnimFreeRecords(instance->texAnimCount, instance->texAnims);
  instance->texAnims = TexAnimCreateRecords(requests.count, requests.ids, requests.starts, requests.ends,
                                            requests.durations, requests.origins, requests.rotations);
  instance->texAnimCount = instance->texAnims ? requests.count : 0;
}

void FreeScratchMaterialParams() {
  for (BodyMaterial& entry : gScratchMaterials) {
    FreeEffectParamList(entry.params);
    entry.params = nullptr;
  }
}
