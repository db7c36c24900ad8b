// The data reader and writer: type, body, cut-scene and effect files in their two forms, a text
// form people edit (fields ended by ';', '/' comments, keywords and flag sets by name) and a binary
// form of big-endian words. Loaders read typed fields and section markers without looking at the
// form; the body converter and the type-file writer write either form. Used by the scene engine,
// the universe type loader and the catalog layer (FindLastPathSeparator). A reader never reads
// outside the bytes it knows: a read that would has the sticky error flag set and yields 0, and a
// failure is never printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FileObject;

// One row of a section table; the caller owns the table. Row 0 is the data frame ("DATA"), row 1
// the file's own id ("BOB1", "CUT1"), and the last row is empty and ends the table.
struct DataSectionRow {
  const char* description;
  const char* id;       // 4 characters, e.g. "NAME"
  const char* endId;    // "/" and the id's first three characters, e.g. "/NAM"
  const char* keyword;  // text form, e.g. "NAME:"
  int32_t index;
};

// A keyword table: (name, value) pairs ended by a pair whose name is the empty string.
struct DataKeyword {
  const char* name;
  int32_t value;
};

struct DataReader {
  FileObject* file;       // output stream of a writer; null for a reader
  uint8_t* base;          // whole-file buffer of a reader opened on a file
  uint8_t* cursor;        // next byte to read
  uint32_t size;          // byte size of the buffer (owned and freed when not 0)
  uint32_t textSize;      // text length; its last byte becomes the terminator in text form
  const DataSectionRow* sections;
  uint32_t sectionCount;  // rows including the empty last one
  uint8_t binary;         // 1 binary form, 0 text form
  uint8_t compact;        // writer: ";" after a field, else "; "; reader: 1 until a blank or tab is seen
  int32_t depth;          // section nesting depth
  uint8_t error;          // sticky: once set, reads yield 0 and writes do nothing
  const uint8_t* limit;   // first byte past the readable data; null when the caller gave no length
};

// DataReaderReadChar's answer at the end of the text or after an error.
constexpr char kDataNoChar = 0;

// Opening and closing.
void DataReaderOpenFile(DataReader* reader, const char* name, const char* types,
                        const DataSectionRow* sections, uint32_t sectionCount);
// A reader over a caller's buffer with the body section table. With length 0 the reader has no
// end of its own (binary reads then trust the data's own end markers); a caller that knows where
// the data ends passes that length, and every read stops there.
void DataReaderInit(DataReader* reader, void* buffer, bool binary, size_t length = 0);
void DataReaderSetBinary(DataReader* reader, bool binary);
void DataReaderSetCursor(DataReader* reader, uint8_t* pointer);
uint8_t* DataReaderGetCursor(const DataReader* reader);
void DataWriterOpen(DataReader* writer, const char* name, bool binary, const DataSectionRow* sections,
                    uint32_t sectionCount);
void DataReaderClose(DataReader* reader);

// Bytes left between the cursor and the end of the data; SIZE_MAX when the reader knows no end.
size_t DataReaderBytesLeft(const DataReader* reader);

// Reading. Each yields 0 while the error flag is set.
int32_t ReadInt(DataReader* reader);
uint32_t ReadWord(DataReader* reader);
uint16_t ReadShort(DataReader* reader);
double ReadFloat(DataReader* reader);
int32_t ReadFixed(DataReader* reader);  // 16.16
int32_t ReadEnum(const DataKeyword* table, DataReader* reader);
// mode 2 with no table: the number is written in binary digits without the '%'.
uint32_t ReadEnumWord(DataReader* reader, const DataKeyword* table, int mode);
uint16_t ReadShortEnum(DataReader* reader, const DataKeyword* table);
uint8_t ReadByteEnum(DataReader* reader, const DataKeyword* table);

std::string ReadToken(DataReader* reader, bool dropBlanks);
std::string ReadString(DataReader* reader);
// The character at the cursor, stepped over unless allowed is a non-empty set without it.
char DataReaderReadChar(DataReader* reader, const char* allowed);
// The row of the section marker at the cursor. A start marker gives its row (depth + 1); the end
// marker of expectedRow (binary form only) gives the row count (depth - 1); no marker sets the
// error flag and gives count - 1, the empty last row.
int32_t DataReaderNextSection(DataReader* reader, int32_t expectedRow);
// Steps forward past the next marker of row 8 (end id in binary form, keyword in text form).
void DataReaderSeekMarker(DataReader* reader);

// Writing. Nothing happens while the error flag is set; a failed write sets it.
void WriteByte(DataReader* writer, uint8_t value);
void WriteShort(DataReader* writer, int32_t value);
void WriteInt(DataReader* writer, int32_t value);
void WriteWord(DataReader* writer, uint32_t value);
void WriteShortHex(DataReader* writer, uint16_t value);
void WriteFixed(DataReader* writer, int32_t value);
void WriteValue(DataReader* writer, int32_t value);
void WriteEnumWord(DataReader* writer, uint32_t value, const DataKeyword* table);
void FileWriteString(DataReader* writer, const char* text);
void DataWriterWriteString(DataReader* writer, const char* text);
void DataWriterWriteText(DataReader* writer, const char* text);
void DataWriterWriteSection(DataReader* writer, uint32_t row, bool start);

// Index of the last '/' or '\' in text, -1 when there is none.
int32_t FindLastPathSeparator(const char* text);
