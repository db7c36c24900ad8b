// The byte-code assembler: turns the readable text form described in tools/asm/README.md into a
// compiled-script file ("STOR", version 801) as the engine's loader reads it. Called by the
// korvane-asm command-line program, by every script test and by the demo-content build.
// It emits only the plain opcodes (fusion is the loader's business) and never touches the engine:
// it is a pure text-to-bytes translation that reports errors with their line numbers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct AsmOptions {
  bool plainPool = false;                    // STRU instead of the scrambled STRG
  bool hasVersion = false;                   // version below replaces the text's .version
  uint32_t version = 801;
  std::vector<std::string> omitChunks;       // chunk ids left out ("VARS", "STRG", ...)
  std::vector<std::string> duplicateChunks;  // chunk ids written twice in a row
  std::vector<std::string> extraChunks;      // 4-character ids of empty chunks put before "/STO"
  bool noEndMarker = false;                  // leave out "/STO" and its size word
};

struct AsmResult {
  bool ok = false;
  std::string error;                         // "line N: message" when not ok
  std::vector<uint8_t> bytes;                // the whole compiled-script file
  std::vector<uint8_t> code;                 // the CODE body as written (operands big-endian)
  std::vector<uint32_t> instructions;        // code offset of every mnemonic line, in order (not .byte data)
  std::vector<uint8_t> pool;                 // the plain string pool
  std::map<std::string, uint32_t> labels;    // label name -> code offset
  std::map<std::string, uint32_t> strings;   // interned text -> pool id
};

// Assembles text; on failure the result holds the first error and no bytes.
AsmResult Assemble(const std::string& text, const AsmOptions& options = AsmOptions());

// Code offset of a label, or 0xFFFFFFFF when the result has no such label.
uint32_t AsmLabel(const AsmResult& result, const std::string& name);

// Pool id of an interned text, or 0xFFFFFFFF when it was never interned.
uint32_t AsmString(const AsmResult& result, const std::string& text);

// The label map as text: one "offset name" line per label, by ascending offset (decimal offsets).
std::string AsmLabelMap(const AsmResult& result);

// The transform the loader undoes: s[0] = ~p[0], then s[i] = ~(p[i] + s[i-1]).
void ScrambleStringPool(std::vector<uint8_t>& bytes);
