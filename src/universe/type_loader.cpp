// The type-file loader (see type_loader.h): the file order, the auxiliary files' readers, the
// Components generation with its handled-body list and the generated file's writer, and the
// type-data reset. Class rows are read by type_class_rows.cpp. Every file opens through
// OpenTypeFile; every count is checked against the unread data before it sizes anything.
#include "universe/type_loader.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/type_files.h"
#include "scene/body_cache.h"
#include "scene/body_names.h"
#include "scene/body_text.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/scene.h"
#include "universe/body_components.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

VideoTable gVideoTable = {};
VideoListTable gVideoListTable = {};

namespace {

constexpr uint32_t kUniverseMemory = MemCategoryFlags(kMemCatUniverse);
constexpr const char* kTypeFolder = "types\\";
constexpr const char* kComponentsName = "Components";
constexpr const char* kDefaultTypeTemplate = "types\\%s.txt";
// Dummy rows whose flags name ship groups are dock ports, with animation segments.
constexpr uint32_t kDockPortGroupBits = 0xFFFF;
constexpr int32_t kDummyKindDoorway = 2;
constexpr int32_t kDoorwayCutSlot = 3;
constexpr int32_t kFlightAngleWrap = 32768;
constexpr int32_t kFullTurn = 65536;
constexpr const char* kNoCharToStep = "\x01";  // DataReaderReadChar only looks

std::string gFailedName;

// ---------------------------------------------------------------------------------------------
// Owned arrays: read into vectors, then kept as exact accounted copies.

template <typename T>
T* KeepArray(const std::vector<T>& items) {
  if (items.empty()) return nullptr;
  const size_t bytes = sizeof(T) * items.size();
  auto* kept = static_cast<T*>(MemAlloc(bytes, kUniverseMemory));
  if (kept) std::memcpy(static_cast<void*>(kept), items.data(), bytes);
  return kept;
}

template <typename T>
void FreeArray(T** items, int32_t count) {
  if (*items) MemFree(*items, sizeof(T) * static_cast<size_t>(count), kUniverseMemory);
  *items = nullptr;
}

// The array and its count, or neither when the copy cannot be made.
template <typename T>
void Keep(const std::vector<T>& items, T** array, int32_t* count) {
  *array = KeepArray(items);
  *count = *array ? static_cast<int32_t>(items.size()) : 0;
}

void FreeWordList(WordList* list) {
  FreeArray(&list->values, list->count);
  list->count = 0;
}

void FreeWordLists(WordList** lists, int32_t* count) {
  for (int32_t i = 0; *lists && i < *count; ++i) FreeWordList(&(*lists)[i]);
  FreeArray(lists, *count);
  *count = 0;
}

// A count-prefixed list of numbers; false when the data ends inside it.
bool ReadNumberList(DataReader* r, WordList* list) {
  const int32_t count = CountInData(r, ReadInt(r), 1, 0);
  std::vector<int32_t> values;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t value = ReadInt(r);
    if (r->error) break;
    values.push_back(value);
  }
  if (r->error && values.empty()) return false;
  Keep(values, &list->values, &list->count);
  return true;
}

void CloseTypeFile(DataReader* reader) {
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
}

// ---------------------------------------------------------------------------------------------
// The auxiliary files.

void ReadGlobals(DataReader* r) {
  const int32_t count = CountInData(r, ReadInt(r), 2, 0);
  std::vector<GlobalsEntry> entries;
  for (int32_t i = 0; i < count; ++i) {
    GlobalsEntry e;
    e.id = ReadEnum(kGlobalsSettingNames, r);
    e.value = ReadInt(r);
    if (r->error) break;
    entries.push_back(e);
  }
  Keep(entries, &gGlobalsTable.entries, &gGlobalsTable.count);
}

// A flight angle into -32767..32768.
int32_t WrapFlightAngle(int32_t angle) { return angle > kFlightAngleWrap ? angle - kFullTurn : angle; }

void ReadFlight(DataReader* r) {
  const int32_t groups = CountInData(r, ReadInt(r), 4 * kFlightViewRowsPerGroup, 0);
  std::vector<FlightViewRow> rows;
  for (int32_t g = 0; g < groups; ++g) {
    FlightViewRow group[kFlightViewRowsPerGroup];
    for (FlightViewRow& row : group) {
      for (int32_t& angle : row.angle) angle = WrapFlightAngle(ReadFixed(r));
      row.flag = ReadInt(r);
    }
    if (r->error) break;
    rows.insert(rows.end(), group, group + kFlightViewRowsPerGroup);
  }
  int32_t count = 0;
  Keep(rows, &gFlightViewTable.rows, &count);
  gFlightViewTable.groupCount = count / kFlightViewRowsPerGroup;
}

void ReadVideos(DataReader* r) {
  const int32_t count = CountInData(r, ReadInt(r), 11, 0);
  std::vector<VideoRow> rows;
  for (int32_t i = 0; i < count; ++i) {
    VideoRow row{};
    for (int32_t& id : row.id) {
      id = ReadInt(r);
      if (id > 0) row.idCount++;
    }
    for (int32_t& value : row.value) value = ReadInt(r);
    if (r->error) break;
    rows.push_back(row);
  }
  Keep(rows, &gVideoTable.rows, &gVideoTable.count);
}

void ReadVideoLists(DataReader* r) {
  const int32_t count = CountInData(r, ReadInt(r), 1, 0);
  std::vector<WordList> lists;
  for (int32_t i = 0; i < count; ++i) {
    WordList list{};
    if (!ReadNumberList(r, &list)) break;
    lists.push_back(list);
  }
  gVideoListTable.lists = KeepArray(lists);
  if (gVideoListTable.lists) {
    gVideoListTable.count = static_cast<int32_t>(lists.size());
  } else {
    for (WordList& list : lists) FreeWordList(&list);
  }
}

// The cut's events "start %d" and "end %d" per segment, from every path with events; the last
// such path decides. Rows without a usable cut get five (0, 1) segments.
void DeriveDockPortSegments(DummyRow* row, int32_t firstCut) {
  for (DummySegment& segment : row->segment) segment = {0, 1};
  const CutRecord* cut = row->cutCount > 0 ? J3D_LoadCut(firstCut) : nullptr;
  if (!cut) return;
  for (int32_t p = 0; p < cut->pathCount && cut->paths; ++p) {
    const PathRecord& path = cut->paths[p];
    DummySegment segments[kDummySegmentCapacity];
    bool pathNamesSegments = false;
    for (int32_t i = 1; i <= kDummySegmentCapacity; ++i) {
      char start[16], end[16];
      std::snprintf(start, sizeof start, "start %d", static_cast<int>(i));
      std::snprintf(end, sizeof end, "end %d", static_cast<int>(i));
      DummySegment segment{0, 0};
      bool found = false;
      for (int32_t n = 0; n < path.noteCount && path.notes; ++n) {
        const CutNote& note = path.notes[n];
        if (!note.text) continue;
        if (TextEqualsIgnoringCase(note.text, start)) {
          segment.start = note.time;
          found = true;
        } else if (TextEqualsIgnoringCase(note.text, end)) {
          segment.end = note.time > 0 ? note.time : 1;
          found = true;
        }
      }
      if (!found && i > 1) segment = segments[i - 2];
      segments[i - 1] = segment;
      pathNamesSegments = pathNamesSegments || found;
    }
    // Only a path whose events name segments replaces what an earlier path gave.
    if (pathNamesSegments) std::memcpy(row->segment, segments, sizeof segments);
  }
}

void ReadDummies(DataReader* r) {
  std::vector<DummyRow> kinds[kDummyKindCount];
  while (!r->error) {
    const int32_t kind = ReadEnum(kDummyKindNames, r);
    if (r->error) break;
    if (kind < 0 || kind >= kDummyKindCount) continue;  // the next token is read as a kind
    const int32_t count = CountInData(r, ReadInt(r), 2, 1);
    for (int32_t i = 0; i < count && !r->error; ++i) {
      DummyRow row{};
      row.body = ReadBodyName(r);
      row.flags = ReadEnumWord(r, kDummyFlagNames, 0);
      const int32_t cuts = CountInData(r, ReadInt(r), 1, 1);
      int32_t firstCut = 0;
      for (int32_t c = 0; c < cuts && !r->error; ++c) {
        const int32_t status = ReadEnum(kDummyStatusNames, r);
        const int32_t cut = ReadCutName(r);
        if (c == 0) firstCut = cut;
        if (status >= 0 && status < kDummyCutSlotCapacity) row.cut[status] = cut;
      }
      row.cutCount = cuts;
      if (kind == kDummyKindGun) {
        const int32_t parts = CountInData(r, ReadInt(r), 1, 1);
        for (int32_t g = 0; g < parts && !r->error; ++g) {
          DummyGunPart part;
          part.body = ReadBodyName(r);
          part.flags = ReadEnumWord(r, kGunPartFlagNames, 0);
          if (row.gunPartCount < kDummyGunPartCapacity) row.gunPart[row.gunPartCount++] = part;
        }
      }
      if (r->error) break;
      if (kind == 0 && (row.flags & kDockPortGroupBits)) DeriveDockPortSegments(&row, firstCut);
      kinds[kind].push_back(row);
    }
  }
  for (int32_t k = 0; k < kDummyKindCount; ++k) Keep(kinds[k], &gDummyTable.kinds[k].rows, &gDummyTable.kinds[k].count);
}

void ReadBodies(DataReader* r) {
  while (!r->error) {
    const int32_t kind = ReadEnum(kBodyListKindNames, r);
    const int32_t count = CountInData(r, ReadInt(r), 0, 1);
    std::vector<int32_t> bodies;
    for (int32_t i = 0; i < count; ++i) {
      const int32_t body = ReadBodyName(r);
      if (r->error) break;
      bodies.push_back(body);
    }
    if (kind >= 0 && kind < kBodyListKindCount && !bodies.empty()) {  // other kinds have no list
      WordList& list = gBodyIdLists.lists[kind];
      FreeWordList(&list);
      Keep(bodies, &list.values, &list.count);
    }
  }
}

void ReadComponents(DataReader* r) {
  while (!r->error) {
    const int32_t kind = ReadEnum(kComponentKindNames, r);
    const bool docking = kind == kComponentKindDocking;
    const int32_t numbers = docking ? 4 : 7;
    const int32_t count = CountInData(r, ReadInt(r), 1, 1);
    for (int32_t i = 0; i < count && !r->error; ++i) {
      const int32_t body = ReadBodyName(r);
      const int32_t points = CountInData(r, static_cast<int16_t>(ReadShort(r)), numbers, 0);
      std::vector<ComponentPoint> list;
      for (int32_t p = 0; p < points && !r->error; ++p) {
        ComponentPoint point{};
        point.flags = ReadEnumWord(r, kComponentPointFlagNames, 0);
        for (int32_t& v : point.position) v = ReadFixed(r);
        if (!docking) {
          for (int32_t& v : point.direction) v = ReadFixed(r);
        }
        list.push_back(point);
      }
      if (r->error) break;
      if (kind >= 0 && kind < kComponentKindCount)
        AppendComponentEntry(kind, body, list.data(), static_cast<int32_t>(list.size()));
    }
  }
}

// A match column: a cut id where its flag says so, else a body id.
int32_t ReadMatchKey(DataReader* r, uint32_t flags, uint32_t cutFlag) {
  return (flags & cutFlag) ? ReadCutName(r) : ReadBodyName(r);
}

void ReadMatches(DataReader* r) {
  while (!r->error) {
    const int32_t kind = ReadEnum(kMatchKindNames, r);
    const uint32_t flags = ReadEnumWord(r, kMatchFlagNames, 0);
    const int32_t count = CountInData(r, ReadInt(r), 0, 3);
    std::vector<MatchRow> rows;
    for (int32_t i = 0; i < count && !r->error; ++i) {
      MatchRow row;
      row.key1 = ReadMatchKey(r, flags, kMatchFlagCut1);
      row.key2 = ReadMatchKey(r, flags, kMatchFlagCut2);
      row.result = ReadMatchKey(r, flags, kMatchFlagCutMatch);
      rows.push_back(row);
    }
    if (r->error) break;
    if (kind != 0) continue;  // only the mine kind has a table
    FreeArray(&gMatchTable.rows, gMatchTable.count);
    gMatchTable.flags = flags;
    Keep(rows, &gMatchTable.rows, &gMatchTable.count);
  }
}

void ReadWareLists(DataReader* r) {
  const int32_t count = CountInData(r, ReadInt(r), 1, 0);
  std::vector<WordList> lists;
  for (int32_t i = 0; i < count && !r->error; ++i) {
    const int32_t length = CountInData(r, ReadInt(r), 0, 1);
    std::vector<int32_t> wares;
    for (int32_t k = 0; k < length && !r->error; ++k) wares.push_back(FindAnyTypeByName(ReadName(r).c_str()));
    if (r->error) break;
    WordList list{};
    Keep(wares, &list.values, &list.count);
    lists.push_back(list);
  }
  gWareLists.lists = KeepArray(lists);
  if (gWareLists.lists) {
    gWareLists.count = static_cast<int32_t>(lists.size());
  } else {
    for (WordList& list : lists) FreeWordList(&list);
  }
}

// ---------------------------------------------------------------------------------------------
// Components generation.

struct Generation {
  bool active = false;
  std::string className;
  std::vector<int32_t> handled;
};
Generation gGeneration;

// Each body once: loaded, its component points registered, released again (a body something
// else had loaded already stays loaded).
void HandleBody(int32_t body) {
  if (body < 0) return;
  for (int32_t id : gGeneration.handled) {
    if (id == body) return;
  }
  if (static_cast<int32_t>(gGeneration.handled.size()) >= kHandledBodyCapacity) {
    SceneFatalExit(kTypeLoadLimitExit, gGeneration.className.c_str());
  }
  gGeneration.handled.push_back(body);
  const bool wasLoaded = gEngine3D && B3D_FindBody(body) != nullptr;
  BodyRecord* record = LoadBody(body);
  if (!record) return;
  SetComponents(record);
  if (!wasLoaded) FreeBody(record);
}

bool PathBodyId(const PathRecord& path, int32_t* body) {
  if (path.flags & kPathNamesCut) return false;
  *body = static_cast<int32_t>(path.lookupWord);
  return *body >= 0;
}

void HandleCutBodies(const CutRecord* cut) {
  for (int32_t p = 0; p < cut->pathCount && cut->paths; ++p) {
    int32_t body;
    if (PathBodyId(cut->paths[p], &body)) HandleBody(body);
  }
}

const char* ComponentsPath(std::string* path) {
  const char* pattern = gSystem && gSystem->product && gSystem->product->typeTextTemplate
                            ? gSystem->product->typeTextTemplate
                            : kDefaultTypeTemplate;
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, pattern, kComponentsName);
  *path = buffer;
  return path->c_str();
}

// ---------------------------------------------------------------------------------------------

int32_t Fail(const char* name) {
  gFailedName = std::string(kTypeFolder) + name;
  return 0;
}

using AuxReader = void (*)(DataReader*);
struct AuxFile {
  const char* name;
  AuxReader read;
};
constexpr AuxFile kAuxFiles[] = {
    {"Globals", ReadGlobals}, {"Flight", ReadFlight},   {"Videos", ReadVideos},           {"VideoLists", ReadVideoLists},
    {"Dummies", ReadDummies}, {"Bodies", ReadBodies}, {kComponentsName, ReadComponents}, {"Matches", ReadMatches},
};

// The class read at position i: the cockpits before the ships, so the ships see their counts.
int32_t ClassAtPosition(int32_t i) {
  if (i == kClassShip) return kClassCockpit;
  if (i == kClassCockpit) return kClassShip;
  return i;
}

}  // namespace

std::string ReadName(DataReader* reader) {
  // In text form a string at the end of the text reads as empty; a name that is not there is
  // the end of the data, as it is for every number.
  if (!reader->binary && DataReaderReadChar(reader, kNoCharToStep) == kDataNoChar) reader->error = 1;
  return ReadString(reader);
}

int32_t ReadBodyName(DataReader* reader) {
  const std::string name = ReadName(reader);
  return reader->error ? 0 : B3D_GetBodyID(name.c_str());
}

int32_t ReadCutName(DataReader* reader) {
  const std::string name = ReadName(reader);
  return reader->error ? 0 : B3D_GetCutID(name.c_str());
}

int32_t CountInData(const DataReader* reader, int32_t count, int32_t numbers, int32_t strings) {
  if (count <= 0 || reader->error) return 0;
  const size_t left = DataReaderBytesLeft(reader);
  if (left == SIZE_MAX) return count;
  // A number takes at least a word in binary form, a digit and ";" in text; a string at least
  // its terminator or ";". Items without fields still cost one byte, so a count stays bounded.
  size_t each = static_cast<size_t>(numbers) * (reader->binary ? 4u : 2u) + static_cast<size_t>(strings);
  if (each == 0) each = 1;
  const size_t fit = left / each;
  return static_cast<size_t>(count) < fit ? count : static_cast<int32_t>(fit);
}

void ComponentsGenerationBegin() {
  gGeneration.active = true;
  gGeneration.className.clear();
  gGeneration.handled.clear();
}

void ComponentsGenerationSetClassFile(const char* name) { gGeneration.className = name ? name : ""; }

bool ComponentsGenerationActive() { return gGeneration.active; }

void ComponentsGenerationEnd() {
  gGeneration.active = false;
  gGeneration.handled.clear();
  gGeneration.handled.shrink_to_fit();
}

void ComponentsGenerationAddRow(int32_t objClass, int32_t subtype) {
  const ObjectTypeRecord* row = TypeRow(objClass, subtype);
  if (!row || row->bodyId < 0) return;
  const int32_t model = GetTypeLookupId(subtype, objClass);
  if (model <= 0) {
    HandleBody(row->bodyId);
    return;
  }
  CutRecord* cut = J3D_LoadCut(model);
  if (!cut) return;
  for (int32_t p = 0; p < cut->pathCount && cut->paths; ++p) {
    int32_t body;
    if (!PathBodyId(cut->paths[p], &body)) continue;
    HandleBody(body);
    for (int32_t kind = 0; kind < kDummyKindCount; ++kind) {
      const DummyKindTable& table = gDummyTable.kinds[kind];
      const int32_t slot = kind == kDummyKindDoorway ? kDoorwayCutSlot : 0;
      for (int32_t i = 0; i < table.count; ++i) {
        if (table.rows[i].body != body) continue;
        CutRecord* dummyCut = J3D_LoadCut(table.rows[i].cut[slot]);
        if (!dummyCut) continue;
        HandleCutBodies(dummyCut);
        // The scene itself may be a dummy's cut; it is freed once, after its paths.
        if (dummyCut != cut) J3D_FreeCut(dummyCut);
      }
    }
  }
  J3D_FreeCut(cut);
}

bool WriteComponentsFile(const char* path) {
  if (!path) return false;
  const std::string temp = std::string(path) + ".new";
  DataReader w;
  DataWriterOpen(&w, temp.c_str(), false, nullptr, 0);
  w.compact = 1;
  DataWriterWriteText(&w, "// Autogenerated Components File\r\n");
  DataWriterWriteText(&w, "// - delete this file and run game to regenerate from body/cut data\r\n");
  for (int32_t kind = 0; kind < kComponentKindCount; ++kind) {
    const ComponentKindTable& table = gComponentTable.kinds[kind];
    if (table.count <= 0) continue;
    WriteValue(&w, kind);
    WriteInt(&w, table.count);
    DataWriterWriteText(&w, "\r\n");
    for (int32_t i = 0; i < table.count; ++i) {
      const ComponentEntry& entry = table.entries[i];
      std::string name;
      B3D_GetBodyFilename(&name, entry.body, 0);
      DataWriterWriteString(&w, name.c_str());
      WriteShort(&w, entry.pointCount);
      DataWriterWriteText(&w, "\r\n");
      for (int32_t p = 0; p < entry.pointCount && entry.points; ++p) {
        const ComponentPoint& point = entry.points[p];
        WriteEnumWord(&w, point.flags, kComponentPointFlagNames);
        for (int32_t v : point.position) WriteFixed(&w, v);
        if (kind != kComponentKindDocking) {
          for (int32_t v : point.direction) WriteFixed(&w, v);
        }
        DataWriterWriteText(&w, "\r\n");
      }
    }
    DataWriterWriteText(&w, "\r\n");
  }
  const bool written = !w.error;
  DataReaderClose(&w);
  if (!written || w.error || !FileRename(temp.c_str(), path, false)) {
    FileRemove(temp.c_str(), false);
    return false;
  }
  return true;
}

const char* TypeLoadFailedName() { return gFailedName.c_str(); }

bool ReadTypeFileByName(UniverseBlock* universe, const char* name, DataReader* reader) {
  if (!name || !reader) return false;
  for (const AuxFile& file : kAuxFiles) {
    if (std::strcmp(file.name, name) != 0) continue;
    file.read(reader);
    if (file.read == ReadGlobals) ApplyGlobals();
    return true;
  }
  if (std::strcmp(name, "WareLists") == 0) {
    ReadWareLists(reader);
    return true;
  }
  for (int32_t objClass = 0; objClass < kObjectClassCount; ++objClass) {
    if (kObjectClassFiles[objClass] && std::strcmp(kObjectClassFiles[objClass], name) == 0) {
      ReadClassRows(universe, reader, objClass);
      return true;
    }
  }
  return false;
}

int32_t LoadTypes(UniverseBlock* universe) {
  gFailedName.clear();
  bool generate = false;
  for (const AuxFile& file : kAuxFiles) {
    const bool globals = file.read == ReadGlobals;
    DataReader* reader = OpenTypeFile(file.name, nullptr, 0);
    if (!reader) {
      if (file.read == ReadComponents) {
        generate = true;
        continue;
      }
      if (globals) ApplyGlobals();
      return Fail(file.name);
    }
    file.read(reader);
    CloseTypeFile(reader);
    if (globals) ApplyGlobals();
  }
  if (generate) ComponentsGenerationBegin();
  for (int32_t position = 0; position < kObjectClassCount; ++position) {
    const int32_t objClass = ClassAtPosition(position);
    const char* name = kObjectClassFiles[objClass];
    if (!name) continue;
    DataReader* reader = OpenTypeFile(name, nullptr, 0);
    if (!reader) continue;  // the class stays empty
    if (generate) ComponentsGenerationSetClassFile((std::string(kTypeFolder) + name).c_str());
    ReadClassRows(universe, reader, objClass);
    CloseTypeFile(reader);
  }
  if (generate) {
    ComponentsGenerationEnd();
    std::string path;
    // This run goes on with what the written file holds, so it sees the tables every later
    // start reads (the file's fixed values are rounded).
    if (WriteComponentsFile(ComponentsPath(&path))) {
      if (DataReader* reader = OpenTypeFile(kComponentsName, nullptr, 0)) {
        FreeComponentTable();
        ReadComponents(reader);
        CloseTypeFile(reader);
      }
    }
  }
  MakeBuiltInRows();
  DataReader* reader = OpenTypeFile("WareLists", nullptr, 0);
  if (!reader) return Fail("WareLists");
  ReadWareLists(reader);
  CloseTypeFile(reader);
  return 1;
}

void FreeTypes() {
  FreeWordLists(&gWareLists.lists, &gWareLists.count);
  for (int32_t objClass = 0; objClass < kObjectClassCount; ++objClass) FreeClassTable(objClass);
  FreeArray(&gMatchTable.rows, gMatchTable.count);
  gMatchTable = MatchTable{};
  FreeComponentTable();
  for (WordList& list : gBodyIdLists.lists) FreeWordList(&list);
  for (DummyKindTable& kind : gDummyTable.kinds) {
    FreeArray(&kind.rows, kind.count);
    kind.count = 0;
  }
  FreeWordLists(&gVideoListTable.lists, &gVideoListTable.count);
  FreeArray(&gVideoTable.rows, gVideoTable.count);
  gVideoTable.count = 0;
  FreeArray(&gFlightViewTable.rows, gFlightViewTable.groupCount * kFlightViewRowsPerGroup);
  gFlightViewTable.groupCount = 0;
  FreeArray(&gGlobalsTable.entries, gGlobalsTable.count);
  gGlobalsTable.count = 0;
}
