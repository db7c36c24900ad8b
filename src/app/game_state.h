// The GameStateBlock: the game main's record of the running game (start modes, pause and save
// requests, the application module's identity and the slot where scripts answer the engine's
// own event calls, the start texts and the running benchmark scene). One block, reached
// through gGameState, created first by the game main and freed last by the shutdown.
#pragma once

#include <cstdint>

#include "core/hash_table.h"
#include "frontend/hud/gui_master.h"  // gGuiMaster, which the game loop builds and frees
#include "script/value.h"

constexpr uint32_t kPausePaused = 0x1;
constexpr uint32_t kPauseJustResumed = 0x2;
constexpr uint32_t kPauseSaveRequested = 0x4;

// A request the application module keeps while a script call it started is pending.
struct PendingRequest {
  uint32_t flags;  // bit 0: answered
  ScriptValue result;
};
constexpr uint32_t kRequestAnswered = 0x1;

struct GameStateBlock {
  uint32_t moduleIndex;
  uint16_t hasResult;
  ScriptValue eventResult;
  uint32_t eventWord;  // cleared before each engine-raised event
  uint32_t pauseFlags;
  uint32_t saveSlot;
  char* saveName;
  char* saveSecondName;
  uint32_t saveWord;
  uint16_t debugPort;
  HashTable* pendingRequests;
  HashTable* secondTable;
  char* fastStartText;
  char* startString;
  int32_t startMode;
  int32_t subMode;
  int32_t parameter;
  int32_t nextStartMode;
  int32_t nextSubMode;
  int32_t nextParameter;
  int32_t benchmarkScene;
  uint32_t benchmarkActive;
  uint32_t benchmarkStart;
  uint32_t benchmarkFrames;
  uint32_t reservedWords[6];
  uint8_t reservedArea[112];
};
extern GameStateBlock* gGameState;


GameStateBlock* InitGameStateBlock(GameStateBlock* block);
const char* SetStartLocation(const char* name);
void ResumeApplicationInt(uint32_t requestId, int32_t value);
void ResumeApplicationString(uint32_t requestId, const char* text);
void FreeModuleStringTables(GameStateBlock* block);
