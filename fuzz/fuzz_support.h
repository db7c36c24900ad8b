// The world every fuzz target runs in: a private work folder that is the current folder, a
// SystemBlock with catalog slots over it, libxml2 set up, the user's folders pointed inside it,
// and on request a script engine with the SE_ library. Made once per process and reused by every
// input, so a target only writes its input where the reader looks and calls the reader.
// Also used by the seed maker. Never touches anything outside its own folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class GpuDevice;
struct EngineState3D;
struct ScriptEngine;
struct SystemBlock;

namespace fuzz {

constexpr int kCatalogSlots = 3;

// Sets the world up on the first call; the folder it lives in.
const std::string& World();
SystemBlock* Block();
// The script engine (made on first use); gScriptEngine points at it.
ScriptEngine* Engine();

// Writes bytes below the work folder ("/" separators), creating folders. False on failure.
bool WriteFile(const std::string& relative, const void* data, size_t size);
bool WriteFile(const std::string& relative, const std::string& bytes);
bool ReadFile(const std::string& path, std::string* bytes);
void RemoveFile(const std::string& relative);

// A 16x16 windowed device of the recording null backend, made once per process.
GpuDevice* NullGpuDevice();
// Points gDirect3D at a renderer context over that device, with the opaque and alpha pixel
// formats the image and font loaders choose between.
void UseNullDirect3D();

// The demo generator's type file in one form, as the type-file targets take it: the form byte
// (0 text, 1 binary) and then the file; the text form without the last byte, which the target
// turns into the terminator. Empty when it cannot be written.
std::string MaterialsFile(bool binary);
std::string AnimationsFile(bool binary);

// The scene engine the body readers need: math tables, a body list and cache, three materials
// (record 1 coloured, record 2 blending) and the body readers' fatal end. Made once per process.
void SetUpBodyEngine(void (*fatal)(uint32_t code, const char* file));
// Gives the body targets fresh material and texture tables for the next input; false when the
// texture table cannot be made.
bool ResetBodyTables();

// The scene engine the cut, take and scene object targets need: math tables, every list and
// table of the engine state, gEngine3D pointing at it and the body readers' fatal end. Made once
// per process; each input frees what it made (ResetEngine3D and the cuts left in the table).
EngineState3D* SceneEngine(void (*fatal)(uint32_t code, const char* file));

// Frees every mounted catalog of the block.
void UnmountAll();

}  // namespace fuzz
