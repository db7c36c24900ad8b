// The instance and engine natives' helpers other scene code and the GUI call. Least form until
// they are built (engine_natives_stub.cpp): the length of a path, and fonts that cannot be opened yet.
#pragma once

#include <cstdint>

struct PathRecord;

// The largest last-key time over the path's six key lists; never below 0.
int32_t PathAnimEndTime(const PathRecord* path);

// Opens a font registered under its name followed by the size in decimal; its handle, or -1 when
// the font cannot be made.
int32_t B3D_OpenFont(const char* name, int32_t size, int32_t a, int32_t b, int32_t c);
