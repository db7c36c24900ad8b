// Game controller enumeration through SDL2's joystick subsystem, started for the enumeration and
// stopped after it (other users of the subsystem keep it running, SDL counts them). The device
// GUID is the 16-byte instance identifier the settings keep. Called by the controller dialog;
// never opens a device.
#include "platform/joystick_list.h"

#include <SDL.h>

#include <cstring>

namespace {

struct TestDevices {
  bool active;
  bool available;
  const JoystickDevice* devices;
  int count;
};
TestDevices gTest = {};

}  // namespace

bool EnumerateJoysticks(JoystickCallback callback, void* context) {
  if (gTest.active) {
    if (!gTest.available) return false;
    for (int i = 0; i < gTest.count; ++i) {
      if (callback && !callback(&gTest.devices[i], context)) break;
    }
    return true;
  }
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return false;
  int count = SDL_NumJoysticks();
  for (int i = 0; i < count; ++i) {
    JoystickDevice device = {};
    SDL_JoystickGUID guid = SDL_JoystickGetDeviceGUID(i);
    static_assert(sizeof(guid.data) == kJoystickIdentifierSize, "a joystick GUID is 16 bytes");
    std::memcpy(device.identifier, guid.data, kJoystickIdentifierSize);
    const char* name = SDL_JoystickNameForIndex(i);
    std::strncpy(device.name, name ? name : "", kJoystickNameSize - 1);
    if (callback && !callback(&device, context)) break;
  }
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  return true;
}

void JoystickSetTestDevices(const JoystickDevice* devices, int count, bool available) {
  gTest = TestDevices{true, available, devices, devices ? count : 0};
}

void JoystickUseSystem() { gTest = TestDevices{}; }
