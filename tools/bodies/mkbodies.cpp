// mkbodies FOLDER: writes the demo's bodies as text body files under FOLDER, named as the engine
// looks bodies up: "objects/v/00001.bod" (the cube) and "objects/v/00002.bod" (two parts).
#include <cstdio>
#include <filesystem>
#include <string>

#include "bodies/body_text_writer.h"

namespace {

bool WriteText(const std::filesystem::path& path, const std::string& text) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::perror(path.c_str());
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkbodies FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = std::filesystem::path(argv[1]) / "objects" / "v";
  const bool ok = WriteText(folder / "00001.bod", bodytool::CubeBodyText()) &&
                  WriteText(folder / "00002.bod", bodytool::TwoPartBodyText());
  return ok ? 0 : 1;
}
