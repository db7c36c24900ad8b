// The least form of the device lights: no light has a device record yet, so there is nothing to
// move or fill. Called by the scene engine when camera coordinates are updated and when a
// light's settings change.
#include "render/device_lights.h"
#include "scene/instance_records.h"

bool LightUpdateD3DPosition(InstanceRecord* light) {
  if (!light || !light->deviceLight) return false;
  light->deviceLight->slot = -1;
  return true;
}

D3DLightRecord* LightGetD3DLight(InstanceRecord* light) { return light ? light->deviceLight : nullptr; }
bool LightUpdateD3DColor(InstanceRecord* light) { return light && light->deviceLight; }
