// The SE_ regular-expression and XML-value natives: compiled patterns kept in the engine's
// expression registry under ids the scripts hold, matching and substitution from the last
// match, and values to and from XML texts. Called by the SE_ dispatcher; the registry's records
// are freed by SE_RegFree or by the unload of the script (FreeScriptExpressions). A match never
// points into a script's text: each record matches against its own copy, which lives as long
// as the match it describes.
#include <cstring>

#include "core/memory.h"
#include "core/pattern.h"
#include "core/xml_access.h"
#include "script/natives/se_files.h"
#include "script/script_memory.h"
#include "script/value_xml.h"

namespace {

// One registry entry: the compiled pattern and the text of its last match.
struct ExpressionRecord {
  CompiledPattern* pattern;
  char* subject;  // accounted copy, or null before the first match
};

// A substitution result larger than this is refused rather than allocated.
constexpr size_t kMaxSubstitution = 0x7FFFFF00;

ExpressionRecord* FindExpression(const SECall* call, int32_t i) {
  if (!SEHasArg(call, i) || !call->engine || !call->engine->expressions) return nullptr;
  int32_t id = SEArgInt(call, i);
  if (id == 0 || SEArgValue(call, i)->type != kValueInt) return nullptr;
  return reinterpret_cast<ExpressionRecord*>(HashGet(call->engine->expressions, static_cast<uint32_t>(id)));
}

void FreeExpressionRecord(ExpressionRecord* record) {
  if (!record) return;
  PatternFree(record->pattern);
  FreeString(record->subject);
  MemFree(record, sizeof(ExpressionRecord), 0);
}

// Copies the text into the record and matches from its start; the match stays in the pattern.
const char* TakeSubject(ExpressionRecord* record, const char* text) {
  char* copy = DuplicateString(text);
  if (!copy) return nullptr;
  FreeString(record->subject);
  record->subject = copy;
  return copy;
}

// The substitution of the last match into a scratch block; the caller frees it with
// FreeScratch. Null when it would not fit.
char* Substitute(ScriptEngine* engine, const char* replacement, const CompiledPattern* pattern, size_t* length) {
  char probe[1];
  size_t need = PatternSubstitute(replacement, pattern, probe, sizeof probe);
  if (need > kMaxSubstitution) return nullptr;
  char* out = static_cast<char*>(PoolAlloc(static_cast<uint32_t>(need + 1), kPoolScratch, engine));
  if (!out) return nullptr;
  PatternSubstitute(replacement, pattern, out, need + 1);
  *length = need;
  return out;
}

void FreeScratch(ScriptEngine* engine, char* block, size_t length) {
  if (block) PoolFree(kPoolScratch, block, engine, static_cast<uint32_t>(length + 1));
}

// Walks the matches of the pattern through the text, each search starting where the last match
// ended; a match of length 0 is the last. With out null only measures. Returns the total length.
size_t SubstituteAll(ExpressionRecord* record, const char* replacement, char* out, size_t capacity) {
  CompiledPattern* pattern = record->pattern;
  const char* at = record->subject;
  size_t total = 0;
  while (at && PatternExec(pattern, at)) {
    const char* start = pattern->groupStart[0];
    const char* end = pattern->groupEnd[0];
    char probe[1];
    size_t piece;
    if (out && total < capacity) piece = PatternSubstitute(replacement, pattern, out + total, capacity - total);
    else piece = PatternSubstitute(replacement, pattern, probe, sizeof probe);
    total += piece;
    if (total > kMaxSubstitution) return total;
    if (!start || !end || end <= start) break;
    at = end;
  }
  return total;
}

// The first element among the document's root and the nodes after it.
xmlNodePtr FirstElement(xmlDocPtr document) {
  for (xmlNodePtr node = xmlDocGetRootElement(document); node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE) return node;
  }
  return nullptr;
}

int32_t ImportXmlText(SECall* call, const char* url, bool asValue) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerInt(call, 0);
  xmlDocPtr document = ParseXmlMemory(text, url);
  if (!document) return SEAnswerInt(call, 0);
  xmlNodePtr node = FirstElement(document);
  ScriptValue value{};
  if (node) {
    if (asValue) ImportValueXml(&value, node);
    else ImportXmlElement(&value, node);
  }
  XmlFreeDoc(document);
  if (value.type == kValueNone) return SEAnswerInt(call, 0);
  return SEAnswerValue(call, &value);
}

}  // namespace

void FreeScriptExpressions(ScriptEngine* engine) {
  if (!engine || !engine->expressions) return;
  while (HashCount(engine->expressions) > 0) {
    uint32_t key = HashNextKey(engine->expressions, 0);
    if (key == 0) break;
    FreeExpressionRecord(reinterpret_cast<ExpressionRecord*>(HashRemove(engine->expressions, key)));
  }
}

// ---- Regular expressions ----------------------------------------------------------------------

int32_t SE_RegComp(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text || !call->engine || !call->engine->expressions) return SEAnswerInt(call, 0);
  CompiledPattern* pattern = PatternCompile(text);
  if (!pattern) return SEAnswerInt(call, 0);
  auto* record = static_cast<ExpressionRecord*>(MemAlloc(sizeof(ExpressionRecord), 0));
  if (!record) {
    PatternFree(pattern);
    return SEAnswerInt(call, 0);
  }
  record->pattern = pattern;
  record->subject = nullptr;
  uint32_t id = HashInsertNewKey(call->engine->expressions, reinterpret_cast<HashValue>(record));
  if (id == 0) {
    FreeExpressionRecord(record);
    return SEAnswerInt(call, 0);
  }
  return SEAnswerInt(call, static_cast<int32_t>(id));
}

int32_t SE_RegExec(SECall* call) {
  ExpressionRecord* record = FindExpression(call, 0);
  const char* text = SEArgText(call, 1);
  if (!record || !text) return SEAnswerInt(call, 0);
  const char* subject = TakeSubject(record, text);
  return SEAnswerInt(call, subject && PatternExec(record->pattern, subject) ? 1 : 0);
}

int32_t SE_RegSub(SECall* call) {
  ExpressionRecord* record = FindExpression(call, 0);
  const char* replacement = SEArgText(call, 1);
  if (!record || !replacement) return SEAnswerText(call, "");
  size_t length = 0;
  char* text = Substitute(call->engine, replacement, record->pattern, &length);
  if (!text) return SEAnswerText(call, "");
  SEAnswerTextN(call, text, static_cast<int32_t>(length));
  FreeScratch(call->engine, text, length);
  return 1;
}

int32_t SE_RegSubGlobal(SECall* call) {
  ExpressionRecord* record = FindExpression(call, 0);
  const char* text = SEArgText(call, 1);
  const char* replacement = SEArgText(call, 2);
  if (!record || !text || !replacement || !TakeSubject(record, text)) return SEAnswerText(call, "");
  size_t total = SubstituteAll(record, replacement, nullptr, 0);
  if (total == 0 || total > kMaxSubstitution) return SEAnswerText(call, "");
  char* out = static_cast<char*>(PoolAlloc(static_cast<uint32_t>(total + 1), kPoolScratch, call->engine));
  if (!out) return SEAnswerText(call, "");
  out[0] = '\0';
  size_t written = SubstituteAll(record, replacement, out, total + 1);
  if (written > total) written = total;
  out[written] = '\0';
  SEAnswerTextN(call, out, static_cast<int32_t>(written));
  FreeScratch(call->engine, out, total);
  return 1;
}

int32_t SE_RegFree(SECall* call) {
  if (FindExpression(call, 0)) {
    auto key = static_cast<uint32_t>(SEArgInt(call, 0));
    FreeExpressionRecord(reinterpret_cast<ExpressionRecord*>(HashRemove(call->engine->expressions, key)));
  }
  return SEAnswerInt(call, 0);
}

// ---- XML values -------------------------------------------------------------------------------

int32_t SE_XMLExportValue(SECall* call) {
  const ScriptValue* value = SEArgValue(call, 0);
  if (!value) return SEAnswerInt(call, 0);
  xmlNodePtr node = ExportValueXml(value);
  if (!node) return SEAnswerInt(call, 0);
  xmlDocPtr document = xmlNewDoc(BAD_CAST "1.0");
  if (!document) {
    xmlFreeNode(node);
    return SEAnswerInt(call, 0);
  }
  xmlDocSetRootElement(document, node);
  std::string text = XmlDocToString(document);
  XmlFreeDoc(document);
  return SEAnswerTextN(call, text.c_str(), static_cast<int32_t>(text.size()));
}

int32_t SE_XMLImportValue(SECall* call) { return ImportXmlText(call, "SE_XMLImportValue", true); }

int32_t SE_XMLImport(SECall* call) { return ImportXmlText(call, "SE_XMLImport", false); }
