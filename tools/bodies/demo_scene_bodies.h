// The bodies of the demo's scene stretch in the text body form: a ship, a ring station, a planet
// sphere, the two lens-flare sprites, the lens-flare probe and the characters of the 3D text.
// Each is a complete text body file as the parser reads it; mkbodies writes them and converts
// them through the engine's own parser and binary writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bodytool {

// A small fighter: a pointed hull along +z with two swept wings, plated with `texture`.
std::string ShipBodyText(const std::string& texture);
// A ring station: a hub along y, a ring of sixteen segments in the x-z plane and four spokes.
std::string StationBodyText(const std::string& texture);
// A planet: a smoothed sphere of 24 x 12 faces with longitude and latitude texture coordinates.
std::string PlanetBodyText(const std::string& texture);
// A flat square sprite facing the camera (towards -z), both sides drawn and blended over the
// picture by its texture's alpha: a lens-flare element.
std::string FlareSpriteBodyText(const std::string& name, const std::string& texture, int32_t half);
// The 3D text character `code`: one square per set pixel of its 8 x 8 cell, facing -z, both sides
// drawn, in `texture`; letters and digits take a 5 x 7 letter shape, other characters the demo
// font's glyph. A blank glyph still has one tiny square, since a body needs a mesh.
std::string TextCharacterBodyText(int32_t code, const std::string& texture);

// The body ids the scene stretch uses, each with its text.
struct DemoBody {
  int32_t id;
  std::string text;
};
std::vector<DemoBody> DemoSceneBodies();

}  // namespace bodytool
