// mkimages FOLDER: writes the demo's pictures below FOLDER: the eight fixed default images the
// device set-up loads ("dds/NONE_WHITE.dds" ... "dds/ENVI.dds") and the demo font "demo8" (a
// 1-bit BMP glyph sheet and its "siz" widths), the demo's textures ("textures/vexahull.tga",
// the HUD's icon sheet "textures/effects/menugfx/gui_master.tga") and the scene stretch's textures
// (DXT1 and cube-map DDS, JPEG, TGA).
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "images/image_writer.h"

namespace {

bool Write(const std::filesystem::path& path, const image_tool::Bytes& bytes) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkimages FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  auto files = image_tool::DemoDefaultImages();
  for (auto& file : image_tool::DemoFontFiles()) files.push_back(file);
  for (auto& file : image_tool::DemoTextures()) files.push_back(file);
  for (auto& file : image_tool::DemoHudTextures()) files.push_back(file);
  for (auto& file : image_tool::DemoSceneTextures()) files.push_back(file);
  for (const auto& file : files) {
    if (!Write(folder / file.name, file.bytes)) {
      std::fprintf(stderr, "mkimages: cannot write %s\n", file.name.c_str());
      return 1;
    }
  }
  return 0;
}
