// The demo's text bodies, written out field by field so every section the parser knows appears
// in them at least once.
#include "bodies/body_text_writer.h"

#include <string>

namespace bodytool {

namespace {

// The eight corners of a cube of half-size 100, then its six faces counter-clockwise from
// outside, each with its own smoothing word and texture coordinates.
constexpr const char* kCubePoints =
    "-100;-100;-100; 100;-100;-100; 100;100;-100; -100;100;-100;\n"
    "-100;-100;100; 100;-100;100; 100;100;100; -100;100;100;\n"
    "-1;-1;-1;\n";
constexpr int kCubeFaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                  {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
// Face flags: a smoothing word (0x10) and texture coordinates (0x8), as the negated terminator.
constexpr const char* kSmoothedUvTerminator = "-24;";
constexpr const char* kCornerUv[4] = {"0;0;", "1.0;0;", "1.0;1.0;", "0;1.0;"};

std::string Quad(int material, const int corners[4], int smoothing) {
  std::string face = std::to_string(material) + ";";
  for (int c = 0; c < 4; ++c) face += " " + std::to_string(corners[c]) + ";";
  face += std::string(" ") + kSmoothedUvTerminator + " " + std::to_string(smoothing) + ";";
  for (const char* uv : kCornerUv) face += std::string(" ") + uv;
  return face + "\n";
}

}  // namespace

std::string CubeBodyText() {
  std::string text =
      "NAME: cube;\n"
      "MATERIAL: 1; 0; 40;0;0; 200;0;0; 255;255;255;\n"
      "BODIES:\n"
      "200;\n"
      "POINTS:\n";
  text += kCubePoints;
  text += "PARTS:\n";
  for (int f = 0; f < 6; ++f) text += Quad(1, kCubeFaces[f], f + 1);
  text += "-99; 0;\n-99;\n0;\n";
  return text;
}

std::string TexturedCubeBodyText(const std::string& texture, const std::string& lightMap) {
  std::string text = CubeBodyText();
  const std::string red = "MATERIAL: 1; 0; 40;0;0; 200;0;0; 255;255;255;\n";
  const std::string textured = "MATERIAL6: 1; 0; " + texture +
                               "; 60;60;60; 255;255;255; 255;255;255; 0;0;20;40; 0; 0;0;"
                               " 100; NULL;0; NULL;0; " +
                               (lightMap.empty() ? std::string("NULL;0;") : lightMap + ";100;") + " NULL;0; NULL;0;\n";
  const size_t at = text.find(red);
  if (at != std::string::npos) text.replace(at, red.size(), textured);
  // Faces name an own material by its place in the body's list, the first being 0.
  for (size_t face = text.find("\n1; "); face != std::string::npos; face = text.find("\n1; ", face)) {
    text[face + 1] = '0';
  }
  return text;
}

std::string TwoPartBodyText() {
  std::string text =
      "NAME: skiff;\n"
      "SOUND: 100; 0; 1; 180; 1.0; 0.5; 0.25; 255; 255; 60; 0;\n"
      "MATERIAL6: 1; MPF_USEFXSHADER; 0; hull.fx; 6;\n"
      "  t_DiffuseTexture; SPTYPE_STRING; skiff_diff;\n"
      "  g_Shininess; SPTYPE_FLOAT; 0.75;\n"
      "  g_Tint; SPTYPE_FLOAT3; 1.0; 0.5; 0.25;\n"
      "  g_Glow; SPTYPE_BOOL; 1;\n"
      "  TexAnimDuration; SPTYPE_FLOAT; 2.5;\n"
      "  TexAnimEndV; SPTYPE_FLOAT; 1.0;\n"
      "MATERIAL6: 2; MPF_2SIDED; skiff_fin; 0;0;0; 0;0;200; 0;0;0; 0;0;0;0; 0; 0;0;"
      " 0; NULL;0; NULL;0; NULL;0; NULL;0; NULL;0;\n"
      "BODIES:\n"
      "400;\n"
      "BONES: 2; hull; fin;\n"
      "POINTS:\n"
      "-200;-50;0; 200;-50;0; 200;50;0; -200;50;0;\n"
      "0;0;0; 100;0;0; 0;0;120;\n"
      "-1;-1;-1;\n"
      "WEIGHTS:\n"
      "0;1.0;-1; 0;1.0;-1; 0;1.0;-1; 0;1.0;-1;\n"
      "0;0.5;1;0.5;-1; 1;1.0;-1; 1;1.0;-1;\n"
      "PARTS:\n";
  // The hull: a smoothed quad split in two.
  text += "0; 0;1;2; -24; 3; 0;0; 1.0;0; 1.0;1.0;\n";
  text += "0; 0;2;3; -24; 3; 0;0; 1.0;1.0; 0;1.0;\n";
  text += "-99; 0;\n";
  // The fin: one triangle with two sets of coordinates, its centre at its root point.
  text += "1; 4;5;6; -136; 0;0; 1.0;0; 0;1.0; 0;0; 0.5;0; 0;0.5;\n";
  text += "-99; 4; 4;\n";
  text += "-99;\n0;\n";
  // A coarser second mesh for far away.
  text += "5000;\nPOINTS: -200;-50;0; 200;-50;0; 0;50;0; -1;-1;-1;\nPARTS: 0; 0;1;2; -1; -99; 0; -99;\n0;\n";
  return text;
}

}  // namespace bodytool
