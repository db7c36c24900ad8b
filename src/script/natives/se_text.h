// The SE_ text and string natives (the text database natives, byte and UTF-8 string work,
// splitting and substitution, comparisons, times, the XML and query codings, the command line)
// and FormatScriptText, the script printf that the SE_ library, value printing and the file
// natives share. Called by the SE_ dispatcher and by the formatting callers. Nothing here
// writes outside the buffer it was given or reads outside its argument texts.
#pragma once

#include <cstdint>

#include "script/natives/se_frame.h"

// The script printf over script values. A directive is "%", optionally "!" and one digit N
// (take argument N, leave the running index), flags "-+ #0", a width (digits or "*"), a
// precision ("." then digits or "*"), a size letter (h, l, L) and a conversion: d i u o x X c
// s a e E f F g G or %. With a null output it only measures. Returns the bytes the result
// needs, without its terminator.
int32_t FormatScriptText(char* output, const char* format, const ScriptValue* args, int32_t argCount);
// The same, writing at most capacity - 1 bytes and always a terminator (capacity > 0); the
// answer is still the full length, so a short buffer shows as an answer >= capacity.
int32_t FormatScriptTextN(char* output, int32_t capacity, const char* format, const ScriptValue* args,
                          int32_t argCount);

// Text database.
int32_t SE_XMLImportText(SECall* call);         // 0
int32_t SE_ReadText(SECall* call);              // 1
int32_t SE_ExistsText(SECall* call);            // 2
int32_t SE_LoadText(SECall* call);              // 3
int32_t SE_LoadTextPage(SECall* call);          // 4
int32_t SE_GetLanguage(SECall* call);           // 5
int32_t SE_FreeText(SECall* call);              // 6
// Strings.
int32_t SE_StringLen(SECall* call);             // 7
int32_t SE_StringNumChars(SECall* call);        // 8
int32_t SE_StringNextCharPos(SECall* call);     // 9
int32_t SE_StringPrevCharPos(SECall* call);     // 10
int32_t SE_StringReadChar(SECall* call);        // 11
int32_t SE_StringWriteChar(SECall* call);       // 12
int32_t SE_StringStr(SECall* call);             // 13
int32_t SE_StringChr(SECall* call);             // 14
int32_t SE_StringRChr(SECall* call);            // 15
int32_t SE_StringSub(SECall* call);             // 16
int32_t SE_StringToInt(SECall* call);           // 17
int32_t SE_StringSplit(SECall* call);           // 18
int32_t SE_StringSubst(SECall* call);           // 19
int32_t SE_SPrintf(SECall* call);               // 20
int32_t SE_VSPrintf(SECall* call);              // 21
int32_t SE_strcmp(SECall* call);                // 22
int32_t SE_stricmp(SECall* call);               // 23
int32_t SE_CTime(SECall* call);                 // 24
int32_t SE_TimeString(SECall* call);            // 25
int32_t SE_StringXMLEncode(SECall* call);       // 97
int32_t SE_StringXMLEscape(SECall* call);       // 98
int32_t SE_StringXMLQueryDecode(SECall* call);  // 99
int32_t SE_StringXMLQueryToUTF8(SECall* call);  // 100
int32_t SE_StringCat(SECall* call);             // 143
int32_t SE_ConvertFormatString(SECall* call);   // 144
int32_t SE_ConvertTextString(SECall* call);     // 145
int32_t SE_StringMul(SECall* call);             // 146
int32_t SE_SaveAllTexts(SECall* call);          // 150
int32_t SE_LoadAllTexts(SECall* call);          // 151

// The decimal value of a text as the standard library's atoi reads it (leading blanks, a sign,
// digits up to the first other byte), saturating instead of overflowing. Shared with SE_ToInt.
int32_t SETextToInt(const char* text);
