// What the type-query and background command families share: the type-key check, the packed
// type code and the text answer. Defined in sa_type_queries.cpp; read only by the command files.
#pragma once

#include <cstdint>

struct SACall;

// Class 0..31 (compared unsigned, so a negative class fails) and a subtype row of its table.
bool IsValidTypeKey(int32_t objClass, int32_t subtype);
// class x 65536 + subtype, each from its 16-bit half with the sign carried.
int32_t PackTypeCode(int32_t objClass, int32_t subtype);
// A string answer; a missing text answers integer 0.
void SAAnswerText(SACall* call, const char* text);
