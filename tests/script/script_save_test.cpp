// The script state section through a file stream: a full round trip (write, unload, read) that
// keeps ids, key counters, planned arrays, table keys and next keys, string objects, doubles and
// 64-bit values, instance references held by arrays, tables, statics and other instances, and a
// waiting task that goes on after the load; saved-value conversions; patch mode between two
// assembled revisions; and saves that are cut short or carry a bad stack pointer, pc, map, tag
// or id, all of which fail cleanly and leave nothing behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "core/hash_table.h"
#include "script/script_calls.h"
#include "script/script_save.h"
#include "support/script_runner.h"
#include "support/temp_dir.h"

namespace {

const std::vector<uint8_t>* gStore = nullptr;
std::string gLoadedName;

bool LoadTestStore(ScriptEngine* engine, const char* name) {
  gLoadedName = name;
  if (!gStore) return false;
  return LoadScriptStoreFromMemory(engine, name, gStore->data(), uint32_t(gStore->size()));
}

const char* const kScript = R"(
.header 1
.global int 0          ; G0: an array of everything
.global int 0          ; G1: a table
.global float 2.5      ; G2
.class 12
.field int 0           ; M0
.field int 0           ; M1
.method Run run frame=4
.end
.func Make make frame=4
.func Kill kill frame=4 params=1
.func Waiter waiter frame=8
make:
  newc 12
  ret
kill:
  ldl 4
  delete
  ret
run:
  push0
  ret
waiter:
  check 8
  pushb 11
  push1
  native T_Wait
  pop
  pushb 99
  ret
)";

class ScriptSave : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    SetScriptStateLoader(LoadTestStore);
    ASSERT_TRUE(Use(kScript));
  }
  void TearDown() override {
    SetScriptStateLoader(nullptr);
    gStore = nullptr;
    ScriptRunTest::TearDown();
  }

  // Assembles and loads a revision; the reader's loader gets the same bytes.
  bool Use(const char* text) {
    UnloadScriptStore(engine_);
    if (!Load(text)) return false;
    store_ = asm_.bytes;
    gStore = &store_;
    return true;
  }
  // Assembles a revision for the reader without loading it now.
  bool Prepare(const char* text) {
    AsmResult next = Assemble(text);
    if (!next.ok) return false;
    store_ = next.bytes;
    nextAsm_ = next;
    return true;
  }

  bool Save(const char* mode = "wb") {
    FileObject f;
    FileObjectInit(&f);
    if (!FileOpen(&f, dir_.File("state.sav").c_str(), mode, false)) return false;
    bool ok = WriteScriptState(&f);
    return FileCloseHandle(&f) && ok;
  }
  bool Restore() {
    FileObject f;
    FileObjectInit(&f);
    if (!FileOpen(&f, dir_.File("state.sav").c_str(), "rb", false)) return false;
    bool ok = ReadScriptState(&f);
    FileCloseHandle(&f);
    return ok;
  }
  // The save as plain bytes ("T": written without compression; the reader takes either).
  std::string SavePlain() { return Save("wbT") ? dir_.Read("state.sav") : std::string(); }
  bool RestoreBytes(const std::string& bytes) {
    dir_.Write("state.sav", bytes);
    return Restore();
  }

  ScriptValue* Global(int k) { return &engine_->classes[0].variables[k]; }
  int32_t MakeInstance() {
    results_.clear();
    if (!CallScriptFunction(module_, 1, 0, "Make", kResultInt, 0) || results_.empty()) return 0;
    return std::stoi(results_.back());
  }
  static uint32_t Word(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
  }
  static void SetWord(std::string* bytes, size_t at, uint32_t v) {
    (*bytes)[at] = char(v >> 24);
    (*bytes)[at + 1] = char(v >> 16);
    (*bytes)[at + 2] = char(v >> 8);
    (*bytes)[at + 3] = char(v);
  }
  // Offset of the first record after the "TASK" tag and its count.
  static size_t TaskRecord(const std::string& bytes) {
    size_t at = bytes.rfind("TASK");
    return at == std::string::npos ? 0 : at + 8;
  }
  // Starts Waiter and lets it wait in T_Wait; its id.
  int32_t StartWaiter() {
    ScriptTask* task = Start("Waiter");
    if (!task) return 0;
    int32_t id = task->id;
    RunAll();
    return id;
  }

  TempDir dir_;
  std::vector<uint8_t> store_;
  AsmResult nextAsm_;
};

TEST_F(ScriptSave, RoundTripRestoresIdsCountersContainersReferencesAndTasks) {
  int32_t a = MakeInstance(), b = MakeInstance(), doomed = MakeInstance();
  ASSERT_LT(a, -1);
  ASSERT_LT(b, -1);
  ObjectInstance* oa = FindScriptObject(engine_, a);
  ObjectInstance* ob = FindScriptObject(engine_, b);

  // G0 = {7, a, "hi", 1.25, 0x1_0000_0005, planned[4], empty table with next key 5, doomed}
  ScriptValue* g0 = Global(0);
  AllocArrayValue(g0, 8);
  ArrayWriteInt(g0, 0, 7);
  ScriptValue v{};
  SetValueObject(&v, oa);
  ArrayWrite(g0, 1, &v);
  ArrayWriteString(g0, 2, "hi");
  SetValueDouble(&v, 1.25);
  ArrayWrite(g0, 3, &v);
  SetValueInt64(&v, 0x100000005ll);
  ArrayWrite(g0, 4, &v);
  AllocArrayValue(&v, 4);
  uint32_t plannedId = v.array->id;
  ArrayWrite(g0, 5, &v);
  AllocTableValue(&v);
  v.table->nextIntKey = 5;
  uint32_t emptyId = v.table->id;
  ArrayWrite(g0, 6, &v);
  SetValueObject(&v, FindScriptObject(engine_, doomed));
  ArrayWrite(g0, 7, &v);
  uint32_t arrayId = g0->array->id;
  uint32_t hiId = g0->array->elements[2].string->id;

  // G1 = ["key": b, 3: 0.1], next key 9
  ScriptValue* g1 = Global(1);
  AllocTableValue(g1);
  ScriptValue key{};
  SetValueString(&key, "key");
  SetValueObject(&v, ob);
  TableSet(g1, &key, &v);
  SetValueInt(&key, 3);
  SetValueDouble(&v, 0.1);
  TableSet(g1, &key, &v);
  g1->table->nextIntKey = 9;
  uint32_t tableId = g1->table->id;

  // Instances naming each other, and a class static naming an instance.
  SetValueObject(&oa->variables[1], ob);
  SetValueObject(&ob->variables[0], oa);
  ScriptClassRecord* c12 = FindClassRecord(engine_, 12);
  SetValueObject(&c12->variables[0], ob);

  // A string only the test holds: saved, but nothing saved names it.
  ScriptValue orphan{};
  SetValueString(&orphan, "orphan");
  uint32_t orphanId = orphan.string->id;

  // A deleted object: its reference is kept, it is saved as -1.
  results_.clear();
  ASSERT_TRUE(CallScriptFunction(module_, 1, 0, "Kill", kResultInt, 1, doomed));

  int32_t waiter = StartWaiter();
  ASSERT_GT(waiter, 0);
  uint32_t waiterPc = FindTask(engine_, waiter)->pc;
  ScriptTask* fresh = NewTask(engine_, 8);  // never started: state 0
  ASSERT_NE(fresh, nullptr);
  fresh->pc = AsmLabel(asm_, "run");
  int32_t freshId = fresh->id;

  uint32_t counters[5] = {HashGetKeyCounter(engine_->instances), HashGetKeyCounter(engine_->arrays),
                          HashGetKeyCounter(engine_->tables), HashGetKeyCounter(engine_->tasks),
                          HashGetKeyCounter(engine_->strings)};
  ASSERT_TRUE(Save());

  ReleaseValue(&v);
  ReleaseValue(&key);
  ReleaseValue(&orphan);
  UnloadScriptStore(engine_);
  ASSERT_EQ(HashCount(engine_->arrays), 0u);
  ASSERT_EQ(HashCount(engine_->strings), 0u);

  ASSERT_TRUE(Restore());
  EXPECT_STREQ(engine_->scriptName, "test");
  EXPECT_EQ(HashGetKeyCounter(engine_->instances), counters[0]);
  EXPECT_EQ(HashGetKeyCounter(engine_->arrays), counters[1]);
  EXPECT_EQ(HashGetKeyCounter(engine_->tables), counters[2]);
  EXPECT_EQ(HashGetKeyCounter(engine_->tasks), counters[3]);
  EXPECT_EQ(HashGetKeyCounter(engine_->strings), counters[4]);

  oa = FindScriptObject(engine_, a);
  ob = FindScriptObject(engine_, b);
  ASSERT_TRUE(oa && ob);
  EXPECT_EQ(oa->classRecord, FindClassRecord(engine_, 12));
  EXPECT_EQ(FindScriptObject(engine_, doomed), nullptr);

  g0 = Global(0);
  ASSERT_EQ(g0->type, kValueArray);
  ASSERT_NE(g0->array, nullptr);
  EXPECT_EQ(g0->array->id, arrayId);
  ASSERT_EQ(g0->array->size, 8);
  ScriptValue* e = g0->array->elements;
  EXPECT_EQ(e[0].type, kValueInt);
  EXPECT_EQ(e[0].i, 7);
  EXPECT_EQ(e[1].type, kValueObject);
  EXPECT_EQ(e[1].object, oa);  // the fixed order: array elements reach live instances
  EXPECT_EQ(e[2].type, kValueString);
  EXPECT_EQ(e[2].string->id, hiId);
  EXPECT_STREQ(e[2].string->text, "hi");
  EXPECT_EQ(e[3].type, kValueDouble);
  EXPECT_EQ(ValueDouble(&e[3]), 1.25);
  EXPECT_EQ(e[4].type, kValueInt64);
  EXPECT_EQ(ValueInt64(&e[4]), 5);
  ASSERT_EQ(e[5].type, kValueArray);
  EXPECT_EQ(e[5].array->id, plannedId);
  EXPECT_EQ(e[5].array->size, -4);
  EXPECT_EQ(e[5].array->elements, nullptr);
  ASSERT_EQ(e[6].type, kValueTable);
  EXPECT_EQ(e[6].table->id, emptyId);
  EXPECT_EQ(e[6].table->count, 0u);
  EXPECT_EQ(e[6].table->nextIntKey, 5u);
  EXPECT_EQ(e[7].type, kValueObject);
  EXPECT_EQ(e[7].object, nullptr);  // the deleted object

  g1 = Global(1);
  ASSERT_EQ(g1->type, kValueTable);
  EXPECT_EQ(g1->table->id, tableId);
  EXPECT_EQ(g1->table->nextIntKey, 9u);
  EXPECT_EQ(g1->table->count, 2u);
  SetValueString(&key, "key");
  TableEntry* found = TableFindEntry(g1, &key);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->keyType, kValueString);
  EXPECT_EQ(TableEntryData(found).object, ob);
  SetValueInt(&key, 3);
  found = TableFindEntry(g1, &key);
  ASSERT_NE(found, nullptr);
  const ScriptValue real = TableEntryData(found);
  EXPECT_EQ(ValueDouble(&real), 6553.0 / 65536.0);
  ReleaseValue(&key);
  EXPECT_EQ(ValueDouble(Global(2)), 2.5);

  EXPECT_EQ(oa->variables[1].object, ob);  // a target later in the instance block
  EXPECT_EQ(ob->variables[0].object, oa);
  EXPECT_EQ(FindClassRecord(engine_, 12)->variables[0].object, ob);

  EXPECT_EQ(HashGet(engine_->strings, orphanId), 0u);
  EXPECT_EQ(FindTask(engine_, freshId), nullptr);

  ScriptTask* task = FindTask(engine_, waiter);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(task->state, kTaskWaiting);
  EXPECT_EQ(task->pc, waiterPc);
  EXPECT_EQ(TaskListFirst(&engine_->waitList), task);
  EXPECT_EQ(task->thisObject, FindScriptObject(engine_, 0));
  EXPECT_EQ(task->stackSize, 32u);  // same revision: no growth
  // It goes on where it stood and answers its caller module.
  results_.clear();
  SEResumeInt(uint32_t(waiter), 5);
  RunAll();
  EXPECT_EQ(results_, std::vector<std::string>{"99"});
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

TEST_F(ScriptSave, SavedValuesTravelAsTheFormatAllows) {
  struct Case {
    const char* name;
    void (*make)(ScriptValue*);
    uint8_t type;
    double number;  // the double or 64-bit value read back
  };
  const Case kCases[] = {
      {"1.25", [](ScriptValue* v) { SetValueDouble(v, 1.25); }, kValueDouble, 1.25},
      {"0.1", [](ScriptValue* v) { SetValueDouble(v, 0.1); }, kValueDouble, 6553.0 / 65536.0},
      {"-0.1", [](ScriptValue* v) { SetValueDouble(v, -0.1); }, kValueDouble, -6553.0 / 65536.0},
      {"40000 wraps", [](ScriptValue* v) { SetValueDouble(v, 40000.0); }, kValueDouble, -25536.0},
      {"NaN", [](ScriptValue* v) { SetValueDouble(v, std::nan("")); }, kValueDouble, 0.0},
      {"infinity", [](ScriptValue* v) { SetValueDouble(v, INFINITY); }, kValueDouble, 0.0},
      {"1e300", [](ScriptValue* v) { SetValueDouble(v, 1e300); }, kValueDouble, 0.0},
      {"0x1_0000_0005", [](ScriptValue* v) { SetValueInt64(v, 0x100000005ll); }, kValueInt64, 5},
      {"0xFFFF_FFFF", [](ScriptValue* v) { SetValueInt64(v, 0xFFFFFFFFll); }, kValueInt64, -1},
      {"int", [](ScriptValue* v) { SetValueInt(v, -77); }, kValueInt, -77},
      {"code", [](ScriptValue* v) { SetValueCodeAddress(v, 0x1234); }, kValueCodeAddress, 0x1234},
  };
  for (const Case& c : kCases) {
    ScriptValue value{};
    c.make(&value);
    FileObject f;
    FileObjectInit(&f);
    ASSERT_TRUE(FileOpen(&f, dir_.File("value.bin").c_str(), "wb", false));
    EXPECT_TRUE(WriteSavedValue(&f, &value));
    FileCloseHandle(&f);
    ReleaseValue(&value);

    // The slot read into holds a double cell: it is released, not leaked.
    ScriptValue slot{};
    SetValueDouble(&slot, 9.0);
    ASSERT_TRUE(FileOpen(&f, dir_.File("value.bin").c_str(), "rb", false));
    EXPECT_TRUE(ReadSavedValue(&f, &slot)) << c.name;
    FileCloseHandle(&f);
    EXPECT_EQ(slot.type, c.type) << c.name;
    double got = slot.type == kValueDouble  ? ValueDouble(&slot)
                 : slot.type == kValueInt64 ? double(ValueInt64(&slot))
                 : slot.type == kValueInt   ? double(slot.i)
                                            : double(slot.u);
    EXPECT_EQ(got, c.number) << c.name;
    ReleaseValue(&slot);
  }
}

TEST_F(ScriptSave, EveryShortenedSaveFailsCleanly) {
  ScriptValue* g0 = Global(0);
  AllocArrayValue(g0, 2);
  ArrayWriteString(g0, 0, "text");
  ScriptValue v{};
  SetValueObject(&v, FindScriptObject(engine_, MakeInstance()));
  ArrayWrite(g0, 1, &v);
  ReleaseValue(&v);
  ASSERT_GT(StartWaiter(), 0);
  std::string bytes = SavePlain();
  ASSERT_GT(bytes.size(), 100u);
  for (size_t n = 0; n < bytes.size(); ++n) {
    // A prefix that still loads would have to end exactly at a record boundary of the last
    // task's stack; this save's last byte belongs to that stack, so every prefix is short.
    EXPECT_FALSE(RestoreBytes(bytes.substr(0, n))) << n;
  }
  EXPECT_TRUE(RestoreBytes(bytes));
}

TEST_F(ScriptSave, BadHeadersIdsAndTaskRecordsAreRejected) {
  ScriptValue* g0 = Global(0);
  AllocArrayValue(g0, 1);
  ArrayWriteString(g0, 0, "text");
  ASSERT_LT(MakeInstance(), -1);
  int32_t waiter = StartWaiter();
  ASSERT_GT(waiter, 0);
  std::string good = SavePlain();
  size_t instances = good.rfind("INST") + 8;  // the second block's one entry: id, class, count
  size_t task = TaskRecord(good);
  ASSERT_GT(task, 0u);
  ASSERT_EQ(Word(good, task), uint32_t(waiter));
  uint32_t stackSize = Word(good, task + 8);
  size_t strg = good.find("STRG");
  ASSERT_NE(strg, std::string::npos);
  size_t secondArra = good.find("ARRA", good.find("ARRA") + 4);
  ASSERT_NE(secondArra, std::string::npos);

  struct Case {
    const char* name;
    size_t at;
    uint32_t word;
  };
  const Case kCases[] = {
      {"tag", 0, 0x53544F53},                                   // "STOS"
      {"version", 4, 5},
      {"name length", 8, 1001},
      {"revision without a patch record", 16, 7},
      {"string tag", strg, 0x53545258},
      {"sp below the stack", task + 12, uint32_t(-int32_t(stackSize) - 1)},
      {"sp above the top", task + 12, 3},
      {"stack size past the limit", task + 8, kTaskStackLimit * 2},
      {"pc past the code", task + 16, 0x7FFFFF},
      {"pc zero", task + 16, 0},
      {"id zero", task, 0},
      {"unknown array id in pass two", secondArra + 8, 0x7777},
      {"instance the first block did not make", instances, uint32_t(-99)},
      {"instance id -1", instances, uint32_t(-1)},
      {"class the script does not have", instances + 4, 555},
      {"more values than the class has fields", instances + 8, 3},
      {"fewer values than the class has fields", instances + 8, 1},
  };
  for (const Case& c : kCases) {
    std::string bad = good;
    SetWord(&bad, c.at, c.word);
    EXPECT_FALSE(RestoreBytes(bad)) << c.name;
  }
  // A value naming an array no record has: the array value inside G0 is found by its type byte.
  std::string bad = good;
  size_t obje = bad.find("OBJE");
  ASSERT_NE(obje, std::string::npos);
  // OBJE, count, class 0's id and field count, then G0: type 8 and the array id.
  ASSERT_EQ(uint8_t(bad[obje + 16]), kValueArray);
  SetWord(&bad, obje + 17, 0x4444);
  EXPECT_FALSE(RestoreBytes(bad));

  // A return address past the code: the task's outermost return address (its only type-3
  // slot, saved as 0) made to point past the end.
  bad = good;
  size_t at = task + 36;
  bool patched = false;
  for (; at + 5 <= bad.size(); ++at) {
    if (uint8_t(bad[at]) == kValueCodeAddress && Word(bad, at + 1) == 0) {
      SetWord(&bad, at + 1, 0x7FFFFF);
      patched = true;
      break;
    }
  }
  ASSERT_TRUE(patched);
  EXPECT_FALSE(RestoreBytes(bad));

  EXPECT_TRUE(RestoreBytes(good));
  EXPECT_NE(FindTask(engine_, waiter), nullptr);
}

TEST_F(ScriptSave, WithoutSavedInstancesTheInstanceCounterIsTheLoadersOwn) {
  // A save without instances whose counter names a later key.
  ASSERT_EQ(HashCount(engine_->instances), 0u);
  uint32_t saved = HashGetKeyCounter(engine_->instances) + 40;
  HashSetKeyCounter(engine_->instances, saved);
  ASSERT_TRUE(Save());
  // The counter an unload and a load of the script leave, starting from another value.
  HashSetKeyCounter(engine_->instances, saved - 33);
  ASSERT_TRUE(Use(kScript));
  uint32_t loaded = HashGetKeyCounter(engine_->instances);
  ASSERT_NE(loaded, saved);
  ASSERT_TRUE(Restore());
  EXPECT_EQ(HashCount(engine_->instances), 0u);
  EXPECT_EQ(HashGetKeyCounter(engine_->instances), loaded);

  // With an instance saved the counter comes back as it was saved.
  ASSERT_LT(MakeInstance(), -1);
  HashSetKeyCounter(engine_->instances, saved);
  ASSERT_TRUE(Save());
  HashSetKeyCounter(engine_->instances, saved - 33);
  ASSERT_TRUE(Restore());
  EXPECT_EQ(HashCount(engine_->instances), 1u);
  EXPECT_EQ(HashGetKeyCounter(engine_->instances), saved);
}

TEST_F(ScriptSave, TheLoaderIsAskedForTheSavedName) {
  ASSERT_TRUE(Save());
  gLoadedName.clear();
  ASSERT_TRUE(Restore());
  EXPECT_EQ(gLoadedName, "test");
}

// Revision 2 puts a function before the waiting one and a new global before the old one.
const char* const kRevision1 = R"(
.header 1
.global int 0
.func Waiter waiter frame=8
waiter:
  check 8
  pushb 11
  push1
  native T_Wait
  pop
  pushb 99
  ret
)";

std::string Revision2(const char* patch) {
  return std::string(".header 2\n") + patch + R"(
.global int 55 rev=2
.global int 0
.func Extra extra
.func Waiter waiter frame=100
extra:
  push0
  ret
waiter:
  check 8
  pushb 11
  push1
  native T_Wait
  pop
  pushb 99
  ret
)";
}

TEST_F(ScriptSave, PatchModeRemapsTheWaitingTaskBetweenRevisions) {
  ASSERT_TRUE(Use(kRevision1));
  SetValueInt(Global(0), 123);
  int32_t waiter = StartWaiter();
  ASSERT_GT(waiter, 0);
  uint32_t oldPc = FindTask(engine_, waiter)->pc;
  ASSERT_TRUE(Save());

  // The extra function takes 2 bytes: code from offset 1 on moves by 2.
  ASSERT_TRUE(Prepare(Revision2(".patch 1 1 3").c_str()));
  ASSERT_TRUE(Restore());
  EXPECT_EQ(engine_->headerWord, 2u);
  ScriptTask* task = FindTask(engine_, waiter);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(task->pc, oldPc + 2);
  EXPECT_EQ(engine_->code[task->pc - 5], 130);
  // Its frame grew in revision 2: the stack grows to what the active frames need.
  EXPECT_GE(task->stackSize, TaskStackNeed(task));
  EXPECT_GT(task->stackSize, 100u);
  EXPECT_EQ(Global(0)->i, 55);  // new in revision 2: keeps its initial value
  EXPECT_EQ(Global(1)->i, 123);
  results_.clear();
  SEResumeInt(uint32_t(waiter), 0);
  RunAll();
  EXPECT_EQ(results_, std::vector<std::string>{"99"});

  struct Case {
    const char* name;
    std::string revision;
  };
  const Case kCases[] = {
      {"no patch record for revision 1", Revision2("")},
      {"the old code is gone", Revision2(".patch 1 1 0")},
      {"the pc lands where no native call ends", Revision2(".patch 1 1 4")},
  };
  for (const Case& c : kCases) {
    ASSERT_TRUE(Prepare(c.revision.c_str())) << c.name;
    EXPECT_FALSE(Restore()) << c.name;
    EXPECT_EQ(HashCount(engine_->tasks), 0u) << c.name;
  }
}

}  // namespace
