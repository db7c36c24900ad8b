// Body components: the weapon mounts, cockpit points and docking points a model marks on its
// parts, turned into component-table entries. Called by the type loader while it rebuilds the
// component tables from the models; never loads or frees a body itself.
#pragma once

#include <cstdint>

#include "universe/object_classes.h"

struct BodyRecord;

// Part flags that make a component, and the triangle flags that give its direction.
constexpr uint32_t kPartLaserPoint = 0x200;
constexpr uint32_t kPartCockpitPoint = 0x8000;
constexpr uint32_t kPartDockingPoint = 0x1000;
constexpr uint16_t kTriangleLaserDirection = 0x20;
constexpr uint16_t kTriangleCockpitDirection = 0x40;
// A body's points of one kind; one more ends the process with exit code 40.
constexpr int32_t kComponentPointsPerKind = 50;

// Appends one entry per kind that the body's first mesh marks (laser, cockpit, docking, in this
// order). A 51st point of one kind ends the process (40, "SetComponents"); a table that cannot
// grow ends it with 3.
void SetComponents(const BodyRecord* body);

// Appends an entry {body, copy of the points} to a kind's table. A copy that cannot be made
// leaves the entry without points; a table that cannot grow ends the process with 3.
void AppendComponentEntry(int32_t kind, int32_t body, const ComponentPoint* points, int32_t count);
// Frees every kind's entries and their points.
void FreeComponentTable();
