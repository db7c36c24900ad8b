// The binary form of a cut file (ReadCutBinary): "CUT1", an info or ignored tag, the version, the
// path count and the paths, each "PATH" ... "/PAT" with its optional name, constraints and
// embedded body, its notes and its key blocks, then "/CUT". The paths are read straight into the
// cut's array. Called by J3D_LoadCut. Every count is checked against the bytes still unread before
// it sizes an array, and a missing required tag fails the load.
#include <cstring>
#include <string>

#include "core/data_reader.h"
#include "core/memory.h"
#include "scene/body_records.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/cut_reading.h"
#include "scene/engine_state.h"
#include "scene/scene.h"

namespace {

constexpr int32_t kAnyStartTag = static_cast<int32_t>(kCutSectionCount);
constexpr int32_t kEndTag = static_cast<int32_t>(kCutSectionCount);
// Bytes a path takes at the least: "PATH", serial, a one-byte name, mask, F, flags, note count,
// key block count and "/PAT".
constexpr size_t kMinPathBytes = 4 + 4 + 1 + 4 + 4 + 4 + 4 + 4 + 4;
constexpr int32_t kNamedBodiesVersion = 6;

struct BinaryRead {
  DataReader* reader;
  int32_t cutId;
  std::string fileName;
  CutRecord* cut;
};

size_t Remaining(const DataReader* reader) {
  if (!reader->limit) return SIZE_MAX;
  return reader->cursor < reader->limit ? static_cast<size_t>(reader->limit - reader->cursor) : 0;
}

bool CountFits(const DataReader* reader, uint32_t count, size_t bytesEach) {
  return count <= static_cast<uint32_t>(INT32_MAX) && count <= Remaining(reader) / bytesEach;
}

// The end tag of `row` must come next.
bool EndTag(DataReader* reader, int32_t row) { return DataReaderNextSection(reader, row) == kEndTag; }

// The next start tag, or 0 with the cursor and the error flag as they were when none stands there.
int32_t OptionalTag(DataReader* reader) {
  if (reader->error) return 0;
  const int32_t row = DataReaderNextSection(reader, kAnyStartTag);
  if (reader->error) {
    reader->error = 0;
    return 0;
  }
  return row;
}

bool ReadName(BinaryRead* b, PathRecord* path) {
  const std::string name = ReadString(b->reader);
  path->name = ReplaceString(path->name, name.c_str());
  return !b->reader->error && EndTag(b->reader, kCutRowName);
}

bool ReadConstraints(BinaryRead* b, PathRecord* path) {
  DataReader* r = b->reader;
  const uint32_t count = ReadWord(r);
  if (r->error || !CountFits(r, count, 8)) return false;
  path->bindingWord = count;
  if (count) {
    path->binding = static_cast<int32_t*>(AllocCutArray(sizeof(int32_t) * 2 * count, b->fileName));
    for (uint32_t i = 0; i < count; ++i) {
      path->binding[2 * i] = ReadInt(r);
      path->binding[2 * i + 1] = ReadFixed(r);
    }
  }
  return !r->error && EndTag(r, kCutRowConstraints);
}

// The body from its "BOB1" tag on, then past the "/BOB" that ends it.
bool ReadBody(BinaryRead* b, PathRecord* path) {
  DataReader* r = b->reader;
  const int32_t bodyId = EmbeddedBodyId(static_cast<int32_t>(path->lookupWord), b->cutId);
  path->lookupWord = static_cast<uint32_t>(bodyId);
  const uint8_t* tag = r->cursor - 4;
  BodyRecord* body = ReadEmbeddedBodyBinary(tag, Remaining(r) + 4, bodyId);
  if (!body) return false;
  if (path->name) body->name = ReplaceString(body->name, path->name);
  DataReaderSeekMarker(r);
  return !r->error;
}

bool ReadNotes(BinaryRead* b, PathRecord* path) {
  DataReader* r = b->reader;
  const uint32_t count = ReadWord(r);
  if (r->error) return false;
  if (count == 0) return true;
  // A note takes at least its time and an empty text.
  if (!CountFits(r, count, 5)) return false;
  if (DataReaderNextSection(r, kAnyStartTag) != kCutRowNotes) return false;
  path->notes = static_cast<CutNote*>(AllocCutArray(sizeof(CutNote) * count, b->fileName));
  path->noteCount = static_cast<int32_t>(count);
  for (uint32_t i = 0; i < count && !r->error; ++i) {
    path->notes[i].time = ReadInt(r);
    const std::string text = ReadString(r);
    if (!r->error) path->notes[i].text = DuplicateString(text.c_str());
  }
  return !r->error && EndTag(r, kCutRowNotes);
}

bool ReadKeyBlocks(BinaryRead* b) {
  DataReader* r = b->reader;
  const uint32_t blocks = ReadWord(r);
  AllocKeys();
  if (r->error) return false;
  if (blocks == 0) return true;
  if (DataReaderNextSection(r, kAnyStartTag) != kCutRowStates) return false;
  for (uint32_t k = 0; k < blocks && !r->error; ++k) {
    const uint32_t kind = ReadWord(r) | 0x80u;
    if (r->error || !ReadKeyBlock(r, kind, b->fileName.c_str())) break;
  }
  return !r->error && EndTag(r, kCutRowStates);
}

bool ReadPath(BinaryRead* b, int32_t version, PathRecord* path) {
  DataReader* r = b->reader;
  if (DataReaderNextSection(r, kAnyStartTag) != kCutRowPath) return false;
  path->serial = ReadInt(r);
  std::string bodyName;
  int32_t bodyId = 0;
  if (version >= kNamedBodiesVersion) bodyName = ReadString(r);
  else bodyId = ReadInt(r);
  path->pathWord = ReadWord(r);
  path->loaderWord = ReadWord(r);
  path->flags = ReadWord(r);
  if (r->error) return false;
  if (version < kNamedBodiesVersion) {
    path->flags |= kPathNamesBody;
  } else if (path->flags & kPathNamesCut) {
    bodyId = B3D_GetCutID(bodyName.c_str());
  } else {
    path->flags |= kPathNamesBody;
    bodyId = B3D_GetBodyID(bodyName.c_str());
  }
  path->lookupWord = static_cast<uint32_t>(bodyId);
  if (path->flags & kPathFlagS) b->cut->originFlags |= kCutAllPathsLoop;
  gCutFrameTime = 0;

  int32_t tag = OptionalTag(r);
  if (tag == kCutRowName) {
    if (!ReadName(b, path)) return false;
    tag = OptionalTag(r);
  }
  if (tag == kCutRowConstraints) {
    if (!ReadConstraints(b, path)) return false;
    tag = OptionalTag(r);
  }
  if (tag == kCutRowBody && !ReadBody(b, path)) return false;

  if (!ReadNotes(b, path) || !ReadKeyBlocks(b)) return false;
  if (!EndTag(r, kCutRowPath)) return false;
  CutKeySetup(path);
  return true;
}

}  // namespace

CutRecord* ReadCutBinary(int32_t cutId, DataReader* reader) {
  DataReaderSetBinary(reader, true);
  BinaryRead b{reader, cutId, CutMessageFileName(cutId), nullptr};
  b.cut = AllocCutRecord(b.fileName);
  PathRecord* paths = nullptr;
  uint32_t count = 0;
  bool ok = DataReaderNextSection(reader, kAnyStartTag) == kCutRowFile;
  if (ok) {
    // "INFO" with its text; any other tag of the table (or "/CUT") is passed over.
    const int32_t second = DataReaderNextSection(reader, kCutRowFile);
    if (reader->error) ok = false;
    else if (second == kCutRowInfo) ok = (ReadString(reader), !reader->error) && EndTag(reader, kCutRowInfo);
  }
  const int32_t version = ok ? ReadInt(reader) : 0;
  if (ok) {
    count = ReadWord(reader);
    ok = !reader->error && CountFits(reader, count, kMinPathBytes);
  }
  if (ok && count) paths = AllocCutPaths(static_cast<int32_t>(count), b.fileName);
  uint32_t read = 0;
  for (; ok && read < count; ++read) {
    PathRecord* path = &paths[read];
    path->loaderWord = static_cast<uint32_t>(-1);
    ok = ReadPath(&b, version, path);
  }
  if (ok) ok = EndTag(reader, kCutRowFile);
  if (!ok) {
    FreeCutPaths(paths, static_cast<int32_t>(count));
    FreeCut(b.cut);
    DataReaderClose(reader);
    return nullptr;
  }
  EnterCut(b.cut, cutId, paths, static_cast<int32_t>(count));
  DataReaderClose(reader);
  return b.cut;
}
