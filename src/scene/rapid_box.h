// The box-tree collision model an instance's body parts ask for. Least form until the collision
// models are built (rapid_box_stub.cpp): nothing is made.
#pragma once

#include <cstdint>

struct InstanceRecord;

void B3D_InstMakeRapidBox(InstanceRecord* instance, int32_t mode);
