// The demo HUD's icon types, "types\icontypes": the icons of the demo's ships in the HUD's
// overlay list, by standing (neutral, hostile, own), with no special icons and no per-subtype or
// per-group tables.
#include "engine_types/demo_engine_files.h"

namespace typetool {

TypeFile DemoIconTypesFile() {
  return {"icontypes",
          {Key("SSTYPE_SHIP", 7),
           Key("ICON_TCROSS_NORMAL_BLUE", 389), Key("ICON_TCROSS_NORMAL_RED", 390),
           Key("ICON_TCROSS_NORMAL_GREEN", 391),
           Int(0), Int(0), Int(0),
           Int(0),
           Int(0)}};
}

}  // namespace typetool
