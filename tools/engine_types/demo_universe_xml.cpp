// The demo's universe description (see demo_universe_xml.h). Every sector k has one gate to the
// next sector of the ring and one to the one before it; a gate names the grid place ("gx", "gy")
// and the gate index ("gid") of its other end, so both ends point at each other.
#include "engine_types/demo_universe_xml.h"

#include <cstdio>

namespace typetool {

namespace {

// Gate 0 of a sector leads on to the next sector, gate 1 back to the one before.
std::string Gate(int index, int toSector, int z) {
  char line[160];
  std::snprintf(line, sizeof line, "    <gate t='18' x='%d' y='0' z='%d' gid='%d' gx='%d' gy='%d' id='%d'/>\n",
                index == 0 ? 40000 : -40000, z, 1 - index, toSector % 2, toSector / 2, index + 1);
  return line;
}

}  // namespace

std::string DemoUniverseXml() {
  std::string xml = "<?xml version='1.0' encoding='utf-8'?>\n<universe>\n";
  for (int k = 0; k < kDemoUniverseSectors; ++k) {
    char head[400];
    std::snprintf(head, sizeof head,
                  "  <sector t='1' x='%d' y='%d' id='%d' size='200000' qfight='%d'>\n"
                  "    <o t='2' neb='%d' stars='%d'/>\n"
                  "    <sun t='3' x='0' y='90000' z='-90000' color='%d'/>\n"
                  "    <dock t='5' x='0' y='0' z='%d' id='10'/>\n"
                  "    <asteroid t='17' x='%d' y='-6000' z='30000' atype='1' aamount='%d'/>\n",
                  k % 2, k / 2, k + 1, 100 + 20 * k, k % 2, 2 + k, 0xFFE0C0 - 0x101000 * k, 24000 + 2000 * k,
                  -20000 + 8000 * k, 30 + 10 * k);
    xml += head;
    xml += Gate(0, (k + 1) % kDemoUniverseSectors, 60000);
    xml += Gate(1, (k + kDemoUniverseSectors - 1) % kDemoUniverseSectors, -60000);
    xml += "  </sector>\n";
  }
  xml += "</universe>\n";
  return xml;
}

}  // namespace typetool
