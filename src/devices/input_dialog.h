// What the input devices do when a dialog takes the input: unacquire the devices and give up
// their exclusive hold. Called by the dialogs' activation handling; least form until the input
// devices are built (input_dialog_stub.cpp).
#pragma once

void InputSuspendForDialog(void* mainWindow);
