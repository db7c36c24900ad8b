// The device lights the renderer keeps for the scene engine's lights. Least form until they are
// built (device_lights_stub.cpp): the record the light instance owns, its position update and
// its refresh from the light's settings.
#pragma once

#include <cstdint>

struct InstanceRecord;

struct D3DLightRecord {
  int32_t slot;  // position in the active light slots of the pass, -1 when not active
};

// Moves the light's device record to the light's world position; false when it has none.
bool LightUpdateD3DPosition(InstanceRecord* light);
// Fills the light's device record from its colour, range, kind and parameter; null without one.
D3DLightRecord* LightGetD3DLight(InstanceRecord* light);
// Hands the light's colour to its device record; false when it has none.
bool LightUpdateD3DColor(InstanceRecord* light);
