// The BodyData and CutData name tables of the engine state: the mapping from script-visible body
// and cut ids to rows, the row accessors, and the tables' allocation, clearing and release. The
// type-file readers fill the rows; the body and cut loaders, the natives and the name lookups read
// them. An id that maps outside a table changes nothing and reads as 0.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/memory.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"

namespace {

// Body ids below 1000 are rows; 9000..19999 are rows from 0 (1000..8999 name nothing); from
// 20000 on they count past the fixed rows. Cut ids from 50000 on count past the fixed rows.
constexpr int32_t kBodyIdLowRows = 1000;
constexpr int32_t kBodyIdAliasBase = 9000;
constexpr int32_t kBodyIdAddedBase = 20000;
constexpr int32_t kCutIdAddedBase = 50000;

int32_t AllocatedRows(int32_t fixedRows, int32_t addedRows) {
  return fixedRows + (addedRows / kNameTableBlock + 1) * kNameTableBlock;
}

BodyDataRow* BodyRow(int32_t id) {
  const int32_t index = BodyDataRowIndex(id);
  return index < 0 ? nullptr : &gEngine3D->bodyDataRows[index];
}

CutDataRow* CutRow(int32_t id) {
  const int32_t index = CutDataRowIndex(id);
  return index < 0 ? nullptr : &gEngine3D->cutDataRows[index];
}

// Owned copy of the text, or null for an empty one.
char* CopyName(char* old, const char* text) {
  FreeString(old);
  return text && *text ? DuplicateString(text) : nullptr;
}

template <typename Row>
Row* AllocRows(int32_t count, uint32_t nominalRowBytes) {
  return static_cast<Row*>(
      EngineAlloc(sizeof(Row) * static_cast<size_t>(count), static_cast<uint32_t>(count) * nominalRowBytes));
}

// Shrinks the block to the fixed rows and one added block; the added rows must hold no names.
// When the smaller block cannot be had, the emptied rows stay counted with the larger one.
template <typename Row>
void DropAddedRows(Row** rows, int32_t fixedRows, int32_t* addedRows, uint32_t nominalRowBytes) {
  const int32_t allocated = AllocatedRows(fixedRows, *addedRows);
  const int32_t keep = AllocatedRows(fixedRows, 0);
  if (allocated != keep) {
    Row* smaller = AllocRows<Row>(keep, nominalRowBytes);
    if (!smaller) return;
    std::memcpy(static_cast<void*>(smaller), *rows, sizeof(Row) * static_cast<size_t>(keep));
    EngineFree(*rows, static_cast<uint32_t>(allocated) * nominalRowBytes);
    *rows = smaller;
  }
  *addedRows = 0;
}

// Clears the added rows (the caller's clear), then grows the block to hold `count` added rows,
// each reset by `reset`.
template <typename Row, typename Reset>
bool ResizeAddedRows(Row** rows, int32_t fixedRows, int32_t* addedRows, int32_t count, uint32_t nominalRowBytes,
                     Reset reset) {
  const int32_t have = AllocatedRows(fixedRows, *addedRows);
  const int32_t need = AllocatedRows(fixedRows, count);
  if (need != have) {
    Row* grown = AllocRows<Row>(need, nominalRowBytes);
    if (!grown) return false;
    std::memcpy(static_cast<void*>(grown), *rows, sizeof(Row) * static_cast<size_t>(std::min(have, need)));
    EngineFree(*rows, static_cast<uint32_t>(have) * nominalRowBytes);
    *rows = grown;
  }
  for (int32_t i = fixedRows; i < fixedRows + count; ++i) reset(&(*rows)[i]);
  *addedRows = count;
  return true;
}

// Frees every row's name, then the rows.
template <typename Row>
void FreeRows(Row** rows, int32_t fixedRows, int32_t* addedRows, uint32_t nominalRowBytes) {
  if (!*rows) return;
  const int32_t allocated = AllocatedRows(fixedRows, *addedRows);
  for (int32_t i = 0; i < allocated; ++i) FreeString((*rows)[i].fileName);
  EngineFree(*rows, static_cast<uint32_t>(allocated) * nominalRowBytes);
  *rows = nullptr;
  *addedRows = 0;
}

}  // namespace

int32_t BodyIdToRow(int32_t id, int32_t fixedRows) {
  int64_t index;
  if (id < kBodyIdLowRows) index = id;
  else if (id < kBodyIdAddedBase) index = int64_t{id} - kBodyIdAliasBase;
  else index = int64_t{fixedRows} + id - kBodyIdAddedBase;
  return index < 0 || index > INT32_MAX ? -1 : static_cast<int32_t>(index);
}

int32_t CutIdToRow(int32_t id, int32_t fixedRows) {
  const int64_t index = id < kCutIdAddedBase ? int64_t{id} : int64_t{fixedRows} + id - kCutIdAddedBase;
  return index < 0 || index > INT32_MAX ? -1 : static_cast<int32_t>(index);
}

int32_t BodyDataRowIndex(int32_t id) {
  if (!gEngine3D || !gEngine3D->bodyDataRows) return -1;
  const int32_t index = BodyIdToRow(id, gEngine3D->bodyDataFixedRows);
  return index >= 0 && int64_t{index} < int64_t{gEngine3D->bodyDataFixedRows} + gEngine3D->bodyDataAddedRows ? index
                                                                                                             : -1;
}

int32_t CutDataRowIndex(int32_t id) {
  if (!gEngine3D || !gEngine3D->cutDataRows) return -1;
  const int32_t index = CutIdToRow(id, gEngine3D->cutDataFixedRows);
  return index >= 0 && int64_t{index} < int64_t{gEngine3D->cutDataFixedRows} + gEngine3D->cutDataAddedRows ? index : -1;
}

int32_t GetBodyDataField(int32_t id) {
  const BodyDataRow* row = BodyRow(id);
  return row ? row->value2 : 0;
}

int32_t GetBodyDataField1(int32_t id) {
  const BodyDataRow* row = BodyRow(id);
  return row ? row->value1 : 0;
}

int32_t GetBodyDataField5(int32_t id) {
  const BodyDataRow* row = BodyRow(id);
  return row ? row->value5 : 0;
}

int32_t BodyDataSetUnavailable(int32_t id) {
  BodyDataRow* row = BodyRow(id);
  if (!row) return 0;
  row->value1 = -1;
  return 1;
}

void BodyDataSetLoaded(int32_t id) {
  if (BodyDataRow* row = BodyRow(id)) row->loaded = 1;
}

int32_t BodyDataIsLoaded(int32_t id) {
  if (id < 0) return 1;
  const BodyDataRow* row = BodyRow(id);
  return row ? row->loaded : 0;
}

void MarkCutAbsent(int32_t id) {
  if (CutDataRow* row = CutRow(id)) row->missing = 1;
}

int32_t CutIsMarkedAbsent(int32_t id) {
  if (id < 0) return 1;
  const CutDataRow* row = CutRow(id);
  return row ? row->missing : 0;
}

void SetBodyDataName(int32_t id, const char* text) {
  if (BodyDataRow* row = BodyRow(id)) row->fileName = CopyName(row->fileName, text);
}

void SetCutDataName(int32_t id, const char* text) {
  if (CutDataRow* row = CutRow(id)) row->fileName = CopyName(row->fileName, text);
}

void BodyDataCountUses(InstanceRecord* instance) {
  if (!instance) return;
  if (BodyDataRow* row = BodyRow(instance->bodyId)) row->useCount += 1;
  for (ListNode* node = ListFirst(&instance->children); node; node = ListNext(node)) {
    BodyDataCountUses(InstanceOfNode(node));
  }
}

bool AllocBodyDataTable() {
  if (!gEngine3D) return false;
  gEngine3D->bodyDataFixedRows = kBodyDataFixedRows;
  gEngine3D->bodyDataAddedRows = 0;
  gEngine3D->bodyDataRows = AllocRows<BodyDataRow>(AllocatedRows(kBodyDataFixedRows, 0), kBodyDataRowNominalBytes);
  return gEngine3D->bodyDataRows != nullptr;
}

bool AllocCutDataTable() {
  if (!gEngine3D) return false;
  gEngine3D->cutDataFixedRows = kCutDataFixedRows;
  gEngine3D->cutDataAddedRows = 0;
  gEngine3D->cutDataRows = AllocRows<CutDataRow>(AllocatedRows(kCutDataFixedRows, 0), kCutDataRowNominalBytes);
  return gEngine3D->cutDataRows != nullptr;
}

void ClearDynamicBodyData() {
  if (!gEngine3D || !gEngine3D->bodyDataRows) return;
  EngineState3D& e = *gEngine3D;
  for (int32_t i = e.bodyDataFixedRows; i < e.bodyDataFixedRows + e.bodyDataAddedRows; ++i) {
    BodyDataRow& row = e.bodyDataRows[i];
    row.fileName = FreeString(row.fileName);
    row.loaded = 0;
    row.value5 = 0;
  }
  DropAddedRows(&e.bodyDataRows, e.bodyDataFixedRows, &e.bodyDataAddedRows, kBodyDataRowNominalBytes);
}

void ClearDynamicCutData() {
  if (!gEngine3D || !gEngine3D->cutDataRows) return;
  EngineState3D& e = *gEngine3D;
  for (int32_t i = e.cutDataFixedRows; i < e.cutDataFixedRows + e.cutDataAddedRows; ++i) {
    CutDataRow& row = e.cutDataRows[i];
    row.fileName = FreeString(row.fileName);
    row.missing = 0;
  }
  DropAddedRows(&e.cutDataRows, e.cutDataFixedRows, &e.cutDataAddedRows, kCutDataRowNominalBytes);
}

bool SetAddedBodyRows(int32_t count) {
  if (!gEngine3D || !gEngine3D->bodyDataRows || count < 0) return false;
  ClearDynamicBodyData();
  EngineState3D& e = *gEngine3D;
  return ResizeAddedRows(&e.bodyDataRows, e.bodyDataFixedRows, &e.bodyDataAddedRows, count,
                         kBodyDataRowNominalBytes, [](BodyDataRow* row) {
                           *row = BodyDataRow{};
                           row->value0 = row->value1 = -2;
                           row->value2 = -1;
                         });
}

bool SetAddedCutRows(int32_t count) {
  if (!gEngine3D || !gEngine3D->cutDataRows || count < 0) return false;
  ClearDynamicCutData();
  EngineState3D& e = *gEngine3D;
  return ResizeAddedRows(&e.cutDataRows, e.cutDataFixedRows, &e.cutDataAddedRows, count, kCutDataRowNominalBytes,
                         [](CutDataRow* row) { *row = CutDataRow{}; });
}

void FreeBodyDataTable() {
  if (gEngine3D)
    FreeRows(&gEngine3D->bodyDataRows, gEngine3D->bodyDataFixedRows, &gEngine3D->bodyDataAddedRows,
             kBodyDataRowNominalBytes);
}

void FreeCutDataTable() {
  if (gEngine3D)
    FreeRows(&gEngine3D->cutDataRows, gEngine3D->cutDataFixedRows, &gEngine3D->cutDataAddedRows,
             kCutDataRowNominalBytes);
}
