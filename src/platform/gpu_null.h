// The recording null device's log: every call a null system object or device (or a resource
// they made) receives is written as one line "Name(arg, arg, ...)" with numbers in decimal,
// flags and formats in hexadecimal (0x...), pointers as object names ("tex1", "vb2", "null").
// Tests compare the lines; fault injection is GpuInjectResult of gpu.h.
#pragma once

#include <string>
#include <vector>

const std::vector<std::string>& GpuNullLog();
void GpuNullClearLog();
