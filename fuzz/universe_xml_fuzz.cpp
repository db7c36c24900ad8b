// Fuzz target of the universe XML import: the input is a document whose top-level elements are
// converted at every format level 0 to 6, as Wilo_XMLImportGalaxy does, and every array made on
// the way must be released at the end.
#include <cstddef>
#include <cstdint>

#include "core/hash_table.h"
#include "core/xml_access.h"
#include "fuzz_support.h"
#include "script/engine.h"
#include "script/value.h"
#include "universe/universe_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptEngine* engine = fuzz::Engine();
  xmlDocPtr document = XmlReadMemoryN(reinterpret_cast<const char*>(data), size, "fuzz");
  if (document == nullptr) return 0;
  for (int32_t level = 0; level <= 6; ++level) {
    ScriptValue result{};
    SetValueInt(&result, 0);
    for (xmlNodePtr node = xmlDocGetRootElement(document); node; node = node->next) {
      if (node->type == XML_ELEMENT_NODE) ImportUniverseNode(&result, node, level);
    }
    ReleaseValue(&result);
  }
  XmlFreeDoc(document);
  if (HashCount(engine->arrays) != 0 || HashCount(engine->strings) != 0) __builtin_trap();
  return 0;
}
