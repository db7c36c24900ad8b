// The table of services the application core calls, bound to the real services. Only tests
// rebind entries; the game itself never changes them.
#include "app/game_services.h"

#include "app/input_logo_version.h"
#include "script/script_calls.h"
#include "script/timers.h"
#include "app/entry.h"
#include "app/game_loop.h"
#include "app/general_init.h"
#include "app/save_game.h"
#include "app/settings.h"
#include "devices/input.h"
#include "devices/input_translate.h"
#include "devices/key_codes.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "frontend/frontend.h"
#include "platform/os.h"
#include "render/render.h"
#include "scene/scene.h"
#include "script/engine.h"
#include "script/loader.h"
#include "script/tasks.h"
#include "simulation/simulation.h"
#include "universe/universe.h"

namespace {

bool RaiseScriptEvent(int32_t module, int32_t subMode, const char* name, int32_t count, const int32_t* args) {
  constexpr int32_t kResultInt = 1;
  switch (count) {
    case 0: return CallScriptFunctionRet(module, 0, subMode, name, kResultInt, 0);
    case 1: return CallScriptFunctionRet(module, 0, subMode, name, kResultInt, 1, args[0]);
    case 2: return CallScriptFunctionRet(module, 0, subMode, name, kResultInt, 2, args[0], args[1]);
    default: return CallScriptFunctionRet(module, 0, subMode, name, kResultInt, 3, args[0], args[1], args[2]);
  }
}

void LocalTimeNow(std::tm* out) {
  std::time_t now = std::time(nullptr);
  localtime_r(&now, out);
}

constexpr GameServices kRealServices = {
    DispatchTimerEvents,
    PumpMessages,
    UpdateSounds,
    RunScriptTasks,
    UpdateMovies,

    StopAllMovies,
    ClearGalaxyGrid,
    ResetObjectEffects,
    P_InitLoadingScreen,
    P_ShowNextLoadingScreen,
    P_ViewLoadingScreen,
    P_ViewEBMFullscreen,
    ReadSaveGame,
    WriteSaveGame,
    ResetScriptSystems,
    LoadScriptStore,
    RunLocation,
    InitGuiMaster,
    ClearEffectInstances,
    FreeEffectDefinitions,
    UnloadAllSamples,
    FreeAllObjects,
    FreeAllCockpits,

    UpdateCutScenes,
    StepUniverse,
    ContainerFreeRemovedObjects,
    NextKeyCode,
    RaiseScriptEvent,
    RaiseInputEvent,
    TranslateInput,
    StepObjectEffects,
    UpdateHud,
    UpdateEngine3DFrame,
    AutoAdjustQuality,
    UpdateScreen,
    TakeScreenshot,

    RunGameLoop,
    B3D_GetBodyID,
    B3D_GetCutID,

    SaveSettings,
    StopSceneSounds,
    DestroyUniverse,
    FreeBodyRenderData,
    FreeEngineRenderTables,
    ExitEngine3D,
    ReleaseImageHandle,
    ReleaseFonts,
    ShutdownSoundModule,
    FreeEngineTables,
    FreeLoadingScreens,
    ClearTimerEvents,
    ShutdownMovieModule,
    FreeSoundBanks,
    FreeCollisionFitBuffers,
    ShutdownSound,
    ReleaseInputDevices,
    ReleaseDisplay,
    ShowErrorBox,
    FreeSystemBlock,
    LocalTimeNow,
    OsExitProcess,
};

}  // namespace

GameServices gGameServices = kRealServices;

void ResetGameServices() { gGameServices = kRealServices; }
