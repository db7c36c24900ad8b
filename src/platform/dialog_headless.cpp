// The headless dialog backend: a modal run that plays the scripted actions meant for the dialog
// in front and, when none is left for it, presses its default button, then its cancel button,
// then ends it with 0, so a run without a display always ends (the launcher then starts the
// game). Message boxes print to stderr and answer their first button. Called by the shared part
// of the dialog layer; never waits for anything.
#include <cstdio>

#include "platform/dialog_backend.h"

namespace {

DialogControl* DefaultButton(DialogWindow* window) {
  for (DialogControl& control : window->controls) {
    if (control.control->kind == kDialogDefaultButton) return &control;
  }
  return nullptr;
}

void PlayAction(DialogWindow* window, const DialogAction* action) {
  DialogControl* control = FindDialogControl(window, action->control);
  switch (action->kind) {
    case kDialogActClick:
    case kDialogActCheck:
    case kDialogActSelect:
      if (!control) {
        CountScriptError("an action on a control the dialog does not have");
        return;
      }
      if (!control->enabled) {
        CountScriptError("an action on a disabled control");
        return;
      }
      if (action->kind == kDialogActSelect) {
        DialogUserSelect(window, control, action->value);
      } else if (action->kind == kDialogActClick || control->checked != (action->value != 0)) {
        DialogUserClick(window, control);
      }
      return;
    case kDialogActScreenshot:
      CountScriptError("a screenshot without a display");
      return;
    default:
      ApplyModelAction(window, action);
      return;
  }
}

}  // namespace

void RunDialogHeadless(DialogWindow* window) {
  int fallback = 0;
  while (!window->ended) {
    const DialogAction* action = PeekScriptAction();
    if (action && (action->dialog == 0 || action->dialog == window->dialog->id)) {
      TakeScriptAction();
      PlayAction(window, action);
      continue;
    }
    // Nothing left for this dialog: what a user in a hurry would do.
    switch (fallback++) {
      case 0: {
        DialogControl* button = DefaultButton(window);
        if (button) DialogUserClick(window, button);
        break;
      }
      case 1:
        DialogSendMessage(window, kDialogMsgCommand, kDialogIdCancel, 0);
        break;
      default:
        DialogEnd(window, 0);
        break;
    }
  }
}

int32_t HeadlessMessageBox(const char* text, const char* caption, uint32_t type) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  switch (type & 0xF) {
    case 2:
      return 3;  // abort, retry, ignore: abort
    case 3:
    case 4:
      return kDialogIdYes;
    case 5:
      return 4;  // retry, cancel: retry
    default:
      return kDialogIdOk;
  }
}
