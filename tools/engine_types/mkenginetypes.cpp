// mkenginetypes FOLDER: writes the demo's engine type files in text form under FOLDER/types and
// its cut twice, as "objects/cut/00001.pbd" (text) and "objects/cut/00002.pbb" (binary).
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine_types/demo_engine_files.h"

namespace {

bool WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::perror(path.c_str());
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkenginetypes FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder / "types", error);
  for (const typetool::TypeFile& file : typetool::DemoTypeFiles()) {
    const std::string path = (folder / "types" / (std::string(file.name) + ".txt")).string();
    if (!typetool::WriteTypeFile(path, file.fields, false, file.sections, file.sectionCount)) {
      std::fprintf(stderr, "mkenginetypes: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  const typetool::CutContent cut = typetool::DemoCut();
  const bool ok = WriteBytes(folder / "objects" / "cut" / "00001.pbd", typetool::CutText(cut)) &&
                  WriteBytes(folder / "objects" / "cut" / "00002.pbb", typetool::CutBinary(cut));
  return ok ? 0 : 1;
}
