// mkbodies FOLDER: writes the demo's bodies under FOLDER: as text body files named as the engine
// looks bodies up, "objects/v/00001.bod" (the cube, plated with the texture "vexahull") and
// "objects/v/00002.bod" (two parts), and
// converted by the engine's own parser and writer into the binary form in the product's
// conversion folder, "vc/00001.bob" and "vc/00002.bob"; then the scene stretch's bodies (ship,
// station, planet, lens-flare sprites and probe, the 3D text's characters) the same two ways.
#include <cstdio>
#include <filesystem>
#include <string>

#include "bodies/body_convert.h"
#include "bodies/demo_scene_bodies.h"
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

// The binary form is written relative to the current folder, as the game's conversion does.
bool WriteBinary(const std::filesystem::path& root, int id, const std::string& text) {
  std::error_code error;
  std::filesystem::create_directories(root / "vc", error);
  std::filesystem::current_path(root, error);
  if (error) {
    std::fprintf(stderr, "mkbodies: cannot enter %s\n", root.c_str());
    return false;
  }
  bodytool::PrepareBodyConversion();
  if (bodytool::ConvertTextBody(id, text)) return true;
  std::fprintf(stderr, "mkbodies: body %d was not converted\n", id);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkbodies FOLDER\n");
    return 2;
  }
  const std::filesystem::path root = std::filesystem::absolute(argv[1]);
  const std::filesystem::path folder = root / "objects" / "v";
  const std::string cube = bodytool::TexturedCubeBodyText("vexahull");
  const std::string skiff = bodytool::TwoPartBodyText();
  const bool ok = WriteText(folder / "00001.bod", cube) && WriteText(folder / "00002.bod", skiff) &&
                  WriteText(root / "objects" / "effects" / "menugfx" / "GUI" / "gui_master.bod",
                            bodytool::HudIconBodyText("effects\\menugfx\\gui_master")) &&
                  WriteBinary(root, 1, cube) && WriteBinary(root, 2, skiff);
  if (!ok) return 1;
  for (const bodytool::DemoBody& body : bodytool::DemoSceneBodies()) {
    char name[16];
    std::snprintf(name, sizeof name, "%05d.bod", static_cast<int>(body.id));
    if (!WriteText(folder / name, body.text) || !WriteBinary(root, body.id, body.text)) return 1;
  }
  return 0;
}
