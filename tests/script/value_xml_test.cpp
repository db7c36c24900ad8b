// XML import and export of script values: "sval" round trips through printed text, the exported
// shapes (deferred arrays, null references, types without a form), containers that hold
// themselves and very deep nesting, the importer's rules for sizes, pairs and unknown types,
// and the element form of arbitrary documents with its attribute numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/xml_access.h"
#include "script/containers.h"
#include "script/engine.h"
#include "script/value.h"
#include "script/value_xml.h"
#include "support/script_fixture.h"

namespace {

// A pool holding "pool text" at offset 1.
const char kPool[] = "\0pool text";

class ValueXmlTest : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    InitXml();
    engine_->stringPool = const_cast<char*>(kPool);
    engine_->stringPoolSize = sizeof kPool;
  }
};

std::string Attribute(xmlNodePtr node, const char* name) { return XmlGetPropString(node, name); }
bool HasAttribute(xmlNodePtr node, const char* name) { return XmlHasProp(node, name); }

std::vector<xmlNodePtr> Children(xmlNodePtr node) {
  std::vector<xmlNodePtr> children;
  for (xmlNodePtr child = node->children; child; child = child->next) children.push_back(child);
  return children;
}

// The exported element printed as a document, parsed back and imported into dest.
void ThroughText(const ScriptValue* value, ScriptValue* dest, std::string* printed = nullptr) {
  xmlDocPtr out = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  xmlNodePtr node = ExportValueXml(value);
  ASSERT_NE(node, nullptr);
  xmlDocSetRootElement(out, node);
  std::string text = XmlDocToString(out);
  XmlFreeDoc(out);
  if (printed) *printed = text;
  xmlDocPtr in = ParseXmlMemory(text.c_str(), "value");
  ASSERT_NE(in, nullptr) << text;
  ImportValueXml(dest, xmlDocGetRootElement(in));
  XmlFreeDoc(in);
}

// Structural equality: numbers and texts by value, containers element by element.
bool SameValue(ScriptValue* a, ScriptValue* b) {
  if (ValueIsText(a) && ValueIsText(b)) return std::strcmp(GetValueString(a), GetValueString(b)) == 0;
  if (a->type != b->type) return false;
  switch (a->type) {
    case kValueNone: return true;
    case kValueInt: return a->i == b->i;
    case kValueDouble: return ValueDouble(a) == ValueDouble(b);
    case kValueArray: {
      if (!a->array || !b->array) return a->array == b->array;
      if (GetArraySize(a) != GetArraySize(b)) return false;
      for (int32_t i = 0; i < GetArraySize(a); ++i) {
        if (!SameValue(ArrayElementPtr(a, i), ArrayElementPtr(b, i))) return false;
      }
      return true;
    }
    case kValueTable: {
      if (GetTableCount(a) != GetTableCount(b)) return false;
      for (TableEntry* e = TableNext(a, nullptr); e;) {
        ScriptValue key = TableEntryKey(e), data = TableEntryData(e);
        TableEntry* other = TableFindEntry(b, &key);
        if (!other) return false;
        ScriptValue otherData = TableEntryData(other);
        if (!SameValue(&data, &otherData)) return false;
        e = TableNext(a, &key);
      }
      return true;
    }
    default: return false;
  }
}

void SetString(ScriptValue* v, const char* text) { SetValueString(v, text); }

TEST_F(ValueXmlTest, SvalRoundTripsThroughText) {
  enum class Make { kInt, kIntMin, kDouble, kDoubleLarge, kString, kEmptyString, kPoolString, kNested, kTable };
  struct Case {
    Make make;
    const char* type;
    const char* val;  // null: no "val" attribute
  };
  const Case kCases[] = {
      {Make::kInt, "int", "5"},
      {Make::kIntMin, "int", "-2147483648"},
      {Make::kDouble, "float", "0.1"},
      {Make::kDoubleLarge, "float", "-1.5e+300"},
      {Make::kString, "string", "a <b> & \"c\" 'd'"},
      {Make::kEmptyString, "string", ""},
      {Make::kPoolString, "string", "pool text"},
      {Make::kNested, "array", nullptr},
      {Make::kTable, "table", nullptr},
  };
  for (const Case& c : kCases) {
    ScriptValue v{}, back{}, temp{};
    switch (c.make) {
      case Make::kInt: SetValueInt(&v, 5); break;
      case Make::kIntMin: SetValueInt(&v, INT32_MIN); break;
      case Make::kDouble: SetValueDouble(&v, 0.1); break;
      case Make::kDoubleLarge: SetValueDouble(&v, -1.5e300); break;
      case Make::kString: SetString(&v, "a <b> & \"c\" 'd'"); break;
      case Make::kEmptyString: SetString(&v, ""); break;
      case Make::kPoolString: SetValuePoolString(&v, 1); break;
      case Make::kNested:  // [1, "two", [3.5, {}], -7]
        AllocArrayValue(&v, 4);
        ArrayWriteInt(&v, 0, 1);
        ArrayWriteString(&v, 1, "two");
        AllocArrayValue(&temp, 2);
        SetValueDouble(ArrayElementPtr(&temp, 0), 3.5);
        AllocTableValue(ArrayElementPtr(&temp, 1));
        ArrayWrite(&v, 2, &temp);
        ArrayWriteInt(&v, 3, -7);
        break;
      case Make::kTable: {  // {1: "s", "x": 2, "inner": [9]}
        AllocTableValue(&v);
        ScriptValue key{}, data{};
        SetValueInt(&key, 1);
        SetString(&data, "s");
        TableSet(&v, &key, &data);
        SetString(&key, "x");
        SetValueInt(&data, 2);
        TableSet(&v, &key, &data);
        SetString(&key, "inner");
        AllocArrayValue(&data, 1);
        ArrayWriteInt(&data, 0, 9);
        TableSet(&v, &key, &data);
        ReleaseValue(&key);
        ReleaseValue(&data);
        break;
      }
    }
    xmlNodePtr node = ExportValueXml(&v);
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(node->name), "sval");
    EXPECT_EQ(Attribute(node, "type"), c.type);
    if (c.val) {
      EXPECT_EQ(Attribute(node, "val"), c.val);
    }
    xmlFreeNode(node);

    std::string printed;
    ThroughText(&v, &back, &printed);
    EXPECT_TRUE(SameValue(&v, &back)) << printed;
    if (c.make == Make::kPoolString) {
      EXPECT_EQ(back.type, kValueString);  // pool texts come back as objects
    }
    ReleaseValue(&v);
    ReleaseValue(&back);
    ReleaseValue(&temp);
  }
}

TEST_F(ValueXmlTest, ExportShapes) {
  ScriptValue table{}, key{}, data{};
  AllocTableValue(&table);
  SetValueInt(&key, 1);
  SetString(&data, "s");
  TableSet(&table, &key, &data);
  SetString(&key, "x");
  SetValueInt(&data, 2);
  TableSet(&table, &key, &data);
  xmlNodePtr node = ExportValueXml(&table);
  EXPECT_EQ(Attribute(node, "size"), "2");
  std::vector<xmlNodePtr> children = Children(node);
  ASSERT_EQ(children.size(), 4u);
  // Key then data, pair by pair.
  for (size_t i = 0; i < 4; i += 2) {
    std::string keyType = Attribute(children[i], "type");
    EXPECT_EQ(Attribute(children[i + 1], "type"), keyType == "int" ? "string" : "int");
  }
  xmlFreeNode(node);

  ScriptValue deferred{};
  AllocArrayValue(&deferred, 3);
  node = ExportValueXml(&deferred);
  EXPECT_EQ(Attribute(node, "type"), "array");
  EXPECT_EQ(Attribute(node, "size"), "-3");
  EXPECT_EQ(node->children, nullptr);
  xmlFreeNode(node);

  // Types without a form of their own, and null container references.
  ObjectInstance object{};
  ScriptClassRecord classRecord{};
  object.classRecord = &classRecord;
  object.id = -4;
  struct Case {
    const char* what;
    uint8_t typeId;
  };
  const Case kCases[] = {{"none", 0}, {"code address", 3}, {"null array", 8}, {"null table", 9},
                         {"object", 10}, {"int64", 13}, {"reserved", 4}};
  for (const Case& c : kCases) {
    ScriptValue v{};
    switch (c.typeId) {
      case 3: SetValueCodeAddress(&v, 40); break;
      case 8: SetValueArray(&v, nullptr); break;
      case 9: v.type = kValueTable; v.table = nullptr; break;
      case 10: SetValueObject(&v, &object); break;
      case 13: SetValueInt64(&v, 1234567890123LL); break;
      default: v.type = c.typeId; break;
    }
    node = ExportValueXml(&v);
    ASSERT_NE(node, nullptr) << c.what;
    EXPECT_EQ(Attribute(node, "type"), "unknown") << c.what;
    EXPECT_EQ(Attribute(node, "typeid"), std::to_string(c.typeId)) << c.what;
    EXPECT_FALSE(HasAttribute(node, "size")) << c.what;
    ScriptValue back{};
    SetValueInt(&back, 99);
    ImportValueXml(&back, node);
    EXPECT_EQ(back.type, kValueNone) << c.what;
    xmlFreeNode(node);
    ReleaseValue(&v);
  }
  EXPECT_EQ(object.refCount, 0u);
  ReleaseValue(&table);
  ReleaseValue(&key);
  ReleaseValue(&data);
  ReleaseValue(&deferred);
}

// Counts "sval" elements and the deepest nesting below node.
void Measure(xmlNodePtr node, int depth, int* count, int* deepest) {
  ++*count;
  if (depth > *deepest) *deepest = depth;
  for (xmlNodePtr child = node->children; child; child = child->next) Measure(child, depth + 1, count, deepest);
}

TEST_F(ValueXmlTest, ContainersHoldingThemselvesExportOnce) {
  // a = [1, a, b], b = {"back": a, "me": b}
  ScriptValue a{}, b{}, key{};
  AllocArrayValue(&a, 3);
  AllocTableValue(&b);
  ArrayWriteInt(&a, 0, 1);
  ArrayWrite(&a, 1, &a);
  ArrayWrite(&a, 2, &b);
  SetString(&key, "back");
  TableSet(&b, &key, &a);
  SetString(&key, "me");
  TableSet(&b, &key, &b);

  xmlNodePtr node = ExportValueXml(&a);
  ASSERT_NE(node, nullptr);
  std::vector<xmlNodePtr> children = Children(node);
  ASSERT_EQ(children.size(), 3u);
  EXPECT_EQ(Attribute(children[1], "type"), "unknown");
  EXPECT_EQ(Attribute(children[1], "typeid"), "8");
  EXPECT_EQ(Attribute(children[2], "type"), "table");
  int count = 0, deepest = 0;
  Measure(node, 0, &count, &deepest);
  EXPECT_EQ(count, 1 + 3 + 4);  // a, its three elements, two key/data pairs of b
  for (xmlNodePtr child : Children(children[2])) {
    if (Attribute(child, "type") != "string") {
      EXPECT_EQ(Attribute(child, "type"), "unknown");
    }
  }
  xmlFreeNode(node);

  // Break the cycles so the fixture sees every record freed.
  ArrayWriteInt(&a, 1, 0);
  ArrayWriteInt(&a, 2, 0);
  TableClear(b.table);
  ReleaseValue(&a);
  ReleaseValue(&b);
  ReleaseValue(&key);
}

TEST_F(ValueXmlTest, VeryDeepNestingIsCutOff) {
  const int32_t kLevels = kValueXmlDepth + 50;
  ScriptValue root{};
  AllocArrayValue(&root, 1);
  ScriptValue* slot = ArrayElementPtr(&root, 0);
  for (int32_t i = 1; i < kLevels; ++i) {
    AllocArrayValue(slot, 1);
    slot = ArrayElementPtr(slot, 0);
  }
  xmlNodePtr node = ExportValueXml(&root);
  ASSERT_NE(node, nullptr);
  int count = 0, deepest = 0;
  Measure(node, 0, &count, &deepest);
  EXPECT_EQ(deepest, kValueXmlDepth);
  xmlNodePtr innermost = node;
  while (innermost->children) innermost = innermost->children;
  EXPECT_EQ(Attribute(innermost, "type"), "unknown");

  xmlFreeNode(node);
  ReleaseValue(&root);

  // The importer stops at the same depth, here on a chain of nodes built by hand.
  xmlNodePtr top = nullptr;
  for (int32_t i = 0; i < kLevels; ++i) {
    xmlNodePtr level = xmlNewNode(nullptr, reinterpret_cast<const xmlChar*>("sval"));
    XmlSetPropString(level, "type", "array");
    XmlSetPropInt(level, "size", 1);
    if (top) xmlAddChild(level, top);
    top = level;
  }
  ScriptValue back{};
  ImportValueXml(&back, top);
  ScriptValue* walk = &back;
  int32_t levels = 0;
  while (walk->type == kValueArray) {
    ++levels;
    walk = ArrayElementPtr(walk, 0);
  }
  EXPECT_EQ(levels, kValueXmlDepth);
  EXPECT_EQ(walk->type, kValueNone);
  xmlFreeNode(top);
  ReleaseValue(&back);

  // So does the element importer: [name, 0, child] down to integer 0.
  top = nullptr;
  for (int32_t i = 0; i < kLevels; ++i) {
    xmlNodePtr level = xmlNewNode(nullptr, reinterpret_cast<const xmlChar*>("e"));
    if (top) xmlAddChild(level, top);
    top = level;
  }
  ImportXmlElement(&back, top);
  walk = &back;
  levels = 0;
  while (walk->type == kValueArray) {
    ++levels;
    walk = GetArraySize(walk) == 3 ? ArrayElementPtr(walk, 2) : ArrayElementPtr(walk, 1);
  }
  EXPECT_EQ(levels, kValueXmlDepth);
  EXPECT_EQ(walk->type, kValueInt);
  EXPECT_EQ(walk->i, 0);
  xmlFreeNode(top);
  ReleaseValue(&back);
}

TEST_F(ValueXmlTest, ImportRules) {
  struct Case {
    const char* xml;
    const char* expected;  // a small picture of the result
  };
  const Case kCases[] = {
      {"<sval type=\"int\" val=\"5\"/>", "5"},
      {"<SVAL type=\"int\" val=\"12abc\"/>", "12"},
      {"<sval type=\"int\"/>", "0"},
      {"<sval type=\"float\"/>", "0.0"},
      {"<sval type=\"float\" val=\"2.5\"/>", "2.5"},
      {"<sval type=\"string\"/>", "''"},
      {"<sval type=\"INT\" val=\"5\"/>", "none"},
      {"<sval val=\"5\"/>", "none"},
      {"<sval type=\"unknown\" typeid=\"10\"/>", "none"},
      {"<value type=\"int\" val=\"5\"/>", "none"},
      {"<sval type=\"array\" size=\"3\"><sval type=\"int\" val=\"7\"/></sval>", "[7,0,0]"},
      {"<sval type=\"array\" size=\"2\"><sval type=\"int\" val=\"1\"/><other/><sval type=\"int\" val=\"2\"/>"
       "<sval type=\"int\" val=\"3\"/></sval>",
       "[1,2]"},
      {"<sval type=\"array\" size=\"2\"><sval type=\"mystery\"/><sval type=\"int\" val=\"4\"/></sval>", "[none,4]"},
      {"<sval type=\"array\" size=\"0\"><sval type=\"int\" val=\"1\"/></sval>", "[]"},
      {"<sval type=\"array\" size=\"-4\"/>", "[]"},
      {"<sval type=\"array\"/>", "[]"},
      {"<sval type=\"array\" size=\"2\"/>", "[0,0]"},
      // A size no real array has: nothing, rather than gigabytes for one element.
      {"<sval type=\"array\" size=\"2000000000\"><sval type=\"int\" val=\"1\"/></sval>", "none"},
      {"<sval type=\"array\" size=\"16777217\"/>", "none"},
      {"<sval type=\"table\" size=\"0\"><sval type=\"int\" val=\"1\"/><sval type=\"int\" val=\"2\"/></sval>", "{}"},
      {"<sval type=\"table\" size=\"1\"><sval type=\"string\" val=\"k\"/><sval type=\"int\" val=\"2\"/>"
       "<sval type=\"int\" val=\"3\"/></sval>",
       "{k:2}"},
      {"<sval type=\"table\" size=\"9\"><sval type=\"int\" val=\"1\"/><sval type=\"string\" val=\"a\"/>"
       "<sval type=\"int\" val=\"1\"/><sval type=\"string\" val=\"b\"/></sval>",
       "{1:'b'}"},
  };
  for (const Case& c : kCases) {
    xmlDocPtr document = ParseXmlMemory(c.xml, "value");
    ASSERT_NE(document, nullptr) << c.xml;
    ScriptValue v{};
    SetString(&v, "previous");  // released by the import
    ImportValueXml(&v, xmlDocGetRootElement(document));
    XmlFreeDoc(document);
    std::string picture;
    std::vector<std::string> parts;
    auto describe = [](ScriptValue* x) -> std::string {
      switch (x->type) {
        case kValueNone: return "none";
        case kValueInt: return std::to_string(x->i);
        case kValueDouble: {
          char text[32];
          std::snprintf(text, sizeof text, "%.1f", ValueDouble(x));
          return text;
        }
        case kValueString: return std::string("'") + GetValueString(x) + "'";
        default: return "?";
      }
    };
    if (v.type == kValueArray) {
      picture = "[";
      for (int32_t i = 0; i < GetArraySize(&v); ++i) picture += (i ? "," : "") + describe(ArrayElementPtr(&v, i));
      picture += "]";
    } else if (v.type == kValueTable) {
      picture = "{";
      for (TableEntry* e = TableNext(&v, nullptr); e;) {
        ScriptValue key = TableEntryKey(e), data = TableEntryData(e);
        std::string k = describe(&key);
        if (k.front() == '\'') k = k.substr(1, k.size() - 2);
        picture += (picture.size() > 1 ? "," : "") + k + ":" + describe(&data);
        e = TableNext(&v, &key);
      }
      picture += "}";
    } else {
      picture = describe(&v);
    }
    EXPECT_EQ(picture, c.expected) << c.xml;
    ReleaseValue(&v);
  }
  ScriptValue v{};
  SetValueInt(&v, 3);
  ImportValueXml(&v, nullptr);
  EXPECT_EQ(v.type, kValueNone);
}

TEST_F(ValueXmlTest, ElementForm) {
  xmlDocPtr document = ParseXmlMemory("<item id=\"-12\">hello</item>", "doc");
  ASSERT_NE(document, nullptr);
  ScriptValue v{};
  ImportXmlElement(&v, xmlDocGetRootElement(document));
  XmlFreeDoc(document);
  ASSERT_EQ(v.type, kValueArray);
  ASSERT_EQ(GetArraySize(&v), 3);
  EXPECT_STREQ(GetValueString(ArrayElementPtr(&v, 0)), "item");
  ScriptValue* attributes = ArrayElementPtr(&v, 1);
  ASSERT_EQ(attributes->type, kValueTable);
  EXPECT_EQ(GetTableCount(attributes), 1);
  ScriptValue key{};
  SetString(&key, "id");
  TableEntry* id = TableFindEntry(attributes, &key);
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(id->dataType, kValueInt);
  EXPECT_EQ(TableEntryData(id).i, -12);
  EXPECT_STREQ(GetValueString(ArrayElementPtr(&v, 2)), "hello");
  ReleaseValue(&v);
  ReleaseValue(&key);
}

TEST_F(ValueXmlTest, ElementFormAttributesAndChildKinds) {
  struct Case {
    const char* text;
    uint8_t type;
    int32_t number;
  };
  const Case kCases[] = {
      {"12a", kValueString, 0}, {"", kValueInt, 0},   {"-", kValueInt, 0},     {"007", kValueInt, 7},
      {"+5", kValueString, 0},  {" 5", kValueString, 0}, {"-0", kValueInt, 0}, {"2147483647", kValueInt, 2147483647},
      {"1.5", kValueString, 0},
  };
  for (const Case& c : kCases) {
    std::string xml = std::string("<e a=\"") + c.text + "\"/>";
    xmlDocPtr document = ParseXmlMemory(xml.c_str(), "doc");
    ASSERT_NE(document, nullptr);
    ScriptValue v{}, key{};
    ImportXmlElement(&v, xmlDocGetRootElement(document));
    XmlFreeDoc(document);
    ASSERT_EQ(GetArraySize(&v), 2) << c.text;
    SetString(&key, "a");
    TableEntry* entry = TableFindEntry(ArrayElementPtr(&v, 1), &key);
    ASSERT_NE(entry, nullptr) << c.text;
    const ScriptValue data = TableEntryData(entry);
    EXPECT_EQ(data.type, c.type) << c.text;
    if (c.type == kValueInt) {
      EXPECT_EQ(data.i, c.number) << c.text;
    } else {
      EXPECT_STREQ(GetValueString(&data), c.text);
    }
    ReleaseValue(&v);
    ReleaseValue(&key);
  }

  // Comments, processing instructions and character data sections are skipped; an element
  // without attributes has 0 in place of the table.
  xmlDocPtr document = ParseXmlMemory(
      "<root a=\"1\" b=\"two\"><!-- note --><child/>text<?pi x?><![CDATA[raw]]><c2 k=\"v\">in</c2></root>", "doc");
  ASSERT_NE(document, nullptr);
  ScriptValue v{};
  ImportXmlElement(&v, xmlDocGetRootElement(document));
  XmlFreeDoc(document);
  ASSERT_EQ(GetArraySize(&v), 5);
  EXPECT_STREQ(GetValueString(ArrayElementPtr(&v, 0)), "root");
  EXPECT_EQ(GetTableCount(ArrayElementPtr(&v, 1)), 2);
  ScriptValue* child = ArrayElementPtr(&v, 2);
  ASSERT_EQ(GetArraySize(child), 2);
  EXPECT_STREQ(GetValueString(ArrayElementPtr(child, 0)), "child");
  EXPECT_EQ(ArrayElementPtr(child, 1)->type, kValueInt);
  EXPECT_EQ(ArrayElementPtr(child, 1)->i, 0);
  EXPECT_STREQ(GetValueString(ArrayElementPtr(&v, 3)), "text");
  ScriptValue* c2 = ArrayElementPtr(&v, 4);
  ASSERT_EQ(GetArraySize(c2), 3);
  EXPECT_STREQ(GetValueString(ArrayElementPtr(c2, 2)), "in");
  ReleaseValue(&v);

  SetValueInt(&v, 5);
  ImportXmlElement(&v, nullptr);
  EXPECT_EQ(v.type, kValueInt);
  EXPECT_EQ(v.i, 0);
}

// Table pairs whose key is neither a number nor a text (an unknown type, a float, a container)
// are left out: such an entry could never be found again, and a walk over the table starting
// from it would begin anew, so exporting the table would never end.
TEST_F(ValueXmlTest, TablePairsWithKeysThatCannotBeFoundAreLeftOut) {
  xmlDocPtr document = ParseXmlMemory(
      "<sval type=\"table\" size=\"5\">"
      "<sval type=\"mystery\"/><sval type=\"int\" val=\"1\"/>"
      "<sval type=\"float\" val=\"1.5\"/><sval type=\"int\" val=\"2\"/>"
      "<sval type=\"string\" val=\"k\"/><sval type=\"int\" val=\"3\"/>"
      "<sval type=\"array\" size=\"1\"><sval type=\"int\"/></sval><sval type=\"int\" val=\"4\"/>"
      "<sval type=\"int\" val=\"7\"/><sval type=\"int\" val=\"5\"/>"
      "</sval>",
      "table");
  ASSERT_NE(document, nullptr);
  ScriptValue v{};
  ImportValueXml(&v, xmlDocGetRootElement(document));
  XmlFreeDoc(document);
  ASSERT_EQ(v.type, kValueTable);
  EXPECT_EQ(GetTableCount(&v), 2);
  int walked = 0;
  for (TableEntry* e = TableNext(&v, nullptr); e && walked < 10; ++walked) {
    const ScriptValue key = TableEntryKey(e);
    e = TableNext(&v, &key);
  }
  ASSERT_EQ(walked, 2);  // a walk that starts over would run on for ever

  xmlNodePtr node = ExportValueXml(&v);
  ASSERT_NE(node, nullptr);
  int children = 0;
  for (xmlNodePtr child = node->children; child; child = child->next) ++children;
  EXPECT_EQ(children, 4);
  xmlFreeNode(node);
  ReleaseValue(&v);
}

}  // namespace
