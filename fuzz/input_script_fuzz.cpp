// Fuzz target of the input script reader: any text either reads into lines whose values are in
// the ranges their kinds take, or is refused with an error naming a line. A script that reads
// is written back and must read again to the same lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/input_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<InputScriptLine> lines;
  std::string error;
  if (!ReadInputScript(reinterpret_cast<const char*>(data), size, &lines, &error)) {
    if (error.empty() || !lines.empty()) std::abort();
    return 0;
  }
  uint32_t frame = 0;
  for (const InputScriptLine& line : lines) {
    if (line.frame < frame || line.kind < kScriptKey || line.kind > kScriptHat) std::abort();
    frame = line.frame;
  }
  const std::string text = WriteInputScript(lines);
  std::vector<InputScriptLine> again;
  if (!ReadInputScript(text.data(), text.size(), &again, &error) || again.size() != lines.size()) std::abort();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (again[i].frame != lines[i].frame || again[i].kind != lines[i].kind || again[i].a != lines[i].a ||
        again[i].b != lines[i].b) {
      std::abort();
    }
  }
  return 0;
}
