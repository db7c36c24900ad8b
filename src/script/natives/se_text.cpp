// The SE_ text and string natives and the script printf. Positions and lengths are byte
// offsets into NUL-terminated texts; every native checks that its text arguments are texts and
// its positions lie inside them before it reads a byte, and answers the empty text, 0 or -1
// otherwise. Temporary texts are counted as script scratch blocks and freed before the native
// answers. Called by the SE_ dispatcher, value printing and the file natives (FormatScriptText).
#include "script/natives/se_text.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include <libxml/tree.h>

#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "platform/command_line.h"
#include "script/script_memory.h"
#include "script/text_database.h"
#include "script/value_print.h"

namespace {

// A temporary text counted as a scratch block of the script pools; freed when it goes out of
// scope, so no early answer can leak it.
class ScratchText {
 public:
  ScratchText(ScriptEngine* engine, size_t size) : engine_(engine) {
    if (size > 0 && size <= kLargest) {
      size_ = static_cast<uint32_t>(size);
      text_ = static_cast<char*>(PoolAlloc(size_, kPoolScratch, engine_));
    }
  }
  ~ScratchText() {
    if (text_) PoolFree(kPoolScratch, text_, engine_, size_);
  }
  ScratchText(const ScratchText&) = delete;
  ScratchText& operator=(const ScratchText&) = delete;
  char* get() const { return text_; }

 private:
  static constexpr size_t kLargest = 0x7FFFFFF0;
  ScriptEngine* engine_;
  char* text_ = nullptr;
  uint32_t size_ = 0;
};

constexpr const char kInvalidText[] = "<invalid>";
constexpr const char kNullText[] = "<NULL>";
constexpr const char kMissingValue[] = "[NULL]";

// Widths and precisions of a directive saturate here, so no count can overflow.
constexpr int32_t kFieldLimit = 1 << 20;

int32_t TextLength(const char* text) {
  size_t n = std::strlen(text);
  return n > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                       : static_cast<int32_t>(n);
}

// ---------------------------------------------------------------------------------------------
// FormatScriptText

// The output of one format run: counts every byte, stores only what the buffer holds.
struct FormatSink {
  char* out;
  int64_t capacity;  // bytes the buffer holds, terminator included
  int64_t length;

  void Put(char c) {
    if (out && length < capacity - 1) out[length] = c;
    ++length;
  }
  void Put(const char* text, int64_t n) {
    for (int64_t k = 0; k < n; ++k) Put(text[k]);
  }
  void Pad(int64_t n) {
    for (int64_t k = 0; k < n; ++k) Put(' ');
  }
};

struct Directive {
  uint32_t flags = 0;
  int32_t width = -1;      // -1: none
  int32_t precision = -1;  // -1: none
  char size = 0;
};

int32_t ReadNumber(const char** p) {
  int32_t n = 0;
  while (**p >= '0' && **p <= '9') {
    if (n < kFieldLimit) n = n * 10 + (**p - '0');
    ++*p;
  }
  return n > kFieldLimit ? kFieldLimit : n;
}

const ScriptValue* ArgumentAt(const ScriptValue* args, int32_t count, int32_t i) {
  return args && i >= 0 && i < count ? &args[i] : nullptr;
}

int32_t IntegerOf(const ScriptValue* value) { return value && value->type == kValueInt ? value->i : 0; }

// A text as %s and %a show it: cut to a positive precision, padded to the width.
void PutField(FormatSink* sink, const char* text, const Directive& d) {
  int64_t n = static_cast<int64_t>(std::strlen(text));
  if (d.precision > 0 && n > d.precision) n = d.precision;
  int64_t pad = d.width > n ? d.width - n : 0;
  bool left = (d.flags & kFormatLeft) != 0;
  if (!left) sink->Pad(pad);
  sink->Put(text, n);
  if (left) sink->Pad(pad);
}

void PutInteger(FormatSink* sink, char conversion, const ScriptValue* value, const Directive& d) {
  int32_t n = IntegerOf(value);
  int32_t radix = 10;
  uint32_t flags = d.flags;
  switch (conversion) {
    case 'd':
    case 'i':
      flags |= kFormatSigned;
      if (d.size == 'h') n = static_cast<int16_t>(n);
      break;
    case 'o':
      radix = 8;
      break;
    case 'x':
      radix = 16;
      break;
    case 'X':
      radix = 16;
      flags |= kFormatUpper;
      break;
    default:
      break;
  }
  if (d.size == 'h' && !(flags & kFormatSigned)) n = static_cast<uint16_t>(n);
  // Width and precision are capped at 20 by the formatter, so this buffer always holds it.
  char digits[64];
  char* end = FormatInteger(n, digits, radix, d.width, d.precision, flags, 1);
  if (end) sink->Put(digits, end - digits);
}

void PutDouble(FormatSink* sink, char conversion, const ScriptValue* value, const Directive& d, ScriptEngine* engine) {
  double x = value && value->type == kValueDouble ? ValueDouble(value) : 0.0;
  uint32_t flags = d.flags & (kFormatAlternate | kFormatLeft);
  if (conversion == 'e' || conversion == 'E') flags |= kFormatExponent;
  if (conversion == 'g' || conversion == 'G') flags |= kFormatGeneral;
  if (conversion >= 'A' && conversion <= 'Z') flags |= kFormatUpper;
  char local[512];
  int64_t n = FormatDouble(x, local, d.width, d.precision, flags, 0) - local;
  if (n + 1 <= static_cast<int64_t>(sizeof(local))) {
    FormatDouble(x, local, d.width, d.precision, flags, 1);
    sink->Put(local, n);
    return;
  }
  ScratchText scratch(engine, static_cast<size_t>(n) + 1);
  if (!scratch.get()) return;
  FormatDouble(x, scratch.get(), d.width, d.precision, flags, 1);
  sink->Put(scratch.get(), n);
}

void PutValueText(FormatSink* sink, const ScriptValue* value, const Directive& d) {
  if (!value) {
    PutField(sink, kMissingValue, d);
    return;
  }
  ScriptValue text{};
  const char* shown = FormatValueText(&text, value, 0x7FFFFFFF, 0x7FFFFFFF);
  PutField(sink, shown ? shown : "", d);
  ReleaseValue(&text);
}

void PutText(FormatSink* sink, const ScriptValue* value, const Directive& d) {
  if (!value || !ValueIsText(value)) {
    PutField(sink, kInvalidText, d);
    return;
  }
  const char* text = GetValueString(value);
  PutField(sink, text ? text : kNullText, d);
}

int64_t FormatInto(FormatSink* sink, const char* format, const ScriptValue* args, int32_t count) {
  if (!format) format = "";
  if (count < 0 || !args) count = 0;
  ScriptEngine* engine = gScriptEngine;
  int32_t running = 0;
  const char* p = format;
  while (*p) {
    if (*p != '%') {
      sink->Put(*p++);
      continue;
    }
    ++p;
    if (!*p) {
      sink->Put('%');
      break;
    }
    int32_t chosen = -1;
    if (*p == '!' && p[1] >= '0' && p[1] <= '9') {
      chosen = p[1] - '0';
      p += 2;
    }
    Directive d;
    for (;; ++p) {
      if (*p == '-') d.flags |= kFormatLeft;
      else if (*p == '+') d.flags |= kFormatPlus;
      else if (*p == ' ') d.flags |= kFormatBlank;
      else if (*p == '#') d.flags |= kFormatAlternate;
      else if (*p == '0') d.flags |= kFormatZeroPad;
      else break;
    }
    if (*p == '*') {
      ++p;
      int32_t w = IntegerOf(ArgumentAt(args, count, running++));
      if (w < 0) {
        d.flags |= kFormatLeft;
        w = w == std::numeric_limits<int32_t>::min() ? kFieldLimit : -w;
      }
      d.width = w > kFieldLimit ? kFieldLimit : w;
    } else if (*p >= '0' && *p <= '9') {
      d.width = ReadNumber(&p);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        ++p;
        int32_t q = IntegerOf(ArgumentAt(args, count, running++));
        d.precision = q < 0 ? 0 : (q > kFieldLimit ? kFieldLimit : q);
      } else {
        d.precision = ReadNumber(&p);
      }
    }
    if (*p == 'h' || *p == 'l' || *p == 'L') d.size = *p++;
    char conversion = *p;
    if (!conversion) {
      // A directive cut off by the end of the format shows its "%" and nothing else.
      sink->Put('%');
      break;
    }
    ++p;
    const char* kTaking = "diuoxXcsaeEfFgG";
    if (conversion == '%') {
      sink->Put('%');
      continue;
    }
    if (!std::strchr(kTaking, conversion)) {
      sink->Put('%');
      sink->Put(conversion);
      continue;
    }
    const ScriptValue* value = ArgumentAt(args, count, chosen >= 0 ? chosen : running);
    if (chosen < 0) ++running;
    switch (conversion) {
      case 'c':
        sink->Put(static_cast<char>(IntegerOf(value) & 0xFF));
        break;
      case 's':
        PutText(sink, value, d);
        break;
      case 'a':
        PutValueText(sink, value, d);
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
        PutDouble(sink, conversion, value, d, engine);
        break;
      default:
        PutInteger(sink, conversion, value, d);
        break;
    }
  }
  if (sink->out && sink->capacity > 0) {
    sink->out[sink->length < sink->capacity - 1 ? sink->length : sink->capacity - 1] = '\0';
  }
  return sink->length;
}

int32_t ClampLength(int64_t n) {
  return n > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(n);
}

// The answer of both printf natives: measured, then written into a string object of exactly
// that size. Results too large for one text answer the empty text.
int32_t AnswerFormatted(SECall* call, const char* format, const ScriptValue* args, int32_t count) {
  if (!format) return SEAnswerText(call, "");
  int32_t n = FormatScriptText(nullptr, format, args, count);
  constexpr int32_t kLargestText = 0x7FFFFFF0;
  if (n < 0 || n >= kLargestText) return SEAnswerText(call, "");
  ScriptValue result{};
  char* text = SetValueBlankString(&result, n);
  if (!text) {
    ReleaseValue(&result);
    return SEAnswerText(call, "");
  }
  FormatScriptTextN(text, n + 1, format, args, count);
  return SEAnswerValue(call, &result);
}

}  // namespace

int32_t FormatScriptTextN(char* output, int32_t capacity, const char* format, const ScriptValue* args,
                          int32_t argCount) {
  FormatSink sink{capacity > 0 ? output : nullptr, capacity > 0 ? capacity : 0, 0};
  return ClampLength(FormatInto(&sink, format, args, argCount));
}

int32_t FormatScriptText(char* output, const char* format, const ScriptValue* args, int32_t argCount) {
  FormatSink sink{output, output ? std::numeric_limits<int64_t>::max() : 0, 0};
  return ClampLength(FormatInto(&sink, format, args, argCount));
}

// ---------------------------------------------------------------------------------------------
// Text database

int32_t SE_XMLImportText(SECall* call) {
  const char* xml = SEArgText(call, 0);
  if (!xml) return SEAnswerInt(call, 0);
  xmlDocPtr document = ParseXmlMemory(xml, "SE_XMLImportText");
  if (!document) return SEAnswerInt(call, 0);
  int32_t result = ReadLanguageFile(xmlDocGetRootElement(document), call->engine);
  XmlFreeDoc(document);
  return SEAnswerInt(call, result);
}

static int32_t CurrentLanguage() { return gSystem ? static_cast<int32_t>(gSystem->language) : 0; }

// Both lookups: the stored text value when present; otherwise `exists` answers 0 and the
// reader a key text naming what was asked for.
static int32_t LookUpText(SECall* call, bool exists) {
  int32_t page = 0;
  int32_t id;
  int32_t language = CurrentLanguage();
  char key[64];
  if (call->argCount == 2) {
    page = SEArgInt(call, 0);
    id = SEArgInt(call, 1);
    std::snprintf(key, sizeof key, "ReadText%d-%d", page, id);
  } else if (call->argCount == 3) {
    page = SEArgInt(call, 0);
    language = SEArgInt(call, 1);
    id = SEArgInt(call, 2);
    std::snprintf(key, sizeof key, "ReadText%d-%d-%d", page, language, id);
  } else {
    id = SEArgInt(call, 0);
    std::snprintf(key, sizeof key, "ReadText%d", id);
  }
  const TextDatabase* table =
      call->engine && language >= 0 && language < kTextTableCount ? call->engine->textTables[language] : nullptr;
  const ScriptValue* text = table ? FindTextValue(table, page, id) : nullptr;
  if (text) return SEAnswerCopy(call, text);
  return exists ? SEAnswerInt(call, 0) : SEAnswerText(call, key);
}

int32_t SE_ReadText(SECall* call) { return LookUpText(call, false); }
int32_t SE_ExistsText(SECall* call) { return LookUpText(call, true); }
int32_t SE_LoadText(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_LoadTextPage(SECall* call) { return SEAnswerInt(call, 0); }
int32_t SE_GetLanguage(SECall* call) { return SEAnswerInt(call, CurrentLanguage()); }

int32_t SE_FreeText(SECall* call) {
  if (call->engine) FreeAllTexts(call->engine);
  return SEAnswerInt(call, 0);
}

int32_t SE_SaveAllTexts(SECall* call) {
  const char* name = SEArgText(call, 0);
  return SEAnswerInt(call, name && call->engine ? WriteTextSave(call->engine, name) : 0);
}

int32_t SE_LoadAllTexts(SECall* call) {
  const char* name = SEArgText(call, 0);
  return SEAnswerInt(call, name && call->engine ? ReadTextSave(call->engine, name) : 0);
}

// ---------------------------------------------------------------------------------------------
// Strings

int32_t SE_StringLen(SECall* call) {
  const char* text = SEArgText(call, 0);
  return SEAnswerInt(call, text ? TextLength(text) : 0);
}

int32_t SE_StringNumChars(SECall* call) {
  const char* text = SEArgText(call, 0);
  return SEAnswerInt(call, text ? ClampLength(static_cast<int64_t>(Utf8Length(text))) : 0);
}

int32_t SE_StringNextCharPos(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerInt(call, 0);
  int32_t pos = SEArgInt(call, 1);
  // Before the start there is no character to step over: the next position is the start.
  if (pos < 0) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, ClampLength(static_cast<int64_t>(Utf8NextChar(text, static_cast<size_t>(pos)))));
}

int32_t SE_StringPrevCharPos(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerInt(call, 0);
  int32_t pos = SEArgInt(call, 1);
  if (pos <= 0) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, ClampLength(static_cast<int64_t>(Utf8ClampLength(text, static_cast<size_t>(pos)))));
}

int32_t SE_StringReadChar(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerInt(call, 0);
  int32_t pos = SEArgInt(call, 1, 0);
  if (pos < 0 || pos >= TextLength(text)) return SEAnswerInt(call, 0);
  return SEAnswerInt(call, static_cast<unsigned char>(text[pos]));
}

int32_t SE_StringWriteChar(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerText(call, "");
  int32_t c = SEArgInt(call, 1);
  int32_t pos = SEArgInt(call, 2, 0);
  int32_t length = TextLength(text);
  ScratchText copy(call->engine, static_cast<size_t>(length) + 1);
  if (!copy.get()) return SEAnswerText(call, "");
  std::memcpy(copy.get(), text, static_cast<size_t>(length) + 1);
  if (pos >= 0 && pos < length) copy.get()[pos] = static_cast<char>(c & 0xFF);
  return SEAnswerTextN(call, copy.get(), length);
}

int32_t SE_StringStr(SECall* call) {
  const char* text = SEArgText(call, 0);
  const char* sub = SEArgText(call, 1);
  if (!text || !sub) return SEAnswerInt(call, -1);
  uint32_t start = static_cast<uint32_t>(SEArgInt(call, 2, 0));
  if (start >= static_cast<uint32_t>(TextLength(text))) return SEAnswerInt(call, -1);
  const char* found = std::strstr(text + start, sub);
  return SEAnswerInt(call, found ? static_cast<int32_t>(found - text) : -1);
}

int32_t SE_StringChr(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text || !SEHasArg(call, 1)) return SEAnswerInt(call, -1);
  int32_t c = SEArgInt(call, 1);
  uint32_t start = static_cast<uint32_t>(SEArgInt(call, 2, 0));
  if (start >= static_cast<uint32_t>(TextLength(text))) return SEAnswerInt(call, -1);
  const char* found = std::strchr(text + start, c);
  return SEAnswerInt(call, found ? static_cast<int32_t>(found - text) : -1);
}

int32_t SE_StringRChr(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text || !SEHasArg(call, 1)) return SEAnswerInt(call, -1);
  const char* found = std::strrchr(text, SEArgInt(call, 1));
  return SEAnswerInt(call, found ? static_cast<int32_t>(found - text) : -1);
}

static bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

int32_t SE_StringSub(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerText(call, "");
  uint32_t length = static_cast<uint32_t>(TextLength(text));
  uint32_t start = static_cast<uint32_t>(SEArgInt(call, 1));
  if (start >= length) return SEAnswerText(call, "");
  uint32_t count = static_cast<uint32_t>(SEArgInt(call, 2));
  if (call->argCount < 3 || count >= length || uint64_t{start} + count >= length) {
    return SEAnswerText(call, text + start);
  }
  if (count == 0) return SEAnswerText(call, "");
  // The piece never ends inside a character: its end moves on over continuation bytes (the
  // terminator stops it at the text's end).
  uint32_t end = start + count;
  while (IsContinuationByte(text[end])) ++end;
  return SEAnswerTextN(call, text + start, static_cast<int32_t>(end - start));
}

int32_t SETextToInt(const char* text) {
  if (!text) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (std::isspace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t n = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  while (*p >= '0' && *p <= '9') {
    if (n <= kLimit) n = n * 10 + (*p - '0');
    ++p;
  }
  if (negative) n = -n;
  if (n > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (n < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(n);
}

int32_t SE_StringToInt(SECall* call) { return SEAnswerInt(call, SETextToInt(SEArgText(call, 0))); }

int32_t SE_StringSplit(SECall* call) {
  ScriptValue* source = SEArgValue(call, 0);
  const char* text = SEArgText(call, 0);
  const char* separator = SEArgText(call, 1);
  ScriptValue result{};
  if (!text) {
    // Nothing to split: an empty list, which a script can walk without a special case.
    AllocArrayValue(&result, 0);
    return SEAnswerValue(call, &result);
  }
  size_t step = separator ? std::strlen(separator) : 0;
  int32_t count = 0;
  // An empty separator would match everywhere without advancing: the text stays whole.
  if (step > 0) {
    for (const char* p = std::strstr(text, separator); p; p = std::strstr(p + step, separator)) ++count;
  }
  if (!AllocArrayValue(&result, count + 1)) return SEAnswerValue(call, &result);
  if (count == 0) {
    ArrayWrite(&result, 0, source);
    return SEAnswerValue(call, &result);
  }
  const char* piece = text;
  for (int32_t i = 0; i < count; ++i) {
    const char* match = std::strstr(piece, separator);
    ArrayWriteStringN(&result, i, piece, static_cast<int32_t>(match - piece));
    piece = match + step;
  }
  ArrayWriteString(&result, count, piece);
  return SEAnswerValue(call, &result);
}

int32_t SE_StringSubst(SECall* call) {
  ScriptValue* source = SEArgValue(call, 0);
  const char* text = SEArgText(call, 0);
  const char* find = SEArgText(call, 1);
  const char* replacement = SEArgText(call, 2);
  // An empty find text occurs nowhere that a scan could step past: the text stays as it is.
  if (!text || !find || !replacement || !*find || !std::strstr(text, find)) return SEAnswerCopy(call, source);
  size_t findLength = std::strlen(find);
  size_t replacementLength = std::strlen(replacement);
  size_t length = std::strlen(text);
  size_t hits = 0;
  for (const char* p = std::strstr(text, find); p; p = std::strstr(p + findLength, find)) ++hits;
  size_t size = length - hits * findLength + hits * replacementLength + 1;
  ScratchText out(call->engine, size);
  if (!out.get()) return SEAnswerText(call, "");
  char* w = out.get();
  const char* p = text;
  for (const char* match = std::strstr(p, find); match; match = std::strstr(p, find)) {
    std::memcpy(w, p, static_cast<size_t>(match - p));
    w += match - p;
    std::memcpy(w, replacement, replacementLength);
    w += replacementLength;
    p = match + findLength;
  }
  size_t rest = std::strlen(p);
  std::memcpy(w, p, rest + 1);
  return SEAnswerTextN(call, out.get(), ClampLength(static_cast<int64_t>(size - 1)));
}

int32_t SE_SPrintf(SECall* call) {
  const char* format = SEArgText(call, 0);
  int32_t count = call->argCount > 1 ? call->argCount - 1 : 0;
  return AnswerFormatted(call, format, count ? call->args + 1 : nullptr, count);
}

int32_t SE_VSPrintf(SECall* call) {
  const char* format = SEArgText(call, 0);
  ScriptValue* array = SEArgArray(call, 1);
  const ScriptValue* elements = nullptr;
  int32_t count = array ? GetArraySize(array) : 0;
  // An array that was never touched has no element block yet: it is made here, all zeros.
  if (count > 0) elements = ArrayElementPtr(array, 0);
  if (!elements) count = 0;
  return AnswerFormatted(call, format, elements, count);
}

static int32_t Sign(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

int32_t SE_strcmp(SECall* call) {
  const char* a = SEArgText(call, 0);
  if (!a) return SEAnswerInt(call, -2);
  const char* b = SEArgText(call, 1);
  if (!b) return SEAnswerInt(call, 2);
  return SEAnswerInt(call, Sign(std::strcmp(a, b)));
}

int32_t SE_stricmp(SECall* call) {
  const char* a = SEArgText(call, 0);
  if (!a) return SEAnswerInt(call, -2);
  const char* b = SEArgText(call, 1);
  if (!b) return SEAnswerInt(call, 2);
  for (;; ++a, ++b) {
    int x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y || x == 0) return SEAnswerInt(call, x - y);
  }
}

// The time argument: its 32-bit payload widened without sign; now when it is missing.
static std::time_t TimeArgument(const SECall* call, int32_t i) {
  if (!SEHasArg(call, i)) return std::time(nullptr);
  return static_cast<std::time_t>(static_cast<uint32_t>(SEArgInt(call, i)));
}

int32_t SE_CTime(SECall* call) {
  std::time_t t = TimeArgument(call, 0);
  const char* text = std::ctime(&t);
  if (!text) return SEAnswerText(call, "");
  int32_t length = TextLength(text);
  return SEAnswerTextN(call, text, length > 0 ? length - 1 : 0);
}

int32_t SE_TimeString(SECall* call) {
  const char* format = SEArgText(call, 0);
  if (!format) return SEAnswerText(call, "");
  std::time_t t = TimeArgument(call, 1);
  const std::tm* local = std::localtime(&t);
  char out[49] = {};
  // A result that does not fit leaves strftime's buffer undefined: it answers the empty text.
  if (!local || std::strftime(out, sizeof out, format, local) == 0) out[0] = '\0';
  out[sizeof out - 1] = '\0';
  return SEAnswerText(call, out);
}

// ---------------------------------------------------------------------------------------------
// XML and query codings

static int32_t HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%u" and four hexadecimal digits at p: the code point, else -1.
static int32_t UnicodeEscape(const char* p) {
  if (p[0] != '%' || p[1] != 'u') return -1;
  int32_t code = 0;
  for (int k = 2; k < 6; ++k) {
    int32_t h = HexValue(p[k]);  // stops at the terminator, which is no digit
    if (h < 0) return -1;
    code = code * 16 + h;
  }
  return code;
}

// "%" and two hexadecimal digits at p: the byte, else -1.
static int32_t ByteEscape(const char* p) {
  if (p[0] != '%') return -1;
  int32_t high = HexValue(p[1]);
  if (high < 0) return -1;
  int32_t low = HexValue(p[2]);
  if (low < 0) return -1;
  return high * 16 + low;
}

static const char* EntityFor(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    default:
      return nullptr;
  }
}

// One pass of the XML encoding; with a null out it only counts.
static size_t XmlEncode(const char* text, char* out) {
  size_t n = 0;
  auto put = [&](const char* s, size_t k) {
    if (out) std::memcpy(out + n, s, k);
    n += k;
  };
  for (const char* p = text; *p;) {
    int32_t code = UnicodeEscape(p);
    if (code >= 0) {
      char bytes[3];
      char* end = Utf8EncodeChar(bytes, static_cast<uint16_t>(code));
      put(bytes, static_cast<size_t>(end - bytes));
      p += 6;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(*p++);
    if (const char* entity = EntityFor(static_cast<char>(c))) {
      put(entity, std::strlen(entity));
    } else if (c >= 32 && c <= 127) {
      char b = static_cast<char>(c);
      put(&b, 1);
    } else {
      char entity[8];
      int k = std::snprintf(entity, sizeof entity, c < 100 ? "&#%02u;" : "&#%03u;", static_cast<unsigned>(c));
      put(entity, static_cast<size_t>(k));
    }
  }
  return n;
}

int32_t SE_StringXMLEncode(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerText(call, "");
  size_t n = XmlEncode(text, nullptr);
  ScratchText out(call->engine, n + 1);
  if (!out.get()) return SEAnswerText(call, "");
  XmlEncode(text, out.get());
  out.get()[n] = '\0';
  return SEAnswerTextN(call, out.get(), ClampLength(static_cast<int64_t>(n)));
}

int32_t SE_StringXMLEscape(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerText(call, "");
  size_t n = 0;
  for (const char* p = text; *p; ++p) {
    const char* entity = EntityFor(*p);
    n += entity ? std::strlen(entity) : 1;
  }
  ScratchText out(call->engine, n + 1);
  if (!out.get()) return SEAnswerText(call, "");
  char* w = out.get();
  for (const char* p = text; *p; ++p) {
    if (const char* entity = EntityFor(*p)) {
      size_t k = std::strlen(entity);
      std::memcpy(w, entity, k);
      w += k;
    } else {
      *w++ = *p;
    }
  }
  *w = '\0';
  return SEAnswerTextN(call, out.get(), ClampLength(static_cast<int64_t>(n)));
}

int32_t SE_StringXMLQueryDecode(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerText(call, "");
  size_t length = std::strlen(text);
  ScratchText out(call->engine, length + 1);
  if (!out.get()) return SEAnswerText(call, "");
  char* w = out.get();
  for (const char* p = text; *p;) {
    int32_t byte = ByteEscape(p);
    if (byte >= 0) {
      *w++ = static_cast<char>(byte);
      p += 3;
    } else if (p[0] == '%' && p[1] == '%') {
      *w++ = '%';
      p += 2;
    } else if (*p == '+') {
      *w++ = ' ';
      ++p;
    } else {
      *w++ = *p++;
    }
  }
  *w = '\0';
  return SEAnswerTextN(call, out.get(), static_cast<int32_t>(w - out.get()));
}

int32_t SE_StringXMLQueryToUTF8(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerText(call, "");
  size_t length = std::strlen(text);
  // No input byte grows to more than two output bytes.
  ScratchText out(call->engine, 2 * length + 1);
  if (!out.get()) return SEAnswerText(call, "");
  char* w = out.get();
  auto putWide = [&w](unsigned b) {
    *w++ = static_cast<char>(0xC0 | (b >> 6));
    *w++ = static_cast<char>(0x80 | (b & 63));
  };
  for (const char* p = text; *p;) {
    int32_t code = UnicodeEscape(p);
    if (code >= 0) {
      w = Utf8EncodeChar(w, static_cast<uint16_t>(code));
      p += 6;
      continue;
    }
    int32_t byte = ByteEscape(p);
    if (byte >= 0) {
      if (byte < 128) *w++ = static_cast<char>(byte);
      else putWide(static_cast<unsigned>(byte));
      p += 3;
    } else if (p[0] == '%' && p[1] == '%') {
      *w++ = '%';
      p += 2;
    } else if (*p == '+') {
      *w++ = ' ';
      ++p;
    } else if (static_cast<unsigned char>(*p) >= 128) {
      putWide(static_cast<unsigned char>(*p++));
    } else {
      *w++ = *p++;
    }
  }
  *w = '\0';
  return SEAnswerTextN(call, out.get(), static_cast<int32_t>(w - out.get()));
}

// ---------------------------------------------------------------------------------------------
// Command line and text conversions

int32_t SE_StringCat(SECall* call) { return SEAnswerText(call, OsGetCommandLine()); }

int32_t SE_ConvertFormatString(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerInt(call, 0);
  if (!std::strchr(text, '{')) return SEAnswerCopy(call, SEArgValue(call, 0));
  char* expanded = ExpandTextReferences(text);
  SEAnswerText(call, expanded);
  FreeString(expanded);
  return 1;
}

int32_t SE_ConvertTextString(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (!text) return SEAnswerText(call, "");
  size_t length = std::strlen(text);
  // The output never outgrows the input: the copy is converted in place.
  ScratchText copy(call->engine, length + 1);
  if (!copy.get()) return SEAnswerText(call, "");
  std::memcpy(copy.get(), text, length + 1);
  char* w = copy.get();
  bool comment = false;
  for (const char* p = copy.get(); *p;) {
    char c = *p++;
    char out;
    if (c == '\\') {
      if (!*p) break;  // a backslash at the very end escapes nothing
      char e = *p;
      if (e >= '0' && e <= '7') {
        uint32_t value = 0;
        while (*p >= '0' && *p <= '7') value = value * 8 + static_cast<uint32_t>(*p++ - '0');
        out = static_cast<char>(value & 0xFF);
      } else {
        ++p;
        out = e == 'n' ? '\n' : e == 'b' ? '\b' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
      }
    } else if (c == '(') {
      comment = true;
      continue;
    } else if (c == ')') {
      comment = false;
      continue;
    } else {
      out = c == '\n' ? ' ' : c;
    }
    if (!comment) *w++ = out;
  }
  *w = '\0';
  return SEAnswerTextN(call, copy.get(), static_cast<int32_t>(w - copy.get()));
}

int32_t SE_StringMul(SECall* call) {
  const char* text = SEArgText(call, 0);
  if (call->argCount != 3 || !text) return SEAnswerInt(call, 0);
  int32_t length = TextLength(text);
  int32_t from = SEArgInt(call, 1);
  int32_t to = SEArgInt(call, 2);
  // Only the bytes the text holds take part.
  if (from < 0) from = 0;
  if (to > length) to = length;
  uint32_t x = 0;
  for (int32_t k = from; k < to; ++k) x ^= static_cast<unsigned char>(text[k]);
  return SEAnswerInt(call, static_cast<int32_t>(x));
}
