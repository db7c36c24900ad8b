// The universe XML import: array layouts by class and level, defaults, children in one or two
// slots, and the nesting limit on script-supplied text.
#include "universe/universe_import.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/xml_access.h"
#include "engine_types/demo_universe_xml.h"
#include "script/containers.h"
#include "support/script_fixture.h"

namespace {

class UniverseImportTest : public ScriptEngineTest {
 protected:
  // The flat rendering of a converted value: integers, nested arrays in brackets.
  static std::string Show(ScriptValue* value) {
    if (value->type == kValueInt) return std::to_string(value->i);
    if (value->type == kValueString) return std::string("'") + GetValueString(value) + "'";
    if (value->type != kValueArray) return "?";
    std::string out = "[";
    for (int32_t i = 0; i < GetArraySize(value); ++i) {
      if (i) out += ",";
      out += Show(ArrayElementPtr(value, i));
    }
    return out + "]";
  }
  std::string Import(const std::string& text, int32_t level, int32_t* code = nullptr) {
    InitXml();
    xmlDocPtr document = ParseXmlMemory(text.c_str(), "test");
    EXPECT_NE(document, nullptr) << text;
    if (!document) return "";
    ScriptValue result{};
    SetValueInt(&result, 0);
    const int32_t got = ImportUniverseNode(&result, xmlDocGetRootElement(document), level);
    if (code) *code = got;
    XmlFreeDoc(document);
    std::string shown = Show(&result);
    ReleaseValue(&result);
    return shown;
  }
};

TEST_F(UniverseImportTest, LayoutsByClassAndLevel) {
  struct Case {
    const char* xml;
    int level;
    const char* want;
  };
  const Case kCases[] = {
      {"<o t='1'/>", 1, "[1,0,0,0,0,10000000,0,-1,100,100,100,100,0]"},
      {"<sector t='1' x='3' y='4' f='7'><o t='2'/><o t='24' s='5' e='9'/></sector>", 1,
       "[1,3,4,0,0,10000000,0,-1,100,100,100,100,7,[2,0,0,0],[24,5,9]]"},
      {"<ware t='12'/>", 1, "[12,0,1]"},
      {"<ware t='12' n='5'/>", 1, "[12,0,5]"},
      {"<ware t='8'/>", 1, "[8,0,-1]"},
      {"<ware t='10' x='1' n='-4'/>", 1, "[10,1,0,0,0,0,1,0]"},
      {"<o t='21' size='100' outer='50'/>", 1,
       "[21,0,0,0,0,5000000,7500000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]"},
      {"<o t='21' size='100' outer='150' d7='3'/>", 1, "[21,0,0,0,0,100,150,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,3,0]"},
      {"<sun t='3' color='66051' x='1'/>", 3, "[3,1,0,0,1,2,3,0,0]"},
      {"<sun t='3' color='66051' x='1'/>", 4, "[3,1,0,0,0,66051,0]"},
      {"<planet t='4' color='9' fn='2'/>", 3, "[4,0,0,0,0,2,0]"},
      {"<planet t='4' color='9' fn='2'/>", 4, "[4,0,0,0,0,9,2,0]"},
      {"<special t='20' v='6'/>", 4, "[20,0,0,0,0,0,0,0,0,-1,0]"},
      {"<special t='20' v='6'/>", 5, "[20,0,0,0,0,0,0,0,0,-1,6,0]"},
      {"<gate t='18' g='2'/>", 1, "[18,0,0,0,0,0,-1,-1,-1,-1,1,0,0,2,0,-1,0]"},
      {"<asteroid t='17' atype='2' aamount='30'/>", 1, "[17,0,0,0,0,2,30,0,0,0,0,0,-1,0]"},
      {"<o t='26' s='1' e='text'/>", 1, "[26,1,'text']"},
      {"<dock t='5'><o t='23' s='3'><ware t='9'/></o></dock>", 1,
       "[5,0,0,0,0,0,0,0,0,0,0,-1,0,3,[[9,0,1]]]"},
      {"<ship t='7'><ware t='9'/></ship>", 1, "[7,0,0,0,0,0,0,-1,0,[9,0,1],0]"},
      {"<universe><o t='2'/></universe>", 1, "[[2,0,0,0]]"},
      {"<universe><o t='2'/></universe>", 0, "0"},
      {"<universe><o t='2'/></universe>", 6, "0"},
      {"<universe/>", 1, "0"},
      {"<thing t='2'/>", 1, "0"},
      {"<o s='2'/>", 1, "0"},
      {"<o t='19'/>", 1, "0"},
  };
  for (const Case& c : kCases) EXPECT_EQ(Import(c.xml, c.level), c.want) << c.xml << " level " << c.level;
}

TEST_F(UniverseImportTest, GroupKindsComeBackAsNegativeCodes) {
  int32_t code = 0;
  EXPECT_EQ(Import("<o t='23' s='3'><o t='2'/></o>", 1, &code), "[[2,0,0,0]]");
  EXPECT_EQ(code, -3);
  EXPECT_EQ(Import("<o t='23' s='11'/>", 1, &code), "0");
  EXPECT_EQ(code, 23);
  EXPECT_EQ(Import("<o t='7'/>", 1, &code), "[7,0,0,0,0,0,0,-1,0]");
  EXPECT_EQ(code, 7);
}

TEST_F(UniverseImportTest, NestingBeyondTheLimitStopsThere) {
  // Groups nested 100 deep: the conversion keeps 64 levels; the element below them holds 0.
  std::string xml;
  for (int i = 0; i < 100; ++i) xml += "<o t='23' s='11'>";
  for (int i = 0; i < 100; ++i) xml += "</o>";
  const std::string shown = Import(xml, 1);
  std::string want;
  for (int i = 0; i < 64; ++i) want += "[";
  want += "0";
  for (int i = 0; i < 64; ++i) want += "]";
  EXPECT_EQ(shown, want);
}

}  // namespace

// The demo's universe description imports as its sectors, each with its six children, and every
// gate leads to a sector of the universe whose gate of the named index leads back.
TEST_F(UniverseImportTest, DemoUniverseImportsWithGatesThatPairUp) {
  InitXml();
  xmlDocPtr document = ParseXmlMemory(typetool::DemoUniverseXml().c_str(), "demo");
  ASSERT_NE(document, nullptr);
  ScriptValue universe{};
  SetValueInt(&universe, 0);
  ImportUniverseNode(&universe, xmlDocGetRootElement(document), 5);
  XmlFreeDoc(document);
  ASSERT_EQ(universe.type, kValueArray);
  ASSERT_EQ(GetArraySize(&universe), typetool::kDemoUniverseSectors);
  constexpr int32_t kFirstChild = 13;
  auto at = [](ScriptValue* array, int32_t i) { return ArrayElementPtr(array, i); };
  auto sectorAt = [&](int32_t gx, int32_t gy) -> ScriptValue* {
    for (int32_t k = 0; k < GetArraySize(&universe); ++k) {
      ScriptValue* s = at(&universe, k);
      if (at(s, 1)->i == gx && at(s, 2)->i == gy) return s;
    }
    return nullptr;
  };
  int32_t gates = 0;
  for (int32_t k = 0; k < GetArraySize(&universe); ++k) {
    ScriptValue* sector = at(&universe, k);
    ASSERT_EQ(GetArraySize(sector), kFirstChild + 6) << "sector " << k;
    std::vector<int32_t> classes;
    for (int32_t c = kFirstChild; c < GetArraySize(sector); ++c) {
      ScriptValue* child = at(sector, c);
      classes.push_back(at(child, 0)->i);
      if (at(child, 0)->i != 18) continue;
      ++gates;
      ScriptValue* other = sectorAt(at(child, 7)->i, at(child, 8)->i);
      ASSERT_NE(other, nullptr) << "gate of sector " << k << " leads nowhere";
      ASSERT_NE(other, sector);
      // Gate index gid of the other sector (its gates follow its four other children).
      ScriptValue* back = at(other, kFirstChild + 4 + at(child, 6)->i);
      ASSERT_EQ(at(back, 0)->i, 18);
      EXPECT_EQ(at(back, 7)->i, at(sector, 1)->i);
      EXPECT_EQ(at(back, 8)->i, at(sector, 2)->i);
    }
    EXPECT_EQ(classes, (std::vector<int32_t>{2, 3, 5, 17, 18, 18}));
  }
  EXPECT_EQ(gates, 2 * typetool::kDemoUniverseSectors);
  ReleaseValue(&universe);
}
