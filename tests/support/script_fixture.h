// A bare script engine context for tests of the script layers: registries, lists and
// statistics, no SE_ library and no loaded script. At the end it checks that every pool
// counter and every container registry is back to empty, so each test doubles as a leak check.
#pragma once

#include <gtest/gtest.h>

#include "core/memory.h"
#include "script/engine.h"
#include "script/script_memory.h"

class ScriptEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    startCategory1_ = gMemCounters.categoryBytes[kMemCatScript];
    engine_ = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    ASSERT_NE(engine_, nullptr);
    ASSERT_TRUE(InitEngineContext(engine_));
  }

  void TearDown() override {
    SetPoolAllocFailure(-1);
    for (int k = 0; k < kPoolKindCount; ++k) {
      EXPECT_EQ(engine_->statistics.currentBytes[k], 0) << "pool kind " << k;
      EXPECT_EQ(engine_->statistics.currentBlocks[k], 0) << "pool kind " << k;
    }
    EXPECT_EQ(HashCount(engine_->tasks), 0u);
    EXPECT_EQ(HashCount(engine_->strings), 0u);
    EXPECT_EQ(HashCount(engine_->arrays), 0u);
    EXPECT_EQ(HashCount(engine_->tables), 0u);
    EXPECT_EQ(gMemCounters.categoryBytes[kMemCatScript], startCategory1_);
    FreeEngineTables(engine_);
    MemFreeIfSet(engine_);
    gScriptEngine = nullptr;
  }

  const PoolStatistics& Stats() const { return engine_->statistics; }

  ScriptEngine* engine_ = nullptr;
  uint32_t startCategory1_ = 0;
};
