// Type files as lists of fields, written in either form through the data writer: the same list
// gives a text file and its binary twin. Shared by the demo generator, the tests and the fuzz
// seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/data_reader.h"

namespace typetool {

struct Field {
  enum Kind { kInt, kFixed, kString, kKeyword, kFlags, kTag, kShort } kind;
  int32_t value;
  std::string text;                 // strings and keyword names
  const DataKeyword* table = nullptr;  // flag names
};
using Fields = std::vector<Field>;

inline Field Int(int32_t v) { return {Field::kInt, v, {}}; }
// A 16-bit number: two bytes in binary form.
inline Field Short(int16_t v) { return {Field::kShort, v, {}}; }
inline Field Fixed(int32_t v) { return {Field::kFixed, v, {}}; }
inline Field Str(const std::string& s) { return {Field::kString, 0, s}; }
// A keyword in text form, its value in binary form.
inline Field Key(const std::string& name, int32_t v) { return {Field::kKeyword, v, name}; }
inline Field Flags(uint32_t v, const DataKeyword* table) { return {Field::kFlags, static_cast<int32_t>(v), {}, table}; }
// The start marker of a row of the file's section table (a named field).
inline Field Tag(int32_t row) { return {Field::kTag, row, {}}; }

// Writes the fields to `path` in the given form; false when the file cannot be written.
bool WriteTypeFile(const std::string& path, const Fields& fields, bool binary, const DataSectionRow* sections = nullptr,
                   uint32_t sectionCount = 0);
// The file's bytes, written through a file at `path`.
std::string TypeFileBytes(const std::string& path, const Fields& fields, bool binary,
                          const DataSectionRow* sections = nullptr, uint32_t sectionCount = 0);

}  // namespace typetool
