// Crash handling: exception names, the machine-stack dump layout, the story call stack of a
// running assembled story (walked from inside one of its native calls), the log and dump files
// written by the filter, real faults in child processes that leave both files and still end,
// and the critical-error box.
#include "app/crash.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/byte_order.h"
#include "core/system_block.h"
#include "support/script_runner.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string Hex6(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%06x", value);
  return text;
}

// Runs the test's body in the current folder of its own temp folder.
class InTempFolder {
 public:
  InTempFolder() {
    char* old = getcwd(nullptr, 0);
    old_ = old ? old : ".";
    std::free(old);
    if (chdir(dir_.path().c_str()) != 0) ADD_FAILURE() << "chdir";
  }
  ~InTempFolder() {
    if (chdir(old_.c_str()) != 0) ADD_FAILURE() << "chdir back";
  }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string old_;
};

TEST(Crash, ExceptionNames) {
  struct Case {
    uint32_t code;
    const char* name;
  };
  const Case kCases[] = {
      {0xC0000005, "Access violation"},
      {0x80000003, "Unhandled breakpoint"},
      {0xC000008E, "Floating point division by zero"},
      {0xC0000094, "Integer division by zero"},
      {0xC000001D, "Unknown exception"},
      {0xC0000095, "Unknown exception"},
      {0, "Unknown exception"},
  };
  for (const Case& c : kCases) EXPECT_STREQ(GetExceptionName(c.code), c.name) << std::hex << c.code;
}

TEST(Crash, FaultSignalsMapToTheirExceptionCodes) {
  struct Case {
    int signal;
    int code;
    uint32_t exception;
  };
  const Case kCases[] = {
      {SIGSEGV, SEGV_MAPERR, 0xC0000005}, {SIGBUS, BUS_ADRERR, 0xC0000005}, {SIGFPE, FPE_INTDIV, 0xC0000094},
      {SIGFPE, FPE_FLTDIV, 0xC000008E},   {SIGTRAP, 0, 0x80000003},         {SIGILL, ILL_ILLOPN, 0xC000001D},
  };
  for (const Case& c : kCases) EXPECT_EQ(OsCrashExceptionCode(c.signal, c.code), c.exception) << c.signal;
}

TEST(Crash, StackDumpLinesOfThirtyTwoBytesAndAPaddedLastLine) {
  unsigned char bytes[40];
  for (int k = 0; k < 26; ++k) bytes[k] = uint8_t('A' + k);
  const unsigned char tail[] = {0x00, 0x01, 0x7E, 0x7F, 0x20, 0x0A};
  std::memcpy(bytes + 26, tail, sizeof tail);
  for (int k = 0; k < 8; ++k) bytes[32 + k] = uint8_t('0' + k);
  std::string out;
  CrashStream stream;
  CrashStreamToSink(&stream, &out);
  DumpMachineStack(&stream, bytes, sizeof bytes);
  CrashStreamClose(&stream);
  EXPECT_EQ(out,
            "Stack dump:\r\n"
            "41424344 45464748 494a4b4c 4d4e4f50 51525354 55565758 595a0001 7e7f200a   "
            "ABCD EFGH IJKL MNOP QRST UVWX YZ.. ~. . \r\n"
            "30313233 34353637 -------- -------- -------- -------- -------- --------   0123 4567 \r\n"
            "\r\n"
            "\r\n");
}

TEST(Crash, StackDumpOfNoBytesIsItsHeadingOnly) {
  std::string out;
  CrashStream stream;
  CrashStreamToSink(&stream, &out);
  DumpMachineStack(&stream, nullptr, 0);
  CrashStreamClose(&stream);
  EXPECT_EQ(out, "Stack dump:\r\n\r\n\r\n");
}

// ---- The story call stack -----------------------------------------------------------------

// Main(a, b) calls Run("deep", 7) on the static object of class 12 by name, which calls the
// native T_Probe; the native either dumps the story stack or faults, as the test chose.
constexpr char kStory[] = R"(
.func Main main params=2
.class 12
.method Run run params=2
.end
main:
  pushb 7
  pushs "deep"
  push2
  pushb 12
  callname Run
back:
  ret
run:
  ldl 5
  push1
  native T_Probe
after:
  ret
)";

enum ProbeAction { kProbeDump, kProbeSegfault, kProbeDivide, kProbeBreakpoint };

// Both faults are made by the instruction itself, so no sanitizer check comes before the
// processor's trap.
void FaultByNullWrite() { asm volatile("xorl %%eax, %%eax\n\tmovl $1, (%%rax)" ::: "eax", "memory"); }

void FaultByDivision() {
  asm volatile("xorl %%ecx, %%ecx\n\tmovl $1, %%eax\n\tcltd\n\tidivl %%ecx" ::: "eax", "ecx", "edx", "cc");
}

void FaultByBreakpoint() { asm volatile("int3"); }

class StoryStack : public ScriptRunTest {
 protected:
  static inline StoryStack* self_ = nullptr;
  static inline const char* const kProbeNames[] = {"T_Probe", nullptr};

  void SetUp() override {
    ScriptRunTest::SetUp();
    self_ = this;
    probeModule_ = RegisterNativeModule(engine_, Probe, kProbeNames, nullptr, nullptr, nullptr);
    ASSERT_GT(probeModule_, 0);
  }
  void TearDown() override {
    self_ = nullptr;
    ScriptRunTest::TearDown();
  }

  static int32_t Probe(int32_t, ScriptTask* task, int32_t, int32_t, ScriptValue*) {
    switch (self_->action_) {
      case kProbeDump: {
        CrashStream stream;
        CrashStreamToSink(&stream, &self_->dump_);
        DumpStoryStack(&stream);
        CrashStreamClose(&stream);
        break;
      }
      case kProbeSegfault: FaultByNullWrite(); break;
      case kProbeDivide: FaultByDivision(); break;
      case kProbeBreakpoint: FaultByBreakpoint(); break;
    }
    ReturnInt(task, self_->engine_, 0);
    return 1;
  }

  // The lines the story's stack gives while T_Probe runs.
  std::string ExpectedStack() const {
    return "Story call stack dump:\r\n"
           "[000000]->[" + Hex6(AsmLabel(asm_, "back")) + "]Main(3, 4)\r\n" +
           "[" + Hex6(AsmLabel(asm_, "back")) + "]->[" + Hex6(AsmLabel(asm_, "after")) +
           "]#12[12].Run('deep', 7)\r\n";
  }

  int32_t probeModule_ = 0;
  ProbeAction action_ = kProbeDump;
  std::string dump_;
};

TEST_F(StoryStack, EveryCallFrameOfTheRunningTaskOutermostFirst) {
  ASSERT_TRUE(Load(kStory)) << error_;
  action_ = kProbeDump;
  EXPECT_EQ(Call("Main", {3, 4}), "0");
  EXPECT_EQ(dump_, ExpectedStack());
}

TEST_F(StoryStack, NoEngineAndNoTaskHaveTheirOwnLines) {
  std::string out;
  CrashStream stream;
  CrashStreamToSink(&stream, &out);
  DumpStoryStack(&stream);
  ScriptEngine* engine = gScriptEngine;
  gScriptEngine = nullptr;
  DumpStoryStack(&stream);
  gScriptEngine = engine;
  // A current-task pointer that is no registered task is never followed.
  ScriptTask stranger{};
  engine_->currentTask = &stranger;
  DumpStoryStack(&stream);
  engine_->currentTask = nullptr;
  CrashStreamClose(&stream);
  EXPECT_EQ(out, "No story task running\r\nStory Engine not active\r\nNo story task running\r\n");
}

TEST_F(StoryStack, AStackTopOutsideTheStackIsNotWalked) {
  ASSERT_TRUE(Load(kStory)) << error_;
  ScriptTask* task = Start("Main", {3, 4});
  ASSERT_NE(task, nullptr);
  engine_->currentTask = task;
  std::string entry = Hex6(task->pc);
  const int32_t sane = task->sp;
  struct Case {
    int32_t sp;
    std::string frames;
  };
  const Case kCases[] = {
      {sane, "[000000]->[" + entry + "]Main(3, 4)\r\n"},
      {5, "[000000]->[" + entry + "]Main(<invalid num args>)\r\n"},
      {-int32_t(task->stackSize) - 1, "[000000]->[" + entry + "]Main(<invalid num args>)\r\n"},
  };
  for (const Case& c : kCases) {
    task->sp = c.sp;
    std::string out;
    CrashStream stream;
    CrashStreamToSink(&stream, &out);
    DumpStoryStack(&stream);
    CrashStreamClose(&stream);
    EXPECT_EQ(out, "Story call stack dump:\r\n" + c.frames) << c.sp;
  }
  task->sp = sane;
  engine_->currentTask = nullptr;
  KillTaskById(engine_, task->id);
}

TEST_F(StoryStack, FrameLinesOfDamagedFrames) {
  ASSERT_TRUE(Load(kStory)) << error_;
  ScriptValue values[4] = {};
  SetValueInt(&values[0], 2);
  SetValueInt(&values[1], 10);
  SetValueInt(&values[2], -3);
  ScriptValue tooMany[2] = {};
  SetValueInt(&tooMany[0], 5);
  ScriptValue notCounted[1] = {};
  SetValuePoolString(&notCounted[0], AsmString(asm_, "deep"));
  const ObjectInstance* global = &engine_->classes[0];
  const ObjectInstance* class12 = FindScriptObject(engine_, 12);
  ASSERT_NE(class12, nullptr);
  ObjectInstance instance{-5, 1, const_cast<ScriptClassRecord*>(&engine_->classes[1]), nullptr};
  struct Case {
    uint32_t position;
    const ObjectInstance* object;
    uint32_t previous;
    const ScriptValue* values;
    int64_t available;
    std::string line;
  };
  uint32_t after = AsmLabel(asm_, "after");
  const Case kCases[] = {
      {after, class12, 0x1234, values, 4, "[001234]->[" + Hex6(after) + "]#12[12].Run(10, -3)"},
      {after, &instance, 1, values, 4, "[000001]->[" + Hex6(after) + "]#-5(12)[12].Run(10, -3)"},
      {after, global, 0, nullptr, 0, "[000000]->[" + Hex6(after) + "]Run(<invalid num args>)"},
      // A count larger than the stack holds is not believed.
      {after, global, 0, tooMany, 2, "[000000]->[" + Hex6(after) + "]Run(<invalid num args>)"},
      {after, global, 0, notCounted, 1, "[000000]->[" + Hex6(after) + "]Run(<invalid num args>)"},
      // A position in no method has no name.
      {0, nullptr, 0, values, 3, "[000000]->[000000]<invalid function name>(10, -3)"},
      {0xFFFFFF, global, 0, values, 0, "[000000]->[ffffff]Run(<invalid num args>)"},
  };
  for (const Case& c : kCases) {
    std::string out;
    CrashStream stream;
    CrashStreamToSink(&stream, &out);
    DumpScriptFrame(&stream, c.position, c.object, c.previous, c.values, c.available);
    CrashStreamClose(&stream);
    EXPECT_EQ(out, c.line + "\r\n");
  }
  ReleaseValue(&notCounted[0]);
}

// ---- The filter's files ---------------------------------------------------------------------

struct DumpFile {
  bool ok = false;
  uint32_t signal = 0, exceptionCode = 0, segment = 0;
  uint64_t instructionPointer = 0, stackPointer = 0;
  std::vector<std::pair<std::string, uint64_t>> registers;
  std::string stack;
};

uint64_t Load64(const unsigned char* p) { return (uint64_t(LoadBE32(p)) << 32) | LoadBE32(p + 4); }

DumpFile ParseDump(const std::string& bytes) {
  DumpFile dump;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t size = bytes.size();
  if (size < 52 || bytes.compare(0, 4, "KCDM") != 0 || LoadBE32(p + 4) != kCrashDumpVersion) return dump;
  dump.signal = LoadBE32(p + 8);
  dump.exceptionCode = LoadBE32(p + 16);
  dump.segment = LoadBE32(p + 20);
  dump.instructionPointer = Load64(p + 24);
  dump.stackPointer = Load64(p + 40);
  uint32_t count = LoadBE32(p + 48);
  size_t at = 52;
  if (count > 64 || size < at + 16 * size_t(count) + 4) return dump;
  for (uint32_t k = 0; k < count; ++k, at += 16)
    dump.registers.emplace_back(std::string(bytes.data() + at, strnlen(bytes.data() + at, 8)), Load64(p + at + 8));
  uint32_t length = LoadBE32(p + at);
  at += 4;
  if (size != at + length + 4 || bytes.compare(at + length, 4, "/KCD") != 0) return dump;
  dump.stack = bytes.substr(at, length);
  dump.ok = true;
  return dump;
}

CrashContext FakeContext(uint32_t code, const void* stack, size_t stackLength) {
  CrashContext context{};
  context.exceptionCode = code;
  context.signal = SIGSEGV;
  context.codeSegment = 0x33;
  context.instructionPointer = 0x00007f0012345678ull;
  context.stackPointer = reinterpret_cast<uint64_t>(stack);
  context.stackEnd = stack ? context.stackPointer + stackLength : 0;
  for (int k = 0; k < kCrashRegisterCount; ++k) {
    static const char* const kNames[] = {"rax", "rbx", "rcx", "rdx", "rsi", "rdi", "rbp", "rsp", "r8",
                                         "r9",  "r10", "r11", "r12", "r13", "r14", "r15", "rip", "eflags"};
    context.registerNames[k] = kNames[k];
    context.registers[k] = 0x1000u + unsigned(k);
  }
  return context;
}

TEST(CrashFilter, WritesTheLogLayoutAndTheDump) {
  InTempFolder folder;
  ScriptEngine* engine = gScriptEngine;
  gScriptEngine = nullptr;
  unsigned char stack[40];
  for (int k = 0; k < 40; ++k) stack[k] = uint8_t(k);
  CrashContext context = FakeContext(0xC0000005, stack, sizeof stack);
  CrashExceptionFilter(&context);
  gScriptEngine = engine;

  std::vector<std::string> lines = SplitLines(ReadFile(folder.dir().File("VexaCrash.log")));
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], std::string(38, '='));
  EXPECT_EQ(lines[1].rfind("Crash event occurred on ", 0), 0u);
  EXPECT_EQ(lines[1].size(), std::strlen("Crash event occurred on ") + 24);
  EXPECT_NE(lines[2].find("test_app_crash"), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3], "The exception \"Access violation\" (0xc0000005) was caused at address 0033:00007f0012345678");
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], std::string("Process owned by user: ") + OsCrashUserName());
  EXPECT_EQ(lines[6], "");
  EXPECT_EQ(lines[7], "Story Engine not active");
  EXPECT_EQ(lines[8], "");
  EXPECT_EQ(lines[9], "Stack dump:");
  EXPECT_EQ(lines[10].substr(0, 17), "00010203 04050607");
  EXPECT_EQ(lines[11].substr(0, 18), "20212223 24252627 ");
  EXPECT_EQ(lines[12], "");
  EXPECT_EQ(lines[13], "");
  EXPECT_EQ(lines[14], std::string(38, '='));
  EXPECT_EQ(lines[15], "");
  EXPECT_EQ(lines[16], "");

  DumpFile dump = ParseDump(ReadFile(folder.dir().File("VexaCrash.dmp")));
  ASSERT_TRUE(dump.ok);
  EXPECT_EQ(dump.exceptionCode, 0xC0000005u);
  EXPECT_EQ(dump.segment, 0x33u);
  EXPECT_EQ(dump.instructionPointer, 0x00007f0012345678ull);
  ASSERT_EQ(dump.registers.size(), size_t(kCrashRegisterCount));
  EXPECT_EQ(dump.registers[16], std::make_pair(std::string("rip"), uint64_t(0x1010)));
  EXPECT_EQ(dump.stack, std::string(reinterpret_cast<const char*>(stack), sizeof stack));
}

TEST(CrashFilter, UnknownStackEndAndAnyOtherCodeAndTheSecondCrashReplacesBoth) {
  InTempFolder folder;
  ScriptEngine* engine = gScriptEngine;
  gScriptEngine = nullptr;
  unsigned char stack[4096] = {};
  CrashContext first = FakeContext(0xC0000005, stack, sizeof stack);
  CrashExceptionFilter(&first);
  CrashContext second = FakeContext(0xC000001D, nullptr, 0);
  CrashExceptionFilter(&second);
  gScriptEngine = engine;

  std::string log = ReadFile(folder.dir().File("VexaCrash.log"));
  std::vector<std::string> lines = SplitLines(log);
  ASSERT_EQ(lines.size(), 13u) << log;
  EXPECT_EQ(lines[3], "The exception \"Unknown exception\" (0xc000001d) was caused at address 0033:00007f0012345678");
  EXPECT_EQ(lines[9], "WARNING: failed to generate stack dump!");
  EXPECT_EQ(log.find("Stack dump:"), std::string::npos);
  DumpFile dump = ParseDump(ReadFile(folder.dir().File("VexaCrash.dmp")));
  ASSERT_TRUE(dump.ok);
  EXPECT_EQ(dump.exceptionCode, 0xC000001Du);
  EXPECT_EQ(dump.stack.size(), 0u);
}

// When the current folder cannot take the crash files, they go to the user's data folder and the
// console says where; a link standing in a file's place is never written through.
TEST(CrashFilter, FilesTheCurrentFolderCannotTakeGoToTheUserDataFolder) {
  struct Case {
    const char* what;
    void (*block)(const TempDir& here, const TempDir& elsewhere);  // what stands in the files' place
  };
  const Case kCases[] = {
      {"links to files elsewhere",
       [](const TempDir& here, const TempDir& elsewhere) {
         elsewhere.Write("precious.txt", "keep me");
         for (const char* name : {"VexaCrash.log", "VexaCrash.dmp"}) {
           ASSERT_EQ(symlink(elsewhere.File("precious.txt").c_str(), here.File(name).c_str()), 0);
         }
       }},
      {"folders of the files' names",
       [](const TempDir& here, const TempDir&) {
         for (const char* name : {"VexaCrash.log", "VexaCrash.dmp"}) {
           ASSERT_EQ(mkdir(here.File(name).c_str(), 0755), 0);
         }
       }},
  };
  // The user data folder is worked out once per process, so one documents folder serves all cases.
  static TempDir documents;
  ScopedEnv env("XDG_DOCUMENTS_DIR", documents.path().c_str());
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    InTempFolder folder;
    TempDir elsewhere;
    SystemBlock block{};
    block.product = &kProductRecord;
    SystemBlock* savedSystem = gSystem;
    gSystem = &block;
    c.block(folder.dir(), elsewhere);
    ScriptEngine* engine = gScriptEngine;
    gScriptEngine = nullptr;
    unsigned char stack[40] = {};
    CrashContext context = FakeContext(0xC0000005, stack, sizeof stack);
    ::testing::internal::CaptureStderr();
    CrashExceptionFilter(&context);
    const std::string note = ::testing::internal::GetCapturedStderr();
    gScriptEngine = engine;
    gSystem = savedSystem;

    const std::string userFolder = documents.path() + "/Korvane/" + kProductRecord.folderName;
    EXPECT_EQ(note, "Crash files written to the user data folder: " + userFolder + "\n");
    std::vector<std::string> lines = SplitLines(ReadFile(userFolder + "/VexaCrash.log"));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[3], "The exception \"Access violation\" (0xc0000005) was caused at address 0033:00007f0012345678");
    EXPECT_TRUE(ParseDump(ReadFile(userFolder + "/VexaCrash.dmp")).ok);
    if (std::strcmp(c.what, "links to files elsewhere") == 0) {
      EXPECT_EQ(elsewhere.Read("precious.txt"), "keep me");
    }
  }
}

// ---- Real faults ----------------------------------------------------------------------------

// The child's end: killed by a signal, or ended by a memory checker's own report after the
// files were written; never a normal end, never still running.
struct ChildEnd {
  bool finished = false;
  bool signalled = false;
  int signal = 0;
  int status = 0;
};

ChildEnd WaitForChild(pid_t child) {
  ChildEnd end;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) {
      end.finished = true;
      end.signalled = WIFSIGNALED(status);
      end.signal = end.signalled ? WTERMSIG(status) : 0;
      end.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return end;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return end;
}

TEST_F(StoryStack, RealFaultsInAStoryNativeLeaveBothFilesAndEndTheProcess) {
  ASSERT_TRUE(Load(kStory)) << error_;
  struct Case {
    ProbeAction action;
    bool install;  // false: only the install made before the program's entry
    int signal;
    const char* exception;
  };
  const Case kCases[] = {
      {kProbeSegfault, false, SIGSEGV, "\"Access violation\" (0xc0000005)"},
      {kProbeSegfault, true, SIGSEGV, "\"Access violation\" (0xc0000005)"},
      {kProbeDivide, true, SIGFPE, "\"Integer division by zero\" (0xc0000094)"},
      {kProbeBreakpoint, true, SIGTRAP, "\"Unhandled breakpoint\" (0x80000003)"},
  };
  TempDir folder;
  int round = 0;
  for (const Case& c : kCases) {
    ++round;
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      rlimit noCore{0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      if (chdir(folder.path().c_str()) != 0) _exit(90);
      if (c.install && !InstallCrashFilter()) _exit(91);
      action_ = c.action;
      Call("Main", {3, 4});
      _exit(92);  // the fault did not end the process
    }
    ChildEnd end = WaitForChild(child);
    ASSERT_TRUE(end.finished) << "the crashed child hung";
    EXPECT_TRUE(end.signalled || (end.status != 0 && end.status < 90)) << "status " << end.status;
    if (end.signalled) {
      EXPECT_EQ(end.signal, c.signal);
    }

    std::string log = ReadFile(folder.File("VexaCrash.log"));
    std::vector<std::string> lines = SplitLines(log);
    ASSERT_GT(lines.size(), 14u) << log;
    // Each crash replaces the log of the one before.
    EXPECT_EQ(log.find("Crash event occurred on "), log.rfind("Crash event occurred on "));
    std::string fault = std::string("The exception ") + c.exception + " was caused at address ";
    ASSERT_EQ(lines[3].rfind(fault, 0), 0u) << lines[3];
    std::string where = lines[3].substr(fault.size());
    ASSERT_EQ(where.size(), 4u + 1 + 16) << where;
    EXPECT_EQ(where.substr(0, 5), "0033:");
    uint64_t address = std::stoull(where.substr(5), nullptr, 16);
    EXPECT_EQ(log.find(ExpectedStack()), log.find("Story call stack dump:")) << log;
    EXPECT_NE(log.find(ExpectedStack()), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nStack dump:\r\n"), std::string::npos);
    EXPECT_EQ(lines.size() >= 3 ? lines[lines.size() - 3] : "", std::string(38, '='));

    DumpFile dump = ParseDump(ReadFile(folder.File("VexaCrash.dmp")));
    ASSERT_TRUE(dump.ok) << "round " << round;
    EXPECT_EQ(dump.signal, uint32_t(c.signal));
    EXPECT_EQ(dump.instructionPointer, address);
    ASSERT_EQ(dump.registers.size(), size_t(kCrashRegisterCount));
    EXPECT_EQ(dump.registers[16].first, "rip");
    EXPECT_EQ(dump.registers[16].second, address);
    EXPECT_EQ(dump.registers[7].first, "rsp");
    EXPECT_EQ(dump.registers[7].second, dump.stackPointer);
    EXPECT_GT(dump.stack.size(), 0u);
  }
}

// ---- The critical-error box -----------------------------------------------------------------

TEST(CriticalError, HeadlessBoxCarriesCaptionAndTheWholeText) {
  testing::internal::CaptureStderr();
  ShowCriticalError("Out of memory");
  std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown,
            "Critical Error: A critical error has occurred and Vexa cannot recover:\nOut of memory\n\n"
            "Please inform Korvane technical support.\n");
}

TEST(MessageBox, HeadlessBoxAnswersItsDefaultButton) {
  struct Case {
    uint32_t style;
    int32_t answer;
  };
  const Case kCases[] = {
      {0, 1},          {0x10, 1},      {0x1, 1},   {0x101, 2},
      {0x4, 6},        {0x104, 7},     {0x3, 6},   {0x203, 2},
      {0x200 | 0x4, 6},  // a third default on a two-button box falls back to the first
  };
  for (const Case& c : kCases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(OsMessageBox("text", "caption", c.style), c.answer) << std::hex << c.style;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "caption: text\n");
  }
}

}  // namespace
