// The attached game controllers as the settings dialogs list them: a product name and a 16-byte
// instance identifier each, in the order the system reports them. Called by the controller
// dialog. Tests install a list of their own (or a failing input system) instead of the system's.
#pragma once

#include <cstdint>

constexpr int kJoystickIdentifierSize = 16;
constexpr int kJoystickNameSize = 260;

struct JoystickDevice {
  uint8_t identifier[kJoystickIdentifierSize];
  char name[kJoystickNameSize];
};

// Called once per device; answer false to stop the enumeration.
using JoystickCallback = bool (*)(const JoystickDevice* device, void* context);

// False when the input system cannot be started; true when the enumeration ran (also over no
// devices).
bool EnumerateJoysticks(JoystickCallback callback, void* context);

// Test seam: `devices` (count entries) replace the system's; `available` false makes the input
// system fail to start. JoystickUseSystem() restores the real enumeration.
void JoystickSetTestDevices(const JoystickDevice* devices, int count, bool available);
void JoystickUseSystem();
