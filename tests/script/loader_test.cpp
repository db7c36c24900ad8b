// Tests of the compiled-script loader and the code passes: a good file's classes, statics,
// method tables and patch records; every malformed file refused; the linked code image
// (operand order, natives bound by name, fusion, jump threading); and random damage to a good
// file that must load or be refused without a fault. Every test ends with an unload whose
// counters the fixture checks are back at zero.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/system_block.h"
#include "support/catalog_world.h"
#include "support/script_runner.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Loader : public ScriptRunTest {
 protected:
  bool LoadBytes(const Bytes& bytes) {
    return LoadScriptStoreFromMemory(engine_, "test", bytes.data(), uint32_t(bytes.size()));
  }
  uint32_t CodeWord(uint32_t at) const {
    const uint8_t* p = engine_->code + at;
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
  }
};

const char kGoodScript[] =
    ".header 5\n"
    ".global int 7\n"
    ".global str \"hello\"\n"
    ".func Main main frame=4\n"
    ".class 9\n"
    "  .method Stop stop\n"
    "  .method Run run9\n"
    "  .field int 90\n"
    "  .field int 91\n"
    "  .field int 92\n"
    ".end\n"
    ".class 4 super=9\n"
    "  .method Run run4 params=1\n"
    "  .field int 40\n"
    "  .field int 41\n"
    ".end\n"
    ".patch 0 10 main 20 0\n"
    "main: push0\n"
    "  ret\n"
    "run9: push1\n"
    "  ret\n"
    "run4: push2\n"
    "  ret\n"
    "stop: push3\n"
    "  ret\n";

TEST_F(Loader, GoodScriptBuildsClassesStaticsAndPatches) {
  ASSERT_TRUE(Load(kGoodScript)) << error_;
  EXPECT_STREQ(engine_->scriptName, "test");
  EXPECT_EQ(engine_->fileVersion, 801u);
  EXPECT_EQ(engine_->headerWord, 5u);
  EXPECT_TRUE(engine_->flags & kEngineStoryNotVerified);

  // Listed as 9 then 4, kept sorted by id behind the global record.
  ASSERT_EQ(engine_->classCount, 3u);
  ScriptClassRecord* c = engine_->classes;
  EXPECT_EQ(c[0].id, 0);
  EXPECT_EQ(c[1].id, 4);
  EXPECT_EQ(c[2].id, 9);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(c[k].classRecord, &c[k]);
  EXPECT_EQ(c[1].super, &c[2]);
  EXPECT_EQ(c[2].super, nullptr);

  // The subclass's statics: the super's three fields first, then its own two.
  ASSERT_EQ(c[1].totalFieldCount, 5u);
  EXPECT_EQ(c[1].inheritedFieldCount, 3u);
  const int32_t expected[] = {90, 91, 92, 40, 41};
  for (int j = 0; j < 5; ++j) {
    EXPECT_EQ(c[1].variables[j].type, kValueInt);
    EXPECT_EQ(c[1].variables[j].i, expected[j]) << j;
  }
  ASSERT_EQ(c[0].totalFieldCount, 2u);
  EXPECT_EQ(c[0].variables[0].i, 7);
  EXPECT_EQ(c[0].variables[1].type, kValuePoolString);
  EXPECT_STREQ(SB_String(engine_, c[0].variables[1].u), "hello");

  // Own methods by name text; merged tables by name id, the override hiding the inherited one.
  ASSERT_EQ(c[2].methodCount, 2u);
  EXPECT_STREQ(SB_String(engine_, c[2].methods[0].name), "Run");
  EXPECT_STREQ(SB_String(engine_, c[2].methods[1].name), "Stop");
  ASSERT_EQ(c[1].mergedMethodCount, 2u);
  EXPECT_LT(c[1].mergedMethods[0].name, c[1].mergedMethods[1].name);
  for (uint32_t k = 0; k < 2; ++k) {
    const MethodRecord& m = c[1].mergedMethods[k];
    uint32_t want = m.name == AsmString(asm_, "Run") ? AsmLabel(asm_, "run4") : AsmLabel(asm_, "stop");
    EXPECT_EQ(m.codeOffset, want);
  }
  // The method a code position belongs to: the greatest entry at or below it along the chain.
  const MethodRecord* m = FindMethodByCode(&c[1], AsmLabel(asm_, "run4") + 1);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->codeOffset, AsmLabel(asm_, "run4"));
  EXPECT_EQ(FindMethodByCode(&c[1], 1), nullptr);

  // A patch key of 0 is registered as 1.
  const PatchRecord* patch = reinterpret_cast<const PatchRecord*>(HashGet(engine_->patches, 1));
  ASSERT_NE(patch, nullptr);
  ASSERT_EQ(patch->pairCount, 2u);
  EXPECT_EQ(patch->pairs[0], 10u);
  EXPECT_EQ(patch->pairs[1], AsmLabel(asm_, "main"));
  EXPECT_EQ(patch->pairs[2], 20u);
  EXPECT_EQ(patch->pairs[3], 0u);

  EXPECT_EQ(Call("Main"), "0");
}

TEST_F(Loader, SuperIdNamingNoClassLeavesARootClass) {
  // Class 4 names 5, which the file does not hold: it loads without a super and without
  // inherited fields, its own two fields in slots 0 and 1, its super id kept as stored.
  ASSERT_TRUE(Load(".func Main main\n"
                   ".class 4 super=5\n"
                   "  .method Run main\n"
                   "  .field int 40\n"
                   "  .field int 41\n"
                   ".end\n"
                   ".class 7 super=4\n"
                   "  .field int 70\n"
                   ".end\n"
                   "main: push0\n"
                   "  ret\n"))
      << error_;
  ASSERT_EQ(engine_->classCount, 3u);
  const ScriptClassRecord* c = engine_->classes;
  ASSERT_EQ(c[1].id, 4);
  EXPECT_EQ(c[1].super, nullptr);
  EXPECT_EQ(c[1].superId, 5u);
  EXPECT_EQ(c[1].inheritedFieldCount, 0u);
  ASSERT_EQ(c[1].totalFieldCount, 2u);
  EXPECT_EQ(c[1].variables[0].i, 40);
  EXPECT_EQ(c[1].variables[1].i, 41);
  EXPECT_EQ(c[1].mergedMethodCount, 1u);
  // Its own subclass still inherits from it.
  ASSERT_EQ(c[2].id, 7);
  EXPECT_EQ(c[2].super, &c[1]);
  ASSERT_EQ(c[2].totalFieldCount, 3u);
  const int32_t expected[] = {40, 41, 70};
  for (int j = 0; j < 3; ++j) EXPECT_EQ(c[2].variables[j].i, expected[j]) << j;
}

TEST_F(Loader, PlainPoolLoadsAndRepeatedChunkReplacesTheEarlier) {
  AsmOptions options;
  options.plainPool = true;
  options.duplicateChunks = {"CODE", "CLAS", "VARS", "STRU"};
  ASSERT_TRUE(Load(kGoodScript, options)) << error_;
  EXPECT_STREQ(SB_String(engine_, engine_->classes[0].variables[1].u), "hello");
  EXPECT_EQ(engine_->classCount, 3u);
}

// Finds a chunk's header in an assembled file.
size_t ChunkAt(const Bytes& file, const char* id) {
  for (size_t at = 12; at + 8 <= file.size();) {
    if (std::memcmp(&file[at], id, 4) == 0) return at;
    uint32_t size = (uint32_t(file[at + 4]) << 24) | (file[at + 5] << 16) | (file[at + 6] << 8) | file[at + 7];
    at += 8 + size;
  }
  return 0;
}

// The header of a chunk's second copy (written by the assembler's duplicate option).
size_t SecondChunkAt(const Bytes& file, const char* id) {
  size_t first = ChunkAt(file, id);
  uint32_t size = (uint32_t(file[first + 4]) << 24) | (file[first + 5] << 16) | (file[first + 6] << 8) | file[first + 7];
  return first + 8 + size;
}

TEST_F(Loader, MalformedFilesFailToLoad) {
  struct Case {
    const char* what;
    std::string text;
    AsmOptions options;
    void (*damage)(Bytes&);
  };
  auto opts = [](auto set) {
    AsmOptions o;
    set(o);
    return o;
  };
  const std::string minimal = ".func Main main\nmain: push0\nret\n";
  const Case kCases[] = {
      {"header only", minimal, {}, [](Bytes& b) { b.resize(12); }},
      {"not a compiled script", minimal, {}, [](Bytes& b) { b[0] = 'X'; }},
      {"version 800", minimal, opts([](AsmOptions& o) { o.hasVersion = true, o.version = 800; }), nullptr},
      {"version 802", minimal, opts([](AsmOptions& o) { o.hasVersion = true, o.version = 802; }), nullptr},
      {"no VARS", minimal, opts([](AsmOptions& o) { o.omitChunks = {"VARS"}; }), nullptr},
      {"no pool", minimal, opts([](AsmOptions& o) { o.omitChunks = {"STRG"}; }), nullptr},
      {"no CODE", minimal, opts([](AsmOptions& o) { o.omitChunks = {"CODE"}; }), nullptr},
      {"no CLAS", minimal, opts([](AsmOptions& o) { o.omitChunks = {"CLAS"}; }), nullptr},
      {"no SYMB", minimal, opts([](AsmOptions& o) { o.omitChunks = {"SYMB"}; }), nullptr},
      {"unknown chunk", minimal, opts([](AsmOptions& o) { o.extraChunks = {"JUNK"}; }), nullptr},
      {"no end marker", minimal, opts([](AsmOptions& o) { o.noEndMarker = true; }), nullptr},
      {"CODE body past the end", minimal, {}, [](Bytes& b) { b.resize(ChunkAt(b, "CODE") + 10); }},
      {"chunk header past the end", minimal, {}, [](Bytes& b) { b.resize(b.size() - 6); }},
      {"class count past the end", ".class 3\n.end\n" + minimal, {},
       [](Bytes& b) { b[ChunkAt(b, "CLAS") + 8] = 0x7F; }},
      {"method count past the end", ".class 3\n.method A main\n.end\n" + minimal, {},
       [](Bytes& b) { b[ChunkAt(b, "CLAS") + 8 + 16] = 0x40; }},
      {"subclass before its super", ".class 4 super=9\n.end\n.class 9\n.end\n" + minimal, {}, nullptr},
      {"own super", ".class 4 super=4\n.end\n" + minimal, {}, nullptr},
      {"super id of the global record", ".class 4 super=0\n.end\n" + minimal, {}, nullptr},
      {"duplicate class id", ".class 4\n.end\n.class 4\n.end\n" + minimal, {}, nullptr},
      {"class id 0", ".class 0\n.end\n" + minimal, {}, nullptr},
      {"jump outside the code", minimal + "jmp 5000\n", {}, nullptr},
      {"call outside the code", minimal + "call 5000\n", {}, nullptr},
      {"switch target outside", minimal + "switch 0 main 900\n", {}, nullptr},
      {"switch default outside", minimal + "sswitch 900 1 main\n", {}, nullptr},
      {"switch table past the end", minimal + ".byte 120\n.u16 100\n.u32 1 1\n", {}, nullptr},
      {"sparse table past the end", minimal + ".byte 121\n.u16 1 1\n.u32 1 5\n", {}, nullptr},
      {"instruction past the end", minimal + ".byte 7 0 0\n", {}, nullptr},
      {"pool id outside the pool", minimal + ".byte 11\n.u32 9999\n", {}, nullptr},
      {"native name outside the pool", minimal + ".byte 130\n.u32 9999\n", {}, nullptr},
      {"text key outside the pool", minimal + "sswitch main \"a\" main\n", {},
       [](Bytes& b) { b[ChunkAt(b, "CODE") + 8 + 12] = 0x40; }},
      {"method entry outside the code", ".func F 9999\n" + minimal, {}, nullptr},
      {"method entry 0", ".func F 0\n" + minimal, {}, nullptr},
      {"method name outside the pool", minimal, {}, [](Bytes& b) { b[ChunkAt(b, "SYMB") + 8 + 8] = 0x40; }},
      {"field text outside the pool", ".global str 9999\n" + minimal, {}, nullptr},
      {"jump to itself", minimal + "a: jmp a\n", {}, nullptr},
      {"two jumps in a circle", minimal + "a: jmp b\nb: jmp a\n", {}, nullptr},
      {"constant into a jump circle", minimal + "push1\njmp a\na: jmp a\n", {}, nullptr},
      // A repeated chunk frees the first one's records before it reads its own: a second one
      // that is cut short must not leave the freed records to be freed again at unload.
      {"second VARS cut short", ".global int 1\n" + minimal, opts([](AsmOptions& o) { o.duplicateChunks = {"VARS"}; }),
       [](Bytes& b) { b[SecondChunkAt(b, "VARS") + 8] = 0x7F; }},
      {"second SYMB cut short", minimal, opts([](AsmOptions& o) { o.duplicateChunks = {"SYMB"}; }),
       [](Bytes& b) { b[SecondChunkAt(b, "SYMB") + 8] = 0x7F; }},
  };
  for (const Case& c : kCases) {
    AsmResult r = Assemble(c.text, c.options);
    ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
    Bytes bytes = r.bytes;
    if (c.damage) c.damage(bytes);
    EXPECT_FALSE(LoadBytes(bytes)) << c.what;
    EXPECT_EQ(engine_->scriptName, nullptr) << c.what;
    UnloadScriptStore(engine_);
    for (int k = 0; k < kPoolKindCount; ++k) ASSERT_EQ(engine_->statistics.currentBytes[k], 0) << c.what;
  }
}

TEST_F(Loader, LinkingPutsOperandsInHostOrderAndBindsNatives) {
  static const char* const kOther[] = {"X_Only", "T_Wait", nullptr};
  ASSERT_EQ(RegisterNativeModule(engine_, Dispatch, kOther, nullptr, nullptr, nullptr), 2);
  SetScriptCodeFusion(false);
  ASSERT_TRUE(Load(".func Main main\n"
                   "main: pushw 0x1234\n"
                   "pushi 0x01020304\n"
                   "pushd 1.5\n"
                   "native T_Wait\n"
                   "native X_Only\n"
                   "native Nowhere\n"
                   "x: switch 7 x main\n"
                   "sswitch main -2 x \"k\" main\n"
                   "ret\n"))
      << error_;
  const Bytes expected = {
      0x00, 0x06, 0x34, 0x12, 0x07, 0x04, 0x03, 0x02, 0x01,
      0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  // 1.5, low byte first
      0x82, 0x01, 0x00, 0x01, 0x00,                          // the lower row that lists it binds
      0x82, 0x02, 0x00, 0x00, 0x00,
      0x82, 0x00, 0x00, 0x00, 0x00,                          // nobody lists it: module 0
      0x78, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x21, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x79, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0x21, 0x00, 0x00, 0x00};
  ASSERT_GE(engine_->codeSize, expected.size());
  EXPECT_EQ(Bytes(engine_->code, engine_->code + expected.size()), expected);
  EXPECT_EQ(CodeWord(uint32_t(expected.size())), AsmString(asm_, "k"));
}

TEST_F(Loader, FusionRewritesOnlyOpcodesAndThreadsJumps) {
  ASSERT_TRUE(Load(".func Main main\n"
                   "main: check 4\n"
                   "inc: ldl 5\npush1\nadd\nstl 6\npop\n"        // an increment statement
                   "never: push1\njf out\n"                      // never jumps
                   "always: push0\njf out\n"                     // always jumps
                   "chain: push1\njmp a\n"                       // a constant into a chain to a jt
                   "a: jmp b\n"
                   "b: jt c\n"
                   "c: ldl 1\nldel\n"
                   "out: ret\n"))
      << error_;
  const uint8_t* code = engine_->code;
  const Bytes plain = asm_.code;
  struct Case {
    const char* label;
    uint8_t fused;
  };
  const Case kCases[] = {{"inc", 160}, {"never", 171}, {"always", 170}, {"chain", 172}, {"c", 140}};
  for (const Case& c : kCases) EXPECT_EQ(code[AsmLabel(asm_, c.label)], c.fused) << c.label;
  // Operands stay (in host order); the store-and-pop inside the increment is fused on its own,
  // since a jump may still land on it.
  uint32_t inc = AsmLabel(asm_, "inc");
  const Bytes incBytes(code + inc + 1, code + inc + 9);
  EXPECT_EQ(incBytes, Bytes({0x05, 0x00, 0x02, 0x46, 146, 0x06, 0x00, 0x24}));
  // The jump behind the constant now goes straight to the conditional at the chain's end.
  uint32_t chain = AsmLabel(asm_, "chain");
  EXPECT_EQ(code[chain + 1], 50);
  EXPECT_EQ(CodeWord(chain + 2), AsmLabel(asm_, "b"));
  EXPECT_EQ(plain.size(), engine_->codeSize);
}

// The file route: "L\<name>.obj" through the game-file lookup, and a name nothing answers to.
TEST_F(Loader, LoadsByNameFromTheGameFolder) {
  CatalogWorld world;
  AsmResult r = Assemble(kGoodScript);
  ASSERT_TRUE(r.ok) << r.error;
  world.WriteLoose("L/story2.obj", std::string(r.bytes.begin(), r.bytes.end()));
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(LoadScriptStore(engine_, "story2"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_STREQ(engine_->scriptName, "story2");
  EXPECT_EQ(Call("Main"), "0");
  UnloadScriptStore(engine_);
}

// A story that is found but refused says so on standard output exactly as a missing one does,
// once, whichever check refused it.
TEST_F(Loader, EveryFailedLoadByNameWritesFileNotFoundOnce) {
  CatalogWorld world;
  AsmOptions oldVersion;
  oldVersion.hasVersion = true;
  oldVersion.version = 800;
  AsmOptions noVars;
  noVars.omitChunks = {"VARS"};
  const std::string minimal = ".func Main main\nmain: push0\nret\n";
  struct Case {
    const char* name;  // nullptr: no file at all
    std::string text;
    AsmOptions options;
    size_t keep;  // bytes of the assembled file that are written, 0 for all
  };
  const Case kCases[] = {
      {nullptr, "", {}, 0},
      {"short", minimal, {}, 12},
      {"old", minimal, oldVersion, 0},
      {"novars", minimal, noVars, 0},
      {"badcode", minimal + "jmp 5000\n", {}, 0},
  };
  for (const Case& c : kCases) {
    std::string name = "nothere";
    if (c.name) {
      AsmResult r = Assemble(c.text, c.options);
      ASSERT_TRUE(r.ok) << r.error;
      std::string bytes(r.bytes.begin(), r.bytes.end());
      if (c.keep) bytes.resize(c.keep);
      name = c.name;
      world.WriteLoose("L/" + name + ".obj", bytes);
    }
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(LoadScriptStore(engine_, name.c_str())) << name;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "File not found.\n") << name;
    EXPECT_EQ(engine_->scriptName, nullptr) << name;
    UnloadScriptStore(engine_);
  }
}

// The signed story's name keeps a copy of the file, NULs turned into blanks, for its signature
// test; without a manifest that vouches for it the story stays marked as not verified.
TEST_F(Loader, SignedStoryNameKeepsACopyAndStaysUnverifiedWithoutManifest) {
  AsmResult r = Assemble(kGoodScript);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_TRUE(LoadScriptStoreFromMemory(engine_, "vexastory", r.bytes.data(), uint32_t(r.bytes.size())));
  ASSERT_EQ(engine_->storyLength, r.bytes.size());
  ASSERT_NE(engine_->storyCopy, nullptr);
  for (uint32_t k = 0; k < engine_->storyLength; ++k)
    ASSERT_EQ(engine_->storyCopy[k], r.bytes[k] ? r.bytes[k] : ' ') << k;
  EXPECT_TRUE(engine_->flags & kEngineStoryNotVerified);
}

// Random flips and cuts of a good file: each one loads or is refused, and unloads clean.
TEST_F(Loader, DamagedFilesLoadOrFailCleanly) {
  AsmResult good = Assemble(std::string(kGoodScript) +
                            "more: ldl 1\nswitch 3 more out more\nsswitch out 1 more \"x\" out\n"
                            "native T_Log\ncallname Run\njmp more\nout: ret\n");
  ASSERT_TRUE(good.ok) << good.error;
  std::mt19937 random(12345);
  int loaded = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes = good.bytes;
    if (round % 4 == 3) {
      bytes.resize(random() % bytes.size());
    } else {
      int flips = 1 + int(random() % 4);
      for (int k = 0; k < flips; ++k) bytes[random() % bytes.size()] ^= uint8_t(1u << (random() % 8));
    }
    if (LoadBytes(bytes)) ++loaded;
    UnloadScriptStore(engine_);
    for (int k = 0; k < kPoolKindCount; ++k) ASSERT_EQ(engine_->statistics.currentBytes[k], 0) << round;
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
