// Body materials: the effect parameter block, the entry in both file forms, the flags and texture
// animation values derived from parameters, group texture ids and instance texture animations.
#include "scene/body_materials.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/data_reader.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "scene/body_text.h"
#include "scene/instance_records.h"
#include "support/body_fixture.h"

namespace {

// Big-endian bytes of the binary form.
class Bytes {
 public:
  Bytes& Half(int32_t v) {
    bytes_.push_back(static_cast<char>((v >> 8) & 0xFF));
    bytes_.push_back(static_cast<char>(v & 0xFF));
    return *this;
  }
  Bytes& Word(uint32_t v) { return Half(static_cast<int32_t>(v >> 16)).Half(static_cast<int32_t>(v & 0xFFFF)); }
  Bytes& Fixed(double v) { return Word(static_cast<uint32_t>(static_cast<int32_t>(v * 65536))); }
  Bytes& Text(const char* s) {
    bytes_.append(s);
    bytes_.push_back('\0');
    return *this;
  }
  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;
};

// A body of one mesh with one part over the given face groups and material entries.
struct OnePartBody {
  OnePartBody(FaceGroup* groups, int16_t groupCount, BodyMaterial* materials, uint32_t flags) {
    part.groupCount = groupCount;
    part.groups = groups;
    parts[0] = &part;
    mesh.partCount = 1;
    mesh.parts = parts;
    meshes[0] = &mesh;
    body.flags = flags;
    body.meshes = meshes;
    body.meshCount = 1;
    body.materials = materials;
    body.materialCount = 1;
  }
  OnePartBody(const OnePartBody&) = delete;
  OnePartBody& operator=(const OnePartBody&) = delete;

  BodyPart part{};
  BodyPart* parts[1] = {};
  BodyMesh mesh{};
  BodyMesh* meshes[1] = {};
  BodyRecord body{};
};

class BodyMaterials : public ::testing::Test {
 protected:
  // Reads one entry of `kind` from text or bytes; the body flags it set go to flags_.
  // Into a block cleared byte by byte, so two entries compare whole, padding included.
  void ReadEntryInto(const std::string& data, bool binary, int32_t kind, BodyMaterial* entry) {
    buffer_.assign(data.begin(), data.end());
    buffer_.push_back('\0');
    DataReader reader;
    DataReaderInit(&reader, buffer_.data(), binary, data.size());
    std::memset(static_cast<void*>(entry), 0, sizeof *entry);
    flags_ = 0;
    ReadBodyMaterialEntry(&reader, kind, entry, &flags_);
    error_ = reader.error;
  }
  BodyMaterial ReadEntry(const std::string& data, bool binary, int32_t kind) {
    BodyMaterial entry;
    ReadEntryInto(data, binary, kind, &entry);
    return entry;
  }
  EffectParamList* ReadList(const std::string& text) {
    buffer_.assign(text.begin(), text.end());
    buffer_.push_back('\0');
    DataReader reader;
    DataReaderInit(&reader, buffer_.data(), false, text.size());
    EffectParamList* list = ReadBodyMaterials(nullptr, &reader);
    error_ = reader.error;
    return list;
  }

  BodyFixture world;
  std::vector<char> buffer_;
  uint32_t flags_ = 0;
  uint8_t error_ = 0;
};

TEST_F(BodyMaterials, ParameterBlockReadsEveryKind) {
  EffectParamList* list = ReadList(
      "3; Hull.FX; 8;"
      " g_Count; SPTYPE_LONG; 12;"
      " g_On; SPTYPE_BOOL; 1;"
      " g_Shine; 2; 0.75;"
      " g_Uv; SPTYPE_FLOAT2; 0.5; 0.25;"
      " g_Tint; SPTYPE_FLOAT4; 1; 2; 3; 4;"
      " g_Rot; SPTYPE_MATRIX3; 1;2;3; 4;5;6; 7;8;9;"
      " g_Label; SPTYPE_STRING; not a texture;"
      " t_DiffuseTexture; SPTYPE_STRING; hull_diff;");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(error_, 0);
  EXPECT_EQ(list->word, 3);
  EXPECT_EQ(list->name, "Hull");
  ASSERT_EQ(list->items.size(), 8u);
  const std::vector<EffectParamRecord*>& p = list->items;
  EXPECT_EQ(p[0]->kind, kParamLong);
  EXPECT_EQ(p[0]->value, 12);
  EXPECT_EQ(p[1]->kind, kParamLong);  // a boolean is stored as an integer
  EXPECT_EQ(p[1]->value, 1);
  EXPECT_EQ(p[2]->kind, kParamFloat);
  float shine;
  std::memcpy(&shine, &p[2]->value, sizeof shine);
  EXPECT_FLOAT_EQ(shine, 0.75f);
  EXPECT_FLOAT_EQ(p[3]->vec2[1], 0.25f);
  EXPECT_FLOAT_EQ(p[4]->vec4[3], 4.0f);
  EXPECT_FLOAT_EQ(p[5]->matrix3[1][2], 6.0f);
  EXPECT_FLOAT_EQ(p[5]->matrix3[2][0], 7.0f);
  EXPECT_FLOAT_EQ(p[5]->matrix3[2][3], 0.0f);
  // A name the texture lookup refuses keeps its text; a texture slot's name becomes its id.
  EXPECT_EQ(p[6]->kind, kParamString);
  EXPECT_STREQ(p[6]->text, "not a texture");
  EXPECT_EQ(p[6]->id, 0);
  EXPECT_EQ(p[7]->kind, kParamLong);
  EXPECT_EQ(p[7]->id, 1);
  EXPECT_STREQ(TextureNameOf(p[7]->value), "hull_diff");
  FreeEffectParamList(list);
}

TEST_F(BodyMaterials, EffectNamesLoseOnlyATrailingFxInAnyCase) {
  struct Case {
    const char* given;
    const char* kept;
  };
  const Case kCases[] = {{"hull.fx", "hull"}, {"hull.FX", "hull"}, {"hull.Fx", "hull"},
                         {"hull.fxo", "hull.fxo"}, {"fx", "fx"}, {".fx", ""}};
  for (const Case& c : kCases) {
    EffectParamList* list = NewEffectParamList(0, c.given);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->name, c.kept) << c.given;
    FreeEffectParamList(list);
  }
}

TEST_F(BodyMaterials, AKindOutsideTheTableSetsTheReaderError) {
  EffectParamList* list = ReadList("0; fx; 2; g_A; 9; 1; g_B; SPTYPE_LONG; 2;");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(error_, 1);
  EXPECT_TRUE(list->items.empty());
  FreeEffectParamList(list);
  list = ReadList("0; fx; 1; g_A; SPTYPE_WHATEVER; 1;");
  EXPECT_EQ(error_, 1);
  FreeEffectParamList(list);
}

TEST_F(BodyMaterials, TextureAnimationNeedsANonZeroDurationOrRotation) {
  struct Case {
    const char* what;
    const char* params;
    bool animated;
    int32_t start[2], end[2], origin[2], duration, rotation;
  };
  const Case kCases[] = {
      {"none", "1; g_X; SPTYPE_FLOAT; 1.0;", false, {0, 0}, {0, 0}, {0, 0}, 0, 0},
      {"only the other values", "2; TexAnimStartU; SPTYPE_FLOAT; 0.5; TexAnimEndV; SPTYPE_FLOAT; 1.0;", false,
       {0, 0}, {0, 0}, {0, 0}, 0, 0},
      {"both zero", "3; TexAnimDuration; SPTYPE_FLOAT; 0.0; TexAnimRotation; SPTYPE_FLOAT; 0.0; TexAnimStartU; 2; 0.5;",
       false, {0, 0}, {0, 0}, {0, 0}, 0, 0},
      {"duration as an integer", "1; TexAnimDuration; SPTYPE_LONG; 5;", false, {0, 0}, {0, 0}, {0, 0}, 0, 0},
      {"duration with defaults", "1; TexAnimDuration; SPTYPE_FLOAT; 2.5;", true, {0, 0}, {65536, 0},
       {32768, 32768}, 2500, 0},
      {"rotation with values",
       "4; TexAnimRotation; 2; 0.5; TexAnimStartV; 2; 0.25; TexAnimOriginU; 2; 0; TexAnimEndU; SPTYPE_LONG; 3;",
       true, {0, 16384}, {65536, 0}, {0, 32768}, 0, 500},
      // Values no 32-bit word holds come out as the integer-indefinite value, never undefined.
      {"beyond 32 bits", "2; TexAnimDuration; 2; 9999999999999; TexAnimStartU; 2; 99999999;", true,
       {INT32_MIN, 0}, {65536, 0}, {32768, 32768}, INT32_MIN, 0},
  };
  for (const Case& c : kCases) {
    BodyMaterial entry{};
    entry.params = ReadList(std::string("0; fx; ") + c.params);
    ASSERT_EQ(error_, 0) << c.what;
    MaterialApplyEffectParams(&entry);
    EXPECT_EQ((entry.flags & kMaterialTexAnim) != 0, c.animated) << c.what;
    EXPECT_EQ(entry.animStart[0], c.start[0]) << c.what;
    EXPECT_EQ(entry.animStart[1], c.start[1]) << c.what;
    EXPECT_EQ(entry.animEnd[0], c.end[0]) << c.what;
    EXPECT_EQ(entry.animEnd[1], c.end[1]) << c.what;
    EXPECT_EQ(entry.animOrigin[0], c.origin[0]) << c.what;
    EXPECT_EQ(entry.animOrigin[1], c.origin[1]) << c.what;
    EXPECT_EQ(entry.animDuration, c.duration) << c.what;
    EXPECT_EQ(entry.animRotation, c.rotation) << c.what;
    FreeEffectParamList(entry.params);
  }
}

TEST_F(BodyMaterials, BumpAndAlphaFlagsComeFromTheirParameters) {
  struct Case {
    const char* params;
    uint32_t flags;
  };
  const Case kCases[] = {
      {"1; t_BumpTexture; SPTYPE_STRING; hull_bump;", kMaterialBumpTexture},
      {"1; t_BumpTexture; SPTYPE_LONG; 0;", 0},
      {"1; g_AlphaBlendEnable; SPTYPE_BOOL; 1;", kMaterialDestBlend},
      {"2; g_AlphaBlendEnable; SPTYPE_BOOL; 1; g_ALPHATESTENABLE; SPTYPE_LONG; 1;", kMaterialAlphaTest},
      {"2; g_alphablendenable; SPTYPE_BOOL; 1; g_AlphaTestEnable; SPTYPE_FLOAT; 1.0;", kMaterialDestBlend},
      {"1; g_AlphaBlendEnable; SPTYPE_FLOAT; 1.0;", 0},
  };
  for (const Case& c : kCases) {
    BodyMaterial entry{};
    entry.params = ReadList(std::string("0; fx; ") + c.params);
    MaterialApplyEffectParams(&entry);
    EXPECT_EQ(entry.flags, c.flags) << c.params;
    FreeEffectParamList(entry.params);
  }
}

// The same entry of kinds 3, 5 and 6 in text and in bytes reads to equal records.
TEST_F(BodyMaterials, TextAndBinaryEntriesReadAlike) {
  struct Case {
    int32_t kind;
    std::string text;
    std::string bytes;
  };
  // Kind 3: texture 0, green diffuse (table record 2), 20% transparent, destination blend and
  // two-sided from their words; a second texture 5 with value 7.
  const std::string kind3Text = "9; 0; 0;0;0; 0;200;0; 0;0;0; 20;1;2;3; 1; 1;0; 4; 5;7; 0;0;";
  const std::string kind3Bytes = Bytes()
                                     .Half(9)
                                     .Half(0)
                                     .Half(0).Half(0).Half(0).Half(0).Half(200).Half(0).Half(0).Half(0).Half(0)
                                     .Half(2).Half(20).Half(1).Half(2).Half(3)
                                     .Half(kMaterialDestBlend | kMaterialTransparent | kMaterialTwoSided)
                                     .Half(4).Half(5).Half(7).Half(0).Half(0)
                                     .str();
  const std::string kind5Text = "3; 6; 1;2;3; 4;5;6; 7;8;9; 0;0;0;0; 0; 0;0; 0; 0;0; 8;1; -2;0;";
  const std::string kind5Bytes = Bytes()
                                     .Half(3)
                                     .Half(6)
                                     .Half(1).Half(2).Half(3).Half(4).Half(5).Half(6).Half(7).Half(8).Half(9)
                                     .Half(-1).Half(0).Half(0).Half(0).Half(0)
                                     .Half(0)
                                     .Half(0).Half(0).Half(0).Half(8).Half(1).Half(-2).Half(0)
                                     .str();
  const std::string kind6Text =
      "4; MPF_USEFXSHADER; 1; hull.fx; 3; t_DiffuseTexture; SPTYPE_STRING; hull_diff;"
      " TexAnimDuration; SPTYPE_FLOAT; 2.5; g_Tint; SPTYPE_FLOAT3; 0.5; 0.25; 1.0;";
  const std::string kind6Bytes = Bytes()
                                     .Half(4)
                                     .Word(kMaterialEffectParams)
                                     .Half(1)
                                     .Text("hull.fx")
                                     .Half(3)
                                     .Text("t_DiffuseTexture").Half(kParamString).Text("hull_diff")
                                     .Text("TexAnimDuration").Half(kParamFloat).Fixed(2.5)
                                     .Text("g_Tint").Half(kParamFloat3).Fixed(0.5).Fixed(0.25).Fixed(1.0)
                                     .str();
  const std::string kind6NamesText =
      "5; MPF_2SIDED; fin; 0;0;0; 0;0;0; 0;0;0; 0;0;0;0; 0; 0;0; 0; NULL;0; fin_bump;3; NULL;0; glow;1; NULL;0;";
  const std::string kind6NamesBytes = Bytes()
                                          .Half(5)
                                          .Word(MPF_2SIDED)
                                          .Text("fin")
                                          .Half(0).Half(0).Half(0).Half(0).Half(0).Half(0).Half(0).Half(0).Half(0)
                                          .Half(-1).Half(0).Half(0).Half(0).Half(0)
                                          .Half(0).Text("NULL").Half(0).Text("fin_bump").Half(3)
                                          .Text("NULL").Half(0).Text("glow").Half(1).Text("NULL").Half(0)
                                          .str();
  const Case kCases[] = {{3, kind3Text, kind3Bytes},
                         {5, kind5Text, kind5Bytes},
                         {6, kind6Text, kind6Bytes},
                         {6, kind6NamesText, kind6NamesBytes}};
  for (const Case& c : kCases) {
    BodyMaterial text;
    ReadEntryInto(c.text, false, c.kind, &text);
    ASSERT_EQ(error_, 0) << c.kind;
    const uint32_t textFlags = flags_;
    BodyMaterial binary;
    ReadEntryInto(c.bytes, true, c.kind, &binary);
    ASSERT_EQ(error_, 0) << c.kind;
    EXPECT_EQ(flags_, textFlags) << c.kind;
    ASSERT_EQ(text.params == nullptr, binary.params == nullptr);
    if (text.params) {
      EXPECT_EQ(text.params->name, binary.params->name);
      ASSERT_EQ(text.params->items.size(), binary.params->items.size());
      for (size_t i = 0; i < text.params->items.size(); ++i) {
        const EffectParamRecord& a = *text.params->items[i];
        const EffectParamRecord& b = *binary.params->items[i];
        EXPECT_STREQ(a.name, b.name);
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.value, b.value) << a.name;
        EXPECT_EQ(std::memcmp(a.vec3, b.vec3, sizeof a.vec3), 0) << a.name;
      }
    }
    FreeEffectParamList(text.params);
    FreeEffectParamList(binary.params);
    text.params = binary.params = nullptr;
    EXPECT_EQ(std::memcmp(&text, &binary, sizeof text), 0) << "kind " << c.kind;
    EXPECT_EQ(text.flags, binary.flags) << c.kind;
    EXPECT_EQ(text.materialIndex, binary.materialIndex) << c.kind;
  }
}

TEST_F(BodyMaterials, EntryFlagsAndBodyFlags) {
  // Kind 3 with a bump texture: body flag 4, not 2, though a second texture is there too.
  ReadEntry("1; 0; 0;0;0; 200;0;0; 0;0;0; 0;0;0;0; 0; 0;0; 0; 5;0; 6;0;", false, 3);
  EXPECT_EQ(flags_, kBodyBumpTexture);
  // A material-table record with a bump value counts as a bump texture.
  ReadEntry("1; 0; 0;0;0; 0;0;200; 0;0;0; 0;0;0;0; 0; 0;0; 0; 0;0; 0;0;", false, 3);
  EXPECT_EQ(flags_, kBodyBumpTexture);
  // A second texture alone.
  BodyMaterial entry = ReadEntry("1; 0; 0;0;0; 200;0;0; 0;0;0; 0;0;0;0; 0; 0;0; 0; 5;0; 0;0;", false, 3);
  EXPECT_EQ(flags_, kBodySecondTexture);
  EXPECT_EQ(entry.materialIndex, 1);
  // Kind 1 reads only the colours; a transparency is kind 2's.
  entry = ReadEntry("1; 0; 0;0;0; 0;200;0; 0;0;0;", false, 1);
  EXPECT_EQ(entry.materialIndex, 2);
  EXPECT_EQ(entry.flags, 0u);
  entry = ReadEntry("1; 0; 0;0;0; 0;200;0; 0;0;0; 50;0;0;0; 0;", false, 2);
  EXPECT_EQ(entry.flags, kMaterialTransparent);
  // An effect material whose bump parameter holds a texture.
  entry = ReadEntry("1; MPF_USEFXSHADER; 0; fx; 1; t_BumpTexture; SPTYPE_STRING; b;", false, 6);
  EXPECT_EQ(entry.flags, kMaterialEffectParams | kMaterialBumpTexture);
  EXPECT_EQ(flags_, kBodyBumpTexture);
  EXPECT_EQ(entry.materialIndex, -1);
  FreeEffectParamList(entry.params);
}

TEST_F(BodyMaterials, ConstructorsSetTheSlotKindAndLayout) {
  EffectParamRecord* integer = NewEffectParamInt2("t_BumpTexture", 9);
  ASSERT_NE(integer, nullptr);
  EXPECT_EQ(integer->id, 2);
  EXPECT_EQ(integer->kind, kParamLong);
  EXPECT_EQ(integer->value, 9);
  FreeEffectParam(integer);

  float values[16];
  for (int i = 0; i < 16; ++i) values[i] = static_cast<float>(i + 1);
  EffectParamRecord* m4 = NewEffectParamMatrix4("g_World", values);
  ASSERT_NE(m4, nullptr);
  EXPECT_EQ(m4->id, 0);
  EXPECT_EQ(m4->kind, kParamMatrix4);
  EXPECT_FLOAT_EQ(m4->matrix4[1][0], 5.0f);
  EXPECT_FLOAT_EQ(m4->matrix4[3][3], 16.0f);
  FreeEffectParam(m4);

  // A texture transform's 16.16 rows become a 3x4 float matrix with a zero fourth column.
  UvTransform transform{{0x10000, 0x8000, -0x4000, 77}, {0, 0x20000, 0, 0}, {0x18000, 0, 0x10000}};
  EffectParamRecord* m3 = NewEffectParamMatrixFrom("g_TexTransform", &transform);
  ASSERT_NE(m3, nullptr);
  EXPECT_EQ(m3->kind, kParamMatrix3);
  EXPECT_FLOAT_EQ(m3->matrix3[0][1], 0.5f);
  EXPECT_FLOAT_EQ(m3->matrix3[0][2], -0.25f);
  EXPECT_FLOAT_EQ(m3->matrix3[0][3], 0.0f);
  EXPECT_FLOAT_EQ(m3->matrix3[1][1], 2.0f);
  EXPECT_FLOAT_EQ(m3->matrix3[2][0], 1.5f);
  FreeEffectParam(m3);
}

TEST_F(BodyMaterials, AnEntryWhoseTextureIndexesTheTableTakesThatRecordsFlags) {
  // Texture 2 is the blended record's index; its flags replace the read ones.
  const BodyMaterial entry = ReadEntry("1; 2; 0;0;0; 200;0;0; 0;0;0;", false, 1);
  EXPECT_EQ(error_, 0);
  EXPECT_EQ(entry.texture, 2);
  EXPECT_EQ(entry.flags, MPF_ALPHABLEND);
  // Texture 40 indexes nothing.
  EXPECT_EQ(ReadEntry("1; 40; 0;0;0; 200;0;0; 0;0;0;", false, 1).flags, 0u);
}

TEST_F(BodyMaterials, GroupTextureIdForBothBodyKinds) {
  world.materials[2].textureNumber = 17;
  BodyRecord table{};
  FaceGroup group{};
  group.material = 2;
  EXPECT_EQ(GroupTextureId(&group, &table), 17);
  group.material = 9;  // past the table
  EXPECT_EQ(GroupTextureId(&group, &table), 0);
  group.material = -3;
  EXPECT_EQ(GroupTextureId(&group, &table), -3);

  BodyMaterial own[2] = {};
  own[0].texture = 21;
  own[1].flags = kMaterialEffectParams;
  own[1].texture = 22;
  own[1].params = NewEffectParamList(0, "fx");
  BodyRecord body{};
  body.flags = kBodyOwnMaterials;
  body.materials = own;
  body.materialCount = 2;
  group.material = 0;
  EXPECT_EQ(GroupTextureId(&group, &body), 21);
  group.material = 1;
  EXPECT_EQ(GroupTextureId(&group, &body), 0);  // no diffuse parameter
  own[1].params->items.push_back(NewEffectParamInt("t_DiffuseTexture", 30));
  EXPECT_EQ(GroupTextureId(&group, &body), 30);
  group.material = 2;
  EXPECT_EQ(GroupTextureId(&group, &body), 0);
  FreeEffectParamList(own[1].params);
}

TEST_F(BodyMaterials, AnInstanceKeepsAtMostTwentyTextureAnimations) {
  // One part of 22 groups: 21 animations by negative material, then an animated effect material.
  FaceGroup groups[22] = {};
  for (int g = 0; g < 21; ++g) groups[g].material = -(g + 1);
  BodyMaterial own[1] = {};
  own[0].flags = kMaterialEffectParams | kMaterialTexAnim;
  own[0].params = NewEffectParamList(0, "fx");
  own[0].params->items.push_back(NewEffectParamInt("t_DiffuseTexture", 30));
  own[0].animDuration = 2500;
  own[0].animEnd[0] = 65536;
  OnePartBody one(groups, 21, own, kBodyOwnMaterials);
  BodyRecord& body = one.body;
  auto instance = std::make_unique<InstanceRecord>();
  InstCreateBodyTexAnims(instance.get(), &body);
  ASSERT_EQ(instance->texAnimCount, 20);
  EXPECT_EQ(instance->texAnims[0].anim, 1);
  EXPECT_EQ(instance->texAnims[19].anim, 20);
  TexAnimFreeRecords(instance->texAnimCount, instance->texAnims);

  // The effect material's request with its animation values, first in line now.
  groups[0].material = 0;
  one.part.groupCount = 2;
  instance = std::make_unique<InstanceRecord>();
  InstCreateBodyTexAnims(instance.get(), &body);
  ASSERT_EQ(instance->texAnimCount, 2);
  EXPECT_NE(instance->texAnims[0].flags & kTexAnimImmediate, 0u);
  EXPECT_EQ(instance->texAnims[0].texture, 30);
  EXPECT_EQ(instance->texAnims[0].period, 2500);
  EXPECT_EQ(instance->texAnims[0].uvEnd[0], 65536);
  EXPECT_EQ(instance->texAnims[0].spinCentre[0], 0);
  EXPECT_EQ(instance->texAnims[1].anim, 2);
  TexAnimFreeRecords(instance->texAnimCount, instance->texAnims);
  FreeEffectParamList(own[0].params);
}


// The texture animation requests an instance takes from one face group of each source.
TEST_F(BodyMaterials, TextureAnimationRequestsComeFromEverySource) {
  world.materials[2].values345[0] = -4;
  world.materials[1].values345[0] = 6;
  struct Request {
    bool immediate;
    int32_t id;  // animation number, or texture id of an immediate request
  };
  struct Case {
    const char* what;
    bool ownMaterials;
    int32_t material;
    int16_t texture, thirdTexture;
    bool effect;  // with a parameter list of kind-0 texture ids
    std::vector<std::pair<const char*, int32_t>> params;
    bool animated;
    std::vector<Request> requests;
  };
  const Case kCases[] = {
      {"negative group material", false, -7, 0, 0, false, {}, false, {{false, 7}}},
      {"table record with a negative third value", false, 2, 0, 0, false, {}, false, {{false, 4}}},
      {"table record with a positive third value", false, 1, 0, 0, false, {}, false, {}},
      {"table record past the table", false, 9, 0, 0, false, {}, false, {}},
      {"own entry's first and third textures", true, 0, -3, -5, false, {}, false, {{false, 3}, {false, 5}}},
      {"animated effect's diffuse and bump textures", true, 0, 0, 0, true,
       {{"t_DiffuseTexture", 30}, {"t_BumpTexture", 31}}, true, {{true, 30}, {true, 31}}},
      {"animated effect with an empty bump", true, 0, 0, 0, true, {{"t_DiffuseTexture", 30}, {"t_BumpTexture", 0}},
       true, {{true, 30}}},
      {"effect without the animation flag", true, 0, 0, 0, true, {{"t_DiffuseTexture", 30}}, false, {}},
      {"own entry past the table", true, 3, -3, 0, false, {}, false, {}},
  };
  for (const Case& c : kCases) {
    BodyMaterial entry{};
    entry.texture = c.texture;
    entry.thirdTexture = c.thirdTexture;
    entry.animDuration = 1500;
    if (c.effect) {
      entry.flags = kMaterialEffectParams | (c.animated ? kMaterialTexAnim : 0);
      entry.params = NewEffectParamList(0, "fx");
      for (const auto& [name, value] : c.params) entry.params->items.push_back(NewEffectParamInt(name, value));
    }
    FaceGroup group{};
    group.material = c.material;
    OnePartBody one(&group, 1, &entry, c.ownMaterials ? kBodyOwnMaterials : 0);
    auto instance = std::make_unique<InstanceRecord>();
    InstCreateBodyTexAnims(instance.get(), &one.body);
    ASSERT_EQ(instance->texAnimCount, static_cast<int32_t>(c.requests.size())) << c.what;
    for (size_t i = 0; i < c.requests.size(); ++i) {
      const TexAnimState& state = instance->texAnims[i];
      EXPECT_EQ((state.flags & kTexAnimImmediate) != 0, c.requests[i].immediate) << c.what;
      if (c.requests[i].immediate) {
        EXPECT_EQ(state.texture, c.requests[i].id) << c.what;
        EXPECT_EQ(state.period, 1500) << c.what;
      } else {
        EXPECT_EQ(state.anim, c.requests[i].id) << c.what;
      }
    }
    TexAnimFreeRecords(instance->texAnimCount, instance->texAnims);
    FreeEffectParamList(entry.params);
  }
}

}  // namespace
