// Writes voice-line documents: <voice><language id=..><page id=.. stream=..><t id=.. s=.. l=../>.
#include "sound/voice_writer.h"

namespace sound_tool {

std::string WriteVoiceInfo(const std::vector<VoiceLanguageText>& languages) {
  std::string text = "<?xml version=\"1.0\"?>\n<voice>\n";
  for (const VoiceLanguageText& language : languages) {
    text += "  <language id=\"" + std::to_string(language.id) + "\">\n";
    for (const VoicePageText& page : language.pages) {
      text += "    <page id=\"" + std::to_string(page.id) + "\" stream=\"" + std::to_string(page.stream) + "\">\n";
      for (const VoiceLineText& line : page.lines)
        text += "      <t id=\"" + std::to_string(line.id) + "\" s=\"" + std::to_string(line.start) + "\" l=\"" +
                std::to_string(line.length) + "\"/>\n";
      text += "    </page>\n";
    }
    text += "  </language>\n";
  }
  return text + "</voice>\n";
}

}  // namespace sound_tool
