// Fuzz target of the "MOVI" save section reader: the input is the section as the save container
// hands it over. Records are opened over files that open without decoding; the reader must stay
// inside the input, answer 0 or 1, and open no record when it answers 0 before its end tag.
#include <cstddef>
#include <cstdint>

#include "core/file_object.h"
#include "devices/movie.h"
#include "fuzz_support.h"
#include "save_sections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::SetUpMovieWorld();
  if (!fuzz::WriteFile("movi.sav", data, size)) return 0;
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, (fuzz::World() + "/movi.sav").c_str(), "rb", false)) return 0;
  const int32_t answer = ReadMovieState(&file);
  const long at = FileTell(&file);
  FileClose(&file);
  if (answer != 0 && answer != 1) __builtin_trap();
  if (at < 0 || static_cast<size_t>(at) > size) __builtin_trap();
  int records = 0;
  for (MovieRecord* movie = FirstMovie(); movie; movie = NextMovie(movie)) {
    if (movie->flags & kMovieRunning) __builtin_trap();
    ++records;
  }
  // Three files exist, and each id is opened at most once.
  if (records > 3) __builtin_trap();
  fuzz::ClearMovieWorld();
  return 0;
}
