// The data reader: opening a file or a caller's buffer, the text grammar (numbers, keywords, flag
// sets, tokens, comments), big-endian binary fields and section markers. Called by every loader of
// type, body, cut-scene and effect files. Every byte it looks at lies between the cursor and the
// reader's limit (or the text terminator): a field that would run past the data sets the sticky
// error flag instead. The writing half lives in data_reader_write.cpp.
#include "core/data_reader.h"

#include <cstdint>
#include <cstring>

#include "core/byte_order.h"
#include "core/catalog.h"
#include "core/file_object.h"
#include "core/fixed_math.h"
#include "core/memory.h"
#include "scene/scene.h"

// Tokens rarely exceed this; reserving it avoids regrowth for ordinary names.
constexpr size_t kTokenReserve = 200;

// Number modes of the integer grammar: nothing yet, binary, decimal, hexadecimal.
constexpr int kModeNone = 0;
constexpr int kModeBinary = 2;
constexpr int kModeDecimal = 10;
constexpr int kModeHex = 16;

// Row of the section table whose marker DataReaderSeekMarker looks for (the embedded body of a
// cut-scene file).
constexpr uint32_t kSeekMarkerRow = 8;

// Bytes readable at the cursor: 0 when the cursor lies outside the known data, SIZE_MAX when the
// reader was given no end.
static size_t Remaining(const DataReader* reader) {
  const uintptr_t cursor = reinterpret_cast<uintptr_t>(reader->cursor);
  if (cursor == 0) return 0;
  if (reader->base && cursor < reinterpret_cast<uintptr_t>(reader->base)) return 0;
  if (!reader->limit) return SIZE_MAX;
  const uintptr_t limit = reinterpret_cast<uintptr_t>(reader->limit);
  return cursor < limit ? limit - cursor : 0;
}

// Text access: the end of the data reads as the terminator, so text scanning stops there.
static uint8_t Peek(const DataReader* reader, size_t offset = 0) {
  return Remaining(reader) > offset ? reader->cursor[offset] : 0;
}

static void Advance(DataReader* reader) {
  if (Remaining(reader) > 0) reader->cursor++;
}

// Binary access: n bytes at the cursor, or the error flag when they are not all there.
static const uint8_t* TakeBytes(DataReader* reader, size_t n) {
  if (reader->error) return nullptr;
  if (Remaining(reader) < n) {
    reader->error = 1;
    return nullptr;
  }
  const uint8_t* bytes = reader->cursor;
  reader->cursor += n;
  return bytes;
}

static uint32_t TakeWord(DataReader* reader) {
  const uint8_t* bytes = TakeBytes(reader, 4);
  return bytes ? LoadBE32(bytes) : 0;
}

static uint16_t TakeHalf(DataReader* reader) {
  const uint8_t* bytes = TakeBytes(reader, 2);
  return bytes ? LoadBE16(bytes) : 0;
}

static void SkipToLineEnd(DataReader* reader) {
  while (Peek(reader) != 0 && Peek(reader) != '\n') Advance(reader);
}

// '#' in a numeric field: everything up to and including the next ';' is dropped.
static void SkipCommentedField(DataReader* reader) {
  while (Peek(reader) != 0 && Peek(reader) != ';') Advance(reader);
  if (Peek(reader) == ';') Advance(reader);
}

static void SkipWhitespace(DataReader* reader) {
  for (;;) {
    const uint8_t c = Peek(reader);
    if (c == '\t' || c == ' ') {
      reader->compact = 0;
      Advance(reader);
    } else if (c == '\n' || c == '\r') {
      Advance(reader);
    } else if (c == '/') {
      SkipToLineEnd(reader);
    } else {
      return;
    }
  }
}

static int HexDigit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

static uint32_t FailField(DataReader* reader) {
  reader->error = 1;
  return 0;
}

// The integer grammar, in 32-bit unsigned arithmetic: too many digits wrap, never overflow. The
// narrower parsers take the low bits, which is the same as computing in their own width.
static uint32_t ParseTextNumber(DataReader* reader, int startMode) {
  int mode = startMode;
  bool started = false;
  bool negative = false;
  uint32_t value = 0;
  for (;;) {
    const uint8_t c = Peek(reader);
    if (c == 0 || c == ';') {
      if (!started) return FailField(reader);
      if (c == ';') Advance(reader);
      return negative ? 0u - value : value;
    }
    if (c == '\t' || c == ' ') {
      reader->compact = 0;
      Advance(reader);
    } else if (c == '\r' || c == '\n') {
      Advance(reader);
    } else if (c == '#') {
      // A commented-out value before the real one.
      if (started) return FailField(reader);
      SkipCommentedField(reader);
    } else if (c == '%') {
      if (started) return FailField(reader);
      mode = kModeBinary;
      Advance(reader);
    } else if (c == '-') {
      if (started || negative) return FailField(reader);
      negative = true;
      Advance(reader);
    } else if (c == '/') {
      SkipToLineEnd(reader);
    } else if (c == '0' && (Peek(reader, 1) == 'x' || Peek(reader, 1) == 'X') && mode == kModeNone) {
      mode = kModeHex;
      Advance(reader);
      Advance(reader);
    } else {
      if (negative && (mode == kModeBinary || mode == kModeHex)) return FailField(reader);
      if (mode == kModeBinary && (c == '0' || c == '1')) {
        value = value * 2 + (c - '0');
      } else if (mode == kModeHex && HexDigit(c) >= 0) {
        value = value * 16 + static_cast<uint32_t>(HexDigit(c));
      } else if ((mode == kModeNone || mode == kModeDecimal) && c >= '0' && c <= '9') {
        mode = kModeDecimal;
        value = value * 10 + (c - '0');
      } else {
        return FailField(reader);
      }
      started = true;
      Advance(reader);
    }
  }
}

static int32_t ParseTextInt(DataReader* reader) { return static_cast<int32_t>(ParseTextNumber(reader, kModeNone)); }
static uint32_t ParseTextWord(DataReader* reader, int startMode) { return ParseTextNumber(reader, startMode); }
static uint16_t ParseTextShort(DataReader* reader) { return static_cast<uint16_t>(ParseTextNumber(reader, kModeNone)); }
static uint8_t ParseTextByte(DataReader* reader) { return static_cast<uint8_t>(ParseTextNumber(reader, kModeNone)); }

static double ParseTextFloat(DataReader* reader) {
  bool digits = false;
  bool negative = false;
  bool fraction = false;
  double value = 0.0;
  double scale = 0.1;
  for (;;) {
    const uint8_t c = Peek(reader);
    if (c == 0 || c == ';') {
      if (c == ';') Advance(reader);
      return negative ? -value : value;
    }
    if (c == '\t' || c == ' ') {
      reader->compact = 0;
      Advance(reader);
    } else if (c == '\r' || c == '\n') {
      Advance(reader);
    } else if (c == '#') {
      if (digits || negative || fraction) return FailField(reader);
      SkipCommentedField(reader);
    } else if (c == '/') {
      SkipToLineEnd(reader);
    } else if (c == '-') {
      if (digits || negative || fraction) return FailField(reader);
      negative = true;
      Advance(reader);
    } else if (c == '.') {
      if (fraction) return FailField(reader);
      fraction = true;
      Advance(reader);
    } else if (c >= '0' && c <= '9') {
      if (fraction) {
        value += (c - '0') * scale;
        scale *= 0.1;
      } else {
        value = value * 10.0 + (c - '0');
      }
      digits = true;
      Advance(reader);
    } else {
      return FailField(reader);
    }
  }
}

// A 16.16 value from a double; anything outside the 32-bit range becomes the integer-indefinite
// value.
static int32_t DoubleToFixed(double value) { return TruncateToInt32(value * 65536.0); }

static int32_t ParseTextFixed(DataReader* reader) {
  const double value = ParseTextFloat(reader);
  if (reader->error) return 0;
  return DoubleToFixed(value);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing.

static void ResetReader(DataReader* reader) {
  reader->file = nullptr;
  reader->base = nullptr;
  reader->cursor = nullptr;
  reader->size = 0;
  reader->textSize = 0;
  reader->sections = nullptr;
  reader->sectionCount = 0;
  reader->binary = 0;
  reader->compact = 1;
  reader->depth = 0;
  reader->error = 0;
  reader->limit = nullptr;
}

void DataReaderOpenFile(DataReader* reader, const char* name, const char* types,
                        const DataSectionRow* sections, uint32_t sectionCount) {
  ResetReader(reader);
  uint8_t* buffer = reinterpret_cast<uint8_t*>(LoadGameFile(name, types, false));
  reader->base = buffer;
  reader->cursor = buffer;
  reader->sections = sections;
  reader->sectionCount = sectionCount;
  reader->error = buffer == nullptr;
  if (buffer) {
    reader->size = gLastReadSize;
    reader->textSize = gLastReadTextSize;
    reader->limit = buffer + gLastReadSize;
  }
}

void DataReaderInit(DataReader* reader, void* buffer, bool binary, size_t length) {
  ResetReader(reader);
  reader->cursor = static_cast<uint8_t*>(buffer);
  reader->error = buffer == nullptr;
  reader->sections = kBodySectionTable;
  reader->sectionCount = kBodySectionCount;
  reader->binary = binary ? 1 : 0;
  if (buffer && length) reader->limit = static_cast<uint8_t*>(buffer) + length;
}

void DataReaderSetBinary(DataReader* reader, bool binary) {
  reader->binary = binary ? 1 : 0;
  // The last byte of a text file is not part of its content; it becomes the terminator. An empty
  // file has no such byte, and its limit already ends the text.
  if (!binary && reader->base && reader->textSize > 0 && reader->textSize <= reader->size) {
    reader->base[reader->textSize - 1] = 0;
  }
}

void DataReaderSetCursor(DataReader* reader, uint8_t* pointer) { reader->cursor = pointer; }

uint8_t* DataReaderGetCursor(const DataReader* reader) { return reader->cursor; }

size_t DataReaderBytesLeft(const DataReader* reader) { return Remaining(reader); }

void DataReaderClose(DataReader* reader) {
  if (reader->file) {
    // The last buffered bytes reach the file only now; a writer whose close fails has not
    // written its file, and says so through its error flag.
    if (!FileCloseDelete(reader->file)) reader->error = 1;
    reader->file = nullptr;
  }
  if (reader->size != 0 && reader->base) MemFree(reader->base, reader->size, 0);
  reader->base = nullptr;
  reader->cursor = nullptr;
  reader->limit = nullptr;
  reader->size = 0;
  reader->textSize = 0;
}

// ---------------------------------------------------------------------------------------------
// Fields.

int32_t ReadInt(DataReader* reader) {
  if (reader->error) return 0;
  if (reader->binary) return static_cast<int32_t>(TakeWord(reader));
  SkipWhitespace(reader);
  return ParseTextInt(reader);
}

uint32_t ReadWord(DataReader* reader) {
  if (reader->error) return 0;
  if (reader->binary) return TakeWord(reader);
  SkipWhitespace(reader);
  return ParseTextWord(reader, kModeNone);
}

uint16_t ReadShort(DataReader* reader) {
  if (reader->error) return 0;
  if (reader->binary) return TakeHalf(reader);
  SkipWhitespace(reader);
  return ParseTextShort(reader);
}

double ReadFloat(DataReader* reader) {
  if (reader->error) return 0.0;
  if (reader->binary) return static_cast<int32_t>(TakeWord(reader)) * (1.0 / 65536.0);
  SkipWhitespace(reader);
  return ParseTextFloat(reader);
}

int32_t ReadFixed(DataReader* reader) {
  if (reader->error) return 0;
  if (reader->binary) return static_cast<int32_t>(TakeWord(reader));
  SkipWhitespace(reader);
  return ParseTextFixed(reader);
}

std::string ReadToken(DataReader* reader, bool dropBlanks) {
  std::string token;
  if (reader->error) return token;
  token.reserve(kTokenReserve);
  for (;;) {
    const uint8_t c = Peek(reader);
    if (c == 0) return token;
    if (c == ';') {
      Advance(reader);
      return token;
    }
    if (c == '/') {
      SkipToLineEnd(reader);
      continue;
    }
    if (c == '\t') {
      reader->compact = 0;
    } else if (c == ' ') {
      if (!dropBlanks) token.push_back(' ');
    } else if (c != '\r' && c != '\n') {
      token.push_back(static_cast<char>(c));
    }
    Advance(reader);
  }
}

std::string ReadString(DataReader* reader) {
  if (reader->error) return std::string();
  if (!reader->binary) {
    SkipWhitespace(reader);
    return ReadToken(reader, false);
  }
  // The terminator must lie within the data; a string that runs off its end is a broken file.
  size_t available = Remaining(reader);
  if (available == SIZE_MAX) available = std::strlen(reinterpret_cast<const char*>(reader->cursor)) + 1;
  const void* end = available ? std::memchr(reader->cursor, 0, available) : nullptr;
  if (!end) {
    reader->error = 1;
    return std::string();
  }
  const size_t length = static_cast<const uint8_t*>(end) - reader->cursor;
  std::string text(reinterpret_cast<const char*>(reader->cursor), length);
  reader->cursor += length + 1;
  return text;
}

char DataReaderReadChar(DataReader* reader, const char* allowed) {
  if (reader->error) return kDataNoChar;
  uint8_t c;
  if (reader->binary) {
    if (Remaining(reader) == 0) {
      reader->error = 1;
      return kDataNoChar;
    }
    c = *reader->cursor;
  } else {
    SkipWhitespace(reader);
    c = Peek(reader);
    // The end of the text is never stepped over.
    if (c == 0) return kDataNoChar;
  }
  const bool restricted = allowed && allowed[0] != 0;
  if (!restricted || (c != 0 && std::strchr(allowed, c) != nullptr)) reader->cursor++;
  return static_cast<char>(c);
}

static bool IsNumberStart(uint8_t c) { return (c >= '0' && c <= '9') || c == '%'; }

static bool IsTableEnd(const DataKeyword* pair) { return pair->name == nullptr || pair->name[0] == 0; }

// A flag set "A|B" in text form: every table name that appears framed by '|' adds its bits.
static uint32_t ReadFlagSet(DataReader* reader, const DataKeyword* table) {
  std::string framed = "|";
  framed += ReadToken(reader, true);
  framed += '|';
  uint32_t result = 0;
  for (const DataKeyword* pair = table; !IsTableEnd(pair); pair++) {
    std::string name = "|";
    name += pair->name;
    name += '|';
    if (framed.find(name) != std::string::npos) result |= static_cast<uint32_t>(pair->value);
  }
  return result;
}

int32_t ReadEnum(const DataKeyword* table, DataReader* reader) {
  if (reader->error) return 0;
  if (reader->binary) return static_cast<int32_t>(TakeWord(reader));
  SkipWhitespace(reader);
  if (!table || IsNumberStart(Peek(reader))) return ParseTextInt(reader);
  const std::string token = ReadToken(reader, true);
  for (const DataKeyword* pair = table; !IsTableEnd(pair); pair++) {
    if (token == pair->name) return pair->value;
  }
  reader->error = 1;
  return 0;
}

uint32_t ReadEnumWord(DataReader* reader, const DataKeyword* table, int mode) {
  if (reader->error) return 0;
  if (reader->binary) return TakeWord(reader);
  SkipWhitespace(reader);
  if (!table || IsNumberStart(Peek(reader))) {
    const int startMode = (mode == kModeBinary || mode == kModeDecimal || mode == kModeHex) ? mode : kModeNone;
    return ParseTextWord(reader, startMode);
  }
  return ReadFlagSet(reader, table);
}

uint16_t ReadShortEnum(DataReader* reader, const DataKeyword* table) {
  if (reader->error) return 0;
  if (reader->binary) return TakeHalf(reader);
  SkipWhitespace(reader);
  if (!table || IsNumberStart(Peek(reader))) return ParseTextShort(reader);
  return static_cast<uint16_t>(ReadFlagSet(reader, table));
}

uint8_t ReadByteEnum(DataReader* reader, const DataKeyword* table) {
  if (reader->error) return 0;
  if (reader->binary) {
    const uint8_t* byte = TakeBytes(reader, 1);
    return byte ? *byte : 0;
  }
  SkipWhitespace(reader);
  if (!table || IsNumberStart(Peek(reader))) return ParseTextByte(reader);
  return static_cast<uint8_t>(ReadFlagSet(reader, table));
}

// ---------------------------------------------------------------------------------------------
// Sections.

static bool HasText(const char* text) { return text != nullptr && text[0] != 0; }

// Whether the marker text stands at the cursor, wholly within the data. Compared byte by byte:
// a text without a known end stops at its terminator, which no marker holds, so nothing past it
// is ever looked at.
static bool MarkerAtCursor(const DataReader* reader, const char* marker) {
  const size_t length = std::strlen(marker);
  if (Remaining(reader) < length) return false;
  for (size_t i = 0; i < length; i++) {
    if (reader->cursor[i] != static_cast<uint8_t>(marker[i])) return false;
  }
  return true;
}

int32_t DataReaderNextSection(DataReader* reader, int32_t expectedRow) {
  const int32_t count = static_cast<int32_t>(reader->sectionCount);
  const int32_t none = count - 1;
  if (reader->base && reader->size) {
    const uint8_t* cursor = reader->cursor;
    if (cursor < reader->base || cursor > reader->base + reader->size) reader->error = 1;
  }
  // expectedRow may name the row count itself: no row's end marker is then accepted.
  if (expectedRow < 0 || expectedRow > count || !reader->sections || count < 1) reader->error = 1;
  if (reader->error) return none;

  if (!reader->binary) {
    SkipWhitespace(reader);
    for (int32_t row = 2; row <= count - 2; row++) {
      const char* keyword = reader->sections[row].keyword;
      if (HasText(keyword) && MarkerAtCursor(reader, keyword)) {
        reader->cursor += std::strlen(keyword);
        return row;
      }
    }
  } else if (Remaining(reader) >= 4) {
    for (int32_t row = 0; row <= count - 2; row++) {
      const DataSectionRow& section = reader->sections[row];
      if (HasText(section.id) && std::strlen(section.id) == 4 && MarkerAtCursor(reader, section.id)) {
        reader->cursor += 4;
        reader->depth++;
        return row;
      }
      if (row == expectedRow && HasText(section.endId) && std::strlen(section.endId) == 4 &&
          MarkerAtCursor(reader, section.endId)) {
        reader->cursor += 4;
        reader->depth--;
        return count;
      }
    }
  }
  reader->error = 1;
  return none;
}

void DataReaderSeekMarker(DataReader* reader) {
  if (reader->error) return;
  if (!reader->sections || reader->sectionCount <= kSeekMarkerRow) {
    reader->error = 1;
    return;
  }
  const DataSectionRow& row = reader->sections[kSeekMarkerRow];
  const char* marker = reader->binary ? row.endId : row.keyword;
  // Without a known end a binary search could only stop by luck; a text search stops at the
  // terminator.
  if (!HasText(marker) || (reader->binary && !reader->limit)) {
    reader->error = 1;
    return;
  }
  const size_t length = std::strlen(marker);
  for (;;) {
    if (MarkerAtCursor(reader, marker)) {
      reader->cursor += length;
      return;
    }
    if (Remaining(reader) == 0 || (!reader->binary && Peek(reader) == 0)) {
      reader->error = 1;
      return;
    }
    reader->cursor++;
  }
}

int32_t FindLastPathSeparator(const char* text) {
  if (!text) return -1;
  int32_t last = -1;
  for (int32_t i = 0; text[i] != 0; i++) {
    if (text[i] == '/' || text[i] == '\\') last = i;
  }
  return last;
}
