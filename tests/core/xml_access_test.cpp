// Tests of the XML access layer: attribute reading with its defaults, attribute writing, silent
// failure on malformed input, blank handling, the round trip through the formatted dump, and the
// memory hooks (uncounted, one retry after the low-memory hook).
#include "core/xml_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "platform/heap.h"

namespace {

class XmlAccess : public testing::Test {
 protected:
  static void SetUpTestSuite() { InitXml(); }
};

xmlNodePtr Root(xmlDocPtr doc) { return doc ? xmlDocGetRootElement(doc) : nullptr; }

TEST_F(XmlAccess, PropertyIntegersReadLikeAtolWithDefaultWhenMissing) {
  struct Case {
    const char* name;
    int32_t expected;
  };
  const Case kCases[] = {
      {"plain", 12}, {"trailing", 12}, {"negative", -3}, {"letters", 0}, {"blank", 0},
      {"leading", 7}, {"missing", 99},
  };
  xmlDocPtr doc = ParseXmlMemory(
      "<r plain=\"12\" trailing=\"12abc\" negative=\"-3\" letters=\"abc\" blank=\"\" leading=\"  7\"/>", "t");
  ASSERT_NE(doc, nullptr);
  for (const Case& c : kCases) {
    EXPECT_EQ(XmlGetPropInt(Root(doc), c.name, 99), c.expected) << c.name;
  }
  XmlFreeDoc(doc);
}

TEST_F(XmlAccess, MissingPropertiesGiveTheirDefaults) {
  xmlDocPtr doc = ParseXmlMemory("<r a=\"x\" val=\"0.25\"/><!-- tail -->", "t");
  ASSERT_NE(doc, nullptr);
  xmlNodePtr root = Root(doc);
  EXPECT_TRUE(XmlHasProp(root, "a"));
  EXPECT_FALSE(XmlHasProp(root, "b"));
  EXPECT_EQ(XmlGetPropString(root, "a"), "x");
  EXPECT_EQ(XmlGetPropString(root, "b"), "");
  EXPECT_DOUBLE_EQ(XmlGetValDouble(root), 0.25);
  XmlFreeDoc(doc);

  doc = ParseXmlMemory("<r/>", "t");
  ASSERT_NE(doc, nullptr);
  EXPECT_DOUBLE_EQ(XmlGetValDouble(Root(doc)), 0.0);
  EXPECT_EQ(XmlGetPropInt(Root(doc), "n", -5), -5);
  XmlFreeDoc(doc);

  // A null node is treated as one without attributes.
  EXPECT_FALSE(XmlHasProp(nullptr, "a"));
  EXPECT_EQ(XmlGetPropInt(nullptr, "a", 4), 4);
  EXPECT_EQ(XmlGetPropString(nullptr, "a"), "");
}

TEST_F(XmlAccess, SettersFormatNumbers) {
  xmlDocPtr doc = ParseXmlMemory("<r/>", "t");
  ASSERT_NE(doc, nullptr);
  xmlNodePtr root = Root(doc);
  XmlSetValDouble(root, 0.5);
  XmlSetPropInt(root, "n", -3);
  XmlSetPropString(root, "s", "a b");
  EXPECT_EQ(XmlGetPropString(root, "val"), "0.5");
  EXPECT_EQ(XmlGetPropString(root, "n"), "-3");
  EXPECT_EQ(XmlGetPropString(root, "s"), "a b");
  XmlSetPropInt(root, "n", 2147483647);
  EXPECT_EQ(XmlGetPropInt(root, "n", 0), 2147483647);
  XmlFreeDoc(doc);
}

TEST_F(XmlAccess, MalformedDocumentsFailSilently) {
  const char* const kBad[] = {
      "",
      "<",
      "<a>",
      "<a></b>",
      "<a x=1/>",
      "<a x=\"1\" x=\"2\"/>",
      "<a/><b/>",
      "text only",
      "<a>&undefined;</a>",
      "<?xml version=\"1.0\" encoding=\"nonsense-enc\"?><a/>",
  };
  for (const char* text : kBad) {
    testing::internal::CaptureStderr();
    xmlDocPtr doc = ParseXmlMemory(text, "bad");
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(doc, nullptr) << text;
    EXPECT_EQ(output, "") << text;
    XmlFreeDoc(doc);
  }
  EXPECT_EQ(ParseXmlMemory(nullptr, "bad"), nullptr);
  XmlFreeDoc(nullptr);
}

TEST_F(XmlAccess, ExplicitSizeParsesWithoutTerminator) {
  const char text[] = "<a n=\"1\"/>garbage";
  xmlDocPtr doc = XmlReadMemoryN(text, 10, "t");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(XmlGetPropInt(Root(doc), "n", 0), 1);
  XmlFreeDoc(doc);
  testing::internal::CaptureStderr();
  EXPECT_EQ(XmlReadMemoryN(text, sizeof(text) - 1, "t"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(XmlAccess, BlankTextBetweenElementsIsDropped) {
  xmlDocPtr doc = ParseXmlMemory("<a>\n  <b/>\n\t<c> </c>\n</a>\n", "t");
  ASSERT_NE(doc, nullptr);
  int elements = 0;
  for (xmlNodePtr child = Root(doc)->children; child; child = child->next) {
    EXPECT_EQ(child->type, XML_ELEMENT_NODE);
    elements++;
  }
  EXPECT_EQ(elements, 2);
  XmlFreeDoc(doc);
}

TEST_F(XmlAccess, WrittenDocumentParsesBackEqual) {
  xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  xmlNodePtr root = xmlNewNode(nullptr, reinterpret_cast<const xmlChar*>("language"));
  xmlDocSetRootElement(doc, root);
  XmlSetPropInt(root, "id", 49);
  for (int i = 0; i < 3; i++) {
    xmlNodePtr page = xmlNewChild(root, nullptr, reinterpret_cast<const xmlChar*>("page"), nullptr);
    XmlSetPropInt(page, "id", 1910 + i);
    XmlSetValDouble(page, i * 0.25);
    xmlNodePtr text = xmlNewTextChild(page, nullptr, reinterpret_cast<const xmlChar*>("t"),
                                  reinterpret_cast<const xmlChar*>("Text & <more> \xC3\xA4"));
    XmlSetPropString(text, "name", "a \"quoted\" name");
  }
  std::string written = XmlDocToString(doc);
  XmlFreeDoc(doc);
  // Formatted output: each child on its own indented line.
  EXPECT_NE(written.find("\n  <page"), std::string::npos) << written;

  xmlDocPtr back = ParseXmlMemory(written.c_str(), "back");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(XmlDocToString(back), written);
  xmlNodePtr backRoot = Root(back);
  EXPECT_EQ(XmlGetPropInt(backRoot, "id", 0), 49);
  int index = 0;
  for (xmlNodePtr page = backRoot->children; page; page = page->next, index++) {
    EXPECT_EQ(XmlGetPropInt(page, "id", 0), 1910 + index);
    EXPECT_DOUBLE_EQ(XmlGetValDouble(page), index * 0.25);
    ASSERT_NE(page->children, nullptr);
    EXPECT_EQ(XmlGetPropString(page->children, "name"), "a \"quoted\" name");
    xmlChar* content = xmlNodeGetContent(page->children);
    EXPECT_STREQ(reinterpret_cast<const char*>(content), "Text & <more> \xC3\xA4");
    xmlFree(content);
  }
  EXPECT_EQ(index, 3);
  XmlFreeDoc(back);
  EXPECT_EQ(XmlDocToString(nullptr), "");
}

TEST_F(XmlAccess, LibraryMemoryIsNeverCounted) {
  MemCounters before = gMemCounters;
  for (int i = 0; i < 20; i++) {
    // Large enough text that the parser grows its buffers (realloc) on the way.
    std::string text = "<a>";
    for (int j = 0; j < 200 * (i + 1); j++) text += "<b n=\"" + std::to_string(j) + "\">some content</b>";
    text += "</a>";
    xmlDocPtr doc = ParseXmlMemory(text.c_str(), "big");
    ASSERT_NE(doc, nullptr);
    std::string dumped = XmlDocToString(doc);
    XmlFreeDoc(doc);
  }
  EXPECT_EQ(gMemCounters.currentBytes, before.currentBytes);
  EXPECT_EQ(gMemCounters.totalBytes, before.totalBytes);
  EXPECT_EQ(gMemCounters.allocationCount, before.allocationCount);
  EXPECT_EQ(std::memcmp(gMemCounters.categoryBytes, before.categoryBytes, sizeof(before.categoryBytes)), 0);
}

int gHookCalls = 0;
void CountingHook() { gHookCalls++; }

TEST_F(XmlAccess, AllocationsRetryOnceAfterTheLowMemoryHook) {
  SetLowMemoryHook(CountingHook);
  gHookCalls = 0;
  OsFailNextHeapRequests(1);
  unsigned char* block = static_cast<unsigned char*>(XmlMalloc(32));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(gHookCalls, 1);
  for (int i = 0; i < 32; i++) EXPECT_EQ(block[i], 0);
  XmlFree(block);

  gHookCalls = 0;
  OsFailNextHeapRequests(2);
  EXPECT_EQ(XmlMalloc(32), nullptr);
  EXPECT_EQ(gHookCalls, 1);

  gHookCalls = 0;
  OsFailNextHeapRequests(1);
  char* copy = XmlStrdup("abc");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  EXPECT_EQ(gHookCalls, 1);
  XmlFree(copy);
  OsFailNextHeapRequests(0);
  SetLowMemoryHook(nullptr);
  XmlFree(nullptr);
}

}  // namespace
