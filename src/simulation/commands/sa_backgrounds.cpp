// The background-type and sector-space commands: reading a background type's fields, defining
// one at run time with the names of all its bodies derived from one family name, saving the
// table, attaching scenes to sectors and setting a sector's background, flags and size. Called
// through the SA_ dispatcher only. A command never writes outside the background table or a
// body slot array: counts, rows and arrays that do not fit are refused and change nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/memory.h"
#include "scene/body_cache.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/list_records.h"
#include "scene/scene.h"
#include "scene/scene_records.h"
#include "script/containers.h"
#include "simulation/commands/sa_call.h"
#include "simulation/commands/sa_type_keys.h"
#include "universe/background_export.h"
#include "universe/object_classes.h"
#include "universe/object_effects.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

// Where a background row keeps the fields scripts name.
constexpr int kDustInstances = 0;  // of values7
constexpr int kAmbientFirst = 1;   // of values7: red, green, blue
constexpr int kHue = 4;
constexpr int kFogNear = 5;
constexpr int kFogFar = 6;
constexpr int kStardustDensity = 0;  // of values4
constexpr int kStardustFirst = 1;    // of values4: red, green, blue
constexpr int kDustRateCount = 8;

// A sector's background words.
constexpr int kSectorBackgroundType = 0;  // of sceneWords
constexpr int kSectorStarsIndex = 1;
constexpr int kSectorNebulasIndex = 2;

// A scene's ambient colour: red, green, blue.
constexpr int kSceneAmbientFirst = 0;  // of SceneRecord::values

constexpr uint32_t kAppendedRowMemory = 0xE000000;
constexpr int32_t kFailColour = 8421504;

const BackgroundType* Background(int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(kClassBackground, subtype);
  return row ? &row->background : nullptr;
}

int32_t PackColour(const int32_t rgb[3]) { return rgb[0] * 65536 + rgb[1] * 256 + rgb[2]; }

void SplitColour(int32_t colour, int32_t rgb[3]) {
  rgb[0] = (colour >> 16) & 0xFF;
  rgb[1] = (colour >> 8) & 0xFF;
  rgb[2] = colour & 0xFF;
}

SectorObject* ArgSector(const SACall* call, int32_t i) {
  return static_cast<SectorObject*>(FindSectorById(static_cast<uint32_t>(SAArgInt(call, i))));
}

void SetSceneAmbient(SceneRecord* scene, const BackgroundType* bg) {
  if (!scene || !bg) return;
  for (int k = 0; k < 3; ++k) scene->values[kSceneAmbientFirst + k] = bg->values7[kAmbientFirst + k];
}

// ---- Background type fields --------------------------------------------------------------

void GetBgTypeBodyFamilyName(SACall* call) {
  const BackgroundType* bg = Background(SAArgInt(call, 0));
  SAAnswerText(call, bg ? bg->nebulaName : nullptr);
}

// A field of the background type in argument 0, or the failure value.
template <int32_t (*Field)(const BackgroundType&), int32_t kFail = 0>
void GetBgField(SACall* call) {
  const BackgroundType* bg = Background(SAArgInt(call, 0));
  SAAnswerInt(call, bg ? Field(*bg) : kFail);
}
int32_t StarCount(const BackgroundType& b) { return b.starsCount; }
int32_t NebulaCount(const BackgroundType& b) { return b.backdropCount; }
int32_t OuterCount(const BackgroundType& b) { return b.outsideCount; }
int32_t DustInstances(const BackgroundType& b) { return b.values7[kDustInstances]; }
int32_t Ambient(const BackgroundType& b) { return PackColour(&b.values7[kAmbientFirst]); }
int32_t Hue(const BackgroundType& b) { return b.values7[kHue]; }
int32_t FogNear(const BackgroundType& b) { return b.values7[kFogNear]; }
int32_t FogFar(const BackgroundType& b) { return b.values7[kFogFar]; }
int32_t StardustDensity(const BackgroundType& b) { return b.values4[kStardustDensity]; }
int32_t StardustColour(const BackgroundType& b) { return PackColour(&b.values4[kStardustFirst]); }

// Element `index` of one of the background's arrays, 0 outside it.
template <int kSize>
int32_t Slot(const int32_t (&slots)[kSize], int32_t index) {
  return index >= 0 && index < kSize ? slots[index] : 0;
}
void GetBgTypeDustBodyRate(SACall* call) {
  const BackgroundType* bg = Background(SAArgInt(call, 0));
  SAAnswerInt(call, bg ? Slot(bg->values8, SAArgInt(call, 1)) : 0);
}
void GetBgTypeNebulaBodyID(SACall* call) {
  const BackgroundType* bg = Background(SAArgInt(call, 0));
  SAAnswerInt(call, bg ? Slot(bg->backdrops, SAArgInt(call, 1)) : 0);
}
void GetBgTypeStarBodyID(SACall* call) {
  const BackgroundType* bg = Background(SAArgInt(call, 0));
  SAAnswerInt(call, bg ? Slot(bg->stars, SAArgInt(call, 1)) : 0);
}

// ---- Defining a background type ----------------------------------------------------------

// Slots 1..count get the bodies named base + part + "%02d"; the rest up to the capacity are 0.
void NameBodies(const std::string& base, const char* part, int32_t count, int32_t* slots, int capacity) {
  for (int i = 0; i < capacity; ++i) {
    if (i >= count) {
      slots[i] = 0;
      continue;
    }
    char number[16];
    std::snprintf(number, sizeof number, "%02d", i + 1);
    slots[i] = B3D_GetBodyID((base + part + number).c_str());
  }
}

// The new row at the end of the table, zero-filled and named after its number; null when the
// table cannot grow.
ObjectTypeRecord* AppendBackgroundRow() {
  ObjectTypeTable& table = gObjectTypeTables[kClassBackground];
  const int32_t count = table.rows ? table.count : 0;
  const size_t oldBytes = size_t(count) * sizeof(ObjectTypeRecord);
  void* rows = table.rows ? MemRealloc(table.rows, oldBytes, oldBytes + sizeof(ObjectTypeRecord), kAppendedRowMemory)
                          : MemAlloc(sizeof(ObjectTypeRecord), kAppendedRowMemory);
  if (!rows) return nullptr;
  table.rows = static_cast<ObjectTypeRecord*>(rows);
  table.count = count + 1;
  ObjectTypeRecord* row = &table.rows[count];
  std::memset(static_cast<void*>(row), 0, sizeof *row);
  char name[32];
  std::snprintf(name, sizeof name, "SS_BG_%d", count + 1);
  row->typeId = DuplicateString(name);
  return row;
}

void SetBgTypeData(SACall* call) {
  const int32_t n = SAArgInt(call, 0);
  const int32_t stars = SAArgInt(call, 2);
  const int32_t nebulas = SAArgInt(call, 3);
  const int32_t outer = SAArgInt(call, 4);
  const ScriptValue* rates = SAArgValue(call, 5);
  const ObjectTypeTable& table = gObjectTypeTables[kClassBackground];
  const int32_t count = table.rows ? table.count : 0;
  // Only the next row may be made; counts beyond the slot arrays and a short rate array would
  // write or read past them.
  const bool fits = n >= 0 && n <= count && stars >= 0 && stars <= kBackgroundStarCapacity && nebulas >= 0 &&
                    nebulas <= kBackgroundStarCapacity && outer >= 0 && outer <= kBackgroundPartCapacity &&
                    rates && GetArraySize(rates) >= kDustRateCount;
  ObjectTypeRecord* row = !fits ? nullptr : n < count ? TypeRowMutable(kClassBackground, n) : AppendBackgroundRow();
  if (!row) {
    SAAnswerInt(call, 0);
    return;
  }
  BackgroundType& bg = row->background;
  if (const char* family = SAArgText(call, 1)) bg.nebulaName = ReplaceString(bg.nebulaName, family);
  bg.starsCount = stars;
  bg.backdropCount = nebulas;
  bg.outsideCount = outer;
  for (int k = 0; k < kDustRateCount; ++k) {
    ScriptValue* element = ArrayElementPtr(const_cast<ScriptValue*>(rates), k);
    bg.values8[k] = element && element->type >= kValueInt && element->type <= kValueCodeAddress ? element->i : 0;
  }
  bg.values7[kDustInstances] = SAArgInt(call, 6);
  SplitColour(SAArgInt(call, 7), &bg.values7[kAmbientFirst]);
  bg.values7[kHue] = SAArgInt(call, 8);
  bg.values7[kFogNear] = SAArgInt(call, 9);
  bg.values7[kFogFar] = SAArgInt(call, 10);
  bg.values4[kStardustDensity] = SAArgInt(call, 11);
  SplitColour(SAArgInt(call, 12), &bg.values4[kStardustFirst]);
  const std::string family = bg.nebulaName ? bg.nebulaName : "";
  const std::string base = "environments\\nebulae\\" + family + "\\nebula_" + family;
  NameBodies(base, "_stars_", stars, bg.stars, kBackgroundStarCapacity);
  NameBodies(base, "_background_", nebulas, bg.backdrops, kBackgroundStarCapacity);
  NameBodies(base, "_outside_part", outer, bg.outsideParts, kBackgroundPartCapacity);
  NameBodies(base, "_dust_part", kBackgroundPartCapacity, bg.dustParts, kBackgroundPartCapacity);
  SAAnswerInt(call, 0);
}

bool Lists(const int32_t* slots, int32_t count, int32_t body) {
  for (int32_t k = 0; k < count && k < kBackgroundStarCapacity; ++k) {
    if (slots[k] == body) return true;
  }
  return false;
}

void BgTypeFromBody(SACall* call) {
  const int32_t body = SAArgInt(call, 0);
  const ObjectTypeTable& table = gObjectTypeTables[kClassBackground];
  for (int32_t s = 0; table.rows && s < table.count; ++s) {
    const BackgroundType& bg = table.rows[s].background;
    if (Lists(bg.stars, bg.starsCount, body)) return SAAnswerInt(call, 1);
    if (Lists(bg.backdrops, bg.backdropCount, body)) return SAAnswerInt(call, 2);
  }
  SAAnswerInt(call, 0);
}

void SaveBackgroundTypes(SACall* call) {
  WriteBackgrounds();
  SAAnswerInt(call, 0);
}

// ---- Sector scenes and settings ------------------------------------------------------------

void SetSpaceScene(SACall* call) {
  SectorObject* sector = ArgSector(call, 0);
  SceneRecord* scene = GetSceneByHandle(static_cast<uint32_t>(SAArgInt(call, 1)));
  if (sector && scene) {
    sector->sceneA = scene;
    SetSceneAmbient(scene, Background(static_cast<int32_t>(sector->sceneWords[kSectorBackgroundType])));
  }
  SAAnswerInt(call, 0);
}

template <SceneRecord* SectorObject::*kScene>
void SetSectorScene(SACall* call) {
  SectorObject* sector = ArgSector(call, 0);
  SceneRecord* scene = GetSceneByHandle(static_cast<uint32_t>(SAArgInt(call, 1)));
  if (sector && scene) sector->*kScene = scene;
  SAAnswerInt(call, 0);
}

template <SceneRecord* SectorObject::*kScene>
void GetSectorScene(SACall* call) {
  const SectorObject* sector = ArgSector(call, 0);
  SAAnswerInt(call, sector && sector->*kScene ? static_cast<int32_t>((sector->*kScene)->handle) : 0);
}

// Stores argument 1 in the sector's word and answers it.
template <typename Word, Word SectorObject::*kField>
void SetSectorWord(SACall* call) {
  SectorObject* sector = ArgSector(call, 0);
  const int32_t value = SAArgInt(call, 1);
  if (sector) sector->*kField = static_cast<Word>(value);
  SAAnswerInt(call, sector ? value : 0);
}
template <typename Word, Word SectorObject::*kField>
void GetSectorWord(SACall* call) {
  const SectorObject* sector = ArgSector(call, 0);
  SAAnswerInt(call, sector ? static_cast<int32_t>(sector->*kField) : 0);
}

template <int kWord>
void SetSectorBackgroundWord(SACall* call) {
  SectorObject* sector = ArgSector(call, 0);
  const int32_t value = SAArgInt(call, 1);
  if (sector) sector->sceneWords[kWord] = static_cast<uint32_t>(value);
  SAAnswerInt(call, sector ? value : 0);
}
template <int kWord>
void GetSectorBackgroundWord(SACall* call) {
  const SectorObject* sector = ArgSector(call, 0);
  SAAnswerInt(call, sector ? static_cast<int32_t>(sector->sceneWords[kWord]) : 0);
}

// The sector's index into a list of the new type, reset to 0 when the list does not hold it.
int32_t ClampedIndex(SectorObject* sector, int word, int32_t count) {
  const int32_t index = static_cast<int32_t>(sector->sceneWords[word]);
  if (index >= 0 && index < count && index < kBackgroundStarCapacity) return index;
  sector->sceneWords[word] = 0;
  return 0;
}

void ResetSectorBackground(SACall* call) {
  SectorObject* sector = ArgSector(call, 0);
  if (!sector) return SAAnswerInt(call, 0);
  const int32_t subtype = SAArgInt(call, 1);
  const int32_t current = static_cast<int32_t>(sector->sceneWords[kSectorBackgroundType]);
  if (subtype != current) {
    const BackgroundType* from = Background(current);
    const BackgroundType* to = Background(subtype);
    SetSceneAmbient(sector->sceneA, to);
    if (SceneRecord* galaxy = sector->sceneB) {
      const int32_t oldStars = static_cast<int32_t>(sector->sceneWords[kSectorStarsIndex]);
      const int32_t oldNebulas = static_cast<int32_t>(sector->sceneWords[kSectorNebulasIndex]);
      const int32_t oldStar = from ? Slot(from->stars, oldStars) : 0;
      const int32_t oldNebula = from ? Slot(from->backdrops, oldNebulas) : 0;
      const int32_t newStar = to ? to->stars[ClampedIndex(sector, kSectorStarsIndex, to->starsCount)] : 0;
      const int32_t newNebula = to ? to->backdrops[ClampedIndex(sector, kSectorNebulasIndex, to->backdropCount)] : 0;
      for (ListNode* n = ListFirst(&galaxy->members); n && n != ListTailNode(&galaxy->members); n = NodeSucc(n)) {
        auto* instance = reinterpret_cast<InstanceRecord*>(n);
        if (!from || !to) break;
        if (instance->bodyId == oldStar) B3D_InstSetBody(instance, newStar);
        else if (instance->bodyId == oldNebula) B3D_InstSetBody(instance, newNebula);
      }
    }
    sector->sceneWords[kSectorBackgroundType] = static_cast<uint32_t>(subtype);
  }
  SAAnswerInt(call, static_cast<int32_t>(sector->sceneWords[kSectorBackgroundType]));
}

void DeleteAllEffects(SACall* call) {
  if (SectorObject* sector = ArgSector(call, 0)) {
    if (sector->sceneA) RemoveSceneEffectInstances(sector->sceneA);
    if (sector->sceneB) RemoveSceneEffectInstances(sector->sceneB);
  }
  SAAnswerInt(call, 0);
}

}  // namespace

extern const SACommandRow kBackgroundCommands[35];
const SACommandRow kBackgroundCommands[35] = {
    {220, GetBgTypeBodyFamilyName},
    {221, GetBgField<StarCount>},
    {222, GetBgField<NebulaCount>},
    {223, GetBgField<OuterCount>},
    {224, GetBgTypeDustBodyRate},
    {225, GetBgField<DustInstances>},
    {226, GetBgField<Ambient, kFailColour>},
    {227, GetBgField<Hue>},
    {228, GetBgField<FogNear>},
    {229, GetBgField<FogFar>},
    {230, GetBgField<StardustDensity>},
    {231, GetBgField<StardustColour>},
    {232, GetBgTypeNebulaBodyID},
    {233, GetBgTypeStarBodyID},
    {234, SetBgTypeData},
    {235, BgTypeFromBody},
    {289, SetSpaceScene},
    {290, SetSectorScene<&SectorObject::sceneB>},
    {291, SetSectorScene<&SectorObject::sceneC>},
    {292, GetSectorScene<&SectorObject::sceneA>},
    {293, GetSectorScene<&SectorObject::sceneB>},
    {294, GetSectorScene<&SectorObject::sceneC>},
    {295, SetSectorWord<uint32_t, &SectorObject::sectorFlags>},
    {296, GetSectorWord<uint32_t, &SectorObject::sectorFlags>},
    {297, SetSectorWord<int32_t, &SectorObject::sectorHull>},
    {298, GetSectorWord<int32_t, &SectorObject::sectorHull>},
    {299, ResetSectorBackground},
    {300, SetSectorBackgroundWord<kSectorBackgroundType>},
    {301, GetSectorBackgroundWord<kSectorBackgroundType>},
    {302, SetSectorBackgroundWord<kSectorStarsIndex>},
    {303, GetSectorBackgroundWord<kSectorStarsIndex>},
    {304, SetSectorBackgroundWord<kSectorNebulasIndex>},
    {305, GetSectorBackgroundWord<kSectorNebulasIndex>},
    {349, DeleteAllEffects},
    {352, SaveBackgroundTypes},
};
