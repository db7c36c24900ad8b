// Conversions between UTF-8, UTF-16 and Windows-1252 with a table of our own for the 0x80-0x9F
// row, the only part of the code page that differs from Latin-1. Callers: the dialog texts and
// the desktop dialog backend. Never reads past a terminator or a given length.
#include "platform/code_page.h"

namespace {

constexpr uint16_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80-0x9F; 0 marks the five the code page leaves unassigned.
constexpr uint16_t kRow80[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

int32_t CodePageByte(uint16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int i = 0; i < 32; ++i) {
    if (kRow80[i] == unit) return 0x80 + i;
  }
  return -1;
}

uint16_t CodePageUnit(uint8_t byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  uint16_t unit = kRow80[byte - 0x80];
  return unit ? unit : kReplacement;
}

// Decodes one UTF-8 sequence at text[*pos] (not beyond `end`) into a code point.
uint32_t DecodeUtf8(const unsigned char* text, int32_t end, int32_t* pos) {
  unsigned char lead = text[*pos];
  ++*pos;
  if (lead < 0x80) return lead;
  int more = 0;
  uint32_t code = 0;
  uint32_t least = 0;
  if ((lead & 0xE0) == 0xC0) {
    more = 1, code = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    more = 2, code = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    more = 3, code = lead & 0x07, least = 0x10000;
  } else {
    return kReplacement;
  }
  for (int i = 0; i < more; ++i) {
    if (*pos >= end || (text[*pos] & 0xC0) != 0x80) return kReplacement;
    code = (code << 6) | (text[*pos] & 0x3F);
    ++*pos;
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kReplacement;
  return code;
}

int32_t TextLength(const char* text) {
  int32_t n = 0;
  while (text[n]) ++n;
  return n;
}

}  // namespace

int32_t Utf8ToUtf16(const char* text, int32_t length, uint16_t* out, int32_t outUnits) {
  if (!text) return 0;
  bool terminate = length < 0;
  int32_t end = terminate ? TextLength(text) : length;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  int32_t units = 0;
  auto put = [&](uint16_t unit) {
    if (out) {
      if (units >= outUnits) return false;
      out[units] = unit;
    }
    ++units;
    return true;
  };
  int32_t pos = 0;
  while (pos < end) {
    uint32_t code = DecodeUtf8(bytes, end, &pos);
    if (code >= 0x10000) {
      code -= 0x10000;
      if (!put(static_cast<uint16_t>(0xD800 + (code >> 10))) || !put(static_cast<uint16_t>(0xDC00 + (code & 0x3FF))))
        return 0;
    } else if (!put(static_cast<uint16_t>(code))) {
      return 0;
    }
  }
  if (terminate && !put(0)) return 0;
  return units;
}

int32_t Utf16ToCodePage(const uint16_t* text, int32_t length, char* out, int32_t outSize, char defaultChar) {
  if (!text) return 0;
  bool terminate = length < 0;
  int32_t end = length;
  if (terminate) {
    end = 0;
    while (text[end]) ++end;
  }
  int32_t written = 0;
  for (int32_t i = 0; i <= end; ++i) {
    if (i == end && !terminate) break;
    int32_t byte = 0;
    if (i < end) {
      uint16_t unit = text[i];
      // A surrogate pair is one character: one default character for both units.
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < end && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
      byte = CodePageByte(unit);
      if (byte < 0) byte = static_cast<unsigned char>(defaultChar);
    }
    if (out) {
      if (written >= outSize) return 0;
      out[written] = static_cast<char>(byte);
    }
    ++written;
  }
  return written;
}

std::string CodePageToUtf8(const char* text) {
  std::string result;
  if (!text) return result;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    uint16_t unit = CodePageUnit(*p);
    if (unit < 0x80) {
      result += static_cast<char>(unit);
    } else if (unit < 0x800) {
      result += static_cast<char>(0xC0 | (unit >> 6));
      result += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      result += static_cast<char>(0xE0 | (unit >> 12));
      result += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return result;
}

std::string Utf8ToCodePage(const char* text) {
  std::string result;
  if (!text) return result;
  int32_t units = Utf8ToUtf16(text, -1, nullptr, 0);
  if (units <= 0) return result;
  std::u16string wide(static_cast<size_t>(units), u'\0');
  auto* wideUnits = reinterpret_cast<uint16_t*>(wide.data());
  Utf8ToUtf16(text, -1, wideUnits, units);
  int32_t bytes = Utf16ToCodePage(wideUnits, -1, nullptr, 0, '*');
  if (bytes <= 0) return result;
  result.resize(static_cast<size_t>(bytes));
  Utf16ToCodePage(wideUnits, -1, result.data(), bytes, '*');
  result.pop_back();  // the terminator
  return result;
}
