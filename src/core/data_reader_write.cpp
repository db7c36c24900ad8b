// The data writer: the same fields and section markers as the reader, written in either form into
// a new file. Called by the body converter and the type-file writer. Text fields are formatted into
// fixed buffers sized for the widest value they can hold; a failed write sets the sticky error
// flag, after which nothing more is written.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/data_reader.h"
#include "core/file_object.h"

// The component kinds that WriteValue names in text form.
static const DataKeyword kComponentKindNames[] = {
    {"SCTYPE_LASER", 0},
    {"SCTYPE_COCKPIT", 1},
    {"SCTYPE_DOCKING", 2},
    {"", 0},
};

void DataWriterOpen(DataReader* writer, const char* name, bool binary, const DataSectionRow* sections,
                    uint32_t sectionCount) {
  writer->file = FileOpenNew(name, "wb", false);
  writer->base = nullptr;
  writer->cursor = nullptr;
  writer->size = 0;
  writer->textSize = 0;
  writer->sections = sections;
  writer->sectionCount = sectionCount;
  writer->binary = binary ? 1 : 0;
  writer->compact = 0;
  writer->depth = 0;
  writer->error = writer->file == nullptr;
  writer->limit = nullptr;
}

static void WriteBytes(DataReader* writer, const void* bytes, size_t length) {
  if (writer->error) return;
  if (length == 0) return;
  if (FileWrite(writer->file, bytes, 1, length) != length) writer->error = 1;
}

static void WriteBE16(DataReader* writer, uint16_t value) {
  if (writer->error) return;
  if (!FileWriteInt16BE(writer->file, value)) writer->error = 1;
}

static void WriteBE32(DataReader* writer, uint32_t value) {
  if (writer->error) return;
  if (!FileWriteInt32BE(writer->file, value)) writer->error = 1;
}

void FileWriteString(DataReader* writer, const char* text) {
  if (writer->error) return;
  WriteBytes(writer, text, std::strlen(text));
  WriteBytes(writer, writer->compact ? ";" : "; ", writer->compact ? 1 : 2);
}

// "0x" and the value in upper-case hexadecimal with the given number of digits; the format is
// assembled from the digit count.
static void WriteHexField(DataReader* writer, uint32_t value, int digits) {
  char format[16];
  std::snprintf(format, sizeof(format), "0x%%0%dX", digits);
  char text[32];
  std::snprintf(text, sizeof(text), format, value);
  FileWriteString(writer, text);
}

static void WriteDecimalField(DataReader* writer, long long value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%lld", value);
  FileWriteString(writer, text);
}

void WriteByte(DataReader* writer, uint8_t value) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBytes(writer, &value, 1);
  } else {
    WriteDecimalField(writer, value);
  }
}

void WriteShort(DataReader* writer, int32_t value) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBE16(writer, static_cast<uint16_t>(value));
  } else {
    WriteDecimalField(writer, value);
  }
}

void WriteInt(DataReader* writer, int32_t value) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBE32(writer, static_cast<uint32_t>(value));
  } else {
    WriteDecimalField(writer, value);
  }
}

void WriteWord(DataReader* writer, uint32_t value) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBE32(writer, value);
  } else {
    // "%d" of the word: large values read back through the same 32 bits.
    WriteDecimalField(writer, static_cast<int32_t>(value));
  }
}

void WriteShortHex(DataReader* writer, uint16_t value) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBE16(writer, value);
  } else {
    WriteHexField(writer, value, 4);
  }
}

// What the text reader makes of a fixed value written as text.
static int32_t ReadBackFixed(char* text) {
  DataReader reader;
  DataReaderInit(&reader, text, false, std::strlen(text));
  return ReadFixed(&reader);
}

void WriteFixed(DataReader* writer, int32_t value) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBE32(writer, static_cast<uint32_t>(value));
    return;
  }
  char text[64];
  std::snprintf(text, sizeof(text), "%f", value / 65536.0);
  // The reader truncates, so a value that six decimals round down would come back one unit
  // smaller. Such a value goes out as the middle of its unit instead, which reads back whole.
  if (ReadBackFixed(text) != value) {
    const double middle = value < 0 ? value - 0.5 : value + 0.5;
    std::snprintf(text, sizeof(text), "%f", middle / 65536.0);
  }
  FileWriteString(writer, text);
}

void WriteValue(DataReader* writer, int32_t value) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBE32(writer, static_cast<uint32_t>(value));
    return;
  }
  for (const DataKeyword* pair = kComponentKindNames; pair->name[0] != 0; pair++) {
    if (pair->value == value) {
      FileWriteString(writer, pair->name);
      return;
    }
  }
  WriteDecimalField(writer, value);
}

void WriteEnumWord(DataReader* writer, uint32_t value, const DataKeyword* table) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBE32(writer, value);
    return;
  }
  std::string names;
  uint32_t remaining = value;
  if (table) {
    for (const DataKeyword* pair = table; pair->name && pair->name[0] != 0; pair++) {
      const uint32_t bits = static_cast<uint32_t>(pair->value);
      if (bits == 0) {
        // A name for no bits at all stands only for the value 0.
        if (value == 0) {
          names = pair->name;
          break;
        }
        continue;
      }
      if ((remaining & bits) == bits) {
        if (!names.empty()) names += "|";
        names += pair->name;
        remaining &= ~bits;
        if (remaining == 0) break;
      }
    }
  }
  // Bits no name covers, or nothing named at all, go out as the whole value in hexadecimal.
  if (remaining != 0 || names.empty()) {
    WriteHexField(writer, value, 8);
  } else {
    FileWriteString(writer, names.c_str());
  }
}

void DataWriterWriteString(DataReader* writer, const char* text) {
  if (writer->error) return;
  if (writer->binary) {
    WriteBytes(writer, text, std::strlen(text) + 1);
  } else {
    FileWriteString(writer, text);
  }
}

void DataWriterWriteText(DataReader* writer, const char* text) {
  if (writer->error || writer->binary) return;
  WriteBytes(writer, text, std::strlen(text));
}

void DataWriterWriteSection(DataReader* writer, uint32_t row, bool start) {
  if (writer->error) return;
  const uint32_t count = writer->sectionCount;
  if (!writer->sections || count == 0 || row > count) {
    writer->error = 1;
    return;
  }
  const uint32_t last = count - 1;
  if (writer->binary) {
    if (row >= last) {
      writer->error = 1;
      return;
    }
    const char* marker = start ? writer->sections[row].id : writer->sections[row].endId;
    if (!marker || std::strlen(marker) != 4) {
      writer->error = 1;
      return;
    }
    WriteBytes(writer, marker, 4);
  } else {
    if (start && row >= last) {
      writer->error = 1;
      return;
    }
    if (start && row != 1) {
      const char* keyword = writer->sections[row].keyword ? writer->sections[row].keyword : "";
      WriteBytes(writer, "\r\n", 2);
      WriteBytes(writer, keyword, std::strlen(keyword));
      WriteBytes(writer, " ", 1);
    } else if (!start) {
      WriteBytes(writer, "\r\n", 2);
    }
  }
  if (writer->error || row >= last) return;
  writer->depth += start ? 1 : -1;
}
