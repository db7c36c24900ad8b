// The text database: every game text of every language, held by the script engine in 999
// language slots of pages of id-sorted texts, filled from XML language documents or from the
// binary text save file and read by page and id. Called by the SE_ text natives, the dialogs and
// every subsystem that shows a text. Lookups never return null, reference expansion always
// terminates, and no text ever outgrows its 16-bit length.
#pragma once

#include <cstdint>

#include <libxml/tree.h>

#include "script/value.h"

struct HashTable;
struct ScriptEngine;

// One text: its id and a string object holding one reference.
struct TextEntry {
  int32_t id;
  ScriptValue text;
};

// A page: count entries in ascending (signed) id order.
struct TextPage {
  int32_t count;
  TextEntry* entries;
};

// A language slot: page number -> TextPage. Page 0 (a page element without an id) cannot be a
// hash key, so it has a place of its own.
struct TextDatabase {
  HashTable* pages;
  TextPage* pageZero;
};

// A text read from XML and not yet merged into its page; records form a list in document order.
struct PendingText {
  PendingText* next;
  int32_t id;
  int32_t length;
  char* text;  // accounted copy of length + 1 bytes
};

// What ReadText gives for a missing language, page or id.
extern const char kTextNotFound[];  // "=TextIDNotFound="

// Texts are kept with a signed 16-bit length; longer texts are cut at a character boundary.
constexpr int32_t kTextMaxLength = 32767;
// Nesting of {page,id} references beyond this depth stays as written.
constexpr int32_t kTextReferenceDepth = 32;

// XML import.
int32_t ReadLanguageFile(xmlNodePtr first, ScriptEngine* engine);
int32_t ReadLanguageElement(xmlNodePtr element, ScriptEngine* engine);
int32_t ReadTextPage(ScriptEngine* engine, int32_t language, xmlNodePtr pageElement);
int32_t UnescapeText(char* text, int32_t length);
void AddTextPage(ScriptEngine* engine, int32_t language, int32_t page, PendingText* records);

// Lookup.
ScriptValue* FindTextValue(const TextDatabase* table, int32_t page, int32_t id);
const char* ReadText(int32_t page, int32_t id);
// A new accounted text (free with FreeString) with the {page,id} references replaced.
char* ExpandTextReferences(const char* text);

void FreeAllTexts(ScriptEngine* engine);

// The text save file "nl\<name>.txc".
int32_t WriteTextSave(ScriptEngine* engine, const char* name);
int32_t ReadTextSave(ScriptEngine* engine, const char* name);
