// System information: the processor-speed pattern, the fallbacks of every reader for missing
// containers, properties and devices, the probe that fills the SystemBlock and its graphics-card
// line, and the facts read from this machine.
#include "app/system_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/sysinfo.h"

namespace {

class SystemInfoTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SysInfoOverrideFacts(nullptr);
    FreeString(block_.processorText);
    FreeString(block_.operatingSystemText);
    FreeString(block_.directXVersionText);
    FreeString(block_.graphicsCardText);
  }
  SystemBlock block_{};
};

SysInfoFacts TwoCardMachine() {
  SysInfoFacts facts{};
  facts.available = true;
  facts.operatingSystem = "Test OS 1 (Linux 6.1, x86_64)";
  facts.apiVersion = "Renderer 9.0c";
  facts.processor = "Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz (2 CPUs), ~2.4GHz";
  facts.physicalMemory = "2048MB RAM";
  facts.displayCount = 2;
  facts.displays[0] = {"Card Zero", "6.14.10.6614", "256.0 MB"};
  facts.displays[1] = {"Card One", "7.1", "64.0 MB"};
  return facts;
}

TEST(ProcessorSpeed, TakesTheNumberBeforeTheClockUnitAsWritten) {
  struct Case {
    const char* text;
    float speed;
  };
  const Case kCases[] = {
      {"Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz", 2.4f},  // "6600" has no unit after it
      {"Intel(R) Pentium(R) 4 CPU 2.66GHz", 2.66f},
      {"AMD Athlon(tm) 1500 MHz", 1500.0f},
      {"Some CPU 1800mhz", 1800.0f},
      {"Some CPU 2.0 GHz", 2.0f},
      {"Some CPU 2 GHz", -1.0f},  // a single digit is not a speed
      {"Pentium", -1.0f},
      {"Speed 3.2 GB", -1.0f},
      {"", -1.0f},
  };
  for (const Case& c : kCases) {
    EXPECT_FLOAT_EQ(ProcessorSpeedFromText(c.text), c.speed) << c.text;
  }
}

TEST_F(SystemInfoTest, ReadersAnswerFromTheFactsAndFallBackForMissingOnes) {
  SysInfoFacts facts = TwoCardMachine();
  DxDiagContext context;
  InitDxDiagContext(&context);
  SysInfoOverrideFacts(&facts);
  ASSERT_TRUE(OpenDxDiag(&context));
  EXPECT_EQ(GetOperatingSystem(&context), "Test OS 1 (Linux 6.1, x86_64)");
  EXPECT_EQ(GetDirectXVersion(&context), "Renderer 9.0c");
  EXPECT_EQ(GetProcessorName(&context), facts.processor);
  EXPECT_FLOAT_EQ(GetProcessorSpeed(&context), 2.4f);
  EXPECT_EQ(GetPhysicalMemory(&context), 2048);

  struct Case {
    int32_t device;
    const char* description;
    const char* driver;
    int32_t memory;
  };
  const Case kCases[] = {
      {0, "Card Zero", "6.14.10.6614", 256},
      {1, "Card One", "7.1", 64},
      {2, "2", "2", -1},    // an unknown device answers with its own number
      {-1, "-1", "-1", -1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(GetDisplayDescription(&context, c.device), c.description) << c.device;
    EXPECT_EQ(GetDisplayDriverVersion(&context, c.device), c.driver) << c.device;
    EXPECT_EQ(GetDisplayMemory(&context, c.device), c.memory) << c.device;
  }
  CloseDxDiag(&context);
  EXPECT_EQ(context.provider, nullptr);
  EXPECT_EQ(context.root, nullptr);

  // Missing properties: empty texts, -1 numbers; a device without its memory text gives -1.
  SysInfoFacts sparse{};
  sparse.available = true;
  sparse.displayCount = 1;
  sparse.displays[0] = {nullptr, nullptr, nullptr};
  SysInfoOverrideFacts(&sparse);
  ASSERT_TRUE(OpenDxDiag(&context));
  EXPECT_EQ(GetOperatingSystem(&context), "");
  EXPECT_EQ(GetProcessorName(&context), "");
  EXPECT_FLOAT_EQ(GetProcessorSpeed(&context), -1.0f);
  EXPECT_EQ(GetPhysicalMemory(&context), -1);
  EXPECT_EQ(GetDisplayDescription(&context, 0), "");
  EXPECT_EQ(GetDisplayMemory(&context, 0), -1);
  CloseDxDiag(&context);

  // A context that never opened reads nothing.
  InitDxDiagContext(&context);
  EXPECT_EQ(GetDisplayDescription(&context, 0), "");
  EXPECT_EQ(GetDisplayMemory(&context, 0), -1);
  EXPECT_EQ(GetPhysicalMemory(&context), -1);
}

TEST_F(SystemInfoTest, ProbeFillsTheBlockAndTheGraphicsCardLine) {
  SysInfoFacts facts = TwoCardMachine();
  SysInfoOverrideFacts(&facts);
  struct Case {
    int32_t adapter;
    const char* line;
    int32_t displayMemory;
  };
  const Case kCases[] = {
      {0, "Card Zero [256 MB]    Driver: 6.14.10.6614", 256},
      {1, "Card One [64 MB]    Driver: 7.1", 64},
      {-1, "-1 [-1 MB]    Driver: -1", -1},
  };
  for (const Case& c : kCases) {
    ASSERT_TRUE(ProbeSystemInfo(&block_, c.adapter));
    EXPECT_STREQ(block_.graphicsCardText, c.line);
    EXPECT_EQ(block_.displayMemoryMB, c.displayMemory);
    EXPECT_EQ(block_.physicalMemoryMB, 2048);
    EXPECT_FLOAT_EQ(block_.processorSpeed, 2.4f);
    EXPECT_STREQ(block_.processorText, facts.processor);
    EXPECT_STREQ(block_.operatingSystemText, "Test OS 1 (Linux 6.1, x86_64)");
    EXPECT_STREQ(block_.directXVersionText, "Renderer 9.0c");
  }
}

TEST_F(SystemInfoTest, UnavailableFactsFailTheProbeAndLeaveTheBlockAlone) {
  SysInfoFacts facts = TwoCardMachine();
  facts.available = false;
  SysInfoOverrideFacts(&facts);
  DxDiagContext context;
  InitDxDiagContext(&context);
  EXPECT_FALSE(OpenDxDiag(&context));
  CloseDxDiag(&context);
  block_.physicalMemoryMB = 77;
  EXPECT_FALSE(ProbeSystemInfo(&block_, 0));
  EXPECT_EQ(block_.physicalMemoryMB, 77);
  EXPECT_EQ(block_.graphicsCardText, nullptr);
}

TEST_F(SystemInfoTest, ThisMachineGivesItsFactsAndTheSoftwareDevice) {
  ASSERT_TRUE(ProbeSystemInfo(&block_, 0));
  EXPECT_GT(block_.physicalMemoryMB, 0);
  ASSERT_NE(block_.operatingSystemText, nullptr);
  EXPECT_NE(std::string(block_.operatingSystemText).find("Linux"), std::string::npos);
  ASSERT_NE(block_.processorText, nullptr);
  EXPECT_STREQ(block_.graphicsCardText, "Korvane software device [128 MB]    Driver: 1.0");
  EXPECT_EQ(block_.displayMemoryMB, kSoftwareDisplayMemoryMB);
}

TEST(SysInfoTexts, ProcessorAndSystemTextsFromTheMachineFiles) {
  char text[256];
  SysInfoProcessorText(
      "processor\t: 0\nmodel name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\ncpu MHz\t\t: 2200.154\n\n"
      "processor\t: 1\nmodel name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\ncpu MHz\t\t: 2200.154\n",
      text, sizeof text);
  EXPECT_STREQ(text, "Intel(R) Xeon(R) CPU @ 2.20GHz (2 CPUs), ~2.2GHz");
  EXPECT_FLOAT_EQ(ProcessorSpeedFromText(text), 2.2f);

  // A model name without a clock still gets a speed from the cpuinfo clock.
  SysInfoProcessorText("processor : 0\nmodel name : AMD EPYC 7B13\ncpu MHz : 2450.000\n", text, sizeof text);
  EXPECT_STREQ(text, "AMD EPYC 7B13 (1 CPUs), ~2.5GHz");
  SysInfoProcessorText("garbage without fields", text, sizeof text);
  EXPECT_STREQ(text, "");

  SysInfoOsText("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", "Linux", "6.1.0", "x86_64", text,
                sizeof text);
  EXPECT_STREQ(text, "Debian GNU/Linux 12 (bookworm) (Linux 6.1.0, x86_64)");
  SysInfoOsText("", "Linux", "6.1.0", "x86_64", text, sizeof text);
  EXPECT_STREQ(text, "Linux (Linux 6.1.0, x86_64)");
  char small[8];
  SysInfoOsText("", "Linux", "6.1.0", "x86_64", small, sizeof small);
  EXPECT_STREQ(small, "Linux (");
}

}  // namespace
