// Cut events: the note texts the engine acts on, the values "CutEvent" hands to the script
// receiver, and the lookup of a path's notes at one time. Called by the cut-scene step and the
// universe model. It copies the camera name of a note whatever its length, reads no note outside
// the path, and after every script event looks the cut up again, so a handler that frees the cut
// ends the lookup instead of leaving it on freed notes.
#include "scene/cut_events.h"

#include <cctype>
#include <cstring>
#include <string>

#include "scene/cut_keys.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include "scene/script_frees.h"
#include "script/script_calls.h"
#include "script/tasks.h"

namespace {

constexpr const char kCutEventName[] = "CutEvent";
// The script engine's own module: its integer answer finds no task for cookie 0, so the answer
// of the handler goes nowhere.
constexpr int32_t kCutEventModule = 0;
constexpr uint32_t kCutEventCookie = 0;

constexpr const char kCameraPrefix[] = "camera ";
constexpr const char kEventPrefix[] = "event ";
constexpr const char kEndSpeakSpaced[] = "end speak";
constexpr const char kSpeak[] = "speak";
constexpr const char kEndSpeak[] = "endspeak";
constexpr const char kEventSpeak[] = "event speak";

// The number a "CutEvent" carries when the job's times were rebased since the last step.
constexpr int32_t kRebasedValue = -1;

bool StartsWithIgnoringCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    if (*text == '\0') return false;
    if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*prefix)))
      return false;
  }
  return true;
}

const char* SkipBlanksAndTabs(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  return text;
}

void ScriptEngineSink(int32_t receiver, const char* text, int32_t value) {
  ScriptValue first{}, second{};
  SetValueString(&first, text);
  SetValueInt(&second, value);
  CallScriptFunctionValues(kCutEventModule, kCutEventCookie, receiver, kCutEventName, kResultInt, 2, &first, &second);
  ReleaseValue(&first);
  ReleaseValue(&second);
}

CutEventSink gSink = ScriptEngineSink;

int32_t EventValue(const InstanceRecord* instance, int32_t value) {
  return (instance->jobFlags & kJobRebased) ? kRebasedValue : value;
}

// The speech of an "event speak" note lasts to the next end mark; another "event speak" first,
// or no end mark, gives 0.
int32_t SpeechDuration(const PathRecord* path, int32_t index) {
  for (int32_t k = index + 1; k < path->noteCount; ++k) {
    const char* text = path->notes[k].text;
    if (!text) continue;
    if (StartsWithIgnoringCase(text, kEndSpeak) || StartsWithIgnoringCase(text, kEndSpeakSpaced))
      return path->notes[k].time - path->notes[index].time;
    if (StartsWithIgnoringCase(text, kEventSpeak)) return 0;
  }
  return 0;
}

void SwitchCutCamera(InstanceRecord* instance, const char* text) {
  const char* name = SkipBlanksAndTabs(text + std::strlen(kCameraPrefix));
  // Only a blank ends the name; it may be as long as the note.
  const std::string camera(name, std::strcspn(name, " "));
  if (SceneRecord* scene = instance->scene) {
    for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
      InstanceRecord* member = InstanceOfNode(node);
      if (member->cutHandle == instance->cutHandle) member->jobFlags &= ~kJobDrivesCamera;
    }
  }
  if (InstanceRecord* found = InstFindPart(instance, camera.c_str())) found->jobFlags |= kJobDrivesCamera;
}

void RaiseNamedEvent(InstanceRecord* instance, const PathRecord* path, int32_t index, const char* text) {
  std::string rest(SkipBlanksAndTabs(text + std::strlen(kEventPrefix)));
  // Trailing blanks go; a trailing tab is part of the text.
  rest.erase(rest.find_last_not_of(' ') + 1);
  const int32_t value = StartsWithIgnoringCase(rest.c_str(), kSpeak) ? SpeechDuration(path, index) : 0;
  RaiseCutEvent(instance->scriptReceiver, rest.c_str(), EventValue(instance, value));
}

}  // namespace

void SetCutEventSink(CutEventSink sink) { gSink = sink ? sink : ScriptEngineSink; }

void RaiseCutEvent(int32_t receiver, const char* text, int32_t value) {
  if (receiver != 0) gSink(receiver, text, value);
}

void ParseCutEvents(InstanceRecord* instance, const PathRecord* path, int32_t index) {
  if (!instance || !path || !path->notes || index < 0 || index >= path->noteCount) return;
  const char* text = path->notes[index].text;
  if (!text) return;
  if (StartsWithIgnoringCase(text, kCameraPrefix)) {
    SwitchCutCamera(instance, text);
  } else if (StartsWithIgnoringCase(text, kEventPrefix)) {
    RaiseNamedEvent(instance, path, index, text);
  } else if (StartsWithIgnoringCase(text, kEndSpeakSpaced)) {
    RaiseCutEvent(instance->scriptReceiver, kEndSpeak, EventValue(instance, 0));
  }
}

void InstPathFindEvent(InstanceRecord* instance, int32_t time) {
  if (!instance || instance->cutHandle == 0) return;
  const uint32_t cutHandle = instance->cutHandle;
  CutRecord* cut = GetCutByHandle(cutHandle);
  const int32_t n = instance->pathNumber;
  if (!cut || n < 0 || n >= cut->pathCount) return;
  BeginScriptFreeWalk();
  for (int32_t k = 0; k < cut->paths[n].noteCount && !InstIsFreeQueued(instance); ++k) {
    if (cut->paths[n].notes[k].time != time) continue;
    ParseCutEvents(instance, &cut->paths[n], k);
    if (GetCutByHandle(cutHandle) != cut) break;
  }
  EndScriptFreeWalk();
}
