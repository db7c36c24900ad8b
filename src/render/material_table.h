// The renderer's material table and the texture flag words. Least form until they are built
// (material_table_stub.cpp): the record, the global table and the texture flag setter.
#pragma once

#include <cstdint>

struct MaterialRecord {
  uint8_t value0, value1, value2;
  uint8_t specular[3], ambient[3], diffuse[3];
  uint16_t textureNumber;  // 0 = no image
  uint8_t transparency;    // 255 opaque
  uint32_t flags;          // MPF_ flags
  int16_t width, height;
  int16_t values345[3];
  int16_t shininess;
  int16_t value6, value7, value8, value9, value10, value11;
  int32_t drawCounts[4];
};

extern MaterialRecord* gMaterialTable;
extern int16_t gMaterialCount;

// The texture's flag word; 0 for an unknown id.
uint32_t TextureGetFlags(int32_t id);
// Stores the flags (nothing for flags 0 or an unknown id); returns the stored word.
uint32_t SetTextureFlags(int32_t id, uint32_t flags);
