// The material table: reads the "Materials" type file into one record per fixed texture id, names
// and flags those ids in the texture table, and matches a text body's colours to the closest
// record. Called once at start-up by the skins-and-icons step and by the text body reader; it
// never loads an image.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data_reader.h"
#include "core/memory.h"
#include "core/type_files.h"
#include "render/material_table.h"
#include "render/pixel_formats.h"

MaterialRecord* gMaterialTable = nullptr;
int16_t gMaterialCount = 0;

namespace {

constexpr const char* kMaterialsFile = "Materials";
constexpr uint32_t kMaterialMemFlags = MemCategoryFlags(kMemCatMaterial);
constexpr uint32_t kBodyTransparentFlag = 0x4;
constexpr double kScoreNoMatch = 2147483647.0;
constexpr double kDistanceScale = 3.0517578125e-6;

const DataKeyword kSpecularRed[] = {{"HSPEC_R", 255}, {"MSPEC_R", 76}, {"LSPEC_R", 0},   {"HMETL_R", 200},
                                    {"MMETL_R", 138}, {"LMETL_R", 76}, {"HIH_COL", 192}, {"LOW_COL", 64},
                                    {"", 0}};
const DataKeyword kSpecularGreen[] = {{"HSPEC_R", 255}, {"MSPEC_R", 76},  {"LSPEC_R", 0},   {"HSPEC_G", 255},
                                      {"MSPEC_G", 76},  {"LSPEC_G", 0},   {"HMETL_G", 200}, {"MMETL_G", 138},
                                      {"LMETL_G", 76},  {"HIH_COL", 192}, {"LOW_COL", 64},  {"", 0}};
const DataKeyword kSpecularBlue[] = {{"HSPEC_R", 255}, {"MSPEC_R", 76},  {"LSPEC_R", 0},   {"HSPEC_B", 204},
                                     {"MSPEC_B", 61},  {"LSPEC_B", 0},   {"HMETL_B", 200}, {"MMETL_B", 138},
                                     {"LMETL_B", 76},  {"HIH_COL", 192}, {"LOW_COL", 64},  {"", 0}};
const DataKeyword kAmbient[] = {{"HAMB", 64}, {"MAMB", 37}, {"LAMB", 21}, {"AMBC", 32}, {"", 0}};
const DataKeyword kDiffuse[] = {{"DIF_COL", 32}, {"", 0}};
const DataKeyword kTransparency[] = {{"TRANSP_NONE", 255}, {"", 0}};
const DataKeyword kShininess[] = {{"LSHINY", 255}, {"MSHINY", 127}, {"HSHINY", 0}, {"", 0}};
const DataKeyword kMaterialFlags[] = {
    {"MPF_NULL", MPF_NULL},
    {"MPF_ALPHATEST", MPF_ALPHATEST},
    {"MPF_DESTINATIONBLEND", MPF_DESTINATIONBLEND},
    {"MPF_ALPHABLEND", MPF_ALPHABLEND},
    {"MPF_WIREFRAME", MPF_WIREFRAME},
    {"MPF_2SIDED", MPF_2SIDED},
    {"MPF_TEXTURE_NOTSWAPABLE", MPF_TEXTURE_NOTSWAPABLE},
    {"MPF_MULTIPLY2X", MPF_MULTIPLY2X},
    {"MPF_MULTIPLY", MPF_MULTIPLY},
    {"MPF_NOFILTERING", MPF_NOFILTERING},
    {"MPF_SRCCOLOR", MPF_SRCCOLOR},
    {"MPF_ENVMAP", MPF_ENVMAP},
    {"MPF_BUMPMAP", MPF_BUMPMAP},
    {"MPF_LIGHTMAP", MPF_LIGHTMAP},
    {"MPF_BESTQUALITY", MPF_BESTQUALITY},
    {"MPF_FONTSCALE", MPF_FONTSCALE},
    {"MPF_READABLE", MPF_READABLE},
    {"MPF_WRITEABLE", MPF_WRITEABLE},
    {"MPF_AUTOFREE", MPF_AUTOFREE},
    {"MPF_RADIOSITY", MPF_RADIOSITY},
    {"MPF_TEXTUREALPHA", MPF_TEXTUREALPHA},
    {"MPF_IMPORTPICTURE", MPF_IMPORTPICTURE},
    {"MPF_GENERATED", MPF_GENERATED},
    {"MPF_NOCOMPRESS", static_cast<int32_t>(MPF_NOCOMPRESS)},
    {"MPF_USEFXSHADER", static_cast<int32_t>(MPF_USEFXSHADER)},
    {"MPF_HAZE", static_cast<int32_t>(MPF_HAZE)},
    {"", 0},
};

void ReadColour(DataReader* reader, uint8_t out[3], const DataKeyword* r, const DataKeyword* g, const DataKeyword* b) {
  out[0] = ReadByteEnum(reader, r);
  out[1] = ReadByteEnum(reader, g);
  out[2] = ReadByteEnum(reader, b);
}

void ReadRecord(DataReader* reader, int32_t index) {
  MaterialRecord& m = gMaterialTable[index];
  m.value0 = static_cast<uint8_t>(ReadByteEnum(reader, nullptr));
  m.value1 = static_cast<uint8_t>(ReadByteEnum(reader, nullptr));
  m.value2 = ReadByteEnum(reader, nullptr);
  ReadColour(reader, m.specular, kSpecularRed, kSpecularGreen, kSpecularBlue);
  ReadColour(reader, m.ambient, kAmbient, kAmbient, kAmbient);
  ReadColour(reader, m.diffuse, kDiffuse, kDiffuse, kDiffuse);
  m.textureNumber = ReadShort(reader);
  m.transparency = ReadByteEnum(reader, kTransparency);
  (void)ReadShort(reader);  // a word no reader uses
  m.flags = ReadEnumWord(reader, kMaterialFlags, 0);
  m.width = static_cast<int16_t>(ReadShort(reader));
  m.height = static_cast<int16_t>(ReadShort(reader));
  for (int16_t& v : m.values345) v = static_cast<int16_t>(ReadShort(reader));
  m.shininess = static_cast<int16_t>(ReadShortEnum(reader, kShininess));
  m.value6 = static_cast<int16_t>(ReadShortEnum(reader, nullptr));
  m.value7 = static_cast<int16_t>(ReadShortEnum(reader, nullptr));
  m.value8 = static_cast<int16_t>(ReadShort(reader));
  m.value9 = static_cast<int16_t>(ReadShortEnum(reader, nullptr));
  m.value10 = static_cast<int16_t>(ReadShort(reader));
  m.value11 = static_cast<int16_t>(ReadShortEnum(reader, nullptr));
  const std::string name = ReadString(reader);
  if (reader->error) return;
  SetTextureName(index, name.c_str());
  SetTextureFlags(index, m.flags);
}

// 8-bit components widened to 16 bits (c * 257) and converted to HSV.
void ToHsv(const uint8_t rgb[3], int32_t hsv[3]) {
  const int32_t wide[3] = {rgb[0] * 257, rgb[1] * 257, rgb[2] * 257};
  RgbToHsv(wide, hsv);
}

}  // namespace

const DataKeyword* const kMaterialFlagNames = kMaterialFlags;

void ReadMaterialSection(DataReader* reader) {
  FreeTextureTables();
  FreeMaterialTable();
  const int32_t count = ReadInt(reader);
  // A count the 16-bit id range cannot hold is a broken file, not a table.
  const int32_t kept = reader->error || count < 0 || count > INT16_MAX ? 0 : count;
  gMaterialCount = static_cast<int16_t>(kept);
  gTextureFixedCount = static_cast<int16_t>(kept);
  gTextureAddedCount = 0;
  if (kept == 0) return;
  if (AllocTextureTable()) return;
  const size_t bytes = sizeof(MaterialRecord) * static_cast<size_t>(kept);
  gMaterialTable = static_cast<MaterialRecord*>(MemAlloc(bytes, kMaterialMemFlags));
  if (!gMaterialTable) {
    FreeTextureTables();
    gMaterialCount = 0;
    gTextureFixedCount = 0;
    return;
  }
  std::memset(gMaterialTable, 0, bytes);
  for (int32_t i = 0; i < kept && !reader->error; ++i) ReadRecord(reader, i);
}

void ReadMaterials() {
  DataReader* reader = OpenTypeFile(kMaterialsFile, nullptr, 0);
  if (!reader) return;
  ReadMaterialSection(reader);
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
}

void FreeMaterialTable() {
  if (!gMaterialTable) return;
  MemFree(gMaterialTable, sizeof(MaterialRecord) * static_cast<size_t>(gMaterialCount), kMaterialMemFlags);
  gMaterialTable = nullptr;
}

int32_t ColorDistance(const uint8_t a[3], const uint8_t b[3]) {
  int32_t ha[3];
  int32_t hb[3];
  ToHsv(a, ha);
  ToHsv(b, hb);
  // Hue does not wrap: 350 and 10 degrees stand 340 degrees apart.
  return std::abs(hb[1] - ha[1]) + 2 * std::abs(hb[2] - ha[2]) + std::abs(hb[0] - ha[0]) / 180;
}

int16_t FindClosestMaterial(BodyColourMaterial* m) {
  const int32_t t = m->transparency;
  if ((100 - t) * 255 / 100 < 255) m->flags |= kBodyTransparentFlag;
  if (!gMaterialTable || gMaterialCount <= 0) return 0;
  uint8_t specular[3];
  uint8_t diffuse[3];
  uint8_t ambient[3];
  for (int c = 0; c < 3; ++c) {
    specular[c] = static_cast<uint8_t>(m->specular[c]);
    diffuse[c] = static_cast<uint8_t>(m->diffuse[c]);
    ambient[c] = static_cast<uint8_t>(m->ambient[c]);
  }
  int16_t best = 0;
  double bestScore = 0.0;
  for (int32_t i = 0; i < gMaterialCount; ++i) {
    const MaterialRecord& r = gMaterialTable[i];
    double score = kScoreNoMatch;
    if (r.textureNumber == m->textureNumber) {
      const int32_t a = std::abs(r.transparency + (t - 100) * 255 / 100);
      // The transparency term divides as integers first: it counts only a full 255 apart.
      score = ColorDistance(specular, r.specular) * kDistanceScale + (a / 255) * 5.0 +
              ColorDistance(diffuse, r.diffuse) * kDistanceScale * 3.0 +
              2.0 * ColorDistance(ambient, r.ambient) * kDistanceScale;
    }
    if (i == 0 || score < bestScore) {
      best = static_cast<int16_t>(i);
      bestScore = score;
    }
  }
  return best;
}
