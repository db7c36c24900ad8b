// The body readers' test world.
#include "support/body_fixture.h"

#include <vector>

#include "core/data_reader.h"
#include "render/texture_table.h"
#include "scene/body_names.h"
#include "scene/body_text.h"

namespace {

uint32_t gFatalCode = 0;
std::string gFatalFile;

void RecordFatal(uint32_t code, const char* fileName) {
  gFatalCode = code;
  gFatalFile = fileName ? fileName : "";
}

}  // namespace

BodyFixture::BodyFixture() {
  for (MaterialRecord& m : materials) m.transparency = TRANSP_NONE;
  materials[1].diffuse[0] = 200;
  materials[2].diffuse[1] = 200;
  materials[2].flags = MPF_ALPHABLEND;
  materials[3].diffuse[2] = 200;
  materials[3].value10 = 1;
  gMaterialTable = materials;
  gMaterialCount = 4;
  gTextureFixedCount = 4;
  gTextureAddedCount = 0;
  AllocTextureTable();
  ResetInterfaceTextureIds();
  SetBodyReaderFatal(RecordFatal);
  ClearFatal();
}

BodyFixture::~BodyFixture() {
  SetBodyReaderFatal(nullptr);
  ResetInterfaceTextureIds();
  FreeTextureTables();
  gMaterialTable = nullptr;
  gMaterialCount = 0;
  gTextureFixedCount = 0;
  gTextureAddedCount = 0;
}

uint32_t BodyFixture::fatalCode() { return gFatalCode; }
const std::string& BodyFixture::fatalFile() { return gFatalFile; }
void BodyFixture::ClearFatal() {
  gFatalCode = 0;
  gFatalFile.clear();
}

BodyRecord* BodyFixture::ParseText(int32_t bodyId, const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  DataReader reader;
  DataReaderInit(&reader, buffer.data(), false, text.size());
  return ParseBodyText(bodyId, &reader);
}
