// The INS_ natives of icons, the galaxy map's neighbour search, the tooltip state and the overlay
// settings. Called by the INS_ dispatcher; every native answers its task at once and reads its
// arguments as script values, which may be anything: a class, subtype, handle or id from a script
// is checked before it indexes anything.
#include "frontend/hud/map_natives.h"

#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_natives.h"
#include "frontend/cockpit/native_args.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/icon_types.h"
#include "scene/cut_files.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "script/script_calls.h"
#include "universe/galaxy_grid.h"

namespace {

enum : int32_t {
  kGetGalaxyMapNextSector = 65, kGetObjectIcon = 101, kGetWeaponIcon = 102, kGetAmmunitionIcon = 103,
  kHideTooltip = 105, kIsTooltipVisible = 106, kGetTooltipVisibleTime = 107, kShowOverlayBrackets = 108,
  kHideOverlayBrackets = 109, kSetSidebarInstance = 110,
};

constexpr int32_t kVisibilityObject = 150;
constexpr int32_t kResultKindInt = 1;

int32_t AskScriptsForVisibility(int32_t column, int32_t row) {
  if (!gGuiMaster) return 0;
  CallScriptFunctionRet(gCockpitModule, 0, kVisibilityObject, "GetMapSectorVisibility", kResultKindInt, 2, column,
                        row);
  const ScriptValue& answer = gGuiMaster->moduleResult;
  return answer.type == kValueInt ? answer.i : 0;
}

uint32_t RealTime() { return gSystem ? gSystem->realTime : 0; }

// The path of a grid cell: its id is 100 x + y + 101.
const PathRecord* CellPath(const CutRecord* cut, int32_t x, int32_t y) {
  const int32_t id = 100 * x + y + 101;
  for (int32_t n = 0; n < cut->pathCount; ++n) {
    if (cut->paths[n].serial == id) return &cut->paths[n];
  }
  return nullptr;
}

// Where a path places its cell on the map: its first position key; a path without one is not on
// the map.
bool CellPosition(const PathRecord* path, int64_t* px, int64_t* py) {
  if (!path || path->positions.count <= 0 || !path->positions.keys) return false;
  *px = path->positions.keys[0].position.x;
  *py = path->positions.keys[0].position.y;
  return true;
}

// A 16.16 square of a difference of two 32-bit positions: |d| < 2^32, so d * d + 0x8000 fits
// in 64 unsigned bits and the result in 48.
int64_t Square(int64_t d) {
  const uint64_t a = static_cast<uint64_t>(d < 0 ? -d : d);
  return static_cast<int64_t>((a * a + 0x8000) >> 16);
}

void HideTooltip(TooltipRecord* tooltip, int32_t id) {
  if (id != 0 && id != tooltip->tooltipId) return;
  tooltip->shown = 0;
  // The tooltip's instance and the chain behind it.
  for (InstanceRecord* i = tooltip->instance; i; i = InstNextSibling(i)) i->flags |= kInstInvisible;
  tooltip->tooltipId = 0;
}

int32_t RunCockpitQuery(GuiMaster* master, int32_t function, const NativeArgs& args) {
  CockpitRecord* c = CockpitFromHandle(master, static_cast<uint32_t>(args.Int(0)));
  if (!c) return 0;
  TooltipRecord& tooltip = c->tooltip;
  switch (function) {
    case kHideTooltip: HideTooltip(&tooltip, args.Int(1)); return 0;
    case kIsTooltipVisible: return tooltip.shown && RealTime() >= tooltip.visibleTime ? 1 : 0;
    case kGetTooltipVisibleTime: return tooltip.shown ? static_cast<int32_t>(tooltip.visibleTime) : 0;
    default: return 0;
  }
}

}  // namespace

int32_t (*gMapSectorVisibility)(int32_t column, int32_t row) = AskScriptsForVisibility;

bool GalaxyMapNextSector(const CutRecord* cut, int32_t x, int32_t y, int32_t direction, int32_t visibility,
                         int32_t* outColumn, int32_t* outRow) {
  int64_t cx = 0, cy = 0;
  if (!cut || !CellPosition(CellPath(cut, x, y), &cx, &cy)) return false;
  const bool vertical = direction == 0 || direction == 1;
  int64_t best = INT64_MAX;
  bool found = false;
  for (int32_t column = 0; column < kGalaxyRows; ++column) {
    for (int32_t row = 0; row < kGalaxyColumns; ++row) {
      const int32_t visible = visibility != 0 ? visibility : (gMapSectorVisibility ? gMapSectorVisibility(column, row) : 0);
      if (!visible) continue;
      if (vertical ? row == y : column == x) continue;
      int64_t px = 0, py = 0;
      if (!CellPosition(CellPath(cut, column, row), &px, &py)) continue;
      bool onSide = false;
      switch (direction) {
        case 0: onSide = py > cy; break;
        case 1: onSide = py < cy; break;
        case 2: onSide = px < cx; break;
        case 3: onSide = px > cx; break;
        default: break;
      }
      if (!onSide) continue;
      const int64_t dx2 = Square(px - cx), dy2 = Square(py - cy);
      // Straying across the asked direction counts double.
      const int64_t distance = vertical ? 2 * dx2 + dy2 : dx2 + 2 * dy2;
      if (distance < best) {
        best = distance;
        *outColumn = column;
        *outRow = row;
        found = true;
      }
    }
  }
  return found;
}

bool RunMapNative(GuiMaster* master, ScriptTask* task, int32_t function, int32_t argCount, const ScriptValue* args) {
  const NativeArgs in{args, args ? argCount : 0};
  int32_t answer = 0;
  switch (function) {
    case kGetObjectIcon:
      answer = master ? GetObjectIconId(master->iconTypes, in.Int(0), in.Int(1), static_cast<uint32_t>(in.Int(2)))
                      : 0;
      break;
    case kGetWeaponIcon: answer = GetWeaponIconId(in.Int(0), in.Int(1)); break;
    case kGetAmmunitionIcon: answer = GetAmmunitionIconId(in.Int(0), in.Int(1)); break;
    case kGetGalaxyMapNextSector: {
      int32_t cell[2] = {0, 0};
      if (GalaxyMapNextSector(J3D_LoadCut(kGalaxyMapCut), in.Int(0), in.Int(1), in.Int(2), in.Int(3), &cell[0],
                              &cell[1])) {
        AnswerIntArray(task, cell, 2);
        return true;
      }
      break;
    }
    case kHideTooltip:
    case kIsTooltipVisible:
    case kGetTooltipVisibleTime: answer = RunCockpitQuery(master, function, in); break;
    case kShowOverlayBrackets:
    case kHideOverlayBrackets:
      if (master) master->overlayBrackets = function == kShowOverlayBrackets ? 1 : 0;
      break;
    case kSetSidebarInstance:
      if (master) master->sidebarInstance = GetInstanceByHandle(static_cast<uint32_t>(in.Int(0)));
      break;
    default: return false;
  }
  ReturnInt(task, gScriptEngine, answer);
  return true;
}
