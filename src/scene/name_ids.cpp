// Body and cut ids by name: numbers and the null names stand for themselves, known names give
// the id of their row, and unknown names get a new row in the table's dynamic part. Scripts, the
// cut loader and the type readers call it. A table that cannot grow answers -1 and keeps its rows.
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "scene/engine_state.h"
#include "scene/scene.h"

namespace {

constexpr int32_t kBodyIdLowRows = 1000;
constexpr int32_t kBodyIdAliasBase = 9000;
constexpr int32_t kBodyIdAddedBase = 20000;
constexpr int32_t kCutIdAddedBase = 50000;

// 0 for an empty or null name, the number for a numeric one; false when the name is a real one.
bool FixedId(const char* name, int32_t* id) {
  if (!name || !*name || std::strcmp(name, "NULL") == 0 || std::strcmp(name, "Null") == 0 ||
      std::strcmp(name, "null") == 0) {
    *id = 0;
    return true;
  }
  if ((name[0] >= '0' && name[0] <= '9') || name[0] == '-') {
    int value = 0;
    if (std::sscanf(name, "%d", &value) == 1) {
      *id = value;
      return true;
    }
  }
  return false;
}

template <typename Row>
int32_t FindRow(const Row* rows, int32_t count, const char* name) {
  for (int32_t i = 0; i < count; ++i) {
    if (rows[i].fileName && TextEqualsIgnoringCase(rows[i].fileName, name)) return i;
  }
  return -1;
}

// Raises the added count by one row, growing the block by a whole block of rows when the count
// reaches a multiple of the block size; the new row's index, or -1 with nothing changed.
template <typename Row>
int32_t AddRow(Row** rows, int32_t fixedRows, int32_t* addedRows, uint32_t nominalRowBytes) {
  const int32_t added = *addedRows + 1;
  if (added % kNameTableBlock == 0) {
    const int32_t oldRows = fixedRows + added;  // the rows allocated so far
    const int32_t newRows = oldRows + kNameTableBlock;
    auto* grown = static_cast<Row*>(EngineAlloc(sizeof(Row) * static_cast<size_t>(newRows),
                                                static_cast<uint32_t>(newRows) * nominalRowBytes));
    if (!grown) return -1;
    std::memcpy(static_cast<void*>(grown), *rows, sizeof(Row) * static_cast<size_t>(oldRows));
    EngineFree(*rows, static_cast<uint32_t>(oldRows) * nominalRowBytes);
    *rows = grown;
  }
  *addedRows = added;
  return fixedRows + added - 1;
}

}  // namespace

int32_t B3D_GetBodyID(const char* name) {
  int32_t id;
  if (FixedId(name, &id)) return id;
  EngineState3D* e = gEngine3D;
  if (!e || !e->bodyDataRows) return -1;
  const int32_t fixedRows = e->bodyDataFixedRows;
  int32_t i = FindRow(e->bodyDataRows, fixedRows + e->bodyDataAddedRows, name);
  if (i < 0) {
    i = AddRow(&e->bodyDataRows, fixedRows, &e->bodyDataAddedRows, kBodyDataRowNominalBytes);
    if (i < 0) return -1;
    BodyDataRow* row = &e->bodyDataRows[i];
    *row = BodyDataRow{};
    row->value0 = row->value1 = -2;
    row->value2 = -1;
    row->useCount = 0;
    row->fileName = DuplicateString(name);
  }
  if (i < kBodyIdLowRows) return i;
  if (i >= fixedRows) return i - fixedRows + kBodyIdAddedBase;
  return i + kBodyIdAliasBase;
}

int32_t B3D_GetCutID(const char* name) {
  int32_t id;
  if (FixedId(name, &id)) return id;
  EngineState3D* e = gEngine3D;
  if (!e || !e->cutDataRows) return -1;
  const int32_t fixedRows = e->cutDataFixedRows;
  int32_t i = FindRow(e->cutDataRows, fixedRows + e->cutDataAddedRows, name);
  if (i < 0) {
    i = AddRow(&e->cutDataRows, fixedRows, &e->cutDataAddedRows, kCutDataRowNominalBytes);
    if (i < 0) return -1;
    e->cutDataRows[i] = CutDataRow{};
    e->cutDataRows[i].fileName = DuplicateString(name);
  }
  return i < fixedRows ? i : i - fixedRows + kCutIdAddedBase;
}
