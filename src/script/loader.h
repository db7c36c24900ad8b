// The compiled-script loader and its code passes: reading a "STOR" file into the engine
// context (classes, methods, fields, statics, patch records, string pool, code), checking the
// code before anything runs, linking it (host byte order, natives bound by name), fusing
// frequent sequences and threading jumps, and unloading it again. Called by the game loop, the
// story reload, the save-game reader and the tests. A file that fails any check leaves a
// failed load, never an overrun or a hang.
#pragma once

#include <cstdint>

#include "script/engine.h"

// Bytes of zeros kept after the code block, so an instruction that starts inside the code can
// read its longest fixed operand without leaving the block; falling off the end meets opcode 0.
constexpr uint32_t kCodePadding = 16;

bool LoadScriptStore(ScriptEngine* engine, const char* name);
// The same from a file already in memory (the bytes are not kept).
bool LoadScriptStoreFromMemory(ScriptEngine* engine, const char* name, const uint8_t* data, uint32_t size);
void UnloadScriptStore(ScriptEngine* engine);
void MergeMethodTables(ScriptEngine* engine);
const MethodRecord* FindMethodByCode(const ObjectInstance* object, uint32_t codeOffset);
void UnscrambleStringPool(uint32_t n, uint8_t* bytes);
// The class record with the given id (binary search over the sorted records), or null.
ScriptClassRecord* FindClassRecord(const ScriptEngine* engine, int32_t id);

// Code passes (code_link.cpp). ValidateScriptCode runs on the file's byte order, before the
// link; LinkScriptCode ends with OptimizeScriptCode, whose failure (a jump cycle) fails it.
bool ValidateScriptCode(const ScriptEngine* engine);
bool LinkScriptCode(ScriptEngine* engine);
bool OptimizeScriptCode(ScriptEngine* engine);

// Test seam: with fusion off, LinkScriptCode leaves the code plain (no fused opcodes, no
// jump threading), so a program can be run both ways and the results compared.
void SetScriptCodeFusion(bool on);
