// Fuzz target of the text database's XML import: the input is a language document. After the
// import every text is looked up and expanded, and the database goes through a text save and back.
#include <cstddef>
#include <cstdint>

#include "core/xml_access.h"
#include "fuzz_support.h"
#include "script/text_database.h"
#include "text_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptEngine* engine = fuzz::Engine();
  xmlDocPtr document = XmlReadMemoryN(reinterpret_cast<const char*>(data), size, "fuzz");
  if (document == nullptr) return 0;
  ReadLanguageFile(xmlDocGetRootElement(document), engine);
  XmlFreeDoc(document);
  fuzz::WalkTexts(engine);
  fuzz::RoundTripTextSave(engine);
  FreeAllTexts(engine);
  return 0;
}
