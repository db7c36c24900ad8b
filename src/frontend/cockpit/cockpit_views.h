// The cockpit's scenes and views: the cockpit scene with its main camera and lights, the tooltip
// scene, the target-overlay scene, the view connect modes and the per-frame view placement.
// Least form until they are built (cockpit_views_stub.cpp).
#pragma once

struct CockpitRecord;
struct TooltipRecord;

// Builds the "Cockpit Scene" with its main camera into the cockpit; nothing on failure.
void CockpitCreateScene(CockpitRecord* cockpit);
// Builds the "Tooltip Scene" with its camera into the tooltip record.
void CockpitCreateTooltipScene(TooltipRecord* tooltip);
