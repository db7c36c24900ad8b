// Binary body files: text bodies converted and read back, the file's vertex fields, stored and
// computed part bounds, per-group bone tables, the output name, failed writes, and malformed files
// that must give null without reading outside the data or allocating what the file cannot hold.
#include "scene/body_binary.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bodies/body_text_writer.h"
#include "core/byte_order.h"
#include "core/data_reader.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "platform/heap.h"
#include "render/texture_table.h"
#include "scene/body_text.h"
#include "scene/engine_state.h"
#include "support/body_fixture.h"
#include "support/temp_dir.h"

namespace {

// Big-endian fields of a hand-made body file.
class Bytes {
 public:
  Bytes& Tag(const char* tag) {
    text_.append(tag, 4);
    return *this;
  }
  Bytes& Int(int64_t value) {
    unsigned char bytes[4];
    StoreBE32(bytes, static_cast<uint32_t>(value));
    text_.append(reinterpret_cast<const char*>(bytes), 4);
    return *this;
  }
  Bytes& Short(int64_t value) {
    unsigned char bytes[2];
    StoreBE16(bytes, static_cast<uint16_t>(value));
    text_.append(reinterpret_cast<const char*>(bytes), 2);
    return *this;
  }
  Bytes& Fixed(double value) { return Int(std::lround(value * 65536.0)); }
  Bytes& Str(const std::string& text) {
    text_ += text;
    text_.push_back('\0');
    return *this;
  }
  Bytes& Raw(const std::string& bytes) {
    text_ += bytes;
    return *this;
  }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

// A kind-3 material entry: number, texture, nine colours, material index, four further values,
// the flag word, then the second and bump textures with their values.
void Kind3Entry(Bytes* b, int16_t materialIndex) {
  b->Short(1).Short(0);
  for (int c = 0; c < 9; ++c) b->Short(c == 3 ? 200 : 0);
  b->Short(materialIndex).Short(0).Short(0).Short(0).Short(0).Short(0);
  b->Short(0).Short(0).Short(0).Short(0).Short(0);
}

// A vertex with the fields its mask selects.
void Vertex(Bytes* b, int i, uint16_t mask, double x, double y) {
  b->Short(mask);
  if (mask & kPointPosition) b->Fixed(x).Fixed(y).Fixed(0);
  if (mask & kPointUv) {
    b->Fixed(0.25 * i).Fixed(0.5);
    if (mask & kPointSecondUv) b->Fixed(0.75).Fixed(0.125 * i);
  }
  if (mask & kPointNormal) b->Fixed(0).Fixed(0).Fixed(1.0);
  if (mask & kPointSmoothing) b->Int(7 + i);
}

// A small valid body: one kind-3 material, one mesh of two bones and three vertices with weights,
// one part of one triangle. `set` replaces the value of a count, an index, a mask or a flag word,
// so one file serves every malformed case.
std::string Sample(const std::map<std::string, int64_t>& set = {}) {
  const auto value = [&](const char* key, int64_t fallback) {
    const auto it = set.find(key);
    return it == set.end() ? fallback : it->second;
  };
  Bytes b;
  b.Tag("BOB1").Tag("NAME").Str("sample").Tag("/NAM").Tag("VERS").Int(1).Tag("/VER");
  b.Tag("MAT3").Int(value("materials", 1));
  Kind3Entry(&b, 1);
  b.Tag("/MAT");
  b.Tag("BODY").Short(value("meshes", 1)).Int(250).Int(value("meshFlags", 0));
  b.Tag("BONE").Int(value("bones", 2)).Str("root").Str("arm").Tag("/BON");
  b.Tag("POIN").Int(value("vertices", 3));
  const double xy[3][2] = {{0, 0}, {1, 0}, {0, 1}};
  for (int i = 0; i < 3; ++i) {
    const std::string key = "mask" + std::to_string(i);
    Vertex(&b, i, static_cast<uint16_t>(value(key.c_str(), kPointPosition | kPointNormal)), xy[i][0], xy[i][1]);
  }
  b.Tag("/POI");
  b.Tag("WEIG").Int(3);
  b.Short(value("pairs", 1)).Short(value("bone", 0)).Fixed(1.0);
  b.Short(1).Short(1).Fixed(1.0);
  b.Short(0);
  b.Tag("/WEI");
  const int64_t partFlags = value("partFlags", kPartStoredBounds);
  b.Tag("PART").Int(value("parts", 1)).Int(partFlags).Short(value("groups", 1));
  b.Int(value("material", 0)).Int(value("triangles", 1)).Int(value("corner", 0)).Int(1).Int(2).Int(0x1234);
  if (partFlags & kPartStoredBounds) {
    b.Int(value("extras", 2));
    for (int e = 0; e < 2; ++e) {
      b.Int(50 + e);
      for (int k = 0; k < 6; ++k) b.Fixed(0.25 * k);
    }
    for (int k = 0; k < 10; ++k) b.Fixed(k + 1);
  }
  b.Tag("/PAR");
  b.Tag("/BOD").Tag("/BOB");
  return b.str();
}

std::string Replace(std::string bytes, const std::string& from, const std::string& to) {
  const size_t at = bytes.find(from);
  if (at != std::string::npos) bytes.replace(at, from.size(), to);
  return bytes;
}

std::string InsertBefore(std::string bytes, const std::string& tag, const std::string& inserted) {
  bytes.insert(bytes.find(tag), inserted);
  return bytes;
}

// The bytes from a chunk's id to its end id.
std::string Chunk(const std::string& bytes, const std::string& id, const std::string& endId) {
  const size_t from = bytes.find(id);
  return bytes.substr(from, bytes.find(endId, from) + endId.size() - from);
}

std::string EraseChunk(const std::string& bytes, const std::string& id, const std::string& endId) {
  return Replace(bytes, Chunk(bytes, id, endId), "");
}

// Text bodies of the other material kinds and of a second mesh, beside the demo's two.
constexpr const char* kCrateText =
    "NAME: crate;\n"
    "SOUND: 3; 0; 1; 180; 1.0; 0.5; 0.25; 7; 8; 60; 0;\n"
    "MATERIAL: 1; 0; 0;0;0; 200;0;0; 0;0;0;\n"
    "MATERIAL: 2; 0; 0;0;0; 0;200;0; 0;0;0;\n"
    "BODIES:\n1000;\n"
    "BONES: 2; root; lid;\n"
    "POINTS:\n"
    "-100;-100;0; 100;-100;0; 100;100;0; -100;100;0;\n"
    "-100;-100;50; 100;-100;50; 100;100;50; -100;100;50;\n"
    "-1;-1;-1;\n"
    "WEIGHTS:\n"
    "0;1.0;-1; 0;1.0;-1; 0;0.5;1;0.5;-1; 0;1.0;-1;\n"
    "1;1.0;-1; 1;1.0;-1; 1;1.0;-1; 1;1.0;-1;\n"
    "PARTS:\n"
    "1; 0;1;2;3; -24; 7; 0;0; 1.0;0; 1.0;1.0; 0;1.0;\n"
    "-1; 4;5;6; -1;\n"
    "-99; 0;\n"
    "2; 4;5;6;7; -1;\n"
    "-99; 4; 6;\n"
    "-99;\n0;\n"
    "500;\n"
    "POINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\n"
    "PARTS: 1; 0;1;2; -136; 0;0; 1.0;0; 0;1.0; 0;0; 0.5;0; 0;0.5; -99; 0; -99;\n"
    "8;\n";
constexpr const char* kTintedText =
    "MATERIAL2: 4; 0; 0;0;0; 0;0;200; 0;0;0; 30; 5; 6;7; 1;\n"
    "BODIES: 10;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: 4; 0;1;2; -1; -99; 0; -99; 0;\n";
constexpr const char* kKind5Text =
    "MATERIAL5: 0; 3; 0;0;0; 0;90;0; 0;0;0; 0;0;0;0; 0; 0;0; 0; 0;0; 0;0; -3;0;\n"
    "BODIES: 10;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: 0; 0;1;2; -1; -99; 0; -99; 0;\n";

class BodyBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.File("vc"));
    folderFormat = dir.File("vc/%s");
    product = kProductRecord;
    product.voiceTemplate = folderFormat.c_str();
    block.product = &product;
    savedSystem = gSystem;
    gSystem = &block;
  }
  void TearDown() override { gSystem = savedSystem; }

  static std::string FileOf(int32_t id) {
    char name[32];
    std::snprintf(name, sizeof name, "vc/%05d.bob", static_cast<int>(id));
    return name;
  }

  // WriteBodyBinary's file for the body, read back; empty when it wrote none.
  std::string Write(const BodyRecord* body) {
    if (!WriteBodyBinary(body)) return "";
    return dir.Read(FileOf(body->id));
  }

  static BodyRecord* ReadBytes(int32_t id, const std::string& bytes) {
    std::vector<char> buffer(bytes.begin(), bytes.end());
    DataReader reader;
    DataReaderInit(&reader, buffer.data(), true, buffer.size());
    return ReadBodyBinary(id, &reader);
  }

  BodyFixture world;
  TempDir dir;
  std::string folderFormat;
  ProductRecord product{};
  SystemBlock block{};
  SystemBlock* savedSystem = nullptr;
};

void ExpectSameParams(const EffectParamList* text, const EffectParamList* binary, const char* what) {
  ASSERT_EQ(text == nullptr, binary == nullptr) << what;
  if (!text) return;
  EXPECT_EQ(binary->word, text->word) << what;
  EXPECT_EQ(binary->name, text->name) << what;
  ASSERT_EQ(binary->items.size(), text->items.size()) << what;
  for (size_t i = 0; i < text->items.size(); ++i) {
    const EffectParamRecord& t = *text->items[i];
    const EffectParamRecord& b = *binary->items[i];
    EXPECT_STREQ(b.name, t.name) << what;
    EXPECT_EQ(b.id, t.id) << what << " " << t.name;
    EXPECT_EQ(b.kind, t.kind) << what << " " << t.name;
    EXPECT_EQ(b.value, t.value) << what << " " << t.name;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(b.vec3[k], t.vec3[k], 1.0 / 65536) << what << " " << t.name;
    EXPECT_EQ(b.text == nullptr, t.text == nullptr) << what << " " << t.name;
  }
}

// A text body and the same body read back from its binary form are equal but for what the form
// does not carry: sound parameters, second texture coordinates (and the mesh flag that stands for
// them), the first mesh's distance (100000), the later meshes' size (the first mesh's), the text
// mark, and the part centres and radii, which are computed from the stored vertices. A material
// entry's number becomes its material-table index.
void ExpectConverted(const BodyRecord* text, const BodyRecord* binary, const char* what) {
  EXPECT_EQ(binary->id, text->id) << what;
  EXPECT_STREQ(binary->name, text->name) << what;
  EXPECT_EQ(binary->flags, text->flags) << what;
  static const char kNoSound[sizeof(BodySound)] = {};
  EXPECT_EQ(std::memcmp(&binary->sound, kNoSound, sizeof kNoSound), 0) << what;
  ASSERT_EQ(binary->materialCount, text->materialCount) << what;
  for (int32_t i = 0; i < text->materialCount; ++i) {
    BodyMaterial t;
    std::memcpy(static_cast<void*>(&t), &text->materials[i], sizeof t);
    const BodyMaterial& b = binary->materials[i];
    EXPECT_EQ(b.number, t.materialIndex) << what;
    ExpectSameParams(t.params, b.params, what);
    t.number = b.number;
    t.params = b.params;
    EXPECT_EQ(std::memcmp(&t, &b, sizeof t), 0) << what << " material " << i;
  }
  ASSERT_EQ(binary->meshCount, text->meshCount) << what;
  for (int32_t m = 0; m < text->meshCount; ++m) {
    const BodyMesh* t = text->meshes[m];
    const BodyMesh* b = binary->meshes[m];
    EXPECT_EQ(b->flags, t->flags & ~kMeshSecondUv) << what;
    EXPECT_EQ(b->uv2, nullptr) << what;
    EXPECT_EQ(b->size, text->meshes[0]->size) << what;
    EXPECT_EQ(b->distance, m == 0 ? kBinaryFirstMeshDistance : t->distance) << what;
    EXPECT_EQ(b->textRead, 0) << what;
    EXPECT_EQ(std::memcmp(b->bounds, t->bounds, sizeof t->bounds), 0) << what;
    ASSERT_EQ(b->vertexCount, t->vertexCount) << what;
    for (int32_t v = 0; v < t->vertexCount; ++v) {
      EXPECT_EQ(std::memcmp(&b->vertices[v], &t->vertices[v], sizeof(BodyVertex)), 0) << what << " vertex " << v;
    }
    ASSERT_EQ(b->boneCount, t->boneCount) << what;
    for (int32_t k = 0; k < t->boneCount; ++k) EXPECT_STREQ(b->boneNames[k], t->boneNames[k]) << what;
    EXPECT_EQ(b->maxWeightsPerVertex, t->maxWeightsPerVertex) << what;
    ASSERT_EQ(b->weights == nullptr, t->weights == nullptr) << what;
    for (int32_t v = 0; t->weights && v < t->vertexCount; ++v) {
      ASSERT_EQ(b->weightCounts[v], t->weightCounts[v]) << what;
      for (int32_t k = 0; k < t->weightCounts[v]; ++k) {
        EXPECT_EQ(b->weights[v][k].bone, t->weights[v][k].bone) << what;
        EXPECT_EQ(b->weights[v][k].weight, t->weights[v][k].weight) << what;
      }
    }
    ASSERT_EQ(b->partCount, t->partCount) << what;
    for (int32_t p = 0; p < t->partCount; ++p) {
      const BodyPart* tp = t->parts[p];
      const BodyPart* bp = b->parts[p];
      EXPECT_EQ(bp->flags, tp->flags) << what << " part " << p;
      EXPECT_EQ(bp->mesh, b) << what;
      EXPECT_EQ(std::memcmp(&bp->boundsCentre, &tp->boundsCentre, sizeof(FixedVector)), 0) << what;
      EXPECT_EQ(std::memcmp(&bp->boundsHalf, &tp->boundsHalf, sizeof(FixedVector)), 0) << what;
      // The stored vertices drop the two lowest bits of each coordinate.
      if (!(tp->flags & kPartCentreFromPoint)) {
        EXPECT_NEAR(bp->centre.x, tp->centre.x, 4) << what;
        EXPECT_NEAR(bp->centre.y, tp->centre.y, 4) << what;
        EXPECT_NEAR(bp->centre.z, tp->centre.z, 4) << what;
        EXPECT_NEAR(bp->radius, tp->radius, 8) << what;
      }
      ASSERT_EQ(bp->groupCount, tp->groupCount) << what;
      for (int32_t g = 0; g < tp->groupCount; ++g) {
        const FaceGroup& tg = tp->groups[g];
        const FaceGroup& bg = bp->groups[g];
        EXPECT_EQ(bg.material, tg.material) << what;
        EXPECT_EQ(bg.blended, tg.blended) << what;
        ASSERT_EQ(bg.triangleCount, tg.triangleCount) << what;
        for (int32_t k = 0; k < tg.triangleCount; ++k) {
          EXPECT_EQ(std::memcmp(bg.triangles[k].v, tg.triangles[k].v, sizeof tg.triangles[k].v), 0) << what;
          EXPECT_EQ(bg.triangles[k].flags, tg.triangles[k].flags) << what;
        }
        EXPECT_EQ(bg.boneRemap != nullptr, t->boneCount > 0) << what;
      }
    }
  }
}

TEST_F(BodyBinary, TextBodiesComeBackFromTheirBinaryFormAndWriteTheSameBytesAgain) {
  struct Case {
    const char* what;
    int32_t id;
    std::string text;
  };
  const Case kCases[] = {
      {"the demo cube", 1, bodytool::CubeBodyText()},
      {"the demo skiff (effect materials, bones, second coordinates, two meshes)", 2, bodytool::TwoPartBodyText()},
      {"a crate (kind 1, bones, a part without material, a centre point, two meshes)", 3, kCrateText},
      {"a tinted triangle (kind 2: transparency and blending)", 4, kTintedText},
  };
  for (const Case& c : kCases) {
    BodyRecord* text = world.ParseText(c.id, c.text);
    ASSERT_NE(text, nullptr) << c.what << " " << BodyFixture::fatalCode();
    const std::string first = Write(text);
    ASSERT_FALSE(first.empty()) << c.what;
    FreeBody(text);
    text = world.ParseText(c.id + 100, c.text);  // kept beside the binary body for comparing
    text->id = c.id;
    BodyRecord* binary = ReadBytes(c.id, first);
    ASSERT_NE(binary, nullptr) << c.what;
    EXPECT_EQ(B3D_FindBody(c.id), binary) << c.what;
    ExpectConverted(text, binary, c.what);
    EXPECT_EQ(Write(binary), first) << c.what;
    FreeBody(binary);
    text->id = c.id + 100;
    FreeBody(text);
  }
  EXPECT_TRUE(ListIsEmpty(&gEngine3D->loadedBodies));
}

TEST_F(BodyBinary, OlderMaterialKindsComeBackAsTheKindOfTheirChunk) {
  // Kind 5 is written under "MAT6": texture numbers become names that read back as the same
  // numbers (texture animation -3 too), and the entry gains the texture-name flag.
  BodyRecord* text = world.ParseText(5, kKind5Text);
  ASSERT_NE(text, nullptr);
  ASSERT_EQ(text->materialCount, 1);
  const BodyMaterial before = text->materials[0];
  const std::string bytes = Write(text);
  FreeBody(text);
  EXPECT_EQ(bytes.find("MAT6"), 16u) << "after BOB1 and VERS with its word";
  BodyRecord* body = ReadBytes(5, bytes);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->flags & kBodyOwnMaterials, kBodyOwnMaterials);
  const BodyMaterial& after = body->materials[0];
  EXPECT_EQ(before.flags & kMaterialTextureNames, 0u);
  EXPECT_EQ(after.flags, before.flags | kMaterialTextureNames);
  EXPECT_EQ(after.texture, 3);
  EXPECT_EQ(after.thirdTexture, -3);
  EXPECT_EQ(after.colors[4], 90);
  EXPECT_EQ(after.materialIndex, -1);
  FreeBody(body);

  // Kinds 1 and 2 go under "MAT3".
  text = world.ParseText(6, kTintedText);
  ASSERT_NE(text, nullptr);
  EXPECT_NE(Write(text).find("MAT3"), std::string::npos);
  FreeBody(text);
}

TEST_F(BodyBinary, EffectParametersKeepTheirSignBeyondTheFixedRangeAndTheirTexturesByName) {
  BodyRecord* text = world.ParseText(
      8,
      "MATERIAL6: 1; MPF_USEFXSHADER; 0; glow.fx; 4;\n"
      "  g_Far; SPTYPE_FLOAT; 40000.0;\n  g_Near; SPTYPE_FLOAT; -40000.0;\n  g_Fine; SPTYPE_FLOAT2; 0.5; -0.25;\n"
      "  t_DiffuseTexture; SPTYPE_STRING; glow_diff;\n"
      "BODIES: 10;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\nPARTS: 0; 0;1;2; -1; -99; 0; -99; 0;\n");
  ASSERT_NE(text, nullptr);
  const std::string bytes = Write(text);
  FreeBody(text);
  // A texture parameter is written as its texture's name, not as this run's texture number.
  EXPECT_NE(bytes.find(std::string("t_DiffuseTexture\0\0\x08glow_diff\0", 29)), std::string::npos);
  BodyRecord* body = ReadBytes(8, bytes);
  ASSERT_NE(body, nullptr);
  const EffectParamList* params = body->materials[0].params;
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(params->name, "glow");
  ASSERT_EQ(params->items.size(), 4u);
  EXPECT_EQ(params->items[3]->kind, kParamLong);
  EXPECT_STREQ(TextureNameOf(params->items[3]->value), "glow_diff");
  const auto floatOf = [](const EffectParamRecord* record) {
    float value;
    std::memcpy(&value, &record->value, sizeof value);
    return value;
  };
  EXPECT_EQ(floatOf(params->items[0]), 32768.0f);
  EXPECT_EQ(floatOf(params->items[1]), -32768.0f);
  EXPECT_EQ(params->items[2]->vec2[0], 0.5f);
  EXPECT_EQ(params->items[2]->vec2[1], -0.25f);
  FreeBody(body);
}

TEST_F(BodyBinary, WrittenFilesCarryEveryVertexAsMask1BAndNoStoredBounds) {
  // A body read with stored bounds and extra records is written without either.
  BodyRecord* stored = ReadBytes(9, Sample({{"meshFlags", kMeshSecondUv}, {"mask1", 0x1F}}));
  ASSERT_NE(stored, nullptr);
  ASSERT_NE(stored->meshes[0]->parts[0]->flags & kPartStoredBounds, 0u);
  ASSERT_NE(stored->meshes[0]->uv2, nullptr);
  const std::string bytes = Write(stored);
  FreeBody(stored);
  Bytes head;
  head.Tag("BOB1").Tag("NAME").Str("sample").Tag("/NAM").Tag("VERS").Int(1).Tag("/VER").Tag("MAT3").Int(1);
  EXPECT_EQ(bytes.substr(0, head.str().size()), head.str());
  const std::string points = Chunk(bytes, "POIN", "/POI");
  Bytes vertex;
  Vertex(&vertex, 1, kPointWrittenFields, 1, 0);
  // The second vertex, after the chunk id, the count and the 38 bytes of the first: its second
  // coordinates are left out.
  const std::string second = points.substr(8 + 38, 38);
  EXPECT_EQ(second.substr(0, 2), std::string("\0\x1B", 2));
  EXPECT_EQ(second, vertex.str());

  BodyRecord* again = ReadBytes(9, bytes);
  ASSERT_NE(again, nullptr);
  const BodyMesh* mesh = again->meshes[0];
  EXPECT_EQ(mesh->flags & kMeshSecondUv, 0u);
  EXPECT_EQ(mesh->uv2, nullptr);
  EXPECT_EQ(mesh->parts[0]->flags & kPartStoredBounds, 0u);
  EXPECT_EQ(mesh->parts[0]->groups[0].extraCount, 0);
  EXPECT_EQ(mesh->parts[0]->groups[0].triangles[0].flags, 0x1234);
  FreeBody(again);
}

TEST_F(BodyBinary, OutputNameIsTheIdOrTheBodyDataRowsFileName) {
  ASSERT_TRUE(AllocBodyDataTable());
  SetBodyDataName(7, "skiff");
  BodyRecord* body = world.ParseText(1, bodytool::CubeBodyText());
  ASSERT_NE(body, nullptr);
  struct Case {
    int32_t id;
    const char* file;
  };
  const Case kCases[] = {
      {42, "vc/00042.bob"},
      {7, "vc/skiff.bob"},
      {9007, "vc/skiff.bob"},  // the same row
      {123456, "vc/123456.bob"},
  };
  for (const Case& c : kCases) {
    body->id = c.id;
    EXPECT_EQ(WriteBodyBinary(body), 1) << c.file;
    EXPECT_TRUE(std::filesystem::exists(dir.File(c.file))) << c.file;
    EXPECT_FALSE(std::filesystem::exists(dir.File(std::string(c.file) + ".tmp"))) << c.file;
  }
  body->id = 1;
  FreeBody(body);
  FreeBodyDataTable();
}

TEST_F(BodyBinary, AFailedWriteAnswers0AndKeepsTheEarlierFile) {
  BodyRecord* cube = world.ParseText(1, bodytool::CubeBodyText());
  ASSERT_NE(cube, nullptr);
  const std::string good = Write(cube);
  ASSERT_FALSE(good.empty());
  FreeBody(cube);
  BodyRecord* skiff = world.ParseText(1, bodytool::TwoPartBodyText());
  ASSERT_NE(skiff, nullptr);

  // The output cannot be opened.
  const std::string missing = dir.File("no/such/folder/%s");
  product.voiceTemplate = missing.c_str();
  EXPECT_EQ(WriteBodyBinary(skiff), 0);
  product.voiceTemplate = folderFormat.c_str();

  // The file system takes only the first bytes: the write fails when the file is closed.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int32_t written = WriteBodyBinary(skiff);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(dir.Read(FileOf(1)), good);
  EXPECT_FALSE(std::filesystem::exists(dir.File(FileOf(1) + ".tmp")));
  FreeBody(skiff);
}

TEST_F(BodyBinary, VertexFieldsFollowTheirMask) {
  // Mask 4 counts only inside mask 2: the first vertex carries no coordinates of either kind.
  BodyRecord* body = ReadBytes(9, Sample({{"mask0", kPointPosition | kPointSecondUv},
                                          {"mask1", kPointPosition | kPointUv | kPointSecondUv | kPointSmoothing},
                                          {"mask2", kPointPosition | kPointUv | kPointNormal}}));
  ASSERT_NE(body, nullptr);
  const BodyMesh* mesh = body->meshes[0];
  EXPECT_EQ(mesh->flags & kMeshSecondUv, kMeshSecondUv);
  ASSERT_NE(mesh->uv2, nullptr);
  EXPECT_EQ(mesh->uv2[0], 0);
  EXPECT_EQ(mesh->uv2[2], 0xC000);
  EXPECT_EQ(mesh->uv2[3], 0x2000);
  EXPECT_EQ(mesh->uv2[4], 0);
  EXPECT_EQ(mesh->vertices[1].x, 16384);
  EXPECT_EQ(mesh->vertices[1].u, 0x4000);
  EXPECT_EQ(mesh->vertices[1].smoothing, 8u);
  EXPECT_EQ(mesh->vertices[2].y, 16384);
  EXPECT_EQ(mesh->vertices[2].v, 0x8000);
  // The vertices without a normal take their triangle's (counter-clockwise in the xy plane: +z);
  // the smoothed one weighted by its corner's angle, 45 degrees being 8192 of the 16-bit angle.
  EXPECT_EQ(mesh->vertices[0].nz, 16384);
  EXPECT_EQ(mesh->vertices[1].nz, 8192 >> 2);
  EXPECT_EQ(mesh->vertices[1].nx, 0);
  EXPECT_EQ(mesh->vertices[2].nz, 16384);
  FreeBody(body);

  // Mask 4 alone everywhere: no array, and the file's flag for one does not stand.
  body = ReadBytes(9, Sample({{"meshFlags", kMeshSecondUv | 0x100},
                              {"mask0", kPointPosition | kPointSecondUv},
                              {"mask1", kPointPosition | kPointSecondUv},
                              {"mask2", kPointPosition | kPointSecondUv}}));
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->meshes[0]->uv2, nullptr);
  EXPECT_EQ(body->meshes[0]->flags, 0x100u);
  FreeBody(body);
}

TEST_F(BodyBinary, PartsCarryStoredBoundsAndExtraRecordsOnlyWithTheirFlag) {
  BodyRecord* body = ReadBytes(9, Sample());
  ASSERT_NE(body, nullptr);
  const BodyPart* part = body->meshes[0]->parts[0];
  EXPECT_EQ(part->flags & kPartStoredBounds, kPartStoredBounds);
  const FaceGroup& group = part->groups[0];
  ASSERT_EQ(group.extraCount, 2);
  EXPECT_EQ(group.extras[1].word, 51);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(group.extras[1].values[k], 0x1000 * k) << k;  // 0.25 k, shifted by 2
  EXPECT_EQ(part->centre.x, 1 << 16);
  EXPECT_EQ(part->centre.z, 3 << 16);
  EXPECT_EQ(part->radius, 4 << 16);
  EXPECT_EQ(part->boundsCentre.x, 5 << 16);
  EXPECT_EQ(part->boundsHalf.z, 10 << 16);
  EXPECT_EQ(body->meshes[0]->bounds[0], (5 << 16) + (8 << 16));
  FreeBody(body);

  // Without the flag the file has neither, and the centre and bounds come from the corners
  // (0,0), (1,0), (0,1): in world units of 4, the bounds centre is (2, 2, 0) x 0.5.
  body = ReadBytes(9, Sample({{"partFlags", 0}}));
  ASSERT_NE(body, nullptr);
  part = body->meshes[0]->parts[0];
  EXPECT_EQ(part->groups[0].extraCount, 0);
  EXPECT_EQ(part->groups[0].extras, nullptr);
  EXPECT_EQ(part->centre.x, 65536 / 3);
  EXPECT_EQ(part->centre.y, 65536 / 3);
  EXPECT_EQ(part->radius, 65536 - 65536 / 3);
  EXPECT_EQ(part->boundsCentre.x, 32768);
  EXPECT_EQ(part->boundsHalf.y, 32768);
  EXPECT_EQ(part->boundsHalf.z, 0);
  EXPECT_EQ(body->meshes[0]->bounds[0], 65536);
  FreeBody(body);
}

TEST_F(BodyBinary, BlendedGroupsAndNegativeMaterialsSetThePartFlags) {
  struct Case {
    const char* what;
    int64_t material;
    int32_t blended;
    uint32_t partFlags;
  };
  // Material-table record 2 blends, record 1 does not; -1 is no material.
  const Case kCases[] = {
      {"a blended material", 2, 1, kPartAllBlended},
      {"a plain material", 1, 0, 0},
      {"no material", -1, 0, kPartAllBlended | kPartNegativeMaterial},
  };
  for (const Case& c : kCases) {
    BodyRecord* body = ReadBytes(9, Sample({{"partFlags", 0}, {"material", c.material}}));
    ASSERT_NE(body, nullptr) << c.what;
    const BodyPart* part = body->meshes[0]->parts[0];
    EXPECT_EQ(part->groups[0].blended, c.blended) << c.what;
    EXPECT_EQ(part->flags, c.partFlags) << c.what;
    FreeBody(body);
  }
}

TEST_F(BodyBinary, BoneTablesNumberTheUsedBonesOfEachGroupInBoneOrder) {
  Bytes b;
  b.Tag("BOB1").Tag("BODY").Short(1).Int(1).Int(0);
  b.Tag("BONE").Int(3).Str("a").Str("b").Str("c").Tag("/BON");
  b.Tag("POIN").Int(4);
  const double xy[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  for (int i = 0; i < 4; ++i) Vertex(&b, i, kPointPosition | kPointNormal, xy[i][0], xy[i][1]);
  b.Tag("/POI");
  // Vertex 2's weight on bone 1 is 0 and does not count.
  b.Tag("WEIG").Int(4);
  b.Short(1).Short(2).Fixed(1.0);
  b.Short(2).Short(0).Fixed(0.5).Short(2).Fixed(0.5);
  b.Short(1).Short(1).Fixed(0.0);
  b.Short(1).Short(1).Fixed(1.0);
  b.Tag("/WEI");
  b.Tag("PART").Int(1).Int(0).Short(2);
  b.Int(1).Int(1).Int(0).Int(1).Int(2).Int(0);
  b.Int(1).Int(1).Int(2).Int(3).Int(0).Int(0);
  b.Tag("/PAR").Tag("/BOD").Tag("/BOB");
  BodyRecord* body = ReadBytes(9, b.str());
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->flags & kBodyBoneWeights, kBodyBoneWeights);
  const BodyMesh* mesh = body->meshes[0];
  EXPECT_EQ(mesh->maxWeightsPerVertex, 2);
  struct Case {
    int32_t used;
    int32_t remap[3];
  };
  const Case kCases[] = {{2, {0, -1, 1}}, {2, {-1, 0, 1}}};
  for (int g = 0; g < 2; ++g) {
    const FaceGroup& group = mesh->parts[0]->groups[g];
    EXPECT_EQ(group.usedBoneCount, kCases[g].used) << g;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(group.boneRemap[k], kCases[g].remap[k]) << g << " bone " << k;
  }
  // Freeing gives back the tables at their full size.
  FreeBody(body);
  const uint32_t before = gMemCounters.categoryBytes[kMemCatEngine3D];
  body = ReadBytes(9, b.str());
  ASSERT_NE(body, nullptr);
  FreeBody(body);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatEngine3D], before);
}

TEST_F(BodyBinary, MalformedFilesGiveNullWithoutReadingOrAllocatingPastTheData) {
  const std::string base = Sample();
  // The sample reads, and the table below changes one thing each.
  BodyRecord* sound = ReadBytes(9, base);
  ASSERT_NE(sound, nullptr);
  FreeBody(sound);
  std::string twoBodies = InsertBefore(base, "/BOB", Chunk(base, "BODY", "/BOD"));
  // More parts than a mesh's 16-bit part count can say, each of them empty.
  Bytes manyParts;
  manyParts.Tag("BOB1").Tag("BODY").Short(1).Int(1).Int(0).Tag("POIN").Int(0).Tag("/POI").Tag("PART").Int(0x8000);
  for (int p = 0; p < 0x8000; ++p) manyParts.Int(0).Short(0);
  manyParts.Tag("/PAR").Tag("/BOD").Tag("/BOB");
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case kCases[] = {
      {"no BOB1 first", Replace(base, "BOB1", "DATA")},
      {"an unknown chunk", InsertBefore(base, "BODY", Bytes().Tag("ZZZZ").Int(1).Tag("/ZZZ").str())},
      {"a chunk binary bodies do not have", InsertBefore(base, "BODY", Bytes().Tag("FLAG").Int(1).Tag("/FLA").str())},
      {"MAT1", Replace(base, "MAT3", "MAT1")},
      {"MAT2", Replace(base, "MAT3", "MAT2")},
      {"a missing POIN", EraseChunk(base, "POIN", "/POI")},
      {"a missing PART", EraseChunk(base, "PART", "/PAR")},
      {"a wrong end id", Replace(base, "/POI", "/PAR")},
      {"a chunk's end id missing", Replace(base, "/NAM", "VERS")},
      {"the body's end id missing", base.substr(0, base.size() - 4)},
      {"a second BODY", twoBodies},
      {"a second material table", InsertBefore(base, "BODY", Chunk(base, "MAT3", "/MAT"))},
      {"a mesh's chunk outside a mesh", InsertBefore(base, "BODY", Bytes().Tag("POIN").Int(0).Tag("/POI").str())},
      {"a triangle corner past the vertices", Sample({{"corner", 3}})},
      {"a negative triangle corner", Sample({{"corner", -1}})},
      {"a weight's bone past the bones", Sample({{"bone", 2}})},
      {"a negative bone", Sample({{"bone", -1}})},
      {"more meshes than bytes", Sample({{"meshes", 0x7FFF}})},
      {"a negative mesh count", Sample({{"meshes", -1}})},
      {"more bones than bytes", Sample({{"bones", 0x7FFFFFFF}})},
      {"more vertices than bytes", Sample({{"vertices", 0x7FFFFFFF}})},
      {"a negative vertex count", Sample({{"vertices", -3}})},
      {"more weight pairs than bytes", Sample({{"pairs", 0x7FFF}})},
      {"a negative pair count", Sample({{"pairs", -1}})},
      {"more parts than bytes", Sample({{"parts", 0x7FFFFFFF}})},
      {"more groups than bytes", Sample({{"groups", 0x7FFF}})},
      {"more parts than a mesh can count", manyParts.str()},
      {"more triangles than bytes", Sample({{"triangles", 0x10000000}})},
      {"more extra records than bytes", Sample({{"extras", 0x7FFFFFFF}})},
      {"more materials than bytes", Sample({{"materials", 0x7FFFFFFF}})},
      {"a negative material count", Sample({{"materials", -1}})},
  };
  for (const Case& c : kCases) {
    BodyFixture::ClearFatal();
    const uint32_t before = MemGetCurrentBytes();
    EXPECT_EQ(ReadBytes(9, c.bytes), nullptr) << c.what;
    EXPECT_EQ(BodyFixture::fatalCode(), 0u) << c.what;
    EXPECT_EQ(MemGetCurrentBytes(), before) << c.what;
    EXPECT_EQ(B3D_FindBody(9), nullptr) << c.what;
  }
  EXPECT_TRUE(ListIsEmpty(&gEngine3D->loadedBodies));
}

TEST_F(BodyBinary, EveryCutShortFileGivesNull) {
  BodyRecord* text = world.ParseText(2, bodytool::TwoPartBodyText());
  ASSERT_NE(text, nullptr);
  const std::string bytes = Write(text);
  FreeBody(text);
  ASSERT_FALSE(bytes.empty());
  for (size_t length = 0; length < bytes.size(); ++length) {
    ASSERT_EQ(ReadBytes(2, bytes.substr(0, length)), nullptr) << length;
  }
  EXPECT_EQ(BodyFixture::fatalCode(), 0u);
  // A reader that does not know where its data ends cannot check a count: it reads nothing.
  std::vector<char> buffer(bytes.begin(), bytes.end());
  DataReader reader;
  DataReaderInit(&reader, buffer.data(), true);
  EXPECT_EQ(ReadBodyBinary(2, &reader), nullptr);
}

TEST_F(BodyBinary, AFailedAllocationEndsThroughTheFatalSeamWithTheMemoryCode) {
  const std::string bytes = Sample();
  OsFailNextHeapRequests(2);  // the request and its retry after the low-memory hook
  EXPECT_EQ(ReadBytes(42, bytes), nullptr);
  OsFailNextHeapRequests(0);
  EXPECT_EQ(BodyFixture::fatalCode(), kBodyExitMemory);
  EXPECT_EQ(BodyFixture::fatalFile(), "objects\\v\\00042");
}

}  // namespace
