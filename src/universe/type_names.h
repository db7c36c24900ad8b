// Type lookup by name within one object class's type table: the row whose type id string equals
// the name, or the number itself when the name is a decimal below the row count; 0 when nothing
// matches. Called by the universe XML import; never changes a table.
#pragma once

#include <cstdint>

int32_t FindTypeByName(int32_t objectClass, const char* name);
