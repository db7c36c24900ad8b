// The input script reader and writer: lines of "frame kind values" checked against the ranges
// each kind takes, so what is played back is always an event the devices can hold. Called by the
// SDL input backend and by tests; never touches a device and never reads past the text.
#include "platform/input_script.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct KindRule {
  const char* name;
  int32_t kind;
  int32_t valueCount;
  int32_t aMin, aMax;
  int32_t bMin, bMax;
};

constexpr int32_t kSdlScancodeLimit = 511;
constexpr int32_t kMaxFrame = 1000000000;

const KindRule kRules[] = {
    {"key", kScriptKey, 2, 1, kSdlScancodeLimit, 0, 1},
    {"mouse", kScriptMouse, 2, -32768, 32767, -32768, 32767},
    {"click", kScriptClick, 2, 0, 4, 0, 1},
    {"wheel", kScriptWheel, 1, -100, 100, 0, 0},
    {"axis", kScriptAxis, 2, 0, 5, -32768, 32767},
    {"button", kScriptButton, 2, 0, 31, 0, 1},
    {"hat", kScriptHat, 1, 0, 15, 0, 0},
};

const KindRule* RuleByName(const std::string& name) {
  for (const KindRule& rule : kRules) {
    if (name == rule.name) return &rule;
  }
  return nullptr;
}

const KindRule* RuleByKind(int32_t kind) {
  for (const KindRule& rule : kRules) {
    if (rule.kind == kind) return &rule;
  }
  return nullptr;
}

// Splits a line at blanks and tabs.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool Number(const std::string& word, int32_t minimum, int32_t maximum, int32_t* out) {
  if (word.empty() || word.size() > 12) return false;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(word.c_str(), &end, 10);
  if (errno != 0 || end != word.c_str() + word.size()) return false;
  if (value < minimum || value > maximum) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool ReadInputScript(const char* text, size_t size, std::vector<InputScriptLine>* lines, std::string* error) {
  lines->clear();
  if (!text) size = 0;
  uint32_t lastFrame = 0;
  size_t pos = 0;
  int32_t lineNumber = 0;
  while (pos < size) {
    const void* found = std::memchr(text + pos, '\n', size - pos);
    size_t end = found ? static_cast<size_t>(static_cast<const char*>(found) - text) : size;
    std::string line(text + pos, end - pos);
    pos = end + 1;
    ++lineNumber;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::vector<std::string> words = Words(line);
    if (words.empty()) continue;

    auto fail = [&](const char* what) {
      if (error) *error = "input script line " + std::to_string(lineNumber) + ": " + what;
      lines->clear();
      return false;
    };
    if (line.find('\0') != std::string::npos) return fail("a NUL byte");
    int32_t frame = 0;
    if (!Number(words[0], 0, kMaxFrame, &frame)) return fail("a bad frame number");
    if (words.size() < 2) return fail("no kind");
    const KindRule* rule = RuleByName(words[1]);
    if (!rule) return fail("an unknown kind");
    if (static_cast<int32_t>(words.size()) != 2 + rule->valueCount) return fail("the wrong number of values");
    if (static_cast<uint32_t>(frame) < lastFrame) return fail("a frame before the previous line's");
    InputScriptLine entry{static_cast<uint32_t>(frame), rule->kind, 0, 0};
    if (!Number(words[2], rule->aMin, rule->aMax, &entry.a)) return fail("a value out of range");
    if (rule->valueCount > 1 && !Number(words[3], rule->bMin, rule->bMax, &entry.b)) {
      return fail("a value out of range");
    }
    lastFrame = entry.frame;
    lines->push_back(entry);
  }
  return true;
}

std::string WriteInputScript(const std::vector<InputScriptLine>& lines) {
  std::string text;
  for (const InputScriptLine& line : lines) {
    const KindRule* rule = RuleByKind(line.kind);
    if (!rule) continue;
    text += std::to_string(line.frame) + " " + rule->name + " " + std::to_string(line.a);
    if (rule->valueCount > 1) text += " " + std::to_string(line.b);
    text += "\n";
  }
  return text;
}
