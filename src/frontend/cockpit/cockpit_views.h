// The cockpit's scenes and views: the cockpit scene with its main camera and lights, the tooltip
// scene, the target-overlay scene, the view connect modes, the per-frame view placement and the
// two aim searches (cockpit_views.cpp).
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct CockpitRecord;
struct OverlayIconList;
struct SpaceObject;
struct TooltipRecord;

// Scene builders; each leaves its pointers null when the engine cannot make the record.
void CockpitCreateScene(CockpitRecord* cockpit);
void CockpitCreateTooltipScene(TooltipRecord* tooltip);
void CockpitCreateTargetOverlayScene(OverlayIconList* list, CockpitRecord* cockpit);

// Connect modes: 0 cockpit position, 1 track, 2 follow the cockpit position, 3 look at the
// reference, 4 cinematic pass, 5 watch from a point, 6 scripted camera, 8 ten-second move, 9 orbit.
void INS_CockpitSetViewConnectMode(CockpitRecord* cockpit, uint32_t mode);
void INS_CockpitRefreshViewConnectMode(CockpitRecord* cockpit);
// Per frame, before anything reads the view angles or `viewMatrix`.
void UpdateCockpitView(CockpitRecord* cockpit);

// The cockpit's eye in the sector: the world position of the carrying ship's cockpit position
// `cockpitNumber`, else the carrying object's node position; the origin without one.
void CockpitViewPoint(const CockpitRecord* cockpit, FixedVector* point);

// The Euclidean distance rounded to the nearest unit.
int64_t RoundedDistance(const FixedVector* a, const FixedVector* b);

// The aims; null when nothing qualifies. x or y below 0: no screen point (the view's own line).
SpaceObject* INS_CockpitGetEnemyAim(const CockpitRecord* cockpit);
SpaceObject* INS_CockpitGetCursorAim(const CockpitRecord* cockpit, int32_t x, int32_t y, bool flag);
