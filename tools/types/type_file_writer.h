// The renderer's type files, "Materials" and "Animations", written through the engine's data
// writer in either form (text or big-endian binary), and the demo's content for both. Shared by
// mktypes (the demo data), the fuzz seeds and the tests, so all three hold the same files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/material_table.h"

namespace typetool {

// One material record and the texture name of its fixed id ("" for none).
struct MaterialEntry {
  MaterialRecord record;
  std::string name;
};

// One frame of an animation; which fields are written depends on the definition's kind.
struct AnimationFrame {
  uint16_t flags;        // full frames: TATF_ flags
  std::string texture;   // every kind: a texture name or number
  int32_t duration;      // full frames, ms
  int32_t offsetU;       // full frames with TATF_COORDS, 16.16
  int32_t offsetV;
  int32_t tagValues[6];  // tag frames
};

struct AnimationEntry {
  int32_t type;  // TAT_ kind
  uint16_t flags;  // TADF_ flags
  std::string firstTexture;
  std::string lastTexture;
  int32_t startU, startV, endU, endV;  // with TADF_COORDS, 16.16
  int32_t movieStream;                 // TAT_MOVIE
  int32_t movieParams[6];
  std::vector<AnimationFrame> frames;
  int32_t closingDuration;  // the value after the frames
};

// Writes the file at `path` (the engine's file layer; "\" or "/" separators); false when it
// cannot be written whole.
bool WriteMaterialsFile(const std::string& path, bool binary, const std::vector<MaterialEntry>& materials);
bool WriteAnimationsFile(const std::string& path, bool binary, const std::vector<AnimationEntry>& animations);

// The demo's materials: no texture, an opaque hull, a transparent glass, a generated panel and
// an imported picture.
std::vector<MaterialEntry> DemoMaterials();
// The demo's texture animations: one definition of every kind, over the demo's material names
// and numbered texture ranges.
std::vector<AnimationEntry> DemoAnimations();

}  // namespace typetool
