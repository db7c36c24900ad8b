// The pattern matcher: a small regular-expression engine that compiles a pattern text into a byte
// program, matches it against NUL-terminated texts by backtracking and builds substitution texts
// from the last match. The system-information probe and the script regular-expression natives
// call it. It never writes past the buffer it is given, and a pattern or text that would take it
// too deep or too long answers "no match" instead of exhausting the stack.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kPatternGroups = 10;          // group 0 is the whole match, 1 to 9 the groups
constexpr uint8_t kPatternMagic = 0x9C;     // first byte of every program
constexpr uint32_t kPatternNominalHeader = 100;  // the record's size in the memory statistics

// One counted block: this header, then programSize bytes of program.
struct CompiledPattern {
  const char* groupStart[kPatternGroups];  // null for a group that took no part
  const char* groupEnd[kPatternGroups];    // one past the group's last byte
  uint8_t firstByte;                        // every match begins with it, or 0
  uint8_t anchored;                         // 1 when the pattern begins with "^"
  const char* requiredText;                 // inside the program: a literal every match holds
  uint32_t requiredLength;
  uint32_t programSize;
};

// The program bytes that follow the header.
inline uint8_t* PatternProgram(CompiledPattern* pattern) { return reinterpret_cast<uint8_t*>(pattern + 1); }
inline const uint8_t* PatternProgram(const CompiledPattern* pattern) {
  return reinterpret_cast<const uint8_t*>(pattern + 1);
}

// Null for a null text or a pattern that does not compile.
CompiledPattern* PatternCompile(const char* pattern);
// 1 on a match (the group positions are set), 0 otherwise.
int PatternExec(CompiledPattern* pattern, const char* text);
// Writes source into destination with "&" and "\0" to "\9" replaced from the last match, at most
// destinationSize bytes including the terminator. Returns the length the whole result needs, so
// a result of destinationSize or more means it was cut short; 0 and nothing written for a null
// argument or a block that is not a compiled pattern.
size_t PatternSubstitute(const char* source, const CompiledPattern* pattern, char* destination,
                         size_t destinationSize);
// Gives the block back with the size it was counted with.
void PatternFree(CompiledPattern* pattern);
