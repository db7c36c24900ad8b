// What the text fuzz targets do with a filled text database: look every text up by language,
// page and id as the game does, expand its references, and write the whole database to a text
// save and read that back (which must work).
#pragma once

#include <cstdint>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "script/engine.h"
#include "script/text_database.h"

namespace fuzz {

inline void LookUpText(int32_t page, int32_t id) {
  char* expanded = ExpandTextReferences(ReadText(page, id));
  FreeString(expanded);
}

inline void WalkTexts(ScriptEngine* engine) {
  int budget = 400;
  for (int32_t language = 0; language < kTextTableCount && budget > 0; ++language) {
    const TextDatabase* table = engine->textTables[language];
    if (table == nullptr) continue;
    gSystem->language = uint32_t(language);
    if (table->pageZero != nullptr)
      for (int32_t k = 0; k < table->pageZero->count && budget > 0; ++k, --budget)
        LookUpText(0, table->pageZero->entries[k].id);
    const HashTable* pages = table->pages;
    if (pages == nullptr || pages->buckets == nullptr) continue;
    for (uint32_t b = 0; b < pages->bucketCount && budget > 0; ++b) {
      for (const HashEntry* e = pages->buckets[b]; e != nullptr && budget > 0; e = e->next) {
        const TextPage* page = reinterpret_cast<const TextPage*>(e->value);
        if (page == nullptr) continue;
        for (int32_t k = 0; k < page->count && budget > 0; ++k, --budget)
          LookUpText(int32_t(e->key), page->entries[k].id);
        LookUpText(int32_t(e->key), INT32_MIN);
      }
    }
  }
  gSystem->language = 44;
  LookUpText(17, 4);
}

// The database written out and read back must load again.
inline void RoundTripTextSave(ScriptEngine* engine) {
  if (WriteTextSave(engine, "fuzzround") != 1) return;
  FreeAllTexts(engine);
  if (ReadTextSave(engine, "fuzzround") != 1) __builtin_trap();
  WalkTexts(engine);
}

}  // namespace fuzz
