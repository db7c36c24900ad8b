// The type-file opener (see type_files.h). It never reads a field itself.
#include "core/type_files.h"

#include <cstring>
#include <string>

#include "core/catalog.h"
#include "core/data_reader.h"
#include "core/file_object.h"
#include "core/memory.h"

// Packed type files are the binary form; the list prefers them.
constexpr const char* kTypeFileTypes = "pck txt";
constexpr const char* kPackedType = "pck";
constexpr const char* kTypeFolder = "types\\";

DataReader* OpenTypeFile(const char* name, const DataSectionRow* fieldTable, uint32_t fieldCount) {
  if (!name) return nullptr;
  const std::string path = std::string(kTypeFolder) + name;
  // The form follows the type the lookup chooses, which the reader's own open does not report.
  FileObject probe;
  FileObjectInit(&probe);
  const bool found = FindGameFile(&probe, path.c_str(), kTypeFileTypes, false);
  const bool binary = found && probe.type && std::strcmp(probe.type, kPackedType) == 0;
  FileClose(&probe);
  if (!found) return nullptr;

  auto* reader = static_cast<DataReader*>(MemAlloc(sizeof(DataReader), 0));
  if (!reader) return nullptr;
  DataReaderOpenFile(reader, path.c_str(), kTypeFileTypes, fieldTable, fieldCount);
  if (reader->error) {
    DataReaderClose(reader);
    MemFree(reader, sizeof(DataReader), 0);
    return nullptr;
  }
  // In text form the last byte becomes the terminator; a binary file keeps every byte it has.
  DataReaderSetBinary(reader, binary);
  return reader;
}
