// Fuzz target of the pattern matcher: the input is a pattern, a subject text and a substitution
// source separated by NUL bytes. Compiles the pattern, matches it against the subject and builds
// the substitution into a buffer that is exactly as large as it claims (and one cut short).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/pattern.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::World();
  std::string parts[3];
  int part = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && part < 2) {
      ++part;
      continue;
    }
    parts[part].push_back(char(data[i]));
  }
  // Texts are C strings: anything after an inner NUL of the last part is simply not seen.
  CompiledPattern* pattern = PatternCompile(parts[0].c_str());
  if (pattern == nullptr) return 0;
  if (PatternExec(pattern, parts[1].c_str()) == 1) {
    char probe[1];
    const size_t needed = PatternSubstitute(parts[2].c_str(), pattern, probe, sizeof probe);
    // Heap buffers of the exact sizes, so a write past them is caught.
    const size_t sizes[] = {needed + 1, needed / 2 + 1, 1};
    for (size_t bufferSize : sizes) {
      char* buffer = static_cast<char*>(std::malloc(bufferSize));
      const size_t length = PatternSubstitute(parts[2].c_str(), pattern, buffer, bufferSize);
      if (length < bufferSize && std::strlen(buffer) != length) std::abort();
      std::free(buffer);
    }
  }
  // A second subject reuses the compiled program, as the natives do.
  PatternExec(pattern, parts[2].c_str());
  PatternFree(pattern);
  return 0;
}
