// Byte-order conversion for the system's big-endian file formats: single values and whole records
// whose fields a layout code describes. Called by the file layer's swapped readers and writers,
// the script loader and every save-section writer. Works in place, allocates nothing, and never
// touches a byte at or beyond the length it is given.
#pragma once

#include <cstdint>

// Layout codes (byte values, not digits): 0 restarts the layout, 1 keeps one byte, 2 exchanges a
// 16-bit field, 4 reverses a 32-bit field; any other code is skipped.
extern const char kLayoutWords32[];  // 4, 0: a record made only of 32-bit words
extern const char kLayoutWords16[];  // 2, 0: a record made only of 16-bit values

uint16_t ByteSwap16(uint16_t value);
uint32_t ByteSwap32(uint32_t value);

// Converts the record in place between host and file order, field by field as the layout says,
// repeating the layout over the whole length.
void SwapByLayout(uint32_t length, void* record, const char* layout);

// Big-endian access to bytes in memory, for parsers that walk a buffer.
inline uint16_t LoadBE16(const unsigned char* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t LoadBE32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void StoreBE16(unsigned char* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
inline void StoreBE32(unsigned char* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
