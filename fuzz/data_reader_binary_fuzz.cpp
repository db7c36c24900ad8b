// Fuzz target of the data reader's binary form (big-endian words, section ids and end ids); see
// data_reader_driver.h.
#include "data_reader_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::RunDataReader(data, size, true);
  return 0;
}
