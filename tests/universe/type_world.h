// A fixture that owns small type tables for chosen classes and gives the process-wide tables back
// empty afterwards, so each case builds just the rows it tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/fixed_math.h"
#include "universe/object_classes.h"
#include "universe/type_access.h"
#include "universe/universe_registry.h"

class TypeWorld : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitMathTables(); }

  // `count` zero-filled rows for a class; the returned pointer stays valid for the case.
  ObjectTypeRecord* Rows(int objClass, int count) {
    auto& rows = storage_[objClass];
    rows.assign(static_cast<size_t>(count), ObjectTypeRecord{});
    gObjectTypeTables[objClass] = {rows.data(), count};
    return rows.data();
  }

  void TearDown() override {
    for (auto& table : gObjectTypeTables) table = {};
    gGlobalsTable = {};
    gBodyIdLists = {};
    gDummyTable = {};
    gComponentTable = {};
    gMatchTable = {};
    gWareLists = {};
    ApplyGlobals();  // settings back to their defaults
  }

 private:
  std::vector<ObjectTypeRecord> storage_[kObjectClassCount];
};
