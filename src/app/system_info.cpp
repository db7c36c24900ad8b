// System information readers over the platform's fact tree, the start-up probe and the
// graphics-card line. Called by the game main (probe) and the default video settings (display
// memory of devices 0 to 2). Must never fail hard: a missing container or property gives the
// empty text or -1, and only the game main decides that an unopened context ends the process.
#include "app/system_info.h"

#include <cstdio>
#include <cstdlib>

#include "core/memory.h"
#include "core/pattern.h"
#include "core/system_block.h"
#include "platform/sysinfo.h"

// A number of at least two digits (or with a point) followed by a clock unit; the first group is
// the number as written.
static const char kProcessorSpeedPattern[] = "([0-9]+\\.*[0-9]+)[ ]*[GgMm][Hh][Zz]";

void InitDxDiagContext(DxDiagContext* context) {
  context->provider = nullptr;
  context->root = nullptr;
  context->comStarted = 0;
}

bool OpenDxDiag(DxDiagContext* context) {
  // There is no component service to start on this platform; the flag keeps its meaning so
  // CloseDxDiag stays symmetric.
  context->comStarted = 1;
  context->provider = SysInfoCreateProvider();
  if (context->provider == nullptr) return false;
  context->root = SysInfoGetRoot(context->provider);
  return context->root != nullptr;
}

void CloseDxDiag(DxDiagContext* context) {
  context->root = nullptr;  // owned by the provider
  if (context->provider != nullptr) {
    SysInfoReleaseProvider(context->provider);
    context->provider = nullptr;
  }
  context->comStarted = 0;
}

SysInfoContainer* GetDxDiagChild(SysInfoContainer* container, const char* name) {
  return SysInfoGetChild(container, name);
}

void GetDxDiagPropText(SysInfoContainer* container, const char* name, std::string* result) {
  char text[1024];
  if (SysInfoGetProperty(container, name, text, sizeof text)) *result = text;
  else result->clear();
}

static std::string ReadSystemText(DxDiagContext* context, const char* property) {
  std::string result;
  if (context->root == nullptr) return result;
  SysInfoContainer* system = GetDxDiagChild(context->root, kSysInfoSystemContainer);
  if (system == nullptr) return result;
  GetDxDiagPropText(system, property, &result);
  return result;
}

std::string GetOperatingSystem(DxDiagContext* context) { return ReadSystemText(context, kSysInfoOsProperty); }

std::string GetDirectXVersion(DxDiagContext* context) {
  return ReadSystemText(context, kSysInfoApiVersionProperty);
}

std::string GetProcessorName(DxDiagContext* context) { return ReadSystemText(context, kSysInfoProcessorProperty); }

float ProcessorSpeedFromText(const std::string& text) {
  if (text.empty()) return -1.0f;
  CompiledPattern* pattern = PatternCompile(kProcessorSpeedPattern);
  if (pattern == nullptr) return -1.0f;
  float speed = -1.0f;
  if (PatternExec(pattern, text.c_str())) {
    // The first group is part of the text, so the text's size always holds it.
    std::string number(text.size() + 1, '\0');
    PatternSubstitute("\\1", pattern, number.data(), number.size());
    if (number[0] != '\0') speed = float(atof(number.c_str()));
  }
  PatternFree(pattern);
  return speed;
}

float GetProcessorSpeed(DxDiagContext* context) {
  return ProcessorSpeedFromText(ReadSystemText(context, kSysInfoProcessorProperty));
}

int32_t GetPhysicalMemory(DxDiagContext* context) {
  std::string text = ReadSystemText(context, kSysInfoMemoryProperty);
  return text.empty() ? -1 : atoi(text.c_str());
}

// The device's container, or null; number gets the device number as text either way.
static SysInfoContainer* FindDisplayDevice(DxDiagContext* context, int32_t device, std::string* number) {
  char name[16];
  snprintf(name, sizeof name, "%i", device);
  *number = name;
  if (context->root == nullptr) return nullptr;
  SysInfoContainer* displays = GetDxDiagChild(context->root, kSysInfoDisplayContainer);
  if (displays == nullptr) return nullptr;
  return GetDxDiagChild(displays, name);
}

// An unknown device answers with its own number as text, so the graphics-card line still says
// which device was asked for.
static std::string ReadDisplayText(DxDiagContext* context, int32_t device, const char* property) {
  std::string result;
  if (context->root == nullptr) return result;
  if (GetDxDiagChild(context->root, kSysInfoDisplayContainer) == nullptr) return result;
  SysInfoContainer* found = FindDisplayDevice(context, device, &result);
  if (found != nullptr) GetDxDiagPropText(found, property, &result);
  return result;
}

std::string GetDisplayDriverVersion(DxDiagContext* context, int32_t device) {
  return ReadDisplayText(context, device, kSysInfoDriverProperty);
}

std::string GetDisplayDescription(DxDiagContext* context, int32_t device) {
  return ReadDisplayText(context, device, kSysInfoDescriptionProperty);
}

int32_t GetDisplayMemory(DxDiagContext* context, int32_t device) {
  std::string number;
  SysInfoContainer* found = FindDisplayDevice(context, device, &number);
  if (found == nullptr) return -1;
  std::string text;
  GetDxDiagPropText(found, kSysInfoDisplayMemoryProperty, &text);
  return text.empty() ? -1 : atoi(text.c_str());
}

char* FormatGraphicsCardText(const char* description, int32_t memoryMB, const char* driver) {
  int length = snprintf(nullptr, 0, kGraphicsCardFormat, description, memoryMB, driver);
  if (length < 0) return nullptr;
  char* text = static_cast<char*>(MemAlloc(size_t(length) + 1, 0));
  if (text != nullptr) snprintf(text, size_t(length) + 1, kGraphicsCardFormat, description, memoryMB, driver);
  return text;
}

bool ProbeSystemInfo(SystemBlock* block, int32_t adapterOrdinal) {
  DxDiagContext context;
  InitDxDiagContext(&context);
  if (!OpenDxDiag(&context)) {
    CloseDxDiag(&context);
    return false;
  }
  block->processorSpeed = GetProcessorSpeed(&context);
  block->physicalMemoryMB = GetPhysicalMemory(&context);
  block->displayMemoryMB = GetDisplayMemory(&context, adapterOrdinal);
  block->processorText = ReplaceString(block->processorText, GetProcessorName(&context).c_str());
  block->operatingSystemText = ReplaceString(block->operatingSystemText, GetOperatingSystem(&context).c_str());
  block->directXVersionText = ReplaceString(block->directXVersionText, GetDirectXVersion(&context).c_str());
  std::string description = GetDisplayDescription(&context, adapterOrdinal);
  std::string driver = GetDisplayDriverVersion(&context, adapterOrdinal);
  char* line = FormatGraphicsCardText(description.c_str(), GetDisplayMemory(&context, adapterOrdinal), driver.c_str());
  FreeString(block->graphicsCardText);
  block->graphicsCardText = line;
  CloseDxDiag(&context);
  return true;
}
