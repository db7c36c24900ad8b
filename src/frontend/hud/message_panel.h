// The states of the cockpit's animated message panel and of its twin, the nav map panel, and the
// nav map's colour for each kind of object. Called by the cockpit message code, which carries out
// the action each step answers (start a cut on the three models, attach or hide them); pure, it
// never touches slots, cuts or textures itself.
#pragma once

#include <cstdint>

// Panel states.
constexpr int32_t kPanelClosed = 0;
constexpr int32_t kPanelOpening = 1;
constexpr int32_t kPanelShown = 2;
constexpr int32_t kPanelClosing = 3;
constexpr int32_t kPanelReopening = 4;  // closing, then opening again for a new message

constexpr int32_t kDefaultMessageDuration = 20000;
constexpr int32_t kCutOpen = 800;
constexpr int32_t kCutHold = 801;
constexpr int32_t kCutClose = 802;

struct PanelState {
  int32_t state;
  uint32_t startTime;
  int32_t duration;  // ms shown; 0 keeps the message until it is cleared (message panel only)
};

// What the caller does after a step.
enum class PanelAction {
  kNone,
  kAttachAndOpen,  // attach the three models, then start the opening cut
  kCut,            // start the cut `PanelState`'s state asks for (PanelCut)
  kHide,           // hide the three models
};

// The cut for the panel's current state (opening, shown or closing).
int32_t PanelCut(int32_t state);

// A message with or without text; `visible` is whether the text panel is shown. Resets the
// duration to the default, like every new message.
PanelAction ShowPanelMessage(PanelState* panel, bool hasText, bool visible, uint32_t now);
// The message panel's frame step; `done` when all three models' animations have ended.
PanelAction StepMessagePanel(PanelState* panel, bool done, uint32_t now);

PanelAction SetNavMapPanel(PanelState* panel, bool on, bool visible, uint32_t now);
// The nav map's frame step (only while its text panel is visible): the idle cut repeats.
PanelAction StepNavMapPanel(PanelState* panel, bool done, uint32_t now);

// The nav map's colour of an object and whether it counts as alerting.
struct NavMapObject {
  int32_t objectClass;
  bool isPlayer;
  bool tracked;
  bool shipMarked;      // a ship whose class extension's mark word is set
  bool missileAlert;    // a missile with bit 0x1000000 of its first flag word
  int32_t class20Kind;  // first word of a class-20 object's extension: 2 hostile, 1 friendly
  bool hostile;
};
struct NavMapMark {
  uint32_t colour;
  bool alert;
};
NavMapMark NavMapColour(const NavMapObject& object);
