// The text database: language slots of pages of texts, their import from XML language
// documents (with the text escapes and comments), lookup by page and id, {page,id} reference
// expansion, and the binary text save file. Called by the SE_ text natives, the dialogs and the
// subsystems that show texts. Never trusts a document or a save file: counts and lengths are
// checked against what the file holds, and a text never outgrows its 16-bit length.
#include "script/text_database.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <libxml/xmlstring.h>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/script_memory.h"

const char kTextNotFound[] = "=TextIDNotFound=";

// Nominal record sizes of the statistics: slot (table pointer), page (count, entry pointer),
// entry (id, value) and pending record (id, length, text pointer).
constexpr uint32_t kNominalTextSlotSize = 4;
constexpr uint32_t kNominalTextPageSize = 8;
constexpr uint32_t kNominalTextEntrySize = 9;
constexpr uint32_t kNominalPendingTextSize = 12;

// Page numbers of these bands name the same pages as their remainder.
constexpr int32_t kPageBandLow = 300000;
constexpr int32_t kPageBandHigh = 350000;
constexpr int32_t kPageBandEnd = 400000;

// Expansion stops recursing once the result has grown this large; the rest stays as written.
constexpr size_t kExpandedTextLimit = size_t{1} << 20;
// Nor does it expand more references than this in one call: texts that each name the next many
// times multiply the work with every level while the result, made of empty texts, never grows.
constexpr int32_t kExpandedReferenceLimit = 1 << 16;

constexpr char kTextSaveTag[4] = {'T', 'S', 'A', 'V'};
constexpr char kTextSaveEndTag[4] = {'/', 'T', 'S', 'A'};
constexpr size_t kTextSavePathSize = 512;

// ---------------------------------------------------------------------------------------------
// Slots and pages

static TextPage* NewTextPage(ScriptEngine* engine, int32_t count) {
  TextPage* page =
      static_cast<TextPage*>(PoolAllocRecord(sizeof(TextPage), kNominalTextPageSize, kPoolText, engine));
  if (!page) return nullptr;
  if (count > 0) {
    page->entries = PoolAllocArray<TextEntry>(static_cast<uint32_t>(count), kNominalTextEntrySize, kPoolText, engine);
    if (!page->entries) {
      PoolFree(kPoolText, page, engine, kNominalTextPageSize);
      return nullptr;
    }
  }
  page->count = count;
  return page;
}

static void FreeTextEntries(ScriptEngine* engine, TextEntry* entries, int32_t count) {
  if (!entries) return;
  for (int32_t i = 0; i < count; ++i) ReleaseValue(&entries[i].text);
  PoolFree(kPoolText, entries, engine, static_cast<uint32_t>(count) * kNominalTextEntrySize);
}

static void FreeTextPage(ScriptEngine* engine, TextPage* page) {
  if (!page) return;
  FreeTextEntries(engine, page->entries, page->count);
  PoolFree(kPoolText, page, engine, kNominalTextPageSize);
}

static void FreeTextSlot(ScriptEngine* engine, int32_t language) {
  TextDatabase* database = engine->textTables[language];
  if (!database) return;
  for (uint32_t key = HashNextKey(database->pages, 0); key; key = HashNextKey(database->pages, key)) {
    FreeTextPage(engine, reinterpret_cast<TextPage*>(HashGet(database->pages, key)));
  }
  FreeTextPage(engine, database->pageZero);
  HashDestroy(database->pages);
  PoolFree(kPoolText, database, engine, kNominalTextSlotSize);
  engine->textTables[language] = nullptr;
}

// The slot's database, made on first use; null when it cannot be made.
static TextDatabase* TextSlot(ScriptEngine* engine, int32_t language) {
  TextDatabase*& slot = engine->textTables[language];
  if (slot) return slot;
  TextDatabase* database = static_cast<TextDatabase*>(
      PoolAllocRecord(sizeof(TextDatabase), kNominalTextSlotSize, kPoolText, engine));
  if (!database) return nullptr;
  database->pages = HashCreate();
  if (!database->pages) {
    PoolFree(kPoolText, database, engine, kNominalTextSlotSize);
    return nullptr;
  }
  slot = database;
  return database;
}

static TextPage* FindTextPage(const TextDatabase* database, int32_t page) {
  if (page == 0) return database->pageZero;
  return reinterpret_cast<TextPage*>(HashGet(database->pages, static_cast<uint32_t>(page)));
}

// Puts a page under its number, freeing a page that had the number before.
static bool PutTextPage(ScriptEngine* engine, TextDatabase* database, int32_t number, TextPage* page) {
  if (number == 0) {
    FreeTextPage(engine, database->pageZero);
    database->pageZero = page;
    return true;
  }
  HashEntry* entry = HashLookup(database->pages, static_cast<uint32_t>(number));
  if (entry) {
    FreeTextPage(engine, reinterpret_cast<TextPage*>(entry->value));
    entry->value = reinterpret_cast<HashValue>(page);
    return true;
  }
  return HashInsert(database->pages, static_cast<uint32_t>(number), reinterpret_cast<HashValue>(page)) != 0;
}

static TextEntry* FindTextEntry(TextEntry* entries, int32_t count, int32_t id) {
  int32_t low = 0, high = count - 1;
  while (low <= high) {
    int32_t mid = low + (high - low) / 2;
    if (entries[mid].id == id) return &entries[mid];
    if (entries[mid].id < id) low = mid + 1;
    else high = mid - 1;
  }
  return nullptr;
}

static int CompareTextIds(const void* a, const void* b) {
  int32_t x = static_cast<const TextEntry*>(a)->id;
  int32_t y = static_cast<const TextEntry*>(b)->id;
  return x < y ? -1 : x > y ? 1 : 0;
}

static void SortTextPage(TextPage* page) {
  if (page->count > 1) std::qsort(page->entries, static_cast<size_t>(page->count), sizeof(TextEntry), CompareTextIds);
}

// The text bytes of an entry's value: a string object's or a pool text; null for other types.
static const char* EntryText(const ScriptEngine* engine, const ScriptValue* value) {
  if (value->type == kValueString) return value->string ? value->string->text : nullptr;
  if (value->type == kValuePoolString) return SB_String(engine, value->u);
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// XML import

static bool NodeNamed(xmlNodePtr node, const char* name) {
  return node && node->type == XML_ELEMENT_NODE && node->name &&
         xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

static int32_t FoldPageNumber(int32_t page) {
  if (page > kPageBandHigh && page < kPageBandEnd) return page - kPageBandHigh;
  if (page > kPageBandLow && page < kPageBandHigh) return page - kPageBandLow;
  return page;
}

// The length a text keeps: at most kTextMaxLength bytes, never ending inside a UTF-8 sequence.
static int32_t CutTextLength(const char* text, int32_t length) {
  if (length <= kTextMaxLength) return length;
  int32_t n = kTextMaxLength;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

static void FreePendingText(ScriptEngine* engine, PendingText* record) {
  MemFree(record->text, static_cast<size_t>(record->length) + 1, 0);
  PoolFree(kPoolText, record, engine, kNominalPendingTextSize);
}

static void FreePendingList(ScriptEngine* engine, PendingText* records) {
  while (records) {
    PendingText* next = records->next;
    FreePendingText(engine, records);
    records = next;
  }
}

int32_t UnescapeText(char* text, int32_t length) {
  int32_t out = 0;
  bool skip = false;
  int32_t i = 0;
  while (i < length) {
    unsigned char c = static_cast<unsigned char>(text[i++]);
    unsigned char byte;
    if (c == '\\') {
      if (i >= length) break;  // a backslash at the very end has nothing to take
      unsigned char e = static_cast<unsigned char>(text[i++]);
      switch (e) {
        case 'n': byte = 10; break;
        case 'b': byte = 8; break;
        case 't': byte = 9; break;
        case 'r': byte = 13; break;
        default:
          if (e >= '0' && e <= '7') {
            uint32_t value = e - '0';
            while (i < length && text[i] >= '0' && text[i] <= '7') value = value * 8 + uint32_t(text[i++] - '0');
            byte = static_cast<unsigned char>(value & 0xFF);
          } else {
            byte = e;
          }
          break;
      }
    } else if (c == '\n') {
      byte = ' ';
    } else if (c == '(') {
      skip = true;
      continue;
    } else if (c == ')') {
      skip = false;
      continue;
    } else {
      byte = c;
    }
    if (!skip) text[out++] = static_cast<char>(byte);
  }
  return out;
}

int32_t ReadTextPage(ScriptEngine* engine, int32_t language, xmlNodePtr pageElement) {
  int32_t page = FoldPageNumber(XmlGetPropInt(pageElement, "id", 0));
  PendingText* records = nullptr;
  PendingText** tail = &records;
  for (xmlNodePtr child = pageElement ? pageElement->children : nullptr; child; child = child->next) {
    if (!NodeNamed(child, "t")) continue;
    xmlChar* content = xmlNodeGetContent(child);
    if (!content) continue;
    char* raw = reinterpret_cast<char*>(content);
    size_t rawLength = std::strlen(raw);
    if (rawLength == 0 || rawLength > 0x7FFFFFFF) {
      xmlFree(content);
      continue;
    }
    int32_t length = UnescapeText(raw, static_cast<int32_t>(rawLength));
    length = CutTextLength(raw, length);
    PendingText* record = static_cast<PendingText*>(
        PoolAllocRecord(sizeof(PendingText), kNominalPendingTextSize, kPoolText, engine));
    char* copy = static_cast<char*>(MemAlloc(static_cast<size_t>(length) + 1, 0));
    if (!record || !copy) {
      if (record) PoolFree(kPoolText, record, engine, kNominalPendingTextSize);
      if (copy) MemFree(copy, static_cast<size_t>(length) + 1, 0);
      xmlFree(content);
      continue;
    }
    std::memcpy(copy, raw, static_cast<size_t>(length));
    copy[length] = '\0';
    xmlFree(content);
    record->id = XmlGetPropInt(child, "id", 0);
    record->length = length;
    record->text = copy;
    *tail = record;
    tail = &record->next;
  }
  AddTextPage(engine, language, page, records);
  return 1;
}

int32_t ReadLanguageElement(xmlNodePtr element, ScriptEngine* engine) {
  int32_t language = XmlGetPropInt(element, "id", 0);
  if (language <= 0 || language >= kTextTableCount) return 0;
  for (xmlNodePtr child = element->children; child; child = child->next) {
    if (NodeNamed(child, "page")) ReadTextPage(engine, language, child);
  }
  return 1;
}

int32_t ReadLanguageFile(xmlNodePtr first, ScriptEngine* engine) {
  for (xmlNodePtr node = first; node; node = node->next) {
    if (NodeNamed(node, "language")) {
      ReadLanguageElement(node, engine);
      return 1;
    }
  }
  return 0;
}

// Gives a value the new text. A string object changes in place, so every holder sees it.
static void ReplaceEntryText(ScriptValue* value, const char* text, int32_t length) {
  if (value->type != kValueString || !value->string) {
    SetValueStringN(value, text, length);
    return;
  }
  char* copy = static_cast<char*>(MemAlloc(static_cast<size_t>(length) + 1, 0));
  if (!copy) return;  // the old text stays rather than none
  std::memcpy(copy, text, static_cast<size_t>(length));
  copy[length] = '\0';
  StringObject* string = value->string;
  MemFree(string->text, string->textBytes, 0);
  string->text = copy;
  string->textBytes = static_cast<uint32_t>(length) + 1;
}

void AddTextPage(ScriptEngine* engine, int32_t language, int32_t page, PendingText* records) {
  TextDatabase* database = engine && language >= 0 && language < kTextTableCount ? TextSlot(engine, language) : nullptr;
  if (!database) {
    FreePendingList(engine, records);
    return;
  }
  TextPage* target = FindTextPage(database, page);
  if (!target) {
    target = NewTextPage(engine, 0);
    if (!target || !PutTextPage(engine, database, page, target)) {
      FreeTextPage(engine, target);
      FreePendingList(engine, records);
      return;
    }
  }
  // Texts the page already has change in place; the others are added below.
  int32_t oldCount = target->count;
  PendingText* remaining = nullptr;
  PendingText** tail = &remaining;
  int64_t added = 0;
  while (records) {
    PendingText* next = records->next;
    TextEntry* entry = FindTextEntry(target->entries, oldCount, records->id);
    if (entry) {
      ReplaceEntryText(&entry->text, records->text, records->length);
      FreePendingText(engine, records);
    } else {
      records->next = nullptr;
      *tail = records;
      tail = &records->next;
      ++added;
    }
    records = next;
  }
  if (added == 0) return;
  TextEntry* entries = nullptr;
  if (oldCount + added <= 0x7FFFFFFF) {
    entries = PoolAllocArray<TextEntry>(static_cast<uint32_t>(oldCount + added), kNominalTextEntrySize, kPoolText,
                                        engine);
  }
  if (!entries) {
    FreePendingList(engine, remaining);
    return;
  }
  if (oldCount > 0) std::memcpy(entries, target->entries, static_cast<size_t>(oldCount) * sizeof(TextEntry));
  int32_t count = oldCount;
  while (remaining) {
    PendingText* next = remaining->next;
    entries[count].id = remaining->id;
    SetValueStringN(&entries[count].text, remaining->text, remaining->length);
    ++count;
    FreePendingText(engine, remaining);
    remaining = next;
  }
  // The old array's values moved into the new one; only its block goes.
  if (target->entries) PoolFree(kPoolText, target->entries, engine, static_cast<uint32_t>(oldCount) * kNominalTextEntrySize);
  target->entries = entries;
  target->count = count;
  SortTextPage(target);
}

// ---------------------------------------------------------------------------------------------
// Lookup

ScriptValue* FindTextValue(const TextDatabase* table, int32_t page, int32_t id) {
  if (!table) return nullptr;
  TextPage* found = FindTextPage(table, page);
  if (!found) return nullptr;
  TextEntry* entry = FindTextEntry(found->entries, found->count, id);
  return entry ? &entry->text : nullptr;
}

const char* ReadText(int32_t page, int32_t id) {
  const ScriptEngine* engine = gScriptEngine;
  if (!engine || !gSystem || gSystem->language >= static_cast<uint32_t>(kTextTableCount)) return kTextNotFound;
  const ScriptValue* value = FindTextValue(engine->textTables[gSystem->language], page, id);
  const char* text = value ? EntryText(engine, value) : nullptr;
  return text ? text : kTextNotFound;
}

// The texts whose references are being expanded, innermost first.
struct ExpandingText {
  int32_t page;
  int32_t id;
  const ExpandingText* outer;
};

static bool IsExpanding(const ExpandingText* chain, int32_t page, int32_t id) {
  for (; chain; chain = chain->outer) {
    if (chain->page == page && chain->id == id) return true;
  }
  return false;
}

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Leading decimal digits, wrapping as 32-bit arithmetic does.
static int32_t LeadingNumber(const char* p) {
  uint32_t value = 0;
  while (IsDigit(*p)) value = value * 10 + uint32_t(*p++ - '0');
  return static_cast<int32_t>(value);
}

static const char* ClosingBrace(const char* open) {
  int32_t depth = 1;
  for (const char* p = open + 1; *p; ++p) {
    if (*p == '{') ++depth;
    else if (*p == '}' && --depth == 0) return p;
  }
  return nullptr;
}

// A reference to a text that is already being expanded, one nested too deep, or one met after
// the result or the count of expanded references has passed its limit stays as written, so
// every expansion ends, and soon.
static void ExpandInto(std::string* out, const char* text, int32_t depth, const ExpandingText* chain,
                       int32_t* expanded) {
  const char* done = text;
  for (const char* open = std::strchr(text, '{'); open; open = std::strchr(done, '{')) {
    const char* close = ClosingBrace(open);
    if (!close) break;
    const char* comma = static_cast<const char*>(std::memchr(open + 1, ',', static_cast<size_t>(close - open - 1)));
    int32_t page = 0, id = 0;
    if (comma && IsDigit(open[1]) && IsDigit(comma[1])) {
      page = LeadingNumber(open + 1);
      id = LeadingNumber(comma + 1);
    }
    if (page != 0) {
      out->append(done, static_cast<size_t>(open - done));
      if (depth >= kTextReferenceDepth || IsExpanding(chain, page, id) || out->size() > kExpandedTextLimit ||
          *expanded >= kExpandedReferenceLimit) {
        out->append(open, static_cast<size_t>(close + 1 - open));
      } else {
        ++*expanded;
        ExpandingText inner{page, id, chain};
        ExpandInto(out, ReadText(page, id), depth + 1, &inner, expanded);
      }
    } else {
      out->append(done, static_cast<size_t>(close + 1 - done));
    }
    done = close + 1;
  }
  out->append(done);
}

char* ExpandTextReferences(const char* text) {
  std::string out;
  int32_t expanded = 0;
  if (text) ExpandInto(&out, text, 0, nullptr, &expanded);
  return DuplicateString(out.c_str());
}

void FreeAllTexts(ScriptEngine* engine) {
  if (!engine) return;
  for (int32_t language = 0; language < kTextTableCount; ++language) FreeTextSlot(engine, language);
}

// ---------------------------------------------------------------------------------------------
// Text save file

static bool TextSavePath(const char* name, char* out, size_t size) {
  if (!name || !gSystem || !gSystem->product || !gSystem->product->textSaveTemplate) return false;
  int n = std::snprintf(out, size, gSystem->product->textSaveTemplate, name);
  return n > 0 && static_cast<size_t>(n) < size;
}

static bool WriteWord(FileObject* file, uint32_t value) { return FileWriteInt32BE(file, value); }

static bool WriteTextPage(FileObject* file, const ScriptEngine* engine, uint32_t number, const TextPage* page) {
  if (!WriteWord(file, number) || !WriteWord(file, static_cast<uint32_t>(page->count))) return false;
  for (int32_t i = 0; i < page->count; ++i) {
    const char* text = EntryText(engine, &page->entries[i].text);
    size_t length = text ? std::strlen(text) : 0;
    if (!WriteWord(file, static_cast<uint32_t>(page->entries[i].id)) || !WriteWord(file, static_cast<uint32_t>(length)))
      return false;
    if (length > 0 && FileWriteBytes(file, text, length) != length) return false;
  }
  return true;
}

static bool WriteTextSlots(FileObject* file, const ScriptEngine* engine) {
  if (FileWriteBytes(file, kTextSaveTag, 4) != 4 || !WriteWord(file, kTextTableCount)) return false;
  for (int32_t language = 0; language < kTextTableCount; ++language) {
    const TextDatabase* database = engine->textTables[language];
    if (!database) {
      if (!WriteWord(file, 0)) return false;
      continue;
    }
    uint32_t pages = HashCount(database->pages) + (database->pageZero ? 1 : 0);
    if (!WriteWord(file, pages)) return false;
    for (uint32_t key = HashNextKey(database->pages, 0); key; key = HashNextKey(database->pages, key)) {
      const TextPage* page = reinterpret_cast<const TextPage*>(HashGet(database->pages, key));
      if (!WriteTextPage(file, engine, key, page)) return false;
    }
    if (database->pageZero && !WriteTextPage(file, engine, 0, database->pageZero)) return false;
  }
  return FileWriteBytes(file, kTextSaveEndTag, 4) == 4;
}

// The file is written beside the old one and replaces it only when complete, so a failed write
// never destroys the last good save.
int32_t WriteTextSave(ScriptEngine* engine, const char* name) {
  char path[kTextSavePathSize];
  char temporary[kTextSavePathSize + 8];
  if (!engine || !TextSavePath(name, path, sizeof path)) return 0;
  std::snprintf(temporary, sizeof temporary, "%s.tmp", path);
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, temporary, "wb", false)) {
    FileClose(&file);
    return 0;
  }
  bool written = WriteTextSlots(&file, engine);
  bool closed = FileCloseHandle(&file);
  FileClose(&file);
  if (!written || !closed || !FileRename(temporary, path, false)) {
    FileRemove(temporary, false);
    return 0;
  }
  return 1;
}

// A bounded reader: every read is checked against the bytes the file still holds.
struct TextSaveReader {
  FileObject* file;
  int64_t remaining;
};

static bool ReadSaveBytes(TextSaveReader* reader, void* buffer, uint32_t count) {
  if (static_cast<int64_t>(count) > reader->remaining) return false;
  if (FileReadBytes(reader->file, buffer, count) != count) return false;
  reader->remaining -= count;
  return true;
}

static bool ReadSaveWord(TextSaveReader* reader, uint32_t* value) {
  unsigned char bytes[4];
  if (!ReadSaveBytes(reader, bytes, 4)) return false;
  *value = LoadBE32(bytes);
  return true;
}

static int64_t RemainingFileBytes(FileObject* file) {
  long here = FileTell(file);
  if (here < 0 || !FileSeek(file, 0, 2)) return 0;
  long end = FileTell(file);
  if (!FileSeek(file, here, 0) || end < here) return 0;
  return end - here;
}

// Keeps only the first `filled` entries of a page whose reading stopped early. The values move
// to the new block; the unread entries hold nothing, so only the old block goes.
static void TrimTextPage(ScriptEngine* engine, TextPage* page, int32_t filled) {
  TextEntry* entries = nullptr;
  if (filled > 0) {
    entries = PoolAllocArray<TextEntry>(static_cast<uint32_t>(filled), kNominalTextEntrySize, kPoolText, engine);
    // Without a new block the page keeps its unread type-0 entries, which lookups pass over.
    if (!entries) return;
    std::memcpy(entries, page->entries, static_cast<size_t>(filled) * sizeof(TextEntry));
  }
  PoolFree(kPoolText, page->entries, engine, static_cast<uint32_t>(page->count) * kNominalTextEntrySize);
  page->entries = entries;
  page->count = filled;
}

static bool ReadTextEntry(TextSaveReader* reader, ScriptEngine* engine, TextEntry* entry) {
  uint32_t id = 0, length = 0;
  if (!ReadSaveWord(reader, &id) || !ReadSaveWord(reader, &length)) return false;
  if (length > static_cast<uint32_t>(kTextMaxLength)) return false;
  entry->id = static_cast<int32_t>(id);
  if (length == 0) {
    SetValueString(&entry->text, "");
    return true;
  }
  char* block = static_cast<char*>(PoolAlloc(length + 1, kPoolScratch, engine));
  if (!block) return false;
  bool ok = ReadSaveBytes(reader, block, length);
  if (ok) {
    block[length] = '\0';
    SetValueStringN(&entry->text, block, static_cast<int32_t>(length));
  }
  PoolFree(kPoolScratch, block, engine, length + 1);
  return ok;
}

static bool IsSortedById(const TextPage* page) {
  for (int32_t i = 1; i < page->count; ++i) {
    if (page->entries[i - 1].id > page->entries[i].id) return false;
  }
  return true;
}

static bool ReadTextPages(TextSaveReader* reader, ScriptEngine* engine, int32_t language, uint32_t pageCount) {
  FreeTextSlot(engine, language);
  TextDatabase* database = TextSlot(engine, language);
  if (!database) return false;
  for (uint32_t p = 0; p < pageCount; ++p) {
    uint32_t number = 0, count = 0;
    if (!ReadSaveWord(reader, &number) || !ReadSaveWord(reader, &count)) return false;
    // Every entry takes at least its two words.
    if (count > 0x7FFFFFFF || static_cast<int64_t>(count) * 8 > reader->remaining) return false;
    TextPage* page = NewTextPage(engine, static_cast<int32_t>(count));
    if (!page) return false;
    if (!PutTextPage(engine, database, static_cast<int32_t>(number), page)) {
      FreeTextPage(engine, page);
      return false;
    }
    int32_t filled = 0;
    while (filled < page->count && ReadTextEntry(reader, engine, &page->entries[filled])) ++filled;
    bool complete = filled == page->count;
    if (!complete) TrimTextPage(engine, page, filled);
    // A save written here is in id order; any other order would defeat the binary search.
    if (!IsSortedById(page)) SortTextPage(page);
    if (!complete) return false;
  }
  return true;
}

int32_t ReadTextSave(ScriptEngine* engine, const char* name) {
  char path[kTextSavePathSize];
  if (!engine || !TextSavePath(name, path, sizeof path)) return 0;
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, path, "rb", false)) {
    FileClose(&file);
    return 0;
  }
  TextSaveReader reader{&file, RemainingFileBytes(&file)};
  char tag[4];
  uint32_t languages = 0;
  bool ok = ReadSaveBytes(&reader, tag, 4) && std::memcmp(tag, kTextSaveTag, 4) == 0 &&
            ReadSaveWord(&reader, &languages) && languages <= static_cast<uint32_t>(kTextTableCount);
  for (uint32_t language = 0; ok && language < languages; ++language) {
    uint32_t pages = 0;
    ok = ReadSaveWord(&reader, &pages);
    if (!ok || pages == 0) continue;
    // Every page takes at least its two words.
    ok = pages <= 0x7FFFFFFF && static_cast<int64_t>(pages) * 8 <= reader.remaining &&
         ReadTextPages(&reader, engine, static_cast<int32_t>(language), pages);
  }
  ok = ok && ReadSaveBytes(&reader, tag, 4) && std::memcmp(tag, kTextSaveEndTag, 4) == 0;
  FileClose(&file);
  return ok ? 1 : 0;
}
