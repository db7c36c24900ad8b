// Fuzz target of the XML import of script values: the input is a document. Its root is imported
// both as an "sval" value and as a plain element, each result is exported, printed, parsed and
// imported again, and every container made on the way must be released at the end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/hash_table.h"
#include "core/xml_access.h"
#include "fuzz_support.h"
#include "script/engine.h"
#include "script/value.h"
#include "script/value_xml.h"

namespace {

// Export, print, parse and import again; the second import must work on what the export made.
void ThroughText(const ScriptValue* value) {
  xmlNodePtr node = ExportValueXml(value);
  if (node == nullptr) return;
  xmlDocPtr out = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  xmlDocSetRootElement(out, node);
  const std::string text = XmlDocToString(out);
  XmlFreeDoc(out);
  xmlDocPtr in = ParseXmlMemory(text.c_str(), "again");
  if (in == nullptr) __builtin_trap();
  ScriptValue back{};
  ImportValueXml(&back, xmlDocGetRootElement(in));
  XmlFreeDoc(in);
  ReleaseValue(&back);
}

// The import takes arrays of up to 2^24 elements; exporting one builds a node per element, more
// than the fuzzer's memory limit allows. Documents that claim arrays beyond this size are only
// imported, not sent through text again.
constexpr int32_t kLargestArray = 1 << 16;

bool AsksForHugeArray(xmlNodePtr root) {
  for (xmlNodePtr node = root; node != nullptr;) {
    if (node->type == XML_ELEMENT_NODE && XmlGetPropInt(node, "size", 0) > kLargestArray) return true;
    if (node->children != nullptr) {
      node = node->children;
      continue;
    }
    while (node != nullptr && node != root && node->next == nullptr) node = node->parent;
    if (node == nullptr || node == root) break;
    node = node->next;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptEngine* engine = fuzz::Engine();
  xmlDocPtr document = XmlReadMemoryN(reinterpret_cast<const char*>(data), size, "fuzz");
  if (document == nullptr) return 0;
  xmlNodePtr root = xmlDocGetRootElement(document);
  const bool huge = AsksForHugeArray(root);
  ScriptValue value{};
  ImportValueXml(&value, root);
  ScriptValue element{};
  ImportXmlElement(&element, root);
  XmlFreeDoc(document);
  if (!huge) {
    ThroughText(&value);
    ThroughText(&element);
  }
  ReleaseValue(&value);
  ReleaseValue(&element);
  // Every array, table and text made by the imports is gone again.
  if (HashCount(engine->arrays) != 0 || HashCount(engine->tables) != 0 || HashCount(engine->strings) != 0)
    __builtin_trap();
  return 0;
}
