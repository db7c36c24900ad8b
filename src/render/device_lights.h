// The device lights the renderer keeps for the scene engine's lights: the record a light
// instance owns (a device light description and its slot in the current pass), its creation
// and refresh from the light's 16.16 fields, its position update, and the numbering of the
// lights chosen for a pass.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"
#include "platform/gpu.h"

struct InstanceRecord;

struct D3DLightRecord {
  GpuLight light;
  int32_t slot;  // position in the active light slots of the pass, -1 when not active
};

// Gives the light its record, filled; false when it has one already or memory runs out.
bool LightCreateD3DLight(InstanceRecord* light);
// Refills the light's record from its kind, colour, range and attenuation; null without one.
D3DLightRecord* LightGetD3DLight(InstanceRecord* light);
// Moves the record to the light's world position and direction and takes it out of the pass's
// slots; false without a record.
bool LightUpdateD3DPosition(InstanceRecord* light);
// Writes each chosen light's slot number of the engine's light slots into its record.
void AssignLightSlots();
// Frees a record; true.
bool D3DLightFree(D3DLightRecord* record);
// Scales a 16.16 vector to length 65536 (truncated); the zero vector stays zero.
void FixedVectorNormalize(FixedVector* vector);
