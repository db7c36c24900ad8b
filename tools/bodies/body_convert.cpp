// Text bodies to binary bodies through the engine's parser and writer, outside the game: the
// tool supplies the little engine state both need and turns a fatal end of the parser into a
// failed conversion instead of an ended process.
#include "bodies/body_convert.h"

#include <cstdio>
#include <vector>

#include "core/data_reader.h"
#include "core/fixed_math.h"
#include "core/system_block.h"
#include "render/texture_table.h"
#include "scene/body_binary.h"
#include "scene/body_text.h"

namespace bodytool {

namespace {

SystemBlock gToolSystem;
bool gParseFailed = false;

void RecordFatal(uint32_t code, const char* fileName) {
  std::fprintf(stderr, "body %s: failed with code %u\n", fileName ? fileName : "?", static_cast<unsigned>(code));
  gParseFailed = true;
}

}  // namespace

void PrepareBodyConversion() {
  static const bool tablesReady = (InitMathTables(), true);
  (void)tablesReady;
  if (!gTextureTable) {
    // Id 0 means no texture, so named textures start at 1.
    if (gTextureFixedCount < 1) gTextureFixedCount = 1;
    AllocTextureTable();
  }
  if (!gSystem) {
    gToolSystem.product = &kProductRecord;
    gSystem = &gToolSystem;
  }
}

bool ConvertTextBody(int32_t id, const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  DataReader reader;
  DataReaderInit(&reader, buffer.data(), false, text.size());
  gParseFailed = false;
  SetBodyReaderFatal(RecordFatal);
  BodyRecord* body = ParseBodyText(id, &reader);
  SetBodyReaderFatal(nullptr);
  const bool written = body && !gParseFailed && WriteBodyBinary(body) != 0;
  FreeBody(body);
  return written;
}

std::string BinaryBodyPath(int32_t id) {
  char name[32];
  std::snprintf(name, sizeof name, "vc/%05d.bob", static_cast<int>(id));
  return name;
}

}  // namespace bodytool
