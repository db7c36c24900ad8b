// mkenginetypes FOLDER: writes the demo's engine type files and the universe's auxiliary type
// files in text form under FOLDER/types, the universe's class files in binary form beside them,
// its cut twice, as "objects/cut/00001.pbd" (text) and "objects/cut/00002.pbb" (binary), the scene
// stretch's cut as "objects/cut/00003.pbd", and the demo's universe description as "types/Universe.xml".
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_types/demo_engine_files.h"
#include "engine_types/demo_universe_types.h"
#include "engine_types/demo_universe_xml.h"

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

bool Write(const std::filesystem::path& folder, const typetool::TypeFile& file, bool binary) {
  const std::string path = (folder / "types" / (std::string(file.name) + (binary ? ".pck" : ".txt"))).string();
  if (typetool::WriteTypeFile(path, file.fields, binary, file.sections, file.sectionCount)) return true;
  std::fprintf(stderr, "mkenginetypes: cannot write %s\n", path.c_str());
  return false;
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
  std::vector<typetool::TypeFile> text = typetool::DemoTypeFiles();
  for (typetool::TypeFile& file : typetool::DemoUniverseAuxFiles()) text.push_back(file);
  text.push_back(typetool::DemoEffectsFile());
  text.push_back(typetool::DemoIconTypesFile());
  for (const typetool::TypeFile& file : text) {
    if (!Write(folder, file, false)) return 1;
  }
  for (const typetool::TypeFile& file : typetool::DemoUniverseClassFiles()) {
    if (!Write(folder, file, true)) return 1;
  }
  const typetool::CutContent cut = typetool::DemoCut();
  const bool ok = WriteBytes(folder / "objects" / "cut" / "00001.pbd", typetool::CutText(cut)) &&
                  WriteBytes(folder / "objects" / "cut" / "00002.pbb", typetool::CutBinary(cut)) &&
                  WriteBytes(folder / "types" / "Universe.xml", typetool::DemoUniverseXml()) &&
                  WriteBytes(folder / "objects" / "cut" / "00003.pbd", typetool::CutText(typetool::DemoSceneCut()));
  return ok ? 0 : 1;
}
