// Fuzz target of the voice-line documents: the input is the document. Every lookup, in range or
// not, must answer without reading outside the 999 language tables, and the tables are freed
// each time so nothing grows across inputs.
#include <climits>
#include <cstddef>
#include <cstdint>

#include "devices/movie.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::World();
  if (!gMovieState && !InitMovieModule()) return 0;
  ParseVoiceInfo(reinterpret_cast<const char*>(data), uint32_t(size));
  static const int32_t kLanguages[] = {-1, 0, 1, 44, 49, 998, 999, INT32_MIN, INT32_MAX};
  static const int32_t kIds[] = {-1, 0, 1, 2, 17, INT32_MAX};
  int64_t sum = 0;
  for (int32_t language : kLanguages)
    for (int32_t page : kIds) {
      sum += MOV_GetVoiceStream(language, page);
      for (int32_t line : kIds) sum += MOV_GetVoiceStart(language, page, line) + MOV_GetVoiceLength(language, page, line);
    }
  (void)sum;
  MOV_FreeVoiceInfo();
  return 0;
}
