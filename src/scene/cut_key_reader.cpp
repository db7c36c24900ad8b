// The cut key reader: one key of a path, as the text and binary cut readers find it after its
// flag word, appended to the key pools, and a key block (a count, then per key its flag word and
// the key). Both file forms come through the same data reader. It never writes past a pool's
// committed records and never lets a pool reach its reserved size.
#include <cstring>

#include "core/data_reader.h"
#include "core/memory.h"
#include "scene/cut_keys.h"

namespace {

// Flags that select the channels of a key.
constexpr uint32_t kReadNoPosition = 0x10;
constexpr uint32_t kReadTargetForm = 0x8;
constexpr uint32_t kReadNoTarget = 0x40;
constexpr uint32_t kReadNoRollOrRotation = 0x20;
constexpr uint32_t kReadColor = 0x200;
constexpr uint32_t kReadNoColor = 0x400;
constexpr uint32_t kReadFov = 0x800;
constexpr uint32_t kReadNoFov = 0x1000;

constexpr int64_t kTwoPiFixed = 411774;

// The next record of a pool with its time and flags set, or null when the pool is full.
template <typename Key>
Key* AppendKey(int index, uint32_t flags, const char* fileName) {
  KeyPool* pool = &gKeyPools[index];
  if (!pool->records || pool->used + 1 >= kKeyPoolRecords) return nullptr;
  if (pool->used >= pool->capacity) {
    const size_t oldBytes = static_cast<size_t>(pool->capacity) * sizeof(Key);
    const size_t newBytes = oldBytes + kKeyPoolStep * sizeof(Key);
    void* grown = MemRealloc(pool->records, oldBytes, newBytes, kKeyPoolCommitFlags);
    if (!grown) {
      CallLowMemoryHandler();
      grown = MemRealloc(pool->records, oldBytes, newBytes, kKeyPoolCommitFlags);
    }
    if (!grown) SceneFatalExit(3, fileName);
    pool->records = static_cast<uint8_t*>(grown);
    pool->capacity += kKeyPoolStep;
  }
  Key* key = reinterpret_cast<Key*>(pool->records) + pool->used++;
  std::memset(static_cast<void*>(key), 0, sizeof(Key));
  key->time = gCutFrameTime;
  key->flags = flags;
  return key;
}

template <typename Key>
void ReadCurve(DataReader* reader, Key* key) {
  key->tension = ReadFixed(reader);
  key->continuity = ReadFixed(reader);
  key->bias = ReadFixed(reader);
  key->easeIn = ReadFixed(reader);
  key->easeOut = ReadFixed(reader);
}

int32_t Negate(int32_t v) { return static_cast<int32_t>(0u - static_cast<uint32_t>(v)); }

}  // namespace

int32_t ReadCutKey(DataReader* reader, uint32_t keyFlags, const char* fileName) {
  auto full = [reader] {
    reader->error = 1;
    return 0;
  };
  if (!(keyFlags & kReadNoPosition)) {
    PositionKey* key = AppendKey<PositionKey>(kPoolPosition, keyFlags, fileName);
    if (!key) return full();
    key->position.x = ReadInt(reader);
    key->position.y = ReadInt(reader);
    key->position.z = ReadInt(reader);
    if (keyFlags & kKeyHermite) ReadCurve(reader, key);
  }
  if (keyFlags & kReadTargetForm) {
    if (!(keyFlags & kReadNoTarget)) {
      PositionKey* key = AppendKey<PositionKey>(kPoolTarget, keyFlags, fileName);
      if (!key) return full();
      key->position.x = ReadInt(reader);
      key->position.y = ReadInt(reader);
      key->position.z = ReadInt(reader);
    }
    if (!(keyFlags & kReadNoRollOrRotation)) {
      RollKey* key = AppendKey<RollKey>(kPoolRoll, keyFlags, fileName);
      if (!key) return full();
      key->angle = Negate(ReadFixed(reader));
    }
  } else if (keyFlags & kKeyAxisAngle) {
    RotationKey* key = AppendKey<RotationKey>(kPoolRotation, keyFlags & ~kReadNoRollOrRotation, fileName);
    if (!key) return full();
    if (keyFlags & kReadNoRollOrRotation) {
      key->axis.x = -kFixedOne;  // the identity: no turn about the first axis
    } else {
      key->angles[0] = ReadFixed(reader);
      key->axis.x = Negate(ReadFixed(reader));
      key->axis.y = Negate(ReadFixed(reader));
      key->axis.z = Negate(ReadFixed(reader));
      if (keyFlags & kKeyTcb) ReadCurve(reader, key);
    }
  } else if (!(keyFlags & (kReadNoRollOrRotation | kReadColor))) {
    RotationKey* key = AppendKey<RotationKey>(kPoolRotation, keyFlags, fileName);
    if (!key) return full();
    for (int32_t& angle : key->angles) angle = ReadFixed(reader);
  }
  if ((keyFlags & kReadColor) && !(keyFlags & kReadNoColor)) {
    ColorKey* key = AppendKey<ColorKey>(kPoolColor, keyFlags, fileName);
    if (!key) return full();
    key->red = ReadFixed(reader);
    key->green = ReadFixed(reader);
    key->blue = ReadFixed(reader);
  }
  if ((keyFlags & kReadFov) && !(keyFlags & kReadNoFov)) {
    FovKey* key = AppendKey<FovKey>(kPoolFov, keyFlags, fileName);
    if (!key) return full();
    key->fov = static_cast<int32_t>(static_cast<int64_t>(ReadFixed(reader)) * kFixedOne / kTwoPiFixed);
  }
  gCutFrameTime = static_cast<int32_t>(static_cast<uint32_t>(gCutFrameTime) + static_cast<uint32_t>(ReadInt(reader)));
  ReadInt(reader);  // a word of the key no one uses
  return 1;
}

int32_t ReadPathKeys(DataReader* reader, uint32_t kind, const char* fileName) {
  (void)kind;
  const int32_t count = ReadInt(reader);
  for (int32_t k = 0; k < count && !reader->error; ++k) {
    const uint32_t flags = ReadWord(reader);
    if (reader->error) break;
    ReadCutKey(reader, flags, fileName);
  }
  return reader->error ? 0 : 1;
}
