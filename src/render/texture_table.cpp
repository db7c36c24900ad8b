// The texture handle table: names, flag words, images and reference counts of every texture id,
// with the on-demand loader that picks a pixel format, load flags and a file path for an id, and
// the "-generaterdf" tool that describes the numbered textures for an offline bundler. Called by
// the material reader, the scene engine's bodies, the draw code, the frame start and the
// low-memory hook. It never frees an image a holder counts or one marked resident.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "core/file_object.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/system_block.h"
#include "platform/gpu.h"
#include "render/material_table.h"
#include "render/effect_textures.h"
#include "render/pixel_formats.h"
#include "render/render.h"
#include "render/render_logo.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"

TextureEntry* gTextureTable = nullptr;
int16_t gTextureFixedCount = 0;
int16_t gTextureAddedCount = 0;

namespace {

constexpr uint32_t kTexturesEnabled = 0x100;
constexpr uint32_t kAlwaysOpaqueFormat = 0x1000000;
constexpr uint32_t kBuildMipmaps = 0x2000000;
constexpr uint32_t kLoadPlain = 0x402C;
constexpr uint32_t kLoadFiltered = 0x4000402C;
constexpr uint32_t kLoadFilteredBit = 0x40000000;
constexpr uint32_t kLoadMipmaps = 0x8000;
constexpr uint32_t kLoadHal = 0x4000000;
constexpr uint32_t kLoadTextureAlpha = 0x20000000;
constexpr uint32_t kLoadDepth16 = 0x100100;
constexpr uint32_t kLoadDepth24 = 0x80200;
constexpr uint32_t kLoadDepth32 = 0x82000;
constexpr uint32_t kUnfilteredFlags = MPF_NOFILTERING | MPF_READABLE | MPF_WRITEABLE;
constexpr int32_t kLargeTextureOffset = 10000;
constexpr const char* kDefaultNumberedPattern = "tex\\%s";
constexpr const char* kDefaultNamedPattern = "textures\\%s";
constexpr const char* kDefaultBundleFolder = "rdf";
constexpr const char* kPlainWrite = "wbT";  // the file layer's uncompressed writing

ImportPictureSource gImportPicture = nullptr;
std::string gBundleFolder = kDefaultBundleFolder;

int32_t IdLimit() { return gTextureTable ? gTextureFixedCount + gTextureAddedCount : 0; }
bool ValidId(int32_t id) { return id >= 0 && id < IdLimit(); }

size_t CapacityBytes(int32_t added) {
  const int32_t entries = (added / kTextureGrowStep + 1) * kTextureGrowStep + gTextureFixedCount;
  return sizeof(TextureEntry) * static_cast<size_t>(entries);
}

bool SameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

bool IsNoTextureName(const char* name) {
  for (const char* none : {"", "0", "NULL", "Null", "null"}) {
    if (std::strcmp(name, none) == 0) return true;
  }
  return false;
}

std::string Format(const char* pattern, const std::string& text) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, pattern, text.c_str());
  return buffer;
}

const MaterialRecord* MaterialOf(int32_t id) {
  return gMaterialTable && id >= 0 && id < gMaterialCount ? &gMaterialTable[id] : nullptr;
}

bool FontScaled(uint32_t flags) { return gSystem && gSystem->fontScale > 1 && (flags & MPF_FONTSCALE); }

const PixelFormatDesc* ChooseFormat(int32_t id) {
  const MaterialRecord* m = MaterialOf(id);
  const bool transparent = m && m->transparency < TRANSP_NONE && !(gSystem->d3dFlags & kAlwaysOpaqueFormat);
  const PixelFormatDesc* desc = transparent ? FindPixelFormatDesc(gTransparentFormatKey + 1) : nullptr;
  // Both device formats the same leaves no transparent descriptor: the opaque one serves.
  if (!desc) desc = FindPixelFormatDesc(gOpaqueFormatKey + 1);
  return desc;
}

// A numbered texture's file, "true\<base>" through the numbered-texture pattern.
std::string NumberedTexturePath(const std::string& base) {
  const ProductRecord* product = gSystem ? gSystem->product : nullptr;
  return Format(product && product->texTemplate ? product->texTemplate : kDefaultNumberedPattern, "true\\" + base);
}

std::string TexturePath(int32_t id, uint32_t flags) {
  const TextureEntry& e = gTextureTable[id];
  const int32_t n = FontScaled(flags) ? id + kLargeTextureOffset : id;
  const ProductRecord* product = gSystem ? gSystem->product : nullptr;
  if (e.name) {
    const std::string base = n < kLargeTextureOffset ? std::string(e.name) : std::string(e.name) + "_l";
    if (flags & kTextureFullPath) return base;
    return Format(product && product->texturesTemplate ? product->texturesTemplate : kDefaultNamedPattern, base);
  }
  return NumberedTexturePath(std::to_string(n));
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

bool WriteText(FileObject* file, const std::string& text) {
  return FileWriteBytes(file, text.data(), text.size()) == text.size();
}

// The bundler's format for a material's flags: uncompressed linear layouts for textures the CPU
// touches, compressed ones otherwise.
const char* BundleFormat(uint32_t flags) {
  const bool alpha = flags & MPF_TEXTUREALPHA;
  if (flags & (MPF_READABLE | MPF_WRITEABLE)) {
    return alpha ? "Format D3DFMT_LIN_A8R8G8B8 Levels 1 " : "Format D3DFMT_LIN_X8R8G8B8 Levels 1 ";
  }
  if (flags & MPF_NOCOMPRESS) return alpha ? "Format D3DFMT_A8R8G8B8 Levels 0 " : "Format D3DFMT_X8R8G8B8 Levels 0 ";
  if (alpha && !(flags & MPF_ALPHATEST)) return "Format D3DFMT_DXT5 Levels 0 ";
  return "Format D3DFMT_DXT1 Levels 0 ";
}

// One numbered texture's own description; false when it cannot be written (it is then skipped).
bool WriteTextureDescription(int32_t index, const MaterialRecord& m) {
  const char* out = gBundleFolder.c_str();
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, Printf("%s\\tex\\%d.rdf", out, index).c_str(), kPlainWrite, false)) return false;
  std::string source = NumberedTexturePath(std::to_string(m.textureNumber) + ".tga");
  if (FileGetSize(source.c_str(), false) < 1) source = NumberedTexturePath(std::to_string(m.textureNumber) + ".jpg");
  std::string text = Printf("out_header %s\\tex\\tex%d.h\nout_packedresource %s\\true\\%d.xpr\nout_error %s\\tex\\%d.err\n",
                            out, index, out, index, out, index);
  text += Printf("Texture tex%d { Source %s ", m.textureNumber, source.c_str());
  text += BundleFormat(m.flags);
  if (m.width != 0) text += Printf("Width %d Height %d ", m.width, m.height);
  text += "}\n";
  const bool written = WriteText(&file, text);
  return FileCloseHandle(&file) && written;
}

}  // namespace

int32_t TextureTableCapacity() {
  return static_cast<int32_t>(CapacityBytes(gTextureAddedCount) / sizeof(TextureEntry));
}

bool AllocTextureTable() {
  const size_t bytes = CapacityBytes(gTextureAddedCount);
  void* table = MemAlloc(bytes, 0);
  if (!table) {
    CallLowMemoryHandler();
    table = MemAlloc(bytes, 0);
  }
  if (table) std::memset(table, 0, bytes);
  gTextureTable = static_cast<TextureEntry*>(table);
  return table == nullptr;
}

void FreeTextureTables() {
  FreeTextureAnimations();
  if (!gTextureTable) return;
  for (int32_t i = 0; i < IdLimit(); ++i) gTextureTable[i].name = FreeString(gTextureTable[i].name);
  MemFree(gTextureTable, CapacityBytes(gTextureAddedCount), 0);
  gTextureTable = nullptr;
}

int16_t FindTextureByName(const char* name, int32_t pathMark) {
  if (!name || IsNoTextureName(name)) return 0;
  const size_t length = std::strlen(name);
  if (length > 4 && std::strrchr(name, '.') == name + length - 4) {
    return FindTextureByName(std::string(name, length - 4).c_str(), pathMark);
  }
  if (std::isdigit(static_cast<unsigned char>(name[0])) || name[0] == '-') {
    long value = 0;
    if (std::sscanf(name, "%ld", &value) == 1) {
      // A number the 16-bit id cannot hold would alias another texture.
      return value < INT16_MIN || value > INT16_MAX ? 0 : static_cast<int16_t>(value);
    }
  }
  if (!gTextureTable) return -1;
  for (int32_t id = 0; id < IdLimit(); ++id) {
    if (gTextureTable[id].name && SameName(gTextureTable[id].name, name)) return static_cast<int16_t>(id);
  }
  if (IdLimit() >= INT16_MAX) return -1;
  const int32_t added = gTextureAddedCount + 1;
  if (added % kTextureGrowStep == 0) {
    void* grown = MemRealloc(gTextureTable, CapacityBytes(gTextureAddedCount), CapacityBytes(added), 0);
    if (!grown) return -1;
    gTextureTable = static_cast<TextureEntry*>(grown);
    std::memset(gTextureTable + TextureTableCapacity(), 0, CapacityBytes(added) - CapacityBytes(gTextureAddedCount));
  }
  gTextureAddedCount = static_cast<int16_t>(added);
  const int32_t id = gTextureFixedCount + added - 1;
  SetTextureName(id, name);
  if (pathMark) SetTextureFlags(id, TextureGetFlags(id) | kTexturePathMarkFlags);
  return static_cast<int16_t>(id);
}

void SetTextureName(int32_t id, const char* name) {
  if (!ValidId(id)) return;
  TextureEntry& e = gTextureTable[id];
  if (!name || !*name) {
    e.name = FreeString(e.name);
  } else {
    e.name = ReplaceString(e.name, name);
  }
  e.image = nullptr;
  e.refCount = 0;
}

const char* TextureNameOf(int32_t id) {
  static std::string number;
  if (id <= 0 || !ValidId(id)) return "";
  const TextureEntry& e = gTextureTable[id];
  if (e.name) return e.name;
  if (id >= gTextureFixedCount) return "";
  number = std::to_string(id);
  return number.c_str();
}

uint32_t TextureGetFlags(int32_t id) { return ValidId(id) ? gTextureTable[id].flags : 0; }

uint32_t SetTextureFlags(int32_t id, uint32_t flags) {
  if (flags == 0 || !ValidId(id)) return 0;
  const MaterialRecord* m = MaterialOf(id);
  const uint32_t word = m ? (m->flags & kMaterialKeptTextureFlags) | flags : flags;
  gTextureTable[id].flags = word;
  return word;
}

int32_t TextureAddRef(int32_t id) { return ValidId(id) ? ++gTextureTable[id].refCount : 0; }
int32_t TextureRelease(int32_t id) { return ValidId(id) ? --gTextureTable[id].refCount : 0; }

bool EnsureTextureLoaded(int32_t id) {
  if (!gSystem || !(gSystem->d3dFlags & kTexturesEnabled) || !ValidId(id)) return false;
  TextureEntry& e = gTextureTable[id];
  if (e.image) return true;
  const PixelFormatDesc* desc = ChooseFormat(id);
  if (!desc) return false;
  int32_t bits = 0;
  if (desc->kind & kFormatKind8Bit) {
    bits = 8;
  } else if (desc->kind & kFormatKind4Bit) {
    bits = 4;
  } else if (desc->kind & kFormatKindBits) {
    bits = static_cast<int32_t>(desc->bitsPerPixel);
  }
  uint32_t load = kLoadPlain;
  if (!(e.flags & kUnfilteredFlags)) {
    load = kLoadFiltered;
    if (gSystem->d3dFlags & kBuildMipmaps) load |= kLoadMipmaps;
  }
  if (e.flags & MPF_BESTQUALITY) load &= ~kLoadFilteredBit;
  if (DeviceIsHal()) load |= kLoadHal;
  if (e.flags & MPF_GENERATED) {
    const MaterialRecord* m = MaterialOf(id);
    int32_t width = m ? m->width : 0;
    int32_t height = m ? m->height : 0;
    if (FontScaled(e.flags)) width *= gSystem->fontScale, height *= gSystem->fontScale;
    if (e.flags & MPF_TEXTUREALPHA) load |= kLoadTextureAlpha;
    e.image = CreateImageHandle(bits, width, height, load);
    // Reported loaded only when the image exists, so a failed creation is retried on next use.
    return e.image != nullptr;
  }
  if (!(desc->kind & kFormatKindBits)) return false;
  std::string path;
  if (e.flags & MPF_IMPORTPICTURE) {
    const char* picture = gImportPicture ? gImportPicture() : nullptr;
    // No picture chosen: there is nothing to load.
    if (!picture || !*picture) return false;
    path = picture;
  } else {
    path = TexturePath(id, e.flags);
  }
  load |= bits <= 16 ? kLoadDepth16 : bits <= 24 ? kLoadDepth24 : kLoadDepth32;
  e.image = LoadImageFile(path.c_str(), load, 0, 0);
  return e.image != nullptr;
}

bool IsTextureReady(int32_t id) {
  if (!HasPixelFormatTable()) return false;
  if (id < 0) return true;
  const MaterialRecord* m = MaterialOf(id);
  if (m && m->textureNumber == 0) return false;
  if (id >= IdLimit()) return true;
  return EnsureTextureLoaded(id);
}

DisplaySurface* GetTextureHandle(int32_t id) {
  if (!ValidId(id)) return nullptr;
  const MaterialRecord* m = MaterialOf(id);
  if (m && m->textureNumber == 0) return nullptr;
  if (!gTextureTable[id].image) EnsureTextureLoaded(id);
  return gTextureTable[id].image;
}

DisplaySurface* TextureGetLoaded(int32_t id) {
  if (!ValidId(id)) return nullptr;
  if (!gTextureTable[id].image) IsTextureReady(id);
  return gTextureTable[id].image;
}

int32_t TextureGetWidth(int32_t id) {
  const DisplaySurface* image = TextureGetLoaded(id);
  return image ? image->width : 0;
}

int32_t TextureGetHeight(int32_t id) {
  const DisplaySurface* image = TextureGetLoaded(id);
  return image ? image->height : 0;
}

void FreeUnusedTextures() {
  if (!gTextureTable) return;
  EffectTexturesUnbindAll();
  for (int32_t id = 0; id < IdLimit(); ++id) {
    TextureEntry& e = gTextureTable[id];
    if (e.image && e.refCount == 0 && !(e.flags & kTextureResident)) ReleaseImageHandle(&e.image);
  }
}

void ReleaseAllTextures() {
  if (!gTextureTable || !gDirect3D) return;
  EffectTexturesUnbindAll();
  for (int32_t id = 0; id < IdLimit(); ++id) {
    TextureEntry& e = gTextureTable[id];
    if (e.image) ReleaseImageHandle(&e.image);
    e.refCount = 0;
  }
}

void TexturesUnlockAll() {
  for (int32_t id = 0; id < IdLimit(); ++id) {
    DisplaySurface* image = gTextureTable[id].image;
    if (!image || (!(image->flags & kSurfaceLocked) && !image->pixels)) continue;
    if (!image->deviceSurface || (image->flags & kSurfaceOwnPixels)) continue;
    if (GpuFailed(image->deviceSurface->UnlockRect())) continue;
    image->flags &= ~kSurfaceLocked;
    image->pixels = nullptr;
  }
}

void SetImportPictureSource(ImportPictureSource source) { gImportPicture = source; }

void SetTextureBundleFolder(const char* folder) {
  gBundleFolder = folder && *folder ? folder : kDefaultBundleFolder;
}

void WriteTextureBundleRdf() {
  if (!gSystem || !(gSystem->modeFlags & kModeGenerateRdf)) return;
  const char* out = gBundleFolder.c_str();
  MakeDirectory(out, 0);
  MakeDirectory(Printf("%s\\tex", out).c_str(), 0);
  FileObject description;
  FileObject batch;
  FileObjectInit(&description);
  FileObjectInit(&batch);
  if (!FileOpen(&description, Printf("%s\\tex\\tex.rdf", out).c_str(), kPlainWrite, false)) return;
  if (!FileOpen(&batch, Printf("%s\\makexpr.bat", out).c_str(), kPlainWrite, false)) {
    FileCloseHandle(&description);
    return;
  }
  const std::time_t now = std::time(nullptr);
  char stamp[64] = "";
  ctime_r(&now, stamp);
  WriteText(&batch,
            Printf("REM *** This file autogenerated by Wilo Debug Version with option -generaterdf\nREM *** Time generated: %s",
                   stamp));
  WriteText(&description,
            Printf("// RDF file for generating the permanent texture pool\n// Time generated: %s", stamp));
  WriteText(&description, Printf("out_header %s\\tex\\tex.h\nout_packedresource %s\\true\\tex.xpr\nout_error %s\\tex\\tex.err\n",
                                 out, out, out));
  for (int32_t i = 0; gMaterialTable && i < gMaterialCount; ++i) {
    const MaterialRecord& m = gMaterialTable[i];
    if (m.textureNumber == 0 || (m.flags & MPF_GENERATED)) continue;
    if (!WriteTextureDescription(i, m)) continue;
    WriteText(&batch, Printf("%s\\bundler %s\\tex\\%d.rdf\n", out, out, i));
  }
  WriteText(&batch, Printf("%s\\bundler %s\\tex\\tex.rdf\n", out, out));
  FileCloseHandle(&batch);
  FileCloseHandle(&description);
}
