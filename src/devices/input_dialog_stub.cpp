// The least form of suspending the input devices for a dialog: nothing is acquired yet, so
// nothing is given up. Called by the dialogs' activation handling.
#include "devices/input_dialog.h"

void InputSuspendForDialog(void*) {}
