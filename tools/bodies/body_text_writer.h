// The demo's bodies in the text body form: a cube and a body of two parts, each a complete text
// body file as the parser reads it. Shared by mkbodies (the demo data), the fuzz seeds and the
// tests, so all three hold the same files.
#pragma once

#include <string>

namespace bodytool {

// A unit cube of six quads with one red material; every face smoothed on its own.
std::string CubeBodyText();
// The same cube with an own material that names `texture` instead of its red colour: full
// diffuse strength, specular strength 0.4 with power 21; a named light map is the material's too.
std::string TexturedCubeBodyText(const std::string& texture, const std::string& lightMap = "");
// A hull and a fin: two parts, a kind-6 effect material with typed parameters, bones and weights,
// and a second, coarser mesh.
std::string TwoPartBodyText();
// The HUD's icon body: a quad plated with `texture` (hud_body.cpp).
std::string HudIconBodyText(const std::string& texture);

}  // namespace bodytool
