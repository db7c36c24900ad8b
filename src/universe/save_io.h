// The word-level serialiser the universe's save records share: one routine per field kind that
// writes when the stream is written and reads when it is read, so a record's writer and reader
// are one list of fields and cannot drift apart. Used by the universe section and the take
// records; a short read or a failed write sets `ok` to false and every later field is skipped.
#pragma once

#include <cstdint>

struct FileObject;
struct SpaceObject;
struct InstanceRecord;
struct SceneRecord;

struct SaveIo {
  FileObject* file;
  bool write;
  bool ok;
};

// Big-endian i32 and u16.
void IoWord(SaveIo& io, uint32_t& value);
void IoWord(SaveIo& io, int32_t& value);
void IoWords(SaveIo& io, uint32_t* values, int count);
void IoWords(SaveIo& io, int32_t* values, int count);
void IoHalf(SaveIo& io, uint16_t& value);
// A 16-bit boolean: written 0 or 1, read back 1 for any non-zero value.
void IoBool(SaveIo& io, uint32_t& value);
// A version word: written 2; read, true only when it is 2 (`ok` is untouched either way).
bool IoVersion(SaveIo& io);
// Four tag bytes; reading, false (and `ok` false) unless they match.
bool IoTag(SaveIo& io, const char* tag);
// Object references are ids (0 none); an id not in the universe reads as none.
void IoObject(SaveIo& io, SpaceObject*& object);
// Engine handles: an instance marked not to be saved is written 0. A found instance or camera is
// marked as restored, so the engine keeps it after the load.
void IoInstance(SaveIo& io, InstanceRecord*& instance);
void IoScene(SaveIo& io, SceneRecord*& scene);
// A camera, by the handle of its instance (written whatever its flags); a handle that names no
// camera reads as none.
void IoCamera(SaveIo& io, InstanceRecord*& camera);
