// Writes a type file's field list through the data writer (see type_file_writer.h).
#include "engine_types/type_file_writer.h"

#include <fstream>
#include <sstream>

namespace typetool {

bool WriteTypeFile(const std::string& path, const Fields& fields, bool binary, const DataSectionRow* sections,
                   uint32_t sectionCount) {
  DataReader w;
  DataWriterOpen(&w, path.c_str(), binary, sections, sectionCount);
  for (const Field& f : fields) {
    switch (f.kind) {
      case Field::kInt: WriteInt(&w, f.value); break;
      case Field::kFixed: WriteFixed(&w, f.value); break;
      case Field::kShort: WriteShort(&w, f.value); break;
      case Field::kString: DataWriterWriteString(&w, f.text.c_str()); break;
      case Field::kKeyword:
        if (binary) WriteInt(&w, f.value);
        else DataWriterWriteString(&w, f.text.c_str());
        break;
      case Field::kFlags: WriteEnumWord(&w, static_cast<uint32_t>(f.value), f.table); break;
      case Field::kTag: DataWriterWriteSection(&w, static_cast<uint32_t>(f.value), true); break;
    }
  }
  const bool ok = !w.error;
  DataReaderClose(&w);
  return ok && !w.error;
}

std::string TypeFileBytes(const std::string& path, const Fields& fields, bool binary, const DataSectionRow* sections,
                          uint32_t sectionCount) {
  if (!WriteTypeFile(path, fields, binary, sections, sectionCount)) return {};
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace typetool
