// The application's native module (Wilo_): its name table, its dispatcher and the list of save
// games. Called by the interpreter through the module table; the game main registers it.
// Every function answers at once and folds a failure into its answer (0); arguments are read
// only when present and of the kind expected, and every index (save slot, debug line,
// benchmark record) is checked against what it indexes.
#include "app/app_natives.h"

#include <libxml/tree.h>

#include <cstdio>
#include <cstring>

#include "app/game_loop.h"
#include "app/game_state.h"
#include "app/save_game.h"
#include "app/settings.h"
#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "devices/input.h"
#include "devices/movie.h"
#include "devices/steering.h"
#include "script/containers.h"
#include "script/engine.h"
#include "universe/universe_import.h"

const char* const kApplicationNativeNames[] = {
    "Wilo_GetScene",
    "Wilo_GetSpace",
    "Wilo_SetGalaxy",
    "Wilo_Save",
    "Wilo_LoadSaveNames",
    "Wilo_CaptureFrame",
    "Wilo_GraphicSettings",
    "Wilo_SoundSettings",
    "Wilo_XMLImportGalaxy",
    "Wilo_SetPause",
    "Wilo_SetNextLocation",
    "Wilo_SetStringParameter",
    "Wilo_GetStringParameter",
    "Wilo_SetInputModeMask",
    "Wilo_GetInputModeMask",
    "Wilo_GetScreenDebugLine",
    "Wilo_SetScreenDebugLine",
    "Wilo_StartBenchmarkScene",
    "Wilo_StopBenchmarkScene",
    "Wilo_SetGameState",
    "Wilo_GetGameState",
    "Wilo_GetModName",
    "Wilo_GetSaveDevices",
    "Wilo_GetDefaultProfile",
    "Wilo_SetDefaultProfile",
    "Wilo_GetControlMatrix",
    "Wilo_SetControlMatrix",
    "Wilo_UpdateCursorSteering",
    "Wilo_IsStartModeAvailable",
    "Wilo_SetStartModeAvailable",
    "Wilo_SaveStringToRegistry",
    "Wilo_ReadStringFromRegistry",
    "Wilo_SaveIntToRegistry",
    "Wilo_ReadIntFromRegistry",
    "Wilo_SetRunInBackground",
    "Wilo_IsRunInBackground",
    nullptr,
};
static_assert(sizeof kApplicationNativeNames / sizeof kApplicationNativeNames[0] == kApplicationFunctionCount + 1);

namespace {

constexpr char kXmlImportUrl[] = "Wilo_XMLImportGalaxy";
constexpr char kRunInBackgroundName[] = "RunInBackground";
constexpr int32_t kStartModeViewer = 1;  // the start mode in which saving is not offered

// The save list reads only what the writer puts first.
constexpr char kSaveMagic[] = "LSAV";
constexpr int32_t kSaveEntryFields = 5;
constexpr size_t kSaveNameSize = 64;

// An argument's 32-bit payload; values whose payload is a pointer (or missing) give 0.
int32_t IntArg(const ScriptValue* args, int32_t count, int32_t i) {
  if (args == nullptr || i < 0 || i >= count) return 0;
  const ScriptValue& value = args[i];
  if (value.type >= kValueInt && value.type <= kValueCodeAddress) return value.i;
  return 0;
}

// An argument's text, or null when it is missing or no text.
const char* TextArg(const ScriptValue* args, int32_t count, int32_t i) {
  if (args == nullptr || i < 0 || i >= count || !ValueIsText(&args[i])) return nullptr;
  return GetValueString(&args[i]);
}

void AnswerTextOrZero(ScriptTask* task, const char* text) {
  if (text) {
    ReturnString(task, gScriptEngine, text);
  } else {
    ReturnInt(task, gScriptEngine, 0);
  }
}

// 16.16 seconds of a millisecond count, kept 64-bit so scenes longer than 32,767,999 ms still
// measure.
int64_t MilliToFixed(uint32_t ms) { return static_cast<int64_t>((static_cast<uint64_t>(ms) << 16) / 1000); }

bool IsBenchmarkRun() { return gSystem && (gSystem->modeFlags & kModeBenchmark); }

bool BenchmarkSceneValid(int32_t scene) { return scene >= 0 && scene < kBenchmarkRecordCount; }

// A scene number outside the record table is refused: nothing changes.
void StartBenchmarkScene(int32_t scene) {
  if (!IsBenchmarkRun() || !gGameState || !BenchmarkSceneValid(scene)) return;
  gGameState->benchmarkStart = gSystem->gameTime;
  gGameState->benchmarkFrames = 0;
  gGameState->benchmarkScene = scene;
  gGameState->benchmarkActive = 1;
  gSystem->modeFlags |= kModeBenchmarkScene;
}

void StopBenchmarkScene() {
  if (!IsBenchmarkRun() || !gGameState || !BenchmarkSceneValid(gGameState->benchmarkScene)) return;
  BenchmarkRecord& record = gBenchmarkRecords[gGameState->benchmarkScene];
  if (gGameState->benchmarkActive) {
    const float seconds =
        static_cast<float>(MilliToFixed(gSystem->gameTime - gGameState->benchmarkStart)) * (1.0f / 65536.0f);
    // A scene stopped within the millisecond it started has no measurable rate.
    record.average = seconds > 0.0f ? static_cast<float>(gGameState->benchmarkFrames) / seconds : 0.0f;
    gGameState->benchmarkActive = 0;
    gSystem->modeFlags &= ~kModeBenchmarkScene;
  } else {
    record = BenchmarkRecord{0.0f, 0.0f, 0.0f};
  }
}

// ---------------------------------------------------------------------------------------------
// The list of save games

// Fills `entry` with [name, second name, w2, w1, modification time] from the header of a save
// file; false (entry untouched) when the file is missing, damaged or too long.
bool ReadSaveEntry(const char* fileName, ScriptValue* entry) {
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpen(&file, fileName, "rb", true)) return false;
  char magic[4];
  char* name = nullptr;
  char* secondName = nullptr;
  char* story = nullptr;
  uint32_t nameLength = 0, secondLength = 0, storyLength = 0, w1 = 0, w2 = 0;
  bool ok = FileReadBytes(&file, magic, sizeof magic) == sizeof magic &&
            std::memcmp(magic, kSaveMagic, sizeof magic) == 0 &&
            ReadSaveText(&file, kSaveListCaptionLimit, &name, &nameLength) &&
            ReadSaveText(&file, kSaveListCaptionLimit, &secondName, &secondLength) &&
            ReadSaveText(&file, kSaveListStoryNameLimit, &story, &storyLength) && ReadSaveWord(&file, &w1) &&
            ReadSaveWord(&file, &w2);
  FileClose(&file);
  if (ok) {
    const int32_t modTime = static_cast<int32_t>(FileGetModTime(fileName, true));
    ScriptValue fields{};
    ok = AllocArrayValue(&fields, kSaveEntryFields) != nullptr &&
         ArrayWriteStringN(&fields, 0, name, static_cast<int32_t>(nameLength)) &&
         ArrayWriteStringN(&fields, 1, secondName, static_cast<int32_t>(secondLength)) &&
         ArrayWriteInt(&fields, 2, static_cast<int32_t>(w2)) && ArrayWriteInt(&fields, 3, static_cast<int32_t>(w1)) &&
         ArrayWriteInt(&fields, 4, modTime);
    if (ok) {
      ReleaseValue(entry);
      MoveValue(entry, &fields);
    } else {
      ReleaseValue(&fields);
    }
  }
  FreeSaveText(&name, nameLength);
  FreeSaveText(&secondName, secondLength);
  FreeSaveText(&story, storyLength);
  return ok;
}

void LoadSaveNames(ScriptTask* task) {
  ScriptValue list{};
  if (AllocArrayValue(&list, kSaveSlotCount) == nullptr) {
    ReturnInt(task, gScriptEngine, 0);
    return;
  }
  for (int32_t slot = 0; slot < kSaveSlotCount; ++slot) {
    ArrayWriteInt(&list, slot, 0);
    char fileName[kSaveNameSize];
    SaveGameFileName(slot + 1, fileName, sizeof fileName);
    ScriptValue entry{};
    if (ReadSaveEntry(fileName, &entry)) ArrayWrite(&list, slot, &entry);
    ReleaseValue(&entry);
  }
  ReturnValue(task, gScriptEngine, &list);
}

// ---------------------------------------------------------------------------------------------

void RequestSave(ScriptTask* task, const ScriptValue* args, int32_t count) {
  if (!gGameState || gGameState->startMode == kStartModeViewer) {
    ReturnInt(task, gScriptEngine, 0);
    return;
  }
  gGameState->saveSlot = static_cast<uint32_t>(IntArg(args, count, 0));
  gGameState->saveName = ReplaceString(gGameState->saveName, TextArg(args, count, 1));
  gGameState->saveSecondName = ReplaceString(gGameState->saveSecondName, TextArg(args, count, 2));
  gGameState->saveWord = static_cast<uint32_t>(IntArg(args, count, 3));
  gGameState->pauseFlags |= kPauseSaveRequested;
  ReturnInt(task, gScriptEngine, 1);
}

void ImportGalaxy(ScriptTask* task, const ScriptValue* args, int32_t count) {
  const char* text = TextArg(args, count, 0);
  xmlDocPtr document = text ? ParseXmlMemory(text, kXmlImportUrl) : nullptr;
  if (document == nullptr) {
    ReturnInt(task, gScriptEngine, 0);
    return;
  }
  ScriptValue result{};
  SetValueInt(&result, 0);
  const int32_t flag = IntArg(args, count, 1);
  for (xmlNodePtr node = xmlDocGetRootElement(document); node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE) ImportUniverseNode(&result, node, flag);
  }
  XmlFreeDoc(document);
  ReturnValue(task, gScriptEngine, &result);
}

void SetScreenDebugLine(int32_t line, const char* text) {
  if (!gSystem || line < 0 || line >= kScreenDebugLineCount) return;
  char* out = gSystem->screenDebugLines[line];
  const size_t length = text ? strnlen(text, kScreenDebugLineSize - 1) : 0;
  if (length) std::memcpy(out, text, length);
  out[length] = '\0';
}

void SetRunInBackground(const ScriptValue* args, int32_t count) {
  const bool on = count > 0 && args && ValueIsTrue(&args[0]);
  if (gInputState) {
    if (on) {
      gInputState->flags |= kInputRunInBackground;
    } else {
      gInputState->flags &= ~kInputRunInBackground;
    }
  }
  WriteProfileValue(kRunInBackgroundName, on ? 1 : 0);
}

}  // namespace

int32_t ApplicationNativeEntry(int32_t, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  return DispatchApplicationCommand(function, args, task, argCount);
}

int32_t DispatchApplicationCommand(int32_t function, ScriptValue* args, ScriptTask* frame, int32_t argCount) {
  ScriptEngine* engine = gScriptEngine;
  ScriptTask* task = frame;
  // A call without its task could not be answered: it is no call.
  if (task == nullptr) return 1;
  if (args == nullptr || argCount < 0) argCount = 0;
  auto intArg = [&](int32_t i) { return IntArg(args, argCount, i); };
  auto textArg = [&](int32_t i) { return TextArg(args, argCount, i); };
  int32_t answer = 0;
  // The functions that read state the process may not have yet answer 0 without it.
  SystemBlock* system = gSystem;
  GameStateBlock* state = gGameState;

  switch (function) {
    case kWiloSave:
      RequestSave(task, args, argCount);
      return 1;
    case kWiloLoadSaveNames:
      LoadSaveNames(task);
      return 1;
    case kWiloCaptureFrame:
      gScreenshotRequest = 1;
      break;
    case kWiloXMLImportGalaxy:
      ImportGalaxy(task, args, argCount);
      return 1;
    case kWiloSetPause:
      if (state) state->pauseFlags |= kPausePaused;
      StopAllMovies();
      break;
    case kWiloSetNextLocation:
      if (state) {
        state->nextStartMode = intArg(0);
        state->nextSubMode = intArg(1);
        state->nextParameter = intArg(2);
      }
      break;
    case kWiloSetStringParameter:
      if (state) state->fastStartText = ReplaceString(state->fastStartText, textArg(0));
      break;
    case kWiloGetStringParameter:
      AnswerTextOrZero(task, state ? state->fastStartText : nullptr);
      return 1;
    case kWiloSetInputModeMask:
      if (system) system->inputModeMask = static_cast<uint32_t>(intArg(0));
      break;
    case kWiloGetInputModeMask:
      answer = system ? static_cast<int32_t>(system->inputModeMask) : 0;
      break;
    case kWiloGetScreenDebugLine: {
      const int32_t line = intArg(0);
      if (system && line >= 0 && line < kScreenDebugLineCount) {
        ReturnString(task, engine, system->screenDebugLines[line]);
        return 1;
      }
      break;
    }
    case kWiloSetScreenDebugLine:
      SetScreenDebugLine(intArg(0), textArg(1));
      break;
    case kWiloStartBenchmarkScene:
      StartBenchmarkScene(intArg(0));
      break;
    case kWiloStopBenchmarkScene:
      StopBenchmarkScene();
      break;
    case kWiloSetGameState:
      if (system) system->gameState = static_cast<uint32_t>(intArg(0));
      break;
    case kWiloGetGameState:
      answer = system ? static_cast<int32_t>(system->gameState) : 0;
      break;
    case kWiloGetModName:
      AnswerTextOrZero(task, system ? system->modName : nullptr);
      return 1;
    case kWiloGetDefaultProfile:
      AnswerTextOrZero(task, system ? system->defaultProfile : nullptr);
      return 1;
    case kWiloSetDefaultProfile:
      if (system) system->defaultProfile = ReplaceString(system->defaultProfile, textArg(0));
      break;
    case kWiloGetControlMatrix:
      answer = Wilo_GetControlMatrix(intArg(0), intArg(1), intArg(2));
      break;
    case kWiloSetControlMatrix:
      Wilo_SetControlMatrix(intArg(0), intArg(1), intArg(2), intArg(3));
      break;
    case kWiloUpdateCursorSteering:
      for (int i = 0; i < kCursorSteeringWordCount; ++i) gCursorSteering[i] = intArg(i);
      break;
    case kWiloIsStartModeAvailable: {
      const uint32_t mask = static_cast<uint32_t>(intArg(0));
      answer = system && (system->startModeMask & mask) == mask ? 1 : 0;
      break;
    }
    case kWiloSetStartModeAvailable:
      if (system) {
        const uint32_t mask = static_cast<uint32_t>(intArg(0));
        if (intArg(1) != 0) {
          system->startModeMask |= mask;
        } else {
          system->startModeMask &= ~mask;
        }
      }
      break;
    case kWiloSaveStringToRegistry:
      answer = WriteProfileString(textArg(0), textArg(1));
      break;
    case kWiloReadStringFromRegistry: {
      char* text = ReadProfileString(textArg(0));
      AnswerTextOrZero(task, text);
      FreeString(text);
      return 1;
    }
    case kWiloSaveIntToRegistry:
      answer = WriteProfileValue(textArg(0), intArg(1));
      break;
    case kWiloReadIntFromRegistry:
      answer = ReadProfileValue(textArg(0));
      break;
    case kWiloSetRunInBackground:
      SetRunInBackground(args, argCount);
      break;
    case kWiloIsRunInBackground:
      answer = gInputState && (gInputState->flags & kInputRunInBackground) ? 1 : 0;
      break;
    default:
      // 0 to 2, 6, 7, 22 and every number outside the table: no effect.
      break;
  }
  ReturnInt(task, engine, answer);
  return 1;
}
