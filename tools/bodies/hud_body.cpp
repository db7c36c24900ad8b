// The demo HUD's icon body, "effects/menugfx/GUI/gui_master": one two-sided quad plated with the
// HUD's icon sheet. The cockpit's marks show it in screen space, each scaled to its icon's size
// and with the icon's cell of the sheet as its texture.
#include "bodies/body_text_writer.h"

namespace bodytool {

std::string HudIconBodyText(const std::string& texture) {
  std::string text =
      "NAME: gui_master;\n"
      "MATERIAL6: 1; MPF_2SIDED|MPF_ALPHATEST; " + texture +
      "; 255;255;255; 255;255;255; 0;0;0; 255;255;255;0; 0; 0;0; 100; NULL;0; NULL;0; NULL;0; NULL;0; NULL;0;\n"
      "BODIES:\n"
      "1;\n"
      "POINTS:\n"
      "-1;-1;0; 1;-1;0; 1;1;0; -1;1;0;\n"
      "-1;-1;-1;\n"
      "PARTS:\n"
      "0; 0;1;2;3; -24; 1; 0;1.0; 1.0;1.0; 1.0;0; 0;0;\n"
      "-99; 0;\n-99;\n0;\n";
  return text;
}

}  // namespace bodytool
