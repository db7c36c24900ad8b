// The game-state block's set-up, its start string and the application module's resume
// callbacks: an answer to an engine-raised event (request 0) lands in the block's event result,
// an answer to a pending request in that request's record.
#include "app/game_state.h"

#include <cstring>

#include "core/memory.h"

GameStateBlock* gGameState = nullptr;

GameStateBlock* InitGameStateBlock(GameStateBlock* block) {
  block->eventResult.type = kValueNone;
  block->moduleIndex = 0;
  block->pauseFlags = 0;
  std::memset(block->reservedWords, 0, sizeof block->reservedWords);
  std::memset(block->reservedArea, 0xFF, sizeof block->reservedArea);
  block->pendingRequests = HashCreate();
  block->secondTable = HashCreate();
  block->debugPort = 0;
  block->fastStartText = nullptr;
  block->startString = nullptr;
  block->startMode = block->subMode = block->parameter = 0;
  block->nextStartMode = block->nextSubMode = block->nextParameter = 0;
  block->benchmarkScene = 0;
  block->benchmarkActive = block->benchmarkStart = block->benchmarkFrames = 0;
  gGuiMaster = nullptr;
  return block;
}

const char* SetStartLocation(const char* name) {
  // ReplaceString copies before it frees, so passing the text already held is safe.
  gGameState->startString = ReplaceString(gGameState->startString, name);
  return gGameState->startString;
}

static ScriptValue* ResultSlot(uint32_t requestId) {
  if (requestId == 0) {
    gGameState->hasResult = 1;
    return &gGameState->eventResult;
  }
  auto* request = reinterpret_cast<PendingRequest*>(HashGet(gGameState->pendingRequests, requestId));
  if (!request) return nullptr;
  request->flags |= kRequestAnswered;
  return &request->result;
}

void ResumeApplicationInt(uint32_t requestId, int32_t value) {
  if (ScriptValue* slot = ResultSlot(requestId)) SetValueInt(slot, value);
}

void ResumeApplicationString(uint32_t requestId, const char* text) {
  if (ScriptValue* slot = ResultSlot(requestId)) SetValueString(slot, text);
}

void FreeModuleStringTables(GameStateBlock* block) {
  HashDestroy(block->pendingRequests);
  HashDestroy(block->secondTable);
  block->pendingRequests = block->secondTable = nullptr;
  block->fastStartText = FreeString(block->fastStartText);
  block->startString = FreeString(block->startString);
  // A save asked for but never reached (the process ended first) still owns its two names.
  block->saveName = FreeString(block->saveName);
  block->saveSecondName = FreeString(block->saveSecondName);
  ReleaseValue(&block->eventResult);
}
