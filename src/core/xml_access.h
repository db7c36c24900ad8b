// XML access: the thin layer over libxml2 that every XML user of the game goes through (text
// database, universe import, script-value import and export, the signed manifest, the script XML
// natives). InitXml routes libxml2's memory through the memory manager, outside the accounting,
// and silences its error output; the rest parses from memory and reads or writes attributes.
// Callers walk the tree with libxml2's own functions. Nothing here ever prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <libxml/tree.h>

// libxml2 2.6.23 is the oldest library whose behaviour the callers rely on.
constexpr int kXmlRequiredVersion = 20623;
// XML_PARSE_PEDANTIC | XML_PARSE_NOBLANKS: blank text nodes between elements are dropped.
constexpr int kXmlParseOptions = 0x180;

// One-time set-up, before any other libxml2 use. Always true.
bool InitXml();

// Parses a NUL-terminated text (the terminator is handed to the parser too); null when the
// document does not parse. url names the document in libxml2's records only.
xmlDocPtr ParseXmlMemory(const char* text, const char* url);
// The same over size bytes that need no terminator.
xmlDocPtr XmlReadMemoryN(const char* buffer, size_t size, const char* url);
void XmlFreeDoc(xmlDocPtr document);

bool XmlHasProp(xmlNodePtr node, const char* name);
// atol of the attribute text ("12abc" gives 12), defaultValue when the attribute is missing.
int32_t XmlGetPropInt(xmlNodePtr node, const char* name, int32_t defaultValue);
// atof of the attribute "val", 0.0 when missing.
double XmlGetValDouble(xmlNodePtr node);
// The attribute text, empty when missing.
std::string XmlGetPropString(xmlNodePtr node, const char* name);
void XmlSetPropString(xmlNodePtr node, const char* name, const std::string& value);
void XmlSetPropInt(xmlNodePtr node, const char* name, int32_t value);
void XmlSetValDouble(xmlNodePtr node, double value);

// The whole document, formatted with indentation; empty for a null document.
std::string XmlDocToString(xmlDocPtr document);

// The memory functions InitXml installs (libxml2's free, malloc, realloc and strdup slots).
// None of them is counted in the memory statistics.
void XmlFree(void* block);
void* XmlMalloc(size_t size);
void* XmlRealloc(void* block, size_t size);
char* XmlStrdup(const char* text);
