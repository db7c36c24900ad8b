// The demo's own launcher texts (data/demo/texts/dialogs-<language>.xml, read from the source
// tree) in place of the test texts, and a walk through every dialog the launcher opens that
// reviews each as the user would see it: no missing-text marker in the caption, a control or a
// list entry; every control inside the dialog with room of its own; no two controls overlapping
// except a frame around what it frames; and the template's order kept (what lies left of or
// above another, or inside a frame, still does). Used with a DialogWorld, headless and on a
// virtual display alike.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "app/settings_dialogs.h"
#include "core/xml_access.h"
#include "script/engine.h"
#include "script/text_database.h"

// The dialogs the launcher opens, with the button that closes each without changes.
struct DemoDialog {
  const char* name;
  const DialogTemplate* dialog;
  int32_t opener;  // the launcher button that opens it (0: the launcher itself)
  int32_t closer;
};

inline const DemoDialog kDemoDialogs[] = {
    {"graphics", &kGraphicsSettingsTemplate, kLauncherGraphics, kGfxCancel},
    {"controller", &kControllerTemplate, kLauncherController, kDialogIdCancel},
    {"capture", &kCaptureFolderTemplate, kLauncherCapture, kDialogIdCancel},
    {"mod", &kModPackageTemplate, kLauncherMod, kDialogIdCancel},
    {"launcher", &kLauncherTemplate, 0, kLauncherCancel},
};

// Replaces every text of the database with the demo's dialog texts of both languages.
inline void UseDemoDialogTexts() {
  ASSERT_NE(gScriptEngine, nullptr);
  FreeAllTexts(gScriptEngine);
  const std::filesystem::path folder = std::filesystem::path(KORVANE_SOURCE_DIR) / "data/demo/texts";
  for (const char* language : {"44", "49"}) {
    const std::filesystem::path file = folder / (std::string("dialogs-") + language + ".xml");
    std::ifstream in(file);
    ASSERT_TRUE(in) << file;
    std::stringstream text;
    text << in.rdbuf();
    xmlDocPtr document = ParseXmlMemory(text.str().c_str(), file.c_str());
    ASSERT_NE(document, nullptr) << file;
    EXPECT_EQ(ReadLanguageFile(xmlDocGetRootElement(document), gScriptEngine), 1) << file;
    XmlFreeDoc(document);
  }
}

// What the reviews found, one line per fault, and the dialogs they looked at.
struct DialogReviews {
  std::vector<std::string> faults;
  std::vector<int32_t> reviewed;
};

inline DialogReviews& Reviews() {
  static DialogReviews reviews;
  return reviews;
}

inline bool Overlap(const DialogRect& a, const DialogRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

inline bool Holds(const DialogRect& outer, const DialogRect& inner) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

// A control's template place in dialog units; a drop-down list as tall as when it is closed.
inline DialogRect TemplatePlace(const DialogControlTemplate& control) {
  return DialogRect{control.x, control.y, control.width,
                    control.kind == kDialogDropDownList ? int32_t{14} : int32_t{control.height}};
}

inline bool HasMarker(const char* text) { return text && std::strstr(text, kTextNotFound) != nullptr; }

// An inspect action: reviews the dialog in front.
inline void ReviewDialog(DialogWindow* window, const DialogAction*) {
  DialogReviews& reviews = Reviews();
  const int32_t id = DialogResourceId(window);
  reviews.reviewed.push_back(id);
  const DialogTemplate* dialog = nullptr;
  for (const DemoDialog& known : kDemoDialogs) {
    if (known.dialog->id == id) dialog = known.dialog;
  }
  auto fault = [&](const std::string& what) { reviews.faults.push_back("dialog " + std::to_string(id) + ": " + what); };
  if (!dialog) return fault("not one of the launcher's dialogs");

  if (HasMarker(DialogCaption(window))) fault("the caption has no text");
  int32_t width = 0, height = 0;
  DialogGetClientSize(window, &width, &height);
  const DialogRect client{0, 0, width, height};
  std::vector<DialogRect> shown(static_cast<size_t>(dialog->controlCount));
  for (int32_t i = 0; i < dialog->controlCount; ++i) {
    const DialogControlTemplate& control = dialog->controls[i];
    const std::string name = "control " + std::to_string(control.id);
    if (HasMarker(DialogItemText(window, control.id))) fault(name + " has no text");
    for (int32_t k = 0; k < DialogListCount(window, control.id); ++k) {
      if (HasMarker(DialogListText(window, control.id, k)))
        fault(name + " entry " + std::to_string(k) + " has no text");
    }
    DialogRect& rect = shown[static_cast<size_t>(i)];
    if (!DialogGetItemRect(window, control.id, &rect)) fault(name + " has no place");
    if (rect.width <= 0 || rect.height <= 0) fault(name + " has no room");
    if (!Holds(client, rect)) fault(name + " lies outside the dialog");
  }
  for (int32_t i = 0; i < dialog->controlCount; ++i) {
    for (int32_t k = i + 1; k < dialog->controlCount; ++k) {
      const DialogControlTemplate& a = dialog->controls[i];
      const DialogControlTemplate& b = dialog->controls[k];
      const DialogRect& sa = shown[static_cast<size_t>(i)];
      const DialogRect& sb = shown[static_cast<size_t>(k)];
      const DialogRect ta = TemplatePlace(a), tb = TemplatePlace(b);
      const std::string pair = "controls " + std::to_string(a.id) + " and " + std::to_string(b.id);
      const bool frameA = a.kind == kDialogGroupBox, frameB = b.kind == kDialogGroupBox;
      if (frameA && Holds(ta, tb)) {
        if (!Holds(sa, sb)) fault(pair + ": the frame no longer holds the control");
      } else if (frameB && Holds(tb, ta)) {
        if (!Holds(sb, sa)) fault(pair + ": the frame no longer holds the control");
      } else if (Overlap(sa, sb)) {
        fault(pair + " overlap");
      }
      // What lay left of or above the other in the template still does.
      auto before = [](int32_t endA, int32_t startB) { return endA <= startB; };
      if (before(ta.x + ta.width, tb.x) && !before(sa.x + sa.width, sb.x)) fault(pair + ": left of right order lost");
      if (before(tb.x + tb.width, ta.x) && !before(sb.x + sb.width, sa.x)) fault(pair + ": left of right order lost");
      if (before(ta.y + ta.height, tb.y) && !before(sa.y + sa.height, sb.y)) fault(pair + ": top to bottom order lost");
      if (before(tb.y + tb.height, ta.y) && !before(sb.y + sb.height, sa.y)) fault(pair + ": top to bottom order lost");
    }
  }
}

// The walk: each settings dialog opened from the launcher, reviewed, photographed when `shots`
// names a file per dialog (in the order of kDemoDialogs) and closed; then the launcher itself,
// which is cancelled. The strings must outlive the run.
inline std::vector<DialogAction> ReviewEveryDialog(const std::vector<std::string>* shots) {
  std::vector<DialogAction> script;
  size_t index = 0;
  for (const DemoDialog& dialog : kDemoDialogs) {
    const int32_t id = dialog.dialog->id;
    if (dialog.opener)
      script.push_back(DialogAction{kLauncherDialogId, kDialogActClick, dialog.opener, 0, nullptr, nullptr});
    script.push_back(DialogAction{id, kDialogActInspect, 0, 0, nullptr, ReviewDialog});
    if (shots) script.push_back(DialogAction{id, kDialogActScreenshot, 0, 1, (*shots)[index].c_str(), nullptr});
    script.push_back(DialogAction{id, kDialogActClick, dialog.closer, 0, nullptr, nullptr});
    ++index;
  }
  return script;
}
