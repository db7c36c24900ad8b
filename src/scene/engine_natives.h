// The instance and engine natives' helpers other scene code and the GUI call. Least form until
// they are built (engine_natives_stub.cpp): the length of a path. Fonts open through the texture
// drawing operations (B3D_OpenFont).
#pragma once

#include <cstdint>

#include "scene/texture_drawing.h"

struct PathRecord;

// The largest last-key time over the path's six key lists; never below 0.
int32_t PathAnimEndTime(const PathRecord* path);
