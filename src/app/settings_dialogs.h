// The four settings dialogs the launcher opens (graphics, controller, capture folder, mod
// package), their resources and list fillers, and the logo picture lookup the renderer uses.
// They edit the SystemBlock and the StartupBlock in place; only the launcher's start writes the
// registry. Called by the launcher (through its Run*Dialog functions) and the renderer.
#pragma once

#include <cstdint>

#include "platform/dialog.h"
#include "render/d3d_context.h"

struct JoystickDevice;

// Graphics settings, resource 110.
constexpr int32_t kGraphicsDialogId = 110;
constexpr int32_t kGfxDeviceFrame = 1250;
constexpr int32_t kGfxAdapterLabel = 1219;
constexpr int32_t kGfxAdapterList = 1005;
constexpr int32_t kGfxResolutionLabel = 1220;
constexpr int32_t kGfxResolutionList = 1003;
constexpr int32_t kGfxFullscreen = 1096;
constexpr int32_t kGfxWindowed = 1095;
constexpr int32_t kGfxQualityFrame = 1251;
constexpr int32_t kGfxTextureLabel = 1248;
constexpr int32_t kGfxTextureList = 1076;
constexpr int32_t kGfxShaderLabel = 1247;
constexpr int32_t kGfxShaderList = 1245;
constexpr int32_t kGfxDynamicLights = 1254;
constexpr int32_t kGfxShipColours = 1255;
constexpr int32_t kGfxAutoQuality = 1068;
constexpr int32_t kGfxEffectsFrame = 1252;
constexpr int32_t kGfxAntialias = 1222;
constexpr int32_t kGfxAntialiasList = 1006;
constexpr int32_t kGfxAnisotropic = 1241;
constexpr int32_t kGfxFilterList = 1004;
constexpr int32_t kGfxGlow = 1242;
constexpr int32_t kGfxTroubleFrame = 1257;
constexpr int32_t kGfxNoVertexOptimisation = 1256;
constexpr int32_t kGfxNoCodecControl = 1258;
constexpr int32_t kGfxReset = 1101;
constexpr int32_t kGfxOk = 1102;
constexpr int32_t kGfxCancel = 1103;

// Direct3D flag bits the graphics dialog edits.
constexpr uint32_t kD3DAutoQuality = 0x800000;
constexpr uint32_t kD3D2NoShipColours = 0x800;
constexpr uint32_t kD3D2NoDynamicLights = 0x1000;
constexpr uint32_t kD3D2NoVertexOptimisation = 0x2000;
constexpr uint32_t kD3D2NoCodecControl = 0x4000;

// Controller configuration, resource 144.
constexpr int32_t kControllerDialogId = 144;
constexpr int32_t kCtlFrame = 1223;
constexpr int32_t kCtlJoystickList = 1076;
constexpr int32_t kCtlForceFeedbackList = 1172;
constexpr int32_t kCtlForceFeedbackLabel = 1225;
constexpr int32_t kCtlThrottle = 1185;
constexpr int32_t kCtlRudder = 1186;
constexpr int32_t kCtlPovHat = 1188;
constexpr int32_t kCtlJoypad = 1241;

// Input flag bits of the controller dialog.
constexpr uint32_t kInputJoypad = 0x2000000;
constexpr uint32_t kInputPovHat = 0x10000000;
constexpr uint32_t kInputThrottle = 0x20000000;
constexpr uint32_t kInputRudder = 0x40000000;

constexpr int32_t kDefaultForceFeedbackGain = 2;

// Capture folder, resource 164.
constexpr int32_t kCaptureDialogId = 164;
constexpr int32_t kCaptureLabel = 1221;
constexpr int32_t kCaptureEdit = 1205;
constexpr int32_t kCaptureFolderMax = 260;

// Mod package, resource 179.
constexpr int32_t kModDialogId = 179;
constexpr int32_t kModList = 1243;
constexpr int32_t kModNone = 3;

extern const DialogTemplate kGraphicsSettingsTemplate;
extern const DialogTemplate kControllerTemplate;
extern const DialogTemplate kCaptureFolderTemplate;
extern const DialogTemplate kModPackageTemplate;

intptr_t GraphicsSettingsDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t ControllerDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t CaptureFolderDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t ModPackageDialogProc(DialogWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The logo picture's name: the stored name for a negative number, else the built-in picture of
// that number; null for a number beyond the built-in ones.
const char* GetLogoPictureName();

// Graphics dialog lists.
void FillDeviceList(DialogWindow* window);
void FillResolutionList(DialogWindow* window);
void FillTextureQualityList(DialogWindow* window);
void FillShaderQualityList(DialogWindow* window);
void FillAntialiasList(DialogWindow* window);
void FillAnisotropyList(DialogWindow* window);

// Controller dialog: the enumeration callback (context: the dialog), the entry whose data equals
// `data` (-1 when none), and the defaults for a newly chosen controller.
bool AddJoystickToList(const JoystickDevice* device, void* context);
int32_t FindComboItemByData(DialogWindow* window, int32_t id, intptr_t data);
void SetControllerDefaults(DialogWindow* window);
