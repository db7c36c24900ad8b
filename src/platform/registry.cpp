// The user's registry kept as one XML file: the tree of keys and values lives in memory, is read
// from the file at first use and written back whole when a changing key is closed or a key is
// deleted. Callers: app/settings.cpp and the registered-owner lookup of the general
// initialisation. It must never crash on a damaged file and never write over the last good file
// in place: the new file is written beside it and renamed over it only when complete.
#include "platform/registry.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlstring.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct RegValue {
  std::string name;
  uint32_t type;
  std::vector<uint8_t> data;
};

struct RegNode {
  std::string name;
  std::vector<RegValue> values;
  std::vector<std::unique_ptr<RegNode>> children;
};

struct RegistryKey {
  std::vector<std::string> path;  // components below the root
  bool writable;
};

static RegNode gRoot;
static bool gLoaded = false;
static bool gDirty = false;
static bool gPathOverridden = false;
static std::string gFilePath;

static bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// Names must be storable as XML attribute text: valid UTF-8 without control characters.
static bool IsStorableText(const uint8_t* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < 0x20 || text[i] == 0x7F) return false;
  }
  if (length > 0x7FFFFFFF) return false;
  std::string copy(reinterpret_cast<const char*>(text), length);
  return xmlCheckUTF8(reinterpret_cast<const xmlChar*>(copy.c_str())) != 0;
}

static bool IsStorableName(const char* name) {
  return IsStorableText(reinterpret_cast<const uint8_t*>(name), strlen(name));
}

static bool SplitPath(const char* path, std::vector<std::string>* parts) {
  parts->clear();
  if (path == nullptr) return true;
  if (strlen(path) > kRegMaxPath) return false;
  std::string part;
  for (const char* p = path;; ++p) {
    if (*p == '\\' || *p == '\0') {
      if (!part.empty()) {
        if (!IsStorableName(part.c_str())) return false;
        parts->push_back(part);
      }
      part.clear();
      if (*p == '\0') break;
    } else {
      part += *p;
    }
  }
  return true;
}

static RegNode* FindChild(RegNode* node, const char* name) {
  for (auto& child : node->children) {
    if (SameName(child->name, name)) return child.get();
  }
  return nullptr;
}

static RegValue* FindValue(RegNode* node, const char* name) {
  for (auto& value : node->values) {
    if (SameName(value.name, name)) return &value;
  }
  return nullptr;
}

// ---- reading the file ----

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

static bool ParseHex(const char* text, std::vector<uint8_t>* data) {
  size_t length = strlen(text);
  if (length % 2 != 0 || length / 2 > kRegMaxValueSize) return false;
  data->resize(length / 2);
  for (size_t i = 0; i < length / 2; ++i) {
    int high = HexDigit(text[2 * i]);
    int low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    (*data)[i] = uint8_t(high * 16 + low);
  }
  return true;
}

static bool ParseDword(const char* text, std::vector<uint8_t>* data) {
  if (*text < '0' || *text > '9') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long number = strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || number > 0xFFFFFFFFull) return false;
  uint32_t word = uint32_t(number);
  data->resize(4);
  memcpy(data->data(), &word, 4);
  return true;
}

static bool ParseType(const char* text, uint32_t* type) {
  if (strcmp(text, "sz") == 0) *type = kRegSz;
  else if (strcmp(text, "dword") == 0) *type = kRegDword;
  else if (strcmp(text, "binary") == 0) *type = kRegBinary;
  else {
    char* end = nullptr;
    errno = 0;
    unsigned long number = strtoul(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || number > 0xFFFFFFFFul) return false;
    *type = uint32_t(number);
  }
  return true;
}

// Reads one attribute as a C++ string; false when it is absent.
static bool GetAttribute(xmlNodePtr node, const char* name, std::string* out) {
  xmlChar* text = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (text == nullptr) return false;
  *out = reinterpret_cast<const char*>(text);
  xmlFree(text);
  return true;
}

// A value element that cannot be understood is left out; the rest of the file still counts.
static void LoadValue(xmlNodePtr element, RegNode* node) {
  std::string name, typeText, content;
  RegValue value;
  if (!GetAttribute(element, "name", &name) || !GetAttribute(element, "type", &typeText)) return;
  if (!ParseType(typeText.c_str(), &value.type)) return;
  if (GetAttribute(element, "text", &content)) {
    value.data.assign(content.begin(), content.end());
    value.data.push_back(0);
    if (value.data.size() > kRegMaxValueSize) return;
  } else if (GetAttribute(element, "dword", &content)) {
    if (!ParseDword(content.c_str(), &value.data)) return;
  } else if (GetAttribute(element, "hex", &content)) {
    if (!ParseHex(content.c_str(), &value.data)) return;
  } else {
    return;
  }
  if (FindValue(node, name.c_str()) != nullptr) return;
  value.name = name;
  node->values.push_back(std::move(value));
}

static void LoadKey(xmlNodePtr element, RegNode* node) {
  for (xmlNodePtr child = element->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (xmlStrcmp(child->name, BAD_CAST "value") == 0) {
      LoadValue(child, node);
    } else if (xmlStrcmp(child->name, BAD_CAST "key") == 0) {
      std::string name;
      if (!GetAttribute(child, "name", &name) || name.empty() || name.find('\\') != std::string::npos) continue;
      RegNode* target = FindChild(node, name.c_str());
      if (target == nullptr) {
        auto fresh = std::make_unique<RegNode>();
        fresh->name = name;
        target = fresh.get();
        node->children.push_back(std::move(fresh));
      }
      LoadKey(child, target);
    }
  }
}

static void ResolveDefaultPath() {
  const char* config = getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') {
    gFilePath = std::string(config) + "/korvane/registry.xml";
    return;
  }
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    gFilePath = std::string(home) + "/.config/korvane/registry.xml";
    return;
  }
  gFilePath.clear();
}

static void EnsureLoaded() {
  if (gLoaded) return;
  gLoaded = true;
  gDirty = false;
  gRoot = RegNode();
  if (!gPathOverridden) ResolveDefaultPath();
  if (gFilePath.empty() || access(gFilePath.c_str(), F_OK) != 0) return;
  xmlDocPtr document = xmlReadFile(gFilePath.c_str(), nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (document == nullptr) return;  // damaged: an empty registry
  xmlNodePtr top = xmlDocGetRootElement(document);
  if (top != nullptr && xmlStrcmp(top->name, BAD_CAST "registry") == 0) LoadKey(top, &gRoot);
  xmlFreeDoc(document);
}

// ---- writing the file ----

static const char* TypeWord(uint32_t type, char* buffer, size_t size) {
  switch (type) {
    case kRegSz: return "sz";
    case kRegDword: return "dword";
    case kRegBinary: return "binary";
    default: snprintf(buffer, size, "%u", type); return buffer;
  }
}

static void SaveValue(xmlNodePtr parent, const RegValue& value) {
  xmlNodePtr element = xmlNewChild(parent, nullptr, BAD_CAST "value", nullptr);
  char typeBuffer[16];
  xmlSetProp(element, BAD_CAST "name", BAD_CAST value.name.c_str());
  xmlSetProp(element, BAD_CAST "type", BAD_CAST TypeWord(value.type, typeBuffer, sizeof typeBuffer));
  const std::vector<uint8_t>& data = value.data;
  if (value.type == kRegSz && !data.empty() && data.back() == 0 && IsStorableText(data.data(), data.size() - 1)) {
    std::string text(data.begin(), data.end() - 1);
    xmlSetProp(element, BAD_CAST "text", BAD_CAST text.c_str());
  } else if (value.type == kRegDword && data.size() == 4) {
    uint32_t word;
    memcpy(&word, data.data(), 4);
    char number[16];
    snprintf(number, sizeof number, "%u", word);
    xmlSetProp(element, BAD_CAST "dword", BAD_CAST number);
  } else {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(data.size() * 2);
    for (uint8_t byte : data) {
      hex += kDigits[byte >> 4];
      hex += kDigits[byte & 15];
    }
    xmlSetProp(element, BAD_CAST "hex", BAD_CAST hex.c_str());
  }
}

static void SaveKey(xmlNodePtr parent, const RegNode& node) {
  for (const RegValue& value : node.values) SaveValue(parent, value);
  for (const auto& child : node.children) {
    xmlNodePtr element = xmlNewChild(parent, nullptr, BAD_CAST "key", nullptr);
    xmlSetProp(element, BAD_CAST "name", BAD_CAST child->name.c_str());
    SaveKey(element, *child);
  }
}

static bool WriteWhole(FILE* file, const xmlChar* bytes, int size) {
  return size >= 0 && fwrite(bytes, 1, size_t(size), file) == size_t(size) && fflush(file) == 0 &&
         fsync(fileno(file)) == 0;
}

// Writes the whole tree to "<file>.tmp" and renames it over the file, so a failed write leaves the
// previous file as it was.
static bool WriteFile() {
  if (gFilePath.empty()) return false;
  std::error_code error;
  std::filesystem::path folder = std::filesystem::path(gFilePath).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, error);

  xmlDocPtr document = xmlNewDoc(BAD_CAST "1.0");
  xmlNodePtr top = xmlNewNode(nullptr, BAD_CAST "registry");
  xmlDocSetRootElement(document, top);
  SaveKey(top, gRoot);
  xmlChar* bytes = nullptr;
  int size = -1;
  xmlDocDumpFormatMemoryEnc(document, &bytes, &size, "UTF-8", 1);
  xmlFreeDoc(document);
  if (bytes == nullptr) return false;

  std::string temporary = gFilePath + ".tmp";
  bool written = false;
  FILE* file = fopen(temporary.c_str(), "wb");
  if (file != nullptr) {
    written = WriteWhole(file, bytes, size);
    if (fclose(file) != 0) written = false;
    if (written) written = rename(temporary.c_str(), gFilePath.c_str()) == 0;
    if (!written) remove(temporary.c_str());
  }
  xmlFree(bytes);
  if (written) gDirty = false;
  return written;
}

// ---- the calls ----

static RegNode* FindNode(const std::vector<std::string>& path) {
  RegNode* node = &gRoot;
  for (const std::string& part : path) {
    node = FindChild(node, part.c_str());
    if (node == nullptr) return nullptr;
  }
  return node;
}

int32_t RegistryCreateKey(const char* path, RegistryKey** key) {
  if (key == nullptr) return kRegInvalidParameter;
  *key = nullptr;
  std::vector<std::string> parts;
  if (!SplitPath(path, &parts)) return kRegInvalidParameter;
  EnsureLoaded();
  RegNode* node = &gRoot;
  for (const std::string& part : parts) {
    RegNode* child = FindChild(node, part.c_str());
    if (child == nullptr) {
      auto fresh = std::make_unique<RegNode>();
      fresh->name = part;
      child = fresh.get();
      node->children.push_back(std::move(fresh));
      gDirty = true;
    }
    node = child;
  }
  *key = new RegistryKey{std::move(parts), true};
  return kRegOk;
}

int32_t RegistryOpenKey(const char* path, uint32_t access, RegistryKey** key) {
  if (key == nullptr) return kRegInvalidParameter;
  *key = nullptr;
  std::vector<std::string> parts;
  if (!SplitPath(path, &parts)) return kRegInvalidParameter;
  EnsureLoaded();
  if (FindNode(parts) == nullptr) return kRegNotFound;
  *key = new RegistryKey{std::move(parts), (access & 0x6) != 0};
  return kRegOk;
}

int32_t RegistryCloseKey(RegistryKey* key) {
  if (key == nullptr) return kRegInvalidParameter;
  bool writable = key->writable;
  delete key;
  if (writable && gDirty && !WriteFile()) return kRegWriteFailed;
  return kRegOk;
}

int32_t RegistryQueryValue(RegistryKey* key, const char* name, uint32_t* type, void* data, uint32_t* size) {
  if (key == nullptr || (data != nullptr && size == nullptr)) return kRegInvalidParameter;
  RegNode* node = FindNode(key->path);
  if (node == nullptr) return kRegNotFound;
  RegValue* value = FindValue(node, name != nullptr ? name : "");
  if (value == nullptr) return kRegNotFound;
  if (type != nullptr) *type = value->type;
  if (size == nullptr) return kRegOk;
  uint32_t needed = uint32_t(value->data.size());
  uint32_t room = *size;
  *size = needed;
  if (needed == 0) return kRegOk;
  if (data == nullptr || room < needed) return kRegMoreData;
  memcpy(data, value->data.data(), needed);
  return kRegOk;
}

int32_t RegistrySetValue(RegistryKey* key, const char* name, uint32_t type, const void* data, uint32_t size) {
  if (key == nullptr || (data == nullptr && size != 0) || size > kRegMaxValueSize) return kRegInvalidParameter;
  if (!key->writable) return kRegAccessDenied;
  if (name == nullptr) name = "";
  if (!IsStorableName(name)) return kRegInvalidParameter;
  RegNode* node = FindNode(key->path);
  if (node == nullptr) return kRegNotFound;
  RegValue* value = FindValue(node, name);
  if (value == nullptr) {
    node->values.push_back(RegValue{name, type, {}});
    value = &node->values.back();
  }
  value->type = type;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  value->data.assign(bytes, bytes + size);
  gDirty = true;
  return kRegOk;
}

int32_t RegistryDeleteValue(RegistryKey* key, const char* name) {
  if (key == nullptr) return kRegInvalidParameter;
  if (!key->writable) return kRegAccessDenied;
  RegNode* node = FindNode(key->path);
  if (node == nullptr) return kRegNotFound;
  if (name == nullptr) name = "";
  for (size_t i = 0; i < node->values.size(); ++i) {
    if (SameName(node->values[i].name, name)) {
      node->values.erase(node->values.begin() + ptrdiff_t(i));
      gDirty = true;
      return kRegOk;
    }
  }
  return kRegNotFound;
}

int32_t RegistryDeleteKey(RegistryKey* parent, const char* subKey) {
  std::vector<std::string> parts;
  if (subKey == nullptr || !SplitPath(subKey, &parts) || parts.empty()) return kRegInvalidParameter;
  EnsureLoaded();
  if (parent != nullptr) parts.insert(parts.begin(), parent->path.begin(), parent->path.end());
  std::string last = parts.back();
  parts.pop_back();
  RegNode* owner = FindNode(parts);
  if (owner == nullptr) return kRegNotFound;
  for (size_t i = 0; i < owner->children.size(); ++i) {
    if (!SameName(owner->children[i]->name, last.c_str())) continue;
    if (!owner->children[i]->children.empty()) return kRegAccessDenied;
    owner->children.erase(owner->children.begin() + ptrdiff_t(i));
    gDirty = true;
    return WriteFile() ? kRegOk : kRegWriteFailed;
  }
  return kRegNotFound;
}

void RegistrySetFilePath(const char* path) {
  gPathOverridden = path != nullptr;
  gFilePath = path != nullptr ? path : "";
  gLoaded = false;
  gDirty = false;
  gRoot = RegNode();
}

const char* RegistryGetFilePath() {
  if (!gPathOverridden) ResolveDefaultPath();
  return gFilePath.c_str();
}
