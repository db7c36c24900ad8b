// The process entry: the StartupBlock, WinMain (command line to argument list, priority
// options, then the game), the message pump the game loop calls once per frame, and the
// processor probe with the floating-point set-up that follows from it. Called by main, the
// game loop, pauses and start-up. Never dispatches window messages outside PumpMessages.
#pragma once

#include <cstdint>

// The audio device format the settings keep (18 bytes in the settings store).
struct WaveFormat {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t samplesPerSecond;
  uint32_t averageBytesPerSecond;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;
};

struct StartupBlock {
  uint32_t instance;
  uint32_t previousInstance;
  void* mainWindow;  // set by the display
  char* commandLine;
  int32_t showCommand;
  // 1 while the window is active; the pump waits while it is 0 unless the game runs in the
  // background.
  uint32_t appActive;

  // Settings kept outside the SystemBlock.
  char* adapterName;          // accounted string or null
  int32_t adapterOrdinal;
  uint32_t displayFormat;     // a display format code, 0 none
  uint32_t modeIndex;
  WaveFormat waveFormat;
  uint32_t speakerConfig;
  uint8_t* sound3DDevice;     // accounted 16-byte identifier or null
  uint8_t* joystick;          // accounted 16-byte identifier or null
  int32_t forceFeedbackGain;
  int32_t joystickDeadZone;
  int32_t joystickSensitivity;
};
extern StartupBlock gStartup;

// Argument list: at most 30 entries, the last always null, so at most 29 words.
constexpr int kArgumentSlots = 30;
constexpr int kMaxArgumentCount = 29;

// Splits `commandLine` in place at blanks: argv[0] = "WinCalled", argv[1] = the first word;
// at argc 29 the last word keeps the rest of the line. Two blanks give an empty word.
int SplitCommandLine(char* commandLine, char* argv[kArgumentSlots]);
// "-lowpri" and "-highpri" in any case set the process priority; a later word wins.
void ApplyPriorityOptions(int argc, char** argv);

[[noreturn]] void WinMain(uint32_t instance, uint32_t previousInstance, char* commandLine,
                          int32_t showCommand);

void PumpMessages();

// GetCpuFeatures mask bits (the low byte holds model and family).
constexpr uint32_t kCpuModelFamilyMask = 0xFF;
constexpr uint32_t kCpuIntel = 1u << 8;
constexpr uint32_t kCpuAmd = 1u << 9;
constexpr uint32_t kCpuSseStateSaved = 1u << 11;
constexpr uint32_t kCpuFpu = 1u << 12;
constexpr uint32_t kCpuTsc = 1u << 13;
constexpr uint32_t kCpuCmpxchg8 = 1u << 14;
constexpr uint32_t kCpuMmx = 1u << 23;
constexpr uint32_t kCpuFxsr = 1u << 24;
constexpr uint32_t kCpuSse = 1u << 25;
constexpr uint32_t kCpuSse2 = 1u << 26;
constexpr uint32_t kCpuSse3 = 1u << 27;
constexpr uint32_t kCpuHtt = 1u << 28;
constexpr uint32_t kCpuAmdMmxExt = 1u << 29;
constexpr uint32_t kCpuAmd3DNowExt = 1u << 30;
constexpr uint32_t kCpuAmd3DNow = 1u << 31;

// MXCSR bits the set-up turns on.
constexpr int kMxcsrDenormalsAreZero = 6;
constexpr int kMxcsrDenormalMask = 8;
constexpr int kMxcsrUnderflowMask = 11;
constexpr int kMxcsrFlushToZero = 15;

uint32_t GetCpuFeatures();
int SetupFloatingPoint();
void SetMxcsrBit(int bit);
