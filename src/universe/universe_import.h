// The universe model's XML import as the application natives use it: one node of a universe
// description (and, recursively, its children) imported into a script result value. Called by
// Wilo_XMLImportGalaxy for the root element and each following sibling element.
#pragma once

#include <cstdint>

struct ScriptValue;
struct _xmlNode;

void ImportUniverseNode(ScriptValue* result, _xmlNode* node, int32_t flag);
