// A writer of voice-line documents for tests, fuzz seeds and the demo: languages, each with pages
// (page id, stream number) of lines (line id, start ms, length ms). Writes whatever it is given,
// duplicates and out-of-range ids included, so tests can make the files the engine must sort
// out. Never used by the engine itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sound_tool {

struct VoiceLineText {
  int32_t id;
  int32_t start;
  int32_t length;
};

struct VoicePageText {
  int32_t id;
  int32_t stream;
  std::vector<VoiceLineText> lines;
};

struct VoiceLanguageText {
  int32_t id;
  std::vector<VoicePageText> pages;
};

std::string WriteVoiceInfo(const std::vector<VoiceLanguageText>& languages);

}  // namespace sound_tool
