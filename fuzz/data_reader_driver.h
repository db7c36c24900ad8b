// The reading half shared by the two data-reader fuzz targets: the input's first byte seeds the
// order of field reads, the rest is a data file. It is read from a loose file (text form: its last
// byte becomes the terminator) and from an exactly sized buffer with its length, and in text form
// also from a terminated buffer without a length. The cursor must never leave the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data_reader.h"
#include "fuzz_support.h"
#include "scene/scene.h"

namespace fuzz {

inline constexpr DataKeyword kDriverKeywords[] = {
    {"NONE", 0}, {"A", 1}, {"B", 2}, {"C", 4}, {"LONG_NAME", 0x100}, {"", 0},
};

inline void CheckCursor(const DataReader* reader, const uint8_t* start, const uint8_t* end) {
  if (reader->cursor < start || reader->cursor > end) __builtin_trap();
}

// Reads fields in the order the seed picks until the reader fails or 400 reads are done.
inline void DriveReader(DataReader* reader, uint8_t seed, const uint8_t* start, const uint8_t* end) {
  uint32_t state = seed * 2654435761u + 1;
  int32_t rows[64];
  int depth = 0;
  for (int step = 0; step < 400 && !reader->error; ++step) {
    state = state * 214013u + 2531011u;
    const uint32_t op = (state >> 16) % 18;
    switch (op) {
      case 0: ReadInt(reader); break;
      case 1: ReadWord(reader); break;
      case 2: ReadShort(reader); break;
      case 3: ReadFloat(reader); break;
      case 4: ReadFixed(reader); break;
      case 5: ReadEnum(kDriverKeywords, reader); break;
      case 6: {
        static const int kModes[] = {0, 2, 10, 16};
        ReadEnumWord(reader, kDriverKeywords, kModes[(state >> 8) % 4]);
        break;
      }
      case 7: ReadShortEnum(reader, kDriverKeywords); break;
      case 8: ReadByteEnum(reader, kDriverKeywords); break;
      case 9: ReadToken(reader, (state & 0x100) != 0); break;
      case 10: ReadString(reader); break;
      case 11: DataReaderReadChar(reader, (state & 0x100) ? ";:" : ""); break;
      case 12:
      case 13: {
        // A loader asks for the next section, expecting the end of the one it is in.
        const int32_t expected = depth > 0 ? rows[depth - 1] : int32_t(reader->sectionCount);
        const int32_t row = DataReaderNextSection(reader, expected);
        if (row == int32_t(reader->sectionCount)) {
          if (depth > 0) --depth;
        } else if (!reader->error && depth < 64) {
          rows[depth++] = row;
        }
        break;
      }
      case 14: DataReaderSeekMarker(reader); break;
      case 15: ReadEnum(nullptr, reader); break;
      case 16: ReadEnumWord(reader, nullptr, 2); break;
      default: ReadShortEnum(reader, nullptr); break;
    }
    CheckCursor(reader, start, end);
  }
}

inline void RunDataReader(const uint8_t* data, size_t size, bool binary) {
  World();
  if (size < 1) return;
  const uint8_t seed = data[0];
  const uint8_t* body = data + 1;
  const size_t length = size - 1;

  // From a file through the game-file lookup.
  const char* fileName = binary ? "dr/sample.bin" : "dr/sample.txt";
  WriteFile(fileName, body, length);
  DataReader reader;
  DataReaderOpenFile(&reader, "dr\\sample", binary ? "bin" : "txt", kBodySectionTable, kBodySectionCount);
  DataReaderSetBinary(&reader, binary);
  if (reader.base != nullptr) DriveReader(&reader, seed, reader.base, reader.base + reader.size);
  DataReaderClose(&reader);
  RemoveFile(fileName);

  // From a caller's buffer of exactly the data's size.
  uint8_t* copy = static_cast<uint8_t*>(std::malloc(length + 1));
  if (length > 0) std::memcpy(copy, body, length);
  if (length > 0) {
    DataReaderInit(&reader, copy, binary, length);
    DriveReader(&reader, seed, copy, copy + length);
  }
  // A text buffer that ends with its terminator and no stated length.
  if (!binary) {
    copy[length] = 0;
    DataReaderInit(&reader, copy, false, 0);
    DriveReader(&reader, seed, copy, copy + length);
  }
  std::free(copy);
}

}  // namespace fuzz
