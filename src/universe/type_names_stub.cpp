// The least form of the type lookup by name until the type tables are loaded by the universe
// model: every class has no rows, so every name finds 0. Called by the universe XML import.
#include "universe/type_names.h"

int32_t FindTypeByName(int32_t, const char*) { return 0; }
