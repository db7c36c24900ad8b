// The dialog layer: modal dialogs built from resource templates (control ids, kinds and layout in
// dialog units), run by a dialog procedure that receives init, command, activation and user
// messages, with the control calls the launcher and the settings dialogs make (texts, check
// boxes, enabling, drop-down and list boxes with item data, pictures), message boxes and opening
// a link. Two backends: GTK 3 on a desktop, and a headless one that plays a list of scripted
// actions (tests; without a script it presses each dialog's default button). Texts passed in and
// out are in the dialog code page (Windows-1252), as the callers convert them. Called by the
// application's dialogs; it never knows what a dialog means, only its controls.
#pragma once

#include <cstddef>
#include <cstdint>

struct Image;

enum DialogControlKind : uint8_t {
  kDialogPicture = 0,
  kDialogPushButton,
  kDialogDefaultButton,
  kDialogStatic,
  kDialogGroupBox,
  kDialogCheckBox,
  kDialogRadioButton,
  kDialogDropDownList,
  kDialogListBox,
  kDialogEdit,
};

// Control styles.
constexpr uint32_t kDialogStyleDisabled = 0x1;
constexpr uint32_t kDialogStyleMultiLine = 0x2;
constexpr uint32_t kDialogStyleSorted = 0x4;

// One control of a dialog resource; positions and sizes in dialog units. `resource` names the
// bitmap of a picture control (0 none), loaded through the bitmap loader.
struct DialogControlTemplate {
  int32_t id;
  DialogControlKind kind;
  uint32_t style;
  int16_t x, y, width, height;
  const char* text;
  int32_t resource;
};

struct DialogTemplate {
  int32_t id;  // the resource number
  int16_t width, height;
  const char* caption;
  const DialogControlTemplate* controls;
  int32_t controlCount;
};

// Dialog units to pixels: a quarter of the average character width across, an eighth of the
// character height down.
constexpr int32_t kDialogBaseUnitX = 7;
constexpr int32_t kDialogBaseUnitY = 15;
constexpr int32_t DialogUnitsToPixelsX(int32_t units) { return units * kDialogBaseUnitX / 4; }
constexpr int32_t DialogUnitsToPixelsY(int32_t units) { return units * kDialogBaseUnitY / 8; }

// Messages a dialog procedure receives.
constexpr uint32_t kDialogMsgActivateApp = 0x1C;  // wParam: 1 activated, 0 deactivated
constexpr uint32_t kDialogMsgInit = 0x110;
constexpr uint32_t kDialogMsgCommand = 0x111;  // wParam: control id | notification << 16
constexpr uint32_t kDialogMsgUser1 = 0x401;

// Command notifications.
constexpr uint32_t kDialogNotifyClicked = 0;
constexpr uint32_t kDialogNotifySelChange = 1;

constexpr uint32_t DialogCommandId(uintptr_t wParam) { return static_cast<uint32_t>(wParam & 0xFFFF); }
constexpr uint32_t DialogCommandNotify(uintptr_t wParam) { return static_cast<uint32_t>((wParam >> 16) & 0xFFFF); }

// Button answers and message box types.
constexpr int32_t kDialogIdOk = 1;
constexpr int32_t kDialogIdCancel = 2;
constexpr int32_t kDialogIdYes = 6;
constexpr int32_t kDialogIdNo = 7;
constexpr uint32_t kMessageBoxOk = 0x0;
constexpr uint32_t kMessageBoxYesNo = 0x4;
constexpr uint32_t kMessageBoxIconHand = 0x10;
constexpr uint32_t kMessageBoxIconExclamation = 0x30;

// What list calls answer for a missing list or entry.
constexpr int32_t kDialogListError = -1;

struct DialogWindow;
using DialogProc = intptr_t (*)(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Runs a modal dialog: the procedure gets kDialogMsgInit with `param` as lParam, then commands
// until it calls DialogEnd. Returns the value given to DialogEnd, -1 when the dialog cannot be
// made (no template, no procedure).
intptr_t DialogRun(const DialogTemplate* dialog, DialogWindow* owner, DialogProc procedure, intptr_t param);
void DialogEnd(DialogWindow* window, intptr_t result);
int32_t DialogResourceId(const DialogWindow* window);
// Sends a message to the procedure as the system would; its answer.
intptr_t DialogSendMessage(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

void DialogSetCaption(DialogWindow* window, const char* text);
const char* DialogCaption(const DialogWindow* window);
bool DialogSetItemText(DialogWindow* window, int32_t id, const char* text);
// Copies at most size - 1 bytes and a terminator; the length copied, -1 without such control.
int32_t DialogGetItemText(const DialogWindow* window, int32_t id, char* out, int32_t size);
// The control's text as held (empty for a missing control); valid until the text changes.
const char* DialogItemText(const DialogWindow* window, int32_t id);
void DialogCheckItem(DialogWindow* window, int32_t id, bool checked);
bool DialogIsItemChecked(const DialogWindow* window, int32_t id);
void DialogEnableItem(DialogWindow* window, int32_t id, bool enabled);
bool DialogIsItemEnabled(const DialogWindow* window, int32_t id);
bool DialogHasItem(const DialogWindow* window, int32_t id);
// A control's place in pixels from the top left of its dialog's client area: where the toolkit
// put it while the dialog is shown, else where its template puts it.
struct DialogRect {
  int32_t x, y, width, height;
};
bool DialogGetItemRect(const DialogWindow* window, int32_t id, DialogRect* out);
// The size of the dialog's client area in pixels, likewise.
bool DialogGetClientSize(const DialogWindow* window, int32_t* width, int32_t* height);
// The control's size in pixels (its window rectangle).
bool DialogGetItemSize(const DialogWindow* window, int32_t id, int32_t* width, int32_t* height);
// Shows a copy of the picture on a picture control.
bool DialogSetItemImage(DialogWindow* window, int32_t id, const Image* image);
// The picture a control shows (null when none); for tests and screenshots.
const Image* DialogItemImage(const DialogWindow* window, int32_t id);
void DialogRestoreWindow(DialogWindow* window);

// Drop-down lists and list boxes. A sorted list box inserts in order, ignoring case.
void DialogListReset(DialogWindow* window, int32_t id);
int32_t DialogListAdd(DialogWindow* window, int32_t id, const char* text);  // index, or -1
int32_t DialogListCount(const DialogWindow* window, int32_t id);
// -1 clears the selection; answers the index selected, -1 when none (or out of range).
int32_t DialogListSelect(DialogWindow* window, int32_t id, int32_t index);
int32_t DialogListSelection(const DialogWindow* window, int32_t id);
// The entry's text, valid until the list changes; null for a bad index.
const char* DialogListText(const DialogWindow* window, int32_t id, int32_t index);
bool DialogListSetData(DialogWindow* window, int32_t id, int32_t index, intptr_t data);
intptr_t DialogListData(const DialogWindow* window, int32_t id, int32_t index);  // -1 for a bad index
// The first entry equal to the text, ignoring case; -1 when none.
int32_t DialogListFind(const DialogWindow* window, int32_t id, const char* text);

// A message box over the owner (null: none). Answers the button pressed; headless it prints the
// text to stderr and answers the scripted answer, else its first button.
int32_t DialogMessageBox(DialogWindow* owner, const char* text, const char* caption, uint32_t type);
// Opens a link with the desktop's handler. Headless nothing opens: the link is recorded and the
// answer is the one set for tests (false unless set).
bool DialogOpenUrl(const char* url);

// Bitmap resources for picture controls: the application hands the layer its loader.
using DialogBitmapLoader = bool (*)(int32_t number, Image* out);
void DialogSetBitmapLoader(DialogBitmapLoader loader);
bool DialogLoadBitmap(int32_t number, Image* out);

// ---- Scripted actions --------------------------------------------------------------------------

enum DialogActionKind : uint8_t {
  kDialogActClick = 0,   // a push button, check box or radio button, as the user clicks it
  kDialogActCheck,       // a check box to `value` (clicked only when it differs)
  kDialogActSelect,      // a list entry `value` (-1 none), then the selection change
  kDialogActType,        // replaces an edit field's text with `text`
  kDialogActAnswer,      // the answer (`value`) of the next message box
  kDialogActInspect,     // calls `inspect` with the dialog
  kDialogActScreenshot,  // saves the screen (`value` 1: the dialog only) as PNG at `text` (GTK only;
                         // headless counts an error)
  kDialogActClose,       // the window's close box (a cancel command)
};

struct DialogAction;
using DialogInspect = void (*)(DialogWindow* window, const DialogAction* action);

// `dialog` is the resource id the action is meant for (0: whichever dialog is in front).
struct DialogAction {
  int32_t dialog;
  DialogActionKind kind;
  int32_t control;
  int32_t value;
  const char* text;
  DialogInspect inspect;
};

// The layer keeps the pointer; null or 0 clears. Every DialogRun plays the actions in order on
// the dialog in front; a dialog without actions left presses its default button (then, if it
// stays open, its cancel button, then it ends with 0), so a run always ends.
void DialogSetScript(const DialogAction* actions, int32_t count);
int32_t DialogScriptRemaining();
// Actions that did not fit the dialog in front or named a missing control.
int32_t DialogScriptErrors();

// What headless runs recorded, for tests.
int32_t DialogMessageBoxCount();
const char* DialogLastMessageText();
const char* DialogLastOpenedUrl();
void DialogSetHeadlessUrlAnswer(bool opened);
// "gtk" or "headless": the backend the next DialogRun uses.
const char* DialogBackendName();
