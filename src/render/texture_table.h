// The texture handle table: every texture id's name, flag word, loaded image and reference count.
// Fixed ids 1..F-1 follow the material records; added ids F.. are registered by name at run time.
// Used by the material table, the scene engine's bodies and the draw code.
#pragma once

#include <cstdint>

struct DisplaySurface;

// Texture flag bits beyond the material flags.
constexpr uint32_t kTextureFullPath = 0x10000000;  // the name is a full path, used unchanged
constexpr uint32_t kTextureResident = 0x20000000;  // never released when memory runs short
constexpr uint32_t kTexturePathMarkFlags = 0x10008000;  // full path and best quality
// Material flags a texture keeps whatever flags it is given later.
constexpr uint32_t kMaterialKeptTextureFlags = 0xA70118;
// Added entries grow in steps of this many.
constexpr int32_t kTextureGrowStep = 1000;

struct TextureEntry {
  char* name;    // owned, counted; null when the entry has none
  uint32_t flags;
  DisplaySurface* image;  // null until first use
  int32_t refCount;
};

extern TextureEntry* gTextureTable;
extern int16_t gTextureFixedCount;  // F, the number of material records
extern int16_t gTextureAddedCount;  // A

// Entries the array holds for the current counts.
int32_t TextureTableCapacity();
// Allocates the zero-filled array; true when the allocation failed (after one low-memory retry).
bool AllocTextureTable();
// Frees the names and the array and clears the pointer; the counts stay.
void FreeTextureTables();

// 0 for no texture, -1 when the table could not grow.
int16_t FindTextureByName(const char* name, int32_t pathMark);
void SetTextureName(int32_t id, const char* name);
const char* TextureNameOf(int32_t id);

// The texture's flag word; 0 for an unknown id.
uint32_t TextureGetFlags(int32_t id);
// Stores the flags (nothing for flags 0 or an unknown id); returns the stored word.
uint32_t SetTextureFlags(int32_t id, uint32_t flags);

int32_t TextureAddRef(int32_t id);
int32_t TextureRelease(int32_t id);

bool EnsureTextureLoaded(int32_t id);
bool IsTextureReady(int32_t id);
DisplaySurface* GetTextureHandle(int32_t id);
DisplaySurface* TextureGetLoaded(int32_t id);
int32_t TextureGetWidth(int32_t id);
int32_t TextureGetHeight(int32_t id);

// Drops every image no holder counts and that is not resident (the low-memory hook's step).
void FreeUnusedTextures();
// Drops every image and zeroes the counts; names and flags stay so textures reload on use.
void ReleaseAllTextures();

// Unlocks every texture image left locked for software drawing, except those kept locked.
void TexturesUnlockAll();

// Where a texture marked MPF_IMPORTPICTURE finds its picture: the player's chosen picture path,
// or null for none. The application registers it; without it such textures load nothing.
using ImportPictureSource = const char* (*)();
void SetImportPictureSource(ImportPictureSource source);

// The "-generaterdf" tool: describes every numbered texture for an offline texture bundler in
// files below the bundle folder ("rdf" unless set). Does nothing without the option.
void SetTextureBundleFolder(const char* folder);
void WriteTextureBundleRdf();
