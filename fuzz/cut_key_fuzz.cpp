// Fuzz target of the cut key reader: the first byte picks the form (even binary, odd text), the
// rest is a key stream (flag word, channels, delta, unused word per key). Every key is read into
// the pools until the stream ends or errs, then the path is set up and every segment evaluated.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/data_reader.h"
#include "core/fixed_math.h"
#include "core/memory.h"
#include "scene/cut_keys.h"

namespace {

template <typename Key>
int32_t Midpoint(const Key* k, int32_t i) {
  return static_cast<int32_t>(k[i].time + (int64_t{k[i + 1].time} - k[i].time) / 2);
}

template <typename Key>
void FreeList(KeyList<Key>* list) {
  if (list->keys) MemFree(list->keys, list->count * sizeof(Key), MemCategoryFlags(kMemCatCut));
  *list = {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    InitMathTables();
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  const bool binary = (data[0] & 1) == 0;
  std::vector<uint8_t> buffer(data + 1, data + size);
  if (!binary) buffer.push_back(0);
  if (buffer.empty()) return 0;

  AllocKeys();
  gCutFrameTime = 0;
  DataReader reader;
  DataReaderInit(&reader, buffer.data(), binary, buffer.size());
  const uint8_t* end = buffer.data() + buffer.size();
  for (int keys = 0; keys < 4096 && reader.error == 0; ++keys) {
    if (binary ? DataReaderGetCursor(&reader) >= end : DataReaderReadChar(&reader, "\x01") == kDataNoChar) break;
    const uint32_t flags = ReadWord(&reader);
    if (reader.error || !ReadCutKey(&reader, flags, "fuzz.cut")) break;
  }

  PathRecord path{};
  CutKeySetup(&path);
  for (int32_t i = 0; i + 1 < path.positions.count; ++i) {
    FixedVector out;
    const PositionKey* k = path.positions.keys;
    PositionKeyEval(i, Midpoint(k, i), &out, k);
  }
  for (int32_t i = 0; i + 1 < path.rotations.count; ++i) {
    Quaternion out;
    const RotationKey* k = path.rotations.keys;
    RotationKeyEval(Midpoint(k, i), i, &out, k, path.rotations.count);
  }
  FreeList(&path.positions);
  FreeList(&path.rotations);
  FreeList(&path.targets);
  FreeList(&path.rolls);
  FreeList(&path.colors);
  FreeList(&path.fieldsOfView);
  return 0;
}
