// Facts about the machine for the system-information readers: the operating system, the
// processor, the physical memory and the display devices, published as a small tree of named
// containers with text properties ("DxDiag_SystemInfo", "DxDiag_DisplayDevices" with one child
// "0", "1", ... per device). Read from /etc/os-release, uname, /proc/cpuinfo and /proc/meminfo.
// Called by app/system_info.cpp only. There is no display layer to ask yet: the tree always
// holds one software display device with a fixed description, driver and memory.
#pragma once

#include <cstddef>
#include <cstdint>

struct SysInfoProvider;
struct SysInfoContainer;

// Containers and properties published, with the names the readers ask for.
constexpr const char* kSysInfoSystemContainer = "DxDiag_SystemInfo";
constexpr const char* kSysInfoDisplayContainer = "DxDiag_DisplayDevices";
constexpr const char* kSysInfoOsProperty = "szOSExLongEnglish";
constexpr const char* kSysInfoApiVersionProperty = "szDirectXVersionLongEnglish";
constexpr const char* kSysInfoProcessorProperty = "szProcessorEnglish";
constexpr const char* kSysInfoMemoryProperty = "szPhysicalMemoryEnglish";
constexpr const char* kSysInfoDriverProperty = "szDriverVersion";
constexpr const char* kSysInfoDescriptionProperty = "szDescription";
constexpr const char* kSysInfoDisplayMemoryProperty = "szDisplayMemoryLocalized";

// The software display device reported while no display layer exists.
constexpr const char* kSoftwareDisplayName = "Korvane software device";
constexpr const char* kSoftwareDisplayDriver = "1.0";
constexpr int32_t kSoftwareDisplayMemoryMB = 128;

// Gathers the facts and builds the tree; null when the facts cannot be gathered. The provider
// owns every container; all of them go with SysInfoReleaseProvider.
SysInfoProvider* SysInfoCreateProvider();
void SysInfoReleaseProvider(SysInfoProvider* provider);
SysInfoContainer* SysInfoGetRoot(SysInfoProvider* provider);
// The named child of a container, or null.
SysInfoContainer* SysInfoGetChild(SysInfoContainer* container, const char* name);
// Copies the named text property, NUL-terminated and cut to the room given; false when the
// container has no such property (text is then emptied).
bool SysInfoGetProperty(SysInfoContainer* container, const char* name, char* text, size_t size);

// Test seam: the facts a provider publishes instead of the machine's. A null record returns to
// the machine; available false makes SysInfoCreateProvider fail.
constexpr int kSysInfoMaxDisplays = 4;
struct SysInfoDisplayFacts {
  const char* description;
  const char* driverVersion;
  const char* memory;  // as published, e.g. "128.0 MB"
};
struct SysInfoFacts {
  bool available;
  const char* operatingSystem;
  const char* apiVersion;
  const char* processor;
  const char* physicalMemory;  // e.g. "2048MB RAM"
  int displayCount;
  SysInfoDisplayFacts displays[kSysInfoMaxDisplays];
};
void SysInfoOverrideFacts(const SysInfoFacts* facts);

// The texts built from the machine's files, exposed so their forms can be checked on fixed input.
// The processor text is the first "model name" of the cpuinfo text, followed, when the cpuinfo
// gives the clock, by " (N CPUs), ~X.XGHz".
void SysInfoProcessorText(const char* cpuinfo, char* text, size_t size);
// "<PRETTY_NAME> (<system> <release>, <machine>)", the name from the os-release text when it has
// one, else the system name alone.
void SysInfoOsText(const char* osRelease, const char* system, const char* release, const char* machine, char* text,
                   size_t size);
