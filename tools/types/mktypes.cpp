// mktypes FOLDER: writes the demo's renderer type files below FOLDER in the text form, as the
// engine looks them up: "types/Materials.txt" and "types/Animations.txt".
#include <cstdio>
#include <filesystem>

#include "types/type_file_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mktypes FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = std::filesystem::path(argv[1]) / "types";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const bool ok = typetool::WriteMaterialsFile((folder / "Materials.txt").string(), false, typetool::DemoMaterials()) &&
                  typetool::WriteAnimationsFile((folder / "Animations.txt").string(), false, typetool::DemoAnimations());
  if (!ok) {
    std::fprintf(stderr, "mktypes: cannot write below %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
