// Services the start-up and the game loop call whose own units are not in the tree yet: the
// logo screen and event wrappers. They are declared here under their
// own names and given their least form in the *_stub.cpp files beside this header; when a unit
// arrives with its header, its declarations leave this file and its stub file goes. Nothing here
// may grow beyond what the callers rely on.
#pragma once

#include <cstdint>

// Logo screen and event wrappers.
// 1 when the logo screen was set up, 0 when its drawing surfaces cannot be created.
int32_t ShowLogoScreen();
// Raises "Input" with the key code and returns the script's answer (-1 ends the game loop).
int32_t RaiseInputEvent(int32_t code);
void OnLowMemory();
