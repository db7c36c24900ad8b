// The game-state block: set-up, the start string and the application module's answers.
#include "app/game_state.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/memory.h"
#include "script/engine.h"

namespace {

class GameStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&engine_, 0, sizeof engine_);
    ASSERT_TRUE(InitEngineContext(&engine_));
    std::memset(&block_, 0, sizeof block_);
    gGameState = InitGameStateBlock(&block_);
  }
  void TearDown() override {
    FreeModuleStringTables(&block_);
    FreeEngineTables(&engine_);
    gScriptEngine = nullptr;
    gGameState = nullptr;
  }
  ScriptEngine engine_;
  GameStateBlock block_;
};

TEST_F(GameStateTest, InitialisationMakesTablesAndFillsTheReservedArea) {
  EXPECT_NE(block_.pendingRequests, nullptr);
  EXPECT_NE(block_.secondTable, nullptr);
  EXPECT_EQ(block_.eventResult.type, kValueNone);
  for (uint8_t b : block_.reservedArea) EXPECT_EQ(b, 0xFF);
  EXPECT_EQ(gGuiMaster, nullptr);
}

TEST_F(GameStateTest, AnswersLandInTheEventResultOrTheirRequest) {
  ResumeApplicationInt(0, 42);
  EXPECT_EQ(block_.hasResult, 1);
  EXPECT_EQ(block_.eventResult.type, kValueInt);
  EXPECT_EQ(block_.eventResult.i, 42);

  ResumeApplicationString(0, "done");  // replaces the integer, releasing nothing it shouldn't
  ASSERT_EQ(block_.eventResult.type, kValueString);
  EXPECT_STREQ(GetValueString(&block_.eventResult), "done");
  ResumeApplicationInt(0, 7);  // the string object is released first
  EXPECT_EQ(block_.eventResult.i, 7);

  PendingRequest request{};
  uint32_t id = HashInsertNewKey(block_.pendingRequests, reinterpret_cast<HashValue>(&request));
  ResumeApplicationInt(id, -5);
  EXPECT_EQ(request.flags & kRequestAnswered, kRequestAnswered);
  EXPECT_EQ(request.result.i, -5);
  ReleaseValue(&request.result);

  // An id that is not pending changes nothing.
  block_.hasResult = 0;
  ResumeApplicationInt(id + 100, 9);
  ResumeApplicationString(id + 100, "x");
  EXPECT_EQ(block_.hasResult, 0);
  EXPECT_EQ(block_.eventResult.i, 7);
  HashRemove(block_.pendingRequests, id);
}

TEST_F(GameStateTest, StartLocationAndFreeingTheBlocksTexts) {
  const char* first = SetStartLocation("Loc01");
  EXPECT_STREQ(first, "Loc01");
  const char* again = SetStartLocation(block_.startString);  // the text already held
  EXPECT_STREQ(again, "Loc01");
  EXPECT_EQ(SetStartLocation(nullptr), nullptr);
  SetStartLocation("Loc02");
  block_.fastStartText = ReplaceString(nullptr, "fast");
  ResumeApplicationString(0, "answer");

  uint32_t before = gMemCounters.currentBytes;
  FreeModuleStringTables(&block_);
  EXPECT_LT(gMemCounters.currentBytes, before);
  EXPECT_EQ(block_.startString, nullptr);
  EXPECT_EQ(block_.fastStartText, nullptr);
  EXPECT_EQ(block_.eventResult.type, kValueNone);
  EXPECT_EQ(block_.pendingRequests, nullptr);
  // TearDown frees again: a second free of an emptied block must be harmless.
}

TEST_F(GameStateTest, ASaveRequestNeverPerformedGivesItsNamesBackWithTheBlock) {
  FreeModuleStringTables(&block_);  // only the save names are left to count
  uint32_t baseline = gMemCounters.currentBytes;
  block_.saveName = ReplaceString(nullptr, "Quick save");
  block_.saveSecondName = ReplaceString(nullptr, "Sector 12");
  block_.pauseFlags |= kPauseSaveRequested;
  FreeModuleStringTables(&block_);
  EXPECT_EQ(block_.saveName, nullptr);
  EXPECT_EQ(block_.saveSecondName, nullptr);
  EXPECT_EQ(gMemCounters.currentBytes, baseline);
}

}  // namespace
