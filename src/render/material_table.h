// The renderer's material table: one record per fixed texture id, read from the "Materials" type
// file at start-up, and the matcher that finds the record closest to a text body's colours.
// Used by the texture table, the scene engine's bodies and the draw code.
#pragma once

#include <cstdint>

#include "render/texture_table.h"

struct DataReader;
struct DataKeyword;

// Material and texture flag words.
constexpr uint32_t MPF_NULL = 0x0;
constexpr uint32_t MPF_ALPHATEST = 0x1;
constexpr uint32_t MPF_DESTINATIONBLEND = 0x2;
constexpr uint32_t MPF_ALPHABLEND = 0x4;
constexpr uint32_t MPF_WIREFRAME = 0x8;
constexpr uint32_t MPF_2SIDED = 0x10;
constexpr uint32_t MPF_TEXTURE_NOTSWAPABLE = 0x20;
constexpr uint32_t MPF_MULTIPLY2X = 0x40;
constexpr uint32_t MPF_MULTIPLY = 0x80;
constexpr uint32_t MPF_NOFILTERING = 0x100;
constexpr uint32_t MPF_SRCCOLOR = 0x400;
constexpr uint32_t MPF_ENVMAP = 0x1000;
constexpr uint32_t MPF_BUMPMAP = 0x2000;
constexpr uint32_t MPF_LIGHTMAP = 0x4000;
constexpr uint32_t MPF_BESTQUALITY = 0x8000;
constexpr uint32_t MPF_FONTSCALE = 0x10000;
constexpr uint32_t MPF_READABLE = 0x20000;
constexpr uint32_t MPF_WRITEABLE = 0x40000;
constexpr uint32_t MPF_AUTOFREE = 0x80000;
constexpr uint32_t MPF_RADIOSITY = 0x100000;
constexpr uint32_t MPF_TEXTUREALPHA = 0x200000;
constexpr uint32_t MPF_IMPORTPICTURE = 0x400000;
constexpr uint32_t MPF_GENERATED = 0x800000;
constexpr uint32_t MPF_NOCOMPRESS = 0x1000000;  // kept uncompressed in texture bundles
constexpr uint32_t MPF_USEFXSHADER = 0x2000000;
constexpr uint32_t MPF_HAZE = 0x4000000;

constexpr uint8_t TRANSP_NONE = 255;

// The "MPF_" flag names of the text form, for every reader of material flag words.
extern const DataKeyword* const kMaterialFlagNames;

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

// A text body's material as the matcher reads it (16-bit values, colours 0..255).
struct BodyColourMaterial {
  uint16_t textureNumber;
  uint16_t ambient[3];
  uint16_t diffuse[3];
  uint16_t specular[3];
  uint16_t transparency;  // percent, 0 opaque
  uint16_t flags;
};

// Reads the "Materials" type file and builds both tables; nothing without the file.
void ReadMaterials();
// The same over an open reader (the count, then the records); the caller closes it.
void ReadMaterialSection(DataReader* reader);
// The record closest to the body material; sets its transparency bit (4) on the way.
int16_t FindClosestMaterial(BodyColourMaterial* material);
void FreeMaterialTable();
int32_t ColorDistance(const uint8_t a[3], const uint8_t b[3]);
