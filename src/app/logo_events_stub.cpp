// The least form of the logo screen, the input event wrapper and the low-memory hook that the
// application core needs until that unit is built: the logo screen is always ready, no script
// answers an input event, and a low-memory call has nothing to give back. Called by the game main
// and the game loop.
#include "app/awaited_services.h"

int32_t ShowLogoScreen() { return 1; }
int32_t RaiseInputEvent(int32_t) { return 0; }
void OnLowMemory() {}
