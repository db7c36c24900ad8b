// XML access over libxml2: set-up (memory hooks and the silent error handler), parsing from memory
// and the attribute helpers. Called by the game main once at start-up and by every XML reader and
// writer of the game. libxml2's blocks are never counted in the memory statistics, and no parse
// error or warning ever reaches the console.
#include "core/xml_access.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <libxml/parser.h>
#include <libxml/xmlmemory.h>

#include "core/memory.h"
#include "platform/heap.h"

// libxml2 reports through a printf-like callback; the game shows its own messages instead.
static void SilentXmlError(void*, const char*, ...) {}

void XmlFree(void* block) {
  if (block) MemFree(block, 0, kMemUncounted);
}

void* XmlMalloc(size_t size) {
  // MemAlloc with the uncounted flag: one retry after the low-memory hook, zero-filled.
  return MemAlloc(size, kMemUncounted);
}

void* XmlRealloc(void* block, size_t size) {
  // Straight to the heap: a resize through the manager would count the block, and libxml2's
  // memory stays outside the statistics.
  return OsHeapRealloc(block, size);
}

char* XmlStrdup(const char* text) {
  if (!text) return nullptr;
  size_t length = std::strlen(text);
  char* copy = static_cast<char*>(MemAlloc(length + 1, kMemUncounted));
  if (copy) std::memcpy(copy, text, length + 1);
  return copy;
}

bool InitXml() {
  xmlCheckVersion(kXmlRequiredVersion);
  xmlFreeFunc oldFree = nullptr;
  xmlMallocFunc oldMalloc = nullptr;
  xmlReallocFunc oldRealloc = nullptr;
  xmlStrdupFunc oldStrdup = nullptr;
  xmlMemGet(&oldFree, &oldMalloc, &oldRealloc, &oldStrdup);
  xmlMemSetup(XmlFree, XmlMalloc, XmlRealloc, XmlStrdup);
  xmlSetGenericErrorFunc(nullptr, SilentXmlError);
  return true;
}

// Repeated before every parse: a library user elsewhere may have installed its own handler.
static void PrepareParse() {
  xmlCheckVersion(kXmlRequiredVersion);
  xmlSetGenericErrorFunc(nullptr, SilentXmlError);
}

xmlDocPtr ParseXmlMemory(const char* text, const char* url) {
  if (!text) return nullptr;
  PrepareParse();
  size_t length = std::strlen(text) + 1;
  if (length > 0x7FFFFFFF) return nullptr;
  return xmlReadMemory(text, static_cast<int>(length), url, nullptr, kXmlParseOptions);
}

xmlDocPtr XmlReadMemoryN(const char* buffer, size_t size, const char* url) {
  if (!buffer || size > 0x7FFFFFFF) return nullptr;
  PrepareParse();
  return xmlReadMemory(buffer, static_cast<int>(size), url, nullptr, kXmlParseOptions);
}

void XmlFreeDoc(xmlDocPtr document) {
  if (document) xmlFreeDoc(document);
}

bool XmlHasProp(xmlNodePtr node, const char* name) {
  if (!node || !name) return false;
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!value) return false;
  xmlFree(value);
  return true;
}

int32_t XmlGetPropInt(xmlNodePtr node, const char* name, int32_t defaultValue) {
  if (!node || !name) return defaultValue;
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!value) return defaultValue;
  // atol on a 64-bit long, kept to the 32 bits the callers store.
  int32_t result = static_cast<int32_t>(std::atol(reinterpret_cast<const char*>(value)));
  xmlFree(value);
  return result;
}

double XmlGetValDouble(xmlNodePtr node) {
  if (!node) return 0.0;
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>("val"));
  if (!value) return 0.0;
  double result = std::atof(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return result;
}

std::string XmlGetPropString(xmlNodePtr node, const char* name) {
  if (!node || !name) return std::string();
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!value) return std::string();
  std::string result(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return result;
}

void XmlSetPropString(xmlNodePtr node, const char* name, const std::string& value) {
  if (!node || !name) return;
  xmlSetProp(node, reinterpret_cast<const xmlChar*>(name), reinterpret_cast<const xmlChar*>(value.c_str()));
}

void XmlSetPropInt(xmlNodePtr node, const char* name, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%d", value);
  XmlSetPropString(node, name, text);
}

void XmlSetValDouble(xmlNodePtr node, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%g", value);
  XmlSetPropString(node, "val", text);
}

std::string XmlDocToString(xmlDocPtr document) {
  if (!document) return std::string();
  xmlChar* buffer = nullptr;
  int size = 0;
  xmlDocDumpFormatMemory(document, &buffer, &size, 1);
  if (!buffer) return std::string();
  std::string result(reinterpret_cast<const char*>(buffer), size > 0 ? static_cast<size_t>(size) : 0);
  xmlFree(buffer);
  return result;
}
