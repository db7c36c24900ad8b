// The location module as its callers and tests see it: the P_ native module and its names, the
// host services it needs of the application above it, the loading-screen list with its pacing,
// full-screen pictures, the screen clear and the automatic quality control. frontend.h keeps the
// entries the game main, the game loop and the shutdown call.
#pragma once

#include <cstdint>

struct HashTable;
struct ScriptTask;
struct ScriptValue;

// What the location module uses of the application: the one way the process ends, the message
// pump and the clock step. Null members do nothing (a missing shutdown returns to the caller).
struct LocationHost {
  void (*shutdownAndExit)(uint32_t code);
  void (*pumpMessages)();
  void (*updateFrameTimes)();
};
void LocationSetHost(const LocationHost* host);
const LocationHost& LocationHostInUse();

// The name RunLocation started, "NoLocation" when it had none.
extern const char* gLocationName;

constexpr int32_t kPNativeCount = 27;
extern const char* const kPNativeNames[kPNativeCount + 1];
int32_t DispatchPNative(int32_t module, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args);

// The pictures of the "loadscr" folder by key 1..N, the time the shown one may change, the index
// of the next one and whether none has been shown yet.
struct LoadingScreenList {
  HashTable* paths;
  uint32_t nextChange;
  int32_t index;
  int32_t first;
};
extern LoadingScreenList gLoadingScreens;
constexpr uint32_t kLoadingScreenHoldMs = 2000;
// Height of the top and bottom frame bands on a back surface of `height` rows.
int32_t LoadingScreenBand(int32_t height);

// Both answer as the natives do: 1 when a picture was shown (a loading screen also when nothing
// could be loaded), 0 when it was not.
int32_t ViewLoadingScreen(const char* path, uint32_t time, int32_t force);
int32_t ViewFullscreenPicture(const char* name, int32_t seconds);
void ClearScreen();
// Load flags of the two picture natives for the display's depth.
uint32_t LocationPictureFlags(int32_t depth, bool fullscreenPicture);

// The automatic quality control's counters and running frame time.
struct QualityControl {
  uint16_t samples;
  uint16_t raises;
  uint16_t lowers;
  double runningFrameTime;
};
extern QualityControl gQualityControl;
constexpr uint32_t kD3DAutoQuality = 0x800000;
