// The user's settings in the registry: the fixed values under "Software\KORVANE\<product>" (display,
// input, audio, launcher choices, counters) loaded at start-up and saved at a normal end, and the
// free-form profile values under its "Values" sub-key that the scripts and the game main read and
// write by name. Callers: the game main, the shutdown (through FreeSystemBlock), the launcher, the
// settings dialogs and the application natives. A stored value of the wrong type or size is never
// taken: the field keeps its default.
#pragma once

#include <cstdint>

// The fixed settings values, in the order SaveSettings writes them.
constexpr int kSettingsValueCount = 36;
extern const char* const kSettingsValueNames[kSettingsValueCount];

// The launcher's logo picture choice, kept with the settings.
extern uint32_t gLogoPictureNumber;
extern char* gLogoPictureName;  // counted string or null

// 1 when the settings key was opened and every video value was present, else 0.
int LoadSettings();
// 1 when every value was written (and reached the store's file), else 0.
int SaveSettings();
// Removes the fixed settings; the profile values stay.
void DeleteSettings();
// 0 only when the settings key cannot be opened.
int LoadCaptureFolder();
// 1 only when every video value from "VideoAdapterName" to "VideoFullscreenGamma" was present.
int LoadSettingsVideo();

// A new counted copy of a text profile value, or null (no name, no key, no value, not a text, or
// empty).
char* ReadProfileString(const char* name);
// The number profile value, or 0 (no name, no key, no value, not a number).
int32_t ReadProfileValue(const char* name);
// 1 on success, 0 on failure; a null or empty text is written as the empty text.
int WriteProfileString(const char* name, const char* text);
int WriteProfileValue(const char* name, int32_t number);

// At the end of the process: code 0 saves the settings unless the shutdown already did (mode
// flag 0x40), code 35 deletes them; then the identifier copies and the adapter name are freed.
void CloseSettings(uint32_t code);
