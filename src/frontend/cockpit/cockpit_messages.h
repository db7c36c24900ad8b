// The cockpit's message panel, nav map panel and camera message line: the cores the INS_ natives
// and the cockpit teardown call.
#pragma once

#include <cstdint>

struct CameraMessage;
struct MessageDisplay;
struct NavMap;

// A null text closes the panel.
void ShowCockpitMessage(MessageDisplay* messages, const char* text);
void ShowCockpitMessageFor(MessageDisplay* messages, const char* text, int32_t duration);
// A null text hides the line.
void SetCameraMessage(CameraMessage* cameraMessage, const char* text);
// 0 closes the panel.
void SetNavMap(NavMap* navMap, int32_t on);
// The per-frame steps of the message panel and of the nav map panel.
void UpdateCockpitMessage(MessageDisplay* messages);
void UpdateNavMap(NavMap* navMap);
