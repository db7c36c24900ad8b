// Cut files: loading by id with the cut table and the missing mark, the text form and the binary
// "CUT1" form of the same cut, binary cuts built byte by byte, text cut letter lists and limits,
// and damaged files that fail or stop without reading past their data.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/hash_table.h"
#include "bodies/body_text_writer.h"
#include "engine_types/demo_engine_files.h"
#include "scene/body_text.h"
#include "scene/cut_files.h"
#include "scene/cut_keys.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"
#include "scene/scene.h"
#include "support/engine_type_world.h"

namespace {

using typetool::Be32;
using typetool::Cstr;

std::string CutPath(int32_t id, bool binary) {
  char name[32];
  std::snprintf(name, sizeof name, "objects/cut/%05d.%s", static_cast<int>(id), binary ? "pbb" : "pbd");
  return name;
}

// Every field a reader fills, as text, so two cuts compare as one string.
std::string Picture(const CutRecord* cut, bool emptyNoteAsNone) {
  std::string s = "flags " + std::to_string(cut->originFlags) + " paths " + std::to_string(cut->pathCount) + "\n";
  for (int32_t i = 0; i < cut->pathCount; ++i) {
    const PathRecord& p = cut->paths[i];
    s += std::to_string(static_cast<int32_t>(p.lookupWord)) + " " + std::to_string(p.serial) + " " +
         std::to_string(p.pathWord) + " " + std::to_string(static_cast<int32_t>(p.loaderWord)) + " " +
         (p.name ? p.name : "(none)") + " " + std::to_string(p.flags) + " notes";
    for (int32_t n = 0; n < p.noteCount; ++n) {
      const char* text = p.notes[n].text;
      if (emptyNoteAsNone && text && !*text) text = nullptr;
      s += " " + std::to_string(p.notes[n].time) + ":" + (text ? text : "(none)");
    }
    s += " cons";
    for (uint32_t k = 0; k < p.bindingWord; ++k)
      s += " " + std::to_string(p.binding[2 * k]) + "/" + std::to_string(p.binding[2 * k + 1]);
    s += " keys " + std::to_string(p.positions.count) + " " + std::to_string(p.rotations.count);
    for (int32_t k = 0; k < p.positions.count; ++k)
      s += " " + std::to_string(p.positions.keys[k].time) + "@" + std::to_string(p.positions.keys[k].position.x) + "," +
           std::to_string(p.positions.keys[k].position.z);
    s += "\n";
  }
  return s;
}

TEST(CutFiles, DemoCutLoadsAlikeFromTextAndBinary) {
  EngineTypeWorld world;
  const typetool::CutContent content = typetool::DemoCut();
  world.WriteLoose(CutPath(1, false), typetool::CutText(content));
  world.WriteLoose(CutPath(2, true), typetool::CutBinary(content));
  CutRecord* text = J3D_LoadCut(1);
  CutRecord* binary = J3D_LoadCut(2);
  ASSERT_NE(text, nullptr);
  ASSERT_NE(binary, nullptr);
  // Only an empty note text differs: the text form gives none, the binary form an empty text.
  EXPECT_EQ(Picture(text, false), Picture(binary, true));
  EXPECT_EQ(binary->paths[0].notes[2].text[0], '\0');
  EXPECT_EQ(text->paths[0].notes[2].text, nullptr);

  const PathRecord& cube = text->paths[0];
  EXPECT_EQ(text->handle, 1u);
  EXPECT_EQ(text->originFlags, kCutAllPathsLoop) << "a path with \"s\" sets cut flag 4";
  EXPECT_EQ(cube.lookupWord, 1u);
  EXPECT_EQ(cube.pathWord, 0x6000u);
  EXPECT_EQ(cube.flags, kPathNamesBody | kPathFlagL | kPathFlagLD | kPathFlagS);
  EXPECT_STREQ(cube.name, "cube");
  ASSERT_EQ(cube.noteCount, 3);
  EXPECT_STREQ(cube.notes[1].text, "camera 2");
  ASSERT_EQ(cube.bindingWord, 1u);
  EXPECT_EQ(cube.binding[1], 0x8000);
  ASSERT_EQ(cube.positions.count, 4);
  EXPECT_EQ(cube.positions.keys[3].time, 3000);
  const PathRecord& fin = text->paths[1];
  EXPECT_EQ(fin.flags, kPathNamesBody | kPathFlagC | kPathLoops);
  EXPECT_EQ(static_cast<int32_t>(fin.loaderWord), -1);
  EXPECT_EQ(fin.name, nullptr);
  EXPECT_EQ(fin.positions.count, 3) << "two key blocks";
  EXPECT_EQ(GetCutByHandle(2), binary);
}

TEST(CutFiles, LoadedAndMissingCutsTouchNoFileAgain) {
  EngineTypeWorld world;
  world.WriteLoose(CutPath(1, false), typetool::CutText(typetool::DemoCut()));
  CutRecord* cut = J3D_LoadCut(1);
  ASSERT_NE(cut, nullptr);
  world.Remove(CutPath(1, false));
  EXPECT_EQ(J3D_LoadCut(1), cut) << "a loaded id needs no file";

  EXPECT_EQ(J3D_LoadCut(7), nullptr);
  EXPECT_EQ(CutIsMarkedAbsent(7), 1);
  world.WriteLoose(CutPath(7, false), typetool::CutText(typetool::DemoCut()));
  EXPECT_EQ(J3D_LoadCut(7), nullptr) << "a cut marked missing is not looked for again";
  EXPECT_FALSE(IsCutAvailable(7));
  EXPECT_TRUE(IsCutAvailable(1));
  EXPECT_EQ(J3D_LoadCut(-3), nullptr);
}

TEST(CutFiles, CutDataNamesTheFileAndFileNamesAreNotedOnRequest) {
  EngineTypeWorld world;
  SetCutDataName(4, "cut\\orbit");
  world.WriteLoose("objects/cut/orbit.pbb", typetool::CutBinary(typetool::DemoCut()));
  world.WriteLoose(CutPath(5, false), typetool::CutText(typetool::DemoCut()));
  world.engine().engineFlags |= kEngineNoteFileNames;
  ASSERT_NE(J3D_LoadCut(4), nullptr);
  ASSERT_NE(J3D_LoadCut(5), nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(HashGet(world.engine().cutFileNameTable, 4)), "objects\\cut\\orbit.pbb");
  EXPECT_STREQ(reinterpret_cast<const char*>(HashGet(world.engine().cutFileNameTable, 5)), "objects\\cut\\00005.pbd");
}

std::vector<uint32_t> gBlockKinds;

int32_t LoggingKeyReader(DataReader* reader, uint32_t kind, const char* fileName) {
  gBlockKinds.push_back(kind);
  return ReadPathKeys(reader, kind, fileName);
}

TEST(CutFiles, TextKeyBlocksTakeTheirKindFromVersionTwoOn) {
  struct Case {
    int32_t version;
    std::vector<uint32_t> kinds;
  };
  const Case kCases[] = {{1, {1, 1, 1}}, {2, {0x83, 0x81, 0x81}}, {6, {0x83, 0x81, 0x81}}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.version);
    EngineTypeWorld world;
    typetool::CutContent content = typetool::DemoCut();
    content.version = c.version;
    world.WriteLoose(CutPath(1, false), typetool::CutText(content));
    gBlockKinds.clear();
    SetPathKeyReader(LoggingKeyReader);
    CutRecord* cut = J3D_LoadCut(1);
    SetPathKeyReader(nullptr);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(gBlockKinds, c.kinds);
    EXPECT_EQ(cut->paths[0].positions.count, 4);
  }
}

// ---------------------------------------------------------------------------------------------
// Binary cuts byte by byte.

std::string Path(const std::string& name, uint32_t flags, const std::string& optional = "",
                 const std::string& notes = Be32(0)) {
  return "PATH" + Be32(9) + Cstr(name) + Be32(0x11) + Be32(5) + Be32(flags) + optional + notes + Be32(0) + "/PAT";
}

std::string Cut(int32_t version, const std::string& paths, uint32_t count = 1, const std::string& second = "INFO" +
                                                                                                   Cstr("x") + "/INF") {
  return "CUT1" + second + Be32(static_cast<uint32_t>(version)) + Be32(count) + paths + "/CUT";
}

TEST(CutFiles, BinaryCutsBuiltByteByByte) {
  struct Case {
    const char* what;
    std::string bytes;
    std::function<void(const CutRecord*)> check;  // null: the load fails
  };
  const Case kCases[] = {
      {"flag 0x80 names a cut", Cut(6, Path("orbit", 0x80)),
       [](const CutRecord* c) {
         EXPECT_EQ(c->paths[0].lookupWord, 50000u);
         EXPECT_EQ(c->paths[0].flags, 0x80u);
       }},
      {"without 0x80 a body, with 0x40 added", Cut(6, Path("orbit", 0x1)),
       [](const CutRecord* c) {
         EXPECT_EQ(c->paths[0].lookupWord, 20000u);
         EXPECT_EQ(c->paths[0].flags, 0x41u);
       }},
      {"version 5 reads a number", Cut(5, "PATH" + Be32(9) + Be32(42) + Be32(0x11) + Be32(5) + Be32(0x200) + Be32(0) +
                                             Be32(0) + "/PAT"),
       [](const CutRecord* c) {
         EXPECT_EQ(c->paths[0].lookupWord, 42u);
         EXPECT_EQ(c->paths[0].flags, 0x240u);
         EXPECT_EQ(c->originFlags, kCutAllPathsLoop);
       }},
      {"no optional parts: the note count follows the flags", Cut(6, Path("3", 0)),
       [](const CutRecord* c) {
         const PathRecord& p = c->paths[0];
         EXPECT_EQ(p.name, nullptr);
         EXPECT_EQ(p.bindingWord, 0u);
         EXPECT_EQ(p.noteCount, 0);
         EXPECT_EQ(p.serial, 9);
         EXPECT_EQ(p.pathWord, 0x11u);
         EXPECT_EQ(p.loaderWord, 5u);
       }},
      {"name and constraints", Cut(6, Path("3", 0, "NAME" + Cstr("") + "/NAMCONS" + Be32(2) + Be32(4) + Be32(0x18000) +
                                                    Be32(5) + Be32(7) + "/CON")),
       [](const CutRecord* c) {
         const PathRecord& p = c->paths[0];
         ASSERT_NE(p.name, nullptr);
         EXPECT_STREQ(p.name, "");
         ASSERT_EQ(p.bindingWord, 2u);
         EXPECT_EQ(p.binding[1], 0x18000);
         EXPECT_EQ(p.binding[2], 5);
       }},
      {"an empty binary note keeps an empty text",
       Cut(6, Path("3", 0, "", Be32(2) + "NOTE" + Be32(10) + Cstr("") + Be32(20) + Cstr("go") + "/NOT")),
       [](const CutRecord* c) {
         ASSERT_EQ(c->paths[0].noteCount, 2);
         ASSERT_NE(c->paths[0].notes[0].text, nullptr);
         EXPECT_STREQ(c->paths[0].notes[0].text, "");
         EXPECT_STREQ(c->paths[0].notes[1].text, "go");
       }},
      {"a second tag NAME in place of INFO is skipped", Cut(6, Path("3", 0), 1, "NAME"),
       [](const CutRecord* c) { EXPECT_EQ(c->pathCount, 1); }},
      {"no paths", Cut(6, "", 0), [](const CutRecord* c) { EXPECT_EQ(c->pathCount, 0); }},
      {"no tag after CUT1", "CUT1" + Be32(6) + Be32(0) + "/CUT", nullptr},
      {"not CUT1 first", "CUT0INFO" + Cstr("") + "/INF" + Be32(6) + Be32(0) + "/CUT", nullptr},
      {"INFO without /INF", Cut(6, "", 0, "INFO" + Cstr("x")), nullptr},
      {"NAME without /NAM", Cut(6, Path("3", 0, "NAME" + Cstr("a"))), nullptr},
      {"missing /PAT", Cut(6, "PATH" + Be32(9) + Cstr("3") + Be32(0) + Be32(0) + Be32(0) + Be32(0) + Be32(0)), nullptr},
      {"missing /CUT", Cut(6, "", 0).substr(0, 24), nullptr},
      {"a huge path count", Cut(6, Path("3", 0), 0x7FFFFFFF), nullptr},
      {"a negative path count", Cut(6, Path("3", 0), 0xFFFFFFFF), nullptr},
      {"a huge note count", Cut(6, Path("3", 0, "", Be32(0x40000000) + "NOTE")), nullptr},
      {"a huge constraint count", Cut(6, Path("3", 0, "CONS" + Be32(0xFFFFFFF0) + "/CON")), nullptr},
      {"notes without NOTE", Cut(6, Path("3", 0, "", Be32(1) + Be32(10) + Cstr("a") + "/NOT")), nullptr},
      {"an embedded body that does not read", Cut(6, Path("3", 0, "BOB1" + std::string(12, 'x'))), nullptr},
      {"key blocks without STAT",
       Cut(6, "PATH" + Be32(9) + Cstr("3") + Be32(0) + Be32(0) + Be32(0) + Be32(0) + Be32(1) + Be32(0) + Be32(0) +
                  "/STA/PAT"),
       nullptr},
      {"a key block past the data",
       Cut(6, "PATH" + Be32(9) + Cstr("3") + Be32(0) + Be32(0) + Be32(0) + Be32(0) + Be32(1) + "STAT" + Be32(0) +
                  Be32(5) + "/STA/PAT"),
       nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EngineTypeWorld world;
    world.WriteLoose(CutPath(3, true), c.bytes);
    const CutRecord* cut = J3D_LoadCut(3);
    if (!c.check) {
      EXPECT_EQ(cut, nullptr);
      EXPECT_EQ(CutIsMarkedAbsent(3), 1);
      continue;
    }
    ASSERT_NE(cut, nullptr);
    c.check(cut);
  }
}

// ---------------------------------------------------------------------------------------------
// Text cuts.

TEST(CutFiles, TextCutLettersAndLimits) {
  std::string manyPaths = "VER: 2;\n";
  for (int i = 0; i < kCutTextMaxPaths; ++i) manyPaths += "P 1; B 3; E\n";
  std::string manyNotes = "VER: 2;\nP 1; B 3; T ";
  for (int i = 0; i < kCutTextMaxNotes; ++i) manyNotes += std::to_string(i) + "; n; ";
  struct Case {
    const char* what;
    std::string text;
    std::function<void(const CutRecord*)> check;  // null: the load fails
  };
  const Case kCases[] = {
      {"a character outside the set ends the path list after that path",
       "VER: 2;\nP 1; B 3; C 4; x { 0; 0; }\nP 2; B 4; E\n",
       [](const CutRecord* c) {
         ASSERT_EQ(c->pathCount, 1);
         EXPECT_EQ(c->paths[0].pathWord, 4u);
         EXPECT_EQ(c->paths[0].positions.count, 0);
       }},
      {"a path without B is dropped", "VER: 2;\nP 1; B 3; E\nP 2; Q 4; E\n",
       [](const CutRecord* c) { EXPECT_EQ(c->pathCount, 1); }},
      {"4096 paths", manyPaths + "\n", [](const CutRecord* c) { EXPECT_EQ(c->pathCount, kCutTextMaxPaths); }},
      {"the 4097th P fails", manyPaths + "P 1; B 3; E\n", nullptr},
      {"100 notes", manyNotes + "-1; E\n", [](const CutRecord* c) { EXPECT_EQ(c->paths[0].noteCount, 100); }},
      {"a 101st note fails", manyNotes + "100; n; -1; E\n", nullptr},
      {"an empty note text gives none", "VER: 2;\nP 1; B 3; T 5; ; 6; x; -1; E\n",
       [](const CutRecord* c) {
         ASSERT_EQ(c->paths[0].noteCount, 2);
         EXPECT_EQ(c->paths[0].notes[0].text, nullptr);
         EXPECT_STREQ(c->paths[0].notes[1].text, "x");
       }},
      {"an empty N gives an empty name", "VER: 2;\nP 1; B 3; N ; F 7; j E\n",
       [](const CutRecord* c) {
         ASSERT_NE(c->paths[0].name, nullptr);
         EXPECT_STREQ(c->paths[0].name, "");
         EXPECT_EQ(static_cast<int32_t>(c->paths[0].loaderWord), 7);
         EXPECT_EQ(c->paths[0].flags, kPathNamesCut);
         EXPECT_EQ(c->paths[0].lookupWord, 3u) << "a nested cut named by number";
       }},
      {"letters", "VER: 2;\nP 1; B 3; c lp ls f p b M 1;2;3;4;5;6;7;8;9; E\n",
       [](const CutRecord* c) {
         EXPECT_EQ(c->paths[0].flags, kPathNamesBody | kPathFlagC | kPathFlagL | kPathFlagLP | kPathFlagLS |
                                          kPathFlagF | kPathLoops);
         EXPECT_EQ(c->originFlags, 0u);
       }},
      {"no VER:", "P 1; B 3; E\n", nullptr},
      {"a block not closed by }", "VER: 2;\nP 1; B 3; E { 0; 0; P 2; B 3; E\n", nullptr},
      {"a block past the data keeps the path", "VER: 2;\nP 1; B 3; C 9; E { 0; 5; 0; 1;\n",
       [](const CutRecord* c) {
         ASSERT_EQ(c->pathCount, 1);
         EXPECT_EQ(c->paths[0].pathWord, 9u);
       }},
      {"a negative K count", "VER: 2;\nP 1; B 3; K -1; E\n", nullptr},
      {"a huge K count", "VER: 2;\nP 1; B 3; K 100000; 1; 1; E\n", nullptr},
      {"an L body without its }", "VER: 2;\nP 1; B 3; L { POINTS: 0;0;0;\n",
       [](const CutRecord* c) { EXPECT_EQ(c->pathCount, 1); }},
      {"an L body without the { it runs to", "VER: 2;\nP 1; B 3; L POINTS: 0;0;0;\n",
       [](const CutRecord* c) { EXPECT_EQ(c->pathCount, 1); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EngineTypeWorld world;
    world.WriteLoose(CutPath(1, false), c.text);
    const CutRecord* cut = J3D_LoadCut(1);
    if (!c.check) {
      EXPECT_EQ(cut, nullptr);
      continue;
    }
    ASSERT_NE(cut, nullptr);
    c.check(cut);
  }
}

TEST(CutFiles, AnEmbeddedBodyAlreadyLoadedIsSkippedPastItsBrace) {
  EngineTypeWorld world;
  BodyRecord* body = NewBodyRecord(100003);
  BodyLinkAndCache(body);
  // The braces hold nothing a body parser could read: only the skip lets the path go on.
  world.WriteLoose(CutPath(2, false), "VER: 2;\nP 1; B 3; L { not a body } C 5; E\n");
  const CutRecord* cut = J3D_LoadCut(2);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->paths[0].lookupWord, 100003u) << "id 3 in cut 2";
  EXPECT_EQ(cut->paths[0].pathWord, 5u);
  EXPECT_EQ(BodyFixture::fatalCode(), 0u);
}

TEST(CutFiles, AnEmbeddedTextBodyIsParsedWithinItsBraces) {
  EngineTypeWorld world;
  const std::string body = bodytool::CubeBodyText();
  ASSERT_EQ(body.find_first_of("{}"), std::string::npos);
  world.WriteLoose(CutPath(1, false), "VER: 2;\nP 1; B 4; L {" + body + "} E\n");
  const CutRecord* cut = J3D_LoadCut(1);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->paths[0].lookupWord, 4u);
  EXPECT_NE(B3D_FindBody(4), nullptr);
}

}  // namespace
