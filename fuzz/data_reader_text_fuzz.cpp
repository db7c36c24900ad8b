// Fuzz target of the data reader's text form (fields ended by ';', comments, keywords, flag sets,
// section keywords); see data_reader_driver.h.
#include "data_reader_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::RunDataReader(data, size, false);
  return 0;
}
