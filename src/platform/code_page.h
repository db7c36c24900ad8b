// Text conversions between UTF-8, UTF-16 and the dialog code page (Windows-1252), shaped like the
// system's multi-byte/wide-character calls: a null output asks for the size. Called by the
// dialog texts of the application and by the dialog layer's desktop backend, whose toolkit wants
// UTF-8. Never writes beyond the sizes given.
#pragma once

#include <cstdint>
#include <string>

// UTF-8 to UTF-16 units. `length` -1: the text is terminated and the terminator is converted
// too. Malformed sequences become U+FFFD. Answers the units written (or needed when `out` is
// null), 0 when they do not fit.
int32_t Utf8ToUtf16(const char* text, int32_t length, uint16_t* out, int32_t outUnits);
// UTF-16 to Windows-1252; a unit without a place in the code page becomes `defaultChar`. Same
// size rules as above.
int32_t Utf16ToCodePage(const uint16_t* text, int32_t length, char* out, int32_t outSize, char defaultChar);
// Windows-1252 to UTF-8 (the five unassigned bytes become U+FFFD).
std::string CodePageToUtf8(const char* text);
// UTF-8 to Windows-1252 with "*" for what the code page lacks.
std::string Utf8ToCodePage(const char* text);
