// The field serialisers of the universe's save records (see save_io.h). Called by the universe
// section and the take records; never allocates, and never reads past what the stream holds.
#include "universe/save_io.h"

#include "core/file_object.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

bool ReadExact(SaveIo& io, uint8_t* bytes, size_t count) {
  if (!io.ok) return false;
  if (FileReadBytes(io.file, bytes, count) != count) io.ok = false;
  return io.ok;
}

}  // namespace

void IoWord(SaveIo& io, uint32_t& value) {
  if (!io.ok) return;
  if (io.write) {
    io.ok = FileWriteInt32BE(io.file, value);
    return;
  }
  uint8_t b[4];
  if (ReadExact(io, b, 4)) {
    value = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
  }
}

void IoWord(SaveIo& io, int32_t& value) {
  auto word = static_cast<uint32_t>(value);
  IoWord(io, word);
  if (!io.write) value = static_cast<int32_t>(word);
}

void IoWords(SaveIo& io, uint32_t* values, int count) {
  for (int i = 0; i < count; ++i) IoWord(io, values[i]);
}

void IoWords(SaveIo& io, int32_t* values, int count) {
  for (int i = 0; i < count; ++i) IoWord(io, values[i]);
}

void IoHalf(SaveIo& io, uint16_t& value) {
  if (!io.ok) return;
  if (io.write) {
    io.ok = FileWriteInt16BE(io.file, value);
    return;
  }
  uint8_t b[2];
  if (ReadExact(io, b, 2)) value = static_cast<uint16_t>((b[0] << 8) | b[1]);
}

void IoBool(SaveIo& io, uint32_t& value) {
  uint16_t half = value != 0 ? 1 : 0;
  IoHalf(io, half);
  if (!io.write && io.ok) value = half != 0 ? 1 : 0;
}

bool IoVersion(SaveIo& io) {
  uint32_t version = 2;
  IoWord(io, version);
  return io.ok && version == 2;
}

bool IoTag(SaveIo& io, const char* tag) {
  if (!io.ok) return false;
  if (io.write) {
    io.ok = FileWriteBytes(io.file, tag, 4) == 4;
    return io.ok;
  }
  uint8_t b[4];
  if (!ReadExact(io, b, 4)) return false;
  for (int i = 0; i < 4; ++i) {
    if (b[i] != static_cast<uint8_t>(tag[i])) io.ok = false;
  }
  return io.ok;
}

void IoObject(SaveIo& io, SpaceObject*& object) {
  uint32_t id = object ? object->id : 0;
  IoWord(io, id);
  if (!io.write) object = io.ok && id != 0 ? FindObjectById(gUniverse, id) : nullptr;
}

void IoInstance(SaveIo& io, InstanceRecord*& instance) {
  uint32_t handle = instance && !(instance->flags2 & kInst2NotSaved) ? instance->handle : 0;
  IoWord(io, handle);
  if (io.write) return;
  instance = io.ok && handle != 0 ? GetInstanceByHandle(handle) : nullptr;
  if (instance) instance->flags2 |= kInst2LoadKeep80;
}

void IoScene(SaveIo& io, SceneRecord*& scene) {
  uint32_t handle = scene ? scene->handle : 0;
  IoWord(io, handle);
  if (!io.write) scene = io.ok && handle != 0 ? GetSceneByHandle(handle) : nullptr;
}

void IoCamera(SaveIo& io, InstanceRecord*& camera) {
  uint32_t handle = camera ? camera->handle : 0;
  IoWord(io, handle);
  if (io.write) return;
  CameraRecord* record = io.ok && handle != 0 ? GetCameraByHandle(handle) : nullptr;
  camera = record ? &record->instance : nullptr;
  if (camera) camera->flags2 |= kInst2LoadKeep80;
}
