// The machine's facts as a tree of named containers with text properties, gathered once per
// provider from /etc/os-release, uname, /proc/cpuinfo and /proc/meminfo. Called by
// app/system_info.cpp. Never fails on odd or missing files: a fact that cannot be read is
// published as an empty text (or, for the memory, left out).
#include "platform/sysinfo.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/memory_status.h"

struct SysInfoContainer {
  std::string name;
  std::vector<std::pair<std::string, std::string>> properties;
  std::vector<std::unique_ptr<SysInfoContainer>> children;
};

struct SysInfoProvider {
  SysInfoContainer root;
};

static bool gOverridden = false;
static SysInfoFacts gFacts;

void SysInfoOverrideFacts(const SysInfoFacts* facts) {
  gOverridden = facts != nullptr;
  if (facts != nullptr) gFacts = *facts;
}

static std::string ReadWholeFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::string();
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

static void CopyText(const std::string& from, char* text, size_t size) {
  if (size == 0) return;
  size_t length = from.size() < size - 1 ? from.size() : size - 1;
  memcpy(text, from.data(), length);
  text[length] = '\0';
}

static std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// Walks "key : value" lines; the callback sees the trimmed key and value of each.
template <typename Visit>
static void ForEachField(const char* text, char separator, Visit visit) {
  if (text == nullptr) return;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t at = line.find(separator);
    if (at == std::string::npos) continue;
    visit(Trim(line.substr(0, at)), Trim(line.substr(at + 1)));
  }
}

void SysInfoProcessorText(const char* cpuinfo, char* text, size_t size) {
  std::string model;
  double megahertz = 0.0;
  int processors = 0;
  ForEachField(cpuinfo, ':', [&](const std::string& key, const std::string& value) {
    if (key == "processor") ++processors;
    else if (key == "model name" && model.empty()) model = value;
    else if (key == "cpu MHz" && megahertz == 0.0) megahertz = atof(value.c_str());
  });
  std::string result = model;
  if (megahertz > 0.0 && megahertz < 1.0e7) {
    char tail[64];
    snprintf(tail, sizeof tail, " (%d CPUs), ~%.1fGHz", processors > 0 ? processors : 1, megahertz / 1000.0);
    result += tail;
  }
  CopyText(Trim(result), text, size);
}

void SysInfoOsText(const char* osRelease, const char* system, const char* release, const char* machine, char* text,
                   size_t size) {
  std::string name;
  ForEachField(osRelease, '=', [&](const std::string& key, const std::string& value) {
    if (key != "PRETTY_NAME" || !name.empty()) return;
    name = value;
    if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') && name.back() == name.front()) {
      name = name.substr(1, name.size() - 2);
    }
  });
  std::string result = name.empty() ? std::string(system) : name;
  result += " (";
  result += system;
  result += " ";
  result += release;
  result += ", ";
  result += machine;
  result += ")";
  CopyText(result, text, size);
}

static SysInfoContainer* AddChild(SysInfoContainer* parent, const std::string& name) {
  parent->children.push_back(std::make_unique<SysInfoContainer>());
  parent->children.back()->name = name;
  return parent->children.back().get();
}

static void AddProperty(SysInfoContainer* container, const char* name, const char* value) {
  if (value != nullptr) container->properties.emplace_back(name, value);
}

static void BuildTree(const SysInfoFacts& facts, SysInfoContainer* root) {
  SysInfoContainer* system = AddChild(root, kSysInfoSystemContainer);
  AddProperty(system, kSysInfoOsProperty, facts.operatingSystem);
  AddProperty(system, kSysInfoApiVersionProperty, facts.apiVersion);
  AddProperty(system, kSysInfoProcessorProperty, facts.processor);
  AddProperty(system, kSysInfoMemoryProperty, facts.physicalMemory);
  SysInfoContainer* displays = AddChild(root, kSysInfoDisplayContainer);
  int count = facts.displayCount < 0 ? 0 : facts.displayCount > kSysInfoMaxDisplays ? kSysInfoMaxDisplays
                                                                                     : facts.displayCount;
  for (int i = 0; i < count; ++i) {
    SysInfoContainer* device = AddChild(displays, std::to_string(i));
    AddProperty(device, kSysInfoDescriptionProperty, facts.displays[i].description);
    AddProperty(device, kSysInfoDriverProperty, facts.displays[i].driverVersion);
    AddProperty(device, kSysInfoDisplayMemoryProperty, facts.displays[i].memory);
  }
}

SysInfoProvider* SysInfoCreateProvider() {
  auto provider = std::make_unique<SysInfoProvider>();
  if (gOverridden) {
    if (!gFacts.available) return nullptr;
    BuildTree(gFacts, &provider->root);
    return provider.release();
  }

  char operatingSystem[512] = "", processor[512] = "", memory[64] = "", displayMemory[32];
  struct utsname names;
  if (uname(&names) == 0) {
    std::string release = ReadWholeFile("/etc/os-release");
    if (release.empty()) release = ReadWholeFile("/usr/lib/os-release");
    SysInfoOsText(release.c_str(), names.sysname, names.release, names.machine, operatingSystem,
                  sizeof operatingSystem);
  }
  std::string cpuinfo = ReadWholeFile("/proc/cpuinfo");
  SysInfoProcessorText(cpuinfo.c_str(), processor, sizeof processor);
  if (processor[0] == '\0' && uname(&names) == 0) CopyText(names.machine, processor, sizeof processor);
  OsMemoryStatus status;
  bool haveMemory = OsGetMemoryStatus(&status) && status.totalPhysical > 0;
  if (haveMemory) snprintf(memory, sizeof memory, "%lluMB RAM", (unsigned long long)(status.totalPhysical >> 20));
  snprintf(displayMemory, sizeof displayMemory, "%d.0 MB", kSoftwareDisplayMemoryMB);

  SysInfoFacts facts = {};
  facts.available = true;
  facts.operatingSystem = operatingSystem;
  facts.apiVersion = "Korvane software renderer 1.0";
  facts.processor = processor;
  facts.physicalMemory = haveMemory ? memory : nullptr;
  facts.displayCount = 1;
  facts.displays[0] = {kSoftwareDisplayName, kSoftwareDisplayDriver, displayMemory};
  BuildTree(facts, &provider->root);
  return provider.release();
}

void SysInfoReleaseProvider(SysInfoProvider* provider) { delete provider; }

SysInfoContainer* SysInfoGetRoot(SysInfoProvider* provider) { return provider != nullptr ? &provider->root : nullptr; }

SysInfoContainer* SysInfoGetChild(SysInfoContainer* container, const char* name) {
  if (container == nullptr || name == nullptr) return nullptr;
  for (auto& child : container->children) {
    if (child->name == name) return child.get();
  }
  return nullptr;
}

bool SysInfoGetProperty(SysInfoContainer* container, const char* name, char* text, size_t size) {
  if (size > 0) text[0] = '\0';
  if (container == nullptr || name == nullptr) return false;
  for (const auto& [key, value] : container->properties) {
    if (key == name) {
      CopyText(value, text, size);
      return true;
    }
  }
  return false;
}
