// The text form of a cut file (ParseCutText): "VER:", then paths opened by "P" with their letter
// lists ("CFENKMLTclbjfsp") and their key blocks in braces. Paths and the notes of the path being
// read are collected in fixed tables shared by every text parse; a path's own arrays are made at
// their exact sizes. Called by J3D_LoadCut; every scan it makes stops at the end of the data.
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

constexpr const char* kPathLetters = "CFENKMLTclbjfsp";

PathRecord gTextPaths[kCutTextMaxPaths];
CutNote gTextNotes[kCutTextMaxNotes];

struct TextParse {
  DataReader* reader;
  int32_t cutId;
  std::string fileName;
  CutRecord* cut;
  bool failed;  // the whole parse fails (null), not only the path list
};

size_t Remaining(const DataReader* reader) {
  if (!reader->limit) return std::strlen(reinterpret_cast<const char*>(reader->cursor));
  return reader->cursor < reader->limit ? static_cast<size_t>(reader->limit - reader->cursor) : 0;
}

// Offset of the first `c` in the unread text, or -1 when the text ends without one.
ptrdiff_t FindInText(const DataReader* reader, char c) {
  const size_t length = Remaining(reader);
  const void* found = std::memchr(reader->cursor, c, length);
  if (!found) return -1;
  const ptrdiff_t at = static_cast<const uint8_t*>(found) - reader->cursor;
  // The text's terminator ends it even where the data goes on.
  if (std::memchr(reader->cursor, 0, static_cast<size_t>(at))) return -1;
  return at;
}

// "T": times until -1, each followed by its text; the 101st note fails the parse.
void ReadNotes(TextParse* p, PathRecord* path) {
  DataReader* r = p->reader;
  int32_t count = 0;
  for (;;) {
    const int32_t time = ReadInt(r);
    if (r->error || time == -1) break;
    if (count == kCutTextMaxNotes) {
      p->failed = true;
      for (int32_t i = 0; i < count; ++i) gTextNotes[i].text = FreeString(gTextNotes[i].text);
      return;
    }
    const std::string text = ReadString(r);
    gTextNotes[count].time = time;
    gTextNotes[count].text = text.empty() ? nullptr : DuplicateString(text.c_str());
    ++count;
  }
  // A second "T" replaces the notes of the first.
  if (path->notes) {
    for (int32_t i = 0; i < path->noteCount; ++i) FreeString(path->notes[i].text);
    FreeCutArray(path->notes, sizeof(CutNote) * static_cast<size_t>(path->noteCount));
    path->notes = nullptr;
  }
  path->noteCount = count;
  if (count == 0) return;
  path->notes = static_cast<CutNote*>(AllocCutArray(sizeof(CutNote) * static_cast<size_t>(count), p->fileName));
  std::memcpy(path->notes, gTextNotes, sizeof(CutNote) * static_cast<size_t>(count));
}

// "K": a count and that many (integer, fixed) pairs. A count the rest of the text cannot hold
// fails the parse before anything is allocated.
void ReadConstraints(TextParse* p, PathRecord* path) {
  DataReader* r = p->reader;
  const int32_t count = ReadInt(r);
  if (r->error) return;
  // A pair takes at least "0;0;".
  if (count < 0 || static_cast<size_t>(count) > Remaining(r) / 4) {
    p->failed = true;
    return;
  }
  FreeCutArray(path->binding, sizeof(int32_t) * 2 * static_cast<size_t>(path->bindingWord));
  path->binding = nullptr;
  path->bindingWord = static_cast<uint32_t>(count);
  if (count == 0) return;
  const size_t bytes = sizeof(int32_t) * 2 * static_cast<size_t>(count);
  path->binding = static_cast<int32_t*>(AllocCutArray(bytes, p->fileName));
  for (int32_t i = 0; i < count; ++i) {
    path->binding[2 * i] = ReadInt(r);
    path->binding[2 * i + 1] = ReadFixed(r);
  }
}

// "L": the embedded body of the path, in braces or up to the next "{".
void ReadEmbeddedBody(TextParse* p, PathRecord* path, const std::string& nameToken) {
  DataReader* r = p->reader;
  const int32_t bodyId = EmbeddedBodyId(B3D_GetBodyID(nameToken.c_str()), p->cutId);
  path->lookupWord = static_cast<uint32_t>(bodyId);
  const bool braced = DataReaderReadChar(r, "{") == '{';
  const ptrdiff_t end = FindInText(r, braced ? '}' : '{');
  if (end < 0) {
    r->error = 1;  // a body that never ends
    return;
  }
  const char* text = reinterpret_cast<const char*>(r->cursor);
  if (!braced || !B3D_FindBody(bodyId)) ParseEmbeddedBodyText(text, static_cast<size_t>(end), bodyId);
  DataReaderSetCursor(r, r->cursor + end + 1);
}

// The letter list of one path, up to "E" or the first character outside the set.
void ReadPathLetters(TextParse* p, PathRecord* path, const std::string& nameToken) {
  DataReader* r = p->reader;
  while (!r->error && !p->failed) {
    const char letter = DataReaderReadChar(r, kPathLetters);
    if (letter == kDataNoChar || letter == 'E' || !std::strchr(kPathLetters, letter)) return;
    switch (letter) {
      case 'C': path->pathWord = ReadWord(r); break;
      case 'F': path->loaderWord = static_cast<uint32_t>(ReadInt(r)); break;
      case 'N': {
        const std::string name = ReadString(r);
        path->name = ReplaceString(path->name, name.c_str());
        break;
      }
      case 'K': ReadConstraints(p, path); break;
      case 'T': ReadNotes(p, path); break;
      case 'M':
        for (int i = 0; i < 9; ++i) ReadFixed(r);
        break;
      case 'L': ReadEmbeddedBody(p, path, nameToken); break;
      case 'c': path->flags |= kPathFlagC; break;
      case 'f': path->flags |= kPathFlagF; break;
      case 'j': path->flags = (path->flags & ~kPathNamesBody) | kPathNamesCut; break;
      case 'l':
        path->flags |= kPathFlagL;
        if (DataReaderReadChar(r, "d") == 'd') path->flags |= kPathFlagLD;
        else if (DataReaderReadChar(r, "p") == 'p') path->flags |= kPathFlagLP;
        else if (DataReaderReadChar(r, "s") == 's') path->flags |= kPathFlagLS;
        break;
      case 'p': path->flags |= kPathLoops; break;
      case 's':
        path->flags |= kPathFlagS;
        p->cut->originFlags |= kCutAllPathsLoop;
        break;
      default: break;  // "b" changes nothing
    }
  }
}

// The key blocks of a path: "{", the kind (from version 2 on), the block, "}".
void ReadKeyBlocks(TextParse* p, int32_t version) {
  DataReader* r = p->reader;
  while (!r->error && DataReaderReadChar(r, "{") == '{') {
    const uint32_t kind = version < 2 ? 1u : (static_cast<uint32_t>(ReadInt(r)) | 0x80u);
    if (!ReadKeyBlock(r, kind, p->fileName.c_str())) return;
    if (DataReaderReadChar(r, "}") != '}') {
      r->error = 1;
      p->failed = true;
      return;
    }
  }
}

}  // namespace

CutRecord* ParseCutText(int32_t cutId, DataReader* reader) {
  DataReaderSetBinary(reader, false);
  TextParse p{reader, cutId, CutMessageFileName(cutId), nullptr, false};
  p.cut = AllocCutRecord(p.fileName);
  if (!reader->error && DataReaderNextSection(reader, static_cast<int32_t>(kCutSectionCount)) != kCutRowVersion) {
    reader->error = 1;
    p.failed = true;
  }
  const int32_t version = p.failed ? 0 : ReadInt(reader);
  int32_t count = 0;
  char letter = p.failed ? kDataNoChar : DataReaderReadChar(reader, "P");
  while (letter == 'P' && !reader->error && !p.failed) {
    if (count == kCutTextMaxPaths) {
      p.failed = true;
      break;
    }
    PathRecord* path = &gTextPaths[count];
    *path = PathRecord{};
    path->serial = ReadInt(reader);
    if (DataReaderReadChar(reader, "B") != 'B') {
      reader->error = 1;
      break;
    }
    const std::string nameToken = ReadString(reader);
    path->lookupWord = static_cast<uint32_t>(kCutBodyUnset);
    path->loaderWord = static_cast<uint32_t>(-1);
    path->flags = kPathDefaultFlags;
    gCutFrameTime = 0;
    ReadPathLetters(&p, path, nameToken);
    if (path->flags & kPathNamesCut) {
      path->lookupWord = static_cast<uint32_t>(B3D_GetCutID(nameToken.c_str()));
    } else if (static_cast<int32_t>(path->lookupWord) == kCutBodyUnset) {
      path->lookupWord = static_cast<uint32_t>(B3D_GetBodyID(nameToken.c_str()));
    }
    AllocKeys();
    if (!p.failed) ReadKeyBlocks(&p, version);
    CutKeySetup(path);
    ++count;
    if (p.failed) break;
    letter = DataReaderReadChar(reader, "P");
  }

  CutRecord* cut = p.cut;
  if (p.failed) {
    for (int32_t i = 0; i < count; ++i) FreePathContents(&gTextPaths[i]);
    FreeCut(cut);
    DataReaderClose(reader);
    return nullptr;
  }
  PathRecord* paths = AllocCutPaths(count, p.fileName);
  if (count) std::memcpy(static_cast<void*>(paths), gTextPaths, sizeof(PathRecord) * static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) gTextPaths[i] = PathRecord{};
  EnterCut(cut, cutId, paths, count);
  DataReaderClose(reader);
  return cut;
}
