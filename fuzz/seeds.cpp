// korvane-fuzz-seeds TARGET FOLDER: writes the starting corpus of one fuzz target into FOLDER,
// made with the project's own writers (the assembler, the catalog builder, the data writer, the
// text save, the value exporter, the settings store) so each seed is a file the engine itself
// could have written. Called by fuzz/run.sh before a run; never reads the folder it writes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include "app/entry.h"
#include "app/game_state.h"
#include "app/save_game.h"
#include "app/settings.h"
#include "asm/assembler.h"
#include "bodies/body_convert.h"
#include "bodies/body_text_writer.h"
#include "catalog/catalog_builder.h"
#include "engine_types/demo_engine_files.h"
#include "engine_types/demo_universe_types.h"
#include "engine_types/demo_universe_xml.h"
#include "core/data_reader.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "devices/sound_banks.h"
#include "devices/sound_channels.h"
#include "frontend/frontend.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/icon_types.h"
#include "fuzz_support.h"
#include "images/image_writer.h"
#include "save_sections.h"
#include "scene/instance_tree.h"
#include "replay_world.h"
#include "save_world.h"
#include "platform/gpu.h"
#include "platform/gpu_dds.h"
#include "platform/gpu_pixels.h"
#include "platform/input_script.h"
#include "platform/media_decoder.h"
#include "platform/registry.h"
#include "render/texture_animation.h"
#include "scene/scene.h"
#include "universe/body_components.h"
#include "universe/object_lifecycle.h"
#include "universe/type_loader.h"
#include "universe/universe.h"
#include "../tests/support/cut_key_stream.h"
#include "../tests/support/universe_xml_fixtures.h"
#include "support/universe_save_world.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/text_database.h"
#include "script/value.h"
#include "script/value_xml.h"
#include "sound/voice_writer.h"
#include "sound/wave_writer.h"
#include "universe/galaxy_grid.h"

namespace {

using Seeds = std::vector<std::string>;

std::string Bytes(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string ReadWorldFile(const std::string& relative) {
  std::string bytes;
  fuzz::ReadFile(fuzz::World() + "/" + relative, &bytes);
  return bytes;
}

// ---------------------------------------------------------------------------------------------

Seeds PatternSeeds() {
  struct Case {
    const char* pattern;
    const char* subject;
    const char* substitution;
  };
  const Case kCases[] = {
      {"^([a-z]+)-([0-9]*)$", "alpha-42", "\\2:\\1 &"},
      {"a*b+c?", "xxaaabbbd", "[&]"},
      {"(ab|cd)+e", "abcdabe", "\\1\\0"},
      {"[^0-9A-F]x.y$", "Gx!y", "\\\\&\\&"},
      {"Intel\\(R\\) (.*) CPU", "Intel(R) Core CPU", "\\1"},
      {"((((a))))\\.(b*)", "aaa.bbb", "\\4\\5\\9"},
      {"[]a-]+", "a-]]", "&&"},
      {"x$|^y", "yx", ""},
  };
  Seeds seeds;
  for (const Case& c : kCases)
    seeds.push_back(std::string(c.pattern) + '\0' + c.subject + '\0' + c.substitution);
  return seeds;
}

// ---------------------------------------------------------------------------------------------

std::vector<catalog_tool::PackedFile> SampleFiles() {
  const std::string text = "NAME: alpha beta;\r\nVER: 3;\r\n";
  std::string big;
  for (int k = 0; k < 200; ++k) big += "line " + std::to_string(k) + "\n";
  return {
      {"t\\0001-L044.pck", catalog_tool::GzipBytes("page one of the texts", 6)},
      {"t\\0001.pck", catalog_tool::ScrambleGzip(catalog_tool::GzipBytes(big, 9, "0001.xml"), 0x5A)},
      {"types\\ship.txt", text},
      {"types\\ship.bin", std::string("DATA\0\0\0\x01/DAT", 12)},
      {"empty.txt", ""},
      {"Mixed\\Case.Obj", "STOR"},
  };
}

Seeds CatalogSeeds() {
  Seeds seeds;
  auto add = [&](const std::vector<catalog_tool::PackedFile>& files) {
    const std::string index = catalog_tool::IndexText("01.dat", files);
    std::string data;
    for (const auto& f : files) data += f.bytes;
    std::string seed;
    seed.push_back(char(index.size() >> 8));
    seed.push_back(char(index.size() & 0xFF));
    seeds.push_back(seed + index + data);
  };
  const auto files = SampleFiles();
  add(files);
  add({files[2]});
  add({});
  add({{"A", "x"}, {"A", "y"}, {"B\\C\\D.TXT", "z"}});
  return seeds;
}

Seeds PackedSeeds() {
  const std::string text = "The quick brown fox jumps over the lazy dog.\n";
  std::string many;
  for (int k = 0; k < 64; ++k) many += text;
  Seeds seeds = {
      catalog_tool::GzipBytes(text, 0),
      catalog_tool::GzipBytes(many, 9, "fox.txt"),
      catalog_tool::ScrambleGzip(catalog_tool::GzipBytes(many, 6), 0x00),
      catalog_tool::ScrambleGzip(catalog_tool::GzipBytes(text, 1, "a.txt"), 0xC4),
      "plain text that is not packed",
  };
  return seeds;
}

// ---------------------------------------------------------------------------------------------

constexpr DataKeyword kSeedFlags[] = {{"NONE", 0}, {"A", 1}, {"B", 2}, {"C", 4}, {"", 0}};

// A body-like file in the given form, written by the data writer.
std::string DataFile(bool binary) {
  fuzz::World();  // the writer writes into the current folder, which the world becomes
  const char* name = binary ? "seed.bin" : "seed.txt";
  DataReader w;
  DataWriterOpen(&w, name, binary, kBodySectionTable, kBodySectionCount);
  DataWriterWriteSection(&w, 1, true);
  DataWriterWriteSection(&w, 2, true);
  DataWriterWriteString(&w, "hull segment");
  DataWriterWriteSection(&w, 2, false);
  DataWriterWriteSection(&w, 3, true);
  WriteInt(&w, 7);
  WriteInt(&w, -70000);
  WriteShort(&w, 513);
  WriteShortHex(&w, 0xBEEF);
  WriteFixed(&w, 98304);
  WriteEnumWord(&w, 5, kSeedFlags);
  WriteValue(&w, 1);
  WriteWord(&w, 0xFFFFFFFF);
  DataWriterWriteSection(&w, 3, false);
  DataWriterWriteSection(&w, 13, true);
  for (int k = 0; k < 6; ++k) WriteFixed(&w, k * 65536 - 100000);
  DataWriterWriteSection(&w, 13, false);
  DataWriterWriteSection(&w, 8, true);
  DataWriterWriteText(&w, "inner text");
  DataWriterWriteSection(&w, 8, false);
  DataWriterWriteSection(&w, 1, false);
  DataReaderClose(&w);
  return ReadWorldFile(name);
}

Seeds DataReaderSeeds(bool binary) {
  const std::string file = DataFile(binary);
  Seeds seeds;
  for (uint8_t seed : {0, 1, 7, 42, 128, 255}) seeds.push_back(std::string(1, char(seed)) + file);
  if (!binary)
    seeds.push_back(std::string(1, '\x03') + "/ comment\nNAME: x;\nVER: %101; 0x1F; -4; #old; 5;\tA|C;\n");
  return seeds;
}

// ---------------------------------------------------------------------------------------------

Seeds WaveFileSeeds() {
  using sound_tool::MakeWave;
  using sound_tool::WaveOptions;
  WaveOptions mono16;
  WaveOptions mono8;
  mono8.bits = 8;
  mono8.rate = 11025;
  WaveOptions wide = mono16;
  wide.formatExtra = 2;
  wide.chunksBeforeData = {{"LIST", "INFOINAM\x04\0\0\0tone"}, {"odd", "x"}};
  WaveOptions stereo = mono16;
  stereo.channels = 2;
  WaveOptions silentRate = mono8;
  silentRate.rate = 0;
  return {
      MakeWave(mono16, sound_tool::SinePcm16(440, 22050, 200, 12000)),
      MakeWave(mono8, sound_tool::SinePcm8(300, 11025, 150, 100)),
      MakeWave(wide, sound_tool::SinePcm16(1000, 22050, 64, 3000)),
      MakeWave(stereo, sound_tool::SinePcm16(440, 22050, 64, 3000)),
      MakeWave(silentRate, std::string(33, '\x80')),
      MakeWave(mono16, ""),
  };
}

// A "Sounds" file through the data writer, behind the form byte the target reads first.
std::string SoundTableFile(bool binary) {
  fuzz::World();  // the writer writes into the current folder, which the world becomes
  const char* name = binary ? "Sounds.seed.pck" : "Sounds.seed.txt";
  DataReader w;
  DataWriterOpen(&w, name, binary, nullptr, 0);
  struct Entry {
    int32_t priority, volume;
    uint32_t flags;
    int32_t pitchLow, pitchHigh, spread, range;
  };
  const Entry kEntries[] = {
      {5, 200, kSfxLoop | kSfx3DControl, -100, 100, 10, 0},
      {1, -1, kSfxAutoFree, 0, 0, 0, 40000},
      {255, 128, 0, 50, 50, 0, 1000},
  };
  WriteInt(&w, 3);
  for (int32_t header : {250, 1200, 1350, 700}) {
    WriteInt(&w, header);
    if (header == 1350) continue;
    WriteInt(&w, 3);
    for (const Entry& e : kEntries) {
      WriteInt(&w, e.priority);
      WriteInt(&w, e.volume);
      WriteEnumWord(&w, e.flags, kSoundFlagNames);
      WriteInt(&w, e.pitchLow);
      WriteInt(&w, e.pitchHigh);
      WriteInt(&w, e.spread);
      WriteInt(&w, e.range);
    }
  }
  DataReaderClose(&w);
  return std::string(1, binary ? '\x01' : '\x00') + ReadWorldFile(name);
}

Seeds SoundTableSeeds() {
  return {SoundTableFile(false), SoundTableFile(true),
          std::string("\x00") + "/ bank count\n1;\n100; 2;\n1; 2; SFX_LOOP|SFX_DSIK; 0; 0; 0; 0;\n"
                                 "3; -1; NULL; 0; 5; 50; 0;\n "};
}

// "icontypes" through our writer in both forms: two triples per class, a subtype table written
// by number and a group table by symbol; and a text file with type and class names.
std::string IconTypesFile(bool binary) {
  fuzz::World();
  IconTypeRow rows[kIconTypeClassCount] = {};
  int32_t subtypes[9] = {0, 0, 0, 5, 6, 0, 7, 0, 8};
  int32_t groups[48] = {};
  groups[3 * 2] = 76;
  groups[3 * 15 + 1] = 77;
  IconTypeRow& ship = rows[kClassShip];
  const int32_t icons[6] = {1, 2, 3, 4, 0, 0};
  std::copy(icons, icons + 6, ship.icons);
  ship.subtypeIcons = subtypes;
  ship.subtypeCount = 3;
  ship.secondIcons = groups;
  ship.secondCount = 16;
  rows[kClassMissile].icons[3] = 80;
  rows[0].icons[0] = 186;
  const char* name = binary ? "icontypes.seed.pck" : "icontypes.seed.txt";
  std::string bytes;
  if (!WriteIconTypes(name, binary, rows) || !fuzz::ReadFile(name, &bytes)) return std::string();
  return std::string(1, binary ? '\x01' : '\0') + bytes;
}

Seeds IconTypesSeeds() {
  return {IconTypesFile(false), IconTypesFile(true),
          std::string("\x00") + "SSTYPE_SHIP; ICON_LSR_IRE1; 0; 0; ICON_LSR_PAC1; 0; 0;\n2;\nSS_SH_C; 5; 0; 0;\n"
                                 "SS_SH_B; 9; 0; 0;\n1;\nSG_SH_M0; 76; 0; 0;\nSSTYPE_MISSILE; 1; 2; 3; 4; 5; 6; 0; 0;\n"};
}

Seeds VoiceInfoSeeds() {
  using sound_tool::VoiceLanguageText;
  return {
      sound_tool::WriteVoiceInfo({VoiceLanguageText{44, {{1, 144, {{0, 100, 900}, {1, 1000, 500}, {0, 7, 7}}},
                                                         {1, 149, {{2, 2000, 300}}}}},
                                  VoiceLanguageText{49, {{3, 810, {{-1, 5, 5}, {4, 0, 0}}}}}}),
      sound_tool::WriteVoiceInfo({VoiceLanguageText{999, {{1, 1, {{1, 1, 1}}}}},
                                  VoiceLanguageText{0, {{2, 2, {{2, 2, 2}}}}}}),
      "<voice><language id=\"7\"><page><t/></page></language></voice>",
  };
}

// ---------------------------------------------------------------------------------------------

const char* const kLanguageDocuments[] = {
    ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<Language id=\"44\">\n"
     "  <page id=\"17\">\n"
     "    <t id=\"4\">fuel</t>\n"
     "    <t id=\"5\">Buy {17,4}!</t>\n"
     "    <t id=\"7\">loop {17,7}</t>\n"
     "    <t id=\"8\">ping {17,9}</t><t id=\"9\">pong {17,8}</t>\n"
     "    <T id=\"11\">Line one\nline two(note) \\(sic\\) &amp; \\101</T>\n"
     "    <t id=\"12\"></t>\n"
     "    <t id=\"-3\">negative</t>\n"
     "  </page>\n"
     "  <PAGE id=\"350020\"><t id=\"1\">folded high</t></PAGE>\n"
     "  <page><t>no ids</t></page>\n"
     "</Language>\n"),
    ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<language id=\"49\"><page id=\"17\"><t id=\"4\">Treibstoff</t><t id=\"6\">Kauf {17,4} {0,1}</t></page>"
     "</language>\n"),
    ("<languages><language id=\"33\"><page id=\"1\"><t id=\"1\">\xC3\xA9t\xC3\xA9</t></page></language>"
     "<language id=\"998\"><page id=\"2\"><t id=\"2\">{1,1}</t></page></language></languages>\n"),
};

Seeds TextDatabaseSeeds() { return Seeds(std::begin(kLanguageDocuments), std::end(kLanguageDocuments)); }

Seeds TextSaveSeeds() {
  ScriptEngine* engine = fuzz::Engine();
  Seeds seeds;
  FreeAllTexts(engine);
  if (WriteTextSave(engine, "seed") == 1) seeds.push_back(ReadWorldFile("nl/seed.txc"));
  for (const char* document : kLanguageDocuments) {
    xmlDocPtr doc = ParseXmlMemory(document, "seed");
    if (doc == nullptr) continue;
    ReadLanguageFile(xmlDocGetRootElement(doc), engine);
    XmlFreeDoc(doc);
    if (WriteTextSave(engine, "seed") == 1) seeds.push_back(ReadWorldFile("nl/seed.txc"));
  }
  FreeAllTexts(engine);
  return seeds;
}

// ---------------------------------------------------------------------------------------------

std::string ExportedDocument(const ScriptValue* value) {
  xmlNodePtr node = ExportValueXml(value);
  if (node == nullptr) return "";
  xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  xmlDocSetRootElement(doc, node);
  std::string text = XmlDocToString(doc);
  XmlFreeDoc(doc);
  return text;
}

Seeds UniverseXmlSeeds() {
  Seeds seeds;
  for (const char* text : kUniverseXmlFixtures) seeds.push_back(text);
  seeds.push_back(typetool::DemoUniverseXml());
  return seeds;
}

// The object life and order commands (0 to 33) in one run each way: with their full frames (ship,
// second ship or sector, numbers, a short array) and cut short of their last argument.
template <typename Command>
std::string LifeAndOrderCommands(Command command) {
  auto integer = [](int32_t v) {
    return std::string{'\0', static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  const std::string ship("\x09", 1), otherShip("\x19", 1), sector("\x01", 1);
  const std::string shortArray("\x03\x01\x00\x00\x00\x05", 6);
  std::string run;
  for (uint16_t number = 0; number <= 33; ++number) {
    const std::string second = number == 6 ? sector : otherShip;
    const std::string frame = ship + second + integer(number == 0 ? 7 : 1) + integer(100) + integer(500) +
                              integer(-1) + integer(2220) + shortArray;
    run += command(number, 8, frame, 8);
    run += command(number, 3, ship + integer(0) + shortArray, 3);
  }
  // A kill with a text as its extra value, then the orders of a ship that is gone.
  run += command(7, 4, ship + integer(2) + otherShip + std::string("\x02\x02" "xy", 4), 4);
  run += command(1, 1, ship, 1) + command(30, 5, ship + integer(0) + integer(0) + integer(9) + integer(10), 5);
  return run;
}

// Every type-query and background command once, with a class and subtype, then with the sector:
// reads, a background definition with its rate array, the sector's scenes and words.
template <typename Command>
std::string TypeAndBackgroundRun(Command command, const std::string& sector, const std::string& number,
                                 const std::string& text, const std::string& array) {
  std::string run;
  for (uint16_t n = 130; n <= 235; ++n) run += command(n, 3, number + number + number, 3);
  run += command(332, 1, number, 1);
  std::string define = number + text;
  for (int k = 2; k < 13; ++k) define += k == 5 ? array : number;
  run += command(234, 13, define, 13);
  for (uint16_t n = 289; n <= 305; ++n) run += command(n, 2, sector + number, 2);
  run += command(349, 1, sector, 1);
  return run;
}

// Placement, player and docking commands: component distances in and out of range, landing,
// camera and ship words, poses from arrays of 7, 3 and 1 elements and from no array, filled
// arrays, frames, dock ports with short slot arrays, and a decoupling without a carrier.
template <typename Command>
std::string PlacementRun(Command command, const std::string& objectArg, const std::string& shipArg,
                         const std::string& otherShipArg, const std::string& intArg, const std::string& zeroArg,
                         const std::string& arrayArg, const std::string& shortArrayArg) {
  const std::string poseArg("\x03\x07\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x03\x00\x00\x40\x00"
                            "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00",
                            30);
  const std::string minusOne("\x00\xFF\xFF\xFF\xFF", 5);
  std::string run;
  run += command(267, 3, shipArg + zeroArg + otherShipArg, 3) + command(268, 3, shipArg + intArg + otherShipArg, 3) +
         command(267, 3, shipArg + minusOne + otherShipArg, 3);
  run += command(271, 1, shipArg, 1) + command(272, 2, shipArg + otherShipArg, 2) + command(273, 1, shipArg, 1);
  run += command(274, 3, shipArg + objectArg + intArg, 3) + command(274, 3, shipArg + zeroArg + intArg, 3) +
         command(276, 2, shipArg + objectArg, 2) + command(282, 1, objectArg, 1) +
         command(287, 5, shipArg + intArg + intArg + intArg + intArg, 5);
  for (uint16_t number = 315; number <= 323; ++number) run += command(number, 2, shipArg + otherShipArg, 2);
  run += command(317, 2, shipArg + zeroArg, 2) + command(320, 2, objectArg + intArg, 2);
  for (uint16_t number = 324; number <= 329; ++number) {
    run += command(number, 2, shipArg + poseArg, 2) + command(number, 2, shipArg + shortArrayArg, 2) +
           command(number, 2, shipArg + intArg, 2);
  }
  run += command(330, 2, poseArg + poseArg, 2) + command(330, 2, arrayArg + intArg, 2) +
         command(331, 2, poseArg + arrayArg, 2) + command(331, 2, shortArrayArg + shortArrayArg, 2) +
         command(331, 1, poseArg, 1);
  run += command(335, 2, objectArg + arrayArg, 2) + command(335, 2, shipArg + intArg, 2) +
         command(336, 4, zeroArg + intArg + intArg + intArg, 4) + command(336, 4, shipArg + intArg + intArg + intArg, 4);
  run += command(340, 4, shipArg + zeroArg + otherShipArg + intArg, 4) + command(341, 4, shipArg + zeroArg + intArg + intArg, 4) +
         command(342, 3, shipArg + zeroArg + intArg, 3) + command(343, 3, shipArg + zeroArg + otherShipArg, 3);
  run += command(344, 3, shipArg + arrayArg + otherShipArg, 3) + command(345, 3, shipArg + shortArrayArg + otherShipArg, 3) +
         command(344, 3, shipArg + intArg + otherShipArg, 3) + command(346, 2, shipArg + intArg, 2) +
         command(366, 1, shipArg, 1) + command(366, 1, objectArg, 1) + command(368, 3, shipArg + intArg + intArg, 3) +
         command(368, 2, shipArg + minusOne, 2);
  return run;
}

// Command runs for the SA_ module in the target's own record form: command (2 bytes), declared
// count, filled count, then values (kind byte and payload).
Seeds SaCommandsSeeds() {
  auto command = [](uint16_t number, uint8_t declared, const std::string& values, uint8_t filled) {
    std::string out;
    out += static_cast<char>(number >> 8);
    out += static_cast<char>(number & 0xFF);
    out += static_cast<char>(declared);
    out += static_cast<char>(filled);
    return out + values;
  };
  const std::string objectArg("\x01", 1);      // the sector
  const std::string shipArg("\x09", 1);        // the first ship
  const std::string intArg("\x00\x00\x00\x00\x07", 5);
  const std::string arrayArg("\x03\x03\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x03", 14);
  const std::string textArg("\x02\x03" "abc", 5);
  // Every object state, container and flag command (34 to 129) on the same frame.
  auto stateAndFlags = [&](const std::string& values, uint8_t count) {
    std::string run;
    for (uint16_t number = 34; number <= 129; ++number) run += command(number, count, values, count);
    return run;
  };
  const std::string otherShipArg("\x19", 1);  // the second ship
  const std::string zeroArg("\x00\x00\x00\x00\x00", 5);
  const std::string shortArrayArg("\x03\x01\x00\x00\x00\x05", 6);
  const std::string poseArg = std::string("\x03\x06", 2) + std::string(20, '\0') + std::string("\x00\x00\x40\x00", 4);
  return {
      command(0, 2, intArg + intArg, 2),
      command(1, 1, shipArg, 1) + command(2, 1, objectArg, 1),
      command(40, 2, shipArg + arrayArg, 2) + command(43, 3, shipArg + arrayArg, 1),
      command(130, 1, intArg, 1) + command(132, 1, textArg, 1),
      command(242, 0, "", 0) + command(269, 2, shipArg + shipArg, 2) + command(284, 0, "", 0),
      command(369, 4, intArg, 1) + command(370, 0, "", 0) + command(0xFFFF, 1, intArg, 1),
      command(30, 3, shipArg + arrayArg + std::string("\x04\x00\x00\x00\x09", 5), 3),
      stateAndFlags(shipArg + intArg + intArg + intArg, 4),
      stateAndFlags(intArg + intArg + intArg, 3),
      stateAndFlags(shipArg + std::string("\x11", 1) + arrayArg + shipArg + textArg + arrayArg, 6) +
          command(126, 10, shipArg + intArg + intArg + intArg + intArg + intArg + intArg + arrayArg, 8),
      command(93, 3, std::string("\x19", 1) + shipArg + intArg, 3) + command(94, 3, objectArg + intArg + shipArg, 3) +
          command(95, 2, objectArg + intArg + intArg + shipArg, 4) + command(97, 3, shipArg + intArg + objectArg, 3),
      // Combat, statistics and effects: fire, stop, the waiting turret and debris orders with
      // short arrays, collision slots, rock search, density, explosions and tractor links.
      command(236, 0, "", 0) + command(240, 0, "", 0) + command(241, 2, shipArg + shipArg, 2) +
          command(245, 5, shipArg + otherShipArg + intArg + intArg + intArg, 5) +
          command(246, 4, shipArg + intArg + zeroArg + zeroArg, 4),
      command(243, 2, shipArg + intArg, 2) + command(244, 1, shipArg, 1) + command(255, 1, shipArg, 1) +
          command(363, 3, shipArg + zeroArg + arrayArg, 3) + command(367, 3, shipArg + objectArg + shortArrayArg, 3),
      command(364, 3, objectArg + shipArg + intArg, 3) + command(365, 1, intArg, 1) +
          command(285, 6, shipArg + intArg + intArg + intArg + intArg + intArg, 6) + command(348, 1, shipArg, 1),
      command(358, 5, shipArg + otherShipArg + zeroArg + zeroArg + zeroArg, 5) + command(359, 1, otherShipArg, 1) +
          command(247, 3, shipArg + otherShipArg + intArg, 3) + command(248, 4, shipArg + intArg + otherShipArg, 3),
      LifeAndOrderCommands(command),
      TypeAndBackgroundRun(command, objectArg, intArg, textArg, arrayArg),
      // Videos, timer, client data and rewards: a screen's channels of every kind, the video
      // rows, the pause word and each reward variant with its flags.
      command(277, 2, shipArg + intArg, 2) + command(277, 2, objectArg + std::string("\xFF\xFF\xFF\xFF\xFE", 5), 2) +
          command(306, 1, zeroArg, 1) + command(306, 1, intArg, 1) + command(350, 1, intArg, 1) +
          command(351, 0, "", 0),
      command(353, 2, intArg + intArg, 2) + command(354, 2, zeroArg + intArg, 2) + command(355, 1, intArg, 1) +
          command(355, 1, zeroArg, 1) + command(356, 1, intArg, 1),
      command(369, 8, zeroArg + intArg + intArg + intArg + intArg + intArg + intArg + intArg, 8) +
          command(369, 6, std::string("\x00\x00\x00\x00\x02", 5) + intArg + intArg + intArg + intArg + intArg, 6) +
          command(369, 3, zeroArg + intArg + std::string("\x00\x00\x00\x00\x10", 5), 3),
      // Distances, the player's bits and role, and traces with full, short and missing points.
      command(265, 2, shipArg + otherShipArg, 2) + command(266, 2, shipArg + otherShipArg, 2) +
          command(275, 1, shipArg, 1) + command(278, 2, shipArg + intArg, 2) + command(279, 1, shipArg, 1) +
          command(279, 2, shipArg + zeroArg, 2) + command(280, 2, shipArg + intArg, 2) +
          command(281, 2, shipArg + zeroArg, 2) + command(283, 2, shipArg + shipArg, 2) +
          command(318, 1, shipArg, 1) + command(318, 1, objectArg, 1),
      command(288, 4, arrayArg + arrayArg + objectArg + intArg, 4) +
          command(288, 4, shortArrayArg + arrayArg + objectArg + intArg, 4) + command(288, 2, arrayArg + intArg, 2),
      // Cuts by every argument count, takes that refuse, wait, stop and free, the path searches
      // with and without a target and with arrays that are short or missing, and the lookups.
      command(256, 1, intArg, 1) + command(256, 2, intArg + shipArg, 2) + command(256, 3, intArg + shipArg, 2) +
          command(256, 7, intArg + intArg + intArg + intArg + intArg + intArg + intArg, 7) +
          command(256, 8, intArg + shipArg + intArg + intArg + intArg + intArg + intArg + intArg, 8) +
          command(257, 1, intArg, 1),
      command(258, 1, objectArg, 1) + command(258, 1, shipArg, 1) +
          command(259, 7, std::string("\x00\x00\x00\x00\x02", 5) + intArg + intArg + intArg + zeroArg + intArg + poseArg, 7) +
          command(262, 1, intArg, 1) + command(261, 1, intArg, 1) + command(260, 1, intArg, 1) +
          command(263, 1, intArg, 1) + command(264, 1, intArg, 1),
      command(360, 8, intArg + intArg + intArg + intArg + poseArg + zeroArg + zeroArg + arrayArg, 8) +
          command(360, 8, intArg + intArg + intArg + intArg + shortArrayArg + zeroArg + intArg + intArg, 8) +
          command(360, 6, intArg + intArg + intArg + intArg + zeroArg + zeroArg, 6) +
          command(361, 5, intArg + intArg + zeroArg + poseArg + zeroArg, 5) +
          command(362, 4, intArg + intArg + zeroArg + zeroArg, 4),
      command(307, 2, textArg + intArg, 2) + command(309, 0, "", 0) + command(310, 1, intArg, 1) +
          command(311, 1, intArg, 1) + command(312, 2, intArg + intArg, 2) + command(313, 2, intArg + zeroArg, 2) +
          command(314, 4, intArg + zeroArg + textArg + shipArg, 4) + command(337, 4, shipArg + intArg + intArg + intArg, 4) +
          command(338, 2, intArg + intArg, 2) + command(347, 1, shipArg, 1) + command(357, 1, shipArg, 1) +
          command(308, 0, "", 0),
      PlacementRun(command, objectArg, shipArg, otherShipArg, intArg, zeroArg, arrayArg, shortArrayArg),
  };
}

// Native calls over the target's scene: allocations, finds with and without their optional
// arguments, fog, lens arithmetic, path queries, waiting and asynchronous jobs, a take start and
// stop, and numbers outside the table.
Seeds EngineNativesSeeds() {
  auto call = [](uint16_t number, uint8_t declared, const std::string& values, uint8_t filled) {
    std::string out;
    out += static_cast<char>(number >> 8);
    out += static_cast<char>(number & 0xFF);
    out += static_cast<char>(declared);
    out += static_cast<char>(filled);
    return out + values;
  };
  auto handle = [](int index) { return std::string(1, static_cast<char>(1 | (index << 3))); };
  auto integer = [](int32_t v) {
    return std::string{'\0', static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  const std::string scene = handle(0), member = handle(1), light = handle(3), camera = handle(4), take = handle(6),
                    cut = handle(7);
  const std::string array("\x03\x06\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x03\x00\x00\x10\x00"
                          "\x00\x00\x00\x00\x00\x00\x00\x00", 26);
  const std::string text("\x02\x03" "abc", 5);
  return {
      call(0, 0, "", 0) + call(50, 1, scene, 1) + call(50, 2, scene + member, 2) + call(49, 3, scene + integer(1) + member, 3),
      call(26, 4, light + integer(300) + integer(0) + integer(0), 4) + call(66, 7, camera + integer(1) + integer(2) +
          integer(3) + integer(4) + integer(5) + integer(6), 7),
      call(70, 4, camera + integer(100) + integer(0) + integer(100), 4) + call(71, 4, camera + integer(0) + integer(0) +
          integer(0), 4) + call(72, 3, array + array + array, 3),
      call(150, 4, cut + integer(0) + integer(1) + array, 4) + call(151, 2, cut + integer(0), 2) +
          call(144, 1, cut, 1),
      call(152, 3, member + cut + integer(1), 3) + call(154, 1, member, 1) + call(166, 5, member + cut + integer(2) +
          integer(0) + integer(0), 5) + call(2, 1, member, 1),
      call(161, 3, take + cut + scene, 3) + call(162, 1, take, 1) + call(163, 1, take, 1),
      call(76, 2, member + text, 2) + call(142, 2, text + integer(1), 2) + call(75, 2, scene + std::string("\x04\x00\x00\x00\x09", 5), 2) +
          call(168, 1, integer(0), 1) + call(0xFFFF, 0, "", 0) + call(123, 1, member, 1),
  };
}

// An empty grid and one with two-way links, owners and far gates, written by the section writer.
Seeds GalaxySeeds() {
  Seeds seeds;
  auto grid = std::make_unique<GalaxyGrid>();
  for (int round = 0; round < 2; ++round) {
    ClearGalaxyGrid(grid.get());
    if (round == 1) {
      AddGalaxyGate(grid.get(), 0, 1, 0, 0, 0, 1, 5000000, 0, 0);
      AddGalaxyGate(grid.get(), 1, 0, 0, 1, 0, 0, -5000000, 0, 0);
      AddGalaxyGate(grid.get(), 5, 2, 23, 19, 12, 7, 2000000000, -2000000000, 7);
      AddGalaxyGate(grid.get(), 2, 5, 12, 7, 23, 19, 0, 0, 0);
      SetGalaxyOwner(grid.get(), 23, 19, 19);
    }
    FileObject file;
    FileObjectInit(&file);
    const std::string path = fuzz::World() + "/gala.seed";
    std::string bytes;
    if (FileOpenFromCatalog(&file, path.c_str(), "wb", false)) {
      WriteGalaxyGrid(grid.get(), &file);
      FileClose(&file);
      if (fuzz::ReadFile(path, &bytes)) seeds.push_back(bytes);
    }
  }
  return seeds;
}

Seeds SvalSeeds() {
  fuzz::Engine();
  Seeds seeds;
  ScriptValue v{}, key{}, data{};
  SetValueInt(&v, -12345);
  seeds.push_back(ExportedDocument(&v));
  SetValueDouble(&v, 2.5e-3);
  seeds.push_back(ExportedDocument(&v));
  SetValueString(&v, "text with <markup> & \"quotes\"");
  seeds.push_back(ExportedDocument(&v));
  ReleaseValue(&v);

  AllocTableValue(&v);
  SetValueInt(&key, 1);
  SetValueString(&data, "one");
  TableSet(&v, &key, &data);
  SetValueString(&key, "inner");
  AllocArrayValue(&data, 3);
  ArrayWriteInt(&data, 0, 9);
  ArrayWriteInt(&data, 2, -9);
  TableSet(&v, &key, &data);
  ReleaseValue(&key);
  ReleaseValue(&data);
  seeds.push_back(ExportedDocument(&v));
  ReleaseValue(&v);

  AllocArrayValue(&v, 2);  // never written: the deferred form
  seeds.push_back(ExportedDocument(&v));
  ReleaseValue(&v);

  // Plain documents for the element import.
  seeds.push_back("<ship name=\"Kestrel\" crew=\"4\"><deck level=\"1\">bridge</deck><deck/>text<!-- c --></ship>");
  return seeds;
}

// ---------------------------------------------------------------------------------------------

Seeds SettingsSeeds() {
  const std::string& world = fuzz::World();
  const std::string file = world + "/config/registry.xml";
  Seeds seeds;
  RegistrySetFilePath(file.c_str());
  SystemBlock& s = *gSystem;
  StartupBlock& u = gStartup;
  s.captureFolder = ReplaceString(s.captureFolder, "shots\\mine");
  u.adapterName = ReplaceString(u.adapterName, "Card Zero");
  u.adapterOrdinal = 1;
  s.screenWidth = 1600;
  s.screenHeight = 1200;
  u.displayFormat = 22;
  s.colourDepth = 32;
  s.videoFlags = 0x100;
  s.defaultProfile = ReplaceString(s.defaultProfile, "default");
  s.modName = ReplaceString(s.modName, "bigmod");
  gLogoPictureName = ReplaceString(gLogoPictureName, "logo3.bmp");
  gLogoPictureNumber = 3;
  u.waveFormat = WaveFormat{1, 2, 44100, 176400, 4, 16, 0};
  SaveSettings();
  WriteProfileString("LastProfile", "pilot one");
  WriteProfileValue("Language", 44);
  std::string bytes;
  if (fuzz::ReadFile(file, &bytes)) seeds.push_back(bytes);
  seeds.push_back(
      "<registry><key name=\"Software\"><key name=\"KORVANE\"><key name=\"VexaNL\">"
      "<value name=\"VideoWidth\" type=\"dword\" dword=\"800\"/>"
      "<value name=\"InputJoyGUID\" type=\"binary\" hex=\"000102030405060708090a0b0c0d0e0f\"/>"
      "<value name=\"ModName\" type=\"sz\" text=\"m\"/>"
      "<key name=\"Values\"><value name=\"Language\" type=\"dword\" dword=\"49\"/></key>"
      "</key></key></key></registry>\n");
  return seeds;
}

// ---------------------------------------------------------------------------------------------

const char* const kScripts[] = {
    // The assembler's own example.
    ".global int 0\n"
    ".func Main main frame=4\n"
    "main:\n"
    "  check 4\n"
    "  push3\n"
    "  push1\n"
    "  call square\n"
    "  mvg 0\n"
    "  push0\n"
    "  ret\n"
    "square:\n"
    "  ldl 4\n"
    "  ldl 5\n"
    "  mul\n"
    "  ret\n",
    // Classes, fields, statics of every type, patches.
    ".header 5\n"
    ".global int 7\n"
    ".global str \"hello\"\n"
    ".global float 1.5\n"
    ".global array\n"
    ".global table rev=3\n"
    ".func Main main frame=4\n"
    ".class 9\n"
    "  .method Stop stop\n"
    "  .method Run run9\n"
    "  .field int 90\n"
    "  .field str \"field\"\n"
    ".end\n"
    ".class 4 super=9\n"
    "  .method Run run4 params=1\n"
    "  .field int 40 rev=2\n"
    ".end\n"
    ".patch 0 10 main 20 0\n"
    "main: push0\n"
    "  ret\n"
    "run9: push1\n"
    "  ret\n"
    "run4: push2\n"
    "  ret\n"
    "stop: push3\n"
    "  ret\n",
    // Jumps, both switches, calls by name, natives, texts.
    ".func Main main frame=2\n"
    ".class 3\n"
    "  .method Go go params=1\n"
    ".end\n"
    "main:\n"
    "  check 2\n"
    "  pushb 2\n"
    "  switch 0 other zero one two\n"
    "zero: pushs \"zero\"\n"
    "  jmp join\n"
    "one: pushw 300\n"
    "  jmp join\n"
    "two: pushi 70000\n"
    "  sswitch other 1 zero 5 one \"five\" two \"ten\" zero\n"
    "other: pushd 2.5\n"
    "join: dup\n"
    "  push1\n"
    "  native SE_Print\n"
    "  pop\n"
    "  ldl 1\n"
    "  jt skip\n"
    "  pushs \"Go\"\n"
    "  push0\n"
    "  callname Go\n"
    "skip: push1\n"
    "  push2\n"
    "  jlt done\n"
    "  nop\n"
    "done: push0\n"
    "  ret\n"
    "go: ldl 4\n"
    "  addb 1\n"
    "  mkarray 2\n"
    "  mktable 0\n"
    "  popn 2\n"
    "  ret\n",
};

// 3D texts: a layout flag byte, then the text: plain, two- and three-byte characters, the
// letters with bodies of their own, a four-byte lead, leads cut off by the end, and the null text.
Seeds TextInstanceSeeds() {
  const std::string kTexts[] = {"Ab",
                                "\xC3\x84rger \xC3\x9F\xC3\xBC",
                                "\xE2\x82\xAC 5",
                                "a\xF0\x9F\x98\x80z",
                                "a\xC3",
                                "a\xE2\x82",
                                "\x01~\x7F",
                                "The quick brown fox jumps over the lazy dog."};
  const uint8_t kFlags[] = {0, 2, 4 | 0x20, 0x40};
  Seeds seeds;
  for (size_t i = 0; i < std::size(kTexts); ++i) seeds.push_back(std::string(1, char(kFlags[i % 4])) + kTexts[i]);
  seeds.push_back(std::string(1, '\0'));  // the null text
  return seeds;
}

// Key streams in both forms from the writer of the key reader's tests; the first byte picks the
// form as the target reads it.
Seeds CutKeySeeds() {
  Seeds seeds;
  for (bool binary : {true, false}) {
    const std::string form(1, binary ? '\0' : '\1');
    seeds.push_back(form + CutKeyStream(SampleCutKeys(), binary, binary ? "keys.bin" : "keys.txt"));
    std::vector<CutKeySpec> many(150, CutKeySpec{0x4000 | 0x800, {1, 2, 3}, {0x4000, 0, 0, 0, 0}, {}, {}, 0, {}, 1000, 10});
    seeds.push_back(form + CutKeyStream(many, binary, binary ? "many.bin" : "many.txt"));
  }
  return seeds;
}

Seeds LoaderSeeds() {
  Seeds seeds;
  for (const char* text : kScripts) {
    for (bool plainPool : {false, true}) {
      AsmOptions options;
      options.plainPool = plainPool;
      AsmResult result = Assemble(text, options);
      if (!result.ok) {
        std::fprintf(stderr, "seed script does not assemble: %s\n", result.error.c_str());
        continue;
      }
      seeds.push_back(Bytes(result.bytes));
    }
  }
  return seeds;
}

// ---------------------------------------------------------------------------------------------

// The content of a gzip file (the reader's input form in the corpus is unpacked).
std::string Gunzip(const std::string& path) {
  std::string bytes;
  gzFile gz = gzopen(path.c_str(), "rb");
  if (gz == nullptr) return bytes;
  char buffer[4096];
  int got;
  while ((got = gzread(gz, buffer, sizeof buffer)) > 0) bytes.append(buffer, size_t(got));
  gzclose(gz);
  return bytes;
}

// Scripts of the kind the input tests play: keys, mouse, wheel and a virtual stick over frames.
Seeds InputScriptSeeds() {
  const std::vector<std::vector<InputScriptLine>> scripts = {
      {{2, kScriptKey, 4, 1}, {3, kScriptKey, 4, 0}, {4, kScriptAxis, 0, 32767}, {4, kScriptHat, 2, 0},
       {5, kScriptButton, 3, 1}, {6, kScriptWheel, 1, 0}, {7, kScriptClick, 0, 1}},
      {{0, kScriptMouse, -40, 12}, {0, kScriptClick, 1, 1}, {1, kScriptClick, 1, 0}, {9, kScriptWheel, -3, 0}},
      {{1, kScriptKey, 225, 1}, {1, kScriptKey, 4, 1}, {2, kScriptKey, 4, 0}, {2, kScriptKey, 225, 0},
       {10, kScriptAxis, 5, -32768}, {10, kScriptButton, 31, 1}},
  };
  Seeds seeds;
  for (const auto& script : scripts) seeds.push_back(WriteInputScript(script));
  seeds.push_back("# comment\n\n1\tkey 4 1 # a\r\n");
  return seeds;
}

// A running universe for a save: a sector holding one object of several classes; its camera
// follows the ship along y, so the save carries a camera record.
void FillSaveUniverse() {
  auto* sector = static_cast<SectorObject*>(AllocObjectRecord(kClassSector));
  CreateSector(sector, MakeTypeWord(kClassSector, 0));
  SpaceObject* first = nullptr;
  for (uint16_t c : {kClassShip, kClassDock, kClassFactory, kClassGate, kClassAsteroid, kClassLaser,
                     uint16_t{11}, kClassDebris, kClassCamera}) {
    SpaceObject* o = AllocObjectRecord(c);
    if (!CreateObject(o, MakeTypeWord(c, 0))) continue;
    ObjectListRemove(o);
    ObjectListAddTail(ObjectChildren(sector), o);
    o->parent = sector;
    if (!first) first = o;
    if (c == kClassCamera && o->ext) {
      auto* cam = static_cast<CameraExt*>(o->ext);
      cam->followedObject = first;
      cam->words[kCameraFollowOffsetWord] = 5000;
      cam->words[kCameraFollowAxisWord] = 2;
    }
  }
}

Seeds SaveGameSeeds() {
  const std::string& path = fuzz::SaveWorld();
  Seeds seeds;
  // A game without cockpits, then one with a GUI master (its section is written only then), then
  // one with a universe, then one whose scene engine holds a full "B3D " section.
  for (int round = 0; round < 4; ++round) {
    const bool withCockpits = round > 0;
    if (withCockpits && gGuiMaster == nullptr) {
      gGuiMaster = static_cast<GuiMaster*>(MemCalloc(sizeof(GuiMaster)));
      InitGuiMaster(gGuiMaster);
    }
    if (!fuzz::LoadSaveWorldStory()) continue;
    if (round == 2) FillSaveUniverse();
    if (round == 3) fuzz::FillSaveEngine();
    gGameState->subMode = 9;  // the story's class: a save whose sub-mode names no object is refused
    gGameState->parameter = 1203;
    gSystem->gameTime = 500000;
    if (WriteSaveGame(0, "Caption one", round == 1 ? "" : "Caption two", 7)) seeds.push_back(Gunzip(path));
    fuzz::ResetSaveWorld();
  }
  return seeds;
}

// "SFX " sections by the section writer: nothing playing, owners waiting on channels (one with
// a module past the table, one with priority -1) and in the overflow slot.
Seeds SoundSaveSeeds() {
  const std::string path = fuzz::World() + "/sfx.seed";
  Seeds seeds;
  const bool mine = gScriptSound == nullptr;
  if (mine && !InitSoundModule()) return seeds;
  const auto write = [&] {
    FileObject file;
    FileObjectInit(&file);
    if (!FileOpen(&file, path.c_str(), "wbT", false)) return;
    const bool ok = WriteSoundState(&file) == 1;
    FileClose(&file);
    std::string bytes;
    if (ok && fuzz::ReadFile(path, &bytes)) seeds.push_back(bytes);
  };
  write();
  const int32_t owners[][4] = {{0, 3, 1, 77}, {5, -1, 1, 2}, {9, 20, 32, 4}, {31, 255, 1, 9}};
  for (const auto& o : owners) {
    SoundChannelSlot* slot = gScriptSound->slots[o[0]];
    slot->priority = static_cast<int16_t>(o[1]);
    slot->ownerModule = o[2];
    slot->ownerHandle = o[3];
  }
  gScriptSound->overflow->priority = 4;
  gScriptSound->overflow->ownerModule = 1;
  gScriptSound->overflow->ownerHandle = 100;
  write();
  if (mine) ShutdownSoundModule();
  return seeds;
}

// The demo generator's "Materials" file in both forms, the form byte first.
Seeds MaterialSeeds() { return {fuzz::MaterialsFile(false), fuzz::MaterialsFile(true)}; }

// Text bodies: the demo generator's two, and small ones that reach the parser's other paths (a
// kind-3 and a kind-5 material table, a part centred on a point, faces of two corners).
Seeds BodyTextSeeds() {
  return {
      bodytool::CubeBodyText(),
      bodytool::TwoPartBodyText(),
      "MATERIAL3: 4; 0; 0;0;0; 200;0;0; 0;0;0; 0;0;0;0; 1; 1;0; 0; 5;0; 6;0;\n"
      "BODIES: 10;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; 0;0;10; -1;-1;-1;\n"
      "PARTS: 4; 0;1;2;3; -17; 9; -1; 0;1; -1; -99; 4; 3; -99; 0;\n",
      "MATERIAL5: 0; 0; 0;0;0; 0;0;0; 0;0;0; 0;0;0;0; 0; 0;0; 0; 0;0; 0;0; -3;0;\n"
      "BODIES: 10;\nBONES: 1; root;\nPOINTS: 0;0;0; 10;0;0; 0;10;0; -1;-1;-1;\n"
      "WEIGHTS: 0;1.0;-1; 0;0.5;0;0.5;-1; 0;1.0;-1;\n"
      "PARTS: 0; 0;1;2; -152; 4; 0;0; 1.0;0; 0;1.0; 0;0; 0;0; 0;0; -99; 2; -99; 1;\n"
      "20; POINTS: 0;0;0; 5;0;0; 0;5;0; -1;-1;-1;\nPARTS: -1; 0;1;2; -1; -99; 0; -99; 0;\n",
  };
}

// Binary bodies: the text body seeds, converted by the engine's own parser and binary writer.
Seeds BodyBinarySeeds() {
  fuzz::WriteFile("vc/.keep", "");  // the writer's conversion folder in the world
  bodytool::PrepareBodyConversion();
  Seeds seeds;
  int32_t id = 1;
  for (const std::string& text : BodyTextSeeds()) {
    if (bodytool::ConvertTextBody(id, text)) seeds.push_back(ReadWorldFile(bodytool::BinaryBodyPath(id)));
    ++id;
  }
  return seeds;
}

// The demo generator's "Animations" file in both forms (the form byte first), and saved states
// (mode byte 2, the state count, then what SaveTexAnimStates writes over the same file's table,
// which the target reads as well).
Seeds TextureAnimationSeeds() {
  Seeds seeds = {fuzz::AnimationsFile(false), fuzz::AnimationsFile(true)};
  std::string table = seeds[0].empty() ? seeds[0] : seeds[0].substr(1);
  DataReader reader;
  DataReaderInit(&reader, table.data(), false, table.size() + 1);
  ReadTextureAnimationSection(&reader);
  // A loop running backwards, a ping-pong, the frame-by-frame kind, a movie strip and an
  // immediate state.
  const int32_t ids[5] = {0, 1, 3, 4, -7};
  TexAnimState* states = TexAnimCreateRecords(5, ids, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (states) {
    states[0].flags |= kTexAnimBackwards;
    FileObject file;
    FileObjectInit(&file);
    if (FileOpen(&file, (fuzz::World() + "/anims.seed").c_str(), "wbT", false)) {
      const bool saved = SaveTexAnimStates(5, &file, states);
      FileCloseHandle(&file);
      if (saved) seeds.push_back(std::string("\x02\x04", 2) + ReadWorldFile("anims.seed"));
    }
    TexAnimFreeRecords(5, states);
  }
  FreeTextureAnimations();
  return seeds;
}

// ---------------------------------------------------------------------------------------------

void AppendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

Seeds GpuImageSeeds() {
  Seeds seeds;
  // DDS files: each format with a short mip chain, and a cube.
  struct Dds {
    uint32_t format, width, height, levels;
    bool cube;
  };
  const Dds kDds[] = {{kGpuFmtA8R8G8B8, 8, 4, 4, false}, {kGpuFmtX8R8G8B8, 4, 4, 1, true}, {kGpuFmtR5G6B5, 4, 4, 3, false},
                      {kGpuFmtL8, 8, 8, 1, false},       {kGpuFmtDxt1, 8, 8, 2, false},    {kGpuFmtDxt3, 4, 4, 1, false},
                      {kGpuFmtDxt5, 8, 4, 2, false},     {kGpuFmtA16B16G16R16, 2, 2, 2, false}};
  for (const Dds& d : kDds) {
    std::vector<uint8_t> data;
    for (uint32_t face = 0; face < (d.cube ? 6u : 1u); ++face)
      for (uint32_t level = 0; level < d.levels; ++level) {
        size_t bytes = GpuPixelLevelBytes(d.format, GpuDdsLevelSide(d.width, level), GpuDdsLevelSide(d.height, level));
        for (size_t i = 0; i < bytes; ++i) data.push_back(uint8_t(i * 29 + face * 7 + level));
      }
    std::vector<uint8_t> file;
    if (GpuDdsWrite(d.format, d.width, d.height, d.levels, d.cube, data, &file)) seeds.push_back(Bytes(file));
  }
  // Pictures written by stb_image_write: TGA plain and run-length coded, JPEG, PNG and BMP.
  std::vector<uint8_t> rgba;
  for (int p = 0; p < 8 * 6; ++p) rgba.insert(rgba.end(), {uint8_t(p * 5), uint8_t(255 - p), uint8_t(p % 3 * 90), uint8_t(p * 40)});
  for (int channels : {3, 4}) {
    for (int rle : {0, 1}) {
      std::string out;
      stbi_write_tga_with_rle = rle;
      stbi_write_tga_to_func(AppendBytes, &out, 8, 6, channels, rgba.data());
      seeds.push_back(out);
    }
    std::string bmp, png;
    stbi_write_bmp_to_func(AppendBytes, &bmp, 8, 6, channels, rgba.data());
    stbi_write_png_to_func(AppendBytes, &png, 8, 6, channels, rgba.data(), 8 * channels);
    seeds.push_back(bmp);
    seeds.push_back(png);
  }
  std::string jpg;
  stbi_write_jpg_to_func(AppendBytes, &jpg, 8, 6, 4, rgba.data(), 80);
  seeds.push_back(jpg);
  // The device layer's own bitmap writer, from a surface of the null device.
  GpuSetBackend(kGpuBackendNull);
  if (GpuSystem* system = GpuCreateSystem(kGpuSdkVersion)) {
    GpuPresentParameters parameters{};
    parameters.backBufferWidth = 8;
    parameters.backBufferHeight = 8;
    parameters.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.swapEffect = kGpuSwapEffectDiscard;
    parameters.windowed = 1;
    GpuDevice* device = nullptr;
    GpuSurface* surface = nullptr;
    if (GpuSucceeded(system->CreateDevice(0, kGpuDevTypeHal, nullptr, kGpuCreateHardwareVertexProcessing, &parameters,
                                          &device)) &&
        GpuSucceeded(device->CreateOffscreenPlainSurface(5, 3, kGpuFmtR5G6B5, kGpuPoolSystemMem, &surface))) {
      const std::string path = fuzz::World() + "/seed.bmp";
      std::string bmp;
      if (GpuSucceeded(GpuSaveSurfaceToBmp(path.c_str(), surface, nullptr)) && fuzz::ReadFile(path, &bmp))
        seeds.push_back(bmp);
      fuzz::RemoveFile("seed.bmp");
    }
    if (surface) surface->Release();
    if (device) device->Release();
    system->Release();
  }
  return seeds;
}

// The picture loader's input: a selector byte (extension and load flags) and a TGA or JPEG file,
// from the demo generator's pictures and the image layer's own seeds.
Seeds ImageFileSeeds() {
  Seeds seeds;
  std::vector<std::string> files;
  for (const auto& image : image_tool::DemoDefaultImages()) files.emplace_back(image.bytes.begin(), image.bytes.end());
  for (uint8_t type : {2, 10})
    for (uint8_t bits : {16, 24, 32}) {
      const auto tga = image_tool::MakeTga(type, bits, 5, 3, {0xFF102030, 0x80FFFFFF, 0, 0x12345678});
      files.emplace_back(tga.begin(), tga.end());
    }
  for (const std::string& picture : GpuImageSeeds()) files.push_back(picture);
  for (const std::string& file : files) {
    const bool jpg = file.size() > 2 && uint8_t(file[0]) == 0xFF && uint8_t(file[1]) == 0xD8;
    for (uint8_t flags = 0; flags < 4; ++flags) seeds.push_back(std::string(1, char(flags << 1 | (jpg ? 1 : 0))) + file);
  }
  return seeds;
}

// The font loader's input: a selector byte, the sheet's 16-bit length, the sheet and the metrics:
// the demo font (BMP and "siz") and a TGA sheet with "abc" metrics of both versions.
Seeds FontFileSeeds() {
  Seeds seeds;
  auto seed = [&](uint8_t selector, const image_tool::Bytes& sheet, const image_tool::Bytes& metrics) {
    std::string s(1, char(selector));
    s += char(sheet.size() >> 8);
    s += char(sheet.size() & 0xFF);
    s.append(sheet.begin(), sheet.end());
    s.append(metrics.begin(), metrics.end());
    seeds.push_back(s);
  };
  const auto demo = image_tool::DemoFontFiles();
  // 0x60: cells of 8 (1 + 3, doubled would be 8); BMP sheet, "siz" metrics, with and without cache.
  seed(0x61 | 0x4, demo[0].bytes, demo[1].bytes);
  seed(0x61 | 0x4 | 0x8 | 0x10, demo[0].bytes, demo[1].bytes);
  seed(0x61, demo[0].bytes, {});
  std::vector<uint32_t> pixels(16 * 8);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 3 ? 0xFFFFFFFF : 0x40FFFFFF;
  const auto tga = image_tool::MakeTga(2, 32, 16, 8, pixels);
  const std::vector<image_tool::AbcGlyph> glyphs = {{0.0f, 0.0f, 1.0f, 1, 3, 4}, {0.25f, 0.0f, 0.5f, 0, 2, 2},
                                                    {0.5f, 0.5f, 1.0f, -1, 4, 5}};
  seed(0x2, tga, image_tool::MakeAbcV4('a', 'c', glyphs));
  std::vector<uint16_t> remap(0x20AD, 0);
  remap['A'] = 1;
  remap[0xE9] = 2;
  remap[0x20AC] = 7;
  seed(0x2 | 0x8 | 0x10, tga, image_tool::MakeAbcV5(remap, glyphs));
  return seeds;
}

Seeds GpuEffectSeeds() {
  return {
      "# plain colour\n"
      "param float4x4 g_mWorldViewProjection\n"
      "param float4 g_Color = 1 1 1 1\n"
      "annotation string UIName = \"Colour\"\n"
      "technique DEFAULT ps_2_0\n"
      "pass P0\n"
      "annotation string RenderColorTarget0 = \"t_SceneMap\"\n"
      "state CullMode = NONE\n"
      "vertex\n"
      "layout(location = GPU_ATTR_POSITION) in vec3 inPosition;\n"
      "void main() { gl_Position = vec4(inPosition, 1.0) * g_mWorldViewProjection; }\n"
      "end\n"
      "fragment\n"
      "void main() { gpu_FragColor = g_Color; }\n"
      "end\n",
      "param float3x3 g_mRot\n"
      "param int g_nNumLightPoint = 2\n"
      "param bool g_EnableFog = false\n"
      "param float g_SrcBlend = 5\n"
      "param float2 g_FogClip = 1, 0\n"
      "param float3 LightDir_Dir0 = 0 0 1\n"
      "param texture t_DiffuseTexture\n"
      "param texturecube t_EnvMap\n"
      "param string g_Name = \"lights\"\n"
      "param struct g_LightPoint[10] { float3 pos, float4 color, float4 atten }\n"
      "param float g_Weights[3] = 0.25 0.5 0.25\n"
      "technique BUMPMAP ps_3_0\n"
      "pass P0\n"
      "state AlphaBlendEnable = TRUE\n"
      "state SrcBlend = g_SrcBlend\n"
      "state DestBlend = INVSRCALPHA\n"
      "sampler 0 = t_DiffuseTexture\n"
      "samplerstate 0 MinFilter = LINEAR\n"
      "samplerstate 0 AddressU = WRAP\n"
      "sampler 1 = t_EnvMap\n"
      "vertex\n"
      "layout(location = GPU_ATTR_POSITION) in vec3 inPosition;\n"
      "void main() { gl_Position = vec4(g_mRot * inPosition, 1.0); }\n"
      "end\n"
      "fragment\n"
      "void main() {\n"
      "  vec4 sum = texture(t_DiffuseTexture, vec2(0.5)) + texture(t_EnvMap, LightDir_Dir0) * g_Weights[1];\n"
      "  for (int i = 0; i < g_nNumLightPoint; ++i) sum += g_LightPoint[i].color;\n"
      "  gpu_FragColor = g_EnableFog ? sum * g_FogClip.x : sum;\n"
      "}\n"
      "end\n"
      "technique DEFAULT\n"
      "pass P0\n"
      "vertex\n"
      "void main() { gl_Position = vec4(0.0); }\n"
      "end\n"
      "fragment\n"
      "void main() { gpu_FragColor = vec4(1.0); }\n"
      "end\n",
  };
}

// Short generated movies (with and without sound) and a soundtrack, as the media tests make them.
Seeds MediaDecoderSeeds() {
  static const uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF};
  const MediaClipRecipe kRecipes[] = {
      {32, 32, 25, 400, kColours, 3, 440},
      {48, 32, 25, 300, kColours, 3, 0},
      {0, 0, 0, 300, nullptr, 0, 440},
  };
  Seeds seeds;
  for (const MediaClipRecipe& recipe : kRecipes) {
    char path[] = "/tmp/korvane-media-seed-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) continue;
    close(fd);
    if (MediaWriteClip(path, &recipe)) {
      std::FILE* file = std::fopen(path, "rb");
      std::string bytes;
      char buffer[4096];
      size_t n = 0;
      while (file && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
      if (file) std::fclose(file);
      if (!bytes.empty()) seeds.push_back(bytes);
    }
    std::remove(path);
  }
  return seeds;
}

// The demo's eight engine type files in both forms, behind the byte that picks loader and form,
// and a few short damaged ones.
Seeds EngineTypeFileSeeds() {
  fuzz::World();  // the writer writes into the current folder, which the world becomes
  Seeds seeds;
  const auto files = typetool::DemoTypeFiles();
  for (size_t k = 0; k < files.size(); ++k) {
    for (bool binary : {false, true}) {
      const std::string bytes = typetool::TypeFileBytes(binary ? "seed.pck" : "seed.txt", files[k].fields, binary,
                                                        files[k].sections, files[k].sectionCount);
      seeds.push_back(std::string(1, char(k | (binary ? 8 : 0))) + bytes);
    }
  }
  seeds.push_back(std::string(1, '\x02') + "2; 7; 1; 2; 3; 4; 0; 0; 0; 0; 1000; ");
  seeds.push_back(std::string(1, '\x0B') + std::string("\0\0\0\x01\0\0\0\x04\x7F\xFF\xFF\xFF\0\0\0\0", 16));
  return seeds;
}

// "MOVI" sections by the section writer: nothing open, then records of every kind (a voice
// stream, a connected one, one played with owner and range) with the voice information loaded.
Seeds MovieSaveSeeds() {
  fuzz::SetUpMovieWorld();
  const std::string path = fuzz::World() + "/movi.seed";
  Seeds seeds;
  const auto write = [&] {
    FileObject file;
    FileObjectInit(&file);
    if (!FileOpen(&file, path.c_str(), "wbT", false)) return;
    const bool ok = WriteMovieState(&file) == 1;
    FileClose(&file);
    std::string bytes;
    if (ok && fuzz::ReadFile(path, &bytes)) seeds.push_back(bytes);
  };
  write();
  MovieOpen(800, 0);
  MovieConnectTexture(MovieOpen(5, 0), 70);
  if (MovieRecord* voice = MovieOpen(144, 0)) {
    voice->ownerModule = 3;
    voice->ownerHandle = 17;
    voice->start = 1500;
    voice->end = 3000;
    voice->voiceLanguage = 44;
    voice->voicePage = 1;
  }
  MOV_LoadVoiceInfo(44);
  write();
  fuzz::ClearMovieWorld();
  return seeds;
}

// "INS " sections by the section writer: no cockpit, then cockpits whose references name the
// world's records (lights, slot instances, cameras, the sidebar) with target references.
// "SECT" sections by the section writer: an empty universe, the busy universe the target reads
// into, and a small one with a top-level object and a transient instance.
Seeds UniverseSaveSeeds() {
  fuzz::World();
  Seeds seeds;
  {
    UniverseSaveWorld world;
    seeds.push_back(world.Write());
  }
  {
    UniverseSaveWorld world;
    world.FillBusy(2, 40);
    seeds.push_back(world.Write());
    seeds.push_back(world.Write(true));  // with the simulation state and camera words behind it
  }
  {
    UniverseSaveWorld world;
    SectorObject* sector = world.Sector();
    SpaceObject* ship = world.Add(kClassShip, sector, "Seed");
    if (ship->instance) ship->instance->flags2 |= kInst2NotSaved;
    world.Add(kClassAsteroid, nullptr);
    world.Take(sector, {ship});
    seeds.push_back(world.Write());
  }
  return seeds;
}

Seeds CockpitSaveSeeds() {
  const std::string path = fuzz::World() + "/ins.seed";
  Seeds seeds;
  const auto write = [&] {
    FileObject file;
    FileObjectInit(&file);
    if (!FileOpen(&file, path.c_str(), "wbT", false)) return;
    const bool ok = WriteCockpitChunk(&file);
    FileClose(&file);
    std::string bytes;
    if (ok && fuzz::ReadFile(path, &bytes)) seeds.push_back(bytes);
  };
  for (int cockpits = 0; cockpits <= 2; ++cockpits) {
    const fuzz::CockpitWorld& world = fuzz::BuildCockpitWorld();
    gGuiMaster->sidebarInstance = world.instances[3];
    for (int i = 0; i < cockpits; ++i) {
      CockpitRecord* k = CockpitFromHandle(gGuiMaster, CockpitAlloc(gGuiMaster));
      if (!k) break;
      k->sectorCamera = world.cameras[i];
      k->radarMode = 2;
      if (i == 0) {
        k->instances[0] = world.light;
        FreeInstance(k->elements.slots[0].instance);
        k->elements.slots[0].instance = world.instances[0];
        k->elements.slots[0].visible = 1;
        if (AllocSlotRefs(k, 2)) {
          auto* ref = static_cast<CockpitSlot*>(MemCalloc(sizeof(CockpitSlot)));
          CockpitSlotInit(ref);
          ref->instance = world.instances[1];
          ref->bodyId = 6;
          k->targetRefs[1] = ref;
        }
      }
    }
    write();
    fuzz::ClearCockpitWorld();
  }
  return seeds;
}

// The demo's universe type files in both forms, and a Components file as the loader writes it.
Seeds UniverseTypesSeeds() {
  fuzz::World();
  Seeds seeds;
  std::vector<typetool::TypeFile> files = typetool::DemoUniverseAuxFiles();
  for (const typetool::TypeFile& file : typetool::DemoUniverseClassFiles()) files.push_back(file);
  for (const typetool::TypeFile& file : files) {
    for (bool binary : {false, true}) {
      const std::string bytes = typetool::TypeFileBytes(binary ? "seed.pck" : "seed.txt", file.fields, binary);
      seeds.push_back(std::string(1, binary ? '\x01' : '\0') + bytes);
    }
  }
  const ComponentPoint points[2] = {{1, {65536, -32768, 7}, {0, 0, 65536}}, {0, {3, 4, 5}, {0, 0, 0}}};
  AppendComponentEntry(0, 1, points, 2);
  AppendComponentEntry(2, 2, points + 1, 1);
  std::string written;
  if (WriteComponentsFile("seed_components.txt") && fuzz::ReadFile("seed_components.txt", &written))
    seeds.push_back(std::string(1, '\0') + written);
  FreeComponentTable();
  return seeds;
}

// The demo's "effects" file in both forms.
Seeds EffectsSeeds() {
  fuzz::World();
  const typetool::TypeFile file = typetool::DemoEffectsFile();
  Seeds seeds;
  for (bool binary : {false, true}) {
    const std::string bytes = typetool::TypeFileBytes(binary ? "seed.pck" : "seed.txt", file.fields, binary);
    seeds.push_back(std::string(1, binary ? '\x01' : '\0') + bytes);
  }
  return seeds;
}

// The demo's cut in both forms, read through the loader (even first byte) and straight (odd).
Seeds CutFileSeeds() {
  const typetool::CutContent cut = typetool::DemoCut();
  const std::string text = typetool::CutText(cut);
  const std::string binary = typetool::CutBinary(cut);
  typetool::CutContent old = cut;
  old.version = 1;
  return {std::string(1, '\0') + text,           std::string(1, '\0') + binary,
          std::string(1, '\x01') + text,         std::string(1, '\x03') + binary,
          std::string(1, '\0') + typetool::CutText(old),
          std::string(1, '\x01') + "VER: 2;\nP 1; B 3; L { BODIES: 10; } T 5; a; -1; K 1; 2; 0.5; j E { 1; 0; }\n"};
}

// Cuts whose notes and body ids reach every case of the note syntax and of the take objects, in
// the text form (first byte 0) and the binary form (1).
Seeds CutEventsSeeds() {
  typetool::CutContent cut = typetool::DemoCut();
  typetool::CutPathPlan notes = cut.paths[1];
  notes.serial = 3;
  notes.body = "-1";
  notes.name = "Cam1";
  notes.notes = {{0, "EVENT Boom  "},       {10, "event speak hello"}, {40, "event speak again"},
                 {2510, "endspeak"},        {2600, "end speak"},       {2600, "camera Cam1"},
                 {2700, "camera \t cube"}, {2800, "start intro"},     {3000, "event frame"}};
  cut.paths.push_back(notes);
  for (const char* body : {"-2", "1123", "2123", "3950", "-1"}) {
    typetool::CutPathPlan light = cut.paths[1];
    light.serial = static_cast<int32_t>(cut.paths.size()) + 1;
    light.body = body;
    light.notes = {{5, std::string("camera ") + std::string(300, 'x')}};
    cut.paths.push_back(light);
  }
  return {std::string(1, '\0') + typetool::CutText(cut), std::string(1, '\x01') + typetool::CutBinary(cut),
          std::string(1, '\0') + typetool::CutText(typetool::DemoCut())};
}

// Scene object inputs: a selector (cut form and one of the scene cut ids), factories with
// dummies, hubs and many nodes, then a cut whose paths reach every body id rule.
Seeds SceneObjectsSeeds() {
  auto be16 = [](int32_t v) { return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; };
  auto node = [&](int kind, int32_t x, int32_t y, int32_t z, int yaw, int32_t size) {
    return std::string(1, static_cast<char>(kind)) + be16(x) + be16(y) + be16(z) + std::string(1, static_cast<char>(yaw)) +
           be16(size);
  };
  auto factory = [&](int32_t x, int32_t y, int32_t z, const std::vector<std::string>& nodes) {
    std::string s = std::string(1, '\0') + be16(x) + be16(y) + be16(z) + std::string(1, static_cast<char>(nodes.size()));
    for (const std::string& n : nodes) s += n;
    return s;
  };
  std::vector<std::string> many;
  for (int k = 0; k < 34; ++k) many.push_back(node(0, 100 * k, 0, 0, k, 0));
  const std::string factories = std::string(1, '\x03') + factory(0, 0, 0, {node(0, 0, 0, 0, 0, 0)}) +
                                factory(5000, 0, 0, {node(1, 0, 0, 0, 0, 1000)}) +
                                factory(0, 0, 0, {node(0, 0, 0, 0, 0, 0)}) + factory(-3000, 100, 0, many);
  typetool::CutContent cut;
  const char* bodies[] = {"-1", "1500", "2500", "3500", "5000", "4010", "4445", "124", "99999", "9999", "777", "778", "4446"};
  int32_t serial = 0;
  for (const char* body : bodies) {
    typetool::CutPathPlan path;
    path.serial = ++serial;
    path.body = body;
    path.blockKind = 1;
    path.blocks = {{{100, 200, 300, {0x2000, 0, 0}, 1500}, {-400, 0, 900, {0x4000, 0x1000, 0}, 0}}};
    if (std::string(body) == "5000") path.flags = 0x2;
    if (std::string(body) == "777") path.f = 1;
    if (std::string(body) == "778") path.f = serial;
    if (std::string(body) == "4446") path.flags = 0x20;
    path.name = "path" + std::to_string(serial);
    cut.paths.push_back(path);
  }
  const std::string head = be16(static_cast<int32_t>(factories.size()));
  Seeds seeds;
  for (int id = 0; id < 8; ++id) {
    seeds.push_back(std::string(1, static_cast<char>(id << 1)) + head + factories + typetool::CutText(cut));
    seeds.push_back(std::string(1, static_cast<char>((id << 1) | 1)) + head + factories + typetool::CutBinary(cut));
  }
  return seeds;
}

const std::map<std::string, std::function<Seeds()>>& Makers() {
  static const std::map<std::string, std::function<Seeds()>> kMakers = {
      {"pattern", PatternSeeds},
      {"catalog", CatalogSeeds},
      {"packed", PackedSeeds},
      {"data_reader_text", [] { return DataReaderSeeds(false); }},
      {"data_reader_binary", [] { return DataReaderSeeds(true); }},
      {"text_database", TextDatabaseSeeds},
      {"text_save", TextSaveSeeds},
      {"sval", SvalSeeds},
      {"universe_xml", UniverseXmlSeeds},
      {"galaxy", GalaxySeeds},
      {"sa_commands", SaCommandsSeeds},
      {"engine_natives", EngineNativesSeeds},
      {"settings", SettingsSeeds},
      {"loader", LoaderSeeds},
      {"cut_key", CutKeySeeds},
      {"save_game", SaveGameSeeds},
      {"input_script", InputScriptSeeds},
      {"wave_file", WaveFileSeeds},
      {"sound_table", SoundTableSeeds},
      {"icon_types", IconTypesSeeds},
      {"voice_info", VoiceInfoSeeds},
      {"sound_save", SoundSaveSeeds},
      {"movie_save", MovieSaveSeeds},
      {"cockpit_save", CockpitSaveSeeds},
      {"universe_save", UniverseSaveSeeds},
      {"materials", MaterialSeeds},
      {"texture_animation", TextureAnimationSeeds},
      {"body_text", BodyTextSeeds},
      {"body_binary", BodyBinarySeeds},
      {"gpu_image", GpuImageSeeds},
      {"texture_file", GpuImageSeeds},
      {"image_file", ImageFileSeeds},
      {"font_file", FontFileSeeds},
      {"gpu_effect", GpuEffectSeeds},
      {"media_decoder", MediaDecoderSeeds},
      {"engine_type_file", EngineTypeFileSeeds},
      {"cut_file", CutFileSeeds},
      {"cut_events", CutEventsSeeds},
      {"replay", fuzz::RecordedStreams},
      {"engine_save", fuzz::EngineSaveSections},
      {"universe_types", UniverseTypesSeeds},
      {"effects", EffectsSeeds},
      {"scene_objects", SceneObjectsSeeds},
      {"text_instance", TextInstanceSeeds},
  };
  return kMakers;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || Makers().count(argv[1]) == 0) {
    std::fprintf(stderr, "usage: korvane-fuzz-seeds TARGET FOLDER\ntargets:");
    for (const auto& [name, maker] : Makers()) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  const std::string folder = argv[2];
  const Seeds seeds = Makers().at(argv[1])();
  int written = 0;
  for (size_t k = 0; k < seeds.size(); ++k) {
    const std::string path = folder + "/seed-" + std::to_string(k);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      std::perror(path.c_str());
      return 1;
    }
    std::fwrite(seeds[k].data(), 1, seeds[k].size(), file);
    std::fclose(file);
    ++written;
  }
  if (written == 0) {
    std::fprintf(stderr, "no seeds for %s\n", argv[1]);
    return 1;
  }
  return 0;
}
