// The services the game main, the game loop and the shutdown call on the other subsystems,
// gathered in one table of function pointers. The table starts bound to the real services;
// tests rebind single entries to record the order of calls or to make a service fail. Called
// only by the application core; nothing here owns state of the services it names.
#pragma once

#include <cstdint>
#include <ctime>

struct ScriptEngine;
struct SpaceObject;
struct UniverseBlock;
struct GalaxyGrid;
struct GuiMaster;
struct DisplaySurface;
struct TimerState;

struct GameServices {
  // Frame services, in the order every frame opens with them.
  void (*dispatchTimerEvents)();
  void (*pumpMessages)();
  void (*updateSounds)();
  void (*runScriptTasks)();
  void (*updateMovies)();

  // Before the first frame and at the teardown.
  void (*stopAllMovies)();
  void (*clearGalaxyGrid)(GalaxyGrid* grid);
  void (*resetObjectEffects)();
  void (*initLoadingScreen)();
  void (*showNextLoadingScreen)();
  void (*viewLoadingScreen)(const char* imageName, uint32_t realClock, int32_t flag);
  void (*viewFullscreenImage)(const char* imageName, int32_t seconds);
  int32_t (*readSaveGame)(int32_t slot);
  bool (*writeSaveGame)(int32_t slot, const char* caption1, const char* caption2, uint32_t word);
  void (*resetScriptSystems)(int32_t soundArg);
  bool (*loadScriptStore)(ScriptEngine* engine, const char* name);
  void (*runLocation)(const char* startString);
  GuiMaster* (*initGuiMaster)(GuiMaster* block);
  void (*clearEffectInstances)();
  void (*freeEffectDefinitions)();
  void (*unloadAllSamples)();
  void (*freeAllObjects)(UniverseBlock* universe);
  void (*freeAllCockpits)(GuiMaster* master);

  // Each frame.
  void (*updateCutScenes)();
  void (*stepUniverse)();
  void (*containerFreeRemovedObjects)(SpaceObject* container);
  uint16_t (*nextKeyCode)();
  // A named script event on the current sub-mode's object, with `count` integer arguments; true
  // when a script function ran.
  bool (*raiseScriptEvent)(int32_t module, int32_t subMode, const char* name, int32_t count, const int32_t* args);
  int32_t (*raiseInputEvent)(int32_t code);
  int32_t (*translateInput)(SpaceObject* ship, int32_t steeringAllowed);
  void (*stepObjectEffects)();
  void (*updateHud)();
  void (*updateEngine3DFrame)();
  void (*autoAdjustQuality)();
  void (*updateScreen)();
  void (*takeScreenshot)();

  // The start-mode loop and the viewer requests before it.
  void (*runGameLoop)();
  int32_t (*getBodyId)(const char* name);
  int32_t (*getCutId)(const char* name);

  // The shutdown, in its stop order.
  int (*saveSettings)();
  void (*stopSceneSounds)();
  void (*destroyUniverse)(UniverseBlock* universe);
  void (*freeBodyRenderData)();
  void (*freeEngineRenderTables)();
  void (*exitEngine3D)();
  int32_t (*releaseImageHandle)(DisplaySurface** slot);
  void (*releaseFonts)();
  void (*shutdownSoundModule)();
  void (*freeEngineTables)(ScriptEngine* engine);
  void (*freeLoadingScreens)();
  void (*clearTimerEvents)(TimerState* state);
  void (*shutdownMovieModule)();
  void (*freeSoundBanks)();
  void (*freeCollisionFitBuffers)();
  void (*shutdownSound)();
  void (*releaseInputDevices)();
  void (*releaseDisplay)(int32_t flag);
  void (*showErrorBox)(const char* text);
  void (*freeSystemBlock)(uint32_t code);
  // The local time of the benchmark log's name.
  void (*localTimeNow)(std::tm* out);
  // Never returns; the attribute cannot sit on a pointer, so ShutdownAndExit guards the rest.
  void (*exitProcess)(int status);
};

extern GameServices gGameServices;
// Binds every entry to the real service again.
void ResetGameServices();
