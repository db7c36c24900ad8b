// The icon type table: the type file "icontypes" read into the GUI master's 32 class rows, its
// writer (tools and the fuzz seeds), and the icon lookup of an object's class, subtype and
// flags. InitGuiMaster loads the table; the INS_ icon natives and the symbol drawer look it up.
#pragma once

#include <cstdint>

struct IconTypeRow;
struct DataKeyword;

// The class symbols of the file, "SSTYPE_BULLET" onward in class order, ended by the empty name.
extern const DataKeyword kIconClassNames[];

// Clears the 32 rows, then fills them from "icontypes"; false when the file cannot be opened.
// A read error only ends the reading early: what was read so far stays.
bool LoadIconTypes(IconTypeRow* rows);
// Frees the subtype and group tables of the 32 rows and clears their pointers and counts.
void FreeIconTypeTables(IconTypeRow* rows);

// Writes the rows that hold anything as an "icontypes" file `name` in the chosen form; tables are
// written entry by entry for the triples whose first icon is set. False when writing failed.
bool WriteIconTypes(const char* name, bool binary, const IconTypeRow* rows);

// Flag bits the lookup reads.
constexpr uint32_t kIconPickFlag2 = 0x2;
constexpr uint32_t kIconPickFlag8 = 0x8;
constexpr uint32_t kIconShipSpecial = 0x10000;
constexpr uint32_t kIconMissileSpecial = 0x80;
constexpr uint32_t kIconStationSpecial = 0x40000;
constexpr int32_t kIconFallback = 186;

// The icon of an object of class objClass and subtype with the given flags. Any class, subtype
// and flags may be asked (script values): what lies outside the table moves on to the next step,
// ending at the fallback.
int32_t GetObjectIconId(const IconTypeRow* rows, int32_t objClass, int32_t subtype, uint32_t flags);
// The weapon icon: the type record's icon field for classes 5 to 10, else 0.
int32_t GetWeaponIconId(int32_t objClass, int32_t subtype);
// The ammunition icon: class 11 and the four class-16 subtypes, else 0.
int32_t GetAmmunitionIconId(int32_t objClass, int32_t subtype);
