// Fuzz target of the "icontypes" type file: the input's first byte picks the form (bit 0 set: the
// packed binary form), the rest is the file. Ships and missiles have a few types, ships with type
// ids, so names, numbers and group symbols all resolve. Every table must match its count, and
// lookups of any class, subtype and flags must stay inside the tables; the tables are freed
// each time.
#include <cstddef>
#include <cstdint>

#include "frontend/hud/gui_master.h"
#include "frontend/hud/icon_types.h"
#include "fuzz_support.h"
#include "universe/object_classes.h"

namespace {

void InstallTypes() {
  static ObjectTypeRecord ships[3] = {};
  static ObjectTypeRecord missiles[2] = {};
  static char names[3][8] = {"SS_SH_A", "SS_SH_B", "SS_SH_C"};
  for (int s = 0; s < 3; ++s) {
    ships[s].typeId = names[s];
    ships[s].group = s * 7;  // one group beyond the table of 16
  }
  missiles[1].group = 3;
  gObjectTypeTables[kClassShip] = {ships, 3};
  gObjectTypeTables[kClassMissile] = {missiles, 2};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::World();
  InstallTypes();
  if (size < 1) return 0;
  const char* name = (data[0] & 1) != 0 ? "types/icontypes.pck" : "types/icontypes.txt";
  if (!fuzz::WriteFile(name, data + 1, size - 1)) return 0;
  static IconTypeRow rows[kIconTypeClassCount];
  LoadIconTypes(rows);
  for (const IconTypeRow& row : rows) {
    if ((row.subtypeIcons == nullptr) != (row.subtypeCount == 0) || row.subtypeCount < 0) __builtin_trap();
    if ((row.secondIcons == nullptr) != (row.secondCount == 0) || row.secondCount < 0) __builtin_trap();
  }
  static const int32_t kClasses[] = {-1, 0, kClassDock, kClassShip, kClassLaser, kClassMissile, 31, 32, INT32_MIN};
  static const int32_t kSubtypes[] = {-1, 0, 1, 2, 3, INT32_MAX};
  static const uint32_t kFlags[] = {0, 0x2, 0x8, 0x80 | 0x10000 | 0x40000 | 0xA};
  uint32_t sum = 0;
  for (int32_t c : kClasses) {
    for (int32_t s : kSubtypes) {
      for (uint32_t f : kFlags) sum += static_cast<uint32_t>(GetObjectIconId(rows, c, s, f));
    }
  }
  (void)sum;
  FreeIconTypeTables(rows);
  fuzz::RemoveFile(name);
  return 0;
}
