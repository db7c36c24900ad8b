// Byte-order conversion by layout. The layouts in use are tiny ("4,0" and "2,0"), so the walk is a
// plain loop over the code string. Two guards keep a bad layout or a short length harmless: a field
// that would end past the record's length is left alone, and a layout that completes a whole pass
// without consuming a byte (only unknown codes) stops instead of spinning forever.
#include "core/byte_order.h"

const char kLayoutWords32[] = {4, 0};
const char kLayoutWords16[] = {2, 0};

uint16_t ByteSwap16(uint16_t value) { return uint16_t((value >> 8) | (value << 8)); }

uint32_t ByteSwap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

void SwapByLayout(uint32_t length, void* record, const char* layout) {
  if (record == nullptr || layout == nullptr) return;
  unsigned char* bytes = static_cast<unsigned char*>(record);
  uint32_t offset = 0;
  uint32_t passStart = 0;  // offset at the last restart, to see a pass that consumed nothing
  uint32_t i = 0;
  while (offset < length) {
    const signed char code = static_cast<signed char>(layout[i]);
    switch (code) {
      case 0:
        if (offset == passStart) return;  // a whole pass converted nothing: it never will
        passStart = offset;
        i = 0;
        break;
      case 1:
        offset += 1;
        ++i;
        break;
      case 2:
        if (length - offset < 2) return;
        {
          unsigned char t = bytes[offset];
          bytes[offset] = bytes[offset + 1];
          bytes[offset + 1] = t;
        }
        offset += 2;
        ++i;
        break;
      case 4:
        if (length - offset < 4) return;
        {
          unsigned char t0 = bytes[offset], t1 = bytes[offset + 1];
          bytes[offset] = bytes[offset + 3];
          bytes[offset + 1] = bytes[offset + 2];
          bytes[offset + 2] = t1;
          bytes[offset + 3] = t0;
        }
        offset += 4;
        ++i;
        break;
      default:
        ++i;
        break;
    }
  }
}
