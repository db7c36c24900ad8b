// Inside the dialog layer: the record of an open dialog with the state of each control, held the
// same way by both backends, and the calls between the shared part (dialog.cpp), the headless
// backend and the GTK backend. Included only by src/platform/dialog*.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/image.h"

// Drop-down lists are one line tall when closed; their template height counts the open list.
constexpr int16_t kDropDownHeightUnits = 14;

struct DialogListItem {
  std::string text;
  intptr_t data;
};

struct DialogControl {
  const DialogControlTemplate* control;
  std::string text;
  bool checked;
  bool enabled;
  std::vector<DialogListItem> items;
  int32_t selection;
  Image image;
  void* widget;  // the toolkit's widget, when shown
};

struct DialogWindow {
  const DialogTemplate* dialog;
  DialogWindow* owner;
  DialogProc procedure;
  intptr_t param;
  std::string caption;
  std::vector<DialogControl> controls;
  bool ended;
  intptr_t result;
  void* toolkit;  // the GTK backend's state for this dialog, when shown
};

DialogControl* FindDialogControl(DialogWindow* window, int32_t id);
const DialogControl* FindDialogControl(const DialogWindow* window, int32_t id);
// The dialog in front (innermost running), null when none runs.
DialogWindow* FrontDialog();

// A user's click on a button, check box or radio button: the state changes as the system's
// automatic controls change it, then the procedure gets the command.
void DialogUserClick(DialogWindow* window, DialogControl* control);
// A user's choice in a list, then the selection change command.
void DialogUserSelect(DialogWindow* window, DialogControl* control, int32_t index);

// The script: the next action, when it is meant for `window` (consumed only by the Take call).
const DialogAction* PeekScriptAction();
void TakeScriptAction();
bool ScriptActive();
void CountScriptError(const char* what);
// Applies a non-toolkit action (answer, inspect, type) on the model.
void ApplyModelAction(DialogWindow* window, const DialogAction* action);

// The headless modal loop.
void RunDialogHeadless(DialogWindow* window);
int32_t HeadlessMessageBox(const char* text, const char* caption, uint32_t type);

// The GTK backend: available once a display has opened (never headless).
bool GtkDialogsAvailable();
// Shows the dialog and runs the toolkit until the dialog ends; false when it cannot be shown.
bool GtkRunDialog(DialogWindow* window);
// Pushes a control's state (or the caption, with control null) into the shown widgets.
void GtkSyncControl(DialogWindow* window, DialogControl* control);
void GtkEndDialog(DialogWindow* window);
void GtkRestoreDialog(DialogWindow* window);
// Where the shown dialog put a control, and its client size; false when it is not shown.
bool GtkControlRect(const DialogWindow* window, const DialogControl* control, DialogRect* out);
bool GtkClientSize(const DialogWindow* window, int32_t* width, int32_t* height);
int32_t GtkMessageBox(DialogWindow* owner, const char* text, const char* caption, uint32_t type);
bool GtkOpenUrl(const char* url);
