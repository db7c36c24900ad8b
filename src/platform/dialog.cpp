// The shared part of the dialog layer: building a dialog's control records from its template,
// the modal run with the stack of running dialogs, the control calls over the records (the
// backend in front is told of every change), the script of actions, message boxes and links.
// Callers: the application's dialogs through platform/dialog.h. It never includes the toolkit;
// dialog_gtk.cpp does.
#include <cstdio>
#include <cstring>

#include "platform/dialog_backend.h"

namespace {

std::vector<DialogWindow*> gRunning;
DialogBitmapLoader gBitmapLoader = nullptr;

const DialogAction* gScript = nullptr;
int32_t gScriptCount = 0;
int32_t gScriptNext = 0;
int32_t gScriptErrors = 0;

int32_t gMessageBoxCount = 0;
std::string gLastMessage;
std::string gLastUrl;
bool gHeadlessUrlAnswer = false;

int FoldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

int CompareIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = FoldCase(static_cast<unsigned char>(*a));
    int cb = FoldCase(static_cast<unsigned char>(*b));
    if (ca != cb || ca == 0) return ca - cb;
  }
}

void Sync(DialogWindow* window, DialogControl* control) {
  if (window && window->toolkit) GtkSyncControl(window, control);
}

bool IsList(const DialogControl* control) {
  return control && (control->control->kind == kDialogDropDownList || control->control->kind == kDialogListBox);
}

DialogControl* FindList(DialogWindow* window, int32_t id) {
  DialogControl* control = FindDialogControl(window, id);
  return IsList(control) ? control : nullptr;
}

const DialogControl* FindList(const DialogWindow* window, int32_t id) {
  const DialogControl* control = FindDialogControl(window, id);
  return IsList(control) ? control : nullptr;
}

bool IsRunning(int32_t dialogId) {
  for (const DialogWindow* window : gRunning) {
    if (window->dialog->id == dialogId) return true;
  }
  return false;
}

}  // namespace

DialogControl* FindDialogControl(DialogWindow* window, int32_t id) {
  if (!window) return nullptr;
  for (DialogControl& control : window->controls) {
    if (control.control->id == id) return &control;
  }
  return nullptr;
}

const DialogControl* FindDialogControl(const DialogWindow* window, int32_t id) {
  return FindDialogControl(const_cast<DialogWindow*>(window), id);
}

DialogWindow* FrontDialog() { return gRunning.empty() ? nullptr : gRunning.back(); }

intptr_t DialogRun(const DialogTemplate* dialog, DialogWindow* owner, DialogProc procedure, intptr_t param) {
  if (!dialog || !procedure || dialog->controlCount < 0 || (dialog->controlCount > 0 && !dialog->controls)) return -1;
  DialogWindow window{};
  window.dialog = dialog;
  window.owner = owner;
  window.procedure = procedure;
  window.param = param;
  window.caption = dialog->caption ? dialog->caption : "";
  window.controls.reserve(static_cast<size_t>(dialog->controlCount));
  for (int32_t i = 0; i < dialog->controlCount; ++i) {
    const DialogControlTemplate& source = dialog->controls[i];
    DialogControl control{};
    control.control = &source;
    control.text = source.text ? source.text : "";
    control.enabled = (source.style & kDialogStyleDisabled) == 0;
    control.selection = -1;
    if (source.kind == kDialogPicture && source.resource) DialogLoadBitmap(source.resource, &control.image);
    window.controls.push_back(control);
  }

  gRunning.push_back(&window);
  DialogSendMessage(&window, kDialogMsgInit, 0, param);
  if (!window.ended && !(GtkDialogsAvailable() && GtkRunDialog(&window))) RunDialogHeadless(&window);
  gRunning.pop_back();

  for (DialogControl& control : window.controls) ImageFree(&control.image);
  return window.result;
}

void DialogEnd(DialogWindow* window, intptr_t result) {
  if (!window || window->ended) return;
  window->ended = true;
  window->result = result;
  if (window->toolkit) GtkEndDialog(window);
}

int32_t DialogResourceId(const DialogWindow* window) { return window ? window->dialog->id : 0; }

intptr_t DialogSendMessage(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!window || !window->procedure) return 0;
  return window->procedure(window, message, wParam, lParam);
}

void DialogSetCaption(DialogWindow* window, const char* text) {
  if (!window) return;
  window->caption = text ? text : "";
  Sync(window, nullptr);
}

const char* DialogCaption(const DialogWindow* window) { return window ? window->caption.c_str() : ""; }

bool DialogSetItemText(DialogWindow* window, int32_t id, const char* text) {
  DialogControl* control = FindDialogControl(window, id);
  if (!control) return false;
  control->text = text ? text : "";
  // An edit field holds at most what its limit allows.
  if (control->control->kind == kDialogEdit && control->text.size() > 260) control->text.resize(260);
  Sync(window, control);
  return true;
}

int32_t DialogGetItemText(const DialogWindow* window, int32_t id, char* out, int32_t size) {
  const DialogControl* control = FindDialogControl(window, id);
  if (!control) {
    if (out && size > 0) out[0] = '\0';
    return -1;
  }
  if (!out || size <= 0) return 0;
  size_t n = control->text.size();
  if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
  std::memcpy(out, control->text.data(), n);
  out[n] = '\0';
  return static_cast<int32_t>(n);
}

const char* DialogItemText(const DialogWindow* window, int32_t id) {
  const DialogControl* control = FindDialogControl(window, id);
  return control ? control->text.c_str() : "";
}

void DialogCheckItem(DialogWindow* window, int32_t id, bool checked) {
  DialogControl* control = FindDialogControl(window, id);
  if (!control) return;
  control->checked = checked;
  Sync(window, control);
}

bool DialogIsItemChecked(const DialogWindow* window, int32_t id) {
  const DialogControl* control = FindDialogControl(window, id);
  return control && control->checked;
}

void DialogEnableItem(DialogWindow* window, int32_t id, bool enabled) {
  DialogControl* control = FindDialogControl(window, id);
  if (!control) return;
  control->enabled = enabled;
  Sync(window, control);
}

bool DialogIsItemEnabled(const DialogWindow* window, int32_t id) {
  const DialogControl* control = FindDialogControl(window, id);
  return control && control->enabled;
}

bool DialogHasItem(const DialogWindow* window, int32_t id) { return FindDialogControl(window, id) != nullptr; }

bool DialogGetItemRect(const DialogWindow* window, int32_t id, DialogRect* out) {
  const DialogControl* control = FindDialogControl(window, id);
  if (!control || !out) return false;
  if (window->toolkit && GtkControlRect(window, control, out)) return true;
  const DialogControlTemplate* source = control->control;
  int16_t height = source->kind == kDialogDropDownList ? kDropDownHeightUnits : source->height;
  *out = DialogRect{DialogUnitsToPixelsX(source->x), DialogUnitsToPixelsY(source->y),
                    DialogUnitsToPixelsX(source->width), DialogUnitsToPixelsY(height)};
  return true;
}

bool DialogGetClientSize(const DialogWindow* window, int32_t* width, int32_t* height) {
  if (!window) return false;
  int32_t w = DialogUnitsToPixelsX(window->dialog->width);
  int32_t h = DialogUnitsToPixelsY(window->dialog->height);
  if (window->toolkit) GtkClientSize(window, &w, &h);
  if (width) *width = w;
  if (height) *height = h;
  return true;
}

bool DialogGetItemSize(const DialogWindow* window, int32_t id, int32_t* width, int32_t* height) {
  DialogRect rect{};
  if (!DialogGetItemRect(window, id, &rect)) return false;
  if (width) *width = rect.width;
  if (height) *height = rect.height;
  return true;
}

bool DialogSetItemImage(DialogWindow* window, int32_t id, const Image* image) {
  DialogControl* control = FindDialogControl(window, id);
  if (!control || control->control->kind != kDialogPicture) return false;
  Image copy;
  if (!ImageCopy(image, &copy)) return false;
  ImageFree(&control->image);
  control->image = copy;
  Sync(window, control);
  return true;
}

const Image* DialogItemImage(const DialogWindow* window, int32_t id) {
  const DialogControl* control = FindDialogControl(window, id);
  return control && control->image.pixels ? &control->image : nullptr;
}

void DialogRestoreWindow(DialogWindow* window) {
  if (window && window->toolkit) GtkRestoreDialog(window);
}

void DialogListReset(DialogWindow* window, int32_t id) {
  DialogControl* control = FindList(window, id);
  if (!control) return;
  control->items.clear();
  control->selection = -1;
  Sync(window, control);
}

int32_t DialogListAdd(DialogWindow* window, int32_t id, const char* text) {
  DialogControl* control = FindList(window, id);
  if (!control) return kDialogListError;
  const char* entry = text ? text : "";
  size_t index = control->items.size();
  if (control->control->style & kDialogStyleSorted) {
    index = 0;
    while (index < control->items.size() && CompareIgnoringCase(control->items[index].text.c_str(), entry) <= 0)
      ++index;
    if (control->selection >= static_cast<int32_t>(index)) ++control->selection;
  }
  control->items.insert(control->items.begin() + static_cast<std::ptrdiff_t>(index), DialogListItem{entry, 0});
  Sync(window, control);
  return static_cast<int32_t>(index);
}

int32_t DialogListCount(const DialogWindow* window, int32_t id) {
  const DialogControl* control = FindList(window, id);
  return control ? static_cast<int32_t>(control->items.size()) : kDialogListError;
}

int32_t DialogListSelect(DialogWindow* window, int32_t id, int32_t index) {
  DialogControl* control = FindList(window, id);
  if (!control) return kDialogListError;
  bool valid = index >= 0 && index < static_cast<int32_t>(control->items.size());
  control->selection = valid ? index : -1;
  Sync(window, control);
  return valid ? index : kDialogListError;
}

int32_t DialogListSelection(const DialogWindow* window, int32_t id) {
  const DialogControl* control = FindList(window, id);
  return control ? control->selection : kDialogListError;
}

const char* DialogListText(const DialogWindow* window, int32_t id, int32_t index) {
  const DialogControl* control = FindList(window, id);
  if (!control || index < 0 || index >= static_cast<int32_t>(control->items.size())) return nullptr;
  return control->items[static_cast<size_t>(index)].text.c_str();
}

bool DialogListSetData(DialogWindow* window, int32_t id, int32_t index, intptr_t data) {
  DialogControl* control = FindList(window, id);
  if (!control || index < 0 || index >= static_cast<int32_t>(control->items.size())) return false;
  control->items[static_cast<size_t>(index)].data = data;
  return true;
}

intptr_t DialogListData(const DialogWindow* window, int32_t id, int32_t index) {
  const DialogControl* control = FindList(window, id);
  if (!control || index < 0 || index >= static_cast<int32_t>(control->items.size())) return kDialogListError;
  return control->items[static_cast<size_t>(index)].data;
}

int32_t DialogListFind(const DialogWindow* window, int32_t id, const char* text) {
  const DialogControl* control = FindList(window, id);
  if (!control || !text) return kDialogListError;
  for (size_t i = 0; i < control->items.size(); ++i) {
    if (CompareIgnoringCase(control->items[i].text.c_str(), text) == 0) return static_cast<int32_t>(i);
  }
  return kDialogListError;
}

// ---- User input ----------------------------------------------------------------------------

void DialogUserClick(DialogWindow* window, DialogControl* control) {
  if (!window || !control || !control->enabled) return;
  switch (control->control->kind) {
    case kDialogCheckBox:
      control->checked = !control->checked;
      Sync(window, control);
      break;
    case kDialogRadioButton:
      // Automatic radio buttons: the clicked one is checked and the others of the dialog not.
      for (DialogControl& other : window->controls) {
        if (other.control->kind == kDialogRadioButton && &other != control && other.checked) {
          other.checked = false;
          Sync(window, &other);
        }
      }
      control->checked = true;
      Sync(window, control);
      break;
    case kDialogPushButton:
    case kDialogDefaultButton:
      break;
    default:
      return;
  }
  DialogSendMessage(window, kDialogMsgCommand,
                    static_cast<uint32_t>(control->control->id & 0xFFFF) | (kDialogNotifyClicked << 16), 0);
}

void DialogUserSelect(DialogWindow* window, DialogControl* control, int32_t index) {
  if (!window || !IsList(control) || !control->enabled) return;
  bool valid = index >= 0 && index < static_cast<int32_t>(control->items.size());
  control->selection = valid ? index : -1;
  Sync(window, control);
  DialogSendMessage(window, kDialogMsgCommand,
                    static_cast<uint32_t>(control->control->id & 0xFFFF) | (kDialogNotifySelChange << 16), 0);
}

// ---- Script --------------------------------------------------------------------------------

void DialogSetScript(const DialogAction* actions, int32_t count) {
  gScript = count > 0 ? actions : nullptr;
  gScriptCount = gScript ? count : 0;
  gScriptNext = 0;
  gScriptErrors = 0;
  gMessageBoxCount = 0;
  gLastMessage.clear();
  gLastUrl.clear();
}

int32_t DialogScriptRemaining() { return gScriptCount - gScriptNext; }
int32_t DialogScriptErrors() { return gScriptErrors; }
bool ScriptActive() { return gScript != nullptr; }

// The next action, skipping (as errors) those meant for dialogs that are not running: they can
// never be played.
const DialogAction* PeekScriptAction() {
  while (gScriptNext < gScriptCount) {
    const DialogAction* action = &gScript[gScriptNext];
    if (action->dialog == 0 || IsRunning(action->dialog)) return action;
    CountScriptError("an action for a dialog that is not open");
    ++gScriptNext;
  }
  return nullptr;
}

void TakeScriptAction() {
  if (gScriptNext < gScriptCount) ++gScriptNext;
}

void CountScriptError(const char* what) {
  ++gScriptErrors;
  std::fprintf(stderr, "dialog script: %s (action %d)\n", what, gScriptNext);
}

void ApplyModelAction(DialogWindow* window, const DialogAction* action) {
  switch (action->kind) {
    case kDialogActType: {
      DialogControl* control = FindDialogControl(window, action->control);
      if (!control || control->control->kind != kDialogEdit) {
        CountScriptError("typing into a control that is no edit field");
        return;
      }
      DialogSetItemText(window, action->control, action->text);
      return;
    }
    case kDialogActInspect:
      if (action->inspect) action->inspect(window, action);
      return;
    case kDialogActAnswer:
      CountScriptError("an answer while no message box is open");
      return;
    case kDialogActClose:
      DialogSendMessage(window, kDialogMsgCommand, kDialogIdCancel, 0);
      return;
    default:
      CountScriptError("an action this backend cannot play");
      return;
  }
}

// ---- Message boxes, links, bitmaps -----------------------------------------------------------

int32_t DialogMessageBox(DialogWindow* owner, const char* text, const char* caption, uint32_t type) {
  ++gMessageBoxCount;
  gLastMessage = text ? text : "";
  if (ScriptActive()) {
    const DialogAction* action = PeekScriptAction();
    if (action && action->kind == kDialogActAnswer) {
      TakeScriptAction();
      std::fprintf(stderr, "%s: %s [answered %d]\n", caption ? caption : "", text ? text : "", action->value);
      return action->value;
    }
    return HeadlessMessageBox(text, caption, type);
  }
  if (GtkDialogsAvailable()) return GtkMessageBox(owner, text, caption, type);
  return HeadlessMessageBox(text, caption, type);
}

bool DialogOpenUrl(const char* url) {
  if (!url || !*url) return false;
  gLastUrl = url;
  // A scripted run never starts a browser.
  if (!ScriptActive() && GtkDialogsAvailable()) return GtkOpenUrl(url);
  return gHeadlessUrlAnswer;
}

int32_t DialogMessageBoxCount() { return gMessageBoxCount; }
const char* DialogLastMessageText() { return gLastMessage.c_str(); }
const char* DialogLastOpenedUrl() { return gLastUrl.c_str(); }
void DialogSetHeadlessUrlAnswer(bool opened) { gHeadlessUrlAnswer = opened; }
const char* DialogBackendName() { return GtkDialogsAvailable() ? "gtk" : "headless"; }

void DialogSetBitmapLoader(DialogBitmapLoader loader) { gBitmapLoader = loader; }

bool DialogLoadBitmap(int32_t number, Image* out) {
  if (!out) return false;
  *out = Image{0, 0, nullptr};
  return gBitmapLoader && gBitmapLoader(number, out) && out->pixels;
}
