// The SE_ array and table natives and the sorts, through the dispatcher on a fake task: planned
// arrays stay unmaterialised on reads, copies never grow their destination and stop within it,
// table keys come in iteration order, TableNew's key counter, iteration past a key 0, and
// sorts that keep to the arrays' bounds and order extreme integer keys correctly.
#include <algorithm>
#include <climits>
#include <deque>

#include "core/memory.h"
#include "script/natives/se_fixture.h"

namespace {

enum : int32_t {
  kArrayAlloc = 26, kArraySize = 27, kArrayRead = 28, kArrayWrite = 29, kArrayCopy = 30, kArrayClone = 31,
  kArraySubClone = 32, kArrayInsert = 33, kArrayAppend = 34, kArrayRemove = 35, kArrayResize = 36,
  kTableAlloc = 37, kTableSize = 38, kTableNew = 39, kTableAdd = 40, kTableFind = 41, kTableExists = 42,
  kTableNext = 43, kTableRemove = 44, kTableKeys = 45, kTableData = 46, kTableRandomKey = 47,
  kTableNumberedKey = 48, kTableClone = 49, kQSortByName = 136, kQSortByInt = 137,
};

class SEContainerTest : public SENativeTest {
 protected:
  void TearDown() override {
    for (ScriptValue& v : held_) ReleaseValue(&v);
    SENativeTest::TearDown();
  }

  // Keeps the last answer (a container) for the rest of the test.
  const ScriptValue& Keep() {
    held_.push_back(ScriptValue{});
    MoveValue(&held_.back(), &answer_);
    return held_.back();
  }

  const ScriptValue& IntArray(std::initializer_list<int32_t> values) {
    held_.push_back(ScriptValue{});
    ScriptValue& array = held_.back();
    AllocArrayValue(&array, static_cast<int32_t>(values.size()));
    int32_t k = 0;
    for (int32_t v : values) ArrayWriteInt(&array, k++, v);
    return array;
  }

  const ScriptValue& TextArray(std::initializer_list<const char*> values) {
    held_.push_back(ScriptValue{});
    ScriptValue& array = held_.back();
    AllocArrayValue(&array, static_cast<int32_t>(values.size()));
    int32_t k = 0;
    for (const char* v : values) ArrayWriteString(&array, k++, v);
    return array;
  }

  std::vector<int32_t> Ints(const ScriptValue& array) {
    std::vector<int32_t> out;
    for (const std::string& s : Elements(&array)) out.push_back(std::stoi(s));
    return out;
  }

  // The keys TableNext gives from the start to its end answer (0), at most `limit` of them.
  std::vector<int32_t> WalkKeys(const ScriptValue& table, int limit = 100) {
    std::vector<int32_t> keys;
    Call(kTableNext, {V(table)});
    while (AnswerInt() != 0 && limit-- > 0) {
      keys.push_back(AnswerInt());
      Call(kTableNext, {V(table), I(AnswerInt())});
    }
    return keys;
  }

  std::deque<ScriptValue> held_;
};

TEST_F(SEContainerTest, PlannedArraysAnswerSizeAndZerosWithoutAnElementBlock) {
  Call(kArrayAlloc, {I(3)});
  const ScriptValue& array = Keep();
  ASSERT_EQ(array.type, kValueArray);
  Call(kArraySize, {V(array)});
  EXPECT_EQ(AnswerInt(), 3);
  Call(kArrayRead, {V(array), I(2)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kArrayRead, {V(array), I(3)});
  EXPECT_EQ(AnswerInt(), 0);
  EXPECT_EQ(array.array->elements, nullptr);

  Call(kArrayAlloc, {I(-1)});
  EXPECT_EQ(answer_.type, kValueNone);
  Call(kArraySize, {I(5)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kArrayRead, {I(5), I(0)});
  EXPECT_EQ(AnswerInt(), 0);
}

TEST_F(SEContainerTest, ArrayEditsThroughTheNatives) {
  const ScriptValue& a = IntArray({10, 20, 30});
  struct Case {
    int32_t function;
    std::vector<Arg> args;
    std::vector<int32_t> after;
  };
  const Case kCases[] = {
      {kArrayWrite, {I(1), I(21)}, {10, 21, 30}},
      {kArrayWrite, {I(3), I(99)}, {10, 21, 30}},
      {kArrayWrite, {I(-1), I(99)}, {10, 21, 30}},
      {kArrayWrite, {I(0)}, {10, 21, 30}},
      {kArrayInsert, {I(0), I(5)}, {5, 10, 21, 30}},
      {kArrayInsert, {I(-1), I(40)}, {5, 10, 21, 30, 40}},
      {kArrayInsert, {I(9), I(77)}, {5, 10, 21, 30, 40}},
      {kArrayAppend, {I(50)}, {5, 10, 21, 30, 40, 50}},
      {kArrayRemove, {I(0)}, {10, 21, 30, 40, 50}},
      {kArrayRemove, {I(5)}, {10, 21, 30, 40, 50}},
      {kArrayResize, {I(2)}, {10, 21}},
      {kArrayResize, {I(-3)}, {10, 21}},
      {kArrayResize, {I(4)}, {10, 21, 0, 0}},
  };
  for (const Case& c : kCases) {
    std::vector<Arg> args{V(a)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Call(c.function, args);
    EXPECT_EQ(AnswerInt(), 0);
    EXPECT_EQ(Ints(a), c.after) << "case " << (&c - kCases);
  }
  Call(kArrayRead, {V(a), I(1)});
  EXPECT_EQ(AnswerInt(), 21);
}

TEST_F(SEContainerTest, ArrayCopyNeverGrowsItsDestination) {
  const ScriptValue& src = IntArray({0, 1, 2, 3, 4});
  struct Case {
    int32_t dstSize, dstStart, srcStart, srcEnd;
    std::vector<int32_t> after;
  };
  const Case kCases[] = {
      {2, 0, 1, -1, {1, 2}},
      {4, 1, 3, 99, {-1, 3, 4, -1}},
      {3, 0, 0, 2, {0, 1, -1}},
      {3, 0, -2, 5, {0, 0, 0}},
      {3, -1, 0, 5, {1, 2, 3}},
      {3, INT_MIN, 0, 5, {-1, -1, -1}},
      {3, 0, INT_MIN, -1, {0, 0, 0}},
      {3, 5, 0, 5, {-1, -1, -1}},
  };
  for (const Case& c : kCases) {
    ScriptValue dst{};
    AllocArrayValue(&dst, c.dstSize);
    for (int32_t k = 0; k < c.dstSize; ++k) ArrayWriteInt(&dst, k, -1);
    Call(kArrayCopy, {V(dst), I(c.dstStart), V(src), I(c.srcStart), I(c.srcEnd)});
    EXPECT_EQ(GetArraySize(&dst), c.dstSize);
    EXPECT_EQ(Ints(dst), c.after) << "case " << (&c - kCases);
    ClearArgs();
    ReleaseValue(&dst);
  }
}

TEST_F(SEContainerTest, ArrayCopyWithinOneArrayGoesElementByElement) {
  const ScriptValue& a = IntArray({1, 2, 3, 4});
  Call(kArrayCopy, {V(a), I(1), V(a), I(0), I(-1)});
  EXPECT_EQ(Ints(a), (std::vector<int32_t>{1, 1, 1, 1}));
  const ScriptValue& b = IntArray({1, 2, 3, 4});
  Call(kArrayCopy, {V(b), I(0), V(b), I(0), I(-1)});
  EXPECT_EQ(Ints(b), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(SEContainerTest, ClonesShareRecordsAndCopyRanges) {
  const ScriptValue& texts = TextArray({"a", "b", "c"});
  Call(kArrayClone, {V(texts)});
  const ScriptValue& clone = Keep();
  EXPECT_EQ(Elements(&clone), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_NE(clone.array, texts.array);
  EXPECT_EQ(clone.array->elements[1].string, texts.array->elements[1].string);

  Call(kArrayClone, {I(3)});
  EXPECT_EQ(GetArraySize(&answer_), 0);

  struct Case {
    int32_t start, end;
    std::vector<std::string> elements;  // empty: integer 0
  };
  const Case kCases[] = {
      {0, 2, {"a", "b"}},
      {1, -1, {"b", "c"}},
      {1, 99, {"b", "c"}},
      {-1, 2, {"0", "a", "b"}},
      {2, 2, {}},
      {3, 1, {}},
      {INT_MIN, -1, {}},
  };
  for (const Case& c : kCases) {
    Call(kArraySubClone, {V(texts), I(c.start), I(c.end)});
    if (c.elements.empty()) {
      EXPECT_EQ(answer_.type, kValueInt) << "case " << (&c - kCases);
      EXPECT_EQ(AnswerInt(), 0);
    } else {
      EXPECT_EQ(Elements(&answer_), c.elements) << "case " << (&c - kCases);
    }
  }
}

TEST_F(SEContainerTest, TableNewHandsOutTheNextFreeIntegerKey) {
  Call(kTableAlloc, {});
  const ScriptValue& t = Keep();
  ASSERT_EQ(t.type, kValueTable);
  Call(kTableNew, {V(t), T("x")});
  EXPECT_EQ(AnswerInt(), 2);
  Call(kTableNew, {V(t), T("y")});
  EXPECT_EQ(AnswerInt(), 3);
  Call(kTableAdd, {V(t), I(4), T("z")});
  EXPECT_EQ(AnswerInt(), 1);
  Call(kTableNew, {V(t), T("w")});
  EXPECT_EQ(AnswerInt(), 5);
  Call(kTableFind, {V(t), I(5)});
  EXPECT_EQ(AnswerText(), "w");

  // Near the top the counter wraps to 1.
  t.table->nextIntKey = 0x7FFFFFFE;
  Call(kTableNew, {V(t), I(0)});
  EXPECT_EQ(AnswerInt(), 1);
  Call(kTableNew, {I(3), I(0)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableNew, {V(t)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableSize, {V(t)});
  EXPECT_EQ(AnswerInt(), 5);
}

TEST_F(SEContainerTest, TableAddFindExistsRemove) {
  Call(kTableAlloc, {});
  const ScriptValue& t = Keep();
  Call(kTableAdd, {V(t), I(5)});
  EXPECT_EQ(AnswerInt(), 1);
  Call(kTableFind, {V(t), I(5)});
  EXPECT_EQ(AnswerInt(), 5);
  Call(kTableAdd, {V(t), T("name"), I(12)});
  Call(kTableAdd, {V(t), T("name"), I(13)});
  Call(kTableFind, {V(t), T("name")});
  EXPECT_EQ(AnswerInt(), 13);
  Call(kTableExists, {V(t), T("name")});
  EXPECT_EQ(AnswerInt(), 1);
  Call(kTableExists, {V(t), T("other")});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableRemove, {V(t), T("absent")});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableSize, {V(t)});
  EXPECT_EQ(AnswerInt(), 2);
  Call(kTableRemove, {V(t), T("name")});
  EXPECT_EQ(AnswerInt(), 13);
  Call(kTableSize, {V(t)});
  EXPECT_EQ(AnswerInt(), 1);
  Call(kTableAdd, {I(1), I(2), I(3)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableFind, {I(1), I(2)});
  EXPECT_EQ(AnswerInt(), 0);
}

TEST_F(SEContainerTest, IterationByKeyAndByPositionAgree) {
  Call(kTableAlloc, {});
  const ScriptValue& t = Keep();
  // Enough keys for a rehash, so chains and bucket order both matter.
  for (int32_t k = 1; k <= 40; ++k) Call(kTableAdd, {V(t), I(k * 7), I(k)});
  std::vector<int32_t> walked = WalkKeys(t);
  ASSERT_EQ(walked.size(), 40u);
  Call(kTableKeys, {V(t)});
  EXPECT_EQ(Ints(answer_), walked);
  for (int32_t n : {0, 17, 39}) {
    Call(kTableNumberedKey, {V(t), I(n)});
    EXPECT_EQ(AnswerInt(), walked[static_cast<size_t>(n)]);
  }
  Call(kTableNumberedKey, {V(t), I(40)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableNumberedKey, {V(t), I(-1)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableData, {V(t)});
  std::vector<int32_t> data = Ints(answer_);
  for (size_t k = 0; k < walked.size(); ++k) EXPECT_EQ(data[k] * 7, walked[k]);

  GameSrand(1);
  Call(kTableRandomKey, {V(t)});
  GameSrand(1);
  int32_t position = RandomBelow(40);
  EXPECT_EQ(AnswerInt(), walked[static_cast<size_t>(position)]);

  // Starting points: none, 0 (absent) and an unknown key all give the first key.
  Call(kTableNext, {V(t), I(0)});
  EXPECT_EQ(AnswerInt(), walked[0]);
  Call(kTableNext, {V(t), I(999)});
  EXPECT_EQ(AnswerInt(), walked[0]);

  Call(kTableClone, {V(t)});
  const ScriptValue& clone = Keep();
  EXPECT_NE(clone.table, t.table);
  // The clone's rehashes place the entries again, so only the set of keys is the same.
  std::vector<int32_t> cloned = WalkKeys(clone);
  std::sort(cloned.begin(), cloned.end());
  std::sort(walked.begin(), walked.end());
  EXPECT_EQ(cloned, walked);
  Call(kTableFind, {V(clone), I(280)});
  EXPECT_EQ(AnswerInt(), 40);
}

TEST_F(SEContainerTest, TableNextFromAFalseKeyStartsAtTheFirstKey) {
  Call(kTableAlloc, {});
  const ScriptValue& t = Keep();
  // 0 and 4 share bucket 0 of four: 4 is first, 0 second, then 1 and 2.
  for (int32_t k : {4, 0, 1, 2}) Call(kTableAdd, {V(t), I(k), I(k)});
  Call(kTableNext, {V(t)});
  EXPECT_EQ(AnswerInt(), 4);
  // Key 0 is false: held by the table or not, it starts over like no key.
  Call(kTableNext, {V(t), I(0)});
  EXPECT_EQ(AnswerInt(), 4);
  Call(kTableNext, {V(t), I(4)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableNext, {V(t), I(1)});
  EXPECT_EQ(AnswerInt(), 2);
  Call(kTableNext, {V(t), I(2)});
  EXPECT_EQ(AnswerInt(), 0);

  Call(kTableNext, {I(1)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableAlloc, {});
  const ScriptValue& empty = Keep();
  Call(kTableNext, {V(empty)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableRandomKey, {V(empty)});
  EXPECT_EQ(AnswerInt(), 0);
  Call(kTableKeys, {V(empty)});
  EXPECT_EQ(GetArraySize(&answer_), 0);
}

TEST_F(SEContainerTest, SortByNameOrdersValuesAndLeavesKeys) {
  const ScriptValue& values = IntArray({1, 2, 3});
  const ScriptValue& keys = TextArray({"b", "A", "c"});
  Call(kQSortByName, {V(values), V(keys), I(0), I(2)});
  EXPECT_EQ(Ints(values), (std::vector<int32_t>{2, 1, 3}));
  EXPECT_EQ(Elements(&keys), (std::vector<std::string>{"b", "A", "c"}));

  const ScriptValue& down = IntArray({1, 2, 3});
  Call(kQSortByName, {V(down), V(keys), I(0), I(2), I(1)});
  EXPECT_EQ(Ints(down), (std::vector<int32_t>{3, 1, 2}));
}

TEST_F(SEContainerTest, SortByIntOrdersExtremeKeysAndKeepsToTheArrays) {
  const ScriptValue& keys = IntArray({INT_MAX, INT_MIN, 0, -5});
  struct Case {
    int32_t from, to, descending;
    std::vector<int32_t> after;
  };
  const Case kCases[] = {
      {0, 3, 0, {20, 40, 30, 10}},
      {0, 3, 1, {10, 30, 40, 20}},
      {1, 2, 0, {10, 20, 30, 40}},
      {0, 1, 0, {20, 10, 30, 40}},
      // Ranges that leave either array, or are empty, sort nothing.
      {0, 4, 0, {10, 20, 30, 40}},
      {-1, 3, 0, {10, 20, 30, 40}},
      {2, 2, 0, {10, 20, 30, 40}},
      {3, 1, 0, {10, 20, 30, 40}},
  };
  for (const Case& c : kCases) {
    ScriptValue values{};
    AllocArrayValue(&values, 4);
    for (int32_t k = 0; k < 4; ++k) ArrayWriteInt(&values, k, (k + 1) * 10);
    Call(kQSortByInt, {V(values), V(keys), I(c.from), I(c.to), I(c.descending)});
    EXPECT_EQ(Ints(values), c.after) << "case " << (&c - kCases);
    ClearArgs();
    ReleaseValue(&values);
  }
  // A keys array shorter than the range sorts nothing either.
  const ScriptValue& values = IntArray({1, 2, 3, 4, 5});
  Call(kQSortByInt, {V(values), V(keys), I(0), I(4)});
  EXPECT_EQ(Ints(values), (std::vector<int32_t>{1, 2, 3, 4, 5}));
  Call(kQSortByInt, {V(values), V(keys), I(0)});
  EXPECT_EQ(AnswerInt(), 0);
}

}  // namespace
