// The INS_ natives of icons, the galaxy map, object symbols, the dust scene, the overlay icons,
// the tooltip and the overlay settings. Called by the INS_ dispatcher; every native answers its task at once and reads its
// arguments as script values, which may be anything: a class, subtype, handle or id from a script
// is checked before it indexes anything.
#include "frontend/hud/map_natives.h"

#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_natives.h"
#include "frontend/cockpit/native_args.h"
#include "frontend/hud/dust_scene.h"
#include "frontend/hud/galaxy_map.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/icon_types.h"
#include "frontend/hud/object_symbols.h"
#include "frontend/hud/target_overlay.h"
#include "frontend/hud/tooltips.h"
#include "render/texture_table.h"
#include "scene/cut_files.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "script/script_calls.h"
#include "universe/galaxy_grid.h"
#include "universe/universe.h"

namespace {

enum : int32_t {
  kGalaxyMapFindSector = 62, kBuildGalaxyMap = 63, kClearGalaxyMap = 64, kGetGalaxyMapNextSector = 65, kDrawObjectSymbol = 66,
  kDrawObjectSymbol3D = 67, kInitDustScene = 68, kUpdateDustScene = 69, kOverlayTrackPrevNext = 97,
  kObjectByOverlayIconPos = 98, kMenuPosByOverlayIconPos = 99, kShowTooltip = 104, kGetObjectIcon = 101, kGetWeaponIcon = 102, kGetAmmunitionIcon = 103,
  kHideTooltip = 105, kIsTooltipVisible = 106, kGetTooltipVisibleTime = 107, kShowOverlayBrackets = 108,
  kHideOverlayBrackets = 109, kSetSidebarInstance = 110,
};

int32_t AskScriptsForVisibility(int32_t column, int32_t row) {
  const int32_t args[] = {column, row};
  return AskMapScripts("GetMapSectorVisibility", 2, args);
}

uint32_t RealTime() { return gSystem ? gSystem->realTime : 0; }

// Where the layout places grid cell (x, y); a cell without a path or position is not on the map.
bool CellPosition(const CutRecord* cut, int32_t x, int32_t y, int64_t* px, int64_t* py) {
  FixedVector at{};
  if (!PathMapPosition(FindCutPath(cut, GalaxySectorPathId(x, y)), &at)) return false;
  *px = at.x;
  *py = at.y;
  return true;
}

// A 16.16 square of a difference of two 32-bit positions: |d| < 2^32, so d * d + 0x8000 fits
// in 64 unsigned bits and the result in 48.
int64_t Square(int64_t d) {
  const uint64_t a = static_cast<uint64_t>(d < 0 ? -d : d);
  return static_cast<int64_t>((a * a + 0x8000) >> 16);
}

// Texture ids, classes, subtypes and map coordinates travel as 16-bit values.
int16_t Short(const NativeArgs& args, int32_t i) { return static_cast<int16_t>(args.Int(i)); }

bool TextureExists(int32_t texture) { return GetTextureHandle(texture) != nullptr; }

// (texture, x, y, class, subtype, flags, blink): a symbol without a stem, in the blink phase when
// blink is above 0.
void DrawSymbolNative(const GuiMaster* master, const NativeArgs& args) {
  const int32_t texture = Short(args, 0);
  if (!master || !TextureExists(texture)) return;
  const uint32_t flags = static_cast<uint32_t>(args.Int(5)) | (args.Int(6) > 0 ? kSymbolBlink : 0);
  DrawSymbol(master, texture, static_cast<uint16_t>(args.Int(3)), Short(args, 4), args.Int(1), 0, args.Int(2), flags);
}

// (object id, texture, x, y, angle): the object's heading arrow.
void DrawArrowNative(const NativeArgs& args) {
  const SpaceObject* object = args.Object(0);
  const int32_t texture = Short(args, 1);
  if (!object || !TextureExists(texture)) return;
  DrawObjectHeadingArrow(object, texture, Short(args, 2), Short(args, 3), args.Int(4));
}

void RunGalaxyMapNative(int32_t function, const NativeArgs& args) {
  SceneRecord* scene = GetSceneByHandle(static_cast<uint32_t>(args.Int(0)));
  if (!scene) return;
  if (function == kBuildGalaxyMap) BuildGalaxyMap(scene);
  else if (GalaxyMapBuilt()) ClearGalaxyMap();
}

int32_t RunTooltipQuery(TooltipRecord& tooltip, int32_t function, const NativeArgs& args) {
  switch (function) {
    case kHideTooltip: HideTooltip(&tooltip, args.Int(1)); return 0;
    case kIsTooltipVisible: return tooltip.shown && RealTime() >= tooltip.visibleTime ? 1 : 0;
    case kGetTooltipVisibleTime: return tooltip.shown ? static_cast<int32_t>(tooltip.visibleTime) : 0;
    default: return 0;
  }
}

constexpr uint32_t kOverlayTrackingFlags = 0x3;
constexpr int32_t kMenuPosWords = 5;

// The natives of one cockpit (the first argument); unknown cockpits answer 0. Answers an array
// itself and then gives true.
bool RunCockpitNative(GuiMaster* master, ScriptTask* task, int32_t function, const NativeArgs& args,
                      int32_t* answer) {
  *answer = 0;
  CockpitRecord* c = CockpitFromHandle(master, static_cast<uint32_t>(args.Int(0)));
  if (!c) return false;
  TooltipRecord& tooltip = c->tooltip;
  switch (function) {
    case kOverlayTrackPrevNext:
      if (c->monitorNumber == 0 && c->overlay.icons && c->cockpitRefObject && (c->flags & kOverlayTrackingFlags))
        TrackOverlayIcon(c->overlay.icons, args.Int(1), args.Int(2));
      return false;
    case kObjectByOverlayIconPos: {
      const SpaceObject* o = INS_CockpitGetObjectByTargetOverlayIconPos(c, args.Int(1), args.Int(2));
      *answer = o ? static_cast<int32_t>(o->id) : 0;
      return false;
    }
    case kMenuPosByOverlayIconPos: {
      int32_t menuPos[kMenuPosWords] = {};
      if (!INS_CockpitGetMenuPosByTargetOverlayIconPos(c, args.Int(1), args.Int(2), menuPos)) return false;
      AnswerIntArray(task, menuPos, kMenuPosWords);
      return true;
    }
    case kShowTooltip:
      // The delay is read only when the call brings it.
      ShowTooltip(args.Text(2), args.Int(1), args.Int(3), args.Int(4), args.count >= 6 ? args.Int(5) : 0, &tooltip);
      return false;
    default: *answer = RunTooltipQuery(tooltip, function, args); return false;
  }
}

void RunDustNative(const GuiMaster* master, int32_t function, const NativeArgs& args) {
  if (function == kInitDustScene) {
    if (SceneRecord* scene = GetSceneByHandle(static_cast<uint32_t>(args.Int(0))); master && scene)
      InitDustScene(scene);
    return;
  }
  CameraRecord* dust = GetCameraByHandle(static_cast<uint32_t>(args.Int(0)));
  SpaceObject* sector = args.Object(1);
  CameraRecord* sectorCamera = GetCameraByHandle(static_cast<uint32_t>(args.Int(2)));
  if (dust && sector && sectorCamera) UpdateDustScene(sector, dust, sectorCamera);
}

}  // namespace

int32_t (*gMapSectorVisibility)(int32_t column, int32_t row) = AskScriptsForVisibility;

bool GalaxyMapNextSector(const CutRecord* cut, int32_t x, int32_t y, int32_t direction, int32_t visibility,
                         int32_t* outColumn, int32_t* outRow) {
  int64_t cx = 0, cy = 0;
  if (!CellPosition(cut, x, y, &cx, &cy)) return false;
  const bool vertical = direction == 0 || direction == 1;
  int64_t best = INT64_MAX;
  bool found = false;
  for (int32_t column = 0; column < kGalaxyRows; ++column) {
    for (int32_t row = 0; row < kGalaxyColumns; ++row) {
      const int32_t visible = visibility != 0 ? visibility : (gMapSectorVisibility ? gMapSectorVisibility(column, row) : 0);
      if (!visible) continue;
      if (vertical ? row == y : column == x) continue;
      int64_t px = 0, py = 0;
      if (!CellPosition(cut, column, row, &px, &py)) continue;
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
    case kGalaxyMapFindSector: {
      int32_t cell[2] = {0, 0};
      if (GalaxyMapFindSector(GetSceneByHandle(static_cast<uint32_t>(in.Int(0))), in.Int(1), in.Int(2), &cell[0],
                              &cell[1])) {
        AnswerIntArray(task, cell, 2);
        return true;
      }
      break;
    }
    case kBuildGalaxyMap:
    case kClearGalaxyMap: RunGalaxyMapNative(function, in); break;
    case kDrawObjectSymbol: DrawSymbolNative(master, in); break;
    case kDrawObjectSymbol3D: DrawArrowNative(in); break;
    case kGetGalaxyMapNextSector: {
      int32_t cell[2] = {0, 0};
      if (GalaxyMapNextSector(J3D_LoadCut(kGalaxyMapCut), in.Int(0), in.Int(1), in.Int(2), in.Int(3), &cell[0],
                              &cell[1])) {
        AnswerIntArray(task, cell, 2);
        return true;
      }
      break;
    }
    case kOverlayTrackPrevNext:
    case kObjectByOverlayIconPos:
    case kMenuPosByOverlayIconPos:
    case kShowTooltip:
    case kHideTooltip:
    case kIsTooltipVisible:
    case kGetTooltipVisibleTime:
      if (RunCockpitNative(master, task, function, in, &answer)) return true;
      break;
    case kInitDustScene:
    case kUpdateDustScene: RunDustNative(master, function, in); break;
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
