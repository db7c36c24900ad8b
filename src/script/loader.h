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

// Loop-body sequences over locals that the fusion pass also rewrites, into opcodes no compiled
// script may hold: their first opcode byte becomes one of these, and a byte per code offset,
// kept behind the padding, marks where the pass put one (0 nowhere, else the stack depth the
// fused form needs for every local it names to lie inside the stack). The same byte anywhere else is an
// unassigned opcode as before. Each keeps the plain sequence's bytes after its first, and runs
// that sequence whenever its operands are not the integers and slots it was made for.
constexpr uint8_t kOpLocalsCompareJump = 180;  // 13 a, 13 b, 53..58 T        (+ 0..5)
constexpr uint8_t kOpLocalsArith = 186;        // 13 a, 13 b, 70|75|80, 146 c (+ 0..2)
constexpr uint8_t kOpTopArithLocal = 189;      // 13 a, 70|75|80, 146 c       (+ 0..2)
constexpr uint8_t kOpLocalsStoreElement = 192; // 13 a, 13 b, 24 c, 36
constexpr uint8_t kOpLocalElement = 193;       // 13 a, 17 c
constexpr uint8_t kOpLocalConstCompareJump = 194;  // 13 a, 1..4, 53..58 T     (+ 0..5)
constexpr uint8_t kOpLocalStepJump = 200;      // 160|161 a, 50 T             (+ 0..1)
// A kOpLocalStepJump whose jump lands on a kOpLocalsCompareJump: the loop's step and its test
// in one dispatch. + 2 * the compare's 0..5 + 0 (step up) or 1 (step down).
constexpr uint8_t kOpLocalStepCompareJump = 202;
// A kOpLocalStepCompareJump whose test is followed by one kOpLocalsArith that ends where the
// step begins: a counted loop whose body is one statement, a whole turn in one dispatch.
// + 2 * the compare's 0..5 + 0 (step up) or 1 (step down), as above.
constexpr uint8_t kOpLocalLoopArith = 214;
constexpr uint8_t kOpLocalFusionLast = 225;

// Bytes of the fused-offset map of a code block of `size` bytes: one per offset, so the check
// is a single load at a fixed distance from the opcode.
constexpr uint32_t LocalFusionMapBytes(uint32_t size) { return size; }
// The map itself, behind the code's padding.
inline const uint8_t* LocalFusionMap(const ScriptEngine* engine) {
  return engine->code + engine->codeSize + kCodePadding;
}

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
