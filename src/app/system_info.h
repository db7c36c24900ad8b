// System information: the readers of the machine's facts (operating system, graphics API
// version, processor name and speed, physical memory, and per display device its description,
// driver version and display memory), the start-up probe that keeps them in the SystemBlock, and
// the graphics-card line. Called by the game main and by SetDefaultVideoSettings. Every reader
// answers with an empty text or -1 for a missing container or property; none of them is fatal.
#pragma once

#include <cstdint>
#include <string>

struct SysInfoProvider;
struct SysInfoContainer;
struct SystemBlock;

struct DxDiagContext {
  SysInfoProvider* provider;
  SysInfoContainer* root;
  uint8_t comStarted;  // 1 when this context started the component service
};

// The graphics-card line kept in the SystemBlock: description, display memory, driver version.
constexpr const char* kGraphicsCardFormat = "%s [%d MB]    Driver: %s";

void InitDxDiagContext(DxDiagContext* context);
// True when the context is ready to read; on false, CloseDxDiag releases what was made.
bool OpenDxDiag(DxDiagContext* context);
void CloseDxDiag(DxDiagContext* context);
SysInfoContainer* GetDxDiagChild(SysInfoContainer* container, const char* name);
// Sets result to the named text property, or empties it when there is none.
void GetDxDiagPropText(SysInfoContainer* container, const char* name, std::string* result);

std::string GetOperatingSystem(DxDiagContext* context);
std::string GetDirectXVersion(DxDiagContext* context);
std::string GetProcessorName(DxDiagContext* context);
float GetProcessorSpeed(DxDiagContext* context);   // -1.0 when not available
int32_t GetPhysicalMemory(DxDiagContext* context); // MB, -1 when not available
std::string GetDisplayDriverVersion(DxDiagContext* context, int32_t device);
std::string GetDisplayDescription(DxDiagContext* context, int32_t device);
int32_t GetDisplayMemory(DxDiagContext* context, int32_t device);  // MB, -1 when not available

// The number of a processor text such as "... @ 2.66GHz" (2.66) or "1500 MHz" (1500), as written
// whatever its unit; -1.0 when the text holds no such number.
float ProcessorSpeedFromText(const std::string& text);

// A new counted text "<description> [<memory> MB]    Driver: <driver>", or null without memory.
char* FormatGraphicsCardText(const char* description, int32_t memoryMB, const char* driver);

// The game main's probe: fills the processor speed, physical memory, display memory of the given
// adapter, processor text, operating system text, graphics API version text and graphics-card
// text of the block, in that order. False (and the block untouched) when the facts cannot be
// opened; the game main then ends the process.
bool ProbeSystemInfo(SystemBlock* block, int32_t adapterOrdinal);
