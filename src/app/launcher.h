// The launcher dialog shown before the display exists (start, cancel, the four settings dialogs,
// EAX and reset check boxes, the update link, its picture) and the small functions every dialog
// of the game shares: database texts converted for dialog controls, the message box, the
// activation handling and running a settings dialog over an owner. Called by the game main and
// the settings dialogs. Only "start" writes the settings to the registry.
#pragma once

#include <cstdint>

#include "platform/dialog.h"

struct Image;

// Text database pages of the dialogs; a control's text has the control's id.
constexpr int32_t kLauncherTextPage = 1910;
constexpr int32_t kGraphicsTextPage = 1912;
constexpr int32_t kCaptureTextPage = 1913;
constexpr int32_t kControllerTextPage = 1914;
constexpr int32_t kModTextPage = 1918;

// Launcher resource 106 and its controls.
constexpr int32_t kLauncherDialogId = 106;
constexpr int32_t kLauncherStart = 1;
constexpr int32_t kLauncherCancel = 2;
constexpr int32_t kLauncherPicture = 1234;
constexpr int32_t kLauncherInfoText = 1217;
constexpr int32_t kLauncherInfoTextPack = 1218;  // the information text with the language pack
constexpr int32_t kLauncherTitleText = 1216;
constexpr int32_t kLauncherGraphics = 1197;
constexpr int32_t kLauncherController = 1199;
constexpr int32_t kLauncherCapture = 1201;
constexpr int32_t kLauncherMod = 1242;
constexpr int32_t kLauncherEax = 1241;
constexpr int32_t kLauncherResetSettings = 1108;
constexpr int32_t kLauncherBenchmark = 1235;
constexpr int32_t kLauncherUpdate = 1249;
constexpr int32_t kLauncherUpdateLinkText = 10000;

// Bitmap resources: the picture in the resource and the one shown at start.
constexpr int32_t kLauncherResourceBitmap = 130;
constexpr int32_t kLauncherStartBitmap = 172;

// The SystemBlock launcher word while the launcher (or the game after it) runs.
constexpr uint32_t kLauncherWordOpen = 12;
// Audio flags bit of the EAX check box.
constexpr uint32_t kAudioEax = 0x200;

extern const DialogTemplate kLauncherTemplate;

// 1 started, 0 cancelled or the update link opened, -1 when the dialog cannot be made.
int32_t RunLauncherDialog();
intptr_t LauncherDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The database text in the dialog code page, in the one conversion buffer that holds it until the
// next conversion; null for a null text (or without memory).
const char* ToDialogText(const char* text);
// The database text of (page, id), converted; the missing-text marker when the database lacks it.
const char* DialogDatabaseText(int32_t page, int32_t id);
// Sets control `id` from the database text of the same id on `page`.
void SetDialogItemFromDatabase(DialogWindow* window, int32_t page, int32_t id);
int32_t ShowDialogMessage(const char* text, DialogWindow* owner, const char* caption, uint32_t type);
intptr_t OnDialogActivate(DialogWindow* window, bool active);
int32_t ShowLauncherPicture(DialogWindow* window, int32_t pictureControl);
void ReadLauncherChecks(DialogWindow* window);
int32_t OpenUpdateLink();
// The launcher's bitmap resources (130, 172); false for any other number.
bool LoadLauncherBitmap(int32_t number, Image* out);

// A settings dialog over `owner`; the application-active flag is cleared while it runs.
intptr_t RunSubDialog(const DialogTemplate* dialog, DialogWindow* owner, DialogProc procedure);
intptr_t RunGraphicsSettingsDialog(DialogWindow* owner);
intptr_t RunControllerDialog(DialogWindow* owner);
intptr_t RunCaptureFolderDialog(DialogWindow* owner);
intptr_t RunModPackageDialog(DialogWindow* owner);
