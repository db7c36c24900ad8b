// The effect table and its reader (see effect_definitions.h). Rows are read in file order; a
// later row with the same index replaces an earlier one after freeing its entries. A row index
// outside the table, a read error or an entry count the data cannot hold ends the file.
#include "universe/effect_definitions.h"

#include <cstdio>
#include <string>

#include "core/data_reader.h"
#include "core/memory.h"
#include "core/type_files.h"
#include "scene/scene.h"
#include "universe/object_effects.h"
#include "universe/type_loader.h"

const DataKeyword kEffectRowFlagNames[] = {
    {"EDF_NONE", 0},          {"EDF_BREAKUP", 0x1},    {"EDF_PROPAGATE", 0x2},   {"EDF_REINIT", 0x4},
    {"EDF_NOROTATE", 0x8},    {"EDF_NODRIFT", 0x10},   {"EDF_HIDEOBJECT", 0x20}, {"", 0},
};

const DataKeyword kEffectInstanceFlagNames[] = {
    {"I3DF_2D", 0x4000},
    {"I3DF_HASLENSFLARE", 0x20000000},
    {"", 0},
};

const DataKeyword kEffectEntryFlagNames[] = {
    {"EEDF_NONE", 0},
    {"EEDF_SPEEDDEPENDENT", 0x1},
    {"EEDF_RELATIVESIZE", 0x2},
    {"EEDF_LENSFLARE", 0x4},
    {"EEDF_GROWANDSHRINK", 0x8},
    {"EEDF_TIMEOUT", 0x10},
    {"EEDF_CUT", 0x20},
    {"EEDF_CAMERARELATIVE", 0x40},
    {"EEDF_LIGHT", 0x80},
    {"EEDF_GROW", 0x100},
    {"EEDF_RANDOMROT", 0x200},
    {"EEDF_FADEOUT", 0x400},
    {"EEDF_FADEOUTBODY", 0x800},
    {"EEDF_BULLETROT", 0x1000},
    {"EEDF_BREAKUP", 0x2000},
    {"EEDF_PROPAGATE", 0x4000},
    {"EEDF_RANDOMSIZE", 0x8000},
    {"EEDF_PARTICLEGENERATOR", 0x10000},
    {"EEDF_DISTANT", 0x20000},
    {"EEDF_DEBRIS", 0x40000},
    {"EEDF_HULLDAMAGE", 0x80000},
    {"EEDF_WAVE", 0x100000},
    {"EEDF_NOREINIT", 0x200000},
    {"EEDF_CUTACTUALSIZE", 0x400000},
    {"EEDF_CUTKEEPBODY", 0x800000},
    {"EEDF_NOZTEST", 0x1000000},
    {"EEDF_NOSKIP", 0x2000000},
    {"EEDF_WRECK", 0x4000000},
    {"EEDF_DEBRISMAP", 0x8000000},
    {"EEDF_PUSH", 0x10000000},
    {"", 0},
};

EffectDefinitionRow gEffectRows[kEffectRowCount];

namespace {

void FreeRow(EffectDefinitionRow* row) {
  MemFreeIfSet(row->entries);
  *row = EffectDefinitionRow{};
}

void FreeRows() {
  for (EffectDefinitionRow& row : gEffectRows) FreeRow(&row);
}

// A light is named by its type number; anything else names no light.
int32_t LightNumber(const std::string& name) {
  int32_t value = -1;
  char tail = 0;
  if (std::sscanf(name.c_str(), "%d%c", &value, &tail) != 1) return -1;
  return value;
}

void ReadEntry(DataReader* r, EffectDefinitionEntry* e) {
  e->flags = ReadEnumWord(r, kEffectEntryFlagNames, 0);
  e->instanceFlags = ReadEnumWord(r, kEffectInstanceFlagNames, 0);
  if (e->flags & EEDF_PROPAGATE) {
    e->sourceId = -1;
    EffectPropagation& p = e->propagation;
    p.row = ReadInt(r);
    p.stepsMin = ReadInt(r);
    p.stepsMax = ReadInt(r);
    p.intervalFirst = ReadInt(r);
    p.intervalLast = ReadInt(r);
    p.bands = ReadInt(r);
    p.extraDelay = ReadInt(r);
    p.bandWidth = ReadFixed(r);
  } else {
    const std::string name = ReadName(r);
    if (r->error) return;
    if (e->flags & EEDF_LIGHT) {
      e->sourceId = LightNumber(name);
    } else if (e->flags & EEDF_CUT) {
      e->sourceId = B3D_GetCutID(name.c_str());
    } else {
      e->sourceId = B3D_GetBodyID(name.c_str());
    }
    e->sizeA = ReadFixed(r);
    e->sizeB = ReadFixed(r);
    e->duration = ReadInt(r);
    e->rotation = ReadFixed(r);
    for (int32_t& v : e->offset) v = (e->flags & EEDF_RELATIVESIZE) ? ReadFixed(r) : ReadInt(r);
    e->lensFlareId = ReadInt(r);
    e->lensFlareValue = ReadInt(r);
    e->speedFactor = ReadFixed(r);
  }
  e->startDelay = ReadInt(r);
}

}  // namespace

EffectDefinitionRow* EffectRowAt(int32_t index) {
  if (index < 0 || index >= kEffectRowCount) return nullptr;
  return &gEffectRows[index];
}

void ReadEffectDefinitions(DataReader* r) {
  ReadInt(r);  // leading number, unused
  while (!r->error) {
    const int32_t index = ReadInt(r);
    if (r->error || index < 0 || index >= kEffectRowCount) break;
    const int32_t count = ReadInt(r);
    EffectDefinitionRow* row = &gEffectRows[index];
    FreeRow(row);
    // An entry holds at least its two flag words, a start delay and a name or eight numbers.
    if (r->error || count < 0 || CountInData(r, count, 3, 1) != count) break;
    row->flags = ReadEnumWord(r, kEffectRowFlagNames, 0);
    row->valueA = ReadInt(r);
    row->valueB = ReadFixed(r);
    if (count == 0) continue;
    row->entries = static_cast<EffectDefinitionEntry*>(MemCalloc(sizeof(EffectDefinitionEntry) * count));
    if (!row->entries) break;
    row->entryCount = count;
    for (int32_t i = 0; i < count && !r->error; ++i) {
      EffectDefinitionEntry* e = &row->entries[i];
      ReadEntry(r, e);
      if (e->flags & EEDF_BREAKUP) row->flags |= EDF_BREAKUP;
      if (e->flags & EEDF_PROPAGATE) row->flags |= EDF_PROPAGATE;
    }
  }
}

int32_t LoadEffectDefinitions() {
  FreeRows();
  DataReader* reader = OpenTypeFile("effects", nullptr, 0);
  if (!reader) return 0;
  ReadEffectDefinitions(reader);
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
  return 1;
}

void FreeEffectDefinitions() {
  FreeEffectGroups();
  FreeRows();
  FreeParticleEmitterList();
}

void ResetObjectEffects() {
  FreeEffectDefinitions();
  MakeParticleEmitterList();
  LoadEffectDefinitions();
}
