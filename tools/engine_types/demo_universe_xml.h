// The demo's universe description in the XML form Wilo_XMLImportGalaxy reads: a few sectors on
// the galaxy grid, joined in a ring by gates, each with a background, a sun, a station and
// asteroids. What mkenginetypes writes into the demo data ("types\Universe.xml"), what the
// demo story imports, and a seed of the universe import's fuzz target.
#pragma once

#include <string>

namespace typetool {

// Sectors of the demo's universe; sector k stands at grid (k % 2, k / 2).
constexpr int kDemoUniverseSectors = 3;

std::string DemoUniverseXml();

}  // namespace typetool
