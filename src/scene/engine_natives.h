// The instance and engine natives' helpers other scene code calls. Least form until they are
// built (engine_natives_stub.cpp): the length of a path.
#pragma once

#include <cstdint>

struct PathRecord;

// The largest last-key time over the path's six key lists; never below 0.
int32_t PathAnimEndTime(const PathRecord* path);
