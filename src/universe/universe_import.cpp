// The universe XML import: each admitted element of a universe description becomes one script
// array laid out by its object class ("t"), with its attributes and their defaults, and its
// children converted into trailing slots. Called by the application's Wilo_XMLImportGalaxy.
// It creates no space objects, and nesting deeper than kImportDepthLimit stops the conversion
// there, so script-supplied text cannot exhaust the stack.
#include "universe/universe_import.h"

#include <libxml/tree.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/xml_access.h"
#include "script/containers.h"
#include "script/value.h"
#include "universe/type_access.h"

namespace {

constexpr int32_t kImportDepthLimit = 64;
constexpr int32_t kNoClass = -99;

const char* const kAcceptedNames[] = {"universe", "o",      "ware",      "debris", "asteroid",
                                      "ship",     "special", "container", "dock",   "gate",
                                      "planet",   "sun",    "background", "sector"};

bool Accepted(const xmlNode* node) {
  if (node->type != XML_ELEMENT_NODE || !node->name) return false;
  for (const char* name : kAcceptedNames) {
    if (std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0) return true;
  }
  return false;
}

int32_t CountElementChildren(const xmlNode* node) {
  int32_t n = 0;
  for (const xmlNode* child = node->children; child; child = child->next) n += child->type == XML_ELEMENT_NODE;
  return n;
}

int32_t Prop(xmlNode* node, const char* name, int32_t fallback = 0) { return XmlGetPropInt(node, name, fallback); }

int32_t ConvertNode(ScriptValue* result, xmlNode* node, int32_t level, int32_t depth);

// Converts one child into a fresh value; its class code is returned as ConvertNode gives it.
int32_t ConvertChild(ScriptValue* out, xmlNode* child, int32_t level, int32_t depth) {
  SetValueInt(out, 0);
  return ConvertNode(out, child, level, depth + 1);
}

void WriteFields(ScriptValue* result, const std::vector<int32_t>& fields, int32_t size) {
  AllocArrayValue(result, size);
  for (size_t i = 0; i < fields.size(); ++i) ArrayWriteInt(result, int32_t(i), fields[i]);
  for (int32_t i = int32_t(fields.size()); i < size; ++i) ArrayWriteInt(result, i, 0);
}

// Children into slots from `first` on: one slot each, or with twoSlotGroups a group of kind 1 to
// 10 as two slots (its kind, then its array).
void WriteChildren(ScriptValue* result, xmlNode* node, int32_t first, bool twoSlotGroups, int32_t level,
                   int32_t depth) {
  int32_t slot = first;
  for (xmlNode* child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    ScriptValue value{};
    const int32_t code = ConvertChild(&value, child, level, depth);
    if (twoSlotGroups && code < 0) ArrayWriteInt(result, slot++, -code);
    ArrayWrite(result, slot++, &value);
    ReleaseValue(&value);
  }
}

int32_t ConvertNode(ScriptValue* result, xmlNode* node, int32_t level, int32_t depth) {
  if (depth > kImportDepthLimit || !Accepted(node)) return 0;
  const int32_t children = CountElementChildren(node);
  if (std::strcmp(reinterpret_cast<const char*>(node->name), "universe") == 0) {
    if (level < 1 || level > 5 || children == 0) {
      SetValueInt(result, 0);
      return 0;
    }
    AllocArrayValue(result, children);
    WriteChildren(result, node, 0, false, level, depth);
    return 0;
  }
  const int32_t kind = Prop(node, "t", kNoClass);
  int32_t subtype = 0;
  if (kind == 23 || kind == 24 || kind == 26) {
    subtype = Prop(node, "s");
  } else if (XmlHasProp(node, "s")) {
    subtype = FindTypeByName(kind, XmlGetPropString(node, "s").c_str());
  }
  const int32_t hasG = XmlHasProp(node, "g") ? 1 : 0;
  auto n = [&](int32_t fallback) { return Prop(node, "n", fallback); };
  auto atLeastOne = [](int32_t v) { return v < 1 ? 1 : v; };
  switch (kind) {
    case 1:
      WriteFields(result,
                  {1, Prop(node, "x"), Prop(node, "y"), Prop(node, "r"), Prop(node, "id"), Prop(node, "size", 10000000),
                   Prop(node, "m"), Prop(node, "p", -1), Prop(node, "qtrade", 100), Prop(node, "qfight", 100),
                   Prop(node, "qbuild", 100), Prop(node, "qthink", 100), Prop(node, "f")},
                  13 + children);
      WriteChildren(result, node, 13, false, level, depth);
      return kind;
    case 2:
      WriteFields(result, {2, subtype, Prop(node, "neb"), Prop(node, "stars")}, 4);
      return kind;
    case 3: {
      const int32_t color = Prop(node, "color");
      if (level >= 4) {
        WriteFields(result, {3, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), subtype, color, Prop(node, "f")},
                    7);
      } else {
        WriteFields(result,
                    {3, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), (color >> 16) & 0xFF, (color >> 8) & 0xFF,
                     color & 0xFF, subtype, Prop(node, "f")},
                    9);
      }
      return kind;
    }
    case 4: {
      std::vector<int32_t> fields = {4, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), subtype};
      if (level >= 4) fields.push_back(Prop(node, "color"));
      fields.push_back(Prop(node, "fn"));
      fields.push_back(Prop(node, "f"));
      WriteFields(result, fields, int32_t(fields.size()));
      return kind;
    }
    case 5:
    case 6:
      WriteFields(result,
                  {kind, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), subtype, Prop(node, "r"), hasG,
                   Prop(node, "a"), Prop(node, "b"), Prop(node, "g"), Prop(node, "id"), n(-1), Prop(node, "f")},
                  13 + 2 * children);
      WriteChildren(result, node, 13, true, level, depth);
      return kind;
    case 7:
      WriteFields(result,
                  {7, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), subtype, Prop(node, "r"), Prop(node, "id"),
                   n(-1), Prop(node, "f")},
                  9 + 2 * children);
      WriteChildren(result, node, 9, true, level, depth);
      return kind;
    case 17:
    case 28:
      WriteFields(result,
                  {kind, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), subtype, Prop(node, "atype"),
                   Prop(node, "aamount"), hasG, Prop(node, "a"), Prop(node, "b"), Prop(node, "g"), Prop(node, "id"),
                   n(-1), Prop(node, "f")},
                  14);
      return kind;
    case 18:
      WriteFields(result,
                  {18, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), subtype, Prop(node, "r"), Prop(node, "gid", -1),
                   Prop(node, "gx", -1), Prop(node, "gy", -1), Prop(node, "gtid", -1), hasG, Prop(node, "a"),
                   Prop(node, "b"), Prop(node, "g"), Prop(node, "id"), n(-1), Prop(node, "f")},
                  17);
      return kind;
    case 20: {
      std::vector<int32_t> fields = {20,          Prop(node, "x"), Prop(node, "y"),  Prop(node, "z"), subtype,
                                     Prop(node, "a"), Prop(node, "b"), Prop(node, "g"), Prop(node, "id"), n(-1)};
      if (level >= 5) fields.push_back(Prop(node, "v"));
      fields.push_back(Prop(node, "f"));
      WriteFields(result, fields, int32_t(fields.size()));
      return kind;
    }
    case 21: {
      int32_t size = Prop(node, "size", 10000000);
      int32_t outer = Prop(node, "outer", -1);
      if (size < 0 || outer < 0 || outer < size) {
        size = 5000000;
        outer = 7500000;
      }
      std::vector<int32_t> fields = {21, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), Prop(node, "id"), size,
                                     outer};
      for (const char* name : {"b", "fn", "ff", "hue", "n", "shield", "hull", "v", "d0", "d1", "d2", "d3", "d4", "d5",
                               "d6", "d7", "f"}) {
        fields.push_back(Prop(node, name));
      }
      WriteFields(result, fields, 24);
      return kind;
    }
    case 23:
      if (children == 0) {
        SetValueInt(result, 0);
      } else {
        AllocArrayValue(result, children);
        WriteChildren(result, node, 0, false, level, depth);
      }
      return subtype >= 1 && subtype <= 10 ? -subtype : kind;
    case 24:
      WriteFields(result, {24, subtype, Prop(node, "e")}, 3);
      return kind;
    case 26:
      WriteFields(result, {26, subtype}, 3);
      ArrayWriteString(result, 2, XmlGetPropString(node, "e").c_str());
      return kind;
    default:
      if (kind >= 8 && kind <= 16) {
        if (XmlHasProp(node, "x")) {
          WriteFields(result,
                      {kind, Prop(node, "x"), Prop(node, "y"), Prop(node, "z"), subtype, Prop(node, "id"),
                       atLeastOne(n(-1)), Prop(node, "f")},
                      8);
        } else if (kind == 8) {
          WriteFields(result, {8, subtype, Prop(node, "index", -1)}, 3);
        } else {
          WriteFields(result, {kind, subtype, atLeastOne(n(-1))}, 3);
        }
        return kind;
      }
      // A missing "t" and the classes without a layout build nothing.
      return 0;
  }
}

}  // namespace

int32_t ImportUniverseNode(ScriptValue* result, _xmlNode* node, int32_t level) {
  if (!result || !node) return 0;
  return ConvertNode(result, node, level, 1);
}
