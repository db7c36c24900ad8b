// The display object's device side: presenting a frame, recovering a lost device, the screen
// extents and window placement the main window uses, and the display's surface slots. Called
// by the screen update and the display's creation and release; never draws.
#pragma once

#include <cstdint>

struct DisplayObject;
struct DisplaySurface;

// Set after every frame presented normally and after a reset; clear while the device is lost
// and cannot be reset yet.
extern int32_t gDeviceReady;

// Presents the back buffer; a lost device is reset once it can be.
void PresentFrame();
// 1 after a successful device reset, else 0 (the screen surfaces are then gone).
int32_t ResetDevice();
// Called after a reset once the renderer's own state is back: the effects and the scene's
// environment-map refresh, which live above the renderer. Null removes it.
void SetDeviceResetHook(void (*hook)());

// The screen relative to a 4:3 frame, 16.16.
void ComputeDisplayExtents(int32_t width, int32_t height, int32_t* horizontal, int32_t* vertical);
// A window of this size centred across and an eighth down the area (before its frame is added).
void PlaceWindow(int32_t areaLeft, int32_t areaTop, int32_t areaWidth, int32_t areaHeight, int32_t width,
                 int32_t height, int32_t* left, int32_t* top);

// The main window, the device and the screen surfaces; null on failure (with `gDisplay` freed
// once the device existed).
DisplayObject* CreateMainWindow(int32_t width, int32_t height, int32_t depth, uint32_t flags);
// Clears the screen buffers to black.
void FlushDisplayLists();
// Releases the screen surfaces, the device and the adapter tables; with `full` also the
// context and the window.
void ShutdownDirect3D(int32_t full);

// 0 the back-buffer surface, 1 the video surface, 2 and 3 the spare slots, else null.
DisplaySurface* GetDisplaySurface(int32_t index);
int32_t DisplayBufferCount();
