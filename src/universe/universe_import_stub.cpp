// The least form of the universe XML import until the universe model is built: a node imports
// nothing and the result value is left as it was. Called by the application natives.
#include "universe/universe_import.h"

void ImportUniverseNode(ScriptValue*, _xmlNode*, int32_t) {}
