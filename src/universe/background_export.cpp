// The "TBackgrounds" export (see background_export.h). Fields go out in the order the type-file
// loader reads a background line, through the data writer's text form, so the written file loads
// like any edited one. Version 25 carries no tail values 8 and 9: a reload gives them 0.
#include "universe/background_export.h"

#include <cstdio>
#include <string>

#include "core/data_reader.h"
#include "core/file_object.h"
#include "core/system_block.h"
#include "scene/body_names.h"
#include "universe/object_classes.h"

namespace {

constexpr int32_t kBackgroundFileVersion = 25;
constexpr int kWrittenTailValues = 7;
constexpr const char* kLineEnd = "\r\n";

// The body's file name as the loader looks it up again; an id whose row has no name (or no row,
// such as -1 for none) is written as its number, which the lookup gives back unchanged.
void WriteBodyName(DataReader* writer, int32_t bodyId) {
  std::string name;
  B3D_GetBodyFilename(&name, bodyId, 0);
  if (name.empty()) name = std::to_string(bodyId);
  DataWriterWriteString(writer, name.c_str());
}

void WriteBackgroundLine(DataReader* writer, const ObjectTypeRecord& row) {
  const BackgroundType& bg = row.background;
  WriteBodyName(writer, row.bodyId);
  WriteBodyName(writer, row.altBodyId);
  for (int32_t rate : row.turnRate) WriteFixed(writer, rate);
  WriteInt(writer, row.group);
  WriteInt(writer, row.nameTextId);
  DataWriterWriteString(writer, bg.nebulaName ? bg.nebulaName : "");
  WriteInt(writer, bg.starsCount);
  WriteInt(writer, bg.backdropCount);
  WriteInt(writer, bg.outsideCount);
  for (int32_t v : bg.values8) WriteInt(writer, v);
  for (int32_t v : bg.values7) WriteInt(writer, v);
  for (int32_t v : bg.values4) WriteInt(writer, v);
  for (int k = 0; k < kWrittenTailValues; ++k) WriteInt(writer, row.tailValue[k]);
  DataWriterWriteString(writer, row.typeId ? row.typeId : "");
  DataWriterWriteText(writer, kLineEnd);
}

}  // namespace

bool WriteBackgrounds() {
  if (!gSystem || !gSystem->product || !gSystem->product->typeTextTemplate) return false;
  char path[256];
  const int length = std::snprintf(path, sizeof path, gSystem->product->typeTextTemplate, "TBackgrounds");
  if (length < 0 || size_t(length) >= sizeof path) return false;
  const std::string temporary = std::string(path) + ".tmp";

  const ObjectTypeTable& table = gObjectTypeTables[kClassBackground];
  const int32_t count = table.rows ? table.count : 0;
  DataReader writer;
  DataWriterOpen(&writer, temporary.c_str(), false, nullptr, 0);
  if (writer.error) return false;
  WriteInt(&writer, kBackgroundFileVersion);
  WriteInt(&writer, count);
  DataWriterWriteText(&writer, kLineEnd);
  // The writer's error flag is sticky: after a failed write every later one does nothing.
  for (int32_t s = 0; s < count; ++s) WriteBackgroundLine(&writer, table.rows[s]);
  DataReaderClose(&writer);
  if (writer.error || !FileRename(temporary.c_str(), path, false)) {
    FileRemove(temporary.c_str(), false);
    return false;
  }
  return true;
}
