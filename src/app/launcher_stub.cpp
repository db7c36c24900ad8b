// The least form of the launcher dialog that the application core needs until the dialogs are
// built: it answers "start", as the headless launcher does. Called by the game main.
#include "app/awaited_services.h"

int32_t RunLauncherDialog() { return 1; }
