// The universe model's XML import as the application natives use it: one node of a universe
// description (and, recursively, its children) imported into a script result value. Called by
// Wilo_XMLImportGalaxy for the root element and each following sibling element.
#pragma once

#include <cstdint>

struct ScriptValue;
struct _xmlNode;

// Returns the element's class number: 0 for "universe" and for elements that build nothing, and
// -k for a group of kind k (1 to 10), which its parent turns back into k.
int32_t ImportUniverseNode(ScriptValue* result, _xmlNode* node, int32_t level);
