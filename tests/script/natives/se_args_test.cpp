// The SE_ dispatcher frame as a whole: the name table the byte code binds to, numbers without
// a native, and every native called with no arguments, with arguments of every wrong type and
// with an argument count that claims more slots than the task's stack holds. Each call must
// answer at once (the address sanitizer watches for reads past the arguments).
#include <climits>
#include <filesystem>
#include <functional>

#include "script/natives/se_fixture.h"
#include "support/script_runner.h"
#include "support/temp_dir.h"

namespace {

const char* const kExpectedNames[kSENativeCount] = {
    "SE_XMLImportText", "SE_ReadText", "SE_ExistsText", "SE_LoadText", "SE_LoadTextPage", "SE_GetLanguage",
    "SE_FreeText", "SE_StringLen", "SE_StringNumChars", "SE_StringNextCharPos",
    // 10
    "SE_StringPrevCharPos", "SE_StringReadChar", "SE_StringWriteChar", "SE_StringStr", "SE_StringChr",
    "SE_StringRChr", "SE_StringSub", "SE_StringToInt", "SE_StringSplit", "SE_StringSubst",
    // 20
    "SE_SPrintf", "SE_VSPrintf", "SE_strcmp", "SE_stricmp", "SE_CTime", "SE_TimeString", "SE_ArrayAlloc",
    "SE_ArraySize", "SE_ArrayRead", "SE_ArrayWrite",
    // 30
    "SE_ArrayCopy", "SE_ArrayClone", "SE_ArraySubClone", "SE_ArrayInsert", "SE_ArrayAppend", "SE_ArrayRemove",
    "SE_ArrayResize", "SE_TableAlloc", "SE_TableSize", "SE_TableNew",
    // 40
    "SE_TableAdd", "SE_TableFind", "SE_TableExists", "SE_TableNext", "SE_TableRemove", "SE_TableKeys",
    "SE_TableData", "SE_TableRandomKey", "SE_TableNumberedKey", "SE_TableClone",
    // 50
    "SE_GetTaskID", "SE_TaskExists", "SE_KillTask", "SE_ObjectExists", "SE_ObjectFunctionExists", "SE_GetClass",
    "SE_IsClass", "SE_GetSuperClass", "SE_GetExprType", "SE_IsString",
    // 60
    "SE_LinFunc", "SE_SmoothInterpolate", "SE_LogFunc", "SE_ExpFunc", "SE_LinFuncSum", "SE_CubicPoly", "SE_GGT",
    "SE_KGV", "SE_Distance3", "SE_DistanceA3",
    // 70
    "SE_DistanceAA", "SE_IsPosInRangeA", "SE_IsPosInRange3", "SE_CompressRangeData", "SE_MulFix", "SE_DivFix",
    "SE_MulDivFix", "SE_Sqrt", "SE_Sin", "SE_Cos",
    // 80
    "SE_Random", "SE_RandomLowNorm", "SE_GetRotMatrixFromAngles", "SE_GetAnglesFromRotMatrix",
    "SE_GetAnglesFromVector", "SE_MatrixMultiplySelfRight", "SE_MatrixMultiplySelfLeft", "SE_MatrixMultiply",
    "SE_MatrixMultiplyInv", "SE_RotateVector",
    // 90
    "SE_RotateVectorInv", "SE_ScriptComputeExpression", "SE_RegComp", "SE_RegExec", "SE_RegSub",
    "SE_RegSubGlobal", "SE_RegFree", "SE_StringXMLEncode", "SE_StringXMLEscape", "SE_StringXMLQueryDecode",
    // 100
    "SE_StringXMLQueryToUTF8", "SE_XMLExportValue", "SE_XMLImportValue", "SE_XMLImport", "SE_FOpen",
    "SE_FClose", "SE_FPrintf", "SE_ReadFile", "SE_WriteFile", "SE_DeleteFile",
    // 110
    "SE_MoveFile", "SE_FSize", "SE_FTime", "SE_GetDir", "SE_MakeDir", "SE_ChangeDir", "SE_DMprintf",
    "SE_Dprintf", "SE_Assert", "SE_Trace",
    // 120
    "SE_ExportPrivateInfo", "SE_SetProfiling", "SE_GetTaskPC", "SE_MemStatistics", "SE_TaskList",
    "SE_StackDump", "SE_CallStackDump", "SE_ShowCallStack", "SE_CallerNumber", "SE_CallerEngine",
    // 130
    "SE_AutoDoc", "SE_DumpValues", "SE_AllocatedMem", "SE_AllocatedMemGeneral", "SE_DumpAllocatedObjects",
    "SE_Time", "SE_QSortByName", "SE_QSortByInt", "SE_ToInt", "SE_GetNum",
    // 140
    "SE_CalcGalaxyEscortOffset", "SE_SetMaxOpCount", "SE_SetDebugOutputFile", "SE_StringCat",
    "SE_ConvertFormatString", "SE_ConvertTextString", "SE_StringMul", "SE_VerifyData", "SE_SignData",
    "SE_SignGameStats",
    // 150
    "SE_SaveAllTexts", "SE_LoadAllTexts", "SE_UpdateStory", "SE_Enable", "SE_Disable",
};

TEST(SENameTable, EveryNumberHasItsNameAndTheTableEndsWithNull) {
  for (int32_t n = 0; n < kSENativeCount; ++n) {
    ASSERT_NE(kSENativeNames[n], nullptr) << n;
    EXPECT_STREQ(kSENativeNames[n], kExpectedNames[n]) << n;
    EXPECT_NE(SENativeFor(n), nullptr) << n;
  }
  EXPECT_EQ(kSENativeNames[kSENativeCount], nullptr);
  EXPECT_EQ(SENativeFor(kSENativeCount), nullptr);
  EXPECT_EQ(SENativeFor(-1), nullptr);
}

class SEArgsTest : public SENativeTest {
 protected:
  void SetUp() override {
    SENativeTest::SetUp();
    // Natives that write files (the text save) must do it inside the test's own folder.
    savedFolder_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
  }
  void TearDown() override {
    std::filesystem::current_path(savedFolder_);
    SENativeTest::TearDown();
  }

  // Calls the function and checks that it answered at once with the dispatcher's usual 1.
  void ExpectAnswer(int32_t function, const std::vector<Arg>& args, const std::string& what) {
    EXPECT_EQ(Call(function, args), 1) << kSENativeNames[function] << " " << what;
    ASSERT_NE(task_, nullptr) << kSENativeNames[function] << " ended the calling task (" << what << ")";
    EXPECT_TRUE(answered_) << kSENativeNames[function] << " " << what;
  }

  TempDir folder_;
  std::filesystem::path savedFolder_;
};

TEST_F(SEArgsTest, NumbersWithoutANativeAnswerZero) {
  for (int32_t function : {kSENativeCount, 156, 1000, INT_MAX, -1, INT_MIN}) {
    EXPECT_EQ(Call(function, {T("x"), I(3)}), 1);
    EXPECT_TRUE(answered_);
    EXPECT_EQ(answer_.type, kValueInt);
    EXPECT_EQ(AnswerInt(), 0) << function;
  }
}

TEST_F(SEArgsTest, TheModuleDispatcherReachesTheLibraryThroughTheGlobalEngine) {
  ScriptValue arg{};
  SetValueString(&arg, "abcd");
  EXPECT_EQ(SE_Dispatch(1, task_, 7, 1, &arg), 1);
  EXPECT_EQ(task_->result.type, kValueInt);
  EXPECT_EQ(task_->result.i, 4);
  ReleaseValue(&arg);
  ReleaseValue(&task_->result);
}

// Every native, with no arguments and with six arguments of one wrong kind after a first
// argument of each kind, answers at once and leaves no counted block behind (the fixture's
// tear-down checks every pool counter).
TEST_F(SEArgsTest, EveryNativeAnswersMissingAndWrongArguments) {
  // Values of every kind a slot can hold, made fresh for each call: a native may change a
  // container it was given.
  using Maker = std::function<void(ScriptValue*)>;
  const std::vector<std::pair<std::string, Maker>> kinds = {
      {"none", [](ScriptValue* v) { *v = ScriptValue{}; }},
      {"zero", [](ScriptValue* v) { SetValueInt(v, 0); }},
      {"minus one", [](ScriptValue* v) { SetValueInt(v, -1); }},
      {"most negative", [](ScriptValue* v) { SetValueInt(v, INT_MIN); }},
      {"largest", [](ScriptValue* v) { SetValueInt(v, INT_MAX); }},
      {"double", [](ScriptValue* v) { SetValueDouble(v, -1e300); }},
      {"int64", [](ScriptValue* v) { SetValueInt64(v, INT64_MIN); }},
      {"empty text", [](ScriptValue* v) { SetValueString(v, ""); }},
      {"text", [](ScriptValue* v) { SetValueString(v, "%s%d%a%*.*f%!9s(\\"); }},
      {"pool text", [](ScriptValue* v) { SetValuePoolString(v, 7); }},
      {"code address", [](ScriptValue* v) { SetValueCodeAddress(v, 0x123456); }},
      {"planned array", [](ScriptValue* v) { AllocArrayValue(v, 3); }},
      {"empty array",
       [](ScriptValue* v) {
         AllocArrayValue(v, 0);
       }},
      {"array",
       [](ScriptValue* v) {
         AllocArrayValue(v, 2);
         ArrayWriteString(v, 0, "b");
         ArrayWriteInt(v, 1, 5);
       }},
      {"table",
       [](ScriptValue* v) {
         AllocTableValue(v);
         ScriptValue key{}, data{};
         SetValueInt(&key, 0);
         SetValueString(&data, "d");
         TableSet(v, &key, &data);
         ReleaseValue(&data);
       }},
      {"null object", [](ScriptValue* v) {
         *v = ScriptValue{};
         v->type = kValueObject;
       }},
  };

  for (int32_t function = 0; function < kSENativeCount; ++function) {
    ExpectAnswer(function, {}, "without arguments");
    for (const auto& first : kinds) {
      for (const auto& rest : kinds) {
        ScriptValue made[7]{};
        first.second(&made[0]);
        for (int k = 1; k < 7; ++k) rest.second(&made[k]);
        std::vector<Arg> args;
        for (ScriptValue& v : made) args.push_back(Raw(v));
        // The slots now own what was made; the fixture releases them after the next call.
        ExpectAnswer(function, args, first.first + " then " + rest.first);
        if (!task_) return;
        ClearArgs();
        ReleaseValue(&answer_);
      }
    }
  }
}

TEST_F(SEArgsTest, ClaimedArgumentsBeyondTheStackAreNeverRead) {
  for (int32_t function = 0; function < kSENativeCount; ++function) {
    // One real argument on the very top of the stack; the caller claims far more.
    EXPECT_EQ(CallClaiming(function, {T("%s %s %d")}, 1000), 1) << kSENativeNames[function];
    ASSERT_NE(task_, nullptr);
    EXPECT_TRUE(answered_) << kSENativeNames[function];
    EXPECT_EQ(DispatchSENative(engine_, 0, task_, function, 5, nullptr), 1) << kSENativeNames[function];
    EXPECT_EQ(DispatchSENative(engine_, 0, task_, function, -3, ArgSlot(0)), 1) << kSENativeNames[function];
    ReleaseValue(&task_->result);
  }
}

TEST_F(SEArgsTest, ACallWithoutATaskAnswersNobody) {
  ScriptValue arg{};
  SetValueInt(&arg, 3);
  for (int32_t function : {7, 26, 50, 52, 155}) EXPECT_EQ(DispatchSENative(engine_, 0, nullptr, function, 1, &arg), 1);
}

// Byte code binds SE_ natives by name and takes their answers in place of the arguments.
class SEScriptTest : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    engine_->seModuleIndex =
        RegisterNativeModule(engine_, SE_Dispatch, kSENativeNames, SEResumeInt, SEResumeString, SEResumeValue);
    ASSERT_EQ(engine_->seModuleIndex, 2);
  }
};

TEST_F(SEScriptTest, AScriptCallsNativesByName) {
  ASSERT_TRUE(Load(R"(
.func Format format frame=4
format: check 4
  pushs "b"
  pushs "a"
  pushs "%!1s-%s"
  push3
  native SE_SPrintf
  ret
.func Length length frame=4
length: check 4
  pushs "abcd"
  push1
  native SE_StringLen
  ret
)")) << error_;
  EXPECT_EQ(Call("Format"), "\"b-a\"");
  EXPECT_EQ(Call("Length"), "4");
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

TEST_F(SEScriptTest, AScriptThatKillsItselfStopsAtTheKill) {
  ASSERT_TRUE(Load(R"(
.func Main main frame=4
main: check 4
  push0
  native SE_GetTaskID
  push1
  native SE_KillTask
  pushb 5
  push1
  native T_Log
  ret
)")) << error_;
  Call("Main");
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

}  // namespace
