// The least form of the icon type loader: no "icontypes" file is read yet, so the table is left
// cleared, as a missing file leaves it. Called by InitGuiMaster; allocates nothing.
#include "frontend/hud/icon_types.h"

#include <cstring>

#include "frontend/hud/gui_master.h"

bool LoadIconTypes(IconTypeRow* rows) {
  std::memset(rows, 0, sizeof(IconTypeRow) * kIconTypeClassCount);
  return false;
}
