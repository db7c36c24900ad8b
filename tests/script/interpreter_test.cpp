// Tests of the byte-code interpreter: assembled programs run through a global function call and
// report through the recording module (T_Log lines and the caller's answer). Every program runs
// twice, with fusion and jump threading on and off, and both runs must agree. Malformed code
// ends its task as an error, never a read outside the code or the stack.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "support/script_runner.h"

namespace {

// Logs the top value and drops the answer: `LOG` in the programs below.
std::string Expand(const std::string& text) {
  std::string out;
  size_t at = 0;
  for (;;) {
    size_t hit = text.find("LOG", at);
    if (hit == std::string::npos) break;
    out += text.substr(at, hit - at) + "push1\nnative T_Log\npop";
    at = hit + 3;
  }
  return out + text.substr(at);
}

std::vector<uint8_t> Bytes3(const uint8_t* p) { return {p[0], p[1], p[2]}; }

struct Outcome {
  std::vector<std::string> log;
  std::string result;
  bool operator==(const Outcome&) const = default;
};

class Interpreter : public ScriptRunTest {
 protected:
  // Loads the program with fusion on or off and calls `entry`.
  Outcome Run(const std::string& text, bool fusion, const char* entry = "Main", std::vector<int32_t> args = {}) {
    UnloadScriptStore(engine_);
    log_.clear();
    SetScriptCodeFusion(fusion);
    Outcome out;
    if (!Load(Expand(text))) {
      out.result = "load failed: " + error_;
      return out;
    }
    out.result = Call(entry, args);
    out.log = log_;
    return out;
  }

  // Runs both ways, checks they agree, and gives the fused run's outcome.
  Outcome RunBoth(const std::string& text, const char* entry = "Main", std::vector<int32_t> args = {}) {
    Outcome plain = Run(text, false, entry, args);
    Outcome fused = Run(text, true, entry, args);
    EXPECT_EQ(plain, fused) << text;
    return fused;
  }

  // The opcodes the loaded code holds where the program's instructions begin; operand bytes
  // that happen to equal an opcode do not count.
  std::set<uint8_t> OpcodesAtInstructions() const {
    std::set<uint8_t> ops;
    for (uint32_t at : asm_.instructions)
      if (at < engine_->codeSize) ops.insert(engine_->code[at]);
    return ops;
  }
};

TEST_F(Interpreter, ValuesAndArithmetic) {
  const std::string program = R"(
.func Main main frame=8
main: check 8
  pushs "ab"
  pushb 5
  add
  LOG
  pushb 5
  pushs "ab"
  add
  LOG
  pushd 1.5
  pushs "x"
  add
  LOG
  pushs ""
  pushs "yz"
  add
  LOG
  mkarray 0
  push1
  add
  LOG
  push1
  pushs "AZ"
  ldel
  LOG
  push2
  pushs "AZ"
  ldel
  LOG
  pushb 3
  pushb 3
  ne
  LOG
  pushb 3
  pushb 3
  eq
  LOG
  pushi -2147483648
  pushb -1
  div
  LOG
  pushb -7
  push2
  mod
  LOG
  pushb 3
  pushd 0.5
  sub
  LOG
  pushb 1
  pushb 31
  shl
  pushb 31
  shr
  LOG
  pushb 12
  pushb 10
  xor
  compl
  LOG
  pushs "n"
  addb 7
  LOG
  pushb 7
  neg
  push1
  land
  LOG
  pushw 1000
  subi 1001
  LOG
  push0
  ret
)";
  Outcome out = RunBoth(program);
  const std::vector<std::string> expected = {
      "\"ab5\"", "\"5ab\"", "\"1.5x\"", "\"yz\"", "array[0]", "90", "0", "0", "1",
      "-2147483648", "-1", "d2.5", "-1", "-7", "\"n7\"", "1", "-1"};
  EXPECT_EQ(out.log, expected);
  EXPECT_EQ(out.result, "0");
}

TEST_F(Interpreter, CallsReturnsAndLoops) {
  const std::string program = R"(
.func Main main frame=8
.func Fact fact frame=8 params=1
.func Sum sum frame=8
main: check 8
  pushb 10
  push1
  call fact
  LOG
  push0
  push1
  call sum
  LOG
  push0
  ret
fact: check 8            ; [obj][ret][count][n]
  ldl 4
  push1
  jngt small
  ldl 4
  ldl 5
  push1
  sub
  push1
  call fact
  mul
  ret
small: push1
  ret
sum: check 8             ; sum of 1..100, then i++ handing back the old value
  push0
  push0
top: ldl 1
  pushb 100
  jnlt done
  ldl 1
  push1
  add
  stl 2
  pop
  ldl 2
  ldl 2
  add
  stl 3
  pop
  jmp top
done: ldl 1
  push1
  add
  stl 2
  push1
  sub
  LOG
  pop
  ret
)";
  Outcome out = RunBoth(program);
  EXPECT_EQ(out.log, (std::vector<std::string>{"3628800", "100", "5050"}));
  EXPECT_EQ(out.result, "0");
}

TEST_F(Interpreter, SwitchesPickTheirTargets) {
  const std::string program = R"(
.func Dense dense frame=4 params=1
.func Sparse sparse frame=4 params=1
.func Texts texts frame=8
dense: ldl 4
  switch 10 d0 t0 t1 t2
t0: pushb 100
  ret
t1: pushb 101
  ret
t2: pushb 102
  ret
d0: pushb 99
  ret
sparse: ldl 4
  sswitch s0 1000000 s1 -5 s2 3 s3 "abc" s4 "b" s5
s0: pushb 0
  ret
s1: pushb 1
  ret
s2: pushb 2
  ret
s3: pushb 3
  ret
s4: pushb 4
  ret
s5: pushb 5
  ret
texts: check 8
  pushs "ab"
  pushs "c"
  add
  push1
  call sparse
  LOG
  pushs "b"
  push1
  call sparse
  LOG
  pushs "zz"
  push1
  call sparse
  LOG
  pushs "x"
  push1
  call dense
  LOG
  push0
  ret
)";
  struct Case {
    const char* entry;
    int32_t arg;
    const char* result;
  };
  const Case kCases[] = {
      {"Dense", 10, "100"}, {"Dense", 12, "102"}, {"Dense", 13, "99"}, {"Dense", 9, "99"},
      {"Dense", -2147483647, "99"}, {"Sparse", 1000000, "1"}, {"Sparse", -5, "2"}, {"Sparse", 3, "3"},
      {"Sparse", 4, "0"}, {"Sparse", -2147483647, "0"},
  };
  for (const Case& c : kCases) EXPECT_EQ(RunBoth(program, c.entry, {c.arg}).result, c.result) << c.entry << c.arg;
  // A text finds its key whether it is a string object or a pool text; other values default.
  EXPECT_EQ(RunBoth(program, "Texts").log, (std::vector<std::string>{"4", "5", "0", "99"}));
}

const char kObjects[] = R"(
.func Main main frame=16
.class 5
  .method Sum3 sum3 params=3
  .method Who who5
  .field int 100
.end
.class 6 super=5
  .method Who who6
.end
.class 7
  .method Kill kill params=1
.end
.class 8
  .method Outer outer params=1
.end
main: check 16
  newc 6            ; [b6]
  pushb 7
  push1
  ldl 3
  callname Sum3     ; one argument to a method of three: the rest are int 0
  LOG
  push0
  ldl 2
  callname Who      ; the subclass's method overrides
  LOG
  newc 5            ; [b5][b6]
  push0
  ldl 2
  callname Who
  LOG
  pushb 1
  push1
  pushi 12345
  callname Who      ; no such object: int 0 in place of id, count and arguments
  LOG
  ldl 2
  pushb 5
  isa
  LOG
  ldl 1
  pushb 6
  isa
  LOG
  ldl 2
  delete
  pop
  push0
  ldl 3
  callname Who      ; deleted: int 0
  LOG
  newc 8            ; [a8][b5][b6]
  newc 7            ; [k7][a8]...
  ldl 1
  push1
  ldl 4
  callname Outer    ; Outer's object dies inside the call it makes: unwinds to here with 0
  LOG
  popn 4
  push0
  ret
sum3: ldl 3           ; [obj][ret][count][a0][a1][a2]
  ldl 5
  add
  ldl 6
  add
  ldl 7
  add
  ldm 0
  add
  ret
who5: pushb 5
  ret
who6: this
  pop
  push0
  callthis Sum3     ; no arguments at all: three int 0 parameters
  pushb 6
  add
  ret
kill: ldl 4
  delete
  pop
  pushb 55
  ret
outer: this
  push1
  ldl 6
  callname Kill
  ret
)";

TEST_F(Interpreter, ObjectsMethodsAndOverriding) {
  Outcome out = RunBoth(kObjects);
  // Sum3(7) = count 3 + 7 + 0 + 0 + field 100; Who on the subclass = Sum3() + 6 = 3 + 100 + 6.
  EXPECT_EQ(out.log, (std::vector<std::string>{"110", "109", "5", "0", "1", "0", "0", "0"}));
  EXPECT_EQ(out.result, "0");
}

// Each fused form next to the plain sequence it replaces; the differential run compares them.
TEST_F(Interpreter, FusedFormsBehaveAsTheirSequences) {
  Outcome out = RunBoth(R"(
.func Main main frame=16
.func Ident ident frame=4 params=1
main: check 16
  push3
  push2
  push1
  mkarray 3
  push0
  pushb 7
  push0
  ldl 4
  stel
  LOG
  pushb 8
  push1
  ldl 4
  stel
  pop
  pushb 9
  push2
  ldl 4
  nop
  stel
  pop
  push0
  ldell 3
  LOG
  push1
  ldell 3
  LOG
  push2
  ldell 3
  LOG
  pushb 5
  pushb 6
  stl 3
  popn 2
  ldl 1
  LOG
  ldl 1
  push1
  add
  stl 2
  push1
  sub
  pop
  ldl 1
  LOG
  ldl 1
  push1
  add
  stl 2
  LOG
  ldl 1
  push1
  sub
  stl 2
  LOG
  ldl 1
  not
  jf t1
  pushs "no174"
  LOG
t1: pushs "a"
  LOG
  push1
  not
  jf t2
  pushs "no176"
  LOG
t2: push0
  not
  jf t3
  pushs "b"
  LOG
t3: push0
  jmp j1
j1: jf t4
  pushs "no172"
  LOG
t4: push1
  jmp j2
j2: jf t5
  pushs "c"
  LOG
t5: pushb 77
  push1
  call ident
  LOG
  popn 2
  push0
  ret
ident: ldl 4
  ldl 1
  stl 2
  pop
  ret
)");
  EXPECT_EQ(out.log, (std::vector<std::string>{"7", "7", "8", "9", "6", "7", "8", "7", "\"a\"", "\"b\"", "\"c\"",
                                               "77"}));
  EXPECT_EQ(out.result, "0");
  // The fused run really used the fused forms, each in the place of an instruction.
  const std::set<uint8_t> used = OpcodesAtInstructions();
  for (uint8_t op : {143, 151, 149, 150, 162, 164, 165, 174, 176, 177, 172, 173}) EXPECT_TRUE(used.count(op)) << int(op);
  // "Copy the argument over itself and return" returns at once.
  uint32_t ident = AsmLabel(asm_, "ident") + 3;
  EXPECT_EQ(Bytes3(engine_->code + ident), (std::vector<uint8_t>{131, 131, 131}));
}

// The fused container, store and jump forms on globals and members, with text keys given
// both as pool texts and as string objects, against their unfused sequences.
TEST_F(Interpreter, FusedGlobalAndMemberFormsBehaveAsTheirSequences) {
  Outcome out = RunBoth(R"(
.global zero
.global zero
.func Main main frame=16
.class 4
  .method Fill fill
  .field zero
  .field str "m"
.end
main: check 16
  mktable 0
  stg 0
  pop
  pushb 5
  pushs "k"
  ldg 0
  stel
  pop
  pushb 6
  pushs "k2"
  ldg 0
  stel
  LOG
  pushs "k"
  ldg 0
  ldel
  LOG
  pushs "k"
  pushs "2"
  add
  ldg 0
  ldel
  LOG
  pushd 2.5
  stg 1
  pop
  ldg 1
  LOG
  ldg 1
  not
  jt t1
  pushs "n175"
  LOG
t1: newc 4
  push0
  ldl 2
  callname Fill
  LOG
  pop
  push0
  ret
fill: check 16
  mktable 0
  stm 0
  pop
  pushb 9
  pushs "x"
  ldm 0
  stel
  pop
  pushb 3
  push1
  ldm 0
  stel
  LOG
  pushs "x"
  ldm 0
  ldel
  LOG
  ldm 1
  pushb 1
  add
  stm 1
  pop
  ldm 1
  LOG
  push1
  ldm 0
  ldel
  LOG
  push0
  ret
)");
  EXPECT_EQ(out.log, (std::vector<std::string>{"6", "5", "6", "d2.5", "\"n175\"", "3", "9", "\"m1\"", "3", "0"}));
  EXPECT_EQ(out.result, "0");
  const std::set<uint8_t> used = OpcodesAtInstructions();
  for (uint8_t op : {141, 142, 144, 145, 147, 148, 152, 153, 175}) EXPECT_TRUE(used.count(op)) << int(op);
}

// The local-step forms against their unfused sequences on every kind of value: the integer
// wraps at its limits, a double and a text step in place, and a null object reference (the
// saved caller of an engine call) goes through the copy the sequence makes, so it steps as
// integer 0.
TEST_F(Interpreter, FusedLocalStepsOnEveryKindOfValue) {
  Outcome out = RunBoth(R"(
.func Main main frame=16
main: check 16
  ldl 1             ; 160 on the saved caller, a null object reference
  push1
  add
  stl 2
  pop
  ldl 1
  LOG
  pushi 2147483647
  ldl 1             ; 160 wraps
  push1
  add
  stl 2
  pop
  ldl 1
  LOG
  ldl 1             ; 161 wraps back
  push1
  sub
  stl 2
  pop
  ldl 1
  LOG
  pop
  pushd 1.5
  ldl 1             ; 165 on a double
  push1
  sub
  stl 2
  LOG
  pop
  pushs "t"
  ldl 1             ; 166 on a text: the variable steps, the pushed copy cannot step back
  push1
  add
  stl 2
  push1
  sub
  LOG
  ldl 1             ; 163 on a text leaves it
  push1
  sub
  stl 2
  push1
  add
  pop
  ldl 1
  LOG
  pop
  mkarray 0
  ldl 1             ; 164 on an array leaves it
  push1
  add
  stl 2
  LOG
  pop
  push0
  ret
)");
  EXPECT_EQ(out.log, (std::vector<std::string>{"1", "-2147483648", "2147483647", "d0.5", "\"t1\"", "\"t1\"",
                                               "array[0]"}));
  EXPECT_EQ(out.result, "0");
}

// Comparisons of two integers take short paths; every other pair the general tests. Both must
// give what the value tests give, at the integer limits and for pairs that do not compare.
TEST_F(Interpreter, ComparisonsAtLimitsAndAcrossTypes) {
  struct Case {
    const char* a;   // pushed first: the deeper operand
    const char* b;   // the top
    const char* op;
    const char* expected;
  };
  const Case kCases[] = {
      {"pushi -2147483648", "pushi 2147483647", "lt", "1"},
      {"pushi -2147483648", "pushi 2147483647", "gt", "0"},
      {"pushi 2147483647", "pushi -1", "gt", "1"},
      {"pushi -2147483648", "pushi 2147483647", "ngt", "1"},
      {"pushi -2147483648", "pushi 2147483647", "nlt", "0"},
      {"pushi 7", "pushi 7", "eq", "1"},
      {"pushi 7", "pushi 7", "ne", "0"},
      {"pushb 2", "pushd 2.5", "lt", "1"},
      {"pushd 2.5", "pushb 2", "gt", "1"},
      {"pushb 3", "pushd 3", "eq", "1"},
      {"pushs \"a\"", "pushb 1", "lt", "0"},
      {"pushs \"a\"", "pushb 1", "gt", "0"},
      {"pushs \"a\"", "pushb 1", "ngt", "1"},
      {"pushs \"a\"", "pushb 1", "nlt", "1"},
      {"pushb 3", "pushs \"3\"", "eq", "0"},
      {"pushb 0", "mkarray 0", "eq", "0"},
      {"pushb 0", "ldg 0", "eq", "1"},                    // the global is a null array
      {"pushb 0\ndelete", "pushb 0\ndelete", "eq", "0"},  // two empty slots are never equal
      {"pushb 0\ndelete", "pushb 0\ndelete", "ne", "1"},
  };
  std::string program = ".global array\n.func Main main frame=16\nmain: check 16\n";
  std::vector<std::string> expected;
  int label = 0;
  for (const Case& c : kCases) {
    // The value form, then the jump form of the same test.
    program += std::string(c.a) + "\n" + c.b + "\n" + c.op + "\nLOG\n";
    std::string yes = "y" + std::to_string(label), done = "d" + std::to_string(label);
    ++label;
    program += std::string(c.a) + "\n" + c.b + "\nj" + c.op + " " + yes + "\npush0\njmp " + done + "\n" + yes +
               ": push1\n" + done + ": LOG\n";
    expected.push_back(c.expected);
    expected.push_back(c.expected);
  }
  program += "push0\nret\n";
  Outcome out = RunBoth(program);
  EXPECT_EQ(out.log, expected);
}

// A jump that lands on a constant followed by a chain of jumps to a conditional: the threaded
// target must be where the constant would have led, also when the jump comes before the fused
// constant's own jump is threaded.
TEST_F(Interpreter, JumpsIntoFusedConstantChainsThreadToTheirEnd) {
  Outcome out = RunBoth(R"(
.func Main main frame=8
main: check 8
  jmp p1
p1: push1
  jmp a1
a1: jmp b1
b1: jt c1
  pushs "no"
  LOG
c1: pushs "taken"
  LOG
  jmp p2
p2: push0
  jmp a2
a2: jmp b2
b2: jt c2
  pushs "fell through"
  LOG
c2: push0
  ret
)");
  EXPECT_EQ(out.log, (std::vector<std::string>{"\"taken\"", "\"fell through\""}));
  EXPECT_EQ(out.result, "0");
}

// A method that deletes its own object ends the task it runs in; a native whose call ended the
// calling task stops the run without the task being touched again.
TEST_F(Interpreter, TasksEndedFromInsideTheirRun) {
  Outcome out = RunBoth(R"(
.func Main main frame=8
.class 3
  .method Vanish vanish
.end
main: check 8
  newc 3
  push0
  ldl 2
  callname Vanish
  LOG
  push0
  ret
vanish: this
  delete
  pop
  pushb 5
  ret
)");
  EXPECT_TRUE(out.log.empty());
  EXPECT_EQ(out.result, "0");  // the empty answer of a task that ended abnormally

  UnloadScriptStore(engine_);
  ASSERT_TRUE(Load(Expand(R"(
.func Main main frame=8
main: check 8
  push0
  native T_Quit
  LOG
  push0
  ret
)")));
  ScriptTask* task = Start("Main");
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(ExecuteByteCode(engine_, task), 0);
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
  EXPECT_TRUE(log_.empty());

  // A module may end the calling task (say, through a script event it raised) without telling
  // the interpreter: the run must stop without touching the freed task.
  UnloadScriptStore(engine_);
  ASSERT_TRUE(Load(Expand(R"(
.func Main main frame=8
main: check 8
  push0
  native T_Vanish
  LOG
  push0
  ret
)")));
  task = Start("Main");
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(ExecuteByteCode(engine_, task), 1);
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
  EXPECT_TRUE(log_.empty());
}

// Calls by code offset, by name on the running object, a missing method, and padding that
// needs more stack than the task has.
TEST_F(Interpreter, CallsByOffsetByNameAndPadding) {
  Outcome out = RunBoth(R"(
.func Main main frame=8
.class 4
  .method Many many params=40
  .method Ask ask
.end
main: check 8
  newc 4
  push0
  ldl 2
  callobj five      ; straight to the code, on the object
  LOG
  push0
  ldl 2
  callname Many     ; 40 parameters from none: the stack grows for them
  LOG
  push0
  ldl 2
  callname Ask
  LOG
  pop
  push0
  ret
five: pushb 5
  ret
many: ldl 3         ; the count the callee sees
  ldl 44            ; its last parameter
  add
  ret
ask: pushb 1
  push1
  callthis Missing  ; no such method: one int 0 in place of count and argument
  pushb 9
  add
  ret
)");
  EXPECT_EQ(out.log, (std::vector<std::string>{"5", "40", "9"}));
  EXPECT_EQ(out.result, "0");
}

// Random damage inside the code of a program that calls, switches, makes objects and calls
// natives; whatever loads is run. Each run happens in a child process with an alarm, since
// damaged code may loop for ever: the child must end by itself or by the alarm, never by a
// fault (the sanitizers turn any read outside the code or the stack into a failing exit).
TEST_F(Interpreter, DamagedCodeRunsWithoutFaults) {
  const std::string program = Expand(std::string(kObjects) + R"(
.func Extra extra frame=8
extra: check 8
  pushb 3
  switch 1 e0 e1 e2
e0: pushs "a"
  sswitch e1 1 e2 "a" e2
e1: mkarray 0
  LOG
e2: pushs "x"
  pushb 4
  add
  LOG
  push0
  ret
)");
  AsmResult good = Assemble(program);
  ASSERT_TRUE(good.ok) << good.error;
  size_t codeAt = 12 + 8;  // CODE is the first chunk
  size_t codeSize = good.code.size();
  std::mt19937 random(777);
  int runs = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = good.bytes;
    int flips = 1 + int(random() % 3);
    for (int k = 0; k < flips; ++k) bytes[codeAt + 1 + random() % (codeSize - 1)] ^= uint8_t(1u << (random() % 8));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(2);
      if (LoadScriptStoreFromMemory(engine_, "fuzz", bytes.data(), uint32_t(bytes.size()))) {
        Start("Main");
        Start("Extra");
        RunAll(3);
        _exit(3);
      }
      _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    bool hung = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    bool clean = WIFEXITED(status) && (WEXITSTATUS(status) == 2 || WEXITSTATUS(status) == 3);
    EXPECT_TRUE(hung || clean) << "round " << round << " status " << status;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) ++runs;
  }
  EXPECT_GT(runs, 0);
}

TEST_F(Interpreter, LaunchForksTheRunningFunction) {
  const std::string program = R"(
.func Main main frame=8
main: check 8
  pushb 42
  launch
  jf child
  LOG
  push1
  ret
child: pushs "child"
  LOG
  pop
  push2
  ret
)";
  Outcome out = RunBoth(program);
  // The child runs at once and sees 0; the parent goes on afterwards with its own copy.
  EXPECT_EQ(out.log, (std::vector<std::string>{"\"child\"", "42"}));
  EXPECT_EQ(out.result, "1");
}

TEST_F(Interpreter, NativeThatWaitsIsResumedWithItsAnswer) {
  ASSERT_TRUE(Load(Expand(R"(
.func Main main frame=8
main: check 8
  pushb 9
  pushb 8
  push2
  native T_Wait
  LOG
  push0
  ret
)")));
  ScriptTask* task = Start("Main");
  ASSERT_NE(task, nullptr);
  RunAll();
  ASSERT_EQ(waiting_.size(), 1u);
  EXPECT_EQ(task->state, kTaskWaiting);
  EXPECT_EQ(TaskListFirst(&engine_->waitList), task);
  SEResumeInt(uint32_t(waiting_[0]), 7);
  EXPECT_EQ(TaskListFirst(&engine_->runList), task);
  RunAll();
  EXPECT_EQ(log_, (std::vector<std::string>{"7"}));
  EXPECT_EQ(results_, (std::vector<std::string>{"0"}));
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

TEST_F(Interpreter, NativeAnswersAtOnceInPlaceOfItsArguments) {
  Outcome out = RunBoth(R"(
.func Main main frame=8
main: check 8
  pushb 1
  pushs "x"
  pushb 9
  push3
  native T_Answer     ; answers its first argument
  LOG
  push0
  native T_Answer     ; no arguments: the answer takes the count's place
  LOG
  push0
  native Unbound      ; no module lists it: int 0
  LOG
  push0
  ret
)");
  EXPECT_EQ(out.log, (std::vector<std::string>{"9", "0", "0"}));
}

// Code the loader cannot see through (it is only wrong when run) ends its task: the caller
// gets the empty answer, and nothing is read outside the code or the stack.
TEST_F(Interpreter, MalformedCodeEndsTheTask) {
  struct Case {
    const char* what;
    const char* body;
  };
  const Case kCases[] = {
      {"opcode 0", ".byte 0"},
      {"unassigned opcode", ".byte 37"},
      {"fused opcode past the code", ".byte 172\n.byte 0\n.u32 0x7FFFFFF0"},
      {"jump into an operand", "jmp 10\npushi 0x7FFFFF32\nret"},
      {"local beyond the stack", "ldl 60"},
      {"local above the top", "ldl 0"},
      {"fused loop test past the stack", "x: ldl 1\nldl 1\njlt x"},
      {"fused loop step past the stack", "x: ldl 1\npush1\nadd\nstl 2\npop\njmp x"},
      {"fused step into a test past the stack", "push0\njmp s\nh: ldl 1\nldl 3\njlt h\ns: ldl 1\npush1\nadd\nstl 2\npop\njmp h"},
      {"global that does not exist", "ldg 3"},
      {"member of no object", "ldm 0"},
      {"pops below the stack", "popn 9"},
      {"too many array values", "mkarray 30"},
      {"negative table size", "mktable -1"},
      {"native count beyond the stack", "pushb 50\nnative T_Log"},
      {"return without a frame", "push0\npush0\npush0\npush0\nret"},
      {"runs off the end", "push0"},
  };
  for (const Case& c : kCases) {
    std::string text = std::string(".func Main main frame=4\nmain: pop\npop\npop\n") + c.body + "\n";
    Outcome out = Run(text, true);
    EXPECT_EQ(out.result, "0") << c.what;
    EXPECT_EQ(HashCount(engine_->tasks), 0u) << c.what;
  }
}

TEST_F(Interpreter, RunawayRecursionStopsAtTheStackLimit) {
  Outcome out = RunBoth(R"(
.func Main main frame=8
main: check 8
  push0
  call main
  ret
)");
  EXPECT_EQ(out.result, "0");
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

// Each level of a runaway recursion runs a loop that enters through its step, so its test first
// runs from the fused step; the extra pushes move the stack's limit onto each instruction of
// the loop in turn, and the task must end at the same instruction fused and plain.
TEST_F(Interpreter, FusedLoopsGrowAndEndTheStackAsThePlainCodeDoes) {
  for (int extra = 0; extra < 8; ++extra) {
    std::string pushes;
    for (int k = 0; k < extra; ++k) pushes += "push0\n";
    Outcome out = RunBoth(".func Main main frame=8\nmain: " + pushes + R"(
  pushb 2
  push0
  jmp s
h: ldl 1
  ldl 3
  jnlt e
s: ldl 1
  push1
  add
  stl 2
  pop
  jmp h
e: LOG
  pop
  push0
  call main
  ret
)");
    EXPECT_EQ(out.result, "0") << extra;
    EXPECT_GT(out.log.size(), 100u) << extra;
    EXPECT_EQ(int(engine_->code[AsmLabel(asm_, "s")]), kOpLocalStepCompareJump + 2 * 5) << extra;
    EXPECT_EQ(HashCount(engine_->tasks), 0u) << extra;
  }
}

// Integer operands take the opcodes' own short paths; each must give what the shared
// operations give: wrapping sums, differences and products, a zero divisor giving 0, the most
// negative value divided by -1 wrapping, remainders with the dividend's sign, and every other
// type through the shared path.
TEST_F(Interpreter, IntegerArithmeticWrapsAndNeverTraps) {
  struct Case {
    const char* operands;  // pushed in order: the deeper operand first
    const char* op;
    const char* expected;
  };
  const Case kCases[] = {
      {"pushi 2147483647\npush1", "add", "-2147483648"},
      {"pushi -2147483648\npush1", "sub", "2147483647"},
      {"pushi 65536\npushi 65536", "mul", "0"},
      {"pushi -2147483648\npushb -1", "mul", "-2147483648"},
      {"pushb -7\npushb 3", "mul", "-21"},
      {"pushb 7\npush0", "div", "0"},
      {"pushb 7\npush0", "mod", "0"},
      {"pushb -7\npush3", "div", "-2"},
      {"pushb -7\npush3", "mod", "-1"},
      {"pushb 7\npushb -2", "div", "-3"},
      {"pushb 7\npushb -2", "mod", "1"},
      {"pushi -2147483648\npushb -1", "div", "-2147483648"},
      {"pushi -2147483648\npushb -1", "mod", "0"},
      {"pushb 7\npushd0", "div", "d0"},
      {"pushd 7\npush0", "div", "d0"},
      {"pushb 5\npushd 0.5", "mul", "d2.5"},
      {"pushs \"a\"\npush3", "mod", "\"a\""},
      {"pushs \"a\"\npush3", "mul", "\"a\""},
      {"pushi 2147483647", "addb 1", "-2147483648"},
      {"pushi 2147483647", "inc", "-2147483648"},
      {"pushi -2147483648", "subb 1", "2147483647"},
      {"pushi -2147483648", "dec", "2147483647"},
      {"pushb 3", "subw -300", "303"},
      {"pushb 3", "addi -2147483648", "-2147483645"},
      {"pushd 1.5", "addw 2", "d3.5"},
      {"pushd 1.5", "subi 2", "d-0.5"},
      {"pushs \"x\"", "addi 7", "\"x7\""},
      {"pushs \"x\"", "dec", "\"x\""},
      {"mkarray 0", "inc", "array[0]"},
  };
  std::string program = ".func Main main frame=8\nmain: check 8\n";
  std::vector<std::string> expected;
  for (const Case& c : kCases) {
    program += std::string(c.operands) + "\n" + c.op + "\nLOG\n";
    expected.push_back(c.expected);
  }
  program += "push0\nret\n";
  EXPECT_EQ(RunBoth(program).log, expected);
}

// The loop-body sequences over locals that the load fuses into one instruction each: every
// case runs fused and plain and both must agree with the expected log, whether the operands
// are the integers the fused forms serve or anything else (which runs the plain sequence).
// Label f marks the sequence, which the fused load must have rewritten into the named opcode.
TEST_F(Interpreter, LoopBodyFusionsBehaveAsTheirSequences) {
  struct Case {
    const char* what;
    std::string body;
    int fused;
    std::vector<std::string> log;
  };
  // Two locals, then a comparison of them that jumps: "yes" when taken.
  auto compare = [](const char* a, const char* b, const char* jump) {
    return std::string(a) + "\n" + b + "\nf: ldl 2\nldl 2\n" + jump +
           " y\npushs \"no\"\nLOG\njmp d\ny: pushs \"yes\"\nLOG\nd: pop\npop";
  };
  // A local against the constant 2.
  auto constant = [](const char* a, const char* jump) {
    return std::string(a) + "\nf: ldl 1\npush2\n" + jump + " y\npushs \"no\"\nLOG\njmp d\ny: pushs \"yes\"\nLOG\nd: pop";
  };
  // Locals A and B and a target slot: target = A op B, then the target is logged.
  auto arith = [](const char* a, const char* b, const char* target, const char* op) {
    return std::string(a) + "\n" + b + "\n" + target + "\nf: ldl 3\nldl 3\n" + op +
           "\nstl 2\npop\nldl 1\nLOG\npop\npop\npop";
  };
  // Local A, a target slot and a value X on top: target = X op A, X popped.
  auto topArith = [](const char* a, const char* x, const char* op) {
    return std::string(a) + "\npush0\n" + x + "\nf: ldl 3\n" + op + "\nstl 2\npop\nldl 1\nLOG\npop\npop";
  };
  // Container C, value V and key K as locals: C[K] = V, then C[K] read back.
  auto store = [](const std::string& c, const char* v, const char* k) {
    return c + "\n" + v + "\n" + k + "\nf: ldl 2\nldl 2\nstell 5\npop\nldl 1\nldell 4\nLOG\npop\npop\npop";
  };
  // Container C and key K as locals: C[K] pushed.
  auto load = [](const std::string& c, const char* k) {
    return c + "\n" + k + "\nf: ldl 1\nldell 3\nLOG\npop\npop";
  };
  // A local stepped as a statement, then a jump.
  auto step = [](const char* a, const char* op) {
    return std::string(a) + "\nf: ldl 1\npush1\n" + op + "\nstl 2\npop\njmp d\npushs \"no\"\nLOG\nd: LOG\npop";
  };
  // A counter from B stepped until the test against the limit A leaves the loop; each turn
  // logs the counter, and the step jumps back to the test.
  auto loop = [](const char* a, const char* b, const char* exit, const char* op) {
    return std::string(a) + "\n" + b + "\nh: ldl 1\nldl 3\n" + exit + " e\nldl 1\nLOG\nf: ldl 1\npush1\n" + op +
           "\nstl 2\npop\njmp h\ne: pop\npop";
  };
  const std::string kTable = "mktable 0\npushb 20\npush1\nldl 3\nstel\npop";  // {1 = 20}
  const std::string kArray = "pushb 30\npushb 20\npushb 10\nmkarray 3";        // [10, 20, 30]
  const Case kCases[] = {
      {"int less", compare("pushi -2147483648", "pushi 2147483647", "jlt"), kOpLocalsCompareJump + 2, {"\"yes\""}},
      {"int not less", compare("pushb 5", "pushb 5", "jlt"), kOpLocalsCompareJump + 2, {"\"no\""}},
      {"int differs", compare("pushb 5", "pushb 6", "jne"), kOpLocalsCompareJump + 0, {"\"yes\""}},
      {"int equal", compare("pushb 5", "pushb 5", "jeq"), kOpLocalsCompareJump + 1, {"\"yes\""}},
      {"int greater", compare("pushb 6", "pushb 5", "jgt"), kOpLocalsCompareJump + 3, {"\"yes\""}},
      {"int not greater", compare("pushb 6", "pushb 5", "jngt"), kOpLocalsCompareJump + 4, {"\"no\""}},
      {"int not less jump", compare("pushb 6", "pushb 5", "jnlt"), kOpLocalsCompareJump + 5, {"\"yes\""}},
      {"int and double", compare("pushb 2", "pushd 2.5", "jlt"), kOpLocalsCompareJump + 2, {"\"yes\""}},
      {"text and int", compare("pushs \"a\"", "pushb 1", "jnlt"), kOpLocalsCompareJump + 5, {"\"yes\""}},
      {"text and text", compare("pushs \"a\"", "pushs \"a\"", "jeq"), kOpLocalsCompareJump + 1, {"\"yes\""}},
      {"int against a constant", constant("push0", "jlt"), kOpLocalConstCompareJump + 2, {"\"yes\""}},
      {"equal to a constant", constant("push2", "jne"), kOpLocalConstCompareJump + 0, {"\"no\""}},
      {"double against a constant", constant("pushd 2.5", "jgt"), kOpLocalConstCompareJump + 3, {"\"yes\""}},
      {"text against a constant", constant("pushs \"a\"", "jngt"), kOpLocalConstCompareJump + 4, {"\"yes\""}},
      {"sum wraps", arith("pushi 2147483647", "push1", "push0", "add"), kOpLocalsArith + 0, {"-2147483648"}},
      {"difference wraps", arith("pushi -2147483648", "push1", "push0", "sub"), kOpLocalsArith + 1, {"2147483647"}},
      {"product wraps", arith("pushi 65536", "pushi 65537", "push0", "mul"), kOpLocalsArith + 2, {"65536"}},
      {"int and double sum", arith("pushb 3", "pushd 0.5", "push0", "add"), kOpLocalsArith + 0, {"d3.5"}},
      {"text and int sum", arith("pushs \"ab\"", "pushb 5", "push0", "add"), kOpLocalsArith + 0, {"\"ab5\""}},
      {"text product", arith("pushs \"ab\"", "pushb 5", "push0", "mul"), kOpLocalsArith + 2, {"\"ab\""}},
      {"target held a table", arith("pushb 3", "pushb 4", "mktable 0", "add"), kOpLocalsArith + 0, {"7"}},
      {"target held a text", arith("pushb 3", "pushb 4", "pushs \"t\"", "sub"), kOpLocalsArith + 1, {"-1"}},
      // A store onto the sum's own slot names a slot above the locals: the load leaves it plain.
      {"stored onto its own slot", std::string("pushb 3\npushb 4\nf: ldl 2\nldl 2\nadd\nstl 1\npop\nLOG\nLOG"), 13,
       {"4", "3"}},
      {"top plus local", topArith("pushb 7", "pushb 5", "add"), kOpTopArithLocal + 0, {"12"}},
      {"top minus local wraps", topArith("push1", "pushi -2147483648", "sub"), kOpTopArithLocal + 1,
       {"2147483647"}},
      {"top times local", topArith("pushd 1.5", "pushb 3", "mul"), kOpTopArithLocal + 2, {"d4.5"}},
      {"text top plus local", topArith("pushb 5", "pushs \"ab\"", "add"), kOpTopArithLocal + 0, {"\"ab5\""}},
      {"new int key", store("mktable 0", "pushb 9", "pushb 4"), kOpLocalsStoreElement, {"9"}},
      {"present int key", store(kTable, "pushs \"v\"", "push1"), kOpLocalsStoreElement, {"\"v\""}},
      {"text key", store("mktable 0", "pushb 9", "pushs \"k\""), kOpLocalsStoreElement, {"9"}},
      {"double key", store("mktable 0", "pushb 9", "pushd 1.5"), kOpLocalsStoreElement, {"0"}},
      {"array element", store(kArray, "pushd 2.5", "push2"), kOpLocalsStoreElement, {"d2.5"}},
      {"array past its end", store(kArray, "pushb 9", "pushb 3"), kOpLocalsStoreElement, {"0"}},
      {"array below its start", store(kArray, "pushb 9", "pushb -1"), kOpLocalsStoreElement, {"0"}},
      {"no container", store("pushb 7", "pushb 9", "push1"), kOpLocalsStoreElement, {"0"}},
      {"step wraps, then jumps", step("pushi 2147483647", "add"), kOpLocalStepJump, {"-2147483648"}},
      {"step down a double", step("pushd 1.5", "sub"), kOpLocalStepJump + 1, {"d0.5"}},
      {"step a text", step("pushs \"t\"", "add"), kOpLocalStepJump, {"\"t1\""}},
      {"step an array", step("mkarray 0", "sub"), kOpLocalStepJump + 1, {"array[0]"}},
      {"loop steps up into its test", loop("pushb 3", "push0", "jnlt", "add"), kOpLocalStepCompareJump + 2 * 5,
       {"0", "1", "2"}},
      {"loop steps up past the largest int", loop("pushi -2147483647", "pushi 2147483646", "jeq", "add"),
       kOpLocalStepCompareJump + 2 * 1, {"2147483646", "2147483647", "-2147483648"}},
      {"loop steps a double down", loop("push0", "pushd 2.5", "jngt", "sub"), kOpLocalStepCompareJump + 2 * 4 + 1,
       {"d2.5", "d1.5", "d0.5"}},
      {"loop steps a text", loop("pushs \"t11\"", "pushs \"t\"", "jeq", "add"), kOpLocalStepCompareJump + 2 * 1,
       {"\"t\"", "\"t1\""}},
      {"table entry", load(kTable, "push1"), kOpLocalElement, {"20"}},
      {"missing table entry", load(kTable, "push2"), kOpLocalElement, {"0"}},
      {"array entry", load(kArray, "push2"), kOpLocalElement, {"30"}},
      {"array past its end", load(kArray, "pushb 3"), kOpLocalElement, {"0"}},
      {"text byte", load("pushs \"AZ\"", "push1"), kOpLocalElement, {"90"}},
      {"double index", load(kArray, "pushd 1"), kOpLocalElement, {"0"}},
  };
  for (const Case& c : kCases) {
    std::string program = ".func Main main frame=16\nmain: check 16\n" + c.body + "\npush0\nret\n";
    Outcome out = RunBoth(program);
    EXPECT_EQ(out.log, c.log) << c.what;
    EXPECT_EQ(out.result, "0") << c.what;
    EXPECT_EQ(int(engine_->code[AsmLabel(asm_, "f")]), c.fused) << c.what;
  }
}

// Counted loops whose body is one statement over locals run a whole turn in one instruction:
// each turn must leave it exactly where the plain sequence would differ (a sum that is a double,
// a text or a table, a step going down, each arithmetic).
TEST_F(Interpreter, OneStatementLoopsBehaveAsTheirSequences) {
  struct Case {
    const char* what;
    const char* start;  // the sum's first value
    const char* limit;  // the counter's limit (the counter starts at 0, or at the limit going down)
    const char* op;     // the body: sum = sum op counter
    bool down;
    std::vector<std::string> log;
  };
  const Case kCases[] = {
      {"sum", "push0", "pushb 10", "add", false, {"45", "10"}},
      {"difference", "push0", "pushb 10", "sub", false, {"-45", "10"}},
      {"product from one", "push1", "pushb 6", "mul", false, {"0", "6"}},
      {"product wraps", "pushi 65536", "pushb 4", "mul", false, {"0", "4"}},
      {"sum wraps", "pushi 2147483647", "pushb 3", "add", false, {"-2147483646", "3"}},
      {"double sum", "pushd 0.5", "pushb 4", "add", false, {"d6.5", "4"}},
      {"text sum", "pushs \"t\"", "pushb 3", "add", false, {"\"t012\"", "3"}},
      {"a table sum", "mktable 0", "pushb 3", "add", false, {"table[0]", "3"}},
      {"counting down", "push0", "pushb 5", "add", true, {"15", "5"}},
  };
  for (const Case& c : kCases) {
    // Locals from the top: the counter (L1), the sum (L2), the limit (L3).
    std::string program = std::string(".func Main main frame=16\nmain: check 16\n") + c.limit + "\n" + c.start +
                          (c.down ? "\nldl 2\nh: ldl 1\npushb 0\njngt e\n" : "\npush0\nh: ldl 1\nldl 4\njnlt e\n");
    program += std::string("ldl 2\nldl 2\n") + c.op + "\nstl 3\npop\nf: ldl 1\npush1\n" + (c.down ? "sub" : "add") +
               "\nstl 2\npop\njmp h\ne: pop\nLOG\nLOG\npush0\nret\n";
    Outcome out = RunBoth(program);
    EXPECT_EQ(out.log, c.log) << c.what;
    EXPECT_EQ(out.result, "0") << c.what;
  }
  // The loop of the first case is the one-statement form.
  RunBoth(".func Main main frame=16\nmain: check 16\npushb 10\npush0\npush0\nh: ldl 1\nldl 4\njnlt e\n"
          "ldl 2\nldl 2\nadd\nstl 3\npop\nf: ldl 1\npush1\nadd\nstl 2\npop\njmp h\ne: pop\npop\npop\npush0\nret\n");
  EXPECT_EQ(int(engine_->code[AsmLabel(asm_, "f")]), kOpLocalLoopArith + 2 * 5);
}

// Loops whose values change type or whose table grows between turns: the fused loop bodies
// must leave their short paths exactly when the plain sequence would differ.
TEST_F(Interpreter, FusedLoopsFollowTypeChangesAndTableGrowth) {
  Outcome out = RunBoth(R"(
.func Main main frame=16
main: check 16
  push0             ; the sum
  push0             ; the counter
l1: ldl 1
  pushb 10
  jnlt e1
  ldl 2
  ldl 2
  add
  stl 3
  pop
  ldl 1
  pushb 5
  jne s1
  ldl 2             ; halfway the sum becomes a double
  pushd 0.5
  add
  stl 3
  pop
s1: ldl 1
  push1
  add
  stl 2
  pop
  jmp l1
e1: pop
  LOG
  mktable 0         ; the table, grown through several rehashes
  push0             ; the sum
  push0             ; the counter
l2: ldl 1
  pushw 200
  jnlt e2
  ldl 1
  ldl 2
  stell 5
  pop
  ldl 1
  push1
  sub
  ldell 4           ; the previous turn's entry, read after the growth
  ldl 3
  add
  stl 3
  pop
  ldl 1
  push1
  add
  stl 2
  pop
  jmp l2
e2: pop
  LOG
  LOG
  push0
  ret
)");
  // 0 + ... + 9 plus one half; then 0 + 0 + 1 + ... + 198 (the key -1 is absent).
  EXPECT_EQ(out.log, (std::vector<std::string>{"d45.5", "19701", "table[200]"}));
  EXPECT_EQ(out.result, "0");
}

// The opcodes of the fused loop bodies never come from a file: one found there, or reached by
// a jump into an operand, is unassigned and ends its task before anything after it runs, even
// where the bytes behind it would make a sequence it could run.
TEST_F(Interpreter, LoopBodyOpcodesFromTheFileAreUnassigned) {
  for (int op = kOpLocalsCompareJump; op <= kOpLocalFusionLast; ++op) {
    std::string text = ".func Main main frame=8\nmain: check 8\npush1\npush1\n.byte " + std::to_string(op) +
                       "\n.byte 1\n.byte 0\nldl 1\nldl 1\nadd\nstl 2\npop\npushb 5\nLOG\npushb 7\nret\n";
    Outcome out = Run(text, true);
    EXPECT_EQ(out.result, "0") << op;
    EXPECT_TRUE(out.log.empty()) << op;
    EXPECT_EQ(HashCount(engine_->tasks), 0u) << op;
  }
  // The jump lands on pushi's operand, whose first byte is 180 with a local operand of 1.
  Outcome out = Run(".func Main main frame=8\nmain: check 8\npush1\npush1\njmp 12\npushi 0x0D0001B4\npush0\n"
                    ".byte 0\npushb 5\nLOG\npushb 7\nret\n",
                    true);
  EXPECT_EQ(out.result, "0");
  EXPECT_TRUE(out.log.empty());
  EXPECT_EQ(HashCount(engine_->tasks), 0u);
}

TEST_F(Interpreter, GlobalsMembersAndContainers) {
  Outcome out = RunBoth(R"(
.global int 3
.global zero
.func Main main frame=16
main: check 16
  mktable 0
  mvg 1
  pushb 5
  pushs "k"
  stelg 1
  pop
  pushs "k"
  ldelg 1
  LOG
  push3
  push2
  push1
  mkarray 3         ; element 0 is the top
  dup
  size
  LOG
  push2
  ldell 2
  LOG
  pushb 9
  push1
  ldl 3
  mvel              ; a[1] = 9
  push1
  ldell 2
  LOG
  pushb 8
  pushs "u"
  pushb 4
  pushs "v"
  mktable 2
  pushs "v"
  ldell 2
  LOG
  ldg 0
  addw 4
  stg 0
  LOG
  ldg 0
  LOG
  pop
  pop
  push0
  ret
)");
  EXPECT_EQ(out.log, (std::vector<std::string>{"5", "3", "3", "9", "4", "7", "7"}));
}

}  // namespace
