// XML import and export of script values: the "sval" element form of a value with its nested
// arrays and tables, and the array form of any XML element. Called by the SE_ XML natives, which
// parse and print the documents; these converters only build and read nodes. Every conversion
// ends: a container that holds itself and nesting beyond kValueXmlDepth are cut off.
#pragma once

#include <cstdint>

#include <libxml/tree.h>

#include "script/value.h"

// Containers nested deeper than this export as "unknown" and elements this deep import as
// nothing, so no document or value can exhaust the stack.
constexpr int32_t kValueXmlDepth = 1000;

// A new unattached "sval" element for the value, or null when no node can be made. A null
// array or table reference, and a container met again inside itself, export as "unknown"
// with their type code.
xmlNodePtr ExportValueXml(const ScriptValue* value);

// Releases dest and sets it from an "sval" element; anything else leaves it type 0.
void ImportValueXml(ScriptValue* dest, xmlNodePtr node);

// Releases dest and makes it [name, attribute table or 0, children...]; a null node gives 0.
void ImportXmlElement(ScriptValue* dest, xmlNodePtr node);
