// korvane-asm: the command-line face of the byte-code assembler. Reads one text file, writes one
// compiled-script file and, on request, the label map. Holds no assembling logic of its own and
// never writes the output when the text has an error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "asm/assembler.h"

static int Usage() {
  std::fprintf(stderr,
               "usage: korvane-asm [options] INPUT -o OUTPUT\n"
               "  --map FILE      write the label map (offset name per line)\n"
               "  --plain-pool    write the string pool plain (STRU) instead of scrambled (STRG)\n"
               "  --version N     write version N instead of the text's\n"
               "  --omit ID       leave chunk ID out (repeatable)\n"
               "  --dup ID        write chunk ID twice (repeatable)\n"
               "  --extra ID      add an empty chunk ID before the end marker (repeatable)\n"
               "  --no-end        leave out the end marker\n");
  return 2;
}

int main(int argc, char** argv) {
  AsmOptions options;
  std::string input, output, mapFile;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasNext = i + 1 < argc;
    if (arg == "-o" && hasNext) {
      output = argv[++i];
    } else if (arg == "--map" && hasNext) {
      mapFile = argv[++i];
    } else if (arg == "--plain-pool") {
      options.plainPool = true;
    } else if (arg == "--version" && hasNext) {
      options.hasVersion = true;
      options.version = uint32_t(std::strtoul(argv[++i], nullptr, 0));
    } else if (arg == "--omit" && hasNext) {
      options.omitChunks.push_back(argv[++i]);
    } else if (arg == "--dup" && hasNext) {
      options.duplicateChunks.push_back(argv[++i]);
    } else if (arg == "--extra" && hasNext) {
      options.extraChunks.push_back(argv[++i]);
    } else if (arg == "--no-end") {
      options.noEndMarker = true;
    } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
      input = arg;
    } else {
      return Usage();
    }
  }
  if (input.empty() || output.empty()) return Usage();

  std::ifstream in(input, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "korvane-asm: cannot read %s\n", input.c_str());
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  AsmResult result = Assemble(text.str(), options);
  if (!result.ok) {
    std::fprintf(stderr, "%s: %s\n", input.c_str(), result.error.c_str());
    return 1;
  }
  std::ofstream out(output, std::ios::binary);
  out.write(reinterpret_cast<const char*>(result.bytes.data()), std::streamsize(result.bytes.size()));
  if (!out) {
    std::fprintf(stderr, "korvane-asm: cannot write %s\n", output.c_str());
    return 1;
  }
  if (!mapFile.empty()) {
    std::ofstream map(mapFile, std::ios::binary);
    map << AsmLabelMap(result);
    if (!map) {
      std::fprintf(stderr, "korvane-asm: cannot write %s\n", mapFile.c_str());
      return 1;
    }
  }
  return 0;
}
