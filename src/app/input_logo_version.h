// Four small services of the application core: the product version (for the banner and the
// benchmark report), the logo screen shown while the game starts, the wrapper that raises the
// "Input" script event for the frame's input step, and the memory manager's low-memory hook.
// Called by the game main, the game loop and the memory manager. None of them ends the process.
#pragma once

#include <cstdint>
#include <string>

struct DisplayObject;
struct EngineState3D;
struct DisplaySurface;

// The product version as the program's version resource holds it: four numbers with commas and
// blanks between them.
extern const char kProductVersionResource[];

// The product version, normalised: every "," becomes ".", every blank goes. The SystemBlock's
// version text gets at most 13 characters of it; the whole text is returned. "" when the version
// cannot be read, and then the version text keeps its previous value.
std::string ReadVersionInfo();
// The same from a version resource's raw text (null: no resource).
std::string ReadVersionInfoFrom(const char* raw);

// The logo screen's drawing surfaces.
constexpr int kLogoSurfaceCount = 4;
extern DisplaySurface* gLogoSurfaces[kLogoSurfaceCount];
// 1 when the logo screen was set up (also when the logo picture is missing), 0 when its drawing
// surfaces cannot be created.
int32_t ShowLogoScreen();
// Releases the logo surfaces this unit created (not the display's own).
void FreeLogoSurfaces();

constexpr int32_t kInputEventTarget = 150;
// Raises "Input" with the key code and returns the script's answer; -1 ends the running game
// loop. No answer (no handler, or a handler that waits) counts as 0.
int32_t RaiseInputEvent(int32_t code);
// Raises a named event with one integer on the game's own module (object 150) and returns the
// script's integer answer; 0 without an answer or without a game state.
int32_t RaiseGameEvent(const char* name, int32_t argument);

// Gives memory back when an allocation failed: unused bodies and textures; below this much
// physical memory it also lowers the quality, one step per call up to the last.
constexpr int32_t kLowMemoryThresholdMB = 1200;
constexpr uint32_t kMaxQualityReduction = 4;
void OnLowMemory();

// The renderer and 3D engine calls of this unit. Tests replace them to watch; null restores the
// real services.
struct VersionLogoServices {
  bool (*initSquareTable)();
  DisplaySurface* (*createImageHandle)(int32_t bits, int32_t width, int32_t height, uint32_t flags);
  DisplaySurface* (*loadImageFile)(const char* name, uint32_t flags, int32_t reserved, int32_t count);
  void (*stretchSurface)(DisplaySurface* target, DisplaySurface* image);
  void (*updateScreen)();
  int32_t (*releaseImageHandle)(DisplaySurface** slot);
  DisplaySurface* (*displaySurface)(const DisplayObject* display, int32_t index);
  void (*freeUnusedTextures)();
  void (*dumpUsedBodies)(EngineState3D* engine);
};
void SetVersionLogoServices(const VersionLogoServices* services);
