// The icon type table: reading and writing the type file "icontypes" (per class two icon triples,
// a table of triples by subtype and one by the class's group number) and the icon lookup over
// it. Called by InitGuiMaster, the INS_ icon natives, the symbol drawer and the fuzz seeds. It
// never reads outside a table: every class, subtype and group number from a file or a script is
// checked against the counts the table was made with.
#include "frontend/hud/icon_types.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data_reader.h"
#include "core/memory.h"
#include "core/type_files.h"
#include "frontend/hud/gui_master.h"
#include "scene/engine_types.h"
#include "universe/object_classes.h"
#include "universe/type_access.h"

const DataKeyword kIconClassNames[] = {
    {"SSTYPE_BULLET", 0},       {"SSTYPE_SECTOR", 1},        {"SSTYPE_BACKGROUND", 2},
    {"SSTYPE_SUN", 3},          {"SSTYPE_PLANET", 4},        {"SSTYPE_DOCK", 5},
    {"SSTYPE_FACTORY", 6},      {"SSTYPE_SHIP", 7},          {"SSTYPE_LASER", 8},
    {"SSTYPE_SHIELD", 9},       {"SSTYPE_MISSILE", 10},      {"SSTYPE_W_ENERGY", 11},
    {"SSTYPE_W_NATURAL", 12},   {"SSTYPE_W_BIO", 13},        {"SSTYPE_W_FOOD", 14},
    {"SSTYPE_W_MINERAL", 15},   {"SSTYPE_W_TECH", 16},       {"SSTYPE_ASTEROID", 17},
    {"SSTYPE_GATE", 18},        {"SSTYPE_CAMERA", 19},       {"SSTYPE_SPECIAL", 20},
    {"SSTYPE_21", 21},          {"SSTYPE_22", 22},           {"SSTYPE_23", 23},
    {"SSTYPE_24", 24},          {"SSTYPE_COCKPIT", 25},      {"SSTYPE_26", 26},
    {"SSTYPE_BODY", 27},        {"SSTYPE_DEBRIS", 28},       {"SSTYPE_DOCK_WRECK", 29},
    {"SSTYPE_FACTORY_WRECK", 30}, {"SSTYPE_SHIP_WRECK", 31}, {"", 0},
};

namespace {

constexpr char kIconTypesFile[] = "icontypes";
constexpr int kTriple = 3;

int32_t SubtypeCount(int32_t objClass) { return gObjectTypeTables[objClass].count; }

// A type name of the class as its subtype number: a number stands for itself, a name for the row
// with that type id. An unknown name answers -1, which ends the list like a number out of range
// instead of landing on subtype 0.
int32_t SubtypeOfName(int32_t objClass, const std::string& name) {
  if (name.empty()) return -1;
  if (name[0] == '-' || (name[0] >= '0' && name[0] <= '9')) {
    char* end = nullptr;
    const long long n = std::strtoll(name.c_str(), &end, 10);
    return *end == 0 && n >= 0 && n <= INT32_MAX ? static_cast<int32_t>(n) : -1;
  }
  const ObjectTypeTable& table = gObjectTypeTables[objClass];
  for (int32_t s = 0; s < table.count; ++s) {
    if (table.rows[s].typeId && name == table.rows[s].typeId) return s;
  }
  return -1;
}

// A zero-filled table of `rows` triples; null when there are no rows or no memory.
int32_t* NewTripleTable(int32_t rows) {
  if (rows <= 0) return nullptr;
  const size_t bytes = sizeof(int32_t) * kTriple * static_cast<size_t>(rows);
  auto* table = static_cast<int32_t*>(MemAlloc(bytes, 0));
  if (table) std::memset(table, 0, bytes);
  return table;
}

void FreeRowTables(IconTypeRow* row) {
  if (row->subtypeIcons) MemFree(row->subtypeIcons, sizeof(int32_t) * kTriple * static_cast<uint32_t>(row->subtypeCount), 0);
  if (row->secondIcons) MemFree(row->secondIcons, sizeof(int32_t) * kTriple * static_cast<uint32_t>(row->secondCount), 0);
  row->subtypeIcons = row->secondIcons = nullptr;
  row->subtypeCount = row->secondCount = 0;
}

void ReadTriple(DataReader* reader, int32_t* out) {
  for (int i = 0; i < kTriple; ++i) out[i] = ReadEnum(kIconNameTable, reader);
}

// Reads `count` entries of (key, triple). A key outside 0..rows-1 ends the list; without a table
// (no rows or no memory) the first key ends it too.
template <typename ReadKey>
void ReadTripleList(DataReader* reader, int32_t count, int32_t* table, int32_t rows, ReadKey readKey) {
  for (int32_t n = 0; n < count && !reader->error; ++n) {
    const int32_t key = readKey();
    if (reader->error || !table || key < 0 || key >= rows) return;
    ReadTriple(reader, table + kTriple * key);
  }
}

// One class's entry; false when the file ends here (its end, a read error or a bad class).
bool ReadClassEntry(DataReader* reader, IconTypeRow* rows) {
  const int32_t objClass = ReadEnum(kIconClassNames, reader);
  if (reader->error || objClass < 0 || objClass >= kIconTypeClassCount) return false;
  IconTypeRow* row = &rows[objClass];
  // A class listed again replaces its earlier tables instead of losing them.
  FreeRowTables(row);
  ReadTriple(reader, row->icons);
  ReadTriple(reader, row->icons + kTriple);

  const int32_t subtypeEntries = ReadInt(reader);
  if (reader->error) return false;
  if (subtypeEntries > 0) {
    const int32_t count = SubtypeCount(objClass);
    row->subtypeIcons = NewTripleTable(count);
    row->subtypeCount = row->subtypeIcons ? count : 0;
    ReadTripleList(reader, subtypeEntries, row->subtypeIcons, row->subtypeCount,
                   [&] { return SubtypeOfName(objClass, ReadString(reader)); });
  }

  const int32_t groupEntries = ReadInt(reader);
  if (reader->error) return false;
  if (groupEntries > 0) {
    const int32_t count = GetClassGroupCount(objClass);
    const DataKeyword* names = GetClassGroupNames(objClass);
    row->secondIcons = NewTripleTable(count);
    row->secondCount = row->secondIcons ? count : 0;
    ReadTripleList(reader, groupEntries, row->secondIcons, row->secondCount,
                   [&] { return ReadEnum(names, reader); });
  }
  return !reader->error;
}

// A symbol in text form: the first name of the table with exactly this value, else the number.
void WriteSymbol(DataReader* writer, int32_t value, const DataKeyword* table) {
  if (!writer->binary && table) {
    for (const DataKeyword* pair = table; pair->name && pair->name[0] != 0; ++pair) {
      if (pair->value == value && value != 0) {
        FileWriteString(writer, pair->name);
        return;
      }
    }
  }
  WriteInt(writer, value);
}

void WriteTriple(DataReader* writer, const int32_t* triple) {
  for (int i = 0; i < kTriple; ++i) WriteSymbol(writer, triple[i], kIconNameTable);
}

int32_t CountSet(const int32_t* table, int32_t rows) {
  int32_t n = 0;
  for (int32_t k = 0; table && k < rows; ++k) n += table[kTriple * k] != 0 ? 1 : 0;
  return n;
}

bool RowIsEmpty(const IconTypeRow& row) {
  for (int32_t icon : row.icons) {
    if (icon != 0) return false;
  }
  return CountSet(row.subtypeIcons, row.subtypeCount) == 0 && CountSet(row.secondIcons, row.secondCount) == 0;
}

int32_t Pick(const int32_t* triple, uint32_t flags) {
  if ((flags & kIconPickFlag2) && triple[1] != 0) return triple[1];
  if ((flags & kIconPickFlag8) && triple[2] != 0) return triple[2];
  return triple[0];
}

// A triple of a table, or null when the table or the row is missing.
const int32_t* TableTriple(const int32_t* table, int32_t rows, int32_t key) {
  if (!table || key < 0 || key >= rows) return nullptr;
  return table + kTriple * key;
}

}  // namespace

void FreeIconTypeTables(IconTypeRow* rows) {
  for (int c = 0; c < kIconTypeClassCount; ++c) FreeRowTables(&rows[c]);
}

bool LoadIconTypes(IconTypeRow* rows) {
  std::memset(rows, 0, sizeof(IconTypeRow) * kIconTypeClassCount);
  DataReader* reader = OpenTypeFile(kIconTypesFile, nullptr, 0);
  if (!reader) return false;
  while (DataReaderBytesLeft(reader) > 0 && ReadClassEntry(reader, rows)) {
  }
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
  return true;
}

bool WriteIconTypes(const char* name, bool binary, const IconTypeRow* rows) {
  DataReader w;
  DataWriterOpen(&w, name, binary, nullptr, 0);
  for (int32_t c = 0; c < kIconTypeClassCount; ++c) {
    const IconTypeRow& row = rows[c];
    if (RowIsEmpty(row)) continue;
    WriteSymbol(&w, c, kIconClassNames);
    WriteTriple(&w, row.icons);
    WriteTriple(&w, row.icons + kTriple);
    WriteInt(&w, CountSet(row.subtypeIcons, row.subtypeCount));
    for (int32_t s = 0; s < row.subtypeCount; ++s) {
      const int32_t* triple = row.subtypeIcons + kTriple * s;
      if (triple[0] == 0) continue;
      const ObjectTypeRecord* type = TypeRow(c, s);
      const std::string key = type && type->typeId ? std::string(type->typeId) : std::to_string(s);
      DataWriterWriteString(&w, key.c_str());
      WriteTriple(&w, triple);
    }
    WriteInt(&w, CountSet(row.secondIcons, row.secondCount));
    for (int32_t k = 0; k < row.secondCount; ++k) {
      const int32_t* triple = row.secondIcons + kTriple * k;
      if (triple[0] == 0) continue;
      WriteSymbol(&w, k, GetClassGroupNames(c));
      WriteTriple(&w, triple);
    }
  }
  const bool ok = w.error == 0;
  DataReaderClose(&w);
  return ok && w.error == 0;
}

int32_t GetObjectIconId(const IconTypeRow* rows, int32_t objClass, int32_t subtype, uint32_t flags) {
  const IconTypeRow* row = objClass >= 0 && objClass < kIconTypeClassCount ? &rows[objClass] : nullptr;
  enum Step { kSpecial, kTypeRecord, kTables };
  Step step = kTypeRecord;
  if (row && row->icons[3] != 0) {
    const int32_t* special = row->icons + kTriple;
    switch (objClass) {
      case kClassShip:
        if (flags & kIconShipSpecial) return Pick(special, flags);
        break;
      case kClassMissile:
        if (flags & kIconMissileSpecial) return Pick(special, flags);
        step = kTables;
        break;
      case kClassDock:
      case kClassFactory:
        if (flags & kIconStationSpecial) return Pick(special, flags);
        break;
      default:
        break;
    }
  }
  // Ships come straight to the type record; lasers and missiles have their icon in the tables.
  if (step == kTypeRecord && objClass != kClassMissile && objClass != kClassLaser) {
    const int32_t icon = GetTypeFieldByClass(subtype, objClass);
    if (icon != 0) return icon;
  }
  if (row) {
    if (const int32_t* t = TableTriple(row->subtypeIcons, row->subtypeCount, subtype); t && t[0] != 0) {
      return Pick(t, flags);
    }
    if (row->secondIcons) {
      // Without a type record there is no group to look up.
      const ObjectTypeRecord* type = TypeRow(objClass, subtype);
      const int32_t* t = type ? TableTriple(row->secondIcons, row->secondCount, type->group) : nullptr;
      if (t && t[0] != 0) return Pick(t, flags);
    }
    if (row->icons[0] != 0) return Pick(row->icons, flags);
  }
  return rows[0].icons[0] != 0 ? Pick(rows[0].icons, flags) : kIconFallback;
}

int32_t GetWeaponIconId(int32_t objClass, int32_t subtype) {
  if (objClass < kClassDock || objClass > kClassMissile) return 0;
  return GetTypeFieldByClass(subtype, objClass);
}

int32_t GetAmmunitionIconId(int32_t objClass, int32_t subtype) {
  if (objClass == kClassWareFirst) return 80;
  if (objClass != kClassWareLast) return 0;
  struct Ammunition {
    int32_t subtype, icon;
  };
  static const Ammunition kClass16[] = {{42, 76}, {91, 79}, {93, 77}, {94, 78}};
  for (const Ammunition& a : kClass16) {
    if (a.subtype == subtype) return a.icon;
  }
  return 0;
}
