// The INS_ native module: its 111 names, its registration with the resume hooks that land a
// script's answer in the GUI master, and the dispatcher frame (allocation and freeing here, the
// fixed answers, everything else to the cockpit natives). Called by the game main once at
// start-up and by the interpreter for every INS_ call. Every call answers its task at once.
#include "frontend/cockpit/cockpit.h"

#include "frontend/cockpit/cockpit_natives.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/map_natives.h"
#include "script/engine.h"
#include "simulation/object_removal.h"

const char* const kINSNativeNames[kCockpitNativeCount + 1] = {
    "INS_CockpitAlloc", "INS_CockpitFree", "INS_CockpitGetCamera", "INS_CockpitEnableCamera",
    "INS_CockpitGetScene", "INS_CockpitSetSectorCamera", "INS_CockpitSetGalaxyCamera",
    "INS_CockpitSetDustCamera", "INS_CockpitGetSectorCamera", "INS_CockpitGetGalaxyCamera",
    "INS_CockpitGetDustCamera", "INS_CockpitSetSectorSpace", "INS_CockpitSetRefObject",
    "INS_CockpitSetCockpitRefObject", "INS_CockpitGetRefObject", "INS_CockpitGetCockpitRefObject",
    "INS_CockpitSetShading", "INS_CockpitSetCameraMessage", "INS_CockpitSetNavMap", "INS_CockpitSetGrid",
    "INS_CockpitGetGrid", "INS_CockpitSetRadarMode", "INS_CockpitGetRadarMode", "INS_CockpitGetRadarRange",
    "INS_CockpitMoveCockpit", "INS_CockpitSetCockpitNumber", "INS_CockpitGetCockpitNumber",
    "INS_CockpitSetMonitorNumber", "INS_CockpitGetMonitorNumber", "INS_CockpitDisplayMessage",
    "INS_CockpitDisplayMessageWithDuration", "INS_CockpitSetZooming", "INS_SetTimeWarpFactor", "INS_SetFocus",
    "INS_CockpitDoTracking", "INS_CockpitDoEnemyTracking", "INS_CockpitIsTracking", "INS_CockpitIsEnemyTracking",
    "INS_CockpitSetTracking", "INS_CockpitGetTracking", "INS_CockpitGetCursorAim", "INS_CockpitGetEnemyAim",
    "INS_CockpitGetDistanceToObj", "INS_CockpitChangeView", "INS_CockpitSetViewConnectMode",
    "INS_CockpitRefreshViewConnectMode", "INS_CockpitLockView", "INS_CockpitSetViewPos",
    "INS_CockpitSetViewMode", "INS_CockpitEnable2DDraw", "INS_CockpitEnableCockpitBody",
    "INS_CockpitEnableRadarBody", "INS_CockpitEnableDisplayBody", "INS_CockpitEnableTargetBodies",
    "INS_CockpitSetViewCameraOffset", "INS_CockpitGetViewCameraOffsetX", "INS_CockpitGetViewCameraOffsetY",
    "INS_CockpitGetViewCameraOffsetZ", "INS_CockpitGetViewAlpha", "INS_CockpitGetViewBeta",
    "INS_CockpitGetViewGamma", "INS_CockpitSetCurrentMissile", "INS_GalaxyMapFindSector", "INS_BuildGalaxyMap",
    "INS_ClearGalaxyMap", "INS_GetGalaxyMapNextSector", "INS_DrawObjectSymbol", "INS_DrawObjectSymbol3D",
    "INS_InitDustScene", "INS_UpdateDustScene", "INS_SetActiveControlCockpit", "INS_SetUnitDisplay",
    "INS_GetUnitDisplay", "INS_AutoDoc", "INS_DisplayCameraMessage", "INS_DrawRadar", "INS_SetExternalView",
    "INS_CockpitSetViewCameraOffset2", "INS_CockpitSetViewPointOffset", "INS_CockpitSetViewPointOffset2",
    "INS_CockpitSetViewDuration", "INS_CockpitSetPosDuration", "INS_CockpitSetViewAngle1",
    "INS_CockpitSetViewAngle2", "INS_CockpitSetPosAngle1", "INS_CockpitSetPosAngle2", "INS_CockpitSetFlags",
    "INS_CockpitGetFlags", "INS_CockpitGetViewPos", "INS_CockpitGetViewPointPos", "INS_CockpitSetRefViewObject",
    "INS_CockpitSetRefViewPos", "INS_CockpitSetRefPos", "INS_CockpitGetRefPos", "INS_CockpitGetRefViewPos",
    "INS_CockpitSetCinematicLoopTime", "INS_CockpitNoDecay", "INS_CockpitTargetOverlayTrackPrevNext",
    "INS_CockpitGetObjectByTargetOverlayIconPos", "INS_CockpitGetMenuPosByTargetOverlayIconPos",
    "INS_CockpitProjectPosition", "INS_GetObjectIcon", "INS_GetWeaponIcon", "INS_GetAmmunitionIcon",
    "INS_ShowTooltip", "INS_HideTooltip", "INS_IsTooltipVisible", "INS_GetTooltipVisibleTime",
    "INS_ShowOverlayBrackets", "INS_HideOverlayBrackets", "INS_SetSidebarInstance", nullptr,
};

int32_t gCockpitModule = 0;

namespace {

constexpr int32_t kNativeAlloc = 0;
constexpr int32_t kNativeFree = 1;
constexpr int32_t kNativeAutoDoc = 73;
constexpr int32_t kNativeDisplayCameraMessage = 74;
constexpr int32_t kNativeSetExternalView = 76;

}  // namespace

int32_t CockpitResumeInt(uint32_t, int32_t value) {
  if (!gGuiMaster) return 0;
  // SetValueInt releases a counted old answer first.
  SetValueInt(&gGuiMaster->moduleResult, value);
  gGuiMaster->moduleHookFlag = 1;
  return 0;
}

void CockpitResumeValue(uint32_t, ScriptValue* value) {
  if (!gGuiMaster) return;
  gGuiMaster->moduleHookFlag = 1;
  CopyValue(&gGuiMaster->moduleResult, value);
}

void InitCockpitModule() {
  // Removed objects leave the cockpits' marks and views; the universe below cannot call up here.
  SetCockpitsForgetHook(CockpitsForgetObject);
  if (!gScriptEngine) return;
  gCockpitModule =
      RegisterNativeModule(gScriptEngine, DispatchINSNative, kINSNativeNames, CockpitResumeInt, nullptr, CockpitResumeValue);
}

int32_t DispatchINSNative(int32_t, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  if (!args || argCount < 0) argCount = 0;
  const uint32_t handle = argCount > 0 ? args[0].u : 0;
  switch (function) {
    case kNativeAlloc:
      ReturnInt(task, gScriptEngine, static_cast<int32_t>(CockpitAlloc(gGuiMaster)));
      break;
    case kNativeFree:
      if (CockpitRecord* cockpit = CockpitFromHandle(gGuiMaster, handle)) {
        HashRemove(gGuiMaster->cockpits, handle);
        DeleteCockpitSubRecord(cockpit, 1);
      }
      ReturnInt(task, gScriptEngine, 0);
      break;
    // INS_AutoDoc does nothing, but it answers: a task left without an answer would wait for ever.
    case kNativeAutoDoc:
    case kNativeDisplayCameraMessage:
    case kNativeSetExternalView:
      ReturnInt(task, gScriptEngine, 0);
      break;
    default:
      if (function < 0 || function >= kCockpitNativeCount) ReturnInt(task, gScriptEngine, 0);
      else if (RunMapNative(gGuiMaster, task, function, argCount, args)) break;
      else RunCockpitNative(gGuiMaster, task, function, argCount, args);
      break;
  }
  return 1;
}
