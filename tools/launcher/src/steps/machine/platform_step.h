// ReqPlatform ("Platform"): the first step of the main chain. It checks the
// Windows version, the processor and the memory, and notes whether the
// machine has more than one processor. A failed check ends the launcher
// through the QUIT page with the check's key ("UNSUPPORTED_OS",
// "UNSUPPORTED_CPU", "INSUFFICIENT_RAM"), which also goes into the step's
// statistics with the value 1.
#pragma once

#include "requirement.h"

#include <cstdint>

// More than one processor: the game may render on worker threads. Set by
// each pass of the step that gets past the processor check.
extern bool MTRenderingSupported;

// The machine facts the step reads, one replaceable function each, so that
// tests can run the step on the machine they need.
struct PlatformFacts {
    // The processor identification instruction for leaf (EAX, EBX, ECX,
    // EDX); false when the processor faulted.
    bool (*cpuIdentification)(uint32_t leaf, uint32_t registers[4]);
    // Total physical memory in bytes; 0 when it cannot be read.
    uint64_t (*totalPhysicalMemory)();
    // Whether the system has at least one page file.
    bool (*pageFileExists)();
};
extern PlatformFacts PlatformFactsSource;
// Puts the real machine's functions back.
void ResetPlatformFacts();

// Windows 7 (6.1) and later, decided on the version GetVersionExW reports.
bool IsSupportedVersionNumber(DWORD major, DWORD minor);
// Logs the reported version (and the real one when a compatibility mode
// hides it) and decides on the reported one.
bool IsSupportedWindowsVersion();
bool HasCpuIdentification();
// MMX, SSE and SSE2 in the EDX bits of identification leaf 1.
bool HasRequiredCpuFeatures(uint32_t edx);
// The total rounded to the nearest 512 MiB decides: below 2 GiB fails, 4 GiB
// and more passes, in between a page file must exist. A total that cannot
// be read fails.
const char* ClassifyPhysicalMemory(uint64_t totalBytes, bool (*pageFileExists)());
// Null when the memory suffices, else the failure key.
const char* CheckPhysicalMemory();

class ReqPlatform : public Requirement {
  public:
    ReqPlatform() : Requirement(STEP_PROGRESS_MARQUEE) {}
    HWND Run(HWND parent) override;
    StatisticsMap GetStatistics() override { return statistics_; }

  private:
    HWND Fail(HWND parent, const char* key);

    StatisticsMap statistics_;
};
