#include "platform_step.h"

#include "command_line.h"
#include "exception_guard.h"
#include "log.h"
#include "step_page.h"
#include "strings.h"

#include <cpuid.h>
#include <psapi.h>

bool MTRenderingSupported = false;

namespace {

constexpr uint64_t MiB = 1024ull * 1024;
constexpr uint64_t GiB = 1024 * MiB;

struct CpuIdCall {
    uint32_t leaf;
    uint32_t* registers;
};

void ExecuteCpuId(void* context)
{
    auto* call = static_cast<CpuIdCall*>(context);
    uint32_t* r = call->registers;
    __cpuid(call->leaf, r[0], r[1], r[2], r[3]);
}

bool RealCpuIdentification(uint32_t leaf, uint32_t registers[4])
{
    CpuIdCall call = {leaf, registers};
    return RunGuarded(ExecuteCpuId, &call) == 0;
}

uint64_t RealTotalPhysicalMemory()
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return 0;
    return status.ullTotalPhys;
}

BOOL CALLBACK NotePageFile(LPVOID context, PENUM_PAGE_FILE_INFORMATION, LPCWSTR)
{
    *static_cast<bool*>(context) = true;
    return TRUE;
}

bool RealPageFileExists()
{
    bool found = false;
    K32EnumPageFilesW(NotePageFile, &found);
    return found;
}

} // namespace

PlatformFacts PlatformFactsSource = {RealCpuIdentification, RealTotalPhysicalMemory, RealPageFileExists};

void ResetPlatformFacts()
{
    PlatformFactsSource = {RealCpuIdentification, RealTotalPhysicalMemory, RealPageFileExists};
}

bool IsSupportedVersionNumber(DWORD major, DWORD minor)
{
    return major > 6 || (major == 6 && minor >= 1);
}

bool IsSupportedWindowsVersion()
{
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    LogPrintf(L"OS Version: %d.%d (SP%d)\n", info.dwMajorVersion, info.dwMinorVersion,
              info.wServicePackMajor);
    FileVersion file;
    if (!GetModuleFileVersion(file)) {
        LogPrintf(L"No KERNEL32.DLL\n");
        return false;
    }
    if (file.major != info.dwMajorVersion || file.minor != info.dwMinorVersion)
        LogPrintf(L"Compatibility mode detected! Real version %d.%d\n", file.major, file.minor);
    return IsSupportedVersionNumber(info.dwMajorVersion, info.dwMinorVersion);
}

bool HasCpuIdentification()
{
    uint32_t registers[4] = {};
    return PlatformFactsSource.cpuIdentification(0, registers);
}

bool HasRequiredCpuFeatures(uint32_t edx)
{
    const uint32_t required = (1u << 23) | (1u << 25) | (1u << 26);
    return (edx & required) == required;
}

const char* ClassifyPhysicalMemory(uint64_t totalBytes, bool (*pageFileExists)())
{
    uint64_t rounded = (totalBytes + 256 * MiB) & ~((1ull << 29) - 1);
    if (rounded < 2 * GiB)
        return "INSUFFICIENT_RAM";
    if (rounded >= 4 * GiB)
        return nullptr;
    if (pageFileExists())
        return nullptr;
    LogPrintf(L"No page file detected; enforcing strict memory requirements!\n");
    return "INSUFFICIENT_RAM";
}

const char* CheckPhysicalMemory()
{
    return ClassifyPhysicalMemory(PlatformFactsSource.totalPhysicalMemory(),
                                  PlatformFactsSource.pageFileExists);
}

HWND ReqPlatform::Fail(HWND parent, const char* key)
{
    std::wstring wideKey(key, key + strlen(key));
    statistics_.emplace(wideKey, 1);
    kind = STEP_PROGRESS_HIDDEN;
    return ShowStepPage(parent, QuitPageProc, reinterpret_cast<LPARAM>(key));
}

HWND ReqPlatform::Run(HWND parent)
{
    if (HasOption(L"-force:platform") || !IsSupportedWindowsVersion())
        return Fail(parent, "UNSUPPORTED_OS");
    uint32_t leaf1[4] = {};
    if (!HasCpuIdentification() || !PlatformFactsSource.cpuIdentification(1, leaf1) ||
        !HasRequiredCpuFeatures(leaf1[3]))
        return Fail(parent, "UNSUPPORTED_CPU");
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    MTRenderingSupported = system.dwNumberOfProcessors > 1;
    if (const char* key = CheckPhysicalMemory())
        return Fail(parent, key);
    return nullptr;
}
