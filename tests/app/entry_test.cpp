// The process entry: the command-line split, the priority options, the message pump's wait and
// drain, the exit status of a shutdown, and the processor probe over described processors.
#include "app/entry.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/shutdown.h"
#include "core/system_block.h"
#include "devices/input.h"
#include "platform/os.h"
#include "platform/memory_status.h"
#include "platform/registry.h"
#include "platform/window.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> Split(const std::string& line, int* argc) {
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  char* argv[kArgumentSlots];
  std::memset(argv, 0xA5, sizeof argv);
  *argc = SplitCommandLine(buffer.data(), argv);
  std::vector<std::string> words;
  for (int i = 0; i < *argc; ++i) words.push_back(argv[i]);
  EXPECT_EQ(argv[*argc], nullptr);
  return words;
}

}  // namespace

TEST(CommandLine, SplitsAtEveryBlank) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  };
  const Case kCases[] = {
      {"", {"WinCalled", ""}},
      {"-window", {"WinCalled", "-window"}},
      {"a  b", {"WinCalled", "a", "", "b"}},
      {"a b ", {"WinCalled", "a", "b", ""}},
      {" a", {"WinCalled", "", "a"}},
  };
  for (const Case& c : kCases) {
    int argc = 0;
    EXPECT_EQ(Split(c.line, &argc), c.words) << '"' << c.line << '"';
    EXPECT_EQ(argc, static_cast<int>(c.words.size()));
  }
}

TEST(CommandLine, LastWordKeepsTheRestOfALongLine) {
  struct Case {
    int words;
    int argc;
    const char* last;
  };
  const Case kCases[] = {
      {27, 28, "w27"},
      {28, 29, "w28"},
      {29, 29, "w28 w29"},
      {40, 29, "w28 w29 w30 w31 w32 w33 w34 w35 w36 w37 w38 w39 w40"},
  };
  for (const Case& c : kCases) {
    std::string line;
    for (int i = 1; i <= c.words; ++i) line += (i > 1 ? " w" : "w") + std::to_string(i);
    int argc = 0;
    std::vector<std::string> words = Split(line, &argc);
    EXPECT_EQ(argc, c.argc) << c.words;
    EXPECT_EQ(words.back(), c.last) << c.words;
    EXPECT_EQ(words[1], "w1");
  }
}

namespace {
std::vector<OsPriority> gPriorities;
bool RecordPriority(OsPriority priority) {
  gPriorities.push_back(priority);
  return priority != kOsPriorityHigh;  // as for a user without the right to raise it
}
}  // namespace

TEST(CommandLine, PriorityOptionsIgnoreCaseAndTheLastWins) {
  struct Case {
    const char* line;
    std::vector<OsPriority> calls;
  };
  const Case kCases[] = {
      {"-lowpri -highpri", {kOsPriorityIdle, kOsPriorityHigh}},
      {"-HIGHPRI x -LowPri", {kOsPriorityHigh, kOsPriorityIdle}},
      {"-lowpri", {kOsPriorityIdle}},
      {"-lowprio lowpri -highpri2", {}},
      {"", {}},
  };
  OsSetPriorityHook(RecordPriority);
  for (const Case& c : kCases) {
    gPriorities.clear();
    std::vector<char> buffer(c.line, c.line + std::strlen(c.line) + 1);
    char* argv[kArgumentSlots];
    int argc = SplitCommandLine(buffer.data(), argv);
    ApplyPriorityOptions(argc, argv);
    EXPECT_EQ(gPriorities, c.calls) << c.line;
  }
  OsSetPriorityHook(nullptr);
}

// WinMain hands the split command line to the game main: in an empty game folder the start
// fails on the missing configuration story, and that failure must reach the shell.
TEST(Entry, HandsTheArgumentsToTheGameMain) {
  TempDir sandbox;
  std::string line = "-lowpri demo";
  auto run = [&] {
    if (chdir(sandbox.path().c_str()) != 0) std::abort();
    setenv("XDG_DOCUMENTS_DIR", sandbox.path().c_str(), 1);
    RegistrySetFilePath(sandbox.File("registry.xml").c_str());
    static OsMemoryStatus plenty{uint64_t{8} << 30, uint64_t{4} << 30, uint64_t{8} << 30, uint64_t{4} << 30};
    OsOverrideMemoryStatus(&plenty);
    WinMain(1, 0, line.data(), 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "vexaconfig");
}

TEST(Shutdown, ExitStatusNeverHidesAFailure) {
  struct Case {
    uint32_t code;
    int status;
  };
  const Case kCases[] = {{0, 0}, {36, 0}, {1, 1}, {29, 29}, {35, 35}, {40, 40}, {255, 255}, {256, 255}, {65535, 255}};
  for (const Case& c : kCases) EXPECT_EQ(ShutdownExitStatus(c.code), c.status) << c.code;
  EXPECT_EXIT(ShutdownAndExit(7), ::testing::ExitedWithCode(7), "");
  EXPECT_EXIT(ShutdownAndExit(36), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ShutdownAndExit(300), ::testing::ExitedWithCode(255), "");
}

// ---- Message pump ----------------------------------------------------------------------

namespace {

constexpr uint32_t kActivate = 100;
constexpr uint32_t kQuit = 0xFFFF;  // posted as the quit message, not a code

std::vector<uint32_t> gDelivered;

void WindowProcedure(const OsMessage* message) {
  gDelivered.push_back(message->code);
  if (message->code == kActivate) gStartup.appActive = 1;
}

class PumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OsSetHeadless(true);
    OsMessage drop;
    while (OsPeekMessage(&drop, true)) {
    }
    OsSetWindowProcedure(WindowProcedure);
    gDelivered.clear();
    gStartup = StartupBlock{};
    input = InputState{};
  }
  void TearDown() override {
    OsSetWindowProcedure(nullptr);
    gInputState = nullptr;
    OsSetHeadless(false);
  }
  static void Post(const std::vector<uint32_t>& codes) {
    for (uint32_t code : codes) {
      if (code == kQuit) {
        OsPostQuitMessage();
      } else {
        OsPostMessage(code, 0);
      }
    }
  }
  InputState input;
};

}  // namespace

TEST_F(PumpTest, DeliversWhatWaitsAndDropsQuitWhileActiveOrInBackground) {
  struct Case {
    const char* what;
    uint32_t active;
    uint32_t inputFlags;  // with an input state
    bool hasInput;
  };
  const Case kCases[] = {
      {"active", 1, 0, false},
      {"inactive, runs in background", 0, kInputRunInBackground, true},
  };
  for (const Case& c : kCases) {
    gDelivered.clear();
    gStartup.appActive = c.active;
    input.flags = c.inputFlags;
    gInputState = c.hasInput ? &input : nullptr;
    Post({1, kQuit, 2});
    PumpMessages();
    EXPECT_EQ(gDelivered, (std::vector<uint32_t>{1, 2})) << c.what;
    OsMessage left;
    EXPECT_FALSE(OsPeekMessage(&left, false)) << c.what;
  }
}

TEST_F(PumpTest, InactiveWindowWaitsUntilActivatedThenDrains) {
  input.flags = kInputNewestKeyOnly;  // without the background bit
  gInputState = &input;
  Post({1, 2, kActivate, 3, 4});
  PumpMessages();
  EXPECT_EQ(gDelivered, (std::vector<uint32_t>{1, 2, kActivate, 3, 4}));
  EXPECT_EQ(gStartup.appActive, 1u);
}

TEST_F(PumpTest, InactiveWindowWithNothingToComeDoesNotHang) {
  PumpMessages();
  EXPECT_TRUE(gDelivered.empty());
  EXPECT_EQ(gStartup.appActive, 0u);
}

TEST_F(PumpTest, QuitWhileWaitingEndsTheProcessNormally) {
  Post({1, kQuit, kActivate});
  EXPECT_EXIT(PumpMessages(), ::testing::ExitedWithCode(0), "");
  OsMessage drop;
  while (OsPeekMessage(&drop, true)) {
  }
  Post({kActivate, 5, kQuit});  // in the drain after the activation
  EXPECT_EXIT(PumpMessages(), ::testing::ExitedWithCode(0), "");
}

// ---- Processor -------------------------------------------------------------------------

namespace {

constexpr uint32_t kVendorIntel = 0x6C65746E;  // "ntel"
constexpr uint32_t kVendorAmd = 0x444D4163;    // "cAMD"
constexpr uint32_t kVendorOther = 0x736C7561;  // "auls"

constexpr uint32_t Bit(int n) { return 1u << n; }

struct FakeCpu {
  bool hasCpuid;
  uint32_t maxLeaf, vendorEcx;
  uint32_t signature, featureEcx, featureEdx;
  uint32_t extendedMax, extendedEdx;
  bool emulated;
  bool keepsXmm;  // the system saves and restores the SSE registers
  uint32_t mxcsr, mxcsrMask;
};

FakeCpu gCpu;
uint8_t gState[kOsFpuStateSize];
int gLoads = 0;

uint32_t StateWord(size_t offset) {
  uint32_t value;
  std::memcpy(&value, gState + offset, sizeof value);
  return value;
}

bool FakeCpuid(uint32_t leaf, OsCpuRegisters* out) {
  if (!gCpu.hasCpuid) return false;
  *out = OsCpuRegisters{};
  if (leaf == 0) {
    out->eax = gCpu.maxLeaf;
    out->ecx = gCpu.vendorEcx;
  } else if (leaf == 1) {
    out->eax = gCpu.signature;
    out->ecx = gCpu.featureEcx;
    out->edx = gCpu.featureEdx;
  } else if (leaf == 0x80000000u) {
    out->eax = gCpu.extendedMax;
  } else if (leaf == 0x80000001u) {
    out->edx = gCpu.extendedEdx;
  }
  return true;
}
bool FakeEmulated() { return gCpu.emulated; }
void FakeSave(uint8_t* area) { std::memcpy(area, gState, kOsFpuStateSize); }
void FakeLoad(const uint8_t* area) {
  ++gLoads;
  uint8_t xmm[256];
  std::memcpy(xmm, gState + 160, sizeof xmm);
  std::memcpy(gState, area, kOsFpuStateSize);
  if (!gCpu.keepsXmm) std::memcpy(gState + 160, xmm, sizeof xmm);
}
const OsCpuBackend kFakeBackend = {FakeCpuid, FakeEmulated, FakeSave, FakeLoad};

void Install(const FakeCpu& cpu) {
  gCpu = cpu;
  std::memset(gState, 0, sizeof gState);
  std::memcpy(gState + kOsFpuStateMxcsr, &cpu.mxcsr, 4);
  std::memcpy(gState + kOsFpuStateMxcsrMask, &cpu.mxcsrMask, 4);
  uint32_t xmm6High = 0x12345678;
  std::memcpy(gState + 268, &xmm6High, 4);
  gLoads = 0;
  OsSetCpuBackend(&kFakeBackend);
}

constexpr uint32_t kIntelEdx = Bit(0) | Bit(4) | Bit(8) | Bit(15) | Bit(20) | Bit(23) | Bit(24) | Bit(25) |
                               Bit(26) | Bit(27) | Bit(28) | Bit(29) | Bit(31);
const FakeCpu kIntel = {true, 5, kVendorIntel, 0x000006F2, Bit(0), kIntelEdx,
                        0x80000008, Bit(22) | Bit(30) | Bit(31), false, true, 0x1F80, 0xFFFF};
const FakeCpu kAmd = {true, 1, kVendorAmd, 0x00000F48, 0, Bit(0) | Bit(23) | Bit(24) | Bit(25),
                      0x80000008, Bit(22) | Bit(30) | Bit(31), false, true, 0x1F80, 0xFFBF};

FakeCpu With(FakeCpu cpu, void (*change)(FakeCpu*)) {
  change(&cpu);
  return cpu;
}

class ProcessorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block = SystemBlock{};
    block.processorFeatureLevel = 77;
    gSystem = &block;
  }
  void TearDown() override {
    OsSetCpuBackend(nullptr);
    gSystem = nullptr;
  }
  SystemBlock block;
};

}  // namespace

TEST_F(ProcessorTest, FeatureMaskFromDescribedProcessors) {
  struct Case {
    const char* what;
    FakeCpu cpu;
    uint32_t mask;
  };
  const Case kCases[] = {
      {"Intel: model and family, standard bits kept, moved and dropped, SSE3, no AMD bits", kIntel,
       0x6F | kCpuIntel | kCpuSseStateSaved | kCpuFpu | kCpuTsc | kCpuCmpxchg8 | Bit(15) | Bit(20) | kCpuMmx |
           kCpuFxsr | kCpuSse | kCpuSse2 | kCpuSse3 | kCpuHtt},
      {"AMD with extended leaf", kAmd,
       0xF4 | kCpuAmd | kCpuSseStateSaved | kCpuFpu | kCpuMmx | kCpuFxsr | kCpuSse | kCpuAmdMmxExt |
           kCpuAmd3DNowExt | kCpuAmd3DNow},
      {"AMD without extended leaf", With(kAmd, [](FakeCpu* c) { c->extendedMax = 0x80000000u; }),
       0xF4 | kCpuAmd | kCpuSseStateSaved | kCpuFpu | kCpuMmx | kCpuFxsr | kCpuSse},
      {"other vendor", With(kAmd, [](FakeCpu* c) { c->vendorEcx = kVendorOther; }),
       0xF4 | kCpuSseStateSaved | kCpuFpu | kCpuMmx | kCpuFxsr | kCpuSse},
      {"system does not keep SSE registers", With(kAmd, [](FakeCpu* c) { c->keepsXmm = false; }),
       0xF4 | kCpuAmd | kCpuFpu | kCpuMmx | kCpuFxsr | kCpuSse | kCpuAmdMmxExt | kCpuAmd3DNowExt | kCpuAmd3DNow},
      {"emulated FPU", With(kAmd, [](FakeCpu* c) { c->emulated = true; }),
       0xF4 | kCpuAmd | kCpuFpu | kCpuMmx | kCpuFxsr | kCpuSse | kCpuAmdMmxExt | kCpuAmd3DNowExt | kCpuAmd3DNow},
      {"no CPUID", With(kIntel, [](FakeCpu* c) { c->hasCpuid = false; }), 0},
      {"no standard leaf", With(kIntel, [](FakeCpu* c) { c->maxLeaf = 0; }), 0},
  };
  for (const Case& c : kCases) {
    Install(c.cpu);
    EXPECT_EQ(GetCpuFeatures(), c.mask) << c.what;
    // The state test puts the probed word back.
    EXPECT_EQ(StateWord(268), 0x12345678u) << c.what;
  }
}

TEST_F(ProcessorTest, FloatingPointSetupFollowsTheFeatures) {
  constexpr uint32_t kBase = 0x1F80;
  constexpr uint32_t kSet = kBase | Bit(11) | Bit(8) | Bit(15);
  struct Case {
    const char* what;
    FakeCpu cpu;
    int result;
    uint32_t level;
    uint32_t mxcsr;
  };
  const Case kCases[] = {
      {"SSE3 with denormals-are-zero", kIntel, 1, 8, kSet | Bit(6)},
      {"SSE2, DAZ not in the mask", With(kIntel, [](FakeCpu* c) {
         c->featureEcx = 0;
         c->mxcsrMask = 0xFFBF;
       }),
       1, 4, kSet},
      {"SSE, mask 0 means no DAZ", With(kAmd, [](FakeCpu* c) { c->mxcsrMask = 0; }), 1, 2, kSet},
      {"MMX only: MXCSR untouched", With(kAmd, [](FakeCpu* c) { c->featureEdx = Bit(0) | Bit(23) | Bit(24); }), 1,
       1, kBase},
      {"no SSE or MMX: level kept", With(kAmd, [](FakeCpu* c) { c->featureEdx = Bit(0); }), 1, 77, kBase},
      {"no CPUID", With(kIntel, [](FakeCpu* c) { c->hasCpuid = false; }), 0, 77, kBase},
  };
  for (const Case& c : kCases) {
    Install(c.cpu);
    block.processorFeatureLevel = 77;
    EXPECT_EQ(SetupFloatingPoint(), c.result) << c.what;
    EXPECT_EQ(block.processorFeatureLevel, c.level) << c.what;
    EXPECT_EQ(StateWord(kOsFpuStateMxcsr), c.mxcsr) << c.what;
    if (!(c.cpu.featureEdx & kCpuSse)) {
      EXPECT_EQ(gLoads, 0) << c.what;
    }
  }
}

TEST_F(ProcessorTest, MxcsrBitOutsideTheProcessorsMaskIsRefused) {
  struct Case {
    int bit;
    uint32_t mask;
    uint32_t mxcsr;
  };
  const Case kCases[] = {
      {13, 0xFFFF, 0x1F80 | Bit(13)},
      {6, 0xFFBF, 0x1F80},  // DAZ unsupported
      {6, 0, 0x1F80},       // mask 0: the processor's default, without DAZ
      {20, 0xFFFF, 0x1F80},  // reserved
      {-1, 0xFFFF, 0x1F80},
      {32, 0xFFFF, 0x1F80},
  };
  for (const Case& c : kCases) {
    FakeCpu cpu = kIntel;
    cpu.mxcsrMask = c.mask;
    Install(cpu);
    SetMxcsrBit(c.bit);
    EXPECT_EQ(StateWord(kOsFpuStateMxcsr), c.mxcsr) << c.bit;
  }
}

TEST_F(ProcessorTest, RealProcessorGetsFlushToZero) {
  alignas(16) uint8_t saved[kOsFpuStateSize];
  OsSaveFpuState(saved);
  uint32_t features = GetCpuFeatures();
  EXPECT_TRUE(features & kCpuSse2);  // every 64-bit processor has it
  EXPECT_TRUE(features & kCpuSseStateSaved);
  EXPECT_EQ(SetupFloatingPoint(), 1);
  EXPECT_GE(block.processorFeatureLevel, 4u);
  alignas(16) uint8_t now[kOsFpuStateSize];
  OsSaveFpuState(now);
  uint32_t mxcsr;
  std::memcpy(&mxcsr, now + kOsFpuStateMxcsr, sizeof mxcsr);
  EXPECT_EQ(mxcsr & (Bit(11) | Bit(8) | Bit(15)), Bit(11) | Bit(8) | Bit(15));
  OsLoadFpuState(saved);
}
