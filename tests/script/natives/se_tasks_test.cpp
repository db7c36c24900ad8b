// The SE_ task, object and value natives through the dispatcher on a fake task: task ids, the
// kill of another task and of the caller itself, object and class queries over a small class
// chain (root, base with methods, derived), value types and the number conversion.
#include <climits>
#include <cmath>

#include "core/hash_table.h"
#include "script/natives/se_fixture.h"

namespace {

enum : int32_t {
  kGetTaskID = 50, kTaskExists = 51, kKillTask = 52, kObjectExists = 53, kObjectFunctionExists = 54,
  kGetClass = 55, kIsClass = 56, kGetSuperClass = 57, kGetExprType = 58, kIsString = 59, kToInt = 138,
  kGetNum = 139,
};

// Names in the pool: "Fly" at 1, "Init" at 5, "Run" at 10.
constexpr char kPool[] = "\0Fly\0Init\0Run";
constexpr int32_t kInstanceId = -3;  // registry key 2, the first key a registry hands out

class SETaskTest : public SENativeTest {
 protected:
  void SetUp() override {
    SENativeTest::SetUp();
    for (uint32_t k = 0; k < 3; ++k) {
      ScriptClassRecord& c = classes_[k];
      c.id = static_cast<int32_t>(k);
      c.refCount = 1000;  // never released to zero by the test's copies
      c.classRecord = &c;
      c.superId = kNoSuperClass;
    }
    classes_[1].methods = baseMethods_;
    classes_[1].methodCount = 2;
    classes_[1].mergedMethodCount = 2;
    classes_[2].methods = derivedMethods_;
    classes_[2].methodCount = 1;
    classes_[2].mergedMethodCount = 3;
    classes_[2].superId = 1;
    classes_[2].super = &classes_[1];
    engine_->classes = classes_;
    engine_->classCount = 3;
    engine_->stringPool = const_cast<char*>(kPool);
    engine_->stringPoolSize = sizeof kPool;
    instance_ = ObjectInstance{kInstanceId, 1000, &classes_[2], nullptr};
    ASSERT_EQ(HashInsert(engine_->instances, ~static_cast<uint32_t>(kInstanceId), reinterpret_cast<HashValue>(&instance_)),
              1);
    deleted_ = ObjectInstance{-9, 1000, nullptr, nullptr};
    instanceRef_.type = kValueObject;
    instanceRef_.object = &instance_;
    baseRef_.type = kValueObject;
    baseRef_.object = &classes_[1];
    deletedRef_.type = kValueObject;
    deletedRef_.object = &deleted_;
  }

  void TearDown() override {
    HashRemove(engine_->instances, ~static_cast<uint32_t>(kInstanceId));
    engine_->classes = nullptr;
    engine_->classCount = 0;
    engine_->stringPool = nullptr;
    engine_->stringPoolSize = 0;
    SENativeTest::TearDown();
  }

  struct Case {
    int32_t function;
    std::vector<Arg> args;
    int32_t expected;
  };
  void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      EXPECT_EQ(Call(c.function, c.args), 1);
      EXPECT_EQ(AnswerInt(), c.expected) << c.function << " case " << (&c - cases.data());
    }
  }

  ScriptClassRecord classes_[3]{};
  MethodRecord baseMethods_[2] = {{100, 5, 0, 0}, {200, 10, 0, 0}};
  MethodRecord derivedMethods_[1] = {{300, 1, 0, 0}};
  ObjectInstance instance_{};
  ObjectInstance deleted_{};
  ScriptValue instanceRef_{}, baseRef_{}, deletedRef_{};
};

TEST_F(SETaskTest, TaskIdsAndExistence) {
  ScriptTask* other = NewTask(engine_, 32);
  ASSERT_NE(other, nullptr);
  RunCases({
      {kGetTaskID, {}, task_->id},
      {kTaskExists, {I(task_->id)}, 1},
      {kTaskExists, {I(other->id)}, 1},
      {kTaskExists, {I(999)}, 0},
      {kTaskExists, {I(-1)}, 0},
      {kTaskExists, {}, 0},
      {kTaskExists, {T("2")}, 0},
  });
  int32_t otherId = other->id;
  EXPECT_EQ(Call(kKillTask, {I(otherId)}), 1);
  EXPECT_EQ(AnswerInt(), 0);
  EXPECT_EQ(FindTask(engine_, otherId), nullptr);
  EXPECT_EQ(Call(kKillTask, {I(otherId)}), 1);
  EXPECT_EQ(AnswerInt(), 0);
  EXPECT_EQ(Call(kKillTask, {}), 1);
}

TEST_F(SETaskTest, KillingTheCallerReturnsZeroWithoutAnAnswer) {
  int32_t id = task_->id;
  EXPECT_EQ(Call(kKillTask, {I(id), T("its arguments go with it")}), 0);
  EXPECT_EQ(FindTask(engine_, id), nullptr);
  EXPECT_EQ(task_, nullptr);
}

TEST_F(SETaskTest, ObjectAndClassQueries) {
  RunCases({
      {kObjectExists, {I(kInstanceId)}, 1},
      {kObjectExists, {I(2)}, 1},
      {kObjectExists, {I(-7)}, 0},
      {kObjectExists, {I(0)}, 0},
      {kObjectExists, {V(instanceRef_)}, 1},
      {kObjectExists, {Raw(deletedRef_)}, 0},
      {kObjectExists, {T("x")}, 0},
      {kObjectExists, {}, 0},
      {kGetClass, {I(kInstanceId)}, 2},
      {kGetClass, {V(instanceRef_)}, 2},
      {kGetClass, {I(1)}, 1},
      {kGetClass, {Raw(deletedRef_)}, 0},
      {kGetClass, {I(-7)}, 0},
      {kGetClass, {D(1.0)}, 0},
      {kGetSuperClass, {I(kInstanceId)}, 1},
      {kGetSuperClass, {I(1)}, 0},
      {kGetSuperClass, {I(0)}, 0},
      {kGetSuperClass, {Raw(deletedRef_)}, 0},
      {kGetSuperClass, {I(44)}, 0},
      {kIsClass, {I(kInstanceId), I(2)}, 1},
      {kIsClass, {I(kInstanceId), I(1)}, 1},
      {kIsClass, {I(kInstanceId), I(0)}, 0},
      {kIsClass, {I(1), I(2)}, 0},
      {kIsClass, {V(instanceRef_), V(baseRef_)}, 1},
      {kIsClass, {V(baseRef_), V(baseRef_)}, 1},
      {kIsClass, {V(instanceRef_), V(instanceRef_)}, 0},
      {kIsClass, {Raw(deletedRef_), I(2)}, 0},
      {kIsClass, {I(0), I(0)}, 0},
      {kIsClass, {I(kInstanceId), T("x")}, 0},
      {kIsClass, {I(kInstanceId)}, 0},
      {kObjectFunctionExists, {I(kInstanceId), T("Run")}, 1},
      {kObjectFunctionExists, {I(kInstanceId), T("Fly")}, 1},
      {kObjectFunctionExists, {V(instanceRef_), T("Init")}, 1},
      {kObjectFunctionExists, {I(kInstanceId), T("Walk")}, 0},
      {kObjectFunctionExists, {I(1), T("Fly")}, 0},
      {kObjectFunctionExists, {I(0), T("Run")}, 0},
      {kObjectFunctionExists, {I(-7), T("Run")}, 0},
      {kObjectFunctionExists, {I(kInstanceId), I(10)}, 0},
      {kObjectFunctionExists, {T("Run"), T("Run")}, 0},
  });
}

TEST_F(SETaskTest, ValueTypesAndNumbers) {
  ScriptValue array{};
  AllocArrayValue(&array, 1);
  RunCases({
      {kGetExprType, {I(4)}, kValueInt},
      {kGetExprType, {T("a")}, kValueString},
      {kGetExprType, {D(1.5)}, kValueDouble},
      {kGetExprType, {V(array)}, kValueArray},
      {kGetExprType, {V(instanceRef_)}, kValueObject},
      {kGetExprType, {None()}, kValueNone},
      {kGetExprType, {}, 0},
      {kIsString, {T("")}, 1},
      {kIsString, {I(1)}, 0},
      {kIsString, {}, 0},
      {kToInt, {I(7)}, 0},
      {kToInt, {D(-2.7)}, -2},
      {kToInt, {D(2.9)}, 2},
      {kToInt, {T(" 42x")}, 42},
      {kToInt, {D(1e20)}, INT_MAX},
      {kToInt, {D(-1e20)}, INT_MIN},
      {kToInt, {D(std::nan(""))}, 0},
      {kToInt, {V(array)}, 0},
      {kToInt, {}, 0},
  });
  ClearArgs();
  ReleaseValue(&array);
}

TEST_F(SETaskTest, GetNumReadsTwoEngineFlags) {
  struct Flags {
    uint32_t flags;
    int32_t expected;
  };
  for (Flags f : {Flags{0, 1}, Flags{2, 0}, Flags{6, 1}, Flags{4, 1}, Flags{0x12, 0}}) {
    engine_->flags = f.flags;
    Call(kGetNum, {});
    EXPECT_EQ(AnswerInt(), f.expected) << f.flags;
  }
  engine_->flags = 0;
}

}  // namespace
