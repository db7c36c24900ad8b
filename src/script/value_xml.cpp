// XML import and export of script values: the "sval" exporter and importer and the element
// importer behind the SE_ XML natives. Builds and reads libxml2 nodes only; parsing and printing
// belong to the XML layer. Never follows a container into itself and never recurses beyond
// kValueXmlDepth, so cyclic values and hostile documents both end.
#include "script/value_xml.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <libxml/xmlstring.h>

#include "core/xml_access.h"
#include "script/containers.h"
#include "script/engine.h"

static const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// ---------------------------------------------------------------------------------------------
// Export

// The containers being exported, innermost first.
struct ExportingContainer {
  const void* record;
  const ExportingContainer* outer;
};

static bool IsExporting(const ExportingContainer* chain, const void* record) {
  for (; chain; chain = chain->outer) {
    if (chain->record == record) return true;
  }
  return false;
}

static void SetUnknown(xmlNodePtr node, uint8_t type) {
  XmlSetPropString(node, "type", "unknown");
  XmlSetPropInt(node, "typeid", type);
}

static void AppendExport(xmlNodePtr parent, const ScriptValue* value, int32_t depth, const ExportingContainer* chain);

static xmlNodePtr ExportAt(const ScriptValue* value, int32_t depth, const ExportingContainer* chain) {
  xmlNodePtr node = xmlNewNode(nullptr, X("sval"));
  if (!node) return nullptr;
  switch (value->type) {
    case kValueInt:
      XmlSetPropString(node, "type", "int");
      XmlSetPropInt(node, "val", value->i);
      break;
    case kValuePoolString:
    case kValueString: {
      const char* text = GetValueString(value);
      XmlSetPropString(node, "type", "string");
      XmlSetPropString(node, "val", text ? text : "");
      break;
    }
    case kValueDouble:
      XmlSetPropString(node, "type", "float");
      XmlSetValDouble(node, ValueDouble(value));
      break;
    case kValueArray: {
      const ScriptArray* array = value->array;
      if (!array || depth >= kValueXmlDepth || IsExporting(chain, array)) {
        SetUnknown(node, value->type);
        break;
      }
      XmlSetPropString(node, "type", "array");
      XmlSetPropInt(node, "size", array->size);
      ExportingContainer inner{array, chain};
      // A planned array has a negative size and no element block: no children.
      for (int32_t i = 0; i < array->size; ++i) AppendExport(node, &array->elements[i], depth + 1, &inner);
      break;
    }
    case kValueTable: {
      const ScriptTable* table = value->table;
      if (!table || depth >= kValueXmlDepth || IsExporting(chain, table)) {
        SetUnknown(node, value->type);
        break;
      }
      XmlSetPropString(node, "type", "table");
      XmlSetPropInt(node, "size", static_cast<int32_t>(table->count));
      ExportingContainer inner{table, chain};
      for (const TableEntry* entry = TableNext(value, nullptr); entry;) {
        const ScriptValue key = TableEntryKey(entry), data = TableEntryData(entry);
        AppendExport(node, &key, depth + 1, &inner);
        AppendExport(node, &data, depth + 1, &inner);
        entry = TableNext(value, &key);
      }
      break;
    }
    default:
      SetUnknown(node, value->type);
      break;
  }
  return node;
}

static void AppendExport(xmlNodePtr parent, const ScriptValue* value, int32_t depth, const ExportingContainer* chain) {
  xmlNodePtr child = ExportAt(value, depth, chain);
  if (child && !xmlAddChild(parent, child)) xmlFreeNode(child);
}

xmlNodePtr ExportValueXml(const ScriptValue* value) {
  if (!value) return nullptr;
  return ExportAt(value, 0, nullptr);
}

// ---------------------------------------------------------------------------------------------
// "sval" import

static bool IsElementNamed(xmlNodePtr node, const char* name) {
  return node && node->type == XML_ELEMENT_NODE && node->name && xmlStrcasecmp(node->name, X(name)) == 0;
}

static void ImportValueAt(ScriptValue* dest, xmlNodePtr node, int32_t depth);

// Largest array an "sval" may ask for, as for arrays in a save: a short document must not make
// the first element written claim gigabytes for the elements it only names by its size.
constexpr int32_t kImportedArrayLimit = 1 << 24;

static void ImportArray(ScriptValue* dest, xmlNodePtr node, int32_t depth) {
  int32_t size = XmlGetPropInt(node, "size", 0);
  if (size > kImportedArrayLimit) return;
  if (!AllocArrayValue(dest, size > 0 ? size : 0) || size <= 0) return;
  ScriptValue scratch{};
  int32_t index = 0;
  for (xmlNodePtr child = node->children; child && index < size; child = child->next) {
    if (!IsElementNamed(child, "sval")) continue;
    ImportValueAt(&scratch, child, depth + 1);
    ArrayWrite(dest, index++, &scratch);
  }
  ReleaseValue(&scratch);
}

static void ImportTable(ScriptValue* dest, xmlNodePtr node, int32_t depth) {
  if (!AllocTableValue(dest) || XmlGetPropInt(node, "size", 0) <= 0) return;
  ScriptValue key{}, data{};
  xmlNodePtr pendingKey = nullptr;
  for (xmlNodePtr child = node->children; child; child = child->next) {
    if (!IsElementNamed(child, "sval")) continue;
    if (!pendingKey) {
      pendingKey = child;
      continue;
    }
    ImportValueAt(&key, pendingKey, depth + 1);
    pendingKey = nullptr;
    // Only numbers and texts are keys a table can find again; an entry under any other key could
    // never be reached, and walking the table past it would start over from the first entry.
    if (key.type != kValueInt && !ValueIsText(&key)) continue;
    ImportValueAt(&data, child, depth + 1);
    TableSet(dest, &key, &data);
  }
  ReleaseValue(&key);
  ReleaseValue(&data);
}

static void ImportValueAt(ScriptValue* dest, xmlNodePtr node, int32_t depth) {
  ReleaseValue(dest);
  if (!IsElementNamed(node, "sval") || depth >= kValueXmlDepth) return;
  std::string type = XmlGetPropString(node, "type");
  if (type == "int") {
    SetValueInt(dest, XmlGetPropInt(node, "val", 0));
  } else if (type == "string") {
    SetValueString(dest, XmlGetPropString(node, "val").c_str());
  } else if (type == "float") {
    SetValueDouble(dest, XmlGetValDouble(node));
  } else if (type == "array") {
    ImportArray(dest, node, depth);
  } else if (type == "table") {
    ImportTable(dest, node, depth);
  }
}

void ImportValueXml(ScriptValue* dest, xmlNodePtr node) { ImportValueAt(dest, node, 0); }

// ---------------------------------------------------------------------------------------------
// Element import

// An attribute text that is an optional "-" and nothing but digits becomes an integer (the empty
// text and a lone "-" give 0); any other text stays a string.
static void SetAttributeValue(ScriptValue* dest, const char* text) {
  const char* p = text[0] == '-' ? text + 1 : text;
  uint32_t magnitude = 0;
  for (const char* q = p; *q; ++q) {
    if (*q < '0' || *q > '9') {
      SetValueString(dest, text);
      return;
    }
    magnitude = magnitude * 10 + uint32_t(*q - '0');  // wraps as 32-bit arithmetic
  }
  SetValueInt(dest, static_cast<int32_t>(text[0] == '-' ? 0u - magnitude : magnitude));
}

static void ImportAttributes(ScriptValue* dest, xmlNodePtr node) {
  ScriptValue table{}, key{}, data{};
  if (!AllocTableValue(&table)) {
    ReleaseValue(&table);
    ArrayWriteInt(dest, 1, 0);
    return;
  }
  for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
    xmlChar* text = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
    SetValueString(&key, attribute->name ? reinterpret_cast<const char*>(attribute->name) : "");
    SetAttributeValue(&data, text ? reinterpret_cast<const char*>(text) : "");
    if (text) xmlFree(text);
    TableSet(&table, &key, &data);
  }
  ArrayWrite(dest, 1, &table);
  ReleaseValue(&key);
  ReleaseValue(&data);
  ReleaseValue(&table);
}

static bool IsElementOrText(xmlNodePtr node) {
  return node->type == XML_ELEMENT_NODE || node->type == XML_TEXT_NODE;
}

static void ImportElementAt(ScriptValue* dest, xmlNodePtr node, int32_t depth) {
  ReleaseValue(dest);
  if (!node || depth >= kValueXmlDepth) {
    SetValueInt(dest, 0);
    return;
  }
  int32_t count = 0;
  for (xmlNodePtr child = node->children; child; child = child->next) {
    if (IsElementOrText(child) && count < 0x7FFFFFFF - 2) ++count;
  }
  if (!AllocArrayValue(dest, count + 2)) {
    SetValueInt(dest, 0);
    return;
  }
  ArrayWriteString(dest, 0, node->name ? reinterpret_cast<const char*>(node->name) : "");
  if (node->properties) ImportAttributes(dest, node);
  else ArrayWriteInt(dest, 1, 0);
  ScriptValue scratch{};
  int32_t index = 2;
  for (xmlNodePtr child = node->children; child && index < count + 2; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) {
      ImportElementAt(&scratch, child, depth + 1);
      ArrayWrite(dest, index++, &scratch);
    } else if (child->type == XML_TEXT_NODE) {
      ArrayWriteString(dest, index++, child->content ? reinterpret_cast<const char*>(child->content) : "");
    }
  }
  ReleaseValue(&scratch);
}

void ImportXmlElement(ScriptValue* dest, xmlNodePtr node) { ImportElementAt(dest, node, 0); }
