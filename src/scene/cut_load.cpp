// Loading a cut by id (J3D_LoadCut): the cut table, the missing mark, the file name, the choice
// of form, the file-name table; and what both cut readers share (see cut_reading.h): allocation,
// freeing and entering cuts, and the embedded bodies. Never reads a cut's fields itself.
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/data_reader.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/body_binary.h"
#include "scene/body_names.h"
#include "scene/body_text.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/cut_reading.h"
#include "scene/engine_state.h"

namespace {

constexpr const char* kCutFileTypes = "pbb bob pbd bod";
constexpr uint32_t kCutMemFlags = MemCategoryFlags(kMemCatCut);

CutLoadedHook gCutLoadedHook = nullptr;
PathKeyReaderFn gPathKeyReader = ReadPathKeys;

// The cut's name from its CutData row, else "cut\%05d" of the id.
std::string CutFileName(int32_t cutId) {
  std::string name;
  B3D_GetCutFilename(&name, cutId, 1);
  if (name.empty()) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "cut\\%05d", static_cast<int>(cutId));
    name = buffer;
  }
  return name;
}

// The name placed into a one-slot folder pattern; the name alone without a pattern.
std::string InPattern(const char* pattern, const std::string& name) {
  if (!pattern) return name;
  const int length = std::snprintf(nullptr, 0, pattern, name.c_str());
  if (length <= 0) return name;
  std::string formatted(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(formatted.data(), formatted.size(), pattern, name.c_str());
  formatted.resize(static_cast<size_t>(length));
  return formatted;
}

const ProductRecord* Product() { return gSystem ? gSystem->product : nullptr; }

template <typename Key>
void FreeKeys(KeyList<Key>* list) {
  if (list->keys) MemFree(list->keys, static_cast<size_t>(list->count) * sizeof(Key), kCutMemFlags);
  *list = {};
}

// Notes the file a cut was read from while the engine collects file names.
void NoteCutFileName(int32_t cutId, const std::string& path, bool binary) {
  EngineState3D* e = gEngine3D;
  if (!(e->engineFlags & kEngineNoteFileNames) || !e->cutFileNameTable || cutId == 0) return;
  const std::string name = path + (binary ? ".pbb" : ".pbd");
  char* copy = DuplicateString(name.c_str());
  if (!copy) return;
  const uint32_t key = static_cast<uint32_t>(cutId);
  FreeString(reinterpret_cast<char*>(HashGet(e->cutFileNameTable, key)));
  if (!HashInsert(e->cutFileNameTable, key, reinterpret_cast<HashValue>(copy))) FreeString(copy);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string CutMessageFileName(int32_t cutId) {
  const ProductRecord* product = Product();
  return InPattern(product ? product->objectsTemplate2 : nullptr, CutFileName(cutId));
}

void* AllocCutArray(size_t bytes, const std::string& fileName) {
  void* array = MemAlloc(bytes, kCutMemFlags);
  if (!array) SceneFatalExit(3, fileName.c_str());
  return array;
}

void FreeCutArray(void* array, size_t bytes) {
  if (array) MemFree(array, bytes, kCutMemFlags);
}

CutRecord* AllocCutRecord(const std::string& fileName) {
  return static_cast<CutRecord*>(AllocCutArray(sizeof(CutRecord), fileName));
}

PathRecord* AllocCutPaths(int32_t count, const std::string& fileName) {
  if (count <= 0) return nullptr;
  return static_cast<PathRecord*>(AllocCutArray(sizeof(PathRecord) * static_cast<size_t>(count), fileName));
}

void FreePathContents(PathRecord* path) {
  FreeKeys(&path->positions);
  FreeKeys(&path->rotations);
  FreeKeys(&path->targets);
  FreeKeys(&path->rolls);
  FreeKeys(&path->colors);
  FreeKeys(&path->fieldsOfView);
  FreeString(path->name);
  if (path->notes) {
    for (int32_t i = 0; i < path->noteCount; ++i) FreeString(path->notes[i].text);
    FreeCutArray(path->notes, sizeof(CutNote) * static_cast<size_t>(path->noteCount));
  }
  FreeCutArray(path->binding, sizeof(int32_t) * 2 * static_cast<size_t>(path->bindingWord));
  *path = PathRecord{};
}

void FreeCutPaths(PathRecord* paths, int32_t count) {
  if (!paths) return;
  for (int32_t i = 0; i < count; ++i) FreePathContents(&paths[i]);
  FreeCutArray(paths, sizeof(PathRecord) * static_cast<size_t>(count));
}

void FreeCut(CutRecord* cut) {
  if (!cut) return;
  FreeCutPaths(cut->paths, cut->pathCount);
  FreeCutArray(cut, sizeof(CutRecord));
}

void EnterCut(CutRecord* cut, int32_t cutId, PathRecord* paths, int32_t pathCount) {
  cut->handle = static_cast<uint32_t>(cutId);
  cut->paths = paths;
  cut->pathCount = pathCount;
  if (gEngine3D && gEngine3D->cutTable) {
    HashInsert(gEngine3D->cutTable, cut->handle, reinterpret_cast<HashValue>(cut));
  }
}

int32_t ReadKeyBlock(DataReader* reader, uint32_t kind, const char* fileName) {
  return gPathKeyReader(reader, kind, fileName);
}

int32_t EmbeddedBodyId(int32_t nameId, int32_t cutId) {
  const uint32_t offset = (static_cast<uint32_t>(cutId) - 1u) * static_cast<uint32_t>(kCutBodyIdStep);
  return static_cast<int32_t>(static_cast<uint32_t>(nameId) + offset);
}

void SetCutLoadedHook(CutLoadedHook hook) { gCutLoadedHook = hook; }

void SetPathKeyReader(PathKeyReaderFn reader) { gPathKeyReader = reader ? reader : ReadPathKeys; }

// The text has no length of its own: it is parsed from a copy that ends where its braces do.
BodyRecord* ParseEmbeddedBodyText(const char* text, size_t length, int32_t bodyId) {
  if (!text) return nullptr;
  std::vector<char> copy(text, text + length);
  copy.push_back('\0');
  DataReader reader;
  DataReaderInit(&reader, copy.data(), false, length);
  return ParseBodyText(bodyId, &reader);
}

BodyRecord* ReadEmbeddedBodyBinary(const uint8_t* cursor, size_t length, int32_t bodyId) {
  if (!cursor || length == 0) return nullptr;
  DataReader reader;
  DataReaderInit(&reader, const_cast<uint8_t*>(cursor), true, length);
  return ReadBodyBinary(bodyId, &reader);
}

// ---------------------------------------------------------------------------------------------

CutRecord* J3D_LoadCut(int32_t cutId) {
  EngineState3D* e = gEngine3D;
  if (!e) return nullptr;
  if (CutRecord* loaded = GetCutByHandle(static_cast<uint32_t>(cutId))) return loaded;
  if (CutIsMarkedAbsent(cutId)) {
    MarkCutAbsent(cutId);
    return nullptr;
  }
  const ProductRecord* product = Product();
  const std::string path = InPattern(product ? product->objectsTemplate : nullptr, CutFileName(cutId));

  auto* reader = static_cast<DataReader*>(MemAlloc(sizeof(DataReader), 0));
  if (!reader) return nullptr;
  DataReaderOpenFile(reader, path.c_str(), kCutFileTypes, kCutSectionTable, kCutSectionCount);
  if (reader->error) {
    DataReaderClose(reader);
    MemFree(reader, sizeof(DataReader), 0);
    MarkCutAbsent(cutId);
    return nullptr;
  }
  const bool binary = reader->size >= 3 && std::memcmp(reader->base, "CUT", 3) == 0;
  CutRecord* cut = binary ? ReadCutBinary(cutId, reader) : ParseCutText(cutId, reader);
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
  NoteCutFileName(cutId, path, binary);
  if (!cut) {
    MarkCutAbsent(cutId);
    return nullptr;
  }
  if (gCutLoadedHook) gCutLoadedHook();
  return cut;
}
