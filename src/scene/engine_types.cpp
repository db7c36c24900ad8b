// The loaders of the scene engine's eight type files (see engine_types.h). Every loader opens its
// file with OpenTypeFile, reads record by record and stops at the first record the data cannot
// complete. Counts read from a file are checked against the data still unread before they size
// anything: a negative count, or one the rest of the file cannot hold, ends that file with what
// was read. A record is stored only once all its fields were read.
#include "scene/engine_types.h"

#include <cstring>
#include <string>

#include "core/memory.h"
#include "core/type_files.h"
#include "render/texture_table.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "scene/scene.h"

const DataKeyword kParticleKindFlagNames[] = {{"NULL", 0}, {"PEDF_2D", 1}, {"PEDF_TRAIL", 2}, {"", 0}};
const DataKeyword kIconTableNames[] = {{"ICONTYPE_GUI", 0},    {"ICONTYPE_QMEXTRA", 1}, {"ICONTYPE_GUI2", 2},
                                       {"ICONTYPE_HUD", 3},    {"ICONTYPE_WEAPON", 4},  {"", 0}};
const DataKeyword kNullKeyword[] = {{"NULL", 0}, {"", 0}};

const DataSectionRow kParticleFieldTable[kParticleFieldCount] = {
    {"", "", "", "", 0},
    {"", "", "", "", 1},
    {"Life time variation", "LTVR", "", "lifetimevariation:", 2},
    {"Spread x", "SPRX", "", "spreadx:", 3},
    {"Spread y", "SPRY", "", "spready:", 4},
    {"Grow duration", "GROW", "", "growduration:", 5},
    {"Fade duration", "FADE", "", "fadeduration:", 6},
    {"Rotation speed", "ROTS", "", "rotspeed:", 7},
    {"Random rotation speed", "RROT", "", "randomrotspeed:", 8},
    {"", "", "", "", 9},
};

namespace {

constexpr int32_t kLightTypeRows = kLightTypeCount;
constexpr int32_t kParticleSlotTypeWord = 0;  // the slot's type word among the row's two words

// The smallest number of bytes a field takes: a word in binary form, a digit and ";" in text form;
// a string at least its terminator or ";".
struct FieldCounts {
  uint32_t numbers;
  uint32_t strings;
};

size_t Remaining(const DataReader* reader) {
  if (!reader->limit) return SIZE_MAX;
  return reader->cursor < reader->limit ? static_cast<size_t>(reader->limit - reader->cursor) : 0;
}

// Whether `count` records of the given fields can still follow in the data.
bool CountFits(const DataReader* reader, int32_t count, FieldCounts fields) {
  if (count < 0) return false;
  const size_t each = fields.numbers * (reader->binary ? 4u : 2u) + fields.strings;
  if (each == 0) return true;
  return static_cast<size_t>(count) <= Remaining(reader) / each;
}

void CloseTypeFile(DataReader* reader) {
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
}

// A texture field: its name resolved into the 16-bit texture id, stored sign-extended.
int32_t ReadTexture(DataReader* reader) {
  const std::string name = ReadString(reader);
  if (reader->error) return 0;
  return FindTextureByName(name.c_str(), 0);
}

template <typename Item>
Item* AllocItems(int32_t count, uint32_t nominalBytes) {
  return static_cast<Item*>(
      EngineAlloc(sizeof(Item) * static_cast<size_t>(count), static_cast<uint32_t>(count) * nominalBytes));
}

void ResetBodyRow(BodyDataRow* row) {
  row->value0 = -2;
  row->value1 = -2;
  row->value2 = -1;
  row->fileName = FreeString(row->fileName);
  row->loaded = 0;
  row->useCount = 0;
}

// One Particles3 record into its 32 words.
void ReadParticleKind(DataReader* reader, ParticleKind* kind) {
  int32_t* w = kind->words;
  w[5] = static_cast<int32_t>(ReadEnumWord(reader, kParticleKindFlagNames, 0));
  w[0] = ReadTexture(reader);
  for (int i = 1; i <= 4; ++i) w[i] = ReadFixed(reader);
  w[16] = ReadFixed(reader);
  w[17] = ReadFixed(reader);
  for (int i = 12; i <= 14; ++i) w[i] = ReadFixed(reader);
  for (int i = 18; i <= 22; ++i) w[i] = ReadInt(reader);
  // Named fields follow until something else does; what follows is then read as the next field.
  for (;;) {
    if (reader->error) return;
    uint8_t* at = DataReaderGetCursor(reader);
    const int32_t row = DataReaderNextSection(reader, kParticleFieldCount);
    if (row < 2 || row > 8) {
      reader->error = 0;
      DataReaderSetCursor(reader, at);
      return;
    }
    switch (row) {
      case 2: w[23] = ReadInt(reader); break;
      case 3: w[24] = ReadFixed(reader); break;
      case 4: w[25] = ReadFixed(reader); break;
      case 5: w[26] = ReadInt(reader); break;
      case 6: w[27] = ReadInt(reader); break;
      case 7: w[28] = ReadFixed(reader); break;
      default: w[29] = ReadFixed(reader); break;
    }
  }
}

void FreeParticleSlot(ParticleTypeRow* row) {
  if (row->kinds) EngineFree(row->kinds, static_cast<uint32_t>(row->kindCount) * kParticleKindNominalBytes);
  row->kinds = nullptr;
  row->kindCount = 0;
}

void FreeIconSet(IconSet* set) {
  if (set->icons) EngineFree(set->icons, static_cast<uint32_t>(set->iconCount) * kIconRecordNominalBytes);
  set->icons = nullptr;
  set->iconCount = 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void LoadBodyData() {
  EngineState3D* e = gEngine3D;
  if (!e || !e->bodyDataRows) return;
  for (int32_t i = 0; i < e->bodyDataFixedRows + e->bodyDataAddedRows; ++i) ResetBodyRow(&e->bodyDataRows[i]);
  DataReader* reader = OpenTypeFile("BodyData", nullptr, 0);
  if (!reader) return;
  const int32_t count = ReadEnum(nullptr, reader);
  for (int32_t k = 0; k < count && !reader->error; ++k) {
    const int32_t id = ReadEnum(nullptr, reader);
    const int32_t w0 = ReadInt(reader);
    const int32_t w1 = ReadInt(reader);
    const int32_t w2 = ReadInt(reader);
    const std::string name = ReadString(reader);
    if (reader->error) break;
    const int32_t index = BodyDataRowIndex(id);
    if (index < 0) continue;
    BodyDataRow& row = e->bodyDataRows[index];
    row.value0 = w0;
    row.value1 = w1;
    row.value2 = w2;
    row.useCount = 0;
    SetBodyDataName(id, name.c_str());
  }
  CloseTypeFile(reader);
}

void LoadCutData() {
  EngineState3D* e = gEngine3D;
  if (!e || !e->cutDataRows) return;
  for (int32_t i = 0; i < e->cutDataFixedRows + e->cutDataAddedRows; ++i) {
    e->cutDataRows[i].fileName = FreeString(e->cutDataRows[i].fileName);
    e->cutDataRows[i].missing = 0;
  }
  DataReader* reader = OpenTypeFile("CutData", nullptr, 0);
  if (!reader) return;
  const int32_t count = ReadEnum(nullptr, reader);
  for (int32_t k = 0; k < count && !reader->error; ++k) {
    const int32_t id = ReadEnum(nullptr, reader);
    const std::string name = ReadString(reader);
    if (reader->error) break;
    SetCutDataName(id, name.c_str());
  }
  CloseTypeFile(reader);
}

void SetDefaultLightTypes() {
  if (!gEngine3D) return;
  for (int32_t i = 0; i < kLightTypeRows; ++i) {
    LightTypeRecord& row = gEngine3D->lightTypes[i];
    row = LightTypeRecord{};
    row.kind = kLightKindDirectional;
    row.red = static_cast<int16_t>(i / 100 % 10 * 255 / 9);
    row.green = static_cast<int16_t>(i / 10 % 10 * 255 / 9);
    row.blue = static_cast<int16_t>(i % 10 * 255 / 9);
  }
}

bool LoadLightTypes() {
  if (!gEngine3D) return false;
  SetDefaultLightTypes();
  DataReader* reader = OpenTypeFile("LightTypes", nullptr, 0);
  if (!reader) return true;
  bool ok = true;
  ReadInt(reader);  // a record count no reader needs
  while (!reader->error) {
    const int32_t index = ReadInt(reader);
    if (reader->error) break;  // the data ended between records
    if (index < 0 || index >= kLightTypeRows) {
      ok = false;
      break;
    }
    LightTypeRecord row{};
    row.kind = static_cast<int16_t>(ReadInt(reader));
    row.red = static_cast<int16_t>(ReadInt(reader));
    row.green = static_cast<int16_t>(ReadInt(reader));
    row.blue = static_cast<int16_t>(ReadInt(reader));
    row.secondValue = ReadInt(reader);
    row.parameter = ReadInt(reader);
    row.words[0] = ReadInt(reader);
    row.words[1] = ReadInt(reader);
    if (reader->error) break;
    gEngine3D->lightTypes[index] = row;
  }
  CloseTypeFile(reader);
  return ok;
}

bool LoadParticles3() {
  if (!gEngine3D) return false;
  for (ParticleTypeRow& row : gEngine3D->particleTypes) {
    FreeParticleSlot(&row);
    row.words[kParticleSlotTypeWord] = 0;
  }
  DataReader* reader = OpenTypeFile("Particles3", kParticleFieldTable, kParticleFieldCount);
  if (!reader) return true;
  bool ok = true;
  ReadInt(reader);  // a record count no reader needs
  while (!reader->error) {
    const int32_t slot = ReadInt(reader);
    if (reader->error) break;
    if (slot < 0 || slot >= kParticleTypeCount) {
      ok = false;
      break;
    }
    const int32_t count = ReadInt(reader);
    const int32_t type = ReadEnum(kNullKeyword, reader);
    if (reader->error) break;
    // Every record holds at least its 20 plain numbers and its texture name.
    if (!CountFits(reader, count, {20, 1})) {
      ok = false;
      break;
    }
    ParticleTypeRow& row = gEngine3D->particleTypes[slot];
    FreeParticleSlot(&row);
    row.words[kParticleSlotTypeWord] = type;
    ParticleKind* kinds = count ? AllocItems<ParticleKind>(count, kParticleKindNominalBytes) : nullptr;
    for (int32_t k = 0; k < count && !reader->error; ++k) {
      ParticleKind kind{};
      ReadParticleKind(reader, &kind);
      if (kinds) kinds[k] = kind;
    }
    // Without memory the slot stays empty; its records were read past all the same.
    if (kinds) {
      row.kinds = kinds;
      row.kindCount = count;
    }
  }
  CloseTypeFile(reader);
  return ok;
}

void LoadLensflares(EngineState3D* engine) {
  if (!engine || engine != gEngine3D) return;
  FreeLensflareTable();
  DataReader* reader = OpenTypeFile("Lensflares", nullptr, 0);
  if (!reader) return;
  const int32_t count = ReadEnum(nullptr, reader);
  if (!reader->error && count != 0 && CountFits(reader, count, {1, 0})) {
    engine->lensFlareTypes = AllocItems<LensflareRow>(count, kLensflareRowNominalBytes);
    if (engine->lensFlareTypes) engine->lensFlareTypeCount = count;
    for (int32_t f = 0; f < count && !reader->error; ++f) {
      const int32_t elements = ReadEnum(nullptr, reader);
      if (reader->error || !CountFits(reader, elements, {4, 1})) break;
      LensflareElement* array =
          elements && engine->lensFlareTypes ? AllocItems<LensflareElement>(elements, kLensflareElementNominalBytes)
                                             : nullptr;
      for (int32_t k = 0; k < elements && !reader->error; ++k) {
        LensflareElement element{};
        const std::string body = ReadString(reader);
        element.words[0] = reader->error ? 0 : B3D_GetBodyID(body.c_str());
        element.words[1] = ReadFixed(reader);
        element.words[2] = ReadInt(reader);
        element.words[3] = ReadInt(reader);
        element.words[4] = static_cast<int16_t>(ReadInt(reader));
        if (array) array[k] = element;
      }
      if (array) {
        engine->lensFlareTypes[f].elements = array;
        engine->lensFlareTypes[f].elementCount = elements;
      }
    }
  }
  CloseTypeFile(reader);
}

void LoadBodyDummies(EngineState3D* engine) {
  if (!engine || engine != gEngine3D || !engine->bodyDataRows) return;
  DataReader* reader = OpenTypeFile("BodyDummies", nullptr, 0);
  if (!reader) return;
  const int32_t count = ReadEnum(nullptr, reader);
  for (int32_t k = 0; k < count && !reader->error; ++k) {
    const std::string name = ReadString(reader);
    if (reader->error) break;
    const int32_t index = BodyDataRowIndex(B3D_GetBodyID(name.c_str()));
    if (index >= 0) engine->bodyDataRows[index].value5 = 1;
  }
  CloseTypeFile(reader);
}

void LoadIconData() {
  if (!gEngine3D) return;
  FreeIconSets();
  DataReader* reader = OpenTypeFile("IconData", nullptr, 0);
  if (!reader) return;
  while (!reader->error) {
    const int32_t table = ReadEnum(kIconTableNames, reader);
    const int32_t texture = ReadTexture(reader);
    const int32_t width = ReadInt(reader);
    const int32_t height = ReadInt(reader);
    const int32_t count = ReadInt(reader);
    if (reader->error || !CountFits(reader, count, {6, 0})) break;
    // Only tables 0..9 exist; the entries of any other are read past.
    const bool kept = table >= 0 && table < kIconSetCount;
    IconRecord* icons = kept && count ? AllocItems<IconRecord>(count, kIconRecordNominalBytes) : nullptr;
    for (int32_t k = 0; k < count && !reader->error; ++k) {
      IconRecord icon{};
      icon.id = ReadEnum(kIconNameTable, reader);
      icon.type = ReadEnum(kNullKeyword, reader);
      icon.x = ReadInt(reader);
      icon.y = ReadInt(reader);
      icon.width = ReadInt(reader);
      icon.height = ReadInt(reader);
      if (icons) icons[k] = icon;
    }
    if (!kept) continue;
    IconSet& set = gEngine3D->iconTables[table];
    FreeIconSet(&set);
    set.textureId = texture;
    set.textureWidth = width;
    set.textureHeight = height;
    if (icons) {
      set.icons = icons;
      set.iconCount = count;
    }
  }
  CloseTypeFile(reader);
}

bool LoadSkins() {
  if (!gEngine3D) return false;
  FreeTextureRemap();
  DataReader* reader = OpenTypeFile("Skins", nullptr, 0);
  if (!reader) return true;
  const int32_t count = ReadInt(reader);
  // Every skin holds at least its number, its name and its pair count.
  if (!reader->error && count != 0 && CountFits(reader, count, {2, 1})) {
    auto* skins = AllocItems<TextureRemapRow>(count, kTextureRemapRowNominalBytes);
    if (skins) {
      gEngine3D->textureRemaps = skins;
      gEngine3D->textureRemapCount = static_cast<uint32_t>(count);
      for (int32_t k = 0; k < count && !reader->error; ++k) {
        TextureRemapRow& skin = skins[k];
        skin.textureId = ReadInt(reader);
        const std::string name = ReadString(reader);
        skin.name = name.empty() ? nullptr : DuplicateString(name.c_str());
        const int32_t pairs = ReadInt(reader);
        if (reader->error || !CountFits(reader, pairs, {0, 2})) break;
        if (pairs == 0) continue;
        const uint32_t nominal = static_cast<uint32_t>(pairs) * 4;
        skin.sources = static_cast<int32_t*>(EngineAlloc(sizeof(int32_t) * static_cast<size_t>(pairs), nominal));
        skin.replacements = static_cast<int32_t*>(EngineAlloc(sizeof(int32_t) * static_cast<size_t>(pairs), nominal));
        if (!skin.sources || !skin.replacements) {
          EngineFree(skin.sources, nominal);
          EngineFree(skin.replacements, nominal);
          skin.sources = skin.replacements = nullptr;
          break;
        }
        skin.pairCount = pairs;
        for (int32_t p = 0; p < pairs; ++p) {
          skin.sources[p] = ReadTexture(reader);
          skin.replacements[p] = ReadTexture(reader);
        }
      }
    }
  }
  CloseTypeFile(reader);
  return true;
}

// ---------------------------------------------------------------------------------------------

void LoadEngineTypeFiles() {
  LoadBodyData();
  LoadCutData();
  LoadLightTypes();
  LoadParticles3();
  ReloadLensflaresAndDummies();
}

void ReloadLensflaresAndDummies() {
  if (!gEngine3D) return;
  LoadLensflares(gEngine3D);
  LoadBodyDummies(gEngine3D);
}

bool IsCutAvailable(int32_t cutId) {
  const int32_t index = CutDataRowIndex(cutId);
  if (index >= 0 && gEngine3D->cutDataRows[index].missing) return false;
  return J3D_LoadCut(cutId) != nullptr;
}
